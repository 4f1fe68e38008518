// UTF-8 / UTF-16 conversion at the edges (files, console, library calls).
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace pagewright {

// Invalid sequences become U+FFFD; never throws.
WideString Utf8ToUtf16(std::string_view s);
// Unpaired surrogates become U+FFFD; never throws.
std::string Utf16ToUtf8(std::u16string_view s);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view s);

// UTF-16 code units from raw bytes in little- or big-endian order; an odd trailing byte is dropped.
WideString Utf16BytesToWide(std::string_view bytes, bool bigEndian);
// Raw UTF-16 bytes of the text, little- or big-endian.
std::string WideToUtf16Bytes(std::u16string_view s, bool bigEndian);

// Locale-independent simple case mapping of one UTF-16 code unit (the Unicode one-to-one mappings of the
// Basic Multilingual Plane; characters whose case form needs several characters, such as U+00DF, stay as
// they are, and so does U+00B5 so that Latin-1 text stays Latin-1). Surrogates map to themselves.
char16_t WideUpperChar(char16_t c);
char16_t WideLowerChar(char16_t c);
// The form in which two characters are compared ignoring case: lower case of the upper case, so that
// final and medial sigma, or dotless i and I, compare equal.
char16_t WideFoldChar(char16_t c);

}  // namespace pagewright
