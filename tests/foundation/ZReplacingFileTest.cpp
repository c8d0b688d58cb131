#include "foundation/ZReplacingFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

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
