#include "tests/support/EngineFixture.h"

#include <stb_image_write.h>

#include <vector>

void EngineTest::SetUp() {
  oldDirectory = std::filesystem::current_path();
  std::filesystem::create_directories(ZMF_DATA_DIR);
  std::filesystem::current_path(ZMF_DATA_DIR);
  std::string error;
  context = HeadlessGLContext::create(kWidth, kHeight, &error);
  ASSERT_NE(context, nullptr) << error;
  engine = std::make_unique<ZCorvane>();
  engine->width = kWidth;
  engine->height = kHeight;
  ASSERT_TRUE(engine->init(static_cast<HWND>(static_cast<GLContext*>(context.get())), 0))
      << log.text();
}

void EngineTest::TearDown() {
  engine.reset();
  context.reset();
  std::filesystem::current_path(oldDirectory);
}

ZGeometry* EngineTest::newQuad(const ZVector& a, const ZVector& b, const ZVector& c,
                               const ZVector& d) {
  ZGeometry* quad = engine->getNewGeometry();
  for (const ZVector& corner : {a, b, c, d}) quad->addVertex(corner);
  quad->addTriangle(0, 1, 2);
  quad->addTriangle(0, 2, 3);
  return quad;
}

Pixel EngineTest::pixel(int x, int y) const {
  const std::vector<uint8_t> rgba = context->readPixels();
  const size_t at = (size_t(y) * kWidth + size_t(x)) * 4;
  return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
}

bool EngineTest::writePng(const std::string& path) const {
  const std::vector<uint8_t> rgba = context->readPixels();
  return stbi_write_png(path.c_str(), kWidth, kHeight, 4, rgba.data(), kWidth * 4) != 0;
}
