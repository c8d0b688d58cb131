#include "foundation/ZDebugLog.h"

#include "foundation/ZDataFolder.h"
#include "foundation/ZLog.h"
#include "platform/crash.h"
#include "platform/desktop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

ZDebugLog* ZDebugLog::current = nullptr;

namespace {

constexpr const char* kDumpFolder = "dumps";
constexpr const char* kProgramName = "pzp";
constexpr const char* kProgramVersion = "v1.0.3";
constexpr const char* kApplicationTitle = "ZMF Edit";

int openTruncated(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

long crashFilter(EXCEPTION_POINTERS* exception) {
  CreateDirectoryA(kDumpFolder);
  SYSTEMTIME now;
  GetLocalTime(&now);
  char dumpName[512];
  std::snprintf(dumpName, sizeof(dumpName), "%s/%s_%s-%04d%02d%02d-%02d%02d%02d-%ld-%ld.dmp",
                kDumpFolder, kProgramName, kProgramVersion, now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, static_cast<long>(GetCurrentProcessId()),
                static_cast<long>(GetCurrentThreadId()));

  zlog("******************          ERROR!!!      *********************\n");
  zlog("* ZDebugLog: exception trapped correcly...closing the log     *\n");
  zlog("* Please send logLite.txt and the dumps folder to the team    *\n");
  zlog("***************************************************************\n");
  std::fflush(nullptr);

  char message[640];
  std::snprintf(message, sizeof(message),
                "This program generated an error.\n ZDebugLog was able to recover and save a log "
                "named %s",
                dumpName);
  MessageBoxA(GetActiveWindow(), message, "ZDebugLog", MB_ICONERROR);

  zlog("writing dump file %s\n", dumpName);
  const int dump = open(dumpName, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (dump >= 0) {
    MiniDumpWriteDump(dump, exception);
    close(dump);
  }
  std::fflush(nullptr);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

ZDebugLog::~ZDebugLog() {
  std::fflush(nullptr);
  if (current == this) current = nullptr;
}

bool ZDebugLog::init(const std::string& name) {
  std::string path = name;
  int fd = openTruncated(path);
  if (fd < 0) {
    const std::string folder = userStateFolder().string();
    if (!folder.empty()) {
      path = folder + "/" + std::filesystem::path(name).filename().string();
      fd = openTruncated(path);
    }
  }
  if (fd < 0) {
    MessageBoxA(nullptr, "Error opening log, check write permissions", kApplicationTitle, MB_OK);
    PostQuitMessage(EXIT_FAILURE);
    return false;
  }
  std::fflush(stdout);
  dup2(fd, STDOUT_FILENO);
  close(fd);
  file = stdout;
  fileName = path;
  current = this;
  SetUnhandledExceptionFilter(crashFilter);
  return true;
}
