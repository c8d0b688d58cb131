#include "platform/d3dx/MeshSimplify.h"

#include "platform/d3dx/mesh_local.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <numeric>

namespace {

constexpr DWORD kNoNeighbour = 0xFFFFFFFF;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr int kVertexTargetRounds = 8;

struct Vec3 {
  double x, y, z;
};

Vec3 positionOf(const MeshGeometry& geometry, uint32_t vertex) {
  const float* p = &geometry.positions[3 * size_t(vertex)];
  return {p[0], p[1], p[2]};
}

double distance2(const MeshGeometry& geometry, uint32_t a, uint32_t b) {
  const Vec3 p = positionOf(geometry, a);
  const Vec3 q = positionOf(geometry, b);
  return (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z);
}

// Unit normal of the triangle (a, b, c); zero when it has no area.
Vec3 triangleNormal(const MeshGeometry& geometry, uint32_t a, uint32_t b, uint32_t c) {
  const Vec3 p = positionOf(geometry, a);
  const Vec3 q = positionOf(geometry, b);
  const Vec3 r = positionOf(geometry, c);
  const Vec3 u{q.x - p.x, q.y - p.y, q.z - p.z};
  const Vec3 v{r.x - p.x, r.y - p.y, r.z - p.z};
  const Vec3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
  const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 0)) return {0, 0, 0};
  return {n.x / length, n.y / length, n.z / length};
}

Vec3 centroid(const MeshGeometry& geometry, uint32_t a, uint32_t b, uint32_t c) {
  const Vec3 p = positionOf(geometry, a);
  const Vec3 q = positionOf(geometry, b);
  const Vec3 r = positionOf(geometry, c);
  return {(p.x + q.x + r.x) / 3, (p.y + q.y + r.y) / 3, (p.z + q.z + r.z) / 3};
}

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Unit vector from a towards b; zero when they coincide.
Vec3 direction(const Vec3& a, const Vec3& b) {
  const Vec3 d{b.x - a.x, b.y - a.y, b.z - a.z};
  const double length = std::sqrt(dot(d, d));
  if (!(length > 0)) return {0, 0, 0};
  return {d.x / length, d.y / length, d.z / length};
}

uint32_t findRoot(std::vector<uint32_t>& parent, uint32_t v) {
  while (parent[v] != v) {
    parent[v] = parent[parent[v]];
    v = parent[v];
  }
  return v;
}

void join(std::vector<uint32_t>& parent, uint32_t a, uint32_t b) {
  a = findRoot(parent, a);
  b = findRoot(parent, b);
  if (a < b) parent[b] = a;
  if (b < a) parent[a] = b;
}

// Canonical vertex of every vertex: the lowest vertex it is joined to, where the ends of each
// edge shared by two faces (named by both in the adjacency) are joined end to nearer end.
std::vector<uint32_t> joinAcrossEdges(const MeshGeometry& geometry, const DWORD* adjacency) {
  const std::vector<uint32_t>& index = geometry.indices;
  std::vector<uint32_t> parent(geometry.positions.size() / 3);
  std::iota(parent.begin(), parent.end(), 0u);
  for (uint32_t slot = 0; slot < index.size(); ++slot) {
    const uint32_t face = slot / 3;
    const DWORD other = adjacency[slot];
    if (other == kNoNeighbour || other <= face) continue;  // each pair once, from its lower face
    for (uint32_t k = 0; k < 3; ++k) {
      if (adjacency[3 * other + k] != face) continue;
      const uint32_t a = index[slot];
      const uint32_t b = index[face * 3 + (slot + 1) % 3];
      const uint32_t c = index[3 * other + k];
      const uint32_t d = index[3 * other + (k + 1) % 3];
      const bool straight = distance2(geometry, a, c) + distance2(geometry, b, d) <=
                            distance2(geometry, a, d) + distance2(geometry, b, c);
      join(parent, a, straight ? c : d);
      join(parent, b, straight ? d : c);
      break;
    }
  }
  for (uint32_t v = 0; v < parent.size(); ++v) parent[v] = findRoot(parent, v);
  return parent;
}

// The input as the simplifier sees it: faces over canonical vertices, degenerate ones left
// out, with the faces around each canonical vertex for finding seam copies again. The
// simplifier gets only the canonical vertices the faces use ("compact" numbering): the joined
// copies left behind would otherwise sit at the same points and count as seams, which lock.
struct Topology {
  std::vector<uint32_t> canonical;      // per input vertex
  std::vector<uint32_t> faces;          // kept input faces
  std::vector<Vec3> normals;            // per input face, from canonical positions
  std::vector<Vec3> centroids;          // per input face, from canonical positions
  std::vector<uint32_t> incidentStart;  // per canonical vertex, into incident; one extra at end
  std::vector<uint32_t> incident;       // input faces around each vertex
  std::vector<uint32_t> compact;  // per input vertex: its compact number, if canonical and used
  std::vector<uint32_t> expand;   // per compact vertex: the canonical vertex
  std::vector<float> positions;   // per compact vertex: x, y, z
};

Topology buildTopology(const MeshGeometry& geometry, const DWORD* adjacency) {
  Topology t;
  t.canonical = joinAcrossEdges(geometry, adjacency);
  const auto corner = [&](uint32_t face, uint32_t k) {
    return t.canonical[geometry.indices[3 * face + k]];
  };
  const uint32_t faceCount = uint32_t(geometry.indices.size() / 3);
  t.normals.resize(faceCount);
  t.centroids.resize(faceCount);
  t.incidentStart.assign(t.canonical.size() + 1, 0);
  for (uint32_t f = 0; f < faceCount; ++f) {
    const uint32_t a = corner(f, 0), b = corner(f, 1), c = corner(f, 2);
    if (a == b || b == c || a == c) continue;
    t.faces.push_back(f);
    t.normals[f] = triangleNormal(geometry, a, b, c);
    t.centroids[f] = centroid(geometry, a, b, c);
    for (uint32_t k = 0; k < 3; ++k) ++t.incidentStart[corner(f, k) + 1];
  }
  std::partial_sum(t.incidentStart.begin(), t.incidentStart.end(), t.incidentStart.begin());
  t.incident.resize(t.incidentStart.back());
  std::vector<uint32_t> fill(t.incidentStart.begin(), t.incidentStart.end() - 1);
  t.compact.assign(t.canonical.size(), kNone);
  for (uint32_t f : t.faces) {
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t c = corner(f, k);
      t.incident[fill[c]++] = f;
      if (t.compact[c] != kNone) continue;
      t.compact[c] = uint32_t(t.expand.size());
      t.expand.push_back(c);
      t.positions.insert(t.positions.end(), &geometry.positions[3 * size_t(c)],
                         &geometry.positions[3 * size_t(c)] + 3);
    }
  }
  return t;
}

// The input vertex to use for canonical corner `at` of output triangle `tri` (canonical
// corners) in attribute group `attribute`: the copy of the input face around `at` that lies
// most in the triangle's direction from `at` (the same side of a seam) and faces most the same
// way (the same side of a crease).
uint32_t seamCopy(const MeshGeometry& geometry, const Topology& t,
                  const std::vector<DWORD>& attributes, DWORD attribute, const uint32_t tri[3],
                  uint32_t at) {
  const Vec3 normal = triangleNormal(geometry, tri[0], tri[1], tri[2]);
  const Vec3 corner = positionOf(geometry, at);
  const Vec3 toward = direction(corner, centroid(geometry, tri[0], tri[1], tri[2]));
  double bestScore = -DBL_MAX;
  uint32_t best = at;
  for (uint32_t i = t.incidentStart[at]; i < t.incidentStart[at + 1]; ++i) {
    const uint32_t face = t.incident[i];
    if (attributes[face] != attribute) continue;
    const double score =
        dot(toward, direction(corner, t.centroids[face])) + dot(normal, t.normals[face]);
    if (score <= bestScore) continue;
    bestScore = score;
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t original = geometry.indices[3 * face + k];
      if (t.canonical[original] == at) best = original;
    }
  }
  return best;
}

struct Simplified {
  std::vector<uint32_t> corners;  // input vertex per output corner
  std::vector<DWORD> attributes;  // per output face
};

Simplified simplifyToFaces(const MeshGeometry& geometry, const Topology& t,
                           const std::vector<DWORD>& attributes, size_t targetFaces) {
  std::map<DWORD, std::vector<uint32_t>> groups;  // attribute -> compact corners
  for (uint32_t f : t.faces) {
    std::vector<uint32_t>& group = groups[attributes[f]];
    for (uint32_t k = 0; k < 3; ++k) {
      group.push_back(t.compact[t.canonical[geometry.indices[3 * f + k]]]);
    }
  }
  const unsigned lock = groups.size() > 1 ? meshopt_SimplifyLockBorder : 0;
  Simplified result;
  std::vector<uint32_t> kept;
  for (const auto& [attribute, group] : groups) {
    // The library asserts (aborts) on a target above the input, so the share is clamped.
    const size_t groupFaces = group.size() / 3;
    const size_t share = (groupFaces * targetFaces + t.faces.size() / 2) / t.faces.size();
    const size_t target = std::clamp<size_t>(share, 1, groupFaces) * 3;
    kept.resize(group.size());
    kept.resize(meshopt_simplify(kept.data(), group.data(), group.size(), t.positions.data(),
                                 t.expand.size(), 3 * sizeof(float), target, FLT_MAX, lock,
                                 nullptr));
    for (size_t i = 0; i < kept.size(); i += 3) {
      const uint32_t tri[3] = {t.expand[kept[i]], t.expand[kept[i + 1]], t.expand[kept[i + 2]]};
      for (uint32_t at : tri) {
        result.corners.push_back(seamCopy(geometry, t, attributes, attribute, tri, at));
      }
      result.attributes.push_back(attribute);
    }
  }
  return result;
}

size_t distinctCount(const std::vector<uint32_t>& values) {
  std::vector<uint32_t> sorted(values);
  std::sort(sorted.begin(), sorted.end());
  return size_t(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

// Face target first; with a vertex target the face target shrinks by the overshoot until the
// vertex count fits or the rounds run out.
Simplified simplifyToTarget(const MeshGeometry& geometry, const Topology& t,
                            const std::vector<DWORD>& attributes, DWORD minValue, DWORD options) {
  if (options == D3DXMESHSIMP_FACE) return simplifyToFaces(geometry, t, attributes, minValue);
  const size_t vertexCount = std::max<size_t>(distinctCount(geometry.indices), 1);
  size_t targetFaces = std::max<size_t>(t.faces.size() * minValue / vertexCount, 1);
  Simplified result = simplifyToFaces(geometry, t, attributes, targetFaces);
  for (int round = 1; round < kVertexTargetRounds && targetFaces > 1; ++round) {
    const size_t vertices = distinctCount(result.corners);
    if (vertices <= minValue) break;
    targetFaces = std::min(targetFaces - 1, std::max<size_t>(targetFaces * minValue / vertices, 1));
    result = simplifyToFaces(geometry, t, attributes, targetFaces);
  }
  return result;
}

// New mesh with in's layout and options holding the chosen input vertices, in their input
// order, and the output faces.
HRESULT buildMesh(ID3DXMesh& in, const Simplified& simplified, ID3DXMesh** out) {
  std::vector<uint32_t> remap(in.GetNumVertices(), kNone);
  for (uint32_t v : simplified.corners) remap[v] = 0;
  std::vector<uint32_t> order;
  for (uint32_t v = 0; v < remap.size(); ++v) {
    if (remap[v] == kNone) continue;
    remap[v] = uint32_t(order.size());
    order.push_back(v);
  }
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  in.GetDeclaration(declaration);
  ID3DXMesh* mesh = nullptr;
  const HRESULT created = D3DXCreateMesh(DWORD(simplified.attributes.size()), DWORD(order.size()),
                                         in.GetOptions(), declaration, nullptr, &mesh);
  if (FAILED(created)) return created;

  const size_t stride = in.GetNumBytesPerVertex();
  void* source = nullptr;
  void* target = nullptr;
  in.LockVertexBuffer(D3DLOCK_READONLY, &source);
  mesh->LockVertexBuffer(0, &target);
  for (size_t i = 0; i < order.size(); ++i) {
    std::memcpy(static_cast<uint8_t*>(target) + i * stride,
                static_cast<const uint8_t*>(source) + order[i] * stride, stride);
  }
  mesh->UnlockVertexBuffer();
  in.UnlockVertexBuffer();

  const bool wide = (in.GetOptions() & D3DXMESH_32BIT) != 0;
  mesh->LockIndexBuffer(0, &target);
  for (size_t i = 0; i < simplified.corners.size(); ++i) {
    const uint32_t index = remap[simplified.corners[i]];
    if (wide) {
      std::memcpy(static_cast<uint8_t*>(target) + 4 * i, &index, 4);
    } else {
      const uint16_t narrow = uint16_t(index);
      std::memcpy(static_cast<uint8_t*>(target) + 2 * i, &narrow, 2);
    }
  }
  mesh->UnlockIndexBuffer();

  DWORD* ids = nullptr;
  mesh->LockAttributeBuffer(0, &ids);
  std::copy(simplified.attributes.begin(), simplified.attributes.end(), ids);
  mesh->UnlockAttributeBuffer();
  *out = mesh;
  return D3D_OK;
}

}  // namespace

HRESULT D3DXSimplifyMesh(ID3DXMesh* in, const DWORD* adjacency, const void* /*attributeWeights*/,
                         const float* /*vertexWeights*/, DWORD minValue, DWORD options,
                         ID3DXMesh** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!in || !adjacency || (options != D3DXMESHSIMP_FACE && options != D3DXMESHSIMP_VERTEX)) {
    return D3DERR_INVALIDCALL;
  }
  const DWORD faceCount = in->GetNumFaces();
  for (size_t i = 0; i < size_t(faceCount) * 3; ++i) {
    if (adjacency[i] != kNoNeighbour && adjacency[i] >= faceCount) return D3DERR_INVALIDCALL;
  }
  MeshGeometry geometry;
  const HRESULT read = readMeshGeometry(*in, geometry);
  if (FAILED(read)) return read;
  try {
    std::vector<DWORD> attributes(faceCount);
    DWORD* ids = nullptr;
    in->LockAttributeBuffer(D3DLOCK_READONLY, &ids);
    std::copy_n(ids, faceCount, attributes.begin());
    in->UnlockAttributeBuffer();

    const Topology topology = buildTopology(geometry, adjacency);
    if (topology.faces.empty()) return E_FAIL;
    const Simplified simplified =
        simplifyToTarget(geometry, topology, attributes, minValue, options);
    if (simplified.attributes.empty()) return E_FAIL;
    return buildMesh(*in, simplified, out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
