// A file written beside its target (target + ".tmp") and put in the target's place only when
// committed, so that a failed or abandoned save never destroys the previous file. A target that
// is a device or a pipe (/dev/null, /dev/stdout) is written in place instead. The data reach
// the disk before the rename, and the rename itself after it, so that even a crash of the
// machine leaves the old file or the whole new one.
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

  // The same last step for a temporary file written another way: flushes file to the disk,
  // closes it (file becomes null), renames temporary over target and flushes the folder;
  // false, with the temporary removed, when any of it fails or the target is neither a regular
  // file nor a link.
  static bool replaceTarget(FILE*& file, const std::string& temporary, const std::string& target);

 private:
  std::string target;
  std::string temporary;
  FILE* file = nullptr;
  bool failed = false;
};
