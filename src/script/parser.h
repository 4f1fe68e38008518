// The configurable lexer of the script engine (unit vm_iparser). One lexer reads every script
// language: the grammar document of a language only sets its properties.
//
// Positions are 1-based indexes of UTF-16 code units. The text is kept with one #0 appended, so
// every reader can look one character past the end without a bounds test of its own.
#pragma once

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TvmParser {
 public:
  TvmParser();

  // Source text (without the appended #0).
  WideString Text() const { return FText.substr(0, FSize); }
  // Sets the source, Position 1, and rebuilds the line starts.
  void SetText(std::u16string_view text);
  // Length of the text without the #0.
  int Size() const { return FSize; }

  int Position() const { return FPosition; }
  // Sets Position and the token start.
  void SetPosition(int position) {
    FPosition = position;
    FLastPosition = position;
  }
  // Start of the token being read (set by SkipSpaces).
  int LastPosition() const { return FLastPosition; }

  // Restores the settings of a new lexer and empties Keywords; CaseSensitive and
  // CommentLine2 keep their values.
  void Clear();

  void AddKeyword(std::u16string_view word);
  const std::vector<WideString>& Keywords() const { return FKeywords; }
  bool IsKeyWord(std::u16string_view s) const;

  const WideString& CommentLine1() const { return FCommentLine1; }
  void SetCommentLine1(std::u16string_view v) { FCommentLine1 = v; }
  const WideString& CommentLine2() const { return FCommentLine2; }
  void SetCommentLine2(std::u16string_view v) { FCommentLine2 = v; }
  // Block comment pairs, each written as opener, comma, closer.
  WideString CommentBlock1() const { return FBlock[0].open + u',' + FBlock[0].close; }
  void SetCommentBlock1(std::u16string_view v) { SetBlock(0, v); }
  WideString CommentBlock2() const { return FBlock[1].open + u',' + FBlock[1].close; }
  void SetCommentBlock2(std::u16string_view v) { SetBlock(1, v); }
  const WideString& HexSequence() const { return FHexSequence; }
  void SetHexSequence(std::u16string_view v) { FHexSequence = v; }
  // Only the first character is used.
  const WideString& StringQuotes() const { return FStringQuotes; }
  void SetStringQuotes(std::u16string_view v) { FStringQuotes = v; }
  // Line-continuation character (first character used); empty for none.
  const WideString& SkipChar() const { return FSkipChar; }
  void SetSkipChar(std::u16string_view v) { FSkipChar = v; }
  bool SkipEOL() const { return FSkipEOL; }
  void SetSkipEOL(bool v) { FSkipEOL = v; }
  bool SkipSpace() const { return FSkipSpace; }
  void SetSkipSpace(bool v) { FSkipSpace = v; }
  bool SpecStrChar() const { return FSpecStrChar; }
  void SetSpecStrChar(bool v) { FSpecStrChar = v; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool v) { FCaseSensitive = v; }
  bool UseY() const { return FUseY; }
  void SetUseY(bool v);

  // Byte values allowed in identifiers (codes of 127 and more are always allowed).
  bool InIdentifierCharset(char16_t c) const { return c < 256 && FIdentChars.test(c); }
  // IdentifierCharset := the characters of s.
  void ConstructCharset(std::u16string_view s);

  void SkipSpaces();
  // Identifier, or empty for a reserved word or no identifier.
  WideString GetIdent();
  // Identifier including reserved words, or empty.
  WideString GetWord();
  // One punctuation character, or empty; does not skip white space.
  WideString GetChar();
  // String literal, its value enclosed in single quotes, or empty.
  WideString GetString();
  // Number text (hexadecimal prefix written as "$"), or empty.
  WideString GetNumber();
  // Text of a field reference up to its closing character, which is left unread.
  WideString GetFRString();
  // True when a run of line ends was consumed.
  bool GetEOL();

  // "line:column" of Position, both counted from 1.
  WideString GetXYPosition() const { return PositionText(FPosition); }
  // "line:column" of any index.
  WideString PositionText(int index) const;
  void LineColumn(int index, int& line, int& column) const;
  // Index for (column, line), or -1 when the line does not exist.
  int GetPlainPosition(int column, int line) const;

  // Readers without allocation, for the grammar matcher: the token as a view into the text
  // (valid until the text changes), empty when there is none.
  std::u16string_view ReadWord();
  std::u16string_view ReadIdent();
  std::u16string_view ReadChar();
  std::u16string_view ReadNumber(WideString& scratch);
  // The value is built into scratch; returns false when there is no string.
  bool ReadString(WideString& scratch);
  std::u16string_view ReadFRString();

  // The character at a 1-based index; #0 outside the text.
  char16_t Ch(int index) const {
    return index >= 1 && index <= FSize ? FText[static_cast<size_t>(index - 1)] : u'\0';
  }

 private:
  struct Block {
    WideString open, close;
  };
  void SetBlock(int n, std::u16string_view v);
  bool StartsWith(int index, std::u16string_view s) const;
  // With line ends significant, both CR and LF end a line, so files with either ending read
  // the same.
  bool IsWhite(char16_t c) const { return c <= 32 && (FSkipEOL || (c != 13 && c != 10)); }
  // Whether a line comment with this prefix starts at index. A prefix that is a word ("rem")
  // starts one only as a whole word, in any case unless the language is case-sensitive.
  bool LineCommentAt(int index, std::u16string_view prefix) const;
  void BuildLineStarts();
  bool ReadQuotedPiece(WideString& value);
  bool ReadControlPiece(WideString& value);

  WideString FText;  // source + #0
  int FSize = 0;
  int FPosition = 1;
  int FLastPosition = 1;
  std::vector<WideString> FKeywords;  // sorted, case-insensitively
  std::vector<int> FLineStarts{0};    // 0, then the index of every LF
  WideString FCommentLine1 = u"//";
  WideString FCommentLine2;
  Block FBlock[2] = {{u"{", u"}"}, {u"(*", u"*)"}};
  WideString FHexSequence = u"$";
  WideString FStringQuotes = u"'";
  WideString FSkipChar;
  std::bitset<256> FIdentChars;
  bool FSkipEOL = true;
  bool FSkipSpace = true;
  bool FSpecStrChar = false;
  bool FCaseSensitive = false;
  bool FUseY = true;
};

// ASCII case folding used for keyword and grammar text comparison.
inline char16_t FoldCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}
bool SameTextFolded(std::u16string_view a, std::u16string_view b);
int CompareTextFolded(std::u16string_view a, std::u16string_view b);

}  // namespace pagewright
