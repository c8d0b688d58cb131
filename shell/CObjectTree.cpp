#include "shell/CObjectTree.h"

#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

namespace {

constexpr int kFrameItem = QTreeWidgetItem::UserType;
constexpr int kGeometryItem = QTreeWidgetItem::UserType + 1;

// An item that carries its object itself: no per-item variant data to build.
class ObjectItem : public QTreeWidgetItem {
 public:
  ObjectItem(const std::string& name, void* object, int kind)
      : QTreeWidgetItem(QStringList(QString::fromStdString(name)), kind), what(object) {}
  void* what;
};

void addItems(const ZFrame& frame, QList<QTreeWidgetItem*>& items) {
  for (ZGeometry* g : frame.geometries) items.append(new ObjectItem(g->name, g, kGeometryItem));
  for (ZFrame* child : frame.children) {
    auto* item = new ObjectItem(child->name, child, kFrameItem);
    QList<QTreeWidgetItem*> below;
    addItems(*child, below);
    item->addChildren(below);
    items.append(item);
  }
}

}  // namespace

CObjectTree::CObjectTree() { setHeaderHidden(true); }

void CObjectTree::rebuild(const ZFrame* root) {
  selected = nullptr;
  setUpdatesEnabled(false);
  clear();
  if (root != nullptr) {
    QList<QTreeWidgetItem*> items;
    addItems(*root, items);
    addTopLevelItems(items);
  }
  setUpdatesEnabled(true);
}

ZGeometry* CObjectTree::geometryOf(const QTreeWidgetItem& item) {
  if (item.type() != kGeometryItem) return nullptr;
  return static_cast<ZGeometry*>(static_cast<const ObjectItem&>(item).what);
}

ZFrame* CObjectTree::frameOf(const QTreeWidgetItem& item) {
  if (item.type() != kFrameItem) return nullptr;
  return static_cast<ZFrame*>(static_cast<const ObjectItem&>(item).what);
}

void CObjectTree::markSelected(QTreeWidgetItem* item) {
  if (selected != nullptr) selected->setForeground(0, palette().text());
  if (item != nullptr) item->setForeground(0, Qt::red);
  selected = item;
}

void CObjectTree::markGeometry(const ZGeometry* geometry) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    const bool hit = geometry != nullptr && geometryOf(*item) == geometry;
    item->setForeground(0, hit ? QBrush(Qt::red) : palette().text());
    if (hit) {
      setCurrentItem(item);
      selected = item;
    }
  }
}
