#include "expressions/report_expressions.h"

#include <mutex>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "expressions/report_classes.h"
#include "expressions/report_functions.h"
#include "expressions/script_engine_objects.h"
#include "platform/fast_cast.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/memo_view.h"
#include "report/variables.h"
#include "report/view.h"
#include "script/interpreter.h"
#include "support/resources.h"

namespace pagewright {

namespace {

// Far more than any honest chain of variables needs; a deeper chain is a loop.
constexpr int kMaxNesting = 64;
constexpr int64_t kDefaultStepLimit = kExpressionStepLimit;
constexpr size_t kMaxStringLength = kExpressionStringLength;
// Functions added with AddReportFunction carry this stamp, so that preparing leaves them.
constexpr intptr_t kUserFunctionStamp = 4;

thread_local int gCalcDepth = 0;

struct DepthGuard {
  DepthGuard() { ++gCalcDepth; }
  ~DepthGuard() { --gCalcDepth; }
};

bool EndsEverything(const Exception& e) {
  return FastCast<const EvmStepLimitExceeded>(&e) || FastCast<const EStackOverflow>(&e) ||
         FastCast<const EOutOfMemory>(&e);
}

// An object of the report's tree as a script variable. It is found by name each time it is
// read, so that the variable never outlives the object: a preparation reloads the tree, and
// the objects the script saw before are gone.
class TpgwObjectVariable : public TvmVariable {
 public:
  explicit TpgwObjectVariable(TpgwReport& report) : FReport(report) {}
  Variant GetValue() override {
    if (FAssigned) return Value;
    TpgwComponent* c = FReport.FindObject(Name);
    return c ? Variant::FromObject(c) : Variant::Null();
  }
  void SetValue(const Variant& v) override {
    Value = v;
    FAssigned = true;
  }
  const Variant* ValueRef() override { return nullptr; }

 private:
  TpgwReport& FReport;
  bool FAssigned = false;
};

class TpgwReportScriptState : public TpgwReportScript {
 public:
  using TpgwReportScript::TpgwReportScript;
  TpgwReportValueEvents Events;
};

bool IsTrueValue(const Variant& v) {
  if (v.IsEmpty() || v.IsNull()) return false;
  try {
    return VarCompare(v, Variant(true), voCmpEq);
  } catch (const Exception&) {
    return false;
  }
}

// The text is exactly DataSet."Field": an expression that merely starts that way is no field.
bool IsWholeFieldReference(const WideString& name, const WideString& field) {
  return !name.empty() && name.back() == u'"' && field.find(u'"') == WideString::npos;
}

Variant FieldValue(TpgwReport& report, TpgwDataSet& ds, const WideString& field) {
  Variant v = ds.GetValue(field);
  if (!v.IsNull() || !report.EngineOptions().ConvertNulls()) return v;
  switch (ds.GetFieldType(field)) {
    case fftString:
      return Variant(WideString());
    case fftBoolean:
      return Variant(false);
    default:  // numbers, and dates as the number 0
      return Variant(0);
  }
}

Variant SystemVariable(TpgwReport& report, int index) {
  TpgwRunCounters& c = ReportScript(report).Counters();
  switch (index) {
    case 0:
      // The run's start holds date and time; Date is the day alone, Time the time of day alone.
      return Variant::FromDateTime(static_cast<TDateTime>(Trunc(c.StartDate)));
    case 1: {
      const TDateTime t = c.StartTime - static_cast<TDateTime>(Trunc(c.StartTime));
      return Variant::FromDateTime(t < 0 ? -t : t);
    }
    case 2:
      return Variant(static_cast<int32_t>(c.Page));
    case 3:
      return Variant(static_cast<int32_t>(c.PageIndex + 1));
    case 4:
      return Variant(static_cast<int32_t>(c.TotalPages));
    case 5:
      return Variant(static_cast<int32_t>(c.EngineTotalPages));
    case 6:
      return Variant(static_cast<int32_t>(c.CurLine));
    case 7:
      return Variant(static_cast<int32_t>(c.CurLineThrough));
    case 8:
      return pgwGlobalVariables().GetVariable(u"CopyName0");
    case 9:
      return Variant(static_cast<int32_t>(c.CurTableRow));
    case 10:
      return Variant(static_cast<int32_t>(c.CurTableColumn));
    default:
      return Variant::Null();
  }
}

bool IsAggregateCall(const WideString& text) {
  const size_t paren = text.find(u'(');
  if (paren == WideString::npos) return false;
  const WideString head = WideUpperCase(Trim(std::u16string_view(text).substr(0, paren)));
  return head == u"SUM" || head == u"MIN" || head == u"MAX" || head == u"AVG" || head == u"COUNT";
}

const Variant& Param(const std::vector<Variant>& params, size_t i) {
  static const Variant empty;
  return i < params.size() ? params[i] : empty;
}

Variant GetHandler(TpgwReport& report, const WideString& name) {
  Variant v;
  if (LookupValue(report, name, v)) return v;
  if (IsAggregateCall(name)) return CalcExpression(report, name);
  if (report.EngineOptions().IgnoreExprError()) return Variant(name);
  report.Errors().Add(ResourceGet("clUnknownVar") + u" " + name);
  return Variant();
}

Variant IIFHandler(TpgwReport& report, const std::vector<Variant>& params) {
  try {
    const bool choice = IsTrueValue(CalcExpression(report, VarToStr(Param(params, 0))));
    return CalcExpression(report, VarToStr(Param(params, choice ? 1 : 2)));
  } catch (const Exception& e) {
    if (EndsEverything(e)) throw;
    return Variant();  // the error is in the report's list already
  }
}

Variant AggregateHandler(TpgwReport& report, const WideString& funcName, const std::vector<Variant>& params) {
  const bool count = funcName == u"COUNT";
  const WideString expr = count ? WideString() : VarToStr(Param(params, 0));
  const size_t first = count ? 0 : 1;
  const WideString bandText = Trim(VarToStr(Param(params, first)));
  const WideString flagsText = Trim(VarToStr(Param(params, first + 1)));
  const Variant band = bandText.empty() ? Variant(0) : CalcExpression(report, bandText);
  const int flags = flagsText.empty() ? 0 : CalcExpression(report, flagsText).AsInteger();
  IpgwRunningEngine* engine = report.RunningEngine();
  if (!engine)
    throw Exception("Aggregate function " + Utf16ToUtf8(funcName) + " is available only while the report runs");
  TvmScript& script = ReportScript(report).Script();
  if (script.ProgRunning) script.ProgRunning->ProgName.clear();
  return engine->AggregateValue(funcName, expr, band, flags);
}

void AddScopeObject(TvmScript& script, const WideString& name, TPersistent* obj) {
  if (!obj || script.Find(name)) return;
  script.AddObject(name, obj);
}

}  // namespace

// ---- the report's script state ---------------------------------------------------------------------

TpgwReportScript::TpgwReportScript(TpgwReport& report)
    : FReport(report),
      FEngine(std::make_unique<TpgwScriptEngine>(report)),
      FOutline(std::make_unique<TpgwScriptOutline>(report)),
      FPreviewPages(std::make_unique<TpgwScriptPreviewPages>(report)),
      FPostProcessor(std::make_unique<TpgwScriptPostProcessor>(report)),
      FScript(std::make_unique<TvmScript>()) {
  FScript->ExtendedCharset = true;
  FScript->StepLimit = kDefaultStepLimit;
  FScript->MaxStringLength = kMaxStringLength;
  FScript->AddRTTI();
  SetScriptReport(*FScript, &report);
  FCache = std::make_unique<TpgwExpressionCache>(FScript.get());
}

TpgwReportScript::~TpgwReportScript() {
  // Compiled functions refer to the report script's items: they go first.
  FCache.reset();
  FScript.reset();
}

int64_t TpgwReportScript::StepLimit() const {
  return FScript->StepLimit;
}

void TpgwReportScript::SetStepLimit(int64_t v) {
  FScript->StepLimit = v;
}

size_t TpgwReportScript::MaxStringLength() const {
  return FScript->MaxStringLength;
}

void TpgwReportScript::SetMaxStringLength(size_t v) {
  FScript->MaxStringLength = v;
}

TpgwReportScript& ReportScript(TpgwReport& report) {
  if (auto* s = FastCast<TpgwReportScript>(report.ScriptScope())) return *s;
  auto state = std::make_unique<TpgwReportScriptState>(report);
  TpgwReportScript& s = *state;
  report.SetScriptScope(std::move(state));
  return s;
}

TpgwReportValueEvents& ReportValueEvents(TpgwReport& report) {
  return static_cast<TpgwReportScriptState&>(ReportScript(report)).Events;
}

// ---- name lookup and Calc ------------------------------------------------------------------------------

bool LookupValue(TpgwReport& report, const WideString& name, Variant& value) {
  // Nothing is named by the empty text (a variable without a name only closes a category).
  if (name.empty()) return false;
  TComponent* ds = nullptr;
  WideString field;
  report.GetDatasetAndField(name, ds, field);
  if (ds && !field.empty() && IsWholeFieldReference(name, field)) {
    if (auto* d = FastCast<TpgwDataSet>(ds)) {
      value = FieldValue(report, *d, field);
      return true;
    }
  }

  TStringList& sys = report.SysVariables();
  for (int i = 0; i < sys.Count(); ++i)
    if (WideSameText(sys[i], name)) {
      value = SystemVariable(report, i);
      return true;
    }

  TpgwReportValueEvents& events = ReportValueEvents(report);
  if (events.OnGetValue || events.OnNewGetValue) {
    Variant v;
    if (events.OnGetValue) events.OnGetValue(name, v);
    if (events.OnNewGetValue) events.OnNewGetValue(report, name, v);
    if (!v.IsEmpty()) {
      value = v;
      return true;
    }
  }

  const int vi = report.Variables().IndexOf(name);
  if (vi >= 0) {
    const Variant v = report.Variables().Items(vi).Value();
    // A one-line text is an expression of its own; other values are taken as they are.
    if (v.IsString() && v.StringRef().find(u"\r\n") == WideString::npos)
      value = CalcExpression(report, v.StringRef());
    else
      value = v;
    return true;
  }

  const int gi = pgwGlobalVariables().IndexOf(name);
  if (gi >= 0) {
    value = pgwGlobalVariables().Items(gi).Value();
    return true;
  }

  TvmCustomVariable* item = ReportScript(report).Script().FindLocal(name);
  if (item && !FastCast<TvmProcVariable>(item) && !FastCast<TvmMethodHelper>(item) &&
      !FastCast<TvmClassVariable>(item) && !FastCast<TvmTypeVariable>(item)) {
    value = item->GetValue();
    return true;
  }
  return false;
}

Variant CalcExpression(TpgwReport& report, const WideString& expr, TvmScript* script, TpgwCalcCaller caller) {
  DepthGuard depth;
  TpgwReportScript& rs = ReportScript(report);
  if (!report.ScriptObjectsAdded()) PrepareReportScript(report);
  if (!script) script = &rs.Script();

  Variant value;
  WideString error;
  try {
    if (gCalcDepth > kMaxNesting)
      throw EpgwExpressionTooDeep("Expressions nested more than " + std::to_string(kMaxNesting) +
                                  " levels deep (a variable that refers to itself?)");
    if (LookupValue(report, expr, value)) return value;
    value = rs.ExpressionCache().Calc(expr, error, script);
  } catch (const Exception& e) {
    // A runaway is reported once, by the evaluation the host asked for.
    if (!EndsEverything(e) || gCalcDepth > 1) throw;
    error = Utf8ToUtf16(e.Message());
    value = Variant();
  }
  if (error.empty()) return value;

  const TpgwEngineOptions& options = report.EngineOptions();
  if (error == u"Floating point division by zero" && options.IgnoreDevByZero()) return Variant();
  if (options.IgnoreExprError()) return Variant(expr);
  if (caller == ccReportCalc) throw Exception(Utf16ToUtf8(ResourceGet("clErrorInExp") + error));
  WideString message = error;
  if (!report.CurObject().empty()) message = report.CurObject() + u": " + error;
  report.Errors().Add(message);
  throw Exception(Utf16ToUtf8(message));
}

// ---- the script scope -------------------------------------------------------------------------------------

bool PrepareReportScript(TpgwReport& report, TpgwReport* activeReport) {
  TpgwReport& active = activeReport ? *activeReport : report;
  TpgwReportScript& rs = ReportScript(report);
  TvmScript& script = rs.Script();
  TpgwExpressionCache& cache = rs.ExpressionCache();
  cache.Clear();
  cache.SetScriptLanguage(report.ScriptLanguage());

  const intptr_t stamp = reinterpret_cast<intptr_t>(&active);
  script.ClearItems(stamp);
  const intptr_t savedStamp = script.AddedBy;
  script.AddedBy = stamp;
  auto restoreStamp = ScopeExit([&] { script.AddedBy = savedStamp; });
  script.MainProg = true;

  // The list is copied: BeforeStartReport may change the tree.
  const std::vector<TpgwComponent*> objects = active.AllObjects();
  for (TpgwComponent* c : objects) {
    c->BeforeStartReport();
    const WideString& name = c->Name();
    if (c->IsAncestor() || name.empty() || script.Find(name)) continue;
    auto v = std::make_unique<TpgwObjectVariable>(active);
    v->Name = name;
    v->TypeName = Utf8ToUtf16(c->ClassName());
    v->Typ = script.FindClass(v->TypeName) ? fvtClass : fvtVariant;
    if (v->Typ != fvtClass) v->TypeName.clear();
    script.Add(name, std::move(v));
  }

  AddScopeObject(script, u"Report", &active);
  AddScopeObject(script, u"Engine", &rs.EngineObject());
  AddScopeObject(script, u"Outline", &rs.OutlineObject());
  AddScopeObject(script, u"PreviewPages", &rs.PreviewPagesObject());
  script.AddVariable(u"Value", u"Variant", Variant::Null());
  script.AddVariable(u"Self", u"TpgwView", Variant::Null());

  TpgwReport* r = &report;
  script.AddMethod(u"function Get(Name: String): Variant",
                   [r](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
                     return GetHandler(*r, VarToStr(Param(p, 0)));
                   });
  script.AddMethod(u"procedure Set(Name: String; Value: Variant)",
                   [r](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
                     r->Variables().SetVariable(VarToStr(Param(p, 0)), Param(p, 1));
                     return Variant::Null();
                   });
  auto macro = [r](TPersistent*, TvmClassVariable*, const WideString& name, std::vector<Variant>& p) {
    const WideString upper = WideUpperCase(name);
    if (upper == u"IIF") return IIFHandler(*r, p);
    return AggregateHandler(*r, upper, p);
  };
  script.AddMethod(u"macrofunction IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant", macro);
  for (const char16_t* f : {u"SUM", u"AVG", u"MIN", u"MAX"})
    script.AddMethod(u"macrofunction " + WideString(f) +
                         u"(Expr: Variant; Band: Variant = 0; Flags: Integer = 0): Variant",
                     macro);
  script.AddMethod(u"macrofunction COUNT(Band: Variant = 0; Flags: Integer = 0): Variant", macro);

  script.Lines = report.ScriptText().Text();
  script.SyntaxType = report.ScriptLanguage();
  const TDateTime now = Now();
  rs.Counters().StartDate = now;
  rs.Counters().StartTime = now;
  report.SetScriptObjectsAdded(true);
  return true;
}

void AddReportFunction(TpgwReport& report, const WideString& funcName, const WideString& category,
                       const WideString& description) {
  TvmScript& script = ReportScript(report).Script();
  const intptr_t saved = script.AddedBy;
  script.AddedBy = kUserFunctionStamp;
  auto restoreStamp = ScopeExit([&] { script.AddedBy = saved; });
  TpgwReport* r = &report;
  script.AddMethod(
      funcName,
      [r](TPersistent*, TvmClassVariable*, const WideString& name, std::vector<Variant>& params) {
        TpgwReportValueEvents& events = ReportValueEvents(*r);
        if (!events.OnUserFunction) return Variant::Null();
        Variant args = VarArrayOf(params);
        Variant result = events.OnUserFunction(name, args);
        if (args.IsArray()) {
          const int lo = VarArrayLowBound(args, 1), hi = VarArrayHighBound(args, 1);
          for (size_t i = 0; i < params.size() && lo + static_cast<int>(i) <= hi; ++i)
            params[i] = args.GetElement({lo + static_cast<int32_t>(i)});
        }
        return result;
      },
      category, description);
}

void SetReportLocalValue(TpgwReport& report, const Variant& value) {
  auto* rs = FastCast<TpgwReportScript>(report.ScriptScope());
  if (!rs) return;
  if (TvmCustomVariable* v = rs->Script().FindLocal(u"Value")) v->SetValue(value);
}

void SetReportSelfValue(TpgwReport& report, TPersistent* view) {
  // The variable exists once the scope is prepared; a value set before that would be lost.
  if (!report.ScriptObjectsAdded()) PrepareReportScript(report);
  auto* rs = FastCast<TpgwReportScript>(report.ScriptScope());
  if (!rs) return;
  if (TvmCustomVariable* v = rs->Script().FindLocal(u"Self"))
    v->SetValue(view ? Variant::FromObject(view) : Variant::Null());
}

bool RunReportScript(TpgwReport& report) {
  if (!report.EngineOptions().RunScripts()) return true;
  TvmScript& script = ReportScript(report).Script();
  // The report script is a template's: the same step, string and depth limits as its expressions.
  script.StepLimit = kDefaultStepLimit;
  script.MaxStringLength = kMaxStringLength;
  auto where = [&](const WideString& pos) { return u"Report script" + (pos.empty() ? WideString() : u" at " + pos); };
  if (!script.Compile()) {
    report.Errors().Add(where(script.ErrorPos) + u": " + script.ErrorMsg);
    return false;
  }
  try {
    script.Execute();
  } catch (const Exception& e) {
    report.Errors().Add(where(script.ErrorDetailPos.empty() ? script.ErrorPos : script.ErrorDetailPos) + u": " +
                        Utf8ToUtf16(e.ClassName()) + u": " + Utf8ToUtf16(e.Message()));
    return false;
  }
  return true;
}

namespace {

class TpgwScriptService final : public IpgwScriptService {
 public:
  bool Prepare(TpgwReport& report) override { return PrepareReportScript(report) && RunReportScript(report); }
  Variant Calc(TpgwReport& report, const WideString& expr) override { return CalcExpression(report, expr); }
  void SetLocalValue(TpgwReport& report, const Variant& value) override { SetReportLocalValue(report, value); }
  void SetSelf(TpgwReport& report, TPersistent* view) override { SetReportSelfValue(report, view); }
  bool GlobalVariable(const WideString& name, Variant& value) override {
    const int i = pgwGlobalVariables().IndexOf(name);
    if (i < 0) return false;
    value = pgwGlobalVariables().Items(i).Value();
    return true;
  }
};

}  // namespace

IpgwScriptService& ReportScriptService() {
  static TpgwScriptService service;
  return service;
}

void RegisterReportExpressions() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterRTTIModule(MakeReportFunctions); });
}

}  // namespace pagewright
