// Runs the registered benchmarks and prints, after the usual table, how each measured case
// compares with its reference (a peer or a physical limit) run side by side.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Pairs of benchmark names: {case, reference}. Prints "case / reference: N.NN x" for each, of
// the medians when --benchmark_repetitions asks for several runs of each.
int runBenchmarksWithRatios(int argc, char** argv,
                            const std::vector<std::pair<std::string, std::string>>& pairs);
