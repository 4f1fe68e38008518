// Playback of Windows and enhanced metafiles, shared by the entry points (wmf_emf.cpp) and the
// record handlers (wmf_records.cpp, emf_records.cpp): the device context's drawing state, the
// object table, and the player that turns records into calls on the recording canvas.
// Internal to the metafile readers.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/streams.h"
#include "render/graphic_formats.h"
#include "render/metafile.h"

namespace pagewright::wmf_emf {

// Limits against hostile files: objects in the table, saved states, points in one record.
inline constexpr size_t kMaxObjects = 65535;
inline constexpr size_t kMaxSavedStates = 1024;
inline constexpr size_t kMaxRecords = 1 << 22;
inline constexpr double kCoordLimit = 1 << 24;
inline constexpr size_t kMaxFigures = 1 << 16;
inline constexpr size_t kMaxPathPoints = 1 << 20;

// EInvalidGraphic for a file that is not a valid metafile.
[[noreturn]] void Bad();

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
inline constexpr uint32_t RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;

// ---- device-independent bitmaps of the block transfer records (wmf_emf_blit.cpp) ----

struct DibHeader {
  uint32_t headerSize = 0;
  int64_t width = 0, height = 0;
  int bpp = 0;
  uint32_t compression = 0;  // BI_RGB
  size_t tableEntries = 0;   // colour table entries (bit depths up to 8)
  size_t tableBytes = 0;     // bytes after the header before the bits
};

// Reads a bitmap header (core or info) and the size of what follows it before the bits.
std::optional<DibHeader> ReadDibHeader(std::span<const uint8_t> info, uint32_t usage);

// A bitmap and how its rows are stored.
struct Dib {
  std::unique_ptr<TBitmap> bitmap;
  bool bottomUp = true;
};

// Decodes a bitmap from its header with colour table (info) and its bits, as the transfer
// records hold them. Alpha bytes of 32-bit pixels are ignored, as block transfers do; a colour
// table of palette indexes takes the default palette's colours; scans > 0 says the bits hold
// only that many rows. A bitmap that cannot be read gives no bitmap.
Dib DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, uint32_t usage,
              uint32_t scans = 0);
// A bitmap stored with its header and bits in one block (the Windows metafile records).
Dib DecodePackedDib(std::span<const uint8_t> packed, uint32_t usage);
// The source rectangle's top in rows from the top of the bitmap, for records that count the
// source's y from the bottom row of a bottom-up bitmap.
double TopBasedY(const Dib& dib, double y, double height);

// ---- the player ----

// Where a block transfer lands, and the part of its source that is drawn (wmf_emf_blit.cpp).
struct BlitPlacement;

// Plays records onto the metafile's canvas: coordinates, objects, saved states, clipping and
// drawing (wmf_emf_player.cpp), block transfers (wmf_emf_blit.cpp).
class Player {
 public:
  Player(TMetafile& into, bool wmf) : FInto(into), FCanvas(into.Canvas()), FWmf(wmf) {}

  // Reference-device pixels to picture pixels (enhanced metafiles).
  double devScaleX = 1, devScaleY = 1, devOffX = 0, devOffY = 0;
  double devPxPerMmX = 96 / 25.4, devPxPerMmY = 96 / 25.4;
  DCState dc;

  // ---- coordinates ----
  // A logical point in picture pixels, through the world transform and the mapping mode.
  PointD ToPicture(double x, double y) const;
  TPoint P(double x, double y) const {
    const PointD p = ToPicture(x, y);
    return Point(Clamp(p.x), Clamp(p.y));
  }
  static int Clamp(double v) {
    if (!(v == v)) return 0;
    return static_cast<int>(RoundHalfEven(std::clamp(v, -kCoordLimit, kCoordLimit)));
  }
  // Picture pixels per logical unit along x and y.
  double ScaleX() const;
  double ScaleY() const;
  TRect R(double l, double t, double r, double b) const;
  // The reference device's pixels (enhanced metafiles) in picture pixels.
  TPoint DevicePoint(double x, double y) const;

  // ---- objects ----
  void AddObject(GdiObject o);
  void SetObject(uint32_t index, GdiObject o);
  void SelectObject(uint32_t index);
  // A region object as the clip region; anything else (or no object) removes clipping.
  void SelectClipRegion(uint32_t index);
  void DeleteObject(uint32_t index);

  // ---- state ----
  void Save();
  void Restore(int relative);

  // ---- clipping ----
  // The picture's own bounds: what "no clipping" means when a region is combined with it.
  void SetBounds(const TRect& r);
  void ResetClip();
  // Combines an area (picture pixels) with the clip region by a region mode; unknown modes
  // leave the clip as it is.
  void CombineClip(const TArea& area, uint32_t mode);
  void IntersectClip(double l, double t, double r, double b);
  void ExcludeClip(double l, double t, double r, double b);
  // Moves the clip region by a logical offset.
  void OffsetClip(double dx, double dy);
  // The current path as the clip region (the path is used up); without a path the clip stays.
  void SelectClipPath(uint32_t mode);

  // ---- drawing ----
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void Polyline(const std::vector<PointD>& pts);
  void Polygon(const std::vector<PointD>& pts);
  // Polygons filled together by the fill mode, so that inner ones can leave holes.
  void PolyPolygon(const std::vector<std::vector<PointD>>& polys);
  void Rectangle(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double cw, double ch);
  void Ellipse(double l, double t, double r, double b);
  // kind: 0 arc, 1 pie, 2 chord. Counter-clockwise from the start radial to the end radial.
  void Arc(int kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye);
  void PolyBezier(std::vector<PointD> pts, bool fromCurrent);

  // Paths: figures collected between the begin and end records, then filled or stroked.
  void BeginPath();
  void EndPath() { FInPath = false; }
  void AbortPath();
  void CloseFigure();
  // Fills the figures together with the brush by the fill mode (an inner figure can cut a
  // hole) and/or strokes each with the pen; the path is used up.
  void DrawPath(bool fill, bool stroke);

  // Text at a reference point placed by the text alignment: left, centre or right along the
  // baseline, and top, baseline or bottom across it, all turned with the baseline's angle.
  void Text(double x, double y, std::u16string_view text, const std::vector<int>* logicalDx, uint32_t options,
            const std::optional<TRect>& clip);

  // ---- block transfers ----
  // A block transfer onto the picture rectangle from corner a to corner b (a mirrored
  // rectangle, b left of or above a, mirrors the picture), combining the brush colour (P), the
  // source pixels (S) and what lies below (D) by the ternary raster operation's truth table.
  // src: the source bitmap and its part (pixels from the top-left corner; negative extents
  // mirror), or null for operations without a source.
  void Blit(PointD a, PointD b, const TBitmap* src, double sx, double sy, double sw, double sh, uint32_t rop);

  bool CountRecord() { return ++FRecords <= kMaxRecords; }

 private:
  struct Figure {
    std::vector<PointD> points;
    bool closed = false;
  };
  void ApplyClip();
  // A rectangle in logical units as an area of picture pixels (a parallelogram under a
  // rotating or shearing transform).
  TArea LogicalRect(double l, double t, double r, double b) const;
  void ApplyPen();
  void ApplyBrush();
  void ApplyShape();
  void StartFigure(std::vector<PointD> pts);
  // Continues the open figure when the points start where it ends, else starts a new one.
  void AddToPath(const std::vector<PointD>& pts, bool closed);
  std::vector<TPoint> ToDevice(const std::vector<PointD>& pts) const;

  // The baseline's angle on the page in degrees (counter-clockwise): the font's escapement,
  // turned by the world transform.
  double TextAngle() const;
  // A distance in picture pixels back in logical units.
  PointD LogicalDelta(double dx, double dy) const;
  // Puts the selected font on the canvas; returns its orientation in tenths of a degree.
  int SelectTextFont();
  // Advances in picture pixels, one per character: from the record's logical ones, or measured.
  std::vector<int> TextAdvances(std::u16string_view text, const std::vector<int>* logicalDx);

  // The raster operation pixel by pixel over the visible part of dest (src null: no source).
  void BlitPixels(const TRect& dest, const TBitmap* src, const BlitPlacement& at, uint8_t code,
                  uint32_t pattern, bool useD);
  // The picture recorded so far, inside dest, at w x h pixels (premultiplied, alpha 0 where
  // nothing is drawn). Replaying costs time, so a file gets a bounded amount of it; past that
  // the destination reads as not drawn.
  std::vector<uint32_t> PictureSoFar(const TRect& dest, int w, int h);

  TMetafile& FInto;
  TCanvas& FCanvas;
  bool FWmf;
  std::vector<std::optional<GdiObject>> FObjects;
  std::vector<DCState> FSaved;
  TRect FBounds;
  size_t FRecords = 0;
  std::vector<Figure> FPath;
  bool FInPath = false;
  // What block transfers that combine with the picture drawn so far may still spend.
  size_t FReplayBudget = size_t{1} << 20;
  int FReplays = 64;
  int64_t FPixelBudget = int64_t{1} << 26;
};

// ---- text of the records (wmf_emf.cpp) ----

std::u16string Latin1(std::span<const uint8_t> bytes);
// A face name up to its terminating zero, in 8-bit or UTF-16 characters.
WideString FaceName(std::span<const uint8_t> bytes, bool wide);

// ---- records ----

// One record of a Windows metafile.
struct WmfRecord {
  uint16_t function = 0;
  uint32_t sizeWords = 0;  // the record's size in 16-bit words, its header included
  TByteReader params;      // the parameters; reading past a short record gives zeros

  double S16() { return static_cast<double>(params.I16LE()); }
  // n points of two 16-bit coordinates, as many as the record holds.
  std::vector<PointD> ReadPoints(size_t n);
};

// One record of an enhanced metafile.
struct EmfRecord {
  uint32_t type = 0;
  uint32_t size = 0;               // in bytes, type and size included
  std::span<const uint8_t> bytes;  // the whole record, for offsets from its start
  TByteReader params;              // after type and size; reading past the record gives zeros

  double I32() { return static_cast<double>(params.I32LE()); }
  // n points of 16-bit (short form) or 32-bit coordinates, as many as the record holds.
  std::vector<PointD> ReadPoints(size_t n, bool shortForm);
};

// Plays one record; records that do not draw are skipped (wmf_records.cpp, emf_records.cpp).
void PlayWmfRecord(WmfRecord& record, Player& player);
void PlayEmfRecord(EmfRecord& record, Player& player);

// A dispatch table from record type to handler, sorted by type.
template <typename Record>
struct RecordHandler {
  uint32_t type;
  void (*play)(Record& record, Player& player);
};

template <typename Record, size_t N>
constexpr bool SortedByType(const RecordHandler<Record> (&table)[N]) {
  for (size_t i = 1; i < N; ++i)
    if (table[i - 1].type >= table[i].type) return false;
  return true;
}

// Plays a record by its table; returns false when the table has no handler for its type.
template <typename Record, size_t N>
bool PlayByTable(const RecordHandler<Record> (&table)[N], uint32_t type, Record& record, Player& player) {
  const auto* it = std::lower_bound(std::begin(table), std::end(table), type,
                                    [](const RecordHandler<Record>& h, uint32_t t) { return h.type < t; });
  if (it == std::end(table) || it->type != type) return false;
  it->play(record, player);
  return true;
}

}  // namespace pagewright::wmf_emf
