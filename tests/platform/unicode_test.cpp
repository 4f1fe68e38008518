#include "platform/unicode.h"

#include <gtest/gtest.h>

namespace pagewright {
namespace {

TEST(Unicode, RoundTripsAcrossPlanes) {
  const std::string text = "ALMAC\xC3\x89N \xE2\x82\xAC \xF0\x9F\x93\xA6";  // É, €, a parcel emoji
  WideString w = Utf8ToUtf16(text);
  EXPECT_EQ(w, WideString(u"ALMAC\u00C9N \u20AC \U0001F4E6"));
  EXPECT_EQ(Utf16ToUtf8(w), text);
}

TEST(Unicode, InvalidSequencesBecomeReplacementCharacters) {
  struct Case {
    std::string in;
    WideString out;
  } cases[] = {
      {"a\xFF" "b", u"a\uFFFD" "b"},
      {"\xC3", u"\uFFFD"},                    // truncated at the end
      {"\xC0\xAF", u"\uFFFD"},                // overlong form
      {"\xED\xA0\x80x", u"\uFFFDx"},          // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD"},        // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pagewright
