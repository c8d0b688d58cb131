#include "render/ZSceneRenderer.h"

#include "render/CHDRLighting.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"

void ZSceneRenderer::renderShadowPass(ZFrame* root, int index, float size) {
  engine->setShadowMapParams(shadowCentre.x, shadowCentre.y, shadowCentre.z, kShadowDistance,
                             size);
  engine->loadIdentity();
  engine->beginShadowMapPass(sun, index);
  engine->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
  engine->renderState.setDepthTest(1);
  if (root != nullptr) root->render(false, -1, -1);
  engine->endShadowMapPass();
}

void ZSceneRenderer::renderFrame(ZFrame* root, ZCamera* camera,
                                 const std::function<void()>& overlay) {
  if (engine->device == nullptr) return;
  engine->beginScene();
  engine->setCamera(camera);
  if (sun != nullptr && camera != nullptr && engine->shadowMaps[0] != nullptr) {
    renderShadowPass(root, 0, shadowSize);
    renderShadowPass(root, 1, shadowSize * 8.0f);
    engine->device->SetRenderTarget(0, engine->mainRenderTarget);
    engine->device->SetDepthStencilSurface(engine->mainDepthSurface);
  }
  const bool highRange = hdr != nullptr && hdr->isReady();
  if (highRange) {
    hdr->beginScene();
  } else {
    engine->setViewport(0, 0, engine->width, engine->height);
  }
  engine->disableAllTextures();
  if (engine->backBox != nullptr) {
    // The sky box needs the camera's view; everything else draws over it.
    engine->loadIdentity();
    if (camera != nullptr) camera->apply();
    engine->clearDepthBuffer();
    engine->renderBackBox();
    engine->clearDepthBuffer();
  } else {
    engine->clearBackAndDepthBuffers();
  }
  engine->clearTransparentBuffer();
  engine->loadIdentity();
  if (camera != nullptr) camera->apply();
  engine->sortLights();
  engine->renderLites();
  engine->setLightEnable(true);
  if (root != nullptr) root->render(true, -1, -1);
  engine->transparentPass();
  engine->setDefaultMaterial();
  if (highRange) hdr->endScene();
  if (overlay) overlay();
  engine->endScene();
  engine->swapBuffers();
}
