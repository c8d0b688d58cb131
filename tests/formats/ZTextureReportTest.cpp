// The texture report and the draw budget of loaded models: how each reference found its file,
// what the cache holds for it, who uses it; names from hostile files; the importers' search of
// the model's own folders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/ZDrawBudget.h"
#include "formats/ZModelFile.h"
#include "formats/ZTextureReport.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

namespace {

// An uncompressed 32-bit TGA of width x height.
std::string tga(int width, int height) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = char(width), bytes[13] = char(width >> 8);
  bytes[14] = char(height), bytes[15] = char(height >> 8);
  bytes[16] = 32, bytes[17] = 8;
  bytes.append(size_t(width) * height * 4, '\x40');
  return bytes;
}

// One triangle per material: "use <material>" lines select them.
std::string objWithMaterials(const std::vector<std::string>& materials) {
  std::string obj = "mtllib model.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
  for (const std::string& m : materials) obj += "o " + m + "_MESH\nusemtl " + m + "\nf 1 2 3\n";
  return obj;
}

std::vector<std::string> names(const std::vector<const ZGeometry*>& geometries) {
  std::vector<std::string> out;
  for (const ZGeometry* g : geometries) out.push_back(g->name);
  return out;
}

class TextureReportTest : public ::testing::Test {
 protected:
  const STextureReport* find(const std::vector<STextureReport>& reports, const std::string& name) {
    for (const STextureReport& r : reports) {
      if (r.storedName == name) return &r;
    }
    ADD_FAILURE() << "no report for " << name;
    return nullptr;
  }

  ScopedDesktop desktop;
  CaptureLog log;
  TempFolder folder;
  ZCorvane engine;
  LoadedModel model;
};

TEST_F(TextureReportTest, EachReferenceSaysHowItFoundItsFileAndWhatTheCacheHolds) {
  folder.write("texture/exact.tga", tga(8, 4));
  folder.write("texture/case.tga", tga(16, 16));
  folder.write("maps/wood.tga", tga(2, 2));  // where the MTL names it, relative to the model
  folder.write("model.mtl",
               "newmtl A\nmap_Kd exact.tga\nnewmtl B\nmap_Kd C:\\work\\CASE.TGA\n"
               "newmtl C\nmap_Kd missing.tga\nnewmtl D\nmap_Kd maps/wood.tga\n"
               "newmtl E\nmap_Kd exact.tga\n");
  const std::string path = folder.write("model.obj", objWithMaterials({"A", "B", "C", "D", "E"}));
  ASSERT_TRUE(loadModel(path, engine, 1, false, model));
  const std::vector<STextureReport> reports = reportTextures(*model.root);
  ASSERT_EQ(reports.size(), 4u);  // exact.tga once, for both its users

  const STextureReport* exact = find(reports, "exact.tga");
  ASSERT_NE(exact, nullptr);
  EXPECT_EQ(exact->match, TextureMatch::exact);
  EXPECT_EQ(exact->file, folder.file("texture/exact.tga"));
  EXPECT_EQ(exact->fileFormat, D3DFMT_A8R8G8B8);
  EXPECT_EQ(exact->width, 8u);
  EXPECT_EQ(exact->height, 4u);
  EXPECT_EQ(exact->fileLevels, 1u);
  EXPECT_EQ(exact->levels, 4u);  // 8x4, 4x2, 2x1, 1x1
  EXPECT_EQ(exact->bytes, uint64_t(8 * 4 + 4 * 2 + 2 * 1 + 1) * 4);
  EXPECT_EQ(names(exact->geometries), (std::vector<std::string>{"A_MESH", "E_MESH"}));

  const STextureReport* caseOnly = find(reports, "C:\\work\\CASE.TGA");
  ASSERT_NE(caseOnly, nullptr);
  EXPECT_EQ(caseOnly->match, TextureMatch::caseOnly);
  EXPECT_EQ(caseOnly->file, folder.file("texture/case.tga"));  // spelled as on disk
  EXPECT_EQ(caseOnly->width, 16u);

  const STextureReport* missing = find(reports, "missing.tga");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->match, TextureMatch::missing);
  EXPECT_EQ(missing->file, "");
  EXPECT_EQ(missing->bytes, 0u);

  const STextureReport* relative = find(reports, "maps/wood.tga");
  ASSERT_NE(relative, nullptr);
  EXPECT_EQ(relative->match, TextureMatch::exact);
  EXPECT_EQ(relative->file, folder.file("maps/wood.tga"));
}

TEST_F(TextureReportTest, HostileNamesAreReportedAsTheyAreAndNeverLeadOutOfTheModel) {
  // A picture above the model's folder that the names below try to reach.
  TempFolder outside;
  outside.write("secret.tga", tga(4, 4));
  outside.write("private.tga", tga(4, 4));
  const std::string climb = "../" + outside.path().filename().string() + "/secret.tga";
  const std::string absolute = outside.file("private.tga");
  const std::string control = "bad\x01name.tga";
  const std::string longName = std::string(5000, 'x') + ".tga";
  folder.write("model.mtl", "newmtl A\nmap_Kd " + climb + "\nnewmtl B\nmap_Kd " + absolute +
                                "\nnewmtl C\nmap_Kd " + control + "\nnewmtl D\nmap_Kd " + longName +
                                "\n");
  const std::string path = folder.write("model.obj", objWithMaterials({"A", "B", "C", "D"}));
  ASSERT_TRUE(loadModel(path, engine, 1, false, model));
  const std::vector<STextureReport> reports = reportTextures(*model.root);
  ASSERT_EQ(reports.size(), 4u);
  for (const std::string& name : {climb, absolute, control, longName}) {
    const STextureReport* r = find(reports, name);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->match, TextureMatch::missing) << name.substr(0, 80);
    EXPECT_EQ(r->width, 0u) << "nothing read for " << name.substr(0, 80);
  }
}

TEST_F(TextureReportTest, PublicFilesWithTexturesNameThemAsTheirToolsWrote) {
  const struct {
    const char* file;
    const char* reference;
    TextureMatch match;
  } cases[] = {
      {"obj/spider.obj", ".\\SpiderTex.jpg", TextureMatch::missing},
      {"x/kwxport_test_cubewithvcolors.x",
       "C:\\code\\sourceforge\\kwxport\\trunkMerged\\test\\data\\top.tga", TextureMatch::missing},
      {"gltf2/BoxTextured.gltf", "CesiumLogoFlat.png", TextureMatch::exact},
  };
  for (const auto& c : cases) {
    ZCorvane files;
    LoadedModel loaded;
    ASSERT_TRUE(loadModel(std::string(SHARED_TESTDATA) + "/" + c.file, files, 1, false, loaded));
    const std::vector<STextureReport> reports = reportTextures(*loaded.root);
    const STextureReport* r = find(reports, c.reference);
    ASSERT_NE(r, nullptr) << c.file;
    EXPECT_EQ(r->match, c.match) << c.file;
    EXPECT_FALSE(r->geometries.empty()) << c.file;
  }
}

TEST_F(TextureReportTest, BudgetCountsEveryMeshAndTheDrawsOfTheVisibleOnes) {
  folder.write("texture/exact.tga", tga(8, 4));
  folder.write("model.mtl", "newmtl A\nmap_Kd exact.tga\nnewmtl B\n");
  const std::string path = folder.write("model.obj", objWithMaterials({"A", "B", "C"}));
  ASSERT_TRUE(loadModel(path, engine, 1, false, model));
  std::vector<ZGeometry*> meshes;
  for (const auto& g : engine.geometries) meshes.push_back(g.get());
  ASSERT_EQ(meshes.size(), 3u);
  meshes[0]->castShadow = true;
  meshes[2]->visible = false;
  // A mesh past the 16-bit index limit is drawn in pieces.
  ZGeometry* big = meshes[1];
  for (int i = 0; i < 70000; ++i) big->addVertex({float(i), 0, 0});
  for (int i = 0; i + 2 < 70000; i += 3) big->addTriangle(i, i + 1, i + 2);
  ASSERT_EQ(big->drawPieceCount(), 2);

  const std::vector<STextureReport> textures = reportTextures(*model.root);
  const SDrawBudget budget = measureDrawBudget(*model.root, textures);
  EXPECT_EQ(budget.geometries, 3u);
  EXPECT_EQ(budget.triangles, uint64_t(1 + big->faces.size() + 1));
  EXPECT_EQ(budget.litDraws, 1u + 2u);  // the hidden mesh is not drawn
  EXPECT_EQ(budget.shadowDraws, 2u);    // the caster, once in each shadow pass
  EXPECT_EQ(budget.draws(), 5u);
  EXPECT_EQ(budget.textureBytes, textures[0].bytes);
  EXPECT_EQ(budget.textureBytesByFormat.at("A8R8G8B8"), textures[0].bytes);
  ASSERT_FALSE(budget.heaviestGeometries.empty());
  EXPECT_EQ(budget.heaviestGeometries[0], big);
}

}  // namespace
