#include "render/bitmap.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "platform/exceptions.h"
#include "platform/memory_budget.h"
#include "platform/scope_guard.h"
#include "render/colors.h"
#include "render/font_internal.h"

namespace pagewright {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PatternDeleter {
  void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
struct PathDeleter {
  void operator()(cairo_path_t* p) const { cairo_path_destroy(p); }
};
struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;
using PathPtr = std::unique_ptr<cairo_path_t, PathDeleter>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsDeleter>;

constexpr double kPi = 3.14159265358979323846;

void SetColor(cairo_t* cr, TColor color) {
  TColor rgb = ColorToRGB(color);
  cairo_set_source_rgb(cr, GetRValue(rgb) / 255.0, GetGValue(rgb) / 255.0, GetBValue(rgb) / 255.0);
}

uint32_t ToPixel(TColor color) {
  TColor rgb = ColorToRGB(color);
  return (static_cast<uint32_t>(GetRValue(rgb)) << 16) | (static_cast<uint32_t>(GetGValue(rgb)) << 8) |
         GetBValue(rgb);
}

// A premultiplied ARGB pixel as plain 0x00RRGGBB.
uint32_t Unpremultiply(uint32_t px) {
  uint32_t a = px >> 24;
  if (a == 255) return px & 0xFFFFFF;
  if (a == 0) return 0;
  auto ch = [&](int shift) { return std::min<uint32_t>(255, (((px >> shift) & 0xFF) * 255 + a / 2) / a); };
  return (ch(16) << 16) | (ch(8) << 8) | ch(0);
}

uint32_t Threshold(uint32_t px) {
  uint32_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
  return (r * 299 + g * 587 + b * 114) >= 128000 ? 0xFFFFFFu : 0u;
}

SurfacePtr NewSurface(int w, int h, bool alpha) {
  SurfacePtr s(cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, std::max(0, w),
                                          std::max(0, h)));
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
    throw EOutOfMemory("Out of system resources: bitmap of " + std::to_string(w) + " x " + std::to_string(h));
  return s;
}

bool HatchPixel(TBrushStyle style, int x, int y) {
  bool h = y % 8 == 0, v = x % 8 == 0, f = ((x - y) % 8 + 8) % 8 == 0, b = (x + y) % 8 == 7;
  switch (style) {
    case bsHorizontal:
      return h;
    case bsVertical:
      return v;
    case bsFDiagonal:
      return f;
    case bsBDiagonal:
      return b;
    case bsCross:
      return h || v;
    case bsDiagCross:
      return f || b;
    default:
      return false;
  }
}

// A run of pixels collected while stepping along a one-pixel line.
struct PixelRuns {
  cairo_t* cr;
  bool open = false;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // inclusive
  void Add(int x, int y) {
    if (open) {
      if (y == y0 && y == y1 && (x == x1 + 1 || x == x0 - 1)) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        return;
      }
      if (x == x0 && x == x1 && (y == y1 + 1 || y == y0 - 1)) {
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
        return;
      }
      Flush();
    }
    open = true;
    x0 = x1 = x;
    y0 = y1 = y;
  }
  void Flush() {
    if (open) cairo_rectangle(cr, x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    open = false;
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The raster canvas

// The largest side of a Cairo image surface.
constexpr int kMaxSurfaceSide = 32767;
// The largest layer a window composites a scaled picture on (see DoCopyRect), in pixels.
constexpr int64_t kMaxLayerPixels = int64_t{16} << 20;

class TBitmapCanvas;

struct TBitmap::Impl {
  SurfacePtr surface;
  // The pixels' bytes, drawn from the process's memory budget.
  TMemoryReservation pixels;
  std::unique_ptr<TBitmapCanvas> canvas;
  // The window onto a larger picture (see SetWindow); the canvas draws shifted by the origin.
  bool window = false;
  int originX = 0, originY = 0;
  int fullWidth = 0, fullHeight = 0;
  void* SurfaceHandle() const { return surface.get(); }
};

class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& owner) : FOwner(owner) {}
  void Attach(cairo_surface_t* surface) {
    FFillsKnown = 0;  // learned on the surface they were learned on
    FCr.reset(cairo_create(surface));
    const TBitmap::Impl& impl = FOwner.Internals();
    // A whole-pixel shift: shapes, glyphs and patterns land on the pixels they cover on the
    // whole picture (scaled pictures need more, see DoCopyRect).
    if (impl.window) cairo_translate(FCr.get(), -impl.originX, -impl.originY);
    cairo_set_antialias(FCr.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(FCr.get(), CAIRO_FILL_RULE_EVEN_ODD);
    DoClipChanged();
  }
  cairo_t* Context() const { return FCr.get(); }

 private:
  // Barcode bars and other solid rectangles come by the hundred a page. Once Cairo has shown
  // which pixel value a solid colour gives on this surface, further whole-pixel rectangles of that
  // colour (no antialiasing, no clip but a rectangle) are written directly: the same pixels,
  // without a path and a rasteriser each.
  bool DirectArea(const TRect& r, TRect& area) {
    const TBrush& brush = Brush();
    if (brush.Style() != bsSolid || IsNoColor(brush.Color())) return false;
    if (FOwner.PixelFormat() != pf24bit && FOwner.PixelFormat() != pf32bit) return false;
    area = r;
    const TClipRegion& clip = GetClipRgnRef();
    if (clip.IsClipped()) {
      if (clip.Shapes().size() != 1 || clip.Shapes()[0].kind != TClipShape::ckRect) return false;
      const TRect& c = clip.Shapes()[0].rect;
      area = Rect(std::max(area.Left, c.Left), std::max(area.Top, c.Top), std::min(area.Right, c.Right),
                  std::min(area.Bottom, c.Bottom));
    }
    const TBitmap::Impl& impl = FOwner.Internals();
    if (impl.window) {
      area = Rect(area.Left - impl.originX, area.Top - impl.originY, area.Right - impl.originX,
                  area.Bottom - impl.originY);
    }
    area = Rect(std::max(area.Left, 0), std::max(area.Top, 0), std::min(area.Right, FOwner.Width()),
                std::min(area.Bottom, FOwner.Height()));
    return true;
  }
  uint32_t* SurfaceRow(int y) const {
    cairo_surface_t* s = FOwner.Internals().surface.get();
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
  }
  bool FillDirect(const TRect& r) {
    const TColor color = Brush().Color();
    const TLearnedFill* known = nullptr;
    for (int i = 0; i < FFillsKnown; ++i)
      if (FFills[i].color == color) known = &FFills[i];
    if (!known) return false;
    TRect area;
    if (!DirectArea(r, area)) return false;
    if (area.Left >= area.Right || area.Top >= area.Bottom) return true;
    cairo_surface_t* s = FOwner.Internals().surface.get();
    cairo_surface_flush(s);
    const int stride = cairo_image_surface_get_stride(s);
    uint8_t* row = cairo_image_surface_get_data(s) + static_cast<ptrdiff_t>(area.Top) * stride;
    const size_t width = static_cast<size_t>(area.Width());
    const uint32_t pixel = known->pixel;
    for (int y = area.Top; y < area.Bottom; ++y, row += stride)
      std::fill_n(reinterpret_cast<uint32_t*>(row) + area.Left, width, pixel);
    cairo_surface_mark_dirty_rectangle(s, area.Left, area.Top, area.Width(), area.Height());
    return true;
  }
  void LearnFillPixel(const TRect& r) {
    TRect area;
    if (!DirectArea(r, area) || area.Left >= area.Right || area.Top >= area.Bottom) return;
    cairo_surface_flush(FOwner.Internals().surface.get());
    // A few colours (a barcode's bars and spaces alternate): the oldest learned gives way.
    TLearnedFill& slot = FFills[FFillsKnown < kLearnedFills ? FFillsKnown++ : FNextFill++ % kLearnedFills];
    slot.color = Brush().Color();
    slot.pixel = SurfaceRow(area.Top)[area.Left];
  }
  struct TLearnedFill {
    TColor color = 0;
    uint32_t pixel = 0;
  };
  static constexpr int kLearnedFills = 4;
  TLearnedFill FFills[kLearnedFills];
  int FFillsKnown = 0;
  int FNextFill = 0;

 public:

  int GetDeviceCaps(int index) const override {
    switch (index) {
      case LOGPIXELSX:
      case LOGPIXELSY:
        return FOwner.PixelsPerInch();
      case HORZRES:
        return SurfaceSize().cx;
      case VERTRES:
        return SurfaceSize().cy;
      case BITSPIXEL:
        return FOwner.Monochrome() ? 1 : FOwner.PixelFormat() == pf32bit ? 32 : 24;
      case TECHNOLOGY:
        return DT_RASDISPLAY;
      default:
        return 0;
    }
  }

 protected:
  TSize SurfaceSize() const override {
    const TBitmap::Impl& impl = FOwner.Internals();
    if (impl.window) return TSize{impl.fullWidth, impl.fullHeight};
    return TSize{FOwner.Width(), FOwner.Height()};
  }

  void DoClipChanged() override {
    if (!FCr) return;
    cairo_reset_clip(FCr.get());
    ApplyClipShapes();
  }

  // Intersects FCr's clip with the canvas's clip region.
  void ApplyClipShapes() {
    cairo_t* cr = FCr.get();
    const TClipRegion& clip = GetClipRgnRef();
    if (!clip.IsClipped()) return;
    for (const auto& s : clip.Shapes()) {
      cairo_new_path(cr);
      switch (s.kind) {
        case TClipShape::ckRect:
          if (!s.rect.IsEmpty())
            cairo_rectangle(cr, s.rect.Left, s.rect.Top, s.rect.Width(), s.rect.Height());
          break;
        case TClipShape::ckEllipse:
          EllipsePath(s.rect);
          break;
        case TClipShape::ckRoundRect:
          RoundRectPath(s.rect, s.cornerW, s.cornerH);
          break;
        case TClipShape::ckPolygon:
          for (size_t i = 0; i < s.points.size(); ++i)
            (i ? cairo_line_to : cairo_move_to)(cr, s.points[i].X, s.points[i].Y);
          cairo_close_path(cr);
          break;
      }
      cairo_clip(cr);
    }
  }

  void DoLine(TPoint from, TPoint to) override {
    TPoint pts[2] = {from, to};
    StrokeOutline(pts, false);
  }

  void DoFillRect(const TRect& r) override {
    if (FillDirect(r)) return;
    FillWithBrush([&] { cairo_rectangle(FCr.get(), r.Left, r.Top, r.Width(), r.Height()); });
    LearnFillPixel(r);
  }

  void DoRectangle(const TRect& r) override {
    cairo_t* cr = FCr.get();
    if (r.Width() > 1 && r.Height() > 1)
      FillWithBrush([&] { cairo_rectangle(cr, r.Left, r.Top, r.Width() - 1, r.Height() - 1); });
    if (!PenVisible()) return;
    const int w = Pen().Width();
    if (w <= 1) {
      TPoint pts[4] = {Point(r.Left, r.Top), Point(r.Right - 1, r.Top), Point(r.Right - 1, r.Bottom - 1),
                       Point(r.Left, r.Bottom - 1)};
      StrokeOutline(pts, true);
      return;
    }
    double l, t, rr, b;
    CentreBox(r, l, t, rr, b);
    StrokeWide([&] { cairo_rectangle(cr, l, t, rr - l, b - t); });
  }

  void DoPolygon(std::span<const TPoint> points) override {
    cairo_t* cr = FCr.get();
    FillWithBrush([&] {
      for (size_t i = 0; i < points.size(); ++i)
        (i ? cairo_line_to : cairo_move_to)(cr, points[i].X, points[i].Y);
      cairo_close_path(cr);
    });
    StrokeOutline(points, true);
  }

  void DoPolyline(std::span<const TPoint> points) override { StrokeOutline(points, false); }

  void DoEllipse(const TRect& r) override {
    FillWithBrush([&] { EllipsePath(r); });
    if (!PenVisible()) return;
    if (Pen().Width() <= 1) {
      StrokeWide([&] { EllipsePath(r); }, 1);
      return;
    }
    double l, t, rr, b;
    CentreBox(r, l, t, rr, b);
    StrokeWide([&] { EllipseCentrePath(l, t, rr, b); });
  }

  void DoRoundRect(const TRect& r, int cw, int ch) override {
    FillWithBrush([&] { RoundRectPath(r, cw, ch); });
    if (!PenVisible()) return;
    if (Pen().Width() <= 1) {
      StrokeWide([&] { RoundRectPath(r, cw, ch); }, 1);
      return;
    }
    double l, t, rr, b;
    CentreBox(r, l, t, rr, b);
    StrokeWide([&] { RoundRectCentrePath(l, t, rr, b, cw / 2.0, ch / 2.0); });
  }

  void DoCopyRect(const TRect& dest, const TBitmap& source, const TRect& srcIn) override;
  void DoTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                 const int* dx) override;

 private:
  const TClipRegion& GetClipRgnRef() {
    FClipCopy = GetClipRgn();
    return FClipCopy;
  }

  bool PenVisible() const {
    const TPen& p = Pen();
    if (p.Style() == psClear || p.Mode() == pmNop) return false;
    if (p.Mode() == pmBlack || p.Mode() == pmWhite || p.Mode() == pmNot) return true;
    return !IsNoColor(p.Color());
  }

  // Sets the source for the pen; false when nothing is to be drawn.
  bool ApplyPen(TColor color) {
    cairo_t* cr = FCr.get();
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    switch (Pen().Mode()) {
      case pmNop:
        return false;
      case pmBlack:
        cairo_set_source_rgb(cr, 0, 0, 0);
        return true;
      case pmWhite:
        cairo_set_source_rgb(cr, 1, 1, 1);
        return true;
      case pmNot:
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
        return true;
      case pmNotCopy:
        if (IsNoColor(color)) return false;
        SetColor(cr, static_cast<TColor>(~ColorToRGB(color) & 0xFFFFFF));
        return true;
      default:
        if (IsNoColor(color)) return false;
        SetColor(cr, color);
        return true;
    }
  }

  // Centre lines of the pixel columns and rows on the rectangle's edges for a wide pen: odd
  // widths centre on pixel centres, even widths on the pixel boundary before, so that a pen of
  // width w covers the offsets -(w / 2) .. (w - 1) / 2 across the line.
  void CentreBox(const TRect& r, double& l, double& t, double& rr, double& b) const {
    const int w = Pen().Width();
    if (Pen().Style() == psInsideFrame) {
      l = r.Left + w / 2.0;
      t = r.Top + w / 2.0;
      rr = r.Right - w / 2.0;
      b = r.Bottom - w / 2.0;
      if (rr < l) l = rr = (r.Left + r.Right) / 2.0;
      if (b < t) t = b = (r.Top + r.Bottom) / 2.0;
      return;
    }
    const double o = (w % 2) ? 0.5 : 0.0;
    l = r.Left + o;
    t = r.Top + o;
    rr = r.Right - 1 + o;
    b = r.Bottom - 1 + o;
  }

  void EllipseCentrePath(double l, double t, double r, double b) {
    cairo_t* cr = FCr.get();
    double rx = std::max(0.5, (r - l) / 2), ry = std::max(0.5, (b - t) / 2);
    cairo_save(cr);
    cairo_translate(cr, (l + r) / 2, (t + b) / 2);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_close_path(cr);
    cairo_restore(cr);
  }
  // The ellipse through the centres of the bounding box's edge pixels.
  void EllipsePath(const TRect& r) {
    EllipseCentrePath(r.Left + 0.5, r.Top + 0.5, r.Right - 0.5, r.Bottom - 0.5);
  }

  void RoundRectCentrePath(double l, double t, double r, double b, double rx, double ry) {
    cairo_t* cr = FCr.get();
    rx = std::min(rx, (r - l) / 2);
    ry = std::min(ry, (b - t) / 2);
    if (rx <= 0 || ry <= 0) {
      cairo_rectangle(cr, l, t, r - l, b - t);
      return;
    }
    auto corner = [&](double cx, double cy, double a0) {
      cairo_save(cr);
      cairo_translate(cr, cx, cy);
      cairo_scale(cr, rx, ry);
      cairo_arc(cr, 0, 0, 1, a0, a0 + kPi / 2);
      cairo_restore(cr);
    };
    cairo_new_sub_path(cr);
    corner(r - rx, t + ry, -kPi / 2);
    corner(r - rx, b - ry, 0);
    corner(l + rx, b - ry, kPi / 2);
    corner(l + rx, t + ry, kPi);
    cairo_close_path(cr);
  }
  void RoundRectPath(const TRect& r, int cw, int ch) {
    RoundRectCentrePath(r.Left + 0.5, r.Top + 0.5, r.Right - 0.5, r.Bottom - 0.5, cw / 2.0, ch / 2.0);
  }

  // Fills the path the callback builds with the brush (hatches over the background colour when
  // the background is opaque).
  void FillWithBrush(const std::function<void()>& path) {
    cairo_t* cr = FCr.get();
    const TBrush& brush = Brush();
    if (brush.Style() == bsClear || IsNoColor(brush.Color())) return;
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    path();
    if (brush.Style() == bsSolid) {
      SetColor(cr, brush.Color());
      cairo_fill(cr);
      return;
    }
    if (GetBkMode() == OPAQUE && !IsNoColor(BkColor())) {
      SetColor(cr, BkColor());
      cairo_fill_preserve(cr);
    }
    SurfacePtr tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8));
    cairo_surface_flush(tile.get());
    uint8_t* data = cairo_image_surface_get_data(tile.get());
    const int stride = cairo_image_surface_get_stride(tile.get());
    const uint32_t px = 0xFF000000u | ToPixel(brush.Color());
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        reinterpret_cast<uint32_t*>(data + y * stride)[x] = HatchPixel(brush.Style(), x, y) ? px : 0;
    cairo_surface_mark_dirty(tile.get());
    PatternPtr pattern(cairo_pattern_create_for_surface(tile.get()));
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
    cairo_set_source(cr, pattern.get());
    cairo_fill(cr);
  }

  // Strokes the path the callback builds with the current (wide) pen, or the given width.
  void StrokeWide(const std::function<void()>& path, int widthOverride = 0) {
    cairo_t* cr = FCr.get();
    if (!ApplyPen(Pen().Color())) return;
    const TPen& pen = Pen();
    cairo_new_path(cr);
    path();
    cairo_set_line_width(cr, widthOverride > 0 ? widthOverride : std::max(1, pen.Width()));
    cairo_set_line_cap(cr, pen.EndCap() == pecSquare ? CAIRO_LINE_CAP_SQUARE
                           : pen.EndCap() == pecFlat ? CAIRO_LINE_CAP_BUTT
                                                     : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, pen.Join() == pjMiter   ? CAIRO_LINE_JOIN_MITER
                            : pen.Join() == pjBevel ? CAIRO_LINE_JOIN_BEVEL
                                                    : CAIRO_LINE_JOIN_ROUND);
    std::vector<double> dashes;
    // Curves of the one-pixel pen follow its dash style; wider pens only user patterns.
    if (widthOverride == 1 || pen.Style() == psUserStyle)
      for (int v : DashPattern(pen.Style(), pen.UserPattern())) dashes.push_back(v);
    if (widthOverride == 1 && !dashes.empty()) cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_dash(cr, dashes.empty() ? nullptr : dashes.data(), static_cast<int>(dashes.size()), 0);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }

  // The outline through the points (closed or open): one-pixel lines step from pixel to pixel,
  // leaving out the last point of an open outline; wider pens stroke the path.
  void StrokeOutline(std::span<const TPoint> pts, bool closed) {
    if (!PenVisible() || pts.size() < 2) return;
    const TPen& pen = Pen();
    if (pen.Width() > 1) {
      const double o = (pen.Width() % 2) ? 0.5 : 0.0;
      cairo_t* cr = FCr.get();
      StrokeWide([&] {
        for (size_t i = 0; i < pts.size(); ++i)
          (i ? cairo_line_to : cairo_move_to)(cr, pts[i].X + o, pts[i].Y + o);
        if (closed) cairo_close_path(cr);
      });
      return;
    }
    std::vector<int> pattern = DashPattern(pen.Style(), pen.UserPattern());
    int total = 0;
    for (int v : pattern) total += v;
    const bool fillGaps = total > 0 && GetBkMode() == OPAQUE && !IsNoColor(BkColor());
    cairo_t* cr = FCr.get();
    PixelRuns on{cr}, off{cr};
    // Gaps first collect into their own path, drawn before the dashes.
    std::vector<std::pair<int, int>> gapPixels;
    cairo_new_path(cr);
    int step = 0;
    const size_t segments = closed ? pts.size() : pts.size() - 1;
    // Stepping is bounded by the visible area: a segment reaching far outside it is stroked as a
    // one-pixel path instead (the same pixels up to rounding), so wild coordinates cannot stall.
    const TRect visible = ClipRect();
    const int64_t limit = 4 * (static_cast<int64_t>(visible.Width()) + visible.Height()) + 64;
    auto far = [&](TPoint p) {
      return p.X < visible.Left - limit || p.X > visible.Right + limit || p.Y < visible.Top - limit ||
             p.Y > visible.Bottom + limit;
    };
    std::vector<std::pair<TPoint, TPoint>> farSegments;
    for (size_t s = 0; s < segments; ++s) {
      TPoint a = pts[s], b = pts[(s + 1) % pts.size()];
      if (far(a) || far(b)) {
        farSegments.emplace_back(a, b);
        continue;
      }
      int x = a.X, y = a.Y;
      const int dx = std::abs(b.X - a.X), sx = a.X < b.X ? 1 : -1;
      const int dy = -std::abs(b.Y - a.Y), sy = a.Y < b.Y ? 1 : -1;
      int err = dx + dy;
      while (!(x == b.X && y == b.Y)) {
        bool visible = true;
        if (total > 0) {
          int pos = step % total, k = 0;
          while (pos >= pattern[k]) pos -= pattern[k++];
          visible = (k % 2) == 0;
        }
        if (visible)
          on.Add(x, y);
        else if (fillGaps)
          gapPixels.emplace_back(x, y);
        ++step;
        int e2 = 2 * err;
        if (e2 >= dy) {
          err += dy;
          x += sx;
        }
        if (e2 <= dx) {
          err += dx;
          y += sy;
        }
      }
    }
    on.Flush();
    if (!gapPixels.empty()) {
      PathPtr dashPath(cairo_copy_path(cr));
      cairo_new_path(cr);
      for (auto [gx, gy] : gapPixels) off.Add(gx, gy);
      off.Flush();
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      SetColor(cr, BkColor());
      cairo_fill(cr);
      cairo_append_path(cr, dashPath.get());
    }
    if (ApplyPen(pen.Color())) cairo_fill(cr);
    cairo_new_path(cr);
    if (!farSegments.empty() && ApplyPen(pen.Color())) {
      for (auto [a, b] : farSegments) {
        cairo_move_to(cr, a.X + 0.5, a.Y + 0.5);
        cairo_line_to(cr, b.X + 0.5, b.Y + 0.5);
      }
      std::vector<double> dashes(pattern.begin(), pattern.end());
      cairo_set_dash(cr, dashes.empty() ? nullptr : dashes.data(), static_cast<int>(dashes.size()), 0);
      cairo_set_line_width(cr, 1);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
      cairo_stroke(cr);
      cairo_set_dash(cr, nullptr, 0, 0);
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }

  TBitmap& FOwner;
  ContextPtr FCr;
  TClipRegion FClipCopy;
};

void TBitmapCanvas::DoCopyRect(const TRect& dest, const TBitmap& source, const TRect& srcIn) {
  TRect src = IntersectRect(srcIn, Rect(0, 0, source.Width(), source.Height()));
  if (src.IsEmpty() || srcIn.IsEmpty()) return;
  cairo_t* cr = FCr.get();
  cairo_surface_t* surface = nullptr;
  std::unique_ptr<TBitmap> copy;
  SurfacePtr masked;
  if (&source == &FOwner) {  // copying within the same bitmap: read from a snapshot
    copy = source.Copy(src);
    surface = nullptr;
  }
  const TBitmap& from = copy ? *copy : source;
  TRect fromRect = copy ? Rect(0, 0, src.Width(), src.Height()) : src;
  cairo_surface_t* fromSurface = reinterpret_cast<cairo_surface_t*>(from.Internals().SurfaceHandle());
  cairo_surface_flush(fromSurface);
  surface = fromSurface;
  if (source.Transparent()) {
    // Pixels of the transparent colour become see-through.
    const int w = fromRect.Width(), h = fromRect.Height();
    masked.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    uint8_t* out = cairo_image_surface_get_data(masked.get());
    const int outStride = cairo_image_surface_get_stride(masked.get());
    const uint32_t key = ToPixel(source.TransparentColor());
    for (int y = 0; y < h; ++y) {
      const uint32_t* row = from.ScanLine(fromRect.Top + y) + fromRect.Left;
      uint32_t* o = reinterpret_cast<uint32_t*>(out + y * outStride);
      for (int x = 0; x < w; ++x) {
        const bool alpha = from.PixelFormat() == pf32bit;
        const uint32_t colour = alpha ? Unpremultiply(row[x]) : (row[x] & 0xFFFFFF);
        o[x] = colour == key ? 0 : alpha ? row[x] : (0xFF000000u | row[x]);
      }
    }
    cairo_surface_mark_dirty(masked.get());
    surface = masked.get();
    fromRect = Rect(0, 0, w, h);
  }
  // The source part is scaled (or mirrored, for negative extents) onto the destination; the
  // original rectangle's scale applies even when it reached beyond the source.
  const double scaleX = static_cast<double>(dest.Width()) / srcIn.Width();
  const double scaleY = static_cast<double>(dest.Height()) / srcIn.Height();
  auto paint = [&](cairo_t* target) {
    cairo_save(target);
    cairo_translate(target, dest.Left, dest.Top);
    cairo_scale(target, scaleX, scaleY);
    cairo_translate(target, src.Left - srcIn.Left, src.Top - srcIn.Top);
    cairo_rectangle(target, 0, 0, src.Width(), src.Height());
    cairo_clip(target);
    cairo_set_source_surface(target, surface, -fromRect.Left, -fromRect.Top);
    cairo_pattern_set_filter(cairo_get_source(target),
                             StretchSmooth() ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(target), CAIRO_EXTEND_PAD);
    cairo_set_operator(target, CAIRO_OPERATOR_OVER);
    cairo_paint(target);
    cairo_restore(target);
  };
  const TBitmap::Impl& impl = FOwner.Internals();
  if (!impl.window || (scaleX == 1 && scaleY == 1)) {
    paint(cr);
    return;
  }
  // The library rounds the sample positions of a scaled picture relative to the surface's
  // origin and to the middle of the area it composites, so a window (another origin, a part of
  // the area) would sample a little differently from the whole picture. The picture is
  // composited instead on a layer that has the whole picture's origin and the area the whole
  // picture would composite (the picture's rectangle within the clip and the picture); the
  // layer's memory holds only the rows of that area, and the rows it shares with the window go
  // back to the window. A picture too large for such a layer is composited in the window itself.
  const double x0 = dest.Left + (src.Left - srcIn.Left) * scaleX, x1 = x0 + src.Width() * scaleX;
  const double y0 = dest.Top + (src.Top - srcIn.Top) * scaleY, y1 = y0 + src.Height() * scaleY;
  auto side = [](double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); };
  const TRect area =
      IntersectRect(Rect(side(std::floor(std::min(x0, x1))), side(std::floor(std::min(y0, y1))),
                         side(std::ceil(std::max(x0, x1))), side(std::ceil(std::max(y0, y1)))),
                    ClipRect());
  const TRect held =
      Rect(impl.originX, impl.originY, impl.originX + FOwner.Width(), impl.originY + FOwner.Height());
  const TRect shared = IntersectRect(area, held);
  if (shared.IsEmpty()) return;
  if (area.Left < 0 || area.Top < 0 || area.Right > kMaxSurfaceSide || area.Bottom > kMaxSurfaceSide ||
      int64_t{area.Right} * area.Height() > kMaxLayerPixels) {
    paint(cr);
    return;
  }
  // Rows as wide as the layer's view (from column 0), of the area's rows only.
  TMemoryReservation reserved(
      TMemoryBudget::Process(), int64_t{area.Right} * area.Height() * 4,
      "a picture layer of " + std::to_string(area.Right) + " x " + std::to_string(area.Height()) + " pixels");
  const cairo_format_t format = FOwner.PixelFormat() == pf32bit ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
  SurfacePtr rows = NewSurface(area.Right, area.Height(), FOwner.PixelFormat() == pf32bit);
  const int stride = cairo_image_surface_get_stride(rows.get());
  // The view's rows above the area lie before the memory and are never touched: every
  // compositing on the view is clipped to the area.
  const uintptr_t base = reinterpret_cast<uintptr_t>(cairo_image_surface_get_data(rows.get())) -
                         static_cast<uintptr_t>(area.Top) * static_cast<uintptr_t>(stride);
  SurfacePtr view(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(base), format,
                                                      area.Right, area.Bottom, stride));
  if (cairo_surface_status(view.get()) != CAIRO_STATUS_SUCCESS) {
    paint(cr);
    return;
  }
  cairo_surface_t* own = impl.surface.get();
  cairo_surface_flush(own);
  {
    ContextPtr viewCr(cairo_create(view.get()));
    cairo_rectangle(viewCr.get(), area.Left, area.Top, area.Width(), area.Height());
    cairo_clip(viewCr.get());
    // What lies under the picture: the window's pixels where it has them.
    cairo_set_operator(viewCr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(viewCr.get(), own, impl.originX, impl.originY);
    cairo_rectangle(viewCr.get(), shared.Left, shared.Top, shared.Width(), shared.Height());
    cairo_fill(viewCr.get());
    cairo_set_operator(viewCr.get(), CAIRO_OPERATOR_OVER);
    cairo_set_antialias(viewCr.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(viewCr.get(), CAIRO_FILL_RULE_EVEN_ODD);
    // The canvas's clip is built by its own path helpers, which draw on FCr; the area's clip
    // stays under it.
    std::swap(FCr, viewCr);
    auto back = ScopeExit([&] { std::swap(FCr, viewCr); });
    cairo_save(FCr.get());
    ApplyClipShapes();
    paint(FCr.get());
    cairo_restore(FCr.get());
  }
  cairo_surface_flush(view.get());
  cairo_save(cr);
  cairo_reset_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, view.get(), 0, 0);
  cairo_rectangle(cr, shared.Left, shared.Top, shared.Width(), shared.Height());
  cairo_fill(cr);
  cairo_restore(cr);
}

void TBitmapCanvas::DoTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                              const int* dx) {
  cairo_t* cr = FCr.get();
  const TFont& font = Font();
  const TSizedFont& sized = SelectedFont();
  const TTextMetric& tm = sized.TextMetrics();
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  if (rect && (options & ETO_OPAQUE) && !IsNoColor(BkColor()) && !rect->IsEmpty()) {
    SetColor(cr, BkColor());
    cairo_rectangle(cr, rect->Left, rect->Top, rect->Width(), rect->Height());
    cairo_fill(cr);
  }
  if (rect && (options & ETO_CLIPPED)) {
    cairo_new_path(cr);
    if (!rect->IsEmpty()) cairo_rectangle(cr, rect->Left, rect->Top, rect->Width(), rect->Height());
    cairo_clip(cr);
  }
  int64_t sum = 0;
  for (size_t i = 0; i < text.size(); ++i) sum += dx[i];
  const double total = static_cast<double>(std::clamp<int64_t>(sum, -(1 << 28), 1 << 28));
  // The baseline runs from the cell's top-left corner along the escapement angle.
  const double angle = font.Orientation() / 10.0 * kPi / 180.0;
  const double ux = std::cos(angle), uy = -std::sin(angle);  // along the baseline
  const double nx = std::sin(angle), ny = std::cos(angle);   // down, across the baseline
  auto at = [&](double along, double down, double& px, double& py) {
    px = x + along * ux + down * nx;
    py = y + along * uy + down * ny;
  };
  auto band = [&](double a0, double a1, double d0, double d1) {
    double px, py;
    at(a0, d0, px, py);
    cairo_move_to(cr, px, py);
    at(a1, d0, px, py);
    cairo_line_to(cr, px, py);
    at(a1, d1, px, py);
    cairo_line_to(cr, px, py);
    at(a0, d1, px, py);
    cairo_line_to(cr, px, py);
    cairo_close_path(cr);
  };
  if (GetBkMode() == OPAQUE && !IsNoColor(BkColor()) && total != 0) {
    cairo_new_path(cr);
    band(std::min(0.0, total), std::max(0.0, total), 0, tm.tmHeight);
    SetColor(cr, BkColor());
    cairo_fill(cr);
  }
  if (!IsNoColor(font.Color()) && !text.empty()) {
    std::vector<int> order = VisualOrder(text, (options & ETO_RTLREADING) != 0);
    std::vector<cairo_glyph_t> glyphs;
    glyphs.reserve(text.size());
    double pen = 0;
    for (size_t k = 0; k < order.size(); ++k) {
      const int i = order[k];
      uint32_t c = text[i];
      if (c >= 0xDC00 && c < 0xE000 && i > 0 && text[i - 1] >= 0xD800 && text[i - 1] < 0xDC00) {
        pen += dx[i];
        continue;  // drawn with its high surrogate
      }
      int advance = dx[i];
      if (c >= 0xD800 && c < 0xDC00 && static_cast<size_t>(i) + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      }
      if (c >= 0x20) {
        double gx, gy;
        at(pen, tm.tmAscent, gx, gy);
        glyphs.push_back(cairo_glyph_t{sized.GlyphIndex(c), gx, gy});
      }
      pen += advance;
    }
    cairo_set_font_face(cr, reinterpret_cast<cairo_font_face_t*>(CairoFontFace(sized)));
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, sized.EmWidthPixels(), sized.EmPixels());
    if (angle != 0) cairo_matrix_rotate(&m, -angle);
    cairo_set_font_matrix(cr, &m);
    FontOptionsPtr fo(cairo_font_options_create());
    const bool plain = font.Quality() == fqNonAntialiased;
    cairo_font_options_set_antialias(fo.get(), plain ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(fo.get(),
                                      angle != 0 ? CAIRO_HINT_STYLE_NONE : CAIRO_HINT_STYLE_DEFAULT);
    cairo_font_options_set_hint_metrics(fo.get(), CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, fo.get());
    SetColor(cr, font.Color());
    if (!glyphs.empty()) {
      if (sized.EmPixels() <= 1024) {
        cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
      } else {
        // Very large glyphs are filled as outlines rather than cached as glyph images.
        cairo_new_path(cr);
        cairo_glyph_path(cr, glyphs.data(), static_cast<int>(glyphs.size()));
        cairo_set_antialias(cr, plain ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
        cairo_fill(cr);
      }
    }
    // Underline and strike-out run under the whole text.
    TFontStyles style = font.Style();
    if ((style.Contains(fsUnderline) || style.Contains(fsStrikeOut)) && total != 0) {
      TOutlineTextMetric otm = sized.OutlineTextMetrics();
      cairo_new_path(cr);
      if (style.Contains(fsUnderline)) {
        int size = std::max(1, otm.otmsUnderscoreSize);
        int top = tm.tmAscent - otm.otmsUnderscorePosition - size / 2;
        band(std::min(0.0, total), std::max(0.0, total), top, top + size);
      }
      if (style.Contains(fsStrikeOut)) {
        int size = std::max(1, otm.otmsStrikeoutSize);
        int top = tm.tmAscent - otm.otmsStrikeoutPosition;
        band(std::min(0.0, total), std::max(0.0, total), top, top + size);
      }
      cairo_fill(cr);
    }
  }
  cairo_restore(cr);
}

// ---------------------------------------------------------------------------------------------
// Bitmap

TBitmap::TBitmap() : FImpl(std::make_unique<Impl>()) {
  FImpl->surface = NewSurface(0, 0, false);
  FImpl->canvas = std::make_unique<TBitmapCanvas>(*this);
  FImpl->canvas->Attach(FImpl->surface.get());
}

TBitmap::TBitmap(int width, int height) : TBitmap() {
  SetSize(width, height);
}

TBitmap::~TBitmap() = default;

TCanvas& TBitmap::Canvas() {
  return *FImpl->canvas;
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == FWidth && height == FHeight) return;
  // A page of several metres asks for gigabytes: the budget says no before anything is allocated.
  const int64_t before = FImpl->pixels.Bytes();
  FImpl->pixels.Resize(int64_t{width} * height * 4,
                       "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
  auto undo = ScopeFail([&] { FImpl->pixels.Resize(before, {}); });
  SurfacePtr fresh = NewSurface(width, height, FPixelFormat == pf32bit);
  {
    ContextPtr cr(cairo_create(fresh.get()));
    const TBrush& brush = FImpl->canvas->Brush();
    const bool solid = brush.Style() == bsSolid && !IsNoColor(brush.Color());
    // A bitmap with alpha and no solid brush starts transparent (a new surface is all zeros).
    if (solid || FPixelFormat != pf32bit) {
      SetColor(cr.get(), solid ? brush.Color() : clWhite);
      cairo_paint(cr.get());
    }
    if (FWidth > 0 && FHeight > 0) {
      cairo_surface_flush(FImpl->surface.get());
      cairo_set_source_surface(cr.get(), FImpl->surface.get(), 0, 0);
      cairo_rectangle(cr.get(), 0, 0, std::min(width, FWidth), std::min(height, FHeight));
      cairo_fill(cr.get());
    }
  }
  FImpl->surface = std::move(fresh);
  FWidth = width;
  FHeight = height;
  FImpl->canvas->Attach(FImpl->surface.get());
}

void TBitmap::SetWindow(int left, int top, int fullWidth, int fullHeight) {
  Impl& impl = *FImpl;
  impl.window = true;
  impl.originX = left;
  impl.originY = top;
  impl.fullWidth = std::max(0, fullWidth);
  impl.fullHeight = std::max(0, fullHeight);
  {
    ContextPtr cr(cairo_create(impl.surface.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
  }
  impl.canvas = std::make_unique<TBitmapCanvas>(*this);
  impl.canvas->Attach(impl.surface.get());
}

void TBitmap::SetPixelFormat(TPixelFormat f) {
  const bool hadAlpha = FPixelFormat == pf32bit, alpha = f == pf32bit;
  FPixelFormat = f;
  if (hadAlpha == alpha) return;
  SurfacePtr fresh = NewSurface(FWidth, FHeight, alpha);
  {
    ContextPtr cr(cairo_create(fresh.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    cairo_surface_flush(FImpl->surface.get());
    cairo_set_source_surface(cr.get(), FImpl->surface.get(), 0, 0);
    cairo_paint(cr.get());
  }
  FImpl->surface = std::move(fresh);
  FImpl->canvas->Attach(FImpl->surface.get());
}

namespace {
uint32_t* Row(cairo_surface_t* s, int y) {
  return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
}
}  // namespace

const uint32_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= FHeight) return nullptr;
  cairo_surface_t* s = FImpl->surface.get();
  cairo_surface_flush(s);
  uint32_t* row = Row(s, y);
  if (FPixelFormat == pf1bit) {
    for (int x = 0; x < FWidth; ++x) row[x] = Threshold(row[x]);
    cairo_surface_mark_dirty(s);
  } else if (FPixelFormat == pf24bit) {
    for (int x = 0; x < FWidth; ++x) row[x] &= 0xFFFFFF;
    cairo_surface_mark_dirty(s);
  }
  return row;
}

void TBitmap::ReadRowRGB(int y, uint8_t* out) const {
  if (y < 0 || y >= FHeight) return;
  // A 24-bit row is read as it is: the colour bytes are what ScanLine would leave, and the row
  // need not be written back (the encoders read every row once).
  const uint32_t* row;
  if (FPixelFormat == pf24bit) {
    cairo_surface_t* s = FImpl->surface.get();
    cairo_surface_flush(s);
    row = Row(s, y);
  } else {
    row = ScanLine(y);
  }
  if (FPixelFormat == pf32bit) {
    for (int x = 0; x < FWidth; ++x) {
      const uint32_t px = Unpremultiply(row[x]);
      out[3 * x] = static_cast<uint8_t>(px >> 16);
      out[3 * x + 1] = static_cast<uint8_t>(px >> 8);
      out[3 * x + 2] = static_cast<uint8_t>(px);
    }
    return;
  }
  for (int x = 0; x < FWidth; ++x) {
    const uint32_t px = row[x];
    out[3 * x] = static_cast<uint8_t>(px >> 16);
    out[3 * x + 1] = static_cast<uint8_t>(px >> 8);
    out[3 * x + 2] = static_cast<uint8_t>(px);
  }
}

void TBitmap::ReadRowAlpha(int y, uint8_t* out) const {
  const uint32_t* row = ScanLine(y);
  if (!row) return;
  for (int x = 0; x < FWidth; ++x)
    out[x] = FPixelFormat == pf32bit ? static_cast<uint8_t>(row[x] >> 24) : 255;
}

void TBitmap::WriteRowRGB(int y, const uint8_t* rgb) {
  if (y < 0 || y >= FHeight) return;
  cairo_surface_t* s = FImpl->surface.get();
  cairo_surface_flush(s);
  uint32_t* row = Row(s, y);
  for (int x = 0; x < FWidth; ++x)
    row[x] = 0xFF000000u | (static_cast<uint32_t>(rgb[3 * x]) << 16) |
             (static_cast<uint32_t>(rgb[3 * x + 1]) << 8) | rgb[3 * x + 2];
  cairo_surface_mark_dirty(s);
}

void TBitmap::WriteRowRGBA(int y, const uint8_t* rgba) {
  if (y < 0 || y >= FHeight) return;
  cairo_surface_t* s = FImpl->surface.get();
  cairo_surface_flush(s);
  uint32_t* row = Row(s, y);
  const bool alpha = FPixelFormat == pf32bit;
  for (int x = 0; x < FWidth; ++x) {
    const uint32_t a = alpha ? rgba[4 * x + 3] : 255;
    auto ch = [&](int i) { return (static_cast<uint32_t>(rgba[4 * x + i]) * a + 127) / 255; };
    row[x] = (a << 24) | (ch(0) << 16) | (ch(1) << 8) | ch(2);
  }
  cairo_surface_mark_dirty(s);
}

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || x >= FWidth || y < 0 || y >= FHeight) return clNone;
  cairo_surface_t* s = FImpl->surface.get();
  cairo_surface_flush(s);
  uint32_t px = Row(s, y)[x];
  if (FPixelFormat == pf1bit) px = Threshold(px);
  if (FPixelFormat == pf32bit) px = Unpremultiply(px);
  return RGBColor(static_cast<uint8_t>(px >> 16), static_cast<uint8_t>(px >> 8), static_cast<uint8_t>(px));
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  if (x < 0 || x >= FWidth || y < 0 || y >= FHeight || IsNoColor(c)) return;
  cairo_surface_t* s = FImpl->surface.get();
  cairo_surface_flush(s);
  Row(s, y)[x] = 0xFF000000u | ToPixel(c);
  cairo_surface_mark_dirty(s);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) const {
  canvas.CopyRect(rect, *this, Rect(0, 0, FWidth, FHeight));
}

std::unique_ptr<TBitmap> TBitmap::Copy(const TRect& partIn) const {
  TRect part = IntersectRect(partIn, Rect(0, 0, FWidth, FHeight));
  auto copy = std::make_unique<TBitmap>();
  copy->SetPixelFormat(FPixelFormat);
  copy->SetSize(part.Width(), part.Height());
  copy->FPixelsPerInch = FPixelsPerInch;
  copy->FTransparentColor = FTransparentColor;
  copy->SetTransparent(Transparent());
  if (!part.IsEmpty()) {
    cairo_surface_flush(FImpl->surface.get());
    ContextPtr cr(cairo_create(copy->FImpl->surface.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr.get(), FImpl->surface.get(), -part.Left, -part.Top);
    cairo_paint(cr.get());
  }
  return copy;
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
  return Copy(Rect(0, 0, FWidth, FHeight));
}

}  // namespace pagewright
