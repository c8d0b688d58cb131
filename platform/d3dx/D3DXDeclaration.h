// Vertex layouts of D3DX meshes: a declaration (D3DVERTEXELEMENT9 array closed by D3DDECL_END())
// or the flexible-vertex-format code equivalent to it.
// Supported: one stream (0); element types FLOAT1-4, D3DCOLOR and UBYTE4 at 4-byte aligned
// offsets, each usage/usage-index pair once; FVF position XYZ or XYZRHW, NORMAL, PSIZE, DIFFUSE,
// SPECULAR and up to eight texture sets of one to four floats. Not supported: blend weights
// (XYZB1-5, XYZW), several streams, packed and half-float element types.
#pragma once

#include "platform/d3d9/d3d9types.h"

constexpr UINT MAXD3DDECLLENGTH = 64;
constexpr UINT MAX_FVF_DECL_SIZE = MAXD3DDECLLENGTH + 1;  // elements plus D3DDECL_END()

// Number of elements before D3DDECL_END(); 0 for a null, invalid or unterminated declaration
// (the end marker is looked for within MAX_FVF_DECL_SIZE elements only).
UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration);

// Bytes per vertex of a valid declaration: the end of its furthest element. 0 when the
// declaration is null, unterminated or outside the supported set above. Only stream 0 exists.
UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream);

// Fills declaration (room for MAX_FVF_DECL_SIZE elements) with fvf's layout in FVF order.
// D3DERR_INVALIDCALL for a null array or fvf bits outside the supported set.
HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]);

// The FVF code whose layout is exactly declaration (same elements, order and offsets).
// D3DERR_INVALIDCALL when there is none (e.g. a TANGENT element) or an argument is null;
// *fvf is then 0.
HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declaration, DWORD* fvf);
