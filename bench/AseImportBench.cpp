// ASE import against the peer library on the same file: a generated track-like scene of about
// 100 MB (road patches with texture coordinates and per-corner normals), imported by our main
// pass and read by the peer without post-processing, from the file and from memory. The ratios
// printed are the peer's time over ours, so above 1 means we are faster.
#include "bench/BenchRatio.h"
#include "tests/support/TempFolder.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kObjects = 96;
constexpr int kSide = 40;  // vertices per patch side: 1600 vertices, 3042 faces per object
constexpr double kSeconds = 4;  // per benchmark, so each runs several whole imports

std::string& aseFile() {
  static std::string path;
  return path;
}

// One road patch per object, laid along the track, in the file's Z-up axes.
bool writeScene(const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof(buffer));
  std::fprintf(out, "*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"generated track\"\n");
  std::fprintf(out, "*MATERIAL_LIST {\n\t*MATERIAL_COUNT 1\n\t*MATERIAL 0 {\n");
  std::fprintf(out, "\t\t*MATERIAL_NAME \"asphalt\"\n\t\t*MATERIAL_CLASS \"Standard\"\n");
  std::fprintf(out, "\t\t*MATERIAL_DIFFUSE 0.5000\t0.5000\t0.5000\n");
  std::fprintf(out, "\t\t*MAP_DIFFUSE {\n\t\t\t*MAP_AMOUNT 1.0000\n");
  std::fprintf(out, "\t\t\t*BITMAP \"C:\\maps\\asphalt.tga\"\n\t\t}\n\t}\n}\n");
  const int faces = 2 * (kSide - 1) * (kSide - 1);
  for (int o = 0; o < kObjects; ++o) {
    const float offset = float(o) * float(kSide - 1);
    std::fprintf(out, "*GEOMOBJECT {\n\t*NODE_NAME \"road%03d\"\n\t*NODE_TM {\n", o);
    std::fprintf(out, "\t\t*NODE_NAME \"road%03d\"\n\t\t*TM_ROW0 1.0000\t0.0000\t0.0000\n", o);
    std::fprintf(out, "\t\t*TM_ROW1 0.0000\t1.0000\t0.0000\n\t\t*TM_ROW2 0.0000\t0.0000\t1.0000\n");
    std::fprintf(out, "\t\t*TM_POS %.4f\t0.0000\t0.0000\n\t}\n\t*MESH {\n\t\t*TIMEVALUE 0\n",
                 offset);
    std::fprintf(out, "\t\t*MESH_NUMVERTEX %d\n\t\t*MESH_NUMFACES %d\n\t\t*MESH_VERTEX_LIST {\n",
                 kSide * kSide, faces);
    for (int v = 0; v < kSide * kSide; ++v) {
      const int x = v % kSide, y = v / kSide;
      std::fprintf(out, "\t\t\t*MESH_VERTEX %5d\t%.4f\t%.4f\t%.4f\n", v, offset + float(x),
                   float(y), std::sin(float(x + o) * 0.1f) * std::cos(float(y) * 0.07f));
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_FACE_LIST {\n");
    for (int f = 0; f < faces; ++f) {
      const int cell = f / 2, x = cell % (kSide - 1), y = cell / (kSide - 1);
      const int a = y * kSide + x;
      const int b = f % 2 == 0 ? a + 1 : a + kSide + 1;
      const int c = f % 2 == 0 ? a + kSide + 1 : a + kSide;
      std::fprintf(out,
                   "\t\t\t*MESH_FACE %5d:    A: %5d B: %5d C: %5d AB:    1 BC:    1 CA:    0"
                   "\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n",
                   f, a, b, c);
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_NUMTVERTEX %d\n\t\t*MESH_TVERTLIST {\n", kSide * kSide);
    for (int v = 0; v < kSide * kSide; ++v) {
      std::fprintf(out, "\t\t\t*MESH_TVERT %5d\t%.4f\t%.4f\t0.0000\n", v,
                   float(v % kSide) * 0.25f, float(v / kSide) * 0.25f);
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_NUMTVFACES %d\n\t\t*MESH_TFACELIST {\n", faces);
    for (int f = 0; f < faces; ++f) {
      const int cell = f / 2, a = cell / (kSide - 1) * kSide + cell % (kSide - 1);
      std::fprintf(out, "\t\t\t*MESH_TFACE %5d\t%5d\t%5d\t%5d\n", f, a,
                   f % 2 == 0 ? a + 1 : a + kSide + 1, f % 2 == 0 ? a + kSide + 1 : a + kSide);
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_NORMALS {\n");
    for (int f = 0; f < faces; ++f) {
      std::fprintf(out, "\t\t\t*MESH_FACENORMAL %5d\t0.0000\t0.0000\t1.0000\n", f);
      for (int k = 0; k < 3; ++k) {
        std::fprintf(out, "\t\t\t\t*MESH_VERTEXNORMAL %5d\t0.0995\t-0.0499\t0.9938\n", k);
      }
    }
    std::fprintf(out, "\t\t}\n\t}\n\t*PROP_MOTIONBLUR 0\n\t*PROP_CASTSHADOW 1\n");
    std::fprintf(out, "\t*PROP_RECVSHADOW 1\n\t*MATERIAL_REF 0\n}\n");
  }
  return std::fclose(out) == 0;
}

void BM_ImportASE(benchmark::State& state) {
  for (auto _ : state) {
    ZCorvane engine;
    ZObjectBuilder builder(&engine);
    if (!builder.loadASE(aseFile())) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(builder.geometries.data());
  }
}

void BM_PeerReadASE(benchmark::State& state) {
  for (auto _ : state) {
    const aiScene* scene = aiImportFile(aseFile().c_str(), 0);
    if (scene == nullptr) state.SkipWithError("peer failed");
    benchmark::DoNotOptimize(scene);
    aiReleaseImport(scene);
  }
}

// The same two with the file already in memory: the parsers alone (the peer still copies the
// buffer into its own stream).
void BM_ImportASEText(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(aseFile(), bytes)) state.SkipWithError("read failed");
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (auto _ : state) {
    ZCorvane engine;
    ZObjectBuilder builder(&engine);
    builder.loadASEText(text, aseFile());
    benchmark::DoNotOptimize(builder.geometries.data());
  }
}

void BM_PeerReadASEText(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(aseFile(), bytes)) state.SkipWithError("read failed");
  for (auto _ : state) {
    const aiScene* scene = aiImportFileFromMemory(reinterpret_cast<const char*>(bytes.data()),
                                                  unsigned(bytes.size()), 0, "ase");
    if (scene == nullptr) state.SkipWithError("peer failed");
    benchmark::DoNotOptimize(scene);
    aiReleaseImport(scene);
  }
}

// Wall-clock time throughout: our import reads ahead on helper threads.
BENCHMARK(BM_ImportASE)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_PeerReadASE)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_ImportASEText)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();
BENCHMARK(BM_PeerReadASEText)->Unit(benchmark::kMillisecond)->MinTime(kSeconds)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  const TempFolder folder;
  aseFile() = folder.file("track.ase");
  if (!writeScene(aseFile())) return 1;
  std::printf("%s: %.1f MB\n", aseFile().c_str(),
              double(std::filesystem::file_size(aseFile())) / 1e6);
  // No diagnostics, as in a tool run without -v: the per-normal lines are not even formatted.
  zlogSetEnabled(false);
  // The library names each case with its minimum time and clock, as
  // "/min_time:4.000/real_time".
  char minTime[48];
  std::snprintf(minTime, sizeof minTime, "/min_time:%.3f/real_time", kSeconds);
  const auto named = [&](const char* benchmark) { return std::string(benchmark) + minTime; };
  return runBenchmarksWithRatios(argc, argv,
                                 {{named("BM_PeerReadASE"), named("BM_ImportASE")},
                                  {named("BM_PeerReadASEText"), named("BM_ImportASEText")}});
}
