// The Direct3D 9 object: adapter facts and device creation. On this platform the "window" a
// device is created for is the GLContext that provides its back buffer (the headless EGL context,
// or the shell's viewport): pass the GLContext* as the window handle. Adapter queries read the
// GL context that is current, which the context provider makes current before the calls.
#pragma once

#include "platform/d3d9/Direct3DDevice9.h"
#include "platform/d3d9/d3d9types.h"

class IDirect3D9 {
 public:
  IDirect3D9() = default;
  IDirect3D9(const IDirect3D9&) = delete;
  IDirect3D9& operator=(const IDirect3D9&) = delete;

  UINT AddRef() { return ++references; }
  UINT Release();

  // Description: GL_RENDERER; Driver: GL_VENDOR; DriverVersion from GL_VERSION's numbers.
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier);
  // The current context's size in X8R8G8B8.
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode);
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps);
  // D3D_OK for no multisampling (one quality level); other types are not available on the
  // single-sampled back buffers this layer draws into.
  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                     BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                     DWORD* qualityLevels);
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat);
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                 D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat);
  // window: the GLContext* to draw into (current on this thread).
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behaviourFlags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device);

 private:
  ~IDirect3D9() = default;
  UINT references = 1;
};

// Null when sdkVersion is not D3D_SDK_VERSION.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
