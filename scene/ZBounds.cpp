#include "scene/ZBounds.h"

#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <algorithm>

namespace {

// Corner i (0..7) of the box low..high: bit 0 picks x, bit 1 y, bit 2 z.
ZVector corner(const ZVector& low, const ZVector& high, int i) {
  return {(i & 1) ? high.x : low.x, (i & 2) ? high.y : low.y, (i & 4) ? high.z : low.z};
}

}  // namespace

float ZBounds::radius() const { return std::max(0.5f * (max - min).length(), 1e-3f); }

float ZBounds::reachFrom(const ZVector& point) const {
  float reach = 0;
  if (empty()) return reach;
  for (int i = 0; i < 8; ++i) reach = std::max(reach, corner(min, max, i).distance(point));
  return reach;
}

void ZBounds::add(const ZVector& p) {
  min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
  max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

void ZBounds::addTree(const ZFrame& frame) {
  const ZMatrix world = frame.getWorldMatrix();
  for (const ZGeometry* g : frame.geometries) {
    if (g->vertices.empty()) continue;
    for (int i = 0; i < 8; ++i) add(world.transformPoint(corner(g->bboxMin, g->bboxMax, i), false));
  }
  for (const ZFrame* child : frame.children) addTree(*child);
}
