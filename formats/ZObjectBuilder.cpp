#include "formats/ZObjectBuilder.h"

#include "foundation/ZLog.h"
#include "foundation/ZMappedFile.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"


ZObjectBuilder::ZObjectBuilder(ZCorvane* engine) : renderer(engine) {}

ZFrame* ZObjectBuilder::load3DObject(const std::string& name) {
  const std::string folder = modelInOwnFolder ? modelPath + "/" + name : modelPath;
  const std::string fileName = folder + "/" + name + ".ase";
  // One read for the three passes.
  ZMappedFile file;
  if (!file.open(fileName)) return nullptr;
  texturePath = folder + "/texture/";
  modelFolder = folder;
  const size_t firstFrame = frames.size();
  loadASEText(file.text(), fileName);
  loadAnimationText(file.text(), fileName);
  loadSplinesText(file.text(), fileName);
  ZFrame* root = renderer->getNewFrame();
  root->name = name;
  for (size_t i = firstFrame; i < frames.size(); ++i) {
    if (frames[i]->parent == nullptr) root->addChild(frames[i]);
  }
  root->initRadius();
  return root;
}

bool ZObjectBuilder::loadASE(const std::string& fileName) {
  ZMappedFile file;
  if (!file.open(fileName)) {
    zlog("\nLoading ASE: %s\n", fileName.c_str());
    zlog("ASE ERROR: cannot read %s\n", fileName.c_str());
    return false;
  }
  return loadASEText(file.text(), fileName);
}

bool ZObjectBuilder::loadAnimation(const std::string& fileName) {
  ZMappedFile file;
  return file.open(fileName) && loadAnimationText(file.text(), fileName);
}

bool ZObjectBuilder::loadSplines(const std::string& fileName) {
  ZMappedFile file;
  return file.open(fileName) && loadSplinesText(file.text(), fileName);
}

void ZObjectBuilder::attachTo(ZFrame* root) const {
  if (modelRoot != nullptr && modelRoot != root) {
    root->takeOver(*modelRoot);
    root->moveable = modelRoot->moveable;
  }
  for (ZFrame* f : frames) {
    if (f->parent == nullptr && f != root && f != modelRoot) root->addChild(f);
  }
}
