// zmftool: batch work on models and their configuration from the command line.
// Results go to standard output; engine diagnostics go to standard error with -v and are
// dropped otherwise.
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
    "  ini FILE SECTION KEY...   print the value of each key as the engine reads it\n";

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
  } else {
    std::fprintf(stderr, "zmftool: unknown command '%s'\n%s", args.front().c_str(), kUsage);
  }
  zlogSetStream(nullptr);
  if (discard) std::fclose(discard);
  return status;
}
