#include "platform/d3dx/D3DXMatrixStack.h"

#include <new>

ID3DXMatrixStack::ID3DXMatrixStack() : entries(1) { D3DXMatrixIdentity(&entries.back()); }

UINT ID3DXMatrixStack::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

HRESULT ID3DXMatrixStack::Push() {
  try {
    entries.push_back(entries.back());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return D3D_OK;
}

HRESULT ID3DXMatrixStack::Pop() {
  if (entries.size() <= 1) return D3DERR_INVALIDCALL;
  entries.pop_back();
  return D3D_OK;
}

HRESULT ID3DXMatrixStack::LoadIdentity() {
  D3DXMatrixIdentity(GetTop());
  return D3D_OK;
}

HRESULT ID3DXMatrixStack::LoadMatrix(const D3DXMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  *GetTop() = *m;
  return D3D_OK;
}

HRESULT ID3DXMatrixStack::multiply(const D3DXMATRIX& m, bool local) {
  D3DXMATRIX* top = GetTop();
  if (local) {
    D3DXMatrixMultiply(top, &m, top);
  } else {
    D3DXMatrixMultiply(top, top, &m);
  }
  return D3D_OK;
}

HRESULT ID3DXMatrixStack::MultMatrix(const D3DXMATRIX* m) {
  return m ? multiply(*m, false) : D3DERR_INVALIDCALL;
}

HRESULT ID3DXMatrixStack::MultMatrixLocal(const D3DXMATRIX* m) {
  return m ? multiply(*m, true) : D3DERR_INVALIDCALL;
}

HRESULT ID3DXMatrixStack::Translate(float x, float y, float z) {
  D3DXMATRIX t;
  return multiply(*D3DXMatrixTranslation(&t, x, y, z), false);
}

HRESULT ID3DXMatrixStack::TranslateLocal(float x, float y, float z) {
  D3DXMATRIX t;
  return multiply(*D3DXMatrixTranslation(&t, x, y, z), true);
}

HRESULT ID3DXMatrixStack::RotateAxis(const D3DXVECTOR3* axis, float angle) {
  D3DXMATRIX r;
  return axis ? multiply(*D3DXMatrixRotationAxis(&r, axis, angle), false) : D3DERR_INVALIDCALL;
}

HRESULT ID3DXMatrixStack::RotateAxisLocal(const D3DXVECTOR3* axis, float angle) {
  D3DXMATRIX r;
  return axis ? multiply(*D3DXMatrixRotationAxis(&r, axis, angle), true) : D3DERR_INVALIDCALL;
}

HRESULT D3DXCreateMatrixStack(DWORD /*flags*/, ID3DXMatrixStack** stack) {
  if (!stack) return D3DERR_INVALIDCALL;
  *stack = nullptr;
  try {
    *stack = new ID3DXMatrixStack();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return D3D_OK;
}
