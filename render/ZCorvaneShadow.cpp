// Shadow maps: the near and the wide map rendered from the sun, and the pass that draws casters
// into them with the shadow-generation effect.
#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

#include <memory>

namespace {

void logIfFailed(HRESULT result, const char* line) {
  if (FAILED(result)) zlog("%s", line);
}

}  // namespace

void ZCorvane::initShadowMaps(int32_t w, int32_t h) {
  auto nearMap = std::make_unique<ZTexture>(this);
  const bool nearMade = nearMap->createRenderTarget(w, h, true, true, D3DFMT_X8R8G8B8);
  shadowMaps[0] = nearMap.get();
  textures.push_back(std::move(nearMap));

  auto wideMap = std::make_unique<ZTexture>(this);
  wideMap->width = w;
  wideMap->height = h;
  zlog("Using ATI shadow mapping\n");
  if (device == nullptr || w <= 0 || h <= 0 ||
      FAILED(device->CreateTexture(UINT(w), UINT(h), 0, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, &wideMap->texture, nullptr))) {
    wideMap->texture = nullptr;
    // The near map's failure has shown the message already.
    if (nearMade) MessageBoxA(GetActiveWindow(), "ATI Render target failed", "Corvane", MB_OK);
  }
  // One depth surface serves both passes; each map holds its own reference to it.
  wideMap->depthSurface = shadowMaps[0]->depthSurface;
  if (wideMap->depthSurface != nullptr) {
    wideMap->depthSurface->AddRef();
    wideMap->hasDepth = true;
  }
  shadowMaps[1] = wideMap.get();
  textures.push_back(std::move(wideMap));

  pipelineName = shadowMaps[0]->colourTarget != nullptr ? "nv" : "ati";
  shadowMaterial = getNewMaterial();
  shadowMaterial->initEffect("shadowMapGen.fxo");
  shadowBias = 0.0f;

  if (device == nullptr) return;
  IDirect3DSurface9* level0 = nullptr;
  if (shadowMaps[0]->texture == nullptr ||
      FAILED(shadowMaps[0]->texture->GetSurfaceLevel(0, &level0))) {
    zlog("FAILED GetSurfaceLevel\n");
  } else {
    for (int attempt = 0; attempt < 2; ++attempt) {
      logIfFailed(device->SetRenderTarget(0, level0), "FAILED\n");
      logIfFailed(device->SetDepthStencilSurface(shadowMaps[0]->depthSurface), "FAILED\n");
    }
    level0->Release();
  }
  device->SetRenderTarget(0, mainRenderTarget);
  device->SetDepthStencilSurface(mainDepthSurface);
}

void ZCorvane::setShadowMapParams(float x, float y, float z, float distance, float size) {
  shadowCentre = ZVector(x, y, z);
  shadowDistance = distance;
  shadowSize = size;
}

void ZCorvane::beginShadowMapPass(ZLight* light, int index) {
  if (index != 0 && index != 1) {
    zlog("WARNING: beginShadowMapPass index %d out of range\n", index);
    return;
  }
  ZTexture* map = shadowMaps[size_t(index)];
  if (device == nullptr || map == nullptr || light == nullptr) return;

  // The depth-texture variant draws colour into colourTarget and depth into the texture itself.
  IDirect3DTexture9* colour = map->colourTarget != nullptr ? map->colourTarget : map->texture;
  IDirect3DSurface9* target = nullptr;
  if (colour == nullptr || FAILED(colour->GetSurfaceLevel(0, &target))) {
    zlog("FAILED GetSurfaceLevel\n");
  } else {
    logIfFailed(device->SetRenderTarget(0, target), "FAILED\n");
    target->Release();
  }
  if (map->colourTarget != nullptr) {
    IDirect3DSurface9* depth = nullptr;
    if (map->texture == nullptr || FAILED(map->texture->GetSurfaceLevel(0, &depth))) {
      zlog("FAILED GetSurfaceLevel\n");
    } else {
      logIfFailed(device->SetDepthStencilSurface(depth), "FAILED\n");
      depth->Release();
    }
  } else {
    logIfFailed(device->SetDepthStencilSurface(map->depthSurface), "FAILED\n");
  }

  // Both passes cover their whole map, the wide one included: receivers look a point up over the
  // whole map, and a fixed 1024 x 1024 corner would be refused on a smaller map and leave the
  // rest of a larger one stale.
  D3DVIEWPORT9 newViewport = {0, 0, DWORD(map->width), DWORD(map->height), 0.0f, 1.0f};
  logIfFailed(device->SetViewport(&newViewport), "device->SetViewport(&newViewport) FAILED\n");

  if (currentCamera != nullptr) {
    currentCamera->applyFromLight(*light, shadowCentre, shadowDistance, shadowSize, index);
  }
  // Applied before the pass flag is set, so that it begins its own effect rather than taking
  // the shadow-pass branch meant for the casters' materials.
  if (shadowMaterial != nullptr) shadowMaterial->apply();
  inShadowPass = true;
  shadowSizes[index] = shadowSize;
}

void ZCorvane::endShadowMapPass() {
  // Only an effect the pass began is ended (shaders may have been switched off since, or a
  // material hook refused the shadow material).
  if (shadowMaterial != nullptr && shadowMaterial->effect != nullptr &&
      renderState.currentEffect == shadowMaterial->effect) {
    shadowMaterial->effect->EndPass();
    shadowMaterial->effect->End();
  }
  inShadowPass = false;
  renderState.currentEffect = nullptr;
  disableAllTextures();
  renderState.forceResend = true;
}
