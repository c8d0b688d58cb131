#include "platform/d3dx/XFileParser.h"

#include <algorithm>
#include <cctype>
#include <cmath>

using Token = XFileTokenizer::Token;

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr DWORD kUnassigned = 0xFFFFFFFF;  // face of a mesh without a material list

bool equalsIgnoringCase(const std::string& a, const char* b) {
  const size_t length = std::char_traits<char>::length(b);
  return a.size() == length && std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y));
         });
}

bool isIdentity(const float m[16]) {
  for (int i = 0; i < 16; ++i) {
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  return true;
}

}  // namespace

struct XFileParser::MeshParts {
  std::vector<float> positions;         // three per vertex
  std::vector<uint32_t> faceStarts;     // first corner of each polygon, plus the end
  std::vector<uint32_t> corners;        // position index per corner
  std::vector<float> normals;           // three per normal
  std::vector<uint32_t> normalCorners;  // normal index per corner; empty without normals
  std::vector<float> textureCoords;     // two per vertex; empty without
  std::vector<DWORD> faceMaterials;     // per polygon; empty without a material list
  std::vector<XFileMaterial> materials;

  uint32_t vertexCount() const { return uint32_t(positions.size() / 3); }
  uint32_t faceCount() const { return uint32_t(faceStarts.size() - 1); }
};

bool XFileParser::parse(std::span<const uint8_t> file, XFileScene& out) {
  scene = &out;
  out = {};
  namedMaterials.clear();
  if (!tokens.open(file)) return false;
  while (true) {
    std::string id;
    const Token token = tokens.next(&id);
    if (token == Token::End) break;
    bool ok = false;
    if (token == Token::Name && id == "Frame") {
      ok = readFrame(1);
    } else if (token == Token::Name && id == "Mesh") {
      ok = readMesh();
    } else if (token == Token::Name && id == "Material") {
      std::string name;
      XFileMaterial material;
      ok = readMaterial(name, material);
      if (ok && !name.empty()) namedMaterials.try_emplace(name, material);
    } else if (token == Token::Name) {
      ok = skipObject();  // templates, animation, header and other objects
    } else if (token == Token::OpenBrace) {
      ok = tokens.skipToClose();  // a reference at top level means nothing
    }
    if (!ok) return false;
  }
  assignDefaultMaterial();
  return true;
}

bool XFileParser::openObject(std::string* name) {
  std::string text;
  Token token = tokens.next(&text);
  if (token == Token::Name) {
    if (name) *name = std::move(text);
    token = tokens.next();
  }
  if (token != Token::OpenBrace) return false;
  tokens.skipGuid();
  return !tokens.failed();
}

bool XFileParser::closeObject() { return tokens.next() == Token::CloseBrace; }

bool XFileParser::skipObject() { return openObject(nullptr) && tokens.skipToClose(); }

bool XFileParser::readFloats(float* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!tokens.readFloat(values[i])) return false;
  }
  return true;
}

bool XFileParser::readPolygons(uint32_t count, uint32_t limit, std::vector<uint32_t>& starts,
                               std::vector<uint32_t>& corners) {
  starts.reserve(std::min<size_t>(count, tokens.remaining()) + 1);
  starts.push_back(0);
  for (uint32_t f = 0; f < count; ++f) {
    uint32_t size = 0;
    if (!tokens.readUInt(size) || size < 3) return false;
    for (uint32_t k = 0; k < size; ++k) {
      uint32_t index = 0;
      if (!tokens.readUInt(index) || index >= limit) return false;
      corners.push_back(index);
    }
    starts.push_back(uint32_t(corners.size()));
  }
  return true;
}

bool XFileParser::readFrame(int depth) {
  if (depth > kMaxFrameDepth || !openObject(nullptr)) return false;
  const size_t firstVertex = scene->vertices.size();
  float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  while (true) {
    std::string id;
    const Token token = tokens.next(&id);
    bool ok = false;
    if (token == Token::CloseBrace) break;
    if (token == Token::Name && id == "Frame") {
      ok = readFrame(depth + 1);
    } else if (token == Token::Name && id == "FrameTransformMatrix") {
      ok = openObject(nullptr) && readFloats(matrix, 16) && closeObject();
    } else if (token == Token::Name && id == "Mesh") {
      ok = readMesh();
    } else if (token == Token::Name) {
      ok = skipObject();
    } else if (token == Token::OpenBrace) {
      ok = tokens.skipToClose();
    }
    if (!ok) return false;
  }
  // Children have already applied their own matrices, so this one completes the chain.
  if (!isIdentity(matrix)) transformVertices(firstVertex, matrix);
  return true;
}

bool XFileParser::readMesh() {
  if (!openObject(nullptr)) return false;
  MeshParts mesh;
  uint32_t vertexCount = 0;
  if (!tokens.readUInt(vertexCount)) return false;
  mesh.positions.resize(std::min<size_t>(vertexCount, tokens.remaining()) * 3);
  if (mesh.positions.size() != size_t(vertexCount) * 3) return false;  // cannot be in the file
  uint32_t faceCount = 0;
  if (!readFloats(mesh.positions.data(), mesh.positions.size()) || !tokens.readUInt(faceCount) ||
      !readPolygons(faceCount, vertexCount, mesh.faceStarts, mesh.corners)) {
    return false;
  }
  while (true) {
    std::string id;
    const Token token = tokens.next(&id);
    bool ok = false;
    if (token == Token::CloseBrace) break;
    if (token == Token::Name && id == "MeshNormals") {
      ok = readNormals(mesh);
    } else if (token == Token::Name && id == "MeshTextureCoords") {
      ok = readTextureCoords(mesh);
    } else if (token == Token::Name && id == "MeshMaterialList") {
      ok = readMaterialList(mesh);
    } else if (token == Token::Name && id == "SkinWeights") {
      ok = readSkinWeights(mesh);
    } else if (token == Token::Name) {
      ok = skipObject();
    } else if (token == Token::OpenBrace) {
      ok = tokens.skipToClose();
    }
    if (!ok) return false;
  }
  appendMesh(mesh);
  return true;
}

bool XFileParser::readNormals(MeshParts& mesh) {
  uint32_t normalCount = 0;
  uint32_t faceCount = 0;
  if (!openObject(nullptr) || !tokens.readUInt(normalCount)) return false;
  mesh.normals.resize(std::min<size_t>(normalCount, tokens.remaining()) * 3);
  if (mesh.normals.size() != size_t(normalCount) * 3) return false;
  std::vector<uint32_t> starts;
  mesh.normalCorners.clear();
  return readFloats(mesh.normals.data(), mesh.normals.size()) && tokens.readUInt(faceCount) &&
         faceCount == mesh.faceCount() &&
         readPolygons(faceCount, normalCount, starts, mesh.normalCorners) &&
         starts == mesh.faceStarts && closeObject();
}

bool XFileParser::readTextureCoords(MeshParts& mesh) {
  uint32_t count = 0;
  if (!openObject(nullptr) || !tokens.readUInt(count) || count != mesh.vertexCount()) {
    return false;
  }
  mesh.textureCoords.resize(size_t(count) * 2);
  return readFloats(mesh.textureCoords.data(), mesh.textureCoords.size()) && closeObject();
}

bool XFileParser::readMaterialList(MeshParts& mesh) {
  uint32_t materialCount = 0;
  uint32_t indexCount = 0;
  if (!openObject(nullptr) || !tokens.readUInt(materialCount) || !tokens.readUInt(indexCount) ||
      indexCount > mesh.faceCount()) {
    return false;
  }
  std::vector<DWORD> ids(indexCount);
  for (DWORD& id : ids) {
    if (!tokens.readUInt(id) || id >= materialCount) return false;
  }
  mesh.materials.clear();
  while (true) {
    std::string id;
    const Token token = tokens.next(&id);
    bool ok = false;
    if (token == Token::CloseBrace) break;
    if (token == Token::Name && id == "Material") {
      std::string name;
      XFileMaterial material;
      ok = readMaterial(name, material);
      if (ok && !name.empty()) namedMaterials.try_emplace(name, material);
      mesh.materials.push_back(std::move(material));
    } else if (token == Token::Name) {
      ok = skipObject();
    } else if (token == Token::OpenBrace) {
      std::string name;
      const auto found =
          tokens.next(&name) == Token::Name ? namedMaterials.find(name) : namedMaterials.end();
      ok = found != namedMaterials.end() && closeObject();
      if (ok) mesh.materials.push_back(found->second);
    }
    if (!ok) return false;
  }
  if (mesh.materials.size() != materialCount) return false;
  mesh.faceMaterials.clear();
  if (materialCount > 0) {
    mesh.faceMaterials.assign(mesh.faceCount(), ids.empty() ? 0 : ids.back());
    std::copy(ids.begin(), ids.end(), mesh.faceMaterials.begin());
  }
  return true;
}

bool XFileParser::readMaterial(std::string& name, XFileMaterial& material) {
  D3DMATERIAL9& m = material.material;
  float values[11];
  if (!openObject(&name) || !readFloats(values, 11)) return false;
  m.Diffuse = {values[0], values[1], values[2], values[3]};
  m.Power = values[4];
  m.Specular = {values[5], values[6], values[7], 1.0f};
  m.Emissive = {values[8], values[9], values[10], 1.0f};
  while (true) {
    std::string id;
    const Token token = tokens.next(&id);
    bool ok = false;
    if (token == Token::CloseBrace) break;
    if (token == Token::Name && equalsIgnoringCase(id, "TextureFilename")) {
      ok = openObject(nullptr) && tokens.readString(material.textureFilename) && closeObject();
      material.hasTexture = ok;
    } else if (token == Token::Name) {
      ok = skipObject();
    } else if (token == Token::OpenBrace) {
      ok = tokens.skipToClose();
    }
    if (!ok) return false;
  }
  return true;
}

bool XFileParser::readSkinWeights(const MeshParts& mesh) {
  std::string boneName;
  uint32_t count = 0;
  if (!openObject(nullptr) || !tokens.readString(boneName) || !tokens.readUInt(count)) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t vertex = 0;
    if (!tokens.readUInt(vertex) || vertex >= mesh.vertexCount()) return false;
  }
  float value = 0;
  for (uint64_t i = 0; i < uint64_t(count) + 16; ++i) {  // weights, then the offset matrix
    if (!tokens.readFloat(value)) return false;
  }
  return closeObject();
}

void XFileParser::appendMesh(const MeshParts& mesh) {
  std::vector<XFileVertex>& vertices = scene->vertices;
  const uint32_t base = uint32_t(vertices.size());
  const uint32_t count = mesh.vertexCount();
  for (uint32_t v = 0; v < count; ++v) {
    XFileVertex vertex{};
    std::copy_n(&mesh.positions[3 * size_t(v)], 3, vertex.position);
    if (!mesh.textureCoords.empty())
      std::copy_n(&mesh.textureCoords[2 * size_t(v)], 2, vertex.texture);
    vertices.push_back(vertex);
  }
  // A position keeps the first normal it is used with; each further normal gets a copy.
  std::vector<uint32_t> firstNormal(mesh.normalCorners.empty() ? 0 : count, kNone);
  std::unordered_map<uint64_t, uint32_t> copies;
  const auto vertexOf = [&](uint32_t corner) {
    const uint32_t p = mesh.corners[corner];
    if (mesh.normalCorners.empty()) return base + p;
    const uint32_t n = mesh.normalCorners[corner];
    if (firstNormal[p] == kNone) {
      firstNormal[p] = n;
      std::copy_n(&mesh.normals[3 * size_t(n)], 3, vertices[base + p].normal);
    }
    if (firstNormal[p] == n) return base + p;
    const auto [it, added] = copies.try_emplace((uint64_t(p) << 32) | n, uint32_t(vertices.size()));
    if (added) {
      XFileVertex copy = vertices[base + p];
      std::copy_n(&mesh.normals[3 * size_t(n)], 3, copy.normal);
      vertices.push_back(copy);
    }
    return it->second;
  };

  const DWORD materialBase = DWORD(scene->materials.size());
  scene->materials.insert(scene->materials.end(), mesh.materials.begin(), mesh.materials.end());
  for (uint32_t f = 0; f < mesh.faceCount(); ++f) {
    const DWORD attribute =
        mesh.faceMaterials.empty() ? kUnassigned : materialBase + mesh.faceMaterials[f];
    const uint32_t first = mesh.faceStarts[f];
    for (uint32_t k = first + 1; k + 1 < mesh.faceStarts[f + 1]; ++k) {
      scene->indices.push_back(vertexOf(first));
      scene->indices.push_back(vertexOf(k));
      scene->indices.push_back(vertexOf(k + 1));
      scene->attributes.push_back(attribute);
    }
  }
}

void XFileParser::transformVertices(size_t first, const float m[16]) {
  // Normals go by the cofactor matrix (the inverse transpose times the determinant), with the
  // determinant's sign so that mirroring keeps them facing out.
  const double c[9] = {
      double(m[5]) * m[10] - double(m[6]) * m[9], double(m[6]) * m[8] - double(m[4]) * m[10],
      double(m[4]) * m[9] - double(m[5]) * m[8],  double(m[2]) * m[9] - double(m[1]) * m[10],
      double(m[0]) * m[10] - double(m[2]) * m[8], double(m[1]) * m[8] - double(m[0]) * m[9],
      double(m[1]) * m[6] - double(m[2]) * m[5],  double(m[2]) * m[4] - double(m[0]) * m[6],
      double(m[0]) * m[5] - double(m[1]) * m[4]};
  const double determinant = m[0] * c[0] + m[1] * c[1] + m[2] * c[2];
  const double sign = determinant < 0 ? -1.0 : 1.0;
  for (size_t i = first; i < scene->vertices.size(); ++i) {
    XFileVertex& v = scene->vertices[i];
    const double p[3] = {v.position[0], v.position[1], v.position[2]};
    const double n[3] = {v.normal[0], v.normal[1], v.normal[2]};
    double normal[3];
    for (int j = 0; j < 3; ++j) {
      v.position[j] = float(p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j]);
      normal[j] = sign * (n[0] * c[j] + n[1] * c[3 + j] + n[2] * c[6 + j]);
    }
    const double length =
        std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    for (int j = 0; j < 3; ++j) v.normal[j] = length > 0 ? float(normal[j] / length) : 0.0f;
  }
}

void XFileParser::assignDefaultMaterial() {
  std::vector<DWORD>& attributes = scene->attributes;
  const bool anyUnassigned =
      std::find(attributes.begin(), attributes.end(), kUnassigned) != attributes.end();
  if (!anyUnassigned) return;
  DWORD fallback = 0;
  if (!scene->materials.empty()) {
    XFileMaterial white;
    white.material.Diffuse = {1, 1, 1, 1};
    fallback = DWORD(scene->materials.size());
    scene->materials.push_back(white);
  }
  std::replace(attributes.begin(), attributes.end(), kUnassigned, fallback);
}
