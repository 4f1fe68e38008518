// Per-character tables of the symbologies, as the symbology standards publish them.
#pragma once

namespace pagewright::barcode_tables {

// Code 128 (ISO/IEC 15417): widths of bar, space, bar, space, bar, space for values 0-105.
extern const char* const kCode128[106];
inline constexpr const char* kCode128Stop = "2331112";

// Code 39 (ISO/IEC 16388): the 43 data characters in value order, their nine elements
// (bar first, 1 = wide), and the start/stop character "*".
inline constexpr const char* kCode39Chars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
extern const char* const kCode39[43];
inline constexpr const char* kCode39Star = "010010100";
// Full-ASCII pairs for characters 0-127 (Code 39 and, with shift characters, Code 93).
extern const char* const kFullAscii[128];

// Code 93: 43 data characters plus the four shift characters ($) (%) (/) (+), written here
// as "]" "[" "{" "}"; six widths each (bar first).
inline constexpr const char* kCode93Chars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%][{}";
extern const char* const kCode93[47];
inline constexpr const char* kCode93Start = "111141";
inline constexpr const char* kCode93Stop = "1111411";

// Codabar: seven elements (bar first, 1 = wide).
inline constexpr const char* kCodabarChars = "0123456789-$:/.+ABCD";
extern const char* const kCodabar[20];

// EAN/UPC (ISO/IEC 15420) number set A (odd parity, space first) widths; set C is the same widths
// bar first, set B is set C reversed (space first).
extern const char* const kEanSetA[10];

// Two-of-five flags (1 = wide) of the digits, for the 2 of 5 family.
extern const char* const kTwoOfFive[10];

// POSTNET: five bars per digit, 1 = full bar, 0 = half bar.
extern const char* const kPostNet[10];

}  // namespace pagewright::barcode_tables
