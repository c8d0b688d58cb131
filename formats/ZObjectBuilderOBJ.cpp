// OBJ import with its MTL material library. Both are read line by line: a "#" line is a
// comment, names (materials, groups) may contain blanks, and numbers are read without the
// locale. Faces of any corner count are fanned into triangles; corners may be written "v",
// "v/vt", "v//vn" or "v/vt/vn", with indices counted from 1 or, when negative, back from the
// end of the list read so far.
//
// Each group ("g" or "o") becomes a frame; inside it one geometry per material. A geometry
// holds one vertex per distinct (position, texture coordinate, normal) corner its own faces
// use, so a group never carries the positions of other groups and a seam (one position with two
// texture coordinates) keeps both.
#include "formats/ZObjectBuilder.h"
#include "formats/import_local.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/ZParse.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using import_local::isBlank;
using import_local::trim;

namespace {

// Vertices looked at for one position before a corner gets a vertex of its own.
constexpr int32_t kMaxSharingWalk = 64;

// Splits text into lines at LF without copying; a CR before the LF is a blank to the readers.
class LineReader {
 public:
  explicit LineReader(std::string_view source) : text(source) {}
  bool next(std::string_view& line) {
    if (cursor >= text.size()) return false;
    const char* begin = text.data() + cursor;
    const void* lf = std::memchr(begin, '\n', text.size() - cursor);
    const size_t end = lf ? size_t(static_cast<const char*>(lf) - text.data()) : text.size();
    line = text.substr(cursor, end - cursor);
    cursor = end + 1;
    return true;
  }

 private:
  std::string_view text;
  size_t cursor = 0;
};

// The next blank-separated word of `rest`, which is advanced past it.
std::string_view nextWord(std::string_view& rest) {
  size_t begin = 0;
  while (begin < rest.size() && isBlank(rest[begin])) ++begin;
  size_t end = begin;
  while (end < rest.size() && !isBlank(rest[end])) ++end;
  const std::string_view word = rest.substr(begin, end - begin);
  rest.remove_prefix(end);
  return word;
}

// Up to `count` numbers from the words of rest, each read like atof: the longest number at the
// start of the word, 0 when there is none (or no word), the rest of the word ignored.
void readFloats(std::string_view rest, float* out, int count) {
  const char* p = rest.data();
  const char* const end = p + rest.size();
  for (int i = 0; i < count; ++i) {
    while (p < end && isBlank(*p)) ++p;
    const char* const word = p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-')) ++p;
    float value = 0;
    if (p < end && *p != '-') {  // from_chars would take a second sign
      const auto [stop, error] = parseFloat(p, end, value);
      if (error == std::errc::result_out_of_range) {
        value = float(cvAtof(std::string_view(word, size_t(end - word))));  // inf or 0, as atof
      } else if (error != std::errc()) {
        value = 0;
      }
      p = stop;
    }
    out[i] = negative ? -value : value;
    while (p < end && !isBlank(*p)) ++p;
  }
}

// One index field of a face corner at p, which is advanced to the '/', blank or end after it:
// a 0-based index into a list of `size` entries (negative values count back from its end), -1
// for an empty field, -2 for one that is malformed, zero or outside the list.
int32_t readIndex(const char*& p, const char* end, size_t size) {
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  const char* const digits = p;
  int64_t value = 0;
  while (p < end && *p >= '0' && *p <= '9' && value < (int64_t{1} << 40)) {
    value = value * 10 + (*p++ - '0');
  }
  if (p < end && *p != '/' && !isBlank(*p)) return -2;  // a stray character, or too many digits
  if (p == digits) return negative ? -2 : -1;
  if (value == 0) return -2;
  const int64_t index = negative ? int64_t(size) - value : value - 1;
  if (index < 0 || uint64_t(index) >= size) return -2;
  return int32_t(index);
}

struct Corner {
  int32_t v = -1;
  int32_t vt = -1;  // -1: none
  int32_t vn = -1;  // -1: none
};

// The MTL library: materials by name.
class MtlReader {
 public:
  MtlReader(ZObjectBuilder& builder, import_local::TextureLookup& textures)
      : out(builder), textureLookup(textures) {}

  void read(std::string_view text, const std::string& fileName) {
    zlog("Loading MTL file %s\n", fileName.c_str());
    LineReader lines(text);
    std::string_view line;
    int count = 0;
    while (lines.next(line)) {
      // Every token of the line is logged, comments included.
      std::string_view rest = line;
      for (std::string_view token = nextWord(rest); !token.empty(); token = nextWord(rest)) {
        zlog("TOK=@%.*s@\n", int(token.size()), token.data());
      }
      rest = line;
      const std::string_view tag = nextWord(rest);
      if (tag == "newmtl") {
        const std::string name(trim(rest));
        zlog("LOADING OBJ MATERIAL %s\n", name.c_str());
        current = out.renderer->getNewMaterial();
        out.materials.push_back(current);
        byName.try_emplace(name, current);  // the first of two same-named materials is used
        ++count;
        continue;
      }
      if (current == nullptr) continue;  // values before the first newmtl have no material
      float c[3];
      if (tag == "Ns") {
        zlog("Setting specular exp\n");
        readFloats(rest, c, 1);
        current->setShininess(c[0]);
      } else if (tag == "Ka") {
        zlog("Setting ambient\n");
        readFloats(rest, c, 3);
        current->setAmbient(c[0], c[1], c[2]);
      } else if (tag == "Kd") {
        zlog("Setting diffuse\n");
        readFloats(rest, c, 3);
        current->setDiffuse(c[0], c[1], c[2], false);
      } else if (tag == "Ks") {
        zlog("Setting specular\n");
        readFloats(rest, c, 3);
        current->setSpecular(c[0], c[1], c[2]);
      } else if (tag == "Ke") {
        zlog("Setting emissive\n");
        readFloats(rest, c, 3);
        current->setEmissive(c[0], c[1], c[2]);
      } else if (tag == "map_Kd") {
        const std::string path(trim(rest));
        zlog("loading texture %s\n", path.c_str());
        if (!path.empty()) import_local::attachImportTexture(*current, textureLookup.get(path), path);
      }
    }
    zlog("LOADED %d materials\n", count);
  }

  ZMaterial* find(const std::string& name) const {
    const auto found = byName.find(name);
    return found == byName.end() ? nullptr : found->second;
  }

 private:
  ZObjectBuilder& out;
  import_local::TextureLookup& textureLookup;
  ZMaterial* current = nullptr;
  std::unordered_map<std::string, ZMaterial*> byName;
};

class ObjReader {
 public:
  ObjReader(ZObjectBuilder& builder, const MtlReader& library, ZMaterial* fallback)
      : out(builder), mtl(library), defaultMaterial(fallback) {}

  // Reads the complete lines of text and, when `last`, the unterminated line after them too.
  // Returns how many bytes were read.
  size_t readLines(std::string_view text, bool last) {
    const size_t end = last ? text.size() : text.rfind('\n') + 1;  // npos + 1 == 0
    LineReader lines(text.substr(0, end));
    std::string_view line;
    while (lines.next(line)) readLine(line);
    return end;
  }

  // Normals the file gave for every corner of a mesh survive the pivot move; the frame's other
  // meshes get generated ones, as the move would give them.
  void finish() {
    flush();
    linkHierarchy();
    for (const Group& group : groups) {
      ZVector offset;
      group.frame->setPivotPointKeepingNormals(offset);
      for (size_t m : group.meshes) {
        if (!keepsNormals(meshes[m])) meshes[m].geometry->generateNormals();
      }
    }
    for (const Mesh& mesh : meshes) mesh.geometry->initRadius();
  }

 private:
  void readLine(std::string_view line) {
    ++lineNumber;
    std::string_view rest = line;
    const std::string_view tag = nextWord(rest);
    if (tag.empty() || tag[0] == '#') return;
    if (tag == "v") {
      float p[3];
      readFloats(rest, p, 3);
      positions.push_back(p[0] * out.scale);
      positions.push_back(p[1] * out.scale);
      positions.push_back(p[2] * out.scale);
    } else if (tag == "vt") {
      float t[2];
      readFloats(rest, t, 2);
      texCoords.push_back(t[0]);
      texCoords.push_back(t[1]);
    } else if (tag == "vn") {
      float n[3];
      readFloats(rest, n, 3);
      normals.insert(normals.end(), n, n + 3);
    } else if (tag == "f") {
      readFace(rest);
    } else if (tag == "g" || tag == "o") {
      std::string_view name = nextWord(rest);
      startGroup(name.empty() ? std::string_view("default") : name);
    } else if (tag == "usemtl") {
      useMaterial(std::string(trim(rest)));
    }
  }

  struct Mesh {
    ZGeometry* geometry = nullptr;
    ZMaterial* material = nullptr;
    size_t group = 0;
    bool allNormals = true;  // every corner named a normal
  };
  struct Group {
    ZFrame* frame = nullptr;
    std::vector<size_t> meshes;
  };
  // Per geometry vertex: the corner it was made from and the next vertex made from the same
  // position (-1 ends the chain).
  struct VertexKey {
    int32_t vt;
    int32_t vn;
    int32_t next;
  };

  static bool keepsNormals(const Mesh& mesh) {
    return mesh.allNormals && !mesh.geometry->faces.empty();
  }

  void startGroup(std::string_view name) {
    flush();
    ZFrame* frame = out.renderer->getNewFrame();
    frame->name = std::string(name);
    out.frames.push_back(frame);
    zlog("New geometry %s\n", frame->name.c_str());
    zlog("added at %d\n", int(positions.size() / 3));
    groups.push_back({frame, {}});
    currentMesh = addMesh(defaultMaterial);
  }

  size_t addMesh(ZMaterial* material) {
    Group& group = groups.back();
    ZGeometry* g = out.renderer->getNewGeometry();
    g->name = group.frame->name;
    g->setMaterial(material);
    group.frame->addGeometry(g);
    out.geometries.push_back(g);
    meshes.push_back({g, material, groups.size() - 1, true});
    meshByMaterial[{groups.size() - 1, material}] = meshes.size() - 1;
    keys.emplace_back();
    group.meshes.push_back(meshes.size() - 1);
    return meshes.size() - 1;
  }

  void useMaterial(const std::string& name) {
    ZMaterial* material = mtl.find(name);
    if (material == nullptr) {
      // Faces that follow get the default material rather than the previous one.
      zlog("Material %s not found\n", name.c_str());
      material = defaultMaterial;
    } else {
      zlog("Using material %s\n", name.c_str());
    }
    if (groups.empty()) startGroup("default");
    flush();
    Mesh& mesh = meshes[currentMesh];
    if (mesh.material == material) return;
    if (mesh.geometry->faces.empty()) {
      // Nothing drawn with the old material yet: this mesh simply changes it.
      meshByMaterial.erase({mesh.group, mesh.material});
      mesh.material = material;
      mesh.geometry->setMaterial(material);
      meshByMaterial[{mesh.group, material}] = currentMesh;
      return;
    }
    // Faces already drawn keep their material: the group goes on in a mesh of the new one.
    const auto found = meshByMaterial.find({groups.size() - 1, material});
    currentMesh = found != meshByMaterial.end() ? found->second : addMesh(material);
  }

  // A corner "v", "v/vt", "v//vn" or "v/vt/vn" at p, which is advanced past it. False when
  // an index is malformed or outside its list, or the word goes on after the corner.
  bool readCorner(const char*& p, const char* end, Corner& corner) const {
    corner.v = readIndex(p, end, positions.size() / 3);
    corner.vt = -1;
    corner.vn = -1;
    if (p < end && *p == '/') {
      ++p;
      corner.vt = readIndex(p, end, texCoords.size() / 2);
      if (p < end && *p == '/') {
        ++p;
        corner.vn = readIndex(p, end, normals.size() / 3);
      }
    }
    return corner.v >= 0 && corner.vt != -2 && corner.vn != -2 && (p == end || isBlank(*p));
  }

  void readFace(std::string_view rest) {
    corners.clear();
    const char* p = rest.data();
    const char* const end = p + rest.size();
    for (;;) {
      while (p < end && isBlank(*p)) ++p;
      if (p == end) break;
      const char* const word = p;
      Corner corner;
      if (!readCorner(p, end, corner)) {
        while (p < end && !isBlank(*p)) ++p;
        zlog("OBJ line %d: face index %.*s out of range, face skipped\n", lineNumber,
             int(p - word), word);
        return;
      }
      corners.push_back(corner);
    }
    if (corners.size() < 3) {
      zlog("OBJ line %d: face of %d corners skipped\n", lineNumber, int(corners.size()));
      return;
    }
    if (groups.empty()) startGroup("default");
    Mesh& mesh = meshes[currentMesh];
    cornerVertices.clear();
    for (const Corner& corner : corners) {
      cornerVertices.push_back(vertexFor(mesh, corner));
    }
    for (size_t i = 1; i + 1 < cornerVertices.size(); ++i) {
      SFace& face = newFaces.emplace_back();
      face.a = cornerVertices[0];
      face.b = cornerVertices[i];
      face.c = cornerVertices[i + 1];
    }
  }

  // Hands the current mesh's new vertices and faces to its geometry: the arrays themselves
  // when it has none yet (the usual case, one mesh per group), else appended. The next arrays
  // start at the size of these, since groups of one file tend to be alike, which saves most of
  // the copies of growing face by face.
  void flush() {
    if (meshes.empty()) return;
    ZGeometry* g = meshes[currentMesh].geometry;
    append(g->vertices, newVertices);
    append(g->faces, newFaces);
  }

  template <typename List>
  static void append(List& to, List& from) {
    const size_t size = from.size();
    if (to.empty()) {
      to.swap(from);
      from.clear();
      from.reserve(size);
    } else {
      to.insert(to.end(), from.begin(), from.end());
      from.clear();
    }
  }

  // The geometry vertex for a corner: found through the position's chain of vertices in this
  // mesh, or made.
  int32_t vertexFor(Mesh& mesh, const Corner& corner) {
    const uint32_t serial = uint32_t(currentMesh) + 1;
    if (newestVertex.size() < positions.size() / 3) newestVertex.resize(positions.size() / 3);
    std::vector<VertexKey>& meshKeys = keys[currentMesh];
    Newest& newest = newestVertex[size_t(corner.v)];
    const int32_t head = newest.owner == serial ? newest.vertex : -1;
    // The walk is bounded: a hostile file giving one position thousands of texture coordinates
    // would make it quadratic. Past the bound a corner gets a vertex of its own (drawn the same).
    int32_t steps = 0;
    for (int32_t i = head; i >= 0 && steps < kMaxSharingWalk; i = meshKeys[size_t(i)].next) {
      if (meshKeys[size_t(i)].vt == corner.vt && meshKeys[size_t(i)].vn == corner.vn) return i;
      ++steps;
    }
    const int32_t index = int32_t(mesh.geometry->vertices.size() + newVertices.size());
    const float* p = &positions[size_t(corner.v) * 3];
    SVertex& vertex = newVertices.emplace_back();
    vertex.position = {p[0], p[1], p[2]};
    if (corner.vt >= 0) {
      // The engine's v runs down the picture where the file's runs up.
      vertex.t0[0] = texCoords[size_t(corner.vt) * 2];
      vertex.t0[1] = -texCoords[size_t(corner.vt) * 2 + 1];
    }
    if (corner.vn >= 0) {
      const float* n = &normals[size_t(corner.vn) * 3];
      vertex.normal = {n[0], n[1], n[2]};
    } else {
      mesh.allNormals = false;
    }
    meshKeys.push_back({corner.vt, corner.vn, head});
    newest = {index, serial};
    return index;
  }

  // "child_par_parent" group names hang the child's frame under the parent's. The parent is
  // the first frame of exactly that name, or else the first whose own name has that child part
  // (so chains like wheel_par_axle, axle_par_body work). A link that would close a loop is
  // refused.
  void linkHierarchy() {
    constexpr std::string_view kMarker = "_par_";
    std::unordered_map<std::string_view, ZFrame*> byName;
    std::unordered_map<std::string_view, ZFrame*> byChildPart;
    std::unordered_map<const ZFrame*, size_t> indexOf;
    for (size_t i = 0; i < groups.size(); ++i) {
      const std::string& name = groups[i].frame->name;
      byName.try_emplace(name, groups[i].frame);
      const size_t marker = name.find(kMarker);
      if (marker != std::string::npos) {
        byChildPart.try_emplace(std::string_view(name).substr(0, marker), groups[i].frame);
      }
      indexOf[groups[i].frame] = i;
    }
    // Trees of frames as disjoint sets: linking two frames of one tree would close a loop.
    std::vector<size_t> tree(groups.size());
    std::iota(tree.begin(), tree.end(), size_t{0});
    auto root = [&tree](size_t i) {
      while (tree[i] != i) i = tree[i] = tree[tree[i]];
      return i;
    };
    for (size_t i = 0; i < groups.size(); ++i) {
      ZFrame* child = groups[i].frame;
      const std::string_view name = child->name;
      const size_t marker = name.find(kMarker);
      if (marker == std::string_view::npos) continue;
      const std::string childPart(name.substr(0, marker));
      const std::string parentPart(name.substr(marker + kMarker.size()));
      zlog("DETECTED CHILD %s OF %s\n", childPart.c_str(), parentPart.c_str());
      ZFrame* parent = lookup(byName, parentPart);
      if (parent == nullptr || parent == child) parent = lookup(byChildPart, parentPart);
      if (parent == nullptr || parent == child) {
        zlog("Parent %s not found\n", parentPart.c_str());
        continue;
      }
      const size_t a = root(i);
      const size_t b = root(indexOf[parent]);
      if (a == b) {
        zlog("Parent %s of %s would make a loop, not linked\n", parentPart.c_str(),
             child->name.c_str());
        continue;
      }
      if (!parent->canAdopt(*child)) {
        zlog("Parent %s of %s would nest deeper than %d levels, not linked\n",
             parentPart.c_str(), child->name.c_str(), ZFrame::kMaxDepth);
        continue;
      }
      tree[a] = b;
      parent->addChild(child);
    }
  }

  static ZFrame* lookup(const std::unordered_map<std::string_view, ZFrame*>& map,
                        std::string_view name) {
    const auto found = map.find(name);
    return found == map.end() ? nullptr : found->second;
  }

  struct MeshKeyHash {
    size_t operator()(const std::pair<size_t, const ZMaterial*>& key) const {
      return std::hash<const void*>()(key.second) ^ (key.first * 0x9E3779B97F4A7C15ull);
    }
  };

  ZObjectBuilder& out;
  const MtlReader& mtl;
  ZMaterial* defaultMaterial;
  std::vector<float> positions;  // x, y, z (scaled)
  std::vector<float> texCoords;  // u, v as written
  std::vector<float> normals;    // x, y, z
  std::vector<Group> groups;
  std::vector<Mesh> meshes;
  std::vector<std::vector<VertexKey>> keys;  // per mesh, per vertex
  std::unordered_map<std::pair<size_t, const ZMaterial*>, size_t, MeshKeyHash> meshByMaterial;
  size_t currentMesh = 0;
  int lineNumber = 0;
  // Per position: the newest vertex made from it, valid only in the mesh whose serial (index +
  // 1) it holds; a stale entry just means a fresh vertex.
  struct Newest {
    int32_t vertex = -1;
    uint32_t owner = 0;
  };
  std::vector<Newest> newestVertex;
  std::vector<Corner> corners;
  std::vector<int32_t> cornerVertices;
  // The current mesh's vertices and faces not yet handed to its geometry.
  SVertexList newVertices;
  SFaceList newFaces;
};

// The library is the OBJ's name with its last three characters replaced by "mtl".
std::string mtlNameFor(const std::string& objName) {
  if (objName.size() < 3) return objName + "mtl";
  return objName.substr(0, objName.size() - 3) + "mtl";
}

// The import around the OBJ text, which `feed` hands to the reader (false: it could not
// read all of it).
template <typename Feed>
bool importObj(ZObjectBuilder& builder, std::string_view mtl, const std::string& fileName,
               Feed&& feed) {
  zlog("Loading OBJ file %s\n", fileName.c_str());
  import_local::TextureLookup textures(builder);
  MtlReader library(builder, textures);
  library.read(mtl, mtlNameFor(fileName));
  ZMaterial* fallback = builder.renderer->getNewMaterial();
  builder.materials.push_back(fallback);
  ObjReader reader(builder, library, fallback);
  const bool complete = feed(reader);
  reader.finish();
  return complete;
}

}  // namespace

// The OBJ is read in blocks rather than whole: files run to hundreds of megabytes, and a block
// that stays in the cache is much cheaper than fresh memory the size of the file.
bool ZObjectBuilder::loadOBJ(const std::string& fileName) {
  const std::string path = resolveFileName(fileName);
  std::error_code error;
  FILE* file = std::filesystem::is_regular_file(path, error) ? std::fopen(path.c_str(), "rb")
                                                            : nullptr;
  if (file == nullptr) {
    zlog("OBJ file %s cannot be read\n", fileName.c_str());
    return false;
  }
  modelFolder = folderOf(fileName);
  texturePath = modelFolder + "/texture/";
  const std::string mtlName = mtlNameFor(fileName);
  std::vector<uint8_t> mtl;
  if (!readWholeFile(mtlName, mtl)) zlog("MTL file %s not found\n", mtlName.c_str());
  const std::string_view mtlText(reinterpret_cast<const char*>(mtl.data()), mtl.size());
  const bool complete = importObj(*this, mtlText, fileName, [&](ObjReader& reader) {
    constexpr size_t kBlock = size_t{1} << 20;
    std::vector<char> buffer(kBlock);
    size_t held = 0;  // bytes of an unfinished line kept from the previous block
    for (;;) {
      if (buffer.size() - held < kBlock / 2) buffer.resize(buffer.size() * 2);  // a long line
      const size_t count = std::fread(buffer.data() + held, 1, buffer.size() - held, file);
      const bool last = count == 0;
      const size_t used = reader.readLines(std::string_view(buffer.data(), held + count), last);
      if (last) break;
      held = held + count - used;
      std::memmove(buffer.data(), buffer.data() + used, held);
    }
    return std::ferror(file) == 0;
  });
  std::fclose(file);
  if (!complete) zlog("OBJ file %s could not be read to its end\n", fileName.c_str());
  return complete;
}

bool ZObjectBuilder::loadOBJText(std::string_view obj, std::string_view mtl,
                                 const std::string& fileName) {
  return importObj(*this, mtl, fileName, [obj](ObjReader& reader) {
    reader.readLines(obj, true);
    return true;
  });
}
