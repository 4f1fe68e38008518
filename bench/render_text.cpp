// Text layout and drawing: paragraphs wrapped in a narrow column, and a text block drawn at
// screen and raster-export resolutions.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "render/bitmap.h"
#include "render/draw_text.h"
#include "render/fonts.h"

namespace pagewright {
namespace {

// n paragraphs of `length` characters of mixed words.
std::vector<WideString> Paragraphs(size_t n, size_t length) {
  const std::u16string words =
      u"Shipping label 0123456789 \u00C1rea de carga \u00DCbergr\u00F6\u00DFe, consignee address, weight kg ";
  std::vector<WideString> out;
  out.reserve(n);
  size_t at = 0;
  for (size_t i = 0; i < n; ++i) {
    WideString p;
    p.reserve(length);
    while (p.size() < length) {
      p += words[at % words.size()];
      ++at;
    }
    out.push_back(std::move(p));
  }
  return out;
}

// 10,000 paragraphs of 300 characters in a 60 mm column (Arial 10), one SetText per paragraph
// as text objects do.
void BM_LayoutParagraphs(benchmark::State& state) {
  const std::vector<WideString> paras = Paragraphs(10000, 300);
  const bool tags = state.range(0) != 0;
  TpgwDrawText dt;
  const TRect column = Rect(0, 0, static_cast<int>(RoundHalfEven(60 * 3.77953L)), 100000);
  std::vector<WideString> one(1);
  size_t lines = 0;
  for (auto _ : state) {
    TpgwDrawTextLock lock;
    dt.SetFont(TFont());
    dt.SetOptions(true, tags, false, false, false, true, 0);
    dt.SetGaps(0, 0, 0);
    dt.SetDimensions(1, 1, 1, column, column);
    lines = 0;
    for (const WideString& p : paras) {
      one[0] = p;
      dt.SetText(one);
      lines += dt.Text().size();
    }
    benchmark::DoNotOptimize(lines);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetItemsProcessed(state.iterations() * 10000 * 300);
}
BENCHMARK(BM_LayoutParagraphs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A 40-line block (75 mm wide) laid out and drawn on a bitmap at 96 and at 300 pixels per
// inch, justified, with a few tags.
void BM_DrawTextBlock(benchmark::State& state) {
  const int ppi = static_cast<int>(state.range(0));
  const Extended scale = ppi / 96.0L;
  std::vector<WideString> text = Paragraphs(7, 210);
  text[2] = u"<b>Consignee:</b> " + text[2];
  text[5] = u"<i>Note</i> <font color=#FF0000>fragile</font> " + text[5];
  const TRect rect = Rect(0, 0, 283, 560);
  const TRect scaled =
      Rect(0, 0, static_cast<int>(RoundHalfEven(283 * scale)), static_cast<int>(RoundHalfEven(560 * scale)));
  TBitmap bmp(scaled.Right, scaled.Bottom);
  bmp.SetPixelsPerInch(ppi);
  TpgwDrawText dt;
  size_t lines = 0;
  for (auto _ : state) {
    TpgwDrawTextLock lock;
    dt.SetFont(TFont());
    dt.SetOptions(true, true, false, false, true, true, 0);
    dt.SetGaps(0, 0, 0);
    dt.SetDimensions(scale, scale, 1, rect, scaled);
    dt.SetText(text);
    dt.DrawText(bmp.Canvas(), haBlock, vaTop, ulmNone, -1);
    lines = dt.Text().size();
  }
  state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_DrawTextBlock)->Arg(96)->Arg(300)->Unit(benchmark::kMillisecond);

// The first measurement of a short label line in a size no text used before: the face set to
// a new pixel height, and the advances of the line's characters loaded. A report meets this
// once per font and size (the layout measures at 600 pixels per inch, the drawing at the
// surface's). Every iteration takes a new height, so the count of iterations is fixed.
void BM_MeasureNewSize(benchmark::State& state) {
  const WideString line = u"Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia) \u00C1\u00C9";
  static int height = -200;  // continues over repetitions: every size is new
  for (auto _ : state) {
    const TSizedFont& f = FindFont(u"Arial", --height, {});
    benchmark::DoNotOptimize(f.TextWidth(line));
  }
}
BENCHMARK(BM_MeasureNewSize)->Iterations(300)->Unit(benchmark::kMicrosecond);

// Measuring a line in a font whose advances are all known: the cost every further text pays.
void BM_MeasureKnownSize(benchmark::State& state) {
  const WideString line = u"Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia) \u00C1\u00C9";
  const TSizedFont& f = FindFont(u"Arial", -83, {});
  std::vector<int> cumulative(line.size());
  for (auto _ : state) {
    f.GetTextExtentExPoint(line, cumulative.data());
    benchmark::DoNotOptimize(cumulative.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_MeasureKnownSize);

}  // namespace
}  // namespace pagewright
