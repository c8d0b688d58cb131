#include "foundation/ZVector.h"

#include "tests/support/CaptureLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

bool bitIdentical(const ZVector& a, const ZVector& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ZVector, NormalizeZeroesTinyComponents) {
  struct Case {
    ZVector in;
    ZVector out;
  } cases[] = {
      {{1e-7f, 0, 0}, {1, 0, 0}},
      {{3, 0, 4e-7f}, {1, 0, 0}},  // 4e-7/3 falls below 1e-6 after division
      {{0, 0, 0}, {0, 0, 0}},
      {{0, -2, 0}, {0, -1, 0}},
      {{3, 4, 0}, {0.6f, 0.8f, 0}},
      {{5e-7f, 5e-7f, 0}, {0.70710677f, 0.70710677f, 0}},
  };
  for (const Case& c : cases) {
    ZVector v = c.in;
    v.normalize();
    EXPECT_FLOAT_EQ(v.x, c.out.x) << c.in.x << "," << c.in.y << "," << c.in.z;
    EXPECT_FLOAT_EQ(v.y, c.out.y);
    EXPECT_FLOAT_EQ(v.z, c.out.z);
  }
}

TEST(ZVector, SumsAreTakenInDoubleBeforeRounding) {
  // In float, 1e8 + 1 rounds back to 1e8 and the 1 is lost.
  EXPECT_EQ(ZVector(1e8f, 1, -1e8f).dotProduct({1, 1, 1}), 1.0f);
  // Cross product: the two products are not rounded to float before they are subtracted.
  const ZVector c = ZVector(3.3f, 7.1f, 0) % ZVector(2.9f, 6.2f, 0);
  const float inDouble = static_cast<float>(double{3.3f} * 6.2f - double{7.1f} * 2.9f);
  volatile float p1 = 3.3f * 6.2f, p2 = 7.1f * 2.9f;
  ASSERT_NE(inDouble, p1 - p2);
  EXPECT_EQ(c.z, inDouble);
}

TEST(ZVector, LengthAndDistanceOfIdenticalPointsAreExactlyZero) {
  const ZVector p(1.5f, -2.25f, 1e30f);
  EXPECT_EQ(p.distance(p), 0.0f);
  EXPECT_EQ(ZVector().length(), 0.0f);
  EXPECT_FLOAT_EQ(ZVector(3, 4, 12).length(), 13.0f);
  EXPECT_FLOAT_EQ(ZVector(1, 1, 1).distance({4, 5, 1}), 5.0f);
}

TEST(ZVector, ArithmeticAndCross) {
  const ZVector a(1, 2, 3), b(4, 5, 6);
  EXPECT_TRUE(bitIdentical(a + b, {5, 7, 9}));
  EXPECT_TRUE(bitIdentical(b - a, {3, 3, 3}));
  EXPECT_TRUE(bitIdentical(a * 2, {2, 4, 6}));
  EXPECT_TRUE(bitIdentical(ZVector(1, 0, 0) % ZVector(0, 1, 0), {0, 0, 1}));
  EXPECT_TRUE(bitIdentical(a % b, {-3, 6, -3}));
  EXPECT_EQ(a.dotProduct(b), 32.0f);
  ZVector v;
  v.setCoords(7, 8, 9);
  EXPECT_EQ(v.getFloatPtr()[2], 9.0f);
}

TEST(ZVector, IndexOutOfRangeWarnsAndYieldsX) {
  CaptureLog log;
  ZVector v(1, 2, 3);
  EXPECT_EQ(v[1], 2.0f);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(&v[3], &v.x);
  EXPECT_EQ(&v[-1], &v.x);
  EXPECT_EQ(log.text(),
            "WARNING: inline float& operator[](const int index) const CALLED WITH 3\n"
            "WARNING: inline float& operator[](const int index) const CALLED WITH -1\n");
}

TEST(ZVector, PrintWritesLabelAndComponents) {
  CaptureLog log;
  ZVector(1, -2.5f, 0).print("pos");
  EXPECT_EQ(log.text(), "pos (1.000000,-2.500000,0.000000)\n");
}

TEST(ZVector, ZeroAnglesLeaveVectorBitIdentical) {
  const ZVector original(0.1f, -0.7f, 0.3f);
  ZVector a = original, b = original, c = original;
  a.rotateOnAxis({0, 1, 0}, 0);
  b.rotate2D(0);
  c.rotateAroundPoint({5, 5, 5}, {0, 1, 0}, 0);
  EXPECT_TRUE(bitIdentical(a, original));
  EXPECT_TRUE(bitIdentical(b, original));
  EXPECT_TRUE(bitIdentical(c, original));
}

TEST(ZVector, Rotations) {
  ZVector v(0, 0, 1);
  v.rotate2D(90);
  EXPECT_FLOAT_EQ(v.x, 1);
  EXPECT_NEAR(v.z, 0, 1e-7);
  EXPECT_FLOAT_EQ(v.y, 0);

  // rotateOnAxis: 90 degrees about +Y turns +X into -Z (right-handed R * v).
  ZVector w(1, 0, 0);
  w.rotateOnAxis({0, 1, 0}, 90);
  EXPECT_NEAR(w.x, 0, 1e-6);
  EXPECT_NEAR(w.z, -1, 1e-6);

  // About a point: (2,0,0) around pivot (1,0,0) by pi about +Z gives (0,0,0).
  ZVector p(2, 0, 0);
  p.rotateAroundPoint({1, 0, 0}, {0, 0, 1}, std::numbers::pi_v<float>);
  EXPECT_NEAR(p.x, 0, 1e-6);
  EXPECT_NEAR(p.y, 0, 1e-6);

  // rotate2D keeps y, up to the (1 - c) + c round-off.
  ZVector h(1, 2, 0);
  h.rotate2D(33);
  EXPECT_FLOAT_EQ(h.y, 2);
  EXPECT_FLOAT_EQ(h.length(), ZVector(1, 2, 0).length());
}

TEST(ZVector, SignedAngle) {
  const float halfPi = std::numbers::pi_v<float> / 2;
  struct Case {
    ZVector from, to;
    float angle;
  } cases[] = {
      {{1, 0, 0}, {0, 0, 1}, -halfPi},  // cross product points down
      {{0, 0, 1}, {1, 0, 0}, halfPi},
      {{1, 0, 0}, {3, 0, 0}, 0},   // parallel: |d| >= 1
      {{1, 0, 0}, {-2, 0, 0}, 0},  // opposite: d = -1, magnitude 0 as well
      {{1, 0, 0}, {0, 1, 0}, -halfPi},  // cross along +Z: y is 0, so negative
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(c.from.signedAngle(c.to), c.angle)
        << c.to.x << "," << c.to.y << "," << c.to.z;
  }
}

}  // namespace
