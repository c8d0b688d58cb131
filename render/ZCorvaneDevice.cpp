// Device creation: the Direct3D object, the adapter banner, present parameters (with
// "cfg/corvane.ini"), multisampling, the device and its fixed start-up state.
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"

#include <algorithm>

namespace {

void logAdapterBanner(IDirect3D9* direct3d) {
  D3DADAPTER_IDENTIFIER9 identifier = {};
  direct3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
  zlog("_____________________________________\n");
  zlog("*           3D HARDWARE             *\n");
  zlog("_____________________________________\n");
  zlog("NAME: %s\n", identifier.Description);
  zlog("DRIVER: %s %d\n", identifier.Driver, int32_t(identifier.DriverVersion & 0xFFFFFFFF));
  zlog("\n\n");
}

// The "PRESENT" section of cfg/corvane.ini, when the file loads.
void readPresentSettings(D3DPRESENT_PARAMETERS& parameters) {
  ZINIReader ini;
  ini.load("cfg/corvane.ini");
  if (!ini.loaded) return;
  zlog("Using corvane.ini\n");
  parameters.BackBufferCount = UINT(std::max(0, ini.getInt("PRESENT", "BACKBUFFERCOUNT")));
  zlog("BackBufferCount=%d\n", int(parameters.BackBufferCount));
  // INTERVAL -1..2; other values keep the immediate default.
  struct Interval {
    int setting;
    UINT interval;
    const char* name;
  };
  static constexpr Interval kIntervals[] = {
      {-1, D3DPRESENT_INTERVAL_DEFAULT, "D3DPRESENT_INTERVAL_DEFAULT"},
      {0, D3DPRESENT_INTERVAL_IMMEDIATE, "D3DPRESENT_INTERVAL_IMMEDIATE"},
      {1, D3DPRESENT_INTERVAL_ONE, "D3DPRESENT_INTERVAL_ONE"},
      {2, D3DPRESENT_INTERVAL_TWO, "D3DPRESENT_INTERVAL_TWO"},
  };
  const int setting = ini.getInt("PRESENT", "INTERVAL");
  for (const Interval& entry : kIntervals) {
    if (entry.setting != setting) continue;
    parameters.PresentationInterval = entry.interval;
    zlog("PresentationInterval=%s\n", entry.name);
  }
  const std::string mode = ini.getString("PRESENT", "MODE");
  if (mode == "FLIP") {
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    zlog("d3dpp.SwapEffect = D3DSWAPEFFECT_FLIP\n");
  } else if (mode == "DISCARD") {
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    zlog("d3dpp.SwapEffect = D3DSWAPEFFECT_DISCARD\n");
  }
}

}  // namespace

bool ZCorvane::init(HWND window, intptr_t callerValue) {
  windowHandle = window;
  initValue = callerValue;
  return initDirect3D(window);
}

bool ZCorvane::initDirect3D(HWND window) {
  zlog("initDirect3D() %d\n", int32_t(reinterpret_cast<intptr_t>(window)));
  if (device != nullptr) {
    zlog("initDirect3D(): the device exists already\n");
    return true;
  }
  if (direct3d != nullptr) direct3d->Release();  // from an earlier attempt that failed
  windowHandle = window;
  zlog("creating direct3d object\n");
  direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (direct3d == nullptr) return false;
  logAdapterBanner(direct3d);
  zlog("getting display adapter mode\n");
  D3DDISPLAYMODE mode = {};
  if (FAILED(direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return false;

  D3DPRESENT_PARAMETERS parameters = {};
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  readPresentSettings(parameters);
  parameters.hDeviceWindow = window;
  if (fullscreen) {
    parameters.FullScreen_RefreshRateInHz = UINT(refreshRate != 0 ? refreshRate : 60);
    parameters.BackBufferWidth = UINT(width);
    parameters.BackBufferHeight = UINT(height);
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.Windowed = FALSE;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  } else {
    parameters.Windowed = TRUE;
    parameters.BackBufferFormat = mode.Format;
  }
  parameters.EnableAutoDepthStencil = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
  parameters.MultiSampleType = D3DMULTISAMPLE_TYPE(multiSampleType);

  zlog("Checking MULTISAMPLE....");
  DWORD levels = 0;
  if (SUCCEEDED(direct3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                     surfaceFormat, parameters.Windowed,
                                                     parameters.MultiSampleType, &levels))) {
    zlog("OK\n");
  } else {
    zlog("NOT SUPPORTED\n");
    MessageBoxA(GetActiveWindow(), "Antialias setting not supported", "Corvane", MB_OK);
    multiSampleQuality = 0;
    multiSampleType = 0;
    parameters.MultiSampleType = D3DMULTISAMPLE_TYPE(0);
  }
  zlog("max multisample quality=%d\n", int(levels));
  parameters.MultiSampleQuality = levels > 0 ? std::min<DWORD>(multiSampleQuality, levels - 1) : 0;

  D3DCAPS9 caps = {};
  direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
  DWORD behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
  if (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
    zlog("Using TnL\n");
    behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING;
  } else {
    zlog("no TnL\n");
  }
  zlog("Initializing with MULTISAMPLE=%d and QUALITY=%d\n", int(parameters.MultiSampleType),
       int(parameters.MultiSampleQuality));

  if (SUCCEEDED(direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format,
                                            D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                            D3DFMT_D24S8)) &&
      SUCCEEDED(direct3d->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format,
                                                 parameters.BackBufferFormat, D3DFMT_D24S8))) {
    zlog("creating device 24S8depth\n");
    zlog("autost=%d %d %d fl=%d hw=%d\n", int(parameters.EnableAutoDepthStencil),
         int(parameters.AutoDepthStencilFormat), int(parameters.BackBufferFormat),
         int(parameters.Flags), int(behaviour));
    zlog("%d %d ms=%d qs=%d \n", int(parameters.BackBufferWidth),
         int(parameters.BackBufferHeight), int(parameters.MultiSampleType),
         int(parameters.MultiSampleQuality));
    zlog("hwnd=%d %d %d\n", int32_t(reinterpret_cast<intptr_t>(window)),
         int(parameters.Windowed), int(parameters.SwapEffect));
    zlog("haltype=%d \n", int(D3DDEVTYPE_HAL));
    if (FAILED(direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, behaviour,
                                      &parameters, &device))) {
      device = nullptr;
    } else {
      zlog("ok\n");
    }
  }
  if (device == nullptr) {
    MessageBoxA(GetActiveWindow(), "CreateDevice failed", "corvane", MB_OK);
    return false;
  }

  zlog("creating matrix stack2\n");
  D3DXCreateMatrixStack(0, &matrixStack);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  device->SetTransform(D3DTS_TEXTURE0, &identity);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
  device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
  device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);

  defaultMaterial = getNewMaterial();
  device->GetDeviceCaps(&caps);
  maxVertexIndex = int32_t(std::min<DWORD>(caps.MaxVertexIndex, 0x7FFFFFFF));
  zlog("Max vertex buffer size=%d\n", maxVertexIndex);
  device->GetDepthStencilSurface(&mainDepthSurface);
  device->GetRenderTarget(0, &mainRenderTarget);
  baseEffect = loadEffect("corvane_base.fxo");
  device->CreateVertexDeclaration(kShaderVertexElements, &vertexDeclaration);
  device->SetVertexDeclaration(vertexDeclaration);
  if (parameters.MultiSampleQuality != 0) {
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
  }
  multiSampleType = int32_t(parameters.MultiSampleType);
  multiSampleQuality = parameters.MultiSampleQuality;
  return true;
}
