// The editor core without a device: reference points and their file, the model checks, the car
// test, keys and mouse navigation, loading and saving.
#include "editor/CEditInterface.h"
#include "formats/ZFileZMF.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

class EditorCoreTest : public ::testing::Test {
 protected:
  EditorCoreTest() { editor.initPhysicRefs(); }

  ZFrame* frame(ZFrame* parent, const std::string& name, const ZVector& at = ZVector()) {
    ZFrame* f = editor.renderer->getNewFrame();
    f->name = name;
    f->move(at);
    if (parent != nullptr) parent->addChild(f);
    return f;
  }
  // A one-triangle mesh on frame.
  ZGeometry* mesh(ZFrame* owner, const std::string& name, int triangles = 1) {
    ZGeometry* g = editor.renderer->getNewGeometry();
    g->name = name;
    for (int t = 0; t < triangles; ++t) {
      const float x = float(t);
      g->addVertex({x, 0, 0});
      g->addVertex({x + 1, 0, 0});
      g->addVertex({x, 1, 0});
      g->addTriangle(3 * t, 3 * t + 1, 3 * t + 2);
    }
    g->generateNormals();
    g->initRadius();
    owner->addGeometry(g);
    return g;
  }
  ZFrame* newRoot() {
    editor.rootFrame = frame(nullptr, "root");
    return editor.rootFrame;
  }
  std::vector<std::string> messageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : desktop.messages) texts.push_back(m.text);
    return texts;
  }

  ScopedDesktop desktop;
  CaptureLog log;
  TempFolder folder;
  CEditInterface editor{""};
};

TEST_F(EditorCoreTest, ReferenceTableHoldsTheFixedNamesInOrder) {
  ASSERT_EQ(editor.physicRefs.size(), 128u);
  const struct {
    size_t index;
    const char* name;
    float value;
  } cases[] = {{0, "PZPH_SUS_FRONT_CAR_UP_1", 0},   {21, "PZPH_SUS_REAR_TIRE_POS", 0},
               {27, "PZPH_COLL_SIZE", 1},           {29, "PZPH_COLL_GROUND_SIZE", 1},
               {30, "PZTR_PIT1", 0},                {46, "PZTR_PIT1d", 0},
               {77, "PZTR_BOX16", 0},               {94, "PZTR_START1", 0},
               {125, "PZTR_START16d", 0},           {126, "PZTR_BOARD", 0},
               {127, "PZTR_BOARDd", 0}};
  for (const auto& c : cases) {
    const SPhysicRef& ref = editor.physicRefs[c.index];
    EXPECT_STREQ(ref.name, c.name) << c.index;
    EXPECT_EQ(ref.x, c.value) << c.name;
    EXPECT_EQ(ref.z, c.value) << c.name;
  }
}

TEST_F(EditorCoreTest, LookupsOfUnknownNames) {
  editor.getPhysicRef("NO_SUCH_POINT").x = 5;  // lands on the first record
  EXPECT_EQ(editor.physicRefs[0].x, 5);
  EXPECT_EQ(editor.getPhysicRefPos("PZPH_SUS_FRONT_CAR_UP_1").x, 5);
  EXPECT_EQ(editor.getPhysicRefPos("NO_SUCH_POINT").x, 0);
  EXPECT_TRUE(editor.hasPhysicRef("PZPH_COLL_SIZE"));
  EXPECT_FALSE(editor.hasPhysicRef("pzph_coll_size"));
}

TEST_F(EditorCoreTest, DummiesExportWritesEveryRecord) {
  const std::string path = folder.file("dummies.txt");
  editor.exportPhysicRefs(path);
  const std::string text = readFileText(path);
  EXPECT_EQ(text.rfind("[DUMMIES]\r\nNUMBER=128\r\n\r\n[DUMMY0]\r\nNAME=PZPH_SUS_FRONT_CAR_UP_1\r\n"
                       "POS=0.000000, 0.000000, 0.000000\r\n",
                       0),
            0u);
  EXPECT_NE(text.find("[DUMMY27]\r\nNAME=PZPH_COLL_SIZE\r\nPOS=1.000000, 1.000000, 1.000000\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[DUMMY127]\r\nNAME=PZTR_BOARDd\r\n"), std::string::npos);
  EXPECT_EQ(text.find("[DUMMY128]"), std::string::npos);
  EXPECT_NE(log.text().find("exporting to " + path + "\n"), std::string::npos);
}

TEST_F(EditorCoreTest, DummiesImportMovesKnownAndAppendsNewPoints) {
  // Written by hand with bare line feeds, as a user's editor on this system saves it.
  const std::string path = folder.write("in.txt",
                                        "[DUMMIES]\nNUMBER=2\n\n[DUMMY0]\nNAME=PZPH_COLL_CENTER\n"
                                        "POS=1.5, 2, -3\n\n[DUMMY1]\nNAME=MY_POINT\nPOS=4,5,6\n");
  editor.importPhysicRefs(path);
  ASSERT_EQ(editor.physicRefs.size(), 129u);
  EXPECT_EQ(editor.getPhysicRefPos("PZPH_COLL_CENTER").z, -3);
  EXPECT_STREQ(editor.physicRefs.back().name, "MY_POINT");
  EXPECT_EQ(editor.getPhysicRefPos("MY_POINT").y, 5);
  EXPECT_NE(log.text().find("added MY_POINT\n"), std::string::npos);

  editor.importPhysicRefs(path);
  EXPECT_EQ(editor.physicRefs.size(), 129u);

  // What the editor exports it reads back the same.
  editor.getPhysicRef("MY_POINT").x = -7.25f;
  editor.exportPhysicRefs(folder.file("round.txt"));
  CEditInterface other("");
  other.initPhysicRefs();
  other.importPhysicRefs(folder.file("round.txt"));
  ASSERT_EQ(other.physicRefs.size(), 129u);
  EXPECT_EQ(other.getPhysicRefPos("MY_POINT").x, -7.25f);
  EXPECT_EQ(other.getPhysicRefPos("PZPH_COLL_SIZE").y, 1);
}

TEST_F(EditorCoreTest, DummiesImportOfHostileCountsAndManySections) {
  // A count far beyond the sections is cut to them, instead of two billion lookups.
  editor.importPhysicRefs(folder.write("huge.txt",
                                       "[DUMMIES]\r\nNUMBER=2000000000\r\n\r\n[DUMMY0]\r\n"
                                       "NAME=ONLY\r\nPOS=1, 2, 3\r\n"));
  EXPECT_EQ(editor.physicRefs.size(), 129u);
  EXPECT_EQ(editor.getPhysicRefPos("ONLY").z, 3);
  EXPECT_NE(log.text().find("2000000000 sections announced, 1 held: reading 1\n"),
            std::string::npos);
  // Twenty thousand sections: each found through the header index, not a search of the file.
  std::string many = "[DUMMIES]\r\nNUMBER=20000\r\n";
  for (int i = 0; i < 20000; ++i) {
    many += "\r\n[DUMMY" + std::to_string(i) + "]\r\nNAME=P" + std::to_string(i) +
            "\r\nPOS=" + std::to_string(i) + ", 0, 0\r\n";
  }
  editor.importPhysicRefs(folder.write("many.txt", many));
  ASSERT_EQ(editor.physicRefs.size(), 129u + 20000u);
  EXPECT_EQ(editor.getPhysicRefPos("P19999").x, 19999);
}

TEST_F(EditorCoreTest, ExportsThatCannotBeCreatedChangeNothing) {
  const std::string path = folder.file("missing/folder/dummies.txt");
  editor.exportPhysicRefs(path);
  editor.importPhysicRefs(path);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(editor.physicRefs.size(), 128u);
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_NE(log.text().find("cannot create " + path), std::string::npos);
}

TEST_F(EditorCoreTest, ChecksReportTheFirstMissingName) {
  struct Case {
    const char* frames;      // children of the root, '/' nests the next under the previous
    const char* geometries;  // on the root
    std::string (CEditInterface::*check)();
    const char* expected;
  };
  const Case cases[] = {
      {"Pilot_HR/HELMET", "", &CEditInterface::checkCar, "Error: STEER frame not found"},
      {"HELMET STEER", "", &CEditInterface::checkCar, "Error: Pilot_HR frame not found"},
      {"Pilot_HR HELMET STEER", "", &CEditInterface::checkCar,
       "Error: DRIVER_name geometry not found"},
      {"Pilot_HR HELMET STEER", "driver_NAME", &CEditInterface::checkCar, "CAR is ok"},
      {"", "PLAYER_NAME MIRROR", &CEditInterface::checkCarInt, "Error: STEER frame not found"},
      {"STEER", "PLAYER_NAME", &CEditInterface::checkCarInt, "Error: MIRROR geometry not found"},
      {"STEER", "MIRROR PLAYER_NAME", &CEditInterface::checkCarInt, "CAR interior is ok"},
      {"", "SPALLA RIM", &CEditInterface::checkTire, "Error: TIRE geometry not found"},
      {"", "TIRE RIM", &CEditInterface::checkTire, "Error: SPALLA geometry not found"},
      {"", "TIRE SPALLA", &CEditInterface::checkTire, "Error: RIM geometry not found"},
      {"", "TIRE SPALLA RIM", &CEditInterface::checkTire, "Error: TIRE geometry has wrong shader"},
  };
  for (const Case& c : cases) {
    desktop.messages.clear();
    ZFrame* root = newRoot();
    std::istringstream frames(c.frames);
    for (std::string path; frames >> path;) {
      ZFrame* parent = root;
      for (size_t start = 0; start <= path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        parent = frame(parent, path.substr(start, slash - start));
        start = slash + 1;
      }
    }
    std::istringstream geometries(c.geometries);
    for (std::string name; geometries >> name;) mesh(root, name);
    EXPECT_EQ((editor.*c.check)(), c.expected) << c.frames << " | " << c.geometries;
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, c.expected);
    EXPECT_EQ(desktop.messages[0].caption, "ZMF EDIT");
  }
}

TEST_F(EditorCoreTest, TyreCheckPassesWithTheTyreShaderAndMarksFoundFramesMoveable) {
  ZFrame* root = newRoot();
  ZGeometry* tire = mesh(root, "TIRE");
  mesh(root, "SPALLA");
  mesh(root, "RIM");
  tire->setMaterial(editor.renderer->getNewMaterial());
  tire->material->effectName = "pzTires.fxo";
  EXPECT_EQ(editor.checkTire(), "TIRE is ok");

  ZFrame* steer = frame(root, "STEER");
  EXPECT_FALSE(steer->moveable);
  editor.checkCarInt();
  EXPECT_TRUE(steer->moveable);
}

TEST_F(EditorCoreTest, ChecksWithoutModelSayNoModelIsLoaded) {
  EXPECT_EQ(editor.checkCar(), "no model loaded");
  EXPECT_EQ(editor.checkTire(), "no model loaded");
  EXPECT_EQ(editor.checkMotorbike(), "no model loaded");
  EXPECT_EQ(desktop.messages.size(), 2u);
}

// A car of the test's names: wheels and front suspensions, no rear suspensions, no STEER.
class CarTestTest : public EditorCoreTest {
 protected:
  CarTestTest() {
    ZFrame* root = newRoot();
    for (const char* corner : {"LF", "RF", "LR", "RR"}) {
      const float x = corner[0] == 'L' ? -1.0f : 1.0f;
      const float z = corner[1] == 'F' ? 1.5f : -1.5f;
      mesh(frame(root, std::string("WHEEL_") + corner, {x, 0.3f, z}), "TYRE");
    }
    frame(root, "SUSP_LF", {-0.8f, 0.3f, 1.5f});
    frame(root, "SUSP_RF", {0.8f, 0.3f, 1.5f});
  }
  ZFrame* part(const char* name) { return editor.rootFrame->getFrame(name); }
};

TEST_F(CarTestTest, MissingFramesAreReportedAndTheRestAnimates) {
  editor.switchCarTest();
  EXPECT_TRUE(editor.carTestRunning);
  EXPECT_EQ(messageTexts(), (std::vector<std::string>{"Object SUSP_LR non found",
                                                      "Object SUSP_RR non found",
                                                      "Object STEER non found"}));
  EXPECT_EQ(desktop.messages[0].caption, "Car Test");

  const ZMatrix wheelBefore = part("WHEEL_LF")->matrix;
  const ZMatrix rearBefore = part("WHEEL_LR")->matrix;
  desktop.setClockMs(400);  // p = 0.8 rad: the first step counts from 0
  editor.stepCarTest();
  const float s = std::sin(0.8f);
  EXPECT_NEAR(part("WHEEL_LF")->getPosition().y, 0.3f + 0.05f * s, 1e-5f);
  EXPECT_NEAR(part("SUSP_RF")->getPosition().y, 0.3f + 0.05f * s, 1e-5f);
  // The front wheel steers: its spin axis (right) turned about the vertical by 20 s degrees.
  const ZVector right = part("WHEEL_LF")->getRight();
  EXPECT_NEAR(std::fabs(std::atan2(right.z, right.x)) * 57.29578f, 20.0f * s, 0.05f);
  // The rear one does not steer, it only spins about its right axis.
  EXPECT_NEAR(part("WHEEL_LR")->getRight().x, 1.0f, 1e-5f);
  EXPECT_GT(std::fabs(part("WHEEL_LR")->getUp().z), 0.5f);

  editor.switchCarTest();
  EXPECT_FALSE(editor.carTestRunning);
  EXPECT_EQ(std::memcmp(&part("WHEEL_LF")->matrix, &wheelBefore, sizeof(ZMatrix)), 0);
  EXPECT_EQ(std::memcmp(&part("WHEEL_LR")->matrix, &rearBefore, sizeof(ZMatrix)), 0);
}

TEST_F(CarTestTest, AFullCycleBringsTheSteeringAndHeightBack) {
  editor.switchCarTest();
  const uint32_t cycleMs = uint32_t(std::lround(3.14159265 * 1000));  // p advances 2 rad/s
  desktop.setClockMs(cycleMs);
  editor.stepCarTest();
  EXPECT_NEAR(editor.carTestPhase, 2 * 3.14159265f, 1e-3f);
  const ZFrame* wheel = part("WHEEL_RF");
  EXPECT_NEAR(wheel->getPosition().y, 0.3f, 1e-4f);
  EXPECT_NEAR(wheel->getRight().x, 1.0f, 1e-4f);  // no steering left
  // The spin went on: 100 p degrees about the right axis, 628 degrees or 92 past a turn.
  const float spin = std::fabs(std::remainder(100.0f * editor.carTestPhase, 360.0f));
  EXPECT_NEAR(std::fabs(std::atan2(wheel->getUp().z, wheel->getUp().y)) * 57.29578f, spin, 0.2f);
}

TEST_F(CarTestTest, SavingDuringTheTestWritesTheMatricesOfBefore) {
  const ZVector before = part("WHEEL_LF")->getPosition();
  editor.switchCarTest();
  desktop.setClockMs(700);
  editor.stepCarTest();
  ASSERT_NE(part("WHEEL_LF")->getPosition().y, before.y);
  const std::string path = folder.file("car.zmt");
  editor.saveZMT(path);
  EXPECT_FALSE(editor.carTestRunning);

  CEditInterface reader("");
  reader.loadZMT(path);
  ASSERT_NE(reader.rootFrame, nullptr);
  ZFrame* wheel = reader.rootFrame->getFrame("WHEEL_LF");
  ASSERT_NE(wheel, nullptr);
  EXPECT_EQ(wheel->getPosition().y, before.y);
}

TEST_F(EditorCoreTest, MotorbikeCheckFigures) {
  ZFrame* root = newRoot();
  frame(root, "NULL_FW", {0, 0, 1.0f});
  EXPECT_EQ(editor.checkMotorbike(),
            "Error, frame NULL_RW not found\nError, frame NULL_CG not found\n");
  frame(root, "NULL_RW", {0, 0, -0.5f});
  frame(root, "NULL_CG", {0, 0, 0.25f});
  EXPECT_EQ(editor.checkMotorbike(), "WHEELBASE: 1.500 m\nWEIGHT FRONT: 50.0 %");
}

TEST_F(EditorCoreTest, NavigationModesCycle) {
  EXPECT_EQ(editor.navigationMode, 1);
  editor.onKeyPressed(' ');
  EXPECT_EQ(editor.navigationMode, 0);
  editor.onKeyPressed('c');  // no selected frame: nothing
  EXPECT_EQ(editor.navigationMode, 0);
  editor.renderer->selectedFrame = frame(newRoot(), "part");
  editor.onKeyPressed('c');
  EXPECT_EQ(editor.navigationMode, 2);
  editor.onKeyPressed(' ');  // move-frame mode goes back to orbital, not free
  EXPECT_EQ(editor.navigationMode, 0);
  editor.onKeyPressed(' ');
  EXPECT_EQ(editor.navigationMode, 1);
  EXPECT_NE(log.text().find("Key pressed c\n"), std::string::npos);
}

TEST_F(EditorCoreTest, FreeNavigationSpeedsWithShiftAndControl) {
  newRoot();
  ZCamera& camera = *editor.editorCamera;
  editor.mouseInWindow = true;
  desktop.setCursorPos({100, 100});
  editor.mouseControl();  // the pointer entered: only stored
  const struct {
    bool shift, control;
    float speed;
  } cases[] = {
      {false, false, 0.2f}, {true, false, 0.005f}, {false, true, 2.0f}, {true, true, 2.0f}};
  for (const auto& c : cases) {
    desktop.setKeyDown(VK_SHIFT, c.shift);
    desktop.setKeyDown(VK_CONTROL, c.control);
    desktop.setKeyDown(VK_UP, true);
    const float z = camera.position.z;
    editor.mouseControl();
    EXPECT_NEAR(camera.position.z - z, c.speed, 1e-6f) << c.shift << c.control;
  }
  desktop.setKeyDown(VK_UP, false);
  desktop.setKeyDown(VK_RIGHT, true);
  const float x = camera.position.x;
  editor.mouseControl();
  // Right is heading x up: with heading +z and up +y that is -x.
  EXPECT_NEAR(camera.position.x - x, -2.0f, 1e-6f);
}

TEST_F(EditorCoreTest, OrbitKeepsTheDistanceToThePivot) {
  ZFrame* root = newRoot();
  root->move(1, 2, 3);
  ZCamera& camera = *editor.editorCamera;
  camera.position = {1, 2, -7};
  editor.navigationMode = 0;
  editor.mouseInWindow = true;
  desktop.setCursorPos({100, 100});
  editor.mouseControl();
  desktop.setKeyDown(VK_LBUTTON, true);
  desktop.setCursorPos({150, 120});
  editor.mouseControl();
  EXPECT_NEAR(camera.position.distance({1, 2, 3}), 10.0f, 1e-4f);
  EXPECT_GT(std::fabs(camera.position.x - 1), 1.0f);
  // Locked, the mouse moves nothing; unlocking takes the pointer where it is now.
  editor.setLockMouse(true);
  const ZVector held = camera.position;
  desktop.setCursorPos({300, 300});
  editor.mouseControl();
  EXPECT_EQ(camera.position.x, held.x);
  editor.setLockMouse(false);
  editor.mouseControl();
  EXPECT_NEAR(camera.position.x, held.x, 1e-4f);
}

TEST_F(EditorCoreTest, HalvingSmallMeshesReplacesNone) {
  ZFrame* root = newRoot();
  ZGeometry* small = mesh(root, "small", 8);
  ZGeometry* tiny = mesh(root, "tiny", 2);
  editor.onKeyPressed('#');
  EXPECT_EQ(root->geometries, (std::vector<ZGeometry*>{small, tiny}));
  const std::string text = log.text();
  EXPECT_NE(text.find("Simplify from 8 faces to 4\n"), std::string::npos);
  EXPECT_NE(text.find("Simplify from 2 faces to 1\n"), std::string::npos);
}

TEST_F(EditorCoreTest, DeleteKeyRemovesTheSelectionWithoutDestroyingIt) {
  ZFrame* root = newRoot();
  ZGeometry* g = mesh(root, "g");
  ZFrame* f = frame(root, "f");
  editor.renderer->selectedGeometry = g;
  editor.renderer->selectedFrame = f;
  editor.onKeyPressed('d');
  EXPECT_TRUE(root->geometries.empty());
  EXPECT_EQ(root->children.size(), 1u);  // the geometry went first
  EXPECT_EQ(editor.renderer->selectedGeometry, nullptr);
  editor.onKeyPressed('d');
  EXPECT_TRUE(root->children.empty());
  EXPECT_EQ(editor.renderer->selectedFrame, nullptr);
  EXPECT_EQ(g->name, "g");  // still owned by the renderer
}

TEST_F(EditorCoreTest, PickingAlongTheViewPlacesFlagsPointsAndSelection) {
  ZFrame* root = newRoot();
  ZGeometry* wall = mesh(root, "WALL");  // the triangle (0,0)-(1,0)-(0,1) in the plane z = 0
  editor.editorCamera->position = {0.25f, 0.25f, -5};
  editor.renderer->setCamera(editor.editorCamera.get());
  std::vector<uint8_t> reply;
  editor.replyFunction = [&](const uint8_t* packet, int32_t size) {
    reply.assign(packet, packet + size);
  };
  editor.onKeyPressed('m');
  ASSERT_EQ(reply.size(), sizeof(SZMFFlagDef));
  SZMFFlagDef flag;
  std::memcpy(&flag, reply.data(), sizeof flag);
  EXPECT_EQ(flag.code, 61);
  EXPECT_EQ(flag.guid, -1);
  EXPECT_NEAR(flag.x, 0.25f, 1e-5f);
  EXPECT_NEAR(flag.y, 1.25f, 1e-5f);  // one unit above the hit
  EXPECT_NEAR(flag.z, 0, 1e-5f);

  editor.onKeyPressed('s');
  EXPECT_EQ(editor.renderer->selectedGeometry, wall);

  editor.refEditMode = true;
  std::strcpy(editor.selectedRef, "PZTR_PIT2");
  editor.onKeyPressed('s');
  EXPECT_NEAR(editor.getPhysicRefPos("PZTR_PIT2").x, 0.25f, 1e-5f);
  EXPECT_NEAR(editor.getPhysicRefPos("PZTR_PIT2").z, 0, 1e-5f);
  // A physics point is not placed by picking.
  std::strcpy(editor.selectedRef, "PZPH_COLL_CENTER");
  editor.onKeyPressed('s');
  EXPECT_EQ(editor.getPhysicRefPos("PZPH_COLL_CENTER").x, 0);
}

TEST_F(EditorCoreTest, AseNameWithoutFolder) {
  folder.enter();
  editor.loadASE("cube.ase", 1, false, false);
  EXPECT_NE(log.text().find("load ASE cube.ase\nload ASE2 cube \n"), std::string::npos);
  editor.loadASE("models\\track\\road.ase", 1, false, false);
  EXPECT_NE(log.text().find("load ASE2 road models\\track\n"), std::string::npos);
}

TEST_F(EditorCoreTest, SaveCarriesTheSkyBoxAndLeavesTheSceneAsItWas) {
  ZFrame* root = newRoot();
  ZGeometry* ground = mesh(root, "GROUND");
  ZGeometry* front = mesh(root, "SKYBOX_front");
  ZGeometry* back = mesh(root, "Skybox_back");
  for (ZGeometry* g : {ground, front, back}) g->setMaterial(editor.renderer->getNewMaterial());
  editor.initSkybox();
  ASSERT_NE(editor.renderer->backBox, nullptr);
  EXPECT_EQ(editor.renderer->backBox->geometries, (std::vector<ZGeometry*>{front, back}));
  EXPECT_TRUE(front->material->forceNoDepthWrite && back->material->forceNoDepthWrite);
  EXPECT_FALSE(ground->material->forceNoDepthWrite);
  EXPECT_EQ(root->geometries, std::vector<ZGeometry*>{ground});

  const std::string path = folder.file("sky.zmf");
  editor.saveZMF(path);
  EXPECT_EQ(root->geometries, std::vector<ZGeometry*>{ground});
  EXPECT_EQ(front->name, "SKYBOX_front");

  CEditInterface reader("");
  reader.loadZMF(path, false);
  ASSERT_NE(reader.renderer->backBox, nullptr);
  ASSERT_EQ(reader.renderer->backBox->geometries.size(), 2u);
  EXPECT_EQ(reader.renderer->backBox->geometries[0]->name, "SKYBOX");
  ASSERT_EQ(reader.rootFrame->geometries.size(), 1u);
  EXPECT_EQ(reader.rootFrame->geometries[0]->name, "GROUND");
}

TEST_F(EditorCoreTest, SecondLoadOnlyRefreshesTheTree) {
  ZFrame* root = newRoot();
  mesh(root, "only");
  const std::string path = folder.file("one.zmt");
  editor.saveZMT(path);
  editor.loadZMT(path);
  EXPECT_EQ(editor.rootFrame, root);
  EXPECT_EQ(root->geometries.size(), 1u);
}

}  // namespace
