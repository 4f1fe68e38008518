#include "report/view.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "render/bitmap.h"
#include "render/fonts.h"
#include "report/report.h"

using namespace pagewright;

namespace {

// Views drawn here need the font and library caches released at exit for leak checkers.
class ViewEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { ReleaseGraphicsResources(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ViewEnvironment);

// A white bitmap and a view at (10, 10) of 20 × 20 units drawn at scale 1.
struct Scene {
  TBitmap bmp{48, 48};
  std::unique_ptr<TpgwView> view = std::make_unique<TpgwView>(nullptr);
  Scene() { view->SetBounds(10, 10, 20, 20); }
  void Draw(Extended scale = 1) { view->Draw(bmp.Canvas(), scale, scale, 0, 0); }
  TColor At(int x, int y) const { return bmp.Pixel(x, y); }
  int CountColor(TColor c) const {
    int n = 0;
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x) n += bmp.Pixel(x, y) == c;
    return n;
  }
};

const TpgwFrameTypes kAllSides{ftLeft, ftRight, ftTop, ftBottom};

TEST(ViewFill, WidenedOnFramedSidesByHalfTheFrameWidth) {
  // The frame has no colour, so only the fill shows where it reaches.
  struct Case {
    Extended width;
    int first, last;  // first and last filled column (and row)
  } cases[] = {
      {1, 10, 30},  // left round(0.5) = 0; right 0 + 1
      {2, 9, 30},   // 1 each side: one pixel beyond the line centres left and top, one right and bottom
      {3, 8, 32},   // left round(1.5) = 2; right 2 + 1
      {4, 8, 31},   // 2 each side, right 2 + 0
  };
  for (const Case& c : cases) {
    Scene s;
    s.view->Frame().SetTyp(kAllSides);
    s.view->Frame().SetWidth(c.width);
    s.view->Frame().SetColor(clNone);
    s.view->SetColor(clRed);
    s.Draw();
    SCOPED_TRACE(static_cast<double>(c.width));
    EXPECT_EQ(s.At(c.first, 20), clRed);
    EXPECT_EQ(s.At(c.first - 1, 20), clWhite);
    EXPECT_EQ(s.At(c.last, 20), clRed);
    EXPECT_EQ(s.At(c.last + 1, 20), clWhite);
    EXPECT_EQ(s.At(20, c.first), clRed);
    EXPECT_EQ(s.At(20, c.first - 1), clWhite);
    EXPECT_EQ(s.At(20, c.last), clRed);
    EXPECT_EQ(s.At(20, c.last + 1), clWhite);
  }
}

TEST(ViewFill, UnframedFillCoversTheDeviceRectangleOnly) {
  Scene s;
  s.view->SetColor(clBlue);
  s.Draw(2);  // 20..60 at scale 2, clipped by the 48-pixel bitmap
  EXPECT_EQ(s.At(20, 20), clBlue);
  EXPECT_EQ(s.At(19, 20), clWhite);
  EXPECT_EQ(s.At(20, 19), clWhite);
  EXPECT_EQ(s.CountColor(clBlue), 28 * 28);
}

TEST(ViewFrame, NoColourOrZeroWidthPaintsNothing) {
  for (int variant = 0; variant < 2; ++variant) {
    Scene s;
    TpgwFrame& f = s.view->Frame();
    f.SetTyp(kAllSides);
    if (variant == 0) {
      f.SetColor(clNone);
      for (TpgwFrameLine* l : {&f.LeftLine(), &f.TopLine(), &f.RightLine(), &f.BottomLine()}) l->SetColor(clRed);
    } else {
      f.SetColor(clRed);
      f.SetWidth(0);
      for (TpgwFrameLine* l : {&f.LeftLine(), &f.TopLine(), &f.RightLine(), &f.BottomLine()}) l->SetWidth(2);
    }
    s.Draw();
    EXPECT_EQ(s.CountColor(clWhite), 48 * 48) << variant;
  }
}

TEST(ViewFill, BrushWithoutBackColourPaintsNothing) {
  Scene s;
  s.Draw();
  EXPECT_EQ(s.CountColor(clWhite), 48 * 48);
}

TEST(ViewFrame, SolidLineEndsFlushWithoutNeighbourAndOverlappingWithOne) {
  // Width 3, left and top sides only: the corner they share is filled by both lines; the
  // far ends stop at the corner coordinates of the sides that are missing.
  Scene s;
  TpgwFrame& f = s.view->Frame();
  f.SetTyp(TpgwFrameTypes{ftLeft, ftTop});
  f.SetWidth(3);
  f.SetColor(clBlack);
  s.Draw();
  // Left line: columns 9..11.
  for (int x = 9; x <= 11; ++x) EXPECT_EQ(s.At(x, 20), clBlack) << x;
  EXPECT_EQ(s.At(8, 20), clWhite);
  EXPECT_EQ(s.At(12, 20), clWhite);
  // Shared corner: covered to the outer edges of both lines.
  EXPECT_EQ(s.At(9, 9), clBlack);
  EXPECT_EQ(s.At(8, 8), clWhite);
  // Bottom end of the left line (no bottom side): it ends at the corner row 30.
  EXPECT_EQ(s.At(10, 30), clBlack);
  EXPECT_EQ(s.At(10, 31), clWhite);
  // Right end of the top line (no right side): ends at column 30.
  EXPECT_EQ(s.At(30, 10), clBlack);
  EXPECT_EQ(s.At(31, 10), clWhite);
}

TEST(ViewFrame, SolidFrameOfEvenWidthIsAClosedRing) {
  // Width 2 at scale 1: every line covers offsets -1 .. 0 around its coordinate, and the
  // overlapping square ends close the corners.
  Scene s;
  TpgwFrame& f = s.view->Frame();
  f.SetTyp(kAllSides);
  f.SetWidth(2);
  f.SetColor(clBlack);
  s.Draw();
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      const bool outer = x >= 9 && x <= 30 && y >= 9 && y <= 30;
      const bool inner = x >= 11 && x <= 28 && y >= 11 && y <= 28;
      ASSERT_EQ(s.At(x, y), outer && !inner ? clBlack : clWhite) << x << "," << y;
    }
}

TEST(ViewFrame, DoubleLinesJoinAtCorners) {
  Scene s;
  TpgwFrame& f = s.view->Frame();
  f.SetTyp(kAllSides);
  f.SetStyle(fsDouble);
  f.SetColor(clBlack);
  s.Draw();
  // Outer square at 9 and 31, inner square at 11 and 29; the gap between them stays white.
  for (int v : {9, 31}) {
    EXPECT_EQ(s.At(v, 20), clBlack) << v;
    EXPECT_EQ(s.At(20, v), clBlack) << v;
  }
  for (int v : {11, 29}) {
    EXPECT_EQ(s.At(v, 20), clBlack) << v;
    EXPECT_EQ(s.At(20, v), clBlack) << v;
  }
  for (int v : {10, 30}) {
    EXPECT_EQ(s.At(v, 20), clWhite) << v;
    EXPECT_EQ(s.At(20, v), clWhite) << v;
  }
  // Outer corners closed, inner corners closed, nothing outside.
  EXPECT_EQ(s.At(9, 9), clBlack);
  EXPECT_EQ(s.At(31, 31), clBlack);
  EXPECT_EQ(s.At(11, 11), clBlack);
  EXPECT_EQ(s.At(29, 29), clBlack);
  EXPECT_EQ(s.At(8, 8), clWhite);
  EXPECT_EQ(s.At(32, 32), clWhite);
}

TEST(ViewFrame, DashedSideIsWParallelOnePixelLines) {
  for (TpgwFrameStyle style : {fsDash, fsDot, fsDashDot, fsDashDotDot}) {
    Scene s;
    TpgwFrame& f = s.view->Frame();
    f.SetTyp(TpgwFrameTypes{ftLeft});
    f.SetStyle(style);
    f.SetWidth(3);
    f.SetColor(clBlack);
    s.Draw();
    // Offsets -1 .. 1 around x = 10, each with the same dash pattern.
    int painted = 0, gaps = 0;
    for (int y = 10; y < 30; ++y) {
      const TColor c = s.At(9, y);
      EXPECT_EQ(s.At(10, y), c) << style << " " << y;
      EXPECT_EQ(s.At(11, y), c) << style << " " << y;
      (c == clBlack ? painted : gaps)++;
    }
    EXPECT_GT(painted, 0) << style;
    EXPECT_GT(gaps, 0) << style;
    for (int y = 0; y < 48; ++y) {
      EXPECT_EQ(s.At(8, y), clWhite);
      EXPECT_EQ(s.At(12, y), clWhite);
    }
  }
}

TEST(ViewFrame, SquareStyleStampsSquaresEveryTwoWidths) {
  Scene s;
  TpgwFrame& f = s.view->Frame();
  f.SetTyp(TpgwFrameTypes{ftTop});
  f.SetStyle(fsSquare);
  f.SetWidth(2);
  f.SetColor(clBlack);
  s.Draw();
  // Squares of side 2 at x = 9..10, 13..14, ... on rows 9..10.
  std::string row;
  for (int x = 8; x < 20; ++x) row += s.At(x, 9) == clBlack ? '#' : '.';
  EXPECT_EQ(row, ".##..##..##.");
  EXPECT_EQ(s.At(9, 10), clBlack);
  EXPECT_EQ(s.At(9, 11), clWhite);
}

TEST(ViewFrame, AltDotOfOnePixelAlternates) {
  Scene s;
  TpgwFrame& f = s.view->Frame();
  f.SetTyp(TpgwFrameTypes{ftTop});
  f.SetStyle(fsAltDot);
  f.SetColor(clBlack);
  s.Draw();
  std::string row;
  for (int x = 10; x < 20; ++x) row += s.At(x, 10) == clBlack ? '#' : '.';
  EXPECT_EQ(row, "#.#.#.#.#.");
  EXPECT_EQ(s.At(15, 9), clWhite);
  EXPECT_EQ(s.At(15, 11), clWhite);
}

TEST(ViewFrame, ShadowInsideTheBoundsRightAndBelow) {
  Scene s;
  TpgwFrame& f = s.view->Frame();
  f.SetDropShadow(true);
  f.SetShadowWidth(4);
  f.SetShadowColor(clGray);
  s.Draw();
  EXPECT_EQ(s.view->FX1, 26);
  EXPECT_EQ(s.view->FY1, 26);
  EXPECT_DOUBLE_EQ(static_cast<double>(s.view->ShadowSize()), 4);
  // Vertical band: columns 26..29 from row 14; horizontal band: rows 26..29 from column 14.
  EXPECT_EQ(s.At(26, 14), clGray);
  EXPECT_EQ(s.At(29, 25), clGray);
  EXPECT_EQ(s.At(26, 13), clWhite);
  EXPECT_EQ(s.At(30, 20), clWhite);
  EXPECT_EQ(s.At(14, 29), clGray);
  EXPECT_EQ(s.At(13, 29), clWhite);
  EXPECT_EQ(s.At(20, 30), clWhite);
}

TEST(ThickLine, DrawsWOnePixelLinesAcrossTheMainDirection) {
  struct Case {
    int w;
    bool horizontal;
    std::vector<int> covered;  // rows (horizontal) or columns (vertical) painted at the midpoint
  } cases[] = {
      {0, true, {10}}, {1, true, {10}}, {2, true, {9, 10}}, {3, false, {9, 10, 11}}, {4, false, {8, 9, 10, 11}},
  };
  for (const Case& c : cases) {
    TBitmap bmp(24, 24);
    bmp.Canvas().Pen().SetColor(clBlack);
    bmp.Canvas().Pen().SetWidth(1);
    if (c.horizontal)
      DrawThickLine(bmp.Canvas(), 2, 10, 20, 10, c.w);
    else
      DrawThickLine(bmp.Canvas(), 10, 2, 10, 20, c.w);
    std::vector<int> got;
    for (int v = 0; v < 24; ++v)
      if ((c.horizontal ? bmp.Pixel(12, v) : bmp.Pixel(v, 12)) == clBlack) got.push_back(v);
    EXPECT_EQ(got, c.covered) << c.w;
  }
}

TEST(MulDivRound, RoundsHalvesAwayFromZero) {
  struct Case {
    int64_t a, b, c;
    int expected;
  } cases[] = {{1, 3, 2, 2}, {-1, 3, 2, -2}, {1, -3, 2, -2}, {5, 1, 2, 3}, {127, -255, 255, -127},
               {1, 300, 256, 1}, {127, 300, 256, 149}, {128, 300, 256, 150}, {7, 1, 0, 0}};
  for (const Case& c : cases) EXPECT_EQ(MulDivRound(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

uint8_t Gray(TColor c) {
  return GetRValue(c);
}

TEST(GradientFill, HorizontalStripBoundariesAndColours) {
  TBitmap bmp(300, 4);
  TpgwGradientFill g;  // white to black
  g.Draw(bmp.Canvas(), 0, 0, 300, 4);
  struct Case {
    int x, gray;
  } cases[] = {
      {0, 255},    // strip 0
      {1, 254},    // strip 1 starts at muldiv(1, 300, 256) = 1
      {148, 129},  // strip 126 starts at muldiv(126, 300, 256) = 148
      {149, 128},  // strip 127: 255 + muldiv(127, -255, 255) = 128
      {150, 127},  // strip 128 starts at muldiv(128, 300, 256) = 150
      {299, 0},    // the last strip is the end colour
  };
  for (const Case& c : cases) EXPECT_EQ(Gray(bmp.Pixel(c.x, 2)), c.gray) << c.x;
}

TEST(GradientFill, VerticalCentreHasStartAtEdgesAndEndInTheMiddle) {
  TBitmap bmp(4, 10);
  TpgwGradientFill g;
  g.SetGradientStyle(gsVertCenter);
  g.SetStartColor(clBlack);
  g.SetEndColor(clWhite);
  g.Draw(bmp.Canvas(), 0, 0, 4, 10);
  // half = 5: rows i and 9 - i get start + muldiv(i, 255, 5).
  const int expected[10] = {0, 51, 102, 153, 255, 255, 153, 102, 51, 0};
  for (int y = 0; y < 10; ++y) EXPECT_EQ(Gray(bmp.Pixel(1, y)), expected[y]) << y;
}

TEST(GradientFill, EveryStyleCoversItsRectangleOnly) {
  for (TpgwGradientStyle st : {gsHorizontal, gsVertical, gsElliptic, gsRectangle, gsVertCenter, gsHorizCenter}) {
    TBitmap bmp(40, 40);
    TpgwGradientFill g;
    g.SetGradientStyle(st);
    g.SetStartColor(clRed);
    g.SetEndColor(clBlue);
    g.Draw(bmp.Canvas(), 10, 10, 30, 30);
    int outside = 0, inside = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool in = x >= 10 && x < 30 && y >= 10 && y < 30;
        const bool white = bmp.Pixel(x, y) == clWhite;
        if (in && white) ++inside;
        if (!in && !white) ++outside;
      }
    EXPECT_EQ(outside, 0) << st;
    EXPECT_EQ(inside, 0) << st;
  }
}

TEST(GradientFill, StartColourOutsideEndColourInside) {
  // White to black over (10, 10, 30, 30): gray levels at an edge pixel and at the centre.
  // Later strips and shapes paint over earlier ones, so the first pixel of a 20-pixel strip
  // gradient shows strip 6 (strips 0..6 all start at muldiv(i, 20, 256) = 0).
  struct Case {
    TpgwGradientStyle style;
    int edgeX, edgeY, edgeMin, edgeMax;
    int centreMax;  // at (19, 19)
  } cases[] = {
      {gsRectangle, 29, 29, 255, 255, 2},     // outermost rectangle keeps its right and bottom pixels
      {gsElliptic, 10, 10, 215, 230, 3},      // the corner lies inside the first twenty ellipses only
      {gsVertCenter, 20, 10, 255, 255, 0},    // top row start, middle rows end
      {gsHorizCenter, 10, 20, 255, 255, 0},
      {gsHorizontal, 10, 20, 249, 249, 134},  // centre column: strip 121
      {gsVertical, 20, 10, 249, 249, 134},
  };
  for (const Case& c : cases) {
    TBitmap bmp(40, 40);
    TpgwGradientFill g;
    g.SetGradientStyle(c.style);
    g.Draw(bmp.Canvas(), 10, 10, 30, 30);
    EXPECT_GE(Gray(bmp.Pixel(c.edgeX, c.edgeY)), c.edgeMin) << c.style;
    EXPECT_LE(Gray(bmp.Pixel(c.edgeX, c.edgeY)), c.edgeMax) << c.style;
    EXPECT_LE(Gray(bmp.Pixel(19, 19)), c.centreMax) << c.style;
  }
}

TEST(GradientFill, ViewColourIsTheMiddleColourAndCannotBeWritten) {
  TpgwView v(nullptr);
  v.SetFillType(ftGradient);
  auto& g = dynamic_cast<TpgwGradientFill&>(v.Fill());
  g.SetStartColor(RGBColor(0, 100, 200));
  g.SetEndColor(RGBColor(255, 0, 100));
  EXPECT_EQ(v.Color(), RGBColor(127, 50, 150));  // start + muldiv(127, end - start, 255)
  v.SetColor(clRed);
  EXPECT_EQ(g.StartColor(), RGBColor(0, 100, 200));
  EXPECT_EQ(g.EndColor(), RGBColor(255, 0, 100));
}

TEST(GlassFill, BlendHalvesByOrientation) {
  struct Case {
    TpgwFillOrientation o;
    int bx, by;  // a pixel of the blended half
    int px, py;  // a pixel of the plain half
  } cases[] = {
      {foVertical, 1, 5, 8, 5},
      {foHorizontal, 5, 1, 5, 8},
      {foVerticalMirror, 8, 5, 1, 5},
      {foHorizontalMirror, 5, 8, 5, 1},
  };
  for (const Case& c : cases) {
    TBitmap bmp(10, 10);
    TpgwGlassFill g;
    g.SetColor(RGBColor(100, 0, 200));
    g.SetBlend(1);
    g.SetOrientation(c.o);
    g.Draw(bmp.Canvas(), 0, 0, 10, 10);
    EXPECT_EQ(bmp.Pixel(c.bx, c.by), clWhite) << c.o;
    EXPECT_EQ(bmp.Pixel(c.px, c.py), RGBColor(100, 0, 200)) << c.o;
  }
}

TEST(GlassFill, BlendZeroKeepsTheColourAndHalfMixesEachChannel) {
  TBitmap bmp(10, 10);
  TpgwGlassFill g;
  g.SetColor(RGBColor(100, 0, 200));
  g.SetBlend(0);
  g.Draw(bmp.Canvas(), 0, 0, 10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(bmp.Pixel(x, y), RGBColor(100, 0, 200));
  g.SetBlend(0.5);
  // 100 + round(77.5) = 178 (half to even), 0 + round(127.5) = 128, 200 + round(27.5) = 228
  EXPECT_EQ(g.BlendColor(), RGBColor(178, 128, 228));
  g.SetColor(clNone);
  TBitmap blank(4, 4);
  g.Draw(blank.Canvas(), 0, 0, 4, 4);
  EXPECT_EQ(blank.Pixel(1, 1), clWhite);
}

TEST(GlassFill, HatchUsesTheBlendColourDarkenedBySix) {
  TBitmap bmp(16, 16);
  TpgwGlassFill g;
  g.SetColor(RGBColor(100, 100, 100));
  g.SetBlend(0);
  g.SetHatch(true);
  g.Draw(bmp.Canvas(), 0, 0, 16, 16);
  int hatch = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const TColor c = bmp.Pixel(x, y);
      ASSERT_TRUE(c == RGBColor(100, 100, 100) || c == RGBColor(94, 94, 94)) << x << "," << y;
      hatch += c == RGBColor(94, 94, 94);
    }
  EXPECT_GT(hatch, 0);

  // A channel below 6 stops at 0.
  TBitmap dark(16, 16);
  g.SetColor(RGBColor(3, 100, 0));
  g.Draw(dark.Canvas(), 0, 0, 16, 16);
  bool found = false;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) found = found || dark.Pixel(x, y) == RGBColor(0, 94, 0);
  EXPECT_TRUE(found);
}

TEST(BrushFill, HatchOverTheBackColour) {
  TBitmap bmp(16, 16);
  TpgwBrushFill b;
  b.SetBackColor(clYellow);
  b.SetForeColor(clBlue);
  b.SetStyle(bsHorizontal);
  b.Draw(bmp.Canvas(), 0, 0, 16, 16);
  int blue = 0, yellow = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) (bmp.Pixel(x, y) == clBlue ? blue : yellow)++;
  EXPECT_EQ(blue + yellow, 256);
  EXPECT_GT(blue, 0);
  EXPECT_GT(yellow, blue);
  // A row is either all hatch or all background.
  for (int y = 0; y < 16; ++y)
    for (int x = 1; x < 16; ++x) ASSERT_EQ(bmp.Pixel(x, y), bmp.Pixel(0, y));
}

TEST(ViewFill, FillTypeChangeMakesAFreshFillAndColourFollowsTheKind) {
  TpgwView v(nullptr);
  v.SetColor(clRed);
  EXPECT_EQ(dynamic_cast<TpgwBrushFill&>(v.Fill()).BackColor(), clRed);
  v.SetFillType(ftGlass);
  EXPECT_EQ(v.Color(), clGray);  // a new glass fill: mid grey
  v.SetColor(clLime);
  EXPECT_EQ(dynamic_cast<TpgwGlassFill&>(v.Fill()).Color(), clLime);
  TpgwGradientFill source;
  source.SetGradientStyle(gsElliptic);
  v.SetFill(source);
  EXPECT_EQ(v.FillType(), ftGradient);
  EXPECT_EQ(dynamic_cast<TpgwGradientFill&>(v.Fill()).GradientStyle(), gsElliptic);
}

TEST(Hyperlink, LegacyUrlAndEmptiness) {
  struct Case {
    const char16_t* url;
    TpgwHyperlinkKind kind;
    const char16_t* value;
  } cases[] = {
      {u"@12", hkPageNumber, u"12"},
      {u"#top", hkAnchor, u"top"},
      {u"http://a/#x", hkURL, u"http://a/#x"},
      {u"", hkURL, u""},
  };
  for (const Case& c : cases) {
    TpgwHyperlink h;
    h.SetURL(c.url);
    EXPECT_EQ(h.Kind(), c.kind);
    EXPECT_EQ(h.Value(), c.value);
  }
  TpgwHyperlink h;
  EXPECT_TRUE(h.IsEmpty());
  h.SetKind(hkDetailPage);
  h.SetValue(u"x");
  EXPECT_TRUE(h.IsEmpty());
  h.SetDetailPage(u"Page2");
  EXPECT_FALSE(h.IsEmpty());
  h.SetKind(hkNone);
  EXPECT_TRUE(h.IsEmpty());
  h.SetKind(hkCustom);
  EXPECT_FALSE(h.IsEmpty());
}

TEST(BracketedExpression, FindsMatchingCloseOutsideQuotes) {
  struct Case {
    const char16_t* text;
    int i;
    const char16_t* inner;
    int j;  // -1: stays at i
  } cases[] = {
      {u"a [x] b", 2, u"x", 4},
      {u"[a[b]c]", 0, u"a[b]c", 6},
      {u"[' ]' ]", 0, u"' ]' ", 6},
      {u"[\" ] \"]x", 0, u"\" ] \"", 6},
      {u"[abc", 0, u"", -1},
      {u"abc]", 0, u"", -1},
      {u"[]", 0, u"", 1},
      {u"", 0, u"", -1},
  };
  for (const Case& c : cases) {
    int i = c.i, j = -5;
    const WideString inner = FindBracketedExpression(c.text, u"[", u"]", i, j);
    EXPECT_EQ(inner, c.inner);
    EXPECT_EQ(j, c.j < 0 ? i : c.j);
  }
}

class ViewData : public ::testing::Test {
 protected:
  void SetUp() override {
    view = &CreateChild<TpgwView>(report);  // the report holds it
    view->SetName(u"View1");
  }
  ScriptServiceDouble script;
  TpgwReport report{TpgwReportServices{nullptr, &script}};
  TpgwView* view = nullptr;
};

TEST_F(ViewData, TagStrExpandedAndRestoredAfterPrint) {
  std::vector<WideString> asked;
  script.calc = [&](TpgwReport&, const WideString& e) {
    asked.push_back(e);
    return e == u"a" ? Variant(WideString(u"[b]")) : Variant(42);
  };
  view->SetTagStr(u"x [a] y [n + 1]");
  view->BeforePrint();
  view->GetData();
  // Inserted text is not scanned again.
  EXPECT_EQ(view->TagStr(), u"x [b] y 42");
  EXPECT_EQ(asked, (std::vector<WideString>{u"a", u"n + 1"}));
  EXPECT_EQ(report.CurObject(), u"View1");
  view->AfterPrint();
  EXPECT_EQ(view->TagStr(), u"x [a] y [n + 1]");
}

TEST_F(ViewData, TextWithoutBracketsIsUntouched) {
  int calls = 0;
  script.calc = [&](TpgwReport&, const WideString&) {
    ++calls;
    return Variant(1);
  };
  view->SetTagStr(u"plain ] text");
  view->GetData();
  EXPECT_EQ(view->TagStr(), u"plain ] text");
  EXPECT_EQ(calls, 0);
}

TEST_F(ViewData, HyperlinkValuePartsAndExpressionsJoinedWithTheSeparator) {
  script.calc = [&](TpgwReport&, const WideString& e) { return Variant(WideString(u"<" + e + u">")); };
  view->Hyperlink().SetValue(u"[p];q;[r]");
  view->BeforePrint();
  view->GetData();
  EXPECT_EQ(view->Hyperlink().Value(), u"<p>;q;<r>");
  view->AfterPrint();
  EXPECT_EQ(view->Hyperlink().Value(), u"[p];q;[r]");

  // Expressions of a non-URL link: string results quoted for the script language.
  view->Hyperlink().SetKind(hkCustom);
  view->Hyperlink().SetExpression(u"a;b");
  report.SetScriptLanguage(u"PascalScript");
  view->GetData();
  EXPECT_EQ(view->Hyperlink().Value(), u"\"<a>\";\"<b>\"");
  report.SetScriptLanguage(u"JScript");
  script.calc = [&](TpgwReport&, const WideString&) { return Variant(WideString(u"it's")); };
  view->GetData();
  EXPECT_EQ(view->Hyperlink().Value(), u"'it''s';'it''s'");
}

TEST(ViewDataWithoutServices, WithoutAnEvaluatorTheFailureIsRecordedAndTheValueIsEmpty) {
  TpgwReport report;
  auto* view = &CreateChild<TpgwView>(report);  // the report holds it
  view->SetName(u"View1");
  view->SetTagStr(u"<[Total]>");
  view->GetData();
  EXPECT_EQ(view->TagStr(), u"<>");
  ASSERT_EQ(report.Errors().Count(), 1);
  EXPECT_NE(report.Errors()[0].find(u"Total"), WideString::npos);
  EXPECT_NE(report.Errors()[0].find(u"View1"), WideString::npos);
}

TEST_F(ViewData, DataSetDroppedWhenDestroyed) {
  auto ds = std::make_unique<TComponent>(nullptr);
  ds->SetName(u"Data");
  view->SetDataField(u"Field");
  view->SetDataSet(ds.get());
  EXPECT_TRUE(view->IsDataField());
  ds.reset();
  EXPECT_EQ(view->DataSet(), nullptr);
  EXPECT_FALSE(view->IsDataField());
}

TEST(Stretcheable, NextDataPartOnlyWhenFreeSpaceIsShort) {
  TpgwStretcheable s(nullptr);
  s.SetTop(10);
  s.SetSaveHeight(30);
  EXPECT_FALSE(s.HasNextDataPart(40));
  EXPECT_TRUE(s.HasNextDataPart(39.99L));
  EXPECT_DOUBLE_EQ(static_cast<double>(s.CalcHeight()), 0);
  s.SetHeight(7);
  EXPECT_DOUBLE_EQ(static_cast<double>(s.CalcHeight()), 7);
}

TEST(ViewMirror, AppearanceModesSwapFrameSides) {
  TpgwView v(nullptr);
  v.Frame().SetTyp(TpgwFrameTypes{ftLeft, ftTop});
  v.Frame().LeftLine().SetColor(clRed);
  v.MirrorContent(TpgwMirrorControlModes{mcmRTLAppearance});
  EXPECT_EQ(v.Frame().Typ(), (TpgwFrameTypes{ftRight, ftTop}));
  EXPECT_EQ(v.Frame().RightLine().Color(), clRed);
  EXPECT_EQ(v.Frame().LeftLine().Color(), clBlack);
  v.MirrorContent(TpgwMirrorControlModes{mcmBTTAppearance});
  EXPECT_EQ(v.Frame().Typ(), (TpgwFrameTypes{ftRight, ftBottom}));
}

std::vector<std::string> PropertyNames(const TClassInfo& cls) {
  std::vector<std::string> names;
  for (const TPropInfo* p : cls.Properties()) names.push_back(p->Name());
  return names;
}

// The order of the published properties is in the class registry golden (tests/startup).
TEST(ViewProperties, DefaultsAndStoredTests) {
  TpgwView v(nullptr);
  const TClassInfo& cls = v.ClassInfo();
  for (const char* name : {"Anchors", "Align", "ShiftMode", "Visible", "Visibility", "ShowHint", "Printable"})
    EXPECT_TRUE(cls.FindProperty(std::string_view(name))->IsDefaultValue(v)) << name;
  EXPECT_FALSE(cls.FindProperty(std::string_view("AllowVectorExport"))->IsDefaultValue(v));
  EXPECT_FALSE(cls.FindProperty(std::string_view("Printable"))->IsStored(v));
  EXPECT_TRUE(v.pwComponentStyle().Contains(csDefaultDiff));
  v.SetPrintable(false);
  EXPECT_EQ(v.Visibility(), (TpgwVisibilityTypes{vsPreview, vsExport}));
}

TEST(FrameProperties, StoredOnlyWhereTheyDiffer) {
  TpgwFrame f;
  const TClassInfo& cls = f.ClassInfo();
  EXPECT_EQ(PropertyNames(cls), (std::vector<std::string>{"Color", "DropShadow", "ShadowColor", "ShadowWidth",
                                                          "Style", "Typ", "Width", "LeftLine", "TopLine",
                                                          "RightLine", "BottomLine"}));
  EXPECT_FALSE(cls.FindProperty(std::string_view("ShadowWidth"))->IsStored(f));
  EXPECT_FALSE(cls.FindProperty(std::string_view("Width"))->IsStored(f));
  EXPECT_FALSE(cls.FindProperty(std::string_view("Typ"))->IsDefaultValue(f));  // always written
  SetPropValue(f, "Typ", TPropValue::Integer(13));  // as a bit mask
  EXPECT_EQ(f.Typ(), (TpgwFrameTypes{ftLeft, ftTop, ftBottom}));
  EXPECT_EQ(GetPropValue(f, "Typ").Int, 13);
  f.SetShadowWidth(2);
  f.SetWidth(3);
  EXPECT_TRUE(cls.FindProperty(std::string_view("ShadowWidth"))->IsStored(f));
  EXPECT_TRUE(cls.FindProperty(std::string_view("Width"))->IsStored(f));

  // Lines follow the frame; a line attribute is stored only where the line differs.
  f.SetColor(clRed);
  f.SetStyle(fsDot);
  const TClassInfo& line = f.TopLine().ClassInfo();
  for (const char* name : {"Color", "Style", "Width"})
    EXPECT_FALSE(line.FindProperty(std::string_view(name))->IsStored(f.TopLine())) << name;
  f.TopLine().SetColor(clBlue);
  EXPECT_TRUE(line.FindProperty(std::string_view("Color"))->IsStored(f.TopLine()));
  EXPECT_FALSE(line.FindProperty(std::string_view("Color"))->IsStored(f.LeftLine()));
}

TEST(FillProperties, DefaultsAsDeclared) {
  TpgwBrushFill b;
  TpgwGradientFill g;
  TpgwGlassFill gl;
  for (const TPersistent* p : std::initializer_list<const TPersistent*>{&b, &g, &gl})
    for (const TPropInfo* prop : p->ClassInfo().Properties()) {
      const std::string& n = prop->Name();
      const bool alwaysWritten = n == "GradientStyle" || n == "Blend" || n == "Color";
      EXPECT_EQ(prop->IsDefaultValue(*p), !alwaysWritten) << p->ClassName() << "." << n;
    }
  EXPECT_EQ(gl.Color(), 8421504);
  EXPECT_DOUBLE_EQ(static_cast<double>(gl.Blend()), 0.5);
  TpgwHyperlink h;
  EXPECT_FALSE(h.ClassInfo().FindProperty(std::string_view("ValuesSeparator"))->IsStored(h));
}

}  // namespace
