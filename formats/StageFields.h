// The integer fields of a texture stage with the names the model files give them, in the text
// format's order after ACTIVE; the glTF export's extras use the same names.
#pragma once

#include <cstdint>
#include <utility>

#include "scene/ZMaterial.h"

inline constexpr std::pair<const char*, int32_t ZMaterialStage::*> kStageFields[] = {
    {"alphaArg1", &ZMaterialStage::alphaArg1},
    {"alphaArg2", &ZMaterialStage::alphaArg2},
    {"alphaOp", &ZMaterialStage::alphaOp},
    {"colorArg0", &ZMaterialStage::colorArg0},
    {"colorArg1", &ZMaterialStage::colorArg1},
    {"colorArg2", &ZMaterialStage::colorArg2},
    {"colorOp", &ZMaterialStage::colorOp},
    {"magFilter", &ZMaterialStage::magFilter},
    {"minFilter", &ZMaterialStage::minFilter},
    {"mipMapFilter", &ZMaterialStage::mipMapFilter},
    {"texCoordIndex", &ZMaterialStage::texCoordIndex},
    {"textureAddressU", &ZMaterialStage::textureAddressU},
    {"textureAddressV", &ZMaterialStage::textureAddressV},
};
