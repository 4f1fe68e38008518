// The PDF shows what the page shows: text that is not clipped runs out of its object, sub- and
// superscripts sit below and above the line, hatched fills are hatches (not a solid area of the
// hatch colour), and the page's frame is drawn. Checked in the content and in a rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "common/run_program.h"
#include "common/temp_dir.h"
#include "export/pdf/pdf_document.h"
#include "export/pdf_export.h"
#include "platform/streams.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "render/bitmap.h"
#include "render/canvas.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

struct Exported {
  std::string pdf;
  fs::path file;
};

// One page of 100 × 150 mm (378 × 567 report pixels) holding the views, uncompressed.
class PdfFidelity : public ::testing::Test {
 protected:
  Exported Export(const std::vector<TpgwView*>& views, bool background = false) {
    TpgwPDFExport filter;
    filter.SetCompressed(false);
    filter.SetBackground(background);
    TMemoryStream memory;
    filter.SetStream(&memory);
    EXPECT_TRUE(filter.Start());
    filter.StartPage(page, 0);
    for (TpgwView* v : views) filter.ExportObject(*v);
    filter.FinishPage(page, 0);
    filter.Finish();
    Exported e{
        std::string(reinterpret_cast<const char*>(memory.Memory()), static_cast<size_t>(memory.Size())),
        dir.path / ("page" + std::to_string(++files) + ".pdf")};
    std::ofstream(e.file, std::ios::binary) << e.pdf;
    EXPECT_EQ(test_support::RunCommand("qpdf --check '" + e.file.string() + "'").exitCode, 0);
    return e;
  }

  // The page rendered at 96 dpi (one pixel per report pixel) as RGB rows.
  std::string Render(const fs::path& file) {
    const std::string ppm = test_support::RunCommand("pdftoppm -r 96 '" + file.string() + "'").out;
    const size_t header = ppm.find("255\n");
    if (header == std::string::npos) return {};
    width = 0;
    std::sscanf(ppm.c_str(), "P6 %d %d", &width, &height);
    return ppm.substr(header + 4);
  }
  // Pixels of a rectangle darker than mid-grey in any channel, or of a reddish colour.
  int Count(const std::string& rgb, int x0, int y0, int x1, int y1, bool red = false) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        if (at + 2 >= rgb.size()) continue;
        const int r = static_cast<uint8_t>(rgb[at]), g = static_cast<uint8_t>(rgb[at + 1]),
                  b = static_cast<uint8_t>(rgb[at + 2]);
        n += red ? (r > 160 && g < 120 && b < 120) : (r < 128 || g < 128 || b < 128);
      }
    return n;
  }

  TpgwReportPage page{nullptr};
  test_support::TempDir dir;
  int files = 0;
  int width = 0, height = 0;

  void SetUp() override {
    page.SetPaperWidth(100);
    page.SetPaperHeight(150);
  }
};

TEST_F(PdfFidelity, TextThatIsNotClippedRunsOutOfItsObject) {
  for (bool clipped : {true, false}) {
    SCOPED_TRACE(clipped);
    TpgwMemoView memo(nullptr);
    memo.SetBounds(20, 20, 60, 20);
    memo.SetWordWrap(false);
    memo.SetClipped(clipped);
    memo.SetText(u"MMMMMMMMMMMMMMMMMMMM");
    const Exported e = Export({&memo});
    EXPECT_EQ(e.pdf.find(" re\r\nW\r\nn\r\n") != std::string::npos, clipped);
    const std::string rgb = Render(e.file);
    ASSERT_FALSE(rgb.empty());
    EXPECT_GT(Count(rgb, 22, 20, 78, 40), 20) << "inside the object";
    const int outside = Count(rgb, 82, 20, 200, 40);
    if (clipped) {
      EXPECT_EQ(outside, 0);
    } else {
      EXPECT_GT(outside, 50);
    }
  }
}

// The baselines of the runs of a tagged line, in order (points, y up).
std::vector<double> Baselines(const std::string& pdf) {
  std::vector<double> ys;
  const std::regex td(R"((-?[\d.]+) (-?[\d.]+) Td\r\n)");
  for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), td); it != std::sregex_iterator(); ++it)
    ys.push_back(std::stod((*it)[2]));
  return ys;
}

TEST_F(PdfFidelity, SuperscriptsAreRaisedAndSubscriptsLowered) {
  TpgwMemoView memo(nullptr);
  memo.SetBounds(20, 20, 300, 30);
  memo.SetAllowHTMLTags(true);
  memo.SetText(u"E=mc<sup>2</sup> H<sub>2</sub>O");
  const Exported e = Export({&memo});
  const std::vector<double> y = Baselines(e.pdf);
  ASSERT_EQ(y.size(), 5u) << e.pdf;  // E=mc, 2, " H", 2, O
  EXPECT_DOUBLE_EQ(y[0], y[2]);
  EXPECT_DOUBLE_EQ(y[0], y[4]);
  // 10 points with 7-point scripts: the script's top meets the line's top (about 2.7 points
  // higher), and a subscript goes 7 pixels below that.
  EXPECT_NEAR(y[1] - y[0], 2.7, 0.3);
  EXPECT_NEAR(y[0] - y[3], 2.5, 0.3);
  EXPECT_NE(e.pdf.find(" 6.900 Tf"), std::string::npos) << "scripts in the smaller size";
}

TEST_F(PdfFidelity, HatchedFillsAreHatchesInTheirColour) {
  struct Case {
    TBrushStyle style;
    int minPercent, maxPercent;  // of the area in the hatch colour
  } cases[] = {{bsHorizontal, 8, 30}, {bsDiagCross, 15, 55}, {bsSolid, 95, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    TpgwMemoView memo(nullptr);
    memo.SetBounds(40, 40, 160, 80);
    auto& fill = static_cast<TpgwBrushFill&>(memo.Fill());
    fill.SetStyle(c.style);
    fill.SetForeColor(0x0000FF);
    fill.SetBackColor(c.style == bsSolid ? 0x0000FF : clNone);
    const Exported e = Export({&memo});
    EXPECT_EQ(e.pdf.find("/PaintType 2") != std::string::npos, c.style != bsSolid);
    const std::string rgb = Render(e.file);
    ASSERT_FALSE(rgb.empty());
    const int area = 150 * 70, red = Count(rgb, 45, 45, 195, 115, true);
    EXPECT_GE(red * 100, c.minPercent * area) << red;
    EXPECT_LE(red * 100, c.maxPercent * area) << red;
    EXPECT_EQ(Count(rgb, 210, 45, 300, 115, true), 0) << "nothing outside the object";
  }
}

// The box around the dark pixels of an RGB image.
struct Box {
  int Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;
};
Box InkBox(const std::string& rgb, int width, int height) {
  Box b;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
      if (at + 2 < rgb.size() && static_cast<uint8_t>(rgb[at + 1]) < 128) {
        b.Left = std::min(b.Left, x);
        b.Top = std::min(b.Top, y);
        b.Right = std::max(b.Right, x);
        b.Bottom = std::max(b.Bottom, y);
      }
    }
  return b;
}

// Turned text is real text (found by text extraction, no picture) drawn where the page shows it.
TEST_F(PdfFidelity, TurnedTextIsTextWhereThePageShowsIt) {
  for (int angle : {90, 270, 30}) {
    SCOPED_TRACE(angle);
    TpgwMemoView memo(nullptr);
    memo.SetBounds(100, 100, 120, 120);
    memo.SetRotation(angle);
    memo.SetText(u"ALMACÉN");
    memo.Font().SetSize(14);
    memo.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
    const Exported e = Export({&memo});
    EXPECT_EQ(e.pdf.find("/Subtype /Image"), std::string::npos);
    EXPECT_NE(e.pdf.find(" Tm\r\n"), std::string::npos);
    // One glyph string for the word; text extraction follows lines at right angles only.
    EXPECT_NE(e.pdf.find("<0024002F003000240026008B0031> Tj"), std::string::npos) << e.pdf;
    if (angle % 90 == 0) {
      const std::string text =
          test_support::RunCommand("pdftotext -enc UTF-8 '" + e.file.string() + "' -").out;
      EXPECT_NE(text.find("ALMACÉN"), std::string::npos) << text;
    }

    const std::string rgb = Render(e.file);
    ASSERT_FALSE(rgb.empty());
    const Box pdf = InkBox(rgb, width, height);
    // The same object drawn on a raster canvas of the page's size.
    TBitmap bitmap;
    {
      TCanvas& canvas = bitmap.Canvas();
      TCanvasLock lock(canvas);
      canvas.Brush().SetStyle(bsSolid);
      canvas.Brush().SetColor(clWhite);
      bitmap.SetSize(width, height);
      memo.Draw(canvas, 1, 1, 0, 0);
    }
    std::string screen(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, '\xFF');
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const TColor c = bitmap.Pixel(x, y);
        const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        screen[at] = static_cast<char>(c & 0xFF);
        screen[at + 1] = static_cast<char>((c >> 8) & 0xFF);
        screen[at + 2] = static_cast<char>((c >> 16) & 0xFF);
      }
    const Box shown = InkBox(screen, width, height);
    ASSERT_GE(shown.Right, 0);
    EXPECT_NEAR(pdf.Left, shown.Left, 3);
    EXPECT_NEAR(pdf.Top, shown.Top, 3);
    EXPECT_NEAR(pdf.Right, shown.Right, 3);
    EXPECT_NEAR(pdf.Bottom, shown.Bottom, 3);
  }
}

TEST_F(PdfFidelity, PageColourAndFrameAreDrawnWithOrWithoutBackground) {
  // The export walk hands the page's colour, frame and picture over as one picture view.
  TpgwPictureView background(nullptr);
  background.SetName(u"_pagebackground");
  background.SetColor(0xE0E0E0);
  background.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
  background.Frame().SetWidth(3);
  background.SetBounds(0, 0, 378, 567);
  for (bool withBackground : {false, true}) {
    SCOPED_TRACE(withBackground);
    page.SetColor(0xE0E0E0);
    const Exported e = Export({&background}, withBackground);
    const std::string rgb = Render(e.file);
    ASSERT_FALSE(rgb.empty());
    EXPECT_GT(Count(rgb, 0, 200, 3, 300), 150) << "left side of the frame";
    EXPECT_GT(Count(rgb, 100, 0, 200, 3), 150) << "top side of the frame";
    // The page colour too, as the page image shows it; Background adds only the picture.
    const size_t centre = (static_cast<size_t>(283) * static_cast<size_t>(width) + 189) * 3;
    ASSERT_LT(centre, rgb.size());
    EXPECT_LT(static_cast<uint8_t>(rgb[centre]), 250);
  }
}

}  // namespace
}  // namespace pagewright
