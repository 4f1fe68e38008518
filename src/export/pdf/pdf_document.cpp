#include "export/pdf/pdf_document.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdio>
#include <ctime>
#include <random>

#include "platform/streams.h"
#include "render/picture_codecs.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"

namespace pagewright {

namespace {

std::string Ref(int n) {
  return std::to_string(n) + " 0 R";
}

std::string RandomGuid() {
  std::random_device device;
  uint8_t b[16];
  for (auto& v : b) v = static_cast<uint8_t>(device());
  char text[40];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

int LocalOffsetMinutes() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

struct TJpegInfo {
  int Width = 0, Height = 0, Components = 0;
};

// Size and colour components from the frame header of a JPEG stream.
TJpegInfo ReadJpegInfo(std::span<const uint8_t> jpeg) {
  TByteReader r(jpeg, false);
  if (r.U8() != 0xFF || r.U8() != 0xD8) throw EPDFError("Not a JPEG image");
  while (!r.Failed() && !r.AtEnd()) {
    if (r.U8() != 0xFF) continue;
    uint8_t marker = r.U8();
    while (marker == 0xFF && !r.Failed()) marker = r.U8();
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9 || marker == 0xDA) break;
    const unsigned length = r.U16BE();
    if (length < 2) break;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      TJpegInfo info;
      r.U8();  // precision
      info.Height = r.U16BE();
      info.Width = r.U16BE();
      info.Components = r.U8();
      if (r.Failed() || info.Width <= 0 || info.Height <= 0) break;
      if (info.Components != 1 && info.Components != 3 && info.Components != 4) break;
      return info;
    }
    r.Skip(length - 2);
  }
  throw EPDFError("Not a JPEG image");
}

}  // namespace

TPDFEnvironment DefaultPDFEnvironment() {
  return {[] { return Now(); }, LocalOffsetMinutes, RandomGuid, SystemRandomBytes};
}

std::string PDFDateString(TDateTime date, int offsetMinutes) {
  // A date string has four digits of year and a zone within a day: a clock giving anything
  // else is held to 0001-01-01 ... 9999-12-31 and +-23:59.
  constexpr double kFirstDay = -693593, kLastDay = 2958465.99998;
  double days = static_cast<double>(date);
  if (std::isnan(days)) days = 0;
  days = std::clamp(days, kFirstDay, kLastDay);
  offsetMinutes = std::clamp(offsetMinutes, -(23 * 60 + 59), 23 * 60 + 59);
  int year, month, day, hour, minute, second, msec;
  DecodeDate(days, year, month, day);
  DecodeTime(days, hour, minute, second, msec);
  const int zone = std::abs(offsetMinutes);
  char text[40];
  const int n = std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d%c%02d'%02d'", year, month, day,
                              hour, minute, second, offsetMinutes >= 0 ? '+' : '-', zone / 60, zone % 60);
  if (n != 23) throw EPDFError("The document date could not be written");
  return std::string(text, static_cast<size_t>(n));
}

TpgwPDFDocument::TpgwPDFDocument(const TpgwPDFExport& settings, TStream& out, TPDFEnvironment environment)
    : FSettings(settings), FEnv(std::move(environment)), FPdf(out) {
  const TPDFEnvironment defaults = DefaultPDFEnvironment();
  if (!FEnv.Clock) FEnv.Clock = defaults.Clock;
  if (!FEnv.TimeZoneOffsetMinutes) FEnv.TimeZoneOffsetMinutes = defaults.TimeZoneOffsetMinutes;
  if (!FEnv.NewGuid) FEnv.NewGuid = defaults.NewGuid;
  if (!FEnv.RandomBytes) FEnv.RandomBytes = defaults.RandomBytes;
}

TpgwPDFDocument::~TpgwPDFDocument() = default;

TPDFVersion TpgwPDFDocument::WrittenVersion() const {
  return FSecurity && FSecurity->Method() == peAES_256 ? pv17 : FSettings.PDFVersion();
}

void TpgwPDFDocument::RequireStarted() const {
  if (!FStarted) throw EPDFError("The PDF document is not started");
}

void TpgwPDFDocument::RequirePage() const {
  if (!FInPage) throw EPDFError("No PDF page is open");
}

void TpgwPDFDocument::Start() {
  // Object numbers and offsets belong to one output: a document writes one file.
  if (FStarted || FFinished) throw EPDFError("The PDF document is already started");
  FPdf.Compressed = FSettings.Compressed();
  FDate = PDFDateString(FEnv.Clock(), FEnv.TimeZoneOffsetMinutes());
  const std::string guid = FEnv.NewGuid();
  const TMD5Digest id = MD5Of(guid);
  FFileID = HexLower(id);
  const bool protect =
      (!FSettings.UserPassword().empty() || !FSettings.OwnerPassword().empty()) && !FSettings.PdfA();
  if (protect) {
    FSecurity = std::make_unique<TPDFSecurity>(FSettings.UserPassword(), FSettings.OwnerPassword(),
                                               FSettings.ProtectionFlags(), id, FSettings.EncryptionMethod(),
                                               FEnv.RandomBytes);
    FPdf.Security = FSecurity.get();
  }
  FPdf.WriteLine(std::string("%PDF-") + PDFVersionText(WrittenVersion()));
  FPdf.WriteLine("%\xE2\xE3\xCF\xD3");
  FPdf.UpdateXRef();  // 1: the page tree
  FStarted = true;
}

void TpgwPDFDocument::StartPage(double widthPx, double heightPx, double marginLeftMm, double marginTopMm,
                                int sourceIndex) {
  RequireStarted();
  if (FInPage) throw EPDFError("A PDF page is already open");
  TPage page;
  page.Object = FPdf.UpdateXRef();
  page.Width = widthPx * 0.75;
  page.Height = heightPx * 0.75;
  page.SourceIndex = sourceIndex;
  FPages.push_back(page);
  FPageHeight = page.Height;
  FMarginLeft = marginLeftMm;
  FMarginTop = marginTopMm;
  FContent.clear();
  FInPage = true;
}

void TpgwPDFDocument::TextOut(const TFont& font, double leftPx, double baselinePx, std::u16string_view text,
                              bool rtl, double justifyWidthPx, double charSpacingPx, double angleDegrees) {
  RequirePage();
  if (text.empty()) return;
  TpgwPDFFont& pdfFont = FFonts.GetObjFontNumber(font);
  int index = 0;
  while (&FFonts[index] != &pdfFont) ++index;
  if (pdfFont.Reference == 0) pdfFont.Reference = FPdf.UpdateXRef();
  auto& fonts = FPages.back().Fonts;
  if (std::find(fonts.begin(), fonts.end(), index) == fonts.end()) fonts.push_back(index);

  const TRemapedString mapped = pdfFont.SoftRemapString(text, rtl);
  if (mapped.Data.empty()) return;
  const int size = font.Size();
  const double correction = MonospacedFontCorrection(font.Name(), size);
  constexpr long double kPointRatio = 35873.0L / 36000.0L;
  const double pdfSize = correction != 1 ? RoundHalfEven(size * kPointRatio * correction * 1000) / 1000.0
                                         : Trunc(size * kPointRatio * 10) / 10.0;
  // Simulation follows the name asked for: a record can serve several names of one face.
  const bool simBold = font.Style().Contains(fsBold) && FontSimulatesBold(font.Name());
  const bool simItalic = font.Style().Contains(fsItalic) && FontSimulatesItalic(font.Name());
  const double x = X(leftPx), y = Y(baselinePx);
  const TColor color = font.Color() == clNone ? clBlack : font.Color();

  Emit("BT");
  Emit(pdfFont.Name() + " " + PdfFloat(pdfSize, 3) + " Tf");
  Emit("[] 0 d");
  Emit(PdfColor(color) + " rg");
  if (charSpacingPx != 0) Emit(PdfFloat(charSpacingPx * 0.75) + " Tc");
  // Turned text: the text matrix rotates it counterclockwise about its baseline origin (after
  // the slant of a simulated italic).
  if (!std::isfinite(angleDegrees)) angleDegrees = 0;
  const double turn = std::fmod(angleDegrees, 360.0);
  const double cosA = turn == 0 ? 1 : std::cos(turn * std::numbers::pi / 180), sinA = turn == 0 ? 0 : std::sin(turn * std::numbers::pi / 180);
  if (turn != 0) {
    const double slant = simItalic ? 0.25 : 0;
    Emit(PdfFloatTrim(cosA, 5) + " " + PdfFloatTrim(sinA, 5) + " " + PdfFloatTrim(slant * cosA - sinA, 5) + " " +
         PdfFloatTrim(slant * sinA + cosA, 5) + " " + PdfFloatTrim(x) + " " + PdfFloatTrim(y) + " Tm");
  } else {
    Emit(PdfFloat(x) + " " + PdfFloat(y) + " Td");
    if (simItalic) Emit("1 0 0.25 1 " + PdfFloatTrim(x) + " " + PdfFloatTrim(y) + " Tm");
  }
  if (simBold) Emit("2 Tr " + PdfFloat(size / 35.0) + " w " + PdfColor(color, 3) + " RG");
  const bool justify = justifyWidthPx > 0 && mapped.SpacesCount > 0;
  // A space widened by more than a thousand ems is off any page; the bound also keeps the sums
  // below within exact integers.
  double adjustment = justify ? TpgwPDFFont::SpaceAdjustment(mapped, pdfSize, justifyWidthPx * 0.75) : 0;
  if (std::isnan(adjustment)) adjustment = 0;
  adjustment = std::clamp(adjustment, -1e6, 1e6);
  std::string hex = justify ? "[<" : "<";
  static const char digits[] = "0123456789ABCDEF";
  // Rounding errors of the adjustments are carried on, so that they do not add up.
  double wanted = 0;
  int64_t written = 0;
  for (size_t i = 0; i < mapped.Data.size(); ++i) {
    const uint16_t g = mapped.Data[i];
    hex += digits[g >> 12];
    hex += digits[(g >> 8) & 15];
    hex += digits[(g >> 4) & 15];
    hex += digits[g & 15];
    if (justify && g == 3 && i + 1 < mapped.Data.size()) {
      wanted += adjustment;
      const int64_t step = RoundHalfEven(wanted) - written;
      written += step;
      hex += ">" + std::to_string(step) + "<";
    }
  }
  Emit(hex + (justify ? ">] TJ" : "> Tj"));
  Emit("ET");
  if (simBold) Emit("0 Tr");

  const double widthPt = size * mapped.Width / 1000.0;  // S x W / 0.75 / 1000 pixels, times 0.75
  // A point along the text (u) and above its baseline (v), turned with it.
  auto at = [&](double u, double v) {
    return PdfFloat(x + u * cosA - v * sinA) + " " + PdfFloat(y + u * sinA + v * cosA);
  };
  if (font.Style().Contains(fsUnderline)) {
    Emit("[] 0 d");
    Emit(PdfColor(color) + " RG");
    Emit(PdfFloat(size * 0.08) + " w");
    Emit(at(0, -size * 0.12) + " m");
    Emit(at(widthPt, -size * 0.12) + " l");
    Emit("S");
  }
  if (font.Style().Contains(fsStrikeOut)) {
    Emit("[] 0 d");
    Emit(PdfColor(color) + " RG");
    Emit(PdfFloat(size * 0.056569084995) + " w");
    Emit(at(0, size * 0.28) + " m");
    Emit(at(widthPt, size * 0.28) + " l");
    Emit("S");
  }
}

void TpgwPDFDocument::Line(double x1, double y1, double x2, double y2, TColor color, double widthPx) {
  RequirePage();
  if (color == clNone) return;
  Emit("q");
  Emit(PdfColor(color) + " RG");
  Emit(PdfFloat(widthPx * 0.75) + " w");
  Emit(PdfFloat(X(x1)) + " " + PdfFloat(Y(y1)) + " m");
  Emit(PdfFloat(X(x2)) + " " + PdfFloat(Y(y2)) + " l");
  Emit("S");
  Emit("Q");
}

void TpgwPDFDocument::Rectangle(double left, double top, double width, double height, TColor fill,
                                TColor frame, double frameWidthPx) {
  RequirePage();
  const std::string rect = PdfFloat(X(left)) + " " + PdfFloat(Y(top + height)) + " " +
                           PdfFloat(width * 0.75) + " " + PdfFloat(height * 0.75) + " re";
  if (fill != clNone) {
    Emit("q");
    Emit(PdfColor(fill) + " rg");
    Emit(rect);
    Emit("f");
    Emit("Q");
  }
  if (frame != clNone && frameWidthPx >= 0.01) {
    Emit("q");
    Emit("[] 0 d");
    Emit(PdfColor(frame) + " RG");
    Emit(PdfFloat(frameWidthPx * 0.75) + " w");
    Emit(rect);
    Emit("S");
    Emit("Q");
  }
}

void TpgwPDFDocument::Frame(double left, double top, double width, double height, TpgwFrameTypes sides,
                            TColor color, double widthPx, TpgwFrameStyle style, TpgwFrameTypes adjoining) {
  RequirePage();
  if (color == clNone || widthPx < 0.01 || sides.Empty()) return;
  const double w = widthPx * 0.75;
  std::string pattern;
  std::string caps = "2 J";
  switch (style) {
    case fsDash:
      pattern = "[13.5 4.5] 0 d";
      break;
    case fsDot:
      pattern = "[2.25 2.25] 0 d";
      break;
    case fsDashDot:
      pattern = "[6.75 4.5 2.25 4.5] 0 d";
      break;
    case fsDashDotDot:
      pattern = "[6.75 2.25 2.25 2.25 2.25 2.25] 0 d";
      break;
    case fsAltDot:
      caps = "1 J";
      pattern = "[0 " + PdfFloatTrim(w * 1.5, 3) + "] 0 d";
      break;
    case fsSquare:
      caps = "0 J";
      pattern = "[" + PdfFloatTrim(w, 3) + " " + PdfFloatTrim(w, 3) + "] 0 d";
      break;
    default:
      pattern = "[] 0 d";
      break;
  }
  const double x0 = X(left), x1 = X(left + width), yTop = Y(top), yBottom = Y(top + height);
  struct TSide {
    TpgwFrameType Type;
    double Ax, Ay, Bx, By;
    bool Horizontal;
  };
  const TSide order[] = {{ftBottom, x0, yBottom, x1, yBottom, true},
                         {ftLeft, x0, yBottom, x0, yTop, false},
                         {ftTop, x0, yTop, x1, yTop, true},
                         {ftRight, x1, yBottom, x1, yTop, false}};
  Emit("q");
  for (const auto& side : order) {
    if (!sides.Contains(side.Type)) continue;
    Emit(PdfFloat(w) + " w");
    Emit(pattern);
    Emit(caps);
    Emit(PdfColor(color) + " RG");
    if (style != fsDouble) {
      Emit(PdfFloat(side.Ax) + " " + PdfFloat(side.Ay) + " m");
      Emit(PdfFloat(side.Bx) + " " + PdfFloat(side.By) + " l");
      Emit("S");
      continue;
    }
    // Two lines of the frame's width, a width apart on either side of the edge, as the page
    // draws them: the outer one reaches over the corners where another side adjoins, the inner
    // one stops short of them.
    const bool bottomOrLeft = side.Type == ftBottom || side.Type == ftLeft;
    const double outward = bottomOrLeft ? -1 : 1;
    const TpgwFrameTypes all = sides + adjoining;
    const bool joinA = all.Contains(side.Horizontal ? ftLeft : ftBottom);
    const bool joinB = all.Contains(side.Horizontal ? ftRight : ftTop);
    for (const double across : {outward, -outward}) {
      const double reach = across == outward ? w : -w;
      const double a = (side.Horizontal ? side.Ax : side.Ay) - (joinA ? reach : 0);
      const double b = (side.Horizontal ? side.Bx : side.By) + (joinB ? reach : 0);
      const double o = across * w;
      if (side.Horizontal) {
        Emit(PdfFloat(a) + " " + PdfFloat(side.Ay + o) + " m");
        Emit(PdfFloat(b) + " " + PdfFloat(side.By + o) + " l");
      } else {
        Emit(PdfFloat(side.Ax + o) + " " + PdfFloat(a) + " m");
        Emit(PdfFloat(side.Bx + o) + " " + PdfFloat(b) + " l");
      }
      Emit("S");
    }
  }
  Emit("Q");
}

std::vector<std::string> TpgwPDFDocument::ShapePath(TpgwShapeKind kind, double left, double top, double width,
                                                    double height, double cornerDiameterPx, bool& closed) const {
  const double x0 = X(left), x1 = X(left + width), yTop = Y(top), yBottom = Y(top + height);
  const double xm = (x0 + x1) / 2, ym = (yTop + yBottom) / 2;
  auto P = [](double x, double y) { return PdfFloat(x) + " " + PdfFloat(y); };
  std::vector<std::string> path;
  closed = true;
  constexpr double k = 0.5522847498;  // control-point factor of a quarter arc
  switch (kind) {
    case skRectangle:
      path.push_back(P(x0, yBottom) + " " + P(x1 - x0, yTop - yBottom) + " re");
      break;
    case skRoundRectangle: {
      double r = (cornerDiameterPx > 0 ? cornerDiameterPx : std::min(width, height) / 4) * 0.75 / 2;
      r = std::min({r, (x1 - x0) / 2, (yTop - yBottom) / 2});
      const double c = r * (1 - k);
      path.push_back(P(x0 + r, yBottom) + " m");
      path.push_back(P(x1 - r, yBottom) + " l");
      path.push_back(P(x1 - c, yBottom) + " " + P(x1, yBottom + c) + " " + P(x1, yBottom + r) + " c");
      path.push_back(P(x1, yTop - r) + " l");
      path.push_back(P(x1, yTop - c) + " " + P(x1 - c, yTop) + " " + P(x1 - r, yTop) + " c");
      path.push_back(P(x0 + r, yTop) + " l");
      path.push_back(P(x0 + c, yTop) + " " + P(x0, yTop - c) + " " + P(x0, yTop - r) + " c");
      path.push_back(P(x0, yBottom + r) + " l");
      path.push_back(P(x0, yBottom + c) + " " + P(x0 + c, yBottom) + " " + P(x0 + r, yBottom) + " c");
      break;
    }
    case skEllipse: {
      const double rx = (x1 - x0) / 2, ry = (yTop - yBottom) / 2;
      path.push_back(P(x1, ym) + " m");
      path.push_back(P(x1, ym + ry * k) + " " + P(xm + rx * k, yTop) + " " + P(xm, yTop) + " c");
      path.push_back(P(xm - rx * k, yTop) + " " + P(x0, ym + ry * k) + " " + P(x0, ym) + " c");
      path.push_back(P(x0, ym - ry * k) + " " + P(xm - rx * k, yBottom) + " " + P(xm, yBottom) + " c");
      path.push_back(P(xm + rx * k, yBottom) + " " + P(x1, ym - ry * k) + " " + P(x1, ym) + " c");
      break;
    }
    case skTriangle:
      path = {P(x1, yBottom) + " m", P(x0, yBottom) + " l", P(xm, yTop) + " l"};
      break;
    case skDiamond:
      path = {P(xm, yTop) + " m", P(x1, ym) + " l", P(xm, yBottom) + " l", P(x0, ym) + " l"};
      break;
    case skDiagonal1:
      path = {P(x0, yBottom) + " m", P(x1, yTop) + " l"};
      closed = false;
      break;
    case skDiagonal2:
      path = {P(x0, yTop) + " m", P(x1, yBottom) + " l"};
      closed = false;
      break;
  }
  if (closed && kind != skRectangle) path.push_back("h");
  return path;
}

void TpgwPDFDocument::Shape(TpgwShapeKind kind, double left, double top, double width, double height,
                            TColor fill, TColor frame, double frameWidthPx, double cornerDiameterPx) {
  RequirePage();
  const bool stroke = frame != clNone && frameWidthPx >= 0.01;
  if (fill == clNone && !stroke) return;
  bool closed = true;
  const std::vector<std::string> path = ShapePath(kind, left, top, width, height, cornerDiameterPx, closed);
  const bool filled = closed && fill != clNone;
  if (!filled && !stroke) return;
  Emit("q");
  if (filled) Emit(PdfColor(fill) + " rg");
  if (stroke) {
    Emit("[] 0 d");
    Emit(PdfColor(frame) + " RG");
    Emit(PdfFloat(frameWidthPx * 0.75) + " w");
  }
  for (const auto& p : path) Emit(p);
  Emit(filled && stroke ? "B" : filled ? "f" : "S");
  Emit("Q");
}

void TpgwPDFDocument::ClipToShape(TpgwShapeKind kind, double left, double top, double width, double height,
                                  double cornerDiameterPx) {
  RequirePage();
  bool closed = true;
  const std::vector<std::string> path = ShapePath(kind, left, top, width, height, cornerDiameterPx, closed);
  if (!closed) return ClipToRectangle(left, top, width, height);
  for (const auto& p : path) Emit(p);
  Emit("W");
  Emit("n");
}

void TpgwPDFDocument::ClipToRectangle(double left, double top, double width, double height) {
  RequirePage();
  Emit(PdfFloat(X(left)) + " " + PdfFloat(Y(top + height)) + " " + PdfFloat(width * 0.75) + " " +
       PdfFloat(height * 0.75) + " re");
  Emit("W");
  Emit("n");
}

void TpgwPDFDocument::AddWebLink(double left, double top, double width, double height,
                                 const WideString& url) {
  RequirePage();
  const WideString trimmed = Trim(url);
  if (trimmed.empty()) return;
  TLink link;
  link.Object = FPdf.UpdateXRef();
  link.Rect = PdfFloat(X(left)) + " " + PdfFloat(Y(top + height)) + " " + PdfFloat(X(left + width)) + " " +
              PdfFloat(Y(top));
  link.Address = Utf16ToUtf8(trimmed);
  FPages.back().Annots.push_back(link.Object);
  FLinks.push_back(std::move(link));
}

void TpgwPDFDocument::AddPageLink(double left, double top, double width, double height,
                                  int targetSourceIndex) {
  RequirePage();
  TLink link;
  link.Object = FPdf.UpdateXRef();
  link.Rect = PdfFloat(X(left)) + " " + PdfFloat(Y(top + height)) + " " + PdfFloat(X(left + width)) + " " +
              PdfFloat(Y(top));
  link.TargetPage = targetSourceIndex;
  FPages.back().Annots.push_back(link.Object);
  FLinks.push_back(std::move(link));
}

int TpgwPDFDocument::AddImage(const std::string& dictionary, std::string_view data, const TMD5Digest& hash) {
  if (auto it = FImageByHash.find(hash); it != FImageByHash.end()) return it->second;
  const int number = FPdf.UpdateXRef();
  FPdf.BeginObject(number);
  const std::string stored = FSecurity ? FSecurity->Encrypt(number, data) : std::string(data);
  FPdf.WriteLine("<<");
  FPdf.WriteLine("/Type /XObject");
  FPdf.WriteLine("/Subtype /Image");
  FPdf.Write(dictionary);
  FPdf.WriteLine("/Length " + std::to_string(stored.size()));
  FPdf.WriteLine(">>");
  FPdf.WriteLine("stream");
  FPdf.Write(stored);
  FPdf.Write("\n");
  FPdf.WriteLine("endstream");
  FPdf.WriteLine("endobj");
  FImages.push_back({number});
  const int index = static_cast<int>(FImages.size()) - 1;
  FImageByHash.emplace(hash, index);
  return index;
}

int TpgwPDFDocument::WriteOutline() {
  // The items that point at written pages, in their tree; a left-out item's children move up.
  struct TNode {
    const TPDFOutlineItem* Item;
    const TPage* Page;
    int Object = 0;
    int Parent = -1;  // index into nodes, -1 for the root
    std::vector<int> Children;
    int Descendants = 0;
  };
  std::vector<TNode> nodes;
  std::vector<int> top;
  auto collect = [&](auto& self, const std::vector<TPDFOutlineItem>& items, int parent, int depth) -> void {
    if (depth >= kMaxPDFOutlineDepth) return;
    for (const TPDFOutlineItem& item : items) {
      const auto page = std::find_if(FPages.begin(), FPages.end(),
                                     [&](const TPage& p) { return p.SourceIndex == item.Page && item.Page >= 0; });
      int next = parent;
      if (page != FPages.end()) {
        nodes.push_back({&item, &*page, 0, parent, {}, 0});
        next = static_cast<int>(nodes.size()) - 1;
        (parent < 0 ? top : nodes[static_cast<size_t>(parent)].Children).push_back(next);
      }
      self(self, item.Children, next, depth + 1);
    }
  };
  collect(collect, FOutline, -1, 0);
  if (nodes.empty()) return 0;
  // Numbers in walk order (nodes were collected depth-first); every item is shown open, so a
  // count is the number of all items below.
  const int root = FPdf.UpdateXRef();
  for (auto& node : nodes) node.Object = FPdf.UpdateXRef();
  for (size_t i = nodes.size(); i-- > 0;)
    for (int p = nodes[i].Parent; p >= 0; p = nodes[static_cast<size_t>(p)].Parent)
      ++nodes[static_cast<size_t>(p)].Descendants;

  auto object = [&](int index) { return Ref(nodes[static_cast<size_t>(index)].Object); };
  FPdf.BeginObject(root);
  FPdf.WriteLine("<<");
  FPdf.WriteLine("/Type /Outlines");
  FPdf.WriteLine("/Count " + std::to_string(nodes.size()));
  FPdf.WriteLine("/First " + object(top.front()));
  FPdf.WriteLine("/Last " + object(top.back()));
  FPdf.WriteLine(">>");
  FPdf.WriteLine("endobj");
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TNode& node = nodes[i];
    const std::vector<int>& siblings = node.Parent < 0 ? top : nodes[static_cast<size_t>(node.Parent)].Children;
    const size_t at = static_cast<size_t>(std::find(siblings.begin(), siblings.end(), static_cast<int>(i)) -
                                          siblings.begin());
    FPdf.BeginObject(node.Object);
    FPdf.WriteLine("<<");
    FPdf.WriteLine("/Title " + FPdf.TextString(node.Item->Title, node.Object));
    FPdf.WriteLine("/Parent " + (node.Parent < 0 ? Ref(root) : object(node.Parent)));
    if (at > 0) FPdf.WriteLine("/Prev " + object(siblings[at - 1]));
    if (at + 1 < siblings.size()) FPdf.WriteLine("/Next " + object(siblings[at + 1]));
    if (!node.Children.empty()) {
      FPdf.WriteLine("/First " + object(node.Children.front()));
      FPdf.WriteLine("/Last " + object(node.Children.back()));
      FPdf.WriteLine("/Count " + std::to_string(node.Descendants));
    }
    FPdf.WriteLine("/Dest [" + Ref(node.Page->Object) + " /XYZ 0 " +
                   PdfInteger(node.Page->Height - node.Item->Top * 0.75) + " 0]");
    FPdf.WriteLine(">>");
    FPdf.WriteLine("endobj");
  }
  return root;
}

int TpgwPDFDocument::AddJPEGImage(std::span<const uint8_t> jpeg, int softMask) {
  RequireStarted();
  const TJpegInfo info = ReadJpegInfo(jpeg);
  const char* space = info.Components == 1   ? "/DeviceGray"
                      : info.Components == 3 ? "/DeviceRGB"
                                             : "/DeviceCMYK";
  TMD5 md5;
  md5.Update("DCT");
  if (softMask >= 0) md5.Update("SMask" + std::to_string(softMask));
  md5.Update(jpeg);
  const TMD5Digest hash = md5.Final();
  if (auto it = FImageByHash.find(hash); it != FImageByHash.end()) return it->second;
  // JPEG's entropy coding leaves much to deflate in pictures with large plain areas (barcodes,
  // line art); the second filter is kept only when it saves a twentieth or more.
  const std::string_view raw(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  std::string deflated = FSettings.Compressed() ? Deflate(raw) : std::string();
  const bool flate = FSettings.Compressed() && deflated.size() * 20 <= raw.size() * 19;
  std::string dict = std::string("/ColorSpace ") + space + "\r\n/BitsPerComponent 8\r\n" +
                     (flate ? "/Filter [/FlateDecode /DCTDecode]\r\n" : "/Filter /DCTDecode\r\n");
  // Four-component JPEGs from common encoders store inverted CMYK.
  if (info.Components == 4) dict += "/Decode [1 0 1 0 1 0 1 0]\r\n";
  if (softMask >= 0) dict += SoftMaskEntry(softMask);
  dict += "/Width " + std::to_string(info.Width) + "\r\n/Height " + std::to_string(info.Height) + "\r\n";
  return AddImage(dict, flate ? std::string_view(deflated) : raw, hash);
}

std::string TpgwPDFDocument::SoftMaskEntry(int softMask) const {
  if (softMask < 0 || softMask >= static_cast<int>(FImages.size())) throw EPDFError("Unknown soft mask");
  return "/SMask " + std::to_string(FImages[static_cast<size_t>(softMask)].Object) + " 0 R\r\n";
}

int TpgwPDFDocument::AddSampledImage(const char* kind, const char* colorSpace, int components, int width,
                                     int height, std::span<const uint8_t> samples, int softMask) {
  RequireStarted();
  if (width <= 0 || height <= 0 || samples.size() != size_t(width) * size_t(height) * size_t(components))
    throw EPDFError(std::string(kind) + " data do not match the image size");
  std::string dict = std::string("/ColorSpace ") + colorSpace + "\r\n/BitsPerComponent 8\r\n";
  if (softMask >= 0) dict += SoftMaskEntry(softMask);
  const std::string_view raw(reinterpret_cast<const char*>(samples.data()), samples.size());
  std::string data;
  if (FSettings.Compressed()) {
    dict += "/Filter /FlateDecode\r\n";
    data = Deflate(raw);
  } else {
    data = std::string(raw);
  }
  dict += "/Width " + std::to_string(width) + "\r\n/Height " + std::to_string(height) + "\r\n";
  TMD5 md5;
  md5.Update((components == 1 ? std::string("Alpha") : std::string("RGB")) + std::to_string(width) + "x" +
             std::to_string(height));
  if (softMask >= 0) md5.Update("SMask" + std::to_string(softMask));
  md5.Update(samples);
  return AddImage(dict, data, md5.Final());
}

int TpgwPDFDocument::AddAlphaMask(int width, int height, std::span<const uint8_t> alpha) {
  return AddSampledImage("Mask", "/DeviceGray", 1, width, height, alpha, -1);
}

int TpgwPDFDocument::AddRGBImage(int width, int height, std::span<const uint8_t> rgb, int softMask) {
  return AddSampledImage("Image", "/DeviceRGB", 3, width, height, rgb, softMask);
}

int TpgwPDFDocument::AddBitmapImage(const TBitmap& bitmap, bool asJpeg, int quality) {
  RequireStarted();
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) throw EPDFError("Empty bitmap");
  // A bitmap with transparent or translucent pixels gets a soft mask, so what lies under it on
  // the page shows through as it does in the page image.
  int softMask = -1;
  if (bitmap.PixelFormat() == pf32bit) {
    std::vector<uint8_t> alpha(size_t(bitmap.Width()) * bitmap.Height());
    for (int y = 0; y < bitmap.Height(); ++y) bitmap.ReadRowAlpha(y, alpha.data() + size_t(y) * bitmap.Width());
    if (std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 255; }))
      softMask = AddAlphaMask(bitmap.Width(), bitmap.Height(), alpha);
  }
  if (asJpeg) {
    TMemoryStream jpeg;
    EncodeJPEG(bitmap, quality > 0 ? quality : FSettings.Quality(), 96, false, jpeg);
    return AddJPEGImage(jpeg.Bytes(), softMask);
  }
  std::vector<uint8_t> rgb(size_t(bitmap.Width()) * bitmap.Height() * 3);
  for (int y = 0; y < bitmap.Height(); ++y) bitmap.ReadRowRGB(y, rgb.data() + size_t(y) * bitmap.Width() * 3);
  return AddRGBImage(bitmap.Width(), bitmap.Height(), rgb, softMask);
}

std::string TpgwPDFDocument::HatchPattern(TBrushStyle style) {
  RequirePage();
  if (style < bsHorizontal || style > bsDiagCross) throw EPDFError("Not a hatch style");
  const std::string name = "/Hatch" + std::to_string(static_cast<int>(style));
  auto& hatches = FPages.back().Hatches;
  if (std::find(hatches.begin(), hatches.end(), style) == hatches.end()) hatches.push_back(style);
  if (FHatchObjects.count(style)) return name;
  // One 6-point cell (8 report pixels) with lines of one pixel; diagonals are drawn with their
  // neighbours' ends so that the tiles join without gaps.
  std::string lines;
  const bool horizontal = style == bsHorizontal || style == bsCross;
  const bool vertical = style == bsVertical || style == bsCross;
  // Screen y runs down: the forward diagonal falls to the right, the backward one rises.
  const bool falling = style == bsFDiagonal || style == bsDiagCross;
  const bool rising = style == bsBDiagonal || style == bsDiagCross;
  if (horizontal) lines += "0 5.625 m 6 5.625 l S\n";
  if (vertical) lines += "0.375 0 m 0.375 6 l S\n";
  for (int c : {-6, 0, 6}) {
    if (rising) lines += PdfFloatTrim(-1) + " " + PdfFloatTrim(c - 1) + " m 7 " + PdfFloatTrim(c + 7) + " l S\n";
    if (falling) lines += "-1 " + PdfFloatTrim(c + 7) + " m 7 " + PdfFloatTrim(c - 1) + " l S\n";
  }
  const int number = FPdf.UpdateXRef();
  FPdf.BeginObject(number);
  FPdf.WriteStream(number, "0.75 w 0 J\n" + lines,
                   "/Type/Pattern/PatternType 1/PaintType 2/TilingType 1/BBox [0 0 6 6]/XStep 6/YStep 6"
                   "/Resources << >>");
  FHatchObjects.emplace(style, number);
  return name;
}

std::string TpgwPDFDocument::FillWithHatch(TBrushStyle style, TColor color) {
  return "/CsHatch cs " + PdfColor(color) + " " + HatchPattern(style) + " scn";
}

void TpgwPDFDocument::DrawImage(int image, double left, double top, double width, double height) {
  RequirePage();
  if (image < 0 || image >= static_cast<int>(FImages.size())) throw EPDFError("Unknown image");
  auto& images = FPages.back().Images;
  if (std::find(images.begin(), images.end(), image) == images.end()) images.push_back(image);
  Emit("q");
  Emit(PdfFloat(width * 0.75) + " 0 0 " + PdfFloat(height * 0.75) + " " + PdfFloat(X(left)) + " " +
       PdfFloat(Y(top + height)) + " cm");
  Emit("/Im" + std::to_string(image) + " Do");
  Emit("Q");
}

void TpgwPDFDocument::FinishPage() {
  RequirePage();
  TPage& page = FPages.back();
  const int content = FPdf.UpdateXRef();
  FPdf.BeginObject(content);
  FPdf.WriteStream(content, FContent);
  FContent.clear();

  FPdf.BeginObject(page.Object);
  FPdf.WriteLine("<<");
  FPdf.WriteLine("/Type /Page");
  FPdf.WriteLine("/MediaBox [0 0 " + PdfFloat(page.Width) + " " + PdfFloat(page.Height) + " ]");
  FPdf.WriteLine("/Parent " + Ref(1));
  if (FSettings.Transparency()) FPdf.WriteLine("/Group << /Type /Group /S /Transparency /CS /DeviceRGB >>");
  FPdf.WriteLine("/Resources << ");
  if (!page.Fonts.empty()) {
    std::string fonts = "/Font << ";
    for (int f : page.Fonts) fonts += FFonts[f].Name() + " " + Ref(FFonts[f].Reference) + " ";
    FPdf.Write(fonts);
    FPdf.WriteLine(">>");
  }
  if (!page.Images.empty()) {
    std::string images = "/XObject << ";
    for (int i : page.Images) images += "/Im" + std::to_string(i) + " " + Ref(FImages[i].Object) + " ";
    FPdf.Write(images);
    FPdf.WriteLine(">>");
  }
  if (!page.Hatches.empty()) {
    FPdf.WriteLine("/ColorSpace << /CsHatch [/Pattern /DeviceRGB] >>");
    std::string patterns = "/Pattern << ";
    for (TBrushStyle style : page.Hatches)
      patterns += "/Hatch" + std::to_string(static_cast<int>(style)) + " " + Ref(FHatchObjects.at(style)) + " ";
    FPdf.Write(patterns);
    FPdf.WriteLine(">>");
  }
  FPdf.WriteLine("/ProcSet [/PDF /Text /ImageC ]");
  FPdf.WriteLine(">>");
  FPdf.WriteLine("/Contents " + Ref(content));
  if (!page.Annots.empty()) {
    std::string annots = "/Annots [";
    for (size_t i = 0; i < page.Annots.size(); ++i) annots += (i ? " " : "") + Ref(page.Annots[i]);
    FPdf.WriteLine(annots + "]");
  }
  FPdf.WriteLine(">>");
  FPdf.WriteLine("endobj");
  FInPage = false;
}

void TpgwPDFDocument::Finish() {
  RequireStarted();
  if (FInPage) FinishPage();
  const bool embed = FSettings.EmbeddedFonts() || FSettings.PdfA();
  for (size_t i = 0; i < FFonts.Count(); ++i) FFonts[i].WriteObjects(FPdf, embed);

  FPdf.BeginObject(1);
  FPdf.WriteLine("<<");
  FPdf.WriteLine("/Type /Pages");
  std::string kids = "/Kids [";
  for (size_t i = 0; i < FPages.size(); ++i) kids += (i ? " " : "") + Ref(FPages[i].Object);
  FPdf.WriteLine(kids + "]");
  FPdf.WriteLine("/Count " + std::to_string(FPages.size()));
  FPdf.WriteLine(">>");
  FPdf.WriteLine("endobj");

  const int info = FPdf.UpdateXRef();
  FPdf.BeginObject(info);
  FPdf.WriteLine("<<");
  FPdf.WriteLine("/Title " + FPdf.TextString(FSettings.Title(), info));
  FPdf.WriteLine("/Author " + FPdf.TextString(FSettings.Author(), info));
  FPdf.WriteLine("/Subject " + FPdf.TextString(FSettings.Subject(), info));
  FPdf.WriteLine("/Keywords " + FPdf.TextString(FSettings.Keywords(), info));
  FPdf.WriteLine("/Creator " + FPdf.TextString(FSettings.Creator(), info));
  FPdf.WriteLine("/Producer " + FPdf.TextString(FSettings.Producer(), info));
  FPdf.WriteLine("/CreationDate " + FPdf.ByteString(FDate, info));
  FPdf.WriteLine("/ModDate " + FPdf.ByteString(FDate, info));
  FPdf.WriteLine(">>");
  FPdf.WriteLine("endobj");

  int encrypt = 0;
  if (FSecurity) {
    encrypt = FPdf.UpdateXRef();
    FPdf.BeginObject(encrypt);
    FPdf.WriteLine("<<");
    for (const std::string& line : FSecurity->DictionaryLines()) FPdf.WriteLine(line);
    FPdf.WriteLine(">>");
    FPdf.WriteLine("endobj");
  }

  const int outline = FSettings.Outline() ? WriteOutline() : 0;

  for (const auto& link : FLinks) {
    FPdf.BeginObject(link.Object);
    FPdf.WriteLine("<<");
    FPdf.WriteLine("/Type /Annot");
    FPdf.WriteLine("/Subtype /Link");
    FPdf.WriteLine("/Rect [" + link.Rect + "]");
    if (link.Address.empty()) {
      // A link inside the document: the top of its target page.
      const auto target = std::find_if(FPages.begin(), FPages.end(),
                                       [&](const TPage& p) { return p.SourceIndex == link.TargetPage; });
      FPdf.WriteLine("/Border [16 16 0]");
      if (link.TargetPage >= 0 && target != FPages.end())
        FPdf.WriteLine("/Dest [" + Ref(target->Object) + " /XYZ null " + PdfFloat(target->Height) + " null]");
      FPdf.WriteLine(">>");
      FPdf.WriteLine("endobj");
      continue;
    }
    FPdf.WriteLine("/BS << /W 0 >>");
    FPdf.WriteLine("/A <<");
    // A hexadecimal string needs no escapes and is encrypted like every other string.
    FPdf.WriteLine("/URI " + FPdf.ByteString(link.Address, link.Object));
    FPdf.WriteLine("/Type /Action");
    FPdf.WriteLine("/S /URI");
    FPdf.WriteLine(">>");
    FPdf.WriteLine(">>");
    FPdf.WriteLine("endobj");
  }

  const int catalog = FPdf.UpdateXRef();
  FPdf.BeginObject(catalog);
  FPdf.WriteLine("<<");
  FPdf.WriteLine("/Type /Catalog");
  FPdf.WriteLine(std::string("/Version /") + PDFVersionText(WrittenVersion()));
  // 256-bit AES came to 1.7 as an extension before it was part of the standard.
  if (FSecurity && FSecurity->Method() == peAES_256)
    FPdf.WriteLine("/Extensions << /ADBE << /BaseVersion /1.7 /ExtensionLevel 8 >> >>");
  FPdf.WriteLine("/MarkInfo << /Marked true >>");
  FPdf.WriteLine("/Pages " + Ref(1));
  FPdf.WriteLine(outline ? "/PageMode /UseOutlines" : "/PageMode /UseNone");
  if (outline) FPdf.WriteLine("/Outlines " + Ref(outline));
  FPdf.WriteLine("/ViewerPreferences <<");
  if (!FSettings.Title().empty()) FPdf.WriteLine("/DisplayDocTitle true");
  if (FSettings.HideToolbar()) FPdf.WriteLine("/HideToolbar true");
  if (FSettings.HideMenubar()) FPdf.WriteLine("/HideMenubar true");
  if (FSettings.HideWindowUI()) FPdf.WriteLine("/HideWindowUI true");
  if (FSettings.FitWindow()) FPdf.WriteLine("/FitWindow true");
  if (FSettings.CenterWindow()) FPdf.WriteLine("/CenterWindow true");
  if (!FSettings.PrintScaling()) FPdf.WriteLine("/PrintScaling /None");
  FPdf.WriteLine(">>");
  FPdf.WriteLine(">>");
  FPdf.WriteLine("endobj");

  FPdf.WriteXRefAndTrailer(catalog, info, FFileID, encrypt);
  FPages.clear();
  FImages.clear();
  FImageByHash.clear();
  FHatchObjects.clear();
  FLinks.clear();
  FOutline.clear();
  FFonts.Clear();
  FStarted = false;
  FFinished = true;
}

}  // namespace pagewright
