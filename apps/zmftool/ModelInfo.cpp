#include "apps/zmftool/ModelInfo.h"

#include "apps/zmftool/JsonWriter.h"
#include "foundation/ZFileName.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct TextureFacts {
  std::string name;
  bool found = false;
  std::string path;
};

// The model gathered depth-first: frames, distinct materials in order of first use, distinct
// texture names, and the totals.
struct Summary {
  std::vector<const ZFrame*> frames;
  std::vector<const ZMaterial*> materials;
  std::vector<TextureFacts> textures;
  size_t geometries = 0;
  size_t vertices = 0;
  size_t triangles = 0;

  explicit Summary(const ZFrame& root) { visit(root); }

  int materialIndex(const ZMaterial* m) const {
    const auto at = std::find(materials.begin(), materials.end(), m);
    return m != nullptr && at != materials.end() ? int(at - materials.begin()) : -1;
  }

 private:
  void visit(const ZFrame& frame) {
    frames.push_back(&frame);
    for (const ZGeometry* g : frame.geometries) {
      ++geometries;
      vertices += g->vertices.size();
      triangles += g->faces.size();
      if (g->material != nullptr && materialIndex(g->material) < 0) addMaterial(*g->material);
    }
    for (const ZFrame* child : frame.children) visit(*child);
  }
  void addMaterial(const ZMaterial& m) {
    materials.push_back(&m);
    for (int i = 0; i < 8; ++i) {
      const ZTexture* t = m.stage(i).texture;
      if (t == nullptr || t->name.empty()) continue;
      const bool known = std::any_of(textures.begin(), textures.end(),
                                     [t](const TextureFacts& f) { return f.name == t->name; });
      if (known) continue;
      const bool found = canOpenForReading(t->name);
      textures.push_back({t->name, found, found ? resolveFileName(t->name) : std::string()});
    }
  }
};

void writeVector(JsonWriter& json, const ZVector& v) {
  json.beginArray();
  json.value(v.x);
  json.value(v.y);
  json.value(v.z);
  json.endArray();
}

void printJson(const LoadedModel& model, const Summary& s, FILE* out) {
  JsonWriter json(out);
  json.beginObject();
  json.field("format", model.format);
  json.key("sunPosition");
  writeVector(json, model.sunPosition);
  json.key("ambientLight");
  writeVector(json, model.ambientLight);
  json.key("sunDiffuse");
  writeVector(json, model.sunDiffuse);
  json.field("frames", s.frames.size());
  json.field("geometries", s.geometries);
  json.field("vertices", s.vertices);
  json.field("triangles", s.triangles);
  json.field("materials", s.materials.size());
  json.field("cameras", model.cameras.size());
  json.key("textures");
  json.beginArray();
  for (const TextureFacts& t : s.textures) {
    json.beginObject();
    json.field("name", t.name);
    json.field("found", t.found);
    json.field("path", t.path);
    json.endObject();
  }
  json.endArray();
  json.key("tree");
  json.beginArray();
  for (const ZFrame* f : s.frames) {
    json.beginObject();
    json.field("name", f->name);
    json.key("parent");
    if (f->parent != nullptr) {
      json.value(f->parent->name);
    } else {
      json.value("");
    }
    json.key("geometries");
    json.beginArray();
    for (const ZGeometry* g : f->geometries) {
      json.beginObject();
      json.field("name", g->name);
      json.field("vertices", g->vertices.size());
      json.field("triangles", g->faces.size());
      json.field("material", s.materialIndex(g->material));
      json.field("transparent", g->transparent);
      json.field("castShadow", g->castShadow);
      json.key("variables");
      json.beginObject();
      for (const SGeometryVar& v : g->vars) {
        json.field(v.name, v.value);
      }
      json.endObject();
      json.endObject();
    }
    json.endArray();
    json.endObject();
  }
  json.endArray();
  json.endObject();
}

void printText(const LoadedModel& model, const Summary& s, FILE* out) {
  std::fprintf(out, "format      %s\n", model.format.c_str());
  const auto vector = [out](const char* label, const ZVector& v) {
    std::fprintf(out, "%-11s %g %g %g\n", label, double(v.x), double(v.y), double(v.z));
  };
  vector("sun", model.sunPosition);
  vector("ambient", model.ambientLight);
  vector("sun colour", model.sunDiffuse);
  std::fprintf(out, "frames %zu, geometries %zu, vertices %zu, triangles %zu, materials %zu, "
               "cameras %zu\n", s.frames.size(), s.geometries, s.vertices, s.triangles,
               s.materials.size(), model.cameras.size());
  for (const ZFrame* f : s.frames) {
    int depth = 0;
    for (const ZFrame* p = f->parent; p != nullptr; p = p->parent) ++depth;
    const std::string indent(size_t(depth) * 2, ' ');
    std::fprintf(out, "%s<%s>\n", indent.c_str(), f->name.c_str());
    for (const ZGeometry* g : f->geometries) {
      std::fprintf(out, "%s  %s: %zu vertices, %zu triangles, material %d%s%s\n", indent.c_str(),
                   g->name.c_str(), g->vertices.size(), g->faces.size(),
                   s.materialIndex(g->material), g->transparent ? ", transparent" : "",
                   g->castShadow ? ", casts shadow" : "");
      for (const SGeometryVar& v : g->vars) {
        std::fprintf(out, "%s    %s = %g\n", indent.c_str(), v.name.c_str(), double(v.value));
      }
    }
  }
  for (const TextureFacts& t : s.textures) {
    std::fprintf(out, "texture %s: %s\n", t.name.c_str(),
                 t.found ? t.path.c_str() : "NOT FOUND");
  }
}

}  // namespace

void printModelInfo(const LoadedModel& model, bool json, FILE* out) {
  const Summary summary(*model.root);
  if (json) {
    printJson(model, summary, out);
  } else {
    printText(model, summary, out);
  }
}
