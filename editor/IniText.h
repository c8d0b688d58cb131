// Reading the editor's INI-style exchange files safely: values cut at their line end, and the
// counts those files announce held against the sections they really have.
#pragma once

#include <string>
#include <string_view>

// A value up to its line end: the reader runs a file's last value (and every value of a file
// with bare line feeds) to the end of its section.
std::string lineValue(const std::string& value);
// announced cut to the times prefix (e.g. "[CAMERA") occurs in text, with a log line naming
// fileName when it is cut; never below 0.
int heldCount(int announced, std::string_view text, std::string_view prefix,
              const std::string& fileName);
