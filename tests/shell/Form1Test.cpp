// The main window driven in the test process, as a user drives it: open, close, open another.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QSurfaceFormat>
#include <QThread>
#include <QTreeWidget>
#include <filesystem>
#include <string>

#include "editor/CEditInterface.h"
#include "shell/Form1.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

QApplication& application() {
  static int argc = 1;
  static char name[] = "shell_gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    QSurfaceFormat format;
    format.setVersion(2, 1);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);
    auto* made = new QApplication(argc, argv);
    QCoreApplication::setOrganizationName("zmfedit-tests");
    QCoreApplication::setApplicationName("shell_gui_tests");
    return made;
  }();
  return *app;
}

// Lets the window run until ready() holds (at most about two seconds).
template <typename Ready>
bool waitFor(Ready ready) {
  for (int i = 0; i < 400 && !ready(); ++i) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
  return ready();
}

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    QDir::setCurrent(ZMF_DATA_DIR);
    window = std::make_unique<Form1>(QString(), true, "");
    window->show();
    ASSERT_TRUE(waitFor([&] { return window->core() != nullptr; })) << "the core never started";
  }
  void TearDown() override { window.reset(); }

  QStringList topLevelNames() const {
    const auto* tree = window->findChild<QTreeWidget*>();
    QStringList names;
    for (int i = 0; tree != nullptr && i < tree->topLevelItemCount(); ++i) {
      names << tree->topLevelItem(i)->text(0);
    }
    return names;
  }

  // A menu item, as a click on it.
  void trigger(const QString& text) {
    for (QAction* action : window->findChildren<QAction*>()) {
      if (action->text() == text) return action->trigger();
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
  }

  std::unique_ptr<Form1> window;
};

TEST_F(Form1Test, OpenCloseAndOpenAnotherRebuildTheTree) {
  TempFolder folder;
  fs::copy(fs::path(ZMF_DATA_DIR) / "samples/car/texture", folder.path() / "texture");
  const QString car = QString(ZMF_DATA_DIR) + "/samples/car/car.zmt";
  const QString copy = QString::fromStdString(folder.file("car.zmf"));

  window->openModel(car);
  const QStringList carTree = topLevelNames();
  ASSERT_EQ(carTree.size(), 13);  // three meshes, then ten frames
  EXPECT_EQ(carTree.front(), "BODY");
  EXPECT_EQ(carTree.back(), "Pilot_HR");
  window->withContext([&] { EXPECT_TRUE(window->core()->saveZMF(copy.toStdString())); });

  trigger("&Close model");
  EXPECT_TRUE(topLevelNames().isEmpty());
  EXPECT_EQ(window->windowTitle(), "ZMF Edit");
  EXPECT_EQ(window->core()->rootFrame, nullptr);

  int frames = 0;
  QObject::connect(window.get(), &Form1::frameDrawn, [&] { ++frames; });
  window->openModel(copy);
  EXPECT_EQ(topLevelNames(), carTree);
  EXPECT_TRUE(waitFor([&] { return frames >= 3; })) << "the second model is drawn";
  EXPECT_EQ(window->windowTitle(), "car.zmf");
}

}  // namespace
