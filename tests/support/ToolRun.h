// Runs the command-line tool as a user does, capturing its standard output and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct ToolRun {
  int status = -1;
  std::string out;
};

// Runs zmftool with arguments (shell words); standard error is dropped.
inline ToolRun zmftool(const std::string& arguments) {
  ToolRun run;
  const std::string command = std::string(ZMFTOOL) + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, count);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
