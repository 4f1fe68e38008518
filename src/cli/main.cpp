// The `pagewright` command-line tool: one program, one subcommand per job.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/barcode_command.h"
#include "cli/command.h"
#include "cli/eval_command.h"
#include "cli/prepare_command.h"
#include "cli/print_command.h"
#include "cli/render_command.h"
#include "cli/resave_command.h"
#include "cli/run_command.h"
#include "cli/serve_command.h"
#include "cli/tree_command.h"
#include "platform/memory_budget.h"

namespace pagewright::cli {
namespace {

// Every subcommand, one line each, in the order `--help` lists them.
const CliCommand* const kCommands[] = {
    &kBarcodeCommand,
    &kEvalCommand,
    &kRunCommand,
    &kRenderCommand,
    &kPrintCommand,
    &kServeCommand,
    &kPrepareCommand,
    &kTreeCommand,
    &kResaveCommand,
};

void PrintHelp(std::ostream& os) {
  os << "usage: pagewright <command> [arguments]\n\ncommands:\n";
  for (const CliCommand* c : kCommands) {
    os << "  " << c->name << " " << c->arguments << "\n      " << c->summary << "\n";
  }
  os << "\nEvery command also takes:\n"
     << "  --max-memory SIZE  the memory that strings, arrays and page images of the run may take\n"
     << "                     (default 1G; a number of bytes with K, M or G); more is an error\n"
     << "\nRun 'pagewright <command> --help' for a command's options.\n";
}

// "512M", "2G", "1048576": bytes; false for anything else or for more than the machine addresses.
bool ParseSize(const std::string& text, int64_t& bytes) {
  if (text.empty()) return false;
  int64_t unit = 1;
  std::string digits = text;
  switch (digits.back()) {
    case 'K':
    case 'k':
      unit = int64_t{1} << 10;
      break;
    case 'M':
    case 'm':
      unit = int64_t{1} << 20;
      break;
    case 'G':
    case 'g':
      unit = int64_t{1} << 30;
      break;
    default:
      break;
  }
  if (unit != 1) digits.pop_back();
  if (digits.empty() || digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const int64_t n = std::stoll(digits);
  if (n <= 0 || n > (int64_t{1} << 50) / unit) return false;
  bytes = n * unit;
  return true;
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "pagewright: no command given\n";
    PrintHelp(std::cerr);
    return kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(std::cout);
    return kExitOk;
  }
  for (const CliCommand* c : kCommands) {
    if (name == c->name) {
      std::vector<std::string> args(argv + 2, argv + argc);
      // The one budget for the memory input can make grow, whatever the command.
      for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--max-memory") continue;
        int64_t bytes = 0;
        if (i + 1 >= args.size() || !ParseSize(args[i + 1], bytes)) {
          std::cerr << "pagewright " << name << ": --max-memory needs a size such as 512M or 2G\n";
          return kExitUsage;
        }
        TMemoryBudget::Process().SetLimit(bytes);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        --i;
      }
      // A failure a command did not report itself still ends with a message and exit 1.
      try {
        return c->run(args, std::cout, std::cerr);
      } catch (...) {
        const CaughtError e = DescribeCaughtException();
        std::cout.flush();
        std::cerr << "pagewright " << name << ": " << e.className << ": " << e.message << "\n";
        return kExitFailure;
      }
    }
  }
  std::cerr << "pagewright: unknown command '" << name << "'\n";
  PrintHelp(std::cerr);
  return kExitUsage;
}

}  // namespace
}  // namespace pagewright::cli

int main(int argc, char** argv) {
  return pagewright::cli::Main(argc, argv);
}
