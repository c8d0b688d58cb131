// D3DXSimplifyMesh: reduces a mesh towards a face or vertex count by edge collapses, using
// meshoptimizer's quadric-error simplifier.
// - Topology comes from the adjacency: the two faces of every shared edge are joined there, so
//   split vertices (normal or texture seams, unwelded copies) do not stop collapses.
// - The result keeps the input's declaration, options and vertex bytes: every output vertex is
//   a copy of an input vertex (positions, normals, texture coordinates, tangents unchanged). At
//   a seam each output corner takes the copy used by the input face that best matches its
//   triangle (lying on the triangle's side of the corner and facing its way), so each side of
//   a texture seam or crease keeps its own attributes.
// - Faces of different attribute ids are simplified apart with their common borders locked, so
//   material regions keep their outlines and no cracks open between them.
// - The target is a floor, not a promise: the simplifier stops where further collapses would
//   break topology, so the result may keep more faces than asked (and, as a collapse removes
//   up to two faces, occasionally one fewer).
// - Faces that are degenerate after joining (two corners at one point) are dropped.
#pragma once

#include "platform/d3dx/D3DXMesh.h"

constexpr DWORD D3DXMESHSIMP_VERTEX = 1;
constexpr DWORD D3DXMESHSIMP_FACE = 2;

// Simplifies in to at least minValue faces (D3DXMESHSIMP_FACE) or vertices
// (D3DXMESHSIMP_VERTEX; the face target is then tightened for a few rounds until the vertex
// count fits). adjacency: 3 DWORDs per face as GenerateAdjacency makes; a link counts only where
// both faces name each other. attributeWeights and vertexWeights are accepted for the call's
// shape and not used (meshoptimizer's own error metric decides). *out: a new mesh, reference
// count 1, owned by the caller. D3DERR_INVALIDCALL for null in/adjacency/out, options other
// than exactly one of the two flags, an adjacency entry naming no face, or a mesh without a
// FLOAT3 POSITION; E_FAIL when no face would be left; E_OUTOFMEMORY.
HRESULT D3DXSimplifyMesh(ID3DXMesh* in, const DWORD* adjacency, const void* attributeWeights,
                         const float* vertexWeights, DWORD minValue, DWORD options,
                         ID3DXMesh** out);
