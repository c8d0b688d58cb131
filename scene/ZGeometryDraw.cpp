// The device side of a mesh: its copy in the engine's shared buffers and its draw.
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Indices are 16-bit and relative to the mesh's first vertex.
constexpr int64_t kMaxIndexedVertices = 65536;
constexpr int32_t kShaderVertexFloats = 11;

void flushLog() { std::fflush(zlogStream()); }

// The D3DFVF_CVSVERTEX layout: position, normal, t0, tangent.
std::vector<float> shaderVertices(const std::vector<SVertex>& vertices) {
  std::vector<float> out;
  out.reserve(vertices.size() * kShaderVertexFloats);
  for (const SVertex& v : vertices) {
    out.insert(out.end(), {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y,
                           v.normal.z, v.t0[0], v.t0[1], v.tangent.x, v.tangent.y, v.tangent.z});
  }
  return out;
}

}  // namespace

void ZGeometry::compile() {
  flushLog();
  if (compiled) return;
  if (vertices.empty()) {
    zlog("Warning: %s has 0 vertices\n", name.c_str());
    return;
  }
  fvf = D3DFVF_CVSVERTEX;
  zlog("Compiling %s\t\t\t", name.c_str());
  generateFaceNormals();
  zlog("%d T\t%d V\t %d SC\t", int(faces.size()), int(vertices.size()), int(castShadow));
  initRadius();
  if (generateTangents != 0) computeTangentFrames();
  if (engine == nullptr) {
    zlog("Warning corvane=NULL in ZGeometry::compile()\n");
    return;
  }

  const int64_t vertexTotal = int64_t(vertices.size());
  const int64_t indexTotal = int64_t(faces.size()) * 3;
  const int64_t vertexLimit = std::min<int64_t>(kMaxIndexedVertices, engine->maxVertexIndex);
  if (vertexTotal > vertexLimit || indexTotal > engine->maxIndexBufferSize) {
    zlog("ZGeometry::compile(): %s is too large to draw (%lld vertices, %lld indices; at most "
         "%lld and %d), left uncompiled\n",
         name.c_str(), static_cast<long long>(vertexTotal), static_cast<long long>(indexTotal),
         static_cast<long long>(vertexLimit), int(engine->maxIndexBufferSize));
    return;
  }

  ZVertexBuffer* vb = engine->getVertexBuffer(fvf, int32_t(vertexTotal));
  ZVertexBuffer* ib = engine->getIndexBuffer(int32_t(indexTotal));
  const std::string effectName = material != nullptr ? material->effectName : std::string();
  zlog("FVF: D3DFVF_CVSVERTEX (%s %d)\n", effectName.c_str(),
       material != nullptr ? int(material->index) : 0);

  // The indices go in first, so a mesh whose indices cannot be written takes no vertex room.
  // Headless there is no index buffer to write: the ranges are still handed out.
  if (engine->device != nullptr && indexTotal > 0) {
    void* locked = nullptr;
    if (ib->deviceIndexBuffer == nullptr ||
        FAILED(ib->deviceIndexBuffer->Lock(ib->usedIndices * 2, UINT(indexTotal) * 2, &locked,
                                           0)) ||
        locked == nullptr) {
      zlog("Lock buffer failed in %s\n", name.c_str());
      return;
    }
    auto* out = static_cast<uint16_t*>(locked);
    for (const SFace& f : faces) {
      // A face naming a vertex outside the mesh becomes a degenerate triangle on vertex 0,
      // which draws nothing, instead of an index into another mesh's vertices.
      const bool inRange = isFaceInRange(f);
      *out++ = uint16_t(inRange ? f.a : 0);
      *out++ = uint16_t(inRange ? f.b : 0);
      *out++ = uint16_t(inRange ? f.c : 0);
    }
    ib->deviceIndexBuffer->Unlock();
  }
  const std::vector<float> packed = shaderVertices(vertices);
  if (!vb->addVertices(packed.data(), int32_t(kShaderVertexFloats * sizeof(float)),
                       int32_t(vertexTotal))) {
    zlog("ZGeometry::compile(): %s could not be added to its vertex buffer\n", name.c_str());
    return;
  }
  vertexBuffer = vb;
  baseVertex = vb->vertexCount() - int32_t(vertexTotal);
  indexBuffer = ib;
  startIndex = int32_t(ib->usedIndices);
  ib->usedIndices += uint32_t(indexTotal);

  compiled = true;
  flushLog();
  vertexCount = int32_t(vertexTotal);
  triangleCount = int32_t(faces.size());
}

void ZGeometry::recompile() {
  if (!compiled) return;
  if (vertices.empty()) {
    zlog("Warning: %s has 0 vertices\n", name.c_str());
    return;
  }
  initRadius();
  if (generateTangents != 0) computeTangentFrames();
  if (fvf != D3DFVF_CVSVERTEX || vertexBuffer == nullptr) return;
  // The device copy holds exactly vertexCount vertices; more would overwrite the next mesh's.
  if (int64_t(vertices.size()) != vertexCount) {
    zlog("ZGeometry::recompile(): %s has %d vertices, compiled with %d; compile it again\n",
         name.c_str(), int(vertices.size()), int(vertexCount));
    return;
  }
  const std::vector<float> packed = shaderVertices(vertices);
  vertexBuffer->replaceVertices(baseVertex, packed.data(), vertexCount);
}

void ZGeometry::draw(bool useMaterial) {
  if (!visible || !compiled || engine == nullptr || engine->device == nullptr) return;
  if (transparent && !engine->inTransparentPass && !engine->inShadowPass &&
      engine->selectedGeometry != this) {
    engine->deferTransparent(this);
    return;
  }
  if (engine->inShadowPass && !castShadow) return;
  // Only what the device buffers really hold is drawn: a buffer whose creation or lock failed,
  // or vertices compiled after the last finalise, are skipped until a finalise succeeds.
  if (triangleCount == 0 || vertexBuffer == nullptr || indexBuffer == nullptr ||
      indexBuffer->deviceIndexBuffer == nullptr ||
      int64_t(baseVertex) + vertexCount > vertexBuffer->deviceVertexCount()) {
    return;
  }

  engine->currentGeometry = this;
  if (useMaterial) {
    ZMaterial* m = material != nullptr ? material : engine->defaultMaterial;
    if (m != nullptr) m->apply();
  } else if (engine->currentMaterial != nullptr && engine->currentMaterial->effect != nullptr) {
    engine->currentMaterial->refreshObjectParameters();
  }
  vertexBuffer->bind();
  indexBuffer->bind();
  engine->device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, baseVertex, 0, UINT(vertexCount),
                                       UINT(startIndex), UINT(triangleCount));
}
