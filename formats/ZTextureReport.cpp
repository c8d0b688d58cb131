#include "formats/ZTextureReport.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "foundation/ZFileName.h"
#include "platform/d3dx/D3DXTexture.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {

// Where the reference's file is: the folder the load took the texture from, with the file name
// the model gives. Only that folder is looked in, so no name leads outside the load's folders.
void findFile(STextureReport& report) {
  const std::string& loaded = report.texture->name;
  const std::string candidate = folderOf(loaded) + "/" + std::string(fileNameOf(report.storedName));
  std::error_code error;
  if (std::filesystem::is_regular_file(candidate, error)) {
    report.match = TextureMatch::exact;
    report.file = candidate;
  } else if (canOpenForReading(candidate)) {
    report.match = TextureMatch::caseOnly;
    report.file = resolveFileName(candidate);
  }
}

// The file's facts as the cache read them, and the shape the cache gives the texture.
void describe(STextureReport& report) {
  const ZTexture& t = *report.texture;
  const D3DXIMAGE_INFO& info = t.fileInfo;
  if (info.Width == 0 || info.Height == 0) return;
  report.fileFormat = info.Format;
  report.width = info.Width;
  report.height = info.Height;
  report.fileLevels = info.MipLevels;
  const uint32_t cap = t.owner != nullptr ? uint32_t(t.owner->maxTextureSize) : 0;
  D3DXPreparedShape shape;
  if (FAILED(D3DXGetTextureShape(info, ZTexture::cacheRequest(t.name, info, cap), true, shape))) {
    return;
  }
  report.format = shape.Format;
  report.levels = shape.MipLevels;
  for (UINT level = 0; level < shape.MipLevels; ++level) {
    report.bytes += D3DXImageLevelSize(shape.Format, std::max(shape.Width >> level, 1u),
                                       std::max(shape.Height >> level, 1u));
  }
}

class TextureWalk {
 public:
  void frame(const ZFrame& f) {
    for (const ZGeometry* g : f.geometries) geometry(*g);
    for (const ZFrame* child : f.children) frame(*child);
  }
  std::vector<STextureReport> reports;

 private:
  void geometry(const ZGeometry& g) {
    if (g.material == nullptr || !seen.insert(&g).second) return;
    for (int i = 0; i < 8; ++i) {
      const ZMaterialStage& stage = g.material->stage(i);
      if (stage.texture != nullptr) use(*stage.texture, stage.storedTextureName, g);
    }
  }
  void use(ZTexture& texture, const std::string& storedName, const ZGeometry& g) {
    const auto [at, added] = indexOf.try_emplace(&texture, reports.size());
    if (added) {
      STextureReport& report = reports.emplace_back();
      report.texture = &texture;
      report.storedName = storedName.empty() ? texture.name : storedName;
      findFile(report);
      describe(report);
    }
    std::vector<const ZGeometry*>& users = reports[at->second].geometries;
    if (users.empty() || users.back() != &g) users.push_back(&g);  // two layers, one texture
  }

  std::unordered_map<const ZTexture*, size_t> indexOf;
  std::unordered_set<const ZGeometry*> seen;  // a mesh in two frames is one user
};

}  // namespace

const char* textureMatchName(TextureMatch match) {
  switch (match) {
    case TextureMatch::exact:
      return "exact";
    case TextureMatch::caseOnly:
      return "case-only";
    case TextureMatch::missing:
      return "missing";
  }
  return "missing";
}

std::vector<STextureReport> reportTextures(const ZFrame& root) {
  TextureWalk walk;
  walk.frame(root);
  return walk.reports;
}
