// A fresh folder under the system's temporary folder for the files a benchmark generates,
// removed with everything in it when the object goes. A benchmark means nothing without its
// input, so a folder that cannot be made ends the run with a message.
#pragma once

#include <string>

class BenchTempFolder {
 public:
  // The folder's name is prefix followed by six random characters.
  explicit BenchTempFolder(const std::string& prefix);
  ~BenchTempFolder();
  BenchTempFolder(const BenchTempFolder&) = delete;
  BenchTempFolder& operator=(const BenchTempFolder&) = delete;

  const std::string& path() const { return root; }
  // path() + "/" + name.
  std::string file(const std::string& name) const { return root + "/" + name; }

 private:
  std::string root;
};
