#include "scene/ZMaterial.h"

#include "foundation/ZLog.h"
#include "render/ZCorvane.h"

#include <algorithm>

const std::array<const char*, ZMaterial::kSemanticCount> ZMaterial::kSemanticNames = {
    "cvShadowCross", "World", "WorldInverse", "WorldTranspose", "WorldInverseTranspose", "View",
    "ViewInverse", "ViewTranspose", "ViewInverseTranspose", "Projection", "ProjectionInverse",
    "ProjectionTranspose", "ProjectionInverseTranspose", "WorldView", "WorldViewInverse",
    "WorldViewTranspose", "WorldViewInverseTranspose", "ViewProjection", "ViewProjectionInverse",
    "ViewProjectionTranspose", "ViewProjectionInverseTranspose", "TSMMatrix",
    "WorldViewProjection", "WorldViewProjectionInverse", "WorldViewProjectionTranspose",
    "WorldViewProjectionInverseTranspose", "Texture0", "Texture1", "Texture2", "Texture3",
    "Texture4", "Texture5", "Texture6", "Texture7", "ShadowMap0", "ShadowMap1", "ShadowBias",
    "LightProjectionTSM0", "LightProjectionTSM1", "LightProjection", "LightDirection",
    "CameraPosition", "Diffuse", "Ambient", "Specular", "SpecularPower", "Emissive",
    "AmbientLight", "CurrentCubeTexture"};

ZMaterial::ZMaterial(ZCorvane* owner) : engine(owner) {
  for (size_t i = 0; i < stages.size(); ++i) {
    stages[i] = std::make_shared<ZMaterialStage>();
    stages[i]->index = int32_t(i);
    stages[i]->engine = owner;
  }
}

ZMaterial::~ZMaterial() = default;

void ZMaterial::setDiffuse(float r, float g, float b, bool alsoAmbient) {
  d3dMaterial.Diffuse = {r, g, b, d3dMaterial.Diffuse.a};
  if (alsoAmbient) setAmbient(r, g, b);
}

void ZMaterial::setAmbient(float r, float g, float b) {
  d3dMaterial.Ambient = {r, g, b, d3dMaterial.Ambient.a};
}

void ZMaterial::setSpecular(float r, float g, float b) { d3dMaterial.Specular = {r, g, b, 1}; }

void ZMaterial::setEmissive(float r, float g, float b) { d3dMaterial.Emissive = {r, g, b, 1}; }

void ZMaterial::setOpacity(float alpha) {
  d3dMaterial.Diffuse.a = alpha;
  d3dMaterial.Ambient.a = alpha;
}

void ZMaterial::setTexture(ZTexture* t) {
  if (t == nullptr) return;
  ZMaterialStage& s = stage(0);
  s.texture = t;
  s.active = true;
  s.colorArg0 = 0;
  s.colorArg1 = 2;  // texture
  s.colorArg2 = 0;  // diffuse
  s.colorOp = 4;    // modulate
}

int ZMaterial::setShadeModel(int mode) {
  // Texture-stage values: argument 0 diffuse, 2 texture; operation 2 select argument 1,
  // 4 modulate.
  ZMaterialStage& s = stage(0);
  switch (mode) {
    case 0:
      alphaBlend = false;
      alphaTest = false;
      return 0;
    case 1:
      alphaBlend = false;
      alphaTest = true;
      s.alphaArg1 = 2;
      s.alphaOp = 2;
      break;
    case 2:
      alphaBlend = true;
      alphaTest = false;
      s.alphaArg1 = 0;
      s.alphaOp = 2;
      break;
    case 3:
      alphaBlend = true;
      alphaTest = false;
      s.alphaArg1 = 2;
      s.alphaOp = 2;
      break;
    case 4:
      alphaBlend = true;
      alphaTest = false;
      s.alphaArg1 = 0;
      s.alphaArg2 = 2;
      s.alphaOp = 4;
      break;
    default:
      return mode;
  }
  return s.alphaArg1;
}

void ZMaterial::initEffect(const std::string& name) {
  effectName = name;
  effect = engine != nullptr ? engine->loadEffect(name) : nullptr;
  if (effect == nullptr) {
    zlog("Failed to create shader\n");
    semanticHandles.fill(nullptr);
    return;
  }
  effectVars.clear();
  for (UINT i = 0;; ++i) {
    const D3DXHANDLE parameter = effect->GetParameter(nullptr, i);
    if (parameter == nullptr) break;
    D3DXPARAMETER_DESC desc;
    if (FAILED(effect->GetParameterDesc(parameter, &desc))) continue;
    if (desc.Semantic != nullptr && isSemantic(desc.Semantic)) continue;
    if (desc.Class != D3DXPC_SCALAR || desc.Type != D3DXPT_FLOAT || desc.Elements > 1) continue;
    auto variable = std::make_unique<SEffectVariable>();
    variable->name = desc.Name;
    variable->handle = parameter;
    effect->GetFloat(parameter, &variable->value);
    effectVars.push_back(std::move(variable));
  }
  for (size_t i = 0; i < semanticHandles.size(); ++i) {
    semanticHandles[i] = effect->GetParameterBySemantic(nullptr, kSemanticNames[i]);
  }
}

void ZMaterial::removeEffect() {
  effect = nullptr;
  effectName.clear();
  effectVars.clear();
  semanticHandles.fill(nullptr);
}

void ZMaterial::setEffectCustomVariable(const std::string& name, float value) {
  for (const auto& variable : effectVars) {
    if (variable->name == name) variable->value = value;
  }
}

void ZMaterial::setStoredEffectVariable(const std::string& name, float value) {
  if (effect != nullptr) {
    setEffectCustomVariable(name, value);
    return;
  }
  effectVars.push_back(std::make_unique<SEffectVariable>(SEffectVariable{name, nullptr, value}));
}

bool ZMaterial::isSemantic(const std::string& name) {
  return std::any_of(kSemanticNames.begin(), kSemanticNames.end(),
                     [&name](const char* semantic) { return name == semantic; });
}

void ZMaterial::shareStage(int i, const ZMaterial& other) {
  stages[size_t(i)] = other.stages[size_t(i)];
}
