#include "shell/CTrackTabs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/CEditInterface.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZLight.h"

namespace {

const QString kTextFiles = "Text (*.txt);;All files (*)";

// Values in the invariant number format, whatever the user's locale.
float parse(const QLineEdit* field) { return QLocale::c().toFloat(field->text()); }
QString shown(float value) { return QString::asprintf("%.3f", double(value)); }

}  // namespace

CTrackTabs::CTrackTabs(SPanelHost owner, QTabWidget& panels) : host(std::move(owner)) {
  QWidget* referenceTab = references();
  panels.addTab(referenceTab, "physic track");
  panels.addTab(lights(), "lights");
  panels.addTab(cameras(), "cameras");
  QObject::connect(&panels, &QTabWidget::currentChanged, [this, referenceTab, &panels](int) {
    if (CEditInterface* core = host.core()) {
      core->refEditMode = panels.currentWidget() == referenceTab;
    }
  });
}

QWidget* CTrackTabs::references() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  referenceList = new QListWidget;
  referenceList->setObjectName("references");
  layout->addWidget(referenceList);
  auto* form = new QFormLayout;
  const char* axes[] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    values[i] = new QLineEdit;
    values[i]->setObjectName(axes[i]);
    form->addRow(axes[i], values[i]);
  }
  heading = new QLineEdit;
  heading->setObjectName("heading");
  form->addRow("heading", heading);
  layout->addLayout(form);
  for (QLineEdit* field : {values[0], values[1], values[2], heading}) {
    QObject::connect(field, &QLineEdit::editingFinished, [this] { writeReference(); });
  }
  QObject::connect(referenceList, &QListWidget::currentTextChanged, [this] { showReference(); });
  auto* buttons = new QHBoxLayout;
  addButton(*buttons, "import", [this] {
    const QString file = askFile(host.window, "Import track points", kTextFiles, false);
    if (!file.isEmpty() && host.core()) host.core()->importPhysicRefsTR(file.toStdString());
    showReference();
  });
  addButton(*buttons, "export", [this] {
    const QString file = askFile(host.window, "Export track points", kTextFiles, true);
    if (!file.isEmpty() && host.core()) host.core()->exportPhysicRefsTR(file.toStdString());
  });
  addButton(*buttons, "from 3d", [this] {
    if (host.core()) host.core()->genRefsFrom3D("");
    showReference();
  });
  addButton(*buttons, "flags from 3d", [this] {
    if (host.core()) host.core()->genFlagsFrom3D();
  });
  layout->addLayout(buttons);
  return tab;
}

// The list of track points, made once the core exists.
void CTrackTabs::modelOpened() {
  CEditInterface* core = host.core();
  if (core == nullptr) return;
  if (referenceList->count() == 0) {
    for (const SPhysicRef& ref : core->physicRefs) {
      if (std::string_view(ref.name).find("PZTR_") != std::string_view::npos) {
        referenceList->addItem(ref.name);
      }
    }
  }
  fillCameras();
  showLightColours();
}

// The swatches in the sun's diffuse colour and the ambient light.
void CTrackTabs::showLightColours() {
  CEditInterface* core = host.core();
  if (core == nullptr) return;
  const auto paint = [](QPushButton* button, float r, float g, float b) {
    const QColor c = QColor::fromRgbF(std::clamp(r, 0.0f, 1.0f), std::clamp(g, 0.0f, 1.0f),
                                      std::clamp(b, 0.0f, 1.0f));
    button->setStyleSheet(QString("background-color: %1").arg(c.name()));
  };
  const float* ambient = core->renderer->ambientColour;
  paint(ambientSwatch, ambient[0], ambient[1], ambient[2]);
  if (!core->renderer->activeLights.empty()) {
    const D3DCOLORVALUE& sun = core->renderer->activeLights[0]->light.Diffuse;
    paint(sunSwatch, sun.r, sun.g, sun.b);
  }
}

void CTrackTabs::showReference() {
  CEditInterface* core = host.core();
  const QString name = referenceList->currentItem() ? referenceList->currentItem()->text() : "";
  if (core == nullptr || name.isEmpty()) return;
  updating = true;
  core->selectReference(name.toStdString());
  const ZVector p = core->getPhysicRefPos(name.toStdString());
  values[0]->setText(shown(p.x));
  values[1]->setText(shown(p.y));
  values[2]->setText(shown(p.z));
  heading->setText(shown(core->getPhysicRefPos(name.toStdString() + "d").x));
  updating = false;
}

void CTrackTabs::writeReference() {
  CEditInterface* core = host.core();
  if (updating || core == nullptr || referenceList->currentItem() == nullptr) return;
  core->setTrackReference(referenceList->currentItem()->text().toStdString(),
                          {parse(values[0]), parse(values[1]), parse(values[2])}, parse(heading));
}

void CTrackTabs::refChanged(const std::string& name) {
  const QString shownName =
      referenceList->currentItem() ? referenceList->currentItem()->text() : QString();
  const QString changed = QString::fromStdString(name);
  if (!shownName.isEmpty() && (changed == shownName || changed == shownName + "d")) {
    showReference();
  }
}

QWidget* CTrackTabs::lights() {
  auto* tab = new QWidget;
  auto* layout = new QFormLayout(tab);
  sunX = new QSlider(Qt::Horizontal);
  sunZ = new QSlider(Qt::Horizontal);
  for (QSlider* slider : {sunX, sunZ}) {
    slider->setRange(0, 180);
    slider->setValue(90);  // straight down
    QObject::connect(slider, &QSlider::valueChanged, [this] {
      if (host.core()) host.core()->setSunFromSliders(sunX->value(), sunZ->value());
    });
  }
  layout->addRow("sun x", sunX);
  layout->addRow("sun z", sunZ);
  const auto swatch = [this](const char* text, bool sun) {
    auto* button = new QPushButton(text);
    QObject::connect(button, &QPushButton::clicked, [this, sun] {
      CEditInterface* core = host.core();
      if (core == nullptr) return;
      const QColor c = QColorDialog::getColor(Qt::white, host.window);
      if (!c.isValid()) return;
      if (sun) {
        core->setSunColour(c.red(), c.green(), c.blue());
      } else {
        core->setAmbientColour(c.red(), c.green(), c.blue());
      }
      showLightColours();
    });
    return button;
  };
  sunSwatch = swatch("sun colour", true);
  ambientSwatch = swatch("ambient light", false);
  layout->addRow(sunSwatch);
  layout->addRow(ambientSwatch);
  auto* bias = new QLineEdit("0");
  QObject::connect(bias, &QLineEdit::editingFinished, [this, bias] {
    if (host.core()) host.core()->renderer->shadowBias = parse(bias);
  });
  layout->addRow("shadow bias", bias);
  return tab;
}

QWidget* CTrackTabs::cameras() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  cameraList = new QListWidget;
  cameraList->setObjectName("cameras");
  layout->addWidget(cameraList);
  QObject::connect(cameraList, &QListWidget::itemDoubleClicked, [this] {
    CEditInterface* core = host.core();
    const ZCamera* camera = core != nullptr ? core->viewFromTrackCamera(selectedCamera()) : nullptr;
    if (camera == nullptr) return;
    minFov->setText(QString::number(double(camera->minFov)));
    maxFov->setText(QString::number(double(camera->maxFov)));
    tag->setText(QString::number(camera->tag));
    fixed->setChecked(camera->fixed);
  });
  auto* form = new QFormLayout;
  tag = new QLineEdit("0");
  minFov = new QLineEdit("20");
  maxFov = new QLineEdit("60");
  fixed = new QCheckBox;
  form->addRow("tag", tag);
  form->addRow("narrowest", minFov);
  form->addRow("widest", maxFov);
  form->addRow("fixed", fixed);
  layout->addLayout(form);
  auto* buttons = new QHBoxLayout;
  addButton(*buttons, "new", [this] {
    if (host.core()) host.core()->newTrackCamera();
    fillCameras();
  });
  addButton(*buttons, "set", [this] {
    if (host.core()) {
      host.core()->setTrackCamera(selectedCamera(), tag->text().toInt(), minFov->text().toInt(),
                                  maxFov->text().toInt(), fixed->isChecked());
    }
    fillCameras();
  });
  addButton(*buttons, "delete", [this] {
    if (host.core()) host.core()->deleteTrackCamera(selectedCamera());
    fillCameras();
  });
  layout->addLayout(buttons);
  auto* tests = new QHBoxLayout;
  addButton(*tests, "test narrowest", [this] {
    if (host.core()) host.core()->testTrackCameraFov(selectedCamera(), false);
  });
  addButton(*tests, "test widest", [this] {
    if (host.core()) host.core()->testTrackCameraFov(selectedCamera(), true);
  });
  addButton(*tests, "import", [this] {
    const QString file = askFile(host.window, "Import cameras", kTextFiles, false);
    if (!file.isEmpty() && host.core()) host.core()->importCameras(file.toStdString());
    fillCameras();
  });
  addButton(*tests, "export", [this] {
    const QString file = askFile(host.window, "Export cameras", kTextFiles, true);
    if (!file.isEmpty() && host.core()) host.core()->exportCameras(file.toStdString());
  });
  layout->addLayout(tests);
  return tab;
}

int CTrackTabs::selectedCamera() const { return cameraList->currentRow(); }

void CTrackTabs::fillCameras() {
  CEditInterface* core = host.core();
  const int row = cameraList->currentRow();
  cameraList->clear();
  if (core == nullptr) return;
  for (const ZCamera* camera : core->cameraList) {
    cameraList->addItem(QString::fromStdString(camera->name));
  }
  cameraList->setCurrentRow(std::min(row, cameraList->count() - 1));
}
