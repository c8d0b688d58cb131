// The editor's idle frame on a large scene (about a million triangles in 2048 meshes, all casting
// and receiving the sun's shadows, under a sky box) against a plain-GL frame on the same context:
// the same two shadow-map passes into the editor's own shadow-map textures, then the same lit
// pass into the back buffer sampling them, with programs linked from the same effect files, the
// same vertex and index buffers and one glDrawElements per mesh per pass. The editor's frame also
// draws the sky box, the text, the cross-hair and the shadow-map thumbnails; the reference
// clears instead. Both finish the frame (glFinish) before the clock stops. The same editor frame
// through the HDR chain is compared with the plain one.
#include "bench/BenchRatio.h"
#include "bench/BenchScenes.h"
#include "editor/CHeadlessEditHost.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZLog.h"
#include "foundation/ZMatrixD3D.h"
#include "platform/d3dx/EffectProgram.h"
#include "platform/d3dx/EffectSource.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/ZCorvane.h"
#include "render/ZCubeTexture.h"
#include "render/ZTexture.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/TempFolder.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kMeshesPerRow = 64;
constexpr int kMeshCount = kMeshesPerRow * 32;
constexpr int kGrid = 16;  // cells per side: 512 triangles a mesh
constexpr float kSky = 500;

// Everything the reference changes, back as the device left it: the device caches GL state and
// would not send it again.
struct SavedGLState {
  GLint program = 0, framebuffer = 0;
  SavedGLState() {
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  }
  ~SavedGLState() {
    glPopClientAttrib();
    glPopAttrib();
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(framebuffer));
    glUseProgram(GLuint(program));
  }
};

// The first pass of the named technique of an effect file, compiled and linked; 0 on failure.
GLuint linkEffect(const std::string& file, const std::string& technique) {
  EffectSource source;
  std::string error;
  if (!EffectSource::parse(readFileText(file), source, error)) return 0;
  for (const EffectSource::Technique& t : source.techniques) {
    if (t.name == technique && !t.passes.empty()) return linkEffectPass(t.passes[0], error);
  }
  return 0;
}

// The editor with its scene, and the reference's programs and framebuffers.
struct Scene {
  std::unique_ptr<CHeadlessEditHost> host;
  CEditInterface* editor = nullptr;
  ZCorvane* engine = nullptr;
  std::vector<ZGeometry*> meshes;
  size_t triangles = 0;
  std::string error;  // why the scene cannot be measured

  GLuint casterProgram = 0, receiverProgram = 0;
  GLuint shadowFramebuffers[2] = {};
  GLuint shadowSamplers[2] = {};  // the maps' filters and wrapping in the editor's lit pass
  GLuint white = 0;  // what the device binds for a sampler without a texture
  // Uniform locations, looked up once.
  struct {
    GLint worldViewProjection, additive, texture0;
  } caster{};
  struct {
    GLint world, worldViewProjection, lightProjection[2], lightDirection, cameraPosition, diffuse,
        ambient, specular, emissive, specularPower, shadowBias, reflection, texture0, cube,
        shadowMap[2];
  } receiver{};
  // The matrices and light of the editor's frame, as its materials upload them.
  D3DXMATRIX viewProjection, lightViewProjection[2];
  float lightDirection[3] = {}, cameraPosition[3] = {};

  Scene() {
    zlogSetEnabled(false);
    const std::filesystem::path data = findDataFolder();
    if (data.empty()) {
      error = "no data folder";
      return;
    }
    host = std::make_unique<CHeadlessEditHost>(data);
    if (!host->context) {
      error = "no GL context: " + host->contextError;
      return;
    }
    editor = host->editor.get();
    engine = editor->renderer;
    buildScene();
    if (error.empty()) buildReference();
    if (error.empty()) compareWithEditor();
  }

  void buildScene() {
    std::vector<ZMaterial*> materials;
    for (int m = 0; m < 8; ++m) {
      ZMaterial* material = engine->getNewMaterial();
      material->setDiffuse(0.3f + 0.08f * float(m), 0.5f, 0.9f - 0.08f * float(m), true);
      material->initEffect("shadowMap.fxo");
      if (material->effect == nullptr) error = "shadowMap.fxo did not build";
      materials.push_back(material);
    }
    ZFrame* root = engine->getNewFrame();
    for (int k = 0; k < kMeshCount; ++k) {
      ZGeometry* g = engine->getNewGeometry();
      fillCurvedPatch(*g, float(k % kMeshesPerRow) - kMeshesPerRow / 2,
                      -float(k / kMeshesPerRow), kGrid);
      g->setMaterial(materials[size_t(k % 8)]);
      g->castShadow = true;
      root->addGeometry(g);
      meshes.push_back(g);
      triangles += g->faces.size();
    }
    // Six faces of a cube around the camera, moved into the sky box as a load does.
    ZMaterial* skyMaterial = engine->getNewMaterial();
    skyMaterial->setDiffuse(0.4f, 0.6f, 0.9f, true);
    skyMaterial->setDoubleFace(true);
    for (int axis = 0; axis < 3; ++axis) {
      for (const float side : {-kSky, kSky}) {
        ZGeometry* face = engine->getNewGeometry();
        face->name = "SKYBOX" + std::to_string(axis) + (side < 0 ? "-" : "+");
        for (int corner = 0; corner < 4; ++corner) {
          float p[3];
          p[axis] = side;
          p[(axis + 1) % 3] = corner & 1 ? kSky : -kSky;
          p[(axis + 2) % 3] = corner & 2 ? kSky : -kSky;
          face->addVertex({p[0], p[1], p[2]});
        }
        face->addTriangle(0, 1, 3);
        face->addTriangle(0, 3, 2);
        face->generateNormals();
        face->setMaterial(skyMaterial);
        root->addGeometry(face);
      }
    }
    editor->rootFrame = root;
    root->compile();
    root->initRadius();
    editor->initSkybox();
    engine->finaliseVertexBuffers(false);
    editor->editorCamera->move(0, 12, 8);
    editor->editorCamera->setTarget({0, 0, -12});
    if (engine->backBox == nullptr) error = "no sky box";
  }

  void buildReference() {
    for (const ZTexture* map : engine->shadowMaps) {
      if (map == nullptr || map->texture == nullptr || map->colourTarget != nullptr ||
          map->depthSurface == nullptr) {
        error = "shadow maps of an unexpected kind";
        return;
      }
    }
    // A frame sets the shadow matrices, and the camera then gives the view it drew the scene
    // with. Without the thumbnails, which sample the maps as well, the frame leaves the maps with
    // the filters and wrapping of the lit pass.
    editor->showLayers = false;
    editor->onIdle();
    editor->showLayers = true;
    ZCamera& camera = *editor->editorCamera;
    camera.apply();
    const D3DXMATRIX view = toD3DX(engine->view), projection = toD3DX(engine->projection);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    for (int i = 0; i < 2; ++i) lightViewProjection[i] = toD3DX(camera.lightViewProjection[i]);
    const D3DVECTOR& direction = engine->lights.front()->light.Direction;
    lightDirection[0] = direction.x;
    lightDirection[1] = direction.y;
    lightDirection[2] = direction.z;
    cameraPosition[0] = camera.position.x;
    cameraPosition[1] = camera.position.y;
    cameraPosition[2] = camera.position.z;

    // The host has made the data folder current, as the engine loads its effects from there.
    casterProgram = linkEffect("shaders/shadowMapGen.fxo", engine->pipelineName);
    receiverProgram = linkEffect("shaders/shadowMap.fxo", engine->pipelineName);
    if (!casterProgram || !receiverProgram) {
      error = "the effects did not link";
      return;
    }
    const auto in = [](GLuint program) {
      return [program](const char* name) { return glGetUniformLocation(program, name); };
    };
    const auto c = in(casterProgram);
    caster = {c("WorldViewProjection"), c("additive"), c("Texture0")};
    const auto r = in(receiverProgram);
    receiver = {r("World"), r("WorldViewProjection"),
                {r("LightProjectionTSM0"), r("LightProjectionTSM1")}, r("LightDirection"),
                r("CameraPosition"), r("Diffuse"), r("Ambient"), r("Specular"), r("Emissive"),
                r("SpecularPower"), r("ShadowBias"), r("reflection"), r("Texture0"),
                r("CurrentCubeTexture"), {r("ShadowMap0"), r("ShadowMap1")}};

    const SavedGLState saved;
    glGenSamplers(2, shadowSamplers);
    for (int i = 0; i < 2; ++i) {
      const ZTexture& map = *engine->shadowMaps[size_t(i)];
      glBindTexture(GL_TEXTURE_2D, map.texture->glName());
      for (const GLenum parameter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER,
                                     GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
        glSamplerParameteri(shadowSamplers[i], parameter, value);
      }
      glGenFramebuffers(1, &shadowFramebuffers[i]);
      glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffers[i]);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                             map.texture->glName(), 0);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                map.depthSurface->renderbuffer());
      if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "shadow-map framebuffer incomplete";
      }
    }
    glGenTextures(1, &white);
    glBindTexture(GL_TEXTURE_2D, white);
    const uint8_t opaqueWhite[4] = {255, 255, 255, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, opaqueWhite);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }

  std::vector<uint8_t> readShadowMap(int i) {
    const SavedGLState saved;
    const ZTexture& map = *engine->shadowMaps[size_t(i)];
    std::vector<uint8_t> texels(size_t(map.width) * size_t(map.height) * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffers[i]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, map.width, map.height, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
  }

  // Both frames must leave the same depths in both maps (the near one holding casters) and the
  // same colours where the reference drew the scene, bar the editor's overlays.
  void compareWithEditor() {
    editorFrame();
    const std::vector<uint8_t> byEditor[2] = {readShadowMap(0), readShadowMap(1)};
    const std::vector<uint8_t> editorImage = host->readPixels();
    while (glGetError() != GL_NO_ERROR) {
    }
    {
      const SavedGLState saved;
      referenceFrame();
    }
    if (glGetError() != GL_NO_ERROR) {
      error = "the reference frame raised a GL error";
      return;
    }
    size_t differing = 0, casters = 0;
    for (int i = 0; i < 2; ++i) {
      const std::vector<uint8_t> byReference = readShadowMap(i);
      for (size_t t = 0; t < byReference.size(); t += 4) {
        differing += byReference[t] != byEditor[i][t] || byReference[t + 1] != byEditor[i][t + 1] ||
                     byReference[t + 2] != byEditor[i][t + 2];
        casters += i == 0 && byReference[t] != 255;
      }
    }
    if (casters == 0) error = "nothing drawn into the near shadow map";
    if (differing > byEditor[0].size() / 4 / 1000) {
      error = "the reference's shadow maps differ from the editor's in " +
              std::to_string(differing) + " texels";
    }
    const std::vector<uint8_t> image = host->readPixels();
    size_t covered = 0, changed = 0;
    for (size_t p = 0; p < image.size(); p += 4) {
      if (image[p] == 0 && image[p + 1] == 0 && image[p + 2] == 0) continue;
      ++covered;
      changed += image[p] != editorImage[p] || image[p + 1] != editorImage[p + 1] ||
                 image[p + 2] != editorImage[p + 2];
    }
    if (covered == 0 || changed > covered / 100) {
      error = "the reference's image differs from the editor's in " + std::to_string(changed) +
              " of " + std::to_string(covered) + " pixels";
    }
  }

  void editorFrame() {
    editor->onIdle();
    glFinish();
  }

  // Every mesh from the engine's shared buffers: position, normal and t0 of the shader vertex,
  // moved to each mesh's first vertex. The lit pass sends each mesh's material colours.
  void drawMeshes(bool lit) {
    const D3DCOLORVALUE& sun = engine->lights.front()->light.Diffuse;
    const float* ambientLight = engine->ambientColour;
    GLuint vertexBuffer = 0, indexBuffer = 0;
    const ZMaterial* material = nullptr;
    for (const ZGeometry* g : meshes) {
      if (lit && g->material != material) {
        material = g->material;
        const D3DCOLORVALUE& d = material->d3dMaterial.Diffuse;
        const D3DCOLORVALUE& a = material->d3dMaterial.Ambient;
        glUniform3f(receiver.diffuse, sun.r * d.r, sun.g * d.g, sun.b * d.b);
        glUniform3f(receiver.ambient, ambientLight[0] * a.r, ambientLight[1] * a.g,
                    ambientLight[2] * a.b);
      }
      for (const SGeometryPiece& piece : g->pieces) {
        const GLuint vb = piece.vertexBuffer->deviceBuffer->glName();
        const GLuint ib = piece.indexBuffer->deviceIndexBuffer->glName();
        if (vb != vertexBuffer) glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer = vb);
        if (ib != indexBuffer) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer = ib);
        const GLsizei stride = piece.vertexBuffer->stride;
        const auto base =
            reinterpret_cast<const uint8_t*>(size_t(piece.baseVertex) * size_t(stride));
        glVertexPointer(3, GL_FLOAT, stride, base);
        glNormalPointer(GL_FLOAT, stride, base + 12);
        glTexCoordPointer(2, GL_FLOAT, stride, base + 24);
        glDrawElements(GL_TRIANGLES, piece.triangleCount * 3, GL_UNSIGNED_SHORT,
                       reinterpret_cast<const void*>(size_t(piece.startIndex) * 2));
      }
    }
  }

  void referenceFrame() {
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_ALPHA_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glDepthRange(0, 1);
    glClearDepth(1);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDisableClientState(GL_COLOR_ARRAY);
    for (int unit = 1; unit < 8; ++unit) {
      glClientActiveTexture(GLenum(GL_TEXTURE0 + unit));
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    // The maps are not sampled while drawn into.
    for (int unit = 2; unit < 4; ++unit) {
      glActiveTexture(GLenum(GL_TEXTURE0 + unit));
      glBindTexture(GL_TEXTURE_2D, 0);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, white);

    // Shadow passes: the program turns y over for texture targets, so the culled winding turns
    // too, as the device does for them.
    glUseProgram(casterProgram);
    glUniform1f(caster.additive, 1.0f);
    glUniform1i(caster.texture0, 0);
    glFrontFace(GL_CW);
    glClearColor(1, 1, 1, 1);
    for (int i = 0; i < 2; ++i) {
      const ZTexture& map = *engine->shadowMaps[size_t(i)];
      glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffers[i]);
      glViewport(0, 0, map.width, map.height);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      glUniformMatrix4fv(caster.worldViewProjection, 1, GL_FALSE, lightViewProjection[i].m);
      drawMeshes(false);
    }

    // The lit pass, sampling the maps.
    glBindFramebuffer(GL_FRAMEBUFFER, host->context->backBufferFramebuffer());
    glViewport(0, 0, engine->width, engine->height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFrontFace(GL_CCW);
    glUseProgram(receiverProgram);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    glUniformMatrix4fv(receiver.world, 1, GL_FALSE, identity.m);
    glUniformMatrix4fv(receiver.worldViewProjection, 1, GL_FALSE, viewProjection.m);
    for (int i = 0; i < 2; ++i) {
      glUniformMatrix4fv(receiver.lightProjection[i], 1, GL_FALSE, lightViewProjection[i].m);
    }
    glUniform3fv(receiver.lightDirection, 1, lightDirection);
    glUniform3fv(receiver.cameraPosition, 1, cameraPosition);
    // Specular, emissive and power are the same in every material of the scene.
    const ZMaterial& first = *meshes.front()->material;
    const D3DCOLORVALUE& sun = engine->lights.front()->light.Diffuse;
    const D3DCOLORVALUE& s = first.d3dMaterial.Specular;
    const D3DCOLORVALUE& e = first.d3dMaterial.Emissive;
    glUniform4f(receiver.specular, sun.r * s.r, sun.g * s.g, sun.b * s.b, 1);
    glUniform4f(receiver.emissive, e.r, e.g, e.b, e.a);
    glUniform1f(receiver.specularPower, first.d3dMaterial.Power);
    glUniform1f(receiver.shadowBias, engine->shadowBias);
    glUniform1f(receiver.reflection, 0);
    // Units as the effect numbers its samplers: in the order they are declared.
    glUniform1i(receiver.texture0, 0);
    glUniform1i(receiver.cube, 1);
    glUniform1i(receiver.shadowMap[0], 2);
    glUniform1i(receiver.shadowMap[1], 3);
    const IDirect3DCubeTexture9* cube =
        engine->environmentMap != nullptr ? engine->environmentMap->cubeTexture : nullptr;
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube != nullptr ? cube->glName() : 0);
    for (int i = 0; i < 2; ++i) {
      glActiveTexture(GLenum(GL_TEXTURE2 + i));
      glBindTexture(GL_TEXTURE_2D, engine->shadowMaps[size_t(i)]->texture->glName());
      glBindSampler(GLuint(2 + i), shadowSamplers[i]);
    }
    glActiveTexture(GL_TEXTURE0);
    drawMeshes(true);
    glBindSampler(2, 0);
    glBindSampler(3, 0);
    glFinish();
  }
};

Scene& scene() {
  static Scene instance;
  return instance;
}

void BM_EditorIdleFrame(benchmark::State& state) {
  Scene& s = scene();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  s.engine->device->resetCallCounts();
  for (auto _ : state) s.editorFrame();
  // Draw calls the device received per frame: every mesh in each of the three passes, the sky
  // box and the overlays.
  const double draws = double(s.engine->device->callCount(D3DCall::DrawIndexedPrimitive)) /
                       double(state.iterations());
  if (draws < 3.0 * kMeshCount) state.SkipWithError("the editor left meshes undrawn");
  state.counters["draws"] = draws;
  state.counters["triangles"] = double(s.triangles);
  state.counters["meshes"] = double(kMeshCount);
}

// The same frame drawn through the HDR chain (tone map, adaptation, bloom), against the plain
// one above.
void BM_EditorIdleFrameHDR(benchmark::State& state) {
  Scene& s = scene();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  if (!s.editor->setHDR(true)) return state.SkipWithError("no HDR chain on this device");
  s.engine->device->resetCallCounts();
  for (auto _ : state) s.editorFrame();
  s.editor->setHDR(false);
  const double draws = double(s.engine->device->callCount(D3DCall::DrawIndexedPrimitive)) /
                       double(state.iterations());
  if (draws < 3.0 * kMeshCount) state.SkipWithError("the editor left meshes undrawn");
  state.counters["draws"] = draws;
  state.counters["width"] = double(s.engine->width);
  state.counters["height"] = double(s.engine->height);
}

void BM_ReferenceThreePassFrame(benchmark::State& state) {
  Scene& s = scene();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  {
    const SavedGLState saved;
    for (auto _ : state) s.referenceFrame();
  }
  state.counters["draws"] = 3.0 * kMeshCount;
  state.counters["triangles"] = double(s.triangles);
}

BENCHMARK(BM_EditorIdleFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorIdleFrameHDR)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceThreePassFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarksWithRatios(argc, argv,
                                 {{"BM_EditorIdleFrame", "BM_ReferenceThreePassFrame"},
                                  {"BM_EditorIdleFrameHDR", "BM_EditorIdleFrame"}});
}
