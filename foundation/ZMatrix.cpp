#include "foundation/ZMatrix.h"

#include "foundation/ZLog.h"

#include <cmath>

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
  // Cofactor expansion in double over 2x2 minors of the top and bottom row pairs.
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = m[i];
  const double s0 = a[0] * a[5] - a[4] * a[1];
  const double s1 = a[0] * a[6] - a[4] * a[2];
  const double s2 = a[0] * a[7] - a[4] * a[3];
  const double s3 = a[1] * a[6] - a[5] * a[2];
  const double s4 = a[1] * a[7] - a[5] * a[3];
  const double s5 = a[2] * a[7] - a[6] * a[3];
  const double c5 = a[10] * a[15] - a[14] * a[11];
  const double c4 = a[9] * a[15] - a[13] * a[11];
  const double c3 = a[9] * a[14] - a[13] * a[10];
  const double c2 = a[8] * a[15] - a[12] * a[11];
  const double c1 = a[8] * a[14] - a[12] * a[10];
  const double c0 = a[8] * a[13] - a[12] * a[9];
  const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  ZMatrix r;
  if (det == 0) return r;
  const double k = 1.0 / det;
  const double inv[16] = {
      (a[5] * c5 - a[6] * c4 + a[7] * c3) * k,   (-a[1] * c5 + a[2] * c4 - a[3] * c3) * k,
      (a[13] * s5 - a[14] * s4 + a[15] * s3) * k, (-a[9] * s5 + a[10] * s4 - a[11] * s3) * k,
      (-a[4] * c5 + a[6] * c2 - a[7] * c1) * k,  (a[0] * c5 - a[2] * c2 + a[3] * c1) * k,
      (-a[12] * s5 + a[14] * s2 - a[15] * s1) * k, (a[8] * s5 - a[10] * s2 + a[11] * s1) * k,
      (a[4] * c4 - a[5] * c2 + a[7] * c0) * k,   (-a[0] * c4 + a[1] * c2 - a[3] * c0) * k,
      (a[12] * s4 - a[13] * s2 + a[15] * s0) * k, (-a[8] * s4 + a[9] * s2 - a[11] * s0) * k,
      (-a[4] * c3 + a[5] * c1 - a[6] * c0) * k,  (a[0] * c3 - a[1] * c1 + a[2] * c0) * k,
      (-a[12] * s3 + a[13] * s1 - a[14] * s0) * k, (a[8] * s3 - a[9] * s1 + a[10] * s0) * k,
  };
  for (int i = 0; i < 16; ++i) r.m[i] = toFloat(inv[i]);
  return r;
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
