#include "script/parser.h"

#include <algorithm>

namespace pagewright {

namespace {

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
int HexValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return c - u'A' + 10;
}
bool IsLetterOrDigit(char16_t c) {
  return IsDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Appends the character of a code; codes past the BMP become a surrogate pair, codes past
// Unicode the replacement character.
void AppendCode(WideString& s, uint32_t code) {
  if (code <= 0xFFFF) {
    s.push_back(static_cast<char16_t>(code));
  } else if (code <= 0x10FFFF) {
    code -= 0x10000;
    s.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    s.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  } else {
    s.push_back(u'\uFFFD');
  }
}

// Accumulates digits without overflow: anything past Unicode saturates.
uint32_t Accumulate(uint32_t v, int base, int digit) {
  uint64_t n = static_cast<uint64_t>(v) * base + digit;
  return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<uint32_t>(n);
}

}  // namespace

bool SameTextFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

int CompareTextFolded(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TvmParser::TvmParser() {
  Clear();
  SetText(u"");
}

void TvmParser::Clear() {
  FKeywords.clear();
  FCommentLine1 = u"//";
  FBlock[0] = {u"{", u"}"};
  FBlock[1] = {u"(*", u"*)"};
  FHexSequence = u"$";
  FStringQuotes = u"'";
  ConstructCharset(u"_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  FSkipChar.clear();
  FSkipEOL = true;
  FSkipSpace = true;
  FSpecStrChar = false;
  FUseY = true;
  FText.assign(1, u'\0');
  FSize = 0;
  FPosition = FLastPosition = 1;
  FLineStarts.assign(1, 0);
}

void TvmParser::SetText(std::u16string_view text) {
  FText.assign(text.begin(), text.end());
  FText.push_back(u'\0');
  FSize = static_cast<int>(text.size());
  SetPosition(1);
  BuildLineStarts();
}

void TvmParser::SetUseY(bool v) {
  FUseY = v;
  BuildLineStarts();
}

void TvmParser::BuildLineStarts() {
  FLineStarts.assign(1, 0);
  if (!FUseY) return;
  for (int i = 0; i < FSize; ++i)
    if (FText[static_cast<size_t>(i)] == u'\n') FLineStarts.push_back(i + 1);
}

void TvmParser::SetBlock(int n, std::u16string_view v) {
  size_t comma = v.find(u',');
  if (comma == std::u16string_view::npos) {
    FBlock[n] = {WideString(v), WideString()};
  } else {
    FBlock[n] = {WideString(v.substr(0, comma)), WideString(v.substr(comma + 1))};
  }
}

void TvmParser::ConstructCharset(std::u16string_view s) {
  FIdentChars.reset();
  for (char16_t c : s)
    if (c < 256) FIdentChars.set(c);
}

void TvmParser::AddKeyword(std::u16string_view word) {
  auto it = std::lower_bound(
      FKeywords.begin(), FKeywords.end(), word,
      [](const WideString& a, std::u16string_view b) { return CompareTextFolded(a, b) < 0; });
  FKeywords.insert(it, WideString(word));
}

bool TvmParser::IsKeyWord(std::u16string_view s) const {
  auto it = std::lower_bound(
      FKeywords.begin(), FKeywords.end(), s,
      [](const WideString& a, std::u16string_view b) { return CompareTextFolded(a, b) < 0; });
  if (!FCaseSensitive) return it != FKeywords.end() && SameTextFolded(*it, s);
  // Entries equal ignoring case stand together; one of them must match exactly.
  for (; it != FKeywords.end() && SameTextFolded(*it, s); ++it)
    if (*it == s) return true;
  return false;
}

bool TvmParser::StartsWith(int index, std::u16string_view s) const {
  if (s.empty() || index < 1 || static_cast<size_t>(index - 1) + s.size() > static_cast<size_t>(FSize))
    return false;
  const char16_t* p = FText.data() + (index - 1);
  if (p[0] != s[0]) return false;  // the common case, decided by one character
  return std::u16string_view(p, s.size()) == s;
}

bool TvmParser::LineCommentAt(int index, std::u16string_view prefix) const {
  if (prefix.empty()) return false;
  if (!InIdentifierCharset(prefix[0])) return StartsWith(index, prefix);
  if (index < 1 || static_cast<size_t>(index - 1) + prefix.size() > static_cast<size_t>(FSize)) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = Ch(index + static_cast<int>(i));
    if (FCaseSensitive ? c != prefix[i] : FoldCase(c) != FoldCase(prefix[i])) return false;
  }
  auto wordChar = [this](char16_t c) { return InIdentifierCharset(c) || c >= 127; };
  if (index > 1 && wordChar(Ch(index - 1))) return false;
  int after = index + static_cast<int>(prefix.size());
  return after > FSize || !wordChar(Ch(after));
}

void TvmParser::SkipSpaces() {
  // A continuation character is followed by the skipping of white space and one run of line
  // ends, then skipping goes on; counting them keeps this iterative however many there are.
  int pendingEOLs = 0;
  for (;;) {
    while (FPosition <= FSize && IsWhite(Ch(FPosition))) ++FPosition;
    if (!FSkipChar.empty() && Ch(FPosition) == FSkipChar[0] && FPosition <= FSize) {
      ++FPosition;
      ++pendingEOLs;
      continue;
    }
    const char16_t c = Ch(FPosition);
    auto opens = [c](const WideString& s) { return !s.empty() && s[0] == c; };
    auto opensWord = [this, c](const WideString& s) {
      return !s.empty() && (s[0] == c || (!FCaseSensitive && FoldCase(s[0]) == FoldCase(c)));
    };
    if (FPosition < FSize && (opensWord(FCommentLine1) || opensWord(FCommentLine2) || opens(FBlock[0].open) ||
                              opens(FBlock[1].open))) {
      if (LineCommentAt(FPosition, FCommentLine1) || LineCommentAt(FPosition, FCommentLine2)) {
        // A comment that is the whole line goes with its line end; after code, the line end
        // stays for GetEOL when line ends are significant.
        bool lineStart = FPosition == 1 || Ch(FPosition - 1) == u'\n' || Ch(FPosition - 1) == u'\r';
        while (FPosition <= FSize && Ch(FPosition) != u'\n' && Ch(FPosition) != u'\r') ++FPosition;
        if (lineStart || FSkipEOL)
          while (FPosition <= FSize && (Ch(FPosition) == u'\r' || Ch(FPosition) == u'\n')) ++FPosition;
        continue;
      }
      int block = StartsWith(FPosition, FBlock[0].open) ? 0 : StartsWith(FPosition, FBlock[1].open) ? 1 : -1;
      if (block >= 0) {
        FPosition += static_cast<int>(FBlock[block].open.size());
        const WideString& close = FBlock[block].close;
        while (FPosition <= FSize && !StartsWith(FPosition, close)) ++FPosition;
        if (FPosition <= FSize) FPosition += static_cast<int>(close.size());
        continue;
      }
    }
    FLastPosition = FPosition;
    if (pendingEOLs == 0) return;
    --pendingEOLs;
    while (Ch(FPosition) == u'\r' || Ch(FPosition) == u'\n') ++FPosition;
  }
}

std::u16string_view TvmParser::ReadWord() {
  if (FSkipSpace) SkipSpaces();
  char16_t c = Ch(FPosition);
  if (!((InIdentifierCharset(c) && !IsDigit(c)) || c >= 127)) return {};
  int start = FPosition;
  while (FPosition <= FSize && (InIdentifierCharset(Ch(FPosition)) || Ch(FPosition) >= 127)) ++FPosition;
  return std::u16string_view(FText).substr(static_cast<size_t>(start - 1),
                                           static_cast<size_t>(FPosition - start));
}

std::u16string_view TvmParser::ReadIdent() {
  std::u16string_view w = ReadWord();
  if (!w.empty() && IsKeyWord(w)) return {};
  return w;
}

std::u16string_view TvmParser::ReadChar() {
  char16_t c = Ch(FPosition);
  if (c < 33 || c > 126 || IsLetterOrDigit(c) || FPosition > FSize) return {};
  ++FPosition;
  return std::u16string_view(FText).substr(static_cast<size_t>(FPosition - 2), 1);
}

bool TvmParser::ReadQuotedPiece(WideString& value) {
  const char16_t quote = FStringQuotes[0];
  int start = FPosition;
  size_t keep = value.size();
  ++FPosition;
  for (;;) {
    char16_t c = Ch(FPosition);
    if (FPosition > FSize) break;  // the #0 after the text: unterminated
    if (c == quote) {
      if (!FSpecStrChar && Ch(FPosition + 1) == quote && FPosition + 1 <= FSize) {
        value.push_back(quote);
        FPosition += 2;
        continue;
      }
      ++FPosition;
      return true;
    }
    if (FSpecStrChar && c == u'\\') {
      if (FPosition + 1 > FSize) break;
      char16_t n = Ch(FPosition + 1);
      FPosition += 2;
      if (n == u'n' || n == u'N') {
        value.push_back(u'\n');
      } else if (n == u'r' || n == u'R') {
        value.push_back(u'\r');
      } else if (n == u'x' || n == u'X') {
        uint32_t code = 0;
        int digits = 0;
        while (FPosition <= FSize && IsHexDigit(Ch(FPosition))) {
          code = Accumulate(code, 16, HexValue(Ch(FPosition)));
          ++FPosition;
          ++digits;
        }
        if (digits > 0) AppendCode(value, code);
      } else {
        value.push_back(n);
      }
      continue;
    }
    if (c < 32 && c != 9) break;
    value.push_back(c);
    ++FPosition;
  }
  FPosition = start;
  value.resize(keep);
  return false;
}

bool TvmParser::ReadControlPiece(WideString& value) {
  int p = FPosition + 1;
  uint32_t code = 0;
  if (StartsWith(p, FHexSequence) && IsHexDigit(Ch(p + static_cast<int>(FHexSequence.size())))) {
    p += static_cast<int>(FHexSequence.size());
    while (p <= FSize && IsHexDigit(Ch(p))) code = Accumulate(code, 16, HexValue(Ch(p++)));
  } else if (IsDigit(Ch(p))) {
    while (p <= FSize && IsDigit(Ch(p))) code = Accumulate(code, 10, Ch(p++) - u'0');
  } else {
    return false;
  }
  AppendCode(value, code);
  FPosition = p;
  return true;
}

bool TvmParser::ReadString(WideString& scratch) {
  if (FSkipSpace) SkipSpaces();
  scratch.assign(1, u'\'');
  bool any = false;
  for (;;) {
    char16_t c = Ch(FPosition);
    if (FPosition > FSize) break;
    if (!FStringQuotes.empty() && c == FStringQuotes[0]) {
      if (!ReadQuotedPiece(scratch)) break;
    } else if (c == u'#') {
      if (!ReadControlPiece(scratch)) break;
    } else {
      break;
    }
    any = true;
  }
  if (!any) {
    scratch.clear();
    return false;
  }
  scratch.push_back(u'\'');
  return true;
}

std::u16string_view TvmParser::ReadNumber(WideString& scratch) {
  if (FSkipSpace) SkipSpaces();
  const int start = FPosition;
  int p = start;
  if (StartsWith(p, FHexSequence)) {
    p += static_cast<int>(FHexSequence.size());
    int digits = p;
    while (p <= FSize && IsHexDigit(Ch(p))) ++p;
    if (p == digits) return {};
  } else {
    while (p <= FSize && IsDigit(Ch(p))) ++p;
    if (p == start) return {};
  }
  const int intEnd = p;
  bool real = true;
  if (Ch(p) == u'.' && p <= FSize) {
    if (IsDigit(Ch(p + 1))) {
      p += 1;
      while (p <= FSize && IsDigit(Ch(p))) ++p;
    } else {
      real = false;
    }
  }
  if (real && (Ch(p) == u'e' || Ch(p) == u'E')) {
    int q = p + 1;
    if (Ch(q) == u'+' || Ch(q) == u'-') ++q;
    if (IsDigit(Ch(q))) {
      while (q <= FSize && IsDigit(Ch(q))) ++q;
      p = q;
    }
  }
  FPosition = real ? p : intEnd;
  std::u16string_view token = std::u16string_view(FText).substr(static_cast<size_t>(start - 1),
                                                                static_cast<size_t>(FPosition - start));
  if (FHexSequence.empty() || FHexSequence == u"$" || token.find(FHexSequence) == std::u16string_view::npos)
    return token;
  scratch.clear();
  for (size_t i = 0; i < token.size();) {
    if (token.substr(i, FHexSequence.size()) == FHexSequence) {
      scratch.push_back(u'$');
      i += FHexSequence.size();
    } else {
      scratch.push_back(token[i++]);
    }
  }
  return scratch;
}

std::u16string_view TvmParser::ReadFRString() {
  const int start = FPosition;
  int depth = 1;
  bool inDouble = false, inSingle = false;
  int p = start;
  for (; p <= FSize; ++p) {
    char16_t c = Ch(p);
    if (c == u'"' && !inSingle) {
      inDouble = !inDouble;
    } else if (c == u'\'' && !inDouble) {
      inSingle = !inSingle;
    } else if (!inDouble && !inSingle) {
      if (c == u'<' || c == u'[') {
        ++depth;
      } else if (c == u'>' || c == u']') {
        if (--depth == 0) break;
      }
    }
  }
  FPosition = p;
  return std::u16string_view(FText).substr(static_cast<size_t>(start - 1), static_cast<size_t>(p - start));
}

WideString TvmParser::GetIdent() {
  return WideString(ReadIdent());
}
WideString TvmParser::GetWord() {
  return WideString(ReadWord());
}
WideString TvmParser::GetChar() {
  return WideString(ReadChar());
}
WideString TvmParser::GetFRString() {
  return WideString(ReadFRString());
}

WideString TvmParser::GetString() {
  WideString s;
  ReadString(s);
  return s;
}

WideString TvmParser::GetNumber() {
  WideString scratch;
  return WideString(ReadNumber(scratch));
}

bool TvmParser::GetEOL() {
  SkipSpaces();
  char16_t c = Ch(FPosition);
  if (FPosition > FSize || (c != u'\r' && c != u'\n')) return false;
  while (FPosition <= FSize && (Ch(FPosition) == u'\r' || Ch(FPosition) == u'\n')) ++FPosition;
  return true;
}

void TvmParser::LineColumn(int index, int& line, int& column) const {
  if (FUseY) {
    // Number of LFs before index: an LF belongs to the line it ends.
    auto it = std::lower_bound(FLineStarts.begin() + 1, FLineStarts.end(), index);
    line = static_cast<int>(it - FLineStarts.begin());
    column = index - FLineStarts[static_cast<size_t>(line - 1)];
    return;
  }
  line = 1;
  int lastLF = 0;
  for (int i = 1; i < index && i <= FSize; ++i)
    if (Ch(i) == u'\n') ++line, lastLF = i;
  column = index - lastLF;
}

WideString TvmParser::PositionText(int index) const {
  int line, column;
  LineColumn(index, line, column);
  char16_t buffer[24];
  char16_t* end = buffer + 24;
  char16_t* p = end;
  auto put = [&p](int v) {
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    do *--p = static_cast<char16_t>(u'0' + u % 10);
    while (u /= 10);
    if (v < 0) *--p = u'-';
  };
  put(column);
  *--p = u':';
  put(line);
  return WideString(p, end);
}

int TvmParser::GetPlainPosition(int column, int line) const {
  if (line < 1) return -1;
  if (FUseY) {
    if (line > static_cast<int>(FLineStarts.size())) return -1;
    return FLineStarts[static_cast<size_t>(line - 1)] + column;
  }
  int current = 1;
  for (int i = 1; current < line; ++i) {
    if (i > FSize) return -1;
    if (Ch(i) == u'\n' && ++current == line) return i + column;
  }
  return column;
}

}  // namespace pagewright
