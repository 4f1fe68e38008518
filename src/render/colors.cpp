#include "render/colors.h"

#include <array>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {
namespace {

// Classic desktop defaults of the 31 system colours, as red-green-blue values.
constexpr std::array<TColor, 31> kSystemColors = {
    RGBColor(212, 208, 200),  // scroll bar
    RGBColor(58, 110, 165),   // background
    RGBColor(10, 36, 106),    // active caption
    RGBColor(128, 128, 128),  // inactive caption
    RGBColor(212, 208, 200),  // menu
    RGBColor(255, 255, 255),  // window
    RGBColor(0, 0, 0),        // window frame
    RGBColor(0, 0, 0),        // menu text
    RGBColor(0, 0, 0),        // window text
    RGBColor(255, 255, 255),  // caption text
    RGBColor(212, 208, 200),  // active border
    RGBColor(212, 208, 200),  // inactive border
    RGBColor(128, 128, 128),  // application work space
    RGBColor(10, 36, 106),    // highlight
    RGBColor(255, 255, 255),  // highlight text
    RGBColor(212, 208, 200),  // button face
    RGBColor(128, 128, 128),  // button shadow
    RGBColor(128, 128, 128),  // grey text
    RGBColor(0, 0, 0),        // button text
    RGBColor(212, 208, 200),  // inactive caption text
    RGBColor(255, 255, 255),  // button highlight
    RGBColor(64, 64, 64),     // 3D dark shadow
    RGBColor(212, 208, 200),  // 3D light
    RGBColor(0, 0, 0),        // info text
    RGBColor(255, 255, 225),  // info background
    RGBColor(0, 0, 0),        // (unused index)
    RGBColor(0, 0, 128),      // hot light
    RGBColor(166, 202, 240),  // gradient active caption
    RGBColor(192, 192, 192),  // gradient inactive caption
    RGBColor(10, 36, 106),    // menu highlight
    RGBColor(212, 208, 200),  // menu bar
};

struct NamedColor {
  TColor value;
  const char16_t* name;
};

// Order matters for value-to-name: the first name of a value wins (clGray before clDkGray).
constexpr NamedColor kNames[] = {
    {clBlack, u"clBlack"},
    {clMaroon, u"clMaroon"},
    {clGreen, u"clGreen"},
    {clOlive, u"clOlive"},
    {clNavy, u"clNavy"},
    {clPurple, u"clPurple"},
    {clTeal, u"clTeal"},
    {clGray, u"clGray"},
    {clSilver, u"clSilver"},
    {clRed, u"clRed"},
    {clLime, u"clLime"},
    {clYellow, u"clYellow"},
    {clBlue, u"clBlue"},
    {clFuchsia, u"clFuchsia"},
    {clAqua, u"clAqua"},
    {clWhite, u"clWhite"},
    {clMoneyGreen, u"clMoneyGreen"},
    {clSkyBlue, u"clSkyBlue"},
    {clCream, u"clCream"},
    {clMedGray, u"clMedGray"},
    {clActiveBorder, u"clActiveBorder"},
    {clActiveCaption, u"clActiveCaption"},
    {clAppWorkSpace, u"clAppWorkSpace"},
    {clBackground, u"clBackground"},
    {clBtnFace, u"clBtnFace"},
    {clBtnHighlight, u"clBtnHighlight"},
    {clBtnShadow, u"clBtnShadow"},
    {clBtnText, u"clBtnText"},
    {clCaptionText, u"clCaptionText"},
    {clDefault, u"clDefault"},
    {clGradientActiveCaption, u"clGradientActiveCaption"},
    {clGradientInactiveCaption, u"clGradientInactiveCaption"},
    {clGrayText, u"clGrayText"},
    {clHighlight, u"clHighlight"},
    {clHighlightText, u"clHighlightText"},
    {clHotLight, u"clHotLight"},
    {clInactiveBorder, u"clInactiveBorder"},
    {clInactiveCaption, u"clInactiveCaption"},
    {clInactiveCaptionText, u"clInactiveCaptionText"},
    {clInfoBk, u"clInfoBk"},
    {clInfoText, u"clInfoText"},
    {clMenu, u"clMenu"},
    {clMenuBar, u"clMenuBar"},
    {clMenuHighlight, u"clMenuHighlight"},
    {clMenuText, u"clMenuText"},
    {clNone, u"clNone"},
    {clScrollBar, u"clScrollBar"},
    {cl3DDkShadow, u"cl3DDkShadow"},
    {cl3DLight, u"cl3DLight"},
    {clWindow, u"clWindow"},
    {clWindowFrame, u"clWindowFrame"},
    {clWindowText, u"clWindowText"},
    // Aliases last, so that their values keep the names above.
    {clLtGray, u"clLtGray"},
    {clDkGray, u"clDkGray"},
};

char16_t Upper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

}  // namespace

TColor ColorToRGB(TColor color) {
  if (color < 0) {
    uint32_t index = static_cast<uint32_t>(color) & 0xFF;
    return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
  }
  return color;
}

std::optional<WideString> ColorToIdent(TColor color) {
  for (const auto& n : kNames)
    if (n.value == color) return WideString(n.name);
  return std::nullopt;
}

std::optional<TColor> IdentToColor(const WideString& name) {
  for (const auto& n : kNames)
    if (SameText(name, n.name)) return n.value;
  return std::nullopt;
}

WideString ColorToString(TColor color) {
  if (auto name = ColorToIdent(color)) return *name;
  static const char16_t kHex[] = u"0123456789ABCDEF";
  WideString out = u"$";
  uint32_t bits = static_cast<uint32_t>(color);
  for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(bits >> shift) & 0xF];
  return out;
}

TColor StringToColor(const WideString& text) {
  if (auto c = IdentToColor(text)) return *c;
  // "$" introduces hexadecimal; the value is read as 32 bits, so "$FF000005" is a system colour.
  std::u16string_view s(text);
  bool negative = false;
  if (!s.empty() && (s[0] == u'-' || s[0] == u'+')) {
    negative = s[0] == u'-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == u'$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  uint64_t v = 0;
  bool ok = !s.empty();
  for (char16_t c : s) {
    int d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else {
      ok = false;
      break;
    }
    v = v * base + d;
    if (v > 0xFFFFFFFFull) {
      ok = false;
      break;
    }
  }
  if (!ok) throw EConvertError("'" + Utf16ToUtf8(text) + "' is not a valid integer value");
  uint32_t bits = static_cast<uint32_t>(v);
  if (negative) bits = 0u - bits;
  return static_cast<TColor>(bits);
}

}  // namespace pagewright
