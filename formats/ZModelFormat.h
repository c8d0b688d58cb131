// The model formats the program reads, told by a file's extension: one place, so that a format
// added here opens in the editor, in its command protocol and in the command-line tool alike.
#pragma once

#include <string>

enum class ModelFormat {
  unknown,
  zmt,     // .zmt
  zmf,     // .zmf, .pzo
  ase,     // .ase
  obj,     // .obj (+ .mtl)
  xsi,     // .xsi
  x,       // .x
  gltf,    // .gltf, .glb
  assimp,  // .fbx, .dae, .3ds, .ply, .stl
};

// The extension of path in lower case, without the dot; empty when it has none.
std::string extensionOf(const std::string& path);
ModelFormat modelFormatOf(const std::string& path);
