// ASE import against the peer library on the same file: a generated track-like scene of about
// 100 MB (road patches with texture coordinates and per-corner normals), imported by our main
// pass and read by the peer without post-processing, from the file and from memory. The ratios
// printed are the peer's time over ours, so above 1 means we are faster.
#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "tests/support/TempFolder.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kObjects = 96;
constexpr int kSide = 40;  // vertices per patch side: 1600 vertices, 3042 faces per object
constexpr double kSeconds = 4;  // per benchmark, so each runs several whole imports

std::string& aseFile() {
  static std::string path;
  return path;
}

void BM_ImportASE(benchmark::State& state) {
  for (auto _ : state) {
    ZCorvane engine;
    ZObjectBuilder builder(&engine);
    if (!builder.loadASE(aseFile())) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(builder.geometries.data());
  }
}

void BM_PeerReadASE(benchmark::State& state) {
  for (auto _ : state) {
    const aiScene* scene = aiImportFile(aseFile().c_str(), 0);
    if (scene == nullptr) state.SkipWithError("peer failed");
    benchmark::DoNotOptimize(scene);
    aiReleaseImport(scene);
  }
}

// The same two with the file already in memory: the parsers alone (the peer still copies the
// buffer into its own stream).
void BM_ImportASEText(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(aseFile(), bytes)) state.SkipWithError("read failed");
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (auto _ : state) {
    ZCorvane engine;
    ZObjectBuilder builder(&engine);
    builder.loadASEText(text, aseFile());
    benchmark::DoNotOptimize(builder.geometries.data());
  }
}

void BM_PeerReadASEText(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(aseFile(), bytes)) state.SkipWithError("read failed");
  for (auto _ : state) {
    const aiScene* scene = aiImportFileFromMemory(reinterpret_cast<const char*>(bytes.data()),
                                                  unsigned(bytes.size()), 0, "ase");
    if (scene == nullptr) state.SkipWithError("peer failed");
    benchmark::DoNotOptimize(scene);
    aiReleaseImport(scene);
  }
}

// Wall-clock time throughout: our import reads ahead on helper threads.
BENCHMARK(BM_ImportASE)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_PeerReadASE)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_ImportASEText)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_PeerReadASEText)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  const TempFolder folder;
  aseFile() = folder.file("track.ase");
  if (!writeAseRoads(aseFile(), kObjects, kSide)) return 1;
  std::printf("%s: %.1f MB\n", aseFile().c_str(),
              double(std::filesystem::file_size(aseFile())) / 1e6);
  // No diagnostics, as in a tool run without -v: the per-normal lines are not even formatted.
  zlogSetEnabled(false);
  // The library names each case with its minimum time and clock, as
  // "/min_time:4.000/real_time".
  char minTime[48];
  std::snprintf(minTime, sizeof minTime, "/min_time:%.3f/real_time", kSeconds);
  const auto named = [&](const char* benchmark) { return std::string(benchmark) + minTime; };
  return runBenchmarksWithRatios(argc, argv,
                                 {{named("BM_PeerReadASE"), named("BM_ImportASE")},
                                  {named("BM_PeerReadASEText"), named("BM_ImportASEText")}});
}
