#include "platform/d3dx/ImageOps.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

uint16_t load16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t load32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Bit replication, so that the largest field value becomes 255.
unsigned expand5(unsigned v) { return (v << 3) | (v >> 2); }
unsigned expand6(unsigned v) { return (v << 2) | (v >> 4); }

float halfToFloat(uint16_t h) {
  const int exponent = (h >> 10) & 0x1F;
  const int mantissa = h & 0x3FF;
  const float magnitude = exponent == 0    ? std::ldexp(float(mantissa), -24)
                          : exponent == 31 ? (mantissa ? NAN : INFINITY)
                                           : std::ldexp(float(mantissa | 0x400), exponent - 25);
  return (h & 0x8000) ? -magnitude : magnitude;
}

unsigned unitToByte(float v) {
  if (!(v > 0.0f)) return 0;  // also NaN
  return v >= 1.0f ? 255u : unsigned(std::lround(v * 255.0f));
}

D3DCOLOR readTexel(D3DFORMAT format, const uint8_t* p) {
  switch (format) {
    case D3DFMT_A8R8G8B8: return load32(p);
    case D3DFMT_X8R8G8B8: return load32(p) | 0xFF000000u;
    case D3DFMT_R8G8B8: return D3DCOLOR_ARGB(255, p[2], p[1], p[0]);
    case D3DFMT_R5G6B5: {
      const unsigned v = load16(p);
      return D3DCOLOR_ARGB(255, expand5(v >> 11), expand6((v >> 5) & 63), expand5(v & 31));
    }
    case D3DFMT_A1R5G5B5: {
      const unsigned v = load16(p);
      return D3DCOLOR_ARGB(v & 0x8000 ? 255 : 0, expand5((v >> 10) & 31), expand5((v >> 5) & 31),
                           expand5(v & 31));
    }
    case D3DFMT_A4R4G4B4: {
      const unsigned v = load16(p);
      return D3DCOLOR_ARGB((v >> 12) * 17, ((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17,
                           (v & 15) * 17);
    }
    case D3DFMT_L8: return D3DCOLOR_ARGB(255, p[0], p[0], p[0]);
    case D3DFMT_A8: return D3DCOLOR_ARGB(p[0], 0, 0, 0);
    case D3DFMT_A8L8: return D3DCOLOR_ARGB(p[1], p[0], p[0], p[0]);
    case D3DFMT_A16B16G16R16F:
      return D3DCOLOR_ARGB(unitToByte(halfToFloat(load16(p + 6))),
                           unitToByte(halfToFloat(load16(p))),
                           unitToByte(halfToFloat(load16(p + 2))),
                           unitToByte(halfToFloat(load16(p + 4))));
    case D3DFMT_R32F:
      return D3DCOLOR_ARGB(255, unitToByte(std::bit_cast<float>(load32(p))), 255, 255);
    default: return 0;
  }
}

// The 16 texels (row by row) of a DXT colour block. DXT1 blocks with c0 <= c1 use the
// three-colour mode whose fourth entry is transparent black; DXT3/DXT5 always use four colours.
void decodeColourBlock(const uint8_t* block, bool dxt1, std::array<D3DCOLOR, 16>& texels) {
  const unsigned c0 = load16(block), c1 = load16(block + 2);
  const unsigned a[3] = {expand5(c0 >> 11), expand6((c0 >> 5) & 63), expand5(c0 & 31)};
  const unsigned b[3] = {expand5(c1 >> 11), expand6((c1 >> 5) & 63), expand5(c1 & 31)};
  D3DCOLOR palette[4];
  palette[0] = D3DCOLOR_ARGB(255, a[0], a[1], a[2]);
  palette[1] = D3DCOLOR_ARGB(255, b[0], b[1], b[2]);
  if (!dxt1 || c0 > c1) {
    unsigned third[3], twoThirds[3];
    for (int i = 0; i < 3; ++i) {
      third[i] = (2 * a[i] + b[i] + 1) / 3;
      twoThirds[i] = (a[i] + 2 * b[i] + 1) / 3;
    }
    palette[2] = D3DCOLOR_ARGB(255, third[0], third[1], third[2]);
    palette[3] = D3DCOLOR_ARGB(255, twoThirds[0], twoThirds[1], twoThirds[2]);
  } else {
    palette[2] = D3DCOLOR_ARGB(255, (a[0] + b[0] + 1) / 2, (a[1] + b[1] + 1) / 2,
                               (a[2] + b[2] + 1) / 2);
    palette[3] = 0;
  }
  for (int i = 0; i < 16; ++i) texels[i] = palette[(block[4 + i / 4] >> (2 * (i % 4))) & 3];
}

// DXT3: sixteen 4-bit alphas, low nibble first.
void decodeExplicitAlpha(const uint8_t* block, std::array<uint8_t, 16>& alpha) {
  for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(((block[i / 2] >> (4 * (i % 2))) & 15) * 17);
}

// DXT5: two end points and sixteen 3-bit indices. a0 > a1 interpolates six values between them;
// otherwise four, plus 0 and 255.
void decodeInterpolatedAlpha(const uint8_t* block, std::array<uint8_t, 16>& alpha) {
  const unsigned a0 = block[0], a1 = block[1];
  unsigned palette[8] = {a0, a1, 0, 0, 0, 0, 0, 255};
  if (a0 > a1) {
    for (unsigned i = 1; i <= 6; ++i) palette[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
  } else {
    for (unsigned i = 1; i <= 4; ++i) palette[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(palette[(bits >> (3 * i)) & 7]);
}

void decodeDXT(D3DFORMAT format, const D3DXImageLevel& source, uint8_t* out) {
  const size_t blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
  const UINT blocksWide = (source.width + 3) / 4, blocksHigh = (source.height + 3) / 4;
  const uint8_t* block = source.bytes.data();
  std::array<D3DCOLOR, 16> texels;
  std::array<uint8_t, 16> alpha;
  for (UINT by = 0; by < blocksHigh; ++by) {
    for (UINT bx = 0; bx < blocksWide; ++bx, block += blockBytes) {
      const uint8_t* colour = format == D3DFMT_DXT1 ? block : block + 8;
      decodeColourBlock(colour, format == D3DFMT_DXT1, texels);
      if (format != D3DFMT_DXT1) {
        if (format == D3DFMT_DXT3) {
          decodeExplicitAlpha(block, alpha);
        } else {
          decodeInterpolatedAlpha(block, alpha);
        }
        for (int i = 0; i < 16; ++i) {
          texels[i] = (texels[i] & 0xFFFFFFu) | (D3DCOLOR(alpha[i]) << 24);
        }
      }
      // Edge blocks of sides that are not multiples of four hold texels outside the level.
      for (UINT i = 0; i < 16; ++i) {
        const UINT x = bx * 4 + i % 4, y = by * 4 + i / 4;
        if (x < source.width && y < source.height) {
          store32(out + (size_t(y) * source.width + x) * 4, texels[i]);
        }
      }
    }
  }
}

bool isA8R8G8B8Level(const D3DXImageLevel& level) {
  return level.width > 0 && level.height > 0 &&
         level.bytes.size() == D3DXImageLevelSize(D3DFMT_A8R8G8B8, level.width, level.height);
}

// Source texels feeding one destination texel along one axis, with integer weights that sum
// to `total` for every destination index (or to nothing: transparent black).
struct AxisTaps {
  struct Tap {
    UINT source;
    uint64_t weight;
  };
  std::vector<size_t> first;  // taps of index d: [first[d], first[d + 1])
  std::vector<Tap> taps;
  uint64_t total = 1;
};

enum class Kernel { kNone, kPoint, kLinear, kBox };

bool kernelOf(DWORD filter, Kernel& kernel) {
  switch (filter == D3DX_DEFAULT ? D3DX_FILTER_BOX : filter & 0xFF) {
    case D3DX_FILTER_NONE: kernel = Kernel::kNone; return true;
    case D3DX_FILTER_POINT: kernel = Kernel::kPoint; return true;
    case D3DX_FILTER_LINEAR: kernel = Kernel::kLinear; return true;
    case D3DX_FILTER_TRIANGLE:
    case D3DX_FILTER_BOX: kernel = Kernel::kBox; return true;
    default: return false;
  }
}

AxisTaps axisTaps(Kernel kernel, UINT src, UINT dst) {
  AxisTaps axis;
  axis.total = kernel == Kernel::kBox ? src : kernel == Kernel::kLinear ? 2 * uint64_t(dst) : 1;
  for (uint64_t d = 0; d < dst; ++d) {
    axis.first.push_back(axis.taps.size());
    switch (kernel) {
      case Kernel::kNone:
        if (d < src) axis.taps.push_back({UINT(d), 1});
        break;
      case Kernel::kPoint:
        axis.taps.push_back({UINT((2 * d + 1) * src / (2 * uint64_t(dst))), 1});
        break;
      case Kernel::kLinear: {
        // Destination centre in source texel units, scaled by 2 * dst: (2d + 1) * src / 2 - 1/2.
        const int64_t position = int64_t((2 * d + 1) * src) - int64_t(dst);
        const uint64_t i0 = position <= 0 ? 0 : uint64_t(position) / axis.total;
        const uint64_t fraction = position <= 0 ? 0 : uint64_t(position) % axis.total;
        if (i0 + 1 >= src || fraction == 0) {
          axis.taps.push_back({UINT(std::min<uint64_t>(i0, src - 1)), axis.total});
        } else {
          axis.taps.push_back({UINT(i0), axis.total - fraction});
          axis.taps.push_back({UINT(i0 + 1), fraction});
        }
        break;
      }
      case Kernel::kBox: {
        // In units of 1/dst source texels: destination d spans [d*src, (d+1)*src), source i
        // spans [i*dst, (i+1)*dst); each weight is the overlap.
        const uint64_t begin = d * src, end = (d + 1) * src;
        for (uint64_t i = begin / dst; i * dst < end; ++i) {
          const uint64_t overlap = std::min(end, (i + 1) * dst) - std::max(begin, i * dst);
          axis.taps.push_back({UINT(i), overlap});
        }
        break;
      }
    }
  }
  axis.first.push_back(axis.taps.size());
  return axis;
}

}  // namespace

HRESULT D3DXConvertLevelToA8R8G8B8(D3DFORMAT format, const D3DXImageLevel& source,
                                   D3DXImageLevel& out) {
  const uint64_t expected = D3DXImageLevelSize(format, source.width, source.height);
  if (expected == 0 || source.bytes.size() != expected) return D3DERR_INVALIDCALL;
  D3DXImageLevel result{source.width, source.height,
                        std::vector<uint8_t>(size_t(source.width) * source.height * 4)};
  if (D3DXIsCompressedFormat(format)) {
    decodeDXT(format, source, result.bytes.data());
  } else {
    const size_t texelBytes = size_t(D3DXImageLevelSize(format, 1, 1));
    const size_t texels = size_t(source.width) * source.height;
    for (size_t i = 0; i < texels; ++i) {
      store32(result.bytes.data() + i * 4, readTexel(format, source.bytes.data() + i * texelBytes));
    }
  }
  out = std::move(result);
  return D3D_OK;
}

UINT D3DXApplyColorKey(D3DXImageLevel& level, D3DCOLOR key) {
  if (key == 0) return 0;
  UINT changed = 0;
  for (size_t i = 0; i + 4 <= level.bytes.size(); i += 4) {
    if (load32(level.bytes.data() + i) == key) {
      store32(level.bytes.data() + i, 0);
      ++changed;
    }
  }
  return changed;
}

HRESULT D3DXResizeLevel(const D3DXImageLevel& source, UINT width, UINT height, DWORD filter,
                        D3DXImageLevel& out) {
  Kernel kernel;
  if (!isA8R8G8B8Level(source) || !kernelOf(filter, kernel) || width == 0 || height == 0 ||
      width > kD3DXMaxImageSide || height > kD3DXMaxImageSide) {
    return D3DERR_INVALIDCALL;
  }
  const AxisTaps xs = axisTaps(kernel, source.width, width);
  const AxisTaps ys = axisTaps(kernel, source.height, height);
  const uint64_t total = xs.total * ys.total;
  D3DXImageLevel result{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
  uint8_t* texel = result.bytes.data();
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x, texel += 4) {
      uint64_t sum[4] = {0, 0, 0, 0};
      for (size_t ty = ys.first[y]; ty < ys.first[y + 1]; ++ty) {
        const uint8_t* row = source.bytes.data() + size_t(ys.taps[ty].source) * source.width * 4;
        for (size_t tx = xs.first[x]; tx < xs.first[x + 1]; ++tx) {
          const uint64_t weight = ys.taps[ty].weight * xs.taps[tx].weight;
          const uint8_t* in = row + size_t(xs.taps[tx].source) * 4;
          for (int c = 0; c < 4; ++c) sum[c] += weight * in[c];
        }
      }
      for (int c = 0; c < 4; ++c) texel[c] = uint8_t((sum[c] + total / 2) / total);
    }
  }
  out = std::move(result);
  return D3D_OK;
}

HRESULT D3DXFillMipChain(std::vector<D3DXImageLevel>& levels, UINT levelCount, DWORD filter) {
  Kernel kernel;
  if (levels.empty() || !kernelOf(filter, kernel)) return D3DERR_INVALIDCALL;
  const UINT width = levels[0].width, height = levels[0].height;
  if (levelCount == 0 || levelCount > D3DXFullMipCount(width, height)) return D3DERR_INVALIDCALL;
  for (size_t i = 0; i < levels.size(); ++i) {
    if (!isA8R8G8B8Level(levels[i]) || levels[i].width != std::max(width >> i, 1u) ||
        levels[i].height != std::max(height >> i, 1u)) {
      return D3DERR_INVALIDCALL;
    }
  }
  if (levels.size() > levelCount) levels.resize(levelCount);
  while (levels.size() < levelCount) {
    const size_t i = levels.size();
    D3DXImageLevel next;
    const HRESULT hr = D3DXResizeLevel(levels[i - 1], std::max(width >> i, 1u),
                                       std::max(height >> i, 1u), filter, next);
    if (FAILED(hr)) return hr;
    levels.push_back(std::move(next));
  }
  return D3D_OK;
}

HRESULT D3DXPrepareTextureShape(UINT fileWidth, UINT fileHeight, UINT fileLevels,
                                D3DFORMAT fileFormat, const D3DXTextureRequest& request,
                                D3DXPreparedShape& out) {
  const auto fromFile = [](UINT asked, UINT own) {
    return asked == 0 || asked == D3DX_DEFAULT || asked == D3DX_FROM_FILE ? own : asked;
  };
  D3DXPreparedShape shape;
  shape.Width = fromFile(request.Width, fileWidth);
  shape.Height = fromFile(request.Height, fileHeight);
  if (shape.Width > kD3DXMaxImageSide || shape.Height > kD3DXMaxImageSide) {
    return D3DERR_INVALIDCALL;
  }
  const bool keepFormat = request.Format == D3DFMT_UNKNOWN || request.Format == D3DFMT_FROM_FILE ||
                          request.Format == fileFormat;
  if (!keepFormat && request.Format != D3DFMT_A8R8G8B8) return D3DERR_NOTAVAILABLE;
  const UINT fullChain = D3DXFullMipCount(shape.Width, shape.Height);
  shape.MipLevels = request.MipLevels == 0 || request.MipLevels == D3DX_DEFAULT
                        ? fullChain
                        : std::min(request.MipLevels == D3DX_FROM_FILE ? fileLevels
                                                                       : request.MipLevels,
                                   fullChain);
  const bool resized = shape.Width != fileWidth || shape.Height != fileHeight;
  // File levels that go into the result: none but the top when it is resized.
  const UINT used = resized ? 1 : std::min(shape.MipLevels, fileLevels);
  shape.Convert = !keepFormat || resized || used < shape.MipLevels;
  shape.Format = shape.Convert ? D3DFMT_A8R8G8B8 : fileFormat;
  out = shape;
  return D3D_OK;
}

HRESULT D3DXPrepareTextureImage(const D3DXImage& source, const D3DXTextureRequest& request,
                                D3DXImage& out) {
  Kernel kernel;
  if (!D3DXIsImageValid(source) || !kernelOf(request.Filter, kernel) ||
      !kernelOf(request.MipFilter, kernel)) {
    return D3DERR_INVALIDCALL;
  }
  const D3DXImageLevel& top = source.faces[0][0];
  const UINT fileLevels = UINT(source.faces[0].size());
  D3DXPreparedShape shape;
  const HRESULT shaped =
      D3DXPrepareTextureShape(top.width, top.height, fileLevels, source.format, request, shape);
  if (FAILED(shaped)) return shaped;
  const UINT width = shape.Width, height = shape.Height, levels = shape.MipLevels;
  if (source.type == D3DRTYPE_CUBETEXTURE && width != height) return D3DERR_INVALIDCALL;
  const bool resized = width != top.width || height != top.height;
  const UINT used = resized ? 1 : std::min(levels, fileLevels);
  const bool convert = shape.Convert;

  const auto cut = [&](D3DXImage image) {
    for (std::vector<D3DXImageLevel>& face : image.faces) face.resize(levels);
    return image;
  };
  if (!convert && request.ColorKey == 0) {
    out = cut(source);
    return D3D_OK;
  }
  D3DXImage result{D3DFMT_A8R8G8B8, source.type, {}};
  UINT keyed = 0;
  for (const std::vector<D3DXImageLevel>& face : source.faces) {
    std::vector<D3DXImageLevel>& converted = result.faces.emplace_back(used);
    for (UINT i = 0; i < used; ++i) {
      const HRESULT hr = D3DXConvertLevelToA8R8G8B8(source.format, face[i], converted[i]);
      if (FAILED(hr)) return hr;
      keyed += D3DXApplyColorKey(converted[i], request.ColorKey);
    }
  }
  if (!convert && keyed == 0) {
    out = cut(source);
    return D3D_OK;
  }
  for (std::vector<D3DXImageLevel>& face : result.faces) {
    HRESULT hr = D3D_OK;
    if (resized) hr = D3DXResizeLevel(face[0], width, height, request.Filter, face[0]);
    if (SUCCEEDED(hr)) hr = D3DXFillMipChain(face, levels, request.MipFilter);
    if (FAILED(hr)) return hr;
  }
  out = std::move(result);
  return D3D_OK;
}
