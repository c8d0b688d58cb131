#include "platform/d3dx/D3DXBuffer.h"

#include <new>

UINT ID3DXBuffer::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (size > (1u << 30)) return E_OUTOFMEMORY;
  *buffer = new (std::nothrow) ID3DXBuffer(size);
  return *buffer ? D3D_OK : E_OUTOFMEMORY;
}
