#include "foundation/NBINIReader.h"
#include "foundation/ZINIReader.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ZINIReader withText(const std::string& text) {
  ZINIReader reader;
  reader.text = text;
  reader.loaded = true;
  return reader;
}

TEST(ZINIReader, LookupRulesThatStoredFilesDependOn) {
  const struct {
    const char* what;
    const char* text;
    const char* section;
    const char* key;
    const char* value;
    int number;
  } cases[] = {
      {"plain key", "[A]\r\nX=1\r\nMAX=5\r\n", "A", "MAX", "5", 5},
      {"X before MAX", "[A]\r\nX=1\r\nMAX=5\r\n", "A", "X", "1", 1},
      {"X matches inside MAX first", "[A]\r\nMAX=5\r\nX=1\r\n", "A", "X", "5", 5},
      {"blank after = is kept", "[A]\r\nK= 7\r\n", "A", "K", " 7", 7},
      {"absent section", "[A]\r\nK=7\r\n", "B", "K", "", 0},
      {"section name is case-sensitive", "[a]\r\nK=7\r\n", "A", "K", "", 0},
      {"missing key gives the body", "[A]\r\nK=7\r\n[B]\r\nL=2\r\n", "A", "Q", "\r\nK=7\r\n", 0},
      {"body ends at next [", "[A]\r\nK=7\r\n[B]\r\nQ=2\r\n", "A", "Q", "\r\nK=7\r\n", 0},
      {"bare line feeds run to body end", "[A]\nK=3\nL=4\n", "A", "K", "3\nL=4\n", 3},
      {"key found in a comment line first", "[A]\r\n;K is old\r\nK=2\r\n", "A", "K", "2", 2},
      {"second section", "[A]\r\nK=1\r\n[B]\r\nK=-12abc\r\n", "B", "K", "-12abc", -12},
      {"last value without line end", "[A]\r\nK=9", "A", "K", "9", 9},
      {"key without = gives empty", "[A]\r\nK\r\n", "A", "K", "", 0},
  };
  for (const auto& c : cases) {
    const ZINIReader reader = withText(c.text);
    EXPECT_EQ(reader.getString(c.section, c.key), c.value) << c.what;
    EXPECT_EQ(reader.getInt(c.section, c.key), c.number) << c.what;
  }
}

TEST(ZINIReader, Float) {
  const ZINIReader reader = withText("[S]\r\nF= -2.5e1x\r\nG=abc\r\nH=.5\r\n");
  EXPECT_EQ(reader.getFloat("S", "F"), -25.0f);
  EXPECT_EQ(reader.getFloat("S", "G"), 0.0f);
  EXPECT_EQ(reader.getFloat("S", "H"), 0.5f);
}

TEST(ZINIReader, Vector3) {
  const struct {
    const char* line;
    float x, y, z;
  } cases[] = {
      {"V=1.5,0,-2\r\n", 1.5f, 0, -2},
      {"V=1,2\r\n", 1, 2, 0},
      {"V=\r\n", 0, 0, 0},
      {"V=,,3\r\n", 3, 0, 0},  // empty parts are skipped like strtok does
      {"V= 4 , 5 , 6\r\n", 4, 5, 6},
  };
  for (const auto& c : cases) {
    const ZINIReader reader = withText(std::string("[P]\r\n") + c.line);
    float x = -1, y = -1, z = -1;
    reader.getVector3("P", "V", x, y, z);
    EXPECT_EQ(x, c.x) << c.line;
    EXPECT_EQ(y, c.y) << c.line;
    EXPECT_EQ(z, c.z) << c.line;
  }
  // Bare line feeds: z stops at the line feed.
  float x, y, z;
  withText("[P]\nV=1,2,3\nW=4\n").getVector3("P", "V", x, y, z);
  EXPECT_EQ(z, 3);
}

TEST(ZINIReader, Vector3ValueLongerThanItsBufferIsCutSafely) {
  // Only the first 255 characters are read: "2,3" lies beyond them.
  const std::string value = std::string(253, ' ') + "1,2,3";
  float x, y, z;
  withText("[P]\r\nV=" + value + "\r\n").getVector3("P", "V", x, y, z);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(z, 0);
}

TEST(ZINIReader, LoadReadsUpToFirstNulAndKeepsTextOnMissingFile) {
  TempFolder folder;
  const std::string file = folder.write("cfg/test.ini", std::string("[A]\r\nK=1\r\n\0[B]\r\n", 16));
  ZINIReader reader;
  reader.load(file);
  ASSERT_TRUE(reader.loaded);
  EXPECT_EQ(reader.text, "[A]\r\nK=1\r\n");
  reader.load(folder.path().string() + "/cfg/missing.ini");
  EXPECT_FALSE(reader.loaded);
  EXPECT_EQ(reader.text, "[A]\r\nK=1\r\n");
}

TEST(ZINIReader, WindowsNamesResolve) {
  TempFolder folder;
  folder.write("Cfg/PzPro.ini", "[A]\r\nK=4\r\n");
  folder.enter();
  ZINIReader reader;
  reader.load("cfg\\pzpro.INI");
  ASSERT_TRUE(reader.loaded);
  EXPECT_EQ(reader.getInt("A", "K"), 4);
}

TEST(NBINIReader, LoadsPlainFileEitherWay) {
  TempFolder folder;
  const std::string file = folder.write("refs.ini", "[PZPH_A]\r\nPOS=1,2,3\r\n");
  for (bool fromArchive : {false, true}) {
    NBINIReader reader;
    reader.load(file, fromArchive);
    ASSERT_TRUE(reader.loaded);
    float x, y, z;
    reader.getVector3("PZPH_A", "POS", x, y, z);
    EXPECT_EQ(y, 2);
    reader.load(file + ".missing", fromArchive);
    EXPECT_FALSE(reader.loaded);
    EXPECT_FALSE(reader.text.empty());
  }
}

}  // namespace
