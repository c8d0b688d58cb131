// Command packets come from outside the editor (a client, a script, a packet file). Each input
// is a sequence of packets, each a 16-bit little-endian length and its bytes, run by a fresh
// editor core holding the sample car. No packet may crash the core, read past its end, break the
// frame tree into a loop or a shared node, or make a reply whose size is not its code's.
//
// The harness works in a temporary folder of its own (the car, its textures and the effects
// copied in) and drops packets whose file names are absolute or climb with "..", so nothing is
// written outside it; what the packets write there is removed after each input.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "editor/CEditInterface.h"
#include "editor/EditPackets.h"
#include "fuzz/QuietHost.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"

namespace fs = std::filesystem;

namespace {

const char* const kFixture[] = {"car.zmf", "texture", "shaders"};

// The working folder, made on first use: the sample car as ZMF beside its textures, and the
// effects. It is removed when the run ends.
const fs::path& fixtureFolder() {
  static char folder[] = "/tmp/zmf-protocol-fuzz-XXXXXX";
  static const fs::path made = [] {
    if (mkdtemp(folder) == nullptr) std::abort();
    std::atexit([] {
      std::error_code error;
      fs::remove_all(folder, error);
    });
    const fs::path data = ZMF_DATA_DIR;
    fs::copy(data / "samples/car/texture", fs::path(folder) / "texture");
    fs::copy(data / "shaders", fs::path(folder) / "shaders");
    CEditInterface editor("");
    editor.loadZMT((data / "samples/car/car.zmt").string());
    if (!editor.saveZMF((fs::path(folder) / "car.zmf").string())) std::abort();
    return fs::path(folder);
  }();
  return made;
}

// The fixture folder is the current one while an input runs; the fuzzer's own paths (corpus,
// artifacts) stay relative to where it was started.
class InFixtureFolder {
 public:
  InFixtureFolder() : previous(fs::current_path()) { fs::current_path(fixtureFolder()); }
  ~InFixtureFolder() { fs::current_path(previous); }

 private:
  fs::path previous;
};

void removeWhatPacketsWrote() {
  const std::set<std::string> kept(std::begin(kFixture), std::end(kFixture));
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(".", error)) {
    if (kept.count(entry.path().filename().string()) == 0) fs::remove_all(entry.path(), error);
  }
}

// The file name a packet carries, if its code takes one.
bool fileNameOf(const PacketReader& packet, std::string& name) {
  switch (packet.code()) {
    case 1:
    case 31:
      name = packet.text(8, 1000);
      return true;
    case 8:
    case 29:
    case 52:
    case 58:
      name = packet.textToEnd(8);
      return true;
    case 12:
    case 21:
    case 41:
    case 42:
    case 44:
    case 45:
    case 53:
    case 54:
      name = packet.textToEnd(1);
      return true;
    default:
      return false;
  }
}

bool staysInside(const PacketReader& packet) {
  std::string name;
  if (!fileNameOf(packet, name)) return true;
  return name.empty() || (name[0] != '/' && name.find("..") == std::string::npos);
}

// The size every reply of a code has.
bool replySizeFits(const uint8_t* reply, int32_t size) {
  if (size < 1) return false;
  switch (reply[0]) {
    case 3:
      return size == 1;
    case 5:
      return size == sizeof(SZMFObjectDef);
    case 7:
      return size == sizeof(SZMFMaterialDef);
    case 14:
      return size == sizeof(SZMFStageDef);
    case 18:
      return size == 8;
    case 19:
      return size == sizeof(SZMFCameraDef);
    case 25:
    case 27:
      return size == sizeof(SZMFVariableList);
    case 40:
      return size == sizeof(SZMFRefDef);
    case 51:
      return size == 2;
    case 57:
      return size == sizeof(SZMFLightInfo);
    default:
      return false;
  }
}

// Every frame below top is reached once, within the depth frames may have.
bool isTree(const ZFrame& top, std::set<const ZFrame*>& seen, int depth) {
  if (depth > ZFrame::kMaxDepth || !seen.insert(&top).second) return false;
  for (const ZFrame* child : top.children) {
    if (!isTree(*child, seen, depth + 1)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  const InFixtureFolder inFixture;
  host.desktop.messages.clear();
  host.desktop.windowClosed = false;
  {
    CEditInterface editor("");
    editor.initPhysicRefs();
    editor.loadZMF("car.zmf", false);
    editor.replyFunction = [](const uint8_t* reply, int32_t replySize) {
      if (!replySizeFits(reply, replySize)) __builtin_trap();
    };
    size_t at = 0;
    while (at + 2 <= size && !host.desktop.windowClosed) {
      const size_t length = std::min<size_t>(data[at] | data[at + 1] << 8, size - at - 2);
      at += 2;
      // Each packet in a buffer of its own size, so a read past its end is caught.
      const std::vector<uint8_t> bytes(data + at, data + at + length);
      at += length;
      if (staysInside(PacketReader(bytes.data(), bytes.size()))) {
        editor.onReceive(bytes.data(), int32_t(bytes.size()));
      }
    }
    std::set<const ZFrame*> seen;
    if (editor.rootFrame != nullptr && !isTree(*editor.rootFrame, seen, 0)) __builtin_trap();
  }
  removeWhatPacketsWrote();
  return 0;
}
