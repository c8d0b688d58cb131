// The strips a sector is built from, and the trees beside it.
#include "track/CTrackBuilder.h"

#include "foundation/ZLog.h"
#include "foundation/cvMath.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>

namespace {

constexpr const char* kStripEffect = "shadowmap.fxo";

float lerp(float from, float to, float t) { return from + (to - from) * t; }

// Row k of a strip's steps rows after the first: how far along it is (t, 0 to 1), its
// centre-line point and its two edge points (unbumped, without their heights).
struct StripRow {
  float t = 0;
  ZVector centre, right, left;
};

// A straight's rows run evenly from start to end; a corner's lie on its arc about the centre,
// the heading turning with them, so both meet their neighbours exactly. arm is a corner's radius
// towards its start.
StripRow stripRow(const SSurfaceInfo& info, bool curve, const ZVector& flatHeading,
                  const ZVector& arm, int k, int steps) {
  StripRow row;
  row.t = float(k) / float(steps);
  ZVector along = flatHeading;
  row.centre = info.start + (info.end - info.start) * row.t;
  if (curve) {
    along.rotate2D(info.angle * row.t);
    ZVector turned = arm;
    turned.rotate2D(info.angle * row.t);
    row.centre = info.center + turned;
    row.centre.y = lerp(info.start.y, info.end.y, row.t);
  }
  if (k == steps) row.centre = info.end;
  ZVector lateral = along;
  lateral.rotate2D(90);
  row.right = row.centre + lateral * lerp(info.x1, info.x1End, row.t);
  row.left = row.centre + lateral * lerp(info.x0, info.x0End, row.t);
  return row;
}

// A quad p[0..3], counter-clockwise seen from its front, textured over the whole picture.
void addQuad(ZGeometry& g, const ZVector (&p)[4]) {
  const int first = int(g.vertices.size());
  const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
  for (int i = 0; i < 4; ++i) {
    g.addVertex(p[i]);
    g.setTextureVertex(first + i, uv[i][0], uv[i][1], 0);
  }
  g.addTriangle(first, first + 1, first + 2);
  g.addTriangle(first, first + 2, first + 3);
}

}  // namespace

ZGeometry* CTrackBuilder::buildStraightSurface(SSurfaceInfo& info) {
  return buildSurface(info, false);
}

ZGeometry* CTrackBuilder::buildCurveSurface(SSurfaceInfo& info) { return buildSurface(info, true); }

// Rows across the strip every step along it: three vertices (right edge, centre, left edge) or
// two (right, left).
ZGeometry* CTrackBuilder::buildSurface(SSurfaceInfo& info, bool curve) {
  if (engine == nullptr || target == nullptr) return nullptr;
  const float rowsAlong = info.step > 0 ? std::floor(info.length / info.step) : 1.0f;
  const int steps = int(std::clamp(rowsAlong, 1.0f, 1e6f));
  ZGeometry* mesh = engine->getNewGeometry();
  mesh->name = std::to_string(sectorCounter) + info.type;
  mesh->setMaterial(stripMaterial(info));
  const int columns = info.threeColumns ? 3 : 2;
  mesh->vertices.reserve(size_t(steps + 1) * size_t(columns));
  mesh->faces.reserve(size_t(steps) * size_t(info.threeColumns ? 4 : 2));
  ZVector flatHeading = heading;
  flatHeading.y = 0;
  flatHeading.normalize();
  ZVector arm = info.start - info.center;  // a corner's radius towards its start
  arm.y = 0;
  float treeDistance = 0;
  StripRow next = stripRow(info, curve, flatHeading, arm, 0, steps);
  for (int k = 0; k <= steps; ++k) {
    const StripRow row = next;
    if (k < steps) {
      next = stripRow(info, curve, flatHeading, arm, k + 1, steps);
      prefetchBump(next.right);
      if (info.threeColumns) prefetchBump(next.centre);
      prefetchBump(next.left);
    }
    const float t = row.t;
    const ZVector &centre = row.centre, &right = row.right, &left = row.left;
    const float texture =
        info.textureStart + float(k) * (info.length / info.repeatLength) / float(steps);
    const int first = int(mesh->vertices.size());
    if (info.threeColumns) {
      mesh->addVertex(getBump(right, info.bumpRight) + ZVector(0, info.edgeHeights.z, 0));
      mesh->addVertex(getBump(centre, info.bumpRight) + ZVector(0, info.edgeHeights.y, 0));
      mesh->addVertex(getBump(left, info.bumpLeft) + ZVector(0, info.edgeHeights.x, 0));
      for (int c = 0; c < 3; ++c) mesh->setTextureVertex(first + c, 0.5f * float(c), texture, 0);
    } else {
      mesh->addVertex(getBump(right, info.bumpRight) + ZVector(0, lerp(info.h1, info.h1End, t), 0));
      mesh->addVertex(getBump(left, info.bumpLeft) + ZVector(0, lerp(info.h0, info.h0End, t), 0));
      for (int c = 0; c < 2; ++c) {
        const ZVector& p = mesh->vertices[size_t(first + c)].position;
        if (info.planarUV != 0) {
          mesh->setTextureVertex(first + c, p.x * info.planarUV, p.z * info.planarUV, 0);
        } else {
          mesh->setTextureVertex(first + c, texture, float(c), 0);
        }
      }
    }
    if (k == 0) continue;
    const int b = first - columns;  // the previous row
    if (info.threeColumns) {
      mesh->addTriangle(b, b + 1, b + 4);
      mesh->addTriangle(b, b + 4, b + 3);
      mesh->addTriangle(b + 1, b + 2, b + 5);
      mesh->addTriangle(b + 1, b + 5, b + 4);
    } else if (info.flipWinding) {
      mesh->addTriangle(b + 2, b + 1, b);
      mesh->addTriangle(b + 2, b + 3, b + 1);
    } else {
      mesh->addTriangle(b, b + 1, b + 2);
      mesh->addTriangle(b + 1, b + 3, b + 2);
    }
    if (info.treeSpacing == 0) continue;
    if (treeDistance < info.treeSpacing) {
      treeDistance += info.step;
      continue;
    }
    treeDistance = 0;
    if (hasSurfaces(trees, "tree")) {
      const ZVector foot = (mesh->vertices[size_t(first)].position +
                            mesh->vertices[size_t(first + columns - 1)].position) *
                           0.5f;
      const float halfWidth = cvRand() * 2 + 1;
      const float height = cvRand() * 4 + 8;
      addTree(foot, &trees.front(), {halfWidth, height, 0}, {0.5f, 5.0f, 0});
    }
  }
  next.centre.print("current");
  info.end.print("end");
  mesh->generateFaceNormals();
  mesh->generateNormals();
  target->addGeometry(mesh);
  return mesh;
}

ZMaterial* CTrackBuilder::stripMaterial(const SSurfaceInfo& info) {
  ZMaterial* material = info.material;
  if (material == nullptr) {
    material = engine->getNewMaterial();
    material->setTexture(engine->getTexture("trackbuilder/texture/" + info.textureName));
    if (info.alphaTest) {
      material->alphaRef = 0;
      material->setShadeModel(1);
      material->doubleFace = true;
    }
  }
  if (material->effectName != kStripEffect) material->initEffect(kStripEffect);
  return material;
}

void CTrackBuilder::addTree(const ZVector& foot, STBMaterial* mat, const ZVector& size,
                            const ZVector& collisionSize) {
  if (engine == nullptr || target == nullptr || mat == nullptr) return;
  const float x = foot.x, y = foot.y, z = foot.z;
  ZGeometry* tree = engine->getNewGeometry();
  tree->name = std::to_string(sectorCounter) + "TREE";
  const float w = size.x, top = y + size.y;
  addQuad(*tree, {{x - w, y, z}, {x + w, y, z}, {x + w, top, z}, {x - w, top, z}});
  addQuad(*tree, {{x, y, z + w}, {x, y, z - w}, {x, top, z - w}, {x, top, z + w}});
  ZMaterial* leaves = mat->material;
  leaves->doubleFace = true;
  leaves->materialFlag = false;
  leaves->alphaRef = 250;
  leaves->setShadeModel(1);
  tree->setMaterial(leaves);
  tree->generateFaceNormals();
  tree->generateNormals();
  tree->visible = true;
  tree->castShadow = true;
  target->addGeometry(tree);

  ZGeometry* box = engine->getNewGeometry();
  box->name = std::to_string(sectorCounter) + "WALL";
  const float h = collisionSize.x, x0 = x - h, x1 = x + h, z0 = z - h, z1 = z + h;
  const float y1 = y + collisionSize.y;
  addQuad(*box, {{x0, y, z1}, {x1, y, z1}, {x1, y1, z1}, {x0, y1, z1}});  // +z
  addQuad(*box, {{x1, y, z0}, {x0, y, z0}, {x0, y1, z0}, {x1, y1, z0}});  // -z
  addQuad(*box, {{x1, y, z1}, {x1, y, z0}, {x1, y1, z0}, {x1, y1, z1}});  // +x
  addQuad(*box, {{x0, y, z0}, {x0, y, z1}, {x0, y1, z1}, {x0, y1, z0}});  // -x
  box->setMaterial(collisionMaterial());
  box->generateFaceNormals();
  box->generateNormals();
  box->visible = false;
  target->addGeometry(box);
}

ZMaterial* CTrackBuilder::collisionMaterial() {
  if (wallMaterial == nullptr) {
    wallMaterial = engine->getNewMaterial();
    wallMaterial->setDiffuse(1, 0, 1, true);
  }
  return wallMaterial;
}
