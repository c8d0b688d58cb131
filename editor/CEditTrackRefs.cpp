// Track reference points: their file (pit, box and start positions with their headings, and the
// pit board) and their placement from marker meshes of the loaded model.
#include "editor/CEditInterface.h"

#include "editor/CTextFileWriter.h"
#include "editor/IEditShell.h"
#include "foundation/NBINIReader.h"
#include "foundation/ZLog.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kKinds[] = {"PIT", "BOX", "START"};

// The marker names of a kind: the point's marker and its target marker, as "INV_<x>_" and
// "INV_TARGET<x>_" followed by the number.
struct MarkerNames {
  const char* kind;
  const char* marker;
};
constexpr MarkerNames kMarkers[] = {{"PIT", "PIT"}, {"BOX", "BOX"}, {"START", "GRID"}};

}  // namespace

void CEditInterface::selectReference(const std::string& name) {
  if (!hasPhysicRef(name)) return;
  std::snprintf(selectedRef, sizeof selectedRef, "%s", name.c_str());
}

void CEditInterface::setTrackReference(const std::string& name, const ZVector& position,
                                       float heading) {
  const auto step = edit("Set " + name);
  if (!hasPhysicRef(name)) return;
  history.recordValue(physicRefs);
  SPhysicRef& ref = getPhysicRef(name);
  ref.x = position.x;
  ref.y = position.y;
  ref.z = position.z;
  if (hasPhysicRef(name + "d")) getPhysicRef(name + "d").x = heading;
}

void CEditInterface::exportPhysicRefsTR(const std::string& fileName) {
  zlog("exporting to %s\n", fileName.c_str());
  CTextFileWriter file(fileName);
  if (!file.isOpen()) {
    zlog("cannot create %s\n", fileName.c_str());
    return;
  }
  const auto section = [&](const std::string& header, const std::string& point) {
    const ZVector p = getPhysicRefPos(point);
    const ZVector r = getPhysicRefPos(point + "d");
    file.print("\n[%s]\n", header.c_str());
    file.print("POS=%f, %f, %f\n", double(p.x), double(p.y), double(p.z));
    file.print("ROT=%f, %f, %f\n", double(r.x), double(r.y), double(r.z));
  };
  file.print("[HEADER]\n");
  file.print("VERSION=22\n");
  for (int i = 1; i <= 16; ++i) {
    for (const char* kind : kKinds) {
      section(kind + std::to_string(i), "PZTR_" + std::string(kind) + std::to_string(i));
    }
  }
  section("PITBOARD", "PZTR_BOARD");
  if (!file.commit()) zlog("cannot write %s\n", fileName.c_str());
}

void CEditInterface::importPhysicRefsTR(const std::string& fileName) {
  const auto step = edit("Import track references");
  zlog("loading %s\n", fileName.c_str());
  NBINIReader ini;
  ini.load(fileName, false);
  if (!ini.loaded) {
    zlog("cannot read %s: the track references stay as they are\n", fileName.c_str());
    return;
  }
  history.recordValue(physicRefs);
  const auto read = [&](const std::string& section, const std::string& point, bool print) {
    SPhysicRef& position = getPhysicRef(point);
    ini.getVector3(section, "POS", position.x, position.y, position.z);
    if (print) position.position().print("BOX");
    SPhysicRef& heading = getPhysicRef(point + "d");
    ini.getVector3(section, "ROT", heading.x, heading.y, heading.z);
  };
  for (int i = 1; i <= 16; ++i) {
    for (const char* kind : kKinds) {
      read(kind + std::to_string(i), "PZTR_" + std::string(kind) + std::to_string(i),
           std::string(kind) == "BOX");
    }
  }
  read("PITBOARD", "PZTR_BOARD", false);
}

void CEditInterface::genRefsFrom3D(const std::string&) {
  const auto step = edit("References from the model");
  if (rootFrame == nullptr) {
    zlog("genRefsFrom3D: no model loaded\n");
    return;
  }
  history.recordValue(physicRefs);
  for (int i = 1; i <= 16; ++i) {
    const std::string number = std::to_string(i);
    for (const MarkerNames& names : kMarkers) {
      const ZGeometry* marker =
          rootFrame->getGeometry("INV_" + std::string(names.marker) + "_" + number, true);
      const ZGeometry* target =
          rootFrame->getGeometry("INV_TARGET" + std::string(names.marker) + "_" + number, true);
      if (marker == nullptr || target == nullptr) continue;
      const std::string point = "PZTR_" + std::string(names.kind) + number;
      SPhysicRef& ref = getPhysicRef(point);
      ref.x = marker->center.x;
      ref.y = marker->center.y;
      ref.z = marker->center.z;
      if (shell != nullptr) shell->refChanged(point);
      ZVector direction = target->center - marker->center;
      direction.y = 0;
      direction.normalize();
      getPhysicRef(point + "d").x = -direction.signedAngle(ZVector(0, 0, 1)) * 57.29578f;
      if (shell != nullptr) shell->refChanged(point + "d");
    }
  }
}
