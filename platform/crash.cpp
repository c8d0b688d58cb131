#include "platform/crash.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <execinfo.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS};
constexpr int kMaxFrames = 64;

LPTOP_LEVEL_EXCEPTION_FILTER currentFilter = nullptr;
volatile sig_atomic_t handlingCrash = 0;
alignas(16) char alternateStack[64 * 1024];

void onFatalSignal(int signal, siginfo_t* info, void*) {
  // SA_RESETHAND already restored the default action; a second fault inside the filter
  // therefore ends the process instead of recursing.
  if (!handlingCrash) {
    handlingCrash = 1;
    EXCEPTION_POINTERS exception;
    exception.signal = signal;
    exception.code = info ? info->si_code : 0;
    exception.address = info ? info->si_addr : nullptr;
    if (currentFilter) currentFilter(&exception);
  }
  std::signal(signal, SIG_DFL);
  raise(signal);  // delivered on return: the process ends with the signal
}

bool writeAll(int fd, const char* text, size_t length) {
  while (length > 0) {
    ssize_t written = write(fd, text, length);
    if (written <= 0) return false;
    text += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool writeText(int fd, const char* text) { return writeAll(fd, text, std::strlen(text)); }

}  // namespace

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  LPTOP_LEVEL_EXCEPTION_FILTER previous = currentFilter;
  currentFilter = filter;

  // backtrace() loads its unwinder on first use; do that now, not inside the handler.
  void* frames[1];
  backtrace(frames, 1);

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof(alternateStack);
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = onFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) sigaction(signal, &action, nullptr);
  return previous;
}

bool MiniDumpWriteDump(int fd, const EXCEPTION_POINTERS* exception) {
  if (fd < 0 || !exception) return false;
  const char* name = sigabbrev_np(exception->signal);
  char header[256];
  std::snprintf(header, sizeof(header),
                "crash report\nsignal: %d (SIG%s)\ncode: %d\naddress: %p\nbacktrace:\n",
                exception->signal, name ? name : "?", exception->code, exception->address);
  if (!writeText(fd, header)) return false;
  void* frames[kMaxFrames];
  int count = backtrace(frames, kMaxFrames);
  backtrace_symbols_fd(frames, count, fd);
  return true;
}
