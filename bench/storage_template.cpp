// Template loading with every engine class registered: the sample label, and a generated
// template of 10,000 text objects spread over bands, reported as objects per second.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "startup/startup.h"
#include "platform/properties.h"
#include "platform/streams.h"
#include "report/report.h"

namespace pagewright {
namespace {

const char kLabel[] = PW_TEST_DATA_DIR "/../../examples/label/reportes/EtiquetaVelmo.pw3";

// Text objects when their class is registered; shape views stand in otherwise, so the figure
// still measures creating and filling registered objects.
const char* TextClass() {
  return ClassRegistry().Find("TpgwMemoView") ? "TpgwMemoView" : "TpgwShapeView";
}

std::string MakeTemplate(int objects) {
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n<TpgwReport>\r\n";
  s += "  <TpgwDataPage Name=\"Data\" Height=\"1000\" Left=\"0\" Top=\"0\" Width=\"1000\"/>\r\n";
  s += "  <TpgwReportPage Name=\"Page1\" PaperWidth=\"210\" PaperHeight=\"297\" PaperSize=\"9\">\r\n";
  const int perBand = 100;
  const std::string cls = TextClass();
  for (int i = 0; i < objects; ++i) {
    if (i % perBand == 0) {
      if (i > 0) s += "    </TpgwMasterData>\r\n";
      s += "    <TpgwMasterData Name=\"MasterData" + std::to_string(i / perBand + 1) +
           "\" Height=\"1900\" Left=\"0\" Top=\"0\" Width=\"718.1107\" RowCount=\"1\">\r\n";
    }
    s += "      <" + cls + " Name=\"Obj" + std::to_string(i + 1) + "\" AllowVectorExport=\"True\" Left=\"" +
         std::to_string(i % 7 * 100) + ".5\" Top=\"" + std::to_string(i % perBand * 18) +
         "\" Width=\"98.26778\" Height=\"18.89765\" Frame.Typ=\"15\" Font.Charset=\"1\" Font.Color=\"0\" "
         "Font.Height=\"-13\" Font.Name=\"Arial\" Font.Style=\"1\" ParentFont=\"False\"";
    if (cls == "TpgwMemoView") s += " Text=\"[Orders.&#34;Name&#34;] l&#237;nea " + std::to_string(i) + "\"";
    s += "/>\r\n";
  }
  s += "    </TpgwMasterData>\r\n  </TpgwReportPage>\r\n</TpgwReport>\r\n";
  return s;
}

void Load(const std::string& bytes) {
  TpgwReport report;
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  TStringStream in(bytes);
  report.LoadFromStream(in);
  benchmark::DoNotOptimize(report.Objects().Count());
}

void BM_LoadLabelTemplate(benchmark::State& state) {
  InitializeEngine();
  std::ifstream f(kLabel, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  for (auto _ : state) Load(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_LoadLabelTemplate)->Unit(benchmark::kMicrosecond);

void BM_LoadGeneratedTemplate(benchmark::State& state) {
  InitializeEngine();
  const int objects = static_cast<int>(state.range(0));
  const std::string bytes = MakeTemplate(objects);
  state.SetLabel(TextClass());
  for (auto _ : state) Load(bytes);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * objects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_LoadGeneratedTemplate)->Arg(10000)->Unit(benchmark::kMillisecond);

// Loading into a report that already holds the tree: the old tree is cleared first.
void BM_ReloadGeneratedTemplate(benchmark::State& state) {
  InitializeEngine();
  const int objects = static_cast<int>(state.range(0));
  const std::string bytes = MakeTemplate(objects);
  TpgwReport report;
  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  for (auto _ : state) {
    TStringStream in(bytes);
    report.LoadFromStream(in);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * objects);
}
BENCHMARK(BM_ReloadGeneratedTemplate)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SaveGeneratedTemplate(benchmark::State& state) {
  InitializeEngine();
  const int objects = static_cast<int>(state.range(0));
  TpgwReport report;
  report.EngineOptions().SetSilentMode(true);
  TStringStream in(MakeTemplate(objects));
  report.LoadFromStream(in);
  for (auto _ : state) {
    TStringStream out;
    report.SaveToStream(out);
    benchmark::DoNotOptimize(out.DataString().size());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * objects);
}
BENCHMARK(BM_SaveGeneratedTemplate)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
