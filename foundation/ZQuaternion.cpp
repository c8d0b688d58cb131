#include "foundation/ZQuaternion.h"

#include <cmath>

namespace {
float toFloat(double v) { return static_cast<float>(v); }
}  // namespace

void ZQuaternion::fromMatrix(const ZMatrix& m) {
  const float trace = toFloat(double{m.m[0]} + m.m[5] + m.m[10]);
  if (trace > 0) {
    const float r = std::sqrt(trace + 1.0f);
    const float f = 0.5f / r;
    w = r / 2;
    x = toFloat((double{m.m[6]} - m.m[9]) * f);
    y = toFloat((double{m.m[8]} - m.m[2]) * f);
    z = toFloat((double{m.m[1]} - m.m[4]) * f);
    return;
  }
  constexpr int next[3] = {1, 2, 0};
  int i = 0;
  if (m.at(0, 0) < m.at(1, 1)) i = 1;
  if (m.at(i, i) < m.at(2, 2)) i = 2;
  const int j = next[i];
  const int k = next[j];
  float* q[3] = {&x, &y, &z};
  const float r =
      std::sqrt(toFloat(double{m.at(i, i)} - (double{m.at(j, j)} + m.at(k, k)) + 1.0));
  *q[i] = r / 2;
  const float f = r != 0 ? 0.5f / r : r;
  w = toFloat((double{m.at(j, k)} - m.at(k, j)) * f);
  *q[j] = toFloat((double{m.at(i, j)} + m.at(j, i)) * f);
  *q[k] = toFloat((double{m.at(i, k)} + m.at(k, i)) * f);
}

void ZQuaternion::toMatrix(ZMatrix& m) const {
  const double xx = 2.0 * x * x, yy = 2.0 * y * y, zz = 2.0 * z * z;
  const double xy = 2.0 * x * y, xz = 2.0 * x * z, yz = 2.0 * y * z;
  const double wx = 2.0 * x * w, wy = 2.0 * y * w, wz = 2.0 * z * w;
  m.m[0] = toFloat(1 - (zz + yy));
  m.m[1] = toFloat(xy - wz);
  m.m[2] = toFloat(wy + xz);
  m.m[4] = toFloat(xy + wz);
  m.m[5] = toFloat(1 - (zz + xx));
  m.m[6] = toFloat(yz - wx);
  m.m[8] = toFloat(xz - wy);
  m.m[9] = toFloat(wx + yz);
  m.m[10] = toFloat(1 - (xx + yy));
  m.m[3] = m.m[7] = m.m[11] = 0;
}

ZQuaternion ZQuaternion::slerp(const ZQuaternion& other, float t) const {
  ZQuaternion a = *this;
  float d = toFloat(double{a.x} * other.x + double{a.y} * other.y + double{a.z} * other.z +
                    double{a.w} * other.w);
  if (d < 0) {
    d = -d;
    a = ZQuaternion(-a.w, -a.x, -a.y, -a.z);
  }
  float ka = t;
  float kb = 1 - t;
  if (1 - d > 1e-6f) {
    const float theta = std::acos(d);
    const float sinTheta = std::sin(theta);
    ka = std::sin(t * theta) / sinTheta;
    kb = std::sin((1 - t) * theta) / sinTheta;
  }
  return ZQuaternion(toFloat(double{a.w} * ka + double{other.w} * kb),
                     toFloat(double{a.x} * ka + double{other.x} * kb),
                     toFloat(double{a.y} * ka + double{other.y} * kb),
                     toFloat(double{a.z} * ka + double{other.z} * kb));
}

void ZQuaternion::fromEuler(float a, float b, float c) {
  const double ca = std::cos(a / 2), sa = std::sin(a / 2);
  const double cb = std::cos(b / 2), sb = std::sin(b / 2);
  const double cc = std::cos(c / 2), sc = std::sin(c / 2);
  w = toFloat(sc * sb * sa + cc * cb * ca);
  x = toFloat(cc * cb * sa - sc * sb * ca);
  y = toFloat(sc * sa * cb + sb * cc * ca);
  z = toFloat(ca * cb * sc - cc * sb * sa);
}

void ZQuaternion::fromAxisAngle(float angle, float ax, float ay, float az) {
  const float s = std::sin(angle / 2);
  w = std::cos(angle / 2);
  x = ax * s;
  y = ay * s;
  z = az * s;
}

ZQuaternion ZQuaternion::operator+(const ZQuaternion& q) const {
  return ZQuaternion(w + q.w, x + q.x, y + q.y, z + q.z);
}

ZQuaternion ZQuaternion::operator*(const ZQuaternion& q) const {
  return ZQuaternion(
      toFloat(double{w} * q.w - double{x} * q.x - double{y} * q.y - double{z} * q.z),
      toFloat(double{w} * q.x + double{x} * q.w + double{y} * q.z - double{z} * q.y),
      toFloat(double{w} * q.y - double{x} * q.z + double{y} * q.w + double{z} * q.x),
      toFloat(double{w} * q.z + double{x} * q.y - double{y} * q.x + double{z} * q.w));
}
