#include "bench/BenchRatio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

// Console output as usual, plus each run's real time per iteration kept by name.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int runBenchmarksWithRatios(int argc, char** argv,
                            const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [measured, reference] : pairs) {
    const auto a = reporter.seconds.find(measured);
    const auto b = reporter.seconds.find(reference);
    if (a == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0) continue;
    std::printf("%s / %s: %.2f x\n", measured.c_str(), reference.c_str(), a->second / b->second);
  }
  benchmark::Shutdown();
  return 0;
}
