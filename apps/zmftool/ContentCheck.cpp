#include "apps/zmftool/ContentCheck.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "apps/zmftool/JsonWriter.h"
#include "formats/ZDrawBudget.h"
#include "formats/ZModelFile.h"
#include "formats/ZTextureReport.h"
#include "foundation/ZFileName.h"
#include "platform/d3dx/ImageFile.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

namespace {

constexpr const char* kTexturesUsage =
    "usage: zmftool textures MODEL [--json] [--fix -o OUT.zmt|OUT.zmf]\n";
constexpr const char* kBudgetUsage = "usage: zmftool budget MODEL [--json]\n";

struct ContentRequest {
  std::string model, output;
  bool json = false, fix = false;
};

bool parseRequest(const std::vector<std::string>& args, bool fixAllowed, ContentRequest& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      out.json = true;
    } else if (args[i] == "--fix" && fixAllowed) {
      out.fix = true;
    } else if (args[i] == "-o" && fixAllowed && i + 1 < args.size()) {
      out.output = args[++i];
    } else if (out.model.empty() && args[i].rfind("-", 0) != 0) {
      out.model = args[i];
    } else {
      return false;
    }
  }
  const ModelFormat written = modelFormatOf(out.output);
  if (out.fix != !out.output.empty()) return false;
  if (out.fix && written != ModelFormat::zmf && written != ModelFormat::zmt) return false;
  return !out.model.empty();
}

const char* geometryName(const ZGeometry* g) { return g->name.c_str(); }

void printTextureTable(const std::vector<STextureReport>& reports) {
  for (const STextureReport& r : reports) {
    std::printf("%-9s %s\n", textureMatchName(r.match), r.storedName.c_str());
    if (r.match != TextureMatch::missing) {
      std::printf("          file %s\n", r.file.c_str());
      std::printf("          %s %ux%u, %u level%s; held as %s, %u levels, %llu bytes\n",
                  D3DXFormatName(r.fileFormat), r.width, r.height, r.fileLevels,
                  r.fileLevels == 1 ? "" : "s", D3DXFormatName(r.format), r.levels,
                  static_cast<unsigned long long>(r.bytes));
    }
    std::printf("          used by");
    for (const ZGeometry* g : r.geometries) std::printf(" %s", geometryName(g));
    std::printf("\n");
  }
}

void writeTextureJson(JsonWriter& out, const STextureReport& r) {
  out.beginObject();
  out.field("name", r.storedName);
  out.field("match", textureMatchName(r.match));
  out.field("file", r.file);
  out.field("fileFormat", D3DXFormatName(r.fileFormat));
  out.field("width", int64_t(r.width));
  out.field("height", int64_t(r.height));
  out.field("fileLevels", int64_t(r.fileLevels));
  out.field("format", D3DXFormatName(r.format));
  out.field("levels", int64_t(r.levels));
  out.field("bytes", int64_t(r.bytes));
  out.key("geometries");
  out.beginArray();
  for (const ZGeometry* g : r.geometries) out.value(g->name);
  out.endArray();
  out.endObject();
}

// The copy's texture names: found files by their bare name as spelled on disk, the others by the
// bare name the model gives (readers use nothing before the last separator), so no written name
// leads outside the model's folders.
bool writeFixedCopy(const ContentRequest& request, ZCorvane& engine, LoadedModel& model,
                    const std::vector<STextureReport>& reports) {
  std::error_code error;
  if (std::filesystem::equivalent(request.model, request.output, error)) {
    std::fprintf(stderr, "zmftool: %s would overwrite the model\n", request.output.c_str());
    return false;
  }
  for (const STextureReport& r : reports) {
    const std::string& source = r.match == TextureMatch::missing ? r.storedName : r.file;
    r.texture->name = std::string(fileNameOf(source));
    if (r.match == TextureMatch::missing) {
      std::fprintf(stderr, "zmftool: %s stays missing\n", r.storedName.c_str());
    }
  }
  return saveModel(request.output, engine, model);
}

}  // namespace

int checkTextures(const std::vector<std::string>& args) {
  ContentRequest request;
  if (!parseRequest(args, true, request)) {
    std::fputs(kTexturesUsage, stderr);
    return 2;
  }
  ZCorvane engine;
  LoadedModel model;
  if (!loadModel(request.model, engine, 1.0f, false, model)) return 1;
  const std::vector<STextureReport> reports = reportTextures(*model.root);
  const bool ok = std::all_of(reports.begin(), reports.end(), [](const STextureReport& r) {
    return r.match == TextureMatch::exact;
  });
  if (request.json) {
    JsonWriter out(stdout);
    out.beginObject();
    out.field("ok", ok);
    out.key("textures");
    out.beginArray();
    for (const STextureReport& r : reports) writeTextureJson(out, r);
    out.endArray();
    out.endObject();
  } else {
    printTextureTable(reports);
  }
  if (request.fix && !writeFixedCopy(request, engine, model, reports)) return 1;
  return ok ? 0 : 1;
}

int printBudget(const std::vector<std::string>& args) {
  ContentRequest request;
  if (!parseRequest(args, false, request)) {
    std::fputs(kBudgetUsage, stderr);
    return 2;
  }
  ZCorvane engine;
  LoadedModel model;
  if (!loadModel(request.model, engine, 1.0f, false, model)) return 1;
  const std::vector<STextureReport> textures = reportTextures(*model.root);
  const SDrawBudget b = measureDrawBudget(*model.root, textures);
  if (request.json) {
    JsonWriter out(stdout);
    out.beginObject();
    out.field("triangles", int64_t(b.triangles));
    out.field("vertices", int64_t(b.vertices));
    out.field("frames", int64_t(b.frames));
    out.field("geometries", int64_t(b.geometries));
    out.field("draws", int64_t(b.draws()));
    out.field("litDraws", int64_t(b.litDraws));
    out.field("shadowDraws", int64_t(b.shadowDraws));
    out.field("materials", int64_t(b.materials));
    out.field("effects", int64_t(b.effects));
    out.field("textureBytes", int64_t(b.textureBytes));
    out.key("textureBytesByFormat");
    out.beginObject();
    for (const auto& [format, bytes] : b.textureBytesByFormat) out.field(format, int64_t(bytes));
    out.endObject();
    out.key("heaviestGeometries");
    out.beginArray();
    for (const ZGeometry* g : b.heaviestGeometries) {
      out.beginObject();
      out.field("name", g->name);
      out.field("triangles", int64_t(g->faces.size()));
      out.field("vertices", int64_t(g->vertices.size()));
      out.endObject();
    }
    out.endArray();
    out.key("heaviestTextures");
    out.beginArray();
    for (const STextureReport* t : b.heaviestTextures) {
      out.beginObject();
      out.field("name", t->storedName);
      out.field("bytes", int64_t(t->bytes));
      out.endObject();
    }
    out.endArray();
    out.endObject();
    return 0;
  }
  std::printf("triangles   %llu\nvertices    %llu\nframes      %u\ngeometries  %u\n",
              static_cast<unsigned long long>(b.triangles),
              static_cast<unsigned long long>(b.vertices), b.frames, b.geometries);
  std::printf("draws       %llu a frame (%llu lit, %llu in the two shadow passes)\n",
              static_cast<unsigned long long>(b.draws()),
              static_cast<unsigned long long>(b.litDraws),
              static_cast<unsigned long long>(b.shadowDraws));
  std::printf("materials   %u\neffects     %u\n", b.materials, b.effects);
  std::printf("textures    %llu bytes\n", static_cast<unsigned long long>(b.textureBytes));
  for (const auto& [format, bytes] : b.textureBytesByFormat) {
    std::printf("  %-10s %llu bytes\n", format.c_str(), static_cast<unsigned long long>(bytes));
  }
  std::printf("heaviest geometries\n");
  for (const ZGeometry* g : b.heaviestGeometries) {
    std::printf("  %-24s %zu triangles, %zu vertices\n", g->name.c_str(), g->faces.size(),
                g->vertices.size());
  }
  std::printf("heaviest textures\n");
  for (const STextureReport* t : b.heaviestTextures) {
    std::printf("  %-24s %llu bytes\n", t->storedName.c_str(),
                static_cast<unsigned long long>(t->bytes));
  }
  return 0;
}
