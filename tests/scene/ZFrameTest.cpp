#include "scene/ZFrame.h"

#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

void expectNear(const ZVector& actual, const ZVector& expected, float tolerance = 1e-4f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

bool sameMatrix(const ZMatrix& a, const ZMatrix& b) {
  return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

// World position of every vertex of every mesh of the sub-tree, keyed by mesh.
void collectWorldPoints(const ZFrame* f, std::map<const ZGeometry*, std::vector<ZVector>>& out) {
  for (const ZGeometry* g : f->geometries) {
    for (const SVertex& v : g->vertices) out[g].push_back(f->localToWorld(v.position));
  }
  for (const ZFrame* child : f->children) collectWorldPoints(child, out);
}

std::map<const ZGeometry*, std::vector<ZVector>> worldPoints(const ZFrame* f) {
  std::map<const ZGeometry*, std::vector<ZVector>> out;
  collectWorldPoints(f, out);
  return out;
}

void expectSameWorldPoints(const std::map<const ZGeometry*, std::vector<ZVector>>& before,
                           const std::map<const ZGeometry*, std::vector<ZVector>>& after) {
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [mesh, points] : before) {
    SCOPED_TRACE(mesh->name);
    ASSERT_EQ(after.count(mesh), 1u);
    const std::vector<ZVector>& moved = after.at(mesh);
    ASSERT_EQ(points.size(), moved.size());
    for (size_t i = 0; i < points.size(); ++i) expectNear(moved[i], points[i]);
  }
}

class ZFrameTest : public ::testing::Test {
 protected:
  ZFrame* frame(const char* name, ZFrame* parent = nullptr) {
    ZFrame* f = engine.getNewFrame();
    f->name = name;
    if (parent) parent->addChild(f);
    return f;
  }

  // A mesh of the given points, one triangle per three, added to f (when not null).
  ZGeometry* mesh(ZFrame* f, const char* name, std::initializer_list<ZVector> points) {
    ZGeometry* g = engine.getNewGeometry();
    g->name = name;
    for (const ZVector& p : points) g->addVertex(p);
    for (int i = 0; i + 2 < int(points.size()); i += 3) g->addTriangle(i, i + 1, i + 2);
    if (f) f->addGeometry(g);
    return g;
  }

  // A triangle in the plane z around the z axis.
  ZGeometry* wall(ZFrame* f, const char* name, float z) {
    return mesh(f, name, {{-1, -1, z}, {1, -1, z}, {0, 1, z}});
  }

  ZMaterial* material(bool alphaBlend) {
    ZMaterial* m = engine.getNewMaterial();
    m->alphaBlend = alphaBlend;
    return m;
  }

  ZCorvane engine;
};

TEST_F(ZFrameTest, GetGeometryIgnoresCaseAndSearchesChildrenOnlyWhenRecursive) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  ZFrame* grandchild = frame("grandchild", child);
  ZGeometry* body = mesh(root, "Body", {});
  ZGeometry* wheel = mesh(child, "Wheel", {});
  ZGeometry* nut = mesh(grandchild, "Nut", {});
  mesh(grandchild, "wheel", {});  // later in the walk than the child's own "Wheel"

  struct Case {
    const char* query;
    bool recursive;
    ZGeometry* expected;
  };
  const Case cases[] = {
      {"Body", false, body},    {"bODY", false, body}, {"body", true, body},
      {"Wheel", false, nullptr}, {"WHEEL", true, wheel}, {"nUT", true, nut},
      {"Nut", false, nullptr},   {"Bod", true, nullptr}, {"", true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.query) + (c.recursive ? " recursive" : ""));
    EXPECT_EQ(root->getGeometry(c.query, c.recursive), c.expected);
  }
  EXPECT_EQ(child->getGeometry("NUT", false), nullptr);
  EXPECT_EQ(grandchild->getGeometry("WHEEL", false)->name, "wheel");
}

TEST_F(ZFrameTest, GetFrameMatchesExactNameBelowTheFrameAndMarksItMoveable) {
  ZFrame* root = frame("root");
  ZFrame* arm = frame("Arm", root);
  ZFrame* hand = frame("Hand", arm);
  ZFrame* other = frame("Other", root);
  frame("Hand", other);  // later in the walk

  struct Case {
    const char* query;
    ZFrame* expected;
  };
  const Case cases[] = {{"Hand", hand}, {"Arm", arm}, {"hand", nullptr}, {"root", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    EXPECT_EQ(root->getFrame(c.query), c.expected);
  }
  EXPECT_TRUE(hand->moveable);
  EXPECT_TRUE(arm->moveable);
  EXPECT_FALSE(other->moveable);
  EXPECT_FALSE(other->children[0]->moveable);
  EXPECT_FALSE(root->moveable);
}

TEST_F(ZFrameTest, RemovalsOnlyUnlink) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  ZFrame* grandchild = frame("grandchild", child);
  ZFrame* sibling = frame("sibling", root);
  ZGeometry* a = mesh(grandchild, "a", {});
  ZGeometry* b = mesh(grandchild, "b", {});
  ZGeometry* c = mesh(grandchild, "c", {});
  ZGeometry* stray = mesh(nullptr, "stray", {});

  root->removeGeometry(stray);
  EXPECT_EQ(grandchild->geometries, (std::vector<ZGeometry*>{a, b, c}));
  EXPECT_EQ(root->children, (std::vector<ZFrame*>{child, sibling}));

  root->removeGeometry(b);
  EXPECT_EQ(grandchild->geometries, (std::vector<ZGeometry*>{a, c}));
  EXPECT_EQ(b->name, "b");  // still alive: the engine owns it

  root->removeFrame(grandchild);
  EXPECT_TRUE(child->children.empty());
  EXPECT_EQ(grandchild->parent, child);

  sibling->moveable = true;
  root->releaseFrame("Sibling");
  EXPECT_EQ(root->children.size(), 2u);
  root->releaseFrame("sibling");
  EXPECT_EQ(root->children, (std::vector<ZFrame*>{child}));
  EXPECT_FALSE(sibling->moveable);

  ZFrame* deep = frame("deep", child);
  deep->moveable = true;
  root->releaseFrame("deep");
  EXPECT_TRUE(child->children.empty());
  EXPECT_FALSE(deep->moveable);
}

TEST_F(ZFrameTest, TreeBuildingSetsParentEngineAndRoot) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  ZFrame* grandchild = frame("grandchild", child);
  ZGeometry* g = mesh(nullptr, "g", {});
  g->engine = nullptr;
  grandchild->addGeometry(g);
  EXPECT_EQ(g->engine, &engine);
  EXPECT_EQ(grandchild->parent, child);
  EXPECT_EQ(grandchild->getRoot(), root);
  EXPECT_EQ(root->getRoot(), root);
  EXPECT_EQ(root->getMatrix(), &root->matrix);
}

TEST_F(ZFrameTest, StatisticsAddOverTheSubTreeAndIndexCountIsOwnMeshesOnly) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  mesh(root, "one", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  mesh(child, "two", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}});
  mesh(child, "empty", {});
  frame("leaf", child);

  SFrameStatistics stats;
  root->getStatistics(stats);
  EXPECT_EQ(stats.triangles, 3u);
  EXPECT_EQ(stats.vertices, 9u);
  EXPECT_EQ(stats.frames, 3u);
  EXPECT_EQ(stats.geometries, 3u);
  child->getStatistics(stats);  // adds to what is there
  EXPECT_EQ(stats.triangles, 5u);
  EXPECT_EQ(stats.frames, 5u);

  EXPECT_EQ(root->getIndexCount(), 3);
  EXPECT_EQ(child->getIndexCount(), 6);
}

TEST_F(ZFrameTest, PrintWritesTheIndentedTree) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  mesh(root, "body", {});
  mesh(child, "wheel", {});
  frame("leaf", child);

  CaptureLog log;
  root->print();
  int depth = 1;
  child->print(&depth);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(log.text(),
            "<root>\n\tbody\n\t<child>\n\t\twheel\n\t\t<leaf>\n"
            "\t<child>\n\t\twheel\n\t\t<leaf>\n");
}

TEST_F(ZFrameTest, MovesAndLocalRotations) {
  ZFrame* f = frame("f");
  CaptureLog log;
  f->move(1, 2, 3);
  f->moveStep(ZVector(1, 1, 1));
  f->moveStep(0, 0, 1);
  EXPECT_TRUE(sameMatrix(f->matrix, [] {
    ZMatrix m;
    m.setPosition(2, 3, 5);
    return m;
  }()));
  f->moveForward(2);  // heading is +z
  expectNear(f->getPosition(), {2, 3, 7}, 0);
  EXPECT_EQ(log.text(), "");

  // Element 15 at 0 is reported by the vector forms only.
  f->matrix.m[15] = 0;
  f->move(0, 0, 0);
  EXPECT_EQ(log.text(), "");
  f->move(ZVector(1, 0, 0));
  f->moveForward(1);
  EXPECT_EQ(log.text(), "uffa\nuffa\n");
  f->matrix.m[15] = 1;

  // Rotations turn about the frame's own axes and keep the position.
  f->move(5, 0, 0);
  f->rotateHeadingDEG(90);
  EXPECT_NEAR(std::fabs(f->getHeading().x), 1, 1e-6f);
  expectNear(f->getUp(), {0, 1, 0}, 1e-6f);
  expectNear(f->getPosition(), {5, 0, 0}, 0);
  const ZVector right = f->getRight();
  f->rotatePitchDEG(90);
  expectNear(f->getRight(), right, 1e-6f);
  expectNear(f->getUp(), f->getHeading() % f->getRight(), 1e-6f);  // still a right-handed basis

  ZFrame* g = frame("g");
  ZFrame* h = frame("h");
  g->rotatePitchDEG(37);
  h->rotatePitch(37 * 0.017453292f);
  EXPECT_TRUE(sameMatrix(g->matrix, h->matrix));
  ZFrame* rolled = frame("rolled");
  rolled->rotateRollDEG(90);
  EXPECT_NEAR(std::fabs(rolled->getRight().y), 1, 1e-6f);
  expectNear(rolled->getHeading(), {0, 0, 1}, 1e-6f);
  g->setHeadingUp({1, 0, 0}, {0, 1, 0});
  expectNear(g->getHeading(), {1, 0, 0}, 0);
  expectNear(g->getRight(), {0, 0, -1}, 0);
}

TEST_F(ZFrameTest, ResetRotationKeepsPositionsOverTheSubTree) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  root->rotateHeadingDEG(30);
  root->move(1, 2, 3);
  child->rotateRollDEG(45);
  child->move(4, 5, 6);
  root->resetRotation();
  ZMatrix expectedRoot;
  expectedRoot.setPosition(1, 2, 3);
  ZMatrix expectedChild;
  expectedChild.setPosition(4, 5, 6);
  EXPECT_TRUE(sameMatrix(root->matrix, expectedRoot));
  EXPECT_TRUE(sameMatrix(child->matrix, expectedChild));
}

TEST_F(ZFrameTest, WorldMatrixAppliesTheChildBeforeTheParent) {
  ZFrame* parent = frame("parent");
  ZFrame* child = frame("child", parent);
  parent->rotateHeadingDEG(90);
  parent->move(10, 0, 0);
  child->rotatePitchDEG(90);
  child->move(0, 5, 0);

  const ZVector p(1, 2, 3);
  const ZVector expected =
      parent->matrix.transformPoint(child->matrix.transformPoint(p, false), false);
  const ZVector reversed =
      child->matrix.transformPoint(parent->matrix.transformPoint(p, false), false);
  ASSERT_GT(expected.distance(reversed), 1.0f);  // the case tells the two orders apart

  expectNear(child->getWorldMatrix().transformPoint(p, false), expected);
  expectNear(child->localToWorld(p), expected);
  ZMatrix parentRotation = parent->matrix;
  parentRotation.setPosition(0, 0, 0);
  ZMatrix childRotation = child->matrix;
  childRotation.setPosition(0, 0, 0);
  const ZVector direction(0, 0, 1);
  const ZVector worldDirection =
      parentRotation.transformPoint(childRotation.transformPoint(direction, false), false);
  expectNear(child->localToWorldDirection(direction), worldDirection);

  // Rotations of the ancestors are ignored here.
  expectNear(child->getWorldPosition(), {10, 5, 0}, 0);
  expectNear(parent->getWorldPosition(), {10, 0, 0}, 0);

  for (const ZVector& q : {ZVector(1, 2, 3), ZVector(-4, 0.5f, 7), ZVector(0, 0, 0)}) {
    expectNear(child->worldToLocal(child->localToWorld(q)), q);
    expectNear(child->worldToLocalDirection(child->localToWorldDirection(q)), q);
  }
}

TEST_F(ZFrameTest, RayIntersectFindsTheNearestVisibleOwnMesh) {
  ZFrame* f = frame("f");
  ZGeometry* nearWall = wall(f, "near", 5);
  ZGeometry* farWall = wall(f, "far", 10);
  wall(frame("child", f), "child", 1);  // children are not tested
  ZGeometry* broken = mesh(f, "broken", {{-1, -1, 2}, {1, -1, 2}, {0, 1, 2}});
  broken->addTriangle(0, 1, 7);  // an index past the vertex list is skipped
  broken->faces.erase(broken->faces.begin());

  struct Case {
    const char* label;
    bool nearVisible;
    ZVector origin;
    ZVector direction;
    ZGeometry* expected;
    float distance;
  };
  const Case cases[] = {
      {"front", true, {0, 0, 0}, {0, 0, 1}, nearWall, 5},
      {"near hidden", false, {0, 0, 0}, {0, 0, 1}, farWall, 10},
      {"between", true, {0, 0, 7}, {0, 0, 1}, farWall, 3},
      {"behind", true, {0, 0, 0}, {0, 0, -1}, nullptr, 9999999},
      {"beside", true, {5, 0, 0}, {0, 0, 1}, nullptr, 9999999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    nearWall->visible = c.nearVisible;
    CaptureLog log;
    float distance = -1;
    EXPECT_EQ(f->rayIntersect(c.origin, c.direction, distance), c.expected);
    EXPECT_NEAR(distance, c.distance, 1e-4f);
    EXPECT_EQ(log.text(), c.expected ? "" : "Intersection not found\n");
  }
}

TEST_F(ZFrameTest, SortGeometriesOrdersByBlendEffectKeyAndTexture) {
  // Effect identities only; never dereferenced.
  alignas(ID3DXEffect) unsigned char effectStorage[2][sizeof(ID3DXEffect)];
  ID3DXEffect* effectLow = reinterpret_cast<ID3DXEffect*>(effectStorage[0]);
  ID3DXEffect* effectHigh = reinterpret_cast<ID3DXEffect*>(effectStorage[1]);
  ZTexture* t0 = engine.textures.emplace_back(std::make_unique<ZTexture>(&engine)).get();
  ZTexture* t1 = engine.textures.emplace_back(std::make_unique<ZTexture>(&engine)).get();
  ZTexture* textureLow = std::less<ZTexture*>()(t0, t1) ? t0 : t1;
  ZTexture* textureHigh = textureLow == t0 ? t1 : t0;

  // One mesh to sort: its name and what the order looks at.
  struct MeshCase {
    const char* name;
    bool hasMaterial;
    bool blend;
    ID3DXEffect* effect;
    int32_t sortKey;
    ZTexture* texture;
  };
  const MeshCase meshCases[] = {
      {"blended", true, true, nullptr, 0, nullptr},
      {"effectHigh", true, false, effectHigh, 0, textureLow},
      {"effectLowTextureHigh", true, false, effectLow, 0, textureHigh},
      {"key5", true, false, nullptr, 5, nullptr},
      {"key1TextureHigh", true, false, nullptr, 1, textureHigh},
      {"key1TextureLow", true, false, nullptr, 1, textureLow},
      {"noMaterialKey0", false, false, nullptr, 0, nullptr},
      {"effectLowTextureLow", true, false, effectLow, 9, textureLow},
      {"blendedEffect", true, true, effectLow, 0, nullptr},
  };
  const std::vector<std::string> expected = {
      "effectLowTextureLow", "effectLowTextureHigh", "effectHigh",
      "noMaterialKey0",      "key1TextureLow",       "key1TextureHigh",
      "key5",                "blendedEffect",        "blended"};

  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "reversed input" : "input order");
    ZFrame* f = frame("f");
    std::vector<ZGeometry*> meshes;
    for (const MeshCase& c : meshCases) {
      ZGeometry* g = mesh(nullptr, c.name, {});
      g->sortKey = c.sortKey;
      if (c.hasMaterial) {
        g->material = material(c.blend);
        g->material->effect = c.effect;
        g->material->stage(0).texture = c.texture;
      }
      meshes.push_back(g);
    }
    if (reversed) std::reverse(meshes.begin(), meshes.end());
    for (ZGeometry* g : meshes) f->addGeometry(g);
    ZFrame* child = frame("child", f);
    ZGeometry* childMesh = mesh(child, "blendedChild", {});
    childMesh->material = material(true);
    mesh(child, "plainChild", {});

    f->sortGeometries();
    std::vector<std::string> order;
    for (const ZGeometry* g : f->geometries) order.push_back(g->name);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(child->geometries[0], childMesh);  // not recursive
  }
}

TEST_F(ZFrameTest, SubTreeOperationsReachEveryMesh) {
  alignas(ID3DXEffect) unsigned char effectStorage[sizeof(ID3DXEffect)];
  ID3DXEffect* effect = reinterpret_cast<ID3DXEffect*>(effectStorage);
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  ZFrame* grandchild = frame("grandchild", child);
  ZGeometry* opaque = mesh(root, "opaque", {{1, 1, 1}, {2, 0, 0}, {0, 3, 0}});
  ZGeometry* blended = mesh(child, "blended", {{1, 1, 1}, {2, 0, 0}, {0, 3, 0}});
  ZGeometry* bare = mesh(grandchild, "bare", {{1, 1, 1}, {2, 0, 0}, {0, 3, 0}});
  opaque->material = material(false);
  blended->material = material(true);
  opaque->material->effect = effect;
  blended->material->effect = effect;
  const std::vector<ZGeometry*> all = {opaque, blended, bare};

  EXPECT_TRUE(root->hasTransparent());
  EXPECT_TRUE(child->hasTransparent());
  EXPECT_FALSE(grandchild->hasTransparent());

  root->setShadowCasters();
  EXPECT_TRUE(opaque->castShadow);
  EXPECT_FALSE(blended->castShadow);
  EXPECT_TRUE(bare->castShadow);

  root->clearEffects();
  EXPECT_EQ(opaque->material->effect, nullptr);
  EXPECT_EQ(blended->material->effect, nullptr);

  root->setMaterialFlag(false);
  EXPECT_FALSE(opaque->material->materialFlag);
  EXPECT_FALSE(blended->material->materialFlag);

  root->setGeometryLOD(2, 50);
  root->scaleGeometries(2, 1, 0.5f);
  root->initRadius();
  for (ZGeometry* g : all) {
    SCOPED_TRACE(g->name);
    EXPECT_EQ(g->lodIn, 2);
    EXPECT_EQ(g->lodOut, 50);
    expectNear(g->vertices[0].position, {2, 1, 0.5f}, 0);
    expectNear(g->center, {2, 4.0f / 3, 1.0f / 6});
  }

  for (ZFrame* f : {root, child, grandchild}) f->compiled = true;
  for (ZGeometry* g : all) g->compiled = true;
  child->prepareRecompile();
  EXPECT_TRUE(root->compiled);
  EXPECT_TRUE(opaque->compiled);
  EXPECT_FALSE(child->compiled);
  EXPECT_FALSE(grandchild->compiled);
  EXPECT_FALSE(blended->compiled);
  EXPECT_FALSE(bare->compiled);

  root->setLOD(10, 100);
  root->setRenderMode(2);
  EXPECT_TRUE(root->hasLOD);
  EXPECT_EQ(root->lodIn, 10);
  EXPECT_EQ(root->lodOut, 100);
  EXPECT_EQ(root->renderMode, 2);
}

TEST_F(ZFrameTest, CollapseMergesPlainFramesAndKeepsMoveableAndTransparentOnes) {
  ZFrame* root = frame("root");
  ZFrame* arm = frame("Arm", root);
  ZFrame* hand = frame("Hand", arm);
  ZFrame* grip = frame("Grip", arm);  // moveable grandchild below a frame that merges
  ZFrame* door = frame("Door", root);
  ZFrame* glassHolder = frame("GlassHolder", root);
  ZFrame* glass = frame("Glass", glassHolder);
  ZGeometry* rootMesh = wall(root, "rootMesh", 0);
  ZGeometry* armMesh = wall(arm, "armMesh", 1);
  ZGeometry* handMesh = wall(hand, "handMesh", 2);
  ZGeometry* gripMesh = wall(grip, "gripMesh", 3);
  ZGeometry* doorMesh = wall(door, "doorMesh", 4);
  ZGeometry* glassMesh = wall(glass, "glassMesh", 5);
  glassMesh->material = material(true);

  arm->rotateHeadingDEG(90);
  arm->move(1, 0, 0);
  hand->matrix.m[0] = hand->matrix.m[5] = hand->matrix.m[10] = 2;  // scales by 2
  hand->move(0, 2, 0);
  handMesh->vertices[0].normal = {0, 1, 0};
  grip->rotateRollDEG(30);
  grip->move(0, 0, 3);
  door->move(-1, 0, 0);
  handMesh->engine = nullptr;
  ASSERT_EQ(root->getFrame("Grip"), grip);
  ASSERT_EQ(root->getFrame("Door"), door);
  const ZMatrix gripWorld = grip->getWorldMatrix();
  const auto before = worldPoints(root);

  root->collapseMoveable(nullptr);

  EXPECT_EQ(root->children, (std::vector<ZFrame*>{grip, door, glassHolder}));
  EXPECT_EQ(root->geometries, (std::vector<ZGeometry*>{rootMesh, armMesh, handMesh}));
  EXPECT_EQ(grip->parent, root);
  EXPECT_EQ(grip->geometries, (std::vector<ZGeometry*>{gripMesh}));
  EXPECT_EQ(door->geometries, (std::vector<ZGeometry*>{doorMesh}));
  EXPECT_EQ(glassHolder->children, (std::vector<ZFrame*>{glass}));
  EXPECT_TRUE(arm->geometries.empty());
  EXPECT_TRUE(arm->children.empty());
  EXPECT_TRUE(hand->geometries.empty());
  EXPECT_EQ(handMesh->engine, &engine);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(grip->getWorldMatrix().m[i], gripWorld.m[i], 1e-5f);
  expectSameWorldPoints(before, worldPoints(root));
  // Normals go through the 3x3 parts without renormalising: hand's scale of 2 shows.
  expectNear(handMesh->vertices[0].normal, {0, 2, 0}, 1e-5f);

  // Collapsing into a target moves the frame's meshes into the target's space.
  ZFrame* target = frame("target");
  target->engine = nullptr;
  door->collapseMoveable(target);
  EXPECT_TRUE(door->geometries.empty());
  EXPECT_EQ(target->geometries, (std::vector<ZGeometry*>{doorMesh}));
  EXPECT_EQ(doorMesh->engine, nullptr);
  expectNear(doorMesh->vertices[0].position, {-2, -1, 4}, 0);
}

TEST_F(ZFrameTest, SetPivotPointMovesTheOriginAndKeepsWorldPlaces) {
  struct Case {
    const char* label;
    ZVector position;
    ZVector offset;
    ZVector expectedOffset;
    const char* log;
  };
  const Case cases[] = {
      {"centre at origin", {0, 0, 0}, {0, 0, 0}, {3, 0, 0},
       "center (3.000000,0.000000,0.000000)\nold (0.000000,0.000000,0.000000)\n"
       "New pivot (3.000000,0.000000,0.000000)\n"},
      {"moved, with offset", {1, 2, 0}, {0.5f, 0, 0}, {3.5f, 0, 0},
       "center (4.000000,2.000000,0.000000)\nold (1.000000,2.000000,0.000000)\n"
       "New pivot (3.500000,0.000000,0.000000)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ZFrame* parent = frame("parent");
    ZFrame* f = frame("f", parent);
    ZFrame* child = frame("child", f);
    // Spans x 2..4, centred on y and z.
    mesh(f, "m", {{2, -1, 0}, {4, 1, 0}, {3, 0, 1}, {2, -1, 0}, {4, 1, 0}, {3, 0, -1}});
    wall(child, "childMesh", 1);
    child->move(1, 1, 1);
    f->move(c.position);
    const auto before = worldPoints(parent);

    CaptureLog log;
    ZVector offset = c.offset;
    f->setPivotPoint(offset);
    expectNear(offset, c.expectedOffset, 0);
    expectNear(f->getPosition(), c.position + c.expectedOffset, 0);
    expectNear(f->geometries[0]->vertices[0].position, ZVector(2, -1, 0) - c.expectedOffset, 0);
    expectNear(child->getPosition(), ZVector(1, 1, 1) - c.expectedOffset, 0);
    EXPECT_EQ(log.text(), c.log);
    expectSameWorldPoints(before, worldPoints(parent));
  }
}

TEST_F(ZFrameTest, RotatePivotPointTurnsTheAxesAndKeepsMeshesInPlace) {
  const ZVector anglesCases[] = {{90, 0, 0}, {0, 45, 0}, {0, 0, -30}, {20, 30, 40}};
  for (const ZVector& angles : anglesCases) {
    SCOPED_TRACE(::testing::Message() << angles.x << "," << angles.y << "," << angles.z);
    ZFrame* parent = frame("parent");
    parent->rotateRollDEG(15);
    ZFrame* f = frame("f", parent);
    f->rotateHeadingDEG(30);
    f->move(1, 2, 3);
    mesh(f, "m", {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}, {-1, -1, 2}, {2, 1, -1}, {0, 1, 1}});
    ZFrame* child = frame("child", f);
    child->move(0, 0, 5);
    const ZMatrix oldMatrix = f->matrix;
    const auto before = worldPoints(f);

    f->rotatePivotPoint(angles);

    expectSameWorldPoints(before, worldPoints(f));
    EXPECT_FALSE(sameMatrix(f->matrix, oldMatrix));
    expectNear(f->getPosition(), {1, 2, 3}, 0);
    expectNear(child->getPosition(), {0, 0, 5}, 0);  // children turn with the frame
  }
}

TEST_F(ZFrameTest, RotateGeometriesTurnsMeshesAndPositionsAboutY) {
  ZFrame* root = frame("root");
  ZFrame* child = frame("child", root);
  ZGeometry* rootMesh = mesh(root, "r", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  ZGeometry* childMesh = mesh(child, "c", {{0, 0, 2}, {0, 1, 0}, {1, 0, 0}});
  root->rotateRollDEG(10);
  root->move(1, 0, 0);
  child->move(0, 3, 2);
  const ZMatrix oldRoot = root->matrix;

  auto rotated = [](ZVector v, float degrees) {
    v.rotate2D(degrees);
    return v;
  };
  CaptureLog log;
  root->rotateGeometries(90);
  expectNear(rootMesh->vertices[0].position, rotated({1, 0, 0}, 90), 0);
  expectNear(childMesh->vertices[0].position, rotated({0, 0, 2}, 90), 0);
  expectNear(root->getPosition(), rotated({1, 0, 0}, 90), 0);
  expectNear(child->getPosition(), rotated({0, 3, 2}, 90), 0);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(root->matrix.m[i], oldRoot.m[i]);
  EXPECT_EQ(log.text(), "");

  child->matrix.m[15] = 0;
  child->rotateGeometries(0);
  expectNear(child->getPosition(), rotated({0, 3, 2}, 90), 0);
  EXPECT_EQ(log.text(), "uffa\n");
}

}  // namespace

namespace {

// Four curved grids of 180 x 180 vertices (129 600 in all: enough for helper threads), the
// second frame's meshes in a child frame.
ZFrame* buildGridScene(ZCorvane& engine) {
  constexpr int kSide = 180;
  ZFrame* root = engine.getNewFrame();
  ZFrame* child = engine.getNewFrame();
  root->addChild(child);
  for (int m = 0; m < 4; ++m) {
    ZGeometry* g = engine.getNewGeometry();
    g->name = "grid" + std::to_string(m);
    for (int z = 0; z < kSide; ++z) {
      for (int x = 0; x < kSide; ++x) {
        g->addVertex({float(x), std::sin(float(x * (m + 1)) * 0.05f) * float(z) * 0.01f, float(z)});
        g->setTextureVertex(int(g->vertices.size()) - 1, float(x) * 0.1f, float(z) * 0.07f, 0);
      }
    }
    for (int z = 0; z + 1 < kSide; ++z) {
      for (int x = 0; x + 1 < kSide; ++x) {
        const int i = z * kSide + x;
        g->addTriangle(i, i + kSide, i + 1);
        g->addTriangle(i + 1, i + kSide, i + kSide + 1);
      }
    }
    g->generateNormals();
    (m < 2 ? root : child)->addGeometry(g);
  }
  return root;
}

}  // namespace

// A frame's compile prepares its meshes on helper threads; the buffers and every mesh's frames
// must be those of compiling the meshes one by one.
TEST(ZFrameCompile, PreparingMeshesSideBySideChangesNothing) {
  ZCorvane parallel;
  ZCorvane sequential;
  ZFrame* a = buildGridScene(parallel);
  buildGridScene(sequential);
  a->compile();
  for (const auto& g : sequential.geometries) g->compile();
  ASSERT_EQ(parallel.geometries.size(), sequential.geometries.size());
  for (size_t i = 0; i < parallel.geometries.size(); ++i) {
    const ZGeometry& p = *parallel.geometries[i];
    const ZGeometry& s = *sequential.geometries[i];
    ASSERT_TRUE(p.compiled);
    EXPECT_EQ(p.radius, s.radius);
    ASSERT_EQ(p.vertices.size(), s.vertices.size());
    const size_t bytes = p.vertices.size() * sizeof(SVertex);
    EXPECT_EQ(std::memcmp(p.vertices.data(), s.vertices.data(), bytes), 0) << p.name;
    EXPECT_EQ(std::memcmp(p.faces.data(), s.faces.data(), p.faces.size() * sizeof(SFace)), 0)
        << p.name;
  }
  ASSERT_EQ(parallel.vertexBuffers.size(), sequential.vertexBuffers.size());
  for (size_t i = 0; i < parallel.vertexBuffers.size(); ++i) {
    EXPECT_EQ(parallel.vertexBuffers[i]->pendingVertices,
              sequential.vertexBuffers[i]->pendingVertices);
  }
}
