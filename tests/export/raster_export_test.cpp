// The raster export driven as the export walk drives it: page images at the export resolution
// painted by the views themselves, file naming, cropping, monochrome, the JFIF density, the
// barcode read back from the written JPEG, and write failures collected by the report.
#include "export/image_export.h"

#include <gtest/gtest.h>

#include "common/run_program.h"
#include "common/temp_dir.h"
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "barcode_view/barcode_view.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/shape_views.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

using test_support::TempDir;

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The decoded picture of a written JPEG file.
std::unique_ptr<TPicture> LoadPicture(const fs::path& file) {
  auto picture = std::make_unique<TPicture>();
  TFileStream stream(Utf8ToUtf16(file.string()), fmOpenRead);
  EXPECT_TRUE(TpgwGraphicFormats::LoadFromStream(*picture, stream)) << file;
  return picture;
}

const TBitmap& Pixels(const TPicture& p) {
  return dynamic_cast<const TJPEGImage&>(*p.Graphic()).Bitmap();
}

int Luminance(TColor c) {
  return (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 100;
}

// The darkest pixel within one pixel of (x, y).
int DarkestNear(const TBitmap& b, int x, int y) {
  int best = 255;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) best = std::min(best, Luminance(b.Pixel(x + dx, y + dy)));
  return best;
}

// One prepared page of 100 × 150 mm (378 × 567 report pixels) with the objects the walk shows:
// the page background, a framed text, a filled shape and a GS1-128 barcode.
struct LabelPage {
  TpgwReportPage page{nullptr};
  TpgwPictureView background{nullptr};
  TpgwMemoView text{nullptr};
  TpgwShapeView shape{nullptr};
  TpgwBarCodeView barcode{nullptr};
  TpgwMemoView hidden{nullptr};

  LabelPage() {
    page.SetPaperWidth(100);
    page.SetPaperHeight(150);
    background.SetName(u"_pagebackground");
    background.SetBounds(0, 0, page.Width(), page.Height());
    text.SetBounds(20, 20, 150, 30);
    text.SetText(u"ALMACÉN");
    text.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
    text.Frame().SetWidth(2);
    shape.SetBounds(200, 20, 60, 40);
    shape.SetColor(clBlue);
    barcode.SetBarType(bcGS1Code128);
    barcode.SetText(u"(00)384123450000000073");
    barcode.SetZoom(2);
    barcode.SetBounds(20, 100, 316, 80);  // the width the symbol sizes itself to at Zoom 2
    // Not printable: neither painted nor counted for cropping.
    hidden.SetBounds(300, 400, 60, 60);
    hidden.SetText(u"HIDDEN");
    hidden.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
    hidden.SetPrintable(false);
  }
  std::vector<TpgwComponent*> Objects() { return {&background, &text, &shape, &barcode, &hidden}; }
};

class RasterExport : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterGraphicFormats();
    report.EngineOptions().SetNewSilentMode(simSilent);
  }

  // Start, the pages with their objects, Finish, with the transport opened and closed around
  // them as the export walk does.
  void Run(TpgwCustomImageExport& filter, const fs::path& file, int pageCount) {
    filter.SetFileName(Utf8ToUtf16(file.string()));
    filter.SetReport(&report);
    TpgwCustomIOTransport* transport = filter.DefaultIOTransport();
    filter.SetIOTransport(transport);
    transport->InitFromExport(filter);
    ASSERT_TRUE(transport->OpenFilter());
    if (filter.Start()) {
      for (int i = 0; i < pageCount; ++i) {
        filter.StartPage(label.page, i);
        for (TpgwComponent* obj : label.Objects()) filter.ExportObject(*obj);
        filter.FinishPage(label.page, i);
      }
      filter.Finish();
    }
    transport->CloseFilter();
    filter.SetIOTransport(nullptr);
  }

  TpgwReport report;
  LabelPage label;
  TempDir dir;
};

TEST_F(RasterExport, FilesAreNamedAfterThePages) {
  struct Case {
    bool separate;
    int pages;
    std::vector<std::string> files;
    int height;  // of each image
  } cases[] = {
      {true, 1, {"label.1.jpg"}, 567},
      {true, 2, {"label.1.jpg", "label.2.jpg"}, 567},
      {false, 2, {"label.jpg"}, 2 * 567},  // the pages one below the other
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.back());
    TempDir out;
    TpgwJPEGExport filter;
    filter.SetSeparateFiles(c.separate);
    Run(filter, out.path / "label.jpg", c.pages);
    EXPECT_EQ(FilesIn(out.path), c.files);
    for (const std::string& name : c.files) {
      auto picture = LoadPicture(out.path / name);
      EXPECT_EQ(picture->Width(), 378);
      EXPECT_EQ(picture->Height(), c.height);
    }
    EXPECT_EQ(report.Errors().Count(), 0) << Utf16ToUtf8(report.Errors().Text());
  }
}

TEST_F(RasterExport, JoinedImageStopsAtThirtyThousandPixels) {
  // Two narrow pages of 5 m (18898 pixels each): the second is painted below the first and cut.
  TpgwReportPage tall(nullptr);
  tall.SetPaperWidth(20);
  tall.SetPaperHeight(5000);
  TpgwShapeView mark(nullptr);
  mark.SetBounds(10, 100, 40, 40);
  mark.SetColor(clBlack);
  TpgwJPEGExport filter;
  filter.SetSeparateFiles(false);
  TMemoryStream memory;
  filter.SetStream(&memory);
  ASSERT_TRUE(filter.Start());
  for (int i = 0; i < 2; ++i) {
    filter.StartPage(tall, i);
    filter.ExportObject(mark);
    filter.FinishPage(tall, i);
  }
  filter.Finish();
  memory.SetPosition(0);
  TPicture picture;
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, memory));
  EXPECT_EQ(picture.Width(), 76);
  ASSERT_EQ(picture.Height(), TpgwCustomImageExport::kMaxJoinedSide);
  EXPECT_LT(Luminance(Pixels(picture).Pixel(30, 120)), 40);
  EXPECT_LT(Luminance(Pixels(picture).Pixel(30, 18898 + 120)), 40);
  EXPECT_GT(Luminance(Pixels(picture).Pixel(30, 18898 - 100)), 240);
}

TEST_F(RasterExport, PageImageHasTheResolutionsSizeDensityAndTheObjects) {
  for (int resolution : {96, 192}) {
    SCOPED_TRACE(resolution);
    const int s = resolution / 96;
    TpgwJPEGExport filter;
    filter.SetResolution(resolution);
    const fs::path file = dir.path / ("page" + std::to_string(resolution) + ".jpg");
    Run(filter, file, 1);
    const fs::path written = fs::path(file).replace_extension(".1.jpg");

    // JFIF APP0: units 1 (dots per inch), then the two densities.
    const std::vector<uint8_t> bytes = ReadBytes(written);
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 10), "JFIF");
    EXPECT_EQ(bytes[13], 1);
    EXPECT_EQ(bytes[14] << 8 | bytes[15], resolution);
    EXPECT_EQ(bytes[16] << 8 | bytes[17], resolution);

    auto picture = LoadPicture(written);
    const TBitmap& b = Pixels(*picture);
    ASSERT_EQ(b.Width(), 378 * s);
    ASSERT_EQ(b.Height(), 567 * s);
    // The text's frame on all four sides, the shape's blue fill, white elsewhere.
    EXPECT_LT(DarkestNear(b, 20 * s, 35 * s), 80);
    EXPECT_LT(DarkestNear(b, 170 * s - 1, 35 * s), 80);
    EXPECT_LT(DarkestNear(b, 95 * s, 20 * s), 80);
    EXPECT_LT(DarkestNear(b, 95 * s, 50 * s - 1), 80);
    const TColor fill = b.Pixel(230 * s, 40 * s);
    EXPECT_GT(GetBValue(fill), 200);
    EXPECT_LT(GetRValue(fill), 60);
    EXPECT_GT(Luminance(b.Pixel(100 * s, 300 * s)), 240);
    // The non-printable object left no ink.
    EXPECT_GT(Luminance(b.Pixel(300 * s, 430 * s)), 240);
  }
}

TEST_F(RasterExport, BarcodeReadsBackFromTheWrittenJpeg) {
  if (std::system("command -v zbarimg >/dev/null 2>&1") != 0) FAIL() << "zbarimg is not installed (scripts/install-deps.sh installs it)";
  TpgwJPEGExport filter;
  Run(filter, dir.path / "label.jpg", 1);
  const std::string out =
      test_support::RunCommand("zbarimg -q --raw '" + (dir.path / "label.1.jpg").string() + "'").out;
  EXPECT_EQ(out, "00384123450000000073\n");
}

TEST_F(RasterExport, CropKeepsThePrintableObjectsPlusOnePixel) {
  TpgwJPEGExport filter;
  filter.SetCropImages(true);
  Run(filter, dir.path / "crop.jpg", 1);
  auto picture = LoadPicture(dir.path / "crop.1.jpg");
  // From (20, 20) to the barcode's right edge 336 and bottom 180, each plus one; the background
  // and the non-printable object do not count.
  EXPECT_EQ(picture->Width(), 336 + 1 - 20);
  EXPECT_EQ(picture->Height(), 180 + 1 - 20);
  EXPECT_LT(DarkestNear(Pixels(*picture), 0, 15), 80);  // the text frame's left line

  // Nothing printable on the page: the whole page rather than an image of no size.
  for (TpgwView* v : std::initializer_list<TpgwView*>{&label.text, &label.shape, &label.barcode})
    v->SetPrintable(false);
  Run(filter, dir.path / "empty.jpg", 1);
  auto whole = LoadPicture(dir.path / "empty.1.jpg");
  EXPECT_EQ(whole->Width(), 378);
  EXPECT_EQ(whole->Height(), 567);
  EXPECT_EQ(report.Errors().Count(), 0) << Utf16ToUtf8(report.Errors().Text());
}

TEST_F(RasterExport, MonochromePaintsBlackAndWhiteIntoAColourJpeg) {
  TpgwJPEGExport filter;
  filter.SetMonochrome(true);
  Run(filter, dir.path / "mono.jpg", 1);
  const std::vector<uint8_t> bytes = ReadBytes(dir.path / "mono.1.jpg");
  // The frame header (SOF0) names three components.
  bool threeComponents = false;
  for (size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      threeComponents = bytes[i + 9] == 3;
      break;
    }
  EXPECT_TRUE(threeComponents);
  auto picture = LoadPicture(dir.path / "mono.1.jpg");
  const TBitmap& b = Pixels(*picture);
  const TColor fill = b.Pixel(230, 40);  // the blue fill turned black
  EXPECT_LT(std::max({GetRValue(fill), GetGValue(fill), GetBValue(fill)}), 40);
  EXPECT_GT(Luminance(b.Pixel(100, 300)), 240);
}

TEST_F(RasterExport, WriteFailureIsReportedByTheSilentMode) {
  const fs::path missing = dir.path / "missing" / "label.jpg";
  {
    TpgwJPEGExport filter;
    Run(filter, missing, 2);  // each page fails on its own and the export goes on
    ASSERT_EQ(report.Errors().Count(), 2);
    EXPECT_NE(Utf16ToUtf8(report.Errors()[0]).find("label.1.jpg"), std::string::npos);
    EXPECT_NE(Utf16ToUtf8(report.Errors()[1]).find("label.2.jpg"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path / "missing"));
  }
  report.Errors().Clear();
  report.EngineOptions().SetNewSilentMode(simReThrow);
  TpgwJPEGExport filter;
  EXPECT_THROW(Run(filter, missing, 1), EFCreateError);
  EXPECT_EQ(report.Errors().Count(), 0);
}

TEST_F(RasterExport, StartNeedsAnEncoderAndSomewhereToWrite) {
  TpgwCustomImageExport bitmaps;  // the general filter's format cannot encode
  try {
    bitmaps.Start();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Picture format BMP not found.");
  }
  TpgwJPEGExport filter;
  EXPECT_FALSE(filter.Start());
  TMemoryStream memory;
  filter.SetStream(&memory);
  ASSERT_TRUE(filter.Start());
  filter.StartPage(label.page, 0);
  filter.FinishPage(label.page, 0);
  filter.Finish();
  ASSERT_GT(memory.Size(), 2);
  EXPECT_EQ(memory.Memory()[0], 0xFF);
  EXPECT_EQ(memory.Memory()[1], 0xD8);
}

}  // namespace
}  // namespace pagewright
