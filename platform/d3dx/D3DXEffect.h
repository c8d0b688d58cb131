// ID3DXEffect over GLSL programs (file format in EffectSource.h). Every declared uniform is a
// parameter, whether or not a shader uses it; its name is also its semantic. Values live here
// and reach the pass's program at BeginPass and CommitChanges; sampler parameters take texture
// units in declaration order and set the device's stage textures, as effects did on the original
// platform. Matrices are uploaded so that "M * v" in GLSL applies them as the engine's row-vector
// p * M does.
#pragma once

#include "platform/d3d9/Direct3DDevice9.h"
#include "platform/d3dx/D3DXBuffer.h"
#include "platform/d3dx/EffectSource.h"

#include <memory>
#include <string>
#include <vector>

// Handles point at the effect's parameters and techniques; a handle from another effect, or
// null, is refused.
struct D3DXHandleTag;
using D3DXHANDLE = const D3DXHandleTag*;

enum D3DXPARAMETER_CLASS : uint32_t {
  D3DXPC_SCALAR = 0,
  D3DXPC_VECTOR = 1,
  D3DXPC_MATRIX_ROWS = 2,
  D3DXPC_OBJECT = 4,
};

enum D3DXPARAMETER_TYPE : uint32_t {
  D3DXPT_FLOAT = 3,
  D3DXPT_TEXTURE = 5,
  D3DXPT_SAMPLER2D = 12,
  D3DXPT_SAMPLERCUBE = 14,
};

struct D3DXPARAMETER_DESC {
  const char* Name;
  const char* Semantic;
  D3DXPARAMETER_CLASS Class;
  D3DXPARAMETER_TYPE Type;
  UINT Rows, Columns, Elements, Annotations, StructMembers;
  UINT Bytes;
};

struct D3DXTECHNIQUE_DESC {
  const char* Name;
  UINT Passes;
  UINT Annotations;
};

class ID3DXEffect {
 public:
  ID3DXEffect(const ID3DXEffect&) = delete;
  ID3DXEffect& operator=(const ID3DXEffect&) = delete;

  UINT AddRef() { return ++references; }
  UINT Release();

  // Parameters: by index (null past the end), by name, by semantic (the same as the name).
  D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index) const;
  D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) const;
  D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) const;
  HRESULT GetParameterDesc(D3DXHANDLE parameter, D3DXPARAMETER_DESC* desc) const;

  HRESULT GetFloat(D3DXHANDLE parameter, float* value) const;
  HRESULT SetFloat(D3DXHANDLE parameter, float value);
  HRESULT SetFloat(const char* name, float value);
  // Up to the parameter's component count (1 to 4 floats, 16 for a matrix).
  HRESULT SetFloatArray(D3DXHANDLE parameter, const float* values, UINT count);
  HRESULT GetFloatArray(D3DXHANDLE parameter, float* values, UINT count) const;
  HRESULT SetVector(D3DXHANDLE parameter, const float* xyzw);
  HRESULT SetMatrix(D3DXHANDLE parameter, const D3DMATRIX* matrix);
  HRESULT SetValue(D3DXHANDLE parameter, const void* data, UINT bytes);
  HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture);
  HRESULT SetTexture(const char* name, IDirect3DBaseTexture9* texture);

  D3DXHANDLE GetTechnique(UINT index) const;
  D3DXHANDLE GetTechniqueByName(const char* name) const;
  HRESULT GetTechniqueDesc(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) const;
  HRESULT SetTechnique(D3DXHANDLE technique);
  D3DXHANDLE GetCurrentTechnique() const;
  // The first technique after previous (from the start for null) whose programs link here.
  HRESULT FindNextValidTechnique(D3DXHANDLE previous, D3DXHANDLE* next) const;

  HRESULT Begin(UINT* passes, DWORD flags);
  HRESULT BeginPass(UINT pass);
  // Uploads changed values to the program of the pass in progress.
  HRESULT CommitChanges();
  HRESULT EndPass();
  HRESULT End();

  // Builds an effect from text. Without a device (tools) the effect has its parameters and
  // techniques but no programs: values can be read and set, passes are refused. On failure errors (when not null) receives the reason or the GLSL
  // compiler's log as a NUL-terminated text.
  static HRESULT create(IDirect3DDevice9* device, std::string_view text, ID3DXEffect** effect,
                        ID3DXBuffer** errors);

 private:
  struct Parameter;
  struct Technique;
  ID3DXEffect() = default;
  ~ID3DXEffect();
  const Parameter* parameterOf(D3DXHANDLE handle) const;
  Parameter* parameterOf(D3DXHANDLE handle);
  const Technique* techniqueOf(D3DXHANDLE handle) const;
  void upload(bool everything);

  IDirect3DDevice9* device = nullptr;
  std::vector<std::unique_ptr<Parameter>> parameters;
  std::vector<std::unique_ptr<Technique>> techniques;
  const Technique* current = nullptr;
  int passInProgress = -1;
  bool begun = false;
  UINT references = 1;
};

HRESULT D3DXCreateEffectFromFileA(IDirect3DDevice9* device, const char* file, const void* defines,
                                  void* include, DWORD flags, void* pool, ID3DXEffect** effect,
                                  ID3DXBuffer** errors);
HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, UINT size,
                         const void* defines, void* include, DWORD flags, void* pool,
                         ID3DXEffect** effect, ID3DXBuffer** errors);
