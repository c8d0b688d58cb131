#include "tests/platform/d3d9/DeviceFixture.h"

#include <cstdlib>

void DeviceTest::SetUp() {
  std::string error;
  context = HeadlessGLContext::create(kSize, kSize, &error);
  ASSERT_NE(context, nullptr) << error;
  d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DPRESENT_PARAMETERS parameters{};
  parameters.Windowed = TRUE;
  parameters.EnableAutoDepthStencil = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, context.get(),
                              D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device),
            D3D_OK);
}

void DeviceTest::TearDown() {
  if (device) device->Release();
  if (d3d) d3d->Release();
  context.reset();
}

RGBA DeviceTest::pixel(int x, int y) const {
  const std::vector<uint8_t> pixels = context->readPixels();
  const uint8_t* p = &pixels[(size_t(y) * kSize + size_t(x)) * 4];
  return {p[0], p[1], p[2], p[3]};
}

void DeviceTest::drawScreenRect(float left, float top, float right, float bottom, float z,
                                D3DCOLOR colour) {
  // Clockwise on screen, so the default culling keeps it.
  const ScreenVertex v[6] = {
      {left, top, z, 1, colour, 0, 0},     {right, top, z, 1, colour, 1, 0},
      {right, bottom, z, 1, colour, 1, 1}, {left, top, z, 1, colour, 0, 0},
      {right, bottom, z, 1, colour, 1, 1}, {left, bottom, z, 1, colour, 0, 1},
  };
  ASSERT_EQ(device->SetFVF(kScreenVertexFVF), D3D_OK);
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ScreenVertex)), D3D_OK);
}

void DeviceTest::clear(D3DCOLOR colour) {
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0), D3D_OK);
}

void expectColour(const RGBA& actual, const RGBA& expected, int tolerance, const std::string& what) {
  EXPECT_LE(std::abs(actual.r - expected.r), tolerance) << what << ": red " << actual.r;
  EXPECT_LE(std::abs(actual.g - expected.g), tolerance) << what << ": green " << actual.g;
  EXPECT_LE(std::abs(actual.b - expected.b), tolerance) << what << ": blue " << actual.b;
}
