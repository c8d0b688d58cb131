// D3DXLoadMeshFromX: loads all meshes of an X file (text, binary or compressed) as one
// ID3DXMesh with FVF D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1 (32 bytes; normals or texture
// coordinates the file lacks are zero) and one attribute id per source material (XFileParser.h
// says how a file becomes the mesh). The reader checks every count and index it takes from the
// file: malformed, truncated or hostile input gives a failure result, never a crash, and no
// allocation beyond what the file's bytes can describe (at most 256 MiB of file or inflated body).
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/D3DXBuffer.h"
#include "platform/d3dx/D3DXMesh.h"

struct D3DXMATERIAL {
  D3DMATERIAL9 MatD3D;
  char* pTextureFilename;  // as written in the file (text escapes resolved), or null
};

// Loads file (a path). options: D3DXMESH_* bits for the new mesh (D3DXMESH_32BIT is needed
// for more than 65535 vertices); device is unused and may be null. Outputs, all but mesh
// optional, each owned by the caller (Release):
//   adjacency       3 DWORDs per face, as GenerateAdjacency(0) gives;
//   materials       numMaterials D3DXMATERIAL records, their texture names stored in the same
//                   buffer; null when the file has no materials;
//   effectInstances always null: effects are not bound from X files here;
//   numMaterials    count of materials (0 when none);
//   mesh            the loaded mesh.
// D3DERR_INVALIDCALL for a null file or mesh pointer or options the mesh cannot take;
// D3DERR_NOTFOUND when the file cannot be opened; D3DXERR_INVALIDDATA for a malformed file or
// one without faces; E_OUTOFMEMORY. On failure every output is null (or 0).
HRESULT D3DXLoadMeshFromXA(const char* file, DWORD options, void* device, ID3DXBuffer** adjacency,
                           ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                           DWORD* numMaterials, ID3DXMesh** mesh);

// The same from size bytes at memory (borrowed for the call). D3DERR_INVALIDCALL for a null
// memory pointer.
HRESULT D3DXLoadMeshFromXInMemory(const void* memory, DWORD size, DWORD options, void* device,
                                  ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                                  ID3DXBuffer** effectInstances, DWORD* numMaterials,
                                  ID3DXMesh** mesh);

inline HRESULT D3DXLoadMeshFromX(const char* file, DWORD options, void* device,
                                 ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                                 ID3DXBuffer** effectInstances, DWORD* numMaterials,
                                 ID3DXMesh** mesh) {
  return D3DXLoadMeshFromXA(file, options, device, adjacency, materials, effectInstances,
                            numMaterials, mesh);
}
