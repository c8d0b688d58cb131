#include "platform/d3d9/Direct3DDevice9.h"

#include "platform/gl/GLContext.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kMaxTextureSize = 16384;

D3DMATRIX identity() {
  D3DMATRIX m{};
  m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1;
  return m;
}

DWORD floatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

template <typename T>
void replace(T*& slot, T* value) {
  if (value) value->AddRef();
  if (slot) slot->Release();
  slot = value;
}

bool validPrimitive(D3DPRIMITIVETYPE type) {
  return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

}  // namespace

IDirect3DDevice9::IDirect3DDevice9(GLContext* context, const D3DPRESENT_PARAMETERS& parameters)
    : glContext(context), hasAutoDepth(parameters.EnableAutoDepthStencil != 0) {
  const UINT w = static_cast<UINT>(context->width()), h = static_cast<UINT>(context->height());
  backBuffer = new IDirect3DSurface9(this, IDirect3DSurface9::Kind::BackBuffer, w, h,
                                     D3DFMT_X8R8G8B8);
  autoDepth =
      new IDirect3DSurface9(this, IDirect3DSurface9::Kind::AutoDepth, w, h, D3DFMT_D24S8);
  replace(renderTarget, backBuffer);
  if (hasAutoDepth) replace(depthStencil, autoDepth);
  glGenFramebuffers(1, &targetFramebuffer);

  const uint8_t white[4] = {255, 255, 255, 255};
  glGenTextures(1, &whiteTexture);
  glBindTexture(GL_TEXTURE_2D, whiteTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);

  // Lighting in eye space with a separate specular sum, as the fixed-function pipeline it mimics.
  glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
  setDefaults();
}

IDirect3DDevice9::~IDirect3DDevice9() {
  for (Stage& stage : stages) replace(stage.texture, static_cast<IDirect3DBaseTexture9*>(nullptr));
  replace(declaration, static_cast<IDirect3DVertexDeclaration9*>(nullptr));
  replace(streamBuffer, static_cast<IDirect3DVertexBuffer9*>(nullptr));
  replace(indexBuffer, static_cast<IDirect3DIndexBuffer9*>(nullptr));
  replace(renderTarget, static_cast<IDirect3DSurface9*>(nullptr));
  replace(depthStencil, static_cast<IDirect3DSurface9*>(nullptr));
  backBuffer->Release();
  autoDepth->Release();
  glDeleteFramebuffers(1, &targetFramebuffer);
  glDeleteTextures(1, &whiteTexture);
}

UINT IDirect3DDevice9::Release() {
  const UINT left = --references;
  if (left == 0) delete this;
  return left;
}

void IDirect3DDevice9::setDefaults() {
  auto& rs = renderStates;
  rs[D3DRS_ZENABLE] = hasAutoDepth ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRS_ZWRITEENABLE] = TRUE;
  rs[D3DRS_LASTPIXEL] = TRUE;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
  rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs[D3DRS_CLIPPING] = TRUE;
  rs[D3DRS_LIGHTING] = TRUE;
  rs[D3DRS_COLORVERTEX] = TRUE;
  rs[D3DRS_LOCALVIEWER] = TRUE;
  rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRS_POINTSIZE] = floatBits(1.0f);
  rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
  rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
  rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
  renderStateDirty.fill(true);

  world = view = projection = identity();
  textureTransforms.fill(identity());
  material.Diffuse = material.Ambient = {1, 1, 1, 1};
  for (DWORD i = 0; i < stages.size(); ++i) {
    auto& ts = stages[i].states;
    ts[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ts[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ts[D3DTSS_COLORARG1] = ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_COLORARG2] = ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ts[D3DTSS_COLORARG0] = ts[D3DTSS_ALPHAARG0] = ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    ts[D3DTSS_TEXCOORDINDEX] = i;
    auto& ss = stages[i].samplers;
    ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    ss[D3DSAMP_MAXANISOTROPY] = 1;
  }
  viewport = {0, 0, renderTarget->width(), renderTarget->height(), 0, 1};
}

HRESULT IDirect3DDevice9::GetDeviceCaps(D3DCAPS9* caps) const {
  if (!caps) return D3DERR_INVALIDCALL;
  GLint maxSize = 0, units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  *caps = {};
  caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  caps->MaxTextureWidth = caps->MaxTextureHeight = std::min<DWORD>(DWORD(maxSize), kMaxTextureSize);
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFFF;
  caps->MaxActiveLights = 8;
  caps->MaxSimultaneousTextures = std::min<DWORD>(DWORD(units), 8);
  caps->MaxTextureBlendStages = 8;
  caps->NumSimultaneousRTs = 1;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DTexture9** texture, void*) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  const GLFormat gl = glFormatOf(format);
  if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize ||
      gl.internalFormat == 0 || ((usage & D3DUSAGE_RENDERTARGET) && !gl.renderable)) {
    return D3DERR_INVALIDCALL;
  }
  *texture = new IDirect3DTexture9(this, width, height, levels, usage, format, pool);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateCubeTexture(UINT edge, UINT levels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DCubeTexture9** texture, void*) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  const GLFormat gl = glFormatOf(format);
  if (edge == 0 || edge > kMaxTextureSize || gl.internalFormat == 0 ||
      ((usage & D3DUSAGE_RENDERTARGET) && !gl.renderable)) {
    return D3DERR_INVALIDCALL;
  }
  *texture = new IDirect3DCubeTexture9(this, edge, levels, usage, format, pool);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateVertexBuffer(UINT length, DWORD, DWORD vertexFormat, D3DPOOL,
                                             IDirect3DVertexBuffer9** buffer, void*) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || length > (1u << 30)) return D3DERR_INVALIDCALL;
  *buffer = new IDirect3DVertexBuffer9(this, length, vertexFormat);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateIndexBuffer(UINT length, DWORD, D3DFORMAT format, D3DPOOL,
                                            IDirect3DIndexBuffer9** buffer, void*) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || length > (1u << 30) ||
      (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
    return D3DERR_INVALIDCALL;
  }
  *buffer = new IDirect3DIndexBuffer9(this, length, format);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                    D3DMULTISAMPLE_TYPE multiSample, DWORD,
                                                    BOOL, IDirect3DSurface9** surface, void*) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize ||
      multiSample != D3DMULTISAMPLE_NONE ||
      (format != D3DFMT_D24S8 && format != D3DFMT_D24X8 && format != D3DFMT_D16)) {
    return D3DERR_INVALIDCALL;
  }
  *surface =
      new IDirect3DSurface9(this, IDirect3DSurface9::Kind::DepthStencil, width, height, format);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                      D3DPOOL, IDirect3DSurface9** surface,
                                                      void*) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize ||
      glFormatOf(format).internalFormat == 0 || glFormatOf(format).compressed) {
    return D3DERR_INVALIDCALL;
  }
  *surface =
      new IDirect3DSurface9(this, IDirect3DSurface9::Kind::OffscreenPlain, width, height, format);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                  IDirect3DVertexDeclaration9** result) {
  if (!result) return D3DERR_INVALIDCALL;
  *result = nullptr;
  if (declarationLength(elements) < 0) return D3DERR_INVALIDCALL;
  *result = new IDirect3DVertexDeclaration9(this, elements);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
  count(D3DCall::SetRenderTarget);
  if (index != 0 || !surface) return D3DERR_INVALIDCALL;
  const auto kind = surface->kind();
  if (kind != IDirect3DSurface9::Kind::BackBuffer &&
      !(kind == IDirect3DSurface9::Kind::TextureLevel &&
        (surface->texture()->usage() & D3DUSAGE_RENDERTARGET))) {
    return D3DERR_INVALIDCALL;
  }
  replace(renderTarget, surface);
  viewport = {0, 0, surface->width(), surface->height(), 0, 1};
  targetDirty = viewportDirty = transformsDirty = true;
  renderStateDirty[D3DRS_CULLMODE] = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
  if (index != 0 || !surface) return D3DERR_INVALIDCALL;
  *surface = renderTarget;
  renderTarget->AddRef();
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetDepthStencilSurface(IDirect3DSurface9* surface) {
  count(D3DCall::SetDepthStencilSurface);
  if (surface && surface->kind() != IDirect3DSurface9::Kind::DepthStencil &&
      surface->kind() != IDirect3DSurface9::Kind::AutoDepth) {
    return D3DERR_INVALIDCALL;
  }
  replace(depthStencil, surface);
  targetDirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetDepthStencilSurface(IDirect3DSurface9** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = depthStencil;
  if (!depthStencil) return D3DERR_NOTFOUND;
  depthStencil->AddRef();
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  count(D3DCall::SetRenderState);
  if (state >= kD3DRenderStateCount) return D3DERR_INVALIDCALL;
  if (renderStates[state] != value) {
    renderStates[state] = value;
    renderStateDirty[state] = true;
  }
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const {
  if (!value || state >= kD3DRenderStateCount) return D3DERR_INVALIDCALL;
  *value = renderStates[state];
  return D3D_OK;
}

D3DMATRIX* IDirect3DDevice9::transformOf(D3DTRANSFORMSTATETYPE state) {
  if (state == D3DTS_WORLD) return &world;
  if (state == D3DTS_VIEW) return &view;
  if (state == D3DTS_PROJECTION) return &projection;
  if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
    return &textureTransforms[state - D3DTS_TEXTURE0];
  }
  return nullptr;
}

HRESULT IDirect3DDevice9::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  count(D3DCall::SetTransform);
  D3DMATRIX* slot = transformOf(state);
  if (!matrix || !slot) return D3DERR_INVALIDCALL;
  *slot = *matrix;
  if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
    textureTransformsDirty = true;
  } else {
    transformsDirty = true;
    if (state == D3DTS_VIEW) lightsDirty = true;
  }
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const {
  const D3DMATRIX* slot = const_cast<IDirect3DDevice9*>(this)->transformOf(state);
  if (!matrix || !slot) return D3DERR_INVALIDCALL;
  *matrix = *slot;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetLight(DWORD index, const D3DLIGHT9* light) {
  count(D3DCall::SetLight);
  if (!light || index >= lights.size() || light->Type < D3DLIGHT_POINT ||
      light->Type > D3DLIGHT_DIRECTIONAL) {
    return D3DERR_INVALIDCALL;
  }
  lights[index].light = *light;
  lightsDirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetLight(DWORD index, D3DLIGHT9* light) const {
  if (!light || index >= lights.size()) return D3DERR_INVALIDCALL;
  *light = lights[index].light;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::LightEnable(DWORD index, BOOL enable) {
  count(D3DCall::LightEnable);
  if (index >= lights.size()) return D3DERR_INVALIDCALL;
  lights[index].enabled = enable != 0;
  lightsDirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetLightEnable(DWORD index, BOOL* enable) const {
  if (!enable || index >= lights.size()) return D3DERR_INVALIDCALL;
  *enable = lights[index].enabled ? TRUE : FALSE;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetMaterial(const D3DMATERIAL9* value) {
  count(D3DCall::SetMaterial);
  if (!value) return D3DERR_INVALIDCALL;
  material = *value;
  materialDirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetMaterial(D3DMATERIAL9* value) const {
  if (!value) return D3DERR_INVALIDCALL;
  *value = material;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  count(D3DCall::SetTexture);
  if (stage >= stages.size()) return D3DERR_INVALIDCALL;
  if (stages[stage].texture == texture) return D3D_OK;
  replace(stages[stage].texture, texture);
  stages[stage].dirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) const {
  if (!texture || stage >= stages.size()) return D3DERR_INVALIDCALL;
  *texture = stages[stage].texture;
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                               DWORD value) {
  count(D3DCall::SetTextureStageState);
  if (stage >= stages.size() || type >= kD3DTextureStageStateCount) return D3DERR_INVALIDCALL;
  DWORD& current = stages[stage].states[type];
  if (current == value) return D3D_OK;
  // Stages after the first disabled colour operation are off, so turning one on or off
  // changes every stage after it.
  const bool switched = type == D3DTSS_COLOROP &&
                        (current == D3DTOP_DISABLE) != (value == D3DTOP_DISABLE);
  current = value;
  if (type == D3DTSS_TEXTURETRANSFORMFLAGS) {
    textureTransformsDirty = true;
  } else if (switched) {
    markStagesDirty(stage);
  } else {
    stages[stage].dirty = true;
  }
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                               DWORD* value) const {
  if (!value || stage >= stages.size() || type >= kD3DTextureStageStateCount) {
    return D3DERR_INVALIDCALL;
  }
  *value = stages[stage].states[type];
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  count(D3DCall::SetSamplerState);
  if (sampler >= stages.size() || type >= kD3DSamplerStateCount) return D3DERR_INVALIDCALL;
  const bool filter =
      type == D3DSAMP_MAGFILTER || type == D3DSAMP_MINFILTER || type == D3DSAMP_MIPFILTER;
  if (filter && value > D3DTEXF_ANISOTROPIC) return D3DERR_INVALIDCALL;
  const bool address = type == D3DSAMP_ADDRESSU || type == D3DSAMP_ADDRESSV || type == D3DSAMP_ADDRESSW;
  if (address && (value < D3DTADDRESS_WRAP || value > D3DTADDRESS_MIRRORONCE)) {
    return D3DERR_INVALIDCALL;
  }
  if (stages[sampler].samplers[type] != value) {
    stages[sampler].samplers[type] = value;
    stages[sampler].dirty = true;
  }
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                                          DWORD* value) const {
  if (!value || sampler >= stages.size() || type >= kD3DSamplerStateCount) {
    return D3DERR_INVALIDCALL;
  }
  *value = stages[sampler].samplers[type];
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetViewport(const D3DVIEWPORT9* value) {
  count(D3DCall::SetViewport);
  if (!value || value->Width == 0 || value->Height == 0 ||
      value->X + value->Width > renderTarget->width() ||
      value->Y + value->Height > renderTarget->height()) {
    return D3DERR_INVALIDCALL;
  }
  viewport = *value;
  viewportDirty = transformsDirty = true;  // pre-transformed vertices map to the viewport
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetViewport(D3DVIEWPORT9* value) const {
  if (!value) return D3DERR_INVALIDCALL;
  *value = viewport;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetScissorRect(const RECT* rect) {
  count(D3DCall::SetScissorRect);
  if (!rect || rect->left > rect->right || rect->top > rect->bottom) return D3DERR_INVALIDCALL;
  scissor = *rect;
  viewportDirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetFVF(DWORD value) {
  count(D3DCall::SetFVF);
  const VertexLayout layout = VertexLayout::fromFVF(value);
  if (layout.stride == 0) return D3DERR_INVALIDCALL;
  fvf = value;
  fvfLayout = layout;
  useDeclaration = false;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetFVF(DWORD* value) const {
  if (!value) return D3DERR_INVALIDCALL;
  *value = useDeclaration ? 0 : fvf;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetVertexDeclaration(IDirect3DVertexDeclaration9* value) {
  count(D3DCall::SetVertexDeclaration);
  if (!value) return D3DERR_INVALIDCALL;
  replace(declaration, value);
  useDeclaration = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                          UINT stride) {
  count(D3DCall::SetStreamSource);
  if (stream != 0 || (buffer && offset > buffer->length())) return D3DERR_INVALIDCALL;
  replace(streamBuffer, buffer);
  streamOffset = offset;
  streamStride = stride;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::SetIndices(IDirect3DIndexBuffer9* buffer) {
  count(D3DCall::SetIndices);
  replace(indexBuffer, buffer);
  return D3D_OK;
}

HRESULT IDirect3DDevice9::BeginScene() {
  count(D3DCall::BeginScene);
  if (inScene) return D3DERR_INVALIDCALL;
  inScene = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::EndScene() {
  count(D3DCall::EndScene);
  if (!inScene) return D3DERR_INVALIDCALL;
  inScene = false;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::Present(const RECT*, const RECT*, HWND, const void*) {
  count(D3DCall::Present);
  if (inScene) return D3DERR_INVALIDCALL;
  return glContext->present() ? D3D_OK : D3DERR_DEVICELOST;
}

const VertexLayout& IDirect3DDevice9::currentLayout() const {
  return useDeclaration && declaration ? declaration->layout() : fvfLayout;
}

HRESULT IDirect3DDevice9::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex,
                                        UINT primitiveCount) {
  count(D3DCall::DrawPrimitive);
  const VertexLayout& layout = currentLayout();
  if (!validPrimitive(type) || !streamBuffer || layout.stride == 0) return D3DERR_INVALIDCALL;
  VertexLayout streamed = layout;
  if (streamStride) streamed.stride = static_cast<int>(streamStride);
  // GL reads buffers unchecked: a draw must stay inside the bound buffer.
  const uint64_t end = streamOffset + (uint64_t(startVertex) +
                                       primitiveVertexCount(type, primitiveCount)) * streamed.stride;
  if (end > streamBuffer->length()) return D3DERR_INVALIDCALL;
  glBindBuffer(GL_ARRAY_BUFFER, streamBuffer->glName());
  const size_t offset = size_t(streamOffset) + size_t(startVertex) * streamed.stride;
  return draw(type, primitiveCount, streamed, reinterpret_cast<const uint8_t*>(offset), nullptr,
              D3DFMT_UNKNOWN);
}

HRESULT IDirect3DDevice9::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int baseVertex,
                                               UINT minIndex, UINT vertexCount, UINT startIndex,
                                               UINT primitiveCount) {
  count(D3DCall::DrawIndexedPrimitive);
  const VertexLayout& layout = currentLayout();
  if (!validPrimitive(type) || !streamBuffer || !indexBuffer || layout.stride == 0 ||
      baseVertex < 0) {
    return D3DERR_INVALIDCALL;
  }
  VertexLayout streamed = layout;
  if (streamStride) streamed.stride = static_cast<int>(streamStride);
  // GL reads buffers unchecked: the indices and the vertex range the caller names must lie
  // inside the bound buffers.
  const uint64_t indexBytes = indexBuffer->indexFormat() == D3DFMT_INDEX32 ? 4 : 2;
  const uint64_t indexEnd =
      (uint64_t(startIndex) + primitiveVertexCount(type, primitiveCount)) * indexBytes;
  const uint64_t vertexEnd =
      streamOffset + (uint64_t(baseVertex) + minIndex + vertexCount) * uint64_t(streamed.stride);
  if (indexEnd > indexBuffer->length() || vertexEnd > streamBuffer->length()) {
    return D3DERR_INVALIDCALL;
  }
  // The base vertex moves the attribute pointers, which GL 2.1 can do without base-vertex draws.
  glBindBuffer(GL_ARRAY_BUFFER, streamBuffer->glName());
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer->glName());
  const size_t vertexOffset = size_t(streamOffset) + size_t(baseVertex) * streamed.stride;
  const size_t indexSize = indexBuffer->indexFormat() == D3DFMT_INDEX32 ? 4 : 2;
  const HRESULT result =
      draw(type, primitiveCount, streamed, reinterpret_cast<const uint8_t*>(vertexOffset),
           reinterpret_cast<const void*>(size_t(startIndex) * indexSize),
           indexBuffer->indexFormat());
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  return result;
}

HRESULT IDirect3DDevice9::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount,
                                          const void* vertices, UINT stride) {
  count(D3DCall::DrawPrimitiveUP);
  VertexLayout layout = currentLayout();
  if (!validPrimitive(type) || !vertices || layout.stride == 0) return D3DERR_INVALIDCALL;
  layout.stride = static_cast<int>(stride);
  // Drawing from user memory unbinds stream 0, as on the original platform.
  replace(streamBuffer, static_cast<IDirect3DVertexBuffer9*>(nullptr));
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  return draw(type, primitiveCount, layout, static_cast<const uint8_t*>(vertices), nullptr,
              D3DFMT_UNKNOWN);
}

HRESULT IDirect3DDevice9::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT, UINT,
                                                 UINT primitiveCount, const void* indices,
                                                 D3DFORMAT indexFormat, const void* vertices,
                                                 UINT stride) {
  count(D3DCall::DrawIndexedPrimitiveUP);
  VertexLayout layout = currentLayout();
  if (!validPrimitive(type) || !vertices || !indices || layout.stride == 0 ||
      (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)) {
    return D3DERR_INVALIDCALL;
  }
  layout.stride = static_cast<int>(stride);
  replace(streamBuffer, static_cast<IDirect3DVertexBuffer9*>(nullptr));
  replace(indexBuffer, static_cast<IDirect3DIndexBuffer9*>(nullptr));
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  return draw(type, primitiveCount, layout, static_cast<const uint8_t*>(vertices), indices,
              indexFormat);
}
