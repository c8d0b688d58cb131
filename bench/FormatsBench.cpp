// Model files against the machine's own limits on the same bytes: ZMF and ZMT loads against
// reading the file into memory (page cache warm), saves against fwrite of as many bytes; the
// GLB export against the ZMF save. The model is a track-sized scene of 16 meshes, about a
// million vertices (two million triangles) in all.
#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "tests/support/TempFolder.h"
#include "formats/ZFileZMF.h"
#include "formats/ZGltfWriter.h"
#include "formats/ZModelFile.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kMeshes = 16;
constexpr int kSide = 250;  // vertices per mesh side: 62 500 per mesh

// Made on first use, removed at exit.
const TempFolder& folder() {
  static const TempFolder made;
  return made;
}

std::string zmfFile() { return folder().file("track.zmf"); }
std::string zmtFile() { return folder().file("track.zmt"); }

// Builds the scene once and writes it in both formats.
void writeModels() {
  static bool written = false;
  if (written) return;
  written = true;
  ZCorvane engine;
  ZFrame* root = makeRoadTrack(engine, kMeshes, kSide);
  ZFileZMF file(&engine);
  if (!file.save(zmfFile(), root) || !file.saveText(zmtFile(), root)) std::abort();
}

int64_t fileSize(const std::string& path) { return int64_t(std::filesystem::file_size(path)); }

void loadModel(benchmark::State& state, bool text) {
  writeModels();
  const std::string path = text ? zmtFile() : zmfFile();
  for (auto _ : state) {
    auto engine = std::make_unique<ZCorvane>();
    ZFileZMF file(engine.get());
    const bool loaded =
        text ? file.loadText(path, nullptr) : file.load(path, nullptr, false) != nullptr;
    if (!loaded) state.SkipWithError("load failed");
    state.PauseTiming();
    engine.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * fileSize(path));
}

void BM_LoadZMF(benchmark::State& state) { loadModel(state, false); }
void BM_LoadZMT(benchmark::State& state) { loadModel(state, true); }

void readBytes(benchmark::State& state, const std::string& path) {
  writeModels();
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * fileSize(path));
}

void BM_ReadZMFBytes(benchmark::State& state) { readBytes(state, zmfFile()); }

void saveModel(benchmark::State& state, bool text) {
  writeModels();
  ZCorvane engine;
  ZFileZMF reader(&engine);
  ZFrame* root = reader.load(zmfFile(), nullptr, false);
  const std::string path = folder().file(text ? "saved.zmt" : "saved.zmf");
  for (auto _ : state) {
    ZFileZMF file(&engine);
    const bool saved = text ? file.saveText(path, root) : file.save(path, root);
    if (!saved) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * fileSize(path));
}

void BM_SaveZMF(benchmark::State& state) { saveModel(state, false); }

// The same model exported as GLB, against its ZMF save.
void BM_ExportGLB(benchmark::State& state) {
  writeModels();
  ZCorvane engine;
  ZFileZMF reader(&engine);
  LoadedModel model;
  model.root = reader.load(zmfFile(), nullptr, false);
  const std::string path = folder().file("exported.glb");
  for (auto _ : state) {
    if (!writeGLTF(path, model, {true, false})) state.SkipWithError("export failed");
  }
  state.SetBytesProcessed(state.iterations() * fileSize(path));
}
void BM_SaveZMT(benchmark::State& state) { saveModel(state, true); }

// fwrite of as many bytes as the model file holds, into a file of its own.
void writeBytes(benchmark::State& state, const std::string& model) {
  writeModels();
  const std::vector<uint8_t> bytes(size_t(fileSize(model)), 0x5A);
  const std::string path = folder().file("plain.bin");
  for (auto _ : state) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
      state.SkipWithError("write failed");
    }
    if (out) std::fclose(out);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(bytes.size()));
}

void BM_FwriteZMFBytes(benchmark::State& state) { writeBytes(state, zmfFile()); }
void BM_FwriteZMTBytes(benchmark::State& state) { writeBytes(state, zmtFile()); }

BENCHMARK(BM_LoadZMF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadZMFBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveZMF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportGLB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FwriteZMFBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadZMT)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveZMT)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FwriteZMTBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);  // as in a tool run without -v
  return runBenchmarksWithRatios(
      argc, argv,
      {{"BM_LoadZMF", "BM_ReadZMFBytes"},
       {"BM_SaveZMF", "BM_FwriteZMFBytes"},
       {"BM_ExportGLB", "BM_SaveZMF"},
       {"BM_SaveZMT", "BM_FwriteZMTBytes"}});
}
