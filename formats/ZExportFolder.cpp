#include "formats/ZExportFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"

namespace fs = std::filesystem;

ZExportFolder::ZExportFolder(const std::string& target) {
  destination = folderOf(target);
  if (destination.empty()) destination = ".";
  std::string pattern = destination + "/." + std::string(fileNameOf(target)) + ".export-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    zlog("cannot make a temporary folder beside %s\n", target.c_str());
    return;
  }
  folder = pattern;
}

ZExportFolder::~ZExportFolder() {
  if (folder.empty()) return;
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

std::string ZExportFolder::pathOf(const std::string& fileName) const {
  return folder + "/" + fileName;
}

std::string ZExportFolder::pictureReference(const std::string& path, bool copy) {
  std::error_code error;
  if (!copy) {
    const fs::path relative =
        fs::relative(fs::absolute(path, error), fs::absolute(destination, error), error);
    return error || relative.empty() ? std::string(fileNameOf(path)) : relative.generic_string();
  }
  const auto [known, added] = copies.try_emplace(path);
  if (!added) return known->second;
  const std::string bare(fileNameOf(path));
  std::string name = bare;
  for (int n = 2; !copyNames.insert(name).second; ++n) {
    const size_t dot = bare.rfind('.');
    name = bare.substr(0, dot) + "_" + std::to_string(n) +
           (dot == std::string::npos ? "" : bare.substr(dot));
  }
  if (name != bare) zlog("export: %s copied as %s\n", path.c_str(), name.c_str());
  if (!fs::copy_file(path, pathOf(name), error)) {
    zlog("export: cannot copy %s: %s\n", path.c_str(), error.message().c_str());
    name.clear();
  }
  known->second = name;
  return name;
}

bool ZExportFolder::commit() {
  if (folder.empty()) return false;
  std::error_code error;
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
  }
  if (error) {
    zlog("cannot list %s: %s\n", folder.c_str(), error.message().c_str());
    return false;
  }
  // A folder in a file's way is never replaced: found before anything moves.
  for (const std::string& name : names) {
    if (fs::is_directory(destination + "/" + name, error)) {
      zlog("cannot write %s/%s: a folder is in the way\n", destination.c_str(), name.c_str());
      return false;
    }
  }
  std::vector<std::string> moved;
  for (const std::string& name : names) {
    const std::string to = destination + "/" + name;
    fs::rename(pathOf(name), to, error);
    if (error) {
      zlog("cannot write %s: %s\n", to.c_str(), error.message().c_str());
      for (const std::string& back : moved) fs::remove(destination + "/" + back, error);
      return false;
    }
    moved.push_back(name);
  }
  return true;
}
