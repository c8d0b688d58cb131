// Compiling and drawing a frame's sub-tree through the engine.
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

// The largest axis scale of a world transform: bounding spheres grow by it, so a scaled frame is
// never culled too early.
float largestScale(const ZMatrix& world) {
  return std::max({world.row(0).length(), world.row(1).length(), world.row(2).length()});
}

// The meshes a compile of frame will copy, each once, in no particular order.
void collectUncompiled(const ZFrame& frame, std::unordered_set<ZGeometry*>& pending) {
  if (frame.compiled) return;
  for (ZGeometry* g : frame.geometries) {
    if (!g->compiled && !g->vertices.empty()) pending.insert(g);
  }
  for (const ZFrame* child : frame.children) collectUncompiled(*child, pending);
}

// Below this many vertices in all, helper threads cost more than they save.
constexpr size_t kParallelVertices = 100000;

// prepareCompile of every mesh, on helper threads when there is enough work: each mesh is
// touched by one thread only, so the results are those of a sequential run.
void prepareAll(const std::unordered_set<ZGeometry*>& pending) {
  std::vector<ZGeometry*> meshes(pending.begin(), pending.end());
  size_t vertices = 0;
  for (const ZGeometry* g : meshes) vertices += g->vertices.size();
  const size_t threads = std::min<size_t>(std::thread::hardware_concurrency(), meshes.size());
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t i = next++; i < meshes.size(); i = next++) meshes[i]->prepareCompile();
  };
  std::vector<std::thread> helpers;
  if (vertices >= kParallelVertices) {
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  }
  work();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace

void ZFrame::compile() {
  std::unordered_set<ZGeometry*> pending;
  collectUncompiled(*this, pending);
  prepareAll(pending);
  compilePrepared();
}

void ZFrame::compilePrepared() {
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
  for (ZGeometry* g : geometries) g->compilePrepared();
  for (ZFrame* child : children) child->compilePrepared();
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
