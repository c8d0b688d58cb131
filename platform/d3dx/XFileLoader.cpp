#include "platform/d3dx/XFileLoader.h"

#include "platform/d3dx/XFileParser.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <span>

namespace {

constexpr DWORD kFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
static_assert(sizeof(XFileVertex) == 32, "XFileVertex must match FVF XYZ|NORMAL|TEX1");
constexpr size_t kMaxFileBytes = XFileTokenizer::kMaxBodyBytes;

struct Releaser {
  template <class T>
  void operator()(T* object) const {
    object->Release();
  }
};
template <class T>
using Held = std::unique_ptr<T, Releaser>;

HRESULT buildMesh(const XFileScene& scene, DWORD options, void* device, Held<ID3DXMesh>& out) {
  ID3DXMesh* mesh = nullptr;
  const HRESULT created = D3DXCreateMeshFVF(
      DWORD(scene.attributes.size()), DWORD(scene.vertices.size()), options, kFVF, device, &mesh);
  if (FAILED(created)) return created;
  out.reset(mesh);
  void* data = nullptr;
  mesh->LockVertexBuffer(0, &data);
  std::memcpy(data, scene.vertices.data(), scene.vertices.size() * sizeof(XFileVertex));
  mesh->UnlockVertexBuffer();
  mesh->LockIndexBuffer(0, &data);
  const bool wide = (options & D3DXMESH_32BIT) != 0;
  for (size_t i = 0; i < scene.indices.size(); ++i) {
    if (wide) {
      std::memcpy(static_cast<uint8_t*>(data) + 4 * i, &scene.indices[i], 4);
    } else {
      const uint16_t narrow = uint16_t(scene.indices[i]);  // below 65536: the mesh was created
      std::memcpy(static_cast<uint8_t*>(data) + 2 * i, &narrow, 2);
    }
  }
  mesh->UnlockIndexBuffer();
  DWORD* ids = nullptr;
  mesh->LockAttributeBuffer(0, &ids);
  std::copy(scene.attributes.begin(), scene.attributes.end(), ids);
  mesh->UnlockAttributeBuffer();
  return D3D_OK;
}

// D3DXMATERIAL records followed by their texture names, all in one buffer.
HRESULT buildMaterials(const std::vector<XFileMaterial>& materials, Held<ID3DXBuffer>& out) {
  uint64_t size = uint64_t(materials.size()) * sizeof(D3DXMATERIAL);
  for (const XFileMaterial& m : materials) {
    if (m.hasTexture) size += m.textureFilename.size() + 1;
  }
  if (size > UINT32_MAX) return E_OUTOFMEMORY;
  ID3DXBuffer* buffer = nullptr;
  const HRESULT created = D3DXCreateBuffer(DWORD(size), &buffer);
  if (FAILED(created)) return created;
  out.reset(buffer);
  auto* records = static_cast<D3DXMATERIAL*>(buffer->GetBufferPointer());
  char* names = reinterpret_cast<char*>(records + materials.size());
  for (size_t i = 0; i < materials.size(); ++i) {
    records[i].MatD3D = materials[i].material;
    records[i].pTextureFilename = nullptr;
    if (!materials[i].hasTexture) continue;
    const std::string& name = materials[i].textureFilename;
    std::memcpy(names, name.c_str(), name.size() + 1);
    records[i].pTextureFilename = names;
    names += name.size() + 1;
  }
  return D3D_OK;
}

HRESULT buildAdjacency(ID3DXMesh& mesh, Held<ID3DXBuffer>& out) {
  ID3DXBuffer* buffer = nullptr;
  const uint64_t size = uint64_t(mesh.GetNumFaces()) * 3 * sizeof(DWORD);
  const HRESULT created =
      size > UINT32_MAX ? E_OUTOFMEMORY : D3DXCreateBuffer(DWORD(size), &buffer);
  if (FAILED(created)) return created;
  out.reset(buffer);
  return mesh.GenerateAdjacency(0.0f, static_cast<DWORD*>(buffer->GetBufferPointer()));
}

void clearOutputs(ID3DXBuffer** adjacency, ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                  DWORD* numMaterials, ID3DXMesh** mesh) {
  if (adjacency) *adjacency = nullptr;
  if (materials) *materials = nullptr;
  if (effectInstances) *effectInstances = nullptr;
  if (numMaterials) *numMaterials = 0;
  if (mesh) *mesh = nullptr;
}

HRESULT load(std::span<const uint8_t> bytes, DWORD options, void* device,
             ID3DXBuffer** adjacencyOut, ID3DXBuffer** materialsOut, DWORD* numMaterials,
             ID3DXMesh** meshOut) {
  XFileScene scene;
  XFileParser parser;
  if (!parser.parse(bytes, scene) || scene.indices.empty()) return D3DXERR_INVALIDDATA;
  Held<ID3DXMesh> mesh;
  HRESULT result = buildMesh(scene, options, device, mesh);
  Held<ID3DXBuffer> materials;
  if (SUCCEEDED(result) && materialsOut && !scene.materials.empty()) {
    result = buildMaterials(scene.materials, materials);
  }
  Held<ID3DXBuffer> adjacency;
  if (SUCCEEDED(result) && adjacencyOut) result = buildAdjacency(*mesh, adjacency);
  if (FAILED(result)) return result;
  if (adjacencyOut) *adjacencyOut = adjacency.release();
  if (materialsOut) *materialsOut = materials.release();
  if (numMaterials) *numMaterials = DWORD(scene.materials.size());
  *meshOut = mesh.release();
  return D3D_OK;
}

}  // namespace

HRESULT D3DXLoadMeshFromXInMemory(const void* memory, DWORD size, DWORD options, void* device,
                                  ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                                  ID3DXBuffer** effectInstances, DWORD* numMaterials,
                                  ID3DXMesh** mesh) {
  clearOutputs(adjacency, materials, effectInstances, numMaterials, mesh);
  if (!memory || !mesh) return D3DERR_INVALIDCALL;
  try {
    return load({static_cast<const uint8_t*>(memory), size}, options, device, adjacency, materials,
                numMaterials, mesh);
  } catch (const std::exception&) {  // container allocation; the parse itself never throws
    return E_OUTOFMEMORY;
  }
}

HRESULT D3DXLoadMeshFromXA(const char* file, DWORD options, void* device, ID3DXBuffer** adjacency,
                           ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                           DWORD* numMaterials, ID3DXMesh** mesh) {
  clearOutputs(adjacency, materials, effectInstances, numMaterials, mesh);
  if (!file || !mesh) return D3DERR_INVALIDCALL;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file, "rb"), &std::fclose);
  if (!stream) return D3DERR_NOTFOUND;
  try {
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream.get())) > 0) {
      if (bytes.size() + got > kMaxFileBytes) return D3DXERR_INVALIDDATA;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (std::ferror(stream.get())) return D3DERR_NOTFOUND;
    return load(bytes, options, device, adjacency, materials, numMaterials, mesh);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}
