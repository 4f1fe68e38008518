// The band engine preparing a report of N rows: one data band with a text object over a table,
// a page header and footer, and a footer total.
#include <benchmark/benchmark.h>

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
  auto* m = new TpgwMemoView(band);
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
  auto* page = new TpgwReportPage(&report);
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

}  // namespace
}  // namespace pagewright
