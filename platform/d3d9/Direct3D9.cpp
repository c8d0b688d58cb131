#include "platform/d3d9/Direct3D9.h"

#include "platform/gl/GLContext.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace {

void copyString(char* target, size_t size, const GLubyte* text) {
  std::snprintf(target, size, "%s", text ? reinterpret_cast<const char*>(text) : "OpenGL");
}

}  // namespace

UINT IDirect3D9::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

HRESULT IDirect3D9::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* identifier) {
  if (adapter != D3DADAPTER_DEFAULT || !identifier) return D3DERR_INVALIDCALL;
  *identifier = {};
  copyString(identifier->Description, sizeof identifier->Description, glGetString(GL_RENDERER));
  copyString(identifier->Driver, sizeof identifier->Driver, glGetString(GL_VENDOR));
  copyString(identifier->DeviceName, sizeof identifier->DeviceName, nullptr);
  int major = 0, minor = 0;
  if (const GLubyte* version = glGetString(GL_VERSION)) {
    std::sscanf(reinterpret_cast<const char*>(version), "%d.%d", &major, &minor);
  }
  identifier->DriverVersion = (int64_t(major) << 16) | minor;
  return D3D_OK;
}

HRESULT IDirect3D9::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
  if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
  GLint box[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, box);
  *mode = {UINT(box[2]), UINT(box[3]), 60, D3DFMT_X8R8G8B8};
  return D3D_OK;
}

HRESULT IDirect3D9::GetDeviceCaps(UINT adapter, D3DDEVTYPE, D3DCAPS9* caps) {
  if (adapter != D3DADAPTER_DEFAULT || !caps) return D3DERR_INVALIDCALL;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  *caps = {};
  caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  caps->MaxTextureWidth = caps->MaxTextureHeight = DWORD(maxSize);
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFFF;
  caps->MaxActiveLights = 8;
  caps->MaxSimultaneousTextures = 8;
  caps->MaxTextureBlendStages = 8;
  caps->NumSimultaneousRTs = 1;
  return D3D_OK;
}

HRESULT IDirect3D9::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE, D3DFORMAT, BOOL,
                                               D3DMULTISAMPLE_TYPE multiSample,
                                               DWORD* qualityLevels) {
  if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  if (multiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
  if (qualityLevels) *qualityLevels = 1;
  return D3D_OK;
}

HRESULT IDirect3D9::CheckDeviceFormat(UINT adapter, D3DDEVTYPE, D3DFORMAT, DWORD usage,
                                      D3DRESOURCETYPE, D3DFORMAT checkFormat) {
  if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  if (usage & D3DUSAGE_DEPTHSTENCIL) {
    return checkFormat == D3DFMT_D24S8 || checkFormat == D3DFMT_D24X8 ||
                   checkFormat == D3DFMT_D16
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
  }
  const GLFormat gl = glFormatOf(checkFormat);
  if (gl.internalFormat == 0) return D3DERR_NOTAVAILABLE;
  if ((usage & D3DUSAGE_RENDERTARGET) && !gl.renderable) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT IDirect3D9::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE, D3DFORMAT, D3DFORMAT,
                                           D3DFORMAT depthStencilFormat) {
  if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  return depthStencilFormat == D3DFMT_D24S8 || depthStencilFormat == D3DFMT_D24X8 ||
                 depthStencilFormat == D3DFMT_D16
             ? D3D_OK
             : D3DERR_NOTAVAILABLE;
}

HRESULT IDirect3D9::CreateDevice(UINT adapter, D3DDEVTYPE, HWND window, DWORD,
                                 D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  auto* context = static_cast<GLContext*>(window);
  if (adapter != D3DADAPTER_DEFAULT || !context || !parameters ||
      parameters->MultiSampleType != D3DMULTISAMPLE_NONE || !context->makeCurrent()) {
    return D3DERR_INVALIDCALL;
  }
  parameters->BackBufferWidth = UINT(context->width());
  parameters->BackBufferHeight = UINT(context->height());
  if (parameters->BackBufferFormat == D3DFMT_UNKNOWN) parameters->BackBufferFormat = D3DFMT_X8R8G8B8;
  *device = new IDirect3DDevice9(context, *parameters);
  return D3D_OK;
}

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  return sdkVersion == D3D_SDK_VERSION ? new IDirect3D9 : nullptr;
}
