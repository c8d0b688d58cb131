#include "formats/ZModelFormat.h"

#include <algorithm>
#include <cctype>
#include <utility>

std::string extensionOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension;
}

ModelFormat modelFormatOf(const std::string& path) {
  static const std::pair<const char*, ModelFormat> kExtensions[] = {
      {"zmt", ModelFormat::zmt},   {"zmf", ModelFormat::zmf},    {"pzo", ModelFormat::zmf},
      {"ase", ModelFormat::ase},   {"obj", ModelFormat::obj},    {"xsi", ModelFormat::xsi},
      {"x", ModelFormat::x},       {"gltf", ModelFormat::gltf},  {"glb", ModelFormat::gltf},
      {"fbx", ModelFormat::assimp}, {"dae", ModelFormat::assimp}, {"3ds", ModelFormat::assimp},
      {"ply", ModelFormat::assimp}, {"stl", ModelFormat::assimp},
  };
  const std::string extension = extensionOf(path);
  for (const auto& [name, format] : kExtensions) {
    if (extension == name) return format;
  }
  return ModelFormat::unknown;
}
