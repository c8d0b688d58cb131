#include "foundation/ZMappedFile.h"

#include "foundation/ZFileName.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

ZMappedFile::~ZMappedFile() { close(); }

void ZMappedFile::close() {
  if (mapping != nullptr) munmap(mapping, size);
  mapping = nullptr;
  copy.clear();
  data = nullptr;
  size = 0;
}

bool ZMappedFile::open(const std::string& name) {
  close();
  const std::string path = resolveFileName(name);
  const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  const auto length = size_t(info.st_size);
  if (length > 0) {
    void* view = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (view != MAP_FAILED) {
      mapping = view;
      data = static_cast<const uint8_t*>(view);
      size = length;
    }
  }
  ::close(fd);
  if (mapping != nullptr || length == 0) return true;
  // Mapping refused: read the bytes instead.
  if (!readWholeFile(path, copy)) return false;
  data = copy.data();
  size = copy.size();
  return true;
}
