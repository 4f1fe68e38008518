#include "barcode/barcode.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "barcode/barcode_tables.h"
#include "barcode/gs1.h"
#include "barcode/onecode.h"
#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "support/resources.h"

namespace pagewright {

namespace {

using namespace barcode_tables;

constexpr TBCdata kBCdata[kBarcodeTypeCount] = {
    {"2_5_interleaved", true},
    {"2_5_industrial", true},
    {"2_5_matrix", true},
    {"ITF_14", true},
    {"Code39", false},
    {"Code39 Extended", false},
    {"Code128", false},
    {"Code128A", false},
    {"Code128B", false},
    {"Code128C", true},
    {"Code93", false},
    {"Code93 Extended", false},
    {"MSI", true},
    {"PostNet", true},
    {"Codebar", false},
    {"EAN8", true},
    {"EAN13", true},
    {"UPC_A", true},
    {"UPC_E0", true},
    {"UPC_E1", true},
    {"UPC Supp2", true},
    {"UPC Supp5", true},
    {"EAN128", false},
    {"EAN128A", false},
    {"EAN128B", false},
    {"EAN128C", true},
    {"USPS Intelligent Mail", true},
    {"Plessey", false},
    {"GS1 Code128", false},
    {"Pharmacode", true},
    {"Deutsche Post Identcode", true},
    {"Deutsche Post Leitcode", true},
};

constexpr const char* kValueNames[kBarcodeTypeCount] = {
    "bcCode_2_5_interleaved",
    "bcCode_2_5_industrial",
    "bcCode_2_5_matrix",
    "bcCode_ITF_14",
    "bcCode39",
    "bcCode39Extended",
    "bcCode128",
    "bcCode128A",
    "bcCode128B",
    "bcCode128C",
    "bcCode93",
    "bcCode93Extended",
    "bcCodeMSI",
    "bcCodePostNet",
    "bcCodeCodabar",
    "bcCodeEAN8",
    "bcCodeEAN13",
    "bcCodeUPC_A",
    "bcCodeUPC_E0",
    "bcCodeUPC_E1",
    "bcCodeUPC_Supp2",
    "bcCodeUPC_Supp5",
    "bcCodeEAN128",
    "bcCodeEAN128A",
    "bcCodeEAN128B",
    "bcCodeEAN128C",
    "bcCodeUSPSIntelligentMail",
    "bcCodePlessey",
    "bcGS1Code128",
    "bcPharmacode",
    "bcDeutsche_Post_Identcode",
    "bcDeutsche_Post_Leitcode",
};

// Message keys; the store returns the key itself when no table overrides it.
constexpr const char* kInvalidBarcode = "Invalid Barcode";
constexpr const char* kMustBeNumeric = "Barcode must be numeric";

// 8-bit text in messages is in the system code page.
std::string EightBitToUtf8(std::string_view s) {
  return Utf16ToUtf8(AnsiToWide(s));
}

// Throws the base exception with the resource text of `key`, its "%s" placeholders filled in order.
[[noreturn]] void Fail(const char* key, std::string_view arg1 = {}, std::string_view arg2 = {}) {
  std::string msg = Utf16ToUtf8(ResourceGet(key));
  std::string_view args[2] = {arg1, arg2};
  size_t from = 0;
  for (std::string_view a : args) {
    size_t p = msg.find("%s", from);
    if (p == std::string::npos) break;
    std::string text = EightBitToUtf8(a);
    msg.replace(p, 2, text);
    from = p + text.size();
  }
  throw Exception(std::move(msg));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return IsDigit(c); });
}

std::string PadLeft(std::string_view s, size_t n) {
  std::string out;
  if (s.size() < n) out.assign(n - s.size(), '0');
  out.append(s);
  return out;
}

// Pascal-style insert at a 1-based position; past the end it appends.
void InsertAt(std::string& s, size_t pos1, char c) {
  size_t at = pos1 == 0 ? 0 : pos1 - 1;
  if (at > s.size()) at = s.size();
  s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), c);
}

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Module widths (digits "1"-"4") to pattern characters, alternating bar and space.
void AppendWidths(std::string& out, std::string_view widths, bool barFirst) {
  bool bar = barFirst;
  for (char w : widths) {
    out += static_cast<char>((bar ? '5' : '0') + (w - '1'));
    bar = !bar;
  }
}

// Narrow/wide flags ("0"/"1") to pattern characters, alternating bar and space, bar first.
void AppendFlags(std::string& out, std::string_view flags) {
  bool bar = true;
  for (char f : flags) {
    out += bar ? (f == '1' ? '6' : '5') : (f == '1' ? '1' : '0');
    bar = !bar;
  }
}

// ---- Code 128 -------------------------------------------------------------------------------

// A three-character escape at i: "&", one of A B C S 1 2 3 4 (any case), ";".
bool EscapeAt(std::string_view s, size_t i, char& letter) {
  if (i + 2 >= s.size() || s[i] != '&' || s[i + 2] != ';') return false;
  char l = s[i + 1];
  if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 'a' + 'A');
  switch (l) {
    case 'A':
    case 'B':
    case 'C':
    case 'S':
    case '1':
    case '2':
    case '3':
    case '4':
      letter = l;
      return true;
    default:
      return false;
  }
}

bool FncEscapeAt(std::string_view s, size_t i) {
  char l;
  return EscapeAt(s, i, l) && l >= '1' && l <= '4';
}

// "&FNC1;" (any case) becomes "&1;".
std::string ReplaceFnc1(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 5 < s.size() && (s[i + 1] | 0x20) == 'f' && (s[i + 2] | 0x20) == 'n' &&
        (s[i + 3] | 0x20) == 'c' && s[i + 4] == '1' && s[i + 5] == ';') {
      out += "&1;";
      i += 5;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string RemoveEscapes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  char l;
  for (size_t i = 0; i < s.size(); ++i) {
    if (EscapeAt(s, i, l)) {
      i += 2;
      continue;
    }
    out += s[i];
  }
  return out;
}

enum CodeSet : int { setNone = -1, setA = 0, setB = 1, setC = 2 };

int ValueInSetA(unsigned char c) {
  if (c >= 32 && c <= 95) return c - 32;
  if (c < 32) return c + 64;
  return -1;
}
int ValueInSetB(unsigned char c) {
  return c >= 32 && c <= 126 ? c - 32 : -1;
}

enum CharClass { ccBoth, ccAOnly, ccBOnly };
CharClass ClassOf(unsigned char c) {
  bool a = ValueInSetA(c) >= 0, b = ValueInSetB(c) >= 0;
  if (a && b) return ccBoth;
  if (b) return ccBOnly;
  return ccAOnly;  // also characters in neither set: set A then rejects them
}

// Chooses code sets for plain text: runs of at least four digits (with at least five characters
// left) go to set C in pairs, other characters to set A or B, single characters of the other set
// by SHIFT.
std::string AutoCodeSet(std::string_view in) {
  std::string t;
  t.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char l;
    if (EscapeAt(in, i, l) && (l == 'A' || l == 'B' || l == 'C' || l == 'S')) {
      i += 2;
      continue;
    }
    t += in[i];
  }
  const size_t n = t.size();
  auto digitRun = [&](size_t i) {
    size_t j = i;
    while (j < n && IsDigit(t[j])) ++j;
    return j - i;
  };
  auto qualifies = [&](size_t i) {
    if (n - i < 5) return false;
    for (size_t k = 0; k < 4; ++k)
      if (!IsDigit(t[i + k])) return false;
    return true;
  };

  std::string out;
  out.reserve(n + 12);
  int cur = setNone;
  size_t i = 0;
  while (i < n) {
    std::string_view prefix;
    if (FncEscapeAt(t, i)) {
      prefix = std::string_view(t).substr(i, 3);
      i += 3;
    }
    if (i < n && qualifies(i)) {
      size_t run = digitRun(i) & ~size_t{1};
      if (cur == setNone) {
        out += "&C;";
        out += prefix;
      } else {
        out += prefix;
        if (cur != setC) out += "&C;";
      }
      out.append(t, i, run);
      cur = setC;
      i += run;
      continue;
    }
    if (i >= n || FncEscapeAt(t, i)) {  // an FNC with no character of its own after it
      if (cur == setNone) {
        out += "&B;";
        cur = setB;
      }
      out += prefix;
      continue;
    }
    CharClass cls = ClassOf(static_cast<unsigned char>(t[i]));
    size_t j = i + 1;
    while (j < n) {
      if (FncEscapeAt(t, j) || qualifies(j)) break;
      CharClass c2 = ClassOf(static_cast<unsigned char>(t[j]));
      if (c2 != ccBoth) {
        if (cls == ccBoth)
          cls = c2;
        else if (c2 != cls)
          break;
      }
      ++j;
    }
    int set = cls == ccAOnly ? setA : setB;
    if (j - i == 1 && set != cur && (cur == setA || cur == setB)) {
      out += prefix;
      out += "&S;";
      out += t[i];
    } else {
      if (set != cur) out += set == setA ? "&A;" : "&B;";
      out += prefix;
      out.append(t, i, j - i);
      cur = set;
    }
    i = j;
  }
  return out;
}

// Value of the data token at i in `set`, advancing i; -1 when the set has no such character.
int Code128Value(std::string_view s, size_t& i, int set) {
  if (set == setC) {
    if (i + 1 >= s.size() || !IsDigit(s[i]) || !IsDigit(s[i + 1])) return -1;
    int v = (s[i] - '0') * 10 + (s[i + 1] - '0');
    i += 2;
    return v;
  }
  unsigned char c = static_cast<unsigned char>(s[i]);
  ++i;
  return set == setA ? ValueInSetA(c) : ValueInSetB(c);
}

// Escaped text to Code 128 symbol widths: start, values, check, stop.
std::string EncodeCode128Escaped(std::string_view esc) {
  char l = 0;
  if (!EscapeAt(esc, 0, l) || (l != 'A' && l != 'B' && l != 'C')) Fail(kInvalidBarcode);
  int set = l - 'A';
  // every symbol has six elements and the stop seven, all starting with a bar
  std::string pattern;
  pattern.reserve(esc.size() * 6 + 32);
  int startValue = 103 + set;
  AppendWidths(pattern, kCode128[startValue], true);
  int sum = startValue;
  int weight = 1;
  auto emit = [&](int v) {
    AppendWidths(pattern, kCode128[v], true);
    sum = (sum + weight % 103 * v) % 103;
    ++weight;
    if (weight > 103 * 1000) weight -= 103 * 1000;  // weights only matter modulo 103
  };
  size_t i = 3;
  while (i < esc.size()) {
    if (EscapeAt(esc, i, l)) {
      i += 3;
      switch (l) {
        case 'A':
        case 'B':
        case 'C': {
          int target = l - 'A';
          if (target == set) break;  // already there: nothing to switch
          emit(target == setA ? 101 : target == setB ? 100 : 99);
          set = target;
          break;
        }
        case 'S': {
          if (set == setC || i >= esc.size() || EscapeAt(esc, i, l)) Fail(kInvalidBarcode);
          emit(98);
          int v = Code128Value(esc, i, set == setA ? setB : setA);
          if (v < 0) Fail(kInvalidBarcode);
          emit(v);
          break;
        }
        case '1':
          emit(102);
          break;
        case '2':
        case '3':
          if (set == setC) Fail(kInvalidBarcode);  // set C has no FNC2/FNC3
          emit(l == '2' ? 97 : 96);
          break;
        case '4':
          if (set == setC) Fail(kInvalidBarcode);
          emit(set == setA ? 101 : 100);
          break;
      }
      continue;
    }
    int v = Code128Value(esc, i, set);
    if (v < 0) Fail(kInvalidBarcode);
    emit(v);
  }
  AppendWidths(pattern, kCode128[sum % 103], true);
  AppendWidths(pattern, kCode128Stop, true);
  return pattern;
}

// ---- EAN/UPC ----------------------------------------------------------------------------------

void AppendEanA(std::string& out, char d) {
  AppendWidths(out, kEanSetA[d - '0'], false);
}
void AppendEanC(std::string& out, char d) {
  AppendWidths(out, kEanSetA[d - '0'], true);
}
void AppendEanB(std::string& out, char d) {
  const char* w = kEanSetA[d - '0'];
  char rev[4] = {w[3], w[2], w[1], w[0]};
  AppendWidths(out, std::string_view(rev, 4), false);
}

constexpr const char* kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                          "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
constexpr const char* kUpcEParity[10] = {"EEEooo", "EEoEoo", "EEooEo", "EEoooE", "EoEEoo",
                                         "EooEEo", "EoooEE", "EoEoEo", "EoEooE", "EooEoE"};
constexpr const char* kSupp5Parity[10] = {"GGLLL", "GLGLL", "GLLGL", "GLLLG", "LGGLL",
                                          "LLGGL", "LLLGG", "LGLGL", "LGLLG", "LLGLG"};

// ---- 2 of 5 -----------------------------------------------------------------------------------

std::string Interleaved2of5(std::string_view digits) {
  std::string out = "5050";
  out.reserve(digits.size() * 5 + 8);
  for (size_t k = 0; k + 1 < digits.size(); k += 2) {
    const char* a = kTwoOfFive[digits[k] - '0'];
    const char* b = kTwoOfFive[digits[k + 1] - '0'];
    for (int j = 0; j < 5; ++j) {
      out += a[j] == '1' ? '6' : '5';
      out += b[j] == '1' ? '1' : '0';
    }
  }
  out += "605";
  return out;
}

}  // namespace

const TBCdata& BarcodeTypeData(TpgwBarcodeType t) {
  return kBCdata[static_cast<unsigned>(t) < kBarcodeTypeCount ? t : 0];
}

const char* BarcodeTypeValueName(TpgwBarcodeType t) {
  return static_cast<unsigned>(t) < kBarcodeTypeCount ? kValueNames[t] : "";
}

bool FindBarcodeType(std::string_view name, TpgwBarcodeType& out) {
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  };
  for (int i = 0; i < kBarcodeTypeCount; ++i) {
    if (same(name, kValueNames[i]) || same(name, kBCdata[i].Name)) {
      out = static_cast<TpgwBarcodeType>(i);
      return true;
    }
  }
  return false;
}

int TpgwBarcodeFont::Height() const {
  // -MulDiv(Size, PixelsPerInch, 72), rounding halves away from zero as MulDiv does
  long long num = static_cast<long long>(Size) * PixelsPerInch;
  long long h = (num >= 0 ? num + 36 : num - 36) / 72;
  return static_cast<int>(-h);
}

std::string CheckSumText(std::string_view text, TpgwCheckSumMethod method) {
  std::string out(text);
  if (method != csmModulo10) return out;
  int sum = 0;
  int weight = 3;
  for (size_t i = text.size(); i-- > 0;) {
    if (!IsDigit(text[i])) continue;
    sum += weight * (text[i] - '0');
    weight = weight == 3 ? 1 : 3;
  }
  out += static_cast<char>('0' + (10 - sum % 10) % 10);
  return out;
}

const TEnumInfo& BarcodeTypeInfo() {
  static const TEnumInfo info("TpgwBarcodeType",
                              std::vector<std::string>(std::begin(kValueNames), std::end(kValueNames)));
  return info;
}

const TEnumInfo& CheckSumMethodInfo() {
  static const TEnumInfo info("TpgwCheckSumMethod", {"csmNone", "csmModulo10"});
  return info;
}

TpgwBarcode::TpgwBarcode(TComponent* owner) : TComponent(owner) {}

// The font has no published description at this layer; the barcode object gives its own.
const TClassInfo& TpgwBarcode::StaticClassInfo() {
  using T = TpgwBarcode;
  static const TClassInfo& info =
      Describe<T>("TpgwBarcode")
          .Parent<TComponent>()
          .Float("Angle", &T::Angle, &T::SetAngle)
          .Default(0)
          .Color("Color", &T::Color, &T::SetColor)
          .Default(clWhite)
          .Color("ColorBar", &T::ColorBar, &T::SetColorBar)
          .Default(clBlack)
          .Boolean("Checksum", &T::Checksum, &T::SetChecksum)
          .Default(false)
          .Enum("CheckSumMethod", &T::CheckSumMethod, &T::SetCheckSumMethod, CheckSumMethodInfo())
          .Default(csmModulo10)
          .Integer("Height", &T::Height, &T::SetHeight)
          .Default(0)
          .Integer("Modul", &T::Modul, &T::SetModul)
          .Default(1)
          .Float("Ratio", &T::Ratio, &T::SetRatio)
          .Default(2.0)
          .String("Text", &T::TextWide, &T::SetTextWide)
          .Enum("Typ", &T::Typ, &T::SetTyp, BarcodeTypeInfo())
          .Default(bcCodeEAN13)
          .Build();
  return info;
}

WideString TpgwBarcode::TextWide() const {
  return AnsiToWide(FText);
}
void TpgwBarcode::SetTextWide(const WideString& v) {
  FText = WideToAnsi(v);
}

void TpgwBarcode::SetTyp(TpgwBarcodeType v) {
  FTyp = v;
  FModul = v == bcCodeUSPSIntelligentMail ? 3 : 1;
}

void TpgwBarcode::Assign(const TPersistent& source) {
  const auto* src = dynamic_cast<const TpgwBarcode*>(&source);
  if (!src) {
    TComponent::Assign(source);
    return;
  }
  const TpgwBarcode& s = *src;
  FAngle = s.FAngle;
  FColor = s.FColor;
  FColorBar = s.FColorBar;
  FCheckSum = s.FCheckSum;
  FCheckSumMethod = s.FCheckSumMethod;
  FHeight = s.FHeight;
  FLeft = s.FLeft;
  FModul = s.FModul;
  FRatio = s.FRatio;
  FText = s.FText;
  FTop = s.FTop;
  FTyp = s.FTyp;
}

void TpgwBarcode::ComputeModules() {
  double r = FRatio;
  if (FTyp == bcCode_2_5_matrix) {
    if (!(r >= 2.25)) r = 2.25;  // also NaN
    if (r > 3.0) r = 3.0;
  } else if ((FTyp >= bcCode128 && FTyp <= bcCodePostNet) || (FTyp >= bcCodeEAN128 && FTyp <= bcPharmacode)) {
    // these types keep any ratio: their widths come from the four classes directly
  } else {
    if (!(r >= 2.0)) r = 2.0;
    if (r > 3.0) r = 3.0;
  }
  FRatio = r;
  // keep the widths within a sane range whatever the properties hold
  long double w = static_cast<long double>(FModul) * r;
  if (!std::isfinite(static_cast<double>(w))) w = 0;
  w = std::clamp<long double>(w, -1e6L, 1e6L);
  modules[0] = std::clamp(FModul, -1000000, 1000000);
  modules[1] = static_cast<int>(RoundHalfEven(w));
  modules[2] = modules[1] * 3 / 2;
  modules[3] = modules[1] * 2;
}

void TpgwBarcode::ElementWidthAndKind(char e, int& width, TpgwBarKind& kind) const {
  if (e >= '0' && e <= '3') {
    width = modules[e - '0'];
    kind = bkSpace;
  } else if (e >= '5' && e <= '8') {
    width = modules[e - '5'];
    kind = bkFullBar;
  } else if (e >= 'A' && e <= 'D') {
    width = modules[e - 'A'];
    kind = bkShortBar;
  } else if (e == 'F' || e == 'G' || e == 'H') {
    width = modules[0];
    kind = e == 'F' ? bkTracker : e == 'G' ? bkAscender : bkDescender;
  } else {
    Fail("%s: internal Error", ClassName());
  }
}

int TpgwBarcode::Width() {
  std::string pattern = BuildElementPattern();
  long long sum = 2;
  int w;
  TpgwBarKind k;
  for (char c : pattern) {
    ElementWidthAndKind(c, w, k);
    sum += w;
  }
  return static_cast<int>(std::clamp<long long>(sum, INT32_MIN, INT32_MAX));
}

std::string TpgwBarcode::BuildElementPattern() {
  ComputeModules();
  if (static_cast<unsigned>(FTyp) >= kBarcodeTypeCount) Fail("%s: wrong BarcodeType", ClassName());
  if (kBCdata[FTyp].num) {
    FText = TrimBlanks(FText);
    if (FTyp != bcCode128C && FTyp != bcCodeEAN128C) {
      for (char c : FText)
        if (c == '(' || c == ')') Fail(kMustBeNumeric);
    }
  }
  switch (FTyp) {
    case bcCode128:
    case bcCode128A:
    case bcCode128B:
    case bcCode128C:
    case bcCodeEAN128:
    case bcCodeEAN128A:
    case bcCodeEAN128B:
    case bcCodeEAN128C:
    case bcGS1Code128:
      return EncodeCode128Family(FText);
    default:
      return EncodeOther();
  }
}

std::string TpgwBarcode::EncodeCode128Family(const std::string& text) {
  std::string t = ReplaceFnc1(text);
  std::string esc;
  switch (FTyp) {
    case bcCode128A:
    case bcCodeEAN128A:
      esc = "&A;" + t;
      break;
    case bcCode128B:
    case bcCodeEAN128B:
      esc = "&B;" + t;
      break;
    case bcCode128C:
    case bcCodeEAN128C:
      esc = "&C;";
      for (char c : t) {
        if (c == '(')
          esc += "&1;";
        else if (c != ')')
          esc += c;
      }
      break;
    case bcGS1Code128:
      esc = AutoCodeSet(GS1ParseElementString(t));
      break;
    default:
      esc = AutoCodeSet(t);
      break;
  }
  if (FTyp >= bcCodeEAN128 && FTyp <= bcCodeEAN128C) {
    if (esc.size() >= 3 && esc.compare(3, 3, "&1;") != 0) esc.insert(3, "&1;");
    if (FCheckSum && FCheckSumMethod == csmModulo10) {
      std::string data = RemoveEscapes(esc);
      esc += CheckSumText(data, csmModulo10).back();
    }
  }
  std::string pattern = EncodeCode128Escaped(esc);
  FEncodedText = RemoveEscapes(esc);
  return pattern;
}

std::string TpgwBarcode::EncodeOther() {
  std::string out;
  std::string& text = FText;
  auto requireDigits = [](std::string_view s) {
    if (!AllDigits(s)) Fail(kMustBeNumeric);
  };
  switch (FTyp) {
    case bcCode_2_5_interleaved: {
      requireDigits(text);
      if (FCheckSum && text.size() % 2 == 1) text = CheckSumText(text, FCheckSumMethod);
      if (text.size() % 2 == 1) text.insert(0, 1, '0');
      FEncodedText = text;
      return Interleaved2of5(text);
    }
    case bcCode_2_5_industrial: {
      requireDigits(text);
      out = "55055050";
      for (char d : text)
        for (const char* f = kTwoOfFive[d - '0']; *f; ++f) out += *f == '1' ? "60" : "50";
      out += "55050550";
      FEncodedText = text;
      return out;
    }
    case bcCode_2_5_matrix: {
      requireDigits(text);
      out = "705050";
      for (char d : text) {
        AppendFlags(out, kTwoOfFive[d - '0']);
        out += '0';
      }
      out += "70505";
      FEncodedText = text;
      return out;
    }
    case bcCode_ITF_14: {
      if (text.size() != 14) Fail("The length should be 14");
      if (text[0] < '1' || text[0] > '8') Fail("The first character must be 1-8");
      if (!AllDigits(std::string_view(text).substr(1))) Fail("Only numbers are required");
      FEncodedText = text;
      return "33333" + Interleaved2of5(text) + "33333";
    }
    case bcCode39:
    case bcCode39Extended: {
      std::string data;
      if (FTyp == bcCode39Extended) {
        for (unsigned char c : text) {
          if (c < 128)
            data += kFullAscii[c];
          else
            data += static_cast<char>(c);
        }
      } else {
        data = text;
      }
      std::string_view chars(kCode39Chars);
      AppendFlags(out, kCode39Star);
      out += '0';
      int sum = 0;
      FEncodedText.clear();
      for (char c : data) {
        size_t v = chars.find(c);
        if (v == std::string_view::npos) continue;  // not in the symbology: skipped
        AppendFlags(out, kCode39[v]);
        out += '0';
        sum += static_cast<int>(v);
        FEncodedText += c;
      }
      if (FCheckSum) {
        AppendFlags(out, kCode39[sum % 43]);
        out += '0';
        FEncodedText += chars[sum % 43];
      }
      AppendFlags(out, kCode39Star);
      return out;
    }
    case bcCode93:
    case bcCode93Extended: {
      std::string data;
      if (FTyp == bcCode93Extended) {
        for (unsigned char c : text) {
          if (c >= 128) {
            data += static_cast<char>(c);
            continue;
          }
          if (c != ' ' &&
              std::string_view(kCode93Chars, 43).find(static_cast<char>(c)) != std::string_view::npos) {
            data +=
                static_cast<char>(c);  // the basic characters, "$" "%" "+" "/" included, stand for themselves
            continue;
          }
          const char* pair = kFullAscii[c];
          switch (pair[0]) {
            case '$':
              data += pair[1] ? ']' : '$';
              break;
            case '%':
              data += pair[1] ? '[' : '%';
              break;
            case '/':
              data += pair[1] ? '{' : '/';
              break;
            case '+':
              data += pair[1] ? '}' : '+';
              break;
            default:
              data += pair[0];
              break;
          }
          if (pair[1]) data += pair[1];
        }
      } else {
        data = text;
      }
      std::string_view chars(kCode93Chars);
      std::vector<int> values;
      values.reserve(data.size() + 2);
      for (char c : data) {
        size_t v = chars.find(c);
        if (v == std::string_view::npos) Fail("%s:Code93 bad Data <%s>", ClassName(), text);
        values.push_back(static_cast<int>(v));
      }
      auto weighted = [&](int maxWeight) {
        long long sum = 0;
        int w = 1;
        for (size_t i = values.size(); i-- > 0;) {
          sum += static_cast<long long>(w) * values[i];
          w = w == maxWeight ? 1 : w + 1;
        }
        return static_cast<int>(sum % 47);
      };
      values.push_back(weighted(20));
      values.push_back(weighted(15));
      std::string widths = kCode93Start;
      for (int v : values) widths += kCode93[v];
      widths += kCode93Stop;
      AppendWidths(out, widths, true);
      FEncodedText = data;
      return out;
    }
    case bcCodeMSI: {
      requireDigits(text);
      std::string data = text;
      if (FCheckSum) {
        int sum = 0;
        for (size_t i = 0; i < text.size(); ++i) {
          int d = text[i] - '0';
          if (i % 2 == 0) {
            sum += d;  // odd position counted from 1
          } else {
            int dd = 2 * d;  // digit sum of the doubled even-position number, digit by digit
            sum += dd / 10 + dd % 10;
          }
        }
        data += static_cast<char>('0' + (sum % 10 == 0 ? 0 : 10 - sum % 10));
      }
      out = "60";
      for (char c : data) {
        int d = c - '0';
        for (int bit = 3; bit >= 0; --bit) out += (d >> bit) & 1 ? "60" : "51";
      }
      out += "515";
      FEncodedText = data;
      return out;
    }
    case bcCodePostNet: {
      requireDigits(text);
      out = "51";
      for (char d : text)
        for (const char* f = kPostNet[d - '0']; *f; ++f) {
          out += *f == '1' ? '5' : 'A';
          out += '1';
        }
      out += '5';
      FEncodedText = text;
      return out;
    }
    case bcCodeCodabar: {
      std::string_view t(text);
      char start = 'A', stop = 'B';
      auto selector = [](std::string_view s, size_t i) -> char {
        if (i + 2 >= s.size() + 0 || s[i] != '&' || s[i + 2] != ';') return 0;
        char l = static_cast<char>(s[i + 1] & ~0x20);
        return l >= 'A' && l <= 'D' ? l : 0;
      };
      if (t.size() >= 3) {
        if (char l = selector(t, 0)) {
          start = l;
          t.remove_prefix(3);
        }
      }
      if (t.size() >= 3) {
        if (char l = selector(t, t.size() - 3)) {
          stop = l;
          t.remove_suffix(3);
        }
      }
      std::string_view chars(kCodabarChars);
      AppendFlags(out, kCodabar[chars.find(start)]);
      out += '0';
      for (char c : t) {
        size_t v = chars.find(c);
        if (v == std::string_view::npos) Fail(kInvalidBarcode);
        AppendFlags(out, kCodabar[v]);
        out += '0';
      }
      AppendFlags(out, kCodabar[chars.find(stop)]);
      FEncodedText.assign(1, start).append(t).append(1, stop);
      return out;
    }
    case bcCodeEAN8: {
      std::string t;
      if (FCheckSum) {
        // The first seven digits carry the data; a given check digit is replaced. (Taking the
        // last seven would drop the first digit of a complete eight-digit text.)
        t = PadLeft(text, 7);
        t = CheckSumText(std::string_view(t).substr(0, 7), FCheckSumMethod);
      } else {
        t = PadLeft(text, 8);
      }
      if (t.size() != 8 || !AllDigits(t)) Fail("Invalid Text len (EAN8)");
      out = "505";
      for (int k = 0; k < 4; ++k) AppendEanA(out, t[k]);
      out += "05050";
      for (int k = 4; k < 8; ++k) AppendEanC(out, t[k]);
      out += "505";
      FEncodedText = t;
      return out;
    }
    case bcCodeEAN13: {
      std::string t = FCheckSum ? text.substr(0, std::min<size_t>(text.size(), 12)) : text;
      if (t.size() != 13) {
        t = PadLeft(t, 13);
        if (FCheckSum) t = CheckSumText(std::string_view(t).substr(1, 12), FCheckSumMethod);
      }
      text = t;
      if (t.size() != 13 || !AllDigits(t)) Fail("Invalid Text len (EAN13)");
      const char* parity = kEan13Parity[t[0] - '0'];
      out = "505";
      for (int k = 0; k < 6; ++k) {
        if (parity[k] == 'A')
          AppendEanA(out, t[k + 1]);
        else
          AppendEanB(out, t[k + 1]);
      }
      out += "05050";
      for (int k = 7; k < 13; ++k) AppendEanC(out, t[k]);
      out += "505";
      FEncodedText = t;
      return out;
    }
    case bcCodeUPC_A: {
      requireDigits(text);
      // With a check digit to add, eleven data digits are padded to eleven, not twelve:
      // padding first would push the last data digit out.
      std::string t = PadLeft(text, FCheckSum ? 11 : 12);
      if (FCheckSum) t = CheckSumText(std::string_view(t).substr(0, 11), FCheckSumMethod);
      text = t;
      if (t.size() != 12) Fail(kInvalidBarcode);
      out = "505";
      for (int k = 0; k < 6; ++k) AppendEanA(out, t[k]);
      out += "05050";
      for (int k = 6; k < 12; ++k) AppendEanC(out, t[k]);
      out += "505";
      FEncodedText = t;
      return out;
    }
    case bcCodeUPC_E0:
    case bcCodeUPC_E1: {
      requireDigits(text);
      std::string t = PadLeft(text, 7);
      if (t.size() != 7) Fail(kInvalidBarcode);
      std::string six = t.substr(0, 6);
      std::string withCheck = CheckSumText(six, FCheckSumMethod);
      // without a check digit method the text's own seventh digit picks the parity
      char check = withCheck.size() == 7 ? withCheck[6] : t[6];
      if (FCheckSum) text = six + check;
      const char* parity = kUpcEParity[check - '0'];
      char even = FTyp == bcCodeUPC_E0 ? 'E' : 'o';
      out = "505";
      for (int k = 0; k < 6; ++k) {
        if (parity[k] == even)
          AppendEanB(out, six[k]);
        else
          AppendEanA(out, six[k]);
      }
      out += "050505";
      FEncodedText = six + check;
      return out;
    }
    case bcCodeUPC_Supp5: {
      requireDigits(text);
      std::string t = PadLeft(text, 5);
      int check = (3 * ((t[0] - '0') + (t[2] - '0') + (t[4] - '0')) + 9 * ((t[1] - '0') + (t[3] - '0'))) % 10;
      // a sixth digit is only accepted as the check digit an earlier encoding appended
      if (t.size() > 6 || (t.size() == 6 && t[5] - '0' != check)) Fail(kInvalidBarcode);
      if (FCheckSum) text = t.substr(0, 5) + static_cast<char>('0' + check);
      const char* parity = kSupp5Parity[check];
      out = "506";
      for (int k = 0; k < 5; ++k) {
        if (k > 0) out += "05";
        if (parity[k] == 'G')
          AppendEanB(out, t[k]);
        else
          AppendEanA(out, t[k]);
      }
      FEncodedText = t.substr(0, 5);
      return out;
    }
    case bcCodeUPC_Supp2: {
      requireDigits(text);
      std::string t = PadLeft(text, 2);
      if (t.size() != 2) Fail(kInvalidBarcode);
      int v = ((t[0] - '0') * 10 + (t[1] - '0')) % 4;
      out = "506";
      if (v & 2)
        AppendEanB(out, t[0]);
      else
        AppendEanA(out, t[0]);
      out += "05";
      if (v & 1)
        AppendEanB(out, t[1]);
      else
        AppendEanA(out, t[1]);
      FEncodedText = t;
      return out;
    }
    case bcCodeUSPSIntelligentMail: {
      std::string digits;
      for (char c : text)
        if (c != ' ' && c != '-' && c != '.') digits += c;
      std::array<char, 65> bars;
      if (!TOneCode::Encode(digits, bars)) Fail(kInvalidBarcode);
      out = "0";
      for (char b : bars) {
        out += b == 'A' ? 'G' : b == 'D' ? 'H' : b == 'F' ? '5' : 'F';
        out += '0';
      }
      FEncodedText = digits;
      return out;
    }
    case bcCodePlessey: {
      std::vector<uint8_t> bits;
      bits.reserve(text.size() * 4 + 8);
      for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
          v = c - '0';
        else if (c >= 'A' && c <= 'F')
          v = c - 'A' + 10;
        else
          Fail("Only 0-9 and A-F.");
        for (int b = 0; b < 4; ++b) bits.push_back(static_cast<uint8_t>((v >> b) & 1));
      }
      out = "71715371";
      for (uint8_t b : bits) out += b ? "71" : "53";
      if (FCheckSum) {
        static constexpr uint8_t kGenerator[9] = {1, 1, 1, 1, 0, 1, 0, 0, 1};
        std::vector<uint8_t> work(bits);
        work.resize(bits.size() + 8, 0);
        for (size_t i = 0; i < bits.size(); ++i)
          if (work[i])
            for (int j = 0; j < 9; ++j) work[i + j] ^= kGenerator[j];
        for (size_t i = bits.size(); i < work.size(); ++i) out += work[i] ? "71" : "53";
      }
      out += "85";
      out += "35351717";
      FEncodedText = text;
      return out;
    }
    case bcPharmacode: {
      size_t first = text.find_first_not_of('0');
      std::string_view sig =
          first == std::string::npos ? std::string_view() : std::string_view(text).substr(first);
      long value = 0;
      bool ok = !text.empty() && AllDigits(text) && sig.size() <= 6;
      if (ok) {
        for (char c : sig) value = value * 10 + (c - '0');
        ok = value >= 1 && value <= 131070;
      }
      if (!ok) Fail("Only integer value from 1 to 131 070 is allowed.");
      unsigned long v = static_cast<unsigned long>(value) + 1;
      int top = 0;
      while ((v >> (top + 1)) != 0) ++top;
      for (int b = top - 1; b >= 0; --b) {
        out += (v >> b) & 1 ? '7' : '5';
        out += '1';
      }
      if (!out.empty()) out.pop_back();
      FEncodedText = text;
      return out;
    }
    case bcDeutsche_Post_Identcode:
    case bcDeutsche_Post_Leitcode: {
      bool leit = FTyp == bcDeutsche_Post_Leitcode;
      if (leit) FCheckSumMethod = csmModulo10;
      std::string digits;
      for (char c : text)
        if (c != '.' && c != ' ') digits += c;
      requireDigits(digits);
      if (FCheckSum && digits.size() == (leit ? 13u : 11u)) digits = CheckSumText(digits, FCheckSumMethod);
      std::string symbol = digits.size() % 2 == 1 ? "0" + digits : digits;
      out = Interleaved2of5(symbol);
      FEncodedText = digits;
      std::string shown = digits;
      if (leit) {
        for (auto [pos, c] :
             {std::pair{6, '.'}, {7, ' '}, {11, '.'}, {12, ' '}, {16, '.'}, {17, ' '}, {20, ' '}})
          InsertAt(shown, static_cast<size_t>(pos), c);
      } else {
        InsertAt(shown, 3, '.');
        InsertAt(shown, 7, ' ');
        InsertAt(shown, 11, '.');
        if (FCheckSumMethod == csmModulo10) InsertAt(shown, 15, ' ');
      }
      text = shown;
      return out;
    }
    default:
      Fail("%s: wrong BarcodeType", ClassName());
  }
}

std::string PatternToModules(const TpgwBarcode& barcode, std::string_view pattern) {
  std::string row;
  row.reserve(pattern.size() * 2);
  int w;
  TpgwBarKind k;
  for (char c : pattern) {
    barcode.ElementWidthAndKind(c, w, k);
    if (w > 0) row.append(static_cast<size_t>(w), k == bkSpace ? '0' : '1');
  }
  return row;
}

}  // namespace pagewright
