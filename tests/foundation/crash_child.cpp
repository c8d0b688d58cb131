// Child process for the crash-report test: opens the log in the folder it is given, logs a
// line and dies of the fault named on the command line.
#include "foundation/ZDebugLog.h"
#include "foundation/ZLog.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

extern "C" __attribute__((noinline)) void crashChildWriteToBadAddress() {
  // Not null, so the sanitizers let the store through to the hardware fault; read from a
  // volatile so the compiler cannot see the address.
  volatile uintptr_t address = 16;
  *reinterpret_cast<volatile int*>(address) = 1;
}

int main(int argc, char** argv) {
  if (argc != 3 || chdir(argv[1]) != 0) return 2;
  ZDebugLog log;
  if (!log.init("logLite.txt")) return 3;
  zlog("child is about to fail\n");
  if (std::strcmp(argv[2], "segv") == 0) crashChildWriteToBadAddress();
  if (std::strcmp(argv[2], "throw") == 0) throw std::runtime_error("uncaught");
  return 4;
}
