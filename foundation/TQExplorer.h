// Lists the files or sub-folders of a folder.
#pragma once

#include <string>
#include <vector>

class TQExplorer {
 public:
  virtual ~TQExplorer() = default;

  // Names (without folder) of the entries matching the pattern that are not folders, e.g.
  // "shaders/*.fxo". Wildcards "*" and "?" match the last component, ignoring case, as the
  // content's original file system did; "*.*" matches every name.
  void listFiles(const std::string& pattern);
  // Names of the sub-folders of folder whose names contain no "." (so never "." or "..").
  void listFolders(const std::string& folder);

  // Result of the last listing, in the order the file system returned the entries.
  std::vector<std::string> files;
};
