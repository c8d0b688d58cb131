// The shipped effects (data/shaders): each builds on the device with the techniques the
// pipeline choice needs and the semantic parameters the engine binds, materials learn exactly
// their user variables, and the shaders draw what they promise: lighting, reflection, clipping
// at the near plane, depth written into a shadow map and read back by the receiving effect.
#include "platform/d3dx/D3DXEffect.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/ZCubeTexture.h"
#include "render/ZTexture.h"
#include "scene/ZMaterial.h"
#include "tests/support/EngineFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// Releases a D3D-style reference-counted object at the end of a scope.
template <typename T>
struct Released {
  T* object = nullptr;
  ~Released() {
    if (object != nullptr) object->Release();
  }
  T* operator->() const { return object; }
};

// The engine's shader vertex (D3DFVF_CVSVERTEX).
struct ShaderVertex {
  float x, y, z;
  float nx, ny, nz;
  float u, v;
  float tx, ty, tz;
};
static_assert(sizeof(ShaderVertex) == 44);

// Two triangles covering x0..x1 by y0..y1 at depth z, facing the viewer (clockwise on screen,
// which the device's default culling keeps) with normal n and t0 over 0..1.
std::vector<ShaderVertex> quad(float x0, float y0, float x1, float y1, float z,
                               const D3DXVECTOR3& n) {
  const auto at = [&](float x, float y, float u, float v) {
    return ShaderVertex{x, y, z, n.x, n.y, n.z, u, v, 1, 0, 0};
  };
  const ShaderVertex a = at(x0, y0, 0, 1), b = at(x1, y0, 1, 1), c = at(x1, y1, 1, 0),
                     d = at(x0, y1, 0, 0);
  return {a, c, b, a, d, c};
}

D3DXMATRIX identity() {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  return m;
}

// The 24-bit depth shadowMapGen writes, from a texel's B, G, R bytes.
double unpackDepth(const uint8_t* bgra) {
  return (bgra[2] * 65536.0 + bgra[1] * 256.0 + bgra[0]) / 16777215.0;
}

struct EffectFacts {
  const char* file;
  std::vector<std::string> semantics;      // parameters the engine binds
  std::map<std::string, float> variables;  // the user's variables and their defaults
};

// What every lit effect takes from the engine.
const std::vector<std::string> kLit = {
    "World",   "WorldViewProjection", "Texture0",      "LightDirection", "CameraPosition",
    "Diffuse", "Ambient",             "Specular",      "SpecularPower",  "Emissive"};

std::vector<std::string> plus(std::vector<std::string> list, std::vector<std::string> more) {
  list.insert(list.end(), more.begin(), more.end());
  return list;
}

const std::vector<EffectFacts> kShippedEffects = {
    {"corvane_base.fxo", plus(kLit, {"CurrentCubeTexture"}), {{"reflection", 0.0f}}},
    {"shadowMapGen.fxo", {"WorldViewProjection", "Texture0"}, {{"additive", 1.0f}}},
    {"shadowMap.fxo",
     plus(kLit, {"CurrentCubeTexture", "ShadowMap0", "ShadowMap1", "ShadowBias",
                 "LightProjectionTSM0", "LightProjectionTSM1"}),
     {{"reflection", 0.0f}}},
    {"pzTires.fxo", kLit, {{"rubberGloss", 0.3f}, {"dust", 0.0f}}},
};

class EffectFilesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    device = engine->device;
    device->SetFVF(0x40212);  // D3DFVF_CVSVERTEX
  }

  // The effect built straight from the shipped file, with the compiler's log on failure.
  ID3DXEffect* build(const std::string& file) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const std::string path = "shaders/" + file;
    const HRESULT result = D3DXCreateEffectFromFileA(device, path.c_str(), nullptr, nullptr, 0,
                                                     nullptr, &effect, &errors);
    EXPECT_EQ(result, D3D_OK) << file << ": "
                              << (errors ? static_cast<const char*>(errors->GetBufferPointer())
                                         : "no log");
    if (errors != nullptr) errors->Release();
    return SUCCEEDED(result) ? effect : nullptr;
  }

  void set(ID3DXEffect* effect, const char* name, std::vector<float> values) {
    ASSERT_EQ(effect->SetFloatArray(effect->GetParameterByName(nullptr, name), values.data(),
                                    UINT(values.size())),
              D3D_OK)
        << name;
  }
  // A sun shining along +z onto surfaces facing -z, seen from z = -10; ambient 0.2, no specular
  // or emissive light, and the given diffuse colour.
  void setLighting(ID3DXEffect* effect, std::vector<float> diffuse) {
    set(effect, "CameraPosition", {0, 0, -10});
    set(effect, "LightDirection", {0, 0, 1});
    set(effect, "Ambient", {0.2f, 0.2f, 0.2f});
    set(effect, "Diffuse", std::move(diffuse));
    set(effect, "Specular", {0, 0, 0, 1});
    set(effect, "SpecularPower", {10});
    set(effect, "Emissive", {0, 0, 0, 1});
  }
  void setMatrix(ID3DXEffect* effect, const char* name, const D3DXMATRIX& m) {
    ASSERT_EQ(effect->SetMatrix(effect->GetParameterByName(nullptr, name), &m), D3D_OK) << name;
  }

  // Draws the triangles with the effect's first technique.
  void draw(ID3DXEffect* effect, const std::vector<ShaderVertex>& vertices) {
    D3DXHANDLE technique = nullptr;
    ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &technique), D3D_OK);
    ASSERT_EQ(effect->SetTechnique(technique), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(effect->BeginPass(0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(vertices.size() / 3),
                                      vertices.data(), sizeof(ShaderVertex)),
              D3D_OK);
    effect->EndPass();
    effect->End();
  }

  // A 1 x 1 managed texture of one colour (0xAARRGGBB).
  IDirect3DTexture9* solidTexture(uint32_t argb) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                    nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    std::memcpy(locked.pBits, &argb, 4);
    texture->UnlockRect(0);
    return texture;
  }

  // The B, G, R, A bytes of a render target's level 0, rows top first.
  std::vector<uint8_t> readTarget(IDirect3DTexture9* target, int size) {
    Released<IDirect3DSurface9> level, copy;
    target->GetSurfaceLevel(0, &level.object);
    device->CreateOffscreenPlainSurface(UINT(size), UINT(size), D3DFMT_A8R8G8B8,
                                        D3DPOOL_SYSTEMMEM, &copy.object, nullptr);
    EXPECT_EQ(device->GetRenderTargetData(level.object, copy.object), D3D_OK);
    D3DLOCKED_RECT locked;
    copy->LockRect(&locked, nullptr, 0);
    std::vector<uint8_t> bytes(size_t(size) * size * 4);
    for (int y = 0; y < size; ++y) {
      std::memcpy(&bytes[size_t(y) * size * 4],
                  static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch, size_t(size) * 4);
    }
    copy->UnlockRect();
    return bytes;
  }

  // A size x size shadow-map-like target cleared to white (the farthest depth), made current
  // with its own depth surface.
  ZTexture* shadowTarget(int size) {
    ZTexture* map = engine->getTexture("LIGHTMAP");
    EXPECT_TRUE(map->createRenderTarget(size, size, false, true, D3DFMT_A8R8G8B8));
    Released<IDirect3DSurface9> level;
    map->texture->GetSurfaceLevel(0, &level.object);
    device->SetRenderTarget(0, level.object);
    device->SetDepthStencilSurface(map->depthSurface);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
    return map;
  }

  void backToScreen() {
    device->SetRenderTarget(0, engine->mainRenderTarget);
    device->SetDepthStencilSurface(engine->mainDepthSurface);
  }

  static void expectNear(const Pixel& p, int r, int g, int b, const char* what) {
    EXPECT_NEAR(p.r, r, 3) << what;
    EXPECT_NEAR(p.g, g, 3) << what;
    EXPECT_NEAR(p.b, b, 3) << what;
  }

  IDirect3DDevice9* device = nullptr;
};

TEST_F(EffectFilesTest, ShippedEffectsBuildWithTheirTechniquesAndSemantics) {
  for (const EffectFacts& facts : kShippedEffects) {
    SCOPED_TRACE(facts.file);
    Released<ID3DXEffect> effect{build(facts.file)};
    ASSERT_NE(effect.object, nullptr);
    // Both pipelines are offered, "ati" first, and each one's programs link and run a pass.
    D3DXTECHNIQUE_DESC desc;
    ASSERT_EQ(effect->GetTechniqueDesc(effect->GetTechnique(0), &desc), D3D_OK);
    EXPECT_STREQ(desc.Name, "ati");
    for (const char* name : {"ati", "nv"}) {
      const D3DXHANDLE technique = effect->GetTechniqueByName(name);
      ASSERT_NE(technique, nullptr) << name;
      ASSERT_EQ(effect->SetTechnique(technique), D3D_OK);
      UINT passes = 0;
      ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
      EXPECT_EQ(passes, 1u);
      EXPECT_EQ(effect->BeginPass(0), D3D_OK) << name;
      effect->EndPass();
      effect->End();
    }
    for (const std::string& semantic : facts.semantics) {
      EXPECT_NE(effect->GetParameterBySemantic(nullptr, semantic.c_str()), nullptr) << semantic;
    }

    // A material takes the effect from the engine's cache and learns exactly its variables.
    ZMaterial* material = engine->getNewMaterial();
    material->initEffect(facts.file);
    ASSERT_NE(material->effect, nullptr);
    std::map<std::string, float> learnt;
    for (const auto& variable : material->effectVars) learnt[variable->name] = variable->value;
    EXPECT_EQ(learnt, facts.variables);
    for (const std::string& semantic : facts.semantics) {
      int index = 0;
      while (ZMaterial::kSemanticNames[size_t(index)] != semantic) ++index;
      EXPECT_NE(material->semanticHandles[size_t(index)], nullptr) << semantic;
    }
  }
}

TEST_F(EffectFilesTest, BaseEffectLightsReflectsAndClipsAtTheNearPlane) {
  Released<ID3DXEffect> effect{build("corvane_base.fxo")};
  ASSERT_NE(effect.object, nullptr);
  Released<IDirect3DTexture9> white{solidTexture(0xFFFFFFFF)};
  effect->SetTexture("Texture0", white.object);
  setMatrix(effect.object, "World", identity());
  setMatrix(effect.object, "WorldViewProjection", identity());
  setLighting(effect.object, {0.6f, 0.0f, 0.4f});
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);

  // Left half faces the sun; right half is turned away from it and gets ambient only.
  draw(effect.object, quad(-1, -1, 0, 1, 0.5f, {0, 0, -1}));
  draw(effect.object, quad(0, -1, 1, 1, 0.5f, {0, 0, 1}));
  expectNear(pixel(32, 48), 204, 51, 153, "sunlit: ambient + diffuse");
  expectNear(pixel(96, 48), 51, 51, 51, "facing away: ambient");

  // Depth below 0 lies in front of the near plane: nothing of it may show.
  set(effect.object, "Ambient", {0, 1, 0});
  draw(effect.object, quad(-1, -1, 1, 1, -0.5f, {0, 0, -1}));
  expectNear(pixel(32, 48), 204, 51, 153, "in front of the near plane");

  // Full reflection of the sky: a normal half way between the eye and up mirrors the zenith.
  ZCubeTexture sky(engine.get());
  ASSERT_TRUE(sky.load("texture/cube.dds"));
  effect->SetTexture("CurrentCubeTexture", sky.cubeTexture);
  set(effect.object, "reflection", {1.0f});
  const float h = std::sqrt(0.5f);
  draw(effect.object, quad(-1, -1, 1, 1, 0.25f, {0, h, -h}));
  expectNear(pixel(64, 48), 51, 102, 204, "zenith of the generated sky");
}

TEST_F(EffectFilesTest, ShadowGenerationWritesDepthTopRowFirstAndCutsOutAlpha) {
  Released<ID3DXEffect> effect{build("shadowMapGen.fxo")};
  ASSERT_NE(effect.object, nullptr);
  Released<IDirect3DTexture9> clear{solidTexture(0x00FFFFFF)};
  setMatrix(effect.object, "WorldViewProjection", identity());
  effect->SetTexture("Texture0", clear.object);

  struct Case {
    float additive;
    bool written;
  };
  for (const Case c : {Case{1.0f, true}, Case{0.0f, false}}) {
    SCOPED_TRACE(c.additive);
    constexpr int kSize = 32;
    ZTexture* map = shadowTarget(kSize);
    set(effect.object, "additive", {c.additive});
    // The upper half of the light's view, at depth 0.3 (D3D's 0..1).
    draw(effect.object, quad(-1, 0, 1, 1, 0.3f, {0, 0, -1}));
    backToScreen();
    const std::vector<uint8_t> texels = readTarget(map->texture, kSize);
    const double top = unpackDepth(&texels[(2 * kSize + 5) * 4]);
    const double bottom = unpackDepth(&texels[((kSize - 3) * kSize + 5) * 4]);
    EXPECT_NEAR(top, c.written ? 0.3 : 1.0, 1e-6) << "row 2";
    EXPECT_NEAR(bottom, 1.0, 1e-6) << "row 29";
  }
}

TEST_F(EffectFilesTest, ShadowReceiverUsesTheNearMapInsideItAndTheWideMapOutside) {
  Released<ID3DXEffect> generate{build("shadowMapGen.fxo")};
  Released<ID3DXEffect> receive{build("shadowMap.fxo")};
  ASSERT_NE(generate.object, nullptr);
  ASSERT_NE(receive.object, nullptr);
  setMatrix(generate.object, "WorldViewProjection", identity());
  // The near map: a caster over the upper half at depth 0.25. The wide map: no caster at all.
  ZTexture* nearMap = shadowTarget(64);
  draw(generate.object, quad(-1, 0, 1, 1, 0.25f, {0, 0, -1}));
  ZTexture* wideMap = shadowTarget(64);
  backToScreen();

  Released<IDirect3DTexture9> white{solidTexture(0xFFFFFFFF)};
  receive->SetTexture("Texture0", white.object);
  receive->SetTexture("ShadowMap0", nearMap->texture);
  receive->SetTexture("ShadowMap1", wideMap->texture);
  // The screen shows the receiver at depth 0.5; the near map covers only |x| <= 0.5 of it.
  D3DXMATRIX nearProjection;
  D3DXMatrixScaling(&nearProjection, 2, 1, 1);
  setMatrix(receive.object, "World", identity());
  setMatrix(receive.object, "WorldViewProjection", identity());
  setMatrix(receive.object, "LightProjectionTSM0", nearProjection);
  setMatrix(receive.object, "LightProjectionTSM1", identity());
  set(receive.object, "ShadowBias", {0});
  setLighting(receive.object, {0.6f, 0.6f, 0.6f});
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  draw(receive.object, quad(-1, -1, 1, 1, 0.5f, {0, 0, -1}));

  expectNear(pixel(64, 20), 51, 51, 51, "upper half, inside the near map: shadowed");
  expectNear(pixel(64, 76), 204, 204, 204, "lower half, inside the near map: sunlit");
  expectNear(pixel(8, 20), 204, 204, 204, "upper half, only in the wide map: sunlit");

  // A bias beyond the caster's distance lifts the shadow.
  set(receive.object, "ShadowBias", {0.3f});
  draw(receive.object, quad(-1, -1, 1, 1, 0.5f, {0, 0, -1}));
  expectNear(pixel(64, 20), 204, 204, 204, "bias larger than the gap");
}

}  // namespace
