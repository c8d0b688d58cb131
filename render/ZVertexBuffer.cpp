#include "render/ZVertexBuffer.h"

#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"

#include <algorithm>
#include <cstring>

ZVertexBuffer::~ZVertexBuffer() {
  if (deviceIndexBuffer != nullptr) deviceIndexBuffer->Release();
  if (deviceBuffer != nullptr) deviceBuffer->Release();
}

bool ZVertexBuffer::addVertex(const void* bytes, int32_t size) {
  return addVertices(bytes, size, 1);
}

bool ZVertexBuffer::addVertices(const void* bytes, int32_t recordSize, int32_t count) {
  if (closed || isIndexBuffer || recordSize <= 0 || count < 0 ||
      (appended > 0 && recordSize != stride)) {
    return false;
  }
  stride = recordSize;
  const size_t size = size_t(recordSize) * size_t(count);
  const auto* first = static_cast<const uint8_t*>(bytes);
  pendingVertices.insert(pendingVertices.end(), first, first + size);
  appended += count;
  return true;
}

bool ZVertexBuffer::replaceVertices(int32_t first, const void* bytes, int32_t count) {
  if (isIndexBuffer || first < 0 || count < 0 || int64_t(first) + count > appended) return false;
  const size_t offset = size_t(first) * size_t(stride);
  const size_t size = size_t(count) * size_t(stride);
  // A closed buffer has no pending copy left; its device buffer holds the only one.
  if (offset + size <= pendingVertices.size()) {
    std::memcpy(pendingVertices.data() + offset, bytes, size);
  }
  if (deviceBuffer == nullptr || first + count > uploaded) return true;
  void* data = nullptr;
  if (FAILED(deviceBuffer->Lock(UINT(offset), UINT(size), &data, 0)) || data == nullptr) {
    zlog("Lock buffer failed");
    return false;
  }
  std::memcpy(data, bytes, size);
  deviceBuffer->Unlock();
  return true;
}

void ZVertexBuffer::truncate(int32_t count) {
  if (count < 0) return;
  if (isIndexBuffer) {
    usedIndices = std::min(usedIndices, uint32_t(count));
    return;
  }
  if (closed || count >= appended) return;
  appended = count;
  pendingVertices.resize(size_t(count) * size_t(stride));
  uploaded = std::min(uploaded, count);
}

void ZVertexBuffer::finalise(bool freeSource) {
  if (isIndexBuffer) {
    zlog("IndexBuffer, nothing to finalise\n");
    return;
  }
  if (deviceBuffer != nullptr) {
    zlog("Already finalised\n");
    if (closed) {
      zlog("VB is closed, returning\n");
      return;
    }
  } else {
    zlog("finalising VB %d %dMb\n", stride, int32_t((int64_t(appended) * stride) >> 20));
  }
  declaration = owner->vertexDeclaration;
  // Headless, or nothing collected: there is nothing to copy, and the pending copy stays.
  if (owner->device == nullptr || pendingVertices.empty()) return;

  // The old device buffer serves the meshes it holds until the new one is filled.
  IDirect3DVertexBuffer9* created = nullptr;
  if (FAILED(owner->device->CreateVertexBuffer(UINT(pendingVertices.size()), D3DUSAGE_WRITEONLY,
                                               fvf, D3DPOOL_DEFAULT, &created, nullptr)) ||
      created == nullptr) {
    zlog("error creating vertex buffer");
    return;
  }
  void* data = nullptr;
  if (FAILED(created->Lock(0, 0, &data, 0)) || data == nullptr) {
    zlog("Lock buffer failed");
    created->Release();
    return;
  }
  std::memcpy(data, pendingVertices.data(), pendingVertices.size());
  created->Unlock();
  if (deviceBuffer != nullptr) deviceBuffer->Release();
  deviceBuffer = created;
  uploaded = appended;
  // The device's stream 0 may still name the old buffer: the next draw must bind again.
  if (owner->currentVertexBuffer == this) owner->currentVertexBuffer = nullptr;

  if (freeSource) {
    std::vector<uint8_t>().swap(pendingVertices);
    closed = true;
  }
}

void ZVertexBuffer::bind() {
  IDirect3DDevice9* device = owner->device;
  if (isIndexBuffer) {
    if (owner->currentIndexBuffer == this || device == nullptr || deviceIndexBuffer == nullptr) {
      return;
    }
    if (FAILED(device->SetIndices(deviceIndexBuffer))) {
      MessageBoxA(GetActiveWindow(), "Error setting index buffer", "corvane", MB_OK);
    }
    owner->currentIndexBuffer = this;
    return;
  }
  if (owner->currentVertexBuffer == this || device == nullptr || deviceBuffer == nullptr) return;
  const ZVertexBuffer* previous = owner->currentVertexBuffer;
  if (fvf == D3DFVF_CVSVERTEX) {
    if (previous == nullptr || previous->fvf != D3DFVF_CVSVERTEX) {
      const HRESULT result = device->SetVertexDeclaration(declaration);
      if (FAILED(result)) {
        zlog("Error SetVertexDeclaration %d (D3DFVF_CVSVERTEX=%d) %d\n", int(fvf),
             int(D3DFVF_CVSVERTEX), int(result));
      }
    }
  } else {
    const HRESULT result = device->SetFVF(fvf);
    if (FAILED(result)) {
      zlog("Error SetFVF %d (D3DFVF_CVSVERTEX=%d) %d\n", int(fvf), int(D3DFVF_CVSVERTEX),
           int(result));
    }
  }
  if (FAILED(device->SetStreamSource(0, deviceBuffer, 0, UINT(stride)))) {
    MessageBoxA(GetActiveWindow(), "Error SetStreamSource", "corvane", MB_OK);
  }
  owner->currentVertexBuffer = this;
}
