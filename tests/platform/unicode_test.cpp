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
      {"a\xFF"
       "b",
       u"a\uFFFD"
       "b"},
      {"\xC3", u"\uFFFD"},              // truncated at the end
      {"\xC0\xAF", u"\uFFFD"},          // overlong form
      {"\xED\xA0\x80x", u"\uFFFDx"},    // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Unicode, RecognisesWellFormedUtf8) {
  struct Case {
    std::string in;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xA6", true},
      {"caf\xE9", false},           // a Latin-1 byte
      {"\xE2\x82", false},          // truncated
      {"\xC0\xAF", false},          // overlong
      {"\xED\xA0\x80", false},      // encoded surrogate
      {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.in), c.valid) << c.in;
}

TEST(Unicode, Utf16BytesInBothOrders) {
  const WideString w = u"A\u0416\U0001F4E6";
  EXPECT_EQ(WideToUtf16Bytes(w, false), std::string("A\0\x16\x04\x3D\xD8\xE6\xDC", 8));
  EXPECT_EQ(WideToUtf16Bytes(w, true), std::string("\0A\x04\x16\xD8\x3D\xDC\xE6", 8));
  EXPECT_EQ(Utf16BytesToWide(WideToUtf16Bytes(w, true), true), w);
  EXPECT_EQ(Utf16BytesToWide(std::string("A\0B", 3), false), u"A");  // an odd byte is dropped
}

}  // namespace
}  // namespace pagewright
