// The editor core through its headless host: start-up, frames drawn and read back, the views,
// the model formats it opens.
#include "editor/CHeadlessEditHost.h"
#include "formats/ZDrawBudget.h"
#include "formats/ZModelFormat.h"
#include "formats/ZTextureReport.h"
#include "foundation/ZDataFolder.h"
#include "render/ZCorvane.h"
#include "scene/ZBounds.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "tests/support/CaptureLog.h"
#include "track/CTrackBuilder.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

// A data folder of the build's run-time files, with the given "zmfedit.ini" or none.
class EditorSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source = findDataFolder();
    ASSERT_FALSE(source.empty()) << "no data folder";
    for (const char* entry : {"shaders", "texture", "flags", "samples"}) {
      fs::create_directory_symlink(source / entry, folder.path() / entry);
    }
  }
  std::unique_ptr<CHeadlessEditHost> start(const std::string& ini) {
    if (!ini.empty()) folder.write("zmfedit.ini", ini);
    auto host = std::make_unique<CHeadlessEditHost>(folder.path());
    EXPECT_NE(host->context, nullptr) << host->contextError;
    EXPECT_NE(host->editor->renderer->device, nullptr);
    return host;
  }
  std::unique_ptr<CHeadlessEditHost> startSmall() {
    return start("[DISPLAY]\nWIDTH=320\nHEIGHT=240\n");
  }
  std::string sampleCar() const { return (source / "samples/car/car.zmt").string(); }

  struct Rgb {
    int r, g, b;
  };
  static Rgb pixel(const CHeadlessEditHost& host, int x, int y) {
    const std::vector<uint8_t> rgba = host.readPixels();
    const size_t at = (size_t(y) * size_t(host.context->width()) + size_t(x)) * 4;
    return {rgba[at], rgba[at + 1], rgba[at + 2]};
  }
  static int redPixels(const CHeadlessEditHost& host) {
    const std::vector<uint8_t> rgba = host.readPixels();
    int red = 0;
    for (size_t at = 0; at + 3 < rgba.size(); at += 4) {
      red += rgba[at] > 120 && rgba[at] > 2 * rgba[at + 1] && rgba[at] > 2 * rgba[at + 2];
    }
    return red;
  }
  // Pixels of a box (top-left x0, y0 inclusive; x1, y1 exclusive) that are not black.
  static int litPixels(const CHeadlessEditHost& host, int x0, int y0, int x1, int y1) {
    const std::vector<uint8_t> rgba = host.readPixels();
    int lit = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const size_t at = (size_t(y) * size_t(host.context->width()) + size_t(x)) * 4;
        if (rgba[at] + rgba[at + 1] + rgba[at + 2] > 30) ++lit;
      }
    }
    return lit;
  }

  CaptureLog log;
  TempFolder folder;
  fs::path source;
};

TEST_F(EditorSessionTest, ViewSizeComesFromTheIniOrDefaults) {
  {
    auto host = start("");
    EXPECT_EQ(host->editor->viewWidth, 1024);
    EXPECT_EQ(host->editor->viewHeight, 768);
    EXPECT_EQ(host->editor->editorCamera->aspect, 1.0f);  // 1024 / 768 in whole numbers
  }
  auto host = start("[DISPLAY]\r\nWIDTH=320\r\nHEIGHT=200\r\n");
  EXPECT_EQ(host->editor->viewWidth, 320);
  EXPECT_EQ(host->editor->viewHeight, 200);
  EXPECT_EQ(host->context->width(), 320);
  const std::string text = log.text();
  EXPECT_NE(text.find("* version 0.0.1\n"), std::string::npos);
  EXPECT_NE(text.find("corvane->device="), std::string::npos);
  EXPECT_TRUE(host->desktop.messages.empty());
  EXPECT_EQ(host->editor->physicRefs.size(), 128u);
  EXPECT_NE(host->editor->flagModel, nullptr);
  EXPECT_FALSE(host->editor->flagModel->children.empty() &&
               host->editor->flagModel->geometries.empty());
}

TEST_F(EditorSessionTest, SampleCarFrameShowsModelCrossHairAndLabel) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.loadZMT(sampleCar());
  ASSERT_NE(editor.rootFrame, nullptr);
  EXPECT_EQ(host->treeUpdates, 1);
  EXPECT_FALSE(host->progress.empty());
  EXPECT_EQ(host->progress.back(), 100);
  // With nothing selected the two shadow maps show at the top right: cleared to white around
  // the car's small shadow, not the black of their unrendered smaller levels.
  editor.onIdle();
  for (const int y : {36, 64}) {
    const Rgb map = pixel(*host, 296, y);
    EXPECT_GT(map.r + map.g + map.b, 600) << y;
  }
  editor.showLayers = false;
  editor.onIdle();
  // The car, small at 20 units, in the middle (its red body); the cross-hair drawn over it.
  EXPECT_GT(redPixels(*host), 40);
  const Rgb centre = pixel(*host, 160, 120);
  EXPECT_LT(centre.r, 40);
  EXPECT_GT(centre.g, 200);
  EXPECT_GT(centre.b, 200);
  // "FREE" at the top left, nothing there in the frame of a model seen from the front.
  EXPECT_GT(litPixels(*host, 0, 0, 60, 24), 10);
  editor.navigationMode = 0;
  editor.onIdle();
  const int orbital = litPixels(*host, 0, 0, 80, 24);
  editor.navigationMode = 2;
  editor.onIdle();
  EXPECT_NE(litPixels(*host, 0, 0, 80, 24), orbital);  // "FREE" again, not "ORBITAL"
}

TEST_F(EditorSessionTest, TopViewWithNegativeZoomLooksUp) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.loadZMT(sampleCar());
  editor.viewMode = 2;
  editor.orthoZoom = -1;
  editor.onIdle();
  const ZCamera& camera = *editor.editorCamera;
  EXPECT_EQ(camera.position.x, 0);
  EXPECT_EQ(camera.position.y, -10);
  EXPECT_EQ(camera.position.z, 0);
  EXPECT_EQ(camera.heading.y, 1);
  EXPECT_EQ(camera.up.x, -1);
  EXPECT_TRUE(camera.isOrthographic);
  // The car seen from below fills part of the view.
  EXPECT_GT(litPixels(*host, 0, 30, 320, 240), 1000);
}

TEST_F(EditorSessionTest, ReferencePointsAreDrawnInReferenceMode) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.showLayers = false;
  editor.editorCamera->move(0, 0, -10);
  SPhysicRef& start = editor.getPhysicRef("PZTR_START1");
  start.x = 3;
  start.y = -2;
  SPhysicRef& board = editor.getPhysicRef("PZTR_BOARD");
  board.x = -3;
  board.y = -2;
  editor.getPhysicRef("PZTR_BOARDd").x = 90;  // facing the camera
  editor.onIdle();
  const int off = litPixels(*host, 0, 30, 320, 240);
  editor.refEditMode = true;
  editor.onIdle();
  // The collision box (white, 1 around the origin), the arrows (blue) and the board appear.
  EXPECT_GT(litPixels(*host, 100, 60, 220, 180), off + 100);
  EXPECT_GT(litPixels(*host, 0, 120, 120, 240), 20);   // board, left of the box
  int blue = 0;
  const std::vector<uint8_t> rgba = host->readPixels();
  for (size_t at = 0; at + 3 < rgba.size(); at += 4) {
    blue += rgba[at + 2] > 150 && rgba[at] < 60 && rgba[at + 1] < 60;
  }
  EXPECT_GT(blue, 10);
}

TEST_F(EditorSessionTest, StartArrowWithHeading90PointsAlongX) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.showLayers = false;
  editor.refEditMode = true;
  // Every other track point far away; start 1 at the origin heading 90.
  for (SPhysicRef& ref : editor.physicRefs) {
    const std::string name = ref.name;
    if (name.rfind("PZTR_", 0) == 0 && name.back() != 'd') ref.x = 1000;
  }
  editor.getPhysicRef("PZTR_START1").x = 0;
  editor.getPhysicRef("PZTR_START1d").x = 90;
  editor.viewMode = 2;  // from above, +x up the screen
  editor.orthoZoom = 4;
  editor.onIdle();
  // Width of the blue arrow's pixels in each row.
  std::vector<int> width(240, 0);
  const std::vector<uint8_t> rgba = host->readPixels();
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const size_t at = (size_t(y) * 320 + size_t(x)) * 4;
      width[size_t(y)] += rgba[at + 2] > 150 && rgba[at] < 60 && rgba[at + 1] < 60;
    }
  }
  const auto top = std::find_if(width.begin(), width.end(), [](int w) { return w > 0; });
  const auto bottom = std::find_if(width.rbegin(), width.rend(), [](int w) { return w > 0; });
  ASSERT_NE(top, width.end());
  // The tip (2 units along +x: 60 pixels above the centre) is a point, the base (2 units
  // behind) a bar 1.8 units wide.
  EXPECT_NEAR(top - width.begin(), 60, 3);
  EXPECT_NEAR(width.rend() - bottom - 1, 180, 3);
  EXPECT_LT(*top, 6);
  EXPECT_GT(*bottom, 50);
}

TEST_F(EditorSessionTest, FlagsAreDrawnWithTheFlagModel) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.showLayers = false;
  editor.rootFrame = editor.renderer->getNewFrame();  // flags are drawn with a model loaded
  editor.editorCamera->move(0, 1, -6);
  editor.onIdle();
  const int without = litPixels(*host, 60, 30, 260, 210);
  SZMFFlagDef flag;
  flag.x = -1;
  editor.flagDefs.push_back(flag);
  flag.x = 1;
  editor.flagDefs.push_back(flag);
  editor.onIdle();
  EXPECT_GT(litPixels(*host, 60, 30, 260, 210), without + 200);
  // The model stands where the last flag put it.
  EXPECT_EQ(editor.flagModel->getPosition().x, 1);
}

TEST_F(EditorSessionTest, TrackMapScaleComesFromThePreviousFrame) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.showLayers = false;
  CTrackBuilder builder(nullptr);  // the layout alone
  for (const float x : {0.0f, 50.0f, 100.0f}) {  // drawn mirrored: at -x
    SSectorInfo& sector = builder.sectors.emplace_back();
    sector.start = {x, 0, 100};
    sector.end = {x, 0, 100};
  }
  editor.trackBuilder = &builder;
  // The box of the yellow pixels: left, right, top, bottom.
  const auto yellowBox = [&] {
    int box[4] = {320, -1, 240, -1};
    const std::vector<uint8_t> rgba = host->readPixels();
    for (int y = 0; y < 240; ++y) {
      for (int x = 0; x < 320; ++x) {
        const size_t at = (size_t(y) * 320 + size_t(x)) * 4;
        if (rgba[at] < 200 || rgba[at + 1] < 200 || rgba[at + 2] > 80) continue;
        box[0] = std::min(box[0], x);
        box[1] = std::max(box[1], x);
        box[2] = std::min(box[2], y);
        box[3] = std::max(box[3], y);
      }
    }
    return std::vector<int>(box, box + 4);
  };
  editor.onIdle();  // at the first scale, 0.001: from x -0.1 to 0 at y 0.1
  std::vector<int> box = yellowBox();
  EXPECT_NEAR(box[0], 144, 2);
  EXPECT_NEAR(box[1], 160, 2);
  EXPECT_NEAR(box[2], 108, 2);
  editor.onIdle();  // then scaled to 90 % of the view: x -0.9 to 0 at y 0.9
  box = yellowBox();
  EXPECT_NEAR(box[0], 16, 2);
  EXPECT_NEAR(box[1], 160, 2);
  EXPECT_NEAR(box[2], 12, 2);
  EXPECT_NEAR(box[3], 12, 2);
}

TEST_F(EditorSessionTest, BinaryAndForeignModelsOpenAndDraw) {
  const std::string zmf = folder.file("car.zmf");
  {
    auto host = startSmall();
    host->editor->loadZMT(sampleCar());
    host->editor->saveZMF(zmf);
  }
  struct Case {
    std::string file;
    ModelFormat expected;
  };
  const Case cases[] = {{zmf, ModelFormat::zmf},
                        {SHARED_TESTDATA "/gltf2/BoxTextured.gltf", ModelFormat::gltf},
                        {SHARED_TESTDATA "/fbx/box.fbx", ModelFormat::assimp}};
  for (const Case& c : cases) {
    auto host = startSmall();
    CEditInterface& editor = *host->editor;
    editor.showLayers = false;
    editor.onIdle();
    const int empty = litPixels(*host, 40, 40, 280, 200);
    ASSERT_TRUE(editor.openModel(c.file)) << c.file;
    ASSERT_NE(editor.rootFrame, nullptr);
    SFrameStatistics statistics;
    editor.rootFrame->getStatistics(statistics);
    EXPECT_GT(statistics.triangles, 0u) << c.file;
    // Seen from three times its size away.
    ZBounds bounds;
    bounds.addTree(*editor.rootFrame);
    const float radius = bounds.reachFrom(ZVector());
    editor.editorCamera->move(0, 0, -3 * radius);
    editor.editorCamera->farPlane = 10 * radius;
    editor.onIdle();
    EXPECT_GT(litPixels(*host, 40, 40, 280, 200), empty + 500) << c.file << " " << empty;
    EXPECT_EQ(host->treeUpdates, 1) << c.file;
  }
}

// The budget's draws are the indexed draws the device receives for a frame of the whole model.
TEST_F(EditorSessionTest, BudgetDrawsAreTheDevicesIndexedDrawsOfAFrame) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  editor.loadZMT(sampleCar());
  ASSERT_NE(editor.rootFrame, nullptr);
  editor.onIdle();  // the first frame settles the buffers
  IDirect3DDevice9& device = *editor.renderer->device;
  device.resetCallCounts();
  editor.onIdle();
  const SDrawBudget budget =
      measureDrawBudget(*editor.rootFrame, reportTextures(*editor.rootFrame));
  EXPECT_GT(budget.shadowDraws, 0u);
  EXPECT_EQ(budget.draws(), device.callCount(D3DCall::DrawIndexedPrimitive));
}

// Closing the model lets another open, and releases what the renderer made for the first: twenty
// open and close cycles of two files leave the renderer where it started, and each model draws.
TEST_F(EditorSessionTest, CloseModelReleasesItSoThatAnotherOpens) {
  auto host = startSmall();
  CEditInterface& editor = *host->editor;
  // The binary copy beside a copy of the textures, where its loader looks.
  fs::create_directory(folder.path() / "copy");
  fs::copy(source / "samples/car/texture", folder.path() / "copy/texture");
  const std::string zmf = folder.file("copy/car.zmf");
  editor.loadZMT(sampleCar());
  editor.saveZMF(zmf);
  editor.closeModel();
  const size_t frames = editor.renderer->frames.size();
  const size_t geometries = editor.renderer->geometries.size();
  const size_t materials = editor.renderer->materials.size();
  const size_t textures = editor.renderer->textures.size();
  for (int cycle = 0; cycle < 20; ++cycle) {
    const bool binary = cycle % 2 == 1;
    if (binary) {
      editor.loadZMF(zmf, false);
    } else {
      editor.loadZMT(sampleCar());
    }
    ASSERT_NE(editor.rootFrame, nullptr) << cycle;
    EXPECT_NE(editor.rootFrame->getFrame("STEER"), nullptr) << cycle;
    editor.onIdle();
    EXPECT_GT(redPixels(*host), 50) << "the car is drawn, cycle " << cycle;
    editor.newTrackCamera();
    editor.getFlagIndex(7);
    editor.getPhysicRef("PZTR_PIT1").x = 5;
    editor.renderer->selectedGeometry = editor.rootFrame->geometries[0];
    editor.closeModel();
    EXPECT_EQ(editor.rootFrame, nullptr);
    EXPECT_TRUE(editor.cameraList.empty());
    EXPECT_TRUE(editor.flagDefs.empty());
    EXPECT_EQ(editor.physicRefs.size(), 128u);
    EXPECT_EQ(editor.getPhysicRefPos("PZTR_PIT1").x, 0);
    EXPECT_EQ(editor.renderer->selectedGeometry, nullptr);
    EXPECT_EQ(editor.renderer->frames.size(), frames) << cycle;
    EXPECT_EQ(editor.renderer->geometries.size(), geometries) << cycle;
    EXPECT_EQ(editor.renderer->materials.size(), materials) << cycle;
    EXPECT_EQ(editor.renderer->textures.size(), textures) << cycle;
  }
  editor.onIdle();  // an empty scene still draws: the flag model and buffers it shares survive
  EXPECT_EQ(redPixels(*host), 0);
}

}  // namespace
