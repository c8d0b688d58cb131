// Shadow-map set-up and passes, render targets, texture loading, reload and save, and cube
// maps, on a headless device.
#include "platform/d3dx/ImageFile.h"
#include "render/ZCubeTexture.h"
#include "render/ZSceneRenderer.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Counts the non-overlapping occurrences of part in text.
int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

// An uncompressed 24-bit TGA of width x height texels given as {r, g, b}, top row first.
std::string tga24(int width, int height, const std::vector<std::array<uint8_t, 3>>& texels) {
  std::string bytes(18, '\0');
  bytes[2] = 2;  // truecolour
  bytes[12] = char(width);
  bytes[14] = char(height);
  bytes[16] = 24;
  bytes[17] = 0x20;  // top-left origin
  for (const auto& [r, g, b] : texels) bytes += {char(b), char(g), char(r)};
  return bytes;
}

// Texel i of level 0 of a loaded A8R8G8B8 texture as 0xAARRGGBB, read back from the device.
std::vector<D3DCOLOR> texelsOf(IDirect3DTexture9* texture) {
  std::vector<D3DCOLOR> texels;
  D3DLOCKED_RECT locked{};
  if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return texels;
  for (UINT y = 0; y < texture->height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
    for (UINT x = 0; x < texture->width(); ++x) {
      const uint8_t* p = row + x * 4;  // B, G, R, A in memory
      texels.push_back(D3DCOLOR(p[3]) << 24 | D3DCOLOR(p[2]) << 16 | D3DCOLOR(p[1]) << 8 | p[0]);
    }
  }
  texture->UnlockRect(0);
  return texels;
}

using TextureLoad = EngineTest;

TEST_F(TextureLoad, TgaFilesLoadAsArgbWhateverTheCaseOfTheirExtension) {
  TempFolder folder;
  for (const char* name : {"lower.tga", "UPPER.TGA"}) {
    SCOPED_TRACE(name);
    // One texel: no mip level to make, so nothing but the requested format converts it.
    const std::string file = folder.write(name, tga24(1, 1, {{10, 20, 30}}));
    ZTexture texture(engine.get());
    ASSERT_TRUE(texture.load(file)) << log.text();
    ASSERT_NE(texture.texture, nullptr);
    EXPECT_EQ(texture.texture->format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(texture.bytesPerPixel, 3);  // of the file
    EXPECT_EQ(texelsOf(texture.texture), std::vector<D3DCOLOR>{0xFF0A141E});
  }
}

TEST_F(TextureLoad, MagentaTexelsBecomeTransparentBlack) {
  TempFolder folder;
  // Only exact magenta is keyed: one step off in red stays.
  const std::string file = folder.write(
      "keyed.tga", tga24(2, 2, {{255, 0, 255}, {0, 200, 0}, {254, 0, 255}, {255, 0, 255}}));
  ZTexture texture(engine.get());
  ASSERT_TRUE(texture.load(file)) << log.text();
  ASSERT_NE(texture.texture, nullptr);
  EXPECT_EQ(texelsOf(texture.texture),
            (std::vector<D3DCOLOR>{0x00000000, 0xFF00C800, 0xFFFE00FF, 0x00000000}));
}

class ShadowMapTest : public EngineTest {
 protected:
  // The device's render target 0 and depth-stencil surface (references dropped at once: the
  // device still holds them).
  IDirect3DSurface9* currentTarget() const {
    IDirect3DSurface9* surface = nullptr;
    engine->device->GetRenderTarget(0, &surface);
    if (surface != nullptr) surface->Release();
    return surface;
  }
  IDirect3DSurface9* currentDepth() const {
    IDirect3DSurface9* surface = nullptr;
    engine->device->GetDepthStencilSurface(&surface);
    if (surface != nullptr) surface->Release();
    return surface;
  }
};

TEST_F(ShadowMapTest, InitMakesTwoAtiMapsSharingOneDepthSurface) {
  engine->initShadowMaps(256, 256);
  const std::string text = log.text();
  EXPECT_EQ(occurrences(text, "Using ATI shadow mapping\n"), 2);
  EXPECT_EQ(text.find("FAILED"), std::string::npos) << text;
  EXPECT_EQ(engine->pipelineName, "ati");

  ZTexture* nearMap = engine->shadowMaps[0];
  ZTexture* wideMap = engine->shadowMaps[1];
  ASSERT_NE(nearMap, nullptr);
  ASSERT_NE(wideMap, nullptr);
  for (ZTexture* map : {nearMap, wideMap}) {
    ASSERT_NE(map->texture, nullptr);
    EXPECT_EQ(map->texture->format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(map->texture->usage(), D3DUSAGE_RENDERTARGET);
    EXPECT_EQ(map->texture->GetLevelCount(), 9u);  // 256 down to 1
    EXPECT_EQ(map->width, 256);
    EXPECT_EQ(map->colourTarget, nullptr);
  }
  EXPECT_NE(nearMap->texture, wideMap->texture);
  ASSERT_NE(nearMap->depthSurface, nullptr);
  EXPECT_EQ(wideMap->depthSurface, nearMap->depthSurface);
  EXPECT_EQ(nearMap->depthSurface->format(), D3DFMT_D24S8);

  ASSERT_NE(engine->shadowMaterial, nullptr);
  ASSERT_NE(engine->shadowMaterial->effect, nullptr);
  EXPECT_EQ(engine->shadowBias, 0.0f);
  // The binding check leaves the screen's own target and depth surface in place.
  EXPECT_EQ(currentTarget(), engine->mainRenderTarget);
  EXPECT_EQ(currentDepth(), engine->mainDepthSurface);
}

TEST_F(ShadowMapTest, PassesRenderIntoTheirMapFromTheLight) {
  engine->initShadowMaps(256, 256);
  ZCamera* camera = engine->getNewCamera();
  engine->setCamera(camera);
  ZLight* sun = engine->getNewLight();

  struct Case {
    int index;
    float size;
  };
  for (const Case c : {Case{0, 40.0f}, Case{1, 320.0f}}) {
    SCOPED_TRACE(c.index);
    engine->setShadowMapParams(1, 2, 3, 250.0f, c.size);
    engine->beginShadowMapPass(sun, c.index);
    ZTexture* map = engine->shadowMaps[size_t(c.index)];
    EXPECT_TRUE(engine->inShadowPass);
    EXPECT_EQ(engine->shadowSizes[c.index], c.size);
    ASSERT_NE(currentTarget(), nullptr);
    EXPECT_EQ(currentTarget()->texture(), map->texture);
    EXPECT_EQ(currentTarget()->level(), 0u);
    EXPECT_EQ(currentDepth(), engine->shadowMaps[0]->depthSurface);
    // Each pass covers its whole map, the wide one too (a fixed 1024 x 1024 would be refused on
    // these 256 x 256 maps).
    D3DVIEWPORT9 viewport{};
    engine->device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 256u);
    EXPECT_EQ(viewport.Height, 256u);
    // The camera keeps the light's view x projection of this pass for the receiving effects.
    for (int i = 0; i < 16; ++i) {
      float product = 0;
      for (int k = 0; k < 4; ++k) {
        product += engine->view.m[i / 4 * 4 + k] * engine->projection.m[k * 4 + i % 4];
      }
      EXPECT_NEAR(camera->lightViewProjection[c.index].m[i], product, 1e-5f) << i;
    }
    EXPECT_EQ(engine->renderState.currentEffect, engine->shadowMaterial->effect);

    engine->endShadowMapPass();
    EXPECT_FALSE(engine->inShadowPass);
    EXPECT_EQ(engine->renderState.currentEffect, nullptr);
    EXPECT_TRUE(engine->renderState.forceResend);
  }
  // Only the first pass's size stays with index 0.
  EXPECT_EQ(engine->shadowSizes[0], 40.0f);
  EXPECT_EQ(log.text().find("FAILED"), std::string::npos) << log.text();

  // An index naming no map is refused before anything changes.
  engine->beginShadowMapPass(sun, 2);
  EXPECT_FALSE(engine->inShadowPass);
  EXPECT_NE(log.text().find("beginShadowMapPass index 2 out of range"), std::string::npos);
}

// Light-space depth (0 near .. 1 far) that the shadow effect packed into texel (x, y) of level 0
// of a map: red the most significant byte, then green, then blue.
double packedDepth(IDirect3DDevice9* device, const ZTexture* map, int x, int y) {
  IDirect3DSurface9* level = nullptr;
  IDirect3DSurface9* copy = nullptr;
  double depth = -1;
  if (SUCCEEDED(map->texture->GetSurfaceLevel(0, &level)) &&
      SUCCEEDED(device->CreateOffscreenPlainSurface(UINT(map->width), UINT(map->height),
                                                    D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                                    nullptr)) &&
      SUCCEEDED(device->GetRenderTargetData(level, copy))) {
    D3DLOCKED_RECT locked{};
    copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    const uint8_t* p =
        static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch + size_t(x) * 4;
    depth = (p[2] * 65536.0 + p[1] * 256.0 + p[0]) / 16777215.0;  // B, G, R in memory
    copy->UnlockRect();
  }
  if (copy != nullptr) copy->Release();
  if (level != nullptr) level->Release();
  return depth;
}

// Both passes draw into one depth surface: unless the second pass clears it, what the first
// left there hides the second pass's casters.
TEST_F(ShadowMapTest, TheWidePassClearsTheSharedDepthAgain) {
  engine->initShadowMaps(64, 64);
  ZLight* sun = engine->getNewLight();
  sun->setDirection({0, 0, -1});  // from (0, 0, 250), 250 back from the centre at the origin
  // Casters facing the sun: a small one 150 from it, a large one 250 from it. With depths
  // 1 .. 300 those are (150 - 1) / 299 and (250 - 1) / 299.
  ZFrame* root = engine->getNewFrame();
  ZGeometry* nearCaster = newQuad({-8, -8, 100}, {8, -8, 100}, {8, 8, 100}, {-8, 8, 100});
  ZGeometry* farCaster = newQuad({-70, -70, 0}, {70, -70, 0}, {70, 70, 0}, {-70, 70, 0});
  for (ZGeometry* caster : {nearCaster, farCaster}) {
    caster->castShadow = true;
    caster->generateNormals();
    root->addGeometry(caster);
  }
  root->compile();
  engine->finaliseVertexBuffers(false);
  ZCamera* camera = engine->getNewCamera();
  camera->move(0, 0, 50);
  camera->setTarget({0, 0, 0});
  ZSceneRenderer renderer(engine.get());
  renderer.sun = sun;
  renderer.shadowSize = 20;  // the near map spans 20 x 20, the wide one 160 x 160
  renderer.renderFrame(root, camera);

  const double nearDepth = 149.0 / 299.0, farDepth = 249.0 / 299.0;
  // The near map: the small caster covers its middle (+-25.6 texels), the large one the rest.
  // The wide map: the small caster covers +-3.2 texels, the large one out to +-28.
  const struct {
    int index, x, y;
    double depth;
  } cases[] = {
      {0, 32, 32, nearDepth}, {0, 47, 32, nearDepth}, {0, 61, 32, farDepth},
      {0, 32, 2, farDepth},   {1, 32, 32, nearDepth}, {1, 47, 32, farDepth},
      {1, 16, 32, farDepth},  {1, 32, 47, farDepth},  {1, 32, 16, farDepth},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(packedDepth(engine->device, engine->shadowMaps[size_t(c.index)], c.x, c.y),
                c.depth, 1e-4)
        << "map " << c.index << " texel " << c.x << ", " << c.y;
  }
}

TEST_F(ShadowMapTest, PlainRenderTargetsWithAndWithoutDepth) {
  for (const bool withDepth : {true, false}) {
    SCOPED_TRACE(withDepth);
    ZTexture target(engine.get());
    ASSERT_TRUE(target.createRenderTarget(64, 32, false, withDepth, D3DFMT_X8R8G8B8));
    ASSERT_NE(target.texture, nullptr);
    EXPECT_EQ(target.texture->GetLevelCount(), 1u);
    EXPECT_EQ(target.texture->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(target.texture->usage(), D3DUSAGE_RENDERTARGET);
    EXPECT_EQ(target.width, 64);
    EXPECT_EQ(target.height, 32);
    EXPECT_EQ(target.hasDepth, withDepth);
    if (withDepth) {
      ASSERT_NE(target.depthSurface, nullptr);
      EXPECT_EQ(target.depthSurface->width(), 64u);
      EXPECT_EQ(target.depthSurface->height(), 32u);
    } else {
      EXPECT_EQ(target.depthSurface, nullptr);
    }
  }
  EXPECT_EQ(log.text().find("ERROR: Creation of render target failed"), std::string::npos);

  ZTexture broken(engine.get());
  EXPECT_FALSE(broken.createRenderTarget(0, 0, false, false, D3DFMT_X8R8G8B8));
  EXPECT_NE(log.text().find("ERROR: Creation of render target failed\n"), std::string::npos);
}

TEST_F(ShadowMapTest, ReloadKeepsTheCachedObjectAndCountsItsMemoryOnce) {
  ZTexture* board = engine->getTexture("texture/tabella.tga");
  ASSERT_NE(board->texture, nullptr);
  const int32_t memory = engine->textureMemoryKB;
  EXPECT_EQ(memory, 16);  // 64 x 64 x 4 bytes

  EXPECT_TRUE(board->reload());
  EXPECT_NE(log.text().find("Reloading texture  texture/tabella.tga\n"), std::string::npos);
  EXPECT_EQ(engine->getTexture("texture/tabella.tga"), board);
  ASSERT_NE(board->texture, nullptr);
  EXPECT_EQ(board->width, 64);
  EXPECT_EQ(engine->textureMemoryKB, memory);

  TempFolder folder;
  const std::string saved = (folder.path() / "board.dds").string();
  ASSERT_TRUE(board->save(saved));
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXGetImageInfoFromFileA(saved.c_str(), &info), D3D_OK);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
  EXPECT_EQ(info.Width, 64u);
  EXPECT_EQ(info.MipLevels, 7u);  // the chain made at load
  EXPECT_FALSE(ZTexture(engine.get()).save(saved));  // nothing to write
}

TEST_F(ShadowMapTest, CubeMapsLoadRenderAndSave) {
  ZCubeTexture sky(engine.get());
  ASSERT_TRUE(sky.load("texture/cube.dds"));
  EXPECT_NE(log.text().find("Loading cube texture: texture/cube.dds\n"), std::string::npos);
  ASSERT_NE(sky.cubeTexture, nullptr);
  EXPECT_EQ(sky.cubeTexture->GetType(), D3DRTYPE_CUBETEXTURE);
  EXPECT_EQ(sky.cubeTexture->width(), 64u);
  EXPECT_EQ(sky.renderToEnvMap, nullptr);

  TempFolder folder;
  const std::string saved = (folder.path() / "sky.dds").string();
  ASSERT_TRUE(sky.save(saved));
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXGetImageInfoFromFileA(saved.c_str(), &info), D3D_OK);
  EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
  EXPECT_EQ(info.Width, 64u);

  ZCubeTexture missing(engine.get());
  EXPECT_FALSE(missing.load("texture/no such cube.dds"));
  EXPECT_EQ(missing.cubeTexture, nullptr);
  EXPECT_NE(log.text().find("Error creating texture\n"), std::string::npos);
  EXPECT_FALSE(missing.save(saved));
  missing.beginCube();  // nothing to render into: no effect
  EXPECT_EQ(currentTarget(), engine->mainRenderTarget);

  // Rendering into a face makes it the target with a depth surface; end restores the screen.
  ZCubeTexture target(engine.get());
  ASSERT_TRUE(target.createRenderTarget(32));
  ASSERT_NE(target.renderToEnvMap, nullptr);
  EXPECT_EQ(target.cubeTexture->format(), D3DFMT_X8R8G8B8);
  target.beginCube();
  target.face(D3DCUBEMAP_FACE_POSITIVE_Y);
  ASSERT_NE(currentTarget(), nullptr);
  EXPECT_EQ(currentTarget()->texture(), target.cubeTexture);
  EXPECT_EQ(currentTarget()->face(), UINT(D3DCUBEMAP_FACE_POSITIVE_Y));
  EXPECT_NE(currentDepth(), nullptr);
  target.face(6);  // no such face: the target stays
  EXPECT_EQ(currentTarget()->face(), UINT(D3DCUBEMAP_FACE_POSITIVE_Y));
  target.end();
  EXPECT_EQ(currentTarget(), engine->mainRenderTarget);
  EXPECT_EQ(currentDepth(), engine->mainDepthSurface);
}

// Casters drawn with their materials in a pass: each gets its own cut-out setting and its own
// transform, whatever was drawn before it.
TEST_F(ShadowMapTest, CastersDrawnWithMaterialsKeepTheirCutOutAndTransform) {
  engine->initShadowMaps(64, 64);
  engine->setCamera(engine->getNewCamera());
  ZLight* sun = engine->getNewLight();
  ID3DXEffect* shadow = engine->shadowMaterial->effect;
  ASSERT_NE(shadow, nullptr);
  const auto value = [&](const char* name, int count) {
    std::vector<float> out(static_cast<size_t>(count));
    shadow->GetFloatArray(shadow->GetParameterByName(nullptr, name), out.data(), UINT(count));
    return out;
  };
  ZMaterial* holes = engine->getNewMaterial();
  holes->setTexture(engine->getTexture("texture/tabella.tga"));
  holes->alphaTest = true;
  ZMaterial* solid = engine->getNewMaterial();
  ZGeometry* caster = engine->getNewGeometry();
  caster->addVertex({0, 0, 0});
  caster->addVertex({1, 0, 0});
  caster->addVertex({0, 1, 0});
  caster->addTriangle(0, 1, 2);
  caster->setMaterial(solid);
  caster->castShadow = true;
  caster->compile();
  engine->finaliseVertexBuffers(false);

  engine->setShadowMapParams(0, 0, 0, 250, 20);
  engine->loadIdentity();
  engine->beginShadowMapPass(sun, 0);
  for (ZMaterial* m : {holes, solid, holes}) {
    m->apply();
    EXPECT_EQ(value("additive", 1)[0], m == holes ? 0.0f : 1.0f) << "material " << m->index;
  }
  ZMatrix moved;
  moved.setPosition(5, 7, 3);
  engine->setWorldMatrix(moved);
  caster->draw(true);
  const std::vector<float> withMaterial = value("WorldViewProjection", 16);
  caster->draw(false);
  EXPECT_EQ(withMaterial, value("WorldViewProjection", 16));
  engine->endShadowMapPass();
  EXPECT_EQ(engine->renderState.currentEffect, nullptr);
}

}  // namespace
