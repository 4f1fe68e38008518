#include "render/html_tags.h"

#include <algorithm>

#include "render/colors.h"

namespace pagewright {

namespace {

enum Kind : int { kBold, kItalic, kUnderline, kStrike, kSub, kSup, kNoWrap, kFont };

char16_t Upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// Case-insensitive comparison of text at `at` with an upper-case ASCII word.
bool MatchWord(std::u16string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Upper(text[at + i]) != static_cast<char16_t>(word[i])) return false;
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  c = Upper(c);
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

struct SimpleTag {
  std::string_view name;
  Kind kind;
};
constexpr SimpleTag kSimpleTags[] = {{"STRIKE>", kStrike}, {"NOWRAP>", kNoWrap}, {"SUB>", kSub},
                                     {"SUP>", kSup},       {"B>", kBold},        {"I>", kItalic},
                                     {"U>", kUnderline}};

// The colour value of a "<font color=V>" tag, if V is one.
bool ParseColorValue(std::u16string_view v, TColor& color) {
  while (!v.empty() && v.front() == u' ') v.remove_prefix(1);
  while (!v.empty() && v.back() == u' ') v.remove_suffix(1);
  if (v.size() > 3 && v.front() == u'"' && v.back() == u'"') v = v.substr(1, v.size() - 2);
  if (v.size() == 7 && v[0] == u'#') {
    int rgb[3];
    for (int k = 0; k < 3; ++k) {
      const int hi = HexDigit(v[1 + 2 * k]), lo = HexDigit(v[2 + 2 * k]);
      if (hi < 0 || lo < 0) return false;
      rgb[k] = hi * 16 + lo;
    }
    color =
        RGBColor(static_cast<uint8_t>(rgb[0]), static_cast<uint8_t>(rgb[1]), static_cast<uint8_t>(rgb[2]));
    return true;
  }
  if (v.empty() || v.size() > 64) return false;
  WideString name = u"cl";
  name.append(v);
  if (auto c = IdentToColor(name)) {
    color = *c;
    return true;
  }
  return false;
}

}  // namespace

TpgwTagMatch MatchHTMLTag(std::u16string_view text, size_t at) {
  TpgwTagMatch m;
  if (at >= text.size() || text[at] != u'<') return m;
  size_t p = at + 1;
  if (p < text.size() && text[p] == u'/') {
    m.Closing = true;
    ++p;
    if (MatchWord(text, p, "FONT>")) {
      m.Kind = kFont;
      m.Length = static_cast<int>(p + 5 - at);
      return m;
    }
  } else if (MatchWord(text, p, "FONT COLOR")) {
    size_t q = p + 10;
    while (q < text.size() && text[q] == u' ') ++q;
    if (q >= text.size() || text[q] != u'=') return m;
    const size_t close = text.find(u'>', q + 1);
    if (close == std::u16string_view::npos) return m;
    if (!ParseColorValue(text.substr(q + 1, close - q - 1), m.Color)) return m;
    m.Kind = kFont;
    m.Length = static_cast<int>(close + 1 - at);
    return m;
  }
  for (const SimpleTag& t : kSimpleTags) {
    if (MatchWord(text, p, t.name)) {
      m.Kind = t.kind;
      m.Length = static_cast<int>(p + t.name.size() - at);
      return m;
    }
  }
  return m;
}

void TpgwHTMLTagsList::Init(TColor defColor, int defSize, TFontStyles defStyle) {
  DefColor = defColor;
  DefSize = defSize;
  DefStyle = defStyle;
  Color = defColor;
  Size = defSize;
  Style = defStyle;
  AddY = 0;
  DontWRAP = false;
  SubStyle = ssNormal;
  Position = 1;
  FOpen.clear();
}

TpgwHTMLTags& TpgwHTMLTagsList::Add() {
  if (static_cast<size_t>(FCount) == FItems.size()) FItems.emplace_back();
  TpgwHTMLTags& t = FItems[static_cast<size_t>(FCount++)];
  t.clear();
  return t;
}

void TpgwHTMLTagsList::ApplyOpen(const OpenTag& t) {
  switch (t.kind) {
    case tkBold:
      Style.Include(fsBold);
      break;
    case tkItalic:
      Style.Include(fsItalic);
      break;
    case tkUnderline:
      Style.Include(fsUnderline);
      break;
    case tkStrike:
      Style.Include(fsStrikeOut);
      break;
    case tkSub:
      Size = static_cast<int>(RoundHalfEven(DefSize / 1.5L));
      AddY = 1;
      SubStyle = ssSubscript;
      break;
    case tkSup:
      Size = static_cast<int>(RoundHalfEven(DefSize / 1.5L));
      AddY = 0;
      SubStyle = ssSuperscript;
      break;
    case tkNoWrap:
      DontWRAP = true;
      break;
    case tkFont:
      Color = t.color;
      break;
  }
}

void TpgwHTMLTagsList::ApplyClose(TagKind kind) {
  switch (kind) {
    case tkBold:
      Style.Exclude(fsBold);
      break;
    case tkItalic:
      Style.Exclude(fsItalic);
      break;
    case tkUnderline:
      Style.Exclude(fsUnderline);
      break;
    case tkStrike:
      Style.Exclude(fsStrikeOut);
      break;
    case tkSub:
    case tkSup:
      Size = DefSize;
      AddY = 0;
      SubStyle = ssNormal;
      break;
    case tkNoWrap:
      DontWRAP = false;
      break;
    case tkFont:
      Color = DefColor;
      break;
  }
}

// A closing tag closes the tags opened after its opening tag too, then opens them again, as
// if their opening text followed the closing tag: badly nested tags act as nested ones.
void TpgwHTMLTagsList::Close(TagKind kind) {
  size_t match = FOpen.size();
  for (size_t i = FOpen.size(); i-- > 0;)
    if (FOpen[i].kind == kind ||
        ((kind == tkSub || kind == tkSup) && (FOpen[i].kind == tkSub || FOpen[i].kind == tkSup))) {
      match = i;
      break;
    }
  if (match == FOpen.size()) {
    ApplyClose(kind);
    return;
  }
  for (size_t i = FOpen.size(); i-- > match + 1;) ApplyClose(FOpen[i].kind);
  ApplyClose(kind);
  FOpen.erase(FOpen.begin() + static_cast<std::ptrdiff_t>(match));
  for (size_t i = match; i < FOpen.size(); ++i) ApplyOpen(FOpen[i]);
}

void TpgwHTMLTagsList::ExpandHTMLTags(WideString& line, TpgwHTMLTags& attrs) {
  attrs.clear();
  attrs.reserve(line.size() + 1);
  TpgwHTMLTag prev;
  auto push = [&](int position) {
    TpgwHTMLTag t;
    t.Position = position;
    t.Size = Size;
    t.AddY = AddY;
    t.Style = Style;
    t.Color = Color;
    t.DontWRAP = DontWRAP;
    t.SubType = SubStyle;
    t.Small = Size != DefSize;
    t.Default = attrs.empty() ? IsDefaultLook(t) : t.SameLook(prev);
    attrs.push_back(t);
    prev = t;
  };
  if (!AllowTags) {
    for (size_t i = 0; i < line.size(); ++i) push(Position++);
  } else {
    size_t out = 0;
    const size_t n = line.size();
    for (size_t i = 0; i < n;) {
      const char16_t c = line[i];
      if (c == u'<') {
        const TpgwTagMatch m = MatchHTMLTag(line, i);
        if (m.Length > 0) {
          const TagKind kind = static_cast<TagKind>(m.Kind);
          if (m.Closing) {
            Close(kind);
          } else {
            OpenTag t{kind, m.Color};
            ApplyOpen(t);
            FOpen.push_back(t);
          }
          Position += m.Length;
          i += static_cast<size_t>(m.Length);
          continue;
        }
      }
      line[out++] = c;
      push(Position++);
      ++i;
    }
    line.resize(out);
  }
  if (line.empty()) {
    line.assign(1, u' ');
    push(Position);
  }
}

WideString TpgwHTMLTagsList::DeleteTags(std::u16string_view text) {
  WideString r;
  r.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == u'<') {
      const TpgwTagMatch m = MatchHTMLTag(text, i);
      if (m.Length > 0) {
        i += static_cast<size_t>(m.Length);
        continue;
      }
    }
    r += text[i++];
  }
  return r;
}

}  // namespace pagewright
