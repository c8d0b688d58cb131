#include "editor/CUndoHistory.h"

#include <algorithm>

#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

void CUndoHistory::open(const std::string& name) {
  if (depth++ > 0) return;
  current = Step();
  current.name = name;
  current.stateBefore = state;
  lastState = std::max(lastState, state) + 1;
  state = lastState;
}

void CUndoHistory::close() {
  if (depth == 0 || --depth > 0) return;
  touched.clear();
  if (current.mementos.empty()) {
    state = current.stateBefore;
    return;
  }
  current.stateAfter = state;
  for (size_t i = cursor; i < steps.size(); ++i) used -= steps[i].bytes;
  steps.erase(steps.begin() + std::ptrdiff_t(cursor), steps.end());
  used += current.bytes;
  steps.push_back(std::move(current));
  cursor = steps.size();
  keepWithinLimit();
}

bool CUndoHistory::firstTouch(const void* object, Kind kind) {
  return depth > 0 && object != nullptr && touched.emplace(object, kind).second;
}

void CUndoHistory::add(std::unique_ptr<IUndoMemento> memento) {
  current.bytes += memento->bytes();
  current.mementos.push_back(std::move(memento));
}

void CUndoHistory::recordFrame(ZFrame* frame) {
  if (firstTouch(frame, kFrame)) add(std::make_unique<CFrameMemento>(*frame));
}

void CUndoHistory::recordGeometry(ZGeometry* geometry, bool arrays) {
  if (firstTouch(geometry, kGeometryFields)) {
    add(std::make_unique<CGeometryFieldsMemento>(*geometry));
  }
  if (arrays && firstTouch(geometry, kGeometryArrays)) {
    add(std::make_unique<CGeometryArraysMemento>(*geometry));
  }
}

void CUndoHistory::recordMaterial(ZMaterial* material) {
  if (firstTouch(material, kMaterial)) add(std::make_unique<CMaterialMemento>(*material));
}

void CUndoHistory::recordCamera(ZCamera* camera) {
  if (firstTouch(camera, kCamera)) add(std::make_unique<CCameraMemento>(*camera));
}

void CUndoHistory::recordLights(ZCorvane& renderer) {
  if (firstTouch(&renderer, kLights)) add(std::make_unique<CLightsMemento>(renderer));
}

void CUndoHistory::recordSubtree(ZFrame* top, unsigned parts) {
  if (top == nullptr || depth == 0) return;
  if ((parts & kFrames) != 0) recordFrame(top);
  for (ZGeometry* g : top->geometries) {
    if ((parts & (kMeshFields | kMeshArrays)) != 0) recordGeometry(g, (parts & kMeshArrays) != 0);
    if ((parts & kMaterials) != 0) recordMaterial(g->material);
  }
  for (ZFrame* child : top->children) recordSubtree(child, parts);
}

std::string CUndoHistory::undoName() const { return canUndo() ? steps[cursor - 1].name : ""; }

std::string CUndoHistory::redoName() const { return canRedo() ? steps[cursor].name : ""; }

void CUndoHistory::exchange(Step& step, SUndoRefresh& refresh) {
  for (const auto& memento : step.mementos) memento->exchange(refresh);
}

bool CUndoHistory::undo(SUndoRefresh& refresh) {
  if (!canUndo()) return false;
  Step& step = steps[--cursor];
  exchange(step, refresh);
  state = step.stateBefore;
  return true;
}

bool CUndoHistory::redo(SUndoRefresh& refresh) {
  if (!canRedo()) return false;
  Step& step = steps[cursor++];
  exchange(step, refresh);
  state = step.stateAfter;
  return true;
}

void CUndoHistory::clear() {
  steps.clear();
  cursor = 0;
  used = 0;
}

void CUndoHistory::setMemoryLimit(size_t bytes) {
  limit = bytes;
  keepWithinLimit();
}

void CUndoHistory::keepWithinLimit() {
  // The oldest undoable steps first, then the farthest redoable ones: what stays is always a
  // run of steps that can be taken in order from the present state.
  size_t drop = 0;
  while (used > limit && drop < cursor && steps.size() - drop > 1) used -= steps[drop++].bytes;
  steps.erase(steps.begin(), steps.begin() + std::ptrdiff_t(drop));
  cursor -= drop;
  while (used > limit && steps.size() > 1 && steps.size() > cursor) {
    used -= steps.back().bytes;
    steps.pop_back();
  }
}
