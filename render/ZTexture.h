// One texture of the engine's cache, named by its file, or a render target (plain, or one of the
// shadow maps). Without a device (tools, conversions) it keeps its name and the file's facts
// (size, bytes per pixel) and has no device texture.
#pragma once

#include "foundation/ZVector.h"
#include "platform/d3d9/Direct3DTexture9.h"
#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/ImageOps.h"

#include <string>

class ZCorvane;

class ZTexture {
 public:
  explicit ZTexture(ZCorvane* engine) : owner(engine) {}
  ~ZTexture();
  ZTexture(const ZTexture&) = delete;
  ZTexture& operator=(const ZTexture&) = delete;

  // Loads file: name = file; size and bytes per pixel from the file; with the owner's device a
  // managed texture (TGA forced to A8R8G8B8, shrunk to the owner's maxTextureSize, magenta
  // keyed out) and its memory counted. A missing file logs "ZTexture::load : file not found"
  // and is reported once per name (the program goes on), and with a device the texture shows
  // the engine's missing-texture checker; false when nothing was loaded.
  bool load(const std::string& file);
  // Loads name again ("Reloading texture  <name>"): the object keeps its place in the cache and
  // only the device texture is replaced (its memory counted once). False as for load.
  bool reload();
  // Writes the device texture, every level, to file as DDS; false without one or on a failed
  // write (the previous file is then kept).
  bool save(const std::string& file) const;
  // Makes this a w x h render target in the default pool (lost on a device reset):
  // - plain (isShadowMap false): one level of format, with a D24S8 depth surface when withDepth;
  // - shadow map with no texture yet: an A8R8G8B8 target with a full mip chain (and the depth
  //   surface when withDepth), "Using ATI shadow mapping";
  // - shadow map whose texture is already a depth texture: an A8R8G8B8 colourTarget beside it,
  //   "Using NVIDIA shadow mapping".
  // False when a requested texture or depth surface could not be made (logged; shadow maps also
  // show "ATI Render target failed").
  bool createRenderTarget(int32_t w, int32_t h, bool isShadowMap, bool withDepth,
                          D3DFORMAT format);
  // The creation arguments load gives the device for a file of this description (the name
  // decides the TGA rule) under cap on either side (0: none): full mip chain, magenta keyed.
  static D3DXTextureRequest cacheRequest(const std::string& file, const D3DXIMAGE_INFO& info,
                                         uint32_t cap);
  // The size a width x height image is loaded at under a cap on either side: the longer side
  // becomes cap and the other is divided by the same integer factor (and held to the cap).
  // False (sizes unchanged) when the image fits.
  static bool fitToCap(uint32_t& width, uint32_t& height, uint32_t cap);

  bool colourTransformed = false;
  bool hasDepth = false;
  ZCorvane* owner = nullptr;  // borrowed
  std::string name;           // the file name given to the cache
  ZVector minimumColour;
  int32_t bytesPerPixel = 0;  // 3 for R8G8B8 files, 4 for A8R8G8B8, else 0
  IDirect3DTexture9* texture = nullptr;       // owned reference; null without a device
  IDirect3DTexture9* colourTarget = nullptr;  // owned reference
  IDirect3DSurface9* depthSurface = nullptr;  // owned reference when hasDepth
  D3DXIMAGE_INFO fileInfo{};  // the file's facts at the last load; zeros when it could not be read
  int32_t width = 0;   // level 0
  int32_t height = 0;  // level 0

 private:
  // Releases the device texture and takes what it added out of the owner's memory count.
  void releaseTexture();
  int32_t countedKB = 0;  // this texture's share of the owner's textureMemoryKB
};
