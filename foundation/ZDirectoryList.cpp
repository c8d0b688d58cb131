#include "foundation/ZDirectoryList.h"

#include "foundation/ZFileName.h"

std::string ZDirectoryList::findFile(const std::string& name) const {
  for (const std::string& folder : directories) {
    const std::string candidate = resolveFileName(folder + "/" + name);
    if (canOpenForReading(candidate)) return candidate;
  }
  return name;
}
