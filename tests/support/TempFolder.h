// A fresh folder under the system's temporary folder, removed with everything in it at the end
// of the test or benchmark; optionally the current folder meanwhile. Throws when none can be
// made: a test or benchmark means nothing without its files.
#pragma once

#include <filesystem>
#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return root; }
  // The full path of name below the folder.
  std::string file(const std::string& name) const { return (root / name).string(); }
  // Writes bytes to a file below the folder (parents created); returns its full path.
  std::string write(const std::string& relative, const std::string& bytes) const;
  // Makes the folder current until destruction.
  void enter();

 private:
  std::filesystem::path root;
  std::filesystem::path previous;
};

// The whole content of a file; empty when it cannot be read.
std::string readFileText(const std::filesystem::path& path);
