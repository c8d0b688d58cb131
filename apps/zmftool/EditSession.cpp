#include "apps/zmftool/EditSession.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "editor/CHeadlessEditHost.h"
#include "formats/ZModelFormat.h"
#include "foundation/ZDataFolder.h"
#include "foundation/ZFileName.h"
#include "scene/ZFrame.h"

namespace {

constexpr const char* kSessionUsage =
    "usage: zmftool session [MODEL] [--packets IN|-] [--replies OUT|-] [--save OUT.zmf|OUT.zmt]\n";
// Far above any packet of the protocol; a larger count means the file is not a packet stream.
constexpr uint32_t kMaxPacket = 1 << 20;

struct SessionRequest {
  std::string model, packets, replies, save;
};

std::optional<SessionRequest> parseRequest(const std::vector<std::string>& args) {
  SessionRequest request;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string* option = args[i] == "--packets"   ? &request.packets
                          : args[i] == "--replies" ? &request.replies
                          : args[i] == "--save"    ? &request.save
                                                   : nullptr;
    if (option != nullptr) {
      if (i + 1 == args.size() || !option->empty()) return std::nullopt;
      *option = args[++i];
    } else if (request.model.empty() && args[i].rfind("--", 0) != 0) {
      request.model = args[i];
    } else {
      return std::nullopt;
    }
  }
  const ModelFormat saved = modelFormatOf(request.save);
  if (!request.save.empty() && saved != ModelFormat::zmf && saved != ModelFormat::zmt) {
    return std::nullopt;
  }
  if (!request.model.empty() && modelFormatOf(request.model) == ModelFormat::unknown) {
    return std::nullopt;
  }
  return request;
}

// Paths of the caller's folder, made absolute before the host enters the data folder.
std::string absolute(const std::string& path) {
  if (path.empty() || path == "-") return path;
  std::error_code error;
  return std::filesystem::absolute(path, error).string();
}

struct FileCloser {
  void operator()(FILE* file) const {
    if (file != stdin && file != stdout) std::fclose(file);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

File openStream(const std::string& path, bool write) {
  if (path == "-") return File(write ? stdout : stdin);
  return File(std::fopen(path.c_str(), write ? "wb" : "rb"));
}

enum class Read { packet, end, cutShort };

// The next packet of the stream into bytes.
Read readPacket(FILE* in, std::vector<uint8_t>& bytes) {
  uint8_t count[4];
  const size_t got = std::fread(count, 1, 4, in);
  if (got == 0) return Read::end;
  if (got < 4) return Read::cutShort;
  const uint32_t size = uint32_t(count[0]) | uint32_t(count[1]) << 8 | uint32_t(count[2]) << 16 |
                        uint32_t(count[3]) << 24;
  if (size > kMaxPacket) return Read::cutShort;
  bytes.resize(size);
  return std::fread(bytes.data(), 1, size, in) == size ? Read::packet : Read::cutShort;
}

void writePacket(FILE* out, const uint8_t* packet, int32_t size, bool flush) {
  const uint32_t n = uint32_t(size);
  const uint8_t count[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  std::fwrite(count, 1, 4, out);
  std::fwrite(packet, 1, n, out);
  if (flush) std::fflush(out);
}

bool loadModel(CEditInterface& editor, const std::string& model) {
  if (!canOpenForReading(model)) {
    std::fprintf(stderr, "zmftool: cannot read %s\n", model.c_str());
    return false;
  }
  editor.openModel(model);
  const ZFrame* root = editor.rootFrame;
  if (root == nullptr || (root->geometries.empty() && root->children.empty())) {
    std::fprintf(stderr, "zmftool: %s: nothing could be loaded\n", model.c_str());
    return false;
  }
  return true;
}

// Feeds the packets to the core until the stream ends or a packet closes the window; false when
// the stream is cut short.
bool feedPackets(CHeadlessEditHost& host, FILE* in) {
  std::vector<uint8_t> packet;
  while (!host.desktop.windowClosed) {
    switch (readPacket(in, packet)) {
      case Read::end:
        return true;
      case Read::cutShort:
        std::fputs("zmftool: the packet stream is cut short or not a packet stream\n", stderr);
        return false;
      case Read::packet:
        host.editor->onReceive(packet.data(), int32_t(packet.size()));
        break;
    }
  }
  return true;
}

}  // namespace

int runEditSession(const std::vector<std::string>& args) {
  std::optional<SessionRequest> parsed = parseRequest(args);
  if (!parsed) {
    std::fputs(kSessionUsage, stderr);
    return 2;
  }
  SessionRequest request = *parsed;
  for (std::string* path : {&request.model, &request.packets, &request.replies, &request.save}) {
    *path = absolute(*path);
  }
  const File in = request.packets.empty() ? nullptr : openStream(request.packets, false);
  const File out = request.replies.empty() ? nullptr : openStream(request.replies, true);
  if ((!request.packets.empty() && in == nullptr) || (!request.replies.empty() && out == nullptr)) {
    std::fputs("zmftool: cannot open the packet or reply file\n", stderr);
    return 2;
  }
  const std::filesystem::path data = findDataFolder();
  if (data.empty()) {
    std::fputs("zmftool: no data folder with shaders/ found (set ZMFEDIT_HOME)\n", stderr);
    return 1;
  }
  CHeadlessEditHost host(data);
  host.desktop.printToStderr = true;
  if (out != nullptr) {
    const bool flush = request.replies == "-";
    host.editor->replyFunction = [&out, flush](const uint8_t* packet, int32_t size) {
      writePacket(out.get(), packet, size, flush);
    };
  }
  if (!request.model.empty() && !loadModel(*host.editor, request.model)) return 1;
  if (in != nullptr && !feedPackets(host, in.get())) return 2;
  if (request.save.empty()) return 0;
  const bool binary = modelFormatOf(request.save) == ModelFormat::zmf;
  const bool saved =
      binary ? host.editor->saveZMF(request.save) : host.editor->saveZMT(request.save);
  if (!saved) {
    std::fprintf(stderr, "zmftool: cannot save %s\n", request.save.c_str());
    return 1;
  }
  return 0;
}
