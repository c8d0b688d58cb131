// The object list of the command protocol on a tree of 10 001 frames and 50 005 geometries, with
// the log off, against a plain pre-order walk writing the same 80-byte records into a buffer:
// the least any implementation must do. And selection by handle (code 6) in that tree against
// the same in a tree a hundred times smaller: a lookup that walks the tree would take about a
// hundred times longer; a constant-time one differs only by the cache misses of a larger scene.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "editor/CEditInterface.h"
#include "editor/EditPackets.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

namespace {

// A root with `branches` children of `leaves` children each; five geometries on every frame.
struct Tree {
  CEditInterface editor{""};
  std::vector<uint8_t> replies;
  std::vector<uint32_t> geometryHandles;

  Tree(int branches, int leaves) {
    editor.rootFrame = frame("root", nullptr);
    for (int b = 0; b < branches; ++b) {
      ZFrame* branch = frame("BRANCH" + std::to_string(b), editor.rootFrame);
      for (int l = 0; l < leaves; ++l) frame("LEAF" + std::to_string(l), branch);
    }
    replies.reserve(size_t(80) * 70000);
    editor.replyFunction = [this](const uint8_t* packet, int32_t size) {
      replies.insert(replies.end(), packet, packet + size);
    };
    editor.sendObjectDefs();
    for (size_t at = 1; at + 80 <= replies.size(); at += 80) {
      SZMFObjectDef def;
      std::memcpy(&def, &replies[at], sizeof def);
      if (def.kind == SZMFObjectDef::kGeometry) geometryHandles.push_back(def.handle);
    }
  }
  ZFrame* frame(const std::string& name, ZFrame* parent) {
    ZFrame* f = editor.renderer->getNewFrame();
    f->name = name;
    if (parent != nullptr) parent->addChild(f);
    for (int i = 0; i < 5; ++i) {
      ZGeometry* g = editor.renderer->getNewGeometry();
      g->name = name + "_MESH" + std::to_string(i);
      f->addGeometry(g);
    }
    return f;
  }
};

Tree& largeTree() {
  static Tree tree(100, 99);
  return tree;
}
Tree& smallTree() {
  static Tree tree(10, 9);
  return tree;
}

void BM_SendObjectDefs(benchmark::State& state) {
  Tree& tree = largeTree();
  for (auto _ : state) {
    tree.replies.clear();
    tree.editor.sendObjectDefs();
    benchmark::DoNotOptimize(tree.replies.data());
  }
  state.counters["objects"] = double(tree.replies.size() / 80);
}

// The same records, numbered in walk order, appended to the same buffer.
void writeRecords(const ZFrame& frame, uint32_t parent, uint32_t& next, std::vector<uint8_t>& out) {
  SZMFObjectDef def;
  def.kind = SZMFObjectDef::kFrame;
  def.handle = ++next;
  def.parent = parent;
  setFieldText(def.name, frame.name);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&def);
  out.insert(out.end(), bytes, bytes + sizeof def);
  const uint32_t self = def.handle;
  def.kind = SZMFObjectDef::kGeometry;
  def.parent = self;
  for (const ZGeometry* g : frame.geometries) {
    def.handle = ++next;
    setFieldText(def.name, g->name);
    out.insert(out.end(), bytes, bytes + sizeof def);
  }
  for (const ZFrame* child : frame.children) writeRecords(*child, self, next, out);
}

void BM_PlainPreorderWalk(benchmark::State& state) {
  Tree& tree = largeTree();
  for (auto _ : state) {
    tree.replies.clear();
    tree.replies.push_back(3);
    uint32_t next = 0;
    writeRecords(*tree.editor.rootFrame, 0, next, tree.replies);
    benchmark::DoNotOptimize(tree.replies.data());
  }
}

// Code 6 on every geometry of the tree in turn, in a tree of a hundred branches of 99 leaves
// (60 006 objects) or of ten branches of nine (606 objects).
void BM_SelectByHandle(benchmark::State& state) {
  Tree& tree = state.range(0) == 100 ? largeTree() : smallTree();
  uint8_t bytes[12] = {6, 0, 0, 0, 0, 0, 0, 0, 1};  // type 1: a geometry
  size_t i = 0;
  for (auto _ : state) {
    const LeU32 handle = tree.geometryHandles[i++ % tree.geometryHandles.size()];
    std::memcpy(bytes + 4, &handle, 4);
    tree.editor.onReceive(bytes, sizeof bytes);
    benchmark::DoNotOptimize(tree.editor.renderer->selectedGeometry);
  }
  if (tree.editor.renderer->selectedGeometry == nullptr) state.SkipWithError("nothing selected");
}

BENCHMARK(BM_SendObjectDefs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPreorderWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectByHandle)->Arg(100)->Arg(10);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);
  return runBenchmarksWithRatios(argc, argv,
                                 {{"BM_SendObjectDefs", "BM_PlainPreorderWalk"},
                                  {"BM_SelectByHandle/100", "BM_SelectByHandle/10"}});
}
