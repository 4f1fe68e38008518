// Runs the built command-line program for end-to-end tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace pagewright::test_support {

struct ProgramResult {
  int exitCode = -1;
  std::string out;
};

inline std::string CliProgram() {
  return std::string(PW_BINARY_DIR) + "/bin/pagewright";
}

inline bool CliProgramBuilt() {
  return std::filesystem::exists(CliProgram());
}

// Runs a shell command and keeps its standard output; standard error is dropped (the checkers
// print unrelated diagnostics there).
inline ProgramResult RunCommand(const std::string& cmd) {
  ProgramResult r;
  FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Runs the program with the given (already shell-quoted) arguments; standard error is dropped.
inline ProgramResult RunCli(const std::string& args) {
  return RunCommand("'" + CliProgram() + "' " + args);
}

}  // namespace pagewright::test_support
