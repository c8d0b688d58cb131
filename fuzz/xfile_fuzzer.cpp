// X files from outside. Whatever the bytes, the reader stays inside them; a mesh that loads is
// consistent (indices below the vertex count, face ids below the material count, adjacency
// naming real faces both ways) and survives simplification to half its faces.
#include "platform/d3dx/MeshSimplify.h"
#include "platform/d3dx/XFileLoader.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::vector<uint32_t> indicesOf(ID3DXMesh& mesh) {
  void* data = nullptr;
  mesh.LockIndexBuffer(D3DLOCK_READONLY, &data);
  std::vector<uint32_t> indices(size_t(mesh.GetNumFaces()) * 3);
  for (size_t i = 0; i < indices.size(); ++i) {
    indices[i] = (mesh.GetOptions() & D3DXMESH_32BIT) ? static_cast<const uint32_t*>(data)[i]
                                                      : static_cast<const uint16_t*>(data)[i];
  }
  mesh.UnlockIndexBuffer();
  return indices;
}

void checkIndices(ID3DXMesh& mesh) {
  for (uint32_t index : indicesOf(mesh)) {
    if (index >= mesh.GetNumVertices()) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  ID3DXMesh* mesh = nullptr;
  ID3DXBuffer* adjacency = nullptr;
  ID3DXBuffer* materials = nullptr;
  DWORD numMaterials = 0;
  const DWORD options = size % 2 ? D3DXMESH_32BIT : D3DXMESH_SYSTEMMEM;
  const HRESULT result = D3DXLoadMeshFromXInMemory(data, DWORD(size), options, nullptr, &adjacency,
                                                   &materials, nullptr, &numMaterials, &mesh);
  if (FAILED(result)) {
    if (mesh || adjacency || materials || numMaterials) __builtin_trap();
    return 0;
  }
  const DWORD faces = mesh->GetNumFaces();
  checkIndices(*mesh);
  DWORD* ids = nullptr;
  mesh->LockAttributeBuffer(D3DLOCK_READONLY, &ids);
  for (DWORD f = 0; f < faces; ++f) {
    if (ids[f] >= (numMaterials > 0 ? numMaterials : 1)) __builtin_trap();
  }
  mesh->UnlockAttributeBuffer();
  if ((materials != nullptr) != (numMaterials > 0)) __builtin_trap();

  const auto* links = static_cast<const DWORD*>(adjacency->GetBufferPointer());
  for (DWORD i = 0; i < 3 * faces; ++i) {
    const DWORD other = links[i];
    if (other == 0xFFFFFFFF) continue;
    if (other >= faces || (links[3 * other] != i / 3 && links[3 * other + 1] != i / 3 &&
                           links[3 * other + 2] != i / 3)) {
      __builtin_trap();
    }
  }

  ID3DXMesh* simplified = nullptr;
  const HRESULT simplify = D3DXSimplifyMesh(mesh, links, nullptr, nullptr, faces / 2,
                                            D3DXMESHSIMP_FACE, &simplified);
  if (SUCCEEDED(simplify)) {
    checkIndices(*simplified);
    simplified->Release();
  } else if (simplify != E_FAIL) {
    __builtin_trap();
  }

  mesh->Release();
  adjacency->Release();
  if (materials) materials->Release();
  return 0;
}
