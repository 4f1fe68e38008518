// Symbols read back by an independent decoder (zbarimg, Debian package zbar-tools): the module
// row is drawn into a PGM image with quiet zones and decoded. Every type zbar reads is here; the
// others (2 of 5 industrial and matrix, MSI, Plessey, Pharmacode, the postal codes, UPC-E
// with number system 1) are compared with zint instead.
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

// Decoded data, "" when nothing was recognised. `options` are zbarimg settings (-S...), for
// symbologies it does not read by default.
std::string Decode(TpgwBarcodeType type, const std::string& text, bool checksum, const std::string& options) {
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
  std::string out = test_support::RunCommand("zbarimg -q --raw " + options + " '" + path + "'").out;
  std::remove(path.c_str());
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(BarcodeDecoding, SymbolsReadBackByAnIndependentDecoder) {
  ASSERT_TRUE(HaveZbarimg())
      << "zbarimg is not installed (Debian package zbar-tools; scripts/install-deps.sh "
         "installs it): the symbols cannot be read back";
  struct Case {
    TpgwBarcodeType type;
    const char* text;
    bool checksum;
    const char* decoded;
    const char* options = "";
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
      {bcCode128A,
       "CODE\x09"
       "128A",
       false,
       "CODE\x09"
       "128A"},
      {bcCode128B, "Code 128b 1234", false, "Code 128b 1234"},
      {bcCode128C, "12345678", false, "12345678"},
      {bcCodeEAN128, "123", true, "1236"},
      {bcCodeEAN128, "10ABC", false, "10ABC"},
      {bcCodeEAN128A, "10ABC", false, "10ABC"},
      {bcCodeEAN128B, "10abc", false, "10abc"},
      // every "(" is an FNC1: after the first it reads as GS
      {bcCodeEAN128C, "(01)12345678901231(17)251231", false,
       "0112345678901231\x1d"
       "17251231"},
      {bcCode39, "CODE39", false, "CODE39"},
      {bcCode39, "CODE39", true, "CODE39W"},  // the check character is data to a reader
      // full ASCII is two characters each to a reader that does not expand it
      {bcCode39Extended, "Ext-39", false, "E+X+T-39"},
      {bcCode93, "TEST93", false, "TEST93"},
      {bcCode93Extended, "Code93 ext!", false, "Code93 ext!"},
      {bcCodeCodabar, "&C;12-34&D;", false, "C12-34D"},
      {bcCodeCodabar, "40156", false, "A40156B"},
      {bcCode_2_5_interleaved, "12345", true, "123457"},
      {bcCode_2_5_interleaved, "1234567890", false, "1234567890"},
      {bcCode_ITF_14, "1540014128876", false, "15400141288763"},
      {bcCode_ITF_14, "12345678901231", false, "12345678901231"},
      {bcDeutsche_Post_Identcode, "56310243031", true, "563102430313"},
      {bcDeutsche_Post_Leitcode, "2134807501640", true, "21348075016401"},
      {bcCodeEAN13, "400638133393", true, "4006381333931"},
      {bcCodeEAN8, "5512345", true, "55123457"},
      {bcCodeUPC_A, "036000291452", false, "0036000291452"},  // read as the EAN-13 it is
      {bcCodeUPC_A, "03600029145", true, "0036000291452"},
      // UPC-E comes back expanded to the UPC-A number it stands for, as an EAN-13, check digit
      // last, for every rule of the expansion (the last of the six digits 0, 1, 2, 3, 4, 5-9).
      // zbar does not read number system 1 at all (not even zint's symbols), so the UPC-E1
      // type is compared with zint only.
      {bcCodeUPC_E0, "4252610", true, "0042100005264"},
      {bcCodeUPC_E0, "1234500", true, "0012000003455"},
      {bcCodeUPC_E0, "1234510", true, "0012100003454"},
      {bcCodeUPC_E0, "1234520", true, "0012200003453"},
      {bcCodeUPC_E0, "1234530", true, "0012300000451"},
      {bcCodeUPC_E0, "1234540", true, "0012340000053"},
      {bcCodeUPC_E0, "1234550", true, "0012345000058"},
      {bcCodeUPC_E0, "3982590", false, "0039825000094"},
      // the add-ons stand alone here; zbar reads them so when asked to
      {bcCodeUPC_Supp2, "05", false, "05", "-Sean2.enable"},
      {bcCodeUPC_Supp2, "39", false, "39", "-Sean2.enable"},
      {bcCodeUPC_Supp5, "52495", false, "52495", "-Sean5.enable"},
      {bcCodeUPC_Supp5, "12345", false, "12345", "-Sean5.enable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " \"" + c.text + "\"");
    EXPECT_EQ(Decode(c.type, c.text, c.checksum, c.options), c.decoded);
  }
}

}  // namespace
}  // namespace pagewright
