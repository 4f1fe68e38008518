// The linear barcode encoder: turns an 8-bit text and a symbology into an element pattern,
// a string in which every character is one bar or space of a width class and bar kind.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/component.h"
#include "platform/types.h"

namespace pagewright {

enum TpgwBarcodeType : uint8_t {
  bcCode_2_5_interleaved,
  bcCode_2_5_industrial,
  bcCode_2_5_matrix,
  bcCode_ITF_14,
  bcCode39,
  bcCode39Extended,
  bcCode128,
  bcCode128A,
  bcCode128B,
  bcCode128C,
  bcCode93,
  bcCode93Extended,
  bcCodeMSI,
  bcCodePostNet,
  bcCodeCodabar,
  bcCodeEAN8,
  bcCodeEAN13,
  bcCodeUPC_A,
  bcCodeUPC_E0,
  bcCodeUPC_E1,
  bcCodeUPC_Supp2,
  bcCodeUPC_Supp5,
  bcCodeEAN128,
  bcCodeEAN128A,
  bcCodeEAN128B,
  bcCodeEAN128C,
  bcCodeUSPSIntelligentMail,
  bcCodePlessey,
  bcGS1Code128,
  bcPharmacode,
  bcDeutsche_Post_Identcode,
  bcDeutsche_Post_Leitcode,
};
inline constexpr int kBarcodeTypeCount = 32;

enum TpgwCheckSumMethod : uint8_t { csmNone, csmModulo10 };

// What one pattern character draws.
enum TpgwBarKind : uint8_t { bkSpace, bkFullBar, bkShortBar, bkTracker, bkAscender, bkDescender };

// Per-type record: display name (also the resource key of the kind names) and whether the
// type only takes digits.
struct TBCdata {
  const char* Name;
  bool num;
};
const TBCdata& BarcodeTypeData(TpgwBarcodeType t);
// The enumeration value's name as templates write it ("bcCodeEAN128C").
const char* BarcodeTypeValueName(TpgwBarcodeType t);
// Finds a type by value name or display name, ignoring letter case; false when unknown.
bool FindBarcodeType(std::string_view name, TpgwBarcodeType& out);

// Font of the human-readable text; the drawing side turns it into a real font.
struct TpgwBarcodeFont {
  WideString Name = u"Arial";
  int Size = 9;  // points
  int PixelsPerInch = 96;
  TColor Color = clBlack;
  uint8_t Style = 0;  // bold 1, italic 2, underline 4, strike-out 8
  // Pixel height at PixelsPerInch, negative as a character height.
  int Height() const;
  bool operator==(const TpgwBarcodeFont&) const = default;
};

class TEnumInfo;
const TEnumInfo& BarcodeTypeInfo();
const TEnumInfo& CheckSumMethodInfo();

class TpgwBarcode : public TComponent {
 public:
  explicit TpgwBarcode(TComponent* owner = nullptr);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  double Angle() const { return FAngle; }
  void SetAngle(double v) { FAngle = v; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TColor ColorBar() const { return FColorBar; }
  void SetColorBar(TColor v) { FColorBar = v; }
  bool Checksum() const { return FCheckSum; }
  void SetChecksum(bool v) { FCheckSum = v; }
  TpgwCheckSumMethod CheckSumMethod() const { return FCheckSumMethod; }
  void SetCheckSumMethod(TpgwCheckSumMethod v) { FCheckSumMethod = v; }
  int Height() const { return FHeight; }
  void SetHeight(int v) { FHeight = v; }
  int Left() const { return FLeft; }
  void SetLeft(int v) { FLeft = v; }
  int Top() const { return FTop; }
  void SetTop(int v) { FTop = v; }
  int Modul() const { return FModul; }
  void SetModul(int v) { FModul = v; }
  double Ratio() const { return FRatio; }
  void SetRatio(double v) { FRatio = v; }
  // 8-bit text (the system code page); some types rewrite it when encoding.
  const std::string& Text() const { return FText; }
  void SetText(std::string v) { FText = std::move(v); }
  // The same text as the property system and scripts see it: UTF-16 over the system code page.
  WideString TextWide() const;
  void SetTextWide(const WideString& v);
  TpgwBarcodeType Typ() const { return FTyp; }
  // Also sets Modul: 3 for the Intelligent Mail code, 1 otherwise.
  void SetTyp(TpgwBarcodeType v);
  const TpgwBarcodeFont& Font() const { return FFont; }
  void SetFont(const TpgwBarcodeFont& f) { FFont = f; }

  // Encodes Text and returns 2 + the sum of the element widths.
  int Width();
  // Encodes Text by the current fields. Throws Exception with the resource text of the failure.
  std::string BuildElementPattern();
  // Width (from the current width classes) and kind of one pattern character.
  void ElementWidthAndKind(char element, int& width, TpgwBarKind& kind) const;
  // The data the last encoding put into the symbol, check characters included, escapes
  // removed (what a human-readable line under the bars would show for EAN-8 with a check digit).
  const std::string& EncodedText() const { return FEncodedText; }
  // Widths of the four width classes as computed by the last encoding.
  const std::array<int, 4>& Modules() const { return modules; }

  // Copies every field but the font and the width classes.
  void Assign(const TPersistent& source) override;

 private:
  void ComputeModules();

  double FAngle = 0;
  TColor FColor = clWhite;
  TColor FColorBar = clBlack;
  bool FCheckSum = false;
  TpgwCheckSumMethod FCheckSumMethod = csmModulo10;
  int FHeight = 0;
  int FLeft = 0;
  int FModul = 1;
  double FRatio = 2.0;
  std::string FText;
  int FTop = 0;
  TpgwBarcodeType FTyp = bcCodeEAN13;
  TpgwBarcodeFont FFont;
  std::array<int, 4> modules{1, 2, 3, 4};
  std::string FEncodedText;
};

// Appends the check digit of `text` by `method`: with csmModulo10 the digits are weighted 3 and 1
// alternately from the rightmost (weight 3) and (10 - sum mod 10) mod 10 is appended; with csmNone
// the text comes back unchanged. Characters other than digits take no part.
std::string CheckSumText(std::string_view text, TpgwCheckSumMethod method);

// Expands an element pattern into modules (1 dark, 0 light) with the encoder's width classes.
std::string PatternToModules(const TpgwBarcode& barcode, std::string_view pattern);

}  // namespace pagewright
