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

#include "cli/render_job.h"
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
      ApplyCsvDelimiter(value(), settings());
    } else if (a == "--column") {
      ApplyColumnType(value(), settings());
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
