#include "platform/d3dx/ImageFile.h"

#include "platform/d3dx/DDSCodec.h"
#include "platform/d3dx/StbImageCodec.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The whole file; false when it is not a regular file, does not open, or is over 4 GiB (the
// in-memory calls take a UINT size).
bool readWholeFile(const char* file, std::vector<uint8_t>& bytes) {
  std::error_code ec;
  if (!file || !std::filesystem::is_regular_file(file, ec)) return false;
  const uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size > UINT32_MAX) return false;
  const FilePtr in(std::fopen(file, "rb"));
  if (!in) return false;
  bytes.resize(size_t(size));
  return std::fread(bytes.data(), 1, bytes.size(), in.get()) == bytes.size();
}

HRESULT readImage(std::span<const uint8_t> bytes, D3DXIMAGE_INFO* info, D3DXImage* image) {
  D3DXIMAGE_INFO found{};
  const HRESULT hr = DDSCodec::isDDS(bytes) ? DDSCodec::read(bytes, found, image)
                                            : StbImageCodec::read(bytes, found, image);
  if (SUCCEEDED(hr) && info) *info = found;
  return hr;
}

std::span<const uint8_t> memoryBytes(const void* data, UINT size) {
  return {static_cast<const uint8_t*>(data), data ? size : 0};
}

}  // namespace

uint64_t D3DXImageLevelSize(D3DFORMAT format, UINT width, UINT height) {
  const uint64_t blocks = uint64_t((width + 3) / 4) * ((height + 3) / 4);
  const uint64_t texels = uint64_t(width) * height;
  switch (format) {
    case D3DFMT_DXT1: return blocks * 8;
    case D3DFMT_DXT3:
    case D3DFMT_DXT5: return blocks * 16;
    case D3DFMT_L8:
    case D3DFMT_A8: return texels;
    case D3DFMT_R5G6B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8L8: return texels * 2;
    case D3DFMT_R8G8B8: return texels * 3;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R32F: return texels * 4;
    case D3DFMT_A16B16G16R16F: return texels * 8;
    default: return 0;
  }
}

const char* D3DXFormatName(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_DXT1: return "DXT1";
    case D3DFMT_DXT3: return "DXT3";
    case D3DFMT_DXT5: return "DXT5";
    case D3DFMT_L8: return "L8";
    case D3DFMT_A8: return "A8";
    case D3DFMT_R5G6B5: return "R5G6B5";
    case D3DFMT_A1R5G5B5: return "A1R5G5B5";
    case D3DFMT_A4R4G4B4: return "A4R4G4B4";
    case D3DFMT_A8L8: return "A8L8";
    case D3DFMT_R8G8B8: return "R8G8B8";
    case D3DFMT_A8R8G8B8: return "A8R8G8B8";
    case D3DFMT_X8R8G8B8: return "X8R8G8B8";
    case D3DFMT_R32F: return "R32F";
    case D3DFMT_A16B16G16R16F: return "A16B16G16R16F";
    default: return "UNKNOWN";
  }
}

bool D3DXIsCompressedFormat(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT3 || format == D3DFMT_DXT5;
}

UINT D3DXFullMipCount(UINT width, UINT height) {
  return width == 0 || height == 0 ? 0 : UINT(std::bit_width(std::max(width, height)));
}

bool D3DXIsImageValid(const D3DXImage& image) {
  const size_t faceCount = image.type == D3DRTYPE_TEXTURE       ? 1
                           : image.type == D3DRTYPE_CUBETEXTURE ? 6
                                                                : 0;
  if (faceCount == 0 || image.faces.size() != faceCount || image.faces[0].empty()) return false;
  if (D3DXImageLevelSize(image.format, 1, 1) == 0) return false;
  const UINT width = image.faces[0][0].width, height = image.faces[0][0].height;
  if (width == 0 || height == 0 || width > kD3DXMaxImageSide || height > kD3DXMaxImageSide) {
    return false;
  }
  if (faceCount == 6 && width != height) return false;
  const size_t levels = image.faces[0].size();
  if (levels > D3DXFullMipCount(width, height)) return false;
  for (const std::vector<D3DXImageLevel>& face : image.faces) {
    if (face.size() != levels) return false;
    for (size_t i = 0; i < levels; ++i) {
      const UINT w = std::max(width >> i, 1u), h = std::max(height >> i, 1u);
      if (face[i].width != w || face[i].height != h ||
          face[i].bytes.size() != D3DXImageLevelSize(image.format, w, h)) {
        return false;
      }
    }
  }
  return true;
}

HRESULT D3DXGetImageInfoFromFileA(const char* file, D3DXIMAGE_INFO* info) {
  if (!info) return D3DERR_INVALIDCALL;
  std::vector<uint8_t> bytes;
  if (!readWholeFile(file, bytes)) return D3DERR_NOTFOUND;
  return readImage(bytes, info, nullptr);
}

HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, UINT size, D3DXIMAGE_INFO* info) {
  if (!info) return D3DERR_INVALIDCALL;
  return readImage(memoryBytes(data, size), info, nullptr);
}

HRESULT D3DXLoadImageFromFileA(const char* file, D3DXImage& image, D3DXIMAGE_INFO* info) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(file, bytes)) return D3DERR_NOTFOUND;
  return readImage(bytes, info, &image);
}

HRESULT D3DXLoadImageFromFileInMemory(const void* data, UINT size, D3DXImage& image,
                                      D3DXIMAGE_INFO* info) {
  return readImage(memoryBytes(data, size), info, &image);
}

HRESULT D3DXSaveImageToDDSFileA(const char* file, const D3DXImage& image) {
  if (!file || !*file) return D3DERR_INVALIDCALL;
  std::vector<uint8_t> bytes;
  const HRESULT hr = DDSCodec::write(image, bytes);
  if (FAILED(hr)) return hr;

  const std::string temporary = std::string(file) + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) return E_FAIL;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  written = std::fclose(out) == 0 && written;  // fclose reports a failed final flush
  std::error_code ec;
  if (written) std::filesystem::rename(temporary, file, ec);
  if (!written || ec) {
    std::filesystem::remove(temporary, ec);
    return E_FAIL;
  }
  return D3D_OK;
}

HRESULT D3DXSaveImageToDDSFileInMemory(const D3DXImage& image, ID3DXBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  std::vector<uint8_t> bytes;
  HRESULT hr = DDSCodec::write(image, bytes);
  if (FAILED(hr)) return hr;
  if (bytes.size() > UINT32_MAX) return E_OUTOFMEMORY;
  hr = D3DXCreateBuffer(DWORD(bytes.size()), buffer);
  if (FAILED(hr)) return hr;
  std::memcpy((*buffer)->GetBufferPointer(), bytes.data(), bytes.size());
  return D3D_OK;
}
