// Picture formats: decoding a 1,000 x 1,000 PNG and JPEG, drawing a picture smoothly scaled into
// a 400 x 400 rectangle, and encoding a 794 x 1123 page as JPEG at quality 90.
#include <benchmark/benchmark.h>

#include <vector>

#include "render/bitmap.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {
namespace {

// A picture with gradients, shapes and text, so that the codecs see realistic content.
std::unique_ptr<TBitmap> SamplePicture(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      row[x * 3] = static_cast<uint8_t>(x * 255 / w);
      row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / h);
      row[x * 3 + 2] = static_cast<uint8_t>((x ^ y) & 0xFF);
    }
    b->WriteRowRGB(y, row.data());
  }
  TCanvas& c = b->Canvas();
  c.Brush().SetColor(clNavy);
  for (int i = 0; i < 20; ++i) c.Ellipse(Bounds(i * w / 20, i * h / 25, w / 8, h / 10));
  c.Font().SetHeight(-std::max(12, h / 40));
  for (int i = 0; i < 10; ++i)
    c.TextOut(10, 20 + i * h / 11, u"Shipping label 0123456789 (00)384123450000000073");
  return b;
}

std::vector<uint8_t> Encoded(bool png, int w, int h) {
  auto b = SamplePicture(w, h);
  TMemoryStream s;
  if (png)
    EncodePNG(*b, s);
  else
    EncodeJPEG(*b, 90, 96, false, s);
  return {s.Bytes().begin(), s.Bytes().end()};
}

void BM_DecodePNG1000(benchmark::State& state) {
  const auto bytes = Encoded(true, 1000, 1000);
  for (auto _ : state) benchmark::DoNotOptimize(DecodePNG(bytes));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodePNG1000)->Unit(benchmark::kMillisecond);

void BM_DecodeJPEG1000(benchmark::State& state) {
  const auto bytes = Encoded(false, 1000, 1000);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeJPEG(bytes));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodeJPEG1000)->Unit(benchmark::kMillisecond);

// Through the loader, with recognition.
void BM_LoadPNG1000(benchmark::State& state) {
  RegisterGraphicFormats();
  const auto bytes = Encoded(true, 1000, 1000);
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  for (auto _ : state) {
    s.SetPosition(0);
    TPicture p;
    benchmark::DoNotOptimize(TpgwGraphicFormats::LoadFromStream(p, s));
  }
}
BENCHMARK(BM_LoadPNG1000)->Unit(benchmark::kMillisecond);

void BM_DrawSmooth400(benchmark::State& state) {
  RegisterGraphicFormats();
  TJPEGImage picture;
  picture.Assign(*SamplePicture(1000, 1000));
  TBitmap target(400, 400);
  for (auto _ : state)
    TpgwGraphicFormats::DrawExt(target.Canvas(), picture, Rect(0, 0, 400, 400), {fgdHiQuality}, clNone,
                                gqHiQuality);
}
BENCHMARK(BM_DrawSmooth400)->Unit(benchmark::kMillisecond);

void BM_DrawPlain400(benchmark::State& state) {
  RegisterGraphicFormats();
  TJPEGImage picture;
  picture.Assign(*SamplePicture(1000, 1000));
  TBitmap target(400, 400);
  for (auto _ : state) TpgwGraphicFormats::Draw(target.Canvas(), picture, Rect(0, 0, 400, 400), gqDefault);
}
BENCHMARK(BM_DrawPlain400)->Unit(benchmark::kMillisecond);

// An A4 page at 96 pixels per inch, as the raster export writes it.
void BM_EncodePageJPEG90(benchmark::State& state) {
  const auto page = SamplePicture(794, 1123);
  size_t size = 0;
  for (auto _ : state) {
    TMemoryStream s;
    EncodeJPEG(*page, 90, 96, false, s);
    size = static_cast<size_t>(s.Size());
  }
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_EncodePageJPEG90)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
