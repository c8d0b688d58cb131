// File names as models and INI files write them: content made on Windows uses "\" separators
// and names files in any letter case ("Wood.DDS" for wood.dds).
#pragma once

#include <string>
#include <string_view>

// The name with "\" turned into "/". When that path does not exist, each missing component is
// looked up case-insensitively in its folder; the first match found is used. When nothing
// matches, the name with "/" separators is returned unchanged otherwise.
std::string resolveFileName(std::string_view name);

// True when the file (after resolveFileName) opens for binary reading.
bool canOpenForReading(const std::string& name);
