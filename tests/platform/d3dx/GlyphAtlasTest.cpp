#include "platform/d3dx/GlyphAtlas.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

const std::string kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

int alphaAt(const GlyphAtlas& atlas, int x, int y) {
  return atlas.texels()[(size_t(y) * atlas.side() + x) * 4 + 3];
}

// Sum of the alpha inside a character's cell.
int coverage(const GlyphAtlas& atlas, char c) {
  const GlyphAtlas::Glyph* g = atlas.glyph(c);
  int sum = 0;
  for (int y = g->y; y < g->y + g->height; ++y) {
    for (int x = g->x; x < g->x + g->width; ++x) sum += alphaAt(atlas, x, y);
  }
  return sum;
}

// Whether b touches a, or the one-texel margin around a.
bool touches(const GlyphAtlas::Glyph& a, const GlyphAtlas::Glyph& b) {
  return a.x - 1 < b.x + b.width && b.x < a.x + a.width + 1 && a.y - 1 < b.y + b.height &&
         b.y < a.y + a.height + 1;
}

// Cells inside the texture with a one-texel margin (so filtering never mixes two characters or
// wraps round the border), texture coordinates on the cell's edges, and no coverage outside
// every cell.
void expectSoundLayout(const GlyphAtlas& atlas) {
  const int side = atlas.side();
  ASSERT_TRUE(std::has_single_bit(unsigned(side))) << side;
  ASSERT_GE(side, GlyphAtlas::kStartSide);
  ASSERT_EQ(atlas.texels().size(), size_t(side) * side * 4);
  std::vector<bool> inCell(size_t(side) * side, false);
  for (char c = GlyphAtlas::kFirstCharacter; c <= GlyphAtlas::kLastCharacter; ++c) {
    SCOPED_TRACE(testing::Message() << "character '" << c << "'");
    const GlyphAtlas::Glyph* g = atlas.glyph(c);
    ASSERT_NE(g, nullptr);
    EXPECT_GE(g->x, 1);
    EXPECT_GE(g->y, 1);
    EXPECT_LE(g->x + g->width, side - 1);
    EXPECT_LE(g->y + g->height, side - 1);
    EXPECT_EQ(g->height, atlas.lineHeight());
    EXPECT_GT(g->advance, 0);
    EXPECT_FLOAT_EQ(g->u0, float(g->x) / side);
    EXPECT_FLOAT_EQ(g->v0, float(g->y) / side);
    EXPECT_FLOAT_EQ(g->u1, float(g->x + g->width) / side);
    EXPECT_FLOAT_EQ(g->v1, float(g->y + g->height) / side);
    for (char d = GlyphAtlas::kFirstCharacter; d < c; ++d) {
      EXPECT_FALSE(touches(*g, *atlas.glyph(d))) << "touches '" << d << "'";
    }
    for (int y = g->y; y < g->y + g->height; ++y) {
      for (int x = g->x; x < g->x + g->width; ++x) inCell[size_t(y) * side + x] = true;
    }
  }
  int strayAlpha = 0;
  int notWhite = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      if (!inCell[size_t(y) * side + x] && alphaAt(atlas, x, y) != 0) ++strayAlpha;
      const uint8_t* bgr = &atlas.texels()[(size_t(y) * side + x) * 4];
      if (bgr[0] != 0xFF || bgr[1] != 0xFF || bgr[2] != 0xFF) ++notWhite;
    }
  }
  EXPECT_EQ(strayAlpha, 0);
  EXPECT_EQ(notWhite, 0);
}

TEST(GlyphAtlas, PaintsEveryCharacterIntoItsOwnCell) {
  std::string error;
  const auto atlas = GlyphAtlas::create(kFont, 16, 2048, error);
  ASSERT_NE(atlas, nullptr) << error;
  EXPECT_EQ(atlas->paintedHeight(), 16);
  EXPECT_EQ(atlas->textScale(), 1.0f);
  EXPECT_GE(atlas->lineHeight(), 16);
  expectSoundLayout(*atlas);

  // Space moves the pen but paints nothing; 'H' paints its cell; 'W' is wider than 'i'.
  const GlyphAtlas::Glyph* space = atlas->glyph(' ');
  EXPECT_GT(space->advance, 0);
  EXPECT_EQ(coverage(*atlas, ' '), 0);
  const GlyphAtlas::Glyph* h = atlas->glyph('H');
  EXPECT_GT(coverage(*atlas, 'H'), 255 * h->height);  // two full-height stems at least
  int opaque = 0;
  for (int y = h->y; y < h->y + h->height; ++y) {
    for (int x = h->x; x < h->x + h->width; ++x) opaque += alphaAt(*atlas, x, y) == 255;
  }
  EXPECT_GT(opaque, 0);
  EXPECT_GT(atlas->glyph('W')->advance, atlas->glyph('i')->advance);
  EXPECT_GT(atlas->glyph('W')->width, atlas->glyph('i')->width);
  for (char c : {'A', 'g', 'j', '~', '!', '0'}) EXPECT_GT(coverage(*atlas, c), 0) << c;

  EXPECT_EQ(atlas->glyph('\x1f'), nullptr);
  EXPECT_EQ(atlas->glyph('\x7f'), nullptr);
  EXPECT_EQ(atlas->glyph(static_cast<char>(0xE9)), nullptr);
}

TEST(GlyphAtlas, TextureGrowsInPowersOfTwoForLargerFonts) {
  std::string error;
  // A small font fits the starting texture; a larger one needs a larger power of two.
  const auto small = GlyphAtlas::create(kFont, 10, 4096, error);
  const auto large = GlyphAtlas::create(kFont, 64, 4096, error);
  ASSERT_NE(small, nullptr) << error;
  ASSERT_NE(large, nullptr) << error;
  EXPECT_EQ(small->side(), GlyphAtlas::kStartSide);
  EXPECT_GT(large->side(), small->side());
  EXPECT_EQ(large->paintedHeight(), 64);
  EXPECT_GT(large->glyph('W')->advance, 5 * small->glyph('W')->advance);
  expectSoundLayout(*large);
}

TEST(GlyphAtlas, ShrinksTheFontWhenTheDeviceTextureIsTooSmall) {
  std::string error;
  // 64 pixels to the em needs far more than 128 x 128 texels.
  const auto atlas = GlyphAtlas::create(kFont, 64, 128, error);
  ASSERT_NE(atlas, nullptr) << error;
  EXPECT_EQ(atlas->side(), 128);
  EXPECT_LT(atlas->paintedHeight(), 64);
  EXPECT_GT(atlas->paintedHeight(), 0);
  EXPECT_FLOAT_EQ(atlas->textScale(), atlas->paintedHeight() / 64.0f);
  expectSoundLayout(*atlas);

  // A limit that is not a power of two is rounded down.
  const auto rounded = GlyphAtlas::create(kFont, 64, 200, error);
  ASSERT_NE(rounded, nullptr) << error;
  EXPECT_EQ(rounded->side(), 128);
}

TEST(GlyphAtlas, BadFontOrArgumentsFailWithAMessage) {
  TempFolder folder;
  const std::string empty = folder.write("empty.ttf", "");
  const std::string garbage = folder.write("garbage.ttf", std::string(4096, '\x5a'));
  // A TrueType header promising tables that are not there.
  const std::string truncated =
      folder.write("truncated.ttf", std::string("\x00\x01\x00\x00\x00\x10\x00\x80", 8));
  struct Case {
    std::string path;
    int pixelHeight;
    int maxSide;
    std::string message;
  } cases[] = {
      {(folder.path() / "missing.ttf").string(), 16, 2048, "font file not found: "},
      {folder.path().string(), 16, 2048, "font file not found: "},  // a folder
      {empty, 16, 2048, "cannot read font "},
      {garbage, 16, 2048, "cannot read font "},
      {truncated, 16, 2048, "cannot read font "},
      {kFont, 0, 2048, "font pixel height 0 is outside 1..256"},
      {kFont, 257, 2048, "font pixel height 257 is outside 1..256"},
      {kFont, 16, 64, "maximum texture side 64 is below 128"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.pixelHeight) + " " + std::to_string(c.maxSide));
    std::string error;
    EXPECT_EQ(GlyphAtlas::create(c.path, c.pixelHeight, c.maxSide, error), nullptr);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
  }
}

}  // namespace
