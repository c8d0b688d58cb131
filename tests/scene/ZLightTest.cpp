#include "scene/ZLight.h"

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectColor(const D3DCOLORVALUE& c, float r, float g, float b, float a) {
  EXPECT_FLOAT_EQ(c.r, r);
  EXPECT_FLOAT_EQ(c.g, g);
  EXPECT_FLOAT_EQ(c.b, b);
  EXPECT_FLOAT_EQ(c.a, a);
}

void expectVector(const D3DVECTOR& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

class ZLightTest : public ::testing::Test {
 protected:
  ZCorvane engine;
  ZLight* light = engine.getNewLight();
};

TEST_F(ZLightTest, ConstructionDefaults) {
  EXPECT_EQ(light->owner, &engine);
  const D3DLIGHT9& l = light->light;
  EXPECT_EQ(l.Type, D3DLIGHT_DIRECTIONAL);
  const float s = 1.0f / std::sqrt(1.5f);
  expectVector(l.Direction, 0.5f * s, -s, 0.5f * s);
  expectColor(l.Diffuse, 0.9f, 0.9f, 0.9f, 1);
  expectColor(l.Specular, 1, 1, 1, 1);
  expectColor(l.Ambient, 0, 0, 0, 1);
  expectVector(l.Position, 0, 0, 0);
  EXPECT_FLOAT_EQ(l.Range, 1000);
  EXPECT_FLOAT_EQ(l.Attenuation0, 1);
  EXPECT_EQ(l.Attenuation1, 0);
  EXPECT_EQ(l.Attenuation2, 0);
  EXPECT_EQ(l.Falloff, 0);
  EXPECT_EQ(l.Theta, 0);
  EXPECT_EQ(l.Phi, 0);
  EXPECT_EQ(light->priority, 1);
  EXPECT_EQ(light->deviceIndex, -1);
  EXPECT_EQ(light->distance, 0);
  EXPECT_TRUE(light->enabled);
}

TEST_F(ZLightTest, SettersWriteTheRecord) {
  light->setPosition(1, 2, 3);
  expectVector(light->light.Position, 1, 2, 3);
  light->setPosition(ZVector(-4, 5, -6));
  expectVector(light->light.Position, -4, 5, -6);

  light->setDirection({0, 0, -2});
  expectVector(light->light.Direction, 0, 0, -2);
  const ZVector d = light->getDirection();
  EXPECT_EQ(d.z, -2);

  light->light.Diffuse.a = 0.25f;
  light->setDiffuse(0.1f, 0.2f, 0.3f);
  expectColor(light->light.Diffuse, 0.1f, 0.2f, 0.3f, 1);
  light->setSpecular(0.4f, 0.5f, 0.6f);
  expectColor(light->light.Specular, 0.4f, 0.5f, 0.6f, 1);
  light->light.Ambient = {0.5f, 0.5f, 0.5f, 0.5f};
  light->setAmbientBlack();
  expectColor(light->light.Ambient, 0, 0, 0, 1);
}

TEST_F(ZLightTest, MakePointAttenuatesByInverseRange) {
  struct Case {
    float range;
    float attenuation1;
  };
  // A range that is not positive must not give an infinite or NaN attenuation.
  const Case cases[] = {{10, 0.1f}, {250, 0.004f}, {0, 0}, {-5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.range);
    ZLight point(&engine);
    point.makePoint({1, 2, 3}, c.range);
    EXPECT_EQ(point.light.Type, D3DLIGHT_POINT);
    expectVector(point.light.Position, 1, 2, 3);
    EXPECT_FLOAT_EQ(point.light.Range, c.range);
    EXPECT_EQ(point.light.Attenuation0, 0);
    EXPECT_FLOAT_EQ(point.light.Attenuation1, c.attenuation1);
    EXPECT_EQ(point.light.Attenuation2, 0);
  }
}

TEST_F(ZLightTest, MakeSpotSetsConeAndAttenuation) {
  light->makeSpot({0, -1, 0}, {4, 10, -2}, 0.3f, 75, 0.05f, 0.6f);
  const D3DLIGHT9& l = light->light;
  EXPECT_EQ(l.Type, D3DLIGHT_SPOT);
  expectVector(l.Direction, 0, -1, 0);
  expectVector(l.Position, 4, 10, -2);
  EXPECT_FLOAT_EQ(l.Theta, 0.3f);
  EXPECT_FLOAT_EQ(l.Phi, 0.6f);
  EXPECT_FLOAT_EQ(l.Range, 75);
  EXPECT_FLOAT_EQ(l.Falloff, 0.5f);
  EXPECT_EQ(l.Attenuation0, 0);
  EXPECT_FLOAT_EQ(l.Attenuation1, 0.05f);
  EXPECT_EQ(l.Attenuation2, 0);
}

TEST_F(ZLightTest, UpdateDistanceMeasuresToCurrentCamera) {
  light->setPosition(4, 6, 3);
  light->distance = 42;
  light->updateDistance();
  EXPECT_EQ(light->distance, 42) << "no current camera: unchanged";

  ZCamera* camera = engine.getNewCamera();
  camera->move(1, 2, 3);
  engine.setCamera(camera);
  light->updateDistance();
  EXPECT_FLOAT_EQ(light->distance, 5);

  light->setPosition(1, 2, 3);
  light->updateDistance();
  EXPECT_EQ(light->distance, 0);
}

}  // namespace
