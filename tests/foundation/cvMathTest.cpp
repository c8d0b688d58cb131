#include "foundation/cvMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

TEST(cvMath, Sng) {
  const struct {
    float v;
    int sign;
  } cases[] = {{0.0f, 0},  {-0.0f, 0}, {std::numeric_limits<float>::quiet_NaN(), 0},
               {1e-30f, 1}, {-3, -1},  {std::numeric_limits<float>::infinity(), 1}};
  for (const auto& c : cases) EXPECT_EQ(cvSng(c.v), c.sign) << c.v;
}

TEST(cvMath, Clamp) {
  const struct {
    float v, min, max, result;
  } cases[] = {{5, 0, 1, 1}, {-1, 0, 1, 0}, {0.5f, 0, 1, 0.5f}, {0.5f, 1, 0, 1}, {-7, 3, -2, 3}};
  for (const auto& c : cases) EXPECT_EQ(cvClamp(c.v, c.min, c.max), c.result) << c.v;
}

TEST(cvMath, RandStaysInUnitRangeWithFifteenBitSteps) {
  std::srand(1);
  for (int i = 0; i < 10000; ++i) {
    const int r = cvRand15();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 32767);
    const float f = cvRand();
    ASSERT_GE(f, 0);
    ASSERT_LE(f, 1);
    // Every value is a whole number of 1/32767 steps.
    const float steps = f * 32767.0f;
    ASSERT_NEAR(steps, std::round(steps), 0.01);
  }
  EXPECT_FLOAT_EQ(32767 * 3.0518509e-05f, 1.0f);  // the top draw reaches 1
}

TEST(cvMath, RayTriangle) {
  const ZVector p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);
  const struct {
    const char* what;
    ZVector origin, dir;
    bool hit;
    float t;
  } cases[] = {
      {"straight hit", {0.25f, 0.25f, 5}, {0, 0, -1}, true, 5},
      {"back face hits too", {0.25f, 0.25f, -2}, {0, 0, 1}, true, 2},
      {"behind the origin: negative t", {0.25f, 0.25f, 5}, {0, 0, 1}, true, -5},
      {"outside u", {1.5f, 0.25f, 5}, {0, 0, -1}, false, 0},
      {"outside u + v", {0.6f, 0.6f, 5}, {0, 0, -1}, false, 0},
      {"negative v", {0.25f, -0.1f, 5}, {0, 0, -1}, false, 0},
      {"parallel to the plane", {0.25f, 0.25f, 5}, {1, 0, 0}, false, 0},
      {"on the edge counts", {0.5f, 0.5f, 1}, {0, 0, -1}, true, 1},
  };
  for (const auto& c : cases) {
    float t = 0, u = -1, v = -1;
    EXPECT_EQ(rayTriangle(c.origin, c.dir, p0, p1, p2, t, u, v), c.hit) << c.what;
    if (c.hit) {
      EXPECT_FLOAT_EQ(t, c.t) << c.what;
      EXPECT_FLOAT_EQ(u, c.origin.x) << c.what;
      EXPECT_FLOAT_EQ(v, c.origin.y) << c.what;
    }
  }
}

}  // namespace
