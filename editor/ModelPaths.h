// The parts of a model's file name the editor's loaders use. Names are split at "\" (as the
// editor's callers store them) or "/" (this system's separator).
#pragma once

#include <string>
#include <utility>

// The model's "texture" folder beside the file, with the file's own separator; empty when the
// name has no folder.
std::string textureFolderOf(const std::string& fileName);
// A model's folder (before the last separator; empty without one) and its base name (after it,
// less the last four characters: the extension).
std::pair<std::string, std::string> splitModelName(const std::string& fileName);
