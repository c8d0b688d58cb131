// The stage builder: its layout arithmetic, a whole stage built from the bundled surfaces, and
// what it does without them.
#include "foundation/ZDataFolder.h"
#include "foundation/cvMath.h"
#include "formats/ZFileZMF.h"
#include "formats/ZModelFile.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "track/CTrackBuilder.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

float value(const ZGeometry& g, const char* name) {
  float out = 0;
  return g.getVar(name, out) ? out : 0;
}

// The number at the front of a mesh or camera name ("12GRAVEL": 12).
int sectorOf(const std::string& name) { return std::atoi(name.c_str()); }

class ProgressLog : public IZMFListener {
 public:
  void onZMFProgress(const std::string& message, int32_t percent) override {
    titles.push_back(message);
    percents.push_back(percent);
  }
  std::vector<std::string> titles;
  std::vector<int32_t> percents;
};

// A stage of the bundled surfaces (the data folder current meanwhile) in an engine of its own.
class StageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path data = findDataFolder();
    ASSERT_FALSE(data.empty());
    previous = std::filesystem::current_path();
    std::filesystem::current_path(data);
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  // Seeded, laid out and built; the notes go into the temporary folder.
  std::unique_ptr<CTrackBuilder> buildStage(unsigned seed, float length = 2000) {
    cvSeed(seed);
    root = engine.getNewFrame();
    auto builder = std::make_unique<CTrackBuilder>(root);
    builder->notesPath = temp.file("notes.txt");
    builder->listener = &progress;
    builder->init(length);
    builder->build();
    return builder;
  }

  std::vector<ZGeometry*> meshesNamed(const std::string& suffix) const {
    std::vector<ZGeometry*> out;
    for (ZGeometry* g : root->geometries) {
      const std::string& n = g->name;
      if (n.size() > suffix.size() &&
          n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0 &&
          std::isdigit(static_cast<unsigned char>(n[n.size() - suffix.size() - 1]))) {
        out.push_back(g);
      }
    }
    return out;
  }

  CaptureLog log;
  ScopedDesktop desktop;
  TempFolder temp;
  ZCorvane engine;
  ZFrame* root = nullptr;
  ProgressLog progress;
  std::filesystem::path previous;
};

TEST(TrackLayout, HairpinFromTheStartPoint) {
  CTrackBuilder builder(nullptr);
  builder.settings.slope = 0;
  const float length = builder.addCorner(10, 180);
  const SSectorInfo& hairpin = builder.sectors.back();
  EXPECT_NEAR(length, 31.4159f, 1e-4f);
  EXPECT_NEAR(hairpin.center.x, 10, 1e-5f);
  EXPECT_NEAR(hairpin.center.z, -10, 1e-5f);
  EXPECT_NEAR(hairpin.end.x, 20, 1e-4f);
  EXPECT_NEAR(hairpin.end.y, 0, 1e-6f);
  EXPECT_NEAR(hairpin.end.z, -10, 1e-4f);
  EXPECT_NEAR(builder.heading.x, 0, 1e-6f);
  EXPECT_NEAR(builder.heading.z, -1, 1e-6f);
  EXPECT_EQ(hairpin.type, 1);
  // A slope lifts the end, not the centre.
  builder.settings.slope = 0.1f;
  builder.addCorner(10, -90);
  EXPECT_NEAR(builder.sectors.back().end.y - builder.sectors.back().start.y, 1.5708f, 1e-4f);
  EXPECT_EQ(builder.sectors.back().prev, &builder.sectors.front());
  EXPECT_EQ(builder.sectors.front().next, &builder.sectors.back());
}

TEST(TrackLayout, StraightsClimbByTheSlopeAndKeepTheirSurface) {
  CTrackBuilder builder(nullptr);
  builder.settings.slope = 0.05f;
  builder.settings.roadWidth = 6.5f;
  builder.settings.surfaceType = 1;
  EXPECT_EQ(builder.addStraight(100), 100);
  const SSectorInfo& straight = builder.sectors.back();
  EXPECT_NEAR(straight.end.z, 90, 1e-4f);
  EXPECT_NEAR(straight.end.y, 5, 1e-5f);
  EXPECT_EQ(straight.width, 6.5f);
  EXPECT_EQ(straight.surfaceType, 1);  // no change is ever drawn at 0 %
  EXPECT_NEAR(straight.direction.length(), 1, 1e-6f);
}

TEST(TrackLayout, ChangesCornerGradesAndBumps) {
  cvSeed(1);
  for (int i = 0; i < 10000; ++i) ASSERT_FALSE(CTrackBuilder::isChangeNeeded(0));
  const std::pair<float, int> grades[] = {{10, 1},  {39.9f, 1}, {40, 2}, {59.9f, 2},
                                          {60, 3},  {89.9f, 3}, {90, 4}, {119.9f, 4},
                                          {120, 5}, {500, 5}};
  for (const auto& [radius, grade] : grades) {
    EXPECT_EQ(CTrackBuilder::cornerGrade(radius), grade) << radius;
  }
  CTrackBuilder builder(nullptr);
  const float left = builder.getBump({12.345f, 0, 3}, 1).y;
  EXPECT_EQ(builder.getBump({-12.345f, 0, 3}, 1).y, left);
  EXPECT_EQ(builder.getBump({12.345f + 10, 0, 3}, 1).y, left);  // the map repeats every 10 m
  EXPECT_EQ(builder.getBump({12.345f, 2, 3}, 0.5f).y, 2 + left * 0.5f);
  // Coordinates no cell holds read a cell all the same.
  for (const float odd : {1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()}) {
    const float y = builder.getBump({odd, 0, odd}, 1).y;
    EXPECT_GE(y, 0);
    EXPECT_LE(y, 1);
  }
}

TEST(TrackLayout, MaterialsComeFromTheListOrNotAtAll) {
  cvSeed(2);
  STBMaterialList none;
  STBMaterial* current = nullptr;
  EXPECT_EQ(CTrackBuilder::getMaterial(none, current, 100), nullptr);
  STBMaterialList list(3);
  const STBMaterial* first = CTrackBuilder::getMaterial(list, current, 0);
  ASSERT_NE(first, nullptr);
  // At 0 % the surface never changes once picked.
  for (int i = 0; i < 100; ++i) EXPECT_EQ(CTrackBuilder::getMaterial(list, current, 0), first);
  EXPECT_EQ(CTrackBuilder::cutExtension("trackbuilder/outs/grass.dds"), "trackbuilder/outs/grass");
  EXPECT_EQ(CTrackBuilder::cutExtension("a.b"), "");
}

TEST_F(StageTest, LoadsTheFilteredSurfacesWithTheirDefinitions) {
  const auto builder = buildStage(1);
  ASSERT_EQ(builder->tarmac.size(), 2u);
  ASSERT_EQ(builder->gravel.size(), 2u);
  ASSERT_EQ(builder->outs.size(), 2u);   // sand_bank has no "grass" in its name
  ASSERT_EQ(builder->trees.size(), 1u);  // nor birch_europe "asia"
  for (const STBMaterial& stb : builder->gravel) EXPECT_EQ(stb.type, "GRAVEL");
  for (const STBMaterial& stb : builder->outs) {
    EXPECT_EQ(stb.type, "GRASS");
    EXPECT_EQ(stb.stepU, 5);
  }
  EXPECT_EQ(builder->tarmac[0].stepU, 4);
  EXPECT_EQ(builder->tarmac[0].material->stage(0).textureName,
            "trackbuilder/tarmac/tarmac_dark.dds");  // name order
  EXPECT_NE(log.text().find("Loading material def trackbuilder/gravel/gravel_brown.txt"),
            std::string::npos);
}

TEST_F(StageTest, DefinitionFilesWithBareLineFeedsOrBadLengthsAreReadSafely) {
  temp.write("lf.txt", "[MATERIAL]\nTYPE=GRAVEL\nSTEPU=2.5\n");
  temp.write("bad.txt", "[MATERIAL]\r\nSTEPU=-3\r\nTYPE=gravel\r\n");
  STBMaterial lf, bad, missing;
  CTrackBuilder::loadSTB(temp.file("lf.dds"), lf);
  CTrackBuilder::loadSTB(temp.file("bad.dds"), bad);
  CTrackBuilder::loadSTB(temp.file("missing.dds"), missing);
  EXPECT_EQ(lf.type, "GRAVEL");
  EXPECT_EQ(lf.stepU, 2.5f);
  EXPECT_EQ(bad.type, "GRASS");  // the type is matched exactly
  EXPECT_EQ(bad.stepU, 1.0f);    // a texture cannot repeat every -3 m
  EXPECT_EQ(missing.type, "GRASS");
  EXPECT_EQ(missing.stepU, 1.0f);
}

TEST_F(StageTest, AStageHasItsRoadMarkersCamerasTreesAndNotes) {
  const auto builder = buildStage(7);
  const int count = int(builder->sectors.size());
  ASSERT_GT(count, 5);
  // The whole stage keeps surface type 1: one gravel road per sector, in sector order.
  const std::vector<ZGeometry*> roads = meshesNamed("GRAVEL");
  ASSERT_EQ(int(roads.size()), count);
  std::vector<int> starts, ends;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(sectorOf(roads[size_t(i)]->name), i + 1);
    if (value(*roads[size_t(i)], "RALLYSTART") == 1) starts.push_back(i + 1);
    if (value(*roads[size_t(i)], "RALLYEND") == 1) ends.push_back(i + 1);
  }
  EXPECT_EQ(starts, std::vector<int>{2});
  EXPECT_EQ(ends, std::vector<int>{count - 1});
  EXPECT_TRUE(meshesNamed("ROAD").empty());
  // Four verges a sector.
  EXPECT_EQ(int(meshesNamed("GRASS").size()), 4 * count);

  // A camera beside each straight, named after it, none at corners.
  std::vector<int> straights;
  for (int i = 0; i < count; ++i) {
    if (!builder->sectors[size_t(i)].isCorner()) straights.push_back(i + 1);
  }
  std::vector<int> cameraSectors;
  for (const ZCamera* camera : builder->cameras) {
    cameraSectors.push_back(sectorOf(camera->name));
    EXPECT_EQ(camera->name, std::to_string(cameraSectors.back()) + "Camera");
    const SSectorInfo& sector = builder->sectors[size_t(cameraSectors.back() - 1)];
    EXPECT_NEAR(camera->position.y, sector.midpoint().y + 1.7f, 1e-3f);
  }
  EXPECT_EQ(cameraSectors, straights);

  // Trees stand on straights, each with an invisible collision box of the same sector.
  const std::vector<ZGeometry*> trees = meshesNamed("TREE");
  const std::vector<ZGeometry*> boxes = meshesNamed("WALL");
  ASSERT_FALSE(trees.empty());
  ASSERT_EQ(trees.size(), boxes.size());
  for (size_t i = 0; i < trees.size(); ++i) {
    EXPECT_TRUE(trees[i]->visible && trees[i]->castShadow);
    EXPECT_FALSE(boxes[i]->visible);
    EXPECT_EQ(sectorOf(boxes[i]->name), sectorOf(trees[i]->name));
    EXPECT_FALSE(builder->sectors[size_t(sectorOf(trees[i]->name) - 1)].isCorner());
    EXPECT_EQ(trees[i]->faces.size(), 4u);
    EXPECT_EQ(boxes[i]->faces.size(), 8u);
  }

  // A note for each straight before a corner: its road and the corner's signed grade.
  std::istringstream notes(readFileText(temp.file("notes.txt")));
  std::string road;
  int grade = 0, lines = 0;
  while (notes >> road >> grade) {
    ++lines;
    const SSectorInfo& straight = builder->sectors[size_t(sectorOf(road) - 1)];
    ASSERT_NE(straight.next, nullptr);
    ASSERT_TRUE(straight.next->isCorner()) << road;
    EXPECT_EQ(road, std::to_string(sectorOf(road)) + "GRAVEL");
    EXPECT_EQ(grade,
              -cvSng(straight.next->angle) * CTrackBuilder::cornerGrade(straight.next->radius))
        << road;
  }
  int cornersAfterStraights = 0;
  for (const SSectorInfo& s : builder->sectors) {
    cornersAfterStraights += !s.isCorner() && s.next != nullptr && s.next->isCorner();
  }
  EXPECT_EQ(lines, cornersAfterStraights);
  EXPECT_GT(lines, 0);
  EXPECT_EQ(builder->notes, readFileText(temp.file("notes.txt")));

  // Progress once a sector, ending at exactly 100 with the last.
  ASSERT_EQ(int(progress.percents.size()), count);
  EXPECT_EQ(progress.percents.back(), 100);
  EXPECT_LT(progress.percents[progress.percents.size() - 2], 100);
  EXPECT_EQ(progress.titles.front(), "Velora Track Builder");
}

TEST_F(StageTest, RoadStripsMeetWithoutSeamsFaceUpAndContinueTheirTexture) {
  const auto builder = buildStage(11);
  const std::vector<ZGeometry*> roads = meshesNamed("GRAVEL");
  ASSERT_EQ(roads.size(), builder->sectors.size());
  for (size_t i = 0; i < roads.size(); ++i) {
    const ZGeometry& road = *roads[i];
    for (const SFace& f : road.faces) ASSERT_GT(f.normal.y, 0) << road.name;
    if (i == 0) continue;
    // The first row of each road is the last row of the one before: right, centre, left.
    const ZGeometry& before = *roads[i - 1];
    for (size_t c = 0; c < 3; ++c) {
      const SVertex& end = before.vertices[before.vertices.size() - 3 + c];
      const SVertex& start = road.vertices[c];
      EXPECT_LT(end.position.distance(start.position), 2e-3f) << road.name << " column " << c;
      if (builder->sectors[i].isCorner()) {
        EXPECT_NEAR(start.t0[1], end.t0[1], 1e-3f) << road.name;
      }
    }
    if (!builder->sectors[i].isCorner()) {
      EXPECT_EQ(road.vertices[0].t0[1], 0) << road.name;
    }
  }
  // The road's centre ends where the layout does, raised by the crown and at most one bump.
  const ZVector centre = roads.back()->vertices[roads.back()->vertices.size() - 2].position;
  const ZVector end = builder->sectors.back().end;
  EXPECT_NEAR(centre.x, end.x, 1e-3f);
  EXPECT_NEAR(centre.z, end.z, 1e-3f);
  EXPECT_GE(centre.y, end.y + 0.05f - 1e-4f);
  EXPECT_LE(centre.y, end.y + 0.055f + 1e-4f);
}

TEST_F(StageTest, TheSameSeedBuildsTheSameFileAndAnotherSeedAnother) {
  const auto save = [&](unsigned seed, const std::string& name) {
    ZCorvane own;
    LoadedModel model;
    model.root = own.getNewFrame();
    cvSeed(seed);
    CTrackBuilder builder(model.root);
    builder.notesPath = temp.file(name + ".txt");
    builder.init(800);
    builder.build();
    model.cameras = builder.cameras;
    model.kind = ModelFormat::zmt;
    const std::string path = temp.file(name + ".zmt");
    EXPECT_TRUE(saveModel(path, own, model));
    return readFileText(path) + readFileText(temp.file(name + ".txt"));
  };
  const std::string first = save(5, "a");
  ASSERT_GT(first.size(), 10000u);
  EXPECT_EQ(save(5, "b"), first);
  EXPECT_NE(save(6, "c"), first);
}

TEST_F(StageTest, MissingSurfacesLeaveTheirStripsOutWithOneLineEach) {
  std::filesystem::current_path(temp.path());  // no trackbuilder/ here
  const auto builder = buildStage(3, 500);
  EXPECT_TRUE(builder->tarmac.empty() && builder->gravel.empty() && builder->outs.empty());
  EXPECT_TRUE(root->geometries.empty());
  EXPECT_FALSE(builder->cameras.empty());  // the layout and the cameras do not need surfaces
  const std::string text = log.text();
  const auto count = [&](const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("no gravel surfaces"), 1u);
  EXPECT_EQ(count("no verge surfaces"), 1u);
  EXPECT_EQ(count("no tarmac surfaces"), 0u);  // no sector asked for tarmac
}

TEST_F(StageTest, ANotesFileThatCannotBeWrittenLeavesTheStageBuilt) {
  cvSeed(4);
  root = engine.getNewFrame();
  CTrackBuilder builder(root);
  builder.notesPath = temp.file("no/such/folder/notes.txt");
  builder.init(300);
  builder.build();
  EXPECT_FALSE(builder.notesWritten);
  EXPECT_FALSE(builder.notes.empty());
  EXPECT_EQ(meshesNamed("GRAVEL").size(), builder.sectors.size());
  EXPECT_NE(log.text().find("cannot write the pace notes"), std::string::npos);
}

}  // namespace
