#include "scene/ZCamera.h"

#include "platform/d3dx/d3dx9math.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZLight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

constexpr float kDegToRad = 0.017453292f;

void expectVectorNear(const ZVector& actual, const ZVector& expected, float tolerance = 1e-5f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectMatrixEq(const ZMatrix& actual, const D3DXMATRIX& expected) {
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(actual.m[i], expected.m[i]) << "element " << i;
}

D3DXVECTOR3 toD3DX(const ZVector& v) { return {v.x, v.y, v.z}; }

// Projects a world point through a light view x projection into normalised device space.
ZVector project(const ZMatrix& viewProjection, const ZVector& p) {
  const D3DXVECTOR3 in = toD3DX(p);
  D3DXMATRIX m;
  for (int i = 0; i < 16; ++i) m.m[i] = viewProjection.m[i];
  D3DXVECTOR3 out;
  D3DXVec3TransformCoord(&out, &in, &m);
  return {out.x, out.y, out.z};
}

ZVector unit(ZVector v) {
  v.normalize();
  return v;
}

// A sphere and whether a visibility test should pass it.
struct SphereCase {
  const char* name;
  ZVector centre;
  float radius;
  bool visible;
};

class ZCameraTest : public ::testing::Test {
 protected:
  ZCorvane engine;
  ZCamera* camera = engine.getNewCamera();
};

TEST_F(ZCameraTest, ConstructionDefaults) {
  EXPECT_EQ(camera->owner, &engine);
  EXPECT_FALSE(camera->isOrthographic);
  EXPECT_FLOAT_EQ(camera->orthoSize, 1.0f);
  expectVectorNear(camera->heading, {0, 0, 1}, 0);
  expectVectorNear(camera->up, {0, 1, 0}, 0);
  EXPECT_FALSE(camera->hasTarget);
  EXPECT_FLOAT_EQ(camera->fov, 30.0f);
  EXPECT_FLOAT_EQ(camera->nearPlane, 1.0f);
  EXPECT_FLOAT_EQ(camera->farPlane, 100.0f);
  EXPECT_EQ(camera->frameTarget, nullptr);
  EXPECT_FLOAT_EQ(camera->aspect, 1.3333334f);
  EXPECT_FALSE(camera->fixed);
  EXPECT_FLOAT_EQ(camera->maxFov, 20.0f);
  EXPECT_FLOAT_EQ(camera->minFov, 6.0f);
  EXPECT_FLOAT_EQ(camera->maxDist, 100000.0f);
}

TEST_F(ZCameraTest, LookAtTargetBuildsUprightFrame) {
  camera->move(1, 2, 3);
  camera->setTarget({1, 12, 13});  // 45 degrees up along +Z
  camera->apply();
  expectVectorNear(camera->heading, unit({0, 1, 1}));
  // Perpendicular to the heading, in its vertical plane, pointing up.
  expectVectorNear(camera->up, unit({0, 1, -1}));
}

TEST_F(ZCameraTest, FrameTargetWinsOverTarget) {
  ZFrame frame;
  frame.matrix.setPosition(0, 0, -5);
  camera->setTarget({10, 0, 0});
  camera->setFrameTarget(&frame);
  camera->apply();
  expectVectorNear(camera->heading, {0, 0, -1});
  expectVectorNear(camera->up, {0, 1, 0});
}

TEST_F(ZCameraTest, LookingStraightDownLeavesZeroUp) {
  camera->setTarget({0, -5, 0});
  camera->apply();
  expectVectorNear(camera->heading, {0, -1, 0}, 0);
  // The up rebuild is degenerate and normalisation keeps the zero vector.
  expectVectorNear(camera->up, {0, 0, 0}, 0);
  for (float v : engine.view.m) EXPECT_FALSE(std::isnan(v));
}

TEST_F(ZCameraTest, ApplyCopiesProjectionAndViewIntoEngine) {
  struct Case {
    bool orthographic;
    D3DXMATRIX projection;
  };
  camera->move(3, 4, 5);
  camera->heading = unit({1, 0, -1});
  camera->fov = 65;
  camera->aspect = 1.6f;
  camera->nearPlane = 0.1f;
  camera->farPlane = 2000;
  camera->orthoSize = 7;
  Case cases[2] = {{false, {}}, {true, {}}};
  D3DXMatrixPerspectiveFovRH(&cases[0].projection, 65 * kDegToRad, 1.6f, 0.1f, 2000);
  D3DXMatrixOrthoOffCenterRH(&cases[1].projection, -7, 7, -7, 7, 0.1f, 2000);
  const D3DXVECTOR3 eye(3, 4, 5);
  const D3DXVECTOR3 at = toD3DX(camera->position + camera->heading);
  const D3DXVECTOR3 upVector(0, 1, 0);
  D3DXMATRIX view;
  D3DXMatrixLookAtRH(&view, &eye, &at, &upVector);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orthographic ? "orthographic" : "perspective");
    for (bool& changed : engine.transformsChanged) changed = false;
    camera->isOrthographic = c.orthographic;
    camera->apply();
    expectMatrixEq(engine.projection, c.projection);
    expectMatrixEq(engine.view, view);
    for (bool changed : engine.transformsChanged) EXPECT_TRUE(changed);
  }
}

TEST_F(ZCameraTest, SphereCullingAgainstFarAndSidePlanes) {
  // Default camera at the origin looking along +Z; side planes 20 degrees either side
  // (30 degrees x 4/3 / 2). The engine's test is the current camera's.
  camera->apply();
  engine.setCamera(camera);
  const auto at = [](float degrees, float dist) {
    const float r = degrees * kDegToRad;
    return ZVector(dist * std::sin(r), 0, dist * std::cos(r));
  };
  const SphereCase cases[] = {
      {"exactly at far plus radius", {0, 0, 102}, 2, false},
      {"just inside the far reach", {0, 0, 101.9f}, 2, true},
      {"ahead", at(0, 50), 1, true},
      {"10 degrees left", at(10, 50), 1, true},
      {"10 degrees right", at(-10, 50), 1, true},
      {"30 degrees left", at(30, 50), 1, false},
      {"30 degrees right", at(-30, 50), 1, false},
      {"25 degrees, crossing the plane", at(25, 50), 5, true},
      {"25 degrees, clear of the plane", at(25, 50), 4, false},
      {"-25 degrees, crossing the plane", at(-25, 50), 5, true},
      {"-25 degrees, clear of the plane", at(-25, 50), 4, false},
      {"behind", {0, 0, -50}, 1, false},
      {"high above: no top plane", {0, 80, 50}, 1, true},
  };
  for (const SphereCase& c : cases) {
    EXPECT_EQ(camera->isSphereVisible(c.centre, c.radius), c.visible) << c.name;
    EXPECT_EQ(engine.isSphereVisible(c.centre, c.radius), c.visible) << c.name;
  }
}

TEST_F(ZCameraTest, ShadowPassUsesEngineViewAndHalfShadowSize) {
  camera->apply();
  engine.inShadowPass = true;
  engine.shadowSize = 20;
  engine.view = ZMatrix();
  engine.view.setPosition(-100, 0, 0);
  const SphereCase cases[] = {
      {"on the light axis, far beyond the camera's far plane", {100, 0, 5000}, 0, true},
      {"inside the window", {109.5f, 0, 0}, 0, true},
      {"on the window's edge", {110, 0, 0}, 0, false},
      {"outside, reaching in", {112, 0, 0}, 2.5f, true},
      {"below the window", {100, -12, 0}, 1, false},
      {"behind the camera, inside the window", {100, 5, -50}, 0, true},
  };
  for (const SphereCase& c : cases) {
    EXPECT_EQ(camera->isSphereVisible(c.centre, c.radius), c.visible) << c.name;
  }
}

TEST_F(ZCameraTest, ApplyFromLightLooksAlongTheLight) {
  // The up reference is X; a light along X falls back to Z.
  struct Case {
    const char* name;
    ZVector direction;
    ZVector up;
  };
  const ZVector slanted = unit({0.5f, -1, 0.5f});
  // X with its component along the light removed.
  const ZVector slantedUp = unit(ZVector(1, 0, 0) - slanted * slanted.x);
  const Case cases[] = {
      {"straight down", {0, -1, 0}, {1, 0, 0}},
      {"slanted", slanted, slantedUp},
      {"along +X", {1, 0, 0}, {0, 0, 1}},
      {"along -X", {-1, 0, 0}, {0, 0, 1}},
  };
  const ZVector centre(1, 2, 3);
  ZLight light(&engine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    light.setDirection(c.direction);
    camera->applyFromLight(light, centre, 50, 40, 1);

    D3DXMATRIX expected;
    D3DXMatrixOrthoRH(&expected, 40, 40, 1, 60);
    expectMatrixEq(engine.projection, expected);
    D3DXMATRIX view;
    D3DXMATRIX projection;
    for (int i = 0; i < 16; ++i) {
      view.m[i] = engine.view.m[i];
      projection.m[i] = engine.projection.m[i];
    }
    D3DXMatrixMultiply(&expected, &view, &projection);
    expectMatrixEq(camera->lightViewProjection[1], expected);

    // The centre lies on the light's axis at depth 50 of 1..60; a point half the map's size
    // along the up direction lands on the map's top edge.
    const ZMatrix& lvp = camera->lightViewProjection[1];
    expectVectorNear(project(lvp, centre), {0, 0, 49.0f / 59.0f});
    expectVectorNear(project(lvp, centre + c.up * 20), {0, 1, 49.0f / 59.0f});
  }
  // Only the pass's own slot is written.
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  expectMatrixEq(camera->lightViewProjection[0], identity);
}

TEST_F(ZCameraTest, ApplyFromLightIgnoresSlotOutsideTheTwoMaps) {
  ZLight light(&engine);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  for (int index : {-1, 2}) {
    camera->applyFromLight(light, {0, 0, 0}, 10, 8, index);
    expectMatrixEq(camera->lightViewProjection[0], identity);
    expectMatrixEq(camera->lightViewProjection[1], identity);
  }
  // The transforms are still set for the pass.
  D3DXMATRIX projection;
  D3DXMatrixOrthoRH(&projection, 8, 8, 1, 12);
  expectMatrixEq(engine.projection, projection);
}

TEST_F(ZCameraTest, PositionOperations) {
  camera->move(1, 2, 3);
  camera->shift(1, 1, 1);
  camera->heading = {0, 0.6f, 0.8f};
  camera->moveForward(5);
  expectVectorNear(camera->position, {2, 6, 8});
}

TEST_F(ZCameraTest, RotationsTurnHeadingAndUp) {
  struct Case {
    const char* name;
    ZVector heading;
    std::function<void(ZCamera&)> turn;
    ZVector expectedHeading;
    ZVector expectedUp;
  };
  const Case cases[] = {
      {"pitch up 90", {0, 0, 1}, [](ZCamera& c) { c.rotatePitch(90); }, {0, 1, 0}, {0, 0, -1}},
      {"pitch renormalises", {0, 0, 2}, [](ZCamera& c) { c.rotatePitch(90); }, {0, 1, 0},
       {0, 0, -1}},
      {"roll about X keeps lengths", {0, 0, 2}, [](ZCamera& c) { c.rotateOnAxis(90, {1, 0, 0}); },
       {0, -2, 0}, {0, 0, 1}},
      {"turn renormalises heading only", {0, 0, 2},
       [](ZCamera& c) { c.turnOnAxis({0, 1, 0}, 90); }, {1, 0, 0}, {0, 1, 0}},
      {"heading about up keeps length", {0, 0, 2}, [](ZCamera& c) { c.rotateHeading(90); },
       {2, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZCamera turned(nullptr);
    turned.heading = c.heading;
    c.turn(turned);
    expectVectorNear(turned.heading, c.expectedHeading);
    expectVectorNear(turned.up, c.expectedUp);
  }
}

TEST_F(ZCameraTest, RepeatedPitchKeepsAnOrthonormalPair) {
  camera->heading = unit({1, 0.3f, 2});
  camera->up = unit(camera->heading % (camera->heading % ZVector(0, 1, 0)) * -1.0f);
  for (int i = 0; i < 500; ++i) camera->rotatePitch(7.3f);
  EXPECT_NEAR(camera->heading.length(), 1.0f, 1e-6f);
  EXPECT_NEAR(camera->up.length(), 1.0f, 1e-6f);
  EXPECT_NEAR(camera->heading.dotProduct(camera->up), 0.0f, 1e-4f);
}

}  // namespace
