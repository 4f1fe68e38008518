#include "platform/wide_strings.h"

#include <algorithm>

#include "platform/unicode.h"

namespace pagewright {

namespace {

char16_t AsciiUpper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}
char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

template <typename Fold>
int CompareFolded(std::u16string_view a, std::u16string_view b, Fold fold) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    char16_t x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsBlank(char16_t c) {
  return c <= u' ';
}

// Clamps a 1-based index and count to a 0-based [start, start + len) inside a string of size n.
bool ClampRange(size_t n, int index, int count, size_t& start, size_t& len) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<size_t>(index) > n) return false;
  start = static_cast<size_t>(index) - 1;
  len = std::min(static_cast<size_t>(count), n - start);
  return true;
}

// Finds sub in s from 0-based position from, comparing folded characters.
size_t FindFolded(std::u16string_view s, std::u16string_view sub, size_t from) {
  if (sub.size() > s.size()) return std::u16string_view::npos;
  for (size_t i = from; i + sub.size() <= s.size(); ++i) {
    size_t k = 0;
    while (k < sub.size() && (s[i + k] == sub[k] || WideFoldChar(s[i + k]) == WideFoldChar(sub[k]))) ++k;
    if (k == sub.size()) return i;
  }
  return std::u16string_view::npos;
}

}  // namespace

WideString WideUpperCase(std::u16string_view s) {
  WideString r(s);
  for (char16_t& c : r) c = WideUpperChar(c);
  return r;
}

WideString WideLowerCase(std::u16string_view s) {
  WideString r(s);
  for (char16_t& c : r) c = WideLowerChar(c);
  return r;
}

WideString UpperCase(std::u16string_view s) {
  WideString r(s);
  for (char16_t& c : r) c = AsciiUpper(c);
  return r;
}

WideString LowerCase(std::u16string_view s) {
  WideString r(s);
  for (char16_t& c : r) c = AsciiLower(c);
  return r;
}

int WideCompareStr(std::u16string_view a, std::u16string_view b) {
  return CompareFolded(a, b, [](char16_t c) { return c; });
}

int WideCompareText(std::u16string_view a, std::u16string_view b) {
  return CompareFolded(a, b, WideFoldChar);
}

bool WideSameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && WideCompareText(a, b) == 0;
}

int CompareText(std::u16string_view a, std::u16string_view b) {
  return CompareFolded(a, b, AsciiUpper);
}

bool SameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsText(std::u16string_view prefix, std::u16string_view s) {
  return prefix.size() <= s.size() && WideCompareText(s.substr(0, prefix.size()), prefix) == 0;
}

bool EndsText(std::u16string_view suffix, std::u16string_view s) {
  return suffix.size() <= s.size() && WideCompareText(s.substr(s.size() - suffix.size()), suffix) == 0;
}

bool StartsStr(std::u16string_view prefix, std::u16string_view s) {
  return s.substr(0, prefix.size()) == prefix;
}

bool EndsStr(std::u16string_view suffix, std::u16string_view s) {
  return suffix.size() <= s.size() && s.substr(s.size() - suffix.size()) == suffix;
}

WideString Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return WideString(s.substr(b, e - b));
}

WideString TrimLeft(std::u16string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return WideString(s.substr(b));
}

WideString TrimRight(std::u16string_view s) {
  size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return WideString(s.substr(0, e));
}

int Pos(std::u16string_view sub, std::u16string_view s) {
  return PosEx(sub, s, 1);
}

int PosEx(std::u16string_view sub, std::u16string_view s, int offset) {
  if (sub.empty() || offset < 1 || static_cast<size_t>(offset) > s.size()) return 0;
  size_t p = s.find(sub, static_cast<size_t>(offset) - 1);
  return p == std::u16string_view::npos ? 0 : static_cast<int>(p) + 1;
}

int LastDelimiter(std::u16string_view delimiters, std::u16string_view s) {
  size_t p = s.find_last_of(delimiters);
  return p == std::u16string_view::npos ? 0 : static_cast<int>(p) + 1;
}

WideString Copy(std::u16string_view s, int index, int count) {
  size_t start, len;
  if (!ClampRange(s.size(), index, count, start, len)) return WideString();
  return WideString(s.substr(start, len));
}

void Delete(WideString& s, int index, int count) {
  if (index < 1) return;  // unlike Copy, Delete does not move a low index up
  size_t start, len;
  if (ClampRange(s.size(), index, count, start, len)) s.erase(start, len);
}

void Insert(std::u16string_view source, WideString& s, int index) {
  size_t at = index < 1 ? 0 : std::min(static_cast<size_t>(index) - 1, s.size());
  s.insert(at, source);
}

WideString StringReplace(std::u16string_view s, std::u16string_view oldPattern,
                         std::u16string_view newPattern, TReplaceFlags flags) {
  if (oldPattern.empty()) return WideString(s);
  bool all = flags.Contains(rfReplaceAll), ignoreCase = flags.Contains(rfIgnoreCase);
  WideString out;
  size_t from = 0;
  while (from <= s.size()) {
    size_t p = ignoreCase ? FindFolded(s, oldPattern, from) : s.find(oldPattern, from);
    if (p == std::u16string_view::npos) break;
    out.append(s.substr(from, p - from));
    out.append(newPattern);
    from = p + oldPattern.size();
    if (!all) break;
  }
  out.append(s.substr(std::min(from, s.size())));
  return out;
}

WideString StringOfChar(char16_t c, int count) {
  return count > 0 ? WideString(count, c) : WideString();
}

WideString QuotedStr(std::u16string_view s) {
  return AnsiQuotedStr(s, u'\'');
}

WideString AnsiQuotedStr(std::u16string_view s, char16_t quote) {
  WideString out;
  out.reserve(s.size() + 2);
  out.push_back(quote);
  for (char16_t c : s) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  out.push_back(quote);
  return out;
}

WideString AnsiExtractQuotedStr(std::u16string_view s, size_t& pos, char16_t quote) {
  WideString out;
  if (pos >= s.size() || s[pos] != quote) return out;
  size_t i = pos + 1;
  while (i < s.size()) {
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {  // doubled quote
        out.push_back(quote);
        i += 2;
        continue;
      }
      ++i;  // closing quote
      pos = i;
      return out;
    }
    out.push_back(s[i++]);
  }
  pos = s.size();
  return out;
}

WideString AnsiDequotedStr(std::u16string_view s, char16_t quote) {
  size_t pos = 0;
  WideString r = AnsiExtractQuotedStr(s, pos, quote);
  // Not a quoted string, or one that was unterminated or had text after it: keep the input.
  bool wellFormed = !s.empty() && s.front() == quote && s.back() == quote;
  if ((r.empty() || pos == s.size()) && !s.empty() && !wellFormed) return WideString(s);
  return r;
}

std::string AsciiUpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

std::string AsciiLowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

int AsciiCompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool AsciiSameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiCompareText(a, b) == 0;
}

namespace {
bool IsBlank8(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}
}  // namespace

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank8(s[b])) ++b;
  while (e > b && IsBlank8(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlank8(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsBlank8(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

}  // namespace pagewright
