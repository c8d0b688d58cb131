// A small effect in the engine's effect format: two scalar variables ("reflection" 0.3 and
// "gloss" 2.5), a scalar bound by semantic ("ShadowBias"), a matrix and a vector.
#pragma once

constexpr const char* kTestEffect = R"(uniform mat4 WorldViewProjection;
uniform float ShadowBias;
uniform float reflection = 0.3;
uniform vec3 tint = vec3(1.0, 0.5, 0.25);
uniform float gloss = 2.5;
#technique ati
#pass
#vertex
void main() { gl_Position = WorldViewProjection * gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(reflection, gloss, ShadowBias, 1.0) * vec4(tint, 1.0); }
)";
