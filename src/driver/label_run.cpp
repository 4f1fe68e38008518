#include "driver/label_run.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>
#include <vector>

#include "data/db_dataset.h"
#include "startup/startup.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/safe_output.h"
#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "report/report.h"

namespace pagewright {

namespace {

constexpr LabelField kLabelFields[] = {
    {u"proveedor_nombre", ftString, 100, u"MIRANTO PASTELERIAS S.L.", 0},
    {u"proveedor_operador", ftString, 100, u"", 0},
    {u"proveedor_dir", ftString, 150, u"Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia)", 0},
    {u"lugar_entrega_linea1", ftString, 100, u"ALMERUX, S.A.", 0},
    {u"lugar_entrega_linea2", ftString, 100, u"ALMAC\u00C9N CENTRAL", 0},
    {u"lugar_entrega_linea3", ftString, 150, u"Carretera General, Km. 22.300. (CIUDAD)", 0},
    {u"destino_linea1", ftString, 100, u"ALMERUX, S.A.", 0},
    {u"destino_linea2", ftString, 100, u"C.C. LIRENA", 0},
    {u"destino_linea3", ftString, 150, u"C/ Lirena, 75 (CIUDAD)", 0},
    {u"sucursal_codigo", ftString, 10, u"0003", 0},
    {u"barcode_ia91", ftString, 30, u"(91)010003", 0},
    {u"dpto_pventa", ftString, 20, u"030 - 00", 0},
    {u"pedido_num", ftString, 20, u"91026401", 0},
    {u"albaran_num", ftString, 20, u"2640102", 0},
    {u"barcode_ia98", ftString, 50, u"(98)03000910264012640102", 0},
    {u"bulto_texto", ftString, 30, u"54 / 58", 0},
    {u"bulto_num", ftInteger, 0, nullptr, 54},
    {u"total_bultos", ftInteger, 0, nullptr, 58},
    {u"sscc", ftString, 30, u"384123450000000073", 0},
    {u"barcode_ia00", ftString, 50, u"(00)384123450000000073", 0},
};

void WriteLine(std::ostream& out, const std::string& line) {
  out << line << '\n' << std::flush;
  if (!out) throw EInOutError("Cannot write to the console");
}

// The report's collected errors as one line.
std::string ErrorsOnOneLine(TpgwReport& report) {
  std::string text;
  for (int i = 0; i < report.Errors().Count(); ++i) {
    std::string line = Utf16ToUtf8(report.Errors()[i]);
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

// The report's collected errors, each line after the template's name.
std::string LoadErrors(TpgwReport& report, const std::string& templatePath) {
  std::string text;
  for (int i = 0; i < report.Errors().Count(); ++i) {
    std::string line = Utf16ToUtf8(report.Errors()[i]);
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    if (!text.empty()) text += "; ";
    text += templatePath + ": " + line;
  }
  return text;
}

// The PDF filter, counting the pages it was given.
class CountingPDFExport final : public TpgwPDFExport {
 public:
  using TpgwPDFExport::TpgwPDFExport;
  void StartPage(TpgwReportPage& page, int index) override {
    ++FPages;
    TpgwPDFExport::StartPage(page, index);
  }
  int Pages() const { return FPages; }

 private:
  int FPages = 0;
};

// An output of the run: the filters write under a name of their own in the target folder (a
// filter may add to it, as the one-file-per-page raster export does), and only a run that
// succeeds gives the files their final names. Whatever the filter wrote is removed otherwise,
// so a failed run leaves no half-written file under a name that looks finished.
class StagedOutput {
 public:
  // The filter writes into a private folder beside the final file; an interrupted run leaves
  // nothing there, and the rename on success stays within one file system.
  explicit StagedOutput(const std::string& finalPath) : FFinalPath(finalPath), FFolder(FolderOf(finalPath)) {}
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Makes the private folder, when the export is about to start, and gives the name for the
  // filter. A folder that cannot be made fails as the output file would.
  std::string Stage() {
    if (!FScratch) {
      try {
        FScratch = std::make_unique<TScratchFolder>(FFolder.string());
      } catch (const Exception& e) {
        const std::string message = e.Message();
        const size_t reason = message.find("\". ");
        throw ELabelRunError("Cannot create file \"" + FFinalPath + "\"." +
                             (reason == std::string::npos ? std::string() : message.substr(reason + 2)));
      }
    }
    return (std::filesystem::path(FScratch->Path()) / std::filesystem::path(FFinalPath).filename()).string();
  }
  // A message about the staged files, naming the final ones instead.
  std::string WithFinalNames(std::string message) const {
    if (!FScratch) return message;
    const std::string finalStem = std::filesystem::path(FFinalPath).stem().string();
    const std::string staged = (std::filesystem::path(FScratch->Path()) / finalStem).string();
    const std::string final = (FFolder / finalStem).string();
    for (size_t at = message.find(staged); at != std::string::npos; at = message.find(staged, at + final.size()))
      message.replace(at, staged.size(), final);
    return message;
  }
  // The files the filter wrote.
  std::vector<std::filesystem::path> Written() const {
    std::vector<std::filesystem::path> files;
    if (!FScratch) return files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(FScratch->Path(), ec), end; !ec && it != end; it.increment(ec))
      files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
  }
  // Gives each written file its final name.
  void Commit() {
    for (const std::filesystem::path& staged : Written()) {
      std::error_code ec;
      std::filesystem::rename(staged, FFolder / staged.filename(), ec);
      if (ec)
        throw ELabelRunError("Cannot rename " + WithFinalNames(staged.string()) + " to its final name: " +
                             ec.message());
    }
  }

 private:
  static std::filesystem::path FolderOf(const std::string& finalPath) {
    const std::filesystem::path folder = std::filesystem::path(finalPath).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
  }

  std::string FFinalPath;
  std::filesystem::path FFolder;
  std::unique_ptr<TScratchFolder> FScratch;  // removed with whatever was not committed
};

// Every export starts from a report without errors (a failed preparation stops the run), so
// any error line after it is the export's, also when the filter caught the failure itself.
void ExportOrFail(TpgwReport& report, TpgwCustomExportFilter& filter, const std::string& path,
                  const StagedOutput& output) {
  const bool ok = report.Export(filter);
  if (ok && report.Errors().Count() == 0) return;
  const std::string errors = output.WithFinalNames(ErrorsOnOneLine(report));
  throw ELabelRunError(errors.empty() ? "Export to " + path + " failed" : errors);
}

}  // namespace

std::span<const LabelField> LabelFields() {
  return kLabelFields;
}

void FillLabelTable(TMemTable& table) {
  for (const LabelField& f : kLabelFields) table.FieldDefs().Add(f.name, f.type, f.size, false);
  table.CreateDataSet();
  table.Append();
  for (const LabelField& f : kLabelFields) {
    TField& field = table.FieldByName(f.name);
    if (f.type == ftInteger)
      field.SetAsInteger(f.number);
    else
      field.SetAsString(f.text);
  }
  table.Post();
}

void RunLabelSample(std::ostream& out, const LabelRunPaths& paths, const LabelRunHooks& hooks) {
  WriteLine(out, "Testing Pagewright template: " + paths.templatePath);

  // Created in this order and released in the same order, also after a failure.
  struct Objects {
    std::unique_ptr<TMemTable> table;
    std::unique_ptr<TpgwDBDataset> adapter;
    std::unique_ptr<TpgwReport> report;
    std::unique_ptr<CountingPDFExport> pdf;
    std::unique_ptr<TpgwJPEGExport> jpeg;
    ~Objects() {
      table.reset();
      adapter.reset();
      report.reset();
      pdf.reset();
      jpeg.reset();
    }
  } o;
  o.table = std::make_unique<TMemTable>(nullptr);
  o.adapter = std::make_unique<TpgwDBDataset>(nullptr);
  o.report = hooks.services ? std::make_unique<TpgwReport>(*hooks.services) : CreateReport();
  o.pdf = std::make_unique<CountingPDFExport>(nullptr);
  o.jpeg = std::make_unique<TpgwJPEGExport>(nullptr);
  TpgwReport& report = *o.report;

  FillLabelTable(*o.table);

  o.adapter->SetDataSet(o.table.get());
  o.adapter->SetUserName(u"pgwDBmaster");
  o.adapter->SetName(u"pgwDBmaster");

  report.EngineOptions().SetSilentMode(true);
  report.EngineOptions().SetEnableThreadSafe(true);
  report.Clear();

  if (!report.LoadFromFile(Utf8ToUtf16(paths.templatePath), false))
    throw ELabelRunError("Template not found: " + paths.templatePath);
  // Read now: preparing the report starts a new error list.
  if (report.Errors().Count() > 0) throw ELabelRunError(LoadErrors(report, paths.templatePath));

  // The adapter replaces whatever data sets the template declared.
  report.DataSets().Clear();
  report.DataSets().Add(o.adapter.get());
  report.EnabledDataSets().Clear();
  report.EnabledDataSets().Add(o.adapter.get());
  if (auto* band = dynamic_cast<TpgwMasterData*>(report.FindObject(u"MasterData1")))
    band->SetDataSet(o.adapter.get());

  if (!report.PrepareReport(true)) {
    const std::string errors = ErrorsOnOneLine(report);
    throw ELabelRunError(errors.empty() ? std::string("Report preparation failed") : errors);
  }
  int pages = 0;
  if (hooks.preparedPageCount) {
    pages = hooks.preparedPageCount(report);
  } else {
    TpgwCustomPreviewPages* store = report.PreviewPages();
    if (!store) throw ELabelRunError("The prepared page store is not available");
    pages = store->GetCount();
  }
  if (pages <= 0) throw ELabelRunError("The report produced no pages");
  WriteLine(out, "Report prepared successfully. Pages: " + std::to_string(pages));

  // Declared after the objects, so that a failure removes the files before the filters go.
  StagedOutput pdfOutput(paths.pdfPath), jpegOutput(paths.jpegPath);

  o.pdf->SetShowDialog(false);
  o.pdf->SetShowProgress(false);
  o.pdf->SetOpenAfterExport(false);
  o.pdf->SetFileName(Utf8ToUtf16(pdfOutput.Stage()));
  ExportOrFail(report, *o.pdf, paths.pdfPath, pdfOutput);
  const int pdfPages = hooks.exportedPdfPageCount ? hooks.exportedPdfPageCount(*o.pdf) : o.pdf->Pages();
  if (pdfPages <= 0) throw ELabelRunError("The PDF export wrote no pages to " + paths.pdfPath);
  if (pdfOutput.Written().empty()) throw ELabelRunError("The PDF export wrote no file " + paths.pdfPath);
  WriteLine(out, "Exported PDF: " + paths.pdfPath);

  // OpenAfterExport and SeparateFiles keep the filter's defaults (false, one file per page).
  o.jpeg->SetShowDialog(false);
  o.jpeg->SetShowProgress(false);
  o.jpeg->SetFileName(Utf8ToUtf16(jpegOutput.Stage()));
  ExportOrFail(report, *o.jpeg, paths.jpegPath, jpegOutput);
  if (jpegOutput.Written().empty())
    throw ELabelRunError("The JPEG export wrote no file for " + paths.jpegPath);

  // Both exports done: only now do the files get the names a reader looks for.
  pdfOutput.Commit();
  jpegOutput.Commit();
  WriteLine(out, "Exported JPEG: " + paths.jpegPath);
}

int RunLabelProgram(std::ostream& out, const LabelRunPaths& paths, const LabelRunHooks& hooks) {
  try {
    InitializeEngine();
    RunLabelSample(out, paths, hooks);
    WriteLine(out, "ALL TESTS COMPLETED SUCCESSFULLY.");
    return 0;
  } catch (const Exception& e) {
    out << "ERROR: " << e.ClassName() << ": " << e.Message() << '\n' << std::flush;
    return 1;
  }
}

}  // namespace pagewright
