// The GL half of IDirect3DDevice9: turns the recorded D3D state into GL state when something is
// drawn or cleared.
#include "platform/d3d9/Direct3DDevice9.h"

#include "platform/gl/GLContext.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

namespace {

GLenum compareFunction(DWORD value) {
  static constexpr GLenum kFunctions[] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                          GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return value >= D3DCMP_NEVER && value <= D3DCMP_ALWAYS ? kFunctions[value - 1] : GL_ALWAYS;
}

GLenum blendFactor(DWORD value) {
  switch (value) {
    case D3DBLEND_ZERO:
      return GL_ZERO;
    case D3DBLEND_SRCCOLOR:
      return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
      return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
    case D3DBLEND_BOTHSRCALPHA:
      return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
    case D3DBLEND_BOTHINVSRCALPHA:
      return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
      return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
      return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
      return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
      return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
      return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
      return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
      return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
      return GL_ONE;
  }
}

// The destination half of the two "both" factors is the source factor's complement.
GLenum destinationFactor(DWORD source, DWORD destination) {
  if (source == D3DBLEND_BOTHSRCALPHA) return GL_ONE_MINUS_SRC_ALPHA;
  if (source == D3DBLEND_BOTHINVSRCALPHA) return GL_SRC_ALPHA;
  return blendFactor(destination);
}

GLenum blendEquation(DWORD value) {
  static constexpr GLenum kEquations[] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT,
                                          GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
  return value >= D3DBLENDOP_ADD && value <= D3DBLENDOP_MAX ? kEquations[value - 1] : GL_FUNC_ADD;
}

GLenum stencilOperation(DWORD value) {
  static constexpr GLenum kOperations[] = {GL_KEEP, GL_ZERO,   GL_REPLACE,   GL_INCR,
                                           GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
  return value >= D3DSTENCILOP_KEEP && value <= D3DSTENCILOP_DECR ? kOperations[value - 1]
                                                                   : GL_KEEP;
}

GLenum wrapMode(DWORD value) {
  switch (value) {
    case D3DTADDRESS_MIRROR:
    case D3DTADDRESS_MIRRORONCE:
      return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
      return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
      return GL_CLAMP_TO_BORDER;
    default:
      return GL_REPEAT;
  }
}

GLenum minifyFilter(DWORD min, DWORD mip) {
  const bool linear = min >= D3DTEXF_LINEAR;
  if (mip == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;
  if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

void colourOf(D3DCOLOR c, float out[4]) {
  out[0] = float((c >> 16) & 0xFF) / 255.0f;
  out[1] = float((c >> 8) & 0xFF) / 255.0f;
  out[2] = float(c & 0xFF) / 255.0f;
  out[3] = float(c >> 24) / 255.0f;
}

float floatOf(DWORD bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void enable(GLenum capability, bool on) { on ? glEnable(capability) : glDisable(capability); }

// One texture-stage argument as a combiner source and operand.
struct CombinerArgument {
  GLenum source;
  GLenum operand;
};

CombinerArgument combinerArgument(DWORD argument, bool alphaChannel) {
  GLenum source = GL_PREVIOUS;
  switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_SPECULAR:
      source = GL_PRIMARY_COLOR;
      break;
    case D3DTA_TEXTURE:
      source = GL_TEXTURE;
      break;
    case D3DTA_TFACTOR:
    case D3DTA_CONSTANT:
      source = GL_CONSTANT;
      break;
    default:
      break;
  }
  const bool complement = argument & D3DTA_COMPLEMENT;
  const bool alpha = alphaChannel || (argument & D3DTA_ALPHAREPLICATE);
  const GLenum operand = alpha ? (complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA)
                               : (complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR);
  return {source, operand};
}

// Sets one channel (colour or alpha) of a unit's combiner from a D3D stage operation.
void setCombiner(bool alphaChannel, DWORD op, DWORD arg0, DWORD arg1, DWORD arg2) {
  const GLenum modeName = alphaChannel ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
  const GLenum scaleName = alphaChannel ? GL_ALPHA_SCALE : GL_RGB_SCALE;
  const GLenum sourceNames[3] = {GLenum(alphaChannel ? GL_SRC0_ALPHA : GL_SRC0_RGB),
                                 GLenum(alphaChannel ? GL_SRC1_ALPHA : GL_SRC1_RGB),
                                 GLenum(alphaChannel ? GL_SRC2_ALPHA : GL_SRC2_RGB)};
  const GLenum operandNames[3] = {GLenum(alphaChannel ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB),
                                  GLenum(alphaChannel ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB),
                                  GLenum(alphaChannel ? GL_OPERAND2_ALPHA : GL_OPERAND2_RGB)};
  GLenum mode = GL_MODULATE;
  float scale = 1;
  CombinerArgument args[3] = {combinerArgument(arg1, alphaChannel),
                              combinerArgument(arg2, alphaChannel),
                              {GL_PREVIOUS, GL_SRC_ALPHA}};
  const GLenum alphaOperand = GL_SRC_ALPHA;
  switch (op) {
    case D3DTOP_DISABLE:  // only reached for alpha: pass the previous alpha through
      mode = GL_REPLACE;
      args[0] = {GL_PREVIOUS, alphaChannel ? GLenum(GL_SRC_ALPHA) : GLenum(GL_SRC_COLOR)};
      break;
    case D3DTOP_SELECTARG1:
      mode = GL_REPLACE;
      break;
    case D3DTOP_SELECTARG2:
      mode = GL_REPLACE;
      args[0] = args[1];
      break;
    case D3DTOP_MODULATE2X:
      scale = 2;
      break;
    case D3DTOP_MODULATE4X:
      scale = 4;
      break;
    case D3DTOP_ADD:
    case D3DTOP_ADDSMOOTH:
    case D3DTOP_MULTIPLYADD:
      mode = GL_ADD;
      break;
    case D3DTOP_ADDSIGNED:
      mode = GL_ADD_SIGNED;
      break;
    case D3DTOP_ADDSIGNED2X:
      mode = GL_ADD_SIGNED;
      scale = 2;
      break;
    case D3DTOP_SUBTRACT:
      mode = GL_SUBTRACT;
      break;
    case D3DTOP_BLENDDIFFUSEALPHA:
      mode = GL_INTERPOLATE;
      args[2] = {GL_PRIMARY_COLOR, alphaOperand};
      break;
    case D3DTOP_BLENDTEXTUREALPHA:
    case D3DTOP_BLENDTEXTUREALPHAPM:
      mode = GL_INTERPOLATE;
      args[2] = {GL_TEXTURE, alphaOperand};
      break;
    case D3DTOP_BLENDFACTORALPHA:
      mode = GL_INTERPOLATE;
      args[2] = {GL_CONSTANT, alphaOperand};
      break;
    case D3DTOP_BLENDCURRENTALPHA:
      mode = GL_INTERPOLATE;
      args[2] = {GL_PREVIOUS, alphaOperand};
      break;
    case D3DTOP_DOTPRODUCT3:
      mode = alphaChannel ? GL_REPLACE : GL_DOT3_RGBA;
      break;
    case D3DTOP_LERP:
      mode = GL_INTERPOLATE;
      args[2] = combinerArgument(arg0, alphaChannel);
      break;
    default:  // MODULATE and the operations drawn as MODULATE
      break;
  }
  glTexEnvi(GL_TEXTURE_ENV, modeName, static_cast<GLint>(mode));
  glTexEnvf(GL_TEXTURE_ENV, scaleName, scale);
  for (int i = 0; i < 3; ++i) {
    glTexEnvi(GL_TEXTURE_ENV, sourceNames[i], static_cast<GLint>(args[i].source));
    glTexEnvi(GL_TEXTURE_ENV, operandNames[i], static_cast<GLint>(args[i].operand));
  }
}

void setTexCoordGeneration(DWORD texCoordIndex) {
  const DWORD mode = texCoordIndex & 0xFFFF0000u;
  GLint generate = 0;
  if (mode == D3DTSS_TCI_SPHEREMAP) generate = GL_SPHERE_MAP;
  if (mode == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR) generate = GL_REFLECTION_MAP;
  if (mode == D3DTSS_TCI_CAMERASPACENORMAL) generate = GL_NORMAL_MAP;
  if (mode == D3DTSS_TCI_CAMERASPACEPOSITION) {
    generate = GL_EYE_LINEAR;
    // Eye planes are taken through the modelview current when they are set: use identity.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float planes[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    glTexGenfv(GL_S, GL_EYE_PLANE, planes[0]);
    glTexGenfv(GL_T, GL_EYE_PLANE, planes[1]);
    glTexGenfv(GL_R, GL_EYE_PLANE, planes[2]);
    glPopMatrix();
  }
  const bool threeComponents = generate != 0 && generate != GL_SPHERE_MAP;
  for (GLenum coordinate : {GL_S, GL_T, GL_R}) {
    const GLenum capability = coordinate == GL_S   ? GL_TEXTURE_GEN_S
                              : coordinate == GL_T ? GL_TEXTURE_GEN_T
                                                   : GL_TEXTURE_GEN_R;
    const bool on = generate != 0 && (coordinate != GL_R || threeComponents);
    if (on) glTexGeni(coordinate, GL_TEXTURE_GEN_MODE, generate);
    enable(capability, on);
  }
}

// D3D applies a texture transform to (u, v, 1) for two-component coordinates, so a 2D
// translation sits in the third row; GL's (s, t, 0, 1) needs it in the fourth.
void loadTextureMatrix(const D3DMATRIX& matrix, DWORD flags) {
  glMatrixMode(GL_TEXTURE);
  if ((flags & 0xFF) == D3DTTFF_DISABLE) {
    glLoadIdentity();
  } else if ((flags & 0xFF) == D3DTTFF_COUNT2) {
    D3DMATRIX m = matrix;
    for (int column = 0; column < 4; ++column) {
      m.m[12 + column] = matrix.m[8 + column];
      m.m[8 + column] = column == 2 ? 1.0f : 0.0f;
    }
    glLoadMatrixf(m.m);
  } else {
    glLoadMatrixf(matrix.m);
  }
  glMatrixMode(GL_MODELVIEW);
}

GLenum primitiveMode(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST:
      return GL_POINTS;
    case D3DPT_LINELIST:
      return GL_LINES;
    case D3DPT_LINESTRIP:
      return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
      return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
      return GL_TRIANGLE_FAN;
    default:
      return GL_TRIANGLES;
  }
}

}  // namespace

bool IDirect3DDevice9::flipped() const {
  return renderTarget->kind() == IDirect3DSurface9::Kind::TextureLevel;
}

void IDirect3DDevice9::bindTarget() {
  if (!targetDirty) return;
  targetDirty = false;
  if (!flipped()) {
    glBindFramebuffer(GL_FRAMEBUFFER, glContext->backBufferFramebuffer());
    return;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
  IDirect3DBaseTexture9* texture = renderTarget->texture();
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                         texture->faceTarget(renderTarget->face()), texture->glName(),
                         static_cast<GLint>(renderTarget->level()));
  const bool ownDepth =
      depthStencil && depthStencil->kind() == IDirect3DSurface9::Kind::DepthStencil;
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                            ownDepth ? depthStencil->renderbuffer() : 0);
}

void IDirect3DDevice9::applyViewport() {
  if (!viewportDirty) return;
  viewportDirty = false;
  const long targetHeight = long(renderTarget->height());
  const auto windowY = [&](long top, long height) {
    return flipped() ? top : targetHeight - top - height;
  };
  glViewport(GLint(viewport.X), GLint(windowY(long(viewport.Y), long(viewport.Height))),
             GLsizei(viewport.Width), GLsizei(viewport.Height));
  glDepthRange(viewport.MinZ, viewport.MaxZ);
  applyScissor();
}

void IDirect3DDevice9::applyScissor() {
  const long height = scissor.bottom - scissor.top;
  const long y = flipped() ? scissor.top : long(renderTarget->height()) - scissor.top - height;
  glScissor(GLint(scissor.left), GLint(y), GLsizei(scissor.right - scissor.left), GLsizei(height));
}

void IDirect3DDevice9::applyRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  const auto& rs = renderStates;
  switch (state) {
    case D3DRS_ZENABLE:
      enable(GL_DEPTH_TEST, value != D3DZB_FALSE);
      break;
    case D3DRS_FILLMODE:
      glPolygonMode(GL_FRONT_AND_BACK, value == D3DFILL_POINT       ? GL_POINT
                                       : value == D3DFILL_WIREFRAME ? GL_LINE
                                                                    : GL_FILL);
      break;
    case D3DRS_SHADEMODE:
      glShadeModel(value == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH);
      break;
    case D3DRS_ZWRITEENABLE:
      glDepthMask(value ? GL_TRUE : GL_FALSE);
      break;
    case D3DRS_ALPHATESTENABLE:
      enable(GL_ALPHA_TEST, value != 0);
      break;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_SRCBLENDALPHA:
    case D3DRS_DESTBLENDALPHA:
    case D3DRS_SEPARATEALPHABLENDENABLE: {
      const bool separate = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
      const DWORD srcAlpha = separate ? rs[D3DRS_SRCBLENDALPHA] : rs[D3DRS_SRCBLEND];
      const DWORD destAlpha = separate ? rs[D3DRS_DESTBLENDALPHA] : rs[D3DRS_DESTBLEND];
      glBlendFuncSeparate(blendFactor(rs[D3DRS_SRCBLEND]),
                          destinationFactor(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND]),
                          blendFactor(srcAlpha), destinationFactor(srcAlpha, destAlpha));
      break;
    }
    case D3DRS_CULLMODE: {
      enable(GL_CULL_FACE, value == D3DCULL_CW || value == D3DCULL_CCW);
      // D3D culls by the winding seen on screen; flipping y for texture targets mirrors it.
      const bool cullCounterClockwise = (value == D3DCULL_CCW) != flipped();
      glCullFace(GL_BACK);
      glFrontFace(cullCounterClockwise ? GL_CW : GL_CCW);
      break;
    }
    case D3DRS_ZFUNC:
      glDepthFunc(compareFunction(value));
      break;
    case D3DRS_ALPHAREF:
    case D3DRS_ALPHAFUNC:
      glAlphaFunc(compareFunction(rs[D3DRS_ALPHAFUNC]), float(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
      break;
    case D3DRS_ALPHABLENDENABLE:
      enable(GL_BLEND, value != 0);
      break;
    case D3DRS_SPECULARENABLE:
      materialDirty = true;
      break;
    case D3DRS_STENCILENABLE:
      enable(GL_STENCIL_TEST, value != 0);
      break;
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
      glStencilOp(stencilOperation(rs[D3DRS_STENCILFAIL]), stencilOperation(rs[D3DRS_STENCILZFAIL]),
                  stencilOperation(rs[D3DRS_STENCILPASS]));
      break;
    case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
      glStencilFunc(compareFunction(rs[D3DRS_STENCILFUNC]), GLint(rs[D3DRS_STENCILREF]),
                    rs[D3DRS_STENCILMASK]);
      break;
    case D3DRS_STENCILWRITEMASK:
      glStencilMask(value);
      break;
    case D3DRS_AMBIENT: {
      float colour[4];
      colourOf(value, colour);
      glLightModelfv(GL_LIGHT_MODEL_AMBIENT, colour);
      break;
    }
    case D3DRS_LOCALVIEWER:
      glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, value ? 1 : 0);
      break;
    case D3DRS_NORMALIZENORMALS:
      enable(GL_NORMALIZE, value != 0);
      break;
    case D3DRS_MULTISAMPLEANTIALIAS:
      enable(GL_MULTISAMPLE, value != 0);
      break;
    case D3DRS_COLORWRITEENABLE:
      glColorMask(value & D3DCOLORWRITEENABLE_RED ? GL_TRUE : GL_FALSE,
                  value & D3DCOLORWRITEENABLE_GREEN ? GL_TRUE : GL_FALSE,
                  value & D3DCOLORWRITEENABLE_BLUE ? GL_TRUE : GL_FALSE,
                  value & D3DCOLORWRITEENABLE_ALPHA ? GL_TRUE : GL_FALSE);
      break;
    case D3DRS_BLENDOP:
    case D3DRS_BLENDOPALPHA:
      glBlendEquationSeparate(blendEquation(rs[D3DRS_BLENDOP]),
                              blendEquation(rs[D3DRS_SEPARATEALPHABLENDENABLE]
                                                ? rs[D3DRS_BLENDOPALPHA]
                                                : rs[D3DRS_BLENDOP]));
      break;
    case D3DRS_SCISSORTESTENABLE:
      enable(GL_SCISSOR_TEST, value != 0);
      break;
    case D3DRS_BLENDFACTOR: {
      float colour[4];
      colourOf(value, colour);
      glBlendColor(colour[0], colour[1], colour[2], colour[3]);
      break;
    }
    case D3DRS_POINTSIZE:
      glPointSize(std::max(1.0f, floatOf(value)));
      break;
    case D3DRS_DEPTHBIAS:
    case D3DRS_SLOPESCALEDEPTHBIAS: {
      const float bias = floatOf(rs[D3DRS_DEPTHBIAS]);
      const float slope = floatOf(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
      enable(GL_POLYGON_OFFSET_FILL, bias != 0 || slope != 0);
      glPolygonOffset(slope, bias * 16777215.0f);  // D3D bias is in depth units of 1
      break;
    }
    case D3DRS_TEXTUREFACTOR:
      markStagesDirty(0);  // every combiner's constant colour
      break;
    default:  // the states listed as without effect
      break;
  }
}

void IDirect3DDevice9::applyRenderStates() {
  for (uint32_t state = 0; state < kD3DRenderStateCount; ++state) {
    if (!renderStateDirty[state]) continue;
    renderStateDirty[state] = false;
    applyRenderState(static_cast<D3DRENDERSTATETYPE>(state), renderStates[state]);
  }
}

void IDirect3DDevice9::applyTransformsAndLights(const VertexLayout& layout) {
  if (layout.pretransformed) {
    // Screen positions in pixels of the render target, pixel centres on whole numbers.
    const float w = float(renderTarget->width()), h = float(renderTarget->height());
    D3DMATRIX screen{};
    screen.m[0] = 2 / w;
    screen.m[12] = 1 / w - 1;
    screen.m[5] = flipped() ? 2 / h : -2 / h;
    screen.m[13] = flipped() ? 1 / h - 1 : 1 - 1 / h;
    screen.m[10] = 2;
    screen.m[14] = -1;
    screen.m[15] = 1;
    glViewport(0, 0, GLsizei(w), GLsizei(h));
    glDepthRange(0, 1);
    applyScissor();  // a Clear may have left its own box
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(screen.m);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    transformsDirty = viewportDirty = true;
    return;
  }
  applyViewport();
  if (lightsDirty) {
    lightsDirty = false;
    placeLights();
    transformsDirty = true;  // the modelview now holds only the view
  }
  if (textureTransformsDirty) {
    textureTransformsDirty = false;
    for (int unit = 0; unit < int(stages.size()); ++unit) {
      glActiveTexture(GL_TEXTURE0 + unit);
      loadTextureMatrix(textureTransforms[unit],
                        stages[unit].states[D3DTSS_TEXTURETRANSFORMFLAGS]);
    }
    glActiveTexture(GL_TEXTURE0);
  }
  if (!transformsDirty) return;
  transformsDirty = false;

  // Depth 0..1 becomes GL's -1..1 (z' = 2z - w); texture targets are drawn upside down.
  D3DMATRIX clip = projection;
  for (int row = 0; row < 4; ++row) {
    clip.m[row * 4 + 2] = 2 * projection.m[row * 4 + 2] - projection.m[row * 4 + 3];
    if (flipped()) clip.m[row * 4 + 1] = -projection.m[row * 4 + 1];
  }
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(clip.m);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(view.m);
  glMultMatrixf(world.m);
}

void IDirect3DDevice9::placeLights() {
  // Lights are given in world space: GL takes them through the modelview, so it holds the view.
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(view.m);
  for (int i = 0; i < int(lights.size()); ++i) {
    const GLenum name = GL_LIGHT0 + i;
    enable(name, lights[i].enabled);
    if (!lights[i].enabled) continue;
    const D3DLIGHT9& l = lights[i].light;
    const bool directional = l.Type == D3DLIGHT_DIRECTIONAL;
    const float position[4] = {directional ? -l.Direction.x : l.Position.x,
                               directional ? -l.Direction.y : l.Position.y,
                               directional ? -l.Direction.z : l.Position.z,
                               directional ? 0.0f : 1.0f};
    glLightfv(name, GL_POSITION, position);
    glLightfv(name, GL_DIFFUSE, &l.Diffuse.r);
    glLightfv(name, GL_SPECULAR, &l.Specular.r);
    glLightfv(name, GL_AMBIENT, &l.Ambient.r);
    glLightf(name, GL_CONSTANT_ATTENUATION, directional ? 1.0f : l.Attenuation0);
    glLightf(name, GL_LINEAR_ATTENUATION, directional ? 0.0f : l.Attenuation1);
    glLightf(name, GL_QUADRATIC_ATTENUATION, directional ? 0.0f : l.Attenuation2);
    if (l.Type == D3DLIGHT_SPOT) {
      glLightfv(name, GL_SPOT_DIRECTION, &l.Direction.x);
      glLightf(name, GL_SPOT_CUTOFF, std::clamp(l.Phi * 0.5f * 57.29578f, 0.0f, 90.0f));
      glLightf(name, GL_SPOT_EXPONENT, std::clamp(l.Falloff, 0.0f, 128.0f));
    } else {
      glLightf(name, GL_SPOT_CUTOFF, 180.0f);
    }
  }
}

void IDirect3DDevice9::applyColorMaterial(const VertexLayout& layout) {
  if (materialDirty) {
    materialDirty = false;
    const D3DCOLORVALUE black{0, 0, 0, 1};
    const D3DCOLORVALUE& specular = renderStates[D3DRS_SPECULARENABLE] ? material.Specular : black;
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &material.Diffuse.r);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &material.Ambient.r);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &specular.r);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &material.Emissive.r);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(material.Power, 0.0f, 128.0f));
  }
  const auto& rs = renderStates;
  const bool fromVertex = rs[D3DRS_COLORVERTEX] && layout.diffuse.present;
  const bool diffuse = fromVertex && rs[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
  const bool ambient = fromVertex && rs[D3DRS_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1;
  if (diffuse || ambient) {
    glColorMaterial(GL_FRONT_AND_BACK, diffuse && ambient ? GL_AMBIENT_AND_DIFFUSE
                                       : diffuse          ? GL_DIFFUSE
                                                          : GL_AMBIENT);
    glEnable(GL_COLOR_MATERIAL);
  } else {
    glDisable(GL_COLOR_MATERIAL);
    materialDirty = true;  // GL_COLOR_MATERIAL may have overwritten the material
  }
  const bool lighting = rs[D3DRS_LIGHTING] && !layout.pretransformed;
  enable(GL_LIGHTING, lighting);
  enable(GL_COLOR_SUM, !lighting && rs[D3DRS_SPECULARENABLE] && layout.specular.present);
}

IDirect3DBaseTexture9::SamplerParams IDirect3DDevice9::samplerParams(int stage) const {
  const auto& ss = stages[stage].samplers;
  IDirect3DBaseTexture9::SamplerParams params;
  params.minFilter = int(minifyFilter(ss[D3DSAMP_MINFILTER], ss[D3DSAMP_MIPFILTER]));
  params.magFilter = ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
  params.wrapS = int(wrapMode(ss[D3DSAMP_ADDRESSU]));
  params.wrapT = int(wrapMode(ss[D3DSAMP_ADDRESSV]));
  params.borderColor = ss[D3DSAMP_BORDERCOLOR];
  return params;
}

bool IDirect3DDevice9::samplerStale(int stage) const {
  const IDirect3DBaseTexture9* texture = stages[stage].texture;
  if (!texture) return false;
  const auto wanted = samplerParams(stage);
  const auto& applied = texture->applied;
  return applied.minFilter != wanted.minFilter || applied.magFilter != wanted.magFilter ||
         applied.wrapS != wanted.wrapS || applied.wrapT != wanted.wrapT ||
         applied.borderColor != wanted.borderColor;
}

// The level-of-detail bias belongs to the unit; the other sampler states live in the texture
// object in GL, so the texture must be bound on the active unit.
void IDirect3DDevice9::applySampler(int stage, IDirect3DBaseTexture9* texture) {
  glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS,
            floatOf(stages[stage].samplers[D3DSAMP_MIPMAPLODBIAS]));
  if (!texture) return;
  const GLenum target = texture->glTarget();
  const auto wanted = samplerParams(stage);
  auto& applied = texture->applied;
  const auto set = [&](int& cache, GLenum parameter, int value) {
    if (cache == value) return;
    cache = value;
    glTexParameteri(target, parameter, GLint(value));
  };
  set(applied.minFilter, GL_TEXTURE_MIN_FILTER, wanted.minFilter);
  set(applied.magFilter, GL_TEXTURE_MAG_FILTER, wanted.magFilter);
  set(applied.wrapS, GL_TEXTURE_WRAP_S, wanted.wrapS);
  set(applied.wrapT, GL_TEXTURE_WRAP_T, wanted.wrapT);
  if (applied.borderColor != wanted.borderColor) {
    applied.borderColor = wanted.borderColor;
    float colour[4];
    colourOf(applied.borderColor, colour);
    glTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, colour);
  }
}

void IDirect3DDevice9::markStagesDirty(size_t firstStage) {
  for (size_t unit = firstStage; unit < stages.size(); ++unit) stages[unit].dirty = true;
}

void IDirect3DDevice9::applyStage(int unit, bool active) {
  const Stage& stage = stages[unit];
  IDirect3DBaseTexture9* texture = stage.texture;
  if (programActive) {
    // Programs sample the stage textures; the fixed-function enables do not matter. A stage
    // without a texture samples white, as the fixed stages do, never a texture left bound.
    if (texture) {
      glBindTexture(texture->glTarget(), texture->glName());
      applySampler(unit, texture);
    } else {
      glBindTexture(GL_TEXTURE_2D, whiteTexture);
      glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    }
    return;
  }
  if (!active) {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    setTexCoordGeneration(0);
    return;
  }
  const GLenum target = texture ? texture->glTarget() : GLenum(GL_TEXTURE_2D);
  glBindTexture(target, texture ? texture->glName() : whiteTexture);
  enable(GL_TEXTURE_2D, target == GL_TEXTURE_2D);
  enable(GL_TEXTURE_CUBE_MAP, target == GL_TEXTURE_CUBE_MAP);
  applySampler(unit, texture);
  float factor[4];
  colourOf(renderStates[D3DRS_TEXTUREFACTOR], factor);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
  glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, factor);
  const auto& ts = stage.states;
  setCombiner(false, ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG0], ts[D3DTSS_COLORARG1],
              ts[D3DTSS_COLORARG2]);
  setCombiner(true, ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG0], ts[D3DTSS_ALPHAARG1],
              ts[D3DTSS_ALPHAARG2]);
  setTexCoordGeneration(ts[D3DTSS_TEXCOORDINDEX]);
}

// Only stages whose states changed since the last draw are sent, plus the sampler states of a
// texture that another stage has set differently since. The stages are active up to the first
// disabled colour operation.
void IDirect3DDevice9::applyStages() {
  bool active = !programActive;
  int selected = 0;  // GL's active unit, unit 0 between draws
  for (int unit = 0; unit < int(stages.size()); ++unit) {
    Stage& stage = stages[unit];
    active = active && stage.states[D3DTSS_COLOROP] != D3DTOP_DISABLE;
    const bool samplers = (programActive || active) && samplerStale(unit);
    if (!stage.dirty && !samplers) continue;
    if (selected != unit) {
      glActiveTexture(GL_TEXTURE0 + unit);
      selected = unit;
    }
    if (stage.dirty) {
      applyStage(unit, active);
      stage.dirty = false;
    } else {
      applySampler(unit, stage.texture);
    }
  }
  if (selected != 0) glActiveTexture(GL_TEXTURE0);
}

void IDirect3DDevice9::bindVertexArrays(const VertexLayout& layout, const uint8_t* base) {
  const GLsizei stride = layout.stride;
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, stride, base + layout.position.offset);
  if (layout.normal.present) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, stride, base + layout.normal.offset);
  } else {
    glDisableClientState(GL_NORMAL_ARRAY);
    glNormal3f(0, 0, 1);
  }
  if (layout.diffuse.present) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride, base + layout.diffuse.offset);
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1, 1, 1, 1);  // D3D's diffuse without a vertex colour is opaque white
  }
  if (layout.specular.present) {
    glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
    glSecondaryColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride, base + layout.specular.offset);
  } else {
    glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
  }
  bool active = true;
  for (int unit = 0; unit < VertexLayout::kTexCoordSets; ++unit) {
    glClientActiveTexture(GL_TEXTURE0 + unit);
    active = active && stages[unit].states[D3DTSS_COLOROP] != D3DTOP_DISABLE;
    int set = -1;
    if (programActive) {
      set = unit;
    } else if (active) {
      set = int(stages[unit].states[D3DTSS_TEXCOORDINDEX] & 0xFFFF);
    }
    if (set >= 0 && set < VertexLayout::kTexCoordSets && layout.texCoords[set].present) {
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(layout.texCoords[set].components, GL_FLOAT, stride,
                        base + layout.texCoords[set].offset);
    } else {
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
  }
  glClientActiveTexture(GL_TEXTURE0);
}

HRESULT IDirect3DDevice9::draw(D3DPRIMITIVETYPE type, UINT primitiveCount,
                               const VertexLayout& layout, const uint8_t* vertexBase,
                               const void* indices, D3DFORMAT indexFormat) {
  if (primitiveCount == 0) return D3D_OK;
  bindTarget();
  applyRenderStates();
  applyTransformsAndLights(layout);
  applyColorMaterial(layout);
  applyStages();
  bindVertexArrays(layout, vertexBase);
  const auto vertices = GLsizei(primitiveVertexCount(type, primitiveCount));
  const GLenum mode = primitiveMode(type);
  if (indices || indexFormat != D3DFMT_UNKNOWN) {
    glDrawElements(mode, vertices,
                   indexFormat == D3DFMT_INDEX32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, indices);
  } else {
    glDrawArrays(mode, 0, vertices);
  }
  return D3D_OK;
}

HRESULT IDirect3DDevice9::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags,
                                D3DCOLOR colour, float z, DWORD stencil) {
  count(D3DCall::Clear);
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil) return D3DERR_INVALIDCALL;
  if (rectCount > 0 && !rects) return D3DERR_INVALIDCALL;
  bindTarget();
  float c[4];
  colourOf(colour, c);
  glClearColor(c[0], c[1], c[2], c[3]);
  glClearDepth(z);
  glClearStencil(GLint(stencil & 0xFF));
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  glEnable(GL_SCISSOR_TEST);
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
  if (flags & D3DCLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
  if (flags & D3DCLEAR_STENCIL) mask |= GL_STENCIL_BUFFER_BIT;
  const D3DRECT whole{long(viewport.X), long(viewport.Y), long(viewport.X + viewport.Width),
                      long(viewport.Y + viewport.Height)};
  const long targetHeight = long(renderTarget->height());
  for (DWORD i = 0; i < std::max<DWORD>(rectCount, 1); ++i) {
    const D3DRECT r = rectCount ? rects[i] : whole;
    const long x1 = std::max(r.x1, whole.x1), x2 = std::min(r.x2, whole.x2);
    const long y1 = std::max(r.y1, whole.y1), y2 = std::min(r.y2, whole.y2);
    if (x1 >= x2 || y1 >= y2) continue;
    glScissor(GLint(x1), GLint(flipped() ? y1 : targetHeight - y2), GLsizei(x2 - x1),
              GLsizei(y2 - y1));
    glClear(mask);
  }
  // The masks and the scissor belong to the render states again.
  for (auto state : {D3DRS_COLORWRITEENABLE, D3DRS_ZWRITEENABLE, D3DRS_STENCILWRITEMASK,
                     D3DRS_SCISSORTESTENABLE}) {
    renderStateDirty[state] = true;
  }
  viewportDirty = true;
  return D3D_OK;
}

HRESULT IDirect3DDevice9::GetRenderTargetData(IDirect3DSurface9* source,
                                              IDirect3DSurface9* destination) {
  if (!source || !destination ||
      destination->kind() != IDirect3DSurface9::Kind::OffscreenPlain ||
      source->width() != destination->width() || source->height() != destination->height() ||
      (source->kind() != IDirect3DSurface9::Kind::BackBuffer &&
       source->kind() != IDirect3DSurface9::Kind::TextureLevel)) {
    return D3DERR_INVALIDCALL;
  }
  const GLFormat gl = glFormatOf(destination->format());
  GLuint readFramebuffer = 0;
  if (source->kind() == IDirect3DSurface9::Kind::BackBuffer) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, glContext->backBufferFramebuffer());
  } else {
    glGenFramebuffers(1, &readFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                           source->texture()->faceTarget(source->face()),
                           source->texture()->glName(), GLint(source->level()));
  }
  std::vector<uint8_t>& bytes = destination->plainBytes();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, GLsizei(source->width()), GLsizei(source->height()), gl.format, gl.type,
               bytes.data());
  if (source->kind() == IDirect3DSurface9::Kind::BackBuffer) {
    // The back buffer's rows run bottom-up in GL.
    const size_t pitch = levelPitch(gl, source->width());
    for (UINT y = 0; y < source->height() / 2; ++y) {
      std::swap_ranges(bytes.begin() + long(y * pitch), bytes.begin() + long((y + 1) * pitch),
                       bytes.begin() + long((source->height() - 1 - y) * pitch));
    }
  }
  if (readFramebuffer) glDeleteFramebuffers(1, &readFramebuffer);
  targetDirty = true;  // the framebuffer binding changed
  return D3D_OK;
}
