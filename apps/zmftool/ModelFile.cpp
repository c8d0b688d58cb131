#include "apps/zmftool/ModelFile.h"

#include "formats/ZFileZMF.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZFileName.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include <unistd.h>

namespace {

// A progress line on standard error, redrawn in place, for loads a user watches in a terminal.
class ProgressBar : public IZMFListener {
 public:
  ~ProgressBar() override {
    if (shown) std::fputc('\n', stderr);
  }
  void onZMFProgress(const std::string& message, int32_t percent) override {
    const int filled = std::clamp(int(percent), 0, 100) / 5;
    std::fprintf(stderr, "\r[%-20s] %3d%% %-40.40s", std::string(size_t(filled), '#').c_str(),
                 int(percent), message.c_str());
    shown = true;
  }

 private:
  bool shown = false;
};

bool loadZMF(const std::string& path, ZCorvane& engine, float scale, bool mirrorX,
             LoadedModel& model) {
  ZFileZMF file(&engine);
  ProgressBar bar;
  if (isatty(fileno(stderr))) file.listener = &bar;
  file.scale = {scale, scale, scale};
  file.cameras = &model.cameras;
  file.addTexturePath(folderOf(path) + "/texture");
  file.addTexturePath(folderOf(path));
  if (model.format == "zmf") {
    model.root = file.load(path, nullptr, mirrorX);
  } else {
    model.root = engine.getNewFrame();
    if (!file.loadText(path, model.root)) model.root = nullptr;
  }
  model.sunPosition = file.sunPosition;
  model.ambientLight = file.ambientLight;
  model.sunDiffuse = file.sunDiffuse;
  return model.root != nullptr;
}

bool importModel(const std::string& path, ZCorvane& engine, float scale, LoadedModel& model) {
  ZObjectBuilder builder(&engine);
  builder.scale = scale;
  builder.texturePath = folderOf(path) + "/texture/";
  bool loaded = false;
  if (model.format == "ase") {
    loaded = builder.loadASE(path);
  } else if (model.format == "obj") {
    loaded = builder.loadOBJ(path);
  } else if (model.format == "xsi") {
    loaded = builder.loadXSI(path, false);
  } else {
    loaded = builder.loadX(path);
  }
  if (!loaded) return false;
  model.root = engine.getNewFrame();
  model.root->name = fileNameOf(path);
  builder.attachTo(model.root);
  model.cameras = builder.cameras;
  return true;
}

// The ZMF loader's mirror for files read any other way: x of positions and vectors and channel-0
// u negated, faces rewound; frame transforms are left as they are.
void mirrorX(ZFrame& frame) {
  for (ZGeometry* g : frame.geometries) {
    for (SVertex& v : g->vertices) {
      for (ZVector* p : {&v.position, &v.normal, &v.tangent, &v.binormal}) p->x = -p->x;
      v.t0[0] = -v.t0[0];
    }
    g->flipFaces();
    g->computeBoundingBox();
    g->initRadius();
  }
  for (ZFrame* child : frame.children) mirrorX(*child);
}

}  // namespace

std::string extensionOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension;
}

bool canReadModel(const std::string& path) {
  const std::string e = extensionOf(path);
  return e == "zmf" || e == "pzo" || e == "zmt" || e == "ase" || e == "obj" || e == "xsi" ||
         e == "x";
}

bool loadModel(const std::string& path, ZCorvane& engine, float scale, bool mirror,
               LoadedModel& model) {
  model.format = extensionOf(path) == "pzo" ? "zmf" : extensionOf(path);  // .pzo: ZMF inside
  if (!canReadModel(path)) {
    std::fprintf(stderr, "zmftool: %s: not a model file the tool reads\n", path.c_str());
    return false;
  }
  if (!canOpenForReading(path)) {
    std::fprintf(stderr, "zmftool: cannot read %s\n", path.c_str());
    return false;
  }
  const bool own = model.format == "zmf" || model.format == "zmt";
  if (!(own ? loadZMF(path, engine, scale, mirror, model)
            : importModel(path, engine, scale, model))) {
    std::fprintf(stderr, "zmftool: %s could not be loaded (run with -v for the reason)\n",
                 path.c_str());
    return false;
  }
  if (mirror && model.format != "zmf") mirrorX(*model.root);
  return true;
}

bool saveModel(const std::string& path, ZCorvane& engine, LoadedModel& model) {
  const std::string format = extensionOf(path);
  if (format != "zmf" && format != "zmt") {
    std::fprintf(stderr, "zmftool: %s: write .zmf or .zmt\n", path.c_str());
    return false;
  }
  ZFileZMF file(&engine);
  file.sunPosition = model.sunPosition;
  file.ambientLight = model.ambientLight;
  file.sunDiffuse = model.sunDiffuse;
  file.cameras = &model.cameras;
  const bool saved =
      format == "zmf" ? file.save(path, model.root) : file.saveText(path, model.root);
  if (!saved) std::fprintf(stderr, "zmftool: cannot write %s\n", path.c_str());
  return saved;
}
