// Number and date formatting and conversion routines of the runtime, with the process-wide
// format settings. Every routine reads the settings given (default: the process-wide ones);
// nothing reads the locale or the environment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace pagewright {

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

struct TFormatSettings {
  char16_t DecimalSeparator = u'.';
  char16_t ThousandSeparator = u',';
  char16_t DateSeparator = u'/';
  char16_t TimeSeparator = u':';
  char16_t ListSeparator = u',';
  WideString ShortDateFormat = u"m/d/yyyy";
  WideString LongDateFormat = u"dddd, mmmm d, yyyy";
  WideString ShortTimeFormat = u"h:nn AMPM";
  WideString LongTimeFormat = u"h:nn:ss AMPM";
  WideString TimeAMString = u"AM";
  WideString TimePMString = u"PM";
  WideString ShortMonthNames[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                    u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  WideString LongMonthNames[12] = {u"January",   u"February", u"March",    u"April",
                                   u"May",       u"June",     u"July",     u"August",
                                   u"September", u"October",  u"November", u"December"};
  WideString ShortDayNames[7] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
  WideString LongDayNames[7] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                u"Thursday", u"Friday", u"Saturday"};
  WideString CurrencyString = u"$";
  uint8_t CurrencyFormat = 0;  // 0: "$1"
  uint8_t NegCurrFormat = 0;   // 0: "($1)"
  uint8_t CurrencyDecimals = 2;
  uint16_t TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings, with the defaults above until changed.
TFormatSettings& FormatSettings();

// One argument of Format (the runtime's "array of const").
struct TFormatArg {
  enum Kind : uint8_t { fkInteger, fkInt64, fkExtended, fkCurrency, fkString, fkPointer } kind;
  int64_t i = 0;
  Extended f = 0;
  WideString s;
  TFormatArg(int v) : kind(fkInteger), i(v) {}
  TFormatArg(int64_t v) : kind(fkInt64), i(v) {}
  TFormatArg(double v) : kind(fkExtended), f(v) {}
  TFormatArg(long double v) : kind(fkExtended), f(v) {}
  TFormatArg(WideString v) : kind(fkString), s(std::move(v)) {}
  TFormatArg(const char16_t* v) : kind(fkString), s(v) {}
  static TFormatArg Currency(Extended v) {
    TFormatArg a(v);
    a.kind = fkCurrency;
    return a;
  }
  static TFormatArg Pointer(uint64_t address) {
    TFormatArg a(static_cast<int64_t>(address));
    a.kind = fkPointer;
    return a;
  }
};

// "%" [index ":"] ["-"] [width] ["." prec] type, with d u x e f g n m s p; "*" takes a width or
// precision from the arguments. A wrong argument kind or a missing argument raises EConvertError.
WideString Format(const WideString& fmt, const std::vector<TFormatArg>& args,
                  const TFormatSettings& fs = FormatSettings());
WideString FormatFloat(const WideString& fmt, Extended value, const TFormatSettings& fs = FormatSettings());
WideString FormatDateTime(const WideString& fmt, TDateTime dt, const TFormatSettings& fs = FormatSettings());
// Shortest general form, at most 15 significant digits; exponent form ("1.5E-7", "1E15") for more
// than 15 integer digits or values below 0.0001.
WideString FloatToStr(Extended value, const TFormatSettings& fs = FormatSettings());
WideString CurrToStr(Extended value, const TFormatSettings& fs = FormatSettings());
WideString IntToStr(int64_t value);
// Upper-case hexadecimal, at least `digits` digits; negative values as 32-bit two's complement
// when they fit and at most 8 digits are asked for, else as 64-bit.
WideString IntToHex(int64_t value, int digits);
WideString DateToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings());
WideString TimeToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings());
// Short date, plus the long time when there is a time part.
WideString DateTimeToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings());
WideString BoolToStr(bool b, bool useBoolStrs = false);
// Edit masks: "mask;save-literals;blank", with the mask characters of the runtime's edit controls;
// places the value does not fill become spaces.
WideString FormatMaskText(const WideString& editMask, const WideString& value);

// Conversions raise EConvertError with the runtime's message on text that does not convert.
int32_t StrToInt(const WideString& s);
int64_t StrToInt64(const WideString& s);
Extended StrToFloat(const WideString& s, const TFormatSettings& fs = FormatSettings());
TDateTime StrToDate(const WideString& s, const TFormatSettings& fs = FormatSettings());
TDateTime StrToTime(const WideString& s, const TFormatSettings& fs = FormatSettings());
TDateTime StrToDateTime(const WideString& s, const TFormatSettings& fs = FormatSettings());
bool StrToBool(const WideString& s);
bool TryStrToInt(const WideString& s, int32_t& out);
bool TryStrToInt64(const WideString& s, int64_t& out);
bool TryStrToFloat(const WideString& s, Extended& out, const TFormatSettings& fs = FormatSettings());
bool TryStrToDate(const WideString& s, TDateTime& out, const TFormatSettings& fs = FormatSettings());
bool TryStrToTime(const WideString& s, TDateTime& out, const TFormatSettings& fs = FormatSettings());
bool TryStrToDateTime(const WideString& s, TDateTime& out, const TFormatSettings& fs = FormatSettings());
bool TryStrToBool(const WideString& s, bool& out);

TDateTime EncodeDate(int year, int month, int day);          // EConvertError on an invalid date
TDateTime EncodeTime(int hour, int min, int sec, int msec);  // EConvertError on an invalid time
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// The clock behind Now, Date and Time, and the current year of the two-digit-year window.
// Tests and reproducible runs install their own; nullptr restores the system's local time.
using TClockFunction = TDateTime (*)();
void SetClock(TClockFunction clock);
TDateTime Now();
TDateTime Date();  // today, no time part
TDateTime Time();  // the time of day, no date part

}  // namespace pagewright
