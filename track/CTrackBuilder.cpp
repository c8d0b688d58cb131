#include "track/CTrackBuilder.h"

#include "formats/ZFileZMF.h"
#include "foundation/TQExplorer.h"
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"
#include "foundation/ZReplacingFile.h"
#include "foundation/cvMath.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "render/ZTexture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The corner length factor as the stage layout has always used it.
constexpr double kCornerDegToRad = 0.01745329238474369;

// The value of a definition key up to the end of its line, blanks trimmed: the INI reader runs a
// value to the next carriage return, so a file with bare line feeds would carry the rest along.
std::string definitionValue(const ZINIReader& reader, const char* key) {
  std::string value = reader.getString("MATERIAL", key);
  value = value.substr(0, value.find_first_of("\r\n"));
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

}  // namespace

CTrackBuilder::CTrackBuilder(ZFrame* frame)
    : target(frame), engine(frame != nullptr ? frame->engine : nullptr) {
  initBumpMap();
}

// --- layout ---

float CTrackBuilder::addStraight(float length) {
  SSectorInfo sector;
  sector.start = position;
  sector.end = position + heading * length + ZVector(0, settings.slope * length, 0);
  position = sector.end;
  sector.length = length;
  sector.bump = 0.005f;
  sector.width = settings.roadWidth;
  sector.camber = settings.camber;
  if (isChangeNeeded(settings.surfaceTypeChange)) {
    settings.surfaceType = std::min(int32_t(cvRand() * 2), int32_t{1});  // cvRand() may be 1
  }
  sector.surfaceType = settings.surfaceType;
  addSector(sector);
  return length;
}

float CTrackBuilder::addCorner(float radius, float angle) {
  SSectorInfo sector;
  sector.start = position;
  sector.length = float(std::fabs(double(radius) * angle * kCornerDegToRad));
  ZVector side = heading;
  side.y = 0;
  side.normalize();
  side.rotate2D(90);
  const float turn = float(cvSng(angle));
  sector.center = position + side * (radius * turn);
  side.rotate2D(angle);
  sector.end =
      sector.center + side * (-radius * turn) + ZVector(0, settings.slope * sector.length, 0);
  heading.rotate2D(angle);
  position = sector.end;
  sector.angle = angle;
  sector.radius = radius;
  sector.type = 1;
  sector.bump = 0.005f;
  sector.width = settings.roadWidth;
  sector.camber = settings.camber;
  sector.surfaceType = settings.surfaceType;
  addSector(sector);
  return sector.length;
}

SSectorInfo& CTrackBuilder::addSector(const SSectorInfo& sector) {
  SSectorInfo* last = sectors.empty() ? nullptr : &sectors.back();
  SSectorInfo& added = sectors.emplace_back(sector);
  added.prev = last;
  added.next = nullptr;
  if (last != nullptr) last->next = &added;
  added.direction = added.end - added.start;
  added.direction.normalize();
  return added;
}

void CTrackBuilder::init(float totalLength) {
  settings.surfaceType = 1;
  initMaterials(tarmac, "tarmac", {});
  initMaterials(gravel, "gravel", {});
  initMaterials(outs, "outs", {"grass"});
  initMaterials(trees, "tree", {"asia"});

  settings.camber = {0, 0.05f, 0};
  settings.slope = 0;
  addStraight(50);
  settings.roadWidth = 6;
  settings.slope = 0.09f;
  addStraight(50);
  settings.slope = 0.09f;
  addCorner(10, 180);

  settings.totalLength = totalLength;
  settings.reference = {0, 0, 1};
  for (float laid = 0; laid < settings.totalLength;) {
    // Lean the corners back towards the start direction once the stage has turned away from it.
    float bias = 0.5f;
    if (heading.dotProduct(settings.reference) < 0) {
      bias = (heading % settings.reference).y > 0 ? 0.0f : 1.0f;
    }
    zlog("cr=%f\n", double(bias));
    const float choice = cvRand();
    const float radius = cvRand() * 100 + 20;
    const float angle = choice <= bias ? -(cvRand() * 60) - 20 : cvRand() * 60 + 20;
    laid += addCorner(radius, angle);
    settings.slope = cvRand() * 0.02f + 0.07f;
    settings.roadWidth = 6 + cvRand();
    laid += addStraight(cvRand() * 200 + 50);
  }
  addStraight(250);
}

bool CTrackBuilder::isChangeNeeded(float percent) { return cvRand() * 100 < percent; }

STBMaterial* CTrackBuilder::getMaterial(STBMaterialList& list, STBMaterial*& current,
                                        float percent) {
  if (list.empty()) return nullptr;
  if (current == nullptr || isChangeNeeded(percent)) {
    const size_t index = size_t(cvRand() * float(list.size()));
    current = &list[std::min(index, list.size() - 1)];  // cvRand() may be exactly 1
  }
  return current;
}

int32_t CTrackBuilder::cornerGrade(float radius) {
  if (radius < 40) return 1;
  if (radius < 60) return 2;
  if (radius < 90) return 3;
  if (radius < 120) return 4;
  return 5;
}

std::string CTrackBuilder::cutExtension(const std::string& name) {
  return name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
}

// --- bump map ---

void CTrackBuilder::initBumpMap() {
  // cvRand() is a 15-bit draw scaled: the draw alone is kept, at half the memory of a float.
  bumpMap.resize(size_t(kBumpMapSide) * kBumpMapSide);
  for (uint16_t& draw : bumpMap) draw = uint16_t(cvRand15());
}

size_t CTrackBuilder::bumpCell(const ZVector& p) {
  // Cells by centimetre, wrapped every 10 m; coordinates beyond any cell read cell 0.
  const auto cell = [](float coordinate) {
    const double scaled = std::fabs(double(coordinate)) * 100;
    if (scaled < 0x1p62) return size_t(uint64_t(scaled) % kBumpMapSide);
    return std::isfinite(scaled) ? size_t(std::fmod(std::floor(scaled), kBumpMapSide)) : size_t{0};
  };
  return cell(p.x) * kBumpMapSide + cell(p.z);
}

ZVector CTrackBuilder::getBump(const ZVector& p, float amplitude) const {
  const float value = float(bumpMap[bumpCell(p)]) * kRandScale;
  return p + ZVector(0, value * amplitude, 0);
}

void CTrackBuilder::prefetchBump(const ZVector& p) const {
  __builtin_prefetch(&bumpMap[bumpCell(p)]);
}

// --- materials ---

void CTrackBuilder::initMaterials(STBMaterialList& list, const std::string& folder,
                                  const std::vector<std::string>& filters) {
  if (engine == nullptr) return;
  const std::string path = "trackbuilder/" + folder + "/";
  TQExplorer explorer;
  explorer.listFiles(path + "*.dds");
  // Name order, not the file system's, so that a seed gives the same stage everywhere.
  std::sort(explorer.files.begin(), explorer.files.end());
  for (const std::string& file : explorer.files) {
    const bool wanted =
        filters.empty() || std::any_of(filters.begin(), filters.end(), [&](const auto& filter) {
          return file.find(filter) != std::string::npos;
        });
    if (!wanted) continue;
    ZMaterial* material = engine->getNewMaterial();
    material->setTexture(engine->getTexture(path + file));
    material->stage(0).textureName = path + file;
    material->stage(0).mipMapFilter = 2;
    STBMaterial& stb = list.emplace_back();
    stb.material = material;
    loadSTB(path + file, stb);
  }
}

void CTrackBuilder::loadSTB(const std::string& texturePath, STBMaterial& stb) {
  const std::string definition = cutExtension(texturePath) + ".txt";
  zlog("trying %s\n", definition.c_str());
  ZINIReader reader;
  reader.load(definition);
  if (!reader.loaded) return;
  zlog("Loading material def %s\n", definition.c_str());
  const float stepU = reader.getFloat("MATERIAL", "STEPU");
  if (stepU > 0 && std::isfinite(stepU)) {
    stb.stepU = stepU;
  } else {
    zlog("%s: STEPU must be a positive length; kept %f\n", definition.c_str(), double(stb.stepU));
  }
  if (definitionValue(reader, "TYPE") == "GRAVEL") stb.type = "GRAVEL";
}

bool CTrackBuilder::hasSurfaces(const STBMaterialList& list, const char* what) {
  if (!list.empty()) return true;
  if (reportedEmpty.insert(&list).second) {
    zlog("no %s surfaces in trackbuilder/: what is made of them is left out\n", what);
  }
  return false;
}

STBMaterial* CTrackBuilder::pickMaterial(STBMaterialList& list, STBMaterial*& current,
                                         float percent, const char* what) {
  return hasSurfaces(list, what) ? getMaterial(list, current, percent) : nullptr;
}

// --- build ---

void CTrackBuilder::build() {
  if (target == nullptr || sectors.empty()) return;
  notes.clear();
  heading = sectors.front().direction;
  position = sectors.front().start;
  sectorCounter = 1;
  const int64_t count = int64_t(sectors.size());
  for (SSectorInfo& sector : sectors) {
    buildSector(sector);
    const int64_t built = sectorCounter++;
    if (listener != nullptr) listener->onZMFProgress(kProgressTitle, int32_t(built * 100 / count));
  }
  writeNotes();
}

void CTrackBuilder::writeNotes() {
  notesWritten = false;
  if (notesPath.empty()) return;  // kept in notes alone
  ZReplacingFile file(notesPath);
  file.write(notes.data(), notes.size());
  notesWritten = file.commit();
  if (!notesWritten) zlog("cannot write the pace notes %s\n", notesPath.c_str());
}

void CTrackBuilder::buildSector(SSectorInfo& sector) {
  if (sector.isCorner()) {
    buildCorner(sector);
  } else {
    buildStraight(sector);
  }
}

void CTrackBuilder::buildStraight(SSectorInfo& sector) {
  heading = sector.direction;
  heading.y = 0;
  heading.normalize();
  ZGeometry* road = buildStrips(sector);
  if (road != nullptr && sectorCounter == 2) road->setVar("RALLYSTART", 1);
  if (road != nullptr && sectorCounter == int32_t(sectors.size()) - 1) road->setVar("RALLYEND", 1);
  addCamera(sector);
  const std::string roadType = sector.surfaceType == 1 ? "GRAVEL" : "ROAD";
  if (sector.next != nullptr && sector.next->isCorner()) {
    addPaceNote(*sector.next, std::to_string(sectorCounter) + roadType);
  }
  position = sector.end;
}

void CTrackBuilder::buildCorner(SSectorInfo& sector) {
  buildStrips(sector);
  heading.rotate2D(sector.angle);
  position = sector.end;
}

void CTrackBuilder::addCamera(const SSectorInfo& sector) {
  if (engine == nullptr) return;
  ZVector side = heading;
  side.rotate2D(90);
  const ZVector at = sector.midpoint() + side * (-sector.width * 0.6f) + ZVector(0, 1.7f, 0);
  ZCamera* camera = engine->getNewCamera();
  camera->name = std::to_string(sectorCounter) + "Camera";
  camera->move(at.x, at.y, at.z);
  camera->heading = heading;  // down the road
  camera->maxFov = 60;
  camera->minFov = 20;
  camera->tag = sectorCounter;  // the sector it covers
  cameras.push_back(camera);
}

void CTrackBuilder::addPaceNote(const SSectorInfo& corner, const std::string& roadName) {
  const int32_t grade = -cvSng(corner.angle) * cornerGrade(corner.radius);
  notes += roadName + " " + std::to_string(grade) + "\n";
}

SSurfaceInfo CTrackBuilder::sectorSurface(const SSectorInfo& sector) const {
  SSurfaceInfo info;
  info.start = sector.start;
  info.end = sector.end;
  info.length = sector.length;
  info.step = sector.step;
  info.angle = sector.angle;
  info.center = sector.center;
  info.direction = sector.direction;
  info.prevDirection = sector.prev != nullptr ? sector.prev->direction : sector.direction;
  info.bumpLeft = sector.bump;
  info.bumpRight = sector.bump;
  return info;
}

ZGeometry* CTrackBuilder::buildStrips(SSectorInfo& sector) {
  const bool curve = sector.isCorner();
  // Each edge starts where the previous sector's ended.
  const float startHalf = (sector.prev != nullptr ? sector.prev->width : sector.width) / 2;
  const float endHalf = sector.width / 2;
  const SOutsInfo& widths = sector.outs;
  const SSurfaceInfo base = sectorSurface(sector);

  ZGeometry* road = nullptr;
  const bool gravelRoad = sector.surfaceType == 1;
  if (STBMaterial* surface =
          gravelRoad
              ? pickMaterial(gravel, settings.gravelMaterial, settings.gravelChange, "gravel")
              : pickMaterial(tarmac, settings.roadMaterial, settings.roadChange, "tarmac")) {
    SSurfaceInfo info = base;
    info.type = gravelRoad ? "GRAVEL" : "ROAD";
    info.material = surface->material;
    info.repeatLength = surface->stepU;
    info.threeColumns = true;
    info.edgeHeights = sector.camber;
    info.x0 = -startHalf;
    info.x0End = -endHalf;
    info.x1 = startHalf;
    info.x1End = endHalf;
    road = buildStrip(kRoad, info, curve);
  }

  // The verges: {strip, material, change, inner offset, width, inner height, outer height}.
  struct Verge {
    Strip strip;
    STBMaterial*& current;
    float change;
    float side;  // +1 right, -1 left
    float innerOffset, width, innerHeight, outerHeight;
  };
  const Verge verges[] = {
      {kRight1, settings.outsRight1, settings.outsRight1Change, 1, 0, widths.right1Width, 0,
       widths.right1Height},
      {kLeft1, settings.outsLeft1, settings.outsLeft1Change, -1, 0, widths.left1Width, 0,
       widths.left1Height},
      {kRight2, settings.outsRight2, settings.outsRight2Change, 1, widths.right1Width,
       widths.right2Width, widths.right1Height, widths.right2Height},
      {kLeft2, settings.outsLeft2, settings.outsLeft2Change, -1, widths.left1Width,
       widths.left2Width, widths.left1Height, widths.left2Height},
  };
  for (const Verge& verge : verges) {
    STBMaterial* surface = pickMaterial(outs, verge.current, verge.change, "verge");
    if (surface == nullptr) continue;
    SSurfaceInfo info = base;
    info.type = surface->type;
    info.material = surface->material;
    info.repeatLength = surface->stepU;
    // x0 is the left edge and x1 the right one, whichever side of the road the strip is on.
    const float innerStart = verge.side * (startHalf + verge.innerOffset);
    const float innerEnd = verge.side * (endHalf + verge.innerOffset);
    const float outerStart = innerStart + verge.side * verge.width;
    const float outerEnd = innerEnd + verge.side * verge.width;
    const bool right = verge.side > 0;
    info.x0 = right ? innerStart : outerStart;
    info.x0End = right ? innerEnd : outerEnd;
    info.x1 = right ? outerStart : innerStart;
    info.x1End = right ? outerEnd : innerEnd;
    info.h0 = info.h0End = right ? verge.innerHeight : verge.outerHeight;
    info.h1 = info.h1End = right ? verge.outerHeight : verge.innerHeight;
    if (verge.strip == kRight1 && !curve) info.treeSpacing = 8.0f;
    buildStrip(verge.strip, info, curve);
  }

  const SWallsInfo& walls = sector.walls;
  for (const bool right : {true, false}) {
    const float heightStart = right ? walls.rightHeightStart : walls.leftHeightStart;
    const float heightEnd = right ? walls.rightHeightEnd : walls.leftHeightEnd;
    if (heightStart == 0 && heightEnd == 0) continue;
    const float side = right ? 1.0f : -1.0f;
    const float offset = right ? walls.rightOffset : walls.leftOffset;
    SSurfaceInfo info = base;
    info.type = "WALL";
    info.textureName = "boxbars.tga";
    info.alphaTest = true;
    info.flipWinding = !right;
    // A vertical strip: x1 carries the top edge, x0 the foot.
    info.x0 = info.x1 = side * (startHalf + offset);
    info.x0End = info.x1End = side * (endHalf + offset);
    info.h1 = heightStart;
    info.h1End = heightEnd;
    if (ZGeometry* wall = buildStrip(right ? kRightWall : kLeftWall, info, curve)) {
      wall->castShadow = true;
    }
  }
  return road;
}

ZGeometry* CTrackBuilder::buildStrip(Strip strip, SSurfaceInfo& info, bool curve) {
  // A corner's texture runs on from the straight before it; a straight's starts at 0.
  info.textureStart = curve ? stripTextureEnd[strip] : 0.0f;
  ZGeometry* mesh = curve ? buildCurveSurface(info) : buildStraightSurface(info);
  stripTextureEnd[strip] = info.textureStart + info.length / info.repeatLength;
  return mesh;
}
