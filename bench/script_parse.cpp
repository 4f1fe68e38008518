// Building the IL of PascalScript source: a 2,000-line program and 10,000 distinct one-line
// report expressions, each wrapped into a one-function program the way the expression cache
// wraps them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/unicode.h"
#include "script/il_parser.h"

namespace pagewright {
namespace {

WideString LongProgram() {
  std::string s =
      "program Bench;\r\nuses 'Lib';\r\nconst Limit = 100; Name = 'report';\r\nvar i, j: Integer; t: "
      "String;\r\n"
      "  a: array[0..9] of Extended;\r\n";
  int lines = 5, n = 0;
  while (lines < 1990) {
    std::string k = std::to_string(n++);
    s += "procedure P" + k +
         "(x: Integer; var y: String);\r\n"
         "var z: Extended;\r\n"
         "begin\r\n"
         "  z := (x + " +
         k +
         ") * 2.5e+1 / (x - 1) + a[x mod 10];\r\n"
         "  if (z >= 10) and not (x in [1, 3..5]) then y := y + 'big ' + IntToStr(x) else y := '';\r\n"
         "  for i := 0 to Limit do begin a[i mod 10] := a[i mod 10] + i; if i > x then break; end;\r\n"
         "  while j < x do j := j + 1;\r\n"
         "  repeat Dec(j) until j <= 0;\r\n"
         "  case x of 1: y := 'one'; 2, 3: y := 'few'; else y := 'many' end;\r\n"
         "  try Memo" +
         k +
         ".Lines.Add(y) except t := 'failed' end;\r\n"
         "  with Report.Pages[0] do Visible := <pgwDBmaster.\"Field" +
         k +
         "\"> <> '';\r\n"
         "end;\r\n\r\n";
    lines += 14;
  }
  s += "begin\r\n  P0(1, t);\r\nend.\r\n";
  return Utf8ToUtf16(s);
}

std::vector<WideString> Expressions() {
  const char* forms[] = {
      "<pgwDBmaster.\"Qty%\"> * <pgwDBmaster.\"Price\"> + %",
      "FormatFloat('#,##0.00', Sum(<pgwDBmaster.\"Amount%\">)) + ' EUR'",
      "IIF(<Page#> = %, 'Last page', 'Page ' + IntToStr(<Page#>))",
      "Copy(<pgwDBmaster.\"Name\">, 1, %) + UpperCase(Trim(<pgwDBmaster.\"City\">))",
      "(<Line#> mod %) = 0",
  };
  std::vector<WideString> out;
  for (int i = 0; i < 10000; ++i) {
    std::string f = forms[i % 5], k = std::to_string(i);
    for (size_t p; (p = f.find('%')) != std::string::npos;) f.replace(p, 1, k);
    out.push_back(Utf8ToUtf16("function pw3f" + k + ": Variant; begin Result := " + f + " end; begin end."));
  }
  return out;
}

TvmILHost& Host() {
  static TvmILHost host = [] {
    TvmILHost h;
    h.OnGetUnit = [](TvmILHost&, const WideString&, WideString& text) {
      text =
          u"const LibVersion = 1; function Twice(x: Integer): Integer; begin Result := x * 2 end; begin end.";
    };
    return h;
  }();
  return host;
}

void BM_LongProgram(benchmark::State& state) {
  InitScriptLanguages();
  WideString source = LongProgram();
  for (auto _ : state) {
    TvmILParser p(&Host());
    p.SelectLanguage(u"PascalScript");
    if (!p.MakeILScript(source)) state.SkipWithError("syntax error");
    benchmark::DoNotOptimize(p.ILScript());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
}
BENCHMARK(BM_LongProgram)->Unit(benchmark::kMillisecond);

void BM_ReportExpressions(benchmark::State& state) {
  InitScriptLanguages();
  std::vector<WideString> sources = Expressions();
  int64_t chars = 0;
  for (const auto& s : sources) chars += static_cast<int64_t>(s.size());
  for (auto _ : state) {
    for (const auto& s : sources) {
      TvmILParser p(&Host());
      p.SelectLanguage(u"PascalScript");
      if (!p.MakeILScript(s)) state.SkipWithError("syntax error");
      benchmark::DoNotOptimize(p.ILScript());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * chars);
  state.counters["expressions/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 10000, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReportExpressions)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
