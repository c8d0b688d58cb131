// The command protocol's way in: each packet is checked against its command's layout and runs
// one core operation. Packets come from outside the program, so nothing here reads past a
// packet's end, trusts a count or an index, or turns an unchecked handle into an object.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "editor/CEditInterface.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

// A command: the bytes its layout takes, what it does, and for a command that changes the model
// (or its lists, lights or sky box) the name of its undo step, followed by the selection's name
// when it acts on the selection.
struct CEditInterface::Command {
  uint16_t layout = 0;
  void (*run)(CEditInterface& core, const PacketReader& packet) = nullptr;
  const char* step = nullptr;
  bool onSelection = false;
};

namespace {

constexpr size_t kNameField = 1000;  // file names of codes 1 and 31

// True when frame is top or lies in top's sub-tree.
bool isInSubtree(const ZFrame* frame, const ZFrame& top) {
  if (frame == &top) return true;
  return std::any_of(top.children.begin(), top.children.end(),
                     [&](const ZFrame* child) { return isInSubtree(frame, *child); });
}

}  // namespace

const CEditInterface::Command& CEditInterface::command(int code) {
  using E = CEditInterface;
  using P = PacketReader;
  static const std::array<Command, 62> commands = [] {
    std::array<Command, 62> c{};
    c[1] = {1010, [](E& e, const P& p) {
              e.loadASE(p.text(8, kNameField), p.f32(4), p.u8(1008) != 0, p.u8(1009) != 0);
            }};
    c[2] = {1, [](E& e, const P&) { SendMessageA(e.windowHandle, WM_CLOSE, 0, 0); }};
    c[5] = {80, [](E& e, const P& p) {
              e.renameSelection(fieldText(p.record<SZMFObjectDef>().name).substr(0, 63), true,
                                true);
              e.sendObjectDefs();
            },
             "Rename", true};
    c[6] = {12, [](E& e, const P& p) { e.selectByHandle(p.u32(4), p.i32(8)); }};
    c[7] = {1612, [](E& e, const P& p) { e.setMaterial(p.record<SZMFMaterialDef>()); },
            "Set material", true};
    c[8] = {8, [](E& e, const P& p) { e.loadZMF(p.textToEnd(8), false); }};
    c[9] = c[10] = c[11] = {1, [](E& e, const P& p) { e.moveSelectedFrame(p.code()); }, "Reorder",
                              true};
    c[12] = {1, [](E& e, const P& p) { e.saveZMF(p.textToEnd(1)); }};
    c[13] = {8, [](E& e, const P& p) { e.sendStageDef(p.i32(4)); }};
    c[14] = {64, [](E& e, const P& p) { e.setStageDef(p.record<SZMFStageDef>()); }, "Set stage",
             true};
    c[15] = {2, [](E& e, const P& p) { e.shadowOverlay = p.u8(1) != 0; }};
    c[16] = {16,
             [](E& e, const P& p) {
               e.history.recordLights(*e.renderer);
               e.renderer->setAmbientLight(p.f32(4), p.f32(8), p.f32(12));
             },
             "Set ambient colour"};
    c[17] = {1, [](E& e, const P&) { e.sendCameras(); }};
    c[19] = {100, [](E& e, const P& p) { e.setCamera(p.record<SZMFCameraDef>()); }, "Set camera"};
    c[20] = {8, [](E& e, const P& p) { e.viewFromTrackCamera(p.i32(4)); }};
    c[21] = {1, [](E& e, const P& p) {
               e.importPZC(p.textToEnd(1));
               e.sendCameras();
             },
             "Import cameras"};
    c[22] = {1, [](E& e, const P&) { e.applyShadowEffect(false); }, "Shadow effect"};
    c[23] = {1, [](E& e, const P&) { e.applyShadowEffect(true); },
             "Shadow effect on physics meshes"};
    c[24] = {1, [](E& e, const P&) { e.removeRootEffects(); }, "Remove effects"};
    c[25] = {1156, [](E& e, const P& p) { e.setVariables(p.record<SZMFVariableList>(), false); },
             "Set shader variables", true};
    c[26] = {1, [](E& e, const P&) { e.sendVariables(false); }};
    c[27] = {1156, [](E& e, const P& p) { e.setVariables(p.record<SZMFVariableList>(), true); },
             "Set variables", true};
    c[28] = {1, [](E& e, const P&) { e.sendVariables(true); }};
    c[29] = {8, [](E& e, const P& p) { e.merge(p.textToEnd(8)); }, "Merge"};
    c[30] = {12,
             [](E& e, const P& p) {
               e.history.recordLights(*e.renderer);
               e.renderer->setSun(p.f32(4), p.f32(8));
             },
             "Set sun"};
    c[31] = {1009,
             [](E& e, const P& p) { e.loadXSI(p.text(8, kNameField), p.f32(4), p.u8(1008) != 0); }};
    c[32] = {129, [](E& e, const P& p) { e.setHierarchy(p.text(1, 128), p.textToEnd(129)); },
             "Set hierarchy"};
    c[33] = {1, [](E& e, const P&) { e.autoAlpha(e.rootFrame); }, "Auto alpha"};
    c[34] = {8, [](E& e, const P& p) { e.hideWizard(e.rootFrame, p.i32(4)); }, "Hide wizard"};
    c[35] = {1, [](E& e, const P&) { e.transparencyToAll(); }, "Transparency to all"};
    c[36] = {8, [](E& e, const P& p) {
               e.backgroundColor =
                   0xFF000000u | uint32_t(p.u8(4)) << 16 | uint32_t(p.u8(5)) << 8 | p.u8(6);
             }};
    c[37] = {1, [](E& e, const P&) { e.refEditMode = true; }};
    c[38] = {1, [](E& e, const P&) { e.refEditMode = false; }};
    c[39] = {80, [](E& e, const P& p) { e.sendReference(p.record<SZMFRefDef>()); }};
    c[40] = {80, [](E& e, const P& p) { e.setReference(p.record<SZMFRefDef>()); },
             "Set reference"};
    c[41] = {1, [](E& e, const P& p) {
               zlog("fn=%s\n", p.textToEnd(1).c_str());
               e.exportPhysicRefs(p.textToEnd(1));
             }};
    c[42] = {1, [](E& e, const P& p) { e.importPhysicRefs(p.textToEnd(1)); },
             "Import references"};
    c[43] = {1, [](E& e, const P&) { e.referenceToSelectedFrame(); }, "Reference to frame"};
    c[44] = {1, [](E& e, const P& p) {
               zlog("fn=%s\n", p.textToEnd(1).c_str());
               e.exportPhysicRefsTR(p.textToEnd(1));
             }};
    c[45] = {1, [](E& e, const P& p) { e.importPhysicRefsTR(p.textToEnd(1)); },
             "Import track references"};
    c[46] = {1, [](E& e, const P&) { e.checkTire(); }};
    c[47] = {1, [](E& e, const P&) { e.checkCar(); }};
    c[48] = {1, [](E& e, const P&) { e.checkCarInt(); }};
    c[49] = {16, [](E& e, const P& p) {
               ZFrame* frame = e.renderer->selectedFrame;
               if (frame == nullptr) return;
               e.history.recordFrame(frame);
               frame->moveStep(p.f32(4), p.f32(8), p.f32(12));
             },
             "Move", true};
    c[50] = {1, [](E& e, const P&) { e.sendWallCheck(); }};
    c[51] = {2, [](E& e, const P& p) {
               ZGeometry* g = e.renderer->selectedGeometry;
               if (g == nullptr) return;
               e.history.recordGeometry(g, false);
               g->setVar("CHECKWALLS", float(p.u8(1)));
             },
             "Wall check", true};
    c[52] = {8, [](E& e, const P& p) { e.loadSkyboxFile(p.textToEnd(8), false); },
             "Load sky box"};
    c[53] = {1, [](E& e, const P& p) { e.exportCameras(p.textToEnd(1)); }};
    c[54] = {1, [](E& e, const P& p) {
               e.importCameras(p.textToEnd(1));
               e.sendCameras();
             },
             "Import cameras"};
    c[55] = {8, [](E& e, const P& p) {
               if (e.trackCamera(p.i32(4)) == nullptr) return;
               e.deleteTrackCamera(p.i32(4));
               e.sendCameras();
             },
             "Delete camera"};
    c[57] = {40, [](E& e, const P& p) { e.setLight(p.record<SZMFLightInfo>()); }, "Set light"};
    c[58] = {8, [](E& e, const P& p) { e.loadSkybox(p.textToEnd(8)); }, "Load sky box"};
    c[59] = {1, [](E& e, const P&) {
               e.moveSkybox(true);
               e.sendObjectDefs();
             },
             "Sky box into the model"};
    c[60] = {1, [](E& e, const P&) {
               e.renderer->selectedFrame = nullptr;
               e.renderer->selectedGeometry = nullptr;
               e.initSkybox();
               e.sendObjectDefs();
             },
             "Sky box from the model"};
    c[61] = {28, [](E& e, const P& p) { e.placeFlag(p.record<SZMFFlagDef>()); },
             "Place flag"};
    return c;
  }();
  return commands[size_t(code)];
}

void CEditInterface::onReceive(const uint8_t* packet, int32_t size) {
  if (packet == nullptr || size <= 0) return;
  const PacketReader reader(packet, size_t(size));
  const int code = reader.code();
  zlog("Command: %d\n", code);
  if (code < 1 || code > 61) return;
  const Command& c = command(code);
  if (c.run == nullptr) return;
  if (reader.size < c.layout) {
    zlog("Command %d refused: %d bytes, its layout takes %d\n", code, size, int(c.layout));
    return;
  }
  if (c.step == nullptr) {
    c.run(*this, reader);
    return;
  }
  const auto step = edit(c.onSelection ? ofSelection(c.step) : std::string(c.step));
  c.run(*this, reader);
}

void CEditInterface::selectByHandle(uint32_t handle, int32_t type) {
  if (type == 1) {
    ZGeometry* g = handles.geometry(handle, rootFrame);
    if (g == nullptr) return;
    renderer->selectedGeometry = g;
    renderer->selectedFrame = nullptr;
    if (g->material != nullptr) sendMaterialDef(g->material);
  } else if (type == 0) {
    ZFrame* frame = handles.frame(handle, rootFrame);
    if (frame == nullptr) return;
    renderer->selectedFrame = frame;
    renderer->selectedGeometry = nullptr;
  }
}

void CEditInterface::setMaterial(const SZMFMaterialDef& def) {
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr || g->material == nullptr) return;
  history.recordGeometry(g, false);
  history.recordMaterial(g->material);
  history.recordFrame(rootFrame);  // the meshes are sorted again
  ZMaterial& m = *g->material;
  zlog("diffuse (%f,%f,%f)\n", double(def.diffuse[0]), double(def.diffuse[1]),
       double(def.diffuse[2]));
  m.setDiffuse(def.diffuse[0], def.diffuse[1], def.diffuse[2], true);
  m.setAmbient(def.ambient[0], def.ambient[1], def.ambient[2]);
  m.setSpecular(def.specular[0], def.specular[1], def.specular[2]);
  m.setEmissive(def.emissive[0], def.emissive[1], def.emissive[2]);
  m.setOpacity(def.opacity);
  m.setShininess(def.specularPower);
  m.alphaBlend = def.alphaBlend != 0;
  m.alphaTest = def.alphaTest != 0;
  m.alphaRef = def.alphaRef;
  for (int layer = 0; layer < 3; ++layer) m.stage(layer).active = def.layerActive[layer] != 0;
  m.useZBuffer = def.useZBuffer != 0;
  m.forceNoDepthWrite = def.noZWrite != 0;
  m.doubleFace = def.doubleFaced != 0;
  g->transparent = def.transparent != 0;
  g->castShadow = def.castShadow != 0;

  const std::string effect = fieldText(def.effectName);
  if (effect == "NONE") {
    m.removeEffect();
  } else if (effect != m.effectName) {
    m.initEffect(effect);
  }
  for (int layer = 0; layer < 3; ++layer) {
    ZMaterialStage& stage = m.stage(layer);
    const std::string texture = fieldText(def.textures[layer]);
    if (texture != "-" && !texture.empty()) {
      if (stage.texture == nullptr || stage.texture->name != texture) {
        stage.texture = renderer->getTexture(texture);
      }
    } else if (stage.texture != nullptr) {
      stage.texture = nullptr;
      if (layer == 1) zlog("Set to null texture\n");
    }
  }
  if (rootFrame != nullptr) rootFrame->sortGeometries();
}

void CEditInterface::moveSelectedFrame(int code) {
  ZFrame* frame = renderer->selectedFrame;
  if (frame == nullptr || frame->parent == nullptr) return;
  std::vector<ZFrame*>& siblings = frame->parent->children;
  const auto at = std::find(siblings.begin(), siblings.end(), frame);
  if (at == siblings.end()) return;  // unlinked but still naming its parent
  const size_t p = size_t(at - siblings.begin());
  history.recordFrame(frame->parent);
  if (code == 9 && p >= 1) {
    std::swap(siblings[p - 1], siblings[p]);
    sendObjectDefs();
  } else if (code == 10 && p + 1 < siblings.size()) {
    std::swap(siblings[p], siblings[p + 1]);
  } else if (code == 11 && p + 1 < siblings.size()) {
    siblings.erase(at);
    siblings.push_back(frame);
  }
}

void CEditInterface::setCamera(const SZMFCameraDef& def) {
  const float index = std::trunc(float(def.position[0]));  // -0.5 names camera 0
  if (std::isnan(index) || index < 0.0f) return;
  ZCamera* camera = nullptr;
  if (index < float(cameraList.size())) {
    camera = cameraList[size_t(index)];
    history.recordCamera(camera);
  } else {
    history.recordValue(cameraList);
    // The name takes the index as an integer, saturated where the float is past int range.
    const int number = index >= 2147483648.0f ? INT_MAX : int(index);
    camera = renderer->getNewCamera();
    camera->name = "NCAMERA" + std::to_string(number);
    cameraList.push_back(camera);
  }
  copyEditorView(*camera);
  camera->fixed = def.fixed != 0;
  camera->tag = def.tag;
  camera->maxDist = def.maxDist;
  camera->minFov = def.minFov;
  camera->maxFov = def.maxFov;
  sendCameras();
}

void CEditInterface::applyShadowEffect(bool numberedOnly) {
  if (rootFrame == nullptr) return;
  for (ZGeometry* g : rootFrame->geometries) {
    if (g->material == nullptr || g->material->effect != nullptr) continue;
    if (numberedOnly && !isPhysicsName(g->name)) continue;
    history.recordMaterial(g->material);
    g->material->initEffect("shadowMap.fxo");
  }
}

void CEditInterface::removeRootEffects() {
  if (rootFrame == nullptr) return;
  for (ZGeometry* g : rootFrame->geometries) {
    if (g->material == nullptr) continue;
    history.recordMaterial(g->material);
    g->material->removeEffect();
  }
}

void CEditInterface::setVariables(const SZMFVariableList& list, bool geometry) {
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr || g->material == nullptr) return;
  if (geometry) {
    history.recordGeometry(g, false);
  } else {
    history.recordMaterial(g->material);
  }
  if (geometry) g->vars.clear();
  const int count = std::min<int>(list.count, SZMFVariableList::kMaxEntries);
  for (int i = 0; i < count; ++i) {
    const std::string name = fieldText(list.names[i]);
    const float value = list.values[i];
    zlog("Setting %s=%f\n", name.c_str(), double(value));
    if (geometry) {
      g->vars.push_back({name, value});
    } else {
      g->material->setEffectCustomVariable(name, value);
    }
  }
}

void CEditInterface::setHierarchy(const std::string& parentName, const std::string& childName) {
  zlog("Setting hierarchy %s -> %s\n", childName.c_str(), parentName.c_str());
  // The look-ups mark the frames they find moveable: recorded before they run.
  history.recordSubtree(rootFrame, CUndoHistory::kFrames);
  ZFrame* child = rootFrame != nullptr ? rootFrame->getFrame(childName) : nullptr;
  ZFrame* parent = rootFrame != nullptr ? rootFrame->getFrame(parentName) : nullptr;
  if (child == nullptr || parent == nullptr) {
    zlog("Can't find objects %d %d\n", child != nullptr ? 1 : 0, parent != nullptr ? 1 : 0);
    return;
  }
  if (child->parent != nullptr) {
    // A frame below itself would leave the scene as a loop; a tree too deep is not drawn.
    if (isInSubtree(parent, *child) || !parent->canAdopt(*child)) {
      zlog("Can't put %s below %s\n", childName.c_str(), parentName.c_str());
      return;
    }
    std::erase(child->parent->children, child);
    child->moveable = false;
    parent->addChild(child);
  }
  sendObjectDefs();
}

void CEditInterface::transparencyToAll() {
  ZGeometry* g = renderer->selectedGeometry;
  if (g != nullptr) transAll(rootFrame, g->material, g->transparent);
}

void CEditInterface::setReference(const SZMFRefDef& def) {
  const std::string name = fieldText(def.name).substr(0, 63);
  if (!hasPhysicRef(name)) return;
  history.recordValue(physicRefs);
  if (name.find("PZTR") != std::string::npos) {
    if (hasPhysicRef(name + "d")) getPhysicRef(name + "d").x = def.values[2];
    return;
  }
  SPhysicRef& ref = getPhysicRef(name);
  ref.x = def.values[0];
  ref.y = def.values[1];
  ref.z = def.values[2];
}

void CEditInterface::referenceToSelectedFrame() {
  ZFrame* frame = renderer->selectedFrame;
  if (frame == nullptr || !hasPhysicRef(selectedRef)) return;
  history.recordValue(physicRefs);
  const ZVector p = frame->getWorldPosition();
  SPhysicRef& ref = getPhysicRef(selectedRef);
  ref.x = p.x;
  ref.y = p.y;
  ref.z = p.z;
}

void CEditInterface::setLight(const SZMFLightInfo& info) {
  history.recordLights(*renderer);
  renderer->setAmbientLight(info.ambient[0], info.ambient[1], info.ambient[2]);
  if (!renderer->activeLights.empty()) {
    ZLight& sun = *renderer->activeLights[0];
    sun.setDiffuse(info.sunColour[0], info.sunColour[1], info.sunColour[2]);
    sun.setSpecular(info.sunColour[0], info.sunColour[1], info.sunColour[2]);
    const ZVector direction(info.sunDirection[0], info.sunDirection[1], info.sunDirection[2]);
    const float length = direction.length();
    // A zero or non-finite direction has no normal form: the sun keeps its own.
    if (length > 0 && std::isfinite(length)) sun.setDirection(direction * (1.0f / length));
  }
  sendLightInfo();
}

void CEditInterface::placeFlag(const SZMFFlagDef& packet) {
  const int32_t guid = packet.guid;
  history.recordValue(flagDefs);
  const int index = getFlagIndex(guid);
  zlog("guid=%d %d\n", guid, index);
  SZMFFlagDef& flag = flagDefs[size_t(index)];
  flag.x = packet.x;
  flag.y = packet.y;
  flag.z = packet.z;
}
