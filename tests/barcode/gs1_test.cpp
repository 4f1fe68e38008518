// GS1 element strings: identifier lookup in table order, fixed and variable lengths, separators.
#include "barcode/gs1.h"

#include <gtest/gtest.h>

#include <string>

namespace pagewright {
namespace {

TEST(GS1, IdentifierLookupTakesTheFirstMatchingEntry) {
  struct Case {
    const char* text;
    const char* ai;  // nullptr: no entry
  } cases[] = {
      {"(00)1", "00"},     {"(91)1", "9X"},     {"(90)1", "90"},    {"(3102)1", "31XX"},
      {"(7003)1", "7003"}, {"(7031)1", "703X"}, {"(714)1", "71X"},  {"(713)1", "713"},
      {"(415)1", "41X"},   {"(8200)1", "8200"}, {"(14)1", nullptr}, {"(100)1", nullptr},
      {"(1)", nullptr},    {"00)1", nullptr},   {"(01", nullptr},   {"(0", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TpgwAICodesData* e = GS1FindAI(c.text, 0);
    if (c.ai) {
      ASSERT_NE(e, nullptr);
      EXPECT_STREQ(e->AI, c.ai);
    } else {
      EXPECT_EQ(e, nullptr);
    }
  }
  int count = 0;
  GS1AITable(count);
  EXPECT_EQ(count, 89);
}

TEST(GS1, ElementStringsBecomeEscapedText) {
  struct Case {
    const char* text;
    const char* escaped;  // "" when the text does not parse
  } cases[] = {
      {"(00)384123450000000073", "&1;00384123450000000073"},
      {"(91)010003", "&1;91010003"},
      // a variable-length element before another gets a separator, the last one does not
      {"(10)ABC(21)12345", "&1;10ABC&1;2112345"},
      {"(01)12345678901234(10)AB-12(17)251231", "&1;011234567890123410AB-12&1;17251231"},
      // parentheses that do not open a known identifier are data
      {"(10)A(B)C", "&1;10A(B)C"},
      {"(10)A(14)C", "&1;10A(14)C"},
      // lengths: fixed too short, variable empty or too long, variable within bounds
      {"(00)12345", ""},
      {"(10)", ""},
      {"(10)123456789012345678901", ""},
      {"(10)12345678901234567890", "&1;1012345678901234567890"},
      {"(421)12", ""},
      {"(421)123", "&1;421123"},
      // a fixed-length element must be followed by another element or the end
      {"(20)12x", ""},
      {"(20)12(20)34", "&1;20122034"},
      {"384123450000000073", ""},
      {"()", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(GS1ParseElementString(c.text), c.escaped);
  }
}

}  // namespace
}  // namespace pagewright
