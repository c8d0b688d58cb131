// Transforming a big track's vertices against the memory-bandwidth limit of copying them.
#include "bench/BenchRatio.h"
#include "foundation/ZMatrix.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr size_t kPoints = 1 << 20;

std::vector<ZVector> makePoints() {
  std::vector<ZVector> points(kPoints);
  for (size_t i = 0; i < kPoints; ++i) points[i] = ZVector(float(i), float(i % 97), 1.0f);
  return points;
}

void BM_TransformPoints(benchmark::State& state) {
  std::vector<ZVector> points = makePoints();
  ZMatrix m;
  m.setRotationAxisAngle({0, 1, 0}, 0.3f);
  m.setPosition(1, 2, 3);
  for (auto _ : state) {
    m.transformPoints(points);
    benchmark::DoNotOptimize(points.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPoints * sizeof(ZVector)));
}

void BM_CopyPoints(benchmark::State& state) {
  const std::vector<ZVector> source = makePoints();
  std::vector<ZVector> target(kPoints);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), kPoints * sizeof(ZVector));
    benchmark::DoNotOptimize(target.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPoints * sizeof(ZVector)));
}

BENCHMARK(BM_TransformPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyPoints)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarksWithRatios(argc, argv, {{"BM_TransformPoints", "BM_CopyPoints"}});
}
