// Undo and redo of every editing entry point (keys, drag, panels, tools, packets) on the sample car
// and a small track, compared through what the editor saves and exports; long random sequences of
// edits, undos and redos; the memory bound.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "editor/CEditInterface.h"
#include "foundation/ZDataFolder.h"
#include "render/ZCorvane.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/PacketBytes.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Empty when the snapshots are equal, else their first differing lines (they run long).
std::string difference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "";
  std::istringstream a(actual), e(expected);
  std::string lineA, lineE;
  for (int line = 1;; ++line) {
    const bool moreA = bool(std::getline(a, lineA)), moreE = bool(std::getline(e, lineE));
    if (!moreA && !moreE) return "differ";
    if (lineA != lineE || moreA != moreE) {
      return "line " + std::to_string(line) + ": '" + lineA + "' instead of '" + lineE + "'";
    }
  }
}

// A frame or geometry looked up without the side effects of ZFrame::getFrame.
ZFrame* findFrame(ZFrame* top, const std::string& name) {
  if (top->name == name) return top;
  for (ZFrame* child : top->children) {
    if (ZFrame* found = findFrame(child, name)) return found;
  }
  return nullptr;
}

Bytes textPacket(int code, size_t offset, const std::string& text) {
  Bytes p = packet(code, offset);
  p.insert(p.end(), text.begin(), text.end());
  p.push_back(0);
  return p;
}

class EditorUndoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path data = findDataFolder();
    ASSERT_FALSE(data.empty()) << "no data folder";
    car = (data / "samples/car/car.zmt").string();
    writeTrack();
    writeSideFiles();
  }

  // A fresh editor on the model; the edits below find their objects by name.
  std::unique_ptr<CEditInterface> open(const std::string& model) {
    auto editor = std::make_unique<CEditInterface>("");
    editor->initPhysicRefs();
    editor->renderer->addLight(editor->renderer->getNewLight());  // the sun, as start-up makes it
    editor->loadZMT(model);
    EXPECT_NE(editor->rootFrame, nullptr) << model;
    return editor;
  }

  // Everything an edit can change, as text: the saved model, the exported points and cameras,
  // the flags, the lights, the sky box and the flags that files do not keep.
  std::string snapshot(CEditInterface& editor) {
    const std::string zmt = folder.file("snapshot.zmt");
    const std::string points = folder.file("snapshot.refs");
    const std::string trackPoints = folder.file("snapshot.trefs");
    const std::string trackCameras = folder.file("snapshot.cams");
    editor.saveZMT(zmt);
    editor.exportPhysicRefs(points);
    editor.exportPhysicRefsTR(trackPoints);
    editor.exportCameras(trackCameras);
    std::ostringstream out;
    out << readFileText(zmt) << readFileText(points) << readFileText(trackPoints) << readFileText(trackCameras)
        << "\nflags";
    for (const SZMFFlagDef& f : editor.flagDefs) {
      out << ' ' << int32_t(f.guid) << ',' << float(f.x) << ',' << float(f.y) << ',' << float(f.z);
    }
    const ZCorvane& r = *editor.renderer;
    out << "\nambient " << r.ambientColour[0] << ',' << r.ambientColour[1] << ','
        << r.ambientColour[2];
    for (const auto& light : r.lights) {
      const D3DLIGHT9& l = light->light;
      out << "\nlight " << l.Diffuse.r << ',' << l.Diffuse.g << ',' << l.Diffuse.b << ' '
          << l.Direction.x << ',' << l.Direction.y << ',' << l.Direction.z << ' ' << l.Specular.r;
    }
    out << "\nsky";
    if (r.backBox != nullptr) {
      for (const ZGeometry* g : r.backBox->geometries) out << ' ' << g->name;
    }
    out << "\nshown";
    walk(*editor.rootFrame, out);
    return out.str();
  }
  static void walk(const ZFrame& frame, std::ostream& out) {
    out << ' ' << frame.name << (frame.visible ? "" : "-") << (frame.moveable ? "m" : "");
    for (const ZGeometry* g : frame.geometries) out << ' ' << g->name << (g->visible ? "" : "-");
    for (const ZFrame* child : frame.children) walk(*child, out);
  }

  // The track: road, kerb and grass meshes named as the simulation reads them, pit markers, a
  // flag marker, two sky meshes and a frame below the root.
  void writeTrack() {
    CEditInterface maker("");
    ZCorvane& r = *maker.renderer;
    maker.rootFrame = r.getNewFrame();
    maker.rootFrame->name = "track";
    const auto mesh = [&](ZFrame* owner, const std::string& name, float x, float y) {
      ZGeometry* g = r.getNewGeometry();
      g->name = name;
      g->setMaterial(r.getNewMaterial());
      for (int i = 0; i < 4; ++i) g->addVertex({x + float(i % 2) * 4, y, float(i / 2) * 4});
      for (int i = 0; i < 4; ++i) g->setTextureVertex(i, float(i % 2), float(i / 2), 0);
      g->addTriangle(0, 2, 1);
      g->addTriangle(1, 2, 3);
      g->generateNormals();
      owner->addGeometry(g);
      return g;
    };
    mesh(maker.rootFrame, "12ROAD_L", 0, 0)->setVar("SMOOTH", 1);
    mesh(maker.rootFrame, "3KERB", 4, 0.1f)->castShadow = true;
    mesh(maker.rootFrame, "GRASS_SHADOW", 8, 0);
    mesh(maker.rootFrame, "INV_FLAG1", 12, 0);
    mesh(maker.rootFrame, "INV_PIT_1", 0, 1);
    mesh(maker.rootFrame, "INV_TARGETPIT_1", 4, 1);
    mesh(maker.rootFrame, "SKYBOX_TOP", 0, 50);
    ZFrame* bridge = r.getNewFrame();
    bridge->name = "BRIDGE";
    bridge->move(0, 3, 20);
    maker.rootFrame->addChild(bridge);
    mesh(bridge, "DECK", 0, 0);
    track = folder.file("track.zmt");
    ASSERT_TRUE(maker.saveZMT(track));
  }

  void writeSideFiles() {
    {
      auto editor = open(car);
      editor->renderer->selectedGeometry = editor->rootFrame->getGeometry("BODY", true);
      editor->setSelectedColour(CEditInterface::MaterialColour::diffuse, 10, 200, 30);
      editor->setSelectedVar("GRIP", 3);
      merged = folder.file("merged.zmt");
      ASSERT_TRUE(editor->saveZMT(merged));
      sky = folder.file("sky.zmf");
      ASSERT_TRUE(editor->saveZMF(sky));
    }
    cameras = folder.write("cameras.txt",
                           "[HEADER]\nCOUNT=1\n[CAMERA0]\nPOSITION=1,2,3\nHEADING=0,0,1\n"
                           "FOV=30\nMAXFOV=40\nMINFOV=10\nMAXDIST=500\nFIXED=1\nTAG=2\n"
                           "NAME=grandstand\n");
    pzc = folder.write("track.pzc",
                       "[HEADER]\r\nCAMERAS=1\r\n[CAMERA1]\r\nPX=4\r\nPY=5\r\nPZ=6\r\n"
                       "TARGET=3\r\nNAME=tower\r\n");
    refs = folder.write("refs.txt",
                        "[DUMMIES]\nNUMBER=1\n[DUMMY0]\nNAME=PZPH_COLL_CENTER\nPOS=0.5,0.25,1.5\n");
    trackRefs =
        folder.write("trackrefs.txt", "[HEADER]\nVERSION=22\n[START1]\nPOS=1,2,3\nROT=0.5,0,0\n");
  }

  CaptureLog log;
  ScopedDesktop desktop;
  TempFolder folder;

 public:
  // The models and the files the edits read.
  std::string car, track, merged, sky, cameras, pzc, refs, trackRefs;
};

struct EditCase {
  const char* name;
  bool onTrack;
  const char* geometry;  // selected before the edit, or null
  const char* frame;
  std::function<void(CEditInterface&, const EditorUndoTest&)> run;
  // Sets the model up for the edit before the history starts (not in the random runs).
  std::function<void(CEditInterface&)> prepare = nullptr;
};

void addCamera(CEditInterface& e) { e.newTrackCamera(); }
void leaveSkyInModel(CEditInterface& e) { e.moveSkybox(true); }

// Cases whose set-up is only the camera the random runs start with.
bool runsFromAnyState(const EditCase& c) {
  if (!c.prepare) return true;
  const auto* prepare = c.prepare.target<void (*)(CEditInterface&)>();
  return prepare != nullptr && *prepare == addCamera;
}

SZMFMaterialDef materialPacket() {
  SZMFMaterialDef def;
  def.diffuse[0] = 0.25f;
  def.opacity = 0.5f;
  def.specularPower = 3;
  def.alphaBlend = 1;
  def.castShadow = 1;
  setFieldText(def.effectName, "NONE");
  setFieldText(def.textures[0], "-");
  return def;
}

const std::vector<EditCase>& editCases() {
  using E = CEditInterface;
  using T = EditorUndoTest;
  static const std::vector<EditCase> cases = {
      {"key g", false, "BODY", nullptr, [](E& e, const T&) { e.onKeyPressed('g'); }},
      {"key i", false, "TYRE_LF", nullptr, [](E& e, const T&) { e.onKeyPressed('i'); }},
      {"key n", false, "COCKPIT", nullptr, [](E& e, const T&) { e.onKeyPressed('n'); }},
      {"key d geometry", false, "WINDSCREEN", nullptr, [](E& e, const T&) { e.onKeyPressed('d'); }},
      {"key d frame", false, nullptr, "WHEEL_LF", [](E& e, const T&) { e.onKeyPressed('d'); }},
      {"key f", false, nullptr, nullptr, [](E& e, const T&) { e.onKeyPressed('f'); }},
      {"key j", false, "BODY", nullptr, [](E& e, const T&) { e.onKeyPressed('j'); }},
      {"key s", true, nullptr, nullptr,
       [](E& e, const T&) {
         e.refEditMode = true;
         e.selectReference("PZTR_START1");
         ZCamera& c = *e.editorCamera;
         c.position = {2, 10, 2};
         c.heading = {0, -1, 0};
         c.up = {0, 0, 1};
         e.renderer->currentCamera = &c;
         e.onKeyPressed('s');
       }},
      {"stage preset", false, "BODY", nullptr,
       [](E& e, const T&) { e.applyStagePreset(0, "Transparent Diffuse"); }},
      {"batch 1", true, nullptr, nullptr, [](E& e, const T&) { e.batchAction("ROAD", 1); }},
      {"batch 3", false, nullptr, nullptr, [](E& e, const T&) { e.batchAction("", 3); }},
      {"batch 4", false, nullptr, nullptr, [](E& e, const T&) { e.batchAction("BODY", 4); },
       [](E& e) { e.rootFrame->getGeometry("BODY", false)->material->stage(0).mipMapFilter = 1; }},
      {"batch 5", true, "12ROAD_L", nullptr, [](E& e, const T&) { e.batchAction("KERB", 5); },
       [](E& e) { e.rootFrame->geometries[0]->material->setDiffuse(0.1f, 0.2f, 0.3f, true); }},
      {"remove cast", true, nullptr, nullptr, [](E& e, const T&) { e.removeCast(); }},
      {"auto shadow", true, nullptr, nullptr, [](E& e, const T&) { e.autoShadow(); }},
      {"smooth", true, nullptr, nullptr, [](E& e, const T&) { e.setSmooth(false); }},
      {"remove lightmap", false, nullptr, nullptr, [](E& e, const T&) { e.removeLightmap(); },
       [](E& e) {
         ZMaterial& m = *e.rootFrame->geometries[0]->material;
         m.stage(1).texture = m.stage(0).texture;
       }},
      {"rotate 90", false, nullptr, nullptr, [](E& e, const T&) { e.rotate90(); }},
      {"collapse selection", false, nullptr, "SUSP_LF",
       [](E& e, const T&) { e.collapseSelection(); }},
      {"collapse all", false, nullptr, nullptr, [](E& e, const T&) { e.collapseSelection(); }},
      {"frame move", false, nullptr, "STEER",
       [](E& e, const T&) { e.placeSelectedFrame(E::FramePlacement::move, {1, 2, 3}); }},
      {"frame pivot", false, nullptr, "SUSP_RF",
       [](E& e, const T&) { e.placeSelectedFrame(E::FramePlacement::pivot, {0, 0.5f, 0}); }},
      {"frame repivot", false, nullptr, "WHEEL_RR",
       [](E& e, const T&) { e.placeSelectedFrame(E::FramePlacement::repivot, {}); }},
      {"rotate x", false, nullptr, "SUSP_LR", [](E& e, const T&) { e.rotateSelectedFrame(0, 30); }},
      {"roll", false, nullptr, "STEER", [](E& e, const T&) { e.rotateSelectedFrame(3, 15); }},
      {"scale", false, "BODY", nullptr, [](E& e, const T&) { e.scaleSelected({2, 1, 0.5f}); }},
      {"promote", false, "COCKPIT", nullptr, [](E& e, const T&) { e.promoteSelected(); }},
      {"rename", false, "BODY", "STEER",
       [](E& e, const T&) { e.renameSelection("NEWNAME", true, true); }},
      {"texture", false, "BODY", nullptr, [](E& e, const T&) { e.setSelectedTexture(0, ""); }},
      {"invert u", false, "BODY", nullptr, [](E& e, const T&) { e.invertSelectedU(); }},
      {"material fields", false, "BODY", "STEER",
       [](E& e, const T&) {
         SMaterialFields f = e.getActiveMaterial();
         f.alphaTest = !f.alphaTest;
         f.alphaRef = 77;
         f.doubleFace = !f.doubleFace;
         f.specularPower = 42;
         f.castShadow = !f.castShadow;
         f.frameMoveable = !f.frameMoveable;
         f.mipFilter = 1 - f.mipFilter;
         e.setActiveMaterial(f);
       }},
      {"shader", false, "BODY", nullptr, [](E& e, const T&) { e.chooseShader("shadowMap.fxo"); }},
      {"variable", false, "BODY", nullptr, [](E& e, const T&) { e.setSelectedVar("NEWVAR", 4); }},
      {"colour", false, "BODY", nullptr,
       [](E& e, const T&) { e.setSelectedColour(E::MaterialColour::specular, 1, 2, 3); }},
      {"opacity", false, "BODY", nullptr, [](E& e, const T&) { e.setSelectedOpacity(40); }},
      {"alpha blend", false, "BODY", nullptr, [](E& e, const T&) { e.alphaBlendSelected(); }},
      {"sun sliders", false, nullptr, nullptr,
       [](E& e, const T&) { e.setSunFromSliders(40, 120); }},
      {"sun colour", false, nullptr, nullptr, [](E& e, const T&) { e.setSunColour(255, 0, 9); }},
      {"ambient", false, nullptr, nullptr, [](E& e, const T&) { e.setAmbientColour(9, 8, 7); }},
      {"auto alpha", false, nullptr, nullptr, [](E& e, const T&) { e.autoAlpha(e.rootFrame); }},
      {"lod materials", false, nullptr, nullptr,
       [](E& e, const T&) { e.makeLODMaterial(e.rootFrame); },
       [](E& e) { e.rootFrame->geometries[0]->material->effectName = "x.fxo"; }},
      {"white", false, nullptr, nullptr, [](E& e, const T&) { e.makeMatsWhite(nullptr); }},
      {"simplify materials", true, nullptr, nullptr,
       [](E& e, const T&) { e.simplifyMaterials(); }},
      {"merge", false, nullptr, nullptr, [](E& e, const T& t) { e.merge(t.merged); }},
      {"trans all", true, "3KERB", nullptr,
       [](E& e, const T&) { e.transAll(e.rootFrame, e.renderer->selectedGeometry->material, true); }},
      {"hide wizard", true, nullptr, nullptr, [](E& e, const T&) { e.hideWizard(e.rootFrame, 1); }},
      {"new camera", false, nullptr, nullptr, [](E& e, const T&) { e.newTrackCamera(); }},
      {"set camera", false, nullptr, nullptr,
       [](E& e, const T&) {
         e.editorCamera->position = {9, 9, 9};
         e.setTrackCamera(0, 5, 11, 33, true);
       },
       addCamera},
      {"delete camera", false, nullptr, nullptr, [](E& e, const T&) { e.deleteTrackCamera(0); },
       addCamera},
      {"import cameras", false, nullptr, nullptr,
       [](E& e, const T& t) { e.importCameras(t.cameras); }},
      {"import pzc", false, nullptr, nullptr, [](E& e, const T& t) { e.importPZC(t.pzc); }},
      {"track reference", true, nullptr, nullptr,
       [](E& e, const T&) { e.setTrackReference("PZTR_START1", {1, 2, 3}, 0.5f); }},
      {"import references", false, nullptr, nullptr,
       [](E& e, const T& t) { e.importPhysicRefs(t.refs); }},
      {"import track references", true, nullptr, nullptr,
       [](E& e, const T& t) { e.importPhysicRefsTR(t.trackRefs); }},
      {"references from 3D", true, nullptr, nullptr, [](E& e, const T&) { e.genRefsFrom3D(""); }},
      {"flags from 3D", true, nullptr, nullptr, [](E& e, const T&) { e.genFlagsFrom3D(); }},
      {"generate stage", true, nullptr, nullptr,
       [](E& e, const T& t) { e.generateStage(3, 300, t.track + ".notes.txt"); }},
      {"sky box into the model", true, nullptr, nullptr,
       [](E& e, const T&) { e.moveSkybox(true); }},
      {"sky box from the model", true, nullptr, nullptr, [](E& e, const T&) { e.initSkybox(); },
       leaveSkyInModel},
      {"load sky box", false, nullptr, nullptr, [](E& e, const T& t) { e.loadSkybox(t.sky); }},
      // The protocol's commands that change state.
      {"code 5", false, "BODY", nullptr,
       [](E& e, const T&) {
         SZMFObjectDef def;
         setFieldText(def.name, "RENAMED");
         e.onReceive(bytesOf(def).data(), int32_t(sizeof def));
       }},
      {"code 7", false, "BODY", nullptr,
       [](E& e, const T&) {
         const SZMFMaterialDef def = materialPacket();
         e.onReceive(bytesOf(def).data(), int32_t(sizeof def));
       }},
      {"code 9", false, nullptr, "SUSP_RF",
       [](E& e, const T&) { e.onReceive(packet(9, 1).data(), 1); }},
      {"code 11", false, nullptr, "SUSP_LF",
       [](E& e, const T&) { e.onReceive(packet(11, 1).data(), 1); }},
      {"code 14", false, "BODY", nullptr,
       [](E& e, const T&) {
         SZMFStageDef def;
         def.stage = 3;
         def.colorOp = 7;
         def.textureFactor = 0.5f;
         e.onReceive(bytesOf(def).data(), int32_t(sizeof def));
       }},
      {"code 16", false, nullptr, nullptr,
       [](E& e, const T&) {
         Bytes p = packet(16, 16);
         const float grey = 0.25f;
         for (size_t at = 4; at < 16; at += 4) std::memcpy(&p[at], &grey, 4);
         e.onReceive(p.data(), int32_t(p.size()));
       }},
      {"code 19", false, nullptr, nullptr,
       [](E& e, const T&) {
         SZMFCameraDef def;
         def.position[0] = 5.0f;  // past the end: a new camera
         def.tag = 4;
         e.onReceive(bytesOf(def).data(), int32_t(sizeof def));
       }},
      {"code 22", true, nullptr, nullptr,
       [](E& e, const T&) { e.onReceive(packet(22, 1).data(), 1); }},
      {"code 24", true, nullptr, nullptr,
       [](E& e, const T&) { e.onReceive(packet(24, 1).data(), 1); },
       [](E& e) { e.rootFrame->geometries[0]->material->effectName = "x.fxo"; }},
      {"code 27", false, "BODY", nullptr,
       [](E& e, const T&) {
         SZMFVariableList list;
         list.code = 27;
         list.count = 1;
         setFieldText(list.names[0], "CHECKWALLS");
         list.values[0] = 1.0f;
         e.onReceive(bytesOf(list).data(), int32_t(sizeof list));
       }},
      {"code 30", false, nullptr, nullptr,
       [](E& e, const T&) {
         Bytes p = packet(30, 12);
         const float elevation = 0.3f;
         std::memcpy(&p[4], &elevation, 4);
         e.onReceive(p.data(), int32_t(p.size()));
       }},
      {"code 32", false, nullptr, nullptr,
       [](E& e, const T&) {
         Bytes p = packet(32, 129);
         std::memcpy(&p[1], "SUSP_LF", 7);
         const std::string child = "STEER";
         p.insert(p.end(), child.begin(), child.end());
         e.onReceive(p.data(), int32_t(p.size()));
       }},
      {"code 35", true, "3KERB", nullptr,
       [](E& e, const T&) { e.onReceive(packet(35, 1).data(), 1); },
       [](E& e) {
         ZGeometry* kerb = e.rootFrame->getGeometry("3KERB", false);
         kerb->transparent = true;
         e.rootFrame->getGeometry("12ROAD_L", false)->material = kerb->material;
       }},
      {"code 40", false, nullptr, nullptr,
       [](E& e, const T&) {
         SZMFRefDef def;
         setFieldText(def.name, "PZPH_COLL_CENTER");
         def.values[1] = 0.75f;
         e.onReceive(bytesOf(def).data(), int32_t(sizeof def));
       }},
      {"code 43", false, nullptr, "WHEEL_RF",
       [](E& e, const T&) {
         e.selectReference("PZPH_COLL_CENTER");
         e.onReceive(packet(43, 1).data(), 1);
       }},
      {"code 49", false, nullptr, "STEER",
       [](E& e, const T&) {
         Bytes p = packet(49, 16);
         const float step = 0.5f;
         std::memcpy(&p[8], &step, 4);
         e.onReceive(p.data(), int32_t(p.size()));
       }},
      {"code 51", false, "BODY", nullptr,
       [](E& e, const T&) { e.onReceive(Bytes{51, 1}.data(), 2); }},
      {"code 52", false, nullptr, nullptr,
       [](E& e, const T& t) {
         const Bytes p = textPacket(52, 8, t.sky);
         e.onReceive(p.data(), int32_t(p.size()));
       }},
      {"code 55", false, nullptr, nullptr,
       [](E& e, const T&) { e.onReceive(packet(55, 8).data(), 8); },
       addCamera},
      {"code 57", false, nullptr, nullptr,
       [](E& e, const T&) {
         SZMFLightInfo info;
         info.sunColour[0] = 0.5f;
         info.ambient[2] = 0.75f;
         info.sunDirection[1] = -2.0f;
         e.onReceive(bytesOf(info).data(), int32_t(sizeof info));
       }},
      {"code 60", true, nullptr, nullptr,
       [](E& e, const T&) { e.onReceive(packet(60, 1).data(), 1); },
       leaveSkyInModel},
      {"code 61", false, nullptr, nullptr,
       [](E& e, const T&) {
         SZMFFlagDef flag;
         flag.guid = 7;
         flag.x = 3.0f;
         e.onReceive(bytesOf(flag).data(), int32_t(sizeof flag));
       }},
  };
  return cases;
}

TEST_F(EditorUndoTest, EveryEntryPointUndoesAndRedoesExactly) {
  for (const EditCase& c : editCases()) {
    SCOPED_TRACE(c.name);
    auto editor = open(c.onTrack ? track : car);
    CEditInterface& e = *editor;
    if (c.prepare) c.prepare(e);
    e.history.clear();
    if (c.geometry != nullptr)
      e.renderer->selectedGeometry = e.rootFrame->getGeometry(c.geometry, true);
    if (c.frame != nullptr) e.renderer->selectedFrame = findFrame(e.rootFrame, c.frame);
    ASSERT_TRUE(c.geometry == nullptr || e.renderer->selectedGeometry != nullptr);
    ASSERT_TRUE(c.frame == nullptr || e.renderer->selectedFrame != nullptr);

    const std::string before = snapshot(e);
    const uint64_t stateBefore = e.modificationCount;
    c.run(e, *this);
    const std::string after = snapshot(e);
    const uint64_t stateAfter = e.modificationCount;
    EXPECT_NE(difference(after, before), "") << "the edit changed nothing";
    EXPECT_NE(stateAfter, stateBefore);
    EXPECT_FALSE(e.undoName().empty());

    ASSERT_TRUE(e.undo());
    EXPECT_EQ(difference(snapshot(e), before), "");
    EXPECT_EQ(e.modificationCount, stateBefore);
    ASSERT_TRUE(e.redo());
    EXPECT_EQ(difference(snapshot(e), after), "");
    EXPECT_EQ(e.modificationCount, stateAfter);
    EXPECT_FALSE(e.redo());
  }
}

TEST_F(EditorUndoTest, StepsAreNamedAfterTheEditAndItsObject) {
  auto editor = open(car);
  CEditInterface& e = *editor;
  EXPECT_EQ(e.undoName(), "");  // the load is not a step
  EXPECT_FALSE(e.undo());
  e.renderer->selectedGeometry = e.rootFrame->getGeometry("BODY", true);
  e.setActiveMaterial(e.getActiveMaterial());
  EXPECT_EQ(e.undoName(), "Set material of BODY");
  e.renderer->selectedGeometry = nullptr;
  e.setSunColour(1, 2, 3);
  EXPECT_EQ(e.undoName(), "Set sun colour");
  ASSERT_TRUE(e.undo());
  EXPECT_EQ(e.redoName(), "Set sun colour");
  EXPECT_EQ(e.undoName(), "Set material of BODY");
  // A new edit drops what was undone.
  e.setAmbientColour(1, 1, 1);
  EXPECT_EQ(e.redoName(), "");
  // An edit that finds nothing to change is no step and leaves the state's number.
  const uint64_t state = e.modificationCount;
  e.scaleSelected({2, 2, 2});
  EXPECT_EQ(e.modificationCount, state);
  EXPECT_EQ(e.undoName(), "Set ambient colour");
  e.closeModel();
  EXPECT_EQ(e.undoName(), "");
}

TEST_F(EditorUndoTest, ObjectsAndHandlesComeBackAsThemselves) {
  auto editor = open(car);
  CEditInterface& e = *editor;
  ZGeometry* body = e.rootFrame->getGeometry("BODY", true);
  ZMaterial* material = body->material;
  // A client holds BODY's handle from the object list.
  uint32_t handle = 0;
  e.replyFunction = [&](const uint8_t* p, int32_t size) {
    SZMFObjectDef def;
    if (size != int32_t(sizeof def)) return;
    std::memcpy(&def, p, sizeof def);
    if (fieldText(def.name) == "BODY") handle = def.handle;
  };
  e.sendObjectDefs();
  ASSERT_NE(handle, 0u);
  Bytes select = packet(6, 12);
  std::memcpy(&select[4], &handle, 4);
  select[8] = 1;  // a geometry
  e.renderer->selectedGeometry = body;
  e.onKeyPressed('d');
  EXPECT_EQ(e.rootFrame->getGeometry("BODY", true), nullptr);
  EXPECT_EQ(e.renderer->selectedGeometry, nullptr);
  e.onReceive(select.data(), int32_t(select.size()));
  EXPECT_EQ(e.renderer->selectedGeometry, nullptr);  // out of the model: the handle names nothing
  ASSERT_TRUE(e.undo());
  EXPECT_EQ(e.rootFrame->getGeometry("BODY", true), body);
  EXPECT_EQ(body->material, material);
  EXPECT_TRUE(body->compiled);
  e.onReceive(select.data(), int32_t(select.size()));
  EXPECT_EQ(e.renderer->selectedGeometry, body);  // back: the same handle names it again

  // Undo of a promote takes the new frame out; the selection that was in it is cleared.
  e.renderer->selectedGeometry = body;
  ZFrame* promoted = e.promoteSelected();
  e.renderer->selectedFrame = promoted;
  ASSERT_TRUE(e.undo());
  EXPECT_EQ(e.renderer->selectedFrame, nullptr);
  ASSERT_TRUE(e.redo());
  EXPECT_EQ(findFrame(e.rootFrame, "BODY"), promoted);
}

// Undone normals reach the device copy: written in place when the faces stayed ('g'), copied
// anew when they changed ('i' turns them).
TEST_F(EditorUndoTest, UndoneArraysGoBackToTheDevice) {
  for (const char key : {'g', 'i'}) {
    SCOPED_TRACE(key);
    auto editor = open(car);
    CEditInterface& e = *editor;
    ZGeometry* tyre = e.rootFrame->getGeometry("TYRE_LF", true);
    e.renderer->selectedGeometry = tyre;
    tyre->vertices[0].normal = {0, 0, 1};  // so that new normals differ
    tyre->recompile();
    const SVertexList vertices = tyre->vertices;
    e.onKeyPressed(key);
    ASSERT_NE(std::memcmp(tyre->vertices.data(), vertices.data(), sizeof(SVertex)), 0);
    const SGeometryPiece editedPiece = tyre->pieces.front();
    const int32_t held = editedPiece.vertexBuffer->vertexCount();
    ASSERT_TRUE(e.undo());
    EXPECT_EQ(
        std::memcmp(tyre->vertices.data(), vertices.data(), vertices.size() * sizeof(SVertex)), 0);
    ASSERT_TRUE(tyre->compiled);
    const SGeometryPiece& piece = tyre->pieces.front();
    if (key == 'g') {
      EXPECT_EQ(piece.baseVertex, editedPiece.baseVertex);  // no new room taken
      EXPECT_EQ(piece.vertexBuffer->vertexCount(), held);
    }
    const std::vector<float> packed = tyre->packShaderVertices(piece.sourceVertices);
    const ZVertexBuffer& buffer = *piece.vertexBuffer;
    ASSERT_EQ(size_t(buffer.stride), sizeof(float) * ZGeometry::kShaderVertexFloats);
    ASSERT_LE((size_t(piece.baseVertex) + size_t(piece.vertexCount)) * size_t(buffer.stride),
              buffer.pendingVertices.size());
    EXPECT_EQ(std::memcmp(buffer.pendingVertices.data() + size_t(piece.baseVertex) * buffer.stride,
                          packed.data(), packed.size() * sizeof(float)),
              0);
  }
}

TEST_F(EditorUndoTest, ADragIsOneStep) {
  auto editor = open(car);
  CEditInterface& e = *editor;
  ZFrame* steer = findFrame(e.rootFrame, "STEER");
  e.renderer->selectedFrame = steer;
  e.navigationMode = 2;
  e.mouseInWindow = true;
  const ZVector start = steer->getPosition();
  desktop.setCursorPos({100, 100});
  e.mouseControl();
  desktop.setKeyDown(VK_LBUTTON, true);
  for (int x = 110; x <= 150; x += 10) {
    desktop.setCursorPos({x, 100});
    e.mouseControl();
  }
  EXPECT_FALSE(e.undo());  // still dragging
  desktop.setKeyDown(VK_LBUTTON, false);
  e.mouseControl();
  ASSERT_NE(steer->getPosition().x, start.x);
  EXPECT_EQ(e.undoName(), "Drag of STEER");
  ASSERT_TRUE(e.undo());
  EXPECT_EQ(steer->getPosition().x, start.x);
  EXPECT_FALSE(e.undo());
}

// Seeded runs of edits, undos and redos: after each, what the editor saves is what it saved when
// it was last in that state.
TEST_F(EditorUndoTest, RandomSequencesMatchTheStatesTheyPassed) {
  const std::vector<EditCase>& cases = editCases();
  for (const bool onTrack : {false, true}) {
    std::mt19937 random(onTrack ? 11 : 7);
    auto editor = open(onTrack ? track : car);
    CEditInterface& e = *editor;
    addCamera(e);
    e.history.clear();
    std::vector<std::string> states = {snapshot(e)};
    size_t at = 0;
    for (int turn = 0; turn < 60; ++turn) {
      SCOPED_TRACE(turn);
      const int action = int(random() % 4);
      if (action == 0 && at > 0) {
        ASSERT_TRUE(e.undo());
        EXPECT_EQ(difference(snapshot(e), states[--at]), "");
      } else if (action == 1 && at + 1 < states.size()) {
        ASSERT_TRUE(e.redo());
        EXPECT_EQ(difference(snapshot(e), states[++at]), "");
      } else {
        const EditCase& c = cases[random() % cases.size()];
        if (c.onTrack != onTrack || !runsFromAnyState(c)) continue;
        SCOPED_TRACE(c.name);
        e.renderer->selectedGeometry =
            c.geometry != nullptr ? e.rootFrame->getGeometry(c.geometry, true) : nullptr;
        e.renderer->selectedFrame = c.frame != nullptr ? findFrame(e.rootFrame, c.frame) : nullptr;
        if ((c.geometry != nullptr && e.renderer->selectedGeometry == nullptr) ||
            (c.frame != nullptr && e.renderer->selectedFrame == nullptr)) {
          continue;  // an earlier edit took its object away
        }
        const uint64_t state = e.modificationCount;
        c.run(e, *this);
        if (e.modificationCount == state) {
          // No step: nothing may have changed.
          EXPECT_EQ(difference(snapshot(e), states[at]), "");
          continue;
        }
        states.resize(at + 1);
        states.push_back(snapshot(e));
        ++at;
      }
    }
    while (at > 0) {
      ASSERT_TRUE(e.undo());
      EXPECT_EQ(difference(snapshot(e), states[--at]), "");
    }
  }
}

TEST_F(EditorUndoTest, MemoryBoundDropsTheOldestStepsButKeepsTheNewest) {
  auto editor = open(car);
  CEditInterface& e = *editor;
  e.renderer->selectedGeometry = e.rootFrame->getGeometry("TYRE_LF", true);
  e.onKeyPressed('g');
  const size_t step = e.history.memoryUsed();
  ASSERT_GT(step, 10000u);  // the tyre's arrays
  e.history.setMemoryLimit(step * 2 + step / 2);
  for (int i = 0; i < 4; ++i) e.onKeyPressed('g');
  EXPECT_EQ(e.history.stepCount(), 2u);
  EXPECT_LE(e.history.memoryUsed(), step * 2 + step / 2);
  e.history.setMemoryLimit(1);  // smaller than any step: the newest stays undoable once
  EXPECT_EQ(e.history.stepCount(), 1u);
  EXPECT_TRUE(e.undo());
  EXPECT_FALSE(e.undo());
}

TEST_F(EditorUndoTest, TheBoundComesFromTheIni) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder.path());
  EXPECT_EQ(CEditInterface::readUndoMemoryLimit(), size_t(512) << 20);
  folder.write("zmfedit.ini", "[UNDO]\nMEMORYMB=64\n");
  EXPECT_EQ(CEditInterface::readUndoMemoryLimit(), size_t(64) << 20);
  fs::current_path(previous);
}

}  // namespace
