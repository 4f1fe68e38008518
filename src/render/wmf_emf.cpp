#include "render/wmf_emf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <memory>
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
  enum Kind { Pen, Brush, Font, Region, Other } kind = Other;
  PenDef pen;
  BrushDef brush;
  FontDef font;
  std::vector<std::array<double, 4>> rects;  // a region's rectangles in logical units
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
  TPolyFillMode polyFillMode = pfmAlternate;
  PointD cur;
  // The clip area in picture pixels; null when nothing is clipped. Shared, so that saved
  // states do not copy it.
  std::shared_ptr<const TArea> clip;
};

// Region combination modes of the clipping records.
constexpr uint32_t RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;

// ---- device-independent bitmaps of the blit records ----

// The 20 colours of the default palette (0x00RRGGBB), for colour tables of palette indexes.
constexpr uint32_t kDefaultPalette[20] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0,
    0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
constexpr uint32_t DIB_PAL_COLORS = 1;
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

struct DibHeader {
  uint32_t headerSize = 0;
  int64_t width = 0, height = 0;
  int bpp = 0;
  uint32_t compression = BI_RGB;
  size_t tableEntries = 0;  // colour table entries (bit depths up to 8)
  size_t tableBytes = 0;    // bytes after the header before the bits
};

// Reads a bitmap header (core or info) and the size of what follows it before the bits.
std::optional<DibHeader> ReadDibHeader(std::span<const uint8_t> info, uint32_t usage) {
  TByteReader r(info, false);
  DibHeader h;
  h.headerSize = r.U32LE();
  uint32_t clrUsed = 0;
  if (h.headerSize == 12) {
    h.width = r.U16LE();
    h.height = r.I16LE();
    r.U16LE();
    h.bpp = r.U16LE();
  } else if (h.headerSize >= 40 && h.headerSize <= 1024) {
    h.width = r.I32LE();
    h.height = r.I32LE();
    r.U16LE();
    h.bpp = r.U16LE();
    h.compression = r.U32LE();
    r.Skip(12);
    clrUsed = r.U32LE();
  } else {
    return std::nullopt;
  }
  if (r.Failed() || h.headerSize > info.size()) return std::nullopt;
  if (h.bpp <= 8) {
    const size_t full = size_t{1} << std::clamp(h.bpp, 0, 8);
    h.tableEntries = clrUsed ? std::min<size_t>(clrUsed, full) : full;
    const size_t entry = usage == DIB_PAL_COLORS ? 2 : h.headerSize == 12 ? 3 : 4;
    h.tableBytes = (clrUsed ? std::min<size_t>(clrUsed, 256) : full) * entry;
  } else if (h.headerSize == 40 && (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS)) {
    h.tableBytes = h.compression == BI_ALPHABITFIELDS ? 16 : 12;
  } else {
    h.tableBytes = static_cast<size_t>(std::min<uint32_t>(clrUsed, 256)) * 4;
  }
  return h;
}

// A bitmap and how its rows are stored.
struct Dib {
  std::unique_ptr<TBitmap> bitmap;
  bool bottomUp = true;
};

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Decodes a bitmap from its header with colour table (info) and its bits, as the transfer
// records hold them. Alpha bytes of 32-bit pixels are ignored, as block transfers do; a colour
// table of palette indexes takes the default palette's colours; scans > 0 says the bits hold
// only that many rows. A bitmap that cannot be read gives no bitmap.
Dib DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, uint32_t usage,
              uint32_t scans = 0) {
  Dib out;
  const auto h = ReadDibHeader(info, usage);
  if (!h) return out;
  out.bottomUp = h->height >= 0;
  std::vector<uint8_t> dib(info.begin(), info.begin() + h->headerSize);
  const bool rle = h->compression == BI_RLE8 || h->compression == BI_RLE4;
  if (h->headerSize >= 40) {
    if (scans > 0 && scans < static_cast<uint64_t>(std::abs(h->height)) && !rle)
      Put32(dib, 8, static_cast<uint32_t>(h->height < 0 ? -static_cast<int64_t>(scans) : scans));
    if (h->bpp > 8) Put32(dib, 32, 0);  // no colour table follows
  }
  const std::span<const uint8_t> table = info.subspan(h->headerSize);
  if (h->bpp <= 8) {
    const size_t entry = h->headerSize == 12 ? 3 : 4;
    if (h->headerSize >= 40) Put32(dib, 32, static_cast<uint32_t>(h->tableEntries));
    for (size_t i = 0; i < h->tableEntries; ++i) {
      uint32_t rgb = 0;
      if (usage == DIB_PAL_COLORS) {
        if (2 * i + 1 < table.size()) rgb = kDefaultPalette[(table[2 * i] | (table[2 * i + 1] << 8)) % 20];
      } else if (entry * i + 2 < table.size()) {
        rgb =
            (uint32_t{table[entry * i + 2]} << 16) | (uint32_t{table[entry * i + 1]} << 8) | table[entry * i];
      }
      dib.push_back(static_cast<uint8_t>(rgb));
      dib.push_back(static_cast<uint8_t>(rgb >> 8));
      dib.push_back(static_cast<uint8_t>(rgb >> 16));
      if (entry == 4) dib.push_back(0);
    }
  } else if (h->bpp == 32 && h->compression == BI_RGB && (h->headerSize == 40 || h->headerSize >= 52)) {
    // Colour bit fields without alpha, so that the fourth byte is ignored.
    Put32(dib, 16, BI_BITFIELDS);
    if (h->headerSize == 40) dib.resize(dib.size() + 12);
    Put32(dib, 40, 0xFF0000);
    Put32(dib, 44, 0xFF00);
    Put32(dib, 48, 0xFF);
    if (h->headerSize >= 56) Put32(dib, 52, 0);
  } else if (h->compression == BI_BITFIELDS || h->compression == BI_ALPHABITFIELDS) {
    Put32(dib, 16, BI_BITFIELDS);
    if (h->headerSize == 40) {
      std::vector<uint8_t> masks(12, 0);
      std::copy_n(table.begin(), std::min<size_t>(12, table.size()), masks.begin());
      dib.insert(dib.end(), masks.begin(), masks.end());
    }
    if (h->headerSize >= 56) Put32(dib, 52, 0);
  }
  dib.insert(dib.end(), bits.begin(), bits.end());
  try {
    out.bitmap = DecodeBMP(dib, false, false);
  } catch (const std::exception&) {
    out.bitmap.reset();  // a bitmap we cannot read is left out
  }
  return out;
}

// A bitmap stored with its header and bits in one block (the Windows metafile records).
Dib DecodePackedDib(std::span<const uint8_t> packed, uint32_t usage) {
  const auto h = ReadDibHeader(packed, usage);
  if (!h || h->headerSize + h->tableBytes > packed.size()) return {};
  const size_t infoSize = h->headerSize + h->tableBytes;
  return DecodeDib(packed.first(infoSize), packed.subspan(infoSize), usage);
}

// The source rectangle's top in rows from the top of the bitmap, for records that count the
// source's y from the bottom row of a bottom-up bitmap.
double TopBasedY(const Dib& dib, double y, double height) {
  if (!dib.bitmap || !dib.bottomUp) return y;
  return dib.bitmap->Height() - y - height;
}

class Player {
 public:
  Player(TMetafile& into, bool wmf) : FInto(into), FCanvas(into.Canvas()), FWmf(wmf) {}

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
    if (o.kind == GdiObject::Region) SelectClipRegion(index);
  }
  // A region object as the clip region; anything else (or no object) removes clipping.
  void SelectClipRegion(uint32_t index) {
    if (index >= FObjects.size() || !FObjects[index] || FObjects[index]->kind != GdiObject::Region)
      return ResetClip();
    TArea area;
    for (const auto& r : FObjects[index]->rects) {
      const TArea part = LogicalRect(r[0], r[1], r[2], r[3]);
      area.contours.insert(area.contours.end(), part.contours.begin(), part.contours.end());
    }
    CombineClip(area, RGN_COPY);
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
    ApplyClip();
  }

  // ---- clipping ----
  // The picture's own bounds: what "no clipping" means when a region is combined with it.
  void SetBounds(const TRect& r) {
    FBounds = r;
    FCanvas.SelectClipRgn(TClipRegion::FromRect(r));
  }
  void ApplyClip() {
    TClipRegion region = TClipRegion::FromRect(FBounds);
    if (dc.clip) region.Intersect(TClipShape::FromArea(*dc.clip));
    FCanvas.SelectClipRgn(region);
  }
  void ResetClip() {
    dc.clip.reset();
    ApplyClip();
  }
  // Combines an area (picture pixels) with the clip region by a region mode; unknown modes
  // leave the clip as it is.
  void CombineClip(const TArea& area, uint32_t mode) {
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
  TArea LogicalRect(double l, double t, double r, double b) const {
    TArea a;
    a.contours.push_back({P(l, t), P(r, t), P(r, b), P(l, b)});
    return a;
  }
  void IntersectClip(double l, double t, double r, double b) {
    CombineClip(LogicalRect(l, t, r, b), RGN_AND);
  }
  void ExcludeClip(double l, double t, double r, double b) { CombineClip(LogicalRect(l, t, r, b), RGN_DIFF); }
  // Moves the clip region by a logical offset.
  void OffsetClip(double dx, double dy) {
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
  TPoint DevicePoint(double x, double y) const {
    return Point(Clamp(x * devScaleX + devOffX), Clamp(y * devScaleY + devOffY));
  }
  // The current path as the clip region (the path is used up); without a path the clip stays.
  void SelectClipPath(uint32_t mode) {
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
    if (dc.polyFillMode == pfmWinding) {
      const std::vector<std::vector<TPoint>> one{ToDevice(pts)};
      FCanvas.PolyPolygon(one, pfmWinding);
    } else {
      FCanvas.Polygon(ToDevice(pts));
    }
  }
  // Polygons filled together by the fill mode, so that inner ones can leave holes.
  void PolyPolygon(const std::vector<std::vector<PointD>>& polys) {
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
  // Fills the figures together with the brush by the fill mode (an inner figure can cut a
  // hole) and/or strokes each with the pen; the path is used up.
  void DrawPath(bool fill, bool stroke) {
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

  // The baseline's angle on the page in degrees (counter-clockwise): the font's escapement,
  // turned by the world transform.
  double TextAngle() const {
    const double e = dc.font.escapement / 10.0 * std::numbers::pi / 180;
    const double vx = std::cos(e), vy = -std::sin(e);
    const double wx = dc.xf[0] * vx + dc.xf[2] * vy, wy = dc.xf[1] * vx + dc.xf[3] * vy;
    if (!(std::hypot(wx, wy) > 1e-12)) return dc.font.escapement / 10.0;
    return std::atan2(-wy, wx) * 180 / std::numbers::pi;
  }
  // A distance in picture pixels back in logical units.
  PointD LogicalDelta(double dx, double dy) const {
    const PointD o = ToPicture(0, 0), ex = ToPicture(1, 0), ey = ToPicture(0, 1);
    const double a = ex.x - o.x, b = ey.x - o.x, c = ex.y - o.y, d = ey.y - o.y;
    const double det = a * d - b * c;
    if (!(std::abs(det) > 1e-12)) return {0, 0};
    return {(d * dx - b * dy) / det, (a * dy - c * dx) / det};
  }

  // Text at a reference point placed by the text alignment: left, centre or right along the
  // baseline, and top, baseline or bottom across it, all turned with the baseline's angle.
  void Text(double x, double y, std::u16string_view text, const std::vector<int>* logicalDx, uint32_t options,
            const std::optional<TRect>& clip) {
    if (text.empty()) return;
    const bool updateCP = dc.textAlign & 1;  // TA_UPDATECP
    if (updateCP) {
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
    double angle = std::fmod(TextAngle(), 360.0);
    if (angle < 0) angle += 360;
    int tenths = Clamp(angle * 10);
    if (tenths >= 3600) tenths -= 3600;
    font.SetOrientation(tenths);
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

  // ---- block transfers ----
  // A block transfer onto the picture rectangle from corner a to corner b (a mirrored
  // rectangle, b left of or above a, mirrors the picture), combining the brush colour (P), the
  // source pixels (S) and what lies below (D) by the ternary raster operation's truth table.
  // src: the source bitmap and its part (pixels from the top-left corner; negative extents
  // mirror), or null for operations without a source.
  void Blit(PointD a, PointD b, const TBitmap* src, double sx, double sy, double sw, double sh,
            uint32_t rop) {
    const uint8_t code = static_cast<uint8_t>(rop >> 16);
    const bool useS = ((code >> 2) ^ code) & 0x33, useD = ((code >> 1) ^ code) & 0x55,
               useP = ((code >> 4) ^ code) & 0x0F;
    if (code == 0xAA) return;  // the destination itself
    if (useS && (!src || src->Empty())) return;
    if (useP && dc.brush.style == 1) return;  // a hollow brush has no pattern to combine
    bool flipX = b.x < a.x, flipY = b.y < a.y;
    double l = std::min(a.x, b.x), r = std::max(a.x, b.x), t = std::min(a.y, b.y), bt = std::max(a.y, b.y);
    if (!(r - l >= 0.5 && bt - t >= 0.5)) return;
    const uint32_t pattern = ToRgb(ColorToRGB(dc.brush.color));
    TRect srcRect;
    if (useS) {
      if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(sw) || !std::isfinite(sh)) return;
      if (sw < 0) sx += sw, sw = -sw, flipX = !flipX;
      if (sh < 0) sy += sh, sh = -sh, flipY = !flipY;
      if (sw <= 0 || sh <= 0) return;
      // Only the part inside the bitmap is drawn, onto its share of the destination.
      const double cl = std::max(sx, 0.0), ct = std::max(sy, 0.0);
      const double cr = std::min(sx + sw, double(src->Width())),
                   cb = std::min(sy + sh, double(src->Height()));
      if (cr - cl < 0.5 || cb - ct < 0.5) return;
      const double f0 = (cl - sx) / sw, f1 = (cr - sx) / sw, g0 = (ct - sy) / sh, g1 = (cb - sy) / sh;
      const double w = r - l, hgt = bt - t;
      const double nl = flipX ? r - f1 * w : l + f0 * w, nr = flipX ? r - f0 * w : l + f1 * w;
      const double nt = flipY ? bt - g1 * hgt : t + g0 * hgt, nb = flipY ? bt - g0 * hgt : t + g1 * hgt;
      l = nl, r = nr, t = nt, bt = nb;
      srcRect = Rect(Clamp(cl), Clamp(ct), Clamp(cr), Clamp(cb));
      if (srcRect.IsEmpty()) return;
    }
    const TRect dest = Rect(Clamp(l), Clamp(t), Clamp(r), Clamp(bt));
    if (dest.IsEmpty()) return;

    if (!useS && !useD) {
      if (code == 0xF0) {  // PATCOPY: the brush itself, hatches included
        ApplyBrush();
        FCanvas.FillRect(dest);
        return;
      }
      TBrush& brush = FCanvas.Brush();
      brush.SetStyle(bsSolid);
      brush.SetColor(ToColor(Rop3(code, pattern, 0, 0)));
      FCanvas.FillRect(dest);
      return;
    }
    if (useS && !useD && code == 0xCC && !flipX && !flipY) {  // SRCCOPY: the bitmap scaled
      FCanvas.CopyRect(dest, *src, srcRect);
      return;
    }

    // Only the part inside the picture can show; it is computed at the finer of the source's
    // and the picture's resolution, within limits.
    const TRect visible = IntersectRect(dest, FBounds);
    if (visible.IsEmpty()) return;
    const double share = static_cast<double>(visible.Width()) / dest.Width(),
                 shareY = static_cast<double>(visible.Height()) / dest.Height();
    int64_t rw = visible.Width(), rh = visible.Height();
    if (useS) {
      const int64_t sw2 = static_cast<int64_t>(std::ceil(srcRect.Width() * share));
      const int64_t sh2 = static_cast<int64_t>(std::ceil(srcRect.Height() * shareY));
      rw = useD ? std::max(rw, sw2) : std::max<int64_t>(1, sw2);
      rh = useD ? std::max(rh, sh2) : std::max<int64_t>(1, sh2);
    }
    constexpr int64_t kMaxBlitSide = 8192, kMaxBlitPixels = int64_t{1} << 22;
    rw = std::min(rw, kMaxBlitSide), rh = std::min(rh, kMaxBlitSide);
    if (rw * rh > kMaxBlitPixels) {
      const double f = std::sqrt(static_cast<double>(kMaxBlitPixels) / static_cast<double>(rw * rh));
      rw = std::max<int64_t>(1, static_cast<int64_t>(rw * f));
      rh = std::max<int64_t>(1, static_cast<int64_t>(rh * f));
    }
    if (FPixelBudget < rw * rh) return;  // the file has spent its share of pixel work
    FPixelBudget -= rw * rh;
    const int w = static_cast<int>(rw), hgt = static_cast<int>(rh);

    // What lies below: the picture drawn so far, transparent where nothing is drawn yet.
    std::vector<uint32_t> below;
    if (useD) below = PictureSoFar(visible, w, hgt);
    // Result pixel -> source pixel, through the whole destination (mirrored as asked).
    auto sourceIndex = [](int i, int n, int visibleStart, int visibleSize, int destStart, int destSize,
                          bool flip, int srcStart, int srcSize) {
      const double at = visibleStart + (i + 0.5) * visibleSize / n;
      double u = (at - destStart) / destSize;
      if (flip) u = 1 - u;
      const int k = static_cast<int>(std::floor(u * srcSize));
      return srcStart + std::clamp(k, 0, srcSize - 1);
    };

    auto result = std::make_unique<TBitmap>();
    result->SetPixelFormat(pf32bit);
    result->SetSize(w, hgt);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    std::vector<int> columns;
    if (useS)
      for (int x = 0; x < w; ++x)
        columns.push_back(sourceIndex(x, w, visible.Left, visible.Width(), dest.Left, dest.Width(), flipX,
                                      srcRect.Left, srcRect.Width()));
    for (int y = 0; y < hgt; ++y) {
      const uint32_t* srcRow = nullptr;
      if (useS) {
        srcRow = src->ScanLine(sourceIndex(y, hgt, visible.Top, visible.Height(), dest.Top, dest.Height(),
                                           flipY, srcRect.Top, srcRect.Height()));
        if (!srcRow) return;
      }
      for (int x = 0; x < w; ++x) {
        uint8_t* o = row.data() + static_cast<size_t>(x) * 4;
        uint32_t s = 0;
        if (srcRow) {
          const uint32_t px = srcRow[columns[static_cast<size_t>(x)]];
          if (src->PixelFormat() == pf32bit) {
            if ((px >> 24) == 0) {  // a pixel the source leaves out changes nothing
              o[0] = o[1] = o[2] = o[3] = 0;
              continue;
            }
            s = Unpremultiply(px);
          } else {
            s = px & 0xFFFFFF;
          }
        }
        uint32_t res;
        bool keep = false;
        if (useD) {
          const uint32_t d = below[static_cast<size_t>(y) * w + x];
          if ((d >> 24) == 0) {
            // Nothing drawn here yet: an operation that leaves every destination as it was
            // keeps it see-through; otherwise the page is taken as white.
            keep = Rop3(code, pattern, s, 0) == 0 && Rop3(code, pattern, s, 0xFFFFFF) == 0xFFFFFF;
            res = Rop3(code, pattern, s, 0xFFFFFF);
          } else {
            const uint32_t dc24 = OverWhite(d);
            res = Rop3(code, pattern, s, dc24);
            keep = res == dc24;  // unchanged: the drawing below shows through
          }
        } else {
          res = Rop3(code, pattern, s, 0);
        }
        if (keep) {
          o[0] = o[1] = o[2] = o[3] = 0;
        } else {
          o[0] = static_cast<uint8_t>(res >> 16);
          o[1] = static_cast<uint8_t>(res >> 8);
          o[2] = static_cast<uint8_t>(res);
          o[3] = 255;
        }
      }
      result->WriteRowRGBA(y, row.data());
    }
    FCanvas.CopyRect(visible, *result, Rect(0, 0, w, hgt));
  }

  bool CountRecord() { return ++FRecords <= kMaxRecords; }

  // Colours as 0x00RRGGBB, the form raster operations work on.
  static uint32_t ToRgb(TColor c) {
    return ((static_cast<uint32_t>(c) & 0xFF) << 16) | (static_cast<uint32_t>(c) & 0xFF00) |
           ((static_cast<uint32_t>(c) >> 16) & 0xFF);
  }
  static TColor ToColor(uint32_t rgb) {
    return static_cast<TColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  }
  // A ternary raster operation: bit i of the code is the result for pattern, source and
  // destination bits (i >> 2 & 1, i >> 1 & 1, i & 1), applied to every bit of the colours.
  static uint32_t Rop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i)
      if ((code >> i) & 1) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return r & 0xFFFFFF;
  }
  static uint32_t Unpremultiply(uint32_t px) {
    const uint32_t a = px >> 24;
    if (a == 0 || a == 255) return px & 0xFFFFFF;
    auto ch = [&](int shift) { return std::min<uint32_t>(255, (((px >> shift) & 0xFF) * 255 + a / 2) / a); };
    return (ch(16) << 16) | (ch(8) << 8) | ch(0);
  }
  // A premultiplied pixel laid over white.
  static uint32_t OverWhite(uint32_t px) {
    const uint32_t a = px >> 24;
    auto ch = [&](int shift) { return std::min<uint32_t>(255, ((px >> shift) & 0xFF) + (255 - a)); };
    return (ch(16) << 16) | (ch(8) << 8) | ch(0);
  }
  // The picture recorded so far, inside dest, at w x h pixels (premultiplied, alpha 0 where
  // nothing is drawn). Replaying costs time, so a file gets a bounded amount of it; past that
  // the destination reads as not drawn.
  std::vector<uint32_t> PictureSoFar(const TRect& dest, int w, int h) {
    std::vector<uint32_t> out(static_cast<size_t>(w) * h, 0);
    const size_t cost = FInto.RecordCount() + 1;
    if (cost > FReplayBudget || FReplays == 0) return out;
    FReplayBudget -= cost;
    --FReplays;
    TBitmap scratch;
    scratch.SetPixelFormat(pf32bit);
    scratch.SetSize(w, h);
    const std::vector<uint8_t> clear(static_cast<size_t>(w) * 4, 0);
    for (int y = 0; y < h; ++y) scratch.WriteRowRGBA(y, clear.data());
    const double kx = static_cast<double>(w) / dest.Width(), ky = static_cast<double>(h) / dest.Height();
    FInto.Play(scratch.Canvas(), kx, ky, Clamp(-dest.Left * kx), Clamp(-dest.Top * ky));
    for (int y = 0; y < h; ++y) {
      const uint32_t* line = scratch.ScanLine(y);
      std::copy(line, line + w, out.begin() + static_cast<ptrdiff_t>(y) * w);
    }
    return out;
  }

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

  TMetafile& FInto;
  TCanvas& FCanvas;
  bool FWmf;
  std::vector<std::optional<GdiObject>> FObjects;
  std::vector<DCState> FSaved;
  TRect FBounds;
  size_t FRecords = 0;
  // What block transfers that combine with the picture drawn so far may still spend.
  size_t FReplayBudget = size_t{1} << 20;
  int FReplays = 64;
  int64_t FPixelBudget = int64_t{1} << 26;
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
    Player pl(into, true);
    pl.dc.mapMode = 8;
    pl.dc.winOrg = {static_cast<double>(std::min(left, right)), static_cast<double>(std::min(top, bottom))};
    pl.dc.winExt = {bw, bh};
    pl.dc.vpExt = {static_cast<double>(w), static_cast<double>(h)};
    pl.SetBounds(Rect(0, 0, static_cast<int>(w), static_cast<int>(h)));

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
          std::vector<std::vector<PointD>> polys;
          for (size_t c : counts) polys.push_back(readPoints(c));
          pl.PolyPolygon(polys);
          break;
        }
        case 0x0106:  // SETPOLYFILLMODE
          pl.dc.polyFillMode = q.U16LE() == 2 ? pfmWinding : pfmAlternate;
          break;
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
        case 0x06FF: {  // CREATEREGION: scans of rectangles in logical units
          GdiObject o;
          o.kind = GdiObject::Region;
          q.Skip(10);  // next in chain, object type, object count, region size
          const size_t scans = q.U16LE();
          q.Skip(2 + 8);  // largest scan, bounds
          for (size_t i = 0; i < scans && q.Remaining() >= 8; ++i) {
            const size_t count = q.U16LE();
            const double top = q.I16LE(), bottom = q.I16LE();
            for (size_t k = 0; k + 1 < count && q.Remaining() >= 4; k += 2) {
              const double l = q.I16LE(), rr = q.I16LE();
              o.rects.push_back({l, top, rr, bottom});
            }
            q.U16LE();
          }
          pl.AddObject(std::move(o));
          break;
        }
        case 0x00F7:  // palette and pattern brushes take a slot in the object table
        case 0x01F9:
        case 0x0142:
          pl.AddObject(GdiObject{});
          break;
        case 0x012C:  // SELECTCLIPREGION
          pl.SelectClipRegion(q.U16LE());
          break;
        case 0x0415: {  // EXCLUDECLIPRECT
          const double b = s16(), rr = s16(), t = s16(), l = s16();
          pl.ExcludeClip(l, t, rr, b);
          break;
        }
        case 0x0220: {  // OFFSETCLIPRGN
          const double y = s16();
          pl.OffsetClip(s16(), y);
          break;
        }
        case 0x012D:
          pl.SelectObject(q.U16LE());
          break;
        case 0x01F0:
          pl.DeleteObject(q.U16LE());
          break;
        case 0x0416: {
          const double b = s16(), rr = s16(), t = s16(), l = s16();
          pl.IntersectClip(l, t, rr, b);
          break;
        }
        case 0x0F43: {  // STRETCHDIB: source y counted from the bottom of a bottom-up bitmap
          const uint32_t rop = q.U32LE();
          const uint32_t usage = q.U16LE();
          const double sh = s16(), sw = s16(), sy = s16(), sx = s16();
          const double dh = s16(), dw = s16(), dy = s16(), dx = s16();
          const Dib dib = DecodePackedDib(q.Bytes(q.Remaining()), usage);
          pl.Blit(pl.ToPicture(dx, dy), pl.ToPicture(dx + dw, dy + dh), dib.bitmap.get(), sx,
                  TopBasedY(dib, sy, sh), sw, sh, rop);
          break;
        }
        case 0x0D33: {  // SETDIBTODEV
          const uint32_t usage = q.U16LE(), scanCount = q.U16LE(), startScan = q.U16LE();
          const double sy = s16(), sx = s16(), hgt = s16(), wid = s16(), dy = s16(), dx = s16();
          const auto packed = q.Bytes(q.Remaining());
          const auto header = ReadDibHeader(packed, usage);
          if (!header || header->headerSize + header->tableBytes > packed.size()) break;
          const size_t infoSize = header->headerSize + header->tableBytes;
          const Dib band = DecodeDib(packed.first(infoSize), packed.subspan(infoSize), usage, scanCount);
          pl.Blit(pl.ToPicture(dx, dy), pl.ToPicture(dx + wid, dy + hgt), band.bitmap.get(), sx,
                  TopBasedY(band, sy - startScan, hgt), wid, hgt, 0x00CC0020);
          break;
        }
        case 0x0B41:    // DIBSTRETCHBLT
        case 0x0940: {  // DIBBITBLT
          // Without a bitmap the record holds one reserved word more and no bitmap.
          const bool withBitmap = sizeWords != static_cast<uint32_t>(fn >> 8) + 3;
          const uint32_t rop = q.U32LE();
          double sh = 0, sw = 0;
          if (fn == 0x0B41) sh = s16(), sw = s16();
          const double sy = s16(), sx = s16();
          if (!withBitmap) q.U16LE();
          const double dh = s16(), dw = s16(), dy = s16(), dx = s16();
          if (fn == 0x0940) sh = dh, sw = dw;
          Dib dib;
          if (withBitmap) dib = DecodePackedDib(q.Bytes(q.Remaining()), 0);
          pl.Blit(pl.ToPicture(dx, dy), pl.ToPicture(dx + dw, dy + dh), dib.bitmap.get(), sx, sy, sw, sh,
                  rop);
          break;
        }
        case 0x061D: {  // PATBLT
          const uint32_t rop = q.U32LE();
          const double hgt = s16(), wid = s16(), y = s16(), x = s16();
          pl.Blit(pl.ToPicture(x, y), pl.ToPicture(x + wid, y + hgt), nullptr, 0, 0, 0, 0, rop);
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

    Player pl(into, false);
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
    pl.SetBounds(Rect(0, 0, static_cast<int>(w), static_cast<int>(h)));

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
          std::vector<std::vector<PointD>> polys;
          for (size_t c : counts) polys.push_back(readPoints(c, shortForm));
          if (type == 8 || type == 91) {
            pl.PolyPolygon(polys);
          } else {
            for (const auto& pts : polys) pl.Polyline(pts);
          }
          break;
        }
        case 19:  // SETPOLYFILLMODE
          pl.dc.polyFillMode = q.U32LE() == 2 ? pfmWinding : pfmAlternate;
          break;
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
        case 29:    // EXCLUDECLIPRECT
        case 30: {  // INTERSECTCLIPRECT
          const double l = i32(), t = i32(), rr = i32(), b = i32();
          if (type == 29)
            pl.ExcludeClip(l, t, rr, b);
          else
            pl.IntersectClip(l, t, rr, b);
          break;
        }
        case 26: {  // OFFSETCLIPRGN
          const double x = i32();
          pl.OffsetClip(x, i32());
          break;
        }
        case 67:  // SELECTCLIPPATH
          pl.SelectClipPath(q.U32LE());
          break;
        case 75: {  // EXTSELECTCLIPRGN: the region's rectangles in the reference device's pixels
          const uint32_t cb = q.U32LE(), mode = q.U32LE();
          if (cb < 32) {
            if (mode == RGN_COPY) pl.ResetClip();
            break;
          }
          if (cb > q.Remaining()) break;  // region data cut short: not a region
          TByteReader rg(q.Bytes(cb), false);
          const uint32_t headerSize = rg.U32LE();
          rg.Skip(4);
          const size_t count = rg.U32LE();
          rg.Skip(4 + 16);
          if (headerSize != 32 || count > rg.Remaining() / 16) break;
          TArea area;
          for (size_t i = 0; i < count && rg.Remaining() >= 16; ++i) {
            const double l = rg.I32LE(), t = rg.I32LE(), rr = rg.I32LE(), b = rg.I32LE();
            if (!(rr > l && b > t)) continue;
            const TPoint p1 = pl.DevicePoint(l, t), p2 = pl.DevicePoint(rr, b);
            area.contours.push_back({p1, Point(p2.X, p1.Y), p2, Point(p1.X, p2.Y)});
          }
          pl.CombineClip(area, mode);
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
        case 83:    // EXTTEXTOUTA: 8-bit characters
        case 84: {  // EXTTEXTOUTW
          q.Skip(16 + 4 + 8);
          const double x = i32(), y = i32();
          const uint32_t nChars = q.U32LE(), offString = q.U32LE(), options = q.U32LE();
          const double l = i32(), t = i32(), rr = i32(), b = i32();
          const uint32_t offDx = q.U32LE();
          const size_t charSize = type == 83 ? 1 : 2;
          if (nChars == 0 || nChars > size) break;
          if (offString > size || size - offString < size_t{nChars} * charSize) break;
          std::u16string text;
          whole.Seek(offString);
          for (uint32_t i = 0; i < nChars; ++i)
            text.push_back(static_cast<char16_t>(charSize == 1 ? whole.U8() : whole.U16LE()));
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
        case 76:    // BITBLT
        case 77: {  // STRETCHBLT
          q.Skip(16);
          const double xd = i32(), yd = i32(), cxd = i32(), cyd = i32();
          const uint32_t rop = q.U32LE();
          const double xs = i32(), ys = i32();
          double m[6];
          for (double& v : m) {
            const uint32_t bits = q.U32LE();
            float f;
            std::memcpy(&f, &bits, 4);
            v = std::isfinite(f) ? f : 0;
          }
          q.U32LE();  // background colour of the source
          const uint32_t usage = q.U32LE();
          const uint32_t offBmi = q.U32LE(), cbBmi = q.U32LE(), offBits = q.U32LE(), cbBits = q.U32LE();
          double cxs = cxd, cys = cyd;
          if (type == 77) {
            cxs = i32();
            cys = i32();
          }
          Dib dib;
          if (cbBmi > 0 && offBmi <= size && cbBmi <= size - offBmi && offBits <= size &&
              cbBits <= size - offBits)
            dib = DecodeDib(data.subspan(recStart + offBmi, cbBmi), data.subspan(recStart + offBits, cbBits),
                            usage);
          // The source's world transform places the source rectangle in the bitmap.
          const bool plain = m[0] == 0 && m[3] == 0;
          const double sx = plain ? xs : m[0] * xs + m[2] * ys + m[4];
          const double sy = plain ? ys : m[1] * xs + m[3] * ys + m[5];
          const double sw = plain ? cxs : m[0] * cxs, sh = plain ? cys : m[3] * cys;
          pl.Blit(pl.ToPicture(xd, yd), pl.ToPicture(xd + cxd, yd + cyd), dib.bitmap.get(), sx, sy, sw, sh,
                  rop);
          break;
        }
        case 80:    // SETDIBITSTODEVICE: one to one in the reference device's pixels
        case 81: {  // STRETCHDIBITS
          q.Skip(16);
          const double xd = i32(), yd = i32();
          const double xs = i32(), ys = i32(), cxs = i32(), cys = i32();
          const uint32_t offBmi = q.U32LE(), cbBmi = q.U32LE(), offBits = q.U32LE(), cbBits = q.U32LE();
          const uint32_t usage = q.U32LE();
          uint32_t rop = 0x00CC0020, startScan = 0, scans = 0;
          double cxd = 0, cyd = 0;
          if (type == 81) {
            rop = q.U32LE();
            cxd = i32();
            cyd = i32();
          } else {
            startScan = q.U32LE();
            scans = q.U32LE();
          }
          if (offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits ||
              cbBmi == 0)
            break;
          const Dib dib = DecodeDib(data.subspan(recStart + offBmi, cbBmi),
                                    data.subspan(recStart + offBits, cbBits), usage, scans);
          // Source rows count from the bottom of a bottom-up bitmap.
          const PointD a = pl.ToPicture(xd, yd);
          const PointD b = type == 81 ? pl.ToPicture(xd + cxd, yd + cyd)
                                      : PointD{a.x + cxs * pl.devScaleX, a.y + cys * pl.devScaleY};
          const double sy = type == 81 ? ys : ys - startScan;
          pl.Blit(a, b, dib.bitmap.get(), xs, TopBasedY(dib, sy, cys), cxs, cys, rop);
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
        default:
          break;  // records that do not draw
      }
    }
  } catch (const EReadError&) {
    Bad();
  }
}

}  // namespace pagewright
