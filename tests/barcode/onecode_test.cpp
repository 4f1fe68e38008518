// The USPS Intelligent Mail encoder against the worked examples of USPS-B-3200.
#include "barcode/onecode.h"

#include <gtest/gtest.h>

#include <string>

namespace pagewright {
namespace {

std::string Bars(const std::string& digits) {
  std::array<char, 65> bars;
  if (!TOneCode::Encode(digits, bars)) return "invalid";
  return std::string(bars.begin(), bars.end());
}

TEST(OneCode, WorkedExamplesOfThePublishedStandard) {
  const std::string tracking = "01234567094987654321";
  EXPECT_EQ(Bars(tracking), "ATTFATTDTTADTAATTDTDTATTDAFDDFADFDFTFFFFFTATFAAAATDFFTDAADFTFDTDT");
  EXPECT_EQ(Bars(tracking + "01234"), "DTTAFADDTTFTDTFTFDTDDADADAFADFATDDFTAAAFDTTADFAAATDFDTDFADDDTDFFT");
  EXPECT_EQ(Bars(tracking + "012345678"),
            "ADFTTAFDTTTTFATTADTAAATFTFTATDAAAFDDADATATDTDTTDFDTDATADADTDFFTFA");
  EXPECT_EQ(Bars(tracking + "01234567891"),
            "AADTFFDFTDADTAADAATFDTDDAAADDTDTTDAFADADDDTFFFDDTTTADFAAADFTDAADA");
}

TEST(OneCode, RejectsWhatIsNotATrackingAndRoutingCode) {
  for (const char* bad :
       {"", "0123456709498765432", "012345670949876543210", "0123456709498765432101", "05234567094987654321",
        "0123456709498765432A", "012345670949876543210123456789012"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Bars(bad), "invalid");
  }
}

TEST(OneCode, LargestRoutingCodeStaysWithinTheCodewordRange) {
  // the largest data value (second digit 4, all nines) still yields ten valid characters
  std::array<uint16_t, 10> chars;
  ASSERT_TRUE(
      TOneCode::Characters("94999999999999999999"
                           "99999999999",
                           chars));
  for (uint16_t c : chars) {
    int bits = __builtin_popcount(c);
    EXPECT_TRUE(bits == 2 || bits == 5 || bits == 8 || bits == 11) << c;
  }
}

}  // namespace
}  // namespace pagewright
