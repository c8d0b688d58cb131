// View → Content check: the texture references of the open model (how each resolves, its
// format, size and memory, its users) and the draw budget, as zmftool textures and budget give
// them. Double-clicking a texture selects its first user.
#pragma once

#include <QDockWidget>
#include <functional>

class CEditInterface;
class QPlainTextEdit;
class QTableWidget;
class ZGeometry;

class CContentDock : public QDockWidget {
 public:
  CContentDock(std::function<CEditInterface*()> core,
               std::function<void(ZGeometry*)> selectGeometry);

  // The tables for the model as it is now.
  void refresh();

 private:
  std::function<CEditInterface*()> coreOf;
  std::function<void(ZGeometry*)> select;
  QTableWidget* textures = nullptr;
  QPlainTextEdit* budget = nullptr;
  std::vector<ZGeometry*> firstUsers;  // by texture row
};
