#include "engine/band_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/label_record.h"
#include "data/db_dataset.h"
#include "startup/startup.h"
#include "expressions/report_expressions.h"
#include "platform/mem_table.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"
#include "storage/xml_document.h"

namespace pagewright {
namespace {

void StartUp() {
  static std::once_flag once;
  std::call_once(once, [] { InitializeEngine(); });
}

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

// One printed band as a rebuilt page shows it.
struct Printed {
  std::string name;
  Extended top = 0, height = 0;
  std::vector<std::string> texts;  // its text objects, in order
};

std::string Shown(TpgwCustomMemoView& m) {
  WideString t = m.Text();
  while (!t.empty() && (t.back() == u'\n' || t.back() == u'\r')) t.pop_back();
  return U8(t);
}

// A report built in code over a table of `rows` records: name "r<i>", group letter, qty i.
class EngineRun : public ::testing::Test {
 protected:
  void SetUp() override { StartUp(); }
  void TearDown() override {
    report.reset();
    ds.reset();
    table.reset();
  }

  void MakeData(int rows, const std::vector<std::u16string>& groups = {}) {
    table = std::make_unique<TMemTable>();
    table->FieldDefs().Add(u"name", ftString, 20);
    table->FieldDefs().Add(u"grp", ftString, 5);
    table->FieldDefs().Add(u"qty", ftInteger);
    table->CreateDataSet();
    for (int i = 1; i <= rows; ++i) {
      table->Append();
      table->FieldByName(u"name").SetAsString(u"r" + Utf8ToUtf16(std::to_string(i)));
      table->FieldByName(u"grp").SetAsString(i - 1 < static_cast<int>(groups.size()) ? groups[i - 1] : u"");
      table->FieldByName(u"qty").SetAsInteger(i);
      table->Post();
    }
    ds = std::make_unique<TpgwDBDataset>(nullptr);
    ds->SetName(u"ds");
    ds->SetUserName(u"ds");
    ds->SetDataSet(table.get());
    report = CreateReport();
    report->EngineOptions().SetSilentMode(true);
    // The tests look at the template objects after the run.
    report->EngineOptions().SetDestroyForms(false);
    report->DataSets().Add(ds.get());
    page = &CreateChild<TpgwReportPage>(*report);
    page->SetName(u"Page1");
    page->SetLeftMargin(0);
    page->SetRightMargin(0);
    page->SetTopMargin(0);
    page->SetBottomMargin(0);
  }

  template <class B>
  B* AddBand(const char16_t* name, Extended top, Extended height) {
    auto* b = new B(page);
    b->SetName(name);
    b->SetBounds(0, top, 700, height);
    return b;
  }

  TpgwMemoView* AddMemo(TpgwBand* band, const char16_t* name, const WideString& text, Extended left = 0,
                        Extended top = 0, Extended width = 200, Extended height = 20) {
    auto* m = &CreateChild<TpgwMemoView>(*band);
    m->SetName(name);
    m->SetBounds(left, top, width, height);
    m->SetText(text);
    return m;
  }

  TpgwMasterData* AddMaster(Extended top = 100, Extended height = 20) {
    auto* m = AddBand<TpgwMasterData>(u"MasterData1", top, height);
    m->SetDataSet(ds.get());
    AddMemo(m, u"MemoName", u"[ds.\"name\"]");
    return m;
  }

  bool Prepare() { return report->PrepareReport(true); }

  int PageCount() { return PreparedPagesOf(*report)->GetCount(); }

  std::vector<Printed> PageBands(int index) {
    std::vector<Printed> out;
    TpgwReportPage* p = PreparedPagesOf(*report)->GetPage(index);
    if (!p) return out;
    for (TpgwComponent* b : p->Objects().Snapshot()) {
      Printed pr{U8(b->Name()), b->Top(), b->Height(), {}};
      for (TpgwComponent* o : b->Objects().Snapshot())
        if (auto* m = dynamic_cast<TpgwCustomMemoView*>(o)) pr.texts.push_back(Shown(*m));
      out.push_back(pr);
    }
    return out;
  }

  static int CountNamed(const std::vector<Printed>& bands, const std::string& name) {
    int n = 0;
    for (const Printed& b : bands) n += b.name == name;
    return n;
  }

  std::string Errors() { return U8(report->Errors().Text()); }

  std::unique_ptr<TMemTable> table;
  std::unique_ptr<TpgwDBDataset> ds;
  std::unique_ptr<TpgwReport> report;
  TpgwReportPage* page = nullptr;
};

TEST_F(EngineRun, EveryRecordPrintsOneBandWithItsFieldBelowTheHeaders) {
  MakeData(5);
  AddBand<TpgwPageHeader>(u"PageHeader1", 0, 30);
  AddMaster(100, 20);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_EQ(PageCount(), 1);
  const std::vector<Printed> bands = PageBands(0);
  ASSERT_EQ(bands.size(), 6u);
  EXPECT_EQ(bands[0].name, "PageHeader1");
  EXPECT_EQ(bands[0].top, 0);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(bands[i].name, "MasterData1");
    EXPECT_NEAR(static_cast<double>(bands[i].top), 30 + 20 * (i - 1), 1e-6);
    ASSERT_EQ(bands[i].texts.size(), 1u);
    EXPECT_EQ(bands[i].texts[0], "r" + std::to_string(i));
  }
}

// 50 rows of 20 pixels between a 20-pixel page header and footer: the rows that fit per page
// depend on the free space, and a row exactly as tall as what is left still fits.
TEST_F(EngineRun, RowsThatOverflowTheirPageContinueOnTheNext) {
  struct Case {
    Extended printable;  // pixels
    int rowsOnFirst;
    int pages;
  } cases[] = {
      {360, 16, 4},     // 320 free: 16 rows fit exactly
      {359.9L, 15, 4},  // a little less: 15
      {1200, 50, 1},    // everything on one page
  };
  for (const Case& c : cases) {
    MakeData(50);
    page->SetPaperHeight(c.printable / pgwMMUnits);
    AddBand<TpgwPageHeader>(u"PageHeader1", 0, 20);
    AddMaster(100, 20);
    AddBand<TpgwPageFooter>(u"PageFooter1", 300, 20);
    ASSERT_TRUE(Prepare()) << Errors();
    ASSERT_EQ(PageCount(), c.pages) << static_cast<double>(c.printable);
    int rows = 0;
    for (int p = 0; p < PageCount(); ++p) {
      const std::vector<Printed> bands = PageBands(p);
      EXPECT_EQ(CountNamed(bands, "PageHeader1"), 1);
      ASSERT_EQ(CountNamed(bands, "PageFooter1"), 1);
      for (const Printed& b : bands)
        if (b.name == "PageFooter1") {
          EXPECT_NEAR(static_cast<double>(b.top + 20), static_cast<double>(c.printable), 1e-3);
        }
      if (p == 0) { EXPECT_EQ(CountNamed(bands, "MasterData1"), c.rowsOnFirst); }
      rows += CountNamed(bands, "MasterData1");
    }
    EXPECT_EQ(rows, 50);
  }
}

TEST_F(EngineRun, AnEndlessPageGrowsToHoldEveryRow) {
  MakeData(50);
  page->SetPaperHeight(100 / pgwMMUnits);
  page->SetEndlessHeight(true);
  AddMaster(100, 20);
  AddBand<TpgwPageFooter>(u"PageFooter1", 300, 20);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_EQ(PageCount(), 1);
  const std::vector<Printed> bands = PageBands(0);
  EXPECT_EQ(CountNamed(bands, "MasterData1"), 50);
  EXPECT_EQ(bands.back().name, "PageFooter1");
  EXPECT_NEAR(static_cast<double>(bands.back().top), 1000, 1e-3);
  int width = 0, height = 0;
  PreparedPagesOf(*report)->GetPageSize(0, width, height);
  EXPECT_EQ(height, 1020);
}

TEST_F(EngineRun, GroupHeadersPrintWhereTheValueChangesWithTheirTotals) {
  MakeData(5, {u"A", u"A", u"B", u"B", u"B"});
  auto* gh = AddBand<TpgwGroupHeader>(u"GroupHeader1", 50, 20);
  gh->SetCondition(u"ds.\"grp\"");
  AddMemo(gh, u"MemoGroup", u"Group [ds.\"grp\"]");
  AddMaster(100, 20);
  auto* gf = AddBand<TpgwGroupFooter>(u"GroupFooter1", 150, 20);
  AddMemo(gf, u"MemoTotal", u"[COUNT(MasterData1)] rows, [SUM(<ds.\"qty\">)]");
  ASSERT_TRUE(Prepare()) << Errors();
  std::vector<std::string> seen;
  for (const Printed& b : PageBands(0)) seen.push_back(b.name + ":" + (b.texts.empty() ? "" : b.texts[0]));
  const std::vector<std::string> want = {
      "GroupHeader1:Group A",   "MasterData1:r1",       "MasterData1:r2",
      "GroupFooter1:2 rows, 3", "GroupHeader1:Group B", "MasterData1:r3",
      "MasterData1:r4",         "MasterData1:r5",       "GroupFooter1:3 rows, 12",
  };
  EXPECT_EQ(seen, want);
}

// Texts of group headers computed when their group ends, in two nested groups with and
// without an outer footer: each header shows the last row of its own group.
TEST_F(EngineRun, NestedGroupHeadersComputeTheirTextsAtTheirOwnGroupEnd) {
  for (bool outerFooter : {true, false}) {
    MakeData(8, {u"A1", u"A1", u"A2", u"A2", u"B1", u"B1", u"B2", u"C1"});
    auto* outer = AddBand<TpgwGroupHeader>(u"GroupHeader1", 30, 20);
    outer->SetCondition(u"Copy(<ds.\"grp\">, 1, 1)");
    AddMemo(outer, u"MemoOuter", u"outer to [ds.\"name\"]")->Processing().ProcessAt = paGroupFinished;
    auto* inner = AddBand<TpgwGroupHeader>(u"GroupHeader2", 60, 20);
    inner->SetCondition(u"ds.\"grp\"");
    AddMemo(inner, u"MemoInner", u"inner to [ds.\"name\"]")->Processing().ProcessAt = paGroupFinished;
    AddMaster(100, 20);
    AddMemo(AddBand<TpgwGroupFooter>(u"GroupFooter2", 150, 20), u"MemoInnerCount", u"[COUNT(MasterData1)]");
    if (outerFooter)
      AddMemo(AddBand<TpgwGroupFooter>(u"GroupFooter1", 180, 20), u"MemoOuterCount", u"[COUNT(MasterData1)]");
    ASSERT_TRUE(Prepare()) << Errors();
    std::vector<std::string> seen;
    for (const Printed& b : PageBands(0))
      if (b.name != "MasterData1") seen.push_back(b.name + ":" + b.texts.at(0));
    std::vector<std::string> want = {
        "GroupHeader1:outer to r4", "GroupHeader2:inner to r2", "GroupFooter2:2",
        "GroupHeader2:inner to r4", "GroupFooter2:2",           "GroupFooter1:4",
        "GroupHeader1:outer to r7", "GroupHeader2:inner to r6", "GroupFooter2:2",
        "GroupHeader2:inner to r7", "GroupFooter2:1",           "GroupFooter1:3",
        "GroupHeader1:outer to r8", "GroupHeader2:inner to r8", "GroupFooter2:1",
        "GroupFooter1:1",
    };
    if (!outerFooter) std::erase_if(want, [](const std::string& w) { return w.starts_with("GroupFooter1"); });
    EXPECT_EQ(seen, want) << "outer footer " << outerFooter;
  }
}

TEST_F(EngineRun, FooterTotalsOverAllRowsAndTheSummary) {
  MakeData(4);
  AddMaster(100, 20);
  auto* footer = AddBand<TpgwFooter>(u"Footer1", 150, 20);
  AddMemo(footer, u"MemoSum",
          u"[SUM(<ds.\"qty\">)]|[AVG(<ds.\"qty\">)]|[MIN(<ds.\"qty\">)]|[MAX(<ds.\"qty\">)]");
  auto* summary = AddBand<TpgwReportSummary>(u"ReportSummary1", 300, 20);
  AddMemo(summary, u"MemoCount", u"[COUNT(MasterData1)]");
  ASSERT_TRUE(Prepare()) << Errors();
  const std::vector<Printed> bands = PageBands(0);
  ASSERT_EQ(bands.size(), 6u);
  EXPECT_EQ(bands[4].name, "Footer1");
  EXPECT_EQ(bands[4].texts[0], "10|2.5|1|4");
  EXPECT_EQ(bands[5].name, "ReportSummary1");
  EXPECT_EQ(bands[5].texts[0], "4");
}

// Totals over the row counters count each row once with its own values, also the row that
// breaks the page (after the reprinted header took the counters) and across columns.
TEST_F(EngineRun, TotalsOverLineAndPageCountEveryRowOnce) {
  for (int columns : {1, 2}) {
    MakeData(60);
    page->SetPaperHeight(300 / pgwMMUnits);
    page->SetColumns(columns);
    AddBand<TpgwPageHeader>(u"PageHeader1", 0, 20);
    auto* header = AddBand<TpgwHeader>(u"Header1", 50, 20);
    header->SetReprintOnNewPage(true);
    AddMemo(header, u"MemoHeader", u"head [Line]");
    auto* master = AddBand<TpgwMasterData>(u"MasterData1", 100, 20);
    master->SetDataSet(ds.get());
    AddMemo(master, u"MemoLine", u"[Line]");
    AddMemo(master, u"MemoName", u"[ds.\"name\"]", 60, 0, 100);
    auto* footer = AddBand<TpgwPageFooter>(u"PageFooter1", 300, 20);
    AddMemo(footer, u"MemoPageSum", u"[SUM(<Line>,MasterData1)]");
    auto* summary = AddBand<TpgwReportSummary>(u"ReportSummary1", 200, 20);
    AddMemo(summary, u"MemoTotals",
            u"[SUM(<Line>,MasterData1)]|[SUM(<Line#>,MasterData1)]|[SUM(<Page>,MasterData1)]");
    ASSERT_TRUE(Prepare()) << Errors();
    ASSERT_GE(PageCount(), 3) << columns;
    int line = 0, pageSums = 0, pageTotal = 0;
    std::string summaryText;
    for (int p = 0; p < PageCount(); ++p) {
      int onPage = 0;
      for (const Printed& b : PageBands(p)) {
        if (b.name == "MasterData1") {
          ++line;
          ASSERT_EQ(b.texts.size(), 2u);
          EXPECT_EQ(b.texts[0], std::to_string(line)) << "columns " << columns << ", page " << p;
          EXPECT_EQ(b.texts[1], "r" + std::to_string(line));
          onPage += line;
          pageTotal += p + 1;
        } else if (b.name == "PageFooter1") {
          EXPECT_EQ(b.texts[0], std::to_string(onPage)) << "columns " << columns << ", page " << p;
          pageSums += std::stoi(b.texts[0]);
        } else if (b.name == "ReportSummary1") {
          summaryText = b.texts[0];
        }
      }
    }
    EXPECT_EQ(line, 60);
    EXPECT_EQ(pageSums, 1830) << columns;
    EXPECT_EQ(summaryText, "1830|1830|" + std::to_string(pageTotal)) << columns;
  }
}

// Texts computed when the report ends are computed with or without a report summary.
TEST_F(EngineRun, TextsComputedAtTheReportEndWithOrWithoutASummary) {
  for (bool withSummary : {false, true}) {
    MakeData(5);
    auto* title = AddBand<TpgwReportTitle>(u"ReportTitle1", 0, 20);
    AddMemo(title, u"MemoRows", u"[COUNT(MasterData1)] rows")->Processing().ProcessAt = paReportFinished;
    auto* master = AddMaster(100, 20);
    AddMemo(master, u"MemoOf", u"of [COUNT(MasterData1)]", 300)->Processing().ProcessAt = paReportFinished;
    if (withSummary) AddMemo(AddBand<TpgwReportSummary>(u"ReportSummary1", 300, 20), u"MemoEnd", u"end");
    ASSERT_TRUE(Prepare()) << Errors();
    std::vector<std::string> seen;
    for (const Printed& b : PageBands(0)) seen.push_back(b.name + ":" + b.texts.back());
    std::vector<std::string> want = {"ReportTitle1:5 rows"};
    for (int i = 0; i < 5; ++i) want.push_back("MasterData1:of 5");
    if (withSummary) want.push_back("ReportSummary1:end");
    EXPECT_EQ(seen, want) << "summary " << withSummary;
  }
}

// Every row shows the number of the page it lands on, the row that breaks the page too, with
// a page footer, a reprinted header, and in one or two columns.
TEST_F(EngineRun, RowsShowThePageTheyLandOn) {
  for (int columns : {1, 2}) {
    MakeData(30);
    page->SetPaperHeight(200 / pgwMMUnits);
    page->SetColumns(columns);
    auto* header = AddBand<TpgwHeader>(u"Header1", 50, 20);
    header->SetReprintOnNewPage(true);
    auto* master = AddMaster(100, 20);
    AddMemo(master, u"MemoPage", u"[Page]/[Page#]", 100, 0, 100);
    AddMemo(AddBand<TpgwPageFooter>(u"PageFooter1", 300, 20), u"MemoFooter", u"page [Page]");
    ASSERT_TRUE(Prepare()) << Errors();
    ASSERT_GE(PageCount(), 2);
    int rows = 0;
    for (int p = 0; p < PageCount(); ++p) {
      const std::string n = std::to_string(p + 1);
      for (const Printed& b : PageBands(p)) {
        if (b.name == "MasterData1") {
          ++rows;
          EXPECT_EQ(b.texts.at(1), n + "/" + n) << "columns " << columns << ", " << b.texts.at(0);
        } else if (b.name == "PageFooter1") {
          EXPECT_EQ(b.texts.at(0), "page " + n);
        }
      }
    }
    EXPECT_EQ(rows, 30);
  }
}

TEST_F(EngineRun, StretchedTextGrowsItsBandAndMovesWhatIsBelowIt) {
  MakeData(2);
  auto* master = AddBand<TpgwMasterData>(u"MasterData1", 100, 40);
  master->SetDataSet(ds.get());
  master->SetStretched(true);
  auto* grow = AddMemo(master, u"MemoGrow", u"[ds.\"name\"] and many more words that wrap in a narrow column",
                       0, 0, 60, 20);
  grow->SetStretchMode(smActualHeight);
  AddMemo(master, u"MemoBelow", u"below", 0, 20, 60, 20);
  AddMemo(master, u"MemoBeside", u"beside", 100, 20, 60, 20);
  ASSERT_TRUE(Prepare()) << Errors();
  TpgwReportPage* p = PreparedPagesOf(*report)->GetPage(0);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->Objects().Count(), 2);
  TpgwComponent* band = p->Objects()[0];
  TpgwComponent* g = band->FindObject(u"MemoGrow");
  TpgwComponent* below = band->FindObject(u"MemoBelow");
  TpgwComponent* beside = band->FindObject(u"MemoBeside");
  ASSERT_TRUE(g && below && beside);
  const Extended growth = g->Height() - 20;
  EXPECT_GT(growth, 20);
  EXPECT_NEAR(static_cast<double>(below->Top()), static_cast<double>(20 + growth), 1e-6);
  EXPECT_NEAR(static_cast<double>(beside->Top()), 20, 1e-6);
  EXPECT_NEAR(static_cast<double>(band->Height()), static_cast<double>(below->Top() + 20), 1e-6);
  // The next row starts below the grown one; the template is back to its design.
  EXPECT_NEAR(static_cast<double>(p->Objects()[1]->Top()), static_cast<double>(band->Height()), 1e-6);
  EXPECT_EQ(master->Height(), 40);
  EXPECT_EQ(grow->Height(), 20);
}

// The band's structure is made when it first prints; a report script that turns stretching on
// in the band's before-print event (after that) still moves what is below the grown text.
TEST_F(EngineRun, StretchingTurnedOnByAScriptMovesWhatIsBelow) {
  MakeData(1);
  auto* master = AddBand<TpgwMasterData>(u"MasterData1", 100, 40);
  master->SetDataSet(ds.get());
  master->SetStretched(true);
  master->SetOnBeforePrint(u"MasterData1OnBeforePrint");
  AddMemo(master, u"MemoGrow", u"[ds.\"name\"] and many more words that wrap in a narrow column", 0, 0, 60, 20);
  AddMemo(master, u"MemoBelow", u"below", 0, 20, 60, 20);
  report->ScriptText().SetText(
      u"procedure MasterData1OnBeforePrint(Sender: TpgwComponent);\n"
      u"begin\n  MemoGrow.StretchMode := smActualHeight;\nend;\n\nbegin\nend.\n");
  report->EngineOptions().SetRunScripts(true);
  ASSERT_TRUE(Prepare()) << Errors();
  TpgwReportPage* p = PreparedPagesOf(*report)->GetPage(0);
  ASSERT_NE(p, nullptr);
  ASSERT_GE(p->Objects().Count(), 1);
  TpgwComponent* band = p->Objects()[0];
  TpgwComponent* g = band->FindObject(u"MemoGrow");
  TpgwComponent* below = band->FindObject(u"MemoBelow");
  ASSERT_TRUE(g && below);
  const Extended growth = g->Height() - 20;
  EXPECT_GT(growth, 20);
  EXPECT_NEAR(static_cast<double>(below->Top()), static_cast<double>(20 + growth), 1e-6);
  EXPECT_NEAR(static_cast<double>(band->Height()), static_cast<double>(below->Top() + 20), 1e-6);
}

TEST_F(EngineRun, MisplacedBandsFailTheRunWithTheirNames) {
  MakeData(1);
  auto* detail = AddBand<TpgwDetailData>(u"DetailData1", 50, 20);
  detail->SetDataSet(ds.get());
  AddBand<TpgwGroupFooter>(u"GroupFooter1", 80, 20);
  EXPECT_FALSE(Prepare());
  EXPECT_NE(Errors().find("Incorrect band position: DetailData1"), std::string::npos) << Errors();
  EXPECT_NE(Errors().find("No group header for GroupFooter1"), std::string::npos) << Errors();
}

TEST_F(EngineRun, RowCountPrintsRowsWithoutData) {
  MakeData(0);
  auto* band = AddBand<TpgwMasterData>(u"MasterData1", 100, 20);
  band->SetRowCount(3);
  AddMemo(band, u"MemoLine", u"[Line]");
  ASSERT_TRUE(Prepare()) << Errors();
  std::vector<std::string> texts;
  for (const Printed& b : PageBands(0)) texts.push_back(b.texts.at(0));
  EXPECT_EQ(texts, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(band->DataSet(), nullptr);
}

TEST_F(EngineRun, RunningTotalsAndNullsInAggregates) {
  // Two groups of two rows; the second footer keeps counting with flags 2.
  MakeData(4, {u"A", u"A", u"B", u"B"});
  auto* gh = AddBand<TpgwGroupHeader>(u"GroupHeader1", 50, 20);
  gh->SetCondition(u"ds.\"grp\"");
  AddMaster(100, 20);
  auto* gf = AddBand<TpgwGroupFooter>(u"GroupFooter1", 150, 20);
  AddMemo(gf, u"MemoTotals",
          u"[SUM(<ds.\"qty\">)]|[SUM(<ds.\"qty\">, MasterData1, 2)]|[MIN(<ds.\"qty\">)]|"
          u"[AVG(IIF(<ds.\"qty\"> = 3, Null, <ds.\"qty\">))]");
  ASSERT_TRUE(Prepare()) << Errors();
  std::vector<std::string> totals;
  for (const Printed& b : PageBands(0))
    if (b.name == "GroupFooter1") totals.push_back(b.texts.at(0));
  EXPECT_EQ(totals, (std::vector<std::string>{"3|3|1|1.5", "7|10|3|4"}));
}

TEST_F(EngineRun, CountsOfInvisibleRowsAndTotalsOverNoRows) {
  struct Case {
    int rows;
    bool visible;
    const char* want;
  } cases[] = {{4, true, "4|4|10"}, {4, false, "0|4|0"}, {0, true, "0|0|0"}};
  for (const Case& c : cases) {
    MakeData(c.rows);
    auto* master = AddMaster(100, 20);
    master->SetVisible(c.visible);
    auto* summary = AddBand<TpgwReportSummary>(u"ReportSummary1", 300, 20);
    AddMemo(summary, u"MemoCount", u"[COUNT(MasterData1)]|[COUNT(MasterData1, 1)]|[SUM(<ds.\"qty\">)]");
    ASSERT_TRUE(Prepare()) << Errors();
    const std::vector<Printed> bands = PageBands(0);
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(bands.back().name, "ReportSummary1");
    EXPECT_EQ(bands.back().texts.at(0), c.want) << c.rows << c.visible;
  }
}

TEST_F(EngineRun, BandsWithOutlineTextAddOutlineItems) {
  MakeData(3);
  auto* master = AddMaster(100, 20);
  master->SetOutlineText(u"<ds.\"name\">");
  ASSERT_TRUE(Prepare()) << Errors();
  TpgwOutline& outline = PreparedPagesOf(*report)->Outline();
  outline.LevelRoot();
  ASSERT_EQ(outline.GetCount(), 3);
  WideString text;
  int pageN = -1, top = -1;
  outline.GetItem(2, text, pageN, top);
  EXPECT_EQ(U8(text), "r3");
  EXPECT_EQ(top, 40);
}

// Objects placed on the page itself print once per instance of the page.
TEST_F(EngineRun, ObjectsOnThePageItselfPrintOnEachPageInstance) {
  MakeData(1);
  page->SetPageCount(3);
  AddMaster(100, 20);
  auto* stamp = &CreateChild<TpgwMemoView>(*page);
  stamp->SetName(u"MemoStamp");
  stamp->SetBounds(500, 300, 100, 20);
  stamp->SetText(u"page [Page#]");
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_EQ(PageCount(), 3);
  for (int p = 0; p < 3; ++p) {
    TpgwReportPage* printed = PreparedPagesOf(*report)->GetPage(p);
    auto* m = dynamic_cast<TpgwCustomMemoView*>(printed->FindObject(u"MemoStamp"));
    ASSERT_NE(m, nullptr) << p;
    EXPECT_EQ(Shown(*m), "page " + std::to_string(p + 1));
    EXPECT_EQ(m->Top(), 300);
  }
  // The template object is back on its page.
  EXPECT_EQ(stamp->Parent(), page);
  EXPECT_EQ(page->Objects().Count(), 2);
}

TEST_F(EngineRun, AFilterThatRejectsEveryRowPrintsNoHeaderOrFooter) {
  MakeData(3);
  AddBand<TpgwHeader>(u"Header1", 50, 20);
  auto* master = AddMaster(100, 20);
  master->SetFilter(u"<ds.\"qty\"> > 10");
  auto* footer = AddBand<TpgwFooter>(u"Footer1", 150, 20);
  AddMemo(footer, u"MemoSum", u"[SUM(<ds.\"qty\">)]");
  ASSERT_TRUE(Prepare()) << Errors();
  EXPECT_TRUE(PageBands(0).empty());
}

// Page-level options, one line per case: what prints where on a report of 30 rows.
TEST_F(EngineRun, TitleHeaderFooterAndSummaryPlacement) {
  struct Case {
    const char* what;
    bool titleBeforeHeader;
    bool footerOnFirst, footerOnSingle;
    int rows;
    std::vector<std::string> firstPage;  // bands of the first page, in order, rows summarised
  } cases[] = {
      {"title first",
       true,
       true,
       false,
       2,
       {"ReportTitle1@0", "PageHeader1@20", "MasterData1@40", "MasterData1@60", "ReportSummary1@340",
        "PageFooter1@360"}},
      {"header first",
       false,
       true,
       false,
       2,
       {"PageHeader1@0", "ReportTitle1@20", "MasterData1@40", "MasterData1@60", "ReportSummary1@340",
        "PageFooter1@360"}},
      {"no footer on the first page",
       true,
       false,
       false,
       2,
       {"ReportTitle1@0", "PageHeader1@20", "MasterData1@40", "MasterData1@60", "ReportSummary1@340"}},
      {"single page wins",
       true,
       false,
       true,
       2,
       {"ReportTitle1@0", "PageHeader1@20", "MasterData1@40", "MasterData1@60", "ReportSummary1@340",
        "PageFooter1@360"}},
  };
  for (const Case& c : cases) {
    MakeData(c.rows);
    page->SetPaperHeight(380 / pgwMMUnits);
    page->SetTitleBeforeHeader(c.titleBeforeHeader);
    AddBand<TpgwReportTitle>(u"ReportTitle1", 0, 20);
    AddBand<TpgwPageHeader>(u"PageHeader1", 30, 20);
    AddMaster(100, 20);
    auto* summary = AddBand<TpgwReportSummary>(u"ReportSummary1", 200, 20);
    summary->SetPrintAtBottom(true);
    auto* pf = AddBand<TpgwPageFooter>(u"PageFooter1", 300, 20);
    pf->SetPrintOnFirstPage(c.footerOnFirst);
    pf->SetPrintOnSinglePage(c.footerOnSingle);
    ASSERT_TRUE(Prepare()) << Errors();
    std::vector<std::string> got;
    for (const Printed& b : PageBands(0))
      got.push_back(b.name + "@" + std::to_string(static_cast<int>(RoundHalfEven(b.top))));
    EXPECT_EQ(got, c.firstPage) << c.what;
  }
}

TEST_F(EngineRun, StartNewPageBreaksBeforeEveryRowButTheFirst) {
  MakeData(3);
  auto* master = AddMaster(100, 20);
  master->SetStartNewPage(true);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_EQ(PageCount(), 3);
  for (int p = 0; p < 3; ++p) {
    const std::vector<Printed> bands = PageBands(p);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].texts.at(0), "r" + std::to_string(p + 1));
  }
}

// A group kept together moves whole to the next page instead of leaving its header behind.
TEST_F(EngineRun, AGroupKeptTogetherMovesToTheNextPage) {
  for (bool keep : {false, true}) {
    MakeData(6, {u"A", u"A", u"A", u"B", u"B", u"B"});
    page->SetPaperHeight(150 / pgwMMUnits);
    auto* gh = AddBand<TpgwGroupHeader>(u"GroupHeader1", 50, 20);
    gh->SetCondition(u"ds.\"grp\"");
    gh->SetKeepTogether(keep);
    AddMemo(gh, u"MemoGroup", u"[ds.\"grp\"]");
    AddMaster(100, 20);
    ASSERT_TRUE(Prepare()) << Errors();
    ASSERT_EQ(PageCount(), 2);
    const std::vector<Printed> second = PageBands(1);
    ASSERT_FALSE(second.empty());
    if (keep) {
      // The B group (header and three rows) left the first page together.
      EXPECT_EQ(PageBands(0).size(), 4u);
      EXPECT_EQ(second.size(), 4u);
      EXPECT_EQ(second[0].name, "GroupHeader1");
      EXPECT_EQ(second[0].top, 0);
      EXPECT_EQ(second[0].texts.at(0), "B");
    } else {
      EXPECT_EQ(PageBands(0).size(), 7u);  // 150 pixels hold seven 20-pixel bands
      EXPECT_EQ(second[0].name, "MasterData1");
    }
  }
}

// A kept group that moves to the next column stays on its page, and one that moves to the
// next page goes there: its outline items follow it.
TEST_F(EngineRun, AKeptGroupTakesItsOutlineItemsWhereItMoves) {
  for (int columns : {1, 2}) {
    MakeData(6, {u"A", u"A", u"A", u"B", u"B", u"B"});
    page->SetPaperHeight(100 / pgwMMUnits);
    page->SetColumns(columns);
    auto* gh = AddBand<TpgwGroupHeader>(u"GroupHeader1", 50, 20);
    gh->SetCondition(u"ds.\"grp\"");
    gh->SetKeepTogether(true);
    gh->SetOutlineText(u"<ds.\"grp\">");
    AddMemo(gh, u"MemoGroup", u"[ds.\"grp\"]");
    AddMaster(100, 20)->SetOutlineText(u"<ds.\"name\">");
    ASSERT_TRUE(Prepare()) << Errors();
    // Where each group header and its first row printed: text, page, top.
    std::vector<std::string> printed;
    for (int p = 0; p < PageCount(); ++p) {
      const std::vector<Printed> bands = PageBands(p);
      for (size_t i = 0; i + 1 < bands.size(); ++i)
        if (bands[i].name == "GroupHeader1")
          printed.push_back(bands[i].texts.at(0) + " " + std::to_string(p) + " " +
                            std::to_string(static_cast<int>(bands[i].top)) + ", " + bands[i + 1].texts.at(0) +
                            " " + std::to_string(p) + " " +
                            std::to_string(static_cast<int>(bands[i + 1].top)));
    }
    std::vector<std::string> outlined;
    TpgwOutline& outline = PreparedPagesOf(*report)->Outline();
    outline.LevelRoot();
    for (int g = 0; g < outline.GetCount(); ++g) {
      WideString text, rowText;
      int pageN = -1, top = -1, rowPage = -1, rowTop = -1;
      outline.GetItem(g, text, pageN, top);
      outline.LevelDown(g);
      ASSERT_GT(outline.GetCount(), 0);
      outline.GetItem(0, rowText, rowPage, rowTop);
      outline.LevelRoot();
      outlined.push_back(U8(text) + " " + std::to_string(pageN) + " " + std::to_string(top) + ", " +
                         U8(rowText) + " " + std::to_string(rowPage) + " " + std::to_string(rowTop));
    }
    EXPECT_EQ(printed, (std::vector<std::string>{"A 0 0, r1 0 20",
                                                 columns == 1 ? "B 1 0, r4 1 20" : "B 0 0, r4 0 20"}));
    EXPECT_EQ(outlined, printed) << "columns " << columns;
  }
}

TEST_F(EngineRun, ATallBandIsPrintedInPartsAcrossPages) {
  MakeData(1);
  page->SetPaperHeight(200 / pgwMMUnits);
  auto* master = AddBand<TpgwMasterData>(u"MasterData1", 100, 20);
  master->SetDataSet(ds.get());
  master->SetAllowSplit(true);
  master->SetStretched(true);
  WideString text;
  for (int i = 1; i <= 40; ++i) text += u"line " + Utf8ToUtf16(std::to_string(i)) + u"\r\n";
  auto* memo = AddMemo(master, u"MemoLong", text, 0, 0, 300, 20);
  memo->SetStretchMode(smActualHeight);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_GE(PageCount(), 2);
  std::string all;
  for (int p = 0; p < PageCount(); ++p)
    for (const Printed& b : PageBands(p)) {
      EXPECT_LE(static_cast<double>(b.top + b.height), 200 + 1e-3) << "page " << p;
      for (const std::string& t : b.texts) all += t + "\n";
    }
  // Every line printed once, in order.
  std::string want;
  for (int i = 1; i <= 40; ++i) want += "line " + std::to_string(i) + "\n";
  std::string flat;
  for (char ch : all)
    if (ch != '\r') flat += ch;
  EXPECT_EQ(flat, want);
}

// A band printed in parts keeps its fill and frame in every part, and an object lying wholly
// below the split line keeps its distance to it instead of jumping onto it.
TEST_F(EngineRun, ABandPrintedInPartsKeepsItsFillAndThePlaceOfObjectsBelowTheSplit) {
  MakeData(1);
  page->SetPaperHeight(200 / pgwMMUnits);
  auto* master = AddBand<TpgwMasterData>(u"MasterData1", 100, 320);
  master->SetDataSet(ds.get());
  master->SetAllowSplit(true);
  master->SetStretched(true);
  TpgwBrushFill fill;
  fill.SetBackColor(0x00CCFF);
  master->SetFill(fill);
  master->Frame().SetTyp(TpgwFrameTypes{ftLeft, ftRight, ftTop, ftBottom});
  WideString text;
  for (int i = 1; i <= 40; ++i) text += u"line " + Utf8ToUtf16(std::to_string(i)) + u"\r\n";
  AddMemo(master, u"MemoLong", text, 0, 0, 300, 20)->SetStretchMode(smActualHeight);
  AddMemo(master, u"MemoBelow", u"below", 400, 300, 100, 20);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_GE(PageCount(), 3);
  int parts = 0, below = 0;
  for (int p = 0; p < PageCount(); ++p) {
    for (TpgwComponent* b : PreparedPagesOf(*report)->GetPage(p)->Objects().Snapshot()) {
      if (b->Name() != u"MasterData1") continue;
      ++parts;
      int filled = 0;
      for (TpgwComponent* o : b->Objects().Snapshot()) {
        auto* v = dynamic_cast<TpgwView*>(o);
        if (!v) continue;
        auto* brush = dynamic_cast<const TpgwBrushFill*>(&v->Fill());
        if (brush && brush->BackColor() == 0x00CCFF && v->Frame().Typ() == master->Frame().Typ()) {
          ++filled;
          EXPECT_NEAR(static_cast<double>(v->Height()), static_cast<double>(b->Height()), 1e-3)
              << "page " << p;
        }
        if (o->Name() == u"MemoBelow") {
          ++below;
          EXPECT_EQ(p, 1);
          EXPECT_NEAR(static_cast<double>(o->Top()), 100, 1e-3);
        }
      }
      EXPECT_EQ(filled, 1) << "page " << p;
    }
  }
  EXPECT_EQ(parts, PageCount());
  EXPECT_EQ(below, 1);
}

TEST_F(EngineRun, DoublePassKnowsTheTotalPageCount) {
  for (bool doublePass : {false, true}) {
    MakeData(5);
    report->EngineOptions().SetDoublePass(doublePass);
    auto* master = AddMaster(100, 20);
    master->SetStartNewPage(true);
    AddMemo(master, u"MemoPages", u"[Page#] of [TotalPages]", 300, 0);
    ASSERT_TRUE(Prepare()) << Errors();
    ASSERT_EQ(PageCount(), 5);
    // A single pass does not know the total while it runs: a text showing it gets it when
    // the pages are shown.
    EXPECT_EQ(PageBands(3).at(0).texts.at(1), "4 of 5");
  }
}

// Single and double pass give the same totals where a single pass can know them; within a
// larger expression the total is known in a double pass only.
TEST_F(EngineRun, PageTotalsInASinglePass) {
  struct Case {
    int rows;
    bool doublePass;
    const char16_t* text;
    std::vector<std::string> want;  // page by page, the first row's text
  } cases[] = {
      {2, false, u"[Page] of [TotalPages]", {"1 of 1"}},
      {3,
       false,
       u"[Page] of [totalpages] / [Page#] of [TotalPages#]",
       {"1 of 2 / 1 of 2", "2 of 2 / 2 of 2"}},
      {3, true, u"[Page] of [TotalPages]", {"1 of 2", "2 of 2"}},
      {3, true, u"[<TotalPages> - 1] more", {"1 more", "1 more"}},
  };
  for (const Case& c : cases) {
    MakeData(c.rows);
    page->SetPaperHeight(40 / pgwMMUnits);
    report->EngineOptions().SetDoublePass(c.doublePass);
    AddMemo(AddMaster(100, 20), u"MemoPages", c.text, 300, 0);
    ASSERT_TRUE(Prepare()) << Errors();
    std::vector<std::string> got;
    for (int p = 0; p < PageCount(); ++p) got.push_back(PageBands(p).at(0).texts.at(1));
    EXPECT_EQ(got, c.want) << U8(c.text) << (c.doublePass ? ", double pass" : "");
  }
}

// A double pass keeps the deferred values of its last pass only: the store holds and saves
// one instance per printed object, and a saved and loaded report shows the same texts.
TEST_F(EngineRun, ADoublePassKeepsTheDeferredValuesOfItsLastPass) {
  for (bool doublePass : {false, true}) {
    MakeData(5);
    report->EngineOptions().SetDoublePass(doublePass);
    auto* master = AddMaster(100, 20);
    AddMemo(master, u"MemoOf", u"of [COUNT(MasterData1)]", 300)->Processing().ProcessAt = paReportFinished;
    ASSERT_TRUE(Prepare()) << Errors();
    TpgwPreviewPages& store = *PreparedPagesOf(*report);
    TpgwMacrosItem* item = store.PostProcessor().Find(u"MemoOf");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->TextCount(), 5) << "double pass " << doublePass;
    TMemoryStream stream;
    store.SaveToStream(stream);
    EXPECT_EQ(store.Section(u"postprocessing").Count(), 1);
    stream.SetPosition(0);
    ASSERT_TRUE(store.LoadFromStream(stream));
    std::vector<std::string> seen;
    for (const Printed& b : PageBands(0)) seen.push_back(b.texts.at(1));
    EXPECT_EQ(seen, std::vector<std::string>(5, "of 5")) << "double pass " << doublePass;
  }
}

// One band, a text object at the top that grows (or shrinks when its text is empty) and an
// object below it: where the object below ends up, one line per case.
TEST_F(EngineRun, ShiftingFollowsTheBandAndObjectModes) {
  struct Case {
    const char* what;
    TpgwShiftEngine engine;
    TpgwShiftMode belowMode;
    bool shrinkEmpty;  // the top object is empty and may shrink
    bool moves;        // the object below follows the top object's change
  } cases[] = {
      {"tree", seTree, smAlways, false, true},
      {"linear", seLinear, smAlways, false, true},
      {"band never shifts", seDontShift, smAlways, false, false},
      {"object never shifts", seTree, smDontShift, false, false},
      {"when overlapped", seTree, smWhenOverlapped, false, true},
      {"shrinking moves up", seTree, smAlways, true, true},
  };
  for (const Case& c : cases) {
    MakeData(1);
    auto* master = AddBand<TpgwMasterData>(u"MasterData1", 100, 60);
    master->SetDataSet(ds.get());
    master->SetShiftEngine(c.engine);
    master->SetStretched(true);
    auto* top =
        AddMemo(master, u"MemoTop",
                c.shrinkEmpty ? WideString() : WideString(u"many words that wrap in a narrow column of text"),
                0, 0, 60, 30);
    if (c.shrinkEmpty)
      top->SetCanShrink(true);
    else
      top->SetStretchMode(smActualHeight);
    auto* below = AddMemo(master, u"MemoBelow", u"x", 0, 30, 60, 20);
    below->SetShiftMode(c.belowMode);
    ASSERT_TRUE(Prepare()) << Errors();
    TpgwComponent* band = PreparedPagesOf(*report)->GetPage(0)->Objects()[0];
    TpgwComponent* t = band->FindObject(u"MemoTop");
    TpgwComponent* b = band->FindObject(u"MemoBelow");
    ASSERT_TRUE(t && b) << c.what;
    const Extended change = t->Height() - 30;
    EXPECT_NE(static_cast<double>(change), 0) << c.what;
    EXPECT_NEAR(static_cast<double>(b->Top()), static_cast<double>(c.moves ? 30 + change : 30), 1e-6)
        << c.what;
  }
}

TEST_F(EngineRun, RowsFillTheColumnsOfAPageBeforeTheNextPage) {
  MakeData(10);
  page->SetPaperHeight(80 / pgwMMUnits);
  page->SetColumns(2);  // two columns of 105 millimetres
  AddMaster(100, 20);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_EQ(PageCount(), 2);
  std::vector<std::string> first;
  TpgwReportPage* p = PreparedPagesOf(*report)->GetPage(0);
  for (TpgwComponent* b : p->Objects().Snapshot())
    first.push_back(std::to_string(static_cast<int>(RoundHalfEven(b->Left()))) + "," +
                    std::to_string(static_cast<int>(RoundHalfEven(b->Top()))));
  const std::string col2 = std::to_string(static_cast<int>(RoundHalfEven(105 * pgwMMUnits)));
  EXPECT_EQ(first, (std::vector<std::string>{"0,0", "0,20", "0,40", "0,60", col2 + ",0", col2 + ",20",
                                             col2 + ",40", col2 + ",60"}));
  EXPECT_EQ(PageBands(1).size(), 2u);
}

// A data band with three columns lays its rows side by side; a row block that runs past the
// bottom moves whole to the next page.
TEST_F(EngineRun, ADataBandWithColumnsPrintsRowsSideBySide) {
  MakeData(7);
  page->SetPaperHeight(50 / pgwMMUnits);
  auto* master = AddMaster(100, 20);
  master->SetColumns(3);
  master->SetColumnWidth(100);
  ASSERT_TRUE(Prepare()) << Errors();
  ASSERT_EQ(PageCount(), 2);
  std::vector<std::string> got;
  for (int p = 0; p < 2; ++p) {
    for (TpgwComponent* b : PreparedPagesOf(*report)->GetPage(p)->Objects().Snapshot())
      got.push_back(std::to_string(static_cast<int>(RoundHalfEven(b->Left()))) + "," +
                    std::to_string(static_cast<int>(RoundHalfEven(b->Top()))));
    got.push_back("|");
  }
  EXPECT_EQ(got,
            (std::vector<std::string>{"0,0", "100,0", "200,0", "0,20", "100,20", "200,20", "|", "0,0", "|"}));
}

// A folded group shows its header only; unfolding by default, or naming the group in the
// report's drill state, shows its rows.
TEST_F(EngineRun, DrillDownGroupsShowTheirRowsOnlyWhenUnfolded) {
  struct Case {
    bool expandByDefault;
    const char16_t* listed;  // a drill name in the report's state
    int rows;
  } cases[] = {
      {false, nullptr, 0}, {true, nullptr, 4}, {false, u"GroupHeader1.2", 2}, {true, u"GroupHeader1.1", 2}};
  for (const Case& c : cases) {
    MakeData(4, {u"A", u"A", u"B", u"B"});
    auto* gh = AddBand<TpgwGroupHeader>(u"GroupHeader1", 50, 20);
    gh->SetCondition(u"ds.\"grp\"");
    gh->SetDrillDown(true);
    gh->SetExpandDrillDown(c.expandByDefault);
    AddMaster(100, 20);
    if (c.listed) report->DrillState().Add(c.listed);
    ASSERT_TRUE(Prepare()) << Errors();
    const std::vector<Printed> bands = PageBands(0);
    EXPECT_EQ(CountNamed(bands, "GroupHeader1"), 2);
    EXPECT_EQ(CountNamed(bands, "MasterData1"), c.rows) << c.expandByDefault;
  }
}

// Bands that can never fit still end the run: a page header taller than the page, a row whose
// object is taller than the page.
TEST_F(EngineRun, BandsTallerThanThePageDoNotLoop) {
  for (bool tallHeader : {true, false}) {
    MakeData(3);
    page->SetPaperHeight(100 / pgwMMUnits);
    if (tallHeader) AddBand<TpgwPageHeader>(u"PageHeader1", 0, 150);
    auto* master = AddMaster(200, 20);
    if (!tallHeader) {
      master->SetHeight(160);
      AddMemo(master, u"MemoTall", u"tall", 300, 0, 50, 160);
    }
    ASSERT_TRUE(Prepare()) << Errors();
    int rows = 0;
    for (int p = 0; p < PageCount(); ++p) rows += CountNamed(PageBands(p), "MasterData1");
    EXPECT_GE(rows, 3) << tallHeader;
    EXPECT_LE(PageCount(), 7) << tallHeader;
  }
}

// A footer that does not fit under the last row: kept with its footer, the row goes along to
// the next page, and the total still counts it once.
TEST_F(EngineRun, AKeptFooterTakesTheLastRowAlong) {
  for (bool keepFooter : {false, true}) {
    MakeData(5);
    page->SetPaperHeight(120 / pgwMMUnits);
    auto* master = AddMaster(100, 20);
    master->SetKeepFooter(keepFooter);
    auto* footer = AddBand<TpgwFooter>(u"Footer1", 150, 30);
    AddMemo(footer, u"MemoSum", u"[SUM(<ds.\"qty\">)]");
    ASSERT_TRUE(Prepare()) << Errors();
    ASSERT_EQ(PageCount(), 2);
    const std::vector<Printed> second = PageBands(1);
    EXPECT_EQ(CountNamed(PageBands(0), "MasterData1"), keepFooter ? 4 : 5);
    ASSERT_EQ(second.size(), keepFooter ? 2u : 1u);
    EXPECT_EQ(second.back().name, "Footer1");
    EXPECT_EQ(second.back().texts.at(0), "15");
    EXPECT_EQ(second.back().top, keepFooter ? 20 : 0);
    if (keepFooter) { EXPECT_EQ(second[0].texts.at(0), "r5"); }
  }
}

// Under a title, a header with room only for itself: kept with its first row, it moves along.
TEST_F(EngineRun, AKeptHeaderMovesWithItsFirstRow) {
  for (bool keepHeader : {false, true}) {
    MakeData(2);
    page->SetPaperHeight(60 / pgwMMUnits);
    AddBand<TpgwReportTitle>(u"ReportTitle1", 0, 40);
    AddBand<TpgwHeader>(u"Header1", 50, 20);
    AddMaster(100, 20)->SetKeepHeader(keepHeader);
    ASSERT_TRUE(Prepare()) << Errors();
    std::vector<std::string> names;
    for (int p = 0; p < PageCount(); ++p) {
      names.push_back("--");
      for (const Printed& b : PageBands(p)) names.push_back(b.name);
    }
    const std::vector<std::string> kept = {"--",      "ReportTitle1", "--",
                                           "Header1", "MasterData1",  "MasterData1"};
    const std::vector<std::string> loose = {"--", "ReportTitle1", "Header1",
                                            "--", "MasterData1",  "MasterData1"};
    EXPECT_EQ(names, keepHeader ? kept : loose);
  }
}

// A child that fills up to a row count prints after the rows and before the footer.
TEST_F(EngineRun, ChildRowsFillUpToTheirCount) {
  struct Case {
    TpgwToNRowsMode mode;
    int children;
  } cases[] = {{rmCount, 3}, {rmAddToCount, 5}};
  for (const Case& c : cases) {
    MakeData(2);
    auto* master = AddMaster(100, 20);
    auto* child = AddBand<TpgwChild>(u"Child1", 300, 10);
    child->SetToNRows(5);
    child->SetToNRowsMode(c.mode);
    master->SetChild(child);
    AddBand<TpgwFooter>(u"Footer1", 150, 20);
    ASSERT_TRUE(Prepare()) << Errors();
    std::vector<std::string> names;
    Extended bottom = 0;
    for (const Printed& b : PageBands(0)) {
      names.push_back(b.name);
      EXPECT_NEAR(static_cast<double>(b.top), static_cast<double>(bottom), 1e-6) << b.name;
      bottom = b.top + b.height;
    }
    std::vector<std::string> want = {"MasterData1", "MasterData1"};
    for (int i = 0; i < c.children; ++i) want.push_back("Child1");
    want.push_back("Footer1");
    EXPECT_EQ(names, want);
  }
}

TEST_F(EngineRun, HeadersChildrenAndSingleRecordGroups) {
  MakeData(5, {u"A", u"B", u"B", u"B", u"B"});
  page->SetPaperHeight(160 / pgwMMUnits);
  auto* header = AddBand<TpgwHeader>(u"Header1", 40, 20);
  header->SetReprintOnNewPage(true);
  auto* gh = AddBand<TpgwGroupHeader>(u"GroupHeader1", 60, 20);
  gh->SetCondition(u"ds.\"grp\"");
  auto* master = AddMaster(100, 20);
  auto* child = AddBand<TpgwChild>(u"Child1", 300, 10);
  master->SetChild(child);
  auto* gf = AddBand<TpgwGroupFooter>(u"GroupFooter1", 150, 20);
  gf->SetHideIfSingleDataRecord(true);
  ASSERT_TRUE(Prepare()) << Errors();
  std::vector<std::string> names;
  for (int p = 0; p < PageCount(); ++p) {
    names.push_back("--");
    for (const Printed& b : PageBands(p)) names.push_back(b.name);
  }
  // Page 1 holds group A and two rows of B; the header comes again on page 2, and only the B group
  // of several rows has its footer.
  const std::vector<std::string> want = {
      "--",          "Header1", "GroupHeader1", "MasterData1", "Child1",      "GroupHeader1",
      "MasterData1", "Child1",  "MasterData1",  "Child1",      "--",          "Header1",
      "MasterData1", "Child1",  "MasterData1",  "Child1",      "GroupFooter1"};
  EXPECT_EQ(names, want);
}

// The label program's template with its one record prepares into one page with every object.
TEST(EngineLabel, TheLabelTemplatePreparesIntoOnePage) {
  StartUp();
  TMemTable table;
  for (const test_support::LabelField& f : test_support::kLabel)
    table.FieldDefs().Add(f.name, f.type, f.size);
  table.CreateDataSet();
  table.Append();
  for (const test_support::LabelField& f : test_support::kLabel) {
    if (f.type == ftInteger)
      table.FieldByName(f.name).SetAsInteger(f.number);
    else
      table.FieldByName(f.name).SetAsString(f.text);
  }
  table.Post();
  TpgwDBDataset adapter(nullptr);
  adapter.SetDataSet(&table);
  adapter.SetUserName(u"pgwDBmaster");
  TpgwReport report(DefaultReportServices());
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  ASSERT_TRUE(report.LoadFromFile(
      Utf8ToUtf16(std::string(PW_TEST_DATA_DIR) + "/../../examples/label/reportes/EtiquetaVelmo.pw3")));
  report.DataSets().Clear();
  report.DataSets().Add(&adapter);
  report.EnabledDataSets().Clear();
  report.EnabledDataSets().Add(&adapter);
  auto* band = dynamic_cast<TpgwMasterData*>(report.FindObject(u"MasterData1"));
  ASSERT_NE(band, nullptr);
  band->SetDataSet(&adapter);
  ASSERT_TRUE(report.PrepareReport(true)) << U8(report.Errors().Text());
  TpgwPreviewPages* pages = PreparedPagesOf(report);
  ASSERT_EQ(pages->GetCount(), 1);
  TpgwReportPage* p = pages->GetPage(0);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->Objects().Count(), 1);
  TpgwComponent* printed = p->Objects()[0];
  EXPECT_EQ(U8(printed->Name()), "MasterData1");
  EXPECT_EQ(printed->Objects().Count(), 38);
  auto text = [&](const char16_t* name) {
    auto* m = dynamic_cast<TpgwCustomMemoView*>(printed->FindObject(name));
    return m ? Shown(*m) : std::string("<missing>");
  };
  EXPECT_EQ(text(u"MemoProveedorNombre"), "MIRANTO PASTELERIAS S.L.");
  EXPECT_EQ(text(u"MemoPedido"), "91026401");
  EXPECT_EQ(text(u"MemoSSCC").find("384123450000000073") != std::string::npos, true) << text(u"MemoSSCC");
}

}  // namespace
}  // namespace pagewright
