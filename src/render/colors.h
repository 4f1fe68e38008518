// Colour values of the drawing interface: named colours, system colours and their resolution
// to red-green-blue values, and colour names ("clRed") in both directions.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/types.h"

namespace pagewright {

// System colours are negative: the high byte set plus the index of the system colour.
inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);

inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clLtGray = 0xC0C0C0;
inline constexpr TColor clDkGray = 0x808080;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;
inline constexpr TColor clDefault = 0x20000000;

inline constexpr TColor clScrollBar = clSystemColor | 0;
inline constexpr TColor clBackground = clSystemColor | 1;
inline constexpr TColor clActiveCaption = clSystemColor | 2;
inline constexpr TColor clInactiveCaption = clSystemColor | 3;
inline constexpr TColor clMenu = clSystemColor | 4;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowFrame = clSystemColor | 6;
inline constexpr TColor clMenuText = clSystemColor | 7;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clCaptionText = clSystemColor | 9;
inline constexpr TColor clActiveBorder = clSystemColor | 10;
inline constexpr TColor clInactiveBorder = clSystemColor | 11;
inline constexpr TColor clAppWorkSpace = clSystemColor | 12;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clGrayText = clSystemColor | 17;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clInactiveCaptionText = clSystemColor | 19;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor cl3DDkShadow = clSystemColor | 21;
inline constexpr TColor cl3DLight = clSystemColor | 22;
inline constexpr TColor clInfoText = clSystemColor | 23;
inline constexpr TColor clInfoBk = clSystemColor | 24;
inline constexpr TColor clHotLight = clSystemColor | 26;
inline constexpr TColor clGradientActiveCaption = clSystemColor | 27;
inline constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
inline constexpr TColor clMenuHighlight = clSystemColor | 29;
inline constexpr TColor clMenuBar = clSystemColor | 30;

// The red-green-blue value (red in the low byte) of a colour: system colours resolve to the
// fixed classic desktop defaults; other values keep their low three bytes. clNone and
// clDefault are returned unchanged (callers test IsNoColor first).
TColor ColorToRGB(TColor color);
// True for the "no colour" value, which paints nothing.
inline bool IsNoColor(TColor color) {
  return color == clNone;
}

inline uint8_t GetRValue(TColor rgb) {
  return static_cast<uint8_t>(rgb & 0xFF);
}
inline uint8_t GetGValue(TColor rgb) {
  return static_cast<uint8_t>((rgb >> 8) & 0xFF);
}
inline uint8_t GetBValue(TColor rgb) {
  return static_cast<uint8_t>((rgb >> 16) & 0xFF);
}
inline constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}

// The "cl" name of a colour value ("clRed", "clBtnFace", "clNone"), if it has one.
std::optional<WideString> ColorToIdent(TColor color);
// The colour named by a "cl" name, compared without regard to letter case.
std::optional<TColor> IdentToColor(const WideString& name);
// The name, or "$" and eight hexadecimal digits for a colour without a name.
WideString ColorToString(TColor color);
// A "cl" name, or a number (decimal, or hexadecimal after "$"); EConvertError otherwise.
TColor StringToColor(const WideString& text);

}  // namespace pagewright
