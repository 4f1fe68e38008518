#include "barcode/encoding.h"

#include <algorithm>

#include "platform/code_pages.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "support/resources.h"

namespace pagewright::barcode_encoding {

void Fail(const char* key, std::string_view arg1, std::string_view arg2) {
  std::string msg = Utf16ToUtf8(ResourceGet(key));
  std::string_view args[2] = {arg1, arg2};
  size_t from = 0;
  for (std::string_view a : args) {
    size_t p = msg.find("%s", from);
    if (p == std::string::npos) break;
    std::string text = Utf16ToUtf8(AnsiToWide(a));  // 8-bit text in messages is in the system code page
    msg.replace(p, 2, text);
    from = p + text.size();
  }
  throw Exception(std::move(msg));
}

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return IsDigit(c); });
}

void RequireDigits(std::string_view s) {
  if (!AllDigits(s)) Fail(kMustBeNumeric);
}

std::string PadLeft(std::string_view s, size_t n) {
  std::string out;
  if (s.size() < n) out.assign(n - s.size(), '0');
  out.append(s);
  return out;
}

void InsertAt(std::string& s, size_t pos1, char c) {
  size_t at = pos1 == 0 ? 0 : pos1 - 1;
  if (at > s.size()) at = s.size();
  s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), c);
}

void AppendWidths(std::string& out, std::string_view widths, bool barFirst) {
  bool bar = barFirst;
  for (char w : widths) {
    out += static_cast<char>((bar ? '5' : '0') + (w - '1'));
    bar = !bar;
  }
}

void AppendFlags(std::string& out, std::string_view flags) {
  bool bar = true;
  for (char f : flags) {
    out += bar ? (f == '1' ? '6' : '5') : (f == '1' ? '1' : '0');
    bar = !bar;
  }
}

}  // namespace pagewright::barcode_encoding
