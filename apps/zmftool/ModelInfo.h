// What a modder wants to know about a model: header lighting, counts, the frame tree with each
// geometry's counts, material, flags and variables, and every texture with the file it resolves
// to. As text or as one JSON object.
#pragma once

#include "formats/ZModelFile.h"

#include <cstdio>

void printModelInfo(const LoadedModel& model, bool json, FILE* out);
