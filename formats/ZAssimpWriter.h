// OBJ (+ .mtl), FBX and DAE export through assimp's exporters: the frame tree as nodes with their
// local matrices, every geometry a mesh of its own (positions, normals, both texture channels),
// in the axes each format's import here reads (FBX and DAE mirrored in z, OBJ as it is),
// materials with their colours, shininess, opacity, sidedness and stage-0 picture. Lossy for the
// simulation's data: effects, stages past the first, variables and flags are not written (glTF
// keeps them). Names the target cannot take (blanks and control characters) or that another
// node or mesh already took are changed, and every change is logged.
#pragma once

#include <string>

struct LoadedModel;

// format: "obj", "fbx" or "dae". Every file is written under its final name in a folder beside
// path first; false, logged, with nothing left behind when it cannot.
bool writeWithAssimp(const std::string& path, const std::string& format, const LoadedModel& model,
                     bool copyTextures);
