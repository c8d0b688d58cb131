#include "formats/ZFileZMF.h"

#include "foundation/ZFileName.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/MaterialScene.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

void expectNear(const ZVector& actual, const ZVector& expected) {
  EXPECT_NEAR(actual.x, expected.x, 1e-6);
  EXPECT_NEAR(actual.y, expected.y, 1e-6);
  EXPECT_NEAR(actual.z, expected.z, 1e-6);
}

void expectNear(const D3DCOLORVALUE& actual, const D3DCOLORVALUE& expected) {
  EXPECT_NEAR(actual.r, expected.r, 1e-6);
  EXPECT_NEAR(actual.g, expected.g, 1e-6);
  EXPECT_NEAR(actual.b, expected.b, 1e-6);
  EXPECT_NEAR(actual.a, expected.a, 1e-6);
}

std::string readText(const std::string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(readWholeFile(path, bytes)) << path;
  return std::string(bytes.begin(), bytes.end());
}

// The text with every line end turned into `eol`.
std::string withLineEnds(const std::string& lfText, const std::string& eol) {
  std::string out;
  for (char c : lfText) {
    if (c == '\n') {
      out += eol;
    } else {
      out += c;
    }
  }
  return out;
}

// Folder with the effect and a texture file, made current; silent message boxes; log captured.
class ZFileZMTTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MaterialScene::writeFiles(folder);
    folder.enter();
  }

  TempFolder folder;
  ScopedDesktop desktop;
  CaptureLog log;
};

TEST_F(ZFileZMTTest, RoundTripKeepsTheScene) {
  ZCorvane saving;
  MaterialScene scene(saving);
  scene.paint->stage(2).mipMapFilter = 3;  // above linear: only binary files clamp it
  ZFileZMF writer(&saving);
  writer.sunPosition = {0.5f, -1, 0.25f};
  writer.ambientLight = {0.2f, 0.3f, 0.4f};
  writer.sunDiffuse = {1, 0.9f, 0.8f};
  ASSERT_TRUE(writer.saveText("model.zmt", scene.root));
  const std::string saved = readText("model.zmt");

  ZCorvane loading;
  ZFileZMF reader(&loading);
  reader.addTexturePath("texture");
  ZFrame* root = loading.getNewFrame();
  ASSERT_TRUE(reader.loadText("model.zmt", root)) << log.text();
  EXPECT_EQ(reader.root, root);
  expectNear(reader.sunPosition, writer.sunPosition);
  expectNear(reader.ambientLight, writer.ambientLight);
  expectNear(reader.sunDiffuse, writer.sunDiffuse);

  // Frames: names (the empty one too), placement and hierarchy, depth first.
  ASSERT_EQ(reader.frames.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const ZFrame* in = writer.frames[i];
    const ZFrame* out = reader.frames[i];
    EXPECT_EQ(out->name, in->name);
    expectNear(out->getPosition(), in->getPosition());
    expectNear(out->getHeading(), in->getHeading());
    expectNear(out->getUp(), in->getUp());
    ASSERT_EQ(out->geometries.size(), in->geometries.size());
  }
  EXPECT_EQ(reader.frames[0], root);
  EXPECT_EQ(reader.frames[1]->parent, root);
  EXPECT_EQ(reader.frames[2]->parent, reader.frames[1]);
  EXPECT_EQ(reader.frames[3]->parent, root);

  // Materials: one entry per mesh with a material, the shared one three times.
  ASSERT_EQ(reader.materials.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const ZMaterial& in = *writer.materials[i];
    const ZMaterial& out = *reader.materials[i];
    expectNear(out.d3dMaterial.Diffuse, in.d3dMaterial.Diffuse);
    expectNear(out.d3dMaterial.Ambient, in.d3dMaterial.Ambient);
    expectNear(out.d3dMaterial.Specular, in.d3dMaterial.Specular);
    expectNear(out.d3dMaterial.Emissive, in.d3dMaterial.Emissive);
    EXPECT_EQ(out.d3dMaterial.Power, in.d3dMaterial.Power);
    EXPECT_EQ(out.doubleFace, in.doubleFace);
    EXPECT_EQ(out.alphaBlend, in.alphaBlend);
    EXPECT_EQ(out.alphaDestBlend, in.alphaDestBlend);
    EXPECT_EQ(out.alphaRef, in.alphaRef);
    EXPECT_EQ(out.alphaSrcBlend, in.alphaSrcBlend);
    EXPECT_EQ(out.alphaTest, in.alphaTest);
    EXPECT_EQ(out.forceNoDepthWrite, in.forceNoDepthWrite);
    EXPECT_EQ(out.useZBuffer, in.useZBuffer);
    EXPECT_EQ(out.effectName, in.effectName);
    for (int s = 0; s < 8; ++s) {
      SCOPED_TRACE(s);
      const ZMaterialStage& a = in.stage(s);
      const ZMaterialStage& b = out.stage(s);
      ASSERT_EQ(b.texture != nullptr, a.texture != nullptr);
      if (a.texture == nullptr) continue;
      EXPECT_EQ(b.texture->name, "texture/wood.dds");
      EXPECT_EQ(b.active, a.active);
      EXPECT_EQ(b.alphaArg1, a.alphaArg1);
      EXPECT_EQ(b.alphaArg2, a.alphaArg2);
      EXPECT_EQ(b.alphaOp, a.alphaOp);
      EXPECT_EQ(b.colorArg0, a.colorArg0);
      EXPECT_EQ(b.colorArg1, a.colorArg1);
      EXPECT_EQ(b.colorArg2, a.colorArg2);
      EXPECT_EQ(b.colorOp, a.colorOp);
      EXPECT_EQ(b.magFilter, a.magFilter);
      EXPECT_EQ(b.minFilter, a.minFilter);
      EXPECT_EQ(b.mipMapFilter, a.mipMapFilter);
      EXPECT_EQ(b.texCoordIndex, a.texCoordIndex);
      EXPECT_EQ(b.textureAddressU, a.textureAddressU);
      EXPECT_EQ(b.textureAddressV, a.textureAddressV);
      EXPECT_FLOAT_EQ(out.textureFactor, 0.85f);
    }
  }
  EXPECT_NE(reader.materials[0], reader.materials[1]);
  const ZMaterial& shaded = *reader.materials[0];
  ASSERT_NE(shaded.effect, nullptr) << log.text();
  ASSERT_EQ(shaded.effectVars.size(), 2u);
  EXPECT_EQ(shaded.effectVars[1]->name, "gloss");
  EXPECT_FLOAT_EQ(shaded.effectVars[1]->value, 7.25f);  // the file's value, not the effect's
  EXPECT_FLOAT_EQ(shaded.effectVars[0]->value, 0.3f);
  EXPECT_EQ(reader.materials[2]->effect, nullptr);

  // Meshes: flags, variables, material entries, vertices and faces.
  const ZGeometry& body = *reader.frames[0]->geometries[0];
  EXPECT_EQ(body.name, "body");
  EXPECT_TRUE(body.transparent);
  EXPECT_TRUE(body.castShadow);
  float value = 0;
  EXPECT_TRUE(body.getVar("CHECKWALLS", value));
  EXPECT_FLOAT_EQ(value, -2.5f);
  EXPECT_EQ(body.vars.size(), 2u);
  EXPECT_EQ(body.material, reader.materials[0]);
  const ZGeometry& unnamed = *reader.frames[1]->geometries[0];
  EXPECT_EQ(unnamed.name, "");
  EXPECT_FALSE(unnamed.transparent);
  // A shared material is written once per mesh; meshes name its first entry.
  EXPECT_EQ(unnamed.material, reader.materials[0]);
  EXPECT_EQ(reader.frames[1]->geometries[1]->material, reader.materials[2]);
  EXPECT_EQ(reader.frames[1]->geometries[1]->name, "glass");

  const ZGeometry& source = *writer.frames[0]->geometries[0];
  ASSERT_EQ(body.vertices.size(), source.vertices.size());
  for (size_t i = 0; i < body.vertices.size(); ++i) {
    SCOPED_TRACE(i);
    const SVertex& a = source.vertices[i];
    const SVertex& b = body.vertices[i];
    expectNear(b.position, a.position);
    expectNear(b.normal, a.normal);
    expectNear(b.tangent, a.tangent);
    expectNear(b.binormal, b.tangent % b.normal);
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(b.t0[k], a.t0[k], 1e-6);
      EXPECT_NEAR(b.t1[k], a.t1[k], 1e-6);
    }
  }
  expectNear(body.vertices[0].binormal, {0.8f, 0, -0.6f});
  ASSERT_EQ(body.faces.size(), source.faces.size());
  for (size_t i = 0; i < body.faces.size(); ++i) {
    SCOPED_TRACE(i);
    const SFace& a = source.faces[i];
    const SFace& b = body.faces[i];
    EXPECT_EQ(b.a, a.a);
    EXPECT_EQ(b.b, a.b);
    EXPECT_EQ(b.c, a.c);
    expectNear(b.normal, a.normal);
    expectNear(b.binormal, a.binormal);
    expectNear(b.tangent, {0, 0, 0});  // the second face vector is not stored
  }

  // What was read writes the very same text again.
  ASSERT_TRUE(reader.saveText("again.zmt", root));
  EXPECT_EQ(readText("again.zmt"), saved);
}

// The exact lines of a small scene: labels, number formats, blank lines and CR LF ends.
TEST_F(ZFileZMTTest, SavedTextHasTheFileLayout) {
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  ZMaterial* m = engine.getNewMaterial();
  m->d3dMaterial.Power = 12.5f;
  ZGeometry* g = engine.getNewGeometry();
  g->setMaterial(m);
  for (float x : {0.0f, 1.0f, 0.0f}) g->addVertex({x, x == 0 ? 0.0f : -2.0f, 0.5f});
  g->vertices[1].normal = {0, 0, 1};
  g->vertices[2].t1[1] = 0.85f;
  g->addTriangle(0, 1, 2);
  g->addTriangle(0, 1, 3);  // names no vertex: left out
  g->setVar("SMOOTH", 1);
  root->addGeometry(g);
  ZFileZMF writer(&engine);
  writer.sunDiffuse = {1, 1, 1};
  ASSERT_TRUE(writer.saveText("small.zmt", root));

  const std::string stage = "PRESENT=0\n";
  std::string expected =
      "tq667\nVERSION=2\n\n>HEADER<\nSUNPOSITION=0.000000 0.000000 0.000000\n"
      "AMBIENTLIGHT=0.000000 0.000000 0.000000\nSUNDIFFUSE=1.000000 1.000000 1.000000\n"
      ">MATERIAL_LIST<\nCOUNT=1\n\n>MATERIAL<\n"
      "DIFFUSE=1.000000 1.000000 1.000000 1.000000\nAMBIENT=1.000000 1.000000 1.000000 1.000000\n"
      "SPECULAR=0.000000 0.000000 0.000000 1.000000\nEMISSIVE=0.000000 0.000000 0.000000 1.000000\n"
      "SPECULARESPONENT=12.500000\nDOUBLEFACE=0\nALPHABLENDENABLE=0\nALPHADESTBLEND=6\n"
      "ALPHAREF=0\nALPHASRCBLEND=5\nALPHATESTENABLE=0\nFORCENODEPTHWRITE=0\nUSEZBUFFER=1\n";
  for (int i = 0; i < 8; ++i) expected += ">STAGE" + std::to_string(i) + "<\n" + stage;
  expected +=
      "EFFECT=NONE\n>ENDVARS<\n\n>FRAMELIST<\nCOUNT=1\n\n>FRAME<\nNAME= \n"
      "POSITION=0.000000 0.000000 0.000000\nHEADING=0.000000 0.000000 1.000000\n"
      "UP=0.000000 1.000000 0.000000\nPARENT=-1\nGEOMETRIES=1\n\n>GEOMETRY<\nNAME= \n\n"
      "TRANSPARENT=0\nCASTSHADOW=0\nMATERIAL=0\nVERTICES=3\n"
      "0 0.000000 0.000000 0.500000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 "
      "0.000000 0.000000 0.000000 0.000000\n"
      "1 1.000000 -2.000000 0.500000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 "
      "0.000000 0.000000 0.000000 0.000000\n"
      "2 0.000000 0.000000 0.500000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 "
      "0.000000 0.000000 0.000000 0.850000\n"
      "FACES=1\n0 0 1 2 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
      "VARS=1\n>VAR<\nNAME=SMOOTH\nVALUE=1.000000\n";
  EXPECT_EQ(readText("small.zmt"), withLineEnds(expected, "\r\n"));
}

// A hand-written file with one material and one mesh; the parts under test are parameters.
std::string handWritten(const std::string& stage0, int material, const std::string& vertices,
                        const std::string& faces) {
  std::string text =
      "tq667\nVERSION=2\n>HEADER<\nSUNPOSITION=0 0 1\nAMBIENTLIGHT=0 0 0\nSUNDIFFUSE=1 1 1\n"
      ">MATERIAL_LIST<\nCOUNT=1\n>MATERIAL<\nDIFFUSE=1 1 1 1\nAMBIENT=1 1 1 1\n"
      "SPECULAR=0 0 0 1\nEMISSIVE=0 0 0 1\nSPECULARESPONENT=12.5\nDOUBLEFACE=0\n"
      "ALPHABLENDENABLE=0\nALPHADESTBLEND=6\nALPHAREF=0\nALPHASRCBLEND=5\nALPHATESTENABLE=0\n"
      "FORCENODEPTHWRITE=0\nUSEZBUFFER=1\n>STAGE0<\n" +
      stage0;
  for (int i = 1; i < 8; ++i) text += ">STAGE" + std::to_string(i) + "<\nPRESENT=0\n";
  text += "EFFECT=NONE\n>ENDVARS<\n>FRAMELIST<\nCOUNT=1\n>FRAME<\nNAME=f\n"
          "POSITION=0 0 0\nHEADING=0 0 1\nUP=0 1 0\nPARENT=-1\nGEOMETRIES=1\n>GEOMETRY<\n"
          "NAME=g\nTRANSPARENT=0\nCASTSHADOW=1\nMATERIAL=" +
          std::to_string(material) + "\n" + vertices + faces + "VARS=0\n";
  return text;
}

const std::string kTexturedStage =
    "PRESENT=1\nACTIVE=1\nalphaArg1=2\nalphaArg2=1\nalphaOp=1\ncolorArg0=0\ncolorArg1=2\n"
    "colorArg2=1\ncolorOp=4\nmagFilter=2\nminFilter=2\nmipMapFilter=2\ntexCoordIndex=0\n"
    "textureAddressU=1\ntextureAddressV=1\ntextureFactor=0.85\nTEXTURE=C:\\maps\\wood.dds\n";
const std::string kOneVertex = "VERTICES=1\n0 1 2 3 0 0 2 1 0 0 0.5 0.25 0 0\n";
const std::string kTriangle =
    "VERTICES=3\n0 0 0 0 0 1 0 1 0 0 0 0 0 0\n1 1 0 0 0 1 0 1 0 0 0 0 0 0\n"
    "2 0 1 0 0 1 0 1 0 0 0 0 0 0\n";

TEST_F(ZFileZMTTest, ReadsHandWrittenValuesWithAnyLineEnds) {
  const std::string lf = handWritten(kTexturedStage, 0, kOneVertex, "FACES=0\n");
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(eol)));
    ZCorvane engine;
    ZFileZMF reader(&engine);
    reader.addTexturePath("texture");
    reader.scale = {2, 1, 1};
    ASSERT_TRUE(reader.loadTextBytes(withLineEnds(lf, eol), nullptr)) << log.text();
    ASSERT_NE(reader.root, nullptr);
    EXPECT_EQ(reader.root->name, "f");
    expectNear(reader.sunPosition, {0, 0, 1});
    ASSERT_EQ(reader.materials.size(), 1u);
    const ZMaterial& m = *reader.materials[0];
    EXPECT_FLOAT_EQ(m.d3dMaterial.Power, 12.5f);
    EXPECT_FLOAT_EQ(m.textureFactor, 0.85f);
    ASSERT_NE(m.stage(0).texture, nullptr);
    EXPECT_EQ(m.stage(0).texture->name, "texture/wood.dds");  // folder part cut, then found
    ASSERT_EQ(reader.root->geometries.size(), 1u);
    const ZGeometry& g = *reader.root->geometries[0];
    EXPECT_TRUE(g.castShadow);
    ASSERT_EQ(g.vertices.size(), 1u);
    const SVertex& v = g.vertices[0];
    expectNear(v.position, {2, 2, 3});
    expectNear(v.normal, {0, 0, 1});
    expectNear(v.tangent, {1, 0, 0});
    expectNear(v.binormal, {0, -1, 0});
    EXPECT_FLOAT_EQ(v.t0[0], 0.5f);
    EXPECT_FLOAT_EQ(v.t0[1], 0.25f);
  }
}

TEST_F(ZFileZMTTest, NotATextModelBuildsNothing) {
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  root->name = "kept";
  ZFileZMF reader(&engine);
  const std::string text = handWritten("PRESENT=0\n", 0, kTriangle, "FACES=0\n");
  EXPECT_FALSE(reader.loadTextBytes("tq666" + text.substr(5), root));
  EXPECT_NE(log.text().find("ZMT ERROR: not a valid ZMT file\n"), std::string::npos);
  EXPECT_EQ(root->name, "kept");
  EXPECT_TRUE(root->geometries.empty());
  EXPECT_TRUE(reader.materials.empty());
  EXPECT_EQ(engine.materials.size(), 0u);
  EXPECT_EQ(engine.frames.size(), 1u);

  EXPECT_FALSE(reader.loadText("absent.zmt", root));
}

TEST_F(ZFileZMTTest, MaterialOutOfRangeGetsANewDefaultMaterial) {
  for (int index : {-1, 1, 7, -2}) {
    SCOPED_TRACE(index);
    desktop.messages.clear();
    ZCorvane engine;
    ZFileZMF reader(&engine);
    ASSERT_TRUE(reader.loadTextBytes(handWritten("PRESENT=0\n", index, kTriangle, "FACES=0\n"),
                                     nullptr));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "Material problem on geometry");
    EXPECT_EQ(desktop.messages[0].caption, "g");
    const ZMaterial* m = reader.root->geometries[0]->material;
    ASSERT_NE(m, nullptr);
    EXPECT_NE(m, reader.materials[0]);
    EXPECT_EQ(m->d3dMaterial.Power, 10);  // the renderer's defaults
    EXPECT_EQ(engine.materials.size(), 2u);
  }
}

TEST_F(ZFileZMTTest, FaceNamingNoVertexIsDropped) {
  const std::string faces =
      "FACES=4\n0 0 1 3 0 0 0 0 0 1\n1 2 1 0 0 0 0 0 0 -1\n2 0 -1 2 0 0 0 0 0 1\n"
      "3 0 1 2 0 1 0 0 0 1\n";
  ZCorvane engine;
  ZFileZMF reader(&engine);
  ASSERT_TRUE(reader.loadTextBytes(handWritten("PRESENT=0\n", 0, kTriangle, faces), nullptr));
  ASSERT_EQ(desktop.messages.size(), 2u);
  EXPECT_EQ(desktop.messages[0].text, "error loading g vert index 3");
  EXPECT_EQ(desktop.messages[0].caption, "corvane");
  EXPECT_EQ(desktop.messages[1].text, "error loading g vert index -1");
  const ZGeometry& g = *reader.root->geometries[0];
  ASSERT_EQ(g.faces.size(), 2u);
  EXPECT_EQ(g.faces[0].a, 2);
  expectNear(g.faces[0].normal, {0, 0, -1});
  expectNear(g.faces[1].binormal, {0, 1, 0});
  expectNear(g.faces[1].normal, {0, 0, 1});
}

// Broken and hostile texts: a structural fault or a cut gives false with its log line, a wrong
// label or number only logs, and no count makes the reader build more than the text holds.
TEST_F(ZFileZMTTest, BrokenTextsStopWithTheirLogLine) {
  const std::string good =
      handWritten("PRESENT=0\n", 0, kTriangle, "FACES=1\n0 0 1 2 0 0 0 0 0 1\n");
  auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Case {
    const char* what;
    std::string text;
    bool result;
    const char* logLine;
    size_t vertices;  // of the mesh that was read, when one was
    const char* box = nullptr;  // message box text expected
  };
  const Case cases[] = {
      {"empty", "", false, "ZMT ERROR: not a valid ZMT file\n", 0},
      {"blank lines", "\r\n\n\r", false, "ZMT ERROR: not a valid ZMT file\n", 0},
      {"magic only", "tq667", false, "ZMT ERROR: unexpected end of file\n", 0},
      {"no value", "tq667\nVERSION=", false, "ZMT ERROR: unexpected end of file\n", 0},
      {"no header", replaced(">HEADER<", ">HEADR<"), false, "ZMT ERROR: HEADER NOT FOUND\n", 0},
      {"no material list", replaced(">MATERIAL_LIST<", "MATERIAL_LIST"), false,
       "ZMT ERROR: MATERIAL_LIST NOT FOUND\n", 0},
      {"no frame list", replaced(">FRAMELIST<", ">FRAMES<"), false,
       "ZMT ERROR: FRAMELIST NOT FOUND\n", 0},
      {"huge material count", replaced("COUNT=1\n>MATERIAL<", "COUNT=2147483647\n>MATERIAL<"),
       false, "ZMT ERROR: unexpected end of file\n", 0},
      {"huge frame count", replaced("COUNT=1\n>FRAME<", "COUNT=2000000000\n>FRAME<"), false,
       "ZMT ERROR: unexpected end of file\n", 3},
      {"huge vertex count", replaced("VERTICES=3", "VERTICES=99999999"), false,
       "ZMT ERROR: unexpected end of file\n", 0},
      {"huge face count", replaced("FACES=1", "FACES=1000000000"), false,
       "ZMT ERROR: unexpected end of file\n", 0},
      {"huge variable count", replaced("VARS=0", "VARS=2147483647"), false,
       "ZMT ERROR: unexpected end of file\n", 0},
      {"cut in a vertex line", good.substr(0, good.find("2 0 1 0")) + "2 0 1", false,
       "ZMT ERROR: unexpected end of file\n", 0},
      {"negative counts", handWritten("PRESENT=0\n", 0, "VERTICES=-3\n", "FACES=-1\n"), true,
       "Loading -3 vertices\n", 0},
      {"not a geometry", replaced(">GEOMETRY<", ">GEOMETRIE<"), false,
       "ZMT ERROR: GEOMETRY NOT FOUND >GEOMETRIE<\n", 0, "Error null geometry"},
      {"not a frame", replaced(">FRAME<", "FRAME"), false, "ZMT ERROR: FRAME NOT FOUND\n", 0},
      {"wrong label", replaced("\nPOSITION=", "\nPOSITON="), true,
       "ZMT ERROR: Expected label POSITION, but found POSITON\n", 3},
      {"no numbers", replaced("SPECULARESPONENT=12.5", "SPECULARESPONENT=x"), true,
       "VERSION: 2\n", 3},
      {"bytes of all kinds", std::string("tq667\nVERSION=\0\xff\n>HEADER<\n=== \n", 30), false,
       "ZMT ERROR: unexpected end of file\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CaptureLog caseLog;
    desktop.messages.clear();
    ZCorvane engine;
    ZFileZMF reader(&engine);
    ZFrame* root = engine.getNewFrame();
    EXPECT_EQ(reader.loadTextBytes(c.text, root), c.result);
    EXPECT_NE(caseLog.text().find(c.logLine), std::string::npos) << caseLog.text();
    EXPECT_LE(engine.materials.size() + engine.frames.size() + engine.geometries.size(), 4u);
    if (c.vertices > 0) {
      ASSERT_EQ(root->geometries.size(), 1u);
      EXPECT_EQ(root->geometries[0]->vertices.size(), c.vertices);
    }
    if (c.box != nullptr) {
      ASSERT_EQ(desktop.messages.size(), 1u);
      EXPECT_EQ(desktop.messages[0].text, c.box);
      EXPECT_EQ(desktop.messages[0].caption, "ZMFEDIT2");
    }
  }
}

// Every cut of a valid file ends cleanly; the load is whole only when nothing of it is missing.
// Under the address sanitizer this proves that no read leaves the text.
TEST_F(ZFileZMTTest, EveryPrefixEndsCleanly) {
  ZCorvane saving;
  ZFileZMF writer(&saving);
  ASSERT_TRUE(writer.saveText("model.zmt", MaterialScene(saving).root));
  const std::string text = readText("model.zmt");
  const size_t lastValue = text.rfind('=') + 1;  // the text's last token starts here
  for (size_t size = 0; size <= text.size(); ++size) {
    const std::vector<char> cut(text.begin(), text.begin() + ptrdiff_t(size));  // exact size
    ZCorvane engine;
    ZFileZMF reader(&engine);
    const bool whole = reader.loadTextBytes(std::string_view(cut.data(), cut.size()), nullptr);
    if (size <= lastValue) {
      ASSERT_FALSE(whole) << size;
    } else {
      ASSERT_TRUE(whole) << size;
    }
  }
}

}  // namespace
