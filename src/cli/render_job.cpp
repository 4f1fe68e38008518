#include "cli/render_job.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>

#include "cli/template_loading.h"
#include "startup/startup.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "report/view.h"

namespace pagewright::cli {

const char* KindOption(OutputKind k) {
  switch (k) {
    case okPDF:
      return "--pdf";
    case okJPEG:
      return "--jpeg";
    case okPNG:
      return "--png";
    case okPrepared:
      return "--prepared";
    case okZPL:
      return "--zpl";
  }
  return "";
}

bool IsIdentifier(std::string_view s) {
  if (s.empty()) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  });
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The report's collected errors, one a line, each after the template's name.
bool PrintReportErrors(TpgwReport& report, const std::string& templatePath, std::ostream& err,
                       const char* prefix) {
  for (int i = 0; i < report.Errors().Count(); ++i) {
    std::string line = Utf16ToUtf8(report.Errors()[i]);
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    err << templatePath << ": " << prefix << line << "\n";
  }
  return report.Errors().Count() > 0;
}

// The report the command renders into, wired as every program's; the one place that sets it up.
std::unique_ptr<TpgwReport> CreateRenderReport() {
  auto report = CreateReport();
  report->EngineOptions().SetSilentMode(true);
  report->EngineOptions().SetEnableThreadSafe(true);
  report->Clear();
  // Prepared pages beyond a few megabytes move to a temporary file, so a long document does
  // not hold every page in memory.
  report->EngineOptions().SetUseFileCache(true);
  report->EngineOptions().SetMaxMemSize(8);
  return report;
}

void RenderRun::LoadTemplate() {
  const std::string& path = FOptions.templatePath;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) || !std::ifstream(path, std::ios::binary))
    throw RunError{path + ": cannot read the template (" +
                   (std::filesystem::exists(path, ec) ? "not a readable file" : "no such file") + ")"};
  FReport = CreateRenderReport();
  FReport->EngineOptions().SetTempDir(Utf8ToUtf16(FScratch.Path()));
  FReport->SetRestrictFilePaths(true);
  for (const std::string& f : FOptions.allowedFolders) FReport->AllowFolder(f);
  try {
    if (!FReport->LoadFromFile(Utf8ToUtf16(path), false)) throw RunError{path + ": cannot read the template"};
  } catch (const Exception& e) {
    throw RunError{path + ": " + e.Message()};
  }
  // Preparing clears the error list, so the load's problems are read now.
  if (FReport->Errors().Count() > 0) {
    if (FOptions.keepGoing) {
      PrintReportErrors(*FReport, path, FErr, "warning: ");
      FReport->Errors().Clear();
    } else {
      PrintReportErrors(*FReport, path, FErr);
      throw RunError{path + ": the template has errors (--keep-going treats them as warnings)"};
    }
  }
  ApplyScriptsSwitch(*FReport, FOptions.scripts, FOptions.command, path, FErr);
}

std::vector<std::string> RenderRun::DataSetNamesOfBands() {
  std::vector<std::string> names;
  for (TpgwComponent* c : FReport->AllObjects()) {
    auto* band = dynamic_cast<TpgwDataBand*>(c);
    if (!band || band->DataSetName().empty()) continue;
    const std::string name = Utf16ToUtf8(band->DataSetName());
    if (std::none_of(names.begin(), names.end(),
                     [&](const std::string& n) { return Lower(n) == Lower(name); }))
      names.push_back(name);
  }
  return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

void RenderRun::BindData() {
  const std::vector<std::string> used = DataSetNamesOfBands();
  const std::string& tpl = FOptions.templatePath;
  auto find = [&](const std::string& name) -> const std::string* {
    for (const std::string& n : used)
      if (Lower(n) == Lower(name)) return &n;
    return nullptr;
  };
  std::vector<std::pair<std::string, const DataBinding*>> plan;
  for (const DataBinding& b : FOptions.bindings) {
    if (b.name.empty()) {
      if (FOptions.bindings.size() > 1)
        throw UsageError{"--data " + b.source +
                         ": with several --data, each needs a name (--data NAME=SOURCE)"};
      if (used.empty())
        throw UsageError{tpl + ": the template has no data band that uses a data set; nothing to bind " +
                         b.source + " to"};
      if (used.size() > 1)
        throw UsageError{tpl + ": the template's data bands use several data sets (" + JoinNames(used) +
                         "); name the one for " + b.source + " (--data NAME=SOURCE)"};
      plan.emplace_back(used.front(), &b);
    } else {
      const std::string* n = find(b.name);
      if (!n)
        throw UsageError{"--data " + b.name +
                         ": the template has no data set of that name (its data bands use: " +
                         (used.empty() ? std::string("none") : JoinNames(used)) + ")"};
      plan.emplace_back(*n, &b);
    }
  }
  for (const std::string& n : used)
    if (!FOptions.unboundAsDeclared &&
        std::none_of(plan.begin(), plan.end(), [&](const auto& p) { return p.first == n; }))
      throw UsageError{tpl + ": the data set " + n + " is not bound; give --data " + n + "=SOURCE"};

  for (const auto& [name, binding] : plan) {
    BoundData d;
    d.name = name;
    try {
      d.source = std::make_unique<TpgwSourceTable>(
          OpenRecordReader(binding->source, binding->settings.options), binding->settings.columns);
      FProgress.Show("reading " + d.source->SourceName());
      d.source->Scan();
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
    if (d.source->RecordCount() == 0)
      FErr << d.source->SourceName()
           << ": warning: the source has no records; the report is rendered without data\n";
    d.table = std::make_unique<TMemTable>(nullptr);
    d.source->DefineFields(*d.table);
    d.adapter = std::make_unique<TpgwDBDataset>(nullptr);
    d.adapter->SetDataSet(d.table.get());
    d.adapter->SetUserName(Utf8ToUtf16(name));
    try {
      d.adapter->SetName(Utf8ToUtf16(name));
    } catch (const Exception&) {
      // Not a component name; the user name is what the template refers to.
    }
    FData.push_back(std::move(d));
  }

  // The adapters replace the data sets the template declares under the same names.
  for (TpgwReportDataSets* list : {&FReport->DataSets(), &FReport->EnabledDataSets()}) {
    for (int i = list->Count() - 1; i >= 0; --i) {
      const std::string item = Lower(Utf16ToUtf8(list->Items(i).DataSetName()));
      if (std::any_of(FData.begin(), FData.end(),
                      [&](const BoundData& d) { return Lower(d.name) == item; }) ||
          item.empty())
        list->Delete(i);
    }
    for (BoundData& d : FData) list->Add(d.adapter.get());
  }
  for (TpgwComponent* c : FReport->AllObjects()) {
    // Views that show a field by themselves (barcodes, pictures) name their data set too.
    if (auto* view = dynamic_cast<TpgwView*>(c)) {
      const std::string name = Lower(Utf16ToUtf8(view->DataSetName()));
      for (BoundData& d : FData) {
        if (name.empty() || Lower(d.name) != name) continue;
        view->SetDataSet(d.adapter.get());
        if (!view->DataField().empty() && !d.table->FindField(view->DataField())) {
          std::vector<std::string> names;
          for (const TpgwSourceColumn& col : d.source->Columns()) names.push_back(col.name);
          throw RunError{tpl + ": " + Utf16ToUtf8(view->Name()) + ": field \"" +
                         Utf16ToUtf8(view->DataField()) + "\" is not a column of " + d.source->SourceName() +
                         " (columns: " + JoinNames(names) + ")"};
        }
      }
      continue;
    }
    auto* band = dynamic_cast<TpgwDataBand*>(c);
    if (!band) continue;
    const std::string name = Lower(Utf16ToUtf8(band->DataSetName()));
    for (BoundData& d : FData) {
      if (Lower(d.name) != name) continue;
      band->SetDataSet(d.adapter.get());
      // A row count is for bands without data (the sample label keeps a 1 from its one-record
      // use); a band bound to a source prints every record.
      band->SetRowCount(0);
    }
  }
}

void RenderRun::SetParams() {
  for (const auto& [name, value] : FOptions.params) {
    const TpgwColumnType t = ClassifyText(value);
    Variant v;
    if (t == ctInteger) {
      v = Variant::FromInt64(std::stoll(value));
    } else if (t == ctDecimal) {
      v = Variant(std::stod(value));
    } else {
      // A one-line text variable is an expression: the value becomes a string literal.
      WideString literal = u"'";
      for (char16_t c : Utf8ToUtf16(value)) {
        if (c == u'\'') literal += u'\'';
        literal += c;
      }
      literal += u"'";
      v = Variant(literal);
    }
    FReport->Variables().SetVariable(Utf8ToUtf16(name), v);
  }
}

void RenderRun::Prepare(const std::string& what) {
  bool ok = false;
  try {
    ok = FReport->PrepareReport(true);
  } catch (const Exception& e) {
    FReport->Errors().Add(Utf8ToUtf16(e.Message()));
  }
  if (ok && FReport->Errors().Count() == 0) return;
  FProgress.Clear();
  PrintReportErrors(*FReport, FOptions.templatePath, FErr);
  // A field the source lacks: say which fields it has.
  for (BoundData& d : FData) {
    const WideString marker = Utf8ToUtf16(d.name) + u".\"";
    for (int i = 0; i < FReport->Errors().Count(); ++i) {
      if (FReport->Errors()[i].find(marker) == WideString::npos) continue;
      std::vector<std::string> names;
      for (const TpgwSourceColumn& c : d.source->Columns()) names.push_back(c.name);
      FErr << d.source->SourceName() << ": the columns are: " << JoinNames(names) << "\n";
      break;
    }
  }
  throw RunError{FOptions.templatePath + ": the report could not be prepared" + what};
}

TpgwCustomExportFilter& RenderRun::Filter(OutputKind kind) {
  if (kind == okPDF) {
    if (!FPDF) FPDF = std::make_unique<TpgwPDFExport>(nullptr);
    FPDF->SetOpenAfterExport(false);
    FPDF->SetOutline(FOptions.pdfOutline);
    FPDF->SetCompressed(FOptions.pdfCompress);
    FPDF->SetUserPassword(FOptions.pdfUserPassword);
    FPDF->SetOwnerPassword(FOptions.pdfOwnerPassword);
    FPDF->SetEncryptionMethod(FOptions.pdfAes256 ? peAES_256 : peRC4_128);
    if (FOptions.pdfPermissions) FPDF->SetProtectionFlags(*FOptions.pdfPermissions);
    return *FPDF;
  }
  TpgwCustomImageExport* f = nullptr;
  if (kind == okZPL) {
    if (!FZPL) FZPL = std::make_unique<TpgwZPLExport>(nullptr);
    FZPL->SetSeparateFiles(true);
    FZPL->SetResolution(FOptions.dpi > 0 ? FOptions.dpi : 203);
    return *FZPL;
  }
  if (kind == okJPEG) {
    if (!FJPEG) FJPEG = std::make_unique<TpgwJPEGExport>(nullptr);
    f = FJPEG.get();
  } else {
    if (!FPNG) FPNG = std::make_unique<TpgwPNGPageExport>(nullptr);
    f = FPNG.get();
  }
  f->SetSeparateFiles(true);
  if (FOptions.jpegQuality > 0) f->SetJPEGQuality(FOptions.jpegQuality);
  if (FOptions.dpi > 0) f->SetResolution(FOptions.dpi);
  f->SetMonochrome(FOptions.monochrome);
  f->SetWholePixelModules(FOptions.wholePixelModules);
  return *f;
}

// Writes one output of the prepared report: to a pending file, to standard output, or (raster
// pages) to pending files named by the raster export.
void RenderRun::WriteOne(OutputKind kind, const std::string& path, const std::string& pageRange) {
  TpgwCustomPreviewPages* store = FReport->PreviewPages();
  if (!store) throw RunError{"the prepared page store is not available"};
  const bool toStdout = path == "-";
  if (kind == okPrepared) {
    try {
      if (toStdout) {
        store->SaveToStream(FStdout);
        FHasStdout = true;
      } else {
        TSafeOutputStream& f = FPending.Create(path);
        store->SaveToStream(f);
        f.FinishWriting(false);  // flushed when the job commits
      }
    } catch (const Exception& e) {
      throw RunError{(toStdout ? std::string("standard output") : path) + ": " + e.Message()};
    }
    return;
  }
  const int selected = static_cast<int>(SelectedPages(Utf8ToUtf16(pageRange), store->GetCount()).size());
  if (selected == 0) {
    if (store->GetCount() == 0)
      throw RunError{FOptions.templatePath + ": the report has no pages to write to " + path};
    throw RunError{"--pages " + pageRange + ": the report has " + std::to_string(store->GetCount()) +
                   " pages; the range selects none"};
  }
  TpgwCustomExportFilter& filter = Filter(kind);
  filter.SetShowDialog(false);
  filter.SetShowProgress(false);
  filter.SetPageNumbers(Utf8ToUtf16(pageRange));
  filter.SetStream(nullptr);
  filter.SetIOTransport(nullptr);
  filter.SetFileName(u"");
  PendingFileTransport transport(FPending);
  // ZPL labels, one a page, follow each other in one file, as a PDF's pages do.
  const bool raster = kind != okPDF && kind != okZPL;
  // One image to a stream; several go through the transport, one pending file per page.
  const bool pagesAsFiles = raster && selected > 1 && !toStdout;
  if (raster && toStdout && selected > 1)
    throw RunError{std::string(KindOption(kind)) + " -: the report has " + std::to_string(selected) +
                   " pages and standard output takes one image; give a file name or --pages"};
  TSafeOutputStream* single = nullptr;
  if (toStdout) {
    filter.SetStream(&FStdout);
    FHasStdout = true;
  } else if (pagesAsFiles || (raster && FOptions.split.empty())) {
    // Numbered as the raster export names its pages (NAME.1.jpg ...), also for one page.
    transport.SetFileName(Utf8ToUtf16(path));
    filter.SetIOTransport(&transport);
    filter.SetFileName(Utf8ToUtf16(path));
  } else {
    single = &FPending.Create(path);
    filter.SetStream(single);
  }
  FReport->Errors().Clear();
  bool ok = false;
  try {
    ok = FReport->Export(filter);
  } catch (const Exception& e) {
    FReport->Errors().Add(Utf8ToUtf16(e.Message()));
  }
  filter.SetStream(nullptr);
  filter.SetIOTransport(nullptr);
  if (!ok || FReport->Errors().Count() > 0) {
    FProgress.Clear();
    PrintReportErrors(*FReport, FOptions.templatePath, FErr);
    throw RunError{(toStdout ? std::string("standard output") : path) + ": the export failed"};
  }
  FPending.CheckErrors();
  if (single) {
    try {
      single->FinishWriting(false);  // flushed when the job commits
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
  }
}

void RenderRun::WriteOutputs() {
  for (const OutputRequest& r : FOptions.outputs) {
    FProgress.Show("writing " + r.path);
    WriteOne(r.kind, r.path, FOptions.pages);
  }
}

// The value of a field of the current master record as text for a file name.
std::string FieldText(TField& f) {
  if (f.IsNull()) return {};
  if (f.DataType() == ftDate) return Utf16ToUtf8(FormatDateTime(u"yyyy-mm-dd", f.AsDateTime()));
  if (f.DataType() == ftDateTime) return Utf16ToUtf8(FormatDateTime(u"yyyy-mm-dd hh.nn.ss", f.AsDateTime()));
  return Utf16ToUtf8(f.AsString());
}

// Keeps a value inside one file name: separators and control characters become "_", and so
// do leading dots (no hidden files, no "..").
std::string SafeComponent(const std::string& value) {
  std::string s = value;
  for (char& c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
  }
  for (char& c : s) {
    if (c != '.') break;
    c = '_';
  }
  return s;
}

std::string RenderRun::SplitName(BoundData& master) {
  const std::string& pattern = FOptions.split;
  std::string name;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if ((c == '{' || c == '}') && i + 1 < pattern.size() && pattern[i + 1] == c) {
      name += c;
      ++i;
      continue;
    }
    if (c != '{') {
      name += c;
      continue;
    }
    const size_t close = pattern.find('}', i);
    const std::string field = pattern.substr(i + 1, close - i - 1);
    TField* f = master.table->FindField(Utf8ToUtf16(field));
    const std::string value = f ? FieldText(*f) : std::string();
    if (value.find_first_not_of(" \t") == std::string::npos)
      throw RunError{master.source->Where() + ": --split: field \"" + field +
                     "\" is empty, so the record's output would have no name"};
    name += SafeComponent(value);
    i = close;
  }
  // A name used before in this run gets a number rather than overwriting the earlier output.
  const std::filesystem::path p(name);
  const std::string stem = (p.parent_path() / p.stem()).string();
  const std::string ext = p.extension().string();
  std::string unique = name;
  for (int n = 2; !FSplitNames.insert(unique).second; ++n) unique = stem + "-" + std::to_string(n) + ext;
  return unique;
}

void RenderRun::RunSplit() {
  // The master: the data set of the first master band; the others are loaded whole.
  BoundData* master = nullptr;
  for (TpgwComponent* c : FReport->AllObjects()) {
    auto* band = dynamic_cast<TpgwMasterData*>(c);
    if (!band) continue;
    for (BoundData& d : FData)
      if (Lower(d.name) == Lower(Utf16ToUtf8(band->DataSetName()))) master = &d;
    if (master) break;
  }
  if (!master && FData.size() == 1) master = &FData.front();
  if (!master)
    throw UsageError{FOptions.templatePath + ": --split needs a master band bound to a data source"};
  // Fields the pattern names must exist before anything is rendered.
  const std::string& pattern = FOptions.split;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if ((pattern[i] == '{' || pattern[i] == '}') && i + 1 < pattern.size() && pattern[i + 1] == pattern[i]) {
      ++i;
      continue;
    }
    if (pattern[i] == '}')
      throw UsageError{"--split " + pattern + ": a \"}\" without \"{\" (write }} for a brace)"};
    if (pattern[i] != '{') continue;
    const size_t close = pattern.find('}', i);
    if (close == std::string::npos) throw UsageError{"--split " + pattern + ": a \"{\" is not closed"};
    const std::string field = pattern.substr(i + 1, close - i - 1);
    if (!master->table->FindField(Utf8ToUtf16(field))) {
      std::vector<std::string> names;
      for (const TpgwSourceColumn& c : master->source->Columns()) names.push_back(c.name);
      throw UsageError{"--split " + pattern + ": " + master->source->SourceName() + " has no column \"" +
                       field + "\" (columns: " + JoinNames(names) + ")"};
    }
    i = close;
  }
  const std::string ext = Lower(std::filesystem::path(pattern).extension().string());
  const OutputKind kind = ext == ".pdf" ? okPDF : ext == ".png" ? okPNG : okJPEG;

  for (BoundData& d : FData) {
    if (&d == master) continue;
    try {
      d.source->AppendAll(*d.table);
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
  }
  const int64_t total = master->source->RecordCount();
  if (total == 0) {
    FErr << master->source->SourceName() << ": no records, so --split writes nothing\n";
    return;
  }
  int64_t done = 0;
  while (true) {
    master->table->EmptyDataSet();
    bool more = false;
    try {
      more = master->source->AppendNext(*master->table);
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
    if (!more) break;
    ++done;
    FProgress.Show(std::to_string(done) + "/" + std::to_string(total) + " records");
    const std::string name = SplitName(*master);
    const std::filesystem::path folder = std::filesystem::path(name).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    Prepare(" for " + master->source->Where());
    WriteOne(kind, name, FOptions.pages);
  }
}

void RenderRun::LoadData() {
  for (BoundData& d : FData) {
    FProgress.Show("loading " + d.source->SourceName());
    try {
      d.source->AppendAll(*d.table);
    } catch (const Exception& e) {
      throw RunError{e.Message()};
    }
  }
}

std::string RenderRun::TakeStandardOutput() {
  std::string bytes(reinterpret_cast<const char*>(FStdout.Memory()), static_cast<size_t>(FStdout.Size()));
  FStdout.Clear();
  FHasStdout = false;
  return bytes;
}

int RenderRun::Run() {
  InitializeEngine();
  InstallInterruptCleanup();
  LoadTemplate();
  BindData();
  SetParams();
  if (!FOptions.split.empty()) {
    RunSplit();
  } else {
    LoadData();
    FProgress.Show("preparing the report");
    Prepare("");
    WriteOutputs();
  }
  FProgress.Show("moving " + std::to_string(FPending.Count()) + " outputs into place");
  FPending.CommitAll();
  FProgress.Clear();
  if (FHasStdout) {
    FOut.write(reinterpret_cast<const char*>(FStdout.Memory()), static_cast<std::streamsize>(FStdout.Size()));
    FOut.flush();
    if (!FOut) throw RunError{"standard output: write error"};
  }
  return kExitOk;
}

void ApplyCsvDelimiter(const std::string& v, SourceSettings& settings) {
  if (v == "tab" || v == "\\t" || v == "\t")
    settings.options.csvDelimiter = '\t';
  else if (v.size() == 1 && v != "\"" && v != "\n" && v != "\r")
    settings.options.csvDelimiter = v[0];
  else
    throw UsageError{"--csv-delimiter wants one character (not a quote or line break) or \"tab\", not '" + v + "'"};
}

void ApplyColumnType(const std::string& v, SourceSettings& settings) {
  const size_t eq = v.find('=');
  std::optional<TpgwColumnType> t;
  if (eq != std::string::npos && eq > 0) t = ColumnTypeByName(v.substr(eq + 1));
  if (!t)
    throw UsageError{"--column wants NAME=TYPE with TYPE integer, decimal, boolean, date, datetime or text, not '" +
                     v + "'"};
  settings.columns.emplace_back(v.substr(0, eq), *t);
}

}  // namespace pagewright::cli
