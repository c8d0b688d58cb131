// Fatal-signal handling in the shape of an unhandled-exception filter. A filter installed here
// runs once when the process receives SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT or SIGSYS (an
// uncaught C++ exception ends in SIGABRT), on its own stack so that a stack overflow is caught
// too; afterwards the signal's default action ends the process, so the parent sees the signal.
#pragma once

#include <cstdint>

// What the filter learns of the failure.
struct EXCEPTION_POINTERS {
  int signal = 0;         // POSIX signal number
  int code = 0;           // si_code: how the signal was raised
  void* address = nullptr;  // faulting address for memory and arithmetic faults
};

using LPTOP_LEVEL_EXCEPTION_FILTER = long (*)(EXCEPTION_POINTERS* exception);

// Filter return value: let the default handling end the process.
constexpr long EXCEPTION_CONTINUE_SEARCH = 0;

// Installs the filter for the fatal signals; returns the previous filter (null at first).
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);

// Writes a crash report to an open file descriptor: signal, code, address and a symbolised
// backtrace of the calling thread. Uses only calls that are safe inside a signal handler.
// Returns false when the descriptor could not be written.
bool MiniDumpWriteDump(int fileDescriptor, const EXCEPTION_POINTERS* exception);
