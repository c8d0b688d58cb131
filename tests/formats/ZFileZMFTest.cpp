#include "formats/ZFileZMF.h"

#include "formats/ByteWriter.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/MaterialScene.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool sameBits(const void* a, const void* b, size_t size) { return std::memcmp(a, b, size) == 0; }

void expectSameGeometry(const ZGeometry& a, const ZGeometry& b) {
  EXPECT_EQ(a.name, b.name);
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    // The file holds every field but the reserved float.
    EXPECT_TRUE(sameBits(&a.vertices[i], &b.vertices[i], 16 * sizeof(float))) << a.name << i;
  }
  ASSERT_EQ(a.faces.size(), b.faces.size());
  for (size_t i = 0; i < a.faces.size(); ++i) {
    EXPECT_EQ(a.faces[i].a, b.faces[i].a);
    EXPECT_EQ(a.faces[i].b, b.faces[i].b);
    EXPECT_EQ(a.faces[i].c, b.faces[i].c);
    EXPECT_TRUE(sameBits(&a.faces[i].normal, &b.faces[i].normal, 9 * sizeof(float)));
  }
  EXPECT_EQ(a.transparent, b.transparent);
  EXPECT_EQ(a.castShadow, b.castShadow);
  ASSERT_EQ(a.vars.size(), b.vars.size());
  for (size_t i = 0; i < a.vars.size(); ++i) {
    EXPECT_EQ(a.vars[i].name, b.vars[i].name);
    EXPECT_EQ(a.vars[i].value, b.vars[i].value);
  }
}

void expectSameMaterial(const ZMaterial& a, const ZMaterial& b) {
  EXPECT_TRUE(sameBits(&a.d3dMaterial, &b.d3dMaterial, sizeof(D3DMATERIAL9)));
  EXPECT_EQ(a.doubleFace, b.doubleFace);
  EXPECT_EQ(a.alphaBlend, b.alphaBlend);
  EXPECT_EQ(a.alphaTest, b.alphaTest);
  EXPECT_EQ(a.alphaRef, b.alphaRef);
  EXPECT_EQ(a.alphaSrcBlend, b.alphaSrcBlend);
  EXPECT_EQ(a.alphaDestBlend, b.alphaDestBlend);
  EXPECT_EQ(a.forceNoDepthWrite, b.forceNoDepthWrite);
  EXPECT_EQ(a.useZBuffer, b.useZBuffer);
  EXPECT_EQ(a.effectName, b.effectName);
  ASSERT_EQ(a.effectVars.size(), b.effectVars.size());
  for (size_t i = 0; i < a.effectVars.size(); ++i) {
    EXPECT_EQ(a.effectVars[i]->name, b.effectVars[i]->name);
    EXPECT_EQ(a.effectVars[i]->value, b.effectVars[i]->value);
  }
  for (int i = 0; i < 8; ++i) {
    const ZMaterialStage& s = a.stage(i);
    const ZMaterialStage& t = b.stage(i);
    EXPECT_EQ(s.texture == nullptr, t.texture == nullptr) << i;
    if (s.texture == nullptr || t.texture == nullptr) continue;
    EXPECT_EQ(s.texture->name, t.texture->name);
    EXPECT_EQ(a.textureFactor, b.textureFactor);
    const int32_t left[] = {s.active, s.alphaArg1, s.alphaArg2, s.alphaOp, s.colorArg0,
                            s.colorArg1, s.colorArg2, s.colorOp, s.magFilter, s.minFilter,
                            s.mipMapFilter, s.texCoordIndex, s.textureAddressU,
                            s.textureAddressV};
    const int32_t right[] = {t.active, t.alphaArg1, t.alphaArg2, t.alphaOp, t.colorArg0,
                             t.colorArg1, t.colorArg2, t.colorOp, t.magFilter, t.minFilter,
                             t.mipMapFilter, t.texCoordIndex, t.textureAddressU,
                             t.textureAddressV};
    EXPECT_TRUE(sameBits(left, right, sizeof left)) << "stage " << i;
  }
}

class ZFileZMFTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MaterialScene::writeFiles(folder);
    folder.enter();
  }
  TempFolder folder;
  CaptureLog log;
  ScopedDesktop desktop;
};

TEST_F(ZFileZMFTest, RoundTripKeepsTheWholeScene) {
  ZCorvane saving;
  MaterialScene scene(saving);
  ZFileZMF writer(&saving);
  writer.sunPosition = {0.5f, -1, 0.25f};
  writer.ambientLight = {0.1f, 0.2f, 0.3f};
  writer.sunDiffuse = {0.9f, 0.8f, 0.7f};
  writer.cameras = &scene.cameras;
  ASSERT_TRUE(writer.save("model.zmf", scene.root));
  // One material entry per geometry, duplicates included.
  EXPECT_EQ(writer.materials.size(), 4u);
  EXPECT_EQ(writer.frames.size(), 4u);

  ZCorvane engine;
  ZFileZMF reader(&engine);
  reader.addTexturePath("texture");
  std::vector<ZCamera*> cameras;
  reader.cameras = &cameras;
  ZFrame* root = reader.load("model.zmf", nullptr, false);
  ASSERT_NE(root, nullptr) << log.text();
  EXPECT_EQ(reader.version, 28);
  EXPECT_TRUE(sameBits(&reader.sunPosition, &writer.sunPosition, 12));
  EXPECT_TRUE(sameBits(&reader.ambientLight, &writer.ambientLight, 12));
  EXPECT_TRUE(sameBits(&reader.sunDiffuse, &writer.sunDiffuse, 12));
  ASSERT_EQ(reader.frames.size(), writer.frames.size());
  for (size_t i = 0; i < reader.frames.size(); ++i) {
    const ZFrame& a = *writer.frames[i];
    const ZFrame& b = *reader.frames[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_TRUE(sameBits(a.matrix.m, b.matrix.m, sizeof a.matrix.m)) << a.name;
    EXPECT_EQ(a.children.size(), b.children.size());
    ASSERT_EQ(a.geometries.size(), b.geometries.size());
    for (size_t g = 0; g < a.geometries.size(); ++g) {
      expectSameGeometry(*a.geometries[g], *b.geometries[g]);
    }
  }
  // Depth first: car, the unnamed frame, wheel FL, then MIRROR.
  EXPECT_EQ(reader.frames[1]->name, "");
  EXPECT_EQ(reader.frames[2]->parent, reader.frames[1]);
  EXPECT_EQ(reader.frames[3]->name, "MIRROR");
  EXPECT_EQ(reader.frames[3]->parent, root);
  ASSERT_EQ(reader.materials.size(), 4u);
  for (size_t i = 0; i < 4; ++i) expectSameMaterial(*writer.materials[i], *reader.materials[i]);
  // Each geometry names the first entry of its material.
  EXPECT_EQ(reader.frames[1]->geometries[0]->material, reader.materials[0]);
  EXPECT_EQ(reader.frames[1]->geometries[1]->material, reader.materials[2]);
  EXPECT_EQ(reader.frames[2]->geometries[0]->material, reader.materials[0]);
  ASSERT_EQ(cameras.size(), 1u);
  const ZCamera& c = *cameras[0];
  EXPECT_EQ(c.name, "TV1");
  EXPECT_EQ(c.position.z, 30);
  EXPECT_TRUE(c.fixed);
  EXPECT_EQ(c.tag, 7);
  EXPECT_EQ(c.maxDist, 500);
  EXPECT_EQ(c.maxFov, 25);
  EXPECT_EQ(c.minFov, 4);

  // Saving what was read gives the same bytes.
  ZFileZMF again(&engine);
  again.sunPosition = reader.sunPosition;
  again.ambientLight = reader.ambientLight;
  again.sunDiffuse = reader.sunDiffuse;
  again.cameras = &cameras;
  ASSERT_TRUE(again.save("again.zmf", root));
  EXPECT_EQ(readFileText("again.zmf"), readFileText("model.zmf"));
}

// The records of the version-25 and version-22 files below, built field by field.
void writeStageOff(ByteWriter& out) { out.u32(0); }

void writeMaterial(ByteWriter& out, int version, const std::string& texture) {
  for (float v : {0.25f, 0.5f, 0.75f, 0.5f}) out.f32(v);  // diffuse
  if (version >= 26) {
    for (float v : {0.1f, 0.1f, 0.1f, 1.0f}) out.f32(v);
  }
  for (float v : {0.0f, 0.0f, 0.0f, 1.0f}) out.f32(v);  // specular
  for (float v : {0.0f, 0.0f, 0.0f, 1.0f}) out.f32(v);  // emissive
  out.u8(1);                                             // double-sided
  out.f32(20);
  out.u8(0);
  out.u32(6);
  out.u8(128);
  out.u32(5);
  out.u8(1);
  out.u8(0);
  out.u8(1);
  out.u32(1);  // stage 0 present
  out.u8(1);
  for (uint32_t v : {2u, 1u, 2u, 0u, 2u, 0u, 4u, 3u, 7u, 2u, 0u, 1u, 1u}) out.u32(v);
  out.f32(0.5f);
  out.string(texture);
  for (int i = 1; i < 8; ++i) writeStageOff(out);
  out.string("");  // no effect
  if (version >= 22) out.u32(0);
}

void writeGeometry(ByteWriter& out, int version, int32_t material) {
  out.u32(24);
  out.string("plate");
  out.u32(3);
  for (int i = 0; i < 3; ++i) {
    for (float v : {float(i), 1.0f, 2.0f}) out.f32(v);  // position
    for (float v : {0.0f, 0.0f, 2.0f}) out.f32(v);      // normal, normalised on reading
    for (int k = 0; k < 10; ++k) out.f32(0.5f);
  }
  out.u32(1);
  out.u16(0);
  out.u16(1);
  out.u16(2);
  out.u16(0);
  out.f32(0);
  for (int k = 0; k < 9; ++k) out.f32(float(k));
  if (version >= 24) out.u8(1);
  if (version >= 25) out.u8(1);
  if (version >= 23) {
    out.u32(1);
    out.string("SMOOTH");
    out.f32(1);
  }
  out.i32(material);
}

std::vector<uint8_t> oldFile(int version, int32_t material) {
  ByteWriter out;
  out.raw("tq666", 5);
  out.i32(version);
  out.u32(20);
  out.u32(1);
  writeMaterial(out, version, "C:\\maps\\wood.dds");
  out.u32(25);
  out.u32(2);
  for (const char* name : {"root", "child"}) {
    out.u32(23);
    out.string(name);
    for (float v : {1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f}) out.f32(v);
    out.i32(-1);
    out.u32(1);
    writeGeometry(out, version, material);
  }
  out.u32(0);  // cameras
  return out.bytes;
}

TEST_F(ZFileZMFTest, OlderVersionsReadTheirOwnFields) {
  for (int version : {25, 22}) {
    ZCorvane engine;
    ZFileZMF reader(&engine);
    reader.sunDiffuse = {9, 9, 9};
    const std::vector<uint8_t> bytes = oldFile(version, 0);
    ZFrame* root = reader.loadBytes(bytes, nullptr, false);
    ASSERT_NE(root, nullptr) << version << log.text();
    EXPECT_EQ(reader.sunDiffuse.x, 9) << "no lighting before version 27";
    ASSERT_EQ(root->children.size(), 1u);
    const ZMaterial& m = *reader.materials[0];
    // No stored ambient: a copy of the diffuse colour.
    EXPECT_TRUE(sameBits(&m.d3dMaterial.Ambient, &m.d3dMaterial.Diffuse, 16));
    EXPECT_EQ(m.stage(0).texture->name, "wood.dds");
    EXPECT_EQ(m.stage(0).magFilter, 2) << "clamped from 3";
    EXPECT_EQ(m.stage(0).minFilter, 2) << "clamped from 7";
    EXPECT_EQ(m.textureFactor, 0.5f);
    EXPECT_EQ(m.alphaRef, 128);
    const ZGeometry& g = *root->geometries[0];
    EXPECT_EQ(g.material, &m);
    EXPECT_EQ(g.vertices[0].normal.z, 1);
    EXPECT_EQ(g.faces[0].normal.x, 6) << "first vector at offset 36";
    EXPECT_EQ(g.transparent, version >= 24);
    EXPECT_EQ(g.castShadow, version >= 25);
    float smooth = 0;
    EXPECT_EQ(g.getVar("SMOOTH", smooth), version >= 23);
  }
  EXPECT_NE(log.text().find("Found problematic magFilter 3 set to LINEAR\n"), std::string::npos);
  EXPECT_NE(log.text().find("Found problematic magFilter set to LINEAR7\n"), std::string::npos);
}

TEST_F(ZFileZMFTest, WrongMaterialIndexKeepsNone) {
  ZCorvane engine;
  ZFileZMF reader(&engine);
  ZFrame* root = reader.loadBytes(oldFile(25, 1), nullptr, false);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->geometries[0]->material, nullptr);
  EXPECT_NE(log.text().find("WARNING: plate has wrong material\n"), std::string::npos);
}

TEST_F(ZFileZMFTest, MirrorAndScaleApplyOnLoad) {
  ZCorvane engine;
  ZFileZMF reader(&engine);
  reader.scale = {2, 1, 1};
  ZFrame* root = reader.loadBytes(oldFile(25, 0), nullptr, true);
  ASSERT_NE(root, nullptr);
  const ZGeometry& g = *root->geometries[0];
  EXPECT_EQ(g.vertices[1].position.x, -2);  // mirrored, then scaled
  EXPECT_EQ(g.vertices[1].position.y, 1);
  EXPECT_EQ(g.vertices[1].t0[0], -0.5f);
  EXPECT_EQ(g.faces[0].a, 2);
  EXPECT_EQ(g.faces[0].c, 0);
}

TEST_F(ZFileZMFTest, CallersRootReceivesTheFileOnlyWhenComplete) {
  const std::vector<uint8_t> bytes = oldFile(25, 0);
  ZCorvane engine;
  ZFrame* mine = engine.getNewFrame();
  mine->name = "mine";
  {
    ZFileZMF reader(&engine);
    EXPECT_EQ(reader.loadBytes(std::span(bytes).first(bytes.size() - 3), mine, false), nullptr);
    EXPECT_EQ(mine->name, "mine");
    EXPECT_TRUE(mine->children.empty());
    EXPECT_TRUE(mine->geometries.empty());
  }
  ZFileZMF reader(&engine);
  EXPECT_EQ(reader.loadBytes(bytes, mine, false), mine);
  EXPECT_EQ(mine->name, "root");
  EXPECT_EQ(mine->getPosition().z, 3);
  ASSERT_EQ(mine->children.size(), 1u);
  EXPECT_EQ(mine->children[0]->parent, mine);
  EXPECT_EQ(mine->geometries.size(), 1u);
  EXPECT_EQ(reader.frames[0], mine);
}

TEST_F(ZFileZMFTest, FileWithoutFramesLeavesTheCallersRootAlone) {
  ByteWriter out;
  out.raw("tq666", 5);
  out.i32(28);
  for (int i = 0; i < 9; ++i) out.f32(0.5f);
  out.u32(20);
  out.u32(0);  // no material
  out.u32(25);
  out.u32(0);  // no frame
  out.u32(0);  // no camera
  ZCorvane engine;
  ZFrame* mine = engine.getNewFrame();
  mine->name = "mine";
  ZFileZMF reader(&engine);
  EXPECT_EQ(reader.loadBytes(out.bytes, mine, false), mine);
  EXPECT_EQ(mine->name, "mine");
  ZFileZMF fresh(&engine);
  ZFrame* root = fresh.loadBytes(out.bytes, nullptr, false);
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->children.empty());
}

TEST_F(ZFileZMFTest, VersionNineteenMaterialsRead) {
  ByteWriter out;
  out.raw("tq666", 5);
  out.i32(19);
  out.u32(20);
  out.u32(1);
  for (float v : {0.5f, 0.25f, 0.125f, 0.75f}) out.f32(v);  // diffuse
  for (int i = 0; i < 8; ++i) out.f32(0);                    // specular, emissive
  out.u8(1);
  out.f32(30);
  out.u32(0);  // no texture
  out.u32(0);  // no reflection map
  out.f32(0);  // the float of versions 4 and later
  out.u32(25);
  out.u32(0);  // no frame
  out.u32(0);  // no camera
  ZCorvane engine;
  ZFileZMF reader(&engine);
  ASSERT_NE(reader.loadBytes(out.bytes, nullptr, false), nullptr) << log.text();
  ASSERT_EQ(reader.materials.size(), 1u);
  const ZMaterial& m = *reader.materials[0];
  EXPECT_EQ(m.d3dMaterial.Diffuse.g, 0.25f);
  EXPECT_EQ(m.d3dMaterial.Ambient.a, 0.75f);
  EXPECT_TRUE(m.doubleFace);
  EXPECT_EQ(m.d3dMaterial.Power, 30);
}

TEST_F(ZFileZMFTest, ParentChainsStopAtTheDepthLimit) {
  // Every frame names the one before as its parent: tree operations recurse once per level.
  const int count = ZFrame::kMaxDepth + 40;
  ByteWriter out;
  out.raw("tq666", 5);
  out.i32(28);
  for (int i = 0; i < 9; ++i) out.f32(0.5f);
  out.u32(20);
  out.u32(0);
  out.u32(25);
  out.u32(uint32_t(count));
  for (int i = 0; i < count; ++i) {
    out.u32(23);
    out.string("f" + std::to_string(i));
    for (float v : {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f}) out.f32(v);
    out.i32(i - 1);
    out.u32(0);
  }
  out.u32(0);
  ZCorvane engine;
  ZFileZMF reader(&engine);
  ZFrame* root = reader.loadBytes(out.bytes, nullptr, false);
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(reader.frames.size(), size_t(count));
  EXPECT_EQ(root->height(), ZFrame::kMaxDepth - 1);
  EXPECT_EQ(reader.frames[size_t(ZFrame::kMaxDepth)]->parent, root);
  EXPECT_NE(log.text().find("within 256 levels, attached to the root"), std::string::npos);
}

TEST_F(ZFileZMFTest, EveryTruncatedPrefixIsRejected) {
  ZCorvane saving;
  MaterialScene scene(saving);
  ZFileZMF writer(&saving);
  writer.cameras = &scene.cameras;
  ASSERT_TRUE(writer.save("model.zmf", scene.root));
  const std::string file = readFileText("model.zmf");
  const std::vector<uint8_t> bytes(file.begin(), file.end());
  ZCorvane engine;
  for (size_t size = 0; size < bytes.size(); ++size) {
    ZFileZMF reader(&engine);
    std::vector<ZCamera*> cameras;
    reader.cameras = &cameras;
    EXPECT_EQ(reader.loadBytes(std::span(bytes).first(size), nullptr, false), nullptr) << size;
  }
  ZFileZMF reader(&engine);
  EXPECT_NE(reader.loadBytes(bytes, nullptr, false), nullptr);
}

TEST_F(ZFileZMFTest, HostileInputsFailCleanly) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  ByteWriter hugeMaterials;
  hugeMaterials.raw("tq666", 5);
  hugeMaterials.i32(25);
  hugeMaterials.u32(20);
  hugeMaterials.u32(0xFFFFFFFFu);
  std::vector<uint8_t> hugeVertices = oldFile(25, 0);
  // The first geometry's vertex count follows its name "plate".
  const size_t at = std::search(hugeVertices.begin(), hugeVertices.end(), "plate", "plate" + 5) -
                    hugeVertices.begin() + 5;
  hugeVertices[at + 3] = 0x7F;
  std::vector<uint8_t> newer = oldFile(25, 0);
  newer[5] = 31;
  const Case cases[] = {
      {"empty", {}},
      {"bad magic", {'t', 'q', '6', '6', '7', 28, 0, 0, 0}},
      {"huge material count", hugeMaterials.bytes},
      {"huge vertex count", hugeVertices},
      {"unknown newer version", newer},
  };
  for (const Case& c : cases) {
    ZCorvane engine;
    ZFileZMF reader(&engine);
    EXPECT_EQ(reader.loadBytes(c.bytes, nullptr, false), nullptr) << c.what;
    EXPECT_LT(engine.materials.size(), 2u) << c.what;
  }
  ASSERT_FALSE(desktop.messages.empty());
  EXPECT_EQ(desktop.messages[0].text, "This is not a valid ZMF file\n");
  EXPECT_EQ(desktop.messages[0].caption, "Corvane 3D Engine");
}

TEST_F(ZFileZMFTest, SaveRefusesMeshesBeyondSixteenBitIndicesAndKeepsTheOldFile) {
  folder.write("keep.zmf", "previous");
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  ZGeometry* big = engine.getNewGeometry();
  big->name = "big";
  big->vertices.resize(ZFileZMF::kMaxSavedVertices + 1);
  big->setMaterial(engine.getNewMaterial());
  root->addGeometry(big);
  ZFileZMF writer(&engine);
  EXPECT_FALSE(writer.save("keep.zmf", root));
  EXPECT_EQ(readFileText("keep.zmf"), "previous");
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_NE(desktop.messages[0].text.find("big"), std::string::npos);
  // An unwritable target fails too.
  EXPECT_FALSE(writer.save("no/such/folder/x.zmf", engine.getNewFrame()));
}

TEST_F(ZFileZMFTest, GeometryWithoutMaterialIsLoggedAndWrittenWithoutOne) {
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  ZGeometry* g = engine.getNewGeometry();
  g->name = "bare";
  root->addGeometry(g);
  ZFileZMF writer(&engine);
  ASSERT_TRUE(writer.save("bare.zmf", root));
  EXPECT_NE(log.text().find("**** ERROR geometry bare has null material ****\n"),
            std::string::npos);
  ZFileZMF reader(&engine);
  ZFrame* back = reader.load("bare.zmf", nullptr, false);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->geometries[0]->material, nullptr);
}

}  // namespace
