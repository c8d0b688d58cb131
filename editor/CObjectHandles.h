// The handles by which the editor names frames and geometries to its clients. A handle is given
// the first time an object is sent and stays the object's own for the session (an object taken
// out of the scene and put back keeps it); handles are never reused. Turning a handle back into
// an object is constant time in the size of the scene and checked: a handle never given, or one
// whose object is no longer reachable from the root, gives null. A geometry counts as reachable
// through the frame it was last sent under.
//
// The objects are the renderer's, which keeps every frame and geometry it made until the core
// ends, so a stored pointer is always safe to follow.
#pragma once

#include <cstdint>
#include <vector>

class ZFrame;
class ZGeometry;

class CObjectHandles {
 public:
  // The frame's handle, given now if it has none; slot is its place among its parent's children.
  uint32_t name(ZFrame* frame, uint32_t slot);
  // The geometry's handle; holder is the frame it is sent under, slot its place there.
  uint32_t name(ZGeometry* geometry, ZFrame* holder, uint32_t slot);

  // Every object forgotten (their model was closed); handles already given stay unused.
  void forget();
  // The object of a handle while it is reachable from root, else null.
  ZFrame* frame(uint32_t handle, const ZFrame* root) const;
  ZGeometry* geometry(uint32_t handle, const ZFrame* root) const;

 private:
  struct Entry {
    ZFrame* frame = nullptr;        // set for a frame's handle
    ZGeometry* geometry = nullptr;  // set for a geometry's handle
    ZFrame* holder = nullptr;       // a geometry's frame when it was last sent
    uint32_t slot = 0;              // where it was in its list then: a hint, checked on use
  };

  const Entry* entry(uint32_t handle) const;
  Entry& entryOf(uint32_t& handle);
  bool reachable(const ZFrame* frame, const ZFrame* root) const;

  std::vector<Entry> entries;  // handle h at h - 1
};
