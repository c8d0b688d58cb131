#include "bench/BenchRatio.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// Console output as usual, plus each run's real time per iteration kept by name: one time for
// each repetition (--benchmark_repetitions=N).
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        seconds[run.benchmark_name()].push_back(run.GetAdjustedRealTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // The median of a name's repetitions (the upper one of an even count); 0 for none.
  double median(const std::string& name) {
    const auto found = seconds.find(name);
    if (found == seconds.end()) return 0;
    std::vector<double>& times = found->second;
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
  }
  std::map<std::string, std::vector<double>> seconds;
};

}  // namespace

int runBenchmarksWithRatios(int argc, char** argv,
                            const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [measured, reference] : pairs) {
    const double a = reporter.median(measured);
    const double b = reporter.median(reference);
    if (a <= 0 || b <= 0) continue;
    const size_t runs =
        std::min(reporter.seconds[measured].size(), reporter.seconds[reference].size());
    std::printf("%s / %s: %.2f x%s\n", measured.c_str(), reference.c_str(), a / b,
                runs > 1 ? " (medians of the repetitions)" : "");
  }
  benchmark::Shutdown();
  return 0;
}
