// The track cameras: their file, the PZC file, and the camera panel's operations.
#include "editor/CEditInterface.h"

#include "editor/CTextFileWriter.h"
#include "editor/IniText.h"
#include "foundation/NBINIReader.h"
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"

#include <cstdio>


void CEditInterface::exportCameras(const std::string& fileName) {
  CTextFileWriter file(fileName);
  if (!file.isOpen()) {
    zlog("cannot create %s\n", fileName.c_str());
    return;
  }
  file.print("[HEADER]\n");
  file.print("VERSION=1\n");
  file.print("COUNT=%d\n", int(cameraList.size()));
  for (size_t i = 0; i < cameraList.size(); ++i) {
    const ZCamera& c = *cameraList[i];
    file.print("\n[CAMERA%d]\n", int(i));
    file.print("POSITION=%f,%f,%f\n", double(c.position.x), double(c.position.y),
               double(c.position.z));
    file.print("HEADING=%f,%f,%f\n", double(c.heading.x), double(c.heading.y),
               double(c.heading.z));
    file.print("FOV=%f\n", double(c.fov));
    file.print("MAXFOV=%f\n", double(c.maxFov));
    file.print("MINFOV=%f\n", double(c.minFov));
    file.print("MAXDIST=%f\n", double(c.maxDist));
    file.print("FIXED=%d\n", c.fixed ? 1 : 0);
    file.print("TAG=%d\n", int(c.tag));
    file.print("NAME=%s", c.name.c_str());
  }
  if (!file.commit()) zlog("cannot write %s\n", fileName.c_str());
}

void CEditInterface::importCameras(const std::string& fileName) {
  const auto step = edit("Import cameras");
  NBINIReader ini;
  ini.load(fileName, false);
  if (!ini.loaded) {
    zlog("cannot read %s: the cameras stay as they are\n", fileName.c_str());
    return;
  }
  history.recordValue(cameraList);
  cameraList.clear();
  const int announced = ini.getInt("HEADER", "COUNT");
  zlog("loading %d cameras\n", announced);
  const int count = heldCount(announced, ini.text, "[CAMERA", fileName);
  for (int i = 0; i < count; ++i) {
    const std::string section = "CAMERA" + std::to_string(i);
    ZCamera* camera = renderer->getNewCamera();
    ini.getVector3(section, "POSITION", camera->position.x, camera->position.y,
                   camera->position.z);
    ini.getVector3(section, "HEADING", camera->heading.x, camera->heading.y, camera->heading.z);
    camera->fov = ini.getFloat(section, "FOV");
    camera->maxFov = ini.getFloat(section, "MAXFOV");
    camera->minFov = ini.getFloat(section, "MINFOV");
    camera->maxDist = ini.getFloat(section, "MAXDIST");
    camera->fixed = ini.getInt(section, "FIXED") != 0;
    camera->tag = ini.getInt(section, "TAG");
    camera->name = lineValue(ini.getString(section, "NAME"));
    cameraList.push_back(camera);
  }
}

void CEditInterface::importPZC(const std::string& fileName) {
  const auto step = edit("Import cameras");
  history.recordValue(cameraList);
  ZINIReader ini;
  ini.load(fileName);
  const int announced = ini.getInt("HEADER", "CAMERAS");
  zlog("loading %d cameras\n", announced);
  const int count = heldCount(announced, ini.text, "[CAMERA", fileName);
  for (int j = 1; j <= count; ++j) {
    const std::string section = "CAMERA" + std::to_string(j);
    ZCamera* camera = renderer->getNewCamera();
    camera->position = {ini.getFloat(section, "PX"), ini.getFloat(section, "PY"),
                        ini.getFloat(section, "PZ")};
    camera->tag = ini.getInt(section, "TARGET");
    camera->fov = 20.0f;
    camera->nearPlane = 1.0f;
    camera->farPlane = 600.0f;
    camera->name = lineValue(ini.getString(section, "NAME"));
    cameraList.push_back(camera);
  }
}

ZCamera* CEditInterface::newTrackCamera() {
  const auto step = edit("New camera");
  history.recordValue(cameraList);
  ZCamera* camera = renderer->getNewCamera();
  char name[32];
  std::snprintf(name, sizeof name, "NCAMERA%d", int(cameraList.size()));
  camera->name = name;
  cameraList.push_back(camera);
  return camera;
}

ZCamera* CEditInterface::trackCamera(int index) const {
  return index >= 0 && size_t(index) < cameraList.size() ? cameraList[size_t(index)] : nullptr;
}

ZCamera* CEditInterface::viewFromTrackCamera(int index) {
  ZCamera* camera = trackCamera(index);
  if (camera == nullptr) return nullptr;
  editorCamera->position = camera->position;
  editorCamera->heading = camera->heading;
  editorCamera->up = camera->up;
  editorCamera->apply();
  return camera;
}

void CEditInterface::setTrackCamera(int index, int tag, int minFov, int maxFov, bool fixed) {
  const auto step = edit("Set camera");
  ZCamera* camera = trackCamera(index);
  if (camera == nullptr) return;
  history.recordCamera(camera);
  copyEditorView(*camera);
  camera->tag = tag;
  camera->minFov = float(minFov);
  camera->maxFov = float(maxFov);
  camera->fixed = fixed;
}

void CEditInterface::copyEditorView(ZCamera& camera) const {
  camera.position = editorCamera->position;
  camera.heading = editorCamera->heading;
  camera.up = editorCamera->up;
}

void CEditInterface::testTrackCameraFov(int index, bool widest) {
  const ZCamera* camera = trackCamera(index);
  if (camera == nullptr) return;
  editorCamera->fov = widest ? camera->maxFov : camera->minFov;
  editorCamera->apply();
}

void CEditInterface::deleteTrackCamera(int index) {
  const auto step = edit("Delete camera");
  ZCamera* camera = trackCamera(index);
  if (camera == nullptr) return;
  // Only taken off the list: the renderer keeps it until the model is closed, for undo.
  history.recordValue(cameraList);
  cameraList.erase(cameraList.begin() + index);
  if (renderer->currentCamera == camera) renderer->currentCamera = nullptr;
}
