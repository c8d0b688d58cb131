#include "foundation/ZDataFolder.h"

#include <cstdlib>
#include <system_error>

namespace {

bool holdsShaders(const std::filesystem::path& folder) {
  std::error_code error;
  return std::filesystem::is_directory(folder / "shaders", error);
}

}  // namespace

std::filesystem::path findDataFolder() {
  if (const char* home = std::getenv("ZMFEDIT_HOME"); home != nullptr && *home != '\0') {
    return holdsShaders(home) ? std::filesystem::path(home) : std::filesystem::path();
  }
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  std::filesystem::path folder = executable.parent_path();
  for (int level = 0; level <= 2 && !folder.empty(); ++level, folder = folder.parent_path()) {
    if (holdsShaders(folder / "data")) return folder / "data";
  }
  const std::filesystem::path installed = executable.parent_path() / ".." / "share" / "zmfedit";
  return holdsShaders(installed) ? installed.lexically_normal() : std::filesystem::path();
}

std::filesystem::path userStateFolder() {
  std::filesystem::path folder;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0') {
    folder = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".local" / "state";
  } else {
    return {};
  }
  folder /= "zmfedit";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return folder;
}
