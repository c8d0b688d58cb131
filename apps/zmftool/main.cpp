// zmftool: batch work on models, their configuration and archives from the command line.
// Results go to standard output; engine diagnostics go to standard error with -v and are
// dropped otherwise.
#include "apps/zmftool/ContentCheck.h"
#include "apps/zmftool/EditSession.h"
#include "apps/zmftool/ModelCheck.h"
#include "apps/zmftool/ModelInfo.h"
#include "apps/zmftool/ModelRender.h"
#include "apps/zmftool/JsonWriter.h"
#include "apps/zmftool/ProgressBar.h"
#include "apps/zmftool/TrackGen.h"
#include "formats/ZModelFile.h"
#include "archive/CPZFS.h"
#include "archive/CTQCrypto.h"
#include "foundation/ZFileName.h"
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"
#include "foundation/ZParse.h"
#include "foundation/ZReplacingFile.h"
#include "render/ZCorvane.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: zmftool [-v] COMMAND ...\n"
    "       zmftool --version\n"
    "  -v: engine diagnostics to standard error\n"
    "commands:\n"
    "  info FILE [--json]        what a model holds: lighting, counts, frame tree, textures\n"
    "                            (ZMF and .pzo, ZMT, ASE, OBJ, XSI, X, glTF/GLB, FBX, DAE,\n"
    "                            3DS, PLY, STL)\n"
    "  check car|interior|tyre MODEL [--json]\n"
    "                            the editor's check of the names the simulation needs;\n"
    "                            exit 0 when it passes, 1 when it reports an error\n"
    "  textures MODEL [--json] [--fix -o OUT.zmt|OUT.zmf]\n"
    "                            every texture reference and the file it resolves to (exactly,\n"
    "                            ignoring case, or missing); exit 1 unless all are exact; --fix\n"
    "                            writes a copy naming the files as spelled on disk\n"
    "  budget MODEL [--json]     triangles, draws a frame, materials, texture memory, and the\n"
    "                            heaviest meshes and textures\n"
    "  session [MODEL] [--packets IN|-] [--replies OUT|-] [--save OUT.zmf|OUT.zmt]\n"
    "                            a headless editor on MODEL runs the command packets of IN\n"
    "                            (docs/protocol.md), writes its replies to OUT, then saves\n"
    "  convert IN OUT [--scale S] [--mirror-x] [--copy-textures]\n"
    "                            any readable model to ZMF or ZMT, or exported to glTF (.gltf,\n"
    "                            .glb; keeps everything the simulation needs) or to OBJ, FBX\n"
    "                            or DAE (geometry, names, hierarchy and basic materials only),\n"
    "                            by OUT's extension; textures are referenced, or with\n"
    "                            --copy-textures copied beside an export\n"
    "  render IN -o OUT.png [--size WxH|N] [--view persp|left|top|front] [--scale S]\n"
    "         [--mirror-x] [--hdr]\n"
    "                            a frame of the model through the renderer (headless), framed\n"
    "                            by the camera, with sun shadows on a floor (default 800x600);\n"
    "                            --hdr draws it through the HDR chain (tone map and bloom)\n"
    "  trackgen OUT.zmt|OUT.zmf [--seed N] [--length METRES] [--notes FILE]\n"
    "                            a random stage from the track builder (default 2000 m of\n"
    "                            corners and straights); its surfaces are copied into OUT's\n"
    "                            texture folder, its pace notes go to FILE (default notes.txt\n"
    "                            beside OUT); the same seed builds the same stage\n"
  "  ini FILE SECTION KEY...   print the value of each key as the engine reads it\n"
    "  pack ARCHIVE FILE... [--scrambled]\n"
    "                            pack the files, named as given, into a PZFS archive\n"
    "  unpack ARCHIVE [-C DIR] [--scrambled]\n"
    "                            extract every file of an archive below DIR (default .)\n"
    "  list ARCHIVE [--json] [--scrambled]\n"
    "                            print the size and name of every archive entry\n"
    "  scramble IN OUT           write IN as a scrambled container file\n"
    "  unscramble IN OUT         write the content of a scrambled container file\n";

int printIniValues(const std::vector<std::string>& args) {
  if (args.size() < 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  ZINIReader reader;
  reader.load(args[0]);
  if (!reader.loaded) {
    std::fprintf(stderr, "zmftool: cannot read %s\n", args[0].c_str());
    return 1;
  }
  for (size_t i = 2; i < args.size(); ++i) {
    std::printf("[%s] %s = %s\n", args[1].c_str(), args[i].c_str(),
                reader.getString(args[1], args[i]).c_str());
  }
  return 0;
}

// Takes the flag off args wherever it stands; whether it was there.
bool takeFlag(std::vector<std::string>& args, const char* flag) {
  const auto at = std::find(args.begin(), args.end(), flag);
  if (at == args.end()) return false;
  args.erase(at);
  return true;
}

bool takeScrambled(std::vector<std::string>& args) { return takeFlag(args, "--scrambled"); }

int packArchive(std::vector<std::string> args) {
  const bool scrambled = takeScrambled(args);
  if (args.size() < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CPZFS pzfs;
  pzfs.setScrambled(scrambled);
  if (!pzfs.create(args[0])) {
    std::fprintf(stderr, "zmftool: cannot create %s\n", args[0].c_str());
    return 1;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    if (!pzfs.addFile(args[i])) {
      std::fprintf(stderr, "zmftool: cannot add %s\n", args[i].c_str());
      return 1;
    }
  }
  if (!pzfs.pack()) {
    std::fprintf(stderr, "zmftool: packing %s failed\n", args[0].c_str());
    return 1;
  }
  std::printf("packed %zu files into %s\n", pzfs.getEntries().size(), args[0].c_str());
  return 0;
}

int unpackArchive(std::vector<std::string> args) {
  const bool scrambled = takeScrambled(args);
  std::string folder = ".";
  const auto option = std::find(args.begin(), args.end(), "-C");
  if (option != args.end()) {
    if (option + 1 == args.end()) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    folder = *(option + 1);
    args.erase(option, option + 2);
  } else if (args.size() == 2) {
    folder = args[1];  // the older form: unpack ARCHIVE FOLDER
    args.pop_back();
  }
  if (args.size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CPZFS pzfs;
  pzfs.setScrambled(scrambled);
  if (!pzfs.unpack(args[0], folder)) {
    std::fprintf(stderr, "zmftool: unpacking %s failed\n", args[0].c_str());
    return 1;
  }
  std::printf("unpacked %zu files into %s\n", pzfs.getEntries().size(), folder.c_str());
  return 0;
}

int listArchive(std::vector<std::string> args) {
  const bool scrambled = takeScrambled(args);
  const bool json = takeFlag(args, "--json");
  if (args.size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CPZFS pzfs;
  pzfs.setScrambled(scrambled);
  if (!pzfs.openArchive(args[0])) {
    std::fprintf(stderr, "zmftool: cannot read %s\n", args[0].c_str());
    return 1;
  }
  if (!json) {
    for (const SPZFEntry& entry : pzfs.getEntries()) {
      std::printf("%10d %s\n", entry.size, entry.fileName().c_str());
    }
    return 0;
  }
  JsonWriter out(stdout);
  out.beginArray();
  for (const SPZFEntry& entry : pzfs.getEntries()) {
    out.beginObject();
    out.key("name");
    out.value(entry.fileName());
    out.key("size");
    out.value(entry.size);
    out.endObject();
  }
  out.endArray();
  return 0;
}

// scramble IN OUT / unscramble IN OUT: the container file of CTQCrypto.
int scrambleFile(const std::vector<std::string>& args, bool scramble) {
  if (args.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CTQCrypto crypto;
  std::vector<uint8_t> bytes;
  if (scramble) {
    if (!readWholeFile(args[0], bytes)) {
      std::fprintf(stderr, "zmftool: cannot read %s\n", args[0].c_str());
      return 1;
    }
    const bool written = crypto.openWrite(args[1]) && crypto.write(bytes.data(), bytes.size());
    crypto.close();
    if (!written) std::fprintf(stderr, "zmftool: cannot write %s\n", args[1].c_str());
    return written ? 0 : 1;
  }
  if (!crypto.openRead(args[0])) {
    std::fprintf(stderr, "zmftool: %s is not a scrambled file\n", args[0].c_str());
    return 1;
  }
  uint8_t chunk[1 << 16];
  ZReplacingFile out(args[1]);
  for (size_t got; (got = crypto.read(chunk, sizeof chunk)) > 0;) out.write(chunk, got);
  crypto.close();
  if (!out.commit()) {
    std::fprintf(stderr, "zmftool: cannot write %s\n", args[1].c_str());
    return 1;
  }
  return 0;
}

// Options of a model command: --json, --mirror-x, --scale S; the rest are operands. False on
// an unknown option or a bad value.
struct ModelOptions {
  std::vector<std::string> operands;
  bool json = false;
  bool mirrorX = false;
  bool copyTextures = false;
  float scale = 1;
};

bool parseModelOptions(const std::vector<std::string>& args, ModelOptions& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      options.json = true;
    } else if (args[i] == "--mirror-x") {
      options.mirrorX = true;
    } else if (args[i] == "--copy-textures") {
      options.copyTextures = true;
    } else if (args[i] == "--scale" && i + 1 < args.size()) {
      options.scale = cvAtof(args[++i].c_str());
      if (!(options.scale > 0)) return false;
    } else if (args[i].rfind("--", 0) == 0) {
      return false;
    } else {
      options.operands.push_back(args[i]);
    }
  }
  return true;
}

int printInfo(const std::vector<std::string>& args) {
  ModelOptions options;
  if (!parseModelOptions(args, options) || options.operands.size() != 1 || options.mirrorX) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  ZCorvane engine;
  LoadedModel model;
  ProgressBar bar;
  if (!loadModel(options.operands[0], engine, options.scale, false, model, bar.listener())) {
    return 1;
  }
  printModelInfo(model, options.json, stdout);
  return 0;
}

int convertModel(const std::vector<std::string>& args) {
  ModelOptions options;
  if (!parseModelOptions(args, options) || options.operands.size() != 2 || options.json) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& out = options.operands[1];
  if (!isSavableModel(out)) {
    std::fprintf(stderr,
                 "zmftool: %s: OUT must end in .zmf, .zmt, .gltf, .glb, .obj, .fbx or .dae\n",
                 out.c_str());
    return 2;
  }
  ZCorvane engine;
  LoadedModel model;
  ProgressBar bar;
  if (!loadModel(options.operands[0], engine, options.scale, options.mirrorX, model,
                 bar.listener())) {
    return 1;
  }
  if (!saveModel(out, engine, model, options.copyTextures)) return 1;
  std::printf("wrote %s\n", out.c_str());
  return 0;
}

// "WxH" with both sides 1..8192.
// "WxH", or "N" for an N x N picture (what file managers ask of a thumbnailer).
bool parseSize(const std::string& text, int& width, int& height) {
  const auto side = [](const std::string& part, int& out) {
    const char* end = part.data() + part.size();
    const auto result = std::from_chars(part.data(), end, out);
    return result.ec == std::errc() && result.ptr == end && out >= 1 && out <= 8192;
  };
  const size_t x = text.find('x');
  if (x == std::string::npos) return side(text, width) && side(text, height);
  return side(text.substr(0, x), width) && side(text.substr(x + 1), height);
}

bool parseRenderOptions(const std::vector<std::string>& args, RenderRequest& request) {
  std::vector<std::string> operands;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "-o" && hasValue) {
      request.output = args[++i];
    } else if (args[i] == "--size" && hasValue) {
      if (!parseSize(args[++i], request.width, request.height)) return false;
    } else if (args[i] == "--view" && hasValue) {
      request.view = args[++i];
      if (!isRenderView(request.view)) return false;
    } else if (args[i] == "--scale" && hasValue) {
      request.scale = cvAtof(args[++i].c_str());
      if (!(request.scale > 0)) return false;
    } else if (args[i] == "--mirror-x") {
      request.mirrorX = true;
    } else if (args[i] == "--hdr") {
      request.hdr = true;
    } else if (args[i].rfind("-", 0) == 0) {
      return false;
    } else {
      operands.push_back(args[i]);
    }
  }
  if (operands.size() != 1 || request.output.empty()) return false;
  request.input = operands[0];
  return true;
}

int renderModel(const std::vector<std::string>& args) {
  RenderRequest request;
  if (!parseRenderOptions(args, request)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!renderModelToPng(request)) return 1;
  std::printf("wrote %s\n", request.output.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool verbose = !args.empty() && args.front() == "-v";
  if (verbose) args.erase(args.begin());
  zlogSetStream(stderr);
  zlogSetEnabled(verbose);
  int status = 2;
  if (args.empty() || args.front() == "help" || args.front() == "--help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    status = args.empty() ? 2 : 0;
  } else if (args.front() == "--version") {
    std::puts("zmftool 0.1.0");
    status = 0;
  } else if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
    std::fputs(kUsage, stdout);
    status = 0;
  } else if (args.front() == "info") {
    status = printInfo({args.begin() + 1, args.end()});
  } else if (args.front() == "convert") {
    status = convertModel({args.begin() + 1, args.end()});
  } else if (args.front() == "check") {
    status = checkModel({args.begin() + 1, args.end()});
  } else if (args.front() == "textures") {
    status = checkTextures({args.begin() + 1, args.end()});
  } else if (args.front() == "budget") {
    status = printBudget({args.begin() + 1, args.end()});
  } else if (args.front() == "session") {
    status = runEditSession({args.begin() + 1, args.end()});
  } else if (args.front() == "render") {
    status = renderModel({args.begin() + 1, args.end()});
  } else if (args.front() == "trackgen") {
    status = generateTrack({args.begin() + 1, args.end()});
  } else if (args.front() == "ini") {
    status = printIniValues({args.begin() + 1, args.end()});
  } else if (args.front() == "pack") {
    status = packArchive({args.begin() + 1, args.end()});
  } else if (args.front() == "unpack") {
    status = unpackArchive({args.begin() + 1, args.end()});
  } else if (args.front() == "list") {
    status = listArchive({args.begin() + 1, args.end()});
  } else if (args.front() == "scramble" || args.front() == "unscramble") {
    status = scrambleFile({args.begin() + 1, args.end()}, args.front() == "scramble");
  } else {
    std::fprintf(stderr, "zmftool: unknown command '%s'\n%s", args.front().c_str(), kUsage);
  }
  zlogSetStream(nullptr);
  return status;
}
