// Whole-model tools and the panels' tools of the editor core, without a device.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "editor/CEditInterface.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"

namespace {

class EditorToolsTest : public ::testing::Test {
 protected:
  EditorToolsTest() { editor.rootFrame = editor.renderer->getNewFrame(); }

  ZGeometry* geometry(const std::string& name, ZFrame* frame = nullptr, bool material = true) {
    ZGeometry* g = editor.renderer->getNewGeometry();
    g->name = name;
    if (material) g->setMaterial(editor.renderer->getNewMaterial());
    (frame != nullptr ? frame : editor.rootFrame)->addGeometry(g);
    return g;
  }
  ZFrame* frame(const std::string& name, ZFrame* parent) {
    ZFrame* f = editor.renderer->getNewFrame();
    f->name = name;
    parent->addChild(f);
    return f;
  }

  ScopedDesktop desktop;
  CaptureLog log;
  CEditInterface editor{""};
};

TEST_F(EditorToolsTest, HideWizardShowsByNamingConvention) {
  const struct {
    const char* name;
    bool mode0, mode1;
  } cases[] = {
      {"12ROAD", true, false},     {"ROAD", false, true},  {"12TREE", false, false},
      {"3kerb_left", true, false}, {"0ROAD", false, true}, {"7_out_grass", true, false},
  };
  for (const auto& c : cases) geometry(c.name);
  const std::vector<ZGeometry*>& all = editor.rootFrame->geometries;
  editor.hideWizard(editor.rootFrame, 0);
  for (size_t i = 0; i < all.size(); ++i)
    EXPECT_EQ(all[i]->visible, cases[i].mode0) << cases[i].name;
  editor.hideWizard(editor.rootFrame, 1);
  for (size_t i = 0; i < all.size(); ++i)
    EXPECT_EQ(all[i]->visible, cases[i].mode1) << cases[i].name;
  editor.hideWizard(editor.rootFrame, 7);  // no such mode: nothing changes
  EXPECT_FALSE(all[0]->visible);
  editor.hideWizard(editor.rootFrame, 2);
  for (const ZGeometry* g : all) EXPECT_TRUE(g->visible);
}

// The rule as first stated: every ordered pair of root geometries, the outer one handing its
// material to the inner one when their layer-0 textures are the same object.
void simplifyPairwise(const std::vector<ZGeometry*>& geometries) {
  for (ZGeometry* a : geometries) {
    for (ZGeometry* b : geometries) {
      if (a->material == nullptr || b->material == nullptr || a->material == b->material) continue;
      if (a->material->stage(0).texture == b->material->stage(0).texture) b->material = a->material;
    }
  }
}

TEST_F(EditorToolsTest, SimplifyMaterialsSharesByLayerZeroTexture) {
  ZGeometry* first = geometry("a");
  ZGeometry* second = geometry("b");
  ZGeometry* third = geometry("c");
  editor.simplifyMaterials();  // three untextured geometries: all take the first's material
  EXPECT_EQ(second->material, first->material);
  EXPECT_EQ(third->material, first->material);

  // Random small scenes: the one-pass grouping leaves what the pairwise rule leaves.
  std::mt19937 random(7);
  ZTexture* textures[3] = {editor.renderer->getTexture("t0.tga"),
                           editor.renderer->getTexture("t1.tga"), nullptr};
  for (int scene = 0; scene < 200; ++scene) {
    editor.rootFrame = editor.renderer->getNewFrame();
    std::vector<ZMaterial*> pool;
    for (int m = 0; m < 4; ++m) {
      pool.push_back(editor.renderer->getNewMaterial());
      if (ZTexture* t = textures[random() % 3]) pool.back()->setTexture(t);
    }
    std::vector<ZMaterial*> before;
    const int count = 1 + int(random() % 8);
    for (int i = 0; i < count; ++i) {
      const size_t pick = random() % 5;  // 4: no material
      before.push_back(pick < 4 ? pool[pick] : nullptr);
      geometry("g", nullptr, false)->material = before.back();
    }
    const std::vector<ZGeometry*>& list = editor.rootFrame->geometries;
    simplifyPairwise(list);
    std::vector<ZMaterial*> expected;
    for (const ZGeometry* g : list) expected.push_back(g->material);
    for (size_t i = 0; i < list.size(); ++i) list[i]->material = before[i];
    editor.simplifyMaterials();
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(list[i]->material, expected[i]) << "scene " << scene << ", geometry " << i;
    }
  }
}

TEST_F(EditorToolsTest, MergeFrameCopiesByExactNames) {
  ZFrame* source = editor.renderer->getNewFrame();
  ZGeometry* car = geometry("car", source);
  car->transparent = true;
  car->setVar("SMOOTH", 1);
  ZGeometry* destination = geometry("Car");
  ZMaterial* kept = destination->material;
  editor.mergeFrame(source, editor.rootFrame);
  EXPECT_EQ(destination->material, kept);  // names must match exactly
  EXPECT_FALSE(destination->transparent);

  ZFrame* wheels = frame("wheels", editor.rootFrame);
  ZGeometry* tyre = geometry("tyre", wheels);
  ZGeometry* sourceTyre = geometry("tyre", frame("wheels", source));
  destination->name = "car";
  editor.mergeFrame(source, editor.rootFrame);
  EXPECT_EQ(destination->material, car->material);
  EXPECT_TRUE(destination->transparent);
  ASSERT_EQ(destination->vars.size(), 1u);
  EXPECT_EQ(tyre->material, sourceTyre->material);
  EXPECT_NE(log.text().find("Merging geometries car car\n"), std::string::npos);
}

TEST_F(EditorToolsTest, LodMaterialsKeepLayerZeroOnly) {
  ZGeometry* g = geometry("body", frame("child", editor.rootFrame));
  ZTexture* base = editor.renderer->getTexture("base.tga");
  g->material->setTexture(base);
  g->material->stage(1).texture = editor.renderer->getTexture("light.tga");
  g->material->stage(1).active = true;
  g->material->effectName = "shadowMap.fxo";
  editor.makeLODMaterial(editor.rootFrame);
  EXPECT_EQ(g->material->stage(0).texture, base);
  EXPECT_EQ(g->material->stage(1).texture, nullptr);
  EXPECT_FALSE(g->material->stage(1).active);
  EXPECT_TRUE(g->material->effectName.empty());
}

TEST_F(EditorToolsTest, AutoAlphaTestsGraphicsWhoseTextureHasAlpha) {
  ZTexture* alpha = editor.renderer->getTexture("leaves.tga");
  alpha->bytesPerPixel = 4;
  ZTexture* opaque = editor.renderer->getTexture("bark.tga");
  opaque->bytesPerPixel = 3;
  ZGeometry* leaves = geometry("leaves", frame("tree", editor.rootFrame));
  ZGeometry* bark = geometry("bark");
  ZGeometry* surface = geometry("4GRASS");
  leaves->material->setTexture(alpha);
  bark->material->setTexture(opaque);
  surface->material->setTexture(alpha);
  geometry("bare", nullptr, false);
  editor.autoAlpha(editor.rootFrame);
  EXPECT_TRUE(leaves->material->alphaTest);
  EXPECT_FALSE(bark->material->alphaTest);
  EXPECT_FALSE(surface->material->alphaTest);  // a physics surface keeps its material
}

TEST_F(EditorToolsTest, BatchFilterAndActions) {
  ZGeometry* road = geometry("road_1");
  ZGeometry* tree = geometry("tree");
  editor.batchAction("", 1);  // an empty filter matches every geometry
  EXPECT_TRUE(road->castShadow && tree->castShadow);
  road->material->setSpecular(1, 1, 1);
  tree->material->setSpecular(1, 1, 1);
  editor.batchAction("road", 3);
  EXPECT_EQ(road->material->d3dMaterial.Specular.r, 0);
  EXPECT_EQ(tree->material->d3dMaterial.Specular.r, 1);
  road->material->stage(0).mipMapFilter = 0;
  editor.batchAction("ROAD", 4);  // case matters
  EXPECT_EQ(road->material->stage(0).mipMapFilter, 0);
  editor.batchAction("road", 4);
  EXPECT_EQ(road->material->stage(0).mipMapFilter, 2);
  tree->material->setDiffuse(0.25f, 0.5f, 0.75f, false);
  tree->material->setShininess(30);
  editor.renderer->selectedGeometry = tree;
  editor.batchAction("road", 5);
  EXPECT_EQ(road->material->d3dMaterial.Diffuse.b, 0.75f);
  EXPECT_EQ(road->material->d3dMaterial.Power, 30);
}

TEST_F(EditorToolsTest, PromotedGeometryStaysAndAppearsInItsNewFrame) {
  frame("first", editor.rootFrame);
  ZGeometry* g = geometry("sign");
  editor.renderer->selectedGeometry = g;
  ZFrame* promoted = editor.promoteSelected();
  ASSERT_NE(promoted, nullptr);
  EXPECT_EQ(promoted->name, "sign");
  EXPECT_EQ(editor.rootFrame->children.back(), promoted);
  EXPECT_EQ(promoted->geometries, std::vector<ZGeometry*>{g});
  EXPECT_EQ(editor.rootFrame->geometries, std::vector<ZGeometry*>{g});
}

TEST_F(EditorToolsTest, PanelToolsOnTheSelection) {
  ZGeometry* g = geometry("glass");
  editor.renderer->selectedGeometry = g;
  EXPECT_EQ(editor.setSelectedVar("SMOOTH", 1), "Var added [SMOOTH=1.00]");
  EXPECT_EQ(editor.setSelectedVar("SMOOTH", 0), "Var modified");
  ASSERT_EQ(desktop.messages.size(), 2u);
  EXPECT_EQ(desktop.messages[0].caption, "ZMF2");

  EXPECT_EQ(CEditInterface::stagePresetNames(),
            (std::vector<std::string>{"Transparent Diffuse", "Transparent Texture",
                                      "Transparent Diffuse*Texture",
                                      "Transparent Diffuse+Texture"}));
  EXPECT_TRUE(editor.applyStagePreset(2, "Transparent Diffuse+Texture"));
  EXPECT_EQ(g->material->stage(2).alphaArg1, 0);
  EXPECT_EQ(g->material->stage(2).alphaArg2, 2);
  EXPECT_EQ(g->material->stage(2).alphaOp, 7);
  EXPECT_FALSE(editor.applyStagePreset(2, "Opaque"));

  editor.setSelectedColour(CEditInterface::MaterialColour::emissive, 255, 0, 51);
  EXPECT_FLOAT_EQ(g->material->d3dMaterial.Emissive.b, 0.2f);
  editor.setSelectedOpacity(40);
  EXPECT_FLOAT_EQ(g->material->d3dMaterial.Diffuse.a, 0.4f);

  g->addVertex({0, 0, 0});
  g->addVertex({2, 1, 0.5f});
  EXPECT_EQ(editor.selectedSize(), "2.000 1.000 0.500");

  editor.setSelectedTexture(1, "dirt.tga");
  EXPECT_EQ(g->material->stage(1).texture, editor.renderer->findTexture("dirt.tga"));
  EXPECT_TRUE(g->material->stage(1).active);
  editor.setSelectedTexture(1, "");
  EXPECT_EQ(g->material->stage(1).texture, nullptr);
}

TEST_F(EditorToolsTest, RootWideShadowSmoothingAndLightmapTools) {
  ZGeometry* road = geometry("1ROAD");
  ZGeometry* shadow = geometry("TreeShadow");
  ZGeometry* tree = geometry("tree");
  for (ZGeometry* g : {road, shadow, tree}) {
    g->castShadow = true;
    g->material->stage(1).texture = editor.renderer->getTexture("lightmap.dds");
  }
  editor.removeCast();
  EXPECT_FALSE(road->castShadow || shadow->castShadow || tree->castShadow);
  tree->castShadow = true;
  editor.autoShadow();
  EXPECT_FALSE(tree->castShadow);
  EXPECT_EQ(road->material->effectName, "shadowMap.fxo");  // physics surfaces receive shadows
  EXPECT_TRUE(tree->material->effectName.empty());
  EXPECT_FALSE(shadow->visible);
  EXPECT_TRUE(tree->visible);
  editor.setSmooth(true);
  float smooth = 0;
  EXPECT_TRUE(tree->getVar("SMOOTH", smooth));
  EXPECT_EQ(smooth, 1);
  editor.removeLightmap();
  EXPECT_EQ(road->material->stage(1).texture, nullptr);

  editor.renderer->selectedGeometry = tree;
  tree->material->setShadeModel(0);
  editor.alphaBlendSelected();
  EXPECT_TRUE(tree->material->alphaBlend);
  EXPECT_EQ(tree->material->alphaSrcBlend, D3DBLEND_SRCALPHA);
  EXPECT_EQ(tree->material->alphaDestBlend, D3DBLEND_INVSRCALPHA);
  ZFrame* sign = frame("sign", editor.rootFrame);
  editor.renderer->selectedFrame = sign;
  editor.placeSelectedFrame(CEditInterface::FramePlacement::move, {1, 2, 3});
  EXPECT_EQ(sign->getPosition().z, 3);
  editor.renameSelection("board", false, true);
  EXPECT_EQ(sign->name, "board");
  EXPECT_EQ(tree->name, "tree");
}

TEST_F(EditorToolsTest, SunFromTheSlidersAndSwatches) {
  ZLight* sun = editor.renderer->getNewLight();
  editor.renderer->addLight(sun);
  editor.setSunFromSliders(90, 90);  // straight down
  EXPECT_NEAR(sun->getDirection().y, -1, 1e-6f);
  editor.setSunFromSliders(180, 90);  // turned 90 degrees about x: horizontal
  EXPECT_NEAR(sun->getDirection().y, 0, 1e-6f);
  EXPECT_NEAR(std::fabs(sun->getDirection().z), 1, 1e-6f);
  editor.setSunColour(255, 0, 0);
  EXPECT_EQ(sun->light.Diffuse.r, 1);
  editor.setAmbientColour(0, 0, 255);
  EXPECT_EQ(editor.renderer->ambientColour[2], 1);
}

TEST_F(EditorToolsTest, CollapseWithoutSelectionTakesEveryChildIntoTheRoot) {
  ZFrame* child = frame("child", editor.rootFrame);
  child->move(1, 0, 0);
  ZGeometry* g = geometry("part", child);
  g->addVertex({0, 0, 0});
  editor.collapseSelection();
  EXPECT_TRUE(editor.rootFrame->children.empty());
  ASSERT_EQ(editor.rootFrame->geometries.size(), 1u);
  EXPECT_EQ(editor.rootFrame->geometries[0]->vertices[0].position.x, 1);  // in root space
}

TEST_F(EditorToolsTest, ToolsWithoutModelOrMaterialDoNothing) {
  CEditInterface empty("");
  empty.simplifyMaterials();
  empty.batchAction("", 3);
  empty.removeCast();
  empty.autoShadow();
  empty.collapseSelection();
  empty.makeMatsWhite(nullptr);
  EXPECT_EQ(empty.promoteSelected(), nullptr);
  ZGeometry* bare = geometry("1ROAD", nullptr, false);
  editor.renderer->selectedGeometry = bare;
  editor.batchAction("", 3);
  editor.autoShadow();  // a physics name without material: no shader to set
  editor.chooseShader("shadowMap.fxo");
  EXPECT_FALSE(editor.applyStagePreset(0, "Transparent Diffuse"));
  EXPECT_NE(log.text().find("simplifyMaterials: no model loaded\n"), std::string::npos);
  EXPECT_NE(log.text().find("shader: no selected geometry with a material\n"), std::string::npos);
}

}  // namespace
