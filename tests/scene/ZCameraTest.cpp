#include "scene/ZCamera.h"

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

void expectIdentity(const ZMatrix& actual) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(actual.m[i], i % 5 == 0 ? 1.0f : 0.0f) << "element " << i;
}

// The row vector (x, y, z, w) times all sixteen elements of m, so a projection keeps its w.
void transform4(float v[4], const ZMatrix& m) {
  float out[4];
  for (int column = 0; column < 4; ++column) {
    out[column] = v[0] * m.at(0, column) + v[1] * m.at(1, column) + v[2] * m.at(2, column) +
                  v[3] * m.at(3, column);
  }
  for (int i = 0; i < 4; ++i) v[i] = out[i];
}

// A world point through first then second, divided by w: x runs -1..1 from the screen's left
// edge to its right, y from the bottom to the top, z 0..1 from the near plane to the far one.
ZVector project(const ZVector& p, const ZMatrix& first, const ZMatrix& second = ZMatrix()) {
  float v[4] = {p.x, p.y, p.z, 1};
  transform4(v, first);
  transform4(v, second);
  return {v[0] / v[3], v[1] / v[3], v[2] / v[3]};
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

// The lens defaults are checked through the projection below; these are only carried into files.
TEST_F(ZCameraTest, NewCameraCarriesTheSimulationDefaults) {
  EXPECT_EQ(camera->owner, &engine);
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

// Points placed by hand in the camera's frame land where the lens puts them. The view is
// right-handed: right = heading x up, so a camera looking along +Z has -X on its right.
TEST_F(ZCameraTest, ApplySetsTransformsThatProjectTheView) {
  struct Case {
    const char* name;
    std::function<void(ZCamera&)> setUp;  // from a new camera
    ZVector eye, heading, right, up;
    bool orthographic;
    float fov, aspect, orthoSize, nearPlane, farPlane;
  };
  const auto turned = [](ZCamera& c) {
    c.move(3, 4, 5);
    c.heading = unit({1, 0, -1});
    c.fov = 65;
    c.aspect = 1.6f;
    c.nearPlane = 0.1f;
    c.farPlane = 2000;
    c.orthoSize = 7;
  };
  const Case cases[] = {
      {"defaults", [](ZCamera&) {}, {0, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, false, 30,
       4.0f / 3.0f, 1, 1, 100},
      {"perspective", turned, {3, 4, 5}, unit({1, 0, -1}), unit({1, 0, 1}), {0, 1, 0}, false, 65,
       1.6f, 7, 0.1f, 2000},
      {"orthographic",
       [&](ZCamera& c) {
         turned(c);
         c.isOrthographic = true;
       },
       {3, 4, 5}, unit({1, 0, -1}), unit({1, 0, 1}), {0, 1, 0}, true, 65, 1.6f, 7, 0.1f, 2000},
      {"orthographic, default size", [](ZCamera& c) { c.isOrthographic = true; }, {0, 0, 0},
       {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, true, 30, 4.0f / 3.0f, 1, 1, 100},
      {"looking up at a target",
       [](ZCamera& c) {
         c.move(1, 2, 3);
         c.setTarget({1, 12, 13});
       },
       {1, 2, 3}, unit({0, 1, 1}), {-1, 0, 0}, unit({0, 1, -1}), false, 30, 4.0f / 3.0f, 1, 1,
       100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZCorvane owner;
    ZCamera* cam = owner.getNewCamera();
    c.setUp(*cam);
    for (bool& changed : owner.transformsChanged) changed = false;
    cam->apply();
    for (bool changed : owner.transformsChanged) EXPECT_TRUE(changed);

    // Half the view's height and width at distance d ahead, and the depth there (0..1 from the
    // near plane to the far one, linear only in the orthographic case).
    const float n = c.nearPlane;
    const float f = c.farPlane;
    const auto halfHeight = [&](float d) {
      return c.orthographic ? c.orthoSize : d * std::tan(c.fov * 0.5f * kDegToRad);
    };
    const auto halfWidth = [&](float d) {
      return c.orthographic ? c.orthoSize : halfHeight(d) * c.aspect;
    };
    const auto depth = [&](float d) {
      return c.orthographic ? (d - n) / (f - n) : f * (d - n) / ((f - n) * d);
    };
    // (distance ahead, screen x, screen y)
    const float mid = 0.25f * (n + f);
    const float points[][3] = {
        {n, 0, 0}, {f, 0, 0}, {mid, 0, 0}, {mid, 1, 0}, {mid, 0, 1}, {mid, -0.5f, 0.25f},
        {f, -1, -1},
    };
    for (const auto& [d, x, y] : points) {
      SCOPED_TRACE(testing::Message() << "d " << d << " x " << x << " y " << y);
      const ZVector world =
          c.eye + c.heading * d + c.right * (x * halfWidth(d)) + c.up * (y * halfHeight(d));
      expectVectorNear(project(world, owner.view, owner.projection), {x, y, depth(d)}, 1e-4f);
    }
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
  // The up reference is X; a light along X falls back to Z. right = direction x up.
  struct Case {
    const char* name;
    ZVector direction;
    ZVector up;
    ZVector right;
  };
  const Case cases[] = {
      {"straight down", {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {"slanted", unit({0.5f, -1, 0.5f}), unit({5, 2, -1}), unit({0, 1, 2})},
      {"along +X", {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
      {"along -X", {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
  };
  const ZVector centre(1, 2, 3);
  ZLight light(&engine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    light.setDirection(c.direction);
    camera->applyFromLight(light, centre, 50, 40, 1);

    // The eye is 50 behind the centre; depth runs 1..60 ahead of it over a map 40 wide.
    const struct {
      ZVector world;
      ZVector screen;
    } points[] = {
        {centre, {0, 0, 49.0f / 59.0f}},
        {centre + c.up * 20, {0, 1, 49.0f / 59.0f}},
        {centre + c.right * 20, {1, 0, 49.0f / 59.0f}},
        {centre - c.direction * 49, {0, 0, 0}},
        {centre + c.direction * 10 + c.right * 5 - c.up * 10, {0.25f, -0.5f, 1}},
    };
    for (const auto& p : points) {
      expectVectorNear(project(p.world, camera->lightViewProjection[1]), p.screen);
      expectVectorNear(project(p.world, engine.view, engine.projection), p.screen);
    }
  }
  // Only the pass's own slot is written.
  expectIdentity(camera->lightViewProjection[0]);
}

TEST_F(ZCameraTest, ApplyFromLightIgnoresSlotOutsideTheTwoMaps) {
  ZLight light(&engine);  // along normalise(0.5, -1, 0.5)
  for (int index : {-1, 2}) {
    camera->applyFromLight(light, {0, 0, 0}, 10, 8, index);
    expectIdentity(camera->lightViewProjection[0]);
    expectIdentity(camera->lightViewProjection[1]);
  }
  // The transforms are still set for the pass: depth 1..12, a map 8 wide.
  const ZVector direction = unit({0.5f, -1, 0.5f});
  const ZVector up = unit({5, 2, -1});
  expectVectorNear(project({0, 0, 0}, engine.view, engine.projection), {0, 0, 9.0f / 11.0f});
  expectVectorNear(project(up * 4, engine.view, engine.projection), {0, 1, 9.0f / 11.0f});
  expectVectorNear(project(direction * 2, engine.view, engine.projection), {0, 0, 1});
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
