#include "report/shape_views.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "render/bitmap.h"

using namespace pagewright;

namespace {

// A white 64 × 64 bitmap; views are drawn at scale 1 without offset unless told.
template <class V>
struct Scene {
  TBitmap bmp{64, 64};
  std::unique_ptr<V> view = std::make_unique<V>(nullptr);
  void Draw(Extended scale = 1) { view->Draw(bmp.Canvas(), scale, scale, 0, 0); }
  TColor At(int x, int y) const { return bmp.Pixel(x, y); }
  int Count(TColor c, int x0 = 0, int y0 = 0, int x1 = 64, int y1 = 64) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += bmp.Pixel(x, y) == c;
    return n;
  }
};

TEST(LineView, NonDiagonalLineBecomesAxisParallel) {
  struct Case {
    Extended w, h;
    Extended wantW, wantH;
    TpgwFrameType side;
  } cases[] = {{10, 50, 0, 50, ftLeft}, {50, 10, 50, 0, ftTop}, {20, 20, 0, 20, ftLeft}};
  for (const Case& c : cases) {
    Scene<TpgwLineView> s;
    s.view->SetBounds(5, 5, c.w, c.h);
    s.view->Frame().SetColor(clRed);
    s.Draw();
    SCOPED_TRACE(static_cast<double>(c.w));
    EXPECT_EQ(s.view->Width(), c.wantW);
    EXPECT_EQ(s.view->Height(), c.wantH);
    EXPECT_EQ(s.view->Frame().Typ(), TpgwFrameTypes{c.side});
    // The line itself runs along the left or top edge.
    if (c.side == ftLeft) {
      EXPECT_EQ(s.At(5, 15), clRed);
      EXPECT_EQ(s.At(6, 15), clWhite);
    } else {
      EXPECT_EQ(s.At(15, 5), clRed);
      EXPECT_EQ(s.At(15, 6), clWhite);
    }
  }
}

TEST(LineView, DiagonalLineKeepsItsBoxAndIsThick) {
  Scene<TpgwLineView> s;
  s.view->SetDiagonal(true);
  s.view->SetBounds(10, 10, 40, 40);
  s.view->Frame().SetColor(clBlue);
  s.view->Frame().SetWidth(3);
  s.Draw();
  EXPECT_EQ(s.view->Width(), 40);
  EXPECT_EQ(s.view->Frame().Typ(), TpgwFrameTypes{});
  // Three one-pixel strokes side by side across the main direction.
  EXPECT_EQ(s.At(29, 30), clBlue);
  EXPECT_EQ(s.At(30, 30), clBlue);
  EXPECT_EQ(s.At(31, 30), clBlue);
  EXPECT_EQ(s.At(33, 30), clWhite);
  EXPECT_EQ(s.At(10, 40), clWhite);

  Scene<TpgwLineView> none;
  none.view->SetDiagonal(true);
  none.view->SetBounds(10, 10, 40, 40);
  none.view->Frame().SetColor(clNone);
  none.view->SetColor(clRed);
  none.view->SetArrowEnd(true);
  none.Draw();
  EXPECT_EQ(none.Count(clWhite), 64 * 64);
}

TEST(LineView, ArrowHeads) {
  // A horizontal line from (10, 20) to (50, 20), arrow heads 10 long and 4 wide each side.
  auto horizontal = [](bool solid) {
    auto s = std::make_unique<Scene<TpgwLineView>>();
    s->view->SetBounds(10, 20, 40, 0);
    s->view->Frame().SetColor(clRed);
    s->view->SetArrowStart(true);
    s->view->SetArrowEnd(true);
    s->view->SetArrowLength(10);
    s->view->SetArrowWidth(4);
    s->view->SetArrowSolid(solid);
    s->Draw();
    return s;
  };
  auto solid = horizontal(true);
  EXPECT_EQ(solid->At(44, 21), clRed);  // inside the end's triangle, below the line
  EXPECT_EQ(solid->At(44, 19), clRed);
  EXPECT_EQ(solid->At(16, 21), clRed);  // the start's head points left
  EXPECT_EQ(solid->At(30, 22), clWhite);
  EXPECT_EQ(solid->At(39, 25), clWhite);  // nothing beyond the wings

  auto open = horizontal(false);
  EXPECT_EQ(open->At(44, 21), clWhite);  // open heads are two strokes only
  EXPECT_GT(open->Count(clRed, 40, 21, 50, 25), 0);
  EXPECT_GT(open->Count(clRed, 40, 15, 50, 20), 0);
  EXPECT_GT(open->Count(clRed, 12, 21, 18, 25), 0);

  // A vertical line: the head's base lies above the tip at the bottom end.
  Scene<TpgwLineView> v;
  v.view->SetBounds(20, 10, 0, 40);
  v.view->Frame().SetColor(clRed);
  v.view->SetArrowEnd(true);
  v.view->SetArrowSolid(true);
  v.view->SetArrowLength(10);
  v.view->SetArrowWidth(4);
  v.Draw();
  EXPECT_EQ(v.At(21, 44), clRed);
  EXPECT_EQ(v.At(19, 44), clRed);
  EXPECT_EQ(v.At(22, 36), clWhite);

  // A diagonal line: the wings lie across the line, the head beside it filled only when solid.
  for (bool solidHead : {true, false}) {
    Scene<TpgwLineView> d;
    d.view->SetDiagonal(true);
    d.view->SetBounds(10, 10, 40, 40);
    d.view->Frame().SetColor(clRed);
    d.view->SetArrowEnd(true);
    d.view->SetArrowSolid(solidHead);
    d.view->SetArrowLength(10);
    d.view->SetArrowWidth(4);
    d.Draw();
    SCOPED_TRACE(solidHead);
    EXPECT_EQ(d.At(47, 45) == clRed, solidHead);
    EXPECT_EQ(d.At(45, 47) == clRed, solidHead);
    EXPECT_EQ(d.At(30, 26), clWhite);
  }
}

TEST(ShapeView, EllipseWithGlassFillPaintsOnlyInside) {
  Scene<TpgwShapeView> s;
  s.view->SetBounds(10, 10, 40, 40);
  s.view->SetShape(skEllipse);
  s.view->SetFillType(ftGlass);
  s.view->SetColor(clBlue);
  s.view->Frame().SetColor(clBlack);
  s.Draw();
  const auto& glass = static_cast<const TpgwGlassFill&>(s.view->Fill());
  EXPECT_EQ(s.At(30, 45), clBlue);               // lower half: the colour
  EXPECT_EQ(s.At(30, 15), glass.BlendColor());  // upper half: the lighter blend
  // Corners of the box stay white: the fill is clipped to the ellipse.
  EXPECT_EQ(s.At(12, 12), clWhite);
  EXPECT_EQ(s.At(48, 48), clWhite);
  EXPECT_EQ(s.At(12, 48), clWhite);
  // The outline is drawn over the fill.
  EXPECT_EQ(s.At(30, 10), clBlack);
  EXPECT_EQ(s.At(10, 30), clBlack);
}

TEST(ShapeView, RoundRectangleCornerDiameter) {
  struct Case {
    int curve;
    Extended scale;
    bool nearCornerFilled;  // the pixel 2 in from the corner on both axes
  } cases[] = {
      {1, 1, true},    // 10 pixels
      {0, 1, true},    // a quarter of 40
      {2, 1, false},   // 20 pixels
      {1, 0.5, true},  // 5 pixels
  };
  for (const Case& c : cases) {
    Scene<TpgwShapeView> s;
    s.view->SetShape(skRoundRectangle);
    s.view->SetCurve(c.curve);
    s.view->SetBounds(10 / c.scale, 10 / c.scale, 40 / c.scale, 40 / c.scale);
    s.view->SetColor(clRed);
    s.view->Frame().SetColor(clNone);
    s.Draw(c.scale);
    SCOPED_TRACE(c.curve);
    EXPECT_EQ(s.At(10, 10), clWhite);
    EXPECT_EQ(s.At(12, 12) == clRed, c.nearCornerFilled);
    EXPECT_EQ(s.At(30, 10), clRed);  // the straight top edge
    EXPECT_EQ(s.At(30, 30), clRed);
  }
}

TEST(ShapeView, ShapesFillTheirOwnOutline) {
  struct Case {
    TpgwShapeKind shape;
    int ix, iy;  // a pixel inside
    int ox, oy;  // a pixel of the box outside the shape
  } cases[] = {
      {skRectangle, 11, 11, 9, 9},   {skEllipse, 30, 30, 11, 11}, {skTriangle, 30, 45, 12, 12},
      {skDiamond, 30, 30, 13, 13},   {skTriangle, 12, 48, 48, 12},
  };
  for (const Case& c : cases) {
    Scene<TpgwShapeView> s;
    s.view->SetShape(c.shape);
    s.view->SetBounds(10, 10, 40, 40);
    s.view->SetColor(clRed);
    s.view->Frame().SetColor(clNone);
    s.Draw();
    SCOPED_TRACE(static_cast<int>(c.shape));
    EXPECT_EQ(s.At(c.ix, c.iy), clRed);
    EXPECT_EQ(s.At(c.ox, c.oy), clWhite);
  }
}

TEST(ShapeView, DiagonalsAreThickLinesWithoutFill) {
  for (TpgwShapeKind k : {skDiagonal1, skDiagonal2}) {
    Scene<TpgwShapeView> s;
    s.view->SetShape(k);
    s.view->SetBounds(10, 10, 40, 40);
    s.view->SetColor(clRed);
    s.view->Frame().SetColor(clBlue);
    s.view->Frame().SetWidth(2);
    s.Draw();
    SCOPED_TRACE(static_cast<int>(k));
    EXPECT_EQ(s.Count(clRed), 0);
    EXPECT_EQ(s.At(30, 30), clBlue);
    EXPECT_EQ(s.At(k == skDiagonal2 ? 15 : 45, 15), clBlue);
    EXPECT_EQ(s.At(k == skDiagonal2 ? 45 : 15, 15), clWhite);
  }
}

TEST(ShapeView, HatchedShapeHasGroundAndPattern) {
  Scene<TpgwShapeView> s;
  s.view->SetShape(skEllipse);
  s.view->SetBounds(10, 10, 40, 40);
  s.view->SetColor(clYellow);
  static_cast<TpgwBrushFill&>(s.view->Fill()).SetStyle(bsCross);
  s.view->Frame().SetColor(clBlue);
  s.Draw();
  EXPECT_GT(s.Count(clYellow, 20, 20, 40, 40), 100);
  EXPECT_GT(s.Count(clBlue, 20, 20, 40, 40), 20);  // the pattern in the frame colour
  EXPECT_EQ(s.At(11, 11), clWhite);
}

TEST(ShapeView, DoubleFrameDrawsAnInnerOutline) {
  Scene<TpgwShapeView> s;
  s.view->SetBounds(10, 10, 40, 40);
  s.view->Frame().SetColor(clBlack);
  s.view->Frame().SetStyle(fsDouble);
  s.Draw();
  // Outer outline at 10 and 50, inner at 12 and 48.
  EXPECT_EQ(s.At(10, 30), clBlack);
  EXPECT_EQ(s.At(11, 30), clWhite);
  EXPECT_EQ(s.At(12, 30), clBlack);
  EXPECT_EQ(s.At(13, 30), clWhite);
  EXPECT_EQ(s.At(30, 12), clBlack);
  EXPECT_EQ(s.At(48, 30), clBlack);
  EXPECT_EQ(s.At(50, 30), clBlack);
  // Bounds and style are restored.
  EXPECT_EQ(s.view->Left(), 10);
  EXPECT_EQ(s.view->Width(), 40);
  EXPECT_EQ(s.view->Frame().Style(), fsDouble);
}

TEST(ShapeView, PublishedDefaults) {
  ProvideShapeClasses();
  TpgwShapeView shape(nullptr);
  TpgwLineView line(nullptr);
  EXPECT_FALSE(shape.pwComponentStyle().Contains(csDefaultDiff));
  EXPECT_FALSE(line.pwComponentStyle().Contains(csDefaultDiff));
  EXPECT_EQ(line.ArrowLength(), 20);
  EXPECT_EQ(line.ArrowWidth(), 5);
  EXPECT_EQ(line.Color(), clNone);
  EXPECT_EQ(shape.Shape(), skRectangle);
}

// The own properties follow the view's, in this order.
TEST(ShapeView, PublishedPropertyOrder) {
  auto tail = [](const TClassInfo& info, size_t n) {
    std::vector<std::string> names;
    const auto& all = info.Properties();
    for (size_t k = all.size() - std::min(n, all.size()); k < all.size(); ++k) names.push_back(all[k]->Name());
    return names;
  };
  EXPECT_EQ(tail(TpgwShapeView::StaticClassInfo(), 9),
            (std::vector<std::string>{"Color", "Cursor", "Curve", "FillType", "Fill", "Frame", "Shape", "TagStr",
                                      "URL"}));
  EXPECT_EQ(tail(TpgwLineView::StaticClassInfo(), 9),
            (std::vector<std::string>{"Color", "TagStr", "ArrowEnd", "ArrowLength", "ArrowSolid", "ArrowStart",
                                      "ArrowWidth", "Frame", "Diagonal"}));
  EXPECT_TRUE(TpgwLineView::StaticClassInfo().InheritsFrom(TpgwStretcheable::StaticClassInfo()));
}

TEST(ShapeView, GradientTriangleIsClippedAndDoubleFrameInsetsIt) {
  Scene<TpgwShapeView> s;
  s.view->SetShape(skTriangle);
  s.view->SetBounds(10, 10, 40, 40);
  s.view->SetFillType(ftGradient);
  auto& g = static_cast<TpgwGradientFill&>(s.view->Fill());
  g.SetStartColor(clRed);
  g.SetEndColor(clRed);
  s.view->Frame().SetColor(clBlack);
  s.view->Frame().SetStyle(fsDouble);
  s.Draw();
  EXPECT_EQ(s.At(30, 40), clRed);
  EXPECT_EQ(s.At(12, 12), clWhite);
  EXPECT_EQ(s.At(48, 12), clWhite);
  // Outer base at row 50, inner base at 14 + 34 = 48 (top moved by 4, height reduced by 6).
  EXPECT_EQ(s.At(30, 50), clBlack);
  EXPECT_EQ(s.At(30, 49), clRed);
  EXPECT_EQ(s.At(30, 48), clBlack);
  EXPECT_EQ(s.At(30, 46), clRed);
}

}  // namespace
