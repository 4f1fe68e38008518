// `pagewright prepare --dump` over the corpus in tests/data/engine: each template prepared over
// its CSV data must print its golden dump. PW_UPDATE_GOLDEN=1 rewrites the goldens (review the
// diff before committing).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/run_program.h"
#include "common/temp_dir.h"

namespace pagewright {
namespace {

using test_support::CliProgramBuilt;

const std::string kCorpus = PW_TEST_DATA_DIR "/engine";

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  q += s;
  q += '\'';
  return q;
}

// Runs the program with (shell-quoted) arguments; standard error goes to `errFile`.
test_support::ProgramResult RunPrepare(const std::string& args, const std::string& errFile = "/dev/null") {
  test_support::ProgramResult r;
  std::string command = Quote(test_support::CliProgram());
  command += ' ';
  command += args;
  command += " 2>";
  command += Quote(errFile);
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(PrepareCorpus, EachTemplatePrintsItsGoldenDump) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  struct Case {
    const char* name;  // template and golden dump
    const char* data;  // comma-separated data set names, each NAME (reads NAME.csv) or NAME:FILE (FILE.csv)
    const char* options = "";
  } cases[] = {
      {"nested_groups", "sales"},           // two group levels, a header computed at its group's end, totals
      {"split_band", "notes"},              // a filled, framed band printed in parts over pages
      {"double_pass_total", "sales"},       // [TotalPages] in an expression, known in a double pass
      {"page_footer_line_sums", "numbers"},  // page footers summing Line under a reprinted header
      {"negative_tops", "sales"},            // bands above the page's top still in their vertical order
      {"duplicates", "sales"},               // equal neighbours hidden or cleared, values computed later too
      {"scripted", "sales", " --scripts"},   // an event procedure of the report script rewrites even rows
      {"engine_script", "sales", " --scripts"},  // events ask Engine and PreviewPages, start a page, add outline items
      {"subreports", "sales,notes,few"},  // two subreports side by side, the longer one running onto the next page
      {"subreport_on_parent", "sales,notes"},  // a subreport printed onto its stretching, filled band
      // three group levels with totals at each, a running total, a header reprinted on the next
      // page still totalling its whole group
      {"groups_three_deep", "ship:shipments"},
      {"master_detail", "customers,orders,items"},  // master, detail, subdetail by filters; footers at each level
      {"columns", "numbers,few"},                   // page columns with column and page sums; band columns
      {"keep_together", "ship:shipments"},          // a group that does not fit moves whole to the next page
      // a group starting a new page with its own page numbers in a double pass
      {"reset_page_numbers", "ship:shipments"},
      {"empty_data", "ship:empty"},  // no records: the title and the summary's empty case
  };
  const bool update = std::getenv("PW_UPDATE_GOLDEN") != nullptr;
  test_support::TempDir dir;
  for (const Case& c : cases) {
    const std::string tmpl = kCorpus + "/" + c.name + ".pw3";
    const std::string golden = kCorpus + "/" + c.name + ".dump";
    std::string args = "prepare " + Quote(tmpl) + " --dump" + c.options;
    for (std::string names = c.data; !names.empty();) {
      const size_t comma = names.find(',');
      const std::string entry = names.substr(0, comma);
      const size_t colon = entry.find(':');
      const std::string name = entry.substr(0, colon);
      const std::string file = colon == std::string::npos ? name : entry.substr(colon + 1);
      args += " --csv " + Quote(name + "=" + kCorpus + "/" + file + ".csv");
      names = comma == std::string::npos ? "" : names.substr(comma + 1);
    }
    const std::string saved = (dir.path / (std::string(c.name) + ".fp3")).string();
    const std::string savedAgain = (dir.path / (std::string(c.name) + ".again.fp3")).string();
    const test_support::ProgramResult first = RunPrepare(args + " --save " + Quote(saved));
    ASSERT_EQ(first.exitCode, 0) << c.name;
    // The same run gives the same dump.
    EXPECT_EQ(RunPrepare(args).out, first.out) << c.name;
    // The saved prepared report loads back to the same pages and saves to the same bytes.
    const test_support::ProgramResult loaded =
        RunPrepare("prepare --prepared " + Quote(saved) + " --dump --save " + Quote(savedAgain));
    EXPECT_EQ(loaded.exitCode, 0) << c.name;
    EXPECT_EQ(loaded.out, first.out) << c.name << ": loaded back";
    EXPECT_EQ(ReadFile(savedAgain), ReadFile(saved)) << c.name << ": saved twice";
    if (update) {
      std::ofstream(golden, std::ios::binary) << first.out;
      continue;
    }
    ASSERT_TRUE(std::filesystem::exists(golden)) << golden << " is missing; run with PW_UPDATE_GOLDEN=1";
    EXPECT_EQ(first.out, ReadFile(golden)) << c.name;
  }
}

TEST(PrepareCorpus, BadArgumentsAndDataFailWithTheirExitCodes) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  test_support::TempDir dir;
  const std::string badCsv = (dir.path / "bad.csv").string();
  std::ofstream(badCsv) << "title\n\"never closed\n";
  const std::string shortCsv = (dir.path / "short.csv").string();
  std::ofstream(shortCsv) << "a,b\n1,2\n3\n";
  const std::string tmpl = Quote(kCorpus + "/split_band.pw3");
  const std::string errFile = (dir.path / "err.txt").string();
  struct Case {
    std::string args;
    int exitCode;
    std::string message;  // part of standard error
  } cases[] = {
      {"prepare " + tmpl, 2, "--dump is required"},
      {"prepare --dump", 2, "no template given"},
      {"prepare " + tmpl + " --dump --csv notes", 2, "--csv needs NAME=FILE"},
      {"prepare " + tmpl + " --dump --csv notes=" + Quote(badCsv), 1,
       "bad.csv:2: a quoted field is not closed before the end of the file"},
      {"prepare " + tmpl + " --dump --data notes=" + Quote(shortCsv), 1, "short.csv:3: 1 fields, but the header has 2"},
      {"prepare " + tmpl + " --dump --query x", 2, "--query follows the --data it applies to"},
      {"prepare " + Quote((dir.path / "none.pw3").string()) + " --dump", 1, "cannot read"},
      // A subreport whose page holds it would print forever.
      {"prepare " + Quote(kCorpus + "/subreport_self.pw3") + " --dump --csv sales=" + Quote(kCorpus + "/sales.csv") +
           " --csv notes=" + Quote(kCorpus + "/notes.csv"),
       1, "Subreport Again: its page Page2 is already printing"},
      {"prepare --prepared " + Quote(badCsv) + " --dump", 1, "bad.csv"},
      {"prepare " + tmpl + " --prepared " + Quote(badCsv) + " --dump", 2, "no template or data with it"},
  };
  for (const Case& c : cases) {
    const test_support::ProgramResult r = RunPrepare(c.args, errFile);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args;
    EXPECT_TRUE(r.out.empty()) << c.args;
    EXPECT_NE(ReadFile(errFile).find(c.message), std::string::npos) << c.args << ": " << ReadFile(errFile);
  }
}

// The report script runs only with --scripts; without it the dump is the template's own and a note
// says so. With it, whatever goes wrong in the script ends the run with one line naming the place.
TEST(PrepareCorpus, ReportScriptsRunOnlyWhenAskedAndFailWithTheirPlace) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  test_support::TempDir dir;
  const std::string original = ReadFile(kCorpus + "/scripted.pw3");
  auto variant = [&](const std::string& from, const std::string& to) {
    std::string text = original;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    const std::string file = (dir.path / ("t" + std::to_string(std::hash<std::string>()(to)) + ".pw3")).string();
    std::ofstream(file, std::ios::binary) << text;
    return file;
  };
  const std::string data = " --csv " + Quote("sales=" + kCorpus + "/sales.csv");
  const std::string errFile = (dir.path / "err.txt").string();
  struct Case {
    std::string file, options;
    int exitCode;
    std::string message;  // part of standard error
  } cases[] = {
      {kCorpus + "/scripted.pw3", "", 0, "the template's script did not run; --scripts runs them"},
      {variant("Rows := Rows + 1;", "Rows := Rows + ;"), " --scripts", 1, "Report script at 5:18: Expression expected"},
      {variant("Rows := Rows + 1;", "Rows := Rows div 0;"), " --scripts", 1,
       "Report script at 5:16, in MemoNameOnBeforePrint called for MemoName: EDivByZero: Division by zero"},
      {variant("Rows := Rows + 1;", "while True do Rows := Rows + 1;"), " --scripts", 1, "in MemoNameOnBeforePrint"},
      {variant("OnBeforePrint=\"MemoNameOnBeforePrint\"", "OnBeforePrint=\"Gone\""), " --scripts", 1,
       "MemoName: the event procedure Gone is not declared in the report script"},
  };
  for (const Case& c : cases) {
    const test_support::ProgramResult r = RunPrepare("prepare " + Quote(c.file) + " --dump" + data + c.options, errFile);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.message;
    EXPECT_NE(ReadFile(errFile).find(c.message), std::string::npos) << ReadFile(errFile);
  }
  // Without the switch, nothing of the script shows in the pages.
  const test_support::ProgramResult plain = RunPrepare("prepare " + Quote(kCorpus + "/scripted.pw3") + " --dump" + data);
  EXPECT_EQ(plain.out.find("even row"), std::string::npos);
  EXPECT_NE(plain.out.find("Bert"), std::string::npos);
}

}  // namespace
}  // namespace pagewright
