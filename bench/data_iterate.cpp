// A band's walk over a data set: First/Next/Eof over a million records, three field reads per
// record through the adapter.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "data/db_dataset.h"

namespace pagewright {
namespace {

constexpr int kRecords = 1000000;

TMemTable& Table() {
  static std::unique_ptr<TMemTable> table = [] {
    auto t = std::make_unique<TMemTable>();
    t->FieldDefs().Add(u"id", ftInteger);
    t->FieldDefs().Add(u"name", ftString, 30);
    t->FieldDefs().Add(u"amount", ftFloat);
    t->CreateDataSet();
    for (int i = 0; i < kRecords; ++i) {
      t->Append();
      t->FieldByName(u"id").SetAsInteger(i);
      t->FieldByName(u"name").SetAsString(u"ALMAC\u00C9N CENTRAL");
      t->FieldByName(u"amount").SetAsFloat(i * 0.25);
      t->Post();
    }
    return t;
  }();
  return *table;
}

void BM_IterateThreeFields(benchmark::State& state) {
  TMemTable& table = Table();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(&table);
  ds.SetUserName(u"pgwDBmaster");
  const WideString id = u"id", name = u"Name", amount = u"amount";
  int64_t reads = 0;
  for (auto _ : state) {
    ds.Initialize();
    ds.First();
    while (!ds.Eof()) {
      benchmark::DoNotOptimize(ds.GetValue(id));
      benchmark::DoNotOptimize(ds.GetValue(name));
      benchmark::DoNotOptimize(ds.GetValue(amount));
      reads += 3;
      ds.Next();
    }
    ds.Finalize();
  }
  state.counters["field_reads_per_s"] =
      benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kIsRate);
  state.SetItemsProcessed(reads);
}
BENCHMARK(BM_IterateThreeFields)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
