// Imports scenes made by other programs: ASE (with its animation and spline passes), OBJ with
// its MTL library, XSI, X, glTF, and FBX, DAE, 3DS, PLY and STL through assimp. Every import
// creates its frames, geometries, materials and cameras through the renderer's factories (no
// device needed) and lists them here in creation order; the caller attaches the top-level frames
// to its scene (attachTo). Readers are bounds-checked: every index taken from a file is checked
// before use, a bad one skips that element with a log line (a glTF file failing a check is
// refused whole).
#pragma once

#include "foundation/ZQuaternion.h"
#include "foundation/ZVector.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ZCamera;
class ZCorvane;
class ZFrame;
class ZGeometry;
class ZMaterial;

// One step of a frame's keyframe animation: from the previous key's frame number and value to
// this key's.
struct ZRotationKey {
  int32_t fromFrame = 0;
  int32_t toFrame = 0;
  ZQuaternion from;
  ZQuaternion to;
};
struct ZPositionKey {
  int32_t fromFrame = 0;
  int32_t toFrame = 0;
  ZVector from;
  ZVector to;
};
// The animation read for one frame (by the frame's name).
struct ZAnimationTrack {
  std::string frameName;
  std::vector<ZRotationKey> rotations;
  std::vector<ZPositionKey> positions;
};
// A named spline: its control points, converted like positions.
struct ZSpline {
  std::string name;
  std::vector<ZVector> points;
};

class ZObjectBuilder {
 public:
  // renderer creates every object an import makes; borrowed, not null.
  explicit ZObjectBuilder(ZCorvane* renderer);
  virtual ~ZObjectBuilder() = default;
  ZObjectBuilder(const ZObjectBuilder&) = delete;
  ZObjectBuilder& operator=(const ZObjectBuilder&) = delete;

  void setModelPath(const std::string& folder) { modelPath = folder; }
  // Imports modelPath/name.ase (textures in modelPath/texture/) or, with modelInOwnFolder,
  // modelPath/name/name.ase (textures in modelPath/name/texture/), then its animation and spline
  // passes, under a new root frame named name; the root, or null when the file does not exist
  // or cannot be read.
  ZFrame* load3DObject(const std::string& name);
  // The ASE main pass over one file, textures looked up in texturePath; false when the file
  // cannot be read (or is a text encoding it does not read).
  bool loadASE(const std::string& fileName);
  // The keyframes of an ASE file into `animations`.
  bool loadAnimation(const std::string& fileName);
  // The spline shapes of an ASE file into `splines`.
  bool loadSplines(const std::string& fileName);
  // An OBJ file and its MTL library (textures in the OBJ's folder + "/texture/").
  bool loadOBJ(const std::string& fileName);
  // An XSI text scene.
  bool loadXSI(const std::string& fileName, bool multi);
  // An X mesh through the platform's loader, as a frame with one geometry per material.
  bool loadX(const std::string& fileName);
  // A glTF 2.0 scene (.gltf, or .glb by its extension): nodes as frames, triangle primitives as
  // geometries, with materials and cameras, mirrored into the engine's left-handed axes.
  bool loadGLTF(const std::string& fileName);
  // loadGLTF over a file's bytes already in memory (.glb with binary); external buffers are
  // read beside fileName.
  bool loadGLTFBytes(std::string_view content, const std::string& fileName, bool binary);
  // An FBX, DAE, 3DS, PLY or STL scene read through assimp, converted as loadGLTF converts.
  bool loadAssimp(const std::string& fileName);

  // The same imports over text already in memory (file names only name it in the log; the
  // texture folder is texturePath).
  bool loadASEText(std::string_view text, const std::string& fileName);
  bool loadAnimationText(std::string_view text, const std::string& fileName);
  bool loadSplinesText(std::string_view text, const std::string& fileName);
  bool loadOBJText(std::string_view obj, std::string_view mtl, const std::string& fileName);
  bool loadXSIText(std::string_view text, const std::string& fileName, bool multi);

  // Adds every created frame that has no parent as a child of root; a model root of the file
  // (modelRoot) gives root its name, matrix, meshes and children instead.
  void attachTo(ZFrame* root) const;

  ZCorvane* renderer = nullptr;  // borrowed
  float scale = 1.0f;            // applied to every imported position
  // Vertices in node space, NODE_PARENT links and mirrored-node winding honoured; clear: every
  // node keeps world-space vertices and hangs directly under the import root.
  bool useHierarchy = false;
  bool modelInOwnFolder = false;  // load3DObject's folder layout
  std::string modelPath;
  std::string texturePath;  // texture folder of the current import, ending in "/"
  std::string modelFolder;  // folder of the current import's file (no "/" at the end)

  // Created by the imports, in creation order (owned by the renderer).
  std::vector<ZFrame*> frames;
  std::vector<ZGeometry*> geometries;
  std::vector<ZMaterial*> materials;
  std::vector<ZCamera*> cameras;
  ZVector sunPosition;  // TM_POS of the sun light, when the file has one
  // The header lighting and the model's own root of a glTF file this program exported.
  ZVector ambientLight;
  ZVector sunDiffuse;
  ZFrame* modelRoot = nullptr;
  std::vector<ZAnimationTrack> animations;
  std::vector<ZSpline> splines;
};
