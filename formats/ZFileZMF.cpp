#include "formats/ZFileZMF.h"

#include "formats/ByteReader.h"
#include "formats/ByteWriter.h"
#include "foundation/ZFileName.h"
#include "foundation/ZHugePages.h"
#include "foundation/ZLog.h"
#include "foundation/ZMappedFile.h"
#include "foundation/ZReplacingFile.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kMagic[] = "tq666";
constexpr int32_t kWrittenVersion = 28;
constexpr int32_t kNewestReadVersion = 29;
constexpr uint64_t kVertexRecord = 64;
constexpr uint64_t kFaceRecord = 48;
// Smallest records, for checking counts against the bytes left.
constexpr uint64_t kMinMaterialRecord = 16 * 3 + 1 + 4 + 1 + 4 + 1 + 4 + 1 + 1 + 1 + 8 * 4 + 4;
// Versions 19 and older: three colours, two-sided, exponent, texture and reflection tags, and
// from version 4 one more float.
constexpr uint64_t kMinOldMaterialRecord = 16 * 3 + 1 + 4 + 4 + 4;
constexpr uint64_t kMinFrameRecord = 4 + 4 + 36 + 4 + 4;
constexpr uint64_t kMinCameraRecord = 4 + 36 + 1 + 4 + 12;
constexpr uint64_t kMinVariable = 4 + 4;

ZVector readVector(ByteReader& in) {
  const float x = in.f32();
  const float y = in.f32();
  const float z = in.f32();
  return {x, y, z};
}

D3DCOLORVALUE readColour(ByteReader& in) {
  D3DCOLORVALUE c;
  c.r = in.f32();
  c.g = in.f32();
  c.b = in.f32();
  c.a = in.f32();
  return c;
}

void writeVector(ByteWriter& out, const ZVector& v) {
  out.f32(v.x);
  out.f32(v.y);
  out.f32(v.z);
}

void writeColour(ByteWriter& out, const D3DCOLORVALUE& c) {
  out.f32(c.r);
  out.f32(c.g);
  out.f32(c.b);
  out.f32(c.a);
}

struct FaceRecord {
  uint16_t indices[4];
  float vectors[10];
};
static_assert(sizeof(FaceRecord) == kFaceRecord, "a face record is 48 bytes");

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Filter values above linear are clamped to it, with the lines files have always logged.
int32_t linearAtMost(uint32_t value, const char* format) {
  if (value <= 2) return int32_t(value);
  zlog(format, int(value));
  return 2;
}

}  // namespace

ZFileZMF::ZFileZMF(ZCorvane* engine) : renderer(engine) {}

void ZFileZMF::addTexturePath(const std::string& folder) {
  texturePaths.addDirectory(folder);
  useTexturePaths = true;
}

void ZFileZMF::report(const std::string& message) {
  if (listener != nullptr) listener->onZMFProgress(message, int32_t(progress));
}

ZFrame* ZFileZMF::load(const std::string& name, ZFrame* target, bool mirror) {
  fileName = name;
  ZMappedFile file;
  if (!file.open(name)) {
    report("loading " + name + "...");
    return nullptr;
  }
  return loadBytes(file.bytes(), target, mirror);
}

ZFrame* ZFileZMF::loadBytes(std::span<const uint8_t> bytes, ZFrame* target, bool mirror) {
  const uint32_t startMs = GetTickCount();
  const std::string& name = fileName;
  mirrorX = mirror;
  progress = 0;
  report("loading " + name + "...");
  materials.clear();
  frames.clear();
  resolvedTextures.clear();
  ByteReader in(bytes);
  if (!readHeader(in)) return nullptr;

  // The file is read under a frame of its own and moved into the caller's root only when
  // complete, so a broken file leaves the root as it was.
  ZFrame* built = renderer->getNewFrame();
  root = built;
  hasRoot = true;
  in.u32();  // section version
  const uint32_t materialCount = in.u32();
  const uint64_t minMaterial =
      version >= 20 ? kMinMaterialRecord : kMinOldMaterialRecord + (version >= 4 ? 4 : 0);
  if (!in.fits(materialCount, minMaterial)) {
    zlog("ZMF ERROR: %s is cut short or corrupt (materials)\n", name.c_str());
    return nullptr;
  }
  const float materialStep = materialCount > 0 ? 70.0f / float(materialCount) : 0;
  for (uint32_t i = 0; i < materialCount && !in.failed(); ++i) {
    ZMaterial* m = renderer->getNewMaterial();
    materials.push_back(m);
    if (version >= 20) {
      readMaterial(in, *m);
    } else {
      readOldMaterial(in, *m);
    }
    progress += materialStep;
    report("loading materials...");
  }
  in.u32();  // section version
  const uint32_t frameCount = in.u32();
  if (version < 20 && frameCount > 0) {
    zlog("ZMF ERROR: geometry records of version %d are not supported\n", int(version));
    return nullptr;
  }
  if (!in.fits(frameCount, kMinFrameRecord)) {
    zlog("ZMF ERROR: %s is cut short or corrupt (frames)\n", name.c_str());
    return nullptr;
  }
  const float frameShare = frameCount > 0 ? 30.0f / float(frameCount) : 0;
  for (uint32_t i = 0; i < frameCount && !in.failed(); ++i) readFrame(in, frameShare);
  if (version >= 21 && !in.failed()) readCameras(in);
  if (in.failed()) {
    zlog("ZMF ERROR: %s is cut short or corrupt at byte %zu\n", name.c_str(), in.offset());
    return nullptr;
  }
  if (target != nullptr) {
    adoptIntoRoot(built, target);
    root = target;
  }
  hasRoot = target != nullptr;
  logLoaded(startMs);
  return root;
}

bool ZFileZMF::readHeader(ByteReader& in) {
  const uint8_t* magic = in.take(5);
  if (magic == nullptr || std::string(reinterpret_cast<const char*>(magic), 5) != kMagic) {
    MessageBoxA(nullptr, "This is not a valid ZMF file\n", "Corvane 3D Engine", MB_OK);
    return false;
  }
  version = in.i32();
  zlog("ZMF VERSION: %d\n", int(version));
  zlog("ZFileZMF::loadHeader(FILE *file): Loading ZMF version %d\n", int(version));
  if (version > kNewestReadVersion || version < 0) {
    zlog("ZMF ERROR: version %d is not supported\n", int(version));
    return false;
  }
  if (version >= 27) {
    sunPosition = readVector(in);
    ambientLight = readVector(in);
  }
  if (version >= 28) {
    const ZVector d = readVector(in);
    sunDiffuse = {clamp01(d.x), clamp01(d.y), clamp01(d.z)};
  }
  return !in.failed();
}

void ZFileZMF::readMaterial(ByteReader& in, ZMaterial& m) {
  D3DMATERIAL9& c = m.d3dMaterial;
  c.Diffuse = readColour(in);
  c.Ambient = version >= 26 ? readColour(in) : c.Diffuse;
  c.Specular = readColour(in);
  c.Emissive = readColour(in);
  m.doubleFace = in.u8() != 0;
  c.Power = in.f32();
  m.alphaBlend = in.u8() != 0;
  m.alphaDestBlend = int32_t(in.u32());
  m.alphaRef = in.u8();
  m.alphaSrcBlend = int32_t(in.u32());
  m.alphaTest = in.u8() != 0;
  m.forceNoDepthWrite = in.u8() != 0;
  m.useZBuffer = in.u8() != 0;
  for (int i = 0; i < 8 && !in.failed(); ++i) {
    if (in.u32() == 0) continue;
    ZMaterialStage& s = m.stage(i);
    s.active = in.u8() != 0;
    s.alphaArg1 = int32_t(in.u32());
    s.alphaArg2 = int32_t(in.u32());
    s.alphaOp = int32_t(in.u32());
    s.colorArg0 = int32_t(in.u32());
    s.colorArg1 = int32_t(in.u32());
    s.colorArg2 = int32_t(in.u32());
    s.colorOp = int32_t(in.u32());
    s.magFilter = linearAtMost(in.u32(), "Found problematic magFilter %d set to LINEAR\n");
    s.minFilter = linearAtMost(in.u32(), "Found problematic magFilter set to LINEAR%d\n");
    s.mipMapFilter = linearAtMost(in.u32(), "Found problematic magFilter %d set to LINEAR\n");
    s.texCoordIndex = int32_t(in.u32());
    s.textureAddressU = int32_t(in.u32());
    s.textureAddressV = int32_t(in.u32());
    m.textureFactor = in.f32();
    const std::string stored = in.string();
    if (in.failed()) return;
    attachTexture(s, stored);
  }
  const std::string effect = in.string();
  if (in.failed()) return;
  if (!effect.empty()) m.initEffect(effect);
  if (version < 22) return;
  const uint32_t count = in.u32();
  if (!in.fits(count, kMinVariable)) return;
  for (uint32_t i = 0; i < count && !in.failed(); ++i) {
    const std::string variable = in.string();
    const float value = in.f32();
    if (in.failed()) return;
    m.setStoredEffectVariable(variable, value);
  }
}

void ZFileZMF::readOldMaterial(ByteReader& in, ZMaterial& m) {
  D3DMATERIAL9& c = m.d3dMaterial;
  c.Diffuse = readColour(in);
  c.Specular = readColour(in);
  c.Emissive = readColour(in);
  m.doubleFace = in.u8() != 0;
  c.Power = in.f32();
  if (in.u32() == 21) {
    const std::string stored = in.string();
    m.legacyTextureFlag = in.u8();
    if (in.failed()) return;
    m.stage(0).storedTextureName = stored;
    m.stage(0).textureName = resolveTextureName(stored);
    m.setTexture(renderer->getTexture(m.stage(0).textureName));
  }
  if (in.u32() == 26) {
    const std::string stored = in.string();
    // The amount is read only when no override is set; neither is kept.
    if (reflectionAmountOverride == -1) in.f32();
    if (in.failed()) return;
    ZMaterialStage& s = m.stage(1);
    attachTexture(s, stored);
    s.texCoordIndex = 262145;  // sphere-map generation on coordinate set 1
    s.colorOp = 14;            // blend by the texture factor's alpha
    s.colorArg1 = 1;           // current
    s.active = true;
    m.textureFactor = 0.85f;
  }
  c.Ambient.a = c.Diffuse.a;
  if (version >= 4) in.f32();
}

void ZFileZMF::readFrame(ByteReader& in, float frameShare) {
  in.u32();  // record version
  const std::string name = in.string();
  const ZVector position = readVector(in);
  const ZVector heading = readVector(in);
  const ZVector up = readVector(in);
  const int32_t parent = in.i32();
  const uint32_t geometryCount = in.u32();
  if (in.failed()) return;
  ZFrame* f = addFileFrame(name, position, heading, up, parent);
  const float step = geometryCount > 0 ? frameShare / float(geometryCount) : 0;
  for (uint32_t i = 0; i < geometryCount && !in.failed(); ++i) {
    ZGeometry* g = readGeometry(in);
    if (g == nullptr) return;
    f->addGeometry(g);
    progress += step;
    report("loading frames");
  }
}

ZGeometry* ZFileZMF::readGeometry(ByteReader& in) {
  in.u32();  // record version
  const std::string name = in.string();
  const uint32_t vertexCount = in.u32();
  if (!in.fits(vertexCount, kVertexRecord)) return nullptr;
  ZGeometry* g = renderer->getNewGeometry();
  g->name = name;
  g->vertices.reserve(vertexCount);
  adviseHugePages(g->vertices);
  for (uint32_t i = 0; i < vertexCount; ++i) {
    ZVector position = readVector(in);
    ZVector normal = readVector(in);
    ZVector tangent = readVector(in);
    ZVector binormal = readVector(in);
    float t0[2] = {in.f32(), in.f32()};
    const float t1[2] = {in.f32(), in.f32()};
    normal.normalize();
    if (mirrorX) {
      position.x = -position.x;
      normal.x = -normal.x;
      tangent.x = -tangent.x;
      binormal.x = -binormal.x;
      t0[0] = -t0[0];
    }
    if (scale.x != 1) position.x *= scale.x;
    if (scale.y != 1) position.y *= scale.y;
    if (scale.z != 1) position.z *= scale.z;
    g->addVertex(position);
    SVertex& v = g->vertices.back();
    v.normal = normal;
    v.tangent = tangent;
    v.binormal = binormal;
    std::copy(t0, t0 + 2, v.t0);
    std::copy(t1, t1 + 2, v.t1);
  }
  g->initRadius();
  g->compiled = false;
  const uint32_t faceCount = in.u32();
  if (!in.fits(faceCount, kFaceRecord)) return nullptr;
  g->faces.reserve(faceCount);
  adviseHugePages(g->faces);
  for (uint32_t i = 0; i < faceCount; ++i) {
    const int a = in.u16();
    const int b = in.u16();
    const int c = in.u16();
    in.skip(6);
    const ZVector second = readVector(in);
    const ZVector third = readVector(in);
    const ZVector first = readVector(in);
    if (mirrorX) {
      g->addTriangle(c, b, a);
    } else {
      g->addTriangle(a, b, c);
    }
    SFace& f = g->faces.back();
    f.normal = first;
    f.tangent = second;
    f.binormal = third;
  }
  if (version >= 24) g->transparent = in.u8() != 0;
  if (version >= 25) g->castShadow = in.u8() != 0;
  if (version >= 29) in.skip(8);
  if (version >= 23) {
    const uint32_t count = in.u32();
    if (!in.fits(count, kMinVariable)) return nullptr;
    std::vector<SGeometryVar> variables;
    for (uint32_t i = 0; i < count && !in.failed(); ++i) {
      std::string variable = in.string();
      const float value = in.f32();
      if (!in.failed()) variables.push_back({std::move(variable), value});
    }
    g->setVars(variables);
  }
  const int32_t materialIndex = in.i32();
  if (in.failed()) return nullptr;
  if (materialIndex >= 0 && size_t(materialIndex) < materials.size()) {
    g->setMaterial(materials[size_t(materialIndex)]);
  } else {
    zlog("WARNING: %s has wrong material\n", g->name.c_str());
  }
  return g;
}

void ZFileZMF::readCameras(ByteReader& in) {
  const uint32_t count = in.u32();
  if (!in.fits(count, kMinCameraRecord)) return;
  zlog("loading %d cameras\n", int(count));
  for (uint32_t i = 0; i < count && !in.failed(); ++i) {
    ZCamera* camera = renderer->getNewCamera();
    camera->name = in.string();
    camera->position = readVector(in);
    camera->heading = readVector(in);
    camera->up = readVector(in);
    camera->fixed = in.u8() != 0;
    camera->tag = in.i32();
    camera->maxDist = in.f32();
    camera->maxFov = in.f32();
    camera->minFov = in.f32();
    if (cameras != nullptr && !in.failed()) cameras->push_back(camera);
  }
}

ZFrame* ZFileZMF::addFileFrame(const std::string& name, const ZVector& position,
                               const ZVector& heading, const ZVector& up, int32_t parent) {
  ZFrame* f = nullptr;
  if (frames.empty() && hasRoot) {
    f = root;
  } else {
    f = renderer->getNewFrame();
    if (frames.empty()) root = f;
  }
  frames.push_back(f);
  f->name = name;
  f->matrix.setPosition(position);
  f->setHeadingUp(heading, up);
  if (f == root) return f;
  if (parent >= 0 && size_t(parent) + 1 < frames.size() &&
      frames[size_t(parent)]->canAdopt(*f)) {
    frames[size_t(parent)]->addChild(f);
  } else {
    if (parent != -1) {
      zlog("WARNING: frame %s names no parent %d within %d levels, attached to the root\n",
           name.c_str(), int(parent), ZFrame::kMaxDepth);
    }
    root->addChild(f);
  }
  return f;
}

void ZFileZMF::attachTexture(ZMaterialStage& stage, const std::string& stored) {
  stage.storedTextureName = stored;
  stage.textureName = resolveTextureName(stored);
  stage.texture = renderer->getTexture(stage.textureName);
}

std::string ZFileZMF::resolveTextureName(const std::string& stored) {
  const std::string bare(fileNameOf(stored));
  if (!useTexturePaths) return bare;
  const auto [found, added] = resolvedTextures.try_emplace(bare);
  if (added) found->second = texturePaths.findFile(bare);
  return found->second;
}

void ZFileZMF::adoptIntoRoot(ZFrame* built, ZFrame* target) {
  if (frames.empty()) return;  // a file without frames leaves the root as it is
  target->takeOver(*built);
  frames.front() = target;
}

void ZFileZMF::logLoaded(uint32_t startMs) const {
  zlog("Loaded %s in %dms\n", fileName.c_str(), int(GetTickCount() - startMs));
  SFrameStatistics stats;
  root->getStatistics(stats);
  zlog("POLY: %d VERTICES: %d GEOMETRIES: %d FRAMES: %d\n", int(stats.triangles),
       int(stats.vertices), int(stats.geometries), int(stats.frames));
}

void ZFileZMF::collect(ZFrame* from) {
  for (ZGeometry* g : from->geometries) {
    if (g->material != nullptr) {
      materials.push_back(g->material);
    } else {
      zlog("**** ERROR geometry %s has null material ****\n", g->name.c_str());
    }
  }
  frames.push_back(from);
  for (ZFrame* child : from->children) collect(child);
}

bool ZFileZMF::checkSavable() const {
  for (const ZFrame* f : frames) {
    for (const ZGeometry* g : f->geometries) {
      if (g->vertices.size() <= kMaxSavedVertices) continue;
      char text[512];
      std::snprintf(text, sizeof text,
                    "Geometry %s has %zu vertices; a model file holds at most %zu",
                    g->name.c_str(), g->vertices.size(), kMaxSavedVertices);
      zlog("%s\n", text);
      MessageBoxA(GetActiveWindow(), text, "Corvane", MB_OK);
      return false;
    }
  }
  return true;
}

int32_t ZFileZMF::materialIndex(const ZMaterial* m) const {
  const auto at = std::find(materials.begin(), materials.end(), m);
  return m != nullptr && at != materials.end() ? int32_t(at - materials.begin()) : -1;
}

int32_t ZFileZMF::frameIndex(const ZFrame* f) const {
  const auto at = std::find(frames.begin(), frames.end(), f);
  return f != nullptr && at != frames.end() ? int32_t(at - frames.begin()) : -1;
}

bool ZFileZMF::save(const std::string& name, ZFrame* from) {
  materials.clear();
  frames.clear();
  collect(from);
  if (!checkSavable()) return false;
  ZReplacingFile file(name);
  ByteWriter out(&file);
  out.raw(kMagic, 5);
  out.i32(kWrittenVersion);
  writeVector(out, sunPosition);
  writeVector(out, ambientLight);
  writeVector(out, sunDiffuse);
  out.u32(20);
  out.u32(uint32_t(materials.size()));
  for (const ZMaterial* m : materials) writeMaterial(out, *m);
  out.u32(25);
  out.u32(uint32_t(frames.size()));
  for (const ZFrame* f : frames) writeFrame(out, *f);
  writeCameras(out);
  out.flush();
  if (!file.commit()) {
    zlog("ZMF ERROR: cannot write %s\n", name.c_str());
    return false;
  }
  return true;
}

void ZFileZMF::writeMaterial(ByteWriter& out, const ZMaterial& m) const {
  const D3DMATERIAL9& c = m.d3dMaterial;
  writeColour(out, c.Diffuse);
  writeColour(out, c.Ambient);
  writeColour(out, c.Specular);
  writeColour(out, c.Emissive);
  out.u8(m.doubleFace);
  out.f32(c.Power);
  out.u8(m.alphaBlend);
  out.u32(uint32_t(m.alphaDestBlend));
  out.u8(m.alphaRef);
  out.u32(uint32_t(m.alphaSrcBlend));
  out.u8(m.alphaTest);
  out.u8(m.forceNoDepthWrite);
  out.u8(m.useZBuffer);
  for (int i = 0; i < 8; ++i) {
    const ZMaterialStage& s = m.stage(i);
    out.u32(s.texture != nullptr);
    if (s.texture == nullptr) continue;
    out.u8(s.active);
    for (int32_t value : {s.alphaArg1, s.alphaArg2, s.alphaOp, s.colorArg0, s.colorArg1,
                          s.colorArg2, s.colorOp, s.magFilter, s.minFilter, s.mipMapFilter,
                          s.texCoordIndex, s.textureAddressU, s.textureAddressV}) {
      out.u32(uint32_t(value));
    }
    out.f32(m.textureFactor);
    out.string(s.texture->name);
  }
  out.string(m.effectName);
  out.u32(uint32_t(m.effectVars.size()));
  for (const auto& variable : m.effectVars) {
    out.string(variable->name);
    out.f32(variable->value);
  }
}

void ZFileZMF::writeFrame(ByteWriter& out, const ZFrame& f) const {
  out.u32(23);
  out.string(f.name);
  writeVector(out, f.getPosition());
  writeVector(out, f.getHeading());
  writeVector(out, f.getUp());
  out.i32(frameIndex(f.parent));
  out.u32(uint32_t(f.geometries.size()));
  for (const ZGeometry* g : f.geometries) writeGeometry(out, *g);
}

void ZFileZMF::writeGeometry(ByteWriter& out, const ZGeometry& g) const {
  out.u32(24);
  out.string(g.name);
  out.u32(uint32_t(g.vertices.size()));
  for (const SVertex& v : g.vertices) {
    const float record[16] = {v.position.x, v.position.y, v.position.z, v.normal.x,
                              v.normal.y,   v.normal.z,   v.tangent.x,  v.tangent.y,
                              v.tangent.z,  v.binormal.x, v.binormal.y, v.binormal.z,
                              v.t0[0],      v.t0[1],      v.t1[0],      v.t1[1]};
    out.raw(record, sizeof record);
  }
  // A face naming no vertex of the mesh is never drawn; it is not written either.
  const auto usable = std::count_if(g.faces.begin(), g.faces.end(),
                                    [&g](const SFace& f) { return g.isFaceInRange(f); });
  out.u32(uint32_t(usable));
  for (const SFace& f : g.faces) {
    if (!g.isFaceInRange(f)) continue;
    // Three indices, two zero bytes, then the first vector's x as writers always put it.
    FaceRecord record = {{uint16_t(f.a), uint16_t(f.b), uint16_t(f.c), 0},
                         {f.normal.x, f.tangent.x, f.tangent.y, f.tangent.z, f.binormal.x,
                          f.binormal.y, f.binormal.z, f.normal.x, f.normal.y, f.normal.z}};
    out.raw(&record, sizeof record);
  }
  out.u8(g.transparent);
  out.u8(g.castShadow);
  out.u32(uint32_t(g.vars.size()));
  for (const SGeometryVar& variable : g.vars) {
    out.string(variable.name);
    out.f32(variable.value);
  }
  out.i32(materialIndex(g.material));
}

void ZFileZMF::writeCameras(ByteWriter& out) const {
  out.u32(cameras != nullptr ? uint32_t(cameras->size()) : 0);
  if (cameras == nullptr) return;
  for (const ZCamera* camera : *cameras) {
    out.string(camera->name);
    writeVector(out, camera->position);
    writeVector(out, camera->heading);
    writeVector(out, camera->up);
    out.u8(camera->fixed);
    out.i32(camera->tag);
    out.f32(camera->maxDist);
    out.f32(camera->maxFov);
    out.f32(camera->minFov);
  }
}
