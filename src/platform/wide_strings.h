// String helpers of the runtime over UTF-16 text (and a few ASCII helpers over 8-bit text).
// Positions are 1-based and count UTF-16 code units, as the engine's rules are written; the clamping of
// out-of-range positions and counts follows the runtime's Copy, Delete and Insert.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace pagewright {

// --- Case -----------------------------------------------------------------------------------------
// Locale-independent, table-driven (see WideUpperChar); the length never changes.
WideString WideUpperCase(std::u16string_view s);
WideString WideLowerCase(std::u16string_view s);
// ASCII letters only, like the runtime's UpperCase and LowerCase.
WideString UpperCase(std::u16string_view s);
WideString LowerCase(std::u16string_view s);

// Ordinal comparison of code units: < 0, 0 or > 0.
int WideCompareStr(std::u16string_view a, std::u16string_view b);
// Comparison ignoring case: the code units compared after case folding (WideFoldChar), so the order
// is that of the lower-case forms and punctuation such as "_" sorts before letters.
int WideCompareText(std::u16string_view a, std::u16string_view b);
bool WideSameText(std::u16string_view a, std::u16string_view b);
// ASCII-only case folding, like the runtime's CompareText and SameText.
int CompareText(std::u16string_view a, std::u16string_view b);
bool SameText(std::u16string_view a, std::u16string_view b);

bool StartsText(std::u16string_view prefix, std::u16string_view s);  // ignoring case (WideFoldChar)
bool EndsText(std::u16string_view suffix, std::u16string_view s);
bool StartsStr(std::u16string_view prefix, std::u16string_view s);
bool EndsStr(std::u16string_view suffix, std::u16string_view s);

// --- Trimming: characters <= space ------------------------------------------------------------------
WideString Trim(std::u16string_view s);
WideString TrimLeft(std::u16string_view s);
WideString TrimRight(std::u16string_view s);

// --- Positions (1-based) -------------------------------------------------------------------------
// Position of the first occurrence of sub in s, 0 when absent or when sub is empty.
int Pos(std::u16string_view sub, std::u16string_view s);
// As Pos, starting the search at offset; 0 when offset < 1 or past the end.
int PosEx(std::u16string_view sub, std::u16string_view s, int offset = 1);
// Position of the last character of s that is one of delimiters, 0 when none.
int LastDelimiter(std::u16string_view delimiters, std::u16string_view s);
// count characters from index: index < 1 counts as 1; an index past the end or a count <= 0 gives "".
WideString Copy(std::u16string_view s, int index, int count);
// Removes count characters from index; nothing when index < 1, index is past the end or count <= 0.
void Delete(WideString& s, int index, int count);
// Inserts source before index; index < 1 inserts at the front, index past the end appends.
void Insert(std::u16string_view source, WideString& s, int index);

// --- Replacing and building ----------------------------------------------------------------------
enum TReplaceFlag : uint8_t { rfReplaceAll, rfIgnoreCase };
using TReplaceFlags = Set<TReplaceFlag>;
// Replaces the first (or every, with rfReplaceAll) occurrence of oldPattern; with rfIgnoreCase the
// search folds case. An empty pattern replaces nothing.
WideString StringReplace(std::u16string_view s, std::u16string_view oldPattern,
                         std::u16string_view newPattern, TReplaceFlags flags);
WideString StringOfChar(char16_t c, int count);

// "'" + s with every "'" doubled + "'".
WideString QuotedStr(std::u16string_view s);
// quote + s with every quote doubled + quote.
WideString AnsiQuotedStr(std::u16string_view s, char16_t quote);
// Reads a quoted string starting at s[pos] (0-based): returns its text with doubled quotes made single
// and advances pos past the closing quote (to the end when unterminated). When s[pos] is not the quote
// the result is empty and pos stays.
WideString AnsiExtractQuotedStr(std::u16string_view s, size_t& pos, char16_t quote);
// The text of a quoted string; s itself when it is not a well-formed quoted string.
WideString AnsiDequotedStr(std::u16string_view s, char16_t quote);

// --- 8-bit (ASCII) helpers ----------------------------------------------------------------------
std::string AsciiUpperCase(std::string_view s);
std::string AsciiLowerCase(std::string_view s);
int AsciiCompareText(std::string_view a, std::string_view b);
bool AsciiSameText(std::string_view a, std::string_view b);
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

}  // namespace pagewright
