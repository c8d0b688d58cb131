// Autosave and recovery: an editor with unsaved edits is killed once its autosave has run; the
// next start offers the edits and restores them. In a test program of its own: the editor runs
// in a forked child, which must be made before anything of Qt exists in this process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <thread>

#include "editor/CEditInterface.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "shell/CViewport.h"
#include "shell/Form1.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// The application of this process (the child's or, after the kill, the parent's).
QApplication& startApplication() {
  static int argc = 1;
  static char name[] = "recovery";
  static char* argv[] = {name, nullptr};
  CViewport::useEditorSurfaceFormat();
  static QApplication app(argc, argv);
  QDir::setCurrent(ZMF_DATA_DIR);
  return app;
}

template <typename Ready>
bool waitFor(Ready ready, int milliseconds) {
  for (int waited = 0; waited < milliseconds && !ready(); waited += 5) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
  return ready();
}

// The child: opens the model, renames a mesh (an unsaved edit) and runs until it is killed.
[[noreturn]] void editUntilKilled(const QString& model, const QString& recovery) {
  QApplication& app = startApplication();
  Form1 window(QString(), true, "");
  window.recoveryFolder = recovery;
  window.setAutosaveInterval(100);
  window.show();
  if (!waitFor([&] { return window.core() != nullptr; }, 5000)) _exit(2);
  window.openModel(model);
  CEditInterface& core = *window.core();
  if (core.rootFrame == nullptr) _exit(3);
  core.renderer->selectedGeometry = core.rootFrame->getGeometry("BODY", false);
  core.renameSelection("EDITED", true, false);
  app.exec();
  _exit(0);
}

TEST(Recovery, AKilledEditorOffersItsUnsavedEditsAtTheNextStart) {
  TempFolder folder;
  fs::copy(fs::path(ZMF_DATA_DIR) / "samples/car", folder.path() / "car",
           fs::copy_options::recursive);
  const QString model = QString::fromStdString(folder.file("car/car.zmt"));
  const QString recovery = QString::fromStdString(folder.file("recovery"));
  const fs::path recovered = folder.path() / "recovery/recovery.zmf";

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) editUntilKilled(model, recovery);
  bool written = false;
  for (int waited = 0; waited < 15000 && !written; waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    written = fs::exists(recovered) && fs::exists(folder.path() / "recovery/recovery-source.txt");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let a write in progress end
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(written) << "the autosave never ran";
  EXPECT_TRUE(WIFSIGNALED(status));

  startApplication();
  Form1 window(QString(), true, "");
  window.recoveryFolder = recovery;
  QString offered;
  window.askRecovery = [&](const QString& source) {
    offered = source;
    return true;
  };
  window.show();
  ASSERT_TRUE(waitFor([&] { return window.core() && window.core()->rootFrame; }, 5000));
  EXPECT_EQ(offered, model);
  EXPECT_NE(window.core()->rootFrame->getGeometry("EDITED", false), nullptr);
  EXPECT_EQ(window.windowTitle(), "car.zmt *");  // recovered, not yet saved
}

}  // namespace
