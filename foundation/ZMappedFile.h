// The whole content of a regular file, read-only, for the model readers: the file is mapped from
// the system's page cache, so a large model is neither copied nor zero-filled first (on this
// kind of machine fresh memory costs more than parsing the file). Where mapping is refused the
// bytes are read into memory instead. A file cut short by another program while it is mapped is
// not guarded against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class ZMappedFile {
 public:
  ZMappedFile() = default;
  ~ZMappedFile();
  ZMappedFile(const ZMappedFile&) = delete;
  ZMappedFile& operator=(const ZMappedFile&) = delete;

  // The file name resolves as content names do (resolveFileName); false when it is not a
  // regular file or cannot be read whole. A failed open leaves no content.
  bool open(const std::string& name);

  std::span<const uint8_t> bytes() const { return {data, size}; }
  std::string_view text() const { return {reinterpret_cast<const char*>(data), size}; }

 private:
  void close();

  const uint8_t* data = nullptr;
  size_t size = 0;
  void* mapping = nullptr;     // the mapped view, when mapped
  std::vector<uint8_t> copy;   // the bytes, when read
};
