// The Direct3D 9 device over a current OpenGL 2.1 compatibility context: fixed-function states,
// transforms, lights and material, eight texture stages with their combiners, samplers, vertex
// formats and declarations, buffers, textures, render targets, drawing and presentation. It keeps
// a shadow copy of every state and sends GL only what a draw needs; the states themselves are
// recorded at once, so Get* returns what was set.
//
// Conventions: matrices are D3D's row-major row-vector matrices (loaded into GL unchanged, which
// GL reads as the transpose); the projection's depth 0..1 is mapped to GL's -1..1; screen y runs
// down; rendering into a texture target is flipped vertically so that its rows are stored top row
// first like every other texture.
//
// Every method counts its calls (callCount), so callers can prove they send no redundant state.
//
// Supported: everything declared here. Not supported (not declared; the engine does not call
// them): vertex and pixel shader objects and their constants (effects use GLSL programs), more
// than one vertex stream, StretchRect, UpdateSurface, UpdateTexture, ColorFill, clip planes,
// palettes, patches, ProcessVertices, Reset, swap chains, queries, volume textures. Accepted but
// without effect: fog states, dithering, D3DRS_CLIPPING, D3DRS_LASTPIXEL, vertex blending,
// D3DTA_SPECULAR and D3DTA_TEMP arguments, D3DTOP_BUMPENVMAP*, D3DTOP_MULTIPLYADD (drawn as ADD).
#pragma once

#include "platform/d3d9/Direct3DBuffer9.h"
#include "platform/d3d9/Direct3DSurface9.h"
#include "platform/d3d9/Direct3DTexture9.h"
#include "platform/d3d9/VertexLayout.h"
#include "platform/d3d9/d3d9types.h"

#include <array>
#include <cstdint>

class GLContext;

// Methods whose calls are counted.
enum class D3DCall : int {
  SetRenderState,
  SetTransform,
  SetLight,
  LightEnable,
  SetMaterial,
  SetTexture,
  SetTextureStageState,
  SetSamplerState,
  SetFVF,
  SetVertexDeclaration,
  SetStreamSource,
  SetIndices,
  SetViewport,
  SetScissorRect,
  SetRenderTarget,
  SetDepthStencilSurface,
  Clear,
  BeginScene,
  EndScene,
  Present,
  DrawPrimitive,
  DrawIndexedPrimitive,
  DrawPrimitiveUP,
  DrawIndexedPrimitiveUP,
  Count
};

class IDirect3DDevice9 {
 public:
  // A device drawing into the context's back buffer; the context must be current. Use
  // IDirect3D9::CreateDevice.
  IDirect3DDevice9(GLContext* context, const D3DPRESENT_PARAMETERS& parameters);
  IDirect3DDevice9(const IDirect3DDevice9&) = delete;
  IDirect3DDevice9& operator=(const IDirect3DDevice9&) = delete;

  UINT AddRef() { return ++references; }
  UINT Release();

  HRESULT GetDeviceCaps(D3DCAPS9* caps) const;

  // Resources (pool and shared-handle arguments kept for the call shape).
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture, void* shared);
  HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DCubeTexture9** texture, void* shared);
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer9** buffer, void* shared);
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer9** buffer, void* shared);
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                    D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                    IDirect3DSurface9** surface, void* shared);
  HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DSurface9** surface, void* shared);
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** declaration);

  // Render targets. Setting render target 0 also resets the viewport to its size.
  HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface);
  HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface);
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface);
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface);
  // Copies a render target's pixels into an off-screen plain surface of the same size and format.
  HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination);

  // States.
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const;
  HRESULT SetLight(DWORD index, const D3DLIGHT9* light);
  HRESULT GetLight(DWORD index, D3DLIGHT9* light) const;
  HRESULT LightEnable(DWORD index, BOOL enable);
  HRESULT GetLightEnable(DWORD index, BOOL* enable) const;
  HRESULT SetMaterial(const D3DMATERIAL9* material);
  HRESULT GetMaterial(D3DMATERIAL9* material) const;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture);
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) const;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) const;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport);
  HRESULT GetViewport(D3DVIEWPORT9* viewport) const;
  HRESULT SetScissorRect(const RECT* rect);

  // Vertex input (stream 0 only).
  HRESULT SetFVF(DWORD fvf);
  HRESULT GetFVF(DWORD* fvf) const;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride);
  HRESULT SetIndices(IDirect3DIndexBuffer9* buffer);

  // Frames and drawing. Clear works on the viewport (or the given rectangles within it) and
  // ignores the write masks, as on the original platform.
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                DWORD stencil);
  HRESULT BeginScene();
  HRESULT EndScene();
  HRESULT Present(const RECT* source, const RECT* destination, HWND window, const void* dirty);
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount);
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int baseVertex, UINT minIndex,
                               UINT vertexCount, UINT startIndex, UINT primitiveCount);
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                          UINT stride);
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                                 UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                 const void* vertices, UINT stride);

  // Calls received per method since creation or the last reset.
  uint64_t callCount(D3DCall call) const { return calls[static_cast<int>(call)]; }
  void resetCallCounts() { calls.fill(0); }

  // For effects: a GLSL program in use replaces the fixed-function stages and lighting; vertex
  // data then reaches it through the built-in attributes (gl_Vertex, gl_Normal,
  // gl_MultiTexCoordN for texture coordinate set N, gl_Color).
  void setProgramActive(bool active) {
    if (active != programActive) markStagesDirty(0);
    programActive = active;
  }
  GLContext* context() const { return glContext; }

 private:
  ~IDirect3DDevice9();

  struct Light {
    D3DLIGHT9 light{};
    bool enabled = false;
  };
  struct Stage {
    std::array<DWORD, kD3DTextureStageStateCount> states{};
    std::array<DWORD, kD3DSamplerStateCount> samplers{};
    IDirect3DBaseTexture9* texture = nullptr;
    bool dirty = true;  // changed since GL last received it
  };

  void count(D3DCall call) { ++calls[static_cast<int>(call)]; }
  void setDefaults();
  bool flipped() const;
  void bindTarget();
  void applyViewport();
  // glScissor from the scissor rectangle, in the bound target's rows.
  void applyScissor();
  void applyRenderStates();
  void applyRenderState(D3DRENDERSTATETYPE state, DWORD value);
  void applyTransformsAndLights(const VertexLayout& layout);
  void placeLights();
  void markStagesDirty(size_t firstStage);
  void applyStages();
  void applyStage(int unit, bool active);
  IDirect3DBaseTexture9::SamplerParams samplerParams(int stage) const;
  bool samplerStale(int stage) const;
  void applySampler(int stage, IDirect3DBaseTexture9* texture);
  void applyColorMaterial(const VertexLayout& layout);
  const VertexLayout& currentLayout() const;
  // The matrix a transform state names; null for an unknown state.
  D3DMATRIX* transformOf(D3DTRANSFORMSTATETYPE state);
  void bindVertexArrays(const VertexLayout& layout, const uint8_t* base);
  void unbindVertexArrays();
  HRESULT draw(D3DPRIMITIVETYPE type, UINT primitiveCount, const VertexLayout& layout,
               const uint8_t* vertexBase, const void* indices, D3DFORMAT indexFormat);

  GLContext* glContext;
  UINT references = 1;
  std::array<uint64_t, static_cast<int>(D3DCall::Count)> calls{};

  std::array<DWORD, kD3DRenderStateCount> renderStates{};
  std::array<bool, kD3DRenderStateCount> renderStateDirty{};
  D3DMATRIX world{}, view{}, projection{};
  std::array<D3DMATRIX, 8> textureTransforms{};
  bool transformsDirty = true;         // world, view, projection or the target's flip
  bool lightsDirty = true;             // lights or the view they are placed with
  bool textureTransformsDirty = true;  // texture matrices or their flags
  std::array<Light, 8> lights;
  D3DMATERIAL9 material{};
  bool materialDirty = true;
  std::array<Stage, 8> stages;
  D3DVIEWPORT9 viewport{};
  RECT scissor{};
  bool viewportDirty = true;

  DWORD fvf = 0;
  VertexLayout fvfLayout;
  IDirect3DVertexDeclaration9* declaration = nullptr;
  bool useDeclaration = false;
  IDirect3DVertexBuffer9* streamBuffer = nullptr;
  UINT streamOffset = 0;
  UINT streamStride = 0;
  IDirect3DIndexBuffer9* indexBuffer = nullptr;

  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* autoDepth = nullptr;
  IDirect3DSurface9* renderTarget = nullptr;
  IDirect3DSurface9* depthStencil = nullptr;
  bool targetDirty = true;
  uint32_t targetFramebuffer = 0;
  uint32_t whiteTexture = 0;  // bound to stages that combine without a texture
  bool inScene = false;
  bool programActive = false;
  bool hasAutoDepth = false;
};
