// The render-state cache and material apply on a real device: what reaches the device, counted.
#include "render/ZTexture.h"
#include "scene/ZMaterial.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestEffect.h"

#include <gtest/gtest.h>

namespace {

class RenderState : public EngineTest {
 protected:
  uint64_t calls(D3DCall call) const { return engine->device->callCount(call); }
  DWORD renderState(D3DRENDERSTATETYPE state) const {
    DWORD value = 0;
    engine->device->GetRenderState(state, &value);
    return value;
  }
};

TEST_F(RenderState, EqualValuesAreSentOnceUnlessForced) {
  ZRenderState& cache = engine->renderState;
  engine->device->resetCallCounts();
  cache.setCullMode(D3DCULL_NONE);
  cache.setCullMode(D3DCULL_NONE);
  EXPECT_EQ(calls(D3DCall::SetRenderState), 1u);
  cache.forceResend = true;
  cache.setCullMode(D3DCULL_NONE);
  EXPECT_EQ(calls(D3DCall::SetRenderState), 2u);
  cache.forceResend = false;

  // The first alpha-test change also chooses the comparison, once.
  engine->device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
  engine->device->resetCallCounts();
  cache.setAlphaTest(1);
  EXPECT_EQ(renderState(D3DRS_ALPHAFUNC), DWORD(D3DCMP_GREATER));
  EXPECT_EQ(calls(D3DCall::SetRenderState), 2u);
  cache.setAlphaTest(0);
  EXPECT_EQ(calls(D3DCall::SetRenderState), 3u);
}

TEST_F(RenderState, IdenticalMaterialsInARowSendNothingTheSecondTime) {
  ZTexture* texture = engine->getTexture("LIGHTMAP");
  ZMaterial* first = engine->getNewMaterial();
  ZMaterial* second = engine->getNewMaterial();
  for (ZMaterial* m : {first, second}) {
    m->setTexture(texture);
    m->setShadeModel(3);
    m->setDoubleFace(true);
  }
  first->apply();
  engine->device->resetCallCounts();
  second->apply();
  EXPECT_EQ(calls(D3DCall::SetRenderState), 0u);
  EXPECT_EQ(calls(D3DCall::SetTextureStageState), 0u);
  EXPECT_EQ(calls(D3DCall::SetSamplerState), 0u);
  EXPECT_EQ(calls(D3DCall::SetTexture), 0u);
  EXPECT_EQ(calls(D3DCall::SetMaterial), 0u);

  // A different material sends only what differs.
  ZMaterial* opaque = engine->getNewMaterial();
  opaque->setTexture(texture);
  opaque->setDoubleFace(true);
  opaque->apply();
  EXPECT_EQ(renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(renderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));
  EXPECT_EQ(calls(D3DCall::SetRenderState), 1u);
}

TEST_F(RenderState, AmbientLightChannelsKeepTheLowEightBitsOfTheirRoundedValue) {
  engine->setAmbientLight(1.2f, 0, 0.5f);  // 306 -> 50; 127.5 rounds to 128
  EXPECT_EQ(renderState(D3DRS_AMBIENT), 0xFF320080u);
  EXPECT_EQ(engine->ambientColour[0], 1.2f);
}

TEST_F(RenderState, NewMaterialDrawsOpaqueDepthTestedAndCulled) {
  ZMaterial* m = engine->getNewMaterial();
  m->apply();
  EXPECT_EQ(renderState(D3DRS_CULLMODE), DWORD(D3DCULL_CW));
  EXPECT_EQ(renderState(D3DRS_ZENABLE), 1u);
  EXPECT_EQ(renderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(renderState(D3DRS_ALPHATESTENABLE), 0u);
  D3DMATERIAL9 sent = {};
  engine->device->GetMaterial(&sent);
  EXPECT_EQ(sent.Diffuse.r, 1.0f);
  EXPECT_EQ(sent.Specular.r, 0.0f);
  EXPECT_EQ(sent.Power, 10.0f);
}

TEST_F(RenderState, EffectMaterialsRunTheirEffectAndFixedOnesEndIt) {
  TempFolder folder;
  folder.write("shaders/test.fxo", kTestEffect);
  folder.enter();
  ZMaterial* shaded = engine->getNewMaterial();
  shaded->initEffect("test.fxo");
  ASSERT_NE(shaded->effect, nullptr);
  shaded->setEffectCustomVariable("gloss", 7.0f);
  shaded->apply();
  EXPECT_EQ(engine->renderState.currentEffect, shaded->effect);
  EXPECT_EQ(engine->currentMaterial, shaded);
  float gloss = 0;
  shaded->effect->GetFloat(shaded->effect->GetParameterByName(nullptr, "gloss"), &gloss);
  EXPECT_EQ(gloss, 7.0f);

  engine->device->resetCallCounts();
  shaded->apply();  // the same effect again: no state, no restart
  EXPECT_EQ(calls(D3DCall::SetRenderState), 0u);

  engine->getNewMaterial()->apply();
  EXPECT_EQ(engine->renderState.currentEffect, nullptr);
  EXPECT_EQ(engine->currentMaterial, nullptr);
}

}  // namespace
