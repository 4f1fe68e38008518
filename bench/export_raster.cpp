// The raster export of one A4 page at 96 dpi (794 x 1123 pixels) into memory: a blank page
// (bitmap and JPEG encoding alone), and the page with a framed text, a shape and a barcode.
#include <benchmark/benchmark.h>

#include <vector>

#include "barcode_view/barcode_view.h"
#include "export/image_export.h"
#include "platform/streams.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/shape_views.h"

namespace pagewright {
namespace {

void ExportPage(benchmark::State& state, bool withObjects) {
  RegisterGraphicFormats();
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(210);
  page.SetPaperHeight(297);
  TpgwMemoView text(nullptr);
  text.SetBounds(40, 40, 300, 40);
  text.SetText(u"ALMACÉN");
  text.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
  TpgwShapeView shape(nullptr);
  shape.SetBounds(400, 40, 200, 120);
  shape.SetColor(clBlue);
  TpgwBarCodeView barcode(nullptr);
  barcode.SetBarType(bcGS1Code128);
  barcode.SetText(u"(00)384123450000000073");
  barcode.SetZoom(2);
  barcode.SetBounds(40, 200, 316, 100);
  std::vector<TpgwComponent*> objects;
  if (withObjects) objects = {&text, &shape, &barcode};

  TpgwJPEGExport filter;
  int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream out;
    filter.SetStream(&out);
    filter.Start();
    filter.StartPage(page, 0);
    for (TpgwComponent* obj : objects) filter.ExportObject(*obj);
    filter.FinishPage(page, 0);
    filter.Finish();
    bytes = out.Size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}

void BM_ExportBlankA4Page(benchmark::State& state) {
  ExportPage(state, false);
}
void BM_ExportLabelA4Page(benchmark::State& state) {
  ExportPage(state, true);
}

BENCHMARK(BM_ExportBlankA4Page)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLabelA4Page)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
