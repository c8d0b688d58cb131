// Reference counting shared by every device resource, as on the original platform: a resource is
// created with one reference and deletes itself when Release drops the last one.
#pragma once

#include "platform/d3d9/d3d9types.h"

class IDirect3DDevice9;

class IDirect3DResource9 {
 public:
  explicit IDirect3DResource9(IDirect3DDevice9* owner) : device(owner) {}
  IDirect3DResource9(const IDirect3DResource9&) = delete;
  IDirect3DResource9& operator=(const IDirect3DResource9&) = delete;

  UINT AddRef() { return ++references; }
  // Deletes the resource (and its GL objects) when the last reference goes.
  UINT Release() {
    const UINT left = --references;
    if (left == 0) delete this;
    return left;
  }
  IDirect3DDevice9* GetDevice() const { return device; }

 protected:
  virtual ~IDirect3DResource9() = default;
  IDirect3DDevice9* device;

 private:
  UINT references = 1;
};

// Drops one reference of a counted object (a resource, effect, matrix stack...), if held, and
// forgets it.
template <typename T>
void releaseAndClear(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}
