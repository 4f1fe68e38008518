#include "render/wmf_emf_playback.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "render/colors.h"

// The player's coordinates, object table, saved states, clipping, lines, shapes, paths and text.

namespace pagewright::wmf_emf {

PointD Player::ToPicture(double x, double y) const {
  const double wx = dc.xf[0] * x + dc.xf[2] * y + dc.xf[4];
  const double wy = dc.xf[1] * x + dc.xf[3] * y + dc.xf[5];
  double sx = 1, sy = 1;
  switch (FWmf ? 8 : dc.mapMode) {
    case 2:
      sx = devPxPerMmX / 10, sy = -devPxPerMmY / 10;
      break;
    case 3:
      sx = devPxPerMmX / 100, sy = -devPxPerMmY / 100;
      break;
    case 4:
      sx = devPxPerMmX * 0.254, sy = -devPxPerMmY * 0.254;
      break;
    case 5:
      sx = devPxPerMmX * 0.0254, sy = -devPxPerMmY * 0.0254;
      break;
    case 6:
      sx = devPxPerMmX * 25.4 / 1440, sy = -devPxPerMmY * 25.4 / 1440;
      break;
    case 7:
    case 8: {
      sx = dc.winExt.x != 0 ? dc.vpExt.x / dc.winExt.x : 1;
      sy = dc.winExt.y != 0 ? dc.vpExt.y / dc.winExt.y : 1;
      if (dc.mapMode == 7 && !FWmf) {
        const double m = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    }
    default:
      break;
  }
  double dx = (wx - dc.winOrg.x) * sx + dc.vpOrg.x;
  double dy = (wy - dc.winOrg.y) * sy + dc.vpOrg.y;
  if (dc.mapMode == 1 && !FWmf) {
    dx = wx - dc.winOrg.x + dc.vpOrg.x;
    dy = wy - dc.winOrg.y + dc.vpOrg.y;
  }
  return {dx * devScaleX + devOffX, dy * devScaleY + devOffY};
}

double Player::ScaleX() const {
  const PointD a = ToPicture(0, 0), b = ToPicture(1, 0);
  return std::hypot(b.x - a.x, b.y - a.y);
}

double Player::ScaleY() const {
  const PointD a = ToPicture(0, 0), b = ToPicture(0, 1);
  return std::hypot(b.x - a.x, b.y - a.y);
}

TRect Player::R(double l, double t, double r, double b) const {
  TPoint p1 = P(l, t), p2 = P(r, b);
  return Rect(std::min(p1.X, p2.X), std::min(p1.Y, p2.Y), std::max(p1.X, p2.X), std::max(p1.Y, p2.Y));
}

// ---- objects ----
void Player::AddObject(GdiObject o) {
  for (auto& slot : FObjects)
    if (!slot) {
      slot = std::move(o);
      return;
    }
  if (FObjects.size() >= kMaxObjects) return;
  FObjects.push_back(std::move(o));
}

void Player::SetObject(uint32_t index, GdiObject o) {
  if (index >= kMaxObjects) return;
  if (index >= FObjects.size()) FObjects.resize(index + 1);
  FObjects[index] = std::move(o);
}

void Player::SelectObject(uint32_t index) {
  if (index & 0x80000000u) {  // stock objects
    switch (index & 0x7FFFFFFF) {
      case 0:
        dc.brush = {0, 0xFFFFFF, 0};
        break;
      case 1:
        dc.brush = {0, 0xC0C0C0, 0};
        break;
      case 2:
        dc.brush = {0, 0x808080, 0};
        break;
      case 3:
        dc.brush = {0, 0x404040, 0};
        break;
      case 4:
        dc.brush = {0, 0, 0};
        break;
      case 5:
        dc.brush = {1, 0, 0};
        break;
      case 6:
        dc.pen = {0, 0, 0xFFFFFF};
        break;
      case 7:
        dc.pen = {0, 0, 0};
        break;
      case 8:
        dc.pen = {5, 0, 0};
        break;
      default:
        if ((index & 0x7FFFFFFF) >= 10 && (index & 0x7FFFFFFF) <= 17) dc.font = FontDef{};
    }
    return;
  }
  if (index >= FObjects.size() || !FObjects[index]) return;
  const GdiObject& o = *FObjects[index];
  if (o.kind == GdiObject::Pen) dc.pen = o.pen;
  if (o.kind == GdiObject::Brush) dc.brush = o.brush;
  if (o.kind == GdiObject::Font) dc.font = o.font;
  if (o.kind == GdiObject::Region) SelectClipRegion(index);
}

// A region object as the clip region; anything else (or no object) removes clipping.
void Player::SelectClipRegion(uint32_t index) {
  if (index >= FObjects.size() || !FObjects[index] || FObjects[index]->kind != GdiObject::Region)
    return ResetClip();
  TArea area;
  for (const auto& r : FObjects[index]->rects) {
    const TArea part = LogicalRect(r[0], r[1], r[2], r[3]);
    area.contours.insert(area.contours.end(), part.contours.begin(), part.contours.end());
  }
  CombineClip(area, RGN_COPY);
}

void Player::DeleteObject(uint32_t index) {
  if (index < FObjects.size()) FObjects[index].reset();
}

// ---- state ----
void Player::Save() {
  if (FSaved.size() < kMaxSavedStates) FSaved.push_back(dc);
}

void Player::Restore(int relative) {
  size_t n = relative < 0 ? static_cast<size_t>(-static_cast<int64_t>(relative)) : 1;
  if (relative > 0) {
    // An absolute level: keep that many saved states.
    if (static_cast<size_t>(relative) > FSaved.size()) return;
    n = FSaved.size() - static_cast<size_t>(relative) + 1;
  }
  if (n == 0 || n > FSaved.size()) return;
  dc = FSaved[FSaved.size() - n];
  FSaved.resize(FSaved.size() - n);
  ApplyClip();
}

// ---- clipping ----
// The picture's own bounds: what "no clipping" means when a region is combined with it.
void Player::SetBounds(const TRect& r) {
  FBounds = r;
  FCanvas.SelectClipRgn(TClipRegion::FromRect(r));
}

void Player::ApplyClip() {
  TClipRegion region = TClipRegion::FromRect(FBounds);
  if (dc.clip) region.Intersect(TClipShape::FromArea(*dc.clip));
  FCanvas.SelectClipRgn(region);
}

void Player::ResetClip() {
  dc.clip.reset();
  ApplyClip();
}

// Combines an area (picture pixels) with the clip region by a region mode; unknown modes
// leave the clip as it is.
void Player::CombineClip(const TArea& area, uint32_t mode) {
  if (mode < RGN_AND || mode > RGN_COPY) return;
  if (mode == RGN_COPY) {
    dc.clip = std::make_shared<const TArea>(area.fillMode == pfmWinding ? DisjointArea(area) : area);
  } else {
    static constexpr TAreaOp kOps[] = {aoAnd, aoOr, aoXor, aoDiff};
    const TArea current = dc.clip ? *dc.clip : TArea::FromRect(FBounds);
    dc.clip = std::make_shared<const TArea>(CombineAreas(current, area, kOps[mode - 1]));
  }
  ApplyClip();
}

// A rectangle in logical units as an area of picture pixels (a parallelogram under a
// rotating or shearing transform).
TArea Player::LogicalRect(double l, double t, double r, double b) const {
  TArea a;
  a.contours.push_back({P(l, t), P(r, t), P(r, b), P(l, b)});
  return a;
}

void Player::IntersectClip(double l, double t, double r, double b) {
  CombineClip(LogicalRect(l, t, r, b), RGN_AND);
}

void Player::ExcludeClip(double l, double t, double r, double b) {
  CombineClip(LogicalRect(l, t, r, b), RGN_DIFF);
}

// Moves the clip region by a logical offset.
void Player::OffsetClip(double dx, double dy) {
  if (!dc.clip) return;
  const PointD o = ToPicture(0, 0), d = ToPicture(dx, dy);
  const int ox = Clamp(d.x - o.x), oy = Clamp(d.y - o.y);
  auto moved = std::make_shared<TArea>(*dc.clip);
  for (auto& c : moved->contours)
    for (TPoint& p : c) p = Point(Clamp(double(p.X) + ox), Clamp(double(p.Y) + oy));
  dc.clip = std::move(moved);
  ApplyClip();
}

// The reference device's pixels (enhanced metafiles) in picture pixels.
TPoint Player::DevicePoint(double x, double y) const {
  return Point(Clamp(x * devScaleX + devOffX), Clamp(y * devScaleY + devOffY));
}

// The current path as the clip region (the path is used up); without a path the clip stays.
void Player::SelectClipPath(uint32_t mode) {
  FInPath = false;
  if (FPath.empty()) return;
  TArea area;
  area.fillMode = dc.polyFillMode;
  for (const Figure& f : FPath)
    if (f.points.size() >= 3) area.contours.push_back(ToDevice(f.points));
  FPath.clear();
  CombineClip(area, mode);
}

// ---- drawing ----
void Player::ApplyPen() {
  TPen& pen = FCanvas.Pen();
  const uint32_t style = dc.pen.style & 0x0F;
  pen.SetColor(ColorToRGB(dc.pen.color) & 0xFFFFFF);
  const double w = dc.pen.width * ScaleX();
  pen.SetWidth(std::max(1, Clamp(w)));
  switch (style) {
    case 1:
      pen.SetStyle(psDash);
      break;
    case 2:
      pen.SetStyle(psDot);
      break;
    case 3:
      pen.SetStyle(psDashDot);
      break;
    case 4:
      pen.SetStyle(psDashDotDot);
      break;
    case 5:
      pen.SetStyle(psClear);
      break;
    case 6:
      pen.SetStyle(psInsideFrame);
      break;
    default:
      pen.SetStyle(psSolid);
      break;
  }
  pen.SetMode(pmCopy);
}

void Player::ApplyBrush() {
  TBrush& brush = FCanvas.Brush();
  brush.SetColor(ColorToRGB(dc.brush.color) & 0xFFFFFF);
  if (dc.brush.style == 1) {
    brush.SetStyle(bsClear);
  } else if (dc.brush.style == 2) {
    static constexpr TBrushStyle kHatch[6] = {bsHorizontal, bsVertical, bsFDiagonal,
                                              bsBDiagonal,  bsCross,    bsDiagCross};
    brush.SetStyle(dc.brush.hatch < 6 ? kHatch[dc.brush.hatch] : bsSolid);
  } else {
    brush.SetStyle(bsSolid);
  }
}

void Player::ApplyShape() {
  ApplyBrush();
  ApplyPen();
}

void Player::MoveTo(double x, double y) {
  dc.cur = {x, y};
  if (FInPath) StartFigure({dc.cur});
}

void Player::LineTo(double x, double y) {
  if (FInPath) {
    AddToPath({dc.cur, {x, y}}, false);
    dc.cur = {x, y};
    return;
  }
  ApplyPen();
  const TPoint a = P(dc.cur.x, dc.cur.y), b = P(x, y);
  FCanvas.MoveTo(a.X, a.Y);
  FCanvas.LineTo(b.X, b.Y);
  dc.cur = {x, y};
}

void Player::Polyline(const std::vector<PointD>& pts) {
  if (pts.size() < 2) return;
  if (FInPath) return AddToPath(pts, false);
  ApplyPen();
  FCanvas.Polyline(ToDevice(pts));
}

void Player::Polygon(const std::vector<PointD>& pts) {
  if (pts.size() < 2) return;
  if (FInPath) return AddToPath(pts, true);
  ApplyShape();
  if (dc.polyFillMode == pfmWinding) {
    const std::vector<std::vector<TPoint>> one{ToDevice(pts)};
    FCanvas.PolyPolygon(one, pfmWinding);
  } else {
    FCanvas.Polygon(ToDevice(pts));
  }
}

// Polygons filled together by the fill mode, so that inner ones can leave holes.
void Player::PolyPolygon(const std::vector<std::vector<PointD>>& polys) {
  if (FInPath) {
    for (const auto& pts : polys)
      if (pts.size() >= 2) AddToPath(pts, true);
    return;
  }
  std::vector<std::vector<TPoint>> contours;
  for (const auto& pts : polys)
    if (pts.size() >= 2) contours.push_back(ToDevice(pts));
  if (contours.empty()) return;
  ApplyShape();
  FCanvas.PolyPolygon(contours, dc.polyFillMode);
}

void Player::Rectangle(double l, double t, double r, double b) {
  if (FInPath) return AddToPath({{l, t}, {r, t}, {r, b}, {l, b}}, true);
  ApplyShape();
  FCanvas.Rectangle(R(l, t, r, b));
}

// Paths: figures collected between the begin and end records, then filled or stroked.
void Player::BeginPath() {
  FPath.clear();
  FInPath = true;
}

void Player::AbortPath() {
  FPath.clear();
  FInPath = false;
}

void Player::CloseFigure() {
  if (!FPath.empty()) FPath.back().closed = true;
}

// Fills the figures together with the brush by the fill mode (an inner figure can cut a
// hole) and/or strokes each with the pen; the path is used up.
void Player::DrawPath(bool fill, bool stroke) {
  FInPath = false;
  if (fill) {
    std::vector<std::vector<TPoint>> contours;
    for (const Figure& f : FPath)
      if (f.points.size() >= 3) contours.push_back(ToDevice(f.points));
    if (!contours.empty()) {
      ApplyBrush();
      FCanvas.Pen().SetStyle(psClear);
      FCanvas.PolyPolygon(contours, dc.polyFillMode);
    }
  }
  for (const Figure& f : FPath) {
    if (f.points.size() < 2) continue;
    if (stroke) {
      std::vector<PointD> line = f.points;
      if (f.closed || fill) line.push_back(f.points.front());
      ApplyPen();
      FCanvas.Polyline(ToDevice(line));
    }
  }
  FPath.clear();
}

void Player::RoundRect(double l, double t, double r, double b, double cw, double ch) {
  ApplyShape();
  FCanvas.RoundRect(R(l, t, r, b), Clamp(std::abs(cw * ScaleX())), Clamp(std::abs(ch * ScaleY())));
}

void Player::Ellipse(double l, double t, double r, double b) {
  if (FInPath) {
    std::vector<PointD> pts;
    for (int i = 0; i < 64; ++i) {
      const double a = 2 * std::numbers::pi * i / 64;
      pts.push_back({(l + r) / 2 + (r - l) / 2 * std::cos(a), (t + b) / 2 + (b - t) / 2 * std::sin(a)});
    }
    return AddToPath(pts, true);
  }
  ApplyShape();
  FCanvas.Ellipse(R(l, t, r, b));
}

// kind: 0 arc, 1 pie, 2 chord. Counter-clockwise from the start radial to the end radial.
void Player::Arc(int kind, double l, double t, double r, double b, double xs, double ys, double xe,
                 double ye) {
  const double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::abs(r - l) / 2, ry = std::abs(b - t) / 2;
  if (rx <= 0 || ry <= 0) return;
  // Angles measured with y pointing up, as the drawing direction is defined on screen.
  double a1 = std::atan2(-(ys - cy) / ry, (xs - cx) / rx);
  double a2 = std::atan2(-(ye - cy) / ry, (xe - cx) / rx);
  double sweep = a2 - a1;
  if (sweep <= 0) sweep += 2 * std::numbers::pi;
  std::vector<PointD> pts;
  const int steps = 64;
  for (int i = 0; i <= steps; ++i) {
    const double a = a1 + sweep * i / steps;
    pts.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
  }
  if (kind == 0) {
    Polyline(pts);
  } else {
    if (kind == 1) pts.push_back({cx, cy});
    Polygon(pts);
  }
}

void Player::PolyBezier(std::vector<PointD> pts, bool fromCurrent) {
  if (fromCurrent) pts.insert(pts.begin(), dc.cur);
  if (pts.size() < 4) return;
  std::vector<PointD> out{pts[0]};
  for (size_t i = 1; i + 2 < pts.size(); i += 3) {
    const PointD p0 = pts[i - 1], p1 = pts[i], p2 = pts[i + 1], p3 = pts[i + 2];
    for (int s = 1; s <= 16; ++s) {
      const double t = s / 16.0, u = 1 - t;
      out.push_back({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                     u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
    }
  }
  Polyline(out);
  if (fromCurrent) dc.cur = out.back();
}

// The baseline's angle on the page in degrees (counter-clockwise): the font's escapement,
// turned by the world transform.
double Player::TextAngle() const {
  const double e = dc.font.escapement / 10.0 * std::numbers::pi / 180;
  const double vx = std::cos(e), vy = -std::sin(e);
  const double wx = dc.xf[0] * vx + dc.xf[2] * vy, wy = dc.xf[1] * vx + dc.xf[3] * vy;
  if (!(std::hypot(wx, wy) > 1e-12)) return dc.font.escapement / 10.0;
  return std::atan2(-wy, wx) * 180 / std::numbers::pi;
}

// A distance in picture pixels back in logical units.
PointD Player::LogicalDelta(double dx, double dy) const {
  const PointD o = ToPicture(0, 0), ex = ToPicture(1, 0), ey = ToPicture(0, 1);
  const double a = ex.x - o.x, b = ey.x - o.x, c = ex.y - o.y, d = ey.y - o.y;
  const double det = a * d - b * c;
  if (!(std::abs(det) > 1e-12)) return {0, 0};
  return {(d * dx - b * dy) / det, (a * dy - c * dx) / det};
}

int Player::SelectTextFont() {
  TFont& font = FCanvas.Font();
  font.SetName(dc.font.name.empty() ? WideString(u"Arial") : dc.font.name);
  double h = dc.font.height * ScaleY();
  int ih = Clamp(h);
  if (ih == 0) ih = -Clamp(12 * ScaleY() > 1 ? 12 * ScaleY() : 12);
  font.SetHeight(std::clamp(ih, -4000, 4000));
  TFontStyles st;
  if (dc.font.weight >= 600) st.Include(fsBold);
  if (dc.font.italic) st.Include(fsItalic);
  if (dc.font.underline) st.Include(fsUnderline);
  if (dc.font.strikeOut) st.Include(fsStrikeOut);
  font.SetStyle(st);
  font.SetColor(ColorToRGB(dc.textColor) & 0xFFFFFF);
  double angle = std::fmod(TextAngle(), 360.0);
  if (angle < 0) angle += 360;
  int tenths = Clamp(angle * 10);
  if (tenths >= 3600) tenths -= 3600;
  font.SetOrientation(tenths);
  return tenths;
}

std::vector<int> Player::TextAdvances(std::u16string_view text, const std::vector<int>* logicalDx) {
  std::vector<int> dx;
  if (logicalDx && logicalDx->size() >= text.size()) {
    const double s = ScaleX();
    double acc = 0, prev = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      acc += (*logicalDx)[i] * s;
      const double rounded = std::round(acc);
      dx.push_back(Clamp(rounded - prev));
      prev = rounded;
    }
  } else {
    dx = FCanvas.GetTextExtentExPoint(text);
    for (size_t i = dx.size(); i-- > 1;) dx[i] -= dx[i - 1];
  }
  return dx;
}

void Player::Text(double x, double y, std::u16string_view text, const std::vector<int>* logicalDx,
                  uint32_t options, const std::optional<TRect>& clip) {
  if (text.empty()) return;
  const bool updateCP = dc.textAlign & 1;  // TA_UPDATECP
  if (updateCP) {
    x = dc.cur.x;
    y = dc.cur.y;
  }
  const int tenths = SelectTextFont();
  const std::vector<int> dx = TextAdvances(text, logicalDx);
  if (dx.size() != text.size()) return;
  int64_t width = 0;
  for (int d : dx) width += d;
  const double rad = tenths / 10.0 * std::numbers::pi / 180;
  const double ux = std::cos(rad), uy = -std::sin(rad);  // along the baseline
  const double nx = std::sin(rad), ny = std::cos(rad);   // down across it
  const uint32_t horizontal = dc.textAlign & 6, vertical = dc.textAlign & 24;
  double along = 0, down = 0;
  if (horizontal == 6)  // TA_CENTER
    along = -static_cast<double>(width) / 2;
  else if (horizontal == 2)  // TA_RIGHT
    along = -static_cast<double>(width);
  const TTextMetric tm = FCanvas.GetTextMetrics();
  if (vertical == 24)  // TA_BASELINE
    down = -tm.tmAscent;
  else if (vertical == 8)  // TA_BOTTOM
    down = -tm.tmHeight;
  const PointD ref = ToPicture(x, y);
  const int tx = Clamp(ref.x + along * ux + down * nx), ty = Clamp(ref.y + along * uy + down * ny);
  FCanvas.SetBkMode(dc.bkMode == 1 ? TRANSPARENT : OPAQUE);
  FCanvas.SetBkColor(ColorToRGB(dc.bkColor) & 0xFFFFFF);
  int opts = 0;
  if (options & 2) opts |= ETO_OPAQUE;
  if (options & 4) opts |= ETO_CLIPPED;
  FCanvas.ExtTextOut(tx, ty, clip ? opts : 0, clip ? &*clip : nullptr, text, dx.data());
  if (updateCP && horizontal != 6) {
    // The current position moves to the far end of the text: forward for left-aligned text,
    // backward for right-aligned text; centred text leaves it.
    const double move = horizontal == 2 ? -static_cast<double>(width) : static_cast<double>(width);
    const PointD d = LogicalDelta(move * ux, move * uy);
    dc.cur.x += d.x;
    dc.cur.y += d.y;
  }
}

void Player::StartFigure(std::vector<PointD> pts) {
  if (!FPath.empty() && FPath.back().points.size() <= 1) FPath.pop_back();
  if (FPath.size() >= kMaxFigures) return;
  FPath.push_back({std::move(pts), false});
}

// Continues the open figure when the points start where it ends, else starts a new one.
void Player::AddToPath(const std::vector<PointD>& pts, bool closed) {
  if (pts.empty()) return;
  if (!closed && !FPath.empty() && !FPath.back().closed && !FPath.back().points.empty()) {
    const PointD last = FPath.back().points.back();
    if (last.x == pts.front().x && last.y == pts.front().y) {
      auto& points = FPath.back().points;
      if (points.size() + pts.size() > kMaxPathPoints) return;
      points.insert(points.end(), pts.begin() + 1, pts.end());
      return;
    }
  }
  StartFigure(pts);
  if (closed && !FPath.empty()) FPath.back().closed = true;
}

std::vector<TPoint> Player::ToDevice(const std::vector<PointD>& pts) const {
  std::vector<TPoint> out;
  out.reserve(pts.size());
  for (const PointD& p : pts) out.push_back(P(p.x, p.y));
  return out;
}

}  // namespace pagewright::wmf_emf
