// Drawing a page of 200 framed, filled views into a raster bitmap, at screen and print
// resolutions: the view part of the raster export and of the PDF writer's embedded images.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "render/bitmap.h"
#include "render/colors.h"
#include "render/fonts.h"
#include "report/pages.h"
#include "report/view.h"

namespace {

using namespace pagewright;

// An A4 page with 10 × 20 views of 70 × 48 units. `fillKind` < 0 mixes every fill kind and
// frame style; otherwise all views take that fill kind with a solid frame.
struct PageOfViews {
  TpgwReportPage page{nullptr};
  std::vector<std::unique_ptr<TpgwView>> views;

  explicit PageOfViews(int fillKind) {
    static constexpr TpgwFrameStyle kStyles[] = {fsSolid, fsDash, fsDouble, fsDot, fsAltDot, fsSquare};
    for (int i = 0; i < 200; ++i) {
      auto v = std::make_unique<TpgwView>(nullptr);
      v->SetBounds(20 + (i % 10) * 75, 20 + (i / 10) * 52, 70, 48);
      const int kind = fillKind < 0 ? i % 3 : fillKind;
      v->SetFillType(static_cast<TpgwFillType>(kind));
      if (kind == ftBrush) {
        auto& b = dynamic_cast<TpgwBrushFill&>(v->Fill());
        b.SetBackColor(clSkyBlue);
        if (i % 2) {
          b.SetStyle(bsDiagCross);
          b.SetForeColor(clNavy);
        }
      } else if (kind == ftGradient) {
        auto& g = dynamic_cast<TpgwGradientFill&>(v->Fill());
        g.SetGradientStyle(static_cast<TpgwGradientStyle>(i % 6));
        g.SetStartColor(clYellow);
        g.SetEndColor(clMaroon);
      } else {
        auto& g = dynamic_cast<TpgwGlassFill&>(v->Fill());
        g.SetColor(clTeal);
        g.SetHatch(i % 2 == 0);
      }
      TpgwFrame& f = v->Frame();
      f.SetTyp(TpgwFrameTypes{ftLeft, ftRight, ftTop, ftBottom});
      f.SetColor(clBlack);
      f.SetWidth(1 + i % 3);
      f.SetStyle(fillKind < 0 ? kStyles[i % 6] : fsSolid);
      f.SetDropShadow(i % 7 == 0);
      views.push_back(std::move(v));
    }
  }

  void Draw(TCanvas& canvas, Extended scale) {
    page.DrawBackground(canvas, scale, scale, 0, 0);
    for (auto& v : views) v->Draw(canvas, scale, scale, 0, 0);
  }
};

void BM_ViewsPage(benchmark::State& state) {
  const int ppi = static_cast<int>(state.range(0));
  const Extended scale = static_cast<Extended>(ppi) / 96;
  PageOfViews scene(-1);
  TBitmap bmp(static_cast<int>(794 * scale), static_cast<int>(1123 * scale));
  bmp.SetPixelsPerInch(ppi);
  for (auto _ : state) {
    scene.Draw(bmp.Canvas(), scale);
    benchmark::DoNotOptimize(bmp.ScanLine(0));
  }
  state.counters["views/s"] = benchmark::Counter(200.0 * static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ViewsPage)->Arg(96)->Arg(300)->Unit(benchmark::kMillisecond);

// One fill kind at a time at 96 pixels per inch: 0 brush, 1 gradient, 2 glass.
void BM_ViewsPageByFill(benchmark::State& state) {
  PageOfViews scene(static_cast<int>(state.range(0)));
  TBitmap bmp(794, 1123);
  for (auto _ : state) {
    scene.Draw(bmp.Canvas(), 1);
    benchmark::DoNotOptimize(bmp.ScanLine(0));
  }
}
BENCHMARK(BM_ViewsPageByFill)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
