#include "platform/code_pages.h"

#include <gtest/gtest.h>

#include "platform/unicode.h"

namespace pagewright {
namespace {

TEST(CodePages, ConvertsCharactersOfEveryPageBothWays) {
  struct Case {
    uint32_t cp;
    const char16_t* text;
    std::string bytes;
  } cases[] = {
      {1250, u"\u0141\u00F3d\u017A",
       "\xA3\xF3"
       "d\x9F"},                                      // Łódź
      {1251, u"\u0416\u0451", "\xC6\xB8"},            // Жё
      {1252, u"\u20AC\u0178\u00E9", "\x80\x9F\xE9"},  // €Ÿé
      {1253, u"\u03A9\u03AC", "\xD9\xDC"},            // Ωά
      {1254, u"\u011F\u0130", "\xF0\xDD"},            // ğİ
      {1255, u"\u05D0\u05EA", "\xE0\xFA"},            // את
      {1256, u"\u0639\u0628", "\xDA\xC8"},            // عب
      {1257, u"\u0105\u0161", "\xE0\xF0"},            // ąš
      {1258, u"\u20AB\u0103", "\xFE\xE3"},            // ₫ă
      {874, u"\u0E01\u0E3F", "\xA1\xDF"},             // ก฿
      {932, u"\u3042A\u4E2D",
       "\x82\xA0"
       "A\x92\x86"},                               // あA中
      {936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},  // 中文
      {949, u"\uD55C\uAE00", "\xC7\xD1\xB1\xDB"},  // 한글
      {950, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},  // 中文
      {CP_UTF8, u"\u00E9\u4E2D", "\xC3\xA9\xE4\xB8\xAD"},
      {CP_SYMBOL, u"\uF041\uF0B7", "\x41\xB7"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(IsCodePageSupported(c.cp)) << c.cp;
    EXPECT_EQ(WideToCodePage(c.text, c.cp), c.bytes) << c.cp;
    EXPECT_EQ(CodePageToWide(c.bytes, c.cp), c.text) << c.cp;
    // ASCII is the same in every page.
    EXPECT_EQ(WideToCodePage(u"Label 123", c.cp), "Label 123") << c.cp;
  }
}

TEST(CodePages, UnmappableCharactersBecomeQuestionMarks) {
  struct Case {
    uint32_t cp;
    const char16_t* text;
    std::string bytes;
  } cases[] = {
      {1252, u"a\u0416b", "a?b"},           {1251, u"a\u4E2Db\u00E9", "a?b?"},
      {1253, u"\U0001F4E6.", "?."},  // a surrogate pair is one character
      {932, u"x\u0E01\U0001F4E6y", "x??y"}, {936, u"\u0E01", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideToCodePage(c.text, c.cp), c.bytes) << c.cp;
  const WideString loneSurrogate(1, char16_t(0xDC00));
  for (uint32_t cp : {1250u, 1252u, 949u}) EXPECT_EQ(WideToCodePage(loneSurrogate + u"a", cp), "?a") << cp;
}

TEST(CodePages, UndefinedAndBrokenBytesDecodeSafely) {
  // 1252 round-trips all 256 bytes, its holes being C1 controls.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  WideString w = CodePageToWide(all, 1252);
  EXPECT_EQ(w[0x81], char16_t(0x81));
  EXPECT_EQ(WideToCodePage(w, 1252), all);
  // Every single-byte page decodes every byte to one character.
  for (uint32_t cp : {1250u, 1251u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 874u})
    EXPECT_EQ(CodePageToWide(all, cp).size(), 256u) << cp;
  EXPECT_EQ(CodePageToWide("\xAA", 1253), u"?");  // undefined in Greek
  // A lead byte at the end, or with an impossible trail byte.
  EXPECT_EQ(CodePageToWide("ab\x82", 932), u"ab?");
  EXPECT_EQ(CodePageToWide("\x82\xA0\x82", 932), u"\u3042?");
  EXPECT_EQ(CodePageToWide("\xA4", 950), u"?");
}

TEST(CodePages, CharsetsMapToCodePages) {
  struct Case {
    int charset;
    uint32_t cp;
  } cases[] = {{ANSI_CHARSET, 1252},
               {DEFAULT_CHARSET, 1252},
               {SYMBOL_CHARSET, CP_SYMBOL},
               {SHIFTJIS_CHARSET, 932},
               {HANGEUL_CHARSET, 949},
               {GB2312_CHARSET, 936},
               {CHINESEBIG5_CHARSET, 950},
               {GREEK_CHARSET, 1253},
               {TURKISH_CHARSET, 1254},
               {VIETNAMESE_CHARSET, 1258},
               {HEBREW_CHARSET, 1255},
               {ARABIC_CHARSET, 1256},
               {BALTIC_CHARSET, 1257},
               {RUSSIAN_CHARSET, 1251},
               {THAI_CHARSET, 874},
               {EASTEUROPE_CHARSET, 1250},
               {99, 1252}};
  for (const auto& c : cases) EXPECT_EQ(CharsetToCodePage(c.charset), c.cp) << c.charset;
  EXPECT_TRUE(IsDBCSLeadByte(932, 0x82));
  EXPECT_FALSE(IsDBCSLeadByte(932, 0xA1));  // half-width katakana is one byte
  EXPECT_FALSE(IsDBCSLeadByte(1252, 0x82));
  EXPECT_EQ(SystemCodePage(), 1252u);
  EXPECT_FALSE(SetSystemCodePage(12345));
  EXPECT_EQ(AnsiToWide("\x80"), u"\u20AC");
  EXPECT_EQ(CodePageToWide("\x80", 12345), u"\u20AC");  // unsupported pages act as the system page
}

}  // namespace
}  // namespace pagewright
