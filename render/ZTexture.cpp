#include "render/ZTexture.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "platform/d3dx/D3DXTexture.h"
#include "render/ZCorvane.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

bool isTga(const std::string& file) {
  const std::string extension = file.size() >= 4 ? file.substr(file.size() - 4) : std::string();
  return extension == ".tga" || extension == ".TGA";
}

}  // namespace

ZTexture::~ZTexture() {
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

bool ZTexture::load(const std::string& file) {
  name = file;
  if (texture != nullptr) {  // loaded before: the old picture goes
    texture->Release();
    texture = nullptr;
  }
  if (!canOpenForReading(file)) {
    // The program goes on without this texture: quitting here would lose the user's work.
    char text[1024];
    std::snprintf(text, sizeof text, "ZTexture::load : file not found %s\n", file.c_str());
    zlog("%s", text);
    std::fflush(zlogStream());
    if (owner == nullptr || owner->reportMissingTexture(file)) {
      MessageBoxA(GetActiveWindow(), text, "Corvane", MB_OK);
    }
    return false;
  }
  zlog("Loading texture: %s\n", file.c_str());
  const std::string path = resolveFileName(file);
  D3DXIMAGE_INFO info = {};
  if (FAILED(D3DXGetImageInfoFromFileA(path.c_str(), &info))) {
    zlog("Error creating texture %d %d\n", 0, 0);
    return false;
  }
  if (info.Format == D3DFMT_R8G8B8) bytesPerPixel = 3;
  if (info.Format == D3DFMT_A8R8G8B8) bytesPerPixel = 4;
  const D3DFORMAT format = isTga(file) ? D3DFMT_A8R8G8B8 : info.Format;
  zlog("SIZE=%d %d -> ", int(info.Width), int(info.Height));
  uint32_t loadWidth = info.Width;
  uint32_t loadHeight = info.Height;
  const uint32_t cap = owner != nullptr ? uint32_t(owner->maxTextureSize) : 0;
  const bool downsized = fitToCap(loadWidth, loadHeight, cap);
  if (downsized) zlog("DOWNSIZED=%d %d\n", int(loadWidth), int(loadHeight));
  width = int32_t(loadWidth);
  height = int32_t(loadHeight);
  if (owner == nullptr || owner->device == nullptr) return true;

  const UINT requestWidth = downsized ? loadWidth : D3DX_DEFAULT;
  const UINT requestHeight = downsized ? loadHeight : D3DX_DEFAULT;
  if (FAILED(D3DXCreateTextureFromFileExA(owner->device, path.c_str(), requestWidth, requestHeight,
                                          0, 0, format, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                          D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr, &texture))) {
    texture = nullptr;
    zlog("Error creating texture %d %d\n", int(requestWidth), int(requestHeight));
    return false;
  }
  D3DSURFACE_DESC level0 = {};
  texture->GetLevelDesc(0, &level0);
  width = int32_t(level0.Width);
  height = int32_t(level0.Height);
  zlog("tex mips=%d\n", int(texture->GetLevelCount()));
  owner->textureMemoryKB += int32_t(int64_t(bytesPerPixel) * width * height / 1024);
  zlog("Ext used texture memory: %d\n", owner->textureMemoryKB / 1024);
  return true;
}
