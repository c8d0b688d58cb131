// Export: the sample car and random scenes through glTF and back, compared through what the
// editor saves; the glTF's shape; OBJ, FBX and DAE as assimp reads them; names those formats
// cannot take; exports that fail leave nothing behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "editor/CEditInterface.h"
#include "formats/ZModelFile.h"
#include "foundation/ZDataFolder.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/AssimpSummary.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

size_t triangles(const ZFrame& frame) {
  size_t count = 0;
  for (const ZGeometry* g : frame.geometries) count += g->faces.size();
  for (const ZFrame* child : frame.children) count += triangles(*child);
  return count;
}

std::vector<std::string> filesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class EditorExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path data = findDataFolder();
    ASSERT_FALSE(data.empty()) << "no data folder";
    fs::copy(data / "samples/car", folder.path() / "car", fs::copy_options::recursive);
    car = folder.file("car/car.zmt");
  }

  std::unique_ptr<CEditInterface> open(const std::string& model) {
    auto editor = std::make_unique<CEditInterface>("");
    EXPECT_TRUE(editor->openModel(model)) << model;
    EXPECT_NE(editor->rootFrame, nullptr) << model;
    return editor;
  }
  // What the editor saves of the model: the ZMT and the track cameras.
  std::string saved(CEditInterface& editor, const std::string& name) {
    const std::string zmt = folder.file(name + ".zmt");
    const std::string cameras = folder.file(name + ".cams");
    EXPECT_TRUE(editor.saveZMT(zmt));
    editor.exportCameras(cameras);
    return readFileText(zmt) + readFileText(cameras);
  }

  CaptureLog log;
  ScopedDesktop desktop;
  TempFolder folder;
  std::string car;
};

TEST_F(EditorExportTest, TheSampleCarComesBackThroughGltfAndGlb) {
  auto original = open(car);
  ZCamera* camera = original->newTrackCamera();
  original->editorCamera->position = {1, 2, 3};
  original->setTrackCamera(0, 7, 12, 48, true);
  camera->name = "pit lane";
  original->rootFrame->children[0]->moveable = true;
  const std::string before = saved(*original, "before");
  for (const char* name : {"car/car.gltf", "car/car.glb"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(original->exportModel(folder.file(name), false));
    auto back = open(folder.file(name));
    EXPECT_EQ(back->rootFrame->children[0]->moveable, true);
    const std::string after = saved(*back, "after");
    EXPECT_TRUE(after == before) << "the round trip changed the saved file";
  }
  EXPECT_EQ(filesIn(folder.path() / "car"),
            (std::vector<std::string>{"car.bin", "car.glb", "car.gltf", "car.zmt", "texture"}));
}

// A random model: frames with turned and moved matrices, meshes with random vertices, faces,
// both texture channels, variables and flags, materials with random fields, stages, textures,
// effect names and variables; cameras. It goes through a ZMT load first, so that it is a model
// as the editor holds one.
void writeRandomModel(std::mt19937& random, const std::string& path, const std::string& pictures) {
  std::uniform_real_distribution<float> value(-10, 10);
  std::uniform_int_distribution<int> small(0, 5);
  CEditInterface maker("");
  ZCorvane& r = *maker.renderer;
  std::vector<ZMaterial*> materials;
  for (int i = 0; i < 4; ++i) {
    ZMaterial* m = r.getNewMaterial();
    m->setDiffuse(value(random), value(random), value(random), false);
    m->setSpecular(value(random), value(random), value(random));
    m->setEmissive(value(random), value(random), value(random));
    m->setAmbient(value(random), value(random), value(random));
    m->setOpacity(std::abs(value(random)) / 10);
    m->setShininess(std::abs(value(random)));
    m->doubleFace = small(random) % 2 == 0;
    m->alphaTest = small(random) % 2 == 0;
    m->alphaRef = uint8_t(small(random) * 40);
    m->alphaBlend = small(random) % 2 == 0;
    m->forceNoDepthWrite = small(random) % 2 == 0;
    m->textureFactor = std::abs(value(random)) / 10;
    for (int s = 0; s < 3; ++s) {
      if (small(random) < 2) continue;
      ZMaterialStage& stage = m->stage(s);
      stage.texture = r.getTexture(pictures + "/pic" + std::to_string(small(random)) + ".tga");
      stage.active = small(random) % 2 == 0;
      stage.colorOp = small(random);
      stage.texCoordIndex = small(random) % 2;
      stage.textureAddressU = 1 + small(random) % 3;
    }
    if (small(random) < 3) {
      m->effectName = "effect" + std::to_string(i) + ".fxo";
      m->effectVars.push_back(
          std::make_unique<SEffectVariable>(SEffectVariable{"k", nullptr, value(random)}));
    }
    materials.push_back(m);
  }
  const auto mesh = [&](ZFrame* owner, int n) {
    ZGeometry* g = r.getNewGeometry();
    g->name = "mesh " + std::to_string(n);
    g->setMaterial(n % 7 == 3 ? nullptr : materials[size_t(small(random)) % materials.size()]);
    const int vertices = 3 + small(random) * 3;
    for (int v = 0; v < vertices; ++v) {
      g->addVertex({value(random), value(random), value(random)});
      g->vertices.back().normal = {value(random), value(random), value(random)};
      g->setTextureVertex(v, value(random), value(random), 0);
      g->setTextureVertex(v, value(random), value(random), 1);
    }
    for (int f = 0; f + 2 < vertices; f += 3) g->addTriangle(f, f + 2, f + 1);
    g->addTriangle(0, 1, 2);
    if (small(random) < 3) g->setVar("SMOOTH", float(small(random)));
    g->transparent = small(random) % 2 == 0;
    g->castShadow = small(random) % 2 == 0;
    owner->addGeometry(g);
  };
  int meshes = 0;
  const auto frame = [&](ZFrame* parent, const std::string& name) {
    ZFrame* f = r.getNewFrame();
    f->name = name;
    f->rotateHeadingDEG(value(random) * 18);
    f->rotatePitchDEG(value(random) * 9);
    f->move(value(random), value(random), value(random));
    f->moveable = small(random) % 2 == 0;
    if (parent != nullptr) parent->addChild(f);
    for (int i = small(random) % 3; i >= 0; --i) mesh(f, meshes++);
    return f;
  };
  maker.rootFrame = frame(nullptr, "root");
  std::vector<ZFrame*> frames = {maker.rootFrame};
  for (int i = 0; i < 6; ++i) {
    frames.push_back(frame(frames[size_t(small(random)) % frames.size()], "f" + std::to_string(i)));
  }
  ASSERT_TRUE(maker.saveZMT(path));
}

TEST_F(EditorExportTest, RandomModelsComeBackThroughGltf) {
  fs::create_directories(folder.path() / "random/texture");
  for (int i = 0; i < 6; ++i) folder.write("random/texture/pic" + std::to_string(i) + ".tga", "x");
  const std::string pictures = folder.file("random/texture");
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    const std::string made = folder.file("random/model.zmt");
    writeRandomModel(random, made, pictures);
    auto original = open(made);
    for (int c = 0; c < int(seed); ++c) original->newTrackCamera()->tag = c * 3;
    const std::string before = saved(*original, "before");
    ASSERT_TRUE(original->exportModel(folder.file("random/model.gltf"), false));
    auto back = open(folder.file("random/model.gltf"));
    EXPECT_TRUE(saved(*back, "after") == before) << "the round trip changed the saved file";
  }
}

TEST_F(EditorExportTest, TheCarsGltfIsWellFormedAndAssimpReadsItsTriangles) {
  auto editor = open(car);
  const std::string path = folder.file("car/car.gltf");
  ASSERT_TRUE(editor->exportModel(path, false));
  const nlohmann::json json = nlohmann::json::parse(readFileText(path));  // throws when invalid
  ASSERT_EQ(json["buffers"].size(), 1u);
  const size_t bufferLength = json["buffers"][0]["byteLength"];
  EXPECT_EQ(json["buffers"][0]["uri"], "car.bin");
  EXPECT_EQ(fs::file_size(folder.file("car/car.bin")), bufferLength);
  for (const auto& view : json["bufferViews"]) {
    EXPECT_LE(size_t(view.value("byteOffset", 0)) + size_t(view["byteLength"]), bufferLength);
  }
  for (const auto& mesh : json["meshes"]) {
    for (const auto& primitive : mesh["primitives"]) {
      const auto& position = json["accessors"][size_t(primitive["attributes"]["POSITION"])];
      EXPECT_EQ(position["min"].size(), 3u);
      EXPECT_EQ(position["max"].size(), 3u);
    }
  }
  // The texture is referenced from the export's folder.
  EXPECT_EQ(json["images"][0]["uri"].get<std::string>().rfind("texture/", 0), 0u);

  const size_t expected = triangles(*editor->rootFrame);
  ASSERT_GT(expected, 100u);
  for (const char* name : {"car/car.gltf", "car/export.obj", "car/export.fbx", "car/export.dae"}) {
    SCOPED_TRACE(name);
    if (std::string(name) != "car/car.gltf") {
      ASSERT_TRUE(editor->exportModel(folder.file(name), false));
    }
    const AssimpSummary read = summariseWithAssimp(folder.file(name), false);
    ASSERT_TRUE(read.read) << read.error;
    EXPECT_EQ(read.triangles, expected);
  }
  EXPECT_TRUE(fs::exists(folder.file("car/export.mtl")));
}

TEST_F(EditorExportTest, TexturesAreCopiedBesideTheExportWhenAsked) {
  auto editor = open(car);
  fs::create_directory(folder.path() / "out");
  ASSERT_TRUE(editor->exportModel(folder.file("out/car.glb"), true));
  const std::vector<std::string> files = filesIn(folder.path() / "out");
  EXPECT_GT(files.size(), 2u);
  for (const std::string& name : filesIn(folder.path() / "car/texture")) {
    EXPECT_NE(std::find(files.begin(), files.end(), name), files.end()) << name;
  }
  // The copy reads back with its pictures found beside it.
  auto back = open(folder.file("out/car.glb"));
  EXPECT_EQ(triangles(*back->rootFrame), triangles(*editor->rootFrame));
}

TEST_F(EditorExportTest, NamesTheFormatsCannotTakeAreMadeValidAndUnique) {
  auto editor = open(car);
  ZFrame& root = *editor->rootFrame;
  root.geometries[0]->name = "left door";
  root.geometries[1]->name = "left door";
  const std::string path = folder.file("car/names.obj");
  ASSERT_TRUE(editor->exportModel(path, false));
  const std::string obj = readFileText(path);
  EXPECT_NE(obj.find("left_door\n"), std::string::npos);
  EXPECT_NE(obj.find("left_door_2\n"), std::string::npos);
  EXPECT_NE(log.text().find("name \"left door\" written as \"left_door_2\""), std::string::npos);
  // glTF keeps names as they are.
  ASSERT_TRUE(editor->exportModel(folder.file("car/names.gltf"), false));
  EXPECT_NE(readFileText(folder.file("car/names.gltf")).find("\"left door\""), std::string::npos);
}

TEST_F(EditorExportTest, AFailedExportLeavesNothingBehind) {
  auto editor = open(car);
  // A folder where the file should go, and a folder that takes no new files.
  fs::create_directories(folder.path() / "taken/car.gltf");
  fs::create_directories(folder.path() / "binTaken/car.bin");
  fs::create_directory(folder.path() / "locked");
  ASSERT_EQ(chmod(folder.file("locked").c_str(), 0555), 0);
  const bool root = geteuid() == 0;  // root writes anyway
  for (const char* name :
       {"taken/car.gltf", "binTaken/car.gltf", "locked/car.obj", "car/car.zmx"}) {
    SCOPED_TRACE(name);
    const fs::path target = folder.file(name);
    const std::vector<std::string> before = filesIn(target.parent_path());
    if (std::string(name).rfind("locked", 0) == 0 && root) continue;
    EXPECT_FALSE(editor->exportModel(target.string(), false));
    EXPECT_EQ(filesIn(target.parent_path()), before);
  }
  EXPECT_TRUE(fs::is_directory(folder.file("taken/car.gltf")));
  chmod(folder.file("locked").c_str(), 0755);
}

}  // namespace
