#include "formats/ZObjectBuilder.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"

#include <cstdint>
#include <vector>

namespace {

std::string_view asText(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

ZObjectBuilder::ZObjectBuilder(ZCorvane* engine) : renderer(engine) {}

ZFrame* ZObjectBuilder::load3DObject(const std::string& name) {
  const std::string folder = modelInOwnFolder ? modelPath + "/" + name : modelPath;
  const std::string fileName = folder + "/" + name + ".ase";
  if (!canOpenForReading(fileName)) return nullptr;
  texturePath = folder + "/texture/";
  const size_t firstFrame = frames.size();
  // One read for the three passes.
  std::vector<uint8_t> bytes;
  if (!readWholeFile(fileName, bytes)) return nullptr;
  loadASEText(asText(bytes), fileName);
  loadAnimationText(asText(bytes), fileName);
  loadSplinesText(asText(bytes), fileName);
  ZFrame* root = renderer->getNewFrame();
  root->name = name;
  for (size_t i = firstFrame; i < frames.size(); ++i) {
    if (frames[i]->parent == nullptr) root->addChild(frames[i]);
  }
  root->initRadius();
  return root;
}

bool ZObjectBuilder::loadASE(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(fileName, bytes)) {
    zlog("\nLoading ASE: %s\n", fileName.c_str());
    zlog("ASE ERROR: cannot read %s\n", fileName.c_str());
    return false;
  }
  return loadASEText(asText(bytes), fileName);
}

bool ZObjectBuilder::loadAnimation(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  return readWholeFile(fileName, bytes) && loadAnimationText(asText(bytes), fileName);
}

bool ZObjectBuilder::loadSplines(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  return readWholeFile(fileName, bytes) && loadSplinesText(asText(bytes), fileName);
}

void ZObjectBuilder::attachTo(ZFrame* root) const {
  for (ZFrame* f : frames) {
    if (f->parent == nullptr && f != root) root->addChild(f);
  }
}
