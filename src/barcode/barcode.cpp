#include "barcode/barcode.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "barcode/encoding.h"
#include "barcode/symbologies.h"
#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/properties.h"

namespace pagewright {

namespace {

using namespace barcode_encoding;

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

// The encoder of each type, in the order of the type values.
constexpr SymbologyEncoder kEncoders[kBarcodeTypeCount] = {
    EncodeInterleaved2of5,  // bcCode_2_5_interleaved
    EncodeIndustrial2of5,   // bcCode_2_5_industrial
    EncodeMatrix2of5,       // bcCode_2_5_matrix
    EncodeItf14,            // bcCode_ITF_14
    EncodeCode39,           // bcCode39
    EncodeCode39Extended,   // bcCode39Extended
    EncodeCode128Family,    // bcCode128
    EncodeCode128Family,    // bcCode128A
    EncodeCode128Family,    // bcCode128B
    EncodeCode128Family,    // bcCode128C
    EncodeCode93,           // bcCode93
    EncodeCode93Extended,   // bcCode93Extended
    EncodeMsi,              // bcCodeMSI
    EncodePostNet,          // bcCodePostNet
    EncodeCodabar,          // bcCodeCodabar
    EncodeEan8,             // bcCodeEAN8
    EncodeEan13,            // bcCodeEAN13
    EncodeUpcA,             // bcCodeUPC_A
    EncodeUpcE,             // bcCodeUPC_E0
    EncodeUpcE,             // bcCodeUPC_E1
    EncodeUpcSupp2,         // bcCodeUPC_Supp2
    EncodeUpcSupp5,         // bcCodeUPC_Supp5
    EncodeCode128Family,    // bcCodeEAN128
    EncodeCode128Family,    // bcCodeEAN128A
    EncodeCode128Family,    // bcCodeEAN128B
    EncodeCode128Family,    // bcCodeEAN128C
    EncodeIntelligentMail,  // bcCodeUSPSIntelligentMail
    EncodePlessey,          // bcCodePlessey
    EncodeCode128Family,    // bcGS1Code128
    EncodePharmacode,       // bcPharmacode
    EncodeIdentcode,        // bcDeutsche_Post_Identcode
    EncodeLeitcode,         // bcDeutsche_Post_Leitcode
};
static_assert(
    [] {
      for (SymbologyEncoder e : kEncoders)
        if (!e) return false;
      return true;
    }(),
    "every barcode type needs its encoder");

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
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
  EncodingJob job{FTyp, FCheckSum, FCheckSumMethod, FText, FEncodedText, ClassName()};
  return kEncoders[FTyp](job);
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
