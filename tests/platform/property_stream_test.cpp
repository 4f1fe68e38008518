#include "platform/property_stream.h"

#include <gtest/gtest.h>

#include "platform/component.h"
#include "platform/exceptions.h"

namespace pagewright {
namespace {

// An object with one extra property of each kind the engine stores.
class TExtras : public TPersistent {
 public:
  int64_t Left = 0;
  WideString Caption;
  std::string Data;
  std::vector<WideString> Lines;
  bool Store = true;

  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "pLeft", [this](TPropertyReader& r) { Left = r.ReadInteger(); },
        [this](TPropertyWriter& w) { w.WriteInteger(Left); }, Store);
    filer.DefineProperty(
        "Caption", [this](TPropertyReader& r) { Caption = r.ReadString(); },
        [this](TPropertyWriter& w) { w.WriteString(Caption); }, Store && !Caption.empty());
    filer.DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          Data.resize(static_cast<size_t>(s.Size()));
          s.ReadBuffer(Data.data(), s.Size());
        },
        [this](TStream& s) { s.WriteBuffer(Data); }, Store && !Data.empty());
    filer.DefineProperty(
        "Formats",
        [this](TPropertyReader& r) {
          Lines.clear();
          r.ReadListBegin();
          while (!r.EndOfList()) Lines.push_back(r.ReadString());
          r.ReadListEnd();
        },
        [this](TPropertyWriter& w) {
          w.WriteListBegin();
          for (const auto& l : Lines) w.WriteString(l);
          w.WriteListEnd();
        },
        Store && !Lines.empty());
  }
};

TEST(PropertyStream, RoundTripsEveryKindAndLeavesOutPropertiesWithoutData) {
  TExtras a;
  a.Left = -40000;
  a.Caption = u"Almac\u00e9n";
  a.Data = std::string("\x00\x01\xff", 3);
  a.Lines = {u"a", std::u16string(300, u'x')};
  const std::string bytes = WriteExtraProperties(a);

  TExtras b;
  ReadExtraProperties(b, bytes);
  EXPECT_EQ(b.Left, -40000);
  EXPECT_EQ(b.Caption, a.Caption);
  EXPECT_EQ(b.Data, a.Data);
  EXPECT_EQ(b.Lines, a.Lines);

  TExtras empty;
  empty.Store = false;
  EXPECT_TRUE(WriteExtraProperties(empty).empty());
}

TEST(PropertyStream, WritesTheDocumentedValueCodes) {
  struct Case {
    int64_t value;
    std::string bytes;
  };
  const Case cases[] = {
      {5, std::string("\x05pLeft\x02\x05", 8)},
      {-129, std::string("\x05pLeft\x03\x7f\xff", 9)},
      {70000, std::string("\x05pLeft\x04\x70\x11\x01\x00", 11)},
  };
  for (const auto& c : cases) {
    TExtras o;
    o.Left = c.value;
    EXPECT_EQ(WriteExtraProperties(o), c.bytes) << c.value;
  }
  TExtras o;
  o.Data = "AB";
  EXPECT_EQ(WriteExtraProperties(o), std::string("\x05pLeft\x02\x00\x04"
                                                 "Data\x0a\x02\x00\x00\x00"
                                                 "AB",
                                                 20));
  o.Data.clear();
  o.Caption = u"\u00e9";
  EXPECT_EQ(WriteExtraProperties(o), std::string("\x05pLeft\x02\x00\x07"
                                                 "Caption\x14\x02\x00\x00\x00\xc3\xa9",
                                                 23));
}

TEST(PropertyStream, ReadsEveryStringCodeAndSkipsUnknownRecords) {
  // An unknown record with a nested list and a collection, then Caption as UTF-16 and pLeft.
  std::string bytes;
  bytes += std::string("\x05Other\x01\x02\x01\x06\x02hi\x01\x00\x00", 16);
  bytes += std::string(
      "\x04"
      "Coll\x0e\x02\x00\x01\x01x\x08\x00\x00",
      14);
  bytes += std::string(
      "\x07"
      "Caption\x12\x02\x00\x00\x00"
      "A\x00\x42\x00",
      17);
  bytes += std::string("\x05pleft\x13\x00\x00\x00\x00\x01\x00\x00\x00", 15);
  TExtras o;
  ReadExtraProperties(o, bytes);
  EXPECT_EQ(o.Caption, u"AB");
  EXPECT_EQ(o.Left, int64_t{1} << 32);
}

TEST(PropertyStream, MalformedBytesRaiseReadErrorWithoutOverreading) {
  const std::string cases[] = {
      std::string("\x05pLe", 4),    // name cut short
      std::string("\x05pLeft", 6),  // value missing
      std::string("\x04"
                  "Data\x0a\xff\xff\xff\x7f",
                  9),  // binary longer than the data
      std::string("\x07"
                  "Caption\x12\xff\xff\xff\xff",
                  12),                                  // huge UTF-16 length
      std::string("\x05pLeft\x06\x01", 8),              // wrong kind for an integer
      std::string("\x01X") + std::string(200, '\x01'),  // lists nested without end
      std::string("\x00", 1),                           // empty name
  };
  for (const auto& c : cases) {
    TExtras o;
    EXPECT_THROW(ReadExtraProperties(o, c), EReadError) << testing::PrintToString(c);
  }
}

TEST(PropertyStream, HexText) {
  EXPECT_EQ(BytesToHex(std::string("\x00\xab\x7f", 3)), "00AB7F");
  EXPECT_EQ(HexToBytes(u"00ab7F"), std::string("\x00\xab\x7f", 3));
  EXPECT_THROW(HexToBytes(u"ABC"), EConvertError);
  EXPECT_THROW(HexToBytes(u"G0"), EConvertError);
}

}  // namespace
}  // namespace pagewright
