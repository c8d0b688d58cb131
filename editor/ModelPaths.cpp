#include "editor/ModelPaths.h"

#include "foundation/ZFileName.h"

#include <string_view>

namespace {

// The name's folder part without its separator, or npos when it has none.
size_t folderLength(const std::string& name) { return name.find_last_of("\\/"); }

}  // namespace

std::string textureFolderOf(const std::string& fileName) {
  const size_t folder = folderLength(fileName);
  return folder == std::string::npos ? std::string() : fileName.substr(0, folder + 1) + "texture";
}

std::pair<std::string, std::string> splitModelName(const std::string& fileName) {
  const size_t folder = folderLength(fileName);
  const std::string_view file = fileNameOf(fileName);
  return {folder == std::string::npos ? std::string() : fileName.substr(0, folder),
          std::string(file.substr(0, file.size() >= 4 ? file.size() - 4 : 0))};
}
