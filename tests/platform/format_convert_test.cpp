// Text to numbers and Booleans, and edit masks.
#include "platform/format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

TEST(StrToInt, AcceptsWhatTheRuntimeAccepts) {
  struct Case {
    const char16_t* text;
    bool valid32;
    int32_t v32;
    bool valid64;
    int64_t v64;
  };
  const Case cases[] = {
      {u"12", true, 12, true, 12},
      {u" 12", true, 12, true, 12},
      {u"-12", true, -12, true, -12},
      {u"+12", true, 12, true, 12},
      {u"$FF", true, 255, true, 255},
      {u"-$ff", true, -255, true, -255},
      {u"0x1f", true, 31, true, 31},
      {u"0X1F", true, 31, true, 31},
      {u"x1F", true, 31, true, 31},
      {u"$FFFFFFFF", true, -1, true, 4294967295},  // hexadecimal may use the sign bit
      {u"$100000000", false, 0, true, 4294967296},
      {u"2147483647", true, 2147483647, true, 2147483647},
      {u"2147483648", false, 0, true, 2147483648},
      {u"-2147483648", true, INT32_MIN, true, -2147483648},
      {u"-2147483649", false, 0, true, -2147483649},
      {u"9223372036854775807", false, 0, true, INT64_MAX},
      {u"9223372036854775808", false, 0, false, 0},
      {u"-9223372036854775808", false, 0, true, INT64_MIN},
      {u"$FFFFFFFFFFFFFFFF", false, 0, true, -1},
      {u"$10000000000000000", false, 0, false, 0},
      {u"12 ", false, 0, false, 0},
      {u"12a", false, 0, false, 0},
      {u"", false, 0, false, 0},
      {u"-", false, 0, false, 0},
      {u"$", false, 0, false, 0},
      {u"0x", false, 0, false, 0},
      {u"1,000", false, 0, false, 0},
      {u"1.0", false, 0, false, 0},
      {u"\uFF11", false, 0, false, 0},  // full-width digit
  };
  for (const auto& c : cases) {
    int32_t v32 = 7;
    int64_t v64 = 7;
    EXPECT_EQ(TryStrToInt(c.text, v32), c.valid32) << U8(c.text);
    EXPECT_EQ(TryStrToInt64(c.text, v64), c.valid64) << U8(c.text);
    if (c.valid32) { EXPECT_EQ(v32, c.v32) << U8(c.text); }
    if (c.valid64) { EXPECT_EQ(v64, c.v64) << U8(c.text); }
  }
}

TEST(StrToInt, MalformedTextRaisesConvertError) {
  try {
    StrToInt(u"12a");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
    EXPECT_STREQ(e.ClassName(), "EConvertError");
  }
  try {
    StrToInt64(u"9223372036854775808");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'9223372036854775808' is not a valid integer value");
  }
  EXPECT_EQ(StrToInt64(u"5000000000"), 5000000000);
}

TEST(StrToFloat, AcceptsWhatTheRuntimeAccepts) {
  struct Case {
    const char16_t* text;
    bool valid;
    long double value;
  };
  const Case cases[] = {
      {u"1.5", true, 1.5L},       {u" 1.5 ", true, 1.5L}, {u"-1.5e3", true, -1500}, {u".5", true, 0.5L},
      {u"5.", true, 5},           {u"+.5E+2", true, 50},  {u"0.1", true, 0.1L},     {u"1e-5000", true, 0},
      {u"1e4000", true, 1e4000L}, {u"1e", false, 0},      {u"1,5", false, 0},       {u"x", false, 0},
      {u"1e5000", false, 0},      {u"", false, 0},        {u"1.2.3", false, 0},     {u"-", false, 0},
      {u".", false, 0},           {u"INF", false, 0},     {u"NAN", false, 0},       {u"1 5", false, 0},
      {u"0x10", false, 0},        {u"1e+", false, 0},     {u"--1", false, 0},
  };
  for (const auto& c : cases) {
    Extended v = 7;
    EXPECT_EQ(TryStrToFloat(c.text, v), c.valid) << U8(c.text);
    if (c.valid) { EXPECT_EQ(v, c.value) << U8(c.text); }
  }
  // Read exactly: the text of an Extended reads back as the same Extended.
  EXPECT_EQ(StrToFloat(u"0.333333333333333333342"), 1.0L / 3);
  EXPECT_TRUE(std::signbit(StrToFloat(u"-0.0")));
}

TEST(StrToFloat, ShortDecimalsReadExactlyAsTheFullConversion) {
  // Plain decimals take a short way; it must give the very same bits as the general reading,
  // at and past its limits (19 significant digits, 27 decimals).
  std::vector<std::string> texts = {"0.1", "37.7953", "-1.5", "9999999999999999999", "18446744073709551615",
                                    "0.0000000000000000000000000001", "0.000000000000000000000000001",
                                    "1234567890.123456789", "1234567890.1234567891", "00000.000123",
                                    "3.14159265358979323846", "5e-1"};
  uint64_t seed = 12345;
  for (int k = 0; k < 2000; ++k) {  // decimals of every length and scale, from a fixed sequence
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    std::string digits = std::to_string(seed >> (seed % 40));
    const size_t point = (seed >> 50) % (digits.size() + 1);
    digits.insert(point, ".");
    if (digits.front() == '.') digits.insert(0, "0");
    texts.push_back((k % 3 == 0 ? "-" : "") + digits);
  }
  for (const std::string& t : texts) {
    long double expected = 0;
    std::from_chars(t.data(), t.data() + t.size(), expected);
    Extended v = 0;
    ASSERT_TRUE(TryStrToFloat(Utf8ToUtf16(t), v)) << t;
    EXPECT_EQ(std::memcmp(&v, &expected, 10), 0) << t;
  }
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  EXPECT_EQ(StrToFloat(u"1,25", fs), 1.25L);
  Extended v = 0;
  EXPECT_FALSE(TryStrToFloat(u"1.25", v, fs));
  try {
    StrToFloat(u"x");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x' is not a valid floating point value");
  }
}

TEST(StrToBool, NamesAndNumbers) {
  struct Case {
    const char16_t* text;
    bool valid;
    bool value;
  };
  const Case cases[] = {{u"True", true, true}, {u"true", true, true},   {u"FALSE", true, false},
                        {u"0", true, false},   {u"1", true, true},      {u"-1", true, true},
                        {u"0.0", true, false}, {u"2.5", true, true},    {u"yes", false, false},
                        {u"", false, false},   {u" True", false, false}};
  for (const auto& c : cases) {
    bool b = !c.value;
    EXPECT_EQ(TryStrToBool(c.text, b), c.valid) << U8(c.text);
    if (c.valid) { EXPECT_EQ(b, c.value) << U8(c.text); }
  }
  try {
    StrToBool(u"yes");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'yes' is not a valid boolean value");
  }
  EXPECT_EQ(U8(BoolToStr(true)), "-1");
  EXPECT_EQ(U8(BoolToStr(false)), "0");
  EXPECT_EQ(U8(BoolToStr(true, true)), "True");
  EXPECT_EQ(U8(BoolToStr(false, true)), "False");
}

TEST(FormatMaskText, InsertsLiteralsAndBlanks) {
  struct Case {
    const char16_t* mask;
    const char16_t* value;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"(999)000-0000;0;_", u"5551234567", u"(555)123-4567"},
      {u"(999)000-0000;0;_", u"55512", u"(555)12 -    "},
      {u"(999)000-0000;1;_", u"(555)123-4567", u"(555)123-4567"},
      {u"!99/99/00;0;_", u"12345", u" 1/23/45"},  // "!": the value fills from the end
      {u"!000-000;0;_", u"1234", u"  1-234"},
      {u"00/00/0000;0;_", u"03052020", u"03/05/2020"},
      {u">LL-0000;0;_", u"ab1234", u"ab-1234"},
      {u"\\(000\\);0;_", u"123", u"(123)"},
      {u"000-000;0;*", u"12", u"12 -   "},
      {u"aaa;0;_", u"ab", u"ab "},
      {u"99:99;0;_", u"1234", u"12:34"},
      {u"0000", u"12", u"12  "},
      {u"00-00;1", u"12-34", u"12-34"},
      {u"00-00;1", u"1234", u"12-34"},  // literals missing from the value are put in
      {u"00-00;0", u"123456", u"12-3456"},
      {u"!00-00;0", u"123456", u"1234-56"},
      {u"", u"abc", u"abc"},
      {u"\\", u"abc", u"\\abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(FormatMaskText(c.mask, c.value)), U8(c.expected)) << U8(c.mask);
}

}  // namespace
}  // namespace pagewright
