#include "platform/d3d9/VertexLayout.h"

#include <algorithm>

namespace {

constexpr int kMaxDeclarationElements = 64;

int componentsOfTexCoord(DWORD fvf, int set) {
  switch ((fvf >> (set * 2 + 16)) & 3) {
    case 1:
      return 3;
    case 2:
      return 4;
    case 3:
      return 1;
    default:
      return 2;
  }
}

int componentsOfDeclType(uint8_t type) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1:
      return 1;
    case D3DDECLTYPE_FLOAT2:
      return 2;
    case D3DDECLTYPE_FLOAT3:
      return 3;
    case D3DDECLTYPE_FLOAT4:
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
      return 4;
    default:
      return 0;
  }
}

int bytesOfDeclType(uint8_t type) {
  return type == D3DDECLTYPE_D3DCOLOR || type == D3DDECLTYPE_UBYTE4 ? 4
                                                                    : 4 * componentsOfDeclType(type);
}

}  // namespace

VertexLayout VertexLayout::fromFVF(DWORD fvf) {
  VertexLayout layout;
  int offset = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
      layout.position = {true, offset, 3};
      offset += 12;
      break;
    case D3DFVF_XYZRHW:
      layout.position = {true, offset, 4};
      layout.pretransformed = true;
      offset += 16;
      break;
    default:
      return VertexLayout{};
  }
  if (fvf & D3DFVF_NORMAL) {
    layout.normal = {true, offset, 3};
    offset += 12;
  }
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    layout.diffuse = {true, offset, 4};
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    layout.specular = {true, offset, 4};
    offset += 4;
  }
  const int sets = std::min<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT,
                                 kTexCoordSets);
  for (int set = 0; set < sets; ++set) {
    const int components = componentsOfTexCoord(fvf, set);
    layout.texCoords[set] = {true, offset, components};
    offset += 4 * components;
  }
  layout.stride = offset;
  return layout;
}

VertexLayout VertexLayout::fromDeclaration(const D3DVERTEXELEMENT9* elements) {
  VertexLayout layout;
  const int count = declarationLength(elements);
  for (int i = 0; i < count; ++i) {
    const D3DVERTEXELEMENT9& e = elements[i];
    const int components = componentsOfDeclType(e.Type);
    if (e.Stream != 0 || components == 0) continue;
    const VertexAttribute attribute{true, e.Offset, components};
    switch (e.Usage) {
      case D3DDECLUSAGE_POSITION:
        if (e.UsageIndex == 0) layout.position = attribute;
        break;
      case D3DDECLUSAGE_POSITIONT:
        layout.position = attribute;
        layout.pretransformed = true;
        break;
      case D3DDECLUSAGE_NORMAL:
        if (e.UsageIndex == 0) layout.normal = attribute;
        break;
      case D3DDECLUSAGE_COLOR:
        (e.UsageIndex == 0 ? layout.diffuse : layout.specular) = attribute;
        break;
      case D3DDECLUSAGE_TEXCOORD:
        if (e.UsageIndex < kTexCoordSets) layout.texCoords[e.UsageIndex] = attribute;
        break;
      case D3DDECLUSAGE_TANGENT:
        if (e.UsageIndex == 0) layout.texCoords[1] = attribute;
        break;
      default:
        break;
    }
    layout.stride = std::max(layout.stride, e.Offset + bytesOfDeclType(e.Type));
  }
  return layout;
}

uint64_t primitiveVertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST:
      return primitives;
    case D3DPT_LINELIST:
      return uint64_t(primitives) * 2;
    case D3DPT_LINESTRIP:
      return uint64_t(primitives) + 1;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return uint64_t(primitives) + 2;
    default:
      return uint64_t(primitives) * 3;
  }
}

int declarationLength(const D3DVERTEXELEMENT9* elements) {
  if (!elements) return -1;
  for (int i = 0; i < kMaxDeclarationElements; ++i) {
    if (elements[i].Stream == 0xFF) return i;
  }
  return -1;
}

IDirect3DVertexDeclaration9::IDirect3DVertexDeclaration9(IDirect3DDevice9* owner,
                                                         const D3DVERTEXELEMENT9* source)
    : IDirect3DResource9(owner),
      elements(source, source + declarationLength(source) + 1),
      vertexLayout(VertexLayout::fromDeclaration(source)) {}

HRESULT IDirect3DVertexDeclaration9::GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) const {
  if (!count) return D3DERR_INVALIDCALL;
  *count = static_cast<UINT>(elements.size());
  if (out) std::copy(elements.begin(), elements.end(), out);
  return D3D_OK;
}
