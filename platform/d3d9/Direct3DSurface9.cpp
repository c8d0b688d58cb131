#include "platform/d3d9/Direct3DSurface9.h"

#include "platform/d3d9/Direct3DTexture9.h"
#include "platform/d3d9/GLFormats.h"

#include <GL/gl.h>
#include <GL/glext.h>

IDirect3DSurface9::IDirect3DSurface9(IDirect3DDevice9* owner, Kind kind, UINT w, UINT h,
                                     D3DFORMAT format)
    : IDirect3DResource9(owner),
      surfaceKind(kind),
      surfaceWidth(w),
      surfaceHeight(h),
      surfaceFormat(format) {
  if (kind == Kind::DepthStencil) {
    glGenRenderbuffers(1, &glRenderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, glRenderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(w),
                          static_cast<GLsizei>(h));
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
  } else if (kind == Kind::OffscreenPlain) {
    bytes.assign(levelSize(glFormatOf(format), w, h), 0);
  }
}

IDirect3DSurface9::IDirect3DSurface9(IDirect3DDevice9* owner, IDirect3DBaseTexture9* texture,
                                     UINT face, UINT level)
    : IDirect3DResource9(owner),
      surfaceKind(Kind::TextureLevel),
      surfaceWidth(texture->width(level)),
      surfaceHeight(texture->height(level)),
      surfaceFormat(texture->format()),
      owningTexture(texture),
      textureFace(face),
      textureLevel(level) {
  owningTexture->AddRef();
}

IDirect3DSurface9::~IDirect3DSurface9() {
  if (glRenderbuffer) glDeleteRenderbuffers(1, &glRenderbuffer);
  if (owningTexture) owningTexture->Release();
}

HRESULT IDirect3DSurface9::GetDesc(D3DSURFACE_DESC* desc) const {
  if (!desc) return D3DERR_INVALIDCALL;
  const DWORD usage = surfaceKind == Kind::DepthStencil || surfaceKind == Kind::AutoDepth
                          ? D3DUSAGE_DEPTHSTENCIL
                      : surfaceKind == Kind::OffscreenPlain ? 0
                                                            : D3DUSAGE_RENDERTARGET;
  const D3DPOOL pool = surfaceKind == Kind::OffscreenPlain ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT;
  *desc = {surfaceFormat, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, surfaceWidth,
           surfaceHeight};
  return D3D_OK;
}

HRESULT IDirect3DSurface9::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
  if (!locked || surfaceKind != Kind::OffscreenPlain || rect) return D3DERR_INVALIDCALL;
  locked->Pitch = static_cast<int>(levelPitch(glFormatOf(surfaceFormat), surfaceWidth));
  locked->pBits = bytes.data();
  return D3D_OK;
}

HRESULT IDirect3DSurface9::UnlockRect() {
  return surfaceKind == Kind::OffscreenPlain ? D3D_OK : D3DERR_INVALIDCALL;
}
