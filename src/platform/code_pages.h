// 8-bit text in Windows code pages: conversion to and from UTF-16, the system code page, and the code page
// of a font character set. Whatever cannot be mapped becomes '?'; no conversion ever throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace pagewright {

// Font character sets (the font description's Charset).
inline constexpr int ANSI_CHARSET = 0;
inline constexpr int DEFAULT_CHARSET = 1;
inline constexpr int SYMBOL_CHARSET = 2;
inline constexpr int MAC_CHARSET = 77;
inline constexpr int SHIFTJIS_CHARSET = 128;
inline constexpr int HANGEUL_CHARSET = 129;
inline constexpr int JOHAB_CHARSET = 130;
inline constexpr int GB2312_CHARSET = 134;
inline constexpr int CHINESEBIG5_CHARSET = 136;
inline constexpr int GREEK_CHARSET = 161;
inline constexpr int TURKISH_CHARSET = 162;
inline constexpr int VIETNAMESE_CHARSET = 163;
inline constexpr int HEBREW_CHARSET = 177;
inline constexpr int ARABIC_CHARSET = 178;
inline constexpr int BALTIC_CHARSET = 186;
inline constexpr int RUSSIAN_CHARSET = 204;
inline constexpr int THAI_CHARSET = 222;
inline constexpr int EASTEUROPE_CHARSET = 238;
inline constexpr int OEM_CHARSET = 255;

inline constexpr uint32_t CP_SYMBOL = 42;  // symbol fonts: bytes 0x20..0xFF are U+F020..U+F0FF
inline constexpr uint32_t CP_UTF8 = 65001;

// The code page of a font character set. DEFAULT_CHARSET, and any number that is not a character set,
// give the system code page.
uint32_t CharsetToCodePage(int charset);

// The system's 8-bit code page (the platform's "ANSI" code page): 1252 unless set otherwise. Setting an
// unsupported page is refused (returns false) and changes nothing. Set it at start-up only.
uint32_t SystemCodePage();
bool SetSystemCodePage(uint32_t codePage);

// Whether conversions with this code page are available: 1250-1258, 874, the double-byte pages 932, 936,
// 949, 950 and 1361, 437, 850, 852, 866, 10000, 42 (symbol) and 65001 (UTF-8).
bool IsCodePageSupported(uint32_t codePage);
// Double-byte pages, and whether a byte starts a two-byte character in them (always false elsewhere).
bool IsDBCSCodePage(uint32_t codePage);
bool IsDBCSLeadByte(uint32_t codePage, uint8_t b);

// Conversions. An unsupported code page is treated as the system code page. Undefined bytes of a
// single-byte page decode to the C1 control of the same value when in 0x80..0x9F (so 1252 round-trips
// every byte), otherwise to '?'; invalid double-byte sequences decode to one '?' per byte.
WideString CodePageToWide(std::string_view bytes, uint32_t codePage);
std::string WideToCodePage(std::u16string_view s, uint32_t codePage);

// The same with the system code page.
WideString AnsiToWide(std::string_view bytes);
std::string WideToAnsi(std::u16string_view s);

}  // namespace pagewright
