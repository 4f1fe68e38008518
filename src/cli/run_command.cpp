#include "cli/run_command.h"

#include <charconv>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <ostream>
#include <sstream>
#include <string>

#include "startup/startup.h"
#include "expressions/report_expressions.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "[--steps N] [--depth N] [--language NAME] FILE";

// A program doubling a string in a loop stops here rather than taking the machine's memory.
constexpr size_t kMaxStringLength = 100'000'000;

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright run " << kArguments << "\n"
     << "  FILE        a script program (UTF-8); the system functions are known. A first line\n"
     << "              '#language NAME' selects its language\n"
     << "  --language NAME  PascalScript (the default), C++Script, BasicScript or JScript\n"
     << "  --steps N   stop the program after N statements and loop passes (default 1,000,000, as\n"
     << "              for template expressions; 0: no limit)\n"
     << "  --depth N   allow at most N nested routine calls (default: 1000)\n"
     << "Runs the program. ShowMessage writes its argument's text as one line to standard output.\n"
     << "Strings longer than 100,000,000 characters stop the program with an error.\n"
     << "A compile or run-time error is written to standard error as FILE:LINE:COLUMN: message,\n"
     << "and the exit code is 1.\n";
}

bool ParseCount(const std::string& text, int64_t max, int64_t& value, bool zeroAllowed = false) {
  const char* end = text.data() + text.size();
  auto r = std::from_chars(text.data(), end, value);
  return r.ec == std::errc() && r.ptr == end && (value > 0 || (zeroAllowed && value == 0)) && value <= max;
}

// "FILE:LINE:COLUMN" or just the file when the position is unknown.
std::string Where(const std::string& file, const WideString& pos) {
  if (pos.empty()) return file;
  return file + ":" + Utf16ToUtf8(pos);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  int64_t steps = kExpressionStepLimit;
  int64_t depth = 0;
  std::string language;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintUsage(out);
      return kExitOk;
    }
    if (a == "--steps" || a == "--depth") {
      int64_t& target = a == "--steps" ? steps : depth;
      const bool steps = a == "--steps";
      if (i + 1 >= args.size() || !ParseCount(args[i + 1], steps ? INT64_MAX : 100000, target, steps)) {
        err << "pagewright run: " << a << (steps ? " needs a number (0: no limit)\n" : " needs a positive number\n");
        PrintUsage(err);
        return kExitUsage;
      }
      ++i;
      continue;
    }
    if (a == "--language") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        err << "pagewright run: --language needs a language name\n";
        PrintUsage(err);
        return kExitUsage;
      }
      language = args[++i];
      continue;
    }
    if (a.size() > 1 && a[0] == '-') {
      err << "pagewright run: unknown option '" << a << "'\n";
      PrintUsage(err);
      return kExitUsage;
    }
    if (!file.empty()) {
      err << "pagewright run: only one program can be run\n";
      PrintUsage(err);
      return kExitUsage;
    }
    file = a;
  }
  if (file.empty()) {
    err << "pagewright run: no program given\n";
    PrintUsage(err);
    return kExitUsage;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    err << "pagewright run: cannot read " << file << "\n";
    return kExitFailure;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string text = bytes.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);

  InitializeEngine();
  // The program's only output channel, for as long as it runs.
  SetShowMessageOutput([&out](const WideString& message) { out << Utf16ToUtf8(message) << "\n"; });
  struct OutputReset {
    ~OutputReset() { SetShowMessageOutput(nullptr); }
  } reset;
  TvmScript script;
  TvmSysFunctions sys(&script);
  script.Lines = Utf8ToUtf16(text);
  // Units named by a uses clause are looked for next to the program.
  script.IncludePath = {std::filesystem::path(file).parent_path().string()};
  if (!language.empty()) script.SyntaxType = Utf8ToUtf16(language);
  script.StepLimit = steps;
  script.MaxStringLength = kMaxStringLength;
  if (depth > 0) script.MaxCallDepth = static_cast<int>(depth);
  // Compiling can raise too (an unknown language on a language line, a unit file that cannot
  // be read); whatever is raised ends the run with its message, never with an abort.
  bool compiled = false;
  auto fail = [&](const std::string& className, const std::string& message) {
    out.flush();
    const WideString& pos = compiled ? script.ErrorDetailPos : script.ErrorPos;
    err << Where(file, pos) << ": " << className << ": " << message << "\n";
    return kExitFailure;
  };
  try {
    if (!script.Compile()) {
      out.flush();
      err << Where(file, script.ErrorPos) << ": " << Utf16ToUtf8(script.ErrorMsg) << "\n";
      return kExitFailure;
    }
    compiled = true;
    script.Execute();
  } catch (...) {
    const CaughtError e = DescribeCaughtException();
    return fail(e.className, e.message);
  }
  out.flush();
  return kExitOk;
}

}  // namespace

const CliCommand kRunCommand = {"run", kArguments,
                                "compiles and runs a script program; ShowMessage prints a line", Run};

}  // namespace pagewright::cli
