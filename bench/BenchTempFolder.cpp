#include "bench/BenchTempFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

BenchTempFolder::BenchTempFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a temporary folder %s\n", pattern.c_str());
    std::exit(1);
  }
  root = pattern;
}

BenchTempFolder::~BenchTempFolder() {
  std::error_code error;
  std::filesystem::remove_all(root, error);
}
