// Normal and tangent-frame generation on a height field with mixed smoothing groups, once with
// the vertex records an importer makes (three per face, positions shared between faces) and once
// welded (one record per grid point and group, as indexed model files hold them): 4N faces
// against N shows the growth, tangent frames against normals on the same mesh their cost. Face
// normals alone (one sequential pass over the same faces and vertices) are the reference for how
// a plainly linear pass grows on the machine at hand.
#include "bench/BenchRatio.h"
#include "scene/ZGeometry.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A rolling height field of `faces` triangles (two per grid cell, 5:4 aspect); smoothing groups
// change every eight rows.
std::unique_ptr<ZGeometry> makeTerrain(int faces, bool welded) {
  const int rows = int(std::lround(std::sqrt(faces / 2 * 4.0 / 5.0)));
  const int columns = faces / 2 / rows;
  auto g = std::make_unique<ZGeometry>();
  // Welded: the record of grid point (x, y) in the group of row band `band`.
  std::vector<int> welds(size_t(columns + 1) * size_t(rows + 1) * 2, -1);
  const auto corner = [&](int x, int y, int band) {
    int& weld = welds[(size_t(y) * size_t(columns + 1) + size_t(x)) * 2 + size_t(band & 1)];
    if (welded && weld >= 0) return weld;
    const float height = std::sin(float(x) * 0.1f) * std::cos(float(y) * 0.13f);
    g->addVertex({float(x), height, float(y)});
    weld = int(g->vertices.size()) - 1;
    g->setTextureVertex(weld, float(x) * 0.1f, float(y) * 0.1f, 0);
    return weld;
  };
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const int band = y / 8;
      g->addTriangle(corner(x, y, band), corner(x + 1, y, band), corner(x, y + 1, band));
      g->faces.back().smoothingGroup = band % 3;
      g->addTriangle(corner(x + 1, y, band), corner(x + 1, y + 1, band), corner(x, y + 1, band));
      g->faces.back().smoothingGroup = band % 3;
    }
  }
  return g;
}

void BM_GenerateNormals(benchmark::State& state) {
  const std::unique_ptr<ZGeometry> g = makeTerrain(int(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    g->generateNormals();
    benchmark::DoNotOptimize(g->vertices.data());
  }
  state.counters["faces"] = double(g->faces.size());
}

void BM_FaceNormals(benchmark::State& state) {
  const std::unique_ptr<ZGeometry> g = makeTerrain(int(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    g->generateFaceNormals();
    benchmark::DoNotOptimize(g->faces.data());
  }
  state.counters["faces"] = double(g->faces.size());
}

void BM_TangentFrames(benchmark::State& state) {
  const std::unique_ptr<ZGeometry> g = makeTerrain(int(state.range(0)), state.range(1) != 0);
  g->generateNormals();
  for (auto _ : state) {
    g->computeTangentFrames();
    benchmark::DoNotOptimize(g->vertices.data());
  }
  state.counters["faces"] = double(g->faces.size());
}

constexpr int kFaces = 100000;

// Arguments: faces, welded.
BENCHMARK(BM_GenerateNormals)
    ->ArgsProduct({{kFaces, 4 * kFaces}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FaceNormals)
    ->ArgsProduct({{kFaces, 4 * kFaces}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TangentFrames)
    ->ArgsProduct({{kFaces, 4 * kFaces}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* welded : {"/0", "/1"}) {
    const std::string n = std::string("/").append(std::to_string(kFaces)).append(welded);
    const std::string n4 = std::string("/").append(std::to_string(4 * kFaces)).append(welded);
    pairs.push_back({"BM_GenerateNormals" + n4, "BM_GenerateNormals" + n});
    pairs.push_back({"BM_FaceNormals" + n4, "BM_FaceNormals" + n});
    pairs.push_back({"BM_TangentFrames" + n, "BM_GenerateNormals" + n});
    pairs.push_back({"BM_TangentFrames" + n4, "BM_GenerateNormals" + n4});
  }
  return runBenchmarksWithRatios(argc, argv, pairs);
}
