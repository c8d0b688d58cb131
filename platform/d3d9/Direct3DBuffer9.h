// Vertex and index buffers: a GL buffer object with a CPU copy that Lock hands out and Unlock
// uploads (only the locked range), so a lock never stalls on the GPU and reads back what was
// written.
#pragma once

#include "platform/d3d9/Direct3DResource9.h"

#include <cstdint>
#include <vector>

class Direct3DBuffer9 : public IDirect3DResource9 {
 public:
  // Pointer to bytes offset..offset+size of the copy (size 0: to the end). INVALIDCALL when the
  // range is outside the buffer or the buffer is already locked.
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags);
  // Uploads the locked range; INVALIDCALL when not locked.
  HRESULT Unlock();

  UINT length() const { return static_cast<UINT>(bytes.size()); }
  uint32_t glName() const { return name; }

 protected:
  // A buffer of length bytes, zero-filled (the GL store from the first Unlock on); glTarget is GL_ARRAY_BUFFER or GL_ELEMENT_ARRAY_BUFFER.
  Direct3DBuffer9(IDirect3DDevice9* owner, UINT length, uint32_t glTarget);
  ~Direct3DBuffer9() override;

 private:
  std::vector<uint8_t> bytes;
  uint32_t name = 0;
  uint32_t target;
  bool locked = false;
  bool filled = false;  // the GL store has received the copy
  UINT lockOffset = 0;
  UINT lockSize = 0;
};

class IDirect3DVertexBuffer9 : public Direct3DBuffer9 {
 public:
  IDirect3DVertexBuffer9(IDirect3DDevice9* owner, UINT length, DWORD vertexFormat);
  DWORD fvf() const { return format; }

 private:
  DWORD format;
};

class IDirect3DIndexBuffer9 : public Direct3DBuffer9 {
 public:
  // format: D3DFMT_INDEX16 or D3DFMT_INDEX32.
  IDirect3DIndexBuffer9(IDirect3DDevice9* owner, UINT length, D3DFORMAT format);
  D3DFORMAT indexFormat() const { return format; }

 private:
  D3DFORMAT format;
};
