#include "platform/d3dx/D3DXMatrixStack.h"
#include "platform/d3dx/d3dx9math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

void expectNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

void expectNear(const D3DXVECTOR3& v, float x, float y, float z, float tolerance) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

D3DXVECTOR3 transformCoord(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
  D3DXVECTOR3 r;
  D3DXVec3TransformCoord(&r, &v, &m);
  return r;
}

D3DXMATRIX identity() {
  D3DXMATRIX m;
  return *D3DXMatrixIdentity(&m);
}

D3DXMATRIX translation(float x, float y, float z) {
  D3DXMATRIX m;
  return *D3DXMatrixTranslation(&m, x, y, z);
}

D3DXMATRIX rotationZ(float angle) {
  D3DXMATRIX m;
  return *D3DXMatrixRotationZ(&m, angle);
}

// Where the matrix puts the origin.
D3DXVECTOR3 origin(const D3DXMATRIX& m) { return transformCoord({0, 0, 0}, m); }

TEST(D3DXMath, LookAtRHPutsTheTargetOnMinusZ) {
  // Eye on +Z looking at the origin: the view is a plain shift by -5 along Z.
  D3DXVECTOR3 eye(0, 0, 5), at(0, 0, 0), up(0, 1, 0);
  D3DXMATRIX view;
  EXPECT_EQ(D3DXMatrixLookAtRH(&view, &eye, &at, &up), &view);
  expectNear(view, translation(0, 0, -5), 0);

  // A general view: the target lies on -Z at its distance, the eye at the origin, a point
  // straight above the eye above the view axis, world +X of a camera facing -Z stays right.
  eye = {3, 4, 5};
  at = {1, -2, 0.5f};
  D3DXMatrixLookAtRH(&view, &eye, &at, &up);
  const float distance = std::sqrt(2.f * 2 + 6.f * 6 + 4.5f * 4.5f);
  expectNear(transformCoord(at, view), 0, 0, -distance, 1e-5f);
  expectNear(transformCoord(eye, view), 0, 0, 0, 1e-5f);
  const D3DXVECTOR3 above = transformCoord({3, 5, 5}, view);
  EXPECT_GT(above.y, 0);
  EXPECT_NEAR(above.x, 0, 1e-6f);

  eye = {0, 0, 0};
  at = {0, 0, -1};
  D3DXMatrixLookAtRH(&view, &eye, &at, &up);
  expectNear(transformCoord({1, 0, 0}, view), 1, 0, 0, 0);

  // Up along the view line: zero axes, not NaN.
  at = {0, 5, 0};
  D3DXMatrixLookAtRH(&view, &eye, &at, &up);
  for (float e : view.m) EXPECT_FALSE(std::isnan(e));
}

TEST(D3DXMath, PerspectiveFovRHMapsNearAndFarToDepthZeroAndOne) {
  D3DXMATRIX p;
  EXPECT_EQ(D3DXMatrixPerspectiveFovRH(&p, kHalfPi, 2.0f, 1.0f, 100.0f), &p);
  // yScale = cot(45 degrees) = 1, xScale = yScale / aspect, w = -z.
  const D3DXMATRIX expected(0.5f, 0, 0, 0,  //
                            0, 1, 0, 0,  //
                            0, 0, 100.0f / -99.0f, -1,  //
                            0, 0, 100.0f / -99.0f, 0);
  expectNear(p, expected, 1e-6f);

  expectNear(transformCoord({0, 0, -1}, p), 0, 0, 0, 1e-6f);
  expectNear(transformCoord({0, 0, -100}, p), 0, 0, 1, 1e-6f);
  // The frustum's edges: 45 degrees up, and twice as wide as high.
  expectNear(transformCoord({0, 1, -1}, p), 0, 1, 0, 1e-6f);
  expectNear(transformCoord({-20, 0, -10}, p), -1, 0, transformCoord({0, 0, -10}, p).z, 1e-6f);
  D3DXVECTOR4 clip;
  const D3DXVECTOR3 point(0, 0, -10);
  D3DXVec3Transform(&clip, &point, &p);
  EXPECT_FLOAT_EQ(clip.w, 10);
}

struct BoxCorner {
  D3DXVECTOR3 view;
  D3DXVECTOR3 clip;
};

TEST(D3DXMath, OrthoRHAndOffCenterRHMapTheBoxToClipSpace) {
  D3DXMATRIX offCenter;
  EXPECT_EQ(D3DXMatrixOrthoOffCenterRH(&offCenter, -2, 6, 1, 5, 0.5f, 10.5f), &offCenter);
  const BoxCorner offCenterCorners[] = {
      {{-2, 1, -0.5f}, {-1, -1, 0}},  {{6, 1, -0.5f}, {1, -1, 0}},
      {{-2, 5, -0.5f}, {-1, 1, 0}},   {{6, 5, -0.5f}, {1, 1, 0}},
      {{-2, 1, -10.5f}, {-1, -1, 1}}, {{6, 1, -10.5f}, {1, -1, 1}},
      {{-2, 5, -10.5f}, {-1, 1, 1}},  {{6, 5, -10.5f}, {1, 1, 1}},
      {{2, 3, -5.5f}, {0, 0, 0.5f}},
  };
  for (const BoxCorner& c : offCenterCorners) {
    SCOPED_TRACE(testing::Message() << c.view.x << ' ' << c.view.y << ' ' << c.view.z);
    expectNear(transformCoord(c.view, offCenter), c.clip.x, c.clip.y, c.clip.z, 1e-6f);
  }

  // The centred form is the off-centre one with a symmetric box.
  D3DXMATRIX ortho, symmetric;
  D3DXMatrixOrthoRH(&ortho, 4, 2, 1, 11);
  D3DXMatrixOrthoOffCenterRH(&symmetric, -2, 2, -1, 1, 1, 11);
  expectNear(ortho, symmetric, 0);
  expectNear(transformCoord({2, 1, -1}, ortho), 1, 1, 0, 1e-6f);
  expectNear(transformCoord({-2, -1, -11}, ortho), -1, -1, 1, 1e-6f);
}

TEST(D3DXMath, InverseTimesMatrixIsIdentityOnRandomMatrices) {
  std::mt19937 random(1234);
  std::uniform_real_distribution<float> element(-10, 10);
  int checked = 0;
  for (int n = 0; n < 200; ++n) {
    D3DXMATRIX m;
    for (float& e : m.m) e = element(random);
    D3DXMATRIX inverse;
    float determinant = 0;
    ASSERT_EQ(D3DXMatrixInverse(&inverse, &determinant, &m), &inverse);
    // Nearly singular draws lose digits to rounding in any float inverse; they prove nothing.
    if (std::fabs(determinant) < 10) continue;
    ++checked;
    SCOPED_TRACE(n);
    expectNear(inverse * m, identity(), 1e-4f);
    expectNear(m * inverse, identity(), 1e-4f);
  }
  EXPECT_GT(checked, 150);

  // Hand-computed: scale 2, 3, 4 then shift; determinant 24, inverse shifts back then scales.
  const D3DXMATRIX m(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 6, 9, 12, 1);
  D3DXMATRIX inverse;
  float determinant = 0;
  D3DXMatrixInverse(&inverse, &determinant, &m);
  EXPECT_FLOAT_EQ(determinant, 24);
  expectNear(inverse, D3DXMATRIX(0.5f, 0, 0, 0, 0, 1 / 3.f, 0, 0, 0, 0, 0.25f, 0, -3, -3, -3, 1),
             1e-7f);

  // In place, determinant not asked for.
  D3DXMATRIX inPlace = translation(1, 2, 3);
  EXPECT_EQ(D3DXMatrixInverse(&inPlace, nullptr, &inPlace), &inPlace);
  expectNear(inPlace, translation(-1, -2, -3), 0);
}

TEST(D3DXMath, InverseOfSingularMatrixIsNullAndLeavesOutUnchanged) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const D3DXMATRIX singular[] = {
      D3DXMATRIX(),  // all zero
      D3DXMATRIX(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 1),  // row 1 = 2 x row 0
      D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 5, 6, 7, 1),  // flattens Z
      D3DXMATRIX(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1),  // rank-2 upper 3x3
      D3DXMATRIX(nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
      D3DXMATRIX(inf, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
  };
  for (size_t i = 0; i < std::size(singular); ++i) {
    SCOPED_TRACE(i);
    D3DXMATRIX out = translation(7, 8, 9);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &singular[i]), nullptr);
    expectNear(out, translation(7, 8, 9), 0);
  }
  float determinant = 1;
  D3DXMATRIX out;
  EXPECT_EQ(D3DXMatrixInverse(&out, &determinant, &singular[1]), nullptr);
  EXPECT_EQ(determinant, 0);
}

TEST(D3DXMath, Vec3TransformUsesWOne) {
  // Elements 1..16 row by row; (1, 2, 3, 1) x M worked by hand.
  const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  const D3DXVECTOR3 v(1, 2, 3);
  D3DXVECTOR4 r;
  EXPECT_EQ(D3DXVec3Transform(&r, &v, &m), &r);
  EXPECT_FLOAT_EQ(r.x, 51);
  EXPECT_FLOAT_EQ(r.y, 58);
  EXPECT_FLOAT_EQ(r.z, 65);
  EXPECT_FLOAT_EQ(r.w, 72);

  expectNear(transformCoord(v, m), 51 / 72.f, 58 / 72.f, 65 / 72.f, 1e-6f);

  // Normals ignore the translation row: (1, 2, 3, 0) x M.
  D3DXVECTOR3 n = v;
  EXPECT_EQ(D3DXVec3TransformNormal(&n, &n, &m), &n);
  expectNear(n, 38, 44, 50, 0);
}

TEST(D3DXMath, MultiplyAppliesTheLeftMatrixFirst) {
  // Shift along X, then turn about Z: the origin ends on +Y. The other order leaves it on +X.
  const D3DXMATRIX shift = translation(1, 0, 0);
  const D3DXMATRIX turn = rotationZ(kHalfPi);
  D3DXMATRIX product;
  EXPECT_EQ(D3DXMatrixMultiply(&product, &shift, &turn), &product);
  expectNear(origin(product), 0, 1, 0, 1e-6f);
  expectNear(origin(turn * shift), 1, 0, 0, 1e-6f);

  // Aliasing the output with either input.
  D3DXMATRIX a = shift;
  D3DXMatrixMultiply(&a, &a, &turn);
  expectNear(a, product, 0);
  D3DXMATRIX b = turn;
  D3DXMatrixMultiply(&b, &shift, &b);
  expectNear(b, product, 0);

  // (A x B)^T = B^T x A^T, transposing in place.
  const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  D3DXMATRIX left = m * product, mT = m, productT = product;
  D3DXMatrixTranspose(&left, &left);
  D3DXMatrixTranspose(&mT, &mT);
  D3DXMatrixTranspose(&productT, &productT);
  EXPECT_EQ(mT(0, 3), 13);
  expectNear(left, productT * mT, 1e-5f);
}

struct AxisTurn {
  const char* name;
  D3DXMATRIX rotation;
  D3DXVECTOR3 from, to;
};

TEST(D3DXMath, RotationsFollowTheRightHandRuleForRowVectors) {
  D3DXMATRIX x, y, z, axisZ, diagonal;
  const D3DXVECTOR3 longZ(0, 0, 2), ones(1, 1, 1);
  D3DXMatrixRotationX(&x, kHalfPi);
  D3DXMatrixRotationY(&y, kHalfPi);
  D3DXMatrixRotationZ(&z, kHalfPi);
  D3DXMatrixRotationAxis(&axisZ, &longZ, kHalfPi);  // the axis is normalised
  D3DXMatrixRotationAxis(&diagonal, &ones, 2 * std::numbers::pi_v<float> / 3);
  const AxisTurn turns[] = {
      {"X", x, {0, 1, 0}, {0, 0, 1}},
      {"Y", y, {0, 0, 1}, {1, 0, 0}},
      {"Z", z, {1, 0, 0}, {0, 1, 0}},
      {"axis Z", axisZ, {1, 0, 0}, {0, 1, 0}},
      {"axis (1,1,1), 120 degrees", diagonal, {1, 0, 0}, {0, 1, 0}},
      {"axis (1,1,1), 120 degrees", diagonal, {0, 1, 0}, {0, 0, 1}},
  };
  for (const AxisTurn& t : turns) {
    SCOPED_TRACE(t.name);
    expectNear(transformCoord(t.from, t.rotation), t.to.x, t.to.y, t.to.z, 1e-6f);
  }
  expectNear(axisZ, z, 1e-7f);

  D3DXMATRIX scaling;
  D3DXMatrixScaling(&scaling, 2, 3, 4);
  expectNear(transformCoord({1, 1, 1}, scaling * translation(1, 2, 3)), 3, 5, 7, 0);
}

class MatrixStackTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(D3DXCreateMatrixStack(0, &stack), D3D_OK); }
  void TearDown() override { EXPECT_EQ(stack->Release(), 0u); }
  ID3DXMatrixStack* stack = nullptr;
};

TEST_F(MatrixStackTest, StartsAtIdentityAndNeverPopsTheLastEntry) {
  expectNear(*stack->GetTop(), identity(), 0);
  EXPECT_EQ(stack->Pop(), D3DERR_INVALIDCALL);
  EXPECT_EQ(stack->Push(), D3D_OK);
  EXPECT_EQ(stack->Pop(), D3D_OK);
  const D3DXMATRIX m = translation(4, 5, 6);
  EXPECT_EQ(stack->LoadMatrix(&m), D3D_OK);
  EXPECT_EQ(stack->Pop(), D3DERR_INVALIDCALL);
  expectNear(*stack->GetTop(), m, 0);  // the refused pop changed nothing
  EXPECT_EQ(stack->LoadIdentity(), D3D_OK);
  expectNear(*stack->GetTop(), identity(), 0);
}

TEST_F(MatrixStackTest, FrameHierarchyGivesChildTimesParent) {
  // Parent: turned 90 degrees about Z and moved to (10, 0, 0); child: 1 along its parent's X;
  // grandchild: 2 along its parent's Y.
  const D3DXMATRIX parent = rotationZ(kHalfPi) * translation(10, 0, 0);
  const D3DXMATRIX child = translation(1, 0, 0);
  const D3DXMATRIX grandchild = translation(0, 2, 0);

  ASSERT_EQ(stack->LoadMatrix(&parent), D3D_OK);
  ASSERT_EQ(stack->Push(), D3D_OK);
  ASSERT_EQ(stack->MultMatrixLocal(&child), D3D_OK);
  expectNear(*stack->GetTop(), child * parent, 0);
  // The parent's X axis is world +Y.
  expectNear(origin(*stack->GetTop()), 10, 1, 0, 1e-6f);

  ASSERT_EQ(stack->Push(), D3D_OK);
  ASSERT_EQ(stack->MultMatrixLocal(&grandchild), D3D_OK);
  expectNear(*stack->GetTop(), grandchild * child * parent, 1e-6f);
  expectNear(origin(*stack->GetTop()), 8, 1, 0, 1e-6f);

  ASSERT_EQ(stack->Pop(), D3D_OK);
  expectNear(*stack->GetTop(), child * parent, 0);
  ASSERT_EQ(stack->Pop(), D3D_OK);
  expectNear(*stack->GetTop(), parent, 0);
  EXPECT_EQ(stack->Pop(), D3DERR_INVALIDCALL);
}

TEST_F(MatrixStackTest, GlobalAndLocalFormsMultiplyOnOppositeSides) {
  const D3DXMATRIX turn = rotationZ(kHalfPi);
  const D3DXVECTOR3 axisZ(0, 0, 1);
  const D3DXMATRIX shift = translation(1, 0, 0);
  // Each step on a fresh top holding the turn; the global form shifts after turning (origin
  // on +X), the local form before (origin on +Y).
  const auto after = [&](auto step) {
    stack->LoadMatrix(&turn);
    EXPECT_EQ(step(), D3D_OK);
    return origin(*stack->GetTop());
  };
  expectNear(after([&] { return stack->MultMatrix(&shift); }), 1, 0, 0, 1e-6f);
  expectNear(after([&] { return stack->MultMatrixLocal(&shift); }), 0, 1, 0, 1e-6f);
  expectNear(after([&] { return stack->Translate(1, 0, 0); }), 1, 0, 0, 1e-6f);
  expectNear(after([&] { return stack->TranslateLocal(1, 0, 0); }), 0, 1, 0, 1e-6f);

  // Turning a shifted top: globally the origin turns with it, locally it stays.
  stack->LoadMatrix(&shift);
  EXPECT_EQ(stack->RotateAxis(&axisZ, kHalfPi), D3D_OK);
  expectNear(origin(*stack->GetTop()), 0, 1, 0, 1e-6f);
  stack->LoadMatrix(&shift);
  EXPECT_EQ(stack->RotateAxisLocal(&axisZ, kHalfPi), D3D_OK);
  expectNear(origin(*stack->GetTop()), 1, 0, 0, 1e-6f);
}

TEST_F(MatrixStackTest, TopPointerSurvivesDeepPushes) {
  const D3DXMATRIX m = translation(1, 2, 3);
  stack->LoadMatrix(&m);
  const D3DXMATRIX* bottom = stack->GetTop();
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(stack->Push(), D3D_OK);
    stack->Translate(1, 0, 0);
  }
  expectNear(*bottom, m, 0);
  expectNear(origin(*stack->GetTop()), 5001, 2, 3, 0);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(stack->Pop(), D3D_OK);
  EXPECT_EQ(stack->GetTop(), bottom);
}

TEST_F(MatrixStackTest, NullArgumentsAreRefused) {
  EXPECT_EQ(stack->LoadMatrix(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(stack->MultMatrix(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(stack->MultMatrixLocal(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(stack->RotateAxis(nullptr, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(stack->RotateAxisLocal(nullptr, 1), D3DERR_INVALIDCALL);
  expectNear(*stack->GetTop(), identity(), 0);
  EXPECT_EQ(D3DXCreateMatrixStack(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(stack->AddRef(), 2u);
  EXPECT_EQ(stack->Release(), 1u);
}

}  // namespace
