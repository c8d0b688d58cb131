// A node of the scene graph: a named local transform with an ordered list of meshes and an
// ordered list of child frames. Loaders build the tree, the renderer walks it, the editor edits
// it in place (moving, re-pivoting, collapsing, lookups by name).
//
// The frame borrows its meshes, its children and the engine: the engine that created them owns
// them, and every removal below only unlinks. Positions and rotations are local to the parent;
// world values are found by walking `parent`. Diagnostics go through zlog. Terrain frames derive
// from this class and replace the virtual slots.
#pragma once

#include "foundation/ZMatrix.h"
#include "foundation/ZVector.h"

#include <cstdint>
#include <string>
#include <vector>

class ZCorvane;
class ZGeometry;

// Sub-tree totals of ZFrame::getStatistics, in this order.
struct SFrameStatistics {
  uint32_t triangles = 0;
  uint32_t vertices = 0;
  uint32_t frames = 0;
  uint32_t geometries = 0;
};

class ZFrame {
 public:
  ZFrame() = default;
  virtual ~ZFrame() = default;
  ZFrame(const ZFrame&) = delete;
  ZFrame& operator=(const ZFrame&) = delete;

  // Logs the sub-tree: `depth` tabs and "<name>", then the mesh names and the children one tab
  // deeper. depth is restored on return; null starts from 0.
  virtual void print(int* depth = nullptr);
  // Unlinks (never destroys) the first child named exactly `name` at each level of the walk,
  // clearing its moveable flag; children that do not match are searched first.
  virtual void releaseFrame(const std::string& name);
  // First own mesh whose name matches ignoring case; with `recursive`, then the first match of
  // each child asked the same way. Null when none.
  virtual ZGeometry* getGeometry(const std::string& name, bool recursive);
  // First descendant named exactly `name` (case-sensitive), this frame excluded; it is marked
  // moveable. Null when none.
  virtual ZFrame* getFrame(const std::string& name);
  // The local matrix, never null.
  virtual ZMatrix* getMatrix() { return &matrix; }
  // Copies every mesh of the sub-tree into the engine's shared buffers ("Already compiled" and
  // "no geoms and no children" when there is nothing to do). The meshes are prepared side by
  // side first (ZGeometry::prepareCompile), then copied in tree order.
  virtual void compile();
  // compile of a sub-tree whose meshes have been prepared.
  void compilePrepared();
  // Draws the sub-tree through the engine. maxdist -1: no distance clipping of meshes; loddist
  // -1: level-of-detail distance measured from the camera. useMaterial false draws with the
  // state in force (shadow and overlay passes).
  virtual void render(bool useMaterial, float maxdist, float loddist);
  // The editor's wireframe overlay of the selected frame and mesh.
  virtual void renderOverlay();

  // Appends g (borrowed, not null) and gives it this frame's engine.
  void addGeometry(ZGeometry* g);
  // Appends f (borrowed, not null) and makes this frame its parent.
  void addChild(ZFrame* f);
  // Becomes other: its name and matrix, and its meshes and children appended here (other keeps
  // none). A loader uses it to make the root its caller gave the file's own root.
  void takeOver(ZFrame& other);
  // Unlinks the first occurrence of g here, or else tries every child; absent: nothing.
  void removeGeometry(const ZGeometry* g);
  // Unlinks f from the children of this sub-tree; f's parent is left as it was.
  void removeFrame(const ZFrame* f);
  // The top of the tree (this frame when it has no parent).
  ZFrame* getRoot();
  // Levels above this frame (0 for a root) and below it (0 for a leaf). Operations on a tree
  // recurse once per level, so loaders keep trees of files within kMaxDepth levels.
  static constexpr int kMaxDepth = 256;
  int depth() const;
  int height() const;
  // True when child's sub-tree can go below this frame within kMaxDepth levels.
  bool canAdopt(const ZFrame& child) const { return depth() + 1 + child.height() < kMaxDepth; }
  // Sets both limits (distances from the camera) and puts them in force.
  void setLOD(float in, float out);
  void setRenderMode(int32_t mode) { renderMode = mode; }
  // Adds the sub-tree's face, vertex, frame and mesh counts to stats.
  void getStatistics(SFrameStatistics& stats) const;
  // 3 x the face count of this frame's own meshes.
  int32_t getIndexCount() const;

  // Rows 3, 2, 1, 0 of the local matrix.
  ZVector getPosition() const { return matrix.getPosition(); }
  ZVector getHeading() const { return matrix.row(2); }
  ZVector getUp() const { return matrix.row(1); }
  ZVector getRight() const { return matrix.row(0); }
  // Sets the local position; the vector form logs "uffa" when element 15 is 0.
  void move(float x, float y, float z);
  void move(const ZVector& position);
  // Adds to the local position.
  void moveStep(float x, float y, float z);
  void moveStep(const ZVector& offset);
  // Position += heading x distance ("uffa" as move).
  void moveForward(float distance);
  // Rebuilds the rotation from a heading and an up vector (ZMatrix::setHeadingUp).
  void setHeadingUp(const ZVector& heading, const ZVector& up);
  // Rotations about the frame's own X, Y, Z axes, applied before the current matrix.
  void rotatePitchDEG(float degrees);
  void rotateHeadingDEG(float degrees);
  void rotateRollDEG(float degrees);
  void rotatePitch(float radians);
  // Every matrix of the sub-tree loses its rotation and keeps its position.
  void resetRotation();

  // Local matrix x parent's x ... x root's.
  ZMatrix getWorldMatrix() const;
  // Sum of the positions of this frame and its ancestors (their rotations ignored): the value
  // level-of-detail distances use.
  ZVector getWorldPosition() const;
  // Local point or direction to world space.
  ZVector localToWorld(const ZVector& p) const;
  ZVector localToWorldDirection(const ZVector& d) const;
  // World point or direction to local space (inverse of the above; a singular world matrix
  // leaves the rotation part as identity).
  ZVector worldToLocal(const ZVector& p) const;
  ZVector worldToLocalDirection(const ZVector& d) const;

  // Whole sub-tree operations: own meshes first, then children in order.
  void setGeometryLOD(float in, float out);
  // ZGeometry::scale on every mesh.
  void scaleGeometries(float x, float y, float z);
  // Every mesh whose material is not alpha-blended (or that has none) casts shadows.
  void setShadowCasters();
  // Every mesh material goes back to fixed-function drawing.
  void clearEffects();
  // Writes ZMaterial::materialFlag of every mesh material.
  void setMaterialFlag(bool value);
  void initRadius();
  void loadLightmaps();
  // Clears `compiled` on every frame and mesh, so the next compile makes fresh device copies.
  void prepareRecompile();
  // True when some mesh of the sub-tree has an alpha-blended material.
  bool hasTransparent() const;
  // Orders this frame's own meshes: opaque before blended, with effect before without, then by
  // effect, sortKey and first-stage texture. Stable.
  void sortGeometries();

  // Bakes every child that is neither moveable nor holds a blended material into this frame
  // (recursively, so vertices pass through every matrix on the way up) and, when target is not
  // null, moves this frame's meshes into target in target's space. Frames kept below a merged
  // child move up to this frame with their world transform unchanged.
  void collapseMoveable(ZFrame* target);
  // Moves the frame origin to the centre of its meshes' combined box plus `offset`, keeping the
  // meshes and children in place (exactly so for an unrotated frame); offset receives the shift
  // applied. Meshes get new normals and are recompiled.
  void setPivotPoint(ZVector& offset);
  // The same move for meshes whose vertex normals came from a file: those are kept (a move
  // does not turn them) and only face normals are made.
  void setPivotPointKeepingNormals(ZVector& offset);
  // Turns the frame's axes by anglesDEG (about X, then Y, then Z) while the meshes keep their
  // place; children turn with the frame. Meshes get new normals and are recompiled.
  void rotatePivotPoint(const ZVector& anglesDEG);
  // Rotates the sub-tree's meshes and each frame's position about the vertical axis by degrees;
  // frame rotations are unchanged.
  void rotateGeometries(float degrees);
  // Nearest visible own mesh hit by the ray (local space, children not tested) with the hit
  // distance in outDistance; null and 9999999 (logged "Intersection not found") when none.
  ZGeometry* rayIntersect(const ZVector& origin, const ZVector& direction, float& outDistance);

  float lodIn = 0;
  float lodOut = 0;
  bool hasLOD = false;
  std::vector<ZGeometry*> geometries;  // borrowed, drawn in this order
  std::vector<ZFrame*> children;       // borrowed, drawn in this order
  std::string name;
  ZFrame* parent = nullptr;     // set by addChild
  ZCorvane* engine = nullptr;   // borrowed; copied into every mesh added
  int32_t renderMode = 0;       // 1 and 2 select the renderer's visibility tests
  bool visible = true;          // false: the sub-tree is not drawn
  bool moveable = false;        // must stay a separate node (see getFrame, collapseMoveable)
  bool compiled = false;        // the sub-tree's meshes have device copies
  ZMatrix matrix;               // local transform relative to the parent
  uint32_t editorHandle = 0;    // how the editor names it to its clients; 0 until it is named

 private:
  void movePivot(ZVector& offset, bool keepNormals);
  // Calls visit(ZGeometry&) on every mesh of the sub-tree: own meshes first, then each child's.
  template <typename Visit>
  void forEachGeometry(const Visit& visit) {
    for (ZGeometry* g : geometries) visit(*g);
    for (ZFrame* child : children) child->forEachGeometry(visit);
  }
};
