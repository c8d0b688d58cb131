// Internals shared by the D3DX mesh sources; nothing outside platform/d3dx includes this.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3dx/D3DXMesh.h"

// A mesh's topology and positions widened to plain arrays.
struct MeshGeometry {
  std::vector<uint32_t> indices;  // three per face
  std::vector<float> positions;   // x, y, z per vertex
};

// Reads mesh's indices and its FLOAT3 POSITION (usage index 0). D3DERR_INVALIDCALL when the
// declaration has no such element or an index is not below GetNumVertices(); E_OUTOFMEMORY.
HRESULT readMeshGeometry(ID3DXMesh& mesh, MeshGeometry& geometry);
