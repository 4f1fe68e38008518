#include "cli/prepare_command.h"

#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/template_loading.h"
#include "data/db_dataset.h"
#include "data/sources/record_reader.h"
#include "data/sources/source_table.h"
#include "platform/exceptions.h"
#include "platform/mem_table.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "prepared/page_dump.h"
#include "prepared/preview_pages.h"
#include "report/bands.h"
#include "report/report.h"
#include "startup/startup.h"

namespace pagewright::cli {
namespace {

constexpr const char* kArguments =
    "TEMPLATE --dump [--data NAME=SOURCE [--query SQL]]... [--scripts] [--save FILE] | --prepared FILE --dump [--save FILE]";

void PrintUsage(std::ostream& os) {
  os << "usage: pagewright prepare " << kArguments << "\n"
     << "  TEMPLATE         a report template (.pw3)\n"
     << "  --dump           print the prepared pages, one line per band and object:\n"
     << "                   page, band, object, left, top, width, height, text (tab-separated)\n"
     << "  --data NAME=SOURCE  the data set NAME of the template reads SOURCE, any source\n"
     << "                   `pagewright render` reads (CSV, JSON, sqlite:FILE, postgresql://...),\n"
     << "                   with the same column types; --csv NAME=FILE is the same\n"
     << "  --query SQL      the SELECT statement or table name of the --data before it\n"
     << "  --allow-path DIR files the template names (parent report, pictures) may also come from\n"
     << "                   DIR; otherwise only from the template's own folder\n"
     << "  --scripts        compile and run the template's script and call the event procedures\n"
     << "                   its objects name (off: they are attached but not run)\n"
     << "  --save FILE      also save the prepared report to FILE\n"
     << "  --prepared FILE  dump a saved prepared report instead of preparing a template\n"
     << "                   (with --save: and save it again)\n";
}

struct DataSource {
  std::string name;    // the template's data set
  std::string source;  // a file or database, as the render command takes it
  TpgwSourceOptions options;
};

// The records of a source in an in-memory table, typed as the render command types them.
std::unique_ptr<TMemTable> ReadSourceTable(const DataSource& d) {
  TpgwSourceTable source(OpenRecordReader(d.source, d.options));
  source.Scan();
  auto table = std::make_unique<TMemTable>();
  source.DefineFields(*table);
  source.Rewind();
  source.AppendAll(*table);
  return table;
}

// A saved prepared report needs no template: its pages carry the objects they show.
int DumpSaved(const std::string& fileName, const std::string& saveFile, std::ostream& out, std::ostream& err) {
  InitializeEngine();
  std::unique_ptr<TpgwReport> report = CreateReport();
  TpgwPreviewPages* pages = PreparedPagesOf(*report);
  if (!pages) {
    err << "pagewright prepare: the prepared page store is not available\n";
    return kExitFailure;
  }
  try {
    if (!pages->LoadFromFile(Utf8ToUtf16(fileName), true)) {
      err << "pagewright prepare: " << fileName << ": not a prepared report\n";
      return kExitFailure;
    }
    if (!saveFile.empty()) pages->SaveToFile(Utf8ToUtf16(saveFile));
  } catch (const Exception& e) {
    err << "pagewright prepare: " << fileName << ": " << e.Message() << "\n";
    return kExitFailure;
  }
  DumpPreparedPages(*pages, out);
  out.flush();
  return out ? kExitOk : kExitFailure;
}

int Prepare(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string templateFile;
  std::string saveFile, preparedFile;
  bool dump = false;
  bool scripts = false;
  std::vector<std::string> allowed;
  std::vector<DataSource> sources;
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
    if (a == "--save" || a == "--prepared") {
      if (i + 1 >= args.size()) {
        err << "pagewright prepare: " << a << " needs a file\n";
        PrintUsage(err);
        return kExitUsage;
      }
      (a == "--save" ? saveFile : preparedFile) = args[++i];
      continue;
    }
    if (a == "--allow-path") {
      if (i + 1 >= args.size()) {
        err << "pagewright prepare: --allow-path needs a folder\n";
        PrintUsage(err);
        return kExitUsage;
      }
      allowed.push_back(args[++i]);
      continue;
    }
    if (a == "--csv" || a == "--data") {
      const size_t eq = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
      if (eq == std::string::npos || eq == 0 || eq + 1 == args[i + 1].size()) {
        err << "pagewright prepare: " << a << " needs NAME=" << (a == "--csv" ? "FILE" : "SOURCE") << "\n";
        PrintUsage(err);
        return kExitUsage;
      }
      sources.push_back({args[i + 1].substr(0, eq), args[i + 1].substr(eq + 1), {}});
      ++i;
      continue;
    }
    if (a == "--query") {
      if (sources.empty() || i + 1 >= args.size()) {
        err << "pagewright prepare: --query follows the --data it applies to and needs a value\n";
        PrintUsage(err);
        return kExitUsage;
      }
      sources.back().options.query = args[++i];
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
  if (!preparedFile.empty() && (!templateFile.empty() || !sources.empty())) {
    err << "pagewright prepare: --prepared dumps a saved report: no template or data with it\n";
    PrintUsage(err);
    return kExitUsage;
  }
  if ((templateFile.empty() && preparedFile.empty()) || !dump) {
    err << "pagewright prepare: "
        << (templateFile.empty() && preparedFile.empty() ? "no template given" : "--dump is required") << "\n";
    PrintUsage(err);
    return kExitUsage;
  }
  if (!preparedFile.empty()) return DumpSaved(preparedFile, saveFile, out, err);

  // Released after the report that points at them.
  std::vector<std::unique_ptr<TMemTable>> tables;
  std::vector<std::unique_ptr<TpgwDBDataset>> adapters;
  std::unique_ptr<TpgwReport> report;
  struct Release {
    std::unique_ptr<TpgwReport>& report;
    ~Release() { report.reset(); }
  } release{report};

  try {
    for (const DataSource& s : sources) tables.push_back(ReadSourceTable(s));
  } catch (const Exception& e) {
    err << "pagewright prepare: " << e.Message() << "\n";
    return kExitFailure;
  }
  report = LoadTemplate("prepare", templateFile, err, allowed);
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
  if (!saveFile.empty()) {
    try {
      pages->SaveToFile(Utf8ToUtf16(saveFile));
    } catch (const Exception& e) {
      err << "pagewright prepare: " << e.Message() << "\n";
      return kExitFailure;
    }
  }
  DumpPreparedPages(*pages, out);
  out.flush();
  return out ? kExitOk : kExitFailure;
}

}  // namespace

const CliCommand kPrepareCommand = {
    "prepare", kArguments, "prepares a template over CSV data and prints the pages as text", Prepare};

}  // namespace pagewright::cli
