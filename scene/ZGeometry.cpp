#include "scene/ZGeometry.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace {

// Dense ids for keys of exact float bit patterns, in order of first sight. Open addressing kept
// at most half full and grown with the number of distinct keys (not the number of lookups), so
// grouping by exact position stays linear and its table stays as small as the data allows.
template <size_t N>
class ExactKeyIds {
 public:
  using Key = std::array<uint32_t, N>;

  // Room for about expected keys without growing.
  explicit ExactKeyIds(size_t expected) {
    keys.reserve(expected);
    rehash(std::bit_ceil(std::max<size_t>(1024, expected * 2)));
  }

  // The id of key, a new one when it was not seen before.
  int32_t idOf(const Key& key) {
    const uint64_t h = hash(key);
    Slot& slot = slotOf(key, h);
    if (slot.id >= 0) return slot.id;
    slot = {int32_t(keys.size()), uint32_t(h)};
    keys.push_back(key);
    if (keys.size() * 2 > slots.size()) rehash(slots.size() * 2);
    return int32_t(keys.size() - 1);
  }

  size_t size() const { return keys.size(); }

 private:
  // A key's id and the low half of its hash, which rules out most other keys without reading
  // them (they lie in random places of `keys`).
  struct Slot {
    int32_t id = -1;
    uint32_t tag = 0;
  };

  static uint64_t hash(const Key& key) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t k : key) {
      h = (h ^ k) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 29;
    }
    return h * 0xC4CEB9FE1A85EC53ull;
  }

  // Element-wise, so that it compiles to a few compares instead of a library call.
  static bool same(const Key& p, const Key& q) {
    bool equal = true;
    for (size_t i = 0; i < N; ++i) equal &= p[i] == q[i];
    return equal;
  }

  // The slot holding key's id, or the empty slot where it belongs; h is hash(key).
  Slot& slotOf(const Key& key, uint64_t h) {
    const size_t mask = slots.size() - 1;
    for (size_t i = h >> shift;; i = (i + 1) & mask) {
      Slot& slot = slots[i];
      if (slot.id < 0 || (slot.tag == uint32_t(h) && same(keys[size_t(slot.id)], key))) {
        return slot;
      }
    }
  }

  void rehash(size_t capacity) {
    slots.assign(capacity, Slot());
    shift = 64 - std::countr_zero(capacity);
    for (size_t id = 0; id < keys.size(); ++id) {
      const uint64_t h = hash(keys[id]);
      slotOf(keys[id], h) = {int32_t(id), uint32_t(h)};
    }
  }

  std::vector<Slot> slots;
  std::vector<Key> keys;
  int shift = 0;
};

// Bits of v under float equality: -0 and +0 become one key. Never called with NaN, so the all-ones
// NaN pattern is free to mark keys that must equal nothing else.
constexpr uint32_t kUnequal = 0xFFFFFFFFu;
uint32_t equalityBits(float v) { return std::bit_cast<uint32_t>(v == 0 ? 0.0f : v); }

std::array<uint32_t, 4> positionKey(const ZVector& p, int32_t smoothingGroup) {
  return {equalityBits(p.x), equalityBits(p.y), equalityBits(p.z), uint32_t(smoothingGroup)};
}

bool hasNaN(const ZVector& v) { return std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z); }

// Sums one vector per face into the sums of the ids its corners carry; a face adds once to an
// id however many of its corners carry it. Faces arrive in order, so every sum is in face order.
class GroupSums {
 public:
  explicit GroupSums(size_t groups = 0) : entries(groups) {}

  // Makes room for ids below `groups`.
  void reserveGroups(size_t groups) {
    if (groups > entries.size()) entries.resize(groups);
  }

  void add(int32_t group, size_t face, const ZVector& value) {
    Entry& e = entries[size_t(group)];
    if (e.lastFace == face) return;
    e.lastFace = face;
    e.sum = e.sum + value;
  }

  // Normalises every sum once, however many vertices read it.
  void normalizeAll() {
    for (Entry& e : entries) e.sum.normalize();
  }

  const ZVector& operator[](int32_t group) const { return entries[size_t(group)].sum; }

 private:
  // Sum and its last face side by side: one cache line per update.
  struct Entry {
    ZVector sum;
    size_t lastFace = std::numeric_limits<size_t>::max();
  };
  std::vector<Entry> entries;
};

int32_t corner(const SFace& f, int k) { return k == 0 ? f.a : k == 1 ? f.b : f.c; }

// Tangent and binormal of one face from its positions and t0; a face whose t0 spans no area
// keeps its previous frame. The frame is then turned so that N . (B x T) is not positive.
void faceTangentFrame(SFace& f, const SVertex& v0, const SVertex& v1, const SVertex& v2) {
  const ZVector e1 = v1.position - v0.position;
  const ZVector e2 = v2.position - v0.position;
  const float du1 = v1.t0[0] - v0.t0[0];
  const float dv1 = v1.t0[1] - v0.t0[1];
  const float du2 = v2.t0[0] - v0.t0[0];
  const float dv2 = v2.t0[1] - v0.t0[1];
  const float det = du1 * dv2 - dv1 * du2;
  if (det != 0) {
    const float* a = e1.getFloatPtr();
    const float* b = e2.getFloatPtr();
    float* t = f.tangent.getFloatPtr();
    float* n = f.binormal.getFloatPtr();
    for (int i = 0; i < 3; ++i) {
      t[i] = -(a[i] * du2 - du1 * b[i]) / det;
      n[i] = -(dv1 * b[i] - dv2 * a[i]) / det;
    }
  }
  const ZVector& N = f.normal;
  const ZVector& B = f.binormal;
  const ZVector& T = f.tangent;
  const float handedness = N.x * (B.y * T.z - T.y * B.z) + N.y * (B.z * T.x - B.x * T.z) +
                           N.z * (T.y * B.x - B.y * T.x);
  if (handedness > 0) f.tangent = {-T.x, -T.y, -T.z};
}

}  // namespace

void ZGeometry::addVertex(const ZVector& p) {
  SVertex v;
  v.position = p;
  vertices.push_back(v);
  widenBoundingBox(p);
}

void ZGeometry::widenBoundingBox(const ZVector& p) {
  bboxMin = {std::min(bboxMin.x, p.x), std::min(bboxMin.y, p.y), std::min(bboxMin.z, p.z)};
  bboxMax = {std::max(bboxMax.x, p.x), std::max(bboxMax.y, p.y), std::max(bboxMax.z, p.z)};
}

void ZGeometry::addTriangle(int a, int b, int c) {
  for (int index : {a, b, c}) {
    if (index < 0 || size_t(index) >= vertices.size()) {
      zlog("WARNING INDEX=%d vertices=%d\n", index, int(vertices.size()));
    }
  }
  SFace f;
  f.a = a;
  f.b = b;
  f.c = c;
  faces.push_back(f);
}

void ZGeometry::setTextureVertex(int index, float u, float v, int channel) {
  if (channel != 0 && channel != 1) {
    zlog("WARNING ZGeometry::setTextureVertex(...), texture channel %d not supported\n", channel);
    return;
  }
  if (index < 0 || size_t(index) >= vertices.size()) return;
  float* t = channel == 0 ? vertices[size_t(index)].t0 : vertices[size_t(index)].t1;
  t[0] = u;
  t[1] = v;
}

bool ZGeometry::getVar(const std::string& varName, float& out) const {
  for (const SGeometryVar& var : vars) {
    if (var.name == varName) {
      out = var.value;
      return true;
    }
  }
  return false;
}

void ZGeometry::setVar(const std::string& varName, float value) {
  for (SGeometryVar& var : vars) {
    if (var.name == varName) {
      var.value = value;
      return;
    }
  }
  vars.push_back({varName, value});
}

void ZGeometry::setVars(const std::vector<SGeometryVar>& list) {
  vars.reserve(vars.size() + list.size());  // no reallocation: the names viewed stay in place
  std::unordered_map<std::string_view, size_t> byName;  // first variable of each name
  for (size_t k = 0; k < vars.size(); ++k) byName.try_emplace(vars[k].name, k);
  for (const SGeometryVar& var : list) {
    if (const auto found = byName.find(var.name); found != byName.end()) {
      vars[found->second].value = var.value;
    } else {
      vars.push_back(var);
      byName.emplace(vars.back().name, vars.size() - 1);
    }
  }
}

bool ZGeometry::isFaceInRange(const SFace& f) const {
  const auto inRange = [this](int32_t i) { return i >= 0 && size_t(i) < vertices.size(); };
  return inRange(f.a) && inRange(f.b) && inRange(f.c);
}

void ZGeometry::faceNormal(SFace& f) const {
  const ZVector& pb = vertices[size_t(f.b)].position;
  ZVector e1 = vertices[size_t(f.a)].position - pb;
  ZVector e2 = vertices[size_t(f.c)].position - pb;
  e1.normalize();
  e2.normalize();
  f.normal = e2 % e1;
}

void ZGeometry::generateFaceNormals() {
  for (SFace& f : faces) {
    if (isFaceInRange(f)) faceNormal(f);
  }
}

void ZGeometry::generateNormals() {
  // One key per (position, smoothing group): the faces gathered for a corner are exactly the
  // faces of the corner's face's group that have a corner at that position. Face normals are
  // made in the same pass (each depends on its own face only). A vertex takes the result of the
  // last corner that uses it, so only that corner's key is kept per vertex.
  constexpr int32_t kUnused = -1;
  constexpr int32_t kNoKey = -2;  // a NaN coordinate equals nothing: the corner gathers no face
  ExactKeyIds<4> keys(vertices.size());
  GroupSums sums;
  std::vector<int32_t> vertexKey(vertices.size(), kUnused);
  // Group of vertexKey's corner: a vertex record met again in the same group (the common case
  // in indexed meshes) reuses its key without a table lookup.
  std::vector<int32_t> vertexGroup(vertices.size());
  for (size_t f = 0; f < faces.size(); ++f) {
    SFace& face = faces[f];
    if (!isFaceInRange(face)) continue;
    faceNormal(face);
    for (int k = 0; k < 3; ++k) {
      const size_t v = size_t(corner(face, k));
      const ZVector& p = vertices[v].position;
      if (hasNaN(p)) {
        vertexKey[v] = kNoKey;
        continue;
      }
      if (vertexKey[v] < 0 || vertexGroup[v] != face.smoothingGroup) {
        vertexKey[v] = keys.idOf(positionKey(p, face.smoothingGroup));
        vertexGroup[v] = face.smoothingGroup;
        sums.reserveGroups(keys.size());
      }
      sums.add(vertexKey[v], f, face.normal);
    }
  }
  sums.normalizeAll();
  for (size_t v = 0; v < vertices.size(); ++v) {
    if (vertexKey[v] == kUnused) continue;
    vertices[v].normal = vertexKey[v] == kNoKey ? ZVector() : sums[vertexKey[v]];
  }
}

void ZGeometry::computeTangentFrames() {
  for (SFace& f : faces) {
    if (isFaceInRange(f)) {
      faceTangentFrame(f, vertices[size_t(f.a)], vertices[size_t(f.b)], vertices[size_t(f.c)]);
    }
  }
  // Vertices of exactly equal position and normal share one frame; a NaN coordinate equals
  // nothing, so such a vertex gets a key of its own.
  ExactKeyIds<6> keys(vertices.size());
  std::vector<int32_t> vertexKey(vertices.size());
  for (size_t i = 0; i < vertices.size(); ++i) {
    const ZVector& p = vertices[i].position;
    const ZVector& n = vertices[i].normal;
    vertexKey[i] = hasNaN(p) || hasNaN(n)
                       ? keys.idOf({kUnequal, uint32_t(i), 0, 0, 0, 0})
                       : keys.idOf({equalityBits(p.x), equalityBits(p.y), equalityBits(p.z),
                                    equalityBits(n.x), equalityBits(n.y), equalityBits(n.z)});
  }
  GroupSums tangents(keys.size());
  GroupSums binormals(keys.size());
  for (size_t f = 0; f < faces.size(); ++f) {
    if (!isFaceInRange(faces[f])) continue;
    for (int k = 0; k < 3; ++k) {
      const int32_t key = vertexKey[size_t(corner(faces[f], k))];
      tangents.add(key, f, faces[f].tangent);
      binormals.add(key, f, faces[f].binormal);
    }
  }
  tangents.normalizeAll();
  binormals.normalizeAll();
  for (size_t i = 0; i < vertices.size(); ++i) {
    vertices[i].tangent = tangents[vertexKey[i]];
    vertices[i].binormal = binormals[vertexKey[i]];
  }
}

void ZGeometry::initRadius() {
  center = ZVector();
  radius = 0;
  if (vertices.empty()) return;
  // Summed in double so that large meshes do not drift.
  double sx = 0, sy = 0, sz = 0;
  for (const SVertex& v : vertices) {
    sx += v.position.x;
    sy += v.position.y;
    sz += v.position.z;
  }
  const double count = double(vertices.size());
  center = {float(sx / count), float(sy / count), float(sz / count)};
  for (const SVertex& v : vertices) radius = std::max(radius, center.distance(v.position));
}

void ZGeometry::computeBoundingBox() {
  bboxMin = {99999, 99999, 99999};
  bboxMax = {-99999, -99999, -99999};
  for (const SVertex& v : vertices) widenBoundingBox(v.position);
}

void ZGeometry::scale(float x, float y, float z) {
  for (SVertex& v : vertices) v.position = {v.position.x * x, v.position.y * y, v.position.z * z};
}

void ZGeometry::rotateY(float degrees) {
  for (SVertex& v : vertices) {
    v.position.rotate2D(degrees);
    v.normal.rotate2D(degrees);
    v.tangent.rotate2D(degrees);
    v.binormal.rotate2D(degrees);
  }
}

void ZGeometry::flipFaces() {
  for (SFace& f : faces) std::swap(f.a, f.c);
}

void ZGeometry::invertTextureX() {
  for (SVertex& v : vertices) v.t0[0] = -v.t0[0];
}

void ZGeometry::normalizeTextureCoords() {
  for (SVertex& v : vertices) {
    zlog("(*i)->t0[0]%f -> ", v.t0[0]);
    v.t0[0] = float(std::fmod(double(v.t0[0]), 1.0));
    zlog("(*i)->t0[0]%f\n", v.t0[0]);
  }
}

void ZGeometry::loadLightmap() {
  const std::string file = name + "_lightmap.dds";
  const std::string path = engine != nullptr ? engine->shadowDirectoryList.findFile(file) : file;
  if (engine == nullptr || !canOpenForReading(path)) {
    zlog("Lightmap %s not found\n", file.c_str());
    return;
  }
  ZMaterial* lit = engine->getNewMaterial();
  if (material != nullptr) {
    lit->d3dMaterial = material->d3dMaterial;
    // The same stage record: later edits of the base texture show in both materials.
    lit->shareStage(0, *material);
  }
  ZTexture* lightmap = engine->getTexture("LIGHTMAP");
  lightmap->load(path);
  ZMaterialStage& s = lit->stage(1);
  s.texture = lightmap;
  s.active = true;
  s.colorArg1 = 1;  // current
  s.colorArg2 = 2;  // texture
  s.colorOp = 4;    // modulate
  s.mipMapFilter = 1;
  s.texCoordIndex = 1;  // t1
  material = lit;
}
