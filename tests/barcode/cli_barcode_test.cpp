// `pagewright barcode` end to end: runs the built command-line program when it is there.
#include <gtest/gtest.h>

#include <string>

#include "common/run_program.h"

namespace {

using pagewright::test_support::ProgramResult;
using Result = ProgramResult;

Result RunProgram(const std::string& args) { return pagewright::test_support::RunCli(args); }

class CliBarcode : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pagewright::test_support::CliProgramBuilt()) FAIL() << "the pagewright program is not built";
  }
};

TEST_F(CliBarcode, PrintsPatternAndModuleRow) {
  Result r = RunProgram("barcode bcCodeEAN128C '(00)384123450000000073'");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "6051718050706061615262506252507060705070626061616061616061616061615360517150616270506\n"
            "110100111001111010111011011001100100011000101100010001011101101110101110110001101100110011011001"
            "10011011001"
            "1001101100110010000110100111001011001100011101011\n");
  // resource name, check digit, ratio
  r = RunProgram("barcode EAN13 --checksum 400638133393");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(
      r.out.substr(r.out.find('\n') + 1),
      "10100011010100111010111101111010001001011001101010100001010000101000010111010010000101100110101\n");
  r = RunProgram("barcode --ratio 3 2_5_interleaved -- 12");
  EXPECT_EQ(r.out, "50506051505061605\n101011101000101011100011101\n");
}

TEST_F(CliBarcode, ExitCodes) {
  EXPECT_EQ(RunProgram("--help").exitCode, 0);
  EXPECT_EQ(RunProgram("").exitCode, 2);
  EXPECT_EQ(RunProgram("no-such-command").exitCode, 2);
  EXPECT_EQ(RunProgram("barcode EAN13").exitCode, 2);
  EXPECT_EQ(RunProgram("barcode Code39x 1").exitCode, 2);
  EXPECT_EQ(RunProgram("barcode --ratio -1 EAN13 1").exitCode, 2);
  EXPECT_EQ(RunProgram("barcode --frob EAN13 1").exitCode, 2);
  Result r = RunProgram("barcode EAN13 '(00)1'");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
}

}  // namespace
