// X import: the platform's loader reads every mesh of the file (any encoding) into one
// triangle list with one attribute id per face; here it becomes one frame named after the file
// with one geometry per material, each holding only the vertices its own faces use.
#include "formats/ZObjectBuilder.h"
#include "formats/import_local.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "platform/d3dx/XFileLoader.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The vertex layout the loader hands out (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1).
struct XVertex {
  float position[3];
  float normal[3];
  float texture[2];
};
static_assert(sizeof(XVertex) == 32);

// Releases a D3DX object at the end of a scope.
template <typename T>
struct Released {
  T* object = nullptr;
  ~Released() {
    if (object != nullptr) object->Release();
  }
};

}  // namespace

bool ZObjectBuilder::loadX(const std::string& fileName) {
  Released<ID3DXMesh> mesh;
  Released<ID3DXBuffer> materialBuffer;
  DWORD materialCount = 0;
  // 32-bit indices, so meshes of more than 65535 vertices load too.
  if (FAILED(D3DXLoadMeshFromX(fileName.c_str(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT,
                               renderer->device, nullptr, &materialBuffer.object, nullptr,
                               &materialCount, &mesh.object))) {
    zlog("D3DXLoadMeshFromX FAILED %s\n", fileName.c_str());
    return false;
  }
  const DWORD vertexCount = mesh.object->GetNumVertices();
  const DWORD faceCount = mesh.object->GetNumFaces();
  if (mesh.object->GetNumBytesPerVertex() != sizeof(XVertex)) {
    zlog("X file %s: unexpected vertex layout\n", fileName.c_str());
    return false;
  }

  const std::string folder = folderOf(fileName);
  texturePath = folder + "/texture/";
  modelFolder = folder;
  std::string baseName(fileNameOf(fileName));
  baseName = baseName.substr(0, baseName.find_last_of('.'));

  // One engine material per file material (one white default when the file has none).
  std::vector<ZMaterial*> xMaterials;
  const D3DXMATERIAL* records = nullptr;
  if (materialBuffer.object != nullptr && materialCount > 0 &&
      materialBuffer.object->GetBufferSize() / sizeof(D3DXMATERIAL) >= materialCount) {
    records = static_cast<const D3DXMATERIAL*>(materialBuffer.object->GetBufferPointer());
  }
  for (DWORD i = 0; i < (records != nullptr ? materialCount : 1); ++i) {
    ZMaterial* material = renderer->getNewMaterial();
    if (records != nullptr) {
      material->d3dMaterial = records[i].MatD3D;
      // X materials carry no ambient colour; the diffuse one stands in, as for other imports.
      const D3DCOLORVALUE& d = records[i].MatD3D.Diffuse;
      material->setAmbient(d.r, d.g, d.b);
      if (records[i].pTextureFilename != nullptr && records[i].pTextureFilename[0] != '\0') {
        const char* reference = records[i].pTextureFilename;
        import_local::attachImportTexture(
            *material, renderer->getTexture(import_local::importTextureFile(*this, reference)),
            reference);
      }
    }
    materials.push_back(material);
    xMaterials.push_back(material);
  }

  void* vertexBytes = nullptr;
  void* indexBytes = nullptr;
  DWORD* attributes = nullptr;
  if (FAILED(mesh.object->LockVertexBuffer(0, &vertexBytes)) ||
      FAILED(mesh.object->LockIndexBuffer(0, &indexBytes)) ||
      FAILED(mesh.object->LockAttributeBuffer(0, &attributes))) {
    zlog("X file %s: mesh buffers cannot be read\n", fileName.c_str());
    return false;
  }
  const auto* vertices = static_cast<const XVertex*>(vertexBytes);
  const auto* indices = static_cast<const uint32_t*>(indexBytes);

  ZFrame* frame = renderer->getNewFrame();
  frame->name = baseName;
  frames.push_back(frame);
  // Per material a geometry, made when its first face comes; per vertex of the file the index it
  // has in the geometry whose serial (material + 1) owns the entry.
  std::vector<ZGeometry*> byMaterial(xMaterials.size(), nullptr);
  std::vector<int32_t> local(vertexCount, -1);
  std::vector<uint32_t> owner(vertexCount, 0);
  std::vector<bool> hasNormals(xMaterials.size(), false);
  int skipped = 0;
  for (DWORD f = 0; f < faceCount; ++f) {
    const DWORD id = attributes[f];
    const uint32_t* corner = &indices[size_t(f) * 3];
    if (id >= xMaterials.size() || corner[0] >= vertexCount || corner[1] >= vertexCount ||
        corner[2] >= vertexCount) {
      ++skipped;
      continue;
    }
    ZGeometry*& g = byMaterial[id];
    if (g == nullptr) {
      g = renderer->getNewGeometry();
      g->name = baseName;
      g->setMaterial(xMaterials[id]);
      frame->addGeometry(g);
      geometries.push_back(g);
    }
    int32_t corners[3];
    for (int k = 0; k < 3; ++k) {
      const uint32_t v = corner[k];
      if (owner[v] != id + 1) {
        const XVertex& x = vertices[v];
        local[v] = int32_t(g->vertices.size());
        owner[v] = id + 1;
        g->addVertex(ZVector(x.position[0], x.position[1], x.position[2]) * scale);
        SVertex& added = g->vertices.back();
        added.normal = {x.normal[0], x.normal[1], x.normal[2]};
        added.t0[0] = x.texture[0];
        added.t0[1] = x.texture[1];
        if (x.normal[0] != 0 || x.normal[1] != 0 || x.normal[2] != 0) hasNormals[id] = true;
      }
      corners[k] = local[v];
    }
    g->addTriangle(corners[0], corners[1], corners[2]);
  }
  mesh.object->UnlockAttributeBuffer();
  mesh.object->UnlockIndexBuffer();
  mesh.object->UnlockVertexBuffer();
  if (skipped > 0) zlog("X file %s: %d faces with bad indices skipped\n", fileName.c_str(), skipped);

  for (size_t id = 0; id < byMaterial.size(); ++id) {
    ZGeometry* g = byMaterial[id];
    if (g == nullptr) continue;
    if (!hasNormals[id]) g->generateNormals();  // the file gave none
    g->initRadius();
  }
  return true;
}
