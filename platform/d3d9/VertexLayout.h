// Where each attribute lies in a vertex, decoded from a flexible vertex format or a vertex
// declaration, and the declaration object itself. Texture coordinate sets map to GL texture
// units by index; a declaration's TANGENT 0 is carried as texture coordinate set 1, as the
// engine's flexible format 0x40212 carries it.
#pragma once

#include "platform/d3d9/Direct3DResource9.h"

#include <vector>

struct VertexAttribute {
  bool present = false;
  int offset = 0;      // bytes from the start of the vertex
  int components = 0;  // floats, or 4 bytes for a colour
};

struct VertexLayout {
  static constexpr int kTexCoordSets = 8;
  VertexAttribute position;  // components 3 (XYZ) or 4 (XYZRHW: pre-transformed, in pixels)
  bool pretransformed = false;
  VertexAttribute normal;
  VertexAttribute diffuse;   // D3DCOLOR, bytes B, G, R, A
  VertexAttribute specular;  // D3DCOLOR
  VertexAttribute texCoords[kTexCoordSets];
  int stride = 0;

  // Layout of a flexible vertex format; stride 0 when the format has no position.
  static VertexLayout fromFVF(DWORD fvf);
  // Layout of a declaration (stream 0 only); stride is the end of the furthest element.
  static VertexLayout fromDeclaration(const D3DVERTEXELEMENT9* elements);
};

class IDirect3DVertexDeclaration9 : public IDirect3DResource9 {
 public:
  IDirect3DVertexDeclaration9(IDirect3DDevice9* owner, const D3DVERTEXELEMENT9* elements);

  // Copies the elements, D3DDECL_END included, into out (when not null) and their count into
  // count.
  HRESULT GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) const;
  const VertexLayout& layout() const { return vertexLayout; }

 private:
  std::vector<D3DVERTEXELEMENT9> elements;
  VertexLayout vertexLayout;
};

// Vertices (or indices) a draw of primitives of that type reads.
uint64_t primitiveVertexCount(D3DPRIMITIVETYPE type, UINT primitives);

// Number of elements before D3DDECL_END; refuses (returns -1) a declaration without an end within
// 64 elements.
int declarationLength(const D3DVERTEXELEMENT9* elements);
