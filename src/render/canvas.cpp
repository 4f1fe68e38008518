#include "render/canvas.h"

#include <algorithm>

namespace pagewright {

// ---------------------------------------------------------------------------------------------
// Clip regions

void TClipRegion::Intersect(const TRect& r) {
  FClipped = true;
  // Rectangles fold into one, so the usual narrowing keeps the region a single rectangle.
  for (auto& s : FShapes) {
    if (s.kind == TClipShape::ckRect) {
      TRect i = IntersectRect(s.rect, r);
      s.rect = i;
      return;
    }
  }
  TClipShape s;
  s.kind = TClipShape::ckRect;
  s.rect = r.IsEmpty() ? TRect{} : r;
  FShapes.insert(FShapes.begin(), std::move(s));
}

void TClipRegion::Intersect(const TClipShape& s) {
  if (s.kind == TClipShape::ckRect) return Intersect(s.rect);
  FClipped = true;
  FShapes.push_back(s);
}

void TClipRegion::Intersect(const TClipRegion& other) {
  if (!other.FClipped) return;
  FClipped = true;
  for (const auto& s : other.FShapes) Intersect(s);
}

TRect TClipRegion::Bounds() const {
  if (!FClipped) return TRect{};
  bool first = true;
  TRect b;
  for (const auto& s : FShapes) {
    TRect r = s.rect;
    if (s.kind == TClipShape::ckPolygon) {
      if (s.points.empty()) return TRect{};
      r = Rect(s.points[0].X, s.points[0].Y, s.points[0].X, s.points[0].Y);
      for (const auto& p : s.points) {
        r.Left = std::min(r.Left, p.X);
        r.Top = std::min(r.Top, p.Y);
        r.Right = std::max(r.Right, p.X + 1);
        r.Bottom = std::max(r.Bottom, p.Y + 1);
      }
    }
    b = first ? r : IntersectRect(b, r);
    first = false;
  }
  return b;
}

// ---------------------------------------------------------------------------------------------
// Canvas

namespace {
// Coordinates are kept within 28 bits, as the platform's graphics did, so that no width,
// height or product computed from them overflows.
constexpr int kCoordLimit = 1 << 27;
int ClampCoord(int v) {
  return std::clamp(v, -kCoordLimit, kCoordLimit);
}
TPoint Clamp(TPoint p) {
  return Point(ClampCoord(p.X), ClampCoord(p.Y));
}
TRect Clamp(const TRect& r) {
  return Rect(ClampCoord(r.Left), ClampCoord(r.Top), ClampCoord(r.Right), ClampCoord(r.Bottom));
}
// The points, clamped when any lies outside the limit (copied into store only then).
std::span<const TPoint> Clamp(std::span<const TPoint> pts, std::vector<TPoint>& store) {
  bool inside = std::all_of(pts.begin(), pts.end(), [](TPoint p) { return Clamp(p) == p; });
  if (inside) return pts;
  store.assign(pts.begin(), pts.end());
  for (TPoint& p : store) p = Clamp(p);
  return store;
}
}  // namespace

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::RealizeBrush() {
  if (FBrush.Version() == FRealizedBrush) return;
  FRealizedBrush = FBrush.Version();
  if (FBrush.Style() == bsSolid) {
    FBkMode = OPAQUE;
    FBkColor = FBrush.Color();
  } else {
    FBkMode = TRANSPARENT;
  }
}

int TCanvas::GetBkMode() {
  RealizeBrush();
  return FBkMode;
}
void TCanvas::SetBkMode(int mode) {
  RealizeBrush();
  FBkMode = mode == TRANSPARENT ? TRANSPARENT : OPAQUE;
}
TColor TCanvas::BkColor() {
  RealizeBrush();
  return FBkColor;
}
void TCanvas::SetBkColor(TColor c) {
  RealizeBrush();
  FBkColor = c;
}

void TCanvas::LineTo(int x, int y) {
  TPoint to = Point(x, y);
  RealizeBrush();
  DoLine(Clamp(FPenPos), Clamp(to));
  FPenPos = to;
}

void TCanvas::FillRect(const TRect& rect) {
  const TRect r = Clamp(rect);
  RealizeBrush();
  if (!r.IsEmpty()) DoFillRect(r);
}

void TCanvas::Rectangle(const TRect& rect) {
  const TRect r = Clamp(rect);
  RealizeBrush();
  if (!r.IsEmpty()) DoRectangle(r);
}

void TCanvas::FrameRect(const TRect& r) {
  if (r.IsEmpty()) return;
  // Four one-pixel edges in the brush colour, drawn as fills so they follow the brush.
  FillRect(Rect(r.Left, r.Top, r.Right, r.Top + 1));
  FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
  FillRect(Rect(r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1));
  FillRect(Rect(r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1));
}

void TCanvas::Polygon(std::span<const TPoint> points) {
  RealizeBrush();
  std::vector<TPoint> store;
  if (points.size() >= 2) DoPolygon(Clamp(points, store));
}

void TCanvas::Polyline(std::span<const TPoint> points) {
  RealizeBrush();
  std::vector<TPoint> store;
  if (points.size() >= 2) DoPolyline(Clamp(points, store));
}

void TCanvas::Ellipse(const TRect& rect) {
  const TRect r = Clamp(rect);
  RealizeBrush();
  if (!r.IsEmpty()) DoEllipse(r);
}

void TCanvas::RoundRect(const TRect& rect, int cornerW, int cornerH) {
  const TRect r = Clamp(rect);
  RealizeBrush();
  if (!r.IsEmpty()) DoRoundRect(r, std::clamp(cornerW, 0, kCoordLimit), std::clamp(cornerH, 0, kCoordLimit));
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  StretchDraw(Bounds(x, y, graphic.Width(), graphic.Height()), graphic);
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  const TRect r = Clamp(rect);
  if (graphic.Empty() || r.Width() == 0 || r.Height() == 0) return;
  DoDrawGraphic(r, graphic);
}

void TCanvas::DoDrawGraphic(const TRect& dest, const TGraphic& graphic) {
  graphic.Draw(*this, dest);
}

TSize TCanvas::GetTextExtentPoint(std::u16string_view text) {
  const TSizedFont& f = SelectedFont();
  return TSize{f.TextWidth(text), f.TextMetrics().tmHeight};
}

const TSizedFont& TCanvas::SelectedFont() {
  if (!FSelected || FSelectedHeight != FFont.Height() || FSelectedWidth != FFont.Width() ||
      FSelectedStyle != FFont.Style().Bits() || FSelectedName != FFont.Name()) {
    FSelected = &FindFont(FFont);
    FSelectedName = FFont.Name();
    FSelectedHeight = FFont.Height();
    FSelectedWidth = FFont.Width();
    FSelectedStyle = FFont.Style().Bits();
  }
  return *FSelected;
}

void TCanvas::ExtTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                         const int* dx) {
  RealizeBrush();
  if (!dx && !text.empty()) {
    FAdvances.resize(text.size());
    SelectedFont().GetTextExtentExPoint(text, FAdvances.data());
    for (size_t i = FAdvances.size(); i-- > 1;) FAdvances[i] -= FAdvances[i - 1];
    dx = FAdvances.data();
  }
  const TRect clip = rect ? Clamp(*rect) : TRect{};
  DoTextOut(ClampCoord(x), ClampCoord(y), options, rect ? &clip : nullptr, text, dx);
}

void TCanvas::TextOut(int x, int y, std::u16string_view text) {
  ExtTextOut(x, y, 0, nullptr, text, nullptr);
  const int64_t end = static_cast<int64_t>(x) + SelectedFont().TextWidth(text);
  MoveTo(static_cast<int>(std::clamp<int64_t>(end, -kCoordLimit, kCoordLimit)), y);
}

void TCanvas::SelectClipRgn(const TClipRegion& region) {
  FClip = TClipRegion::None();
  if (region.IsClipped()) {
    FClip = TClipRegion::FromRect(Rect(-kCoordLimit, -kCoordLimit, kCoordLimit, kCoordLimit));
    for (TClipShape shape : region.Shapes()) {
      shape.rect = Clamp(shape.rect);
      for (TPoint& p : shape.points) p = Clamp(p);
      FClip.Intersect(shape);
    }
  }
  DoClipChanged();
}

void TCanvas::IntersectClipRect(const TRect& r) {
  FClip.Intersect(Clamp(r));
  DoClipChanged();
}

void TCanvas::IntersectClipShape(const TClipShape& shapeIn) {
  TClipShape shape = shapeIn;
  shape.rect = Clamp(shape.rect);
  for (TPoint& p : shape.points) p = Clamp(p);
  FClip.Intersect(shape);
  DoClipChanged();
}

void TCanvas::CopyRect(const TRect& destRect, const TBitmap& source, const TRect& srcRect) {
  const TRect dest = Clamp(destRect), src = Clamp(srcRect);
  if (dest.Width() == 0 || dest.Height() == 0 || src.IsEmpty()) return;
  DoCopyRect(dest, source, src);
}

TRect TCanvas::ClipRect() const {
  TSize s = SurfaceSize();
  TRect whole = Rect(0, 0, s.cx, s.cy);
  if (!FClip.IsClipped()) return whole;
  return IntersectRect(FClip.Bounds(), whole);
}

// ---------------------------------------------------------------------------------------------

std::vector<int> DashPattern(TPenStyle style, const std::vector<int>& userPattern) {
  switch (style) {
    case psDash:
      return {18, 6};
    case psDot:
      return {3, 3};
    case psDashDot:
      return {9, 6, 3, 6};
    case psDashDotDot:
      return {9, 3, 3, 3, 3, 3};
    case psAlternate:
      return {1, 1};
    case psUserStyle: {
      std::vector<int> p;
      int total = 0;
      for (int v : userPattern) {
        p.push_back(std::max(0, v));
        total += std::max(0, v);
      }
      if (p.size() % 2) p.push_back(p.size() == 1 ? p[0] : 0);
      if (total == 0) return {};
      return p;
    }
    default:
      return {};
  }
}

bool IsRightToLeftChar(char16_t c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

namespace {
bool IsNeutralChar(char16_t c) {
  if (c < 0x30) return true;  // controls, space and ASCII punctuation
  if ((c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0xBF)) return true;
  if (c >= 0x2000 && c <= 0x206F) return true;  // general punctuation
  return c == 0xD7 || c == 0xF7;
}
}  // namespace

std::vector<int> VisualOrder(std::u16string_view text, bool rtlReading) {
  const int n = static_cast<int>(text.size());
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  bool anyRtl = rtlReading;
  for (char16_t c : text) anyRtl = anyRtl || IsRightToLeftChar(c);
  if (!anyRtl || n == 0) return order;
  // Embedding levels: strong characters by their direction, neutrals take the direction of
  // the strong characters around them when both agree, otherwise the base direction.
  const int base = rtlReading ? 1 : 0;
  std::vector<int> level(n, -1);
  for (int i = 0; i < n; ++i) {
    char16_t c = text[i];
    if (c >= 0xDC00 && c < 0xE000 && i > 0) continue;  // low surrogate: follows its pair
    if (IsRightToLeftChar(c))
      level[i] = 1;
    else if (!IsNeutralChar(c))
      level[i] = base == 1 ? 2 : 0;
  }
  for (int i = 0; i < n;) {
    if (level[i] >= 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < n && level[j] < 0) ++j;
    int before = i > 0 ? level[i - 1] : -1, after = j < n ? level[j] : -1;
    int dirBefore = before < 0 ? base : before % 2, dirAfter = after < 0 ? base : after % 2;
    int lv = dirBefore == dirAfter ? (dirBefore == 1 ? 1 : (base == 1 ? 2 : 0)) : base;
    for (int k = i; k < j; ++k) level[k] = lv;
    i = j;
  }
  for (int i = 1; i < n; ++i)
    if (text[i] >= 0xDC00 && text[i] < 0xE000 && text[i - 1] >= 0xD800 && text[i - 1] < 0xDC00)
      level[i] = level[i - 1];
  int maxLevel = *std::max_element(level.begin(), level.end());
  for (int lv = maxLevel; lv >= 1; --lv) {
    for (int i = 0; i < n;) {
      if (level[order[i]] < lv) {
        ++i;
        continue;
      }
      int j = i;
      while (j < n && level[order[j]] >= lv) ++j;
      std::reverse(order.begin() + i, order.begin() + j);
      i = j;
    }
  }
  // Keep surrogate pairs in their own order.
  for (int i = 0; i + 1 < n; ++i) {
    if (order[i] == order[i + 1] + 1 && text[order[i]] >= 0xDC00 && text[order[i]] < 0xE000 &&
        text[order[i + 1]] >= 0xD800 && text[order[i + 1]] < 0xDC00)
      std::swap(order[i], order[i + 1]);
  }
  return order;
}

}  // namespace pagewright
