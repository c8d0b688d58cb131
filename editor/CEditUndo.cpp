// Undo and redo: the history's steps taken back or done again, and what the renderer, the
// selection and the shell need afterwards.
#include <algorithm>

#include "editor/CEditInterface.h"
#include "editor/IEditShell.h"
#include "foundation/ZINIReader.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

namespace {

bool frameBelow(const ZFrame& top, const ZFrame* frame) {
  if (&top == frame) return true;
  return std::any_of(top.children.begin(), top.children.end(),
                     [&](const ZFrame* child) { return frameBelow(*child, frame); });
}

bool geometryBelow(const ZFrame& top, const ZGeometry* geometry) {
  if (std::find(top.geometries.begin(), top.geometries.end(), geometry) != top.geometries.end()) {
    return true;
  }
  return std::any_of(top.children.begin(), top.children.end(),
                     [&](const ZFrame* child) { return geometryBelow(*child, geometry); });
}

}  // namespace

size_t CEditInterface::readUndoMemoryLimit() {
  ZINIReader settings;
  settings.load("zmfedit.ini");
  const int megabytes = settings.loaded ? settings.getInt("UNDO", "MEMORYMB") : 0;
  return megabytes > 0 ? size_t(megabytes) << 20 : CUndoHistory::kDefaultMemoryLimit;
}

std::string CEditInterface::ofSelection(const std::string& action) const {
  if (const ZGeometry* g = renderer->selectedGeometry) return action + " of " + g->name;
  if (const ZFrame* f = renderer->selectedFrame) return action + " of " + f->name;
  return action;
}

bool CEditInterface::inModel(const ZFrame* frame) const {
  return rootFrame != nullptr && frameBelow(*rootFrame, frame);
}

bool CEditInterface::inModel(const ZGeometry* geometry) const {
  return rootFrame != nullptr && geometryBelow(*rootFrame, geometry);
}

bool CEditInterface::undo() { return takeStep(false); }

bool CEditInterface::redo() { return takeStep(true); }

bool CEditInterface::takeStep(bool redo) {
  if (history.isOpen()) return false;
  if (redo ? !history.canRedo() : !history.canUndo()) return false;
  if (carTestRunning) switchCarTest();  // its matrices go back before the model changes
  SUndoRefresh refresh;
  if (redo) {
    history.redo(refresh);
  } else {
    history.undo(refresh);
  }
  refreshAfterStep(refresh);
  return true;
}

void CEditInterface::refreshAfterStep(SUndoRefresh& refresh) {
  bool uploaded = false;
  // The arrays that came back are as they were when compiled: only the device copy is written,
  // in place when the faces are the same.
  for (ZGeometry* g : refresh.verticesChanged) {
    if (!g->rewriteDeviceVertices()) refresh.facesChanged.push_back(g);
  }
  for (ZGeometry* g : refresh.facesChanged) {
    if (!g->compiled) continue;
    g->compiled = false;
    g->compilePrepared();
    uploaded = true;
  }
  for (const ZFrame* frame : refresh.relinked) {
    for (ZGeometry* g : frame->geometries) {
      if (g->compiled) continue;
      g->compile();
      uploaded = true;
    }
  }
  if (uploaded) renderer->finaliseVertexBuffers(false);
  if (refresh.lights) {
    const float* ambient = renderer->ambientColour;
    renderer->setAmbientLight(ambient[0], ambient[1], ambient[2]);
  }
  if (renderer->selectedFrame != nullptr && !inModel(renderer->selectedFrame)) {
    renderer->selectedFrame = nullptr;
  }
  if (renderer->selectedGeometry != nullptr && !inModel(renderer->selectedGeometry)) {
    renderer->selectedGeometry = nullptr;
  }
  if (shell != nullptr) shell->updateTree();
}

void CEditInterface::endDrag() {
  if (!dragging) return;
  dragging = false;
  history.close();
}

void CEditInterface::recordPivot(ZFrame& frame) {
  history.recordFrame(&frame);
  for (ZFrame* child : frame.children) history.recordFrame(child);
  for (ZGeometry* g : frame.geometries) history.recordGeometry(g, true);
}
