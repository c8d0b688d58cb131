// `zmftool check`: the editor's model checks from the command line, by exit status.
#include "tests/support/TempFolder.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kSampleCar = std::string(ZMF_DATA_DIR) + "/samples/car/car.zmt";

TEST(ZmftoolCheck, ExitStatusTellsPassFailAndBadUsage) {
  TempFolder folder;
  // A model with no names the checks look for.
  const std::string bare = folder.write("bare.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const struct {
    std::string arguments;
    int status;
    std::string out;
  } cases[] = {
      {"check car " + kSampleCar, 0, "CAR is ok\n"},
      {"check interior " + kSampleCar, 1, "Error: PLAYER_NAME geometry not found\n"},
      {"check tyre " + bare, 1, "Error: TIRE geometry not found\n"},
      {"check car " + bare + " --json", 1,
       "{\"check\":\"car\",\"ok\":false,\"message\":\"Error: Pilot_HR frame not found\"}\n"},
      {"check car " + kSampleCar + " --json", 0,
       "{\"check\":\"car\",\"ok\":true,\"message\":\"CAR is ok\"}\n"},
      {"check wheel " + kSampleCar, 2, ""},
      {"check car", 2, ""},
      {"check car " + folder.file("missing.zmt"), 1, ""},
  };
  for (const auto& c : cases) {
    const ToolRun run = zmftool(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_EQ(run.out, c.out) << c.arguments;
  }
}

}  // namespace
