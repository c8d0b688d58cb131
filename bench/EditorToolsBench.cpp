// simplifyMaterials on a scene of 20 000 geometries with their own materials over 500 textures,
// against one pass that only groups the geometries by layer-0 texture in a hash map: the least
// any implementation of the rule must do.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "bench/BenchRatio.h"
#include "editor/CEditInterface.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {

constexpr int kGeometries = 20000;
constexpr int kTextures = 500;

std::string textureName(int index) {
  std::string name = std::to_string(index);
  name.append(".tga");
  return name;
}

struct Scene {
  CEditInterface editor{""};
  std::vector<ZMaterial*> own;  // each geometry's material before sharing

  Scene() {
    editor.rootFrame = editor.renderer->getNewFrame();
    for (int i = 0; i < kGeometries; ++i) {
      ZGeometry* g = editor.renderer->getNewGeometry();
      ZMaterial* m = editor.renderer->getNewMaterial();
      // Every 7th geometry untextured; the others spread over the textures.
      if (i % 7 != 0) m->setTexture(editor.renderer->getTexture(textureName(i % kTextures)));
      g->setMaterial(m);
      editor.rootFrame->addGeometry(g);
      own.push_back(m);
    }
  }
  void reset() {
    for (size_t i = 0; i < own.size(); ++i) editor.rootFrame->geometries[i]->material = own[i];
  }
};

Scene& scene() {
  static Scene instance;
  return instance;
}

void BM_SimplifyMaterials(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    state.PauseTiming();
    s.reset();
    state.ResumeTiming();
    s.editor.simplifyMaterials();
  }
  // Every geometry of a texture now shares one material.
  std::unordered_map<const ZTexture*, const ZMaterial*> shared;
  for (const ZGeometry* g : s.editor.rootFrame->geometries) {
    const auto [at, added] = shared.try_emplace(g->material->stage(0).texture, g->material);
    if (!added && at->second != g->material) state.SkipWithError("materials not shared");
  }
  state.counters["materials"] = double(shared.size());
}

void BM_GroupByTexture(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    std::unordered_map<const ZTexture*, std::vector<ZGeometry*>> groups;
    for (ZGeometry* g : s.editor.rootFrame->geometries) {
      groups[g->material->stage(0).texture].push_back(g);
    }
    benchmark::DoNotOptimize(groups);
  }
}

BENCHMARK(BM_SimplifyMaterials)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GroupByTexture)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);
  return runBenchmarksWithRatios(argc, argv, {{"BM_SimplifyMaterials", "BM_GroupByTexture"}});
}
