// The shared vertex and index buffers: choosing a buffer with room, opening new ones, and
// copying the collected vertices into device memory.
#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "render/ZVertexBuffer.h"

#include <cstdio>

ZVertexBuffer* ZCorvane::getVertexBuffer(uint32_t fvf, int32_t count) {
  for (const std::unique_ptr<ZVertexBuffer>& buffer : vertexBuffers) {
    if (buffer->fvf == fvf && !buffer->closed &&
        int64_t(buffer->vertexCount()) + count < int64_t(maxVertexIndex)) {
      return buffer.get();
    }
  }
  zlog("\nNEW VB %d D3DFVF_CVSVERTEX=%d %d\n", int(fvf), int(D3DFVF_CVSVERTEX),
       int(D3DFVF_CVVERTEX));
  vertexBuffers.push_back(std::make_unique<ZVertexBuffer>(this, fvf));
  return vertexBuffers.back().get();
}

ZVertexBuffer* ZCorvane::getIndexBuffer(int32_t count) {
  if (count > maxIndexBufferSize) {
    char text[256];
    std::snprintf(text, sizeof(text), "ZCorvane::getIndexBuffer(%d) with maxIndexBufferSize=%d",
                  count, maxIndexBufferSize);
    MessageBoxA(GetActiveWindow(), text, "Corvane", MB_OK);
  }
  if (!indexBuffers.empty() &&
      int64_t(indexBuffers.back()->usedIndices) + count < int64_t(maxIndexBufferSize)) {
    return indexBuffers.back().get();
  }
  zlog("CREATING NEW INDEX BUFFER\n");
  auto buffer = std::make_unique<ZVertexBuffer>(this, 0);
  buffer->isIndexBuffer = true;
  // Headless there is no device buffer; meshes still get their index ranges counted.
  if (device != nullptr &&
      FAILED(device->CreateIndexBuffer(UINT(maxIndexBufferSize) * 2, D3DUSAGE_WRITEONLY,
                                       D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                       &buffer->deviceIndexBuffer, nullptr))) {
    zlog("error creating frame index buffer\n");
  }
  indexBuffers.push_back(std::move(buffer));
  return indexBuffers.back().get();
}

void ZCorvane::finaliseVertexBuffers(bool freeSource) {
  const uint32_t start = getTimeMs();
  for (const std::unique_ptr<ZVertexBuffer>& buffer : vertexBuffers) buffer->finalise(freeSource);
  zlog("ZCorvane::finaliseVertexBuffers done in %d\n", int(getTimeMs() - start));
}
