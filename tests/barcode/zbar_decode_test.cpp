// Symbols read back by an independent decoder (zbarimg), when it is installed: the module row is
// drawn into a PGM image with quiet zones and decoded.
#include <gtest/gtest.h>

#include "common/run_program.h"
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "barcode/barcode.h"

namespace pagewright {
namespace {

bool HaveZbarimg() {
  return std::system("command -v zbarimg >/dev/null 2>&1") == 0;
}

// Decoded data, "" when nothing was recognised.
std::string Decode(TpgwBarcodeType type, const std::string& text, bool checksum) {
  TpgwBarcode bc;
  bc.SetTyp(type);
  bc.SetText(text);
  bc.SetChecksum(checksum);
  std::string row =
      std::string(12, '0') + PatternToModules(bc, bc.BuildElementPattern()) + std::string(12, '0');
  const int scale = 3, height = 40;
  std::string line;
  for (char m : row) line.append(scale, m == '1' ? '\0' : '\xff');
  std::string path = ::testing::TempDir() + "pw_barcode_" + std::to_string(getpid()) + ".pgm";
  {
    std::ofstream f(path, std::ios::binary);
    f << "P5\n" << line.size() << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y) f << line;
  }
  std::string out = test_support::RunCommand("zbarimg -q --raw '" + path + "'").out;
  std::remove(path.c_str());
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(BarcodeDecoding, SymbolsReadBackByAnIndependentDecoder) {
  if (!HaveZbarimg()) GTEST_SKIP() << "zbarimg is not installed";
  struct Case {
    TpgwBarcodeType type;
    const char* text;
    bool checksum;
    const char* decoded;
  } cases[] = {
      // the leading FNC1 marks GS1 data; the separator reads as GS
      {bcGS1Code128, "(10)ABC(21)12345", false,
       "10ABC\x1d"
       "2112345"},
      {bcGS1Code128, "(01)12345678901234(10)AB-12(17)251231", false,
       "011234567890123410AB-12\x1d"
       "17251231"},
      {bcGS1Code128, "(3102)000150(10)X(400)PO1234", false,
       "310200015010X\x1d"
       "400PO1234"},
      {bcGS1Code128, "(00)384123450000000073", false, "00384123450000000073"},
      {bcCode128,
       "a\x01\x02"
       "b",
       false,
       "a\x01\x02"
       "b"},
      {bcCode128, "ABC123456def", false, "ABC123456def"},
      {bcCode128A, "A&S;bC", false, "AbC"},
      {bcCodeEAN128, "123", true, "1236"},
      {bcCode39, "CODE39", false, "CODE39"},
      {bcCode93, "TEST93", false, "TEST93"},
      {bcCodeCodabar, "&C;12-34&D;", false, "C12-34D"},
      {bcCode_2_5_interleaved, "12345", true, "123457"},
      {bcCodeEAN13, "400638133393", true, "4006381333931"},
      {bcCodeEAN8, "5512345", true, "55123457"},
      {bcCodeUPC_A, "036000291452", false, "0036000291452"},  // read as the EAN-13 it is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " \"" + c.text + "\"");
    EXPECT_EQ(Decode(c.type, c.text, c.checksum), c.decoded);
  }
}

}  // namespace
}  // namespace pagewright
