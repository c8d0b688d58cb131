// XFileParser: reads the meshes of an X file (any encoding, see XFileTokenizer) into one
// triangle list, the way D3DXLoadMeshFromX presents a file.
// - Every Mesh, at top level or in the Frame tree, is appended; vertices are moved into the
//   file's root space by the FrameTransformMatrix of each enclosing frame (row vectors:
//   v * local * parent), normals by the matching inverse transpose, then renormalised.
// - Vertices keep the file's numbering; a position used with different normals (MeshNormals
//   faces) gets one extra copy per further normal. Polygons become triangle fans.
// - Each mesh's MeshMaterialList adds its materials (inline or `{ Name }` references to
//   earlier named Materials) and gives faces their ids; a list shorter than the faces repeats
//   its last id. Where some meshes have materials and others none, the others get one white
//   default material; a file without any material list has none and all ids 0.
// - Read and checked, nothing else: every index against its array (faces, normal faces,
//   material ids, SkinWeights vertices), array lengths that must match (texture coordinates,
//   normal faces), material counts. Anything else (animation, templates, vertex colours,
//   duplication indices, declarations) is skipped by its braces.
// Any violation, a truncated file or Frames nested deeper than kMaxFrameDepth fails the parse.
#pragma once

#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/XFileTokenizer.h"

// One vertex in the layout of FVF D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1 (32 bytes).
struct XFileVertex {
  float position[3];
  float normal[3];   // zero where the file gives none
  float texture[2];  // as stored (u right, v down); zero where the file gives none
};

struct XFileMaterial {
  D3DMATERIAL9 material{};  // diffuse = faceColor; ambient stays 0, as the file has none
  std::string textureFilename;
  bool hasTexture = false;
};

struct XFileScene {
  std::vector<XFileVertex> vertices;
  std::vector<uint32_t> indices;  // three per triangle
  std::vector<DWORD> attributes;  // per triangle, index into materials (0 when empty)
  std::vector<XFileMaterial> materials;
};

class XFileParser {
 public:
  static constexpr int kMaxFrameDepth = 64;

  // Parses file into scene (which it clears first). False for malformed input (see above);
  // scene is then unspecified. May throw std::bad_alloc.
  bool parse(std::span<const uint8_t> file, XFileScene& scene);

 private:
  struct MeshParts;

  bool openObject(std::string* name);
  bool closeObject();
  bool skipObject();
  bool readFloats(float* values, size_t count);
  // count polygons of at least three corners, each corner index below limit.
  bool readPolygons(uint32_t count, uint32_t limit, std::vector<uint32_t>& starts,
                    std::vector<uint32_t>& corners);

  bool readFrame(int depth);
  bool readMesh();
  bool readNormals(MeshParts& mesh);
  bool readTextureCoords(MeshParts& mesh);
  bool readMaterialList(MeshParts& mesh);
  bool readMaterial(std::string& name, XFileMaterial& material);
  bool readSkinWeights(const MeshParts& mesh);

  void appendMesh(const MeshParts& mesh);
  void transformVertices(size_t first, const float matrix[16]);
  void assignDefaultMaterial();

  XFileTokenizer tokens;
  XFileScene* scene = nullptr;
  std::unordered_map<std::string, XFileMaterial> namedMaterials;
};
