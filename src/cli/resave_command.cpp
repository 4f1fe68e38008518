#include "cli/resave_command.h"

#include <ostream>
#include <string>

#include "cli/template_loading.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "[--defaults] IN OUT";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright resave " << kArguments << "\n"
     << "  IN           the report template to load\n"
     << "  OUT          where to save it again (may be IN)\n"
     << "  --defaults   also write properties that have their default values\n"
     << "Problems of the load go to standard error after \"error: \"; the template is saved\n"
     << "anyway, without what could not be read.\n"
     << "Exit status: 0 saved cleanly, 1 saved after load errors or not saved, 2 IN cannot be read.\n";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool defaults = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      PrintUsage(out);
      return kExitOk;
    }
    if (a == "--defaults") {
      defaults = true;
    } else if (!a.empty() && a[0] == '-') {
      err << "pagewright resave: unknown option " << a << "\n";
      PrintUsage(err);
      return kExitUsage;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) {
    err << "pagewright resave: expects an input and an output template\n";
    PrintUsage(err);
    return kExitUsage;
  }
  auto report = LoadTemplate("resave", files[0], err);
  if (!report) return kExitUnreadable;
  const bool errors = PrintErrors(*report, files[0], err);
  try {
    report->SaveToFile(Utf8ToUtf16(files[1]), defaults);
  } catch (const Exception& e) {
    err << "pagewright resave: cannot save " << files[1] << ": " << e.Message() << "\n";
    return kExitFailure;
  }
  return errors ? kExitFailure : kExitOk;
}

}  // namespace

const CliCommand kResaveCommand = {"resave", kArguments, "loads a template and saves it again", Run};

}  // namespace pagewright::cli
