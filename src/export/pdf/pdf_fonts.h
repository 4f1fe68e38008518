// Fonts of the PDF writer: one record per face and style used in a document, which maps text to
// glyph indices and widths while collecting the glyphs used, and at the end writes the Type 0
// font with its CID font, widths, descriptor, ToUnicode map and optional embedded subset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/pdf/truetype.h"
#include "render/fonts.h"

namespace pagewright {

class TPDFObjectsHelper;

struct TRemapedString {
  std::vector<uint16_t> Data;  // glyph indices in visual order
  int Width = 0;               // sum of advances, thousandths of the font size
  int SpacesCount = 0;         // glyph-3 spaces
  bool IsValidCharWidth = false;
  std::vector<int> CharWidth;  // per glyph; -1 for a glyph drawn as part of the one before
  bool IsHasLigatures = false;
  bool IsSpace = false;
};

// Faces whose bold or italic the writer simulates (faces compared exactly).
bool FontSimulatesBold(const WideString& face);
bool FontSimulatesItalic(const WideString& face);
// The size correction of monospaced faces for a point size (1 when none).
double MonospacedFontCorrection(const WideString& face, int pointSize);

class TpgwPDFFont {
 public:
  // font carries the face and the style the record stands for; index is its place in the
  // document's list ("/F" + index).
  TpgwPDFFont(const TFont& font, int index);

  const TFont& SourceFont() const { return FSourceFont; }
  // True when the record draws with the glyphs of that face: the same file and face, and the
  // same bold and italic where the renderer synthesises them (they change the glyphs it draws).
  bool SameFace(const TSizedFont& face, bool syntheticBold, bool syntheticItalic) const;
  const std::string& Name() const { return FName; }
  bool SimulatedBold() const { return FSimBold; }
  bool SimulatedItalic() const { return FSimItalic; }

  int Reference = 0;  // object number of the Type 0 font, 0 until first used
  bool FSameCharacterWidth = false;
  bool FIsLigatureless = false;

  // Maps text to glyphs and records the glyphs used.
  TRemapedString SoftRemapString(std::u16string_view text, bool rtl);
  // The TJ adjustment per space (negative thousandths of the font size, widening) that makes a
  // mapped line lineWidth points wide at fontSize; 0 without spaces.
  static double SpaceAdjustment(const TRemapedString& remaped, double fontSize, double lineWidth);
  // The base-font name (without subset tag).
  std::string GetFontName() const;
  // Replaces the font data by a subset of the used glyphs and refreshes the widths from it.
  void PackTTFFont();
  bool Embeddable() const { return FTtf != nullptr && !FFontData.empty(); }
  // Writes the font's objects; the Type 0 font goes to Reference.
  void WriteObjects(TPDFObjectsHelper& pdf, bool embed);

  const std::vector<uint16_t>& UsedAlphabet() const { return FUsedAlphabet; }
  const std::vector<int>& Widths() const { return FWidths; }

 private:
  struct TCharGlyph {
    uint16_t Glyph = 0;
    int Advance = 0;
  };
  void Record(uint16_t glyph, int advance, std::u16string_view unicode);
  // Six upper-case letters naming the subset, derived from the glyphs it holds.
  std::string SubsetTag() const;

  TFont FSourceFont;
  std::string FName;
  const TSizedFont* FSized = nullptr;  // the face at a 1000-pixel em: widths in thousandths
  bool FSimBold = false;
  bool FSimItalic = false;
  std::vector<uint8_t> FFontData;
  TrueTypeCollection FTrueTypeTables;
  TrueTypeFont* FTtf = nullptr;
  std::vector<uint16_t> FUsedAlphabet;
  std::vector<int> FWidths;
  std::vector<std::u16string> FUsedAlphabetUnicode;
  std::unordered_map<uint16_t, size_t> FGlyphSlot;
  std::unordered_map<char32_t, TCharGlyph> FCharCache;
  bool FPacked = false;
};

// TPDFGLobalFonts: the document's font records in order of first use.
class TPDFGlobalFonts {
 public:
  // The record for a report font, created when missing. Bold and italic that the writer
  // simulates are left out; what is left selects a face, and every name that resolves to the
  // same face (a stand-in and the face's own name) shares one record, so the document embeds
  // each face once.
  TpgwPDFFont& GetObjFontNumber(const TFont& font);
  size_t Count() const { return fonts_.size(); }
  TpgwPDFFont& operator[](size_t i) { return *fonts_[i]; }
  void Clear() { fonts_.clear(); }

 private:
  std::vector<std::unique_ptr<TpgwPDFFont>> fonts_;
};

}  // namespace pagewright
