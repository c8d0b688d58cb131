#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zmftest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root = pattern;
}

TempFolder::~TempFolder() {
  std::error_code error;
  if (!previous.empty()) std::filesystem::current_path(previous, error);
  std::filesystem::remove_all(root, error);
}

std::string TempFolder::write(const std::string& relative, const std::string& bytes) const {
  const std::filesystem::path file = root / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
  return file.string();
}

void TempFolder::enter() {
  previous = std::filesystem::current_path();
  std::filesystem::current_path(root);
}

std::string readFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
