// Records per second from a data source into the sample label: reading alone, and reading,
// preparing and exporting to PDF or to JPEG, for CSV, JSON Lines and SQLite sources of the
// label's 20 fields.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "data/db_dataset.h"
#include "data/sources/source_table.h"
#include "startup/startup.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/unicode.h"
#include "report/bands.h"
#include "report/report.h"
#include "report/view.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 200;

enum Kind { kCsv, kJsonLines, kSqlite };
enum Output { kReadOnly, kPdf, kJpeg };

struct Files {
  fs::path dir;
  std::string csv, jsonl, db;
  Files() {
    std::string tmpl = (fs::temp_directory_path() / "pw-bench-data-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    csv = (dir / "parcels.csv").string();
    jsonl = (dir / "parcels.jsonl").string();
    db = (dir / "parcels.db").string();
    std::ofstream c(csv), j(jsonl);
    c << "proveedor_nombre,proveedor_operador,proveedor_dir,lugar_entrega_linea1,lugar_entrega_linea2,"
         "lugar_entrega_linea3,destino_linea1,destino_linea2,destino_linea3,sucursal_codigo,barcode_ia91,"
         "dpto_pventa,pedido_num,albaran_num,barcode_ia98,bulto_texto,bulto_num,total_bultos,sscc,barcode_ia00\n";
    for (int i = 1; i <= kRecords; ++i) {
      char sscc[32];
      std::snprintf(sscc, sizeof sscc, "3841234500%07d%d", i, i % 10);
      const std::string bulto = std::to_string(i % 58 + 1);
      c << "MIRANTO PASTELERIAS S.L.,,\"Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia)\",\"ALMERUX, S.A.\","
           "ALMAC\xC3\x89N CENTRAL,\"Carretera General, Km. 22.300. (CIUDAD)\",\"ALMERUX, S.A.\",C.C. LIRENA,"
           "\"C/ Lirena, 75 (CIUDAD)\",0003,(91)010003,030 - 00,91026401,2640102,(98)03000910264012640102,"
        << bulto << " / 58," << bulto << ",58," << sscc << ",(00)" << sscc << "\n";
      j << "{\"proveedor_nombre\":\"MIRANTO PASTELERIAS S.L.\",\"proveedor_operador\":\"\","
           "\"proveedor_dir\":\"Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia)\","
           "\"lugar_entrega_linea1\":\"ALMERUX, S.A.\",\"lugar_entrega_linea2\":\"ALMAC\xC3\x89N CENTRAL\","
           "\"lugar_entrega_linea3\":\"Carretera General, Km. 22.300. (CIUDAD)\",\"destino_linea1\":\"ALMERUX, S.A.\","
           "\"destino_linea2\":\"C.C. LIRENA\",\"destino_linea3\":\"C/ Lirena, 75 (CIUDAD)\","
           "\"sucursal_codigo\":\"0003\",\"barcode_ia91\":\"(91)010003\",\"dpto_pventa\":\"030 - 00\","
           "\"pedido_num\":\"91026401\",\"albaran_num\":\"2640102\",\"barcode_ia98\":\"(98)03000910264012640102\","
           "\"bulto_texto\":\""
        << bulto << " / 58\",\"bulto_num\":" << bulto << ",\"total_bultos\":58,\"sscc\":\"" << sscc
        << "\",\"barcode_ia00\":\"(00)" << sscc << "\"}\n";
    }
    c.close();
    // The database through the sqlite3 program: the table typed as the label's fields are.
    const std::string cmd =
        "sqlite3 '" + db +
        "' 'CREATE TABLE parcels (proveedor_nombre TEXT, proveedor_operador TEXT, proveedor_dir TEXT, "
        "lugar_entrega_linea1 TEXT, lugar_entrega_linea2 TEXT, lugar_entrega_linea3 TEXT, destino_linea1 TEXT, "
        "destino_linea2 TEXT, destino_linea3 TEXT, sucursal_codigo TEXT, barcode_ia91 TEXT, dpto_pventa TEXT, "
        "pedido_num TEXT, albaran_num TEXT, barcode_ia98 TEXT, bulto_texto TEXT, bulto_num INTEGER, "
        "total_bultos INTEGER, sscc TEXT, barcode_ia00 TEXT)' '.import --csv --skip 1 " +
        csv + " parcels' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) db.clear();
  }
  ~Files() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

std::unique_ptr<IpgwRecordReader> Open(Kind kind) {
  Files& f = TheFiles();
  if (kind == kCsv) return OpenCsvReader(f.csv, ',');
  if (kind == kJsonLines) return OpenJsonReader(f.jsonl);
  return OpenSqliteReader(f.db, "parcels");
}

void BM_DataIntoLabel(benchmark::State& state) {
  const auto kind = static_cast<Kind>(state.range(0));
  const auto output = static_cast<Output>(state.range(1));
  if (kind == kSqlite && TheFiles().db.empty()) {
    state.SkipWithError("the sqlite3 program is needed to make the database");
    return;
  }
  InitializeEngine();
  const std::string templatePath = std::string(PW_TEST_DATA_DIR) + "/../../examples/label/reportes/EtiquetaVelmo.pw3";
  const fs::path out = TheFiles().dir / "out";
  fs::create_directories(out);
  for (auto _ : state) {
    TpgwSourceTable source(Open(kind));
    source.Scan();
    auto table = std::make_unique<TMemTable>(nullptr);
    source.DefineFields(*table);
    source.AppendAll(*table);
    if (output == kReadOnly) continue;
    auto adapter = std::make_unique<TpgwDBDataset>(nullptr);
    adapter->SetDataSet(table.get());
    adapter->SetUserName(u"pgwDBmaster");
    adapter->SetName(u"pgwDBmaster");
    auto report = CreateReport();
    report->EngineOptions().SetSilentMode(true);
    report->EngineOptions().SetEnableThreadSafe(true);
    report->LoadFromFile(Utf8ToUtf16(templatePath), true);
    report->DataSets().Clear();
    report->DataSets().Add(adapter.get());
    report->EnabledDataSets().Clear();
    report->EnabledDataSets().Add(adapter.get());
    for (TpgwComponent* c : report->AllObjects()) {
      if (auto* view = dynamic_cast<TpgwView*>(c); view && view->DataSetName() == u"pgwDBmaster")
        view->SetDataSet(adapter.get());
      if (auto* band = dynamic_cast<TpgwDataBand*>(c); band && band->DataSetName() == u"pgwDBmaster") {
        band->SetDataSet(adapter.get());
        band->SetRowCount(0);
      }
    }
    if (!report->PrepareReport(true)) {
      state.SkipWithError("preparing failed");
      break;
    }
    std::unique_ptr<TpgwCustomExportFilter> filter;
    if (output == kPdf) {
      filter = std::make_unique<TpgwPDFExport>(nullptr);
      filter->SetFileName(Utf8ToUtf16((out / "labels.pdf").string()));
    } else {
      filter = std::make_unique<TpgwJPEGExport>(nullptr);
      filter->SetFileName(Utf8ToUtf16((out / "labels.jpg").string()));
    }
    filter->SetShowDialog(false);
    filter->SetShowProgress(false);
    if (!report->Export(*filter) || report->Errors().Count() > 0) {
      state.SkipWithError("export failed");
      break;
    }
    filter.reset();
    report.reset();
    adapter.reset();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_DataIntoLabel)
    ->ArgNames({"source", "output"})
    ->ArgsProduct({{kCsv, kJsonLines, kSqlite}, {kReadOnly, kPdf, kJpeg}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pagewright
