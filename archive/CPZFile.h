// One file opened through a PZFS archive (or the real file that took its place): an in-memory
// copy of its bytes with a read position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class CPZFile {
 public:
  // Takes the file's bytes; the read position starts at 0.
  explicit CPZFile(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
  virtual ~CPZFile() = default;

  // Copies up to count bytes from the read position into buffer and advances past them;
  // returns how many were copied (fewer at the end of the file).
  size_t read(void* buffer, size_t count);

  // Length of the file in bytes.
  size_t getSize() const { return data.size(); }
  // The whole content, owned by this object.
  const std::vector<uint8_t>& getData() const { return data; }

 private:
  std::vector<uint8_t> data;
  size_t position = 0;
};
