// One sector of a generated stage road: its centre line, kind, surface facts and the widths of
// what lies beside the road, linked into the chain of sectors.
#pragma once

#include "foundation/ZVector.h"

#include <cstdint>

// Widths and outer-edge heights of the four verge strips, metres.
struct SOutsInfo {
  float right1Width = 4;
  float left1Width = 4;
  float right2Width = 5;
  float left2Width = 5;
  float right1Height = 0;
  float left1Height = 0;
  float right2Height = 1;
  float left2Height = 1;
};

// Walls beside the road: offsets from the road edge and heights at the sector's ends. With every
// height 0 no wall is built.
struct SWallsInfo {
  float rightOffset = 0.8f;
  float leftOffset = 0.4f;
  float rightHeightEnd = 0;
  float leftHeightEnd = 0;
  float rightHeightStart = 0;
  float leftHeightStart = 0;
};

struct SSectorInfo {
  ZVector start, end;  // centre-line end points
  ZVector direction;   // normalised end - start
  int32_t type = 0;    // 0 straight, 1 corner
  float bump = 0;      // amplitude of the road bump map, metres
  SSectorInfo* prev = nullptr;
  SSectorInfo* next = nullptr;
  float width = 7.0f;  // road width
  float step = 1.0f;   // tessellation step along the road, metres
  float length = 0;    // centre-line length
  float angle = 0;     // corner angle in degrees; the sign gives the direction
  float radius = 0;    // corner radius
  ZVector center;      // corner centre
  SOutsInfo outs;
  SWallsInfo walls;
  int32_t surfaceType = 0;  // 0 road, 1 gravel
  ZVector camber;           // heights added at the left edge, centre line and right edge

  bool isCorner() const { return type == 1; }
  ZVector midpoint() const { return (start + end) * 0.5f; }
};
