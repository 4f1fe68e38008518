// Text layout at 600 pixels per inch: wrapping, hyphenation, tags, paragraph marks, heights,
// widths and splitting. Widths are derived from the face's own advances, so each case states
// which part of the text the rectangle was made to hold.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "render/draw_text.h"
#include "render/fonts.h"

namespace pagewright {
namespace {

constexpr long double kR = 6.25L;

// Width at 600 pixels per inch of Arial 10 (83 pixels).
int W600(std::u16string_view s, TFontStyles style = {}) {
  return FindFont(u"Arial", -83, style).TextWidth(s);
}
// The smallest rectangle width in report pixels whose layout width holds s.
int WidthFor(std::u16string_view s) {
  return static_cast<int>(std::ceil(W600(s) / kR));
}

std::vector<WideString> Split(std::u16string_view s) {
  std::vector<WideString> r;
  size_t start = 0;
  for (;;) {
    size_t nl = s.find(u'\n', start);
    r.emplace_back(s.substr(start, nl == std::u16string_view::npos ? std::u16string_view::npos : nl - start));
    if (nl == std::u16string_view::npos) break;
    start = nl + 1;
  }
  return r;
}

std::string Utf8(const WideString& s) {
  std::string r;
  for (char16_t c : s) {
    if (c < 0x80) {
      r += static_cast<char>(c);
    } else if (c < 0x800) {
      r += static_cast<char>(0xC0 | (c >> 6));
      r += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      r += static_cast<char>(0xE0 | (c >> 12));
      r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return r;
}

// The wrapped lines joined by "|".
std::string Joined(const TpgwDrawText& dt) {
  std::string s;
  for (size_t i = 0; i < dt.Text().size(); ++i) s += (i ? "|" : "") + Utf8(dt.Text()[i]);
  return s;
}

struct Opts {
  int width = 1000;
  int height = 1000;
  bool wordBreak = false;
  bool wordWrap = true;
  bool tags = true;
  Extended paragraphGap = 0, charSpacing = 0, lineSpacing = 0;
  bool firstParaBreak = false;
};

void Configure(TpgwDrawText& dt, std::u16string_view text, const Opts& s, const TFont& font = TFont()) {
  dt.SetFont(font);
  dt.SetOptions(s.wordWrap, s.tags, false, s.wordBreak, false, true, 0);
  dt.SetGaps(s.paragraphGap, s.charSpacing, s.lineSpacing);
  const TRect r = Rect(0, 0, s.width, s.height);
  dt.SetDimensions(1, 1, 1, r, r);
  dt.SetText(Split(text), s.firstParaBreak);
}

std::string Layout(std::u16string_view text, const Opts& s) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  Configure(dt, text, s);
  return Joined(dt);
}

struct WrapCase {
  const char16_t* text;
  const char16_t* fits;  // the rectangle is made just wide enough for this
  bool wordBreak;
  const char* lines;
};

TEST(TextLayout, WrapsAtTheWidth) {
  const WrapCase cases[] = {
      {u"aaa bbb ccc", u"aaa bbb", false, "aaa bbb|ccc"},
      {u"aaa bbb ccc", u"aaa bbb ", false, "aaa bbb|ccc"},  // the space at the break is dropped
      {u"aaa bbb ccc", u"aaa bb", false, "aaa|bbb|ccc"},
      {u"abcdefghij", u"abcd", false,
       "abcd|efghi|j"},  // a word longer than the line; "efghi" is as wide as "abcd"
      {u"abcdefghij", u"abcd", true, "abcd|efghi|j"},  // no syllables in Latin: cut, no hyphen
      {u"abc defghijklmnop", u"abc defg", true, "abc|defghijkl|mnop"},
      {u"W", u"", false, "W"},                     // one character never wraps
      {u"WW", u"", false, "W|W"},                  // each too-wide character alone
      {u"aaaa    ", u"aaaa ", false, "aaaa |  "},  // trailing spaces
      {u"a<nowrap>b c</nowrap>d e", u"ab c", false, "ab c|d e"},
      {u"\u0425\u041E\u0420\u041E\u0428\u041E "
       u"\u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C\u0418\u0420\u041E\u0412\u0410\u041D\u0418\u0415",
       u"\u0425\u041E\u0420\u041E\u0428\u041E \u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C", true,
       "\xD0\xA5\xD0\x9E\xD0\xA0\xD0\x9E\xD0\xA8\xD0\x9E "
       "\xD0\x9F\xD0\xA0\xD0\x9E\xD0\x93\xD0\xA0\xD0\x90\xD0\x9C-|"
       "\xD0\x9C\xD0\x98\xD0\xA0\xD0\x9E\xD0\x92\xD0\x90\xD0\x9D\xD0\x98\xD0\x95"},
      {u"\u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C\u0418\u0420\u041E\u0412\u0410\u041D\u0418\u0415",
       u"\u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C", true,
       "\xD0\x9F\xD0\xA0\xD0\x9E\xD0\x93\xD0\xA0\xD0\x90\xD0\x9C-|"
       "\xD0\x9C\xD0\x98\xD0\xA0\xD0\x9E\xD0\x92\xD0\x90-|"
       "\xD0\x9D\xD0\x98\xD0\x95"},
  };
  for (const WrapCase& c : cases) {
    Opts s;
    s.width = WidthFor(c.fits);
    s.wordBreak = c.wordBreak;
    EXPECT_EQ(Layout(c.text, s), c.lines) << Utf8(c.text) << " / " << Utf8(c.fits);
  }
}

TEST(TextLayout, ExactFitStaysOneLineAndWrapOffNeverWraps) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  Opts s;
  // The first-line width is the full width less the paragraph gap: choose the gap so that the
  // first line's limit is exactly the text's width.
  s.width = 200;
  s.paragraphGap = 200 - W600(u"aaa bbb") / kR;
  Configure(dt, u"aaa bbb", s);
  EXPECT_EQ(Joined(dt), "aaa bbb");
  s.paragraphGap += 1 / kR;  // one design pixel less room
  Configure(dt, u"aaa bbb", s);
  EXPECT_EQ(Joined(dt), "aaa|bbb");

  Opts off;
  off.width = 10;
  off.wordWrap = false;
  Configure(dt, u"a long line that does not wrap", off);
  EXPECT_EQ(Joined(dt), "a long line that does not wrap");
  EXPECT_NEAR(dt.CalcWidth(), W600(u"a long line that does not wrap") / kR, 1e-12);
}

TEST(TextLayout, ParagraphMarksAndEmptyLines) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  Opts s;
  s.width = WidthFor(u"aaa bbb");
  Configure(dt, u"aaa bbb ccc ddd\n\nx", s);
  EXPECT_EQ(Joined(dt), "aaa bbb|ccc ddd| |x");
  EXPECT_EQ(dt.ParagraphMarks(), (std::vector<int>{1, 2, 3, 3}));
  EXPECT_EQ(dt.WrappedText(), u"aaa bbb\r\nccc ddd\r\n \r\nx\r\n");
  EXPECT_EQ(dt.PlainText(), u"aaa bbb ccc ddd\r\n \r\nx\r\n");

  // A text continuing a paragraph: its first line gets the full width, not the indented one.
  s.paragraphGap = 20;
  Configure(dt, u"aaa bbb ccc", s);
  EXPECT_EQ(Joined(dt), "aaa|bbb ccc");
  s.firstParaBreak = true;
  Configure(dt, u"aaa bbb ccc", s);
  EXPECT_EQ(Joined(dt), "aaa bbb|ccc");
  dt.SetParaBreaks(true, true);
  EXPECT_EQ(dt.ParagraphMarks(), (std::vector<int>{0, 0}));
}

TEST(TextLayout, TagsWrapWithTheirAttributes) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  Opts s;
  Configure(dt, u"a <b>bold</b> word", s);
  ASSERT_EQ(Joined(dt), "a bold word");
  const TpgwHTMLTags& t = dt.HTMLTags()[0];
  for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].Style.Contains(fsBold), i >= 2 && i <= 5) << i;

  // Bold measures wider, so the wrap follows the bold advances.
  s.width = WidthFor(u"xxx") + 1;
  Configure(dt, u"<b>xxx</b> xxx", s);
  EXPECT_EQ(Joined(dt), "xxx|xxx");
  // A wrapped line starting inside a bold run starts bold (not "default").
  Configure(dt, u"<b>xx xx</b>", s);
  ASSERT_EQ(dt.Text().size(), 2u);
  EXPECT_FALSE(dt.HTMLTags()[1][0].Default);
  EXPECT_TRUE(dt.HTMLTags()[1][0].Style.Contains(fsBold));
  // Subscript characters measure two thirds of their width.
  Opts wide;
  Configure(dt, u"H<sub>2</sub>O", wide);
  EXPECT_NEAR(dt.CalcWidth(), W600(u"H2O") / kR, 1e-12);  // extents are not reduced
}

TEST(TextLayout, HeightsAndWidthsInReportPixels) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  Opts s;
  s.lineSpacing = 2;
  Configure(dt, u"a\nb\nc", s);
  EXPECT_NEAR(dt.CalcHeight(), 3 * (83 / kR + 2), 1e-12);  // 45.84
  EXPECT_NEAR(dt.LineHeight(), 83 / kR + 2, 1e-12);
  EXPECT_NEAR(dt.TextHeight(), 83 / kR, 1e-12);
  s.lineSpacing = -2;
  Configure(dt, u"a\nb\nc", s);
  EXPECT_NEAR(dt.CalcHeight(), 3 * (83 / kR - 2) + 2, 1e-12);

  s.lineSpacing = 0;
  s.charSpacing = 1;
  s.paragraphGap = 3;
  Configure(dt, u"abc\nabcdef", s);
  EXPECT_NEAR(dt.CalcWidth(), (W600(u"abcdef") + 38 + 19) / kR, 1e-12);
  Configure(dt, u"", s);
  EXPECT_EQ(Joined(dt), " ");
  Configure(dt, u"x", Opts{});
  dt.SetText({}, false);
  EXPECT_EQ(dt.CalcHeight(), 0);
  EXPECT_EQ(dt.CalcWidth(), 0);
}

TEST(TextLayout, LargeFontsAddTheCellExcess) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  TFont big;
  big.SetSize(20);
  Configure(dt, u"x", Opts{}, big);
  const int h = 167;  // Round(20 * 600 / 72)
  const int tm = FindFont(u"Arial", -h, {}).TextMetrics().tmHeight;
  ASSERT_GT(tm, h);
  EXPECT_NEAR(dt.CalcHeight(), h / kR + (tm - h) / kR, 1e-12);
  dt.SetUseOldLineHeight(false);
  EXPECT_NEAR(dt.LineHeight(), tm / kR, 1e-12);
}

struct SplitCase {
  const char16_t* text;
  int height;
  bool wordBreak;
  const char16_t* fits;
  const char16_t* out;
  const char16_t* in;
  bool paraBreak;
};

TEST(TextLayout, SplitsIntoTheFittingPartAndTheRest) {
  const std::u16string black = u"<font color=\"#000000\">";
  const SplitCase cases[] = {
      // Two lines of 13.28 fit in 29 + 1.
      {u"aaa bbb ccc ddd", 29, false, u"aaa", u"ccc ddd\r\n", u"aaa bbb ", true},
      {u"aaa\nbbb\nccc", 29, false, u"aaa", u"ccc\r\n", u"aaa\r\nbbb\r\n", false},
      {u"aaa\nbbb", 29, false, u"aaa", u"", u"aaa\r\nbbb\r\n", false},  // everything fits
      {u"aaa bbb", 5, false, u"aaa", u"aaa bbb\r\n", u"", false},       // not even one line
      {u"\u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C\u0418\u0420\u041E\u0412\u0410\u041D\u0418\u0415",
       13, true, u"\u041F\u0420\u041E\u0413\u0420\u0410\u041C\u041C",
       u"\u041C\u0418\u0420\u041E\u0412\u0410\u041D\u0418\u0415\r\n",
       u"\u041F\u0420\u041E\u0413\u0420\u0410\u041C-", true},
      {u"aaa <b>bbb <i>ccc</i></b>", 13, false, u"aaa bbbb", u"<i><b>ccc</i></b>\r\n", u"aaa <b>bbb <i>",
       true},
  };
  for (const SplitCase& c : cases) {
    TpgwDrawTextLock lock;
    TpgwDrawText dt;
    Opts s;
    s.width = WidthFor(c.fits);
    s.height = c.height;
    s.wordBreak = c.wordBreak;
    Configure(dt, c.text, s);
    bool paraBreak = true;
    const WideString out = dt.GetOutBoundsText(paraBreak);
    const WideString expectedOut = *c.out ? black + c.out : WideString();
    EXPECT_EQ(Utf8(out), Utf8(expectedOut)) << Utf8(c.text);
    EXPECT_EQ(Utf8(dt.GetInBoundsText()), Utf8(c.in)) << Utf8(c.text);
    EXPECT_EQ(paraBreak, c.paraBreak) << Utf8(c.text);
  }
}

TEST(TextLayout, UnusedSpaceBelowTheLastLine) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  Opts s;
  s.height = 29;
  Configure(dt, u"x", s);
  EXPECT_NEAR(dt.UnusedSpace(), 30 - 2 * 83 / kR, 1e-12);
  s.height = 5;
  Configure(dt, u"x", s);
  EXPECT_EQ(dt.UnusedSpace(), 0);
}

TEST(TextLayout, NonUnicodeCharacterSetMeasuresWhatTheCodePageHolds) {
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  TFont ansi;
  ansi.SetCharset(0);  // the Western code page: Cyrillic becomes "?"
  Configure(dt, u"\u0416\u0416", Opts{}, ansi);
  EXPECT_NEAR(dt.CalcWidth(), W600(u"??") / kR, 1e-12);
  dt.SetUseDefaultCharset(true);
  dt.SetText({u"\u0416\u0416"});
  EXPECT_NEAR(dt.CalcWidth(), W600(u"\u0416\u0416") / kR, 1e-12);
}

// Two threads sharing one engine through the lock get what one thread gets.
TEST(TextLayout, ConcurrentClientsThroughTheLock) {
  const std::u16string texts[2] = {u"the quick brown fox jumps over the lazy dog and runs away",
                                   u"<b>pack my box</b> with five dozen liquor jugs, <i>please</i>"};
  auto run = [&](TpgwDrawText& dt, int which, int width) {
    TpgwDrawTextLock lock;
    Opts s;
    s.width = width;
    Configure(dt, texts[which], s);
    return Joined(dt) + "/" + std::to_string(static_cast<double>(dt.CalcHeight()));
  };
  TpgwDrawText shared;
  std::string expected[2];
  for (int k = 0; k < 2; ++k) expected[k] = run(shared, k, 60 + k * 17);
  std::vector<std::string> got[2];
  std::thread threads[2];
  for (int k = 0; k < 2; ++k)
    threads[k] = std::thread([&, k] {
      for (int j = 0; j < 200; ++j) got[k].push_back(run(shared, k, 60 + k * 17));
    });
  for (auto& t : threads) t.join();
  for (int k = 0; k < 2; ++k)
    for (const std::string& g : got[k]) ASSERT_EQ(g, expected[k]);
}

}  // namespace
}  // namespace pagewright
