// OBJ import against two peers reading the same file side by side: tinyobjloader (ObjReader,
// triangulating as the import does) and assimp (aiImportFile without post-processing). The file
// is written once into a temporary folder: several groups of grid meshes with positions,
// texture coordinates and normals, faces written as quads and as triangles, about 40 MB.
// Tearing the results down is not timed for any of the three.
#include "bench/BenchRatio.h"
#include "tests/support/TempFolder.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <tiny_obj_loader.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kGroups = 6;
constexpr int kSide = 220;  // vertices per grid side: 48 400 per group

// Made on first use, removed at exit.
const TempFolder& folder() {
  static const TempFolder made;
  return made;
}

std::string objFile() { return folder().file("scene.obj"); }

// Writes the file once: per group a wavy grid; even rows of cells as quads, odd rows as two
// triangles each, corners written v/vt/vn.
void writeModel() {
  static bool written = false;
  if (written) return;
  written = true;
  FILE* out = std::fopen(objFile().c_str(), "w");
  if (out == nullptr) std::abort();
  std::fprintf(out, "# benchmark scene\n");
  for (int g = 0; g < kGroups; ++g) {
    const int base = g * kSide * kSide + 1;
    std::fprintf(out, "g sector%d\n", g);
    for (int z = 0; z < kSide; ++z) {
      for (int x = 0; x < kSide; ++x) {
        const float h = std::sin(float(x + g) * 0.1f) * std::cos(float(z) * 0.07f);
        std::fprintf(out, "v %.6f %.6f %.6f\n", float(x) + float(g) * kSide, h, float(z));
      }
    }
    for (int z = 0; z < kSide; ++z) {
      for (int x = 0; x < kSide; ++x) {
        std::fprintf(out, "vt %.6f %.6f\n", float(x) / kSide, float(z) / kSide);
      }
    }
    for (int z = 0; z < kSide; ++z) {
      for (int x = 0; x < kSide; ++x) {
        const float nx = -std::cos(float(x + g) * 0.1f) * 0.1f;
        const float len = std::sqrt(nx * nx + 1.0f);
        std::fprintf(out, "vn %.6f %.6f %.6f\n", nx / len, 1.0f / len, 0.0f);
      }
    }
    for (int z = 0; z + 1 < kSide; ++z) {
      for (int x = 0; x + 1 < kSide; ++x) {
        const int a = base + z * kSide + x;
        const int b = a + 1;
        const int c = a + kSide + 1;
        const int d = a + kSide;
        if (z % 2 == 0) {
          std::fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c,
                       d, d, d);
        } else {
          std::fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a,
                       a, b, b, b, c, c, c, a, a, a, c, c, c, d, d, d);
        }
      }
    }
  }
  std::fclose(out);
}

void BM_ImportOBJ(benchmark::State& state) {
  writeModel();
  for (auto _ : state) {
    auto engine = std::make_unique<ZCorvane>();
    ZObjectBuilder builder(engine.get());
    if (!builder.loadOBJ(objFile())) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(builder.geometries.data());
    state.PauseTiming();
    engine.reset();
    state.ResumeTiming();
  }
}

void BM_TinyObjLoader(benchmark::State& state) {
  writeModel();
  for (auto _ : state) {
    auto reader = std::make_unique<tinyobj::ObjReader>();
    tinyobj::ObjReaderConfig config;  // triangulates, like the import
    if (!reader->ParseFromFile(objFile(), config)) state.SkipWithError("tinyobjloader failed");
    benchmark::DoNotOptimize(reader->GetShapes().data());
    state.PauseTiming();
    reader.reset();
    state.ResumeTiming();
  }
}

void BM_AssimpOBJ(benchmark::State& state) {
  writeModel();
  for (auto _ : state) {
    const aiScene* scene = aiImportFile(objFile().c_str(), 0);
    if (scene == nullptr) state.SkipWithError("assimp failed");
    benchmark::DoNotOptimize(scene);
    state.PauseTiming();
    aiReleaseImport(scene);
    state.ResumeTiming();
  }
}

BENCHMARK(BM_ImportOBJ)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinyObjLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssimpOBJ)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  zlogSetEnabled(false);  // as in a tool run without -v
  return runBenchmarksWithRatios(
      argc, argv, {{"BM_ImportOBJ", "BM_TinyObjLoader"}, {"BM_ImportOBJ", "BM_AssimpOBJ"}});
}
