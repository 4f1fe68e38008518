// The Code 128 family: code-set choice, escapes, GS1 element strings, EAN128 FNC1 and check digit,
// read back as symbol values from the pattern.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "barcode/barcode.h"
#include "barcode/barcode_tables.h"

namespace pagewright {
namespace {

// Symbol values of a Code 128 pattern: start, data, check (the stop is checked and dropped).
std::vector<int> Values(const std::string& pattern) {
  std::string widths;
  for (char c : pattern) widths += static_cast<char>(c >= '5' ? c - '5' + '1' : c - '0' + '1');
  EXPECT_GE(widths.size(), 7u);
  EXPECT_EQ(widths.substr(widths.size() - 7), barcode_tables::kCode128Stop);
  std::vector<int> values;
  for (size_t i = 0; i + 7 < widths.size(); i += 6) {
    std::string w = widths.substr(i, 6);
    int v = -1;
    for (int k = 0; k < 106; ++k)
      if (w == barcode_tables::kCode128[k]) v = k;
    values.push_back(v);
  }
  return values;
}

std::vector<int> Encode(TpgwBarcodeType type, const std::string& text, bool checksum = false) {
  TpgwBarcode bc;
  bc.SetTyp(type);
  bc.SetText(text);
  bc.SetChecksum(checksum);
  return Values(bc.BuildElementPattern());
}

struct ValueCase {
  TpgwBarcodeType type;
  const char* text;
  bool checksum;
  std::vector<int> values;
};

TEST(Code128, SymbolValuesByCodeSetChoice) {
  const ValueCase cases[] = {
      // the label's element strings
      {bcGS1Code128, "(00)384123450000000073", false, {105, 102, 0, 38, 41, 23, 45, 0, 0, 0, 0, 73, 25}},
      {bcGS1Code128, "(91)010003", false, {105, 102, 91, 1, 0, 3, 98}},
      {bcGS1Code128,
       "(98)03000910264012640102",
       false,
       {105, 102, 98, 3, 0, 9, 10, 26, 40, 12, 64, 1, 2, 51}},
      // a variable-length element followed by another: FNC1 separator, then CODE C
      {bcGS1Code128,
       "(10)ABC(21)12345",
       false,
       {104, 102, 17, 16, 33, 34, 35, 102, 99, 21, 12, 34, 100, 21, 33}},
      // fixed length, variable length in the middle, fixed length last: one separator only
      {bcGS1Code128, "(01)12345678901234(10)AB-12(17)251231", false, {105, 102, 1,  12,  34, 56, 78, 90,
                                                                      12,  34,  10, 100, 33, 34, 13, 17,
                                                                      18,  102, 99, 17,  25, 12, 31, 0}},
      // four digits with fewer than five characters left stay in set B
      {bcCode128, "1234", false, {104, 17, 18, 19, 20, 88}},
      {bcCode128, "12345", false, {105, 12, 34, 100, 21, 54}},
      // an odd run leaves its last digit for set B
      {bcCode128, "123456789", false, {105, 12, 34, 56, 78, 100, 25, 79}},
      {bcCode128, "A1234B", false, {104, 33, 99, 12, 34, 100, 34, 78}},
      {bcCode128, "ABC123456def", false, {104, 33, 34, 35, 99, 12, 34, 56, 100, 68, 69, 70, 11}},
      // one control character among lower-case letters: SHIFT
      {bcCode128,
       "ab\x01"
       "cd",
       false,
       {104, 65, 66, 98, 65, 67, 68, 53}},
      // two control characters: CODE A, and a single letter after them by SHIFT
      {bcCode128,
       "a\x01\x02"
       "b",
       false,
       {104, 65, 101, 65, 66, 98, 66, 68}},
      {bcCode128,
       "\x01"
       "abc",
       false,
       {103, 65, 100, 65, 66, 67, 29}},
      // set escapes are dropped by the automatic choice, "&FNC1;" is FNC1
      {bcCode128, "&a;ABC&c;12", false, {104, 33, 34, 35, 17, 18, 56}},
      {bcCode128, "&FNC1;12345678", false, {105, 102, 12, 34, 56, 78, 20}},
      // fixed sets with escapes
      {bcCode128B, "ab&4;c", false, {104, 65, 66, 100, 67, 45}},
      {bcCode128A, "A&S;bC", false, {103, 33, 98, 66, 35, 52}},
      {bcCode128C, "&1;1234&b;ab", false, {105, 102, 12, 34, 100, 65, 66, 12}},
      {bcCode128C, "(00)384123450000000073", false, {105, 102, 0, 38, 41, 23, 45, 0, 0, 0, 0, 73, 25}},
      // EAN128: FNC1 after the start, and the modulo-10 digit of the data appended
      {bcCodeEAN128, "ABC", false, {104, 102, 33, 34, 35, 102}},
      {bcCodeEAN128, "123", true, {104, 102, 17, 18, 19, 22, 68}},
      {bcCodeEAN128C, "(00)38412345000000007", true, {105, 102, 0, 38, 41, 23, 45, 0, 0, 0, 0, 73, 25}},
      {bcCodeEAN128A, "&1;AB", false, {103, 102, 33, 34, 64}},
      {bcCodeEAN128B, "ab", false, {104, 102, 65, 66, 19}},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " \"" + c.text + "\"");
    EXPECT_EQ(Encode(c.type, c.text, c.checksum), c.values);
  }
}

TEST(Code128, LabelSampleIsOneHundredFiftySixModulesWide) {
  TpgwBarcode bc;
  bc.SetTyp(bcGS1Code128);
  bc.SetText("(00)384123450000000073");
  EXPECT_EQ(bc.Width(), 158);
  EXPECT_EQ(PatternToModules(bc, bc.BuildElementPattern()).size(), 156u);
  EXPECT_EQ(bc.Text(), "(00)384123450000000073");  // the Code 128 family never rewrites its text
  EXPECT_EQ(bc.EncodedText(), "00384123450000000073");
}

TEST(Code128, EanCheckDigitIsOnlyAddedToTheSymbol) {
  TpgwBarcode bc;
  bc.SetTyp(bcCodeEAN128);
  bc.SetText("123");
  bc.SetChecksum(true);
  bc.BuildElementPattern();
  EXPECT_EQ(bc.Text(), "123");
  EXPECT_EQ(bc.EncodedText(), "1236");
  // without the modulo-10 method nothing is added
  bc.SetCheckSumMethod(csmNone);
  EXPECT_EQ(Values(bc.BuildElementPattern()), (std::vector<int>{104, 102, 17, 18, 19, 61}));
}

}  // namespace
}  // namespace pagewright
