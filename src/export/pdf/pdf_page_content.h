// The content of PDF pages: each exported view written into the current page of a PDF
// document. Text objects become text in the document's fonts, laid out in the lines the text
// object draws; lines, shapes, frames and fills become vector paths; barcodes replay their
// vector drawing as paths with real text; everything else is drawn by the view into a bitmap
// that is embedded as a JPEG image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "export/pdf/pdf_document.h"
#include "render/canvas.h"

namespace pagewright {

class TpgwCustomMemoView;
class TpgwBarCodeView;
class TpgwBarcode2DView;
class TpgwLineView;
class TpgwShapeView;
class TpgwDrawText;
class TpgwView;

// A canvas whose drawing goes into the current page of a PDF document as vector paths and text.
// Device units are 1/unitsPerPixel report pixels, with device (0, 0) at the report position
// (originX, originY); finer units keep the integer coordinates of the canvas from rounding the
// geometry. Clipping is not carried over.
class TPDFVectorCanvas : public TCanvas {
 public:
  TPDFVectorCanvas(TpgwPDFDocument& document, double originX, double originY, int unitsPerPixel);
  int GetDeviceCaps(int index) const override;
  // Writes the solid rectangle fills still collected (see DoFillRect). Every other drawing
  // operation does this first; call it when the drawing is done.
  void Flush();

 protected:
  void DoLine(TPoint from, TPoint to) override;
  void DoFillRect(const TRect& r) override;
  void DoRectangle(const TRect& r) override;
  void DoPolygon(std::span<const TPoint> points) override;
  void DoPolyline(std::span<const TPoint> points) override;
  void DoPolyPolygon(std::span<const std::vector<TPoint>> contours, TPolyFillMode mode) override;
  void DoEllipse(const TRect& r) override;
  void DoRoundRect(const TRect& r, int cornerW, int cornerH) override;
  void DoCopyRect(const TRect& dest, const TBitmap& source, const TRect& src) override;
  void DoTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                 const int* dx) override;
  void DoClipChanged() override {}
  TSize SurfaceSize() const override { return {1 << 24, 1 << 24}; }

 private:
  double PxX(double u) const { return FOriginX + u / FUnits; }
  double PxY(double u) const { return FOriginY + u / FUnits; }
  std::string P(TPoint p) const;
  // "q", the fill colour and/or the stroke colour, width and dash; false when nothing shows.
  bool BeginPaint(bool fill, bool stroke);
  bool PenVisible() const;
  bool BrushVisible() const;

  TpgwPDFDocument& FDoc;
  double FOriginX, FOriginY;
  int FUnits;
  // Solid fills not yet written, one group per colour in the order the colours came: a barcode's
  // hundreds of bars and spaces become two paths instead of a state change and a path each.
  struct TFillGroup {
    TColor rgb;
    std::string color;  // the "rg" operator
    std::string path;   // "x y w h re" lines
    std::vector<TRect> rects;
    TRect bounds;
  };
  std::vector<TFillGroup> FFills;
};

// Writes views into the current page of a document.
class TPDFPageContent {
 public:
  TPDFPageContent(TpgwPDFDocument& document, const TpgwPDFExport& settings);
  ~TPDFPageContent();

  // Dispatches on the view's class: text, line, shape, barcode, or image.
  void ExportView(TpgwView& view);
  // The frame of a view alone (the page's frame, which shows with or without Background).
  void FrameOf(const TpgwView& view);
  // The page colour over the printable area (with Background).
  void PageBackground(TColor color, double left, double top, double width, double height);

 private:
  void Fill(TpgwView& view, double left, double top, double width, double height);
  void Frame(const TpgwView& view, double left, double top, double width, double height);
  void Link(TpgwView& view);
  void Text(TpgwCustomMemoView& memo);
  // A text object at an angle: real text along turned baselines.
  void TurnedText(TpgwCustomMemoView& memo);
  void LineObject(TpgwLineView& line);
  void ShapeObject(TpgwShapeView& shape);
  void Barcode(TpgwBarCodeView& barcode);
  void Symbol2D(TpgwBarcode2DView& symbol);
  // The view drawn into a bitmap at scale and embedded as a JPEG image over its bounds.
  void Image(TpgwView& view, double scale);

  TpgwPDFDocument& FDoc;
  const TpgwPDFExport& FSettings;
  std::unique_ptr<TpgwDrawText> FLayout;
};

}  // namespace pagewright
