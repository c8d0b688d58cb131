#include "render/ZVertexBuffer.h"

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ScopedDesktop.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kShaderStride = 44;

// A mesh of the engine with `count` vertices along x and the given faces.
ZGeometry* makeMesh(ZCorvane& engine, const std::string& name, int count,
                    const std::vector<std::array<int, 3>>& faces) {
  ZGeometry* g = engine.getNewGeometry();
  g->name = name;
  for (int i = 0; i < count; ++i) g->addVertex(ZVector(float(i), float(i % 2), 0));
  for (const auto& f : faces) g->addTriangle(f[0], f[1], f[2]);
  return g;
}

// Appends count zeroed records to a vertex buffer.
void fill(ZVertexBuffer& buffer, int32_t count) {
  const std::vector<uint8_t> bytes(size_t(count) * kShaderStride, 0);
  ASSERT_TRUE(buffer.addVertices(bytes.data(), kShaderStride, count));
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// --- the pool arithmetic, headless ---

struct VertexBufferHeadless : ::testing::Test {
  CaptureLog log;
  ScopedDesktop desktop;
  ZCorvane engine;
};

TEST_F(VertexBufferHeadless, VertexBufferIsReusedOnlyStrictlyBelowTheLimit) {
  struct Case {
    int32_t held, request;
    bool reused;
  };
  for (const Case c : {Case{60, 39, true}, Case{60, 40, false}, Case{60, 41, false},
                       Case{0, 99, true}, Case{99, 0, true}, Case{99, 1, false}}) {
    ZCorvane local;
    local.maxVertexIndex = 100;
    ZVertexBuffer* first = local.getVertexBuffer(D3DFVF_CVSVERTEX, c.held);
    fill(*first, c.held);
    ZVertexBuffer* next = local.getVertexBuffer(D3DFVF_CVSVERTEX, c.request);
    EXPECT_EQ(next == first, c.reused) << c.held << " + " << c.request;
    EXPECT_EQ(local.vertexBuffers.size(), c.reused ? 1u : 2u);
  }
  EXPECT_NE(log.text().find("\nNEW VB 262674 D3DFVF_CVSVERTEX=262674 274\n"), std::string::npos);
}

TEST_F(VertexBufferHeadless, FormatsNeverShareAndClosedBuffersAreNeverChosen) {
  ZVertexBuffer* shader = engine.getVertexBuffer(D3DFVF_CVSVERTEX, 3);
  ZVertexBuffer* plain = engine.getVertexBuffer(D3DFVF_CVVERTEX, 3);
  ZVertexBuffer* lightmapped = engine.getVertexBuffer(D3DFVF_CVLMVERTEX, 3);
  EXPECT_NE(shader, plain);
  EXPECT_NE(plain, lightmapped);
  EXPECT_NE(shader, lightmapped);
  EXPECT_EQ(engine.getVertexBuffer(D3DFVF_CVVERTEX, 3), plain);

  shader->closed = true;
  ZVertexBuffer* fresh = engine.getVertexBuffer(D3DFVF_CVSVERTEX, 3);
  EXPECT_NE(fresh, shader);
  EXPECT_EQ(engine.getVertexBuffer(D3DFVF_CVSVERTEX, 3), fresh);
  EXPECT_EQ(engine.vertexBuffers.size(), 4u);
}

TEST_F(VertexBufferHeadless, IndexBufferOpensANewOneWhenTheRequestReachesTheCapacity) {
  ZVertexBuffer* first = engine.getIndexBuffer(10);
  EXPECT_TRUE(first->isIndexBuffer);
  EXPECT_EQ(first->fvf, 0u);
  first->usedIndices = 299998;
  EXPECT_EQ(engine.getIndexBuffer(1), first);  // 299999 < 300000
  first->usedIndices = 299999;
  ZVertexBuffer* second = engine.getIndexBuffer(1);  // 300000 is not below 300000
  EXPECT_NE(second, first);
  EXPECT_EQ(second->usedIndices, 0u);
  EXPECT_EQ(countOf(log.text(), "CREATING NEW INDEX BUFFER\n"), 2u);
  EXPECT_TRUE(desktop.messages.empty());

  // A request above the capacity is reported but still answered.
  EXPECT_NE(engine.getIndexBuffer(300001), nullptr);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text,
            "ZCorvane::getIndexBuffer(300001) with maxIndexBufferSize=300000");
  EXPECT_EQ(desktop.messages[0].caption, "Corvane");
}

TEST_F(VertexBufferHeadless, AddVertexKeepsOneStridePerBuffer) {
  ZVertexBuffer* vb = engine.getVertexBuffer(D3DFVF_CVVERTEX, 2);
  const uint8_t record[44] = {};
  EXPECT_TRUE(vb->addVertex(record, 32));
  EXPECT_EQ(vb->stride, 32);
  EXPECT_FALSE(vb->addVertex(record, 44));
  EXPECT_FALSE(vb->addVertex(record, 0));
  EXPECT_EQ(vb->vertexCount(), 1);
  EXPECT_FALSE(engine.getIndexBuffer(3)->addVertex(record, 32));
}

TEST_F(VertexBufferHeadless, CompileCollectsVerticesAndIndexRangesWithoutADevice) {
  ZGeometry* a = makeMesh(engine, "a", 3, {{0, 1, 2}});
  ZGeometry* b = makeMesh(engine, "b", 4, {{0, 1, 2}, {0, 2, 3}});
  a->compile();
  b->compile();
  ASSERT_TRUE(a->compiled);
  ASSERT_TRUE(b->compiled);
  ASSERT_EQ(a->vertexBuffer, b->vertexBuffer);
  ASSERT_EQ(a->indexBuffer, b->indexBuffer);
  EXPECT_EQ(a->baseVertex, 0);
  EXPECT_EQ(b->baseVertex, 3);
  EXPECT_EQ(a->startIndex, 0);
  EXPECT_EQ(b->startIndex, 3);
  EXPECT_EQ(b->indexBuffer->usedIndices, 9u);
  EXPECT_EQ(b->indexBuffer->deviceIndexBuffer, nullptr);
  EXPECT_EQ(b->vertexCount, 4);
  EXPECT_EQ(b->triangleCount, 2);

  ZVertexBuffer* vb = a->vertexBuffer;
  EXPECT_EQ(vb->vertexCount(), 7);
  ASSERT_EQ(vb->pendingVertices.size(), 7u * kShaderStride);
  float second[11];  // b's vertex 1: position (1, 1, 0)
  std::memcpy(second, vb->pendingVertices.data() + 4 * kShaderStride, sizeof(second));
  EXPECT_EQ(second[0], 1);
  EXPECT_EQ(second[1], 1);
  EXPECT_EQ(second[2], 0);

  vb->finalise(true);  // nothing to upload headless: the vertices stay
  EXPECT_EQ(vb->deviceBuffer, nullptr);
  EXPECT_EQ(vb->pendingVertices.size(), 7u * kShaderStride);
  EXPECT_FALSE(vb->closed);
  b->draw(true);  // headless: nothing, and no crash
  EXPECT_EQ(engine.transparentList.size(), 0u);
}

TEST_F(VertexBufferHeadless, CompileOfAnEmptyMeshWarnsAndACompiledMeshIsNotCompiledAgain) {
  ZGeometry* empty = makeMesh(engine, "void", 0, {});
  empty->compile();
  EXPECT_FALSE(empty->compiled);
  EXPECT_NE(log.text().find("Warning: void has 0 vertices\n"), std::string::npos);
  EXPECT_TRUE(engine.vertexBuffers.empty());

  ZGeometry* g = makeMesh(engine, "tri", 3, {{0, 1, 2}});
  g->compile();
  g->compile();
  EXPECT_EQ(countOf(log.text(), "Compiling tri"), 1u);
  EXPECT_EQ(g->vertexBuffer->vertexCount(), 3);
  EXPECT_EQ(g->indexBuffer->usedIndices, 3u);
}

TEST_F(VertexBufferHeadless, MeshesTooLargeFor16BitIndicesAreCompiledInPieces) {
  struct Case {
    const char* what;
    int vertices;
    std::vector<std::array<int, 3>> faces;
    int32_t maxVertexIndex;
    int32_t maxIndexBufferSize;
    size_t pieces;
  };
  std::vector<std::array<int, 3>> strip;  // every face brings a new vertex
  for (int i = 0; i + 2 < 70000; ++i) strip.push_back({i, i + 1, i + 2});
  const Case cases[] = {
      {"over 65536 vertices, few used", 65537, {{0, 1, 65536}}, 0xFFFFFF, 300000, 1},
      {"over 65536 vertices, all used", 70000, strip, 0xFFFFFF, 300000, 2},
      {"over maxVertexIndex", 11, {{0, 1, 2}, {8, 9, 10}}, 5, 300000, 2},
      {"over maxIndexBufferSize", 4, std::vector<std::array<int, 3>>(11, {0, 1, 2}), 65530, 30,
       2},
      {"a face out of range is left out", 70000, {{0, 1, 2}, {0, 1, 70000}}, 0xFFFFFF, 300000,
       1},
  };
  for (const Case& c : cases) {
    ScopedDesktop silent;
    CaptureLog captured;
    ZCorvane local;
    local.maxVertexIndex = c.maxVertexIndex;
    local.maxIndexBufferSize = c.maxIndexBufferSize;
    ZGeometry* g = makeMesh(local, "big", c.vertices, c.faces);
    g->compile();
    ASSERT_TRUE(g->compiled) << c.what;
    EXPECT_NE(captured.text().find("big drawn in"), std::string::npos) << c.what;
    ASSERT_EQ(g->pieces.size(), c.pieces) << c.what;
    int64_t triangles = 0;
    for (const SGeometryPiece& piece : g->pieces) {
      EXPECT_LE(piece.vertexCount, std::min(65536, c.maxVertexIndex)) << c.what;
      EXPECT_LE(piece.triangleCount * 3, c.maxIndexBufferSize) << c.what;
      EXPECT_EQ(size_t(piece.vertexCount), piece.sourceVertices.size()) << c.what;
      triangles += piece.triangleCount;
    }
    int64_t inRange = 0;
    for (const SFace& f : g->faces) inRange += g->isFaceInRange(f);
    EXPECT_EQ(triangles, inRange) << c.what;
    EXPECT_TRUE(silent.messages.empty()) << c.what;
  }
  // A mesh that fits stays one piece holding every vertex: exactly 65536 vertices and exactly
  // maxIndexBufferSize indices.
  engine.maxVertexIndex = 0xFFFFFF;
  engine.maxIndexBufferSize = 30;
  ZGeometry* edge = makeMesh(engine, "edge", 65536, {{0, 1, 65535}});
  ZGeometry* full = makeMesh(engine, "full", 3, std::vector<std::array<int, 3>>(10, {0, 1, 2}));
  edge->compile();
  full->compile();
  ASSERT_EQ(edge->pieces.size(), 1u);
  EXPECT_TRUE(edge->pieces[0].sourceVertices.empty());
  EXPECT_EQ(edge->pieces[0].vertexCount, 65536);
  ASSERT_EQ(full->pieces.size(), 1u);
  EXPECT_NE(full->indexBuffer, edge->indexBuffer);
  // No piece can hold a face when the limits are below one triangle.
  CaptureLog captured;
  engine.maxIndexBufferSize = 2;
  ZGeometry* none = makeMesh(engine, "none", 3, {{0, 1, 2}});
  none->compile();
  EXPECT_FALSE(none->compiled);
  EXPECT_NE(captured.text().find("none is too large to draw"), std::string::npos);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(VertexBufferHeadless, FrameCompileCompilesTheSubTreeOnce) {
  ZFrame* root = engine.getNewFrame();
  ZFrame* child = engine.getNewFrame();
  ZFrame* bare = engine.getNewFrame();
  root->addChild(child);
  root->addChild(bare);
  ZGeometry* a = makeMesh(engine, "a", 3, {{0, 1, 2}});
  ZGeometry* b = makeMesh(engine, "b", 3, {{0, 1, 2}});
  root->addGeometry(a);
  child->addGeometry(b);
  root->compile();
  EXPECT_TRUE(root->compiled);
  EXPECT_TRUE(child->compiled);
  EXPECT_FALSE(bare->compiled);
  EXPECT_TRUE(a->compiled);
  EXPECT_TRUE(b->compiled);
  const std::string text = log.text();
  EXPECT_EQ(countOf(text, "no geoms and no children\n"), 1u);
  EXPECT_EQ(countOf(text, "ZFrame::compile2 done in "), 1u);  // the root only
  root->compile();
  EXPECT_EQ(countOf(log.text(), "Already compiled\n"), 1u);
  EXPECT_EQ(a->vertexBuffer->vertexCount(), 6);

  // Headless there is no matrix stack: the root is counted and nothing is drawn.
  root->render(true, -1, -1);
  EXPECT_EQ(engine.frameStatistics.frames, 1);
  EXPECT_EQ(engine.frameStatistics.geometries, 1);
}

// --- with a device ---

class VertexBufferGL : public EngineTest {
 protected:
  // Draws root over a black screen with identity transforms, unlit, in the vertices' colour
  // (white), without materials.
  void renderUnlit(ZFrame* root) {
    IDirect3DDevice9* device = engine->device;
    engine->loadIdentity();
    engine->setWorldMatrix(ZMatrix());
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
    device->BeginScene();
    root->render(false, -1, -1);
    device->EndScene();
  }

  // The index buffer's 16-bit values from first, count of them.
  std::vector<uint16_t> indices(ZVertexBuffer& ib, uint32_t first, uint32_t count) {
    void* data = nullptr;
    if (ib.deviceIndexBuffer->Lock(first * 2, count * 2, &data, 0) != D3D_OK) {
      ADD_FAILURE() << "indices " << first << ".." << first + count << " cannot be read";
      return {};
    }
    std::vector<uint16_t> out(count);
    std::memcpy(out.data(), data, count * 2);
    ib.deviceIndexBuffer->Unlock();
    return out;
  }
  // Position of vertex i of the device vertex buffer.
  ZVector devicePosition(ZVertexBuffer& vb, int32_t i) {
    void* data = nullptr;
    if (vb.deviceBuffer->Lock(UINT(i * vb.stride), 12, &data, 0) != D3D_OK) {
      ADD_FAILURE() << "device vertex " << i << " cannot be read";
      return ZVector(NAN, NAN, NAN);
    }
    ZVector p;
    std::memcpy(&p, data, 12);
    vb.deviceBuffer->Unlock();
    return p;
  }
  ScopedDesktop desktop;
};

TEST_F(VertexBufferGL, TwoMeshesShareBuffersWithTheirOwnRelativeIndices) {
  ZGeometry* a = makeMesh(*engine, "a", 3, {{0, 1, 2}});
  // Face 1 names vertex 7 of a 4-vertex mesh: it must not reach another mesh's vertices.
  ZGeometry* b = makeMesh(*engine, "b", 4, {{0, 1, 2}, {0, 7, 3}, {3, 2, 1}});
  a->compile();
  b->compile();
  ASSERT_TRUE(b->compiled);
  EXPECT_EQ(b->baseVertex, 3);
  EXPECT_EQ(b->startIndex, 3);
  ASSERT_NE(b->indexBuffer->deviceIndexBuffer, nullptr);
  EXPECT_EQ(indices(*b->indexBuffer, 0, 12),
            (std::vector<uint16_t>{0, 1, 2, 0, 1, 2, 0, 0, 0, 3, 2, 1}));
  EXPECT_EQ(b->indexBuffer->usedIndices, 12u);
}

TEST_F(VertexBufferGL, FinaliseUploadsRebuildsAndClosesWhenTheSourceIsFreed) {
  ZGeometry* a = makeMesh(*engine, "a", 3, {{0, 1, 2}});
  a->compile();
  ZVertexBuffer* vb = a->vertexBuffer;
  engine->finaliseVertexBuffers(false);
  std::string text = log.text();
  EXPECT_NE(text.find("finalising VB 44 0Mb\n"), std::string::npos);
  EXPECT_NE(text.find("ZCorvane::finaliseVertexBuffers done in "), std::string::npos);
  ASSERT_NE(vb->deviceBuffer, nullptr);
  EXPECT_EQ(vb->declaration, engine->vertexDeclaration);
  EXPECT_EQ(vb->deviceVertexCount(), 3);
  EXPECT_EQ(devicePosition(*vb, 2).x, 2);

  // Kept source: a later mesh joins the buffer and a second finalise rebuilds it whole.
  ZGeometry* b = makeMesh(*engine, "b", 3, {{0, 1, 2}});
  b->compile();
  ASSERT_EQ(b->vertexBuffer, vb);
  EXPECT_EQ(vb->deviceVertexCount(), 3);
  engine->finaliseVertexBuffers(true);
  EXPECT_NE(log.text().find("Already finalised\n"), std::string::npos);
  EXPECT_EQ(vb->deviceVertexCount(), 6);
  EXPECT_EQ(devicePosition(*vb, 4).x, 1);

  // Freed source: the buffer keeps its count, closes, and is neither rebuilt nor reused.
  EXPECT_TRUE(vb->pendingVertices.empty());
  EXPECT_TRUE(vb->closed);
  EXPECT_EQ(vb->vertexCount(), 6);
  IDirect3DVertexBuffer9* uploaded = vb->deviceBuffer;
  ZGeometry* c = makeMesh(*engine, "c", 3, {{0, 1, 2}});
  c->compile();
  EXPECT_NE(c->vertexBuffer, vb);
  EXPECT_EQ(c->baseVertex, 0);
  engine->finaliseVertexBuffers(true);
  EXPECT_NE(log.text().find("VB is closed, returning\n"), std::string::npos);
  EXPECT_EQ(vb->deviceBuffer, uploaded);
  EXPECT_EQ(devicePosition(*vb, 4).x, 1);

  engine->getIndexBuffer(3)->finalise(true);
  EXPECT_NE(log.text().find("IndexBuffer, nothing to finalise\n"), std::string::npos);
}

TEST_F(VertexBufferGL, RecompileRewritesTheMeshInPlaceBeforeAndAfterTheSourceIsFreed) {
  ZGeometry* a = makeMesh(*engine, "a", 3, {{0, 1, 2}});
  ZGeometry* b = makeMesh(*engine, "b", 3, {{0, 1, 2}});
  a->compile();
  b->compile();
  engine->finaliseVertexBuffers(false);
  ZVertexBuffer* vb = b->vertexBuffer;

  b->vertices[1].position = ZVector(5, 6, 7);
  b->recompile();
  const ZVector moved = devicePosition(*vb, 4);
  EXPECT_EQ(moved.x, 5);
  EXPECT_EQ(moved.y, 6);
  EXPECT_EQ(moved.z, 7);
  // The kept copy has the edit too, so a rebuild does not bring the old vertex back.
  engine->finaliseVertexBuffers(true);
  ASSERT_TRUE(vb->closed);
  EXPECT_EQ(devicePosition(*vb, 4).x, 5);

  // With the source freed the device copy is the only one, and is rewritten in place.
  b->vertices[1].position = ZVector(8, 6, 7);
  b->recompile();
  EXPECT_EQ(devicePosition(*vb, 4).x, 8);
  EXPECT_EQ(devicePosition(*vb, 1).x, 1);  // a is untouched

  // A mesh that gained a vertex no longer fits its slot: the next mesh's vertices stay.
  a->addVertex(ZVector(9, 9, 9));
  a->recompile();
  EXPECT_NE(log.text().find("a has 4 vertices, compiled with 3"), std::string::npos);
  EXPECT_EQ(devicePosition(*vb, 3).x, 0);
}

TEST_F(VertexBufferGL, AFailedIndexBufferLeavesTheMeshUncompiledAndTakesNoVertices) {
  // Twice this many bytes is more than the device creates.
  engine->maxIndexBufferSize = 600000000;
  ZGeometry* g = makeMesh(*engine, "g", 3, {{0, 1, 2}});
  g->compile();
  const std::string text = log.text();
  EXPECT_NE(text.find("error creating frame index buffer\n"), std::string::npos);
  EXPECT_NE(text.find("Lock buffer failed in g\n"), std::string::npos);
  EXPECT_FALSE(g->compiled);
  ASSERT_EQ(engine->vertexBuffers.size(), 1u);
  EXPECT_EQ(engine->vertexBuffers[0]->vertexCount(), 0);
}

TEST_F(VertexBufferGL, BindSkipsRedundantStreamAndFormatChanges) {
  ZGeometry* a = makeMesh(*engine, "a", 3, {{0, 1, 2}});
  a->compile();
  ZVertexBuffer* plain = engine->getVertexBuffer(D3DFVF_CVVERTEX, 3);
  const uint8_t records[3 * 32] = {};
  ASSERT_TRUE(plain->addVertices(records, 32, 3));
  engine->finaliseVertexBuffers(false);
  ZVertexBuffer* shader = a->vertexBuffer;

  IDirect3DDevice9* device = engine->device;
  engine->currentVertexBuffer = nullptr;
  engine->currentIndexBuffer = nullptr;
  device->resetCallCounts();
  shader->bind();
  shader->bind();
  EXPECT_EQ(device->callCount(D3DCall::SetStreamSource), 1u);
  EXPECT_EQ(device->callCount(D3DCall::SetVertexDeclaration), 1u);
  EXPECT_EQ(engine->currentVertexBuffer, shader);

  plain->bind();
  EXPECT_EQ(device->callCount(D3DCall::SetFVF), 1u);
  EXPECT_EQ(device->callCount(D3DCall::SetStreamSource), 2u);
  // A rebuilt buffer is a new device buffer: binding it again is not redundant.
  engine->finaliseVertexBuffers(false);
  plain->bind();
  EXPECT_EQ(device->callCount(D3DCall::SetStreamSource), 3u);

  a->indexBuffer->bind();
  a->indexBuffer->bind();
  EXPECT_EQ(device->callCount(D3DCall::SetIndices), 1u);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(VertexBufferGL, DrawUsesOnlyWhatTheDeviceBufferHolds) {
  ZGeometry* a = makeMesh(*engine, "a", 3, {{0, 1, 2}});
  a->compile();
  IDirect3DDevice9* device = engine->device;
  device->resetCallCounts();
  a->draw(false);  // compiled but not finalised: no device vertices yet
  EXPECT_EQ(device->callCount(D3DCall::DrawIndexedPrimitive), 0u);
  engine->finaliseVertexBuffers(false);
  ZGeometry* late = makeMesh(*engine, "late", 3, {{0, 1, 2}});
  late->compile();
  late->draw(false);  // appended after the finalise
  EXPECT_EQ(device->callCount(D3DCall::DrawIndexedPrimitive), 0u);
  a->draw(false);
  EXPECT_EQ(device->callCount(D3DCall::DrawIndexedPrimitive), 1u);
}

TEST_F(VertexBufferGL, RenderStopsAtTheLevelOfDetailLimits) {
  ZFrame* root = engine->getNewFrame();
  root->addGeometry(makeMesh(*engine, "a", 3, {{0, 1, 2}}));
  ZFrame* child = engine->getNewFrame();
  child->addGeometry(makeMesh(*engine, "b", 3, {{0, 1, 2}}));
  root->addChild(child);
  root->setLOD(10, 100);
  root->compile();
  engine->finaliseVertexBuffers(false);
  struct Case {
    float loddist;
    int framesCounted;
    uint64_t draws;
  };
  for (const Case c : {Case{0, 1, 0}, Case{101, 1, 0}, Case{50, 2, 2}}) {
    engine->frameStatistics = {};
    engine->device->resetCallCounts();
    root->render(false, -1, c.loddist);
    // A frame is counted before its own test; a cut frame's children are never reached.
    EXPECT_EQ(engine->frameStatistics.frames, c.framesCounted) << c.loddist;
    EXPECT_EQ(engine->device->callCount(D3DCall::DrawIndexedPrimitive), c.draws) << c.loddist;
  }
}

TEST_F(VertexBufferGL, DrawFollowsTheTransparentAndShadowPassContract) {
  ZGeometry* g = makeMesh(*engine, "g", 3, {{0, 1, 2}});
  g->compile();
  engine->finaliseVertexBuffers(false);
  struct Case {
    const char* what;
    bool transparent, visible, selected, inTransparentPass, inShadowPass, castShadow;
    bool deferred, drawn;
  };
  for (const Case c : {
           Case{"opaque", false, true, false, false, false, false, false, true},
           Case{"hidden", false, false, false, false, false, false, false, false},
           Case{"transparent", true, true, false, false, false, false, true, false},
           Case{"transparent, selected", true, true, true, false, false, false, false, true},
           Case{"transparent pass", true, true, false, true, false, false, false, true},
           Case{"shadow pass, caster", true, true, false, false, true, true, false, true},
           Case{"shadow pass, no caster", false, true, false, false, true, false, false, false},
       }) {
    g->transparent = c.transparent;
    g->visible = c.visible;
    g->castShadow = c.castShadow;
    engine->selectedGeometry = c.selected ? g : nullptr;
    engine->inTransparentPass = c.inTransparentPass;
    engine->inShadowPass = c.inShadowPass;
    engine->clearTransparentBuffer();
    engine->device->resetCallCounts();
    g->draw(false);
    EXPECT_EQ(engine->transparentList.size(), c.deferred ? 1u : 0u) << c.what;
    EXPECT_EQ(engine->device->callCount(D3DCall::DrawIndexedPrimitive), c.drawn ? 1u : 0u)
        << c.what;
  }
  engine->inTransparentPass = engine->inShadowPass = false;
}

TEST_F(VertexBufferGL, RenderCullsByVisibilityOrDistance) {
  ZCamera* camera = engine->getNewCamera();  // at the origin, looking along +z
  camera->apply();
  engine->setCamera(camera);
  ZFrame* root = engine->getNewFrame();
  root->addGeometry(makeMesh(*engine, "g", 3, {{0, 1, 2}}));
  root->compile();
  engine->finaliseVertexBuffers(false);
  struct Case {
    int32_t renderMode;
    float z, maxdist;
    bool drawn;
  };
  for (const Case c : {Case{0, -20, -1, true}, Case{1, -20, -1, false}, Case{2, -20, -1, false},
                       Case{1, 20, -1, true}, Case{2, 20, -1, true}, Case{0, 20, 10, false},
                       Case{0, 20, 30, true}, Case{1, -20, 30, true}}) {
    root->setRenderMode(c.renderMode);
    root->matrix.setPosition(0, 0, c.z);
    engine->device->resetCallCounts();
    root->render(false, c.maxdist, -1);
    EXPECT_EQ(engine->device->callCount(D3DCall::DrawIndexedPrimitive), c.drawn ? 1u : 0u)
        << "mode " << c.renderMode << " z " << c.z << " maxdist " << c.maxdist;
  }
}

TEST_F(VertexBufferGL, AFrameTreeDrawsItsCompiledQuadWhereItsMatricesPutIt) {
  // A quad 0.5 wide in clip space, in a child frame moved right by 0.25 under a root moved
  // right by 0.25: it covers x from 0 to 0.5, the third quarter of the screen.
  ZFrame* root = engine->getNewFrame();
  ZFrame* child = engine->getNewFrame();
  root->addChild(child);
  root->matrix.setPosition(0.25f, 0, 0);
  child->matrix.setPosition(0.25f, 0, 0);
  ZGeometry* quad = newQuad({-0.25f, -0.5f, 0.5f}, {0.25f, -0.5f, 0.5f}, {0.25f, 0.5f, 0.5f},
                            {-0.25f, 0.5f, 0.5f});
  quad->name = "quad";
  child->addGeometry(quad);
  root->compile();
  engine->finaliseVertexBuffers(true);

  renderUnlit(root);

  const Pixel inside = pixel(kWidth * 5 / 8, kHeight / 2);
  EXPECT_EQ(inside.r, 255);
  EXPECT_EQ(inside.g, 255);
  EXPECT_EQ(inside.b, 255);
  for (const int x : {kWidth / 8, kWidth * 3 / 8, kWidth * 7 / 8}) {
    const Pixel outside = pixel(x, kHeight / 2);
    EXPECT_EQ(outside.r + outside.g + outside.b, 0) << x;
  }
  // The stack is back where it was: the world is the identity again.
  for (int i = 0; i < 16; ++i) EXPECT_EQ(engine->world.m[i], ZMatrix().m[i]) << i;
}

// A grid of 300 x 240 cells (72541 vertices, 144000 triangles) over the whole screen: too many
// vertices for 16-bit indices, so it is drawn in pieces, every one of them, and a recompile
// moves every piece's vertices.
TEST_F(VertexBufferGL, AMeshTooLargeForOneIndexRangeIsDrawnWholeInPieces) {
  constexpr int kColumns = 300, kRows = 240;
  ZFrame* root = engine->getNewFrame();
  ZGeometry* grid = engine->getNewGeometry();
  grid->name = "grid";
  for (int y = 0; y <= kRows; ++y) {
    for (int x = 0; x <= kColumns; ++x) {
      grid->addVertex({-1 + 2.0f * float(x) / kColumns, -1 + 2.0f * float(y) / kRows, 0.5f});
    }
  }
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) {
      const int a = y * (kColumns + 1) + x;
      grid->addTriangle(a, a + 1, a + kColumns + 2);
      grid->addTriangle(a, a + kColumns + 2, a + kColumns + 1);
    }
  }
  root->addGeometry(grid);
  root->compile();
  engine->finaliseVertexBuffers(false);
  ASSERT_TRUE(grid->compiled);
  ASSERT_GE(grid->pieces.size(), 2u);

  const auto drawn = [&] {
    engine->device->resetCallCounts();
    renderUnlit(root);
    EXPECT_EQ(engine->device->callCount(D3DCall::DrawIndexedPrimitive), grid->pieces.size());
    int white = 0;
    for (int y = 0; y < kHeight; y += 4) {
      for (int x = 0; x < kWidth; x += 4) white += pixel(x, y).r == 255;
    }
    return white;
  };
  const int cells = (kWidth / 4) * (kHeight / 4);
  EXPECT_EQ(drawn(), cells);  // the whole screen: every piece drew its part

  grid->scale(0.5f, 0.5f, 1);
  grid->recompile();
  const int half = drawn();
  EXPECT_GT(half, cells / 5);
  EXPECT_LT(half, cells / 3);  // a quarter of the screen
}

}  // namespace
