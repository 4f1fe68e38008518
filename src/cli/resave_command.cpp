#include "cli/resave_command.h"

#include <sys/stat.h>

#include <ostream>
#include <string>

#include "cli/template_loading.h"
#include "platform/exceptions.h"
#include "platform/safe_output.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "[--defaults] [--force] IN OUT";

// True when both names are one existing file (also through another name or a hard link).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright resave " << kArguments << "\n"
     << "  IN           the report template to load\n"
     << "  OUT          where to save it again (may be IN)\n"
     << "  --defaults   also write properties that have their default values\n"
     << "  --force      save over IN even when its load had errors\n"
     << "Problems of the load go to standard error after \"error: \"; the template is saved\n"
     << "anyway, without what could not be read, but not over IN unless --force is given.\n"
     << "OUT is replaced only by a complete file: a failed save leaves it as it was.\n"
     << "Exit status: 0 saved cleanly, 1 saved after load errors or not saved, 2 IN cannot be read.\n";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool defaults = false;
  bool force = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      PrintUsage(out);
      return kExitOk;
    }
    if (a == "--defaults") {
      defaults = true;
    } else if (a == "--force") {
      force = true;
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
  if (errors && !force && SameFile(files[0], files[1])) {
    err << "pagewright resave: " << files[1]
        << ": not saved over the input because its load had errors (--force saves anyway)\n";
    return kExitFailure;
  }
  try {
    TSafeOutputStream output(files[1]);
    report->SaveToStream(output, true, defaults);
    output.Commit();
  } catch (const Exception& e) {
    // The message names the file already.
    err << "pagewright resave: cannot save: " << e.Message() << "\n";
    return kExitFailure;
  }
  return errors ? kExitFailure : kExitOk;
}

}  // namespace

const CliCommand kResaveCommand = {"resave", kArguments, "loads a template and saves it again", Run};

}  // namespace pagewright::cli
