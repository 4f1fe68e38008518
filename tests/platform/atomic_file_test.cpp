// Output files that appear only when complete: commit, discard, symbolic links at the final
// name, messages naming the file, and the clean-up when the process is interrupted.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "common/temp_dir.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(AtomicFile, AppearsUnderItsNameOnlyWhenCommitted) {
  TempDir dir;
  const fs::path final = dir.path / "out.pdf";
  {
    TAtomicFile f(final.string());
    f.WriteBuffer("%PDF-");
    EXPECT_FALSE(fs::exists(final));
    EXPECT_EQ(fs::path(f.TempPath()).parent_path(), dir.path);  // beside the final name
    f.Commit();
  }
  EXPECT_EQ(Names(dir.path), std::set<std::string>{"out.pdf"});
  EXPECT_EQ(Read(final), "%PDF-");

  // Not committed: an earlier file of that name stays as it was, and nothing else is left.
  {
    TAtomicFile f(final.string());
    f.WriteBuffer("half");
    f.FinishWriting();
  }
  {
    TAtomicFile f(final.string());
    f.WriteBuffer("discarded");
    f.Discard();
    EXPECT_THROW(f.Commit(), EAtomicFileError);
  }
  EXPECT_EQ(Names(dir.path), std::set<std::string>{"out.pdf"});
  EXPECT_EQ(Read(final), "%PDF-");
}

TEST(AtomicFile, ReplacesASymbolicLinkInsteadOfWritingThroughIt) {
  TempDir dir;
  const fs::path target = dir.path / "elsewhere.txt";
  std::ofstream(target) << "keep";
  fs::create_symlink(target, dir.path / "out.pdf");
  TAtomicFile f((dir.path / "out.pdf").string());
  f.WriteBuffer("new");
  f.Commit();
  EXPECT_FALSE(fs::is_symlink(dir.path / "out.pdf"));
  EXPECT_EQ(Read(dir.path / "out.pdf"), "new");
  EXPECT_EQ(Read(target), "keep");
}

TEST(AtomicFile, FailuresNameTheFinalFile) {
  TempDir dir;
  const std::string missing = (dir.path / "no" / "x.pdf").string();
  try {
    TAtomicFile f(missing);
    FAIL() << "created in a missing folder";
  } catch (const EAtomicFileError& e) {
    EXPECT_EQ(e.Message(), missing + ": No such file or directory");
  }
  fs::create_directory(dir.path / "taken");
  TAtomicFile f((dir.path / "taken").string());
  f.WriteBuffer("x");
  try {
    f.Commit();
    FAIL() << "renamed over a folder";
  } catch (const EAtomicFileError& e) {
    EXPECT_EQ(e.Message(), (dir.path / "taken").string() + ": Is a directory");
  }
  f.Discard();
  EXPECT_EQ(Names(dir.path), std::set<std::string>{"taken"});
}

// A child process with pending files and a scratch folder interrupts itself: the handler removes
// them all and the process still ends by the signal.
TEST(AtomicFile, AnInterruptRemovesPendingFilesAndScratchFolders) {
  TempDir dir;
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    signal(SIGINT, SIG_DFL);
    InstallInterruptCleanup();
    TScratchFolder scratch;
    std::ofstream(scratch.Path() + "/cache.tmp") << "pages";
    TAtomicFile a((dir.path / "a.pdf").string());
    TAtomicFile b((dir.path / "b.jpg").string());
    a.WriteBuffer("a");
    b.FinishWriting();
    const std::string path = scratch.Path();
    if (write(pipeFds[1], path.data(), path.size()) != static_cast<ssize_t>(path.size())) _exit(3);
    close(pipeFds[1]);
    raise(SIGINT);
    _exit(2);  // not reached
  }
  close(pipeFds[1]);
  std::string scratchPath;
  char buf[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) scratchPath.append(buf, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_TRUE(Names(dir.path).empty());
  ASSERT_FALSE(scratchPath.empty());
  EXPECT_FALSE(fs::exists(scratchPath));
}

}  // namespace
}  // namespace pagewright
