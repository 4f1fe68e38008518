#include "cli/eval_command.h"

#include <charconv>
#include <exception>
#include <new>
#include <ostream>
#include <string>

#include "expressions/report_expressions.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"
#include "startup/startup.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "[--steps N] EXPR...";

// The expression starts on this line of the wrapping program, at column 1.
constexpr int kFirstLine = 3;

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright eval " << kArguments << "\n"
     << "  EXPR   a PascalScript expression; the system functions (IntToStr, FormatFloat, Copy ...) are "
        "known\n"
     << "  --steps N  stop an expression after N steps (default 1,000,000, as for template\n"
     << "             expressions; 0: no limit)\n"
     << "Prints each expression's value as text, one per line. On an error prints the message and the\n"
     << "position (line:column within the expression) to standard error and exits with 1. Strings\n"
     << "longer than 16,777,216 characters are an error, as in templates.\n";
}

// "line:column" of the wrapping program as a position within the expression.
std::string ExpressionPos(const WideString& programPos) {
  std::string pos = Utf16ToUtf8(programPos);
  size_t colon = pos.find(':');
  int line = 0;
  if (colon == std::string::npos || std::from_chars(pos.data(), pos.data() + colon, line).ec != std::errc() ||
      line < kFirstLine)
    return "1:1";
  return std::to_string(line - kFirstLine + 1) + pos.substr(colon);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "pagewright eval: no expression given\n";
    PrintUsage(err);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(out);
    return kExitOk;
  }
  int64_t steps = kExpressionStepLimit;
  size_t first = 0;
  if (args[0] == "--steps") {
    const std::string text = args.size() > 1 ? args[1] : std::string();
    const auto r = std::from_chars(text.data(), text.data() + text.size(), steps);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || steps < 0) {
      err << "pagewright eval: --steps needs a number (0: no limit)\n";
      PrintUsage(err);
      return kExitUsage;
    }
    first = 2;
  }
  if (first >= args.size()) {
    err << "pagewright eval: no expression given\n";
    PrintUsage(err);
    return kExitUsage;
  }
  InitializeEngine();
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& expr = args[i];
    TvmScript script;
    TvmSysFunctions sys(&script);
    // The limits of template expressions.
    script.StepLimit = steps;
    script.MaxStringLength = kExpressionStringLength;
    // The expression on lines of its own, so that compile positions map back to it.
    script.Lines = u"var PwEvalResult: Variant;\nbegin PwEvalResult :=\n" + Utf8ToUtf16(expr) + u"\nend.";
    // Whatever is raised ends with its message, never with an abort.
    auto fail = [&](const std::string& className, const std::string& message) {
      err << "pagewright eval: " << className << ": " << message << " at "
          << ExpressionPos(script.ErrorDetailPos) << " in: " << expr << "\n";
      return kExitFailure;
    };
    try {
      if (!script.Compile()) {
        err << "pagewright eval: " << Utf16ToUtf8(script.ErrorMsg) << " at " << ExpressionPos(script.ErrorPos)
            << " in: " << expr << "\n";
        return kExitFailure;
      }
      script.Execute();
      out << Utf16ToUtf8(VarToStr(script.GetVariable(u"PwEvalResult"))) << "\n";
    } catch (...) {
      const CaughtError e = DescribeCaughtException();
      return fail(e.className, e.message);
    }
  }
  return kExitOk;
}

}  // namespace

const CliCommand kEvalCommand = {"eval", kArguments, "evaluates script expressions and prints their values",
                                 Run};

}  // namespace pagewright::cli
