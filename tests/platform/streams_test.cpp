#include "platform/streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/exceptions.h"
#include "platform/files.h"

namespace pagewright {
namespace {

// A fresh folder per test, removed with its files afterwards.
class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/pwtestXXXXXX";
    path_ = std::string(mkdtemp(tmpl)) + "/";
  }
  ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

template <typename E, typename F>
void ExpectError(F f, const std::string& className, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << className;
  } catch (const E& e) {
    EXPECT_EQ(e.ClassName(), className);
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(MemoryStream, ReadsWritesAndSeeksPastTheEnd) {
  TMemoryStream m;
  m.WriteBuffer("hello");
  EXPECT_EQ(m.Size(), 5);
  EXPECT_EQ(m.Seek(3, soEnd), 8);  // beyond the end is allowed
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 4), 0);
  m.WriteBuffer("!");
  EXPECT_EQ(m.Size(), 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 9), std::string("hello\0\0\0!", 9));
  m.SetPosition(3);
  EXPECT_EQ(m.Read(buf, 8), 6);  // a short read at the end
  m.SetPosition(7);
  ExpectError<EReadError>([&] { m.ReadBuffer(buf, 3); }, "EReadError", "Stream read error");
  m.SetPosition(INT64_MAX - 1);
  EXPECT_EQ(m.Seek(INT64_MAX, soCurrent), INT64_MAX);  // saturates
  EXPECT_THROW(m.WriteBuffer("xy"), EOutOfMemory);     // not an overflow, not a library exception
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);
  EXPECT_EQ(m.Seek(-1, soCurrent), 1);

  TMemoryStream copy;
  m.SetPosition(1);
  EXPECT_EQ(copy.CopyFrom(m, 0), 2);  // 0 copies everything from the start
  copy.SetPosition(0);
  EXPECT_EQ(copy.ReadToEnd(), "he");
  m.SetPosition(2);
  ExpectError<EReadError>([&] { copy.CopyFrom(m, 1); }, "EReadError", "Stream read error");
}

TEST(FileStream, ReadsAndWritesFiles) {
  TempFolder dir;
  std::string name = dir.Path() + "data.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789");
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
    EXPECT_EQ(f.Position(), 4);
  }
  {
    TFileStream f(name, fmOpenReadWrite);
    f.Seek(0, soEnd);
    f.WriteBuffer("xy");
  }
  TMemoryStream m;
  m.LoadFromFile(name);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), m.Size()), "0123xy");
  TFileStream r(name, fmOpenRead | fmShareDenyWrite);
  char buf[4];
  r.Seek(5, soBeginning);
  ExpectError<EReadError>([&] { r.ReadBuffer(buf, 2); }, "EReadError", "Stream read error");
  EXPECT_EQ(r.Write("z", 1), 0);  // opened for reading only
  ExpectError<EWriteError>([&] { r.WriteBuffer("z", 1); }, "EWriteError", "Stream write error");
}

TEST(FileStream, FailuresNameTheFileAndTheReason) {
  TempFolder dir;
  std::string missing = dir.Path() + "none.pw3";
  ExpectError<EFOpenError>([&] { TFileStream f(missing, fmOpenRead); }, "EFOpenError",
                           "Cannot open file \"" + missing + "\". No such file or directory");
  std::string noFolder = dir.Path() + "sub/out.pdf";
  ExpectError<EFCreateError>([&] { TFileStream f(noFolder, fmCreate); }, "EFCreateError",
                             "Cannot create file \"" + noFolder + "\". No such file or directory");
  ExpectError<EFOpenError>([&] { TFileStream f(dir.Path(), fmOpenRead); }, "EFOpenError",
                           "Cannot open file \"" + dir.Path() + "\". Is a directory");
  // Relative names are reported in full.
  std::string cwd = GetCurrentDir();
  ASSERT_TRUE(SetCurrentDir(dir.Path()));
  ExpectError<EFOpenError>([&] { TFileStream f(std::string("x/../y.txt"), fmOpenRead); }, "EFOpenError",
                           "Cannot open file \"" + dir.Path() + "y.txt\". No such file or directory");
  SetCurrentDir(cwd);
  // Every failure is also an EStreamError.
  EXPECT_THROW(TMemoryStream().LoadFromFile(missing), EStreamError);
}

TEST(StringStream, HoldsUtf8Text) {
  TStringStream s(u"\u00C9t\u00E9");
  EXPECT_EQ(s.DataString(), "\xC3\x89t\xC3\xA9");
  s.Seek(0, soEnd);
  s.WriteBuffer("!");
  EXPECT_EQ(s.Text(), u"\u00C9t\u00E9!");
  s.SetPosition(1);
  char c;
  s.ReadBuffer(&c, 1);
  EXPECT_EQ(c, '\x89');
}

TEST(ByteReader, ReadsBothByteOrdersAndStopsAtTheEnd) {
  const uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF};
  TByteReader r(std::span<const uint8_t>(data, sizeof data));
  EXPECT_EQ(r.U16LE(), 0x0201);
  EXPECT_EQ(r.U16BE(), 0x0304);
  r.Seek(0);
  EXPECT_EQ(r.U32LE(), 0x04030201u);
  EXPECT_EQ(r.U32BE(), 0x05060708u);
  EXPECT_EQ(r.I8(), -1);
  EXPECT_TRUE(r.AtEnd());
  r.Seek(1);
  EXPECT_EQ(r.U24BE(), 0x020304u);
  r.Seek(0);
  EXPECT_EQ(r.U64BE(), 0x0102030405060708ull);
  EXPECT_THROW(r.U16LE(), EReadError);
  EXPECT_TRUE(r.Failed());

  TByteReader sub = TByteReader(std::span<const uint8_t>(data, sizeof data)).Sub(6, 3);
  EXPECT_EQ(sub.Size(), 3u);
  EXPECT_EQ(sub.U16BE(), 0x0708);
  EXPECT_THROW(sub.Skip(2), EReadError);
  EXPECT_THROW(TByteReader(std::span<const uint8_t>(data, sizeof data)).Sub(8, 2), EReadError);
  EXPECT_THROW(TByteReader(std::span<const uint8_t>(data, sizeof data)).Sub(SIZE_MAX, 2), EReadError);
  EXPECT_THROW(TByteReader(std::span<const uint8_t>(data, sizeof data)).Seek(10), EReadError);
}

TEST(ByteReader, WithoutExceptionsSetsAStickyFailure) {
  TByteReader r(std::string_view("\x01\x02\x03", 3), false);
  EXPECT_EQ(r.U16BE(), 0x0102);
  EXPECT_EQ(r.U32LE(), 0u);  // not enough bytes: zero, failed, at the end
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.Position(), 3u);
  r.Seek(0);
  EXPECT_EQ(r.U8(), 0);  // the failure stays
  EXPECT_TRUE(r.Bytes(1).empty());
  TByteReader w(std::string_view("abc"), false);
  EXPECT_EQ(w.Chars(2), "ab");
  EXPECT_TRUE(w.Sub(2, 5).Failed());
  EXPECT_TRUE(w.Failed());
}

}  // namespace
}  // namespace pagewright
