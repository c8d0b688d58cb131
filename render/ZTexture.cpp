#include "render/ZTexture.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/ZMappedFile.h"
#include "platform/desktop.h"
#include "platform/d3dx/D3DXTexture.h"
#include "render/ZCorvane.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

bool isTga(const std::string& file) {
  const std::string extension = file.size() >= 4 ? file.substr(file.size() - 4) : std::string();
  return extension == ".tga" || extension == ".TGA";
}

}  // namespace

ZTexture::~ZTexture() {
  if (owner != nullptr) owner->textureMemoryKB -= countedKB;
  if (texture != nullptr) texture->Release();
  if (colourTarget != nullptr) colourTarget->Release();
  if (hasDepth && depthSurface != nullptr) depthSurface->Release();
}

bool ZTexture::fitToCap(uint32_t& w, uint32_t& h, uint32_t cap) {
  if (cap == 0 || (w <= cap && h <= cap)) return false;
  // The factor is the integer quotient, so the shorter side can still exceed the cap (3000 x
  // 3000 under 1024 would give 1024 x 1500): it is held to the cap as well.
  if (w >= h) {
    h = std::min(h / (w / cap), cap);
    w = cap;
  } else {
    w = std::min(w / (h / cap), cap);
    h = cap;
  }
  return true;
}

void ZTexture::releaseTexture() {
  releaseAndClear(texture);
  if (owner != nullptr) owner->textureMemoryKB -= countedKB;
  countedKB = 0;
}

D3DXTextureRequest ZTexture::cacheRequest(const std::string& file, const D3DXIMAGE_INFO& info,
                                          uint32_t cap) {
  D3DXTextureRequest request;
  uint32_t w = info.Width, h = info.Height;
  if (fitToCap(w, h, cap)) {
    request.Width = w;
    request.Height = h;
  }
  request.MipLevels = 0;
  request.Format = isTga(file) ? D3DFMT_A8R8G8B8 : info.Format;
  request.ColorKey = 0xFFFF00FF;
  return request;
}

bool ZTexture::load(const std::string& file) {
  name = file;
  fileInfo = {};
  releaseTexture();  // loaded before: the old picture goes
  if (!canOpenForReading(file)) {
    // The program goes on without this texture: quitting here would lose the user's work.
    char text[1024];
    std::snprintf(text, sizeof text, "ZTexture::load : file not found %s\n", file.c_str());
    zlog("%s", text);
    zlogFlush();
    if (owner == nullptr || owner->reportMissingTexture(file)) {
      MessageBoxA(GetActiveWindow(), text, "Corvane", MB_OK);
    }
    // Meshes show a loud checker where the picture is missing instead of an old texture.
    if (owner != nullptr) {
      texture = owner->missingTexturePlaceholder();
      if (texture != nullptr) texture->AddRef();
    }
    return false;
  }
  zlog("Loading texture: %s\n", file.c_str());
  // One read of the file serves its facts and the device texture.
  ZMappedFile bytes;
  D3DXIMAGE_INFO info = {};
  if (!bytes.open(file) || bytes.bytes().size() > UINT32_MAX ||
      FAILED(D3DXGetImageInfoFromFileInMemory(bytes.bytes().data(), UINT(bytes.bytes().size()),
                                              &info))) {
    zlog("Error creating texture %d %d\n", 0, 0);
    return false;
  }
  fileInfo = info;
  if (info.Format == D3DFMT_R8G8B8) bytesPerPixel = 3;
  if (info.Format == D3DFMT_A8R8G8B8) bytesPerPixel = 4;
  zlog("SIZE=%d %d -> ", int(info.Width), int(info.Height));
  const uint32_t cap = owner != nullptr ? uint32_t(owner->maxTextureSize) : 0;
  const D3DXTextureRequest request = cacheRequest(file, info, cap);
  const bool downsized = request.Width != D3DX_DEFAULT;
  if (downsized) zlog("DOWNSIZED=%d %d\n", int(request.Width), int(request.Height));
  width = int32_t(downsized ? request.Width : info.Width);
  height = int32_t(downsized ? request.Height : info.Height);
  if (owner == nullptr || owner->device == nullptr) return true;

  if (FAILED(D3DXCreateTextureFromFileInMemoryEx(
          owner->device, bytes.bytes().data(), UINT(bytes.bytes().size()), request.Width,
          request.Height, request.MipLevels, 0, request.Format, D3DPOOL_MANAGED, request.Filter,
          request.MipFilter, request.ColorKey, nullptr, nullptr, &texture))) {
    texture = nullptr;
    zlog("Error creating texture %d %d\n", int(request.Width), int(request.Height));
    return false;
  }
  D3DSURFACE_DESC level0 = {};
  texture->GetLevelDesc(0, &level0);
  width = int32_t(level0.Width);
  height = int32_t(level0.Height);
  zlog("tex mips=%d\n", int(texture->GetLevelCount()));
  countedKB = int32_t(int64_t(bytesPerPixel) * width * height / 1024);
  owner->textureMemoryKB += countedKB;
  zlog("Ext used texture memory: %d\n", owner->textureMemoryKB / 1024);
  return true;
}

bool ZTexture::reload() {
  releaseTexture();
  zlog("Reloading texture  %s\n", name.c_str());
  return load(name);
}

bool ZTexture::save(const std::string& file) const {
  return texture != nullptr &&
         SUCCEEDED(D3DXSaveTextureToFileA(file.c_str(), D3DXIFF_DDS, texture, nullptr));
}

bool ZTexture::createRenderTarget(int32_t w, int32_t h, bool isShadowMap, bool withDepth,
                                  D3DFORMAT format) {
  width = w;
  height = h;
  IDirect3DDevice9* device = owner != nullptr ? owner->device : nullptr;
  const auto create = [&](IDirect3DTexture9** target, UINT levels, D3DFORMAT textureFormat) {
    if (device == nullptr || w <= 0 || h <= 0 ||
        FAILED(device->CreateTexture(UINT(w), UINT(h), levels, D3DUSAGE_RENDERTARGET,
                                     textureFormat, D3DPOOL_DEFAULT, target, nullptr))) {
      *target = nullptr;
    }
    return *target != nullptr;
  };
  const auto createDepth = [&] {
    if (hasDepth && depthSurface != nullptr) depthSurface->Release();
    hasDepth = true;
    if (device == nullptr || w <= 0 || h <= 0 ||
        FAILED(device->CreateDepthStencilSurface(UINT(w), UINT(h), D3DFMT_D24S8,
                                                 D3DMULTISAMPLE_NONE, 0, TRUE, &depthSurface,
                                                 nullptr))) {
      depthSurface = nullptr;
      zlog("Error creating the depth buffer\n");
    }
    return depthSurface != nullptr;
  };

  if (!isShadowMap) {
    releaseTexture();
    bool made = create(&texture, 1, format);
    if (withDepth) made = createDepth() && made;
    if (texture == nullptr) {
      zlog("ERROR: Creation of render target failed\n");
    } else {
      zlog("%d\n", int(texture->glName()));
    }
    return made;
  }
  if (texture != nullptr) {
    zlog("Using NVIDIA shadow mapping\n");
    if (colourTarget != nullptr) colourTarget->Release();
    return create(&colourTarget, 1, D3DFMT_A8R8G8B8);
  }
  zlog("Using ATI shadow mapping\n");
  bool made = create(&texture, 0, D3DFMT_A8R8G8B8);
  if (withDepth) made = createDepth() && made;
  if (!made) MessageBoxA(GetActiveWindow(), "ATI Render target failed", "Corvane", MB_OK);
  return made;
}
