// GlyphAtlas: the bitmap font behind the on-screen text drawer. It paints the printable ASCII
// characters (space to '~') of a scalable font with FreeType into one square texture image and
// records where each character lies. It knows nothing of the device: the renderer uploads
// texels() as a D3DFMT_A8R8G8B8 texture of side() x side().
//
// Each character owns a cell one line tall (lineHeight texels) holding its whole glyph with the
// baseline at the same row in every cell; cells are at least one texel apart and away from the
// border, so filtering never bleeds one character into the next. To draw a string, put each
// character's cell at (pen + offsetX, top of line) with size width x height, sample u0..u1,
// v0..v1, then move the pen by advance. Sizes are in texels of the painted font; multiply by
// 1 / textScale() to get sizes at the height asked for.
//
// The texture starts at 128 x 128 and both sides double while the characters do not fit. When
// the needed side exceeds the largest allowed, the font is painted at pixelHeight x (largest /
// needed) and, while that still does not fit, 0.9 times smaller again.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GlyphAtlas {
 public:
  static constexpr char kFirstCharacter = ' ';
  static constexpr char kLastCharacter = '~';
  static constexpr int kCharacterCount = kLastCharacter - kFirstCharacter + 1;
  static constexpr int kStartSide = 128;
  static constexpr int kMaxPixelHeight = 256;
  // Largest side painted whatever the device allows (64 MiB of texels): room for the characters
  // at kMaxPixelHeight, and a font with absurd glyph boxes cannot ask for more.
  static constexpr int kMaxSide = 4096;
  static constexpr D3DFORMAT kFormat = D3DFMT_A8R8G8B8;

  struct Glyph {
    int x = 0, y = 0;           // top-left texel of the cell
    int width = 0, height = 0;  // cell size in texels; height is lineHeight()
    float u0 = 0, v0 = 0;       // texture coordinates of the cell's top-left corner (v down)
    float u1 = 0, v1 = 0;       // ... and of its bottom-right corner
    int offsetX = 0;            // cell's left edge relative to the pen, texels (<= 0)
    float advance = 0;          // pen movement after this character, texels
  };

  // Paints the characters of the font file at fontPath, pixelHeight texels to the em
  // (1..kMaxPixelHeight), into a texture no wider than maxSide (the device's maximum texture
  // width, at least kStartSide; used up to kMaxSide and rounded down to a power of two). Null
  // with a message in error when the file is missing or not a scalable font, or an argument is
  // out of range.
  static std::unique_ptr<GlyphAtlas> create(const std::string& fontPath, int pixelHeight,
                                            int maxSide, std::string& error);

  // Texture side in texels, a power of two.
  int side() const { return atlasSide; }
  // side() x side() texels, rows top-down, 4 bytes each in the order B, G, R, A: white, with
  // the glyph coverage in alpha (0 outside glyphs).
  const std::vector<uint8_t>& texels() const { return pixels; }
  // Height of a line and of every cell, texels: the font's ascender plus descender, stretched
  // where a glyph reaches beyond them (no glyph is clipped).
  int lineHeight() const { return line; }
  // Em size the font was painted at: pixelHeight, or less when it was shrunk to fit.
  int paintedHeight() const { return painted; }
  // paintedHeight() / pixelHeight asked for; 1 unless shrunk.
  float textScale() const { return scale; }
  // The cell of character c; null outside kFirstCharacter..kLastCharacter.
  const Glyph* glyph(char c) const;

 private:
  GlyphAtlas() = default;

  int atlasSide = 0;
  std::vector<uint8_t> pixels;
  int line = 0;
  int painted = 0;
  float scale = 1;
  std::array<Glyph, kCharacterCount> glyphs{};
};
