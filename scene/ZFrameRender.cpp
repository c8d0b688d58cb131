// Compiling and drawing a frame's sub-tree through the engine.
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// The largest axis scale of a world transform: bounding spheres grow by it, so a scaled frame is
// never culled too early.
float largestScale(const ZMatrix& world) {
  return std::max({world.row(0).length(), world.row(1).length(), world.row(2).length()});
}

}  // namespace

void ZFrame::compile() {
  if (compiled) {
    zlog("Already compiled\n");
    return;
  }
  if (geometries.empty() && children.empty()) {
    zlog("no geoms and no children\n");
    return;
  }
  compiled = true;
  const uint32_t start = engine != nullptr ? engine->getTimeMs() : 0;
  for (ZGeometry* g : geometries) g->compile();
  for (ZFrame* child : children) child->compile();
  if (parent == nullptr) {
    const uint32_t end = engine != nullptr ? engine->getTimeMs() : 0;
    zlog("ZFrame::compile2 done in %d\n", int(end - start));
  }
}

void ZFrame::render(bool useMaterial, float maxdist, float loddist) {
  if (!visible || (geometries.empty() && children.empty()) || engine == nullptr) return;

  ZCorvane::Statistics& stats = engine->frameStatistics;
  ++stats.frames;
  stats.geometries += int32_t(geometries.size());
  for (const ZGeometry* g : geometries) stats.triangles += g->triangleCount;

  const ZCamera* camera = engine->currentCamera;
  if (hasLOD) {
    // Without a camera there is no viewer to measure from: the limits are not applied.
    if (loddist != -1 || camera != nullptr) {
      const float distance =
          loddist != -1 ? loddist : camera->position.distance(getWorldPosition());
      if (distance > lodOut || distance < lodIn) return;
    }
  }
  // Headless there is no matrix stack and nothing to draw.
  if (engine->matrixStack == nullptr) return;

  engine->matrixStack->Push();
  engine->multWorldMatrix(matrix);
  // The spheres are only needed by the distance and visibility tests (none by default).
  const bool distanceTest = maxdist != -1 && camera != nullptr;  // no camera: nothing is far
  const bool visibilityTest = maxdist == -1 && (renderMode == 1 || renderMode == 2);
  const float scale = distanceTest || visibilityTest ? largestScale(engine->world) : 1;
  for (ZGeometry* g : geometries) {
    if (!g->visible) continue;
    if (distanceTest || visibilityTest) {
      const ZVector centre = engine->world.transformPoint(g->center, false);
      const float radius = g->radius * scale;
      if (distanceTest && camera->position.distance(centre) - radius > maxdist) continue;
      if (visibilityTest && !engine->isSphereVisible(centre, radius)) continue;
    }
    g->draw(useMaterial);
  }
  for (ZFrame* child : children) child->render(useMaterial, -1, loddist);
  engine->popWorldMatrix();
}
