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
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class ZObjectBuilderOBJTest : public ::testing::Test {
 protected:
  bool load(const std::string& obj, const std::string& mtl = "") {
    return builder.loadOBJText(obj, mtl, "model.obj");
  }
  ZFrame* frame(const std::string& name) const {
    for (ZFrame* f : builder.frames) {
      if (f->name == name) return f;
    }
    return nullptr;
  }
  size_t triangleCount() const {
    size_t count = 0;
    for (const ZGeometry* g : builder.geometries) count += g->faces.size();
    return count;
  }
  // The positions of a mesh's triangles in world space, corner by corner.
  static std::vector<ZVector> worldCorners(const ZFrame* f, const ZGeometry* g) {
    std::vector<ZVector> out;
    for (const SFace& face : g->faces) {
      for (int index : {face.a, face.b, face.c}) {
        out.push_back(f->localToWorld(g->vertices[size_t(index)].position));
      }
    }
    return out;
  }
  // Every face the import kept addresses vertices of its own mesh.
  void expectFacesInRange() const {
    for (const ZGeometry* g : builder.geometries) {
      for (const SFace& face : g->faces) EXPECT_TRUE(g->isFaceInRange(face)) << g->name;
    }
  }

  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZObjectBuilder builder{&engine};
};

void expectNear(const ZVector& a, const ZVector& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
  EXPECT_NEAR(a.z, b.z, 1e-5f);
}

TEST_F(ZObjectBuilderOBJTest, FirstCornerTakesUAndNegatedVOfItsTextureCoordinate) {
  ASSERT_TRUE(load("g quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0.5 0.25\nvt 1 0\nvt 1 1\n"
                   "f 1/1 2/2 3/3\n"));
  ASSERT_EQ(builder.geometries.size(), 1u);
  const ZGeometry* g = builder.geometries[0];
  ASSERT_EQ(g->faces.size(), 1u);
  const SVertex& first = g->vertices[size_t(g->faces[0].a)];
  EXPECT_FLOAT_EQ(first.t0[0], 0.5f);
  EXPECT_FLOAT_EQ(first.t0[1], -0.25f);
  EXPECT_NE(log.text().find("New geometry quad\n"), std::string::npos);
  EXPECT_NE(log.text().find("added at 0\n"), std::string::npos);
}

// Every way of writing the corners of one square (two triangles after fanning) gives the same
// triangles in world space.
TEST_F(ZObjectBuilderOBJTest, CornerFormsAndRelativeIndicesGiveTheSameTriangles) {
  const std::string header =
      "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";
  const std::vector<std::string> faces = {
      "f 1 2 3 4\n",
      "f 1/1 2/2 3/3 4/4\n",
      "f 1//1 2//1 3//1 4//1\n",
      "f 1/1/1 2/2/1 3/3/1 4/4/1\n",
      "f -4/-4/-1 -3/-3/-1 -2/-2/-1 -1/-1/-1\n",
      "f\t1 2\t3 4  \r\n",
  };
  const std::vector<ZVector> expected = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0},
                                         {0, 0, 0}, {2, 2, 0}, {0, 2, 0}};
  for (const std::string& face : faces) {
    SCOPED_TRACE(face);
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    ASSERT_TRUE(local.loadOBJText("g square\n" + header + face, "", "square.obj"));
    ASSERT_EQ(local.geometries.size(), 1u);
    const ZGeometry* g = local.geometries[0];
    EXPECT_EQ(g->vertices.size(), 4u);
    const std::vector<ZVector> corners = worldCorners(local.frames[0], g);
    ASSERT_EQ(corners.size(), expected.size());
    for (size_t i = 0; i < corners.size(); ++i) expectNear(corners[i], expected[i]);
  }
}

TEST_F(ZObjectBuilderOBJTest, PolygonsAreFannedIntoTriangles) {
  ASSERT_TRUE(load("v 0 0 0\nv 1 0 0\nv 2 1 0\nv 1 2 0\nv 0 1 0\nf 1 2 3 4 5\nf 1 2 3\n"));
  ASSERT_EQ(builder.geometries.size(), 1u);
  const ZGeometry* g = builder.geometries[0];
  ASSERT_EQ(g->faces.size(), 4u);
  const std::array<std::array<int, 3>, 4> fan = {{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 1, 2}}};
  for (size_t i = 0; i < fan.size(); ++i) {
    EXPECT_EQ(g->faces[i].a, fan[i][0]);
    EXPECT_EQ(g->faces[i].b, fan[i][1]);
    EXPECT_EQ(g->faces[i].c, fan[i][2]);
  }
  // Faces before any group go to a default one.
  EXPECT_EQ(builder.frames[0]->name, "default");
}

// A group holds the corners its own faces use, nothing else, including a position written
// before the group began; a position with two texture coordinates keeps both.
TEST_F(ZObjectBuilderOBJTest, GroupHoldsOnlyTheCornersItsFacesUse) {
  ASSERT_TRUE(load("g first\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nvt 1 1\n"
                   "f 1/1 2/2 3/3\n"
                   "g second\nv 5 5 5\nv 6 5 5\n"
                   "f 4/1 5/2 1/3\nf 4/4 5/2 1/3\n"));
  ASSERT_EQ(builder.geometries.size(), 2u);
  EXPECT_EQ(builder.geometries[0]->vertices.size(), 3u);
  const ZGeometry* second = builder.geometries[1];
  EXPECT_EQ(second->vertices.size(), 4u);  // 5 5 5 twice (two texture coordinates), 6 5 5, 0 0 0
  const std::vector<ZVector> corners = worldCorners(frame("second"), second);
  ASSERT_EQ(corners.size(), 6u);
  expectNear(corners[2], {0, 0, 0});
  expectNear(corners[3], {5, 5, 5});
  EXPECT_NE(second->faces[0].a, second->faces[1].a);
  EXPECT_EQ(second->faces[0].b, second->faces[1].b);
  EXPECT_NE(log.text().find("added at 3\n"), std::string::npos);
}

TEST_F(ZObjectBuilderOBJTest, BadIndicesSkipTheirFaceWithALogLine) {
  const std::vector<std::string> badFaces = {
      "f 0 1 2\n",        // indices count from 1
      "f 1 2 9\n",        // past the positions
      "f 1 2 -4\n",       // before the first position
      "f 1 2 3x\n",       // not a number
      "f 1/5 2/1 3/1\n",  // past the texture coordinates
      "f 1//2 2//1 3//1\n",
      "f 1 2 99999999999999999999\n",
      "f 1 2\n",  // not a polygon
      "f\n",
  };
  for (const std::string& bad : badFaces) {
    SCOPED_TRACE(bad);
    CaptureLog localLog;
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    ASSERT_TRUE(local.loadOBJText("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n" + bad +
                                      "f 1 2 3\n",
                                  "", "bad.obj"));
    ASSERT_EQ(local.geometries.size(), 1u);
    EXPECT_EQ(local.geometries[0]->faces.size(), 1u);
    EXPECT_NE(localLog.text().find("OBJ line 6:"), std::string::npos);
    EXPECT_EQ(localLog.text().find("WARNING INDEX"), std::string::npos);
  }
}

TEST_F(ZObjectBuilderOBJTest, ParGroupHangsUnderItsParentAndKeepsItsPlace) {
  ASSERT_TRUE(load("g body\nv 0 0 0\nv 4 0 0\nv 4 2 0\nf 1 2 3\n"
                   "g wheel_par_body\nv 10 0 0\nv 12 0 0\nv 12 2 2\nf 4 5 6\n"));
  ZFrame* body = frame("body");
  ZFrame* wheel = frame("wheel_par_body");
  ASSERT_NE(body, nullptr);
  ASSERT_NE(wheel, nullptr);
  EXPECT_EQ(wheel->parent, body);
  EXPECT_EQ(std::count(body->children.begin(), body->children.end(), wheel), 1);
  EXPECT_NE(log.text().find("DETECTED CHILD wheel OF body\n"), std::string::npos);
  // Pivots are the box centres; the vertices stay where the file put them.
  expectNear(body->getPosition(), {2, 1, 0});
  expectNear(wheel->getWorldPosition(), {11, 1, 1});
  const std::vector<ZVector> corners = worldCorners(wheel, wheel->geometries[0]);
  expectNear(corners[0], {10, 0, 0});
  expectNear(corners[2], {12, 2, 2});

  // Only top-level frames are attached to the caller's root.
  ZFrame* root = engine.getNewFrame();
  builder.attachTo(root);
  ASSERT_EQ(root->children.size(), 1u);
  EXPECT_EQ(root->children[0], body);
}

TEST_F(ZObjectBuilderOBJTest, ParLinksFollowChainsAndRefuseLoopsAndMissingParents) {
  const std::string triangle = "f -3 -2 -1\n";
  const std::string points = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  ASSERT_TRUE(load("g wheel_par_axle\n" + points + triangle + "g axle_par_body\n" + points +
                   triangle + "g body\n" + points + triangle + "g a_par_b\n" + points +
                   triangle + "g b_par_a\n" + points + triangle + "g self_par_self\n" + points +
                   triangle + "g lost_par_nowhere\n" + points + triangle));
  EXPECT_EQ(frame("wheel_par_axle")->parent, frame("axle_par_body"));
  EXPECT_EQ(frame("axle_par_body")->parent, frame("body"));
  // a under b; b under a would close a loop.
  EXPECT_EQ(frame("a_par_b")->parent, frame("b_par_a"));
  EXPECT_EQ(frame("b_par_a")->parent, nullptr);
  EXPECT_EQ(frame("self_par_self")->parent, nullptr);
  EXPECT_EQ(frame("lost_par_nowhere")->parent, nullptr);
  EXPECT_NE(log.text().find("Parent nowhere not found\n"), std::string::npos);
  EXPECT_NE(log.text().find("Parent self not found\n"), std::string::npos);
}

TEST_F(ZObjectBuilderOBJTest, MaterialLibraryNamesColoursAndTextures) {
  TempFolder folder;
  folder.write("texture/wood.png", "not really a picture");
  const std::string mtl =
      "# library\nnewmtl Hard Shiny Plastic\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\n"
      "Ke 0.25 0.5 0.75\nNs 42\nmap_Kd C:\\art\\wood.png\n\nnewmtl plain\nKd 1 0 0\n";
  const std::string obj =
      "g box\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
      "usemtl Hard Shiny Plastic\nf 1 2 3\nusemtl plain\nf 2 4 3\n"
      "usemtl Hard Shiny Plastic\nf 3 2 1\nusemtl missing\nf 1 3 4\n";
  folder.write("box.obj", obj);
  folder.write("box.mtl", mtl);
  ASSERT_TRUE(builder.loadOBJ((folder.path() / "box.obj").string()));

  // Two library materials, then the default one.
  ASSERT_EQ(builder.materials.size(), 3u);
  const ZMaterial* shiny = builder.materials[0];
  EXPECT_FLOAT_EQ(shiny->d3dMaterial.Ambient.b, 0.3f);
  EXPECT_FLOAT_EQ(shiny->d3dMaterial.Diffuse.g, 0.5f);
  EXPECT_FLOAT_EQ(shiny->d3dMaterial.Specular.r, 0.7f);
  EXPECT_FLOAT_EQ(shiny->d3dMaterial.Emissive.b, 0.75f);
  EXPECT_FLOAT_EQ(shiny->d3dMaterial.Power, 42.0f);
  ASSERT_NE(shiny->stage(0).texture, nullptr);
  EXPECT_EQ(shiny->stage(0).texture->name, builder.texturePath + "wood.png");
  EXPECT_EQ(builder.texturePath, folder.path().string() + "/texture/");

  // One frame; a mesh per material, each face with the material it was written under.
  ASSERT_EQ(builder.frames.size(), 1u);
  ASSERT_EQ(builder.geometries.size(), 3u);
  EXPECT_EQ(builder.geometries[0]->material, shiny);
  EXPECT_EQ(builder.geometries[0]->faces.size(), 2u);
  EXPECT_EQ(builder.geometries[1]->material, builder.materials[1]);
  EXPECT_EQ(builder.geometries[2]->material, builder.materials[2]);
  const std::string text = log.text();
  for (const char* line : {"Loading MTL file ", "TOK=@newmtl@\n", "TOK=@Shiny@\n",
                           "LOADING OBJ MATERIAL Hard Shiny Plastic\n", "Setting ambient\n",
                           "Setting diffuse\n", "Setting specular\n", "Setting emissive\n",
                           "Setting specular exp\n", "loading texture C:\\art\\wood.png\n",
                           "LOADED 2 materials\n", "Using material plain\n",
                           "Material missing not found\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_LT(text.find("LOADED 2 materials"), text.find("New geometry box"));
}

TEST_F(ZObjectBuilderOBJTest, FileNormalsSurviveThePivotMove) {
  ASSERT_TRUE(load("g sharp\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nvn 0 0 -1\nvn 0 -1 0\n"
                   "f 1//1 3//1 2//1\nf 1//2 2//2 4//2\n"
                   "g smooth\nv 5 0 0\nv 6 0 0\nv 5 1 0\nf 5 7 6\n"));
  const ZGeometry* sharp = builder.geometries[0];
  ASSERT_EQ(sharp->vertices.size(), 6u);
  for (const SFace& face : sharp->faces) {
    const ZVector expected = &face == &sharp->faces[0] ? ZVector(0, 0, -1) : ZVector(0, -1, 0);
    for (int index : {face.a, face.b, face.c}) {
      expectNear(sharp->vertices[size_t(index)].normal, expected);
    }
    // Face normals are still made (a saved model carries them).
    ZVector faceDirection = face.normal;
    faceDirection.normalize();
    EXPECT_NEAR(std::fabs(faceDirection.dotProduct(expected)), 1.0f, 1e-5f);
  }
  // Without file normals the mesh gets generated ones.
  const ZGeometry* smooth = builder.geometries[1];
  EXPECT_NEAR(std::fabs(smooth->vertices[0].normal.z), 1.0f, 1e-5f);
  EXPECT_GT(smooth->radius, 0.0f);
}

TEST_F(ZObjectBuilderOBJTest, NumbersReadLikeAtofWhateverTheirForm) {
  ASSERT_TRUE(load("v +1.5 -2.e1 3.1+e2\nv 1E2 .5 -0\nv 1e-2 nonsense\nf 1 2 3\n"));
  const ZGeometry* g = builder.geometries[0];
  const std::vector<ZVector> corners = worldCorners(builder.frames[0], g);
  expectNear(corners[0], {1.5f, -20, 3.1f});
  expectNear(corners[1], {100, 0.5f, 0});
  expectNear(corners[2], {0.01f, 0, 0});
}

// Any prefix of a file is a file too: it must import without reading outside the text.
TEST_F(ZObjectBuilderOBJTest, EveryTruncatedPrefixImportsSafely) {
  const std::string obj =
      "mtllib m.mtl\ng a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nusemtl red\n"
      "f 1/1/1 2/1/1 3/1/1\ng b_par_a\nv 2 2 2\nf -1 1 2 -2\n";
  const std::string mtl = "newmtl red\nKd 1 0 0\nNs 5\nmap_Kd t.png\n";
  for (size_t n = 0; n <= obj.size(); ++n) {
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    EXPECT_TRUE(local.loadOBJText(obj.substr(0, n), mtl.substr(0, n % (mtl.size() + 1)), "p.obj"));
    for (const ZGeometry* g : local.geometries) {
      for (const SFace& face : g->faces) ASSERT_TRUE(g->isFaceInRange(face)) << n;
    }
  }
}

// Files are read in blocks of a megabyte: lines cut by a block's end, and a line longer than
// a block, must come out as they do from the whole text.
TEST_F(ZObjectBuilderOBJTest, FileReadInBlocksMatchesTheWholeText) {
  std::string obj = "g big\n";
  for (int i = 0; i < 60000; ++i) {
    obj += "v " + std::to_string(i) + ".5 " + std::to_string(i % 7) + " -" +
           std::to_string(i % 13) + ".25\n";
  }
  obj += "# " + std::string(1500000, 'x') + "\n";
  obj += "f";  // one polygon of 30000 corners on a line of about 200 kB
  for (int i = 1; i <= 30000; ++i) obj += " " + std::to_string(i);
  obj += "\n";
  for (int i = 1; i + 2 <= 60000; i += 3) {
    obj += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) +
           "\n";
  }
  obj += "f -1 -2 -3";  // no line end
  ASSERT_GT(obj.size(), size_t{2} << 20);
  TempFolder folder;
  const std::string file = folder.write("big.obj", obj);

  ZCorvane fileEngine;
  ZObjectBuilder fromFile(&fileEngine);
  ASSERT_TRUE(fromFile.loadOBJ(file));
  ZCorvane textEngine;
  ZObjectBuilder fromText(&textEngine);
  ASSERT_TRUE(fromText.loadOBJText(obj, "", file));

  ASSERT_EQ(fromFile.geometries.size(), 1u);
  ASSERT_EQ(fromText.geometries.size(), 1u);
  const ZGeometry* a = fromFile.geometries[0];
  const ZGeometry* b = fromText.geometries[0];
  EXPECT_EQ(a->faces.size(), 29998u + 20000u + 1u);
  ASSERT_EQ(a->faces.size(), b->faces.size());
  ASSERT_EQ(a->vertices.size(), b->vertices.size());
  for (size_t i = 0; i < a->faces.size(); ++i) {
    ASSERT_EQ(a->faces[i].a, b->faces[i].a);
    ASSERT_EQ(a->faces[i].b, b->faces[i].b);
    ASSERT_EQ(a->faces[i].c, b->faces[i].c);
  }
  for (size_t i = 0; i < a->vertices.size(); ++i) {
    ASSERT_EQ(a->vertices[i].position.x, b->vertices[i].position.x);
    ASSERT_EQ(a->vertices[i].position.z, b->vertices[i].position.z);
  }
}

TEST_F(ZObjectBuilderOBJTest, MissingFileImportsNothing) {
  EXPECT_FALSE(builder.loadOBJ("/nonexistent/model.obj"));
  EXPECT_TRUE(builder.frames.empty());
  EXPECT_TRUE(builder.materials.empty());
}

// The sample files other programs wrote import with the triangles assimp reads from them.
// assimp keeps polygons whole and makes one vertex per corner, so its counts are compared as
// triangles (corners - 2 per polygon, lines and points left out) and its vertices bound ours:
// at least one per distinct position used, at most one per corner. The box it spans must match.
TEST_F(ZObjectBuilderOBJTest, SampleFilesMatchAssimp) {
  const std::filesystem::path folder = std::filesystem::path(SHARED_TESTDATA) / "obj";
  for (const char* name : {"box.obj", "box_without_lineending.obj", "concave_polygon.obj",
                           "cube_usemtl.obj", "empty_mat.obj", "number_formats.obj", "regr01.obj",
                           "space_in_material_name.obj", "spider.obj", "testmixed.obj",
                           "WusonOBJ.obj"}) {
    SCOPED_TRACE(name);
    const std::string path = (folder / name).string();
    const AssimpSummary peer = summariseWithAssimp(path, false);
    ASSERT_TRUE(peer.read) << peer.error;

    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    ASSERT_TRUE(local.loadOBJ(path));
    size_t ourTriangles = 0;
    size_t ourVertices = 0;
    ZVector ourLow(1e30f, 1e30f, 1e30f);
    ZVector ourHigh(-1e30f, -1e30f, -1e30f);
    for (const ZFrame* f : local.frames) {
      for (const ZGeometry* g : f->geometries) {
        ourTriangles += g->faces.size();
        ourVertices += g->vertices.size();
        for (const SFace& face : g->faces) ASSERT_TRUE(g->isFaceInRange(face));
        for (const ZVector& p : worldCorners(f, g)) {
          ourLow = {std::min(ourLow.x, p.x), std::min(ourLow.y, p.y), std::min(ourLow.z, p.z)};
          ourHigh = {std::max(ourHigh.x, p.x), std::max(ourHigh.y, p.y), std::max(ourHigh.z, p.z)};
        }
      }
    }
    EXPECT_EQ(ourTriangles, peer.triangles);
    EXPECT_GE(ourVertices, peer.positions);
    EXPECT_LE(ourVertices, peer.corners);
    ZVector low = peer.low;
    ZVector high = peer.high;
    const float tolerance = 1e-4f * std::max(1.0f, high.x - low.x + high.y - low.y + high.z - low.z);
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_NEAR(ourLow[axis], low[axis], tolerance);
      EXPECT_NEAR(ourHigh[axis], high[axis], tolerance);
    }
  }
}

}  // namespace
