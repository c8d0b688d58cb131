#include "foundation/NBINIReader.h"

#include "foundation/ZArchiveSource.h"

void NBINIReader::load(const std::string& fileName, bool fromArchive) {
  ZArchiveSource* source = fromArchive ? archiveSource() : nullptr;
  if (!source) {
    loaded = readFile(fileName);
    return;
  }
  std::string bytes;
  loaded = source->readWholeFile(fileName, bytes);
  if (loaded) setText(bytes.substr(0, bytes.find('\0')));
}
