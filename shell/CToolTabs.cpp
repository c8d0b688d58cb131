#include "shell/CToolTabs.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/CEditInterface.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"

namespace {

constexpr float kMinimumShadowRange = 5.0f;

// Three fields in a row for x, y and z.
QHBoxLayout* vectorRow(QLineEdit* (&fields)[3], const QString& initial) {
  auto* row = new QHBoxLayout;
  for (QLineEdit*& field : fields) {
    field = new QLineEdit(initial);
    row->addWidget(field);
  }
  return row;
}

ZVector vectorOf(QLineEdit* const (&fields)[3]) {
  return {fields[0]->text().toFloat(), fields[1]->text().toFloat(), fields[2]->text().toFloat()};
}

}  // namespace

CToolTabs::CToolTabs(SPanelHost owner, QTabWidget& panels) : host(std::move(owner)) {
  panels.addTab(wizards(), "wizards");
  panels.addTab(batch(), "batch");
  panels.addTab(shadowMaps(), "shadow maps");
  panels.addTab(frames(), "frames");
  panels.addTab(moto(), "moto");
  panels.addTab(hierarchy(), "hierarchy");
}

void CToolTabs::run(const std::function<void(CEditInterface&)>& work) {
  CEditInterface* core = host.core();
  if (core != nullptr) host.withContext([&] { work(*core); });
}

void CToolTabs::sendPacket(uint8_t code) {
  run([code](CEditInterface& core) { core.onReceive(&code, 1); });
}

QWidget* CToolTabs::wizards() {
  auto* tab = new QWidget;
  auto* grid = new QGridLayout(tab);
  const std::pair<const char*, std::function<void(CEditInterface&)>> tools[] = {
      {"mats2white", [](CEditInterface& c) { c.makeMatsWhite(nullptr); }},
      {"mat simplfy", [](CEditInterface& c) { c.simplifyMaterials(); }},
      {"make lod", [](CEditInterface& c) { c.makeLODMaterial(c.rootFrame); }},
      {"smooth", [](CEditInterface& c) { c.setSmooth(true); }},
      {"smooth off", [](CEditInterface& c) { c.setSmooth(false); }},
      {"test car", [](CEditInterface& c) { c.switchCarTest(); }},
      {"show phs", [](CEditInterface& c) { c.hideWizard(c.rootFrame, 0); }},
      {"show all", [](CEditInterface& c) { c.hideWizard(c.rootFrame, 2); }},
      {"rotate 90", [](CEditInterface& c) { c.rotate90(); }},
      {"remove lm", [](CEditInterface& c) { c.removeLightmap(); }},
      {"invert U", [](CEditInterface& c) { c.invertSelectedU(); }},
      {"gen normals", [](CEditInterface& c) { c.onKeyPressed('g'); }},
      {"remove cast", [](CEditInterface& c) { c.removeCast(); }},
      {"repivot",
       [](CEditInterface& c) {
         c.placeSelectedFrame(CEditInterface::FramePlacement::repivot, ZVector());
       }},
      {"collapse", [](CEditInterface& c) { c.collapseSelection(); }},
      {"auto shadow", [](CEditInterface& c) { c.autoShadow(); }},
      {"auto alpha", [](CEditInterface& c) { c.autoAlpha(c.rootFrame); }},
  };
  int at = 0;
  for (const auto& [name, tool] : tools) {
    auto* button = new QPushButton(name);
    button->setObjectName(name);
    QObject::connect(button, &QPushButton::clicked, [this, work = tool] {
      run(work);
      host.treeChanged();
    });
    grid->addWidget(button, at / 2, at % 2);
    ++at;
  }
  grid->setRowStretch(at / 2 + 1, 1);
  return tab;
}

QWidget* CToolTabs::batch() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* filter = new QLineEdit;
  filter->setPlaceholderText("name contains");
  layout->addWidget(filter);
  const char* actions[] = {"cast shadow", "cast shadow (all)", "no specular", "linear mip maps",
                           "material of the selection"};
  for (int action = 1; action <= 5; ++action) {
    addButton(*layout, actions[action - 1], [this, filter, action] {
      run([&](CEditInterface& c) { c.batchAction(filter->text().toStdString(), action); });
    });
  }
  layout->addStretch();
  return tab;
}

QWidget* CToolTabs::shadowMaps() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(new QLabel("near shadow range"));
  auto* range = new QLineEdit("120");
  range->setObjectName("shadowRange");
  QObject::connect(range, &QLineEdit::editingFinished, [this, range] {
    CEditInterface* core = host.core();
    if (core == nullptr) return;
    core->shadowRange = std::max(kMinimumShadowRange, range->text().toFloat());
    range->setText(QString::number(double(core->shadowRange)));
  });
  layout->addWidget(range);
  layout->addStretch();
  return tab;
}

QWidget* CToolTabs::frames() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* order = new QHBoxLayout;
  const std::pair<const char*, uint8_t> moves[] = {
      {"move up", 9}, {"move down", 10}, {"move last", 11}};
  for (const auto& [text, code] : moves) {
    addButton(*order, text, [this, code = code] {
      sendPacket(code);
      host.treeChanged();
    });
  }
  layout->addLayout(order);
  addButton(*layout, "load skybox", [this] {
    const QString file = askFile(host.window, "Sky box", "ZMF (*.zmf *.pzo)", false);
    if (!file.isEmpty()) run([&](CEditInterface& c) { c.loadSkybox(file.toStdString()); });
  });

  variable = new QLineEdit;
  variable->setPlaceholderText("NAME=value");
  layout->addWidget(variable);
  addButton(*layout, "set var", [this] {
    const QStringList parts = variable->text().split('=');
    if (parts.size() != 2) return;
    run([&](CEditInterface& c) {
      c.setSelectedVar(parts[0].trimmed().toStdString(), parts[1].toFloat());
    });
  });

  angle = new QLineEdit("90");
  layout->addWidget(angle);
  auto* rotations = new QHBoxLayout;
  const char* axes[] = {"rotate x", "rotate y", "rotate z", "roll"};
  for (int axis = 0; axis < 4; ++axis) {
    addButton(*rotations, axes[axis], [this, axis] {
      run([&](CEditInterface& c) { c.rotateSelectedFrame(axis, angle->text().toFloat()); });
    });
  }
  layout->addLayout(rotations);

  layout->addLayout(vectorRow(scaleFields, "1"));
  auto* scaling = new QHBoxLayout;
  addButton(*scaling, "scale",
            [this] { run([&](CEditInterface& c) { c.scaleSelected(vectorOf(scaleFields)); }); });
  size = new QLabel;
  addButton(*scaling, "get size", [this] {
    if (host.core() != nullptr) size->setText(QString::fromStdString(host.core()->selectedSize()));
  });
  scaling->addWidget(size);
  layout->addLayout(scaling);

  layout->addLayout(vectorRow(positionFields, "0"));
  auto* placing = new QHBoxLayout;
  const std::pair<const char*, CEditInterface::FramePlacement> placements[] = {
      {"move frame", CEditInterface::FramePlacement::move},
      {"move pivot", CEditInterface::FramePlacement::pivot},
      {"repivot", CEditInterface::FramePlacement::repivot}};
  for (const auto& [text, placement] : placements) {
    addButton(*placing, text, [this, placement = placement] {
      run([&](CEditInterface& c) { c.placeSelectedFrame(placement, vectorOf(positionFields)); });
    });
  }
  layout->addLayout(placing);

  newName = new QLineEdit;
  layout->addWidget(newName);
  addButton(*layout, "change name", [this] {
    run([&](CEditInterface& c) { c.renameSelection(newName->text().toStdString(), true, true); });
  });
  layout->addStretch();
  return tab;
}

QWidget* CToolTabs::moto() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  addButton(*layout, "check motorbike", [this] {
    CEditInterface* core = host.core();
    if (core == nullptr) return;
    QMessageBox::information(host.window, "moto", QString::fromStdString(core->checkMotorbike()));
  });
  layout->addStretch();
  return tab;
}

QWidget* CToolTabs::hierarchy() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  addButton(*layout, "promote", [this] { run([](CEditInterface& c) { c.promoteSelected(); }); });
  layout->addStretch();
  return tab;
}
