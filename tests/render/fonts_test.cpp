#include "render/fonts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>

#include "render/shaping.h"

namespace pagewright {
namespace {

std::string FileBase(const TSizedFont& f) {
  const std::string& path = f.FileName();
  return path.substr(path.find_last_of('/') + 1);
}

TEST(Fonts, NamesResolveToThePinnedFaces) {
  struct Case {
    const char16_t* name;
    TFontStyles style;
    const char* family;
    const char* file;
  } cases[] = {
      {u"Arial", {}, "Liberation Sans", "LiberationSans-Regular.ttf"},
      {u"arial", {fsBold}, "Liberation Sans", "LiberationSans-Bold.ttf"},
      {u"Arial", {fsItalic}, "Liberation Sans", "LiberationSans-Italic.ttf"},
      {u"Arial", {fsBold, fsItalic}, "Liberation Sans", "LiberationSans-BoldItalic.ttf"},
      {u"Helvetica", {}, "Liberation Sans", "LiberationSans-Regular.ttf"},
      {u"Times New Roman", {}, "Liberation Serif", "LiberationSerif-Regular.ttf"},
      {u"Courier New", {fsBold}, "Liberation Mono", "LiberationMono-Bold.ttf"},
      {u"DejaVu Sans Mono", {}, "DejaVu Sans Mono", "DejaVuSansMono.ttf"},
      {u"DejaVu Sans", {fsItalic}, "DejaVu Sans", "DejaVuSans-Oblique.ttf"},
      // Missing faces fall back to the default sans face, never to nothing.
      {u"No Such Face 123", {}, "DejaVu Sans", "DejaVuSans.ttf"},
      {u"", {fsBold}, "DejaVu Sans", "DejaVuSans-Bold.ttf"},
      {u"Tahoma", {}, "DejaVu Sans", "DejaVuSans.ttf"},
  };
  for (const auto& c : cases) {
    const TSizedFont* f = nullptr;
    ASSERT_NO_THROW(f = &FindFont(c.name, -13, c.style));
    EXPECT_EQ(f->FamilyName(), c.family);
    EXPECT_EQ(FileBase(*f), c.file);
    EXPECT_FALSE(f->SyntheticBold());
    EXPECT_FALSE(f->SyntheticItalic());
  }
}

TEST(Fonts, StylesMissingFromTheFamilyAreSynthesised) {
  const TSizedFont& regular = FindFont(u"DejaVu Math TeX Gyre", -20, {});
  const TSizedFont& bold = FindFont(u"DejaVu Math TeX Gyre", -20, {fsBold, fsItalic});
  EXPECT_EQ(bold.FileName(), regular.FileName());
  EXPECT_TRUE(bold.SyntheticBold());
  EXPECT_TRUE(bold.SyntheticItalic());
  EXPECT_GT(bold.TextWidth(u"abc"), regular.TextWidth(u"abc"));
  EXPECT_NE(bold.OutlineTextMetrics().otmItalicAngle, 0);
}

TEST(Fonts, LookupsAreCachedAndHeightsConvert) {
  EXPECT_EQ(&FindFont(u"Arial", -13, {}), &FindFont(u"ARIAL", -13, {}));
  EXPECT_NE(&FindFont(u"Arial", -13, {}), &FindFont(u"Arial", -14, {}));
  TFont f;
  EXPECT_EQ(f.Name(), u"Arial");
  EXPECT_EQ(f.Size(), 10);
  EXPECT_EQ(&FindFont(f), &FindFont(u"Arial", -13, {fsUnderline}));  // underline: same glyphs
  f.SetSize(8);
  EXPECT_EQ(f.Height(), -11);
  f.SetPixelsPerInch(600);
  f.SetSize(10);
  EXPECT_EQ(f.Height(), -83);
  // A positive height is the cell height.
  const TSizedFont& cell = FindFont(u"Arial", 16, {});
  EXPECT_LE(std::abs(cell.TextMetrics().tmHeight - 16), 1);
  int changes = 0;
  TFont g;
  g.OnChange = [&] { ++changes; };
  g.SetSize(9);
  g.SetSize(9);
  g.Assign(f);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(g.SameAs(f));
}

TEST(Fonts, AWidthStretchesTheGlyphsHorizontally) {
  const TSizedFont& normal = FindFont(u"Arial", -20, {});
  const int average = normal.TextMetrics().tmAveCharWidth;
  const TSizedFont& wide = FindFont(u"Arial", -20, {}, 2 * average);
  EXPECT_EQ(wide.EmPixels(), 20);
  EXPECT_NEAR(wide.EmWidthPixels(), 40, 2);
  const double ratio =
      static_cast<double>(wide.TextWidth(u"Hello, wide world")) / normal.TextWidth(u"Hello, wide world");
  EXPECT_NEAR(ratio, 2.0, 0.15);
  EXPECT_EQ(wide.TextMetrics().tmHeight, normal.TextMetrics().tmHeight);
  EXPECT_EQ(wide.TextMetrics().tmAveCharWidth, 2 * average);
}

TEST(Fonts, TextMetricsDescribeTheCell) {
  for (int em : {11, 13, 16, 83}) {
    const TTextMetric& tm = FindFont(u"Arial", -em, {}).TextMetrics();
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - em);
    EXPECT_GE(tm.tmInternalLeading, 0);
    EXPECT_GE(tm.tmExternalLeading, 0);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    EXPECT_NEAR(tm.tmHeight, em * 1.15, 1.5) << em;  // Arial-metric faces: cell = 1.15 em
  }
  EXPECT_EQ(FindFont(u"Arial", -13, {fsBold}).TextMetrics().tmWeight, 700);
}

TEST(Fonts, AdvancesAtSixHundredPixelsPerInchAgreeWithNinetySix) {
  for (int points : {8, 10, 12}) {
    for (TFontStyles style : {TFontStyles{}, TFontStyles{fsBold}}) {
      const int h96 = -static_cast<int>(std::floor(points * 96 / 72.0 + 0.5));
      const int h600 = -static_cast<int>(RoundHalfEven(points * 600 / 72.0L));
      const TSizedFont& screen = FindFont(u"Arial", h96, style);
      const TSizedFont& design = FindFont(u"Arial", h600, style);
      for (char16_t c = 0x20; c <= 0xFF; ++c) {
        if (c > 0x7E && c < 0xA0) continue;
        const double scaled = design.CharAdvance(c) / 6.25;
        EXPECT_LE(std::fabs(scaled - screen.CharAdvance(c)), 1.0)
            << points << " pt, char " << int(c) << ": " << design.CharAdvance(c) << " vs "
            << screen.CharAdvance(c);
      }
    }
  }
}

// Advances are the hinted widths in whole pixels, whichever characters a text measured first:
// the expected values were taken from a run that loaded whole pages of glyphs at once.
TEST(Fonts, AdvancesDoNotDependOnWhatWasMeasuredBefore) {
  struct Case {
    const char16_t* name;
    int height;
    TFontStyles style;
    std::u16string text;
    std::vector<int> advances;
  };
  const std::vector<Case> cases = {
      {u"Arial", -13, {}, u"Wiz 0\u00C9\u20AC", {12, 3, 7, 4, 7, 9, 7}},
      {u"Arial", -83, {fsBold}, u"Wiz 0\u00C9\u20AC", {78, 23, 42, 23, 46, 55, 46}},
      {u"Times New Roman", -11, {fsItalic}, u"Wiz 0\u00C9\u20AC", {9, 3, 4, 3, 6, 7, 6}},
      {u"DejaVu Sans", -100, {}, u"Wiz \u0416\u05D0\uE000", {99, 28, 52, 32, 108, 67, 60}},
  };
  for (const Case& c : cases) {
    const TSizedFont& f = FindFont(c.name, c.height, c.style);
    std::vector<int> got;
    // Last character first, so that no character is measured after its neighbours.
    for (size_t i = c.text.size(); i-- > 0;) got.insert(got.begin(), f.CharAdvance(c.text[i]));
    EXPECT_EQ(got, c.advances) << std::string(c.name, c.name + 5) << " " << c.height;
    std::vector<int> cumulative = f.GetTextExtentExPoint(c.text);
    for (size_t i = cumulative.size(); i-- > 1;) cumulative[i] -= cumulative[i - 1];
    EXPECT_EQ(cumulative, got);
  }
  // Characters without a glyph in the face all measure as its missing-glyph box.
  const TSizedFont& f = FindFont(u"Arial", -29, {});
  EXPECT_EQ(f.GlyphIndex(0xE123), 0u);
  EXPECT_EQ(f.GlyphIndex(0x0378), 0u);
  EXPECT_EQ(f.CharAdvance(0xE123), f.CharAdvance(0x0378));
  EXPECT_GT(f.CharAdvance(0xE123), 0);
}

TEST(Fonts, CumulativeExtentsCountUtf16Units) {
  const TSizedFont& f = FindFont(u"Arial", -83, {});
  std::u16string text = u"W\U0001F4E6i";
  std::vector<int> cum = f.GetTextExtentExPoint(text);
  ASSERT_EQ(cum.size(), 4u);
  EXPECT_EQ(cum[0], f.CharAdvance(u'W'));
  EXPECT_EQ(cum[1], cum[0]);  // the first half of the pair adds nothing
  EXPECT_EQ(cum[2], cum[0] + f.CharAdvance(U'\U0001F4E6'));
  EXPECT_EQ(cum[3], cum[2] + f.CharAdvance(u'i'));
  EXPECT_EQ(f.TextWidth(text), cum[3]);
  EXPECT_GT(f.CharAdvance(u'W'), f.CharAdvance(u'i'));
  EXPECT_EQ(f.TextWidth(u""), 0);
  // A lone surrogate still measures (as a missing glyph).
  EXPECT_EQ(f.GetTextExtentExPoint(std::u16string(1, char16_t(0xD800))).size(), 1u);
}

TEST(Fonts, ThreadsMeasuringTogetherAgree) {
  // A size no other test uses, so that the threads fill the advance tables together.
  const std::u16string text =
      u"Latin \u00C9t\u00E9 \u0391\u03B2\u03B3 \u0416\u0438\u0437\u043D\u044C \u05D0\u05D1 \u4E2D\u6587";
  std::vector<std::vector<int>> results(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < results.size(); ++t)
    threads.emplace_back(
        [&, t] { results[t] = FindFont(u"DejaVu Sans", -37, {}).GetTextExtentExPoint(text); });
  for (auto& th : threads) th.join();
  for (const auto& r : results) EXPECT_EQ(r, results[0]);
  EXPECT_EQ(results[0], FindFont(u"DejaVu Sans", -37, {}).GetTextExtentExPoint(text));
}

uint16_t BigEndian16(const std::vector<uint8_t>& t, size_t offset) {
  return static_cast<uint16_t>((t.at(offset) << 8) | t.at(offset + 1));
}

TEST(Fonts, RawTablesAndOutlineMetrics) {
  const TSizedFont& f = FindFont(u"Arial", -750, {});
  std::vector<uint8_t> head = f.GetFontData("head");
  ASSERT_EQ(head.size(), 54u);
  EXPECT_EQ(BigEndian16(head, 18), 2048);  // unitsPerEm
  EXPECT_EQ(f.UnitsPerEm(), 2048u);
  for (const char* tag : {"glyf", "cmap", "hmtx", "loca", "name"})
    EXPECT_FALSE(f.GetFontData(tag).empty()) << tag;
  EXPECT_TRUE(f.GetFontData("zzzz").empty());
  EXPECT_TRUE(f.GetFontData("ttcf").empty());  // a single face, not a collection
  std::vector<uint8_t> file = f.GetFontData("");
  ASSERT_GT(file.size(), 12u);
  EXPECT_EQ(file[0], 0);
  EXPECT_EQ(file[1], 1);
  EXPECT_EQ(file, f.FontFileBytes());

  TOutlineTextMetric m = f.OutlineTextMetrics();
  EXPECT_EQ(m.otmEMSquare, 2048u);
  EXPECT_GT(m.otmAscent, 0);
  EXPECT_LT(m.otmDescent, 0);
  EXPECT_GT(m.otmsCapEmHeight, 0);
  EXPECT_LT(m.otmsCapEmHeight, m.otmAscent);
  EXPECT_LT(m.otmrcFontBox.Left, m.otmrcFontBox.Right);
  EXPECT_GT(m.otmrcFontBox.Top, m.otmrcFontBox.Bottom);
  EXPECT_EQ(m.otmItalicAngle, 0);
  EXPECT_EQ(m.PdfFlags, 32);
  TOutlineTextMetric italic = FindFont(u"Arial", -750, {fsItalic}).OutlineTextMetrics();
  EXPECT_LT(italic.ItalicAngle, 0);
  EXPECT_EQ(italic.PdfFlags & 64, 64);
  EXPECT_EQ(FindFont(u"Courier New", -750, {}).OutlineTextMetrics().PdfFlags & 1, 1);
}

TEST(Shaping, GivesGlyphIndicesAndAdvances) {
  const TSizedFont& f = FindFont(u"Arial", -13, {});
  std::vector<TShapedRun> runs = ShapeText(f, u"AVA", false);
  ASSERT_EQ(runs.size(), 1u);
  const auto& g = runs[0].Glyphs;
  ASSERT_EQ(g.size(), 3u);
  EXPECT_EQ(g[0].GlyphIndex, f.GlyphIndex(U'A'));
  EXPECT_EQ(g[1].GlyphIndex, f.GlyphIndex(U'V'));
  EXPECT_EQ(g[2].GlyphIndex, g[0].GlyphIndex);
  EXPECT_NE(g[0].GlyphIndex, 0u);
  EXPECT_EQ(g[0].Cluster, 0u);
  EXPECT_EQ(g[2].Cluster, 2u);
  // Without kerning the advances are the design widths ("A" is 1366 units in Arial-metric faces).
  EXPECT_EQ(g[0].XAdvance, 1366);
  EXPECT_EQ(g[1].XAdvance, 1366);
  TShapeOptions kern;
  kern.Kerning = true;
  auto kerned = ShapeText(f, u"AVA", false, kern);
  int plain = 0, tight = 0;
  for (const auto& x : g) plain += x.XAdvance;
  for (const auto& x : kerned[0].Glyphs) tight += x.XAdvance;
  EXPECT_LT(tight, plain);
  EXPECT_TRUE(ShapeText(f, u"", false).empty());
}

TEST(Shaping, RightToLeftRunsComeInVisualOrder) {
  const TSizedFont& f = FindFont(u"DejaVu Sans", -13, {});
  std::u16string text = u"ab \u05D0\u05D1";
  std::vector<TScriptItem> items = ScriptItemize(text, false);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_FALSE(items[0].RightToLeft);
  EXPECT_TRUE(items[1].RightToLeft);
  EXPECT_EQ(items[1].Start, 3u);
  std::vector<TShapedRun> runs = ShapeText(f, text, false);
  ASSERT_EQ(runs.size(), 2u);
  ASSERT_EQ(runs[1].Glyphs.size(), 2u);
  EXPECT_EQ(runs[1].Glyphs[0].Cluster, 4u);  // the second Hebrew letter is shown first
  EXPECT_EQ(runs[1].Glyphs[0].GlyphIndex, f.GlyphIndex(U'\u05D1'));
  // A right-to-left paragraph shows its items from right to left.
  EXPECT_EQ(ScriptLayout(items, true), (std::vector<int>{1, 0}));
}

}  // namespace
}  // namespace pagewright
