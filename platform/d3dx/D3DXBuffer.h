// ID3DXBuffer: a block of bytes handed out by D3DX calls (materials of a loaded mesh, adjacency,
// compile messages). Created with a reference count of 1; Release at 0 frees it.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class ID3DXBuffer {
 public:
  explicit ID3DXBuffer(size_t size) : bytes(size) {}
  ID3DXBuffer(const ID3DXBuffer&) = delete;
  ID3DXBuffer& operator=(const ID3DXBuffer&) = delete;

  void* GetBufferPointer() { return bytes.data(); }
  DWORD GetBufferSize() const { return static_cast<DWORD>(bytes.size()); }
  UINT AddRef() { return ++references; }
  // Deletes the buffer when the last reference goes; returns the references left.
  UINT Release();

 private:
  ~ID3DXBuffer() = default;
  std::vector<uint8_t> bytes;
  UINT references = 1;
};

// New buffer of size bytes, zero-filled. Fails with E_OUTOFMEMORY for sizes over 1 GiB.
HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer);
