// The track tabs of the property panel: "physic track" (the track's reference points: the tab
// being shown turns the core's reference mode on), "lights" (sun direction and colours, ambient
// light, shadow bias) and "cameras" (the track cameras). Every change goes to a core operation.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "shell/PanelParts.h"

class CEditInterface;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QTabWidget;
class QWidget;

class CTrackTabs {
 public:
  CTrackTabs(SPanelHost host, QTabWidget& panels);

  // The core's refChanged: the shown values again when that point is listed.
  void refChanged(const std::string& name);
  // After a model is opened: the camera list again.
  void modelOpened();

 private:
  QWidget* references();
  QWidget* lights();
  QWidget* cameras();
  void showReference();
  void writeReference();
  void fillCameras();
  void showLightColours();
  int selectedCamera() const;

  SPanelHost host;
  bool updating = false;
  QListWidget* referenceList = nullptr;
  QLineEdit* values[3] = {};
  QLineEdit* heading = nullptr;
  QSlider *sunX = nullptr, *sunZ = nullptr;
  QPushButton *sunSwatch = nullptr, *ambientSwatch = nullptr;
  QListWidget* cameraList = nullptr;
  QLineEdit *tag = nullptr, *minFov = nullptr, *maxFov = nullptr;
  QCheckBox* fixed = nullptr;
};
