// Track references, cameras, flags and the sky box of the editor core, without a device.
#include "editor/CEditInterface.h"
#include "editor/IEditShell.h"
#include "foundation/ZDataFolder.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"
#include "track/CTrackBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

class RecordingShell : public IEditShell {
 public:
  void updateTree() override {}
  void selectionChanged(ZGeometry*) override {}
  void refChanged(const std::string& name) override { changed.push_back(name); }
  void setProgress(int32_t percent) override { progress.push_back(percent); }
  std::vector<std::string> changed;
  std::vector<int32_t> progress;
};

class EditorTrackTest : public ::testing::Test {
 protected:
  EditorTrackTest() {
    editor.initPhysicRefs();
    editor.shell = &shell;
    editor.rootFrame = editor.renderer->getNewFrame();
  }
  // A small triangle mesh on the root whose centre is at c.
  ZGeometry* marker(const std::string& name, const ZVector& c) {
    ZGeometry* g = editor.renderer->getNewGeometry();
    g->name = name;
    g->addVertex(c + ZVector(-0.5f, 0, -0.5f));
    g->addVertex(c + ZVector(0.5f, 0, -0.5f));
    g->addVertex(c + ZVector(0, 0, 1));
    g->addTriangle(0, 1, 2);
    g->initRadius();
    g->center = c;
    g->setMaterial(editor.renderer->getNewMaterial());
    editor.rootFrame->addGeometry(g);
    return g;
  }

  ScopedDesktop desktop;
  CaptureLog log;
  TempFolder folder;
  RecordingShell shell;
  CEditInterface editor{""};
};

TEST_F(EditorTrackTest, ReferenceFileHoldsFortyNineSectionsInOrderAndReadsBack) {
  SPhysicRef& box = editor.getPhysicRef("PZTR_BOX3");
  box.x = 1.5f;
  box.z = -2.25f;
  editor.getPhysicRef("PZTR_BOX3d").x = 45;
  editor.getPhysicRef("PZTR_BOARDd").x = 180;
  const std::string path = folder.file("track.txt");
  editor.exportPhysicRefsTR(path);
  const std::string text = readFileText(path);
  std::vector<std::string> sections;
  const std::regex header("\\[([A-Z0-9]+)\\]");
  for (std::sregex_iterator it(text.begin(), text.end(), header), end; it != end; ++it) {
    sections.push_back((*it)[1]);
  }
  ASSERT_EQ(sections.size(), 50u);  // HEADER and the 49
  EXPECT_EQ(sections[0], "HEADER");
  EXPECT_EQ(sections[1], "PIT1");
  EXPECT_EQ(sections[2], "BOX1");
  EXPECT_EQ(sections[3], "START1");
  EXPECT_EQ(sections[4], "PIT2");
  EXPECT_EQ(sections[48], "START16");
  EXPECT_EQ(sections[49], "PITBOARD");
  EXPECT_EQ(text.rfind("[HEADER]\r\nVERSION=22\r\n\r\n[PIT1]\r\n"
                       "POS=0.000000, 0.000000, 0.000000\r\nROT=0.000000, 0.000000, 0.000000\r\n",
                       0),
            0u);
  EXPECT_NE(text.find("[BOX3]\r\nPOS=1.500000, 0.000000, -2.250000\r\nROT=45.000000, 0.000000, "
                      "0.000000\r\n"),
            std::string::npos);

  CEditInterface other("");
  other.initPhysicRefs();
  other.importPhysicRefsTR(path);
  EXPECT_EQ(other.getPhysicRefPos("PZTR_BOX3").z, -2.25f);
  EXPECT_EQ(other.getPhysicRefPos("PZTR_BOX3d").x, 45);
  EXPECT_EQ(other.getPhysicRefPos("PZTR_BOARDd").x, 180);
  EXPECT_NE(log.text().find("BOX (1.500000,0.000000,-2.250000)\n"), std::string::npos);

  // A file that cannot be read leaves every point where it was.
  other.importPhysicRefsTR(folder.file("missing.txt"));
  EXPECT_EQ(other.getPhysicRefPos("PZTR_BOX3").x, 1.5f);
}

TEST_F(EditorTrackTest, ReferencesFromMarkersTakeTheirHeadingFromTheTarget) {
  marker("INV_PIT_3", {10, 0, 5});
  marker("inv_targetpit_3", {10, 0, 9});  // straight ahead along +z; lower case still found
  marker("INV_GRID_1", {0, 1, 0});
  marker("INV_TARGETGRID_1", {4, 7, 0});  // along +x; the height difference does not count
  marker("INV_BOX_2", {3, 0, 3});          // no target: skipped
  editor.genRefsFrom3D("");
  EXPECT_EQ(editor.getPhysicRefPos("PZTR_PIT3").x, 10);
  EXPECT_EQ(editor.getPhysicRefPos("PZTR_PIT3").z, 5);
  EXPECT_NEAR(editor.getPhysicRefPos("PZTR_PIT3d").x, 0, 1e-4f);
  EXPECT_EQ(editor.getPhysicRefPos("PZTR_START1").y, 1);
  EXPECT_NEAR(editor.getPhysicRefPos("PZTR_START1d").x, 90, 1e-4f);
  EXPECT_EQ(editor.getPhysicRefPos("PZTR_BOX2").x, 0);
  EXPECT_EQ(shell.changed, (std::vector<std::string>{"PZTR_START1", "PZTR_START1d", "PZTR_PIT3",
                                                     "PZTR_PIT3d"}));
  // Heading 90 turns the start arrow's forward vector onto +x.
  ZVector forward(0, 0, 1);
  forward.rotate2D(editor.getPhysicRefPos("PZTR_START1d").x);
  EXPECT_NEAR(forward.x, 1, 1e-5f);
}

TEST_F(EditorTrackTest, CameraFileRoundTripKeepsAllButUpVectors) {
  ZCamera* first = editor.newTrackCamera();
  ZCamera* second = editor.newTrackCamera();
  EXPECT_EQ(first->name, "NCAMERA0");
  EXPECT_EQ(second->name, "NCAMERA1");
  first->position = {1, 2, 3};
  first->heading = {0, 0, 1};
  first->up = {1, 0, 0};
  first->fov = 33;
  first->maxFov = 40;
  first->minFov = 8;
  first->maxDist = 250;
  first->fixed = true;
  first->tag = 7;
  second->name = "pit lane";
  const std::string path = folder.file("cameras.txt");
  editor.exportCameras(path);
  const std::string text = readFileText(path);
  EXPECT_NE(text.find("[HEADER]\r\nVERSION=1\r\nCOUNT=2\r\n\r\n[CAMERA0]\r\n"
                      "POSITION=1.000000,2.000000,3.000000\r\n"),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), "NAME=pit lane");  // no line end after a name

  CEditInterface other("");
  other.newTrackCamera();  // replaced by the import
  other.importCameras(path);
  ASSERT_EQ(other.cameraList.size(), 2u);
  const ZCamera& read = *other.cameraList[0];
  EXPECT_EQ(read.name, "NCAMERA0");
  EXPECT_EQ(read.position.z, 3);
  EXPECT_EQ(read.heading.z, 1);
  EXPECT_EQ(read.fov, 33);
  EXPECT_EQ(read.maxFov, 40);
  EXPECT_EQ(read.minFov, 8);
  EXPECT_EQ(read.maxDist, 250);
  EXPECT_TRUE(read.fixed);
  EXPECT_EQ(read.tag, 7);
  EXPECT_EQ(read.up.x, 0);  // not stored
  EXPECT_EQ(other.cameraList[1]->name, "pit lane");

  // A file that cannot be read changes nothing.
  other.importCameras(folder.file("missing.txt"));
  EXPECT_EQ(other.cameraList.size(), 2u);
}

TEST_F(EditorTrackTest, CameraPanelOperations) {
  ZCamera* camera = editor.newTrackCamera();
  editor.editorCamera->position = {5, 6, 7};
  editor.editorCamera->heading = {1, 0, 0};
  editor.setTrackCamera(0, 3, 10, 45, true);
  EXPECT_EQ(camera->position.y, 6);
  EXPECT_EQ(camera->heading.x, 1);
  EXPECT_EQ(camera->tag, 3);
  EXPECT_EQ(camera->minFov, 10);
  EXPECT_EQ(camera->maxFov, 45);
  EXPECT_TRUE(camera->fixed);

  editor.editorCamera->position = {0, 0, 0};
  EXPECT_EQ(editor.viewFromTrackCamera(0), camera);
  EXPECT_EQ(editor.editorCamera->position.z, 7);
  editor.testTrackCameraFov(0, true);
  EXPECT_EQ(editor.editorCamera->fov, 45);
  editor.testTrackCameraFov(0, false);
  EXPECT_EQ(editor.editorCamera->fov, 10);

  EXPECT_EQ(editor.viewFromTrackCamera(5), nullptr);
  editor.deleteTrackCamera(0);
  EXPECT_TRUE(editor.cameraList.empty());
  // The renderer keeps the camera, so that undo can bring the same one back.
  ASSERT_TRUE(editor.undo());
  ASSERT_EQ(editor.cameraList.size(), 1u);
  EXPECT_EQ(editor.cameraList[0], camera);
}

TEST_F(EditorTrackTest, PzcCamerasAreAppendedWithTheirFixedLens) {
  editor.newTrackCamera();
  const std::string path = folder.write(
      "track.pzc",
      "[HEADER]\r\nCAMERAS=2000000000\r\n[CAMERA1]\r\nPX=1\r\nPY=2\r\nPZ=3\r\nTARGET=4\r\n"
      "FOV=70\r\n"
      "NAME=start\r\n[CAMERA2]\r\nPX=-1\r\nNAME=hairpin\r\n");
  editor.importPZC(path);
  ASSERT_EQ(editor.cameraList.size(), 3u);  // the announced count is cut to the two sections
  const ZCamera& start = *editor.cameraList[1];
  EXPECT_EQ(start.name, "start");
  EXPECT_EQ(start.position.y, 2);
  EXPECT_EQ(start.tag, 4);
  EXPECT_EQ(start.fov, 20);  // the file's FOV is not applied
  EXPECT_EQ(start.nearPlane, 1);
  EXPECT_EQ(start.farPlane, 600);
  EXPECT_EQ(editor.cameraList[2]->name, "hairpin");
  EXPECT_NE(log.text().find("loading 2000000000 cameras\n"), std::string::npos);
}

TEST_F(EditorTrackTest, FlagsFromMarkersAppendOnEveryCall) {
  marker("INV_FLAG_a", {1, 0, 0});
  marker("ROAD", {0, 0, 0});
  marker("x_INV_FLAG", {2, 0, 0});
  editor.genFlagsFrom3D();
  editor.genFlagsFrom3D();
  ASSERT_EQ(editor.flagDefs.size(), 4u);
  const int32_t guids[] = {0, 1, 0, 1};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(editor.flagDefs[i].guid, guids[i]);
  EXPECT_EQ(editor.flagDefs[1].x, 2);
}

TEST_F(EditorTrackTest, SkyBoxLoadsFromFileAndMovesIntoTheModel) {
  ZFrame* sky = editor.renderer->getNewFrame();
  ZGeometry* dome = editor.renderer->getNewGeometry();
  dome->name = "dome";
  dome->addVertex({0, 0, 0});
  dome->addVertex({1, 0, 0});
  dome->addVertex({0, 1, 0});
  dome->addTriangle(0, 1, 2);
  dome->setMaterial(editor.renderer->getNewMaterial());
  sky->addGeometry(dome);
  ZFileZMF writer(editor.renderer);
  const std::string path = folder.file("sky.zmf");
  ASSERT_TRUE(writer.save(path, sky));

  editor.loadSkybox(path);
  ASSERT_NE(editor.renderer->backBox, nullptr);
  ASSERT_EQ(editor.renderer->backBox->geometries.size(), 1u);
  EXPECT_EQ(editor.renderer->backBox->geometries[0]->name, "dome");
  EXPECT_NE(log.text().find("Loading " + path + " (" + folder.path().string() + "/texture)\n"),
            std::string::npos);

  editor.moveSkybox(true);
  EXPECT_EQ(editor.renderer->backBox, nullptr);
  ASSERT_EQ(editor.rootFrame->geometries.size(), 1u);
  EXPECT_EQ(editor.rootFrame->geometries[0]->name, "dome");
}

TEST_F(EditorTrackTest, AGeneratedStageJoinsTheModelAsOneStepOrMakesANewModel) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(findDataFolder());  // where the editor runs: the surfaces
  const std::string notes = folder.file("notes.txt");
  const size_t camerasBefore = editor.cameraList.size();
  CTrackBuilder* builder = editor.generateStage(5, 300, notes);
  ASSERT_NE(builder, nullptr);
  EXPECT_EQ(editor.trackBuilder, builder);  // its map is drawn
  ASSERT_EQ(editor.rootFrame->children.size(), 1u);
  const ZFrame* stage = editor.rootFrame->children[0];
  EXPECT_EQ(stage->name, "STAGE");
  EXPECT_GT(stage->geometries.size(), 5 * builder->sectors.size());
  EXPECT_EQ(editor.cameraList.size(), camerasBefore + builder->cameras.size());
  EXPECT_FALSE(builder->cameras.empty());
  EXPECT_TRUE(std::filesystem::exists(notes));
  ASSERT_FALSE(shell.progress.empty());
  EXPECT_EQ(shell.progress.back(), 100);
  // One step in a loaded model.
  EXPECT_EQ(editor.undoName(), "Generate stage");
  ASSERT_TRUE(editor.undo());
  EXPECT_TRUE(editor.rootFrame->children.empty());
  EXPECT_EQ(editor.trackBuilder, nullptr);
  EXPECT_EQ(editor.cameraList.size(), camerasBefore);
  ASSERT_TRUE(editor.redo());
  EXPECT_EQ(editor.rootFrame->children.size(), 1u);
  EXPECT_EQ(editor.trackBuilder, builder);
  // Without a model the stage is a new one, as if loaded: nothing to undo.
  editor.closeModel();
  EXPECT_EQ(editor.trackBuilder, nullptr);
  ASSERT_NE(editor.generateStage(6, 300, notes), nullptr);
  ASSERT_NE(editor.rootFrame, nullptr);
  EXPECT_EQ(editor.rootFrame->children.size(), 1u);
  EXPECT_EQ(editor.undoName(), "");
  std::filesystem::current_path(previous);
}

}  // namespace
