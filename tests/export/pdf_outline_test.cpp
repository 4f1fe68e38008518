// The report's outline becomes the document outline (bookmarks) when the filter's Outline is
// on: items keep their tree, point at the top of their place on the written pages, and an item
// whose page was not written gives way to its children.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "common/run_program.h"
#include "common/temp_dir.h"
#include "export/pdf/pdf_document.h"
#include "export/pdf_export.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "report/pages.h"
#include "storage/xml_document.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

TpgwXMLItem* AddItem(TpgwXMLItem& parent, const char16_t* text, const char16_t* page, const char16_t* top) {
  TpgwXMLItem* item = parent.Add(u"item");
  item->SetProp(u"text", text);
  item->SetProp(u"page", page);
  item->SetProp(u"top", top);
  return item;
}

// Two pages of 100 × 150 mm (425.25 points high) with the outline of the prepared pages.
std::string Export(bool outline, const TpgwXMLItem& root, bool protect = false) {
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(100);
  page.SetPaperHeight(150);
  TpgwPDFExport filter;
  filter.SetCompressed(false);
  filter.SetOutline(outline);
  if (protect) {
    filter.SetUserPassword("lector");
    filter.SetEncryptionMethod(peAES_256);
  }
  filter.SetPreparedOutline(root);
  TMemoryStream memory;
  filter.SetStream(&memory);
  EXPECT_TRUE(filter.Start());
  for (int i = 0; i < 2; ++i) {
    filter.StartPage(page, i);
    filter.FinishPage(page, i);
  }
  filter.Finish();
  return std::string(reinterpret_cast<const char*>(memory.Memory()), static_cast<size_t>(memory.Size()));
}

TEST(PdfOutline, ReportOutlineBecomesTheDocumentOutline) {
  TpgwXMLItem root;
  TpgwXMLItem* first = AddItem(root, u"Albarán 1", u"0", u"0");
  AddItem(*first, u"Bulto 1", u"0", u"100");
  AddItem(*first, u"Bulto 2", u"1", u"200");
  TpgwXMLItem* missing = AddItem(root, u"Página 7", u"7", u"0");  // not written: its child moves up
  AddItem(*missing, u"Resumen", u"1", u"40");
  AddItem(root, u"Sin página", u"x", u"0");  // names no page
  root.Add(u"other")->SetProp(u"text", u"not an item");

  const std::string pdf = Export(true, root);
  EXPECT_NE(pdf.find("/PageMode /UseOutlines"), std::string::npos);
  EXPECT_NE(pdf.find("/Outlines "), std::string::npos);
  EXPECT_NE(pdf.find("/Type /Outlines\r\n/Count 4\r\n"), std::string::npos) << "four items kept";
  std::smatch kids;
  ASSERT_TRUE(std::regex_search(pdf, kids, std::regex(R"(/Kids \[(\d+) 0 R (\d+) 0 R\])")));
  // The first child's place: 425.25 - 100 × 0.75 points, to the nearest integer.
  EXPECT_NE(pdf.find("/Dest [" + kids[1].str() + " 0 R /XYZ 0 350 0]"), std::string::npos);
  EXPECT_NE(pdf.find("/Dest [" + kids[2].str() + " 0 R /XYZ 0 275 0]"), std::string::npos);
  EXPECT_NE(pdf.find("/Count 2\r\n"), std::string::npos) << "the first item's two children";

  test_support::TempDir dir;
  const fs::path file = dir.path / "outline.pdf";
  std::ofstream(file, std::ios::binary) << pdf;
  EXPECT_EQ(test_support::RunCommand("qpdf --check '" + file.string() + "'").exitCode, 0);
  // qpdf reads the tree back: titles, nesting and target pages.
  const std::string json =
      test_support::RunCommand("qpdf --json --json-key=outlines '" + file.string() + "'").out;
  auto at = [&](const char* text) { return json.find(text); };
  ASSERT_NE(at("\"title\": \"Albarán 1\""), std::string::npos) << json;
  EXPECT_LT(at("\"title\": \"Bulto 1\""), at("\"title\": \"Bulto 2\""));
  EXPECT_LT(at("\"title\": \"Bulto 2\""), at("\"title\": \"Resumen\""));
  EXPECT_EQ(at("Página 7"), std::string::npos);
  EXPECT_EQ(at("Sin p"), std::string::npos);
  // "Resumen" sits at the top level after the first item, on page 2 (qpdf sorts the keys).
  const size_t resumen = at("\"title\": \"Resumen\"");
  ASSERT_NE(resumen, std::string::npos);
  const size_t page = json.rfind("\"destpageposfrom1\"", resumen);
  EXPECT_EQ(json.substr(page, 21), "\"destpageposfrom1\": 2") << json;
}

TEST(PdfOutline, NothingWrittenWithoutTheSwitchOrWithoutItemsOnWrittenPages) {
  TpgwXMLItem root;
  AddItem(root, u"Albarán 1", u"0", u"0");
  const std::string off = Export(false, root);
  EXPECT_EQ(off.find("/Outlines"), std::string::npos);
  EXPECT_NE(off.find("/PageMode /UseNone"), std::string::npos);
  TpgwXMLItem elsewhere;
  AddItem(elsewhere, u"Página 9", u"9", u"0");
  const std::string none = Export(true, elsewhere);
  EXPECT_EQ(none.find("/Outlines"), std::string::npos);
  EXPECT_NE(none.find("/PageMode /UseNone"), std::string::npos);
}

TEST(PdfOutline, TitlesAreEncryptedAndDeepTreesAreCut) {
  TpgwXMLItem root;
  TpgwXMLItem* item = &root;
  for (int depth = 0; depth < 500; ++depth) item = AddItem(*item, u"Nivel", u"0", u"0");
  const std::string pdf = Export(true, root, true);
  EXPECT_NE(pdf.find("/Type /Outlines\r\n/Count " + std::to_string(kMaxPDFOutlineDepth) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(pdf.find("/Title <FEFF004E"), std::string::npos) << "titles are encrypted";
  test_support::TempDir dir;
  const fs::path file = dir.path / "deep.pdf";
  std::ofstream(file, std::ios::binary) << pdf;
  EXPECT_EQ(test_support::RunCommand("qpdf --check --password=lector '" + file.string() + "'").exitCode, 0);
  const std::string json =
      test_support::RunCommand("qpdf --password=lector --json --json-key=outlines '" + file.string() + "'")
          .out;
  EXPECT_NE(json.find("\"title\": \"Nivel\""), std::string::npos) << json.substr(0, 400);
}

}  // namespace
}  // namespace pagewright
