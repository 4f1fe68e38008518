#include "barcode_view/barcode_draw.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/code_pages.h"
#include "render/colors.h"
#include "render/metafile.h"

namespace pagewright {

namespace {

int Round(long double v) {
  return static_cast<int>(RoundHalfEven(v));
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsCode128Family(TpgwBarcodeType t) {
  return (t >= bcCode128 && t <= bcCode128C) || (t >= bcCodeEAN128 && t <= bcCodeEAN128C) ||
         t == bcGS1Code128;
}

// Types whose bars run down between the digit groups of their text.
bool IsEanUpc(TpgwBarcodeType t) {
  return t == bcCodeEAN8 || t == bcCodeEAN13 || t == bcCodeUPC_A || t == bcCodeUPC_E0 || t == bcCodeUPC_E1;
}

// Removes every three-character escape "&x;" whose letter (any case) is in `letters`; "&FNC1;"
// counts as "&1;".
std::string RemoveEscapes(std::string_view s, std::string_view letters, bool fnc1Long) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '&') {
      if (fnc1Long && i + 5 < s.size() && UpperAscii(s[i + 1]) == 'F' && UpperAscii(s[i + 2]) == 'N' &&
          UpperAscii(s[i + 3]) == 'C' && s[i + 4] == '1' && s[i + 5] == ';') {
        i += 6;
        continue;
      }
      if (i + 2 < s.size() && s[i + 2] == ';' &&
          letters.find(UpperAscii(s[i + 1])) != std::string_view::npos) {
        i += 3;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

WideString Part(const WideString& s, size_t from, size_t count) {
  if (from >= s.size()) return WideString();
  return s.substr(from, count);
}

// Nominal element widths (the width classes of ratio 2: 1, 2, 3, 4 modules) against the
// encoder's own, so that text positions written for ratio 2 follow another ratio.
class TModuleMap {
 public:
  TModuleMap(const TpgwBarcode& barcode, const std::string& pattern) {
    const int modul = barcode.Modul();
    int ns = 1, as = 1;
    for (char e : pattern) {
      int w;
      TpgwBarKind kind;
      barcode.ElementWidthAndKind(e, w, kind);
      int cls = 0;
      if (e >= '0' && e <= '3')
        cls = e - '0';
      else if (e >= '5' && e <= '8')
        cls = e - '5';
      else if (e >= 'A' && e <= 'D')
        cls = e - 'A';
      FItems.push_back({ns, (cls + 1) * modul, as});
      ns += (cls + 1) * modul;
      as += w;
    }
    FNominalEnd = ns;
    FActualEnd = as;
  }
  // The symbol's width (with its two extra modules) in nominal units.
  int NominalWidth() const { return FNominalEnd + 1; }
  // A nominal position in actual modules; positions left of the symbol stay where they are.
  int Map(int n) const {
    if (n < 1) return n;
    for (const Item& it : FItems)
      if (n < it.nominalStart + it.nominalWidth) return it.actualStart + (n - it.nominalStart);
    return FActualEnd + (n - FNominalEnd);
  }

 private:
  struct Item {
    int nominalStart, nominalWidth, actualStart;
  };
  std::vector<Item> FItems;
  int FNominalEnd = 1, FActualEnd = 1;
};

// Puts the canvas's drawing state back on leaving.
class TCanvasStateGuard {
 public:
  explicit TCanvasStateGuard(TCanvas& c)
      : FCanvas(c),
        FPen(c.Pen()),
        FBrushColor(c.Brush().Color()),
        FBrushStyle(c.Brush().Style()),
        FFont(c.Font()),
        FBkMode(c.GetBkMode()),
        FClip(c.GetClipRgn()) {}
  ~TCanvasStateGuard() {
    FCanvas.Pen() = FPen;
    FCanvas.Brush().SetColor(FBrushColor);
    FCanvas.Brush().SetStyle(FBrushStyle);
    FCanvas.Font().Assign(FFont);
    FCanvas.SetBkMode(FBkMode);
    FCanvas.SelectClipRgn(FClip);
  }
  TCanvasStateGuard(const TCanvasStateGuard&) = delete;
  TCanvasStateGuard& operator=(const TCanvasStateGuard&) = delete;

 private:
  TCanvas& FCanvas;
  TPen FPen;
  TColor FBrushColor;
  TBrushStyle FBrushStyle;
  TFont FFont;
  int FBkMode;
  TClipRegion FClip;
};

// Turns the unturned symbol (W modules along, H across, y downwards) by a quarter angle,
// counterclockwise on the page, and places it at an origin.
struct TSymbolFrame {
  int W, H, angle, ox, oy;
  TRect Map(int x0, int y0, int x1, int y1) const {
    TRect r;
    switch (angle) {
      case 90:
        r = Rect(y0, W - x1, y1, W - x0);
        break;
      case 180:
        r = Rect(W - x1, H - y1, W - x0, H - y0);
        break;
      case 270:
        r = Rect(H - y1, x0, H - y0, x1);
        break;
      default:
        r = Rect(x0, y0, x1, y1);
        break;
    }
    return Rect(r.Left + ox, r.Top + oy, r.Right + ox, r.Bottom + oy);
  }
  TPoint Map(int x, int y) const {
    switch (angle) {
      case 90:
        return Point(ox + y, oy + W - x);
      case 180:
        return Point(ox + W - x, oy + H - y);
      case 270:
        return Point(ox + H - y, oy + x);
      default:
        return Point(ox + x, oy + y);
    }
  }
  // The turned symbol's extent.
  TRect Bounds() const { return Map(0, 0, W, H); }
};

void SetSolidBrush(TCanvas& c, TColor color) {
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(color);
}

struct TSymbolDrawing {
  const TpgwBarcode& barcode;
  const std::string& pattern;
  int firstX;  // where the first element starts
  int h;       // bar height, modules
  int t;       // text band height, modules
  bool showText;
  const TFont& font;
  const std::vector<TpgwBarcodeTextPiece>& pieces;

  void Paint(TCanvas& c, const TSymbolFrame& f) const {
    TCanvasStateGuard guard(c);
    const TColor space = barcode.Color();
    const TColor bar = barcode.ColorBar();
    c.Pen().SetStyle(psClear);
    c.Pen().SetWidth(1);
    const TClipRegion outer = c.GetClipRgn();
    c.IntersectClipRect(f.Bounds());
    int x = firstX;
    const int third = Round(static_cast<long double>(h) / 3);
    const int twoThirds = Round(static_cast<long double>(h) * 2 / 3);
    for (char e : pattern) {
      int w;
      TpgwBarKind kind;
      barcode.ElementWidthAndKind(e, w, kind);
      const TColor color = kind == bkSpace ? space : bar;
      if (!IsNoColor(color) && w > 0) {
        int y0 = 0, y1 = h;
        switch (kind) {
          case bkShortBar:
            y0 = h - h * 2 / 5;
            break;
          case bkTracker:
            y0 = h - 2 * third;
            y1 = h - third;
            break;
          case bkAscender:
            y1 = twoThirds;
            break;
          case bkDescender:
            y0 = h - twoThirds;
            break;
          default:
            break;
        }
        if (y1 > y0) {
          SetSolidBrush(c, color);
          c.FillRect(f.Map(x, y0, x + w, y1));
        }
      }
      x += w;
    }
    c.SelectClipRgn(outer);  // the text may reach into the quiet zones
    if (!showText) return;
    c.Font().Assign(font);
    const int top = f.H - t;
    for (const TpgwBarcodeTextPiece& p : pieces) {
      if (!IsNoColor(space) && p.ClearTo > p.ClearFrom) {
        SetSolidBrush(c, space);
        c.FillRect(f.Map(p.ClearFrom, top - 2, p.ClearTo, f.H));
      }
      c.SetBkMode(TRANSPARENT);
      if (!p.Spread || p.Text.size() < 2) {
        const TPoint at = f.Map(p.X, top);
        c.ExtTextOut(at.X, at.Y, 0, nullptr, p.Text, nullptr);
        continue;
      }
      // Characters one by one, the gaps between them equal, the last ending at the band's end.
      const std::vector<int> cum = c.GetTextExtentExPoint(p.Text);
      const int n = static_cast<int>(p.Text.size());
      const long double gap = static_cast<long double>(p.ClearTo - p.ClearFrom - cum.back()) / (n - 1);
      for (int k = 0; k < n; ++k) {
        const int before = k == 0 ? 0 : cum[static_cast<size_t>(k - 1)];
        const TPoint at = f.Map(p.ClearFrom + before + Round(gap * k), top);
        c.ExtTextOut(at.X, at.Y, 0, nullptr, std::u16string_view(p.Text).substr(static_cast<size_t>(k), 1),
                     nullptr);
      }
    }
  }
};

}  // namespace

TFont BarcodeDrawingFont(const TpgwBarcodeFont& font, int angle) {
  TFont f;
  f.SetPixelsPerInch(font.PixelsPerInch);
  f.SetName(font.Name);
  f.SetHeight(font.Height());
  f.SetColor(font.Color);
  f.SetStyle(TFontStyles::FromBits(font.Style & 15u));
  f.SetOrientation(angle * 10);
  return f;
}

int BarcodeQuarterAngle(double angle) {
  if (!std::isfinite(angle)) return 0;
  const long double quarters = RoundHalfEven(std::fmod(static_cast<long double>(angle), 360.0L) / 90);
  int a = static_cast<int>(quarters) * 90 % 360;
  if (a < 0) a += 360;
  return a;
}

std::string BarcodeDisplayText(const TpgwBarcode& barcode) {
  const TpgwBarcodeType type = barcode.Typ();
  if (IsCode128Family(type)) return RemoveEscapes(barcode.Text(), "ABCS1234", true);
  if (type == bcCodeCodabar) return RemoveEscapes(barcode.Text(), "ABCD", false);
  if (IsEanUpc(type)) return barcode.EncodedText();
  return barcode.Text();
}

std::vector<TpgwBarcodeTextPiece> BarcodeTextPieces(const TpgwBarcode& barcode, const std::string& pattern,
                                                    int W, const TFont& font) {
  const TSizedFont& sized = FindFont(font);
  const WideString text = AnsiToWide(BarcodeDisplayText(barcode));
  auto width = [&](std::u16string_view s) { return sized.TextWidth(s); };
  const TpgwBarcodeType type = barcode.Typ();
  std::vector<TpgwBarcodeTextPiece> pieces;

  if (IsEanUpc(type)) {
    // Positions are written for the width classes of ratio 2 and follow the real widths.
    const TModuleMap map(barcode, pattern);
    const int wn = map.NominalWidth();
    auto group = [&](WideString s, int at, int from, int to) {
      TpgwBarcodeTextPiece p;
      p.Text = std::move(s);
      p.X = map.Map(at);
      p.ClearFrom = map.Map(from);
      p.ClearTo = map.Map(to);
      p.Spread = p.ClearTo - p.ClearFrom != to - from && p.Text.size() > 1;
      pieces.push_back(std::move(p));
    };
    auto leading = [&](WideString s) {
      TpgwBarcodeTextPiece p;
      p.Text = std::move(s);
      p.X = -7;
      p.ClearFrom = -7;
      p.ClearTo = -2;
      pieces.push_back(std::move(p));
    };
    switch (type) {
      case bcCodeEAN8:
        group(Part(text, 0, 4), 4, 4, 32);
        group(Part(text, 4, 4), 36, 36, wn - 4);
        break;
      case bcCodeEAN13:
        leading(Part(text, 0, 1));
        group(Part(text, 1, 6), 4, 4, 46);
        group(Part(text, 7, 6), 50, 50, wn - 4);
        break;
      case bcCodeUPC_A:
        leading(Part(text, 0, 1));
        group(Part(text, 1, 5), 11, 11, 46);
        group(Part(text, 6, 5), 50, 50, 85);
        group(Part(text, 11, 1), wn + 1, wn + 1, wn + 8);
        break;
      default:  // UPC-E
        group(Part(text, 0, 6), 4, 4, 46);
        group(Part(text, 6, 1), wn + 1, wn + 1, wn + 8);
        break;
    }
    return pieces;
  }

  if (type == bcCode_ITF_14) {
    const int gap = Round(static_cast<long double>(width(text)) * 0.05L);
    const WideString groups[5] = {Part(text, 0, 1), Part(text, 1, 2), Part(text, 3, 5), Part(text, 8, 5),
                                  Part(text, 13, 1)};
    int total = 4 * gap;
    for (const WideString& g : groups) total += width(g);
    int x = (W - total) / 2;
    for (int k = 0; k < 5; ++k) {
      TpgwBarcodeTextPiece p;
      p.Text = groups[k];
      p.X = x;
      if (k == 0) p.ClearTo = W - 2;  // the first piece clears the band for all five
      x += width(groups[k]) + gap;
      pieces.push_back(std::move(p));
    }
    return pieces;
  }

  TpgwBarcodeTextPiece p;
  p.Text = text;
  p.X = (W - width(text)) / 2;
  p.ClearTo = IsCode128Family(type) || type == bcCodeCodabar ? W - 1 : W - 2;
  pieces.push_back(std::move(p));
  return pieces;
}

void DrawBarcode(TpgwBarcode& barcode, TCanvas& canvas, const TRect& rect, bool showText, Extended scaleDPIX,
                 Extended scaleDPIY, bool directToEMF) {
  (void)scaleDPIX;
  (void)scaleDPIY;
  std::string pattern = barcode.BuildElementPattern();
  long long sum = 2;
  for (char e : pattern) {
    int w;
    TpgwBarKind kind;
    barcode.ElementWidthAndKind(e, w, kind);
    sum += w;
  }
  if (sum <= 0 || sum > (1 << 24)) return;
  const int W = static_cast<int>(sum);
  const int angle = BarcodeQuarterAngle(barcode.Angle());
  const bool vertical = angle == 90 || angle == 270;
  const int along = vertical ? rect.Height() : rect.Width();
  const int across = vertical ? rect.Width() : rect.Height();
  if (along <= 0 || across <= 0) return;
  long double c = static_cast<long double>(along) / W;  // device pixels per module
  TRect target = rect;
  if (canvas.WholePixelModules() && !directToEMF) {
    // The nearest whole number of pixels a module, unless that runs past the area; the symbol
    // keeps its starting edge.
    long long m = std::max<long long>(1, Round(c));
    if (m > 1 && m * W > along) m = std::max<long long>(1, static_cast<long long>(c));
    if (m * W <= (1 << 24)) {
      c = static_cast<long double>(m);
      const int extent = static_cast<int>(m * W);
      if (vertical)
        target.Bottom = target.Top + extent;
      else
        target.Right = target.Left + extent;
    }
  }
  const int H = Round(across / c);
  if (H <= 0 || H > (1 << 24)) return;

  const TpgwBarcodeType type = barcode.Typ();
  const TFont font = BarcodeDrawingFont(barcode.Font(), angle);
  const int t = 2 - barcode.Font().Height();
  int h = H;
  if (showText) h = IsEanUpc(type) ? H - t / 2 : H - t - 2;
  if (type == bcCodeUSPSIntelligentMail) h -= ((h % 3) + 3) % 3;
  const std::vector<TpgwBarcodeTextPiece> pieces =
      showText ? BarcodeTextPieces(barcode, pattern, W, font) : std::vector<TpgwBarcodeTextPiece>();

  // On a recording surface the two margin modules are painted as spaces too.
  int firstX = 1;
  if (canvas.GetDeviceCaps(TECHNOLOGY) == DT_METAFILE) {
    pattern = "0" + pattern + "0";
    firstX = 1 - barcode.Modules()[0];
  }
  const TSymbolDrawing drawing{barcode, pattern, firstX, h, t, showText, font, pieces};
  if (directToEMF) {
    drawing.Paint(canvas, TSymbolFrame{W, H, angle, rect.Left, rect.Top});
    return;
  }
  TMetafile metafile(vertical ? H : W, vertical ? W : H);
  drawing.Paint(metafile.Canvas(), TSymbolFrame{W, H, angle, 0, 0});
  canvas.StretchDraw(target, metafile);
}

}  // namespace pagewright
