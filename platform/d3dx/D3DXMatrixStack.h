// ID3DXMatrixStack: a stack of transforms for walking a frame hierarchy. It starts with one
// entry, the identity; the top is the current transform. A parent pushes, multiplies its child's
// local transform in on the left (MultMatrixLocal: world = local x parent, since points are row
// vectors) and pops when the child is done. The bottom entry is never popped.
// Created by D3DXCreateMatrixStack with a reference count of 1; Release at 0 frees it.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/d3dx9math.h"

#include <deque>

class ID3DXMatrixStack {
 public:
  ID3DXMatrixStack();
  ID3DXMatrixStack(const ID3DXMatrixStack&) = delete;
  ID3DXMatrixStack& operator=(const ID3DXMatrixStack&) = delete;

  UINT AddRef() { return ++references; }
  // Deletes the stack when the last reference goes; returns the references left.
  UINT Release();

  // Pushes a copy of the top. E_OUTOFMEMORY when no memory is left.
  HRESULT Push();
  // Removes the top; D3DERR_INVALIDCALL (and nothing changes) when only one entry is left.
  HRESULT Pop();
  HRESULT LoadIdentity();
  // top = m. D3DERR_INVALIDCALL for null.
  HRESULT LoadMatrix(const D3DXMATRIX* m);
  // top = top x m (m applied after the current transform). D3DERR_INVALIDCALL for null.
  HRESULT MultMatrix(const D3DXMATRIX* m);
  // top = m x top (m applied before the current transform, in local space).
  // D3DERR_INVALIDCALL for null.
  HRESULT MultMatrixLocal(const D3DXMATRIX* m);
  // top = top x translation / translation x top.
  HRESULT Translate(float x, float y, float z);
  HRESULT TranslateLocal(float x, float y, float z);
  // top = top x rotation / rotation x top; angle in radians about axis (normalised).
  // D3DERR_INVALIDCALL for a null axis.
  HRESULT RotateAxis(const D3DXVECTOR3* axis, float angle);
  HRESULT RotateAxisLocal(const D3DXVECTOR3* axis, float angle);
  // The top entry, borrowed: stays valid while that entry is on the stack (pushing does not
  // move it).
  D3DXMATRIX* GetTop() { return &entries.back(); }

 private:
  ~ID3DXMatrixStack() = default;
  HRESULT multiply(const D3DXMATRIX& m, bool local);

  std::deque<D3DXMATRIX> entries;
  UINT references = 1;
};

// New stack holding the identity. flags is unused (D3DX reserves it; pass 0).
// D3DERR_INVALIDCALL for a null out, E_OUTOFMEMORY when no memory is left.
HRESULT D3DXCreateMatrixStack(DWORD flags, ID3DXMatrixStack** stack);
