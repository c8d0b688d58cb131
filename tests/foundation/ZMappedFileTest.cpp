#include "foundation/ZMappedFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ZMappedFile, GivesTheWholeContentOfRegularFilesOnly) {
  TempFolder folder;
  const std::string model = folder.write("Model.ASE", std::string("*3DSMAX\0ASCII", 13));
  const std::string empty = folder.write("empty.ase", "");
  const struct {
    std::string name;
    bool opens;
    std::string content;
  } cases[] = {
      {model, true, std::string("*3DSMAX\0ASCII", 13)},  // bytes past a NUL are kept
      {(folder.path() / "model.ase").string(), true, std::string("*3DSMAX\0ASCII", 13)},
      {empty, true, ""},
      {(folder.path() / "missing.ase").string(), false, ""},
      {folder.path().string(), false, ""},  // a folder is not a file
      {"/dev/null", false, ""},
  };
  for (const auto& c : cases) {
    ZMappedFile file;
    EXPECT_EQ(file.open(c.name), c.opens) << c.name;
    EXPECT_EQ(file.text(), c.content) << c.name;
    EXPECT_EQ(file.bytes().size(), c.content.size()) << c.name;
  }
}

TEST(ZMappedFile, AnotherOpenReplacesTheContentAndAFailedOneLeavesNone) {
  TempFolder folder;
  ZMappedFile file;
  ASSERT_TRUE(file.open(folder.write("a.txt", "first")));
  ASSERT_TRUE(file.open(folder.write("b.txt", "second file")));
  EXPECT_EQ(file.text(), "second file");
  EXPECT_FALSE(file.open((folder.path() / "none.txt").string()));
  EXPECT_TRUE(file.text().empty());
}

}  // namespace
