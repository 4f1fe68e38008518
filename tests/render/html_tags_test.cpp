// Inline tag parsing: what is stripped, the attributes each remaining character gets, and what
// stays as ordinary text.
#include "render/html_tags.h"

#include <gtest/gtest.h>

#include "render/colors.h"

namespace pagewright {
namespace {

constexpr TFontStyles kBI{fsBold, fsItalic};

struct Parsed {
  WideString text;
  TpgwHTMLTags attrs;
};

Parsed Parse(WideString line, bool allow = true) {
  TpgwHTMLTagsList list;
  list.AllowTags = allow;
  list.Init(clBlack, 10, {});
  Parsed p;
  list.ExpandHTMLTags(line, p.attrs);
  p.text = line;
  return p;
}

// One character's attributes written as a short code: style letters, colour, size, sub/sup.
std::string Code(const TpgwHTMLTag& t) {
  std::string s;
  if (t.Style.Contains(fsBold)) s += 'b';
  if (t.Style.Contains(fsItalic)) s += 'i';
  if (t.Style.Contains(fsUnderline)) s += 'u';
  if (t.Style.Contains(fsStrikeOut)) s += 's';
  if (t.Color == clRed) s += 'R';
  if (t.Color == RGBColor(0x12, 0x34, 0x56)) s += 'C';
  if (t.SubType == ssSubscript) s += "_";
  if (t.SubType == ssSuperscript) s += "^";
  if (t.DontWRAP) s += 'n';
  return s.empty() ? "." : s;
}

std::string Codes(const TpgwHTMLTags& attrs) {
  std::string s;
  for (size_t i = 0; i < attrs.size(); ++i) s += (i ? " " : "") + Code(attrs[i]);
  return s;
}

struct TagCase {
  const char16_t* in;
  const char16_t* text;
  const char* codes;
};

TEST(HtmlTags, StripsTagsAndAttributesEveryCharacter) {
  const TagCase cases[] = {
      {u"a <b>bold</b> word", u"a bold word", ". . b b b b . . . . ."},
      {u"<I>x</I><U>y</U>", u"xy", "i u"},
      {u"<strike>s</strike>", u"s", "s"},
      {u"<b>x<i>y</i>z</b>", u"xyz", "b bi b"},
      {u"<b><i>x</b>y</i>z", u"xyz", "bi i ."},  // badly nested: italic stays open
      {u"</b>x", u"x", "."},                     // closing without opening
      {u"<b>x", u"x", "b"},                      // unclosed tag runs to the end
      {u"<font color=#FF0000>x</font>y", u"xy", "R ."},
      {u"<font color=\"#123456\">x", u"x", "C"},
      {u"<FONT COLOR=red>x", u"x", "R"},
      {u"<font color=nosuch>x", u"<font color=nosuch>x", ". . . . . . . . . . . . . . . . . . . ."},
      {u"<font color=#12345>x", u"<font color=#12345>x", ". . . . . . . . . . . . . . . . . . . ."},
      {u"H<sub>2</sub>O", u"H2O", ". _ ."},
      {u"x<sup>2</sup>", u"x2", ". ^"},
      {u"<nowrap>a b</nowrap> c", u"a b c", "n n n . ."},
      {u"<x>a</y>", u"<x>a</y>", ". . . . . . . ."},
      {u"<b></b>", u" ", "."},  // emptied line becomes one space
      {u"a < b", u"a < b", ". . . . ."},
  };
  for (const TagCase& c : cases) {
    const WideString in = c.in;
    Parsed p = Parse(in);
    EXPECT_EQ(p.text, c.text) << std::string(in.begin(), in.end());
    EXPECT_EQ(Codes(p.attrs), c.codes) << std::string(in.begin(), in.end());
  }
}

TEST(HtmlTags, PositionsIndexTheTextWithTags) {
  Parsed p = Parse(u"a <b>bold</b> word");
  const int expected[] = {1, 2, 6, 7, 8, 9, 14, 15, 16, 17, 18};
  ASSERT_EQ(p.attrs.size(), std::size(expected));
  for (size_t i = 0; i < p.attrs.size(); ++i) EXPECT_EQ(p.attrs[i].Position, expected[i]) << i;
}

TEST(HtmlTags, DefaultMarksWhereAttributesChange) {
  Parsed p = Parse(u"a<b>bc</b>d");
  ASSERT_EQ(p.text, u"abcd");
  EXPECT_TRUE(p.attrs[0].Default);
  EXPECT_FALSE(p.attrs[1].Default);
  EXPECT_TRUE(p.attrs[2].Default);
  EXPECT_FALSE(p.attrs[3].Default);
  // A first character differing from the defaults is not Default.
  EXPECT_FALSE(Parse(u"<i>x").attrs[0].Default);
}

TEST(HtmlTags, SubscriptAndSuperscriptSizes) {
  Parsed p = Parse(u"<sub>a</sub><sup>b</sup>c");
  ASSERT_EQ(p.attrs.size(), 3u);
  EXPECT_EQ(p.attrs[0].Size, 7);  // Round(10 / 1.5)
  EXPECT_EQ(p.attrs[0].AddY, 1);
  EXPECT_TRUE(p.attrs[0].Small);
  EXPECT_EQ(p.attrs[1].Size, 7);
  EXPECT_EQ(p.attrs[1].AddY, 0);
  EXPECT_EQ(p.attrs[2].Size, 10);
  EXPECT_FALSE(p.attrs[2].Small);
}

TEST(HtmlTags, TagsOffLeaveEverythingOrdinary) {
  Parsed p = Parse(u"<b>x</b>", false);
  EXPECT_EQ(p.text, u"<b>x</b>");
  ASSERT_EQ(p.attrs.size(), 8u);
  for (const TpgwHTMLTag& t : p.attrs) {
    EXPECT_TRUE(t.Default);
    EXPECT_TRUE(t.Style.Empty());
  }
  EXPECT_EQ(p.attrs[7].Position, 8);
}

TEST(HtmlTags, StateCarriesAcrossLinesOfOneText) {
  TpgwHTMLTagsList list;
  list.Init(clBlack, 10, {});
  WideString l1 = u"<b>a", l2 = u"b</b>c";
  TpgwHTMLTags a1, a2;
  list.ExpandHTMLTags(l1, a1);
  list.Position += 2;  // the line break
  list.ExpandHTMLTags(l2, a2);
  EXPECT_EQ(Codes(a2), "b .");
  EXPECT_EQ(a2[0].Position, 7);
}

TEST(HtmlTags, DeleteTagsKeepsUnknownOnes) {
  EXPECT_EQ(TpgwHTMLTagsList::DeleteTags(u"<b>a</b><q>b<font color=#00FF00>c</font>"), u"a<q>bc");
}

TEST(HtmlTags, DeepNestingAndHostileInputStayBounded) {
  WideString deep;
  for (int i = 0; i < 5000; ++i) deep += u"<b><i>";
  deep += u"x";
  for (int i = 0; i < 5000; ++i) deep += u"</b>";
  deep += u"<font color=\"";  // no closing bracket
  Parsed p = Parse(deep);
  ASSERT_GE(p.text.size(), 1u);
  EXPECT_EQ(p.text[0], u'x');
  EXPECT_TRUE(p.attrs[0].Style == kBI);
}

}  // namespace
}  // namespace pagewright
