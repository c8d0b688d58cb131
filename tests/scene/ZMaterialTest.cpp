#include "scene/ZMaterial.h"

#include "render/ZCorvane.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestEffect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool sameColour(const D3DCOLORVALUE& c, float r, float g, float b, float a) {
  return c.r == r && c.g == g && c.b == b && c.a == a;
}

TEST(ZMaterial, NewMaterialIsOpaqueLitAndDepthTested) {
  ZMaterial m(nullptr);
  EXPECT_FALSE(m.doubleFace);
  EXPECT_TRUE(m.useZBuffer);
  EXPECT_FALSE(m.forceNoDepthWrite);
  EXPECT_FALSE(m.alphaBlend);
  EXPECT_FALSE(m.alphaTest);
  EXPECT_EQ(m.alphaSrcBlend, 5);
  EXPECT_EQ(m.alphaDestBlend, 6);
  EXPECT_EQ(m.effect, nullptr);
  EXPECT_TRUE(sameColour(m.d3dMaterial.Diffuse, 1, 1, 1, 1));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Ambient, 1, 1, 1, 1));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Specular, 0, 0, 0, 1));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Emissive, 0, 0, 0, 1));
  EXPECT_EQ(m.d3dMaterial.Power, 10);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(m.stage(i).index, i);
    EXPECT_FALSE(m.stage(i).active);
    EXPECT_EQ(m.stage(i).colorOp, 4);
    EXPECT_EQ(m.stage(i).alphaArg1, 2);
  }
}

TEST(ZMaterial, ShadeModels) {
  struct Case {
    int mode;
    int result;
    bool blend, test;
    int alphaArg1, alphaArg2, alphaOp;
  };
  const Case cases[] = {
      {0, 0, false, false, 2, 1, 1},  // stage untouched
      {1, 2, false, true, 2, 1, 2},   {2, 0, true, false, 0, 1, 2},
      {3, 2, true, false, 2, 1, 2},   {4, 0, true, false, 0, 2, 4},
      {7, 7, false, false, 2, 1, 1},  // ignored
  };
  for (const Case& c : cases) {
    ZMaterial m(nullptr);
    EXPECT_EQ(m.setShadeModel(c.mode), c.result) << c.mode;
    EXPECT_EQ(m.alphaBlend, c.blend) << c.mode;
    EXPECT_EQ(m.alphaTest, c.test) << c.mode;
    EXPECT_EQ(m.stage(0).alphaArg1, c.alphaArg1) << c.mode;
    EXPECT_EQ(m.stage(0).alphaArg2, c.alphaArg2) << c.mode;
    EXPECT_EQ(m.stage(0).alphaOp, c.alphaOp) << c.mode;
  }
  // Mode 0 turns blending off again.
  ZMaterial m(nullptr);
  m.setShadeModel(3);
  m.setShadeModel(0);
  EXPECT_FALSE(m.alphaBlend);
}

TEST(ZMaterial, ColourSettersTouchOnlyTheirFields) {
  ZMaterial m(nullptr);
  m.setOpacity(0.5f);
  EXPECT_TRUE(sameColour(m.d3dMaterial.Diffuse, 1, 1, 1, 0.5f));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Ambient, 1, 1, 1, 0.5f));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Specular, 0, 0, 0, 1));
  m.setDiffuse(0.25f, 0.5f, 0.75f, false);
  EXPECT_TRUE(sameColour(m.d3dMaterial.Diffuse, 0.25f, 0.5f, 0.75f, 0.5f));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Ambient, 1, 1, 1, 0.5f));
  m.setDiffuse(0.1f, 0.2f, 0.3f, true);
  EXPECT_TRUE(sameColour(m.d3dMaterial.Ambient, 0.1f, 0.2f, 0.3f, 0.5f));
  m.setSpecular(0.5f, 0.5f, 0.5f);
  m.setEmissive(0.2f, 0, 0);
  EXPECT_TRUE(sameColour(m.d3dMaterial.Specular, 0.5f, 0.5f, 0.5f, 1));
  EXPECT_TRUE(sameColour(m.d3dMaterial.Emissive, 0.2f, 0, 0, 1));
}

TEST(ZMaterial, SetTextureFillsStageZeroAndIgnoresNull) {
  CaptureLog log;
  ZCorvane engine;
  ZMaterial m(&engine);
  m.stage(0).colorArg2 = 3;
  m.setTexture(nullptr);
  EXPECT_FALSE(m.stage(0).active);
  EXPECT_EQ(m.stage(0).colorArg2, 3);
  ZTexture* t = engine.getTexture("LIGHTMAP");
  m.setTexture(t);
  EXPECT_EQ(m.stage(0).texture, t);
  EXPECT_TRUE(m.stage(0).active);
  EXPECT_EQ(m.stage(0).colorArg1, 2);
  EXPECT_EQ(m.stage(0).colorArg2, 0);
  EXPECT_EQ(m.stage(0).colorOp, 4);
}

TEST(ZMaterial, SemanticTable) {
  EXPECT_EQ(ZMaterial::kSemanticNames.size(), 49u);
  for (const char* name : {"cvShadowCross", "World", "Texture7", "LightProjectionTSM1",
                           "CurrentCubeTexture", "SpecularPower"}) {
    EXPECT_TRUE(ZMaterial::isSemantic(name)) << name;
  }
  for (const char* name : {"world", "Texture8", "reflection", ""}) {
    EXPECT_FALSE(ZMaterial::isSemantic(name)) << name;
  }
  EXPECT_STREQ(ZMaterial::kSemanticNames[ZMaterial::ShadowBias], "ShadowBias");
  EXPECT_STREQ(ZMaterial::kSemanticNames[ZMaterial::CurrentCubeTexture], "CurrentCubeTexture");
}

TEST(ZMaterial, InitEffectTakesScalarVariablesButNotSemantics) {
  TempFolder folder;
  folder.write("shaders/shiny.fxo", kTestEffect);
  folder.enter();
  CaptureLog log;
  ZCorvane engine;
  ZMaterial m(&engine);
  m.initEffect("shiny.fxo");
  ASSERT_NE(m.effect, nullptr) << log.text();
  EXPECT_EQ(m.effectName, "shiny.fxo");
  ASSERT_EQ(m.effectVars.size(), 2u);
  EXPECT_EQ(m.effectVars[0]->name, "reflection");
  EXPECT_FLOAT_EQ(m.effectVars[0]->value, 0.3f);
  EXPECT_EQ(m.effectVars[1]->name, "gloss");
  EXPECT_FLOAT_EQ(m.effectVars[1]->value, 2.5f);
  EXPECT_NE(m.semanticHandles[ZMaterial::WorldViewProjection], nullptr);
  EXPECT_NE(m.semanticHandles[ZMaterial::ShadowBias], nullptr);
  EXPECT_EQ(m.semanticHandles[ZMaterial::World], nullptr);

  // Setting a variable reaches the material, not the effect, until apply.
  m.setEffectCustomVariable("gloss", 7);
  m.setEffectCustomVariable("nothing", 1);
  EXPECT_EQ(m.effectVars[1]->value, 7);
  // Initialising again rebuilds the variables from the effect's values.
  m.initEffect("shiny.fxo");
  ASSERT_EQ(m.effectVars.size(), 2u);
  EXPECT_FLOAT_EQ(m.effectVars[1]->value, 2.5f);
  EXPECT_EQ(m.effect, engine.loadEffect("shiny.fxo"));
}

TEST(ZMaterial, MissingEffectLeavesFixedFunction) {
  TempFolder folder;
  folder.enter();
  CaptureLog log;
  ZCorvane engine;
  ZMaterial m(&engine);
  m.initEffect("absent.fxo");
  EXPECT_EQ(m.effect, nullptr);
  EXPECT_EQ(m.effectName, "absent.fxo");
  EXPECT_NE(log.text().find("file not found..\n"), std::string::npos);
  EXPECT_NE(log.text().find("Failed to create shader\n"), std::string::npos);
}

TEST(ZMaterial, CustomVariableReachesEveryVariableOfThatName) {
  ZMaterial m(nullptr);
  for (const char* name : {"gloss", "gloss", "Gloss"}) {
    m.effectVars.push_back(std::make_unique<SEffectVariable>());
    m.effectVars.back()->name = name;
  }
  m.setEffectCustomVariable("gloss", 0.75f);
  EXPECT_EQ(m.effectVars[0]->value, 0.75f);
  EXPECT_EQ(m.effectVars[1]->value, 0.75f);
  EXPECT_EQ(m.effectVars[2]->value, 0);
}

}  // namespace
