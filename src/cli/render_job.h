// One run of `pagewright render` as a reusable job: its options, the template loaded into a
// report, data sources bound to its data sets, the report prepared and its outputs written.
// `render` and `print` run it whole; `serve` calls its steps one by one.
#pragma once

#include <chrono>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/db_dataset.h"
#include "data/sources/source_table.h"
#include "export/export_filter.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "export/zpl_export.h"
#include "cli/command.h"
#include "platform/safe_output.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright::cli {

// ---- options ---------------------------------------------------------------------------------

struct SourceSettings {
  TpgwSourceOptions options;
  std::vector<std::pair<std::string, TpgwColumnType>> columns;
};

struct DataBinding {
  std::string name;  // empty: the template's only data set
  std::string source;
  SourceSettings settings;
};

enum OutputKind { okPDF, okJPEG, okPNG, okPrepared, okZPL };

struct OutputRequest {
  OutputKind kind;
  std::string path;
};

// The source options --csv-delimiter VALUE and --column NAME=TYPE, as render and serve read them;
// raises UsageError for a value they do not take.
void ApplyCsvDelimiter(const std::string& value, SourceSettings& settings);
void ApplyColumnType(const std::string& value, SourceSettings& settings);

struct UsageError {
  std::string message;
};

struct RenderOptions {
  std::string templatePath;
  std::vector<DataBinding> bindings;
  std::vector<OutputRequest> outputs;
  std::vector<std::pair<std::string, std::string>> params;
  std::string split;
  std::string pages;
  bool quiet = false;
  bool keepGoing = false;
  bool scripts = false;
  std::vector<std::string> allowedFolders;
  // PDF filter options.
  bool pdfOutline = false;
  bool pdfCompress = true;
  bool pdfAes256 = false;
  std::string pdfUserPassword, pdfOwnerPassword;
  std::optional<TpgwPDFEncBits> pdfPermissions;
  // Raster filter options (0: the filter's default).
  int jpegQuality = 0;
  int dpi = 0;
  bool monochrome = false;
  bool wholePixelModules = false;
  // The command the messages name.
  std::string command = "render";
  // Data sets without a --data keep what the template declares (its own empty case) instead of
  // being refused; for serve, where one set of --data serves many templates.
  bool unboundAsDeclared = false;
};
const char* KindOption(OutputKind k);
bool IsIdentifier(std::string_view s);
std::string Lower(std::string s);
std::string JoinNames(const std::vector<std::string>& names);

// ---- progress --------------------------------------------------------------------------------

class Progress {
 public:
  Progress(std::ostream& err, bool quiet) : FErr(err), FEnabled(!quiet && isatty(STDERR_FILENO)) {}
  ~Progress() { Clear(); }
  void Show(const std::string& text) {
    if (!FEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - FStart < std::chrono::seconds(1) || now - FLast < std::chrono::milliseconds(100)) return;
    FLast = now;
    FErr << "\rpagewright render: " << text << "\033[K" << std::flush;
    FShown = true;
  }
  void Clear() {
    if (!FShown) return;
    FErr << "\r\033[K" << std::flush;
    FShown = false;
  }

 private:
  std::ostream& FErr;
  bool FEnabled;
  bool FShown = false;
  std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point FLast{};
};

// ---- outputs ---------------------------------------------------------------------------------

// A failure of the run, already phrased with its place.
struct RunError {
  std::string message;
};

// Every output of the run, kept under temporary names until the run has succeeded.
class PendingOutputs {
 public:
  TSafeOutputStream& Create(const std::string& path) {
    try {
      FFiles.push_back(std::make_unique<TSafeOutputStream>(path));
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
    return *FFiles.back();
  }
  // A write error noticed when a stream was closed.
  void NoteError(const std::string& message) {
    if (FError.empty()) FError = message;
  }
  void CheckErrors() {
    if (!FError.empty()) throw RunError{FError};
  }
  void CommitAll() {
    CheckErrors();
    try {
      // Thousands of page files: one flush to the disk for them all, not one each.
      std::vector<std::string> names;
      for (auto& f : FFiles) {
        f->FinishWriting(false);
        names.push_back(f->FileName());
      }
      SyncFileSystemsOf(names);
      for (auto& f : FFiles) f->Commit(false);
      SyncFoldersOf(names);
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
  }
  size_t Count() const { return FFiles.size(); }

 private:
  std::vector<std::unique_ptr<TSafeOutputStream>> FFiles;  // destroyed uncommitted: removed
  std::string FError;
};

// What the export writes to one file of the transport: the pending file, closed when the
// transport lets go of it so that thousands of pages never hold thousands of descriptors.
class PendingFileStream : public TStream {
 public:
  PendingFileStream(TSafeOutputStream& file, PendingOutputs& outputs) : FFile(file), FOutputs(outputs) {}
  ~PendingFileStream() override {
    try {
      FFile.FinishWriting(false);  // flushed with the others when the job commits
    } catch (const Exception& e) {
      FOutputs.NoteError(e.Message());
    }
  }
  int64_t Read(void* b, int64_t n) override { return FFile.Read(b, n); }
  int64_t Write(const void* b, int64_t n) override { return FFile.Write(b, n); }
  int64_t Seek(int64_t o, TSeekOrigin s) override { return FFile.Seek(o, s); }
  int64_t Size() override { return FFile.Size(); }
  void SetSize(int64_t n) override { FFile.SetSize(n); }

 private:
  TSafeOutputStream& FFile;
  PendingOutputs& FOutputs;
};

// The raster export's per-page files go to pending files instead of final names.
class PendingFileTransport : public TpgwCustomIOTransport {
 public:
  explicit PendingFileTransport(PendingOutputs& outputs)
      : TpgwCustomIOTransport(nullptr), FOutputs(outputs) {}
  std::unique_ptr<TStream> DoCreateStream(const WideString& fullFilePath, const WideString&) override {
    return std::make_unique<PendingFileStream>(FOutputs.Create(Utf16ToUtf8(fullFilePath)), FOutputs);
  }

 private:
  PendingOutputs& FOutputs;
};

// The report's collected errors, one a line, each after the template's name.
bool PrintReportErrors(TpgwReport& report, const std::string& templatePath, std::ostream& err,
                       const char* prefix = "");

// ---- the run ---------------------------------------------------------------------------------

// One data set bound to a source: the source, the table it fills and the adapter the report
// reads. Released table last: the adapter and report point at it.
struct BoundData {
  std::string name;  // as the template calls it
  std::unique_ptr<TpgwSourceTable> source;
  std::unique_ptr<TMemTable> table;
  std::unique_ptr<TpgwDBDataset> adapter;
};

// The report the command renders into, wired as every program's; the one place that sets it up.
std::unique_ptr<TpgwReport> CreateRenderReport();

class RenderRun {
 public:
  RenderRun(const RenderOptions& options, std::ostream& out, std::ostream& err)
      : FOptions(options), FOut(out), FErr(err), FProgress(err, options.quiet) {}
  ~RenderRun() {
    // Filters and report go before the adapters and tables they point at.
    FPDF.reset();
    FJPEG.reset();
    FPNG.reset();
    FZPL.reset();
    FReport.reset();
    for (BoundData& b : FData) b.adapter.reset();
  }

  int Run();

  // The steps of Run, for a program that keeps the prepared report (serve): each raises
  // RunError or UsageError with the place, after printing the report's errors to `err`.
  void LoadTemplate();
  std::vector<std::string> DataSetNamesOfBands();
  void BindData();
  void SetParams();
  void LoadData();
  void Prepare(const std::string& what);
  // PATH "-" writes to a buffer that TakeStandardOutput hands over.
  void WriteOne(OutputKind kind, const std::string& path, const std::string& pageRange);
  std::string TakeStandardOutput();
  TpgwReport& Report() { return *FReport; }

 private:
  void WriteOutputs();
  void RunSplit();
  std::string SplitName(BoundData& master);
  TpgwCustomExportFilter& Filter(OutputKind kind);

  const RenderOptions& FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  Progress FProgress;
  std::vector<BoundData> FData;
  std::unique_ptr<TpgwReport> FReport;
  std::unique_ptr<TpgwPDFExport> FPDF;
  std::unique_ptr<TpgwJPEGExport> FJPEG;
  std::unique_ptr<TpgwPNGPageExport> FPNG;
  std::unique_ptr<TpgwZPLExport> FZPL;
  PendingOutputs FPending;
  TMemoryStream FStdout;
  bool FHasStdout = false;
  std::set<std::string> FSplitNames;
  // Where the prepared-page store puts its page cache; gone after the run, also after Ctrl-C.
  TScratchFolder FScratch;
};

}  // namespace pagewright::cli
