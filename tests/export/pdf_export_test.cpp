// The PDF export driven as the export walk drives it, checked with the real tools: the file
// passes qpdf, its text comes back through pdftotext, its fonts are embedded subsets, the
// barcode drawn as vector paths reads back from a 300 dpi rendering, and an output that
// cannot be created is reported in the report's errors.
#include "export/pdf_export.h"

#include <gtest/gtest.h>

#include "common/run_program.h"
#include "common/temp_dir.h"
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "barcode_view/barcode_view.h"
#include "export/pdf/pdf_document.h"
#include "export/pdf/pdf_objects.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "render/graphic_formats.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"
#include "report/shape_views.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

using test_support::TempDir;

using test_support::ProgramResult;
using test_support::RunCommand;

bool HasTools(std::initializer_list<const char*> tools) {
  for (const char* t : tools)
    if (std::system(("command -v " + std::string(t) + " >/dev/null 2>&1").c_str()) != 0) return false;
  return true;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TPDFEnvironment PinnedEnvironment() {
  return {[] { return TDateTime(46000.5); }, [] { return 60; },
          [] { return std::string("{00112233-4455-6677-8899-AABBCCDDEEFF}"); },
          [](std::span<uint8_t> bytes) { std::fill(bytes.begin(), bytes.end(), uint8_t{0x5A}); }};
}

// One prepared page of 100 × 150 mm with a framed text, a line, a shape and a GS1-128 barcode.
struct LabelPage {
  TpgwReportPage page{nullptr};
  TpgwMemoView text{nullptr};
  TpgwLineView line{nullptr};
  TpgwShapeView shape{nullptr};
  TpgwBarCodeView barcode{nullptr};

  LabelPage() {
    page.SetPaperWidth(100);
    page.SetPaperHeight(150);
    text.SetBounds(20, 20, 200, 24);
    text.SetText(u"ALMACÉN CENTRAL");
    text.Frame().SetTyp({ftLeft, ftRight, ftTop, ftBottom});
    text.Frame().SetWidth(2);
    line.SetBounds(20, 60, 300, 0);
    line.Frame().SetWidth(2);
    shape.SetBounds(240, 20, 60, 30);
    shape.SetShape(skEllipse);
    shape.SetColor(clBlue);
    barcode.SetBarType(bcGS1Code128);
    barcode.SetText(u"(00)384123450000000073");
    barcode.SetZoom(2);
    barcode.SetBounds(20, 100, 316, 80);
  }
  std::vector<TpgwComponent*> Objects() { return {&text, &line, &shape, &barcode}; }
};

class PDFExport : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterGraphicFormats();
    report.EngineOptions().SetNewSilentMode(simSilent);
  }

  // Start, the page with its objects, Finish, with the transport opened and closed around them
  // as the export walk does.
  bool Run(TpgwPDFExport& filter, const fs::path& file) {
    filter.SetFileName(Utf8ToUtf16(file.string()));
    filter.SetReport(&report);
    filter.SetEnvironment(PinnedEnvironment());
    TpgwCustomIOTransport* transport = filter.DefaultIOTransport();
    filter.SetIOTransport(transport);
    transport->InitFromExport(filter);
    EXPECT_TRUE(transport->OpenFilter());
    const bool started = filter.Start();
    if (started) {
      filter.StartPage(label.page, 0);
      for (TpgwComponent* obj : label.Objects()) filter.ExportObject(*obj);
      filter.FinishPage(label.page, 0);
      filter.Finish();
    }
    transport->CloseFilter();
    filter.SetIOTransport(nullptr);
    return started;
  }

  TpgwReport report;
  LabelPage label;
  TempDir dir;
};

TEST_F(PDFExport, LabelPassesTheCheckersAndReadsBack) {
  if (!HasTools({"qpdf", "pdftotext", "pdffonts", "pdftoppm", "zbarimg"}))
    FAIL() << "the PDF checkers are not installed (scripts/install-deps.sh installs them)";
  TpgwPDFExport filter;
  filter.SetEmbeddedFonts(true);
  const fs::path pdf = dir.path / "label.pdf";
  ASSERT_TRUE(Run(filter, pdf));
  EXPECT_EQ(report.Errors().Count(), 0) << Utf16ToUtf8(report.Errors().Text());

  const ProgramResult check = RunCommand("qpdf --check '" + pdf.string() + "'");
  EXPECT_EQ(check.exitCode, 0) << check.out;

  const ProgramResult text = RunCommand("pdftotext -enc UTF-8 '" + pdf.string() + "' -");
  EXPECT_NE(text.out.find("ALMACÉN CENTRAL"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("(00)384123450000000073"), std::string::npos) << text.out;

  // name, type, encoding, emb, sub, uni, object: a subset's name has a six-letter tag.
  const ProgramResult fonts = RunCommand("pdffonts '" + pdf.string() + "'");
  bool embeddedSubset = false;
  std::istringstream lines(fonts.out);
  for (std::string row; std::getline(lines, row);) {
    if (row.size() > 7 && row[6] == '+' && row.find(" yes yes yes ") != std::string::npos)
      embeddedSubset = true;
  }
  EXPECT_TRUE(embeddedSubset) << fonts.out;

  // The barcode is drawn as paths, not embedded as a picture.
  const ProgramResult qdf = RunCommand("qpdf --qdf --object-streams=disable '" + pdf.string() + "' -");
  EXPECT_EQ(qdf.out.find("/Subtype /Image"), std::string::npos);

  const ProgramResult render = RunCommand("pdftoppm -r 300 -png -singlefile '" + pdf.string() + "' '" +
                                          (dir.path / "page").string() + "'");
  ASSERT_EQ(render.exitCode, 0) << render.out;
  const ProgramResult scan = RunCommand("zbarimg -q --raw '" + (dir.path / "page.png").string() + "'");
  EXPECT_EQ(scan.out, "00384123450000000073\n");
}

TEST_F(PDFExport, SameInputGivesTheSameBytes) {
  TpgwPDFExport filter;
  ASSERT_TRUE(Run(filter, dir.path / "a.pdf"));
  ASSERT_TRUE(Run(filter, dir.path / "b.pdf"));
  const std::string a = ReadText(dir.path / "a.pdf"), b = ReadText(dir.path / "b.pdf");
  ASSERT_GT(a.size(), 1000u);
  EXPECT_EQ(a, b);
  // The page in points: 378 × 567 report pixels (100 × 150 mm) at 0.75.
  const size_t box = a.find("/MediaBox");
  ASSERT_NE(box, std::string::npos);
  EXPECT_EQ(a.substr(box, a.find('\r', box) - box), "/MediaBox [0 0 283.50 425.25 ]");
}

TEST_F(PDFExport, OutputThatCannotBeCreatedIsReported) {
  const fs::path missing = dir.path / "missing" / "sub" / "label.pdf";
  {
    TpgwPDFExport filter;
    EXPECT_FALSE(Run(filter, missing));
    ASSERT_EQ(report.Errors().Count(), 1);
    EXPECT_NE(Utf16ToUtf8(report.Errors()[0]).find("label.pdf"), std::string::npos)
        << Utf16ToUtf8(report.Errors()[0]);
    EXPECT_FALSE(fs::exists(missing));
  }
  report.Errors().Clear();
  report.EngineOptions().SetNewSilentMode(simReThrow);
  TpgwPDFExport filter;
  EXPECT_THROW(Run(filter, missing), Exception);
  EXPECT_EQ(report.Errors().Count(), 0);

  // Without a file name or a stream nothing is started.
  TpgwPDFExport unnamed;
  EXPECT_FALSE(unnamed.Start());
}

// The x of every "Td" of an uncompressed file, in order.
std::vector<double> TdPositions(const std::string& pdf) {
  std::vector<double> xs;
  for (size_t at = pdf.find(" Td\r\n"); at != std::string::npos; at = pdf.find(" Td\r\n", at + 1)) {
    const size_t start = pdf.rfind('\n', at) + 1;
    xs.push_back(std::stod(pdf.substr(start, at - start)));
  }
  return xs;
}

TEST_F(PDFExport, TextLinesAreWrittenWhereTheLayoutPutsThem) {
  struct Case {
    TpgwHAlign align;
    Extended charSpacing;
  } cases[] = {{haLeft, 0}, {haCenter, 0}, {haRight, 0}, {haCenter, 2}};
  std::vector<double> firstX;
  for (const Case& c : cases) {
    TpgwMemoView memo(nullptr);
    memo.SetBounds(20, 20, 120, 60);
    memo.SetText(u"ALPHA BETA GAMMA DELTA");
    memo.SetHAlign(c.align);
    memo.SetCharSpacing(c.charSpacing);
    TStringList wrapped;
    memo.WrapText(true, &wrapped);
    ASSERT_GE(wrapped.Count(), 2);

    TpgwPDFExport filter;
    filter.SetCompressed(false);
    filter.SetEnvironment(PinnedEnvironment());
    TMemoryStream memory;
    filter.SetStream(&memory);
    ASSERT_TRUE(filter.Start());
    filter.StartPage(label.page, 0);
    filter.ExportObject(memo);
    filter.FinishPage(label.page, 0);
    filter.Finish();
    const std::string pdf(reinterpret_cast<const char*>(memory.Memory()), static_cast<size_t>(memory.Size()));

    // One text block per wrapped line, in the 10-point size of the text object's font.
    const std::vector<double> xs = TdPositions(pdf);
    ASSERT_EQ(static_cast<int>(xs.size()), wrapped.Count());
    EXPECT_NE(pdf.find("/F0 9.900 Tf\r\n"), std::string::npos);
    EXPECT_EQ(pdf.find(" Tc\r\n") != std::string::npos, c.charSpacing != 0);
    if (c.charSpacing != 0) {
      EXPECT_NE(pdf.find("\r\n1.50 Tc\r\n"), std::string::npos);
    }
    firstX.push_back(xs[0]);
  }
  // Left edge plus the gap (22 pixels, 16.5 points); centred and right-aligned lines further in;
  // spacing moves a centred line back by half of what it adds.
  EXPECT_DOUBLE_EQ(firstX[0], 16.5);
  EXPECT_LT(firstX[0], firstX[1]);
  EXPECT_LT(firstX[1], firstX[2]);
  EXPECT_LT(firstX[3], firstX[1]);
}

TEST_F(PDFExport, TaggedTextIsWrittenInRunsOfItsOwnFonts) {
  // With tags allowed, the bold word gets a font of its own and the plain word follows it on
  // the same baseline; with the filter's HTMLTags off, the tags are text.
  for (bool htmlTags : {true, false}) {
    SCOPED_TRACE(htmlTags);
    TpgwMemoView memo(nullptr);
    memo.SetBounds(20, 20, 300, 30);
    memo.SetAllowHTMLTags(true);
    memo.SetText(u"<b>BOLD</b> plain");
    TpgwPDFExport filter;
    filter.SetCompressed(false);
    filter.SetHTMLTags(htmlTags);
    TMemoryStream memory;
    filter.SetStream(&memory);
    ASSERT_TRUE(filter.Start());
    filter.StartPage(label.page, 0);
    filter.ExportObject(memo);
    filter.FinishPage(label.page, 0);
    filter.Finish();
    const std::string pdf(reinterpret_cast<const char*>(memory.Memory()), static_cast<size_t>(memory.Size()));
    const std::vector<double> xs = TdPositions(pdf);
    ASSERT_EQ(xs.size(), htmlTags ? 2u : 1u);
    EXPECT_EQ(pdf.find("/F1 9.900 Tf") != std::string::npos, htmlTags);
    EXPECT_EQ(pdf.find("+Liberation#20Sans,Bold") != std::string::npos, htmlTags);
    if (htmlTags) {
      EXPECT_GT(xs[1], xs[0] + 20);
    }
  }
}

TEST_F(PDFExport, LinksGoToAddressesAndPages) {
  // "@2" goes to the top of the second page, "@9" to no page of the document, an address
  // becomes a web link.
  TpgwMemoView toPage(nullptr), nowhere(nullptr), web(nullptr);
  toPage.SetBounds(20, 20, 100, 20);
  toPage.SetURL(u"@2");
  nowhere.SetBounds(20, 50, 100, 20);
  nowhere.SetURL(u"@9");
  web.SetBounds(20, 80, 100, 20);
  web.SetURL(u" https://example.com/a ");
  TpgwPDFExport filter;
  filter.SetCompressed(false);
  TMemoryStream memory;
  filter.SetStream(&memory);
  ASSERT_TRUE(filter.Start());
  for (int i = 0; i < 2; ++i) {
    filter.StartPage(label.page, i);
    if (i == 0)
      for (TpgwMemoView* m : {&toPage, &nowhere, &web}) filter.ExportObject(*m);
    filter.FinishPage(label.page, i);
  }
  filter.Finish();
  const std::string pdf(reinterpret_cast<const char*>(memory.Memory()), static_cast<size_t>(memory.Size()));
  std::smatch kids;
  ASSERT_TRUE(std::regex_search(pdf, kids, std::regex(R"(/Kids \[(\d+) 0 R (\d+) 0 R\])")));
  EXPECT_NE(pdf.find("/Dest [" + kids[2].str() + " 0 R /XYZ null 425.25 null]"), std::string::npos);
  EXPECT_EQ(pdf.find("/Dest [", pdf.find("/Dest [") + 1), std::string::npos);
  EXPECT_NE(pdf.find("/URI <" + HexUpper(std::string_view("https://example.com/a")) + ">"),
            std::string::npos);
  // The link rectangle is the object's, in points.
  EXPECT_NE(pdf.find("/Rect [15.00 395.25 90.00 410.25]"), std::string::npos);

  if (!HasTools({"qpdf"})) return;
  std::ofstream(dir.path / "links.pdf", std::ios::binary) << pdf;
  const ProgramResult check = RunCommand("qpdf --check '" + (dir.path / "links.pdf").string() + "'");
  EXPECT_EQ(check.exitCode, 0) << check.out;
}

TEST_F(PDFExport, TurnedBarcodeIsEmbeddedAsAnImage) {
  for (int rotation : {0, 90}) {
    SCOPED_TRACE(rotation);
    label.barcode.SetRotation(rotation);
    TpgwPDFExport filter;
    filter.SetCompressed(false);
    TMemoryStream memory;
    filter.SetStream(&memory);
    ASSERT_TRUE(filter.Start());
    filter.StartPage(label.page, 0);
    filter.ExportObject(label.barcode);
    filter.FinishPage(label.page, 0);
    filter.Finish();
    const std::string pdf(reinterpret_cast<const char*>(memory.Memory()), static_cast<size_t>(memory.Size()));
    EXPECT_EQ(pdf.find("/Subtype /Image") != std::string::npos, rotation != 0);
    // Upright bars are filled rectangles of the page content.
    EXPECT_EQ(pdf.find(" re\r\nf\r\n") != std::string::npos, rotation == 0);
  }
}

}  // namespace
}  // namespace pagewright
