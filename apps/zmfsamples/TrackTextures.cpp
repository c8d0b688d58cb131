#include "apps/zmfsamples/TrackTextures.h"

#include "apps/zmfsamples/SampleImages.h"
#include "foundation/ZReplacingFile.h"
#include "platform/d3dx/ImageFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 128;

// A colour with components 0..1 and an alpha of 0 or 1.
struct Texel {
  float r, g, b, a = 1;
};

// Value noise that tiles every `period` lattice cells across the picture, in 0..1.
float tiledNoise(float x, float y, int period, uint32_t seed) {
  const auto lattice = [&](int ix, int iy) {
    uint32_t h = uint32_t((ix % period + period) % period) * 73856093u ^
                 uint32_t((iy % period + period) % period) * 19349663u ^ seed * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xFFFF) / 65535.0f;
  };
  const float fx = x * float(period) / kSide, fy = y * float(period) / kSide;
  const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
  const float tx = fx - float(ix), ty = fy - float(iy);
  const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  const float top = lattice(ix, iy) + (lattice(ix + 1, iy) - lattice(ix, iy)) * sx;
  const float bottom = lattice(ix, iy + 1) + (lattice(ix + 1, iy + 1) - lattice(ix, iy + 1)) * sx;
  return top + (bottom - top) * sy;
}

// Octaves of tiledNoise from a coarse period up, weighted half each time, in 0..1.
float grain(int x, int y, int period, int octaves, uint32_t seed) {
  float sum = 0, weight = 1, total = 0;
  for (int o = 0; o < octaves; ++o, period *= 2, weight *= 0.5f) {
    sum += tiledNoise(float(x), float(y), period, seed + uint32_t(o)) * weight;
    total += weight;
  }
  return sum / total;
}

Texel shade(const Texel& base, float amount) {
  return {std::clamp(base.r * amount, 0.0f, 1.0f), std::clamp(base.g * amount, 0.0f, 1.0f),
          std::clamp(base.b * amount, 0.0f, 1.0f), base.a};
}

// The next smaller level of a mip chain: colours averaged over the covered texels, and coverage
// kept all or nothing, so that alpha-tested billboards keep their outline from afar.
std::vector<Texel> halve(const std::vector<Texel>& level, int side) {
  const int half = side / 2;
  std::vector<Texel> out(size_t(half) * size_t(half));
  for (int y = 0; y < half; ++y) {
    for (int x = 0; x < half; ++x) {
      Texel sum{0, 0, 0, 0};
      int covered = 0;
      for (int k = 0; k < 4; ++k) {
        const Texel& t = level[size_t((2 * y + k / 2) * side + 2 * x + k % 2)];
        if (t.a == 0) continue;
        sum = {sum.r + t.r, sum.g + t.g, sum.b + t.b, 1};
        ++covered;
      }
      out[size_t(y * half + x)] =
          covered >= 2
              ? Texel{sum.r / float(covered), sum.g / float(covered), sum.b / float(covered), 1}
              : Texel{0, 0, 0, 0};
    }
  }
  return out;
}

// A kSide-square A8R8G8B8 picture with its whole mip chain.
bool writeDds(const std::string& path, const std::function<Texel(int, int)>& texel) {
  const auto byte = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
  std::vector<Texel> texels;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) texels.push_back(texel(x, y));
  }
  D3DXImage image;
  image.format = D3DFMT_A8R8G8B8;
  std::vector<D3DXImageLevel>& levels = image.faces.emplace_back();
  for (int side = kSide; side >= 1; side /= 2) {
    D3DXImageLevel& level = levels.emplace_back();
    level.width = level.height = UINT(side);
    for (const Texel& t : texels) {
      level.bytes.insert(level.bytes.end(), {byte(t.b), byte(t.g), byte(t.r), byte(t.a)});
    }
    if (side > 1) texels = halve(texels, side);
  }
  return SUCCEEDED(D3DXSaveImageToDDSFileA(path.c_str(), image));
}

// A surface's definition file; CR LF line ends, as the INI reader ends values at a CR.
bool writeDefinition(const std::string& path, float stepU, const char* type) {
  std::string text = "[MATERIAL]\r\nSTEPU=" + std::to_string(stepU) + "\r\n";
  if (type != nullptr) text += std::string("TYPE=") + type + "\r\n";
  ZReplacingFile file(path);
  file.write(text.data(), text.size());
  return file.commit();
}

// Fine aggregate in a dark binder; worn lighter where the wheels run (u across the road).
Texel tarmac(int x, int y, float lightness, uint32_t seed) {
  const float speckle = grain(x, y, 32, 3, seed);
  const float stones = tiledNoise(float(x), float(y), 64, seed + 7) > 0.8f ? 1.25f : 1.0f;
  const float across = float(x) / kSide;
  const float worn = 1 + 0.12f * std::exp(-std::pow((std::fabs(across - 0.5f) - 0.22f) / 0.06f, 2));
  return shade({lightness, lightness, lightness * 1.03f}, (0.8f + 0.4f * speckle) * stones * worn);
}

// Loose stones over packed earth.
Texel gravel(int x, int y, const Texel& earth, uint32_t seed) {
  const float ground = grain(x, y, 8, 4, seed);
  const float pebble = tiledNoise(float(x), float(y), 32, seed + 11);
  const float lift = pebble > 0.62f ? 1.3f : (pebble < 0.3f ? 0.8f : 1.0f);
  return shade(earth, (0.75f + 0.5f * ground) * lift);
}

// Blades and patches of grass.
Texel grass(int x, int y, const Texel& colour, uint32_t seed) {
  const float patches = grain(x, y, 4, 3, seed);
  const float blades = tiledNoise(float(x), float(y) * 0.25f, 64, seed + 3);
  return shade(colour, 0.7f + 0.35f * patches + 0.25f * (blades - 0.5f));
}

// A conifer seen from the side: a brown trunk and layered green tiers; clear around it.
Texel pine(int x, int y) {
  const float u = (float(x) + 0.5f) / kSide - 0.5f;  // -0.5 .. 0.5 across
  const float up = 1 - (float(y) + 0.5f) / kSide;    // 0 at the foot, 1 at the top
  const Texel clear{0, 0, 0, 0};
  if (up < 0.15f) return std::fabs(u) < 0.04f ? Texel{0.35f, 0.22f, 0.12f} : clear;
  // Four tiers, each widest at its foot.
  const float tier = std::fmod((up - 0.15f) / 0.85f * 4, 1.0f);
  const float reach = (1 - (up - 0.15f) / 0.85f) * 0.45f * (1 - 0.35f * tier) + 0.02f;
  if (std::fabs(u) > reach) return clear;
  const float needles = grain(x, y, 16, 2, 41);
  return shade({0.12f, 0.36f, 0.16f}, 0.7f + 0.5f * needles);
}

// Red and white boards with clear gaps between them, for the walls.
bool writeBars(const std::string& path) {
  return writeTga(path, 64, [](int x, int y) {
    if (y % 16 >= 10) return 0x00000000u;  // the gap between two boards
    return (x / 16) % 2 == 0 ? 0xFFEB1E28u : 0xFFEBEBEBu;
  });
}

}  // namespace

bool writeTrackBuilderTextures(const std::string& folder) {
  for (const char* sub : {"tarmac", "gravel", "outs", "tree", "texture"}) {
    std::filesystem::create_directories(folder + "/" + sub);
  }
  // Each surface with its definition: file below folder, STEPU, TYPE (none: the default).
  struct Surface {
    const char* file;
    float stepU;
    const char* type;
    std::function<Texel(int, int)> texel;
  };
  const Surface surfaces[] = {
      {"tarmac/tarmac_dark", 4, nullptr, [](int x, int y) { return tarmac(x, y, 0.24f, 1); }},
      {"tarmac/tarmac_grey", 4, nullptr, [](int x, int y) { return tarmac(x, y, 0.36f, 2); }},
      {"gravel/gravel_brown", 3, "GRAVEL",
       [](int x, int y) {
         return gravel(x, y, {0.55f, 0.44f, 0.30f}, 3);
       }},
      {"gravel/gravel_grey", 3, "GRAVEL",
       [](int x, int y) {
         return gravel(x, y, {0.52f, 0.50f, 0.47f}, 4);
       }},
      {"outs/grass_green", 5, nullptr,
       [](int x, int y) {
         return grass(x, y, {0.24f, 0.46f, 0.16f}, 5);
       }},
      {"outs/grass_dry", 5, nullptr,
       [](int x, int y) {
         return grass(x, y, {0.52f, 0.50f, 0.22f}, 6);
       }},
  };
  for (const Surface& surface : surfaces) {
    const std::string base = folder + "/" + surface.file;
    if (!writeDds(base + ".dds", surface.texel) ||
        !writeDefinition(base + ".txt", surface.stepU, surface.type)) {
      return false;
    }
  }
  const auto sand = [](int x, int y) { return gravel(x, y, {0.80f, 0.72f, 0.50f}, 7); };
  const auto birch = [](int, int) { return Texel{0.9f, 0.9f, 0.85f}; };
  // sand_bank is not grass and birch_europe not of the tree filter's region: both left out.
  return writeDds(folder + "/outs/sand_bank.dds", sand) &&
         writeDds(folder + "/tree/asia_pine.dds", pine) &&
         writeDds(folder + "/tree/birch_europe.dds", birch) &&
         writeBars(folder + "/texture/boxbars.tga");
}
