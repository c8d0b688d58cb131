#include "render/ZGLRenderer.h"

#include "foundation/ZMatrixD3D.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/CD3DFont.h"
#include "render/ZCorvane.h"
#include "render/ZStringBlitter.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/EngineFixture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

bool sameMatrix(const ZMatrix& a, const ZMatrix& b) {
  return std::equal(std::begin(a.m), std::end(a.m), std::begin(b.m));
}

ZMatrix translation(float x, float y, float z) {
  ZMatrix m;
  m.setPosition(x, y, z);
  return m;
}

TEST(ZGLRendererColour, ChannelsAreRoundedAndKeepTheirLowEightBits) {
  struct Case {
    float r, g, b, a;
    D3DCOLOR expected;
  };
  for (const Case c : {Case{1, 0, 0, 1, 0xFFFF0000}, Case{0.2f, 0.4f, 0.6f, 1, 0xFF336699},
                       Case{0.5f, 0.5f, 0.5f, 0.5f, 0x80808080},  // 127.5 rounds up
                       Case{0.498f, 0, 0, 0, 0x007F0000},          // 126.99 rounds to 127
                       Case{1.2f, 0, 2, 1, 0xFF3200FE},            // 306 and 510 wrap
                       Case{-0.2f, 0, 0, 1, 0xFFCD0000},           // -51 wraps to 205
                       Case{NAN, 0, 0, 1, 0xFF000000}}) {
    ZGLRenderer renderer(nullptr);
    renderer.color4f(c.r, c.g, c.b, c.a);
    renderer.begin(ZGLRenderer::kPoints);
    renderer.vertex2f(0, 0);
    EXPECT_EQ(renderer.vertices[0].colour, c.expected) << c.r << " " << c.g << " " << c.b;
  }
  ZGLRenderer renderer(nullptr);
  renderer.color3f(1.2f, 0.5f, 0);
  EXPECT_EQ(renderer.colour, 0xFF328000u);  // alpha 255, same rounding
}

TEST(ZGLRendererHeadless, CollectsVerticesAndDrawsNothingWithoutADevice) {
  CaptureLog log;
  ZCorvane engine;
  ZGLRenderer renderer(&engine);
  renderer.pushMatrix();
  renderer.translate(1, 2, 3);
  renderer.popMatrix();
  renderer.texCoord2f(0.25f, 0.75f);
  renderer.begin(ZGLRenderer::kTriangles);
  renderer.vertex3fv(ZVector(1, 2, 3));
  renderer.vertex2f(4, 5);
  renderer.vertex3f(6, 7, 8);
  renderer.end();
  ASSERT_EQ(renderer.vertices.size(), 3u);
  EXPECT_EQ(renderer.vertices[1].z, -1.0f);
  EXPECT_EQ(renderer.vertices[2].u, 0.25f);
  EXPECT_EQ(renderer.vertices[2].v, 0.75f);
  EXPECT_TRUE(sameMatrix(engine.world, ZMatrix()));
}

class ImmediateDrawing : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    device = engine->device;
    engine->setDefaultMaterial();
    engine->orthoProjection(-1, 1, -1, 1);
    clear();
  }

  void clear() { device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0); }

  // A camera at the origin looking down -z with a 90-degree field of view.
  void perspective() {
    engine->loadIdentity();
    engine->setWorldMatrix(ZMatrix());
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovRH(&projection, 1.5707964f, float(kWidth) / kHeight, 0.1f, 100);
    device->SetTransform(D3DTS_PROJECTION, &projection);
  }

  // Pixels in [x0, x1) x [y0, y1) whose brightest channel is above 128.
  int brightPixels(int x0, int y0, int x1, int y1) const {
    const std::vector<uint8_t> rgba = context->readPixels();
    int count = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, kHeight); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, kWidth); ++x) {
        const uint8_t* p = &rgba[(size_t(y) * kWidth + size_t(x)) * 4];
        count += std::max({p[0], p[1], p[2]}) > 128;
      }
    }
    return count;
  }

  IDirect3DDevice9* device = nullptr;
};

TEST_F(ImmediateDrawing, EachModeDrawsItsCompletePrimitivesOnly) {
  struct Case {
    int32_t mode;
    int vertices;
    uint64_t draws;
    GLuint primitives;  // as the GL pipeline counts them
  };
  const Case cases[] = {
      {ZGLRenderer::kLines, 1, 0, 0},      {ZGLRenderer::kLines, 5, 1, 2},
      {ZGLRenderer::kLineStrip, 1, 0, 0},  {ZGLRenderer::kLineStrip, 4, 1, 3},
      {ZGLRenderer::kQuads, 3, 0, 0},      {ZGLRenderer::kQuads, 5, 1, 2},
      {ZGLRenderer::kQuads, 7, 1, 2},      {ZGLRenderer::kQuads, 8, 1, 4},
      {ZGLRenderer::kTriangles, 2, 0, 0},  {ZGLRenderer::kTriangles, 7, 1, 2},
      {ZGLRenderer::kPoints, 0, 0, 0},     {ZGLRenderer::kPoints, 3, 1, 3},
      {9, 6, 0, 0},
  };
  GLuint query = 0;
  glGenQueries(1, &query);
  ZGLRenderer renderer(engine.get());
  ZVertexBuffer* bound = engine->getVertexBuffer(D3DFVF_CVSVERTEX, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << c.vertices << " vertices");
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->resetCallCounts();
    engine->currentVertexBuffer = bound;
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    renderer.begin(c.mode);
    for (int i = 0; i < c.vertices; ++i) renderer.vertex2f(0.1f * float(i % 3), 0.1f * float(i % 2));
    renderer.end();
    glEndQuery(GL_PRIMITIVES_GENERATED);
    GLuint primitives = 0;
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &primitives);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(device->callCount(D3DCall::DrawPrimitiveUP), c.draws);
    EXPECT_EQ(primitives, c.primitives);
    DWORD lighting = TRUE, fvf = 0;
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    device->GetFVF(&fvf);
    EXPECT_EQ(lighting, DWORD(FALSE));
    EXPECT_EQ(fvf, ZGLRenderer::kFVF);
    EXPECT_EQ(engine->currentVertexBuffer, nullptr);
  }
  glDeleteQueries(1, &query);
}

TEST_F(ImmediateDrawing, BoxOutlineIsTheTwelveEdgesOfTheTransformedBox) {
  ZGLRenderer renderer(engine.get());
  device->resetCallCounts();
  renderer.drawBox(translation(10, 20, 30), 2, 4, 6, false);
  EXPECT_EQ(renderer.mode, ZGLRenderer::kLines);
  ASSERT_EQ(renderer.vertices.size(), 24u);
  EXPECT_EQ(device->callCount(D3DCall::DrawPrimitiveUP), 1u);
  // Every end is a corner of the box around (10, 20, 30); every edge runs along one axis, and
  // each axis has four edges of the box's size along it.
  std::map<int, int> edgesPerAxis;
  for (size_t i = 0; i < 24; i += 2) {
    const ZGLVertex& a = renderer.vertices[i];
    const ZGLVertex& b = renderer.vertices[i + 1];
    for (const ZGLVertex* p : {&a, &b}) {
      EXPECT_EQ(std::fabs(p->x - 10), 1.0f);
      EXPECT_EQ(std::fabs(p->y - 20), 2.0f);
      EXPECT_EQ(std::fabs(p->z - 30), 3.0f);
    }
    const float d[3] = {std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)};
    const int changed = (d[0] != 0) + (d[1] != 0) + (d[2] != 0);
    ASSERT_EQ(changed, 1) << "edge " << i / 2;
    const int axis = d[0] != 0 ? 0 : d[1] != 0 ? 1 : 2;
    EXPECT_EQ(d[axis], float(2 * (axis + 1)));
    ++edgesPerAxis[axis];
  }
  EXPECT_EQ(edgesPerAxis, (std::map<int, int>{{0, 4}, {1, 4}, {2, 4}}));
}

TEST_F(ImmediateDrawing, FilledBoxShowsItsOutsideAndHidesItsInsideUnderTheEngineCulling) {
  perspective();
  DWORD cull = 0;
  device->GetRenderState(D3DRS_CULLMODE, &cull);
  ASSERT_EQ(cull, DWORD(D3DCULL_CW));  // the default material's: right-handed views
  ZGLRenderer renderer(engine.get());
  struct Case {
    const char* what;
    ZMatrix at;
    bool seen;
  };
  for (const Case& c : {Case{"in front of the camera", translation(0, 0, -5), true},
                        Case{"around the camera", ZMatrix(), false}}) {
    clear();
    renderer.drawBox(c.at, 4, 4, 4, true);
    EXPECT_EQ(renderer.vertices.size(), 24u);
    EXPECT_EQ(brightPixels(0, 0, kWidth, kHeight) > 0, c.seen) << c.what;
  }
}

TEST_F(ImmediateDrawing, TranslateMovesTheViewAndPopMatrixRestoresTheWorld) {
  const auto deviceTransform = [&](D3DTRANSFORMSTATETYPE which) {
    D3DMATRIX m{};
    device->GetTransform(which, &m);
    ZMatrix out;
    std::copy(std::begin(m.m), std::end(m.m), out.m);
    return out;
  };
  // A quarter turn about y at (1, 0, 0): rows right, up, heading, position.
  ZMatrix start;
  const float rows[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1};
  std::copy(std::begin(rows), std::end(rows), start.m);
  ZMatrix moved = start;  // the position row gains (1, 2, 3); the axes stay
  moved.m[12] = 2;
  moved.m[13] = 2;
  moved.m[14] = 3;

  ZGLRenderer renderer(engine.get());
  engine->setWorldMatrix(start);
  renderer.pushMatrix();
  renderer.translate(1, 2, 3);
  EXPECT_TRUE(sameMatrix(engine->view, moved));
  EXPECT_TRUE(sameMatrix(deviceTransform(D3DTS_VIEW), moved));
  EXPECT_TRUE(sameMatrix(engine->world, start));  // the world is not touched
  EXPECT_TRUE(sameMatrix(deviceTransform(D3DTS_WORLD), start));

  // popMatrix makes the new top, the pushed start, the world again, wherever the world went.
  engine->world = translation(7, 7, 7);
  const D3DXMATRIX elsewhere = toD3DX(engine->world);
  device->SetTransform(D3DTS_WORLD, &elsewhere);
  renderer.popMatrix();
  EXPECT_TRUE(sameMatrix(engine->world, start));
  EXPECT_TRUE(sameMatrix(deviceTransform(D3DTS_WORLD), start));
  EXPECT_TRUE(sameMatrix(engine->view, moved));  // the view stays
}

TEST_F(ImmediateDrawing, LinesAndALabelReachTheBackBuffer) {
  // A red line across the top half, from the immediate drawer.
  ZGLRenderer lines(engine.get());
  lines.begin(ZGLRenderer::kLines);
  lines.color3f(1, 0, 0);
  lines.vertex2f(-1, 0.5f);
  lines.vertex2f(1, 0.5f);
  lines.end();
  int redOnRow = 0;
  for (int x = 0; x < kWidth; ++x) redOnRow += pixel(x, kHeight / 4).r > 200;
  EXPECT_GT(redOnRow, kWidth * 9 / 10);

  // A white label whose line box has its lower-left corner at the screen's centre-left.
  ZStringBlitter text;
  ASSERT_TRUE(text.init(engine.get(), 0));
  EXPECT_NE(log.text().find("FONT HEIGHT=16\n"), std::string::npos);
  text.scale = 0.25f;  // one em = 16 pixels on this 128 x 96 screen
  text.setColor(1, 1, 1, 1);
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  text.blitString(-0.75f, -0.25f, "HH");  // pixel (16, 60)
  // The glyphs lie in the line box above (16, 60): at most a line of about 19 pixels, two
  // characters of about 12.
  EXPECT_GT(brightPixels(16, 40, 45, 61), 40);
  EXPECT_EQ(brightPixels(0, 61, kWidth, kHeight), 0);
  EXPECT_EQ(brightPixels(46, 26, kWidth, 61), 0);
  // The states the text needed are back as they were, so the render-state cache stays true.
  DWORD depth = 0, fill = 0, blend = 1;
  device->GetRenderState(D3DRS_ZENABLE, &depth);
  device->GetRenderState(D3DRS_FILLMODE, &fill);
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(depth, DWORD(TRUE));
  EXPECT_EQ(fill, DWORD(D3DFILL_WIREFRAME));
  EXPECT_EQ(blend, DWORD(FALSE));
  IDirect3DBaseTexture9* texture = nullptr;
  device->GetTexture(0, &texture);
  EXPECT_EQ(texture, nullptr);
}

TEST_F(ImmediateDrawing, BlitCentredPutsTheMiddleOfTheTextOnThePoint) {
  ZStringBlitter text;
  ASSERT_TRUE(text.init(engine.get(), 0));
  text.scale = 0.25f;
  text.blitCentred(0, 0, "OOO");
  const std::vector<uint8_t> rgba = context->readPixels();
  int left = kWidth, right = -1, top = kHeight, bottom = -1;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (rgba[(size_t(y) * kWidth + size_t(x)) * 4] <= 128) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ASSERT_GE(right, 0) << "nothing drawn";
  EXPECT_NEAR((left + right) / 2.0, kWidth / 2.0, 2.5);
  EXPECT_NEAR((top + bottom) / 2.0, kHeight / 2.0, 3.5);
}

TEST_F(ImmediateDrawing, BlitVectorWritesTheFormattedLineAndStepsTheCursor) {
  ZStringBlitter text;
  ASSERT_TRUE(text.init(engine.get(), 0));
  text.scale = 0.1f;
  const auto frameOf = [&](auto draw) {
    clear();
    draw();
    return context->readPixels();
  };
  const std::vector<uint8_t> written = frameOf([&] {
    text.setCursor(-1, 0.8f, -0.3f);
    text.blitVector("P", 1, -2.5f, 3.125f);
    text.blitVector2("Q", 0.5f, 7);
    text.blitVector("R", 0, 0, 1e3f);
  });
  EXPECT_FLOAT_EQ(text.cursorY, 0.8f - 3 * 0.3f);
  EXPECT_EQ(text.cursorX, -1.0f);
  const std::vector<uint8_t> expected = frameOf([&] {
    text.blitString(-1, 0.8f, "P(1.00 -2.50 3.12)");
    text.blitString(-1, 0.5f, "Q(0.50 7.00)");
    text.blitString(-1, 0.2f, "R(0.00 0.00 1000.00)");
  });
  EXPECT_TRUE(written == expected);
  // The comparison can tell one digit apart.
  const std::vector<uint8_t> other = frameOf([&] {
    text.blitString(-1, 0.8f, "P(1.00 -2.50 3.13)");
    text.blitString(-1, 0.5f, "Q(0.50 7.00)");
    text.blitString(-1, 0.2f, "R(0.00 0.00 1000.00)");
  });
  EXPECT_FALSE(written == other);
}

TEST_F(ImmediateDrawing, TextDrawnWhileAnEffectRunsLooksLikeTextWithout) {
  ZStringBlitter text;
  ASSERT_TRUE(text.init(engine.get(), 0));
  text.scale = 0.25f;
  text.blitString(-1, 0, "Ab");
  const std::vector<uint8_t> plain = context->readPixels();
  ZMaterial* shaded = engine->getNewMaterial();
  shaded->initEffect("corvane_base.fxo");
  shaded->apply();
  ASSERT_NE(engine->renderState.currentEffect, nullptr);
  clear();
  text.blitString(-1, 0, "Ab");
  EXPECT_EQ(engine->renderState.currentEffect, nullptr);
  EXPECT_TRUE(context->readPixels() == plain);
}

TEST_F(ImmediateDrawing, TextIsNotDrawnWithoutADevice) {
  ZCorvane headless;
  ZStringBlitter text;
  text.fontName = std::string(100, 'F');
  EXPECT_FALSE(text.init(&headless, 3));
  ASSERT_NE(text.font, nullptr);
  EXPECT_EQ(text.font->faceName(), std::string(80, 'F'));
  EXPECT_EQ(text.font->flags(), 3u);
  text.blitString(0, 0, "x");  // no device: nothing, no crash
  ZStringBlitter never;
  never.blitCentred(0, 0, "x");  // before init
  EXPECT_EQ(brightPixels(0, 0, kWidth, kHeight), 0);
}

class FrameOverlay : public ImmediateDrawing {
 protected:
  // root -> child (at z = -5) holding a 2 x 2 quad facing the camera.
  void SetUp() override {
    ImmediateDrawing::SetUp();
    if (HasFatalFailure()) return;
    root = engine->getNewFrame();
    child = engine->getNewFrame();
    root->addChild(child);
    child->matrix.setPosition(0, 0, -5);
    quad = newQuad({-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0});
    child->addGeometry(quad);
    root->compile();
    engine->finaliseVertexBuffers(true);
    perspective();
  }

  ZFrame* root = nullptr;
  ZFrame* child = nullptr;
  ZGeometry* quad = nullptr;
};

TEST_F(FrameOverlay, HighlightsTheSelectionAndLeavesFillModeAndWorldAsFound) {
  engine->selectedFrame = child;
  engine->selectedGeometry = quad;
  const ZMatrix before = translation(0, 0, 1);  // the overlay draws under the world in force
  engine->setWorldMatrix(before);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->resetCallCounts();
  root->renderOverlay();

  EXPECT_EQ(device->callCount(D3DCall::DrawIndexedPrimitive), 1u);  // the selected mesh
  EXPECT_EQ(device->callCount(D3DCall::DrawPrimitiveUP), 1u);       // the axes
  DWORD fill = 0, lighting = FALSE;
  device->GetRenderState(D3DRS_FILLMODE, &fill);
  device->GetRenderState(D3DRS_LIGHTING, &lighting);
  EXPECT_EQ(fill, DWORD(D3DFILL_SOLID));
  EXPECT_EQ(lighting, DWORD(TRUE));
  EXPECT_TRUE(sameMatrix(engine->world, before));
  D3DMATRIX deviceWorld{};
  device->GetTransform(D3DTS_WORLD, &deviceWorld);
  EXPECT_TRUE(std::equal(std::begin(deviceWorld.m), std::end(deviceWorld.m), before.m));

  // The quad at z = -4 spans 1 / 4 of the half-height: its outline is yellow, its inside is
  // not filled, and the red x axis runs right from the centre.
  const Pixel inside = pixel(kWidth / 2 - 6, kHeight / 2 - 6);
  EXPECT_EQ(inside.r + inside.g + inside.b, 0);
  const Pixel onAxis = pixel(kWidth / 2 + 6, kHeight / 2);
  EXPECT_GT(onAxis.r, 200);
  EXPECT_LT(onAxis.g + onAxis.b, 60);
  int yellow = 0;
  for (int d = -14; d <= 14; ++d) {
    const Pixel top = pixel(kWidth / 2 + d, kHeight / 2 - 12);
    const Pixel topBelow = pixel(kWidth / 2 + d, kHeight / 2 - 11);
    for (const Pixel& p : {top, topBelow}) yellow += p.r > 200 && p.g > 200 && p.b < 60;
  }
  EXPECT_GT(yellow, 10);
}

TEST_F(FrameOverlay, DrawsNothingForAHiddenTreeOrWithoutSelection) {
  device->resetCallCounts();
  root->renderOverlay();  // nothing selected
  engine->selectedFrame = child;
  engine->selectedGeometry = quad;
  root->visible = false;
  root->renderOverlay();
  EXPECT_EQ(device->callCount(D3DCall::DrawIndexedPrimitive), 0u);
  EXPECT_EQ(device->callCount(D3DCall::DrawPrimitiveUP), 0u);
  EXPECT_EQ(brightPixels(0, 0, kWidth, kHeight), 0);
}

}  // namespace
