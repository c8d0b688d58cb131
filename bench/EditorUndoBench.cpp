// Undo against the edit it takes back. A material edit by packet (code 7, which sorts the root's
// meshes again) on a track of about a million triangles in 1000 meshes, each with its own
// material: the edit, and its undo. The new normals of a mesh of a million vertices: computing
// them, and undoing them (the arrays exchanged and the device copy written again in place).
// The counters give the bytes one material step keeps and the bound it must stay within.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "editor/CEditInterface.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {

constexpr int kTrackMeshes = 1000;
constexpr int kTrackGrid = 22;   // 968 faces a mesh
constexpr int kLargeGrid = 999;  // 1000 x 1000 vertices

struct Editor {
  CEditInterface core{""};
  Editor() { core.rootFrame = core.renderer->getNewFrame(); }
  ZGeometry* addMesh(int grid, float x) {
    ZGeometry* g = core.renderer->getNewGeometry();
    fillCurvedPatch(*g, x, 0, grid);
    g->setMaterial(core.renderer->getNewMaterial());
    core.rootFrame->addGeometry(g);
    return g;
  }
  void compile() {
    core.rootFrame->compile();
    core.renderer->finaliseVertexBuffers(false);
  }
};

Editor& track() {
  static Editor* instance = [] {
    auto* e = new Editor;
    for (int i = 0; i < kTrackMeshes; ++i) e->addMesh(kTrackGrid, float(i * kTrackGrid));
    e->compile();
    e->core.renderer->selectedGeometry = e->core.rootFrame->geometries[kTrackMeshes / 2];
    return e;
  }();
  return *instance;
}

Editor& largeMesh() {
  static Editor* instance = [] {
    auto* e = new Editor;
    e->addMesh(kLargeGrid, 0);
    e->compile();
    return e;
  }();
  return *instance;
}

// A different colour every call, so that every packet changes the material.
std::vector<uint8_t> materialPacket() {
  static int turn = 0;
  SZMFMaterialDef def;
  def.diffuse[0] = float(++turn % 100) / 100.0f;
  def.opacity = 1.0f;
  setFieldText(def.effectName, "NONE");
  std::vector<uint8_t> packet(sizeof def);
  std::memcpy(packet.data(), &def, sizeof def);
  return packet;
}

void sendMaterial(CEditInterface& core) {
  const std::vector<uint8_t> packet = materialPacket();
  core.onReceive(packet.data(), int32_t(packet.size()));
}

void BM_MaterialEdit(benchmark::State& state) {
  CEditInterface& core = track().core;
  for (auto _ : state) {
    sendMaterial(core);
    state.PauseTiming();
    core.undo();
    state.ResumeTiming();
  }
}

void BM_MaterialUndo(benchmark::State& state) {
  CEditInterface& core = track().core;
  for (auto _ : state) {
    state.PauseTiming();
    sendMaterial(core);
    state.ResumeTiming();
    if (!core.undo()) state.SkipWithError("nothing to undo");
  }
  core.history.clear();
  sendMaterial(core);
  state.counters["stepBytes"] = double(core.history.memoryUsed());
  state.counters["boundBytes"] = double(64 * 1024 + 8 * kTrackMeshes);
  core.undo();
}

void BM_GenerateNormals(benchmark::State& state) {
  ZGeometry& g = *largeMesh().core.rootFrame->geometries[0];
  for (auto _ : state) g.generateNormals();
  state.counters["vertices"] = double(g.vertices.size());
}

void BM_UndoGenerateNormals(benchmark::State& state) {
  CEditInterface& core = largeMesh().core;
  ZGeometry* g = core.rootFrame->geometries[0];
  for (auto _ : state) {
    state.PauseTiming();
    {
      const auto step = core.history.scope("Generate normals");
      core.history.recordGeometry(g, true);
      g->vertices[0].normal = {0, 0, 1};  // the normals now differ from the recorded ones
      g->generateNormals();
    }
    state.ResumeTiming();
    if (!core.undo()) state.SkipWithError("nothing to undo");
  }
}

BENCHMARK(BM_MaterialEdit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaterialUndo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerateNormals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoGenerateNormals)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);
  return runBenchmarksWithRatios(
      argc, argv,
      {{"BM_MaterialUndo", "BM_MaterialEdit"}, {"BM_UndoGenerateNormals", "BM_GenerateNormals"}});
}
