// A template with a dialog page: it loads without errors, the page and its controls (classes
// this system does not have) are written back as they were, and preparing passes them by.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/run_program.h"
#include "common/temp_dir.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

// The file's text with its line breaks as "\n" (the writer ends lines with "\r\n").
std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::erase(text, '\r');
  return text;
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  const size_t a = text.find(from);
  const size_t b = text.find(to, a);
  return a == std::string::npos || b == std::string::npos ? std::string() : text.substr(a, b + to.size() - a);
}

TEST(DialogPage, LoadsKeepsItsControlsAndIsNotPrinted) {
  ASSERT_TRUE(test_support::CliProgramBuilt());
  const std::string tpl = std::string(PW_TEST_DATA_DIR) + "/templates/dialog_page.pw3";
  test_support::TempDir dir;
  const std::string tree = test_support::RunCommand("'" + test_support::CliProgram() + "' tree '" + tpl + "' 2>&1").out;
  EXPECT_EQ(tree.find("error"), std::string::npos) << tree;
  EXPECT_NE(tree.find("TpgwDialogPage DialogPage1"), std::string::npos) << tree;

  const fs::path out = dir.path / "again.pw3";
  ASSERT_EQ(test_support::RunCli("resave '" + tpl + "' '" + out.string() + "'").exitCode, 0);
  const std::string dialog = Between(ReadAll(tpl), "<TpgwDialogPage", "</TpgwDialogPage>");
  ASSERT_FALSE(dialog.empty());
  EXPECT_EQ(Between(ReadAll(out), "<TpgwDialogPage", "</TpgwDialogPage>"), dialog);

  const test_support::ProgramResult dump = test_support::RunCli("prepare '" + tpl + "' --dump");
  EXPECT_EQ(dump.exitCode, 0);
  EXPECT_EQ(dump.out, "1\tReportTitle1\t-\t0.00\t0.00\t377.95\t30.00\t\n1\tReportTitle1\tM\t0.00\t0.00\t200.00\t20.00\thello\n");
}

}  // namespace
}  // namespace pagewright
