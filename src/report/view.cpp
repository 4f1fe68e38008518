#include "report/view.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "render/colors.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

// ---- enumerations ---------------------------------------------------------------------------------

const TEnumInfo& TpgwFrameStyleInfo() {
  static const TEnumInfo info("TpgwFrameStyle", {"fsSolid", "fsDash", "fsDot", "fsDashDot", "fsDashDotDot",
                                                 "fsDouble", "fsAltDot", "fsSquare"});
  return info;
}
const TEnumInfo& TpgwFrameTypesInfo() {
  static const TEnumInfo info("TpgwFrameType", {"ftLeft", "ftRight", "ftTop", "ftBottom"});
  return info;
}
const TEnumInfo& TpgwFillTypeInfo() {
  static const TEnumInfo info("TpgwFillType", {"ftBrush", "ftGradient", "ftGlass"});
  return info;
}
const TEnumInfo& TpgwBrushStyleInfo() {
  static const TEnumInfo info("TBrushStyle", {"bsSolid", "bsClear", "bsHorizontal", "bsVertical",
                                              "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"});
  return info;
}
const TEnumInfo& TpgwGradientStyleInfo() {
  static const TEnumInfo info("TpgwGradientStyle", {"gsHorizontal", "gsVertical", "gsElliptic", "gsRectangle",
                                                    "gsVertCenter", "gsHorizCenter"});
  return info;
}
const TEnumInfo& TpgwFillOrientationInfo() {
  static const TEnumInfo info("TpgwFillOrientation",
                              {"foVertical", "foHorizontal", "foVerticalMirror", "foHorizontalMirror"});
  return info;
}
const TEnumInfo& TpgwHyperlinkKindInfo() {
  static const TEnumInfo info("TpgwHyperlinkKind", {"hkURL", "hkAnchor", "hkPageNumber", "hkDetailReport",
                                                    "hkDetailPage", "hkCustom", "hkNone"});
  return info;
}
const TEnumInfo& TpgwShiftModeInfo() {
  static const TEnumInfo info("TpgwShiftMode", {"smDontShift", "smAlways", "smWhenOverlapped"});
  return info;
}
const TEnumInfo& TpgwVisibilityTypesInfo() {
  static const TEnumInfo info("TpgwVisibilityType", {"vsPreview", "vsExport", "vsPrint"});
  return info;
}
const TEnumInfo& TpgwStretchModeInfo() {
  static const TEnumInfo info("TpgwStretchMode", {"smDontStretch", "smActualHeight", "smMaxHeight"});
  return info;
}
const TEnumInfo& TpgwProcessAtModeInfo() {
  static const TEnumInfo info("TpgwProcessAtMode",
                              {"paDefault", "paReportFinished", "paReportPageFinished", "paPageFinished",
                               "paColumnFinished", "paDataFinished", "paGroupFinished", "paCustom"});
  return info;
}

int MulDivRound(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  const int64_t n = a * b;
  const bool negative = (n < 0) != (c < 0);
  const int64_t an = n < 0 ? -n : n, ac = c < 0 ? -c : c;
  const int64_t q = (an + ac / 2) / ac;
  return static_cast<int>(negative ? -q : q);
}

namespace {

int Round(Extended v) {
  return static_cast<int>(RoundHalfEven(v));
}

// Keeps the canvas's pen, brush and background mode, and puts them back on leaving.
class TCanvasStateGuard {
 public:
  explicit TCanvasStateGuard(TCanvas& c)
      : FCanvas(c), FPen(c.Pen()), FBrushColor(c.Brush().Color()), FBrushStyle(c.Brush().Style()) {}
  ~TCanvasStateGuard() {
    FCanvas.Pen() = FPen;
    FCanvas.Brush().SetColor(FBrushColor);
    FCanvas.Brush().SetStyle(FBrushStyle);
  }
  TCanvasStateGuard(const TCanvasStateGuard&) = delete;
  TCanvasStateGuard& operator=(const TCanvasStateGuard&) = delete;

 private:
  TCanvas& FCanvas;
  TPen FPen;
  TColor FBrushColor;
  TBrushStyle FBrushStyle;
};

void SolidBrush(TCanvas& c, TColor color) {
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(color);
}

// A hatch of `color` over (x, y, x1, y1) (the rectangle's right and bottom pixels excluded as a
// pen-less rectangle does), transparent between the hatch lines.
void LayHatch(TCanvas& c, TBrushStyle style, TColor color, int x, int y, int x1, int y1) {
  c.Brush().SetStyle(style);
  c.Brush().SetColor(color);
  c.SetBkMode(TRANSPARENT);
  c.Pen().SetStyle(psClear);
  c.Rectangle(x, y, x1, y1);
}

TColor ChannelMix(TColor start, TColor end, int i, int n) {
  const TColor s = ColorToRGB(start), e = ColorToRGB(end);
  auto ch = [&](int a, int b) { return std::clamp(a + MulDivRound(i, b - a, n), 0, 255); };
  return RGBColor(static_cast<uint8_t>(ch(GetRValue(s), GetRValue(e))),
                  static_cast<uint8_t>(ch(GetGValue(s), GetGValue(e))),
                  static_cast<uint8_t>(ch(GetBValue(s), GetBValue(e))));
}

}  // namespace

// ---- frame lines ------------------------------------------------------------------------------------

const TClassInfo& TpgwFrameLine::StaticClassInfo() {
  using T = TpgwFrameLine;
  static const TClassInfo& info = Describe<T>("TpgwFrameLine")
                                      .Parent<TPersistent>()
                                      .Color("Color", &T::Color, &T::SetColor)
                                      .Stored(&T::IsColorStored)
                                      .Enum("Style", &T::Style, &T::SetStyle, TpgwFrameStyleInfo())
                                      .Stored(&T::IsStyleStored)
                                      .Float("Width", &T::Width, &T::SetWidth)
                                      .Range(-kMaxGeometry, kMaxGeometry)
                                      .Stored(&T::IsWidthStored)
                                      .Build();
  return info;
}
const TClassInfo& TpgwFrameLine::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwFrameLine::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwFrameLine*>(&source)) {
    FColor = s->FColor;
    FStyle = s->FStyle;
    FWidth = s->FWidth;
    return;
  }
  TPersistent::Assign(source);
}

bool TpgwFrameLine::IsColorStored() const {
  return !FFrame || FColor != FFrame->Color();
}
bool TpgwFrameLine::IsStyleStored() const {
  return !FFrame || FStyle != FFrame->Style();
}
bool TpgwFrameLine::IsWidthStored() const {
  return !FFrame || FWidth != FFrame->Width();
}

// ---- frame ----------------------------------------------------------------------------------------

TpgwFrame::TpgwFrame() = default;

const TClassInfo& TpgwFrame::StaticClassInfo() {
  using T = TpgwFrame;
  static const TClassInfo& info =
      Describe<T>("TpgwFrame")
          .Parent<TPersistent>()
          .Color("Color", &T::Color, &T::SetColor)
          .Default(0)
          .Boolean("DropShadow", &T::DropShadow, &T::SetDropShadow)
          .Default(false)
          .Color("ShadowColor", &T::ShadowColor, &T::SetShadowColor)
          .Default(0)
          .Float("ShadowWidth", &T::ShadowWidth, &T::SetShadowWidth)
          .Default(4)
          .Stored(&T::IsShadowWidthStored)
          .Enum("Style", &T::Style, &T::SetStyle, TpgwFrameStyleInfo())
          .Default(fsSolid)
          .Integer("Typ", &T::TypBits, &T::SetTypBits)
          .Float("Width", &T::Width, &T::SetWidth)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Default(1)
          .Stored(&T::IsWidthStored)
          .Object("LeftLine", static_cast<TpgwFrameLine& (T::*)()>(&T::LeftLine), &T::SetLeftLine)
          .Object("TopLine", static_cast<TpgwFrameLine& (T::*)()>(&T::TopLine), &T::SetTopLine)
          .Object("RightLine", static_cast<TpgwFrameLine& (T::*)()>(&T::RightLine), &T::SetRightLine)
          .Object("BottomLine", static_cast<TpgwFrameLine& (T::*)()>(&T::BottomLine), &T::SetBottomLine)
          .Build();
  return info;
}
const TClassInfo& TpgwFrame::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwFrame::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwFrame*>(&source)) {
    FColor = s->FColor;
    FDropShadow = s->FDropShadow;
    FShadowColor = s->FShadowColor;
    FShadowWidth = s->FShadowWidth;
    FStyle = s->FStyle;
    FTyp = s->FTyp;
    FWidth = s->FWidth;
    FLeftLine.Assign(s->FLeftLine);
    FTopLine.Assign(s->FTopLine);
    FRightLine.Assign(s->FRightLine);
    FBottomLine.Assign(s->FBottomLine);
    return;
  }
  TPersistent::Assign(source);
}

bool TpgwFrame::SameAs(const TpgwFrame& o) const {
  auto same = [](const TpgwFrameLine& a, const TpgwFrameLine& b) {
    return a.Color() == b.Color() && a.Style() == b.Style() && a.Width() == b.Width();
  };
  return FColor == o.FColor && FDropShadow == o.FDropShadow && FShadowColor == o.FShadowColor &&
         FShadowWidth == o.FShadowWidth && FStyle == o.FStyle && FTyp == o.FTyp && FWidth == o.FWidth &&
         same(FLeftLine, o.FLeftLine) && same(FTopLine, o.FTopLine) && same(FRightLine, o.FRightLine) &&
         same(FBottomLine, o.FBottomLine);
}

void TpgwFrame::SetColor(TColor v) {
  FColor = v;
  for (TpgwFrameLine* l : {&FLeftLine, &FTopLine, &FRightLine, &FBottomLine}) l->SetColor(v);
}
void TpgwFrame::SetStyle(TpgwFrameStyle v) {
  FStyle = v;
  for (TpgwFrameLine* l : {&FLeftLine, &FTopLine, &FRightLine, &FBottomLine}) l->SetStyle(v);
}
void TpgwFrame::SetWidth(Extended v) {
  FWidth = v;
  for (TpgwFrameLine* l : {&FLeftLine, &FTopLine, &FRightLine, &FBottomLine}) l->SetWidth(v);
}

void TpgwFrame::MirrorHorizontally() {
  TpgwFrameLine tmp;
  tmp.Assign(FLeftLine);
  FLeftLine.Assign(FRightLine);
  FRightLine.Assign(tmp);
  const bool l = FTyp.Contains(ftLeft), r = FTyp.Contains(ftRight);
  FTyp.Exclude(ftLeft).Exclude(ftRight);
  if (l) FTyp.Include(ftRight);
  if (r) FTyp.Include(ftLeft);
}

void TpgwFrame::MirrorVertically() {
  TpgwFrameLine tmp;
  tmp.Assign(FTopLine);
  FTopLine.Assign(FBottomLine);
  FBottomLine.Assign(tmp);
  const bool t = FTyp.Contains(ftTop), b = FTyp.Contains(ftBottom);
  FTyp.Exclude(ftTop).Exclude(ftBottom);
  if (t) FTyp.Include(ftBottom);
  if (b) FTyp.Include(ftTop);
}

void DrawThickLine(TCanvas& canvas, int x1, int y1, int x2, int y2, int w) {
  if (w <= 0) w = 1;
  const bool horizontal = std::abs(x2 - x1) > std::abs(y2 - y1);
  for (int o = -(w / 2); o <= (w - 1) / 2; ++o) {
    if (horizontal) {
      canvas.MoveTo(x1, y1 + o);
      canvas.LineTo(x2, y2 + o);
    } else {
      canvas.MoveTo(x1 + o, y1);
      canvas.LineTo(x2 + o, y2);
    }
  }
}

namespace {

// One side of a frame: its end points, the direction towards the outside of the frame and
// whether the adjoining sides at its start and end carry lines.
struct TSide {
  int x1, y1, x2, y2;
  bool vertical;
  int outside;  // -1: towards smaller coordinates, +1: larger
  bool joinStart, joinEnd;
};

void StampDots(TCanvas& c, const TSide& s, int w, bool round) {
  // Stamps of size w every 2w pixels along the side, centred on the line.
  c.Pen().SetStyle(psClear);
  const int from = s.vertical ? s.y1 : s.x1, to = s.vertical ? s.y2 : s.x2;
  for (int p = from; p <= to; p += 2 * w) {
    const int cx = s.vertical ? s.x1 : p, cy = s.vertical ? p : s.y1;
    const TRect r = Rect(cx - w / 2, cy - w / 2, cx - w / 2 + w, cy - w / 2 + w);
    if (round)
      c.Ellipse(Rect(r.Left, r.Top, r.Right + 1, r.Bottom + 1));
    else
      c.FillRect(r);
  }
}

void DrawSide(TCanvas& c, const TpgwFrameLine& line, TSide s, Extended scaleX) {
  const int w = Round(line.Width() * scaleX);
  const TpgwFrameStyle style = line.Style();
  const TColor color = line.Color();
  if (IsNoColor(color)) return;

  if (style == fsSolid || style == fsDouble) {
    // An end without an adjoining line is pulled in so that the square end is flush with the
    // corner; where a line adjoins, the ends overlap and fill the corner.
    const int half = w / 2;
    int a1 = s.vertical ? s.y1 : s.x1, a2 = s.vertical ? s.y2 : s.x2;
    if (!s.joinStart) a1 += half;
    if (!s.joinEnd) a2 -= half;
    c.Pen().SetStyle(psSolid);
    c.Pen().SetColor(color);
    c.Pen().SetWidth(std::max(1, w));
    c.Pen().SetEndCap(pecSquare);
    c.Pen().SetMode(pmCopy);
    auto line_at = [&](int across, int from, int to) {
      if (s.vertical) {
        c.MoveTo(across, from);
        c.LineTo(across, to);
      } else {
        c.MoveTo(from, across);
        c.LineTo(to, across);
      }
    };
    const int across = s.vertical ? s.x1 : s.y1;
    if (style == fsSolid) {
      line_at(across, a1, a2);
      return;
    }
    const int outer = across + s.outside * w, inner = across - s.outside * w;
    line_at(outer, a1 - (s.joinStart ? w : 0), a2 + (s.joinEnd ? w : 0));
    line_at(inner, a1 + (s.joinStart ? w : 0), a2 - (s.joinEnd ? w : 0));
    return;
  }

  switch (style) {
    case fsDash:
    case fsDot:
    case fsDashDot:
    case fsDashDotDot: {
      static constexpr TPenStyle kPen[] = {psSolid, psDash, psDot, psDashDot, psDashDotDot};
      c.Pen().SetWidth(1);
      c.Pen().SetStyle(kPen[style]);
      c.Pen().SetColor(color);
      c.Pen().SetMode(pmCopy);
      c.SetBkMode(TRANSPARENT);
      DrawThickLine(c, s.x1, s.y1, s.x2, s.y2, w);
      return;
    }
    case fsAltDot:
    case fsSquare:
      if (w <= 1) {
        c.Pen().SetWidth(1);
        c.Pen().SetUserPattern({1, 1});
        c.Pen().SetColor(color);
        c.Pen().SetMode(pmCopy);
        c.SetBkMode(TRANSPARENT);
        c.MoveTo(s.x1, s.y1);
        c.LineTo(s.x2, s.y2);
        return;
      }
      SolidBrush(c, color);
      StampDots(c, s, w, style == fsAltDot);
      return;
    default:
      return;
  }
}

}  // namespace

void TpgwFrame::Draw(TCanvas& canvas, int x, int y, int x1, int y1, Extended scaleX, Extended scaleY) const {
  TCanvasStateGuard guard(canvas);
  if (FDropShadow && !IsNoColor(FShadowColor)) {
    // Inside the object's bounds: CalcDeviceRect has already taken the shadow off (x1, y1).
    const int s = Round(FShadowWidth * scaleX), t = Round(FShadowWidth * scaleY);
    SolidBrush(canvas, FShadowColor);
    if (s > 0) canvas.FillRect(Rect(x1, y + s, x1 + s, y1));
    if (t > 0) canvas.FillRect(Rect(x + t, y1, x1 + t, y1 + t));
  }
  if (FTyp.Empty() || IsNoColor(FColor) || FWidth == 0) return;

  const bool l = FTyp.Contains(ftLeft), r = FTyp.Contains(ftRight), t = FTyp.Contains(ftTop),
             b = FTyp.Contains(ftBottom);
  auto penWidth = [&](const TpgwFrameLine& line) { return Round(line.Width() * scaleX); };
  if (l) {
    TSide s{x, y, x, y1, true, -1, t, b};
    if (penWidth(FLeftLine) == 2 && FLeftLine.Style() != fsSolid) --s.y1;
    DrawSide(canvas, FLeftLine, s, scaleX);
  }
  if (r) DrawSide(canvas, FRightLine, TSide{x1, y, x1, y1, true, +1, t, b}, scaleX);
  if (t) DrawSide(canvas, FTopLine, TSide{x, y, x1, y, false, -1, l, r}, scaleX);
  if (b) {
    TSide s{x, y1, x1, y1, false, +1, l, r};
    if (penWidth(FBottomLine) == 1 && FBottomLine.Style() != fsSolid) ++s.x2;
    DrawSide(canvas, FBottomLine, s, scaleX);
  }
}

// ---- fills ----------------------------------------------------------------------------------------

const TClassInfo& TpgwBaseFill::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwBaseFill>("TpgwBaseFill").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TpgwBaseFill::ClassInfo() const {
  return StaticClassInfo();
}

std::unique_ptr<TpgwBaseFill> CreateFill(TpgwFillType kind) {
  switch (kind) {
    case ftGradient:
      return std::make_unique<TpgwGradientFill>();
    case ftGlass:
      return std::make_unique<TpgwGlassFill>();
    default:
      return std::make_unique<TpgwBrushFill>();
  }
}

const TClassInfo& TpgwBrushFill::StaticClassInfo() {
  using T = TpgwBrushFill;
  static const TClassInfo& info = Describe<T>("TpgwBrushFill")
                                      .Parent<TpgwBaseFill>()
                                      .Color("BackColor", &T::BackColor, &T::SetBackColor)
                                      .Default(clNone)
                                      .Color("ForeColor", &T::ForeColor, &T::SetForeColor)
                                      .Default(0)
                                      .Enum("Style", &T::Style, &T::SetStyle, TpgwBrushStyleInfo())
                                      .Default(bsSolid)
                                      .Build();
  return info;
}
const TClassInfo& TpgwBrushFill::ClassInfo() const {
  return StaticClassInfo();
}
void TpgwBrushFill::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwBrushFill*>(&source)) {
    FBackColor = s->FBackColor;
    FForeColor = s->FForeColor;
    FStyle = s->FStyle;
    return;
  }
  TPersistent::Assign(source);
}
std::unique_ptr<TpgwBaseFill> TpgwBrushFill::Clone() const {
  auto f = std::make_unique<TpgwBrushFill>();
  f->Assign(*this);
  return f;
}
bool TpgwBrushFill::SameAs(const TpgwBaseFill& o) const {
  auto* b = dynamic_cast<const TpgwBrushFill*>(&o);
  return b && b->FBackColor == FBackColor && b->FForeColor == FForeColor && b->FStyle == FStyle;
}

void TpgwBrushFill::Draw(TCanvas& c, int x, int y, int x1, int y1) const {
  TCanvasStateGuard guard(c);
  if (!IsNoColor(FBackColor)) {
    SolidBrush(c, FBackColor);
    c.FillRect(Rect(x, y, x1, y1));
  }
  if (FStyle >= bsHorizontal && FStyle <= bsDiagCross && !IsNoColor(FForeColor))
    LayHatch(c, FStyle, FForeColor, x, y, x1 + 1, y1 + 1);
}

const TClassInfo& TpgwGradientFill::StaticClassInfo() {
  using T = TpgwGradientFill;
  static const TClassInfo& info =
      Describe<T>("TpgwGradientFill")
          .Parent<TpgwBaseFill>()
          .Color("StartColor", &T::StartColor, &T::SetStartColor)
          .Default(clWhite)
          .Color("EndColor", &T::EndColor, &T::SetEndColor)
          .Default(0)
          .Enum("GradientStyle", &T::GradientStyle, &T::SetGradientStyle, TpgwGradientStyleInfo())
          .Build();
  return info;
}
const TClassInfo& TpgwGradientFill::ClassInfo() const {
  return StaticClassInfo();
}
void TpgwGradientFill::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwGradientFill*>(&source)) {
    FStartColor = s->FStartColor;
    FEndColor = s->FEndColor;
    FGradientStyle = s->FGradientStyle;
    return;
  }
  TPersistent::Assign(source);
}
std::unique_ptr<TpgwBaseFill> TpgwGradientFill::Clone() const {
  auto f = std::make_unique<TpgwGradientFill>();
  f->Assign(*this);
  return f;
}
bool TpgwGradientFill::SameAs(const TpgwBaseFill& o) const {
  auto* g = dynamic_cast<const TpgwGradientFill*>(&o);
  return g && g->FStartColor == FStartColor && g->FEndColor == FEndColor &&
         g->FGradientStyle == FGradientStyle;
}
TColor TpgwGradientFill::StepColor(int i, int n) const {
  return ChannelMix(FStartColor, FEndColor, i, n);
}
TColor TpgwGradientFill::MainColor() const {
  return StepColor(127, 255);
}

void TpgwGradientFill::Draw(TCanvas& c, int x, int y, int x1, int y1) const {
  TCanvasStateGuard guard(c);
  const int W = x1 - x, H = y1 - y;
  c.Pen().SetStyle(psClear);
  switch (FGradientStyle) {
    case gsHorizontal:
      for (int i = 0; i < 256; ++i) {
        SolidBrush(c, StepColor(i, 255));
        c.FillRect(Rect(x + MulDivRound(i, W, 256), y, x + MulDivRound(i + 1, W, 256), y1));
      }
      break;
    case gsVertical:
      for (int i = 0; i < 256; ++i) {
        SolidBrush(c, StepColor(i, 255));
        c.FillRect(Rect(x, y + MulDivRound(i, H, 256), x1, y + MulDivRound(i + 1, H, 256)));
      }
      break;
    case gsRectangle: {
      const Extended dx = static_cast<Extended>(W) / 2 / 255, dy = static_cast<Extended>(H) / 2 / 255;
      Extended l = x, t = y, r = x1, b = y1;
      for (int i = 0; i < 256; ++i) {
        SolidBrush(c, StepColor(i, 255));
        c.FillRect(Rect(static_cast<int>(Trunc(l)), static_cast<int>(Trunc(t)), static_cast<int>(Trunc(r)),
                        static_cast<int>(Trunc(b))));
        l += dx;
        t += dy;
        r -= dx;
        b -= dy;
      }
      break;
    }
    case gsElliptic: {
      const TClipRegion saved = c.GetClipRgn();
      c.IntersectClipRect(Rect(x, y, x1, y1));
      const Extended dx = static_cast<Extended>(W) * 3 / 4 / 155, dy = static_cast<Extended>(H) * 3 / 4 / 155;
      Extended l = x - static_cast<Extended>(W) / 4, t = y - static_cast<Extended>(H) / 4;
      Extended r = x1 + static_cast<Extended>(W) / 4, b = y1 + static_cast<Extended>(H) / 4;
      for (int i = 0; i < 156; ++i) {
        SolidBrush(c, StepColor(i, 155));
        c.Ellipse(Rect(static_cast<int>(Trunc(l)), static_cast<int>(Trunc(t)), static_cast<int>(Trunc(r)),
                       static_cast<int>(Trunc(b))));
        l += dx;
        t += dy;
        r -= dx;
        b -= dy;
      }
      c.SelectClipRgn(saved);
      break;
    }
    case gsVertCenter: {
      const int half = H / 2;
      for (int i = 0; i <= half; ++i) {
        SolidBrush(c, half == 0 ? ColorToRGB(FStartColor) : StepColor(i, half));
        c.FillRect(Rect(x, y + i, x1, y + i + 1));
        c.FillRect(Rect(x, y1 - 1 - i, x1, y1 - i));
      }
      break;
    }
    case gsHorizCenter: {
      const int half = W / 2;
      for (int i = 0; i <= half; ++i) {
        SolidBrush(c, half == 0 ? ColorToRGB(FStartColor) : StepColor(i, half));
        c.FillRect(Rect(x + i, y, x + i + 1, y1));
        c.FillRect(Rect(x1 - 1 - i, y, x1 - i, y1));
      }
      break;
    }
  }
}

const TClassInfo& TpgwGlassFill::StaticClassInfo() {
  using T = TpgwGlassFill;
  static const TClassInfo& info =
      Describe<T>("TpgwGlassFill")
          .Parent<TpgwBaseFill>()
          .Color("Color", &T::Color, &T::SetColor)
          .Float("Blend", &T::Blend, &T::SetBlend)
          .Boolean("Hatch", &T::Hatch, &T::SetHatch)
          .Default(false)
          .Enum("Orientation", &T::Orientation, &T::SetOrientation, TpgwFillOrientationInfo())
          .Default(foHorizontal)
          .Build();
  return info;
}
const TClassInfo& TpgwGlassFill::ClassInfo() const {
  return StaticClassInfo();
}
void TpgwGlassFill::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwGlassFill*>(&source)) {
    FColor = s->FColor;
    FBlend = s->FBlend;
    FHatch = s->FHatch;
    FOrientation = s->FOrientation;
    return;
  }
  TPersistent::Assign(source);
}
std::unique_ptr<TpgwBaseFill> TpgwGlassFill::Clone() const {
  auto f = std::make_unique<TpgwGlassFill>();
  f->Assign(*this);
  return f;
}
bool TpgwGlassFill::SameAs(const TpgwBaseFill& o) const {
  auto* g = dynamic_cast<const TpgwGlassFill*>(&o);
  return g && g->FColor == FColor && g->FBlend == FBlend && g->FHatch == FHatch &&
         g->FOrientation == FOrientation;
}
TColor TpgwGlassFill::BlendColor() const {
  const TColor c = ColorToRGB(FColor);
  auto ch = [&](int v) {
    return static_cast<uint8_t>(std::min<int64_t>(255, v + RoundHalfEven((255 - v) * FBlend)));
  };
  return RGBColor(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

void TpgwGlassFill::Draw(TCanvas& c, int x, int y, int x1, int y1) const {
  if (IsNoColor(FColor)) return;
  TCanvasStateGuard guard(c);
  SolidBrush(c, FColor);
  c.FillRect(Rect(x, y, x1, y1));
  const TColor blend = BlendColor();
  const int hw = (x1 - x) / 2, hh = (y1 - y) / 2;
  SolidBrush(c, blend);
  switch (FOrientation) {
    case foVertical:
      c.FillRect(Rect(x, y, x + hw, y1));
      break;
    case foHorizontal:
      c.FillRect(Rect(x, y, x1, y + hh));
      break;
    case foVerticalMirror:
      c.FillRect(Rect(x + hw, y, x1, y1));
      break;
    case foHorizontalMirror:
      c.FillRect(Rect(x, y + hh, x1, y1));
      break;
  }
  if (FHatch) {
    // Six darker in each channel; a channel below 6 stops at 0 rather than borrowing from the
    // next one.
    auto dark = [](uint8_t v) { return static_cast<uint8_t>(v >= 6 ? v - 6 : 0); };
    const TColor hatch = RGBColor(dark(GetRValue(blend)), dark(GetGValue(blend)), dark(GetBValue(blend)));
    LayHatch(c, bsBDiagonal, hatch, x, y, x1 + 1, y1 + 1);
  }
}

// ---- hyperlink --------------------------------------------------------------------------------------

const TClassInfo& TpgwHyperlink::StaticClassInfo() {
  using T = TpgwHyperlink;
  static const TClassInfo& info = Describe<T>("TpgwHyperlink")
                                      .Parent<TPersistent>()
                                      .Enum("Kind", &T::Kind, &T::SetKind, TpgwHyperlinkKindInfo())
                                      .Default(hkURL)
                                      .String("DetailReport", &T::DetailReport, &T::SetDetailReport)
                                      .String("DetailPage", &T::DetailPage, &T::SetDetailPage)
                                      .String("Expression", &T::Expression, &T::SetExpression)
                                      .String("ReportVariable", &T::ReportVariable, &T::SetReportVariable)
                                      .String("TabCaption", &T::TabCaption, &T::SetTabCaption)
                                      .String("Value", &T::Value, &T::SetValue)
                                      .String("ValuesSeparator", &T::ValuesSeparator, &T::SetValuesSeparator)
                                      .Stored(&T::IsValuesSeparatorStored)
                                      .Build();
  return info;
}
const TClassInfo& TpgwHyperlink::ClassInfo() const {
  return StaticClassInfo();
}
void TpgwHyperlink::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwHyperlink*>(&source)) {
    FKind = s->FKind;
    FDetailReport = s->FDetailReport;
    FDetailPage = s->FDetailPage;
    FExpression = s->FExpression;
    FReportVariable = s->FReportVariable;
    FTabCaption = s->FTabCaption;
    FValue = s->FValue;
    FValuesSeparator = s->FValuesSeparator;
    return;
  }
  TPersistent::Assign(source);
}

bool TpgwHyperlink::IsEmpty() const {
  switch (FKind) {
    case hkURL:
    case hkAnchor:
    case hkPageNumber:
      return FValue.empty();
    case hkDetailPage:
      return FDetailPage.empty();
    case hkDetailReport:
      return FDetailReport.empty();
    case hkNone:
      return true;
    default:
      return false;
  }
}

void TpgwHyperlink::SetURL(const WideString& v) {
  if (!v.empty() && v[0] == u'@') {
    FKind = hkPageNumber;
    FValue = v.substr(1);
  } else if (!v.empty() && v[0] == u'#') {
    FKind = hkAnchor;
    FValue = v.substr(1);
  } else {
    FKind = hkURL;
    FValue = v;
  }
}

// ---- expression evaluation ----------------------------------------------------------------------------

Variant ReportCalc(TpgwReport& report, const WideString& expression) {
  return report.Calc(expression);
}

WideString FindBracketedExpression(const WideString& text, std::u16string_view open,
                                   std::u16string_view close, int& i, int& j) {
  j = i;
  const int n = static_cast<int>(text.size());
  if (open.empty() || close.empty() || i < 0 || i >= n) return WideString();
  const std::u16string_view t(text);
  if (t.substr(static_cast<size_t>(i)).substr(0, open.size()) != open) return WideString();
  int count = 0;
  bool outSingle = true, outDouble = true;
  int k = i;
  int start = i;
  do {
    const std::u16string_view rest = t.substr(static_cast<size_t>(k));
    if (outSingle && outDouble) {
      if (rest.substr(0, open.size()) == open) {
        if (count == 0) start = k;
        ++count;
      } else if (rest.substr(0, close.size()) == close) {
        --count;
      }
    }
    if (outSingle && t[static_cast<size_t>(k)] == u'"')
      outDouble = !outDouble;
    else if (outDouble && t[static_cast<size_t>(k)] == u'\'')
      outSingle = !outSingle;
    ++k;
  } while (count != 0 && k < n);
  // An unterminated expression is not an expression.
  if (count != 0) return WideString();
  i = start;
  const int innerStart = i + static_cast<int>(open.size());
  const int innerEnd = k - 1;  // the closing delimiter starts here
  j = innerEnd + static_cast<int>(close.size()) - 1;
  return innerEnd > innerStart
             ? text.substr(static_cast<size_t>(innerStart), static_cast<size_t>(innerEnd - innerStart))
             : WideString();
}

// ---- views ------------------------------------------------------------------------------------------

TpgwView::TpgwView(TComponent* owner)
    : TpgwReportComponent(owner),
      FHyperlink(std::make_unique<TpgwHyperlink>()),
      FFrame(std::make_unique<TpgwFrame>()),
      FFill(std::make_unique<TpgwBrushFill>()) {
  SetpwComponentStyle(pwComponentStyle() + TpgwComponentStyle{csDefaultDiff});
}

TpgwView::~TpgwView() = default;

const TClassInfo& TpgwView::StaticClassInfo() {
  using T = TpgwView;
  static const TClassInfo& info =
      Describe<T>("TpgwView")
          .Parent<TpgwReportComponent>()
          .Abstract()
          .SetOf("Anchors", &T::Anchors, &T::SetAnchors, TpgwAnchorsInfo())
          .Default(TpgwAnchors{fraLeft, fraTop})
          .Boolean("AllowMirrorMode", &T::AllowMirrorMode, &T::SetAllowMirrorMode)
          .Default(false)
          .Enum("Align", &T::Align, &T::SetAlign, TpgwAlignInfo())
          .Default(baNone)
          .Boolean("AllowVectorExport", &T::AllowVectorExport, &T::SetAllowVectorExport)
          .Boolean("Printable", &T::Printable, &T::SetPrintable)
          .Default(true)
          .Stored(false)
          .Enum("ShiftMode", &T::ShiftMode, &T::SetShiftMode, TpgwShiftModeInfo())
          .Default(smAlways)
          .Float("Left", &T::Left, &T::SetLeft)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Float("Top", &T::Top, &T::SetTop)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Float("Width", &T::Width, &T::SetWidth)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Float("Height", &T::Height, &T::SetHeight)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Integer("GroupIndex", &T::GroupIndex, &T::SetGroupIndex)
          .Default(0)
          .SetOf("Editable", &T::Editable, &T::SetEditable, TpgwEditRightsInfo())
          .Default(TpgwEditRights{})
          .SetOf("Restrictions", &T::Restrictions, &T::SetRestrictions, TpgwRestrictionsInfo())
          .Default(TpgwRestrictions{})
          .Boolean("Visible", &T::Visible, &T::SetVisible)
          .Default(true)
          .Event("OnAfterData", &T::OnAfterData, &T::SetOnAfterData)
          .Event("OnAfterPrint", &T::OnAfterPrint, &T::SetOnAfterPrint)
          .Event("OnBeforePrint", &T::OnBeforePrint, &T::SetOnBeforePrint)
          .Event("OnContentChanged", &T::OnContentChanged, &T::SetOnContentChanged)
          .Event("OnMouseEnter", &T::OnMouseEnter, &T::SetOnMouseEnter)
          .Event("OnMouseLeave", &T::OnMouseLeave, &T::SetOnMouseLeave)
          .Event("OnMouseDown", &T::OnMouseDown, &T::SetOnMouseDown)
          .Event("OnMouseMove", &T::OnMouseMove, &T::SetOnMouseMove)
          .Event("OnMouseUp", &T::OnMouseUp, &T::SetOnMouseUp)
          .Event("OnPreviewClick", &T::OnPreviewClick, &T::SetOnPreviewClick)
          .Event("OnPreviewDblClick", &T::OnPreviewDblClick, &T::SetOnPreviewDblClick)
          .Object("Hyperlink", static_cast<TpgwHyperlink& (T::*)()>(&T::Hyperlink), &T::SetHyperlink)
          .String("Hint", &T::Hint, &T::SetHint)
          .Boolean("ShowHint", &T::ShowHint, &T::SetShowHint)
          .Default(false)
          .SetOf("Visibility", &T::Visibility, &T::SetVisibility, TpgwVisibilityTypesInfo())
          .Default(TpgwVisibilityTypes{vsPreview, vsExport, vsPrint})
          .Build();
  return info;
}
const TClassInfo& TpgwView::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwView::SetPrintable(bool v) {
  if (v)
    FVisibility.Include(vsPrint);
  else
    FVisibility.Exclude(vsPrint);
}

void TpgwView::SetColor(TColor v) {
  if (auto* b = dynamic_cast<TpgwBrushFill*>(FFill.get()))
    b->SetBackColor(v);
  else if (auto* g = dynamic_cast<TpgwGlassFill*>(FFill.get()))
    g->SetColor(v);
}

void TpgwView::SetFillType(TpgwFillType v) {
  if (FFill->FillType() != v) FFill = CreateFill(v);
}

void TpgwView::SetFill(const TpgwBaseFill& v) {
  SetFillType(v.FillType());
  FFill->Assign(v);
}

void TpgwView::SetDataSet(TComponent* v) {
  if (FDataSet == v) return;
  Relink(FDataSet, v);
  FDataSetName = v ? DataSetUserName(v) : WideString();
}

void TpgwView::SetDataSetName(const WideString& v) {
  FDataSetName = v;
  Relink(FDataSet, FindDataSet(FDataSet, v));
}

void TpgwView::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FDataSet) FDataSet = nullptr;
  TpgwReportComponent::Notification(c, op);
}

void TpgwView::Draw(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) {
  if (canvas) Draw(*static_cast<TCanvas*>(canvas), scaleX, scaleY, offsetX, offsetY);
}

void TpgwView::Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) {
  CalcDeviceRect(canvas, scaleX, scaleY, offsetX, offsetY);
  DrawBackgroundFill();
  DrawFrameLines();
}

void TpgwView::DrawClipped(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                           Extended offsetY) {
  Draw(canvas, scaleX, scaleY, offsetX, offsetY);
}

void TpgwView::CalcDeviceRect(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                              Extended offsetY) {
  FCanvas = &canvas;
  ScaleX = scaleX;
  ScaleY = scaleY;
  OffsetX = offsetX;
  OffsetY = offsetY;
  const Extended l = AbsLeft(), t = AbsTop();
  FX = Round(offsetX + scaleX * l);
  FY = Round(offsetY + scaleY * t);
  FX1 = Round(offsetX + scaleX * (l + Width()));
  FY1 = Round(offsetY + scaleY * (t + Height()));
  if (FFrame->DropShadow()) {
    FX1 -= Round(scaleX * FFrame->ShadowWidth());
    FY1 -= Round(scaleY * FFrame->ShadowWidth());
  }
  FDX = FX1 - FX;
  FDY = FY1 - FY;
  FrameWidth = Round(scaleX * FFrame->Width());
}

void TpgwView::DrawBackgroundFill() {
  if (!FCanvas || (FObjAsMetafile && !FDrawFillOnMetaFile)) return;
  const TpgwFrameTypes typ = FFrame->Typ();
  const Extended w = FFrame->Width();
  int x = FX, y = FY, x1 = FX1, y1 = FY1;
  const int wx = Round(w * ScaleX), wy = Round(w * ScaleY);
  if (typ.Contains(ftLeft)) x -= Round(w * ScaleX / 2);
  if (typ.Contains(ftTop)) y -= Round(w * ScaleY / 2);
  if (typ.Contains(ftRight)) x1 += Round(w * ScaleX / 2) + wx % 2;
  if (typ.Contains(ftBottom)) y1 += Round(w * ScaleY / 2) + wy % 2;
  FFill->Draw(*FCanvas, x, y, x1, y1);
}

void TpgwView::DrawFrameLines() {
  if (!FCanvas || FObjAsMetafile) return;
  FFrame->Draw(*FCanvas, FX, FY, FX1, FY1, ScaleX, ScaleY);
}

TpgwRect TpgwView::GetExportBounds() const {
  return TpgwRect{AbsLeft(), AbsTop(), AbsLeft() + Width(), AbsTop() + Height()};
}

TpgwRect TpgwView::GetRealBounds() const {
  TpgwRect r = TpgwReportComponent::GetRealBounds();
  const TpgwFrameTypes typ = FFrame->Typ();
  const Extended half = FFrame->Width() / 2;
  if (typ.Contains(ftLeft)) r.Left -= half;
  if (typ.Contains(ftTop)) r.Top -= half;
  if (typ.Contains(ftRight)) r.Right += half;
  if (typ.Contains(ftBottom)) r.Bottom += half;
  return r;
}

void TpgwView::MirrorContent(TpgwMirrorControlModes modes) {
  TpgwReportComponent::MirrorContent(modes);
  if (modes.Contains(mcmRTLAppearance)) FFrame->MirrorHorizontally();
  if (modes.Contains(mcmBTTAppearance)) FFrame->MirrorVertically();
}

void TpgwView::BeforePrint() {
  TpgwReportComponent::BeforePrint();
  FTempTag = FTagStr;
  FTempHyperlink = FHyperlink->Value();
  if (TpgwReport* r = Report()) r->SetCurObject(Name());
}

void TpgwView::AfterPrint() {
  TpgwReportComponent::AfterPrint();
  FTagStr = FTempTag;
  FHyperlink->SetValue(FTempHyperlink);
}

WideString TpgwView::ExpandBrackets(const WideString& text) {
  WideString s = text;
  TpgwReport* report = Report();
  size_t from = 0;
  for (;;) {
    const size_t p = s.find(u'[', from);
    if (p == WideString::npos) break;
    int i = static_cast<int>(p), j = i;
    const WideString inner = FindBracketedExpression(s, u"[", u"]", i, j);
    if (j == i) break;
    const WideString value = report ? VarToStr(ReportCalc(*report, inner)) : WideString();
    s.replace(static_cast<size_t>(i), static_cast<size_t>(j - i + 1), value);
    from = static_cast<size_t>(i) + value.size();
  }
  return s;
}

namespace {
std::vector<WideString> SplitBy(const WideString& s, const WideString& sep) {
  std::vector<WideString> parts;
  if (sep.empty()) {
    parts.push_back(s);
    return parts;
  }
  size_t start = 0;
  for (;;) {
    const size_t p = s.find(sep, start);
    if (p == WideString::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, p - start));
    start = p + sep.size();
  }
}
WideString JoinBy(const std::vector<WideString>& parts, const WideString& sep) {
  WideString out;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out += sep;
    out += parts[k];
  }
  return out;
}
}  // namespace

WideString TpgwView::QuoteForScript(const WideString& s) const {
  TpgwReport* r = Report();
  if (r && AsciiSameText(Utf16ToUtf8(r->ScriptLanguage()), "PascalScript")) {
    WideString quoted(1, u'"');
    quoted += StringReplace(s, u"\"", u"\\\"", TReplaceFlags{rfReplaceAll});
    quoted += u'"';
    return quoted;
  }
  return QuotedStr(s);
}

void TpgwView::GetData() {
  TpgwReport* report = Report();
  if (report) {
    report->SetCurObject(Name());
    // Expressions of this view and of its text see the view as Self.
    if (IpgwScriptService* script = report->Services().Script) script->SetSelf(*report, this);
  }
  if (FTagStr.find(u'[') != WideString::npos) FTagStr = ExpandBrackets(FTagStr);

  const WideString& sep = FHyperlink->ValuesSeparator();
  if (FHyperlink->Value().find(u'[') != WideString::npos) {
    std::vector<WideString> parts = SplitBy(FHyperlink->Value(), sep);
    for (WideString& p : parts) p = ExpandBrackets(p);
    FHyperlink->SetValue(JoinBy(parts, sep));
  }
  if (!FHyperlink->Expression().empty() && report) {
    std::vector<WideString> parts = SplitBy(FHyperlink->Expression(), sep);
    for (WideString& p : parts) {
      const Variant v = ReportCalc(*report, p);
      p = (FHyperlink->Kind() != hkURL && VarIsStr(v)) ? QuoteForScript(VarToStr(v)) : VarToStr(v);
    }
    FHyperlink->SetValue(JoinBy(parts, sep));
  }
  ProcessDataLink();
}

// ---- stretcheable -----------------------------------------------------------------------------------

const TClassInfo& TpgwStretcheable::StaticClassInfo() {
  static const TClassInfo& info =
      Describe<TpgwStretcheable>("TpgwStretcheable").Parent<TpgwView>().Abstract().Build();
  return info;
}
const TClassInfo& TpgwStretcheable::ClassInfo() const {
  return StaticClassInfo();
}

void ProvideViewClasses() {
  ProvideReportClass("TpgwFrame", &TpgwFrame::StaticClassInfo);
}

void RegisterViewClasses() {
  ProvideViewClasses();
  RegisterReportClasses();
}

}  // namespace pagewright
