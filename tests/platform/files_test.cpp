#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

std::string MakeTempFolder() {
  char tmpl[] = "/tmp/pwtestXXXXXX";
  return std::string(mkdtemp(tmpl)) + "/";
}

TEST(FileNames, SplitIntoParts) {
  struct Case {
    std::string name, path, dir, file, ext;
  } cases[] = {
      {"reportes/EtiquetaVelmo.pw3", "reportes/", "reportes", "EtiquetaVelmo.pw3", ".pw3"},
      {"/tmp/a.b/c", "/tmp/a.b/", "/tmp/a.b", "c", ""},
      {"scratch\\out.1.jpg", "scratch\\", "scratch", "out.1.jpg", ".jpg"},
      {"/x", "/", "/", "x", ""},
      {"name", "", "", "name", ""},
      {".hidden", "", "", ".hidden", ".hidden"},
      {"dir/", "dir/", "dir", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileDir(c.name), c.dir) << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
  }
  EXPECT_EQ(ChangeFileExt("scratch/label.jpg", ".1.jpg"), "scratch/label.1.jpg");
  EXPECT_EQ(ChangeFileExt("a.b/c", ".pdf"), "a.b/c.pdf");
  EXPECT_EQ(ChangeFileExt(WideString(u"x.pw3"), WideString(u"")), u"x");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp/"), "/tmp");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_EQ(ExtractFileName(WideString(u"r/\u00C9tiquette.pw3")), u"\u00C9tiquette.pw3");
  EXPECT_EQ(ExpandFileName("/a/./b/../c//d"), "/a/c/d");
  EXPECT_EQ(ExpandFileName("/.."), "/");
}

TEST(Files, CreateTestRenameAndDelete) {
  std::string dir = MakeTempFolder();
  std::string deep = dir + "a/b/c";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  const WideString wide = Utf8ToUtf16(dir) + u"\u00C9t\u00E9/x";  // names held as report text
  EXPECT_TRUE(ForceDirectories(wide));
  EXPECT_TRUE(DirectoryExists(dir + "\xC3\x89t\xC3\xA9/x"));
  EXPECT_FALSE(FileExists(wide));
  EXPECT_FALSE(FileExists(deep));
  EXPECT_THROW(ForceDirectories(""), EInOutError);

  std::string f1 = deep + "/one.txt", f2 = deep + "/two.txt";
  TMemoryStream m;
  m.WriteBuffer("12345");
  m.SaveToFile(f1);
  EXPECT_TRUE(FileExists(f1));
  EXPECT_FALSE(DirectoryExists(f1));
  EXPECT_EQ(FileSizeOf(f1), 5);
  EXPECT_EQ(FileSizeOf(f2), -1);
  TDateTime age = 0;
  EXPECT_TRUE(FileAge(f1, age));
  EXPECT_GT(age, 45000.0);  // after 2023
  EXPECT_FALSE(FileAge(f2, age));

  EXPECT_TRUE(RenameFile(f1, f2));
  EXPECT_FALSE(FileExists(f1));
  m.SaveToFile(f1);
  EXPECT_FALSE(RenameFile(f1, f2));  // an existing target is not replaced
  EXPECT_TRUE(DeleteFile(f1));
  EXPECT_FALSE(DeleteFile(f1));
  EXPECT_FALSE(DeleteFile(deep));  // folders are not files
  EXPECT_TRUE(DeleteFile(f2));
  EXPECT_TRUE(RemoveDir(deep));
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(Files, TemporaryFilesAreNewAndUnique) {
  EXPECT_EQ(GetTempDir(), "/tmp/");
  std::string dir = MakeTempFolder();
  SetTempDir(dir.substr(0, dir.size() - 1));
  EXPECT_EQ(GetTempDir(), dir);
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name = CreateTempFile("", "pwPic");
    EXPECT_EQ(ExtractFilePath(name), dir);
    EXPECT_EQ(ExtractFileName(name).rfind("pwPic", 0), 0u) << name;
    EXPECT_EQ(FileSizeOf(name), 0);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  SetTempDir("");
  EXPECT_EQ(GetTempDir(), "/tmp/");
  EXPECT_THROW(CreateTempFile(dir + "missing/", "pw"), EFCreateError);
  std::system(("rm -rf '" + dir + "'").c_str());
}

// The environment variables of one case, restored afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old, FHad = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (FHad)
      setenv(FName.c_str(), FOld.c_str(), 1);
    else
      unsetenv(FName.c_str());
  }

 private:
  std::string FName, FOld;
  bool FHad = false;
};

// Opening with the desktop: a reason instead of an attempt without a session or without xdg-open,
// and with both, xdg-open gets the file. The stand-in xdg-open writes its argument into a pipe the
// test reads, so the test waits exactly as long as the opener takes.
TEST(Files, OpenWithDesktopStartsXdgOpenOnlyWhenThereIsADesktop) {
  const std::string dir = MakeTempFolder();
  const std::string fifo = dir + "opened";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string bin = dir + "bin";
  ASSERT_TRUE(CreateDir(bin));
  {
    TFileStream script(bin + "/xdg-open", fmCreate);
    script.WriteBuffer("#!/bin/sh\nprintf '%s' \"$1\" > '" + fifo + "'\n");
  }
  ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
  std::string why;
  {
    ScopedEnv noX("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr), path("PATH", bin.c_str());
    EXPECT_FALSE(OpenWithDesktop("/tmp/x.pdf", why));
    EXPECT_EQ(why, "there is no desktop session (DISPLAY and WAYLAND_DISPLAY are not set)");
  }
  {
    ScopedEnv x("DISPLAY", ":0"), path("PATH", dir.c_str());
    EXPECT_FALSE(OpenWithDesktop("/tmp/x.pdf", why));
    EXPECT_EQ(why, "xdg-open is not installed");
  }
  {
    ScopedEnv noX("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", "wayland-0"),
        path("PATH", ("/nowhere:" + bin + ":/bin:/usr/bin").c_str());
    ASSERT_TRUE(OpenWithDesktop(dir + "report 1.pdf", why)) << why;
    FILE* f = std::fopen(fifo.c_str(), "r");  // blocks until the stand-in opens the pipe
    ASSERT_NE(f, nullptr);
    char buf[256] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n), dir + "report 1.pdf");
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace pagewright
