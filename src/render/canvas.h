// The engine's drawing interface: a canvas with pen, brush, font and clipping, over a raster
// bitmap or a recording metafile. Coordinates are integer device pixels; rectangles exclude
// their right and bottom edges. Geometry is not anti-aliased (a one-pixel line covers exactly
// one pixel row or column); text is drawn with grayscale anti-aliasing.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "render/fonts.h"
#include "render/geometry.h"

namespace pagewright {

class TBitmap;
class TCanvas;

enum TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame,
  psUserStyle,
  psAlternate
};
enum TPenMode : uint8_t {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};
enum TPenEndCap : uint8_t { pecRound, pecSquare, pecFlat };
enum TPenJoin : uint8_t { pjRound, pjBevel, pjMiter };
enum TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

// Background modes of text output and styled lines.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
// Options of ExtTextOut.
inline constexpr int ETO_OPAQUE = 2;
inline constexpr int ETO_CLIPPED = 4;
inline constexpr int ETO_RTLREADING = 128;
// GetDeviceCaps indexes.
inline constexpr int TECHNOLOGY = 2;
inline constexpr int HORZRES = 8;
inline constexpr int VERTRES = 10;
inline constexpr int BITSPIXEL = 12;
inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;
inline constexpr int DT_RASDISPLAY = 1;
inline constexpr int DT_METAFILE = 5;

// A pen. Width 0 or 1 is the one-pixel pen, which follows the dash styles; wider pens draw the
// dash styles solid, as the platform does, except user patterns. Mode: pmCopy, pmNotCopy,
// pmBlack, pmWhite, pmNot (inverts what lies below) and pmNop take effect; the other raster
// operations draw as pmCopy.
class TPen {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  int Width() const { return FWidth; }
  void SetWidth(int v) { FWidth = v < 0 ? 0 : v; }
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle v) { FStyle = v; }
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode v) { FMode = v; }
  TPenEndCap EndCap() const { return FEndCap; }
  void SetEndCap(TPenEndCap v) { FEndCap = v; }
  TPenJoin Join() const { return FJoin; }
  void SetJoin(TPenJoin v) { FJoin = v; }
  // On and off lengths in pixels, repeated along the line; sets the style psUserStyle.
  const std::vector<int>& UserPattern() const { return FPattern; }
  void SetUserPattern(std::vector<int> onOff) {
    FPattern = std::move(onOff);
    FStyle = psUserStyle;
  }
  bool operator==(const TPen&) const = default;

 private:
  TColor FColor = 0;
  int FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
  TPenEndCap FEndCap = pecRound;
  TPenJoin FJoin = pjRound;
  std::vector<int> FPattern;
};

// A brush: solid, clear, or one of six 8-pixel hatch patterns aligned to the surface origin.
class TBrush {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor v) {
    FColor = v;
    ++FVersion;
  }
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle v) {
    FStyle = v;
    ++FVersion;
  }
  // Counts changes, so that the canvas can realise the brush again when it changed.
  uint32_t Version() const { return FVersion; }
  bool operator==(const TBrush& o) const { return FColor == o.FColor && FStyle == o.FStyle; }

 private:
  TColor FColor = 0xFFFFFF;
  TBrushStyle FStyle = bsSolid;
  uint32_t FVersion = 0;
};

// How overlapping and nested contours of a polygon fill: pfmAlternate fills where a ray from
// the point crosses an odd number of edges (even-odd), pfmWinding where the edges' winding
// number is not zero.
enum TPolyFillMode : uint8_t { pfmAlternate, pfmWinding };

// An area bounded by closed contours (each implicitly closed) under a fill rule.
struct TArea {
  std::vector<std::vector<TPoint>> contours;
  TPolyFillMode fillMode = pfmAlternate;
  static TArea FromRect(const TRect& r);
  bool Empty() const;
  bool operator==(const TArea&) const = default;
};

// Boolean combinations of areas, as clip regions combine.
enum TAreaOp : uint8_t { aoAnd, aoOr, aoXor, aoDiff, aoCopy };

// The combination of two areas (aoCopy gives b) as disjoint trapezoids: an area whose contours
// neither overlap nor cross, so it fills the same under either rule. Corners are rounded to
// whole pixels. Inputs too large to combine within the work limits give a unchanged.
TArea CombineAreas(const TArea& a, const TArea& b, TAreaOp op);
// The area as disjoint trapezoids (see CombineAreas); too large an area is returned unchanged.
TArea DisjointArea(const TArea& a);
// All contours joined into one outline that fills the same under the even-odd rule: each
// contour is closed back to its first point and the connecting segments run there and back, so
// they cancel out. Contours with fewer than three points are left out.
std::vector<TPoint> JoinContours(const TArea& evenOdd);

// One shape a clip region is intersected with.
struct TClipShape {
  enum Kind : uint8_t { ckRect, ckEllipse, ckRoundRect, ckPolygon };
  Kind kind = ckRect;
  TRect rect;                    // the rectangle, or the bounds of the ellipse or rounded rectangle
  int cornerW = 0, cornerH = 0;  // corner ellipse of a rounded rectangle
  std::vector<TPoint> points;    // polygon, filled by the even-odd rule
  bool operator==(const TClipShape&) const = default;
  // The shape of an area: a rectangle when it is one, else a polygon of the joined contours
  // (an empty area clips everything away).
  static TClipShape FromArea(const TArea& area);
};

// A clip region: either no clipping, or the intersection of its shapes.
class TClipRegion {
 public:
  static TClipRegion None() { return TClipRegion(); }
  static TClipRegion FromRect(const TRect& r) {
    TClipRegion c;
    c.Intersect(r);
    return c;
  }
  bool IsClipped() const { return FClipped; }
  const std::vector<TClipShape>& Shapes() const { return FShapes; }
  void Intersect(const TRect& r);
  void Intersect(const TClipShape& s);
  void Intersect(const TClipRegion& other);
  // Bounding box of the region (only rectangles and shape bounds are taken into account).
  TRect Bounds() const;
  bool operator==(const TClipRegion&) const = default;

 private:
  bool FClipped = false;
  std::vector<TClipShape> FShapes;
};

// A picture that can draw itself scaled into a rectangle of a canvas: bitmaps and metafiles
// here, other picture formats through their own classes.
class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const { return Width() <= 0 || Height() <= 0; }
  virtual void Draw(TCanvas& canvas, const TRect& rect) const = 0;
  virtual std::unique_ptr<TGraphic> Clone() const = 0;
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v) { FTransparent = v; }

 private:
  bool FTransparent = false;
};

class TCanvas {
 public:
  TCanvas();
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TPen& Pen() { return FPen; }
  const TPen& Pen() const { return FPen; }
  TBrush& Brush() { return FBrush; }
  const TBrush& Brush() const { return FBrush; }
  TFont& Font() { return FFont; }
  const TFont& Font() const { return FFont; }

  // Exclusive use by one thread (recursive). The lower-case forms let std::lock_guard hold a
  // canvas: `TCanvasLock guard(canvas);`.
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }
  bool TryLock() { return FLock.try_lock(); }
  void lock() { Lock(); }
  void unlock() { Unlock(); }

  // LOGPIXELSX/LOGPIXELSY (pixels per inch, never 0), HORZRES/VERTRES, BITSPIXEL, TECHNOLOGY.
  virtual int GetDeviceCaps(int index) const = 0;

  // Lines and shapes.
  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(TPoint p) { FPenPos = p; }
  void MoveTo(int x, int y) { FPenPos = Point(x, y); }
  // Draws from the pen position to (x, y), the end point itself not drawn.
  void LineTo(int x, int y);
  // Fills the rectangle with the brush; no outline.
  void FillRect(const TRect& r);
  // Brush inside, pen outline; the outline of a one-pixel pen lies on the rectangle's inner
  // edge pixels, so right and bottom edges stay excluded.
  void Rectangle(const TRect& r);
  void Rectangle(int x1, int y1, int x2, int y2) { Rectangle(Rect(x1, y1, x2, y2)); }
  // A one-pixel outline in the brush colour.
  void FrameRect(const TRect& r);
  void Polygon(std::span<const TPoint> points);
  // Several closed contours filled together by the rule (so an inner contour can leave a
  // hole), each outlined with the pen.
  void PolyPolygon(std::span<const std::vector<TPoint>> contours, TPolyFillMode mode);
  void Polyline(std::span<const TPoint> points);
  void Ellipse(const TRect& r);
  void Ellipse(int x1, int y1, int x2, int y2) { Ellipse(Rect(x1, y1, x2, y2)); }
  void RoundRect(const TRect& r, int cornerW, int cornerH);
  void RoundRect(int x1, int y1, int x2, int y2, int w, int h) { RoundRect(Rect(x1, y1, x2, y2), w, h); }

  // Pictures.
  void Draw(int x, int y, const TGraphic& graphic);
  void StretchDraw(const TRect& r, const TGraphic& graphic);
  // Copies (and scales) the part src of a bitmap into dest.
  void CopyRect(const TRect& dest, const TBitmap& source, const TRect& src);
  // Smooth (filtered) scaling of bitmaps instead of nearest-pixel scaling.
  bool StretchSmooth() const { return FStretchSmooth; }
  void SetStretchSmooth(bool v) { FStretchSmooth = v; }
  // Barcode modules are drawn a whole number of pixels wide (a printer of dots: bars of uneven
  // widths after thresholding do not scan).
  bool WholePixelModules() const { return FWholePixelModules; }
  void SetWholePixelModules(bool v) { FWholePixelModules = v; }

  // Text. Background: OPAQUE fills the text cell with the background colour first.
  // A brush change sets the mode as the platform's canvas does: OPAQUE (in the brush colour) for
  // a solid brush, TRANSPARENT otherwise; SetBkMode overrides that until the brush changes.
  int GetBkMode();
  void SetBkMode(int mode);
  TColor BkColor();
  void SetBkColor(TColor c);
  // The sized font for the current font description (cached).
  const TSizedFont& SelectedFont();
  TTextMetric GetTextMetrics() { return SelectedFont().TextMetrics(); }
  TOutlineTextMetric GetOutlineTextMetrics() { return SelectedFont().OutlineTextMetrics(); }
  std::vector<uint8_t> GetFontData(std::string_view tag) { return SelectedFont().GetFontData(tag); }
  void GetTextExtentExPoint(std::u16string_view text, int* cumulative) {
    SelectedFont().GetTextExtentExPoint(text, cumulative);
  }
  std::vector<int> GetTextExtentExPoint(std::u16string_view text) {
    return SelectedFont().GetTextExtentExPoint(text);
  }
  TSize GetTextExtentPoint(std::u16string_view text);
  TSize TextExtent(std::u16string_view text) { return GetTextExtentPoint(text); }
  int TextWidth(std::u16string_view text) { return SelectedFont().TextWidth(text); }
  int TextHeight(std::u16string_view text) { return GetTextExtentPoint(text).cy; }
  // Text with its cell's top-left corner at (x, y) (rotated about that point by the font's
  // orientation). dx: the advance of every UTF-16 unit, or null for the font's own advances.
  // ETO_CLIPPED clips to rect, ETO_OPAQUE fills rect with the background colour,
  // ETO_RTLREADING lays right-to-left runs out from right to left.
  void ExtTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text, const int* dx);
  // Text at (x, y) with the font's advances; the pen position moves to its end.
  void TextOut(int x, int y, std::u16string_view text);
  void TextRect(const TRect& r, int x, int y, std::u16string_view text) {
    ExtTextOut(x, y, ETO_CLIPPED, &r, text, nullptr);
  }

  // Clipping.
  TClipRegion GetClipRgn() const { return FClip; }
  void SelectClipRgn(const TClipRegion& region);
  void IntersectClipRect(const TRect& r);
  void IntersectClipShape(const TClipShape& shape);
  // The clip bounds, or the whole surface when nothing is clipped.
  TRect ClipRect() const;

 protected:
  // Device operations. State (pen, brush, font, background, clip) is read from the canvas.
  virtual void DoLine(TPoint from, TPoint to) = 0;
  virtual void DoFillRect(const TRect& r) = 0;
  virtual void DoRectangle(const TRect& r) = 0;
  virtual void DoPolygon(std::span<const TPoint> points) = 0;
  virtual void DoPolyline(std::span<const TPoint> points) = 0;
  // Fills through DoPolygon (even-odd, pen cleared) after making winding areas disjoint, then
  // outlines each contour through DoPolyline. Devices may record or draw it themselves.
  virtual void DoPolyPolygon(std::span<const std::vector<TPoint>> contours, TPolyFillMode mode);
  virtual void DoEllipse(const TRect& r) = 0;
  virtual void DoRoundRect(const TRect& r, int cornerW, int cornerH) = 0;
  virtual void DoCopyRect(const TRect& dest, const TBitmap& source, const TRect& src) = 0;
  virtual void DoDrawGraphic(const TRect& dest, const TGraphic& graphic);
  // dx holds one advance per UTF-16 unit.
  virtual void DoTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                         const int* dx) = 0;
  virtual void DoClipChanged() = 0;
  // Surface size for ClipRect.
  virtual TSize SurfaceSize() const = 0;

  // Applies a brush change to the background mode (see SetBkMode).
  void RealizeBrush();

 private:
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
  TPoint FPenPos;
  TClipRegion FClip;
  int FBkMode = OPAQUE;
  TColor FBkColor = 0xFFFFFF;
  uint32_t FRealizedBrush = 0;
  bool FWholePixelModules = false;
  bool FStretchSmooth = false;
  std::recursive_mutex FLock;
  // Font selection cache.
  const TSizedFont* FSelected = nullptr;
  WideString FSelectedName;
  int FSelectedHeight = 0;
  int FSelectedWidth = 0;
  uint64_t FSelectedStyle = 0;
  std::vector<int> FAdvances;
};

using TCanvasLock = std::lock_guard<TCanvas>;

// A canvas that draws nothing, with the device capabilities of a 1x1 bitmap at 96 pixels per
// inch: for drawing code run only for what it computes on the way (an object sizing itself),
// where a real surface would rasterise every shape for nothing.
class TNullCanvas : public TCanvas {
 public:
  int GetDeviceCaps(int index) const override;

 protected:
  void DoLine(TPoint, TPoint) override {}
  void DoFillRect(const TRect&) override {}
  void DoRectangle(const TRect&) override {}
  void DoPolygon(std::span<const TPoint>) override {}
  void DoPolyline(std::span<const TPoint>) override {}
  void DoPolyPolygon(std::span<const std::vector<TPoint>>, TPolyFillMode) override {}
  void DoEllipse(const TRect&) override {}
  void DoRoundRect(const TRect&, int, int) override {}
  void DoCopyRect(const TRect&, const TBitmap&, const TRect&) override {}
  void DoDrawGraphic(const TRect&, const TGraphic&) override {}
  void DoTextOut(int, int, int, const TRect*, std::u16string_view, const int*) override {}
  void DoClipChanged() override {}
  TSize SurfaceSize() const override { return TSize{1, 1}; }
};

// Dash pattern (on and off lengths in pixels) of a one-pixel pen of a style; empty for solid.
std::vector<int> DashPattern(TPenStyle style, const std::vector<int>& userPattern);

// The order in which the characters of a text are shown: for each visual position the logical
// index. Right-to-left characters (Hebrew, Arabic and related blocks) form runs shown reversed;
// with rtlReading the runs themselves go from right to left.
std::vector<int> VisualOrder(std::u16string_view text, bool rtlReading);
// Whether a UTF-16 unit belongs to a right-to-left script.
bool IsRightToLeftChar(char16_t c);

}  // namespace pagewright
