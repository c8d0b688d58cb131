// glTF 2.0 import through tinygltf. The file is parsed whole (pictures are not decoded: an
// external image's file name is all a material keeps), then every node, mesh and accessor the
// scene reaches is checked and read into plain arrays before any engine object is made, so a
// file that fails a check imports nothing.
//
// Axes: glTF is right-handed, the engine left-handed with the same up axis. Positions and normals
// get z negated, triangles their winding reversed, node matrices are conjugated with
// S = diag(1, 1, -1). A glTF camera looks along its node's -Z, which S turns into the frame's
// heading row. glTF's texture v already runs down the picture, as the engine's does.
#include "formats/MirrorZ.h"
#include "formats/StageFields.h"
#include "formats/ZObjectBuilder.h"
#include "formats/import_local.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/ZMatrix.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

namespace {

// Node trees deeper than this are refused, leaving room for the levels the caller hangs the
// import under (frame operations recurse once per level).
constexpr int kMaxNodeDepth = ZFrame::kMaxDepth - 8;
constexpr double kPi = 3.14159265358979323846;

// External buffers are read as the project reads every file, regular files only: the library's
// own reader took a URI naming a folder for a file of the folder's nonsensical size.
bool readBufferFile(std::vector<unsigned char>* out, std::string* error, const std::string& path,
                    void*) {
  if (!readWholeFile(path, *out) || out->empty()) {
    if (error != nullptr) *error += "cannot read " + path + "\n";
    return false;
  }
  return true;
}

// Embedded pictures are parsed by tinygltf but never decoded.
bool skipImage(tinygltf::Image*, const int, std::string*, std::string*, int, int,
               const unsigned char*, int, void*) {
  return true;
}

size_t componentSize(int type) {
  switch (type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
      return 2;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
      return 4;
    default:
      return 0;  // not an accessor component type of glTF 2.0
  }
}

// One component at p (little-endian, as glTF stores it); normalized integers map to 0..1 or
// -1..1.
float readComponent(const uint8_t* p, int type, bool normalized) {
  switch (type) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT: {
      float f;
      std::memcpy(&f, p, 4);
      return f;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      return normalized ? float(*p) / 255.0f : float(*p);
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
      int8_t v;
      std::memcpy(&v, p, 1);
      return normalized ? std::max(float(v) / 127.0f, -1.0f) : float(v);
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return normalized ? float(v) / 65535.0f : float(v);
    }
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return normalized ? std::max(float(v) / 32767.0f, -1.0f) : float(v);
    }
    default: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return float(v);
    }
  }
}

// The bytes of one accessor, checked against its view and buffer: element i starts at
// data + i * stride and holds `components` values of componentType.
struct AccessorData {
  const uint8_t* data = nullptr;
  size_t count = 0;
  size_t stride = 0;
  int componentType = 0;
  int components = 0;
  bool normalized = false;

  float value(size_t element, int component) const {
    return readComponent(data + element * stride + size_t(component) * componentSize(componentType),
                         componentType, normalized);
  }
};

// One triangle primitive read from the file, already in engine axes.
struct Primitive {
  int material = -1;  // -1: the import's default material
  std::vector<ZVector> positions;
  std::vector<ZVector> normals;           // empty: the file gives none
  std::vector<std::array<float, 2>> uvs;  // empty: none
  std::vector<std::array<float, 2>> uvs1;
  std::vector<ZVector> tangents;
  std::vector<ZVector> binormals;
  std::vector<uint32_t> triangles;  // corners, winding already reversed
  const tinygltf::Value* zmf = nullptr;  // the mesh's extras from this program's export
};

// The "zmf" object of extras this program's export wrote; null for any other file.
const tinygltf::Value* zmfExtras(const tinygltf::Value& extras) {
  if (!extras.IsObject() || !extras.Has("zmf")) return nullptr;
  const tinygltf::Value& zmf = extras.Get("zmf");
  return zmf.IsObject() ? &zmf : nullptr;
}

bool flag(const tinygltf::Value* zmf, const char* key) {
  return zmf != nullptr && zmf->Has(key) && zmf->Get(key).IsBool() && zmf->Get(key).Get<bool>();
}

double number(const tinygltf::Value& object, const char* key, double otherwise) {
  if (!object.Has(key) || !object.Get(key).IsNumber()) return otherwise;
  return object.Get(key).GetNumberAsDouble();
}

// A file's number as a float, held to float's range (a cast of a larger double is undefined).
float toFloat(double value) {
  return float(std::clamp(value, -double(std::numeric_limits<float>::max()),
                          double(std::numeric_limits<float>::max())));
}

float real(const tinygltf::Value& object, const char* key, float otherwise = 0) {
  return toFloat(number(object, key, otherwise));
}

// A whole number of the file within [low, high]; otherwise when it is missing or not finite.
int32_t integer(const tinygltf::Value& object, const char* key, int32_t otherwise,
                int32_t low = std::numeric_limits<int32_t>::min(),
                int32_t high = std::numeric_limits<int32_t>::max()) {
  const double value = number(object, key, otherwise);
  if (!std::isfinite(value)) return otherwise;
  return int32_t(std::clamp(value, double(low), double(high)));
}

std::string text(const tinygltf::Value& object, const char* key) {
  if (!object.Has(key) || !object.Get(key).IsString()) return "";
  return object.Get(key).Get<std::string>();
}

// Up to `count` numbers of an array field (missing ones 0).
std::array<float, 4> numbers(const tinygltf::Value& object, const char* key) {
  std::array<float, 4> values{};
  if (!object.Has(key) || !object.Get(key).IsArray()) return values;
  const tinygltf::Value& array = object.Get(key);
  for (size_t i = 0; i < values.size() && int(i) < int(array.ArrayLen()); ++i) {
    if (array.Get(int(i)).IsNumber()) values[i] = toFloat(array.Get(int(i)).GetNumberAsDouble());
  }
  return values;
}

ZVector vectorOf(const tinygltf::Value& object, const char* key) {
  const std::array<float, 4> v = numbers(object, key);
  return {v[0], v[1], v[2]};
}

D3DCOLORVALUE colourOf(const tinygltf::Value& object, const char* key) {
  const std::array<float, 4> v = numbers(object, key);
  return {v[0], v[1], v[2], v[3]};
}

// The [name, value] pairs of a "vars" field.
std::vector<std::pair<std::string, float>> variablesOf(const tinygltf::Value& object) {
  std::vector<std::pair<std::string, float>> list;
  if (!object.Has("vars") || !object.Get("vars").IsArray()) return list;
  const tinygltf::Value& array = object.Get("vars");
  for (int i = 0; i < int(array.ArrayLen()); ++i) {
    const tinygltf::Value& pair = array.Get(i);
    if (!pair.IsArray() || pair.ArrayLen() != 2 || !pair.Get(0).IsString() ||
        !pair.Get(1).IsNumber()) {
      continue;
    }
    list.emplace_back(pair.Get(0).Get<std::string>(), toFloat(pair.Get(1).GetNumberAsDouble()));
  }
  return list;
}

// "%20" and the like in a URI back to the bytes they stand for.
std::string percentDecoded(const std::string& uri) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
      out += char(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

class GltfReader {
 public:
  GltfReader(ZObjectBuilder& builder, const tinygltf::Model& source, std::string folderName)
      : out(builder), model(source), folder(std::move(folderName)) {}

  // Checks the scene and reads its meshes; false with `error` set when the file fails a check.
  bool read() {
    std::vector<int> roots;
    if (model.defaultScene >= 0) {
      if (size_t(model.defaultScene) >= model.scenes.size()) {
        return fail("default scene %d does not exist", model.defaultScene);
      }
      scene = &model.scenes[size_t(model.defaultScene)];
      roots = scene->nodes;
    } else if (!model.scenes.empty()) {
      scene = &model.scenes[0];
      roots = scene->nodes;
    } else {
      // No scene: every node that is nobody's child.
      std::vector<bool> isChild(model.nodes.size(), false);
      for (const tinygltf::Node& node : model.nodes) {
        for (int child : node.children) {
          if (child >= 0 && size_t(child) < isChild.size()) isChild[size_t(child)] = true;
        }
      }
      for (size_t i = 0; i < model.nodes.size(); ++i) {
        if (!isChild[i]) roots.push_back(int(i));
      }
    }
    reached.assign(model.nodes.size(), false);
    meshes.resize(model.meshes.size());
    meshRead.assign(model.meshes.size(), false);
    for (int root : roots) {
      if (!checkNode(root, 0)) return false;
    }
    for (size_t i = 0; i < model.materials.size(); ++i) {
      if (!imageOf(model.materials[i], i, nullptr)) return false;
    }
    rootNodes = std::move(roots);
    return true;
  }

  // Makes the engine objects of what read() accepted.
  void build() {
    for (size_t i = 0; i < model.materials.size(); ++i) {
      materials.push_back(makeMaterial(model.materials[i], i));
    }
    for (int root : rootNodes) buildNode(root, nullptr, ZMatrix());
    if (scene != nullptr) {
      if (const tinygltf::Value* zmf = zmfExtras(scene->extras)) restoreScene(*zmf);
    }
  }

  // The header lighting and the cameras this program's export keeps in the scene's extras.
  void restoreScene(const tinygltf::Value& zmf) {
    out.sunPosition = vectorOf(zmf, "sunPosition");
    out.ambientLight = vectorOf(zmf, "ambientLight");
    out.sunDiffuse = vectorOf(zmf, "sunDiffuse");
    if (!zmf.Has("cameras") || !zmf.Get("cameras").IsArray()) return;
    const tinygltf::Value& cameras = zmf.Get("cameras");
    for (int i = 0; i < int(cameras.ArrayLen()); ++i) {
      const tinygltf::Value& c = cameras.Get(i);
      if (!c.IsObject()) continue;
      ZCamera* camera = out.renderer->getNewCamera();
      camera->name = text(c, "name");
      camera->position = vectorOf(c, "position") * out.scale;
      camera->heading = vectorOf(c, "heading");
      camera->up = vectorOf(c, "up");
      camera->fov = real(c, "fov", camera->fov);
      camera->nearPlane = real(c, "near", camera->nearPlane);
      camera->farPlane = real(c, "far", camera->farPlane);
      camera->tag = integer(c, "tag", 0);
      camera->fixed = flag(&c, "fixed");
      camera->minFov = real(c, "minFov", camera->minFov);
      camera->maxFov = real(c, "maxFov", camera->maxFov);
      camera->maxDist = real(c, "maxDist", camera->maxDist);
      out.cameras.push_back(camera);
    }
  }

  std::string error;

 private:
  bool fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    error = text;
    return false;
  }

  bool checkNode(int index, int depth) {
    if (index < 0 || size_t(index) >= model.nodes.size()) {
      return fail("node %d does not exist", index);
    }
    if (reached[size_t(index)]) return fail("node %d is reached twice", index);
    if (depth >= kMaxNodeDepth) return fail("nodes nest deeper than %d levels", kMaxNodeDepth);
    reached[size_t(index)] = true;
    const tinygltf::Node& node = model.nodes[size_t(index)];
    if ((node.matrix.size() != 0 && node.matrix.size() != 16) ||
        (node.rotation.size() != 0 && node.rotation.size() != 4) ||
        (node.scale.size() != 0 && node.scale.size() != 3) ||
        (node.translation.size() != 0 && node.translation.size() != 3)) {
      return fail("node %d has a transform of the wrong size", index);
    }
    if (node.mesh != -1) {
      if (node.mesh < 0 || size_t(node.mesh) >= model.meshes.size()) {
        return fail("node %d names mesh %d, which does not exist", index, node.mesh);
      }
      if (!meshRead[size_t(node.mesh)] && !readMesh(size_t(node.mesh))) return false;
      meshRead[size_t(node.mesh)] = true;
    }
    if (node.camera != -1 && (node.camera < 0 || size_t(node.camera) >= model.cameras.size())) {
      return fail("node %d names camera %d, which does not exist", index, node.camera);
    }
    for (int child : node.children) {
      if (!checkNode(child, depth + 1)) return false;
    }
    return true;
  }

  // The accessor's bytes after every check that keeps its reads inside its buffer.
  bool accessor(int index, int type, AccessorData& data) {
    if (index < 0 || size_t(index) >= model.accessors.size()) {
      return fail("accessor %d does not exist", index);
    }
    const tinygltf::Accessor& a = model.accessors[size_t(index)];
    if (a.sparse.isSparse) return fail("accessor %d is sparse, which is not read", index);
    if (a.type != type)
      return fail("accessor %d has type %d where %d is read", index, a.type, type);
    const size_t size = componentSize(a.componentType);
    if (size == 0) return fail("accessor %d has component type %d", index, a.componentType);
    const int components = tinygltf::GetNumComponentsInType(uint32_t(a.type));
    const size_t element = size * size_t(components);
    if (a.bufferView < 0 || size_t(a.bufferView) >= model.bufferViews.size()) {
      return fail("accessor %d has no buffer view", index);
    }
    const tinygltf::BufferView& view = model.bufferViews[size_t(a.bufferView)];
    if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size()) {
      return fail("buffer view %d names buffer %d, which does not exist", a.bufferView,
                  view.buffer);
    }
    const std::vector<unsigned char>& bytes = model.buffers[size_t(view.buffer)].data;
    if (view.byteOffset > bytes.size() || view.byteLength > bytes.size() - view.byteOffset) {
      return fail("buffer view %d runs past its buffer", a.bufferView);
    }
    const size_t stride = view.byteStride != 0 ? view.byteStride : element;
    if (stride < element)
      return fail("buffer view %d has a stride below its elements", a.bufferView);
    // The last element ends at byteOffset + (count - 1) * stride + element.
    if (a.count > 0 &&
        (a.byteOffset > view.byteLength || view.byteLength - a.byteOffset < element ||
         (a.count - 1) > (view.byteLength - a.byteOffset - element) / stride)) {
      return fail("accessor %d runs past its buffer view", index);
    }
    data.data = bytes.data() + view.byteOffset + a.byteOffset;
    data.count = a.count;
    data.stride = stride;
    data.componentType = a.componentType;
    data.components = components;
    data.normalized = a.normalized;
    return true;
  }

  int attribute(const tinygltf::Primitive& primitive, const char* name) const {
    const auto found = primitive.attributes.find(name);
    return found == primitive.attributes.end() ? -1 : found->second;
  }

  bool readMesh(size_t index) {
    const tinygltf::Mesh& mesh = model.meshes[index];
    for (size_t p = 0; p < mesh.primitives.size(); ++p) {
      const tinygltf::Primitive& source = mesh.primitives[p];
      if (source.mode != -1 && source.mode != TINYGLTF_MODE_TRIANGLES) {
        zlog("glTF mesh %d primitive %d: mode %d skipped (triangles only)\n", int(index), int(p),
             source.mode);
        continue;
      }
      const int position = attribute(source, "POSITION");
      if (position < 0) {
        zlog("glTF mesh %d primitive %d has no positions, skipped\n", int(index), int(p));
        continue;
      }
      if (source.material != -1 &&
          (source.material < 0 || size_t(source.material) >= model.materials.size())) {
        return fail("mesh %d names material %d, which does not exist", int(index), source.material);
      }
      Primitive read;
      read.material = source.material;
      AccessorData positions;
      if (!accessor(position, TINYGLTF_TYPE_VEC3, positions)) return false;
      if (positions.count > size_t(INT32_MAX))
        return fail("mesh %d has too many vertices", int(index));
      const size_t vertexCount = positions.count;
      read.positions.resize(vertexCount);
      for (size_t i = 0; i < vertexCount; ++i) {
        read.positions[i] =
            ZVector(positions.value(i, 0), positions.value(i, 1), -positions.value(i, 2)) *
            out.scale;
      }
      read.zmf = zmfExtras(mesh.extras);
      if (!mirroredVectors(source, "NORMAL", TINYGLTF_TYPE_VEC3, vertexCount, read.normals) ||
          !pairs(source, "TEXCOORD_0", vertexCount, read.uvs)) {
        return false;
      }
      // What only this program's export writes is read only from it.
      if (read.zmf != nullptr &&
          (!pairs(source, "TEXCOORD_1", vertexCount, read.uvs1) ||
           !mirroredVectors(source, "TANGENT", TINYGLTF_TYPE_VEC4, vertexCount, read.tangents) ||
           !mirroredVectors(source, "_BINORMAL", TINYGLTF_TYPE_VEC3, vertexCount,
                            read.binormals))) {
        return false;
      }
      std::vector<uint32_t> corners;
      if (flag(read.zmf, "noFaces")) {
        // A mesh exported without faces: no indices, and no list of the vertices either.
      } else if (source.indices >= 0) {
        AccessorData indices;
        if (!accessor(source.indices, TINYGLTF_TYPE_SCALAR, indices)) return false;
        if (indices.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
            indices.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
            indices.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT) {
          return fail("accessor %d: indices are not unsigned integers", source.indices);
        }
        corners.resize(indices.count);
        for (size_t i = 0; i < indices.count; ++i) {
          uint32_t v = 0;
          std::memcpy(&v, indices.data + i * indices.stride, componentSize(indices.componentType));
          if (v >= vertexCount) {
            return fail("accessor %d: index %u is past the %zu vertices", source.indices, v,
                        vertexCount);
          }
          corners[i] = v;
        }
      } else {
        corners.resize(vertexCount);
        for (size_t i = 0; i < vertexCount; ++i) corners[i] = uint32_t(i);
      }
      if (corners.size() % 3 != 0) {
        zlog("glTF mesh %d primitive %d: %d corners after the last triangle ignored\n", int(index),
             int(p), int(corners.size() % 3));
      }
      read.triangles.reserve(corners.size() - corners.size() % 3);
      for (size_t i = 0; i + 2 < corners.size(); i += 3) {
        // The mirror turns the winding round: a, c, b.
        read.triangles.insert(read.triangles.end(), {corners[i], corners[i + 2], corners[i + 1]});
      }
      meshes[index].push_back(std::move(read));
    }
    return true;
  }

  // The attribute's values, `components` floats a vertex, into values; empty when the primitive
  // has none. False when it is there but cannot be read or its count differs.
  bool attributeValues(const tinygltf::Primitive& source, const char* name, int type,
                       size_t count, std::vector<float>& values) {
    values.clear();
    const int index = attribute(source, name);
    if (index < 0) return true;
    AccessorData data;
    if (!accessor(index, type, data)) return false;
    if (data.count != count) return fail("accessor %d: %s count differs", index, name);
    values.resize(count * size_t(data.components));
    for (size_t i = 0; i < count; ++i) {
      for (int k = 0; k < data.components; ++k) {
        values[i * size_t(data.components) + size_t(k)] = data.value(i, k);
      }
    }
    return true;
  }

  // Vectors (the first three values of each element) with z negated.
  bool mirroredVectors(const tinygltf::Primitive& source, const char* name, int type,
                       size_t count, std::vector<ZVector>& into) {
    std::vector<float> values;
    if (!attributeValues(source, name, type, count, values)) return false;
    const size_t stride = values.empty() ? 0 : values.size() / count;
    into.resize(values.empty() ? 0 : count);
    for (size_t i = 0; i < into.size(); ++i) {
      into[i] = ZVector(values[i * stride], values[i * stride + 1], -values[i * stride + 2]);
    }
    return true;
  }

  bool pairs(const tinygltf::Primitive& source, const char* name, size_t count,
             std::vector<std::array<float, 2>>& into) {
    std::vector<float> values;
    if (!attributeValues(source, name, TINYGLTF_TYPE_VEC2, count, values)) return false;
    into.resize(values.size() / 2);
    for (size_t i = 0; i < into.size(); ++i) into[i] = {values[i * 2], values[i * 2 + 1]};
    return true;
  }

  // The external file of a material's base colour picture: into `uri` when given; empty for
  // none or an embedded picture. False when the material names what does not exist.
  bool imageOf(const tinygltf::Material& material, size_t index, std::string* uri) {
    const int texture = material.pbrMetallicRoughness.baseColorTexture.index;
    if (texture == -1) return true;
    if (texture < 0 || size_t(texture) >= model.textures.size()) {
      return fail("material %zu names texture %d, which does not exist", index, texture);
    }
    const int image = model.textures[size_t(texture)].source;
    if (image == -1) return true;
    if (image < 0 || size_t(image) >= model.images.size()) {
      return fail("texture %d names image %d, which does not exist", texture, image);
    }
    const std::string& source = model.images[size_t(image)].uri;
    if (uri != nullptr && !source.empty() && source.compare(0, 5, "data:") != 0) {
      *uri = percentDecoded(source);
    }
    return true;
  }

  ZMaterial* makeMaterial(const tinygltf::Material& source, size_t index) {
    ZMaterial* material = out.renderer->getNewMaterial();
    out.materials.push_back(material);
    zlog("glTF material %s\n", source.name.c_str());
    if (const tinygltf::Value* zmf = zmfExtras(source.extras)) {
      restoreMaterial(*material, *zmf);
      return material;
    }
    const std::vector<double>& c = source.pbrMetallicRoughness.baseColorFactor;
    if (c.size() == 4) {
      material->setDiffuse(float(c[0]), float(c[1]), float(c[2]), true);
      material->setOpacity(float(c[3]));
    }
    material->setDoubleFace(source.doubleSided);
    std::string uri;
    imageOf(source, index, &uri);
    if (!uri.empty()) {
      zlog("loading texture %s\n", uri.c_str());
      import_local::attachImportTexture(
          *material, out.renderer->getTexture(import_local::importTextureFile(out, uri)), uri);
    }
    if (source.alphaMode == "BLEND") {
      material->setShadeModel(uri.empty() ? 2 : 4);
    } else if (source.alphaMode == "MASK") {
      material->setShadeModel(1);
    }
    return material;
  }

  // Everything this program's export keeps of a material, as a model file gives it.
  void restoreMaterial(ZMaterial& m, const tinygltf::Value& zmf) {
    D3DMATERIAL9& c = m.d3dMaterial;
    c.Diffuse = colourOf(zmf, "diffuse");
    c.Ambient = colourOf(zmf, "ambient");
    c.Specular = colourOf(zmf, "specular");
    c.Emissive = colourOf(zmf, "emissive");
    c.Power = real(zmf, "power");
    m.doubleFace = flag(&zmf, "doubleFace");
    m.alphaBlend = flag(&zmf, "alphaBlend");
    m.alphaDestBlend = integer(zmf, "alphaDestBlend", 6);
    m.alphaRef = uint8_t(integer(zmf, "alphaRef", 0, 0, 255));
    m.alphaSrcBlend = integer(zmf, "alphaSrcBlend", 5);
    m.alphaTest = flag(&zmf, "alphaTest");
    m.forceNoDepthWrite = flag(&zmf, "forceNoDepthWrite");
    m.useZBuffer = flag(&zmf, "useZBuffer");
    m.textureFactor = real(zmf, "textureFactor", 1);
    if (zmf.Has("stages") && zmf.Get("stages").IsArray()) {
      const tinygltf::Value& stages = zmf.Get("stages");
      for (int i = 0; i < int(stages.ArrayLen()); ++i) restoreStage(m, stages.Get(i));
    }
    const std::string effect = text(zmf, "effect");
    if (!effect.empty()) m.initEffect(effect);
    for (const auto& [name, value] : variablesOf(zmf)) m.setStoredEffectVariable(name, value);
  }

  void restoreStage(ZMaterial& m, const tinygltf::Value& fields) {
    const int index = integer(fields, "index", -1);
    const std::string picture = text(fields, "texture");
    if (!fields.IsObject() || index < 0 || index > 7 || picture.empty()) return;
    ZMaterialStage& s = m.stage(index);
    s.active = flag(&fields, "active");
    for (const auto& [name, field] : kStageFields) s.*field = integer(fields, name, 0);
    s.storedTextureName = std::string(fileNameOf(picture));
    s.textureName = import_local::importTextureFile(out, s.storedTextureName);
    s.texture = out.renderer->getTexture(s.textureName);
  }

  ZMaterial* materialFor(int index) {
    if (index >= 0) return materials[size_t(index)];
    if (fallback == nullptr) {
      fallback = out.renderer->getNewMaterial();
      out.materials.push_back(fallback);
    }
    return fallback;
  }

  // The node's local transform in engine axes: glTF's column-vector matrix stored by columns is
  // the engine's row-vector matrix stored by rows; then S M S and the import scale.
  ZMatrix localMatrix(const tinygltf::Node& node) const {
    double c[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (node.matrix.size() == 16) {
      for (int i = 0; i < 16; ++i) c[i] = node.matrix[size_t(i)];
    } else {
      double q[4] = {0, 0, 0, 1};
      if (node.rotation.size() == 4) {
        const double length =
            std::sqrt(node.rotation[0] * node.rotation[0] + node.rotation[1] * node.rotation[1] +
                      node.rotation[2] * node.rotation[2] + node.rotation[3] * node.rotation[3]);
        if (length > 0 && std::isfinite(length)) {
          for (int i = 0; i < 4; ++i) q[i] = node.rotation[size_t(i)] / length;
        }
      }
      const double x = q[0], y = q[1], z = q[2], w = q[3];
      // R by rows, for column vectors.
      const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                              {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                              {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
      double s[3] = {1, 1, 1};
      if (node.scale.size() == 3) s[0] = node.scale[0], s[1] = node.scale[1], s[2] = node.scale[2];
      // T R S by columns.
      for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) c[column * 4 + row] = r[row][column] * s[column];
      }
      if (node.translation.size() == 3) {
        c[12] = node.translation[0], c[13] = node.translation[1], c[14] = node.translation[2];
      }
    }
    ZMatrix m;
    for (int i = 0; i < 16; ++i) m.m[i] = float(c[i]);
    m = mirroredZ(m);
    m.m[3] = m.m[7] = m.m[11] = 0;
    m.m[15] = 1;
    m.m[12] *= out.scale;
    m.m[13] *= out.scale;
    m.m[14] *= out.scale;
    return m;
  }

  void buildNode(int index, ZFrame* parent, const ZMatrix& parentWorld) {
    const tinygltf::Node& node = model.nodes[size_t(index)];
    const tinygltf::Value* zmf = zmfExtras(node.extras);
    if (flag(zmf, "geometry") && parent != nullptr) {
      // An exported geometry: the meshes of its frame, no frame of its own.
      if (node.mesh < 0) {
        buildGeometry(Primitive(), node.name, parent);
        return;
      }
      for (const Primitive& primitive : meshes[size_t(node.mesh)]) {
        buildGeometry(primitive, node.name, parent);
      }
      return;
    }
    ZFrame* frame = out.renderer->getNewFrame();
    frame->name = node.name.empty() ? "node" + std::to_string(index) : node.name;
    frame->matrix = localMatrix(node);
    frame->moveable = flag(zmf, "moveable");
    out.frames.push_back(frame);
    if (parent != nullptr) parent->addChild(frame);
    if (parent == nullptr && rootNodes.size() == 1 && flag(zmf, "root")) out.modelRoot = frame;
    const ZMatrix world = ZMatrix::multiply(frame->matrix, parentWorld);
    if (node.mesh >= 0) {
      const std::string& meshName = model.meshes[size_t(node.mesh)].name;
      for (const Primitive& primitive : meshes[size_t(node.mesh)]) {
        buildGeometry(primitive, meshName.empty() ? frame->name : meshName, frame);
      }
    }
    if (node.camera >= 0) buildCamera(model.cameras[size_t(node.camera)], world, frame->name);
    for (int child : node.children) buildNode(child, frame, world);
  }

  void buildGeometry(const Primitive& primitive, const std::string& name, ZFrame* frame) {
    ZGeometry* g = out.renderer->getNewGeometry();
    g->name = name;
    g->setMaterial(flag(primitive.zmf, "noMaterial") ? nullptr : materialFor(primitive.material));
    g->vertices.reserve(primitive.positions.size());
    for (size_t i = 0; i < primitive.positions.size(); ++i) {
      g->addVertex(primitive.positions[i]);
      SVertex& vertex = g->vertices.back();
      if (!primitive.normals.empty()) vertex.normal = primitive.normals[i];
      if (!primitive.uvs.empty()) {
        vertex.t0[0] = primitive.uvs[i][0];
        vertex.t0[1] = primitive.uvs[i][1];
      }
      if (!primitive.uvs1.empty()) {
        vertex.t1[0] = primitive.uvs1[i][0];
        vertex.t1[1] = primitive.uvs1[i][1];
      }
      if (!primitive.tangents.empty()) vertex.tangent = primitive.tangents[i];
      if (!primitive.binormals.empty()) vertex.binormal = primitive.binormals[i];
    }
    if (primitive.zmf != nullptr) {
      for (const auto& [varName, value] : variablesOf(*primitive.zmf)) {
        g->vars.push_back({varName, value});
      }
      g->transparent = flag(primitive.zmf, "transparent");
      g->castShadow = flag(primitive.zmf, "castShadow");
    }
    g->faces.reserve(primitive.triangles.size() / 3);
    for (size_t i = 0; i + 2 < primitive.triangles.size(); i += 3) {
      g->addTriangle(int(primitive.triangles[i]), int(primitive.triangles[i + 1]),
                     int(primitive.triangles[i + 2]));
    }
    if (primitive.normals.empty()) {
      g->generateNormals();
    } else {
      g->generateFaceNormals();
    }
    if (!primitive.tangents.empty()) {
      // The faces' tangent frames are derived data, made again; the vertices keep the file's.
      g->computeTangentFrames();
      for (size_t i = 0; i < g->vertices.size(); ++i) {
        g->vertices[i].tangent = primitive.tangents[i];
        if (!primitive.binormals.empty()) g->vertices[i].binormal = primitive.binormals[i];
      }
    }
    g->computeBoundingBox();
    g->initRadius();
    frame->addGeometry(g);
    out.geometries.push_back(g);
  }

  void buildCamera(const tinygltf::Camera& source, const ZMatrix& world, const std::string& name) {
    ZCamera* camera = out.renderer->getNewCamera();
    camera->name = name;
    camera->position = world.getPosition();
    camera->heading = world.row(2);
    camera->heading.normalize();
    camera->up = world.row(1);
    camera->up.normalize();
    if (source.type == "orthographic") {
      const tinygltf::OrthographicCamera& o = source.orthographic;
      camera->isOrthographic = true;
      camera->orthoSize = float(o.ymag) * out.scale;
      if (o.ymag != 0) camera->aspect = float(o.xmag / o.ymag);
      camera->nearPlane = float(o.znear) * out.scale;
      camera->farPlane = float(o.zfar) * out.scale;
    } else {
      const tinygltf::PerspectiveCamera& p = source.perspective;
      camera->fov = float(p.yfov * 180.0 / kPi);
      if (p.aspectRatio > 0) camera->aspect = float(p.aspectRatio);
      camera->nearPlane = float(p.znear) * out.scale;
      if (p.zfar > 0) camera->farPlane = float(p.zfar) * out.scale;  // 0: infinite, kept
    }
    out.cameras.push_back(camera);
  }

  ZObjectBuilder& out;
  const tinygltf::Model& model;
  std::string folder;
  std::vector<int> rootNodes;
  const tinygltf::Scene* scene = nullptr;  // the one read, when the file has scenes
  std::vector<bool> reached;
  std::vector<std::vector<Primitive>> meshes;  // by mesh index, read once
  std::vector<bool> meshRead;
  std::vector<ZMaterial*> materials;  // by material index
  ZMaterial* fallback = nullptr;
};

bool endsWithIgnoringCase(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ZObjectBuilder::loadGLTF(const std::string& fileName) {
  zlog("Loading glTF file %s\n", fileName.c_str());
  const std::string path = resolveFileName(fileName);
  std::vector<uint8_t> bytes;
  if (!readWholeFile(path, bytes)) {
    zlog("glTF ERROR: cannot read %s\n", fileName.c_str());
    return false;
  }
  const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return loadGLTFBytes(content, path, endsWithIgnoringCase(path, ".glb"));
}

bool ZObjectBuilder::loadGLTFBytes(std::string_view content, const std::string& fileName,
                                   bool binary) {
  const std::string folder = folderOf(fileName);
  tinygltf::Model model;
  std::string error;
  std::string warning;
  bool parsed = false;
  if (content.size() > std::numeric_limits<unsigned int>::max()) {
    error = "file too large";
  } else {
    try {
      tinygltf::TinyGLTF loader;
      loader.SetImageLoader(&skipImage, nullptr);
      loader.SetFsCallbacks({&tinygltf::FileExists, &tinygltf::ExpandFilePath, &readBufferFile,
                             &tinygltf::WriteWholeFile, nullptr});
      const auto length = static_cast<unsigned int>(content.size());
      parsed = binary ? loader.LoadBinaryFromMemory(
                            &model, &error, &warning,
                            reinterpret_cast<const unsigned char*>(content.data()), length, folder)
                      : loader.LoadASCIIFromString(&model, &error, &warning, content.data(),
                                                   length, folder);
    } catch (const std::exception& e) {
      error = e.what();
      parsed = false;
    }
  }
  if (!warning.empty()) zlog("glTF warning: %s\n", warning.c_str());
  if (!parsed) {
    zlog("glTF ERROR: %s: %s\n", fileName.c_str(), error.c_str());
    return false;
  }
  texturePath = folder + "/texture/";
  modelFolder = folder;
  GltfReader reader(*this, model, folder);
  if (!reader.read()) {
    zlog("glTF ERROR: %s: %s\n", fileName.c_str(), reader.error.c_str());
    return false;
  }
  const size_t firstFrame = frames.size();
  const size_t firstGeometry = geometries.size();
  const size_t firstCamera = cameras.size();
  reader.build();
  zlog("glTF %s: %d frames, %d geometries, %d cameras\n", fileName.c_str(),
       int(frames.size() - firstFrame), int(geometries.size() - firstGeometry),
       int(cameras.size() - firstCamera));
  return true;
}
