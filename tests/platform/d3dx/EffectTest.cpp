#include "platform/d3dx/D3DXEffect.h"

#include "tests/platform/d3d9/DeviceFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kGlossEffect = R"(// red from a variable
uniform mat4 WorldViewProjection;
uniform float gloss = 0.25;
uniform vec3 tint = vec3(0.5, 1.0, -2.0);
#technique other
#pass
#vertex
void main() { gl_Position = WorldViewProjection * gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }
#technique main
#pass
#vertex
void main() { gl_Position = WorldViewProjection * gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(gloss, 0.0, 0.0, 1.0); }
)";

TEST(EffectSource, ParsesTechniquesPassesAndUniformDefaults) {
  EffectSource source;
  std::string error;
  ASSERT_TRUE(EffectSource::parse(kGlossEffect, source, error)) << error;
  ASSERT_EQ(source.techniques.size(), 2u);
  EXPECT_EQ(source.techniques[1].name, "main");
  ASSERT_EQ(source.uniforms.size(), 3u);
  EXPECT_EQ(source.uniforms[1].name, "gloss");
  EXPECT_EQ(source.uniforms[1].defaults[0], 0.25f);
  EXPECT_EQ(source.uniforms[2].defaults[2], -2.0f);
  EXPECT_EQ(source.techniques[0].passes[0].vertex.rfind("#version 120\n", 0), 0u);
}

// A large preamble is copied into every shader: many passes would multiply it without end.
TEST(EffectSource, RefusesShadersThatRepeatAHugePreamble) {
  std::string text = "// " + std::string(1 << 20, 'x') + "\n#technique t\n";
  for (int i = 0; i < 20; ++i) text += "#pass\n#vertex\n#fragment\n";
  EffectSource source;
  std::string error;
  EXPECT_FALSE(EffectSource::parse(text, source, error));
  EXPECT_NE(error.find("beyond 16 MB"), std::string::npos) << error;
}

TEST(EffectSource, RefusesBrokenStructure) {
  const struct {
    const char* what;
    const char* text;
  } cases[] = {
      {"no technique", "uniform float a;\n"},
      {"empty text", ""},
      {"technique without pass", "#technique t\n"},
      {"pass without fragment", "#technique t\n#pass\n#vertex\nvoid main(){}\n"},
      {"shader outside a pass", "#technique t\n#vertex\nvoid main(){}\n"},
      {"code between pass and shader", "#technique t\n#pass\nfloat x;\n#vertex\n#fragment\n"},
      {"version line", "#version 330\n#technique t\n#pass\n#vertex\n#fragment\n"},
      {"two vertex shaders", "#technique t\n#pass\n#vertex\n#vertex\n#fragment\n"},
      {"unnamed technique", "#technique\n#pass\n#vertex\n#fragment\n"},
  };
  for (const auto& c : cases) {
    EffectSource source;
    std::string error;
    EXPECT_FALSE(EffectSource::parse(c.text, source, error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

class EffectTest : public DeviceTest {};

// Tools without a device still learn an effect's parameters; drawing with it is refused.
TEST(EffectWithoutDevice, HasParametersAndTechniquesButNoPasses) {
  ID3DXEffect* effect = nullptr;
  ASSERT_EQ(ID3DXEffect::create(nullptr, kGlossEffect, &effect, nullptr), D3D_OK);
  float gloss = 0;
  EXPECT_EQ(effect->GetFloat(effect->GetParameterByName(nullptr, "gloss"), &gloss), D3D_OK);
  EXPECT_EQ(gloss, 0.25f);
  D3DXHANDLE technique = nullptr;
  EXPECT_EQ(effect->FindNextValidTechnique(nullptr, &technique), D3D_OK);
  EXPECT_NE(technique, nullptr);
  UINT passes = 0;
  EXPECT_EQ(effect->Begin(&passes, 0), D3D_OK);
  EXPECT_EQ(passes, 1u);
  EXPECT_EQ(effect->BeginPass(0), D3DERR_INVALIDCALL);
  effect->End();
  effect->Release();
}

TEST_F(EffectTest, VariableWithDefaultDrawsAndChangesTheColour) {
  ID3DXEffect* effect = nullptr;
  ID3DXBuffer* errors = nullptr;
  ASSERT_EQ(D3DXCreateEffect(device, kGlossEffect, UINT(std::string(kGlossEffect).size()),
                             nullptr, nullptr, 0, nullptr, &effect, &errors),
            D3D_OK)
      << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");

  // The scalar variables an editor would list, with their defaults.
  std::vector<std::pair<std::string, float>> scalars;
  for (UINT i = 0; D3DXHANDLE parameter = effect->GetParameter(nullptr, i); ++i) {
    D3DXPARAMETER_DESC desc;
    ASSERT_EQ(effect->GetParameterDesc(parameter, &desc), D3D_OK);
    if (desc.Class != D3DXPC_SCALAR) continue;
    float value = 0;
    effect->GetFloat(parameter, &value);
    scalars.emplace_back(desc.Name, value);
  }
  ASSERT_EQ(scalars.size(), 1u);
  EXPECT_EQ(scalars[0].first, "gloss");
  EXPECT_EQ(scalars[0].second, 0.25f);

  D3DXHANDLE technique = effect->GetTechniqueByName("main");
  ASSERT_NE(technique, nullptr);
  ASSERT_EQ(effect->SetTechnique(technique), D3D_OK);
  D3DXHANDLE first = nullptr;
  ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &first), D3D_OK);
  EXPECT_EQ(first, effect->GetTechnique(0));

  // Half size, moved right: a row-vector matrix with its translation in the last row.
  D3DMATRIX wvp{};
  wvp.m[0] = wvp.m[5] = 0.5f;
  wvp.m[10] = wvp.m[15] = 1;
  wvp.m[12] = 0.5f;
  D3DXHANDLE matrix = effect->GetParameterBySemantic(nullptr, "WorldViewProjection");
  ASSERT_EQ(effect->SetMatrix(matrix, &wvp), D3D_OK);

  const float quad[4][3] = {{-1, -1, 0.5f}, {-1, 1, 0.5f}, {1, -1, 0.5f}, {1, 1, 0.5f}};
  device->SetFVF(D3DFVF_XYZ);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  clear(0xFF000000);
  UINT passes = 0;
  ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
  ASSERT_EQ(passes, 1u);
  ASSERT_EQ(effect->BeginPass(0), D3D_OK);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
  expectColour(pixel(48, 32), {64, 0, 0, 255}, 1, "gloss 0.25");
  expectColour(pixel(8, 32), {0, 0, 0, 255}, 0, "left of the moved quad");
  ASSERT_EQ(effect->SetFloat("gloss", 0.75f), D3D_OK);
  ASSERT_EQ(effect->CommitChanges(), D3D_OK);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
  expectColour(pixel(48, 32), {191, 0, 0, 255}, 1, "gloss 0.75");
  ASSERT_EQ(effect->EndPass(), D3D_OK);
  ASSERT_EQ(effect->End(), D3D_OK);
  effect->Release();
}

// Arrays ("uniform vec2 offsets[16];") take their whole value at once, as the HDR chain sets its
// sample offsets and weights; they are not scalar variables an editor lists.
TEST_F(EffectTest, ArrayParametersReachTheShaderWhole) {
  const std::string text = R"(uniform vec2 offsets[16];
uniform float factors[3];
#technique t
#pass
#vertex
void main() { gl_Position = gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(offsets[15].y, factors[2], offsets[0].x, 1.0); }
)";
  EffectSource source;
  std::string error;
  ASSERT_TRUE(EffectSource::parse(text, source, error)) << error;
  ASSERT_EQ(source.uniforms.size(), 2u);
  EXPECT_EQ(source.uniforms[0].count, 16);
  EXPECT_EQ(source.uniforms[1].count, 3);

  ID3DXEffect* effect = nullptr;
  ASSERT_EQ(D3DXCreateEffect(device, text.data(), UINT(text.size()), nullptr, nullptr, 0, nullptr,
                             &effect, nullptr),
            D3D_OK);
  D3DXHANDLE offsets = effect->GetParameterByName(nullptr, "offsets");
  D3DXPARAMETER_DESC desc;
  ASSERT_EQ(effect->GetParameterDesc(offsets, &desc), D3D_OK);
  EXPECT_EQ(desc.Elements, 16u);
  EXPECT_EQ(desc.Bytes, 128u);
  float pairs[32] = {};
  pairs[0] = 0.5f;    // offsets[0].x
  pairs[31] = 0.25f;  // offsets[15].y
  ASSERT_EQ(effect->SetValue(offsets, pairs, sizeof pairs), D3D_OK);
  const float factors[3] = {0, 0, 0.75f};
  ASSERT_EQ(effect->SetValue(effect->GetParameterByName(nullptr, "factors"), factors,
                             sizeof factors),
            D3D_OK);
  const float quad[4][3] = {{-1, -1, 0.5f}, {-1, 1, 0.5f}, {1, -1, 0.5f}, {1, 1, 0.5f}};
  device->SetFVF(D3DFVF_XYZ);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  clear(0xFF000000);
  UINT passes = 0;
  ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
  ASSERT_EQ(effect->BeginPass(0), D3D_OK);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
  expectColour(pixel(32, 32), {64, 191, 128, 255}, 1, "last, third and first elements");
  effect->EndPass();
  effect->End();
  effect->Release();
}

TEST_F(EffectTest, CompileErrorFailsWithTheLog) {
  const std::string text = "#technique t\n#pass\n#vertex\nvoid main() { gl_Position = 1; }\n"
                           "#fragment\nvoid main() { gl_FragColor = vec4(1.0); }\n";
  ID3DXEffect* effect = nullptr;
  ID3DXBuffer* errors = nullptr;
  EXPECT_EQ(D3DXCreateEffect(device, text.data(), UINT(text.size()), nullptr, nullptr, 0, nullptr,
                             &effect, &errors),
            E_FAIL);
  EXPECT_EQ(effect, nullptr);
  ASSERT_NE(errors, nullptr);
  const std::string log = static_cast<const char*>(errors->GetBufferPointer());
  EXPECT_NE(log.find("vertex shader"), std::string::npos) << log;
  errors->Release();
  EXPECT_EQ(D3DXCreateEffectFromFileA(device, "/nonexistent/x.fxo", nullptr, nullptr, 0, nullptr,
                                      &effect, nullptr),
            D3DERR_NOTFOUND);
}

}  // namespace
