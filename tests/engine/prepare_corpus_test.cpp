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
    const char* data;  // data set name = CSV file name
    const char* options = "";
  } cases[] = {
      {"nested_groups", "sales"},           // two group levels, a header computed at its group's end, totals
      {"split_band", "notes"},              // a filled, framed band printed in parts over pages
      {"double_pass_total", "sales"},       // [TotalPages] in an expression, known in a double pass
      {"page_footer_line_sums", "numbers"},  // page footers summing Line under a reprinted header
      {"negative_tops", "sales"},            // bands above the page's top still in their vertical order
      {"duplicates", "sales"},               // equal neighbours hidden or cleared, values computed later too
      {"scripted", "sales", " --scripts"},   // an event procedure of the report script rewrites even rows
      {"engine_script", "sales", " --scripts"}  // events ask Engine and PreviewPages, start a page, add outline items
  };
  const bool update = std::getenv("PW_UPDATE_GOLDEN") != nullptr;
  for (const Case& c : cases) {
    const std::string tmpl = kCorpus + "/" + c.name + ".pw3";
    const std::string golden = kCorpus + "/" + c.name + ".dump";
    const std::string args = "prepare " + Quote(tmpl) + " --dump --csv " +
                             Quote(std::string(c.data) + "=" + kCorpus + "/" + c.data + ".csv") + c.options;
    const test_support::ProgramResult first = RunPrepare(args);
    ASSERT_EQ(first.exitCode, 0) << c.name;
    // The same run gives the same dump.
    EXPECT_EQ(RunPrepare(args).out, first.out) << c.name;
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
