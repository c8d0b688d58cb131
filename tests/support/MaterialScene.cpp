#include "tests/support/MaterialScene.h"

#include "scene/ZGeometry.h"
#include "tests/support/TestEffect.h"

#include <string>

namespace {

// Four vertices and two faces; seed makes each mesh's numbers its own.
ZGeometry* makeGeometry(ZCorvane& engine, const std::string& name, ZMaterial* material,
                        int seed) {
  ZGeometry* g = engine.getNewGeometry();
  g->name = name;
  for (int i = 0; i < 4; ++i) {
    const float k = float(seed * 10 + i);
    g->addVertex({k + 0.456789f, k * 0.5f, -k});  // six decimals: all the text format keeps
    SVertex& v = g->vertices.back();
    v.normal = {0.6f, 0, 0.8f};
    v.tangent = {0, 1, 0};
    v.binormal = {0, 0, k};  // not tangent x normal, so a rebuilt one shows
    v.t0[0] = 0.125f * float(i);
    v.t0[1] = -0.333333f;
    v.t1[0] = 0.5f;
    v.t1[1] = k;
  }
  g->addTriangle(0, 1, 2);
  g->addTriangle(2, 1, 3);
  for (SFace& f : g->faces) {
    f.normal = {0.1f, 0.2f, float(seed)};
    f.tangent = {1, 2, 3};
    f.binormal = {4, 5, 6};
    f.smoothingGroup = 0;
  }
  g->setMaterial(material);
  return g;
}

// Every field away from its default. Filters stay within linear (2), which binary files clamp
// to, and differ from each other.
void fillMaterial(ZMaterial& m, ZTexture* texture) {
  m.d3dMaterial.Diffuse = {0.1f, 0.2f, 0.3f, 0.4f};
  m.d3dMaterial.Ambient = {0.5f, 0.6f, 0.7f, 0.8f};
  m.d3dMaterial.Specular = {0.25f, 0.5f, 0.75f, 1};
  m.d3dMaterial.Emissive = {0.05f, 0.15f, 0.35f, 0.45f};
  m.d3dMaterial.Power = 12.5f;
  m.doubleFace = true;
  m.alphaBlend = true;
  m.alphaDestBlend = 2;
  m.alphaRef = 77;
  m.alphaSrcBlend = 9;
  m.alphaTest = true;
  m.forceNoDepthWrite = true;
  m.useZBuffer = false;
  m.textureFactor = 0.85f;
  ZMaterialStage& s = m.stage(2);
  s.texture = texture;
  s.active = true;
  s.alphaArg1 = 3;
  s.alphaArg2 = 4;
  s.alphaOp = 5;
  s.colorArg0 = 6;
  s.colorArg1 = 7;
  s.colorArg2 = 8;
  s.colorOp = 9;
  s.magFilter = 1;
  s.minFilter = 0;
  s.mipMapFilter = 2;
  s.texCoordIndex = 262145;
  s.textureAddressU = 3;
  s.textureAddressV = 4;
  m.initEffect(MaterialScene::kEffect);
  m.setEffectCustomVariable("gloss", 7.25f);
}

}  // namespace

void MaterialScene::writeFiles(const TempFolder& folder) {
  folder.write(std::string("shaders/") + kEffect, kTestEffect);
  folder.write(kTexture, "not really an image");
}

MaterialScene::MaterialScene(ZCorvane& engine) {
  paint = engine.getNewMaterial();
  fillMaterial(*paint, engine.getTexture(kTexture));
  glass = engine.getNewMaterial();
  glass->setShadeModel(2);

  root = engine.getNewFrame();
  root->name = "car";
  root->move(1, 2, 3);
  ZGeometry* body = makeGeometry(engine, "body", paint, 1);
  body->transparent = true;
  body->castShadow = true;
  body->setVar("SMOOTH", 1);
  body->setVar("CHECKWALLS", -2.5f);
  root->addGeometry(body);

  ZFrame* unnamed = engine.getNewFrame();
  unnamed->move(-4, 0.5f, 10);
  unnamed->setHeadingUp({0.6f, 0, 0.8f}, {0, 1, 0});
  unnamed->addGeometry(makeGeometry(engine, "", paint, 2));
  unnamed->addGeometry(makeGeometry(engine, "glass", glass, 3));
  root->addChild(unnamed);

  ZFrame* wheel = engine.getNewFrame();
  wheel->name = "wheel FL";
  wheel->move(-0.5f, 0.25f, 1.5f);
  wheel->setHeadingUp({0, -0.8f, 0.6f}, {0, 0.6f, 0.8f});
  wheel->addGeometry(makeGeometry(engine, "tyre", paint, 4));
  unnamed->addChild(wheel);

  ZFrame* mirror = engine.getNewFrame();
  mirror->name = "MIRROR";
  root->addChild(mirror);

  ZCamera* camera = engine.getNewCamera();
  camera->name = "TV1";
  camera->position = {10, 20, 30};
  camera->heading = {0, 0, 1};
  camera->up = {0, 1, 0};
  camera->fixed = true;
  camera->tag = 7;
  camera->maxDist = 500;
  camera->maxFov = 25;
  camera->minFov = 4;
  cameras.push_back(camera);
}
