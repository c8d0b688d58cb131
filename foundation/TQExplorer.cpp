#include "foundation/TQExplorer.h"

#include "foundation/ZFileName.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <functional>

namespace {

bool isFolder(const std::string& folder, const dirent* entry) {
  if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return entry->d_type == DT_DIR;
  struct stat info {};
  return stat((folder + "/" + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void forEachEntry(const std::string& folder,
                  const std::function<void(const dirent*, bool isFolder)>& visit) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) visit(entry, isFolder(folder, entry));
  closedir(dir);
}

}  // namespace

void TQExplorer::listFiles(const std::string& pattern) {
  files.clear();
  const std::string path = resolveFileName(pattern);
  const size_t separator = path.rfind('/');
  const std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
  std::string wildcard = separator == std::string::npos ? path : path.substr(separator + 1);
  if (wildcard == "*.*") wildcard = "*";
  forEachEntry(resolveFileName(folder), [&](const dirent* entry, bool folderEntry) {
    if (!folderEntry && fnmatch(wildcard.c_str(), entry->d_name, FNM_CASEFOLD) == 0) {
      files.emplace_back(entry->d_name);
    }
  });
}

void TQExplorer::listFolders(const std::string& folder) {
  files.clear();
  forEachEntry(resolveFileName(folder), [&](const dirent* entry, bool folderEntry) {
    if (folderEntry && std::string_view(entry->d_name).find('.') == std::string_view::npos) {
      files.emplace_back(entry->d_name);
    }
  });
}
