#include "platform/d3dx/MeshSimplify.h"

#include "platform/d3dx/XFileLoader.h"
#include "tests/platform/d3dx/MeshTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace {

// The 44-byte shader vertex.
struct Vertex {
  float position[3];
  float normal[3];
  float texture[2];
  float tangent[3];
};
static_assert(sizeof(Vertex) == 44);

struct Mesh {
  std::vector<Vertex> vertices;
  std::vector<uint32_t> indices;
  std::vector<DWORD> attributes;
};

void normalise(float v[3]) {
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int i = 0; i < 3; ++i) v[i] /= length;
}

// A height field over columns x in [x0, x0 + columns] and rows z in [0, rows], two triangles per
// unit square; attributes by square (column, row). vertexAt gives each vertex (grid point x, z; the
// triangle's side of the field for split vertices). With unwelded, every triangle has its own 3
// vertices.
using VertexAt = std::function<Vertex(int x, int z, bool rightHalf)>;
Mesh heightField(int x0, int columns, int rows, const VertexAt& vertexAt, bool unwelded,
                 const std::function<DWORD(int column, int row)>& attribute) {
  Mesh mesh;
  std::map<std::array<int, 3>, uint32_t> shared;
  const auto index = [&](int x, int z, bool right) {
    if (unwelded) {
      mesh.vertices.push_back(vertexAt(x, z, right));
      return uint32_t(mesh.vertices.size() - 1);
    }
    const auto [it, added] = shared.try_emplace({x, z, right}, uint32_t(mesh.vertices.size()));
    if (added) mesh.vertices.push_back(vertexAt(x, z, right));
    return it->second;
  };
  for (int z = 0; z < rows; ++z) {
    for (int c = 0; c < columns; ++c) {
      const int x = x0 + c;
      const bool right = x >= 0;  // the side of x = 0 this square lies on
      const uint32_t a = index(x, z, right), b = index(x + 1, z, right);
      const uint32_t d = index(x, z + 1, right), e = index(x + 1, z + 1, right);
      mesh.indices.insert(mesh.indices.end(), {a, d, b, b, d, e});
      mesh.attributes.insert(mesh.attributes.end(), 2, attribute(c, z));
    }
  }
  return mesh;
}

// Gentle waves: y = 0.1 sin(0.8 x) cos(0.6 z), analytic normal and tangent, uv over the field.
Vertex wave(int ix, int iz, bool) {
  const float x = float(ix), z = float(iz);
  const float dx = 0.08f * std::cos(0.8f * x) * std::cos(0.6f * z);
  const float dz = -0.06f * std::sin(0.8f * x) * std::sin(0.6f * z);
  Vertex v{{x, 0.1f * std::sin(0.8f * x) * std::cos(0.6f * z), z},
           {-dx, 1, -dz},
           {x / 5, z / 10},
           {1, dx, 0}};
  normalise(v.normal);
  normalise(v.tangent);
  return v;
}

MeshPtr toD3DX(const Mesh& mesh, DWORD options = D3DXMESH_MANAGED) {
  std::vector<uint8_t> bytes(mesh.vertices.size() * sizeof(Vertex));
  std::memcpy(bytes.data(), mesh.vertices.data(), bytes.size());
  return makeMesh(kShaderVertex, bytes, mesh.indices, options, mesh.attributes);
}

std::vector<Vertex> verticesOf(ID3DXMesh& mesh) {
  const std::vector<uint8_t> bytes = vertexBytes(mesh);
  std::vector<Vertex> vertices(bytes.size() / sizeof(Vertex));
  std::memcpy(vertices.data(), bytes.data(), bytes.size());
  return vertices;
}

MeshPtr simplify(ID3DXMesh& in, DWORD target, DWORD options) {
  const std::vector<DWORD> adjacency = adjacencyOf(in, 1e-5f);
  ID3DXMesh* out = nullptr;
  EXPECT_EQ(D3DXSimplifyMesh(&in, adjacency.data(), nullptr, nullptr, target, options, &out),
            D3D_OK);
  return MeshPtr(out);
}

std::array<float, 6> bounds(const std::vector<Vertex>& vertices) {
  std::array<float, 6> box{1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};
  for (const Vertex& v : vertices) {
    for (int i = 0; i < 3; ++i) {
      box[i] = std::min(box[i], v.position[i]);
      box[3 + i] = std::max(box[3 + i], v.position[i]);
    }
  }
  return box;
}

TEST(D3DXSimplifyMesh, HundredFacesToFiftyKeepVertexAttributes) {
  // Welded, and as a triangle soup where only the adjacency tells which corners meet.
  for (bool unwelded : {false, true}) {
    SCOPED_TRACE(unwelded ? "unwelded" : "welded");
    const Mesh source = heightField(0, 5, 10, wave, unwelded, [](int, int) { return 0u; });
    ASSERT_EQ(source.indices.size(), 300u);
    MeshPtr in = toD3DX(source);
    ASSERT_TRUE(in);
    MeshPtr out = simplify(*in, 50, D3DXMESHSIMP_FACE);
    ASSERT_TRUE(out);

    EXPECT_GT(out->GetNumFaces(), 0u);
    EXPECT_LE(out->GetNumFaces(), 50u);
    EXPECT_EQ(out->GetOptions(), D3DXMESH_MANAGED);
    EXPECT_EQ(out->GetNumBytesPerVertex(), 44u);
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    out->GetDeclaration(declaration);
    EXPECT_EQ(std::memcmp(declaration, kShaderVertex, sizeof kShaderVertex), 0);

    // Each output vertex is an input vertex, byte for byte: position, normal, t0, tangent.
    std::set<std::string> inputs;
    for (const Vertex& v : source.vertices) inputs.emplace(reinterpret_cast<const char*>(&v), 44);
    const std::vector<Vertex> vertices = verticesOf(*out);
    for (const Vertex& v : vertices) {
      EXPECT_TRUE(inputs.count(std::string(reinterpret_cast<const char*>(&v), 44)))
          << "vertex at " << v.position[0] << ", " << v.position[2] << " is not an input vertex";
    }
    for (uint32_t index : indexValues(*out)) ASSERT_LT(index, vertices.size());
    EXPECT_EQ(bounds(vertices), bounds(source.vertices));
  }
}

TEST(D3DXSimplifyMesh, SeamSidesKeepTheirOwnAttributes) {
  // Vertices at x = 0 are split: the left copy has u = 100, the right one u = 0. With a ridge
  // each side also has its own normal; without one only the texture seam tells them apart.
  for (bool ridge : {true, false}) {
    SCOPED_TRACE(ridge ? "ridge" : "flat texture seam");
    const auto tent = [ridge](int x, int z, bool right) {
      const float slope = ridge ? 0.5f : 0.0f;
      Vertex v{{float(x), 4 - slope * std::abs(float(x)), float(z)},
               {right ? slope : -slope, 1, 0},
               {float(x) + (right ? 0 : 100), float(z)},
               {1, 0, 0}};
      normalise(v.normal);
      return v;
    };
    const Mesh source = heightField(-3, 6, 8, tent, false, [](int, int) { return 0u; });
    MeshPtr in = toD3DX(source);
    ASSERT_TRUE(in);
    MeshPtr out = simplify(*in, 48, D3DXMESHSIMP_FACE);
    ASSERT_TRUE(out);
    EXPECT_LE(out->GetNumFaces(), 48u);

    const std::vector<Vertex> vertices = verticesOf(*out);
    const std::vector<uint32_t> indices = indexValues(*out);
    for (size_t i = 0; i < indices.size(); i += 3) {
      const Vertex* corner[3] = {&vertices[indices[i]], &vertices[indices[i + 1]],
                                 &vertices[indices[i + 2]]};
      float low = 1e30f, high = -1e30f;
      for (const Vertex* v : corner) {
        low = std::min(low, v->position[0]);
        high = std::max(high, v->position[0]);
      }
      const float* p = corner[0]->position;
      const float* q = corner[1]->position;
      const float* r = corner[2]->position;
      float n[3] = {(q[1] - p[1]) * (r[2] - p[2]) - (q[2] - p[2]) * (r[1] - p[1]),
                    (q[2] - p[2]) * (r[0] - p[0]) - (q[0] - p[0]) * (r[2] - p[2]),
                    (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0])};
      normalise(n);
      if (n[1] < 0) n[0] = -n[0], n[1] = -n[1], n[2] = -n[2];
      for (size_t k = 0; k < 3; ++k) {
        const Vertex& v = *corner[k];
        if (ridge) {
          EXPECT_GT(n[0] * v.normal[0] + n[1] * v.normal[1] + n[2] * v.normal[2], 0.999f)
              << "face " << i / 3 << " corner " << k << " took the other side's normal";
        }
        // A face on one side (it may touch x = 0) must use that side's copies.
        if (high <= 0 || low >= 0) {
          EXPECT_EQ(v.texture[0] > 50, high <= 0)
              << "face " << i / 3 << " corner " << k << " took the other side's texture";
        }
      }
    }
  }
}

TEST(D3DXSimplifyMesh, MaterialRegionsKeepTheirOutline) {
  // Material 0 takes two columns in even rows and three in odd ones, material 1 the rest: a
  // region's area over the ground plane survives only if no collapse moves its zigzag outline.
  // The target is below what interior collapses alone can reach.
  const Mesh source =
      heightField(0, 5, 10, wave, false, [](int c, int z) { return c < 2 + z % 2 ? 0u : 1u; });
  MeshPtr in = toD3DX(source);
  ASSERT_TRUE(in);
  MeshPtr out = simplify(*in, 20, D3DXMESHSIMP_FACE);
  ASSERT_TRUE(out);
  EXPECT_LT(out->GetNumFaces(), 100u);

  const std::vector<Vertex> vertices = verticesOf(*out);
  const std::vector<uint32_t> indices = indexValues(*out);
  const std::vector<DWORD> attributes = attributeValues(*out);
  double area[2] = {0, 0};
  for (size_t f = 0; f < attributes.size(); ++f) {
    ASSERT_LT(attributes[f], 2u);
    const float* p = vertices[indices[3 * f]].position;
    const float* q = vertices[indices[3 * f + 1]].position;
    const float* r = vertices[indices[3 * f + 2]].position;
    area[attributes[f]] +=
        std::abs((q[0] - p[0]) * (r[2] - p[2]) - (q[2] - p[2]) * (r[0] - p[0])) / 2;
  }
  EXPECT_NEAR(area[0], 25.0, 1e-4);
  EXPECT_NEAR(area[1], 25.0, 1e-4);

  // No cracks between the regions: an edge used by one face only lies on the field's rim.
  std::map<std::pair<std::array<float, 3>, std::array<float, 3>>, int> edges;
  const auto point = [&](uint32_t index) {
    const float* p = vertices[index].position;
    return std::array<float, 3>{p[0], p[1], p[2]};
  };
  for (size_t i = 0; i < indices.size(); ++i) {
    const auto a = point(indices[i]);
    const auto b = point(indices[i % 3 == 2 ? i - 2 : i + 1]);
    ++edges[std::minmax(a, b)];
  }
  for (const auto& [edge, uses] : edges) {
    const auto& [a, b] = edge;
    const bool rim =
        (a[0] == b[0] && (a[0] == 0 || a[0] == 5)) || (a[2] == b[2] && (a[2] == 0 || a[2] == 10));
    EXPECT_TRUE(uses == 2 || (uses == 1 && rim))
        << "edge " << a[0] << "," << a[2] << " - " << b[0] << "," << b[2] << " used " << uses;
  }
}

TEST(D3DXSimplifyMesh, VertexTargetAndWideIndices) {
  const Mesh source = heightField(0, 5, 10, wave, false, [](int, int) { return 0u; });
  ASSERT_EQ(source.vertices.size(), 66u);
  MeshPtr in = toD3DX(source, D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM);
  ASSERT_TRUE(in);
  MeshPtr out = simplify(*in, 20, D3DXMESHSIMP_VERTEX);
  ASSERT_TRUE(out);
  EXPECT_GT(out->GetNumVertices(), 2u);
  EXPECT_LE(out->GetNumVertices(), 20u);
  EXPECT_EQ(out->GetOptions(), D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM);
  for (uint32_t index : indexValues(*out)) EXPECT_LT(index, out->GetNumVertices());
}

TEST(D3DXSimplifyMesh, RealModelHalvesAsTheEditorAsks) {
  // A skinned creature with texture seams, halved as the editor's simplify command does.
  ID3DXMesh* raw = nullptr;
  ASSERT_EQ(D3DXLoadMeshFromXA(SHARED_TESTDATA "/x/Testwuson.X", D3DXMESH_MANAGED, nullptr,
                               nullptr, nullptr, nullptr, nullptr, &raw),
            D3D_OK);
  MeshPtr in(raw);
  ASSERT_EQ(in->GetNumFaces(), 3732u);
  MeshPtr out = simplify(*in, 3732 / 2, D3DXMESHSIMP_FACE);
  ASSERT_TRUE(out);
  EXPECT_LE(out->GetNumFaces(), 1866u);
  EXPECT_GT(out->GetNumFaces(), 1700u);
  const std::vector<uint8_t> before = vertexBytes(*in);
  const std::vector<uint8_t> after = vertexBytes(*out);
  std::set<std::string> inputs;
  for (size_t i = 0; i < before.size(); i += 32) {
    inputs.emplace(reinterpret_cast<const char*>(&before[i]), 32);
  }
  for (size_t i = 0; i < after.size(); i += 32) {
    EXPECT_TRUE(inputs.count(std::string(reinterpret_cast<const char*>(&after[i]), 32)));
  }
}

TEST(D3DXSimplifyMesh, TargetAboveTheCountKeepsTheMeshAndDoesNotAbort) {
  // meshoptimizer asserts on a target above its input; such targets must come back whole.
  const Mesh source = heightField(0, 5, 10, wave, false, [](int, int) { return 0u; });
  MeshPtr in = toD3DX(source);
  ASSERT_TRUE(in);
  for (DWORD options : {D3DXMESHSIMP_FACE, D3DXMESHSIMP_VERTEX}) {
    MeshPtr out = simplify(*in, 1000, options);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->GetNumFaces(), 100u);
    EXPECT_EQ(out->GetNumVertices(), 66u);
    EXPECT_EQ(vertexBytes(*out), vertexBytes(*in));
  }
}

TEST(D3DXSimplifyMesh, RefusesBadArgumentsAndEmptyResults) {
  const Mesh source = heightField(0, 2, 2, wave, false, [](int, int) { return 0u; });
  MeshPtr in = toD3DX(source);
  ASSERT_TRUE(in);
  std::vector<DWORD> adjacency = adjacencyOf(*in, 0);
  ID3DXMesh* out = reinterpret_cast<ID3DXMesh*>(uintptr_t(0x1));
  const auto call = [&](ID3DXMesh* mesh, const DWORD* adj, DWORD options) {
    out = reinterpret_cast<ID3DXMesh*>(uintptr_t(0x1));
    return D3DXSimplifyMesh(mesh, adj, nullptr, nullptr, 4, options, &out);
  };
  EXPECT_EQ(call(nullptr, adjacency.data(), D3DXMESHSIMP_FACE), D3DERR_INVALIDCALL);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(call(in.get(), nullptr, D3DXMESHSIMP_FACE), D3DERR_INVALIDCALL);
  EXPECT_EQ(call(in.get(), adjacency.data(), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(call(in.get(), adjacency.data(), D3DXMESHSIMP_FACE | D3DXMESHSIMP_VERTEX),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(
      D3DXSimplifyMesh(in.get(), adjacency.data(), nullptr, nullptr, 4, D3DXMESHSIMP_FACE, nullptr),
      D3DERR_INVALIDCALL);
  adjacency[4] = 8;  // the mesh has faces 0-7
  EXPECT_EQ(call(in.get(), adjacency.data(), D3DXMESHSIMP_FACE), D3DERR_INVALIDCALL);
  EXPECT_EQ(out, nullptr);

  // Nothing but degenerate faces: no face can be left.
  MeshPtr flat = makePositionMesh({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 1, 2, 2, 0});
  ASSERT_TRUE(flat);
  const std::vector<DWORD> none(6, 0xFFFFFFFF);
  EXPECT_EQ(call(flat.get(), none.data(), D3DXMESHSIMP_FACE), E_FAIL);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
