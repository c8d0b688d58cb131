// The frame: its start and end, transforms and the matrix stack, lights and the sun, the
// deferred transparent pass, the sky box and the full-screen quad.
#include "foundation/ZLog.h"
#include "foundation/ZMatrixD3D.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const D3DMATRIX* d3d(const ZMatrix& m) { return reinterpret_cast<const D3DMATRIX*>(m.m); }

bool isIdentity(const ZMatrix& m) {
  const ZMatrix identity;
  return std::memcmp(m.m, identity.m, sizeof m.m) == 0;
}

// ARGB(255, r, g, b) from 0..1 floats, each channel rounded and taking its low 8 bits.
D3DCOLOR opaqueColour(float r, float g, float b) {
  const auto channel = [](float v) { return DWORD(std::lround(v * 255.0f)) & 0xFF; };
  return 0xFF000000u | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

}  // namespace

void ZCorvane::beginScene() {
  clearTransparentBuffer();
  const uint32_t now = getTimeMs();
  frameTimeMs = int32_t(now - lastFrameMs);
  timeScale = std::min(float(frameTimeMs) * 0.030303031f, 5.0f);
  lastFrameMs = now;
  currentVertexBuffer = nullptr;
  frameStatistics = {};
  disableAllTextures();
  if (device != nullptr && FAILED(device->BeginScene())) {
    zlog("ZCorvane::beginScene(): Begin scene failed\n");
  }
}

void ZCorvane::endScene() {
  setDefaultMaterial();
  if (device != nullptr) device->EndScene();
}

bool ZCorvane::swapBuffers() {
  if (device == nullptr) return false;
  const HRESULT result = device->Present(nullptr, nullptr, nullptr, nullptr);
  if (SUCCEEDED(result)) return true;
  zlog("device->Present Failed\n");
  if (result == D3DERR_DEVICELOST) zlog("D3DERR_DEVICELOST\n");
  if (result == D3DERR_DRIVERINTERNALERROR) zlog("D3DERR_DRIVERINTERNALERROR\n");
  if (result == D3DERR_INVALIDCALL) zlog("D3DERR_INVALIDCALL\n");
  return false;
}

void ZCorvane::clearBackAndDepthBuffers() {
  if (device != nullptr) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0);
  }
}

void ZCorvane::clearDepthBuffer() {
  if (device != nullptr) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
}

void ZCorvane::clearTransparentBuffer() { transparentList.clear(); }

void ZCorvane::deferTransparent(ZGeometry* geometry) {
  transparentList.push_back({geometry, world, 0});
}

void ZCorvane::transparentPass() {
  inTransparentPass = true;
  const ZVector eye = currentCamera != nullptr ? currentCamera->position : ZVector();
  for (STransparentRecord& record : transparentList) {
    const ZVector centre = record.world.transformPoint(record.geometry->center, false);
    const ZVector offset = centre - eye;
    record.distanceSq = offset.dotProduct(offset);
    // A mesh with broken coordinates must not break the ordering of the others.
    if (!std::isfinite(record.distanceSq)) record.distanceSq = 0;
  }
  std::sort(transparentList.begin(), transparentList.end(),
            [](const STransparentRecord& a, const STransparentRecord& b) {
              return a.distanceSq > b.distanceSq;
            });
  for (const STransparentRecord& record : transparentList) {
    if (matrixStack != nullptr) matrixStack->Push();
    multWorldMatrix(record.world);
    record.geometry->draw(!inShadowPass);
    popWorldMatrix();
  }
  inTransparentPass = false;
}

void ZCorvane::setViewport(int32_t x, int32_t y, int32_t w, int32_t h) {
  if (device == nullptr) return;
  const D3DVIEWPORT9 viewport = {DWORD(std::max(0, x)), DWORD(std::max(0, y)),
                                 DWORD(std::max(0, w)), DWORD(std::max(0, h)), 0.0f, 1.0f};
  device->SetViewport(&viewport);
}

void ZCorvane::loadIdentity() {
  view = ZMatrix();
  projection = ZMatrix();
  if (device != nullptr) {
    device->SetTransform(D3DTS_VIEW, d3d(view));
    device->SetTransform(D3DTS_PROJECTION, d3d(projection));
  }
  if (matrixStack != nullptr) matrixStack->LoadIdentity();
  markTransformsChanged();
}

void ZCorvane::orthoProjection(float left, float right, float bottom, float top) {
  D3DXMATRIX ortho;
  D3DXMatrixOrthoOffCenterRH(&ortho, left, right, bottom, top, -1.0f, 1.0f);
  projection = toZMatrix(ortho);
  view = ZMatrix();
  world = ZMatrix();
  if (device != nullptr) {
    device->SetTransform(D3DTS_PROJECTION, d3d(projection));
    device->SetTransform(D3DTS_VIEW, d3d(view));
    device->SetTransform(D3DTS_WORLD, d3d(world));
  }
  markTransformsChanged();
}

void ZCorvane::setWorldMatrix(const ZMatrix& m) {
  world = m;
  if (device != nullptr) device->SetTransform(D3DTS_WORLD, d3d(world));
  if (matrixStack != nullptr) {
    D3DXMATRIX top(*d3d(world));
    matrixStack->LoadMatrix(&top);
  }
  markTransformsChanged();
}

void ZCorvane::multWorldMatrix(const ZMatrix& m) {
  if (isIdentity(m)) return;
  if (matrixStack != nullptr) {
    D3DXMATRIX local(*d3d(m));
    matrixStack->MultMatrixLocal(&local);
    world = toZMatrix(*matrixStack->GetTop());
  } else {
    D3DXMATRIX product;
    D3DXMATRIX local(*d3d(m)), parent(*d3d(world));
    world = toZMatrix(*D3DXMatrixMultiply(&product, &local, &parent));
  }
  if (device != nullptr) device->SetTransform(D3DTS_WORLD, d3d(world));
  markTransformsChanged();
}

void ZCorvane::worldFromStack() {
  world = toZMatrix(*matrixStack->GetTop());
  if (device != nullptr) device->SetTransform(D3DTS_WORLD, d3d(world));
  markTransformsChanged();
}

void ZCorvane::popWorldMatrix() {
  if (matrixStack == nullptr) return;
  matrixStack->Pop();
  worldFromStack();
}

void ZCorvane::setAmbientLight(float r, float g, float b) {
  ambientColour[0] = r;
  ambientColour[1] = g;
  ambientColour[2] = b;
  if (device != nullptr) device->SetRenderState(D3DRS_AMBIENT, opaqueColour(r, g, b));
}

void ZCorvane::setSun(float elevation, float azimuth) {
  if (lights.empty()) return;
  ZLight& sun = *lights.front();
  const float e = std::max(elevation, 0.0f);
  const float s = std::sin(e);
  const float c = 1 - s;
  ZVector diffuse(s + 0.7f * c, 0.98f * s + 0.2f * c, 0.98f * s + 0.1f * c);
  diffuse.normalize();
  sun.light.Diffuse = {diffuse.x, diffuse.y, diffuse.z, 1.0f};
  const float k = 0.15f * c;
  ZVector ambient(0.74f * s + k, 0.78f * s + k, 0.8f * s + k);
  ambient.normalize();
  setAmbientLight(ambient.x, ambient.y, ambient.z);

  const ZVector up(0, 1, 0);
  const ZVector origin;
  ZVector direction(0, 0, 1);
  direction.rotateAroundPoint(origin, up, -azimuth);
  const ZVector axis = direction % up;
  direction.rotateAroundPoint(origin, axis, elevation);
  direction = direction * -1.0f;
  sun.setDirection(direction);
  direction.print("lite dir");
}

void ZCorvane::setLightEnable(bool enable) {
  if (device != nullptr) device->SetRenderState(D3DRS_LIGHTING, enable ? TRUE : FALSE);
}

void ZCorvane::sortLights() {
  for (ZLight* light : activeLights) light->updateDistance();
  std::stable_sort(activeLights.begin(), activeLights.end(),
                   [](const ZLight* a, const ZLight* b) { return a->distance < b->distance; });
}

void ZCorvane::renderLites() {
  if (device != nullptr) device->LightEnable(0, FALSE);
  DWORD placed = 0;
  for (ZLight* light : activeLights) {
    light->deviceIndex = -1;
    if (!light->enabled || placed >= 8) continue;
    light->deviceIndex = int32_t(placed++);
    light->apply();
  }
  if (device == nullptr) return;
  // Slots lit last frame but not this one go dark.
  for (DWORD slot = std::max<DWORD>(placed, 1); slot < 8; ++slot) {
    BOOL enabled = FALSE;
    if (SUCCEEDED(device->GetLightEnable(slot, &enabled)) && enabled) {
      device->LightEnable(slot, FALSE);
    }
  }
}

void ZCorvane::disableAllTextures() {
  if (device != nullptr) {
    for (DWORD stage = 0; stage < 8; ++stage) device->SetTexture(stage, nullptr);
  }
  renderState.forgetTextures();
}

void ZCorvane::setDefaultMaterial() {
  if (defaultMaterial != nullptr) defaultMaterial->apply();
}

void ZCorvane::renderBackBox() {
  if (matrixStack == nullptr) return;
  const ZVector at = currentCamera != nullptr ? currentCamera->position : backBoxPosition;
  matrixStack->Push();
  matrixStack->Translate(at.x, at.y, at.z);
  worldFromStack();
  if (backBox != nullptr) backBox->render(true, -1, -1);
  popWorldMatrix();
}

void ZCorvane::setMipMapBias(float bias) {
  if (device == nullptr) return;
  DWORD bits = 0;
  std::memcpy(&bits, &bias, sizeof bits);
  for (DWORD stage = 0; stage < 4; ++stage) {
    device->SetSamplerState(stage, D3DSAMP_MIPMAPLODBIAS, bits);
  }
}

void ZCorvane::drawFullScreenQuad(float uMin, float vMin, float uMax, float vMax) {
  if (device == nullptr) return;
  IDirect3DSurface9* target = nullptr;
  if (FAILED(device->GetRenderTarget(0, &target)) || target == nullptr) return;
  const auto w = float(target->width());
  const auto h = float(target->height());
  target->Release();
  struct QuadVertex {
    float x, y, z, rhw, u, v;
  };
  const QuadVertex quad[4] = {{-0.5f, -0.5f, 0.5f, 1.0f, uMin, vMin},
                              {w - 0.5f, -0.5f, 0.5f, 1.0f, uMax, vMin},
                              {-0.5f, h - 0.5f, 0.5f, 1.0f, uMin, vMax},
                              {w - 0.5f, h - 0.5f, 0.5f, 1.0f, uMax, vMax}};
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex));
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  // The render-state cache no longer knows the depth test, and stream 0 was replaced.
  renderState.depthTest = ZRenderState::kUnknown;
  currentVertexBuffer = nullptr;
}
