#include "foundation/ZReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A device, pipe or socket at path: written in place, never replaced.
bool isSpecialFile(const std::string& path) {
  struct stat facts;
  return ::stat(path.c_str(), &facts) == 0 && !S_ISREG(facts.st_mode) && !S_ISDIR(facts.st_mode);
}

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

ZReplacingFile::ZReplacingFile(const std::string& name)
    : target(name),
      temporary(isSpecialFile(name) ? std::string() : name + ".tmp"),
      file(std::fopen(temporary.empty() ? name.c_str() : temporary.c_str(), "wb")) {}

ZReplacingFile::~ZReplacingFile() {
  if (file == nullptr) return;
  std::fclose(file);
  if (!temporary.empty()) std::remove(temporary.c_str());
}

void ZReplacingFile::write(const void* data, size_t size) {
  if (file == nullptr || failed || size == 0) return;
  failed = std::fwrite(data, 1, size, file) != size;
}

bool ZReplacingFile::commit() {
  if (file == nullptr) return false;
  if (temporary.empty()) {  // written in place
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    return closed && !failed;
  }
  if (failed) {
    std::fclose(file);
    file = nullptr;
    std::remove(temporary.c_str());
    return false;
  }
  return replaceTarget(file, temporary, target);
}

bool ZReplacingFile::replaceTarget(FILE*& file, const std::string& temporary,
                                   const std::string& target) {
  bool written = std::fflush(file) == 0;
  // Some file systems (pipes, a few network ones) cannot sync: their writes still count.
  written = written && (::fsync(fileno(file)) == 0 || errno == EINVAL || errno == EROFS);
  written = std::fclose(file) == 0 && written;
  file = nullptr;
  // A rename would put a regular file in place of a device or pipe (of /dev/null, say).
  struct stat facts;
  const bool replaceable = ::lstat(target.c_str(), &facts) != 0 || S_ISREG(facts.st_mode) ||
                           S_ISLNK(facts.st_mode);
  written = written && replaceable && std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!written) {
    std::remove(temporary.c_str());
    return false;
  }
  syncFolderOf(target);
  return true;
}
