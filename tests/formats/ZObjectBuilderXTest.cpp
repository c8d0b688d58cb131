#include "formats/ZObjectBuilder.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/AssimpSummary.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

class ZObjectBuilderXTest : public ::testing::Test {
 protected:
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZObjectBuilder builder{&engine};
};

// Two materials (the second textured) on a square of two triangles, one per material, and a
// frame that moves the mesh by (10, 0, 0).
constexpr const char* kTwoMaterials = R"(xof 0303txt 0032
Frame Holder {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
 Mesh Square {
  4;
  0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
  2;
  3;0,1,2;, 3;0,2,3;;
  MeshNormals { 1; 0;0;-1;; 2; 3;0,0,0;, 3;0,0,0;; }
  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
  MeshMaterialList {
   2; 2; 0, 1;;
   Material { 1;0;0;1;; 20; 0;0;0;; 0;0;0;; }
   Material { 0;1;0;1;; 8; 1;1;1;; 0;0;0;; TextureFilename { "maps\\bark.png"; } }
  }
 }
}
)";

TEST_F(ZObjectBuilderXTest, MeshBecomesAFrameWithAGeometryPerMaterial) {
  TempFolder folder;
  folder.write("texture/bark.png", "picture bytes");
  const std::string file = folder.write("tree.x", kTwoMaterials);
  ASSERT_TRUE(builder.loadX(file));

  ASSERT_EQ(builder.frames.size(), 1u);
  EXPECT_EQ(builder.frames[0]->name, "tree");
  ASSERT_EQ(builder.geometries.size(), 2u);
  ASSERT_EQ(builder.materials.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const ZGeometry* g = builder.geometries[i];
    EXPECT_EQ(g->material, builder.materials[i]);
    ASSERT_EQ(g->faces.size(), 1u);
    EXPECT_EQ(g->vertices.size(), 3u);  // only the corners its own face uses
    EXPECT_TRUE(g->isFaceInRange(g->faces[0]));
    EXPECT_GT(g->radius, 0.0f);
  }
  // The frame transform is baked into the vertices; normals and texture coordinates as stored.
  const ZGeometry* first = builder.geometries[0];
  const SVertex& corner = first->vertices[size_t(first->faces[0].c)];
  EXPECT_FLOAT_EQ(corner.position.x, 11.0f);
  EXPECT_FLOAT_EQ(corner.position.y, 1.0f);
  EXPECT_FLOAT_EQ(corner.t0[0], 1.0f);
  EXPECT_FLOAT_EQ(corner.t0[1], 1.0f);
  EXPECT_FLOAT_EQ(corner.normal.z, -1.0f);

  EXPECT_FLOAT_EQ(builder.materials[0]->d3dMaterial.Diffuse.r, 1.0f);
  EXPECT_FLOAT_EQ(builder.materials[0]->d3dMaterial.Power, 20.0f);
  EXPECT_FLOAT_EQ(builder.materials[1]->d3dMaterial.Ambient.g, 1.0f);
  EXPECT_EQ(builder.materials[0]->stage(0).texture, nullptr);
  ASSERT_NE(builder.materials[1]->stage(0).texture, nullptr);
  EXPECT_EQ(builder.materials[1]->stage(0).texture->name, folder.path().string() + "/texture/bark.png");
}

TEST_F(ZObjectBuilderXTest, UnreadableFileFailsWithTheLoaderLine) {
  EXPECT_FALSE(builder.loadX("/nonexistent/tree.x"));
  EXPECT_NE(log.text().find("D3DXLoadMeshFromX FAILED /nonexistent/tree.x\n"), std::string::npos);
  TempFolder folder;
  const std::string file = folder.write("cut.x", std::string(kTwoMaterials).substr(0, 200));
  EXPECT_FALSE(builder.loadX(file));
  EXPECT_TRUE(builder.frames.empty());
  EXPECT_TRUE(builder.geometries.empty());
}

// The sample files import with the triangles assimp reads. assimp keeps polygons whole (so its
// faces count as corners - 2 triangles) and makes one vertex per corner, while a geometry here
// shares the vertices its faces share: assimp's distinct positions and its corners bound our
// vertex count. assimp keeps frame transforms on its nodes and mirrors Z (its space is
// right-handed, the file's and ours left-handed); both are undone here to compare the boxes.
TEST_F(ZObjectBuilderXTest, SampleFilesMatchAssimp) {
  const std::filesystem::path folder = std::filesystem::path(SHARED_TESTDATA) / "x";
  for (const char* name : {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x",
                           "kwxport_test_cubewithvcolors.x", "Testwuson.X"}) {
    SCOPED_TRACE(name);
    const std::string path = (folder / name).string();
    const AssimpSummary peer = summariseWithAssimp(path, true);
    ASSERT_TRUE(peer.read) << peer.error;

    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    ASSERT_TRUE(local.loadX(path));
    ASSERT_EQ(local.frames.size(), 1u);
    size_t ourTriangles = 0;
    size_t ourVertices = 0;
    ZVector ourLow(1e30f, 1e30f, 1e30f);
    ZVector ourHigh(-1e30f, -1e30f, -1e30f);
    for (const ZGeometry* g : local.frames[0]->geometries) {
      ourTriangles += g->faces.size();
      ourVertices += g->vertices.size();
      for (const SFace& face : g->faces) {
        ASSERT_TRUE(g->isFaceInRange(face));
        for (int index : {face.a, face.b, face.c}) {
          const ZVector& p = g->vertices[size_t(index)].position;
          ourLow = {std::min(ourLow.x, p.x), std::min(ourLow.y, p.y), std::min(ourLow.z, p.z)};
          ourHigh = {std::max(ourHigh.x, p.x), std::max(ourHigh.y, p.y), std::max(ourHigh.z, p.z)};
        }
      }
    }
    EXPECT_EQ(ourTriangles, peer.triangles);
    EXPECT_LE(ourVertices, peer.corners);
    EXPECT_GE(ourVertices, peer.positions);
    ZVector low = peer.low;
    ZVector high = peer.high;
    const float tolerance = 1e-3f * std::max(1.0f, high.x - low.x + high.y - low.y + high.z - low.z);
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_NEAR(ourLow[axis], low[axis], tolerance);
      EXPECT_NEAR(ourHigh[axis], high[axis], tolerance);
    }
  }
}

// A skin-weight list naming vertices the mesh lacks is refused by the loader: no crash and
// nothing half-built.
TEST_F(ZObjectBuilderXTest, MalformedSkinWeightsImportNothing) {
  const std::string path = std::string(SHARED_TESTDATA) + "/x/malformed_skinweights_oob.x";
  EXPECT_FALSE(builder.loadX(path));
  EXPECT_TRUE(builder.frames.empty());
  EXPECT_TRUE(builder.geometries.empty());
  EXPECT_NE(log.text().find("D3DXLoadMeshFromX FAILED"), std::string::npos);
}

}  // namespace
