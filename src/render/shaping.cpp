#include "render/shaping.h"

#include <hb.h>

#include <algorithm>
#include <memory>

#include "render/canvas.h"
#include "render/font_internal.h"

namespace pagewright {
namespace {

struct BufferDeleter {
  void operator()(hb_buffer_t* b) const { hb_buffer_destroy(b); }
};

}  // namespace

std::vector<TScriptItem> ScriptItemize(std::u16string_view text, bool rtlReading) {
  std::vector<TScriptItem> items;
  if (text.empty()) return items;
  // Directions follow the visual order's levels: consecutive units whose order is a plain
  // increasing or decreasing sequence form one item.
  std::vector<int> order = VisualOrder(text, rtlReading);
  std::vector<int> position(text.size());
  for (size_t v = 0; v < order.size(); ++v) position[order[v]] = static_cast<int>(v);
  std::vector<bool> rtl(text.size(), false);
  for (size_t i = 0; i < text.size(); ++i) {
    bool r = IsRightToLeftChar(text[i]);
    rtl[i] = r;
  }
  // Neutrals inherit the direction the reordering gave them: a unit whose successor is shown
  // before it belongs to a right-to-left run.
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsRightToLeftChar(text[i])) continue;
    bool prevR = i > 0 && position[i - 1] == position[i] + 1;
    bool nextR = i + 1 < text.size() && position[i + 1] == position[i] - 1;
    rtl[i] = prevR || nextR;
  }
  TScriptItem cur{0, 1, rtl[0]};
  for (size_t i = 1; i < text.size(); ++i) {
    bool low = text[i] >= 0xDC00 && text[i] < 0xE000;
    if (rtl[i] == cur.RightToLeft || low) {
      ++cur.Length;
    } else {
      items.push_back(cur);
      cur = TScriptItem{static_cast<uint32_t>(i), 1, rtl[i]};
    }
  }
  items.push_back(cur);
  return items;
}

std::vector<int> ScriptLayout(const std::vector<TScriptItem>& items, bool rtlReading) {
  std::vector<int> order(items.size());
  for (size_t i = 0; i < items.size(); ++i) order[i] = static_cast<int>(i);
  if (rtlReading) {
    // Right-to-left paragraph: items go from right to left.
    std::reverse(order.begin(), order.end());
  } else {
    // Left-to-right paragraph: consecutive right-to-left items are shown in reverse.
    for (size_t i = 0; i < order.size();) {
      if (!items[order[i]].RightToLeft) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < order.size() && items[order[j]].RightToLeft) ++j;
      std::reverse(order.begin() + i, order.begin() + j);
      i = j;
    }
  }
  return order;
}

TShapedRun ScriptShape(const TSizedFont& font, std::u16string_view text, const TScriptItem& item,
                       const TShapeOptions& options) {
  TShapedRun run;
  run.Item = item;
  if (item.Length == 0 || item.Start + item.Length > text.size()) return run;
  std::unique_ptr<hb_buffer_t, BufferDeleter> buffer(hb_buffer_create());
  hb_buffer_add_utf16(buffer.get(), reinterpret_cast<const uint16_t*>(text.data()),
                      static_cast<int>(text.size()), item.Start, static_cast<int>(item.Length));
  hb_buffer_set_cluster_level(buffer.get(), HB_BUFFER_CLUSTER_LEVEL_MONOTONE_CHARACTERS);
  hb_buffer_guess_segment_properties(buffer.get());
  hb_buffer_set_direction(buffer.get(), item.RightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  std::vector<hb_feature_t> features;
  auto off = [&](const char* tag) {
    hb_feature_t f;
    if (hb_feature_from_string(tag, -1, &f)) features.push_back(f);
  };
  if (!options.Kerning) off("-kern");
  if (!options.Ligatures) {
    off("-liga");
    off("-clig");
  }
  hb_shape(HarfBuzzFont(font), buffer.get(), features.data(), static_cast<unsigned>(features.size()));
  unsigned count = 0;
  hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer.get(), &count);
  hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer.get(), &count);
  run.Glyphs.reserve(count);
  // HarfBuzz gives right-to-left runs in visual order already.
  uint32_t lastCluster = UINT32_MAX;
  for (unsigned i = 0; i < count; ++i) {
    TShapedGlyph g;
    g.GlyphIndex = info[i].codepoint;
    g.Cluster = info[i].cluster;
    g.XAdvance = pos[i].x_advance;
    g.YAdvance = pos[i].y_advance;
    g.XOffset = pos[i].x_offset;
    g.YOffset = pos[i].y_offset;
    g.ClusterContinuation = (g.Cluster == lastCluster) || g.XAdvance == 0;
    lastCluster = g.Cluster;
    run.Glyphs.push_back(g);
  }
  return run;
}

std::vector<TShapedRun> ShapeText(const TSizedFont& font, std::u16string_view text, bool rtlReading,
                                  const TShapeOptions& options) {
  std::vector<TScriptItem> items = ScriptItemize(text, rtlReading);
  std::vector<TShapedRun> runs;
  runs.reserve(items.size());
  for (int index : ScriptLayout(items, rtlReading))
    runs.push_back(ScriptShape(font, text, items[index], options));
  return runs;
}

}  // namespace pagewright
