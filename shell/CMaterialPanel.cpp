#include "shell/CMaterialPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QVBoxLayout>

#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "shell/PanelParts.h"

namespace {

constexpr CEditInterface::MaterialColour kColours[] = {
    CEditInterface::MaterialColour::diffuse, CEditInterface::MaterialColour::ambient,
    CEditInterface::MaterialColour::specular, CEditInterface::MaterialColour::emissive};
const char* const kColourNames[] = {"diffuse", "ambient", "specular", "emissive"};
constexpr int kLayerButtonWidth = 36;

QColor colourOf(const D3DCOLORVALUE& c) {
  return QColor::fromRgbF(std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f),
                          std::clamp(c.b, 0.0f, 1.0f));
}

ZMaterial* selectedMaterial(CEditInterface* core) {
  if (core == nullptr || core->renderer->selectedGeometry == nullptr) return nullptr;
  return core->renderer->selectedGeometry->material;
}

}  // namespace

CMaterialPanel::CMaterialPanel(std::function<CEditInterface*()> core,
                               std::function<void(const std::function<void()>&)> withContext)
    : coreOf(std::move(core)), inContext(std::move(withContext)) {
  auto* layout = new QVBoxLayout(this);
  name = new QLineEdit;
  name->setReadOnly(true);
  layout->addWidget(name);

  auto* colours = new QGridLayout;
  for (int i = 0; i < 4; ++i) {
    swatches[i] = new QPushButton(kColourNames[i]);
    swatches[i]->setObjectName(kColourNames[i]);
    connect(swatches[i], &QPushButton::clicked, this, [this, i] {
      const QColor chosen = QColorDialog::getColor(swatches[i]->palette().button().color(), this);
      if (chosen.isValid()) applyColour(kColours[i], chosen);
    });
    colours->addWidget(swatches[i], i / 2, i % 2);
  }
  layout->addLayout(colours);

  auto* form = new QFormLayout;
  opacity = new QSlider(Qt::Horizontal);
  opacity->setRange(0, 100);
  connect(opacity, &QSlider::valueChanged, this, [this](int percent) {
    if (!updating && coreOf()) coreOf()->setSelectedOpacity(percent);
  });
  form->addRow("opacity", opacity);
  alphaRef = new QLineEdit;
  alphaRef->setObjectName("alphaRef");
  form->addRow("alpha reference", alphaRef);
  specularPower = new QLineEdit;
  specularPower->setObjectName("specularPower");
  form->addRow("specular exponent", specularPower);
  for (QLineEdit* field : {alphaRef, specularPower}) {
    connect(field, &QLineEdit::editingFinished, this, &CMaterialPanel::writeBack);
  }
  layout->addLayout(form);

  alphaBlend = addCheck("alpha blend", "alphaBlend");
  disconnect(alphaBlend, nullptr, this, nullptr);
  connect(alphaBlend, &QCheckBox::toggled, this, [this](bool on) {
    if (!updating && on && coreOf()) coreOf()->alphaBlendSelected();
  });
  alphaTest = addCheck("alpha test", "alphaTest");
  doubleFace = addCheck("double face", "doubleFace");
  noZWrite = addCheck("no Z-buffer write", "noZWrite");
  useZBuffer = addCheck("use Z buffer", "useZBuffer");
  castShadow = addCheck("cast shadow", "castShadow");
  transparent = addCheck("transparent", "transparent");
  moveable = addCheck("movable frame", "moveable");

  auto* layers = new QHBoxLayout;
  auto* group = new QButtonGroup(this);
  for (int layer = 0; layer < 6; ++layer) {
    auto* button = new QPushButton(QString::number(layer + 1));
    button->setCheckable(true);
    button->setChecked(layer == 0);
    button->setFixedWidth(kLayerButtonWidth);
    group->addButton(button, layer);
    layers->addWidget(button);
  }
  connect(group, &QButtonGroup::idClicked, this, [this](int layer) {
    activeLayer = layer;
    refresh();
  });
  layout->addLayout(layers);
  auto* textureRow = new QHBoxLayout;
  texture = new QLineEdit;
  texture->setReadOnly(true);
  layerActive = new QCheckBox("active");
  layerActive->setEnabled(false);
  auto* browse = new QPushButton("browse");
  connect(browse, &QPushButton::clicked, this, &CMaterialPanel::chooseTexture);
  auto* remove = new QPushButton("remove");
  connect(remove, &QPushButton::clicked, this, [this] {
    inContext([this] { coreOf()->setSelectedTexture(activeLayer, ""); });
    refresh();
  });
  for (QWidget* w : std::initializer_list<QWidget*>{texture, layerActive, browse, remove}) {
    textureRow->addWidget(w);
  }
  layout->addLayout(textureRow);

  auto* filters = new QFormLayout;
  magMin = new QComboBox;
  mip = new QComboBox;
  for (QComboBox* list : {magMin, mip}) {
    list->addItems({"point", "linear"});
    connect(list, &QComboBox::currentIndexChanged, this, &CMaterialPanel::writeBack);
  }
  filters->addRow("layer 2 mag/min", magMin);
  filters->addRow("layer 2 mip", mip);
  layout->addLayout(filters);

  auto* wizard = new QHBoxLayout;
  presets = new QComboBox;
  for (const std::string& preset : CEditInterface::stagePresetNames()) {
    presets->addItem(QString::fromStdString(preset));
  }
  auto* apply = new QPushButton("apply");
  connect(apply, &QPushButton::clicked, this, [this] {
    if (coreOf()) coreOf()->applyStagePreset(activeLayer, presets->currentText().toStdString());
  });
  wizard->addWidget(presets);
  wizard->addWidget(apply);
  layout->addLayout(wizard);

  effect = new QComboBox;
  effect->setObjectName("effect");
  effect->addItem("");  // no effect
  effect->addItems(QDir("shaders").entryList({"*.fxo"}, QDir::Files, QDir::Name));
  connect(effect, &QComboBox::activated, this, &CMaterialPanel::chooseEffect);
  layout->addWidget(effect);
  variables = new QTableWidget(0, 2);
  variables->setHorizontalHeaderLabels({"variable", "value"});
  variables->horizontalHeader()->setStretchLastSection(true);
  variables->setVisible(false);
  connect(variables, &QTableWidget::cellChanged, this, [this](int row, int column) {
    if (updating || column != 1 || !coreOf()) return;
    coreOf()->setSelectedEffectVariable(variables->item(row, 0)->text().toStdString(),
                                        variables->item(row, 1)->text().toFloat());
  });
  layout->addWidget(variables);
  geometryVars = new QPlainTextEdit;
  geometryVars->setReadOnly(true);
  layout->addWidget(geometryVars);
  position = new QLabel;
  layout->addWidget(position);
  layout->addStretch();
}

QCheckBox* CMaterialPanel::addCheck(const QString& text, const char* objectName) {
  auto* box = new QCheckBox(text);
  box->setObjectName(objectName);
  connect(box, &QCheckBox::toggled, this, &CMaterialPanel::writeBack);
  layout()->addWidget(box);
  return box;
}

bool CMaterialPanel::variablesGridShown() const { return variables->isVisible(); }

void CMaterialPanel::hideVariablesGrid() { variables->setVisible(false); }

// setActiveMaterial: every field back at once, unless the panel is being filled.
void CMaterialPanel::writeBack() {
  CEditInterface* core = coreOf();
  if (updating || core == nullptr) return;
  SMaterialFields f;
  f.alphaTest = alphaTest->isChecked();
  f.alphaRef = alphaRef->text().toInt();
  f.doubleFace = doubleFace->isChecked();
  f.useZBuffer = useZBuffer->isChecked();
  f.noZWrite = noZWrite->isChecked();
  f.specularPower = specularPower->text().toFloat();
  f.magMinFilter = magMin->currentIndex();
  f.mipFilter = mip->currentIndex();
  f.castShadow = castShadow->isChecked();
  f.transparent = transparent->isChecked();
  f.frameMoveable = moveable->isChecked();
  core->setActiveMaterial(f);
}

void CMaterialPanel::applyColour(CEditInterface::MaterialColour which, const QColor& colour) {
  if (coreOf() == nullptr) return;
  coreOf()->setSelectedColour(which, colour.red(), colour.green(), colour.blue());
  refresh();
}

void CMaterialPanel::refresh() {
  CEditInterface* core = coreOf();
  if (core == nullptr) return;
  updating = true;
  const SMaterialFields f = core->getActiveMaterial();
  alphaTest->setChecked(f.alphaTest);
  alphaRef->setText(QString::asprintf("%d", f.alphaRef));
  doubleFace->setChecked(f.doubleFace);
  useZBuffer->setChecked(f.useZBuffer);
  noZWrite->setChecked(f.noZWrite);
  specularPower->setText(QString::asprintf("%.1f", double(f.specularPower)));
  magMin->setCurrentIndex(f.magMinFilter);
  mip->setCurrentIndex(f.mipFilter);
  castShadow->setChecked(f.castShadow);
  transparent->setChecked(f.transparent);
  moveable->setChecked(f.frameMoveable);
  const ZMaterial* m = selectedMaterial(core);
  opacity->setValue(m != nullptr ? int(m->d3dMaterial.Diffuse.a * 100.0f + 0.5f) : 100);
  alphaBlend->setChecked(m != nullptr && m->alphaBlend);
  const ZGeometry* g = core->renderer->selectedGeometry;
  const ZFrame* frame = core->renderer->selectedFrame;
  name->setText(QString::fromStdString(g != nullptr       ? g->name
                                       : frame != nullptr ? frame->name
                                                          : ""));
  QString lines;
  if (g != nullptr) {
    for (const SGeometryVar& var : g->vars) {
      lines += QString::asprintf("%s=%.2f\n", var.name.c_str(), double(var.value));
    }
  }
  geometryVars->setPlainText(lines);
  if (frame != nullptr) {
    const ZVector p = frame->getWorldPosition();
    position->setText(QString::asprintf("%.3f %.3f %.3f", double(p.x), double(p.y), double(p.z)));
  } else {
    position->clear();
  }
  fillSwatches();
  fillLayer();
  fillEffect();
  updating = false;
}

void CMaterialPanel::fillSwatches() {
  const ZMaterial* m = selectedMaterial(coreOf());
  const D3DCOLORVALUE* colours[4] = {};
  if (m != nullptr) {
    const D3DMATERIAL9& d = m->d3dMaterial;
    colours[0] = &d.Diffuse, colours[1] = &d.Ambient, colours[2] = &d.Specular,
    colours[3] = &d.Emissive;
  }
  for (int i = 0; i < 4; ++i) {
    const QColor c = colours[i] != nullptr ? colourOf(*colours[i]) : QColor(Qt::gray);
    swatches[i]->setStyleSheet(QString("background-color: %1").arg(c.name()));
  }
}

void CMaterialPanel::fillLayer() {
  const ZMaterial* m = selectedMaterial(coreOf());
  const ZTexture* t = m != nullptr ? m->stage(activeLayer).texture : nullptr;
  texture->setText(t != nullptr ? QString::fromStdString(t->name) : QString());
  layerActive->setChecked(m != nullptr && m->stage(activeLayer).active);
}

// The list at the material's effect (the first entry when it is not listed), and its variables.
void CMaterialPanel::fillEffect() {
  const ZMaterial* m = selectedMaterial(coreOf());
  const int listed = m != nullptr ? effect->findText(QString::fromStdString(m->effectName)) : 0;
  effect->setCurrentIndex(std::max(listed, 0));
  variables->setRowCount(0);
  if (m == nullptr) return;
  for (const auto& var : m->effectVars) {
    const int row = variables->rowCount();
    variables->insertRow(row);
    auto* label = new QTableWidgetItem(QString::fromStdString(var->name));
    label->setFlags(label->flags() & ~Qt::ItemIsEditable);
    variables->setItem(row, 0, label);
    variables->setItem(row, 1, new QTableWidgetItem(QString::number(double(var->value))));
  }
}

void CMaterialPanel::chooseEffect(int index) {
  if (updating || coreOf() == nullptr) return;
  const std::string chosen = index <= 0 ? std::string() : effect->itemText(index).toStdString();
  inContext([&] { coreOf()->chooseShader(chosen); });
  refresh();
  variables->setVisible(variables->rowCount() > 0);
}

void CMaterialPanel::chooseTexture() {
  if (coreOf() == nullptr) return;
  const QString file = askFile(this, "Texture", "Pictures (*.dds *.tga *.png *.jpg *.bmp)", false);
  if (file.isEmpty()) return;
  inContext([&] { coreOf()->setSelectedTexture(activeLayer, file.toStdString()); });
  refresh();
}
