// Text shaping: splitting text into runs of one direction and shaping each run into glyph
// indices and advances of the font's face, for embedding text as glyphs.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "render/fonts.h"

namespace pagewright {

struct TScriptItem {
  uint32_t Start = 0;   // first UTF-16 unit
  uint32_t Length = 0;  // UTF-16 units
  bool RightToLeft = false;
};

// One glyph; advances and offsets in design units of the face (TSizedFont::UnitsPerEm).
struct TShapedGlyph {
  uint32_t GlyphIndex = 0;
  uint32_t Cluster = 0;  // index of the first UTF-16 unit of the text the glyph belongs to
  int32_t XAdvance = 0;
  int32_t YAdvance = 0;
  int32_t XOffset = 0;
  int32_t YOffset = 0;
  // A glyph after the first of its cluster, or a mark without advance.
  bool ClusterContinuation = false;
};

struct TShapedRun {
  TScriptItem Item;
  std::vector<TShapedGlyph> Glyphs;  // in visual order (left to right)
};

struct TShapeOptions {
  bool Kerning = false;   // off: advances match the measured character advances
  bool Ligatures = true;  // standard ligatures (required ones are always applied)
};

// Runs of one direction in logical order. With rtlReading the neutral characters between runs
// take the right-to-left direction.
std::vector<TScriptItem> ScriptItemize(std::u16string_view text, bool rtlReading);
// The order in which the items are shown, left to right (indexes into items).
std::vector<int> ScriptLayout(const std::vector<TScriptItem>& items, bool rtlReading);
// Shapes one item of the text.
TShapedRun ScriptShape(const TSizedFont& font, std::u16string_view text, const TScriptItem& item,
                       const TShapeOptions& options = {});
// Itemises, shapes and orders the runs for display (left to right).
std::vector<TShapedRun> ShapeText(const TSizedFont& font, std::u16string_view text, bool rtlReading,
                                  const TShapeOptions& options = {});

}  // namespace pagewright
