#include "data/sources/column_types.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "platform/format.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// "-?(0|[1-9][0-9]*)" within `maxDigits` digits.
bool IsPlainInteger(std::string_view s, size_t maxDigits) {
  if (!s.empty() && s[0] == '-') s.remove_prefix(1);
  if (s.empty() || s.size() > maxDigits) return false;
  if (!std::all_of(s.begin(), s.end(), IsDigit)) return false;
  return s.size() == 1 || s[0] != '0';
}

// "-?digits.digits" or with an exponent; at least one digit before the point, no leading zero
// before other digits.
bool IsPlainDecimal(std::string_view s) {
  if (!s.empty() && s[0] == '-') s.remove_prefix(1);
  size_t i = 0;
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i == 0) return false;
  if (i > 1 && s[0] == '0') return false;
  bool fraction = false, exponent = false;
  if (i < s.size() && s[i] == '.') {
    size_t j = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    if (i == j) return false;
    fraction = true;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t j = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    if (i == j) return false;
    exponent = true;
  }
  return i == s.size() && (fraction || exponent);
}

bool ParseInt64(std::string_view s, int64_t& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e && b != e;
}

bool ParseDouble(std::string_view s, double& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == e && b != e && std::isfinite(v);
}

int Digits(std::string_view s, size_t at, size_t count, bool& ok) {
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= s.size() || !IsDigit(s[i])) {
      ok = false;
      return 0;
    }
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

std::string Quoted(const std::string& text) {
  std::string shown = text.size() > 60 ? text.substr(0, 57) + "..." : text;
  return "\"" + shown + "\"";
}

std::string DecimalText(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

const char* ColumnTypeName(TpgwColumnType type) {
  switch (type) {
    case ctInteger: return "integer";
    case ctDecimal: return "decimal";
    case ctBoolean: return "boolean";
    case ctDate: return "date";
    case ctDateTime: return "datetime";
    case ctText: return "text";
    case ctUnknown: break;
  }
  return "unknown";
}

std::optional<TpgwColumnType> ColumnTypeByName(std::string_view name) {
  const std::string n = LowerAscii(name);
  if (n == "integer" || n == "int") return ctInteger;
  if (n == "decimal" || n == "number" || n == "float") return ctDecimal;
  if (n == "boolean" || n == "bool") return ctBoolean;
  if (n == "date") return ctDate;
  if (n == "datetime" || n == "timestamp") return ctDateTime;
  if (n == "text" || n == "string") return ctText;
  return std::nullopt;
}

TFieldType FieldTypeOf(TpgwColumnType type) {
  switch (type) {
    case ctInteger: return ftLargeint;
    case ctDecimal: return ftFloat;
    case ctBoolean: return ftBoolean;
    case ctDate: return ftDate;
    case ctDateTime: return ftDateTime;
    case ctText:
    case ctUnknown: break;
  }
  return ftWideString;
}

bool ParseIsoDateTime(std::string_view s, TDateTime& value, bool& hasTime) {
  bool ok = true;
  if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
  const int year = Digits(s, 0, 4, ok), month = Digits(s, 5, 2, ok), day = Digits(s, 8, 2, ok);
  if (!ok) return false;
  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) return false;
  hasTime = false;
  if (s.size() == 10) {
    value = date;
    return true;
  }
  if ((s[10] != 'T' && s[10] != ' ') || s.size() < 16 || s[13] != ':') return false;
  const int hour = Digits(s, 11, 2, ok), minute = Digits(s, 14, 2, ok);
  int second = 0, msec = 0;
  size_t i = 16;
  if (i < s.size() && s[i] == ':') {
    second = Digits(s, 17, 2, ok);
    i = 19;
    if (ok && i < s.size() && s[i] == '.') {
      size_t j = ++i;
      while (i < s.size() && IsDigit(s[i])) ++i;
      if (i == j) return false;
      // milliseconds from the first three fraction digits
      std::string frac(s.substr(j, std::min<size_t>(3, i - j)));
      while (frac.size() < 3) frac += '0';
      msec = std::stoi(frac);
    }
  }
  if (!ok || i != s.size()) return false;
  TDateTime time = 0;
  if (!TryEncodeTime(hour, minute, second, msec, time)) return false;
  hasTime = true;
  value = date + time;
  return true;
}

TpgwColumnType ClassifyText(std::string_view text) {
  if (IsPlainInteger(text, 15)) return ctInteger;
  if (IsPlainDecimal(text) && text.size() <= 40) return ctDecimal;
  TDateTime v;
  bool hasTime = false;
  if (ParseIsoDateTime(text, v, hasTime)) return hasTime ? ctDateTime : ctDate;
  return ctText;
}

TpgwColumnType JoinColumnTypes(TpgwColumnType seen, TpgwColumnType next) {
  if (seen == ctUnknown) return next;
  if (next == ctUnknown || next == seen) return seen;
  if ((seen == ctInteger && next == ctDecimal) || (seen == ctDecimal && next == ctInteger)) return ctDecimal;
  if ((seen == ctDate && next == ctDateTime) || (seen == ctDateTime && next == ctDate)) return ctDateTime;
  return ctText;
}

TpgwColumnType ValueColumnType(const TpgwSourceValue& value, bool classifyText) {
  switch (value.kind) {
    case TpgwSourceValue::Null: return ctUnknown;
    case TpgwSourceValue::Integer: return ctInteger;
    case TpgwSourceValue::Decimal: return ctDecimal;
    case TpgwSourceValue::Boolean: return ctBoolean;
    case TpgwSourceValue::Text: break;
  }
  if (!classifyText) return ctText;
  TDateTime v;
  bool hasTime = false;
  if (ParseIsoDateTime(value.text, v, hasTime)) return hasTime ? ctDateTime : ctDate;
  return ctText;
}

std::string StoreValue(TField& field, TpgwColumnType type, const TpgwSourceValue& value) {
  if (value.kind == TpgwSourceValue::Null) {
    field.Clear();
    return {};
  }
  const bool isText = value.kind == TpgwSourceValue::Text;
  switch (type) {
    case ctInteger: {
      int64_t v = 0;
      if (value.kind == TpgwSourceValue::Integer) {
        v = value.integer;
      } else if (value.kind == TpgwSourceValue::Decimal && std::trunc(value.decimal) == value.decimal &&
                 std::fabs(value.decimal) < 9.2e18) {
        v = static_cast<int64_t>(value.decimal);
      } else if (!isText || !ParseInt64(value.text, v)) {
        return (isText ? Quoted(value.text) : std::string("the value")) + " is not an integer";
      }
      field.SetAsLargeInt(v);
      return {};
    }
    case ctDecimal: {
      double v = 0;
      if (value.kind == TpgwSourceValue::Decimal)
        v = value.decimal;
      else if (value.kind == TpgwSourceValue::Integer)
        v = static_cast<double>(value.integer);
      else if (!isText || !ParseDouble(value.text, v))
        return (isText ? Quoted(value.text) : std::string("a Boolean")) + " is not a number";
      field.SetAsFloat(v);
      return {};
    }
    case ctBoolean: {
      bool v = false;
      if (value.kind == TpgwSourceValue::Boolean) {
        v = value.boolean;
      } else if (value.kind == TpgwSourceValue::Integer && (value.integer == 0 || value.integer == 1)) {
        v = value.integer == 1;
      } else if (isText) {
        const std::string t = LowerAscii(value.text);
        if (t == "true" || t == "yes" || t == "1")
          v = true;
        else if (t == "false" || t == "no" || t == "0")
          v = false;
        else
          return Quoted(value.text) + " is not a Boolean (true, false, yes, no, 1 or 0)";
      } else {
        return "the number is not a Boolean (true, false, yes, no, 1 or 0)";
      }
      field.SetAsBoolean(v);
      return {};
    }
    case ctDate:
    case ctDateTime: {
      TDateTime v = 0;
      bool hasTime = false;
      if (!isText || !ParseIsoDateTime(value.text, v, hasTime))
        return (isText ? Quoted(value.text) : std::string("the value")) +
               (type == ctDate ? " is not a date (YYYY-MM-DD)" : " is not a date and time (YYYY-MM-DDTHH:MM:SS)");
      if (type == ctDate && hasTime) return Quoted(value.text) + " is not a date (YYYY-MM-DD) but has a time";
      field.SetAsDateTime(v);
      return {};
    }
    case ctText:
    case ctUnknown:
      break;
  }
  switch (value.kind) {
    case TpgwSourceValue::Integer: field.SetAsString(Utf8ToUtf16(std::to_string(value.integer))); break;
    case TpgwSourceValue::Decimal: field.SetAsString(Utf8ToUtf16(DecimalText(value.decimal))); break;
    case TpgwSourceValue::Boolean: field.SetAsString(value.boolean ? u"true" : u"false"); break;
    default: field.SetAsString(Utf8ToUtf16(value.text)); break;
  }
  return {};
}

}  // namespace pagewright
