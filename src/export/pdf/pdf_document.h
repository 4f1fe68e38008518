// The PDF document writer: the header, one page object and content stream per page, image
// XObjects, the fonts, page tree, information dictionary, optional encryption dictionary,
// catalog, cross-reference table and trailer. Settings come from the PDF export filter; the
// page content is drawn through the operations below in report pixels (96 per inch, y down).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/pdf/pdf_fonts.h"
#include "export/pdf/pdf_objects.h"
#include "export/pdf/pdf_security.h"
#include "export/pdf_export.h"
#include "platform/format.h"
#include "render/bitmap.h"
#include "report/shape_views.h"
#include "report/view.h"

namespace pagewright {

// Where the document's date and identifier come from; tests pin them for identical bytes.
struct TPDFEnvironment {
  std::function<TDateTime()> Clock;            // local date and time
  std::function<int()> TimeZoneOffsetMinutes;  // minutes east of UTC
  std::function<std::string()> NewGuid;        // registry form: braces, 38 characters
  // Keys, salts and initialisation vectors of 256-bit AES encryption.
  std::function<void(std::span<uint8_t>)> RandomBytes;
};
// The system clock, the local time zone, random identifiers and the system's random bytes.
TPDFEnvironment DefaultPDFEnvironment();

// "D:yyyymmddhhnnss" and the zone as sign, hours, "'", minutes, "'".
std::string PDFDateString(TDateTime date, int offsetMinutes);

class TpgwPDFDocument {
 public:
  // settings must outlive the document; out receives the file.
  TpgwPDFDocument(const TpgwPDFExport& settings, TStream& out,
                  TPDFEnvironment environment = DefaultPDFEnvironment());
  ~TpgwPDFDocument();

  // Header, identifier, keys.
  void Start();
  // A page of widthPx by heightPx report pixels; the margins (millimetres) shift the origin.
  // sourceIndex names the page for links to it (the prepared page's index); -1 when none.
  void StartPage(double widthPx, double heightPx, double marginLeftMm = 0, double marginTopMm = 0,
                 int sourceIndex = -1);
  void FinishPage();
  // Fonts, page tree, information, encryption, catalog, cross-reference table, trailer.
  void Finish();

  // One line of text with its baseline at (leftPx, baselinePx), in the font's colour. With
  // justifyWidthPx > 0 the spaces are widened so that the line fills that width.
  // A non-zero charSpacingPx adds that space after every character (" Tc"). A non-zero angle
  // (degrees, counterclockwise) turns the text, and its underline, about the baseline origin.
  void TextOut(const TFont& font, double leftPx, double baselinePx, std::u16string_view text,
               bool rtl = false, double justifyWidthPx = 0, double charSpacingPx = 0,
               double angleDegrees = 0);
  // A stroked line; widthPx in report pixels.
  void Line(double x1, double y1, double x2, double y2, TColor color, double widthPx);
  // A rectangle filled with fill and framed with frame (either may be clNone).
  void Rectangle(double left, double top, double width, double height, TColor fill, TColor frame,
                 double frameWidthPx = 1);
  // The selected sides of a frame, in the order bottom, left, top, right, with the style's dash
  // pattern and caps; sides narrower than 0.01 pixels are left out. `adjoining` names further
  // sides of the same frame drawn by other calls (a double line meets them at the corners).
  void Frame(double left, double top, double width, double height, TpgwFrameTypes sides, TColor color,
             double widthPx, TpgwFrameStyle style = fsSolid, TpgwFrameTypes adjoining = {});
  // A shape's path filled with fill and stroked with frame (either may be clNone); a round
  // rectangle's corner diameter of 0 means a quarter of the shorter side.
  void Shape(TpgwShapeKind kind, double left, double top, double width, double height, TColor fill,
             TColor frame, double frameWidthPx = 1, double cornerDiameterPx = 0);
  // Clips what follows to a shape's area (within the caller's q ... Q); the diagonals, which have
  // no area, clip to their box.
  void ClipToShape(TpgwShapeKind kind, double left, double top, double width, double height,
                   double cornerDiameterPx = 0);
  // Clips what follows to a rectangle (within the caller's q ... Q).
  void ClipToRectangle(double left, double top, double width, double height);
  // A link to a web address over a rectangle of the current page; the annotation is written at
  // Finish. An address that is empty after trimming gives no link.
  void AddWebLink(double left, double top, double width, double height, const WideString& url);
  // A link to the top of the page started with that sourceIndex, resolved when the document
  // is finished; a page that was not written gives a link that goes nowhere.
  void AddPageLink(double left, double top, double width, double height, int targetSourceIndex);
  // Image XObjects, written at once; the same data added twice gives the same image. Returns the
  // image's index ("/Im" + index).
  // `softMask`, when not negative, is the index of a grey image (AddAlphaMask) that gives each
  // pixel its opacity.
  int AddJPEGImage(std::span<const uint8_t> jpeg, int softMask = -1);
  int AddRGBImage(int width, int height, std::span<const uint8_t> rgb, int softMask = -1);
  // An 8-bit opacity image (0 transparent, 255 opaque) to be the soft mask of a colour image.
  int AddAlphaMask(int width, int height, std::span<const uint8_t> alpha);
  // A bitmap as a JPEG image at the filter's quality (or quality when not 0), or losslessly
  // deflated.
  int AddBitmapImage(const TBitmap& bitmap, bool asJpeg = true, int quality = 0);
  // The resource name of the tiling pattern of a hatch style (bsHorizontal ... bsDiagCross) on
  // the current page: hatch lines in the colour set with it, 8 report pixels apart, over
  // nothing (the background shows through). Fill with it by FillWithHatch. Each style's pattern
  // is written once, at its first use.
  std::string HatchPattern(TBrushStyle style);
  // The fill operators of a hatch in a colour: the pattern colour space and the pattern.
  std::string FillWithHatch(TBrushStyle style, TColor color);
  // Draws an image over a rectangle of the current page.
  void DrawImage(int image, double left, double top, double width, double height);

  // The outline written at Finish when the settings ask for it. Items whose page was not
  // written are left out, their children taking their place.
  void SetOutline(std::vector<TPDFOutlineItem> items) { FOutline = std::move(items); }

  // Appends one line of content operators to the current page, as written.
  void AppendContent(const std::string& line) {
    RequirePage();
    Emit(line);
  }
  // Report pixels of the current page to points (x to the right, y up).
  double PointX(double px) const { return X(px); }
  double PointY(double px) const { return Y(px); }
  // Height of the current page in report pixels.
  double PageHeightPx() const { return FPageHeight / 0.75; }

  const std::string& FileID() const { return FFileID; }
  bool Protected() const { return FSecurity != nullptr; }
  // The content collected so far on the current page (uncompressed).
  const std::string& PageContent() const { return FContent; }
  TPDFGlobalFonts& Fonts() { return FFonts; }

 private:
  std::string SoftMaskEntry(int softMask) const;
  // An image of 8-bit samples (components 1: grey, 3: RGB), deflated when the settings say so.
  int AddSampledImage(const char* kind, const char* colorSpace, int components, int width, int height,
                      std::span<const uint8_t> samples, int softMask);
  // The path of a shape in page coordinates; closed is false for the diagonals.
  std::vector<std::string> ShapePath(TpgwShapeKind kind, double left, double top, double width, double height,
                                     double cornerDiameterPx, bool& closed) const;

  struct TImage {
    int Object = 0;
  };
  struct TLink {
    int Object = 0;
    std::string Rect;  // left bottom right top, points
    std::string Address;
    int TargetPage = -1;  // source index of the target page, for links inside the document
  };
  struct TPage {
    int Object = 0;
    double Width = 0, Height = 0;  // points
    std::vector<int> Fonts;        // indexes into the global list
    std::vector<int> Images;       // image indexes
    std::vector<int> Annots;       // annotation object numbers
    std::vector<TBrushStyle> Hatches;
    int SourceIndex = -1;
  };
  double X(double px) const { return px * 0.75 + FMarginLeft * 0.05; }
  double Y(double px) const { return FPageHeight - FMarginTop * 0.05 - px * 0.75; }
  void Emit(const std::string& text) {
    FContent += text;
    FContent += "\r\n";
  }
  int AddImage(const std::string& dictionary, std::string_view data, const TMD5Digest& hash);
  // Writes the outline root and its items; 0 when no item points at a written page.
  int WriteOutline();
  // The settings' version, at least 1.7 when the file is encrypted with 256-bit AES.
  TPDFVersion WrittenVersion() const;
  void RequireStarted() const;
  void RequirePage() const;

  const TpgwPDFExport& FSettings;
  TPDFEnvironment FEnv;
  TPDFObjectsHelper FPdf;
  std::unique_ptr<TPDFSecurity> FSecurity;
  TPDFGlobalFonts FFonts;
  std::vector<TPage> FPages;
  std::vector<TImage> FImages;
  std::vector<TLink> FLinks;
  std::vector<TPDFOutlineItem> FOutline;
  std::map<TMD5Digest, int> FImageByHash;
  std::map<TBrushStyle, int> FHatchObjects;
  std::string FContent;
  std::string FFileID;
  std::string FDate;
  double FPageHeight = 0;
  double FMarginLeft = 0, FMarginTop = 0;
  bool FStarted = false;
  bool FInPage = false;
  bool FFinished = false;
};

}  // namespace pagewright
