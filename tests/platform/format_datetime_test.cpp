// Date and time formatting, encoding and reading (expected texts produced once with the
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

TDateTime At(int y, int mo, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  return EncodeDate(y, mo, d) + EncodeTime(h, n, s, ms);
}

struct FormatDateTimeCase {
  const char16_t* fmt;
  int y, mo, d, h, n, s, ms;
  const char16_t* expected;
};

const FormatDateTimeCase kFormatDateTimeCases[] = {
    {u"c", 2020, 3, 5, 14, 7, 9, 45, u"3/5/2020 2:07:09 PM"},
    {u"c", 2020, 3, 5, 0, 0, 0, 0, u"3/5/2020"},
    {u"d dd ddd dddd", 2020, 3, 5, 0, 0, 0, 0, u"5 05 Thu Thursday"},
    {u"ddddd", 2020, 3, 5, 14, 7, 9, 45, u"3/5/2020"},
    {u"dddddd", 2020, 3, 5, 14, 7, 9, 45, u"Thursday, March 5, 2020"},
    {u"m mm mmm mmmm", 2020, 3, 5, 0, 0, 0, 0, u"3 03 Mar March"},
    {u"yy yyyy", 2007, 12, 25, 0, 0, 0, 0, u"07 2007"},
    {u"y yyy", 2007, 12, 25, 0, 0, 0, 0, u"07 2007"},
    {u"h hh n nn s ss", 2020, 3, 5, 4, 7, 9, 0, u"4 04 7 07 9 09"},
    {u"z zzz", 2020, 3, 5, 4, 7, 9, 5, u"5 005"},
    {u"t", 2020, 3, 5, 14, 7, 9, 0, u"2:07 PM"},
    {u"tt", 2020, 3, 5, 14, 7, 9, 0, u"2:07:09 PM"},
    {u"h:nn am/pm", 2020, 3, 5, 14, 7, 9, 0, u"2:07 pm"},
    {u"h:nn AM/PM", 2020, 3, 5, 9, 7, 9, 0, u"9:07 AM"},
    {u"h:nn a/p", 2020, 3, 5, 14, 7, 9, 0, u"2:07 p"},
    {u"h:nn A/P", 2020, 3, 5, 0, 7, 9, 0, u"12:07 A"},
    {u"hh:nn ampm", 2020, 3, 5, 12, 30, 0, 0, u"12:30 PM"},
    {u"h:mm", 2020, 3, 5, 14, 7, 9, 0, u"14:07"},
    {u"hh:mm:ss", 2020, 3, 5, 14, 7, 9, 0, u"14:07:09"},
    {u"mm/dd/yyyy hh:mm", 2020, 3, 5, 14, 7, 9, 0, u"03/05/2020 14:07"},
    {u"yyyy-mm-dd", 2024, 2, 29, 0, 0, 0, 0, u"2024-02-29"},
    {u"d/m/y", 2024, 2, 29, 0, 0, 0, 0, u"29/2/24"},
    {u"h:n:s", 2020, 3, 5, 14, 7, 9, 0, u"14:7:9"},
    {u"\"Date:\" dd 'of' mmmm", 2020, 3, 5, 0, 0, 0, 0, u"Date: 05 of March"},
    {u"dd.mm.yyyy", 2020, 3, 5, 0, 0, 0, 0, u"05.03.2020"},
    {u"DD MMM YYYY", 2020, 3, 5, 0, 0, 0, 0, u"05 Mar 2020"},
    {u"hh:nn:ss.zzz", 2020, 3, 5, 23, 59, 59, 999, u"23:59:59.999"},
    {u"c", 1899, 12, 30, 0, 0, 0, 0, u"12/30/1899"},
    {u"c", 1899, 12, 30, 6, 0, 0, 0, u"12/30/1899 6:00:00 AM"},
    {u"ampm", 2020, 3, 5, 0, 0, 0, 0, u"AM"},
    {u"h ampm", 2020, 3, 5, 12, 0, 0, 0, u"12 PM"},
    {u"h ampm", 2020, 3, 5, 0, 0, 0, 0, u"12 AM"},
    {u"mmmmm", 2020, 3, 5, 0, 0, 0, 0, u"March"},
    {u"ddddddd", 2020, 3, 5, 0, 0, 0, 0, u"Thursday, March 5, 2020"},
    {u"yyyyy", 2020, 3, 5, 0, 0, 0, 0, u"2020"},
    {u"hhh nnn sss", 2020, 3, 5, 4, 7, 9, 0, u"04 07 09"},
    {u"h am/p", 2020, 3, 5, 14, 0, 0, 0, u"14 a3/p"},  // no marker: letters stay text, "m" is the month
    {u"xq!", 2020, 3, 5, 0, 0, 0, 0, u"xq!"},
    {u"m", 2020, 3, 5, 14, 7, 0, 0, u"3"},
    {u"h m", 2020, 3, 5, 14, 7, 0, 0, u"14 7"},  // "m" after an hour is minutes
    {u"h \"x\" m", 2020, 3, 5, 14, 7, 0, 0, u"14 x 7"},
    {u"hh mm ss mm", 2020, 3, 5, 14, 7, 9, 0, u"14 07 09 03"},
    {u"d m", 2020, 3, 5, 14, 7, 9, 0, u"5 3"},
    {u"yyyy", 1, 1, 1, 0, 0, 0, 0, u"0001"},
    {u"c", 9999, 12, 31, 23, 59, 59, 999, u"12/31/9999 11:59:59 PM"},
    {u"", 2020, 3, 5, 14, 7, 9, 0, u"3/5/2020 2:07:09 PM"},
    {u"ss nn", 2020, 3, 5, 14, 7, 9, 0, u"09 07"},
    {u"h:m:s mm", 2020, 3, 5, 14, 7, 9, 0, u"14:7:9 03"},
    {u"\"unterminated", 2020, 3, 5, 0, 0, 0, 0, u"unterminated"},
};

TEST(FormatDateTime, MatchesRuntime) {
  for (const auto& c : kFormatDateTimeCases)
    EXPECT_EQ(U8(FormatDateTime(c.fmt, At(c.y, c.mo, c.d, c.h, c.n, c.s, c.ms))), U8(c.expected))
        << U8(c.fmt);
}

TEST(FormatDateTime, SettingsNamesAndOddValues) {
  TFormatSettings fs;
  fs.DateSeparator = u'.';
  fs.TimeSeparator = u'h';
  fs.ShortDateFormat = u"dd/mm/yyyy";
  fs.LongTimeFormat = u"hh:nn:ss";
  fs.LongMonthNames[2] = u"M\u00e4rz";
  EXPECT_EQ(U8(FormatDateTime(u"c", At(2020, 3, 5, 14, 7, 9), fs)), "05.03.2020 14h07h09");
  EXPECT_EQ(U8(FormatDateTime(u"d mmmm", At(2020, 3, 5), fs)), "5 M\u00e4rz");
  EXPECT_EQ(U8(FormatDateTime(u"aaa aaaa", At(2020, 3, 5))), "Thu Thursday");
  EXPECT_EQ(U8(FormatDateTime(u"ampm h 'h' h", At(2020, 3, 5, 15))),
            "PM 3 h 3");  // a marker before the hour counts too
  // Before 30 December 1899 the fraction still counts forward from midnight.
  EXPECT_EQ(U8(FormatDateTime(u"c", -1.25)), "12/29/1899 6:00:00 AM");
  // Milliseconds are rounded, which may carry into the next day.
  EXPECT_EQ(U8(FormatDateTime(u"yyyy-mm-dd hh:nn:ss.zzz", At(2020, 3, 5) + 0.99999999999)),
            "2020-03-06 00:00:00.000");
  // Values without a date give zeros and no names, never a crash.
  EXPECT_EQ(U8(FormatDateTime(u"yyyy/mm/dd dddd mmm", std::nan(""))), "0000/00/00  ");
  EXPECT_EQ(U8(FormatDateTime(u"yyyy", 1e300)), "0000");
  EXPECT_EQ(U8(FormatDateTime(u"yyyy hh", 1e12)), "0000 00");
  // Named formats that name themselves stop after one level.
  fs.ShortDateFormat = u"ddddd";
  EXPECT_EQ(U8(FormatDateTime(u"ddddd", 0, fs)), "");
}

TEST(DateText, DateToStrTimeToStrDateTimeToStr) {
  EXPECT_EQ(U8(DateToStr(At(2020, 3, 5, 14, 7, 9))), "3/5/2020");
  EXPECT_EQ(U8(TimeToStr(At(2020, 3, 5, 14, 7, 9))), "2:07:09 PM");
  EXPECT_EQ(U8(DateTimeToStr(At(2020, 3, 5))), "3/5/2020");
  EXPECT_EQ(U8(DateTimeToStr(At(2020, 3, 5, 0, 0, 0, 1))),
            "3/5/2020");  // milliseconds alone are no time part
  EXPECT_EQ(U8(DateTimeToStr(At(2020, 3, 5, 0, 0, 1))), "3/5/2020 12:00:01 AM");
}

TEST(DateEncoding, EncodeDecodeAndCalendar) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(2020, 1, 1), 43831);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_EQ(DayOfWeek(At(2020, 3, 5)), 5);
  EXPECT_EQ(DayOfWeek(0), 7);  // 30 December 1899 was a Saturday
  EXPECT_EQ(DayOfWeek(-1.5), 6);
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 13), 0);
  // Every day of four centuries decodes back to itself.
  for (int days = -693593; days <= 2958465; days += 97) {
    int y = 0, m = 0, d = 0;
    DecodeDate(days >= 0 ? days + 0.75 : days - 0.75, y, m, d);  // the time counts away from zero
    ASSERT_EQ(EncodeDate(y, m, d), days);
  }
  int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
  DecodeDate(At(2024, 2, 29, 23, 59, 59, 999), y, m, d);
  DecodeTime(At(2024, 2, 29, 23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, ms}), (std::vector<int>{2024, 2, 29, 23, 59, 59, 999}));
  DecodeDate(-693594, y, m, d);  // before year 1
  EXPECT_EQ((std::vector<int>{y, m, d}), (std::vector<int>{0, 0, 0}));
}

TEST(DateEncoding, InvalidArgumentsRaiseConvertError) {
  const std::vector<std::vector<int>> badDates = {{2021, 2, 29}, {0, 1, 1},     {10000, 1, 1}, {2020, 0, 1},
                                                  {2020, 13, 1}, {2020, 4, 31}, {2020, 1, 0}};
  for (const auto& b : badDates) {
    try {
      EncodeDate(b[0], b[1], b[2]);
      ADD_FAILURE() << b[0] << "-" << b[1] << "-" << b[2];
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
  }
  for (const auto& b : std::vector<std::vector<int>>{
           {24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}}) {
    try {
      EncodeTime(b[0], b[1], b[2], b[3]);
      ADD_FAILURE() << b[0];
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to time encode");
    }
  }
}

// Reading dates depends on the current year (missing years, the two-digit window): pin it.
class DateReading : public ::testing::Test {
 protected:
  static TDateTime FixedNow() { return 46366.5; }  // 10 December 2026, noon
  void SetUp() override { SetClock(&FixedNow); }
  void TearDown() override { SetClock(nullptr); }
};

TEST_F(DateReading, ClockDrivesNowDateTime) {
  EXPECT_EQ(Now(), 46366.5);
  EXPECT_EQ(Date(), 46366);
  EXPECT_EQ(Time(), 0.5);
}

TEST_F(DateReading, StrToDateAndTimeMatchRuntime) {
  struct Case {
    const char16_t* text;
    double expected;
  };
  const Case dates[] = {
      {u"3/5/2020", 43895}, {u"3/5/20", 43895},       {u"3/5/70", 62157},  // two-digit years: 1976..2075
      {u"3/5/76", 27824},   {u"3/5/75", 63983},       {u"3/5", 46086},       {u" 3 / 5 / 2020 ", 43895},
      {u"12/30/1899", 0},   {u"03/05/0020", -686590}, {u"2/29/2024", 45351},
  };
  for (const auto& c : dates) EXPECT_EQ(StrToDate(c.text), c.expected) << U8(c.text);
  const Case times[] = {
      {u"2:07 PM", 0.58819444444444446},
      {u"14:07:09", 0.58829861111111109},
      {u"12:00 AM", 0},
      {u"12:30 pm", 0.52083333333333337},
      {u"14", 14.0 / 24},
      {u"PM 2:00", 14.0 / 24},
      {u"0:00:01.5", 1005.0 / 86400000},
  };
  for (const auto& c : times) EXPECT_DOUBLE_EQ(StrToTime(c.text), c.expected) << U8(c.text);
  EXPECT_DOUBLE_EQ(StrToDateTime(u"3/5/2020 14:07"), 43895.588194444445);
  EXPECT_DOUBLE_EQ(StrToDateTime(u"3/5/2020"), 43895);
  EXPECT_DOUBLE_EQ(StrToDateTime(u"2:07 PM"), 0.58819444444444446);
  EXPECT_DOUBLE_EQ(StrToDateTime(u"12/29/1899 6:00"), -1.25);
  TFormatSettings fs;
  fs.ShortDateFormat = u"dd.mm.yyyy";
  fs.DateSeparator = u'.';
  EXPECT_EQ(StrToDate(u"5.3.2020", fs), 43895);
  fs.ShortDateFormat = u"yyyy-mm-dd";
  fs.DateSeparator = u'-';
  EXPECT_EQ(StrToDate(u"2020-3-5", fs), 43895);
}

TEST_F(DateReading, MalformedTextRaisesConvertError) {
  struct Case {
    TDateTime (*read)(const WideString&, const TFormatSettings&);
    const char16_t* text;
    const char* message;
  };
  const Case cases[] = {
      {&StrToDate, u"32/13/2020", "'32/13/2020' is not a valid date"},
      {&StrToDate, u"2/30/2020", "'2/30/2020' is not a valid date"},
      {&StrToDate, u"3/5/2020x", "'3/5/2020x' is not a valid date"},
      {&StrToDate, u"", "'' is not a valid date"},
      {&StrToDate, u"3-5-2020", "'3-5-2020' is not a valid date"},
      {&StrToDate, u"99999999/5/2020", "'99999999/5/2020' is not a valid date"},
      {&StrToTime, u"25:00", "'25:00' is not a valid time"},
      {&StrToTime, u"13:00 PM", "'13:00 PM' is not a valid time"},
      {&StrToTime, u"1:", "'1:' is not a valid time"},
      {&StrToTime, u"abc", "'abc' is not a valid time"},
      {&StrToDateTime, u"x", "'x' is not a valid date and time"},
      {&StrToDateTime, u"3/5/2020 25:00", "'3/5/2020 25:00' is not a valid date and time"},
      {&StrToDateTime, u"3/5/10000", "'3/5/10000' is not a valid date and time"},
      {&StrToDate, u"3/5/", "'3/5/' is not a valid date"},
  };
  for (const auto& c : cases) {
    try {
      c.read(c.text, FormatSettings());
      ADD_FAILURE() << U8(c.text);
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  TDateTime out = 7;
  EXPECT_FALSE(TryStrToDate(u"1/1/1/1", out));
  EXPECT_FALSE(TryStrToTime(u"1:2:3:4", out));
  EXPECT_FALSE(TryStrToDateTime(u"1/1 1/1", out));
  EXPECT_EQ(out, 7);
}

}  // namespace
}  // namespace pagewright
