#include "platform/d3dx/d3dx9math.h"

#include <cmath>

namespace {

struct Vec3d {
  double x, y, z;
};

Vec3d toDouble(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }
Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// A zero vector stays zero rather than turning into NaN.
Vec3d normalize(const Vec3d& v) {
  const double length = std::sqrt(dot(v, v));
  if (length == 0) return v;
  return {v.x / length, v.y / length, v.z / length};
}

// Writes sixteen doubles, row-major, rounded to float.
D3DXMATRIX* store(D3DXMATRIX* out, const double (&e)[16]) {
  for (int i = 0; i < 16; ++i) out->m[i] = static_cast<float>(e[i]);
  return out;
}

// Column j of (v, w) * m.
double transformed(const D3DVECTOR& v, double w, const D3DXMATRIX& m, int j) {
  return double{v.x} * m.m[j] + double{v.y} * m.m[4 + j] + double{v.z} * m.m[8 + j] +
         w * m.m[12 + j];
}

}  // namespace

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& other) const {
  D3DXMATRIX r;
  D3DXMatrixMultiply(&r, this, &other);
  return r;
}

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  return store(out, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  double r[16];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double{a->m[i * 4 + k]} * b->m[k * 4 + j];
      r[i * 4 + j] = sum;
    }
  }
  return store(out, r);
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
  // Cofactors through the 2x2 minors of rows 0-1 (s) and rows 2-3 (c).
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = m->m[i];
  const double s0 = a[0] * a[5] - a[1] * a[4];
  const double s1 = a[0] * a[6] - a[2] * a[4];
  const double s2 = a[0] * a[7] - a[3] * a[4];
  const double s3 = a[1] * a[6] - a[2] * a[5];
  const double s4 = a[1] * a[7] - a[3] * a[5];
  const double s5 = a[2] * a[7] - a[3] * a[6];
  const double c0 = a[8] * a[13] - a[9] * a[12];
  const double c1 = a[8] * a[14] - a[10] * a[12];
  const double c2 = a[8] * a[15] - a[11] * a[12];
  const double c3 = a[9] * a[14] - a[10] * a[13];
  const double c4 = a[9] * a[15] - a[11] * a[13];
  const double c5 = a[10] * a[15] - a[11] * a[14];
  const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  if (determinant) *determinant = static_cast<float>(det);
  // NaN or infinity anywhere poisons det; an "inverse" of such a matrix is meaningless.
  if (det == 0 || !std::isfinite(det)) return nullptr;
  const double k = 1.0 / det;
  const double r[16] = {
      (a[5] * c5 - a[6] * c4 + a[7] * c3) * k,   (-a[1] * c5 + a[2] * c4 - a[3] * c3) * k,
      (a[13] * s5 - a[14] * s4 + a[15] * s3) * k, (-a[9] * s5 + a[10] * s4 - a[11] * s3) * k,
      (-a[4] * c5 + a[6] * c2 - a[7] * c1) * k,  (a[0] * c5 - a[2] * c2 + a[3] * c1) * k,
      (-a[12] * s5 + a[14] * s2 - a[15] * s1) * k, (a[8] * s5 - a[10] * s2 + a[11] * s1) * k,
      (a[4] * c4 - a[5] * c2 + a[7] * c0) * k,   (-a[0] * c4 + a[1] * c2 - a[3] * c0) * k,
      (a[12] * s4 - a[13] * s2 + a[15] * s0) * k, (-a[8] * s4 + a[9] * s2 - a[11] * s0) * k,
      (-a[4] * c3 + a[5] * c1 - a[6] * c0) * k,  (a[0] * c3 - a[1] * c1 + a[2] * c0) * k,
      (-a[12] * s3 + a[13] * s1 - a[14] * s0) * k, (a[8] * s3 - a[9] * s1 + a[10] * s0) * k,
  };
  return store(out, r);
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
  double r[16];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r[j * 4 + i] = m->m[i * 4 + j];
  }
  return store(out, r);
}

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
  const Vec3d e = toDouble(*eye);
  // Right-handed: view-space +Z points from the target back to the eye.
  const Vec3d z = normalize(sub(e, toDouble(*at)));
  const Vec3d x = normalize(cross(toDouble(*up), z));
  const Vec3d y = cross(z, x);
  return store(out, {x.x, y.x, z.x, 0,  //
                     x.y, y.y, z.y, 0,  //
                     x.z, y.z, z.z, 0,  //
                     -dot(x, e), -dot(y, e), -dot(z, e), 1});
}

D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, float fovY, float aspect, float zn,
                                       float zf) {
  const double yScale = 1.0 / std::tan(double{fovY} / 2);
  const double xScale = yScale / aspect;
  const double depth = double{zn} - zf;
  return store(out, {xScale, 0, 0, 0,  //
                     0, yScale, 0, 0,  //
                     0, 0, zf / depth, -1,  //
                     0, 0, double{zn} * zf / depth, 0});
}

D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, float width, float height, float zn, float zf) {
  const double depth = double{zn} - zf;
  return store(out, {2.0 / width, 0, 0, 0,  //
                     0, 2.0 / height, 0, 0,  //
                     0, 0, 1.0 / depth, 0,  //
                     0, 0, zn / depth, 1});
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t,
                                       float zn, float zf) {
  const double width = double{r} - l;
  const double height = double{t} - b;
  const double depth = double{zn} - zf;
  return store(out, {2.0 / width, 0, 0, 0,  //
                     0, 2.0 / height, 0, 0,  //
                     0, 0, 1.0 / depth, 0,  //
                     -(double{l} + r) / width, -(double{t} + b) / height, zn / depth, 1});
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  return store(out, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
  return store(out, {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1});
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
  const Vec3d a = normalize(toDouble(*axis));
  const double c = std::cos(double{angle});
  const double s = std::sin(double{angle});
  const double t = 1 - c;
  return store(out, {t * a.x * a.x + c, t * a.x * a.y + s * a.z, t * a.x * a.z - s * a.y, 0,
                     t * a.x * a.y - s * a.z, t * a.y * a.y + c, t * a.y * a.z + s * a.x, 0,
                     t * a.x * a.z + s * a.y, t * a.y * a.z - s * a.x, t * a.z * a.z + c, 0,
                     0, 0, 0, 1});
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
  const double c = std::cos(double{angle});
  const double s = std::sin(double{angle});
  return store(out, {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1});
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
  const double c = std::cos(double{angle});
  const double s = std::sin(double{angle});
  return store(out, {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
  const double c = std::cos(double{angle});
  const double s = std::sin(double{angle});
  return store(out, {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const D3DXVECTOR4 r{static_cast<float>(transformed(*v, 1, *m, 0)),
                      static_cast<float>(transformed(*v, 1, *m, 1)),
                      static_cast<float>(transformed(*v, 1, *m, 2)),
                      static_cast<float>(transformed(*v, 1, *m, 3))};
  *out = r;
  return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                    const D3DXMATRIX* m) {
  const double w = transformed(*v, 1, *m, 3);
  const D3DXVECTOR3 r(static_cast<float>(transformed(*v, 1, *m, 0) / w),
                      static_cast<float>(transformed(*v, 1, *m, 1) / w),
                      static_cast<float>(transformed(*v, 1, *m, 2) / w));
  *out = r;
  return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                     const D3DXMATRIX* m) {
  const D3DXVECTOR3 r(static_cast<float>(transformed(*v, 0, *m, 0)),
                      static_cast<float>(transformed(*v, 0, *m, 1)),
                      static_cast<float>(transformed(*v, 0, *m, 2)));
  *out = r;
  return out;
}
