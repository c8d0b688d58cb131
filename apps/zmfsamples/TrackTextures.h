// The track builder's surfaces, made here: tarmac, gravel, grass verges and a tree billboard as
// DDS pictures below trackbuilder/ (with their ".txt" definitions), and the wall's bars.
#pragma once

#include <string>

// Writes folder/tarmac, gravel, outs, tree and texture; false when a file cannot be written.
bool writeTrackBuilderTextures(const std::string& folder);
