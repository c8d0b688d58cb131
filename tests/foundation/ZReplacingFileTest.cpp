#include "foundation/ZReplacingFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(ZReplacingFile, TargetChangesOnlyOnCommit) {
  TempFolder folder;
  const std::string target = folder.write("model.zmf", "old");
  {
    ZReplacingFile abandoned(target);
    ASSERT_TRUE(abandoned.isOpen());
    abandoned.write("half", 4);
  }
  EXPECT_EQ(readFileText(target), "old");
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));

  ZReplacingFile file(target);
  file.write("new ", 4);
  file.write("model", 5);
  EXPECT_TRUE(file.commit());
  EXPECT_EQ(readFileText(target), "new model");
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
}

TEST(ZReplacingFile, UnwritablePlaceFails) {
  TempFolder folder;
  ZReplacingFile file((folder.path() / "missing" / "x.zmf").string());
  EXPECT_FALSE(file.isOpen());
  file.write("x", 1);
  EXPECT_FALSE(file.commit());
}

}  // namespace

TEST(ZReplacingFile, DevicesAndPipesAreWrittenInPlaceNeverReplaced) {
  namespace fs = std::filesystem;
  // "--notes /dev/null": the device takes the bytes and stays a device.
  ZReplacingFile sink("/dev/null");
  sink.write("x", 1);
  EXPECT_TRUE(sink.commit());
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_FALSE(fs::exists("/dev/null.tmp"));
  // A finished temporary is not renamed over a pipe either.
  TempFolder folder;
  const std::string pipe = folder.file("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string temporary = folder.write("pipe.part", "bytes");
  FILE* file = std::fopen(temporary.c_str(), "ab");
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(ZReplacingFile::replaceTarget(file, temporary, pipe));
  EXPECT_EQ(file, nullptr);
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_FALSE(fs::exists(temporary));
}
