// The sky box taken from a loaded model, the flags drawn with the flag model, generated stages
// and the map of the attached track builder.
#include "editor/CEditInterface.h"

#include "editor/IEditShell.h"
#include "editor/ModelPaths.h"
#include "formats/ZFileZMF.h"
#include "foundation/ZLog.h"
#include "foundation/cvMath.h"
#include "render/ZCorvane.h"
#include "render/ZGLRenderer.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "track/CTrackBuilder.h"

#include <algorithm>
#include <cmath>

namespace {

bool isSkyName(const std::string& name) {
  return name.find("SKYBOX") != std::string::npos || name.find("skybox") != std::string::npos ||
         name.find("Skybox") != std::string::npos;
}

}  // namespace

void CEditInterface::initSkybox() {
  const auto step = edit("Sky box from the model");
  if (rootFrame == nullptr) return;
  std::vector<ZGeometry*> sky;
  for (ZGeometry* g : rootFrame->geometries) {
    if (!isSkyName(g->name)) continue;
    zlog("adding to skybox\n");
    sky.push_back(g);
  }
  if (sky.empty()) return;
  history.recordValue(renderer->backBox);
  history.recordFrame(rootFrame);
  for (ZGeometry* g : sky) history.recordMaterial(g->material);
  renderer->backBox = renderer->getNewFrame();
  for (ZGeometry* g : sky) {
    if (g->material != nullptr) g->material->forceNoDepthWrite = true;
    renderer->backBox->addGeometry(g);
    rootFrame->removeGeometry(g);
  }
  renderer->backBox->compile();
}

void CEditInterface::loadSkybox(const std::string& fileName) { loadSkyboxFile(fileName, true); }

void CEditInterface::loadSkyboxFile(const std::string& fileName, bool dataTextures) {
  const auto step = edit("Load sky box");
  history.recordValue(renderer->backBox);
  ZFileZMF reader(renderer);
  if (dataTextures) reader.addTexturePath("texture");
  const std::string textureFolder = textureFolderOf(fileName);
  if (!textureFolder.empty()) reader.addTexturePath(textureFolder);
  zlog("Loading %s (%s)\n", fileName.c_str(), textureFolder.c_str());
  renderer->backBox = renderer->getNewFrame();
  reader.load(fileName, renderer->backBox, false);
  renderer->backBox->compile();
  renderer->finaliseVertexBuffers(false);
}

void CEditInterface::moveSkybox(bool) {
  const auto step = edit("Sky box into the model");
  if (renderer->backBox == nullptr) return;
  if (rootFrame == nullptr) {
    zlog("moveSkybox: no model loaded\n");
    return;
  }
  history.recordValue(renderer->backBox);
  history.recordFrame(rootFrame);
  for (ZGeometry* g : renderer->backBox->geometries) rootFrame->addGeometry(g);
  renderer->backBox = nullptr;
}

void CEditInterface::genFlagsFrom3D() {
  const auto step = edit("Flags from the model");
  if (rootFrame == nullptr) {
    zlog("genFlagsFrom3D: no model loaded\n");
    return;
  }
  history.recordValue(flagDefs);
  int32_t guid = 0;
  for (const ZGeometry* g : rootFrame->geometries) {
    if (g->name.find("INV_FLAG") == std::string::npos) continue;
    SZMFFlagDef flag;
    flag.x = g->center.x;
    flag.y = g->center.y;
    flag.z = g->center.z;
    flag.guid = guid++;
    flagDefs.push_back(flag);
  }
}

void CEditInterface::renderFlags() {
  if (flagModel == nullptr) return;
  for (const SZMFFlagDef& flag : flagDefs) {
    flagModel->move(flag.x, flag.y, flag.z);
    flagModel->render(true, -1, 0);
  }
}

void CEditInterface::renderTrackDiagram() {
  ZMaterial& lineMaterial = *overlayMaterial(diagramMaterial);
  lineMaterial.useZBuffer = false;
  lineMaterial.setDiffuse(1, 1, 0, false);
  lineMaterial.apply();
  ZGLRenderer draw(renderer);
  draw.color3f(1, 1, 0);
  draw.begin(ZGLRenderer::kLineStrip);
  float largest = 0;
  for (const SSectorInfo& sector : trackBuilder->sectors) {
    const ZVector centre = sector.midpoint();
    draw.vertex2f(-centre.x * diagramScale, centre.z * diagramScale);
    largest = std::max({largest, std::fabs(centre.x), std::fabs(centre.z)});
  }
  draw.end();
  renderer->setDefaultMaterial();
  if (largest > 0) diagramScale = 0.9f / largest;
}

CTrackBuilder* CEditInterface::generateStage(unsigned seed, float length,
                                             const std::string& notesPath) {
  const auto step = edit("Generate stage");
  const bool newModel = rootFrame == nullptr;
  if (newModel) {
    rootFrame = renderer->getNewFrame();
    rootFrame->name = "stage";
  } else {
    history.recordFrame(rootFrame);
    history.recordValue(cameraList);
    history.recordValue(trackBuilder);
  }
  ZFrame* stage = renderer->getNewFrame();
  stage->name = "STAGE";
  cvSeed(seed);
  auto builder = std::make_unique<CTrackBuilder>(stage);
  builder->listener = this;
  builder->notesPath = notesPath;
  builder->init(length);
  builder->build();
  zlog("stage of seed %u: %zu sectors\n", seed, builder->sectors.size());
  rootFrame->addChild(stage);
  cameraList.insert(cameraList.end(), builder->cameras.begin(), builder->cameras.end());
  trackBuilder = stageBuilders.emplace_back(std::move(builder)).get();
  if (newModel) {
    finishLoad();  // a new model, as if loaded: no step to undo
  } else {
    stage->compile();
    renderer->finaliseVertexBuffers(false);
    rootFrame->initRadius();
  }
  if (shell != nullptr) shell->updateTree();
  return trackBuilder;
}
