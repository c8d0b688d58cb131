// Saves that survive a kill, a full disk and other refused writes: ZMF, ZMT and a PZFS pack are
// written by children that are killed at random moments or refused their writes, and the target
// must then be the old file or a whole new one, with no temporary file left once a save succeeds.
#include "archive/CPZFS.h"
#include "formats/ZFileZMF.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/Sanitizers.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

enum class Kind { zmf, zmt, pzfs };

// A mesh's vertices: four meshes make a ZMF of about 3 MB, a ZMT of about 6 MB; a fifth of that
// under the sanitizers, whose slower saves are as easily cut.
constexpr int kVertices = kSanitizedBuild ? 2000 : 10000;

// Two versions of a scene large enough that a save takes a while, and two file sets to pack.
class SaveDurabilityTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    for (int version = 0; version < 2; ++version) {
      ZFrame* root = engine.getNewFrame();
      root->name = "scene" + std::to_string(version);
      ZMaterial* paint = engine.getNewMaterial();
      for (int m = 0; m < 4; ++m) {
        ZGeometry* g = engine.getNewGeometry();
        g->name = "mesh" + std::to_string(m);
        for (int i = 0; i < kVertices; ++i) {
          g->addVertex({float(i % 173) + float(version), float(i / 173), float(m)});
        }
        for (int i = 0; i + 2 < kVertices; i += 3) g->addTriangle(i, i + 1, i + 2);
        g->setMaterial(paint);
        root->addGeometry(g);
      }
      scenes[version] = root;
      // The files a pack of this version holds.
      std::string bytes(kVertices * 400, '\0');  // 4 MB, or less under the sanitizers
      std::mt19937 random(unsigned(version) + 1);
      for (char& c : bytes) c = char(random());
      packed[version] = "set" + std::to_string(version) + "/data.bin";
      content[version] = bytes;
      folder.write(packed[version], bytes);
    }
    folder.enter();  // the pack names its files relative to here
    target = folder.file(GetParam() == Kind::pzfs  ? "pack.pzfs"
                         : GetParam() == Kind::zmf ? "scene.zmf"
                                                   : "scene.zmt");
  }

  // Writes version 0 or 1 to path; true when the save reports success.
  bool save(int version, const std::string& path) {
    if (GetParam() == Kind::pzfs) {
      CPZFS pzfs;
      return pzfs.create(path) && pzfs.addFile(packed[version]) && pzfs.pack();
    }
    ZFileZMF file(&engine);
    return GetParam() == Kind::zmf ? file.save(path, scenes[version])
                                   : file.saveText(path, scenes[version]);
  }

  // Which version the file at path holds whole: 0 or 1, -1 for neither.
  int versionOf(const std::string& path) {
    if (GetParam() == Kind::pzfs) {
      CPZFS pzfs;
      std::string bytes;
      if (!pzfs.openArchive(path) || pzfs.getEntries().size() != 1) return -1;
      for (int version = 0; version < 2; ++version) {
        if (pzfs.getEntries()[0].fileName() == packed[version] &&
            pzfs.readWholeFile(packed[version], bytes) && bytes == content[version]) {
          return version;
        }
      }
      return -1;
    }
    const std::string bytes = readFileText(path);
    for (int version = 0; version < 2; ++version) {
      if (bytes == reference[version]) return version;
    }
    return -1;
  }

  // The files a save leaves beside the target while it works.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".tmp") || name.ends_with(".part")) out.push_back(name);
    }
    return out;
  }

  // Runs work in a child process and returns the status it exits with (-1 when it did not exit),
  // its log lines added to the test's.
  int inChild(const std::function<int()>& work) {
    log.text();  // flushed, so that the child does not write the parent's lines again
    const pid_t child = fork();
    if (child == 0) {
      const int status = work();
      zlogFlush();
      _exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  CaptureLog log;
  ScopedDesktop desktop;
  TempFolder folder;
  ZCorvane engine;
  ZFrame* scenes[2] = {};
  std::string packed[2], content[2], reference[2];
  std::string target;
};

TEST_P(SaveDurabilityTest, AKilledSaveLeavesTheOldFileOrTheWholeNewOne) {
  // Each version as a finished save writes it, and how long a save takes.
  const auto started = std::chrono::steady_clock::now();
  for (int version = 0; version < 2; ++version) {
    const std::string path = folder.file("reference" + std::to_string(version));
    ASSERT_TRUE(save(version, path));
    reference[version] = readFileText(path);
  }
  const auto saveTime = (std::chrono::steady_clock::now() - started) / 2;
  ASSERT_TRUE(save(0, target));
  std::mt19937 random(42);
  // Within the first save and a half: the first save of the child, or the second, is cut.
  std::uniform_int_distribution<int64_t> moment(0, 3 * saveTime.count() / 2);
  int seenVersions[2] = {};
  for (int kill = 0; kill < 50; ++kill) {
    const pid_t child = fork();
    if (child == 0) {
      for (int version = 1;; version = 1 - version) save(version, target);
    }
    std::this_thread::sleep_for(std::chrono::steady_clock::duration(moment(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const int version = versionOf(target);
    ASSERT_NE(version, -1) << "after kill " << kill << " the target is neither version";
    ++seenVersions[version];
  }
  // The kills fell while both versions were the one on disk.
  EXPECT_GT(seenVersions[0], 0);
  EXPECT_GT(seenVersions[1], 0);
  ASSERT_TRUE(save(1, target));
  EXPECT_EQ(versionOf(target), 1);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_P(SaveDurabilityTest, RefusedWritesFailWithALogLineAndLeaveTheOldFile) {
  ASSERT_TRUE(save(0, target));
  const std::string old = readFileText(target);
  // Each child exits 0 when its save reported success, 1 when it failed, 2 when the case cannot
  // be made here.
  struct Case {
    const char* name;
    std::function<int()> save;
  };
  const auto failed = [&](int version, const std::string& path) {
    return save(version, path) ? 0 : 1;
  };
  const std::string tooLong = folder.file(std::string(300, 'n') + ".zmf");
  const fs::path locked = folder.path() / "locked";
  fs::create_directory(locked);
  fs::create_directory(folder.path() / "folder.target");
  const Case cases[] = {
      // A full disk: writes past the limit fail with EFBIG instead of ending the process.
      {"file size limit",
       [&] {
         signal(SIGXFSZ, SIG_IGN);
         const rlim_t half = old.size() / 2;  // below any version's size
         const rlimit limit{half, half};
         return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? failed(1, target) : 2;
       }},
      // Root may write anywhere: the child gives that up before it tries.
      {"read-only folder",
       [&] {
         fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::others_read |
                                     fs::perms::group_exec | fs::perms::others_exec);
         if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
         return failed(1, (locked / "scene").string());
       }},
      {"target is a folder", [&] { return failed(1, folder.file("folder.target")); }},
      {"name too long", [&] { return failed(1, tooLong); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t logged = log.text().size();
    const int status = inChild(c.save);
    if (status == 2) continue;  // not to be made on this machine
    EXPECT_EQ(status, 1) << "the save reported success";
    EXPECT_NE(log.text().find("annot ", logged), std::string::npos) << "no log line";
    EXPECT_TRUE(readFileText(target) == old) << "the old file changed";
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
    EXPECT_TRUE(fs::is_empty(locked));
  }
  EXPECT_TRUE(fs::is_directory(folder.file("folder.target")));
  std::error_code error;
  EXPECT_FALSE(fs::exists(tooLong, error));
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveDurabilityTest,
                         ::testing::Values(Kind::zmf, Kind::zmt, Kind::pzfs),
                         [](const auto& tested) {
                           return tested.param == Kind::zmf   ? std::string("ZMF")
                                  : tested.param == Kind::zmt ? std::string("ZMT")
                                                              : std::string("PZFS");
                         });

}  // namespace
