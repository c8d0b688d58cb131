// One mesh: an indexed triangle list with one material, named float variables and the data
// the renderer derives from it (face normals, vertex normals and tangent frames, bounding
// sphere and box). Loaders, importers and the track builder fill it vertex by vertex and
// triangle by triangle; the editor edits it in place.
//
// Vertices and faces are stored by value in contiguous arrays. Face indices are kept at full
// width, so a mesh of more than 65536 vertices never aliases one vertex for another; a face
// with an index outside the vertex list is kept (after a warning) but skipped by every pass
// that reads vertices by index. Diagnostics go through zlog.
#pragma once

#include "foundation/ZVector.h"

#include <cstdint>
#include <string>
#include <vector>

class ZCorvane;
class ZMaterial;
class ZVertexBuffer;

// One vertex; all fields 0 when created.
struct SVertex {
  ZVector position;  // frame-local space
  ZVector normal;
  float t0[2] = {0, 0};  // texture channel 0 (u, v)
  float t1[2] = {0, 0};  // texture channel 1 (lightmap)
  ZVector tangent;
  ZVector binormal;
  float reserved = 0;
};
static_assert(sizeof(SVertex) == 17 * sizeof(float), "SVertex must stay 17 packed floats");

// One triangle. a, b, c index the mesh's vertex list and may lie outside it (see above).
struct SFace {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  ZVector normal;  // e2 x e1 of the normalised edges at b: length is the sine of that angle
  ZVector tangent;
  ZVector binormal;
  // Faces share vertex normals only within one group.
  int32_t smoothingGroup = 0;
};

using SVertexList = std::vector<SVertex>;
using SFaceList = std::vector<SFace>;

// A named per-mesh value ("SMOOTH", "CHECKWALLS", "RALLYSTART", "RALLYEND", ...).
struct SGeometryVar {
  std::string name;
  float value = 0;
};

// One index range and vertex copy of a compiled mesh in the engine's shared buffers. A mesh that
// 16-bit indices can address is one piece holding all its vertices; a larger one is split by
// faces into pieces that each can.
struct SGeometryPiece {
  ZVertexBuffer* vertexBuffer = nullptr;  // borrowed from the engine
  int32_t baseVertex = 0;
  ZVertexBuffer* indexBuffer = nullptr;   // borrowed from the engine
  int32_t startIndex = 0;
  int32_t vertexCount = 0;
  int32_t triangleCount = 0;
  std::vector<int32_t> sourceVertices;  // mesh vertex of each piece vertex; empty: all, in order
};

class ZGeometry {
 public:
  ZGeometry() = default;
  virtual ~ZGeometry() = default;
  ZGeometry(const ZGeometry&) = delete;
  ZGeometry& operator=(const ZGeometry&) = delete;

  // Appends a vertex at p (all else 0) and widens bboxMin/bboxMax to hold it.
  void addVertex(const ZVector& p);
  // Appends a face (group 0, vectors 0). Logs "WARNING INDEX=..." for each index outside the
  // vertex list; the face is added all the same.
  void addTriangle(int a, int b, int c);
  // Channel 0 sets t0, channel 1 sets t1; another channel logs a warning and changes nothing.
  // An index outside the vertex list changes nothing.
  void setTextureVertex(int index, float u, float v, int channel);
  // Borrows m (may be null).
  void setMaterial(ZMaterial* m) { material = m; }

  // First variable named exactly `name`: its value into out and true; none: false, out untouched.
  bool getVar(const std::string& varName, float& out) const;
  // Overwrites the first exact match, else appends.
  void setVar(const std::string& varName, float value);
  // setVar for each in order, in time linear in the counts (loaders read thousands).
  void setVars(const std::vector<SGeometryVar>& list);

  // Face normal = normalise(Pc - Pb) x normalise(Pa - Pb), not normalised again.
  void generateFaceNormals();
  // Face normals, then each face's corners get the normalised sum of the normals of all faces of
  // the same smoothing group that touch the corner's position (exact float equality, so -0 and +0
  // weld). Summed in face order; a vertex used under several groups keeps the last face's result.
  // Linear in the face count.
  void generateNormals();
  // Face tangent frames from positions and t0 (a face whose t0 spans no area keeps its previous
  // frame), then each vertex gets the normalised sums over the faces that use it or another
  // vertex of exactly equal position and normal. Reads the current face and vertex normals (run
  // generateNormals first). Linear in the size.
  void computeTangentFrames();

  // center = mean position ((0,0,0) when empty), radius = largest distance to it.
  void initRadius();
  // bboxMin/bboxMax from the vertices; an empty mesh gets the constructor's empty box.
  void computeBoundingBox();

  // Multiplies every position component-wise; normals, box and radius are left as they are.
  void scale(float x, float y, float z);
  // Rotates positions, normals, tangents and binormals about +Y by degrees (ZVector::rotate2D).
  void rotateY(float degrees);
  // Reverses every face's winding (swaps a and c); normals are not regenerated.
  void flipFaces();
  // t0.u = -t0.u for every vertex.
  void invertTextureX();
  // t0.u = fmod(t0.u, 1) (keeping the sign of u) for every vertex, logging old and new value.
  void normalizeTextureCoords();

  // Gives the mesh a lightmap from "<name>_lightmap.dds" found through the engine's
  // shadowDirectoryList: a new engine material copying the old one's colours and sharing its
  // stage 0, with the lightmap on stage 1 (texture channel t1). A missing file logs
  // "Lightmap ... not found" and changes nothing.
  void loadLightmap();
  // Copies the mesh into the engine's shared buffers in the shader layout, split into pieces
  // when 16-bit indices cannot address it whole; nothing when already compiled or empty.
  // compile = prepareCompile, then compilePrepared.
  void compile();
  // The part of compile that touches this mesh only, so that meshes can be prepared side by
  // side: face normals, radius and, with generateTangents, the tangent frames.
  void prepareCompile();
  // The rest of compile, for a mesh prepared since its last edit: the log lines and the copy
  // into the shared buffers.
  void compilePrepared();
  // After an edit that moves vertices but keeps the faces: radius, tangent frames and the device
  // copy again. Nothing when not compiled.
  void recompile();
  // The device copy's vertices written again, in place, from the arrays as they are (faces
  // unchanged since the compile); false, with nothing written, when not compiled or when the
  // vertex count changed since: then only a new compile makes the copy.
  bool rewriteDeviceVertices();
  // Draws the compiled mesh through the engine (deferred when transparent); useMaterial false
  // keeps the state in force instead of applying the material.
  void draw(bool useMaterial);
  // A reduced copy of about targetFaces faces through D3DXSimplifyMesh, named name +
  // "_SIMPLIFIED", with this mesh's material, made by the engine and not compiled; null (with
  // the failing step's log line) when the platform refuses it or there is no engine.
  ZGeometry* getSimplifiedGeometry(int targetFaces);

  // The shader-layout vertices (D3DFVF_CVSVERTEX: position, normal, t0, tangent; 11 floats
  // each) of the listed vertices, or of all when the list is empty.
  static constexpr int32_t kShaderVertexFloats = 11;
  std::vector<float> packShaderVertices(const std::vector<int32_t>& selection = {}) const;

  // True when all three indices of f address vertices of this mesh.
  bool isFaceInRange(const SFace& f) const;

  int32_t generateTangents = 1;  // non-zero: compile computes tangent frames
  int32_t startIndex = 0;        // first index in the engine's shared index buffer
  bool transparent = false;      // drawn in the deferred transparent pass
  std::vector<SGeometryVar> vars;
  ZMaterial* material = nullptr;  // borrowed
  SVertexList vertices;
  SFaceList faces;
  std::string name;
  bool compiled = false;  // a device copy exists
  ZCorvane* engine = nullptr;  // borrowed; owner of the shared buffers
  ZVector center;
  float radius = 0;
  uint32_t fvf = 0x40212;  // vertex format of the device copy
  bool castShadow = false;
  float lodOut = 1e8f;
  float lodIn = 0;
  bool visible = true;
  ZVertexBuffer* vertexBuffer = nullptr;  // borrowed from the engine
  int32_t baseVertex = 0;                 // first vertex of this mesh inside vertexBuffer
  ZVertexBuffer* indexBuffer = nullptr;   // borrowed from the engine
  int32_t sortKey = 0;
  uint32_t editorHandle = 0;  // how the editor names it to its clients; 0 until it is named
  ZVector bboxMin{99999, 99999, 99999};
  ZVector bboxMax{-99999, -99999, -99999};
  int32_t vertexCount = 0;    // at the last compile
  int32_t triangleCount = 0;  // at the last compile
  // Indexed draws one pass over this mesh makes: the pieces compile cuts it into under its
  // engine's limits (0 for an empty mesh, or one with a face too large to draw).
  int32_t drawPieceCount() const;
  // The device copy, at least one piece once compiled; vertexBuffer, baseVertex, indexBuffer
  // and startIndex above are those of the first.
  std::vector<SGeometryPiece> pieces;

 private:
  struct PiecePlan;
  // Faces in order, cut into pieces within the vertex and index limits; empty when a single
  // face does not fit.
  std::vector<PiecePlan> planPieces(int64_t vertexLimit, int64_t indexLimit) const;
  // Writes one piece's indices and vertices into the engine's buffers; false (logged) when the
  // index buffer cannot be written.
  bool writePiece(const PiecePlan& plan, std::vector<int32_t>& localOf);
  void widenBoundingBox(const ZVector& p);
  // f.normal from its corners; f must be in range.
  void faceNormal(SFace& f) const;
};
