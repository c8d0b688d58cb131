// Small helpers shared by the importers of ZObjectBuilder: text parsing and the texture search.
// Internal to formats/: nothing outside this folder includes it.
#pragma once

#include "formats/ZObjectBuilder.h"
#include "foundation/ZFileName.h"
#include "render/ZCorvane.h"
#include "scene/ZMaterial.h"

#include <filesystem>
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

// The file an imported texture reference names: the bare name in the import's texture folder,
// or else the reference read relative to the model's folder (only where it stays inside that
// folder: no absolute path, no ".."), or else the bare name beside the model; the texture
// folder's name when none of them holds it.
inline std::string importTextureFile(const ZObjectBuilder& builder, std::string_view reference) {
  const std::string name(fileNameOf(reference));
  const std::string inTextureFolder = builder.texturePath + name;
  if (canOpenForReading(inTextureFolder)) return inTextureFolder;
  std::string forward(reference);
  for (char& c : forward) c = c == '\\' ? '/' : c;
  const std::filesystem::path relative = std::filesystem::path(forward).lexically_normal();
  bool inside = !relative.empty() && !relative.has_root_path();
  for (const std::filesystem::path& part : relative) inside = inside && part != "..";
  if (inside) {
    const std::string candidate = builder.modelFolder + "/" + relative.generic_string();
    if (canOpenForReading(candidate)) return candidate;
  }
  const std::string beside = builder.modelFolder + "/" + name;
  if (canOpenForReading(beside)) return beside;
  return inTextureFolder;
}

// The texture of an imported reference on a material's first layer, the reference kept as the
// name the model file gives.
inline void attachImportTexture(ZMaterial& material, ZTexture* texture,
                                std::string_view reference) {
  material.setTexture(texture);
  material.stage(0).storedTextureName = std::string(reference);
}

// Textures named by an import, found by importTextureFile through the engine's cache. References
// seen before in this import are answered from a hash map, so a file naming the same picture
// many times costs one search.
class TextureLookup {
 public:
  explicit TextureLookup(const ZObjectBuilder& builder) : import(builder) {}

  // Never null (the engine keeps a texture record even for a missing file).
  ZTexture* get(std::string_view reference) {
    auto [entry, added] = seen.try_emplace(std::string(reference), nullptr);
    if (added) entry->second = import.renderer->getTexture(importTextureFile(import, reference));
    return entry->second;
  }

 private:
  const ZObjectBuilder& import;
  std::unordered_map<std::string, ZTexture*> seen;
};

}  // namespace import_local
