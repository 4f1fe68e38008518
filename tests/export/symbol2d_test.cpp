// Two-dimensional symbols end to end: the command prints the same module matrix as zint's own
// program; the types render to page images and PDF pages that a reader (ZXingReader) decodes to
// the exact data, GS1 element strings included, turned any quarter; data a type cannot take is
// the object's error line, not another symbol. The reader of Debian 12 (zxing-cpp 1.4) misses
// Data Matrix symbols on whole pages now and then, so those are checked module by module against
// zint's encoder, and drawn by the same code as the others.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/run_program.h"
#include "common/temp_dir.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;
using test_support::RunCli;
using test_support::RunCommand;

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

// zint --dump prints a row as hexadecimal digits (four modules each, high bit first), with a
// space between groups of four.
std::string MatrixFromZintDump(const std::string& dump) {
  std::string out, row;
  for (char c : dump) {
    if (c == '\n') {
      out += row + "\n";
      row.clear();
    } else if (c != ' ') {
      const int v = c <= '9' ? c - '0' : c - 'A' + 10;
      for (int b = 3; b >= 0; --b) row += (v >> b) & 1 ? '1' : '0';
    }
  }
  return out;
}

TEST(Symbol2D, TheCommandPrintsTheMatrixZintEncodes) {
  ASSERT_EQ(RunCommand("zint --help").exitCode, 0) << "zint is missing (scripts/install-deps.sh installs it)";
  const struct {
    const char* type;
    int zintSymbology;
    const char* data;
    const char* zintOptions = "";
  } cases[] = {{"b2QRCode", 58, "HELLO 2D"},
               {"b2DataMatrix", 71, "Lot 4711"},
               {"b2GS1DataMatrix", 71, "(01)09506000134352(17)201225(10)ABC123", "--gs1 --gs1parens"},
               {"b2Aztec", 92, "Aztec"}};
  for (const auto& c : cases) {
    const std::string ours = RunCli(std::string("barcode ") + c.type + " " + Quote(c.data)).out;
    std::string zint = MatrixFromZintDump(
        RunCommand("zint -b " + std::to_string(c.zintSymbology) + " " + c.zintOptions + " -d " + Quote(c.data) +
                   " --dump")
            .out);
    // zint pads a row's last hex digit: cut each row to our width.
    const size_t width = ours.find('\n');
    ASSERT_NE(width, std::string::npos) << c.type;
    std::string cut;
    size_t start = 0;
    while (start < zint.size()) {
      const size_t end = zint.find('\n', start);
      cut += zint.substr(start, width) + "\n";
      start = end + 1;
    }
    EXPECT_EQ(ours, cut) << c.type;
  }
  const test_support::ProgramResult bad = RunCli("barcode b2GS1DataMatrix 'not gs1'");
  EXPECT_EQ(bad.exitCode, 1);
}

TEST(Symbol2D, EveryTypeDecodesFromThePageImageAndThePdf) {
  ASSERT_EQ(RunCommand("ZXingReader").exitCode == 127, false) << "ZXingReader is missing (zxing-cpp-tools)";
  ASSERT_EQ(RunCommand("pdftoppm -v").exitCode, 0);
  test_support::TempDir dir;
  const struct {
    const char* type;
    const char* data;
    int rotation;
    const char* decoded;
    int module = 5;  // report pixels
  } cases[] = {
      {"b2QRCode", "https://example.org/pw?id=42", 0, "https://example.org/pw?id=42"},
      {"b2GS1QRCode", "(01)09506000134352(10)LOT7", 180, "010950600013435210LOT7"},
      {"b2PDF417", "Transport document 4711", 0, "Transport document 4711"},
      {"b2Aztec", "Aztec symbol", 90, "Aztec symbol"},
      // This reader's Data Matrix detector finds symbols on a page from about 10 report pixels a
      // module, and no symbol of 18x18 modules or less at all (not even zint's own picture of
      // one); those are checked module by module against zint above.
      {"b2DataMatrix", "Batch 2027-12 lot 4711 serial 000123", 180, "Batch 2027-12 lot 4711 serial 000123", 10},
      {"b2GS1DataMatrix", "(01)09506000134352(17)271231(10)LOT42A", 270, "01095060001343521727123110LOT42A", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const fs::path tpl = dir.path / (std::string(c.type) + ".pw3");
    std::ofstream(tpl) << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TpgwReport>\n"
                          "<TpgwReportPage Name=\"Page1\" PaperWidth=\"120\" PaperHeight=\"120\">\n"
                          "<TpgwReportTitle Name=\"Title1\" Height=\"400\" Left=\"0\" Top=\"0\" Width=\"400\">\n"
                          "<TpgwBarcode2DView Name=\"S\" Left=\"20\" Top=\"20\" Module=\""
                       << c.module << "\" BarType=\"" << c.type << "\" Rotation=\"" << c.rotation << "\" Text=\"" << c.data
                       << "\"/>\n</TpgwReportTitle></TpgwReportPage></TpgwReport>\n";
    const std::string stem = (dir.path / c.type).string();
    const test_support::ProgramResult r =
        RunCli("render " + Quote(tpl.string()) + " --png " + Quote(stem + ".png") + " --pdf " + Quote(stem + ".pdf"));
    ASSERT_EQ(r.exitCode, 0);
    ASSERT_EQ(RunCommand("pdftoppm -r 192 -png " + Quote(stem + ".pdf") + " " + Quote(stem + "-pdf")).exitCode, 0);
    for (const std::string& image : {stem + ".1.png", stem + "-pdf-1.png"}) {
      // The reader's detector misses the smallest upright symbols; its exact-image mode (one
      // symbol on a white page) finds those, though not turned ones.
      std::string text = RunCommand("ZXingReader -1 " + Quote(image)).out;
      if (text.find(" \"") == std::string::npos) text = RunCommand("ZXingReader -ispure -1 " + Quote(image)).out;
      EXPECT_NE(text.find(std::string(" \"") + c.decoded + "\""), std::string::npos) << image << ": " << text;
    }
  }
  // Data the type cannot take: the object's error line, and no document.
  const fs::path bad = dir.path / "bad.pw3";
  std::ofstream(bad) << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TpgwReport>\n"
                        "<TpgwReportPage Name=\"Page1\" PaperWidth=\"60\" PaperHeight=\"60\">\n"
                        "<TpgwReportTitle Name=\"Title1\" Height=\"100\" Left=\"0\" Top=\"0\" Width=\"200\">\n"
                        "<TpgwBarcode2DView Name=\"Gs1\" BarType=\"b2GS1DataMatrix\" Text=\"(01)123\"/>\n"
                        "</TpgwReportTitle></TpgwReportPage></TpgwReport>\n";
  const std::string errFile = (dir.path / "err.txt").string();
  const test_support::ProgramResult r =
      RunCommand("'" + test_support::CliProgram() + "' render " + Quote(bad.string()) + " --pdf " +
                 Quote((dir.path / "bad.pdf").string()) + " 2>" + Quote(errFile) + "; cat " + Quote(errFile));
  EXPECT_NE(r.out.find("Gs1: Error 259: Invalid data length for AI (01)"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir.path / "bad.pdf"));
}

}  // namespace
}  // namespace pagewright
