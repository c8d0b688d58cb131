#include "platform/d3dx/ImageOps.h"

#include "tests/platform/d3dx/ImageTexels.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<D3DCOLOR> decode(D3DFORMAT format, UINT width, UINT height, const Bytes& blocks) {
  D3DXImageLevel out;
  EXPECT_EQ(D3DXConvertLevelToA8R8G8B8(format, {width, height, blocks}, out), D3D_OK);
  EXPECT_EQ(out.width, width);
  EXPECT_EQ(out.height, height);
  return texelsOf(out);
}

// Colour indices 0, 1, 2, 3 along each row.
constexpr uint8_t kIndexRow = 0xE4;

TEST(D3DXImageDXT, DXT1FourColourAndTransparentModes) {
  // c0 red > c1 blue: thirds between them.
  const std::vector<D3DCOLOR> fourColourRow = {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA};
  const std::vector<D3DCOLOR> fourColour = decode(
      D3DFMT_DXT1, 4, 4, {0x00, 0xF8, 0x1F, 0x00, kIndexRow, kIndexRow, kIndexRow, kIndexRow});
  // c0 blue <= c1 red: the midpoint, then transparent black.
  const std::vector<D3DCOLOR> threeColourRow = {0xFF0000FF, 0xFFFF0000, 0xFF800080, 0x00000000};
  const std::vector<D3DCOLOR> threeColour = decode(
      D3DFMT_DXT1, 4, 4, {0x1F, 0x00, 0x00, 0xF8, kIndexRow, kIndexRow, kIndexRow, kIndexRow});
  ASSERT_EQ(fourColour.size(), 16u);
  ASSERT_EQ(threeColour.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(fourColour[i], fourColourRow[i % 4]) << i;
    EXPECT_EQ(threeColour[i], threeColourRow[i % 4]) << i;
  }
  // Equal end points are the three-colour mode too.
  EXPECT_EQ(decode(D3DFMT_DXT1, 1, 1, {0x1F, 0x00, 0x1F, 0x00, 3, 0, 0, 0})[0], 0x00000000u);
}

TEST(D3DXImageDXT, DXT1EdgeBlocksAreCroppedToTheLevel) {
  // 5x3: two blocks side by side; the second contributes only its first column.
  const Bytes blocks = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00,   // all red
                        0x00, 0xF8, 0x1F, 0x00, 0x55, 0x55, 0x55, 0x55};  // all blue
  const std::vector<D3DCOLOR> texels = decode(D3DFMT_DXT1, 5, 3, blocks);
  ASSERT_EQ(texels.size(), 15u);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(texels[i], i % 5 == 4 ? 0xFF0000FFu : 0xFFFF0000u) << i;
}

TEST(D3DXImageDXT, DXT3ExplicitAlphaOverFourColours) {
  Bytes block;
  for (int i = 0; i < 8; ++i) block.push_back(uint8_t((2 * i) | ((2 * i + 1) << 4)));  // 0..15
  // c0 blue <= c1 red, which DXT3 still decodes as four opaque colours.
  block.insert(block.end(), {0x1F, 0x00, 0x00, 0xF8, kIndexRow, kIndexRow, kIndexRow, kIndexRow});
  const D3DCOLOR rgb[] = {0x0000FF, 0xFF0000, 0x5500AA, 0xAA0055};
  const std::vector<D3DCOLOR> texels = decode(D3DFMT_DXT3, 4, 4, block);
  ASSERT_EQ(texels.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(texels[i], (D3DCOLOR(i * 17) << 24) | rgb[i % 4]) << i;
}

TEST(D3DXImageDXT, DXT5EightAndSixAlphaModes) {
  // Index i % 8 for texel i, three bits each, little-endian across six bytes.
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
  const auto block = [&](uint8_t a0, uint8_t a1) {
    Bytes b = {a0, a1};
    for (int i = 0; i < 6; ++i) b.push_back(uint8_t(bits >> (8 * i)));
    b.insert(b.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});  // all white
    return b;
  };
  const struct {
    uint8_t a0, a1;
    uint8_t alphas[8];
  } cases[] = {
      {210, 0, {210, 0, 180, 150, 120, 90, 60, 30}},
      {0, 250, {0, 250, 50, 100, 150, 200, 0, 255}},
  };
  for (const auto& c : cases) {
    const std::vector<D3DCOLOR> texels = decode(D3DFMT_DXT5, 4, 4, block(c.a0, c.a1));
    ASSERT_EQ(texels.size(), 16u);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(texels[i], (D3DCOLOR(c.alphas[i % 8]) << 24) | 0xFFFFFF) << int(c.a0) << " " << i;
    }
  }
}

TEST(D3DXImageConversion, UncompressedFormatsReadAsTheSamplerSeesThem) {
  const struct {
    D3DFORMAT format;
    Bytes texel;
    D3DCOLOR expected;
  } cases[] = {
      {D3DFMT_A8R8G8B8, {1, 2, 3, 4}, 0x04030201},
      {D3DFMT_X8R8G8B8, {1, 2, 3, 0}, 0xFF030201},
      {D3DFMT_R8G8B8, {1, 2, 3}, 0xFF030201},
      {D3DFMT_R5G6B5, {0x1F, 0xF8}, 0xFFFF00FF},
      {D3DFMT_R5G6B5, {0xE0, 0x07}, 0xFF00FF00},
      {D3DFMT_A1R5G5B5, {0x00, 0x7C}, 0x00FF0000},
      {D3DFMT_A1R5G5B5, {0x10, 0x80}, 0xFF000084},
      {D3DFMT_A4R4G4B4, {0x0A, 0x8F}, 0x88FF00AA},
      {D3DFMT_L8, {0x40}, 0xFF404040},
      {D3DFMT_A8, {0x80}, 0x80000000},
      {D3DFMT_A8L8, {0x10, 0x80}, 0x80101010},
      // R 1.0, G 0.5, B -2.0, A 2.0 as halves.
      {D3DFMT_A16B16G16R16F, {0x00, 0x3C, 0x00, 0x38, 0x00, 0xC0, 0x00, 0x40}, 0xFFFF8000},
      {D3DFMT_A16B16G16R16F, {0x00, 0x7E, 0x00, 0x7C, 0x01, 0x00, 0x00, 0x00}, 0x0000FF00},
      {D3DFMT_R32F, {0x00, 0x00, 0x80, 0x3E}, 0xFF40FFFF},  // 0.25
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode(c.format, 1, 1, c.texel), std::vector<D3DCOLOR>{c.expected})
        << c.format << " " << std::hex << c.expected;
  }
  D3DXImageLevel out;
  EXPECT_EQ(D3DXConvertLevelToA8R8G8B8(D3DFMT_R8G8B8, {2, 1, {1, 2, 3}}, out), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXConvertLevelToA8R8G8B8(D3DFMT_DXT2, {4, 4, Bytes(16)}, out), D3DERR_INVALIDCALL);
  EXPECT_TRUE(out.bytes.empty());
}

TEST(D3DXImageColorKey, OnlyTexelsEqualToTheKeyBecomeTransparentBlack) {
  D3DXImageLevel level = argbLevel(3, 2, {0xFFFF00FF, 0xFFFF00FE, 0x80FF00FF,  //
                                          0xFF00FF00, 0xFFFF00FF, 0x00000000});
  EXPECT_EQ(D3DXApplyColorKey(level, 0), 0u);
  EXPECT_EQ(D3DXApplyColorKey(level, 0xFFFF00FF), 2u);
  EXPECT_EQ(texelsOf(level), (std::vector<D3DCOLOR>{0, 0xFFFF00FE, 0x80FF00FF,  //
                                                    0xFF00FF00, 0, 0}));
}

// 5x3: blue = 50 * column, green = 100 * row, red 255, alpha 0 in the last column.
D3DXImageLevel gradient5x3() {
  std::vector<D3DCOLOR> texels;
  for (UINT y = 0; y < 3; ++y) {
    for (UINT x = 0; x < 5; ++x) {
      texels.push_back(D3DCOLOR_ARGB(x == 4 ? 0 : 255, 255, 100 * y, 50 * x));
    }
  }
  return argbLevel(5, 3, texels);
}

TEST(D3DXImageResize, FiltersGiveTheirAverages) {
  const struct {
    const char* name;
    D3DXImageLevel source;
    UINT width, height;
    DWORD filter;
    std::vector<D3DCOLOR> expected;
  } cases[] = {
      // Column 2 is split between both outputs: blue (0 + 50 + 25) / 2.5 = 40, (25 + 150 + 200)
      // / 2.5 = 160; alpha (127.5 + 255) / 2.5 = 153.
      {"box 5x3 to 2x1", gradient5x3(), 2, 1, D3DX_FILTER_BOX, {0xFFFF6428, 0x99FF64A0}},
      {"default is box", gradient5x3(), 2, 1, D3DX_DEFAULT, {0xFFFF6428, 0x99FF64A0}},
      {"triangle with dither flag is box", gradient5x3(), 2, 1, D3DX_FILTER_TRIANGLE | 0x80000,
       {0xFFFF6428, 0x99FF64A0}},
      {"linear 2x1 to 4x1", argbLevel(2, 1, {0x00000000, 0xC8C8C8C8}), 4, 1, D3DX_FILTER_LINEAR,
       {0x00000000, 0x32323232, 0x96969696, 0xC8C8C8C8}},
      {"linear 3x1 to 2x1", argbLevel(3, 1, {0, 0x40404040, 0x80808080}), 2, 1, D3DX_FILTER_LINEAR,
       {0x10101010, 0x70707070}},
      {"point 4x1 to 2x1", argbLevel(4, 1, {10, 20, 30, 40}), 2, 1, D3DX_FILTER_POINT, {20, 40}},
      {"box upscale repeats", argbLevel(2, 1, {10, 20}), 4, 1, D3DX_FILTER_BOX, {10, 10, 20, 20}},
      {"none crops and pads", argbLevel(2, 2, {1, 2, 3, 4}), 3, 1, D3DX_FILTER_NONE, {1, 2, 0}},
  };
  for (const auto& c : cases) {
    D3DXImageLevel out;
    ASSERT_EQ(D3DXResizeLevel(c.source, c.width, c.height, c.filter, out), D3D_OK) << c.name;
    EXPECT_EQ(out.width, c.width);
    EXPECT_EQ(out.height, c.height);
    EXPECT_EQ(texelsOf(out), c.expected) << c.name;
  }
  D3DXImageLevel out;
  for (DWORD badFilter : {DWORD(0), DWORD(6)}) {
    EXPECT_EQ(D3DXResizeLevel(gradient5x3(), 2, 1, badFilter, out), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(D3DXResizeLevel(gradient5x3(), 0, 1, D3DX_FILTER_BOX, out), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXResizeLevel(gradient5x3(), 16385, 1, D3DX_FILTER_BOX, out), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXResizeLevel({2, 2, Bytes(15)}, 1, 1, D3DX_FILTER_BOX, out), D3DERR_INVALIDCALL);
  EXPECT_TRUE(out.bytes.empty());
}

TEST(D3DXImageMipChain, OddAndNonSquareSizesHalveDownToOneByOne) {
  const struct {
    UINT width, height, levels;
  } counts[] = {{1, 1, 1}, {5, 3, 3}, {8, 2, 4}, {2, 8, 4}, {16384, 1, 15}, {0, 4, 0}};
  for (const auto& c : counts) EXPECT_EQ(D3DXFullMipCount(c.width, c.height), c.levels);

  std::vector<D3DXImageLevel> chain = {gradient5x3()};
  ASSERT_EQ(D3DXFillMipChain(chain, 3, D3DX_FILTER_BOX), D3D_OK);
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_EQ(texelsOf(chain[1]), (std::vector<D3DCOLOR>{0xFFFF6428, 0x99FF64A0}));
  // (0xFF + 0x99) / 2 = 204 alpha, (0x28 + 0xA0) / 2 = 100 blue.
  EXPECT_EQ(texelsOf(chain[2]), std::vector<D3DCOLOR>{0xCCFF6464});
  EXPECT_EQ(chain[2].width, 1u);
  EXPECT_EQ(chain[2].height, 1u);

  ASSERT_EQ(D3DXFillMipChain(chain, 1, D3DX_FILTER_BOX), D3D_OK);  // cuts
  EXPECT_EQ(chain.size(), 1u);
  EXPECT_EQ(D3DXFillMipChain(chain, 4, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFillMipChain(chain, 0, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
  chain.push_back(argbLevel(1, 1, {0}));  // 5x3 is followed by 2x1, not 1x1
  EXPECT_EQ(D3DXFillMipChain(chain, 3, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
}

D3DXImage singleFace(D3DFORMAT format, std::vector<D3DXImageLevel> levels) {
  return {format, D3DRTYPE_TEXTURE, {std::move(levels)}};
}

// An 8x8 DXT1 chain whose blocks decode to red/blue thirds; magenta when asked.
D3DXImage dxt1Chain(UINT levels, bool magenta) {
  const Bytes block = magenta ? Bytes{0x1F, 0xF8, 0x00, 0x00, 0, 0, 0, 0}
                              : Bytes{0x00, 0xF8, 0x1F, 0x00, kIndexRow, 0, 0x55, 0xFF};
  std::vector<D3DXImageLevel> chain;
  for (UINT l = 0; l < levels; ++l) {
    const UINT side = 8 >> l;
    Bytes bytes;
    for (uint64_t i = 0; i < D3DXImageLevelSize(D3DFMT_DXT1, side, side) / 8; ++i) {
      bytes.insert(bytes.end(), block.begin(), block.end());
    }
    chain.push_back({side, side, bytes});
  }
  return singleFace(D3DFMT_DXT1, chain);
}

TEST(D3DXImagePrepare, KeepsTheFileWhenNothingIsToBeDone) {
  D3DXTextureRequest request;
  request.ColorKey = 0xFFFF00FF;
  const D3DXImage dxt = dxt1Chain(4, false);
  D3DXImage out;
  ASSERT_EQ(D3DXPrepareTextureImage(dxt, request, out), D3D_OK);
  EXPECT_EQ(out.format, D3DFMT_DXT1);
  ASSERT_EQ(out.faces.size(), 1u);
  ASSERT_EQ(out.faces[0].size(), 4u);
  for (int l = 0; l < 4; ++l) EXPECT_EQ(out.faces[0][l].bytes, dxt.faces[0][l].bytes);

  request.MipLevels = 2;
  ASSERT_EQ(D3DXPrepareTextureImage(dxt, request, out), D3D_OK);
  EXPECT_EQ(out.format, D3DFMT_DXT1);
  EXPECT_EQ(out.faces[0].size(), 2u);

  const D3DXImage r565 = singleFace(D3DFMT_R5G6B5, {{1, 1, {0x1F, 0xF8}}});  // magenta
  request = {};
  ASSERT_EQ(D3DXPrepareTextureImage(r565, request, out), D3D_OK);  // no key: kept
  EXPECT_EQ(out.format, D3DFMT_R5G6B5);
  EXPECT_EQ(out.faces[0][0].bytes, (Bytes{0x1F, 0xF8}));
}

TEST(D3DXImagePrepare, ConvertsKeysResizesAndGeneratesLevels) {
  D3DXTextureRequest request;
  request.ColorKey = 0xFFFF00FF;
  D3DXImage out;

  // A magenta DXT1 texel is keyed, which needs the decoded texels.
  ASSERT_EQ(D3DXPrepareTextureImage(dxt1Chain(4, true), request, out), D3D_OK);
  EXPECT_EQ(out.format, D3DFMT_A8R8G8B8);
  ASSERT_EQ(out.faces[0].size(), 4u);
  for (const D3DXImageLevel& level : out.faces[0]) {
    for (D3DCOLOR c : texelsOf(level)) EXPECT_EQ(c, 0u);
  }

  // A file without mips gets a full, generated chain.
  ASSERT_EQ(D3DXPrepareTextureImage(dxt1Chain(1, false), request, out), D3D_OK);
  EXPECT_EQ(out.format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(out.faces[0].size(), 4u);
  EXPECT_TRUE(D3DXIsImageValid(out));

  // TGA forced to A8R8G8B8: the key applies before the box filter mixes the magenta texel in.
  const D3DXImage tga = singleFace(D3DFMT_A8R8G8B8, {argbLevel(2, 2, {0xFFFF00FF, 0xFF0000FF,  //
                                                                      0xFF0000FF, 0xFF0000FF})});
  request.Format = D3DFMT_A8R8G8B8;
  ASSERT_EQ(D3DXPrepareTextureImage(tga, request, out), D3D_OK);
  ASSERT_EQ(out.faces[0].size(), 2u);
  EXPECT_EQ(texelsOf(out.faces[0][0])[0], 0u);
  EXPECT_EQ(texelsOf(out.faces[0][1]), std::vector<D3DCOLOR>{0xBF0000BF});  // 765/4, 765/4

  // Downsizing 5x3 to 2x1 keeps the file's single level when asked for the file's count.
  request = {};
  request.Width = 2;
  request.Height = 1;
  request.MipLevels = D3DX_FROM_FILE;
  ASSERT_EQ(D3DXPrepareTextureImage(singleFace(D3DFMT_A8R8G8B8, {gradient5x3()}), request, out),
            D3D_OK);
  ASSERT_EQ(out.faces[0].size(), 1u);
  EXPECT_EQ(texelsOf(out.faces[0][0]), (std::vector<D3DCOLOR>{0xFFFF6428, 0x99FF64A0}));

  // A cube stays six faces, each keyed.
  D3DXImage cube{D3DFMT_A8R8G8B8, D3DRTYPE_CUBETEXTURE, {}};
  for (int f = 0; f < 6; ++f) cube.faces.push_back({argbLevel(1, 1, {0xFFFF00FF})});
  request = {};
  request.ColorKey = 0xFFFF00FF;
  ASSERT_EQ(D3DXPrepareTextureImage(cube, request, out), D3D_OK);
  EXPECT_EQ(out.type, D3DRTYPE_CUBETEXTURE);
  ASSERT_EQ(out.faces.size(), 6u);
  for (const auto& face : out.faces) EXPECT_EQ(texelsOf(face[0]), std::vector<D3DCOLOR>{0});
}

TEST(D3DXImagePrepare, RefusesWhatItCannotDo) {
  const D3DXImage tga = singleFace(D3DFMT_A8R8G8B8, {argbLevel(2, 2, {1, 2, 3, 4})});
  D3DXImage cube{D3DFMT_L8, D3DRTYPE_CUBETEXTURE, {}};
  for (int f = 0; f < 6; ++f) cube.faces.push_back({{1, 1, {7}}});
  const D3DXImage empty;
  const struct {
    const char* name;
    const D3DXImage& source;
    D3DXTextureRequest request;
    HRESULT expected;
  } cases[] = {
      {"compressing", tga, {.Format = D3DFMT_DXT5}, D3DERR_NOTAVAILABLE},
      {"non-square cube", cube, {.Width = 2, .Height = 1}, D3DERR_INVALIDCALL},
      {"oversized", tga, {.Width = 16385}, D3DERR_INVALIDCALL},
      {"bad filter", tga, {.Filter = 0}, D3DERR_INVALIDCALL},
      {"bad mip filter", tga, {.MipFilter = 9}, D3DERR_INVALIDCALL},
      {"invalid source", empty, {}, D3DERR_INVALIDCALL},
  };
  for (const auto& c : cases) {
    D3DXImage out = tga;
    EXPECT_EQ(D3DXPrepareTextureImage(c.source, c.request, out), c.expected) << c.name;
    EXPECT_EQ(out.faces[0][0].bytes, tga.faces[0][0].bytes) << c.name;
  }
}

}  // namespace
