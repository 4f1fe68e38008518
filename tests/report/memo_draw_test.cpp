// The text object's geometry: text rectangle, measured height and width, drawing with
// alignments and rules, and the cut of a long text into parts.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render/bitmap.h"
#include "render/draw_text.h"
#include "report/memo_view.h"

using namespace pagewright;

namespace {

// The ink of a bitmap region: the bounding box of its non-white pixels.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool Empty() const { return right < 0; }
};

Ink InkOf(const TBitmap& b, TColor background = clWhite) {
  Ink ink;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != background) {
        ink.left = std::min(ink.left, x);
        ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

// The width of one line of Arial 10 as the layout engine measures it, in report pixels.
Extended EngineWidth(const WideString& line) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  TpgwFont font;
  dt.SetFont(font.Native());
  dt.SetOptions(true, false, false, false, true, true, 0);
  dt.SetGaps(0, 0, 2);
  const TRect big = Rect(0, 0, 10000, 10000);
  dt.SetDimensions(1, 1, 1, big, big);
  dt.SetText({line});
  return dt.CalcWidth();
}

TEST(MemoGeometry, TextRectangleInsideFrameLines) {
  struct Case {
    Extended frameWidth;
    TRect want;
  } cases[] = {
      // Round(0.5) is 0: a one-pixel frame takes nothing off; a two-pixel one one pixel at the
      // right and bottom.
      {1, Rect(12, 21, 109, 50)},
      {2, Rect(12, 21, 108, 49)},
      {4, Rect(14, 23, 107, 48)},
  };
  for (const Case& c : cases) {
    TpgwMemoView m(nullptr);
    m.SetBounds(10, 20, 100, 30);
    m.Frame().SetTyp(TpgwFrameTypes{ftLeft, ftRight, ftTop, ftBottom});
    m.Frame().SetWidth(c.frameWidth);
    EXPECT_EQ(m.ComputeTextRect(1, 1, 0, 0), c.want) << static_cast<double>(c.frameWidth);
  }
  // Scaled and offset, with a drop shadow taken off the size.
  TpgwMemoView m(nullptr);
  m.SetBounds(10, 20, 100, 30);
  m.Frame().SetDropShadow(true);
  EXPECT_EQ(m.ComputeTextRect(2, 2, 5, 7), Rect(25 + 4, 47 + 2, 25 + 192 - 4 + 1, 47 + 52 - 2 + 1));
  EXPECT_EQ(static_cast<double>(m.HorizontalExtra()), 8);
  EXPECT_EQ(static_cast<double>(m.VerticalExtra()), 6);
}

TEST(MemoGeometry, HeightIsWholeLinesPlusTheExtras) {
  // Arial 10 is 83 pixels high at 600 per inch: 13.28 report pixels, plus 2 of line spacing.
  struct Case {
    const char16_t* text;
    TpgwFrameTypes frame;
    Extended want;
  } cases[] = {
      {u"one", {}, 17},                   // 15.28 + 2
      {u"one\r\ntwo", {}, 33},            // 30.56 + 2
      {u"one", {ftTop, ftBottom}, 19},    // 15.28 + 2 + 0.5 + 1 (frame width 2)
      {u"", {}, 2},                       // no lines
      {u"a\r\n\r\nb", {}, Extended(48)},  // an empty line still takes its place
  };
  for (const Case& c : cases) {
    TpgwMemoView m(nullptr);
    m.SetBounds(0, 0, 200, 20);
    m.SetText(c.text);
    m.Frame().SetTyp(c.frame);
    m.Frame().SetWidth(2);
    EXPECT_EQ(static_cast<double>(m.CalcHeight()), static_cast<double>(c.want))
        << static_cast<const void*>(c.text);
  }
  // A narrow object wraps its words onto more lines.
  TpgwMemoView narrow(nullptr);
  narrow.SetBounds(0, 0, 40, 20);
  narrow.SetText(u"several words wrap here");
  EXPECT_GE(static_cast<double>(narrow.CalcHeight()), 3 * 15.28 + 2 - 0.5);
}

TEST(MemoGeometry, RotatedHeightIsTheTextWidthWhateverTheObjectsWidth) {
  const WideString text = u"Rotated label";
  const Extended width = EngineWidth(text);
  for (Extended objectWidth : {20.0L, 300.0L}) {
    TpgwMemoView m(nullptr);
    m.SetBounds(0, 0, objectWidth, 40);
    m.SetText(text);
    m.SetRotation(90);
    EXPECT_EQ(static_cast<double>(m.CalcHeight()), static_cast<double>(RoundHalfEven(width + 2)));
  }
  TpgwMemoView flat(nullptr);
  flat.SetBounds(0, 0, 20, 40);
  flat.SetText(text);
  EXPECT_EQ(static_cast<double>(flat.CalcWidth()), static_cast<double>(RoundHalfEven(width + 4)));
  EXPECT_GT(width, 40);
}

// A white bitmap with one text object drawn on it at scale 1.
struct Drawn {
  TBitmap bmp{160, 60};
  TpgwMemoView memo{nullptr};
  Drawn(const WideString& text, TpgwHAlign h, TpgwVAlign v = vaTop) {
    memo.SetBounds(20, 10, 120, 40);
    memo.SetText(text);
    memo.SetHAlign(h);
    memo.SetVAlign(v);
  }
  Ink Draw() {
    memo.Draw(bmp.Canvas(), 1, 1, 0, 0);
    return InkOf(bmp);
  }
};

TEST(MemoDrawing, InkLandsInsideTheTextRectangleWhereTheAlignmentPutsIt) {
  Drawn left(u"WIW", haLeft), right(u"WIW", haRight), center(u"WIW", haCenter);
  const Ink l = left.Draw(), r = right.Draw(), c = center.Draw();
  const TRect box = left.memo.TextRect();  // (22, 11, 139, 50)
  for (const Ink& ink : {l, r, c}) {
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.left, box.Left);
    EXPECT_LE(ink.right, box.Right);
    EXPECT_GE(ink.top, box.Top);
    EXPECT_LE(ink.bottom, box.Top + 16);  // one line at the top
  }
  EXPECT_LE(l.left, box.Left + 1);
  EXPECT_GE(r.right, box.Right - 4);
  const int width = l.right - l.left;
  EXPECT_NEAR(r.right - r.left, width, 1);
  EXPECT_NEAR(c.left - box.Left, box.Right - c.right, 3);

  Drawn bottom(u"WIW", haLeft, vaBottom);
  const Ink b = bottom.Draw();
  EXPECT_GE(b.bottom, box.Bottom - 6);
  EXPECT_LE(b.bottom, box.Bottom);
}

TEST(MemoDrawing, RotatedTextRunsUpFromTheBottomLeftCorner) {
  TBitmap bmp{80, 120};
  TpgwMemoView m(nullptr);
  m.SetBounds(10, 10, 40, 100);
  m.SetText(u"WWWWW");
  m.SetRotation(90);
  m.Draw(bmp.Canvas(), 1, 1, 0, 0);
  const Ink ink = InkOf(bmp);
  ASSERT_FALSE(ink.Empty());
  const TRect box = m.TextRect();
  EXPECT_GT(ink.bottom - ink.top, 2 * (ink.right - ink.left));  // it reads upwards
  EXPECT_GE(ink.left, box.Left);
  EXPECT_LE(ink.right, box.Left + 16);  // the first line hugs the left edge
  EXPECT_GE(ink.bottom, box.Bottom - 6);
  EXPECT_GE(ink.top, box.Top);
}

TEST(MemoDrawing, ClippedTextStaysInsideAndFillAndFrameArePainted) {
  Drawn d(u"a line far too long to fit into the object's rectangle at all", haLeft);
  d.memo.SetWordWrap(false);
  d.memo.SetColor(0xFFCC99);
  d.memo.Frame().SetTyp(TpgwFrameTypes{ftLeft, ftRight, ftTop, ftBottom});
  d.memo.Frame().SetColor(0x0000FF);
  d.memo.Draw(d.bmp.Canvas(), 1, 1, 0, 0);
  EXPECT_EQ(d.bmp.Pixel(20, 30), 0x0000FF);                                   // left frame line
  EXPECT_EQ(d.bmp.Pixel(100, 45), 0xFFCC99);                                  // fill below the text
  for (int y = 0; y < 60; ++y) EXPECT_EQ(d.bmp.Pixel(150, y), clWhite) << y;  // nothing past the object
}

TEST(MemoDrawing, UnderlinesRuleAnEmptyObject) {
  Drawn d(u"", haLeft);
  d.memo.Frame().SetColor(0x0000FF);
  d.memo.SetUnderlinesTextMode(ulmUnderlinesAll);
  d.memo.Draw(d.bmp.Canvas(), 1, 1, 0, 0);
  int ruled = 0;
  for (int y = 0; y < 60; ++y) ruled += d.bmp.Pixel(60, y) == 0x0000FF;
  EXPECT_GE(ruled, 2);  // 40 pixels high, one rule every 15
  EXPECT_EQ(d.bmp.Pixel(60, 55), clWhite);
}

TEST(MemoDrawing, AutoWidthKeepsTheRightEdgeWhenRightAligned) {
  Drawn d(u"grows", haRight);
  d.memo.SetAutoWidth(true);
  d.memo.Draw(d.bmp.Canvas(), 1, 1, 0, 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(d.memo.Left() + d.memo.Width()), 140);
  EXPECT_NEAR(static_cast<double>(d.memo.Width()), static_cast<double>(EngineWidth(u"grows") + 4), 1e-9);
}

TEST(MemoDrawing, PageCountPlaceholderIsFilledInWhenDrawn) {
  Drawn d(u"[TotalPages#]", haLeft);
  d.memo.SetTotalPages(3);
  d.Draw();
  EXPECT_EQ(d.memo.Text(), u"3\r\n");
}

// ---- splitting -----------------------------------------------------------------------------------

std::vector<WideString> SplitIntoParts(TpgwMemoView& m, std::vector<Extended>* freeSpace = nullptr) {
  std::vector<WideString> parts;
  m.InitPart();
  for (int guard = 0; guard < 100; ++guard) {
    const Extended f = m.DrawPart();
    if (freeSpace) freeSpace->push_back(f);
    parts.push_back(m.Text());
    if (m.PartMemo().empty()) break;
  }
  return parts;
}

TEST(MemoSplitting, PartsTogetherHoldAllLines) {
  TpgwMemoView m(nullptr);
  m.SetBounds(0, 0, 200, 50);  // text rectangle 49 high: three lines of 15.28
  WideString text;
  for (int i = 1; i <= 10; ++i)
    text += u"line " + WideString(1, static_cast<char16_t>(u'0' + i % 10)) + u"\r\n";
  m.SetText(text);
  std::vector<Extended> free;
  const auto parts = SplitIntoParts(m, &free);
  ASSERT_EQ(parts.size(), 4u);
  WideString joined;
  for (const WideString& p : parts) joined += p;
  EXPECT_EQ(joined, text);
  EXPECT_EQ(parts[0], u"line 1\r\nline 2\r\nline 3\r\n");
  // Free space below three lines: 49 + 1 - 3 x 15.28, plus both gaps.
  EXPECT_NEAR(static_cast<double>(free[0]), 50 - 3 * 15.28 + 2, 1e-6);
  EXPECT_FALSE(m.LastParaBreak());
}

TEST(MemoSplitting, AShortTextFitsInOnePart) {
  TpgwMemoView m(nullptr);
  m.SetBounds(0, 0, 200, 50);
  m.SetText(u"short");
  std::vector<Extended> free;
  const auto parts = SplitIntoParts(m, &free);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_TRUE(m.PartMemo().empty());
  // The engine counts the free space below the lines the rectangle holds (three).
  EXPECT_NEAR(static_cast<double>(free[0]), 50 - 3 * 15.28 + 2, 1e-6);

  // Not even one line fits: the whole height is reported.
  TpgwMemoView tiny(nullptr);
  tiny.SetBounds(0, 0, 200, 8);
  tiny.SetText(u"short");
  tiny.InitPart();
  EXPECT_EQ(static_cast<double>(tiny.DrawPart()), 8);
  EXPECT_EQ(tiny.PartMemo(), u"short\r\n");
}

TEST(MemoSplitting, AParagraphCutInTwoCarriesItsBreakToTheNextPart) {
  TpgwMemoView m(nullptr);
  m.SetBounds(0, 0, 60, 34);  // two wrapped lines per part
  const WideString words = u"alpha beta gamma delta epsilon zeta eta theta iota kappa";
  m.SetText(words);
  TpgwMemoView ref(nullptr);

  m.InitPart();
  m.DrawPart();
  EXPECT_TRUE(m.LastParaBreak());
  const WideString first = m.Diff(&ref);
  EXPECT_NE(first.find(u"LastParaBreak=\"1\""), WideString::npos);
  EXPECT_EQ(first.find(u"FirstParaBreak"), WideString::npos);
  WideString all = m.Text();

  m.DrawPart();
  const WideString second = m.Diff(&ref);
  EXPECT_NE(second.find(u"FirstParaBreak=\"1\""), WideString::npos);
  all += m.Text();
  while (!m.PartMemo().empty()) {
    m.DrawPart();
    all += m.Text();
  }
  // Every word arrives once, in order.
  WideString flat;
  for (char16_t ch : all) flat += (ch == u'\r' || ch == u'\n') ? u' ' : ch;
  size_t at = 0;
  for (const char16_t* w :
       {u"alpha", u"beta", u"gamma", u"delta", u"epsilon", u"zeta", u"eta", u"theta", u"iota", u"kappa"}) {
    const size_t p = flat.find(w, at);
    ASSERT_NE(p, WideString::npos) << static_cast<const void*>(w);
    at = p + 1;
  }
}

TEST(MemoSplitting, WrapTextGivesTheLinesWithTheirParagraphMarks) {
  TpgwMemoView m(nullptr);
  m.SetBounds(0, 0, 60, 100);
  m.SetText(u"alpha beta gamma\r\nx");
  TStringList lines;
  const WideString wrapped = m.WrapText(true, &lines);
  ASSERT_GE(lines.Count(), 3);
  EXPECT_EQ(lines[0], u"alpha");
  EXPECT_EQ(reinterpret_cast<intptr_t>(lines.Objects(0)), pmFirstLine);
  EXPECT_EQ(reinterpret_cast<intptr_t>(lines.Objects(lines.Count() - 1)), pmFirstLine | pmLastLine);
  EXPECT_EQ(wrapped.substr(0, 7), u"alpha\r\n");

  m.SetText(u"<b>bold</b> text");
  EXPECT_EQ(m.WrapText(false), u"bold text\r\n");
}

}  // namespace
