// The records of Windows metafiles: a handler per record (records that differ only in their
// function code share one), found through a table sorted by function code. Coordinates are
// 16-bit and, in most records, stored last parameter first.

#include "render/wmf_emf_playback.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace pagewright::wmf_emf {

std::vector<PointD> WmfRecord::ReadPoints(size_t n) {
  std::vector<PointD> pts;
  n = std::min(n, params.Remaining() / 4);
  for (size_t i = 0; i < n; ++i) {
    const double x = S16();
    pts.push_back({x, S16()});
  }
  return pts;
}

namespace {

// ---- state ----

void SaveDC(WmfRecord&, Player& pl) {
  pl.Save();
}

void RestoreDC(WmfRecord& rec, Player& pl) {
  pl.Restore(rec.params.I16LE());
}

void SetBkColor(WmfRecord& rec, Player& pl) {
  pl.dc.bkColor = static_cast<TColor>(rec.params.U32LE() & 0xFFFFFF);
}

void SetBkMode(WmfRecord& rec, Player& pl) {
  pl.dc.bkMode = rec.params.U16LE();
}

void SetMapMode(WmfRecord& rec, Player& pl) {
  pl.dc.mapMode = rec.params.U16LE();
}

void SetTextColor(WmfRecord& rec, Player& pl) {
  pl.dc.textColor = static_cast<TColor>(rec.params.U32LE() & 0xFFFFFF);
}

void SetTextAlign(WmfRecord& rec, Player& pl) {
  pl.dc.textAlign = rec.params.U16LE();
}

void SetPolyFillMode(WmfRecord& rec, Player& pl) {
  pl.dc.polyFillMode = rec.params.U16LE() == 2 ? pfmWinding : pfmAlternate;
}

void SetWindowOrg(WmfRecord& rec, Player& pl) {
  const double y = rec.S16();
  pl.dc.winOrg = {rec.S16(), y};
}

void SetWindowExt(WmfRecord& rec, Player& pl) {
  const double y = rec.S16();
  pl.dc.winExt = {rec.S16(), y};
}

// ---- lines and shapes ----

void MoveTo(WmfRecord& rec, Player& pl) {
  const double y = rec.S16();
  pl.MoveTo(rec.S16(), y);
}

void LineTo(WmfRecord& rec, Player& pl) {
  const double y = rec.S16();
  pl.LineTo(rec.S16(), y);
}

void Rectangle(WmfRecord& rec, Player& pl) {
  const double b = rec.S16(), r = rec.S16(), t = rec.S16(), l = rec.S16();
  pl.Rectangle(l, t, r, b);
}

void Ellipse(WmfRecord& rec, Player& pl) {
  const double b = rec.S16(), r = rec.S16(), t = rec.S16(), l = rec.S16();
  pl.Ellipse(l, t, r, b);
}

void RoundRect(WmfRecord& rec, Player& pl) {
  const double ch = rec.S16(), cw = rec.S16(), b = rec.S16(), r = rec.S16(), t = rec.S16(), l = rec.S16();
  pl.RoundRect(l, t, r, b, cw, ch);
}

// ARC, PIE and CHORD.
void ArcPieChord(WmfRecord& rec, Player& pl) {
  const double ye = rec.S16(), xe = rec.S16(), ys = rec.S16(), xs = rec.S16(), b = rec.S16(), r = rec.S16(),
               t = rec.S16(), l = rec.S16();
  pl.Arc(rec.function == 0x0817 ? 0 : rec.function == 0x081A ? 1 : 2, l, t, r, b, xs, ys, xe, ye);
}

void Polygon(WmfRecord& rec, Player& pl) {
  pl.Polygon(rec.ReadPoints(rec.params.U16LE()));
}

void Polyline(WmfRecord& rec, Player& pl) {
  pl.Polyline(rec.ReadPoints(rec.params.U16LE()));
}

void PolyPolygon(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const size_t n = q.U16LE();
  std::vector<size_t> counts;
  for (size_t i = 0; i < n && !q.Failed(); ++i) counts.push_back(q.U16LE());
  std::vector<std::vector<PointD>> polys;
  for (size_t c : counts) polys.push_back(rec.ReadPoints(c));
  pl.PolyPolygon(polys);
}

// ---- text ----

void TextOut(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const size_t len = q.U16LE();
  const auto text = Latin1(q.Bytes(len));
  if (len % 2) q.U8();
  const double y = rec.S16();
  pl.Text(rec.S16(), y, text, nullptr, 0, std::nullopt);
}

void ExtTextOut(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const double y = rec.S16(), x = rec.S16();
  const size_t len = q.U16LE();
  const uint16_t options = q.U16LE();
  std::optional<TRect> clip;
  if (options & 6) {
    const double l = rec.S16(), t = rec.S16(), r = rec.S16(), b = rec.S16();
    clip = pl.R(l, t, r, b);
  }
  const auto text = Latin1(q.Bytes(len));
  if (len % 2) q.U8();
  std::vector<int> dx;
  if (q.Remaining() >= len * 2)
    for (size_t i = 0; i < len; ++i) dx.push_back(q.I16LE());
  pl.Text(x, y, text, dx.empty() ? nullptr : &dx, options, clip);
}

// ---- objects ----

void CreatePenIndirect(WmfRecord& rec, Player& pl) {
  GdiObject o;
  o.kind = GdiObject::Pen;
  o.pen.style = rec.params.U16LE();
  o.pen.width = rec.S16();
  rec.S16();
  o.pen.color = static_cast<TColor>(rec.params.U32LE() & 0xFFFFFF);
  pl.AddObject(o);
}

void CreateBrushIndirect(WmfRecord& rec, Player& pl) {
  GdiObject o;
  o.kind = GdiObject::Brush;
  o.brush.style = rec.params.U16LE();
  o.brush.color = static_cast<TColor>(rec.params.U32LE() & 0xFFFFFF);
  o.brush.hatch = rec.params.U16LE();
  pl.AddObject(o);
}

void CreateFontIndirect(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  GdiObject o;
  o.kind = GdiObject::Font;
  o.font.height = rec.S16();
  rec.S16();
  o.font.escapement = q.I16LE();
  q.I16LE();
  o.font.weight = q.I16LE();
  o.font.italic = q.U8() != 0;
  o.font.underline = q.U8() != 0;
  o.font.strikeOut = q.U8() != 0;
  q.Skip(5);
  o.font.name = FaceName(q.Bytes(std::min<size_t>(32, q.Remaining())), false);
  pl.AddObject(o);
}

// CREATEREGION: scans of rectangles in logical units.
void CreateRegion(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  GdiObject o;
  o.kind = GdiObject::Region;
  q.Skip(10);  // next in chain, object type, object count, region size
  const size_t scans = q.U16LE();
  q.Skip(2 + 8);  // largest scan, bounds
  for (size_t i = 0; i < scans && q.Remaining() >= 8; ++i) {
    const size_t count = q.U16LE();
    const double top = q.I16LE(), bottom = q.I16LE();
    for (size_t k = 0; k + 1 < count && q.Remaining() >= 4; k += 2) {
      const double l = q.I16LE(), r = q.I16LE();
      o.rects.push_back({l, top, r, bottom});
    }
    q.U16LE();
  }
  pl.AddObject(std::move(o));
}

// Palettes and pattern brushes: they take a slot in the object table and draw nothing.
void CreateOtherObject(WmfRecord&, Player& pl) {
  pl.AddObject(GdiObject{});
}

void SelectObject(WmfRecord& rec, Player& pl) {
  pl.SelectObject(rec.params.U16LE());
}

void DeleteObject(WmfRecord& rec, Player& pl) {
  pl.DeleteObject(rec.params.U16LE());
}

// ---- clipping ----

void SelectClipRegion(WmfRecord& rec, Player& pl) {
  pl.SelectClipRegion(rec.params.U16LE());
}

void ExcludeClipRect(WmfRecord& rec, Player& pl) {
  const double b = rec.S16(), r = rec.S16(), t = rec.S16(), l = rec.S16();
  pl.ExcludeClip(l, t, r, b);
}

void IntersectClipRect(WmfRecord& rec, Player& pl) {
  const double b = rec.S16(), r = rec.S16(), t = rec.S16(), l = rec.S16();
  pl.IntersectClip(l, t, r, b);
}

void OffsetClipRgn(WmfRecord& rec, Player& pl) {
  const double y = rec.S16();
  pl.OffsetClip(rec.S16(), y);
}

// ---- block transfers ----

// STRETCHDIB: source y counted from the bottom of a bottom-up bitmap.
void StretchDib(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t rop = q.U32LE();
  const uint32_t usage = q.U16LE();
  const double sh = rec.S16(), sw = rec.S16(), sy = rec.S16(), sx = rec.S16();
  const double dh = rec.S16(), dw = rec.S16(), dy = rec.S16(), dx = rec.S16();
  const Dib dib = DecodePackedDib(q.Bytes(q.Remaining()), usage);
  pl.Blit(pl.ToPicture(dx, dy), pl.ToPicture(dx + dw, dy + dh), dib.bitmap.get(), sx, TopBasedY(dib, sy, sh),
          sw, sh, rop);
}

void SetDibToDev(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t usage = q.U16LE(), scanCount = q.U16LE(), startScan = q.U16LE();
  const double sy = rec.S16(), sx = rec.S16(), hgt = rec.S16(), wid = rec.S16(), dy = rec.S16(),
               dx = rec.S16();
  const auto packed = q.Bytes(q.Remaining());
  const auto header = ReadDibHeader(packed, usage);
  if (!header || header->headerSize + header->tableBytes > packed.size()) return;
  const size_t infoSize = header->headerSize + header->tableBytes;
  const Dib band = DecodeDib(packed.first(infoSize), packed.subspan(infoSize), usage, scanCount);
  pl.Blit(pl.ToPicture(dx, dy), pl.ToPicture(dx + wid, dy + hgt), band.bitmap.get(), sx,
          TopBasedY(band, sy - startScan, hgt), wid, hgt, 0x00CC0020);
}

// DIBSTRETCHBLT and DIBBITBLT.
void DibBlt(WmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint16_t fn = rec.function;
  // Without a bitmap the record holds one reserved word more and no bitmap.
  const bool withBitmap = rec.sizeWords != static_cast<uint32_t>(fn >> 8) + 3;
  const uint32_t rop = q.U32LE();
  double sh = 0, sw = 0;
  if (fn == 0x0B41) sh = rec.S16(), sw = rec.S16();
  const double sy = rec.S16(), sx = rec.S16();
  if (!withBitmap) q.U16LE();
  const double dh = rec.S16(), dw = rec.S16(), dy = rec.S16(), dx = rec.S16();
  if (fn == 0x0940) sh = dh, sw = dw;
  Dib dib;
  if (withBitmap) dib = DecodePackedDib(q.Bytes(q.Remaining()), 0);
  pl.Blit(pl.ToPicture(dx, dy), pl.ToPicture(dx + dw, dy + dh), dib.bitmap.get(), sx, sy, sw, sh, rop);
}

void PatBlt(WmfRecord& rec, Player& pl) {
  const uint32_t rop = rec.params.U32LE();
  const double hgt = rec.S16(), wid = rec.S16(), y = rec.S16(), x = rec.S16();
  pl.Blit(pl.ToPicture(x, y), pl.ToPicture(x + wid, y + hgt), nullptr, 0, 0, 0, 0, rop);
}

// By function code; records not listed do not draw.
constexpr RecordHandler<WmfRecord> kHandlers[] = {
    {0x001E, SaveDC},
    {0x00F7, CreateOtherObject},  // CREATEPALETTE
    {0x0102, SetBkMode},
    {0x0103, SetMapMode},
    {0x0106, SetPolyFillMode},
    {0x0127, RestoreDC},
    {0x012C, SelectClipRegion},
    {0x012D, SelectObject},
    {0x012E, SetTextAlign},
    {0x0142, CreateOtherObject},  // DIBCREATEPATTERNBRUSH
    {0x01F0, DeleteObject},
    {0x01F9, CreateOtherObject},  // CREATEPATTERNBRUSH
    {0x0201, SetBkColor},
    {0x0209, SetTextColor},
    {0x020B, SetWindowOrg},
    {0x020C, SetWindowExt},
    {0x0213, LineTo},
    {0x0214, MoveTo},
    {0x0220, OffsetClipRgn},
    {0x02FA, CreatePenIndirect},
    {0x02FB, CreateFontIndirect},
    {0x02FC, CreateBrushIndirect},
    {0x0324, Polygon},
    {0x0325, Polyline},
    {0x0415, ExcludeClipRect},
    {0x0416, IntersectClipRect},
    {0x0418, Ellipse},
    {0x041B, Rectangle},
    {0x0521, TextOut},
    {0x0538, PolyPolygon},
    {0x061C, RoundRect},
    {0x061D, PatBlt},
    {0x06FF, CreateRegion},
    {0x0817, ArcPieChord},  // ARC
    {0x081A, ArcPieChord},  // PIE
    {0x0830, ArcPieChord},  // CHORD
    {0x0940, DibBlt},       // DIBBITBLT
    {0x0A32, ExtTextOut},
    {0x0B41, DibBlt},  // DIBSTRETCHBLT
    {0x0D33, SetDibToDev},
    {0x0F43, StretchDib},
};
static_assert(SortedByType(kHandlers));

}  // namespace

void PlayWmfRecord(WmfRecord& record, Player& player) {
  PlayByTable(kHandlers, record.function, record, player);
}

}  // namespace pagewright::wmf_emf
