// D3DX 9 matrix and vector helpers. Matrices are sixteen row-major floats with the layout of
// D3DMATRIX (and of the engine's ZMatrix); points are row vectors, p' = p * M, so a transform
// applied first stands on the left of a product. The view and projection builders are the
// right-handed Direct3D ones: the camera looks down -Z and clip-space depth runs 0 (near) to 1
// (far). Every function computes in double and stores float; every one returns its out
// argument (D3DXMatrixInverse returns null for a singular matrix). Out may alias an input.
// Pointers are borrowed and must not be null.
#pragma once

#include "platform/d3d9/d3d9types.h"

struct D3DXVECTOR3 : D3DVECTOR {
  D3DXVECTOR3() : D3DVECTOR{0, 0, 0} {}
  D3DXVECTOR3(float x0, float y0, float z0) : D3DVECTOR{x0, y0, z0} {}
  D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
};

struct D3DXVECTOR4 {
  float x = 0, y = 0, z = 0, w = 0;
};

struct D3DXMATRIX : D3DMATRIX {
  // All zero, never uninitialised.
  D3DXMATRIX() : D3DMATRIX{} {}
  D3DXMATRIX(const D3DMATRIX& m0) : D3DMATRIX(m0) {}
  // Elements row by row (_11, _12, ... _44).
  D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
             float m24, float m31, float m32, float m33, float m34, float m41, float m42,
             float m43, float m44)
      : D3DMATRIX{{m11, m12, m13, m14, m21, m22, m23, m24, m31, m32, m33, m34, m41, m42, m43,
                   m44}} {}

  // Element at row, column (0-based).
  float& operator()(int row, int column) { return m[row * 4 + column]; }
  float operator()(int row, int column) const { return m[row * 4 + column]; }
  // Full 4x4 product this x other (this applied first).
  D3DXMATRIX operator*(const D3DXMATRIX& other) const;
};

static_assert(sizeof(D3DXMATRIX) == 16 * sizeof(float), "D3DXMATRIX must be sixteen floats");
static_assert(sizeof(D3DXVECTOR3) == 3 * sizeof(float), "D3DXVECTOR3 must be three floats");
static_assert(sizeof(D3DXVECTOR4) == 4 * sizeof(float), "D3DXVECTOR4 must be four floats");

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
// out = a x b, full 4x4.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
// Full 4x4 inverse. determinant (may be null) receives m's determinant. A singular matrix
// (determinant 0) or one holding NaN or infinity returns null and leaves out unchanged.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);

// View from eye towards at: view-space -Z points at the target, +Y towards up. Degenerate
// input (eye == at, up parallel to the view line) gives zero axes, not NaN.
D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
// fovY: vertical field of view in radians; aspect = width / height; zn, zf: distances of the
// near and far planes, mapped to depth 0 and 1.
D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, float fovY, float aspect, float zn,
                                       float zf);
// Box of width x height centred on the view axis, depth zn..zf mapped to 0..1.
D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, float width, float height, float zn, float zf);
// Box l..r, b..t mapped to -1..1, depth zn..zf mapped to 0..1.
D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t,
                                       float zn, float zf);

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
// Rotation by angle radians about axis (normalised here; a zero axis gives a pure scale by
// cos(angle)). Right-hand rule for row vectors: +angle turns X towards Y about Z, Y towards Z
// about X, Z towards X about Y.
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);

// (v, 1) * m, all four components.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (v, 1) * m divided by its w; w = 0 gives infinities (a point at infinity).
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                    const D3DXMATRIX* m);
// (v, 0) * m: the upper 3x3 only, no translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                     const D3DXMATRIX* m);
