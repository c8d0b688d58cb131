#include "shell/Form1.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <tuple>

#include "editor/CEditInterface.h"
#include "formats/ZModelFile.h"
#include "formats/ZModelFormat.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "track/CTrackBuilder.h"
#include "shell/CContentDock.h"
#include "shell/CMaterialPanel.h"
#include "shell/StageDialog.h"
#include "shell/CObjectTree.h"
#include "shell/CToolTabs.h"
#include "shell/CTrackTabs.h"
#include "shell/CViewport.h"
#include "shell/PanelParts.h"
#include "shell/QtDesktopHost.h"

namespace {

constexpr int kIdleAfterMs = 1000;  // without input for this long, the frame rate drops
constexpr int kIdleFrameMs = 500;   // to two frames a second
constexpr int kTreeWidth = 220;
constexpr int kPanelWidth = 340;
constexpr int kRecentFiles = 10;
constexpr int kAutosaveMinutes = 5;
const char* const kRecentKey = "recentFiles";
const QString kTitle = QStringLiteral("ZMF Edit");

const QString kKeysHelp = QStringLiteral(
    "Viewport (click it first)\n"
    "  space\torbital or free navigation\n"
    "  c\tmove the selected frame with the mouse (again: back to orbital)\n"
    "  arrows\tfly in free mode (Shift slow, Control fast)\n"
    "  1 / 2\tnarrower / wider field of view (or the wheel)\n"
    "  s\tselect the mesh under the cross-hair (or place the track point)\n"
    "  m\tplace a flag under the cross-hair\n"
    "  d\ttake the selected mesh or frame out of the model\n"
    "  f\tcollapse the moveable frames\n"
    "  g / i / n\tnormals again / faces flipped / texture coordinates normalised\n"
    "  j\ta new default material for the selected mesh\n"
    "  #\thalve the meshes' faces\n"
    "  r\treload the selected mesh's textures\n"
    "  p\tshaders on or off\n"
    "  v\tthe sun's view\n"
    "  z\treference points through the model or not\n"
    "  F1 (held)\tno colour writes\n"
    "  Ctrl+Z / Ctrl+Shift+Z\tundo / redo the last edit (Edit menu)\n"
    "Mouse\n"
    "  left drag\tturn the view (orbit around the model in orbital mode)\n"
    "  right drag\tmove forward and back; zoom in the flat views\n"
    "View buttons\n"
    "  P L T F\tperspective, left, top, front");

// glTF keeps everything the simulation needs; the others are for modelling tools.
const QString kExportFilter =
    "glTF (*.gltf);;glTF binary (*.glb);;OBJ (*.obj);;FBX (*.fbx);;COLLADA (*.dae)";

const QString kModelFilter =
    "Models (*.zmt *.zmf *.pzo *.ase *.obj *.xsi *.x *.gltf *.glb *.fbx *.dae *.3ds *.ply *.stl);;"
    "All files (*)";

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

Form1::Form1(const QString& file, bool unattended, const std::string& logFileName)
    : commandLineFile(file), logFile(logFileName), unattendedRun(unattended) {
  int32_t width = 0, height = 0;
  CEditInterface::readDisplaySize(width, height);
  view = new CViewport;
  view->setFixedSize(width, height);
  view->onInitialize = [this] { startCore(); };
  view->onFrame = [this] { drawFrame(); };
  connect(view, &CViewport::keyTyped, this, [this](char c) {
    if (editInterface) withContext([&] { editInterface->onKeyPressed(c); });
  });
  connect(view, &CViewport::pressed, this, [this] {
    if (editInterface) editInterface->setLockMouse(false);
  });
  connect(view, &CViewport::wheelTurned, this, &Form1::wheelTurned);

  tree = new CObjectTree;
  tree->setMinimumWidth(kTreeWidth);
  tree->installEventFilter(this);
  connect(tree, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item) { treeItemClicked(item); });

  materialPanel =
      new CMaterialPanel([this] { return editInterface.get(); },
                         [this](const std::function<void()>& work) { withContext(work); });
  auto* scroll = new QScrollArea;
  scroll->setWidget(materialPanel);
  scroll->setWidgetResizable(true);
  panels = new QTabWidget;
  panels->addTab(scroll, "material");
  const SPanelHost host{[this] { return editInterface.get(); },
                        [this](const std::function<void()>& work) { withContext(work); },
                        [this] { updateTree(); }, this};
  toolTabs = std::make_unique<CToolTabs>(host, *panels);
  trackTabs = std::make_unique<CTrackTabs>(host, *panels);
  panels->setMinimumWidth(kPanelWidth);

  auto* splitter = new QSplitter;
  splitter->addWidget(tree);
  splitter->addWidget(view);
  splitter->addWidget(panels);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({kTreeWidth, width, kPanelWidth});
  setCentralWidget(splitter);

  progress = new QProgressBar;
  progress->setRange(0, 100);
  progress->setVisible(false);
  fovLabel = new QLabel;
  statusBar()->addWidget(fovLabel);
  statusBar()->addPermanentWidget(progress);

  desktop = std::make_unique<QtDesktopHost>(*this, *view, static_cast<HWND>(&view->glContext()),
                                            unattended);
  contentDock = new CContentDock([this] { return editInterface.get(); },
                                 [this](ZGeometry* g) { selectGeometry(g); });
  addDockWidget(Qt::BottomDockWidgetArea, contentDock);
  contentDock->hide();
  buildMenus();
  buildViewButtons();
  setWindowTitle(file.isEmpty() ? kTitle : QFileInfo(file).fileName());
  setAcceptDrops(true);

  recoveryFolder = QString::fromStdString(userStateFolder().string());
  connect(&autosaveTimer, &QTimer::timeout, this, &Form1::autosave);
  setAutosaveInterval(QSettings().value("autosaveMinutes", kAutosaveMinutes).toInt() * 60000);
  connect(&frameTimer, &QTimer::timeout, this, &Form1::pace);
  frameTimer.start(std::max(1, int(1000.0 / std::max(1.0, screen()->refreshRate()))));
}

Form1::~Form1() {
  frameTimer.stop();
  if (editInterface) withContext([this] { editInterface.reset(); });
}

void Form1::withContext(const std::function<void()>& work) {
  view->makeCurrent();
  work();
  view->doneCurrent();
}

void Form1::startCore() {
  editInterface = std::make_unique<CEditInterface>(logFile);
  editInterface->shell = this;
  editInterface->windowHandle = static_cast<HWND>(&view->glContext());
  editInterface->init();
  trackTabs->modelOpened();
  // Opened once the window is up, so that the progress bar shows.
  QTimer::singleShot(0, this, [this] {
    offerRecovery();
    if (!commandLineFile.isEmpty() && editInterface->rootFrame == nullptr) {
      openModel(commandLineFile);
    }
  });
}

void Form1::drawFrame() {
  if (!editInterface || loading) return;
  CEditInterface& core = *editInterface;
  core.viewMode = viewMode;
  view->setCursor(core.navigationMode == 2 ? Qt::PointingHandCursor : Qt::ArrowCursor);
  core.mouseInWindow = rect().contains(mapFromGlobal(QCursor::pos()));
  core.showOverlay = !materialPanel->variablesGridShown();
  core.onIdle();
  emit frameDrawn();
}

// A frame at the display's rate while something moves; a few a second once nothing has for a
// while (an idle editor must not hold a processor).
void Form1::pace() {
  if (loading) return;
  showTitle();
  const bool moving = nowMs() - desktop->lastInputMs() < kIdleAfterMs ||
                      (editInterface && editInterface->carTestRunning);
  const int active = std::max(1, int(1000.0 / std::max(1.0, screen()->refreshRate())));
  const int wanted = moving ? active : kIdleFrameMs;
  if (frameTimer.interval() != wanted) frameTimer.setInterval(wanted);
  view->update();
}

void Form1::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&Open...", QKeySequence::Open, this, [this] {
    const QString name = askFile(this, "Open", kModelFilter, false);
    if (!name.isEmpty()) openModel(name);
  });
  // The Part's own open items, each through its loader (ASE and OBJ at scale 1).
  using Loader = std::function<void(CEditInterface&, const std::string&)>;
  const std::tuple<const char*, const char*, Loader> loaders[] = {
      {"Open ZMF", "ZMF (*.zmf *.pzo)",
       [](CEditInterface& c, const std::string& f) { c.loadZMF(f, false); }},
      {"Open ZMT", "ZMT (*.zmt)", [](CEditInterface& c, const std::string& f) { c.loadZMT(f); }},
      {"Open ASE", "ASE (*.ase)",
       [](CEditInterface& c, const std::string& f) { c.loadASE(f, 1.0f, false, false); }},
      {"Open OBJ", "OBJ (*.obj)",
       [](CEditInterface& c, const std::string& f) { c.loadOBJ(f, 1.0f); }},
  };
  for (const auto& [text, filter, load] : loaders) {
    file->addAction(text, this, [this, text = QString(text), filter = QString(filter), load] {
      const QString name = askFile(this, text, filter, false);
      if (!name.isEmpty()) {
        openModelFile(name, true, [&](const std::string& f) {
          load(*editInterface, f);
          return true;
        });
      }
    });
  }
  recentMenu = file->addMenu("Open &Recent");
  connect(recentMenu, &QMenu::aboutToShow, this, &Form1::fillRecentMenu);
  file->addAction("&Close model", QKeySequence::Close, this, [this] {
    if (!editInterface) return;
    if (!mayDiscardEdits()) return;
    withContext([this] { editInterface->closeModel(); });
    savedCount = editInterface->modificationCount;
    trackTabs->modelOpened();
    openedFile.clear();
    showTitle();
  });
  file->addSeparator();
  file->addAction("&Save", QKeySequence::SaveAs, this, [this] { saveAs(); });
  file->addAction("Quick Save", QKeySequence::Save, this, [this] { quickSave(); });
  file->addAction("Save ZMT", this, [this] {
    const QString name = askFile(this, "Save ZMT", "ZMT (*.zmt)", true);
    if (!name.isEmpty()) save(name.endsWith(".zmt", Qt::CaseInsensitive) ? name : name + ".zmt");
  });
  file->addAction("&Export...", this, [this] { exportModel(false); });
  file->addAction("Export with textures...", this, [this] { exportModel(true); });
  file->addSeparator();
  file->addAction("E&xit", QKeySequence::Quit, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu("&Edit");
  undoAction = edit->addAction("&Undo", QKeySequence::Undo, this, [this] { takeStep(false); });
  redoAction = edit->addAction("&Redo", QKeySequence::Redo, this, [this] { takeStep(true); });
  showUndoState();

  QMenu* windows = menuBar()->addMenu("&Windows");
  // Checked items, on at start.
  const auto toggle = [windows](const QString& text) {
    QAction* item = windows->addAction(text);
    item->setCheckable(true);
    item->setChecked(true);
    return item;
  };
  connect(toggle("Object Tree"), &QAction::toggled, tree, &QWidget::setVisible);
  connect(toggle("Properties"), &QAction::toggled, panels, &QWidget::setVisible);
  connect(toggle("Viewport"), &QAction::toggled, view, &QWidget::setVisible);
  connect(toggle("Texture"), &QAction::toggled, this, [this](bool on) {
    if (editInterface) editInterface->showLayers = on;
  });

  QMenu* viewMenu = menuBar()->addMenu("&View");
  viewMenu->addAction("Content check", this, [this] {
    contentDock->refresh();
    contentDock->show();
  });
  QAction* hdr = viewMenu->addAction("HDR");
  hdr->setCheckable(true);
  connect(hdr, &QAction::toggled, this, [this, hdr](bool on) {
    if (!editInterface) return;
    bool done = false;
    withContext([&] { done = editInterface->setHDR(on); });
    if (on && !done) {
      hdr->setChecked(false);
      statusBar()->showMessage("HDR: this display cannot draw it (see the log)", 5000);
    }
  });

  QMenu* refs = menuBar()->addMenu("&Ref points");
  refs->addAction("Import", this, [this] {
    const QString name =
        askFile(this, "Import reference points", "Text (*.txt);;All files (*)", false);
    if (!name.isEmpty()) editInterface->importPhysicRefsTR(name.toStdString());
  });
  refs->addAction("Export", this, [this] {
    const QString name =
        askFile(this, "Export reference points", "Text (*.txt);;All files (*)", true);
    if (!name.isEmpty()) editInterface->exportPhysicRefsTR(name.toStdString());
  });

  QMenu* tools = menuBar()->addMenu("&Tools");
  tools->addAction("Merge Materials", this, [this] {
    const QString name = askFile(this, "Merge materials", "ZMT (*.zmt)", false);
    if (!name.isEmpty()) withContext([&] { editInterface->merge(name.toStdString()); });
  });
  tools->addAction("Generate stage...", this, [this] {
    unsigned seed = 0;
    int length = 0;
    if (askStage(this, seed, length)) generateStage(seed, float(length));
  });

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&Keys", this, [this] { QMessageBox::information(this, "Keys", kKeysHelp); });
}

void Form1::buildViewButtons() {
  QToolBar* bar = addToolBar("View");
  auto* group = new QActionGroup(this);
  const char* names[] = {"P", "L", "T", "F"};
  for (int mode = 0; mode < 4; ++mode) {
    QAction* button = bar->addAction(names[mode]);
    button->setCheckable(true);
    button->setChecked(mode == 0);
    group->addAction(button);
    connect(button, &QAction::triggered, this, [this, mode] { viewMode = mode; });
  }
}

void Form1::fillRecentMenu() {
  recentMenu->clear();
  const QStringList files = QSettings().value(kRecentKey).toStringList();
  for (const QString& file : files) {
    recentMenu->addAction(file, this, [this, file] { openModel(file); });
  }
  if (!files.isEmpty()) recentMenu->addSeparator();
  QAction* clear =
      recentMenu->addAction("Clear recent", this, [] { QSettings().remove(kRecentKey); });
  clear->setEnabled(!files.isEmpty());
}

void Form1::rememberRecent(const QString& file) {
  QSettings settings;
  QStringList files = settings.value(kRecentKey).toStringList();
  files.removeAll(file);
  files.prepend(file);
  while (files.size() > kRecentFiles) files.removeLast();
  settings.setValue(kRecentKey, files);
}

bool Form1::save(const QString& file) {
  bool saved = false;
  const std::string name = file.toStdString();
  withContext([&] {
    saved = file.endsWith(".zmt", Qt::CaseInsensitive) ? editInterface->saveZMT(name)
                                                       : editInterface->saveZMF(name);
  });
  if (!saved) {
    QMessageBox::warning(this, kTitle, "Cannot write " + file);
    return false;
  }
  if (file == openedFile) openedStamp = QFileInfo(file).lastModified();
  savedCount = editInterface->modificationCount;
  showTitle();
  removeRecovery();
  statusBar()->showMessage("Saved " + file, 3000);
  return true;
}

void Form1::exportModel(bool copyTextures) {
  if (!editInterface || editInterface->rootFrame == nullptr) return;
  const QString title = copyTextures ? "Export with textures" : "Export";
  QString name = askFile(this, title, kExportFilter, true);
  if (name.isEmpty()) return;
  if (!isExportFormat(name.toStdString())) name += ".gltf";
  exportTo(name, copyTextures);
}

bool Form1::exportTo(const QString& file, bool copyTextures) {
  bool exported = false;
  withContext([&] { exported = editInterface->exportModel(file.toStdString(), copyTextures); });
  if (!exported) {
    QMessageBox::warning(this, kTitle, "Cannot export " + file);
    return false;
  }
  statusBar()->showMessage("Exported " + file, 3000);
  return true;
}

void Form1::saveAs() {
  if (!editInterface) return;
  const QString name = askFile(this, "Save", "ZMF (*.zmf);;ZMT (*.zmt)", true);
  if (!name.isEmpty()) save(name);
}

// Back to the file that was opened, in its own format; a file changed on disk since is not
// overwritten without asking.
void Form1::quickSave() {
  if (!editInterface) return;
  const ModelFormat format = modelFormatOf(openedFile.toStdString());
  if (format != ModelFormat::zmf && format != ModelFormat::zmt) {  // none opened, or imported
    saveAs();
    return;
  }
  const QFileInfo info(openedFile);
  if (info.exists() && info.lastModified() != openedStamp &&
      QMessageBox::question(this, kTitle,
                            openedFile + " changed on disk since it was opened. Overwrite it?") !=
          QMessageBox::Yes) {
    return;
  }
  save(openedFile);
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && event->mimeData()->urls().first().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void Form1::dropEvent(QDropEvent* event) {
  const QString file = event->mimeData()->urls().first().toLocalFile();
  event->acceptProposedAction();
  // Opened once the drop has finished.
  QTimer::singleShot(0, this, [this, file] { openModel(file); });
}

void Form1::openModel(const QString& file) {
  openModelFile(file, true, [this](const std::string& f) { return editInterface->openModel(f); });
}

void Form1::openModelFile(const QString& file, bool remember,
                          const std::function<bool(const std::string&)>& load) {
  if (!editInterface) return;
  if (editInterface->rootFrame != nullptr) {
    // The editor holds one model; closing it is the user's choice (it may hold unsaved edits).
    statusBar()->showMessage("A model is open: close it first (File > Close model)", 5000);
    return;
  }
  loading = true;
  progress->setValue(0);
  progress->setVisible(true);
  bool opened = false;
  withContext([&] { opened = load(QDir(file).absolutePath().toStdString()); });
  progress->setVisible(false);
  loading = false;
  if (!opened) {
    statusBar()->showMessage(QFileInfo(file).fileName() + ": not a model file the editor reads",
                             5000);
    return;
  }
  openedFile = QDir(file).absolutePath();
  openedStamp = QFileInfo(openedFile).lastModified();
  savedCount = editInterface->modificationCount;
  if (remember) rememberRecent(openedFile);
  showTitle();
  const float* ambient = editInterface->renderer->ambientColour;
  zlog("COLOR %f %f %f\n", double(ambient[0]), double(ambient[1]), double(ambient[2]));
  if (!editInterface->renderer->activeLights.empty()) {
    const D3DCOLORVALUE& sun = editInterface->renderer->activeLights[0]->light.Diffuse;
    zlog("COLOR2 %f %f %f\n", double(sun.r), double(sun.g), double(sun.b));
  }
  updateTree();
  trackTabs->modelOpened();
}

void Form1::generateStage(unsigned seed, float length) {
  if (!editInterface) return;
  const bool newModel = editInterface->rootFrame == nullptr;
  // Beside the recovery files: the user's state folder unless changed.
  const std::string notes = recoveryFolder.isEmpty()
                                ? std::string("notes.txt")
                                : QDir(recoveryFolder).filePath("notes.txt").toStdString();
  loading = true;
  progress->setValue(0);
  progress->setVisible(true);
  CTrackBuilder* builder = nullptr;
  withContext([&] { builder = editInterface->generateStage(seed, length, notes); });
  progress->setVisible(false);
  loading = false;
  if (newModel) {
    openedFile.clear();
    savedCount = editInterface->modificationCount - 1;  // a new model, not saved yet
  }
  updateTree();
  trackTabs->modelOpened();
  materialPanel->refresh();
  showTitle();
  statusBar()->showMessage(QString("Stage of seed %1: %2 sectors, %3 cameras; pace notes in %4")
                               .arg(seed)
                               .arg(builder->sectors.size())
                               .arg(builder->cameras.size())
                               .arg(QString::fromStdString(notes)),
                           10000);
}

void Form1::updateTree() { tree->rebuild(editInterface ? editInterface->rootFrame : nullptr); }

void Form1::treeItemClicked(QTreeWidgetItem* item) {
  if (!editInterface || item == nullptr) return;
  ZCorvane& renderer = *editInterface->renderer;
  renderer.selectedGeometry = CObjectTree::geometryOf(*item);
  renderer.selectedFrame = CObjectTree::frameOf(*item);
  tree->markSelected(item);
  materialPanel->hideVariablesGrid();
  materialPanel->refresh();
}

void Form1::selectGeometry(ZGeometry* geometry) {
  if (!editInterface) return;
  editInterface->renderer->selectedFrame = nullptr;
  editInterface->renderer->selectedGeometry = geometry;
  selectionChanged(geometry);
}

void Form1::selectionChanged(ZGeometry* geometry) {
  tree->markGeometry(geometry);
  materialPanel->refresh();
}

void Form1::refChanged(const std::string& name) { trackTabs->refChanged(name); }

void Form1::setProgress(int32_t percent) {
  progress->setValue(std::clamp(int(percent), 0, 100));
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Form1::wheelTurned(int eighthsOfDegree) {
  if (!editInterface) return;
  ZCamera& camera = *editInterface->editorCamera;
  const float lines = float(QApplication::wheelScrollLines());
  camera.fov = std::clamp(camera.fov - float(eighthsOfDegree) * lines / 120.0f, 4.0f, 120.0f);
  camera.apply();
  fovLabel->setText(QString("FOV %1").arg(double(camera.fov), 0, 'f', 1));
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  // The pointer over the side panel locks the viewport's mouse steering.
  if (watched == tree && event->type() == QEvent::Enter && editInterface) {
    editInterface->setLockMouse(true);
  }
  return QMainWindow::eventFilter(watched, event);
}

bool Form1::hasUnsavedEdits() const {
  return editInterface && editInterface->rootFrame != nullptr &&
         editInterface->modificationCount != savedCount;
}

// The file name, and a "*" while there are unsaved edits.
void Form1::showTitle() {
  const QString name = openedFile.isEmpty() ? kTitle : QFileInfo(openedFile).fileName();
  const QString title = hasUnsavedEdits() ? name + " *" : name;
  if (windowTitle() != title) setWindowTitle(title);
  showUndoState();
}

// "Undo Set material of 12ROAD_L": the items name the step they take, and are off without one.
void Form1::showUndoState() {
  if (undoAction == nullptr) return;
  const std::string undoName = editInterface ? editInterface->undoName() : std::string();
  const std::string redoName = editInterface ? editInterface->redoName() : std::string();
  const QString undoText = undoName.empty() ? "&Undo" : "&Undo " + QString::fromStdString(undoName);
  const QString redoText = redoName.empty() ? "&Redo" : "&Redo " + QString::fromStdString(redoName);
  if (undoAction->text() != undoText) undoAction->setText(undoText);
  if (redoAction->text() != redoText) redoAction->setText(redoText);
  undoAction->setEnabled(!undoName.empty());
  redoAction->setEnabled(!redoName.empty());
}

void Form1::takeStep(bool redo) {
  if (!editInterface) return;
  withContext([&] {
    if (redo) {
      editInterface->redo();
    } else {
      editInterface->undo();
    }
  });
  materialPanel->refresh();
  showTitle();
}

// Asks whether to save unsaved edits first: true when the model may go (saved, or not wanted).
bool Form1::mayDiscardEdits() {
  if (!hasUnsavedEdits() || unattendedRun) return true;
  const auto answer =
      QMessageBox::question(this, kTitle, "The model has unsaved edits. Save them first?",
                            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::Discard) return true;
  quickSave();
  return !hasUnsavedEdits();
}

void Form1::closeEvent(QCloseEvent* event) {
  if (!mayDiscardEdits()) {
    event->ignore();
    return;
  }
  frameTimer.stop();
  autosaveTimer.stop();
  removeRecovery();
  event->accept();
}

void Form1::setAutosaveInterval(int milliseconds) {
  autosaveTimer.start(std::max(1, milliseconds));
}

QString Form1::recoveryModel() const { return recoveryFolder + "/recovery.zmf"; }
QString Form1::recoverySourceNote() const { return recoveryFolder + "/recovery-source.txt"; }

// The model with its unsaved edits, beside a note naming the file it came from; skipped while a
// mouse button is held (a drag in progress) or the car test runs (saving would end it).
void Form1::autosave() {
  if (!hasUnsavedEdits() || loading || editInterface->carTestRunning ||
      editInterface->modificationCount == autosavedCount || desktop->isKeyDown(VK_LBUTTON) ||
      desktop->isKeyDown(VK_RBUTTON)) {
    return;
  }
  QDir().mkpath(recoveryFolder);
  bool saved = false;
  withContext([&] { saved = editInterface->saveZMF(recoveryModel().toStdString()); });
  // Both files replace their old versions whole: a stop at any moment leaves a pair that reads.
  QSaveFile note(recoverySourceNote());
  if (saved && note.open(QIODevice::WriteOnly)) {
    note.write(openedFile.toUtf8());
    if (note.commit()) autosavedCount = editInterface->modificationCount;
  }
}

void Form1::removeRecovery() {
  QFile::remove(recoveryModel());
  QFile::remove(recoverySourceNote());
}

// At start: a recovery file newer than its model (or whose model is gone) is offered; taken, it
// becomes the open model, under its source's name and with its edits unsaved.
void Form1::offerRecovery() {
  if (unattendedRun && !askRecovery) return;  // nobody to ask: the file stays for a later start
  const QFileInfo model(recoveryModel());
  QFile note(recoverySourceNote());
  if (!model.exists() || !note.open(QIODevice::ReadOnly)) return;
  const QString source = QString::fromUtf8(note.readAll());
  const QFileInfo sourceInfo(source);
  if (sourceInfo.exists() && sourceInfo.lastModified() >= model.lastModified()) {
    removeRecovery();  // the model was saved since
    return;
  }
  const QString name = source.isEmpty() ? QString("a new model") : source;
  const bool wanted =
      askRecovery ? askRecovery(name)
                  : QMessageBox::question(this, kTitle,
                                          "Unsaved edits of " + name +
                                              " were kept when the editor last stopped. Recover "
                                              "them?") == QMessageBox::Yes;
  if (!wanted) {
    removeRecovery();
    return;
  }
  openModelFile(model.absoluteFilePath(), false,
                [this](const std::string& f) { return editInterface->openModel(f); });
  openedFile = source;
  openedStamp = sourceInfo.lastModified();
  savedCount = editInterface->modificationCount - 1;  // the recovered edits are not saved yet
  showTitle();
}
