// A surface: the back buffer, the automatic depth buffer, one level (and face) of a texture, a
// depth-stencil surface (a GL renderbuffer) or an off-screen plain surface in system memory (for
// reading render targets back with GetRenderTargetData).
#pragma once

#include "platform/d3d9/Direct3DResource9.h"

#include <cstdint>
#include <vector>

class IDirect3DBaseTexture9;

class IDirect3DSurface9 : public IDirect3DResource9 {
 public:
  enum class Kind { BackBuffer, AutoDepth, TextureLevel, DepthStencil, OffscreenPlain };

  // Back buffer, automatic depth, depth-stencil (creates the renderbuffer) or plain surface.
  IDirect3DSurface9(IDirect3DDevice9* owner, Kind kind, UINT width, UINT height,
                    D3DFORMAT format);
  // Level (and cube face) of a texture; holds a reference to it.
  IDirect3DSurface9(IDirect3DDevice9* owner, IDirect3DBaseTexture9* texture, UINT face,
                    UINT level);

  HRESULT GetDesc(D3DSURFACE_DESC* desc) const;
  // Only off-screen plain surfaces can be locked.
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
  HRESULT UnlockRect();

  Kind kind() const { return surfaceKind; }
  IDirect3DBaseTexture9* texture() const { return owningTexture; }
  UINT face() const { return textureFace; }
  UINT level() const { return textureLevel; }
  UINT width() const { return surfaceWidth; }
  UINT height() const { return surfaceHeight; }
  D3DFORMAT format() const { return surfaceFormat; }
  uint32_t renderbuffer() const { return glRenderbuffer; }
  std::vector<uint8_t>& plainBytes() { return bytes; }

 private:
  ~IDirect3DSurface9() override;

  Kind surfaceKind;
  UINT surfaceWidth, surfaceHeight;
  D3DFORMAT surfaceFormat;
  IDirect3DBaseTexture9* owningTexture = nullptr;
  UINT textureFace = 0, textureLevel = 0;
  uint32_t glRenderbuffer = 0;
  std::vector<uint8_t> bytes;
};
