#include "foundation/ZMatrix.h"

#include "tests/support/CaptureLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

ZMatrix fromElements(std::initializer_list<float> elements) {
  ZMatrix m;
  int i = 0;
  for (float e : elements) m.m[i++] = e;
  return m;
}

void expectNear(const ZMatrix& a, const ZMatrix& b, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

// Full 4x4 product in double, for checking the inverse.
ZMatrix fullProduct(const ZMatrix& a, const ZMatrix& b) {
  ZMatrix r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double{a.at(i, k)} * b.at(k, j);
      r.at(i, j) = static_cast<float>(sum);
    }
  }
  return r;
}

TEST(ZMatrix, DefaultIsIdentity) {
  const ZMatrix m;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0f : 0.0f);
}

TEST(ZMatrix, PositionSetTranslateAndUffa) {
  CaptureLog log;
  ZMatrix m;
  m.setPosition(ZVector(1, 2, 3));
  m.translate(1, 1, 1);
  m.translate(ZVector(0, 0, -4));
  EXPECT_EQ(m.getPosition().x, 2);
  EXPECT_EQ(m.getPosition().y, 3);
  EXPECT_EQ(m.getPosition().z, 0);
  EXPECT_EQ(log.text(), "");
  m.m[15] = 0;
  m.setPosition(ZVector(9, 9, 9));
  EXPECT_EQ(log.text(), "uffa\n");
  EXPECT_EQ(m.m[12], 9);  // the diagnostic changes nothing
}

TEST(ZMatrix, MultiplyIsAffineAndForcesLastColumn) {
  const ZMatrix a = fromElements({1, 2, 3, 7, 4, 5, 6, 7, 7, 8, 9, 7, 10, 11, 12, 2});
  const ZMatrix b = fromElements({1, 0, 2, 5, 0, 1, 0, 5, 3, 0, 1, 5, 1, 2, 3, 5});
  const ZMatrix r = ZMatrix::multiply(a, b);
  // Rows 0-2: a's fourth column is ignored.
  EXPECT_EQ(r.at(0, 0), 1 * 1 + 2 * 0 + 3 * 3);
  EXPECT_EQ(r.at(0, 2), 1 * 2 + 2 * 0 + 3 * 1);
  EXPECT_EQ(r.at(2, 1), 8);
  // Row 3 adds a[3][3] * b's position row.
  EXPECT_EQ(r.at(3, 0), 10 * 1 + 11 * 0 + 12 * 3 + 2 * 1);
  EXPECT_EQ(r.at(3, 2), 10 * 2 + 11 * 0 + 12 * 1 + 2 * 3);
  EXPECT_EQ(r.m[3], 0);
  EXPECT_EQ(r.m[7], 0);
  EXPECT_EQ(r.m[11], 0);
  EXPECT_EQ(r.m[15], 1);
}

TEST(ZMatrix, TransformPointRowVectorAndDivide) {
  ZMatrix m = fromElements({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1});
  const ZVector p = m.transformPoint({1, 2, 3}, false);
  EXPECT_EQ(p.x, 1 * 0 + 2 * -1 + 10);
  EXPECT_EQ(p.y, 1 * 1 + 20);
  EXPECT_EQ(p.z, 33);
  m.m[15] = 2;
  const ZVector q = m.transformPoint({1, 2, 3}, true);
  EXPECT_FLOAT_EQ(q.x, 8.0f / 2);
  std::vector<ZVector> points = {{1, 2, 3}, {0, 0, 0}};
  m.transformPoints(points);
  EXPECT_FLOAT_EQ(points[1].z, 15);
  EXPECT_FLOAT_EQ(points[0].y, 10.5f);
}

TEST(ZMatrix, InverseOfRandomMatricesGivesIdentity) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-3, 3);
  for (int n = 0; n < 50; ++n) {
    ZMatrix m;
    for (float& e : m.m) e = value(random);  // full 4x4, projective column included
    expectNear(fullProduct(m, m.inverse()), ZMatrix(), 2e-4f);
  }
}

TEST(ZMatrix, InverseOfFrameTransformAndSingular) {
  ZMatrix frame;
  frame.setRotationAxisAngle({0, 0, 1}, 0.5f);
  frame.setPosition(4, -2, 7);
  const ZMatrix inv = frame.inverse();
  const ZVector p = inv.transformPoint(frame.transformPoint({1, 2, 3}, false), false);
  EXPECT_NEAR(p.x, 1, 1e-5);
  EXPECT_NEAR(p.y, 2, 1e-5);
  EXPECT_NEAR(p.z, 3, 1e-5);

  ZMatrix singular;
  singular.m[5] = 0;  // squashes Y
  singular.m[0] = 2;
  expectNear(singular.inverse(), ZMatrix(), 0);
}

TEST(ZMatrix, AxisAngleTurnsPointsOppositeToRotateOnAxis) {
  const ZVector axis(0, 1, 0);
  ZMatrix r;
  r.setPosition(5, 5, 5);
  r.m[15] = 1;
  r.setRotationAxisAngle(axis, 90 * 0.017453292f);
  EXPECT_EQ(r.m[12], 5);  // only the upper 3x3 is written
  ZVector byVector(1, 0, 0);
  byVector.rotateOnAxis(axis, 90);
  ZVector byMatrix = r.transformPoint({1, 0, 0}, false) - r.getPosition();
  EXPECT_NEAR(byVector.z, -1, 1e-6);
  EXPECT_NEAR(byMatrix.z, 1, 1e-6);
  // Stored elements are rotateOnAxis's R as rows.
  EXPECT_NEAR(r.m[2], 1, 1e-6);   // t*x*z + s*y
  EXPECT_NEAR(r.m[8], -1, 1e-6);  // t*x*z - s*y
}

TEST(ZMatrix, SetHeadingUpBuildsOrthonormalBasisKeepingHeading) {
  ZMatrix m;
  m.setPosition(1, 2, 3);
  m.m[3] = 9;
  const ZVector heading(0, 0, 2);  // not normalised: stored as given
  m.setHeadingUp(heading, {0, 1, 0.5f});
  EXPECT_EQ(m.row(2).z, 2);
  EXPECT_FLOAT_EQ(m.row(0).x, 1);  // right = up x heading
  EXPECT_FLOAT_EQ(m.row(1).y, 1);
  EXPECT_EQ(m.row(1).z, 0);
  EXPECT_EQ(m.m[3], 0);
  EXPECT_EQ(m.getPosition().z, 3);
}

TEST(ZMatrix, InterpolateBlendsAndWarnsOutsideRange) {
  ZMatrix a;
  ZMatrix b;
  b.setPosition(10, 0, 0);
  b.setHeadingUp({1, 0, 0}, {0, 1, 0});
  CaptureLog log;
  ZMatrix half = a;
  half.interpolate(b, 0.5f);
  EXPECT_FLOAT_EQ(half.getPosition().x, 5);
  EXPECT_NEAR(half.row(2).x, std::sqrt(0.5f), 1e-6);
  EXPECT_NEAR(half.row(2).z, std::sqrt(0.5f), 1e-6);
  EXPECT_EQ(log.text(), "");

  ZMatrix beyond = a;
  beyond.interpolate(b, 1.5f);
  EXPECT_FLOAT_EQ(beyond.getPosition().x, 15);  // extrapolated, not clamped
  EXPECT_EQ(log.text(), "Warning ZMatrix::interpolate(1.500000)\n");
}

TEST(ZMatrix, PrintWritesFourRows) {
  CaptureLog log;
  ZMatrix().print();
  EXPECT_EQ(log.text(),
            "[ 1.000000 0.000000 0.000000 0.000000 ]\n"
            "[ 0.000000 1.000000 0.000000 0.000000 ]\n"
            "[ 0.000000 0.000000 1.000000 0.000000 ]\n"
            "[ 0.000000 0.000000 0.000000 1.000000 ]\n");
}

}  // namespace
