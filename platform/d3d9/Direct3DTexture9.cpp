#include "platform/d3d9/Direct3DTexture9.h"

#include "platform/d3d9/Direct3DSurface9.h"
#include "platform/d3d9/GLTextureBinding.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

namespace {

UINT levelExtent(UINT base, UINT level) { return std::max<UINT>(1, base >> std::min<UINT>(level, 31)); }

}  // namespace

IDirect3DBaseTexture9::IDirect3DBaseTexture9(IDirect3DDevice9* owner,
                                             D3DRESOURCETYPE resourceType, UINT w, UINT h,
                                             UINT levelCount, DWORD usage, D3DFORMAT format,
                                             D3DPOOL pool)
    : IDirect3DResource9(owner),
      type(resourceType),
      baseWidth(w),
      baseHeight(h),
      textureUsage(usage),
      textureFormat(format),
      texturePool(pool),
      gl(glFormatOf(format)) {
  const UINT full = fullMipCount(w, h);
  levels = levelCount == 0 ? full : std::min(levelCount, full);
  glGenTextures(1, &name);
  const GLTextureBinding binding(glTarget(), name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
  for (UINT face = 0; face < faces; ++face) {
    for (UINT level = 0; level < levels; ++level) {
      const UINT lw = levelExtent(w, level), lh = levelExtent(h, level);
      if (gl.compressed) {
        glCompressedTexImage2D(faceTarget(face), static_cast<GLint>(level), gl.internalFormat,
                               lw, lh, 0, static_cast<GLsizei>(levelSize(gl, lw, lh)), nullptr);
      } else {
        glTexImage2D(faceTarget(face), static_cast<GLint>(level),
                     static_cast<GLint>(gl.internalFormat), lw, lh, 0, gl.format, gl.type,
                     nullptr);
      }
    }
  }
  // A texture is complete with exactly the levels it has, so mip filters work on any count.
  glTexParameteri(glTarget(), GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
  applied.maxLevel = static_cast<int>(levels - 1);
}

IDirect3DBaseTexture9::~IDirect3DBaseTexture9() { glDeleteTextures(1, &name); }

uint32_t IDirect3DBaseTexture9::glTarget() const {
  return type == D3DRTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
}

uint32_t IDirect3DBaseTexture9::faceTarget(UINT face) const {
  return type == D3DRTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
}

UINT IDirect3DBaseTexture9::width(UINT level) const { return levelExtent(baseWidth, level); }

UINT IDirect3DBaseTexture9::height(UINT level) const { return levelExtent(baseHeight, level); }

HRESULT IDirect3DBaseTexture9::lockImage(UINT face, UINT level, D3DLOCKED_RECT* locked,
                                         const RECT* rect, DWORD flags) {
  if (!locked || lock.active || level >= levels) return D3DERR_INVALIDCALL;
  if (texturePool == D3DPOOL_DEFAULT || (textureUsage & D3DUSAGE_RENDERTARGET)) {
    return D3DERR_INVALIDCALL;
  }
  const UINT w = width(level), h = height(level);
  const size_t pitch = levelPitch(gl, w);
  size_t offset = 0;
  if (rect) {
    const long block = gl.compressed ? 4 : 1;
    if (rect->left < 0 || rect->top < 0 || rect->right > long(w) || rect->bottom > long(h) ||
        rect->left >= rect->right || rect->top >= rect->bottom || rect->left % block != 0 ||
        rect->top % block != 0) {
      return D3DERR_INVALIDCALL;
    }
    offset = size_t(rect->top / block) * pitch + size_t(rect->left / block) * gl.bytesPerBlock;
  }
  lock.bytes.assign(levelSize(gl, w, h), 0);
  if (!(flags & D3DLOCK_DISCARD)) {
    const GLTextureBinding binding(glTarget(), name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (gl.compressed) {
      glGetCompressedTexImage(faceTarget(face), static_cast<GLint>(level), lock.bytes.data());
    } else {
      glGetTexImage(faceTarget(face), static_cast<GLint>(level), gl.format, gl.type,
                    lock.bytes.data());
    }
  }
  lock.active = true;
  lock.face = face;
  lock.level = level;
  locked->Pitch = static_cast<int>(pitch);
  locked->pBits = lock.bytes.data() + offset;
  return D3D_OK;
}

HRESULT IDirect3DBaseTexture9::unlockImage(UINT face, UINT level) {
  if (!lock.active || lock.face != face || lock.level != level) return D3DERR_INVALIDCALL;
  const UINT w = width(level), h = height(level);
  const GLTextureBinding binding(glTarget(), name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (gl.compressed) {
    glCompressedTexSubImage2D(faceTarget(face), static_cast<GLint>(level), 0, 0, w, h,
                              gl.internalFormat, static_cast<GLsizei>(lock.bytes.size()),
                              lock.bytes.data());
  } else {
    glTexSubImage2D(faceTarget(face), static_cast<GLint>(level), 0, 0, w, h, gl.format, gl.type,
                    lock.bytes.data());
  }
  lock = Lock{};
  return D3D_OK;
}

HRESULT IDirect3DBaseTexture9::surfaceOf(UINT face, UINT level, IDirect3DSurface9** surface) {
  if (!surface || level >= levels) return D3DERR_INVALIDCALL;
  *surface = new IDirect3DSurface9(device, this, face, level);
  return D3D_OK;
}

IDirect3DTexture9::IDirect3DTexture9(IDirect3DDevice9* owner, UINT w, UINT h, UINT levelCount,
                                     DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : IDirect3DBaseTexture9(owner, D3DRTYPE_TEXTURE, w, h, levelCount, usage, format, pool) {}

HRESULT IDirect3DTexture9::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (!desc || level >= levels) return D3DERR_INVALIDCALL;
  *desc = {textureFormat, D3DRTYPE_SURFACE, textureUsage, texturePool, D3DMULTISAMPLE_NONE, 0,
           width(level), height(level)};
  return D3D_OK;
}

HRESULT IDirect3DTexture9::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  return surfaceOf(0, level, surface);
}

HRESULT IDirect3DTexture9::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                    DWORD flags) {
  return lockImage(0, level, locked, rect, flags);
}

HRESULT IDirect3DTexture9::UnlockRect(UINT level) { return unlockImage(0, level); }

IDirect3DCubeTexture9::IDirect3DCubeTexture9(IDirect3DDevice9* owner, UINT edge, UINT levelCount,
                                             DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : IDirect3DBaseTexture9(owner, D3DRTYPE_CUBETEXTURE, edge, edge, levelCount, usage, format,
                            pool) {}

HRESULT IDirect3DCubeTexture9::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (!desc || level >= levels) return D3DERR_INVALIDCALL;
  *desc = {textureFormat, D3DRTYPE_SURFACE, textureUsage, texturePool, D3DMULTISAMPLE_NONE, 0,
           width(level), height(level)};
  return D3D_OK;
}

HRESULT IDirect3DCubeTexture9::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                                 IDirect3DSurface9** surface) {
  if (face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
  return surfaceOf(face, level, surface);
}

HRESULT IDirect3DCubeTexture9::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked,
                                        const RECT* rect, DWORD flags) {
  if (face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
  return lockImage(face, level, locked, rect, flags);
}

HRESULT IDirect3DCubeTexture9::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
  return unlockImage(face, level);
}
