// Three-component single-precision vector: a position, direction or colour. Exactly three
// packed floats, so an array of ZVector is an array of floats. Compound results are computed
// in double and rounded to float when stored.
#pragma once

#include <cmath>

struct ZVector {
  float x = 0;
  float y = 0;
  float z = 0;

  ZVector() = default;
  ZVector(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}

  void setCoords(float vx, float vy, float vz);

  // The arithmetic below is defined here so that loops over many vertices inline it.
  ZVector operator+(const ZVector& v) const { return {x + v.x, y + v.y, z + v.z}; }
  ZVector operator-(const ZVector& v) const { return {x - v.x, y - v.y, z - v.z}; }
  ZVector operator*(float scalar) const { return {x * scalar, y * scalar, z * scalar}; }
  // Cross product.
  ZVector operator%(const ZVector& v) const {
    return {float(double{y} * v.z - double{z} * v.y), float(double{z} * v.x - double{x} * v.z),
            float(double{x} * v.y - double{y} * v.x)};
  }

  float dotProduct(const ZVector& v) const {
    return float(double{x} * v.x + double{y} * v.y + double{z} * v.z);
  }
  // 0 exactly for a zero vector.
  float length() const {
    const float s = dotProduct(*this);
    return s == 0 ? 0.0f : std::sqrt(s);
  }
  float distance(const ZVector& v) const { return (v - *this).length(); }
  // Unit length; components whose magnitude ends below 1e-6 become exactly 0. A zero vector
  // stays zero.
  void normalize() {
    const float s = dotProduct(*this);
    if (s != 0) {
      const float len = std::sqrt(s);
      x /= len;
      y /= len;
      z /= len;
    }
    x = zeroIfTiny(x);
    y = zeroIfTiny(y);
    z = zeroIfTiny(z);
  }

  float* getFloatPtr() { return &x; }
  const float* getFloatPtr() const { return &x; }
  // 0, 1, 2 address x, y, z; any other index logs a warning and yields x.
  float& operator[](int index);
  // Logs "label (x,y,z)".
  void print(const char* label) const;

  // Rotates about a unit axis through the origin by degrees; an angle of exactly 0 leaves the
  // vector bit-identical.
  void rotateOnAxis(const ZVector& axis, float degrees);
  // Rotates about the Y axis by degrees (90 turns (0,0,1) into (1,0,0)).
  void rotate2D(float degrees);
  // Angle in radians from this (a unit vector) to v, negative unless the cross product points
  // up (+Y).
  float signedAngle(const ZVector& v) const;
  // Rotates this point about the unit axis through pivot by radians.
  void rotateAroundPoint(const ZVector& pivot, const ZVector& axis, float radians);

 private:
  static float zeroIfTiny(float v) { return std::fabs(v) < 1e-6f ? 0.0f : v; }
  void rotateOnAxisRadians(const ZVector& axis, float radians);
};

static_assert(sizeof(ZVector) == 3 * sizeof(float), "ZVector must be three packed floats");
