#include "platform/d3dx/D3DXEffect.h"

#include "platform/d3dx/EffectProgram.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

struct ID3DXEffect::Parameter {
  EffectSource::Uniform source;
  std::vector<float> values;  // floats() of them, at least 16
  IDirect3DBaseTexture9* texture = nullptr;
  int unit = -1;  // texture unit of a sampler
  bool dirty = true;

  int components() const {
    switch (source.type) {
      case EffectSource::UniformType::Float:
        return 1;
      case EffectSource::UniformType::Vec2:
        return 2;
      case EffectSource::UniformType::Vec3:
        return 3;
      case EffectSource::UniformType::Vec4:
        return 4;
      case EffectSource::UniformType::Mat4:
        return 16;
      default:
        return 0;
    }
  }
  // Every float of the parameter: components x elements.
  int floats() const { return components() * source.count; }
};

struct ID3DXEffect::Technique {
  struct Pass {
    GLuint program = 0;
    std::vector<GLint> locations;  // per parameter, -1 where the program does not use it
  };
  std::string name;
  std::vector<Pass> passes;
};

namespace {

constexpr size_t kMaxEffectFileBytes = 4 << 20;

void reportError(ID3DXBuffer** errors, const std::string& text) {
  if (!errors) return;
  if (D3DXCreateBuffer(DWORD(text.size() + 1), errors) == D3D_OK) {
    std::memcpy((*errors)->GetBufferPointer(), text.c_str(), text.size() + 1);
  }
}

template <typename T>
D3DXHANDLE handleOf(const T* item) {
  return reinterpret_cast<D3DXHANDLE>(item);
}

}  // namespace

HRESULT ID3DXEffect::create(IDirect3DDevice9* device, std::string_view text, ID3DXEffect** effect,
                            ID3DXBuffer** errors) {
  if (errors) *errors = nullptr;
  if (!effect) return D3DERR_INVALIDCALL;
  *effect = nullptr;
  EffectSource source;
  std::string error;
  if (!EffectSource::parse(text, source, error)) {
    reportError(errors, error);
    return D3DXERR_INVALIDDATA;
  }
  auto* result = new ID3DXEffect;
  result->device = device;
  int nextUnit = 0;
  for (const EffectSource::Uniform& uniform : source.uniforms) {
    auto parameter = std::make_unique<Parameter>();
    parameter->source = uniform;
    parameter->values.assign(std::max<size_t>(16, size_t(parameter->floats())), 0.0f);
    std::copy(std::begin(uniform.defaults), std::end(uniform.defaults), parameter->values.begin());
    const bool sampler = uniform.type == EffectSource::UniformType::Sampler2D ||
                         uniform.type == EffectSource::UniformType::SamplerCube;
    if (sampler && nextUnit < 8) parameter->unit = nextUnit++;
    result->parameters.push_back(std::move(parameter));
  }
  for (const EffectSource::Technique& sourceTechnique : source.techniques) {
    auto technique = std::make_unique<Technique>();
    technique->name = sourceTechnique.name;
    for (const EffectSource::Pass& sourcePass : sourceTechnique.passes) {
      Technique::Pass pass;
      if (!device) {
        technique->passes.push_back(std::move(pass));
        continue;
      }
      pass.program = linkEffectPass(sourcePass, error);
      if (!pass.program) {
        result->techniques.push_back(std::move(technique));
        result->Release();
        reportError(errors, "technique " + sourceTechnique.name + ", " + error);
        return E_FAIL;
      }
      for (const auto& parameter : result->parameters) {
        pass.locations.push_back(glGetUniformLocation(pass.program, parameter->source.name.c_str()));
      }
      technique->passes.push_back(std::move(pass));
    }
    result->techniques.push_back(std::move(technique));
  }
  result->current = result->techniques.front().get();
  *effect = result;
  return D3D_OK;
}

ID3DXEffect::~ID3DXEffect() {
  if (device) {
    for (const auto& technique : techniques) {
      for (const auto& pass : technique->passes) glDeleteProgram(pass.program);
    }
  }
  for (const auto& parameter : parameters) {
    if (parameter->texture) parameter->texture->Release();
  }
}

UINT ID3DXEffect::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

const ID3DXEffect::Parameter* ID3DXEffect::parameterOf(D3DXHANDLE handle) const {
  for (const auto& parameter : parameters) {
    if (handleOf(parameter.get()) == handle) return parameter.get();
  }
  return nullptr;
}

ID3DXEffect::Parameter* ID3DXEffect::parameterOf(D3DXHANDLE handle) {
  return const_cast<Parameter*>(std::as_const(*this).parameterOf(handle));
}

const ID3DXEffect::Technique* ID3DXEffect::techniqueOf(D3DXHANDLE handle) const {
  for (const auto& technique : techniques) {
    if (handleOf(technique.get()) == handle) return technique.get();
  }
  return nullptr;
}

D3DXHANDLE ID3DXEffect::GetParameter(D3DXHANDLE parent, UINT index) const {
  if (parent || index >= parameters.size()) return nullptr;
  return handleOf(parameters[index].get());
}

D3DXHANDLE ID3DXEffect::GetParameterByName(D3DXHANDLE parent, const char* name) const {
  if (parent || !name) return nullptr;
  for (const auto& parameter : parameters) {
    if (parameter->source.name == name) return handleOf(parameter.get());
  }
  return nullptr;
}

D3DXHANDLE ID3DXEffect::GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) const {
  return GetParameterByName(parent, semantic);
}

HRESULT ID3DXEffect::GetParameterDesc(D3DXHANDLE handle, D3DXPARAMETER_DESC* desc) const {
  const Parameter* parameter = parameterOf(handle);
  if (!parameter || !desc) return D3DERR_INVALIDCALL;
  *desc = {};
  desc->Name = desc->Semantic = parameter->source.name.c_str();
  const int components = parameter->components();
  switch (parameter->source.type) {
    case EffectSource::UniformType::Sampler2D:
      desc->Class = D3DXPC_OBJECT;
      desc->Type = D3DXPT_SAMPLER2D;
      break;
    case EffectSource::UniformType::SamplerCube:
      desc->Class = D3DXPC_OBJECT;
      desc->Type = D3DXPT_SAMPLERCUBE;
      break;
    default:
      desc->Class = components == 1    ? D3DXPC_SCALAR
                    : components == 16 ? D3DXPC_MATRIX_ROWS
                                       : D3DXPC_VECTOR;
      desc->Type = D3DXPT_FLOAT;
      desc->Rows = components == 16 ? 4 : 1;
      desc->Columns = components == 16 ? 4 : UINT(components);
      desc->Elements = parameter->source.count > 1 ? UINT(parameter->source.count) : 0;
      desc->Bytes = UINT(parameter->floats()) * 4;
  }
  return D3D_OK;
}

HRESULT ID3DXEffect::GetFloat(D3DXHANDLE handle, float* value) const {
  const Parameter* parameter = parameterOf(handle);
  if (!parameter || !value || parameter->components() == 0) return D3DERR_INVALIDCALL;
  *value = parameter->values[0];
  return D3D_OK;
}

HRESULT ID3DXEffect::SetFloat(D3DXHANDLE handle, float value) {
  return SetFloatArray(handle, &value, 1);
}

HRESULT ID3DXEffect::SetFloat(const char* name, float value) {
  return SetFloat(GetParameterByName(nullptr, name), value);
}

HRESULT ID3DXEffect::SetFloatArray(D3DXHANDLE handle, const float* values, UINT count) {
  Parameter* parameter = parameterOf(handle);
  if (!parameter || !values || parameter->components() == 0) return D3DERR_INVALIDCALL;
  count = std::min<UINT>(count, UINT(parameter->floats()));
  if (std::memcmp(parameter->values.data(), values, count * sizeof(float)) != 0) {
    std::memcpy(parameter->values.data(), values, count * sizeof(float));
    parameter->dirty = true;
  }
  return D3D_OK;
}

HRESULT ID3DXEffect::GetFloatArray(D3DXHANDLE handle, float* values, UINT count) const {
  const Parameter* parameter = parameterOf(handle);
  if (!parameter || !values || parameter->components() == 0) return D3DERR_INVALIDCALL;
  std::memcpy(values, parameter->values.data(),
              std::min<UINT>(count, UINT(parameter->floats())) * sizeof(float));
  return D3D_OK;
}

HRESULT ID3DXEffect::SetVector(D3DXHANDLE handle, const float* xyzw) {
  return SetFloatArray(handle, xyzw, 4);
}

HRESULT ID3DXEffect::SetMatrix(D3DXHANDLE handle, const D3DMATRIX* matrix) {
  return matrix ? SetFloatArray(handle, matrix->m, 16) : D3DERR_INVALIDCALL;
}

HRESULT ID3DXEffect::SetValue(D3DXHANDLE handle, const void* data, UINT bytes) {
  return data ? SetFloatArray(handle, static_cast<const float*>(data), bytes / 4)
              : D3DERR_INVALIDCALL;
}

HRESULT ID3DXEffect::SetTexture(D3DXHANDLE handle, IDirect3DBaseTexture9* texture) {
  Parameter* parameter = parameterOf(handle);
  if (!parameter || parameter->components() != 0) return D3DERR_INVALIDCALL;
  if (texture) texture->AddRef();
  if (parameter->texture) parameter->texture->Release();
  parameter->texture = texture;
  parameter->dirty = true;
  return D3D_OK;
}

HRESULT ID3DXEffect::SetTexture(const char* name, IDirect3DBaseTexture9* texture) {
  return SetTexture(GetParameterByName(nullptr, name), texture);
}

D3DXHANDLE ID3DXEffect::GetTechnique(UINT index) const {
  return index < techniques.size() ? handleOf(techniques[index].get()) : nullptr;
}

D3DXHANDLE ID3DXEffect::GetTechniqueByName(const char* name) const {
  if (!name) return nullptr;
  for (const auto& technique : techniques) {
    if (technique->name == name) return handleOf(technique.get());
  }
  return nullptr;
}

HRESULT ID3DXEffect::GetTechniqueDesc(D3DXHANDLE handle, D3DXTECHNIQUE_DESC* desc) const {
  const Technique* technique = techniqueOf(handle);
  if (!technique || !desc) return D3DERR_INVALIDCALL;
  *desc = {technique->name.c_str(), UINT(technique->passes.size()), 0};
  return D3D_OK;
}

HRESULT ID3DXEffect::SetTechnique(D3DXHANDLE handle) {
  const Technique* technique = techniqueOf(handle);
  if (!technique || begun) return D3DERR_INVALIDCALL;
  current = technique;
  return D3D_OK;
}

D3DXHANDLE ID3DXEffect::GetCurrentTechnique() const { return handleOf(current); }

HRESULT ID3DXEffect::FindNextValidTechnique(D3DXHANDLE previous, D3DXHANDLE* next) const {
  if (!next) return D3DERR_INVALIDCALL;
  *next = nullptr;
  size_t start = 0;
  if (previous) {
    const Technique* technique = techniqueOf(previous);
    if (!technique) return D3DERR_INVALIDCALL;
    while (techniques[start].get() != technique) ++start;
    ++start;
  }
  // Every technique of a created effect linked, so each one is valid.
  if (start < techniques.size()) *next = handleOf(techniques[start].get());
  return D3D_OK;
}

HRESULT ID3DXEffect::Begin(UINT* passes, DWORD) {
  if (begun) return D3DERR_INVALIDCALL;
  begun = true;
  if (passes) *passes = UINT(current->passes.size());
  return D3D_OK;
}

HRESULT ID3DXEffect::BeginPass(UINT pass) {
  if (!device || !begun || passInProgress >= 0 || pass >= current->passes.size()) return D3DERR_INVALIDCALL;
  passInProgress = int(pass);
  glUseProgram(current->passes[pass].program);
  device->setProgramActive(true);
  upload(true);
  return D3D_OK;
}

HRESULT ID3DXEffect::CommitChanges() {
  if (passInProgress < 0) return D3DERR_INVALIDCALL;
  upload(false);
  return D3D_OK;
}

HRESULT ID3DXEffect::EndPass() {
  if (passInProgress < 0) return D3DERR_INVALIDCALL;
  passInProgress = -1;
  glUseProgram(0);
  device->setProgramActive(false);
  return D3D_OK;
}

HRESULT ID3DXEffect::End() {
  if (!begun) return D3DERR_INVALIDCALL;
  if (passInProgress >= 0) EndPass();
  begun = false;
  return D3D_OK;
}

void ID3DXEffect::upload(bool everything) {
  const Technique::Pass& pass = current->passes[size_t(passInProgress)];
  for (size_t i = 0; i < parameters.size(); ++i) {
    Parameter& parameter = *parameters[i];
    if (!everything && !parameter.dirty) continue;
    parameter.dirty = false;
    const GLint location = pass.locations[i];
    if (parameter.unit >= 0) device->SetTexture(DWORD(parameter.unit), parameter.texture);
    if (location < 0) continue;
    const GLsizei count = parameter.source.count;
    const float* values = parameter.values.data();
    switch (parameter.source.type) {
      case EffectSource::UniformType::Float:
        glUniform1fv(location, count, values);
        break;
      case EffectSource::UniformType::Vec2:
        glUniform2fv(location, count, values);
        break;
      case EffectSource::UniformType::Vec3:
        glUniform3fv(location, count, values);
        break;
      case EffectSource::UniformType::Vec4:
        glUniform4fv(location, count, values);
        break;
      case EffectSource::UniformType::Mat4:
        glUniformMatrix4fv(location, count, GL_FALSE, values);
        break;
      default:
        glUniform1i(location, parameter.unit);
        break;
    }
  }
}

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, UINT size, const void*,
                         void*, DWORD, void*, ID3DXEffect** effect, ID3DXBuffer** errors) {
  if (!data) return D3DERR_INVALIDCALL;
  return ID3DXEffect::create(device, std::string_view(static_cast<const char*>(data), size), effect,
                             errors);
}

HRESULT D3DXCreateEffectFromFileA(IDirect3DDevice9* device, const char* file, const void*, void*,
                                  DWORD, void*, ID3DXEffect** effect, ID3DXBuffer** errors) {
  if (errors) *errors = nullptr;
  if (effect) *effect = nullptr;
  if (!file) return D3DERR_INVALIDCALL;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    reportError(errors, std::string("cannot open ") + file);
    return D3DERR_NOTFOUND;
  }
  std::string text;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, size_t(in.gcount()));
    if (text.size() > kMaxEffectFileBytes) {
      reportError(errors, std::string(file) + " is larger than 4 MB");
      return D3DXERR_INVALIDDATA;
    }
  }
  return ID3DXEffect::create(device, text, effect, errors);
}
