#include "export/pdf/pdf_page_content.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "barcode_view/barcode2d_view.h"
#include "barcode_view/barcode_view.h"
#include "platform/fast_cast.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "render/draw_text.h"
#include "render/fonts.h"
#include "render/metafile.h"
#include "report/memo_view.h"
#include "report/picture_view.h"
#include "report/shape_views.h"
#include "report/view.h"

namespace pagewright {

namespace {

// Device units per report pixel for vector playback: fine enough that the integer canvas
// coordinates place every edge within 1/16 pixel.
constexpr int kVectorUnits = 16;
// Largest side of a view's bitmap, in pixels, so that a huge object cannot exhaust memory.
constexpr double kMaxImageSide = 8000;

// Report pixels to vector-canvas units. The canvas works in integers: coordinates far off any
// page (or not numbers at all) are held to its extent.
int ToCanvasUnits(double px) {
  const double units = px * kVectorUnits;
  if (std::isnan(units)) return 0;
  constexpr double kExtent = 1 << 24;
  return static_cast<int>(RoundHalfEven(std::clamp(units, -kExtent, kExtent)));
}

std::string Rgb(TColor color) {
  return PdfColor(ColorToRGB(color));
}

std::string DashOf(TpgwFrameStyle style, double widthPt) {
  switch (style) {
    case fsDash:
      return "[13.5 4.5] 0 d";
    case fsDot:
      return "[2.25 2.25] 0 d";
    case fsDashDot:
      return "[6.75 4.5 2.25 4.5] 0 d";
    case fsDashDotDot:
      return "[6.75 2.25 2.25 2.25 2.25 2.25] 0 d";
    case fsAltDot:
      return "[0 " + PdfFloatTrim(widthPt * 1.5, 3) + "] 0 d";
    case fsSquare:
      return "[" + PdfFloatTrim(widthPt, 3) + " " + PdfFloatTrim(widthPt, 3) + "] 0 d";
    default:
      return "[] 0 d";
  }
}

// A font's ascent in report pixels at its point size.
double AscentPx(const TFont& font) {
  TFontStyles style;
  if (font.Style().Contains(fsBold)) style.Include(fsBold);
  if (font.Style().Contains(fsItalic)) style.Include(fsItalic);
  const TSizedFont& face = FindFont(font.Name(), -1000, style);
  return face.TextMetrics().tmAscent / 1000.0 * font.Size() * 96 / 72;
}

std::vector<WideString> LinesOf(const TStringList& list) {
  std::vector<WideString> lines;
  lines.reserve(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
  return lines;
}

// Sets a frame's sides for a scope (the image path draws the view without its frame).
class TFrameSidesOff {
 public:
  explicit TFrameSidesOff(TpgwFrame& frame)
      : FFrame(frame), FSaved(frame.Typ()), FShadow(frame.DropShadow()) {
    frame.SetTyp({});
    frame.SetDropShadow(false);
  }
  ~TFrameSidesOff() {
    FFrame.SetTyp(FSaved);
    FFrame.SetDropShadow(FShadow);
  }

 private:
  TpgwFrame& FFrame;
  TpgwFrameTypes FSaved;
  bool FShadow;
};

}  // namespace

// ---- the vector canvas --------------------------------------------------------------------------------

TPDFVectorCanvas::TPDFVectorCanvas(TpgwPDFDocument& document, double originX, double originY,
                                   int unitsPerPixel)
    : FDoc(document), FOriginX(originX), FOriginY(originY), FUnits(std::max(1, unitsPerPixel)) {}

void TPDFVectorCanvas::Flush() {
  for (const TFillGroup& g : FFills) {
    FDoc.AppendContent("q");
    FDoc.AppendContent(g.color);
    FDoc.AppendContent(g.path);
    FDoc.AppendContent("f");
    FDoc.AppendContent("Q");
  }
  FFills.clear();
}

int TPDFVectorCanvas::GetDeviceCaps(int index) const {
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96 * FUnits;
    case TECHNOLOGY:
      return DT_METAFILE;
    case BITSPIXEL:
      return 24;
    case HORZRES:
    case VERTRES:
      return 1 << 24;
    default:
      return 0;
  }
}

std::string TPDFVectorCanvas::P(TPoint p) const {
  return PdfFloat(FDoc.PointX(PxX(p.X))) + " " + PdfFloat(FDoc.PointY(PxY(p.Y)));
}

bool TPDFVectorCanvas::PenVisible() const {
  return Pen().Style() != psClear && Pen().Mode() != pmNop && !IsNoColor(Pen().Color());
}

bool TPDFVectorCanvas::BrushVisible() const {
  return Brush().Style() != bsClear && !IsNoColor(Brush().Color());
}

bool TPDFVectorCanvas::BeginPaint(bool fill, bool stroke) {
  if (!fill && !stroke) return false;
  FDoc.AppendContent("q");
  // A hatched brush paints its lines only, as the screen does.
  const TBrushStyle style = Brush().Style();
  if (fill && style >= bsHorizontal && style <= bsDiagCross)
    FDoc.AppendContent(FDoc.FillWithHatch(style, ColorToRGB(Brush().Color())));
  else if (fill)
    FDoc.AppendContent(Rgb(Brush().Color()) + " rg");
  if (stroke) {
    const double widthPt = std::max(1, Pen().Width()) * 0.75 / FUnits;
    FDoc.AppendContent(Rgb(Pen().Color()) + " RG");
    FDoc.AppendContent(PdfFloat(widthPt, 3) + " w");
    switch (Pen().Style()) {
      case psDash:
        FDoc.AppendContent("[13.5 4.5] 0 d");
        break;
      case psDot:
        FDoc.AppendContent("[2.25 2.25] 0 d");
        break;
      case psDashDot:
        FDoc.AppendContent("[6.75 4.5 2.25 4.5] 0 d");
        break;
      case psDashDotDot:
        FDoc.AppendContent("[6.75 2.25 2.25 2.25 2.25 2.25] 0 d");
        break;
      default:
        FDoc.AppendContent("[] 0 d");
        break;
    }
  }
  return true;
}

void TPDFVectorCanvas::DoLine(TPoint from, TPoint to) {
  Flush();
  if (!BeginPaint(false, PenVisible())) return;
  FDoc.AppendContent(P(from) + " m");
  FDoc.AppendContent(P(to) + " l");
  FDoc.AppendContent("S");
  FDoc.AppendContent("Q");
}

void TPDFVectorCanvas::DoFillRect(const TRect& r) {
  if (r.IsEmpty() || !BrushVisible()) return;
  const TBrushStyle style = Brush().Style();
  std::string rect;
  rect.reserve(40);
  AppendPdfFloat(rect, FDoc.PointX(PxX(r.Left)));
  rect += ' ';
  AppendPdfFloat(rect, FDoc.PointY(PxY(r.Bottom)));
  rect += ' ';
  AppendPdfFloat(rect, r.Width() * 0.75 / FUnits);
  rect += ' ';
  AppendPdfFloat(rect, r.Height() * 0.75 / FUnits);
  rect += " re";
  if (style >= bsHorizontal && style <= bsDiagCross) {
    Flush();
    BeginPaint(true, false);
    FDoc.AppendContent(rect);
    FDoc.AppendContent("f");
    FDoc.AppendContent("Q");
    return;
  }
  // Opaque fills of one colour may join one path, painted where the colour first came, as long
  // as the rectangle overlaps nothing of another colour painted after that: the page looks the
  // same.
  const TColor color = ColorToRGB(Brush().Color());
  size_t group = FFills.size();
  for (size_t i = 0; i < FFills.size(); ++i)
    if (FFills[i].rgb == color) group = i;
  auto overlaps = [&r](const TRect& a) {
    return a.Left < r.Right && r.Left < a.Right && a.Top < r.Bottom && r.Top < a.Bottom;
  };
  for (size_t i = group + 1; i < FFills.size(); ++i) {
    if (!overlaps(FFills[i].bounds)) continue;
    if (std::any_of(FFills[i].rects.begin(), FFills[i].rects.end(), overlaps)) {
      Flush();
      group = 0;
      break;
    }
  }
  if (group == FFills.size()) {
    FFills.push_back(TFillGroup{color, PdfColor(color) + " rg", std::string(), {}, r});
  }
  TFillGroup& g = FFills[group];
  if (!g.path.empty()) g.path += "\r\n";  // the document's line ends
  g.path += rect;
  g.rects.push_back(r);
  g.bounds = Rect(std::min(g.bounds.Left, r.Left), std::min(g.bounds.Top, r.Top), std::max(g.bounds.Right, r.Right),
                  std::max(g.bounds.Bottom, r.Bottom));
}

void TPDFVectorCanvas::DoRectangle(const TRect& r) {
  Flush();
  const bool fill = BrushVisible(), stroke = PenVisible();
  if (r.IsEmpty() || !BeginPaint(fill, stroke)) return;
  FDoc.AppendContent(P(Point(r.Left, r.Bottom)) + " " + PdfFloat(r.Width() * 0.75 / FUnits) + " " +
                     PdfFloat(r.Height() * 0.75 / FUnits) + " re");
  FDoc.AppendContent(fill && stroke ? "B" : fill ? "f" : "S");
  FDoc.AppendContent("Q");
}

void TPDFVectorCanvas::DoPolygon(std::span<const TPoint> points) {
  Flush();
  const bool fill = BrushVisible(), stroke = PenVisible();
  if (points.size() < 2 || !BeginPaint(fill, stroke)) return;
  FDoc.AppendContent(P(points[0]) + " m");
  for (size_t i = 1; i < points.size(); ++i) FDoc.AppendContent(P(points[i]) + " l");
  FDoc.AppendContent("h");
  FDoc.AppendContent(fill && stroke ? "b*" : fill ? "f*" : "S");
  FDoc.AppendContent("Q");
}

void TPDFVectorCanvas::DoPolyline(std::span<const TPoint> points) {
  Flush();
  if (points.size() < 2 || !BeginPaint(false, PenVisible())) return;
  FDoc.AppendContent(P(points[0]) + " m");
  for (size_t i = 1; i < points.size(); ++i) FDoc.AppendContent(P(points[i]) + " l");
  FDoc.AppendContent("S");
  FDoc.AppendContent("Q");
}

void TPDFVectorCanvas::DoPolyPolygon(std::span<const std::vector<TPoint>> contours, TPolyFillMode mode) {
  Flush();
  const bool fill = BrushVisible(), stroke = PenVisible();
  if (contours.empty() || !BeginPaint(fill, stroke)) return;
  for (const auto& contour : contours) {
    if (contour.size() < 2) continue;
    FDoc.AppendContent(P(contour[0]) + " m");
    for (size_t i = 1; i < contour.size(); ++i) FDoc.AppendContent(P(contour[i]) + " l");
    FDoc.AppendContent("h");
  }
  const bool evenOdd = mode == pfmAlternate;
  FDoc.AppendContent(fill && stroke ? (evenOdd ? "b*" : "b") : fill ? (evenOdd ? "f*" : "f") : "S");
  FDoc.AppendContent("Q");
}

void TPDFVectorCanvas::DoEllipse(const TRect& r) {
  Flush();
  FDoc.Shape(skEllipse, PxX(r.Left), PxY(r.Top), r.Width() / double(FUnits), r.Height() / double(FUnits),
             BrushVisible() ? ColorToRGB(Brush().Color()) : clNone,
             PenVisible() ? ColorToRGB(Pen().Color()) : clNone, std::max(1, Pen().Width()) / double(FUnits));
}

void TPDFVectorCanvas::DoRoundRect(const TRect& r, int cornerW, int) {
  Flush();
  FDoc.Shape(skRoundRectangle, PxX(r.Left), PxY(r.Top), r.Width() / double(FUnits),
             r.Height() / double(FUnits), BrushVisible() ? ColorToRGB(Brush().Color()) : clNone,
             PenVisible() ? ColorToRGB(Pen().Color()) : clNone, std::max(1, Pen().Width()) / double(FUnits),
             std::max(1, cornerW) / double(FUnits));
}

void TPDFVectorCanvas::DoCopyRect(const TRect& dest, const TBitmap& source, const TRect& src) {
  Flush();
  if (dest.IsEmpty() || src.IsEmpty()) return;
  std::unique_ptr<TBitmap> part;
  const TBitmap* image = &source;
  if (src.Left != 0 || src.Top != 0 || src.Width() != source.Width() || src.Height() != source.Height()) {
    part = const_cast<TBitmap&>(source).Copy(src);
    image = part.get();
  }
  const int index = FDoc.AddBitmapImage(*image);
  FDoc.DrawImage(index, PxX(dest.Left), PxY(dest.Top), dest.Width() / double(FUnits),
                 dest.Height() / double(FUnits));
}

void TPDFVectorCanvas::DoTextOut(int x, int y, int options, const TRect* rect, std::u16string_view text,
                                 const int*) {
  Flush();
  if ((options & ETO_OPAQUE) && rect && !IsNoColor(BkColor())) {
    FDoc.Rectangle(PxX(rect->Left), PxY(rect->Top), rect->Width() / double(FUnits),
                   rect->Height() / double(FUnits), ColorToRGB(BkColor()), clNone);
  }
  if (text.empty() || IsNoColor(Font().Color())) return;
  const int ascent = SelectedFont().TextMetrics().tmAscent;
  TFont font;
  font.Assign(Font());
  font.SetPixelsPerInch(96);
  font.SetOrientation(0);
  const int height = static_cast<int>(RoundHalfEven(std::abs(Font().Height()) / double(FUnits)));
  font.SetHeight(Font().Height() < 0 ? -std::max(1, height) : std::max(1, height));
  font.SetColor(ColorToRGB(Font().Color()));
  // (x, y) is the top left of the text cell; the baseline is one ascent below it, across the
  // direction of a turned text (tenths of a degree, counterclockwise).
  const double angle = Font().Orientation() / 10.0;
  const double sinA = std::sin(angle * std::numbers::pi / 180), cosA = std::cos(angle * std::numbers::pi / 180);
  FDoc.TextOut(font, PxX(x + ascent * sinA), PxY(y + ascent * cosA), text, (options & ETO_RTLREADING) != 0, 0, 0,
               angle);
}

// ---- the content writer
// ------------------------------------------------------------------------------------

TPDFPageContent::TPDFPageContent(TpgwPDFDocument& document, const TpgwPDFExport& settings)
    : FDoc(document), FSettings(settings), FLayout(std::make_unique<TpgwDrawText>()) {}

TPDFPageContent::~TPDFPageContent() = default;

void TPDFPageContent::PageBackground(TColor color, double left, double top, double width, double height) {
  if (IsNoColor(color)) return;
  FDoc.Rectangle(left, top, width, height, ColorToRGB(color), clNone);
}

void TPDFPageContent::Fill(TpgwView& view, double left, double top, double width, double height) {
  if (view.FillType() == ftBrush) {
    const auto& brush = static_cast<const TpgwBrushFill&>(view.Fill());
    const bool plain = brush.Style() == bsSolid || brush.Style() == bsClear;
    if (plain) {
      if (!IsNoColor(brush.BackColor()) && brush.Style() == bsSolid)
        FDoc.Rectangle(left, top, width, height, ColorToRGB(brush.BackColor()), clNone);
      return;
    }
  }
  // Hatches, gradients and glass: the fill paints itself as vector paths, kept inside the object
  // (an elliptic gradient paints ellipses larger than its box).
  FDoc.AppendContent("q");
  FDoc.ClipToRectangle(left, top, width, height);
  {
    TPDFVectorCanvas canvas(FDoc, 0, 0, kVectorUnits);
    TCanvasLock lock(canvas);
    view.Fill().Draw(canvas, ToCanvasUnits(left), ToCanvasUnits(top), ToCanvasUnits(left + width),
                     ToCanvasUnits(top + height));
    canvas.Flush();
  }
  FDoc.AppendContent("Q");
}

void TPDFPageContent::Frame(const TpgwView& view, double left, double top, double width, double height) {
  const TpgwFrame& frame = view.Frame();
  const double shadow = frame.DropShadow() ? static_cast<double>(frame.ShadowWidth()) : 0;
  if (frame.Typ().Empty() && shadow == 0) return;
  width -= shadow;
  height -= shadow;
  if (shadow > 0 && !IsNoColor(frame.ShadowColor())) {
    const TColor c = ColorToRGB(frame.ShadowColor());
    FDoc.Rectangle(left + width, top + shadow, shadow, height, c, c, 0.01);
    FDoc.Rectangle(left + shadow, top + height, width, shadow, c, c, 0.01);
  }
  struct TSide {
    TpgwFrameType Type;
    const TpgwFrameLine& Line;
  };
  const TSide sides[] = {{ftBottom, frame.BottomLine()},
                         {ftLeft, frame.LeftLine()},
                         {ftTop, frame.TopLine()},
                         {ftRight, frame.RightLine()}};
  for (const TSide& side : sides) {
    if (!frame.Typ().Contains(side.Type) || IsNoColor(side.Line.Color())) continue;
    FDoc.Frame(left, top, width, height, TpgwFrameTypes{side.Type}, ColorToRGB(side.Line.Color()),
               static_cast<double>(side.Line.Width()), side.Line.Style(), frame.Typ());
  }
}

void TPDFPageContent::FrameOf(const TpgwView& view) {
  Frame(view, static_cast<double>(view.AbsLeft()), static_cast<double>(view.AbsTop()),
        static_cast<double>(view.Width()), static_cast<double>(view.Height()));
}

void TPDFPageContent::Link(TpgwView& view) {
  const TpgwHyperlink& link = view.Hyperlink();
  const WideString value = Trim(link.Value());
  if (value.empty()) return;
  const double left = static_cast<double>(view.AbsLeft()), top = static_cast<double>(view.AbsTop());
  const double width = static_cast<double>(view.Width()), height = static_cast<double>(view.Height());
  const bool pageNumber = link.Kind() == hkPageNumber || (link.Kind() == hkURL && value[0] == u'@');
  if (pageNumber) {
    // "@n" or a page-number link: the top of page n (1-based); anything else is no page.
    const WideString digits = value[0] == u'@' ? Trim(value.substr(1)) : value;
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
      return;
    const int page = std::stoi(Utf16ToUtf8(digits));
    if (page >= 1) FDoc.AddPageLink(left, top, width, height, page - 1);
    return;
  }
  // An anchor of the prepared report, by name ("#name" as an address): the top of its page.
  if (link.Kind() == hkAnchor || (link.Kind() == hkURL && value[0] == u'#')) {
    const int page = FSettings.AnchorPage(value[0] == u'#' ? value.substr(1) : value);
    if (page >= 0) FDoc.AddPageLink(left, top, width, height, page);
    return;
  }
  if (link.Kind() != hkURL) return;
  FDoc.AddWebLink(left, top, width, height, value);
}

void TPDFPageContent::ExportView(TpgwView& view) {
  if (view.Width() == 0 && view.Height() == 0) return;
  Link(view);
  if (auto* memo = FastCast<TpgwCustomMemoView>(&view)) {
    if (memo->GapX() < 0 || memo->GapY() < 0)
      Image(view, 3);  // text drawn outside its object keeps its look as a fine image
    else if (memo->ReducedAngle() != 0)
      TurnedText(*memo);
    else
      Text(*memo);
    return;
  }
  if (auto* line = FastCast<TpgwLineView>(&view)) return LineObject(*line);
  if (auto* shape = FastCast<TpgwShapeView>(&view)) return ShapeObject(*shape);
  if (auto* barcode = FastCast<TpgwBarCodeView>(&view)) return Barcode(*barcode);
  if (auto* symbol = FastCast<TpgwBarcode2DView>(&view)) return Symbol2D(*symbol);
  if (view.Width() <= 0 || view.Height() <= 0) return;
  double scale = FSettings.PrintOptimized() ? 3 : 1;
  if (auto* picture = FastCast<TpgwPictureView>(&view)) {
    const TGraphic* graphic = picture->GetGraphic();
    if (!graphic || graphic->Empty()) {
      // Without a picture the object still shows its colour (the page's own colour comes this way).
      const double left = static_cast<double>(view.AbsLeft()), top = static_cast<double>(view.AbsTop());
      const double width = static_cast<double>(view.Width()), height = static_cast<double>(view.Height());
      Fill(view, left, top, width, height);
      Frame(view, left, top, width, height);
      return;
    }
    if (FSettings.PictureDPI() > 0) {
      scale = FSettings.PictureDPI() * scale / 96;
    } else if (FSettings.SaveOriginalImages()) {
      // A picture finer than its area keeps its own resolution.
      const double area = static_cast<double>(view.Width() * view.Height()) * scale * scale;
      const double pixels = double(graphic->Width()) * graphic->Height();
      if (pixels > area && area > 0) scale *= std::sqrt(pixels / area);
    }
  }
  Image(view, scale);
}

void TPDFPageContent::Text(TpgwCustomMemoView& memo) {
  const double left = static_cast<double>(memo.AbsLeft()), top = static_cast<double>(memo.AbsTop());
  const double width = static_cast<double>(memo.Width()), height = static_cast<double>(memo.Height());
  Fill(memo, left, top, width, height);
  FDoc.AppendContent("q");
  // Text that may run out of its object (Clipped off) is not cut at the object's edges.
  if (memo.Clipped()) {
    FDoc.AppendContent(PdfFloat(FDoc.PointX(left)) + " " + PdfFloat(FDoc.PointY(top + height)) + " " +
                       PdfFloat(width * 0.75) + " " + PdfFloat(height * 0.75) + " re");
    FDoc.AppendContent("W");
    FDoc.AppendContent("n");
  }
  {
    TpgwDrawTextLock lock;
    TpgwDrawText& dt = *FLayout;
    const TFont& font = memo.Font().Native();
    dt.SetUseDefaultCharset(memo.UseDefaultCharset());
    dt.SetFont(font);
    dt.SetOptions(memo.WordWrap(), memo.AllowHTMLTags() && FSettings.HTMLTags(), memo.RTLReading(),
                  memo.WordBreak(), memo.Clipped(), memo.Wysiwyg(), 0);
    dt.SetGaps(memo.ParagraphGap(), memo.CharSpacing(), memo.LineSpacing());
    const TRect r = memo.ComputeTextRect(1, 1, 0, 0);
    dt.SetDimensions(1, 1, 1, r, r);
    dt.SetText(LinesOf(memo.Memo()), memo.FirstParaBreak());
    dt.SetParaBreaks(memo.FirstParaBreak(), memo.LastParaBreak());
    const std::vector<WideString>& lines = dt.Text();
    const std::vector<int>& marks = dt.ParagraphMarks();
    const double h = static_cast<double>(dt.LineHeight());
    const double S = font.Size();
    const double gapX = static_cast<double>(memo.GapX()), gapY = static_cast<double>(memo.GapY());
    const double lineSpacing = static_cast<double>(memo.LineSpacing());
    const double t = top + gapY - S * 0.1;
    const double g = height - 2 * gapY;
    const int n = static_cast<int>(lines.size());

    if (memo.Underlines() && !IsNoColor(memo.Frame().Color())) {
      // A rule under every text row, across the object.
      const TColor c = ColorToRGB(memo.Frame().Color());
      const double w = std::max(0.01, static_cast<double>(memo.Frame().Width()));
      // Only the rows on the page: an object reaching far beyond it would never end the loop.
      if (h >= 1) {
        const double first = top + gapY + h;
        const double last = std::min(top + height, FDoc.PageHeightPx() + h);
        // Rows above the page are skipped with an exact remainder (a product would lose the row
        // grid and never reach the page).
        for (double y = first < -h ? std::fmod(first, h) : first; y <= last; y += h)
          FDoc.Line(left, y, left + width, y, c, w);
      }
    }

    const bool tagged = memo.AllowHTMLTags() && FSettings.HTMLTags();
    for (int i = 0; i < n; ++i) {
      const WideString& line = lines[static_cast<size_t>(i)];
      if (line.empty()) continue;
      const int mark = i < static_cast<int>(marks.size()) ? marks[static_cast<size_t>(i)] : pmLastLine;
      const double indent = (mark & pmFirstLine) ? static_cast<double>(memo.ParagraphGap()) : 0;
      const double available = width - 2 * gapX - indent;
      const double edge = left + gapX + indent;
      // Runs of one look: the whole line, or the stretches that HTML tags give their own
      // style, colour and size.
      struct TRun {
        size_t From, To;
        TFont Font;
        double Width;  // report pixels
        double Rise;   // report pixels, down for subscripts
      };
      std::vector<TRun> runs;
      const TpgwHTMLTags* tags = nullptr;
      if (tagged && i < dt.HTMLTags().Count() && dt.HTMLTags()[i].size() == line.size())
        tags = &dt.HTMLTags()[i];
      for (size_t from = 0; from < line.size();) {
        size_t to = line.size();
        TRun run{from, to, font, 0, 0};
        if (tags) {
          to = from + 1;
          while (to < line.size() && (*tags)[to].Default) ++to;
          const TpgwHTMLTag& tag = (*tags)[from];
          run.To = to;
          run.Font.SetStyle(tag.Style);
          run.Font.SetColor(tag.Color);
          if (tag.Size > 0) run.Font.SetSize(tag.Size);
          // The layout draws every run from the top of the line, so a smaller run (a sub- or
          // superscript) has its baseline higher by the difference of the ascents; a subscript
          // then moves down by its size in pixels.
          run.Rise = static_cast<double>(tag.AddY) * tag.Size + AscentPx(run.Font) - AscentPx(font);
        }
        TpgwPDFFont& pdfFont = FDoc.Fonts().GetObjFontNumber(run.Font);
        const std::u16string_view part = std::u16string_view(line).substr(from, to - from);
        run.Width = run.Font.Size() * pdfFont.SoftRemapString(part, memo.RTLReading()).Width / 0.75 / 1000;
        runs.push_back(std::move(run));
        from = to;
      }
      if (tags && memo.RTLReading()) std::reverse(runs.begin(), runs.end());
      double lineWidth = 0;
      for (const TRun& run : runs) lineWidth += run.Width;
      // Spaces are widened only in lines of one look.
      const bool justify = memo.HAlign() == haBlock && !(mark & pmLastLine) && runs.size() == 1;
      double x = edge;
      if (memo.HAlign() == haCenter)
        x = edge + (available - lineWidth) / 2;
      else if (memo.HAlign() == haRight || (memo.HAlign() == haBlock && memo.RTLReading()))
        x = edge + available - lineWidth;
      double y;
      switch (memo.VAlign()) {
        case vaCenter:
          y = t + (g - n * h) / 2 + (i + 1) * h - lineSpacing;
          break;
        case vaBottom:
          y = t + g - lineSpacing - (n - i - 1) * h;
          break;
        default:
          y = t + (i + 1) * h - lineSpacing;
          break;
      }
      // The spacing widens the line beyond its glyphs: centred lines move back by half of it,
      // right-aligned ones by all of it.
      const double spacing = static_cast<double>(memo.CharSpacing());
      const double shift = memo.HAlign() == haCenter ? spacing / 2 : memo.HAlign() == haRight ? spacing : 0;
      x -= (static_cast<double>(line.size()) - 1) * shift;
      for (const TRun& run : runs) {
        const std::u16string_view part = std::u16string_view(line).substr(run.From, run.To - run.From);
        FDoc.TextOut(run.Font, x, y + run.Rise, part, memo.RTLReading(), justify ? available : 0, spacing);
        x += run.Width + spacing * static_cast<double>(part.size());
      }
    }
  }
  FDoc.AppendContent("Q");
  Frame(memo, left, top, width, height);
}

void TPDFPageContent::TurnedText(TpgwCustomMemoView& memo) {
  const double left = static_cast<double>(memo.AbsLeft()), top = static_cast<double>(memo.AbsTop());
  const double width = static_cast<double>(memo.Width()), height = static_cast<double>(memo.Height());
  if (!std::isfinite(left + top + width + height)) return;
  // The object draws itself (fill and turned text lines, as the layout places them) through
  // the vector canvas, whose text output writes real text with a turned text matrix; the
  // frame follows as vectors.
  FDoc.AppendContent("q");
  if (memo.Clipped()) {
    FDoc.AppendContent(PdfFloat(FDoc.PointX(left)) + " " + PdfFloat(FDoc.PointY(top + height)) + " " +
                       PdfFloat(width * 0.75) + " " + PdfFloat(height * 0.75) + " re");
    FDoc.AppendContent("W");
    FDoc.AppendContent("n");
  }
  {
    TPDFVectorCanvas canvas(FDoc, 0, 0, kVectorUnits);
    TCanvasLock lock(canvas);
    TFrameSidesOff noFrame(memo.Frame());
    memo.Draw(canvas, kVectorUnits, kVectorUnits, 0, 0);
    canvas.Flush();
  }
  FDoc.AppendContent("Q");
  Frame(memo, left, top, width, height);
}

void TPDFPageContent::LineObject(TpgwLineView& line) {
  const TpgwFrame& frame = line.Frame();
  if (IsNoColor(frame.Color())) return;
  const double x1 = static_cast<double>(line.AbsLeft()), y1 = static_cast<double>(line.AbsTop());
  double x2 = x1 + static_cast<double>(line.Width()), y2 = y1 + static_cast<double>(line.Height());
  if (!line.Diagonal()) {
    // A line that is not diagonal runs along its longer side.
    if (std::fabs(x2 - x1) >= std::fabs(y2 - y1))
      y2 = y1;
    else
      x2 = x1;
  }
  const double w = std::max(0.01, static_cast<double>(frame.Width())) * 0.75;
  FDoc.AppendContent("q");
  FDoc.AppendContent(Rgb(frame.Color()) + " RG");
  FDoc.AppendContent(PdfFloat(w) + " w");
  FDoc.AppendContent(DashOf(frame.Style(), w));
  FDoc.AppendContent(frame.Style() == fsAltDot ? "1 J" : frame.Style() == fsSquare ? "0 J" : "2 J");
  FDoc.AppendContent(PdfFloat(FDoc.PointX(x1)) + " " + PdfFloat(FDoc.PointY(y1)) + " m");
  FDoc.AppendContent(PdfFloat(FDoc.PointX(x2)) + " " + PdfFloat(FDoc.PointY(y2)) + " l");
  FDoc.AppendContent("S");
  FDoc.AppendContent("Q");
  if (line.ArrowStart() || line.ArrowEnd()) {
    // Arrow heads as closed triangles along the line.
    const double len = std::hypot(x2 - x1, y2 - y1);
    if (len <= 0) return;
    const double ux = (x2 - x1) / len, uy = (y2 - y1) / len;
    auto arrow = [&](double tipX, double tipY, double dir) {
      const double bx = tipX - dir * ux * line.ArrowLength(), by = tipY - dir * uy * line.ArrowLength();
      const double px = -uy * line.ArrowWidth(), py = ux * line.ArrowWidth();
      FDoc.AppendContent("q");
      FDoc.AppendContent(Rgb(frame.Color()) + " RG");
      FDoc.AppendContent(Rgb(frame.Color()) + " rg");
      FDoc.AppendContent(PdfFloat(w) + " w");
      FDoc.AppendContent("[] 0 d");
      FDoc.AppendContent(PdfFloat(FDoc.PointX(bx + px)) + " " + PdfFloat(FDoc.PointY(by + py)) + " m");
      FDoc.AppendContent(PdfFloat(FDoc.PointX(tipX)) + " " + PdfFloat(FDoc.PointY(tipY)) + " l");
      FDoc.AppendContent(PdfFloat(FDoc.PointX(bx - px)) + " " + PdfFloat(FDoc.PointY(by - py)) + " l");
      FDoc.AppendContent(line.ArrowSolid() ? "h B" : "S");
      FDoc.AppendContent("Q");
    };
    if (line.ArrowEnd()) arrow(x2, y2, 1);
    if (line.ArrowStart()) arrow(x1, y1, -1);
  }
}

void TPDFPageContent::ShapeObject(TpgwShapeView& shape) {
  const double left = static_cast<double>(shape.AbsLeft()), top = static_cast<double>(shape.AbsTop());
  const double width = static_cast<double>(shape.Width()), height = static_cast<double>(shape.Height());
  const TColor frame = IsNoColor(shape.Frame().Color()) ? clNone : ColorToRGB(shape.Frame().Color());
  const double corner = shape.Curve() == 0 ? 0 : shape.Curve() * 10.0;
  const auto* brush = shape.FillType() == ftBrush ? FastCast<const TpgwBrushFill>(&shape.Fill()) : nullptr;
  const bool plain = brush && (brush->Style() == bsSolid || brush->Style() == bsClear);
  TColor fill = clNone;
  if (plain) {
    if (!IsNoColor(shape.Color())) fill = ColorToRGB(shape.Color());
  } else if (shape.Shape() != skDiagonal1 && shape.Shape() != skDiagonal2) {
    // A hatch, gradient or glass fill paints inside the shape's outline, which is drawn after.
    FDoc.AppendContent("q");
    FDoc.ClipToShape(shape.Shape(), left, top, width, height, corner);
    Fill(shape, left, top, width, height);
    FDoc.AppendContent("Q");
  }
  FDoc.Shape(shape.Shape(), left, top, width, height, fill, frame, static_cast<double>(shape.Frame().Width()),
             corner);
}

void TPDFPageContent::Barcode(TpgwBarCodeView& barcode) {
  if (barcode.Rotation() % 360 != 0) {
    // The vector canvas writes text upright only: a turned barcode keeps its look as an image
    // at twice the report resolution.
    Image(barcode, FSettings.PrintOptimized() ? 3 : 2);
    return;
  }
  std::unique_ptr<TMetafile> graphic = barcode.GetVectorGraphic(false);
  const TpgwRect bounds = barcode.GetExportBounds();
  const double left = static_cast<double>(bounds.Left), top = static_cast<double>(bounds.Top);
  const double width = static_cast<double>(bounds.Right - bounds.Left);
  const double height = static_cast<double>(bounds.Bottom - bounds.Top);
  Fill(barcode, static_cast<double>(barcode.AbsLeft()), static_cast<double>(barcode.AbsTop()),
       static_cast<double>(barcode.Width()), static_cast<double>(barcode.Height()));
  if (graphic && graphic->Width() > 0 && graphic->Height() > 0 && width > 0 && height > 0) {
    TPDFVectorCanvas canvas(FDoc, left, top, kVectorUnits);
    TCanvasLock lock(canvas);
    graphic->Play(canvas, kVectorUnits * width / graphic->Width(), kVectorUnits * height / graphic->Height(),
                  0, 0);
    canvas.Flush();
  }
  Frame(barcode, static_cast<double>(barcode.AbsLeft()), static_cast<double>(barcode.AbsTop()),
        static_cast<double>(barcode.Width()), static_cast<double>(barcode.Height()));
}

void TPDFPageContent::Symbol2D(TpgwBarcode2DView& symbol) {
  if (!symbol.ErrorText().empty()) {
    Image(symbol, 2);  // the error text, as the page shows it
    return;
  }
  const double left = static_cast<double>(symbol.AbsLeft()), top = static_cast<double>(symbol.AbsTop());
  const double width = static_cast<double>(symbol.Width()), height = static_cast<double>(symbol.Height());
  Fill(symbol, left, top, width, height);
  // Every run of dark modules as a filled rectangle: exact at any zoom and resolution.
  const TColor color = ColorToRGB(symbol.ColorBar());
  symbol.ForEachDarkRun([&](Extended l, Extended t, Extended w, Extended h) {
    FDoc.Rectangle(left + static_cast<double>(l), top + static_cast<double>(t), static_cast<double>(w),
                   static_cast<double>(h), color, clNone);
  });
  Frame(symbol, left, top, width, height);
}

void TPDFPageContent::Image(TpgwView& view, double scale) {
  const TpgwRect bounds = view.GetRealBounds();
  const double left = static_cast<double>(bounds.Left), top = static_cast<double>(bounds.Top);
  const double width = static_cast<double>(bounds.Right - bounds.Left);
  const double height = static_cast<double>(bounds.Bottom - bounds.Top);
  // Also false for NaN; an infinite side would give a bitmap of no pixels.
  if (!(width > 0 && height > 0) || !std::isfinite(width) || !std::isfinite(height) ||
      !std::isfinite(left) || !std::isfinite(top))
    return;
  scale = std::min(scale, kMaxImageSide / std::max(width, height));
  const int w = std::max(1, static_cast<int>(RoundHalfEven(width * scale)));
  const int h = std::max(1, static_cast<int>(RoundHalfEven(height * scale)));
  TBitmap bitmap;
  {
    TCanvas& canvas = bitmap.Canvas();
    TCanvasLock lock(canvas);
    if (FastCast<TpgwPictureView>(&view)) {
      // A picture's transparent parts stay transparent: the image gets a soft mask and what lies
      // under it on the page shows through.
      canvas.Brush().SetStyle(bsClear);
      bitmap.SetPixelFormat(pf32bit);
    } else {
      canvas.Brush().SetStyle(bsSolid);
      canvas.Brush().SetColor(clWhite);
    }
    bitmap.SetSize(w, h);
    TFrameSidesOff noFrame(view.Frame());
    view.DrawClipped(canvas, scale, scale, -left * scale, -top * scale);
  }
  const int index = FDoc.AddBitmapImage(bitmap);
  FDoc.DrawImage(index, left, top, width, height);
  Frame(view, static_cast<double>(view.AbsLeft()), static_cast<double>(view.AbsTop()),
        static_cast<double>(view.Width()), static_cast<double>(view.Height()));
}

}  // namespace pagewright
