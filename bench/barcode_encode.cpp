// Encoding the label's three GS1-128 element strings.
#include <benchmark/benchmark.h>

#include "barcode/barcode.h"

namespace {

void BM_EncodeLabelGS1(benchmark::State& state) {
  static const char* const kTexts[] = {"(00)384123450000000073", "(91)010003", "(98)03000910264012640102"};
  pagewright::TpgwBarcode bc;
  bc.SetTyp(pagewright::bcGS1Code128);
  size_t i = 0;
  for (auto _ : state) {
    bc.SetText(kTexts[i]);
    i = (i + 1) % 3;
    std::string pattern = bc.BuildElementPattern();
    benchmark::DoNotOptimize(pattern);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeLabelGS1);

void BM_WidthLabelGS1(benchmark::State& state) {
  pagewright::TpgwBarcode bc;
  bc.SetTyp(pagewright::bcGS1Code128);
  bc.SetText("(00)384123450000000073");
  for (auto _ : state) benchmark::DoNotOptimize(bc.Width());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WidthLabelGS1);

}  // namespace
