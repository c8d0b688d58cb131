#include "platform/d3dx/D3DXMesh.h"

#include "tests/platform/d3dx/MeshTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <set>

namespace {

constexpr DWORD kNone = 0xFFFFFFFF;

TEST(D3DXMesh, CreateWithShaderDeclarationAndLock) {
  ID3DXMesh* raw = nullptr;
  ASSERT_EQ(D3DXCreateMesh(2, 4, D3DXMESH_MANAGED, kShaderVertex, nullptr, &raw), D3D_OK);
  MeshPtr mesh(raw);
  EXPECT_EQ(mesh->GetNumFaces(), 2u);
  EXPECT_EQ(mesh->GetNumVertices(), 4u);
  EXPECT_EQ(mesh->GetNumBytesPerVertex(), 44u);
  EXPECT_EQ(mesh->GetOptions(), D3DXMESH_MANAGED);
  EXPECT_EQ(mesh->GetFVF(), 0u);  // the tangent has no FVF bit

  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  ASSERT_EQ(mesh->GetDeclaration(declaration), D3D_OK);
  EXPECT_EQ(std::memcmp(declaration, kShaderVertex, sizeof kShaderVertex), 0);

  // What is written between lock and unlock is there at the next lock; buffers start zeroed.
  std::vector<uint8_t> pattern(4 * 44);
  std::iota(pattern.begin(), pattern.end(), uint8_t(1));
  void* data = nullptr;
  ASSERT_EQ(mesh->LockVertexBuffer(0, &data), D3D_OK);
  EXPECT_TRUE(std::all_of(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + pattern.size(),
                          [](uint8_t b) { return b == 0; }));
  std::memcpy(data, pattern.data(), pattern.size());
  ASSERT_EQ(mesh->UnlockVertexBuffer(), D3D_OK);
  EXPECT_EQ(vertexBytes(*mesh), pattern);

  const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
  ASSERT_EQ(mesh->LockIndexBuffer(0, &data), D3D_OK);
  std::memcpy(data, indices, sizeof indices);
  ASSERT_EQ(mesh->UnlockIndexBuffer(), D3D_OK);
  EXPECT_EQ(indexValues(*mesh), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));

  DWORD* ids = nullptr;
  ASSERT_EQ(mesh->LockAttributeBuffer(0, &ids), D3D_OK);
  EXPECT_EQ(ids[0] | ids[1], 0u);
  ids[1] = 7;
  ASSERT_EQ(mesh->UnlockAttributeBuffer(), D3D_OK);
  EXPECT_EQ(attributeValues(*mesh), (std::vector<DWORD>{0, 7}));

  // Unlocking what is not locked, and locking into nowhere, are refused.
  EXPECT_EQ(mesh->UnlockVertexBuffer(), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->UnlockIndexBuffer(), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->UnlockAttributeBuffer(), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->LockVertexBuffer(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->LockIndexBuffer(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->LockAttributeBuffer(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->GetDeclaration(nullptr), D3DERR_INVALIDCALL);
}

TEST(D3DXMesh, CreateFromFVFAndWideIndices) {
  ID3DXMesh* raw = nullptr;
  ASSERT_EQ(
      D3DXCreateMeshFVF(1, 70000, D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM, 0x40212, nullptr, &raw),
      D3D_OK);
  MeshPtr mesh(raw);
  EXPECT_EQ(mesh->GetNumBytesPerVertex(), 44u);
  EXPECT_EQ(mesh->GetFVF(), 0x40212u);
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  mesh->GetDeclaration(declaration);
  EXPECT_EQ(D3DXGetDeclLength(declaration), 4u);

  void* data = nullptr;
  mesh->LockIndexBuffer(0, &data);
  static_cast<uint32_t*>(data)[2] = 69999;  // needs 32 bits
  mesh->UnlockIndexBuffer();
  EXPECT_EQ(indexValues(*mesh)[2], 69999u);
}

TEST(D3DXMesh, CreateRefusesBadArguments) {
  const struct {
    const char* what;
    DWORD faces, vertices, options;
    const D3DVERTEXELEMENT9* declaration;
  } cases[] = {
      {"no declaration", 1, 3, 0, nullptr},
      {"no faces", 0, 3, 0, kShaderVertex},
      {"no vertices", 1, 0, 0, kShaderVertex},
      {"16-bit indices cannot reach vertex 65536", 1, 65536, D3DXMESH_MANAGED, kShaderVertex},
      {"unknown option bit", 1, 3, 0x20000, kShaderVertex},
      {"index bytes overflow 32 bits", 0xFFFFFFFF, 3, D3DXMESH_32BIT, kShaderVertex},
      {"vertex bytes over the limit", 1, 0xFFFFFFFF, D3DXMESH_32BIT, kShaderVertex},
  };
  for (const auto& c : cases) {
    ID3DXMesh* mesh = reinterpret_cast<ID3DXMesh*>(uintptr_t(0x1));
    EXPECT_EQ(D3DXCreateMesh(c.faces, c.vertices, c.options, c.declaration, nullptr, &mesh),
              D3DERR_INVALIDCALL)
        << c.what;
    EXPECT_EQ(mesh, nullptr) << c.what;
  }
  EXPECT_EQ(D3DXCreateMesh(1, 3, 0, kShaderVertex, nullptr, nullptr), D3DERR_INVALIDCALL);
  ID3DXMesh* mesh = nullptr;
  EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, 0x006 /* XYZB1 */, nullptr, &mesh), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateMesh(1, 65535, D3DXMESH_SYSTEMMEM, kShaderVertex, nullptr, &mesh), D3D_OK);
  MeshPtr largest16(mesh);
}

TEST(D3DXMeshAdjacency, Tetrahedron) {
  const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  MeshPtr mesh = makePositionMesh(positions, {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3});
  ASSERT_TRUE(mesh);
  // Edge k runs from corner k to corner k + 1.
  EXPECT_EQ(adjacencyOf(*mesh, 0.0f), (std::vector<DWORD>{2, 3, 1, 0, 3, 2, 1, 3, 0, 0, 2, 1}));
}

// A cube of half-size 0.01 with four vertices of its own per side (24 vertices, 12 faces,
// faces 2q and 2q + 1 on side q); copy i is moved along x by i * shift.
MeshPtr splitCube(float shift) {
  std::vector<float> positions;
  std::vector<uint32_t> indices;
  const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int axis = 0; axis < 3; ++axis) {
    for (float side : {-1.0f, 1.0f}) {
      const uint32_t base = uint32_t(positions.size() / 3);
      for (int k = 0; k < 4; ++k) {
        const int c = side > 0 ? k : 3 - k;  // counter-clockwise seen from outside
        float p[3];
        p[axis] = side;
        p[(axis + 1) % 3] = corner[c][0];
        p[(axis + 2) % 3] = corner[c][1];
        const uint32_t i = base + uint32_t(k);
        positions.insert(positions.end(),
                         {p[0] * 0.01f + float(i) * shift, p[1] * 0.01f, p[2] * 0.01f});
      }
      indices.insert(indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
  }
  return makePositionMesh(positions, indices);
}

TEST(D3DXMeshAdjacency, SplitCubeWeldsWithinEpsilon) {
  const struct {
    float shift, epsilon;
    bool closed;  // else only the two faces of each side meet
  } cases[] = {
      {0, 0, true},       // exact copies are the same point at epsilon 0
      {3e-7f, 0, false},  // copies up to 7e-6 apart
      {3e-7f, 1e-5f, true},
      {3e-7f, 1e-7f, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "shift " << c.shift << " epsilon " << c.epsilon);
    MeshPtr mesh = splitCube(c.shift);
    ASSERT_TRUE(mesh);
    const std::vector<DWORD> adjacency = adjacencyOf(*mesh, c.epsilon);
    for (DWORD f = 0; f < 12; ++f) {
      std::set<DWORD> neighbours;
      for (DWORD k = 0; k < 3; ++k) {
        const DWORD g = adjacency[3 * f + k];
        if (g == kNone) continue;
        ASSERT_LT(g, 12u);
        EXPECT_NE(g, f);
        neighbours.insert(g);
        // Symmetric: g names f across one of its edges.
        EXPECT_TRUE(adjacency[3 * g] == f || adjacency[3 * g + 1] == f ||
                    adjacency[3 * g + 2] == f);
      }
      EXPECT_TRUE(neighbours.count(f ^ 1)) << "face " << f << " misses its side partner";
      EXPECT_EQ(neighbours.size(), c.closed ? 3u : 1u) << "face " << f;
    }
  }
}

TEST(D3DXMeshAdjacency, RefusesBadInput) {
  MeshPtr mesh = makePositionMesh({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
  ASSERT_TRUE(mesh);
  DWORD adjacency[3];
  EXPECT_EQ(mesh->GenerateAdjacency(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->GenerateAdjacency(-1e-5f, adjacency), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->GenerateAdjacency(std::numeric_limits<float>::quiet_NaN(), adjacency),
            D3DERR_INVALIDCALL);

  // An index past the last vertex is caught, not followed.
  void* data = nullptr;
  mesh->LockIndexBuffer(0, &data);
  static_cast<uint16_t*>(data)[1] = 3;
  mesh->UnlockIndexBuffer();
  EXPECT_EQ(mesh->GenerateAdjacency(0, adjacency), D3DERR_INVALIDCALL);

  // Without a FLOAT3 position there is nothing to compare.
  const D3DVERTEXELEMENT9 textureOnly[] = {
      {0, 0, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
      D3DDECL_END(),
  };
  MeshPtr flat = makeMesh(textureOnly, std::vector<uint8_t>(3 * 8), {0, 1, 2}, 0);
  ASSERT_TRUE(flat);
  EXPECT_EQ(flat->GenerateAdjacency(0, adjacency), D3DERR_INVALIDCALL);
}

}  // namespace
