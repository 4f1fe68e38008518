// Fonts of the drawing interface: the font description callers set (face name, pixel height,
// style, colour, character set, rotation), and the cached sized fonts that measure text, report
// text metrics, and give the raw TrueType tables and outline metrics of the face.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_pages.h"
#include "platform/types.h"
#include "render/geometry.h"

namespace pagewright {

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = Set<TFontStyle>;
enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
enum TFontQuality : uint8_t {
  fqDefault,
  fqDraft,
  fqProof,
  fqNonAntialiased,
  fqAntialiased,
  fqClearType,
  fqClearTypeNatural
};

// ANSI_CHARSET, DEFAULT_CHARSET and SYMBOL_CHARSET come from platform/code_pages.h.

// Pixels per inch as a surface reports it: 0 (unknown) is read as 96.
inline int EffectivePixelsPerInch(int ppi) {
  return ppi <= 0 ? 96 : ppi;
}

// A font description. Height is in device pixels: negative = character (em) height,
// positive = cell height (ascent + descent). Size is points at PixelsPerInch.
class TFont {
 public:
  TFont() = default;
  TFont(const TFont& other) { CopyFrom(other); }
  TFont& operator=(const TFont& other) {
    if (this != &other) Assign(other);
    return *this;
  }

  const WideString& Name() const { return FName; }
  void SetName(const WideString& v);
  int Height() const { return FHeight; }
  void SetHeight(int v);
  int Size() const;
  void SetSize(int points);
  // Average character width in pixels; 0 keeps the face's own proportions. Other values
  // stretch or condense the glyphs horizontally (a metafile replayed with unequal scales).
  int Width() const { return FWidth; }
  void SetWidth(int v);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles v);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  uint8_t Charset() const { return FCharset; }
  void SetCharset(uint8_t v);
  // Escapement of the baseline, tenths of a degree counterclockwise.
  int Orientation() const { return FOrientation; }
  void SetOrientation(int tenths);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch v);
  TFontQuality Quality() const { return FQuality; }
  void SetQuality(TFontQuality v);
  int PixelsPerInch() const { return EffectivePixelsPerInch(FPixelsPerInch); }
  void SetPixelsPerInch(int v) { FPixelsPerInch = v; }

  // Copies the description (not the change handler) and notifies.
  void Assign(const TFont& other);
  // Same description (the change handler is not compared).
  bool SameAs(const TFont& other) const;

  // Called after every change of the description.
  std::function<void()> OnChange;

 private:
  void CopyFrom(const TFont& o);
  void Changed() {
    if (OnChange) OnChange();
  }
  WideString FName = u"Arial";
  int FHeight = -13;
  int FWidth = 0;
  TFontStyles FStyle;
  TColor FColor = 0;
  uint8_t FCharset = DEFAULT_CHARSET;
  int FOrientation = 0;
  TFontPitch FPitch = fpDefault;
  TFontQuality FQuality = fqDefault;
  int FPixelsPerInch = 96;
};

struct TTextMetric {
  int tmHeight = 0;
  int tmAscent = 0;
  int tmDescent = 0;
  int tmInternalLeading = 0;
  int tmExternalLeading = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmWeight = 400;
  int tmOverhang = 0;
  bool tmItalic = false;
  bool tmUnderlined = false;
  bool tmStruckOut = false;
  uint8_t tmPitchAndFamily = 0;  // bit 0 set for a proportional face, as the platform reports it
  uint8_t tmCharSet = DEFAULT_CHARSET;
  char16_t tmFirstChar = 0;
  char16_t tmLastChar = 0;
  char16_t tmDefaultChar = 0;
  char16_t tmBreakChar = 0x20;
};

// Outline metrics of a face, scaled to the selected pixel size (integers, y growing upwards),
// with the design units alongside for callers that compute their own scale.
struct TOutlineTextMetric {
  TTextMetric otmTextMetrics;
  unsigned otmEMSquare = 0;  // design units per em
  int otmAscent = 0;         // typographic ascent (OS/2), pixels
  int otmDescent = 0;        // typographic descent, pixels, negative below the baseline
  int otmLineGap = 0;
  int otmsCapEmHeight = 0;
  int otmsXHeight = 0;
  TRect otmrcFontBox;      // Left = xMin, Top = yMax, Right = xMax, Bottom = yMin
  int otmItalicAngle = 0;  // tenths of a degree, negative for a forward slant
  unsigned otmfsSelection = 0;
  unsigned otmfsType = 0;
  int otmsUnderscoreSize = 0;
  int otmsUnderscorePosition = 0;
  int otmsStrikeoutSize = 0;
  int otmsStrikeoutPosition = 0;
  int otmMacAscent = 0;
  int otmMacDescent = 0;
  // Design units (unscaled).
  int UnitsAscent = 0, UnitsDescent = 0, UnitsCapHeight = 0, UnitsXHeight = 0;
  int UnitsXMin = 0, UnitsYMin = 0, UnitsXMax = 0, UnitsYMax = 0;
  double ItalicAngle = 0;  // degrees
  int Weight = 400;        // OS/2 weight class
  int AvgCharWidthUnits = 0;
  int MaxAdvanceUnits = 0;
  // Font descriptor flags of the PDF format: 1 fixed pitch, 2 serif, 4 symbolic, 32 non-symbolic,
  // 64 italic.
  int PdfFlags = 0;
};

// A face at one pixel size, as the font cache hands it out. Lives until
// ReleaseGraphicsResources(); callers keep the reference instead of looking the font up again.
// All members are safe to call from several threads.
class TSizedFont {
 public:
  struct Impl;
  explicit TSizedFont(std::unique_ptr<Impl> impl);
  ~TSizedFont();
  TSizedFont(const TSizedFont&) = delete;
  TSizedFont& operator=(const TSizedFont&) = delete;

  // The family and file the name resolved to, UTF-8.
  const std::string& FamilyName() const;
  const std::string& FileName() const;
  int FaceIndex() const;
  // The em height in pixels the font is set to, and its em width (equal unless stretched).
  int EmPixels() const;
  int EmWidthPixels() const;
  bool Bold() const;             // bold requested (real or synthesised)
  bool Italic() const;           // italic requested (real or synthesised)
  bool SyntheticBold() const;    // the family has no bold face: bold is synthesised
  bool SyntheticItalic() const;  // likewise for italic (an oblique slant)
  unsigned UnitsPerEm() const;

  // Advance of one character in whole pixels (hinted, as the text layout measures).
  int CharAdvance(char32_t c) const;
  // The cumulative advance after every UTF-16 unit of the text (the second unit of a surrogate
  // pair carries the character's advance, the first adds nothing).
  void GetTextExtentExPoint(std::u16string_view text, int* cumulative) const;
  std::vector<int> GetTextExtentExPoint(std::u16string_view text) const;
  int TextWidth(std::u16string_view text) const;
  const TTextMetric& TextMetrics() const;
  TOutlineTextMetric OutlineTextMetrics() const;
  // Glyph index of a character in the face (0 when it has none).
  uint32_t GlyphIndex(char32_t c) const;

  // A raw table by its four-letter tag ("head", "glyf", "cmap", "hmtx" ...); an empty tag gives
  // the whole font file, "ttcf" the whole file when it is a collection. Empty when absent.
  std::vector<uint8_t> GetFontData(std::string_view tag) const;
  // The whole font file, shared by all sizes of the face.
  const std::vector<uint8_t>& FontFileBytes() const;

  Impl& Internals() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// The cached font for a description (name, height, width, bold and italic; other attributes
// do not change the glyphs). A height of 0 means the default of 13 pixels.
const TSizedFont& FindFont(const TFont& font);
const TSizedFont& FindFont(const WideString& name, int height, TFontStyles style, int width = 0);

// Releases every cached font, the font configuration and the libraries' process-wide caches.
// Fonts handed out before become invalid. For leak checkers at process end.
void ReleaseGraphicsResources();

}  // namespace pagewright
