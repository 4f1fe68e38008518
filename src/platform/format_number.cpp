// Number to text: exact decimal digits of Extended values, picture formats (FormatFloat),
// the general, fixed, exponent, number and currency forms, and printf-like Format.
#include "platform/format.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

namespace {

// A value as decimal digits: 0.d1d2d3... x 10^Exponent, no trailing zeros; no digits means zero.
struct FloatRec {
  bool Negative = false;
  int Exponent = 0;
  int Count = 0;
  std::array<char, 24> Digits{};
};

// Significant digits the runtime keeps of an Extended before any further rounding.
constexpr int kMaxPrecision = 18;

// Arbitrary-size unsigned integer in base 1e9, little-endian, on the stack: enough limbs for
// the exact value of any finite long double (about 11,500 decimal digits).
class BigDecimalDigits {
 public:
  explicit BigDecimalDigits(uint64_t v) {
    while (v != 0) {
      limbs_[size_++] = static_cast<uint32_t>(v % kBase);
      v /= kBase;
    }
  }
  void Multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < size_; ++i) {
      uint64_t t = static_cast<uint64_t>(limbs_[i]) * factor + carry;
      limbs_[i] = static_cast<uint32_t>(t % kBase);
      carry = t / kBase;
    }
    while (carry != 0) {
      limbs_[size_++] = static_cast<uint32_t>(carry % kBase);
      carry /= kBase;
    }
  }
  void MultiplyPow2(int n) {
    while (n >= 28) {
      Multiply(1u << 28);
      n -= 28;
    }
    if (n > 0) Multiply(1u << n);
  }
  void MultiplyPow5(int n) {
    while (n >= 13) {
      Multiply(1220703125u);  // 5^13
      n -= 13;
    }
    uint32_t f = 1;
    while (n-- > 0) f *= 5;
    if (f > 1) Multiply(f);
  }
  // The first `want` decimal digits into out (as characters), the total digit count, and
  // whether any digit after those is non-zero.
  int LeadingDigits(char* out, int want, bool& sticky) const {
    int total = 0;
    int written = 0;
    sticky = false;
    char buf[10];
    for (int i = size_ - 1; i >= 0; --i) {
      uint32_t limb = limbs_[i];
      int n = 0;
      if (i == size_ - 1) {
        do {
          buf[n++] = static_cast<char>('0' + limb % 10);
          limb /= 10;
        } while (limb != 0);
      } else {
        for (; n < 9; ++n) {
          buf[n] = static_cast<char>('0' + limb % 10);
          limb /= 10;
        }
      }
      total += n;
      while (n > 0) {
        char c = buf[--n];
        if (written < want)
          out[written++] = c;
        else if (c != '0')
          sticky = true;
      }
    }
    return total;
  }

 private:
  static constexpr uint32_t kBase = 1000000000u;
  std::array<uint32_t, 1400> limbs_;
  int size_ = 0;
};

// The value's exact decimal expansion rounded to nearest (ties to even) at 18 significant digits.
FloatRec ToDecimal18(Extended value) {
  FloatRec r;
  r.Negative = std::signbit(value) && value != 0;
  Extended a = std::fabs(value);
  if (a == 0) return r;
  int e2 = 0;
  Extended fr = std::frexp(a, &e2);  // a = fr * 2^e2, fr in [0.5, 1)
  uint64_t m = static_cast<uint64_t>(std::ldexp(fr, 64));
  e2 -= 64;
  while ((m & 1) == 0 && e2 < 0) {
    m >>= 1;
    ++e2;
  }
  BigDecimalDigits big(m);
  int decExp = 0;
  if (e2 > 0)
    big.MultiplyPow2(e2);
  else if (e2 < 0) {
    big.MultiplyPow5(-e2);
    decExp = e2;  // value = big * 10^e2
  }
  char digits[kMaxPrecision + 1];
  bool sticky = false;
  int total = big.LeadingDigits(digits, kMaxPrecision + 1, sticky);
  int n = total < kMaxPrecision + 1 ? total : kMaxPrecision + 1;
  r.Exponent = total + decExp;
  if (n > kMaxPrecision) {
    char next = digits[kMaxPrecision];
    bool up = next > '5' || (next == '5' && (sticky || ((digits[kMaxPrecision - 1] - '0') & 1)));
    n = kMaxPrecision;
    if (up) {
      int i = n - 1;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i < 0) {
        digits[0] = '1';
        n = 1;
        ++r.Exponent;
      } else {
        ++digits[i];
      }
    }
  }
  while (n > 0 && digits[n - 1] == '0') --n;
  std::memcpy(r.Digits.data(), digits, n);
  r.Count = n;
  return r;
}

// The runtime's FloatToDecimal: 18 digits first, then rounded half up to `precision`
// significant digits or `decimals` digits after the point, whichever keeps fewer.
FloatRec FloatToDecimal(Extended value, int precision, int decimals) {
  FloatRec r = ToDecimal18(value);
  r.Negative = value < 0;
  if (r.Count == 0) return r;
  int64_t n = static_cast<int64_t>(decimals) + r.Exponent;
  if (n > precision) n = precision;
  if (n > kMaxPrecision) n = kMaxPrecision;
  if (n < 0) {
    r.Count = 0;
  } else if (n < r.Count) {
    bool up = r.Digits[n] >= '5';
    r.Count = static_cast<int>(n);
    if (up) {
      int i = r.Count - 1;
      while (i >= 0 && r.Digits[i] == '9') --i;
      if (i < 0) {
        r.Digits[0] = '1';
        r.Count = 1;
        ++r.Exponent;
      } else {
        ++r.Digits[i];
        r.Count = i + 1;
      }
    }
    while (r.Count > 0 && r.Digits[r.Count - 1] == '0') --r.Count;
  }
  if (r.Count == 0) r.Exponent = 0;
  return r;
}

void AppendInt(WideString& out, int64_t v) {
  char buf[24];
  int n = 0;
  uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    buf[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) out += u'-';
  while (n > 0) out += static_cast<char16_t>(buf[--n]);
}

bool SpecialValue(Extended value, WideString& out) {
  if (std::isnan(value)) {
    out = u"NAN";
    return true;
  }
  if (std::isinf(value)) {
    out = value < 0 ? u"-INF" : u"INF";
    return true;
  }
  return false;
}

// ffGeneral: fixed notation unless the exponent exceeds the precision or the value is below 0.0001.
WideString GeneralText(Extended value, int precision, const TFormatSettings& fs) {
  WideString out;
  if (SpecialValue(value, out)) return out;
  if (precision < 1) precision = 1;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  FloatRec r = FloatToDecimal(value, precision, 9999);
  if (r.Count == 0) return u"0";
  if (r.Negative) out += u'-';
  if (r.Exponent > precision || r.Exponent < -3) {
    out += static_cast<char16_t>(r.Digits[0]);
    if (r.Count > 1) {
      out += fs.DecimalSeparator;
      for (int i = 1; i < r.Count; ++i) out += static_cast<char16_t>(r.Digits[i]);
    }
    out += u'E';
    AppendInt(out, r.Exponent - 1);
    return out;
  }
  if (r.Exponent <= 0) {
    out += u'0';
    out += fs.DecimalSeparator;
    out.append(static_cast<size_t>(-r.Exponent), u'0');
    for (int i = 0; i < r.Count; ++i) out += static_cast<char16_t>(r.Digits[i]);
    return out;
  }
  for (int i = 0; i < r.Exponent; ++i) out += i < r.Count ? static_cast<char16_t>(r.Digits[i]) : u'0';
  if (r.Count > r.Exponent) {
    out += fs.DecimalSeparator;
    for (int i = r.Exponent; i < r.Count; ++i) out += static_cast<char16_t>(r.Digits[i]);
  }
  return out;
}

// ffExponent: d.ddd with `precision` digits (at least two), "E", sign, at least `expDigits` exponent digits.
WideString ExponentText(Extended value, int precision, int expDigits, const TFormatSettings& fs) {
  WideString out;
  if (SpecialValue(value, out)) return out;
  if (precision < 2) precision = 2;  // the runtime always writes a digit after the point
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  FloatRec r = FloatToDecimal(value, precision, 9999);
  if (r.Negative && r.Count > 0) out += u'-';
  auto digit = [&](int i) { return i < r.Count ? static_cast<char16_t>(r.Digits[i]) : u'0'; };
  out += digit(0);
  out += fs.DecimalSeparator;
  for (int i = 1; i < precision; ++i) out += digit(i);
  int e = r.Count == 0 ? 0 : r.Exponent - 1;
  out += u'E';
  out += e < 0 ? u'-' : u'+';
  WideString ed;
  AppendInt(ed, e < 0 ? -static_cast<int64_t>(e) : e);
  if (expDigits > 4) expDigits = 4;
  if (static_cast<int>(ed.size()) < expDigits) out.append(expDigits - ed.size(), u'0');
  out += ed;
  return out;
}

// ffFixed and ffNumber: the digits without sign, with `digits` decimals; `negative` tells
// whether a non-zero negative value remains after rounding.
WideString FixedDigits(Extended value, int digits, bool grouped, const TFormatSettings& fs, bool& negative) {
  if (digits < 0) digits = 0;
  if (digits > kMaxPrecision) digits = kMaxPrecision;
  FloatRec r = FloatToDecimal(value, kMaxPrecision, digits);
  negative = r.Negative && r.Count > 0;
  WideString out;
  auto digit = [&](int i) { return i >= 0 && i < r.Count ? static_cast<char16_t>(r.Digits[i]) : u'0'; };
  if (r.Exponent <= 0) {
    out += u'0';
  } else {
    for (int i = 0; i < r.Exponent; ++i) {
      out += digit(i);
      int left = r.Exponent - 1 - i;
      if (grouped && left > 0 && left % 3 == 0 && fs.ThousandSeparator != 0) out += fs.ThousandSeparator;
    }
  }
  if (digits > 0) {
    out += fs.DecimalSeparator;
    for (int i = 0; i < digits; ++i) out += digit(r.Exponent + i);
  }
  return out;
}

WideString FixedText(Extended value, int digits, bool grouped, const TFormatSettings& fs) {
  WideString out;
  if (SpecialValue(value, out)) return out;
  bool negative = false;
  WideString body = FixedDigits(value, digits, grouped, fs, negative);
  return negative ? u"-" + body : body;
}

WideString CurrencyText(Extended value, int digits, const TFormatSettings& fs) {
  WideString out;
  if (SpecialValue(value, out)) return out;
  bool negative = false;
  WideString n = FixedDigits(value, digits, true, fs, negative);
  const WideString& c = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 1:
        return n + c;
      case 2:
        return c + u" " + n;
      case 3:
        return n + u" " + c;
      default:
        return c + n;
    }
  }
  switch (fs.NegCurrFormat) {
    case 1:
      return u"-" + c + n;
    case 2:
      return c + u"-" + n;
    case 3:
      return c + n + u"-";
    case 4:
      return u"(" + n + c + u")";
    case 5:
      return u"-" + n + c;
    case 6:
      return n + u"-" + c;
    case 7:
      return n + c + u"-";
    case 8:
      return u"-" + n + u" " + c;
    case 9:
      return u"-" + c + u" " + n;
    case 10:
      return n + u" " + c + u"-";
    case 11:
      return c + u" " + n + u"-";
    case 12:
      return c + u" -" + n;
    case 13:
      return n + u"- " + c;
    case 14:
      return u"(" + c + u" " + n + u")";
    case 15:
      return u"(" + n + u" " + c + u")";
    default:
      return u"(" + c + n + u")";
  }
}

[[noreturn]] void RaiseConvert(const WideString& message) {
  throw EConvertError(Utf16ToUtf8(message));
}

// One section of a picture format, analysed and then written out digit by digit.
class PictureWriter {
 public:
  PictureWriter(std::u16string_view section, Extended value, int sectionIndex, const TFormatSettings& fs)
      : section_(section), value_(value), sectionIndex_(sectionIndex), fs_(fs) {}

  // False when the value cannot be shown by the section (too large for fixed notation).
  bool Write(WideString& out) {
    Analyse();
    if (scientific_) {
      rec_ = FloatToDecimal(value_, requested_, 9999);
    } else {
      rec_ = FloatToDecimal(value_, kMaxPrecision, requested_ - decimalPos_ + 1);
      if (rec_.Exponent > kMaxPrecision) return false;  // more than 18 integer digits
    }
    distToDecimal_ = decimalPos_ - 1;
    if (scientific_) {
      padZeroes_ = 0;
    } else {
      padZeroes_ = rec_.Exponent - (decimalPos_ - 1);
      if (padZeroes_ >= 0) distToDecimal_ = rec_.Exponent;
    }
    out_ = &out;
    if (rec_.Negative && sectionIndex_ == 0) out += u'-';
    const size_t len = section_.size();
    char16_t quote = 0;
    for (size_t i = 0; i < len; ++i) {
      char16_t c = section_[i];
      if (c == u'"' || c == u'\'') {
        if (quote == 0)
          quote = c;
        else if (quote == c)
          quote = 0;
        else
          out += c;
        continue;
      }
      if (quote != 0) {
        out += c;
        continue;
      }
      switch (c) {
        case u'0':
        case u'#':
          CopyDigit();
          break;
        case u'.':
        case u',':
          break;
        case u'e':
        case u'E':
          out += c;
          if (scientific_) {
            ++i;
            if (i < len && (section_[i] == u'+' || section_[i] == u'-')) {
              AppendExponent(section_[i], rec_.Exponent - decimalPos_ + 1);
              while (i + 1 < len && section_[i + 1] == u'0') ++i;
            }
          } else if (i + 1 < len) {
            ++i;
            out += section_[i];
          }
          break;
        default:
          out += c;
      }
    }
    return true;
  }

 private:
  void Analyse() {
    const size_t len = section_.size();
    char16_t quote = 0;
    int firstDigit = INT_MAX;
    int lastDigit = 0;
    for (size_t i = 0; i < len; ++i) {
      char16_t c = section_[i];
      if (c == u'"' || c == u'\'') {
        if (quote == 0)
          quote = c;
        else if (quote == c)
          quote = 0;
        continue;
      }
      if (quote != 0) continue;
      switch (c) {
        case u'.':
          if (decimalPos_ == 0) decimalPos_ = requested_ + 1;
          break;
        case u',':
          thousands_ = fs_.ThousandSeparator != 0;
          break;
        case u'e':
        case u'E':
          ++i;
          if (i + 1 < len) {
            scientific_ = section_[i] == u'+' || section_[i] == u'-';
            if (scientific_)
              while (i + 1 < len && section_[i + 1] == u'0') {
                ++expSize_;
                ++i;
              }
            if (expSize_ > 4) expSize_ = 4;
          }
          break;
        case u'#':
          ++requested_;
          break;
        case u'0':
          if (requested_ < firstDigit) firstDigit = requested_ + 1;
          ++requested_;
          lastDigit = requested_ + 1;
          break;
        default:
          break;
      }
    }
    if (decimalPos_ == 0) decimalPos_ = requested_ + 1;
    lastDigit_ = decimalPos_ - lastDigit;
    if (lastDigit_ > 0) lastDigit_ = 0;
    firstDigit_ = firstDigit == INT_MAX ? 0 : decimalPos_ - firstDigit;
    if (firstDigit_ < 0) firstDigit_ = 0;
  }

  void WriteDigit(char16_t d) {
    if (d == 0) return;
    --distToDecimal_;
    if (distToDecimal_ == -1) {
      *out_ += fs_.DecimalSeparator;
      *out_ += d;
    } else {
      *out_ += d;
      if (thousands_ && distToDecimal_ % 3 == 0 && distToDecimal_ > 1) *out_ += fs_.ThousandSeparator;
    }
  }

  char16_t NextDigit() {
    if (current_ < rec_.Count) return static_cast<char16_t>(rec_.Digits[current_++]);
    if (distToDecimal_ <= lastDigit_) {
      --distToDecimal_;
      return 0;
    }
    return u'0';
  }

  void CopyDigit() {
    if (padZeroes_ == 0) {
      WriteDigit(NextDigit());
    } else if (padZeroes_ < 0) {
      ++padZeroes_;
      if (distToDecimal_ <= firstDigit_)
        WriteDigit(u'0');
      else
        --distToDecimal_;
    } else {
      while (padZeroes_ > 0) {
        WriteDigit(NextDigit());
        --padZeroes_;
      }
      WriteDigit(NextDigit());
    }
  }

  void AppendExponent(char16_t sign, int exponent) {
    if (value_ == 0) exponent = 0;
    WideString digits;
    AppendInt(digits, exponent < 0 ? -static_cast<int64_t>(exponent) : exponent);
    if (exponent < 0)
      *out_ += u'-';
    else if (sign == u'+')
      *out_ += u'+';
    if (static_cast<int>(digits.size()) < expSize_) out_->append(expSize_ - digits.size(), u'0');
    *out_ += digits;
  }

  std::u16string_view section_;
  Extended value_;
  int sectionIndex_;
  const TFormatSettings& fs_;
  FloatRec rec_;
  WideString* out_ = nullptr;
  bool thousands_ = false;
  bool scientific_ = false;
  int decimalPos_ = 0;
  int firstDigit_ = 0;
  int lastDigit_ = 0;
  int requested_ = 0;
  int expSize_ = 0;
  int current_ = 0;
  int padZeroes_ = 0;
  int distToDecimal_ = 0;
};

}  // namespace

WideString FloatToStr(Extended value, const TFormatSettings& fs) {
  return GeneralText(value, 15, fs);
}

WideString FormatFloat(const WideString& fmt, Extended value, const TFormatSettings& fs) {
  // Up to three sections, split at semicolons outside quotes: positive;negative;zero.
  std::u16string_view sections[3];
  int count = 0;
  size_t start = 0;
  char16_t quote = 0;
  for (size_t i = 0; i <= fmt.size() && count < 3; ++i) {
    char16_t c = i < fmt.size() ? fmt[i] : u';';
    if (c == u'"' || c == u'\'') {
      if (quote == 0)
        quote = c;
      else if (quote == c)
        quote = 0;
    } else if (c == u';' && (quote == 0 || i == fmt.size())) {
      sections[count++] = std::u16string_view(fmt).substr(start, i - start);
      start = i + 1;
    }
  }
  int index = value > 0 ? 0 : value < 0 ? 1 : 2;
  if (index >= count || sections[index].empty()) index = 0;
  WideString out;
  if (std::isfinite(value) && !sections[index].empty()) {
    PictureWriter writer(sections[index], value, index, fs);
    if (writer.Write(out)) return out;
  }
  return GeneralText(value, 15, fs);
}

WideString CurrToStr(Extended value, const TFormatSettings& fs) {
  // Currency holds four decimals; its text is the general form of that exact value.
  WideString out;
  if (SpecialValue(value, out)) return out;
  Extended scaled = std::nearbyint(value * 10000);
  if (!(std::fabs(scaled) < 9223372036854775808.0L)) return GeneralText(value, 19, fs);
  int64_t units = static_cast<int64_t>(scaled);
  uint64_t a = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  if (units < 0) out += u'-';
  WideString whole;
  AppendInt(whole, static_cast<int64_t>(a / 10000));
  out += whole;
  int frac = static_cast<int>(a % 10000);
  if (frac != 0) {
    out += fs.DecimalSeparator;
    char16_t d[4];
    for (int i = 3; i >= 0; --i) {
      d[i] = static_cast<char16_t>(u'0' + frac % 10);
      frac /= 10;
    }
    int n = 4;
    while (d[n - 1] == u'0') --n;
    out.append(d, n);
  }
  return out;
}

WideString IntToStr(int64_t value) {
  WideString out;
  AppendInt(out, value);
  return out;
}

namespace {
WideString HexDigits(uint64_t v, int minDigits) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  char16_t buf[16];
  int n = 0;
  do {
    buf[n++] = kHex[v & 15];
    v >>= 4;
  } while (v != 0);
  WideString out;
  if (minDigits > n) out.append(static_cast<size_t>(minDigits - n), u'0');
  while (n > 0) out += buf[--n];
  return out;
}
}  // namespace

WideString IntToHex(int64_t value, int digits) {
  // Negative values that fit 32 bits are written as 32-bit two's complement, as the runtime's
  // Integer overload does, unless more than eight digits are asked for (its Int64 overload).
  uint64_t v = static_cast<uint64_t>(value);
  if (value < 0 && value >= INT32_MIN && digits <= 8) v = static_cast<uint32_t>(static_cast<int32_t>(value));
  return HexDigits(v, digits);
}

// ---- Format -----------------------------------------------------------------------------

WideString Format(const WideString& fmt, const std::vector<TFormatArg>& args, const TFormatSettings& fs) {
  WideString out;
  const size_t len = fmt.size();
  size_t argIndex = 0;
  auto invalid = [&]() { RaiseConvert(u"Format '" + fmt + u"' invalid or incompatible with argument"); };
  auto nextArg = [&]() -> const TFormatArg& {
    if (argIndex >= args.size()) RaiseConvert(u"No argument for format '" + fmt + u"'");
    return args[argIndex++];
  };
  // A number in the specifier: digits, or "*" taking an integer argument; -1 when absent.
  // Widths and precisions are capped so that a hostile format cannot ask for gigabytes.
  constexpr int64_t kMaxWidth = 1000000;
  auto number = [&](size_t& i) -> int64_t {
    if (i < len && fmt[i] == u'*') {
      ++i;
      const TFormatArg& a = nextArg();
      if (a.kind != TFormatArg::fkInteger && a.kind != TFormatArg::fkInt64) invalid();
      return a.i < kMaxWidth ? a.i : kMaxWidth;
    }
    if (i >= len || fmt[i] < u'0' || fmt[i] > u'9') return -1;
    int64_t n = 0;
    while (i < len && fmt[i] >= u'0' && fmt[i] <= u'9') {
      n = n * 10 + (fmt[i] - u'0');
      if (n > kMaxWidth) n = kMaxWidth;
      ++i;
    }
    return n;
  };
  size_t i = 0;
  while (i < len) {
    char16_t c = fmt[i++];
    if (c != u'%') {
      out += c;
      continue;
    }
    if (i < len && fmt[i] == u'%') {
      out += u'%';
      ++i;
      continue;
    }
    int64_t n = number(i);
    if (n >= 0 && i < len && fmt[i] == u':') {
      ++i;
      argIndex = static_cast<size_t>(n);
      n = -1;
    }
    bool left = false;
    if (n < 0 && i < len && fmt[i] == u'-') {
      left = true;
      ++i;
    }
    int64_t width = n >= 0 ? n : number(i);
    int64_t prec = -1;
    if (i < len && fmt[i] == u'.') {
      ++i;
      prec = number(i);
      if (prec < 0) prec = 0;
    }
    if (i >= len) invalid();
    char16_t type = fmt[i++];
    if (type >= u'a' && type <= u'z') type = static_cast<char16_t>(type - 32);
    const TFormatArg& a = nextArg();
    bool isInt = a.kind == TFormatArg::fkInteger || a.kind == TFormatArg::fkInt64;
    bool isFloat = a.kind == TFormatArg::fkExtended || a.kind == TFormatArg::fkCurrency;
    WideString text;
    switch (type) {
      case u'D': {
        if (!isInt) invalid();
        uint64_t u = a.i < 0 ? 0 - static_cast<uint64_t>(a.i) : static_cast<uint64_t>(a.i);
        WideString digits;
        AppendInt(digits, static_cast<int64_t>(u));
        if (a.i == INT64_MIN) digits = u"9223372036854775808";
        if (prec > 0 && static_cast<int64_t>(digits.size()) < prec)
          digits.insert(0, prec - digits.size(), u'0');
        text = a.i < 0 ? u"-" + digits : digits;
        break;
      }
      case u'U': {
        if (!isInt) invalid();
        uint64_t u =
            a.kind == TFormatArg::fkInteger ? static_cast<uint32_t>(a.i) : static_cast<uint64_t>(a.i);
        char buf[24];
        int k = 0;
        do {
          buf[k++] = static_cast<char>('0' + u % 10);
          u /= 10;
        } while (u != 0);
        while (k > 0) text += static_cast<char16_t>(buf[--k]);
        if (prec > 0 && static_cast<int64_t>(text.size()) < prec) text.insert(0, prec - text.size(), u'0');
        break;
      }
      case u'X': {
        if (!isInt) invalid();
        uint64_t u =
            a.kind == TFormatArg::fkInteger ? static_cast<uint32_t>(a.i) : static_cast<uint64_t>(a.i);
        text =
            HexDigits(u, prec > 0 ? static_cast<int>(std::min<int64_t>(prec, 16)) : 1);  // at most 16 digits
        break;
      }
      case u'P': {
        if (a.kind != TFormatArg::fkPointer) invalid();
        text = HexDigits(static_cast<uint64_t>(a.i), 8);
        break;
      }
      case u'S': {
        if (a.kind != TFormatArg::fkString) invalid();
        text = prec >= 0 && static_cast<size_t>(prec) < a.s.size() ? a.s.substr(0, prec) : a.s;
        break;
      }
      case u'E':
        if (!isFloat) invalid();
        text = ExponentText(a.f, prec < 0 || prec > kMaxPrecision ? 15 : static_cast<int>(prec), 3, fs);
        break;
      case u'F':
        if (!isFloat) invalid();
        text = FixedText(a.f, prec < 0 ? 2 : static_cast<int>(std::min<int64_t>(prec, kMaxPrecision)), false,
                         fs);
        break;
      case u'G':
        if (!isFloat) invalid();
        text = GeneralText(a.f, prec < 0 || prec > kMaxPrecision ? 15 : static_cast<int>(prec), fs);
        break;
      case u'N':
        if (!isFloat) invalid();
        text =
            FixedText(a.f, prec < 0 ? 2 : static_cast<int>(std::min<int64_t>(prec, kMaxPrecision)), true, fs);
        break;
      case u'M':
        if (!isFloat) invalid();
        text = CurrencyText(
            a.f, prec < 0 ? fs.CurrencyDecimals : static_cast<int>(std::min<int64_t>(prec, kMaxPrecision)),
            fs);
        break;
      default:
        invalid();
    }
    if (width > 0 && static_cast<int64_t>(text.size()) < width) {
      size_t pad = static_cast<size_t>(width) - text.size();
      if (left)
        text.append(pad, u' ');
      else
        text.insert(0, pad, u' ');
    }
    out += text;
  }
  return out;
}

}  // namespace pagewright
