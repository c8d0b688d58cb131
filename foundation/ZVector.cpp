#include "foundation/ZVector.h"

#include "foundation/ZLog.h"
#include "foundation/cvMath.h"

#include <cmath>

namespace {

// rotate2D's own factor, a double slightly below pi/180.
constexpr double kDegToRad2D = 0.017453292519444445;

float toFloat(double v) { return static_cast<float>(v); }

}  // namespace

void ZVector::setCoords(float vx, float vy, float vz) {
  x = vx;
  y = vy;
  z = vz;
}

float& ZVector::operator[](int index) {
  switch (index) {
    case 0:
      return x;
    case 1:
      return y;
    case 2:
      return z;
    default:
      zlog("WARNING: inline float& operator[](const int index) const CALLED WITH %d\n", index);
      return x;
  }
}

void ZVector::print(const char* label) const { zlog("%s (%f,%f,%f)\n", label, x, y, z); }

void ZVector::rotateOnAxis(const ZVector& axis, float degrees) {
  if (degrees == 0) return;
  rotateOnAxisRadians(axis, degrees * kDegToRad);
}

void ZVector::rotateOnAxisRadians(const ZVector& axis, float radians) {
  if (radians == 0) return;
  const float c = std::cos(radians);
  const float s = std::sin(radians);
  const float t = 1.0f - c;
  const double ax = axis.x, ay = axis.y, az = axis.z;
  const double ox = x, oy = y, oz = z;
  x = toFloat((t * ax * ax + c) * ox + (t * ax * ay - s * az) * oy + (t * ax * az + s * ay) * oz);
  y = toFloat((t * ax * ay + s * az) * ox + (t * ay * ay + c) * oy + (t * ay * az - s * ax) * oz);
  z = toFloat((t * ax * az - s * ay) * ox + (t * ay * az + s * ax) * oy + (t * az * az + c) * oz);
}

void ZVector::rotate2D(float degrees) {
  if (degrees == 0) return;
  const double theta = degrees * kDegToRad2D;
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const double ox = x, oz = z;
  x = toFloat(c * ox + s * oz);
  // The y row of the rotation is (1 - c) + c, which need not be exactly 1 in floating point.
  y = toFloat(y * ((1.0 - c) + c));
  z = toFloat(-s * ox + c * oz);
}

float ZVector::signedAngle(const ZVector& v) const {
  ZVector n = v;
  n.normalize();
  ZVector c = *this % n;
  c.normalize();
  const float d = dotProduct(n);
  const float magnitude = std::fabs(d) < 1.0f ? std::acos(d) : 0.0f;
  return c.y > 0 ? magnitude : -magnitude;
}

void ZVector::rotateAroundPoint(const ZVector& pivot, const ZVector& axis, float radians) {
  if (radians == 0) return;
  *this = *this - pivot;
  rotateOnAxisRadians(axis, radians);
  *this = *this + pivot;
}
