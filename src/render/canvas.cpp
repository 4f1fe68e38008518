#include "render/canvas.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

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
// Areas

namespace {

// Work limits of the band sweep: edges taken in, edge visits over all bands, pieces put out.
constexpr size_t kMaxSweepEdges = size_t{1} << 17;
constexpr size_t kMaxSweepWork = size_t{1} << 25;
constexpr size_t kMaxSweepPieces = size_t{1} << 18;

struct SweepEdge {
  double x0, y0, x1, y1;  // y0 < y1
  int dir;                // +1 where the contour runs down, -1 where it runs up
  int area;               // 0 for the first operand, 1 for the second
  double XAt(double y) const { return x0 + (x1 - x0) * (y - y0) / (y1 - y0); }
};

int RoundToPixel(double v) {
  return static_cast<int>(RoundHalfEven(std::clamp(v, -1.0e9, 1.0e9)));
}

bool Inside(int winding, TPolyFillMode mode) {
  return mode == pfmWinding ? winding != 0 : (winding & 1) != 0;
}

bool Evaluate(TAreaOp op, bool a, bool b) {
  switch (op) {
    case aoAnd:
      return a && b;
    case aoOr:
      return a || b;
    case aoXor:
      return a != b;
    case aoDiff:
      return a && !b;
    case aoCopy:
      return b;
  }
  return false;
}

// Sweeps horizontal bands between the edges' end points (split further where edges cross),
// evaluates the operation from left to right in each band, and collects the covered spans as
// trapezoids; a span bounded by the same two edges in consecutive bands grows into one piece.
// False when the work limits are reached.
bool Sweep(const TArea& a, const TArea* b, TAreaOp op, TArea& out) {
  std::vector<SweepEdge> edges;
  const TArea* areas[2] = {&a, b};
  for (int k = 0; k < 2; ++k) {
    if (!areas[k]) continue;
    for (const auto& c : areas[k]->contours) {
      if (c.size() < 3) continue;
      for (size_t i = 0; i < c.size(); ++i) {
        const TPoint p = c[i], q = c[(i + 1) % c.size()];
        if (p.Y == q.Y) continue;
        if (edges.size() >= kMaxSweepEdges) return false;
        if (p.Y < q.Y)
          edges.push_back({double(p.X), double(p.Y), double(q.X), double(q.Y), 1, k});
        else
          edges.push_back({double(q.X), double(q.Y), double(p.X), double(p.Y), -1, k});
      }
    }
  }
  out.contours.clear();
  out.fillMode = pfmAlternate;
  if (edges.empty()) return true;
  std::sort(edges.begin(), edges.end(), [](const SweepEdge& l, const SweepEdge& r) { return l.y0 < r.y0; });
  std::vector<double> ys;
  ys.reserve(edges.size() * 2);
  for (const auto& e : edges) {
    ys.push_back(e.y0);
    ys.push_back(e.y1);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  const TPolyFillMode modeA = a.fillMode, modeB = b ? b->fillMode : pfmAlternate;
  struct Span {
    int left, right;
    double top;
  };
  std::vector<Span> open, next;
  std::unordered_map<uint64_t, size_t> openIndex;
  auto Key = [](const Span& sp) { return (uint64_t(uint32_t(sp.left)) << 32) | uint32_t(sp.right); };
  size_t work = 0;
  bool overflow = false;
  auto emit = [&](const Span& s, double bottom) {
    const SweepEdge &l = edges[static_cast<size_t>(s.left)], &r = edges[static_cast<size_t>(s.right)];
    const int y0 = RoundToPixel(s.top), y1 = RoundToPixel(bottom);
    if (y1 <= y0) return;
    const int xl0 = RoundToPixel(l.XAt(s.top)), xr0 = RoundToPixel(r.XAt(s.top));
    const int xl1 = RoundToPixel(l.XAt(bottom)), xr1 = RoundToPixel(r.XAt(bottom));
    if (xl0 >= xr0 && xl1 >= xr1) return;
    if (out.contours.size() >= kMaxSweepPieces) {
      overflow = true;
      return;
    }
    out.contours.push_back({Point(xl0, y0), Point(xr0, y0), Point(xr1, y1), Point(xl1, y1)});
  };
  // The spans of one band without crossings: open spans bounded by the same edges continue.
  auto band = [&](const std::vector<int>& active, double top, double bottom) {
    work += active.size();
    if (work > kMaxSweepWork) {
      overflow = true;
      return;
    }
    const double mid = (top + bottom) / 2;
    std::vector<std::pair<double, int>> order;
    order.reserve(active.size());
    for (int i : active) order.emplace_back(edges[static_cast<size_t>(i)].XAt(mid), i);
    std::sort(order.begin(), order.end());
    int w[2] = {0, 0};
    bool inside = false;
    int left = -1;
    next.clear();
    openIndex.clear();
    for (size_t k = 0; k < open.size(); ++k) openIndex.emplace(Key(open[k]), k);
    std::vector<bool> continued(open.size(), false);
    for (const auto& [x, i] : order) {
      const SweepEdge& e = edges[static_cast<size_t>(i)];
      w[e.area] += e.dir;
      const bool now = Evaluate(op, Inside(w[0], modeA), b ? Inside(w[1], modeB) : true);
      if (now && !inside) left = i;
      if (!now && inside) {
        Span s{left, i, top};
        auto found = openIndex.find(Key(s));
        if (found != openIndex.end() && !continued[found->second]) {
          s.top = open[found->second].top;
          continued[found->second] = true;
        }
        next.push_back(s);
      }
      inside = now;
    }
    for (size_t k = 0; k < open.size(); ++k)
      if (!continued[k]) emit(open[k], top);
    open.swap(next);
  };

  std::vector<int> active;
  size_t nextEdge = 0;
  for (size_t band_i = 0; band_i + 1 < ys.size() && !overflow; ++band_i) {
    const double ya = ys[band_i], yb = ys[band_i + 1];
    active.erase(std::remove_if(active.begin(), active.end(),
                                [&](int i) { return edges[static_cast<size_t>(i)].y1 <= ya; }),
                 active.end());
    while (nextEdge < edges.size() && edges[nextEdge].y0 <= ya)
      active.push_back(static_cast<int>(nextEdge++));
    work += active.size() + 1;
    if (work > kMaxSweepWork) return false;
    // Edges whose order at the bottom differs from the top cross inside the band.
    std::vector<std::pair<double, double>> ends;  // (x at top, x at bottom), sorted by the top
    ends.reserve(active.size());
    for (int i : active) {
      const SweepEdge& e = edges[static_cast<size_t>(i)];
      ends.emplace_back(e.XAt(ya), e.XAt(yb));
    }
    std::sort(ends.begin(), ends.end());
    bool crossing = false;
    for (size_t i = 1; i < ends.size() && !crossing; ++i) crossing = ends[i].second < ends[i - 1].second;
    if (!crossing) {
      band(active, ya, yb);
      continue;
    }
    std::vector<double> cuts{ya, yb};
    for (size_t i = 0; i < ends.size(); ++i) {
      work += ends.size() - i;
      if (work > kMaxSweepWork) return false;
      for (size_t j = i + 1; j < ends.size(); ++j) {
        if (ends[j].second >= ends[i].second) continue;
        const double di = ends[i].second - ends[i].first, dj = ends[j].second - ends[j].first;
        if (di == dj) continue;
        const double t = (ends[j].first - ends[i].first) / (di - dj);
        if (t > 0 && t < 1) cuts.push_back(ya + t * (yb - ya));
      }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (size_t c = 0; c + 1 < cuts.size() && !overflow; ++c)
      if (cuts[c + 1] > cuts[c]) band(active, cuts[c], cuts[c + 1]);
  }
  if (overflow) return false;
  for (const Span& o : open) emit(o, ys.back());
  return !overflow;
}

}  // namespace

TArea TArea::FromRect(const TRect& r) {
  TArea a;
  if (!r.IsEmpty())
    a.contours.push_back(
        {Point(r.Left, r.Top), Point(r.Right, r.Top), Point(r.Right, r.Bottom), Point(r.Left, r.Bottom)});
  return a;
}

bool TArea::Empty() const {
  return std::none_of(contours.begin(), contours.end(), [](const auto& c) { return c.size() >= 3; });
}

TArea CombineAreas(const TArea& a, const TArea& b, TAreaOp op) {
  TArea out;
  if (Sweep(a, &b, op, out)) return out;
  return a;
}

TArea DisjointArea(const TArea& a) {
  TArea out;
  if (Sweep(a, nullptr, aoAnd, out)) return out;
  return a;
}

std::vector<TPoint> JoinContours(const TArea& area) {
  std::vector<const std::vector<TPoint>*> used;
  int minX = std::numeric_limits<int>::max();
  for (const auto& c : area.contours) {
    if (c.size() < 3) continue;
    for (TPoint p : c) minX = std::min(minX, p.X);
    used.push_back(&c);
  }
  if (used.empty()) return {};
  if (used.size() == 1) return *used.front();
  // Each contour hangs off a vertical spine left of everything by a horizontal segment, out
  // and back; the spine is walked down and back up. Horizontal segments add nothing to a fill
  // and the spine's two passes cancel without crossing any edge, so no rounding where segments
  // cross can leave a stray pixel.
  const int spine = minX > std::numeric_limits<int>::min() ? minX - 1 : minX;
  std::vector<TPoint> out;
  std::vector<int> spineYs;
  for (const auto* c : used) {
    size_t k = 0;
    for (size_t i = 1; i < c->size(); ++i)
      if ((*c)[i].X < (*c)[k].X) k = i;
    const TPoint start = (*c)[k];
    out.push_back(Point(spine, start.Y));
    for (size_t i = 0; i <= c->size(); ++i) out.push_back((*c)[(k + i) % c->size()]);
    out.push_back(Point(spine, start.Y));
    spineYs.push_back(start.Y);
  }
  for (size_t i = spineYs.size(); i-- > 1;) out.push_back(Point(spine, spineYs[i - 1]));
  return out;
}

TClipShape TClipShape::FromArea(const TArea& area) {
  TClipShape s;
  const TArea* use = &area;
  TArea disjoint;
  if (area.fillMode == pfmWinding) {
    disjoint = DisjointArea(area);
    use = &disjoint;
  }
  int count = 0;
  const std::vector<TPoint>* only = nullptr;
  for (const auto& c : use->contours)
    if (c.size() >= 3) {
      ++count;
      only = &c;
    }
  if (count == 0) return s;  // an empty rectangle: nothing is visible
  if (count == 1 && only->size() == 4) {
    const auto& c = *only;
    const bool axis = (c[0].Y == c[1].Y && c[1].X == c[2].X && c[2].Y == c[3].Y && c[3].X == c[0].X) ||
                      (c[0].X == c[1].X && c[1].Y == c[2].Y && c[2].X == c[3].X && c[3].Y == c[0].Y);
    if (axis) {
      s.rect = Rect(std::min(c[0].X, c[2].X), std::min(c[0].Y, c[2].Y), std::max(c[0].X, c[2].X),
                    std::max(c[0].Y, c[2].Y));
      return s;
    }
  }
  s.kind = ckPolygon;
  s.points = JoinContours(*use);
  return s;
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

void TCanvas::PolyPolygon(std::span<const std::vector<TPoint>> contours, TPolyFillMode mode) {
  RealizeBrush();
  std::vector<std::vector<TPoint>> clamped;
  clamped.reserve(contours.size());
  for (const auto& c : contours) {
    if (c.size() < 2) continue;
    std::vector<TPoint> store;
    auto pts = Clamp(std::span<const TPoint>(c), store);
    clamped.emplace_back(pts.begin(), pts.end());
  }
  if (clamped.empty()) return;
  if (clamped.size() == 1 && mode == pfmAlternate) return DoPolygon(clamped.front());
  DoPolyPolygon(clamped, mode);
}

void TCanvas::DoPolyPolygon(std::span<const std::vector<TPoint>> contours, TPolyFillMode mode) {
  TArea area;
  area.contours.assign(contours.begin(), contours.end());
  area.fillMode = mode;
  if (mode == pfmWinding) area = DisjointArea(area);
  const std::vector<TPoint> joined = JoinContours(area);
  if (joined.size() >= 3) {
    const TPen pen = FPen;
    FPen.SetStyle(psClear);
    DoPolygon(joined);
    FPen = pen;
  }
  if (FPen.Style() == psClear) return;
  std::vector<TPoint> ring;
  for (const auto& c : contours) {
    ring.assign(c.begin(), c.end());
    ring.push_back(c.front());
    DoPolyline(ring);
  }
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

int TNullCanvas::GetDeviceCaps(int index) const {
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    case HORZRES:
    case VERTRES:
      return 1;
    case BITSPIXEL:
      return 24;
    case TECHNOLOGY:
      return DT_RASDISPLAY;
    default:
      return 0;
  }
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
