// The process-wide log: standard output reopened onto a file, so every diagnostic of the
// program lands there, and the crash filter that writes a dump when the process dies of a
// fatal signal: a banner in the log, a message box, and the report
// "dumps/pzp_v1.0.3-YYYYMMDD-HHMMSS-<process>-<thread>.dmp" in the current folder.
#pragma once

#include <cstdio>
#include <string>

class ZDebugLog {
 public:
  // Flushes every standard stream.
  virtual ~ZDebugLog();

  // Reopens standard output onto fileName (truncated); when that folder is not writable the
  // log goes to the user's state folder instead. Makes this the current log and installs the
  // crash filter. When no log can be opened: shows "Error opening log, check write
  // permissions", asks the host to quit with a non-zero status and returns false.
  bool init(const std::string& fileName);

  // The stream the log was reopened onto (standard output); null before init or on failure.
  FILE* file = nullptr;
  // Path of the log file actually written.
  std::string fileName;

  static ZDebugLog* current;
};
