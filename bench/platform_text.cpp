// Text conversions and comparisons that sit on hot paths: code-page conversion of layout lines and PDF
// text, case-insensitive comparison in sorted string lists.
#include <benchmark/benchmark.h>

#include "platform/code_pages.h"
#include "platform/string_list.h"
#include "platform/wide_strings.h"

namespace pagewright {
namespace {

WideString SampleLine(size_t length) {
  const WideString words = u"ALMAC\u00C9N Bulto \u20AC 12,50 \u2013 Se\u00F1or M\u00FCller ";
  WideString s;
  while (s.size() < length) s += words;
  s.resize(length);
  return s;
}

void BM_WideTo1252(benchmark::State& state) {
  WideString s = SampleLine(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(WideToCodePage(s, 1252));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WideTo1252)->Arg(64)->Arg(4096);

void BM_1252ToWide(benchmark::State& state) {
  std::string s = WideToCodePage(SampleLine(static_cast<size_t>(state.range(0))), 1252);
  for (auto _ : state) benchmark::DoNotOptimize(CodePageToWide(s, 1252));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_1252ToWide)->Arg(64)->Arg(4096);

void BM_WideTo1251(benchmark::State& state) {  // a table built from the system converter
  WideString s = SampleLine(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(WideToCodePage(s, 1251));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WideTo1251)->Arg(64);

void BM_WideTo932(benchmark::State& state) {  // double-byte: through the system converter
  WideString s(static_cast<size_t>(state.range(0)) / 2, u'\u3042');
  s += SampleLine(static_cast<size_t>(state.range(0)) / 2);
  for (auto _ : state) benchmark::DoNotOptimize(WideToCodePage(s, 932));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WideTo932)->Arg(64)->Arg(4096);

void BM_WideCompareText(benchmark::State& state) {
  WideString a = SampleLine(40), b = WideUpperCase(a);
  for (auto _ : state) benchmark::DoNotOptimize(WideCompareText(a, b));
}
BENCHMARK(BM_WideCompareText);

void BM_SortedStringListAdd(benchmark::State& state) {
  std::vector<WideString> keys;
  for (int i = 0; i < state.range(0); ++i)
    keys.push_back(u"Key\u00C9" + WideString(1, char16_t(u'A' + i % 26)) +
                   SampleLine(static_cast<size_t>(i % 17)));
  for (auto _ : state) {
    TStringList l;
    l.SetSorted(true);
    l.SetDuplicates(dupAccept);
    for (const auto& k : keys) l.Add(k);
    benchmark::DoNotOptimize(l.Count());
  }
}
BENCHMARK(BM_SortedStringListAdd)->Arg(1000);

}  // namespace
}  // namespace pagewright
