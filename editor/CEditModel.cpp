// Loading and saving the session's model: the engine's own files, the imported formats, and the
// steps every load ends with.
#include "editor/CEditInterface.h"

#include "editor/IEditShell.h"
#include "editor/ModelPaths.h"
#include "formats/ZModelFile.h"
#include "formats/ZModelFormat.h"
#include "formats/ZObjectBuilder.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZBounds.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "track/CTrackBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>


void CEditInterface::onZMFProgress(const std::string&, int32_t percent) {
  if (shell != nullptr) shell->setProgress(percent);
}

void CEditInterface::logFrameRadius() const {
  ZBounds bounds;
  bounds.addTree(*rootFrame);
  zlog("frame radius=%f\n", double(bounds.reachFrom(rootFrame->getWorldPosition())));
}

void CEditInterface::finishLoad() {
  rootFrame->compile();
  renderer->finaliseVertexBuffers(false);
  rootFrame->initRadius();
  logFrameRadius();
  editorCamera->move(0, 0, -20);
  editorCamera->setFrameTarget(rootFrame);
  history.clear();  // a load is not a step
}

void CEditInterface::applyFileLighting(const ZFileZMF& file) {
  if (file.sunPosition.x == 0 && file.sunPosition.y == 0 && file.sunPosition.z == 0) return;
  if (renderer->activeLights.empty()) return;
  ZLight* sun = renderer->activeLights[0];
  sun->setDirection(file.sunPosition);
  renderer->setAmbientLight(file.ambientLight.x, file.ambientLight.y, file.ambientLight.z);
  sun->setDiffuse(file.sunDiffuse.x, file.sunDiffuse.y, file.sunDiffuse.z);
  sun->setSpecular(file.sunDiffuse.x, file.sunDiffuse.y, file.sunDiffuse.z);
}

void CEditInterface::loadZMT(const std::string& fileName) {
  loadEngineFile(fileName, false, false);
}

void CEditInterface::loadZMF(const std::string& fileName, bool collapse) {
  loadEngineFile(fileName, true, collapse);
}

void CEditInterface::loadEngineFile(const std::string& fileName, bool binary, bool collapse) {
  const std::string textureFolder = textureFolderOf(fileName);
  if (binary) {
    zlog("load ZMF %s\n", fileName.c_str());
  } else {
    zlog("load ZMT %s\n", fileName.c_str());
    zlog("load ZMT %s %s\n", fileName.c_str(), textureFolder.c_str());
  }
  if (rootFrame == nullptr) {
    rootFrame = renderer->getNewFrame();
    ZFileZMF reader(renderer);
    reader.listener = this;
    reader.scale = importScale;
    reader.cameras = &cameraList;
    reader.addTexturePath("texture");
    if (!textureFolder.empty()) reader.addTexturePath(textureFolder);
    reader.addTexturePath(folderOf(fileName));  // where other tools leave a model's pictures
    if (binary) {
      reader.load(fileName, rootFrame, false);
    } else {
      reader.loadText(fileName, rootFrame);
    }
    if (collapse) {
      rootFrame->collapseMoveable(nullptr);
      rootFrame->sortGeometries();
    }
    rootFrame->compile();
    rootFrame->initRadius();
    initSkybox();
    renderer->finaliseVertexBuffers(false);
    logFrameRadius();
    editorCamera->move(0, 0, -20);
    editorCamera->setFrameTarget(rootFrame);
    applyFileLighting(reader);
    history.clear();
  }
  if (shell != nullptr) shell->updateTree();
}

void CEditInterface::loadASE(const std::string& fileName, float scale, bool, bool lightmaps) {
  zlog("load ASE %s\n", fileName.c_str());
  const auto [folder, base] = splitModelName(fileName);
  zlog("load ASE2 %s %s\n", base.c_str(), folder.c_str());
  if (rootFrame != nullptr) return;

  rootFrame = renderer->getNewFrame();
  ZObjectBuilder builder(renderer);
  builder.setModelPath(folder.empty() ? "." : folder);
  builder.useHierarchy = true;
  builder.scale = scale;
  onZMFProgress(fileName, 0);
  if (ZFrame* model = builder.load3DObject(base)) rootFrame->addChild(model);
  onZMFProgress(fileName, 100);
  renderer->shadowDirectoryList.reset();
  renderer->shadowDirectoryList.addDirectory(folder + "/shadows/");
  if (lightmaps) rootFrame->loadLightmaps();
  zlog("compiling\n");
  rootFrame->compile();
  zlog("finalizing\n");
  finishLoad();
  for (ZCamera* camera : builder.cameras) {
    const std::string& name = camera->name;
    camera->tag = std::atoi(name.substr(name.size() >= 2 ? name.size() - 2 : 0).c_str());
    cameraList.push_back(camera);
  }
  initSkybox();
  history.clear();
}

void CEditInterface::loadOBJ(const std::string& fileName, float) {
  zlog("load OBJ %s\n", fileName.c_str());
  const auto [folder, base] = splitModelName(fileName);
  zlog("load ASE2 %s %s\n", base.c_str(), folder.c_str());
  if (rootFrame != nullptr) return;
  ZObjectBuilder builder(renderer);
  builder.setModelPath(folder);
  importModel(builder, fileName, [&] { return builder.loadOBJ(fileName); });
}

void CEditInterface::importModel(ZObjectBuilder& builder, const std::string& fileName,
                                 const std::function<bool()>& load) {
  rootFrame = renderer->getNewFrame();
  onZMFProgress(fileName, 0);
  if (load()) builder.attachTo(rootFrame);
  onZMFProgress(fileName, 100);
  finishLoad();
  cameraList.insert(cameraList.end(), builder.cameras.begin(), builder.cameras.end());
}

void CEditInterface::importForeign(const std::string& fileName, float scale,
                                   const std::function<bool(ZObjectBuilder&)>& load) {
  if (rootFrame != nullptr) {
    if (shell != nullptr) shell->updateTree();
    return;
  }
  ZObjectBuilder builder(renderer);
  builder.scale = scale;
  builder.setModelPath(folderOf(fileName));
  importModel(builder, fileName, [&] { return load(builder); });
  initSkybox();
  if (shell != nullptr) shell->updateTree();
}

void CEditInterface::loadXSI(const std::string& fileName, float scale, bool multi) {
  zlog("load XSI %s\n", fileName.c_str());
  importForeign(fileName, scale,
                [&](ZObjectBuilder& builder) { return builder.loadXSI(fileName, multi); });
}

void CEditInterface::loadFBX(const std::string& fileName, float scale) {
  zlog("load FBX %s\n", fileName.c_str());
  const ModelFormat format = modelFormatOf(fileName);
  importForeign(fileName, scale, [&](ZObjectBuilder& builder) {
    if (format == ModelFormat::gltf) return builder.loadGLTF(fileName);
    if (format == ModelFormat::x) return builder.loadX(fileName);
    return builder.loadAssimp(fileName);
  });
}

bool CEditInterface::openModel(const std::string& fileName) {
  const float scale = importScale.x;
  switch (modelFormatOf(fileName)) {
    case ModelFormat::zmt:
      loadZMT(fileName);
      return true;
    case ModelFormat::zmf:
      loadZMF(fileName, false);
      return true;
    case ModelFormat::ase:
      loadASE(fileName, 1.0f, false, false);
      break;
    case ModelFormat::obj:
      loadOBJ(fileName, 1.0f);
      break;
    case ModelFormat::xsi:
      loadXSI(fileName, scale, false);
      return true;
    case ModelFormat::x:
    case ModelFormat::gltf:
    case ModelFormat::assimp:
      loadFBX(fileName, scale);
      return true;
    case ModelFormat::unknown:
      zlog("%s: not a model file the editor reads\n", fileName.c_str());
      return false;
  }
  // ASE and OBJ leave the tree to the caller, as the shell's Open refreshes it after any load.
  if (shell != nullptr) shell->updateTree();
  return true;
}

void CEditInterface::closeModel() {
  if (carTestRunning) switchCarTest();
  endDrag();
  history.clear();
  wheels = {};
  suspensions = {};
  steer = nullptr;
  trackBuilder = nullptr;
  stageBuilders.clear();
  cameraList.clear();
  flagDefs.clear();
  physicRefs.clear();
  initPhysicRefs();
  std::strcpy(selectedRef, "-");
  // Made on first use, perhaps after start-up: made again when next needed.
  thumbnailMaterial = nullptr;
  diagramMaterial = nullptr;
  handles.forget();
  rootFrame = nullptr;
  editorCamera->setFrameTarget(nullptr);  // it may look at a frame of the model
  renderer->releaseObjectsSince(beforeModel);
  zlog("model closed\n");
  if (shell != nullptr) shell->updateTree();
}

bool CEditInterface::saveZMF(const std::string& fileName) { return saveModel(fileName, true); }

bool CEditInterface::saveZMT(const std::string& fileName) { return saveModel(fileName, false); }

bool CEditInterface::saveModel(const std::string& fileName, bool binary) {
  return writeModel(fileName, [&](LoadedModel& model) {
    ZFileZMF writer(renderer);
    writer.cameras = &model.cameras;
    writer.sunPosition = model.sunPosition;
    writer.sunDiffuse = model.sunDiffuse;
    writer.ambientLight = model.ambientLight;
    return binary ? writer.save(fileName, rootFrame) : writer.saveText(fileName, rootFrame);
  });
}

bool CEditInterface::exportModel(const std::string& fileName, bool copyTextures) {
  if (!isExportFormat(fileName)) {
    zlog("%s: not a format the editor exports\n", fileName.c_str());
    return false;
  }
  return writeModel(fileName, [&](LoadedModel& model) {
    return ::exportModel(fileName, model, copyTextures);
  });
}

bool CEditInterface::writeModel(const std::string& fileName,
                                const std::function<bool(LoadedModel&)>& write) {
  if (carTestRunning) switchCarTest();
  if (rootFrame == nullptr) {
    zlog("no model loaded: %s not written\n", fileName.c_str());
    return false;
  }
  // The sky travels in the file as root meshes named "SKYBOX", which a load moves back into the
  // sky box; the session's own meshes keep their names.
  std::vector<ZGeometry*> sky;
  std::vector<std::string> skyNames;
  if (renderer->backBox != nullptr) {
    sky = renderer->backBox->geometries;
    for (ZGeometry* g : sky) {
      skyNames.push_back(g->name);
      g->name = "SKYBOX";
      rootFrame->geometries.push_back(g);
    }
  }
  LoadedModel model;
  model.root = rootFrame;
  model.cameras = cameraList;
  if (!renderer->activeLights.empty()) {
    const ZLight* sun = renderer->activeLights[0];
    model.sunPosition = sun->getDirection();
    model.sunDiffuse = {sun->light.Diffuse.r, sun->light.Diffuse.g, sun->light.Diffuse.b};
  }
  model.ambientLight = {renderer->ambientColour[0], renderer->ambientColour[1],
                        renderer->ambientColour[2]};
  const bool written = write(model);
  rootFrame->geometries.resize(rootFrame->geometries.size() - sky.size());
  for (size_t i = 0; i < sky.size(); ++i) sky[i]->name = skyNames[i];
  return written;
}
