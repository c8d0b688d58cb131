#include "shell/CContentDock.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "editor/CEditInterface.h"
#include "formats/ZDrawBudget.h"
#include "formats/ZTextureReport.h"
#include "platform/d3dx/ImageFile.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

namespace {

const QStringList kColumns = {"match", "name", "file", "format", "size", "bytes", "users"};

}  // namespace

CContentDock::CContentDock(std::function<CEditInterface*()> core,
                           std::function<void(ZGeometry*)> selectGeometry)
    : QDockWidget("Content check"), coreOf(std::move(core)), select(std::move(selectGeometry)) {
  setObjectName("contentCheck");
  auto* body = new QWidget;
  auto* layout = new QVBoxLayout(body);
  textures = new QTableWidget(0, int(kColumns.size()));
  textures->setHorizontalHeaderLabels(kColumns);
  textures->setEditTriggers(QAbstractItemView::NoEditTriggers);
  textures->horizontalHeader()->setStretchLastSection(true);
  connect(textures, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (row >= 0 && size_t(row) < firstUsers.size() && firstUsers[size_t(row)] != nullptr) {
      select(firstUsers[size_t(row)]);
    }
  });
  layout->addWidget(textures);
  budget = new QPlainTextEdit;
  budget->setReadOnly(true);
  layout->addWidget(budget);
  setWidget(body);
}

void CContentDock::refresh() {
  textures->setRowCount(0);
  firstUsers.clear();
  budget->clear();
  CEditInterface* core = coreOf();
  if (core == nullptr || core->rootFrame == nullptr) return;
  const std::vector<STextureReport> reports = reportTextures(*core->rootFrame);
  for (const STextureReport& r : reports) {
    const int row = textures->rowCount();
    textures->insertRow(row);
    QStringList users;
    for (const ZGeometry* g : r.geometries) users << QString::fromStdString(g->name);
    const QStringList cells = {textureMatchName(r.match),
                               QString::fromStdString(r.storedName),
                               QString::fromStdString(r.file),
                               D3DXFormatName(r.format),
                               QString("%1x%2").arg(r.width).arg(r.height),
                               QString::number(r.bytes),
                               users.join(' ')};
    for (int column = 0; column < cells.size(); ++column) {
      textures->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    firstUsers.push_back(r.geometries.empty() ? nullptr
                                              : const_cast<ZGeometry*>(r.geometries.front()));
  }
  const SDrawBudget b = measureDrawBudget(*core->rootFrame, reports);
  QString text = QString::asprintf(
      "%llu triangles, %llu vertices, %u geometries in %u frames\n"
      "%llu draws a frame (%llu lit, %llu in the two shadow passes)\n"
      "%u materials, %u effects, %llu bytes of textures\n",
      static_cast<unsigned long long>(b.triangles), static_cast<unsigned long long>(b.vertices),
      b.geometries, b.frames, static_cast<unsigned long long>(b.draws()),
      static_cast<unsigned long long>(b.litDraws), static_cast<unsigned long long>(b.shadowDraws),
      b.materials, b.effects, static_cast<unsigned long long>(b.textureBytes));
  text += "heaviest geometries:";
  for (const ZGeometry* g : b.heaviestGeometries) {
    text += QString(" %1 (%2)").arg(QString::fromStdString(g->name)).arg(g->faces.size());
  }
  budget->setPlainText(text);
}
