// The main window driven in the test process, as a user drives it: open, close, open another.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <filesystem>
#include <string>

#include "editor/CEditInterface.h"
#include "formats/ZFileZMF.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "shell/CMaterialPanel.h"
#include "shell/CViewport.h"
#include "shell/Form1.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

QApplication& application() {
  static int argc = 1;
  static char name[] = "shell_gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    CViewport::useEditorSurfaceFormat();
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
    for (QAction* menu : window->menuBar()->actions()) {
      for (QAction* item : menu->menu()->actions()) {
        if (item->text() == text) return item->trigger();
      }
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
  }

  void clickButton(const QString& text) {
    auto* button = window->findChild<QPushButton*>(text);
    ASSERT_NE(button, nullptr) << text.toStdString();
    button->click();
  }
  // A click on the tree's top-level item of that name.
  void clickTreeItem(const QString& name) {
    auto* tree = window->findChild<QTreeWidget*>();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      if (tree->topLevelItem(i)->text(0) == name) {
        emit tree->itemClicked(tree->topLevelItem(i), 0);
        return;
      }
    }
    ADD_FAILURE() << "no tree item " << name.toStdString();
  }
  ZGeometry* geometry(const std::string& name) {
    return window->core()->rootFrame->getGeometry(name, false);
  }
  CMaterialPanel& panel() { return *window->findChild<CMaterialPanel*>(); }
  template <typename Widget>
  Widget& field(const char* name) {
    auto* found = panel().findChild<Widget*>(name);
    EXPECT_NE(found, nullptr) << name;
    return *found;
  }
  const QString car = QString(ZMF_DATA_DIR) + "/samples/car/car.zmt";

  std::unique_ptr<Form1> window;
};

TEST_F(Form1Test, OpenCloseAndOpenAnotherRebuildTheTree) {
  TempFolder folder;
  fs::copy(fs::path(ZMF_DATA_DIR) / "samples/car/texture", folder.path() / "texture");
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

// Filling the panel for another geometry writes nothing back. The two differ in a box filled
// early (alpha test) and in fields filled after it: a write while filling would carry the first
// geometry's later fields into the second.
TEST_F(Form1Test, FillingTheMaterialPanelWritesNothing) {
  window->openModel(car);
  ZGeometry& bodyMesh = *geometry("BODY");
  ZGeometry& glassMesh = *geometry("WINDSCREEN");
  for (ZGeometry* g : {&bodyMesh, &glassMesh}) {
    g->castShadow = true;
    g->transparent = false;
    g->material->doubleFace = false;
    g->material->useZBuffer = true;
    g->material->forceNoDepthWrite = false;
  }
  ZMaterial& body = *bodyMesh.material;
  ZMaterial& glass = *glassMesh.material;
  body.alphaTest = false;
  body.alphaRef = 10;
  body.d3dMaterial.Power = 5;
  glass.alphaTest = true;
  glass.alphaRef = 200;
  glass.d3dMaterial.Power = 50;
  clickTreeItem("BODY");
  EXPECT_EQ(field<QLineEdit>("alphaRef").text(), "10");
  clickTreeItem("WINDSCREEN");
  EXPECT_TRUE(field<QCheckBox>("alphaTest").isChecked());
  EXPECT_EQ(glass.alphaRef, 200);
  EXPECT_EQ(glass.d3dMaterial.Power, 50);
  EXPECT_EQ(body.alphaRef, 10);
  EXPECT_EQ(body.d3dMaterial.Power, 5);
}

TEST_F(Form1Test, MaterialChangesFromThePanelAreSaved) {
  TempFolder folder;
  window->openModel(car);
  clickTreeItem("BODY");
  panel().applyColour(CEditInterface::MaterialColour::diffuse, QColor(10, 200, 30));
  field<QCheckBox>("alphaTest").setChecked(true);
  const std::string saved = folder.file("edited.zmt");
  window->withContext([&] { EXPECT_TRUE(window->core()->saveZMT(saved)); });

  ZCorvane engine;
  ZFileZMF reader(&engine);
  ZFrame* root = engine.getNewFrame();
  ASSERT_TRUE(reader.loadText(saved, root));
  const ZGeometry* body = root->getGeometry("BODY", true);
  ASSERT_NE(body, nullptr);
  ASSERT_NE(body->material, nullptr);
  EXPECT_NEAR(body->material->d3dMaterial.Diffuse.g, 200.0f / 255.0f, 1e-4f);
  EXPECT_NEAR(body->material->d3dMaterial.Diffuse.r, 10.0f / 255.0f, 1e-4f);
  EXPECT_TRUE(body->material->alphaTest);
}

TEST_F(Form1Test, ControlZUndoesPanelChangesInThePanelAndTheView) {
  window->openModel(car);
  clickTreeItem("BODY");
  const ZMaterial& body = *geometry("BODY")->material;
  const float red = body.d3dMaterial.Diffuse.r;
  const bool alphaTest = field<QCheckBox>("alphaTest").isChecked();
  CViewport& view = window->viewport();
  const QImage before = view.grabFramebuffer();
  ASSERT_EQ(view.grabFramebuffer(), before);  // the same state draws the same picture
  panel().applyColour(CEditInterface::MaterialColour::diffuse, QColor(10, 200, 30));
  field<QCheckBox>("alphaTest").setChecked(!alphaTest);
  ASSERT_NE(view.grabFramebuffer(), before);

  window->activateWindow();
  ASSERT_TRUE(waitFor([&] { return window->isActiveWindow(); }));
  const bool depthTest = window->core()->refDepthTest;
  QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(field<QCheckBox>("alphaTest").isChecked(), alphaTest);
  EXPECT_EQ(body.alphaTest, alphaTest);
  QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(body.d3dMaterial.Diffuse.r, red);
  EXPECT_EQ(view.grabFramebuffer(), before);
  EXPECT_EQ(window->core()->refDepthTest, depthTest);  // 'z' never reached the core's keys
  EXPECT_EQ(window->windowTitle(), "car.zmt");         // back at the opened state

  QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_NEAR(body.d3dMaterial.Diffuse.g, 200.0f / 255.0f, 1e-4f);
  EXPECT_EQ(window->windowTitle(), "car.zmt *");
  bool named = false;
  for (QAction* menu : window->menuBar()->actions()) {
    for (QAction* item : menu->menu()->actions()) {
      named = named || item->text() == "&Undo Set colour of BODY";
    }
  }
  EXPECT_TRUE(named);
}

TEST_F(Form1Test, ExportWritesAGlbThatOpensAsTheSameModel) {
  TempFolder folder;
  window->openModel(car);
  const QStringList names = topLevelNames();
  const QString glb = QString::fromStdString(folder.file("car.glb"));
  ASSERT_TRUE(window->exportTo(glb, true));
  EXPECT_EQ(window->windowTitle(), "car.zmt");  // an export is not a save of the model
  trigger("&Close model");
  window->openModel(glb);
  EXPECT_EQ(topLevelNames(), names);
  EXPECT_EQ(window->windowTitle(), "car.glb");
}

TEST_F(Form1Test, ViewHdrDrawsTheViewThroughTheChain) {
  window->openModel(car);
  CViewport& view = window->viewport();
  const QImage plain = view.grabFramebuffer();
  trigger("HDR");
  ASSERT_TRUE(window->core()->hdrEnabled);
  EXPECT_NE(view.grabFramebuffer(), plain);
  trigger("HDR");
  EXPECT_FALSE(window->core()->hdrEnabled);
  EXPECT_EQ(view.grabFramebuffer(), plain);
}

TEST_F(Form1Test, TheFirstEffectEntryRemovesTheEffectAndEmptiesTheGrid) {
  window->openModel(car);
  clickTreeItem("BODY");
  auto& effects = field<QComboBox>("effect");
  const int shadowMap = effects.findText("shadowMap.fxo");
  ASSERT_GT(shadowMap, 0);
  emit effects.activated(shadowMap);
  EXPECT_EQ(geometry("BODY")->material->effectName, "shadowMap.fxo");
  emit effects.activated(0);
  EXPECT_EQ(geometry("BODY")->material->effectName, "");
  EXPECT_TRUE(geometry("BODY")->material->effectVars.empty());
  EXPECT_EQ(panel().findChild<QTableWidget*>()->rowCount(), 0);
  EXPECT_FALSE(panel().variablesGridShown());
}

TEST_F(Form1Test, MoveUpOnTheFirstFrameChangesNothingAndRebuildsTheTree) {
  window->openModel(car);
  const QStringList before = topLevelNames();
  ZFrame* first = window->core()->rootFrame->children.front();
  window->core()->renderer->selectedFrame = first;
  int rebuilt = 0;
  auto* tree = window->findChild<QTreeWidget*>();
  // Rebuilding clears the tree: the current item goes.
  QObject::connect(tree, &QTreeWidget::currentItemChanged, [&] { ++rebuilt; });
  tree->setCurrentItem(tree->topLevelItem(0));
  rebuilt = 0;
  clickButton("move up");
  EXPECT_EQ(window->core()->rootFrame->children.front(), first);
  EXPECT_EQ(topLevelNames(), before);
  EXPECT_GT(rebuilt, 0) << "the tree was rebuilt";

  window->core()->renderer->selectedFrame = window->core()->rootFrame->children[1];
  clickButton("move up");
  EXPECT_EQ(window->core()->rootFrame->children.front()->name, before[4].toStdString());
  EXPECT_EQ(topLevelNames()[3], before[4]);
}

TEST_F(Form1Test, AShadowRangeBelowFiveIsStoredAsFive) {
  auto* range = window->findChild<QLineEdit*>("shadowRange");
  ASSERT_NE(range, nullptr);
  for (const auto& [typed, stored] : {std::pair{"2", 5.0f}, std::pair{"40", 40.0f}}) {
    range->setText(typed);
    emit range->editingFinished();
    EXPECT_EQ(window->core()->shadowRange, stored) << typed;
  }
}

TEST_F(Form1Test, TheTrackTabEditsPointsInReferenceMode) {
  auto* panels = window->findChild<QTabWidget*>();
  ASSERT_NE(panels, nullptr);
  const auto showTab = [&](const QString& name) {
    for (int i = 0; i < panels->count(); ++i) {
      if (panels->tabText(i) == name) panels->setCurrentIndex(i);
    }
  };
  CEditInterface& core = *window->core();
  showTab("physic track");
  EXPECT_TRUE(core.refEditMode);
  auto* list = window->findChild<QListWidget*>("references");
  ASSERT_NE(list, nullptr);
  const auto items = list->findItems("PZTR_PIT1", Qt::MatchExactly);
  ASSERT_EQ(items.size(), 1);
  list->setCurrentItem(items[0]);
  EXPECT_STREQ(core.selectedRef, "PZTR_PIT1");
  auto* x = window->findChild<QLineEdit*>("x");
  auto* heading = window->findChild<QLineEdit*>("heading");
  x->setText("1.5");
  heading->setText("90");
  emit heading->editingFinished();
  EXPECT_EQ(core.getPhysicRefPos("PZTR_PIT1").x, 1.5f);
  EXPECT_EQ(core.getPhysicRefPos("PZTR_PIT1d").x, 90.0f);
  showTab("material");
  EXPECT_FALSE(core.refEditMode);
}

TEST_F(Form1Test, TheCameraTabListsNewAndDeletedCameras) {
  clickButton("new");
  clickButton("new");
  auto* list = window->findChild<QListWidget*>("cameras");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "NCAMERA1");
  list->setCurrentRow(0);
  clickButton("delete");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "NCAMERA1");
  EXPECT_EQ(window->core()->cameraList.size(), 1u);
}

TEST_F(Form1Test, GenerateStageMakesANewModelThenAddsToItAsAStep) {
  TempFolder folder;
  window->recoveryFolder = QString::fromStdString(folder.path().string());
  window->generateStage(4, 300);
  CEditInterface& core = *window->core();
  ASSERT_NE(core.trackBuilder, nullptr);
  EXPECT_EQ(topLevelNames(), QStringList{"STAGE"});
  EXPECT_TRUE(window->windowTitle().endsWith(" *"));  // a new model, not saved
  auto* cameras = window->findChild<QListWidget*>("cameras");
  ASSERT_NE(cameras, nullptr);
  EXPECT_EQ(size_t(cameras->count()), core.cameraList.size());
  EXPECT_GT(cameras->count(), 0);
  EXPECT_TRUE(fs::exists(folder.file("notes.txt")));
  // A second stage joins the first as one step.
  window->generateStage(5, 300);
  EXPECT_EQ(topLevelNames(), (QStringList{"STAGE", "STAGE"}));
  trigger("&Undo Generate stage");
  EXPECT_EQ(topLevelNames(), QStringList{"STAGE"});
}

TEST_F(Form1Test, TheTitleMarksUnsavedEditsUntilQuickSave) {
  TempFolder folder;
  fs::copy(fs::path(ZMF_DATA_DIR) / "samples/car", folder.path(), fs::copy_options::recursive);
  const QString copy = QString::fromStdString(folder.file("car.zmt"));
  window->openModel(copy);
  EXPECT_EQ(window->windowTitle(), "car.zmt");
  clickButton("mats2white");
  EXPECT_TRUE(waitFor([&] { return window->windowTitle() == "car.zmt *"; }));
  trigger("Quick Save");
  EXPECT_EQ(window->windowTitle(), "car.zmt");
  // Saved in its own format, text, at the opened path.
  EXPECT_EQ(readFileText(folder.file("car.zmt")).rfind("tq667", 0), 0u);
}

TEST_F(Form1Test, TheContentCheckListsTexturesAndSelectsTheirUsers) {
  window->openModel(car);
  trigger("Content check");
  auto* dock = window->findChild<QDockWidget*>("contentCheck");
  ASSERT_NE(dock, nullptr);
  EXPECT_TRUE(dock->isVisible());
  auto* table = dock->findChild<QTableWidget*>();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(table->item(0, 0)->text(), "exact");
  EXPECT_EQ(table->item(0, 1)->text(), "body.tga");
  emit table->cellDoubleClicked(0, 1);
  EXPECT_EQ(window->core()->renderer->selectedGeometry, geometry("BODY"));
}

}  // namespace
