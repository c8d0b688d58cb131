// Small helpers shared by the text importers of ZObjectBuilder (OBJ/MTL, XSI, X). Internal to
// formats/: nothing outside this folder includes it.
#pragma once

#include "foundation/ZFileName.h"
#include "render/ZCorvane.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace import_local {

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

inline std::string_view trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Textures named by an import: the file name (its folder cut off) looked up in the import's
// texture folder through the engine's cache. Names seen before in this import are answered from
// a hash map, so a file naming the same picture many times costs one engine lookup.
class TextureLookup {
 public:
  TextureLookup(ZCorvane* engine, std::string folder)
      : renderer(engine), texturePath(std::move(folder)) {}

  // Never null (the engine keeps a texture record even for a missing file).
  ZTexture* get(std::string_view path) {
    const std::string file = texturePath + std::string(fileNameOf(path));
    auto [entry, added] = seen.try_emplace(file, nullptr);
    if (added) entry->second = renderer->getTexture(file);
    return entry->second;
  }

 private:
  ZCorvane* renderer;
  std::string texturePath;
  std::unordered_map<std::string, ZTexture*> seen;
};

}  // namespace import_local
