#include "scene/ZGeometry.h"

#include "render/ZCorvane.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A flat grid of cells x cells quads (two faces each) in the XZ plane with t0 = (x, z) / cells.
ZGeometry* makeGrid(ZCorvane& engine, int cells) {
  ZGeometry* g = engine.getNewGeometry();
  g->name = "grid";
  for (int z = 0; z <= cells; ++z) {
    for (int x = 0; x <= cells; ++x) {
      g->addVertex({float(x), 0, float(z)});
      g->setTextureVertex(int(g->vertices.size()) - 1, float(x) / float(cells),
                          float(z) / float(cells), 0);
    }
  }
  const auto at = [cells](int x, int z) { return z * (cells + 1) + x; };
  for (int z = 0; z < cells; ++z) {
    for (int x = 0; x < cells; ++x) {
      g->addTriangle(at(x, z), at(x, z + 1), at(x + 1, z));
      g->addTriangle(at(x + 1, z), at(x, z + 1), at(x + 1, z + 1));
    }
  }
  g->generateNormals();
  return g;
}

TEST(ZGeometrySimplify, HalvesAGridAndKeepsItsMaterialAndAttributes) {
  CaptureLog log;
  ZCorvane engine;
  ZGeometry* grid = makeGrid(engine, 10);
  grid->setMaterial(engine.getNewMaterial());
  ASSERT_EQ(grid->faces.size(), 200u);
  ZGeometry* simple = grid->getSimplifiedGeometry(100);
  ASSERT_NE(simple, nullptr) << log.text();
  EXPECT_EQ(simple->name, "grid_SIMPLIFIED");
  EXPECT_EQ(simple->material, grid->material);
  EXPECT_EQ(simple->engine, &engine);
  EXPECT_FALSE(simple->compiled);
  EXPECT_LE(simple->faces.size(), 200u);
  EXPECT_LT(simple->faces.size(), grid->faces.size());
  EXPECT_GT(simple->faces.size(), 0u);
  for (const SFace& f : simple->faces) EXPECT_TRUE(simple->isFaceInRange(f));
  // Every vertex is a copy of a source vertex: on the plane, with its t0 and up normal.
  for (const SVertex& v : simple->vertices) {
    EXPECT_EQ(v.position.y, 0);
    EXPECT_FLOAT_EQ(v.t0[0], v.position.x / 10);
    EXPECT_FLOAT_EQ(v.normal.y, 1);
  }
  // The source mesh is untouched.
  EXPECT_EQ(grid->faces.size(), 200u);
  const std::string text = log.text();
  for (const char* line : {"Creating ID3DXMesh...OKCopying vertices...", "buff for 200\n",
                           "ADJ ok\n", "end vertices\n", "indices\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_NE(text.find("New mesh " + std::to_string(simple->faces.size()) + " faces\n"),
            std::string::npos);
}

TEST(ZGeometrySimplify, RefusalsGiveNull) {
  CaptureLog log;
  ZCorvane engine;
  // No faces: the platform refuses an empty mesh.
  ZGeometry* empty = engine.getNewGeometry();
  empty->addVertex({0, 0, 0});
  EXPECT_EQ(empty->getSimplifiedGeometry(1), nullptr);
  EXPECT_NE(log.text().find("FAILED\n"), std::string::npos);
  // Without an engine nothing can be made.
  ZGeometry loose;
  loose.addVertex({0, 0, 0});
  loose.addVertex({1, 0, 0});
  loose.addVertex({0, 0, 1});
  loose.addTriangle(0, 1, 2);
  EXPECT_EQ(loose.getSimplifiedGeometry(1), nullptr);
  EXPECT_EQ(engine.geometries.size(), 1u);
}

TEST(ZGeometrySimplify, FacesOutOfRangeAreLeftOut) {
  CaptureLog log;
  ZCorvane engine;
  ZGeometry* grid = makeGrid(engine, 4);
  grid->addTriangle(0, 1, 999);
  ZGeometry* simple = grid->getSimplifiedGeometry(16);
  ASSERT_NE(simple, nullptr) << log.text();
  EXPECT_NE(log.text().find("buff for 32\n"), std::string::npos);
  for (const SFace& f : simple->faces) EXPECT_TRUE(simple->isFaceInRange(f));
}

TEST(ZGeometrySimplify, MeshesBeyondSixteenBitIndicesKeepTheirVertices) {
  CaptureLog log;
  ZCorvane engine;
  ZGeometry* grid = makeGrid(engine, 260);  // 261 * 261 = 68121 vertices
  ASSERT_GT(grid->vertices.size(), 65536u);
  ZGeometry* simple = grid->getSimplifiedGeometry(int(grid->faces.size() / 2));
  ASSERT_NE(simple, nullptr);
  float maxX = 0, maxZ = 0;
  for (const SFace& f : simple->faces) {
    ASSERT_TRUE(simple->isFaceInRange(f));
    for (int i : {f.a, f.b, f.c}) {
      maxX = std::max(maxX, simple->vertices[size_t(i)].position.x);
      maxZ = std::max(maxZ, simple->vertices[size_t(i)].position.z);
    }
  }
  // Indices wrapped at 65536 would lose the far rows of the grid.
  EXPECT_EQ(maxX, 260);
  EXPECT_EQ(maxZ, 260);
}

}  // namespace
