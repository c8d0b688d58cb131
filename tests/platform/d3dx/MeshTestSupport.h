// Small helpers for the D3DX mesh tests: owning pointers for reference-counted D3DX objects,
// the engine's 44-byte shader vertex declaration, and mesh builders/readers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/d3dx/D3DXBuffer.h"
#include "platform/d3dx/D3DXMesh.h"

struct ReleaseD3DX {
  template <class T>
  void operator()(T* object) const {
    object->Release();
  }
};
using MeshPtr = std::unique_ptr<ID3DXMesh, ReleaseD3DX>;
using BufferPtr = std::unique_ptr<ID3DXBuffer, ReleaseD3DX>;

// Position, normal, texture coordinate 0, tangent: 44 bytes.
inline constexpr D3DVERTEXELEMENT9 kShaderVertex[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    {0, 32, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    D3DDECL_END(),
};

// A mesh with the given vertex bytes (stride from the declaration), indices and attributes
// (all 0 when empty). Fails the test and returns null when creation fails.
inline MeshPtr makeMesh(const D3DVERTEXELEMENT9* declaration, const std::vector<uint8_t>& vertices,
                        const std::vector<uint32_t>& indices, DWORD options,
                        const std::vector<DWORD>& attributes = {}) {
  const DWORD stride = D3DXGetDeclVertexSize(declaration, 0);
  ID3DXMesh* raw = nullptr;
  const HRESULT hr = D3DXCreateMesh(DWORD(indices.size() / 3), DWORD(vertices.size() / stride),
                                    options, declaration, nullptr, &raw);
  EXPECT_EQ(hr, D3D_OK);
  MeshPtr mesh(raw);
  if (!mesh) return mesh;
  void* data = nullptr;
  mesh->LockVertexBuffer(0, &data);
  std::memcpy(data, vertices.data(), vertices.size());
  mesh->UnlockVertexBuffer();
  mesh->LockIndexBuffer(0, &data);
  for (size_t i = 0; i < indices.size(); ++i) {
    if (options & D3DXMESH_32BIT) {
      static_cast<uint32_t*>(data)[i] = indices[i];
    } else {
      static_cast<uint16_t*>(data)[i] = uint16_t(indices[i]);
    }
  }
  mesh->UnlockIndexBuffer();
  DWORD* ids = nullptr;
  mesh->LockAttributeBuffer(0, &ids);
  for (size_t f = 0; f < attributes.size(); ++f) ids[f] = attributes[f];
  mesh->UnlockAttributeBuffer();
  return mesh;
}

// A mesh of FVF D3DFVF_XYZ from x, y, z triples.
inline MeshPtr makePositionMesh(const std::vector<float>& positions,
                                const std::vector<uint32_t>& indices,
                                DWORD options = D3DXMESH_SYSTEMMEM) {
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  D3DXDeclaratorFromFVF(D3DFVF_XYZ, declaration);
  std::vector<uint8_t> bytes(positions.size() * sizeof(float));
  std::memcpy(bytes.data(), positions.data(), bytes.size());
  return makeMesh(declaration, bytes, indices, options);
}

inline std::vector<uint8_t> vertexBytes(ID3DXMesh& mesh) {
  void* data = nullptr;
  mesh.LockVertexBuffer(D3DLOCK_READONLY, &data);
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> copy(bytes,
                            bytes + size_t(mesh.GetNumVertices()) * mesh.GetNumBytesPerVertex());
  mesh.UnlockVertexBuffer();
  return copy;
}

inline std::vector<uint32_t> indexValues(ID3DXMesh& mesh) {
  void* data = nullptr;
  mesh.LockIndexBuffer(D3DLOCK_READONLY, &data);
  std::vector<uint32_t> values(size_t(mesh.GetNumFaces()) * 3);
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = (mesh.GetOptions() & D3DXMESH_32BIT) ? static_cast<const uint32_t*>(data)[i]
                                                     : static_cast<const uint16_t*>(data)[i];
  }
  mesh.UnlockIndexBuffer();
  return values;
}

inline std::vector<DWORD> attributeValues(ID3DXMesh& mesh) {
  DWORD* data = nullptr;
  mesh.LockAttributeBuffer(D3DLOCK_READONLY, &data);
  std::vector<DWORD> values(data, data + mesh.GetNumFaces());
  mesh.UnlockAttributeBuffer();
  return values;
}

inline std::vector<DWORD> adjacencyOf(ID3DXMesh& mesh, float epsilon) {
  std::vector<DWORD> adjacency(size_t(mesh.GetNumFaces()) * 3, 0x12345678);
  EXPECT_EQ(mesh.GenerateAdjacency(epsilon, adjacency.data()), D3D_OK);
  return adjacency;
}
