// "zmftool textures" and "zmftool budget": the checks a modder runs before shipping a model.
#pragma once

#include <string>
#include <vector>

// textures MODEL [--json] [--fix -o OUT.zmt|OUT.zmf]: every texture reference and its file. 0
// when all resolve exactly, 1 when any is missing or found only ignoring letter case (or the
// model or the fixed copy cannot be read or written), 2 for bad usage.
int checkTextures(const std::vector<std::string>& args);
// budget MODEL [--json]: what the model costs the renderer each frame. 0, 1 when the model
// cannot be read, 2 for bad usage.
int printBudget(const std::vector<std::string>& args);
