// The text of an effect file split into techniques and passes. The format is GLSL 1.20 with a
// few directive lines:
//
//   // shared declarations and helper functions, up to the first #technique
//   #technique ati
//   #pass
//   #vertex
//   ...vertex shader...
//   #fragment
//   ...fragment shader...
//   #technique nv
//   ...
//
// Directives stand alone on their line. A technique holds one or more passes; each pass needs
// both shaders. Files do not write #version: 120 is prepended. Uniforms declared anywhere are the
// effect's parameters; a scalar or vector float may carry a default ("uniform float gloss = 0.25;").
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct EffectSource {
  struct Pass {
    std::string vertex;    // complete shader text, ready to compile
    std::string fragment;
  };
  struct Technique {
    std::string name;
    std::vector<Pass> passes;
  };
  enum class UniformType { Float, Vec2, Vec3, Vec4, Mat4, Sampler2D, SamplerCube };
  struct Uniform {
    std::string name;
    UniformType type = UniformType::Float;
    float defaults[16] = {};  // components given by the initialiser; the rest 0
    int count = 1;            // elements of an array ("uniform vec2 offsets[16];"), up to 64
  };

  std::vector<Technique> techniques;
  std::vector<Uniform> uniforms;  // in order of first declaration, each name once

  // Splits the text; false with the reason (and line) in error when the structure is broken.
  static bool parse(std::string_view text, EffectSource& out, std::string& error);
};
