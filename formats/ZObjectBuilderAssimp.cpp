// FBX, DAE, 3DS, PLY and STL import through assimp: its node tree becomes frames with their
// transforms, each mesh a node uses a geometry of its triangles, its materials and cameras the
// engine's.
//
// Axes as in the glTF import: assimp's scene is right-handed, the engine left-handed with the
// same up axis, so positions, normals and directions get z negated, triangles their winding
// reversed, and node matrices (column-vector, transposed into the engine's row-vector form) are
// conjugated with S = diag(1, 1, -1). assimp's texture v runs up the picture; the engine's runs
// down, so v is negated as the OBJ import does.
#include "formats/MirrorZ.h"
#include "formats/ZObjectBuilder.h"
#include "formats/import_local.h"
#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/ZMatrix.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <exception>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Node trees deeper than this are cut there, leaving room for the levels the caller hangs the
// import under (frame operations recurse once per level).
constexpr int kMaxNodeDepth = ZFrame::kMaxDepth - 8;
constexpr double kPi = 3.14159265358979323846;

// The node's transform in engine axes: transposed into row-vector form, then S M S and the
// import scale.
ZMatrix engineMatrix(const aiMatrix4x4& source, float scale) {
  ZMatrix m;
  for (unsigned row = 0; row < 4; ++row) {
    for (unsigned column = 0; column < 4; ++column) {
      m.at(int(row), int(column)) = source[column][row];
    }
  }
  m = mirroredZ(m);
  m.m[3] = m.m[7] = m.m[11] = 0;
  m.m[15] = 1;
  m.m[12] *= scale;
  m.m[13] *= scale;
  m.m[14] *= scale;
  return m;
}

ZVector mirrored(const aiVector3D& v) { return ZVector(v.x, v.y, -v.z); }

// A direction of the frame whose world matrix is `world`, in world space.
ZVector worldDirection(const ZMatrix& world, const ZVector& d) {
  return world.row(0) * d.x + world.row(1) * d.y + world.row(2) * d.z;
}

class AssimpReader {
 public:
  AssimpReader(ZObjectBuilder& builder, const aiScene& source, std::string folderName)
      : out(builder), scene(source), folder(std::move(folderName)) {}

  void build() {
    for (unsigned i = 0; i < scene.mNumMaterials; ++i) {
      materials.push_back(makeMaterial(scene.mMaterials[i]));
    }
    if (scene.mRootNode != nullptr) buildNode(scene.mRootNode, nullptr, ZMatrix(), 0);
    for (unsigned i = 0; i < scene.mNumCameras; ++i) {
      if (scene.mCameras[i] != nullptr) buildCamera(*scene.mCameras[i]);
    }
    if (skippedFaces > 0) zlog("assimp: %d faces with bad indices skipped\n", skippedFaces);
  }

 private:
  ZMaterial* makeMaterial(const aiMaterial* source) {
    ZMaterial* material = out.renderer->getNewMaterial();
    out.materials.push_back(material);
    if (source == nullptr) return material;
    aiString name;
    if (source->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) zlog("assimp material %s\n", name.C_Str());
    aiColor4D diffuse;
    if (source->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS) {
      material->setDiffuse(diffuse.r, diffuse.g, diffuse.b, true);
      material->setOpacity(diffuse.a);
    }
    aiString file;
    if (source->GetTexture(aiTextureType_DIFFUSE, 0, &file) != AI_SUCCESS &&
        source->GetTexture(aiTextureType_BASE_COLOR, 0, &file) != AI_SUCCESS) {
      return material;
    }
    const std::string path(file.C_Str());
    if (path.empty() || path[0] == '*') {
      zlog("assimp material: embedded texture %s not used\n", path.c_str());
      return material;
    }
    zlog("loading texture %s\n", path.c_str());
    import_local::attachImportTexture(
        *material, out.renderer->getTexture(import_local::importTextureFile(out, path)), path);
    return material;
  }

  ZMaterial* materialFor(unsigned index) {
    if (index < materials.size()) return materials[index];
    if (fallback == nullptr) {
      fallback = out.renderer->getNewMaterial();
      out.materials.push_back(fallback);
    }
    return fallback;
  }

  void buildNode(const aiNode* node, ZFrame* parent, const ZMatrix& parentWorld, int depth) {
    ZFrame* frame = out.renderer->getNewFrame();
    frame->name = node->mName.C_Str();
    frame->matrix = engineMatrix(node->mTransformation, out.scale);
    out.frames.push_back(frame);
    if (parent != nullptr) parent->addChild(frame);
    const ZMatrix world = ZMatrix::multiply(frame->matrix, parentWorld);
    worldOf.try_emplace(frame->name, world);
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
      const unsigned index = node->mMeshes[i];
      if (index < scene.mNumMeshes && scene.mMeshes[index] != nullptr) {
        buildGeometry(*scene.mMeshes[index], frame);
      }
    }
    if (node->mNumChildren > 0 && depth + 1 >= kMaxNodeDepth) {
      zlog("assimp: nodes below %s nest deeper than %d levels, left out\n", frame->name.c_str(),
           kMaxNodeDepth);
      return;
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i) {
      if (node->mChildren[i] != nullptr) buildNode(node->mChildren[i], frame, world, depth + 1);
    }
  }

  void buildGeometry(const aiMesh& mesh, ZFrame* frame) {
    if ((mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) == 0 || mesh.mVertices == nullptr) return;
    ZGeometry* g = out.renderer->getNewGeometry();
    g->name = mesh.mName.length > 0 ? mesh.mName.C_Str() : frame->name;
    g->setMaterial(materialFor(mesh.mMaterialIndex));
    const aiVector3D* uvs = mesh.mTextureCoords[0];
    g->vertices.reserve(mesh.mNumVertices);
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
      g->addVertex(mirrored(mesh.mVertices[i]) * out.scale);
      SVertex& vertex = g->vertices.back();
      if (mesh.mNormals != nullptr) vertex.normal = mirrored(mesh.mNormals[i]);
      if (uvs != nullptr) {
        vertex.t0[0] = uvs[i].x;
        vertex.t0[1] = -uvs[i].y;
      }
    }
    g->faces.reserve(mesh.mNumFaces);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices != 3) continue;  // points and lines
      const unsigned* corner = face.mIndices;
      if (corner[0] >= mesh.mNumVertices || corner[1] >= mesh.mNumVertices ||
          corner[2] >= mesh.mNumVertices) {
        ++skippedFaces;
        continue;
      }
      // The mirror turns the winding round: a, c, b.
      g->addTriangle(int(corner[0]), int(corner[2]), int(corner[1]));
    }
    if (mesh.mNormals != nullptr) {
      g->generateFaceNormals();
    } else {
      g->generateNormals();
    }
    g->computeBoundingBox();
    g->initRadius();
    frame->addGeometry(g);
    out.geometries.push_back(g);
  }

  // assimp gives the camera in its node's space; the engine's camera lives in world space.
  void buildCamera(const aiCamera& source) {
    ZCamera* camera = out.renderer->getNewCamera();
    camera->name = source.mName.C_Str();
    const auto found = worldOf.find(camera->name);
    const ZMatrix world = found != worldOf.end() ? found->second : ZMatrix();
    if (found == worldOf.end()) zlog("assimp camera %s has no node\n", camera->name.c_str());
    camera->position = world.transformPoint(mirrored(source.mPosition) * out.scale, false);
    camera->heading = worldDirection(world, mirrored(source.mLookAt));
    camera->heading.normalize();
    camera->up = worldDirection(world, mirrored(source.mUp));
    camera->up.normalize();
    if (source.mAspect > 0) camera->aspect = source.mAspect;
    // assimp's importers store the whole horizontal angle; the engine's fov is vertical. Without
    // an aspect in the file the camera's own aspect converts it.
    if (source.mHorizontalFOV > 0) {
      const double vertical =
          2.0 * std::atan(std::tan(double(source.mHorizontalFOV) / 2.0) / double(camera->aspect));
      camera->fov = float(vertical * 180.0 / kPi);
    }
    if (source.mOrthographicWidth > 0) {
      camera->isOrthographic = true;
      camera->orthoSize = source.mOrthographicWidth / camera->aspect * out.scale;
    }
    camera->nearPlane = source.mClipPlaneNear * out.scale;
    camera->farPlane = source.mClipPlaneFar * out.scale;
    out.cameras.push_back(camera);
  }

  ZObjectBuilder& out;
  const aiScene& scene;
  std::string folder;
  std::vector<ZMaterial*> materials;  // by assimp's material index
  ZMaterial* fallback = nullptr;
  std::unordered_map<std::string, ZMatrix> worldOf;  // first frame of each name
  int skippedFaces = 0;
};

}  // namespace

bool ZObjectBuilder::loadAssimp(const std::string& fileName) {
  zlog("Loading %s through assimp\n", fileName.c_str());
  const std::string path = resolveFileName(fileName);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    zlog("assimp ERROR: %s cannot be read\n", fileName.c_str());
    return false;
  }
  Assimp::Importer importer;
  const aiScene* scene = nullptr;
  try {
    scene = importer.ReadFile(
        path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType);
  } catch (const std::exception& e) {
    zlog("assimp ERROR: %s: %s\n", fileName.c_str(), e.what());
    return false;
  }
  if (scene == nullptr || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
    zlog("assimp ERROR: %s: %s\n", fileName.c_str(), importer.GetErrorString());
    return false;
  }
  const std::string folder = folderOf(path);
  texturePath = folder + "/texture/";
  modelFolder = folder;
  const size_t firstFrame = frames.size();
  const size_t firstGeometry = geometries.size();
  const size_t firstCamera = cameras.size();
  AssimpReader(*this, *scene, folder).build();
  zlog("assimp %s: %d frames, %d geometries, %d cameras\n", fileName.c_str(),
       int(frames.size() - firstFrame), int(geometries.size() - firstGeometry),
       int(cameras.size() - firstCamera));
  return true;
}
