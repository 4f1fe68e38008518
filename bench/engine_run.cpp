// The band engine preparing a report of N rows: one data band with a text object over a table,
// a page header and footer, and a footer total.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "data/db_dataset.h"
#include "engine/band_engine.h"
#include "startup/startup.h"
#include "expressions/report_expressions.h"
#include "platform/mem_table.h"
#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"

namespace pagewright {
namespace {

void StartUp() {
  static const bool done = [] {
    InitializeEngine();
    return true;
  }();
  (void)done;
}

template <class B>
B* Band(TpgwReportPage* page, const char16_t* name, Extended top, Extended height) {
  auto* b = new B(page);
  b->SetName(name);
  b->SetBounds(0, top, 700, height);
  return b;
}

void Memo(TpgwBand* band, const char16_t* name, const WideString& text) {
  auto* m = &CreateChild<TpgwMemoView>(*band);
  m->SetName(name);
  m->SetBounds(0, 0, 300, 20);
  m->SetText(text);
}

void BM_PrepareRows(benchmark::State& state) {
  StartUp();
  const int rows = static_cast<int>(state.range(0));
  TMemTable table;
  table.FieldDefs().Add(u"name", ftString, 20);
  table.FieldDefs().Add(u"qty", ftInteger);
  table.CreateDataSet();
  for (int i = 1; i <= rows; ++i) {
    table.Append();
    table.FieldByName(u"name").SetAsString(u"row " + Utf8ToUtf16(std::to_string(i)));
    table.FieldByName(u"qty").SetAsInteger(i);
    table.Post();
  }
  TpgwDBDataset ds(nullptr);
  ds.SetName(u"ds");
  ds.SetUserName(u"ds");
  ds.SetDataSet(&table);
  TpgwReport report(DefaultReportServices());
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  report.EngineOptions().SetDestroyForms(false);
  report.DataSets().Add(&ds);
  auto* page = &CreateChild<TpgwReportPage>(report);
  page->SetName(u"Page1");
  Memo(Band<TpgwPageHeader>(page, u"PageHeader1", 0, 20), u"MemoHeader", u"Page [Page#]");
  auto* master = Band<TpgwMasterData>(page, u"MasterData1", 100, 20);
  master->SetDataSet(&ds);
  Memo(master, u"MemoName", u"[ds.\"name\"]");
  Memo(Band<TpgwFooter>(page, u"Footer1", 150, 20), u"MemoSum", u"[SUM(<ds.\"qty\">)]");
  Band<TpgwPageFooter>(page, u"PageFooter1", 300, 20);
  for (auto _ : state) {
    if (!report.PrepareReport(true)) state.SkipWithError("preparation failed");
    benchmark::DoNotOptimize(PreparedPagesOf(report)->GetCount());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_PrepareRows)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The same over two group levels (ten outer groups of ten inner ones), each with a footer
// total and a header text computed at its group's end, a page footer over Line and a summary.
void BM_PrepareGroupedRows(benchmark::State& state) {
  StartUp();
  const int rows = static_cast<int>(state.range(0));
  TMemTable table;
  table.FieldDefs().Add(u"name", ftString, 20);
  table.FieldDefs().Add(u"outer", ftInteger);
  table.FieldDefs().Add(u"inner", ftInteger);
  table.FieldDefs().Add(u"qty", ftInteger);
  table.CreateDataSet();
  for (int i = 0; i < rows; ++i) {
    table.Append();
    table.FieldByName(u"name").SetAsString(u"row " + Utf8ToUtf16(std::to_string(i + 1)));
    table.FieldByName(u"outer").SetAsInteger(i * 10 / std::max(rows, 1));
    table.FieldByName(u"inner").SetAsInteger(i * 100 / std::max(rows, 1));
    table.FieldByName(u"qty").SetAsInteger(i + 1);
    table.Post();
  }
  TpgwDBDataset ds(nullptr);
  ds.SetName(u"ds");
  ds.SetUserName(u"ds");
  ds.SetDataSet(&table);
  TpgwReport report(DefaultReportServices());
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  report.EngineOptions().SetDestroyForms(false);
  report.DataSets().Add(&ds);
  auto* page = &CreateChild<TpgwReportPage>(report);
  page->SetName(u"Page1");
  Memo(Band<TpgwPageHeader>(page, u"PageHeader1", 0, 20), u"MemoHeader", u"Page [Page#] of [TotalPages]");
  auto* outer = Band<TpgwGroupHeader>(page, u"GroupHeader1", 30, 20);
  outer->SetCondition(u"ds.\"outer\"");
  Memo(outer, u"MemoOuter", u"Outer [ds.\"outer\"] to [ds.\"name\"]");
  static_cast<TpgwMemoView*>(outer->FindObject(u"MemoOuter"))->Processing().ProcessAt = paGroupFinished;
  auto* inner = Band<TpgwGroupHeader>(page, u"GroupHeader2", 60, 20);
  inner->SetCondition(u"ds.\"inner\"");
  Memo(inner, u"MemoInner", u"Inner [ds.\"inner\"]");
  auto* master = Band<TpgwMasterData>(page, u"MasterData1", 100, 20);
  master->SetDataSet(&ds);
  Memo(master, u"MemoName", u"[ds.\"name\"]");
  Memo(Band<TpgwGroupFooter>(page, u"GroupFooter2", 150, 20), u"MemoInnerSum", u"[SUM(<ds.\"qty\">)]");
  Memo(Band<TpgwGroupFooter>(page, u"GroupFooter1", 180, 20), u"MemoOuterSum", u"[SUM(<ds.\"qty\">)]");
  Memo(Band<TpgwPageFooter>(page, u"PageFooter1", 300, 20), u"MemoLines", u"[SUM(<Line>,MasterData1)]");
  Memo(Band<TpgwReportSummary>(page, u"ReportSummary1", 250, 20), u"MemoCount", u"[COUNT(MasterData1)]");
  for (auto _ : state) {
    if (!report.PrepareReport(true)) state.SkipWithError("preparation failed");
    benchmark::DoNotOptimize(PreparedPagesOf(report)->GetCount());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_PrepareGroupedRows)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
