// 4x4 single-precision transform, row-major with the same layout as the graphics platform's
// matrix, so it is passed on without conversion. Points are row vectors: p' = p * M. In a
// frame transform the rows are right (X axis), up (Y), heading (Z, forward) and position;
// elements 3, 7, 11 are 0 and element 15 is 1 in every matrix the engine builds.
#pragma once

#include "foundation/ZVector.h"

#include <span>

struct ZMatrix {
  float m[16];

  // Identity.
  ZMatrix();

  void loadIdentity();

  ZVector getPosition() const { return {m[12], m[13], m[14]}; }
  void setPosition(float x, float y, float z);
  // Also logs "uffa" when element 15 is 0 (a diagnostic only).
  void setPosition(const ZVector& position);
  void translate(float x, float y, float z);
  void translate(const ZVector& offset);

  // Affine product a x b: the fourth column of a is taken as 0 and the result's fourth column
  // is (0, 0, 0, 1). A local rotation R of a frame is applied as M = multiply(R, M).
  static ZMatrix multiply(const ZMatrix& a, const ZMatrix& b);

  // p * M; with divide, each component is then multiplied by 1 / w.
  ZVector transformPoint(const ZVector& p, bool divide) const;
  // transformPoint with division on every point, in place.
  void transformPoints(std::span<ZVector> points) const;

  // Full 4x4 inverse (D3DXMatrixInverse); a singular or non-finite matrix gives the identity.
  ZMatrix inverse() const;

  // Overwrites the upper 3x3 with a rotation of radians about a unit axis; other elements stay.
  void setRotationAxisAngle(const ZVector& axis, float radians);
  // Rebuilds the upper 3x3: right = up x heading, up = heading x right (both normalised),
  // heading as given; elements 3, 7, 11 become 0 and the position row stays.
  void setHeadingUp(const ZVector& heading, const ZVector& up);
  // Blends position, heading and up towards other by t (0 = this, 1 = other). t outside 0..1
  // logs a warning and extrapolates.
  void interpolate(const ZMatrix& other, float t);

  // Logs the four rows.
  void print() const;

  float& at(int row, int column) { return m[row * 4 + column]; }
  float at(int row, int column) const { return m[row * 4 + column]; }
  ZVector row(int index) const { return {m[index * 4], m[index * 4 + 1], m[index * 4 + 2]}; }
};

static_assert(sizeof(ZMatrix) == 16 * sizeof(float), "ZMatrix must be sixteen packed floats");
