// Files that untrusted input names are read only when they are regular files of bounded size: a
// device, a pipe or a folder gives an error at once instead of blocking or reading forever.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/temp_dir.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

TEST(OpenRegularFileForReading, ReadsARegularFileWithinTheLimit) {
  TempDir dir;
  const std::string name = (dir.path / "t.pw3").string();
  std::ofstream(name, std::ios::binary) << "0123456789";
  auto bytes = OpenRegularFileForReading(name, 10);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes->ReadToEnd(), "0123456789");
  std::ofstream(name, std::ios::binary).flush();  // empty
  EXPECT_EQ(OpenRegularFileForReading(name, 10)->Size(), 0);
}

TEST(OpenRegularFileForReading, RefusesWhatIsNotARegularFileOfSaneSize) {
  TempDir dir;
  const std::string fifo = (dir.path / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no writer: a blocking open would wait forever
  const std::string big = (dir.path / "big").string();
  std::ofstream(big, std::ios::binary) << std::string(11, 'x');
  const struct {
    std::string name, reason;
  } cases[] = {
      {"/dev/zero", "It is not a regular file"},  // endless
      {"/dev/null", "It is not a regular file"},
      {fifo, "It is not a regular file"},
      {dir.path.string(), "Is a directory"},
      {big, "It is larger than 10 bytes"},
      {(dir.path / "missing").string(), "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      OpenRegularFileForReading(c.name, 10);
      ADD_FAILURE() << "read";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(e.Message(), "Cannot open file \"" + c.name + "\". " + c.reason);
    }
  }
}

TEST(ResolvePathFrom, RelativePathsAreTakenFromTheReferringFilesFolder) {
  const struct {
    std::string referring, path, expected;
  } cases[] = {
      {"/t/report.pw3", "pics/a.png", "/t/pics/a.png"},
      {"/t/report.pw3", "/abs/a.png", "/abs/a.png"},
      {"report.pw3", "a.png", "a.png"},
      {"", "a.png", "a.png"},
      {"rel/report.pw3", "../a.png", "rel/../a.png"},
      {"/t/report.pw3", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolvePathFrom(c.referring, c.path), c.expected) << c.referring;
  EXPECT_EQ(ResolvePathFrom(u"/t/r.pw3", u"b.pw3"), u"/t/b.pw3");
}

}  // namespace
}  // namespace pagewright
