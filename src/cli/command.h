// A subcommand of the `pagewright` command-line tool.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pagewright::cli {

// Exit codes shared by all subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What the exception being handled says: the class name the engine reports (EOutOfMemory for a
// failed allocation, "Exception" for anything else not ours) and its message. Call it only
// inside a catch handler; every command reports what it caught in the same words.
struct CaughtError {
  std::string className;
  std::string message;
};
CaughtError DescribeCaughtException();

struct CliCommand {
  const char* name;
  const char* arguments;  // the synopsis after the name, e.g. "[--checksum] TYPE TEXT"
  const char* summary;    // one line for `pagewright --help`
  // Runs with the arguments after the subcommand name; returns the exit code. Usage problems
  // print a message to `err` and return kExitUsage.
  int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

}  // namespace pagewright::cli
