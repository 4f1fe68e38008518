// TrueType reader and subsetter for embedding fonts in PDF files: reads a font file or a
// collection, selects the face for a report font, answers glyph and width queries, and writes a
// subset in which every glyph keeps its index (glyphs not kept get empty outlines).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"
#include "platform/types.h"

namespace pagewright {

PW_DECLARE_EXCEPTION(ETrueTypeError, Exception)

enum TChecksumFaultAction : uint8_t {
  ChecksumFaultAction_IgnoreChecksum,
  ChecksumFaultAction_ThrowException,
  ChecksumFaultAction_Warn
};

struct TableDirectory {
  uint32_t sfntversion = 0;
  uint16_t numTables = 0;
  uint16_t searchRange = 0;
  uint16_t entrySelector = 0;
  uint16_t rangeShift = 0;
};

struct TableEntry {
  uint32_t tag = 0;
  uint32_t checkSum = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
};

// Four letters from a tag value, the first letter in the highest byte.
std::string TagText(uint32_t tag);
uint32_t TagValue(std::string_view text);
// Sum of the big-endian 32-bit words, a partial last word padded with zeros.
uint32_t TableChecksum(std::span<const uint8_t> bytes);

// One table of a face: its directory entry and its own copy of the bytes.
struct TrueTypeTable {
  TableEntry entry;
  std::vector<uint8_t> data;
  std::string TAGLINE() const { return TagText(entry.tag); }
};

// Faces read at most this many tables; a directory claiming more is malformed.
inline constexpr unsigned kMaxTrueTypeTables = 256;
// Composite glyphs nest at most this deep when their components are collected.
inline constexpr int kMaxCompositeDepth = 16;

class TrueTypeFont {
 public:
  // file is the whole font file (it must outlive the face); selector is the offset of this
  // face's offset table inside it.
  TrueTypeFont(std::span<const uint8_t> file, uint32_t selector);

  // Reads the directory and the tables not listed in skipList (four-letter tags).
  void PrepareFont(const std::vector<std::string>& skipList);

  TChecksumFaultAction checksum_action = ChecksumFaultAction_IgnoreChecksum;
  // Messages of checksum mismatches seen with ChecksumFaultAction_Warn.
  std::vector<std::string> Warnings;

  const TableDirectory& Directory() const { return dir; }
  const std::vector<TrueTypeTable>& Tables() const { return ListOfTables; }
  const TrueTypeTable* FindTable(std::string_view tag) const;

  // Names from the "name" table (Windows Unicode records first), empty when absent.
  WideString NameString(uint16_t nameID) const;
  WideString FamilyName() const { return NameString(1); }
  WideString FullName() const { return NameString(4); }
  WideString PostScriptName() const { return NameString(6); }
  // Wanted name + " - " + the face's full name when the face was taken as a substitute.
  const WideString& SubstitutionName() const { return FSubstitutionName; }
  void SetSubstitutionName(const WideString& v) { FSubstitutionName = v; }

  unsigned NumGlyphs() const { return numGlyphs; }
  unsigned UnitsPerEm() const { return unitsPerEm; }
  // Glyph of a character through the Windows Unicode (3, 1) map; 0 when it has none.
  uint16_t GlyphIndex(uint32_t character) const;
  // Advance of a glyph in thousandths of an em (integer arithmetic).
  int GlyphAdvance(uint16_t glyph) const;
  // Direct components of a composite glyph (empty for a simple or empty glyph).
  std::vector<uint16_t> GlyphComponents(uint16_t glyph) const;
  // The outline bytes of a glyph (empty when it has none or its location is out of range).
  std::span<const uint8_t> GlyphData(uint16_t glyph) const;

  // Keep list for the next PackFont; values above 65535 raise "Format error".
  void AddCharacterToKeepList(uint32_t glyph);
  void SetUsedGlyphs(const std::vector<uint32_t>& glyphs);
  // Builds Indices and GlyphWidths from the keep list, components before their composite.
  void BuildGlyphIndexList();
  // The subset file. With onlyTables, just the tables of those tags that the face has are
  // written (a font program needs far fewer than a face carries); empty writes every table read.
  // The metrics of glyphs not kept are zeroed along with their outlines.
  std::vector<uint8_t> PackFont(std::span<const std::string> onlyTables = {});
  // Width of a glyph kept by the last PackFont, thousandths of an em; raises when not kept.
  int get_GlyphWidth(uint16_t glyph) const;

  const std::vector<uint16_t>& KeptIndices() const { return Indices; }

 private:
  void LoadTables();
  void CollectComponents(uint16_t glyph, int depth, std::set<uint16_t>& seen);
  uint32_t GlyphOffset(uint32_t glyph) const;

  std::span<const uint8_t> beginfile;
  uint32_t selector_ptr;
  TableDirectory dir;
  std::vector<TrueTypeTable> ListOfTables;
  std::vector<uint32_t> sourceOrder;  // indexes of ListOfTables by source offset
  std::set<uint16_t> ListOfUsedGlyphs;
  std::vector<uint16_t> Indices;
  std::vector<int> GlyphWidths;
  WideString FSubstitutionName;

  // Values read from the tables.
  unsigned unitsPerEm = 1000;
  int16_t indexToLocFormat = 0;
  unsigned numGlyphs = 0;
  unsigned numberOfHMetrics = 0;
  std::vector<uint32_t> loca;  // numGlyphs + 1 offsets into glyf
  int cmapFormat = -1;         // format of the (3, 1) subtable, -1 when none
  size_t cmapTableIndex = 0;
  uint32_t cmapSubtableOffset = 0;
};

class TrueTypeCollection {
 public:
  // Recognises a single face, a collection or a CFF font (no face); copies the data.
  void Initialize(std::span<const uint8_t> fontData);
  size_t Count() const { return faces_.size(); }
  TrueTypeFont& Face(size_t i) { return *faces_.at(i); }

  // The face whose full or family name equals the wanted name (face name with " Bold" and
  // " Italic" appended, or its substitute); otherwise the face at fallbackIndex (the face the
  // platform resolved, if in range, else the first) with its substitution name set. Null when
  // the collection holds no face.
  TrueTypeFont* LoadFont(const WideString& faceName, bool bold, bool italic, size_t fallbackIndex = 0);
  std::vector<uint8_t> PackFont(TrueTypeFont& ttf, const std::vector<uint32_t>& usedAlphabet,
                                std::span<const std::string> onlyTables = {});

 private:
  std::vector<uint8_t> data_;
  std::vector<std::unique_ptr<TrueTypeFont>> faces_;
};

// The tags PDF embedding never carries: bitmap strikes, device metrics, signatures.
const std::vector<std::string>& PdfSkippedTables();
// The tables the font program of a CID-keyed TrueType font in a PDF needs: outlines, their
// locations, the metrics and the hinting programs. Glyphs are addressed by index, so neither a
// character map nor names, layout or kerning tables are read by a viewer.
const std::vector<std::string>& PdfFontProgramTables();

}  // namespace pagewright
