// The GL program of one effect pass: its vertex and fragment text compiled and linked.
#pragma once

#include "platform/d3dx/EffectSource.h"

#include <cstdint>
#include <string>

// The linked program, or 0 with the compiler's or linker's log in error (prefixed "vertex
// shader: ", "fragment shader: " or "link: ").
uint32_t linkEffectPass(const EffectSource::Pass& pass, std::string& error);
