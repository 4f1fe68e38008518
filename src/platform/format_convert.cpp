// Text to numbers and Booleans, Boolean texts, and edit-mask formatting.
#include "platform/format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

[[noreturn]] void RaiseConvert(const WideString& message) {
  throw EConvertError(Utf16ToUtf8(message));
}

// The runtime's integer reading: leading blanks, a sign, then decimal digits or hexadecimal
// after "$", "0x" or "x"; nothing may follow. Hexadecimal may use every bit of the type (so
// "$FFFFFFFF" reads as -1 for 32 bits); decimal must be in range.
bool ParseInteger(const WideString& s, int bits, int64_t& out) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && (s[i] == u' ' || s[i] == u'\t')) ++i;
  bool negative = false;
  if (i < n && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool hex = false;
  if (i < n && s[i] == u'$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  } else if (i < n && (s[i] == u'x' || s[i] == u'X')) {
    hex = true;
    ++i;
  }
  if (i >= n) return false;
  const uint64_t typeMask = bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  uint64_t v = 0;
  for (; i < n; ++i) {
    char16_t c = s[i];
    int d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (hex && c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return false;
    if (hex) {
      if (v > (typeMask >> 4)) return false;
      v = v << 4 | static_cast<uint64_t>(d);
    } else {
      const uint64_t limit = (uint64_t{1} << (bits - 1)) - (negative ? 0 : 1);
      if (v > (limit - d) / 10) return false;
      v = v * 10 + static_cast<uint64_t>(d);
    }
  }
  if (hex && bits == 32)
    v = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(v))));
  out = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

}  // namespace

bool TryStrToInt(const WideString& s, int32_t& out) {
  int64_t v = 0;
  if (!ParseInteger(s, 32, v)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool TryStrToInt64(const WideString& s, int64_t& out) {
  return ParseInteger(s, 64, out);
}

int32_t StrToInt(const WideString& s) {
  int32_t v = 0;
  if (!TryStrToInt(s, v)) RaiseConvert(u"'" + s + u"' is not a valid integer value");
  return v;
}

int64_t StrToInt64(const WideString& s) {
  int64_t v = 0;
  if (!TryStrToInt64(s, v)) RaiseConvert(u"'" + s + u"' is not a valid integer value");
  return v;
}

bool TryStrToFloat(const WideString& s, Extended& out, const TFormatSettings& fs) {
  // Blanks around, a sign, digits with the settings' decimal separator, an exponent.
  // The accepted text is rewritten in plain ASCII and read exactly, whatever the C locale is.
  size_t i = 0;
  size_t n = s.size();
  while (i < n && s[i] == u' ') ++i;
  while (n > i && s[n - 1] == u' ') --n;
  std::string text;
  if (i < n && (s[i] == u'+' || s[i] == u'-')) {
    if (s[i] == u'-') text += '-';
    ++i;
  }
  int mantissaDigits = 0;
  bool point = false;
  // The digits as an integer while they fit, for the short way below.
  uint64_t units = 0;
  int significant = 0, fractionDigits = 0;
  for (; i < n; ++i) {
    char16_t c = s[i];
    if (c >= u'0' && c <= u'9') {
      text += static_cast<char>(c);
      ++mantissaDigits;
      if (point) ++fractionDigits;
      if (significant > 0 || c != u'0') {
        ++significant;
        if (significant <= 19) units = units * 10 + static_cast<uint64_t>(c - u'0');
      }
    } else if (c == fs.DecimalSeparator && !point) {
      text += '.';
      point = true;
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return false;
  bool negativeExponent = false;
  const bool exponent = i < n && (s[i] == u'e' || s[i] == u'E');
  if (exponent) {
    ++i;
    text += 'e';
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
      negativeExponent = s[i] == u'-';
      text += static_cast<char>(s[i++]);
    }
    int expDigits = 0;
    for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i, ++expDigits) text += static_cast<char>(s[i]);
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  if (!exponent && significant <= 19 && fractionDigits <= 27) {
    // Templates and data are full of short decimals. Up to 19 digits are an exact integer and
    // 10^k (k <= 27) is exact in long double, so one division rounds exactly as the full reading.
    static const std::array<long double, 28> kPowers = [] {
      std::array<long double, 28> p{};
      p[0] = 1;
      for (size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
      return p;
    }();
    const long double v = static_cast<long double>(units) / kPowers[static_cast<size_t>(fractionDigits)];
    out = text[0] == '-' ? -v : v;
    return true;
  }
  long double v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (r.ptr != text.data() + text.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    if (!negativeExponent) return false;
    v = text[0] == '-' ? -0.0L : 0.0L;
  } else if (r.ec != std::errc()) {
    return false;
  }
  out = v;
  return true;
}

Extended StrToFloat(const WideString& s, const TFormatSettings& fs) {
  Extended v = 0;
  if (!TryStrToFloat(s, v, fs)) RaiseConvert(u"'" + s + u"' is not a valid floating point value");
  return v;
}

bool TryStrToBool(const WideString& s, bool& out) {
  auto same = [&](std::u16string_view word) {
    if (s.size() != word.size()) return false;
    for (size_t k = 0; k < s.size(); ++k)
      if (WideUpperChar(s[k]) != WideUpperChar(word[k])) return false;
    return true;
  };
  if (same(u"True")) {
    out = true;
    return true;
  }
  if (same(u"False")) {
    out = false;
    return true;
  }
  Extended v = 0;
  if (!TryStrToFloat(s, v)) return false;
  out = v != 0;
  return true;
}

bool StrToBool(const WideString& s) {
  bool b = false;
  if (!TryStrToBool(s, b)) RaiseConvert(u"'" + s + u"' is not a valid boolean value");
  return b;
}

WideString BoolToStr(bool b, bool useBoolStrs) {
  if (useBoolStrs) return b ? u"True" : u"False";
  return b ? u"-1" : u"0";
}

// ---- Edit masks ---------------------------------------------------------------------------

namespace {

enum MaskCharKind { mkLiteral, mkPlace, mkDirective };

struct MaskChar {
  MaskCharKind kind;
  char16_t ch;  // the literal's text
};

}  // namespace

WideString FormatMaskText(const WideString& editMask, const WideString& value) {
  // The mask part ends at the first unescaped ";"; a second field "0" means the value holds
  // only the entered characters, anything else that it holds the literals too.
  std::vector<MaskChar> mask;
  bool reverse = false;
  size_t i = 0;
  for (; i < editMask.size(); ++i) {
    char16_t c = editMask[i];
    if (c == u'\\' && i + 1 < editMask.size()) {
      mask.push_back({mkLiteral, editMask[++i]});
      continue;
    }
    if (c == u';') break;
    switch (c) {
      case u'!':
        reverse = true;
        break;
      case u'>':
      case u'<':
        break;
      case u'L':
      case u'l':
      case u'A':
      case u'a':
      case u'C':
      case u'c':
      case u'0':
      case u'9':
      case u'#':
        mask.push_back({mkPlace, 0});
        break;
      case u':':
        mask.push_back({mkLiteral, FormatSettings().TimeSeparator});
        break;
      case u'/':
        mask.push_back({mkLiteral, FormatSettings().DateSeparator});
        break;
      case u'_':
        mask.push_back({mkLiteral, u' '});
        break;
      default:
        mask.push_back({mkLiteral, c});
    }
  }
  bool saveLiterals = true;
  if (i < editMask.size()) {
    size_t second = i + 1;
    if (second < editMask.size() && editMask[second] == u'0') saveLiterals = false;
  }
  if (mask.empty()) return value;
  const char16_t blank = u' ';
  WideString out;
  if (saveLiterals) {
    // The value already holds the literals: keep them where they match, put them in where not.
    size_t v = 0;
    for (const MaskChar& m : mask) {
      if (m.kind == mkLiteral) {
        if (v < value.size() && value[v] == m.ch) ++v;
        out += m.ch;
      } else {
        out += v < value.size() ? value[v++] : blank;
      }
    }
    if (v < value.size()) out += value.substr(v);
    return out;
  }
  if (!reverse) {
    size_t v = 0;
    for (const MaskChar& m : mask) {
      if (m.kind == mkLiteral)
        out += m.ch;
      else
        out += v < value.size() ? value[v++] : blank;
    }
    if (v < value.size()) out += value.substr(v);
    return out;
  }
  // "!": the value fills the places from the end; missing places become leading blanks.
  size_t v = value.size();
  for (size_t k = mask.size(); k-- > 0;) {
    const MaskChar& m = mask[k];
    if (m.kind == mkLiteral)
      out += m.ch;
    else
      out += v > 0 ? value[--v] : blank;
  }
  WideString result(out.rbegin(), out.rend());
  if (v > 0) result.insert(0, value.substr(0, v));
  return result;
}

}  // namespace pagewright
