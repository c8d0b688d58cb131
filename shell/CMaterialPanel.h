// The "material" tab: the selected geometry's material and flags, and a selected frame's. It is
// filled from the core with `updating` set, so that the fields' change signals write nothing
// back meanwhile; every change afterwards goes to the core's operations.
#pragma once

#include <QColor>
#include <QWidget>

#include "editor/CEditInterface.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTableWidget;

class CMaterialPanel : public QWidget {
  Q_OBJECT

 public:
  // withContext runs a core call with the viewport's GL context current.
  CMaterialPanel(std::function<CEditInterface*()> core,
                 std::function<void(const std::function<void()>&)> withContext);

  // getActiveMaterial: the fields from the selection.
  void refresh();
  // A swatch's colour chosen (the swatch's dialog ends here).
  void applyColour(CEditInterface::MaterialColour which, const QColor& colour);
  bool variablesGridShown() const;
  void hideVariablesGrid();

 private:
  QCheckBox* addCheck(const QString& text, const char* name);
  void writeBack();
  void fillSwatches();
  void fillLayer();
  void fillEffect();
  void chooseTexture();
  void chooseEffect(int index);

  std::function<CEditInterface*()> coreOf;
  std::function<void(const std::function<void()>&)> inContext;
  bool updating = false;
  int activeLayer = 0;
  QPushButton* swatches[4] = {};
  QSlider* opacity = nullptr;
  QCheckBox *alphaBlend = nullptr, *alphaTest = nullptr, *doubleFace = nullptr,
            *useZBuffer = nullptr, *noZWrite = nullptr, *castShadow = nullptr,
            *transparent = nullptr, *moveable = nullptr, *layerActive = nullptr;
  QLineEdit *alphaRef = nullptr, *specularPower = nullptr, *texture = nullptr, *name = nullptr;
  QComboBox *magMin = nullptr, *mip = nullptr, *effect = nullptr, *presets = nullptr;
  QTableWidget* variables = nullptr;
  QPlainTextEdit* geometryVars = nullptr;
  QLabel* position = nullptr;
};
