// INI reader that can also take its text from the simulation's archive. Same lookup rules as
// ZINIReader.
#pragma once

#include "foundation/ZINIReader.h"

class NBINIReader : public ZINIReader {
 public:
  // With fromArchive the file is looked up through the archive, which prefers a real file of
  // the same name; until archives are mounted, that real file is read. A file that cannot be
  // found sets loaded false and leaves text unchanged.
  void load(const std::string& fileName, bool fromArchive);
};
