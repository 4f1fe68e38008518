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

}  // namespace pagewright
