// The device side of a mesh: its copy in the engine's shared buffers and its draw.
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Indices are 16-bit and relative to the mesh's first vertex.
constexpr int64_t kMaxIndexedVertices = 65536;

}  // namespace

std::vector<float> ZGeometry::packShaderVertices(const std::vector<int32_t>& selection) const {
  std::vector<float> out;
  const auto add = [&](const SVertex& v) {
    out.insert(out.end(), {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y,
                           v.normal.z, v.t0[0], v.t0[1], v.tangent.x, v.tangent.y, v.tangent.z});
  };
  out.reserve((selection.empty() ? vertices.size() : selection.size()) * kShaderVertexFloats);
  if (selection.empty()) {
    for (const SVertex& v : vertices) add(v);
  } else {
    for (const int32_t i : selection) add(vertices[size_t(i)]);
  }
  return out;
}

// The faces [firstFace, endFace) of one piece and the mesh vertices it holds (empty: all of
// them, in order, with the faces written as they are).
struct ZGeometry::PiecePlan {
  size_t firstFace = 0;
  size_t endFace = 0;
  std::vector<int32_t> sourceVertices;
};

std::vector<ZGeometry::PiecePlan> ZGeometry::planPieces(int64_t vertexLimit,
                                                         int64_t indexLimit) const {
  std::vector<PiecePlan> plans;
  if (vertexLimit < 3 || indexLimit < 3) return plans;
  if (int64_t(vertices.size()) <= vertexLimit && int64_t(faces.size()) * 3 <= indexLimit) {
    plans.push_back({0, faces.size(), {}});
    return plans;
  }
  // Which piece last took each vertex, so a vertex shared by faces of one piece is held once.
  std::vector<size_t> takenBy(vertices.size(), SIZE_MAX);
  PiecePlan piece;
  int64_t pieceFaces = 0;
  for (size_t i = 0; i < faces.size(); ++i) {
    const SFace& f = faces[i];
    if (!isFaceInRange(f)) continue;  // never written: it would name another piece's vertex
    const size_t number = plans.size();
    const int newVertices = int(takenBy[size_t(f.a)] != number) +
                            int(takenBy[size_t(f.b)] != number && f.b != f.a) +
                            int(takenBy[size_t(f.c)] != number && f.c != f.a && f.c != f.b);
    if (int64_t(piece.sourceVertices.size()) + newVertices > vertexLimit ||
        (pieceFaces + 1) * 3 > indexLimit) {
      piece.endFace = i;
      plans.push_back(std::move(piece));
      piece = PiecePlan{i, i, {}};
      pieceFaces = 0;
    }
    for (const int32_t v : {f.a, f.b, f.c}) {
      if (takenBy[size_t(v)] == plans.size()) continue;
      takenBy[size_t(v)] = plans.size();
      piece.sourceVertices.push_back(v);
    }
    ++pieceFaces;
  }
  if (pieceFaces > 0) {
    piece.endFace = faces.size();
    plans.push_back(std::move(piece));
  }
  return plans;
}

bool ZGeometry::writePiece(const PiecePlan& plan, std::vector<int32_t>& localOf) {
  const bool whole = plan.sourceVertices.empty();
  for (size_t k = 0; k < plan.sourceVertices.size(); ++k) {
    localOf[size_t(plan.sourceVertices[k])] = int32_t(k);
  }
  int64_t indexCount = 0;
  for (size_t i = plan.firstFace; i < plan.endFace; ++i) {
    indexCount += whole || isFaceInRange(faces[i]) ? 3 : 0;
  }
  const auto pieceVertices =
      int32_t(whole ? vertices.size() : plan.sourceVertices.size());
  ZVertexBuffer* vb = engine->getVertexBuffer(fvf, pieceVertices);
  ZVertexBuffer* ib = engine->getIndexBuffer(int32_t(indexCount));

  // The indices go in first, so a piece whose indices cannot be written takes no vertex room.
  // Headless there is no index buffer to write: the ranges are still handed out.
  if (engine->device != nullptr && indexCount > 0) {
    void* locked = nullptr;
    if (ib->deviceIndexBuffer == nullptr ||
        FAILED(ib->deviceIndexBuffer->Lock(ib->usedIndices * 2, UINT(indexCount) * 2, &locked,
                                           0)) ||
        locked == nullptr) {
      zlog("Lock buffer failed in %s\n", name.c_str());
      return false;
    }
    auto* out = static_cast<uint16_t*>(locked);
    for (size_t i = plan.firstFace; i < plan.endFace; ++i) {
      const SFace& f = faces[i];
      const bool inRange = isFaceInRange(f);
      if (whole) {
        // A face naming a vertex outside the mesh becomes a degenerate triangle on vertex 0,
        // which draws nothing, instead of an index into another mesh's vertices.
        *out++ = uint16_t(inRange ? f.a : 0);
        *out++ = uint16_t(inRange ? f.b : 0);
        *out++ = uint16_t(inRange ? f.c : 0);
      } else if (inRange) {
        *out++ = uint16_t(localOf[size_t(f.a)]);
        *out++ = uint16_t(localOf[size_t(f.b)]);
        *out++ = uint16_t(localOf[size_t(f.c)]);
      }
    }
    ib->deviceIndexBuffer->Unlock();
  }
  const std::vector<float> packed = packShaderVertices(plan.sourceVertices);
  if (!vb->addVertices(packed.data(), int32_t(kShaderVertexFloats * sizeof(float)),
                       pieceVertices)) {
    zlog("ZGeometry::compile(): %s could not be added to its vertex buffer\n", name.c_str());
    return false;
  }
  SGeometryPiece& piece = pieces.emplace_back();
  piece.vertexBuffer = vb;
  piece.baseVertex = vb->vertexCount() - pieceVertices;
  piece.indexBuffer = ib;
  piece.startIndex = int32_t(ib->usedIndices);
  piece.vertexCount = pieceVertices;
  piece.triangleCount = int32_t(indexCount / 3);
  piece.sourceVertices = plan.sourceVertices;
  ib->usedIndices += uint32_t(indexCount);
  return true;
}

int32_t ZGeometry::drawPieceCount() const {
  if (vertices.empty() || engine == nullptr) return 0;
  const int64_t vertexLimit = std::min<int64_t>(kMaxIndexedVertices, engine->maxVertexIndex);
  return int32_t(planPieces(vertexLimit, engine->maxIndexBufferSize).size());
}

void ZGeometry::compile() {
  if (!compiled && !vertices.empty()) prepareCompile();
  compilePrepared();
}

void ZGeometry::prepareCompile() {
  generateFaceNormals();
  initRadius();
  if (generateTangents != 0) computeTangentFrames();
}

void ZGeometry::compilePrepared() {
  zlogFlush();
  if (compiled) return;
  if (vertices.empty()) {
    zlog("Warning: %s has 0 vertices\n", name.c_str());
    return;
  }
  fvf = D3DFVF_CVSVERTEX;
  zlog("Compiling %s\t\t\t", name.c_str());
  zlog("%d T\t%d V\t %d SC\t", int(faces.size()), int(vertices.size()), int(castShadow));
  if (engine == nullptr) {
    zlog("Warning corvane=NULL in ZGeometry::compile()\n");
    return;
  }

  const int64_t vertexLimit = std::min<int64_t>(kMaxIndexedVertices, engine->maxVertexIndex);
  const std::vector<PiecePlan> plans = planPieces(vertexLimit, engine->maxIndexBufferSize);
  if (plans.empty()) {
    zlog("ZGeometry::compile(): %s is too large to draw (%d vertices, %d indices; at most "
         "%lld and %d a piece), left uncompiled\n",
         name.c_str(), int(vertices.size()), int(faces.size() * 3),
         static_cast<long long>(vertexLimit), int(engine->maxIndexBufferSize));
    return;
  }
  const std::string effectName = material != nullptr ? material->effectName : std::string();
  zlog("FVF: D3DFVF_CVSVERTEX (%s %d)\n", effectName.c_str(),
       material != nullptr ? int(material->index) : 0);
  if (plans.size() > 1 || !plans.front().sourceVertices.empty()) {
    zlog("ZGeometry::compile(): %s drawn in %d pieces for 16-bit indices\n", name.c_str(),
         int(plans.size()));
  }
  pieces.clear();
  std::vector<int32_t> localOf(plans.front().sourceVertices.empty() ? 0 : vertices.size());
  for (const PiecePlan& plan : plans) {
    if (!writePiece(plan, localOf)) {
      pieces.clear();
      return;
    }
  }
  const SGeometryPiece& first = pieces.front();
  vertexBuffer = first.vertexBuffer;
  baseVertex = first.baseVertex;
  indexBuffer = first.indexBuffer;
  startIndex = first.startIndex;

  compiled = true;
  zlogFlush();
  vertexCount = int32_t(vertices.size());
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
  if (fvf != D3DFVF_CVSVERTEX) return;
  if (!rewriteDeviceVertices()) {
    zlog("ZGeometry::recompile(): %s has %d vertices, compiled with %d; compile it again\n",
         name.c_str(), int(vertices.size()), int(vertexCount));
  }
}

bool ZGeometry::rewriteDeviceVertices() {
  // The device copy was made from vertexCount vertices; more would overwrite the next mesh's.
  if (!compiled || fvf != D3DFVF_CVSVERTEX || int64_t(vertices.size()) != vertexCount) {
    return false;
  }
  for (const SGeometryPiece& piece : pieces) {
    const std::vector<float> packed = packShaderVertices(piece.sourceVertices);
    piece.vertexBuffer->replaceVertices(piece.baseVertex, packed.data(), piece.vertexCount);
  }
  return true;
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
  const auto drawable = [](const SGeometryPiece& piece) {
    return piece.triangleCount > 0 && piece.indexBuffer->deviceIndexBuffer != nullptr &&
           int64_t(piece.baseVertex) + piece.vertexCount <=
               piece.vertexBuffer->deviceVertexCount();
  };
  if (std::none_of(pieces.begin(), pieces.end(), drawable)) return;

  engine->currentGeometry = this;
  if (useMaterial) {
    ZMaterial* m = material != nullptr ? material : engine->defaultMaterial;
    if (m != nullptr) m->apply();
  } else if (engine->currentMaterial != nullptr && engine->currentMaterial->effect != nullptr) {
    engine->currentMaterial->refreshObjectParameters();
  }
  for (const SGeometryPiece& piece : pieces) {
    if (!drawable(piece)) continue;
    piece.vertexBuffer->bind();
    piece.indexBuffer->bind();
    engine->device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, piece.baseVertex, 0,
                                         UINT(piece.vertexCount), UINT(piece.startIndex),
                                         UINT(piece.triangleCount));
  }
}
