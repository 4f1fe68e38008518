#include "render/canvas.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "pixel_helpers.h"
#include "platform/exceptions.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "render/metafile.h"

namespace pagewright {
namespace {

using test::CountNonWhite;
using test::IsWhite;
using test::Picture;
using test::WhiteBitmap;

TEST(CanvasLines, OnePixelLineCoversOneRowOrColumnWithoutItsEndPoint) {
  struct Case {
    TPoint from, to;
    std::vector<TPoint> pixels;  // exactly the pixels drawn
  } cases[] = {
      {{2, 5}, {7, 5}, {{2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}}},
      {{7, 5}, {2, 5}, {{7, 5}, {6, 5}, {5, 5}, {4, 5}, {3, 5}}},
      {{4, 1}, {4, 5}, {{4, 1}, {4, 2}, {4, 3}, {4, 4}}},
      {{0, 0}, {4, 4}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {{3, 3}, {3, 3}, {}},
  };
  for (const auto& c : cases) {
    auto bmp = WhiteBitmap(10, 10);
    TCanvas& cv = bmp->Canvas();
    cv.Pen().SetColor(clBlack);
    cv.MoveTo(c.from.X, c.from.Y);
    cv.LineTo(c.to.X, c.to.Y);
    EXPECT_EQ(cv.PenPos(), c.to);
    for (TPoint p : c.pixels)
      EXPECT_EQ(bmp->Pixel(p.X, p.Y), clBlack) << p.X << "," << p.Y << "\n" << Picture(*bmp);
    EXPECT_EQ(CountNonWhite(*bmp), static_cast<int>(c.pixels.size())) << Picture(*bmp);
  }
}

TEST(CanvasLines, WidePenCoversItsWidthAcrossTheLine) {
  // Width w covers the offsets -(w / 2) .. (w - 1) / 2 across the line.
  for (int w : {2, 3, 4}) {
    auto bmp = WhiteBitmap(30, 20);
    TCanvas& cv = bmp->Canvas();
    cv.Pen().SetColor(clBlack);
    cv.Pen().SetWidth(w);
    cv.Pen().SetEndCap(pecFlat);
    cv.MoveTo(5, 10);
    cv.LineTo(25, 10);
    for (int y = 0; y < 20; ++y) {
      bool inside = y >= 10 - w / 2 && y <= 10 + (w - 1) / 2;
      EXPECT_EQ(bmp->Pixel(15, y) == clBlack, inside) << "w=" << w << " y=" << y;
    }
  }
}

TEST(CanvasShapes, RectanglesExcludeRightAndBottomEdges) {
  auto bmp = WhiteBitmap(12, 10);
  TCanvas& cv = bmp->Canvas();
  cv.Brush().SetColor(clBlack);
  cv.FillRect(Rect(2, 2, 8, 6));
  EXPECT_EQ(CountNonWhite(*bmp), 6 * 4) << Picture(*bmp);
  for (int y = 2; y < 6; ++y)
    for (int x = 2; x < 8; ++x) EXPECT_EQ(bmp->Pixel(x, y), clBlack);

  // Pen outline on the inner edge pixels, brush inside.
  auto r = WhiteBitmap(12, 10);
  TCanvas& c2 = r->Canvas();
  c2.Pen().SetColor(clBlack);
  c2.Brush().SetColor(clRed);
  c2.Rectangle(2, 2, 8, 6);
  const char* expected =
      "............\n"
      "............\n"
      "..######....\n"
      "..#oooo#....\n"
      "..#oooo#....\n"
      "..######....\n"
      "............\n";
  EXPECT_EQ(Picture(*r).substr(0, 13 * 7), expected);
  EXPECT_EQ(r->Pixel(3, 3), clRed);

  // Without a pen the fill alone stops one pixel short, as the platform draws it.
  auto n = WhiteBitmap(12, 10);
  n->Canvas().Pen().SetStyle(psClear);
  n->Canvas().Brush().SetColor(clBlack);
  n->Canvas().Rectangle(2, 2, 8, 6);
  EXPECT_EQ(CountNonWhite(*n), 5 * 3) << Picture(*n);
}

TEST(CanvasShapes, PolygonWithPenCoversItsVertices) {
  // A bar drawn as the polygon (x, y0) .. (x + w - 1, y1) is w pixels wide.
  auto bmp = WhiteBitmap(10, 12);
  TCanvas& cv = bmp->Canvas();
  cv.Pen().SetColor(clBlack);
  cv.Brush().SetColor(clBlack);
  TPoint bar[] = {{2, 1}, {4, 1}, {4, 8}, {2, 8}};
  cv.Polygon(bar);
  EXPECT_EQ(CountNonWhite(*bmp), 3 * 8) << Picture(*bmp);
  for (int y = 1; y <= 8; ++y)
    for (int x = 2; x <= 4; ++x) EXPECT_EQ(bmp->Pixel(x, y), clBlack);

  // A polyline leaves out only its last point.
  auto pl = WhiteBitmap(10, 10);
  pl->Canvas().Pen().SetColor(clBlack);
  TPoint pts[] = {{1, 1}, {5, 1}, {5, 5}};
  pl->Canvas().Polyline(pts);
  EXPECT_EQ(CountNonWhite(*pl), 8) << Picture(*pl);
  EXPECT_TRUE(IsWhite(*pl, 5, 5));
}

TEST(CanvasShapes, EllipseAndRoundRectStayInsideTheirBounds) {
  for (int shape = 0; shape < 2; ++shape) {
    auto bmp = WhiteBitmap(30, 24);
    TCanvas& cv = bmp->Canvas();
    cv.Pen().SetColor(clBlack);
    cv.Brush().SetColor(clBlue);
    if (shape == 0)
      cv.Ellipse(4, 3, 24, 19);
    else
      cv.RoundRect(4, 3, 24, 19, 8, 8);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 30; ++x)
        if (x < 4 || x >= 24 || y < 3 || y >= 19) {
          EXPECT_TRUE(IsWhite(*bmp, x, y)) << x << "," << y;
        }
    EXPECT_EQ(bmp->Pixel(14, 11), clBlue);                    // centre filled
    EXPECT_EQ(bmp->Pixel(14, 3), clBlack) << Picture(*bmp);   // top edge outlined
    EXPECT_EQ(bmp->Pixel(23, 11), clBlack) << Picture(*bmp);  // right edge on the last column
    EXPECT_TRUE(IsWhite(*bmp, 4, 3));                         // corners left out
  }
}

// Run lengths of black and white along row y from x0, for count pixels.
std::vector<int> Runs(const TBitmap& b, int y, int x0, int count) {
  std::vector<int> runs;
  bool black = true;
  int len = 0;
  for (int x = x0; x < x0 + count; ++x) {
    bool isBlack = b.Pixel(x, y) == clBlack;
    if (isBlack == black) {
      ++len;
    } else {
      runs.push_back(len);
      len = 1;
      black = isBlack;
    }
  }
  runs.push_back(len);
  return runs;
}

TEST(CanvasPens, OnePixelDashStylesRepeatTheirPatterns) {
  struct Case {
    TPenStyle style;
    std::vector<int> user;
    std::vector<int> pattern;  // on, off, ...
  } cases[] = {
      {psDash, {}, {18, 6}},         {psDot, {}, {3, 3}},
      {psDashDot, {}, {9, 6, 3, 6}}, {psDashDotDot, {}, {9, 3, 3, 3, 3, 3}},
      {psAlternate, {}, {1, 1}},     {psUserStyle, {2, 5}, {2, 5}},
  };
  for (const auto& c : cases) {
    auto bmp = WhiteBitmap(100, 4);
    TCanvas& cv = bmp->Canvas();
    cv.Brush().SetStyle(bsClear);  // transparent background: gaps stay white
    cv.Pen().SetColor(clBlack);
    if (c.style == psUserStyle)
      cv.Pen().SetUserPattern(c.user);
    else
      cv.Pen().SetStyle(c.style);
    cv.MoveTo(0, 1);
    cv.LineTo(96, 1);
    std::vector<int> runs = Runs(*bmp, 1, 0, 96);
    std::vector<int> expected;
    int covered = 0;
    for (size_t i = 0; covered < 96; ++i) {
      int len = std::min(c.pattern[i % c.pattern.size()], 96 - covered);
      expected.push_back(len);
      covered += len;
    }
    EXPECT_EQ(runs, expected) << "style " << int(c.style);
    EXPECT_EQ(CountNonWhite(*bmp), [&] {
      int on = 0;
      for (size_t i = 0; i < expected.size(); i += 2) on += expected[i];
      return on;
    }());
  }
}

TEST(CanvasPens, OpaqueBackgroundFillsDashGapsAndWidePensDrawSolid) {
  auto bmp = WhiteBitmap(40, 10);
  TCanvas& cv = bmp->Canvas();
  cv.Brush().SetColor(clRed);  // solid brush: opaque background in the brush colour
  cv.Pen().SetColor(clBlack);
  cv.Pen().SetStyle(psDash);
  cv.MoveTo(0, 2);
  cv.LineTo(30, 2);
  EXPECT_EQ(bmp->Pixel(17, 2), clBlack);
  EXPECT_EQ(bmp->Pixel(19, 2), clRed);
  cv.SetBkMode(TRANSPARENT);
  cv.MoveTo(0, 4);
  cv.LineTo(30, 4);
  EXPECT_TRUE(IsWhite(*bmp, 19, 4));

  cv.Pen().SetWidth(3);
  cv.MoveTo(0, 7);
  cv.LineTo(30, 7);
  for (int x = 2; x < 28; ++x) EXPECT_EQ(bmp->Pixel(x, 7), clBlack) << x;
}

TEST(CanvasPaint, ClearStylesAndNoColourPaintNothing) {
  struct Case {
    const char* name;
    std::function<void(TCanvas&)> draw;
  } cases[] = {
      {"clear pen line",
       [](TCanvas& c) {
         c.Pen().SetStyle(psClear);
         c.MoveTo(0, 5);
         c.LineTo(20, 5);
       }},
      {"no-colour pen line",
       [](TCanvas& c) {
         c.Pen().SetColor(clNone);
         c.MoveTo(0, 5);
         c.LineTo(20, 5);
       }},
      {"nop pen line",
       [](TCanvas& c) {
         c.Pen().SetMode(pmNop);
         c.MoveTo(0, 5);
         c.LineTo(20, 5);
       }},
      {"clear brush fill",
       [](TCanvas& c) {
         c.Brush().SetStyle(bsClear);
         c.FillRect(Rect(0, 0, 20, 20));
       }},
      {"no-colour brush fill",
       [](TCanvas& c) {
         c.Brush().SetColor(clNone);
         c.FillRect(Rect(0, 0, 20, 20));
       }},
      {"no-colour hatch",
       [](TCanvas& c) {
         c.Brush().SetColor(clNone);
         c.Brush().SetStyle(bsCross);
         c.FillRect(Rect(0, 0, 20, 20));
       }},
      {"clear pen and brush shapes",
       [](TCanvas& c) {
         c.Pen().SetStyle(psClear);
         c.Brush().SetStyle(bsClear);
         c.Rectangle(1, 1, 19, 19);
         c.Ellipse(1, 1, 19, 19);
         TPoint tri[] = {{1, 1}, {18, 1}, {9, 18}};
         c.Polygon(tri);
       }},
      {"no-colour text",
       [](TCanvas& c) {
         c.Brush().SetStyle(bsClear);
         c.Font().SetColor(clNone);
         c.TextOut(1, 1, u"Xy");
       }},
  };
  for (const auto& c : cases) {
    auto bmp = WhiteBitmap(20, 20);
    c.draw(bmp->Canvas());
    EXPECT_EQ(CountNonWhite(*bmp), 0) << c.name << "\n" << Picture(*bmp);
  }
}

TEST(CanvasBrushes, HatchesRepeatEveryEightPixelsOverATransparentBackground) {
  // Each hatch has its painted count on a 16 x 16 square and the shift it is invariant under.
  struct Case {
    TBrushStyle style;
    int count;
    int shiftX, shiftY;  // painted(x, y) == painted(x + shiftX, y + shiftY); 0, 0 for none
  } cases[] = {
      {bsHorizontal, 32, 1, 0}, {bsVertical, 32, 0, 1}, {bsFDiagonal, 32, 1, 1},
      {bsBDiagonal, 32, -1, 1}, {bsCross, 60, 0, 0},    {bsDiagCross, 64, 0, 0},
  };
  for (const auto& c : cases) {
    auto bmp = WhiteBitmap(24, 24);
    TCanvas& cv = bmp->Canvas();
    cv.Brush().SetColor(clBlack);
    cv.Brush().SetStyle(c.style);
    cv.FillRect(Rect(0, 0, 16, 16));
    EXPECT_EQ(CountNonWhite(*bmp), c.count) << int(c.style) << "\n" << Picture(*bmp);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        bool p = bmp->Pixel(x, y) == clBlack;
        EXPECT_EQ(p, bmp->Pixel(x % 8 + 8, y % 8 + 8) == clBlack || (x % 8 + 8 >= 16));
        int sx = x + c.shiftX, sy = y + c.shiftY;
        if ((c.shiftX || c.shiftY) && sx >= 0 && sx < 16 && sy < 16) {
          EXPECT_EQ(p, bmp->Pixel(sx, sy) == clBlack) << int(c.style) << " at " << x << "," << y;
        }
      }
  }
}

TEST(CanvasClipping, ShapesAndTextStayInsideAndTheClipIsRestored) {
  auto bmp = WhiteBitmap(40, 30);
  TCanvas& cv = bmp->Canvas();
  TClipRegion saved = cv.GetClipRgn();
  cv.IntersectClipRect(Rect(5, 5, 30, 25));
  cv.IntersectClipRect(Rect(10, 0, 40, 20));  // narrowed further
  EXPECT_EQ(cv.ClipRect(), Rect(10, 5, 30, 20));
  cv.Brush().SetColor(clBlack);
  cv.FillRect(Rect(0, 0, 40, 30));
  EXPECT_EQ(CountNonWhite(*bmp), 20 * 15);
  EXPECT_EQ(bmp->Pixel(10, 5), clBlack);
  EXPECT_TRUE(IsWhite(*bmp, 9, 5));
  EXPECT_TRUE(IsWhite(*bmp, 30, 19));

  cv.SelectClipRgn(saved);
  cv.FillRect(Rect(0, 0, 40, 30));
  EXPECT_EQ(CountNonWhite(*bmp), 40 * 30);

  // An elliptic clip keeps the corners of its box clear.
  auto e = WhiteBitmap(20, 20);
  TClipShape ellipse;
  ellipse.kind = TClipShape::ckEllipse;
  ellipse.rect = Rect(0, 0, 20, 20);
  e->Canvas().IntersectClipShape(ellipse);
  e->Canvas().Brush().SetColor(clBlack);
  e->Canvas().FillRect(Rect(0, 0, 20, 20));
  EXPECT_TRUE(IsWhite(*e, 0, 0));
  EXPECT_EQ(e->Pixel(10, 10), clBlack);

  // Text: the clip rectangle of the call, and the canvas clip.
  for (int mode = 0; mode < 2; ++mode) {
    auto t = WhiteBitmap(120, 30);
    TCanvas& tc = t->Canvas();
    tc.Brush().SetStyle(bsClear);
    tc.Font().SetHeight(-20);
    TRect clip = Rect(10, 0, 40, 30);
    if (mode == 0) {
      tc.ExtTextOut(2, 2, ETO_CLIPPED, &clip, u"WWWWWW", nullptr);
    } else {
      tc.IntersectClipRect(clip);
      tc.TextOut(2, 2, u"WWWWWW");
    }
    int inside = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 120; ++x) {
        if (IsWhite(*t, x, y)) continue;
        EXPECT_TRUE(clip.Contains(x, y)) << "mode " << mode << " ink at " << x << "," << y;
        ++inside;
      }
    EXPECT_GT(inside, 20);
  }
}

// Columns where ink starts after a blank column.
std::vector<int> InkStarts(const TBitmap& b) {
  std::vector<int> starts;
  bool prev = false;
  for (int x = 0; x < b.Width(); ++x) {
    bool ink = false;
    for (int y = 0; y < b.Height(); ++y) ink = ink || !IsWhite(b, x, y);
    if (ink && !prev) starts.push_back(x);
    prev = ink;
  }
  return starts;
}

TEST(CanvasText, CharactersLandAtTheGivenAdvances) {
  auto bmp = WhiteBitmap(200, 30);
  TCanvas& cv = bmp->Canvas();
  cv.Brush().SetStyle(bsClear);
  cv.Font().SetHeight(-20);
  const int dx[] = {23, 31, 17, 40};
  cv.ExtTextOut(5, 2, 0, nullptr, u"IIIII", nullptr);  // own advances, for the bearing
  int bearing = InkStarts(*bmp).at(0) - 5;
  EXPECT_GE(bearing, 0);
  EXPECT_LE(bearing, 4);

  auto b2 = WhiteBitmap(200, 30);
  b2->Canvas().Brush().SetStyle(bsClear);
  b2->Canvas().Font().SetHeight(-20);
  int withDx[5] = {dx[0], dx[1], dx[2], dx[3], 10};
  b2->Canvas().ExtTextOut(5, 2, 0, nullptr, u"IIIII", withDx);
  std::vector<int> starts = InkStarts(*b2);
  std::vector<int> expected = {5 + bearing, 5 + bearing + 23, 5 + bearing + 54, 5 + bearing + 71,
                               5 + bearing + 111};
  EXPECT_EQ(starts, expected);

  // Grayscale anti-aliasing: a slanted glyph has pixels between black and white.
  auto aa = WhiteBitmap(40, 30);
  aa->Canvas().Brush().SetStyle(bsClear);
  aa->Canvas().Font().SetHeight(-20);
  aa->Canvas().TextOut(2, 2, u"V");
  EXPECT_GT(test::CountIf(*aa, [](TColor c) { return c != clWhite && c != clBlack; }), 0);
}

TEST(CanvasText, TextSitsInItsCellAndOpaqueModeFillsTheCell) {
  auto bmp = WhiteBitmap(100, 40);
  TCanvas& cv = bmp->Canvas();
  cv.Brush().SetColor(clYellow);  // solid brush: opaque text background
  cv.Font().SetHeight(-20);
  TSize ext = cv.TextExtent(u"Hg");
  EXPECT_EQ(ext.cy, cv.GetTextMetrics().tmHeight);
  {
    TCanvasLock guard(cv);
    cv.TextOut(10, 5, u"Hg");
  }
  EXPECT_EQ(cv.PenPos(), Point(10 + ext.cx, 5));
  EXPECT_EQ(bmp->Pixel(10, 5), clYellow);
  EXPECT_EQ(bmp->Pixel(10 + ext.cx - 1, 5 + ext.cy - 1), clYellow);
  EXPECT_TRUE(IsWhite(*bmp, 10 + ext.cx, 5));
  EXPECT_TRUE(IsWhite(*bmp, 10, 5 + ext.cy));
  // The baseline lies at the ascent: "H" has ink on the row just above it but none below.
  const int baseline = 5 + cv.GetTextMetrics().tmAscent;
  bool above = false;
  for (int x = 10; x < 22; ++x) above = above || bmp->Pixel(x, baseline - 1) != clYellow;
  EXPECT_TRUE(above);
}

TEST(CanvasText, RotatedTextRunsAlongTheEscapement) {
  auto bmp = WhiteBitmap(60, 120);
  TCanvas& cv = bmp->Canvas();
  cv.Brush().SetStyle(bsClear);
  cv.Font().SetHeight(-16);
  cv.Font().SetOrientation(900);  // upwards
  cv.TextOut(10, 110, u"MMMMM");
  int minY = 1000, maxY = -1, minX = 1000, maxX = -1;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 60; ++x)
      if (!IsWhite(*bmp, x, y)) {
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
  EXPECT_GT(maxY - minY, 50);  // long along y
  EXPECT_LT(maxX - minX, 20);  // short along x
  EXPECT_LE(maxY, 110);
  EXPECT_GE(minX, 10);  // the cell lies to the right of the start point
}

// A scene drawn at a scale: everything the metafile must carry.
void DrawScene(TCanvas& c, int s) {
  c.Pen().SetColor(clBlack);
  c.Pen().SetWidth(s);
  c.Brush().SetColor(clAqua);
  c.Rectangle(2 * s, 2 * s, 30 * s, 20 * s);
  c.Brush().SetColor(clRed);
  c.Brush().SetStyle(bsDiagCross);
  c.FillRect(Rect(32 * s, 2 * s, 60 * s, 20 * s));
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clLime);
  c.Ellipse(4 * s, 24 * s, 30 * s, 44 * s);
  TPoint tri[] = {{34 * s, 44 * s}, {60 * s, 44 * s}, {47 * s, 24 * s}};
  c.Polygon(tri);
  c.Pen().SetColor(clBlue);
  c.MoveTo(2 * s, 48 * s);
  c.LineTo(60 * s, 48 * s);
  TClipRegion saved = c.GetClipRgn();
  c.IntersectClipRect(Rect(2 * s, 50 * s, 40 * s, 70 * s));
  c.Brush().SetStyle(bsClear);
  c.Font().SetHeight(-12 * s);
  c.Font().SetColor(clMaroon);
  int dx[] = {9 * s, 9 * s, 9 * s, 9 * s, 9 * s, 9 * s};
  c.ExtTextOut(4 * s, 52 * s, 0, nullptr, u"Pagewr", dx);
  c.SelectClipRgn(saved);
}

TEST(Metafile, ReplayAtScaleTwoMatchesDrawingAtTwice) {
  TMetafile mf(64, 72);
  DrawScene(mf.Canvas(), 1);
  EXPECT_GT(mf.RecordCount(), 5u);

  auto replayed = WhiteBitmap(128, 144);
  TCanvas& target = replayed->Canvas();
  target.Pen().SetColor(clGreen);
  target.Brush().SetColor(clNavy);
  target.StretchDraw(Rect(0, 0, 128, 144), mf);
  auto direct = WhiteBitmap(128, 144);
  DrawScene(direct->Canvas(), 2);

  // Tolerance: at most 1% of the pixels may differ by more than 64 in a channel (outlines of
  // curves and anti-aliased glyph edges).
  int differing = 0;
  for (int y = 0; y < 144; ++y)
    for (int x = 0; x < 128; ++x) {
      TColor a = replayed->Pixel(x, y), b = direct->Pixel(x, y);
      if (std::abs(GetRValue(a) - GetRValue(b)) > 64 || std::abs(GetGValue(a) - GetGValue(b)) > 64 ||
          std::abs(GetBValue(a) - GetBValue(b)) > 64)
        ++differing;
    }
  EXPECT_LE(differing, 128 * 144 / 100);
  EXPECT_GT(CountNonWhite(*replayed), 128 * 144 / 4);
  // The target's own state survives the replay.
  EXPECT_EQ(target.Pen().Color(), clGreen);
  EXPECT_EQ(target.Brush().Color(), clNavy);
  EXPECT_FALSE(target.GetClipRgn().IsClipped());

  // A copy replays the same.
  TMetafile copy;
  copy.Assign(mf);
  EXPECT_EQ(copy.RecordCount(), mf.RecordCount());
  auto fromCopy = WhiteBitmap(128, 144);
  fromCopy->Canvas().StretchDraw(Rect(0, 0, 128, 144), copy);
  EXPECT_EQ(CountNonWhite(*fromCopy), CountNonWhite(*replayed));

  // Replay into an offset rectangle moves everything by the offset.
  auto shifted = WhiteBitmap(80, 80);
  shifted->Canvas().StretchDraw(Rect(10, 5, 74, 77), mf);
  auto plain = WhiteBitmap(80, 80);
  plain->Canvas().Draw(0, 0, mf);
  EXPECT_EQ(shifted->Pixel(10 + 10, 5 + 10), plain->Pixel(10, 10));
  EXPECT_EQ(shifted->Pixel(10 + 50, 5 + 30), plain->Pixel(50, 30));
}

TEST(Metafile, UnequalScalesStretchTheText) {
  TMetafile mf(60, 20);
  mf.Canvas().Brush().SetStyle(bsClear);
  mf.Canvas().Font().SetHeight(-12);
  mf.Canvas().TextOut(0, 2, u"MMMM");
  auto inkWidth = [](const TBitmap& b) {
    int lo = b.Width(), hi = -1;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (!IsWhite(b, x, y)) {
          lo = std::min(lo, x);
          hi = std::max(hi, x);
        }
    return hi - lo + 1;
  };
  auto plain = WhiteBitmap(60, 20);
  plain->Canvas().Draw(0, 0, mf);
  auto wide = WhiteBitmap(180, 20);
  wide->Canvas().StretchDraw(Rect(0, 0, 180, 20), mf);
  EXPECT_NEAR(inkWidth(*wide), 3 * inkWidth(*plain), 4);
}

TEST(Metafile, ClipsRecordedInsideNarrowTheTargetClip) {
  TMetafile mf(20, 20);
  mf.Canvas().IntersectClipRect(Rect(0, 0, 10, 20));
  mf.Canvas().Brush().SetColor(clBlack);
  mf.Canvas().FillRect(Rect(0, 0, 20, 20));
  auto bmp = WhiteBitmap(20, 20);
  bmp->Canvas().IntersectClipRect(Rect(5, 0, 20, 20));
  bmp->Canvas().Draw(0, 0, mf);
  EXPECT_EQ(CountNonWhite(*bmp), 5 * 20);
  EXPECT_EQ(bmp->Canvas().ClipRect(), Rect(5, 0, 20, 20));
}

TEST(Bitmap, SizingRowsAndPixelFormats) {
  TBitmap bmp(4, 3);
  EXPECT_EQ(bmp.Pixel(3, 2), clWhite);
  bmp.SetPixel(1, 1, RGBColor(10, 20, 30));
  bmp.SetSize(6, 4);  // keeps what fits, new pixels take the brush colour
  EXPECT_EQ(bmp.Pixel(1, 1), RGBColor(10, 20, 30));
  EXPECT_EQ(bmp.Pixel(5, 3), clWhite);
  uint8_t row[18];
  bmp.ReadRowRGB(1, row);
  EXPECT_EQ(row[3], 10);
  EXPECT_EQ(row[4], 20);
  EXPECT_EQ(row[5], 30);
  EXPECT_EQ(bmp.ScanLine(1)[1], 0x0A141Eu);
  EXPECT_EQ(bmp.ScanLine(4), nullptr);

  bmp.SetPixel(2, 2, RGBColor(200, 200, 200));
  bmp.SetMonochrome(true);
  EXPECT_EQ(bmp.Pixel(1, 1), clBlack);
  EXPECT_EQ(bmp.Pixel(2, 2), clWhite);
  EXPECT_EQ(bmp.Canvas().GetDeviceCaps(BITSPIXEL), 1);

  bmp.SetPixelsPerInch(0);
  EXPECT_EQ(bmp.Canvas().GetDeviceCaps(LOGPIXELSX), 96);
  bmp.SetPixelsPerInch(600);
  EXPECT_EQ(bmp.Canvas().GetDeviceCaps(LOGPIXELSY), 600);

  TBitmap huge;
  EXPECT_THROW(huge.SetSize(100000, 100000), EOutOfMemory);
}

TEST(Bitmap, AlphaChannelBlendsWhenDrawn) {
  TBitmap picture;
  picture.SetPixelFormat(pf32bit);
  picture.SetSize(2, 1);
  const uint8_t rgba[] = {255, 0, 0, 128, 0, 255, 0, 0};  // half red, fully transparent green
  picture.WriteRowRGBA(0, rgba);
  uint8_t alpha[2], rgb[6];
  picture.ReadRowAlpha(0, alpha);
  picture.ReadRowRGB(0, rgb);
  EXPECT_EQ(alpha[0], 128);
  EXPECT_EQ(alpha[1], 0);
  EXPECT_EQ(rgb[0], 255);  // colours come back unpremultiplied
  EXPECT_EQ(picture.Canvas().GetDeviceCaps(BITSPIXEL), 32);

  auto bmp = WhiteBitmap(2, 1);
  bmp->Canvas().Brush().SetColor(clBlue);
  bmp->Canvas().FillRect(Rect(0, 0, 2, 1));
  bmp->Canvas().Draw(0, 0, picture);
  TColor blended = bmp->Pixel(0, 0);
  EXPECT_NEAR(GetRValue(blended), 128, 2);
  EXPECT_NEAR(GetBValue(blended), 127, 2);
  EXPECT_EQ(bmp->Pixel(1, 0), clBlue);

  picture.SetPixelFormat(pf24bit);  // laid over white
  EXPECT_EQ(picture.Pixel(1, 0), clWhite);
}

TEST(Bitmap, DrawScalesCropsAndHonoursTransparency) {
  TBitmap src(2, 2);
  src.SetPixel(0, 0, clBlack);
  src.SetPixel(1, 1, clRed);
  auto bmp = WhiteBitmap(10, 10);
  bmp->Canvas().StretchDraw(Rect(2, 2, 6, 6), src);  // nearest-pixel doubling
  for (int y = 2; y < 4; ++y)
    for (int x = 2; x < 4; ++x) EXPECT_EQ(bmp->Pixel(x, y), clBlack);
  EXPECT_EQ(bmp->Pixel(5, 5), clRed);
  EXPECT_EQ(bmp->Pixel(4, 2), clWhite);
  EXPECT_EQ(CountNonWhite(*bmp), 8);

  // Cropping a bitmap onto itself (copy a part to the top-left corner, then resize).
  bmp->Canvas().CopyRect(Rect(0, 0, 4, 4), *bmp, Rect(2, 2, 6, 6));
  bmp->SetSize(4, 4);
  EXPECT_EQ(bmp->Pixel(0, 0), clBlack);
  EXPECT_EQ(bmp->Pixel(3, 3), clRed);

  // White is the transparent colour: only the black and red pixels are drawn.
  src.SetTransparent(true);
  auto over = WhiteBitmap(4, 4);
  over->Canvas().Brush().SetColor(clBlue);
  over->Canvas().FillRect(Rect(0, 0, 4, 4));
  over->Canvas().Draw(1, 1, src);
  EXPECT_EQ(over->Pixel(1, 1), clBlack);
  EXPECT_EQ(over->Pixel(2, 1), clBlue);
  EXPECT_EQ(over->Pixel(2, 2), clRed);
}

TEST(CanvasRobustness, WildArgumentsNeitherCrashNorStall) {
  const int big = std::numeric_limits<int>::max(), small = std::numeric_limits<int>::min();
  struct Case {
    const char* name;
    std::function<void(TCanvas&)> draw;
  } cases[] = {
      {"far diagonal line",
       [&](TCanvas& c) {
         c.MoveTo(small, small);
         c.LineTo(big, big - 7);
       }},
      {"far dashed polyline",
       [&](TCanvas& c) {
         c.Pen().SetStyle(psDot);
         TPoint p[] = {{small, 5}, {big, 5}, {3, big}};
         c.Polyline(p);
       }},
      {"huge shapes",
       [&](TCanvas& c) {
         c.Rectangle(small, small, big, big);
         c.Ellipse(small, small, big, big);
         c.RoundRect(small, small, big, big, big, big);
         c.IntersectClipRect(Rect(small, small, big, big));
         c.FillRect(Rect(small, small, big, big));
       }},
      {"huge pen",
       [&](TCanvas& c) {
         c.Pen().SetWidth(big);
         c.MoveTo(0, 0);
         c.LineTo(5, 5);
       }},
      {"extreme font heights",
       [&](TCanvas& c) {
         c.Font().SetHeight(small);
         c.TextOut(0, 0, u"A");
         c.Font().SetHeight(big);
         c.TextOut(0, 0, u"A");
       }},
      {"extreme advances",
       [&](TCanvas& c) {
         int dx[] = {big, big, small};
         c.ExtTextOut(big, small, ETO_CLIPPED | ETO_OPAQUE, nullptr, u"abc", dx);
       }},
      {"inverted and empty rectangles",
       [&](TCanvas& c) {
         c.FillRect(Rect(10, 10, 0, 0));
         c.Rectangle(5, 5, 5, 9);
         TRect r = Rect(10, 10, 0, 0);
         c.ExtTextOut(0, 0, ETO_CLIPPED, &r, u"x", nullptr);
       }},
      {"huge metafile scale",
       [&](TCanvas& c) {
         TMetafile mf(2, 2);
         mf.Canvas().Rectangle(0, 0, 2, 2);
         mf.Canvas().TextOut(0, 0, u"x");
         c.StretchDraw(Rect(0, 0, big, big), mf);
         c.StretchDraw(Rect(big, big, small, small), mf);
       }},
  };
  for (const auto& c : cases) {
    auto bmp = WhiteBitmap(32, 32);
    EXPECT_NO_THROW(c.draw(bmp->Canvas())) << c.name;
  }
  TBitmap empty;
  EXPECT_NO_THROW(empty.Canvas().FillRect(Rect(0, 0, 10, 10)));
  EXPECT_EQ(empty.ScanLine(0), nullptr);
}

TEST(CanvasText, RightToLeftRunsAreShownReversed) {
  EXPECT_EQ(VisualOrder(u"ab", false), (std::vector<int>{0, 1}));
  EXPECT_EQ(VisualOrder(u"a\u05D0\u05D1b", false), (std::vector<int>{0, 2, 1, 3}));
  EXPECT_EQ(VisualOrder(u"\u05D0 \u05D1", false), (std::vector<int>{2, 1, 0}));
  // Right-to-left reading puts a left-to-right run after a right-to-left one to its left.
  EXPECT_EQ(VisualOrder(u"\u05D0 ab", true), (std::vector<int>{2, 3, 1, 0}));
}

}  // namespace
}  // namespace pagewright

namespace pagewright {
namespace {

// Solid rectangles of a colour the surface has already shown are written directly; they must set
// exactly the pixels (all four bytes) that the rasteriser sets for the first rectangle of that
// colour, whatever the pixel format, clip rectangle or window.
TEST(CanvasFillRect, RepeatedColoursSetTheSamePixelsAsTheFirstFill) {
  struct Case {
    const char* what;
    TPixelFormat format;
    bool clip;
    bool window;
  };
  const Case cases[] = {{"24-bit", pf24bit, false, false},
                        {"32-bit over transparency", pf32bit, false, false},
                        {"clipped to a rectangle", pf24bit, true, false},
                        {"a window onto a taller page", pf24bit, false, true}};
  const TColor colors[] = {clBlack, clWhite, static_cast<TColor>(0x3366CC), clBlack, static_cast<TColor>(0x3366CC)};
  for (const Case& c : cases) {
    TBitmap b;
    b.SetPixelFormat(c.format);
    b.SetSize(60, 20);
    if (c.window) b.SetWindow(0, 30, 60, 100);
    const int top = c.window ? 30 : 0;
    TCanvas& canvas = b.Canvas();
    if (c.clip) canvas.IntersectClipRect(Rect(0, top + 2, 55, top + 18));
    for (int i = 0; i < 5; ++i) {
      canvas.Brush().SetColor(colors[i]);
      canvas.FillRect(Rect(i * 10, top, i * 10 + 10, top + 20));
    }
    for (int i = 3; i < 5; ++i) {  // the second fills of black and of the blue
      const int first = i - 3 == 0 ? 0 : 2;
      for (int y = 0; y < 20; ++y) {
        for (int dx = 0; dx < 10; ++dx) {
          EXPECT_EQ(b.ScanLine(y)[i * 10 + dx], b.ScanLine(y)[first * 10 + dx])
              << c.what << ": fill " << i << " at (" << dx << ", " << y << ")";
        }
      }
    }
    if (c.clip) {
      EXPECT_EQ(b.ScanLine(0)[35], b.ScanLine(0)[5]) << c.what << ": above the clip nothing is drawn";
      EXPECT_NE(b.ScanLine(10)[35], b.ScanLine(0)[35]) << c.what;
    }
  }
}

}  // namespace
}  // namespace pagewright
