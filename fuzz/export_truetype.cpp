// Feeds arbitrary bytes to the TrueType reader as a font file or collection: face selection,
// names, character and glyph queries, and a subset of the first glyphs (all tables or a PDF
// font program), which must read back with every table checksum correct.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "export/pdf/truetype.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TrueTypeCollection collection;
  TrueTypeFont* face = nullptr;
  try {
    collection.Initialize(std::span<const uint8_t>(data, size));
    face = collection.LoadFont(u"Arial", size % 2 == 1, size % 3 == 1, size % 5);
  } catch (const ETrueTypeError&) {
    return 0;
  }
  if (!face) return 0;
  face->FamilyName();
  face->PostScriptName();
  std::vector<uint32_t> used;
  for (char32_t c : {U' ', U'A', U'z', U'\u00C9', U'\u20AC', U'\U0001F600'}) {
    try {
      used.push_back(face->GlyphIndex(c));
    } catch (const ETrueTypeError&) {
      // Unsupported character map formats are reported, not crashed on.
    }
  }
  for (unsigned g = 0; g < face->NumGlyphs() && g < 64; ++g) {
    face->GlyphAdvance(static_cast<uint16_t>(g));
    face->GlyphComponents(static_cast<uint16_t>(g));
    if (g % 3 == 0) used.push_back(g);
  }
  std::vector<uint8_t> subset;
  try {
    // Every table, or only those of a PDF font program.
    subset = size % 2 == 0 ? collection.PackFont(*face, used)
                           : collection.PackFont(*face, used, PdfFontProgramTables());
  } catch (const ETrueTypeError&) {
    return 0;
  }
  TrueTypeFont again(subset, 0);
  again.checksum_action = ChecksumFaultAction_ThrowException;
  try {
    again.PrepareFont({});
  } catch (const ETrueTypeError&) {
    __builtin_trap();  // a subset we wrote must read back intact
  }
  if (again.NumGlyphs() != face->NumGlyphs()) __builtin_trap();
  return 0;
}
