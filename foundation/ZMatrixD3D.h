// ZMatrix and the platform's D3DMATRIX hold the same sixteen floats in the same order; these
// copy one into the other.
#pragma once

#include "foundation/ZMatrix.h"
#include "platform/d3dx/d3dx9math.h"

#include <cstring>

inline D3DXMATRIX toD3DX(const ZMatrix& m) {
  D3DXMATRIX out;
  std::memcpy(&out, m.m, sizeof m.m);
  return out;
}

inline ZMatrix toZMatrix(const D3DMATRIX& m) {
  ZMatrix out;
  std::memcpy(out.m, &m, sizeof out.m);
  return out;
}
