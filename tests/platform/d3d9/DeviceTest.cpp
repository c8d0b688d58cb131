#include "tests/platform/d3d9/DeviceFixture.h"

#include "platform/gl/ExternalGLContext.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstring>

namespace {

constexpr D3DCOLOR kBlue = 0xFF0000FF;
constexpr D3DCOLOR kGreen = 0xFF00FF00;
constexpr D3DCOLOR kRed = 0xFFFF0000;

struct LitVertex {
  float x, y, z;
  float nx, ny, nz;
};

D3DMATRIX identityMatrix() {
  D3DMATRIX m{};
  m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1;
  return m;
}

void useDiffuseOnly(IDirect3DDevice9* device) {
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
}

TEST_F(DeviceTest, ClearFillsTheViewportOnly) {
  clear(kBlue);
  D3DVIEWPORT9 half{0, 0, 32, 64, 0, 1};
  ASSERT_EQ(device->SetViewport(&half), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  expectColour(pixel(10, 10), {255, 0, 0, 255}, 0, "inside the viewport");
  expectColour(pixel(50, 10), {0, 0, 255, 255}, 0, "outside the viewport");
  D3DVIEWPORT9 outside{60, 0, 32, 64, 0, 1};
  EXPECT_EQ(device->SetViewport(&outside), D3DERR_INVALIDCALL);
}

// A screen-space draw takes the scissor rectangle, not the box a Clear of some rectangles left.
TEST_F(DeviceTest, ScreenSpaceDrawsKeepToTheScissorRectangle) {
  clear(0xFF000000);
  const D3DRECT corner = {0, 0, 8, 8};
  device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
  const RECT scissor = {16, 16, 48, 48};
  ASSERT_EQ(device->SetScissorRect(&scissor), D3D_OK);
  device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  drawScreenRect(0, 0, 64, 64, 0.5f, 0xFF00FF00);
  device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
  expectColour(pixel(32, 32), {0, 255, 0, 255}, 0, "inside the scissor");
  expectColour(pixel(20, 44), {0, 255, 0, 255}, 0, "inside, near the bottom left");
  expectColour(pixel(4, 4), {0, 0, 255, 255}, 0, "the cleared corner, outside the scissor");
  expectColour(pixel(56, 32), {0, 0, 0, 255}, 0, "outside the scissor");
}

TEST_F(DeviceTest, LitRedTriangleUnderDirectionalLight) {
  clear(0xFF000000);
  const D3DMATRIX identity = identityMatrix();
  device->SetTransform(D3DTS_WORLD, &identity);
  device->SetTransform(D3DTS_VIEW, &identity);
  device->SetTransform(D3DTS_PROJECTION, &identity);
  D3DMATERIAL9 material{};
  material.Diffuse = {1, 0, 0, 1};
  material.Power = 10;
  ASSERT_EQ(device->SetMaterial(&material), D3D_OK);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 1};
  light.Direction = {0, 0, 1};  // travelling into the screen
  ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
  ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetTexture(0, nullptr);
  ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL), D3D_OK);
  // Left triangle faces the light, right triangle faces away (clip space, y up).
  const LitVertex v[6] = {
      {-0.9f, -0.9f, 0.5f, 0, 0, -1}, {-0.5f, 0.9f, 0.5f, 0, 0, -1}, {-0.1f, -0.9f, 0.5f, 0, 0, -1},
      {0.1f, -0.9f, 0.5f, 0, 0, 1},   {0.5f, 0.9f, 0.5f, 0, 0, 1},   {0.9f, -0.9f, 0.5f, 0, 0, 1},
  };
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(LitVertex)), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  expectColour(pixel(16, 40), {255, 0, 0, 255}, 2, "lit face");
  expectColour(pixel(48, 40), {0, 0, 0, 255}, 2, "face turned away");

  // Turning the world half round about X turns the lit face away; the light stays put.
  D3DMATRIX turned = identity;
  turned.m[5] = turned.m[10] = -1;
  device->SetTransform(D3DTS_WORLD, &turned);
  clear(0xFF000000);
  device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(LitVertex));
  expectColour(pixel(16, 40), {0, 0, 0, 255}, 2, "lit face turned away by the world");
  device->SetTransform(D3DTS_WORLD, &identity);

  // Ambient light adds to the unlit side.
  device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(128, 128, 128));
  material.Ambient = {0, 1, 0, 1};
  device->SetMaterial(&material);
  device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(LitVertex));
  expectColour(pixel(48, 40), {0, 128, 0, 255}, 3, "ambient only");
}

TEST_F(DeviceTest, AlphaBlendingBackToFront) {
  clear(kBlue);
  useDiffuseOnly(device);
  drawScreenRect(8, 8, 56, 56, 0.5f, kGreen);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  drawScreenRect(0, 0, 32, 64, 0.4f, 0x80FF0000);  // half-transparent red over the left half
  expectColour(pixel(20, 32), {128, 127, 0, 255}, 3, "red over green");
  expectColour(pixel(4, 4), {128, 0, 127, 255}, 3, "red over the clear colour");
  expectColour(pixel(48, 32), {0, 255, 0, 255}, 0, "green alone");
}

TEST_F(DeviceTest, AlphaTestCutsAGradientAtTheReference) {
  clear(kBlue);
  useDiffuseOnly(device);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_ALPHAREF, 128);
  // Alpha runs from 0 at the left edge to 255 at the right edge.
  const ScreenVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0x00FF0000, 0, 0},
                             {63.5f, -0.5f, 0.5f, 1, 0xFFFF0000, 1, 0},
                             {-0.5f, 63.5f, 0.5f, 1, 0x00FF0000, 0, 1},
                             {63.5f, 63.5f, 0.5f, 1, 0xFFFF0000, 1, 1}};
  device->SetFVF(kScreenVertexFVF);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex)), D3D_OK);
  int firstDrawn = -1;
  for (int x = 0; x < kSize && firstDrawn < 0; ++x) {
    if (pixel(x, 32).r > 200) firstDrawn = x;
  }
  // Pixel x has alpha (x + 0.5) / 64 * 255: the first at or above 128 is x = 32.
  EXPECT_NEAR(firstDrawn, 32, 1);
  expectColour(pixel(16, 32), {0, 0, 255, 255}, 0, "cut away");
  expectColour(pixel(48, 32), {255, 0, 0, 255}, 0, "kept");
}

TEST_F(DeviceTest, StageZeroModulatesTextureWithDiffuse) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};  // rows top first
  for (int y = 0; y < 2; ++y) {
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * 2], 8);
  }
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  clear(0xFF000000);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  drawScreenRect(-0.5f, -0.5f, 63.5f, 63.5f, 0.5f, 0xFF808080);
  expectColour(pixel(16, 16), {128, 0, 0, 255}, 2, "top left texel");
  expectColour(pixel(48, 16), {0, 128, 0, 255}, 2, "top right texel");
  expectColour(pixel(16, 48), {0, 0, 128, 255}, 2, "bottom left texel");
  expectColour(pixel(48, 48), {128, 128, 128, 255}, 2, "bottom right texel");
  device->SetTexture(0, nullptr);
  texture->Release();
}

TEST_F(DeviceTest, DepthTestAndDepthWrite) {
  useDiffuseOnly(device);
  const struct {
    BOOL nearWritesDepth;
    RGBA expected;
  } cases[] = {{TRUE, {255, 0, 0, 255}}, {FALSE, {0, 255, 0, 255}}};
  for (const auto& c : cases) {
    clear(kBlue);
    device->SetRenderState(D3DRS_ZWRITEENABLE, c.nearWritesDepth);
    drawScreenRect(0, 0, 64, 64, 0.3f, kRed);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    drawScreenRect(0, 0, 64, 64, 0.6f, kGreen);  // behind the red one
    expectColour(pixel(32, 32), c.expected, 0, c.nearWritesDepth ? "depth written" : "no depth write");
  }
  // Depth test off: later always wins.
  clear(kBlue);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  drawScreenRect(0, 0, 64, 64, 0.3f, kRed);
  drawScreenRect(0, 0, 64, 64, 0.6f, kGreen);
  expectColour(pixel(32, 32), {0, 255, 0, 255}, 0, "no depth test");
}

TEST_F(DeviceTest, CullingFollowsScreenWinding) {
  useDiffuseOnly(device);
  // Left: clockwise on screen; right: counter-clockwise.
  const ScreenVertex v[6] = {
      {4, 60, 0.5f, 1, kRed, 0, 0},  {16, 4, 0.5f, 1, kRed, 0, 0},  {28, 60, 0.5f, 1, kRed, 0, 0},
      {36, 60, 0.5f, 1, kRed, 0, 0}, {60, 60, 0.5f, 1, kRed, 0, 0}, {48, 4, 0.5f, 1, kRed, 0, 0},
  };
  const struct {
    D3DCULL mode;
    bool left, right;
  } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
  device->SetFVF(kScreenVertexFVF);
  for (const auto& c : cases) {
    clear(kBlue);
    device->SetRenderState(D3DRS_CULLMODE, c.mode);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ScreenVertex));
    EXPECT_EQ(pixel(16, 48).r > 200, c.left) << "cull mode " << c.mode;
    EXPECT_EQ(pixel(48, 48).r > 200, c.right) << "cull mode " << c.mode;
  }
}

TEST_F(DeviceTest, RenderTargetDrawnIntoAndSampledBackUpright) {
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                  D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* depth = nullptr;
  ASSERT_EQ(device->CreateDepthStencilSurface(16, 16, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                              &depth, nullptr),
            D3D_OK);
  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* backDepth = nullptr;
  device->GetRenderTarget(0, &backBuffer);
  device->GetDepthStencilSurface(&backDepth);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
  ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
  ASSERT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
  D3DVIEWPORT9 viewport;
  device->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 16u);  // setting a target resets the viewport to its size

  useDiffuseOnly(device);
  clear(kBlue);
  drawScreenRect(0, 0, 16, 8, 0.5f, kRed);  // top half of the target
  // Culling keeps the same (clockwise) triangles in the target as on screen.
  EXPECT_EQ(device->GetRenderTarget(0, &level), D3D_OK);
  level->Release();

  device->SetRenderTarget(0, backBuffer);
  device->SetDepthStencilSurface(backDepth);
  clear(0xFF000000);
  device->SetTexture(0, target);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  drawScreenRect(-0.5f, -0.5f, 63.5f, 63.5f, 0.5f, 0xFFFFFFFF);
  expectColour(pixel(32, 10), {255, 0, 0, 255}, 0, "top of the sampled target");
  expectColour(pixel(32, 54), {0, 0, 255, 255}, 0, "bottom of the sampled target");

  device->SetTexture(0, nullptr);
  level->Release();
  backBuffer->Release();
  backDepth->Release();
  depth->Release();
  target->Release();
}

float halfToFloat(uint16_t h) {
  const int exponent = (h >> 10) & 0x1F;
  const int mantissa = h & 0x3FF;
  const float sign = (h & 0x8000) ? -1.0f : 1.0f;
  if (exponent == 0) return sign * std::ldexp(float(mantissa), -24);
  return sign * std::ldexp(float(mantissa | 0x400), exponent - 25);
}

TEST_F(DeviceTest, FloatTargetKeepsValuesAboveOne) {
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A16B16G16R16F,
                                  D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* level = nullptr;
  target->GetSurfaceLevel(0, &level);
  device->SetRenderTarget(0, level);
  device->SetDepthStencilSurface(nullptr);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3D_OK);
  useDiffuseOnly(device);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  for (int i = 0; i < 3; ++i) drawScreenRect(0, 0, 8, 8, 0.5f, 0xFFFFFFFF);  // 1 + 1 + 1

  IDirect3DSurface9* copy = nullptr;
  ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A16B16G16R16F, D3DPOOL_SYSTEMMEM,
                                                &copy, nullptr),
            D3D_OK);
  ASSERT_EQ(device->GetRenderTargetData(level, copy), D3D_OK);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(copy->LockRect(&locked, nullptr, 0), D3D_OK);
  const auto* texel = static_cast<const uint16_t*>(locked.pBits) + (4 * 8 + 4) * 4;
  EXPECT_FLOAT_EQ(halfToFloat(texel[0]), 3.0f);
  EXPECT_FLOAT_EQ(halfToFloat(texel[3]), 3.0f);
  copy->UnlockRect();
  copy->Release();
  level->Release();
  target->Release();
}

TEST_F(DeviceTest, BuffersWithBaseVertexAndCallCounts) {
  IDirect3DVertexBuffer9* vertices = nullptr;
  IDirect3DIndexBuffer9* indices = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY,
                                       kScreenVertexFVF, D3DPOOL_DEFAULT, &vertices, nullptr),
            D3D_OK);
  ASSERT_EQ(device->CreateIndexBuffer(6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                      &indices, nullptr),
            D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
  // Vertices 0-3: a red quad on the left; 4-7: a green quad on the right.
  const ScreenVertex quads[8] = {
      {0, 0, 0.5f, 1, kRed, 0, 0},    {32, 0, 0.5f, 1, kRed, 0, 0},
      {32, 64, 0.5f, 1, kRed, 0, 0},  {0, 64, 0.5f, 1, kRed, 0, 0},
      {32, 0, 0.5f, 1, kGreen, 0, 0}, {64, 0, 0.5f, 1, kGreen, 0, 0},
      {64, 64, 0.5f, 1, kGreen, 0, 0}, {32, 64, 0.5f, 1, kGreen, 0, 0},
  };
  std::memcpy(data, quads, sizeof quads);
  ASSERT_EQ(vertices->Unlock(), D3D_OK);
  EXPECT_EQ(vertices->Unlock(), D3DERR_INVALIDCALL);
  EXPECT_EQ(vertices->Lock(200, 100, &data, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(indices->Lock(0, 0, &data, 0), D3D_OK);
  const uint16_t quadIndices[6] = {0, 1, 2, 0, 2, 3};
  std::memcpy(data, quadIndices, sizeof quadIndices);
  indices->Unlock();

  clear(kBlue);
  useDiffuseOnly(device);
  device->resetCallCounts();
  device->SetFVF(kScreenVertexFVF);
  device->SetStreamSource(0, vertices, 0, sizeof(ScreenVertex));
  device->SetIndices(indices);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
  expectColour(pixel(48, 32), {0, 255, 0, 255}, 0, "base vertex 4 draws the green quad");
  expectColour(pixel(16, 32), {0, 0, 255, 255}, 0, "the red quad is not drawn");
  EXPECT_EQ(device->callCount(D3DCall::SetStreamSource), 1u);
  EXPECT_EQ(device->callCount(D3DCall::DrawIndexedPrimitive), 1u);
  EXPECT_EQ(device->callCount(D3DCall::SetRenderState), 0u);

  // Draws that would read past either buffer are refused.
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 5, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 4, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 2), D3D_OK);

  vertices->Release();
  indices->Release();
}

TEST_F(DeviceTest, RefusesBadCalls) {
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(device->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_DXT1, D3DPOOL_DEFAULT,
                                  &texture, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(500), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetFVF(D3DFVF_NORMAL), D3DERR_INVALIDCALL);  // no position
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // no stream
  EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
  const D3DVERTEXELEMENT9 unterminated[1] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, 0, 0}};
  (void)unterminated;
  DWORD value = 0;
  device->SetRenderState(D3DRS_ALPHAREF, 77);
  ASSERT_EQ(device->GetRenderState(D3DRS_ALPHAREF, &value), D3D_OK);
  EXPECT_EQ(value, 77u);
}

TEST_F(DeviceTest, DeclarationOfTheEngineVertex) {
  const D3DVERTEXELEMENT9 elements[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
      {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
      {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
      {0, 32, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
      D3DDECL_END()};
  IDirect3DVertexDeclaration9* declaration = nullptr;
  ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
  const VertexLayout& fromDeclaration = declaration->layout();
  const VertexLayout fromFVF = VertexLayout::fromFVF(0x40212);
  EXPECT_EQ(fromDeclaration.stride, 44);
  EXPECT_EQ(fromFVF.stride, 44);
  EXPECT_EQ(fromDeclaration.texCoords[1].offset, fromFVF.texCoords[1].offset);
  EXPECT_EQ(fromDeclaration.texCoords[1].components, 3);
  EXPECT_EQ(VertexLayout::fromFVF(0x112).stride, 32);
  EXPECT_EQ(VertexLayout::fromFVF(0x212).stride, 40);
  EXPECT_EQ(VertexLayout::fromFVF(0x142).stride, 24);
  UINT count = 0;
  declaration->GetDeclaration(nullptr, &count);
  EXPECT_EQ(count, 5u);
  declaration->Release();
}

}  // namespace

namespace {

TEST_F(DeviceTest, DrawsIntoAnExternallyOwnedFramebuffer) {
  // The owner's framebuffer is an FBO of its own, as a viewport widget's is.
  GLuint framebuffer = 0, colour = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glGenRenderbuffers(1, &colour);
  glBindRenderbuffer(GL_RENDERBUFFER, colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 16, 8);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
  int presented = 0;
  ExternalGLContext external({[&] { return context->makeCurrent(); }, [&] { return framebuffer; },
                              [] { return 16; }, [] { return 8; },
                              [&] { return ++presented > 0; }});
  D3DPRESENT_PARAMETERS parameters{};
  parameters.Windowed = TRUE;
  IDirect3DDevice9* widgetDevice = nullptr;
  ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &external, 0, &parameters,
                              &widgetDevice),
            D3D_OK);
  EXPECT_EQ(parameters.BackBufferWidth, 16u);
  ASSERT_EQ(widgetDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1, 0), D3D_OK);
  ASSERT_EQ(widgetDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(presented, 1);
  uint8_t rgba[4] = {};
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glReadPixels(3, 3, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  EXPECT_EQ(rgba[1], 255);
  EXPECT_EQ(rgba[0], 0);
  widgetDevice->Release();
  glDeleteRenderbuffers(1, &colour);
  glDeleteFramebuffers(1, &framebuffer);
}

}  // namespace
