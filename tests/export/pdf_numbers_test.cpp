// Numbers in PDF output: whatever a template or a computation produces (huge, negative, NaN,
// infinite, denormal), the writer puts only valid PDF numbers within the readers' limits into the
// file, and the file passes qpdf.
#include "export/pdf/pdf_objects.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "barcode_view/barcode_view.h"
#include "common/run_program.h"
#include "common/temp_dir.h"
#include "export/pdf/pdf_document.h"
#include "export/pdf_export.h"
#include "platform/streams.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/shape_views.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDenormal = std::numeric_limits<double>::denorm_min();
constexpr double kMax = std::numeric_limits<double>::max();

TEST(PdfNumbers, HostileValuesGiveValidNumbersWithinTheLimits) {
  struct Case {
    double value;
    int decimals;
    const char* expected;
  } cases[] = {
      {1e63, 2, "32767.00"},  // the value of the report that showed stack bytes in a page
      {-1e63, 2, "-32767.00"},
      {1e300, 2, "32767.00"},
      {kMax, 3, "32767.000"},
      {-kMax, 2, "-32767.00"},
      {kInf, 2, "32767.00"},
      {-kInf, 2, "-32767.00"},
      {kNaN, 2, "0.00"},
      {-kNaN, 3, "0.000"},
      {kDenormal, 2, "0.00"},
      {-kDenormal, 2, "0.00"},
      {-0.0, 2, "0.00"},
      {-0.004, 2, "0.00"},
      {32767.004, 2, "32767.00"},
      {32766.996, 2, "32767.00"},
      {-32768, 2, "-32767.00"},
      {595.275, 3, "595.275"},
      {-1.5, 2, "-1.50"},
      {12.5, 0, "12"},
      // Decimals outside 0 to 6 are held to that range.
      {1.25, -4, "1"},
      {1.0 / 3, 40, "0.333333"},
      {-1e63, 1000, "-32767.000000"},
  };
  const std::regex number(R"(-?\d+(\.\d+)?)");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + " with " + std::to_string(c.decimals) + " decimals");
    const std::string text = PdfFloat(c.value, c.decimals);
    EXPECT_EQ(text, c.expected);
    EXPECT_TRUE(std::regex_match(text, number)) << text;
    const std::string trimmed = PdfFloatTrim(c.value, c.decimals);
    EXPECT_TRUE(std::regex_match(trimmed, number)) << trimmed;
    EXPECT_LE(std::fabs(std::stod(trimmed)), kPdfRealLimit);
  }
}

// The fast writer of up to four decimals gives the digits of the exact decimal expansion, halves
// to even, as the general one does: checked against std::to_chars on ties, near-ties and random
// values across the whole range.
TEST(PdfNumbers, FewDecimalsMatchTheExactExpansion) {
  auto reference = [](double v, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s(buf, r.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
  };
  std::vector<double> values = {0,      -0.0,    0.125,   -0.125,  2.5,       -2.5,    0.005,   0.015,
                                1.0005, 0.30000000000000004, 32767,   -32767,  123.455, 1e-9,   -1e-9, 0.5};
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> range(-32767, 32767);
  for (int i = 0; i < 20000; ++i) values.push_back(range(random));
  for (int i = 0; i < 2000; ++i) values.push_back(std::ldexp(static_cast<double>(random() % 65536) - 32768, -(static_cast<int>(random() % 12))));
  for (double v : values)
    for (int d = 0; d <= 4; ++d) ASSERT_EQ(PdfFloat(v, d), reference(v, d)) << v << " with " << d << " decimals";
}

TEST(PdfNumbers, IntegersAreRoundedAndHeldToThirtyTwoBits) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},
      {2.5, "2"},
      {3.5, "4"},
      {-2.5, "-2"},
      {kNaN, "0"},
      {kInf, "2147483647"},
      {-kInf, "-2147483647"},
      {1e63, "2147483647"},
      {-1e300, "-2147483647"},
      {kDenormal, "0"},
      {-1234.4, "-1234"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(PdfInteger(value), expected) << value;
}

// The numbers of a content stream: every token that starts like one must be a plain PDF number
// within the real limit (the TJ adjustments inside arrays are integers and checked apart).
void ExpectOnlyValidNumbers(const std::string& content) {
  for (unsigned char c : content)
    ASSERT_TRUE(c == '\r' || c == '\n' || (c >= 32 && c < 127)) << "byte " << int(c) << " in the content";
  const std::regex number(R"(-?\d+(\.\d+)?)");
  std::istringstream tokens(content);
  for (std::string token; tokens >> token;) {
    if (token[0] == '[') token.erase(0, 1);
    if (!token.empty() && token.back() == ']') token.pop_back();
    if (token.empty() || token[0] == '<' || token[0] == '/') continue;
    if (!(std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-' || token[0] == '.')) continue;
    ASSERT_TRUE(std::regex_match(token, number)) << token;
    EXPECT_LE(std::fabs(std::stod(token)), kPdfRealLimit) << token;
  }
}

TEST(PdfNumbers, DocumentOperationsWithHostileGeometryWriteValidContent) {
  TpgwPDFExport settings;
  settings.SetCompressed(false);
  TMemoryStream out;
  TpgwPDFDocument pdf(settings, out);
  pdf.Start();
  pdf.StartPage(1e63, kNaN, kNaN, kInf);
  pdf.Line(0, 0, 10, 10, clBlack, 1);
  ExpectOnlyValidNumbers(pdf.PageContent());
  pdf.FinishPage();
  pdf.StartPage(400, 400);
  TFont font;
  font.SetName(u"Arial");
  font.SetSize(10);
  font.SetStyle({fsUnderline});
  for (double v : {1e63, -1e63, kInf, -kInf, kNaN, kDenormal, -kDenormal}) {
    SCOPED_TRACE(v);
    pdf.Line(0, v, v, 10, clBlack, v);
    pdf.Rectangle(v, v, v, v, clBlack, clBlack, v);
    pdf.Frame(v, 0, v, 10, {ftLeft, ftTop, ftRight, ftBottom}, clBlack, 2, fsSquare);
    pdf.Shape(skRoundRectangle, v, v, v, 10, clBlack, clBlack, v, v);
    pdf.Shape(skEllipse, 0, 0, v, v, clBlack, clBlack, 1);
    pdf.TextOut(font, v, v, u"a b c", false, std::fabs(v), v);
    pdf.AddWebLink(v, v, v, v, u"https://example.org");
    pdf.AddPageLink(v, v, v, v, 0);
    ExpectOnlyValidNumbers(pdf.PageContent());
  }
  EXPECT_NE(pdf.PageContent().find("32767.00"), std::string::npos);
  pdf.FinishPage();
  pdf.Finish();
  const std::string bytes(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
  EXPECT_NE(bytes.find("/MediaBox [0 0 32767.00 0.00 ]"), std::string::npos);
  EXPECT_NE(bytes.find("/Rect [32767.00 -32767.00 32767.00 -32767.00]"), std::string::npos);
  EXPECT_NE(bytes.find("/Rect [0.00 300.00 0.00 300.00]"), std::string::npos) << "NaN is 0";
}

// Lines, shapes and text objects of a prepared page with hostile bounds, exported as the walk
// exports them: the content holds only valid numbers and the file passes qpdf.
TEST(PdfNumbers, ObjectsWithHostileBoundsGiveAFileThatPassesQpdf) {
  test_support::TempDir dir;
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(100);
  page.SetPaperHeight(150);
  const double values[] = {1e63, -1e63, 1e300, kInf, -kInf, kNaN, kDenormal, -kDenormal};
  for (double v : values) {
    SCOPED_TRACE(v);
    TpgwLineView line(nullptr), diagonal(nullptr);
    line.SetBounds(10, 10, v, 0);
    line.Frame().SetWidth(2);
    line.SetArrowEnd(true);
    diagonal.SetBounds(v, 10, v, v);
    diagonal.SetDiagonal(true);
    TpgwShapeView rectangle(nullptr), ellipse(nullptr);
    rectangle.SetBounds(20, 20, v, 40);
    rectangle.SetColor(clBlue);
    rectangle.SetShape(skRoundRectangle);
    ellipse.SetBounds(v, v, 10, v);
    ellipse.SetShape(skEllipse);
    TpgwMemoView text(nullptr), gradient(nullptr);
    text.SetBounds(10, 80, v, 20);
    text.SetText(u"ALMACÉN CENTRAL");
    static_cast<TpgwBrushFill&>(text.Fill()).SetBackColor(clYellow);
    text.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
    text.SetUnderlines(true);
    gradient.SetBounds(v, 100, 40, v);
    gradient.SetText(u"GRADIENT");
    gradient.SetFillType(ftGradient);
    gradient.SetUnderlines(true);
    TpgwMemoView turned(nullptr);
    turned.SetBounds(v, 120, 40, v);
    turned.SetText(u"TURNED");
    turned.SetRotation(90);

    TpgwPDFExport filter;
    filter.SetCompressed(false);
    filter.SetEmbeddedFonts(true);
    TMemoryStream memory;
    filter.SetStream(&memory);
    ASSERT_TRUE(filter.Start());
    filter.StartPage(page, 0);
    for (TpgwView* view :
         std::initializer_list<TpgwView*>{&line, &diagonal, &rectangle, &ellipse, &text, &gradient, &turned})
      filter.ExportObject(*view);
    ExpectOnlyValidNumbers(filter.Document()->PageContent());
    filter.FinishPage(page, 0);
    filter.Finish();

    const fs::path file = dir.path / "hostile.pdf";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(memory.Memory()), static_cast<std::streamsize>(memory.Size()));
    const test_support::ProgramResult check =
        test_support::RunCommand("qpdf --check '" + file.string() + "'");
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_NE(check.out.find("No syntax or stream encoding errors"), std::string::npos) << check.out;
  }
}

}  // namespace
}  // namespace pagewright
