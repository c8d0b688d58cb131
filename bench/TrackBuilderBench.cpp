// The track builder's default 2 km stage: laying it out and building its meshes (init + build,
// the pace notes kept in memory), against generating the face and vertex normals of the same
// meshes alone, which every strip needs anyway. The counters give the stage's triangles and
// meshes. Nine runs of each, and the ratio of their medians: a shared machine's noise is large
// beside a few milliseconds.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "bench/BenchRatio.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZLog.h"
#include "foundation/cvMath.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "track/CTrackBuilder.h"

namespace {

constexpr unsigned kSeed = 7;

struct Stage {
  std::unique_ptr<ZCorvane> engine = std::make_unique<ZCorvane>();
  ZFrame* root = engine->getNewFrame();
  std::unique_ptr<CTrackBuilder> builder;
  Stage() {
    cvSeed(kSeed);
    builder = std::make_unique<CTrackBuilder>(root);
    builder->notesPath.clear();  // the notes stay in memory: strips are measured, not the disk
  }
  void build() {
    builder->init();
    builder->build();
  }
};

void BM_BuildStage(benchmark::State& state) {
  SFrameStatistics stats;
  for (auto _ : state) {
    state.PauseTiming();
    auto stage = std::make_unique<Stage>();
    state.ResumeTiming();
    stage->build();
    state.PauseTiming();
    stats = {};
    stage->root->getStatistics(stats);
    stage.reset();
    state.ResumeTiming();
  }
  state.counters["triangles"] = double(stats.triangles);
  state.counters["meshes"] = double(stats.geometries);
}

void BM_StageNormals(benchmark::State& state) {
  static Stage* stage = [] {
    auto* s = new Stage;
    s->build();
    return s;
  }();
  for (auto _ : state) {
    for (ZGeometry* g : stage->root->geometries) {
      g->generateFaceNormals();
      g->generateNormals();
    }
  }
}

BENCHMARK(BM_BuildStage)->Unit(benchmark::kMillisecond)->Repetitions(9);
BENCHMARK(BM_StageNormals)->Unit(benchmark::kMillisecond)->Repetitions(9);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);
  // The builder reads its surfaces from the data folder.
  std::filesystem::current_path(findDataFolder());
  return runBenchmarksWithRatios(argc, argv,
                                 {{"BM_BuildStage/repeats:9", "BM_StageNormals/repeats:9"}});
}
