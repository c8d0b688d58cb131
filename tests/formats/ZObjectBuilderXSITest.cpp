#include "formats/ZObjectBuilder.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A car model with a wheel model below it; the body mesh has a quad, a triangle and a polygon
// of six corners, the wheel names a material the library lacks. The image clip is resolved
// after the material that uses it.
constexpr const char* kScene = R"(xsi 0300txt 0032

SI_Light Sun {
 1,
 0.5,0.6,0.7,
 0,-1,0,
}

SI_MaterialLibrary MATLIB-scene {
 2,
 XSI_Material Red {
  1,
  "surface","Red.Phong",
  XSI_Shader Red.Phong {
   "Softimage.material-phong.1",
   0,
   4,
   "diffuse.red","FLOAT",0.8,
   "diffuse.green","FLOAT",0.1,
   "diffuse.blue","FLOAT",0.2,
   "shiny","FLOAT",30,
  }
 }
 XSI_Material Wood {
  XSI_Shader Wood.Image {
   "Softimage.txt2d-image-explicit.1",
   0,
   1,
   "tex","STRING","bark_jpg",
  }
 }
}

XSI_ImageLibrary {
 XSI_Image bark_jpg {
  "C:\pictures\bark.jpg",
 }
}

SI_Model MDL-car {
 SI_Transform SRT-car { 1,1,1, 0,0,0, 5,6,7, }
 SI_Mesh MSH-body {
  SI_Shape SHP-body-ORG {
   3,
   "ORDERED",
   6,
   "POSITION",
   0,0,0, 1,0,0, 1,1,0, 0,1,0, 2,0,0, 2,1,0,
   1,
   "NORMAL",
   0,0,1,
   4,
   "TEX_COORD_UV",
   0,0, 1,0, 1,1, 0,0.25,
  }
  SI_PolygonList {
   3,
   "NORMAL|TEX_COORD_UV",
   "Red",
   13,
   4,3,6,
   0,1,2,3, 1,4,5, 0,1,2,3,4,5,
   0,0,0,0, 0,0,0, 0,0,0,0,0,0,
   0,1,2,3, 1,0,2, 0,1,2,3,0,1,
  }
 }
 SI_Model MDL-wheel {
  SI_Transform SRT-wheel { 1,1,1, 0,0,0, 1,0,0, }
  SI_Mesh MSH-wheel {
   SI_Shape { 1, "ORDERED", 3, "POSITION", 0,0,0, 1,0,0, 0,1,0, }
   SI_PolygonList { 1, "", "Nowhere", 3, 3, 0,1,2, }
  }
 }
}
)";

class ZObjectBuilderXSITest : public ::testing::Test {
 protected:
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZObjectBuilder builder{&engine};
};

TEST_F(ZObjectBuilderXSITest, SceneBecomesFramesMeshesAndMaterials) {
  builder.texturePath = "models/texture/";
  ASSERT_TRUE(builder.loadXSIText(kScene, "car.xsi", false));

  ASSERT_EQ(builder.frames.size(), 2u);
  ZFrame* car = builder.frames[0];
  ZFrame* wheel = builder.frames[1];
  EXPECT_EQ(car->name, "MDL-car");
  EXPECT_EQ(wheel->parent, car);
  EXPECT_FLOAT_EQ(car->getPosition().z, 7.0f);
  EXPECT_FLOAT_EQ(wheel->getPosition().x, 1.0f);

  ASSERT_EQ(builder.materials.size(), 2u);
  const ZMaterial* red = builder.materials[0];
  EXPECT_FLOAT_EQ(red->d3dMaterial.Diffuse.r, 0.8f);
  EXPECT_FLOAT_EQ(red->d3dMaterial.Diffuse.b, 0.2f);
  EXPECT_FLOAT_EQ(red->d3dMaterial.Power, 30.0f);
  const ZMaterial* wood = builder.materials[1];
  ASSERT_NE(wood->stage(0).texture, nullptr);
  EXPECT_EQ(wood->stage(0).texture->name, "models/texture/bark.jpg");

  ASSERT_EQ(builder.geometries.size(), 2u);
  const ZGeometry* body = builder.geometries[0];
  EXPECT_EQ(body->material, red);
  // Quad and triangle split into three triangles; the six-corner polygon is left out.
  ASSERT_EQ(body->faces.size(), 3u);
  EXPECT_EQ(body->vertices.size(), 7u);
  for (const SFace& f : body->faces) EXPECT_TRUE(body->isFaceInRange(f));
  EXPECT_FLOAT_EQ(body->vertices[3].position.y, 1.0f);
  EXPECT_FLOAT_EQ(body->vertices[3].t0[1], 0.75f);  // v runs down the picture here
  EXPECT_FLOAT_EQ(body->vertices[5].position.x, 2.0f);
  EXPECT_FLOAT_EQ(body->vertices[5].t0[1], 1.0f);
  EXPECT_FLOAT_EQ(body->vertices[0].normal.z, 1.0f);
  EXPECT_EQ(builder.geometries[1]->material, nullptr);

  // The missing picture has its own message from the texture cache.
  std::vector<std::string> editMessages;
  for (const auto& message : desktop.messages) {
    if (message.caption == "ZMF EDIT") editMessages.push_back(message.text);
  }
  EXPECT_EQ(editMessages, std::vector<std::string>{"Error, MSH-wheel has no material"});

  const std::string text = log.text();
  for (const char* line :
       {"\nLoading XSI: car.xsi multi=0\n", "loading light\n", "TYPE=1\n",
        "DIFFUSE: 0.500000,0.600000,0.700000\n", "DIR: 0.000000,-1.000000,0.000000\n",
        "Loading material library (SI_MaterialLibrary)\n", "{ >nest level=1 ****\n",
        "Loading material (XSI_Material) Red\n", "Loading shader (XSI_Shader)\n",
        "diffuse.red=0.800000\n", "Loading Image XSI_Shader\n", "Texture=bark_jpg\n",
        "Resolving texture bark_jpg=C:\\pictures\\bark.jpg\n", "Assigning to Wood\n",
        "Loading model (SI_Model) MDL-car\n", "MODEL IS AT LEVEL 1\n", "Pushing parent\n",
        "MODEL IS AT LEVEL 2\n", "Popping parent\n", "Loading transform\n",
        "Translate 5.000000 6.000000 7.000000\n", "Loading mesh (SI_Mesh) MSH-body\n",
        "6 vertices to load\n", "1 normals to load\n", "4 textuv to load\n",
        "Loading SI_PolygonList\n", "Loading 3 faces\n", "cmp Red Red\n", "Setting material\n",
        "quad 0 1 2 3\n", "tri 1 4 5\n", "nor quad 0 0 0 0\n", "tex tri 1 0 2\n",
        "WARNING: 6 vertices not supported (MSH-body)"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

// Indices and counts the file gets wrong skip what they name (with a log line) and nothing
// else; none is used to read outside the arrays.
TEST_F(ZObjectBuilderXSITest, BadIndicesAndCountsAreCheckedBeforeUse) {
  struct Case {
    const char* polygons;
    size_t faces;
    const char* logLine;
  };
  const std::vector<Case> cases = {
      {R"(2, "", "", 6, 3,3, 0,1,2, 0,1,9,)", 1, "WARNING, Vertex out of bounds\n"},
      {R"(2, "", "", 6, 3,3, 0,1,2, 0,-1,2,)", 1, "WARNING, Vertex out of bounds\n"},
      {R"(1, "NORMAL", "", 3, 3, 0,1,2, 0,0,7,)", 1, "WARNING, Normal out of bounds\n"},
      {R"(1, "TEX_COORD_UV", "", 3, 3, 0,1,2, 0,0,7,)", 1,
       "WARNING, Texture coordinate out of bounds\n"},
      {R"(1000000, "", "", 3, 3, 0,1,2,)", 0, "does not fit its block"},
      {R"(1, "", "", 4, 3, 0,1,2,)", 0, "does not match its polygons"},
      {R"(1, "NORMAL", "", 3, 3, 0,1,2,)", 0, "do not fit their block"},
      {R"(1, "", "", 2147483647, 2147483647, 0,1,2,)", 0, "do not fit their block"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.polygons);
    CaptureLog localLog;
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    const std::string text = std::string("SI_Mesh m { SI_Shape { 2, \"ORDERED\", 3, \"POSITION\", "
                                         "0,0,0, 1,0,0, 0,1,0, 1, \"NORMAL\", 0,0,1, } "
                                         "SI_PolygonList { ") +
                             c.polygons + " } }";
    ASSERT_TRUE(local.loadXSIText(text, "bad.xsi", false));
    size_t faces = 0;
    for (const ZGeometry* g : local.geometries) {
      faces += g->faces.size();
      for (const SFace& f : g->faces) EXPECT_TRUE(g->isFaceInRange(f));
    }
    EXPECT_EQ(faces, c.faces);
    EXPECT_NE(localLog.text().find(c.logLine), std::string::npos);
  }
}

TEST_F(ZObjectBuilderXSITest, ShapeArraysLargerThanTheirBlockAreRefused) {
  ASSERT_TRUE(builder.loadXSIText(
      "SI_Mesh m { SI_Shape { 1, \"ORDERED\", 99999999, \"POSITION\", 0,0,0, } "
      "SI_PolygonList { 1, \"\", \"\", 3, 3, 0,0,0, } }",
      "big.xsi", false));
  EXPECT_NE(log.text().find("WARNING: shape array POSITION of m does not fit its block"),
            std::string::npos);
  ASSERT_EQ(builder.geometries.size(), 1u);
  EXPECT_TRUE(builder.geometries[0]->faces.empty());
}

TEST_F(ZObjectBuilderXSITest, IndexedShapesPlaceElementsByTheirIndex) {
  ASSERT_TRUE(builder.loadXSIText(
      "SI_Mesh m { SI_Shape { 1, \"INDEXED\", 3, \"POSITION\", 2,0,1,0, 0,0,0,0, 1,1,0,0, } "
      "SI_PolygonList { 1, \"\", \"\", 3, 3, 0,1,2, } }",
      "indexed.xsi", false));
  ASSERT_EQ(builder.geometries.size(), 1u);
  const ZGeometry* g = builder.geometries[0];
  ASSERT_EQ(g->vertices.size(), 3u);
  EXPECT_FLOAT_EQ(g->vertices[1].position.x, 1.0f);
  EXPECT_FLOAT_EQ(g->vertices[2].position.y, 1.0f);
}

TEST_F(ZObjectBuilderXSITest, DeepNestingStopsTheImport) {
  EXPECT_FALSE(builder.loadXSIText(std::string(100000, '{'), "deep.xsi", false));
  EXPECT_NE(log.text().find("nested deeper"), std::string::npos);
  EXPECT_TRUE(builder.frames.empty());
  // Unbalanced closing braces are harmless.
  EXPECT_TRUE(builder.loadXSIText("}}} SI_Model a { } }", "closing.xsi", false));
  EXPECT_EQ(builder.frames.size(), 1u);
}

// Any prefix of a scene is a scene too: it must import without reading outside the text.
TEST_F(ZObjectBuilderXSITest, EveryTruncatedPrefixImportsSafely) {
  const std::string scene = kScene;
  for (size_t n = 0; n <= scene.size(); ++n) {
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    EXPECT_TRUE(local.loadXSIText(scene.substr(0, n), "cut.xsi", true));
    for (const ZGeometry* g : local.geometries) {
      for (const SFace& f : g->faces) ASSERT_TRUE(g->isFaceInRange(f)) << n;
    }
  }
}

TEST_F(ZObjectBuilderXSITest, MissingFileImportsNothing) {
  EXPECT_FALSE(builder.loadXSI("/nonexistent/scene.xsi", false));
  EXPECT_TRUE(builder.frames.empty());
}

}  // namespace
