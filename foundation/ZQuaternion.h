// Rotation quaternion (x, y, z, w), the scalar part last. Polymorphic, as it has always been:
// it carries a virtual destructor and so is not a plain array of four floats.
#pragma once

#include "foundation/ZMatrix.h"

class ZQuaternion {
 public:
  // Identity rotation.
  ZQuaternion() = default;
  // Note the argument order: scalar first.
  ZQuaternion(float qw, float qx, float qy, float qz) : x(qx), y(qy), z(qz), w(qw) {}
  virtual ~ZQuaternion() = default;
  ZQuaternion(const ZQuaternion&) = default;
  ZQuaternion& operator=(const ZQuaternion&) = default;

  // From the rotation part (upper 3x3) of a matrix.
  void fromMatrix(const ZMatrix& m);
  // Writes elements 0-11 of m (3, 7, 11 become 0); 12-15 are left as they are.
  void toMatrix(ZMatrix& m) const;
  // Spherical interpolation: other at t = 0, this at t = 1, along the shorter arc.
  ZQuaternion slerp(const ZQuaternion& other, float t) const;
  // From three angles in radians.
  void fromEuler(float a, float b, float c);
  // Rotation of angle radians about (ax, ay, az), expected to be unit length.
  void fromAxisAngle(float angle, float ax, float ay, float az);

  ZQuaternion operator+(const ZQuaternion& q) const;
  // Hamilton product.
  ZQuaternion operator*(const ZQuaternion& q) const;

  float x = 0;
  float y = 0;
  float z = 0;
  float w = 1;
};
