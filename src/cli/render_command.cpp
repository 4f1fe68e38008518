#include "cli/render_command.h"

#include <cstdlib>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cli/template_loading.h"
#include "data/db_dataset.h"
#include "data/sources/source_table.h"
#include "startup/startup.h"
#include "export/export_filter.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "export/zpl_export.h"
#include "platform/safe_output.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "render/bitmap.h"
#include "render/picture_codecs.h"
#include "report/report.h"
#include "report/view.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments =
    "TEMPLATE --data [NAME=]SOURCE... (--pdf|--jpeg|--png|--prepared|--zpl FILE | --split PATTERN)";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright render TEMPLATE [options]\n"
     << "Binds the template's data sets to data sources, prepares the report and writes it.\n"
     << "\n"
     << "Data:\n"
     << "  --data NAME=SOURCE     bind the data set NAME (as the template's bands and expressions\n"
     << "                         call it, e.g. pgwDBmaster) to SOURCE; repeat for master/detail\n"
     << "  --data SOURCE          bind the one data set the template's data bands use\n"
     << "                         (a data band bound to a source prints all its records, also\n"
     << "                         when the template gives the band a row count)\n"
     << "  SOURCE is one of:\n"
     << "    FILE.csv             CSV (RFC 4180): a header row with the column names, fields in\n"
     << "                         double quotes may hold delimiters, quotes (\"\") and line breaks;\n"
     << "                         UTF-8 with or without a byte-order mark\n"
     << "    FILE.json            a JSON array of objects, or JSON Lines (one object a line);\n"
     << "                         told apart by the first character, \"[\" or \"{\"; JSON Lines\n"
     << "                         are read a record at a time, an array is read whole\n"
     << "    sqlite:FILE          an SQLite database, with --query\n"
     << "    postgresql://...     a PostgreSQL connection URI, with --query\n"
     << "  These apply to the --data they follow (given before any --data, to every source):\n"
     << "  --query SQL|TABLE      the SELECT statement, or a table name, for a database source\n"
     << "  --csv-delimiter C      the CSV field delimiter: one character, or \"tab\" (default \",\")\n"
     << "  --column NAME=TYPE     the type of a column: integer, decimal, boolean, date, datetime\n"
     << "                         or text\n"
     << "  Column types: databases declare them; JSON values have them (numbers without a point\n"
     << "  are integers; strings that are all ISO dates are dates). A CSV column is an integer\n"
     << "  when every non-empty value is one (at most 15 digits, no leading zero, so codes like\n"
     << "  0003 and long container numbers stay text), a decimal when every value is a number\n"
     << "  with a point or exponent (or an integer), a date when every value is YYYY-MM-DD, a\n"
     << "  datetime for YYYY-MM-DDTHH:MM[:SS] (a space may stand for T), and text otherwise.\n"
     << "  Empty values are null.\n"
     << "  --param NAME=VALUE     set the report variable NAME before preparing; a number is set\n"
     << "                         as a number, anything else as text\n"
     << "\n"
     << "Outputs (at least one; \"-\" writes a single-file output to standard output):\n"
     << "  --pdf FILE             the report as PDF\n"
     << "  --jpeg FILE            one JPEG per page, named FILE.1.jpg, FILE.2.jpg ... (the\n"
     << "                         extension of FILE is replaced); \"-\" only for one page\n"
     << "  --png FILE             the same as PNG (lossless)\n"
     << "  --prepared FILE        the prepared report (all pages; --pages does not apply)\n"
     << "  --zpl FILE             ZPL II for thermal label printers: one label (^XA...^XZ) a page,\n"
     << "                         the page as a black-and-white graphic field at --dpi 203, 300\n"
     << "                         or 600 (default 203)\n"
     << "  --split PATTERN        one output per master record instead of one document, named\n"
     << "                         by PATTERN with {FIELD} replaced by the record's field value,\n"
     << "                         e.g. 'out/{sscc}.pdf'; the extension picks the format (.pdf,\n"
     << "                         .jpg or .png; a record of several pages gives NAME.1.jpg ...).\n"
     << "                         In a value \"/\", \"\\\", control characters and leading dots\n"
     << "                         become \"_\"; an empty value is refused; a name used twice gets\n"
     << "                         \"-2\", \"-3\" ... before the extension. {{ and }} are braces.\n"
     << "  --pages RANGE          the pages to export, e.g. 1,3-5,8- (default all)\n"
     << "\n"
     << "PDF:\n"
     << "  --pdf-outline          the report's outline as the PDF's bookmarks\n"
     << "  --no-pdf-compress      leave the streams uncompressed (--pdf-compress: the default)\n"
     << "  --pdf-owner-password P protect the PDF: P is needed to change it or lift restrictions\n"
     << "  --pdf-user-password P  P is needed to open the PDF at all\n"
     << "  --pdf-owner-password-env VAR, --pdf-user-password-env VAR\n"
     << "                         the password from an environment variable (out of the process list)\n"
     << "  --pdf-encryption rc4|aes256  the protection's cipher (default rc4; aes256 needs a\n"
     << "                         reader of PDF 2.0 or 1.7 with its extension level 8)\n"
     << "  --pdf-permissions LIST what a protected PDF allows: a comma list of print, modify,\n"
     << "                         copy, annotate (default all of them; an empty list none)\n"
     << "  Fonts are always embedded, as subsets (--pdf-embed-fonts is accepted).\n"
     << "Page images:\n"
     << "  --dpi N                the resolution of --jpeg and --png pages (default 96)\n"
     << "  --jpeg-quality N       1 to 100 (default 90)\n"
     << "  --monochrome           black and white pages\n"
     << "  --whole-pixel-modules  barcode modules a whole number of pixels wide, for printers of\n"
     << "                         dots (always so in --zpl)\n"
     << "\n"
     << "Other:\n"
     << "  --allow-path DIR       files the template names (its parent report, pictures) may also\n"
     << "                         come from DIR; otherwise only from the template's own folder\n"
     << "  --scripts              compile and run the template's script and call the event\n"
     << "                         procedures its objects name (off: attached but not run)\n"
     << "  --keep-going           report problems found loading the template as warnings\n"
     << "  --quiet                no progress line (shown only on a terminal, for jobs longer\n"
     << "                         than about a second)\n"
     << "  --help                 this text\n"
     << "\n"
     << "Outputs appear only when the whole run succeeded: each is written to a temporary file\n"
     << "beside it and renamed at the end. Exit code 0 on success, 1 when the run failed, 2 for\n"
     << "a usage error. Messages go to standard error, each naming the file and place.\n";
}

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
};

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

bool ValidPageRange(const std::string& s) {
  bool digit = false;
  for (char c : s) {
    if (c >= '0' && c <= '9')
      digit = true;
    else if (c != ',' && c != '-' && c != ' ')
      return false;
  }
  return digit;
}

// A password given in an environment variable, so that it stays out of the process list.
std::string PasswordFromEnvironment(const std::string& option, const std::string& variable) {
  const char* v = std::getenv(variable.c_str());
  if (!v) throw UsageError{option + " " + variable + ": the environment variable is not set"};
  return v;
}

TpgwPDFEncBits ParsePermissions(const std::string& list) {
  TpgwPDFEncBits bits;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string word = Lower(list.substr(start, comma - start));
    if (word == "print")
      bits.Include(ePrint);
    else if (word == "modify")
      bits.Include(eModify);
    else if (word == "copy")
      bits.Include(eCopy);
    else if (word == "annotate")
      bits.Include(eAnnot);
    else if (!word.empty() || list.empty())
      throw UsageError{"--pdf-permissions wants a comma list of print, modify, copy and annotate, not '" +
                       list + "'"};
    start = comma + 1;
  }
  return bits;
}

int IntegerOption(const std::string& option, const std::string& v, int low, int high) {
  int n = 0;
  const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
  if (res.ec != std::errc() || res.ptr != v.data() + v.size() || n < low || n > high)
    throw UsageError{option + " wants a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + v + "'"};
  return n;
}

RenderOptions ParseOptions(const std::vector<std::string>& args, bool& help) {
  RenderOptions o;
  SourceSettings defaults;
  help = false;
  auto settings = [&]() -> SourceSettings& {
    return o.bindings.empty() ? defaults : o.bindings.back().settings;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string inlineValue;
    bool hasInline = false;
    if (a.rfind("--", 0) == 0) {
      const size_t eq = a.find('=');
      if (eq != std::string::npos) {
        inlineValue = a.substr(eq + 1);
        a.resize(eq);
        hasInline = true;
      }
    }
    auto value = [&]() -> std::string {
      if (hasInline) return inlineValue;
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      help = true;
      return o;
    } else if (a == "--data") {
      DataBinding b;
      b.settings = defaults;
      const std::string v = value();
      const size_t eq = v.find('=');
      if (eq != std::string::npos && IsIdentifier(std::string_view(v).substr(0, eq))) {
        b.name = v.substr(0, eq);
        b.source = v.substr(eq + 1);
      } else {
        b.source = v;
      }
      if (b.source.empty()) throw UsageError{"--data " + v + ": no source given"};
      for (const DataBinding& other : o.bindings)
        if (!b.name.empty() && Lower(other.name) == Lower(b.name))
          throw UsageError{"--data " + b.name + " is given twice"};
      o.bindings.push_back(std::move(b));
    } else if (a == "--query") {
      settings().options.query = value();
    } else if (a == "--csv-delimiter") {
      const std::string v = value();
      if (v == "tab" || v == "\\t" || v == "\t")
        settings().options.csvDelimiter = '\t';
      else if (v.size() == 1 && v != "\"" && v != "\n" && v != "\r")
        settings().options.csvDelimiter = v[0];
      else
        throw UsageError{"--csv-delimiter wants one character (not a quote or line break) or \"tab\", not '" +
                         v + "'"};
    } else if (a == "--column") {
      const std::string v = value();
      const size_t eq = v.find('=');
      std::optional<TpgwColumnType> t;
      if (eq != std::string::npos && eq > 0) t = ColumnTypeByName(v.substr(eq + 1));
      if (!t)
        throw UsageError{
            "--column wants NAME=TYPE with TYPE integer, decimal, boolean, date, datetime or text, not '" +
            v + "'"};
      settings().columns.emplace_back(v.substr(0, eq), *t);
    } else if (a == "--param") {
      const std::string v = value();
      const size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) throw UsageError{"--param wants NAME=VALUE, not '" + v + "'"};
      o.params.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (a == "--pdf" || a == "--jpeg" || a == "--png" || a == "--prepared" || a == "--zpl") {
      const OutputKind k = a == "--pdf"    ? okPDF
                           : a == "--jpeg" ? okJPEG
                           : a == "--png"  ? okPNG
                           : a == "--zpl"  ? okZPL
                                           : okPrepared;
      const std::string v = value();
      if (v.empty()) throw UsageError{a + " needs a file name"};
      o.outputs.push_back({k, v});
    } else if (a == "--split") {
      if (!o.split.empty()) throw UsageError{"--split is given twice"};
      o.split = value();
      if (o.split.empty()) throw UsageError{"--split needs a pattern"};
    } else if (a == "--pages") {
      o.pages = value();
      if (!ValidPageRange(o.pages))
        throw UsageError{"--pages wants page numbers and ranges such as 1,3-5,8-, not '" + o.pages + "'"};
    } else if (a == "--quiet" || a == "-q") {
      o.quiet = true;
    } else if (a == "--keep-going") {
      o.keepGoing = true;
    } else if (a == "--scripts") {
      o.scripts = true;
    } else if (a == "--allow-path") {
      const std::string v = value();
      std::error_code ec;
      if (v.empty() || !std::filesystem::is_directory(v, ec))
        throw UsageError{"--allow-path " + v + ": not a folder"};
      o.allowedFolders.push_back(v);
    } else if (a == "--pdf-outline") {
      o.pdfOutline = true;
    } else if (a == "--pdf-compress") {
      o.pdfCompress = true;
    } else if (a == "--no-pdf-compress") {
      o.pdfCompress = false;
    } else if (a == "--pdf-embed-fonts") {
      // Always so: text is written as glyph indices that only the embedded font gives a meaning.
    } else if (a == "--pdf-encryption") {
      const std::string v = Lower(value());
      if (v != "rc4" && v != "aes256")
        throw UsageError{"--pdf-encryption wants rc4 or aes256, not '" + v + "'"};
      o.pdfAes256 = v == "aes256";
    } else if (a == "--pdf-user-password") {
      o.pdfUserPassword = value();
    } else if (a == "--pdf-owner-password") {
      o.pdfOwnerPassword = value();
    } else if (a == "--pdf-user-password-env") {
      o.pdfUserPassword = PasswordFromEnvironment(a, value());
    } else if (a == "--pdf-owner-password-env") {
      o.pdfOwnerPassword = PasswordFromEnvironment(a, value());
    } else if (a == "--pdf-permissions") {
      o.pdfPermissions = ParsePermissions(value());
    } else if (a == "--jpeg-quality") {
      o.jpegQuality = IntegerOption(a, value(), 1, 100);
    } else if (a == "--dpi") {
      o.dpi = IntegerOption(a, value(), 24, 1200);
    } else if (a == "--monochrome") {
      o.monochrome = true;
    } else if (a == "--whole-pixel-modules") {
      o.wholePixelModules = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option '" + args[i] + "'"};
    } else {
      if (!o.templatePath.empty())
        throw UsageError{"only one template can be rendered ('" + a + "' is a second)"};
      o.templatePath = a;
    }
  }
  if (o.templatePath.empty()) throw UsageError{"no template given"};
  const bool zpl =
      std::any_of(o.outputs.begin(), o.outputs.end(), [](const OutputRequest& r) { return r.kind == okZPL; });
  if (zpl && o.dpi != 0 && o.dpi != 203 && o.dpi != 300 && o.dpi != 600)
    throw UsageError{"--zpl prints at 203, 300 or 600 dots per inch (--dpi), not " + std::to_string(o.dpi)};
  if ((o.pdfPermissions || o.pdfAes256) && o.pdfUserPassword.empty() && o.pdfOwnerPassword.empty())
    throw UsageError{
        "--pdf-permissions and --pdf-encryption protect the PDF with a password: give "
        "--pdf-owner-password (or --pdf-user-password)"};
  if (o.outputs.empty() && o.split.empty())
    throw UsageError{"no output given: use --pdf, --jpeg, --png, --prepared, --zpl or --split"};
  if (!o.split.empty() && !o.outputs.empty())
    throw UsageError{
        "--split writes one output per record and cannot be combined with --pdf, --jpeg, --png or "
        "--prepared"};
  int toStdout = 0;
  for (const OutputRequest& r : o.outputs) toStdout += r.path == "-";
  if (toStdout > 1) throw UsageError{"only one output can go to standard output"};
  std::set<std::string> paths;
  for (const OutputRequest& r : o.outputs)
    if (r.path != "-" && !paths.insert(r.path).second) throw UsageError{r.path + " is given as two outputs"};
  if (!o.split.empty()) {
    const std::string ext = Lower(std::filesystem::path(o.split).extension().string());
    if (ext != ".pdf" && ext != ".jpg" && ext != ".jpeg" && ext != ".png")
      throw UsageError{"--split " + o.split + ": the pattern must end in .pdf, .jpg or .png"};
  }
  return o;
}

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
      for (auto& f : FFiles) f->FinishWriting();
      for (auto& f : FFiles) f->Commit();
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
      FFile.FinishWriting();
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

// PNG pages: the raster export paints the page bitmaps, and the renderer's PNG encoder writes
// them. The picture formats offer PNG for reading only, so the export is started with the
// JPEG format (its lookup must succeed) and every page is encoded here instead.
class PngExport : public TpgwCustomImageExport {
 public:
  explicit PngExport(TComponent* owner = nullptr) : TpgwCustomImageExport(owner) {
    SetPicFormatName("JPG");
    SetDefaultExt(u".png");
  }
  void WriteBitmapToStream(TStream& stream) override {
    TBitmap* bitmap = Bitmap();
    if (!bitmap) throw EInvalidOperation("There is no page image to write");
    EncodePNG(*bitmap, stream);
  }
};

// The report's collected errors, one a line, each after the template's name.
bool PrintReportErrors(TpgwReport& report, const std::string& templatePath, std::ostream& err,
                       const char* prefix = "") {
  for (int i = 0; i < report.Errors().Count(); ++i) {
    std::string line = Utf16ToUtf8(report.Errors()[i]);
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    err << templatePath << ": " << prefix << line << "\n";
  }
  return report.Errors().Count() > 0;
}

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

 private:
  void LoadTemplate();
  std::vector<std::string> DataSetNamesOfBands();
  void BindData();
  void SetParams();
  void Prepare(const std::string& what);
  void WriteOutputs();
  void WriteOne(OutputKind kind, const std::string& path, const std::string& pageRange);
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
  std::unique_ptr<PngExport> FPNG;
  std::unique_ptr<TpgwZPLExport> FZPL;
  PendingOutputs FPending;
  TMemoryStream FStdout;
  bool FHasStdout = false;
  std::set<std::string> FSplitNames;
  // Where the prepared-page store puts its page cache; gone after the run, also after Ctrl-C.
  TScratchFolder FScratch;
};

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
  ApplyScriptsSwitch(*FReport, FOptions.scripts, "render", path, FErr);
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
    if (std::none_of(plan.begin(), plan.end(), [&](const auto& p) { return p.first == n; }))
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
    if (!FPNG) FPNG = std::make_unique<PngExport>(nullptr);
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
        f.FinishWriting();
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
      single->FinishWriting();
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

int RenderRun::Run() {
  InitializeEngine();
  InstallInterruptCleanup();
  LoadTemplate();
  BindData();
  SetParams();
  if (!FOptions.split.empty()) {
    RunSplit();
  } else {
    for (BoundData& d : FData) {
      FProgress.Show("loading " + d.source->SourceName());
      try {
        d.source->AppendAll(*d.table);
      } catch (const Exception& e) {
        throw RunError{e.Message()};
      }
    }
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

int RunAs(const std::string& command, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string prefix = "pagewright " + command + ": ";
  RenderOptions options;
  try {
    bool help = false;
    options = ParseOptions(args, help);
    if (help) {
      PrintUsage(out);
      return kExitOk;
    }
  } catch (const UsageError& e) {
    err << prefix << e.message << "\n"
        << "Run 'pagewright " << command << " --help' for the options.\n";
    return kExitUsage;
  }
  try {
    RenderRun run(options, out, err);
    return run.Run();
  } catch (const UsageError& e) {
    err << prefix << e.message << "\n";
    return kExitUsage;
  } catch (const RunError& e) {
    err << prefix << e.message << "\n";
    return kExitFailure;
  } catch (const Exception& e) {
    err << prefix << e.ClassName() << ": " << e.Message() << "\n";
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    err << prefix << "out of memory\n";
    return kExitFailure;
  }
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunAs("render", args, out, err);
}

}  // namespace

int RenderForCommand(const std::string& command, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
  return RunAs(command, args, out, err);
}

void PrintRenderOptions(std::ostream& os) {
  PrintUsage(os);
}

const CliCommand kRenderCommand = {
    "render", kArguments,
    "renders a template with data from CSV, JSON, SQLite or PostgreSQL to PDF, JPEG or PNG", Run};

}  // namespace pagewright::cli
