#include "foundation/TQExplorer.h"
#include "foundation/ZDirectoryList.h"
#include "foundation/ZFileName.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ZDirectoryList, FindsInInsertionOrderOrReturnsName) {
  TempFolder folder;
  folder.write("a/shared.dds", "a");
  folder.write("b/shared.dds", "b");
  folder.write("b/only_b.dds", "b");
  folder.enter();

  ZDirectoryList list;
  EXPECT_EQ(list.findFile("shared.dds"), "shared.dds");  // empty list
  list.addDirectory("b");
  list.addDirectory("a");
  EXPECT_EQ(list.findFile("shared.dds"), "b/shared.dds");
  EXPECT_EQ(list.findFile("Only_B.DDS"), "b/only_b.dds");
  EXPECT_EQ(list.findFile("nowhere.dds"), "nowhere.dds");
  list.reset();
  EXPECT_TRUE(list.directories.empty());
}

TEST(ZFileName, ResolvesSeparatorsAndLetterCase) {
  TempFolder folder;
  folder.write("Texture/Car/Wood.DDS", "w");
  folder.enter();
  const struct {
    const char* name;
    const char* resolved;
  } cases[] = {
      {"Texture/Car/Wood.DDS", "Texture/Car/Wood.DDS"},
      {"texture\\car\\wood.dds", "Texture/Car/Wood.DDS"},
      {"TEXTURE/car/WOOD.dds", "Texture/Car/Wood.DDS"},
      {"texture\\car\\missing.dds", "texture/car/missing.dds"},  // unresolved: separators only
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(resolveFileName(c.name), c.resolved) << c.name;
  const std::string absolute = (folder.path() / "texture/car/wood.dds").string();
  EXPECT_EQ(resolveFileName(absolute), (folder.path() / "Texture/Car/Wood.DDS").string());
}

TEST(TQExplorer, ListFilesMatchesPatternAndSkipsFolders) {
  TempFolder folder;
  folder.write("shaders/base.fxo", "");
  folder.write("shaders/Tires.FXO", "");
  folder.write("shaders/notes.txt", "");
  std::filesystem::create_directories(folder.path() / "shaders/old.fxo");
  folder.enter();

  TQExplorer explorer;
  explorer.listFiles("shaders/*.fxo");
  EXPECT_EQ(sorted(explorer.files), (std::vector<std::string>{"Tires.FXO", "base.fxo"}));
  explorer.listFiles("shaders\\*.*");
  EXPECT_EQ(explorer.files.size(), 3u);
  explorer.listFiles("missing/*.fxo");
  EXPECT_TRUE(explorer.files.empty());
}

TEST(TQExplorer, ListFoldersSkipsDotsAndDottedNames) {
  TempFolder folder;
  for (const char* name : {"trackA", "trackB", "v1.2", ".hidden"}) {
    std::filesystem::create_directories(folder.path() / "tracks" / name);
  }
  folder.write("tracks/readme", "");
  TQExplorer explorer;
  explorer.files = {"stale"};
  explorer.listFolders((folder.path() / "tracks").string());
  EXPECT_EQ(sorted(explorer.files), (std::vector<std::string>{"trackA", "trackB"}));
}

}  // namespace
