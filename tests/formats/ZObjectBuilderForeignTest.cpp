#include "formats/ZObjectBuilder.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/AssimpSummary.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The small scene both hand-written files hold, in the file's right-handed axes: a node "body"
// at kBodyAt with one triangle, counter-clockwise seen from +z with normals +z; below it a node
// "eye" kEyeAt further on, pitched by kPitchDeg about X, holding a camera.
constexpr float kCorners[3][3] = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
constexpr float kU[3] = {0.0f, 1.0f, 0.0f};
constexpr float kVDown[3] = {0.25f, 0.5f, 0.75f};  // v measured down the picture
constexpr float kBodyAt[3] = {1, 2, 3};
constexpr float kEyeAt[3] = {0, 0, 5};
constexpr double kPitchDeg = 30;
constexpr double kFovDeg = 40;
constexpr double kAspect = 1.5;
constexpr double kNear = 0.5;
constexpr double kFar = 300;
constexpr float kDiffuse[3] = {0.2f, 0.4f, 0.6f};

std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string base64(const std::string& bytes) {
  static const char* const kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t chunk = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) chunk |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) chunk |= uint32_t(uint8_t(bytes[i + 2]));
    out += kDigits[(chunk >> 18) & 63];
    out += kDigits[(chunk >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(chunk >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[chunk & 63] : '=';
  }
  return out;
}

// What a glTF test file changes in the scene above (the defaults write it valid).
struct GltfKnobs {
  uint64_t positionCount = 3;
  size_t positionStride = 0;  // 0: packed
  size_t positionViewOffset = 0;
  std::vector<uint16_t> indices{0, 1, 2};
  bool eyeAdoptsBody = false;  // the camera node lists its parent as a child: a loop
};

// The scene as glTF JSON and its buffer: positions (36 bytes), normals (36), texture
// coordinates (24), then the 16-bit indices. The buffer is a data: URI, or with `glb` the
// binary chunk of a .glb.
std::string gltfJson(const GltfKnobs& k, bool glb, std::string& bin) {
  bin.clear();
  auto put = [&bin](auto value) {
    bin.append(reinterpret_cast<const char*>(&value), sizeof value);
  };
  for (const auto& corner : kCorners) {
    for (float c : corner) put(c);
  }
  for (int i = 0; i < 3; ++i) put(0.0f), put(0.0f), put(1.0f);
  for (int i = 0; i < 3; ++i) put(kU[i]), put(kVDown[i]);
  for (uint16_t index : k.indices) put(index);
  const size_t indexBytes = bin.size() - 96;
  while (bin.size() % 4 != 0) bin += '\0';
  const double half = kPitchDeg * kPi / 360;
  const std::string stride =
      k.positionStride != 0 ? ", \"byteStride\": " + std::to_string(k.positionStride) : "";
  return R"({
  "asset": {"version": "2.0"},
  "scene": 0,
  "scenes": [{"nodes": [0]}],
  "nodes": [
    {"name": "body", "mesh": 0, "children": [1], "translation": [)" +
         num(kBodyAt[0]) + "," + num(kBodyAt[1]) + "," + num(kBodyAt[2]) + R"(]},
    {"name": "eye", "camera": 0, "translation": [)" +
         num(kEyeAt[0]) + "," + num(kEyeAt[1]) + "," + num(kEyeAt[2]) + R"(],
     "rotation": [)" +
         num(std::sin(half)) + ", 0, 0, " + num(std::cos(half)) + "]" +
         (k.eyeAdoptsBody ? ", \"children\": [0]" : "") + R"(}
  ],
  "cameras": [{"type": "perspective", "perspective": {"yfov": )" +
         num(kFovDeg * kPi / 180) + ", \"aspectRatio\": " + num(kAspect) +
         ", \"znear\": " + num(kNear) + ", \"zfar\": " + num(kFar) + R"(}}],
  "meshes": [{"name": "tri", "primitives": [
    {"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2}, "indices": 3, "material": 0}]}],
  "materials": [{"name": "paint", "pbrMetallicRoughness": {"baseColorFactor": [)" +
         num(kDiffuse[0]) + "," + num(kDiffuse[1]) + "," + num(kDiffuse[2]) + R"(, 1],
    "baseColorTexture": {"index": 0}}}],
  "textures": [{"source": 0}],
  "images": [{"uri": "bark.png"}],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": )" +
         std::to_string(k.positionCount) +
         R"(, "type": "VEC3"},
    {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3"},
    {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC2"},
    {"bufferView": 3, "componentType": 5123, "count": )" +
         std::to_string(k.indices.size()) +
         R"(, "type": "SCALAR"}
  ],
  "bufferViews": [
    {"buffer": 0, "byteOffset": )" +
         std::to_string(k.positionViewOffset) + R"(, "byteLength": 36)" + stride + R"(},
    {"buffer": 0, "byteOffset": 36, "byteLength": 36},
    {"buffer": 0, "byteOffset": 72, "byteLength": 24},
    {"buffer": 0, "byteOffset": 96, "byteLength": )" +
         std::to_string(indexBytes) + R"(}
  ],
  "buffers": [{"byteLength": )" +
         std::to_string(bin.size()) +
         (glb ? "" : ", \"uri\": \"data:application/octet-stream;base64," + base64(bin) + "\"") +
         R"(}]
})";
}

std::string tinyGltf(const GltfKnobs& k) {
  std::string bin;
  return gltfJson(k, false, bin);
}

// The .glb container: a 12-byte header, then the JSON and BIN chunks, each 4-byte aligned.
std::string tinyGlb() {
  std::string bin;
  std::string json = gltfJson({}, true, bin);
  while (json.size() % 4 != 0) json += ' ';
  std::string out;
  auto put = [&out](uint32_t value) { out.append(reinterpret_cast<const char*>(&value), 4); };
  out += "glTF";
  put(2);
  put(uint32_t(12 + 8 + json.size() + 8 + bin.size()));
  put(uint32_t(json.size()));
  out += "JSON" + json;
  put(uint32_t(bin.size()));
  out += std::string("BIN\0", 4) + bin;
  return out;
}

// The same scene as COLLADA, read through assimp; its texture v runs up the picture.
std::string tinyDae() {
  std::string positions, normals, uvs;
  for (int i = 0; i < 3; ++i) {
    positions += num(kCorners[i][0]) + " " + num(kCorners[i][1]) + " " + num(kCorners[i][2]) + " ";
    normals += "0 0 1 ";
    uvs += num(kU[i]) + " " + num(1.0f - kVDown[i]) + " ";
  }
  auto source = [](const char* id, const std::string& values, int count, const char* params) {
    const int stride = int(std::string(params).size());
    std::string fields;
    for (const char* p = params; *p != '\0'; ++p)
      fields += std::string("<param name=\"") + *p + "\" type=\"float\"/>";
    return std::string("<source id=\"") + id + "\"><float_array id=\"" + id + "-a\" count=\"" +
           std::to_string(count * stride) + "\">" + values + "</float_array><technique_common>" +
           "<accessor source=\"#" + id + "-a\" count=\"" + std::to_string(count) + "\" stride=\"" +
           std::to_string(stride) + "\">" + fields + "</accessor></technique_common></source>";
  };
  return R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
 <asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
 <library_cameras><camera id="lens" name="lens"><optics><technique_common><perspective>
  <yfov>)" +
         num(kFovDeg) + "</yfov><aspect_ratio>" + num(kAspect) + "</aspect_ratio><znear>" +
         num(kNear) + "</znear><zfar>" + num(kFar) + R"(</zfar>
 </perspective></technique_common></optics></camera></library_cameras>
 <library_effects><effect id="paint-fx"><profile_COMMON><technique sid="common"><phong>
  <diffuse><color>)" +
         num(kDiffuse[0]) + " " + num(kDiffuse[1]) + " " + num(kDiffuse[2]) +
         R"( 1</color></diffuse>
 </phong></technique></profile_COMMON></effect></library_effects>
 <library_materials><material id="paint" name="paint">
  <instance_effect url="#paint-fx"/>
 </material></library_materials>
 <library_geometries><geometry id="tri" name="tri"><mesh>
  )" + source("pos", positions, 3, "XYZ") +
         source("nrm", normals, 3, "XYZ") + source("uv", uvs, 3, "ST") + R"(
  <vertices id="vtx"><input semantic="POSITION" source="#pos"/></vertices>
  <triangles material="m" count="1">
   <input semantic="VERTEX" source="#vtx" offset="0"/>
   <input semantic="NORMAL" source="#nrm" offset="0"/>
   <input semantic="TEXCOORD" source="#uv" offset="0" set="0"/>
   <p>0 1 2</p>
  </triangles>
 </mesh></geometry></library_geometries>
 <library_visual_scenes><visual_scene id="scene" name="scene">
  <node id="body" name="body">
   <translate>)" +
         num(kBodyAt[0]) + " " + num(kBodyAt[1]) + " " + num(kBodyAt[2]) + R"(</translate>
   <instance_geometry url="#tri"><bind_material><technique_common>
    <instance_material symbol="m" target="#paint"/>
   </technique_common></bind_material></instance_geometry>
   <node id="eye" name="eye">
    <translate>)" +
         num(kEyeAt[0]) + " " + num(kEyeAt[1]) + " " + num(kEyeAt[2]) + R"(</translate>
    <rotate>1 0 0 )" +
         num(kPitchDeg) + R"(</rotate>
    <instance_camera url="#lens"/>
   </node>
  </node>
 </visual_scene></library_visual_scenes>
 <scene><instance_visual_scene url="#scene"/></scene>
</COLLADA>
)";
}

using Loader = bool (ZObjectBuilder::*)(const std::string&);

class ZObjectBuilderForeignTest : public ::testing::Test {
 protected:
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
  ZObjectBuilder builder{&engine};
};

void expectVector(const ZVector& actual, double x, double y, double z) {
  EXPECT_NEAR(actual.x, x, 1e-5);
  EXPECT_NEAR(actual.y, y, 1e-5);
  EXPECT_NEAR(actual.z, z, 1e-5);
}

// Both importers turn the right-handed file into the engine's left-handed axes the same way:
// z negated on positions, normals, node offsets and camera directions, winding reversed so the
// engine's face normal agrees with the file's normals, v measured down the picture.
TEST_F(ZObjectBuilderForeignTest, SmallSceneArrivesMirroredInEngineAxes) {
  struct Case {
    const char* file;
    std::string text;
    Loader load;
    bool textured;  // the file names bark.png as its diffuse picture
  };
  const Case cases[] = {
      {"scene.gltf", tinyGltf({}), &ZObjectBuilder::loadGLTF, true},
      {"scene.glb", tinyGlb(), &ZObjectBuilder::loadGLTF, true},
      {"scene.dae", tinyDae(), &ZObjectBuilder::loadAssimp, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempFolder folder;
    folder.write("bark.png", "picture bytes");
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    ASSERT_TRUE((local.*c.load)(folder.write(c.file, c.text))) << log.text();

    const auto body = std::find_if(local.frames.begin(), local.frames.end(),
                                   [](const ZFrame* f) { return f->name == "body"; });
    ASSERT_NE(body, local.frames.end());
    expectVector((*body)->matrix.getPosition(), kBodyAt[0], kBodyAt[1], -kBodyAt[2]);
    ASSERT_EQ((*body)->geometries.size(), 1u);
    const ZGeometry* g = (*body)->geometries[0];
    ASSERT_EQ(g->faces.size(), 1u);
    ASSERT_EQ(g->vertices.size(), 3u);
    const SFace& face = g->faces[0];
    ASSERT_TRUE(g->isFaceInRange(face));
    // The file's face looks along +z; mirrored, it looks along -z.
    EXPECT_LT(face.normal.z, -0.5f);
    EXPECT_NEAR(face.normal.x, 0.0f, 1e-6);
    EXPECT_NEAR(face.normal.y, 0.0f, 1e-6);
    for (const SVertex& v : g->vertices) {
      expectVector(v.normal, 0, 0, -1);
      int corner = -1;
      for (int k = 0; k < 3; ++k) {
        if (v.position.x == kCorners[k][0] && v.position.y == kCorners[k][1] &&
            v.position.z == -kCorners[k][2]) {
          corner = k;
        }
      }
      ASSERT_GE(corner, 0) << v.position.x << " " << v.position.y << " " << v.position.z;
      EXPECT_NEAR(v.t0[0], kU[corner], 1e-6);
      EXPECT_NEAR(v.t0[1] - std::floor(v.t0[1]), kVDown[corner], 1e-6);  // wrapped: -0.75 is 0.25
    }

    ASSERT_NE(g->material, nullptr);
    EXPECT_NEAR(g->material->d3dMaterial.Diffuse.r, kDiffuse[0], 1e-6);
    EXPECT_NEAR(g->material->d3dMaterial.Diffuse.g, kDiffuse[1], 1e-6);
    EXPECT_NEAR(g->material->d3dMaterial.Diffuse.b, kDiffuse[2], 1e-6);
    if (c.textured) {
      ASSERT_NE(g->material->stage(0).texture, nullptr);
      EXPECT_EQ(g->material->stage(0).texture->name, folder.file("bark.png"));
    }

    // The camera looks along its node's -Z (the file's axes), pitched up about X; up is its +Y.
    ASSERT_EQ(local.cameras.size(), 1u);
    const ZCamera* camera = local.cameras[0];
    EXPECT_EQ(camera->name, "eye");
    const double pitch = kPitchDeg * kPi / 180;
    expectVector(camera->position, kBodyAt[0] + kEyeAt[0], kBodyAt[1] + kEyeAt[1],
                 -(kBodyAt[2] + kEyeAt[2]));
    expectVector(camera->heading, 0, std::sin(pitch), std::cos(pitch));
    expectVector(camera->up, 0, std::cos(pitch), -std::sin(pitch));
    EXPECT_NEAR(camera->fov, kFovDeg, 1e-3);
    EXPECT_NEAR(camera->aspect, kAspect, 1e-5);
    EXPECT_NEAR(camera->nearPlane, kNear, 1e-5);
    EXPECT_NEAR(camera->farPlane, kFar, 1e-3);
  }
}

// Files whose accessors, views or indices point outside what they hold are refused whole, with
// the reason logged and nothing built.
TEST_F(ZObjectBuilderForeignTest, HostileGltfIsRefusedWithoutReadingOutsideItsBuffer) {
  struct Case {
    const char* name;
    GltfKnobs knobs;
    const char* reason;
  };
  auto knobs = [](auto change) {
    GltfKnobs k;
    change(k);
    return k;
  };
  const Case cases[] = {
      {"count past the view", knobs([](GltfKnobs& k) { k.positionCount = 4; }),
       "accessor 0 runs past its buffer view"},
      // 2^62 elements of 12 bytes: the byte count wraps to 0 in 64 bits.
      {"count whose size wraps", knobs([](GltfKnobs& k) { k.positionCount = uint64_t{1} << 62; }),
       "accessor 0 runs past its buffer view"},
      {"stride past the view", knobs([](GltfKnobs& k) { k.positionStride = 24; }),
       "accessor 0 runs past its buffer view"},
      {"view past the buffer", knobs([](GltfKnobs& k) { k.positionViewOffset = 80; }),
       "buffer view 0 runs past its buffer"},
      {"index past the vertices", knobs([](GltfKnobs& k) {
         k.indices = {0, 1, 3};
       }),
       "index 3 is past the 3 vertices"},
      {"node loop", knobs([](GltfKnobs& k) { k.eyeAdoptsBody = true; }), "node 0 is reached twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    CaptureLog caseLog;
    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    EXPECT_FALSE(local.loadGLTF(folder.write("bad.gltf", tinyGltf(c.knobs))));
    EXPECT_NE(caseLog.text().find(c.reason), std::string::npos) << caseLog.text();
    EXPECT_TRUE(local.frames.empty());
    EXPECT_TRUE(local.geometries.empty());
    EXPECT_TRUE(local.cameras.empty());
  }
  EXPECT_FALSE(builder.loadGLTF("/nonexistent/scene.gltf"));
  EXPECT_FALSE(builder.loadAssimp("/nonexistent/scene.fbx"));
}

// The sample files import with the triangles assimp reads, and their world box is assimp's with
// z mirrored (the summary mirrors it the same way). The diffuse picture keeps the name the file
// gives it: beside the model when it is there, else in the model's texture folder.
TEST_F(ZObjectBuilderForeignTest, SampleFilesMatchAssimp) {
  struct Case {
    const char* file;
    Loader load;
    const char* texture;  // expected texture path below the data folder; null: not checked
  };
  const Case cases[] = {
      {"gltf2/BoxTextured.gltf", &ZObjectBuilder::loadGLTF, "gltf2/CesiumLogoFlat.png"},
      {"fbx/box.fbx", &ZObjectBuilder::loadAssimp, nullptr},
      {"fbx/cubes_with_names.fbx", &ZObjectBuilder::loadAssimp, nullptr},
      {"fbx/spider.fbx", &ZObjectBuilder::loadAssimp, nullptr},
      {"dae/duck.dae", &ZObjectBuilder::loadAssimp, "dae/texture/duckCM.tga"},
      {"3ds/fels.3ds", &ZObjectBuilder::loadAssimp, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = std::string(SHARED_TESTDATA) + "/" + c.file;
    const AssimpSummary peer = summariseWithAssimp(path, true);
    ASSERT_TRUE(peer.read) << peer.error;

    ZCorvane localEngine;
    ZObjectBuilder local(&localEngine);
    ASSERT_TRUE((local.*c.load)(path));
    size_t triangles = 0;
    ZVector low(1e30f, 1e30f, 1e30f);
    ZVector high(-1e30f, -1e30f, -1e30f);
    for (const ZFrame* frame : local.frames) {
      const ZMatrix world = frame->getWorldMatrix();
      for (const ZGeometry* g : frame->geometries) {
        triangles += g->faces.size();
        for (const SFace& face : g->faces) {
          ASSERT_TRUE(g->isFaceInRange(face));
          for (int index : {face.a, face.b, face.c}) {
            const ZVector p = world.transformPoint(g->vertices[size_t(index)].position, false);
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
          }
        }
      }
    }
    EXPECT_EQ(triangles, peer.triangles);
    ZVector peerLow = peer.low;
    ZVector peerHigh = peer.high;
    const float tolerance = 1e-3f * std::max(1.0f, peerHigh.x - peerLow.x + peerHigh.y - peerLow.y +
                                                       peerHigh.z - peerLow.z);
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_NEAR(low[axis], peerLow[axis], tolerance);
      EXPECT_NEAR(high[axis], peerHigh[axis], tolerance);
    }
    if (c.texture != nullptr) {
      const std::string expected = std::string(SHARED_TESTDATA) + "/" + c.texture;
      EXPECT_TRUE(std::any_of(local.materials.begin(), local.materials.end(),
                              [&](const ZMaterial* m) {
                                const ZTexture* t = m->stage(0).texture;
                                return t != nullptr && t->name == expected;
                              }))
          << expected;
    }
  }
}

}  // namespace
