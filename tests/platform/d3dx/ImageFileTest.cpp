#include "platform/d3dx/ImageFile.h"

#include "tests/platform/d3dx/ImageTexels.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

// Every face and level filled with bytes that differ between faces, levels and positions.
D3DXImage patternImage(D3DFORMAT format, D3DRESOURCETYPE type, UINT width, UINT height,
                       UINT levels) {
  D3DXImage image{format, type, {}};
  const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
  for (UINT f = 0; f < faces; ++f) {
    std::vector<D3DXImageLevel>& face = image.faces.emplace_back();
    for (UINT l = 0; l < levels; ++l) {
      const UINT w = std::max(width >> l, 1u), h = std::max(height >> l, 1u);
      D3DXImageLevel& level = face.emplace_back(D3DXImageLevel{w, h, {}});
      level.bytes.resize(D3DXImageLevelSize(format, w, h));
      for (size_t i = 0; i < level.bytes.size(); ++i) {
        level.bytes[i] = uint8_t(i * 7 + f * 31 + l * 13 + 1);
      }
    }
  }
  return image;
}

Bytes ddsBytes(const D3DXImage& image) {
  ID3DXBuffer* buffer = nullptr;
  EXPECT_EQ(D3DXSaveImageToDDSFileInMemory(image, &buffer), D3D_OK);
  if (!buffer) return {};
  const auto* data = static_cast<const uint8_t*>(buffer->GetBufferPointer());
  Bytes bytes(data, data + buffer->GetBufferSize());
  buffer->Release();
  return bytes;
}

void patch32(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = uint8_t(value >> (8 * i));
}

// Offsets of DDS header fields, the magic included.
constexpr size_t kHeaderSizeAt = 4, kFlagsAt = 8, kHeightAt = 12, kWidthAt = 16, kDepthAt = 24,
                 kMipCountAt = 28, kPixelFormatSizeAt = 76, kPixelFlagsAt = 80, kFourCCAt = 84,
                 kAlphaMaskAt = 104, kCaps2At = 112;

void expectSameImage(const D3DXImage& a, const D3DXImage& b) {
  EXPECT_EQ(a.format, b.format);
  EXPECT_EQ(a.type, b.type);
  ASSERT_EQ(a.faces.size(), b.faces.size());
  for (size_t f = 0; f < a.faces.size(); ++f) {
    ASSERT_EQ(a.faces[f].size(), b.faces[f].size());
    for (size_t l = 0; l < a.faces[f].size(); ++l) {
      EXPECT_EQ(a.faces[f][l].width, b.faces[f][l].width);
      EXPECT_EQ(a.faces[f][l].height, b.faces[f][l].height);
      EXPECT_EQ(a.faces[f][l].bytes, b.faces[f][l].bytes) << "face " << f << " level " << l;
    }
  }
}

void loadOrFail(const Bytes& file, D3DXImage& image, D3DXIMAGE_INFO& info) {
  ASSERT_EQ(D3DXLoadImageFromFileInMemory(file.data(), UINT(file.size()), image, &info), D3D_OK);
}

TEST(D3DXImageDDS, WriteThenReadGivesTheSameImage) {
  const struct {
    D3DFORMAT format;
    D3DRESOURCETYPE type;
    UINT width, height, levels;
  } cases[] = {
      {D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE, 8, 4, 4},
      {D3DFMT_X8R8G8B8, D3DRTYPE_TEXTURE, 5, 3, 3},
      {D3DFMT_R8G8B8, D3DRTYPE_TEXTURE, 3, 7, 2},
      {D3DFMT_R5G6B5, D3DRTYPE_TEXTURE, 4, 4, 1},
      {D3DFMT_A1R5G5B5, D3DRTYPE_TEXTURE, 2, 2, 2},
      {D3DFMT_A4R4G4B4, D3DRTYPE_TEXTURE, 1, 9, 4},
      {D3DFMT_L8, D3DRTYPE_TEXTURE, 6, 2, 3},
      {D3DFMT_A8, D3DRTYPE_TEXTURE, 4, 1, 3},
      {D3DFMT_A8L8, D3DRTYPE_TEXTURE, 2, 4, 1},
      {D3DFMT_A16B16G16R16F, D3DRTYPE_TEXTURE, 4, 2, 3},
      {D3DFMT_R32F, D3DRTYPE_TEXTURE, 2, 2, 2},
      {D3DFMT_DXT1, D3DRTYPE_TEXTURE, 8, 8, 4},
      {D3DFMT_DXT3, D3DRTYPE_TEXTURE, 6, 10, 2},
      {D3DFMT_DXT5, D3DRTYPE_TEXTURE, 16, 4, 5},
      {D3DFMT_A8R8G8B8, D3DRTYPE_CUBETEXTURE, 4, 4, 3},
      {D3DFMT_DXT1, D3DRTYPE_CUBETEXTURE, 8, 8, 2},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " type " << c.type);
    const D3DXImage written = patternImage(c.format, c.type, c.width, c.height, c.levels);
    ASSERT_TRUE(D3DXIsImageValid(written));
    const std::string file = (folder.path() / "out.dds").string();
    ASSERT_EQ(D3DXSaveImageToDDSFileA(file.c_str(), written), D3D_OK);

    D3DXImage read;
    D3DXIMAGE_INFO loadedInfo{};
    ASSERT_EQ(D3DXLoadImageFromFileA(file.c_str(), read, &loadedInfo), D3D_OK);
    expectSameImage(read, written);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileA(file.c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, c.width);
    EXPECT_EQ(info.Height, c.height);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, c.levels);
    EXPECT_EQ(info.Format, c.format);
    EXPECT_EQ(info.ResourceType, c.type);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    EXPECT_EQ(std::memcmp(&info, &loadedInfo, sizeof info), 0);
    // The file and the in-memory form are the same bytes.
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), ddsBytes(written));
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.dds.tmp"));
}

TEST(D3DXImageDDS, HeaderVariantsOfOtherWritersAreRead) {
  const struct {
    const char* name;
    D3DFORMAT written;
    UINT levels;
    size_t offset;
    uint32_t value;
    D3DFORMAT expected;
    UINT expectedLevels;
  } cases[] = {
      {"mip count 0 means one level", D3DFMT_L8, 1, kMipCountAt, 0, D3DFMT_L8, 1},
      {"mip count without its flag", D3DFMT_L8, 3, kFlagsAt, 0x1007, D3DFMT_L8, 3},
      {"A8 flagged as alpha pixels", D3DFMT_A8, 1, kPixelFlagsAt, 0x1, D3DFMT_A8, 1},
      {"alpha mask without alpha flag", D3DFMT_X8R8G8B8, 1, kAlphaMaskAt, 0xFF000000,
       D3DFMT_X8R8G8B8, 1},
      {"format number as fourCC", D3DFMT_A16B16G16R16F, 2, kFourCCAt, 113,
       D3DFMT_A16B16G16R16F, 2},
      {"depth 1 of a flat texture", D3DFMT_DXT1, 1, kDepthAt, 1, D3DFMT_DXT1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const D3DXImage written = patternImage(c.written, D3DRTYPE_TEXTURE, 4, 4, c.levels);
    Bytes file = ddsBytes(written);
    patch32(file, c.offset, c.value);
    D3DXImage read;
    D3DXIMAGE_INFO info{};
    loadOrFail(file, read, info);
    EXPECT_EQ(read.format, c.expected);
    ASSERT_EQ(read.faces.size(), 1u);
    EXPECT_EQ(read.faces[0].size(), c.expectedLevels);
    EXPECT_EQ(info.MipLevels, c.expectedLevels);
    EXPECT_EQ(read.faces[0][0].bytes, written.faces[0][0].bytes);
  }
}

TEST(D3DXImageDDS, TrailingBytesAreIgnored) {
  const D3DXImage written = patternImage(D3DFMT_DXT5, D3DRTYPE_TEXTURE, 8, 8, 2);
  Bytes file = ddsBytes(written);
  file.insert(file.end(), {1, 2, 3, 4, 5});
  D3DXImage read;
  D3DXIMAGE_INFO info{};
  loadOrFail(file, read, info);
  expectSameImage(read, written);
}

TEST(D3DXImageDDS, BadInputsFailWithoutTouchingTheOutputs) {
  const Bytes cube = ddsBytes(patternImage(D3DFMT_A8R8G8B8, D3DRTYPE_CUBETEXTURE, 4, 4, 3));
  const Bytes flat = ddsBytes(patternImage(D3DFMT_DXT1, D3DRTYPE_TEXTURE, 8, 4, 2));
  std::vector<std::pair<std::string, Bytes>> inputs;
  for (const auto& [name, file] : {std::pair{"cube", &cube}, std::pair{"DXT1", &flat}}) {
    for (size_t size = 0; size < file->size(); ++size) {
      inputs.emplace_back(std::string(name) + " cut to " + std::to_string(size),
                          Bytes(file->begin(), file->begin() + size));
    }
  }
  const struct {
    const char* name;
    size_t offset;
    uint32_t value;
  } patches[] = {
      {"bad magic", 0, MAKEFOURCC('D', 'D', 'S', '!')},
      {"header size 123", kHeaderSizeAt, 123},
      {"header size 0", kHeaderSizeAt, 0},
      {"pixel format size 24", kPixelFormatSizeAt, 24},
      {"width 0", kWidthAt, 0},
      {"height 0", kHeightAt, 0},
      {"width 16385", kWidthAt, 16385},
      {"huge height", kHeightAt, 0xFFFFFFFF},
      {"huge square", kWidthAt, 16384},
      {"mips beyond 1x1", kMipCountAt, 5},
      {"huge mip count", kMipCountAt, 0xFFFFFFFF},
      {"levels larger than the data", kMipCountAt, 4},
      {"sides larger than the data", kHeightAt, 16},
      {"volume texture", kCaps2At, 0x200000},
      {"volume by depth", kDepthAt, 4},
      {"cube with five faces", kCaps2At, 0x200 | 0x7C00},
      {"premultiplied DXT2", kFourCCAt, MAKEFOURCC('D', 'X', 'T', '2')},
      {"unknown fourCC", kFourCCAt, MAKEFOURCC('A', 'T', 'I', '2')},
      {"fourCC of an unheld format number", kFourCCAt, 36},
      {"no pixel format kind", kPixelFlagsAt, 0},
  };
  for (const auto& p : patches) {
    Bytes file = flat;
    patch32(file, p.offset, p.value);
    if (p.offset == kDepthAt) patch32(file, kFlagsAt, 0x800000 | 0x1007);
    inputs.emplace_back(p.name, file);
  }
  Bytes nonSquareCube = cube;
  patch32(nonSquareCube, kWidthAt, 8);
  inputs.emplace_back("non-square cube", nonSquareCube);
  Bytes oneShort = cube;
  oneShort.pop_back();
  inputs.emplace_back("cube one byte short", oneShort);

  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    D3DXImage image = patternImage(D3DFMT_L8, D3DRTYPE_TEXTURE, 1, 1, 1);
    const D3DXImage before = image;
    D3DXIMAGE_INFO info{7, 7, 7, 7, D3DFMT_L8, D3DRTYPE_SURFACE, D3DXIFF_PFM};
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), UINT(bytes.size()), &info),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXLoadImageFromFileInMemory(bytes.data(), UINT(bytes.size()), image, &info),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(info.Width, 7u);
    expectSameImage(image, before);
  }
}

// Little-endian TGA header: no id, no colour map, origin at the bottom unless topDown.
Bytes tgaHeader(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, bool topDown) {
  return {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8),
          uint8_t(height), uint8_t(height >> 8), bits, uint8_t(topDown ? 0x20 : 0)};
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(D3DXImageTGA, DecodesToBGRATexelsAndReportsTheFileFormat) {
  // Stored B, G, R(, A); rows bottom-up unless the header says top-down.
  const struct {
    const char* name;
    Bytes file;
    D3DFORMAT format;
    std::vector<D3DCOLOR> texels;  // top row first
  } cases[] = {
      {"32-bit bottom-up",
       concat(tgaHeader(2, 2, 2, 32, false),
              {0x10, 0x20, 0x30, 0x40, 0x11, 0x21, 0x31, 0x41,     // bottom row
               0x12, 0x22, 0x32, 0x42, 0x13, 0x23, 0x33, 0x43}),  // top row
       D3DFMT_A8R8G8B8,
       {0x42322212, 0x43332313, 0x40302010, 0x41312111}},
      {"24-bit top-down",
       concat(tgaHeader(2, 3, 1, 24, true), {1, 2, 3, 4, 5, 6, 7, 8, 9}),
       D3DFMT_R8G8B8,
       {0xFF030201, 0xFF060504, 0xFF090807}},
      {"24-bit RLE: a run of three, then two raw",
       concat(tgaHeader(10, 5, 1, 24, true),
              {0x82, 0xFF, 0x00, 0xFF, 0x01, 1, 2, 3, 4, 5, 6}),
       D3DFMT_R8G8B8,
       {0xFFFF00FF, 0xFFFF00FF, 0xFFFF00FF, 0xFF030201, 0xFF060504}},
      {"8-bit grey RLE", concat(tgaHeader(11, 4, 1, 8, true), {0x83, 0x80}), D3DFMT_L8,
       {0xFF808080, 0xFF808080, 0xFF808080, 0xFF808080}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    D3DXImage image;
    D3DXIMAGE_INFO info{};
    loadOrFail(c.file, image, info);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    EXPECT_EQ(info.Format, c.format);
    EXPECT_EQ(info.Width, image.faces.at(0).at(0).width);
    EXPECT_EQ(info.Width * info.Height, c.texels.size());
    EXPECT_EQ(image.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(texelsOf(image.faces[0][0]), c.texels);
    D3DXIMAGE_INFO infoOnly{};
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(c.file.data(), UINT(c.file.size()), &infoOnly),
              D3D_OK);
    EXPECT_EQ(infoOnly.Format, c.format);

    // The decoder would fill missing texels with zeros; a short file must fail instead.
    for (size_t size = 0; size < c.file.size(); ++size) {
      D3DXImage cut;
      EXPECT_EQ(D3DXLoadImageFromFileInMemory(c.file.data(), UINT(size), cut, nullptr),
                D3DXERR_INVALIDDATA)
          << "cut to " << size;
    }
  }
}

void appendToBytes(void* context, void* data, int size) {
  auto* bytes = static_cast<Bytes*>(context);
  bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

TEST(D3DXImageStb, PngAndBmpDecodeExactlyAndJpgReportsItsSize) {
  // R, G, B, A per texel as stb_image_write takes them.
  const uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0,
                          10, 20, 30, 40, 255, 0, 255, 255, 1, 2, 3, 4};
  const std::vector<D3DCOLOR> expectedRGBA = {0xFFFF0000, 0x8000FF00, 0x000000FF,
                                              0x280A141E, 0xFFFF00FF, 0x04010203};
  uint8_t rgb[18], grey[6];
  for (int i = 0; i < 6; ++i) {
    for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = rgba[i * 4 + c];
    grey[i] = uint8_t(i * 40);
  }
  Bytes pngRGBA, pngRGB, pngGrey, bmp, jpg;
  ASSERT_TRUE(stbi_write_png_to_func(appendToBytes, &pngRGBA, 3, 2, 4, rgba, 12));
  ASSERT_TRUE(stbi_write_png_to_func(appendToBytes, &pngRGB, 3, 2, 3, rgb, 9));
  ASSERT_TRUE(stbi_write_png_to_func(appendToBytes, &pngGrey, 3, 2, 1, grey, 3));
  ASSERT_TRUE(stbi_write_bmp_to_func(appendToBytes, &bmp, 3, 2, 3, rgb));
  ASSERT_TRUE(stbi_write_jpg_to_func(appendToBytes, &jpg, 3, 2, 3, rgb, 90));

  std::vector<D3DCOLOR> opaque, greys;
  for (int i = 0; i < 6; ++i) {
    opaque.push_back(expectedRGBA[i] | 0xFF000000);
    greys.push_back(D3DCOLOR_XRGB(i * 40, i * 40, i * 40));
  }
  const struct {
    const char* name;
    const Bytes& file;
    D3DXIMAGE_FILEFORMAT container;
    D3DFORMAT format;
    const std::vector<D3DCOLOR>* texels;  // null: lossy, only the size is checked
  } cases[] = {
      {"PNG with alpha", pngRGBA, D3DXIFF_PNG, D3DFMT_A8R8G8B8, &expectedRGBA},
      {"PNG without alpha", pngRGB, D3DXIFF_PNG, D3DFMT_X8R8G8B8, &opaque},
      {"grey PNG", pngGrey, D3DXIFF_PNG, D3DFMT_L8, &greys},
      {"24-bit BMP", bmp, D3DXIFF_BMP, D3DFMT_R8G8B8, &opaque},
      {"JPG", jpg, D3DXIFF_JPG, D3DFMT_X8R8G8B8, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    D3DXImage image;
    D3DXIMAGE_INFO info{};
    loadOrFail(c.file, image, info);
    EXPECT_EQ(info.ImageFileFormat, c.container);
    EXPECT_EQ(info.Format, c.format);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_TRUE(D3DXIsImageValid(image));
    EXPECT_EQ(image.format, D3DFMT_A8R8G8B8);
    if (c.texels) {
      EXPECT_EQ(texelsOf(image.faces[0][0]), *c.texels);
    }
  }

  // Every prefix of the PNG and BMP that loses data fails: zlib or the row check notices. The
  // PNG's last four bytes are the end chunk's checksum, which the decoder does not read.
  for (const auto& [file, kept] : {std::pair{&pngRGBA, 4u}, std::pair{&bmp, 0u}}) {
    for (size_t size = 0; size + kept < file->size(); ++size) {
      D3DXImage cut;
      EXPECT_EQ(D3DXLoadImageFromFileInMemory(file->data(), UINT(size), cut, nullptr),
                D3DXERR_INVALIDDATA)
          << "cut to " << size;
    }
  }
}

TEST(D3DXImageStb, RefusesOtherContainersAndSizesTheBytesCannotHold) {
  Bytes pngHuge, pngWide, pngLongChunk;
  const uint8_t texel[4] = {1, 2, 3, 4};
  ASSERT_TRUE(stbi_write_png_to_func(appendToBytes, &pngHuge, 1, 1, 4, texel, 4));
  pngWide = pngLongChunk = pngHuge;
  // IHDR's width and height sit big-endian at bytes 16 and 20; stb_image does not check CRCs.
  const auto setSide = [](Bytes& png, size_t at, uint32_t side) {
    for (int i = 0; i < 4; ++i) png[at + i] = uint8_t(side >> (24 - 8 * i));
  };
  setSide(pngHuge, 16, 16000);
  setSide(pngHuge, 20, 16000);
  setSide(pngWide, 16, 16385);
  setSide(pngLongChunk, 33, 0x7FFFFFF0);  // IDAT's length, right after IHDR
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"PPM", {'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 1, 2, 3, 0, 0, 0, 0}},
      {"TGA with an unknown image type", concat(tgaHeader(4, 1, 1, 24, false), {1, 2, 3})},
      {"TGA 0 wide", concat(tgaHeader(2, 0, 1, 24, false), {1, 2, 3})},
      {"TGA 20000 wide", concat(tgaHeader(2, 20000, 1, 8, false), Bytes(20000, 0))},
      {"PNG claiming 16000 x 16000 in a few bytes", pngHuge},
      {"PNG wider than 16384", pngWide},
      {"PNG chunk longer than the file", pngLongChunk},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    D3DXIMAGE_INFO info{};
    D3DXImage image;
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(c.file.data(), UINT(c.file.size()), &info),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXLoadImageFromFileInMemory(c.file.data(), UINT(c.file.size()), image, &info),
              D3DXERR_INVALIDDATA);
    EXPECT_TRUE(image.faces.empty());
  }
}

// stb_image's JPEG decoder overruns its tables on these; they must be refused before it runs.
TEST(D3DXImageStb, JpegTablesTheDecoderWouldTrustAreChecked) {
  uint8_t rgb[4 * 4 * 3];
  for (size_t i = 0; i < sizeof rgb; ++i) rgb[i] = uint8_t(i * 13);
  Bytes jpg;
  ASSERT_TRUE(stbi_write_jpg_to_func(appendToBytes, &jpg, 4, 4, 3, rgb, 90));
  const auto segment = [&](uint8_t marker) {
    const uint8_t pattern[] = {0xFF, marker};
    return size_t(std::search(jpg.begin(), jpg.end(), pattern, pattern + 2) - jpg.begin());
  };
  const size_t dht = segment(0xC4), sos = segment(0xDA), sof = segment(0xC0);
  ASSERT_LT(dht, jpg.size());
  ASSERT_LT(sos, jpg.size());
  ASSERT_LT(sof, jpg.size());
  D3DXImage image;
  ASSERT_EQ(D3DXLoadImageFromFileInMemory(jpg.data(), UINT(jpg.size()), image, nullptr), D3D_OK);

  Bytes tooManyCodes = jpg, undefinedHuffman = jpg, undefinedQuantisation = jpg;
  std::fill_n(tooManyCodes.begin() + dht + 5, 16, 0xFF);  // 16 lengths of 255 codes each
  undefinedHuffman[sos + 6] = 0x33;                         // first component: DC 3, AC 3
  undefinedQuantisation[sof + 12] = 3;                      // first component: table 3
  for (const Bytes* bad : {&tooManyCodes, &undefinedHuffman, &undefinedQuantisation}) {
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bad->data(), UINT(bad->size()), &info),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXLoadImageFromFileInMemory(bad->data(), UINT(bad->size()), image, nullptr),
              D3DXERR_INVALIDDATA);
  }
  for (size_t size = 0; size < jpg.size(); ++size) {
    EXPECT_EQ(D3DXLoadImageFromFileInMemory(jpg.data(), UINT(size), image, nullptr),
              D3DXERR_INVALIDDATA)
        << "cut to " << size;
  }
}

TEST(D3DXImageCalls, BadArgumentsAndFailedSavesAreReported) {
  TempFolder folder;
  const std::string missing = (folder.path() / "missing.dds").string();
  D3DXIMAGE_INFO info{};
  D3DXImage image;
  EXPECT_EQ(D3DXGetImageInfoFromFileA(missing.c_str(), &info), D3DERR_NOTFOUND);
  EXPECT_EQ(D3DXLoadImageFromFileA(missing.c_str(), image, nullptr), D3DERR_NOTFOUND);
  EXPECT_EQ(D3DXGetImageInfoFromFileA(folder.path().string().c_str(), &info), D3DERR_NOTFOUND);
  EXPECT_EQ(D3DXGetImageInfoFromFileA(missing.c_str(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(nullptr, 100, &info), D3DXERR_INVALIDDATA);

  // A failed save leaves the previous file as it was and no temporary beside it.
  const D3DXImage good = patternImage(D3DFMT_L8, D3DRTYPE_TEXTURE, 2, 2, 2);
  const std::string target = (folder.path() / "keep.dds").string();
  ASSERT_EQ(D3DXSaveImageToDDSFileA(target.c_str(), good), D3D_OK);
  D3DXImage broken = good;
  broken.faces[0][1].bytes.pop_back();
  EXPECT_FALSE(D3DXIsImageValid(broken));
  EXPECT_EQ(D3DXSaveImageToDDSFileA(target.c_str(), broken), D3DERR_INVALIDCALL);
  std::filesystem::create_directory(target + ".tmp");  // the temporary cannot be created
  EXPECT_EQ(D3DXSaveImageToDDSFileA(target.c_str(), patternImage(D3DFMT_L8, D3DRTYPE_TEXTURE, 4,
                                                                  4, 1)),
            E_FAIL);
  D3DXImage kept;
  ASSERT_EQ(D3DXLoadImageFromFileA(target.c_str(), kept, nullptr), D3D_OK);
  expectSameImage(kept, good);
  EXPECT_EQ(D3DXSaveImageToDDSFileA((folder.path() / "no/such/folder.dds").string().c_str(), good),
            E_FAIL);
  ID3DXBuffer* buffer = reinterpret_cast<ID3DXBuffer*>(&info);
  EXPECT_EQ(D3DXSaveImageToDDSFileInMemory(broken, &buffer), D3DERR_INVALIDCALL);
  EXPECT_EQ(buffer, nullptr);
}

TEST(D3DXImageCalls, ImageValidityCoversFacesLevelsAndSizes) {
  const D3DXImage cube = patternImage(D3DFMT_DXT1, D3DRTYPE_CUBETEXTURE, 4, 4, 3);
  ASSERT_TRUE(D3DXIsImageValid(cube));
  D3DXImage fiveFaces = cube, missingLevel = cube, wrongSize = cube, tooManyLevels = cube,
            unheldFormat = cube, flatWithSixFaces = cube;
  fiveFaces.faces.pop_back();
  missingLevel.faces[3].pop_back();
  wrongSize.faces[2][1].width = 3;
  tooManyLevels = patternImage(D3DFMT_DXT1, D3DRTYPE_CUBETEXTURE, 4, 4, 3);
  for (auto& face : tooManyLevels.faces) face.push_back(face.back());
  unheldFormat.format = D3DFMT_DXT2;
  flatWithSixFaces.type = D3DRTYPE_TEXTURE;
  for (const D3DXImage* bad :
       {&fiveFaces, &missingLevel, &wrongSize, &tooManyLevels, &unheldFormat, &flatWithSixFaces}) {
    EXPECT_FALSE(D3DXIsImageValid(*bad));
  }
  EXPECT_FALSE(D3DXIsImageValid(D3DXImage{}));
}

}  // namespace
