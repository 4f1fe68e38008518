// Expression evaluation for reports: the report script (the scope in which expressions find
// report objects, variables and functions), the name lookup that resolves data-set fields,
// system variables and report variables without compiling, and the report's Calc.
//
// The report root (report/report.h) knows nothing of scripts: it owns a TpgwReportScope that
// this module makes on first use, and its Calc goes through the script service below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "expressions/expression_cache.h"
#include "platform/exceptions.h"
#include "platform/types.h"
#include "platform/variant.h"
#include "report/report.h"

namespace pagewright {

// A report expression is one statement, plus those of the expressions it reaches through
// variables; a million steps is no honest expression's need and stops a runaway in well under a
// second. Programs run from the command line get the same budget unless told otherwise.
inline constexpr int64_t kExpressionStepLimit = 1000000;
// Text an expression may build: far beyond any report's text, and it keeps a chain of variables
// that doubles a string from taking all memory before the step budget ends it.
inline constexpr size_t kExpressionStringLength = size_t{16} << 20;

class TvmScript;

// Evaluations nested so deeply that they can only be a loop (a variable whose value names
// itself, directly or through others).
PW_DECLARE_EXCEPTION(EpgwExpressionTooDeep, EStackOverflow)

// The run counters system variables read. The band engine keeps them up to date while it runs;
// outside a run they hold the state of an engine that has not printed anything.
struct TpgwRunCounters {
  TDateTime StartDate = 0;  // date and time the run started
  TDateTime StartTime = 0;
  int Page = 0;              // logical page number of the page being produced
  int PageIndex = 0;         // index of the current prepared page (Page# is this + 1)
  int TotalPages = 0;        // logical total page count
  int EngineTotalPages = 0;  // known in the final pass of a double pass only
  int CurLine = 0;
  int CurLineThrough = 0;
  int CurTableRow = 0;
  int CurTableColumn = 0;
};

// The report's script state.
class TpgwReportScript : public TpgwReportScope {
 public:
  explicit TpgwReportScript(TpgwReport& report);
  ~TpgwReportScript() override;

  TpgwReport& Report() const { return FReport; }
  TvmScript& Script() { return *FScript; }
  TpgwExpressionCache& ExpressionCache() { return *FCache; }
  TpgwRunCounters& Counters() { return FCounters; }
  // Host statements run per report expression before it is stopped (0: no limit).
  int64_t StepLimit() const;
  void SetStepLimit(int64_t v);
  // The longest text (in UTF-16 code units) an expression may build (0: no limit).
  size_t MaxStringLength() const;
  void SetMaxStringLength(size_t v);
  // The scope objects Engine, Outline and PreviewPages.
  TPersistent& EngineObject() { return *FEngine; }
  TPersistent& OutlineObject() { return *FOutline; }
  TPersistent& PreviewPagesObject() { return *FPreviewPages; }
  // Engine.GetPostProcessor.
  TPersistent& PostProcessorObject() { return *FPostProcessor; }

 private:
  TpgwReport& FReport;
  std::unique_ptr<TPersistent> FEngine, FOutline, FPreviewPages, FPostProcessor;
  std::unique_ptr<TvmScript> FScript;
  std::unique_ptr<TpgwExpressionCache> FCache;
  TpgwRunCounters FCounters;
};

// The report's script state, made (with the built-in modules) on first use.
TpgwReportScript& ReportScript(TpgwReport& report);

// Who asks for a value: the host (errors go to the report's error list and raise) or a script
// through Report.Calc (errors raise "Error in Calc expression:" and the text, nothing recorded).
enum TpgwCalcCaller : uint8_t { ccHost, ccReportCalc };

// The value of an expression in the scope of `script` (the report script when null). A bare name
// is resolved without compiling; anything else is compiled once per text and cached.
Variant CalcExpression(TpgwReport& report, const WideString& expr, TvmScript* script = nullptr,
                       TpgwCalcCaller caller = ccHost);
// Resolves a bare name: a data-set field (DataSet."Field"), a system variable, the host's
// callbacks, a report variable, a global variable, a variable of the report script.
bool LookupValue(TpgwReport& report, const WideString& name, Variant& value);

// With the engine option RunScripts: compiles the report's script (prepared by PrepareReportScript)
// and runs its main block, so that its event procedures exist for the engine to call. A compile
// or run error is added to the report's errors with its line and column, and stops the
// preparation (false). Without the option it does nothing and returns true.
bool RunReportScript(TpgwReport& report);

// Fills the report script for a run: the objects of `activeReport` (the report itself when null)
// under their names, Report, PreviewPages, Engine, Outline, Value, Self and the report functions.
// Empties the expression cache.
bool PrepareReportScript(TpgwReport& report, TpgwReport* activeReport = nullptr);

// Adds a function whose calls go to the report's OnUserFunction; `funcName` is a declaration
// ("function Twice(X: Integer): Integer"). Such functions survive the preparations.
void AddReportFunction(TpgwReport& report, const WideString& funcName, const WideString& category = {},
                       const WideString& description = {});

// The script variables Value and Self.
void SetReportLocalValue(TpgwReport& report, const Variant& value);
void SetReportSelfValue(TpgwReport& report, TPersistent* view);

// Host callbacks of a report (never stored).
struct TpgwReportValueEvents {
  std::function<void(const WideString& varName, Variant& value)> OnGetValue;
  std::function<void(TpgwReport& sender, const WideString& varName, Variant& value)> OnNewGetValue;
  // Calls of functions added with AddReportFunction: the name and the argument values, which
  // the handler may change (by-reference parameters).
  std::function<Variant(const WideString& methodName, Variant& params)> OnUserFunction;
};
TpgwReportValueEvents& ReportValueEvents(TpgwReport& report);

// The script engine as reports reach it (report/services.h): Calc, the script preparation, the
// text object's script variables Value and Self, and the global variables.
IpgwScriptService& ReportScriptService();

// Start-up: the report module of built-in script items.
void RegisterReportExpressions();

}  // namespace pagewright
