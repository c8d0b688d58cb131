#include "formats/ZObjectBuilder.h"

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void expectVector(const ZVector& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-5f);
  EXPECT_NEAR(v.y, y, 1e-5f);
  EXPECT_NEAR(v.z, z, 1e-5f);
}

// One GEOMOBJECT in file axes: its node matrix rows, vertex lines, face lines and whatever
// else the case needs (texture lists, normals, properties) as raw text.
std::string geomObject(const std::string& name, const std::string& body,
                       const std::string& rows =
                           "1 0 0\n*TM_ROW1 0 1 0\n*TM_ROW2 0 0 1\n*TM_POS 0 0 0") {
  return "*GEOMOBJECT {\n*NODE_NAME \"" + name + "\"\n*NODE_TM {\n*NODE_NAME \"" + name +
         "\"\n*TM_ROW0 " + rows + "\n}\n*MESH {\n" + body + "}\n}\n";
}

// A triangle (collinear, so without a face normal) at file positions (1,2,3), (4,5,6),
// (7,8,9) with texture vertices.
const char kTriangle[] =
    "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_VERTEX_LIST {\n"
    "*MESH_VERTEX 0\t1.0\t2.0\t3.0\n*MESH_VERTEX 1\t4.0\t5.0\t6.0\n"
    "*MESH_VERTEX 2\t7.0\t8.0\t9.0\n}\n"
    "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1\n}\n"
    "*MESH_NUMTVERTEX 3\n*MESH_TVERTLIST {\n*MESH_TVERT 0\t0.25\t0.25\t0.0\n"
    "*MESH_TVERT 1\t1.0\t0.0\t0.0\n*MESH_TVERT 2\t0.0\t1.0\t0.0\n}\n"
    "*MESH_NUMTVFACES 1\n*MESH_TFACELIST {\n*MESH_TFACE 0\t0\t1\t2\n}\n";

// A unit cube: 8 vertices, 12 faces.
std::string cubeBody() {
  std::string s = "*MESH_NUMVERTEX 8\n*MESH_NUMFACES 12\n*MESH_VERTEX_LIST {\n";
  for (int i = 0; i < 8; ++i) {
    s += "*MESH_VERTEX " + std::to_string(i) + " " + std::to_string(i & 1) + " " +
         std::to_string((i >> 1) & 1) + " " + std::to_string((i >> 2) & 1) + "\n";
  }
  s += "}\n*MESH_FACE_LIST {\n";
  const int faces[12][3] = {{0, 2, 3}, {3, 1, 0}, {4, 5, 7}, {7, 6, 4}, {0, 1, 5}, {5, 4, 0},
                            {1, 3, 7}, {7, 5, 1}, {3, 2, 6}, {6, 7, 3}, {2, 0, 4}, {4, 6, 2}};
  for (int f = 0; f < 12; ++f) {
    s += "*MESH_FACE " + std::to_string(f) + ": A: " + std::to_string(faces[f][0]) +
         " B: " + std::to_string(faces[f][1]) + " C: " + std::to_string(faces[f][2]) +
         " *MESH_SMOOTHING 1\n";
  }
  return s + "}\n";
}

class ZObjectBuilderASE : public ::testing::Test {
 protected:
  bool import(const std::string& text) { return builder.loadASEText(text, "test.ase"); }
  ZGeometry& only() {
    EXPECT_EQ(builder.geometries.size(), 1u);
    return *builder.geometries.front();
  }

  ScopedDesktop desktop;
  CaptureLog log;
  ZCorvane engine;
  ZObjectBuilder builder{&engine};
};

// A file of several megabytes is read ahead in blocks on other threads: objects, their values
// and the log still come in file order.
TEST_F(ZObjectBuilderASE, ABigFileReadInBlocksKeepsFileOrder) {
  constexpr int kObjects = 10000;
  std::string text;
  for (int i = 0; i < kObjects; ++i) {
    const std::string x = std::to_string(i);
    text += geomObject("part" + x,
                       "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_VERTEX_LIST {\n"
                       "*MESH_VERTEX 0\t" + x + ".0\t0.0\t0.0\n*MESH_VERTEX 1\t" + x +
                       ".5\t1.0\t0.0\n*MESH_VERTEX 2\t" + x + ".0\t1.0\t0.25\n}\n"
                       "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n}\n");
  }
  ASSERT_GT(text.size(), 3u << 20);
  ASSERT_TRUE(import(text));
  ASSERT_EQ(builder.geometries.size(), size_t(kObjects));
  for (int i = 0; i < kObjects; i += 7) {
    const ZGeometry& g = *builder.geometries[size_t(i)];
    ASSERT_EQ(g.name, "part" + std::to_string(i));
    ASSERT_EQ(g.vertices.size(), 3u);
    expectVector(g.vertices[1].position, float(i) + 0.5f, 0, -1);
    expectVector(g.vertices[2].position, float(i), 0.25f, -1);
  }
  const std::string logged = log.text();
  size_t at = 0;
  for (int i = 0; i < kObjects; ++i) {
    at = logged.find("geom name=part" + std::to_string(i) + "\n", at);
    ASSERT_NE(at, std::string::npos) << i;
  }
}

TEST_F(ZObjectBuilderASE, ConvertsAxesScaleAndTextureV) {
  for (float scale : {1.0f, 2.5f}) {
    ZCorvane e;
    ZObjectBuilder b(&e);
    b.scale = scale;
    ASSERT_TRUE(b.loadASEText(geomObject("Tri", kTriangle), "tri.ase"));
    ASSERT_EQ(b.geometries.size(), 1u);
    const ZGeometry& g = *b.geometries.front();
    ASSERT_EQ(g.vertices.size(), 3u);
    ASSERT_EQ(g.faces.size(), 1u);
    // (1, 2, 3) in the file's Z-up axes is (1, 3, -2) in the engine's Y-up axes.
    expectVector(g.vertices[0].position, 1 * scale, 3 * scale, -2 * scale);
    expectVector(g.vertices[2].position, 7 * scale, 9 * scale, -8 * scale);
    EXPECT_FLOAT_EQ(g.vertices[0].t0[0], 0.25f);
    EXPECT_FLOAT_EQ(g.vertices[0].t0[1], 0.75f);
    EXPECT_FLOAT_EQ(g.vertices[1].t0[1], 1.0f);
    EXPECT_EQ(g.faces[0].a, 0);
    EXPECT_EQ(g.faces[0].c, 2);
    EXPECT_EQ(g.name, "Tri");
    EXPECT_EQ(b.frames.front()->name, "Tri");
  }
  EXPECT_NE(log.text().find("geom name=Tri\n"), std::string::npos);
  EXPECT_NE(log.text().find("load ok\n"), std::string::npos);
}

TEST_F(ZObjectBuilderASE, CubeOfTwelveFacesGetsThirtySixCornersAndGeneratedNormals) {
  ASSERT_TRUE(import(geomObject("Cube", cubeBody())));
  const ZGeometry& g = only();
  EXPECT_EQ(g.vertices.size(), 36u);
  ASSERT_EQ(g.faces.size(), 12u);
  // Face 5 is (5, 4, 0): file (1,0,1), (0,0,1), (0,0,0) -> engine (1,1,0), (0,1,0), (0,0,0).
  expectVector(g.vertices[15].position, 1, 1, 0);
  expectVector(g.vertices[17].position, 0, 0, 0);
  // No normals in the file: generated, so every corner has a unit normal.
  for (const SVertex& v : g.vertices) EXPECT_NEAR(v.normal.length(), 1.0f, 1e-4f);
  EXPECT_GT(g.radius, 0.0f);
}

TEST_F(ZObjectBuilderASE, MirroredNodeWarnsOnceAndReversesWindingInHierarchy) {
  const std::string mirrored = "-1 0 0\n*TM_ROW1 0 1 0\n*TM_ROW2 0 0 1";
  for (bool hierarchy : {false, true}) {
    ScopedDesktop messages;
    ZCorvane e;
    ZObjectBuilder b(&e);
    b.useHierarchy = hierarchy;
    ASSERT_TRUE(b.loadASEText(geomObject("Mirror", kTriangle, mirrored), "m.ase"));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Detected inverted matrix on object Mirror");
    EXPECT_EQ(messages.messages[0].caption, "ZMFEdit2");
    const ZGeometry& g = *b.geometries.front();
    ASSERT_EQ(g.faces.size(), 1u);
    EXPECT_EQ(g.faces[0].a, hierarchy ? 2 : 0);
    EXPECT_EQ(g.faces[0].c, hierarchy ? 0 : 2);
    // Node-space vertices put back through the frame land where the file put them.
    const ZFrame& f = *b.frames.front();
    expectVector(f.localToWorld(g.vertices[0].position), 1, 3, -2);
    expectVector(f.localToWorld(g.vertices[1].position), 4, 6, -5);
  }
}

TEST_F(ZObjectBuilderASE, HierarchyKeepsWorldPositionsUnderTheParentChain) {
  // Parent turned 90 degrees about the file's Z axis and moved; child moved further.
  const std::string parentRows = "0 1 0\n*TM_ROW1 -1 0 0\n*TM_ROW2 0 0 1\n*TM_POS 10 0 0";
  const std::string childRows = "1 0 0\n*TM_ROW1 0 1 0\n*TM_ROW2 0 0 1\n*TM_POS 0 20 5";
  std::string child = geomObject("Child", kTriangle, childRows);
  child.insert(child.find("*NODE_TM"), "*NODE_PARENT \"Parent\"\n");
  std::string orphan = geomObject("Orphan", kTriangle);
  orphan.insert(orphan.find("*NODE_TM"), "*NODE_PARENT \"Nobody\"\n");
  const std::string text = geomObject("Parent", kTriangle, parentRows) + child + orphan;

  for (bool hierarchy : {false, true}) {
    ZCorvane e;
    ZObjectBuilder b(&e);
    b.useHierarchy = hierarchy;
    ASSERT_TRUE(b.loadASEText(text, "h.ase"));
    ASSERT_EQ(b.frames.size(), 3u);
    EXPECT_EQ(b.frames[1]->parent, hierarchy ? b.frames[0] : nullptr);
    EXPECT_EQ(b.frames[2]->parent, nullptr);
    for (size_t i = 0; i < 3; ++i) {
      const ZFrame& f = *b.frames[i];
      const ZGeometry& g = *b.geometries[i];
      expectVector(f.localToWorld(g.vertices[0].position), 1, 3, -2);
      expectVector(f.localToWorld(g.vertices[2].position), 7, 9, -8);
    }
    ZFrame* root = e.getNewFrame();
    b.attachTo(root);
    EXPECT_EQ(root->children.size(), hierarchy ? 2u : 3u);
  }
  EXPECT_NE(log.text().find("parent Nobody of Orphan not found"), std::string::npos);
}

TEST_F(ZObjectBuilderASE, ParentChainsStopAtTheDepthLimit) {
  // Each node names the one before as its parent: a chain deeper than the tree may be.
  std::string text;
  const int nodes = ZFrame::kMaxDepth + 40;
  for (int i = 0; i < nodes; ++i) {
    std::string node = geomObject("n" + std::to_string(i), kTriangle);
    if (i > 0) {
      node.insert(node.find("*NODE_TM"), "*NODE_PARENT \"n" + std::to_string(i - 1) + "\"\n");
    }
    text += node;
  }
  ZCorvane e;
  ZObjectBuilder b(&e);
  b.useHierarchy = true;
  ASSERT_TRUE(b.loadASEText(text, "deep.ase"));
  ASSERT_EQ(b.frames.size(), size_t(nodes));
  int deepest = 0;
  for (const ZFrame* f : b.frames) deepest = std::max(deepest, f->depth());
  EXPECT_EQ(deepest, ZFrame::kMaxDepth - 1);
  EXPECT_EQ(b.frames[size_t(ZFrame::kMaxDepth)]->parent, nullptr);
  EXPECT_NE(log.text().find("would nest deeper than"), std::string::npos);
}

TEST_F(ZObjectBuilderASE, BadIndicesSkipTheirElementWithALogLine) {
  struct Case {
    const char* what;
    std::string body;
    size_t faces;
    const char* logged;
  };
  const std::string vertices =
      "*MESH_NUMFACES 2\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n";
  const std::string goodFace = "*MESH_FACE 0: A: 0 B: 1 C: 2\n";
  const std::vector<Case> cases = {
      {"vertex index past the list", vertices + "*MESH_FACE 0: A: 0 B: 3 C: 2\n", 0,
       "is outside the mesh"},
      {"negative vertex index", vertices + "*MESH_FACE 0: A: -1 B: 1 C: 2\n", 0,
       "is outside the mesh"},
      {"face index past MESH_NUMFACES", vertices + "*MESH_FACE 2: A: 0 B: 1 C: 2\n", 0,
       "is outside the mesh"},
      {"face before any vertex", "*MESH_NUMFACES 1\n*MESH_FACE 0: A: 0 B: 0 C: 0\n", 0,
       "is outside the mesh"},
      {"face without MESH_NUMFACES", "*MESH_VERTEX 0 0 0 0\n*MESH_FACE 0: A: 0 B: 0 C: 0\n", 0,
       "is outside the mesh"},
      {"texture vertex past the list",
       vertices + goodFace + "*MESH_TVERT 0 0 0 0\n*MESH_TFACE 0 0 0 7\n", 1,
       "names texture vertex 7 of 1"},
      {"texture face of a missing face",
       vertices + goodFace + "*MESH_TVERT 0 0 0 0\n*MESH_TFACE 1 0 0 0\n", 1,
       "MESH_TFACE names face 1"},
      {"normal of a missing face",
       vertices + goodFace + "*MESH_FACENORMAL 5 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 1\n", 1,
       "belongs to no face corner"},
      {"fourth normal of a face",
       vertices + goodFace +
           "*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 1 0 0 1\n"
           "*MESH_VERTEXNORMAL 2 0 0 1\n*MESH_VERTEXNORMAL 2 0 0 1\n",
       1, "belongs to no face corner"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CaptureLog caseLog;
    ZCorvane e;
    ZObjectBuilder b(&e);
    ASSERT_TRUE(b.loadASEText(geomObject("Bad", c.body), "bad.ase"));
    const ZGeometry& g = *b.geometries.front();
    EXPECT_EQ(g.faces.size(), c.faces);
    EXPECT_EQ(g.vertices.size(), 3 * c.faces);
    for (const SFace& f : g.faces) EXPECT_TRUE(g.isFaceInRange(f));
    EXPECT_NE(caseLog.text().find(c.logged), std::string::npos) << caseLog.text();
  }
}

TEST_F(ZObjectBuilderASE, MaterialsLightmapAndReflection) {
  TempFolder folder;
  folder.write("texture/chrome.tga", "not decoded here");
  builder.texturePath = folder.path().string() + "/texture/";
  const std::string text =
      "*MATERIAL_LIST {\n*MATERIAL_COUNT 2\n"
      "*MATERIAL 0 {\n*MATERIAL_NAME \"Paint\"\n*MATERIAL_AMBIENT 0.1 0.2 0.3\n"
      "*MATERIAL_DIFFUSE 0.4 0.5 0.6\n*MATERIAL_SPECULAR 0.7 0.8 0.9\n"
      "*MATERIAL_SHINESTRENGTH 0.5\n*MATERIAL_TRANSPARENCY 0.25\n*MATERIAL_SHADING Blinn\n"
      "*MATERIAL_SELFILLUM 0.125\n*MATERIAL_TWOSIDED\n"
      "*MAP_DIFFUSE {\n*BITMAP \"C:\\maps\\Paint.tga\"\n}\n"
      "*MAP_BUMP {\n*BITMAP \"C:\\maps\\bump.tga\"\n}\n"
      "*MAP_REFLECT {\n*MAP_AMOUNT 0.4\n*BITMAP \"D:/env/chrome.tga\"\n}\n"
      "*SUBMATERIAL 1 {\n*MATERIAL_DIFFUSE 0.9 0.9 0.9\n*MATERIAL_TWOSIDED\n"
      "*MAP_DIFFUSE {\n*BITMAP \"lm.tga\"\n}\n}\n}\n"
      "*MATERIAL 1 {\n*MATERIAL_EMISSIVE 0.5 0.25 0.125\n"
      "*MAP_REFLECT {\n*MAP_AMOUNT 0.9\n*BITMAP \"missing.tga\"\n}\n}\n}\n" +
      geomObject("A", kTriangle) + "*MATERIAL_REF 1\n*PROP_CASTSHADOW 1\n" +
      geomObject("B", kTriangle) + "*MATERIAL_REF 0\n*PROP_CASTSHADOW 0\n" +
      geomObject("C", kTriangle) + "*MATERIAL_REF 2\n";
  ASSERT_TRUE(import(text));
  ASSERT_EQ(builder.materials.size(), 2u);
  const ZMaterial& paint = *builder.materials[0];
  const D3DMATERIAL9& c = paint.d3dMaterial;
  EXPECT_FLOAT_EQ(c.Ambient.b, 0.3f);
  EXPECT_FLOAT_EQ(c.Diffuse.r, 0.4f);  // the lightmap submaterial's colour is not taken
  EXPECT_FLOAT_EQ(c.Diffuse.a, 0.75f);
  EXPECT_FLOAT_EQ(c.Ambient.a, 0.75f);
  EXPECT_FLOAT_EQ(c.Specular.g, 0.8f);
  EXPECT_FLOAT_EQ(c.Specular.a, 1.0f);
  EXPECT_FLOAT_EQ(c.Emissive.r, 0.125f);
  EXPECT_FLOAT_EQ(c.Power, 127.5f);
  EXPECT_TRUE(paint.doubleFace);
  EXPECT_EQ(paint.stage(0).textureName, builder.texturePath + "Paint.tga");  // not bump.tga
  EXPECT_TRUE(paint.stage(0).active);
  EXPECT_EQ(paint.stage(0).magFilter, 2);
  // The lightmap came after the reflection map and takes stage 1 with channel t1.
  const ZMaterialStage& lightmap = paint.stage(1);
  EXPECT_EQ(lightmap.textureName, builder.texturePath + "lm.tga");
  EXPECT_EQ(lightmap.texCoordIndex, 1);
  EXPECT_TRUE(lightmap.active);
  EXPECT_FLOAT_EQ(paint.textureFactor, 0.4f);

  const ZMaterial& glow = *builder.materials[1];
  EXPECT_FLOAT_EQ(glow.d3dMaterial.Emissive.g, 0.25f);
  EXPECT_FALSE(glow.doubleFace);
  EXPECT_FALSE(glow.stage(1).active);  // its reflection map does not exist
  EXPECT_FLOAT_EQ(glow.textureFactor, 1.0f);

  ASSERT_EQ(builder.geometries.size(), 3u);
  EXPECT_EQ(builder.geometries[0]->material, &glow);
  EXPECT_TRUE(builder.geometries[0]->castShadow);
  EXPECT_EQ(builder.geometries[1]->material, &paint);
  EXPECT_FALSE(builder.geometries[1]->castShadow);
  EXPECT_EQ(builder.geometries[2]->material, nullptr);
  const std::string logged = log.text();
  EXPECT_NE(logged.find("Loading lightmap now\n"), std::string::npos);
  EXPECT_NE(logged.find("ENVAMOUNT=0.400000\n"), std::string::npos);
  EXPECT_NE(logged.find("material 2 of C does not exist"), std::string::npos);
}

TEST_F(ZObjectBuilderASE, ReflectionMapSetsUpSphereMapStage) {
  TempFolder folder;
  folder.write("texture/chrome.tga", "x");
  builder.texturePath = folder.path().string() + "/texture/";
  ASSERT_TRUE(import(
      "*MATERIAL 0 {\n*MAP_REFLECT {\n*MAP_AMOUNT 0.3\n*BITMAP \"C:\\e\\chrome.tga\"\n}\n}\n"));
  const ZMaterialStage& s = builder.materials.at(0)->stage(1);
  EXPECT_TRUE(s.active);
  EXPECT_EQ(s.texCoordIndex, 262145);
  EXPECT_EQ(s.colorOp, 14);
  EXPECT_EQ(s.colorArg1, 1);
  EXPECT_EQ(s.textureName, builder.texturePath + "chrome.tga");
  EXPECT_FLOAT_EQ(builder.materials[0]->textureFactor, 0.3f);
}

TEST_F(ZObjectBuilderASE, SecondMappingChannelFillsLightmapCoordinates) {
  const std::string body = std::string(kTriangle) +
                           "*MESH_MAPPINGCHANNEL 2 {\n*MESH_NUMTVERTEX 2\n*MESH_TVERTLIST {\n"
                           "*MESH_TVERT 0 0.5 0.125 0\n*MESH_TVERT 1 0.75 1 0\n}\n"
                           "*MESH_TFACELIST {\n*MESH_TFACE 0 1 0 1\n}\n}\n";
  ASSERT_TRUE(import(geomObject("Lit", body)));
  const ZGeometry& g = only();
  EXPECT_FLOAT_EQ(g.vertices[0].t0[1], 0.75f);  // channel 0 untouched
  EXPECT_FLOAT_EQ(g.vertices[0].t1[0], 0.75f);
  EXPECT_FLOAT_EQ(g.vertices[0].t1[1], 0.0f);
  EXPECT_FLOAT_EQ(g.vertices[1].t1[0], 0.5f);
  EXPECT_FLOAT_EQ(g.vertices[1].t1[1], 0.875f);
}

TEST_F(ZObjectBuilderASE, VertexNormalsGoToTheirFaceCornersAndOthersAreGenerated) {
  // Two faces sharing file vertices 0 and 2, each corner with its own normal.
  const std::string body =
      "*MESH_NUMFACES 2\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n"
      "*MESH_VERTEX 3 1 1 0\n*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 2 B: 1 C: 3\n"
      "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 2\n"
      "*MESH_VERTEXNORMAL 1 0 3 0\n*MESH_VERTEXNORMAL 2 4 0 0\n"
      "*MESH_FACENORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 2 0 0 -1\n"
      "*MESH_VERTEXNORMAL 1 0 -1 0\n*MESH_VERTEXNORMAL 3 -1 0 0\n}\n";
  ASSERT_TRUE(import(geomObject("Smooth", body) + geomObject("Plain", cubeBody())));
  ASSERT_EQ(builder.geometries.size(), 2u);
  const ZGeometry& g = *builder.geometries[0];
  ASSERT_EQ(g.vertices.size(), 6u);
  expectVector(g.vertices[0].normal, 0, 1, 0);   // (0,0,2) normalised, axes turned
  expectVector(g.vertices[1].normal, 0, 0, -1);  // (0,3,0)
  expectVector(g.vertices[2].normal, 1, 0, 0);
  expectVector(g.vertices[3].normal, 0, -1, 0);  // file vertex 2 again, other face
  expectVector(g.vertices[5].normal, -1, 0, 0);
  // The geometry without normal lines still gets some.
  for (const SVertex& v : builder.geometries[1]->vertices) {
    EXPECT_NEAR(v.normal.length(), 1.0f, 1e-4f);
  }
  EXPECT_NE(log.text().find("normal before (0.000000,2.000000,0.000000)\n"
                            "normal after (0.000000,1.000000,0.000000)\n"),
            std::string::npos);
}

TEST_F(ZObjectBuilderASE, CamerasSunWireframeAndForeignNodes) {
  const std::string text =
      "*CAMERAOBJECT {\n*NODE_NAME \"Cam01\"\n*NODE_TM {\n*NODE_NAME \"Cam01\"\n"
      "*TM_POS 1 2 3\n}\n*NODE_TM {\n*NODE_NAME \"Cam01.Target\"\n*TM_POS 9 9 9\n}\n}\n"
      "*LIGHTOBJECT {\n*NODE_NAME \"Sun\"\n*NODE_TM {\n*TM_POS 100 200 300\n}\n}\n"
      "*LIGHTOBJECT {\n*NODE_NAME \"Fill\"\n*NODE_TM {\n*TM_POS 5 5 5\n}\n}\n" +
      geomObject("Box", kTriangle) + "*WIREFRAME_COLOR 0.1 0.2 0.3\n" +
      "*HELPEROBJECT {\n*NODE_NAME \"Dummy\"\n*NODE_TM {\n*TM_ROW0 -1 0 0\n*TM_ROW1 0 1 0\n"
      "*TM_ROW2 0 0 1\n*TM_POS 7 7 7\n}\n}\n"
      "*SHAPEOBJECT {\n*NODE_NAME \"Line01\"\n*SHAPE_VERTEX_KNOT 0 1 1 1\n}\n";
  builder.scale = 2;
  ASSERT_TRUE(import(text));
  ASSERT_EQ(builder.cameras.size(), 1u);
  EXPECT_EQ(builder.cameras[0]->name, "Cam01");
  expectVector(builder.cameras[0]->position, 2, 6, -4);
  expectVector(builder.sunPosition, 200, 600, -400);
  // Helper and shape nodes neither rename nor re-place the geometry before them.
  ASSERT_EQ(builder.geometries.size(), 1u);
  EXPECT_EQ(builder.geometries[0]->name, "Box");
  EXPECT_EQ(builder.frames.size(), 1u);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text, "Error: Box has WIREFRAME_COLOR tag");
  EXPECT_EQ(desktop.messages[0].caption, "Corvane");
}

TEST_F(ZObjectBuilderASE, NumbersParseWithoutLocaleAndBadTokensReadZero) {
  // "1,5" stops at the comma whatever the locale says; words and gaps read as 0.
  const std::string body =
      "*MESH_NUMFACES 1\n*MESH_VERTEX 0 1,5 abc\n*MESH_VERTEX 1 +2.5 1e2 -0.5\n"
      "*MESH_VERTEX 2 1e999\n*MESH_FACE 0: A:0 B:1 C:2\n";
  ASSERT_TRUE(import(geomObject("N", body)));
  const ZGeometry& g = only();
  ASSERT_EQ(g.vertices.size(), 3u);
  expectVector(g.vertices[0].position, 1, 0, 0);
  expectVector(g.vertices[1].position, 2.5f, -0.5f, -100);
  expectVector(g.vertices[2].position, 0, 0, 0);
}

TEST_F(ZObjectBuilderASE, Utf16TextReadsLikeItsEightBitForm) {
  const std::string plain = geomObject("Wide", kTriangle);
  for (bool bigEndian : {false, true}) {
    std::string wide = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char ch : plain) {
      wide += bigEndian ? std::string{'\0', ch} : std::string{ch, '\0'};
    }
    ZCorvane e;
    ZObjectBuilder b(&e);
    ASSERT_TRUE(b.loadASEText(wide, "wide.ase"));
    ASSERT_EQ(b.geometries.size(), 1u);
    EXPECT_EQ(b.geometries[0]->name, "Wide");
    ASSERT_EQ(b.geometries[0]->vertices.size(), 3u);
    expectVector(b.geometries[0]->vertices[1].position, 4, 6, -5);
  }
}

TEST_F(ZObjectBuilderASE, EveryTruncatedPrefixImportsSafely) {
  const std::string text = "*MATERIAL 0 {\n*MAP_DIFFUSE {\n*BITMAP \"a.tga\"\n}\n}\n" +
                           geomObject("P", std::string(kTriangle) +
                                               "*MESH_FACENORMAL 0 0 0 1\n"
                                               "*MESH_VERTEXNORMAL 0 0 0 1\n") +
                           "*MATERIAL_REF 0\n";
  for (size_t n = 0; n <= text.size(); ++n) {
    ZCorvane e;
    ZObjectBuilder b(&e);
    b.useHierarchy = n % 2 == 0;
    ASSERT_TRUE(b.loadASEText(std::string_view(text).substr(0, n), "cut.ase"));
    for (const ZGeometry* g : b.geometries) {
      EXPECT_EQ(g->vertices.size(), 3 * g->faces.size());
      for (const SFace& f : g->faces) EXPECT_TRUE(g->isFaceInRange(f));
    }
  }
}

TEST_F(ZObjectBuilderASE, LyingFaceCountsAllocateNoMoreThanTheTextHolds) {
  std::string text;
  for (int i = 0; i < 200; ++i) {
    text += "*GEOMOBJECT {\n*MESH_NUMFACES 2000000000\n*MESH_FACE 1999999999: A: 0 B: 0 C: 0\n}\n";
  }
  ASSERT_TRUE(import(text));
  EXPECT_EQ(builder.geometries.size(), 200u);
  for (const ZGeometry* g : builder.geometries) {
    EXPECT_TRUE(g->faces.empty());
    EXPECT_LT(g->vertices.capacity(), 3 * text.size());
  }
}

TEST_F(ZObjectBuilderASE, AnimationPassBuildsKeyStepsPerFrame) {
  const std::string text =
      "*GEOMOBJECT {\n*NODE_NAME \"Door\"\n*TM_ANIMATION {\n*NODE_NAME \"Door\"\n"
      "*CONTROL_POS_LINEAR {\n*CONTROL_POS_KEY 0 0 0 0\n*CONTROL_POS_KEY 160 1 2 3\n"
      "*CONTROL_POS_KEY 320 4 5 6\n}\n"
      "*CONTROL_ROT_LINEAR {\n*CONTROL_ROT_KEY 0 0 0 1 0\n"
      "*CONTROL_ROT_KEY 100 0 0 1 3.14159265\n}\n"
      "*CONTROL_ROT_TCB {\n*CONTROL_TCB_ROT_KEY 0 0 0 1 0 0 0 0 0 0\n}\n}\n}\n"
      "*GEOMOBJECT {\n*NODE_NAME \"Still\"\n*CONTROL_POS_KEY 5 1 1 1\n"
      "*CONTROL_POS_KEY 6 1 1 1\n}\n";
  builder.scale = 2;
  ASSERT_TRUE(builder.loadAnimationText(text, "anim.ase"));
  ASSERT_EQ(builder.animations.size(), 1u);
  const ZAnimationTrack& track = builder.animations[0];
  EXPECT_EQ(track.frameName, "Door");
  ASSERT_EQ(track.positions.size(), 2u);
  EXPECT_EQ(track.positions[0].fromFrame, 0);
  EXPECT_EQ(track.positions[0].toFrame, 160);
  expectVector(track.positions[0].to, 2, 6, -4);
  EXPECT_EQ(track.positions[1].fromFrame, 160);
  expectVector(track.positions[1].from, 2, 6, -4);
  expectVector(track.positions[1].to, 8, 12, -10);
  ASSERT_EQ(track.rotations.size(), 1u);
  const ZRotationKey& r = track.rotations[0];
  EXPECT_EQ(r.toFrame, 100);
  EXPECT_NEAR(r.from.w, 1.0f, 1e-6f);
  // Half a turn about the file's Z axis: the engine's Y axis, unscaled.
  EXPECT_NEAR(r.to.w, 0.0f, 1e-6f);
  EXPECT_NEAR(r.to.y, 1.0f, 1e-6f);
  EXPECT_NEAR(r.to.x, 0.0f, 1e-6f);
  const std::string logged = log.text();
  EXPECT_NE(logged.find("\nLoading animation: anim.ase\n"), std::string::npos);
  EXPECT_NE(logged.find("*** WARNING CONTROL_TCB_ROT_KEY NOT SUPPORTED ***\n"
                        "FILENAME: anim.ase\nFRAME: Door\n"),
            std::string::npos);
}

TEST_F(ZObjectBuilderASE, SplinePassCollectsNamedKnots) {
  const std::string text =
      "*SHAPEOBJECT {\n*NODE_NAME \"Road\"\n*NODE_TM {\n*NODE_NAME \"Road\"\n}\n"
      "*SHAPE_LINE 0 {\n*SHAPE_VERTEX_KNOT 0 1 2 3\n*SHAPE_VERTEX_INTERP 1 9 9 9\n"
      "*SHAPE_VERTEX_KNOT 1 4 5 6\n}\n}\n" +
      geomObject("Box", kTriangle) + "*SHAPEOBJECT {\n*NODE_NAME \"Fence\"\n}\n";
  ASSERT_TRUE(builder.loadSplinesText(text, "s.ase"));
  ASSERT_EQ(builder.splines.size(), 2u);
  EXPECT_EQ(builder.splines[0].name, "Road");
  ASSERT_EQ(builder.splines[0].points.size(), 2u);
  expectVector(builder.splines[0].points[1], 4, 6, -5);
  EXPECT_EQ(builder.splines[1].name, "Fence");
  EXPECT_TRUE(builder.splines[1].points.empty());
  EXPECT_NE(log.text().find("\nLoading splines: s.ase\n"), std::string::npos);
}

TEST_F(ZObjectBuilderASE, Load3DObjectFindsBothFolderLayouts) {
  TempFolder folder;
  const std::string text =
      geomObject("Body", kTriangle) + "*TM_ANIMATION {\n*NODE_NAME \"Body\"\n"
      "*CONTROL_POS_KEY 0 0 0 0\n*CONTROL_POS_KEY 10 1 1 1\n}\n"
      "*SHAPEOBJECT {\n*NODE_NAME \"Path\"\n*SHAPE_VERTEX_KNOT 0 1 1 1\n}\n";
  folder.write("flat.ase", text);
  folder.write("own/own.ase", text);
  builder.setModelPath(folder.path().string());

  ZFrame* flat = builder.load3DObject("flat");
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->name, "flat");
  ASSERT_EQ(flat->children.size(), 1u);
  EXPECT_EQ(flat->children[0]->name, "Body");
  EXPECT_GT(flat->children[0]->geometries[0]->radius, 0.0f);
  EXPECT_EQ(builder.texturePath, folder.path().string() + "/texture/");
  EXPECT_EQ(builder.animations.size(), 1u);
  EXPECT_EQ(builder.splines.size(), 1u);

  EXPECT_EQ(builder.load3DObject("own"), nullptr);  // not in its own folder yet
  builder.modelInOwnFolder = true;
  ZFrame* own = builder.load3DObject("own");
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->children.size(), 1u);
  EXPECT_EQ(builder.texturePath, folder.path().string() + "/own/texture/");
  EXPECT_EQ(builder.frames.size(), 2u);
  EXPECT_EQ(builder.load3DObject("absent"), nullptr);
  EXPECT_FALSE(builder.loadASE(folder.path().string() + "/absent.ase"));
  EXPECT_FALSE(builder.loadAnimation(folder.path().string() + "/absent.ase"));
}

// The public sample files: our counts against the peer library's reading of the same file.
TEST_F(ZObjectBuilderASE, SampleFilesMatchThePeerCounts) {
  const std::string folder = std::string(SHARED_TESTDATA) + "/ase/";
  const auto peerCounts = [](const std::string& path, size_t& vertices, size_t& faces) {
    const aiScene* peer = aiImportFile(path.c_str(), 0);
    ASSERT_NE(peer, nullptr) << aiGetErrorString();
    vertices = faces = 0;
    for (unsigned i = 0; i < peer->mNumMeshes; ++i) {
      vertices += peer->mMeshes[i]->mNumVertices;
      faces += peer->mMeshes[i]->mNumFaces;
    }
    aiReleaseImport(peer);
  };
  // The peer misreads the UTF-16 copy of ThreeCubesGreen (it finds 8 faces of 36), so that
  // file is held to the peer's count of its 8-bit twin.
  const std::pair<const char*, const char*> files[] = {
      {"CameraRollAnim.ase", nullptr},         {"MotionCaptureROM.ase", nullptr},
      {"RotatingCube.ASE", nullptr},           {"ThreeCubesGreen.ASE", nullptr},
      {"UVTransform_Normal.ASE", nullptr},     {"anim2.ASE", nullptr},
      {"InvalidUVIndex.ase", nullptr},
      {"ThreeCubesGreen_UTF16LE.ASE", "ThreeCubesGreen.ASE"},
  };
  for (const auto& [name, twin] : files) {
    SCOPED_TRACE(name);
    const std::string path = folder + name;
    ZCorvane e;
    ZObjectBuilder b(&e);
    ASSERT_TRUE(b.loadASE(path));
    EXPECT_TRUE(b.loadAnimation(path));
    EXPECT_TRUE(b.loadSplines(path));
    size_t vertices = 0, faces = 0;
    for (const ZGeometry* g : b.geometries) {
      vertices += g->vertices.size();
      faces += g->faces.size();
      for (const SFace& f : g->faces) EXPECT_TRUE(g->isFaceInRange(f));
    }
    size_t peerVertices = 0, peerFaces = 0;
    peerCounts(folder + (twin != nullptr ? twin : name), peerVertices, peerFaces);
    EXPECT_GT(faces, 0u);
    EXPECT_EQ(faces, peerFaces);
    EXPECT_EQ(vertices, peerVertices);
  }
}

}  // namespace
