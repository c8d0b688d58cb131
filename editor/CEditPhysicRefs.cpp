// Reference points: the fixed table, lookups, the dummies file, their drawing, and the checks of
// the names a car, its interior and a tyre must carry.
#include "editor/CEditInterface.h"

#include "editor/CTextFileWriter.h"
#include "editor/IniText.h"
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZGLRenderer.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kCheckCaption = "ZMF EDIT";

SPhysicRef makeRef(const std::string& name, const ZVector& position = ZVector()) {
  SPhysicRef ref;
  std::snprintf(ref.name, sizeof ref.name, "%s", name.c_str());
  ref.x = position.x;
  ref.y = position.y;
  ref.z = position.z;
  return ref;
}

// The names of the physics points, in table order.
constexpr const char* kPhysicsNames[] = {
    "PZPH_SUS_FRONT_CAR_UP_1",  "PZPH_SUS_FRONT_CAR_UP_2",   "PZPH_SUS_FRONT_CAR_DOWN_1",
    "PZPH_SUS_FRONT_CAR_DOWN_2", "PZPH_SUS_FRONT_TIRE_UP_1", "PZPH_SUS_FRONT_TIRE_UP_2",
    "PZPH_SUS_FRONT_TIRE_DOWN_1", "PZPH_SUS_FRONT_TIRE_DOWN_2", "PZPH_SUS_REAR_CAR_UP_1",
    "PZPH_SUS_REAR_CAR_UP_2",   "PZPH_SUS_REAR_CAR_DOWN_1",  "PZPH_SUS_REAR_CAR_DOWN_2",
    "PZPH_SUS_REAR_TIRE_UP_1",  "PZPH_SUS_REAR_TIRE_UP_2",   "PZPH_SUS_REAR_TIRE_DOWN_1",
    "PZPH_SUS_REAR_TIRE_DOWN_2", "PZPH_SUS_FRONT_CAR_ROD",   "PZPH_SUS_FRONT_TIRE_ROD",
    "PZPH_SUS_REAR_CAR_ROD",    "PZPH_SUS_REAR_TIRE_ROD",    "PZPH_SUS_FRONT_TIRE_POS",
    "PZPH_SUS_REAR_TIRE_POS",   "PZPH_SUS_FRONT_CAR_WIRE",   "PZPH_SUS_FRONT_TIRE_WIRE",
    "PZPH_SUS_REAR_CAR_WIRE",   "PZPH_SUS_REAR_TIRE_WIRE",   "PZPH_COLL_CENTER",
    "PZPH_COLL_SIZE",           "PZPH_COLL_GROUND_CENTER",   "PZPH_COLL_GROUND_SIZE",
};

// The suspension links in drawing order: body-side point, wheel-side point, colour.
struct Link {
  const char* body;
  const char* wheel;
  ZVector colour;
};
const Link kLinks[] = {
    {"PZPH_SUS_FRONT_CAR_UP_1", "PZPH_SUS_FRONT_TIRE_UP_1", {1, 0, 0}},
    {"PZPH_SUS_FRONT_CAR_UP_2", "PZPH_SUS_FRONT_TIRE_UP_2", {1, 0, 0}},
    {"PZPH_SUS_FRONT_CAR_DOWN_1", "PZPH_SUS_FRONT_TIRE_DOWN_1", {0, 0, 1}},
    {"PZPH_SUS_FRONT_CAR_DOWN_2", "PZPH_SUS_FRONT_TIRE_DOWN_2", {0, 0, 1}},
    {"PZPH_SUS_REAR_CAR_UP_1", "PZPH_SUS_REAR_TIRE_UP_1", {1, 0, 0}},
    {"PZPH_SUS_REAR_CAR_UP_2", "PZPH_SUS_REAR_TIRE_UP_2", {1, 0, 0}},
    {"PZPH_SUS_REAR_CAR_DOWN_1", "PZPH_SUS_REAR_TIRE_DOWN_1", {0, 0, 1}},
    {"PZPH_SUS_REAR_CAR_DOWN_2", "PZPH_SUS_REAR_TIRE_DOWN_2", {0, 0, 1}},
    {"PZPH_SUS_FRONT_CAR_ROD", "PZPH_SUS_FRONT_TIRE_ROD", {0, 1, 1}},
    {"PZPH_SUS_REAR_CAR_ROD", "PZPH_SUS_REAR_TIRE_ROD", {0, 1, 1}},
    {"PZPH_SUS_FRONT_CAR_WIRE", "PZPH_SUS_FRONT_TIRE_WIRE", {1, 1, 1}},
    {"PZPH_SUS_REAR_CAR_WIRE", "PZPH_SUS_REAR_TIRE_WIRE", {1, 1, 1}},
};

// The first record of that name (names compare case-sensitively), or null; const or not as
// the list is.
template <typename Refs>
auto* firstNamed(Refs& refs, const std::string& name) {
  for (auto& ref : refs) {
    if (name == ref.name) return &ref;
  }
  return decltype(&refs.front())(nullptr);
}

std::string report(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), kCheckCaption, MB_OK);
  return text;
}

}  // namespace

void CEditInterface::initPhysicRefs() {
  for (const char* name : kPhysicsNames) {
    const bool size = std::strstr(name, "_SIZE") != nullptr;
    physicRefs.push_back(makeRef(name, size ? ZVector(1, 1, 1) : ZVector()));
  }
  for (const char* kind : {"PIT", "BOX", "START"}) {
    for (const char* suffix : {"", "d"}) {
      for (int i = 1; i <= 16; ++i) {
        physicRefs.push_back(makeRef("PZTR_" + std::string(kind) + std::to_string(i) + suffix));
      }
    }
  }
  physicRefs.push_back(makeRef("PZTR_BOARD"));
  physicRefs.push_back(makeRef("PZTR_BOARDd"));
}

SPhysicRef& CEditInterface::getPhysicRef(const std::string& name) {
  SPhysicRef* found = firstNamed(physicRefs, name);
  return found != nullptr ? *found : physicRefs.front();
}

ZVector CEditInterface::getPhysicRefPos(const std::string& name) const {
  const SPhysicRef* found = firstNamed(physicRefs, name);
  return found != nullptr ? found->position() : ZVector();
}

bool CEditInterface::hasPhysicRef(const std::string& name) const {
  return firstNamed(physicRefs, name) != nullptr;
}

void CEditInterface::exportPhysicRefs(const std::string& fileName) {
  zlog("exporting to %s\n", fileName.c_str());
  CTextFileWriter file(fileName);
  if (!file.isOpen()) {
    zlog("cannot create %s\n", fileName.c_str());
    return;
  }
  file.print("[DUMMIES]\n");
  file.print("NUMBER=%d\n", int(physicRefs.size()));
  for (size_t i = 0; i < physicRefs.size(); ++i) {
    const SPhysicRef& ref = physicRefs[i];
    file.print("\n[DUMMY%d]\n", int(i));
    file.print("NAME=%s\n", ref.name);
    file.print("POS=%f, %f, %f\n", double(ref.x), double(ref.y), double(ref.z));
  }
  if (!file.commit()) zlog("cannot write %s\n", fileName.c_str());
}

void CEditInterface::importPhysicRefs(const std::string& fileName) {
  const auto step = edit("Import references");
  zlog("loading %s\n", fileName.c_str());
  ZINIReader ini;
  ini.load(fileName);
  if (!ini.loaded) {
    zlog("cannot read %s\n", fileName.c_str());
    return;
  }
  history.recordValue(physicRefs);
  // Each record has a section of its own: a count beyond the sections the file holds is cut.
  const int count = heldCount(ini.getInt("DUMMIES", "NUMBER"), ini.text, "[DUMMY", fileName);
  for (int i = 0; i < count; ++i) {
    const std::string section = "DUMMY" + std::to_string(i);
    zlog("try\n");
    ZVector position;
    ini.getVector3(section, "POS", position.x, position.y, position.z);
    const std::string name = lineValue(ini.getString(section, "NAME"));
    if (SPhysicRef* ref = firstNamed(physicRefs, name)) {
      ref->x = position.x;
      ref->y = position.y;
      ref->z = position.z;
    } else {
      physicRefs.push_back(makeRef(name, position));
      zlog("added %s\n", physicRefs.back().name);
    }
  }
}

void CEditInterface::renderPhysicRefs() {
  ZGLRenderer draw(renderer);
  draw.begin(ZGLRenderer::kLines);
  for (const SPhysicRef& ref : physicRefs) {
    if (std::strstr(ref.name, "PZTR_") != nullptr) continue;
    if (std::strcmp(ref.name, selectedRef) == 0) {
      draw.color3f(1, 1, 0);
    } else {
      draw.color3f(1, 0, 1);
    }
    const ZVector p = ref.position();
    for (const ZVector& axis : {ZVector(0.1f, 0, 0), ZVector(0, 0.1f, 0), ZVector(0, 0, 0.1f)}) {
      draw.vertex3fv(p - axis);
      draw.vertex3fv(p + axis);
    }
  }
  for (const Link& link : kLinks) {
    draw.color3f(link.colour.x, link.colour.y, link.colour.z);
    draw.vertex3fv(getPhysicRefPos(link.body));
    draw.vertex3fv(getPhysicRefPos(link.wheel));
  }
  draw.end();

  renderBOX(getPhysicRefPos("PZPH_COLL_CENTER"), getPhysicRefPos("PZPH_COLL_SIZE"), {1, 1, 1});
  renderBOX(getPhysicRefPos("PZPH_COLL_GROUND_CENTER"), getPhysicRefPos("PZPH_COLL_GROUND_SIZE"),
            {0.5f, 1, 1});
  for (int i = 1; i <= 16; ++i) {
    for (const char* kind : {"PZTR_PIT", "PZTR_BOX", "PZTR_START"}) {
      const std::string name = kind + std::to_string(i);
      const ZVector colour = name == selectedRef ? ZVector(1, 1, 0) : ZVector(0, 0, 1);
      renderStart(getPhysicRefPos(name), getPhysicRefPos(name + "d"), colour);
    }
  }

  const ZVector p = getPhysicRefPos("PZTR_BOARD");
  const ZVector up(0, 1, 0);
  ZVector forward(0, 0, 1);
  forward.rotateOnAxis(up, getPhysicRefPos("PZTR_BOARDd").x);
  refMaterial->apply();
  draw.begin(ZGLRenderer::kQuads);
  draw.color3f(1, 1, 1);
  draw.texCoord2f(0, 0);
  draw.vertex3fv(p + up * 4 - forward);
  draw.texCoord2f(1, 0);
  draw.vertex3fv(p + up * 4 + forward);
  draw.texCoord2f(1, 1);
  draw.vertex3fv(p + forward);
  draw.texCoord2f(0, 1);
  draw.vertex3fv(p - forward);
  draw.end();
  renderer->setDefaultMaterial();
}

void CEditInterface::renderBOX(const ZVector& c, const ZVector& s, const ZVector& colour) {
  ZGLRenderer draw(renderer);
  draw.color3f(colour.x, colour.y, colour.z);
  for (float y : {c.y - s.y, c.y + s.y}) {
    draw.begin(ZGLRenderer::kLineStrip);
    draw.vertex3f(c.x - s.x, y, c.z - s.z);
    draw.vertex3f(c.x + s.x, y, c.z - s.z);
    draw.vertex3f(c.x + s.x, y, c.z + s.z);
    draw.vertex3f(c.x - s.x, y, c.z + s.z);
    draw.vertex3f(c.x - s.x, y, c.z - s.z);
    draw.end();
  }
  draw.begin(ZGLRenderer::kLines);
  for (float x : {c.x - s.x, c.x + s.x}) {
    for (float z : {c.z - s.z, c.z + s.z}) {
      draw.vertex3f(x, c.y - s.y, z);
      draw.vertex3f(x, c.y + s.y, z);
    }
  }
  draw.end();
}

void CEditInterface::renderStart(const ZVector& p, const ZVector& heading, const ZVector& colour) {
  renderer->renderState.setCullMode(D3DCULL_NONE);
  ZVector forward(0, 0, 1);
  ZVector right(1, 0, 0);
  forward.rotate2D(heading.x);
  right.rotate2D(heading.x);
  ZGLRenderer draw(renderer);
  draw.color3f(colour.x, colour.y, colour.z);
  draw.begin(ZGLRenderer::kLineStrip);
  draw.vertex3fv(p + forward * 2);
  draw.vertex3fv(p - forward * 2 + right * 0.9f);
  draw.vertex3fv(p - forward * 2 - right * 0.9f);
  draw.vertex3fv(p + forward * 2);
  draw.end();
}

std::string CEditInterface::checkTire() {
  if (rootFrame == nullptr) return report("no model loaded");
  ZGeometry* tire = rootFrame->getGeometry("TIRE", false);
  if (tire == nullptr) return report("Error: TIRE geometry not found");
  if (rootFrame->getGeometry("SPALLA", false) == nullptr) {
    return report("Error: SPALLA geometry not found");
  }
  if (rootFrame->getGeometry("RIM", false) == nullptr) {
    return report("Error: RIM geometry not found");
  }
  if (tire->material == nullptr || tire->material->effectName != "pzTires.fxo") {
    return report("Error: TIRE geometry has wrong shader");
  }
  return report("TIRE is ok");
}

std::string CEditInterface::checkCar() {
  if (rootFrame == nullptr) return report("no model loaded");
  for (const char* frame : {"Pilot_HR", "HELMET", "STEER"}) {
    if (rootFrame->getFrame(frame) == nullptr) {
      return report("Error: " + std::string(frame) + " frame not found");
    }
  }
  if (rootFrame->getGeometry("DRIVER_name", true) == nullptr) {
    return report("Error: DRIVER_name geometry not found");
  }
  return report("CAR is ok");
}

std::string CEditInterface::checkCarInt() {
  if (rootFrame == nullptr) return report("no model loaded");
  if (rootFrame->getFrame("STEER") == nullptr) return report("Error: STEER frame not found");
  for (const char* geometry : {"PLAYER_NAME", "MIRROR"}) {
    if (rootFrame->getGeometry(geometry, true) == nullptr) {
      return report("Error: " + std::string(geometry) + " geometry not found");
    }
  }
  return report("CAR interior is ok");
}
