// `zmftool textures` and `zmftool budget` as a modder runs them: exit status, JSON, and the
// fixed copy read back.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/TempFolder.h"
#include "tests/support/ToolRun.h"

namespace {

std::string tga(int side) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = char(side), bytes[14] = char(side);
  bytes[16] = 32, bytes[17] = 8;
  bytes.append(size_t(side) * side * 4, '\x40');
  return bytes;
}

class ZmftoolContent : public ::testing::Test {
 protected:
  // A model whose three textures resolve exactly, by letter case only, and not at all.
  std::string writeModel() {
    folder.write("texture/exact.tga", tga(4));
    folder.write("texture/case.tga", tga(8));
    folder.write("model.mtl",
                 "newmtl A\nmap_Kd exact.tga\nnewmtl B\nmap_Kd CASE.TGA\n"
                 "newmtl C\nmap_Kd gone.tga\n");
    return folder.write("model.obj",
                        "mtllib model.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\no A\nusemtl A\nf 1 2 3\n"
                        "o B\nusemtl B\nf 1 2 3\no C\nusemtl C\nf 1 2 3\n");
  }
  TempFolder folder;
};

TEST_F(ZmftoolContent, TexturesExitStatusTellsWhetherEveryReferenceIsExact) {
  const std::string model = writeModel();
  folder.write("good.mtl", "newmtl A\nmap_Kd exact.tga\n");
  const std::string good =
      folder.write("good.obj", "mtllib good.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl A\nf 1 2 3\n");
  const struct {
    std::string arguments;
    int status;
  } cases[] = {
      {"textures " + good, 0},
      {"textures " + model, 1},
      {"textures " + model + " --json", 1},
      {"textures", 2},
      {"textures " + model + " --fix", 2},              // no output named
      {"textures " + model + " --fix -o out.png", 2},   // not a model format
      {"textures " + model + " --fix -o " + model, 2},  // OBJ is not written
      {"textures " + folder.file("none.obj"), 1},
      {"budget " + model, 0},
      {"budget", 2},
      {"budget " + folder.file("none.obj"), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(zmftool(c.arguments).status, c.status) << c.arguments;

  const ToolRun json = zmftool("textures " + model + " --json");
  EXPECT_NE(json.out.find("\"ok\":false"), std::string::npos) << json.out;
  for (const char* part :
       {"{\"name\":\"exact.tga\",\"match\":\"exact\"",
        "{\"name\":\"CASE.TGA\",\"match\":\"case-only\"",
        "{\"name\":\"gone.tga\",\"match\":\"missing\",\"file\":\"\"", "\"geometries\":[\"B\"]"}) {
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
  }
}

TEST_F(ZmftoolContent, FixWritesACopyNamingTheFilesAsOnDisk) {
  const std::string model = writeModel();
  const std::string fixed = folder.file("fixed.zmt");
  EXPECT_EQ(zmftool("textures " + model + " --fix -o " + fixed).status, 1);  // one stays missing
  const std::string text = readFileText(fixed);
  EXPECT_NE(text.find("TEXTURE=case.tga"), std::string::npos) << text;
  EXPECT_NE(text.find("TEXTURE=exact.tga"), std::string::npos);
  EXPECT_NE(text.find("TEXTURE=gone.tga"), std::string::npos);
  EXPECT_EQ(text.find(folder.path().string()), std::string::npos) << "bare names only";

  const ToolRun again = zmftool("textures " + fixed + " --json");
  EXPECT_NE(again.out.find("{\"name\":\"case.tga\",\"match\":\"exact\""), std::string::npos)
      << again.out;
  EXPECT_NE(again.out.find("{\"name\":\"gone.tga\",\"match\":\"missing\""), std::string::npos);
  EXPECT_EQ(readFileText(model).find("fixed"), std::string::npos);  // the input is untouched
}

TEST_F(ZmftoolContent, BudgetReportsDrawsAndTextureMemory) {
  const ToolRun run = zmftool("budget " + writeModel() + " --json");
  ASSERT_EQ(run.status, 0);
  // Three visible meshes, none casting shadows: three draws; 4x4 and 8x8 textures with full
  // chains as A8R8G8B8.
  for (const char* part : {"\"geometries\":3", "\"draws\":3", "\"shadowDraws\":0"}) {
    EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
  }
  const uint64_t expected = (16 + 4 + 1) * 4 + (64 + 16 + 4 + 1) * 4;
  EXPECT_NE(run.out.find("\"textureBytes\":" + std::to_string(expected)), std::string::npos)
      << run.out;
}

}  // namespace
