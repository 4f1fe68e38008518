// `pagewright resave` never destroys the template it was given: a load with errors does not
// overwrite the input, and a full disk, a symbolic link or a read-only folder leave the previous
// output as it was. Runs the built command-line program when it is there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/run_program.h"
#include "common/temp_dir.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

using test_support::CliProgram;
using test_support::CliProgramBuilt;
using test_support::TempDir;

const std::string kAllBands = PW_TEST_DATA_DIR "/templates/all_bands.pw3";

// A template whose load reports an error: the unknown page is left out when it is saved.
const char* const kWithLoadError =
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n"
    "<TpgwReport><TpgwNoSuchPage Name=\"X\"><TpgwMasterData Name=\"M\"/></TpgwNoSuchPage>"
    "<TpgwReportPage Name=\"Page1\"/></TpgwReport>\r\n";

struct ResaveRun {
  int exitCode = -1;
  std::string err;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `prefix pagewright resave args` through the shell; standard error is kept.
ResaveRun Resave(const TempDir& dir, const std::string& args, const std::string& prefix = "") {
  ResaveRun r;
  const std::string errFile = (dir.path.parent_path() / (dir.path.filename().string() + ".err")).string();
  const std::string cmd = prefix + Quote(CliProgram()) + " resave " + args + " 2>" + Quote(errFile);
  const int status = std::system(cmd.c_str());
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = ReadAll(errFile);
  fs::remove(errFile);
  return r;
}

TEST(CliResaveOutput, ALoadWithErrorsDoesNotOverwriteTheInputUnlessForced) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  TempDir dir;
  const fs::path t = dir.path / "t.pw3";
  std::ofstream(t, std::ios::binary) << kWithLoadError;

  const ResaveRun refused = Resave(dir, Quote(t.string()) + " " + Quote(t.string()));
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "error: " + t.string() + ": line 2: Cannot find class TpgwNoSuchPage\n"
                         "pagewright resave: " + t.string() +
                             ": not saved over the input because its load had errors (--force saves anyway)\n");
  EXPECT_EQ(ReadAll(t), kWithLoadError);

  // Through another name of the same file too.
  const fs::path alias = dir.path / "alias.pw3";
  fs::create_hard_link(t, alias);
  EXPECT_EQ(Resave(dir, Quote(t.string()) + " " + Quote(alias.string())).exitCode, 1);
  EXPECT_EQ(ReadAll(t), kWithLoadError);
  fs::remove(alias);

  // Another output is written; the exit status still says the load had errors.
  const ResaveRun other = Resave(dir, Quote(t.string()) + " " + Quote((dir.path / "other.pw3").string()));
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_EQ(ReadAll(dir.path / "other.pw3").find("TpgwNoSuchPage"), std::string::npos);

  const ResaveRun forced = Resave(dir, "--force " + Quote(t.string()) + " " + Quote(t.string()));
  EXPECT_EQ(forced.exitCode, 1);
  EXPECT_EQ(ReadAll(t).find("TpgwNoSuchPage"), std::string::npos);
  EXPECT_NE(ReadAll(t).find("Name=\"Page1\""), std::string::npos);
  EXPECT_EQ(Listing(dir.path), (std::vector<std::string>{"other.pw3", "t.pw3"}));
}

TEST(CliResaveOutput, AFullDiskKeepsThePreviousOutput) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  TempDir dir;
  const fs::path out = dir.path / "out.pw3";
  std::ofstream(out, std::ios::binary) << "previous template";
  // A 1 KB file size limit (2 blocks of 512 bytes) stands in for a full disk; the saved template is
  // larger. SIGXFSZ is ignored so that the write fails instead of killing the program.
  const ResaveRun r = Resave(dir, Quote(kAllBands) + " " + Quote(out.string()), "trap '' XFSZ; ulimit -f 2; ");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "pagewright resave: cannot save: " + out.string() + ": File too large\n");
  EXPECT_EQ(ReadAll(out), "previous template");
  EXPECT_EQ(Listing(dir.path), std::vector<std::string>{"out.pw3"});
}

TEST(CliResaveOutput, ASymbolicLinkAtTheOutputIsNotFollowedNorReplaced) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  TempDir dir;
  const fs::path victim = dir.path / "victim.txt", link = dir.path / "out.pw3";
  std::ofstream(victim, std::ios::binary) << "not a template";
  fs::create_symlink(victim, link);
  const ResaveRun r = Resave(dir, Quote(kAllBands) + " " + Quote(link.string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "pagewright resave: cannot save: Cannot create file \"" + link.string() +
                       "\". It is a symbolic link and is not replaced\n");
  EXPECT_EQ(ReadAll(victim), "not a template");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Listing(dir.path), (std::vector<std::string>{"out.pw3", "victim.txt"}));
}

TEST(CliResaveOutput, AReadOnlyFolderIsAClearErrorAndChangesNothing) {
  if (!CliProgramBuilt()) GTEST_SKIP() << "the pagewright program is not built";
  TempDir dir;
  const fs::path out = dir.path / "out.pw3";
  std::ofstream(out, std::ios::binary) << "previous template";
  fs::permissions(dir.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
  // Root writes anywhere: as root the program runs as an unprivileged user.
  const std::string prefix = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  if (geteuid() != 0) fs::permissions(dir.path, fs::perms::owner_write, fs::perm_options::remove);
  const ResaveRun r = Resave(dir, Quote(kAllBands) + " " + Quote(out.string()), prefix);
  fs::permissions(dir.path, fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "pagewright resave: cannot save: Cannot create file \"" + out.string() +
                       "\". Permission denied\n");
  EXPECT_EQ(ReadAll(out), "previous template");
  EXPECT_EQ(Listing(dir.path), std::vector<std::string>{"out.pw3"});
}

}  // namespace
}  // namespace pagewright
