#include "platform/d3dx/D3DXDeclaration.h"

#include <algorithm>

namespace {

constexpr uint8_t kLastUsage = 13;  // D3DDECLUSAGE_SAMPLE
constexpr DWORD kMaxTextureSets = 8;
constexpr DWORD kSupportedFVFBits = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE |
                                    D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK |
                                    0xFFFF0000u;

// Bytes of one element of the given type; 0 for types outside the supported set.
UINT typeSize(uint8_t type) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
      return 4;
    case D3DDECLTYPE_FLOAT2:
      return 8;
    case D3DDECLTYPE_FLOAT3:
      return 12;
    case D3DDECLTYPE_FLOAT4:
      return 16;
    default:
      return 0;
  }
}

bool isEnd(const D3DVERTEXELEMENT9& element) { return element.Stream == 0xFF; }

}  // namespace

UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration) {
  if (!declaration) return 0;
  for (UINT i = 0; i < MAX_FVF_DECL_SIZE; ++i) {
    if (isEnd(declaration[i])) return i;
  }
  return 0;
}

UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream) {
  const UINT length = D3DXGetDeclLength(declaration);
  if (length == 0 || stream != 0) return 0;
  UINT size = 0;
  for (UINT i = 0; i < length; ++i) {
    const D3DVERTEXELEMENT9& e = declaration[i];
    const UINT bytes = typeSize(e.Type);
    if (e.Stream != 0 || bytes == 0 || e.Offset % 4 != 0 || e.Method != D3DDECLMETHOD_DEFAULT ||
        e.Usage > kLastUsage) {
      return 0;
    }
    for (UINT j = 0; j < i; ++j) {
      if (declaration[j].Usage == e.Usage && declaration[j].UsageIndex == e.UsageIndex) return 0;
    }
    size = std::max(size, UINT(e.Offset) + bytes);
  }
  return size;
}

HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) {
  if (!declaration) return D3DERR_INVALIDCALL;
  const DWORD position = fvf & D3DFVF_POSITION_MASK;
  const DWORD textureSets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if ((fvf & ~kSupportedFVFBits) != 0 || textureSets > kMaxTextureSets ||
      (position != 0 && position != D3DFVF_XYZ && position != D3DFVF_XYZRHW)) {
    return D3DERR_INVALIDCALL;
  }
  UINT count = 0;
  uint16_t offset = 0;
  const auto add = [&](uint8_t type, uint8_t usage, uint8_t usageIndex) {
    declaration[count++] = {0, offset, type, D3DDECLMETHOD_DEFAULT, usage, usageIndex};
    offset = uint16_t(offset + typeSize(type));
  };
  if (position == D3DFVF_XYZ) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
  if (position == D3DFVF_XYZRHW) add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
  if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
  if (fvf & D3DFVF_PSIZE) add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
  if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
  if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
  // Two bits per set above bit 16: 0 = two floats, 1 = three, 2 = four, 3 = one.
  static constexpr uint8_t kSetTypes[4] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3,
                                           D3DDECLTYPE_FLOAT4, D3DDECLTYPE_FLOAT1};
  for (DWORD set = 0; set < textureSets; ++set) {
    add(kSetTypes[(fvf >> (16 + 2 * set)) & 3], D3DDECLUSAGE_TEXCOORD, uint8_t(set));
  }
  declaration[count] = D3DDECL_END();
  return D3D_OK;
}

HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declaration, DWORD* fvf) {
  if (!fvf) return D3DERR_INVALIDCALL;
  *fvf = 0;
  const UINT length = D3DXGetDeclLength(declaration);
  if (length == 0 || D3DXGetDeclVertexSize(declaration, 0) == 0) return D3DERR_INVALIDCALL;
  // Gather the FVF bits the elements ask for, then accept them only if that FVF's own layout
  // is the declaration element for element.
  DWORD candidate = 0;
  DWORD textureSets = 0;
  for (UINT i = 0; i < length; ++i) {
    const D3DVERTEXELEMENT9& e = declaration[i];
    switch (e.Usage) {
      case D3DDECLUSAGE_POSITION:
        candidate |= D3DFVF_XYZ;
        break;
      case D3DDECLUSAGE_POSITIONT:
        candidate |= D3DFVF_XYZRHW;
        break;
      case D3DDECLUSAGE_NORMAL:
        candidate |= D3DFVF_NORMAL;
        break;
      case D3DDECLUSAGE_PSIZE:
        candidate |= D3DFVF_PSIZE;
        break;
      case D3DDECLUSAGE_COLOR:
        candidate |= e.UsageIndex == 0 ? D3DFVF_DIFFUSE : D3DFVF_SPECULAR;
        break;
      case D3DDECLUSAGE_TEXCOORD: {
        if (e.UsageIndex >= kMaxTextureSets) return D3DERR_INVALIDCALL;
        static constexpr DWORD kSizeBits[] = {3, 0, 1, 2};  // by D3DDECLTYPE_FLOAT1..FLOAT4
        if (e.Type > D3DDECLTYPE_FLOAT4) return D3DERR_INVALIDCALL;
        candidate |= kSizeBits[e.Type] << (16 + 2 * e.UsageIndex);
        textureSets = std::max<DWORD>(textureSets, e.UsageIndex + 1u);
        break;
      }
      default:
        return D3DERR_INVALIDCALL;
    }
  }
  candidate |= textureSets << D3DFVF_TEXCOUNT_SHIFT;
  D3DVERTEXELEMENT9 expected[MAX_FVF_DECL_SIZE];
  if (FAILED(D3DXDeclaratorFromFVF(candidate, expected)) || D3DXGetDeclLength(expected) != length) {
    return D3DERR_INVALIDCALL;
  }
  for (UINT i = 0; i < length; ++i) {
    const D3DVERTEXELEMENT9& a = declaration[i];
    const D3DVERTEXELEMENT9& b = expected[i];
    if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Usage != b.Usage ||
        a.UsageIndex != b.UsageIndex) {
      return D3DERR_INVALIDCALL;
    }
  }
  *fvf = candidate;
  return D3D_OK;
}
