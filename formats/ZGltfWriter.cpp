#include "formats/ZGltfWriter.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/MirrorZ.h"
#include "formats/StageFields.h"
#include "formats/ZExportFolder.h"
#include "formats/ZModelFile.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <nlohmann/json.hpp>
#include <tiny_gltf.h>

namespace fs = std::filesystem;
using tinygltf::Value;

namespace {

// glTF strings are UTF-8: a name that is not (an old file's Latin-1) is read as Latin-1.
std::string utf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return text;
  } catch (const nlohmann::json::exception&) {
  }
  std::string out;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      out += byte;
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  zlog("glTF export: name %s is not UTF-8, written as Latin-1\n", out.c_str());
  return out;
}

// A relative URI: every byte but the unreserved ones and "/" percent-encoded.
std::string uriOf(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const char byte : path) {
    const auto c = static_cast<unsigned char>(byte);
    if (std::isalnum(c) != 0 || std::strchr("-._~/", byte) != nullptr) {
      out += byte;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

Value numbers(std::initializer_list<double> values) {
  Value::Array array;
  for (const double v : values) array.emplace_back(v);
  return Value(std::move(array));
}

Value colour(const D3DCOLORVALUE& c) { return numbers({c.r, c.g, c.b, c.a}); }

Value vector(const ZVector& v) { return numbers({v.x, v.y, v.z}); }

Value variables(const std::vector<std::pair<std::string, float>>& list) {
  Value::Array array;
  for (const auto& [name, value] : list) {
    array.push_back(Value(Value::Array{Value(utf8(name)), Value(double(value))}));
  }
  return Value(std::move(array));
}

Value extras(Value::Object fields) {
  Value::Object wrapper;
  wrapper["zmf"] = Value(std::move(fields));
  return Value(std::move(wrapper));
}

class GltfWriter {
 public:
  GltfWriter(const LoadedModel& source, const SGltfExportOptions& settings, ZExportFolder& into,
             std::string stem)
      : model(source), options(settings), folder(into), baseName(std::move(stem)) {}

  bool write(const std::string& fileName) {
    out.asset.version = "2.0";
    out.asset.generator = "ZMF Edit";
    out.buffers.emplace_back();
    if (!options.binary) out.buffers[0].uri = baseName + ".bin";
    out.buffers[0].data.reserve(bufferBytes(*model.root));
    tinygltf::Scene scene;
    scene.nodes.push_back(frameNode(*model.root, true));
    scene.extras = sceneExtras();
    out.scenes.push_back(std::move(scene));
    out.defaultScene = 0;
    if (!texturesCopied) return false;
    try {
      tinygltf::TinyGLTF writer;
      if (!writer.WriteGltfSceneToFile(&out, folder.pathOf(fileName), false, false, !options.binary,
                                       options.binary)) {
        zlog("glTF export: cannot write %s\n", fileName.c_str());
        return false;
      }
    } catch (const std::exception& e) {
      zlog("glTF export: %s\n", e.what());
      return false;
    }
    return true;
  }

 private:
  Value sceneExtras() const {
    Value::Object fields;
    fields["sunPosition"] = vector(model.sunPosition);
    fields["ambientLight"] = vector(model.ambientLight);
    fields["sunDiffuse"] = vector(model.sunDiffuse);
    Value::Array cameras;
    for (const ZCamera* c : model.cameras) {
      Value::Object camera;
      camera["name"] = Value(utf8(c->name));
      camera["position"] = vector(c->position);
      camera["heading"] = vector(c->heading);
      camera["up"] = vector(c->up);
      camera["fov"] = Value(double(c->fov));
      camera["near"] = Value(double(c->nearPlane));
      camera["far"] = Value(double(c->farPlane));
      camera["tag"] = Value(int(c->tag));
      camera["fixed"] = Value(c->fixed);
      camera["minFov"] = Value(double(c->minFov));
      camera["maxFov"] = Value(double(c->maxFov));
      camera["maxDist"] = Value(double(c->maxDist));
      cameras.emplace_back(std::move(camera));
    }
    fields["cameras"] = Value(std::move(cameras));
    return extras(std::move(fields));
  }

  // The bytes the sub-tree's meshes take in the buffer (with each view's alignment), so that the
  // buffer is allocated once.
  static size_t bufferBytes(const ZFrame& frame) {
    constexpr size_t kVertexFloats = 3 + 3 + 2 + 2 + 4 + 3;  // the attributes mesh() writes
    constexpr size_t kViews = 7;
    size_t bytes = 0;
    for (const ZGeometry* g : frame.geometries) {
      bytes += g->vertices.size() * kVertexFloats * sizeof(float) +
               g->faces.size() * 3 * sizeof(uint32_t) + kViews * 3;
    }
    for (const ZFrame* child : frame.children) bytes += bufferBytes(*child);
    return bytes;
  }

  // The node of frame and below it those of its geometries, then of its children.
  int frameNode(const ZFrame& frame, bool root) {
    const int index = int(out.nodes.size());
    out.nodes.emplace_back();
    tinygltf::Node node;
    node.name = utf8(frame.name);
    // The engine's row-vector matrix by rows is glTF's column-vector matrix by columns, in the
    // mirrored axes: S M S with S = diag(1, 1, -1).
    // Written even when it is the identity: the mirror of a zero is a negative zero, which the
    // import turns back exactly.
    const ZMatrix m = mirroredZ(frame.matrix);
    node.matrix.assign(std::begin(m.m), std::end(m.m));
    Value::Object fields;
    if (root) fields["root"] = Value(true);
    if (frame.moveable) fields["moveable"] = Value(true);
    if (!fields.empty()) node.extras = extras(std::move(fields));
    for (const ZGeometry* g : frame.geometries) node.children.push_back(geometryNode(*g));
    for (const ZFrame* child : frame.children) node.children.push_back(frameNode(*child, false));
    out.nodes[size_t(index)] = std::move(node);
    return index;
  }

  int geometryNode(const ZGeometry& g) {
    tinygltf::Node node;
    node.name = utf8(g.name);
    node.extras = extras({{"geometry", Value(true)}});
    if (!g.vertices.empty()) node.mesh = mesh(g);
    out.nodes.push_back(std::move(node));
    return int(out.nodes.size() - 1);
  }

  int mesh(const ZGeometry& g) {
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    const size_t count = g.vertices.size();
    std::vector<float> position(count * 3), normal(count * 3), uv0(count * 2), uv1(count * 2),
        tangent(count * 4), binormal(count * 3);
    float low[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                    std::numeric_limits<float>::max()};
    float high[3] = {-low[0], -low[1], -low[2]};
    for (size_t i = 0; i < count; ++i) {
      const SVertex& v = g.vertices[i];
      const float p[3] = {v.position.x, v.position.y, -v.position.z};
      for (int k = 0; k < 3; ++k) {
        position[i * 3 + size_t(k)] = p[k];
        low[k] = std::min(low[k], p[k]);
        high[k] = std::max(high[k], p[k]);
      }
      mirrored(v.normal, &normal[i * 3]);
      mirrored(v.binormal, &binormal[i * 3]);
      mirrored(v.tangent, &tangent[i * 4]);
      tangent[i * 4 + 3] = 1.0f;
      std::memcpy(&uv0[i * 2], v.t0, sizeof v.t0);
      std::memcpy(&uv1[i * 2], v.t1, sizeof v.t1);
    }
    primitive.attributes["POSITION"] = accessor(position, TINYGLTF_TYPE_VEC3, low, high);
    primitive.attributes["NORMAL"] = accessor(normal, TINYGLTF_TYPE_VEC3);
    primitive.attributes["TEXCOORD_0"] = accessor(uv0, TINYGLTF_TYPE_VEC2);
    primitive.attributes["TEXCOORD_1"] = accessor(uv1, TINYGLTF_TYPE_VEC2);
    primitive.attributes["TANGENT"] = accessor(tangent, TINYGLTF_TYPE_VEC4);
    primitive.attributes["_BINORMAL"] = accessor(binormal, TINYGLTF_TYPE_VEC3);
    // The mirror turns the winding round: a, c, b. A face outside the vertex list is not written.
    std::vector<uint32_t> corners;
    corners.reserve(g.faces.size() * 3);
    for (const SFace& f : g.faces) {
      if (!g.isFaceInRange(f)) continue;
      corners.insert(corners.end(), {uint32_t(f.a), uint32_t(f.c), uint32_t(f.b)});
    }
    Value::Object fields;
    if (corners.empty()) {
      fields["noFaces"] = Value(true);
    } else {
      primitive.indices = indexAccessor(corners);
    }
    if (g.material != nullptr) {
      primitive.material = material(*g.material);
    } else {
      fields["noMaterial"] = Value(true);
    }
    std::vector<std::pair<std::string, float>> vars;
    for (const SGeometryVar& v : g.vars) vars.emplace_back(v.name, v.value);
    fields["vars"] = variables(vars);
    fields["transparent"] = Value(g.transparent);
    fields["castShadow"] = Value(g.castShadow);
    tinygltf::Mesh mesh;
    mesh.name = utf8(g.name);
    mesh.primitives.push_back(std::move(primitive));
    mesh.extras = extras(std::move(fields));
    out.meshes.push_back(std::move(mesh));
    return int(out.meshes.size() - 1);
  }

  static void mirrored(const ZVector& v, float* into) {
    into[0] = v.x;
    into[1] = v.y;
    into[2] = -v.z;
  }

  // The bytes at the buffer's end (4-byte aligned) as a view; its index.
  int view(const void* data, size_t size, int target) {
    std::vector<unsigned char>& bytes = out.buffers[0].data;
    bytes.resize((bytes.size() + 3) & ~size_t(3));
    tinygltf::BufferView v;
    v.buffer = 0;
    v.byteOffset = bytes.size();
    v.byteLength = size;
    v.target = target;
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes.insert(bytes.end(), begin, begin + size);
    out.bufferViews.push_back(v);
    return int(out.bufferViews.size() - 1);
  }

  int accessor(const std::vector<float>& values, int type, const float* low = nullptr,
               const float* high = nullptr) {
    const int components = tinygltf::GetNumComponentsInType(uint32_t(type));
    tinygltf::Accessor a;
    a.bufferView = view(values.data(), values.size() * sizeof(float), TINYGLTF_TARGET_ARRAY_BUFFER);
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.type = type;
    a.count = values.size() / size_t(components);
    if (low != nullptr) {
      a.minValues.assign(low, low + components);
      a.maxValues.assign(high, high + components);
    }
    out.accessors.push_back(std::move(a));
    return int(out.accessors.size() - 1);
  }

  int indexAccessor(const std::vector<uint32_t>& corners) {
    tinygltf::Accessor a;
    a.bufferView = view(corners.data(), corners.size() * sizeof(uint32_t),
                        TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    a.type = TINYGLTF_TYPE_SCALAR;
    a.count = corners.size();
    out.accessors.push_back(std::move(a));
    return int(out.accessors.size() - 1);
  }

  int material(const ZMaterial& m) {
    const auto [known, added] = materials.try_emplace(&m, int(out.materials.size()));
    if (!added) return known->second;
    tinygltf::Material made;
    made.name = "material" + std::to_string(known->second);
    const D3DMATERIAL9& c = m.d3dMaterial;
    made.pbrMetallicRoughness.baseColorFactor = {c.Diffuse.r, c.Diffuse.g, c.Diffuse.b,
                                                 c.Diffuse.a};
    made.pbrMetallicRoughness.metallicFactor = 0;
    made.pbrMetallicRoughness.roughnessFactor = 1;
    made.doubleSided = m.doubleFace;
    if (m.alphaTest) {
      made.alphaMode = "MASK";
      made.alphaCutoff = double(m.alphaRef) / 255.0;
    } else if (m.alphaBlend) {
      made.alphaMode = "BLEND";
    }
    if (const ZTexture* picture = m.stage(0).texture) {
      made.pbrMetallicRoughness.baseColorTexture.index = texture(*picture);
    }
    Value::Object fields;
    fields["diffuse"] = colour(c.Diffuse);
    fields["ambient"] = colour(c.Ambient);
    fields["specular"] = colour(c.Specular);
    fields["emissive"] = colour(c.Emissive);
    fields["power"] = Value(double(c.Power));
    fields["doubleFace"] = Value(m.doubleFace);
    fields["alphaBlend"] = Value(m.alphaBlend);
    fields["alphaDestBlend"] = Value(int(m.alphaDestBlend));
    fields["alphaRef"] = Value(int(m.alphaRef));
    fields["alphaSrcBlend"] = Value(int(m.alphaSrcBlend));
    fields["alphaTest"] = Value(m.alphaTest);
    fields["forceNoDepthWrite"] = Value(m.forceNoDepthWrite);
    fields["useZBuffer"] = Value(m.useZBuffer);
    fields["textureFactor"] = Value(double(m.textureFactor));
    fields["effect"] = Value(utf8(m.effectName));
    std::vector<std::pair<std::string, float>> vars;
    for (const auto& v : m.effectVars) vars.emplace_back(v->name, v->value);
    fields["vars"] = variables(vars);
    Value::Array stages;
    for (int i = 0; i < 8; ++i) {
      const ZMaterialStage& s = m.stage(i);
      if (s.texture == nullptr) continue;
      Value::Object stage;
      stage["index"] = Value(i);
      stage["active"] = Value(s.active);
      for (const auto& [name, field] : kStageFields) stage[name] = Value(int(s.*field));
      stage["texture"] = Value(utf8(s.texture->name));
      stages.emplace_back(std::move(stage));
    }
    fields["stages"] = Value(std::move(stages));
    made.extras = extras(std::move(fields));
    out.materials.push_back(std::move(made));
    return known->second;
  }

  // The picture's texture, one per file; the file referenced from the output's folder, or
  // copied beside it.
  int texture(const ZTexture& picture) {
    const auto [known, added] = textures.try_emplace(picture.name, int(out.textures.size()));
    if (!added) return known->second;
    const std::string uri = folder.pictureReference(picture.name, options.copyTextures);
    if (uri.empty()) texturesCopied = false;
    tinygltf::Image image;
    image.uri = uriOf(utf8(uri));
    out.images.push_back(std::move(image));
    tinygltf::Texture made;
    made.source = int(out.images.size() - 1);
    out.textures.push_back(made);
    return known->second;
  }

  const LoadedModel& model;
  const SGltfExportOptions& options;
  ZExportFolder& folder;
  std::string baseName;
  tinygltf::Model out;
  std::unordered_map<const ZMaterial*, int> materials;
  std::unordered_map<std::string, int> textures;
  bool texturesCopied = true;
};

}  // namespace

bool writeGLTF(const std::string& path, const LoadedModel& model,
               const SGltfExportOptions& options) {
  if (model.root == nullptr) return false;
  ZExportFolder folder(path);
  if (!folder.isOpen()) return false;
  const std::string fileName(fileNameOf(path));
  const size_t dot = fileName.rfind('.');
  GltfWriter writer(model, options, folder, fileName.substr(0, dot));
  if (!writer.write(fileName) || !folder.commit()) {
    zlog("glTF export: %s not written\n", path.c_str());
    return false;
  }
  return true;
}
