#include "platform/d3dx/D3DXDeclaration.h"

#include "tests/platform/d3dx/MeshTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(D3DXDeclaration, FVFLayoutsAndRoundTrip) {
  const struct {
    DWORD fvf;
    UINT size;
    UINT elements;
  } cases[] = {
      {0x112, 32, 3},    // position, normal, one texture set
      {0x212, 40, 4},    // plus a lightmap set
      {0x40212, 44, 4},  // second set of three floats: the tangent slot of the shader vertex
      {D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 20, 2},
      {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_PSIZE, 24, 4},
      {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 16, 2},
      {D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE4(1), 36, 3},
  };
  for (const auto& c : cases) {
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(D3DXDeclaratorFromFVF(c.fvf, declaration), D3D_OK) << std::hex << c.fvf;
    EXPECT_EQ(D3DXGetDeclLength(declaration), c.elements) << std::hex << c.fvf;
    EXPECT_EQ(D3DXGetDeclVertexSize(declaration, 0), c.size) << std::hex << c.fvf;
    DWORD back = 0;
    EXPECT_EQ(D3DXFVFFromDeclarator(declaration, &back), D3D_OK) << std::hex << c.fvf;
    EXPECT_EQ(back, c.fvf);
  }

  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  ASSERT_EQ(D3DXDeclaratorFromFVF(0x40212, declaration), D3D_OK);
  EXPECT_EQ(declaration[3].Offset, 32);
  EXPECT_EQ(declaration[3].Type, D3DDECLTYPE_FLOAT3);
  EXPECT_EQ(declaration[3].Usage, D3DDECLUSAGE_TEXCOORD);
  EXPECT_EQ(declaration[3].UsageIndex, 1);
}

TEST(D3DXDeclaration, ShaderVertexHasSizeButNoFVF) {
  EXPECT_EQ(D3DXGetDeclLength(kShaderVertex), 4u);
  EXPECT_EQ(D3DXGetDeclVertexSize(kShaderVertex, 0), 44u);
  DWORD fvf = 0xDEAD;
  EXPECT_EQ(D3DXFVFFromDeclarator(kShaderVertex, &fvf), D3DERR_INVALIDCALL);
  EXPECT_EQ(fvf, 0u);

  // The FVF usages, but not in FVF order: no FVF describes it either.
  const D3DVERTEXELEMENT9 swapped[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
      {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
      D3DDECL_END(),
  };
  EXPECT_EQ(D3DXGetDeclVertexSize(swapped, 0), 24u);
  EXPECT_EQ(D3DXFVFFromDeclarator(swapped, &fvf), D3DERR_INVALIDCALL);
}

TEST(D3DXDeclaration, RefusesWhatItDoesNotSupport) {
  D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
  const DWORD badFVFs[] = {
      0x006,                // XYZB1: blend weights
      0x4002,               // XYZW
      D3DFVF_XYZ | 0x900,   // nine texture sets
      D3DFVF_XYZ | 0x1000,  // LASTBETA_UBYTE4
  };
  for (DWORD fvf : badFVFs) {
    EXPECT_EQ(D3DXDeclaratorFromFVF(fvf, declaration), D3DERR_INVALIDCALL) << std::hex << fvf;
  }
  EXPECT_EQ(D3DXDeclaratorFromFVF(0x112, nullptr), D3DERR_INVALIDCALL);

  const auto element = [](uint16_t stream, uint16_t offset, uint8_t type, uint8_t usage,
                          uint8_t usageIndex) {
    return D3DVERTEXELEMENT9{stream, offset, type, D3DDECLMETHOD_DEFAULT, usage, usageIndex};
  };
  const std::vector<D3DVERTEXELEMENT9> badDeclarations[] = {
      {element(1, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0), D3DDECL_END()},
      {element(0, 2, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0), D3DDECL_END()},
      {element(0, 0, 6 /* SHORT2 */, D3DDECLUSAGE_POSITION, 0), D3DDECL_END()},
      {element(0, 0, D3DDECLTYPE_FLOAT3, 14, 0), D3DDECL_END()},
      {element(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
       element(0, 8, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0), D3DDECL_END()},
      {D3DDECL_END()},  // nothing to draw
  };
  for (const auto& bad : badDeclarations) {
    EXPECT_EQ(D3DXGetDeclVertexSize(bad.data(), 0), 0u) << bad.size();
  }
  EXPECT_EQ(D3DXGetDeclVertexSize(kShaderVertex, 1), 0u);
  EXPECT_EQ(D3DXGetDeclVertexSize(nullptr, 0), 0u);

  // Without an end marker within the limit the declaration is not read past it.
  std::vector<D3DVERTEXELEMENT9> unterminated(MAX_FVF_DECL_SIZE,
                                              element(0, 0, D3DDECLTYPE_FLOAT1, 5, 0));
  EXPECT_EQ(D3DXGetDeclLength(unterminated.data()), 0u);
  EXPECT_EQ(D3DXGetDeclVertexSize(unterminated.data(), 0), 0u);
}

}  // namespace
