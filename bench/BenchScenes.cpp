#include "bench/BenchScenes.h"

#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <cmath>
#include <cstdio>
#include <string>

void fillCurvedPatch(ZGeometry& g, float x0, float z0, int grid) {
  for (int j = 0; j <= grid; ++j) {
    for (int i = 0; i <= grid; ++i) {
      const float u = float(i) / grid, v = float(j) / grid;
      g.addVertex({x0 + u, 0.2f * std::sin(u * 3.0f) * std::cos(v * 3.0f), z0 + v});
    }
  }
  const auto at = [grid](int i, int j) { return j * (grid + 1) + i; };
  for (int j = 0; j < grid; ++j) {
    for (int i = 0; i < grid; ++i) {
      g.addTriangle(at(i, j), at(i, j + 1), at(i + 1, j));
      g.addTriangle(at(i + 1, j), at(i, j + 1), at(i + 1, j + 1));
    }
  }
  g.generateNormals();
}

ZFrame* makeRoadTrack(ZCorvane& engine, int meshes, int side) {
  ZFrame* root = engine.getNewFrame();
  root->name = "track";
  ZMaterial* material = engine.getNewMaterial();
  for (int m = 0; m < meshes; ++m) {
    ZFrame* frame = engine.getNewFrame();
    frame->name = "sector" + std::to_string(m);
    root->addChild(frame);
    ZGeometry* g = engine.getNewGeometry();
    g->name = "road" + std::to_string(m);
    for (int z = 0; z < side; ++z) {
      for (int x = 0; x < side; ++x) {
        g->addVertex({float(x), std::sin(float(x + m) * 0.1f) * std::cos(float(z) * 0.07f),
                      float(z)});
        g->setTextureVertex(int(g->vertices.size()) - 1, float(x) * 0.1f, float(z) * 0.1f, 0);
      }
    }
    for (int z = 0; z + 1 < side; ++z) {
      for (int x = 0; x + 1 < side; ++x) {
        const int i = z * side + x;
        g->addTriangle(i, i + side, i + 1);
        g->addTriangle(i + 1, i + side, i + side + 1);
      }
    }
    g->generateNormals();
    g->computeTangentFrames();
    g->setMaterial(material);
    frame->addGeometry(g);
  }
  return root;
}

bool writeAseRoads(const std::string& path, int objects, int side) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof(buffer));
  std::fprintf(out, "*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"generated track\"\n");
  std::fprintf(out, "*MATERIAL_LIST {\n\t*MATERIAL_COUNT 1\n\t*MATERIAL 0 {\n");
  std::fprintf(out, "\t\t*MATERIAL_NAME \"asphalt\"\n\t\t*MATERIAL_CLASS \"Standard\"\n");
  std::fprintf(out, "\t\t*MATERIAL_DIFFUSE 0.5000\t0.5000\t0.5000\n");
  std::fprintf(out, "\t\t*MAP_DIFFUSE {\n\t\t\t*MAP_AMOUNT 1.0000\n");
  std::fprintf(out, "\t\t\t*BITMAP \"C:\\maps\\asphalt.tga\"\n\t\t}\n\t}\n}\n");
  const int faces = 2 * (side - 1) * (side - 1);
  for (int o = 0; o < objects; ++o) {
    const float offset = float(o) * float(side - 1);
    std::fprintf(out, "*GEOMOBJECT {\n\t*NODE_NAME \"road%03d\"\n\t*NODE_TM {\n", o);
    std::fprintf(out, "\t\t*NODE_NAME \"road%03d\"\n\t\t*TM_ROW0 1.0000\t0.0000\t0.0000\n", o);
    std::fprintf(out, "\t\t*TM_ROW1 0.0000\t1.0000\t0.0000\n\t\t*TM_ROW2 0.0000\t0.0000\t1.0000\n");
    std::fprintf(out, "\t\t*TM_POS %.4f\t0.0000\t0.0000\n\t}\n\t*MESH {\n\t\t*TIMEVALUE 0\n",
                 offset);
    std::fprintf(out, "\t\t*MESH_NUMVERTEX %d\n\t\t*MESH_NUMFACES %d\n\t\t*MESH_VERTEX_LIST {\n",
                 side * side, faces);
    for (int v = 0; v < side * side; ++v) {
      const int x = v % side, y = v / side;
      std::fprintf(out, "\t\t\t*MESH_VERTEX %5d\t%.4f\t%.4f\t%.4f\n", v, offset + float(x),
                   float(y), std::sin(float(x + o) * 0.1f) * std::cos(float(y) * 0.07f));
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_FACE_LIST {\n");
    for (int f = 0; f < faces; ++f) {
      const int cell = f / 2, x = cell % (side - 1), y = cell / (side - 1);
      const int a = y * side + x;
      const int b = f % 2 == 0 ? a + 1 : a + side + 1;
      const int c = f % 2 == 0 ? a + side + 1 : a + side;
      std::fprintf(out,
                   "\t\t\t*MESH_FACE %5d:    A: %5d B: %5d C: %5d AB:    1 BC:    1 CA:    0"
                   "\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n",
                   f, a, b, c);
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_NUMTVERTEX %d\n\t\t*MESH_TVERTLIST {\n", side * side);
    for (int v = 0; v < side * side; ++v) {
      std::fprintf(out, "\t\t\t*MESH_TVERT %5d\t%.4f\t%.4f\t0.0000\n", v,
                   float(v % side) * 0.25f, float(v / side) * 0.25f);
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_NUMTVFACES %d\n\t\t*MESH_TFACELIST {\n", faces);
    for (int f = 0; f < faces; ++f) {
      const int cell = f / 2, a = cell / (side - 1) * side + cell % (side - 1);
      std::fprintf(out, "\t\t\t*MESH_TFACE %5d\t%5d\t%5d\t%5d\n", f, a,
                   f % 2 == 0 ? a + 1 : a + side + 1, f % 2 == 0 ? a + side + 1 : a + side);
    }
    std::fprintf(out, "\t\t}\n\t\t*MESH_NORMALS {\n");
    for (int f = 0; f < faces; ++f) {
      std::fprintf(out, "\t\t\t*MESH_FACENORMAL %5d\t0.0000\t0.0000\t1.0000\n", f);
      for (int k = 0; k < 3; ++k) {
        std::fprintf(out, "\t\t\t\t*MESH_VERTEXNORMAL %5d\t0.0995\t-0.0499\t0.9938\n", k);
      }
    }
    std::fprintf(out, "\t\t}\n\t}\n\t*PROP_MOTIONBLUR 0\n\t*PROP_CASTSHADOW 1\n");
    std::fprintf(out, "\t*PROP_RECVSHADOW 1\n\t*MATERIAL_REF 0\n}\n");
  }
  return std::fclose(out) == 0;
}

