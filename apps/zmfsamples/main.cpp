// zmfsamples OUTDIR: writes the bundled sample content, made here rather than shipped:
//   samples/car/car.zmt with samples/car/texture/*.tga — a small car whose frames and meshes
//     carry the names the car checks and the car test look for (WHEEL_*, SUSP_*, STEER, Pilot_HR,
//     HELMET, DRIVER_name), with textured, transparent and shadow-casting meshes;
//   flags/flag.pzo with flags/texture/flag.tga — the flag model the editor draws at every flag;
//   texture/cube.dds — the environment cube map (sky above the horizon, ground below);
//   texture/tabella.tga — the board drawn at physics reference points.
//   trackbuilder/ — the track builder's surfaces (TrackTextures.h).
// Faces wind counter-clockwise seen from outside, so face normals point out.
#include "apps/zmfsamples/SampleImages.h"
#include "apps/zmfsamples/TrackTextures.h"
#include "formats/ZFileZMF.h"
#include "foundation/ZLog.h"
#include "foundation/ZReplacingFile.h"
#include "platform/HeadlessDesktop.h"
#include "platform/d3dx/ImageFile.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

// A quad p0 p1 p2 p3 (counter-clockwise from outside) with t0 over the whole texture, in its
// own smoothing group so its edges stay sharp.
void addQuad(ZGeometry& g, const ZVector& p0, const ZVector& p1, const ZVector& p2,
             const ZVector& p3, int32_t group) {
  const int first = int(g.vertices.size());
  const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
  const ZVector corners[4] = {p0, p1, p2, p3};
  for (int i = 0; i < 4; ++i) {
    g.addVertex(corners[i]);
    g.setTextureVertex(first + i, uv[i][0], uv[i][1], 0);
  }
  g.addTriangle(first, first + 1, first + 2);
  g.faces.back().smoothingGroup = group;
  g.addTriangle(first, first + 2, first + 3);
  g.faces.back().smoothingGroup = group;
}

// An axis-aligned box between lo and hi.
void addBox(ZGeometry& g, const ZVector& lo, const ZVector& hi) {
  const float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
  addQuad(g, {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, 1);  // +z
  addQuad(g, {x1, y0, z0}, {x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, 2);  // -z
  addQuad(g, {x1, y0, z1}, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, 3);  // +x
  addQuad(g, {x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, {x0, y1, z0}, 4);  // -x
  addQuad(g, {x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, {x0, y1, z0}, 5);  // +y
  addQuad(g, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, 6);  // -y
}

// A cylinder around the x axis through the origin (a tyre): smooth tread, flat side walls.
void addTyre(ZGeometry& g, float radius, float width, int segments) {
  const float half = width / 2;
  const auto rim = [&](int i, float x) {
    const double a = 2 * std::numbers::pi * i / segments;
    return ZVector(x, float(radius * std::cos(a)), float(radius * std::sin(a)));
  };
  for (int i = 0; i < segments; ++i) {
    addQuad(g, rim(i, half), rim(i, -half), rim(i + 1, -half), rim(i + 1, half), 1);
  }
  for (float side : {half, -half}) {
    const int centre = int(g.vertices.size());
    g.addVertex({side, 0, 0});
    for (int i = 0; i < segments; ++i) {
      const int a = int(g.vertices.size());
      g.addVertex(rim(i, side));
      g.addVertex(rim(i + 1, side));
      if (side > 0) {
        g.addTriangle(centre, a, a + 1);
      } else {
        g.addTriangle(centre, a + 1, a);
      }
      g.faces.back().smoothingGroup = side > 0 ? 2 : 3;
    }
  }
}

struct Builder {
  ZCorvane engine;

  ZMaterial* material(const std::string& texture, float r, float g, float b) {
    ZMaterial* m = engine.getNewMaterial();
    m->setDiffuse(r, g, b, true);
    m->setSpecular(0.3f, 0.3f, 0.3f);
    if (!texture.empty()) m->setTexture(engine.getTexture(texture));
    return m;
  }

  ZFrame* frame(ZFrame* parent, const std::string& name, const ZVector& position) {
    ZFrame* f = engine.getNewFrame();
    f->name = name;
    f->move(position.x, position.y, position.z);
    if (parent != nullptr) parent->addChild(f);
    return f;
  }

  ZGeometry* mesh(ZFrame* f, const std::string& name, ZMaterial* m, bool castShadow) {
    ZGeometry* g = engine.getNewGeometry();
    g->name = name;
    g->setMaterial(m);
    g->castShadow = castShadow;
    f->addGeometry(g);
    return g;
  }
};

// Finishes every mesh under f: normals from the faces, radius and box.
void finish(ZFrame& f) {
  for (ZGeometry* g : f.geometries) {
    g->generateNormals();
    g->computeTangentFrames();
    g->initRadius();
    g->computeBoundingBox();
  }
  for (ZFrame* child : f.children) finish(*child);
}

bool writeCar(const std::string& folder) {
  namespace fs = std::filesystem;
  fs::create_directories(folder + "/texture");
  const bool textures =
      writeTga(folder + "/texture/body.tga", 64,
               [](int x, int y) {
                 // Racing livery: red with a white stripe and a checker panel.
                 if (y >= 26 && y < 38) return 0xFFF0F0F0u;
                 if (x < 16 && y < 16) return ((x / 4 + y / 4) % 2) ? 0xFF101010u : 0xFFF0F0F0u;
                 return 0xFFC81E1Eu;
               }) &&
      writeTga(folder + "/texture/glass.tga", 16, [](int, int y) {
        return (uint32_t(0x60 + y * 4) << 24) | 0x203040u;
      }) &&
      writeTga(folder + "/texture/tyre.tga", 32, [](int x, int) {
        return (x / 4) % 2 ? 0xFF202020u : 0xFF303030u;
      });
  if (!textures) return false;

  // Materials name their textures by bare file name; readers find them in "texture/".
  Builder b;
  ZMaterial* body = b.material("body.tga", 1, 1, 1);
  ZMaterial* glass = b.material("glass.tga", 0.6f, 0.7f, 0.8f);
  glass->setShadeModel(3);  // blend with the texture's alpha
  glass->setOpacity(0.5f);
  ZMaterial* tyre = b.material("tyre.tga", 1, 1, 1);
  ZMaterial* suit = b.material("", 0.1f, 0.2f, 0.8f);
  ZMaterial* dark = b.material("", 0.15f, 0.15f, 0.15f);

  ZFrame* car = b.frame(nullptr, "car", {0, 0, 0});
  addBox(*b.mesh(car, "BODY", body, true), {-0.9f, 0.25f, -2.1f}, {0.9f, 0.75f, 2.1f});
  addBox(*b.mesh(car, "COCKPIT", body, true), {-0.7f, 0.75f, -0.9f}, {0.7f, 1.1f, 0.4f});
  ZGeometry* screen = b.mesh(car, "WINDSCREEN", glass, false);
  addQuad(*screen, {-0.65f, 0.75f, 0.45f}, {0.65f, 0.75f, 0.45f}, {0.6f, 1.05f, 0.2f},
          {-0.6f, 1.05f, 0.2f}, 1);
  screen->transparent = true;
  const struct {
    const char* corner;
    ZVector at;
  } wheels[] = {{"LF", {-0.95f, 0.33f, 1.35f}},
                {"RF", {0.95f, 0.33f, 1.35f}},
                {"LR", {-0.95f, 0.33f, -1.35f}},
                {"RR", {0.95f, 0.33f, -1.35f}}};
  for (const auto& w : wheels) {
    ZFrame* suspension = b.frame(car, std::string("SUSP_") + w.corner, w.at);
    addBox(*b.mesh(suspension, std::string("ARM_") + w.corner, dark, true),
           {w.at.x < 0 ? 0.05f : -0.35f, -0.04f, -0.04f},
           {w.at.x < 0 ? 0.35f : -0.05f, 0.04f, 0.04f});
    ZFrame* wheel = b.frame(car, std::string("WHEEL_") + w.corner, w.at);
    addTyre(*b.mesh(wheel, std::string("TYRE_") + w.corner, tyre, true), 0.33f, 0.25f, 20);
  }
  ZFrame* steer = b.frame(car, "STEER", {0, 0.95f, 0.25f});
  addTyre(*b.mesh(steer, "STEERING_WHEEL", dark, false), 0.14f, 0.03f, 12);
  steer->rotateHeadingDEG(90);  // the wheel faces the driver
  ZFrame* pilot = b.frame(car, "Pilot_HR", {0, 0.8f, -0.2f});
  addBox(*b.mesh(pilot, "DRIVER_name", suit, true), {-0.25f, 0, -0.2f}, {0.25f, 0.45f, 0.2f});
  ZFrame* helmet = b.frame(pilot, "HELMET", {0, 0.6f, 0});
  addBox(*b.mesh(helmet, "HELMET_SHELL", body, true), {-0.13f, -0.13f, -0.15f},
         {0.13f, 0.13f, 0.15f});
  finish(*car);

  ZFileZMF file(&b.engine);
  file.sunPosition = {0.5f, -1, 0.5f};
  file.ambientLight = {0.5f, 0.5f, 0.5f};
  file.sunDiffuse = {0.9f, 0.9f, 0.9f};
  return file.saveText(folder + "/car.zmt", car);
}

bool writeFlag(const std::string& folder) {
  std::filesystem::create_directories(folder + "/texture");
  if (!writeTga(folder + "/texture/flag.tga", 32, [](int x, int y) {
        return ((x / 8 + y / 8) % 2) ? 0xFF000000u : 0xFFFFFFFFu;  // chequered
      })) {
    return false;
  }
  Builder b;
  ZMaterial* cloth = b.material("flag.tga", 1, 1, 1);
  cloth->setDoubleFace(true);
  ZMaterial* pole = b.material("", 0.7f, 0.7f, 0.7f);
  ZFrame* flag = b.frame(nullptr, "flag", {0, 0, 0});
  addBox(*b.mesh(flag, "POLE", pole, true), {-0.03f, 0, -0.03f}, {0.03f, 3, 0.03f});
  addQuad(*b.mesh(flag, "CLOTH", cloth, true), {0.03f, 2.2f, 0}, {1.2f, 2.2f, 0},
          {1.2f, 2.95f, 0}, {0.03f, 2.95f, 0}, 1);
  finish(*flag);
  ZFileZMF file(&b.engine);
  return file.save(folder + "/flag.pzo", flag);
}

// The six faces (+X -X +Y -Y +Z -Z) of a cube map, each side x side, A8R8G8B8: blue sky growing
// deeper towards the zenith, a pale horizon and grey ground. Texel (x, y) of a face looks along
// the direction the cube-map convention gives it (face images top row first).
bool writeSkyCube(const std::string& path, int side) {
  D3DXImage image;
  image.format = D3DFMT_A8R8G8B8;
  image.type = D3DRTYPE_CUBETEXTURE;
  const auto byte = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
  for (int face = 0; face < 6; ++face) {
    D3DXImageLevel level;
    level.width = level.height = UINT(side);
    level.bytes.reserve(size_t(side) * size_t(side) * 4);
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const float s = 2.0f * (float(x) + 0.5f) / float(side) - 1.0f;
        const float t = 2.0f * (float(y) + 0.5f) / float(side) - 1.0f;
        const ZVector directions[6] = {{1, -t, -s}, {-1, -t, s}, {s, 1, t},
                                       {s, -1, -t}, {s, -t, 1},  {-s, -t, -1}};
        const ZVector& d = directions[face];
        const float up = d.y / std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);  // sine of elevation
        float r, g, b;
        if (up >= 0) {
          const float k = std::sqrt(up);
          r = 0.78f + (0.20f - 0.78f) * k;
          g = 0.86f + (0.40f - 0.86f) * k;
          b = 0.95f + (0.80f - 0.95f) * k;
        } else {
          const float k = std::min(-up * 4.0f, 1.0f);
          r = 0.55f + (0.35f - 0.55f) * k;
          g = 0.54f + (0.34f - 0.54f) * k;
          b = 0.52f + (0.33f - 0.52f) * k;
        }
        level.bytes.insert(level.bytes.end(), {byte(b), byte(g), byte(r), 0xFF});
      }
    }
    image.faces.push_back({std::move(level)});
  }
  return SUCCEEDED(D3DXSaveImageToDDSFileA(path.c_str(), image));
}

bool writeRuntimeTextures(const std::string& folder) {
  std::filesystem::create_directories(folder);
  // A yellow and black board with a white frame, seen clearly from afar.
  const bool board = writeTga(folder + "/tabella.tga", 64, [](int x, int y) {
    if (x < 4 || y < 4 || x >= 60 || y >= 60) return 0xFFFFFFFFu;
    return ((x - 4) / 14 + (y - 4) / 14) % 2 ? 0xFF101010u : 0xFFFFD000u;
  });
  return board && writeSkyCube(folder + "/cube.dds", 64);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zmfsamples OUTDIR\n", stderr);
    return 2;
  }
  // The textures are named before the reader's folders exist: the cache's "not found" reports
  // are expected here and go nowhere.
  zlogSetEnabled(false);
  HeadlessDesktop silent(false);
  setDesktopHost(&silent);
  const std::string out = argv[1];
  const bool written = writeCar(out + "/samples/car") && writeFlag(out + "/flags") &&
                       writeRuntimeTextures(out + "/texture") &&
                       writeTrackBuilderTextures(out + "/trackbuilder");
  if (!written) std::fprintf(stderr, "zmfsamples: cannot write the samples below %s\n", argv[1]);
  return written ? 0 : 1;
}
