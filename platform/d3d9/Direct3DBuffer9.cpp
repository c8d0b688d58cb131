#include "platform/d3d9/Direct3DBuffer9.h"

#include <GL/gl.h>
#include <GL/glext.h>

Direct3DBuffer9::Direct3DBuffer9(IDirect3DDevice9* owner, UINT length, uint32_t glTarget)
    : IDirect3DResource9(owner), bytes(length), target(glTarget) {
  glGenBuffers(1, &name);
  glBindBuffer(target, name);
  // The store is filled by the first Unlock: most first locks write the whole buffer, and a
  // large one would otherwise be copied twice.
  glBufferData(target, static_cast<GLsizeiptr>(length), nullptr, GL_STATIC_DRAW);
  glBindBuffer(target, 0);
}

Direct3DBuffer9::~Direct3DBuffer9() { glDeleteBuffers(1, &name); }

HRESULT Direct3DBuffer9::Lock(UINT offset, UINT size, void** data, DWORD) {
  if (!data || locked || offset > bytes.size()) return D3DERR_INVALIDCALL;
  if (size == 0) size = static_cast<UINT>(bytes.size()) - offset;
  if (size > bytes.size() - offset) return D3DERR_INVALIDCALL;
  locked = true;
  lockOffset = offset;
  lockSize = size;
  *data = bytes.data() + offset;
  return D3D_OK;
}

HRESULT Direct3DBuffer9::Unlock() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  if (lockSize == 0) return D3D_OK;
  // Before the first upload the store holds nothing yet: the whole copy goes, zeros included.
  const UINT offset = filled ? lockOffset : 0;
  const UINT size = filled ? lockSize : length();
  filled = true;
  glBindBuffer(target, name);
  glBufferSubData(target, offset, size, bytes.data() + offset);
  glBindBuffer(target, 0);
  return D3D_OK;
}

IDirect3DVertexBuffer9::IDirect3DVertexBuffer9(IDirect3DDevice9* owner, UINT length,
                                               DWORD vertexFormat)
    : Direct3DBuffer9(owner, length, GL_ARRAY_BUFFER), format(vertexFormat) {}

IDirect3DIndexBuffer9::IDirect3DIndexBuffer9(IDirect3DDevice9* owner, UINT length,
                                             D3DFORMAT indexFormat)
    : Direct3DBuffer9(owner, length, GL_ELEMENT_ARRAY_BUFFER), format(indexFormat) {}
