// ID3DXMesh: an indexed triangle mesh held in system memory: vertex bytes in the layout of its
// declaration, 16-bit (or, with D3DXMESH_32BIT, 32-bit) indices, three per face, and one
// attribute (material id) per face. The memory-pool flags (D3DXMESH_SYSTEMMEM,
// D3DXMESH_MANAGED, ...) are accepted and kept in GetOptions; all buffers live on the CPU.
// Ownership: D3DXCreateMesh* hand out a mesh with a reference count of 1; Release at 0 frees it.
// Buffers stay valid from Lock* to the matching Unlock*; lock flags have no effect here.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/D3DXDeclaration.h"

constexpr DWORD D3DXMESH_32BIT = 0x001;
constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
constexpr DWORD D3DXMESH_MANAGED = 0x220;
constexpr DWORD D3DXMESH_WRITEONLY = 0x440;
constexpr DWORD D3DXMESH_DYNAMIC = 0x880;

class ID3DXMesh {
 public:
  ID3DXMesh(const ID3DXMesh&) = delete;
  ID3DXMesh& operator=(const ID3DXMesh&) = delete;

  UINT AddRef() { return ++references; }
  // Deletes the mesh when the last reference goes; returns the references left.
  UINT Release();

  DWORD GetNumFaces() const { return numFaces; }
  DWORD GetNumVertices() const { return numVertices; }
  DWORD GetNumBytesPerVertex() const { return bytesPerVertex; }
  DWORD GetOptions() const { return options; }
  // The FVF code equal to the declaration, or 0 when it has none (e.g. with a TANGENT element).
  DWORD GetFVF() const { return fvf; }
  // Copies the declaration, D3DDECL_END() included; D3DERR_INVALIDCALL for a null array.
  HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) const;

  // *data = GetNumVertices() * GetNumBytesPerVertex() bytes. D3DERR_INVALIDCALL for null data.
  HRESULT LockVertexBuffer(DWORD flags, void** data);
  // D3DERR_INVALIDCALL when the buffer is not locked.
  HRESULT UnlockVertexBuffer();
  // *data = 3 * GetNumFaces() indices of 2 bytes, or 4 with D3DXMESH_32BIT.
  HRESULT LockIndexBuffer(DWORD flags, void** data);
  HRESULT UnlockIndexBuffer();
  // *data = GetNumFaces() attribute ids.
  HRESULT LockAttributeBuffer(DWORD flags, DWORD** data);
  HRESULT UnlockAttributeBuffer();

  // Fills adjacency (3 * GetNumFaces() DWORDs): for each face edge (corner k to k + 1) the face
  // across it, or 0xFFFFFFFF. Vertices whose positions lie within epsilon (Euclidean, in model
  // units; 0 = exact) are the same point. Neighbours must be wound alike (the shared edge runs
  // in opposite directions); an edge shared by more than two faces pairs them in face order.
  // D3DERR_INVALIDCALL for null adjacency, negative or NaN epsilon, or a declaration without a
  // FLOAT3 POSITION; E_OUTOFMEMORY when the work space cannot be had.
  HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency);

 private:
  friend HRESULT D3DXCreateMesh(DWORD, DWORD, DWORD, const D3DVERTEXELEMENT9*, void*, ID3DXMesh**);
  ID3DXMesh() = default;
  ~ID3DXMesh() = default;

  std::vector<uint8_t> vertices;
  std::vector<uint8_t> indices;
  std::vector<DWORD> attributes;
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
  DWORD numFaces = 0;
  DWORD numVertices = 0;
  DWORD bytesPerVertex = 0;
  DWORD options = 0;
  DWORD fvf = 0;
  UINT references = 1;
  UINT vertexLocks = 0;
  UINT indexLocks = 0;
  UINT attributeLocks = 0;
};

// New zero-filled mesh of numFaces faces and numVertices vertices laid out as declaration
// (see D3DXDeclaration.h for what is supported). options: D3DXMESH_* bits. device is unused
// (meshes live in system memory) and may be null. D3DERR_INVALIDCALL for a null mesh pointer,
// an unsupported declaration, unknown option bits, zero counts, more than 65535 vertices
// without D3DXMESH_32BIT, or buffers over 1 GiB; E_OUTOFMEMORY when allocation fails.
HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options,
                       const D3DVERTEXELEMENT9* declaration, void* device, ID3DXMesh** mesh);
// Same with the layout given as an FVF code.
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, void* device,
                          ID3DXMesh** mesh);
