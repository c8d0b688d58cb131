#include "formats/ZModelFile.h"

#include "formats/ZAssimpWriter.h"
#include "formats/ZFileZMF.h"
#include "formats/ZGltfWriter.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZFileName.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <cstdio>


namespace {

bool loadZMF(const std::string& path, ZCorvane& engine, float scale, bool mirrorX,
             LoadedModel& model, IZMFListener* listener) {
  ZFileZMF file(&engine);
  file.listener = listener;
  file.scale = {scale, scale, scale};
  file.cameras = &model.cameras;
  file.addTexturePath(folderOf(path) + "/texture");
  file.addTexturePath(folderOf(path));
  if (model.kind == ModelFormat::zmf) {
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
  builder.modelFolder = folderOf(path);
  builder.texturePath = builder.modelFolder + "/texture/";
  bool loaded = false;
  switch (model.kind) {
    case ModelFormat::ase:
      loaded = builder.loadASE(path);
      break;
    case ModelFormat::obj:
      loaded = builder.loadOBJ(path);
      break;
    case ModelFormat::xsi:
      loaded = builder.loadXSI(path, false);
      break;
    case ModelFormat::x:
      loaded = builder.loadX(path);
      break;
    case ModelFormat::gltf:
      loaded = builder.loadGLTF(path);
      break;
    default:
      loaded = builder.loadAssimp(path);
      break;
  }
  if (!loaded) return false;
  model.root = engine.getNewFrame();
  model.root->name = fileNameOf(path);
  builder.attachTo(model.root);
  model.cameras = builder.cameras;
  if (model.kind == ModelFormat::gltf) {
    model.sunPosition = builder.sunPosition;
    model.ambientLight = builder.ambientLight;
    model.sunDiffuse = builder.sunDiffuse;
  }
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

bool loadModel(const std::string& path, ZCorvane& engine, float scale, bool mirror,
               LoadedModel& model, IZMFListener* listener) {
  model.kind = modelFormatOf(path);
  model.format = model.kind == ModelFormat::zmf ? "zmf" : extensionOf(path);
  if (model.kind == ModelFormat::unknown) {
    std::fprintf(stderr, "zmftool: %s: not a model file the tool reads\n", path.c_str());
    return false;
  }
  if (!canOpenForReading(path)) {
    std::fprintf(stderr, "zmftool: cannot read %s\n", path.c_str());
    return false;
  }
  const bool own = model.kind == ModelFormat::zmf || model.kind == ModelFormat::zmt;
  if (!(own ? loadZMF(path, engine, scale, mirror, model, listener)
            : importModel(path, engine, scale, model))) {
    std::fprintf(stderr, "zmftool: %s could not be loaded (run with -v for the reason)\n",
                 path.c_str());
    return false;
  }
  if (mirror && model.kind != ModelFormat::zmf) mirrorX(*model.root);
  return true;
}

bool isExportFormat(const std::string& path) {
  const std::string extension = extensionOf(path);
  return modelFormatOf(path) == ModelFormat::gltf || extension == "obj" || extension == "fbx" ||
         extension == "dae";
}

bool isSavableModel(const std::string& path) {
  const ModelFormat format = modelFormatOf(path);
  return format == ModelFormat::zmf || format == ModelFormat::zmt || isExportFormat(path);
}

bool exportModel(const std::string& path, const LoadedModel& model, bool copyTextures) {
  if (!isExportFormat(path)) return false;
  const std::string extension = extensionOf(path);
  return modelFormatOf(path) == ModelFormat::gltf
             ? writeGLTF(path, model, {extension == "glb", copyTextures})
             : writeWithAssimp(path, extension, model, copyTextures);
}

bool saveModel(const std::string& path, ZCorvane& engine, LoadedModel& model, bool copyTextures) {
  const ModelFormat format = modelFormatOf(path);
  if (!isSavableModel(path)) {
    std::fprintf(stderr, "zmftool: %s: write .zmf, .zmt, .gltf, .glb, .obj, .fbx or .dae\n",
                 path.c_str());
    return false;
  }
  if (isExportFormat(path)) {
    const bool exported = exportModel(path, model, copyTextures);
    if (!exported) std::fprintf(stderr, "zmftool: cannot write %s\n", path.c_str());
    return exported;
  }
  ZFileZMF file(&engine);
  file.sunPosition = model.sunPosition;
  file.ambientLight = model.ambientLight;
  file.sunDiffuse = model.sunDiffuse;
  file.cameras = &model.cameras;
  const bool saved =
      format == ModelFormat::zmf ? file.save(path, model.root) : file.saveText(path, model.root);
  if (!saved) std::fprintf(stderr, "zmftool: cannot write %s\n", path.c_str());
  return saved;
}
