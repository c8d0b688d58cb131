#include "formats/ParseAhead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using parse_ahead::RecordList;

struct Line {
  int number;
  size_t length;
};

// Lines "<n> " followed by n % 13 dots; the last one without its line end.
std::string numberedLines(int count) {
  std::string text;
  for (int n = 0; n < count; ++n) {
    text += std::to_string(n) + " " + std::string(size_t(n % 13), '.');
    if (n + 1 < count) text += '\n';
  }
  return text;
}

void readLines(std::string_view block, RecordList<Line>& out) {
  while (!block.empty()) {
    const size_t end = std::min(block.find('\n'), block.size());
    const std::string_view line = block.substr(0, end);
    out.push_back({std::stoi(std::string(line)), line.size()});
    block.remove_prefix(std::min(end + 1, block.size()));
  }
}

// Helper counts are given, so the threaded walk runs here whatever the machine's cores.
TEST(ParseAhead, EveryLineComesOnceInTextOrderWhateverTheBlocksAndHelpers) {
  const int kLines = 5000;
  const std::string text = numberedLines(kLines);
  for (unsigned helpers : {0u, 1u, 3u}) {
    for (size_t blockBytes : {size_t{1}, size_t{7}, size_t{64}, size_t{4096}, size_t{1} << 20}) {
      SCOPED_TRACE(testing::Message() << helpers << " helpers, blocks of " << blockBytes);
      std::vector<int> seen;
      parse_ahead::parseAheadInOrder<Line>(
          text, readLines,
          [&](const Line& line) {
            EXPECT_EQ(line.length, std::to_string(line.number).size() + 1 + line.number % 13);
            seen.push_back(line.number);
          },
          helpers, blockBytes);
      ASSERT_EQ(seen.size(), size_t(kLines));
      for (int n = 0; n < kLines; ++n) ASSERT_EQ(seen[size_t(n)], n);
    }
  }
}

// A failing block or consumer stops the walk: the error reaches the caller and no helper is
// left behind (the test would hang or crash otherwise).
TEST(ParseAhead, AnErrorInParsingOrConsumingReachesTheCaller) {
  const std::string text = numberedLines(5000);
  const auto failingParse = [](std::string_view block, RecordList<Line>& out) {
    readLines(block, out);
    for (const Line& line : out) {
      if (line.number == 3000) throw std::runtime_error("bad block");
    }
  };
  for (unsigned helpers : {0u, 2u}) {
    SCOPED_TRACE(helpers);
    int consumed = 0;
    EXPECT_THROW(parse_ahead::parseAheadInOrder<Line>(
                     text, failingParse, [&](const Line&) { ++consumed; }, helpers, 100),
                 std::runtime_error);
    // Everything before the failing block, nothing after: 100-byte blocks hold under 30 lines.
    EXPECT_LE(consumed, 3000);
    EXPECT_GT(consumed, 2970);
    consumed = 0;
    EXPECT_THROW(parse_ahead::parseAheadInOrder<Line>(
                     text, readLines,
                     [&](const Line& line) {
                       if (line.number == 100) throw std::runtime_error("bad record");
                       ++consumed;
                     },
                     helpers, 64),
                 std::runtime_error);
    EXPECT_EQ(consumed, 100);
  }
}

// A slow helper must not let the caller parse the rest of the text ahead while it waits: the
// text parsed but not yet consumed stays within a few blocks.
TEST(ParseAhead, TheCallerParsesNoFurtherAheadThanTheHelpers) {
  constexpr size_t kBlock = 256;
  constexpr unsigned kHelpers = 3;
  const std::string text = numberedLines(4000);
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<size_t> parsedBytes{0};
  size_t consumedBytes = 0;
  size_t mostAhead = 0;
  const auto slowHelpers = [&](std::string_view block, RecordList<Line>& out) {
    // Helpers take far longer than the caller, and the caller long enough for them to start.
    const bool helper = std::this_thread::get_id() != caller;
    std::this_thread::sleep_for(helper ? std::chrono::microseconds(5000)
                                       : std::chrono::microseconds(100));
    readLines(block, out);
    parsedBytes += block.size();
  };
  parse_ahead::parseAheadInOrder<Line>(
      text, slowHelpers,
      [&](const Line& line) {
        consumedBytes += line.length + 1;
        mostAhead = std::max(mostAhead, parsedBytes.load() - std::min(parsedBytes.load(), consumedBytes));
      },
      kHelpers, kBlock);
  // A block ends at the first line end past kBlock bytes: lines here are under 20 bytes.
  EXPECT_LE(mostAhead, (parse_ahead::kMaxAhead + kHelpers + 1) * (kBlock + 20));
}

}  // namespace
