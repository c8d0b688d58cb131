// The editor's command protocol through onReceive, without a device: dispatch and traces, the
// object list and its handles, the frame order, materials, stages, variables, cameras, reference
// points, flags, lights, and every packet that is short, stale or out of range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "editor/CEditInterface.h"
#include "editor/EditPackets.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/PacketBytes.h"
#include "tests/support/ScopedDesktop.h"

namespace {

template <typename Record>
Record recordOf(const Bytes& p) {
  Record record;
  EXPECT_EQ(p.size(), sizeof record);
  std::memcpy(&record, p.data(), std::min(p.size(), sizeof record));
  return record;
}
void putI32(Bytes& p, size_t offset, int32_t value) {
  const LeI32 field = value;
  std::memcpy(&p[offset], &field, 4);
}

struct ObjectDef {
  int32_t kind;
  uint32_t handle, parent;
  std::string name;
};

class EditorProtocolTest : public ::testing::Test {
 protected:
  EditorProtocolTest() {
    editor.initPhysicRefs();
    editor.rootFrame = frame("root", nullptr);
    editor.replyFunction = [this](const uint8_t* p, int32_t size) {
      replies.emplace_back(p, p + size);
    };
  }

  ZFrame* frame(const std::string& name, ZFrame* parent) {
    ZFrame* f = editor.renderer->getNewFrame();
    f->name = name;
    if (parent != nullptr) parent->addChild(f);
    return f;
  }
  ZGeometry* geometry(const std::string& name, ZFrame* owner, bool material = true) {
    ZGeometry* g = editor.renderer->getNewGeometry();
    g->name = name;
    if (material) g->setMaterial(editor.renderer->getNewMaterial());
    owner->addGeometry(g);
    return g;
  }
  // Sends a packet from a buffer of exactly its size, so a read past its end is a heap error.
  void send(const Bytes& p) {
    const Bytes exact(p);
    editor.onReceive(exact.data(), int32_t(exact.size()));
  }
  std::vector<int> replyCodes() const {
    std::vector<int> codes;
    for (const Bytes& r : replies) codes.push_back(r.empty() ? -1 : r[0]);
    return codes;
  }
  // The object list from the last code-3 reply on.
  std::vector<ObjectDef> objectList() const {
    std::vector<ObjectDef> list;
    for (const Bytes& r : replies) {
      if (r.size() == 1 && r[0] == 3) list.clear();
      if (r.size() != sizeof(SZMFObjectDef) || r[0] != 5) continue;
      const auto def = recordOf<SZMFObjectDef>(r);
      list.push_back({def.kind, def.handle, def.parent, fieldText(def.name)});
    }
    return list;
  }
  uint32_t handleOf(const std::string& name) {
    replies.clear();
    editor.sendObjectDefs();
    for (const ObjectDef& def : objectList()) {
      if (def.name == name) return def.handle;
    }
    ADD_FAILURE() << "no object " << name;
    return 0;
  }
  void select(const std::string& name, int type) {
    Bytes p = packet(6, 12);
    const uint32_t handle = handleOf(name);
    std::memcpy(&p[4], &handle, 4);
    putI32(p, 8, type);
    replies.clear();
    send(p);
  }

  ScopedDesktop desktop;
  CaptureLog log;
  CEditInterface editor{""};
  std::vector<Bytes> replies;
};

TEST_F(EditorProtocolTest, CodesOutsideTheCommandsOnlyLeaveTheirTrace) {
  const struct {
    int code;
    const char* trace;
  } cases[] = {{0, "Command: 0\n"},   {62, "Command: 62\n"}, {200, "Command: -56\n"},
               {3, "Command: 3\n"},   {4, "Command: 4\n"},   {18, "Command: 18\n"},
               {56, "Command: 56\n"}, {255, "Command: -1\n"}};
  for (const auto& c : cases) {
    send(packet(c.code, 16));
    EXPECT_NE(log.text().find(c.trace), std::string::npos) << c.code;
  }
  EXPECT_TRUE(replies.empty());
  EXPECT_EQ(editor.backgroundColor, 0u);

  const size_t before = log.text().size();
  editor.onReceive(nullptr, 16);
  const uint8_t code = 36;
  editor.onReceive(&code, 0);
  EXPECT_EQ(log.text().size(), before);  // not even a trace
}

TEST_F(EditorProtocolTest, ObjectListIsAPreOrderWalkWithStableHandles) {
  ZFrame* root = editor.rootFrame;
  geometry("G1", root);
  geometry("G2", root);
  ZFrame* a = frame("A", root);
  geometry("G3", a);
  frame("B", root);
  editor.sendObjectDefs();
  EXPECT_EQ(replyCodes(), (std::vector<int>{3, 5, 5, 5, 5, 5, 5}));
  const std::vector<ObjectDef> list = objectList();
  ASSERT_EQ(list.size(), 6u);
  const char* names[] = {"root", "G1", "G2", "A", "G3", "B"};
  const int kinds[] = {1, 2, 2, 1, 2, 1};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(list[i].name, names[i]);
    EXPECT_EQ(list[i].kind, kinds[i]);
    EXPECT_NE(list[i].handle, 0u);
    for (size_t j = 0; j < i; ++j) EXPECT_NE(list[i].handle, list[j].handle);
  }
  const uint32_t rootHandle = list[0].handle, aHandle = list[3].handle;
  const uint32_t parents[] = {0, rootHandle, rootHandle, rootHandle, aHandle, rootHandle};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(list[i].parent, parents[i]) << names[i];

  // A frame taken out and put back keeps its handle; a new object gets a new one.
  root->removeFrame(a);
  root->addChild(a);
  frame("C", root);
  replies.clear();
  editor.sendObjectDefs();
  const std::vector<ObjectDef> again = objectList();
  ASSERT_EQ(again.size(), 7u);
  for (const ObjectDef& def : list) EXPECT_NE(again.back().handle, def.handle);  // C is new
  EXPECT_EQ(again[4].name, "A");
  EXPECT_EQ(again[4].handle, aHandle);
}

TEST_F(EditorProtocolTest, LongNamesAreCutToTheirFields) {
  const std::string longName(100, 'N');
  frame(longName, editor.rootFrame);
  editor.sendObjectDefs();
  EXPECT_EQ(objectList().back().name, longName.substr(0, 63));
}

TEST_F(EditorProtocolTest, RenameRenamesTheSelectionAndSendsTheList) {
  frame("OLD", editor.rootFrame);
  select("OLD", 0);
  Bytes p = packet(5, sizeof(SZMFObjectDef));
  std::memcpy(&p[16], "NEW", 3);
  send(p);
  EXPECT_EQ(editor.rootFrame->children[0]->name, "NEW");
  EXPECT_EQ(objectList().back().name, "NEW");

  // Without a reply function the command still takes effect.
  editor.replyFunction = nullptr;
  std::memcpy(&p[16], "LAST", 4);
  send(p);
  EXPECT_EQ(editor.rootFrame->children[0]->name, "LAST");
}

TEST_F(EditorProtocolTest, SelectionByHandleChecksKindAndReachability) {
  ZFrame* a = frame("A", editor.rootFrame);
  ZGeometry* g = geometry("G", a);
  geometry("BARE", a, false);

  select("G", 1);
  EXPECT_EQ(editor.renderer->selectedGeometry, g);
  EXPECT_EQ(replyCodes(), std::vector<int>{7});  // its material
  EXPECT_NE(log.text().find("sending 1612 bytes\n"), std::string::npos);
  select("A", 0);
  EXPECT_EQ(editor.renderer->selectedFrame, a);
  EXPECT_EQ(editor.renderer->selectedGeometry, nullptr);
  select("BARE", 1);  // no material: selected, nothing sent
  EXPECT_EQ(editor.renderer->selectedGeometry->name, "BARE");
  EXPECT_TRUE(replies.empty());

  const uint32_t frameHandle = handleOf("A"), geometryHandle = handleOf("G");
  editor.renderer->selectedGeometry = nullptr;
  editor.renderer->selectedFrame = nullptr;
  const struct {
    uint32_t handle;
    int32_t type;
  } refused[] = {
      {0, 0}, {0, 1}, {999999, 0}, {frameHandle, 1}, {geometryHandle, 0}, {geometryHandle, 2}};
  for (const auto& r : refused) {
    Bytes p = packet(6, 12);
    std::memcpy(&p[4], &r.handle, 4);
    putI32(p, 8, r.type);
    send(p);
  }
  EXPECT_EQ(editor.renderer->selectedFrame, nullptr);
  EXPECT_EQ(editor.renderer->selectedGeometry, nullptr);

  // Once out of the scene neither the frame nor what it holds can be selected.
  editor.rootFrame->removeFrame(a);
  for (const auto& [handle, type] : {std::pair{frameHandle, 0}, std::pair{geometryHandle, 1}}) {
    Bytes p = packet(6, 12);
    std::memcpy(&p[4], &handle, 4);
    putI32(p, 8, type);
    send(p);
  }
  EXPECT_EQ(editor.renderer->selectedFrame, nullptr);
  EXPECT_EQ(editor.renderer->selectedGeometry, nullptr);
  // Back in the scene, the old handle works again.
  editor.rootFrame->addChild(a);
  Bytes p = packet(6, 12);
  std::memcpy(&p[4], &frameHandle, 4);
  send(p);
  EXPECT_EQ(editor.renderer->selectedFrame, a);
}

TEST_F(EditorProtocolTest, FramesMoveUpDownAndLast) {
  ZFrame* c[3] = {frame("C0", editor.rootFrame), frame("C1", editor.rootFrame),
                  frame("C2", editor.rootFrame)};
  auto order = [&] {
    std::string names;
    for (const ZFrame* f : editor.rootFrame->children) names += f->name + " ";
    return names;
  };
  editor.renderer->selectedFrame = c[0];
  send(packet(9, 1));  // already first
  EXPECT_EQ(order(), "C0 C1 C2 ");
  EXPECT_TRUE(replies.empty());
  editor.renderer->selectedFrame = c[1];
  send(packet(9, 1));
  EXPECT_EQ(order(), "C1 C0 C2 ");
  EXPECT_EQ(replyCodes().front(), 3);
  replies.clear();
  editor.renderer->selectedFrame = c[2];
  send(packet(10, 1));  // already last
  EXPECT_EQ(order(), "C1 C0 C2 ");
  editor.renderer->selectedFrame = c[1];
  send(packet(10, 1));
  EXPECT_EQ(order(), "C0 C1 C2 ");
  editor.renderer->selectedFrame = c[0];
  send(packet(11, 1));
  EXPECT_EQ(order(), "C1 C2 C0 ");
  EXPECT_TRUE(replies.empty());                       // down and last do not answer
  editor.renderer->selectedFrame = editor.rootFrame;  // no parent: nothing
  send(packet(9, 1));
  EXPECT_EQ(order(), "C1 C2 C0 ");
}

TEST_F(EditorProtocolTest, SetCameraPastTheEndMakesANamedCamera) {
  for (int i = 0; i < 2; ++i) editor.newTrackCamera();
  editor.editorCamera->position = {1, 2, 3};
  SZMFCameraDef def;
  def.position[0] = 2.0f;
  def.tag = 7;
  def.fixed = 1;
  def.minFov = 10;
  def.maxFov = 40;
  def.maxDist = 300;
  send(bytesOf(def));
  ASSERT_EQ(editor.cameraList.size(), 3u);
  const ZCamera& made = *editor.cameraList[2];
  EXPECT_EQ(made.name, "NCAMERA2");
  EXPECT_EQ(made.position.z, 3);
  EXPECT_EQ(made.tag, 7);
  EXPECT_TRUE(made.fixed);
  EXPECT_EQ(made.minFov, 10);
  EXPECT_EQ(made.maxFov, 40);
  EXPECT_EQ(made.maxDist, 300);
  EXPECT_EQ(replyCodes(), (std::vector<int>{18, 19, 19, 19}));
  int32_t count = 0;
  std::memcpy(&count, &replies[0][4], 4);
  EXPECT_EQ(count, 3);
  const auto last = recordOf<SZMFCameraDef>(replies[3]);
  EXPECT_EQ(fieldText(last.name), "NCAMERA2");
  EXPECT_EQ(float(last.position[1]), 2);

  // An index inside the list sets that camera; NaN and -1 or less are ignored; a huge index
  // names the new camera from the largest int.
  const struct {
    float index;
    size_t cameras;
    const char* lastName;
  } cases[] = {{0.5f, 3, "NCAMERA2"},
               {std::numeric_limits<float>::quiet_NaN(), 3, "NCAMERA2"},
               {-1.0f, 3, "NCAMERA2"},
               {-1e30f, 3, "NCAMERA2"},
               {1e20f, 4, "NCAMERA2147483647"},
               {std::numeric_limits<float>::infinity(), 5, "NCAMERA2147483647"}};
  for (const auto& c : cases) {
    def.position[0] = c.index;
    def.tag = 99;
    send(bytesOf(def));
    EXPECT_EQ(editor.cameraList.size(), c.cameras) << c.index;
    EXPECT_EQ(editor.cameraList.back()->name, c.lastName) << c.index;
  }
  EXPECT_EQ(editor.cameraList[0]->tag, 99);  // set through index 0.5
  EXPECT_EQ(editor.cameraList[1]->tag, 0);
}

TEST_F(EditorProtocolTest, SetCameraJustBelowZeroNamesCameraZero) {
  SZMFCameraDef def;
  def.position[0] = -0.5f;
  send(bytesOf(def));  // no camera 0 yet: it is made
  ASSERT_EQ(editor.cameraList.size(), 1u);
  EXPECT_EQ(editor.cameraList[0]->name, "NCAMERA0");
  def.tag = 4;
  send(bytesOf(def));
  ASSERT_EQ(editor.cameraList.size(), 1u);
  EXPECT_EQ(editor.cameraList[0]->tag, 4);
}

TEST_F(EditorProtocolTest, CameraIndicesThatNameNoCameraAreIgnored) {
  editor.newTrackCamera()->position = {5, 0, 0};
  for (const int index : {-1, 1, 1 << 30}) {
    Bytes p = packet(20, 8);
    putI32(p, 4, index);
    send(p);
    p[0] = 55;
    send(p);
  }
  EXPECT_EQ(editor.cameraList.size(), 1u);
  EXPECT_TRUE(replies.empty());
  EXPECT_NE(editor.editorCamera->position.x, 5);

  send(packet(20, 8));
  EXPECT_EQ(editor.editorCamera->position.x, 5);
  send(packet(55, 8));
  EXPECT_TRUE(editor.cameraList.empty());
  EXPECT_EQ(replyCodes(), std::vector<int>{18});
}

class EditorMaterialProtocolTest : public EditorProtocolTest {
 protected:
  EditorMaterialProtocolTest() {
    g = geometry("G", editor.rootFrame);
    m = g->material;
    editor.renderer->selectedGeometry = g;
  }
  // The material as the core sends it.
  SZMFMaterialDef current() {
    replies.clear();
    editor.sendMaterialDef(m);
    return recordOf<SZMFMaterialDef>(replies.back());
  }
  ZGeometry* g;
  ZMaterial* m;
};

TEST_F(EditorMaterialProtocolTest, MaterialRoundTripsAndSetsEveryField) {
  SZMFMaterialDef def = current();
  EXPECT_EQ(fieldText(def.textures[0]), "-");
  EXPECT_EQ(fieldText(def.effectName), "");
  def.diffuse[0] = 0.25f;
  def.ambient[0] = 0.125f;  // set after the diffuse colour, which also sets ambient
  def.specular[2] = 0.5f;
  def.emissive[1] = 0.75f;
  def.opacity = 0.5f;
  def.specularPower = 33;
  def.alphaTest = def.alphaBlend = 1;
  def.alphaRef = 200;
  def.layerActive[1] = 1;
  def.doubleFaced = def.noZWrite = def.transparent = def.castShadow = 1;
  def.useZBuffer = 0;
  send(bytesOf(def));
  EXPECT_NE(log.text().find("diffuse (0.250000,"), std::string::npos);
  const SZMFMaterialDef back = current();
  EXPECT_EQ(float(back.diffuse[0]), 0.25f);
  EXPECT_EQ(float(back.ambient[0]), 0.125f);
  EXPECT_EQ(float(back.specular[2]), 0.5f);
  EXPECT_EQ(float(back.emissive[1]), 0.75f);
  EXPECT_EQ(float(back.opacity), 0.5f);
  EXPECT_EQ(float(back.specularPower), 33);
  EXPECT_EQ(back.alphaRef, 200);
  EXPECT_TRUE(back.alphaTest && back.alphaBlend && back.layerActive[1] && back.doubleFaced);
  EXPECT_TRUE(back.noZWrite && !back.useZBuffer);
  EXPECT_TRUE(g->transparent && g->castShadow);
}

TEST_F(EditorMaterialProtocolTest, EffectNameUnchangedKeepsTheEffectAndNoneClearsIt) {
  m->effectName = "car.fxo";
  m->effectVars.push_back(std::make_unique<SEffectVariable>());
  m->effectVars.back()->name = "shine";
  SZMFMaterialDef def = current();
  send(bytesOf(def));
  EXPECT_EQ(m->effectName, "car.fxo");
  ASSERT_EQ(m->effectVars.size(), 1u);

  setFieldText(def.effectName, "NONE");
  send(bytesOf(def));
  EXPECT_EQ(m->effectName, "");
  EXPECT_TRUE(m->effectVars.empty());
  EXPECT_EQ(m->effect, nullptr);
}

TEST_F(EditorMaterialProtocolTest, EachLayerFollowsItsOwnNameField) {
  ZTexture* kept = editor.renderer->getTexture("a.tga");
  m->stage(0).texture = kept;
  m->stage(1).texture = editor.renderer->getTexture("b.tga");
  m->stage(2).texture = editor.renderer->getTexture("c.tga");
  m->stage(3).texture = editor.renderer->getTexture("d.tga");
  SZMFMaterialDef def = current();
  EXPECT_EQ(fieldText(def.textures[3]), "d.tga");
  setFieldText(def.textures[1], "e.tga");
  setFieldText(def.textures[2], "");
  setFieldText(def.textures[3], "-");  // layers 3 and 4 are not set by the command
  send(bytesOf(def));
  EXPECT_EQ(m->stage(0).texture, kept);
  ASSERT_NE(m->stage(1).texture, nullptr);
  EXPECT_EQ(m->stage(1).texture->name, "e.tga");
  EXPECT_EQ(m->stage(2).texture, nullptr);
  EXPECT_EQ(m->stage(3).texture->name, "d.tga");
  EXPECT_EQ(log.text().find("Set to null texture"), std::string::npos);

  setFieldText(def.textures[1], "-");
  send(bytesOf(def));
  EXPECT_EQ(m->stage(1).texture, nullptr);
  EXPECT_NE(log.text().find("Set to null texture\n"), std::string::npos);
}

TEST_F(EditorMaterialProtocolTest, StagesRoundTripAndStageIndicesAreChecked) {
  Bytes get = packet(13, 8);
  putI32(get, 4, 3);
  send(get);
  ASSERT_EQ(replyCodes(), std::vector<int>{14});
  SZMFStageDef stage = recordOf<SZMFStageDef>(replies[0]);
  EXPECT_EQ(int32_t(stage.stage), 3);
  stage.colorOp = 7;
  stage.textureAddressV = 3;
  stage.texCoordIndex = 1;
  stage.textureFactor = 0.5f;
  send(bytesOf(stage));
  EXPECT_EQ(m->stage(3).colorOp, 7);
  EXPECT_EQ(m->stage(3).textureAddressV, 3);
  EXPECT_EQ(m->stage(3).texCoordIndex, 1);
  EXPECT_EQ(m->textureFactor, 0.5f);

  replies.clear();
  for (const int bad : {-1, 8, 1 << 30}) {
    putI32(get, 4, bad);
    send(get);
    stage.stage = bad;
    send(bytesOf(stage));
  }
  EXPECT_TRUE(replies.empty());
}

TEST_F(EditorMaterialProtocolTest, VariableListsSetAndSendAtMost32Entries) {
  SZMFVariableList list;
  list.code = 27;
  list.count = 200;  // more than the packet holds: 32 are used
  for (int i = 0; i < 32; ++i) {
    setFieldText(list.names[i], "V" + std::to_string(i));
    list.values[i] = float(i);
  }
  send(bytesOf(list));
  ASSERT_EQ(g->vars.size(), 32u);
  EXPECT_EQ(g->vars[31].name, "V31");
  EXPECT_NE(log.text().find("Setting V31=31.000000\n"), std::string::npos);
  g->vars.push_back({"EXTRA", 1});
  send(packet(28, 1));
  const auto back = recordOf<SZMFVariableList>(replies.back());
  EXPECT_EQ(back.code, 27);
  EXPECT_EQ(back.count, 32);  // the 33rd does not fit
  EXPECT_EQ(fieldText(back.names[5]), "V5");
  EXPECT_EQ(float(back.values[5]), 5);

  m->effectVars.push_back(std::make_unique<SEffectVariable>());
  m->effectVars.back()->name = "gloss";
  list.code = 25;
  list.count = 1;
  setFieldText(list.names[0], "gloss");
  list.values[0] = 0.5f;
  send(bytesOf(list));
  EXPECT_EQ(m->effectVars[0]->value, 0.5f);
  send(packet(26, 1));
  const auto effect = recordOf<SZMFVariableList>(replies.back());
  EXPECT_EQ(effect.code, 25);
  EXPECT_EQ(effect.count, 1);
  EXPECT_EQ(fieldText(effect.names[0]), "gloss");
}

TEST_F(EditorMaterialProtocolTest, WallCheckFollowsTheSelectedGeometry) {
  auto wallCheck = [&] {
    send(packet(50, 1));
    return replies.back();
  };
  EXPECT_EQ(wallCheck(), (Bytes{51, 1}));  // no variable
  send(Bytes{51, 0});
  EXPECT_EQ(wallCheck(), (Bytes{51, 0}));
  send(Bytes{51, 1});
  EXPECT_EQ(wallCheck(), (Bytes{51, 1}));
  editor.renderer->selectedGeometry = nullptr;
  send(Bytes{51, 0});  // no selection: nothing set
  EXPECT_EQ(wallCheck(), (Bytes{51, 1}));
}

TEST_F(EditorProtocolTest, SetHierarchyMovesFramesByName) {
  ZFrame* a = frame("A", editor.rootFrame);
  ZFrame* b = frame("B", editor.rootFrame);
  ZFrame* deep = frame("DEEP", a);
  auto hierarchy = [&](const std::string& parent, const std::string& child) {
    Bytes p = packet(32, 129 + child.size());
    std::memcpy(&p[1], parent.data(), parent.size());
    std::memcpy(&p[129], child.data(), child.size());
    replies.clear();
    send(p);
  };
  hierarchy("B", "MISSING");
  EXPECT_NE(log.text().find("Setting hierarchy MISSING -> B\n"), std::string::npos);
  EXPECT_NE(log.text().find("Can't find objects 0 1\n"), std::string::npos);
  EXPECT_TRUE(replies.empty());

  hierarchy("B", "A");
  ASSERT_EQ(b->children.size(), 1u);
  EXPECT_EQ(b->children[0], a);
  EXPECT_EQ(a->parent, b);
  EXPECT_EQ(editor.rootFrame->children, std::vector<ZFrame*>{b});
  EXPECT_EQ(replyCodes().front(), 3);

  // A frame below itself would cut the sub-tree off the scene as a loop.
  hierarchy("DEEP", "B");
  EXPECT_EQ(editor.rootFrame->children, std::vector<ZFrame*>{b});
  EXPECT_TRUE(deep->children.empty());
  EXPECT_TRUE(replies.empty());
}

TEST_F(EditorProtocolTest, BackgroundReferencesAndFlags) {
  Bytes colour = packet(36, 8);
  colour[4] = 0x10, colour[5] = 0x20, colour[6] = 0x30, colour[7] = 0x40;
  send(colour);
  EXPECT_EQ(editor.backgroundColor, 0xFF102030u);

  SZMFRefDef ref;
  setFieldText(ref.name, "PZTR_PIT1");
  ref.values[0] = 1, ref.values[1] = 2, ref.values[2] = 90;
  send(bytesOf(ref));  // code 40: only the heading of a track point
  EXPECT_EQ(editor.getPhysicRefPos("PZTR_PIT1").x, 0);
  EXPECT_EQ(editor.getPhysicRefPos("PZTR_PIT1d").x, 90);
  setFieldText(ref.name, "PZPH_COLL_SIZE");
  send(bytesOf(ref));
  EXPECT_EQ(editor.getPhysicRefPos("PZPH_COLL_SIZE").y, 2);
  setFieldText(ref.name, "NO_SUCH_POINT");
  send(bytesOf(ref));
  EXPECT_EQ(editor.physicRefs[0].x, 0);  // an unknown name is not the first point

  editor.getPhysicRef("PZTR_PIT1") = {"PZTR_PIT1", 4, 5, 6};
  SZMFRefDef get;
  get.code = 39;
  setFieldText(get.name, "PZTR_PIT1");
  send(bytesOf(get));
  EXPECT_STREQ(editor.selectedRef, "PZTR_PIT1");
  const auto answer = recordOf<SZMFRefDef>(replies.back());
  EXPECT_EQ(answer.code, 40);
  EXPECT_EQ(float(answer.values[0]), 4);
  EXPECT_EQ(float(answer.values[1]), 6);  // z
  EXPECT_EQ(float(answer.values[2]), 90);

  SZMFFlagDef flag;
  flag.guid = 7;
  flag.x = 1;
  send(bytesOf(flag));
  flag.x = 2;
  send(bytesOf(flag));
  ASSERT_EQ(editor.flagDefs.size(), 1u);
  EXPECT_EQ(float(editor.flagDefs[0].x), 2);
  EXPECT_EQ(int32_t(editor.flagDefs[0].guid), 7);
  const std::string text = log.text();
  EXPECT_NE(text.find("returning 0\nguid=7 0\n"), std::string::npos);
  EXPECT_EQ(text.find("returning 0"), text.rfind("returning 0"));  // once: the second updates
}

TEST_F(EditorProtocolTest, LightIsSetNormalisedAndSentBack) {
  editor.renderer->addLight(editor.renderer->getNewLight());
  SZMFLightInfo info;
  info.sunColour[0] = 0.5f;
  info.ambient[2] = 0.25f;
  info.sunDirection[1] = -4;
  send(bytesOf(info));
  const auto back = recordOf<SZMFLightInfo>(replies.back());
  EXPECT_EQ(float(back.sunColour[0]), 0.5f);
  EXPECT_EQ(float(back.ambient[2]), 0.25f);
  EXPECT_EQ(float(back.sunDirection[1]), -1);
  EXPECT_EQ(editor.renderer->activeLights[0]->light.Specular.r, 0.5f);

  info.sunDirection[1] = 0;  // no direction to normalise: the sun keeps its own
  send(bytesOf(info));
  EXPECT_EQ(float(recordOf<SZMFLightInfo>(replies.back()).sunDirection[1]), -1);
}

TEST_F(EditorProtocolTest, CloseAsksTheWindowToClose) {
  send(packet(2, 1));
  EXPECT_TRUE(desktop.windowClosed);
}

// Every command's packet one byte short of its layout, and a lone code byte, is refused before
// it reads anything. The buffers are exactly as long as sent, so under the address sanitiser a
// read past the end fails the test.
TEST_F(EditorProtocolTest, PacketsShorterThanTheirLayoutAreRefused) {
  geometry("G", editor.rootFrame);
  editor.renderer->selectedGeometry = editor.rootFrame->geometries[0];
  const struct {
    int code;
    size_t layout;
  } layouts[] = {{1, 1010}, {5, 80},    {6, 12},   {7, 1612}, {8, 8},     {13, 8},    {14, 64},
                 {15, 2},   {16, 16},   {19, 100}, {20, 8},   {25, 1156}, {27, 1156}, {29, 8},
                 {30, 12},  {31, 1009}, {32, 129}, {34, 8},   {36, 8},    {39, 80},   {40, 80},
                 {49, 16},  {51, 2},    {52, 8},   {55, 8},   {57, 40},   {58, 8},    {61, 28}};
  for (const auto& l : layouts) {
    for (const size_t size : {size_t(1), l.layout - 1}) {
      const std::string before = log.text();
      send(packet(l.code, size));
      const std::string refusal = "Command " + std::to_string(l.code) +
                                  " refused: " + std::to_string(size) +
                                  " bytes, its layout takes " + std::to_string(l.layout) + "\n";
      EXPECT_NE(log.text().find(refusal, before.size()), std::string::npos) << l.code;
    }
  }
  EXPECT_TRUE(replies.empty());
  EXPECT_TRUE(editor.cameraList.empty());
  EXPECT_TRUE(editor.flagDefs.empty());
  EXPECT_EQ(editor.backgroundColor, 0u);
}

TEST_F(EditorProtocolTest, TextsStopAtTheirFieldOrThePacketEnd) {
  // A reference name of 67 characters without a NUL: only the first 63 are used.
  SZMFRefDef get;
  get.code = 39;
  std::memset(get.name, 'X', sizeof get.name);
  send(bytesOf(get));
  EXPECT_EQ(std::string(editor.selectedRef), std::string(63, 'X'));

  // A parent name filling its whole 128-byte field, a child name running to the packet's end.
  frame(std::string(128, 'P'), editor.rootFrame);
  frame("CHILD", editor.rootFrame);
  Bytes p = packet(32, 134);
  std::memset(&p[1], 'P', 128);
  std::memcpy(&p[129], "CHILD", 5);
  send(p);
  EXPECT_EQ(editor.rootFrame->children.size(), 1u);
  EXPECT_EQ(editor.rootFrame->children[0]->children[0]->name, "CHILD");
}

// Commands that change the model, its points, cameras, flags or lights count as edits; those that
// only read, select, export or change the view (background, shadow overlay) do not.
TEST_F(EditorProtocolTest, EditsBumpTheModificationCount) {
  geometry("G", editor.rootFrame);
  const struct {
    Bytes packet;
    bool edits;
  } cases[] = {{packet(13, 8), false},         {packet(17, 1), false}, {packet(50, 1), false},
               {packet(26, 1), false},         {packet(6, 12), false}, {packet(37, 1), false},
               {packet(36, 8), false},         {packet(15, 2), false}, {packet(16, 16), true},
               {bytesOf(SZMFFlagDef()), true}, {packet(22, 1), true}};
  for (const auto& c : cases) {
    const uint64_t before = editor.modificationCount;
    send(c.packet);
    EXPECT_EQ(editor.modificationCount != before, c.edits) << int(c.packet[0]);
  }
  const uint64_t before = editor.modificationCount;
  editor.onKeyPressed('p');  // shaders on or off: a view setting
  EXPECT_EQ(editor.modificationCount, before);
  editor.renderer->selectedGeometry = editor.rootFrame->geometries[0];
  editor.onKeyPressed('d');  // the mesh out of the model
  EXPECT_GT(editor.modificationCount, before);
}

}  // namespace
