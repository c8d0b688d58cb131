// What the editor core asks of the window around it: the object tree, the selection, the
// reference-point panel and the progress bar. The Qt shell implements it; the headless host
// records the calls.
#pragma once

#include <cstdint>
#include <string>

class ZGeometry;

class IEditShell {
 public:
  virtual ~IEditShell() = default;
  // Rebuilds the object tree from the scene.
  virtual void updateTree() = 0;
  // The geometry picked in the viewport became the selection (null: none).
  virtual void selectionChanged(ZGeometry* geometry) = 0;
  // The reference point of that name moved.
  virtual void refChanged(const std::string& name) = 0;
  virtual void setProgress(int32_t percent) = 0;
};
