#include "apps/zmftool/TrackGen.h"

#include "apps/zmftool/ProgressBar.h"
#include "formats/ZModelFile.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZFileName.h"
#include "foundation/cvMath.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "track/CTrackBuilder.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

struct TrackRequest {
  fs::path output;
  fs::path notes;
  unsigned seed = 0;
  bool seeded = false;
  float length = 2000;
};

bool parseNumber(const std::string& text, auto& out) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return result.ec == std::errc() && result.ptr == end;
}

bool parseTrackRequest(const std::vector<std::string>& args, TrackRequest& request) {
  std::vector<std::string> operands;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--seed" && hasValue) {
      if (!parseNumber(args[++i], request.seed)) return false;
      request.seeded = true;
    } else if (args[i] == "--length" && hasValue) {
      // Up to 100 km: a stage far longer than any real one still builds in seconds.
      if (!parseNumber(args[++i], request.length) || !(request.length > 0) ||
          request.length > 100000) {
        return false;
      }
    } else if (args[i] == "--notes" && hasValue) {
      request.notes = args[++i];
    } else if (args[i].rfind("-", 0) == 0) {
      return false;
    } else {
      operands.push_back(args[i]);
    }
  }
  if (operands.size() != 1) return false;
  const ModelFormat format = modelFormatOf(operands[0]);
  if (format != ModelFormat::zmt && format != ModelFormat::zmf) return false;
  std::error_code error;
  request.output = fs::absolute(operands[0], error);
  request.notes = request.notes.empty() ? request.output.parent_path() / "notes.txt"
                                        : fs::absolute(request.notes, error);
  return true;
}

// The stage's pictures copied from the data folder into OUT's "texture" folder, where readers of
// the model look for them; files already there are kept. The number copied.
int copyStageTextures(const ZFrame& stage, const fs::path& data, const fs::path& output) {
  std::set<std::string> names;
  for (const ZGeometry* g : stage.geometries) {
    if (g->material != nullptr && g->material->stage(0).texture != nullptr) {
      names.insert(g->material->stage(0).texture->name);
    }
  }
  const fs::path folder = output.parent_path() / "texture";
  std::error_code error;
  fs::create_directories(folder, error);
  int copied = 0;
  for (const std::string& name : names) {
    const fs::path target = folder / fs::path(name).filename();
    if (fs::copy_file(data / name, target, fs::copy_options::skip_existing, error)) ++copied;
    if (error)
      std::fprintf(stderr, "zmftool: cannot copy %s: %s\n", name.c_str(), error.message().c_str());
  }
  return copied;
}

}  // namespace

int generateTrack(const std::vector<std::string>& args) {
  TrackRequest request;
  if (!parseTrackRequest(args, request)) {
    std::fputs(
        "usage: zmftool trackgen OUT.zmt|OUT.zmf [--seed N] [--length METRES] "
        "[--notes FILE]\n",
        stderr);
    return 2;
  }
  const fs::path data = findDataFolder();
  std::error_code error;
  if (data.empty() || !fs::is_directory(data / "trackbuilder", error)) {
    std::fputs("zmftool: no data folder with trackbuilder/ surfaces found (set ZMFEDIT_HOME)\n",
               stderr);
    return 1;
  }
  if (!request.seeded) {
    request.seed = unsigned(std::chrono::system_clock::now().time_since_epoch().count());
  }
  // The builder reads its surfaces relative to the data folder.
  const fs::path previous = fs::current_path(error);
  fs::current_path(data, error);
  ZCorvane engine;
  LoadedModel model;
  model.root = engine.getNewFrame();
  model.root->name = "STAGE";
  cvSeed(request.seed);
  CTrackBuilder builder(model.root);
  builder.notesPath = request.notes.string();
  ProgressBar bar;
  builder.listener = bar.listener();
  builder.init(request.length);
  builder.build();
  fs::current_path(previous, error);

  model.cameras = builder.cameras;
  model.kind = modelFormatOf(request.output.string());
  if (!saveModel(request.output.string(), engine, model)) return 1;
  const int copied = copyStageTextures(*model.root, data, request.output);
  SFrameStatistics stats;
  model.root->getStatistics(stats);
  float length = 0;
  for (const SSectorInfo& sector : builder.sectors) length += sector.length;
  std::printf("seed %u: %zu sectors, %u meshes, %u triangles, %.1f m\n", request.seed,
              builder.sectors.size(), stats.geometries, stats.triangles, double(length));
  std::printf("wrote %s and %d textures into %s\n", request.output.c_str(), copied,
              (request.output.parent_path() / "texture").c_str());
  if (builder.notesWritten) {
    std::printf("wrote the pace notes %s\n", request.notes.c_str());
  } else {
    std::fprintf(stderr, "zmftool: cannot write the pace notes %s\n", request.notes.c_str());
  }
  return 0;
}
