#include "tests/support/AssimpSummary.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>

#include <algorithm>
#include <set>
#include <tuple>

AssimpSummary summariseWithAssimp(const std::string& path, bool mirrorZ) {
  AssimpSummary summary;
  const aiScene* scene = aiImportFile(path.c_str(), 0);
  if (scene == nullptr) {
    summary.error = aiGetErrorString();
    return summary;
  }
  summary.read = true;
  std::set<std::tuple<float, float, float>> positions;
  auto walk = [&](auto&& self, const aiNode* node, const aiMatrix4x4& parent) -> void {
    const aiMatrix4x4 world = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
      const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
      for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices < 3) continue;
        summary.triangles += face.mNumIndices - 2;
        summary.corners += face.mNumIndices;
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
          const aiVector3D& raw = mesh->mVertices[face.mIndices[k]];
          positions.insert({raw.x, raw.y, raw.z});
          aiVector3D p = world * raw;
          if (mirrorZ) p.z = -p.z;
          ZVector& low = summary.low;
          ZVector& high = summary.high;
          low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
          high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        }
      }
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c) self(self, node->mChildren[c], world);
  };
  walk(walk, scene->mRootNode, aiMatrix4x4());
  aiReleaseImport(scene);
  summary.positions = positions.size();
  return summary;
}
