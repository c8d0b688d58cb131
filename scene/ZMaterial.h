// How a mesh is shaded: fixed-function colours, blending and depth settings, eight texture
// stages, and optionally a shader effect with its automatically bound parameters (the semantic
// table) and its user-editable float variables. Shared by any number of meshes; owned by the
// engine that created it. The stages and effect variables belong to the material; the effect and
// the textures belong to the engine.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/D3DXEffect.h"

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class ZCorvane;
class ZTexture;

// One texture stage. Values are the platform's texture-stage enumerations, as files store them.
struct ZMaterialStage {
  bool active = false;
  ZTexture* texture = nullptr;  // borrowed from the engine's texture cache
  int32_t index = 0;            // position of the stage, 0 to 7
  ZCorvane* engine = nullptr;
  int32_t mipMapFilter = 2;
  int32_t magFilter = 2;
  int32_t minFilter = 2;
  int32_t alphaArg1 = 2;
  int32_t alphaArg2 = 1;
  int32_t alphaOp = 1;
  int32_t colorArg0 = 0;
  int32_t colorArg1 = 2;
  int32_t colorArg2 = 1;
  int32_t colorOp = 4;
  int32_t textureAddressU = 1;
  int32_t textureAddressV = 1;
  int32_t texCoordIndex = 0;
  std::string textureName;
  std::string storedTextureName;  // as the model file gives it, before any folder is searched
};

// A scalar effect parameter the user may edit.
struct SEffectVariable {
  std::string name;
  D3DXHANDLE handle = nullptr;
  float value = 0;
};

class ZMaterial {
 public:
  // Parameters the engine binds by semantic, in table order; kSemanticNames spells them.
  enum Semantic : int {
    cvShadowCross, World, WorldInverse, WorldTranspose, WorldInverseTranspose, View, ViewInverse,
    ViewTranspose, ViewInverseTranspose, Projection, ProjectionInverse, ProjectionTranspose,
    ProjectionInverseTranspose, WorldView, WorldViewInverse, WorldViewTranspose,
    WorldViewInverseTranspose, ViewProjection, ViewProjectionInverse, ViewProjectionTranspose,
    ViewProjectionInverseTranspose, TSMMatrix, WorldViewProjection, WorldViewProjectionInverse,
    WorldViewProjectionTranspose, WorldViewProjectionInverseTranspose, Texture0, Texture1,
    Texture2, Texture3, Texture4, Texture5, Texture6, Texture7, ShadowMap0, ShadowMap1,
    ShadowBias, LightProjectionTSM0, LightProjectionTSM1, LightProjection, LightDirection,
    CameraPosition, Diffuse, Ambient, Specular, SpecularPower, Emissive, AmbientLight,
    CurrentCubeTexture, kSemanticCount
  };
  static const std::array<const char*, kSemanticCount> kSemanticNames;

  // Stage 0 to 7 created with their index and this engine (which may be null: no effects then).
  explicit ZMaterial(ZCorvane* engine);
  ~ZMaterial();
  ZMaterial(const ZMaterial&) = delete;
  ZMaterial& operator=(const ZMaterial&) = delete;

  // Diffuse r, g, b (and Ambient r, g, b when alsoAmbient); alpha values untouched.
  void setDiffuse(float r, float g, float b, bool alsoAmbient);
  void setAmbient(float r, float g, float b);
  // Specular = (r, g, b, 1).
  void setSpecular(float r, float g, float b);
  // Emissive = (r, g, b, 1).
  void setEmissive(float r, float g, float b);
  void setShininess(float power) { d3dMaterial.Power = power; }
  // Diffuse and Ambient alpha.
  void setOpacity(float alpha);
  void setDoubleFace(bool value) { doubleFace = value; }
  // Stage 0 shows t modulated by the diffuse colour; a null t changes nothing.
  void setTexture(ZTexture* t);
  // 0 opaque, 1 alpha test from the texture, 2 blend with the diffuse alpha, 3 blend with the
  // texture alpha, 4 blend with texture x diffuse alpha. Returns stage 0's alphaArg1 after the
  // change (0 for mode 0); a mode above 4 changes nothing and is returned.
  int setShadeModel(int mode);
  // Takes the engine's effect of that name ("Failed to create shader" and fixed-function when
  // there is none), looks up the semantic handles and rebuilds the effect variables from the
  // effect's scalar parameters and their current values.
  void initEffect(const std::string& name);
  // Back to the fixed-function path: no effect, no effect name, no effect variables.
  void removeEffect();
  // Sets every effect variable named exactly `name`; the device sees it at the next apply.
  void setEffectCustomVariable(const std::string& name, float value);
  // A variable a model file stores: set on the effect, or, when the effect is not here to name
  // its variables, kept as the file gives it so that a save writes it again.
  void setStoredEffectVariable(const std::string& name, float value);
  // One of the semantic table's names.
  static bool isSemantic(const std::string& name);
  // Sends the material's state to the engine's device through its render-state cache: the
  // fixed-function path, or the effect path (begun and left running for the following draws).
  // Nothing without an engine device.
  void apply();
  // Uploads the per-draw effect parameters (matrices, light, camera) and commits them; nothing
  // without an effect in progress.
  void refreshObjectParameters();

  // Stage i (0 to 7), never null.
  ZMaterialStage& stage(int i) { return *stages[size_t(i)]; }
  const ZMaterialStage& stage(int i) const { return *stages[size_t(i)]; }
  // Makes stage i the very record other holds, shared from then on (lightmap materials share
  // stage 0 with their source); the record is released when the last holder goes.
  void shareStage(int i, const ZMaterial& other);

  bool doubleFace = false;
  ZCorvane* engine = nullptr;  // borrowed
  bool useZBuffer = true;
  ID3DXEffect* effect = nullptr;  // borrowed from the engine's effect cache; null: fixed-function
  std::array<D3DXHANDLE, kSemanticCount> semanticHandles{};  // null where the effect lacks one
  D3DMATERIAL9 d3dMaterial = {{1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, 10};
  bool forceNoDepthWrite = false;
  bool materialFlag = true;  // written by ZFrame::setMaterialFlag
  int32_t alphaDestBlend = 6;  // inverse source alpha
  int32_t alphaSrcBlend = 5;   // source alpha
  bool alphaBlend = false;     // also "transparent" for ordering and shadow casting
  bool alphaTest = false;
  uint8_t alphaRef = 0;
  std::string effectName;
  std::vector<std::unique_ptr<SEffectVariable>> effectVars;
  float textureFactor = 1.0f;
  int32_t index = 0;  // position in the engine's material list, from 1
  uint8_t legacyTextureFlag = 0;  // read from version-19 model files; not written

 private:
  void applyEffect();
  // In the shadow pass: the shadow effect, with this material's texture where it cuts holes.
  void applyShadowCaster();
  // Uploads to the semantic's handle when the effect has it.
  void setFloat(Semantic semantic, float value);
  void setFloats(Semantic semantic, std::initializer_list<float> values, UINT count);

  std::array<std::shared_ptr<ZMaterialStage>, 8> stages;
  bool texture0Logged = false;  // "Shadowmap geometry" written for this material
};
