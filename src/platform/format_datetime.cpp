// Dates and times: encoding and decoding of day counts, FormatDateTime and the date and
// time parts of text conversion, and the replaceable clock.
#include "platform/format.h"

#include <cmath>
#include <ctime>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int kDateDelta = 693594;  // days from 1 January 0001 to 30 December 1899

const int kDaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                 {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

[[noreturn]] void RaiseConvert(const WideString& message) {
  throw EConvertError(Utf16ToUtf8(message));
}

// The value as whole days since 1 January 0001 (day 1) and milliseconds of the day, rounded to
// the millisecond: the integral part is the date, the fraction's magnitude the time.
struct TimeStamp {
  int64_t Date = 0;
  int64_t Time = 0;
};

TimeStamp ToTimeStamp(TDateTime dt) {
  TimeStamp ts;
  if (!std::isfinite(dt) || std::fabs(dt) > 1e11) return ts;  // far beyond year 9999: no date
  int64_t ms = RoundHalfEven(static_cast<Extended>(dt) * kMSecsPerDay);
  ts.Date = ms / kMSecsPerDay + kDateDelta;
  ts.Time = (ms < 0 ? -ms : ms) % kMSecsPerDay;
  return ts;
}

// Year, month and day of a day number (1 = 1 January 0001); zeros before that.
void DecodeDays(int64_t days, int& year, int& month, int& day, int& dayOfWeek) {
  if (days <= 0) {
    year = month = day = dayOfWeek = 0;
    return;
  }
  dayOfWeek = static_cast<int>(days % 7) + 1;
  int64_t t = days - 1;
  int64_t y = 1;
  y += 400 * (t / 146097);
  t %= 146097;
  int64_t c = t / 36524;
  if (c == 4) c = 3;
  y += 100 * c;
  t -= c * 36524;
  y += 4 * (t / 1461);
  t %= 1461;
  int64_t n = t / 365;
  if (n == 4) n = 3;
  y += n;
  t -= n * 365;
  year = static_cast<int>(y);
  const int* dim = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  int m = 0;
  while (t >= dim[m]) t -= dim[m++];
  month = m + 1;
  day = static_cast<int>(t) + 1;
}

TDateTime SystemNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  tm local{};
  localtime_r(&secs, &local);
  TDateTime d = 0;
  TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, d);
  int sec = local.tm_sec > 59 ? 59 : local.tm_sec;
  return d + (local.tm_hour * 3600000.0 + local.tm_min * 60000.0 + sec * 1000.0 + ts.tv_nsec / 1000000) /
                 kMSecsPerDay;
}

TClockFunction& ClockSlot() {
  static TClockFunction clock = nullptr;
  return clock;
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kDaysInMonth[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  const int* dim = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  int64_t days = day;
  for (int m = 0; m < month - 1; ++m) days += dim[m];
  int64_t y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  out = static_cast<TDateTime>(days - kDateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d = 0;
  if (!TryEncodeDate(year, month, day, d)) RaiseConvert(u"Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  out = (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t = 0;
  if (!TryEncodeTime(hour, min, sec, msec, t)) RaiseConvert(u"Invalid argument to time encode");
  return t;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int dow = 0;
  DecodeDays(ToTimeStamp(dt).Date, year, month, day, dow);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t t = ToTimeStamp(dt).Time;
  hour = static_cast<int>(t / 3600000);
  min = static_cast<int>(t / 60000 % 60);
  sec = static_cast<int>(t / 1000 % 60);
  msec = static_cast<int>(t % 1000);
}

int DayOfWeek(TDateTime dt) {
  int64_t days = ToTimeStamp(dt).Date;
  int64_t r = days % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

void SetClock(TClockFunction clock) {
  ClockSlot() = clock;
}

TDateTime Now() {
  TClockFunction clock = ClockSlot();
  return clock != nullptr ? clock() : SystemNow();
}

TDateTime Date() {
  return std::trunc(Now());
}

TDateTime Time() {
  TDateTime n = Now();
  return n - std::trunc(n);
}

// ---- FormatDateTime -----------------------------------------------------------------------

namespace {

class DateTimeWriter {
 public:
  DateTimeWriter(TDateTime dt, const TFormatSettings& fs) : fs_(fs) {
    TimeStamp ts = ToTimeStamp(dt);
    DecodeDays(ts.Date, year_, month_, day_, dayOfWeek_);
    hour_ = static_cast<int>(ts.Time / 3600000);
    minute_ = static_cast<int>(ts.Time / 60000 % 60);
    second_ = static_cast<int>(ts.Time / 1000 % 60);
    msec_ = static_cast<int>(ts.Time % 1000);
  }

  WideString Run(const WideString& fmt) {
    if (fmt.empty())
      Append(u"C", 0);
    else
      Append(fmt, 0);
    return out_;
  }

 private:
  static char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

  static bool StartsWithNoCase(std::u16string_view s, size_t at, std::u16string_view what) {
    if (at + what.size() > s.size()) return false;
    for (size_t k = 0; k < what.size(); ++k)
      if (Upper(s[at + k]) != what[k]) return false;
    return true;
  }

  void Number(int v, int digits) {
    WideString d = IntToStr(v);
    if (static_cast<int>(d.size()) < digits) out_.append(digits - d.size(), u'0');
    out_ += d;
  }

  // Whether an AM/PM marker follows the hour at `from`, before the next hour or any other "a".
  static bool TwelveHourClock(std::u16string_view f, size_t from) {
    bool quoted = false;
    for (size_t p = from; p < f.size(); ++p) {
      char16_t c = f[p];
      if (c == u'\'' || c == u'"') {
        quoted = !quoted;
      } else if (!quoted && (c == u'a' || c == u'A')) {
        return StartsWithNoCase(f, p, u"AM/PM") || StartsWithNoCase(f, p, u"A/P") ||
               StartsWithNoCase(f, p, u"AMPM");
      } else if (!quoted && (c == u'h' || c == u'H')) {
        return false;
      }
    }
    return false;
  }

  void Append(std::u16string_view f, int level) {
    // Named formats may name other formats once more, no deeper.
    if (level >= 2) return;
    char16_t lastToken = 0;
    bool twelveHour = false;  // once an AM/PM marker is seen, later hours use it too
    size_t i = 0;
    const size_t len = f.size();
    while (i < len) {
      char16_t starter = f[i++];
      char16_t token = Upper(starter);
      if (token >= u'A' && token <= u'Z') {
        if (token == u'M' && lastToken == u'H') token = u'N';
        lastToken = token;
      }
      auto count = [&]() {
        int n = 1;
        while (i < len && Upper(f[i]) == Upper(starter)) {
          ++i;
          ++n;
        }
        return n;
      };
      switch (token) {
        case u'Y': {
          int n = count();
          if (n <= 2)
            Number(year_ % 100, 2);
          else
            Number(year_, 4);
          break;
        }
        case u'M': {
          int n = count();
          if (n <= 2)
            Number(month_, n);
          else if (month_ >= 1)
            out_ += n == 3 ? fs_.ShortMonthNames[month_ - 1] : fs_.LongMonthNames[month_ - 1];
          break;
        }
        case u'D': {
          int n = count();
          if (n <= 2)
            Number(day_, n);
          else if (n <= 4) {
            if (dayOfWeek_ >= 1)
              out_ += n == 3 ? fs_.ShortDayNames[dayOfWeek_ - 1] : fs_.LongDayNames[dayOfWeek_ - 1];
          } else if (n == 5)
            Append(fs_.ShortDateFormat, level + 1);
          else
            Append(fs_.LongDateFormat, level + 1);
          break;
        }
        case u'H': {
          int n = count();
          int h = hour_;
          if (TwelveHourClock(f, i)) twelveHour = true;
          if (twelveHour) {
            if (h == 0)
              h = 12;
            else if (h > 12)
              h -= 12;
          }
          Number(h, n > 2 ? 2 : n);
          break;
        }
        case u'N': {
          int n = count();
          Number(minute_, n > 2 ? 2 : n);
          break;
        }
        case u'S': {
          int n = count();
          Number(second_, n > 2 ? 2 : n);
          break;
        }
        case u'Z': {
          int n = count();
          Number(msec_, n > 1 ? 3 : 1);
          break;
        }
        case u'T': {
          int n = count();
          Append(n == 1 ? fs_.ShortTimeFormat : fs_.LongTimeFormat, level + 1);
          break;
        }
        case u'C': {
          count();
          Append(fs_.ShortDateFormat, level + 1);
          if (hour_ != 0 || minute_ != 0 || second_ != 0) {
            out_ += u' ';
            Append(fs_.LongTimeFormat, level + 1);
          }
          break;
        }
        case u'A': {
          size_t p = i - 1;
          if (StartsWithNoCase(f, p, u"AM/PM")) {
            out_ += f.substr(hour_ >= 12 ? p + 3 : p, 2);
            i = p + 5;
            twelveHour = true;
          } else if (StartsWithNoCase(f, p, u"A/P")) {
            out_ += f.substr(hour_ >= 12 ? p + 2 : p, 1);
            i = p + 3;
            twelveHour = true;
          } else if (StartsWithNoCase(f, p, u"AMPM")) {
            out_ += hour_ < 12 ? fs_.TimeAMString : fs_.TimePMString;
            i = p + 4;
            twelveHour = true;
          } else if (StartsWithNoCase(f, p, u"AAAA")) {
            if (dayOfWeek_ >= 1) out_ += fs_.LongDayNames[dayOfWeek_ - 1];
            i = p + 4;
          } else if (StartsWithNoCase(f, p, u"AAA")) {
            if (dayOfWeek_ >= 1) out_ += fs_.ShortDayNames[dayOfWeek_ - 1];
            i = p + 3;
          } else {
            out_ += starter;
          }
          break;
        }
        case u'/':
          if (fs_.DateSeparator != 0) out_ += fs_.DateSeparator;
          break;
        case u':':
          if (fs_.TimeSeparator != 0) out_ += fs_.TimeSeparator;
          break;
        case u'\'':
        case u'"': {
          size_t start = i;
          while (i < len && f[i] != starter) ++i;
          out_ += f.substr(start, i - start);
          if (i < len) ++i;
          break;
        }
        default:
          out_ += starter;
      }
    }
  }

  const TFormatSettings& fs_;
  WideString out_;
  int year_ = 0, month_ = 0, day_ = 0, dayOfWeek_ = 0;
  int hour_ = 0, minute_ = 0, second_ = 0, msec_ = 0;
};

}  // namespace

WideString FormatDateTime(const WideString& fmt, TDateTime dt, const TFormatSettings& fs) {
  return DateTimeWriter(dt, fs).Run(fmt);
}

WideString DateToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime(u"ddddd", dt, fs);
}

WideString TimeToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime(u"tt", dt, fs);
}

WideString DateTimeToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime(u"c", dt, fs);
}

// ---- Text to date and time ----------------------------------------------------------------

namespace {

class DateTimeScanner {
 public:
  DateTimeScanner(const WideString& s, const TFormatSettings& fs) : s_(s), fs_(fs) {}

  bool AtEnd() {
    SkipBlanks();
    return pos_ >= s_.size();
  }

  bool ScanDate(TDateTime& out) {
    enum { doMDY, doDMY, doYMD } order = doMDY;
    for (char16_t c : fs_.ShortDateFormat) {
      char16_t u = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
      if (u == u'D') {
        order = doDMY;
        break;
      }
      if (u == u'M') {
        order = doMDY;
        break;
      }
      if (u == u'Y') {
        order = doYMD;
        break;
      }
    }
    int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
    if (!ScanNumber(n1, l1) || !ScanChar(fs_.DateSeparator) || !ScanNumber(n2, l2)) return false;
    int y = 0, m = 0, d = 0, yearLength = 0;
    if (ScanChar(fs_.DateSeparator)) {
      if (!ScanNumber(n3, l3)) return false;
      switch (order) {
        case doMDY:
          y = n3, yearLength = l3, m = n1, d = n2;
          break;
        case doDMY:
          y = n3, yearLength = l3, m = n2, d = n1;
          break;
        case doYMD:
          y = n1, yearLength = l1, m = n2, d = n3;
          break;
      }
      if (yearLength <= 2) {
        // Two-digit years fall in the window that ends TwoDigitYearCenturyWindow years from now.
        int current = 0, cm = 0, cd = 0;
        DecodeDate(Now(), current, cm, cd);
        int century = current - fs_.TwoDigitYearCenturyWindow;
        y += century / 100 * 100;
        if (fs_.TwoDigitYearCenturyWindow > 0 && y < century) y += 100;
      }
    } else {
      int cm = 0, cd = 0;
      DecodeDate(Now(), y, cm, cd);
      if (order == doDMY) {
        d = n1, m = n2;
      } else {
        m = n1, d = n2;
      }
    }
    return TryEncodeDate(y, m, d, out);
  }

  bool ScanTime(TDateTime& out) {
    int baseHour = -1;
    if (ScanText(fs_.TimeAMString) || ScanText(u"AM"))
      baseHour = 0;
    else if (ScanText(fs_.TimePMString) || ScanText(u"PM"))
      baseHour = 12;
    int hour = 0, min = 0, sec = 0, msec = 0, l = 0;
    if (!ScanNumber(hour, l)) return false;
    if (ScanChar(fs_.TimeSeparator)) {
      if (!ScanNumber(min, l)) return false;
      if (ScanChar(fs_.TimeSeparator)) {
        if (!ScanNumber(sec, l)) return false;
        if (ScanChar(fs_.DecimalSeparator) && !ScanNumber(msec, l)) return false;
      }
    }
    if (baseHour < 0) {
      if (ScanText(fs_.TimeAMString) || ScanText(u"AM"))
        baseHour = 0;
      else if (ScanText(fs_.TimePMString) || ScanText(u"PM"))
        baseHour = 12;
    }
    if (baseHour >= 0) {
      if (hour == 0 || hour > 12) return false;
      if (hour == 12) hour = 0;
      hour += baseHour;
    }
    return TryEncodeTime(hour, min, sec, msec, out);
  }

 private:
  void SkipBlanks() {
    while (pos_ < s_.size() && s_[pos_] == u' ') ++pos_;
  }
  bool ScanNumber(int& n, int& length) {
    SkipBlanks();
    size_t start = pos_;
    n = 0;
    // All the digits count, so that "3/5/10000" is no date of the year 1000 followed by a time "0".
    while (pos_ < s_.size() && s_[pos_] >= u'0' && s_[pos_] <= u'9') {
      n = n * 10 + (s_[pos_++] - u'0');
      if (n > 99999) return false;
    }
    length = static_cast<int>(pos_ - start);
    return length > 0;
  }
  bool ScanChar(char16_t c) {
    SkipBlanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool ScanText(std::u16string_view text) {
    if (text.empty()) return false;
    SkipBlanks();
    if (pos_ + text.size() > s_.size()) return false;
    for (size_t k = 0; k < text.size(); ++k)
      if (WideUpperChar(s_[pos_ + k]) != WideUpperChar(text[k])) return false;
    pos_ += text.size();
    return true;
  }

  const WideString& s_;
  const TFormatSettings& fs_;
  size_t pos_ = 0;
};

TDateTime Combine(TDateTime date, TDateTime time) {
  return date >= 0 ? date + time : date - time;
}

}  // namespace

bool TryStrToDate(const WideString& s, TDateTime& out, const TFormatSettings& fs) {
  DateTimeScanner sc(s, fs);
  TDateTime d = 0;
  if (!sc.ScanDate(d) || !sc.AtEnd()) return false;
  out = d;
  return true;
}

bool TryStrToTime(const WideString& s, TDateTime& out, const TFormatSettings& fs) {
  DateTimeScanner sc(s, fs);
  TDateTime t = 0;
  if (!sc.ScanTime(t) || !sc.AtEnd()) return false;
  out = t;
  return true;
}

bool TryStrToDateTime(const WideString& s, TDateTime& out, const TFormatSettings& fs) {
  DateTimeScanner sc(s, fs);
  TDateTime d = 0, t = 0;
  if (sc.ScanDate(d) && (sc.AtEnd() || (sc.ScanTime(t) && sc.AtEnd()))) {
    out = Combine(d, t);
    return true;
  }
  return TryStrToTime(s, out, fs);
}

TDateTime StrToDate(const WideString& s, const TFormatSettings& fs) {
  TDateTime d = 0;
  if (!TryStrToDate(s, d, fs)) RaiseConvert(u"'" + s + u"' is not a valid date");
  return d;
}

TDateTime StrToTime(const WideString& s, const TFormatSettings& fs) {
  TDateTime t = 0;
  if (!TryStrToTime(s, t, fs)) RaiseConvert(u"'" + s + u"' is not a valid time");
  return t;
}

TDateTime StrToDateTime(const WideString& s, const TFormatSettings& fs) {
  TDateTime dt = 0;
  if (!TryStrToDateTime(s, dt, fs)) RaiseConvert(u"'" + s + u"' is not a valid date and time");
  return dt;
}

}  // namespace pagewright
