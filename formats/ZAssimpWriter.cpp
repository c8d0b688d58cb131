#include "formats/ZAssimpWriter.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <assimp/Exporter.hpp>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/MirrorZ.h"
#include "formats/ZExportFolder.h"
#include "formats/ZModelFile.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {


class AssimpSceneWriter {
 public:
  // mirror: into right-handed axes (FBX and DAE, which the import mirrors back); OBJ is written
  // in the engine's own axes, as this program's OBJ import reads it.
  AssimpSceneWriter(const LoadedModel& source, ZExportFolder& into, bool copy, bool mirror)
      : model(source), folder(into), copyTextures(copy), mirrorAxes(mirror) {}

  // The scene of the model; null (logged) when a picture could not be copied.
  std::unique_ptr<aiScene> build() {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = node(*model.root);
    scene->mNumMeshes = unsigned(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    for (size_t i = 0; i < meshes.size(); ++i) scene->mMeshes[i] = meshes[i];
    // Every scene has a material; a mesh without one takes a plain white one.
    if (materials.empty() || needsPlainMaterial) plainMaterial();
    scene->mNumMaterials = unsigned(materials.size());
    scene->mMaterials = new aiMaterial*[materials.size()];
    for (size_t i = 0; i < materials.size(); ++i) scene->mMaterials[i] = materials[i];
    if (!picturesCopied) return nullptr;
    return scene;
  }

 private:
  // A name the target takes and no other node or mesh has: blanks and control characters become
  // "_", a repeated name gets "_2", "_3", ...; every change logged.
  std::string uniqueName(const std::string& wanted) {
    std::string valid = wanted.empty() ? "unnamed" : wanted;
    for (char& c : valid) {
      if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) c = '_';
    }
    std::string name = valid;
    for (int n = 2; !usedNames.insert(name).second; ++n) name = valid + "_" + std::to_string(n);
    if (name != wanted)
      zlog("export: name \"%s\" written as \"%s\"\n", wanted.c_str(), name.c_str());
    return name;
  }

  aiNode* node(const ZFrame& frame) {
    auto* made = new aiNode(uniqueName(frame.name));
    // The engine's row-vector matrix (in mirrored axes) transposed into assimp's column form.
    const ZMatrix m = mirrorAxes ? mirroredZ(frame.matrix) : frame.matrix;
    for (unsigned row = 0; row < 4; ++row) {
      for (unsigned column = 0; column < 4; ++column)
        made->mTransformation[row][column] = m.at(int(column), int(row));
    }
    made->mNumMeshes = unsigned(frame.geometries.size());
    made->mMeshes = new unsigned[frame.geometries.size()];
    for (size_t i = 0; i < frame.geometries.size(); ++i) {
      made->mMeshes[i] = unsigned(meshes.size());
      meshes.push_back(mesh(*frame.geometries[i]));
    }
    made->mNumChildren = unsigned(frame.children.size());
    made->mChildren = new aiNode*[frame.children.size()];
    for (size_t i = 0; i < frame.children.size(); ++i) {
      made->mChildren[i] = node(*frame.children[i]);
      made->mChildren[i]->mParent = made;
    }
    return made;
  }

  aiMesh* mesh(const ZGeometry& g) {
    auto* made = new aiMesh;
    made->mName = uniqueName(g.name);
    made->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    const unsigned count = unsigned(g.vertices.size());
    made->mNumVertices = count;
    made->mVertices = new aiVector3D[count];
    made->mNormals = new aiVector3D[count];
    made->mTextureCoords[0] = new aiVector3D[count];
    made->mTextureCoords[1] = new aiVector3D[count];
    made->mNumUVComponents[0] = made->mNumUVComponents[1] = 2;
    for (unsigned i = 0; i < count; ++i) {
      const SVertex& v = g.vertices[i];
      made->mVertices[i] = axes(v.position);
      made->mNormals[i] = axes(v.normal);
      // Texture v runs up the picture in these formats, down in the engine: both imports
      // negate it.
      made->mTextureCoords[0][i] = {v.t0[0], -v.t0[1], 0};
      made->mTextureCoords[1][i] = {v.t1[0], -v.t1[1], 0};
    }
    std::vector<const SFace*> usable;
    for (const SFace& f : g.faces) {
      if (g.isFaceInRange(f)) usable.push_back(&f);
    }
    made->mNumFaces = unsigned(usable.size());
    made->mFaces = new aiFace[usable.size()];
    for (size_t i = 0; i < usable.size(); ++i) {
      aiFace& face = made->mFaces[i];
      face.mNumIndices = 3;
      // The mirror turns the winding round: a, c, b.
      const SFace& f = *usable[i];
      face.mIndices = mirrorAxes ? new unsigned[3]{unsigned(f.a), unsigned(f.c), unsigned(f.b)}
                                 : new unsigned[3]{unsigned(f.a), unsigned(f.b), unsigned(f.c)};
    }
    if (g.material != nullptr) {
      made->mMaterialIndex = material(*g.material);
    } else {
      needsPlainMaterial = true;
      made->mMaterialIndex = kPlainMaterial;
    }
    return made;
  }

  unsigned material(const ZMaterial& m) {
    const auto [known, added] = materialIndex.try_emplace(&m, unsigned(materials.size()));
    if (!added) return known->second;
    auto* made = new aiMaterial;
    const aiString name("material" + std::to_string(known->second));
    made->AddProperty(&name, AI_MATKEY_NAME);
    const D3DMATERIAL9& c = m.d3dMaterial;
    const auto colour = [&](const D3DCOLORVALUE& value, const char* key, unsigned type,
                            unsigned index) {
      const aiColor3D rgb(value.r, value.g, value.b);
      made->AddProperty(&rgb, 1, key, type, index);
    };
    colour(c.Diffuse, AI_MATKEY_COLOR_DIFFUSE);
    colour(c.Ambient, AI_MATKEY_COLOR_AMBIENT);
    colour(c.Specular, AI_MATKEY_COLOR_SPECULAR);
    colour(c.Emissive, AI_MATKEY_COLOR_EMISSIVE);
    const float shininess = c.Power;
    made->AddProperty(&shininess, 1, AI_MATKEY_SHININESS);
    const float opacity = c.Diffuse.a;
    made->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
    const int twoSided = m.doubleFace ? 1 : 0;
    made->AddProperty(&twoSided, 1, AI_MATKEY_TWOSIDED);
    if (const ZTexture* picture = m.stage(0).texture) {
      const std::string reference = folder.pictureReference(picture->name, copyTextures);
      if (reference.empty()) picturesCopied = false;
      const aiString path(reference);
      made->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
    materials.push_back(made);
    return known->second;
  }

  void plainMaterial() {
    auto* made = new aiMaterial;
    const aiString name("plain");
    made->AddProperty(&name, AI_MATKEY_NAME);
    const aiColor3D white(1, 1, 1);
    made->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
    const unsigned index = unsigned(materials.size());
    materials.push_back(made);
    for (aiMesh* m : meshes) {
      if (m->mMaterialIndex == kPlainMaterial) m->mMaterialIndex = index;
    }
  }

  aiVector3D axes(const ZVector& v) const { return {v.x, v.y, mirrorAxes ? -v.z : v.z}; }

  static constexpr unsigned kPlainMaterial = ~0u;
  const LoadedModel& model;
  ZExportFolder& folder;
  bool copyTextures;
  bool mirrorAxes;
  std::vector<aiMesh*> meshes;
  std::vector<aiMaterial*> materials;
  std::unordered_map<const ZMaterial*, unsigned> materialIndex;
  std::set<std::string> usedNames;
  bool needsPlainMaterial = false;
  bool picturesCopied = true;
};

// assimp's exporter id of the format.
const char* exporterOf(const std::string& format) {
  if (format == "obj") return "obj";
  if (format == "fbx") return "fbxa";
  if (format == "dae") return "collada";
  return nullptr;
}

}  // namespace

bool writeWithAssimp(const std::string& path, const std::string& format, const LoadedModel& model,
                     bool copyTextures) {
  const char* exporterId = exporterOf(format);
  if (model.root == nullptr || exporterId == nullptr) return false;
  ZExportFolder folder(path);
  if (!folder.isOpen()) return false;
  const std::unique_ptr<aiScene> scene =
      AssimpSceneWriter(model, folder, copyTextures, format != "obj").build();
  if (scene == nullptr) return false;
  Assimp::Exporter exporter;
  const std::string fileName(fileNameOf(path));
  if (exporter.Export(scene.get(), exporterId, folder.pathOf(fileName)) != AI_SUCCESS) {
    zlog("export: %s: %s\n", path.c_str(), exporter.GetErrorString());
    return false;
  }
  if (!folder.commit()) {
    zlog("export: %s not written\n", path.c_str());
    return false;
  }
  return true;
}
