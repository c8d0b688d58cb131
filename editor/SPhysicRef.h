// A named reference point the simulation reads: a physics point ("PZPH_") or a track point
// ("PZTR_"). For a track point's companion (its name followed by "d") x holds a heading in degrees.
#pragma once

#include "foundation/ZVector.h"

struct SPhysicRef {
  char name[64] = {};  // NUL-terminated, at most 63 characters, compared case-sensitively
  float x = 0, y = 0, z = 0;

  ZVector position() const { return {x, y, z}; }
};
