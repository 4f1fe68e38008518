#include "driver/label_run.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "common/hostile_templates.h"
#include "common/run_program.h"
#include "common/service_doubles.h"
#include "common/temp_dir.h"
#include "common/label_record.h"
#include "data/db_dataset.h"
#include "startup/startup.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/safe_output.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "report/bands.h"
#include "report/report.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

const fs::path kTemplate =
    fs::path(PW_TEST_DATA_DIR) / ".." / ".." / "examples" / "label" / "reportes" / "EtiquetaVelmo.pw3";

using test_support::TempDir;

using test_support::ProgramResult;
using test_support::RunCommand;

// Runs the built label program with `dir` as its working directory; standard error is dropped.
ProgramResult RunLabelProgramIn(const fs::path& dir) {
  return RunCommand("cd '" + dir.string() + "' && '" + std::string(PW_BINARY_DIR) + "/bin/pagewright-label'");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LabelTable, HoldsTheTwentyColumnsAndTheOneRecord) {
  TMemTable table(nullptr);
  FillLabelTable(table);
  const auto& want = test_support::kLabel;
  ASSERT_EQ(table.FieldDefs().Count(), static_cast<int>(std::size(want)));
  ASSERT_EQ(table.RecordCount(), 1);
  table.First();
  for (int i = 0; i < table.FieldDefs().Count(); ++i) {
    const TFieldDef& def = table.FieldDefs()[i];
    const test_support::LabelField& w = want[i];
    SCOPED_TRACE(Utf16ToUtf8(w.name));
    EXPECT_EQ(def.Name(), w.name);
    EXPECT_EQ(def.DataType(), w.type);
    EXPECT_EQ(def.Size(), w.size);
    EXPECT_FALSE(def.Required());
    const TField& field = table.FieldByName(w.name);
    EXPECT_FALSE(field.IsNull());  // the empty operator is an empty string, not null
    if (w.type == ftInteger) {
      EXPECT_EQ(field.AsInteger(), w.number);
    } else {
      EXPECT_EQ(field.AsString(), w.text);
    }
  }
  EXPECT_EQ(table.FieldByName(u"proveedor_operador").AsString(), u"");
  EXPECT_EQ(table.FieldByName(u"destino_linea1").AsString(),
            table.FieldByName(u"lugar_entrega_linea1").AsString());
}

// --- the real program ---

TEST(LabelProgram, MissingTemplateEndsWithTheErrorLineAndExitCode1) {
  TempDir dir;
  fs::create_directory(dir.path / "scratch");
  const ProgramResult run = RunLabelProgramIn(dir.path);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            "Testing Pagewright template: reportes/EtiquetaVelmo.pw3\n"
            "ERROR: ELabelRunError: Template not found: reportes/EtiquetaVelmo.pw3\n");
}

// Until the template loader, the band engine and the writers are part of the build, preparing the
// label fails; the program must say so and fail, and write nothing.
TEST(LabelProgram, RendersTheLabelToAPdfAndOneJpegThatTheCheckersRead) {
  TempDir dir;
  fs::create_directory(dir.path / "reportes");
  fs::create_directory(dir.path / "scratch");
  fs::copy_file(kTemplate, dir.path / "reportes" / "EtiquetaVelmo.pw3");
  const ProgramResult run = RunLabelProgramIn(dir.path);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "Testing Pagewright template: reportes/EtiquetaVelmo.pw3\n"
            "Report prepared successfully. Pages: 1\n"
            "Exported PDF: scratch/EtiquetaBultoAXU_sample.pdf\n"
            "Exported JPEG: scratch/EtiquetaBultoAXU_sample.jpg\n"
            "ALL TESTS COMPLETED SUCCESSFULLY.\n");
  const fs::path pdf = dir.path / "scratch" / "EtiquetaBultoAXU_sample.pdf";
  const fs::path jpg = dir.path / "scratch" / "EtiquetaBultoAXU_sample.1.jpg";
  ASSERT_TRUE(fs::exists(pdf));
  ASSERT_TRUE(fs::exists(jpg));
  EXPECT_FALSE(fs::exists(dir.path / "scratch" / "EtiquetaBultoAXU_sample.jpg"));
  EXPECT_FALSE(fs::exists(dir.path / "scratch" / "EtiquetaBultoAXU_sample.2.jpg"));

  EXPECT_NE(RunCommand("qpdf --check '" + pdf.string() + "'").out.find("No syntax or stream encoding errors"),
            std::string::npos);
  const std::string text = RunCommand("pdftotext '" + pdf.string() + "' -").out;
  for (const char* expected : {"MIRANTO PASTELERIAS S.L.", "ALMAC\xc3\x89N CENTRAL", "C/ Lirena, 75 (CIUDAD)",
                               "54 / 58", "(00)384123450000000073"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  // Fonts travel with the file: "Arial" is drawn with a stand-in face, embedded as a subset.
  EXPECT_TRUE(std::regex_search(
      RunCommand("pdffonts '" + pdf.string() + "'").out,
      std::regex(R"([A-Z]{6}\+Liberation Sans\s+CID TrueType\s+Identity-H\s+yes yes yes)")));
  // The three GS1-128 symbols scan from the page image; zbarimg prints them without parentheses.
  const std::string codes = RunCommand("zbarimg --quiet '" + jpg.string() + "'").out;
  for (const char* expected :
       {"CODE-128:00384123450000000073", "CODE-128:9803000910264012640102", "CODE-128:91010003"})
    EXPECT_NE(codes.find(expected), std::string::npos) << expected << " in " << codes;
}

TEST(LabelProgram, MissingScratchFolderEndsWithTheErrorLineAndExitCode1) {
  TempDir dir;
  fs::create_directory(dir.path / "reportes");
  fs::copy_file(kTemplate, dir.path / "reportes" / "EtiquetaVelmo.pw3");
  const ProgramResult run = RunLabelProgramIn(dir.path);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[1], "Report prepared successfully. Pages: 1");
  EXPECT_TRUE(
      std::regex_match(lines[2], std::regex("ERROR: ELabelRunError: .*EtiquetaBultoAXU_sample\\.pdf.*")))
      << lines[2];
  EXPECT_FALSE(fs::exists(dir.path / "scratch"));
}

// Whatever is wrong with the template, the run stops right after loading with the load's error
// line, before preparing (which would start a new error list), and leaves no output behind.
TEST(LabelProgram, BrokenTemplatesEndWithTheLoadErrorAndExitCode1AndWriteNothing) {
  for (const test_support::HostileTemplate& c : test_support::HostileTemplates()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directory(dir.path / "reportes");
    fs::create_directory(dir.path / "scratch");
    std::ofstream(dir.path / "reportes" / "EtiquetaVelmo.pw3", std::ios::binary) << c.bytes;
    const ProgramResult run = RunLabelProgramIn(dir.path);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out.substr(0, 2000);
    EXPECT_EQ(lines[0], "Testing Pagewright template: reportes/EtiquetaVelmo.pw3");
    const std::string expected = "ERROR: ELabelRunError: reportes/EtiquetaVelmo.pw3: " + c.error;
    if (c.prefixOnly) {
      EXPECT_EQ(lines[1].rfind(expected, 0), 0u) << lines[1].substr(0, 400);
      EXPECT_LT(lines[1].size(), 1000u);  // the megabyte is not repeated
    } else {
      EXPECT_EQ(lines[1], expected);
    }
    EXPECT_TRUE(fs::is_empty(dir.path / "scratch"));
  }
}

// --- in-process: the real template, with stand-ins for the engine and the export walk ---

struct ExportSeen {
  std::string className;
  std::u16string fileName;
  bool showDialog, showProgress, openAfterExport, separateFiles;
};

class LabelRunWithDoubles : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeEngine();
    fs::create_directory(dir.path / "reportes");
    fs::create_directory(dir.path / "scratch");
    fs::copy_file(kTemplate, dir.path / "reportes" / "EtiquetaVelmo.pw3");
    paths.templatePath = (dir.path / "reportes" / "EtiquetaVelmo.pw3").string();
    paths.pdfPath = (dir.path / "scratch" / "EtiquetaBultoAXU_sample.pdf").string();
    paths.jpegPath = (dir.path / "scratch" / "EtiquetaBultoAXU_sample.jpg").string();
    InstallDoubles();
    services = DefaultReportServices();
    services.Script = &script;
    services.Engine = &engine;
    services.PreparedPages = &prepared;
    hooks.services = &services;
    hooks.preparedPageCount = [this](TpgwReport&) { return pages; };
    hooks.exportedPdfPageCount = [this](TpgwPDFExport&) { return pdfPages; };
  }

  void InstallDoubles() {
    engine.run = [this](TpgwReport& r) {
      listed.clear();
      enabled.clear();
      for (int i = 0; i < r.DataSets().Count(); ++i) listed.push_back(r.DataSets().Items(i).DataSet());
      for (int i = 0; i < r.EnabledDataSets().Count(); ++i)
        enabled.push_back(r.EnabledDataSets().Items(i).DataSet());
      auto* band = dynamic_cast<TpgwMasterData*>(r.FindObject(u"MasterData1"));
      bandDataSet = band ? band->DataSet() : nullptr;
      if (auto* adapter = listed.empty() ? nullptr : dynamic_cast<TpgwDBDataset*>(listed[0])) {
        adapterNames = Utf16ToUtf8(adapter->UserName() + u"/" + adapter->Name());
        adapterFields = adapter->DataSet() ? adapter->DataSet()->Fields().Count() : -1;
      }
      return true;
    };
    // Opens the output through the filter's transport as the writers do. The PDF walk reports a
    // failure and returns false; the raster filter catches its own write failure, adds it to the
    // report's errors and carries on, so its export still returns true.
    prepared.exportRun = [this](TpgwReport& r, TComponent& f) {
      auto& filter = dynamic_cast<TpgwCustomExportFilter&>(f);
      auto* image = dynamic_cast<TpgwCustomImageExport*>(&filter);
      seen.push_back({filter.ClassName(), filter.FileName(), filter.ShowDialog(), filter.ShowProgress(),
                      filter.OpenAfterExport(), image && image->SeparateFiles()});
      filter.SetReport(&r);
      TpgwCustomIOTransport* transport = filter.DefaultIOTransport();
      filter.SetIOTransport(transport);
      transport->InitFromExport(filter);
      bool ok = true;
      try {
        const WideString name = image ? ChangeFileExt(filter.FileName(), u".1.jpg") : filter.FileName();
        TStream* out = transport->GetStream(name);
        out->WriteBuffer("page");
        transport->FreeStream(out, name);
      } catch (const Exception& e) {
        r.Errors().Add(Utf8ToUtf16(e.Message()));
        r.ReportErrors();
        ok = image != nullptr;
      }
      transport->CloseFilter();
      filter.SetIOTransport(nullptr);
      return ok;
    };
  }

  TempDir dir;
  LabelRunPaths paths;
  LabelRunHooks hooks;
  ScriptServiceDouble script;
  EngineServiceDouble engine;
  PreparedPagesServiceDouble prepared;
  TpgwReportServices services;
  int pages = 1;
  int pdfPages = 1;
  std::vector<TComponent*> listed, enabled;
  TComponent* bandDataSet = nullptr;
  std::string adapterNames;  // user name and component name of the listed adapter
  int adapterFields = -1;    // columns of its table
  std::vector<ExportSeen> seen;
};

TEST_F(LabelRunWithDoubles, SuccessfulRunWritesFourLinesAndTheSuccessLine) {
  std::ostringstream out;
  EXPECT_EQ(RunLabelProgram(out, paths, hooks), 0);
  EXPECT_EQ(out.str(), "Testing Pagewright template: " + paths.templatePath + "\n" +
                           "Report prepared successfully. Pages: 1\n" + "Exported PDF: " + paths.pdfPath +
                           "\n" + "Exported JPEG: " + paths.jpegPath + "\n" +
                           "ALL TESTS COMPLETED SUCCESSFULLY.\n");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].className, "TpgwPDFExport");
  EXPECT_FALSE(seen[0].showDialog || seen[0].showProgress || seen[0].openAfterExport);
  EXPECT_EQ(seen[1].className, "TpgwJPEGExport");
  EXPECT_FALSE(seen[1].showDialog || seen[1].showProgress || seen[1].openAfterExport);
  EXPECT_TRUE(seen[1].separateFiles);
  // The filters write into a private folder inside the target folder; the finished files get
  // the final names, and nothing else stays.
  const fs::path scratch = dir.path / "scratch";
  for (const ExportSeen& e : seen) {
    EXPECT_EQ(fs::path(Utf16ToUtf8(e.fileName)).parent_path().parent_path(), scratch);
    EXPECT_NE(e.fileName, Utf8ToUtf16(paths.pdfPath));
  }
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(scratch)) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files,
            (std::vector<std::string>{"EtiquetaBultoAXU_sample.1.jpg", "EtiquetaBultoAXU_sample.pdf"}));
}

// A run whose report or PDF has no page fails and leaves no file.
TEST_F(LabelRunWithDoubles, NoPagesIsAFailure) {
  struct Case {
    int prepared, exported;
    std::string error;
  };
  for (const Case& c :
       {Case{0, 1, "ERROR: ELabelRunError: The report produced no pages"},
        Case{1, 0, "ERROR: ELabelRunError: The PDF export wrote no pages to " + paths.pdfPath}}) {
    SCOPED_TRACE(c.error);
    pages = c.prepared;
    pdfPages = c.exported;
    std::ostringstream out;
    EXPECT_EQ(RunLabelProgram(out, paths, hooks), 1);
    EXPECT_EQ(Lines(out.str()).back(), c.error);
    EXPECT_TRUE(fs::is_empty(dir.path / "scratch"));
  }
}

TEST_F(LabelRunWithDoubles, PageCountIsAPlainDecimal) {
  for (int count : {1, 7, 1234, 100000}) {
    pages = count;
    std::ostringstream out;
    ASSERT_EQ(RunLabelProgram(out, paths, hooks), 0);
    EXPECT_EQ(Lines(out.str()).at(1), "Report prepared successfully. Pages: " + std::to_string(count));
  }
}

TEST_F(LabelRunWithDoubles, AdapterIsTheOnlyDataSetAndFeedsMasterData1) {
  std::ostringstream out;
  ASSERT_EQ(RunLabelProgram(out, paths, hooks), 0) << out.str();
  // Seen while the engine runs; the objects are gone after the run.
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(enabled, listed);
  EXPECT_EQ(adapterNames, "pgwDBmaster/pgwDBmaster");
  EXPECT_EQ(adapterFields, 20);
  EXPECT_EQ(bandDataSet, listed[0]);
}

TEST_F(LabelRunWithDoubles, FailedExportStopsWithTheErrorLineAndExitCode1) {
  struct Case {
    const char* name;
    bool pdfFolderMissing;
    size_t linesBeforeError;
  };
  for (const Case& c : {Case{"pdf", true, 2}, Case{"jpeg", false, 3}}) {
    SCOPED_TRACE(c.name);
    seen.clear();
    const fs::path missing = dir.path / "missing";
    LabelRunPaths p = paths;
    (c.pdfFolderMissing ? p.pdfPath : p.jpegPath) =
        (missing / (c.pdfFolderMissing ? "label.pdf" : "label.jpg")).string();
    std::ostringstream out;
    EXPECT_EQ(RunLabelProgram(out, p, hooks), 1);
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), c.linesBeforeError + 1) << out.str();
    EXPECT_EQ(lines[1], "Report prepared successfully. Pages: 1");
    const std::string expected =
        "ERROR: ELabelRunError: Cannot create file \"" + missing.string() + "/label.";
    EXPECT_EQ(lines.back().rfind(expected, 0), 0u) << lines.back();
    EXPECT_FALSE(fs::exists(missing));  // no folder is made for the output
    // The PDF of a run whose JPEG failed is not left behind either.
    EXPECT_TRUE(fs::is_empty(dir.path / "scratch"));
  }
}

// A console that takes nothing: a run that otherwise succeeds is a failure.
// Ctrl-C after the PDF is written but before the JPEG: the run ends by the signal and leaves no
// file in the output folder, neither the finished PDF nor its private folder.
TEST_F(LabelRunWithDoubles, AnInterruptLeavesNoOutputBehind) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGINT, SIG_DFL);
    InstallInterruptCleanup();
    hooks.exportedPdfPageCount = [](TpgwPDFExport&) {
      raise(SIGINT);
      return 1;
    };
    std::ostringstream out;
    RunLabelProgram(out, paths, hooks);
    _exit(2);  // not reached
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_TRUE(fs::is_empty(dir.path / "scratch"));
}

TEST_F(LabelRunWithDoubles, FailedConsoleWriteIsAFailure) {
  struct RefusingBuffer : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } refusing;
  std::ostream out(&refusing);
  EXPECT_EQ(RunLabelProgram(out, paths, hooks), 1);
}

}  // namespace
}  // namespace pagewright
