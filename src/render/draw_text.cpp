#include "render/draw_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "platform/code_pages.h"
#include "platform/wide_strings.h"
#include "render/bitmap.h"
#include "render/colors.h"

namespace pagewright {

namespace {

// Device technology of a printer surface (GetDeviceCaps(TECHNOLOGY)).
constexpr int kRasterPrinter = 2;
constexpr size_t kInitialArraySize = 32768;

// Rounding to a pixel value; values beyond the integer range (absurd spacings or scales) are
// held at its ends, and NaN gives 0.
int Round(long double v) {
  constexpr long double kLimit = 2000000000.0L;
  if (!(v == v)) return 0;
  return static_cast<int>(RoundHalfEven(std::clamp(v, -kLimit, kLimit)));
}

int ClampInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, -1000000000, 1000000000));
}

// Settings are held to ranges no report reaches, so that no pixel arithmetic can overflow.
Extended Bounded(Extended v, Extended limit) {
  if (!(v == v)) return 0;
  return std::clamp(v, -limit, limit);
}
TRect BoundedRect(const TRect& r) {
  constexpr int kLimit = 10000000;
  return Rect(std::clamp(r.Left, -kLimit, kLimit), std::clamp(r.Top, -kLimit, kLimit),
              std::clamp(r.Right, -kLimit, kLimit), std::clamp(r.Bottom, -kLimit, kLimit));
}

std::recursive_mutex& LayoutMutex() {
  static std::recursive_mutex m;
  return m;
}

// Sine and cosine of a whole angle in degrees, exact at the right angles.
void SinCos(int degrees, long double& s, long double& c) {
  switch (degrees) {
    case 0:
      s = 0;
      c = 1;
      return;
    case 90:
      s = 1;
      c = 0;
      return;
    case 180:
      s = 0;
      c = -1;
      return;
    case 270:
      s = -1;
      c = 0;
      return;
    default: {
      const long double rad = degrees * 3.14159265358979323846264338327950288L / 180;
      s = std::sin(rad);
      c = std::cos(rad);
    }
  }
}

bool IsJustifySpace(char16_t c) {
  return c == u' ' || c == 0x00A0;
}

// Cyrillic upper-case letters of the syllable rules.
constexpr std::u16string_view kVowels = u"\u0410\u0415\u0401\u0418\u041E\u0423\u042B\u042D\u042E\u042F";
constexpr std::u16string_view kConsonants =
    u"\u0411\u0412\u0413\u0414\u0416\u0417\u0419\u041A\u041B\u041C\u041D\u041F\u0420\u0421\u0422\u0424\u0425"
    u"\u0426\u0427\u0428\u0429\u042C\u042A";
constexpr std::u16string_view kSigns = u"\u042C\u042A";
constexpr char16_t kShortI = 0x0419;

bool IsVowel(char16_t c) {
  return kVowels.find(c) != std::u16string_view::npos;
}
bool IsConsonant(char16_t c) {
  return kConsonants.find(c) != std::u16string_view::npos;
}
bool IsSign(char16_t c) {
  return kSigns.find(c) != std::u16string_view::npos;
}

bool HasVowel(std::u16string_view s) {
  for (char16_t c : s)
    if (IsVowel(c)) return true;
  return false;
}

}  // namespace

// Break positions (count of characters before the break) of an upper-case word.
static void SyllableBreaks(std::u16string_view w, std::vector<int>& out) {
  out.clear();
  const int len = static_cast<int>(w.size());
  if (len <= 3) return;
  for (int k = 1; k <= len; ++k) {
    const char16_t c = w[static_cast<size_t>(k - 1)];
    const bool last = k == len;
    const char16_t next = last ? 0 : w[static_cast<size_t>(k)];
    bool allowed = false;
    if (IsConsonant(c)) {
      allowed = last || (!IsVowel(next) && !IsSign(next));
    } else if (IsVowel(c)) {
      allowed = last || next != kShortI;
      if (allowed && len - k >= 3 && IsConsonant(next) && w[static_cast<size_t>(k + 1)] == next &&
          IsVowel(w[static_cast<size_t>(k + 2)]))
        allowed = false;
    }
    if (!allowed) continue;
    const std::u16string_view head = w.substr(0, static_cast<size_t>(k)),
                              tail = w.substr(static_cast<size_t>(k));
    if (head.size() >= 2 && tail.size() >= 2 && HasVowel(head) && HasVowel(tail)) out.push_back(k);
  }
}

void DistributeIncrements(int* a, int first, int last, int one, int count) {
  if (count <= 0 || last < first) return;
  const int k = std::max(1, (last - first + 1) / 2);
  if (count == 1) {
    a[first + k - 1] += one;
    return;
  }
  DistributeIncrements(a, first, first + k - 1, one, count / 2);
  DistributeIncrements(a, first + k, last, one, count - count / 2);
}

// Spreads a correction over n values: an equal share each, the rest by halving.
static void SpreadCorrection(int* a, int n, int correction) {
  if (n <= 0 || correction == 0) return;
  const int one = correction > 0 ? 1 : -1;
  if (std::abs(correction) < n) {
    DistributeIncrements(a, 0, n - 1, one, std::abs(correction));
    return;
  }
  const int share = correction / n, rest = correction % n;
  for (int i = 0; i < n; ++i) a[i] += share;
  DistributeIncrements(a, 0, n - 1, one, std::abs(rest));
}

TpgwTextOrigin ComputeTextOrigin(const TRect& r, int rotation, int blockHeight, Extended lineSpacing,
                                 TpgwVAlign vAlign) {
  const int theta = ((rotation % 360) + 360) % 360;
  long double sn, cs;
  SinCos(theta, sn, cs);
  const long double s = std::fabs(sn), c = std::fabs(cs);
  int F = blockHeight;
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  TpgwTextOrigin o;
  switch (theta) {
    case 0:
      o = {L, T, R - L, B - T};
      break;
    case 90:
      o = {L, B, B - T, R - L};
      break;
    case 180:
      o = {R, B, R - L, B - T};
      break;
    case 270:
      o = {R, T, B - T, R - L};
      break;
    default: {
      o.W = c > 0 ? Round((R - L - s * F) / c) : 0;
      if (theta < 90) {
        o.X = L;
        o.Y = T + Round(s * o.W);
        o.A = F + B - o.Y - Round(c * F);
      } else if (theta < 180) {
        o.X = L + Round(c * o.W);
        o.Y = B;
        o.A = F + B - T - Round(c * F + s * o.W);
      } else if (theta < 270) {
        o.X = R;
        o.Y = B - Round(s * o.W);
        o.A = F + o.Y - T - Round(c * F);
      } else {
        o.X = L + Round(s * F);
        o.Y = T;
        o.A = F + B - T - Round(s * o.W + c * F);
      }
    }
  }
  if (lineSpacing < 0 && vAlign != vaTop) F += std::abs(Round(2 * lineSpacing));
  const int D = o.A - F;
  long double cosP, sinP;
  if (theta % 90 == 0) {
    cosP = cs;
    sinP = sn;
  } else if (theta < 90 || theta > 270) {
    cosP = 1;
    sinP = 0;
  } else {
    cosP = -1;
    sinP = 0;
  }
  if (vAlign == vaBottom) {
    o.X += Round(D * sinP);
    o.Y += Round(D * cosP);
  } else if (vAlign == vaCenter) {
    o.X += Round(D / 2.0L * sinP);
    o.Y += Round(D / 2.0L * cosP);
  }
  return o;
}

// ---------------------------------------------------------------------------------------------

const TSizedFont& TpgwDrawText::FaceSet::Get(TFontStyles style) {
  const int idx = (style.Contains(fsBold) ? 1 : 0) + (style.Contains(fsItalic) ? 2 : 0);
  const TSizedFont*& f = Faces[static_cast<size_t>(idx)];
  if (!f) {
    TFontStyles face;
    if (idx & 1) face.Include(fsBold);
    if (idx & 2) face.Include(fsItalic);
    f = &FindFont(Name, Height, face);
  }
  return *f;
}

struct TpgwDrawText::DrawState {
  bool Printer = false;
  int X = 96, Y = 96;
  long double Sin = 0, Cos = 1;
  bool BaseBoldOrItalic = false;
  FaceSet DevFaces;
  std::vector<std::pair<int, int>> Runs;
  int DevHeight(int size, Extended printScale, Extended scaleY, bool horizontal) const {
    if (Printer) return -Round(size * static_cast<long double>(horizontal ? X : Y) * printScale / 72);
    return -Round(size * scaleY * 96 / 72);
  }
};

TpgwDrawText::TpgwDrawText() : FBMP(std::make_unique<TBitmap>(1, 1)), FTempArray(kInitialArraySize) {
  SetFont(TFont());
}

TpgwDrawText::~TpgwDrawText() = default;

void TpgwDrawText::Lock() {
  LayoutMutex().lock();
}
void TpgwDrawText::Unlock() {
  LayoutMutex().unlock();
}
void TpgwDrawText::LockCanvas() {
  FBMP->Canvas().Lock();
}
void TpgwDrawText::UnlockCanvas() {
  FBMP->Canvas().Unlock();
}

TCanvas& TpgwDrawText::Canvas() {
  return FBMP->Canvas();
}

void TpgwDrawText::SetFont(const TFont& font) {
  TCanvasLock guard(FBMP->Canvas());
  const int size = font.Size();
  FFont.SetName(font.Name());
  FFont.SetStyle(font.Style());
  FFont.SetCharset(font.Charset());
  FFont.SetColor(FMonoFont ? clBlack : font.Color());
  FFont.SetHeight(-Round(size * static_cast<long double>(FDefPPI) / 72));
  FTmHeight600 = -1;
  FFontSize = size;
  FFaces.Reset(FFont.Name(), FFont.Height(), FFont.Charset());
  FBMP->Canvas().Font().Assign(FFont);
}

void TpgwDrawText::SetUseDefaultCharset(bool v) {
  FUseDefaultCharset = v;
}

void TpgwDrawText::SetOptions(bool wordWrap, bool htmlTags, bool rtlReading, bool wordBreak, bool clipped,
                              bool wysiwyg, int rotation) {
  FWordWrap = wordWrap;
  FHTMLTags.AllowTags = htmlTags;
  FRTLReading = rtlReading;
  FWordBreak = wordBreak;
  FWysiwyg = wysiwyg;
  FOptions = (rtlReading ? ETO_RTLREADING : 0) | (clipped ? ETO_CLIPPED : 0);
  FRotation = ((rotation % 360) + 360) % 360;
}

void TpgwDrawText::SetGaps(Extended paragraphGap, Extended charSpacing, Extended lineSpacing) {
  FParagraphGap = Bounded(paragraphGap, 100000);
  FCharSpacing = Bounded(charSpacing, 100000);
  FLineSpacing = Bounded(lineSpacing, 100000);
}

void TpgwDrawText::SetDimensions(Extended scaleX, Extended scaleY, Extended printScale,
                                 const TRect& originalRect, const TRect& scaledRect) {
  FScaleX = Bounded(scaleX, 1000);
  FScaleY = Bounded(scaleY, 1000);
  FPrintScale = Bounded(printScale, 1000);
  FOriginalRect = BoundedRect(originalRect);
  FScaledRect = BoundedRect(scaledRect);
}

bool TpgwDrawText::NeedsCodePage(uint8_t charset) const {
  // Symbol fonts map their bytes to private-use characters of their own: measure them as given.
  return charset != DEFAULT_CHARSET && charset != SYMBOL_CHARSET && !FUseDefaultCharset;
}

std::u16string_view TpgwDrawText::ForCharset(std::u16string_view line, uint8_t charset,
                                             WideString& buffer) const {
  if (!NeedsCodePage(charset)) return line;
  const uint32_t cp = CharsetToCodePage(charset);
  buffer = CodePageToWide(WideToCodePage(line, cp), cp);
  if (buffer.size() != line.size()) {
    // A character the code page cannot hold one to one: convert unit by unit so that positions
    // keep matching the line.
    buffer.resize(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
      const WideString one = CodePageToWide(WideToCodePage(line.substr(i, 1), cp), cp);
      buffer[i] = one.size() == 1 ? one[0] : u'?';
    }
  }
  return buffer;
}

int TpgwDrawText::MeasureAdvances(FaceSet& faces, std::u16string_view lineIn, const TpgwHTMLTag* tags,
                                  int spacing, int* out, bool cumulative) {
  const std::u16string_view line = ForCharset(lineIn, faces.Charset, FCharsetBuf);
  const size_t n = line.size();
  int64_t total = 0;
  size_t start = 0;
  while (start < n) {
    size_t end = n;
    TFontStyles style = FFont.Style();
    if (tags) {
      style = tags[start].Style;
      end = start + 1;
      while (end < n && tags[end].Style == style) ++end;
    }
    const TSizedFont& face = faces.Get(style);
    int* run = out + start;
    face.GetTextExtentExPoint(line.substr(start, end - start), run);
    for (size_t k = end - start; k-- > 1;) run[k] -= run[k - 1];
    for (size_t k = start; k < end; ++k) {
      int64_t a = std::clamp<int64_t>(int64_t{out[k]} + spacing, -1000000000, 1000000000);
      if (tags && tags[k].Small) a = Round(a / 1.5L);
      out[k] = static_cast<int>(a);
      total += a;
    }
    start = end;
  }
  if (cumulative) {
    int64_t sum = 0;
    for (size_t k = 0; k < n; ++k) {
      sum = std::clamp<int64_t>(sum + out[k], INT32_MIN, INT32_MAX);
      out[k] = static_cast<int>(sum);
    }
  }
  return static_cast<int>(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
}

int TpgwDrawText::H600() const {
  if (FUseOldLineHeight) return std::abs(FFont.Height());
  return const_cast<TpgwDrawText*>(this)->TextMetricHeight600();
}

int TpgwDrawText::TextMetricHeight600() {
  if (FTmHeight600 < 0) FTmHeight600 = FFaces.Get(FFont.Style()).TextMetrics().tmHeight;
  return FTmHeight600;
}

int TpgwDrawText::GetFontHeight(TCanvas& canvas) const {
  if (FUseOldLineHeight) return std::abs(canvas.Font().Height());
  return canvas.GetTextMetrics().tmHeight;
}

void TpgwDrawText::SetText(const std::vector<WideString>& text, bool firstParaBreak, int topLineIndex) {
  TCanvasLock guard(FBMP->Canvas());
  FPlainText.clear();
  FText.clear();
  FMarks.clear();
  FHyphenated.clear();
  FHTMLTags.Clear();
  FHTMLTags.Init(FFont.Color(), FFontSize, FFont.Style());
  const bool across = (FRotation >= 90 && FRotation <= 179) || (FRotation >= 270 && FRotation <= 359);
  const long double w = across ? FOriginalRect.Height() : FOriginalRect.Width();
  const int full = Round(R() * w);
  const int spacing = Round(R() * FCharSpacing);
  const int first = Round(R() * (w - FParagraphGap));
  WideString line;
  for (size_t i = static_cast<size_t>(std::max(0, topLineIndex)); i < text.size(); ++i) {
    line = text[i];
    if (line.empty()) line = u" ";
    FPlainText += line;
    FPlainText += u"\r\n";
    const size_t before = FText.size();
    WrapParagraph(line, full, spacing,
                  firstParaBreak && i == static_cast<size_t>(topLineIndex) ? full : first);
    if (FText.size() > before) {
      FMarks[before] |= pmFirstLine;
      FMarks.back() |= pmLastLine;
    }
  }
}

void TpgwDrawText::SetParaBreaks(bool firstParaBreak, bool lastParaBreak) {
  if (FMarks.empty()) return;
  if (firstParaBreak) FMarks.front() &= ~pmFirstLine;
  if (lastParaBreak) FMarks.back() &= ~pmLastLine;
}

void TpgwDrawText::AddWrapped(std::u16string_view text, const TpgwHTMLTag* tags, size_t count, bool hyphen) {
  WideString& s = FText.emplace_back();
  s.reserve(text.size() + (hyphen ? 1 : 0));
  s.assign(text);
  if (hyphen) s += u'-';
  FMarks.push_back(0);
  FHyphenated.push_back(hyphen ? 1 : 0);
  TpgwHTMLTags& t = FHTMLTags.Add();
  t.assign(tags, tags + count);
  if (hyphen && !t.empty()) t.push_back(t.back());
  // A line that starts inside a run keeps the run's attributes: its first character is only
  // "default" when it looks like the defaults.
  if (!t.empty() && t[0].Default) t[0].Default = FHTMLTags.IsDefaultLook(t[0]);
}

int TpgwDrawText::FindHyphenation(std::u16string_view line, int from, int overflow) const {
  if (from < 0 || static_cast<size_t>(from) >= line.size()) return 0;
  size_t end = static_cast<size_t>(from);
  while (end < line.size() && line[end] != u' ' && line[end] != u'.' && line[end] != u',' &&
         line[end] != u'-' && line[end] != u';')
    ++end;
  const int fit = overflow - from;
  if (fit <= 1) return 0;
  const WideString word =
      WideUpperCase(line.substr(static_cast<size_t>(from), end - static_cast<size_t>(from)));
  thread_local std::vector<int> breaks;
  SyllableBreaks(word, breaks);
  int best = 0;
  for (int b : breaks)
    if (b < fit && b > best) best = b;
  return best;
}

void TpgwDrawText::WrapParagraph(WideString& line, int fullWidth, int spacing, int firstWidth) {
  FHTMLTags.ExpandHTMLTags(line, FParsed);
  FHTMLTags.Position += 2;
  const int n = static_cast<int>(line.size());
  const TpgwHTMLTag* tags = FParsed.data();
  if (n <= 1 || !FWordWrap) {
    AddWrapped(line, tags, static_cast<size_t>(n), false);
    return;
  }
  if (FTempArray.size() < static_cast<size_t>(n)) FTempArray.resize(static_cast<size_t>(n));
  int* P = FTempArray.data();
  const int total = MeasureAdvances(FFaces, line, tags, spacing, P, true);
  if (total < firstWidth) {
    AddWrapped(line, tags, static_cast<size_t>(n), false);
    return;
  }
  const std::u16string_view text = line;
  int limit = firstWidth, from = 0, d = 0, e = 0;
  int i = 0;
  while (i < n) {
    if (text[static_cast<size_t>(i)] == u' ' && !tags[i].DontWRAP) d = i;
    if (P[i] - e > limit) {
      int lineEnd, next;
      bool hyphen = false;
      if (d > from) {
        const int k = FWordBreak && d + 1 < n ? FindHyphenation(text, d + 1, i) : 0;
        if (k > 0) {
          lineEnd = next = d + 1 + k;
          hyphen = true;
        } else {
          lineEnd = d;
          next = d + 1;
        }
      } else if (i == from) {
        lineEnd = next = i + 1;
      } else {
        const int k = FWordBreak ? FindHyphenation(text, from, i) : 0;
        if (k > 0) {
          lineEnd = next = from + k;
          hyphen = true;
        } else {
          lineEnd = next = i;
        }
      }
      AddWrapped(text.substr(static_cast<size_t>(from), static_cast<size_t>(lineEnd - from)), tags + from,
                 static_cast<size_t>(lineEnd - from), hyphen);
      e = P[next - 1];
      limit = fullWidth;
      from = d = i = next;
      continue;
    }
    ++i;
  }
  if (from < n)
    AddWrapped(text.substr(static_cast<size_t>(from)), tags + from, static_cast<size_t>(n - from), false);
}

Extended TpgwDrawText::TextHeight() const {
  return H600() / R();
}

Extended TpgwDrawText::LineHeight() const {
  return H600() / R() + FLineSpacing;
}

Extended TpgwDrawText::CalcHeight() {
  const size_t n = FText.size();
  if (n == 0) return 0;
  const int h = H600();
  Extended result = n * (h / R() + FLineSpacing);
  if (FLineSpacing < 0) result -= FLineSpacing;
  if (FFontSize > 12) {
    const Extended excess = (TextMetricHeight600() - h) / R();
    if (excess > 0) result += excess;
  }
  return result;
}

Extended TpgwDrawText::CalcWidth() {
  TCanvasLock guard(FBMP->Canvas());
  if (FText.empty()) return 0;
  int64_t best = 0;
  const int gap = Round(R() * FParagraphGap);
  for (size_t i = 0; i < FText.size(); ++i) {
    const std::u16string_view line = ForCharset(FText[i], FFont.Charset(), FCharsetBuf);
    const TpgwHTMLTags& tags = FHTMLTags[static_cast<int>(i)];
    int64_t w = 0;
    if (FHTMLTags.AllowTags && tags.size() == line.size()) {
      size_t start = 0;
      while (start < line.size()) {
        size_t end = start + 1;
        while (end < line.size() && tags[end].Style == tags[start].Style) ++end;
        w += FFaces.Get(tags[start].Style).TextWidth(line.substr(start, end - start));
        start = end;
      }
    } else {
      w = FFaces.Get(FFont.Style()).TextWidth(line);
    }
    w += Round(R() * static_cast<long double>(line.size()) * FCharSpacing);
    if (FMarks[i] & pmFirstLine) w += gap;
    best = std::max(best, w);
  }
  return best / R();
}

Extended TpgwDrawText::UnusedSpace() const {
  const Extended lh = LineHeight();
  if (lh <= 0) return 0;
  const Extended avail = FOriginalRect.Height() + 1;
  const int64_t n = Trunc(std::min<Extended>(avail / lh, 1e15L));
  if (n <= 0) return 0;
  const Extended r = avail - n * lh;
  return r == 0 ? 0.0001L : r;
}

WideString TpgwDrawText::GetOutBoundsText(bool& paraBreak) {
  paraBreak = false;
  const int64_t count = static_cast<int64_t>(FText.size());
  if (count == 0) return WideString();
  const Extended lh = LineHeight();
  const int64_t n = lh > 0 ? Trunc(std::min<Extended>((FOriginalRect.Height() + 1) / lh, 1e15L)) : count;
  if (n >= count) return WideString();
  const size_t N = static_cast<size_t>(std::max<int64_t>(0, n));
  const TpgwHTMLTags& cutTags = FHTMLTags[static_cast<int>(N)];
  TpgwHTMLTag cut = cutTags.empty() ? TpgwHTMLTag{} : cutTags[0];
  if (cutTags.empty()) {
    cut.Position = static_cast<int>(FPlainText.size()) + 1;
    cut.Color = FHTMLTags.DefColor;
    cut.Style = FHTMLTags.DefStyle;
  }
  paraBreak = N > 0 && !(FMarks[N - 1] & pmLastLine);
  const size_t pos = std::min(static_cast<size_t>(std::max(1, cut.Position)) - 1, FPlainText.size());
  WideString rest = FPlainText.substr(pos);
  if (paraBreak && !rest.empty() && rest[0] == u' ') rest.erase(0, 1);
  FPlainText.resize(pos);
  if (FWordBreak && N > 0 && FHyphenated[N - 1]) FPlainText += u'-';
  if (FHTMLTags.AllowTags) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    const TColor rgb = ColorToRGB(cut.Color);
    WideString prefix = u"<font color=\"#";
    for (uint8_t b : {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)}) {
      prefix += kHex[b >> 4];
      prefix += kHex[b & 15];
    }
    prefix += u"\">";
    if (cut.SubType == ssSuperscript)
      prefix += u"<sup>";
    else if (cut.SubType == ssSubscript)
      prefix += u"<sub>";
    if (cut.Style.Contains(fsUnderline)) prefix += u"<u>";
    if (cut.Style.Contains(fsItalic)) prefix += u"<i>";
    if (cut.Style.Contains(fsBold)) prefix += u"<b>";
    rest.insert(0, prefix);
  }
  FText.resize(N);
  FMarks.resize(N);
  FHyphenated.resize(N);
  FHTMLTags.Truncate(static_cast<int>(N));
  return rest;
}

WideString TpgwDrawText::WrappedText() const {
  WideString s;
  for (const WideString& l : FText) {
    s += l;
    s += u"\r\n";
  }
  return s;
}

std::vector<int> TpgwDrawText::GetLineY() const {
  std::vector<int> r = FLineY;
  if (!r.empty()) r.push_back(r.back() + Round(LineHeight() * FScaleY) + 1);
  return r;
}

// ---------------------------------------------------------------------------------------------
// Drawing

namespace {

// Restores a canvas's font description when drawing ends.
class FontRestorer {
 public:
  explicit FontRestorer(TCanvas& c) : FCanvas(c), FSaved(c.Font()) {}
  ~FontRestorer() { FCanvas.Font().Assign(FSaved); }

 private:
  TCanvas& FCanvas;
  TFont FSaved;
};

}  // namespace

void TpgwDrawText::DrawText(TCanvas& canvas, TpgwHAlign hAlign, TpgwVAlign vAlign,
                            TpgwUnderlinesTextMode underlines, int selectedLine) {
  const int n = static_cast<int>(FText.size());
  FLineY.clear();
  if (n == 0 && underlines == ulmNone) return;
  TCanvasLock guard(FBMP->Canvas());
  TCanvasLock targetGuard(canvas);
  FontRestorer restore(canvas);
  DrawState st;
  st.Printer = canvas.GetDeviceCaps(TECHNOLOGY) == kRasterPrinter;
  st.X = EffectivePixelsPerInch(canvas.GetDeviceCaps(LOGPIXELSX));
  st.Y = EffectivePixelsPerInch(canvas.GetDeviceCaps(LOGPIXELSY));
  SinCos(FRotation, st.Sin, st.Cos);
  FDraw = &st;
  struct Reset {
    DrawState*& p;
    ~Reset() { p = nullptr; }
  } reset{FDraw};

  // 1-3: the surface font and its height.
  TFont& font = canvas.Font();
  font.SetName(FFont.Name());
  font.SetCharset(FFont.Charset());
  font.SetStyle(FFont.Style());
  font.SetColor(FMonoFont ? clBlack : FFont.Color());
  font.SetHeight(st.DevHeight(FFontSize, FPrintScale, FScaleY, false));
  if (n > 0 && FHTMLTags.Count() > 0 && !FHTMLTags[0].empty() && !FHTMLTags[0][0].Default) {
    const TpgwHTMLTag& t = FHTMLTags[0][0];
    font.SetStyle(t.Style);
    font.SetColor(FMonoFont ? clBlack : t.Color);
    font.SetHeight(st.DevHeight(t.Size, FPrintScale, FScaleY, false));
  }
  font.SetOrientation(FRotation * 10);
  st.BaseBoldOrItalic = font.Style().Contains(fsBold) || font.Style().Contains(fsItalic);
  const int hdev = GetFontHeight(canvas);
  st.DevFaces.Reset(FFont.Name(), st.DevHeight(FFontSize, FPrintScale, FScaleY, false), FFont.Charset());

  // 4-5: block height and line steps.
  const int h600 = H600();
  int F;
  if (st.Printer) {
    const long double u = 600.0L / st.Y / FPrintScale;
    F = Round((FLineSpacing * FScaleY * u * n + static_cast<long double>(h600) * n) / u);
  } else {
    const long double u = R();
    F = Round((FLineSpacing * u * n + static_cast<long double>(h600) * n) / u * FScaleY);
  }
  const int stepBase = hdev + Round(FLineSpacing * FScaleY);
  std::vector<int64_t> steps(static_cast<size_t>(n), stepBase);
  if (n > 0) steps.back() = 0;
  if (FWysiwyg && n > 1) {
    const int64_t V = int64_t{F} - int64_t{n} * stepBase;
    const int64_t share = V / (n - 1);
    const int rest = static_cast<int>(V % (n - 1));
    std::vector<int> extra(static_cast<size_t>(n - 1), 0);
    if (std::abs(V) < n) {
      DistributeIncrements(extra.data(), 0, n - 2, V > 0 ? 1 : -1, static_cast<int>(std::abs(V)));
    } else {
      for (int i = 0; i < n - 1; ++i) steps[static_cast<size_t>(i)] += share;
      DistributeIncrements(extra.data(), 0, n - 2, rest > 0 ? 1 : -1, std::abs(rest));
    }
    for (int i = 0; i < n - 1; ++i) steps[static_cast<size_t>(i)] += extra[static_cast<size_t>(i)];
  }
  canvas.SetBkMode(TRANSPARENT);

  // 7: origin.
  const TpgwTextOrigin origin = ComputeTextOrigin(FScaledRect, FRotation, F, FLineSpacing, vAlign);
  int64_t x0 = origin.X, y0 = origin.Y;
  const int W = origin.W;

  // 8: underline rules.
  int o, S;
  if (st.Printer) {
    o = Round(FLineSpacing * st.Y * FPrintScale / 96);
    S = hdev + Round(FLineSpacing * (st.Y * FPrintScale / 96));
  } else {
    o = Round((FLineSpacing - FScaleY) * FScaleY);
    S = hdev + Round(FLineSpacing * FScaleY);
  }
  const int T = FScaledRect.Top, B = FScaledRect.Bottom;
  const bool rules = underlines != ulmNone && FRotation == 0 && S > 0;
  auto rule = [&](int64_t yy) {
    canvas.MoveTo(ClampInt(x0), ClampInt(yy));
    canvas.LineTo(ClampInt(x0 + W), ClampInt(yy));
  };
  // Series of rules y = base + k * S (k from kFirst to kLast, stepping by dir) are drawn only
  // where the surface can show them, so a huge rectangle costs no more than the surface.
  const TRect visible = canvas.ClipRect();
  auto ruleSeries = [&](int64_t base, int64_t step, int64_t kFirst, int64_t kLast, auto&& keep) {
    if (kFirst > kLast) return;
    int64_t lo = kFirst, hi = kLast;  // clip k to the visible rows
    const int64_t top = visible.Top - 1, bottom = visible.Bottom + 1;
    if (step > 0) {
      lo = std::max(lo, (top - base) / step - 1);
      hi = std::min(hi, (bottom - base) / step + 1);
    } else {
      lo = std::max(lo, (base - bottom) / -step - 1);
      hi = std::min(hi, (base - top) / -step + 1);
    }
    for (int64_t k = lo; k <= hi; ++k) {
      const int64_t yy = base + k * step;
      if (keep(yy)) rule(yy);
    }
  };
  if (rules && n == 0 && underlines == ulmUnderlinesAll)
    ruleSeries(int64_t{T} - o, S, 1, Trunc(static_cast<long double>(B - T) / S) + 1,
               [&](int64_t yy) { return yy < B; });

  for (int i = 0; i < n; ++i) {
    const int mark = FMarks[static_cast<size_t>(i)];
    TpgwHAlign a = hAlign;
    const int d =
        (mark & pmFirstLine) && (hAlign == haLeft || hAlign == haBlock) ? Round(FParagraphGap * FScaleX) : 0;
    if ((mark & pmLastLine) && hAlign == haBlock) a = FRTLReading ? haRight : haLeft;
    const int x = ClampInt(x0 + Round(st.Cos * d)), y = ClampInt(y0 - Round(st.Sin * d));
    FLineY.push_back(y);
    if (i == selectedLine && FRotation == 0) {
      const TBrush saved = canvas.Brush();
      canvas.Brush().SetColor(clHighlight);
      canvas.Brush().SetStyle(bsSolid);
      canvas.FillRect(Rect(x, y, ClampInt(int64_t{x} + W - d), ClampInt(int64_t{y} + stepBase)));
      canvas.Brush().SetColor(saved.Color());
      canvas.Brush().SetStyle(saved.Style());
      canvas.SetBkMode(TRANSPARENT);
    }
    DrawTextLine(canvas, i, a, W - d, x, y);
    if (rules) {
      if (underlines == ulmUnderlinesAll && i == 0 && vAlign != vaTop) {
        ruleSeries(int64_t{y} - o, -S, 0, Trunc(static_cast<long double>(y - T) / S),
                   [&](int64_t yy) { return yy > T; });
      }
      const int yy = y + S - o;
      const bool blank = Trim(FText[static_cast<size_t>(i)]).empty();
      if (yy > T && yy <= B && !(underlines == ulmUnderlinesText && blank)) rule(yy);
      if (underlines == ulmUnderlinesAll && i == n - 1 && vAlign != vaBottom) {
        ruleSeries(int64_t{y} - o, S, 2, Trunc(static_cast<long double>(B - y) / S),
                   [&](int64_t yy) { return yy <= B; });
      }
    }
    y0 =
        std::clamp<int64_t>(y0 + Round(steps[static_cast<size_t>(i)] * st.Cos), INT32_MIN / 2, INT32_MAX / 2);
    x0 =
        std::clamp<int64_t>(x0 + Round(steps[static_cast<size_t>(i)] * st.Sin), INT32_MIN / 2, INT32_MAX / 2);
  }
}

void TpgwDrawText::DrawTextLine(TCanvas& canvas, int lineIndex, TpgwHAlign a, int width, int xStart,
                                int yStart) {
  int64_t x = xStart, y = yStart;
  DrawState& st = *FDraw;
  const WideString& line = FText[static_cast<size_t>(lineIndex)];
  const int len = static_cast<int>(line.size());
  if (len == 0) return;
  const TpgwHTMLTags& tagList = FHTMLTags[lineIndex];
  const TpgwHTMLTag* tags = tagList.size() == line.size() ? tagList.data() : nullptr;
  if (FAdv600.size() < line.size()) FAdv600.resize(line.size());
  if (FAdvDev.size() < line.size()) FAdvDev.resize(line.size());
  int* adv = FAdvDev.data();

  // 1-2: widths on the layout surface and on the target.
  const int sp600 = Round(FCharSpacing * R());
  const int spDev = Round(FCharSpacing * FScaleX);
  const int f = ClampInt(int64_t{MeasureAdvances(FFaces, line, tags, sp600, FAdv600.data(), false)} - sp600);
  const int m = ClampInt(int64_t{MeasureAdvances(st.DevFaces, line, tags, spDev, adv, false)} - spDev);
  adv[len - 1] -= spDev;
  int v = st.Printer ? Round(f * FPrintScale / (600.0L / st.X)) : Round(f / R() * FScaleX);
  if (!FWysiwyg) v = m;

  // 3: alignment.
  const int64_t g = int64_t{width} - v;
  bool left = a == haLeft;
  switch (a) {
    case haRight:
      x += Round((g + 1) * st.Cos);
      y -= Round((g + 1) * st.Sin);
      x -= 1;
      if (st.BaseBoldOrItalic && FRotation == 0) x -= 1;
      break;
    case haCenter:
      x += Round(g / 2.0L * st.Cos);
      y -= Round(g / 2.0L * st.Sin);
      break;
    case haBlock: {
      int spaces = 0;
      for (char16_t c : line) spaces += IsJustifySpace(c) ? 1 : 0;
      if (spaces == 0) {
        left = true;
        break;
      }
      const int correction = ClampInt(std::abs(int64_t{width}) - m);
      const int share = correction / spaces, rest = correction % spaces;
      const int extra = correction >= 0 ? rest + 1 : -rest;
      const int one = correction >= 0 ? 1 : -1;
      int seen = 0;
      for (int k = 0; k < len; ++k) {
        if (!IsJustifySpace(line[static_cast<size_t>(k)])) continue;
        adv[k] += share + (seen < extra ? one : 0);
        ++seen;
      }
      break;
    }
    default:
      break;
  }
  if (a != haBlock || left) SpreadCorrection(adv, len, ClampInt(int64_t{v} - m));

  // 4-6: runs.
  auto& runs = st.Runs;
  runs.clear();
  int start = 0;
  for (int k = 1; k < len; ++k)
    if (tags && !tags[k].Default) {
      runs.emplace_back(start, k);
      start = k;
    }
  runs.emplace_back(start, len);
  if (FRTLReading && FHTMLTags.AllowTags) std::reverse(runs.begin(), runs.end());
  TFont& font = canvas.Font();
  for (const auto& [from, to] : runs) {
    int offset = 0;
    if (tags) {
      const TpgwHTMLTag& t = tags[from];
      font.SetStyle(t.Style);
      font.SetColor(FMonoFont ? clBlack : t.Color);
      font.SetHeight(st.DevHeight(t.Size, FPrintScale, FScaleY, true));
      offset = Round(static_cast<long double>(t.AddY) * t.Size * FScaleY);
    }
    const std::u16string_view text = ForCharset(
        std::u16string_view(line).substr(static_cast<size_t>(from), static_cast<size_t>(to - from)),
        FFont.Charset(), FCharsetBuf);
    canvas.ExtTextOut(ClampInt(x + Round(st.Sin * offset)), ClampInt(y + Round(st.Cos * offset)), FOptions,
                      &FScaledRect, text, adv + from);
    int64_t runWidth = 0;
    for (int k = from; k < to; ++k) runWidth += adv[k];
    x += Round(runWidth * st.Cos);
    y -= Round(runWidth * st.Sin);
  }
}

}  // namespace pagewright
