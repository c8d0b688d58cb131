// The tool tabs of the property panel: "wizards", "batch", "shadow maps", "frames", "moto" and
// "hierarchy". Each button calls one core operation (frame reordering goes through command
// packets 9, 10 and 11, as the window always sent it); the tree is rebuilt where the structure
// may have changed.
#pragma once

#include <QWidget>
#include <functional>

#include "shell/PanelParts.h"

class CEditInterface;
class QLabel;
class QLineEdit;
class QTabWidget;

class CToolTabs {
 public:
  // Adds the tabs to panels.
  CToolTabs(SPanelHost host, QTabWidget& panels);

 private:
  QWidget* wizards();
  QWidget* batch();
  QWidget* shadowMaps();
  QWidget* frames();
  QWidget* moto();
  QWidget* hierarchy();
  // Runs work on the core (when there is one) with the context current.
  void run(const std::function<void(CEditInterface&)>& work);
  void sendPacket(uint8_t code);

  SPanelHost host;
  QLineEdit* positionFields[3] = {};
  QLineEdit* scaleFields[3] = {};
  QLineEdit* angle = nullptr;
  QLineEdit* variable = nullptr;
  QLineEdit* newName = nullptr;
  QLabel* size = nullptr;
};
