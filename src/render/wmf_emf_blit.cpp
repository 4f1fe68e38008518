#include "render/wmf_emf_playback.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "render/colors.h"
#include "render/picture_codecs.h"

// Block transfers: the bitmaps the transfer records carry, and ternary raster operations that
// combine them with the brush and the picture drawn so far.

namespace pagewright::wmf_emf {

namespace {

// The 20 colours of the default palette (0x00RRGGBB), for colour tables of palette indexes.
constexpr uint32_t kDefaultPalette[20] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0,
    0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
constexpr uint32_t DIB_PAL_COLORS = 1;
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Colours as 0x00RRGGBB, the form raster operations work on.
uint32_t ToRgb(TColor c) {
  return ((static_cast<uint32_t>(c) & 0xFF) << 16) | (static_cast<uint32_t>(c) & 0xFF00) |
         ((static_cast<uint32_t>(c) >> 16) & 0xFF);
}

TColor ToColor(uint32_t rgb) {
  return static_cast<TColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// A ternary raster operation: bit i of the code is the result for pattern, source and
// destination bits (i >> 2 & 1, i >> 1 & 1, i & 1), applied to every bit of the colours.
uint32_t Rop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i)
    if ((code >> i) & 1) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  return r & 0xFFFFFF;
}

uint32_t Unpremultiply(uint32_t px) {
  const uint32_t a = px >> 24;
  if (a == 0 || a == 255) return px & 0xFFFFFF;
  auto ch = [&](int shift) { return std::min<uint32_t>(255, (((px >> shift) & 0xFF) * 255 + a / 2) / a); };
  return (ch(16) << 16) | (ch(8) << 8) | ch(0);
}

// A premultiplied pixel laid over white.
uint32_t OverWhite(uint32_t px) {
  const uint32_t a = px >> 24;
  auto ch = [&](int shift) { return std::min<uint32_t>(255, ((px >> shift) & 0xFF) + (255 - a)); };
  return (ch(16) << 16) | (ch(8) << 8) | ch(0);
}

// Result pixel -> source pixel, through the whole destination (mirrored as asked).
int SourceIndex(int i, int n, int visibleStart, int visibleSize, int destStart, int destSize, bool flip,
                int srcStart, int srcSize) {
  const double at = visibleStart + (i + 0.5) * visibleSize / n;
  double u = (at - destStart) / destSize;
  if (flip) u = 1 - u;
  const int k = static_cast<int>(std::floor(u * srcSize));
  return srcStart + std::clamp(k, 0, srcSize - 1);
}

// The size of the result computed over the visible part of dest: the finer of the source's and
// the picture's resolution, within limits.
std::pair<int64_t, int64_t> ResultSize(const TRect& visible, const TRect& dest, const TRect& srcRect,
                                       bool useS, bool useD) {
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
  return {rw, rh};
}

// One result pixel as RGBA from the source colour s (0x00RRGGBB) and, when the operation uses
// it, the premultiplied pixel below; alpha 0 leaves the picture as it is.
void CombinePixel(uint8_t* o, uint8_t code, uint32_t pattern, uint32_t s, const uint32_t* below) {
  uint32_t res;
  bool keep = false;
  if (below) {
    const uint32_t d = *below;
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

}  // namespace

// ---- bitmaps of the records ----

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

Dib DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, uint32_t usage, uint32_t scans) {
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

// ---- block transfers ----

struct BlitPlacement {
  double l = 0, t = 0, r = 0, b = 0;  // the destination in picture pixels
  bool flipX = false, flipY = false;  // mirrored across
  TRect srcRect;                      // the part of the source inside the bitmap
};

namespace {

// Fits the source rectangle into the bitmap: only the part inside it is drawn, onto its share
// of the destination. False when nothing of the source is left.
bool FitSourceIntoBitmap(const TBitmap& src, double sx, double sy, double sw, double sh, BlitPlacement& at) {
  if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(sw) || !std::isfinite(sh)) return false;
  if (sw < 0) sx += sw, sw = -sw, at.flipX = !at.flipX;
  if (sh < 0) sy += sh, sh = -sh, at.flipY = !at.flipY;
  if (sw <= 0 || sh <= 0) return false;
  const double cl = std::max(sx, 0.0), ct = std::max(sy, 0.0);
  const double cr = std::min(sx + sw, double(src.Width())), cb = std::min(sy + sh, double(src.Height()));
  if (cr - cl < 0.5 || cb - ct < 0.5) return false;
  const double f0 = (cl - sx) / sw, f1 = (cr - sx) / sw, g0 = (ct - sy) / sh, g1 = (cb - sy) / sh;
  const double w = at.r - at.l, hgt = at.b - at.t;
  const double nl = at.flipX ? at.r - f1 * w : at.l + f0 * w, nr = at.flipX ? at.r - f0 * w : at.l + f1 * w;
  const double nt = at.flipY ? at.b - g1 * hgt : at.t + g0 * hgt,
               nb = at.flipY ? at.b - g0 * hgt : at.t + g1 * hgt;
  at.l = nl, at.r = nr, at.t = nt, at.b = nb;
  at.srcRect = Rect(Player::Clamp(cl), Player::Clamp(ct), Player::Clamp(cr), Player::Clamp(cb));
  return !at.srcRect.IsEmpty();
}

}  // namespace

void Player::Blit(PointD a, PointD b, const TBitmap* src, double sx, double sy, double sw, double sh,
                  uint32_t rop) {
  const uint8_t code = static_cast<uint8_t>(rop >> 16);
  const bool useS = ((code >> 2) ^ code) & 0x33, useD = ((code >> 1) ^ code) & 0x55,
             useP = ((code >> 4) ^ code) & 0x0F;
  if (code == 0xAA) return;  // the destination itself
  if (useS && (!src || src->Empty())) return;
  if (useP && dc.brush.style == 1) return;  // a hollow brush has no pattern to combine
  BlitPlacement at;
  at.l = std::min(a.x, b.x), at.r = std::max(a.x, b.x), at.flipX = b.x < a.x;
  at.t = std::min(a.y, b.y), at.b = std::max(a.y, b.y), at.flipY = b.y < a.y;
  if (!(at.r - at.l >= 0.5 && at.b - at.t >= 0.5)) return;
  const uint32_t pattern = ToRgb(ColorToRGB(dc.brush.color));
  if (useS && !FitSourceIntoBitmap(*src, sx, sy, sw, sh, at)) return;
  const TRect dest = Rect(Clamp(at.l), Clamp(at.t), Clamp(at.r), Clamp(at.b));
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
  if (useS && !useD && code == 0xCC && !at.flipX && !at.flipY) {  // SRCCOPY: the bitmap scaled
    FCanvas.CopyRect(dest, *src, at.srcRect);
    return;
  }
  BlitPixels(dest, useS ? src : nullptr, at, code, pattern, useD);
}

void Player::BlitPixels(const TRect& dest, const TBitmap* src, const BlitPlacement& at, uint8_t code,
                        uint32_t pattern, bool useD) {
  // Only the part inside the picture can show; it is computed at the finer of the source's
  // and the picture's resolution, within limits.
  const TRect visible = IntersectRect(dest, FBounds);
  if (visible.IsEmpty()) return;
  const auto [rw, rh] = ResultSize(visible, dest, at.srcRect, src != nullptr, useD);
  if (FPixelBudget < rw * rh) return;  // the file has spent its share of pixel work
  FPixelBudget -= rw * rh;
  const int w = static_cast<int>(rw), hgt = static_cast<int>(rh);

  // What lies below: the picture drawn so far, transparent where nothing is drawn yet.
  std::vector<uint32_t> below;
  if (useD) below = PictureSoFar(visible, w, hgt);

  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(pf32bit);
  result->SetSize(w, hgt);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
  std::vector<int> columns;
  if (src)
    for (int x = 0; x < w; ++x)
      columns.push_back(SourceIndex(x, w, visible.Left, visible.Width(), dest.Left, dest.Width(), at.flipX,
                                    at.srcRect.Left, at.srcRect.Width()));
  for (int y = 0; y < hgt; ++y) {
    const uint32_t* srcRow = nullptr;
    if (src) {
      srcRow = src->ScanLine(SourceIndex(y, hgt, visible.Top, visible.Height(), dest.Top, dest.Height(),
                                         at.flipY, at.srcRect.Top, at.srcRect.Height()));
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
      CombinePixel(o, code, pattern, s, useD ? &below[static_cast<size_t>(y) * w + x] : nullptr);
    }
    result->WriteRowRGBA(y, row.data());
  }
  FCanvas.CopyRect(visible, *result, Rect(0, 0, w, hgt));
}

std::vector<uint32_t> Player::PictureSoFar(const TRect& dest, int w, int h) {
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

}  // namespace pagewright::wmf_emf
