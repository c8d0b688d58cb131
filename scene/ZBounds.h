// The axis-aligned box a frame tree's meshes take in world space: their mesh boxes' corners
// through the frames' transforms, scale included.
#pragma once

#include "foundation/ZVector.h"

class ZFrame;

struct ZBounds {
  ZVector min{1e30f, 1e30f, 1e30f};
  ZVector max{-1e30f, -1e30f, -1e30f};

  bool empty() const { return min.x > max.x; }
  ZVector centre() const { return (min + max) * 0.5f; }
  // Half the diagonal, at least 0.001.
  float radius() const;
  // The largest distance from point to a corner of the box; 0 when empty.
  float reachFrom(const ZVector& point) const;
  void add(const ZVector& p);
  // Widens the box by every corner of every non-empty mesh box of the tree.
  void addTree(const ZFrame& frame);
};
