#include "render/CHDRLighting.h"

#include <utility>

#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZMaterial.h"

namespace {

// Clear values: the adapted luminance starts at a plainly lit scene's, everything else black.
constexpr D3DCOLOR kStartLuminance = 0xFF808080;

// The coordinates that draw source onto destination, both without their outer texel; the
// destination's inner rectangle into destinationRect.
SCoordRect innerCoords(const ZTexture& source, const ZTexture& destination,
                       RECT& destinationRect) {
  RECT sourceRect;
  GetTextureRect(&source, &sourceRect);
  GetTextureRect(&destination, &destinationRect);
  for (RECT* r : {&sourceRect, &destinationRect}) {  // InflateRect by -1, -1
    ++r->left;
    ++r->top;
    --r->right;
    --r->bottom;
  }
  SCoordRect coords;
  GetTextureCoords(&source, &sourceRect, &destination, &destinationRect, &coords);
  return coords;
}

}  // namespace

CAdaptationClock CHDRLighting::adaptationClock;

CHDRLighting::CHDRLighting() = default;

CHDRLighting::~CHDRLighting() = default;

bool CHDRLighting::init(ZCorvane* owner) {
  zlog("INITIALIZING HDR LIGHTING\n");
  renderer = owner;
  ready = false;
  if (renderer == nullptr || renderer->device == nullptr) return false;
  if (hdrMaterial == nullptr) {
    material = std::make_unique<ZMaterial>(renderer);
    hdrMaterial = material.get();
    hdrMaterial->initEffect("HDRLighting.fx");
  }
  if (hdrMaterial->effect == nullptr) {
    zlog("HDR lighting: no HDRLighting.fx effect, HDR stays off\n");
    return false;
  }
  hdrMaterial->setDoubleFace(true);
  if (!makeTargets()) {
    zlog("HDR lighting: the device has no floating-point render targets, HDR stays off\n");
    return false;
  }
  hdrMaterial->setTexture(hdrScene.get());
  ready = true;
  return true;
}

std::unique_ptr<ZTexture> CHDRLighting::target(int32_t width, int32_t height, int format,
                                               bool depth) {
  auto made = std::make_unique<ZTexture>(renderer);
  made->name = "HDR target";
  if (!made->createRenderTarget(width, height, false, depth, D3DFORMAT(format))) return nullptr;
  return made;
}

bool CHDRLighting::makeTargets() {
  const SHDRSizes sizes = hdrTargetSizes(renderer->width, renderer->height);
  cropWidth = sizes.cropWidth;
  cropHeight = sizes.cropHeight;
  zlog("CROPX=%d CROPY=%d\n", int(cropWidth), int(cropHeight));
  madeForWidth = renderer->width;
  madeForHeight = renderer->height;
  hdrScene = target(cropWidth, cropHeight, D3DFMT_A16B16G16R16F, true);
  hdrSceneScaled = target(sizes.scaledWidth, sizes.scaledHeight, D3DFMT_A16B16G16R16F, false);
  bool made = hdrScene != nullptr && hdrSceneScaled != nullptr;
  for (int i = 0; i < 4; ++i) {
    const int32_t side = 1 << (2 * i);
    zlog("sampleLen %d\n", int(side));
    toneMaps[i] = target(side, side, D3DFMT_R32F, false);
    made = made && toneMaps[i] != nullptr;
  }
  adaptedLumLast = target(1, 1, D3DFMT_R32F, false);
  adaptedLumCur = target(1, 1, D3DFMT_R32F, false);
  brightPass = target(sizes.brightWidth, sizes.brightHeight, D3DFMT_A8R8G8B8, false);
  bloom = target(sizes.brightWidth, sizes.brightHeight, D3DFMT_A8R8G8B8, false);
  made = made && adaptedLumLast && adaptedLumCur && brightPass && bloom;
  if (!made) return false;
  // Nothing is left undefined for the chain to carry along: a NaN in the adapted luminance
  // would stay there.
  IDirect3DDevice9* device = renderer->device;
  for (ZTexture* t : {adaptedLumLast.get(), adaptedLumCur.get()}) {
    if (setTarget(*t)) device->Clear(0, nullptr, D3DCLEAR_TARGET, kStartLuminance, 1.0f, 0);
  }
  for (ZTexture* t : {brightPass.get(), bloom.get()}) {
    if (setTarget(*t)) device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  }
  device->SetRenderTarget(0, renderer->mainRenderTarget);
  return true;
}

bool CHDRLighting::setTarget(ZTexture& texture) {
  IDirect3DSurface9* surface = nullptr;
  if (texture.texture == nullptr || FAILED(texture.texture->GetSurfaceLevel(0, &surface)) ||
      FAILED(renderer->device->SetRenderTarget(0, surface))) {
    if (surface != nullptr) surface->Release();
    zlog("olla\n");
    return false;
  }
  surface->Release();
  return true;
}

void CHDRLighting::beginScene() {
  if (!ready) return;
  if (renderer->width != madeForWidth || renderer->height != madeForHeight) {
    ready = makeTargets();
    if (!ready) return;
    hdrMaterial->setTexture(hdrScene.get());
  }
  if (!setTarget(*hdrScene)) return;
  renderer->device->SetDepthStencilSurface(hdrScene->depthSurface);
  renderer->setViewport(0, 0, cropWidth, cropHeight);
}

void CHDRLighting::bind(int stage, ZTexture* texture, uint32_t filter) {
  static const char* const kSamplers[] = {"s0", "s1", "s2", "s3"};
  IDirect3DDevice9* device = renderer->device;
  hdrMaterial->effect->SetTexture(kSamplers[stage],
                                  texture != nullptr ? texture->texture : nullptr);
  for (const auto state : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER}) {
    device->SetSamplerState(DWORD(stage), state, filter);
  }
  device->SetSamplerState(DWORD(stage), D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device->SetSamplerState(DWORD(stage), D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
}

void CHDRLighting::sampleOffsets(const SSampleOffsets& offsets) {
  ID3DXEffect* effect = hdrMaterial->effect;
  effect->SetValue(effect->GetParameterByName(nullptr, "g_avSampleOffsets"), offsets.data(),
                   UINT(sizeof offsets));
}

void CHDRLighting::draw(const char* technique, const SCoordRect& coords) {
  ID3DXEffect* effect = hdrMaterial->effect;
  if (FAILED(effect->SetTechnique(effect->GetTechniqueByName(technique)))) return;
  UINT passes = 0;
  if (FAILED(effect->Begin(&passes, 0))) return;
  for (UINT pass = 0; pass < passes; ++pass) {
    if (FAILED(effect->BeginPass(pass))) continue;
    effect->CommitChanges();
    renderer->drawFullScreenQuad(coords.left, coords.top, coords.right, coords.bottom);
    effect->EndPass();
  }
  effect->End();
}

void CHDRLighting::endScene() {
  if (!ready) return;
  renderer->setDefaultMaterial();
  renderer->loadIdentity();
  renderer->orthoProjection(-1, 1, -1, 1);
  renderer->renderState.setCullMode(D3DCULL_NONE);
  downScale();
  measureLuminance();
  adapt();
  brightPassFilter();
  blur();
  finalPass();
  for (int stage = 0; stage < 4; ++stage) bind(stage, nullptr, D3DTEXF_LINEAR);
  renderer->disableAllTextures();
}

void CHDRLighting::downScale() {
  RECT source;
  source.left = (renderer->width - cropWidth) / 2;
  source.top = (renderer->height - cropHeight) / 2;
  source.right = source.left + cropWidth;
  source.bottom = source.top + cropHeight;
  SCoordRect coords;
  GetTextureCoords(hdrScene.get(), &source, hdrSceneScaled.get(), nullptr, &coords);
  SSampleOffsets offsets;
  GetSampleOffsets_DownScale4x4(renderer->width, renderer->height, offsets);
  sampleOffsets(offsets);
  if (!setTarget(*hdrSceneScaled)) return;
  bind(0, hdrScene.get(), D3DTEXF_POINT);
  draw("DownScale4x4", coords);
}

void CHDRLighting::measureLuminance() {
  ZTexture& largest = *toneMaps[3];
  const float tu = 1.0f / (3.0f * float(largest.width));
  const float tv = 1.0f / (3.0f * float(largest.height));
  SSampleOffsets offsets{};
  size_t n = 0;
  for (int x = -1; x <= 1; ++x) {
    for (int y = -1; y <= 1; ++y) {
      offsets[n++] = float(x) * tu;
      offsets[n++] = float(y) * tv;
    }
  }
  sampleOffsets(offsets);
  if (setTarget(largest)) {
    bind(0, hdrSceneScaled.get(), D3DTEXF_LINEAR);
    bind(1, hdrSceneScaled.get(), D3DTEXF_LINEAR);
    draw("SampleAvgLum", SCoordRect());
  }
  for (int i = 2; i >= 0; --i) {
    ZTexture& from = *toneMaps[i + 1];
    GetSampleOffsets_DownScale4x4(from.width, from.height, offsets);
    sampleOffsets(offsets);
    if (!setTarget(*toneMaps[i])) continue;
    bind(0, &from, D3DTEXF_POINT);
    draw(i > 0 ? "ResampleAvgLum" : "ResampleAvgLumExp", SCoordRect());
  }
}

void CHDRLighting::adapt() {
  std::swap(adaptedLumLast, adaptedLumCur);
  hdrMaterial->effect->SetFloat("g_fElapsedTime", adaptationClock.step(GetTickCount()));
  if (!setTarget(*adaptedLumCur)) return;
  bind(0, adaptedLumLast.get(), D3DTEXF_POINT);
  bind(1, toneMaps[0].get(), D3DTEXF_POINT);
  draw("CalculateAdaptedLum", SCoordRect());
}

void CHDRLighting::brightPassFilter() {
  RECT destination;
  const SCoordRect coords = innerCoords(*hdrSceneScaled, *brightPass, destination);
  hdrMaterial->effect->SetFloat("g_fMiddleGray", middleGray);
  if (!setTarget(*brightPass)) return;
  bind(0, hdrSceneScaled.get(), D3DTEXF_POINT);
  bind(1, adaptedLumCur.get(), D3DTEXF_POINT);
  IDirect3DDevice9* device = renderer->device;
  device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  device->SetScissorRect(&destination);
  draw("BrightPassFilter", coords);
  device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
}

void CHDRLighting::blur() {
  RECT destination;
  const SCoordRect coords = innerCoords(*brightPass, *bloom, destination);
  SSampleOffsets offsets;
  SSampleWeights weights;
  hdrGetSampleOffsets_GaussBlur5x5(bloom->width, bloom->height, offsets, weights, 1.0f);
  sampleOffsets(offsets);
  ID3DXEffect* effect = hdrMaterial->effect;
  effect->SetValue(effect->GetParameterByName(nullptr, "g_avSampleWeights"), weights.data(),
                   UINT(sizeof weights));
  if (!setTarget(*bloom)) return;
  bind(0, brightPass.get(), D3DTEXF_POINT);
  draw("blur", coords);
  renderer->device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
}

void CHDRLighting::finalPass() {
  IDirect3DDevice9* device = renderer->device;
  device->SetRenderTarget(0, renderer->mainRenderTarget);
  device->SetDepthStencilSurface(renderer->mainDepthSurface);
  renderer->setViewport(0, 0, renderer->width, renderer->height);
  hdrMaterial->setEffectCustomVariable("g_fMiddleGray", middleGray);
  hdrMaterial->effect->SetFloat("g_fMiddleGray", middleGray);
  bind(0, hdrScene.get(), D3DTEXF_POINT);
  bind(1, bloom.get(), D3DTEXF_LINEAR);
  bind(2, nullptr, D3DTEXF_LINEAR);
  bind(3, adaptedLumCur.get(), D3DTEXF_POINT);
  draw("FinalScenePass", SCoordRect());
}
