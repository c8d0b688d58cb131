// The command-line tool as a user runs it: exit statuses, info as text and JSON, conversions
// that keep the model.
#include "formats/ZFileZMF.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "render/ZTexture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// A car body with a wheel: two frames, two textured geometries sharing a material.
std::string writeModel(const TempFolder& folder) {
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  root->name = "car";
  ZFrame* wheel = engine.getNewFrame();
  wheel->name = "WHEEL_LF";
  root->addChild(wheel);
  ZMaterial* paint = engine.getNewMaterial();
  paint->setTexture(engine.getTexture("paint.dds"));
  for (ZFrame* f : {root, wheel}) {
    ZGeometry* g = engine.getNewGeometry();
    g->name = f->name + "_mesh";
    for (float x : {0.0f, 1.0f, 0.0f, 1.0f}) g->addVertex({x, float(g->vertices.size() / 2), 0});
    g->addTriangle(0, 1, 2);
    g->addTriangle(2, 1, 3);
    g->setMaterial(paint);
    g->castShadow = true;
    f->addGeometry(g);
  }
  root->geometries[0]->setVar("SMOOTH", 1);
  folder.write("texture/paint.dds", "x");
  const std::string path = (folder.path() / "car.zmf").string();
  ZFileZMF file(&engine);
  EXPECT_TRUE(file.save(path, root));
  return path;
}

TEST(Zmftool, ExitStatusesFollowTheConventions) {
  struct Case {
    const char* arguments;
    int status;
  };
  const Case cases[] = {
      {"--version", 0},
      {"--help", 0},
      {"info --help", 0},
      {"", 2},
      {"frobnicate", 2},
      {"info", 2},
      {"info a.zmf b.zmf", 2},
      {"info --bogus a.zmf", 2},
      {"convert a.zmf b.txt", 2},
      {"trackgen", 2},
      {"trackgen stage.obj", 2},
      {"trackgen stage.zmt --length -5", 2},
      {"trackgen stage.zmt --length 1e9", 2},
      {"trackgen stage.zmt --seed x", 2},
      {"trackgen a.zmt b.zmt", 2},
      {"info /no/such/file.zmf", 1},
      {"info /no/such/file.unknown", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(zmftool(c.arguments).status, c.status) << c.arguments;
}

TEST(Zmftool, TrackgenWritesAStageWithItsCamerasTexturesAndNotes) {
  TempFolder folder;
  const std::string stage = folder.file("stage.zmf");
  const ToolRun run = zmftool("trackgen " + stage + " --seed 9 --length 600");
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("seed 9: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" sectors, "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" triangles, "), std::string::npos) << run.out;
  // The builder's cameras are the file's; its pictures lie where readers of the file look.
  const std::string info = zmftool("info " + stage).out;
  const size_t cameras = info.find("cameras ");
  ASSERT_NE(cameras, std::string::npos) << info;
  EXPECT_GT(std::atoi(info.c_str() + cameras + 8), 1) << info;
  EXPECT_TRUE(std::filesystem::exists(folder.file("texture/gravel_brown.dds")) ||
              std::filesystem::exists(folder.file("texture/gravel_grey.dds")));
  EXPECT_TRUE(std::filesystem::exists(folder.file("texture/asia_pine.dds")));
  EXPECT_NE(readFileText(folder.file("notes.txt")).find("GRAVEL "), std::string::npos);
  // The same seed, the same stage; notes where asked.
  const std::string again = folder.file("again.zmf");
  ASSERT_EQ(
      zmftool("trackgen " + again + " --seed 9 --length 600 --notes " + folder.file("again.txt"))
          .status,
      0);
  EXPECT_EQ(readFileText(again), readFileText(stage));
  EXPECT_EQ(readFileText(folder.file("again.txt")), readFileText(folder.file("notes.txt")));
}

TEST(Zmftool, InfoReportsCountsTreeAndTextures) {
  TempFolder folder;
  const std::string model = writeModel(folder);
  const ToolRun json = zmftool("info --json " + model);
  ASSERT_EQ(json.status, 0);
  for (const char* fragment :
       {"\"frames\":2,", "\"geometries\":2,", "\"vertices\":8,", "\"triangles\":4,",
        "\"materials\":1,", "\"cameras\":0,", "texture/paint.dds\",\"found\":true,",
        "{\"name\":\"WHEEL_LF\",\"parent\":\"car\",\"geometries\":[{\"name\":\"WHEEL_LF_mesh\","
        "\"vertices\":4,\"triangles\":2,\"material\":0,\"transparent\":false,"
        "\"castShadow\":true"}) {
    EXPECT_NE(json.out.find(fragment), std::string::npos) << fragment << "\n" << json.out;
  }
  const ToolRun text = zmftool("info " + model);
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("SMOOTH = 1"), std::string::npos) << text.out;
}

// Names are 8-bit text of any code page: what is not well-formed UTF-8 (here an encoded
// surrogate) is written as Latin-1, so the JSON stays valid.
TEST(Zmftool, InfoJsonIsValidUtf8ForAnyName) {
  TempFolder folder;
  const std::string path = (folder.path() / "names.zmf").string();
  {
    CaptureLog log;
    ZCorvane engine;
    ZFrame* root = engine.getNewFrame();
    root->name =
        "\xED\xA0\x80"
        "caf\xC3\xA9";
    ZFileZMF file(&engine);
    ASSERT_TRUE(file.save(path, root));
  }
  const ToolRun json = zmftool("info --json " + path);
  ASSERT_EQ(json.status, 0);
  EXPECT_NE(json.out.find("\"name\":\"\xC3\xAD\xC2\xA0\xC2\x80\x63\x61\x66\xC3\x83\xC2\xA9\""),
            std::string::npos)
      << json.out;
}

TEST(Zmftool, ConvertingThroughTextKeepsTheModel) {
  TempFolder folder;
  const std::string model = writeModel(folder);
  const std::string text = (folder.path() / "car.zmt").string();
  const std::string back = (folder.path() / "back.zmf").string();
  ASSERT_EQ(zmftool("convert " + model + " " + text).status, 0);
  ASSERT_EQ(zmftool("convert " + text + " " + back).status, 0);
  const std::string before = zmftool("info --json " + model).out;
  const std::string after = zmftool("info --json " + back).out;
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(after, before);
  // Scaling goes through to the positions: the model's box doubles.
  const std::string scaled = (folder.path() / "big.zmf").string();
  ASSERT_EQ(zmftool("convert " + model + " " + scaled + " --scale 2").status, 0);
  CaptureLog log;
  ZCorvane engine;
  ZFileZMF file(&engine);
  ZFrame* root = file.load(scaled, nullptr, false);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->geometries[0]->vertices[3].position.x, 2);
  EXPECT_EQ(root->geometries[0]->vertices[3].position.y, 2);
}

TEST(Zmftool, ConvertExportsAndTheGltfComesBack) {
  TempFolder folder;
  const std::string model = writeModel(folder);
  const std::string before = zmftool("info --json " + model).out;
  for (const char* name : {"out.glb", "out.gltf"}) {
    SCOPED_TRACE(name);
    const std::string exported = (folder.path() / name).string();
    const std::string back = (folder.path() / "back.zmf").string();
    ASSERT_EQ(zmftool("convert " + model + " " + exported).status, 0);
    ASSERT_EQ(zmftool("convert " + exported + " " + back).status, 0);
    EXPECT_EQ(zmftool("info --json " + back).out, before);
  }
  for (const char* name : {"out.obj", "out.fbx", "out.dae"}) {
    EXPECT_EQ(zmftool("convert " + model + " " + (folder.path() / name).string()).status, 0)
        << name;
  }
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "out.mtl"));
}

TEST(Zmftool, ArchivesAndScrambledFilesRoundTrip) {
  TempFolder folder;
  folder.write("in/cars/a.ini", "[CAR]\nMASS=900\n");
  folder.write("in/b.txt", std::string(3000, 'b'));
  folder.enter();
  for (const char* scrambled : {"", " --scrambled"}) {
    ASSERT_EQ(zmftool(std::string("pack data.pzfs in/cars/a.ini in/b.txt") + scrambled).status, 0);
    const ToolRun list = zmftool(std::string("list data.pzfs --json") + scrambled);
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(list.out,
              "[{\"name\":\"in/cars/a.ini\",\"size\":15},{\"name\":\"in/b.txt\",\"size\":3000}]\n");
    ASSERT_EQ(zmftool(std::string("unpack data.pzfs -C out") + scrambled).status, 0);
    EXPECT_EQ(readFileText(folder.path() / "out/in/cars/a.ini"), "[CAR]\nMASS=900\n");
    EXPECT_EQ(readFileText(folder.path() / "out/in/b.txt"), std::string(3000, 'b'));
  }
  ASSERT_EQ(zmftool("scramble in/b.txt b.tq").status, 0);
  EXPECT_NE(readFileText(folder.path() / "b.tq"), std::string(3000, 'b'));
  ASSERT_EQ(zmftool("unscramble b.tq back.txt").status, 0);
  EXPECT_EQ(readFileText(folder.path() / "back.txt"), std::string(3000, 'b'));
  EXPECT_EQ(zmftool("unscramble in/b.txt x.txt").status, 1);
  EXPECT_EQ(zmftool("list in/b.txt").status, 1);
}

// The bundled samples as the editor will use them: every name the car checks and the car test
// look for, a transparent and shadow-casting meshes, textures that resolve; the flag model.
TEST(Zmfsamples, CarAndFlagCarryWhatTheEditorLooksFor) {
  TempFolder folder;
  const std::string out = folder.path().string();
  ASSERT_EQ(std::system((std::string(ZMFSAMPLES) + " " + out).c_str()), 0);
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZFileZMF car(&engine);
  car.addTexturePath(out + "/samples/car/texture");
  ZFrame* root = engine.getNewFrame();
  ASSERT_TRUE(car.loadText(out + "/samples/car/car.zmt", root)) << log.text();
  for (const char* name : {"WHEEL_LF", "WHEEL_RF", "WHEEL_LR", "WHEEL_RR", "SUSP_LF", "SUSP_RF",
                           "SUSP_LR", "SUSP_RR", "STEER", "Pilot_HR", "HELMET"}) {
    EXPECT_NE(root->getFrame(name), nullptr) << name;
  }
  EXPECT_NE(root->getGeometry("DRIVER_name", true), nullptr);
  bool transparent = false, shadow = false;
  for (const auto& g : engine.geometries) {
    transparent |= g->transparent && g->material != nullptr && g->material->alphaBlend;
    shadow |= g->castShadow;
  }
  EXPECT_TRUE(transparent);
  EXPECT_TRUE(shadow);
  ASSERT_EQ(engine.textures.size(), 3u);  // body, glass, tyre: each loaded once
  for (const auto& t : engine.textures) EXPECT_GT(t->width, 0) << t->name;  // found and read
  EXPECT_TRUE(desktop.messages.empty());

  ZFileZMF flag(&engine);
  flag.addTexturePath(out + "/flags/texture");
  ZFrame* model = flag.load(out + "/flags/flag.pzo", nullptr, false);
  ASSERT_NE(model, nullptr);
  SFrameStatistics stats;
  model->getStatistics(stats);
  EXPECT_EQ(stats.geometries, 2u);
  ASSERT_NE(model->getGeometry("CLOTH", false), nullptr);
  EXPECT_GT(model->getGeometry("CLOTH", false)->material->stage(0).texture->width, 0);
}

}  // namespace
