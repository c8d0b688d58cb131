// zmftool: batch work on models, their configuration and archives from the command line.
// Results go to standard output; engine diagnostics go to standard error with -v and are
// dropped otherwise.
#include "archive/CPZFS.h"
#include "foundation/ZINIReader.h"
#include "foundation/ZLog.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: zmftool [-v] COMMAND ...\n"
    "commands:\n"
    "  ini FILE SECTION KEY...   print the value of each key as the engine reads it\n"
    "  pack [--scrambled] ARCHIVE FILE...\n"
    "                            pack the files, named as given, into a PZFS archive\n"
    "  unpack [--scrambled] ARCHIVE FOLDER\n"
    "                            extract every file of an archive below FOLDER\n"
    "  list [--scrambled] ARCHIVE\n"
    "                            print the size and name of every archive entry\n";

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

// Takes a leading "--scrambled" off args; the archive setting it stands for.
bool takeScrambled(std::vector<std::string>& args) {
  if (args.empty() || args.front() != "--scrambled") return false;
  args.erase(args.begin());
  return true;
}

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
  if (args.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CPZFS pzfs;
  pzfs.setScrambled(scrambled);
  if (!pzfs.unpack(args[0], args[1])) {
    std::fprintf(stderr, "zmftool: unpacking %s failed\n", args[0].c_str());
    return 1;
  }
  std::printf("unpacked %zu files into %s\n", pzfs.getEntries().size(), args[1].c_str());
  return 0;
}

int listArchive(std::vector<std::string> args) {
  const bool scrambled = takeScrambled(args);
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
  for (const SPZFEntry& entry : pzfs.getEntries()) {
    std::printf("%10d %s\n", entry.size, entry.fileName().c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  FILE* discard = std::fopen("/dev/null", "w");
  zlogSetStream(discard);
  if (!args.empty() && args.front() == "-v") {
    zlogSetStream(stderr);
    args.erase(args.begin());
  }
  int status = 2;
  if (args.empty() || args.front() == "help" || args.front() == "--help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    status = args.empty() ? 2 : 0;
  } else if (args.front() == "ini") {
    status = printIniValues({args.begin() + 1, args.end()});
  } else if (args.front() == "pack") {
    status = packArchive({args.begin() + 1, args.end()});
  } else if (args.front() == "unpack") {
    status = unpackArchive({args.begin() + 1, args.end()});
  } else if (args.front() == "list") {
    status = listArchive({args.begin() + 1, args.end()});
  } else {
    std::fprintf(stderr, "zmftool: unknown command '%s'\n%s", args.front().c_str(), kUsage);
  }
  zlogSetStream(nullptr);
  if (discard) std::fclose(discard);
  return status;
}
