#include "foundation/ZDebugLog.h"
#include "foundation/ZLog.h"

#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

extern char** environ;

namespace {

// Puts standard output back where it was when the test ends.
class StdoutGuard {
 public:
  StdoutGuard() : saved(dup(STDOUT_FILENO)) { std::fflush(stdout); }
  ~StdoutGuard() {
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
  }

 private:
  int saved;
};

// Sets an environment variable for the test's lifetime (unset when value is null).
class ScopedEnv {
 public:
  ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* old = std::getenv(name)) previous = old, hadValue = true;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { hadValue ? setenv(name, previous.c_str(), 1) : unsetenv(name); }

 private:
  const char* name;
  std::string previous;
  bool hadValue = false;
};

TEST(ZLog, SwitchedOffItWritesNothingUntilSwitchedOnAgain) {
  CaptureLog log;
  zlogSetEnabled(false);
  zlog("hidden %d\n", 1);
  const bool offReads = zlogEnabled();
  zlogSetEnabled(true);
  zlog("shown %d\n", 2);
  EXPECT_FALSE(offReads);
  EXPECT_TRUE(zlogEnabled());
  EXPECT_EQ(log.text(), "shown 2\n");
}

TEST(ZDebugLog, StandardOutputGoesToTheLogFile) {
  TempFolder folder;
  StdoutGuard guard;
  {
    ZDebugLog log;
    const std::string path = (folder.path() / "logLite.txt").string();
    ASSERT_TRUE(log.init(path));
    EXPECT_EQ(log.file, stdout);
    EXPECT_EQ(log.fileName, path);
    EXPECT_EQ(ZDebugLog::current, &log);
    zlog("line %d\n", 1);
    std::printf("plain printf lands too\n");
  }
  EXPECT_EQ(ZDebugLog::current, nullptr);
  EXPECT_EQ(readFileText(folder.path() / "logLite.txt"), "line 1\nplain printf lands too\n");
}

TEST(ZDebugLog, UnwritableFolderFallsBackToUserStateFolder) {
  TempFolder folder;
  ScopedEnv state("XDG_STATE_HOME", folder.path().c_str());
  StdoutGuard guard;
  ZDebugLog log;
  ASSERT_TRUE(log.init("/nonexistent-zmfedit-folder/logLite.txt"));
  EXPECT_EQ(log.fileName, (folder.path() / "zmfedit/logLite.txt").string());
  zlog("fallback\n");
  std::fflush(stdout);
  EXPECT_EQ(readFileText(log.fileName), "fallback\n");
}

TEST(ZDebugLog, NoWritableLogAsksToQuitWithFailure) {
  ScopedEnv state("XDG_STATE_HOME", nullptr);
  ScopedEnv home("HOME", nullptr);
  ScopedDesktop desktop;
  ZDebugLog log;
  EXPECT_FALSE(log.init("/nonexistent-zmfedit-folder/logLite.txt"));
  EXPECT_EQ(log.file, nullptr);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text, "Error opening log, check write permissions");
  EXPECT_TRUE(desktop.quitPosted);
  EXPECT_NE(desktop.exitCode, 0);
}

struct ChildResult {
  pid_t pid = 0;
  int status = 0;
  std::string stderrText;
};

ChildResult runCrashChild(const TempFolder& folder, const char* fault) {
  const std::string child = (std::filesystem::path(CRASH_CHILD_DIR) / "crash_child").string();
  const std::string errPath = (folder.path() / "stderr.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string folderArg = folder.path().string();
  char* argv[] = {const_cast<char*>(child.c_str()), const_cast<char*>(folderArg.c_str()),
                  const_cast<char*>(fault), nullptr};
  ChildResult result;
  EXPECT_EQ(posix_spawn(&result.pid, child.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  waitpid(result.pid, &result.status, 0);
  result.stderrText = readFileText(errPath);
  return result;
}

TEST(ZDebugLog, FatalSignalWritesBannerDumpAndMessageThenDies) {
  const struct {
    const char* fault;
    int signal;
    const char* signalName;
  } cases[] = {{"segv", SIGSEGV, "SIGSEGV"}, {"throw", SIGABRT, "SIGABRT"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    TempFolder folder;
    const auto before = std::chrono::system_clock::now();
    const ChildResult child = runCrashChild(folder, c.fault);
    ASSERT_TRUE(WIFSIGNALED(child.status)) << "status " << child.status;
    EXPECT_EQ(WTERMSIG(child.status), c.signal);

    std::vector<std::filesystem::path> dumps;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "dumps")) {
      dumps.push_back(entry.path());
    }
    ASSERT_EQ(dumps.size(), 1u);
    const std::string name = dumps[0].filename().string();
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(
        name, parts, std::regex(R"(pzp_v1\.0\.3-(\d{8})-(\d{6})-(\d+)-(\d+)\.dmp)")))
        << name;
    EXPECT_EQ(parts[3].str(), std::to_string(child.pid));
    EXPECT_EQ(parts[4].str(), std::to_string(child.pid));  // the main thread faulted
    const std::time_t now = std::chrono::system_clock::to_time_t(before);
    std::tm local{};
    localtime_r(&now, &local);
    char day[16];
    std::strftime(day, sizeof(day), "%Y%m%d", &local);
    EXPECT_EQ(parts[1].str(), day);

    const std::string log = readFileText(folder.path() / "logLite.txt");
    EXPECT_NE(log.find("child is about to fail\n"
                       "******************          ERROR!!!      *********************\n"
                       "* ZDebugLog: exception trapped correcly...closing the log     *\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("***************************************************************\n"
                       "writing dump file dumps/" + name + "\n"),
              std::string::npos)
        << log;

    const std::string dump = readFileText(dumps[0]);
    EXPECT_NE(dump.find(std::string("(") + c.signalName + ")"), std::string::npos) << dump;
    EXPECT_NE(dump.find("backtrace:\n"), std::string::npos);
    if (c.signal == SIGSEGV) {
      EXPECT_NE(dump.find("address: 0x10"), std::string::npos) << dump;
      EXPECT_NE(dump.find("crashChildWriteToBadAddress"), std::string::npos) << dump;
    }
    EXPECT_NE(child.stderrText.find("[ZDebugLog] This program generated an error.\n ZDebugLog "
                                    "was able to recover and save a log named dumps/" + name),
              std::string::npos)
        << child.stderrText;
  }
}

}  // namespace
