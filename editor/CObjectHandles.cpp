#include "editor/CObjectHandles.h"

#include <algorithm>

#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

namespace {

// True when list holds item, looked for first at the hinted place.
template <typename T>
bool holds(const std::vector<T*>& list, const T* item, uint32_t hint) {
  if (hint < list.size() && list[hint] == item) return true;
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

CObjectHandles::Entry& CObjectHandles::entryOf(uint32_t& handle) {
  if (handle == 0) {
    entries.emplace_back();
    handle = uint32_t(entries.size());
  }
  return entries[handle - 1];
}

uint32_t CObjectHandles::name(ZFrame* frame, uint32_t slot) {
  Entry& e = entryOf(frame->editorHandle);
  e.frame = frame;
  e.slot = slot;
  return frame->editorHandle;
}

uint32_t CObjectHandles::name(ZGeometry* geometry, ZFrame* holder, uint32_t slot) {
  Entry& e = entryOf(geometry->editorHandle);
  e.geometry = geometry;
  e.holder = holder;
  e.slot = slot;
  return geometry->editorHandle;
}

void CObjectHandles::forget() {
  for (Entry& e : entries) e = Entry{};
}

const CObjectHandles::Entry* CObjectHandles::entry(uint32_t handle) const {
  return handle >= 1 && handle <= entries.size() ? &entries[handle - 1] : nullptr;
}

bool CObjectHandles::reachable(const ZFrame* frame, const ZFrame* root) const {
  for (int level = 0; level <= ZFrame::kMaxDepth && frame != nullptr; ++level) {
    if (frame == root) return true;
    const ZFrame* parent = frame->parent;
    const Entry* e = entry(frame->editorHandle);
    if (parent == nullptr || !holds(parent->children, frame, e != nullptr ? e->slot : 0)) {
      return false;
    }
    frame = parent;
  }
  return false;
}

ZFrame* CObjectHandles::frame(uint32_t handle, const ZFrame* root) const {
  const Entry* e = entry(handle);
  if (e == nullptr || e->frame == nullptr) return nullptr;
  return reachable(e->frame, root) ? e->frame : nullptr;
}

ZGeometry* CObjectHandles::geometry(uint32_t handle, const ZFrame* root) const {
  const Entry* e = entry(handle);
  if (e == nullptr || e->geometry == nullptr) return nullptr;
  if (!holds(e->holder->geometries, e->geometry, e->slot)) return nullptr;
  return reachable(e->holder, root) ? e->geometry : nullptr;
}
