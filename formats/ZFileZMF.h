// The engine's model files: ZMF (binary, versions 20 to 29 read, 28 written) and its text twin
// ZMT. A load builds the file's scene through the renderer's factories (materials, frames,
// geometries, cameras, textures; no device needed) under a root frame; a save writes a frame
// tree back. Readers are bounds-checked: a short or corrupt file ends the load with a log line
// and a null/false result, and a supplied root is left as it was. Saves write a temporary file
// and rename it over the target only when complete.
#pragma once

#include "foundation/ZDirectoryList.h"
#include "foundation/ZVector.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ByteReader;
class ByteWriter;
class TextTokenizer;
class ZCamera;
class ZCorvane;
class ZFrame;
class ZGeometry;
class ZMaterial;
struct ZMaterialStage;

// Told of progress while a file loads.
class IZMFListener {
 public:
  virtual ~IZMFListener() = default;
  virtual void onZMFProgress(const std::string& message, int32_t percent) = 0;
};

class ZFileZMF {
 public:
  // renderer creates every object a load makes; borrowed, not null.
  explicit ZFileZMF(ZCorvane* renderer);
  virtual ~ZFileZMF() = default;
  ZFileZMF(const ZFileZMF&) = delete;
  ZFileZMF& operator=(const ZFileZMF&) = delete;

  // Reads a ZMF file under root (the file's first frame; a new engine frame when null). With
  // mirrorX, x of positions and vectors and channel-0 u are negated and faces rewound. Returns
  // the root, or null when the file cannot be read, is not a ZMF file, or is cut short or
  // corrupt (logged; the supplied root then keeps its name, matrix and contents).
  ZFrame* load(const std::string& fileName, ZFrame* root, bool mirrorX);
  // load over the bytes of a file already in memory (fileName names it in the log).
  ZFrame* loadBytes(std::span<const uint8_t> bytes, ZFrame* root, bool mirrorX);
  // Writes root's tree as version 28 with the header lighting and `cameras`. False (previous
  // file kept) when the file cannot be written or a geometry has more vertices than 16-bit
  // indices address (message box).
  bool save(const std::string& fileName, ZFrame* root);
  // The same tree as ZMT text (no cameras).
  bool saveText(const std::string& fileName, ZFrame* root);
  // Reads a ZMT file under root; true when the whole file was read. On a structural error it
  // logs and stops: what was read so far stays under the root.
  bool loadText(const std::string& fileName, ZFrame* root);
  // loadText over text already in memory (fileName names it in the log).
  bool loadTextBytes(std::string_view text, ZFrame* root);
  // Adds a folder where stage textures are looked up by their bare file name.
  void addTexturePath(const std::string& folder);

  int32_t version = 0;  // of the file being read
  ZVector sunPosition;
  ZVector ambientLight;
  ZVector sunDiffuse;
  ZCorvane* renderer = nullptr;  // borrowed
  ZFrame* root = nullptr;        // borrowed
  bool hasRoot = false;          // the caller supplied root
  bool mirrorX = false;
  ZVector scale{1, 1, 1};  // applied to positions on load
  std::vector<ZMaterial*> materials;  // file order of the last load or save
  std::vector<ZFrame*> frames;        // file order of the last load or save
  std::vector<ZCamera*>* cameras = nullptr;  // the caller's camera list; null: none
  ZDirectoryList texturePaths;
  std::unordered_map<std::string, std::string> resolvedTextures;  // of this load, by bare name
  bool useTexturePaths = false;
  IZMFListener* listener = nullptr;  // borrowed, may be null
  float progress = 0;                // 0 to 100
  float reflectionAmountOverride = -1;
  std::string fileName;

  // A ZMF file's geometries address vertices with 16-bit indices.
  static constexpr size_t kMaxSavedVertices = 65535;

 private:
  // Load and save steps shared by both formats.
  void report(const std::string& message);
  // Depth-first from root, each frame's geometries first: their materials (one entry per
  // geometry, duplicates included) into `materials`, then the frame into `frames`.
  void collect(ZFrame* from);
  // False (message box) when a collected geometry has more vertices than indices address.
  bool checkSavable() const;
  int32_t materialIndex(const ZMaterial* m) const;
  int32_t frameIndex(const ZFrame* f) const;
  // The next frame of a file: the first one is the load's root; a frame is placed with position,
  // heading and up and attached to frames[parent] (to root for -1 or an index naming no frame
  // read before it).
  ZFrame* addFileFrame(const std::string& name, const ZVector& position, const ZVector& heading,
                       const ZVector& up, int32_t parent);
  // The stage texture stored as `stored`: the bare file name, found through texturePaths. Each
  // name is looked up on disk once per load: files repeat it for every mesh's material.
  std::string resolveTextureName(const std::string& stored);
  // The stage's texture from the name stored in the file, both names kept in the stage.
  void attachTexture(ZMaterialStage& stage, const std::string& stored);
  // Moves what a load built under its own first frame into the caller's root (nothing when the
  // file has no frame).
  void adoptIntoRoot(ZFrame* built, ZFrame* target);
  // Statistics line and timing at the end of a load.
  void logLoaded(uint32_t startMs) const;

  // Binary records.
  bool readHeader(ByteReader& in);
  void readMaterial(ByteReader& in, ZMaterial& m);
  void readOldMaterial(ByteReader& in, ZMaterial& m);
  void readFrame(ByteReader& in, float frameShare);
  ZGeometry* readGeometry(ByteReader& in);
  void readCameras(ByteReader& in);
  void writeMaterial(ByteWriter& out, const ZMaterial& m) const;
  void writeFrame(ByteWriter& out, const ZFrame& f) const;
  void writeGeometry(ByteWriter& out, const ZGeometry& g) const;
  void writeCameras(ByteWriter& out) const;

  // Text records. False when the text ends inside the material.
  bool readTextMaterial(TextTokenizer& in);
  // False when the block is not a frame (skipped), the text ends inside it or one of its
  // geometries fails (message box; the frame's remaining geometries are not read).
  bool readTextFrame(TextTokenizer& in, float frameShare);
  // Null when the block is not a geometry or the text ends inside it.
  ZGeometry* readTextGeometry(TextTokenizer& in);
};
