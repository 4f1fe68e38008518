#include "cli/tree_command.h"

#include <ostream>
#include <string>

#include "cli/template_loading.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "TEMPLATE";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright tree " << kArguments << "\n"
     << "  TEMPLATE   a report template (.pw3)\n"
     << "Loads the template and prints one line per object, depth-first, indented two blanks per\n"
     << "level: class name, name (\"-\" when it has none), Left, Top, Width and Height. Then each\n"
     << "problem of the load on standard error after \"error: \".\n"
     << "Exit status: 0 loaded cleanly, 1 loaded with errors, 2 the file cannot be read.\n";
}

void PrintNode(const TpgwComponent& node, int depth, std::ostream& out) {
  const std::string name = node.Name().empty() ? std::string("-") : Utf16ToUtf8(node.Name());
  out << std::string(static_cast<size_t>(depth) * 2, ' ') << node.ClassName() << " " << name << " "
      << Utf16ToUtf8(FloatToStr(node.Left())) << " " << Utf16ToUtf8(FloatToStr(node.Top())) << " "
      << Utf16ToUtf8(FloatToStr(node.Width())) << " " << Utf16ToUtf8(FloatToStr(node.Height())) << "\n";
  for (int i = 0; i < node.Objects().Count(); ++i) PrintNode(*node.Objects()[i], depth + 1, out);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    PrintUsage(out);
    return kExitOk;
  }
  if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-')) {
    err << "pagewright tree: " << (args.empty() ? "no template given" : "expects exactly one template")
        << "\n";
    PrintUsage(err);
    return kExitUsage;
  }
  auto report = LoadTemplate("tree", args[0], err);
  if (!report) return kExitUnreadable;
  PrintNode(*report, 0, out);
  out.flush();
  return PrintErrors(*report, args[0], err) ? kExitFailure : kExitOk;
}

}  // namespace

const CliCommand kTreeCommand = {"tree", kArguments, "loads a template and prints its object tree", Run};

}  // namespace pagewright::cli
