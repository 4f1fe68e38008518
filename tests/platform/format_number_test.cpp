// Number formatting against the runtime's results (expected texts produced once with the
// runtime's own routines under English-US settings, with its classic behaviour where noted).
#include "platform/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

struct FormatFloatCase {
  const char16_t* fmt;
  double value;
  const char16_t* expected;
};

// Sections, grouping, halves (decimal halves up after 18 significant digits), exponents,
// negative zero, literals, values beyond the picture's precision.
const FormatFloatCase kFormatFloatCases[] = {
    {u"0", 0, u"0"},
    {u"0", 0.5, u"1"},
    {u"0", 1.5, u"2"},
    {u"0", 2.5, u"3"},
    {u"0", -2.5, u"-3"},
    {u"0", -0.4, u"-0"},
    {u"0.00", 2.675, u"2.67"},
    {u"0.00", 1.005, u"1.00"},
    {u"0.00", 0.125, u"0.13"},
    {u"0.00", -0.125, u"-0.13"},
    {u"0.00", 1234.5, u"1234.50"},
    {u"0.00", -0.001, u"-0.00"},
    {u"0.00", -0.0, u"0.00"},
    {u"0", -0.0, u"0"},
    {u"#", 0, u""},
    {u"#.##", 0, u""},
    {u"#.##", 0.5, u".5"},
    {u"#,##0.00", 1234567.891, u"1,234,567.89"},
    {u"#,##0.00", -1234567.891, u"-1,234,567.89"},
    {u"#,##0", 999.5, u"1,000"},
    {u"#,##0.00", 0, u"0.00"},
    {u"#,##0.00", 12, u"12.00"},
    {u"#,##0.00", 123456789012.345, u"123,456,789,012.35"},
    {u",0", 1234567, u"1,234,567"},
    {u"0,", 1234567, u"1,234,567"},
    {u"#,#", 1234, u"1,234"},
    {u"0.###", 1.5, u"1.5"},
    {u"0.###", 1.23456, u"1.235"},
    {u"000.000", 1.5, u"001.500"},
    {u"00000", 123, u"00123"},
    {u"#.##", 1234.567, u"1234.57"},
    {u"#", 1234.5, u"1235"},
    {u".00", 0.5, u".50"},
    {u"#.00", 12.3, u"12.30"},
    {u"0.0#", 3.14159, u"3.14"},
    {u"0.00;(0.00)", -5.5, u"(5.50)"},
    {u"0.00;(0.00)", 5.5, u"5.50"},
    {u"0.00;(0.00);\"zero\"", 0, u"zero"},
    {u"0.00;(0.00);\"zero\"", -0.001, u"(0.00)"},
    {u"0.00;;\"zero\"", -3, u"-3.00"},  // an empty section falls back to the first
    {u"0.00;-0.00", -3, u"-3.00"},
    {u"0;;", -7, u"-7"},
    {u";(0)", 5, u"5"},
    {u"0;\"neg\"", -1, u"neg"},
    {u"\"Total: \"0.00", 5, u"Total: 5.00"},
    {u"'$'#,##0.00", 1234.5, u"$1,234.50"},
    {u"0.00\" kg\"", 7.25, u"7.25 kg"},
    {u"\"a;b\"0", 1, u"a;b1"},
    {u"0 abc", 12, u"12 abc"},
    {u"0.00E+00", 1234.5, u"1.23E+03"},
    {u"0.00E-00", 1234.5, u"1.23E03"},
    {u"0.00E+00", 0.00012345, u"1.23E-04"},
    {u"0.00E-00", 0.00012345, u"1.23E-04"},
    {u"0.0e+0", 1234.5, u"1.2e+3"},
    {u"#.###E+000", 123456, u"1.235E+005"},
    {u"0.00E+00", 0, u"0.00E+00"},
    {u"0.00E+00", -1234.5, u"-1.23E+03"},
    {u"##0.0E+0", 12345, u"123.5E+2"},
    {u"0.000E+0000", 6.02214076e23, u"6.022E+0023"},
    {u"0E+0", 5, u"5E+0"},
    {u"0.00E+00", 9.995, u"9.99E+00"},
    {u"0.00E", 12, u"12.00E"},
    {u"0.00e", 12, u"12.00e"},
    {u"0", 1e20, u"1E20"},
    {u"#,##0", 1e18, u"1E18"},
    {u"0.00", 1e17, u"100000000000000000.00"},  // 18 integer digits still fit
    {u"0.00", 123456789012345678.0, u"123456789012345680.00"},
    {u"0.0000000000000000000", 0.1, u"0.1000000000000000060"},  // 18 significant digits
    {u"0.000000000000000000", 0.1, u"0.100000000000000006"},
    {u"0.00000000000000000000000", 1, u"1.00000000000000000000000"},
    {u"0", 0.49999999999999994, u"0"},
    {u"0.00", 1e-10, u"0.00"},
    {u"", 12.5, u"12.5"},
    {u"abc", 12.5, u"abc"},
    {u"0%", 0.5, u"1%"},
    {u"#,##0.00", 999999.995, u"999,999.99"},  // 999999.994999999995 at 18 digits
    {u"0.0", 0.05, u"0.1"},
    {u"0.0", 0.25, u"0.3"},
    {u"0.0", 0.35, u"0.3"},
    {u"0.0", -0.05, u"-0.1"},
    {u"##0.00", -12.345, u"-12.35"},
    {u"0.00", 99.995, u"100.00"},
    {u"0", 9.5, u"10"},
    {u"#,##0.0", -0.04, u"-0.0"},
};

TEST(FormatFloat, MatchesRuntime) {
  for (const auto& c : kFormatFloatCases)
    EXPECT_EQ(U8(FormatFloat(c.fmt, c.value)), U8(c.expected)) << U8(c.fmt) << " with " << c.value;
}

TEST(FormatFloat, UsesSettingsSeparatorsAndSpecialValues) {
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  fs.ThousandSeparator = u'.';
  EXPECT_EQ(U8(FormatFloat(u"#,##0.00", 1234567.891, fs)), "1.234.567,89");
  EXPECT_EQ(U8(FormatFloat(u"0.00", std::numeric_limits<double>::infinity())), "INF");
  EXPECT_EQ(U8(FormatFloat(u"0.00", -std::numeric_limits<double>::infinity())), "-INF");
  EXPECT_EQ(U8(FormatFloat(u"0.00", std::nan(""))), "NAN");
  // Extended keeps digits a double would lose.
  EXPECT_EQ(U8(FormatFloat(u"0.000000000000000000", 0.1L)), "0.100000000000000000");
  EXPECT_EQ(U8(FormatFloat(u"0", 12345678901234567.0L)), "12345678901234567");
}

struct FloatToStrCase {
  long double value;
  const char16_t* expected;
};

// 15 significant digits, general form: exponent when more than 15 integer digits or below 0.0001.
const FloatToStrCase kFloatToStrCases[] = {
    {0, u"0"},
    {1, u"1"},
    {-1, u"-1"},
    {0.1, u"0.1"},
    {0.5, u"0.5"},
    {1.5, u"1.5"},
    {-123.456, u"-123.456"},
    {3.14159265358979, u"3.14159265358979"},
    {1e15, u"1E15"},
    {1e14, u"100000000000000"},
    {999999999999999.0, u"999999999999999"},
    {1e16, u"1E16"},
    {123456789012345678.0, u"1.23456789012346E17"},
    {1e-4, u"0.0001"},
    {1e-5, u"1E-5"},  // below 0.0001: exponent form
    {1.5e-5, u"1.5E-5"},
    {0.00012345, u"0.00012345"},
    {0.000012345, u"1.2345E-5"},
    {1e-6, u"1E-6"},
    {1e100, u"1E100"},
    {-1e100, u"-1E100"},
    {1e300, u"1E300"},
    {1e-300, u"1E-300"},
    {1.7976931348623157e308, u"1.79769313486232E308"},
    {4.9406564584124654e-324, u"4.94065645841247E-324"},
    {2.2250738585072014e-308, u"2.2250738585072E-308"},
    {123456.789, u"123456.789"},
    {0.30000000000000004, u"0.3"},
    {1234567890.12345, u"1234567890.12345"},
    {12345678901234.5, u"12345678901234.5"},
    {123456789012345.6, u"123456789012346"},
    {9.99999999999999e14, u"999999999999999"},
    {99999999999999.99, u"100000000000000"},
    {0.999999999999999944, u"1"},
    {-0.0, u"0"},
    {2.5e-10, u"2.5E-10"},
    {1.23456789012345e-7, u"1.23456789012345E-7"},
    {100, u"100"},
    {1e21, u"1E21"},
    // Extended values keep their own digits.
    {0.1L, u"0.1"},
    {1.0L / 3, u"0.333333333333333"},
    {2.0L / 3, u"0.666666666666667"},
    {1e4000L, u"1E4000"},
    {1e-4000L, u"1E-4000"},
    {123456789012345678.0L, u"1.23456789012346E17"},
    {0.1L + 0.2L, u"0.3"},
    {1e15L, u"1E15"},
    {0.00001L, u"1E-5"},
};

TEST(FloatToStr, FifteenSignificantDigitsGeneralForm) {
  for (const auto& c : kFloatToStrCases)
    EXPECT_EQ(U8(FloatToStr(c.value)), U8(c.expected)) << static_cast<double>(c.value);
}

TEST(FloatToStr, SpecialValuesAndSeparator) {
  EXPECT_EQ(U8(FloatToStr(std::numeric_limits<long double>::infinity())), "INF");
  EXPECT_EQ(U8(FloatToStr(std::nanl(""))), "NAN");
  EXPECT_EQ(U8(FloatToStr(std::numeric_limits<long double>::max())), "1.18973149535723E4932");
  EXPECT_EQ(U8(FloatToStr(std::numeric_limits<long double>::denorm_min())), "3.64519953188247E-4951");
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  EXPECT_EQ(U8(FloatToStr(-1.5, fs)), "-1,5");
  EXPECT_EQ(U8(FloatToStr(1.5e-7, fs)), "1,5E-7");
}

struct FormatCase {
  const char16_t* fmt;
  std::vector<TFormatArg> args;
  const char16_t* expected;
};

TEST(Format, MatchesRuntime) {
  const FormatCase cases[] = {
      {u"%d", {42}, u"42"},
      {u"%5d|%-5d|", {42, 42}, u"   42|42   |"},
      {u"%.5d", {42}, u"00042"},
      {u"%.5d", {-42}, u"-00042"},
      {u"%8.5d", {-42}, u"  -00042"},
      {u"%d", {int64_t{1234567890123}}, u"1234567890123"},
      {u"%u", {42}, u"42"},
      {u"%u", {-1}, u"4294967295"},
      {u"%x", {255}, u"FF"},
      {u"%X", {255}, u"FF"},
      {u"%4x", {255}, u"  FF"},
      {u"%.4x", {255}, u"00FF"},
      {u"%x", {-1}, u"FFFFFFFF"},
      {u"%x", {int64_t{-1}}, u"FFFFFFFFFFFFFFFF"},
      {u"%f", {3.14159}, u"3.14"},
      {u"%.2f", {2.675}, u"2.67"},
      {u"%.0f", {2.5}, u"3"},
      {u"%.0f", {0.5}, u"1"},
      {u"%8.3f|", {-3.14159}, u"  -3.142|"},
      {u"%-8.1f|", {3.14159}, u"3.1     |"},
      {u"%2.2f", {3.14159}, u"3.14"},
      {u"%9.2f", {1234.5}, u"  1234.50"},
      {u"%.2f", {-0.001}, u"0.00"},
      {u"%f", {1e20}, u"100000000000000000000.00"},
      {u"%.3f", {0.0005}, u"0.001"},
      {u"%e", {1234.5}, u"1.23450000000000E+003"},  // 15 digits unless told
      {u"%.3e", {1234.5}, u"1.23E+003"},
      {u"%e", {-0.00012345}, u"-1.23450000000000E-004"},
      {u"%e", {0.0}, u"0.00000000000000E+000"},
      {u"%12.2e|", {1234.5}, u"    1.2E+003|"},
      {u"%g", {1234.5}, u"1234.5"},
      {u"%g", {0.00001}, u"1E-5"},
      {u"%.3g", {1234.5}, u"1.23E3"},
      {u"%g", {1e15}, u"1E15"},
      {u"%g", {0.1}, u"0.1"},
      {u"%n", {1234567.891}, u"1,234,567.89"},
      {u"%.0n", {1234567.5}, u"1,234,568"},
      {u"%.1n", {-1234.56}, u"-1,234.6"},
      {u"%n", {123.0}, u"123.00"},
      {u"%15.2n|", {1234567.891}, u"   1,234,567.89|"},
      {u"%m", {1234.5}, u"$1,234.50"},
      {u"%m", {-1234.5}, u"($1,234.50)"},
      {u"%.0m", {1234.5}, u"$1,235"},
      {u"%12m|", {-5.0}, u"     ($5.00)|"},
      {u"%m", {0.0}, u"$0.00"},
      {u"%s", {u"abc"}, u"abc"},
      {u"%5s|%-5s|", {u"ab", u"cd"}, u"   ab|cd   |"},
      {u"%.2s", {u"abcdef"}, u"ab"},
      {u"%*d", {5, 42}, u"   42"},
      {u"%-*.*f|", {8, 2, 3.14159}, u"3.14    |"},
      {u"%1:s %0:s", {u"a", u"b"}, u"b a"},
      {u"%1:s %s", {u"a", u"b", u"c"}, u"b c"},
      {u"%0:s%0:s", {u"x"}, u"xx"},
      {u"100%%", {}, u"100%"},
      {u"%s%%", {u"5"}, u"5%"},
      {u"%d %s %.2f", {42, u"abc", 3.14159}, u"42 abc 3.14"},
      {u"[%6.2f]", {-1.005}, u"[ -1.00]"},
      {u"%.1f", {0.05}, u"0.1"},
      {u"%.1f", {0.25}, u"0.3"},
      {u"%e", {1e300}, u"1.00000000000000E+300"},
      {u"%.20f", {0.1}, u"0.100000000000000006"},
      {u"%.1e", {9.96}, u"1.0E+001"},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(Format(c.fmt, c.args)), U8(c.expected)) << U8(c.fmt);
}

TEST(Format, CurrencyPointerAndSettings) {
  EXPECT_EQ(U8(Format(u"%m|%f|%d", {TFormatArg::Currency(-2.5), TFormatArg::Currency(1.25), 7})),
            "($2.50)|1.25|7");
  EXPECT_EQ(U8(Format(u"%p", {TFormatArg::Pointer(0xBEEF)})), "0000BEEF");
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  fs.ThousandSeparator = u' ';
  fs.CurrencyString = u"EUR";
  fs.CurrencyFormat = 3;
  fs.NegCurrFormat = 8;
  EXPECT_EQ(U8(Format(u"%.2f %n %m %m", {3.14159, 1234567.5, 1234.5, -1234.5}, fs)),
            "3,14 1 234 567,50 1 234,50 EUR -1 234,50 EUR");
}

TEST(Format, WrongOrMissingArgumentRaisesConvertError) {
  const FormatCase cases[] = {
      {u"%d", {u"x"}, u"Format '%d' invalid or incompatible with argument"},
      {u"%s", {1}, u"Format '%s' invalid or incompatible with argument"},
      {u"%f", {1}, u"Format '%f' invalid or incompatible with argument"},
      {u"%d", {1.5}, u"Format '%d' invalid or incompatible with argument"},
      {u"%x", {1.5}, u"Format '%x' invalid or incompatible with argument"},
      {u"%p", {1}, u"Format '%p' invalid or incompatible with argument"},
      {u"%*d", {u"5", 1}, u"Format '%*d' invalid or incompatible with argument"},
      {u"%z", {1}, u"Format '%z' invalid or incompatible with argument"},
      {u"abc %", {}, u"Format 'abc %' invalid or incompatible with argument"},
      {u"%5.", {}, u"Format '%5.' invalid or incompatible with argument"},
      {u"%d %d", {1}, u"No argument for format '%d %d'"},
      {u"%3:d", {1}, u"No argument for format '%3:d'"},
      {u"%s", {}, u"No argument for format '%s'"},
  };
  for (const auto& c : cases) {
    try {
      Format(c.fmt, c.args);
      ADD_FAILURE() << "no error for " << U8(c.fmt);
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), U8(c.expected));
    }
  }
}

TEST(Format, ExtremeWidthsAndValues) {
  EXPECT_EQ(U8(Format(u"%d|%u|%x", {int64_t{INT64_MIN}, int64_t{-1}, int64_t{INT64_MIN}})),
            "-9223372036854775808|18446744073709551615|8000000000000000");
  EXPECT_EQ(Format(u"%999999999999d", {1}).size(), 1000000u);  // width is capped, not overflowed
  EXPECT_EQ(U8(Format(u"%.99f", {1.0})), "1.000000000000000000");
  EXPECT_EQ(U8(Format(u"%.20x|%.20d", {255, 7})), "00000000000000FF|00000000000000000007");
  EXPECT_EQ(U8(Format(u"%.2f|%e", {std::numeric_limits<double>::infinity(), std::nan("")})), "INF|NAN");
}

TEST(NumberText, CurrToStrIntToStrIntToHex) {
  EXPECT_EQ(U8(CurrToStr(1234.5)), "1234.5");
  EXPECT_EQ(U8(CurrToStr(-1234.5678)), "-1234.5678");
  EXPECT_EQ(U8(CurrToStr(0.00004)), "0");       // four decimals: rounds away
  EXPECT_EQ(U8(CurrToStr(1.03125)), "1.0312");  // an exact half of the fourth decimal goes to even
  EXPECT_EQ(U8(CurrToStr(922337203685477.5807L)), "922337203685477.5807");
  EXPECT_EQ(U8(IntToStr(5000000000)), "5000000000");
  EXPECT_EQ(U8(IntToStr(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(U8(IntToHex(255, 4)), "00FF");
  EXPECT_EQ(U8(IntToHex(-1, 4)), "FFFFFFFF");
  EXPECT_EQ(U8(IntToHex(-1, 16)), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(U8(IntToHex(int64_t{-1} << 40, 4)), "FFFFFF0000000000");
  EXPECT_EQ(U8(IntToHex(0x1234, 0)), "1234");
}

}  // namespace
}  // namespace pagewright
