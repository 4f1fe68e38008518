// Inline formatting tags of report text ("<b>", "<font color=...>", "<sub>" ...): the parser that
// strips them from a line and the per-character attributes it leaves behind, one list per
// wrapped line.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "render/fonts.h"

namespace pagewright {

enum TSubStyle : uint8_t { ssNormal, ssSubscript, ssSuperscript };

// Attributes of one character of a wrapped line.
struct TpgwHTMLTag {
  int Position = 0;  // 1-based index of the character in the layout's plain text (tags included)
  int Size = 0;      // points
  int AddY = 0;      // 1 for subscript
  TFontStyles Style;
  TColor Color = clBlack;
  bool Default = true;  // same attributes as the character before (or the defaults, for the first)
  bool Small = false;   // Size differs from the default size
  bool DontWRAP = false;
  TSubStyle SubType = ssNormal;

  // Same drawing attributes (what decides where a run ends).
  bool SameLook(const TpgwHTMLTag& o) const {
    return Style == o.Style && Color == o.Color && Size == o.Size && AddY == o.AddY && DontWRAP == o.DontWRAP;
  }
};

// The attributes of one wrapped line, one per character.
using TpgwHTMLTags = std::vector<TpgwHTMLTag>;

// One attribute list per wrapped line, and the tag parser's state. Lists are pooled: Clear keeps
// their storage for the next layout.
class TpgwHTMLTagsList {
 public:
  TpgwHTMLTagsList() = default;

  bool AllowTags = true;
  // Parser state.
  int AddY = 0;
  TColor Color = clBlack;
  TColor DefColor = clBlack;
  int DefSize = 10;
  TFontStyles DefStyle;
  int Position = 1;
  int Size = 10;
  TFontStyles Style;
  bool DontWRAP = false;
  TSubStyle SubStyle = ssNormal;

  // Sets the defaults and resets the state to them (position 1, no open tags).
  void Init(TColor defColor, int defSize, TFontStyles defStyle);

  // Strips the recognised tags from line, in place, and fills attrs with one entry per remaining
  // character. An emptied line becomes a single space. With AllowTags off every character is
  // ordinary and Default.
  void ExpandHTMLTags(WideString& line, TpgwHTMLTags& attrs);

  // Whether a tag's attributes equal the defaults (as a first character's Default is decided).
  bool IsDefaultLook(const TpgwHTMLTag& t) const {
    return t.Style == DefStyle && t.Color == DefColor && t.Size == DefSize;
  }

  // The per-line lists.
  int Count() const { return FCount; }
  TpgwHTMLTags& operator[](int i) { return FItems[static_cast<size_t>(i)]; }
  const TpgwHTMLTags& operator[](int i) const { return FItems[static_cast<size_t>(i)]; }
  // A new, empty list at the end (storage reused).
  TpgwHTMLTags& Add();
  // Keeps the first n lists.
  void Truncate(int n) {
    if (n < FCount) FCount = n < 0 ? 0 : n;
  }
  void Clear() { FCount = 0; }

  // The text with every recognised tag removed (no state is changed).
  static WideString DeleteTags(std::u16string_view text);

 private:
  enum TagKind : uint8_t { tkBold, tkItalic, tkUnderline, tkStrike, tkSub, tkSup, tkNoWrap, tkFont };
  struct OpenTag {
    TagKind kind;
    TColor color;
  };
  void ApplyOpen(const OpenTag& t);
  void ApplyClose(TagKind kind);
  void Close(TagKind kind);

  std::vector<TpgwHTMLTags> FItems;
  int FCount = 0;
  std::vector<OpenTag> FOpen;
};

// Recognises a tag at text[at] (which is '<'): its length, and what it does. Returns 0 when
// there is no recognised tag there.
struct TpgwTagMatch {
  int Length = 0;
  int Kind = 0;  // internal kind; see html_tags.cpp
  bool Closing = false;
  TColor Color = clBlack;
};
TpgwTagMatch MatchHTMLTag(std::u16string_view text, size_t at);

}  // namespace pagewright
