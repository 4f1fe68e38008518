#include "render/wmf_emf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {

namespace {

// Limits against hostile files: objects in the table, saved states, points in one record.
constexpr size_t kMaxObjects = 65535;
constexpr size_t kMaxSavedStates = 1024;
constexpr size_t kMaxRecords = 1 << 22;
constexpr double kCoordLimit = 1 << 24;
constexpr size_t kMaxFigures = 1 << 16;
constexpr size_t kMaxPathPoints = 1 << 20;

[[noreturn]] void Bad() {
  throw EInvalidGraphic("Metafile is not valid");
}

struct PenDef {
  uint32_t style = 0;  // PS_SOLID
  double width = 0;
  TColor color = 0;
};
struct BrushDef {
  uint32_t style = 0;  // BS_SOLID
  TColor color = 0xFFFFFF;
  uint32_t hatch = 0;
};
struct FontDef {
  double height = 0;
  int escapement = 0;
  int weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  WideString name = u"Arial";
};
struct GdiObject {
  enum Kind { Pen, Brush, Font, Other } kind = Other;
  PenDef pen;
  BrushDef brush;
  FontDef font;
};

struct PointD {
  double x = 0, y = 0;
};

// Drawing state of the device context, saved and restored as a whole.
struct DCState {
  int mapMode = 1;  // MM_TEXT
  PointD winOrg{0, 0}, winExt{1, 1}, vpOrg{0, 0}, vpExt{1, 1};
  double xf[6] = {1, 0, 0, 1, 0, 0};  // eM11 eM12 eM21 eM22 eDx eDy
  PenDef pen;
  BrushDef brush;
  FontDef font;
  TColor textColor = 0;
  TColor bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  uint32_t textAlign = 0;
  PointD cur;
  TClipRegion clip;
};

class Player {
 public:
  Player(TCanvas& canvas, bool wmf) : FCanvas(canvas), FWmf(wmf) {}

  // Reference-device pixels to picture pixels (enhanced metafiles).
  double devScaleX = 1, devScaleY = 1, devOffX = 0, devOffY = 0;
  double devPxPerMmX = 96 / 25.4, devPxPerMmY = 96 / 25.4;
  DCState dc;

  PointD ToPicture(double x, double y) const {
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
  TPoint P(double x, double y) const {
    const PointD p = ToPicture(x, y);
    return Point(Clamp(p.x), Clamp(p.y));
  }
  static int Clamp(double v) {
    if (!(v == v)) return 0;
    return static_cast<int>(RoundHalfEven(std::clamp(v, -kCoordLimit, kCoordLimit)));
  }
  double ScaleX() const {
    const PointD a = ToPicture(0, 0), b = ToPicture(1, 0);
    return std::hypot(b.x - a.x, b.y - a.y);
  }
  double ScaleY() const {
    const PointD a = ToPicture(0, 0), b = ToPicture(0, 1);
    return std::hypot(b.x - a.x, b.y - a.y);
  }
  TRect R(double l, double t, double r, double b) const {
    TPoint p1 = P(l, t), p2 = P(r, b);
    return Rect(std::min(p1.X, p2.X), std::min(p1.Y, p2.Y), std::max(p1.X, p2.X), std::max(p1.Y, p2.Y));
  }

  // ---- objects ----
  void AddObject(GdiObject o) {
    for (auto& slot : FObjects)
      if (!slot) {
        slot = std::move(o);
        return;
      }
    if (FObjects.size() >= kMaxObjects) return;
    FObjects.push_back(std::move(o));
  }
  void SetObject(uint32_t index, GdiObject o) {
    if (index >= kMaxObjects) return;
    if (index >= FObjects.size()) FObjects.resize(index + 1);
    FObjects[index] = std::move(o);
  }
  void SelectObject(uint32_t index) {
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
  }
  void DeleteObject(uint32_t index) {
    if (index < FObjects.size()) FObjects[index].reset();
  }

  // ---- state ----
  void Save() {
    if (FSaved.size() < kMaxSavedStates) FSaved.push_back(dc);
  }
  void Restore(int relative) {
    size_t n = relative < 0 ? static_cast<size_t>(-static_cast<int64_t>(relative)) : 1;
    if (relative > 0) {
      // An absolute level: keep that many saved states.
      if (static_cast<size_t>(relative) > FSaved.size()) return;
      n = FSaved.size() - static_cast<size_t>(relative) + 1;
    }
    if (n == 0 || n > FSaved.size()) return;
    dc = FSaved[FSaved.size() - n];
    FSaved.resize(FSaved.size() - n);
    FCanvas.SelectClipRgn(Combined(dc.clip));
  }
  void IntersectClip(const TRect& r) {
    dc.clip.Intersect(r);
    FCanvas.SelectClipRgn(Combined(dc.clip));
  }
  void SetBaseClip(const TClipRegion& c) { FBaseClip = c; }

  // ---- drawing ----
  void ApplyPen() {
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
  void ApplyBrush() {
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
  void ApplyShape() {
    ApplyBrush();
    ApplyPen();
  }

  void MoveTo(double x, double y) {
    dc.cur = {x, y};
    if (FInPath) StartFigure({dc.cur});
  }
  void LineTo(double x, double y) {
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
  void Polyline(const std::vector<PointD>& pts) {
    if (pts.size() < 2) return;
    if (FInPath) return AddToPath(pts, false);
    ApplyPen();
    FCanvas.Polyline(ToDevice(pts));
  }
  void Polygon(const std::vector<PointD>& pts) {
    if (pts.size() < 2) return;
    if (FInPath) return AddToPath(pts, true);
    ApplyShape();
    FCanvas.Polygon(ToDevice(pts));
  }
  void Rectangle(double l, double t, double r, double b) {
    if (FInPath) return AddToPath({{l, t}, {r, t}, {r, b}, {l, b}}, true);
    ApplyShape();
    FCanvas.Rectangle(R(l, t, r, b));
  }

  // Paths: figures collected between the begin and end records, then filled or stroked.
  void BeginPath() {
    FPath.clear();
    FInPath = true;
  }
  void EndPath() { FInPath = false; }
  void AbortPath() {
    FPath.clear();
    FInPath = false;
  }
  void CloseFigure() {
    if (!FPath.empty()) FPath.back().closed = true;
  }
  // Fills each figure with the brush and/or strokes it with the pen; the path is used up.
  // Figures are filled one by one, so a figure inside another is filled, not cut out.
  void DrawPath(bool fill, bool stroke) {
    FInPath = false;
    for (const Figure& f : FPath) {
      if (f.points.size() < 2) continue;
      if (fill && f.points.size() >= 3) {
        ApplyBrush();
        FCanvas.Pen().SetStyle(psClear);
        FCanvas.Polygon(ToDevice(f.points));
      }
      if (stroke) {
        std::vector<PointD> line = f.points;
        if (f.closed || fill) line.push_back(f.points.front());
        ApplyPen();
        FCanvas.Polyline(ToDevice(line));
      }
    }
    FPath.clear();
  }
  void RoundRect(double l, double t, double r, double b, double cw, double ch) {
    ApplyShape();
    FCanvas.RoundRect(R(l, t, r, b), Clamp(std::abs(cw * ScaleX())), Clamp(std::abs(ch * ScaleY())));
  }
  void Ellipse(double l, double t, double r, double b) {
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
  void Arc(int kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye) {
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
  void PolyBezier(std::vector<PointD> pts, bool fromCurrent) {
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

  void Text(double x, double y, std::u16string_view text, const std::vector<int>* logicalDx, uint32_t options,
            const std::optional<TRect>& clip) {
    if (text.empty()) return;
    if (dc.textAlign & 1) {  // TA_UPDATECP
      x = dc.cur.x;
      y = dc.cur.y;
    }
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
    font.SetOrientation(dc.font.escapement);
    TPoint p = P(x, y);
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
    int64_t width = 0;
    for (int d : dx) width += d;
    const uint32_t horizontal = dc.textAlign & 6, vertical = dc.textAlign & 24;
    if (horizontal == 6)
      p.X -= static_cast<int>(width / 2);
    else if (horizontal == 2)
      p.X -= static_cast<int>(width);
    const TTextMetric tm = FCanvas.GetTextMetrics();
    if (vertical == 24)
      p.Y -= tm.tmAscent;
    else if (vertical == 8)
      p.Y -= tm.tmHeight;
    FCanvas.SetBkMode(dc.bkMode == 1 ? TRANSPARENT : OPAQUE);
    FCanvas.SetBkColor(ColorToRGB(dc.bkColor) & 0xFFFFFF);
    int opts = 0;
    if (options & 2) opts |= ETO_OPAQUE;
    if (options & 4) opts |= ETO_CLIPPED;
    if (dx.size() != text.size()) return;
    FCanvas.ExtTextOut(p.X, p.Y, clip ? opts : 0, clip ? &*clip : nullptr, text, dx.data());
    if (dc.textAlign & 1) dc.cur.x += width / std::max(ScaleX(), 1e-9);
  }

  // A device-independent bitmap (info header, colour table, bits) stretched into a rectangle.
  void StretchDIB(std::span<const uint8_t> dib, double x, double y, double w, double h, int sx, int sy,
                  int sw, int sh) {
    std::unique_ptr<TBitmap> bmp;
    try {
      bmp = DecodeBMP(dib, false, false);
    } catch (const EInvalidGraphic&) {
      return;  // a bitmap we cannot read is left out
    }
    TRect dest = R(x, y, x + w, y + h);
    auto c = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -(1 << 30), 1 << 30)); };
    TRect src = Rect(c(sx), c(sy), c(int64_t{sx} + sw), c(int64_t{sy} + sh));
    if (sw <= 0 || sh <= 0) src = Rect(0, 0, bmp->Width(), bmp->Height());
    src = IntersectRect(src, Rect(0, 0, bmp->Width(), bmp->Height()));
    if (dest.IsEmpty() || src.IsEmpty()) return;
    FCanvas.CopyRect(dest, *bmp, src);
  }
  void FillRect(const TRect& r) {
    ApplyBrush();
    FCanvas.FillRect(r);
  }

  bool CountRecord() { return ++FRecords <= kMaxRecords; }

 private:
  struct Figure {
    std::vector<PointD> points;
    bool closed = false;
  };
  void StartFigure(std::vector<PointD> pts) {
    if (!FPath.empty() && FPath.back().points.size() <= 1) FPath.pop_back();
    if (FPath.size() >= kMaxFigures) return;
    FPath.push_back({std::move(pts), false});
  }
  // Continues the open figure when the points start where it ends, else starts a new one.
  void AddToPath(const std::vector<PointD>& pts, bool closed) {
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
  std::vector<Figure> FPath;
  bool FInPath = false;

 private:
  std::vector<TPoint> ToDevice(const std::vector<PointD>& pts) const {
    std::vector<TPoint> out;
    out.reserve(pts.size());
    for (const PointD& p : pts) out.push_back(P(p.x, p.y));
    return out;
  }
  TClipRegion Combined(const TClipRegion& c) const {
    TClipRegion r = FBaseClip;
    r.Intersect(c);
    return r;
  }

  TCanvas& FCanvas;
  bool FWmf;
  std::vector<std::optional<GdiObject>> FObjects;
  std::vector<DCState> FSaved;
  TClipRegion FBaseClip;
  size_t FRecords = 0;
};

std::u16string Latin1(std::span<const uint8_t> bytes) {
  std::u16string s;
  for (uint8_t b : bytes) s.push_back(b);
  return s;
}

WideString FaceName(std::span<const uint8_t> bytes, bool wide) {
  WideString s;
  if (wide) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
      if (!c) break;
      s.push_back(c);
    }
  } else {
    for (uint8_t b : bytes) {
      if (!b) break;
      s.push_back(b);
    }
  }
  return s;
}

}  // namespace

void PlayWindowsMetafile(std::span<const uint8_t> data, TMetafile& into) {
  try {
    TByteReader r(data);
    if (r.U32LE() != 0x9AC6CDD7u) Bad();
    r.U16LE();
    const int left = r.I16LE(), top = r.I16LE(), right = r.I16LE(), bottom = r.I16LE();
    int inch = r.U16LE();
    r.Skip(6);
    if (inch == 0) inch = 1440;
    const double bw = std::abs(right - left), bh = std::abs(bottom - top);
    const int64_t w = static_cast<int64_t>(RoundHalfEven(bw * 96 / inch));
    const int64_t h = static_cast<int64_t>(RoundHalfEven(bh * 96 / inch));
    CheckPictureSize(w, h, kMaxPicturePixels);
    // Standard metafile header.
    const size_t start = r.Position();
    r.U16LE();
    const uint16_t headerWords = r.U16LE();
    r.U16LE();
    const uint32_t totalWords = r.U32LE();
    if (headerWords < 9 || totalWords > (data.size() - start) / 2) Bad();
    r.Seek(start + size_t{headerWords} * 2);

    into.Clear();
    into.SetSize(static_cast<int>(w), static_cast<int>(h));
    TCanvas& canvas = into.Canvas();
    Player pl(canvas, true);
    pl.dc.mapMode = 8;
    pl.dc.winOrg = {static_cast<double>(std::min(left, right)), static_cast<double>(std::min(top, bottom))};
    pl.dc.winExt = {bw, bh};
    pl.dc.vpExt = {static_cast<double>(w), static_cast<double>(h)};
    pl.SetBaseClip(TClipRegion::FromRect(Rect(0, 0, static_cast<int>(w), static_cast<int>(h))));
    canvas.SelectClipRgn(TClipRegion::FromRect(Rect(0, 0, static_cast<int>(w), static_cast<int>(h))));

    while (r.Remaining() >= 6 && pl.CountRecord()) {
      const size_t recStart = r.Position();
      const uint32_t sizeWords = r.U32LE();
      const uint16_t fn = r.U16LE();
      if (sizeWords < 3 || sizeWords > (r.Size() - recStart) / 2) break;
      TByteReader p = r.Sub(recStart + 6, size_t{sizeWords} * 2 - 6);
      r.Seek(recStart + size_t{sizeWords} * 2);
      TByteReader q(p.Bytes(p.Remaining()), false);  // short records read as zeros
      auto s16 = [&] { return static_cast<double>(q.I16LE()); };
      auto readPoints = [&](size_t n) {
        std::vector<PointD> pts;
        n = std::min(n, q.Remaining() / 4);
        for (size_t i = 0; i < n; ++i) {
          const double x = s16();
          pts.push_back({x, s16()});
        }
        return pts;
      };
      switch (fn) {
        case 0x0000:
          return;  // end of file
        case 0x001E:
          pl.Save();
          break;
        case 0x0127:
          pl.Restore(q.I16LE());
          break;
        case 0x0201:
          pl.dc.bkColor = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          break;
        case 0x0102:
          pl.dc.bkMode = q.U16LE();
          break;
        case 0x0103:
          pl.dc.mapMode = q.U16LE();
          break;
        case 0x0209:
          pl.dc.textColor = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          break;
        case 0x012E:
          pl.dc.textAlign = q.U16LE();
          break;
        case 0x020B: {
          const double y = s16();
          pl.dc.winOrg = {s16(), y};
          break;
        }
        case 0x020C: {
          const double y = s16();
          pl.dc.winExt = {s16(), y};
          break;
        }
        case 0x0214: {
          const double y = s16();
          pl.MoveTo(s16(), y);
          break;
        }
        case 0x0213: {
          const double y = s16();
          pl.LineTo(s16(), y);
          break;
        }
        case 0x041B:
        case 0x0418: {
          const double b = s16(), rr = s16(), t = s16(), l = s16();
          if (fn == 0x041B)
            pl.Rectangle(l, t, rr, b);
          else
            pl.Ellipse(l, t, rr, b);
          break;
        }
        case 0x061C: {
          const double ch = s16(), cw = s16(), b = s16(), rr = s16(), t = s16(), l = s16();
          pl.RoundRect(l, t, rr, b, cw, ch);
          break;
        }
        case 0x0817:
        case 0x081A:
        case 0x0830: {
          const double ye = s16(), xe = s16(), ys = s16(), xs = s16(), b = s16(), rr = s16(), t = s16(),
                       l = s16();
          pl.Arc(fn == 0x0817 ? 0 : fn == 0x081A ? 1 : 2, l, t, rr, b, xs, ys, xe, ye);
          break;
        }
        case 0x0324:
        case 0x0325: {
          const auto pts = readPoints(q.U16LE());
          if (fn == 0x0324)
            pl.Polygon(pts);
          else
            pl.Polyline(pts);
          break;
        }
        case 0x0538: {
          const size_t n = q.U16LE();
          std::vector<size_t> counts;
          for (size_t i = 0; i < n && !q.Failed(); ++i) counts.push_back(q.U16LE());
          for (size_t c : counts) pl.Polygon(readPoints(c));
          break;
        }
        case 0x0521: {
          const size_t len = q.U16LE();
          const auto text = Latin1(q.Bytes(len));
          if (len % 2) q.U8();
          const double y = s16();
          pl.Text(s16(), y, text, nullptr, 0, std::nullopt);
          break;
        }
        case 0x0A32: {
          const double y = s16(), x = s16();
          const size_t len = q.U16LE();
          const uint16_t options = q.U16LE();
          std::optional<TRect> clip;
          if (options & 6) {
            const double l = s16(), t = s16(), rr = s16(), b = s16();
            clip = pl.R(l, t, rr, b);
          }
          const auto text = Latin1(q.Bytes(len));
          if (len % 2) q.U8();
          std::vector<int> dx;
          if (q.Remaining() >= len * 2)
            for (size_t i = 0; i < len; ++i) dx.push_back(q.I16LE());
          pl.Text(x, y, text, dx.empty() ? nullptr : &dx, options, clip);
          break;
        }
        case 0x02FA: {
          GdiObject o;
          o.kind = GdiObject::Pen;
          o.pen.style = q.U16LE();
          o.pen.width = s16();
          s16();
          o.pen.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          pl.AddObject(o);
          break;
        }
        case 0x02FC: {
          GdiObject o;
          o.kind = GdiObject::Brush;
          o.brush.style = q.U16LE();
          o.brush.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          o.brush.hatch = q.U16LE();
          pl.AddObject(o);
          break;
        }
        case 0x02FB: {
          GdiObject o;
          o.kind = GdiObject::Font;
          o.font.height = s16();
          s16();
          o.font.escapement = q.I16LE();
          q.I16LE();
          o.font.weight = q.I16LE();
          o.font.italic = q.U8() != 0;
          o.font.underline = q.U8() != 0;
          o.font.strikeOut = q.U8() != 0;
          q.Skip(5);
          o.font.name = FaceName(q.Bytes(std::min<size_t>(32, q.Remaining())), false);
          pl.AddObject(o);
          break;
        }
        case 0x00F7:  // palette, pattern brushes and regions take a slot in the object table
        case 0x01F9:
        case 0x0142:
        case 0x06FF:
          pl.AddObject(GdiObject{});
          break;
        case 0x012D:
          pl.SelectObject(q.U16LE());
          break;
        case 0x01F0:
          pl.DeleteObject(q.U16LE());
          break;
        case 0x0416: {
          const double b = s16(), rr = s16(), t = s16(), l = s16();
          pl.IntersectClip(pl.R(l, t, rr, b));
          break;
        }
        case 0x0F43: {
          q.U32LE();
          q.U16LE();
          const int sh = q.I16LE(), sw = q.I16LE(), sy = q.I16LE(), sx = q.I16LE();
          const double dh = s16(), dw = s16(), dy = s16(), dx = s16();
          pl.StretchDIB(q.Bytes(q.Remaining()), dx, dy, dw, dh, sx, sy, sw, sh);
          break;
        }
        case 0x0B41: {
          q.U32LE();
          const int sh = q.I16LE(), sw = q.I16LE(), sy = q.I16LE(), sx = q.I16LE();
          const double dh = s16(), dw = s16(), dy = s16(), dx = s16();
          if (q.Remaining() > 0) pl.StretchDIB(q.Bytes(q.Remaining()), dx, dy, dw, dh, sx, sy, sw, sh);
          break;
        }
        default:
          break;  // records that do not draw
      }
    }
  } catch (const EReadError&) {
    Bad();
  }
}

void PlayEnhancedMetafile(std::span<const uint8_t> data, TMetafile& into) {
  try {
    TByteReader r(data);
    if (r.U32LE() != 1) Bad();
    const uint32_t headerSize = r.U32LE();
    const int bl = r.I32LE(), bt = r.I32LE(), br = r.I32LE(), bb = r.I32LE();
    const int fl = r.I32LE(), ft = r.I32LE(), fr = r.I32LE(), fb = r.I32LE();
    if (std::memcmp(r.Bytes(4).data(), " EMF", 4) != 0) Bad();
    r.Skip(4);  // version
    const uint32_t totalBytes = r.U32LE();
    r.Skip(4 + 2 + 2 + 4 + 4 + 4);  // records, handles, reserved, description, palette
    const int devW = r.I32LE(), devH = r.I32LE(), mmW = r.I32LE(), mmH = r.I32LE();
    if (headerSize < 88 || headerSize > data.size() || totalBytes > data.size()) Bad();

    Player pl(into.Canvas(), false);
    pl.devPxPerMmX = devW > 0 && mmW > 0 ? static_cast<double>(devW) / mmW : 96 / 25.4;
    pl.devPxPerMmY = devH > 0 && mmH > 0 ? static_cast<double>(devH) / mmH : 96 / 25.4;
    int64_t w = 0, h = 0;
    if (fr > fl && fb > ft) {
      // The frame in hundredths of a millimetre, shown at 96 pixels per inch; the reference
      // device's pixels are placed on it by its resolution.
      w = static_cast<int64_t>(RoundHalfEven((static_cast<double>(fr) - fl) * 96 / 2540));
      h = static_cast<int64_t>(RoundHalfEven((static_cast<double>(fb) - ft) * 96 / 2540));
      const double pxPer100Mm = 96 / 2540.0;
      pl.devScaleX = 100 / pl.devPxPerMmX * pxPer100Mm;
      pl.devScaleY = 100 / pl.devPxPerMmY * pxPer100Mm;
      pl.devOffX = -static_cast<double>(fl) * pxPer100Mm;
      pl.devOffY = -static_cast<double>(ft) * pxPer100Mm;
    } else {
      w = static_cast<int64_t>(br) - bl + 1;
      h = static_cast<int64_t>(bb) - bt + 1;
      pl.devOffX = -static_cast<double>(bl);
      pl.devOffY = -static_cast<double>(bt);
    }
    CheckPictureSize(w, h, kMaxPicturePixels);
    into.Clear();
    into.SetSize(static_cast<int>(w), static_cast<int>(h));
    TCanvas& canvas = into.Canvas();
    const TClipRegion base = TClipRegion::FromRect(Rect(0, 0, static_cast<int>(w), static_cast<int>(h)));
    pl.SetBaseClip(base);
    canvas.SelectClipRgn(base);

    const size_t end = std::min<size_t>(data.size(), totalBytes >= headerSize ? totalBytes : data.size());
    r.Seek(headerSize);
    while (r.Position() + 8 <= end && pl.CountRecord()) {
      const size_t recStart = r.Position();
      const uint32_t type = r.U32LE();
      const uint32_t size = r.U32LE();
      if (size < 8 || size > end - recStart || size % 4) break;
      auto body = r.Sub(recStart, size);
      r.Seek(recStart + size);
      TByteReader whole(data.subspan(recStart, size), false);  // for offsets from the record start
      TByteReader q(body.Sub(8, size - 8).Bytes(size - 8), false);
      auto i32 = [&] { return static_cast<double>(q.I32LE()); };
      auto readPoints = [&](size_t n, bool shortForm) {
        std::vector<PointD> pts;
        n = std::min(n, q.Remaining() / (shortForm ? 4 : 8));
        pts.reserve(n);
        for (size_t i = 0; i < n; ++i) {
          const double x = shortForm ? q.I16LE() : q.I32LE();
          const double y = shortForm ? q.I16LE() : q.I32LE();
          pts.push_back({x, y});
        }
        return pts;
      };
      switch (type) {
        case 14:
          return;  // end of file
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 85:
        case 86:
        case 87:
        case 88:
        case 89: {
          q.Skip(16);
          const bool shortForm = type >= 85;
          const auto pts = readPoints(q.U32LE(), shortForm);
          const uint32_t kind = shortForm ? type - 83 : type;  // 2 bezier .. 6 polyline-to
          if (kind == 3)
            pl.Polygon(pts);
          else if (kind == 4)
            pl.Polyline(pts);
          else if (kind == 2 || kind == 5)
            pl.PolyBezier(pts, kind == 5);
          else if (kind == 6 && !pts.empty()) {
            std::vector<PointD> all{pl.dc.cur};
            all.insert(all.end(), pts.begin(), pts.end());
            pl.Polyline(all);
            pl.dc.cur = pts.back();
          }
          break;
        }
        case 7:
        case 8:
        case 90:
        case 91: {
          q.Skip(16);
          const bool shortForm = type >= 90;
          const size_t n = q.U32LE();
          q.U32LE();
          std::vector<size_t> counts;
          for (size_t i = 0; i < n && q.Remaining() >= 4; ++i) counts.push_back(q.U32LE());
          for (size_t c : counts) {
            const auto pts = readPoints(c, shortForm);
            if (type == 8 || type == 91)
              pl.Polygon(pts);
            else
              pl.Polyline(pts);
          }
          break;
        }
        case 9: {
          const double x = i32();
          pl.dc.winExt = {x, i32()};
          break;
        }
        case 10: {
          const double x = i32();
          pl.dc.winOrg = {x, i32()};
          break;
        }
        case 11: {
          const double x = i32();
          pl.dc.vpExt = {x, i32()};
          break;
        }
        case 12: {
          const double x = i32();
          pl.dc.vpOrg = {x, i32()};
          break;
        }
        case 17:
          pl.dc.mapMode = static_cast<int>(q.U32LE());
          break;
        case 18:
          pl.dc.bkMode = static_cast<int>(q.U32LE());
          break;
        case 22:
          pl.dc.textAlign = q.U32LE();
          break;
        case 24:
          pl.dc.textColor = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          break;
        case 25:
          pl.dc.bkColor = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          break;
        case 27: {
          const double x = i32();
          pl.MoveTo(x, i32());
          break;
        }
        case 54: {
          const double x = i32();
          pl.LineTo(x, i32());
          break;
        }
        case 30: {
          const double l = i32(), t = i32(), rr = i32(), b = i32();
          pl.IntersectClip(pl.R(l, t, rr, b));
          break;
        }
        case 33:
          pl.Save();
          break;
        case 34:
          pl.Restore(q.I32LE());
          break;
        case 35:
        case 36: {
          float m[6];
          for (float& v : m) {
            const uint32_t bits = q.U32LE();
            std::memcpy(&v, &bits, 4);
            if (!std::isfinite(v)) v = 0;
          }
          const uint32_t mode = type == 35 ? 4 : q.U32LE();
          double* xf = pl.dc.xf;
          if (mode == 1) {
            const double id[6] = {1, 0, 0, 1, 0, 0};
            std::copy(id, id + 6, xf);
          } else if (mode == 4) {
            std::copy(m, m + 6, xf);
          } else if (mode == 2 || mode == 3) {
            // Left multiply: the new transform applies first; right multiply: last.
            const double* a = mode == 2 ? nullptr : xf;
            double A[6], B[6];
            if (mode == 2) {
              std::copy(m, m + 6, A);
              std::copy(xf, xf + 6, B);
            } else {
              std::copy(a, a + 6, A);
              std::copy(m, m + 6, B);
            }
            const double out[6] = {A[0] * B[0] + A[1] * B[2],        A[0] * B[1] + A[1] * B[3],
                                   A[2] * B[0] + A[3] * B[2],        A[2] * B[1] + A[3] * B[3],
                                   A[4] * B[0] + A[5] * B[2] + B[4], A[4] * B[1] + A[5] * B[3] + B[5]};
            std::copy(out, out + 6, xf);
          }
          break;
        }
        case 37:
          pl.SelectObject(q.U32LE());
          break;
        case 40:
          pl.DeleteObject(q.U32LE());
          break;
        case 38: {
          const uint32_t index = q.U32LE();
          GdiObject o;
          o.kind = GdiObject::Pen;
          o.pen.style = q.U32LE();
          o.pen.width = i32();
          q.I32LE();
          o.pen.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          pl.SetObject(index, o);
          break;
        }
        case 95: {
          const uint32_t index = q.U32LE();
          q.Skip(16);
          GdiObject o;
          o.kind = GdiObject::Pen;
          o.pen.style = q.U32LE();
          o.pen.width = q.U32LE();
          const uint32_t brushStyle = q.U32LE();
          o.pen.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          if (brushStyle == 1) o.pen.style = 5;
          pl.SetObject(index, o);
          break;
        }
        case 39: {
          const uint32_t index = q.U32LE();
          GdiObject o;
          o.kind = GdiObject::Brush;
          o.brush.style = q.U32LE();
          o.brush.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
          o.brush.hatch = q.U32LE();
          pl.SetObject(index, o);
          break;
        }
        case 93:
        case 94: {  // pattern brushes keep their slot
          pl.SetObject(q.U32LE(), GdiObject{});
          break;
        }
        case 82: {
          const uint32_t index = q.U32LE();
          GdiObject o;
          o.kind = GdiObject::Font;
          o.font.height = q.I32LE();
          q.I32LE();
          o.font.escapement = q.I32LE();
          q.I32LE();
          o.font.weight = q.I32LE();
          o.font.italic = q.U8() != 0;
          o.font.underline = q.U8() != 0;
          o.font.strikeOut = q.U8() != 0;
          q.Skip(5);
          o.font.name = FaceName(q.Bytes(std::min<size_t>(64, q.Remaining())), true);
          pl.SetObject(index, o);
          break;
        }
        case 42:
        case 43: {
          const double l = i32(), t = i32(), rr = i32(), b = i32();
          if (type == 42)
            pl.Ellipse(l, t, rr, b);
          else
            pl.Rectangle(l, t, rr, b);
          break;
        }
        case 44: {
          const double l = i32(), t = i32(), rr = i32(), b = i32(), cw = i32(), ch = i32();
          pl.RoundRect(l, t, rr, b, cw, ch);
          break;
        }
        case 45:
        case 46:
        case 47: {
          const double l = i32(), t = i32(), rr = i32(), b = i32(), xs = i32(), ys = i32(), xe = i32(),
                       ye = i32();
          pl.Arc(type == 45 ? 0 : type == 47 ? 1 : 2, l, t, rr, b, xs, ys, xe, ye);
          break;
        }
        case 84: {
          q.Skip(16 + 4 + 8);
          const double x = i32(), y = i32();
          const uint32_t nChars = q.U32LE(), offString = q.U32LE(), options = q.U32LE();
          const double l = i32(), t = i32(), rr = i32(), b = i32();
          const uint32_t offDx = q.U32LE();
          if (nChars == 0 || nChars > size) break;
          if (offString > size || size - offString < size_t{nChars} * 2) break;
          std::u16string text;
          whole.Seek(offString);
          for (uint32_t i = 0; i < nChars; ++i) text.push_back(static_cast<char16_t>(whole.U16LE()));
          std::vector<int> dx;
          if (offDx && offDx <= size && (size - offDx) / 4 >= nChars) {
            whole.Seek(offDx);
            for (uint32_t i = 0; i < nChars; ++i) dx.push_back(whole.I32LE());
          }
          std::optional<TRect> clip;
          if ((options & 6) && rr > l && b > t) clip = pl.R(l, t, rr, b);
          pl.Text(x, y, text, dx.empty() ? nullptr : &dx, options, clip);
          break;
        }
        case 81: {
          q.Skip(16);
          const double xd = i32(), yd = i32();
          const int xs = q.I32LE(), ys = q.I32LE(), cxs = q.I32LE(), cys = q.I32LE();
          const uint32_t offBmi = q.U32LE(), cbBmi = q.U32LE(), offBits = q.U32LE(), cbBits = q.U32LE();
          q.U32LE();
          q.U32LE();
          const double cxd = i32(), cyd = i32();
          if (offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits ||
              cbBmi == 0)
            break;
          std::vector<uint8_t> dib(data.begin() + recStart + offBmi,
                                   data.begin() + recStart + offBmi + cbBmi);
          dib.insert(dib.end(), data.begin() + recStart + offBits,
                     data.begin() + recStart + offBits + cbBits);
          // Source rows count from the bottom of a bottom-up bitmap; the whole bitmap is the
          // common case, and the part given is taken as top-left based.
          pl.StretchDIB(dib, xd, yd, cxd, cyd, xs, ys, cxs, cys);
          break;
        }
        case 59:
          pl.BeginPath();
          break;
        case 60:
          pl.EndPath();
          break;
        case 61:
          pl.CloseFigure();
          break;
        case 62:
          pl.DrawPath(true, false);
          break;
        case 63:
          pl.DrawPath(true, true);
          break;
        case 64:
          pl.DrawPath(false, true);
          break;
        case 68:
          pl.AbortPath();
          break;
        case 76: {  // a pattern fill without a source bitmap
          q.Skip(16);
          const double xd = i32(), yd = i32(), cxd = i32(), cyd = i32();
          const uint32_t rop = q.U32LE();
          if (rop == 0x00F00021) pl.FillRect(pl.R(xd, yd, xd + cxd, yd + cyd));
          break;
        }
        default:
          break;  // records that do not draw
      }
    }
  } catch (const EReadError&) {
    Bad();
  }
}

}  // namespace pagewright
