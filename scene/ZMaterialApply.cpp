// ZMaterial::apply and the per-draw effect parameters: the device half of the material.
#include "foundation/ZLog.h"
#include "foundation/ZMatrixD3D.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/ZCorvane.h"
#include "render/ZCubeTexture.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"


namespace {

IDirect3DBaseTexture9* deviceTextureOf(const ZTexture* texture) {
  return texture != nullptr ? texture->texture : nullptr;
}

// The sun (the engine's first light), or null.
const ZLight* firstLight(const ZCorvane& engine) {
  return engine.lights.empty() ? nullptr : engine.lights.front().get();
}

// One matrix semantic and its inverse / transpose variants, each uploaded when the effect has it.
void setMatrixFamily(ID3DXEffect* effect, const std::array<D3DXHANDLE, ZMaterial::kSemanticCount>& h,
                     int first, const D3DXMATRIX& m) {
  const D3DXHANDLE plain = h[size_t(first)], inverse = h[size_t(first + 1)];
  const D3DXHANDLE transpose = h[size_t(first + 2)], inverseTranspose = h[size_t(first + 3)];
  if (plain != nullptr) effect->SetMatrix(plain, &m);
  if (transpose != nullptr) {
    D3DXMATRIX t;
    effect->SetMatrix(transpose, D3DXMatrixTranspose(&t, &m));
  }
  if (inverse == nullptr && inverseTranspose == nullptr) return;
  D3DXMATRIX inv;
  D3DXMatrixInverse(&inv, nullptr, &m);
  if (inverse != nullptr) effect->SetMatrix(inverse, &inv);
  if (inverseTranspose != nullptr) {
    D3DXMATRIX t;
    effect->SetMatrix(inverseTranspose, D3DXMatrixTranspose(&t, &inv));
  }
}

}  // namespace

void ZMaterial::apply() {
  if (engine == nullptr || engine->device == nullptr) return;
  if (engine->materialHook && !engine->materialHook(this)) return;
  ZRenderState& cache = engine->renderState;
  const bool effectPath =
      engine->inShadowPass || (effect != nullptr && engine->shadersEnabled);
  if (!effectPath && cache.currentEffect != nullptr) {
    // Another material's effect is still running: end it; the fixed pipeline state it left is
    // unknown, so everything is sent again.
    cache.currentEffect->EndPass();
    cache.currentEffect->End();
    cache.currentEffect = nullptr;
    cache.forceResend = true;
  }
  cache.setCullMode(doubleFace ? int(D3DCULL_NONE) : int(engine->defaultCullMode));
  cache.setDepthTest(useZBuffer ? 1 : 0);
  cache.setDepthWrite(forceNoDepthWrite ? 0 : 1);
  cache.setAlphaBlend(alphaBlend ? 1 : 0);
  cache.setDestBlend(alphaDestBlend);
  cache.setSrcBlend(alphaSrcBlend);
  cache.setAlphaTest(alphaTest ? 1 : 0);
  cache.setAlphaRef(alphaRef);
  cache.setTextureFactor(textureFactor);
  if (effectPath) {
    applyEffect();
  } else {
    cache.applyTextureStage(0, stage(0));
    cache.setMaterial(d3dMaterial);
    engine->currentMaterial = nullptr;
  }
  cache.forceResend = false;
}

void ZMaterial::applyEffect() {
  ZRenderState& cache = engine->renderState;
  if (engine->inShadowPass) {
    applyShadowCaster();
    return;
  }
  if (cache.currentEffect != effect) {
    if (cache.currentEffect != nullptr) {
      cache.currentEffect->EndPass();
      cache.currentEffect->End();
      cache.currentEffect = nullptr;
    }
    engine->disableAllTextures();
  }
  for (int i = 0; i < 8; ++i) {
    const bool sent = cache.bindEffectTexture(effect, semanticHandles[size_t(Texture0 + i)], i,
                                              deviceTextureOf(stage(i).texture));
    // Logged once per material, not at every change: a frame changes it for each material.
    if (sent && i == 0 && !texture0Logged) {
      zlog("Shadowmap geometry\n");
      texture0Logged = true;
    }
  }
  for (int i = 0; i < 2; ++i) {
    cache.bindEffectTexture(effect, semanticHandles[size_t(ShadowMap0 + i)], 8 + i,
                            deviceTextureOf(engine->shadowMaps[size_t(i)]));
  }
  if (engine->environmentMap != nullptr) {
    cache.bindEffectTexture(effect, semanticHandles[CurrentCubeTexture], 10,
                            engine->environmentMap->cubeTexture);
  }
  setFloat(ShadowBias, engine->shadowBias);
  const ZLight* sun = firstLight(*engine);
  const D3DCOLORVALUE light = sun != nullptr ? sun->light.Diffuse : D3DCOLORVALUE{1, 1, 1, 1};
  const D3DCOLORVALUE& d = d3dMaterial.Diffuse;
  const D3DCOLORVALUE& a = d3dMaterial.Ambient;
  const D3DCOLORVALUE& s = d3dMaterial.Specular;
  const float* ambient = engine->ambientColour;
  setFloats(Diffuse, {light.r * d.r, light.g * d.g, light.b * d.b}, 3);
  setFloats(Ambient, {ambient[0] * a.r, ambient[1] * a.g, ambient[2] * a.b}, 3);
  setFloats(Specular, {light.r * s.r, light.g * s.g, light.b * s.b, 1}, 4);
  const D3DCOLORVALUE& e = d3dMaterial.Emissive;
  setFloats(Emissive, {e.r, e.g, e.b, e.a}, 4);
  setFloat(SpecularPower, d3dMaterial.Power);
  for (const auto& variable : effectVars) {
    float current = 0;
    if (FAILED(effect->GetFloat(variable->handle, &current)) || current != variable->value) {
      effect->SetFloat(variable->handle, variable->value);
    }
  }
  setFloat(cvShadowCross, engine->shadowCross);
  engine->currentMaterial = this;
  if (cache.currentEffect != effect) {
    UINT passes = 0;
    effect->Begin(&passes, 0);
    effect->BeginPass(0);
    cache.currentEffect = effect;
  }
  refreshObjectParameters();  // uploads this draw's matrices and commits
}

void ZMaterial::applyShadowCaster() {
  ZMaterial* caster = engine->shadowMaterial;
  if (caster == nullptr || caster->effect == nullptr) return;
  ID3DXEffect* shadowEffect = caster->effect;
  ZTexture* texture = stage(0).texture;
  // Set on every caster, not only when the texture changes: an alpha-tested caster drawn again
  // after an opaque one keeps its texture bound but needs its holes back.
  const bool cutOut = texture != nullptr && (alphaTest || alphaBlend);
  if (cutOut) {
    engine->renderState.bindEffectTexture(shadowEffect, caster->semanticHandles[Texture0], 0,
                                          texture->texture);
  }
  shadowEffect->SetFloat("additive", cutOut ? 0.0f : 1.0f);
  caster->refreshObjectParameters();  // this caster's matrices, committed
}

void ZMaterial::refreshObjectParameters() {
  if (engine == nullptr || effect == nullptr || engine->renderState.currentEffect != effect) return;
  const D3DXMATRIX worldMatrix = toD3DX(engine->world);
  const D3DXMATRIX viewMatrix = toD3DX(engine->view);
  const D3DXMATRIX projectionMatrix = toD3DX(engine->projection);
  D3DXMATRIX worldView, viewProjection, worldViewProjection;
  D3DXMatrixMultiply(&worldView, &worldMatrix, &viewMatrix);
  D3DXMatrixMultiply(&viewProjection, &viewMatrix, &projectionMatrix);
  D3DXMatrixMultiply(&worldViewProjection, &worldView, &projectionMatrix);
  setMatrixFamily(effect, semanticHandles, World, worldMatrix);
  setMatrixFamily(effect, semanticHandles, View, viewMatrix);
  setMatrixFamily(effect, semanticHandles, Projection, projectionMatrix);
  setMatrixFamily(effect, semanticHandles, WorldView, worldView);
  setMatrixFamily(effect, semanticHandles, ViewProjection, viewProjection);
  setMatrixFamily(effect, semanticHandles, WorldViewProjection, worldViewProjection);
  if (const ZCamera* camera = engine->currentCamera) {
    for (int i = 0; i < 2; ++i) {
      const D3DXMATRIX light = toD3DX(camera->lightViewProjection[i]);
      if (D3DXHANDLE h = semanticHandles[size_t(LightProjectionTSM0 + i)]) {
        effect->SetMatrix(h, &light);
      }
      if (i == 0 && semanticHandles[LightProjection] != nullptr) {
        effect->SetMatrix(semanticHandles[LightProjection], &light);
      }
      if (i == 0 && semanticHandles[TSMMatrix] != nullptr) {
        effect->SetMatrix(semanticHandles[TSMMatrix], &light);
      }
    }
    const ZVector& eye = camera->position;
    setFloats(CameraPosition, {eye.x, eye.y, eye.z, 1}, 4);
  }
  if (const ZLight* sun = firstLight(*engine)) {
    const D3DVECTOR& dir = sun->light.Direction;
    setFloats(LightDirection, {dir.x, dir.y, dir.z, 0}, 4);
  }
  const float* ambient = engine->ambientColour;
  setFloats(AmbientLight, {ambient[0], ambient[1], ambient[2], 1}, 4);
  effect->CommitChanges();
}

void ZMaterial::setFloat(Semantic semantic, float value) {
  if (D3DXHANDLE h = semanticHandles[size_t(semantic)]) effect->SetFloat(h, value);
}

void ZMaterial::setFloats(Semantic semantic, std::initializer_list<float> values, UINT count) {
  if (D3DXHANDLE h = semanticHandles[size_t(semantic)]) {
    effect->SetFloatArray(h, values.begin(), count);
  }
}
