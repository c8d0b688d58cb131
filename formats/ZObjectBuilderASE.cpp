// The ASE passes of ZObjectBuilder: the main import (materials, meshes, cameras, sun), the
// keyframe pass and the spline pass. Each walks the text line by line; the first word of a line
// is its tag. Every index a line names is checked against the lists read so far.
#include "formats/ZObjectBuilder.h"
#include "formats/import_local.h"

#include "formats/AseLineReader.h"
#include "formats/ParseAhead.h"

#include "foundation/ZFileName.h"
#include "foundation/ZHugePages.h"
#include "foundation/ZLog.h"
#include "foundation/ZMatrix.h"
#include "foundation/ZParse.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace ase;

namespace {

// Whether text holds tag anywhere (a two-way search: fast over a large file).
bool holds(std::string_view text, std::string_view tag) {
  return memmem(text.data(), text.size(), tag.data(), tag.size()) != nullptr;
}

// The file's Z-up axes become the engine's Y-up axes: (x, y, z) -> (x, z, -y). 0 - y keeps a
// zero positive, so logged vectors show no "-0".
ZVector toEngineAxes(const ZVector& v) { return {v.x, v.z, 0.0f - v.y}; }

// v times the upper 3x3 of m (a direction: no translation).
ZVector rotateBy(const ZMatrix& m, const ZVector& v) {
  const ZVector r0 = m.row(0), r1 = m.row(1), r2 = m.row(2);
  return r0 * v.x + r1 * v.y + r2 * v.z;
}

void setRow(ZMatrix& m, int row, const ZVector& v) {
  m.at(row, 0) = v.x;
  m.at(row, 1) = v.y;
  m.at(row, 2) = v.z;
}

// Appends "label (x,y,z)\n" exactly as ZVector::print logs it: to_chars in fixed notation with
// precision 6 writes what printf's %f writes, at a fraction of the cost, which matters for the
// two lines logged per vertex normal.
void appendVectorLine(std::string& out, const char* label, const ZVector& v) {
  char buffer[3 * 64];
  char* cursor = buffer;
  char* const end = buffer + sizeof(buffer);
  for (int i = 0; i < 3; ++i) {
    *cursor++ = i == 0 ? '(' : ',';
    cursor = std::to_chars(cursor, end - 2, (&v.x)[i], std::chars_format::fixed, 6).ptr;
  }
  *cursor++ = ')';
  *cursor++ = '\n';
  out.append(label).append(" ").append(buffer, size_t(cursor - buffer));
}

// State of one main-pass import: the file-wide lists and the node being read.
class AseImport {
 public:
  AseImport(ZObjectBuilder& target, const std::string& file, size_t textSize)
      : b(target), fileName(file), faceBudget(textSize / kShortestFaceLine) {}

  void take(const AseLine& read);
  void finish();

 private:
  enum class Node { None, Geometry, Camera, Light, Other };
  enum class Map { None, Diffuse, Reflect };
  struct Created {
    ZGeometry* geometry;
    bool hasNormals;
  };
  // A face line holds at least "MESH_FACE 0 A:0 B:0 C:0"; no honest file declares more
  // faces than it has room for, so face counts are held to what the text could hold.
  static constexpr size_t kShortestFaceLine = 20;

  void startNode(Node kind);
  void finishNode();
  void materialLine(Tag tag, AseTokens& t);
  void bitmap(const std::string& path);
  void nodeName(const std::string& name);
  void nodeParent(const std::string& name);
  void matrixRow(Tag tag, const ZVector& row);
  void nodePosition(const ZVector& p);
  const ZMatrix& inverseNode();
  void line(Tag tag, AseTokens& t, std::string_view text);
  void listLine(Tag tag, const ListValues& v);
  void meshFace(const ListValues& v);
  void textureFace(const ListValues& v);
  void faceNormal(const ListValues& v);
  void vertexNormal(const ListValues& v);
  ZVector toEngine(const ZVector& v) const { return toEngineAxes(v) * b.scale; }
  // Engine vertex index of a file face's first corner, or -1 (with a log line) when none.
  int32_t faceCorner(int face, const char* what);
  bool hasGeometry() const { return node == Node::Geometry; }

  ZObjectBuilder& b;
  const std::string& fileName;
  size_t faceBudget;
  std::vector<ZMaterial*> fileMaterials;
  std::unordered_map<std::string, ZFrame*> framesByName;
  std::vector<Created> created;
  bool sunRead = false;
  std::string normalLog;  // reused by every vertex normal

  ZMaterial* material = nullptr;
  bool lightmapMaterial = false;
  Map map = Map::None;
  float mapAmount = 1;

  Node node = Node::None;
  std::string name;
  bool named = false;
  int nodeTMs = 0;
  bool inAnimation = false;
  ZGeometry* g = nullptr;
  ZFrame* frame = nullptr;
  ZCamera* camera = nullptr;
  ZMatrix nodeMatrix;
  ZVector fileRow0, fileRow1;
  bool mirrored = false;
  ZMatrix nodeInverse;
  bool inverseValid = false;
  std::vector<ZVector> aseVertices;
  std::vector<std::pair<float, float>> textureVertices;
  int channel = 0;
  std::vector<int32_t> faceStart;  // per file face: its first engine vertex, -1 when skipped
  int32_t normalCorner = -1;       // engine vertex the next MESH_VERTEXNORMAL belongs to
  int32_t normalCornerEnd = -1;
};

void AseImport::take(const AseLine& read) {
  if (read.tag == Tag::Unknown) {
    walkLines(read.text, [this](Tag tag, AseTokens& t, std::string_view text) {
      line(tag, t, text);
    });
  } else {
    listLine(read.tag, read.values);
  }
}

void AseImport::listLine(Tag tag, const ListValues& v) {
  switch (tag) {
    case Tag::MeshVertex: {
      if (!hasGeometry()) return;
      ZVector p = toEngine(v.vector);
      if (b.useHierarchy) p = inverseNode().transformPoint(p, false);
      aseVertices.push_back(p);
      return;
    }
    case Tag::MeshFace: meshFace(v); return;
    case Tag::MeshTVert:
      if (!hasGeometry()) return;
      textureVertices.emplace_back(v.vector.x, 1.0f - v.vector.y);  // the file's v runs up
      return;
    case Tag::MeshTFace: textureFace(v); return;
    case Tag::MeshFaceNormal: faceNormal(v); return;
    default: vertexNormal(v); return;
  }
}

void AseImport::line(Tag tag, AseTokens& t, std::string_view text) {
  switch (tag) {
    case Tag::GeomObject: startNode(Node::Geometry); return;
    case Tag::CameraObject: startNode(Node::Camera); return;
    case Tag::LightObject: startNode(Node::Light); return;
    case Tag::HelperObject:
    case Tag::ShapeObject: startNode(Node::Other); return;
    case Tag::NodeName: nodeName(t.quoted()); return;
    case Tag::NodeParent: nodeParent(t.quoted()); return;
    case Tag::NodeTM: ++nodeTMs; return;
    case Tag::TMRow0:
    case Tag::TMRow1:
    case Tag::TMRow2: matrixRow(tag, t.triple()); return;
    case Tag::TMPos: nodePosition(t.triple()); return;
    case Tag::TMAnimation: inAnimation = true; return;
    case Tag::WireframeColor: {
      const std::string message = "Error: " + name + " has WIREFRAME_COLOR tag";
      MessageBoxA(nullptr, message.c_str(), "Corvane", MB_OK);
      return;
    }
    case Tag::MeshNumFaces: {
      if (!hasGeometry()) return;
      const size_t granted = std::min(size_t(std::max(t.integer(), 0)), faceBudget);
      faceBudget -= granted;
      faceStart.assign(granted, -1);
      g->vertices.reserve(g->vertices.size() + 3 * granted);
      g->faces.reserve(g->faces.size() + granted);
      adviseHugePages(g->vertices);
      adviseHugePages(g->faces);
      return;
    }
    case Tag::MeshMappingChannel:
      // The second channel numbers its texture vertices from 0 again.
      channel = 1;
      textureVertices.clear();
      return;
    case Tag::MaterialRef: {
      if (!hasGeometry()) return;
      const int index = t.integer();
      if (index < 0 || size_t(index) >= fileMaterials.size()) {
        zlog("ASE: %s: material %d of %s does not exist, not applied\n", fileName.c_str(), index,
             name.c_str());
        return;
      }
      g->setMaterial(fileMaterials[size_t(index)]);
      return;
    }
    case Tag::PropCastShadow:
      if (hasGeometry()) g->castShadow = t.integer() != 0;
      return;
    default: break;
  }
  materialLine(tag, t);
  if (material != nullptr && !lightmapMaterial &&
      text.find("MATERIAL_TWOSIDED") != std::string_view::npos) {
    material->setDoubleFace(true);
  }
}

void AseImport::materialLine(Tag tag, AseTokens& t) {
  if (tag == Tag::Material) {
    material = b.renderer->getNewMaterial();
    b.materials.push_back(material);
    fileMaterials.push_back(material);
    lightmapMaterial = false;
    map = Map::None;
    return;
  }
  if (material == nullptr) return;
  switch (tag) {
    case Tag::SubMaterial:
      lightmapMaterial = t.integer() == 1;
      if (lightmapMaterial) zlog("Loading lightmap now\n");
      return;
    case Tag::MapDiffuse:
    case Tag::MapReflect:
    case Tag::MapOther:
      map = tag == Tag::MapDiffuse   ? Map::Diffuse
            : tag == Tag::MapReflect ? Map::Reflect
                                     : Map::None;
      mapAmount = 1;  // a map without MAP_AMOUNT is at full strength
      return;
    case Tag::MapAmount: mapAmount = t.number(); return;
    case Tag::Bitmap: bitmap(t.quoted()); return;
    default: break;
  }
  // The lightmap submaterial lends its bitmap only; its colours are not the material's.
  if (lightmapMaterial) return;
  switch (tag) {
    case Tag::MaterialAmbient: {
      const ZVector c = t.triple();
      material->setAmbient(c.x, c.y, c.z);
      return;
    }
    case Tag::MaterialDiffuse: {
      const ZVector c = t.triple();
      material->setDiffuse(c.x, c.y, c.z, false);
      return;
    }
    case Tag::MaterialSpecular: {
      const ZVector c = t.triple();
      material->setSpecular(c.x, c.y, c.z);
      return;
    }
    case Tag::MaterialEmissive: {
      const ZVector c = t.triple();
      material->setEmissive(c.x, c.y, c.z);
      return;
    }
    case Tag::MaterialSelfIllum: {
      const float v = t.number();
      material->setEmissive(v, v, v);
      return;
    }
    case Tag::MaterialTransparency: material->setOpacity(1.0f - t.number()); return;
    case Tag::MaterialShineStrength: material->setShininess(128.0f - t.number()); return;
    default: return;
  }
}

void AseImport::bitmap(const std::string& path) {
  const Map kind = map;
  map = Map::None;
  // Exporters write the modelling machine's absolute paths; the textures travel with the
  // model, so the bare file name is looked for in the model's folders.
  const std::string file = import_local::importTextureFile(b, path);
  if (kind == Map::Diffuse) {
    ZTexture* texture = b.renderer->getTexture(file);
    ZMaterialStage& s = material->stage(lightmapMaterial ? 1 : 0);
    if (lightmapMaterial) {
      s.texture = texture;
      s.active = true;
      s.colorArg1 = 1;      // current
      s.colorArg2 = 2;      // texture
      s.colorOp = 4;        // modulate
      s.texCoordIndex = 1;  // lightmap coordinates
    } else {
      material->setTexture(texture);
    }
    s.textureName = file;
    s.storedTextureName = path;
    s.magFilter = s.minFilter = s.mipMapFilter = 2;  // linear
    return;
  }
  if (kind != Map::Reflect || !canOpenForReading(file)) return;
  ZMaterialStage& s = material->stage(1);
  s.texture = b.renderer->getTexture(file);
  s.textureName = file;
  s.storedTextureName = path;
  s.texCoordIndex = 262145;  // sphere-map generation on coordinate set 1
  s.colorOp = 14;            // blend by the texture factor's alpha
  s.colorArg1 = 1;           // current
  s.active = true;
  material->textureFactor = mapAmount;
  zlog("ENVAMOUNT=%f\n", double(mapAmount));
}

void AseImport::startNode(Node kind) {
  finishNode();
  node = kind;
  name.clear();
  named = false;
  nodeTMs = 0;
  inAnimation = false;
  g = nullptr;
  frame = nullptr;
  camera = nullptr;
  nodeMatrix.loadIdentity();
  mirrored = false;
  inverseValid = false;
  aseVertices.clear();
  textureVertices.clear();
  channel = 0;
  faceStart.clear();
  normalCorner = normalCornerEnd = -1;
  if (kind == Node::Geometry) {
    g = b.renderer->getNewGeometry();
    frame = b.renderer->getNewFrame();
    frame->addGeometry(g);
    b.frames.push_back(frame);
    b.geometries.push_back(g);
    created.push_back({g, false});
  } else if (kind == Node::Camera) {
    camera = b.renderer->getNewCamera();
    b.cameras.push_back(camera);
  }
}

void AseImport::finishNode() {
  if (node != Node::Geometry || !b.useHierarchy) return;
  // Vertices were brought into node space, so the frame carries the node's transform,
  // relative to its parent when it has one.
  frame->matrix = frame->parent != nullptr
                      ? ZMatrix::multiply(nodeMatrix, frame->parent->getWorldMatrix().inverse())
                      : nodeMatrix;
}

void AseImport::nodeName(const std::string& value) {
  // Animation blocks repeat the name; a camera's or light's second transform names its target.
  if (inAnimation || nodeTMs > 1 || node == Node::None) return;
  if (!named) name = value;
  named = true;
  if (node == Node::Camera) {
    camera->name = value;
  } else if (node == Node::Geometry) {
    g->name = value;
    frame->name = value;
    framesByName.try_emplace(value, frame);
    zlog("geom name=%s\n", value.c_str());
  }
}

void AseImport::nodeParent(const std::string& parentName) {
  if (!b.useHierarchy || !hasGeometry()) return;
  const auto found = framesByName.find(parentName);
  if (found == framesByName.end() || found->second == frame || frame->parent != nullptr) {
    zlog("ASE: %s: parent %s of %s not found\n", fileName.c_str(), parentName.c_str(),
         name.c_str());
    return;
  }
  if (!found->second->canAdopt(*frame)) {
    zlog("ASE: %s: %s would nest deeper than %d levels, kept at the top\n", fileName.c_str(),
         name.c_str(), ZFrame::kMaxDepth);
    return;
  }
  found->second->addChild(frame);
}

void AseImport::matrixRow(Tag tag, const ZVector& fileRow) {
  if (nodeTMs > 1) return;
  ZVector row = fileRow;
  row.normalize();
  inverseValid = false;
  // Rows are the images of the file's axes; in engine axes the file's Z row is the up row and
  // the file's Y row is minus the heading row.
  if (tag == Tag::TMRow0) {
    nodeMatrix.loadIdentity();
    fileRow0 = row;
    setRow(nodeMatrix, 0, toEngineAxes(row));
    return;
  }
  if (tag == Tag::TMRow1) {
    fileRow1 = row;
    setRow(nodeMatrix, 2, toEngineAxes(row) * -1.0f);
    return;
  }
  setRow(nodeMatrix, 1, toEngineAxes(row));
  if (node != Node::Geometry || fileRow0.dotProduct(fileRow1 % row) >= 0) return;
  mirrored = true;
  const std::string message = "Detected inverted matrix on object " + name;
  MessageBoxA(GetActiveWindow(), message.c_str(), "ZMFEdit2", MB_OK);
  setRow(nodeMatrix, 0, nodeMatrix.row(0) * -1.0f);
}

void AseImport::nodePosition(const ZVector& filePosition) {
  if (nodeTMs > 1) return;
  const ZVector p = toEngine(filePosition);
  inverseValid = false;
  nodeMatrix.setPosition(p.x, p.y, p.z);
  if (node == Node::Camera) {
    camera->position = p;
  } else if (node == Node::Light && !sunRead) {
    sunRead = true;
    b.sunPosition = p;
  }
}

const ZMatrix& AseImport::inverseNode() {
  if (!inverseValid) {
    nodeInverse = nodeMatrix.inverse();
    inverseValid = true;
  }
  return nodeInverse;
}

int32_t AseImport::faceCorner(int face, const char* what) {
  if (face < 0 || size_t(face) >= faceStart.size() || faceStart[size_t(face)] < 0) {
    zlog("ASE: %s: %s names face %d of %s, which does not exist; skipped\n", fileName.c_str(),
         what, face, name.c_str());
    return -1;
  }
  return faceStart[size_t(face)];
}

void AseImport::meshFace(const ListValues& v) {
  if (!hasGeometry()) return;
  const int face = v.index[0];
  const int corners[3] = {v.index[1], v.index[2], v.index[3]};
  const bool known = face >= 0 && size_t(face) < faceStart.size();
  const bool inRange = std::all_of(std::begin(corners), std::end(corners), [&](int c) {
    return c >= 0 && size_t(c) < aseVertices.size();
  });
  if (!known || !inRange) {
    zlog("ASE: %s: face %d of %s (%d %d %d) is outside the mesh; skipped\n", fileName.c_str(), face,
         name.c_str(), corners[0], corners[1], corners[2]);
    return;
  }
  // Corners are never shared: each gets its own vertex, so per-face UVs and normals fit.
  const int first = int(g->vertices.size());
  faceStart[size_t(face)] = first;
  for (int c : corners) g->addVertex(aseVertices[size_t(c)]);
  if (mirrored && b.useHierarchy) {
    g->addTriangle(first + 2, first + 1, first);
  } else {
    g->addTriangle(first, first + 1, first + 2);
  }
}

void AseImport::textureFace(const ListValues& v) {
  if (!hasGeometry()) return;
  const int face = v.index[0];
  const int corners[3] = {v.index[1], v.index[2], v.index[3]};
  const int32_t first = faceCorner(face, "MESH_TFACE");
  if (first < 0) return;
  for (int c : corners) {
    if (c < 0 || size_t(c) >= textureVertices.size()) {
      zlog("ASE: %s: texture face %d of %s names texture vertex %d of %zu; skipped\n",
           fileName.c_str(), face, name.c_str(), c, textureVertices.size());
      return;
    }
  }
  for (int k = 0; k < 3; ++k) {
    const auto& uv = textureVertices[size_t(corners[k])];
    g->setTextureVertex(first + k, uv.first, uv.second, channel);
  }
}

void AseImport::faceNormal(const ListValues& v) {
  normalCorner = normalCornerEnd = -1;
  if (!hasGeometry()) return;
  const int32_t first = faceCorner(v.index[0], "MESH_FACENORMAL");
  if (first < 0) return;
  normalCorner = first;
  normalCornerEnd = first + 3;
}

void AseImport::vertexNormal(const ListValues& v) {
  if (!hasGeometry()) return;
  created.back().hasNormals = true;
  const int index = v.index[0];
  ZVector n = toEngineAxes(v.vector);
  // The three normals after a face normal belong to that face's corners A, B, C; the index
  // names the file vertex, whose corners are separate engine vertices.
  if (normalCorner < 0 || normalCorner >= normalCornerEnd || index < 0 ||
      size_t(index) >= aseVertices.size()) {
    zlog("ASE: %s: vertex normal %d of %s belongs to no face corner; skipped\n", fileName.c_str(),
         index, name.c_str());
    return;
  }
  if (b.useHierarchy) n = rotateBy(inverseNode(), n);
  const bool logged = zlogEnabled();  // two formatted lines per normal: only when read
  if (logged) {
    normalLog.clear();
    appendVectorLine(normalLog, "normal before", n);
  }
  n.normalize();
  if (logged) {
    appendVectorLine(normalLog, "normal after", n);
    zlog("%s", normalLog.c_str());
  }
  g->vertices[size_t(normalCorner++)].normal = n;
}

void AseImport::finish() {
  finishNode();
  for (const Created& c : created) {
    if (!c.hasNormals) c.geometry->generateNormals();
    c.geometry->initRadius();
  }
  zlog("load ok\n");
}

// One CONTROL_*_KEY track of the keyframe pass: the first key only sets the starting value.
template <typename Key, typename Value>
struct KeyChain {
  bool started = false;
  int32_t frame = 0;
  Value value;

  void add(std::vector<Key>& keys, int32_t keyFrame, const Value& keyValue) {
    if (started) keys.push_back({frame, keyFrame, value, keyValue});
    started = true;
    frame = keyFrame;
    value = keyValue;
  }
};

}  // namespace

bool ZObjectBuilder::loadASEText(std::string_view raw, const std::string& fileName) {
  zlog("\nLoading ASE: %s\n", fileName.c_str());
  std::string storage;
  const std::string_view text = decodeText(raw, storage);
  AseImport import(*this, fileName, text.size());
  parse_ahead::parseAheadInOrder<AseLine>(
      text, readAseLines, [&](const AseLine& read) { import.take(read); },
      parse_ahead::helpersForThisMachine());
  import.finish();
  return true;
}

bool ZObjectBuilder::loadAnimationText(std::string_view raw, const std::string& fileName) {
  zlog("\nLoading animation: %s\n", fileName.c_str());
  std::string storage;
  const std::string_view text = decodeText(raw, storage);
  // Most models have no animation: one search of the text instead of a walk over every line.
  if (!holds(text, "*TM_ANIMATION") && !holds(text, "*CONTROL_TCB_ROT_KEY")) return true;
  std::unordered_map<std::string, size_t> trackByName;
  for (size_t i = 0; i < animations.size(); ++i) {
    trackByName.try_emplace(animations[i].frameName, i);
  }
  bool inBlock = false;
  ZAnimationTrack* track = nullptr;  // valid until the next track is added
  KeyChain<ZRotationKey, ZQuaternion> rotations;
  KeyChain<ZPositionKey, ZVector> positions;
  walkLines(text, [&](Tag tag, AseTokens& t, std::string_view) {
    if (startsNode(tag)) {
      inBlock = false;
      track = nullptr;
      return;
    }
    switch (tag) {
      case Tag::TMAnimation:
        inBlock = true;
        track = nullptr;
        rotations = {};
        positions = {};
        return;
      case Tag::NodeName: {
        if (!inBlock || track != nullptr) return;
        const std::string frameName = t.quoted();
        const auto [found, added] = trackByName.try_emplace(frameName, animations.size());
        if (added) animations.push_back({frameName, {}, {}});
        track = &animations[found->second];
        return;
      }
      case Tag::ControlTCBRotKey:
        zlog("*** WARNING CONTROL_TCB_ROT_KEY NOT SUPPORTED ***\n");
        zlog("FILENAME: %s\n", fileName.c_str());
        zlog("FRAME: %s\n", track != nullptr ? track->frameName.c_str() : "");
        return;
      case Tag::ControlRotKey: {
        if (track == nullptr) return;
        const int32_t frame = t.integer();
        // An axis is a direction: the axes turn, the import scale does not apply.
        const ZVector axis = toEngineAxes(t.triple());
        const float half = t.number() * 0.5f;
        const float s = std::sin(half);
        rotations.add(track->rotations, frame,
                      ZQuaternion(std::cos(half), axis.x * s, axis.y * s, axis.z * s));
        return;
      }
      case Tag::ControlPosKey: {
        if (track == nullptr) return;
        const int32_t frame = t.integer();
        positions.add(track->positions, frame, toEngineAxes(t.triple()) * scale);
        return;
      }
      default: return;
    }
  });
  return true;
}

bool ZObjectBuilder::loadSplinesText(std::string_view raw, const std::string& fileName) {
  zlog("\nLoading splines: %s\n", fileName.c_str());
  std::string storage;
  const std::string_view text = decodeText(raw, storage);
  if (!holds(text, "*SHAPEOBJECT")) return true;
  std::vector<ZSpline> read;
  bool inShape = false;
  bool named = false;
  walkLines(text, [&](Tag tag, AseTokens& t, std::string_view) {
    if (startsNode(tag)) {
      inShape = tag == Tag::ShapeObject;
      named = false;
      if (inShape) read.emplace_back();
      return;
    }
    if (!inShape) return;
    if (tag == Tag::NodeName && !named) {
      read.back().name = t.quoted();
      named = true;
    } else if (tag == Tag::ShapeVertexKnot) {
      t.integer();
      read.back().points.push_back(toEngineAxes(t.triple()) * scale);
    }
  });
  splines.insert(splines.end(), std::make_move_iterator(read.begin()),
                 std::make_move_iterator(read.end()));
  return true;
}
