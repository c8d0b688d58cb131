#include "foundation/ZReplacingFile.h"

ZReplacingFile::ZReplacingFile(const std::string& name)
    : target(name), temporary(name + ".tmp"), file(std::fopen(temporary.c_str(), "wb")) {}

ZReplacingFile::~ZReplacingFile() {
  if (file == nullptr) return;
  std::fclose(file);
  std::remove(temporary.c_str());
}

void ZReplacingFile::write(const void* data, size_t size) {
  if (file == nullptr || failed || size == 0) return;
  failed = std::fwrite(data, 1, size, file) != size;
}

bool ZReplacingFile::commit() {
  if (file == nullptr) return false;
  bool written = !failed;
  written = std::fclose(file) == 0 && written;
  file = nullptr;
  written = written && std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!written) std::remove(temporary.c_str());
  return written;
}
