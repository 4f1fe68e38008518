// Outputs of a job of several files: finished but not yet committed, and the clean-up of pending
// files and scratch folders when the process is interrupted.
#include "platform/safe_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "common/temp_dir.h"
#include "platform/exceptions.h"

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

// Finished outputs stay temporary until committed: a job of several files finishes all of them
// before it renames any, and one that fails after that leaves the earlier files as they were.
TEST(SafeOutputJob, FinishedOutputsAppearOnlyWhenCommitted) {
  TempDir dir;
  const fs::path final = dir.path / "out.pdf";
  std::ofstream(final) << "%PDF-old";
  {
    TSafeOutputStream f(final.string());
    f.WriteBuffer("half");
    f.FinishWriting();
    f.FinishWriting();  // again: nothing more to do
    EXPECT_EQ(Read(final), "%PDF-old");
  }
  {
    TSafeOutputStream f(final.string());
    f.WriteBuffer("new");
    f.Discard();
    EXPECT_THROW(f.Commit(), EWriteError);
  }
  EXPECT_EQ(Names(dir.path), std::set<std::string>{"out.pdf"});
  EXPECT_EQ(Read(final), "%PDF-old");
  TSafeOutputStream f(final.string());
  f.WriteBuffer("%PDF-new");
  f.FinishWriting();
  f.Commit();
  EXPECT_EQ(Read(final), "%PDF-new");
  EXPECT_EQ(Names(dir.path), std::set<std::string>{"out.pdf"});
}

// A child process with pending files and a scratch folder interrupts itself: the handler removes
// them all and the process still ends by the signal.
TEST(SafeOutputJob, AnInterruptRemovesPendingFilesAndScratchFolders) {
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
    TSafeOutputStream a((dir.path / "a.pdf").string());
    TSafeOutputStream b((dir.path / "b.jpg").string());
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
