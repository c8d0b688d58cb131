// The editor's model loads end to end against the reader or importer alone on the same file. The
// editor's load (on a fresh host, up to its return) reads or imports the file, compiles the
// meshes into the shared buffers, uploads them to the device and sets up the sky box and the
// camera; the reference reads the file into an engine without a device. The files: a ZMT and a
// ZMF of 16 road meshes (about 310 000 triangles) and an ASE of 96 road patches (about 290 000).
// Hosts and engines are made and removed off the clock.
#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "editor/CHeadlessEditHost.h"
#include "formats/ZFileZMF.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kMeshes = 16;
constexpr int kSide = 100;  // vertices per mesh side
constexpr int kAseObjects = 96;
constexpr int kAseSide = 40;  // vertices per patch side
constexpr size_t kTriangles = size_t(kMeshes) * 2 * (kSide - 1) * (kSide - 1);
constexpr size_t kAseTriangles = size_t(kAseObjects) * 2 * (kAseSide - 1) * (kAseSide - 1);
constexpr double kSeconds = 2;  // per benchmark, so each runs several whole loads

enum class Format { zmt, zmf, ase };

std::string& modelFile(Format format) {
  static std::string paths[3];
  return paths[int(format)];
}

size_t expectedTriangles(Format format) {
  return format == Format::ase ? kAseTriangles : kTriangles;
}

// The road meshes, written in both engine formats.
bool writeModels() {
  ZCorvane engine;
  ZFrame* root = makeRoadTrack(engine, kMeshes, kSide);
  ZFileZMF file(&engine);
  return file.save(modelFile(Format::zmf), root) && file.saveText(modelFile(Format::zmt), root);
}

// Triangles of the meshes under frame whose vertices reached the device.
size_t uploadedTriangles(const ZFrame& frame) {
  size_t count = 0;
  for (const ZGeometry* g : frame.geometries) {
    bool uploaded = g->compiled && !g->pieces.empty();
    for (const SGeometryPiece& piece : g->pieces) {
      uploaded = uploaded && piece.vertexBuffer->deviceVertexCount() >=
                                 piece.baseVertex + piece.vertexCount &&
                 piece.indexBuffer->deviceIndexBuffer != nullptr;
    }
    if (uploaded) count += g->faces.size();
  }
  for (const ZFrame* child : frame.children) count += uploadedTriangles(*child);
  return count;
}

void editorLoad(benchmark::State& state, Format format) {
  const std::filesystem::path data = findDataFolder();
  if (data.empty()) return state.SkipWithError("no data folder");
  const std::string& path = modelFile(format);
  size_t triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<CHeadlessEditHost>(data);
    if (!host->context) {
      state.SkipWithError(("no GL context: " + host->contextError).c_str());
      return;
    }
    CEditInterface& editor = *host->editor;
    state.ResumeTiming();
    switch (format) {
      case Format::zmt:
        editor.loadZMT(path);
        break;
      case Format::zmf:
        editor.loadZMF(path, false);
        break;
      case Format::ase:
        editor.loadASE(path, 1.0f, false, false);
        break;
    }
    state.PauseTiming();
    triangles = editor.rootFrame != nullptr ? uploadedTriangles(*editor.rootFrame) : 0;
    host.reset();
    state.ResumeTiming();
  }
  if (triangles != expectedTriangles(format)) state.SkipWithError("not every mesh was uploaded");
  state.counters["triangles"] = double(triangles);
}

void readerLoad(benchmark::State& state, Format format) {
  const std::string& path = modelFile(format);
  size_t triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto engine = std::make_unique<ZCorvane>();
    state.ResumeTiming();
    switch (format) {
      case Format::zmt:
        ZFileZMF(engine.get()).loadText(path, nullptr);
        break;
      case Format::zmf:
        ZFileZMF(engine.get()).load(path, nullptr, false);
        break;
      case Format::ase:
        ZObjectBuilder(engine.get()).loadASE(path);
        break;
    }
    state.PauseTiming();
    triangles = 0;
    for (const auto& g : engine->geometries) triangles += g->faces.size();
    engine.reset();
    state.ResumeTiming();
  }
  if (triangles != expectedTriangles(format)) state.SkipWithError("not every mesh was read");
  state.counters["triangles"] = double(triangles);
}

void BM_EditorLoadZMT(benchmark::State& state) { editorLoad(state, Format::zmt); }
void BM_ReadZMT(benchmark::State& state) { readerLoad(state, Format::zmt); }
void BM_EditorLoadZMF(benchmark::State& state) { editorLoad(state, Format::zmf); }
void BM_ReadZMF(benchmark::State& state) { readerLoad(state, Format::zmf); }
void BM_EditorLoadASE(benchmark::State& state) { editorLoad(state, Format::ase); }
void BM_ImportASE(benchmark::State& state) { readerLoad(state, Format::ase); }

// Wall-clock time: the ASE import reads ahead on helper threads, the driver works on its own.
BENCHMARK(BM_EditorLoadZMT)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_ReadZMT)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_EditorLoadZMF)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_ReadZMF)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_EditorLoadASE)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_ImportASE)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);  // as in a run without -v
  const TempFolder folder;
  modelFile(Format::zmt) = folder.file("track.zmt");
  modelFile(Format::zmf) = folder.file("track.zmf");
  modelFile(Format::ase) = folder.file("track.ase");
  if (!writeModels() || !writeAseRoads(modelFile(Format::ase), kAseObjects, kAseSide)) {
    std::fprintf(stderr, "cannot write the models in %s\n", folder.path().c_str());
    return 1;
  }
  for (const Format format : {Format::zmt, Format::zmf, Format::ase}) {
    const std::string& path = modelFile(format);
    std::printf("%s: %.1f MB\n", path.c_str(), double(std::filesystem::file_size(path)) / 1e6);
  }
  // The library names each case with its minimum time and clock, as "/min_time:2.000/real_time".
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, "/min_time:%.3f/real_time", kSeconds);
  const auto named = [&](const char* benchmark) { return std::string(benchmark) + suffix; };
  return runBenchmarksWithRatios(argc, argv,
                                 {{named("BM_EditorLoadZMT"), named("BM_ReadZMT")},
                                  {named("BM_EditorLoadZMF"), named("BM_ReadZMF")},
                                  {named("BM_EditorLoadASE"), named("BM_ImportASE")}});
}
