// The text layout engine: lays source lines out at 600 pixels per inch (tags, word wrap,
// hyphenation, paragraph marks), answers height, width and splitting questions in report pixels
// (96 per inch), and draws the wrapped lines on any surface where the layout put them.
//
// One process-wide lock serialises every engine: a client holds it (Lock/Unlock, or
// TpgwDrawTextLock) from SetFont to the last result it reads.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "render/canvas.h"
#include "render/fonts.h"
#include "render/html_tags.h"

namespace pagewright {

class TBitmap;

enum TpgwHAlign : uint8_t { haLeft, haRight, haCenter, haBlock };
enum TpgwVAlign : uint8_t { vaTop, vaBottom, vaCenter };
enum TpgwUnderlinesTextMode : uint8_t {
  ulmNone,
  ulmUnderlinesAll,
  ulmUnderlinesText,
  ulmUnderlinesTextAndEmptyLines
};

// Paragraph marks of wrapped lines.
inline constexpr int pmFirstLine = 1;
inline constexpr int pmLastLine = 2;

// Spreads count increments of `one` (+1 or -1) over a[first..last] by halving.
void DistributeIncrements(int* a, int first, int last, int one, int count);

// The start of the first line, the line width and the space across the lines, for a rectangle,
// an angle and the block height F (all in surface pixels).
struct TpgwTextOrigin {
  int X = 0, Y = 0;
  int W = 0;  // width along the lines
  int A = 0;  // space across the lines
};
TpgwTextOrigin ComputeTextOrigin(const TRect& r, int rotation, int blockHeight, Extended lineSpacing,
                                 TpgwVAlign vAlign);

class TpgwDrawText {
 public:
  TpgwDrawText();
  ~TpgwDrawText();
  TpgwDrawText(const TpgwDrawText&) = delete;
  TpgwDrawText& operator=(const TpgwDrawText&) = delete;

  // The process-wide layout lock (recursive), shared by all engines.
  static void Lock();
  static void Unlock();
  // The internal measuring surface's own lock.
  void LockCanvas();
  void UnlockCanvas();

  void SetFont(const TFont& font);
  void SetOptions(bool wordWrap, bool htmlTags, bool rtlReading, bool wordBreak, bool clipped, bool wysiwyg,
                  int rotation);
  void SetGaps(Extended paragraphGap, Extended charSpacing, Extended lineSpacing);
  void SetDimensions(Extended scaleX, Extended scaleY, Extended printScale, const TRect& originalRect,
                     const TRect& scaledRect);
  // Lays the source lines out from topLineIndex on.
  void SetText(const std::vector<WideString>& text, bool firstParaBreak = false, int topLineIndex = 0);
  void SetParaBreaks(bool firstParaBreak, bool lastParaBreak);
  WideString DeleteTags(std::u16string_view txt) const { return TpgwHTMLTagsList::DeleteTags(txt); }

  // Results in report pixels.
  Extended CalcHeight();
  Extended CalcWidth();
  Extended LineHeight() const;
  Extended TextHeight() const;
  Extended UnusedSpace() const;
  // The font height of a surface's current font, in its pixels.
  int GetFontHeight(TCanvas& canvas) const;

  // Splitting: the text that does not fit (and whether the cut falls inside a paragraph); then
  // the text that does.
  WideString GetOutBoundsText(bool& paraBreak);
  WideString GetInBoundsText() const { return FPlainText; }

  void DrawText(TCanvas& canvas, TpgwHAlign hAlign, TpgwVAlign vAlign, TpgwUnderlinesTextMode underlines,
                int selectedLine = -1);
  // Tops of the drawn lines, plus one entry below the last.
  std::vector<int> GetLineY() const;

  // Properties.
  TCanvas& Canvas();
  int DefPPI() const { return FDefPPI; }
  int ScrPPI() const { return FScrPPI; }
  WideString WrappedText() const;
  bool UseDefaultCharset() const { return FUseDefaultCharset; }
  void SetUseDefaultCharset(bool v);
  bool UseMonoFont() const { return FMonoFont; }
  void SetUseMonoFont(bool v) { FMonoFont = v; }
  const std::vector<WideString>& Text() const { return FText; }
  // Paragraph mark of each wrapped line (pmFirstLine, pmLastLine).
  const std::vector<int>& ParagraphMarks() const { return FMarks; }
  const TpgwHTMLTagsList& HTMLTags() const { return FHTMLTags; }
  bool UseOldLineHeight() const { return FUseOldLineHeight; }
  void SetUseOldLineHeight(bool v) { FUseOldLineHeight = v; }
  const WideString& PlainText() const { return FPlainText; }
  int FontSize() const { return FFontSize; }
  Extended CharSpacing() const { return FCharSpacing; }
  Extended LineSpacing() const { return FLineSpacing; }
  Extended ParagraphGap() const { return FParagraphGap; }
  int Options() const { return FOptions; }
  int Rotation() const { return FRotation; }
  bool WordWrap() const { return FWordWrap; }
  bool WordBreak() const { return FWordBreak; }
  bool Wysiwyg() const { return FWysiwyg; }
  bool RTLReading() const { return FRTLReading; }
  const TRect& OriginalRect() const { return FOriginalRect; }
  const TRect& ScaledRect() const { return FScaledRect; }

  // The four faces (regular, bold, italic, bold italic) of one font name and pixel height,
  // looked up once each.
  struct FaceSet {
    WideString Name;
    int Height = 0;
    uint8_t Charset = DEFAULT_CHARSET;
    std::array<const TSizedFont*, 4> Faces{};
    const TSizedFont& Get(TFontStyles style);
    void Reset(const WideString& name, int height, uint8_t charset) {
      if (name == Name && height == Height && charset == Charset) return;
      Name = name;
      Height = height;
      Charset = charset;
      Faces.fill(nullptr);
    }
  };

 private:
  Extended R() const { return static_cast<Extended>(FDefPPI) / FScrPPI; }
  int H600() const;
  int TextMetricHeight600();
  bool NeedsCodePage(uint8_t charset) const;
  // The text as the font's character set shows it (for fonts that are not Unicode).
  std::u16string_view ForCharset(std::u16string_view line, uint8_t charset, WideString& buffer) const;
  // Advances of a line's characters (spacing added to each) into out; cumulative positions on
  // request. Returns the total.
  int MeasureAdvances(FaceSet& faces, std::u16string_view line, const TpgwHTMLTag* tags, int spacing,
                      int* out, bool cumulative);
  void WrapParagraph(WideString& line, int fullWidth, int spacing, int firstWidth);
  void AddWrapped(std::u16string_view text, const TpgwHTMLTag* tags, size_t count, bool hyphen);
  int FindHyphenation(std::u16string_view line, int from, int overflow) const;
  void DrawTextLine(TCanvas& canvas, int lineIndex, TpgwHAlign a, int width, int x, int y);
  void SetRunFont(TCanvas& canvas, const TpgwHTMLTag* tag);

  std::unique_ptr<TBitmap> FBMP;
  int FDefPPI = 600;
  int FScrPPI = 96;
  std::vector<int> FTempArray;
  int FFontSize = 10;
  TFont FFont;  // the internal font (600 pixels per inch)
  FaceSet FFaces;
  int FTmHeight600 = -1;
  TpgwHTMLTagsList FHTMLTags;
  Extended FCharSpacing = 0, FLineSpacing = 0, FParagraphGap = 0;
  int FOptions = 0;
  TRect FOriginalRect, FScaledRect;
  WideString FPlainText;
  Extended FPrintScale = 1;
  int FRotation = 0;
  bool FRTLReading = false, FWordBreak = false, FWordWrap = true, FWysiwyg = true;
  Extended FScaleX = 1, FScaleY = 1;
  std::vector<WideString> FText;
  std::vector<int> FMarks;
  std::vector<uint8_t> FHyphenated;  // per wrapped line: ends with an inserted "-"
  bool FMonoFont = false;
  bool FUseDefaultCharset = false;
  bool FUseOldLineHeight = true;
  std::vector<int> FLineY;
  // Scratch storage reused between calls.
  TpgwHTMLTags FParsed;
  std::vector<int> FAdv600, FAdvDev;
  WideString FCharsetBuf;
  // Drawing state of one DrawText call.
  struct DrawState;
  DrawState* FDraw = nullptr;
};

// Holds the process-wide layout lock for a scope.
class TpgwDrawTextLock {
 public:
  TpgwDrawTextLock() { TpgwDrawText::Lock(); }
  ~TpgwDrawTextLock() { TpgwDrawText::Unlock(); }
  TpgwDrawTextLock(const TpgwDrawTextLock&) = delete;
  TpgwDrawTextLock& operator=(const TpgwDrawTextLock&) = delete;
};

}  // namespace pagewright
