// One sector of a generated stage road: its centre line, kind and surface facts, linked into the
// chain of sectors.
#pragma once

#include "foundation/ZVector.h"

#include <cstdint>

struct SSectorInfo {
  ZVector start, end;  // centre-line end points
  ZVector direction;   // normalised end - start
  int32_t type = 0;    // 0 straight, 1 corner
  float bump = 0;      // amplitude of the road bump map, metres
  SSectorInfo* prev = nullptr;
  SSectorInfo* next = nullptr;
  float width = 7.0f;  // road width

  ZVector centre() const { return (start + end) * 0.5f; }
};
