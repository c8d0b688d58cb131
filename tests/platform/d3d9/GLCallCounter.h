// Counts the GL calls this program makes that set texture-unit state: unit selection, texture
// bindings, texture environment and parameters, coordinate generation and the texture enables.
// The counted functions are defined in GLCallCounter.cpp, which stands in front of the GL
// library for the whole test program and forwards every call to it.
#pragma once

#include <cstdint>

uint64_t textureUnitGLCalls();
