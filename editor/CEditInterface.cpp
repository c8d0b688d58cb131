#include "editor/CEditInterface.h"

#include "formats/ZFileZMF.h"
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"
#include "render/CHDRLighting.h"
#include "render/ZCorvane.h"
#include "render/ZCubeTexture.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "track/CTerrainFrame.h"
#include "track/CTrackBuilder.h"

#include <cstdio>

CEditInterface::CEditInterface(const std::string& logFileName)
    : terrain(std::make_unique<CTerrainFrame>()) {
  renderer = new ZCorvane();
  editorCamera = std::make_unique<ZCamera>(renderer);
  hdr = std::make_unique<CHDRLighting>();
  beforeModel = renderer->markObjects();
  if (!logFileName.empty()) log.init(logFileName);
}

CEditInterface::~CEditInterface() {
  renderer->environmentMap.reset();
  // The renderer outlives the scene objects it owns, which the lists above only borrow. Unlike the
  // run it stands for, a test or tool makes several cores: each takes its renderer with it.
  editorCamera.reset();
  hdr.reset();  // its targets and effect material belong to the renderer's device
  delete renderer;
}

void CEditInterface::readDisplaySize(int32_t& width, int32_t& height) {
  width = 1024;
  height = 768;
  ZINIReader settings;
  settings.load("zmfedit.ini");
  if (settings.loaded) {
    width = settings.getInt("DISPLAY", "WIDTH");
    height = settings.getInt("DISPLAY", "HEIGHT");
  }
}

void CEditInterface::init() {
  zlog("****************************************\n");
  zlog("* ZMF Edit\n");
  zlog("* version 0.0.1\n");
  zlog("****************************************\n");
  renderer->windowHandle = windowHandle;
  renderer->fullscreen = false;
  renderer->refreshRate = 60;
  readDisplaySize(renderer->width, renderer->height);
  history.setMemoryLimit(readUndoMemoryLimit());
  if (!renderer->init(windowHandle, 0)) {
    MessageBoxA(nullptr, "Error creating ZCorvane", "ZMFEdit2", MB_OK);
  }
  zlog("corvane->device=%d\n", int(reinterpret_cast<intptr_t>(renderer->device)));
  zlogFlush();
  viewWidth = renderer->width;
  viewHeight = renderer->height;

  editorCamera->fov = 65.0f;
  editorCamera->farPlane = 2000.0f;
  editorCamera->nearPlane = 0.1f;
  editorCamera->aspect = viewHeight != 0 ? float(viewWidth / viewHeight) : 1.0f;

  ZLight* sun = renderer->getNewLight();
  ZVector direction(0.9f, -0.6f, 0.5f);
  direction.normalize();
  sun->setDirection(direction);
  sun->setDiffuse(1, 1, 1);
  renderer->addLight(sun);
  renderer->setAmbientLight(0.5f, 0.5f, 0.5f);

  textOut.init(renderer, 16);
  renderer->initShadowMaps(1024, 1024);
  renderer->environmentMap = std::make_unique<ZCubeTexture>(renderer);
  renderer->environmentMap->load("texture/cube.dds");

  ZINIReader graphics;
  graphics.load("cfg/pzpro.ini");
  renderer->setMipMapBias(graphics.getFloat("GRAPHICS", "MIPMAPBIAS"));

  initPhysicRefs();

  refMaterial = renderer->getNewMaterial();
  refMaterial->setDoubleFace(true);
  refMaterial->setTexture(renderer->getTexture("texture/tabella.tga"));
  refMaterial->alphaTest = true;
  refMaterial->alphaRef = 128;
  refMaterial->setShadeModel(3);

  ZFileZMF flagReader(renderer);
  flagReader.addTexturePath("flags/texture");
  flagModel = renderer->getNewFrame();
  flagReader.load("flags/flag.pzo", flagModel, false);
  flagModel->compile();
  flagModel->initRadius();
  renderer->finaliseVertexBuffers(false);
  beforeModel = renderer->markObjects();
}
