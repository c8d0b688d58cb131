// One of the engine's shared buffers: either a vertex buffer of one vertex format that collects
// the vertices of many meshes and copies them into device memory when finalised, or a 16-bit
// index buffer of fixed capacity that meshes fill one after another (and that needs no
// finalisation). The engine creates and owns them (ZCorvane::getVertexBuffer/getIndexBuffer);
// meshes borrow them.
//
// Pending vertices are kept as one contiguous byte array of `stride`-byte records. Once a
// finalise frees them, the buffer is closed: it keeps its vertex count, takes no further meshes
// and is never rebuilt. Nothing is ever written through a missing device buffer: a failed create
// or lock keeps the device buffer the buffer had (none, or the previous upload) and the pending
// vertices for a later finalise. Without a device only the pending vertices are collected.
#pragma once

#include "platform/d3d9/Direct3DDevice9.h"

#include <cstdint>
#include <vector>

class ZCorvane;

class ZVertexBuffer {
 public:
  // An empty vertex buffer of the given format for engine (borrowed); format 0 with
  // isIndexBuffer set by the engine makes an index buffer.
  ZVertexBuffer(ZCorvane* engine, uint32_t format) : owner(engine), fvf(format) {}
  // Releases the device buffer (vertex or index) and the pending vertices.
  virtual ~ZVertexBuffer();
  ZVertexBuffer(const ZVertexBuffer&) = delete;
  ZVertexBuffer& operator=(const ZVertexBuffer&) = delete;

  // Appends one vertex record of size bytes; stride becomes size. False (nothing appended) for a
  // closed buffer, an index buffer, size <= 0, or a size other than the records already held.
  bool addVertex(const void* bytes, int32_t size);
  // Appends count records of stride bytes each, back to back; false as addVertex.
  bool addVertices(const void* bytes, int32_t recordSize, int32_t count);
  // Vertices appended so far, including those whose source a finalise has freed.
  int32_t vertexCount() const { return appended; }
  // Vertices held by the device buffer (0 before a successful finalise); draws stay below it.
  int32_t deviceVertexCount() const { return deviceBuffer != nullptr ? uploaded : 0; }
  // Overwrites count records from vertex first with bytes (count x stride), in the pending copy
  // and in the device buffer where it holds them. False (nothing written) when the range lies
  // outside the buffer or a device lock fails.
  bool replaceVertices(int32_t first, const void* bytes, int32_t count);
  // Forgets the vertices (indices, for an index buffer) from count on; draws stay below count.
  // A closed buffer keeps what it holds.
  void truncate(int32_t count);
  // Copies the pending vertices into a new device buffer, which replaces an older one (a closed
  // buffer is left as it is); with freeSource the pending copy is then freed and the buffer
  // closed. A failed create or lock logs its line and changes nothing else.
  void finalise(bool freeSource);
  // Makes this buffer the device's stream 0 (vertex buffer) or index source, unless it is
  // already the engine's current one. Nothing without a device buffer.
  void bind();

  ZCorvane* owner;  // borrowed
  uint32_t fvf;     // 0 for an index buffer
  std::vector<uint8_t> pendingVertices;  // appended records, back to back
  IDirect3DVertexBuffer9* deviceBuffer = nullptr;                  // owned reference
  int32_t stride = 0;                                              // bytes per vertex
  IDirect3DVertexDeclaration9* declaration = nullptr;              // the engine's, borrowed
  IDirect3DIndexBuffer9* deviceIndexBuffer = nullptr;              // owned reference
  bool isIndexBuffer = false;
  uint32_t usedIndices = 0;  // indices handed out (index buffers)
  bool closed = false;       // takes no further meshes and is not rebuilt

 private:
  int32_t appended = 0;  // records appended, kept when the pending copy is freed
  int32_t uploaded = 0;  // records in deviceBuffer
};
