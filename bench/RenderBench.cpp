// Frame time of the engine drawing a large scene (about a million triangles in 2048 meshes of
// eight materials) against a minimal reference on the same context and driver: the same vertex
// and index data in plain GL buffers, one glDrawElements per mesh, fixed-function lighting and
// one colour change per mesh. Both finish the frame (glFinish) before the clock stops.
#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "foundation/ZLog.h"
#include "platform/gl/HeadlessGLContext.h"
#include "render/ZCorvane.h"
#include "render/ZSceneRenderer.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 640;
constexpr int kMeshesPerRow = 64;
constexpr int kMeshCount = kMeshesPerRow * 32;
constexpr int kGrid = 16;  // cells per side: 512 triangles a mesh

// The engine, its scene and the reference's copies of the same buffers.
struct Scene {
  std::unique_ptr<HeadlessGLContext> context;
  std::unique_ptr<ZCorvane> engine;
  ZFrame* root = nullptr;
  ZCamera* camera = nullptr;
  GLuint vertexBuffer = 0, indexBuffer = 0;
  size_t triangles = 0;

  Scene() {
    zlogSetEnabled(false);
    std::string error;
    context = HeadlessGLContext::create(kSide, kSide, &error);
    if (!context) {
      std::fprintf(stderr, "no GL context: %s\n", error.c_str());
      return;
    }
    engine = std::make_unique<ZCorvane>();
    engine->width = engine->height = kSide;
    engine->shadersEnabled = false;  // fixed-function, as the reference
    engine->init(static_cast<HWND>(static_cast<GLContext*>(context.get())), 0);
    ZLight* sun = engine->getNewLight();
    engine->addLight(sun);
    engine->setSun(0.8f, 0.3f);
    std::vector<ZMaterial*> materials;
    for (int m = 0; m < 8; ++m) {
      materials.push_back(engine->getNewMaterial());
      materials.back()->setDiffuse(0.3f + 0.08f * float(m), 0.5f, 0.9f - 0.08f * float(m), true);
    }
    root = engine->getNewFrame();
    for (int k = 0; k < kMeshCount; ++k) {
      ZGeometry* g = engine->getNewGeometry();
      fillCurvedPatch(*g, float(k % kMeshesPerRow) - kMeshesPerRow / 2,
                      -float(k / kMeshesPerRow), kGrid);
      g->setMaterial(materials[size_t(k % 8)]);
      root->addGeometry(g);
      triangles += g->faces.size();
    }
    root->compile();
    engine->finaliseVertexBuffers(false);
    camera = engine->getNewCamera();
    camera->aspect = 1;
    camera->farPlane = 200;
    camera->move(0, 12, 8);
    camera->setTarget({0, 0, -12});
    copyBuffersForReference();
  }

  // The reference draws from its own GL buffers holding the engine's vertex bytes and the same
  // 16-bit indices.
  void copyBuffersForReference() {
    const ZVertexBuffer& vb = *engine->vertexBuffers.front();
    glGenBuffers(1, &vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vb.pendingVertices.size()),
                 vb.pendingVertices.data(), GL_STATIC_DRAW);
    std::vector<uint16_t> indices;
    for (const ZGeometry* g : root->geometries) {
      for (const SFace& f : g->faces) {
        indices.insert(indices.end(), {uint16_t(f.a), uint16_t(f.b), uint16_t(f.c)});
      }
    }
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 2), indices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }

  void engineFrame() {
    ZSceneRenderer renderer(engine.get());
    renderer.renderFrame(root, camera);
    glFinish();
  }

  void referenceFrame() {
    glBindFramebuffer(GL_FRAMEBUFFER, context->backBufferFramebuffer());
    glViewport(0, 0, kSide, kSide);
    glUseProgram(0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(engine->projection.m);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(engine->view.m);
    const GLfloat direction[4] = {0.3f, 0.8f, 0.5f, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, direction);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    constexpr GLsizei kStride = 44;
    size_t firstIndex = 0;
    for (const ZGeometry* g : root->geometries) {
      const D3DCOLORVALUE& c = g->material->d3dMaterial.Diffuse;
      glColor3f(c.r, c.g, c.b);
      const auto base = reinterpret_cast<const uint8_t*>(size_t(g->baseVertex) * kStride);
      glVertexPointer(3, GL_FLOAT, kStride, base);
      glNormalPointer(GL_FLOAT, kStride, base + 12);
      const auto count = GLsizei(g->faces.size() * 3);
      glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT,
                     reinterpret_cast<const void*>(firstIndex * 2));
      firstIndex += size_t(count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glFinish();
  }
};

Scene& scene() {
  static Scene instance;
  return instance;
}

void BM_EngineFrame(benchmark::State& state) {
  Scene& s = scene();
  if (!s.engine) return state.SkipWithError("no GL context");
  s.engine->device->resetCallCounts();
  for (auto _ : state) s.engineFrame();
  // Draw calls the device received per frame: every mesh must have been drawn.
  state.counters["draws"] =
      double(s.engine->device->callCount(D3DCall::DrawIndexedPrimitive)) / double(state.iterations());
  state.counters["triangles"] = double(s.triangles);
  state.counters["meshes"] = double(kMeshCount);
}

void BM_ReferenceFrame(benchmark::State& state) {
  Scene& s = scene();
  if (!s.engine) return state.SkipWithError("no GL context");
  for (auto _ : state) s.referenceFrame();
  state.counters["triangles"] = double(s.triangles);
}

BENCHMARK(BM_EngineFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarksWithRatios(argc, argv, {{"BM_EngineFrame", "BM_ReferenceFrame"}});
}
