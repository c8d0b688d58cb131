// The object tree: one item per geometry and frame of the model, each carrying its object. For
// a frame come first its own geometries, then one item per child frame holding the same; the
// root has no item. The selected item is painted red.
#pragma once

#include <QTreeWidget>

class ZFrame;
class ZGeometry;

class CObjectTree : public QTreeWidget {
 public:
  CObjectTree();

  // Built again from root (null: empty), in one batch with updates off.
  void rebuild(const ZFrame* root);
  // The object of an item: a geometry or a frame (the other null).
  static ZGeometry* geometryOf(const QTreeWidgetItem& item);
  static ZFrame* frameOf(const QTreeWidgetItem& item);
  // Paints item red and the previous one back.
  void markSelected(QTreeWidgetItem* item);
  // The top-level item of that geometry marked and made current; the others unmarked.
  void markGeometry(const ZGeometry* geometry);

 private:
  QTreeWidgetItem* selected = nullptr;
};
