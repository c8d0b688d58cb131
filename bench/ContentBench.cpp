// zmftool budget against zmftool info's load on a track of about 100 MB: the budget (load, texture
// report and draw budget) may take at most a little more than the load itself, since it is one
// walk over what the load made. Engines are made and removed off the clock.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "formats/ZDrawBudget.h"
#include "formats/ZFileZMF.h"
#include "formats/ZModelFile.h"
#include "formats/ZTextureReport.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr int kMeshes = 64;
constexpr int kSide = 100;  // vertices per mesh side

// The track, written once as ZMF beside a texture folder with the road's picture.
const std::string& trackFile() {
  static TempFolder folder;
  static const std::string path = [] {
    std::string tga(18, '\0');
    tga[2] = 2, tga[13] = 1, tga[15] = 1, tga[16] = 32, tga[17] = 8;  // 256 x 256
    tga.append(size_t(256) * 256 * 4, '\x50');
    const std::string picture = folder.write("texture/road.tga", tga);
    ZCorvane engine;
    ZFrame* root = makeRoadTrack(engine, kMeshes, kSide);
    root->children[0]->geometries[0]->material->setTexture(engine.getTexture(picture));
    const std::string file = folder.file("track.zmf");
    ZFileZMF writer(&engine);
    if (!writer.save(file, root)) return std::string();
    return file;
  }();
  return path;
}

template <typename Work>
void runOnFreshEngines(benchmark::State& state, Work work) {
  const std::string& path = trackFile();
  if (path.empty()) return state.SkipWithError("the track could not be written");
  for (auto _ : state) {
    state.PauseTiming();
    auto engine = std::make_unique<ZCorvane>();
    state.ResumeTiming();
    LoadedModel model;
    if (!loadModel(path, *engine, 1.0f, false, model)) return state.SkipWithError("load failed");
    work(model);
    state.PauseTiming();
    engine.reset();
    state.ResumeTiming();
  }
  state.counters["MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

void BM_InfoLoad(benchmark::State& state) {
  runOnFreshEngines(state, [](LoadedModel& model) { benchmark::DoNotOptimize(model.root); });
}

void BM_Budget(benchmark::State& state) {
  runOnFreshEngines(state, [&](LoadedModel& model) {
    const std::vector<STextureReport> textures = reportTextures(*model.root);
    const SDrawBudget budget = measureDrawBudget(*model.root, textures);
    if (budget.litDraws != kMeshes || textures.size() != 1) state.SkipWithError("wrong budget");
    benchmark::DoNotOptimize(budget.triangles);
  });
}

BENCHMARK(BM_InfoLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Budget)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);
  return runBenchmarksWithRatios(argc, argv, {{"BM_Budget", "BM_InfoLoad"}});
}
