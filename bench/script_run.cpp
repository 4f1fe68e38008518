// Running compiled scripts: a loop of 1,000,000 passes with integer and string arithmetic,
// 100,000 calls of a script function, and one compiled report expression evaluated 1,000,000
// times the way the expression cache runs it.
#include <benchmark/benchmark.h>

#include "platform/unicode.h"
#include "script/interpreter.h"

namespace pagewright {
namespace {

void Compile(TvmScript& s, const char* source) {
  InitScriptInterpreter();
  s.AddBasicTypes();
  s.Lines = Utf8ToUtf16(source);
  if (!s.Compile()) throw Exception("bench script: " + Utf16ToUtf8(s.ErrorMsg));
}

void BM_LoopIntegerAndString(benchmark::State& state) {
  TvmScript s;
  Compile(s,
          "var i, n: Integer; s, t: String;\n"
          "begin\n"
          "  s := 'abc';\n"
          "  for i := 1 to 1000000 do begin\n"
          "    n := n + i mod 7;\n"
          "    t := s + 'def';\n"
          "  end\n"
          "end.");
  for (auto _ : state) s.Execute();
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_LoopIntegerAndString)->Unit(benchmark::kMillisecond);

void BM_CallScriptFunction(benchmark::State& state) {
  TvmScript s;
  Compile(s,
          "var i, n: Integer;\n"
          "function Add(a, b: Integer): Integer; begin Result := a + b end;\n"
          "begin\n"
          "  for i := 1 to 100000 do n := Add(n, i);\n"
          "end.");
  for (auto _ : state) s.Execute();
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_CallScriptFunction)->Unit(benchmark::kMillisecond);

void BM_CompiledExpression(benchmark::State& state) {
  TvmScript s;
  s.AddVariable(u"Price", u"Extended", Variant(12.5));
  s.AddVariable(u"Qty", u"Integer", Variant(3));
  Compile(s, "function vmEvaluateFUNC: Variant; begin Result := Price * Qty + 1 end; begin end.");
  TvmCustomVariable* f = s.FindLocal(u"vmEvaluateFUNC");
  for (auto _ : state) {
    for (int i = 0; i < 1000000; ++i) benchmark::DoNotOptimize(f->GetValue());
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_CompiledExpression)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
