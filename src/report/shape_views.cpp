#include "report/shape_views.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "render/colors.h"

namespace pagewright {

namespace {

int Round(Extended v) {
  return static_cast<int>(RoundHalfEven(v));
}

// Puts the canvas's pen, brush, background mode and clip back on leaving.
class TCanvasState {
 public:
  explicit TCanvasState(TCanvas& c)
      : FCanvas(c),
        FPen(c.Pen()),
        FBrushColor(c.Brush().Color()),
        FBrushStyle(c.Brush().Style()),
        FBkMode(c.GetBkMode()),
        FClip(c.GetClipRgn()) {}
  ~TCanvasState() {
    FCanvas.Pen() = FPen;
    FCanvas.Brush().SetColor(FBrushColor);
    FCanvas.Brush().SetStyle(FBrushStyle);
    FCanvas.SetBkMode(FBkMode);
    FCanvas.SelectClipRgn(FClip);
  }
  TCanvasState(const TCanvasState&) = delete;
  TCanvasState& operator=(const TCanvasState&) = delete;

 private:
  TCanvas& FCanvas;
  TPen FPen;
  TColor FBrushColor;
  TBrushStyle FBrushStyle;
  int FBkMode;
  TClipRegion FClip;
};

// The pen style of a frame style; double lines are drawn solid here.
TPenStyle PenStyleOf(TpgwFrameStyle s) {
  switch (s) {
    case fsDash:
      return psDash;
    case fsDot:
      return psDot;
    case fsDashDot:
      return psDashDot;
    case fsDashDotDot:
      return psDashDotDot;
    case fsAltDot:
      return psAlternate;
    default:
      return psSolid;
  }
}

void SetBrush(TCanvas& c, TColor color) {
  if (IsNoColor(color)) {
    c.Brush().SetStyle(bsClear);
  } else {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color);
  }
}

}  // namespace

const TEnumInfo& TpgwShapeKindInfo() {
  static const TEnumInfo info("TpgwShapeKind", {"skRectangle", "skRoundRectangle", "skEllipse", "skTriangle",
                                                "skDiamond", "skDiagonal1", "skDiagonal2"});
  return info;
}

// ---- custom line ----------------------------------------------------------------------------------

TpgwCustomLineView::TpgwCustomLineView(TComponent* owner) : TpgwStretcheable(owner) {
  SetpwComponentStyle(pwComponentStyle() - TpgwComponentStyle{csDefaultDiff});
}

const TClassInfo& TpgwCustomLineView::StaticClassInfo() {
  using T = TpgwCustomLineView;
  static const TClassInfo& info = Describe<T>("TpgwCustomLineView")
                                      .Parent<TpgwStretcheable>()
                                      .Color("Color", &T::Color, &T::SetColor)
                                      .Default(clNone)
                                      .String("TagStr", &T::TagStr, &T::SetTagStr)
                                      .Build();
  return info;
}
const TClassInfo& TpgwCustomLineView::ClassInfo() const {
  return StaticClassInfo();
}

// ---- line -------------------------------------------------------------------------------------------

TpgwLineView::TpgwLineView(TComponent* owner) : TpgwCustomLineView(owner) {}

const TClassInfo& TpgwLineView::StaticClassInfo() {
  using T = TpgwLineView;
  static const TClassInfo& info =
      Describe<T>("TpgwLineView")
          .Parent<TpgwCustomLineView>()
          .Boolean("ArrowEnd", &T::ArrowEnd, &T::SetArrowEnd)
          .Default(false)
          .Integer("ArrowLength", &T::ArrowLength, &T::SetArrowLength)
          .Default(20)
          .Boolean("ArrowSolid", &T::ArrowSolid, &T::SetArrowSolid)
          .Default(false)
          .Boolean("ArrowStart", &T::ArrowStart, &T::SetArrowStart)
          .Default(false)
          .Integer("ArrowWidth", &T::ArrowWidth, &T::SetArrowWidth)
          .Default(5)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Boolean("Diagonal", &T::Diagonal, &T::SetDiagonal)
          .Default(false)
          .Build();
  return info;
}
const TClassInfo& TpgwLineView::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwLineView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) {
  if (!FDiagonal) {
    if (Width() <= Height()) {
      SetWidth(0);
      Frame().SetTyp(TpgwFrameTypes{ftLeft});
    } else {
      SetHeight(0);
      Frame().SetTyp(TpgwFrameTypes{ftTop});
    }
  }
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  if (!FDiagonal) {
    DrawFrameLines();
    DrawArrows();
    return;
  }
  if (IsNoColor(Frame().Color()) || FrameWidth == 0) return;
  TCanvasState state(canvas);
  canvas.Pen().SetColor(Frame().Color());
  canvas.Pen().SetWidth(1);
  canvas.Pen().SetStyle(PenStyleOf(Frame().Style()));
  SetBrush(canvas, Color());
  DrawThickLine(canvas, FX, FY, FX1, FY1, FrameWidth);
  DrawArrows();
}

void TpgwLineView::DrawArrows() {
  if (!Canvas() || IsNoColor(Frame().Color())) return;
  if (FArrowStart) DrawArrow(FX, FY, FX1, FY1);
  if (FArrowEnd) DrawArrow(FX1, FY1, FX, FY);
}

void TpgwLineView::DrawArrow(int x1, int y1, int x2, int y2) {
  TCanvas& c = *Canvas();
  const Extended len = FArrowLength * ScaleX;
  const Extended half = FArrowWidth * ScaleX;
  Extended bx, by, wx, wy;  // base centre and the offset of a wing from it
  if (std::abs(x2 - x1) <= 8) {
    bx = x1;
    by = y2 >= y1 ? y1 + len : y1 - len;
    wx = half;
    wy = 0;
  } else {
    // The point at distance len from the tip toward the other end lies inside the segment.
    const Extended dx = x2 - x1, dy = y2 - y1;
    const Extended d = std::sqrt(dx * dx + dy * dy);
    const Extended ux = dx / d, uy = dy / d;
    bx = x1 + len * ux;
    by = y1 + len * uy;
    wx = -uy * half;
    wy = ux * half;
  }
  const std::array<TPoint, 3> pts = {Point(Round(bx - wx), Round(by - wy)), Point(x1, y1),
                                     Point(Round(bx + wx), Round(by + wy))};
  TCanvasState state(c);
  c.Pen().SetColor(Frame().Color());
  c.Pen().SetStyle(psSolid);
  if (FArrowSolid) {
    c.Pen().SetWidth(1);
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Frame().Color());
    const std::array<TPoint, 3> tri = {pts[1], pts[0], pts[2]};
    c.Polygon(tri);
  } else {
    c.Pen().SetWidth(Round(Frame().Width() * ScaleX));
    c.Polyline(pts);
  }
}

// ---- shape ------------------------------------------------------------------------------------------

TpgwShapeView::TpgwShapeView(TComponent* owner) : TpgwView(owner) {
  SetpwComponentStyle(pwComponentStyle() - TpgwComponentStyle{csDefaultDiff});
}

const TClassInfo& TpgwShapeView::StaticClassInfo() {
  using T = TpgwShapeView;
  static const TClassInfo& info =
      Describe<T>("TpgwShapeView")
          .Parent<TpgwView>()
          .Color("Color", &T::Color, &T::SetColor)
          .Stored(false)
          .Integer("Cursor", &T::Cursor, &T::SetCursor)
          .Default(0)
          .Integer("Curve", &T::Curve, &T::SetCurve)
          .Default(0)
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Enum("Shape", &T::Shape, &T::SetShape, TpgwShapeKindInfo())
          .Default(skRectangle)
          .String("TagStr", &T::TagStr, &T::SetTagStr)
          .String("URL", &T::URL, &T::SetURL)
          .Build();
  return info;
}
const TClassInfo& TpgwShapeView::ClassInfo() const {
  return StaticClassInfo();
}

int TpgwShapeView::CornerDiameter() const {
  return FCurve == 0 ? std::min(FDX, FDY) / 4 : Round(FCurve * ScaleX * 10);
}

TClipShape TpgwShapeView::OutlineClip() const {
  TClipShape s;
  s.rect = Rect(FX, FY, FX1 + 1, FY1 + 1);
  switch (FShape) {
    case skRoundRectangle:
      s.kind = TClipShape::ckRoundRect;
      s.cornerW = s.cornerH = CornerDiameter();
      break;
    case skEllipse:
      s.kind = TClipShape::ckEllipse;
      break;
    case skTriangle:
      s.kind = TClipShape::ckPolygon;
      s.points = {Point(FX1, FY1), Point(FX, FY1), Point(FX + FDX / 2, FY)};
      break;
    case skDiamond:
      s.kind = TClipShape::ckPolygon;
      s.points = {Point(FX + FDX / 2, FY), Point(FX1, FY + FDY / 2), Point(FX + FDX / 2, FY1),
                  Point(FX, FY + FDY / 2)};
      break;
    default:
      s.kind = TClipShape::ckRect;
      break;
  }
  return s;
}

void TpgwShapeView::DrawOutline(TCanvas& c) {
  switch (FShape) {
    case skRectangle:
      c.Rectangle(FX, FY, FX1 + 1, FY1 + 1);
      break;
    case skRoundRectangle: {
      const int d = CornerDiameter();
      c.RoundRect(FX, FY, FX1 + 1, FY1 + 1, d, d);
      break;
    }
    case skEllipse:
      c.Ellipse(FX, FY, FX1 + 1, FY1 + 1);
      break;
    case skTriangle: {
      const std::array<TPoint, 3> p = {Point(FX1, FY1), Point(FX, FY1), Point(FX + FDX / 2, FY)};
      c.Polygon(p);
      break;
    }
    case skDiamond: {
      const std::array<TPoint, 4> p = {Point(FX + FDX / 2, FY), Point(FX1, FY + FDY / 2),
                                       Point(FX + FDX / 2, FY1), Point(FX, FY + FDY / 2)};
      c.Polygon(p);
      break;
    }
    case skDiagonal1:
    case skDiagonal2: {
      // A thick line is drawn as one-pixel strokes side by side.
      const int w = c.Pen().Width();
      c.Pen().SetWidth(1);
      if (FShape == skDiagonal1)
        DrawThickLine(c, FX, FY1, FX1, FY, FrameWidth);
      else
        DrawThickLine(c, FX, FY, FX1, FY1, FrameWidth);
      c.Pen().SetWidth(w);
      break;
    }
  }
}

void TpgwShapeView::DrawShape(TCanvas& c) {
  TCanvasState state(c);
  const TColor frameColor = Frame().Color();
  if (IsNoColor(frameColor)) {
    c.Pen().SetStyle(psClear);
  } else {
    c.Pen().SetColor(frameColor);
    c.Pen().SetWidth(FrameWidth);
    c.Pen().SetStyle(PenStyleOf(Frame().Style()));
  }
  const bool diagonal = FShape == skDiagonal1 || FShape == skDiagonal2;
  if (diagonal) {
    c.Brush().SetStyle(bsClear);
    c.SetBkMode(OPAQUE);
    DrawOutline(c);
    return;
  }
  if (FillType() == ftBrush) {
    const auto& fill = static_cast<const TpgwBrushFill&>(Fill());
    const TBrushStyle style = fill.Style();
    SetBrush(c, Color());
    c.SetBkMode(OPAQUE);
    if (style >= bsHorizontal && style <= bsDiagCross) {
      // A hatched shape: the solid ground first, then the pattern over it.
      if (!IsNoColor(Color())) DrawOutline(c);
      c.Brush().SetStyle(style);
      c.Brush().SetColor(frameColor);
      c.SetBkMode(TRANSPARENT);
    }
    DrawOutline(c);
    return;
  }
  // Gradient and glass fills are painted inside the outline only.
  {
    const TClipRegion saved = c.GetClipRgn();
    c.IntersectClipShape(OutlineClip());
    DrawBackgroundFill();
    c.SelectClipRgn(saved);
  }
  c.Brush().SetStyle(bsClear);
  c.SetBkMode(OPAQUE);
  DrawOutline(c);
}

void TpgwShapeView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) {
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  if (Frame().Style() != fsDouble) {
    DrawShape(canvas);
    return;
  }
  // Double frames: the shape as it is and again inside it, both with a solid pen.
  Frame().SetStyle(fsSolid);
  DrawShape(canvas);
  const Extended w = Frame().Width();
  Extended dl = 0, dt = 0, dw = 0, dh = 0;
  switch (FShape) {
    case skTriangle:
      dl = dt = 4 * w;
      dw = 8 * w;
      dh = 6 * w;
      break;
    case skDiamond:
      dl = dt = 3 * w;
      dw = dh = 6 * w;
      break;
    case skDiagonal1:
    case skDiagonal2:
      dl = 2 * w;
      break;
    default:
      dl = dt = 2 * w;
      dw = dh = 4 * w;
      break;
  }
  const Extended left = Left(), top = Top(), width = Width(), height = Height();
  SetLeft(left + dl);
  SetTop(top + dt);
  SetWidth(width - dw);
  SetHeight(height - dh);
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  DrawShape(canvas);
  SetLeft(left);
  SetTop(top);
  SetWidth(width);
  SetHeight(height);
  Frame().SetStyle(fsDouble);
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
}

void ProvideShapeClasses() {
  ProvideReportClass("TpgwCustomLineView", &TpgwCustomLineView::StaticClassInfo);
  ProvideReportClass("TpgwLineView", &TpgwLineView::StaticClassInfo);
  ProvideReportClass("TpgwShapeView", &TpgwShapeView::StaticClassInfo);
}

}  // namespace pagewright
