#include "foundation/ZMatrix.h"

#include "foundation/ZLog.h"
#include "platform/d3dx/d3dx9math.h"

#include <cmath>
#include <cstring>

namespace {

float toFloat(double v) { return static_cast<float>(v); }

ZVector blend(const ZVector& a, const ZVector& b, float t) {
  const double s = 1.0f - t;
  return {toFloat(a.x * s + double{b.x} * t), toFloat(a.y * s + double{b.y} * t),
          toFloat(a.z * s + double{b.z} * t)};
}

}  // namespace

ZMatrix::ZMatrix() { loadIdentity(); }

void ZMatrix::loadIdentity() {
  for (float& element : m) element = 0;
  m[0] = m[5] = m[10] = m[15] = 1;
}

void ZMatrix::setPosition(float x, float y, float z) {
  m[12] = x;
  m[13] = y;
  m[14] = z;
}

void ZMatrix::setPosition(const ZVector& position) {
  if (m[15] == 0) zlog("uffa\n");
  setPosition(position.x, position.y, position.z);
}

void ZMatrix::translate(float x, float y, float z) {
  m[12] += x;
  m[13] += y;
  m[14] += z;
}

void ZMatrix::translate(const ZVector& offset) { translate(offset.x, offset.y, offset.z); }

ZMatrix ZMatrix::multiply(const ZMatrix& a, const ZMatrix& b) {
  ZMatrix r;
  for (int i = 0; i < 4; ++i) {
    // Rows 0-2 ignore a's fourth column; the position row adds a[3][3] * b's position row.
    const double w = i == 3 ? a.at(3, 3) : 0.0;
    for (int j = 0; j < 3; ++j) {
      r.at(i, j) = toFloat(double{a.at(i, 0)} * b.at(0, j) + double{a.at(i, 1)} * b.at(1, j) +
                           double{a.at(i, 2)} * b.at(2, j) + w * b.at(3, j));
    }
  }
  r.m[3] = r.m[7] = r.m[11] = 0;
  r.m[15] = 1;
  return r;
}

ZVector ZMatrix::transformPoint(const ZVector& p, bool divide) const {
  const double x = p.x, y = p.y, z = p.z;
  ZVector r(toFloat(x * m[0] + y * m[4] + z * m[8] + m[12]),
            toFloat(x * m[1] + y * m[5] + z * m[9] + m[13]),
            toFloat(x * m[2] + y * m[6] + z * m[10] + m[14]));
  if (divide) {
    const float w = toFloat(x * m[3] + y * m[7] + z * m[11] + m[15]);
    const float inverseW = 1.0f / w;
    r = r * inverseW;
  }
  return r;
}

void ZMatrix::transformPoints(std::span<ZVector> points) const {
  for (ZVector& p : points) p = transformPoint(p, true);
}

ZMatrix ZMatrix::inverse() const {
  D3DXMATRIX source;
  std::memcpy(source.m, m, sizeof m);
  D3DXMATRIX inverted;
  ZMatrix r;
  if (D3DXMatrixInverse(&inverted, nullptr, &source)) std::memcpy(r.m, inverted.m, sizeof r.m);
  return r;  // identity for a singular matrix
}

void ZMatrix::setRotationAxisAngle(const ZVector& axis, float radians) {
  const float c = std::cos(radians);
  const float s = std::sin(radians);
  const float t = 1.0f - c;
  const double x = axis.x, y = axis.y, z = axis.z;
  m[0] = toFloat(t * x * x + c);
  m[1] = toFloat(t * x * y - s * z);
  m[2] = toFloat(t * x * z + s * y);
  m[4] = toFloat(t * x * y + s * z);
  m[5] = toFloat(t * y * y + c);
  m[6] = toFloat(t * y * z - s * x);
  m[8] = toFloat(t * x * z - s * y);
  m[9] = toFloat(t * y * z + s * x);
  m[10] = toFloat(t * z * z + c);
}

void ZMatrix::setHeadingUp(const ZVector& heading, const ZVector& up) {
  ZVector right = up % heading;
  ZVector newUp = heading % right;
  right.normalize();
  newUp.normalize();
  const ZVector rows[3] = {right, newUp, heading};
  for (int i = 0; i < 3; ++i) {
    at(i, 0) = rows[i].x;
    at(i, 1) = rows[i].y;
    at(i, 2) = rows[i].z;
    at(i, 3) = 0;
  }
}

void ZMatrix::interpolate(const ZMatrix& other, float t) {
  if (t < 0 || t > 1) zlog("Warning ZMatrix::interpolate(%f)\n", t);
  setPosition(blend(getPosition(), other.getPosition(), t));
  ZVector heading = blend(row(2), other.row(2), t);
  ZVector up = blend(row(1), other.row(1), t);
  heading.normalize();
  up.normalize();
  setHeadingUp(heading, up);
}

void ZMatrix::print() const {
  for (int i = 0; i < 4; ++i) {
    zlog("[ %f %f %f %f ]\n", at(i, 0), at(i, 1), at(i, 2), at(i, 3));
  }
}
