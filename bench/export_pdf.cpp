// PDF writing: a ten-page document of text lines in two faces, with and without embedded font
// subsets and password protection (RC4 and 256-bit AES).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "export/pdf/pdf_document.h"
#include "export/pdf/pdf_objects.h"
#include "export/pdf/pdf_page_content.h"
#include "export/pdf_export.h"
#include "platform/streams.h"

namespace pagewright {
namespace {

TPDFEnvironment Pinned() {
  return {[] { return 46000.5; }, [] { return 0; },
          [] { return std::string("{00000000-0000-0000-0000-000000000000}"); },
          [](std::span<uint8_t> bytes) { std::fill(bytes.begin(), bytes.end(), uint8_t{0x5A}); }};
}

void WriteTenPages(benchmark::State& state, bool embed, bool protect,
                   TPDFEncryptionMethod method = peRC4_128) {
  TpgwPDFExport settings;
  settings.SetEmbeddedFonts(embed);
  if (protect) settings.SetUserPassword("bench");
  settings.SetEncryptionMethod(method);
  TFont regular;
  regular.SetName(u"Arial");
  regular.SetSize(10);
  TFont bold = regular;
  bold.SetStyle({fsBold});
  const std::u16string line =
      u"Bulto 0042 \u00B7 ALMAC\u00C9N CENTRAL \u00B7 Destino: Z\u00FCrich 8004 \u00B7 12,5 kg";
  int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream out;
    TpgwPDFDocument pdf(settings, out, Pinned());
    pdf.Start();
    for (int page = 0; page < 10; ++page) {
      pdf.StartPage(794, 1123, 10, 10);
      for (int row = 0; row < 60; ++row)
        pdf.TextOut(row % 5 == 0 ? bold : regular, 40, 40 + row * 17,
                    line + u" #" + std::u16string(1, u'0' + row % 10));
      pdf.Rectangle(30, 30, 734, 1060, clNone, clBlack, 1);
      pdf.FinishPage();
    }
    pdf.Finish();
    bytes = out.Size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_PdfTenTextPages(benchmark::State& state) {
  WriteTenPages(state, false, false);
}
void BM_PdfTenTextPagesEmbedded(benchmark::State& state) {
  WriteTenPages(state, true, false);
}
void BM_PdfTenTextPagesEmbeddedProtected(benchmark::State& state) {
  WriteTenPages(state, true, true);
}

void BM_PdfTenTextPagesEmbeddedAes256(benchmark::State& state) {
  WriteTenPages(state, true, true, peAES_256);
}

// A barcode's bars and spaces as the vector canvas receives them from the barcode's drawing:
// 120 alternating black and white rectangles, grouped into one path per colour, and the page
// finished (content deflated).
void BM_PdfBarcodeFillsPage(benchmark::State& state) {
  TpgwPDFExport settings;
  for (auto _ : state) {
    TMemoryStream out;
    TpgwPDFDocument pdf(settings, out, Pinned());
    pdf.Start();
    pdf.StartPage(397, 559, 0, 0);
    {
      TPDFVectorCanvas canvas(pdf, 20, 200, 16);
      for (int i = 0; i < 120; ++i) {
        canvas.Brush().SetColor(i % 2 ? clWhite : clBlack);
        canvas.FillRect(Rect(i * 40, 0, i * 40 + (i % 3 + 1) * 13, 1536));
      }
      canvas.Flush();
    }
    pdf.FinishPage();
    pdf.Finish();
    benchmark::DoNotOptimize(out.Size());
  }
}
BENCHMARK(BM_PdfBarcodeFillsPage)->Unit(benchmark::kMicrosecond);

// The numbers of page content: a coordinate written into a line, as the content writer does.
void BM_PdfAppendFloat(benchmark::State& state) {
  std::string line;
  double v = 123.456;
  for (auto _ : state) {
    line.clear();
    AppendPdfFloat(line, v);
    line += ' ';
    AppendPdfFloat(line, v * 0.5);
    benchmark::DoNotOptimize(line.data());
    v += 0.25;
  }
}
BENCHMARK(BM_PdfAppendFloat);

BENCHMARK(BM_PdfTenTextPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfTenTextPagesEmbedded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfTenTextPagesEmbeddedProtected)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfTenTextPagesEmbeddedAes256)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
