// Text drawing: line positions from the 600-pixels-per-inch layout, alignment, rotation and
// underline rules, checked on bitmap pixels.
#include "render/draw_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "pixel_helpers.h"
#include "render/bitmap.h"
#include "render/colors.h"

namespace pagewright {
namespace {

struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive bounds
  bool any() const { return right >= 0; }
};

Ink InkBounds(const TBitmap& b, int y0 = 0, int y1 = -1) {
  Ink k;
  if (y1 < 0) y1 = b.Height();
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != clWhite) {
        k.left = std::min(k.left, x);
        k.right = std::max(k.right, x);
        k.top = std::min(k.top, y);
        k.bottom = std::max(k.bottom, y);
      }
  return k;
}

bool SameRows(const TBitmap& a, const TBitmap& b, int y0, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  return true;
}

struct DrawSpec {
  std::vector<WideString> text;
  TRect rect;
  TpgwHAlign h = haLeft;
  TpgwVAlign v = vaTop;
  TpgwUnderlinesTextMode ul = ulmNone;
  int rotation = 0;
  bool wysiwyg = true;
  bool wordWrap = true;
  Extended scale = 1;
  TFontStyles style;
  Extended lineSpacing = 0;
};

// Lays out and draws; returns the line tops.
std::vector<int> Draw(TBitmap& bmp, const DrawSpec& s) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  TFont font;
  font.SetStyle(s.style);
  dt.SetFont(font);
  dt.SetOptions(s.wordWrap, true, false, false, false, s.wysiwyg, s.rotation);
  dt.SetGaps(0, 0, s.lineSpacing);
  const TRect scaled = Rect(static_cast<int>(RoundHalfEven(s.rect.Left * s.scale)),
                            static_cast<int>(RoundHalfEven(s.rect.Top * s.scale)),
                            static_cast<int>(RoundHalfEven(s.rect.Right * s.scale)),
                            static_cast<int>(RoundHalfEven(s.rect.Bottom * s.scale)));
  dt.SetDimensions(s.scale, s.scale, 1, s.rect, scaled);
  dt.SetText(s.text);
  bmp.Canvas().Pen().SetColor(clBlack);
  dt.DrawText(bmp.Canvas(), s.h, s.v, s.ul, -1);
  return dt.GetLineY();
}

TEST(DrawText, DistributeIncrementsByHalving) {
  struct Case {
    int count, one;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {0, 1, {0, 0, 0, 0}}, {1, 1, {0, 1, 0, 0}}, {2, 1, {1, 0, 1, 0}},
      {3, 1, {1, 0, 1, 1}}, {4, 1, {1, 1, 1, 1}}, {2, -1, {-1, 0, -1, 0}},
  };
  for (const Case& c : cases) {
    std::vector<int> a(4, 0);
    DistributeIncrements(a.data(), 0, 3, c.one, c.count);
    EXPECT_EQ(a, c.expected) << c.count;
  }
}

TEST(DrawText, TextOriginForEveryAngleClass) {
  struct Case {
    int rotation;
    TpgwVAlign v;
    Extended lineSpacing;
    int x, y, w, a;
  };
  const TRect r = Rect(10, 20, 110, 220);
  const Case cases[] = {
      {0, vaTop, 0, 10, 20, 100, 200},       {90, vaTop, 0, 10, 220, 200, 100},
      {180, vaTop, 0, 110, 220, 100, 200},   {270, vaTop, 0, 110, 20, 200, 100},
      {45, vaTop, 0, 10, 98, 111, 131},      {135, vaTop, 0, 88, 220, 111, 130},
      {225, vaTop, 0, 110, 142, 111, 131},   {315, vaTop, 0, 31, 20, 111, 130},
      {-90, vaTop, 0, 110, 20, 200, 100},  // angles are taken modulo 360
      {0, vaBottom, 0, 10, 190, 100, 200},   {0, vaCenter, 0, 10, 105, 100, 200},
      {90, vaBottom, 0, 80, 220, 200, 100},  {180, vaBottom, 0, 110, 50, 100, 200},
      {270, vaBottom, 0, 40, 20, 200, 100},  {45, vaBottom, 0, 10, 199, 111, 131},
      {135, vaBottom, 0, 88, 120, 111, 130}, {0, vaBottom, -2, 10, 186, 100, 200},
  };
  for (const Case& c : cases) {
    const TpgwTextOrigin o = ComputeTextOrigin(r, c.rotation, 30, c.lineSpacing, c.v);
    EXPECT_EQ(o.X, c.x) << c.rotation << "/" << int(c.v);
    EXPECT_EQ(o.Y, c.y) << c.rotation << "/" << int(c.v);
    EXPECT_EQ(o.W, c.w) << c.rotation;
    EXPECT_EQ(o.A, c.a) << c.rotation;
  }
}

// Ten lines of 13.28 report pixels: the block is Round(132.8) = 133 high at scale 1, so the
// Wysiwyg steps spread 3 extra pixels over nine gaps; plain steps are 13 each.
TEST(DrawText, WysiwygLinePositionsFollowTheLayout) {
  struct Case {
    Extended scale;
    bool wysiwyg;
    int lastTop;  // below the first line's top
  };
  const Case cases[] = {
      {1, true, 133 - 13},
      {1, false, 9 * 13},
      {3.125L, true, 415 - 42},
      {3.125L, false, 9 * 42},  // 300 pixels per inch
  };
  for (const Case& c : cases) {
    DrawSpec s;
    s.text.assign(10, u"x");
    s.rect = Rect(0, 0, 60, 200);
    s.scale = c.scale;
    s.wysiwyg = c.wysiwyg;
    const int h = static_cast<int>(RoundHalfEven(200 * c.scale));
    TBitmap bmp(static_cast<int>(RoundHalfEven(60 * c.scale)), h);
    const std::vector<int> y = Draw(bmp, s);
    ASSERT_EQ(y.size(), 11u);
    EXPECT_EQ(y[9] - y[0], c.lastTop) << static_cast<double>(c.scale) << c.wysiwyg;
    EXPECT_EQ(y[10], y[9] + static_cast<int>(RoundHalfEven(83 / 6.25L * c.scale)) + 1);
    // Gaps differ by at most one pixel.
    for (int i = 1; i < 9; ++i) EXPECT_LE(std::abs((y[i + 1] - y[i]) - (y[i] - y[i - 1])), 1);
    // The last line's ink starts in its own cell, not in the one plain steps would give.
    const Ink last = InkBounds(bmp, y[9], h);
    ASSERT_TRUE(last.any());
    EXPECT_LT(last.bottom, y[9] + static_cast<int>(RoundHalfEven(13 * c.scale)));
    EXPECT_FALSE(InkBounds(bmp, y[9] - 1, y[9]).any());
  }
}

TEST(DrawText, JustifiedParagraphLastLineAndSpacelessLinesAreLeftAligned) {
  DrawSpec s;
  s.text = {u"aa bb cc ddddddd ee ff gg hh ii jj"};
  s.rect = Rect(0, 0, 70, 100);
  TBitmap left(80, 100), block(80, 100);
  s.h = haLeft;
  const std::vector<int> y = Draw(left, s);
  s.h = haBlock;
  Draw(block, s);
  ASSERT_GE(y.size(), 4u);
  const int lines = static_cast<int>(y.size()) - 1;
  // The paragraph's last line: identical to left alignment.
  EXPECT_TRUE(SameRows(left, block, y[lines - 1] + 2, 100))
      << test::Picture(block);  // below the descenders above
  // A full line: stretched to the right edge.
  EXPECT_FALSE(SameRows(left, block, y[0], y[1]));
  EXPECT_GE(InkBounds(block, y[0], y[1]).right, 67);
  EXPECT_LT(InkBounds(left, y[0], y[1]).right, 60) << test::Picture(left);

  // Lines without spaces (a long word wrapped) are drawn left-aligned.
  s.text = {u"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz"};
  TBitmap left2(80, 100), block2(80, 100);
  s.h = haLeft;
  Draw(left2, s);
  s.h = haBlock;
  Draw(block2, s);
  EXPECT_TRUE(SameRows(left2, block2, 0, 100));
  EXPECT_TRUE(InkBounds(block2).any());
}

// Right alignment puts the text at x + g + 1 - 1 (g the free width), one more pixel to the left
// for bold or italic text: the same pixels as left-aligned text at that position.
TEST(DrawText, BoldRightAlignedTextEndsOnePixelFurtherLeft) {
  for (const TFontStyles style : {TFontStyles{}, TFontStyles{fsBold}, TFontStyles{fsItalic}}) {
    const int f = FindFont(u"Arial", -83, style).TextWidth(u"Total");
    const int v = static_cast<int>(RoundHalfEven(f / 6.25L));
    const int g = 100 - v;
    const int shift = style.Empty() ? 0 : 1;
    DrawSpec s;
    s.text = {u"Total"};
    s.style = style;
    s.rect = Rect(10, 10, 110, 40);
    s.h = haRight;
    TBitmap right(130, 40), leftAt(130, 40);
    Draw(right, s);
    s.h = haLeft;
    s.rect = Rect(10 + g - shift, 10, 110 + g - shift, 40);
    Draw(leftAt, s);
    EXPECT_TRUE(SameRows(right, leftAt, 0, 40)) << style.Bits() << "\n" << test::Picture(right);
    EXPECT_TRUE(InkBounds(right).any());
  }
}

TEST(DrawText, Rotation90StartsBottomLeftAndBottomAlignmentMovesRight) {
  DrawSpec s;
  s.text = {u"Hello"};
  s.rect = Rect(20, 20, 120, 220);
  s.rotation = 90;
  TBitmap top(140, 240), bottom(140, 240);
  Draw(top, s);
  s.v = vaBottom;
  Draw(bottom, s);
  const Ink a = InkBounds(top), b = InkBounds(bottom);
  ASSERT_TRUE(a.any());
  ASSERT_TRUE(b.any());
  // Upward from the bottom-left corner, within one line's height of the left edge.
  EXPECT_GE(a.left, 20);
  EXPECT_LT(a.right, 20 + 13);
  EXPECT_LE(a.bottom, 220);
  EXPECT_GT(a.bottom, 200);
  EXPECT_GT(a.bottom - a.top, a.right - a.left);  // runs vertically
  // vaBottom: moved right by the free space, 100 - 13 pixels.
  EXPECT_EQ(b.left - a.left, 87);
  EXPECT_EQ(b.top, a.top);
  EXPECT_LE(b.right, 120);
}

TEST(DrawText, UnderlinesAllOnEmptyTextRulesTheWholeRectangle) {
  DrawSpec s;
  s.rect = Rect(0, 0, 100, 60);
  s.ul = ulmUnderlinesAll;
  TBitmap bmp(100, 60);
  Draw(bmp, s);
  // Rules every 13 pixels (the line height), offset by one: rows 14, 27, 40, 53.
  for (int y = 0; y < 60; ++y) {
    const bool ruled = y == 14 || y == 27 || y == 40 || y == 53;
    for (int x = 0; x < 100; ++x) ASSERT_EQ(bmp.Pixel(x, y), ruled ? clBlack : clWhite) << x << "," << y;
  }
  // Without a mode nothing is drawn for an empty text.
  TBitmap none(100, 60);
  s.ul = ulmNone;
  Draw(none, s);
  EXPECT_EQ(test::CountNonWhite(none), 0);
}

TEST(DrawText, UnderlineModesUnderTextLines) {
  struct Case {
    TpgwUnderlinesTextMode mode;
    std::vector<int> rows;
  };
  // Lines at 0, 14 (blank), 27: the Wysiwyg block is Round(39.84) = 40 high, the extra pixel in the
  // first gap; a rule lies 14 below each line's top.
  const Case cases[] = {
      {ulmUnderlinesText, {14, 41}},
      {ulmUnderlinesTextAndEmptyLines, {14, 28, 41}},
      {ulmUnderlinesAll, {14, 28, 41, 54}},
  };
  for (const Case& c : cases) {
    DrawSpec s;
    s.text = {u"ab", u"", u"cd"};
    s.rect = Rect(0, 0, 60, 60);
    s.ul = c.mode;
    TBitmap bmp(60, 60);
    Draw(bmp, s);
    std::vector<int> rows;
    for (int y = 0; y < 60; ++y) {
      bool full = true;
      for (int x = 0; x < 60 && full; ++x) full = bmp.Pixel(x, y) == clBlack;
      if (full) rows.push_back(y);
    }
    EXPECT_EQ(rows, c.rows) << int(c.mode);
  }
}

}  // namespace
}  // namespace pagewright

namespace pagewright {
namespace {

// Absurd settings and hostile text neither crash nor hang; the engine stays usable.
TEST(DrawText, HostileSettingsStayBounded) {
  struct Case {
    Extended gap, spacing, lineSpacing, scale;
    TRect rect;
    int rotation;
  };
  const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
  const Case cases[] = {
      {1e30L, 1e30L, 1e30L, 1e30L, Rect(0, 0, 100, 100), 0},
      {-1e30L, -1e30L, -1e30L, 1, Rect(0, 0, 100, 100), 45},
      {nan, nan, nan, nan, Rect(0, 0, 100, 100), 90},
      {0, 0, -83 / 6.25L, 1, Rect(0, 0, 100, 100), 0},  // line height 0
      {0, 0, 0, 1, Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), 0},
      {0, 0, 0, 1, Rect(100, 100, 0, 0), 300},
  };
  WideString longWord(20000, u'W');
  for (const Case& c : cases) {
    TpgwDrawTextLock lock;
    TpgwDrawText dt;
    dt.SetFont(TFont());
    dt.SetOptions(true, true, false, true, true, true, c.rotation);
    dt.SetGaps(c.gap, c.spacing, c.lineSpacing);
    dt.SetDimensions(c.scale, c.scale, 1, c.rect, c.rect);
    dt.SetText({u"a <b>b</b> c", longWord, u"<font color=\"", u"</b></i></sub>x<sup><sub>y"});
    (void)dt.CalcHeight();
    (void)dt.CalcWidth();
    (void)dt.UnusedSpace();
    TBitmap bmp(50, 50);
    for (TpgwHAlign h : {haLeft, haRight, haCenter, haBlock})
      dt.DrawText(bmp.Canvas(), h, vaCenter, ulmUnderlinesAll, 0);
    bool paraBreak = false;
    (void)dt.GetOutBoundsText(paraBreak);
    EXPECT_LE(dt.Text().size(), 4u + 20000u);
  }
}

}  // namespace
}  // namespace pagewright
