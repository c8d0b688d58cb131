// A file written beside its target (target + ".tmp") and put in the target's place only when
// committed, so that a failed or abandoned save never destroys the previous file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class ZReplacingFile {
 public:
  // Opens the temporary file; isOpen() tells whether that worked.
  explicit ZReplacingFile(const std::string& target);
  // Removes the temporary file unless committed.
  ~ZReplacingFile();
  ZReplacingFile(const ZReplacingFile&) = delete;
  ZReplacingFile& operator=(const ZReplacingFile&) = delete;

  bool isOpen() const { return file != nullptr; }
  // Appends bytes; a failure is remembered and fails commit().
  void write(const void* data, size_t size);
  // Closes the file and renames it over the target; false (temporary removed) when anything
  // failed.
  bool commit();

 private:
  std::string target;
  std::string temporary;
  FILE* file = nullptr;
  bool failed = false;
};
