// The `pagewright` command-line tool: one program, one subcommand per job.
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
  os << "\nRun 'pagewright <command> --help' for a command's options.\n";
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
