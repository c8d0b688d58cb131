#include "apps/zmftool/ModelRender.h"

#include "formats/ZModelFile.h"
#include "foundation/ZDataFolder.h"
#include "platform/gl/HeadlessGLContext.h"
#include "render/ZCorvane.h"
#include "render/ZCubeTexture.h"
#include "platform/HeadlessDesktop.h"
#include "render/CHDRLighting.h"
#include "render/ZSceneRenderer.h"
#include "scene/ZBounds.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// Frames drawn before the one kept when the HDR chain adapts to the picture.
constexpr int kAdaptationFrames = 40;

// A floor square under the model that receives its shadow.
ZFrame* makeFloor(ZCorvane& engine, const ZBounds& bounds) {
  const float half = bounds.radius() * 3.0f;
  const ZVector c = bounds.centre();
  const float y = bounds.min.y;
  ZGeometry* floor = engine.getNewGeometry();
  floor->name = "floor";
  floor->addVertex({c.x - half, y, c.z - half});
  floor->addVertex({c.x - half, y, c.z + half});
  floor->addVertex({c.x + half, y, c.z + half});
  floor->addVertex({c.x + half, y, c.z - half});
  floor->addTriangle(0, 1, 2);
  floor->addTriangle(0, 2, 3);
  floor->generateNormals();
  ZMaterial* material = engine.getNewMaterial();
  material->setDiffuse(0.75f, 0.75f, 0.72f, true);
  material->initEffect("shadowMap.fxo");
  floor->setMaterial(material);
  ZFrame* frame = engine.getNewFrame();
  frame->name = "floor";
  frame->addGeometry(floor);
  return frame;
}

// Direction from the model's centre towards the camera for a view.
ZVector viewDirection(const std::string& view) {
  if (view == "left") return {-1, 0.08f, 0};
  if (view == "front") return {0, 0.08f, 1};
  if (view == "top") return {0, 1, 0.02f};
  ZVector d(1.0f, 0.55f, 1.3f);
  d.normalize();
  return d;
}

void frameModel(ZCamera& camera, const ZBounds& bounds, const std::string& view, float aspect) {
  ZVector direction = viewDirection(view);
  direction.normalize();
  camera.aspect = aspect;
  const float halfFov = camera.fov * 0.5f * 3.14159265f / 180.0f;
  const float fit = std::min(std::tan(halfFov), std::tan(halfFov) * aspect);
  const float distance = bounds.radius() / std::sin(std::atan(fit)) * 1.05f;
  const ZVector eye = bounds.centre() + direction * distance;
  camera.move(eye.x, eye.y, eye.z);
  camera.setTarget(bounds.centre());
  camera.nearPlane = std::max(distance - bounds.radius() * 4, distance * 0.01f);
  camera.farPlane = distance + bounds.radius() * 8;
}

bool writePng(const HeadlessGLContext& context, const std::string& path) {
  const std::vector<uint8_t> rgba = context.readPixels();
  return stbi_write_png(path.c_str(), context.width(), context.height(), 4, rgba.data(),
                        context.width() * 4) != 0;
}

}  // namespace

bool isRenderView(const std::string& view) {
  return view == "persp" || view == "left" || view == "top" || view == "front";
}

bool renderModelToPng(const RenderRequest& request) {
  const std::filesystem::path data = findDataFolder();
  if (data.empty()) {
    std::fputs("zmftool: no data folder with shaders/ found (set ZMFEDIT_HOME)\n", stderr);
    return false;
  }
  // Effects and the environment map load relative to the data folder.
  std::error_code error;
  const std::filesystem::path input = std::filesystem::absolute(request.input, error);
  const std::filesystem::path output = std::filesystem::absolute(request.output, error);
  const std::filesystem::path previous = std::filesystem::current_path(error);
  std::filesystem::current_path(data, error);
  if (error) {
    std::fprintf(stderr, "zmftool: %s: cannot enter the data folder\n", data.c_str());
    return false;
  }
  std::string reason;
  std::unique_ptr<HeadlessGLContext> context =
      HeadlessGLContext::create(request.width, request.height, &reason);
  bool ok = false;
  if (context == nullptr) {
    std::fprintf(stderr, "zmftool: no OpenGL context: %s\n", reason.c_str());
  } else {
    auto engine = std::make_unique<ZCorvane>();
    engine->width = request.width;
    engine->height = request.height;
    engine->clearColour = 0xFF8FA8C8;
    LoadedModel model;
    if (!engine->init(static_cast<HWND>(static_cast<GLContext*>(context.get())), 0)) {
      std::fputs("zmftool: the renderer could not start on this OpenGL context\n", stderr);
    } else if (loadModel(input.string(), *engine, request.scale, request.mirrorX, model)) {
      engine->initShadowMaps(1024, 1024);
      engine->environmentMap = std::make_unique<ZCubeTexture>(engine.get());
      engine->environmentMap->load("texture/cube.dds");
      ZBounds bounds;
      bounds.addTree(*model.root);
      if (bounds.empty()) bounds.min = bounds.max = ZVector();
      model.root->setShadowCasters();  // imported meshes do not cast by default
      ZFrame* scene = engine->getNewFrame();
      scene->addChild(model.root);
      scene->addChild(makeFloor(*engine, bounds));
      scene->compile();
      engine->finaliseVertexBuffers(false);
      ZLight* sun = engine->getNewLight();
      engine->addLight(sun);
      engine->setSun(0.85f, 0.6f);
      ZCamera* camera = engine->getNewCamera();
      frameModel(*camera, bounds, request.view, float(request.width) / float(request.height));
      ZSceneRenderer renderer(engine.get());
      renderer.sun = sun;
      renderer.shadowCentre = bounds.centre();
      renderer.shadowSize = bounds.radius() * 2.5f;
      CHDRLighting hdr;
      if (request.hdr && hdr.init(engine.get())) renderer.hdr = &hdr;
      if (renderer.hdr != nullptr) {
        // The eye adapts over a few seconds: frames a tenth of a second apart on a clock of
        // their own, whatever the machine's speed, before the one kept.
        HeadlessDesktop clock(true);
        DesktopHost* realClock = setDesktopHost(&clock);
        for (int i = 1; i <= kAdaptationFrames; ++i) {
          clock.setClockMs(uint32_t(i) * 100);
          renderer.renderFrame(scene, camera);
        }
        setDesktopHost(realClock);
      } else {
        renderer.renderFrame(scene, camera);
      }
      ok = writePng(*context, output.string());
      if (!ok) std::fprintf(stderr, "zmftool: %s: cannot write the PNG\n", output.c_str());
    }
    engine.reset();
  }
  std::filesystem::current_path(previous, error);
  return ok;
}
