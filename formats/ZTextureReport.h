// Every texture a loaded scene uses, as a modder checks them before shipping: the name the model
// file gives, the file it comes from and how it was found, the file's facts, the memory the
// texture cache gives it, and the geometries that use it. Needs no GL context: the facts are
// those the texture cache read when the scene was loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9types.h"

class ZFrame;
class ZGeometry;
class ZTexture;

// How a reference found its file: by its exact name, only ignoring letter case, or not at all.
enum class TextureMatch { exact, caseOnly, missing };
const char* textureMatchName(TextureMatch match);

struct STextureReport {
  ZTexture* texture = nullptr;  // the cache's, shared by every user
  std::string storedName;       // as the model file gives it
  std::string file;             // the file it resolves to, spelled as on disk; empty when missing
  TextureMatch match = TextureMatch::missing;
  // The file's own facts.
  D3DFORMAT fileFormat = D3DFMT_UNKNOWN;
  uint32_t width = 0, height = 0, fileLevels = 0;
  // The texture as the cache holds it: format, levels (a full chain) and bytes.
  D3DFORMAT format = D3DFMT_UNKNOWN;
  uint32_t levels = 0;
  uint64_t bytes = 0;
  std::vector<const ZGeometry*> geometries;  // in scene order, each once
};

// One entry per texture of the scene's materials, in the order the scene first uses them.
std::vector<STextureReport> reportTextures(const ZFrame& root);
