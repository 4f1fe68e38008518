// Report expression evaluation: a bare field name (no compiling), a cached compiled
// expression, and a report variable holding an expression.
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

#include "data/data_set.h"
#include "data/db_dataset.h"
#include "expressions/report_expressions.h"
#include "platform/mem_table.h"
#include "report/bands.h"
#include "report/pages.h"
#include "report/shape_views.h"
#include "report/view.h"
#include "script/grammar.h"
#include "script/interpreter.h"
#include "script/sys_functions.h"
#include "support/resources.h"

namespace pagewright {
namespace {

void StartUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    ResourceStore();
    RegisterPlatformClasses();
    ProvideViewClasses();
    ProvideShapeClasses();
    ProvideBandClasses();
    ProvidePageClasses();
    RegisterReportClasses();
    RegisterDataClasses();
    InitScriptLanguages();
    InitScriptInterpreter();
    RegisterSysFunctions();
    RegisterReportExpressions();
  });
}

struct Fixture {
  TMemTable table;
  TpgwDBDataset ds{nullptr};
  TpgwReport report{TpgwReportServices{&ReportDataService(), &ReportScriptService()}};
  Fixture() {
    StartUp();
    table.FieldDefs().Add(u"name", ftString, 20);
    table.FieldDefs().Add(u"qty", ftInteger);
    table.CreateDataSet();
    table.Append();
    table.FieldByName(u"name").SetAsString(u"ALMACEN");
    table.FieldByName(u"qty").SetAsInteger(7);
    table.Post();
    ds.SetName(u"pgwDBmaster");
    ds.SetDataSet(&table);
    report.DataSets().Add(&ds);
    report.Variables().SetVariable(u"Total", Variant(WideString(u"<pgwDBmaster.\"qty\"> * 2")));
    PrepareReportScript(report);
  }
};

void Run(benchmark::State& state, const WideString& expr) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.report.Calc(expr));
}

void BM_BareField(benchmark::State& state) {
  Run(state, u"pgwDBmaster.\"name\"");
}
void BM_CachedExpression(benchmark::State& state) {
  Run(state, u"<pgwDBmaster.\"qty\"> * 3 + Length('abc')");
}
void BM_VariableExpression(benchmark::State& state) {
  Run(state, u"Total");
}
void BM_SystemVariable(benchmark::State& state) {
  Run(state, u"Page#");
}

// A new report's first expression: the report script with its modules, and its preparation.
void BM_FirstCalcOfANewReport(benchmark::State& state) {
  StartUp();
  for (auto _ : state) {
    TpgwReport report(TpgwReportServices{&ReportDataService(), &ReportScriptService()});
    benchmark::DoNotOptimize(report.Calc(u"1 + 1"));
  }
}

BENCHMARK(BM_BareField);
BENCHMARK(BM_CachedExpression);
BENCHMARK(BM_VariableExpression);
BENCHMARK(BM_SystemVariable);
BENCHMARK(BM_FirstCalcOfANewReport);

}  // namespace
}  // namespace pagewright
