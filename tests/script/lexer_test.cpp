// The lexer: every token reader with its edge cases, comments, line ends and positions.
#include "script/parser.h"

#include <gtest/gtest.h>

#include "platform/unicode.h"

namespace pagewright {
namespace {

enum Dialect { kPascal, kCLike, kBasic };

void Configure(TvmParser& p, Dialect d) {
  p.Clear();
  for (auto w : {u"begin", u"end", u"if", u"rem"}) p.AddKeyword(w);
  if (d == kCLike) {
    p.SetCommentBlock1(u"/*,*/");
    p.SetCommentBlock2(u"/*,*/");
    p.SetStringQuotes(u"\"");
    p.SetHexSequence(u"0x");
    p.SetSpecStrChar(true);
  } else if (d == kBasic) {
    p.SetCommentLine1(u"'");
    p.SetCommentLine2(u"rem");
    p.SetCommentBlock1(u"/\\,/\\");
    p.SetCommentBlock2(u"/\\,/\\");
    p.SetStringQuotes(u"\"");
    p.SetHexSequence(u"0x");
    p.SetSkipEOL(false);
    p.SetSkipChar(u"_");
  }
}

// Reads the whole text the way the grammar tries tokens: number, string, line end, word,
// punctuation. Control characters in strings are shown as #n.
std::string Tokens(TvmParser& p) {
  std::string out;
  auto put = [&](const std::string& kind, const WideString& t) {
    if (!out.empty()) out += ' ';
    out += kind;
    for (char16_t c : t) {
      if (c < 32)
        out.append("#").append(std::to_string(c));
      else
        out += Utf16ToUtf8(WideString(1, c));
    }
  };
  for (int guard = 0; guard < 200; ++guard) {
    p.SkipSpaces();
    if (p.Position() > p.Size()) break;
    WideString t;
    if (!(t = p.GetNumber()).empty())
      put("n:", t);
    else if (!(t = p.GetString()).empty())
      put("s:", t);
    else if (p.GetEOL())
      put("eol", u"");
    else if (!(t = p.GetWord()).empty())
      put(p.IsKeyWord(t) ? "k:" : "w:", t);
    else if (!(t = p.GetChar()).empty())
      put("c:", t);
    else {
      put("?", u"");
      p.SetPosition(p.Position() + 1);
    }
  }
  return out;
}

struct TokenCase {
  Dialect dialect;
  const char* source;
  const char* tokens;
};

class LexerTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(LexerTokens, ReadsTokens) {
  TvmParser p;
  Configure(p, GetParam().dialect);
  p.SetText(Utf8ToUtf16(GetParam().source));
  EXPECT_EQ(Tokens(p), GetParam().tokens) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LexerTokens,
    ::testing::Values(
        // identifiers and reserved words
        TokenCase{kPascal, "Begin _x1 x_y END", "k:Begin w:_x1 w:x_y k:END"},
        TokenCase{kPascal, "1abc", "n:1 w:abc"},
        TokenCase{kPascal, "na\xC3\xAFve \xC3\xA9t\xC3\xA9", "w:na\xC3\xAFve w:\xC3\xA9t\xC3\xA9"},
        // numbers
        TokenCase{kPascal, "1.5e+3 2E5 7e 3.x 1. 1..5",
                  "n:1.5e+3 n:2E5 n:7 w:e n:3 c:. w:x n:1 c:. n:1 c:. c:. n:5"},
        TokenCase{kPascal, "$FF $ $1E+2 12.5e-", "n:$FF c:$ n:$1E c:+ n:2 n:12.5 w:e c:-"},
        TokenCase{kCLike, "0xFF 0x1f 0x 10", "n:$FF n:$1f ? w:x n:10"}, TokenCase{kCLike, "$FF", "c:$ w:FF"},
        // strings: doubled quotes, control pieces, quotes of the language
        TokenCase{kPascal, "'It''s'#13#10'done' 'a' 'b'", "s:'It's#13#10done' s:'a' s:'b'"},
        TokenCase{kPascal, "#65#$42'c' # 'x'", "s:'ABc' c:# s:'x'"},
        TokenCase{kPascal, "'' ''''", "s:'' s:'''"}, TokenCase{kPascal, "\"x\"", "c:\" w:x c:\""},
        TokenCase{kCLike, "\"a\"\"b\" \"q\\\"\\n\\R\\t\\\\\\x41\\x\"", "s:'ab' s:'q\"#10#13t\\A'"},
        TokenCase{kPascal, "'a\\n'", "s:'a\\n'"},
        // unterminated strings and strings broken by a line end
        TokenCase{kPascal, "'abc", "c:' w:abc"}, TokenCase{kPascal, "'ab\ncd' x", "c:' w:ab w:cd c:' w:x"},
        TokenCase{kPascal, "'a'#", "s:'a' c:#"}, TokenCase{kPascal, "'tab\there'", "s:'tab#9here'"},
        TokenCase{kCLike, "\"abc\\", "c:\" w:abc c:\\"},
        // punctuation
        TokenCase{kPascal, ":=<>@^_", "c:: c:= c:< c:> c:@ c:^ w:_"},
        // comments: line, block, no nesting, unterminated, opener on the last character
        TokenCase{kPascal, "a // c\nb (* x *) c { y } d", "w:a w:b w:c w:d"},
        TokenCase{kPascal, "{ a { b } c }", "w:c c:}"}, TokenCase{kPascal, "a { never closed", "w:a"},
        TokenCase{kPascal, "a (* never", "w:a"}, TokenCase{kPascal, "a {", "w:a c:{"},
        TokenCase{kPascal, "a /", "w:a c:/"}, TokenCase{kCLike, "a /* b */ c // d", "w:a w:c"},
        // line ends as tokens, CR LF or LF alone
        TokenCase{kBasic, "a\r\nb\r\n\r\nc", "w:a eol w:b eol w:c"}, TokenCase{kBasic, "a\nb", "w:a eol w:b"},
        TokenCase{kBasic, "a\n\nb _\nc", "w:a eol w:b w:c"}, TokenCase{kBasic, "x ' note\ny", "w:x eol w:y"},
        TokenCase{kBasic, "a _\r\nb", "w:a w:b"}, TokenCase{kBasic, "a _ _\r\n\r\nb", "w:a w:b"},
        TokenCase{kBasic, "x ' note\r\ny", "w:x eol w:y"}, TokenCase{kBasic, "' whole line\r\ny", "w:y"},
        // rem starts a comment only as a word of its own, in any case
        TokenCase{kBasic, "x remainder\r\nREM y\r\nz rem\r\nRem", "w:x w:remainder eol w:z eol"},
        TokenCase{kBasic, "rem(1)\r\nx", "w:x"}, TokenCase{kBasic, "a /\\ b /\\ c", "w:a w:c"}));

TEST(Lexer, IdentSkipsReservedWordsAndWordDoesNot) {
  TvmParser p;
  Configure(p, kPascal);
  p.SetText(u"  begin");
  EXPECT_EQ(p.GetIdent(), u"");
  p.SetPosition(1);
  EXPECT_EQ(p.GetWord(), u"begin");
  p.SetText(u"x");
  p.SetSkipSpace(false);
  p.SetText(u" x");
  EXPECT_EQ(p.GetWord(), u"");
}

TEST(Lexer, KeywordsCompareExactlyWhenCaseSensitive) {
  TvmParser p;
  p.AddKeyword(u"while");
  p.AddKeyword(u"If");
  EXPECT_TRUE(p.IsKeyWord(u"WHILE"));
  EXPECT_TRUE(p.IsKeyWord(u"if"));
  EXPECT_FALSE(p.IsKeyWord(u"whilst"));
  p.SetCaseSensitive(true);
  EXPECT_TRUE(p.IsKeyWord(u"while"));
  EXPECT_FALSE(p.IsKeyWord(u"WHILE"));
  EXPECT_TRUE(p.IsKeyWord(u"If"));
  EXPECT_FALSE(p.IsKeyWord(u"if"));
  // Clear keeps CaseSensitive and CommentLine2 but resets the rest.
  p.SetCommentLine2(u"rem");
  p.SetHexSequence(u"0x");
  p.Clear();
  EXPECT_TRUE(p.CaseSensitive());
  EXPECT_EQ(p.CommentLine2(), u"rem");
  EXPECT_EQ(p.HexSequence(), u"$");
  EXPECT_TRUE(p.Keywords().empty());
  EXPECT_EQ(p.CommentBlock2(), u"(*,*)");
}

TEST(Lexer, CharDoesNotSkipSpacesAndReadsOnlyPunctuation) {
  TvmParser p;
  p.SetText(u" ;");
  EXPECT_EQ(p.GetChar(), u"");
  p.SetText(u"a");
  EXPECT_EQ(p.GetChar(), u"");
  p.SetText(u"~");
  EXPECT_EQ(p.GetChar(), u"~");
  p.SetText(u"\u00A7");
  EXPECT_EQ(p.GetChar(), u"");
  p.SetText(u"");
  EXPECT_EQ(p.GetChar(), u"");
}

TEST(Lexer, IdentifierCharsetComesFromTheText) {
  TvmParser p;
  p.ConstructCharset(u"ab$");
  p.SetText(u"ab$c");
  EXPECT_EQ(p.GetWord(), u"ab$");
  EXPECT_EQ(p.GetChar(), u"");  // 'c' is a letter, not punctuation
}

TEST(Lexer, FieldReferenceEndsAtTheMatchingBracket) {
  struct Case {
    const char16_t* text;
    const char16_t* value;
    int position;
  } cases[] = {
      {u"ds.\"Name\">+1", u"ds.\"Name\"", 10},
      {u"ds.\"a>b\"> x", u"ds.\"a>b\"", 9},
      {u"a<b>[c]>", u"a<b>[c]", 8},
      {u"a 'x>\"' \"y>'\" >z", u"a 'x>\"' \"y>'\" ", 15},
      {u"it's \"q'\" x> y'>'>", u"it's \"q'\" x> y'>'>", 19},
      {u"never closed", u"never closed", 13},
      {u">", u"", 1},
  };
  for (const auto& c : cases) {
    TvmParser p;
    p.SetText(c.text);
    EXPECT_EQ(p.GetFRString(), c.value) << Utf16ToUtf8(c.text);
    EXPECT_EQ(p.Position(), c.position) << Utf16ToUtf8(c.text);
  }
}

TEST(Lexer, PositionsCountLinesAndColumnsFromOne) {
  TvmParser p;
  p.SetText(u"ab\r\ncd\n\nx");
  struct Case {
    int index;
    const char16_t* text;
  } cases[] = {{1, u"1:1"}, {3, u"1:3"}, {4, u"1:4"}, {5, u"2:1"},
               {7, u"2:3"}, {8, u"3:1"}, {9, u"4:1"}, {10, u"4:2"}};
  for (const auto& c : cases) EXPECT_EQ(p.PositionText(c.index), c.text) << c.index;
  p.SetPosition(6);
  EXPECT_EQ(p.GetXYPosition(), u"2:2");
  EXPECT_EQ(p.GetPlainPosition(2, 2), 6);
  EXPECT_EQ(p.GetPlainPosition(1, 4), 9);
  EXPECT_EQ(p.GetPlainPosition(1, 5), -1);
  EXPECT_EQ(p.GetPlainPosition(1, 0), -1);
  // Without the line list the same positions are counted on demand.
  p.SetUseY(false);
  EXPECT_EQ(p.PositionText(9), u"4:1");
  EXPECT_EQ(p.GetPlainPosition(2, 2), 6);
  EXPECT_EQ(p.GetPlainPosition(1, 5), -1);
}

TEST(Lexer, EolConsumesTheWholeRun) {
  TvmParser p;
  p.SetSkipEOL(false);
  p.SetText(u"  \r\n\r\n x");
  EXPECT_TRUE(p.GetEOL());
  EXPECT_EQ(p.Position(), 7);
  EXPECT_FALSE(p.GetEOL());
  EXPECT_EQ(p.GetWord(), u"x");
}

TEST(Lexer, ManyContinuationsDoNotRecurse) {
  TvmParser p;
  p.SetSkipEOL(false);
  p.SetSkipChar(u"_");
  WideString text;
  for (int i = 0; i < 200000; ++i) text += u"_ ";
  text += u"x";
  p.SetText(text);
  EXPECT_EQ(p.GetWord(), u"x");
}

}  // namespace
}  // namespace pagewright
