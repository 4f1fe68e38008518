// The compiled-expression cache of a report: each distinct expression text is wrapped into a
// function of its own, compiled once into the cache's script and run on every later use.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/types.h"
#include "platform/variant.h"

namespace pagewright {

class TvmScript;
class TvmProcVariable;

class TpgwExpressionCache {
 public:
  // `mainScript` is the report script (not owned): the scope names are looked up in.
  explicit TpgwExpressionCache(TvmScript* mainScript);
  ~TpgwExpressionCache();
  TpgwExpressionCache(const TpgwExpressionCache&) = delete;
  TpgwExpressionCache& operator=(const TpgwExpressionCache&) = delete;

  // Forgets every compiled function.
  void Clear();
  // The value of `expression` run in the scope of `script` (the main script when null). A
  // compile or run-time error leaves a message in `errorMsg` and the value as far as it got.
  Variant Calc(const WideString& expression, WideString& errorMsg, TvmScript* script = nullptr);

  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool v);
  const WideString& ScriptLanguage() const { return FScriptLanguage; }
  void SetScriptLanguage(const WideString& v) { FScriptLanguage = v; }
  TvmScript* MainScript() const { return FMainScript; }
  TvmScript& Script() { return *FScript; }
  // Distinct keys compiled since the last Clear.
  int Count() const { return static_cast<int>(FExpressions.size()); }

 private:
  WideString KeyOf(const WideString& key) const;
  std::map<WideString, TvmProcVariable*> FExpressions;
  TvmScript* FMainScript;
  std::unique_ptr<TvmScript> FScript;
  WideString FScriptLanguage = u"PascalScript";
  bool FCaseSensitive = true;
  int FNextNumber = 0;
};

}  // namespace pagewright
