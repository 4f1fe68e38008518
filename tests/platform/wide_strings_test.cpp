#include "platform/wide_strings.h"

#include <gtest/gtest.h>

#include "platform/unicode.h"

namespace pagewright {
namespace {

TEST(WideCase, MapsLettersOfTheCommonScripts) {
  struct Case {
    char16_t lower, upper;
  } cases[] = {
      {u'a', u'A'},           {u'z', u'Z'},           {u'\u00E9', u'\u00C9'},  // é
      {u'\u00FE', u'\u00DE'},                                                  // þ
      {u'\u0101', u'\u0100'}, {u'\u017E', u'\u017D'},                          // ā, ž (Latin Extended-A)
      {u'\u01C6', u'\u01C4'},  // dž digraph (Latin Extended-B)
      {u'\u03B1', u'\u0391'}, {u'\u03C9', u'\u03A9'}, {u'\u03AC', u'\u0386'},  // α, ω, ά
      {u'\u0436', u'\u0416'}, {u'\u0451', u'\u0401'}, {u'\u0463', u'\u0462'},  // ж, ё, ѣ
      {u'\u0561', u'\u0531'},                                                  // Armenian ayb
      {u'\u1EA5', u'\u1EA4'},                                                  // ấ (Vietnamese)
      {u'\uFF41', u'\uFF21'},                                                  // fullwidth a
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideUpperChar(c.lower), c.upper) << std::hex << int(c.lower);
    EXPECT_EQ(WideLowerChar(c.upper), c.lower) << std::hex << int(c.upper);
  }
  // One-way and absent mappings.
  EXPECT_EQ(WideUpperChar(u'\u00FF'), u'\u0178');  // ÿ -> Ÿ
  EXPECT_EQ(WideUpperChar(u'\u03C2'), u'\u03A3');  // final sigma -> Σ
  EXPECT_EQ(WideUpperChar(u'\u0131'), u'I');       // dotless i
  EXPECT_EQ(WideLowerChar(u'\u0130'), u'i');       // dotted capital I
  for (char16_t same : {u'\u00DF', u'\u00B5', u'\u00D7', u'\u00F7', u'1', u'_', char16_t(0xD800)})
    EXPECT_EQ(WideUpperChar(same), same) << std::hex << int(same);
  EXPECT_EQ(WideUpperCase(u"stra\u00DFe \u0433\u043E\u0440\u043E\u0434"),
            u"STRA\u00DFE \u0413\u041E\u0420\u041E\u0414");
  EXPECT_EQ(WideLowerCase(u"\u0391\u0398\u0397\u039D\u0391 X"), u"\u03B1\u03B8\u03B7\u03BD\u03B1 x");
  EXPECT_EQ(UpperCase(u"abc\u00E9"), u"ABC\u00E9");  // ASCII only
}

TEST(WideCase, CompareTextAgreesWithCaseMappingForEveryCharacter) {
  for (char32_t c = 0; c < 0x10000; ++c) {
    char16_t ch = static_cast<char16_t>(c);
    std::u16string_view s(&ch, 1);
    char16_t up = WideUpperChar(ch), lo = WideLowerChar(ch);
    ASSERT_EQ(WideCompareText(s, std::u16string_view(&up, 1)), 0) << std::hex << int(c);
    ASSERT_EQ(WideCompareText(s, std::u16string_view(&lo, 1)), 0) << std::hex << int(c);
  }
}

TEST(WideCase, CompareTextOrdersAndMatches) {
  struct Case {
    const char16_t *a, *b;
    int sign;
  } cases[] = {
      {u"Apple", u"apple", 0},
      {u"apple", u"Banana", -1},
      {u"\u00C9T\u00C9", u"\u00E9t\u00E9", 0},
      {u"\u0394\u0395\u039B\u03A4\u0391", u"\u03B4\u03B5\u03BB\u03C4\u03B1", 0},
      {u"\u041C\u041E\u0421\u041A\u0412\u0410", u"\u043C\u043E\u0441\u043A\u0432\u0430", 0},
      {u"abc", u"abcd", -1},
      {u"_x", u"a", -1},  // punctuation before letters
      {u"b", u"A", 1},
      {u"", u"", 0},
  };
  for (const auto& c : cases) {
    int r = WideCompareText(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << Utf16ToUtf8(c.a) << " vs " << Utf16ToUtf8(c.b);
    EXPECT_EQ(WideSameText(c.a, c.b), c.sign == 0);
  }
  EXPECT_LT(WideCompareStr(u"B", u"a"), 0);  // ordinal
  EXPECT_TRUE(SameText(u"Arial", u"ARIAL"));
  EXPECT_FALSE(SameText(u"\u00E9", u"\u00C9"));  // ASCII-only
  EXPECT_TRUE(StartsText(u"TOTAL", u"TotalPages#"));
  EXPECT_TRUE(EndsText(u".PW3", u"label.pw3"));
  EXPECT_FALSE(EndsText(u"long suffix", u"x"));
}

TEST(WideStrings, PositionsAndClamping) {
  const WideString s = u"abcabc";
  EXPECT_EQ(Pos(u"ca", s), 3);
  EXPECT_EQ(Pos(u"x", s), 0);
  EXPECT_EQ(Pos(u"", s), 0);
  EXPECT_EQ(PosEx(u"abc", s, 2), 4);
  EXPECT_EQ(PosEx(u"abc", s, 0), 0);
  EXPECT_EQ(PosEx(u"c", s, 7), 0);
  EXPECT_EQ(LastDelimiter(u"\\/", u"a/b\\c"), 4);

  struct CopyCase {
    int index, count;
    const char16_t* out;
  } copies[] = {{1, 3, u"abc"}, {0, 2, u"ab"}, {-5, 2, u"ab"}, {5, 10, u"bc"},
                {6, 1, u"c"},   {7, 1, u""},   {2, 0, u""},    {2, -1, u""}};
  for (const auto& c : copies) EXPECT_EQ(Copy(s, c.index, c.count), c.out) << c.index << "," << c.count;

  struct DeleteCase {
    int index, count;
    const char16_t* out;
  } deletes[] = {{2, 2, u"aabc"}, {0, 2, u"abcabc"}, {5, 99, u"abca"}, {7, 1, u"abcabc"}, {1, 0, u"abcabc"}};
  for (const auto& c : deletes) {
    WideString t = s;
    Delete(t, c.index, c.count);
    EXPECT_EQ(t, c.out) << c.index << "," << c.count;
  }

  struct InsertCase {
    int index;
    const char16_t* out;
  } inserts[] = {{1, u"XYab"}, {0, u"XYab"}, {2, u"aXYb"}, {3, u"abXY"}, {99, u"abXY"}};
  for (const auto& c : inserts) {
    WideString t = u"ab";
    Insert(u"XY", t, c.index);
    EXPECT_EQ(t, c.out) << c.index;
  }
}

TEST(WideStrings, TrimReplaceAndQuotes) {
  EXPECT_EQ(Trim(u" \t\r\n x y \x01"), u"x y");
  EXPECT_EQ(TrimLeft(u"  x "), u"x ");
  EXPECT_EQ(TrimRight(u"  x \x1F"), u"  x");
  EXPECT_EQ(Trim(u"\u00A0x"), u"\u00A0x");  // only characters <= space
  EXPECT_EQ(Trim(std::string_view(" a ")), "a");

  EXPECT_EQ(StringReplace(u"a-b-c", u"-", u"+", {}), u"a+b-c");
  EXPECT_EQ(StringReplace(u"a-b-c", u"-", u"", {rfReplaceAll}), u"abc");
  EXPECT_EQ(StringReplace(u"Page# page# PAGE#", u"page#", u"1", {rfReplaceAll, rfIgnoreCase}), u"1 1 1");
  EXPECT_EQ(StringReplace(u"\u0416\u0436", u"\u0436", u"x", {rfReplaceAll, rfIgnoreCase}), u"xx");
  EXPECT_EQ(StringReplace(u"aaa", u"aa", u"a", {rfReplaceAll}), u"aa");  // no rescanning of output
  EXPECT_EQ(StringReplace(u"abc", u"", u"x", {rfReplaceAll}), u"abc");
  EXPECT_EQ(StringOfChar(u'-', 3), u"---");
  EXPECT_EQ(StringOfChar(u'-', -1), u"");

  EXPECT_EQ(QuotedStr(u"it's"), u"'it''s'");
  EXPECT_EQ(AnsiQuotedStr(u"a\"b", u'"'), u"\"a\"\"b\"");
  struct DequoteCase {
    const char16_t *in, *out;
  } dequotes[] = {{u"'it''s'", u"it's"}, {u"'abc", u"'abc"}, {u"abc", u"abc"},
                  {u"''", u""},          {u"'ab'c", u"ab"},  {u"", u""}};
  for (const auto& c : dequotes) EXPECT_EQ(AnsiDequotedStr(c.in, u'\''), c.out) << Utf16ToUtf8(c.in);
  size_t pos = 1;
  EXPECT_EQ(AnsiExtractQuotedStr(u"x\"a\"\"b\",y", pos, u'"'), u"a\"b");
  EXPECT_EQ(pos, 7u);

  EXPECT_EQ(AsciiUpperCase("ab\xC3\xA9"), "AB\xC3\xA9");
  EXPECT_TRUE(AsciiSameText("Helvetica", "HELVETICA"));
  EXPECT_LT(AsciiCompareText("abc", "ABD"), 0);
}

}  // namespace
}  // namespace pagewright
