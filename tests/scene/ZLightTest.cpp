#include "scene/ZLight.h"

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

void expectColor(const D3DCOLORVALUE& actual, const D3DCOLORVALUE& expected) {
  EXPECT_FLOAT_EQ(actual.r, expected.r);
  EXPECT_FLOAT_EQ(actual.g, expected.g);
  EXPECT_FLOAT_EQ(actual.b, expected.b);
  EXPECT_FLOAT_EQ(actual.a, expected.a);
}

void expectVector(const D3DVECTOR& actual, const D3DVECTOR& expected) {
  EXPECT_FLOAT_EQ(actual.x, expected.x);
  EXPECT_FLOAT_EQ(actual.y, expected.y);
  EXPECT_FLOAT_EQ(actual.z, expected.z);
}

// Every field of the record against one written out by hand.
void expectRecord(const D3DLIGHT9& actual, const D3DLIGHT9& expected) {
  EXPECT_EQ(actual.Type, expected.Type);
  expectColor(actual.Diffuse, expected.Diffuse);
  expectColor(actual.Specular, expected.Specular);
  expectColor(actual.Ambient, expected.Ambient);
  expectVector(actual.Position, expected.Position);
  expectVector(actual.Direction, expected.Direction);
  EXPECT_FLOAT_EQ(actual.Range, expected.Range);
  EXPECT_FLOAT_EQ(actual.Falloff, expected.Falloff);
  EXPECT_FLOAT_EQ(actual.Attenuation0, expected.Attenuation0);
  EXPECT_FLOAT_EQ(actual.Attenuation1, expected.Attenuation1);
  EXPECT_FLOAT_EQ(actual.Attenuation2, expected.Attenuation2);
  EXPECT_FLOAT_EQ(actual.Theta, expected.Theta);
  EXPECT_FLOAT_EQ(actual.Phi, expected.Phi);
}

// A new light's record: directional along normalise(0.5, -1, 0.5), diffuse 0.9, white
// specular, black ambient, range 1000, constant attenuation.
D3DLIGHT9 newLightRecord() {
  const float s = 1.0f / std::sqrt(1.5f);
  D3DLIGHT9 r{};
  r.Type = D3DLIGHT_DIRECTIONAL;
  r.Diffuse = {0.9f, 0.9f, 0.9f, 1};
  r.Specular = {1, 1, 1, 1};
  r.Ambient = {0, 0, 0, 1};
  r.Direction = {0.5f * s, -s, 0.5f * s};
  r.Range = 1000;
  r.Attenuation0 = 1;
  return r;
}

class ZLightTest : public ::testing::Test {
 protected:
  ZCorvane engine;
  ZLight* light = engine.getNewLight();
};

// Each operation on a new light, and the whole record it leaves: the fields it sets, and every
// other field as the new light had it.
TEST_F(ZLightTest, NewLightAndEachOperationLeaveTheWholeRecord) {
  // The engine's new light is its own, enabled and not yet given a device slot.
  EXPECT_EQ(light->owner, &engine);
  EXPECT_EQ(light->priority, 1);
  EXPECT_EQ(light->deviceIndex, -1);
  EXPECT_EQ(light->distance, 0);
  EXPECT_TRUE(light->enabled);

  struct Case {
    const char* name;
    std::function<void(ZLight&)> operation;
    std::function<void(D3DLIGHT9&)> expectedChange;  // to a new light's record
  };
  const Case cases[] = {
      {"new", [](ZLight&) {}, [](D3DLIGHT9&) {}},
      {"diffuse gets alpha 1",
       [](ZLight& l) {
         l.light.Diffuse.a = 0.25f;
         l.setDiffuse(0.1f, 0.2f, 0.3f);
       },
       [](D3DLIGHT9& r) { r.Diffuse = {0.1f, 0.2f, 0.3f, 1}; }},
      {"specular gets alpha 1",
       [](ZLight& l) {
         l.light.Specular.a = 0.25f;
         l.setSpecular(0.4f, 0.5f, 0.6f);
       },
       [](D3DLIGHT9& r) { r.Specular = {0.4f, 0.5f, 0.6f, 1}; }},
      {"ambient black with alpha 1",
       [](ZLight& l) {
         l.light.Ambient = {0.5f, 0.5f, 0.5f, 0.5f};
         l.setAmbientBlack();
       },
       [](D3DLIGHT9&) {}},
      {"spot", [](ZLight& l) { l.makeSpot({0, -1, 0}, {4, 10, -2}, 0.3f, 75, 0.05f, 0.6f); },
       [](D3DLIGHT9& r) {
         r.Type = D3DLIGHT_SPOT;
         r.Direction = {0, -1, 0};
         r.Position = {4, 10, -2};
         r.Theta = 0.3f;
         r.Phi = 0.6f;
         r.Range = 75;
         r.Falloff = 0.5f;
         r.Attenuation0 = 0;
         r.Attenuation1 = 0.05f;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZLight l(&engine);
    c.operation(l);
    D3DLIGHT9 expected = newLightRecord();
    c.expectedChange(expected);
    expectRecord(l.light, expected);
  }
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
    expectVector(point.light.Position, {1, 2, 3});
    EXPECT_FLOAT_EQ(point.light.Range, c.range);
    EXPECT_EQ(point.light.Attenuation0, 0);
    EXPECT_FLOAT_EQ(point.light.Attenuation1, c.attenuation1);
    EXPECT_EQ(point.light.Attenuation2, 0);
  }
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
