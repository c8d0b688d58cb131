// What `cmake --install` puts in place: the programs, their data folder, and the desktop's
// entries; the installed tool finds its data and makes the thumbnail a file manager asks for.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

int run(const std::string& command) {
  const int status = std::system((command + " > /dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Install, ProgramsDataAndDesktopEntriesWork) {
  TempFolder prefix;
  const std::filesystem::path root = prefix.path();
  ASSERT_EQ(run(std::string("cmake --install ") + ZMF_BINARY_DIR + " --prefix " + root.string()),
            0);
  for (const char* file :
       {"bin/zmfedit", "bin/zmftool", "share/zmfedit/shaders/shadowMap.fxo",
        "share/zmfedit/samples/car/car.zmt", "share/applications/zmfedit.desktop",
        "share/icons/hicolor/scalable/apps/zmfedit.svg", "share/mime/packages/zmfedit.xml",
        "share/thumbnailers/zmfedit.thumbnailer"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(root / file)) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(root / "share/zmfedit/logLite.txt"));

  // As the thumbnailer entry runs it: a square picture of the asked size.
  const std::string thumbnail = (root / "thumb.png").string();
  ASSERT_EQ(run((root / "bin/zmftool").string() + " render " +
                (root / "share/zmfedit/samples/car/car.zmt").string() + " -o " + thumbnail +
                " --size 64"),
            0);
  int width = 0, height = 0, channels = 0;
  ASSERT_TRUE(stbi_info(thumbnail.c_str(), &width, &height, &channels));
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 64);
}

}  // namespace
