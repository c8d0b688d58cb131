#include "foundation/ZReplacingFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
  if (failed) {
    std::fclose(file);
    file = nullptr;
    std::remove(temporary.c_str());
    return false;
  }
  return replaceTarget(file, temporary, target);
}

namespace {

// Flushes the folder holding path, so that a rename in it lasts; file systems that cannot sync
// a folder (EINVAL, and a few others) are taken as done.
void syncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool ZReplacingFile::replaceTarget(FILE*& file, const std::string& temporary,
                                   const std::string& target) {
  bool written = std::fflush(file) == 0;
  // Some file systems (pipes, a few network ones) cannot sync: their writes still count.
  written = written && (::fsync(fileno(file)) == 0 || errno == EINVAL || errno == EROFS);
  written = std::fclose(file) == 0 && written;
  file = nullptr;
  written = written && std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!written) {
    std::remove(temporary.c_str());
    return false;
  }
  syncFolderOf(target);
  return true;
}
