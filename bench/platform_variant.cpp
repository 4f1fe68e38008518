// Variant to text (what text objects do for every bracketed value) and variant addition (what
// the script engine does for every "+").
#include <benchmark/benchmark.h>

#include "platform/format.h"
#include "platform/variant.h"

namespace pagewright {
namespace {

void ToText(benchmark::State& state, const Variant& v) {
  for (auto _ : state) {
    WideString s = VarToStr(v);
    benchmark::DoNotOptimize(s);
  }
}

void BM_VarToStr_Integer(benchmark::State& state) {
  ToText(state, Variant(1234567));
}
void BM_VarToStr_Double(benchmark::State& state) {
  ToText(state, Variant(1234.5678));
}
void BM_VarToStr_String(benchmark::State& state) {
  ToText(state, Variant(u"(00)384123450000000073"));
}
void BM_VarToStr_Date(benchmark::State& state) {
  ToText(state, Variant::FromDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 0)));
}

void Add(benchmark::State& state, const Variant& a, const Variant& b) {
  for (auto _ : state) {
    Variant r = a + b;
    benchmark::DoNotOptimize(r);
  }
}

void BM_VarAdd_Integer(benchmark::State& state) {
  Add(state, Variant(41), Variant(1));
}
void BM_VarAdd_Int64(benchmark::State& state) {
  Add(state, Variant(int64_t{1} << 40), Variant(1));
}
void BM_VarAdd_Double(benchmark::State& state) {
  Add(state, Variant(1.5), Variant(2));
}
void BM_VarAdd_StringConcat(benchmark::State& state) {
  Add(state, Variant(u"Page "), Variant(u"12 of 40"));
}
void BM_VarAdd_StringNumber(benchmark::State& state) {
  Add(state, Variant(u"12.5"), Variant(1));
}

// A running total as an aggregate keeps it: the value is replaced by the sum each time.
void BM_VarAdd_Accumulate(benchmark::State& state) {
  Variant total = 0;
  const Variant step = 3;
  for (auto _ : state) {
    total = total + step;
    benchmark::DoNotOptimize(total);
  }
}

BENCHMARK(BM_VarToStr_Integer);
BENCHMARK(BM_VarToStr_Double);
BENCHMARK(BM_VarToStr_String);
BENCHMARK(BM_VarToStr_Date);
BENCHMARK(BM_VarAdd_Integer);
BENCHMARK(BM_VarAdd_Int64);
BENCHMARK(BM_VarAdd_Double);
BENCHMARK(BM_VarAdd_StringConcat);
BENCHMARK(BM_VarAdd_StringNumber);
BENCHMARK(BM_VarAdd_Accumulate);

}  // namespace
}  // namespace pagewright
