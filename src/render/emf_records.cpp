// The records of enhanced metafiles: a handler per record (records that differ only in their type
// share one), found through a table sorted by type. Coordinates are 32-bit, or 16-bit in the
// short forms of the poly records.

#include "render/wmf_emf_playback.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace pagewright::wmf_emf {

std::vector<PointD> EmfRecord::ReadPoints(size_t n, bool shortForm) {
  std::vector<PointD> pts;
  n = std::min(n, params.Remaining() / (shortForm ? 4 : 8));
  pts.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const double x = shortForm ? params.I16LE() : params.I32LE();
    const double y = shortForm ? params.I16LE() : params.I32LE();
    pts.push_back({x, y});
  }
  return pts;
}

namespace {

// ---- state ----

void SetWindowExtEx(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.dc.winExt = {x, rec.I32()};
}

void SetWindowOrgEx(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.dc.winOrg = {x, rec.I32()};
}

void SetViewportExtEx(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.dc.vpExt = {x, rec.I32()};
}

void SetViewportOrgEx(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.dc.vpOrg = {x, rec.I32()};
}

void SetMapMode(EmfRecord& rec, Player& pl) {
  pl.dc.mapMode = static_cast<int>(rec.params.U32LE());
}

void SetBkMode(EmfRecord& rec, Player& pl) {
  pl.dc.bkMode = static_cast<int>(rec.params.U32LE());
}

void SetPolyFillMode(EmfRecord& rec, Player& pl) {
  pl.dc.polyFillMode = rec.params.U32LE() == 2 ? pfmWinding : pfmAlternate;
}

void SetTextAlign(EmfRecord& rec, Player& pl) {
  pl.dc.textAlign = rec.params.U32LE();
}

void SetTextColor(EmfRecord& rec, Player& pl) {
  pl.dc.textColor = static_cast<TColor>(rec.params.U32LE() & 0xFFFFFF);
}

void SetBkColor(EmfRecord& rec, Player& pl) {
  pl.dc.bkColor = static_cast<TColor>(rec.params.U32LE() & 0xFFFFFF);
}

void SaveDC(EmfRecord&, Player& pl) {
  pl.Save();
}

void RestoreDC(EmfRecord& rec, Player& pl) {
  pl.Restore(rec.params.I32LE());
}

// Combines the world transform with m: mode 1 resets it, 2 applies m first (left multiply),
// 3 applies m last (right multiply), 4 replaces it with m; other modes leave it.
void ModifyTransform(double* xf, const float (&m)[6], uint32_t mode) {
  if (mode == 1) {
    const double id[6] = {1, 0, 0, 1, 0, 0};
    std::copy(id, id + 6, xf);
  } else if (mode == 4) {
    std::copy(m, m + 6, xf);
  } else if (mode == 2 || mode == 3) {
    double A[6], B[6];
    if (mode == 2) {
      std::copy(m, m + 6, A);
      std::copy(xf, xf + 6, B);
    } else {
      std::copy(xf, xf + 6, A);
      std::copy(m, m + 6, B);
    }
    const double out[6] = {A[0] * B[0] + A[1] * B[2],        A[0] * B[1] + A[1] * B[3],
                           A[2] * B[0] + A[3] * B[2],        A[2] * B[1] + A[3] * B[3],
                           A[4] * B[0] + A[5] * B[2] + B[4], A[4] * B[1] + A[5] * B[3] + B[5]};
    std::copy(out, out + 6, xf);
  }
}

// SETWORLDTRANSFORM and MODIFYWORLDTRANSFORM.
void WorldTransform(EmfRecord& rec, Player& pl) {
  float m[6];
  for (float& v : m) {
    const uint32_t bits = rec.params.U32LE();
    std::memcpy(&v, &bits, 4);
    if (!std::isfinite(v)) v = 0;
  }
  const uint32_t mode = rec.type == 35 ? 4 : rec.params.U32LE();
  ModifyTransform(pl.dc.xf, m, mode);
}

// ---- lines and shapes ----

// POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO and their 16-bit forms.
void Poly(EmfRecord& rec, Player& pl) {
  rec.params.Skip(16);
  const bool shortForm = rec.type >= 85;
  const auto pts = rec.ReadPoints(rec.params.U32LE(), shortForm);
  const uint32_t kind = shortForm ? rec.type - 83 : rec.type;  // 2 bezier .. 6 polyline-to
  if (kind == 3) {
    pl.Polygon(pts);
  } else if (kind == 4) {
    pl.Polyline(pts);
  } else if (kind == 2 || kind == 5) {
    pl.PolyBezier(pts, kind == 5);
  } else if (kind == 6 && !pts.empty()) {
    std::vector<PointD> all{pl.dc.cur};
    all.insert(all.end(), pts.begin(), pts.end());
    pl.Polyline(all);
    pl.dc.cur = pts.back();
  }
}

// POLYPOLYLINE, POLYPOLYGON and their 16-bit forms.
void PolyPoly(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  q.Skip(16);
  const bool shortForm = rec.type >= 90;
  const size_t n = q.U32LE();
  q.U32LE();
  std::vector<size_t> counts;
  for (size_t i = 0; i < n && q.Remaining() >= 4; ++i) counts.push_back(q.U32LE());
  std::vector<std::vector<PointD>> polys;
  for (size_t c : counts) polys.push_back(rec.ReadPoints(c, shortForm));
  if (rec.type == 8 || rec.type == 91) {
    pl.PolyPolygon(polys);
  } else {
    for (const auto& pts : polys) pl.Polyline(pts);
  }
}

void MoveToEx(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.MoveTo(x, rec.I32());
}

void LineTo(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.LineTo(x, rec.I32());
}

void Ellipse(EmfRecord& rec, Player& pl) {
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32();
  pl.Ellipse(l, t, r, b);
}

void Rectangle(EmfRecord& rec, Player& pl) {
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32();
  pl.Rectangle(l, t, r, b);
}

void RoundRect(EmfRecord& rec, Player& pl) {
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32(), cw = rec.I32(), ch = rec.I32();
  pl.RoundRect(l, t, r, b, cw, ch);
}

// ARC, CHORD and PIE.
void ArcChordPie(EmfRecord& rec, Player& pl) {
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32(), xs = rec.I32(), ys = rec.I32(),
               xe = rec.I32(), ye = rec.I32();
  pl.Arc(rec.type == 45 ? 0 : rec.type == 47 ? 1 : 2, l, t, r, b, xs, ys, xe, ye);
}

// ---- paths ----

void BeginPath(EmfRecord&, Player& pl) {
  pl.BeginPath();
}

void EndPath(EmfRecord&, Player& pl) {
  pl.EndPath();
}

void CloseFigure(EmfRecord&, Player& pl) {
  pl.CloseFigure();
}

void FillPath(EmfRecord&, Player& pl) {
  pl.DrawPath(true, false);
}

void StrokeAndFillPath(EmfRecord&, Player& pl) {
  pl.DrawPath(true, true);
}

void StrokePath(EmfRecord&, Player& pl) {
  pl.DrawPath(false, true);
}

void AbortPath(EmfRecord&, Player& pl) {
  pl.AbortPath();
}

// ---- clipping ----

void ExcludeClipRect(EmfRecord& rec, Player& pl) {
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32();
  pl.ExcludeClip(l, t, r, b);
}

void IntersectClipRect(EmfRecord& rec, Player& pl) {
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32();
  pl.IntersectClip(l, t, r, b);
}

void OffsetClipRgn(EmfRecord& rec, Player& pl) {
  const double x = rec.I32();
  pl.OffsetClip(x, rec.I32());
}

void SelectClipPath(EmfRecord& rec, Player& pl) {
  pl.SelectClipPath(rec.params.U32LE());
}

// EXTSELECTCLIPRGN: the region's rectangles in the reference device's pixels.
void ExtSelectClipRgn(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t cb = q.U32LE(), mode = q.U32LE();
  if (cb < 32) {
    if (mode == RGN_COPY) pl.ResetClip();
    return;
  }
  if (cb > q.Remaining()) return;  // region data cut short: not a region
  TByteReader rg(q.Bytes(cb), false);
  const uint32_t headerSize = rg.U32LE();
  rg.Skip(4);
  const size_t count = rg.U32LE();
  rg.Skip(4 + 16);
  if (headerSize != 32 || count > rg.Remaining() / 16) return;
  TArea area;
  for (size_t i = 0; i < count && rg.Remaining() >= 16; ++i) {
    const double l = rg.I32LE(), t = rg.I32LE(), r = rg.I32LE(), b = rg.I32LE();
    if (!(r > l && b > t)) continue;
    const TPoint p1 = pl.DevicePoint(l, t), p2 = pl.DevicePoint(r, b);
    area.contours.push_back({p1, Point(p2.X, p1.Y), p2, Point(p1.X, p2.Y)});
  }
  pl.CombineClip(area, mode);
}

// ---- objects ----

void SelectObject(EmfRecord& rec, Player& pl) {
  pl.SelectObject(rec.params.U32LE());
}

void DeleteObject(EmfRecord& rec, Player& pl) {
  pl.DeleteObject(rec.params.U32LE());
}

void CreatePen(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t index = q.U32LE();
  GdiObject o;
  o.kind = GdiObject::Pen;
  o.pen.style = q.U32LE();
  o.pen.width = rec.I32();
  q.I32LE();
  o.pen.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
  pl.SetObject(index, o);
}

void ExtCreatePen(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
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
}

void CreateBrushIndirect(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t index = q.U32LE();
  GdiObject o;
  o.kind = GdiObject::Brush;
  o.brush.style = q.U32LE();
  o.brush.color = static_cast<TColor>(q.U32LE() & 0xFFFFFF);
  o.brush.hatch = q.U32LE();
  pl.SetObject(index, o);
}

// Pattern brushes keep their slot and draw nothing.
void CreatePatternBrush(EmfRecord& rec, Player& pl) {
  pl.SetObject(rec.params.U32LE(), GdiObject{});
}

void ExtCreateFontIndirectW(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
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
}

// ---- text ----

// EXTTEXTOUTA (8-bit characters) and EXTTEXTOUTW.
void ExtTextOut(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t size = rec.size;
  q.Skip(16 + 4 + 8);
  const double x = rec.I32(), y = rec.I32();
  const uint32_t nChars = q.U32LE(), offString = q.U32LE(), options = q.U32LE();
  const double l = rec.I32(), t = rec.I32(), r = rec.I32(), b = rec.I32();
  const uint32_t offDx = q.U32LE();
  const size_t charSize = rec.type == 83 ? 1 : 2;
  if (nChars == 0 || nChars > size) return;
  if (offString > size || size - offString < size_t{nChars} * charSize) return;
  TByteReader whole(rec.bytes, false);  // offsets count from the record's start
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
  if ((options & 6) && r > l && b > t) clip = pl.R(l, t, r, b);
  pl.Text(x, y, text, dx.empty() ? nullptr : &dx, options, clip);
}

// ---- block transfers ----

// A bitmap at offsets from the record's start; no bitmap when they leave the record.
Dib RecordDib(const EmfRecord& rec, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
              uint32_t usage, uint32_t scans = 0) {
  const uint32_t size = rec.size;
  if (cbBmi == 0 || offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits)
    return {};
  return DecodeDib(rec.bytes.subspan(offBmi, cbBmi), rec.bytes.subspan(offBits, cbBits), usage, scans);
}

// BITBLT and STRETCHBLT.
void BitBlt(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  q.Skip(16);
  const double xd = rec.I32(), yd = rec.I32(), cxd = rec.I32(), cyd = rec.I32();
  const uint32_t rop = q.U32LE();
  const double xs = rec.I32(), ys = rec.I32();
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
  if (rec.type == 77) {
    cxs = rec.I32();
    cys = rec.I32();
  }
  const Dib dib = RecordDib(rec, offBmi, cbBmi, offBits, cbBits, usage);
  // The source's world transform places the source rectangle in the bitmap.
  const bool plain = m[0] == 0 && m[3] == 0;
  const double sx = plain ? xs : m[0] * xs + m[2] * ys + m[4];
  const double sy = plain ? ys : m[1] * xs + m[3] * ys + m[5];
  const double sw = plain ? cxs : m[0] * cxs, sh = plain ? cys : m[3] * cys;
  pl.Blit(pl.ToPicture(xd, yd), pl.ToPicture(xd + cxd, yd + cyd), dib.bitmap.get(), sx, sy, sw, sh, rop);
}

// SETDIBITSTODEVICE (one to one in the reference device's pixels) and STRETCHDIBITS.
void DibitsBlt(EmfRecord& rec, Player& pl) {
  TByteReader& q = rec.params;
  const uint32_t size = rec.size;
  q.Skip(16);
  const double xd = rec.I32(), yd = rec.I32();
  const double xs = rec.I32(), ys = rec.I32(), cxs = rec.I32(), cys = rec.I32();
  const uint32_t offBmi = q.U32LE(), cbBmi = q.U32LE(), offBits = q.U32LE(), cbBits = q.U32LE();
  const uint32_t usage = q.U32LE();
  uint32_t rop = 0x00CC0020, startScan = 0, scans = 0;
  double cxd = 0, cyd = 0;
  if (rec.type == 81) {
    rop = q.U32LE();
    cxd = rec.I32();
    cyd = rec.I32();
  } else {
    startScan = q.U32LE();
    scans = q.U32LE();
  }
  if (offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits || cbBmi == 0)
    return;
  const Dib dib = RecordDib(rec, offBmi, cbBmi, offBits, cbBits, usage, scans);
  // Source rows count from the bottom of a bottom-up bitmap.
  const PointD a = pl.ToPicture(xd, yd);
  const PointD b = rec.type == 81 ? pl.ToPicture(xd + cxd, yd + cyd)
                                  : PointD{a.x + cxs * pl.devScaleX, a.y + cys * pl.devScaleY};
  const double sy = rec.type == 81 ? ys : ys - startScan;
  pl.Blit(a, b, dib.bitmap.get(), xs, TopBasedY(dib, sy, cys), cxs, cys, rop);
}

// By record type; records not listed do not draw.
constexpr RecordHandler<EmfRecord> kHandlers[] = {
    {2, Poly},      // POLYBEZIER
    {3, Poly},      // POLYGON
    {4, Poly},      // POLYLINE
    {5, Poly},      // POLYBEZIERTO
    {6, Poly},      // POLYLINETO
    {7, PolyPoly},  // POLYPOLYLINE
    {8, PolyPoly},  // POLYPOLYGON
    {9, SetWindowExtEx},
    {10, SetWindowOrgEx},
    {11, SetViewportExtEx},
    {12, SetViewportOrgEx},
    {17, SetMapMode},
    {18, SetBkMode},
    {19, SetPolyFillMode},
    {22, SetTextAlign},
    {24, SetTextColor},
    {25, SetBkColor},
    {26, OffsetClipRgn},
    {27, MoveToEx},
    {29, ExcludeClipRect},
    {30, IntersectClipRect},
    {33, SaveDC},
    {34, RestoreDC},
    {35, WorldTransform},  // SETWORLDTRANSFORM
    {36, WorldTransform},  // MODIFYWORLDTRANSFORM
    {37, SelectObject},
    {38, CreatePen},
    {39, CreateBrushIndirect},
    {40, DeleteObject},
    {42, Ellipse},
    {43, Rectangle},
    {44, RoundRect},
    {45, ArcChordPie},  // ARC
    {46, ArcChordPie},  // CHORD
    {47, ArcChordPie},  // PIE
    {54, LineTo},
    {59, BeginPath},
    {60, EndPath},
    {61, CloseFigure},
    {62, FillPath},
    {63, StrokeAndFillPath},
    {64, StrokePath},
    {67, SelectClipPath},
    {68, AbortPath},
    {75, ExtSelectClipRgn},
    {76, BitBlt},     // BITBLT
    {77, BitBlt},     // STRETCHBLT
    {80, DibitsBlt},  // SETDIBITSTODEVICE
    {81, DibitsBlt},  // STRETCHDIBITS
    {82, ExtCreateFontIndirectW},
    {83, ExtTextOut},          // EXTTEXTOUTA
    {84, ExtTextOut},          // EXTTEXTOUTW
    {85, Poly},                // POLYBEZIER16
    {86, Poly},                // POLYGON16
    {87, Poly},                // POLYLINE16
    {88, Poly},                // POLYBEZIERTO16
    {89, Poly},                // POLYLINETO16
    {90, PolyPoly},            // POLYPOLYLINE16
    {91, PolyPoly},            // POLYPOLYGON16
    {93, CreatePatternBrush},  // CREATEMONOBRUSH
    {94, CreatePatternBrush},  // CREATEDIBPATTERNBRUSHPT
    {95, ExtCreatePen},
};
static_assert(SortedByType(kHandlers));

}  // namespace

void PlayEmfRecord(EmfRecord& record, Player& player) {
  PlayByTable(kHandlers, record.type, record, player);
}

}  // namespace pagewright::wmf_emf
