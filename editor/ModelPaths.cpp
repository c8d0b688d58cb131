#include "editor/ModelPaths.h"

size_t lastSeparator(const std::string& name) { return name.find_last_of("\\/"); }

std::string textureFolderOf(const std::string& fileName) {
  const size_t separator = lastSeparator(fileName);
  if (separator == std::string::npos) return "";
  return fileName.substr(0, separator + 1) + "texture";
}

std::pair<std::string, std::string> splitModelName(const std::string& fileName) {
  const size_t separator = lastSeparator(fileName);
  if (separator == std::string::npos) {
    return {std::string(), fileName.substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0)};
  }
  const std::string file = fileName.substr(separator + 1);
  return {fileName.substr(0, separator), file.substr(0, file.size() >= 4 ? file.size() - 4 : 0)};
}
