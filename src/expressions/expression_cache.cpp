#include "expressions/expression_cache.h"

#include <string>

#include "platform/exceptions.h"
#include "platform/scope_guard.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "script/interpreter.h"
#include "support/resources.h"

namespace pagewright {

namespace {

// Items of a compile in progress carry this stamp until the compile succeeded, so that a failed
// compile can take back exactly what it added.
constexpr intptr_t kPendingStamp = 2;
constexpr intptr_t kCompiledStamp = 3;

WideString Wrap(const WideString& language, const WideString& name, const WideString& expression) {
  if (SameText(language, u"C++Script")) return u"Variant " + name + u"() { return " + expression + u"; } {}";
  if (SameText(language, u"BasicScript"))
    return u"function " + name + u"\r\nreturn " + expression + u"\r\nend function";
  if (SameText(language, u"JScript")) return u"function " + name + u"() { return " + expression + u"; }";
  return u"function " + name + u": Variant; begin Result := " + expression + u" end; begin end.";
}

// Errors that end the whole evaluation rather than one expression: a nested evaluation passes
// them on untouched, so that only the outermost one reports them.
bool EndsEverything(const Exception& e) {
  return dynamic_cast<const EvmStepLimitExceeded*>(&e) || dynamic_cast<const EStackOverflow*>(&e) ||
         dynamic_cast<const EOutOfMemory*>(&e);
}

}  // namespace

TpgwExpressionCache::TpgwExpressionCache(TvmScript* mainScript)
    : FMainScript(mainScript), FScript(std::make_unique<TvmScript>(mainScript)) {
  FScript->ExtendedCharset = true;
}

TpgwExpressionCache::~TpgwExpressionCache() {
  FExpressions.clear();
  FScript.reset();
}

void TpgwExpressionCache::Clear() {
  FExpressions.clear();
  FScript->Clear();
  FNextNumber = 0;
}

WideString TpgwExpressionCache::KeyOf(const WideString& key) const {
  return FCaseSensitive ? key : WideUpperCase(key);
}

void TpgwExpressionCache::SetCaseSensitive(bool v) {
  if (v == FCaseSensitive) return;
  FCaseSensitive = v;
  std::map<WideString, TvmProcVariable*> rekeyed;
  for (auto& [key, func] : FExpressions) rekeyed.emplace(KeyOf(key), func);
  FExpressions = std::move(rekeyed);
}

Variant TpgwExpressionCache::Calc(const WideString& expression, WideString& errorMsg, TvmScript* script) {
  errorMsg.clear();
  if (!script) script = FMainScript;
  FScript->Parent = script;

  WideString key = expression;
  if (FMainScript && FMainScript->ProgRunning && !FMainScript->ProgRunning->ProgName.empty())
    key = FMainScript->ProgRunning->ProgName + u"." + expression;
  key = KeyOf(key);

  TvmProcVariable* func = nullptr;
  auto found = FExpressions.find(key);
  if (found != FExpressions.end()) {
    func = found->second;
  } else {
    const WideString name = u"pw3f" + Utf8ToUtf16(std::to_string(FNextNumber));
    FScript->Lines = Wrap(FScriptLanguage, name, expression);
    FScript->SyntaxType = FScriptLanguage;
    const intptr_t savedStamp = FScript->AddedBy;
    FScript->AddedBy = kPendingStamp;
    bool compiled = false;
    {
      // An unknown language raises: the caller's failure, not the expression's.
      auto unstamp = ScopeFail([&] { FScript->RemoveItems(kPendingStamp); });
      auto restamp = ScopeExit([&] { FScript->AddedBy = savedStamp; });
      compiled = FScript->Compile();
    }
    func = compiled ? dynamic_cast<TvmProcVariable*>(FScript->FindLocal(name)) : nullptr;
    if (!func) {
      const WideString message = FScript->ErrorMsg.empty() ? WideString(u"Syntax error") : FScript->ErrorMsg;
      FScript->RemoveItems(kPendingStamp);
      FScript->Statement.Clear();
      errorMsg = ResourceGet("clExprError") + u" '" + expression + u"': " + message;
      return Variant::Null();
    }
    for (int i = 0; i < FScript->Count(); ++i)
      if (FScript->GetItem(i)->AddedBy == kPendingStamp) FScript->GetItem(i)->AddedBy = kCompiledStamp;
    FScript->Statement.Clear();
    ++FNextNumber;
    FExpressions.emplace(key, func);
  }

  // The cache script is the main program while the function runs, so that the function's
  // run state stays in the cache and not in the report script.
  struct MainGuard {
    TvmScript* s;
    bool saved;
    ~MainGuard() { s->MainProg = saved; }
  } guard{FScript.get(), FScript->MainProg};
  FScript->MainProg = true;
  TvmScript* root = FScript->Root();
  // The step budget counts per evaluation the host asks for, not per report.
  if (root->FCallDepth == 0) root->FSteps = 0;
  Variant result;
  try {
    result = func->GetValue();
  } catch (const Exception& e) {
    if (EndsEverything(e) && root->FCallDepth > 0) throw;
    errorMsg = Utf8ToUtf16(e.Message());
  }
  return result;
}

}  // namespace pagewright
