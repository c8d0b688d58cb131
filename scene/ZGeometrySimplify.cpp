// ZGeometry::getSimplifiedGeometry: the mesh goes through a D3DX mesh in the shader vertex layout
// (position, normal, t0, tangent; 44 bytes) and comes back reduced as a new engine mesh.
#include "scene/ZGeometry.h"

#include "foundation/ZLog.h"
#include "platform/d3dx/MeshSimplify.h"
#include "render/ZCorvane.h"

#include <cstdio>
#include <cstring>

namespace {

// Releases a mesh at the end of a scope.
struct MeshReference {
  ID3DXMesh* mesh = nullptr;
  ~MeshReference() {
    if (mesh != nullptr) mesh->Release();
  }
};

// Indices of a 16- or 32-bit index buffer.
uint32_t indexAt(const void* indices, bool wide, size_t i) {
  return wide ? static_cast<const uint32_t*>(indices)[i] : static_cast<const uint16_t*>(indices)[i];
}

}  // namespace

ZGeometry* ZGeometry::getSimplifiedGeometry(int targetFaces) {
  std::vector<const SFace*> usable;
  usable.reserve(faces.size());
  for (const SFace& f : faces) {
    if (isFaceInRange(f)) usable.push_back(&f);
  }
  // Meshes beyond 16-bit indices are exchanged with 32-bit ones rather than wrapped.
  const bool wide = vertices.size() > 65535;
  zlog("Creating ID3DXMesh...");
  zlogFlush();
  MeshReference source;
  if (engine == nullptr ||
      FAILED(D3DXCreateMesh(DWORD(usable.size()), DWORD(vertices.size()),
                            D3DXMESH_MANAGED | (wide ? D3DXMESH_32BIT : 0), kShaderVertexElements,
                            engine->device, &source.mesh))) {
    zlog("FAILED\n");
    return nullptr;
  }
  zlog("OK");
  zlog("Copying vertices...");
  zlogFlush();
  zlog("locking...");
  void* data = nullptr;
  source.mesh->LockVertexBuffer(0, &data);
  zlog("ok %d %d\n", int(vertices.size()), int(source.mesh->GetNumBytesPerVertex()));
  const std::vector<float> packed = packShaderVertices();
  std::memcpy(data, packed.data(), packed.size() * sizeof(float));
  source.mesh->UnlockVertexBuffer();
  zlog("Copying indices\n");
  source.mesh->LockIndexBuffer(0, &data);
  for (size_t i = 0; i < usable.size(); ++i) {
    const uint32_t corners[3] = {uint32_t(usable[i]->a), uint32_t(usable[i]->b),
                                 uint32_t(usable[i]->c)};
    for (int k = 0; k < 3; ++k) {
      if (wide) {
        static_cast<uint32_t*>(data)[i * 3 + size_t(k)] = corners[k];
      } else {
        static_cast<uint16_t*>(data)[i * 3 + size_t(k)] = uint16_t(corners[k]);
      }
    }
  }
  source.mesh->UnlockIndexBuffer();
  zlog("Unlocked\n");

  zlog("buff for %d\n", int(usable.size()));
  std::vector<DWORD> adjacency(usable.size() * 3);
  if (FAILED(source.mesh->GenerateAdjacency(1e-5f, adjacency.data()))) {
    zlog("mesh->GenerateAdjacency failed\n");
    return nullptr;
  }
  zlog("ADJ ok\n");
  MeshReference simplified;
  if (targetFaces < 0 ||
      FAILED(D3DXSimplifyMesh(source.mesh, adjacency.data(), nullptr, nullptr, DWORD(targetFaces),
                              D3DXMESHSIMP_FACE, &simplified.mesh))) {
    zlog("D3DXSimplifyMesh failed\n");
    return nullptr;
  }
  const int newFaces = int(simplified.mesh->GetNumFaces());
  const int newVertices = int(simplified.mesh->GetNumVertices());
  zlog("New mesh %d faces\n", newFaces);

  ZGeometry* result = engine->getNewGeometry();
  result->name = name + "_SIMPLIFIED";
  simplified.mesh->LockVertexBuffer(0, &data);
  zlog("getbyte %d %d %d\n", newVertices, int(simplified.mesh->GetNumBytesPerVertex()), newFaces);
  // The shader layout of packShaderVertices: position, normal, t0, tangent.
  const auto* in = static_cast<const float*>(data);
  for (int i = 0; i < newVertices; ++i, in += kShaderVertexFloats) {
    result->addVertex({in[0], in[1], in[2]});
    SVertex& v = result->vertices.back();
    v.normal = {in[3], in[4], in[5]};
    v.t0[0] = in[6];
    v.t0[1] = in[7];
    v.tangent = {in[8], in[9], in[10]};
  }
  simplified.mesh->UnlockVertexBuffer();
  zlog("end vertices\n");
  zlog("verts %d\n", newVertices);
  zlog("indices\n");
  simplified.mesh->LockIndexBuffer(0, &data);
  const bool resultWide = (simplified.mesh->GetOptions() & D3DXMESH_32BIT) != 0;
  for (int f = 0; f < newFaces; ++f) {
    const int a = int(indexAt(data, resultWide, size_t(f) * 3));
    const int b = int(indexAt(data, resultWide, size_t(f) * 3 + 1));
    const int c = int(indexAt(data, resultWide, size_t(f) * 3 + 2));
    zlog("%d %d %d\n", a, b, c);
    result->addTriangle(a, b, c);
  }
  simplified.mesh->UnlockIndexBuffer();
  result->setMaterial(material);
  return result;
}
