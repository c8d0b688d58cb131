// The window's object tree rebuilt for 10 000 geometries in 500 frames, against a bare
// QTreeWidget filled with the same items in one batch: the least the toolkit needs for them.
// Runs on Qt's offscreen platform, no display needed.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeWidget>
#include <string>

#include "bench/BenchRatio.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "shell/CObjectTree.h"

namespace {

constexpr int kFrames = 500;
constexpr int kGeometriesPerFrame = 20;

struct Scene {
  ZCorvane engine;
  ZFrame* root = engine.getNewFrame();
  Scene() {
    for (int f = 0; f < kFrames; ++f) {
      ZFrame* frame = engine.getNewFrame();
      frame->name = "FRAME" + std::to_string(f);
      root->addChild(frame);
      for (int g = 0; g < kGeometriesPerFrame; ++g) {
        ZGeometry* geometry = engine.getNewGeometry();
        geometry->name = "MESH" + std::to_string(f) + "_" + std::to_string(g);
        frame->addGeometry(geometry);
      }
    }
  }
};

Scene& scene() {
  static Scene instance;
  return instance;
}

void BM_UpdateTree(benchmark::State& state) {
  CObjectTree tree;
  for (auto _ : state) tree.rebuild(scene().root);
  if (tree.topLevelItemCount() != kFrames) state.SkipWithError("wrong tree");
}

void BM_BareTree(benchmark::State& state) {
  QTreeWidget tree;
  for (auto _ : state) {
    tree.setUpdatesEnabled(false);
    tree.clear();
    QList<QTreeWidgetItem*> frames;
    for (const ZFrame* frame : scene().root->children) {
      auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(frame->name)));
      QList<QTreeWidgetItem*> meshes;
      for (const ZGeometry* g : frame->geometries) {
        meshes.append(new QTreeWidgetItem(QStringList(QString::fromStdString(g->name))));
      }
      item->addChildren(meshes);
      frames.append(item);
    }
    tree.addTopLevelItems(frames);
    tree.setUpdatesEnabled(true);
  }
}

BENCHMARK(BM_UpdateTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareTree)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  zlogSetEnabled(false);
  return runBenchmarksWithRatios(argc, argv, {{"BM_UpdateTree", "BM_BareTree"}});
}
