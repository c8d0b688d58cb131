// `zmftool render`: the sample car through the renderer into a PNG in which the car shows.
#include "tests/support/TempFolder.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <stb_image.h>

#include <cstdlib>
#include <string>

namespace {

const std::string kSampleCar = std::string(ZMF_DATA_DIR) + "/samples/car/car.zmt";

TEST(ZmftoolRender, TheSampleCarShowsInThePicture) {
  TempFolder folder;
  const std::string png = (folder.path() / "car.png").string();
  const ToolRun run = zmftool("render " + kSampleCar + " -o " + png + " --size 320x240");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "wrote " + png + "\n");
  int w = 0, h = 0, channels = 0;
  unsigned char* rgb = stbi_load(png.c_str(), &w, &h, &channels, 3);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  // The body is red; neither the sky nor the floor is.
  int red = 0, dark = 0;
  for (int i = 0; i < w * h; ++i) {
    const int r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
    red += r > 120 && r > 2 * g && r > 2 * b;
    dark += r + g + b < 90;  // tyres and shadow
  }
  stbi_image_free(rgb);
  EXPECT_GT(red, w * h / 50);
  EXPECT_GT(dark, w * h / 200);
}

// Through the HDR chain the car still shows, tone-mapped: the same picture size, the body still
// the reddest part, but not the plain picture.
TEST(ZmftoolRender, HdrDrawsTheCarThroughTheChain) {
  TempFolder folder;
  const std::string plain = (folder.path() / "plain.png").string();
  const std::string hdr = (folder.path() / "hdr.png").string();
  ASSERT_EQ(zmftool("render " + kSampleCar + " -o " + plain + " --size 160x120").status, 0);
  ASSERT_EQ(zmftool("render " + kSampleCar + " -o " + hdr + " --size 160x120 --hdr").status, 0);
  int w = 0, h = 0, channels = 0;
  unsigned char* a = stbi_load(plain.c_str(), &w, &h, &channels, 3);
  unsigned char* b = stbi_load(hdr.c_str(), &w, &h, &channels, 3);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  int differing = 0, reddish = 0;
  for (int i = 0; i < w * h; ++i) {
    differing += std::abs(a[3 * i] - b[3 * i]) > 8;
    reddish += b[3 * i] > 60 && b[3 * i] > b[3 * i + 1] + 30 && b[3 * i] > b[3 * i + 2] + 30;
  }
  stbi_image_free(a);
  stbi_image_free(b);
  EXPECT_GT(differing, w * h / 10);
  EXPECT_GT(reddish, w * h / 50);
}

TEST(ZmftoolRender, BadRequestsExitWithTheirStatus) {
  TempFolder folder;
  const std::string png = (folder.path() / "x.png").string();
  const struct {
    std::string arguments;
    int status;
  } cases[] = {
      {"render " + kSampleCar, 2},                              // no output
      {"render " + kSampleCar + " -o " + png + " --view side", 2},
      {"render " + kSampleCar + " -o " + png + " --size 0x10", 2},
      {"render " + kSampleCar + " -o " + png + " --size 640x", 2},
      {"render /nonexistent/car.zmt -o " + png, 1},
      {"render " + kSampleCar + " -o /nonexistent/dir/x.png", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(zmftool(c.arguments).status, c.status) << c.arguments;
}

}  // namespace
