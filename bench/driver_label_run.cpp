// The whole label run: table, template load, preparation, PDF and JPEG export.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "driver/label_run.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

void BM_LabelRun(benchmark::State& state) {
  std::string tmpl = (fs::temp_directory_path() / "pw-bench-label-XXXXXX").string();
  const fs::path dir = mkdtemp(tmpl.data());
  LabelRunPaths paths;
  paths.templatePath = std::string(PW_TEST_DATA_DIR) + "/../../examples/label/reportes/EtiquetaVelmo.pw3";
  paths.pdfPath = (dir / "label.pdf").string();
  paths.jpegPath = (dir / "label.jpg").string();
  for (auto _ : state) {
    std::ostringstream out;
    if (RunLabelProgram(out, paths) != 0) {
      state.SkipWithError(out.str().c_str());
      break;
    }
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_LabelRun)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
