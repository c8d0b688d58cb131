#include "scene/ZGeometry.h"

#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>

namespace {

bool sameBits(const ZVector& p, const ZVector& q) { return std::memcmp(&p, &q, sizeof(p)) == 0; }

bool exactlyEqual(const ZVector& p, const ZVector& q) {
  return p.x == q.x && p.y == q.y && p.z == q.z;
}

// The quadratic normal generation exactly as the algorithm is written: for each corner of each
// face, scan every face's corners for the first one at an equal position.
void writtenGenerateNormals(ZGeometry& g) {
  g.generateFaceNormals();
  for (const SFace& f : g.faces) {
    for (int v : {f.a, f.b, f.c}) {
      ZVector sum;
      for (const SFace& other : g.faces) {
        bool touches = false;
        for (int w : {other.a, other.b, other.c}) {
          if (exactlyEqual(g.vertices[w].position, g.vertices[v].position)) {
            touches = true;
            break;
          }
        }
        if (touches && other.smoothingGroup == f.smoothingGroup) sum = sum + other.normal;
      }
      sum.normalize();
      g.vertices[v].normal = sum;
    }
  }
}

// The per-vertex sums of tangent frames as written: every face that uses the vertex or another
// vertex of equal position and normal, in face order. Expects face frames already computed.
void writtenVertexTangents(ZGeometry& g) {
  for (SVertex& v : g.vertices) {
    ZVector tangent, binormal;
    for (const SFace& f : g.faces) {
      bool uses = false;
      for (int w : {f.a, f.b, f.c}) {
        const SVertex& u = g.vertices[w];
        uses = uses || &u == &v ||
               (exactlyEqual(u.position, v.position) && exactlyEqual(u.normal, v.normal));
      }
      if (uses) {
        tangent = tangent + f.tangent;
        binormal = binormal + f.binormal;
      }
    }
    tangent.normalize();
    binormal.normalize();
    v.tangent = tangent;
    v.binormal = binormal;
  }
}

// Sizes of a random mesh: vertex and face counts are drawn up to these; z gets one of `levels`
// offsets (level 0 keeps the pool value, so -0 survives), which sets how many distinct
// positions there are.
struct RandomMeshSize {
  int maxVertices = 60;
  int maxFaces = 150;
  int levels = 1;
};

// Vertices drawn from a small pool of coordinates (so positions repeat across vertex records),
// with -0 and +0 both present, random faces and mixed smoothing groups.
void buildRandomMesh(ZGeometry& g, std::mt19937& rng, bool withNaN, RandomMeshSize size = {}) {
  const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.0f, withNaN ? NAN : 3.0f};
  std::uniform_int_distribution<int> coordinate(0, 6);
  std::uniform_int_distribution<int> level(0, size.levels - 1);
  std::uniform_real_distribution<float> uv(-2.0f, 2.0f);
  std::uniform_int_distribution<int> vertexCount(3, size.maxVertices);
  const int count = vertexCount(rng);
  for (int i = 0; i < count; ++i) {
    const int zLevel = level(rng);
    const float z = pool[coordinate(rng)];
    const float x = pool[coordinate(rng)];
    const float y = pool[coordinate(rng)];
    g.addVertex({x, y, zLevel == 0 ? z : z + float(zLevel)});
    // Some texture coordinates repeat so that degenerate mappings (det 0) occur.
    g.setTextureVertex(i, i % 4 == 0 ? 0.0f : uv(rng), i % 5 == 0 ? 0.0f : uv(rng), 0);
  }
  std::uniform_int_distribution<int> index(0, count - 1);
  std::uniform_int_distribution<int> group(0, 2);
  std::uniform_int_distribution<int> faceCount(1, size.maxFaces);
  for (int n = faceCount(rng); n > 0; --n) {
    g.addTriangle(index(rng), index(rng), index(rng));
    g.faces.back().smoothingGroup = group(rng);
  }
}

TEST(ZGeometryNormals, HashedGenerationIsBitIdenticalToTheWrittenAlgorithm) {
  std::mt19937 rng(1234);
  // Many small meshes, then a few with thousands of distinct positions, so that the key tables
  // grow several times while equal positions lie far apart in the face list.
  constexpr int kSmallRounds = 300;
  for (int round = 0; round < kSmallRounds + 3; ++round) {
    SCOPED_TRACE(round);
    ZGeometry fast, written;
    std::mt19937 copy = rng;
    const bool withNaN = round % 10 == 9 || round == kSmallRounds + 2;
    const RandomMeshSize size =
        round < kSmallRounds ? RandomMeshSize() : RandomMeshSize{4000, 6000, 40};
    buildRandomMesh(fast, rng, withNaN, size);
    buildRandomMesh(written, copy, withNaN, size);

    fast.generateNormals();
    writtenGenerateNormals(written);
    for (size_t i = 0; i < fast.vertices.size(); ++i) {
      ASSERT_TRUE(sameBits(fast.vertices[i].normal, written.vertices[i].normal)) << "vertex " << i;
    }

    // Face frames come from the same code on both; the vertex sums are then redone as written.
    fast.computeTangentFrames();
    written.computeTangentFrames();
    writtenVertexTangents(written);
    for (size_t i = 0; i < fast.vertices.size(); ++i) {
      ASSERT_TRUE(sameBits(fast.vertices[i].tangent, written.vertices[i].tangent)) << i;
      ASSERT_TRUE(sameBits(fast.vertices[i].binormal, written.vertices[i].binormal)) << i;
    }
  }
}

// Two triangles meeting along the x axis at a right angle; `shared` gives both the same vertex
// records on that edge, otherwise each face has its own records at equal positions.
void buildHinge(ZGeometry& g, bool shared, int groupA, int groupB) {
  g.addVertex({0, 0, 0});
  g.addVertex({1, 0, 0});
  g.addVertex({0, 1, 0});
  g.addVertex({0, 0, 1});
  if (!shared) {
    g.addVertex({-0.0f, 0, 0});  // -0 welds with +0
    g.addVertex({1, 0, 0});
  }
  // Both faces have a right angle at b, so their face normals are unit: +z and +y.
  g.addTriangle(2, 0, 1);
  g.addTriangle(shared ? 1 : 5, shared ? 0 : 4, 3);
  g.faces[0].smoothingGroup = groupA;
  g.faces[1].smoothingGroup = groupB;
}

TEST(ZGeometryNormals, SmoothingGroupsDecideWhichFacesBlend) {
  const float r = float(1 / std::sqrt(2.0));
  struct Case {
    bool shared;
    int groupA, groupB;
    ZVector edgeOfFirst;  // normal of the first face's vertex at the origin
    ZVector edgeOfSecond;
  };
  const Case cases[] = {
      {false, 0, 0, {0, r, r}, {0, r, r}},  // one group, separate records: blended
      {false, 1, 2, {0, 0, 1}, {0, 1, 0}},  // different groups: each keeps its face's
      {true, 0, 0, {0, r, r}, {0, r, r}},
      // Shared record under two groups: the later face's result wins.
      {true, 1, 2, {0, 1, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shared << " " << c.groupA << " " << c.groupB);
    ZGeometry g;
    buildHinge(g, c.shared, c.groupA, c.groupB);
    g.generateNormals();
    const int secondOrigin = c.shared ? 0 : 4;
    EXPECT_NEAR(g.vertices[0].normal.y, c.edgeOfFirst.y, 1e-6f);
    EXPECT_NEAR(g.vertices[0].normal.z, c.edgeOfFirst.z, 1e-6f);
    EXPECT_NEAR(g.vertices[secondOrigin].normal.y, c.edgeOfSecond.y, 1e-6f);
    EXPECT_NEAR(g.vertices[secondOrigin].normal.z, c.edgeOfSecond.z, 1e-6f);
    EXPECT_EQ(g.vertices[0].normal.x, 0.0f);
  }
}

TEST(ZGeometryNormals, FaceNormalLengthIsTheSineOfTheAngleAtB) {
  ZGeometry g;
  g.addVertex({2, 0, 0});
  g.addVertex({0, 0, 0});
  g.addVertex({3, 3, 0});
  g.addTriangle(0, 1, 2);
  g.generateFaceNormals();
  EXPECT_NEAR(g.faces[0].normal.z, -std::sin(std::numbers::pi / 4), 1e-6);
  EXPECT_EQ(g.faces[0].normal.x, 0.0f);
}

TEST(ZGeometryTangents, HandednessAndDegenerateMapping) {
  struct Case {
    float uAtB, vAtC;
    ZVector tangent, binormal;
  };
  const Case cases[] = {
      {1, 1, {0, -1, 0}, {1, 0, 0}},   // N . (B x T) > 0: tangent turned round
      {-1, 1, {0, 1, 0}, {-1, 0, 0}},  // mirrored u: already non-positive, kept
      {0, 0, {0, 0, 0}, {0, 0, 0}},    // no area in t0: the face keeps its (zero) frame
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uAtB);
    ZGeometry g;
    g.addVertex({0, 0, 0});
    g.addVertex({1, 0, 0});
    g.addVertex({0, 1, 0});
    g.addTriangle(0, 1, 2);
    g.setTextureVertex(1, c.uAtB, 0, 0);
    g.setTextureVertex(2, 0, c.vAtC, 0);
    g.generateNormals();
    g.computeTangentFrames();
    for (const SVertex& v : g.vertices) {
      EXPECT_TRUE(exactlyEqual(v.tangent, c.tangent)) << v.tangent.x << " " << v.tangent.y;
      EXPECT_TRUE(exactlyEqual(v.binormal, c.binormal)) << v.binormal.x << " " << v.binormal.y;
    }
  }
}

TEST(ZGeometryIndices, OutOfRangeFacesWarnAndAreSkippedByEveryPass) {
  ZGeometry clean, dirty;
  for (ZGeometry* g : {&clean, &dirty}) {
    g->addVertex({0, 0, 0});
    g->addVertex({1, 0, 0});
    g->addVertex({0, 1, 0});
    g->setTextureVertex(1, 1, 0, 0);
    g->setTextureVertex(2, 0, 1, 0);
  }
  clean.addTriangle(0, 1, 2);
  CaptureLog log;
  dirty.addTriangle(0, 1, 5);
  dirty.addTriangle(-1, 1, 2);
  dirty.addTriangle(0, 1, 2);
  EXPECT_EQ(log.text(), "WARNING INDEX=5 vertices=3\nWARNING INDEX=-1 vertices=3\n");
  ASSERT_EQ(dirty.faces.size(), 3u);
  EXPECT_EQ(dirty.faces[0].c, 5);

  for (ZGeometry* g : {&clean, &dirty}) {
    g->generateNormals();
    g->computeTangentFrames();
  }
  EXPECT_TRUE(sameBits(dirty.faces[0].normal, ZVector()));
  EXPECT_TRUE(sameBits(dirty.faces[0].tangent, ZVector()));
  for (size_t i = 0; i < clean.vertices.size(); ++i) {
    EXPECT_TRUE(sameBits(dirty.vertices[i].normal, clean.vertices[i].normal));
    EXPECT_TRUE(sameBits(dirty.vertices[i].tangent, clean.vertices[i].tangent));
    EXPECT_TRUE(sameBits(dirty.vertices[i].binormal, clean.vertices[i].binormal));
  }
}

TEST(ZGeometryIndices, MeshesBeyond65536VerticesKeepTheirIndices) {
  ZGeometry g;
  for (int i = 0; i <= 70000; ++i) g.addVertex({0, 0, float(i + 1)});
  g.vertices[69999].position = {1, 0, 0};
  g.vertices[70000].position = {0, 0, 0};
  g.vertices[69998].position = {0, 1, 0};
  CaptureLog log;
  g.addTriangle(69999, 70000, 69998);
  EXPECT_EQ(log.text(), "");
  g.generateNormals();
  EXPECT_EQ(g.faces[0].b, 70000);
  EXPECT_TRUE(exactlyEqual(g.vertices[70000].normal, {0, 0, -1}));
  // Where 70000 would land in 16 bits: untouched.
  EXPECT_TRUE(sameBits(g.vertices[70000 - 65536].normal, ZVector()));
}

TEST(ZGeometryVariables, GetAndSetByExactName) {
  ZGeometry g;
  float value = 7;
  EXPECT_FALSE(g.getVar("SMOOTH", value));
  EXPECT_EQ(value, 7.0f);
  g.setVar("SMOOTH", 1);
  g.setVar("CHECKWALLS", 2);
  EXPECT_TRUE(g.getVar("SMOOTH", value));
  EXPECT_EQ(value, 1.0f);
  g.setVar("SMOOTH", 3);
  EXPECT_EQ(g.vars.size(), 2u);
  EXPECT_TRUE(g.getVar("SMOOTH", value));
  EXPECT_EQ(value, 3.0f);
  value = 7;
  EXPECT_FALSE(g.getVar("smooth", value));
  EXPECT_EQ(value, 7.0f);
}

// The loaders' bulk form ends where one setVar after another would: first places kept, last
// values won.
TEST(ZGeometryVariables, SetVarsMatchesSetVarInOrder) {
  const std::vector<SGeometryVar> list = {{"B", 2}, {"A", 3}, {"B", 4}, {"C", 5}, {"a", 6}};
  ZGeometry bulk, single;
  for (ZGeometry* g : {&bulk, &single}) g->setVar("A", 1);
  bulk.setVars(list);
  for (const SGeometryVar& var : list) single.setVar(var.name, var.value);
  ASSERT_EQ(bulk.vars.size(), single.vars.size());
  for (size_t i = 0; i < bulk.vars.size(); ++i) {
    EXPECT_EQ(bulk.vars[i].name, single.vars[i].name) << i;
    EXPECT_EQ(bulk.vars[i].value, single.vars[i].value) << i;
  }
  EXPECT_EQ(bulk.vars.size(), 4u);
}

TEST(ZGeometryTexture, SetTextureVertexByChannel) {
  struct Case {
    int channel;
    int index;
    bool setsT0, setsT1;
    const char* log;
  };
  const Case cases[] = {
      {0, 0, true, false, ""},
      {1, 0, false, true, ""},
      {2, 0, false, false,
       "WARNING ZGeometry::setTextureVertex(...), texture channel 2 not supported\n"},
      {0, 1, false, false, ""},  // no such vertex
      {0, -1, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channel << " " << c.index);
    ZGeometry g;
    g.addVertex({0, 0, 0});
    CaptureLog log;
    g.setTextureVertex(c.index, 0.25f, 0.75f, c.channel);
    EXPECT_EQ(log.text(), c.log);
    const SVertex& v = g.vertices[0];
    EXPECT_EQ(v.t0[0], c.setsT0 ? 0.25f : 0.0f);
    EXPECT_EQ(v.t0[1], c.setsT0 ? 0.75f : 0.0f);
    EXPECT_EQ(v.t1[0], c.setsT1 ? 0.25f : 0.0f);
    EXPECT_EQ(v.t1[1], c.setsT1 ? 0.75f : 0.0f);
  }
}

TEST(ZGeometryTexture, NormalizeAndInvertU) {
  ZGeometry g;
  const float us[] = {2.25f, -1.25f, 0.5f};
  for (int i = 0; i < 3; ++i) {
    g.addVertex({0, 0, 0});
    g.setTextureVertex(i, us[i], 5.5f, 0);
  }
  CaptureLog log;
  g.normalizeTextureCoords();
  EXPECT_EQ(log.text(),
            "(*i)->t0[0]2.250000 -> (*i)->t0[0]0.250000\n"
            "(*i)->t0[0]-1.250000 -> (*i)->t0[0]-0.250000\n"
            "(*i)->t0[0]0.500000 -> (*i)->t0[0]0.500000\n");
  g.invertTextureX();
  const float expected[] = {-0.25f, 0.25f, -0.5f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(g.vertices[i].t0[0], expected[i]);
    EXPECT_EQ(g.vertices[i].t0[1], 5.5f);
  }
}

TEST(ZGeometryEdits, FlipScaleAndRotate) {
  ZGeometry g;
  g.addVertex({1, 2, 3});
  g.addVertex({0, 0, 1});
  g.addVertex({4, 5, 6});
  g.addTriangle(0, 1, 2);
  g.flipFaces();
  EXPECT_EQ(g.faces[0].a, 2);
  EXPECT_EQ(g.faces[0].b, 1);
  EXPECT_EQ(g.faces[0].c, 0);
  g.flipFaces();
  EXPECT_EQ(g.faces[0].a, 0);
  EXPECT_EQ(g.faces[0].c, 2);

  g.scale(2, -1, 0.5f);
  EXPECT_TRUE(exactlyEqual(g.vertices[0].position, {2, -2, 1.5f}));
  EXPECT_TRUE(exactlyEqual(g.bboxMax, {4, 5, 6}));  // the box is not updated

  g.vertices[1].position = {0, 0, 1};
  g.vertices[1].normal = {0, 0, 1};
  g.vertices[1].tangent = {0, 0, 1};
  g.vertices[1].binormal = {0, 0, 1};
  const SVertex before = g.vertices[1];
  g.rotateY(0);
  EXPECT_EQ(std::memcmp(&before, &g.vertices[1], sizeof(SVertex)), 0);
  g.rotateY(90);
  for (const ZVector& v : {g.vertices[1].position, g.vertices[1].normal, g.vertices[1].tangent,
                           g.vertices[1].binormal}) {
    EXPECT_NEAR(v.x, 1.0f, 1e-6f);
    EXPECT_NEAR(v.z, 0.0f, 1e-6f);
  }
}

TEST(ZGeometryBounds, BoxAndRadius) {
  ZGeometry g;
  g.initRadius();
  EXPECT_TRUE(exactlyEqual(g.center, {0, 0, 0}));
  EXPECT_EQ(g.radius, 0.0f);
  g.computeBoundingBox();
  EXPECT_TRUE(exactlyEqual(g.bboxMin, {99999, 99999, 99999}));

  g.addVertex({-1, 0, 2});
  g.addVertex({3, 4, 2});
  EXPECT_TRUE(exactlyEqual(g.bboxMin, {-1, 0, 2}));
  EXPECT_TRUE(exactlyEqual(g.bboxMax, {3, 4, 2}));
  g.initRadius();
  EXPECT_TRUE(exactlyEqual(g.center, {1, 2, 2}));
  EXPECT_FLOAT_EQ(g.radius, std::sqrt(8.0f));

  g.scale(0.5f, 0.5f, 0.5f);
  g.computeBoundingBox();
  EXPECT_TRUE(exactlyEqual(g.bboxMin, {-0.5f, 0, 1}));
  EXPECT_TRUE(exactlyEqual(g.bboxMax, {1.5f, 2, 1}));
}

}  // namespace

namespace {

TEST(ZGeometryLightmap, SharesStageZeroAndPutsTheLightmapOnStageOne) {
  TempFolder folder;
  folder.write("shadows/wall_lightmap.dds", "lightmap bytes");
  CaptureLog log;
  ZCorvane engine;
  engine.shadowDirectoryList.addDirectory(folder.path().string() + "/shadows");
  ZMaterial* base = engine.getNewMaterial();
  base->setDiffuse(0.25f, 0.5f, 0.75f, false);
  ZGeometry* wall = engine.getNewGeometry();
  wall->name = "wall";
  wall->setMaterial(base);
  ZGeometry* door = engine.getNewGeometry();
  door->name = "door";
  door->setMaterial(base);

  door->loadLightmap();
  EXPECT_EQ(door->material, base);
  EXPECT_NE(log.text().find("Lightmap door_lightmap.dds not found\n"), std::string::npos);

  wall->loadLightmap();
  ZMaterial* lit = wall->material;
  ASSERT_NE(lit, base);
  EXPECT_EQ(lit->engine, &engine);
  EXPECT_EQ(lit->d3dMaterial.Diffuse.b, 0.75f);
  const ZMaterialStage& s = lit->stage(1);
  ASSERT_NE(s.texture, nullptr);
  EXPECT_EQ(s.texture->name, folder.path().string() + "/shadows/wall_lightmap.dds");
  EXPECT_TRUE(s.active);
  EXPECT_EQ(s.colorArg1, 1);
  EXPECT_EQ(s.colorArg2, 2);
  EXPECT_EQ(s.colorOp, 4);
  EXPECT_EQ(s.mipMapFilter, 1);
  EXPECT_EQ(s.texCoordIndex, 1);
  // One stage-0 record for both materials: an edit shows in both. (Both are released by the
  // engine; a double release would show under the sanitizer build.)
  base->stage(0).textureAddressU = 3;
  EXPECT_EQ(lit->stage(0).textureAddressU, 3);
  EXPECT_EQ(&lit->stage(0), &base->stage(0));
  EXPECT_NE(&lit->stage(1), &base->stage(1));
}

}  // namespace
