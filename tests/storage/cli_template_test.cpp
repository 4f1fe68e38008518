// `pagewright tree` and `pagewright resave` end to end: runs the built command-line program when
// it is there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/hostile_templates.h"
#include "common/run_program.h"

namespace pagewright {
namespace {

using test_support::CliProgram;
using test_support::CliProgramBuilt;

const std::string kTemplates = PW_TEST_DATA_DIR "/templates";
const std::string kLabel = PW_TEST_DATA_DIR "/../../examples/label/reportes/EtiquetaVelmo.pw3";

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string Scratch(const std::string& name) {
  const std::string dir = std::string(PW_BINARY_DIR) + "/cli-template-test";
  std::filesystem::create_directories(dir);
  return dir + "/" + name;
}

// Runs the program with (shell-quoted) arguments, keeping standard output and error apart.
CliRun RunCli(const std::string& args) {
  CliRun r;
  const std::string errFile = Scratch("stderr.txt");
  const std::string cmd = "'" + CliProgram() + "' " + args + " 2>'" + errFile + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = ReadFile(errFile);
  return r;
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

TEST(CliTree, PrintsTheTreeIndentedWithGeometry) {
  if (!CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const CliRun r = RunCli("tree " + Quote(kTemplates + "/all_bands.pw3"));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.substr(0, r.out.find("    TpgwPageHeader")),
            "TpgwReport - 0 0 0 0\n"
            "  TpgwDataPage Data 4 5 800 900\n"
            "  TpgwReportPage Page1 0 0 1123 794\n"
            "    TpgwReportTitle ReportTitle1 0 16 718.1107 22.5\n");
  EXPECT_NE(r.out.find("\n    TpgwNullBand NullBand1 0 0 0 0\n"), std::string::npos);
}

TEST(CliTree, ErrorLinesGoToStandardErrorWithExitOne) {
  if (!CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const std::string file = Scratch("unknown.pw3");
  std::ofstream(file, std::ios::binary) << "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n"
                                           "<TpgwReport><TpgwNoSuchPage Name=\"X\"><TpgwMasterData "
                                           "Name=\"M\"/></TpgwNoSuchPage></TpgwReport>\r\n";
  const CliRun r = RunCli("tree " + Quote(file));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "TpgwReport - 0 0 0 0\n  TpgwDataPage Data 0 0 1000 1000\n");
  EXPECT_EQ(r.err, "error: " + file + ": line 2: Cannot find class TpgwNoSuchPage\n");
}

// Each problem of the load is one line naming the file, the element and the attribute; the
// exit status says the load was not clean.
TEST(CliTree, BrokenTemplatesGiveOneErrorLineNamingThePlaceAndExitOne) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  const std::string file = Scratch("hostile.pw3");
  for (const test_support::HostileTemplate& c : test_support::HostileTemplates()) {
    SCOPED_TRACE(c.name);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;
    const CliRun r = RunCli("tree " + Quote(file));
    EXPECT_EQ(r.exitCode, 1);
    const std::string expected = "error: " + file + ": " + c.error;
    if (c.prefixOnly) {
      EXPECT_EQ(r.err.rfind(expected, 0), 0u) << r.err.substr(0, 400);
      EXPECT_LT(r.err.size(), 1000u);
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    } else {
      EXPECT_EQ(r.err, expected + "\n");
    }
    // The tree is printed with what could be read: the report at least.
    EXPECT_EQ(r.out.rfind("TpgwReport - ", 0), 0u) << r.out;
  }
}

// The later of two objects with one name is kept under a name of its own.
TEST(CliTree, SecondObjectOfATakenNameIsKeptUnderANewName) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  const std::string file = Scratch("duplicate.pw3");
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      << test_support::LabelTemplateWith("Name=\"MemoEntregaLinea2\"", "Name=\"MemoEntregaLinea1\"");
  const CliRun r = RunCli("tree " + Quote(file));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("      TpgwMemoView MemoEntregaLinea1 0 66 187 15\n"
                       "      TpgwMemoView Memo1 0 81 187 13\n"
                       "      TpgwMemoView MemoEntregaLinea3 0 94 187 13\n"),
            std::string::npos)
      << r.out;
}

// An unreadable character reference in a name costs that name only: every later object loads.
TEST(CliTree, BadNameLosesOnlyThatName) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  const std::string good = Scratch("good.pw3"), bad = Scratch("badname.pw3");
  std::ofstream(good, std::ios::binary | std::ios::trunc) << test_support::LabelTemplateBytes();
  std::ofstream(bad, std::ios::binary | std::ios::trunc)
      << test_support::LabelTemplateWith("Name=\"MemoProveedorDir\"", "Name=\"Memo&#;Dir\"");
  const CliRun g = RunCli("tree " + Quote(good));
  const CliRun b = RunCli("tree " + Quote(bad));
  ASSERT_EQ(g.exitCode, 0) << g.err;
  std::string expected = g.out;
  const std::string named = "TpgwMemoView MemoProveedorDir ";
  expected.replace(expected.find(named), named.size(), "TpgwMemoView - ");
  EXPECT_EQ(b.out, expected);
}

TEST(CliTree, UnreadableFilesAndWrongArguments) {
  if (!CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  for (const char* args : {"tree /nonexistent/none.pw3", "tree /"}) {
    const CliRun r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << args;
    EXPECT_EQ(r.out, "");
  }
  for (const char* args : {"tree", "tree a b", "tree --bogus", "resave only-one", "resave --nope a b"}) {
    const CliRun r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.err.find("usage: pagewright"), std::string::npos) << args;
  }
  for (const char* args : {"tree --help", "resave --help"}) {
    const CliRun r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << args;
    EXPECT_NE(r.out.find("usage: pagewright"), std::string::npos) << args;
  }
  const CliRun help = RunCli("--help");
  EXPECT_NE(help.out.find("  tree TEMPLATE"), std::string::npos);
  EXPECT_NE(help.out.find("  resave [--defaults] [--force] IN OUT"), std::string::npos);
}

// A picture this system cannot decode is said with its place, and resaving keeps its bytes.
TEST(CliResave, KeepsAPictureItCannotDecode) {
  if (!CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const std::string source = kTemplates + "/undecodable_picture.pw3", saved = Scratch("undecodable.pw3");
  const std::string message =
      "line 5: <TpgwPictureView Name=\"Logo\">: Picture.PropData: the picture could not be decoded; its 138 bytes "
      "are kept as they were\n";
  const CliRun tree = RunCli("tree " + Quote(source));
  EXPECT_EQ(tree.exitCode, 1);
  EXPECT_EQ(tree.err, "error: " + source + ": " + message);
  const CliRun resave = RunCli("resave " + Quote(source) + " " + Quote(saved));
  EXPECT_EQ(resave.exitCode, 1) << resave.err;  // the load had an error; the file is saved anyway
  auto propData = [](const std::string& text) {
    const size_t at = text.find("Picture.PropData=\"");
    return at == std::string::npos ? std::string() : text.substr(at, text.find('"', at + 18) - at);
  };
  EXPECT_FALSE(propData(ReadFile(source)).empty());
  EXPECT_EQ(propData(ReadFile(saved)), propData(ReadFile(source)));
}

TEST(CliResave, SavesAgainStablyAndWithDefaultsOnRequest) {
  if (!CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  const std::string once = Scratch("once.pw3"), twice = Scratch("twice.pw3"), full = Scratch("full.pw3");
  const CliRun a = RunCli("resave " + Quote(kTemplates + "/report_features.pw3") + " " + Quote(once));
  EXPECT_EQ(a.exitCode, 0) << a.err;
  const CliRun b = RunCli("resave " + Quote(once) + " " + Quote(twice));
  EXPECT_EQ(b.exitCode, 0) << b.err;
  EXPECT_EQ(ReadFile(twice), ReadFile(once));
  EXPECT_NE(ReadFile(once).find("<TpgwMasterData Name=\"MasterData1\""), std::string::npos);

  const CliRun c = RunCli("resave --defaults " + Quote(once) + " " + Quote(full));
  EXPECT_EQ(c.exitCode, 0) << c.err;
  EXPECT_EQ(ReadFile(once).find("Visible=\"True\""), std::string::npos);
  EXPECT_NE(ReadFile(full).find("Visible=\"True\""), std::string::npos);
  // Defaults written out read back to the same tree.
  const CliRun t1 = RunCli("tree " + Quote(once));
  const CliRun t2 = RunCli("tree " + Quote(full));
  EXPECT_EQ(t1.out, t2.out);

  const CliRun d = RunCli("resave " + Quote(once) + " /nonexistent/dir/out.pw3");
  EXPECT_EQ(d.exitCode, 1);
  EXPECT_NE(d.err.find("cannot save"), std::string::npos);
}

}  // namespace
}  // namespace pagewright
