#include "render/metafile.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>

#include "render/bitmap.h"
#include "render/fonts.h"

namespace pagewright {
namespace {

struct DrawState {
  TPen pen;
  TBrush brush;
  int bkMode = OPAQUE;
  TColor bkColor = clWhite;
  bool smooth = false;
  bool operator==(const DrawState& o) const {
    return pen == o.pen && brush == o.brush && bkMode == o.bkMode && bkColor == o.bkColor &&
           smooth == o.smooth;
  }
};

struct LineRec {
  TPoint from, to;
};
struct FillRectRec {
  TRect r;
};
struct RectangleRec {
  TRect r;
};
struct PolygonRec {
  std::vector<TPoint> points;
  bool closed;
};
struct PolyPolygonRec {
  std::vector<std::vector<TPoint>> contours;
  TPolyFillMode mode;
};
struct EllipseRec {
  TRect r;
};
struct RoundRectRec {
  TRect r;
  int w, h;
};
struct BitmapRec {
  TRect dest;
  std::shared_ptr<const TBitmap> bitmap;  // immutable snapshot, shared by clones
};
struct GraphicRec {
  TRect dest;
  std::shared_ptr<const TGraphic> graphic;  // immutable snapshot, shared by clones
};
struct TextRec {
  int x, y, options;
  bool hasRect;
  TRect rect;
  WideString text;
  std::vector<int> dx;
  TFont font;
};
struct ClipRec {
  TClipRegion region;
};

using Op = std::variant<LineRec, FillRectRec, RectangleRec, PolygonRec, PolyPolygonRec, EllipseRec,
                        RoundRectRec, BitmapRec, GraphicRec, TextRec, ClipRec>;

struct Record {
  size_t state;
  Op op;
};

}  // namespace

class TMetafileCanvas;

struct TMetafile::Impl {
  int width = 0, height = 0;
  std::vector<DrawState> states;
  std::vector<Record> records;
  std::unique_ptr<TMetafileCanvas> canvas;
};

class TMetafileCanvas : public TCanvas {
 public:
  explicit TMetafileCanvas(TMetafile::Impl& m) : FM(m) {}
  int GetDeviceCaps(int index) const override {
    switch (index) {
      case LOGPIXELSX:
      case LOGPIXELSY:
        return 96;
      case HORZRES:
        return FM.width;
      case VERTRES:
        return FM.height;
      case BITSPIXEL:
        return 24;
      case TECHNOLOGY:
        return DT_METAFILE;
      default:
        return 0;
    }
  }

 protected:
  TSize SurfaceSize() const override { return TSize{FM.width, FM.height}; }
  void DoLine(TPoint from, TPoint to) override { Add(LineRec{from, to}); }
  void DoFillRect(const TRect& r) override { Add(FillRectRec{r}); }
  void DoRectangle(const TRect& r) override { Add(RectangleRec{r}); }
  void DoPolygon(std::span<const TPoint> p) override { Add(PolygonRec{{p.begin(), p.end()}, true}); }
  void DoPolyline(std::span<const TPoint> p) override { Add(PolygonRec{{p.begin(), p.end()}, false}); }
  void DoPolyPolygon(std::span<const std::vector<TPoint>> c, TPolyFillMode mode) override {
    Add(PolyPolygonRec{{c.begin(), c.end()}, mode});
  }
  void DoEllipse(const TRect& r) override { Add(EllipseRec{r}); }
  void DoRoundRect(const TRect& r, int w, int h) override { Add(RoundRectRec{r, w, h}); }
  void DoCopyRect(const TRect& dest, const TBitmap& source, const TRect& src) override {
    // Keep the part that lies inside the source, with its share of the destination.
    TRect inside = IntersectRect(src, Rect(0, 0, source.Width(), source.Height()));
    if (inside.IsEmpty()) return;
    const double sx = static_cast<double>(dest.Width()) / src.Width();
    const double sy = static_cast<double>(dest.Height()) / src.Height();
    TRect d{dest.Left + static_cast<int>(RoundHalfEven((inside.Left - src.Left) * sx)),
            dest.Top + static_cast<int>(RoundHalfEven((inside.Top - src.Top) * sy)),
            dest.Left + static_cast<int>(RoundHalfEven((inside.Right - src.Left) * sx)),
            dest.Top + static_cast<int>(RoundHalfEven((inside.Bottom - src.Top) * sy))};
    std::shared_ptr<const TBitmap> copy = source.Copy(inside);
    Add(BitmapRec{d, std::move(copy)});
  }
  void DoDrawGraphic(const TRect& dest, const TGraphic& graphic) override {
    Add(GraphicRec{dest, std::shared_ptr<const TGraphic>(graphic.Clone())});
  }
  void DoTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                 const int* dx) override {
    TextRec t{x,
              y,
              options,
              rect != nullptr,
              rect ? *rect : TRect{},
              WideString(text),
              std::vector<int>(dx, dx + text.size()),
              Font()};
    Add(std::move(t));
  }
  void DoClipChanged() override { Add(ClipRec{GetClipRgn()}); }

 private:
  void Add(Op op) {
    DrawState s{Pen(), Brush(), GetBkMode(), BkColor(), StretchSmooth()};
    if (FM.states.empty() || !(FM.states.back() == s)) FM.states.push_back(s);
    FM.records.push_back(Record{FM.states.size() - 1, std::move(op)});
  }
  TMetafile::Impl& FM;
};

TMetafile::TMetafile() : FImpl(std::make_unique<Impl>()) {
  FImpl->canvas = std::make_unique<TMetafileCanvas>(*FImpl);
}
TMetafile::TMetafile(int width, int height) : TMetafile() {
  SetSize(width, height);
}
TMetafile::~TMetafile() = default;

int TMetafile::Width() const {
  return FImpl->width;
}
int TMetafile::Height() const {
  return FImpl->height;
}
void TMetafile::SetSize(int width, int height) {
  FImpl->width = std::max(0, width);
  FImpl->height = std::max(0, height);
}
TCanvas& TMetafile::Canvas() {
  return *FImpl->canvas;
}
void TMetafile::Clear() {
  FImpl->records.clear();
  FImpl->states.clear();
}
size_t TMetafile::RecordCount() const {
  return FImpl->records.size();
}

void TMetafile::Draw(TCanvas& canvas, const TRect& rect) const {
  if (Empty()) return;
  Play(canvas, static_cast<double>(rect.Width()) / Width(), static_cast<double>(rect.Height()) / Height(),
       rect.Left, rect.Top);
}

void TMetafile::Assign(const TMetafile& source) {
  if (&source == this) return;
  FImpl->width = source.FImpl->width;
  FImpl->height = source.FImpl->height;
  FImpl->states = source.FImpl->states;
  FImpl->records = source.FImpl->records;
  SetTransparent(source.Transparent());
}

std::unique_ptr<TGraphic> TMetafile::Clone() const {
  auto copy = std::make_unique<TMetafile>();
  copy->Assign(*this);
  return copy;
}

void TMetafile::Play(TCanvas& target, double sx, double sy, int ox, int oy) const {
  // Results stay within the canvas's coordinate range whatever the scale.
  auto Fit = [](long double v) { return static_cast<int>(RoundHalfEven(std::clamp(v, -1.0e8L, 1.0e8L))); };
  auto X = [&](int64_t x) { return Fit(ox + x * static_cast<long double>(sx)); };
  auto Y = [&](int64_t y) { return Fit(oy + y * static_cast<long double>(sy)); };
  auto P = [&](TPoint p) { return Point(X(p.X), Y(p.Y)); };
  auto R = [&](const TRect& r) {
    TRect m = Rect(X(r.Left), Y(r.Top), X(r.Right), Y(r.Bottom));
    if (m.Left > m.Right) std::swap(m.Left, m.Right);  // mirrored replay
    if (m.Top > m.Bottom) std::swap(m.Top, m.Bottom);
    return m;
  };
  const double s = (std::fabs(sx) + std::fabs(sy)) / 2;
  auto L = [&](int v) { return Fit(v * static_cast<long double>(s)); };

  // Saved target state.
  const TPen savedPen = target.Pen();
  const TBrush savedBrush = target.Brush();
  const TFont savedFont = target.Font();
  const int savedBkMode = target.GetBkMode();
  const TColor savedBkColor = target.BkColor();
  const bool savedSmooth = target.StretchSmooth();
  const TPoint savedPos = target.PenPos();
  const TClipRegion baseClip = target.GetClipRgn();

  size_t applied = static_cast<size_t>(-1);
  for (const Record& rec : FImpl->records) {
    if (rec.state != applied) {
      const DrawState& st = FImpl->states[rec.state];
      TPen pen = st.pen;
      if (s != 1.0) pen.SetWidth(std::max(1, L(std::max(1, pen.Width()))));
      if (pen.Style() == psUserStyle) {
        std::vector<int> p = pen.UserPattern();
        for (int& v : p) v = L(v);
        pen.SetUserPattern(std::move(p));
      }
      target.Pen() = pen;
      target.Brush().SetColor(st.brush.Color());
      target.Brush().SetStyle(st.brush.Style());
      target.SetBkMode(st.bkMode);
      target.SetBkColor(st.bkColor);
      target.SetStretchSmooth(st.smooth);
      applied = rec.state;
    }
    std::visit(
        [&](const auto& op) {
          using T = std::decay_t<decltype(op)>;
          if constexpr (std::is_same_v<T, LineRec>) {
            target.MoveTo(X(op.from.X), Y(op.from.Y));
            target.LineTo(X(op.to.X), Y(op.to.Y));
          } else if constexpr (std::is_same_v<T, FillRectRec>) {
            target.FillRect(R(op.r));
          } else if constexpr (std::is_same_v<T, RectangleRec>) {
            target.Rectangle(R(op.r));
          } else if constexpr (std::is_same_v<T, PolygonRec>) {
            std::vector<TPoint> pts;
            pts.reserve(op.points.size());
            for (TPoint p : op.points) pts.push_back(P(p));
            if (op.closed)
              target.Polygon(pts);
            else
              target.Polyline(pts);
          } else if constexpr (std::is_same_v<T, PolyPolygonRec>) {
            std::vector<std::vector<TPoint>> contours(op.contours.size());
            for (size_t i = 0; i < contours.size(); ++i) {
              contours[i].reserve(op.contours[i].size());
              for (TPoint p : op.contours[i]) contours[i].push_back(P(p));
            }
            target.PolyPolygon(contours, op.mode);
          } else if constexpr (std::is_same_v<T, EllipseRec>) {
            target.Ellipse(R(op.r));
          } else if constexpr (std::is_same_v<T, RoundRectRec>) {
            target.RoundRect(R(op.r), L(op.w), L(op.h));
          } else if constexpr (std::is_same_v<T, BitmapRec>) {
            target.CopyRect(R(op.dest), *op.bitmap, Rect(0, 0, op.bitmap->Width(), op.bitmap->Height()));
          } else if constexpr (std::is_same_v<T, GraphicRec>) {
            target.StretchDraw(R(op.dest), *op.graphic);
          } else if constexpr (std::is_same_v<T, TextRec>) {
            TFont f = op.font;
            int h = Fit(f.Height() * static_cast<long double>(sy));
            if (h == 0) h = f.Height() < 0 ? -1 : 1;
            f.SetHeight(h);
            // Unequal scales stretch the glyphs too, as the average character width scales.
            if (std::fabs(std::fabs(sx) - std::fabs(sy)) > 0.005 * std::max(std::fabs(sx), std::fabs(sy))) {
              const TSizedFont& recorded = FindFont(op.font);
              const TOutlineTextMetric otm = recorded.OutlineTextMetrics();
              const long double average = op.font.Width() > 0
                                              ? op.font.Width()
                                              : static_cast<long double>(otm.AvgCharWidthUnits) *
                                                    recorded.EmWidthPixels() / std::max(1u, otm.otmEMSquare);
              f.SetWidth(std::max(1, Fit(average * std::fabs(sx))));
            }
            target.Font().Assign(f);
            // Positions scale, advances follow as their differences.
            std::vector<int> dx(op.dx.size());
            int64_t cum = 0;
            int prev = X(op.x);
            for (size_t i = 0; i < dx.size(); ++i) {
              cum += op.dx[i];
              int next = X(op.x + cum);
              dx[i] = next - prev;
              prev = next;
            }
            TRect rect = R(op.rect);
            target.ExtTextOut(X(op.x), Y(op.y), op.options, op.hasRect ? &rect : nullptr, op.text,
                              dx.empty() ? nullptr : dx.data());
          } else if constexpr (std::is_same_v<T, ClipRec>) {
            TClipRegion region = baseClip;
            if (op.region.IsClipped()) {
              TClipRegion mapped = TClipRegion::FromRect(Rect(-(1 << 29), -(1 << 29), 1 << 29, 1 << 29));
              for (const TClipShape& shape : op.region.Shapes()) {
                TClipShape m = shape;
                m.rect = R(shape.rect);
                m.cornerW = L(shape.cornerW);
                m.cornerH = L(shape.cornerH);
                for (TPoint& p : m.points) p = P(p);
                mapped.Intersect(m);
              }
              region.Intersect(mapped);
            }
            target.SelectClipRgn(region);
          }
        },
        rec.op);
  }

  target.Pen() = savedPen;
  target.Brush().SetColor(savedBrush.Color());
  target.Brush().SetStyle(savedBrush.Style());
  target.Font().Assign(savedFont);
  target.SetBkMode(savedBkMode);
  target.SetBkColor(savedBkColor);
  target.SetStretchSmooth(savedSmooth);
  target.SetPenPos(savedPos);
  if (!(target.GetClipRgn() == baseClip)) target.SelectClipRgn(baseClip);
}

}  // namespace pagewright
