// Output files that replace their target only when complete: a full disk, a symbolic link at the
// output name, a read-only folder or an abandoned write leave the previous file as it was and no
// temporary file behind.
#include "platform/safe_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

class SafeOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pw-safe-output-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  // The names in the folder, sorted: shows any temporary file left behind.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Runs the job in a child process (for process limits and other users) and returns what it
  // reported, or a note on how it died.
  static std::string InChild(const std::function<std::string()>& job) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      std::string text;
      try {
        text = job();
      } catch (const Exception& e) {
        text = std::string(e.ClassName()) + ": " + e.Message();
      }
      (void)!write(fds[1], text.data(), text.size());
      _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return "child died with status " + std::to_string(status);
    return text;
  }
  std::string dir_;
};

TEST_F(SafeOutputTest, CommitCreatesOrReplacesTheTargetAndLeavesNoTemporaryFile) {
  const std::string target = Path("out.pdf");
  WriteFileSafely(target, "first");
  EXPECT_EQ(Read(target), "first");
  chmod(target.c_str(), 0640);
  WriteFileSafely(target, "second, longer");
  EXPECT_EQ(Read(target), "second, longer");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replacement keeps the permissions of the file it replaces";
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.pdf"});
}

TEST_F(SafeOutputTest, AnOutputNotCommittedLeavesThePreviousFile) {
  const std::string target = Path("out.jpg");
  Write(target, "good");
  {
    TSafeOutputStream out(target);
    out.WriteBuffer("half a pic", 10);
    EXPECT_EQ(Read(target), "good") << "nothing reaches the target before the commit";
    EXPECT_EQ(Listing().size(), 2u);
  }
  EXPECT_EQ(Read(target), "good");
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.jpg"});
}

// Small writes are collected into blocks: the bytes, the position the writer asks for, and a
// seek back over collected bytes must all come out as if every write went straight to the file.
TEST_F(SafeOutputTest, CollectedWritesKeepBytesAndPositions) {
  const std::string target = Path("big.pdf");
  std::string expected;
  {
    TSafeOutputStream out(target);
    for (int i = 0; expected.size() < 150000; ++i) {
      const std::string piece = i % 1000 == 999 ? std::string(70000, static_cast<char>('a' + i % 26))
                                                 : "obj " + std::to_string(i) + "\n";
      out.WriteBuffer(piece);
      expected += piece;
      if (i % 97 == 0) {
        ASSERT_EQ(out.Position(), static_cast<int64_t>(expected.size())) << i;
      }
    }
    out.Seek(4, soBeginning);
    out.WriteBuffer("X");
    expected[4] = 'X';
    out.Seek(0, soEnd);
    out.WriteBuffer("%%EOF");
    expected += "%%EOF";
    EXPECT_EQ(out.Position(), static_cast<int64_t>(expected.size()));
    out.Commit();
  }
  EXPECT_EQ(Read(target), expected);
}

// A job of many files flushes them to the disk once, not once each, and commits them all.
TEST_F(SafeOutputTest, ManyFilesFinishedWithoutSyncAreFlushedTogether) {
  fs::create_directory(Path("pages"));
  std::vector<std::unique_ptr<TSafeOutputStream>> files;
  std::vector<std::string> names;
  const std::vector<std::string> written = {"a.jpg", "pages/b.jpg", "pages/c.jpg"};
  for (const std::string& name : written) {
    files.push_back(std::make_unique<TSafeOutputStream>(Path(name)));
    files.back()->WriteBuffer(name);
    files.back()->FinishWriting(false);
    names.push_back(Path(name));
  }
  SyncFileSystemsOf(names);
  for (auto& f : files) f->Commit(false);
  SyncFoldersOf(names);
  for (const std::string& name : written) EXPECT_EQ(Read(Path(name)), name);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"a.jpg", "pages"}));
  try {
    SyncFileSystemsOf({Path("gone/x.jpg")});
    ADD_FAILURE() << "a folder that is not there";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), Path("gone/x.jpg") + ": No such file or directory");
  }
}

TEST_F(SafeOutputTest, AFullDiskLeavesThePreviousFileAndNamesTheTarget) {
  const std::string target = Path("x.pdf");
  Write(target, "previous good pdf");
  // A file size limit stands in for a full disk: writes past it fail with EFBIG.
  const std::string result = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    TSafeOutputStream out(target);
    const std::string page(1000, 'p');
    for (int i = 0; i < 100; ++i) out.WriteBuffer(page);
    out.Commit();
    return std::string("committed");
  });
  EXPECT_EQ(result, "EWriteError: " + target + ": File too large");
  EXPECT_EQ(Read(target), "previous good pdf");
  EXPECT_EQ(Listing(), std::vector<std::string>{"x.pdf"});
}

TEST_F(SafeOutputTest, RefusesTargetsThatAreNotRegularFiles) {
  Write(Path("victim"), "someone else's file");
  ASSERT_EQ(symlink(Path("victim").c_str(), Path("link.pdf").c_str()), 0);
  ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("dangling.pdf").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("fifo.pdf").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(Path("folder.pdf").c_str(), 0700), 0);
  const struct {
    std::string name, message;
  } cases[] = {
      {"link.pdf", "It is a symbolic link and is not replaced"},
      {"dangling.pdf", "It is a symbolic link and is not replaced"},
      {"fifo.pdf", "It is not a regular file and is not replaced"},
      {"folder.pdf", "Is a directory"},
      {"missing-folder/out.pdf", "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      TSafeOutputStream out(Path(c.name));
      ADD_FAILURE() << "opened";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Message(), "Cannot create file \"" + Path(c.name) + "\". " + c.message);
    }
  }
  EXPECT_EQ(Read(Path("victim")), "someone else's file");
  EXPECT_TRUE(fs::is_symlink(Path("link.pdf")));
  EXPECT_EQ(Listing(),
            (std::vector<std::string>{"dangling.pdf", "fifo.pdf", "folder.pdf", "link.pdf", "victim"}));
}

TEST_F(SafeOutputTest, AReadOnlyFolderIsAClearErrorAndChangesNothing) {
  const std::string target = Path("out.pw3");
  Write(target, "template");
  chmod(dir_.c_str(), 0755);  // another user may look but not write
  // Root writes anywhere: the attempt runs as an unprivileged user.
  const std::string result = InChild([&] {
    if (geteuid() == 0 && setuid(65534) != 0) return std::string("cannot drop privileges");
    WriteFileSafely(target, "new");
    return std::string("written");
  });
  EXPECT_EQ(result, "EFCreateError: Cannot create file \"" + target + "\". Permission denied");
  EXPECT_EQ(Read(target), "template");
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.pw3"});
}

TEST_F(SafeOutputTest, ARenameThatFailsRemovesTheTemporaryFile) {
  // The target turns into a folder between opening and committing: the rename fails.
  const std::string target = Path("late.pdf");
  TSafeOutputStream out(target);
  out.WriteBuffer("bytes", 5);
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
  try {
    out.Commit();
    ADD_FAILURE() << "committed over a folder";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), target + ": Is a directory");
  }
  EXPECT_EQ(Listing(), std::vector<std::string>{"late.pdf"});
  EXPECT_TRUE(fs::is_directory(target));
}

}  // namespace
}  // namespace pagewright
