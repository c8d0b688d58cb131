// One frame of the editor: shadow maps, sky box, scene, flags, reference points, overlays, text.
#include "editor/CEditInterface.h"

#include "foundation/ZLog.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/CHDRLighting.h"
#include "render/ZCorvane.h"
#include "render/ZGLRenderer.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <cstdio>

namespace {

constexpr uint32_t kShadowClearColour = 0xFFFFFFFF;
constexpr float kShadowLightDistance = 250.0f;
constexpr DWORD kAllColourChannels = D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN |
                                     D3DCOLORWRITEENABLE_BLUE | D3DCOLORWRITEENABLE_ALPHA;

}  // namespace

void CEditInterface::onIdle() {
  if (carTestRunning) stepCarTest();
  renderer->beginScene();
  renderer->setCamera(editorCamera.get());
  if (renderer->device == nullptr) return;
  renderer->device->SetDepthStencilSurface(nullptr);
  drawShadowMaps();
  renderer->device->SetRenderTarget(0, renderer->mainRenderTarget);
  if (FAILED(renderer->device->SetDepthStencilSurface(renderer->mainDepthSurface))) {
    zlog("SetDepthStencilSurface failed %d\n",
         int(reinterpret_cast<intptr_t>(renderer->mainDepthSurface)));
  }
  const bool highRange = hdrEnabled && hdr->isReady();
  if (highRange) {
    hdr->beginScene();
  } else {
    renderer->setViewport(0, 0, viewWidth, viewHeight);
  }
  if (rootFrame != nullptr) mouseControl();

  renderer->clearColour = backgroundColor;
  renderer->device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  renderer->disableAllTextures();
  if (renderer->backBox != nullptr) {
    renderer->clearDepthBuffer();
    renderer->renderBackBox();
  } else {
    renderer->clearBackAndDepthBuffers();
  }
  renderer->clearTransparentBuffer();
  renderer->loadIdentity();
  applyViewCamera();

  renderer->renderBackBox();
  renderer->sortLights();
  renderer->renderLites();
  renderer->setLightEnable(true);
  renderer->renderState.setDepthTest(1);
  if (GetAsyncKeyState(VK_F1) & 0x8000) {
    renderer->device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
  }
  if (rootFrame != nullptr) {
    rootFrame->render(true, -1, 0);
    renderFlags();
    if (showOverlay) rootFrame->renderOverlay();
  }
  renderer->device->SetRenderState(D3DRS_COLORWRITEENABLE, kAllColourChannels);
  renderer->transparentPass();
  renderer->setDefaultMaterial();
  if (highRange) hdr->endScene();  // what follows draws over the tone-mapped picture

  if (!refDepthTest) renderer->renderState.setDepthTest(0);
  if (refEditMode) renderPhysicRefs();
  renderer->renderState.setDepthTest(0);
  if (lightView) drawLightFrustum();

  renderer->orthoProjection(-1, 1, -1, 1);
  if (trackBuilder != nullptr) renderTrackDiagram();
  if (shadowOverlay) drawShadowOverlay();
  drawTextAndCrossHair();
  if (showLayers) drawThumbnails();
  renderer->endScene();
  renderer->swapBuffers();
}

void CEditInterface::drawShadowMaps() {
  ZLight* sun = renderer->activeLights.empty() ? nullptr : renderer->activeLights[0];
  for (int cascade = 0; cascade < 2; ++cascade) {
    const ZVector& centre = editorCamera->position;
    const float range = cascade == 0 ? shadowRange : 8.0f * shadowRange;
    renderer->setShadowMapParams(centre.x, centre.y, centre.z, kShadowLightDistance, range);
    renderer->loadIdentity();
    renderer->beginShadowMapPass(sun, cascade);
    renderer->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kShadowClearColour,
                            1.0f, 0);
    renderer->renderState.setDepthTest(1);
    if (rootFrame != nullptr) rootFrame->render(true, -1, 0);
    renderer->endShadowMapPass();
  }
}

void CEditInterface::applyViewCamera() {
  ZCamera& camera = *editorCamera;
  if (lightView && !renderer->activeLights.empty()) {
    camera.applyFromLight(*renderer->activeLights[0], camera.position, kShadowLightDistance,
                          shadowRange, 0);
    return;
  }
  const float s = orthoZoom < 0 ? -1.0f : 1.0f;
  switch (viewMode) {
    case 1:
      camera.heading = {s, 0, 0};
      camera.up = {0, s, 0};
      camera.position = {-10.0f * orthoZoom, 0, 0};
      break;
    case 2:
      camera.heading = {0, -s, 0};
      camera.up = {s, 0, 0};
      camera.position = {0, 10.0f * orthoZoom, 0};
      break;
    case 3:
      camera.heading = {0, 0, -s};
      camera.up = {0, s, 0};
      camera.position = {0, 0, 10.0f * orthoZoom};
      break;
    default:
      break;
  }
  camera.isOrthographic = viewMode >= 1 && viewMode <= 3;
  camera.aspect = float(renderer->width) / float(renderer->height);
  if (!camera.isOrthographic) {
    camera.apply();
    return;
  }
  camera.orthoSize = orthoZoom;
  // The axis views look exactly along their axis: a target would turn the camera towards itself
  // and, straight above or below it, leave no up direction at all.
  ZFrame* frameTarget = camera.frameTarget;
  const bool hasTarget = camera.hasTarget;
  camera.frameTarget = nullptr;
  camera.hasTarget = false;
  camera.apply();
  camera.frameTarget = frameTarget;
  camera.hasTarget = hasTarget;
}

void CEditInterface::drawLightFrustum() {
  const ZCamera& camera = *editorCamera;
  const D3DXVECTOR3 eye(camera.position.x, camera.position.y, camera.position.z);
  const ZVector lookAt = camera.position + camera.heading;
  const D3DXVECTOR3 at(lookAt.x, lookAt.y, lookAt.z);
  const D3DXVECTOR3 up(camera.up.x, camera.up.y, camera.up.z);
  D3DXMATRIX view, projection, viewProjection, inverse;
  D3DXMatrixLookAtRH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovRH(&projection, camera.fov * 0.017453292f, camera.aspect,
                             camera.nearPlane, shadowRange);
  D3DXMatrixMultiply(&viewProjection, &view, &projection);
  if (D3DXMatrixInverse(&inverse, nullptr, &viewProjection) == nullptr) return;
  ZVector corners[8];
  for (int i = 0; i < 8; ++i) {
    const D3DXVECTOR3 clip((i & 1) ? 1.0f : -1.0f, (i & 2) ? 1.0f : -1.0f, (i & 4) ? 1.0f : 0.0f);
    D3DXVECTOR3 world;
    D3DXVec3TransformCoord(&world, &clip, &inverse);
    corners[i] = {world.x, world.y, world.z};
  }
  ZGLRenderer lines(renderer);
  lines.begin(ZGLRenderer::kLines);
  lines.color3f(1, 1, 1);
  // Corners differing in one bit are joined: 12 edges.
  for (int i = 0; i < 8; ++i) {
    for (int bit : {1, 2, 4}) {
      if ((i & bit) != 0) continue;
      lines.vertex3fv(corners[i]);
      lines.vertex3fv(corners[i | bit]);
    }
  }
  lines.end();
}

void CEditInterface::drawShadowOverlay() {
  IDirect3DDevice9* device = renderer->device;
  device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
  device->SetRenderState(D3DRS_STENCILREF, 0);
  device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_NOTEQUAL);
  renderer->renderState.setAlphaBlend(1);
  ZGLRenderer quad(renderer);
  quad.begin(ZGLRenderer::kQuads);
  quad.color4f(0, 0, 0, 0.5f);
  quad.vertex2f(-1, -1);
  quad.vertex2f(1, -1);
  quad.vertex2f(1, 1);
  quad.vertex2f(-1, 1);
  quad.end();
  device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
  renderer->renderState.setAlphaBlend(0);
  device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
}

void CEditInterface::drawTextAndCrossHair() {
  ZGLRenderer lines(renderer);
  lines.begin(ZGLRenderer::kLines);
  lines.color4f(0, 1, 1, 1);
  lines.vertex2f(-0.02f, 0);
  lines.vertex2f(0.02f, 0);
  lines.vertex2f(0, -0.02f);
  lines.vertex2f(0, 0.02f);
  lines.end();

  textOut.setColor(0, 1, 1, 1);
  if (const ZGeometry* selected = renderer->selectedGeometry) {
    char line[512];
    std::snprintf(line, sizeof line, "%s (%.3f,%.3f,%.3f) [%d]", selected->name.c_str(),
                  double(selected->center.x), double(selected->center.y),
                  double(selected->center.z), int(selected->faces.size()));
    textOut.blitString(-1, -1, line);
  }
  textOut.blitString(-1, 0.9f, navigationMode == 0 ? "ORBITAL" : "FREE");
}

void CEditInterface::drawThumbnails() {
  const ZGeometry* selected = renderer->selectedGeometry;
  if (selected != nullptr && selected->material != nullptr) {
    for (int layer = 0; layer < 6; ++layer) {
      ZTexture* texture = selected->material->stage(layer).texture;
      if (texture != nullptr) drawThumbnail(texture, layer, 0.22f);
    }
    return;
  }
  for (int map = 0; map < 2; ++map) {
    if (renderer->shadowMaps[size_t(map)] != nullptr) {
      drawThumbnail(renderer->shadowMaps[size_t(map)], map, 0.25f);
    }
  }
}

void CEditInterface::drawThumbnail(ZTexture* texture, int index, float step) {
  ZMaterial& quadMaterial = *overlayMaterial(thumbnailMaterial);
  quadMaterial.setDoubleFace(true);
  quadMaterial.useZBuffer = false;
  quadMaterial.setDiffuse(1, 1, 1, false);
  quadMaterial.setTexture(texture);
  // The top level only: a render target (the shadow maps) has nothing in its smaller levels.
  quadMaterial.stage(0).mipMapFilter = D3DTEXF_NONE;
  quadMaterial.apply();
  const float top = 0.8f - step * float(index);
  const float bottom = 0.6f - step * float(index);
  ZGLRenderer quad(renderer);
  quad.begin(ZGLRenderer::kQuads);
  quad.color4f(1, 1, 1, 1);
  quad.texCoord2f(0, 0);
  quad.vertex2f(0.7f, top);
  quad.texCoord2f(1, 0);
  quad.vertex2f(0.9f, top);
  quad.texCoord2f(1, 1);
  quad.vertex2f(0.9f, bottom);
  quad.texCoord2f(0, 1);
  quad.vertex2f(0.7f, bottom);
  quad.end();
  renderer->setDefaultMaterial();
}

ZMaterial* CEditInterface::overlayMaterial(ZMaterial*& material) {
  if (material == nullptr) material = renderer->getNewMaterial();
  return material;
}

void CEditInterface::onRenderShadowMap() {
  renderer->clearBackAndDepthBuffers();
  renderer->loadIdentity();
  renderer->setLightEnable(true);
  renderer->sortLights();
  renderer->renderLites();
  renderer->renderState.setDepthTest(1);
  if (rootFrame != nullptr) rootFrame->render(false, -1, 0);
}

bool CEditInterface::setHDR(bool on) {
  if (on && !hdr->isReady() && !hdr->init(renderer)) on = false;
  hdrEnabled = on;
  return on;
}
