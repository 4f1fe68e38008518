#include "cli/eval_command.h"

#include <charconv>
#include <exception>
#include <new>
#include <ostream>
#include <string>

#include "startup/startup.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "EXPR...";

// The expression starts on this line of the wrapping program, at column 1.
constexpr int kFirstLine = 3;

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright eval " << kArguments << "\n"
     << "  EXPR   a PascalScript expression; the system functions (IntToStr, FormatFloat, Copy ...) are "
        "known\n"
     << "Prints each expression's value as text, one per line. On an error prints the message and the\n"
     << "position (line:column within the expression) to standard error and exits with 1.\n";
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
  InitializeEngine();
  for (const std::string& expr : args) {
    TvmScript script;
    TvmSysFunctions sys(&script);
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
