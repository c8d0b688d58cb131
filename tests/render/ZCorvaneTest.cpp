#include "render/ZCorvane.h"

#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// A 3 x 2 truecolour TGA (type 2, 24 bits).
std::string tgaFile() {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = 3;
  bytes[14] = 2;
  bytes[16] = 24;
  bytes.append(3 * 2 * 3, '\x40');
  return bytes;
}

TEST(ZCorvane, FactoriesOwnAndLinkTheirObjects) {
  CaptureLog log;
  ZCorvane engine;
  ZMaterial* first = engine.getNewMaterial();
  ZMaterial* second = engine.getNewMaterial();
  EXPECT_EQ(first->index, 1);
  EXPECT_EQ(second->index, 2);
  EXPECT_EQ(first->engine, &engine);
  EXPECT_EQ(first->stage(3).engine, &engine);
  EXPECT_EQ(engine.getNewFrame()->engine, &engine);
  EXPECT_EQ(engine.getNewGeometry()->engine, &engine);
  EXPECT_EQ(engine.getNewCamera()->owner, &engine);
  EXPECT_EQ(engine.getNewLight()->owner, &engine);
  EXPECT_EQ(engine.materials.size(), 2u);
  EXPECT_EQ(engine.frames.size(), 1u);
}

TEST(ZCorvane, ShutdownDeletesInOrder) {
  CaptureLog log;
  {
    ZCorvane engine;
    engine.getNewFrame();
  }
  const std::string text = log.text();
  size_t at = 0;
  for (const char* step : {"Init high performance timer...\n", "Deleting texture\n",
                           "Deleting frames\n", "Deleting geometries\n", "Deleting materials\n",
                           "Deleting cameras\n", "Deleting device\n", "Deleting direct3d\n",
                           "done\n"}) {
    const size_t found = text.find(step, at);
    ASSERT_NE(found, std::string::npos) << step << " in\n" << text;
    at = found;
  }
}

TEST(ZCorvane, TextureCacheByExactNameAndLightmapsAlwaysNew) {
  TempFolder folder;
  folder.write("Wood.tga", tgaFile());
  folder.enter();
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZTexture* wood = engine.getTexture("Wood.tga");
  EXPECT_EQ(engine.getTexture("Wood.tga"), wood);
  EXPECT_EQ(engine.findTexture("Wood.tga"), wood);
  EXPECT_EQ(wood->width, 3);
  EXPECT_EQ(wood->height, 2);
  EXPECT_EQ(wood->bytesPerPixel, 3);
  EXPECT_EQ(wood->texture, nullptr);  // no device
  // Names differing in case are different cache entries (the file resolves either way).
  ZTexture* other = engine.getTexture("wood.tga");
  EXPECT_NE(other, wood);
  EXPECT_EQ(other->width, 3);
  ZTexture* lightmapA = engine.getTexture("LIGHTMAP");
  ZTexture* lightmapB = engine.getTexture("LIGHTMAP");
  EXPECT_NE(lightmapA, lightmapB);
  EXPECT_EQ(engine.findTexture("LIGHTMAP"), nullptr);
  EXPECT_EQ(engine.textures.size(), 4u);
  // A lightmap filled from a file is still not found by that file's name.
  lightmapA->load("Wood.tga");
  EXPECT_EQ(engine.getTexture("Wood.tga"), wood);
}

TEST(ZCorvane, MissingTextureIsCachedLoggedAndReportedOnce) {
  TempFolder folder;
  folder.enter();
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZTexture* missing = engine.getTexture("gone.dds");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->name, "gone.dds");
  EXPECT_EQ(engine.getTexture("gone.dds"), missing);
  ZTexture reload(&engine);
  reload.load("gone.dds");
  EXPECT_NE(log.text().find("ZTexture::load : file not found gone.dds\n"), std::string::npos);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].caption, "Corvane");
  EXPECT_FALSE(desktop.quitPosted);
}

TEST(ZTexture, DownsizingDividesByTheIntegerFactor) {
  struct Case {
    uint32_t width, height, cap, newWidth, newHeight;
    bool downsized;
  };
  const Case cases[] = {
      {4096, 1024, 2048, 2048, 512, true},
      {1000, 3000, 1024, 500, 1024, true},  // 1000 / (3000 / 1024) = 1000 / 2
      {2048, 2048, 2048, 2048, 2048, false},
      {3000, 3000, 1024, 1024, 1024, true},  // 3000 / 2 would exceed the cap
      {5000, 10, 1024, 1024, 2, true},
  };
  for (const Case& c : cases) {
    uint32_t w = c.width, h = c.height;
    EXPECT_EQ(ZTexture::fitToCap(w, h, c.cap), c.downsized) << c.width << "x" << c.height;
    EXPECT_EQ(w, c.newWidth) << c.width << "x" << c.height;
    EXPECT_EQ(h, c.newHeight) << c.width << "x" << c.height;
  }
}

TEST(ZCorvane, EffectsAreCachedByNameAndPreferThePipelineTechnique) {
  TempFolder folder;
  folder.write("shaders/two.fxo", R"(uniform float gloss = 1.0;
#technique nv
#pass
#vertex
void main() { gl_Position = gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(gloss); }
#technique ati
#pass
#vertex
void main() { gl_Position = gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(gloss); }
)");
  folder.write("shaders/broken.fxo", "#technique only\n#pass\n");
  folder.enter();
  CaptureLog log;
  ZCorvane engine;
  engine.pipelineName = "ati";
  ID3DXEffect* effect = engine.loadEffect("two.fxo");
  ASSERT_NE(effect, nullptr) << log.text();
  EXPECT_EQ(engine.loadEffect("two.fxo"), effect);
  D3DXTECHNIQUE_DESC desc;
  effect->GetTechniqueDesc(effect->GetCurrentTechnique(), &desc);
  EXPECT_STREQ(desc.Name, "ati");
  EXPECT_NE(log.text().find("Technique=nv\nTechnique=ati\n"), std::string::npos);
  EXPECT_EQ(engine.loadEffect("broken.fxo"), nullptr);
  EXPECT_NE(log.text().find("**** FAILED ****\n"), std::string::npos);
  engine.shadersEnabled = false;
  EXPECT_EQ(engine.loadEffect("two.fxo"), nullptr);
  EXPECT_NE(log.text().find("Ignoring shaders\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(ZCorvaneFrame, TimeScaleCountsThirtyThreeMillisecondFramesUpToFive) {
  CaptureLog log;
  ZCorvane engine;
  engine.lastFrameMs = engine.getTimeMs() - 500;
  engine.beginScene();
  EXPECT_GE(engine.frameTimeMs, 500);
  EXPECT_EQ(engine.timeScale, 5.0f);
  engine.lastFrameMs = engine.getTimeMs() - 66;
  engine.beginScene();
  EXPECT_NEAR(engine.timeScale, float(engine.frameTimeMs) * 0.030303031f, 1e-6f);
  EXPECT_GE(engine.timeScale, 2.0f);
  EXPECT_LT(engine.timeScale, 5.0f);
}

TEST(ZCorvaneFrame, TheEightNearestEnabledLightsGetDeviceSlots) {
  CaptureLog log;
  ZCorvane engine;
  ZCamera* camera = engine.getNewCamera();
  camera->move(0, 0, 0);
  engine.setCamera(camera);
  std::vector<ZLight*> byDistance;
  for (int i = 9; i >= 0; --i) {  // added far to near
    ZLight* light = engine.getNewLight();
    light->setPosition(float(i + 1), 0, 0);
    engine.addLight(light);
    byDistance.insert(byDistance.begin(), light);
  }
  byDistance[3]->enabled = false;  // between lit ones: takes no slot
  engine.sortLights();
  engine.renderLites();
  EXPECT_EQ(engine.activeLights.front(), byDistance[0]);
  const std::vector<int> expected = {0, 1, 2, -1, 3, 4, 5, 6, 7, -1};
  for (size_t i = 0; i < byDistance.size(); ++i) {
    EXPECT_EQ(byDistance[i]->deviceIndex, expected[i]) << "light at distance " << i + 1;
  }
}

TEST(ZCorvaneFrame, SunColoursAndDirectionFollowElevationAndAzimuth) {
  CaptureLog log;
  ZCorvane engine;
  ZLight* sun = engine.getNewLight();
  engine.setSun(1.5707964f, 0);  // overhead: white-yellow light straight down
  const ZVector down = sun->getDirection();
  EXPECT_NEAR(down.x, 0, 1e-5f);
  EXPECT_NEAR(down.y, -1, 1e-5f);
  EXPECT_NEAR(down.z, 0, 1e-5f);
  EXPECT_NEAR(sun->light.Diffuse.r, 1 / std::sqrt(1 + 2 * 0.98f * 0.98f), 1e-5f);
  EXPECT_NEAR(engine.ambientColour[2], 0.8f / std::sqrt(0.74f * 0.74f + 0.78f * 0.78f + 0.64f),
              1e-5f);
  EXPECT_NE(log.text().find("lite dir ("), std::string::npos);

  engine.setSun(-0.3f, 1.5707964f);  // below the horizon, a quarter turn round
  EXPECT_GT(sun->light.Diffuse.r, sun->light.Diffuse.b);  // dusk red
  const ZVector dusk = sun->getDirection();
  EXPECT_NEAR(dusk.z, 0, 1e-5f);                   // the azimuth turned it onto the X axis
  EXPECT_NEAR(dusk.y, std::sin(0.3f), 1e-5f);      // the unclamped elevation: light going up
  EXPECT_NEAR(std::fabs(dusk.x), std::cos(0.3f), 1e-5f);
}

}  // namespace
