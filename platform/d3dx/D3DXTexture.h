// Textures from image files and back, cube textures, and rendering into a cube map: the D3DX
// texture calls, joining the CPU image work (ImageFile.h, ImageOps.h) to the device. DXT files
// are uploaded compressed where the GL driver takes S3TC blocks, and decoded to A8R8G8B8 where
// it does not.
#pragma once

#include "platform/d3d9/Direct3DDevice9.h"
#include "platform/d3dx/ImageFile.h"
#include "platform/d3dx/ImageOps.h"

// A texture holding the file's image as request-shaped by size, levels (0: full chain), format,
// filters and colour key (0xFFFF00FF turns magenta transparent black). info (may be null)
// receives the file's facts. Failures: D3DERR_NOTFOUND (no file), D3DXERR_INVALIDDATA (not an
// image), D3DERR_INVALIDCALL (bad arguments).
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* file, UINT width,
                                     UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                     D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                     D3DCOLOR colorKey, D3DXIMAGE_INFO* info, void* palette,
                                     IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* file,
                                   IDirect3DTexture9** texture);
// The same from a file's bytes in memory.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* info, void* palette,
                                            IDirect3DTexture9** texture);
// The size, level count and format of the texture the calls above make from a file of this
// description with request, found without reading the texels: a DXT file keeps its blocks when
// takesS3TC (the driver's answer; no GL context is needed here), and a kept format would become
// A8R8G8B8 only if the colour key matched a texel. Failures as D3DXPrepareTextureShape.
HRESULT D3DXGetTextureShape(const D3DXIMAGE_INFO& info, const D3DXTextureRequest& request,
                            bool takesS3TC, D3DXPreparedShape& shape);

// The same for a cube map file (a DDS holding six faces).
HRESULT D3DXCreateCubeTextureFromFileExA(IDirect3DDevice9* device, const char* file, UINT size,
                                         UINT mipLevels, DWORD usage, D3DFORMAT format,
                                         D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                         D3DCOLOR colorKey, D3DXIMAGE_INFO* info, void* palette,
                                         IDirect3DCubeTexture9** texture);
HRESULT D3DXCreateCubeTexture(IDirect3DDevice9* device, UINT size, UINT mipLevels, DWORD usage,
                              D3DFORMAT format, D3DPOOL pool, IDirect3DCubeTexture9** texture);
// Writes every face and level of a texture (render targets included) to a file; only
// D3DXIFF_DDS is written (others give D3DERR_INVALIDCALL).
HRESULT D3DXSaveTextureToFileA(const char* file, D3DXIMAGE_FILEFORMAT fileFormat,
                               IDirect3DBaseTexture9* texture, const void* palette);

// Rendering a scene into the six faces of a cube render target.
class ID3DXRenderToEnvMap {
 public:
  ID3DXRenderToEnvMap(IDirect3DDevice9* device, UINT size, bool withDepth);
  ID3DXRenderToEnvMap(const ID3DXRenderToEnvMap&) = delete;
  ID3DXRenderToEnvMap& operator=(const ID3DXRenderToEnvMap&) = delete;
  UINT Release();

  // Remembers the device's render target and depth surface and takes the cube (referenced).
  HRESULT BeginCube(IDirect3DCubeTexture9* cube);
  // Makes the face's top level the render target (with the own depth surface).
  HRESULT Face(D3DCUBEMAP_FACES face, DWORD mipFilter);
  // Restores the remembered target and depth surface.
  HRESULT End(DWORD mipFilter);

 private:
  ~ID3DXRenderToEnvMap();
  IDirect3DDevice9* device;
  IDirect3DSurface9* depth = nullptr;
  IDirect3DCubeTexture9* cube = nullptr;
  IDirect3DSurface9* savedTarget = nullptr;
  IDirect3DSurface9* savedDepth = nullptr;
  UINT references = 1;
};

HRESULT D3DXCreateRenderToEnvMap(IDirect3DDevice9* device, UINT size, UINT mipLevels,
                                 D3DFORMAT format, BOOL depthStencil, D3DFORMAT depthStencilFormat,
                                 ID3DXRenderToEnvMap** result);
