#include "platform/d3dx/D3DXMesh.h"

#include "platform/d3dx/mesh_local.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>

namespace {

constexpr DWORD kKnownOptions = 0x1FFFF;  // every D3DXMESH_* bit
constexpr uint64_t kMaxBufferBytes = uint64_t(1) << 30;
constexpr DWORD kMaxVertices16 = 0xFFFF;
constexpr DWORD kNoNeighbour = 0xFFFFFFFF;
constexpr uint32_t kNone = 0xFFFFFFFF;

HRESULT unlock(UINT& locks) {
  if (locks == 0) return D3DERR_INVALIDCALL;
  --locks;
  return D3D_OK;
}

struct Cell {
  int64_t x, y, z;
  bool operator==(const Cell&) const = default;
};

struct CellHash {
  size_t operator()(const Cell& c) const {
    uint64_t h = uint64_t(c.x) * 0x9E3779B97F4A7C15ull;
    h ^= uint64_t(c.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= uint64_t(c.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return size_t(h);
  }
};

// Cell of one coordinate: epsilon-sized bins, or the exact value when epsilon is 0 (-0 and +0
// share a bin). Bins are clamped so that huge values cannot overflow; callers keep non-finite
// values out.
int64_t binOf(float value, float epsilon) {
  if (epsilon == 0) return value == 0 ? 0 : int64_t(std::bit_cast<uint32_t>(value));
  constexpr double kLimit = 4.0e18;
  const double bin = std::floor(double(value) / epsilon);
  if (!(bin > -kLimit)) return int64_t(-kLimit);
  return int64_t(std::min(bin, kLimit));
}

// For each vertex, the first earlier representative within epsilon, else the vertex itself
// (which then represents later ones). Representatives are kept in per-cell lists, so a vertex
// searches the 27 cells around it (its own cell when epsilon is 0), not all vertices.
std::vector<uint32_t> pointRepresentatives(const std::vector<float>& positions, float epsilon) {
  const size_t count = positions.size() / 3;
  const double limit = double(epsilon) * epsilon;
  const int64_t reach = epsilon > 0 ? 1 : 0;
  std::unordered_map<Cell, uint32_t, CellHash> heads;
  heads.reserve(count);
  std::vector<uint32_t> next(count, kNone);
  std::vector<uint32_t> reps(count);
  const auto distance2 = [&](size_t a, size_t b) {
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
      const double d = double(positions[3 * a + i]) - positions[3 * b + i];
      sum += d * d;
    }
    return sum;
  };
  for (size_t v = 0; v < count; ++v) {
    // A non-finite position is within epsilon of nothing: it stays out of the cell lists, where
    // every such vertex would share one cell and make the search quadratic.
    if (!std::isfinite(positions[3 * v]) || !std::isfinite(positions[3 * v + 1]) ||
        !std::isfinite(positions[3 * v + 2])) {
      reps[v] = uint32_t(v);
      continue;
    }
    const Cell cell{binOf(positions[3 * v], epsilon), binOf(positions[3 * v + 1], epsilon),
                    binOf(positions[3 * v + 2], epsilon)};
    uint32_t best = kNone;
    for (int64_t dx = -reach; dx <= reach; ++dx) {
      for (int64_t dy = -reach; dy <= reach; ++dy) {
        for (int64_t dz = -reach; dz <= reach; ++dz) {
          const auto it = heads.find({cell.x + dx, cell.y + dy, cell.z + dz});
          if (it == heads.end()) continue;
          for (uint32_t r = it->second; r != kNone; r = next[r]) {
            if (r < best && distance2(v, r) <= limit) best = r;
          }
        }
      }
    }
    if (best != kNone) {
      reps[v] = best;
      continue;
    }
    reps[v] = uint32_t(v);
    const auto [it, inserted] = heads.try_emplace(cell, uint32_t(v));
    if (!inserted) {
      next[v] = it->second;
      it->second = uint32_t(v);
    }
  }
  return reps;
}

// Pairs each directed edge (u, v) with an unpaired (v, u) of another face, lowest edge first.
void pairEdges(const std::vector<uint32_t>& indices, const std::vector<uint32_t>& reps,
               DWORD* adjacency) {
  std::fill(adjacency, adjacency + indices.size(), kNoNeighbour);
  const auto key = [](uint32_t from, uint32_t to) { return (uint64_t(from) << 32) | to; };
  std::unordered_multimap<uint64_t, uint32_t> open;  // directed edge -> edge slot (3 * face + k)
  open.reserve(indices.size());
  for (uint32_t slot = 0; slot < indices.size(); ++slot) {
    const uint32_t face = slot / 3;
    const uint32_t from = reps[indices[slot]];
    const uint32_t to = reps[indices[face * 3 + (slot + 1) % 3]];
    if (from == to) continue;
    const auto [first, last] = open.equal_range(key(to, from));
    auto match = last;
    for (auto it = first; it != last; ++it) {
      if (it->second / 3 != face && (match == last || it->second < match->second)) match = it;
    }
    if (match == last) {
      open.emplace(key(from, to), slot);
      continue;
    }
    adjacency[slot] = match->second / 3;
    adjacency[match->second] = face;
    open.erase(match);
  }
}

}  // namespace

UINT ID3DXMesh::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

HRESULT ID3DXMesh::GetDeclaration(D3DVERTEXELEMENT9 out[MAX_FVF_DECL_SIZE]) const {
  if (!out) return D3DERR_INVALIDCALL;
  std::copy_n(declaration, D3DXGetDeclLength(declaration) + 1, out);
  return D3D_OK;
}

HRESULT ID3DXMesh::LockVertexBuffer(DWORD, void** data) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = vertices.data();
  ++vertexLocks;
  return D3D_OK;
}

HRESULT ID3DXMesh::UnlockVertexBuffer() { return unlock(vertexLocks); }

HRESULT ID3DXMesh::LockIndexBuffer(DWORD, void** data) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = indices.data();
  ++indexLocks;
  return D3D_OK;
}

HRESULT ID3DXMesh::UnlockIndexBuffer() { return unlock(indexLocks); }

HRESULT ID3DXMesh::LockAttributeBuffer(DWORD, DWORD** data) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = attributes.data();
  ++attributeLocks;
  return D3D_OK;
}

HRESULT ID3DXMesh::UnlockAttributeBuffer() { return unlock(attributeLocks); }

HRESULT ID3DXMesh::GenerateAdjacency(float epsilon, DWORD* adjacency) {
  if (!adjacency || !(epsilon >= 0)) return D3DERR_INVALIDCALL;
  MeshGeometry geometry;
  const HRESULT read = readMeshGeometry(*this, geometry);
  if (FAILED(read)) return read;
  try {
    pairEdges(geometry.indices, pointRepresentatives(geometry.positions, epsilon), adjacency);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return D3D_OK;
}

HRESULT readMeshGeometry(ID3DXMesh& mesh, MeshGeometry& geometry) {
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  mesh.GetDeclaration(declaration);
  const D3DVERTEXELEMENT9* begin = declaration;
  const D3DVERTEXELEMENT9* end = begin + D3DXGetDeclLength(declaration);
  const D3DVERTEXELEMENT9* position = std::find_if(begin, end, [](const auto& e) {
    return e.Usage == D3DDECLUSAGE_POSITION && e.UsageIndex == 0;
  });
  if (position == end || position->Type != D3DDECLTYPE_FLOAT3) return D3DERR_INVALIDCALL;
  const size_t vertexCount = mesh.GetNumVertices();
  const size_t stride = mesh.GetNumBytesPerVertex();
  try {
    geometry.indices.resize(size_t(mesh.GetNumFaces()) * 3);
    geometry.positions.resize(vertexCount * 3);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  void* data = nullptr;
  mesh.LockIndexBuffer(D3DLOCK_READONLY, &data);
  const bool wide = (mesh.GetOptions() & D3DXMESH_32BIT) != 0;
  bool inRange = true;
  for (size_t i = 0; i < geometry.indices.size(); ++i) {
    uint32_t index = 0;
    if (wide) {
      std::memcpy(&index, static_cast<const uint8_t*>(data) + 4 * i, 4);
    } else {
      uint16_t narrow = 0;
      std::memcpy(&narrow, static_cast<const uint8_t*>(data) + 2 * i, 2);
      index = narrow;
    }
    inRange = inRange && index < vertexCount;
    geometry.indices[i] = index;
  }
  mesh.UnlockIndexBuffer();
  if (!inRange) return D3DERR_INVALIDCALL;
  mesh.LockVertexBuffer(D3DLOCK_READONLY, &data);
  for (size_t v = 0; v < vertexCount; ++v) {
    std::memcpy(&geometry.positions[3 * v],
                static_cast<const uint8_t*>(data) + v * stride + position->Offset,
                3 * sizeof(float));
  }
  mesh.UnlockVertexBuffer();
  return D3D_OK;
}

HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options,
                       const D3DVERTEXELEMENT9* declaration, void* /*device*/, ID3DXMesh** mesh) {
  if (!mesh) return D3DERR_INVALIDCALL;
  *mesh = nullptr;
  const UINT stride = D3DXGetDeclVertexSize(declaration, 0);
  const bool wide = (options & D3DXMESH_32BIT) != 0;
  if (stride == 0 || (options & ~kKnownOptions) != 0 || numFaces == 0 || numVertices == 0 ||
      (!wide && numVertices > kMaxVertices16)) {
    return D3DERR_INVALIDCALL;
  }
  const uint64_t vertexBytes = uint64_t(numVertices) * stride;
  const uint64_t indexBytes = uint64_t(numFaces) * 3 * (wide ? 4 : 2);
  if (vertexBytes > kMaxBufferBytes || indexBytes > kMaxBufferBytes) return D3DERR_INVALIDCALL;

  ID3DXMesh* created = new (std::nothrow) ID3DXMesh;
  if (!created) return E_OUTOFMEMORY;
  try {
    created->vertices.resize(vertexBytes);
    created->indices.resize(indexBytes);
    created->attributes.resize(numFaces);
  } catch (const std::bad_alloc&) {
    delete created;
    return E_OUTOFMEMORY;
  }
  std::copy_n(declaration, D3DXGetDeclLength(declaration) + 1, created->declaration);
  created->numFaces = numFaces;
  created->numVertices = numVertices;
  created->bytesPerVertex = stride;
  created->options = options;
  D3DXFVFFromDeclarator(declaration, &created->fvf);  // stays 0 where no FVF fits
  *mesh = created;
  return D3D_OK;
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, void* device,
                          ID3DXMesh** mesh) {
  if (mesh) *mesh = nullptr;
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  if (FAILED(D3DXDeclaratorFromFVF(fvf, declaration))) return D3DERR_INVALIDCALL;
  return D3DXCreateMesh(numFaces, numVertices, options, declaration, device, mesh);
}
