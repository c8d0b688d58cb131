#include "foundation/ZQuaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

void expectSameRotation(const ZQuaternion& a, const ZQuaternion& b) {
  // q and -q are the same rotation.
  const float sign = (a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z) < 0 ? -1.0f : 1.0f;
  EXPECT_NEAR(a.w, sign * b.w, 1e-6);
  EXPECT_NEAR(a.x, sign * b.x, 1e-6);
  EXPECT_NEAR(a.y, sign * b.y, 1e-6);
  EXPECT_NEAR(a.z, sign * b.z, 1e-6);
}

TEST(ZQuaternion, ConstructorTakesScalarFirst) {
  const ZQuaternion q(1, 2, 3, 4);
  EXPECT_EQ(q.w, 1);
  EXPECT_EQ(q.x, 2);
  EXPECT_EQ(q.z, 4);
}

// fromMatrix reads the matrix in the opposite (column-vector) convention from toMatrix, so a
// round trip gives the conjugate: the inverse rotation.
TEST(ZQuaternion, MatrixRoundTripGivesConjugateOnEveryBranchOfFromMatrix) {
  const float pi = std::numbers::pi_v<float>;
  // Small angles take the trace branch; near-pi turns about X, Y and Z take branches i = 0, 1, 2.
  const struct {
    float angle, x, y, z;
  } cases[] = {{0.3f, 0, 1, 0},  {pi * 0.95f, 1, 0, 0}, {pi * 0.95f, 0, 1, 0},
               {pi * 0.95f, 0, 0, 1}, {2.0f, 0.48f, 0.6f, 0.64f}, {pi, 0, 0, 1}};
  for (const auto& c : cases) {
    ZQuaternion q;
    q.fromAxisAngle(c.angle, c.x, c.y, c.z);
    ZMatrix m;
    m.setPosition(7, 8, 9);
    q.toMatrix(m);
    EXPECT_EQ(m.m[12], 7);  // the position row is left alone
    EXPECT_EQ(m.m[15], 1);
    ZQuaternion back;
    back.fromMatrix(m);
    SCOPED_TRACE(c.angle);
    expectSameRotation(back, ZQuaternion(q.w, -q.x, -q.y, -q.z));
  }
}

TEST(ZQuaternion, ToMatrixAgreesWithAxisAngleMatrix) {
  ZQuaternion q;
  q.fromAxisAngle(0.7f, 0, 0, 1);
  ZMatrix fromQ;
  q.toMatrix(fromQ);
  ZMatrix fromAxis;
  fromAxis.setRotationAxisAngle({0, 0, 1}, 0.7f);
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(fromQ.m[i], fromAxis.m[i], 1e-6) << i;
}

TEST(ZQuaternion, SlerpEndpointsMidpointAndShortArc) {
  ZQuaternion a, b;
  a.fromAxisAngle(0, 0, 1, 0);
  b.fromAxisAngle(1.0f, 0, 1, 0);
  expectSameRotation(a.slerp(b, 0), b);  // other at t = 0
  expectSameRotation(a.slerp(b, 1), a);
  ZQuaternion mid;
  mid.fromAxisAngle(0.5f, 0, 1, 0);
  expectSameRotation(a.slerp(b, 0.5f), mid);

  // A negated start quaternion is the same rotation: the short arc is still taken.
  const ZQuaternion negated(-a.w, -a.x, -a.y, -a.z);
  expectSameRotation(negated.slerp(b, 0.5f), mid);

  // Nearly equal quaternions blend linearly.
  const ZQuaternion r = a.slerp(a, 0.25f);
  EXPECT_FLOAT_EQ(r.w, 1);
}

TEST(ZQuaternion, HamiltonProductComposesRotations) {
  ZQuaternion a, b, ab;
  a.fromAxisAngle(0.4f, 0, 0, 1);
  b.fromAxisAngle(0.5f, 0, 0, 1);
  ab.fromAxisAngle(0.9f, 0, 0, 1);
  expectSameRotation(a * b, ab);
  const ZQuaternion i(0, 1, 0, 0), j(0, 0, 1, 0);
  const ZQuaternion k = i * j;  // i * j = k
  EXPECT_EQ(k.z, 1);
  EXPECT_EQ(k.w, 0);
  const ZQuaternion sum = i + j;
  EXPECT_EQ(sum.x, 1);
  EXPECT_EQ(sum.y, 1);
}

TEST(ZQuaternion, FromEulerSingleAngles) {
  ZQuaternion q;
  q.fromEuler(0.6f, 0, 0);  // a alone: about X
  expectSameRotation(q, ZQuaternion(std::cos(0.3f), std::sin(0.3f), 0, 0));
  q.fromEuler(0, 0.6f, 0);  // b alone: about Y
  expectSameRotation(q, ZQuaternion(std::cos(0.3f), 0, std::sin(0.3f), 0));
  q.fromEuler(0, 0, 0.6f);  // c alone: about Z
  expectSameRotation(q, ZQuaternion(std::cos(0.3f), 0, 0, std::sin(0.3f)));
  q.fromEuler(0.2f, 0.3f, 0.4f);
  EXPECT_NEAR(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z, 1, 1e-6);
}

}  // namespace
