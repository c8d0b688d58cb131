// File names as models and INI files write them: content made on Windows uses "\" separators
// and names files in any letter case ("Wood.DDS" for wood.dds).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The name with "\" turned into "/". When that path does not exist, each missing component is
// looked up case-insensitively in its folder; the first match found is used. When nothing
// matches, the name with "/" separators is returned unchanged otherwise.
std::string resolveFileName(std::string_view name);

// True when the file (after resolveFileName) opens for binary reading.
bool canOpenForReading(const std::string& name);

// The whole content of a regular file (name resolved as above) into bytes; false when there is
// no such file or it cannot be read whole. Folders and devices are not files.
bool readWholeFile(const std::string& name, std::vector<uint8_t>& bytes);

// The folder part of a path written with "/" or "\" ("." when there is none), without the
// final separator.
std::string folderOf(std::string_view path);
// The file name after the last "/" or "\".
std::string_view fileNameOf(std::string_view path);
