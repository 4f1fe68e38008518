// Canvas and font services: text measuring at the layout resolution, and painting a page.
#include <benchmark/benchmark.h>

#include <string>

#include "render/bitmap.h"
#include "render/colors.h"
#include "render/fonts.h"

namespace pagewright {
namespace {

std::u16string SampleText(size_t length) {
  std::u16string text;
  text.reserve(length);
  const std::u16string words = u"Shipping label 0123456789 \u00C1rea de carga \u00DCbergr\u00F6\u00DFe, ";
  while (text.size() < length) text += words;
  text.resize(length);
  return text;
}

// 100,000 characters of Arial at 600 pixels per inch (10 points = 83 pixels), font cached.
void BM_MeasureArial600(benchmark::State& state) {
  const std::u16string text = SampleText(100000);
  std::vector<int> cumulative(text.size());
  const TSizedFont& font = FindFont(u"Arial", -83, {});
  font.GetTextExtentExPoint(text, cumulative.data());  // warm the advance tables
  for (auto _ : state) {
    font.GetTextExtentExPoint(text, cumulative.data());
    benchmark::DoNotOptimize(cumulative.back());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_MeasureArial600)->Unit(benchmark::kMicrosecond);

// The same through a canvas, the way the layout asks: one call per line of 60 characters.
void BM_MeasureLinesOnCanvas(benchmark::State& state) {
  const std::u16string text = SampleText(100000);
  TBitmap bmp(1, 1);
  TCanvas& canvas = bmp.Canvas();
  canvas.Font().SetHeight(-83);
  std::vector<int> cumulative(60);
  for (auto _ : state) {
    for (size_t at = 0; at + 60 <= text.size(); at += 60)
      canvas.GetTextExtentExPoint(std::u16string_view(text).substr(at, 60), cumulative.data());
    benchmark::DoNotOptimize(cumulative.back());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size() / 60 * 60));
}
BENCHMARK(BM_MeasureLinesOnCanvas)->Unit(benchmark::kMicrosecond);

// An A4 page (794 x 1123 report pixels) with 200 framed, filled rectangles holding a line of
// text each, painted at the resolution given (pixels per inch).
void BM_DrawPage(benchmark::State& state) {
  const int ppi = static_cast<int>(state.range(0));
  const double scale = ppi / 96.0;
  auto px = [&](double v) { return static_cast<int>(RoundHalfEven(v * scale)); };
  TBitmap bmp(px(794), px(1123));
  TCanvas& canvas = bmp.Canvas();
  canvas.Font().SetHeight(-px(13));
  const std::u16string label = u"Item 0123 \u00C1rea";
  for (auto _ : state) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clWhite);
    canvas.FillRect(Rect(0, 0, bmp.Width(), bmp.Height()));
    for (int i = 0; i < 200; ++i) {
      const int col = i % 10, row = i / 10;
      TRect r = Rect(px(20 + col * 76), px(20 + row * 54), px(90 + col * 76), px(68 + row * 54));
      canvas.Brush().SetStyle(bsSolid);
      canvas.Brush().SetColor(i % 2 ? clSilver : clCream);
      canvas.Pen().SetColor(clBlack);
      canvas.Pen().SetWidth(std::max(1, px(1)));
      canvas.Rectangle(r);
      canvas.SetBkMode(TRANSPARENT);
      canvas.ExtTextOut(r.Left + px(3), r.Top + px(3), ETO_CLIPPED, &r, label, nullptr);
    }
    benchmark::DoNotOptimize(bmp.ScanLine(0));
  }
  state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_DrawPage)->Arg(96)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
