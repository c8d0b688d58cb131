// The editor window as a user starts it, under the test display: the screenshot mode draws the
// sample car and exits.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

const std::string kSampleCar = std::string(ZMF_DATA_DIR) + "/samples/car/car.zmt";

int run(const std::string& arguments) {
  const int status = std::system((std::string(ZMFEDIT) + " " + arguments + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Zmfedit, ScreenshotShowsTheSampleCarWithItsLabel) {
  TempFolder folder;
  const std::string png = folder.file("car.png");
  ASSERT_EQ(run("--screenshot " + png + " " + kSampleCar), 0);
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load(png.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(rgb, nullptr);
  // The viewport has the size "zmfedit.ini" asks for.
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 800);
  int red = 0, cyan = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = rgb + (size_t(y) * size_t(width) + size_t(x)) * 3;
      red += p[0] > 120 && p[0] > 2 * p[1] && p[0] > 2 * p[2];
      // The "FREE" label at the top left.
      cyan += y < 60 && x < 120 && p[1] > 150 && p[2] > 150 && p[0] < 100;
    }
  }
  stbi_image_free(rgb);
  EXPECT_GT(red, 500) << "the car's red body";
  EXPECT_GT(cyan, 20) << "the navigation label";
}

TEST(Zmfedit, BadArgumentsAreAUsageError) {
  EXPECT_EQ(run("--screenshot"), 2);
  EXPECT_EQ(run("one.zmt two.zmt"), 2);
}

}  // namespace
