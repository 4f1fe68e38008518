// Check digits by the published rules of each symbology, where a scanner rejects anything else.
// The expected digits were worked out by hand from the rules and agree with zint.
#include <gtest/gtest.h>

#include <string>

#include "barcode/barcode.h"
#include "platform/exceptions.h"

namespace pagewright {
namespace {

struct Encoded {
  std::string text;     // Text after encoding
  std::string encoded;  // EncodedText
  std::string pattern;
};

Encoded Encode(TpgwBarcodeType type, const std::string& text, bool checksum) {
  TpgwBarcode bc;
  bc.SetTyp(type);
  bc.SetText(text);
  bc.SetChecksum(checksum);
  Encoded e;
  e.pattern = bc.BuildElementPattern();
  e.text = bc.Text();
  e.encoded = bc.EncodedText();
  return e;
}

// UPC-E: the parity of the six digits carries the check digit of the UPC-A number they stand
// for (number system 0 for E0, 1 for E1), not of the six digits themselves. The two differ
// whenever the last digit is 0 to 4, since the expansion then moves digits to other weights.
TEST(UpcE, ParityCarriesTheCheckDigitOfTheExpandedUpcANumber) {
  struct Case {
    TpgwBarcodeType type;
    const char* six;
    const char* expanded;  // the UPC-A number, for the reader
    char check;
  } cases[] = {
      {bcCodeUPC_E0, "425261", "04210000526", '4'},  // the common textbook symbol 04252614
      {bcCodeUPC_E0, "123450", "01200000345", '5'},
      {bcCodeUPC_E0, "123451", "01210000345", '4'},
      {bcCodeUPC_E0, "123452", "01220000345", '3'},
      {bcCodeUPC_E0, "123453", "01230000045", '1'},
      {bcCodeUPC_E0, "123454", "01234000005", '3'},
      {bcCodeUPC_E0, "123455", "01234500005", '8'},  // 5 to 9 keep the weights: same either way
      {bcCodeUPC_E1, "123450", "11200000345", '2'},
      {bcCodeUPC_E1, "654321", "16510000432", '4'},
      {bcCodeUPC_E1, "012345", "10123400005", '4'},  // the number system digit counts too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " " + c.six + " = UPC-A " + c.expanded);
    const std::string withCheck = std::string(c.six) + c.check;
    Encoded computed = Encode(c.type, std::string(c.six) + "0", true);
    EXPECT_EQ(computed.text, withCheck);
    EXPECT_EQ(computed.encoded, withCheck);
    // without Checksum the text stays, and the symbol is the same: the digit is always computed
    Encoded kept = Encode(c.type, std::string(c.six) + "9", false);
    EXPECT_EQ(kept.text, std::string(c.six) + "9");
    EXPECT_EQ(kept.encoded, withCheck);
    EXPECT_EQ(kept.pattern, computed.pattern);
  }
}

// MSI modulo 10: from the rightmost digit every other digit is doubled (the digits of the
// double added), the others are added as they are; the check digit makes the sum a multiple of
// ten. Counting from the left gave odd lengths a wrong digit.
TEST(Msi, ModuloTenCountsPositionsFromTheRight) {
  struct Case {
    const char* text;
    const char* withCheck;
  } cases[] = {
      {"1234567", "12345674"},  // 1357 doubled is 2714: 14, plus 2 + 4 + 6: 26
      {"12345", "123455"},     {"80523", "805234"}, {"1", "18"},
      {"123456", "1234566"},  // even lengths were right before
      {"19", "190"},           {"0", "00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Encoded e = Encode(bcCodeMSI, c.text, true);
    EXPECT_EQ(e.encoded, c.withCheck);
    EXPECT_EQ(e.text, c.text);  // the check digit is only in the symbol
  }
}

// Deutsche Post Identcode and Leitcode: the digits are weighted 4 and 9 alternately from the
// first, not 3 and 1 as in the GS1 rule.
TEST(DeutschePost, CheckDigitWeighsFourAndNine) {
  struct Case {
    TpgwBarcodeType type;
    const char* text;
    const char* encoded;
    const char* shown;
  } cases[] = {
      {bcDeutsche_Post_Identcode, "56310243031", "563102430313", "56.310 243.031 3"},
      {bcDeutsche_Post_Identcode, "01234567890", "012345678905", "01.234 567.890 5"},
      {bcDeutsche_Post_Leitcode, "2134807501640", "21348075016401", "21348. 075. 016. 40 1"},
      {bcDeutsche_Post_Leitcode, "0123456789012", "01234567890128", "01234. 567. 890. 12 8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " " + c.text);
    Encoded e = Encode(c.type, c.text, true);
    EXPECT_EQ(e.encoded, c.encoded);
    EXPECT_EQ(e.text, c.shown);
  }
}

// ITF-14: thirteen digits get their GS1 check digit; a fourteenth digit must be that digit.
TEST(Itf14, ThirteenDigitsGetTheirCheckDigitAFourteenthIsVerified) {
  struct Case {
    const char* text;
    const char* encoded;  // nullptr: refused with `message`
    const char* message;
  } cases[] = {
      {"1540014128876", "15400141288763", nullptr},
      {"15400141288763", "15400141288763", nullptr},
      {"1234567890123", "12345678901231", nullptr},
      {"15400141288760", nullptr, "The check digit should be 3"},
      {"12345678912345", nullptr, "The check digit should be 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (bool checksum : {false, true}) {  // the check digit is part of the type, whatever Checksum says
      if (c.encoded) {
        Encoded e = Encode(bcCode_ITF_14, c.text, checksum);
        EXPECT_EQ(e.encoded, c.encoded);
        EXPECT_EQ(e.text, c.encoded);  // the human-readable line shows the check digit
        EXPECT_EQ(e.pattern, Encode(bcCode_ITF_14, c.encoded, checksum).pattern);
      } else {
        try {
          Encode(bcCode_ITF_14, c.text, checksum);
          ADD_FAILURE() << "no exception";
        } catch (const Exception& ex) {
          EXPECT_EQ(ex.Message(), c.message);
        }
      }
    }
  }
}

}  // namespace
}  // namespace pagewright
