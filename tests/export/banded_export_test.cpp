// Page images drawn in strips: the same pixels as one bitmap of the whole page, whatever the
// strip height, and a page larger than the memory budget allows for one bitmap still written.
#include "export/image_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/memory_budget.h"
#include "platform/scope_guard.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/shape_views.h"
#include "startup/startup.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

// PNG pages, as the command-line tool writes them; counts the pages encoded row by row.
class PngPages : public TpgwCustomImageExport {
 public:
  PngPages() {
    SetPicFormatName("JPG");
    SetDefaultExt(u".png");
  }
  void WriteBitmapToStream(TStream& stream) override { EncodePNG(*Bitmap(), stream); }
  bool CanEncodeRows() const override { return true; }
  std::unique_ptr<TRowEncoder> NewRowEncoder(int width, int height, TStream& stream) override {
    ++banded;
    return std::make_unique<TPNGRowEncoder>(width, height, false, stream);
  }
  int banded = 0;
};

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::unique_ptr<TBitmap> Decode(const std::string& bytes, bool png) {
  std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return png ? DecodePNG(data) : DecodeJPEG(data);
}

struct Options {
  int dpi = 96;
  bool monochrome = false;
  bool crop = false;
  bool wholePixelModules = false;
};

void Apply(TpgwCustomImageExport& filter, const Options& o, int bandRows, const fs::path& file) {
  filter.SetResolution(o.dpi);
  filter.SetMonochrome(o.monochrome);
  filter.SetCropImages(o.crop);
  filter.SetWholePixelModules(o.wholePixelModules);
  filter.SetBandRows(bandRows);
  filter.SetFileName(Utf8ToUtf16(file.string()));
}

TEST(BandedExport, StripsGiveTheWholePageImage) {
  InitializeEngine();
  const fs::path corpus = fs::path(PW_TEST_DATA_DIR) / "pdf_compare";
  // Strip heights of 7 and 1 rows put strip edges through every glyph, bar, frame line,
  // picture and gradient of these pages.
  struct Case {
    const char* name;
    const char* templ;
    Options options;
    int bandRows;
  } cases[] = {
      {"text", "text.pw3", {}, 7},
      {"text at 150 dpi", "text.pw3", {.dpi = 150}, 7},
      {"fills, frames and gradients", "fills_frames.pw3", {.dpi = 120}, 7},
      {"fills, one row a strip", "fills_frames.pw3", {}, 1},
      {"barcodes", "barcodes.pw3", {.dpi = 203}, 7},
      {"barcodes in whole pixels", "barcodes.pw3", {.dpi = 203, .wholePixelModules = true}, 7},
      {"pictures", "pictures.pw3", {.dpi = 150}, 7},
      {"metafiles", "metafiles.pw3", {}, 7},
      {"monochrome", "fills_frames.pw3", {.monochrome = true}, 7},
      {"cropped", "pictures.pw3", {.crop = true}, 7},
      {"strips taller than the page", "barcodes.pw3", {}, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TpgwReport> report = CreateReport();
    ASSERT_TRUE(report->LoadFromFile(Utf8ToUtf16((corpus / c.templ).string())));
    ASSERT_TRUE(report->PrepareReport());
    TempDir dir;
    PngPages whole, strips;
    Apply(whole, c.options, 0, dir.path / "whole.png");
    Apply(strips, c.options, c.bandRows, dir.path / "strips.png");
    ASSERT_TRUE(report->Export(whole));
    ASSERT_TRUE(report->Export(strips));
    EXPECT_EQ(whole.banded, 0);
    EXPECT_EQ(strips.banded, 1);
    const std::string a = ReadFile(dir.path / "whole.1.png"), b = ReadFile(dir.path / "strips.1.png");
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "the PNG files differ";
    // The JPEG encoder is fed the same rows: the decoded pictures agree.
    TpgwJPEGExport jpegWhole, jpegStrips;
    Apply(jpegWhole, c.options, 0, dir.path / "whole.jpg");
    Apply(jpegStrips, c.options, c.bandRows, dir.path / "strips.jpg");
    ASSERT_TRUE(report->Export(jpegWhole));
    ASSERT_TRUE(report->Export(jpegStrips));
    auto pa = Decode(ReadFile(dir.path / "whole.1.jpg"), false),
         pb = Decode(ReadFile(dir.path / "strips.1.jpg"), false);
    ASSERT_EQ(pa->Width(), pb->Width());
    ASSERT_EQ(pa->Height(), pb->Height());
    std::vector<uint8_t> ra(static_cast<size_t>(pa->Width()) * 3), rb(ra.size());
    int differing = 0;
    for (int y = 0; y < pa->Height(); ++y) {
      pa->ReadRowRGB(y, ra.data());
      pb->ReadRowRGB(y, rb.data());
      differing += ra != rb;
    }
    EXPECT_EQ(differing, 0) << "rows of the JPEG pictures differ";
  }
}

// A page of 100 x 5,000 mm at 150 dpi needs 70 MB as one bitmap. Under a budget of 48 MB the
// page is drawn in strips of half the budget, and every part of it arrives.
TEST(BandedExport, APageBeyondTheBudgetIsDrawnInStrips) {
  RegisterGraphicFormats();
  TpgwReport report;
  report.EngineOptions().SetNewSilentMode(simReThrow);
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(100);
  page.SetPaperHeight(5000);
  TpgwShapeView top(nullptr), bottom(nullptr);
  top.SetBounds(10, 10, 100, 100);
  top.SetColor(clRed);
  bottom.SetBounds(10, page.Height() - 110, 100, 100);
  bottom.SetColor(clBlue);
  TempDir dir;
  PngPages filter;
  filter.SetResolution(150);
  filter.SetFileName(Utf8ToUtf16((dir.path / "tall.png").string()));
  filter.SetReport(&report);
  TMemoryBudget& budget = TMemoryBudget::Process();
  const int64_t limit = budget.Limit();
  {
    auto restore = ScopeExit([&] { budget.SetLimit(limit); });
    budget.SetLimit(budget.Used() + (int64_t{48} << 20));
    TpgwCustomIOTransport* transport = filter.DefaultIOTransport();
    filter.SetIOTransport(transport);
    transport->InitFromExport(filter);
    ASSERT_TRUE(transport->OpenFilter());
    ASSERT_TRUE(filter.Start());
    filter.StartPage(page, 0);
    filter.ExportObject(top);
    filter.ExportObject(bottom);
    filter.FinishPage(page, 0);
    filter.Finish();
    transport->CloseFilter();
    filter.SetIOTransport(nullptr);
  }
  EXPECT_EQ(filter.banded, 1);
  auto picture = Decode(ReadFile(dir.path / "tall.1.png"), true);
  ASSERT_TRUE(picture);
  const double scale = 150.0 / 96;
  EXPECT_EQ(picture->Width(), 591);
  EXPECT_EQ(picture->Height(), 29528);
  const int y = static_cast<int>((page.Height() - 60) * scale);
  EXPECT_EQ(picture->Pixel(static_cast<int>(60 * scale), static_cast<int>(60 * scale)), clRed);
  EXPECT_EQ(picture->Pixel(static_cast<int>(60 * scale), y), clBlue);
  EXPECT_EQ(picture->Pixel(static_cast<int>(300 * scale), y), clWhite);
}

}  // namespace
}  // namespace pagewright
