// Textures: a GL texture object (2D or cube map) with the D3D format, usage, pool and level
// count it was created with. Levels are filled through LockRect/UnlockRect, which upload the
// level when it is unlocked. Render-target textures (D3DUSAGE_RENDERTARGET) live in the default
// pool and cannot be locked, as on the original platform.
//
// Image rows are stored top row first, as files hold them, so texture coordinate v = 0 is the
// top of the image; the device renders into texture targets upside down to keep that true.
#pragma once

#include "platform/d3d9/Direct3DResource9.h"
#include "platform/d3d9/GLFormats.h"

#include <cstdint>
#include <vector>

class IDirect3DSurface9;

class IDirect3DBaseTexture9 : public IDirect3DResource9 {
 public:
  DWORD GetLevelCount() const { return levels; }
  D3DRESOURCETYPE GetType() const { return type; }

  uint32_t glName() const { return name; }
  uint32_t glTarget() const;
  D3DFORMAT format() const { return textureFormat; }
  DWORD usage() const { return textureUsage; }
  UINT width(UINT level = 0) const;
  UINT height(UINT level = 0) const;
  // GL target of one image: the 2D target, or the cube face's target.
  uint32_t faceTarget(UINT face) const;

  // Sampler parameters last written to the GL texture object (GL keeps them per texture).
  struct SamplerParams {
    int minFilter = -1, magFilter = -1, wrapS = -1, wrapT = -1, maxLevel = -1;
    uint32_t borderColor = 0;
  };
  SamplerParams applied;

 protected:
  IDirect3DBaseTexture9(IDirect3DDevice9* owner, D3DRESOURCETYPE resourceType, UINT width,
                        UINT height, UINT levelCount, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~IDirect3DBaseTexture9() override;

  // Lock/unlock of one image (face 0 for 2D textures).
  HRESULT lockImage(UINT face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
  HRESULT unlockImage(UINT face, UINT level);
  HRESULT surfaceOf(UINT face, UINT level, IDirect3DSurface9** surface);

  D3DRESOURCETYPE type;
  UINT baseWidth, baseHeight, levels;
  DWORD textureUsage;
  D3DFORMAT textureFormat;
  D3DPOOL texturePool;
  GLFormat gl;
  uint32_t name = 0;

 private:
  struct Lock {
    bool active = false;
    UINT face = 0, level = 0;
    std::vector<uint8_t> bytes;
  } lock;
};

class IDirect3DTexture9 : public IDirect3DBaseTexture9 {
 public:
  IDirect3DTexture9(IDirect3DDevice9* owner, UINT width, UINT height, UINT levels, DWORD usage,
                    D3DFORMAT format, D3DPOOL pool);

  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc);
  // New surface object for the level (it holds a reference to the texture).
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface);
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
  HRESULT UnlockRect(UINT level);
};

class IDirect3DCubeTexture9 : public IDirect3DBaseTexture9 {
 public:
  IDirect3DCubeTexture9(IDirect3DDevice9* owner, UINT edgeLength, UINT levels, DWORD usage,
                        D3DFORMAT format, D3DPOOL pool);

  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc);
  HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface);
  HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                   DWORD flags);
  HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level);
};
