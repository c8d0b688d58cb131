#include "platform/d3dx/DDSCodec.h"

#include "platform/d3dx/ImageByteReader.h"

#include <algorithm>
#include <optional>

namespace {

constexpr uint32_t kMagic = MAKEFOURCC('D', 'D', 'S', ' ');
constexpr uint32_t kHeaderSize = 124;
constexpr uint32_t kPixelFormatSize = 32;

constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
constexpr uint32_t DDSD_MIPMAPCOUNT = 0x20000;
constexpr uint32_t DDSD_LINEARSIZE = 0x80000;
constexpr uint32_t DDSD_DEPTH = 0x800000;

constexpr uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr uint32_t DDPF_ALPHA = 0x2;
constexpr uint32_t DDPF_FOURCC = 0x4;
constexpr uint32_t DDPF_RGB = 0x40;
constexpr uint32_t DDPF_LUMINANCE = 0x20000;

constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_TEXTURE = 0x1000;
constexpr uint32_t DDSCAPS_MIPMAP = 0x400000;
constexpr uint32_t DDSCAPS2_CUBEMAP = 0x200;
constexpr uint32_t DDSCAPS2_CUBEMAP_ALLFACES = 0xFC00;
constexpr uint32_t DDSCAPS2_VOLUME = 0x200000;

// Formats stored with channel masks; the kind flag is DDPF_RGB, DDPF_LUMINANCE or DDPF_ALPHA.
struct MaskFormat {
  D3DFORMAT format;
  uint32_t kind, bits, r, g, b, a;
};
constexpr MaskFormat kMaskFormats[] = {
    {D3DFMT_A8R8G8B8, DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {D3DFMT_X8R8G8B8, DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_R8G8B8, DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_R5G6B5, DDPF_RGB, 16, 0xF800, 0x7E0, 0x1F, 0},
    {D3DFMT_A1R5G5B5, DDPF_RGB, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {D3DFMT_A4R4G4B4, DDPF_RGB, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {D3DFMT_L8, DDPF_LUMINANCE, 8, 0xFF, 0, 0, 0},
    {D3DFMT_A8L8, DDPF_LUMINANCE, 16, 0xFF, 0, 0, 0xFF00},
    {D3DFMT_A8, DDPF_ALPHA, 8, 0, 0, 0, 0xFF},
};

struct PixelFormat {
  uint32_t flags, fourCC, bits, r, g, b, a;
};

std::optional<D3DFORMAT> formatOf(const PixelFormat& pf) {
  if (pf.flags & DDPF_FOURCC) {
    // DXTn by name; other formats by their D3DFORMAT number, as D3D writes float formats.
    const auto format = D3DFORMAT(pf.fourCC);
    if (D3DXImageLevelSize(format, 1, 1) == 0) return std::nullopt;
    return format;
  }
  const uint32_t kind = (pf.flags & DDPF_RGB)         ? DDPF_RGB
                        : (pf.flags & DDPF_LUMINANCE) ? DDPF_LUMINANCE
                                                      : DDPF_ALPHA;
  // Writers differ on whether an alpha-only format sets DDPF_ALPHA or DDPF_ALPHAPIXELS; a mask
  // without either flag is not alpha.
  const uint32_t alphaMask = (pf.flags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) ? pf.a : 0;
  for (const MaskFormat& m : kMaskFormats) {
    if (m.kind == kind && m.bits == pf.bits && m.r == pf.r && m.g == pf.g && m.b == pf.b &&
        m.a == alphaMask) {
      return m.format;
    }
  }
  return std::nullopt;
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

}  // namespace

namespace DDSCodec {

bool isDDS(std::span<const uint8_t> bytes) {
  ImageByteReader reader(bytes);
  return reader.u32() == kMagic && !reader.failed();
}

HRESULT read(std::span<const uint8_t> bytes, D3DXIMAGE_INFO& info, D3DXImage* image) {
  ImageByteReader reader(bytes);
  if (reader.u32() != kMagic) return D3DXERR_INVALIDDATA;
  const uint32_t headerSize = reader.u32();
  const uint32_t flags = reader.u32();
  const uint32_t height = reader.u32();
  const uint32_t width = reader.u32();
  reader.skip(4);  // pitch or linear size: rows are tightly packed whatever it says
  const uint32_t depth = reader.u32();
  const uint32_t mipCount = reader.u32();
  reader.skip(11 * 4);
  const uint32_t pixelFormatSize = reader.u32();
  PixelFormat pf{};
  pf.flags = reader.u32();
  pf.fourCC = reader.u32();
  pf.bits = reader.u32();
  pf.r = reader.u32();
  pf.g = reader.u32();
  pf.b = reader.u32();
  pf.a = reader.u32();
  reader.skip(4);  // caps
  const uint32_t caps2 = reader.u32();
  reader.skip(3 * 4);
  if (reader.failed() || headerSize != kHeaderSize || pixelFormatSize != kPixelFormatSize) {
    return D3DXERR_INVALIDDATA;
  }
  if (width == 0 || height == 0 || width > kD3DXMaxImageSide || height > kD3DXMaxImageSide) {
    return D3DXERR_INVALIDDATA;
  }
  if ((caps2 & DDSCAPS2_VOLUME) || ((flags & DDSD_DEPTH) && depth > 1)) return D3DXERR_INVALIDDATA;
  const bool cube = (caps2 & DDSCAPS2_CUBEMAP) != 0;
  const bool allFaces = (caps2 & DDSCAPS2_CUBEMAP_ALLFACES) == DDSCAPS2_CUBEMAP_ALLFACES;
  if (cube && (!allFaces || width != height)) return D3DXERR_INVALIDDATA;
  const std::optional<D3DFORMAT> format = formatOf(pf);
  if (!format) return D3DXERR_INVALIDDATA;
  const UINT levels = std::max<UINT>(mipCount, 1);
  if (levels > D3DXFullMipCount(width, height)) return D3DXERR_INVALIDDATA;

  const UINT faceCount = cube ? 6 : 1;
  uint64_t faceBytes = 0;
  for (UINT level = 0; level < levels; ++level) {
    faceBytes += D3DXImageLevelSize(*format, std::max(width >> level, 1u),
                                    std::max(height >> level, 1u));
  }
  if (faceBytes * faceCount > reader.remaining()) return D3DXERR_INVALIDDATA;

  info = {width, height, 1, levels, *format, cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE,
          D3DXIFF_DDS};
  if (!image) return D3D_OK;
  D3DXImage loaded;
  loaded.format = *format;
  loaded.type = info.ResourceType;
  loaded.faces.resize(faceCount);
  for (std::vector<D3DXImageLevel>& face : loaded.faces) {
    for (UINT level = 0; level < levels; ++level) {
      const UINT w = std::max(width >> level, 1u), h = std::max(height >> level, 1u);
      const std::span<const uint8_t> texels = reader.take(D3DXImageLevelSize(*format, w, h));
      face.push_back({w, h, {texels.begin(), texels.end()}});
    }
  }
  *image = std::move(loaded);
  return D3D_OK;
}

HRESULT write(const D3DXImage& image, std::vector<uint8_t>& file) {
  if (!D3DXIsImageValid(image)) return D3DERR_INVALIDCALL;
  const std::vector<D3DXImageLevel>& face0 = image.faces[0];
  const UINT levels = UINT(face0.size());
  const bool compressed = D3DXIsCompressedFormat(image.format);
  const bool cube = image.type == D3DRTYPE_CUBETEXTURE;

  size_t total = 128;
  for (const std::vector<D3DXImageLevel>& face : image.faces) {
    for (const D3DXImageLevel& level : face) total += level.bytes.size();
  }
  std::vector<uint8_t> out;
  out.reserve(total);
  put32(out, kMagic);
  put32(out, kHeaderSize);
  put32(out, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT |
                 (compressed ? DDSD_LINEARSIZE : DDSD_PITCH) |
                 (levels > 1 ? DDSD_MIPMAPCOUNT : 0));
  put32(out, face0[0].height);
  put32(out, face0[0].width);
  put32(out, compressed ? uint32_t(face0[0].bytes.size())
                        : uint32_t(D3DXImageLevelSize(image.format, face0[0].width, 1)));
  put32(out, 0);  // depth
  put32(out, levels);
  for (int i = 0; i < 11; ++i) put32(out, 0);

  const MaskFormat* mask = nullptr;
  for (const MaskFormat& m : kMaskFormats) {
    if (m.format == image.format) mask = &m;
  }
  put32(out, kPixelFormatSize);
  if (mask) {
    put32(out, mask->kind | (mask->a && mask->kind != DDPF_ALPHA ? DDPF_ALPHAPIXELS : 0));
    for (uint32_t value : {0u, mask->bits, mask->r, mask->g, mask->b, mask->a}) put32(out, value);
  } else {
    put32(out, DDPF_FOURCC);
    put32(out, uint32_t(image.format));
    for (int i = 0; i < 5; ++i) put32(out, 0);
  }
  put32(out, DDSCAPS_TEXTURE | (levels > 1 ? DDSCAPS_MIPMAP | DDSCAPS_COMPLEX : 0) |
                 (cube ? DDSCAPS_COMPLEX : 0));
  put32(out, cube ? DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES : 0);
  for (int i = 0; i < 3; ++i) put32(out, 0);

  for (const std::vector<D3DXImageLevel>& face : image.faces) {
    for (const D3DXImageLevel& level : face) {
      out.insert(out.end(), level.bytes.begin(), level.bytes.end());
    }
  }
  file = std::move(out);
  return D3D_OK;
}

}  // namespace DDSCodec
