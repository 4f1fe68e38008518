#include "cli/prepare_command.h"

#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/template_loading.h"
#include "data/db_dataset.h"
#include "platform/exceptions.h"
#include "platform/mem_table.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "prepared/page_dump.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "report/report.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments = "TEMPLATE --dump [--csv NAME=FILE]... [--scripts]";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright prepare " << kArguments << "\n"
     << "  TEMPLATE         a report template (.pw3)\n"
     << "  --dump           print the prepared pages, one line per band and object:\n"
     << "                   page, band, object, left, top, width, height, text (tab-separated)\n"
     << "  --csv NAME=FILE  the data set NAME of the template reads FILE: a CSV file (UTF-8,\n"
     << "                   comma-separated, a header line with the column names); every\n"
     << "                   column is text\n"
     << "  --scripts        compile and run the template's script and call the event procedures\n"
     << "                   its objects name (off: they are attached but not run)\n";
}

struct CsvSource {
  std::string name;
  std::string file;
};

// The records of a CSV text: fields separated by commas, quoted fields may hold commas, line
// breaks and doubled quotes. Throws with the line of the problem.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text, const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, fieldStarted = false;
  int line = 1, quoteLine = 0;
  auto endRow = [&] {
    row.push_back(field);
    field.clear();
    fieldStarted = false;
    if (!(row.size() == 1 && row[0].empty())) rows.push_back(row);  // blank lines are skipped
    row.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++line;
        field += c;
      }
      continue;
    }
    if (c == '"' && !fieldStarted) {
      quoted = true;
      fieldStarted = true;
      quoteLine = line;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      fieldStarted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    } else if (c == '\n') {
      endRow();
      ++line;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted) throw EConvertError(file + ":" + std::to_string(quoteLine) + ": unterminated quoted field");
  if (!field.empty() || !row.empty()) endRow();
  return rows;
}

// A table of text columns from a CSV file.
std::unique_ptr<TMemTable> ReadCsvTable(const CsvSource& source) {
  std::ifstream in(source.file, std::ios::binary);
  if (!in) throw EFOpenError(source.file + ": cannot read");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string text = bytes.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  const std::vector<std::vector<std::string>> rows = ParseCsv(text, source.file);
  if (rows.empty()) throw EConvertError(source.file + ":1: no header line");
  const std::vector<std::string>& header = rows.front();
  std::vector<size_t> widths(header.size(), 1);
  for (size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() != header.size())
      throw EConvertError(source.file + ": record " + std::to_string(r) + ": " +
                          std::to_string(rows[r].size()) + " fields, the header has " +
                          std::to_string(header.size()));
    for (size_t c = 0; c < header.size(); ++c)
      widths[c] = std::max(widths[c], Utf8ToUtf16(rows[r][c]).size());
  }
  auto table = std::make_unique<TMemTable>();
  for (size_t c = 0; c < header.size(); ++c) {
    if (header[c].empty())
      throw EConvertError(source.file + ":1: column " + std::to_string(c + 1) + " has no name");
    table->FieldDefs().Add(Utf8ToUtf16(header[c]), ftString, static_cast<int>(widths[c]));
  }
  table->CreateDataSet();
  for (size_t r = 1; r < rows.size(); ++r) {
    table->Append();
    for (size_t c = 0; c < header.size(); ++c)
      table->FieldByName(Utf8ToUtf16(header[c])).SetAsString(Utf8ToUtf16(rows[r][c]));
    table->Post();
  }
  return table;
}

int Prepare(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string templateFile;
  bool dump = false;
  bool scripts = false;
  std::vector<CsvSource> sources;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintUsage(out);
      return kExitOk;
    }
    if (a == "--dump") {
      dump = true;
      continue;
    }
    if (a == "--scripts") {
      scripts = true;
      continue;
    }
    if (a == "--csv") {
      const size_t eq = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
      if (eq == std::string::npos || eq == 0 || eq + 1 == args[i + 1].size()) {
        err << "pagewright prepare: --csv needs NAME=FILE\n";
        PrintUsage(err);
        return kExitUsage;
      }
      sources.push_back({args[i + 1].substr(0, eq), args[i + 1].substr(eq + 1)});
      ++i;
      continue;
    }
    if (a.size() > 1 && a[0] == '-') {
      err << "pagewright prepare: unknown option '" << a << "'\n";
      PrintUsage(err);
      return kExitUsage;
    }
    if (!templateFile.empty()) {
      err << "pagewright prepare: only one template can be prepared\n";
      PrintUsage(err);
      return kExitUsage;
    }
    templateFile = a;
  }
  if (templateFile.empty() || !dump) {
    err << "pagewright prepare: " << (templateFile.empty() ? "no template given" : "--dump is required")
        << "\n";
    PrintUsage(err);
    return kExitUsage;
  }

  // Released after the report that points at them.
  std::vector<std::unique_ptr<TMemTable>> tables;
  std::vector<std::unique_ptr<TpgwDBDataset>> adapters;
  std::unique_ptr<TpgwReport> report;
  struct Release {
    std::unique_ptr<TpgwReport>& report;
    ~Release() { report.reset(); }
  } release{report};

  try {
    for (const CsvSource& s : sources) tables.push_back(ReadCsvTable(s));
  } catch (const Exception& e) {
    err << "pagewright prepare: " << e.Message() << "\n";
    return kExitFailure;
  }
  report = LoadTemplate("prepare", templateFile, err);
  if (!report) return kExitFailure;
  if (PrintErrors(*report, templateFile, err)) return kExitFailure;
  ApplyScriptsSwitch(*report, scripts, "prepare", templateFile, err);

  for (size_t i = 0; i < sources.size(); ++i) {
    const WideString name = Utf8ToUtf16(sources[i].name);
    auto adapter = std::make_unique<TpgwDBDataset>(nullptr);
    adapter->SetName(name);
    adapter->SetUserName(name);
    adapter->SetDataSet(tables[i].get());
    // The CSV takes the place of the template's data set of that name.
    for (TpgwReportDataSets* list : {&report->DataSets(), &report->EnabledDataSets()}) {
      for (int k = list->Count() - 1; k >= 0; --k)
        if (WideSameText(list->Items(k).DataSetName(), name)) list->Delete(k);
      list->Add(adapter.get());
    }
    bool used = false;
    for (TpgwComponent* obj : report->AllObjects())
      if (auto* band = dynamic_cast<TpgwDataBand*>(obj); band && WideSameText(band->DataSetName(), name)) {
        band->SetDataSet(adapter.get());
        used = true;
      }
    if (!used)
      err << "pagewright prepare: " << templateFile << ": no data band uses the data set " << sources[i].name
          << "\n";
    adapters.push_back(std::move(adapter));
  }

  bool prepared = false;
  try {
    prepared = report->PrepareReport(true);
  } catch (const Exception& e) {
    err << "pagewright prepare: " << templateFile << ": " << e.Message() << "\n";
    return kExitFailure;
  }
  if (PrintErrors(*report, templateFile, err) || !prepared) {
    if (!prepared && report->Errors().Count() == 0)
      err << "pagewright prepare: " << templateFile << ": nothing prepared\n";
    return kExitFailure;
  }
  TpgwPreviewPages* pages = PreparedPagesOf(*report);
  if (!pages) {
    err << "pagewright prepare: the prepared page store is not available\n";
    return kExitFailure;
  }
  DumpPreparedPages(*pages, out);
  out.flush();
  return out ? kExitOk : kExitFailure;
}

}  // namespace

const CliCommand kPrepareCommand = {
    "prepare", kArguments, "prepares a template over CSV data and prints the pages as text", Prepare};

}  // namespace pagewright::cli
