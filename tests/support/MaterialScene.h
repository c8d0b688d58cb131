// A model built in code with every kind of record the model files hold, for write-read round
// trips. Frames, depth first, with their meshes:
//   car at (1, 2, 3)                      body: paint; transparent, casts shadows, two variables
//     "" (empty name), moved and turned    "" (empty name): paint; glass: glass
//       wheel FL, moved and tilted         tyre: paint
//     MIRROR
// paint sets every material field away from its default and has a textured stage 2 and an
// effect with a variable; glass is blended by its diffuse alpha. Each mesh has four vertices
// with every field set (binormals too, which the text format rebuilds) and two faces. One
// camera, not in the tree.
#pragma once

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZMaterial.h"
#include "tests/support/TempFolder.h"

#include <vector>

struct MaterialScene {
  static constexpr const char* kTexture = "texture/wood.dds";  // found through "texture"
  static constexpr const char* kEffect = "shiny.fxo";          // the test effect

  // Writes the effect (under shaders/) and the texture file into folder; call before building
  // the scene, with folder current.
  static void writeFiles(const TempFolder& folder);

  // Everything is made by engine and owned by it.
  explicit MaterialScene(ZCorvane& engine);

  ZFrame* root = nullptr;
  ZMaterial* paint = nullptr;
  ZMaterial* glass = nullptr;
  std::vector<ZCamera*> cameras;
};
