#include "foundation/ZFileName.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Name of the entry of folder whose name equals component ignoring case, or "" when none.
std::string findCaseInsensitive(const std::string& folder, const std::string& component) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, component.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

std::string resolveFileName(std::string_view name) {
  std::string path(name);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.empty() || exists(path)) return path;

  // Walk the components, keeping those that exist and matching the others ignoring case.
  std::string resolved;
  size_t start = 0;
  if (path[0] == '/') {
    resolved = "/";
    start = 1;
  }
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (!component.empty()) {
      std::string candidate = resolved + component;
      if (!exists(candidate)) {
        const std::string folder = resolved.empty() ? "." : resolved;
        const std::string match = findCaseInsensitive(folder, component);
        if (match.empty()) return path;
        candidate = resolved + match;
      }
      resolved = candidate;
      if (end < path.size()) resolved += '/';
    }
    start = end + 1;
  }
  return resolved;
}

bool canOpenForReading(const std::string& name) {
  const std::string path = resolveFileName(name);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;  // fopen takes folders
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

bool readWholeFile(const std::string& name, std::vector<uint8_t>& bytes) {
  const std::string path = resolveFileName(name);
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.resize(size_t(info.st_size));
  const bool whole =
      bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  std::fclose(file);
  return whole;
}

std::string folderOf(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string_view fileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
