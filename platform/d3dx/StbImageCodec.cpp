#include "platform/d3dx/StbImageCodec.h"

#include "platform/d3dx/ImageByteReader.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

namespace {

std::optional<D3DXIMAGE_FILEFORMAT> containerOf(std::span<const uint8_t> bytes) {
  const auto startsWith = [&](std::initializer_list<uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
  };
  if (startsWith({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return D3DXIFF_PNG;
  if (startsWith({0xFF, 0xD8, 0xFF})) return D3DXIFF_JPG;
  if (startsWith({'B', 'M'})) return D3DXIFF_BMP;
  // TGA has no magic: colour-map type 0 or 1 and a known image type. No other container that
  // stb_image reads passes this, since their second byte is never 0 or 1.
  if (bytes.size() >= 18 && bytes[1] <= 1) {
    const uint8_t type = bytes[2] & ~8u;  // 8 marks RLE
    if (type >= 1 && type <= 3) return D3DXIFF_TGA;
  }
  return std::nullopt;
}

// stb_image's JPEG decoder trusts the tables a file defines: a Huffman table of more than 256
// codes overruns its arrays, and a scan may use a Huffman or quantisation table that was never
// defined (left uninitialised, which sends its decoding out of bounds). This walks the markers
// as the decoder does and refuses such files, and also anything cut short or out of order that
// the decoder would refuse later anyway.
bool jpegTablesDefined(std::span<const uint8_t> bytes) {
  ImageByteReader reader(bytes);
  reader.skip(2);  // start of image
  bool huffman[2][4] = {}, quantisation[4] = {};
  struct Component {
    uint8_t id, table;
  };
  std::vector<Component> frame;  // empty until the frame header
  bool progressive = false;
  int next = -1;  // a marker that ended entropy-coded data
  for (;;) {
    int marker = next;
    next = -1;
    if (marker < 0) {
      uint8_t b = reader.u8();
      // Before the frame header the decoder skips padding between segments.
      while (b != 0xFF && frame.empty() && !reader.failed()) b = reader.u8();
      if (b != 0xFF) return false;
      while (b == 0xFF && !reader.failed()) b = reader.u8();
      marker = b;
    }
    if (reader.failed()) return false;
    if (marker == 0xD9) return true;  // end of image
    const uint16_t length = reader.u16be();
    if (length < 2) return false;
    ImageByteReader segment(reader.take(length - 2u));
    if (reader.failed()) return false;
    if (marker == 0xC4) {  // Huffman tables
      while (segment.remaining() > 0) {
        const uint8_t id = segment.u8();
        if ((id >> 4) > 1 || (id & 15) > 3) return false;
        unsigned codes = 0;
        for (int i = 0; i < 16; ++i) codes += segment.u8();
        segment.skip(codes);
        if (codes > 256 || segment.failed()) return false;
        huffman[id >> 4][id & 15] = true;
      }
    } else if (marker == 0xDB) {  // quantisation tables
      while (segment.remaining() > 0) {
        const uint8_t id = segment.u8();
        if ((id >> 4) > 1 || (id & 15) > 3) return false;
        segment.skip((id >> 4) ? 128 : 64);
        if (segment.failed()) return false;
        quantisation[id & 15] = true;
      }
    } else if (marker >= 0xC0 && marker <= 0xC2) {  // frame header: baseline or progressive
      if (!frame.empty()) return false;
      progressive = marker == 0xC2;
      segment.skip(5);
      const uint8_t count = segment.u8();
      for (uint8_t i = 0; i < count; ++i) {
        const uint8_t id = segment.u8();
        segment.skip(1);
        frame.push_back({id, segment.u8()});
      }
      if (count < 1 || count > 4 || length != 8 + 3 * count || segment.failed()) return false;
    } else if (marker == 0xDA) {  // scan
      const uint8_t count = segment.u8();
      if (frame.empty() || count < 1 || count > 4 || length != 6 + 2 * count) return false;
      uint8_t ids[4], tables[4];
      for (uint8_t i = 0; i < count; ++i) {
        ids[i] = segment.u8();
        tables[i] = segment.u8();
      }
      const uint8_t spectralStart = segment.u8();
      segment.skip(1);
      const uint8_t approximation = segment.u8();
      // Progressive scans code either DC (first pass: DC table) or AC coefficients.
      const bool usesDC = !progressive || (spectralStart == 0 && (approximation >> 4) == 0);
      const bool usesAC = !progressive || spectralStart != 0;
      for (uint8_t i = 0; i < count; ++i) {
        const auto component = std::find_if(frame.begin(), frame.end(),
                                             [&](const Component& c) { return c.id == ids[i]; });
        const unsigned dc = tables[i] >> 4, ac = tables[i] & 15;
        if (component == frame.end() || component->table > 3 || !quantisation[component->table] ||
            dc > 3 || ac > 3 || (usesDC && !huffman[0][dc]) || (usesAC && !huffman[1][ac])) {
          return false;
        }
      }
      // Entropy-coded data runs to the first marker other than a stuffed 0xFF or a restart.
      while (next < 0) {
        if (reader.u8() != 0xFF) {
          if (reader.failed()) return false;
          continue;
        }
        uint8_t b = reader.u8();
        while (b == 0xFF && !reader.failed()) b = reader.u8();
        if (reader.failed()) return false;
        if (b != 0 && (b < 0xD0 || b > 0xD7)) next = b;
      }
    } else if (marker == 0xDD || marker == 0xDC) {  // restart interval, number of lines
      if (length != 4) return false;
    } else if (!((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE)) {
      return false;  // not an application segment or comment: the decoder does not know it
    }
  }
}

// Every texel's bytes of a TGA are present, in the layout stb_image reads.
bool tgaComplete(std::span<const uint8_t> bytes, uint64_t texels) {
  ImageByteReader reader(bytes);
  const uint8_t idLength = reader.u8();
  const uint8_t colourMapType = reader.u8();
  const uint8_t imageType = reader.u8();
  const uint16_t mapFirst = reader.u16();
  const uint16_t mapLength = reader.u16();
  const uint8_t mapBits = reader.u8();
  reader.skip(8);  // origin, width, height: stb_image's width and height are the ones used
  const uint8_t bits = reader.u8();
  reader.skip(1);
  reader.skip(idLength);
  // stb_image skips mapFirst bytes before the map.
  if (colourMapType == 1) reader.skip(mapFirst + uint64_t(mapLength) * ((mapBits + 7) / 8));
  const uint64_t texelBytes = (bits + 7) / 8;
  if (!(imageType & 8)) {
    reader.skip(texels * texelBytes);
    return !reader.failed();
  }
  // RLE: packets of up to 128 texels, either one value repeated or that many raw values.
  uint64_t covered = 0;
  while (covered < texels && !reader.failed()) {
    const uint8_t packet = reader.u8();
    const uint64_t count = (packet & 0x7F) + 1;
    reader.skip(packet & 0x80 ? texelBytes : count * texelBytes);
    covered += count;
  }
  return !reader.failed();
}

// Every row of a BMP is present from its data offset on, rows padded to four bytes.
bool bmpComplete(std::span<const uint8_t> bytes, uint64_t width, uint64_t height) {
  ImageByteReader reader(bytes);
  reader.skip(10);
  const uint32_t offset = reader.u32();
  const uint32_t headerSize = reader.u32();
  reader.skip(headerSize == 12 ? 6 : 10);  // sides and planes
  const uint16_t bits = reader.u16();
  if (reader.failed()) return false;
  const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  return offset + rowBytes * height <= bytes.size();
}

// A PNG's chunks up to IEND lie inside the file (stb_image grows a buffer to a chunk's stated
// length before reading it), and its filtered rows, as IHDR sizes them, are no more than deflate
// can expand the file to (1032 times): a small file cannot make the decoder allocate for an
// image it cannot hold.
bool pngChunksPresent(std::span<const uint8_t> bytes) {
  constexpr uint32_t kIHDR = 0x49484452, kIEND = 0x49454E44;
  ImageByteReader reader(bytes);
  reader.skip(8);  // signature
  uint64_t rowBytes = 0;
  for (bool first = true;; first = false) {
    const uint32_t length = reader.u32be();
    const uint32_t type = reader.u32be();
    if (reader.failed()) return false;
    if (type == kIEND) return !first && rowBytes <= bytes.size() * 1032;
    ImageByteReader chunk(reader.take(length));
    reader.skip(4);  // CRC, which stb_image does not check
    if (reader.failed()) return false;
    if (first) {
      const uint64_t width = chunk.u32be(), height = chunk.u32be();
      const uint8_t depth = chunk.u8(), colourType = chunk.u8();
      // Channels of colour types 0 to 6: grey, -, RGB, palette index, grey and alpha, -, RGBA.
      constexpr uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
      const uint64_t channels = colourType < 7 ? kChannels[colourType] : 0;
      if (type != kIHDR || length != 13 || channels == 0 || depth > 16 ||
          width > kD3DXMaxImageSide || height > kD3DXMaxImageSide) {
        return false;
      }
      rowBytes = height * (1 + (width * channels * depth + 7) / 8);
    }
  }
}

// The bytes after the header can hold every texel of a width x height image.
bool texelsPresent(D3DXIMAGE_FILEFORMAT container, std::span<const uint8_t> bytes,
                   uint64_t width, uint64_t height) {
  switch (container) {
    case D3DXIFF_TGA: return tgaComplete(bytes, width * height);
    case D3DXIFF_BMP: return bmpComplete(bytes, width, height);
    // Each 8x8 block of the largest component is coded in one bit at least.
    case D3DXIFF_JPG: return width * height <= bytes.size() * 8 * 64;
    default: return true;  // PNG: checked with its chunks
  }
}

D3DFORMAT reportedFormat(D3DXIMAGE_FILEFORMAT container, int components) {
  switch (components) {
    case 1: return D3DFMT_L8;
    case 2: return D3DFMT_A8L8;
    case 3: return container == D3DXIFF_TGA || container == D3DXIFF_BMP ? D3DFMT_R8G8B8
                                                                         : D3DFMT_X8R8G8B8;
    default: return D3DFMT_A8R8G8B8;
  }
}

struct StbFree {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

}  // namespace

namespace StbImageCodec {

HRESULT read(std::span<const uint8_t> bytes, D3DXIMAGE_INFO& info, D3DXImage* image) {
  const std::optional<D3DXIMAGE_FILEFORMAT> container = containerOf(bytes);
  if (!container || bytes.size() > size_t(INT_MAX)) return D3DXERR_INVALIDDATA;
  if ((*container == D3DXIFF_JPG && !jpegTablesDefined(bytes)) ||
      (*container == D3DXIFF_PNG && !pngChunksPresent(bytes))) {
    return D3DXERR_INVALIDDATA;
  }
  const int length = int(bytes.size());
  int width = 0, height = 0, components = 0;
  if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &components)) {
    return D3DXERR_INVALIDDATA;
  }
  if (width < 1 || height < 1 || UINT(width) > kD3DXMaxImageSide ||
      UINT(height) > kD3DXMaxImageSide) {
    return D3DXERR_INVALIDDATA;
  }
  if (!texelsPresent(*container, bytes, UINT(width), UINT(height))) return D3DXERR_INVALIDDATA;
  const uint64_t texels = uint64_t(width) * uint64_t(height);

  info = {UINT(width), UINT(height), 1, 1, reportedFormat(*container, components),
          D3DRTYPE_TEXTURE, *container};
  if (!image) return D3D_OK;

  int decodedWidth = 0, decodedHeight = 0, fileComponents = 0;
  const std::unique_ptr<stbi_uc, StbFree> rgba(stbi_load_from_memory(
      bytes.data(), length, &decodedWidth, &decodedHeight, &fileComponents, 4));
  if (!rgba || decodedWidth != width || decodedHeight != height) return D3DXERR_INVALIDDATA;

  D3DXImageLevel level{UINT(width), UINT(height), std::vector<uint8_t>(texels * 4)};
  const stbi_uc* in = rgba.get();
  for (uint64_t i = 0; i < texels * 4; i += 4) {
    level.bytes[i + 0] = in[i + 2];
    level.bytes[i + 1] = in[i + 1];
    level.bytes[i + 2] = in[i + 0];
    level.bytes[i + 3] = in[i + 3];
  }
  image->format = D3DFMT_A8R8G8B8;
  image->type = D3DRTYPE_TEXTURE;
  image->faces.assign(1, {});
  image->faces[0].push_back(std::move(level));
  return D3D_OK;
}

}  // namespace StbImageCodec
