// Ordered list of folders that resolves a file name to the first folder holding it.
#pragma once

#include <string>
#include <vector>

class ZDirectoryList {
 public:
  virtual ~ZDirectoryList() = default;

  void reset() { directories.clear(); }
  // Appends a folder (no trailing separator).
  void addDirectory(const std::string& path) { directories.push_back(path); }
  // folder + "/" + name for the first folder, in insertion order, where that file opens for
  // reading (names resolved as for content files); name unchanged when none holds it.
  std::string findFile(const std::string& name) const;

  std::vector<std::string> directories;
};
