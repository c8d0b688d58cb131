// `zmftool session`: the editor core driven by command packets from a file or a live pipe.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/ToolRun.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::string kSampleCar = std::string(ZMF_DATA_DIR) + "/samples/car/car.zmt";

Bytes framed(const Bytes& packet) {
  const uint32_t n = uint32_t(packet.size());
  Bytes out = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}
Bytes renamePacket(const std::string& name) {
  Bytes p(80, 0);
  p[0] = 5;
  std::memcpy(&p[16], name.data(), name.size());
  return p;
}
Bytes selectFramePacket(uint32_t handle) {
  Bytes p(12, 0);
  p[0] = 6;
  std::memcpy(&p[4], &handle, 4);  // little-endian hosts; type 0: a frame
  return p;
}

// zmftool session with its standard input and output held as pipes, as a client holds them.
class LiveSession {
 public:
  explicit LiveSession(const std::vector<std::string>& arguments) {
    int toTool[2], fromTool[2];
    if (pipe(toTool) != 0 || pipe(fromTool) != 0) return;
    signal(SIGPIPE, SIG_IGN);
    pid = fork();
    if (pid == 0) {
      dup2(toTool[0], 0);
      dup2(fromTool[1], 1);
      for (int fd : {toTool[0], toTool[1], fromTool[0], fromTool[1]}) close(fd);
      std::vector<char*> argv = {const_cast<char*>(ZMFTOOL), const_cast<char*>("session")};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(ZMFTOOL, argv.data());
      _exit(127);
    }
    close(toTool[0]);
    close(fromTool[1]);
    in = fdopen(toTool[1], "wb");
    out = fdopen(fromTool[0], "rb");
  }
  ~LiveSession() {
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) std::fclose(out);
  }

  void send(const Bytes& packet) {
    const Bytes bytes = framed(packet);
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::fflush(in);
  }
  // The next reply; empty when the tool ended.
  Bytes receive() {
    uint8_t count[4];
    if (std::fread(count, 1, 4, out) != 4) return {};
    Bytes reply(count[0] | count[1] << 8 | count[2] << 16 | size_t(count[3]) << 24);
    if (std::fread(reply.data(), 1, reply.size(), out) != reply.size()) return {};
    return reply;
  }
  // Ends the input and waits: the exit status.
  int finish() {
    std::fclose(in);
    in = nullptr;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid = -1;
  FILE* in = nullptr;
  FILE* out = nullptr;
};

TEST(ZmftoolSession, ALiveClientRenamesReordersAndSaves) {
  TempFolder folder;
  const std::string saved = folder.file("edited.zmt");
  LiveSession session({kSampleCar, "--packets", "-", "--replies", "-", "--save", saved});
  session.send(renamePacket(""));  // nothing selected: renames nothing, sends the list
  session.send({50});              // its reply marks the end of the list
  std::map<std::string, uint32_t> handles;
  for (Bytes reply = session.receive(); !reply.empty() && reply[0] != 51;
       reply = session.receive()) {
    if (reply[0] != 5 || reply.size() != 80) continue;
    uint32_t handle;
    std::memcpy(&handle, &reply[8], 4);
    handles[std::string(reinterpret_cast<const char*>(&reply[16]))] = handle;
  }
  ASSERT_TRUE(handles.count("STEER")) << "the object list names every frame";
  EXPECT_TRUE(handles.count("TYRE_LF"));
  session.send(selectFramePacket(handles["STEER"]));
  session.send(renamePacket("STEERING"));
  session.send({11});  // last among its siblings
  session.send({36, 0, 0, 0, 0x10, 0x20, 0x30, 0});
  EXPECT_EQ(session.finish(), 0);

  const ToolRun info = zmftool("info " + saved);
  ASSERT_EQ(info.status, 0);
  EXPECT_EQ(info.out.find("<STEER>"), std::string::npos);
  const size_t renamed = info.out.find("  <STEERING>");
  ASSERT_NE(renamed, std::string::npos);
  EXPECT_GT(renamed, info.out.find("  <Pilot_HR>"));  // moved after the last frame
}

TEST(ZmftoolSession, CloseEndsTheSessionAndTheSaveStillHappens) {
  TempFolder folder;
  Bytes packets = framed({2});
  const Bytes list = framed(renamePacket(""));
  packets.insert(packets.end(), list.begin(), list.end());
  const std::string in = folder.write("packets.bin", std::string(packets.begin(), packets.end()));
  const std::string out = folder.file("replies.bin");
  const std::string saved = folder.file("closed.zmf");
  const ToolRun run = zmftool("session " + kSampleCar + " --packets " + in + " --replies " + out +
                              " --save " + saved);
  EXPECT_EQ(run.status, 0);
  std::ifstream replies(out, std::ios::binary);
  EXPECT_EQ(std::distance(std::istreambuf_iterator<char>(replies), {}), 0)
      << "the list after the close was not asked for";
  EXPECT_EQ(zmftool("info " + saved).status, 0);
}

TEST(ZmftoolSession, BadUsageCutStreamsAndFailedLoadsAreReported) {
  TempFolder folder;
  const std::string cut = folder.write("cut.bin", std::string("\x50\x00\x00\x00\x05", 5));
  const std::string empty = folder.write("empty.zmt", "");
  const struct {
    std::string arguments;
    int status;
  } cases[] = {
      {"session " + kSampleCar, 0},
      {"session", 0},  // no model: packets run on an empty scene
      {"session " + kSampleCar + " --packets " + cut, 2},
      {"session " + kSampleCar + " --save out.png", 2},
      {"session " + kSampleCar + " --packets", 2},
      {"session notes.txt", 2},
      {"session " + folder.file("missing.zmt"), 1},
      {"session " + empty, 1},
      {"session --save " + folder.file("nothing.zmf"), 1},  // no model to save
  };
  for (const auto& c : cases) EXPECT_EQ(zmftool(c.arguments).status, c.status) << c.arguments;
}

}  // namespace
