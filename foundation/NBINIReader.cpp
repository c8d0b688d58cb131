#include "foundation/NBINIReader.h"

void NBINIReader::load(const std::string& fileName, bool /*fromArchive*/) {
  loaded = readFile(fileName);
}
