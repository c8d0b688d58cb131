#include "foundation/ZDirectoryList.h"

#include "foundation/ZFileName.h"

std::string ZDirectoryList::findFile(const std::string& name) const {
  for (const std::string& folder : directories) {
    // canOpenForReading resolves the name itself: resolving first would scan the folder twice
    // for every miss.
    const std::string candidate = folder + "/" + name;
    if (canOpenForReading(candidate)) return resolveFileName(candidate);
  }
  return name;
}
