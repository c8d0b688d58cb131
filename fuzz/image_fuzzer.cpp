// TGA, PNG, JPG and BMP files from outside. Whatever the bytes, decoding stays inside them and
// allocates only what the bytes can hold; an image that decodes matches the info call and goes
// through texture preparation with a colour key and a full mip chain.
#include "platform/d3dx/ImageFile.h"
#include "platform/d3dx/ImageOps.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX || (size >= 4 && std::memcmp(data, "DDS ", 4) == 0)) return 0;
  D3DXIMAGE_INFO info{}, loadedInfo{};
  D3DXImage image;
  const HRESULT infoResult = D3DXGetImageInfoFromFileInMemory(data, UINT(size), &info);
  if (FAILED(D3DXLoadImageFromFileInMemory(data, UINT(size), image, &loadedInfo))) return 0;
  // Decoding may still fail after the info succeeded (a corrupt stream), never the reverse.
  if (FAILED(infoResult) || std::memcmp(&info, &loadedInfo, sizeof info) != 0 ||
      !D3DXIsImageValid(image) || image.format != D3DFMT_A8R8G8B8 || image.faces[0].size() != 1 ||
      image.faces[0][0].width != info.Width || image.faces[0][0].height != info.Height) {
    __builtin_trap();
  }
  if (uint64_t(info.Width) * info.Height > (1u << 16)) return 0;  // keep each run quick
  D3DXTextureRequest request;
  request.ColorKey = 0xFFFF00FF;
  D3DXImage prepared;
  if (FAILED(D3DXPrepareTextureImage(image, request, prepared)) || !D3DXIsImageValid(prepared)) {
    __builtin_trap();
  }
  return 0;
}
