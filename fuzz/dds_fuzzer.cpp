// DDS files from outside. Whatever the bytes, the reader stays inside them and agrees with the
// info call; an image that loads is consistent, is written back and read again unchanged, and
// goes through texture preparation (conversion, colour key, resize, mip chain).
#include "platform/d3dx/ImageFile.h"
#include "platform/d3dx/ImageOps.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool sameImage(const D3DXImage& a, const D3DXImage& b) {
  if (a.format != b.format || a.type != b.type || a.faces.size() != b.faces.size()) return false;
  for (size_t f = 0; f < a.faces.size(); ++f) {
    if (a.faces[f].size() != b.faces[f].size()) return false;
    for (size_t l = 0; l < a.faces[f].size(); ++l) {
      if (a.faces[f][l].bytes != b.faces[f][l].bytes) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > UINT32_MAX || std::memcmp(data, "DDS ", 4) != 0) return 0;
  D3DXIMAGE_INFO info{}, loadedInfo{};
  D3DXImage image;
  const HRESULT infoResult = D3DXGetImageInfoFromFileInMemory(data, UINT(size), &info);
  const HRESULT loadResult = D3DXLoadImageFromFileInMemory(data, UINT(size), image, &loadedInfo);
  if (SUCCEEDED(infoResult) != SUCCEEDED(loadResult)) __builtin_trap();
  if (FAILED(loadResult)) return 0;
  if (!D3DXIsImageValid(image) || std::memcmp(&info, &loadedInfo, sizeof info) != 0 ||
      info.Width != image.faces[0][0].width || info.MipLevels != image.faces[0].size()) {
    __builtin_trap();
  }

  ID3DXBuffer* written = nullptr;
  if (FAILED(D3DXSaveImageToDDSFileInMemory(image, &written))) __builtin_trap();
  D3DXImage again;
  const HRESULT againResult = D3DXLoadImageFromFileInMemory(
      written->GetBufferPointer(), written->GetBufferSize(), again, nullptr);
  written->Release();
  if (FAILED(againResult) || !sameImage(image, again)) __builtin_trap();

  D3DXTextureRequest request;
  request.ColorKey = 0xFFFF00FF;
  request.Format = D3DFMT_A8R8G8B8;
  request.Width = std::max(info.Width / 2, 1u);
  request.Height = image.type == D3DRTYPE_CUBETEXTURE ? request.Width : info.Height;
  D3DXImage prepared;
  if (FAILED(D3DXPrepareTextureImage(image, request, prepared)) || !D3DXIsImageValid(prepared) ||
      prepared.format != D3DFMT_A8R8G8B8) {
    __builtin_trap();
  }
  return 0;
}
