#include "platform/d3dx/GlyphAtlas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

struct LibraryCloser {
  void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceCloser {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using LibraryHandle = std::unique_ptr<FT_LibraryRec_, LibraryCloser>;
using FaceHandle = std::unique_ptr<FT_FaceRec_, FaceCloser>;

// One character rendered at the current size.
struct Rendered {
  int left = 0;  // bitmap's left edge relative to the pen
  int top = 0;   // bitmap's top row above the baseline
  int width = 0, rows = 0;
  float advance = 0;
  std::vector<uint8_t> coverage;  // width x rows, top-down
};

// The whole character range at one em size.
struct Painting {
  int pixelHeight = 0;
  int baseline = 0;  // rows from the top of a cell down to the baseline
  int lineHeight = 0;
  std::array<Rendered, GlyphAtlas::kCharacterCount> characters;
};

std::string describe(FT_Error code) {
  if (const char* text = FT_Error_String(code)) return text;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "FreeType error 0x%02X", static_cast<unsigned>(code));
  return buffer;
}

// Rounds a 26.6 fixed-point length up to whole texels, never below 0.
int ceilTexels(FT_Pos value) { return value <= 0 ? 0 : static_cast<int>((value + 63) / 64); }

bool render(FT_Face face, int pixelHeight, Painting& painting, std::string& error) {
  if (FT_Error code = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight))) {
    error = "cannot size the font to " + std::to_string(pixelHeight) + " pixels: " +
            describe(code);
    return false;
  }
  painting.pixelHeight = pixelHeight;
  // The line spans the font's ascender and descender, stretched to hold any glyph that reaches
  // beyond them, so no glyph is ever clipped.
  int above = ceilTexels(face->size->metrics.ascender);
  int below = ceilTexels(-face->size->metrics.descender);
  for (int i = 0; i < GlyphAtlas::kCharacterCount; ++i) {
    const char c = static_cast<char>(GlyphAtlas::kFirstCharacter + i);
    // Outlines only: embedded bitmaps may be 1-bit, and coverage must be 8-bit.
    if (FT_Error code = FT_Load_Char(face, static_cast<FT_ULong>(c),
                                     FT_LOAD_RENDER | FT_LOAD_NO_BITMAP)) {
      error = std::string("cannot render character '") + c + "': " + describe(code);
      return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    Rendered& r = painting.characters[i];
    r.left = slot->bitmap_left;
    r.top = slot->bitmap_top;
    r.width = static_cast<int>(bitmap.width);
    r.rows = static_cast<int>(bitmap.rows);
    r.advance = static_cast<float>(slot->advance.x) / 64.0f;
    r.coverage.clear();
    if (r.width == 0 || r.rows == 0) continue;
    above = std::max(above, r.top);
    below = std::max(below, r.rows - r.top);
    const int pitch = bitmap.pitch;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || std::abs(pitch) < r.width) {
      error = std::string("character '") + c + "' has no 8-bit coverage bitmap";
      return false;
    }
    // A negative pitch means the rows run bottom-up from the buffer's start.
    const uint8_t* top = pitch >= 0 ? bitmap.buffer : bitmap.buffer + (r.rows - 1) * -pitch;
    r.coverage.resize(size_t(r.width) * r.rows);
    for (int y = 0; y < r.rows; ++y) {
      std::copy_n(top + y * pitch, r.width, r.coverage.begin() + y * r.width);
    }
  }
  painting.baseline = above;
  painting.lineHeight = std::max(1, above + below);
  return true;
}

// The cell spans the pen's advance and the whole bitmap, whichever reaches further.
int64_t cellLeft(const Rendered& r) { return std::min(0, r.left); }
int64_t cellRight(const Rendered& r) {
  return std::max<int64_t>(static_cast<int64_t>(std::ceil(r.advance)),
                           int64_t{r.left} + r.width);
}

// Rows of cells in character order, one texel between cells and around the border. False when
// the characters do not fit into side x side.
bool layout(const Painting& painting, int side,
            std::array<GlyphAtlas::Glyph, GlyphAtlas::kCharacterCount>& cells) {
  int64_t x = 1;
  int64_t y = 1;
  const int64_t height = painting.lineHeight;
  for (int i = 0; i < GlyphAtlas::kCharacterCount; ++i) {
    const Rendered& r = painting.characters[i];
    const int64_t width = cellRight(r) - cellLeft(r);
    if (width + 2 > side) return false;
    if (x + width + 1 > side) {
      x = 1;
      y += height + 1;
    }
    if (y + height + 1 > side) return false;
    GlyphAtlas::Glyph& cell = cells[i];
    cell.x = static_cast<int>(x);
    cell.y = static_cast<int>(y);
    cell.width = static_cast<int>(width);
    cell.height = static_cast<int>(height);
    cell.offsetX = static_cast<int>(cellLeft(r));
    cell.advance = r.advance;
    const float texel = 1.0f / static_cast<float>(side);
    cell.u0 = static_cast<float>(x) * texel;
    cell.v0 = static_cast<float>(y) * texel;
    cell.u1 = static_cast<float>(x + width) * texel;
    cell.v1 = static_cast<float>(y + height) * texel;
    x += width + 1;
  }
  return true;
}

}  // namespace

std::unique_ptr<GlyphAtlas> GlyphAtlas::create(const std::string& fontPath, int pixelHeight,
                                               int maxSide, std::string& error) {
  if (pixelHeight < 1 || pixelHeight > kMaxPixelHeight) {
    error = "font pixel height " + std::to_string(pixelHeight) + " is outside 1.." +
            std::to_string(kMaxPixelHeight);
    return nullptr;
  }
  if (maxSide < kStartSide) {
    error = "maximum texture side " + std::to_string(maxSide) + " is below " +
            std::to_string(kStartSide);
    return nullptr;
  }
  const int sideLimit = static_cast<int>(std::bit_floor(
      static_cast<unsigned>(std::min(maxSide, kMaxSide))));
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(fontPath, ignored)) {
    error = "font file not found: " + fontPath;
    return nullptr;
  }
  try {
    FT_Library rawLibrary = nullptr;
    if (FT_Error code = FT_Init_FreeType(&rawLibrary)) {
      error = "cannot start FreeType: " + describe(code);
      return nullptr;
    }
    const LibraryHandle library(rawLibrary);
    FT_Face rawFace = nullptr;
    if (FT_Error code = FT_New_Face(library.get(), fontPath.c_str(), 0, &rawFace)) {
      error = "cannot read font " + fontPath + ": " + describe(code);
      return nullptr;
    }
    const FaceHandle face(rawFace);
    if (!FT_IS_SCALABLE(face.get())) {
      error = "font " + fontPath + " is not scalable";
      return nullptr;
    }

    std::unique_ptr<GlyphAtlas> atlas(new GlyphAtlas());
    Painting painting;
    if (!render(face.get(), pixelHeight, painting, error)) return nullptr;
    int side = kStartSide;
    bool fits = layout(painting, side, atlas->glyphs);
    while (!fits && side < sideLimit) {
      side *= 2;
      fits = layout(painting, side, atlas->glyphs);
    }
    if (!fits) {
      // Too big for the largest texture: find the side it would need, then shrink the font
      // by limit / needed, and by 0.9 more each time it still does not fit.
      int needed = side;
      while (needed < (1 << 20) && !layout(painting, needed, atlas->glyphs)) needed *= 2;
      float shrink = static_cast<float>(side) / static_cast<float>(needed);
      do {
        const int height = static_cast<int>(std::floor(static_cast<float>(pixelHeight) * shrink));
        if (height < 1) {
          error = "the characters of " + fontPath + " do not fit into a " +
                  std::to_string(side) + " texture";
          return nullptr;
        }
        if (height != painting.pixelHeight && !render(face.get(), height, painting, error)) {
          return nullptr;
        }
        shrink *= 0.9f;
      } while (!layout(painting, side, atlas->glyphs));
    }

    atlas->atlasSide = side;
    atlas->line = painting.lineHeight;
    atlas->painted = painting.pixelHeight;
    atlas->scale = static_cast<float>(painting.pixelHeight) / static_cast<float>(pixelHeight);
    // White everywhere, so filtering at a glyph's edge blends towards transparent white rather
    // than darkening the character.
    atlas->pixels.assign(size_t(side) * side * 4, 0xFF);
    for (size_t i = 3; i < atlas->pixels.size(); i += 4) atlas->pixels[i] = 0;
    for (int i = 0; i < kCharacterCount; ++i) {
      const Rendered& r = painting.characters[i];
      const Glyph& cell = atlas->glyphs[i];
      const int originX = cell.x + r.left - cell.offsetX;
      const int originY = cell.y + painting.baseline - r.top;
      for (int y = 0; y < r.rows; ++y) {
        uint8_t* texel = &atlas->pixels[(size_t(originY + y) * side + originX) * 4];
        for (int x = 0; x < r.width; ++x) texel[x * 4 + 3] = r.coverage[size_t(y) * r.width + x];
      }
    }
    return atlas;
  } catch (const std::bad_alloc&) {
    error = "out of memory painting the characters of " + fontPath;
    return nullptr;
  }
}

const GlyphAtlas::Glyph* GlyphAtlas::glyph(char c) const {
  if (c < kFirstCharacter || c > kLastCharacter) return nullptr;
  return &glyphs[c - kFirstCharacter];
}
