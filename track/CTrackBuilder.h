// The procedural stage builder: lays out a random point-to-point stage as a chain of straight and
// corner sectors (init), then builds every sector into meshes of the target frame (build): a
// crowned, bumpy road, four verge strips, optional walls, billboard trees with invisible
// collision boxes, a trackside camera per straight, start and finish markers and a pace-note
// file. Surfaces come from the texture folders below "trackbuilder/" of the current folder.
//
// Every random draw goes through cvRand, in a fixed order: seed it (cvSeed) before constructing
// the builder and the same seed gives the same stage. The implementation is split into
// CTrackBuilder.cpp (layout, materials, build order) and CTrackBuilderSurface.cpp (strips, trees).
#pragma once

#include "foundation/ZVector.h"
#include "track/SBuildSettings.h"
#include "track/SSectorInfo.h"
#include "track/SSurfaceInfo.h"

#include <array>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

class IZMFListener;
class ZCamera;
class ZCorvane;
class ZFrame;
class ZGeometry;
class ZMaterial;

class CTrackBuilder {
 public:
  static constexpr const char* kProgressTitle = "Velora Track Builder";
  static constexpr int kBumpMapSide = 1000;

  // target receives the meshes; its engine makes every object. A null target allows the layout
  // alone (init's materials and build need a frame).
  explicit CTrackBuilder(ZFrame* frame);
  virtual ~CTrackBuilder() = default;
  CTrackBuilder(const CTrackBuilder&) = delete;
  CTrackBuilder& operator=(const CTrackBuilder&) = delete;

  // Loads the materials and lays out the stage: two straights and a hairpin, random corners and
  // straights until their length reaches totalLength metres, and a closing 250 m straight.
  void init(float totalLength = 2000);
  // Builds every sector into meshes and writes the pace notes to notesPath.
  void build();

  // Append a sector at the current position and heading; each returns the sector's length.
  float addStraight(float length);
  float addCorner(float radius, float angle);
  // Appends a copy of sector linked to the last one, its direction set; returns the copy.
  SSectorInfo& addSector(const SSectorInfo& sector);
  void buildSector(SSectorInfo& sector);

  // True when cvRand() x 100 < percent (one draw either way).
  static bool isChangeNeeded(float percent);
  // current, replaced by a random entry of list when it is null or a change is drawn; null for
  // an empty list.
  static STBMaterial* getMaterial(STBMaterialList& list, STBMaterial*& current, float percent);
  // The pace-note grade of a corner: 1 below a 40 m radius, then 2, 3, 4 below 60, 90, 120, else 5.
  static int32_t cornerGrade(float radius);
  // name without its last four characters (the extension of "x.dds").
  static std::string cutExtension(const std::string& name);

  // A kBumpMapSide-square map of cvRand() values, tiled every 10 m at 1 cm.
  void initBumpMap();
  // p raised by the map's value under it times amplitude.
  ZVector getBump(const ZVector& p, float amplitude) const;
  // Starts fetching the map's value under p: strips ask for it a row ahead, since the cells of
  // a row lie far apart in the map and each would otherwise wait for memory.
  void prefetchBump(const ZVector& p) const;

  // Appends a material for every "trackbuilder/<folder>/*.dds" whose name contains one of the
  // filters (any name without filters), in name order, each with its definition file read.
  void initMaterials(STBMaterialList& list, const std::string& folder,
                     const std::vector<std::string>& filters);
  // Reads the definition file of texturePath (the same name ending in ".txt"): section
  // "MATERIAL", keys "STEPU" and "TYPE". A missing file changes nothing.
  static void loadSTB(const std::string& texturePath, STBMaterial& stb);

  // One strip of the current sector from the builder's position and heading; the mesh is added
  // to the target frame and returned.
  ZGeometry* buildStraightSurface(SSurfaceInfo& info);
  ZGeometry* buildCurveSurface(SSurfaceInfo& info);
  // A billboard tree of two crossed quads (half-width size.x, height size.y) and its invisible
  // collision box (half-size collisionSize.x, height collisionSize.y).
  void addTree(const ZVector& foot, STBMaterial* mat, const ZVector& size,
               const ZVector& collisionSize);

  IZMFListener* listener = nullptr;  // borrowed; told the build's progress
  STBMaterialList tarmac, gravel, outs, trees;
  std::string notesPath = "notes.txt";  // where build writes the pace notes; empty: nowhere
  std::string notes;                    // the pace notes of the last build
  bool notesWritten = false;            // whether the last build could write them
  std::vector<ZCamera*> cameras;        // made by build, owned by the engine
  ZVector heading{0, 0, 1};
  ZVector position{0, 0, -10};
  SBuildSettings settings;
  std::deque<SSectorInfo> sectors;  // in chain order; a deque keeps the links valid as it grows
  int32_t sectorCounter = 0;        // the sector being built, from 1

 private:
  // The strips of a sector, each continuing its texture from the previous sector's.
  enum Strip { kRoad, kRight1, kLeft1, kRight2, kLeft2, kRightWall, kLeftWall, kStripCount };

  void buildStraight(SSectorInfo& sector);
  void buildCorner(SSectorInfo& sector);
  // The road, verge and wall strips of sector; the road mesh (null when it has no material).
  ZGeometry* buildStrips(SSectorInfo& sector);
  ZGeometry* buildStrip(Strip strip, SSurfaceInfo& info, bool curve);
  // info with the sector's centre line, length, step and bumps.
  SSurfaceInfo sectorSurface(const SSectorInfo& sector) const;
  // False (logged once per list) when list is empty.
  bool hasSurfaces(const STBMaterialList& list, const char* what);
  // The surface of list for a strip; null (logged once per list) when the list is empty.
  STBMaterial* pickMaterial(STBMaterialList& list, STBMaterial*& current, float percent,
                            const char* what);
  void addCamera(const SSectorInfo& sector);
  void addPaceNote(const SSectorInfo& sector, const std::string& roadName);
  void writeNotes();
  ZGeometry* buildSurface(SSurfaceInfo& info, bool curve);
  ZMaterial* stripMaterial(const SSurfaceInfo& info);
  ZMaterial* collisionMaterial();
  static size_t bumpCell(const ZVector& p);

  ZFrame* target;
  ZCorvane* engine;
  std::vector<uint16_t> bumpMap;                     // the cvRand15() draws, row-major
  std::array<float, kStripCount> stripTextureEnd{};  // where each strip's texture ended
  std::set<const STBMaterialList*> reportedEmpty;
  ZMaterial* wallMaterial = nullptr;  // shared by the collision boxes
};
