// The editor's main window: menus, the object tree, the viewport the core draws into, view
// buttons, a status bar with the field of view, and a progress bar. It owns the editor core,
// drives its frames from a timer paced at the display's rate (slowing to a few frames a second
// when nothing moves), and turns menu items and tree clicks into calls on the core.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "editor/IEditShell.h"

class CEditInterface;
class CContentDock;
class CMaterialPanel;
class CObjectTree;
class CToolTabs;
class CTrackTabs;
class QTabWidget;
class CViewport;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTreeWidgetItem;
class QtDesktopHost;
class ZFrame;

class Form1 : public QMainWindow, public IEditShell {
  Q_OBJECT

 public:
  // file (may be empty) is opened once the core has started. unattended: message boxes go to
  // standard error instead of waiting for a click. logFileName as for CEditInterface (empty:
  // standard output stays where it is).
  Form1(const QString& file, bool unattended, const std::string& logFileName);
  ~Form1() override;

  // IEditShell
  void updateTree() override;
  void selectionChanged(ZGeometry* geometry) override;
  void refChanged(const std::string& name) override;
  void setProgress(int32_t percent) override;

  CEditInterface* core() { return editInterface.get(); }
  CViewport& viewport() { return *view; }
  // Runs with the viewport's context current (loads and edits compile and upload meshes).
  void withContext(const std::function<void()>& work);
  // Opens a model by its extension, as File → Open does.
  void openModel(const QString& file);
  // Exports the model by the file's extension, as File → Export does once a file is chosen;
  // false (after a message box) when it could not be written.
  bool exportTo(const QString& file, bool copyTextures);
  // Builds a random stage into the model, or into a new unsaved one, as Tools → Generate stage
  // does once asked; the pace notes go to recoveryFolder.
  void generateStage(unsigned seed, float length);

  // Unsaved edits are written as ZMF into this folder (the user's state folder unless changed)
  // every interval, never over the user's file; a later start offers the file when it is newer
  // than the model it came from.
  QString recoveryFolder;
  void setAutosaveInterval(int milliseconds);
  // Asked whether to recover the edits of that model; unset, a question box asks (not in an
  // unattended run, which leaves the file for a later start).
  std::function<bool(const QString& source)> askRecovery;

 signals:
  void frameDrawn();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void startCore();
  void drawFrame();
  void pace();
  void buildMenus();
  void buildViewButtons();
  void fillRecentMenu();
  // The last ten files opened, newest first, kept in the user's settings.
  void rememberRecent(const QString& file);
  // As ZMT for a .zmt name, else as ZMF; false (with a message) when it could not be written.
  bool save(const QString& file);
  void saveAs();
  // File → Export: asks for a file (glTF when its name has no export extension).
  void exportModel(bool copyTextures);
  void quickSave();
  bool hasUnsavedEdits() const;
  void showTitle();
  void showUndoState();
  // Undo (or redo) of the core's last step, with the panel and the title brought up to date.
  void takeStep(bool redo);
  bool mayDiscardEdits();
  // Opens file through load (false: not a model the editor reads); remember adds it to the
  // recent files.
  void openModelFile(const QString& file, bool remember,
                     const std::function<bool(const std::string&)>& load);
  void autosave();
  void offerRecovery();
  void removeRecovery();
  QString recoveryModel() const;
  QString recoverySourceNote() const;
  void treeItemClicked(QTreeWidgetItem* item);
  // The geometry becomes the selection, marked in the tree and shown in the material tab.
  void selectGeometry(ZGeometry* geometry);
  void wheelTurned(int eighthsOfDegree);

  QString commandLineFile;
  std::string logFile;
  bool unattendedRun;
  uint64_t savedCount = 0;      // the core's modification count at the last load, save or close
  uint64_t autosavedCount = 0;  // and at the last autosave
  std::unique_ptr<CEditInterface> editInterface;
  std::unique_ptr<QtDesktopHost> desktop;
  CViewport* view = nullptr;
  QTabWidget* panels = nullptr;
  CMaterialPanel* materialPanel = nullptr;
  CContentDock* contentDock = nullptr;
  std::unique_ptr<CToolTabs> toolTabs;
  std::unique_ptr<CTrackTabs> trackTabs;
  CObjectTree* tree = nullptr;
  QProgressBar* progress = nullptr;
  QLabel* fovLabel = nullptr;
  QTimer frameTimer;
  QTimer autosaveTimer;
  int viewMode = 0;      // of the P, L, T, F buttons
  bool loading = false;  // no frames while a load runs its progress bar
  QString openedFile;
  QDateTime openedStamp;  // the opened file's time of change when it was opened or saved
  QMenu* recentMenu = nullptr;
  QAction* undoAction = nullptr;
  QAction* redoAction = nullptr;
};
