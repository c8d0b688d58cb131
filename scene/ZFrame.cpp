#include "scene/ZFrame.h"

#include "foundation/ZLog.h"
#include "foundation/cvMath.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace {

constexpr float kNoHit = 9999999.0f;

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// d times the upper 3x3 of m (no translation).
ZVector transformDirection(const ZMatrix& m, const ZVector& d) {
  const double x = d.x, y = d.y, z = d.z;
  return {static_cast<float>(x * m.m[0] + y * m.m[4] + z * m.m[8]),
          static_cast<float>(x * m.m[1] + y * m.m[5] + z * m.m[9]),
          static_cast<float>(x * m.m[2] + y * m.m[6] + z * m.m[10])};
}

ZMatrix axisRotation(const ZVector& axis, float radians) {
  ZMatrix r;
  r.setRotationAxisAngle(axis, radians);
  return r;
}

// Draw order of two meshes of one frame. A mesh without a material counts as opaque, without an
// effect and without a texture, which keeps this a strict weak ordering.
bool drawsBefore(const ZGeometry* a, const ZGeometry* b) {
  const ZMaterial* ma = a->material;
  const ZMaterial* mb = b->material;
  const bool blendA = ma && ma->alphaBlend;
  const bool blendB = mb && mb->alphaBlend;
  if (blendA != blendB) return blendB;
  const ID3DXEffect* effectA = ma ? ma->effect : nullptr;
  const ID3DXEffect* effectB = mb ? mb->effect : nullptr;
  if ((effectA != nullptr) != (effectB != nullptr)) return effectA != nullptr;
  if (effectA != effectB) return std::less<const ID3DXEffect*>()(effectA, effectB);
  if (!effectA && a->sortKey != b->sortKey) return a->sortKey < b->sortKey;
  const ZTexture* textureA = ma ? ma->stage(0).texture : nullptr;
  const ZTexture* textureB = mb ? mb->stage(0).texture : nullptr;
  return std::less<const ZTexture*>()(textureA, textureB);
}

}  // namespace

void ZFrame::print(int* depth) {
  int local = 0;
  int& level = depth ? *depth : local;
  zlog("%s<%s>\n", std::string(size_t(std::max(level, 0)), '\t').c_str(), name.c_str());
  ++level;
  const std::string indent(size_t(std::max(level, 0)), '\t');
  for (const ZGeometry* g : geometries) zlog("%s%s\n", indent.c_str(), g->name.c_str());
  for (ZFrame* child : children) child->print(&level);
  --level;
}

void ZFrame::releaseFrame(const std::string& frameName) {
  for (auto it = children.begin(); it != children.end(); ++it) {
    ZFrame* child = *it;
    if (child->name == frameName) {
      child->moveable = false;
      children.erase(it);
      return;
    }
    child->releaseFrame(frameName);
  }
}

ZGeometry* ZFrame::getGeometry(const std::string& geometryName, bool recursive) {
  for (ZGeometry* g : geometries) {
    if (equalsIgnoringCase(g->name, geometryName)) return g;
  }
  if (!recursive) return nullptr;
  for (ZFrame* child : children) {
    if (ZGeometry* found = child->getGeometry(geometryName, recursive)) return found;
  }
  return nullptr;
}

ZFrame* ZFrame::getFrame(const std::string& frameName) {
  for (ZFrame* child : children) {
    ZFrame* found = child->name == frameName ? child : child->getFrame(frameName);
    if (found) {
      found->moveable = true;
      return found;
    }
  }
  return nullptr;
}

void ZFrame::addGeometry(ZGeometry* g) {
  geometries.push_back(g);
  g->engine = engine;
}

void ZFrame::addChild(ZFrame* f) {
  children.push_back(f);
  f->parent = this;
}

void ZFrame::takeOver(ZFrame& other) {
  name = other.name;
  matrix = other.matrix;
  for (ZGeometry* g : other.geometries) addGeometry(g);
  for (ZFrame* child : other.children) addChild(child);
  other.geometries.clear();
  other.children.clear();
}

void ZFrame::removeGeometry(const ZGeometry* g) {
  const auto it = std::find(geometries.begin(), geometries.end(), g);
  if (it != geometries.end()) {
    geometries.erase(it);
    return;
  }
  for (ZFrame* child : children) child->removeGeometry(g);
}

void ZFrame::removeFrame(const ZFrame* f) {
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (*it == f) {
      children.erase(it);
      return;
    }
    (*it)->removeFrame(f);
  }
}

ZFrame* ZFrame::getRoot() {
  ZFrame* root = this;
  while (root->parent) root = root->parent;
  return root;
}

int ZFrame::depth() const {
  int levels = 0;
  for (const ZFrame* f = parent; f != nullptr; f = f->parent) ++levels;
  return levels;
}

int ZFrame::height() const {
  int levels = 0;
  for (const ZFrame* child : children) levels = std::max(levels, child->height() + 1);
  return levels;
}

void ZFrame::setLOD(float in, float out) {
  lodIn = in;
  lodOut = out;
  hasLOD = true;
}

void ZFrame::getStatistics(SFrameStatistics& stats) const {
  ++stats.frames;
  for (const ZGeometry* g : geometries) {
    ++stats.geometries;
    stats.triangles += uint32_t(g->faces.size());
    stats.vertices += uint32_t(g->vertices.size());
  }
  for (const ZFrame* child : children) child->getStatistics(stats);
}

int32_t ZFrame::getIndexCount() const {
  int32_t count = 0;
  for (const ZGeometry* g : geometries) count += int32_t(3 * g->faces.size());
  return count;
}

void ZFrame::move(float x, float y, float z) { matrix.setPosition(x, y, z); }

void ZFrame::move(const ZVector& position) { matrix.setPosition(position); }

void ZFrame::moveStep(float x, float y, float z) { matrix.translate(x, y, z); }

void ZFrame::moveStep(const ZVector& offset) { matrix.translate(offset); }

void ZFrame::moveForward(float distance) {
  matrix.setPosition(getPosition() + getHeading() * distance);
}

void ZFrame::setHeadingUp(const ZVector& heading, const ZVector& up) {
  matrix.setHeadingUp(heading, up);
}

void ZFrame::rotatePitchDEG(float degrees) { rotatePitch(degrees * kDegToRad); }

void ZFrame::rotateHeadingDEG(float degrees) {
  matrix = ZMatrix::multiply(axisRotation({0, 1, 0}, degrees * kDegToRad), matrix);
}

void ZFrame::rotateRollDEG(float degrees) {
  matrix = ZMatrix::multiply(axisRotation({0, 0, 1}, degrees * kDegToRad), matrix);
}

void ZFrame::rotatePitch(float radians) {
  matrix = ZMatrix::multiply(axisRotation({1, 0, 0}, radians), matrix);
}

void ZFrame::resetRotation() {
  for (ZFrame* child : children) child->resetRotation();
  const ZVector position = getPosition();
  matrix.loadIdentity();
  matrix.setPosition(position);
}

ZMatrix ZFrame::getWorldMatrix() const {
  std::vector<const ZMatrix*> chain;
  for (const ZFrame* f = this; f; f = f->parent) chain.push_back(&f->matrix);
  ZMatrix world;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) world = ZMatrix::multiply(**it, world);
  return world;
}

ZVector ZFrame::getWorldPosition() const {
  ZVector position = getPosition();
  for (const ZFrame* f = parent; f; f = f->parent) position = position + f->getPosition();
  return position;
}

ZVector ZFrame::localToWorld(const ZVector& p) const {
  return getWorldMatrix().transformPoint(p, false);
}

ZVector ZFrame::localToWorldDirection(const ZVector& d) const {
  return transformDirection(getWorldMatrix(), d);
}

ZVector ZFrame::worldToLocal(const ZVector& p) const {
  ZMatrix rotation = getWorldMatrix();
  const ZVector translation = rotation.getPosition();
  rotation.setPosition(0, 0, 0);
  return transformDirection(rotation.inverse(), p - translation);
}

ZVector ZFrame::worldToLocalDirection(const ZVector& d) const {
  ZMatrix rotation = getWorldMatrix();
  rotation.setPosition(0, 0, 0);
  return transformDirection(rotation.inverse(), d);
}

void ZFrame::setGeometryLOD(float in, float out) {
  forEachGeometry([&](ZGeometry& g) {
    g.lodIn = in;
    g.lodOut = out;
  });
}

void ZFrame::scaleGeometries(float x, float y, float z) {
  forEachGeometry([&](ZGeometry& g) { g.scale(x, y, z); });
}

void ZFrame::setShadowCasters() {
  forEachGeometry([](ZGeometry& g) {
    if (!g.material || !g.material->alphaBlend) g.castShadow = true;
  });
}

void ZFrame::clearEffects() {
  forEachGeometry([](ZGeometry& g) {
    if (g.material) g.material->effect = nullptr;
  });
}

void ZFrame::setMaterialFlag(bool value) {
  forEachGeometry([&](ZGeometry& g) {
    if (g.material) g.material->materialFlag = value;
  });
}

void ZFrame::initRadius() {
  forEachGeometry([](ZGeometry& g) { g.initRadius(); });
}

void ZFrame::loadLightmaps() {
  forEachGeometry([](ZGeometry& g) { g.loadLightmap(); });
}

void ZFrame::prepareRecompile() {
  compiled = false;
  for (ZGeometry* g : geometries) g->compiled = false;
  for (ZFrame* child : children) child->prepareRecompile();
}

bool ZFrame::hasTransparent() const {
  for (const ZGeometry* g : geometries) {
    if (g->material && g->material->alphaBlend) return true;
  }
  return std::any_of(children.begin(), children.end(),
                     [](const ZFrame* child) { return child->hasTransparent(); });
}

void ZFrame::sortGeometries() {
  std::stable_sort(geometries.begin(), geometries.end(), drawsBefore);
}

void ZFrame::collapseMoveable(ZFrame* target) {
  std::vector<ZFrame*> kept;
  for (ZFrame* child : children) {
    if (child->moveable || child->hasTransparent()) {
      kept.push_back(child);
      continue;
    }
    child->collapseMoveable(this);
    // Frames the merged child had to keep would leave the tree with it: they move up here with
    // the child's transform folded into theirs, so their world transform stays.
    for (ZFrame* grandchild : child->children) {
      grandchild->matrix = ZMatrix::multiply(grandchild->matrix, child->matrix);
      grandchild->parent = this;
      kept.push_back(grandchild);
    }
    child->children.clear();
  }
  children = std::move(kept);

  if (!target) return;
  std::vector<ZGeometry*> moving;
  moving.swap(geometries);
  for (ZGeometry* g : moving) {
    for (SVertex& v : g->vertices) {
      v.position = matrix.transformPoint(v.position, false);
      v.normal = transformDirection(matrix, v.normal);
    }
    target->addGeometry(g);
    g->recompile();
  }
}

void ZFrame::setPivotPoint(ZVector& offset) { movePivot(offset, false); }

void ZFrame::setPivotPointKeepingNormals(ZVector& offset) { movePivot(offset, true); }

void ZFrame::movePivot(ZVector& offset, bool keepNormals) {
  const ZVector position = getPosition();
  ZVector low(99999, 99999, 99999);
  ZVector high(-99999, -99999, -99999);
  for (ZGeometry* g : geometries) {
    g->computeBoundingBox();
    const ZVector boxLow = g->bboxMin + position;
    const ZVector boxHigh = g->bboxMax + position;
    low = {std::min(low.x, boxLow.x), std::min(low.y, boxLow.y), std::min(low.z, boxLow.z)};
    high = {std::max(high.x, boxHigh.x), std::max(high.y, boxHigh.y), std::max(high.z, boxHigh.z)};
  }
  const ZVector centre = (low + high) * 0.5f;
  centre.print("center");
  position.print("old");
  offset = (centre - position) + offset;
  offset.print("New pivot");

  for (ZGeometry* g : geometries) {
    for (SVertex& v : g->vertices) v.position = v.position - offset;
    if (keepNormals) {
      g->generateFaceNormals();
    } else {
      g->generateNormals();
    }
    g->recompile();
  }
  for (ZFrame* child : children) child->moveStep(offset * -1.0f);
  moveStep(offset);
}

void ZFrame::rotatePivotPoint(const ZVector& anglesDEG) {
  const ZVector axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  // Vertices turn by Rx Ry Rz and the frame by the inverse in reverse order, so every
  // combination of angles keeps the meshes in place.
  ZMatrix rotation;
  bool turned = false;
  for (int i = 0; i < 3; ++i) {
    const float degrees = anglesDEG.getFloatPtr()[i];
    if (degrees == 0) continue;
    rotation = ZMatrix::multiply(rotation, axisRotation(axes[i], degrees * kDegToRad));
    turned = true;
  }
  if (!turned) return;

  for (ZGeometry* g : geometries) {
    for (SVertex& v : g->vertices) v.position = rotation.transformPoint(v.position, false);
    g->generateNormals();
    g->recompile();
  }
  if (anglesDEG.x != 0) rotatePitch(-anglesDEG.x * kDegToRad);
  if (anglesDEG.y != 0) rotateHeadingDEG(-anglesDEG.y);
  if (anglesDEG.z != 0) rotateRollDEG(-anglesDEG.z);
}

void ZFrame::rotateGeometries(float degrees) {
  for (ZGeometry* g : geometries) g->rotateY(degrees);
  for (ZFrame* child : children) child->rotateGeometries(degrees);
  ZVector position = getPosition();
  position.rotate2D(degrees);
  move(position);
}

ZGeometry* ZFrame::rayIntersect(const ZVector& origin, const ZVector& direction,
                                float& outDistance) {
  float best = kNoHit;
  ZGeometry* hit = nullptr;
  for (ZGeometry* g : geometries) {
    if (!g->visible) continue;
    for (const SFace& f : g->faces) {
      if (!g->isFaceInRange(f)) continue;
      float t = 0, u = 0, v = 0;
      if (rayTriangle(origin, direction, g->vertices[size_t(f.a)].position,
                      g->vertices[size_t(f.b)].position, g->vertices[size_t(f.c)].position, t, u,
                      v) &&
          t > 0 && t < best) {
        best = t;
        hit = g;
      }
    }
  }
  outDistance = best;
  if (!hit) zlog("Intersection not found\n");
  return hit;
}
