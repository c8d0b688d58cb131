#include "platform/d3dx/D3DXTexture.h"

#include "platform/d3d9/GLTextureBinding.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

namespace {

bool driverTakesS3TC() {
  static const bool supported = [] {
    const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_EXT_texture_compression_s3tc") != nullptr;
  }();
  return supported;
}

// The request as the device can take it for an image decoded in sourceFormat.
D3DXTextureRequest shapedRequest(const D3DXTextureRequest& request, D3DFORMAT sourceFormat,
                                 bool takesS3TC) {
  D3DXTextureRequest shaped = request;
  if (D3DXIsCompressedFormat(sourceFormat) && !takesS3TC) shaped.Format = D3DFMT_A8R8G8B8;
  // Decoded images are A8R8G8B8: a request for another 8-bit colour format (a JPG or 24-bit
  // BMP asked for in the format its header names) gets the closest one that can be made.
  if ((shaped.Format == D3DFMT_R8G8B8 || shaped.Format == D3DFMT_X8R8G8B8) &&
      sourceFormat == D3DFMT_A8R8G8B8) {
    shaped.Format = D3DFMT_A8R8G8B8;
  }
  return shaped;
}

// Shapes a loaded image (the result of loading it: a failure is passed on) for a texture; a
// cube is required when cube is set.
HRESULT prepareImage(HRESULT loaded, const D3DXImage& source, const D3DXIMAGE_INFO& sourceInfo,
                     bool cube, const D3DXTextureRequest& request, D3DXImage& image,
                     D3DXIMAGE_INFO* info) {
  HRESULT result = loaded;
  if (FAILED(result)) return result;
  if (cube != (source.type == D3DRTYPE_CUBETEXTURE)) return D3DXERR_INVALIDDATA;
  const bool takesS3TC = !D3DXIsCompressedFormat(source.format) || driverTakesS3TC();
  result = D3DXPrepareTextureImage(source, shapedRequest(request, source.format, takesS3TC), image);
  if (SUCCEEDED(result) && info) *info = sourceInfo;
  return result;
}

// Copies one prepared level into a locked texture level, row by row.
void copyLevel(const D3DXImageLevel& level, D3DFORMAT format, const D3DLOCKED_RECT& locked) {
  const bool compressed = D3DXIsCompressedFormat(format);
  const UINT rows = compressed ? (level.height + 3) / 4 : level.height;
  const size_t rowBytes = rows ? level.bytes.size() / rows : 0;
  for (UINT row = 0; row < rows; ++row) {
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + size_t(row) * size_t(locked.Pitch),
                level.bytes.data() + row * rowBytes, rowBytes);
  }
}

// Copies every face and level of image into a texture through its lock and unlock calls.
template <typename Lock, typename Unlock>
bool fillLevels(const D3DXImage& image, Lock lock, Unlock unlock) {
  for (UINT face = 0; face < image.faces.size(); ++face) {
    for (UINT level = 0; level < image.faces[face].size(); ++level) {
      D3DLOCKED_RECT locked;
      if (FAILED(lock(face, level, &locked))) return false;
      copyLevel(image.faces[face][level], image.format, locked);
      unlock(face, level);
    }
  }
  return true;
}

// A 2D texture from a loaded image (see prepareImage), shaped by the request.
HRESULT createTexture(IDirect3DDevice9* device, HRESULT loaded, const D3DXImage& source,
                      const D3DXIMAGE_INFO& sourceInfo, const D3DXTextureRequest& request,
                      DWORD usage, D3DPOOL pool, D3DXIMAGE_INFO* info,
                      IDirect3DTexture9** texture) {
  D3DXImage image;
  HRESULT result = prepareImage(loaded, source, sourceInfo, false, request, image, info);
  if (FAILED(result)) return result;
  const auto& levels = image.faces[0];
  result = device->CreateTexture(levels[0].width, levels[0].height, UINT(levels.size()), usage,
                                 image.format, pool, texture, nullptr);
  if (FAILED(result)) return result;
  IDirect3DTexture9* made = *texture;
  const bool filled = fillLevels(
      image,
      [&](UINT, UINT level, D3DLOCKED_RECT* locked) {
        return made->LockRect(level, locked, nullptr, D3DLOCK_DISCARD);
      },
      [&](UINT, UINT level) { made->UnlockRect(level); });
  if (!filled) releaseAndClear(*texture);
  return filled ? D3D_OK : D3DERR_INVALIDCALL;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* file, UINT width,
                                     UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                     D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                     D3DCOLOR colorKey, D3DXIMAGE_INFO* info, void*,
                                     IDirect3DTexture9** texture) {
  if (!device || !texture || !file) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  D3DXImage source;
  D3DXIMAGE_INFO sourceInfo{};
  const HRESULT loaded = D3DXLoadImageFromFileA(file, source, &sourceInfo);
  const D3DXTextureRequest request{width, height, mipLevels, format, filter, mipFilter, colorKey};
  return createTexture(device, loaded, source, sourceInfo, request, usage, pool, info, texture);
}

HRESULT D3DXGetTextureShape(const D3DXIMAGE_INFO& info, const D3DXTextureRequest& request,
                            bool takesS3TC, D3DXPreparedShape& shape) {
  // DDS files decode to their own format, every other file to A8R8G8B8.
  const D3DFORMAT decoded = info.ImageFileFormat == D3DXIFF_DDS ? info.Format : D3DFMT_A8R8G8B8;
  return D3DXPrepareTextureShape(info.Width, info.Height, std::max(info.MipLevels, 1u), decoded,
                                 shapedRequest(request, decoded, takesS3TC), shape);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* info, void*,
                                            IDirect3DTexture9** texture) {
  if (!device || !texture || (!data && size > 0)) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  D3DXImage source;
  D3DXIMAGE_INFO sourceInfo{};
  const HRESULT loaded = D3DXLoadImageFromFileInMemory(data, size, source, &sourceInfo);
  const D3DXTextureRequest request{width, height, mipLevels, format, filter, mipFilter, colorKey};
  return createTexture(device, loaded, source, sourceInfo, request, usage, pool, info, texture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* file,
                                   IDirect3DTexture9** texture) {
  return D3DXCreateTextureFromFileExA(device, file, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                      D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                      0, nullptr, nullptr, texture);
}

HRESULT D3DXCreateCubeTextureFromFileExA(IDirect3DDevice9* device, const char* file, UINT size,
                                         UINT mipLevels, DWORD usage, D3DFORMAT format,
                                         D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                         D3DCOLOR colorKey, D3DXIMAGE_INFO* info, void*,
                                         IDirect3DCubeTexture9** texture) {
  if (!device || !texture || !file) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  D3DXImage source;
  D3DXIMAGE_INFO sourceInfo{};
  const HRESULT loaded = D3DXLoadImageFromFileA(file, source, &sourceInfo);
  D3DXImage image;
  const D3DXTextureRequest request{size, size, mipLevels, format, filter, mipFilter, colorKey};
  HRESULT result = prepareImage(loaded, source, sourceInfo, true, request, image, info);
  if (FAILED(result)) return result;
  const UINT levelCount = UINT(image.faces[0].size());
  result = device->CreateCubeTexture(image.faces[0][0].width, levelCount, usage, image.format,
                                     pool, texture, nullptr);
  if (FAILED(result)) return result;
  IDirect3DCubeTexture9* made = *texture;
  const bool filled = fillLevels(
      image,
      [&](UINT face, UINT level, D3DLOCKED_RECT* locked) {
        return made->LockRect(D3DCUBEMAP_FACES(face), level, locked, nullptr, D3DLOCK_DISCARD);
      },
      [&](UINT face, UINT level) { made->UnlockRect(D3DCUBEMAP_FACES(face), level); });
  if (!filled) releaseAndClear(*texture);
  return filled ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT D3DXCreateCubeTexture(IDirect3DDevice9* device, UINT size, UINT mipLevels, DWORD usage,
                              D3DFORMAT format, D3DPOOL pool, IDirect3DCubeTexture9** texture) {
  if (!device) return D3DERR_INVALIDCALL;
  return device->CreateCubeTexture(size, mipLevels, usage, format, pool, texture, nullptr);
}

HRESULT D3DXSaveTextureToFileA(const char* file, D3DXIMAGE_FILEFORMAT fileFormat,
                               IDirect3DBaseTexture9* texture, const void*) {
  if (!file || !texture || fileFormat != D3DXIFF_DDS) return D3DERR_INVALIDCALL;
  const GLFormat gl = glFormatOf(texture->format());
  D3DXImage image;
  image.format = texture->format();
  image.type = texture->GetType();
  const UINT faces = image.type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
  const GLTextureBinding binding(texture->glTarget(), texture->glName());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  for (UINT face = 0; face < faces; ++face) {
    auto& levels = image.faces.emplace_back();
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
      D3DXImageLevel& out = levels.emplace_back();
      out.width = texture->width(level);
      out.height = texture->height(level);
      out.bytes.resize(levelSize(gl, out.width, out.height));
      if (gl.compressed) {
        glGetCompressedTexImage(texture->faceTarget(face), GLint(level), out.bytes.data());
      } else {
        glGetTexImage(texture->faceTarget(face), GLint(level), gl.format, gl.type,
                      out.bytes.data());
      }
    }
  }
  return D3DXSaveImageToDDSFileA(file, image);
}

ID3DXRenderToEnvMap::ID3DXRenderToEnvMap(IDirect3DDevice9* owner, UINT size, bool withDepth)
    : device(owner) {
  if (withDepth) {
    device->CreateDepthStencilSurface(size, size, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                      &depth, nullptr);
  }
}

ID3DXRenderToEnvMap::~ID3DXRenderToEnvMap() {
  releaseAndClear(savedTarget);
  releaseAndClear(savedDepth);
  releaseAndClear(cube);
  releaseAndClear(depth);
}

UINT ID3DXRenderToEnvMap::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

HRESULT ID3DXRenderToEnvMap::BeginCube(IDirect3DCubeTexture9* target) {
  if (!target || cube || !(target->usage() & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
  target->AddRef();
  cube = target;
  device->GetRenderTarget(0, &savedTarget);
  device->GetDepthStencilSurface(&savedDepth);
  return D3D_OK;
}

HRESULT ID3DXRenderToEnvMap::Face(D3DCUBEMAP_FACES face, DWORD) {
  if (!cube) return D3DERR_INVALIDCALL;
  IDirect3DSurface9* surface = nullptr;
  HRESULT result = cube->GetCubeMapSurface(face, 0, &surface);
  if (FAILED(result)) return result;
  result = device->SetRenderTarget(0, surface);
  surface->Release();
  if (FAILED(result)) return result;
  return device->SetDepthStencilSurface(depth);
}

HRESULT ID3DXRenderToEnvMap::End(DWORD) {
  if (!cube) return D3DERR_INVALIDCALL;
  if (savedTarget) device->SetRenderTarget(0, savedTarget);
  device->SetDepthStencilSurface(savedDepth);
  releaseAndClear(savedTarget);
  releaseAndClear(savedDepth);
  releaseAndClear(cube);
  return D3D_OK;
}

HRESULT D3DXCreateRenderToEnvMap(IDirect3DDevice9* device, UINT size, UINT, D3DFORMAT,
                                 BOOL depthStencil, D3DFORMAT, ID3DXRenderToEnvMap** result) {
  if (!device || !result || size == 0 || size > 16384) return D3DERR_INVALIDCALL;
  *result = new ID3DXRenderToEnvMap(device, size, depthStencil != 0);
  return D3D_OK;
}
