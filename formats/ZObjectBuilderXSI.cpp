// XSI text import. The file is a tree of blocks, each a type, an optional name and a
// brace-enclosed body of values and further blocks ("SI_Model MDL-car { ... }"). Values are
// separated by blanks, commas and line breaks; a quoted string is one value, even when empty or
// holding blanks. The whole text is first read into that tree (nesting is bounded, so a
// hostile file cannot exhaust the stack), then the blocks the engine uses are turned into
// frames, geometries and materials. Every count and index taken from a block is checked
// against the values the block really has before it is used.
#include "formats/ZObjectBuilder.h"
#include "formats/import_local.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/ZMappedFile.h"
#include "foundation/ZParse.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxDepth = 64;

struct Value {
  std::string_view text;
  bool quoted = false;
};

struct Block {
  std::string_view type;
  std::string_view name;
  std::vector<Value> values;
  std::vector<Block> children;
};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool isSeparator(char c) {
  return c == ' ' || c == ',' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\v';
}

// Reads text into root's children. False (with a log line) when blocks nest deeper than
// kMaxDepth; unbalanced braces are tolerated (an extra "}" is ignored, open blocks end with the
// text).
bool parseTree(std::string_view text, Block& root) {
  std::vector<Block*> open{&root};
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (isSeparator(c)) {
      ++i;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      const size_t stop = end == std::string_view::npos ? text.size() : end;
      open.back()->values.push_back({text.substr(i + 1, stop - i - 1), true});
      i = stop + 1;
    } else if (c == '{') {
      if (open.size() > kMaxDepth) {
        zlog("XSI blocks nested deeper than %d, import stopped\n", kMaxDepth);
        return false;
      }
      Block& parent = *open.back();
      Block block;
      // The header is the last unquoted value before the brace, or the last two when the one
      // before it names a block type ("SI_Model MDL-car {").
      std::vector<Value>& values = parent.values;
      if (!values.empty() && !values.back().quoted) {
        block.type = values.back().text;
        values.pop_back();
        if (!values.empty() && !values.back().quoted &&
            (startsWith(values.back().text, "SI_") || startsWith(values.back().text, "XSI_"))) {
          block.name = block.type;
          block.type = values.back().text;
          values.pop_back();
        }
      }
      parent.children.push_back(std::move(block));
      open.push_back(&parent.children.back());
      ++i;
    } else if (c == '}') {
      if (open.size() > 1) open.pop_back();
      ++i;
    } else {
      size_t end = i;
      while (end < text.size() && !isSeparator(text[end]) && text[end] != '"' &&
             text[end] != '{' && text[end] != '}') {
        ++end;
      }
      open.back()->values.push_back({text.substr(i, end - i), false});
      i = end;
    }
  }
  return true;
}

std::string str(std::string_view text) { return std::string(text); }

// Value i of a block as a number, 0 when the block has no such value.
float number(const Block& b, size_t i) {
  return i < b.values.size() ? float(cvAtof(b.values[i].text)) : 0.0f;
}
int64_t integer(const Block& b, size_t i) {
  return i < b.values.size() ? int64_t(cvAtoi(b.values[i].text)) : 0;
}

// The arrays of the mesh being read.
struct MeshArrays {
  std::string name;
  std::vector<ZVector> positions;
  std::vector<ZVector> normals;
  std::vector<float> uvs;  // u, v pairs
};

class XsiReader {
 public:
  explicit XsiReader(ZObjectBuilder& builder)
      : out(builder), textures(builder) {}

  void visitChildren(const Block& b, int depth) {
    for (const Block& child : b.children) visit(child, depth + 1);
  }

 private:
  void visit(const Block& b, int depth) {
    const std::string_view type = b.type;
    if (type == "SI_Light") {
      readLight(b);
    } else if (type == "SI_MaterialLibrary") {
      zlog("Loading material library (SI_MaterialLibrary)\n");
      zlog("{ >nest level=%d ****\n", depth);
      visitChildren(b, depth);
      zlog("} < nest level=%d ****\n", depth);
    } else if (type == "XSI_Material" || type == "SI_Material") {
      readMaterial(b, depth);
    } else if (type == "XSI_Shader" || type == "SI_Shader") {
      readShader(b);
    } else if (type == "XSI_Image") {
      readImage(b);
    } else if (type == "SI_Model") {
      readModel(b, depth);
    } else if (type == "SI_Transform") {
      readTransform(b);
    } else if (type == "SI_Mesh") {
      readMesh(b, depth);
    } else if (type == "SI_Shape") {
      readShape(b);
    } else if (type == "SI_PolygonList") {
      readPolygons(b, false);
    } else if (type == "SI_TriangleList") {
      readPolygons(b, true);
    } else {
      visitChildren(b, depth);  // other blocks may hold models (scene wrappers)
    }
  }

  void readLight(const Block& b) {
    zlog("loading light\n");
    zlog("TYPE=%d\n", int(integer(b, 0)));
    zlog("DIFFUSE: %f,%f,%f\n", number(b, 1), number(b, 2), number(b, 3));
    zlog("DIR: %f,%f,%f\n", number(b, 4), number(b, 5), number(b, 6));
  }

  void readMaterial(const Block& b, int depth) {
    zlog("Loading material (XSI_Material) %s\n", str(b.name).c_str());
    ZMaterial* material = out.renderer->getNewMaterial();
    out.materials.push_back(material);
    materialByName.try_emplace(str(b.name), material);
    if (b.type == "SI_Material" && b.values.size() >= 15) {
      // Face colour (with alpha), power, specular, emissive, shading model, ambient.
      material->setDiffuse(number(b, 0), number(b, 1), number(b, 2), false);
      material->setOpacity(number(b, 3));
      material->setShininess(number(b, 4));
      material->setSpecular(number(b, 5), number(b, 6), number(b, 7));
      material->setEmissive(number(b, 8), number(b, 9), number(b, 10));
      material->setAmbient(number(b, 12), number(b, 13), number(b, 14));
    }
    ZMaterial* outer = currentMaterial;
    std::string outerName = std::move(currentMaterialName);
    currentMaterial = material;
    currentMaterialName = str(b.name);
    visitChildren(b, depth);
    currentMaterial = outer;
    currentMaterialName = std::move(outerName);
  }

  // Shader values: program id, output type, parameter count, then (name, type, value) triples.
  void readShader(const Block& b) {
    zlog("Loading shader (XSI_Shader)\n");
    if (currentMaterial == nullptr) return;
    std::string kind = b.values.empty() ? std::string() : str(b.values[0].text);
    kind += str(b.name);
    for (char& c : kind) c = char(std::tolower(static_cast<unsigned char>(c)));
    const bool image = kind.find("image") != std::string::npos;
    const bool shaded =
        kind.find("lambert") != std::string::npos || kind.find("phong") != std::string::npos;
    if (image) zlog("Loading Image XSI_Shader\n");
    const int64_t count = integer(b, 2);
    D3DMATERIAL9& m = currentMaterial->d3dMaterial;
    for (int64_t p = 0; p < count && size_t(3 + p * 3 + 2) < b.values.size(); ++p) {
      const size_t at = size_t(3 + p * 3);
      const std::string_view name = b.values[at].text;
      const std::string_view valueType = b.values[at + 1].text;
      const Value& value = b.values[at + 2];
      if (shaded && valueType == "FLOAT") {
        const float v = float(cvAtof(value.text));
        zlog("%s=%f\n", str(name).c_str(), v);
        setColourParameter(m, name, v);
      } else if (image && name == "tex") {
        zlog("Texture=%s\n", str(value.text).c_str());
        useImage(currentMaterial, currentMaterialName, str(value.text));
      }
    }
  }

  static void setColourParameter(D3DMATERIAL9& m, std::string_view name, float v) {
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) {
      if (name == "shiny") m.Power = v;
      return;
    }
    const std::string_view colourName = name.substr(0, dot);
    const std::string_view channel = name.substr(dot + 1);
    D3DCOLORVALUE* colour = colourName == "diffuse"    ? &m.Diffuse
                            : colourName == "ambient"  ? &m.Ambient
                            : colourName == "specular" ? &m.Specular
                                                       : nullptr;
    if (colour == nullptr) return;
    if (channel == "red") colour->r = v;
    if (channel == "green") colour->g = v;
    if (channel == "blue") colour->b = v;
  }

  // A texture names an image clip (resolved by XSI_Image, before or after) or a file.
  void useImage(ZMaterial* material, const std::string& materialName, const std::string& clip) {
    const auto known = imageFiles.find(clip);
    if (known != imageFiles.end()) {
      zlog("Loading texture\n");
      import_local::attachImportTexture(*material, textures.get(known->second), known->second);
      return;
    }
    pendingImages[clip].push_back({material, materialName});
  }

  void readImage(const Block& b) {
    const std::string clip = str(b.name);
    const std::string file = b.values.empty() ? std::string() : str(b.values[0].text);
    zlog("Resolving texture %s=%s\n", clip.c_str(), file.c_str());
    imageFiles.try_emplace(clip, file);
    const auto pending = pendingImages.find(clip);
    if (pending == pendingImages.end() || file.empty()) return;
    for (const auto& [material, materialName] : pending->second) {
      zlog("Assigning to %s\n", materialName.c_str());
      import_local::attachImportTexture(*material, textures.get(file), file);
    }
    pendingImages.erase(pending);
  }

  void readModel(const Block& b, int depth) {
    zlog("Loading model (SI_Model) %s\n", str(b.name).c_str());
    ZFrame* frame = out.renderer->getNewFrame();
    frame->name = str(b.name);
    out.frames.push_back(frame);
    ZFrame* parent = currentFrame;
    if (parent != nullptr) {
      zlog("Pushing parent\n");
      parent->addChild(frame);
    }
    ++modelLevel;
    zlog("MODEL IS AT LEVEL %d\n", modelLevel);
    currentFrame = frame;
    visitChildren(b, depth);
    currentFrame = parent;
    --modelLevel;
    if (parent != nullptr) zlog("Popping parent\n");
  }

  // Scale, rotation and translation triples; the frame takes the translation.
  void readTransform(const Block& b) {
    zlog("Loading transform\n");
    const ZVector t(number(b, 6), number(b, 7), number(b, 8));
    zlog("Translate %f %f %f\n", t.x, t.y, t.z);
    if (currentFrame != nullptr) currentFrame->move(t * out.scale);
  }

  void readMesh(const Block& b, int depth) {
    zlog("Loading mesh (SI_Mesh) %s\n", str(b.name).c_str());
    ZFrame* outerFrame = currentFrame;
    if (currentFrame == nullptr) {
      // A mesh outside any model gets a frame of its own.
      currentFrame = out.renderer->getNewFrame();
      currentFrame->name = str(b.name);
      out.frames.push_back(currentFrame);
    }
    MeshArrays* outerMesh = mesh;
    MeshArrays arrays;
    arrays.name = str(b.name);
    mesh = &arrays;
    visitChildren(b, depth);
    mesh = outerMesh;
    currentFrame = outerFrame;
  }

  // Values: array count, layout ("ORDERED", or "INDEXED" with an index before each element),
  // then per array its element count, its kind and the elements.
  void readShape(const Block& b) {
    if (mesh == nullptr) return;
    const int64_t arrays = integer(b, 0);
    const bool indexed = b.values.size() > 1 && b.values[1].text == "INDEXED";
    size_t at = 2;
    for (int64_t a = 0; a < arrays && at + 1 < b.values.size(); ++a) {
      const int64_t count = integer(b, at);
      const std::string_view kind = b.values[at + 1].text;
      at += 2;
      if (startsWith(kind, "TEX_COORD_UV") && at < b.values.size() && b.values[at].quoted) {
        ++at;  // the texture projection's name
      }
      const size_t width = kind == "POSITION" || kind == "NORMAL" ? 3
                           : kind == "COLOR"                       ? 4
                           : startsWith(kind, "TEX_COORD_UV")      ? 2
                                                                   : 0;
      const size_t stride = width + (indexed ? 1 : 0);
      if (width == 0 || count < 0 || uint64_t(count) > (b.values.size() - at) / stride) {
        zlog("WARNING: shape array %s of %s does not fit its block\n", str(kind).c_str(),
             mesh->name.c_str());
        return;
      }
      const size_t n = size_t(count);
      if (kind == "POSITION") {
        zlog("%d vertices to load\n", int(n));
        readVectors(b, at, n, indexed, out.scale, mesh->positions);
      } else if (kind == "NORMAL") {
        zlog("%d normals to load\n", int(n));
        readVectors(b, at, n, indexed, 1.0f, mesh->normals);
      } else if (width == 2 && mesh->uvs.empty()) {
        zlog("%d textuv to load\n", int(n));
        mesh->uvs.assign(n * 2, 0.0f);
        for (size_t e = 0; e < n; ++e) {
          const size_t first = at + e * stride;
          const size_t slot = indexed ? elementSlot(b, first, n) : e;
          if (slot == n) continue;
          mesh->uvs[slot * 2] = number(b, first + (indexed ? 1 : 0));
          mesh->uvs[slot * 2 + 1] = number(b, first + (indexed ? 2 : 1));
        }
      }
      at += n * stride;
    }
  }

  // The element index written before an indexed element; n (skipped) when outside the array.
  static size_t elementSlot(const Block& b, size_t at, size_t n) {
    const int64_t index = integer(b, at);
    return index >= 0 && uint64_t(index) < n ? size_t(index) : n;
  }

  static void readVectors(const Block& b, size_t at, size_t n, bool indexed, float factor,
                          std::vector<ZVector>& into) {
    into.assign(n, ZVector());
    const size_t stride = indexed ? 4 : 3;
    for (size_t e = 0; e < n; ++e) {
      const size_t first = at + e * stride;
      const size_t slot = indexed ? elementSlot(b, first, n) : e;
      if (slot == n) continue;
      const size_t v = first + (indexed ? 1 : 0);
      into[slot] = ZVector(number(b, v), number(b, v + 1), number(b, v + 2)) * factor;
    }
  }

  // Polygon lists: polygon count, element kinds ("NORMAL|TEX_COORD_UV"), material name, corner
  // count, the corners of each polygon, then position indices and, per element kind, its
  // indices. Triangle lists have no corner counts (every polygon has three).
  void readPolygons(const Block& b, bool triangles) {
    zlog("Loading SI_PolygonList\n");
    if (mesh == nullptr || currentFrame == nullptr) return;
    const int64_t polygons = integer(b, 0);
    zlog("Loading %d faces\n", int(polygons));
    const std::string elements = b.values.size() > 1 ? str(b.values[1].text) : std::string();
    const std::string materialName = b.values.size() > 2 ? str(b.values[2].text) : std::string();
    size_t at = 3;
    const size_t available = b.values.size();
    if (polygons < 0 || uint64_t(polygons) > available) {
      zlog("WARNING: polygon count of %s does not fit its block\n", mesh->name.c_str());
      return;
    }
    std::vector<int32_t> sizes;
    size_t corners = 0;
    if (triangles) {
      sizes.assign(size_t(polygons), 3);
      corners = size_t(polygons) * 3;
    } else {
      corners = size_t(std::max<int64_t>(0, integer(b, at++)));
      if (at + size_t(polygons) > available) {
        zlog("WARNING: polygon count of %s does not fit its block\n", mesh->name.c_str());
        return;
      }
      size_t sum = 0;
      for (int64_t p = 0; p < polygons; ++p) {
        const int64_t size = integer(b, at++);
        sizes.push_back(int32_t(std::clamp<int64_t>(size, 0, INT32_MAX)));
        sum += size_t(sizes.back());
      }
      if (sum != corners) {
        zlog("WARNING: corner count of %s does not match its polygons\n", mesh->name.c_str());
        return;
      }
    }
    // Index lists, each `corners` long: positions, then the kinds named by `elements` in the
    // order files write them.
    const bool hasNormals = elements.find("NORMAL") != std::string::npos;
    const bool hasColours = elements.find("COLOR") != std::string::npos;
    const bool hasUvs = elements.find("TEX_COORD_UV") != std::string::npos;
    const size_t positionsAt = at;
    const size_t normalsAt = positionsAt + corners;
    size_t uvsAt = normalsAt + (hasNormals ? corners : 0) + (hasColours ? corners : 0);
    if (hasUvs && uvsAt < available && b.values[uvsAt].quoted) ++uvsAt;  // projection name
    const size_t end = hasUvs ? uvsAt + corners : uvsAt;
    if (corners > available || end > available) {
      zlog("WARNING: index lists of %s do not fit their block\n", mesh->name.c_str());
      return;
    }

    ZGeometry* g = out.renderer->getNewGeometry();
    g->name = mesh->name;
    currentFrame->addGeometry(g);
    out.geometries.push_back(g);
    assignMaterial(g, materialName);

    size_t first = 0;
    for (int32_t size : sizes) {
      const size_t start = first;
      first += size_t(size);
      if (size < 3 || size > 5) {
        zlog("WARNING: %d vertices not supported (%s)", size, mesh->name.c_str());
        continue;
      }
      // Each corner's indices, read once.
      Corners positions{}, normals{}, uvs{};
      bool usable = true;
      for (int32_t k = 0; k < size; ++k) {
        const size_t c = start + size_t(k);
        positions[size_t(k)] = integer(b, positionsAt + c);
        normals[size_t(k)] = hasNormals ? integer(b, normalsAt + c) : -1;
        uvs[size_t(k)] = hasUvs ? integer(b, uvsAt + c) : -1;
        usable = usable && positions[size_t(k)] >= 0 &&
                 uint64_t(positions[size_t(k)]) < mesh->positions.size();
      }
      logPolygon("", positions, size);
      if (hasNormals) logPolygon("nor ", normals, size);
      if (hasUvs && size < 5) logPolygon("tex ", uvs, size);
      if (!usable) {
        zlog("WARNING, Vertex out of bounds\n");
        continue;
      }
      const int32_t base = int32_t(g->vertices.size());
      for (int32_t k = 0; k < size; ++k) {
        addCorner(*g, size_t(positions[size_t(k)]), normals[size_t(k)], uvs[size_t(k)]);
      }
      for (int32_t k = 1; k + 1 < size; ++k) g->addTriangle(base, base + k, base + k + 1);
    }
    if (mesh->normals.empty() || !hasNormals) g->generateNormals();
    g->initRadius();
  }

  // The indices of one polygon's corners (three to five).
  using Corners = std::array<int64_t, 5>;

  void logPolygon(const char* prefix, const Corners& indices, int32_t size) {
    static const char* const kNames[] = {"tri", "quad", "cin"};
    if (!zlogEnabled()) return;
    std::string line = std::string(prefix) + kNames[size - 3];
    for (int32_t k = 0; k < size; ++k) line.append(" ").append(std::to_string(indices[size_t(k)]));
    zlog("%s\n", line.c_str());
  }

  // Each corner is a vertex of its own; position is a checked index into the shape.
  void addCorner(ZGeometry& g, size_t position, int64_t normal, int64_t uv) {
    g.addVertex(mesh->positions[position]);
    SVertex& v = g.vertices.back();
    if (normal >= 0 || !mesh->normals.empty()) {
      if (normal >= 0 && uint64_t(normal) < mesh->normals.size()) {
        v.normal = mesh->normals[size_t(normal)];
      } else {
        zlog("WARNING, Normal out of bounds\n");
      }
    }
    if (uv >= 0) {
      if (uint64_t(uv) < mesh->uvs.size() / 2) {
        // XSI's v runs up the picture, the engine's down.
        v.t0[0] = mesh->uvs[size_t(uv) * 2];
        v.t0[1] = 1.0f - mesh->uvs[size_t(uv) * 2 + 1];
      } else {
        zlog("WARNING, Texture coordinate out of bounds\n");
      }
    }
  }

  void assignMaterial(ZGeometry* g, const std::string& name) {
    const auto found = materialByName.find(name);
    if (found == materialByName.end()) {
      const std::string text = "Error, " + mesh->name + " has no material";
      MessageBoxA(nullptr, text.c_str(), "ZMF EDIT", MB_OK);
      return;
    }
    zlog("cmp %s %s\n", name.c_str(), found->first.c_str());
    zlog("Setting material\n");
    g->setMaterial(found->second);
  }

  ZObjectBuilder& out;
  import_local::TextureLookup textures;
  std::unordered_map<std::string, ZMaterial*> materialByName;
  std::unordered_map<std::string, std::string> imageFiles;  // clip -> file
  // Materials waiting for an image clip, with their names.
  std::unordered_map<std::string, std::vector<std::pair<ZMaterial*, std::string>>> pendingImages;
  ZMaterial* currentMaterial = nullptr;
  std::string currentMaterialName;
  ZFrame* currentFrame = nullptr;
  MeshArrays* mesh = nullptr;
  int modelLevel = 0;
};

}  // namespace

bool ZObjectBuilder::loadXSI(const std::string& fileName, bool multi) {
  ZMappedFile file;
  if (!file.open(fileName)) {
    zlog("XSI file %s cannot be read\n", fileName.c_str());
    return false;
  }
  modelFolder = folderOf(fileName);
  texturePath = modelFolder + "/texture/";
  return loadXSIText(file.text(), fileName, multi);
}

bool ZObjectBuilder::loadXSIText(std::string_view text, const std::string& fileName, bool multi) {
  zlog("\nLoading XSI: %s multi=%d\n", fileName.c_str(), int(multi));
  Block root;
  if (!parseTree(text, root)) return false;
  XsiReader reader(*this);
  reader.visitChildren(root, 0);
  return true;
}
