// A text file of the editor's exports (reference points, cameras): written with CR LF line ends,
// as the INI readers of the simulation expect, beside its target and put in place only when every
// line was written.
#pragma once

#include "foundation/ZReplacingFile.h"

#include <string>

class CTextFileWriter {
 public:
  explicit CTextFileWriter(const std::string& target) : file(target) {}

  bool isOpen() const { return file.isOpen(); }
  // Appends printf-style text; every "\n" is written as CR LF.
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Puts the file in place; false when anything failed.
  bool commit() { return file.commit(); }

 private:
  ZReplacingFile file;
};
