// Speed of the formatting routines that display formats and value-to-text run per printed value.
#include <benchmark/benchmark.h>

#include "platform/format.h"

namespace pagewright {
namespace {

void BM_FormatFloatGrouped(benchmark::State& state) {
  const WideString fmt = u"#,##0.00";
  Extended v = 1234567.891;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatFloat(fmt, v));
    v += 0.37;
  }
}
BENCHMARK(BM_FormatFloatGrouped);

void BM_FormatPrintfLike(benchmark::State& state) {
  const WideString fmt = u"%d %s %.2f";
  const std::vector<TFormatArg> args = {42, u"Pagewright", 3.14159};
  for (auto _ : state) benchmark::DoNotOptimize(Format(fmt, args));
}
BENCHMARK(BM_FormatPrintfLike);

void BM_FloatToStr(benchmark::State& state) {
  Extended v = 0.1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FloatToStr(v));
    v += 1.0009765625;
  }
}
BENCHMARK(BM_FloatToStr);

void BM_FloatToStrTiny(benchmark::State& state) {
  // Far from 1 the exact expansion is long: the slow end of the conversion.
  Extended v = 1.2345e-4000L;
  for (auto _ : state) benchmark::DoNotOptimize(FloatToStr(v));
}
BENCHMARK(BM_FloatToStrTiny);

void BM_FormatDateTime(benchmark::State& state) {
  const WideString fmt = u"dddd, mmmm d, yyyy hh:nn:ss";
  const TDateTime dt = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 0);
  for (auto _ : state) benchmark::DoNotOptimize(FormatDateTime(fmt, dt));
}
BENCHMARK(BM_FormatDateTime);

// Reading numbers as templates and data files give them: short decimals take the exact short way,
// long ones (20 significant digits) the general reading.
void BM_StrToFloatShortDecimal(benchmark::State& state) {
  const WideString texts[] = {u"37.7953", u"1.5", u"-120.25", u"0.000123", u"9449"};
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(StrToFloat(texts[i++ % 5]));
}
BENCHMARK(BM_StrToFloatShortDecimal);

void BM_StrToFloatLongDecimal(benchmark::State& state) {
  const WideString texts[] = {u"37.795275590551181102", u"1.5000000000000000001", u"-120.25000000000000001"};
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(StrToFloat(texts[i++ % 3]));
}
BENCHMARK(BM_StrToFloatLongDecimal);

}  // namespace
}  // namespace pagewright
