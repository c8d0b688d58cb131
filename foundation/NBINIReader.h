// INI reader that can also take its text from the simulation's archive. Same lookup rules as
// ZINIReader.
#pragma once

#include "foundation/ZINIReader.h"

class NBINIReader : public ZINIReader {
 public:
  // With fromArchive the file is read through the installed archive source
  // (ZArchiveSource.h), which prefers a real file of the same name over an archive entry;
  // without an installed source, the real file is read. Text ends at the first NUL byte. A file
  // that cannot be found sets loaded false and leaves text unchanged.
  void load(const std::string& fileName, bool fromArchive);
};
