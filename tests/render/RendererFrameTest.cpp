// One whole frame of a small scene through the renderer, read back: a lit, textured box; two
// transparent quads blended far to near; the box's shadow cast by the sun onto a floor through
// the shadow effects; the sky box behind everything; overlay lines and a text label on top.
#include "platform/d3dx/d3dx9math.h"
#include "render/ZGLRenderer.h"
#include "render/ZSceneRenderer.h"
#include "render/ZStringBlitter.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

// A 2 x 2 truecolour TGA of one colour.
std::string solidTga(uint8_t r, uint8_t g, uint8_t b) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = 2;
  bytes[14] = 2;
  bytes[16] = 24;
  for (int i = 0; i < 4; ++i) bytes += {char(b), char(g), char(r)};
  return bytes;
}

// An axis-aligned quad of four corners, wound counter-clockwise seen from the side it faces.
void addQuad(ZGeometry& g, const ZVector& a, const ZVector& b, const ZVector& c, const ZVector& d) {
  const int first = int(g.vertices.size());
  for (const ZVector& p : {a, b, c, d}) g.addVertex(p);
  g.setTextureVertex(first + 1, 1, 0, 0);
  g.setTextureVertex(first + 2, 1, 1, 0);
  g.setTextureVertex(first + 3, 0, 1, 0);
  g.addTriangle(first, first + 1, first + 2);
  g.addTriangle(first, first + 2, first + 3);
}

// A box from lo to hi with faces seen from outside.
void addBox(ZGeometry& g, const ZVector& lo, const ZVector& hi) {
  const auto p = [&](int x, int y, int z) {
    return ZVector(x ? hi.x : lo.x, y ? hi.y : lo.y, z ? hi.z : lo.z);
  };
  addQuad(g, p(0, 0, 1), p(1, 0, 1), p(1, 1, 1), p(0, 1, 1));  // +z
  addQuad(g, p(1, 0, 0), p(0, 0, 0), p(0, 1, 0), p(1, 1, 0));  // -z
  addQuad(g, p(1, 0, 1), p(1, 0, 0), p(1, 1, 0), p(1, 1, 1));  // +x
  addQuad(g, p(0, 0, 0), p(0, 0, 1), p(0, 1, 1), p(0, 1, 0));  // -x
  addQuad(g, p(0, 1, 1), p(1, 1, 1), p(1, 1, 0), p(0, 1, 0));  // +y
  addQuad(g, p(0, 0, 0), p(1, 0, 0), p(1, 0, 1), p(0, 0, 1));  // -y
}

class RendererFrame : public EngineTest {
 protected:
  ZGeometry* mesh(ZFrame* frame, ZMaterial* material) {
    ZGeometry* g = engine->getNewGeometry();
    g->setMaterial(material);
    frame->addGeometry(g);
    return g;
  }

  // An unlit-looking colour: emissive only, with the diffuse alpha for blending.
  ZMaterial* glowing(float r, float g, float b, float alpha) {
    ZMaterial* m = engine->getNewMaterial();
    m->setDiffuse(0, 0, 0, false);
    m->setAmbient(0, 0, 0);
    m->setEmissive(r, g, b);
    m->setOpacity(alpha);
    return m;
  }

  // Pixel of a world point under the camera's view and projection.
  Pixel pixelOf(const ZVector& p) const {
    D3DXMATRIX v, proj, vp;
    std::memcpy(&v, view.m, sizeof v);
    std::memcpy(&proj, projection.m, sizeof proj);
    D3DXMatrixMultiply(&vp, &v, &proj);
    D3DXVECTOR3 in(p.x, p.y, p.z), ndc;
    D3DXVec3TransformCoord(&ndc, &in, &vp);
    const int x = int((ndc.x + 1) * 0.5f * kWidth);
    const int y = int((1 - ndc.y) * 0.5f * kHeight);
    EXPECT_TRUE(x >= 0 && x < kWidth && y >= 0 && y < kHeight) << p.x << " " << p.y << " " << p.z;
    return pixel(std::clamp(x, 0, kWidth - 1), std::clamp(y, 0, kHeight - 1));
  }

  ZMatrix view, projection;  // of the camera, kept before the overlay replaces them
};

TEST_F(RendererFrame, SmallSceneShowsEveryPartOfTheFrame) {
  TempFolder folder;
  const std::string green = folder.write("green.tga", solidTga(40, 220, 60));

  ZFrame* root = engine->getNewFrame();
  ZMaterial* floorMaterial = engine->getNewMaterial();
  floorMaterial->setDiffuse(0.8f, 0.8f, 0.8f, true);
  floorMaterial->initEffect("shadowMap.fxo");
  ASSERT_NE(floorMaterial->effect, nullptr) << log.text();
  ZGeometry* floor = mesh(root, floorMaterial);
  addQuad(*floor, {-12, 0, 12}, {12, 0, 12}, {12, 0, -12}, {-12, 0, -12});

  ZMaterial* boxMaterial = engine->getNewMaterial();
  boxMaterial->setTexture(engine->getTexture(green));
  ZGeometry* box = mesh(root, boxMaterial);
  addBox(*box, {-4, 0, -2}, {-2, 2, 0});
  box->castShadow = true;

  // The near quad comes first in the tree: only sorting by distance draws the far one first.
  ZGeometry* nearQuad = mesh(root, glowing(0, 0, 1, 0.5f));
  addQuad(*nearQuad, {1.5f, 0.5f, 3}, {4.5f, 0.5f, 3}, {4.5f, 3.5f, 3}, {1.5f, 3.5f, 3});
  ZGeometry* farQuad = mesh(root, glowing(1, 0, 0, 0.5f));
  addQuad(*farQuad, {2.5f, 0.5f, 0}, {5.5f, 0.5f, 0}, {5.5f, 3.5f, 0}, {2.5f, 3.5f, 0});
  for (ZGeometry* quad : {nearQuad, farQuad}) {
    quad->material->setShadeModel(2);
    quad->material->setDoubleFace(true);
    quad->transparent = true;
  }

  ZFrame* sky = engine->getNewFrame();
  ZMaterial* skyMaterial = glowing(0.3f, 0.5f, 0.9f, 1);
  skyMaterial->setDoubleFace(true);
  addBox(*mesh(sky, skyMaterial), {-60, -60, -60}, {60, 60, 60});
  engine->backBox = sky;

  for (ZFrame* frame : {root, sky}) {
    for (ZGeometry* g : frame->geometries) g->generateNormals();
    frame->compile();
  }
  engine->finaliseVertexBuffers(false);
  engine->initShadowMaps(512, 512);

  ZLight* sun = engine->getNewLight();
  engine->addLight(sun);
  engine->setSun(0.6f, 0.4f);
  ZCamera* camera = engine->getNewCamera();
  camera->aspect = float(kWidth) / float(kHeight);
  camera->fov = 50;
  camera->farPlane = 300;
  camera->move(0, 9, 13);
  camera->setTarget({0, 0, 0});

  ZStringBlitter text;
  ASSERT_TRUE(text.init(engine.get(), 0)) << log.text();
  text.scale = 0.25f;
  ZSceneRenderer renderer(engine.get());
  renderer.sun = sun;
  renderer.shadowSize = 16;
  renderer.renderFrame(root, camera, [&] {
    view = engine->view;
    projection = engine->projection;
    engine->orthoProjection(-1, 1, -1, 1);
    ZGLRenderer lines(engine.get());
    lines.color3f(1, 1, 0);
    lines.begin(ZGLRenderer::kLines);
    lines.vertex2f(-1, 0.9f);
    lines.vertex2f(1, 0.9f);
    lines.end();
    text.setColor(0, 1, 0, 1);
    text.blitString(-0.95f, -0.95f, "ZMF");
  });
  const std::string png = (std::filesystem::temp_directory_path() / "zmf_renderer_frame.png");
  ASSERT_TRUE(writePng(png));
  SCOPED_TRACE("frame written to " + png);

  // The box: its green texture, lit.
  const Pixel boxTop = pixelOf({-3, 2, -1});
  EXPECT_GT(boxTop.g, 90);
  EXPECT_GT(boxTop.g, boxTop.r + 40);

  // Transparent quads: blue over red where they overlap, so red was drawn first.
  const Pixel overlap = pixelOf({3.5f, 2, 3});
  EXPECT_GT(overlap.b, overlap.r + 30) << overlap.r << " " << overlap.g << " " << overlap.b;
  EXPECT_GT(overlap.r, 40);  // and red does show through

  // The shadow: the floor point that the sun sees through the box's top centre is darker than
  // the floor at the same distance on the other side.
  const ZVector toSun = sun->getDirection() * -1.0f;
  const ZVector topCentre(-3, 2, -1);
  const ZVector shadowed = topCentre - toSun * (2 / toSun.y) + ZVector(0, 0.01f, 0);
  const ZVector lit = ZVector(-3, 0.01f, -1) * 2.0f - shadowed + ZVector(0, 0.02f, 0);
  const Pixel inShadow = pixelOf(shadowed), inLight = pixelOf(lit);
  EXPECT_LT(inShadow.r + 40, inLight.r) << inShadow.r << " vs " << inLight.r;

  // The sky box fills what the scene leaves, above the floor's far edge.
  const Pixel skyPixel = pixel(kWidth / 2, 12);
  EXPECT_GT(skyPixel.b, skyPixel.r + 40);
  EXPECT_GT(skyPixel.b, 150);

  // Overlay: the yellow line across the top and the green label in the lower left corner.
  bool yellowLine = false;
  for (int y = 0; y < 10; ++y) {
    const Pixel p = pixel(kWidth / 2, y);
    yellowLine = yellowLine || (p.r > 200 && p.g > 200 && p.b < 80);
  }
  EXPECT_TRUE(yellowLine);
  int labelPixels = 0;
  for (int y = kHeight - 20; y < kHeight; ++y) {
    for (int x = 0; x < 40; ++x) {
      const Pixel p = pixel(x, y);
      labelPixels += p.g > 180 && p.r < 100 && p.b < 100;
    }
  }
  EXPECT_GT(labelPixels, 10);
}

}  // namespace

namespace {

// The far-to-near order must keep meshes that tie on distance: sorting them into a container
// keyed by distance would keep only one.
TEST_F(RendererFrame, TransparentMeshesAtEqualDistanceAreBothDrawn) {
  ZFrame* root = engine->getNewFrame();
  // Mirror images across the view axis: their centres, (-0.875, 0, 0) and (0.875, 0, 0), lie
  // at the same distance from the camera.
  ZGeometry* left = mesh(root, glowing(1, 0, 0, 1));
  addQuad(*left, {-1.5f, -0.5f, 0}, {-0.25f, -0.5f, 0}, {-0.25f, 0.5f, 0}, {-1.5f, 0.5f, 0});
  ZGeometry* right = mesh(root, glowing(0, 0, 1, 1));
  addQuad(*right, {0.25f, -0.5f, 0}, {1.5f, -0.5f, 0}, {1.5f, 0.5f, 0}, {0.25f, 0.5f, 0});
  for (ZGeometry* quad : {left, right}) {
    quad->material->setDoubleFace(true);
    quad->transparent = true;
    quad->generateNormals();
  }
  root->compile();
  engine->finaliseVertexBuffers(false);
  ZCamera* camera = engine->getNewCamera();
  camera->aspect = float(kWidth) / float(kHeight);
  camera->move(0, 0, 4);
  camera->setTarget({0, 0, 0});
  ZSceneRenderer(engine.get()).renderFrame(root, camera, [&] {
    view = engine->view;
    projection = engine->projection;
  });

  ASSERT_EQ(engine->transparentList.size(), 2u);  // both went through the transparent pass
  EXPECT_EQ(engine->transparentList[0].distanceSq, engine->transparentList[1].distanceSq);
  const Pixel red = pixelOf({-0.875f, 0, 0});
  const Pixel blue = pixelOf({0.875f, 0, 0});
  EXPECT_GT(red.r, 200);
  EXPECT_LT(red.b, 60);
  EXPECT_GT(blue.b, 200);
  EXPECT_LT(blue.r, 60);
}

TEST_F(RendererFrame, AMissingTextureShowsTheCheckerAndTheProgramGoesOn) {
  ScopedDesktop desktop;
  ZMaterial* material = glowing(1, 1, 1, 1);
  material->setTexture(engine->getTexture("no/such/picture.tga"));
  ZMaterial* again = glowing(1, 1, 1, 1);
  again->setTexture(engine->getTexture("no/such/picture.tga"));
  EXPECT_EQ(material->stage(0).texture, again->stage(0).texture);
  ZFrame* root = engine->getNewFrame();
  ZGeometry* wall = mesh(root, material);
  addQuad(*wall, {-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0});
  wall->generateNormals();
  root->compile();
  engine->finaliseVertexBuffers(false);
  ZCamera* camera = engine->getNewCamera();
  camera->aspect = float(kWidth) / float(kHeight);
  camera->move(0, 0, 2.5f);
  camera->setTarget({0, 0, 0});
  ZSceneRenderer(engine.get()).renderFrame(root, camera);

  int magenta = 0, black = 0;
  for (int y = kHeight / 2 - 10; y < kHeight / 2 + 10; ++y) {
    for (int x = kWidth / 2 - 10; x < kWidth / 2 + 10; ++x) {
      const Pixel p = pixel(x, y);
      magenta += p.r > 200 && p.g < 60 && p.b > 200;
      black += p.r < 60 && p.g < 60 && p.b < 60;
    }
  }
  EXPECT_GT(magenta, 40);
  EXPECT_GT(black, 40);
  EXPECT_EQ(desktop.messages.size(), 1u);
  EXPECT_FALSE(desktop.quitPosted);
}

}  // namespace
