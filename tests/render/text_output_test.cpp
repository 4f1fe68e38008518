// Text drawing as calls on the surface: where each run is output, with which font and which
// per-character advances, on screen and printer surfaces.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "render/draw_text.h"
#include "render/colors.h"
#include "render/fonts.h"

namespace pagewright {
namespace {

struct TextCall {
  int x, y, options;
  WideString text;
  std::vector<int> dx;
  int height, orientation;
  TFontStyles style;
  TColor color;
};

// A surface that records text output; technology and resolution are chosen by the test.
class RecordingCanvas : public TCanvas {
 public:
  RecordingCanvas(int technology, int ppi) : FTechnology(technology), FPpi(ppi) {}
  int GetDeviceCaps(int index) const override {
    if (index == TECHNOLOGY) return FTechnology;
    if (index == LOGPIXELSX || index == LOGPIXELSY) return FPpi;
    return 0;
  }
  std::vector<TextCall> Calls;

 protected:
  void DoLine(TPoint, TPoint) override {}
  void DoFillRect(const TRect&) override {}
  void DoRectangle(const TRect&) override {}
  void DoPolygon(std::span<const TPoint>) override {}
  void DoPolyline(std::span<const TPoint>) override {}
  void DoEllipse(const TRect&) override {}
  void DoRoundRect(const TRect&, int, int) override {}
  void DoCopyRect(const TRect&, const TBitmap&, const TRect&) override {}
  void DoTextOut(int x, int y, int options, const TRect*, std::u16string_view text, const int* dx) override {
    Calls.push_back({x, y, options, WideString(text), std::vector<int>(dx, dx + text.size()), Font().Height(),
                     Font().Orientation(), Font().Style(), Font().Color()});
  }
  void DoClipChanged() override {}
  TSize SurfaceSize() const override { return {10000, 10000}; }

 private:
  int FTechnology, FPpi;
};

constexpr int kScreen = DT_RASDISPLAY;
constexpr int kPrinter = 2;

struct TextSetup {
  std::vector<WideString> text;
  TRect rect = Rect(0, 0, 200, 200);
  TpgwHAlign h = haLeft;
  bool wysiwyg = true, rtl = false, wrap = true, mono = false;
  uint8_t charset = DEFAULT_CHARSET;
  int rotation = 0;
  Extended scale = 1;
};

std::vector<TextCall> Output(RecordingCanvas& canvas, const TextSetup& s, std::vector<int>* lineY = nullptr) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  TFont font;
  font.SetCharset(s.charset);
  font.SetColor(clBlue);
  dt.SetUseMonoFont(s.mono);
  dt.SetFont(font);
  dt.SetOptions(s.wrap, true, s.rtl, false, false, s.wysiwyg, s.rotation);
  dt.SetGaps(0, 0, 0);
  dt.SetDimensions(s.scale, s.scale, 1, s.rect, s.rect);
  dt.SetText(s.text);
  dt.DrawText(canvas, s.h, vaTop, ulmNone, -1);
  if (lineY) *lineY = dt.GetLineY();
  return canvas.Calls;
}

int Sum(const std::vector<int>& v) {
  return std::accumulate(v.begin(), v.end(), 0);
}

const std::u16string kLine = u"Shipping label 0123456789";

// With Wysiwyg the characters span the 600-pixels-per-inch width scaled to the surface; the
// rounding difference is spread one pixel at a time. Without it the surface's own advances.
TEST(TextOutput, WysiwygAdvancesSpanTheLayoutWidth) {
  const int f = FindFont(u"Arial", -83, {}).TextWidth(kLine);
  const std::vector<int> own = FindFont(u"Arial", -13, {}).GetTextExtentExPoint(kLine);
  for (bool wysiwyg : {true, false}) {
    RecordingCanvas canvas(kScreen, 96);
    TextSetup s;
    s.text = {kLine};
    s.wysiwyg = wysiwyg;
    const auto calls = Output(canvas, s);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kLine);
    EXPECT_EQ(Sum(calls[0].dx), wysiwyg ? static_cast<int>(RoundHalfEven(f / 6.25L)) : own.back());
    for (size_t i = 0; i < kLine.size(); ++i) {
      const int base = own[i] - (i ? own[i - 1] : 0);
      EXPECT_LE(std::abs(calls[0].dx[i] - base), 1) << i;
      if (!wysiwyg) { EXPECT_EQ(calls[0].dx[i], base); }
    }
  }
}

TEST(TextOutput, PrinterSurfacesUseTheirResolution) {
  RecordingCanvas canvas(kPrinter, 600);
  TextSetup s;
  s.text = {kLine, u"x", u"y"};
  s.wrap = false;
  std::vector<int> y;
  const auto calls = Output(canvas, s, &y);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].height, -83);
  EXPECT_EQ(Sum(calls[0].dx), FindFont(u"Arial", -83, {}).TextWidth(kLine));
  EXPECT_EQ(calls[1].y - calls[0].y, 83);
  EXPECT_EQ(calls[2].y - calls[1].y, 83);
}

TEST(TextOutput, JustifiedLinesSpreadTheRestOverSpaces) {
  RecordingCanvas canvas(kScreen, 96);
  TextSetup s;
  s.text = {u"aaa bbb ccc ddd eee fff ggg hhh"};
  s.rect = Rect(0, 0, 80, 200);
  s.h = haBlock;
  const auto calls = Output(canvas, s);
  ASSERT_GE(calls.size(), 2u);
  const std::vector<int> own = FindFont(u"Arial", -13, {}).GetTextExtentExPoint(calls[0].text);
  // The full line's spaces take the rest, and one pixel more.
  EXPECT_EQ(Sum(calls[0].dx), 80 + 1);
  for (size_t i = 0; i < calls[0].text.size(); ++i)
    if (calls[0].text[i] != u' ') { EXPECT_EQ(calls[0].dx[i], own[i] - (i ? own[i - 1] : 0)) << i; }
  // The paragraph's last line is left-aligned and keeps its natural width.
  EXPECT_LT(Sum(calls.back().dx), 75);
}

TEST(TextOutput, RunsCarryTheirAttributes) {
  RecordingCanvas canvas(kScreen, 96);
  TextSetup s;
  s.text = {u"H<sub>2</sub>O <b>x</b><sup>3</sup>"};
  const auto calls = Output(canvas, s);
  ASSERT_EQ(calls.size(), 5u);
  const char16_t* texts[] = {u"H", u"2", u"O ", u"x", u"3"};
  const int heights[] = {-13, -9, -13, -13, -9};
  const int offsets[] = {0, 7, 0, 0, 0};  // subscripts sit Round(AddY × size) lower
  int x = 0;
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(calls[i].text, texts[i]) << i;
    EXPECT_EQ(calls[i].height, heights[i]) << i;
    EXPECT_EQ(calls[i].y, offsets[i]) << i;
    EXPECT_EQ(calls[i].x, x) << i;
    x += Sum(calls[i].dx);
  }
  EXPECT_TRUE(calls[3].style.Contains(fsBold));
  EXPECT_FALSE(calls[2].style.Contains(fsBold));
}

TEST(TextOutput, RightToLeftRunsGoFromTheEnd) {
  RecordingCanvas canvas(kScreen, 96);
  TextSetup s;
  s.text = {u"ab<b>cd</b>"};
  s.rtl = true;
  const auto calls = Output(canvas, s);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, u"cd");
  EXPECT_EQ(calls[1].text, u"ab");
  EXPECT_EQ(calls[0].options & ETO_RTLREADING, ETO_RTLREADING);
  EXPECT_LT(calls[0].x, calls[1].x);
}

TEST(TextOutput, RotatedLinesAdvanceAcrossTheBaseline) {
  RecordingCanvas canvas(kScreen, 96);
  TextSetup s;
  s.text = {u"one", u"two"};
  s.rect = Rect(10, 20, 110, 220);
  s.rotation = 90;
  const auto calls = Output(canvas, s);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].orientation, 900);
  EXPECT_EQ(calls[0].x, 10);
  EXPECT_EQ(calls[0].y, 220);
  // Two lines: Round(26.56) = 27 high, so the second starts 27 - 13 = 14 to the right.
  EXPECT_EQ(calls[1].x, 24);
  EXPECT_EQ(calls[1].y, 220);
  EXPECT_EQ(canvas.Font().Orientation(), 0);  // the rotated font is removed afterwards
}

TEST(TextOutput, ColoursAndMonochrome) {
  for (bool mono : {false, true}) {
    RecordingCanvas canvas(kScreen, 96);
    TextSetup s;
    s.text = {u"a<font color=#FF0000>b</font>"};
    s.mono = mono;
    const auto calls = Output(canvas, s);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].color, mono ? clBlack : clBlue);
    EXPECT_EQ(calls[1].color, mono ? clBlack : RGBColor(0xFF, 0, 0));
  }
}

// A font of another character set shows what its code page holds.
TEST(TextOutput, NonUnicodeCharacterSetDrawsTheCodePageText) {
  RecordingCanvas canvas(kScreen, 96);
  TextSetup s;
  s.text = {u"\u00C9t\u00E9 \u0416"};
  s.charset = 0;  // Western
  const auto calls = Output(canvas, s);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, u"\u00C9t\u00E9 ?");
  RecordingCanvas russian(kScreen, 96);
  s.charset = 204;
  EXPECT_EQ(Output(russian, s)[0].text, u"?t? \u0416");
}

}  // namespace
}  // namespace pagewright
