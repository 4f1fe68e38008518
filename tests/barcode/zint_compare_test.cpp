// Symbols compared with those of an independent encoder, the zint command-line program (Debian
// package zint), run live: every type both know, module by module. zint adds check digits
// itself, so its data leaves them out where this encoder is asked to add them; where zint
// draws wider wide elements (2 of 5) or its own Plessey termination, the comparison is of
// narrow and wide elements.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "barcode/barcode.h"

namespace pagewright {
namespace {

bool HaveZint() {
  return std::system("command -v zint >/dev/null 2>&1") == 0;
}

struct ZintResult {
  int exitCode = -1;
  std::string out;  // standard output and error
};

ZintResult RunZint(const std::string& symbology, const std::string& data, const std::string& options) {
  // data goes through zint's escapes, so any byte survives the shell
  std::string escaped;
  for (unsigned char c : data) {
    char buf[8];
    if (c < 0x20 || c >= 0x7f || c == '\\' || c == '\'') {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      escaped += buf;
    } else {
      escaped += static_cast<char>(c);
    }
  }
  const std::string cmd = "zint --dump --esc -b " + symbology + " " + options + " -d '" + escaped + "' 2>&1";
  ZintResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// zint's dump: one line of hexadecimal digits per row, four modules a digit, padded with light
// modules to a whole digit.
std::vector<std::string> DumpRows(const std::string& dump) {
  std::vector<std::string> rows(1);
  for (char c : dump) {
    if (c == '\n') {
      if (!rows.back().empty()) rows.emplace_back();
      continue;
    }
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    for (int b = 3; b >= 0; --b) rows.back() += (v >> b) & 1 ? '1' : '0';
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

// This encoder's symbol as rows of modules: one row, or for postal codes the rows zint dumps
// (POSTNET: full bars, then all bars; Intelligent Mail: full and ascending bars, all bars, full
// and descending bars).
std::vector<std::string> OurRows(TpgwBarcode& bc, size_t rowCount) {
  const std::string pattern = bc.BuildElementPattern();
  std::vector<std::string> rows(rowCount);
  for (char e : pattern) {
    int w;
    TpgwBarKind k;
    bc.ElementWidthAndKind(e, w, k);
    for (size_t r = 0; r < rowCount; ++r) {
      bool dark = k != bkSpace;
      if (rowCount == 2 && r == 0) dark = k == bkFullBar;
      if (rowCount == 3 && r == 0) dark = k == bkFullBar || k == bkAscender;
      if (rowCount == 3 && r == 2) dark = k == bkFullBar || k == bkDescender;
      rows[r].append(static_cast<size_t>(std::max(w, 0)), dark ? '1' : '0');
    }
  }
  return rows;
}

// Rows without the light modules before the first bar of the last row (which has every bar)
// and after the last bar of each row.
void TrimLight(std::vector<std::string>& rows) {
  if (rows.empty()) return;
  const size_t first = rows.back().find('1');
  for (std::string& r : rows) {
    r = first == std::string::npos ? std::string() : r.substr(std::min(first, r.size()));
    const size_t last = r.find_last_of('1');
    r.resize(last == std::string::npos ? 0 : last + 1);
  }
}

// A row as its runs, each "n" (narrow) or "w" (wider than the narrowest run of its colour).
std::string NarrowWide(const std::string& row) {
  std::vector<std::pair<char, size_t>> runs;
  for (char m : row) {
    if (runs.empty() || runs.back().first != m)
      runs.emplace_back(m, 1);
    else
      ++runs.back().second;
  }
  size_t narrow[2] = {SIZE_MAX, SIZE_MAX};
  for (auto [m, len] : runs) narrow[m == '1'] = std::min(narrow[m == '1'], len);
  std::string out;
  for (auto [m, len] : runs) out += len > narrow[m == '1'] ? 'w' : 'n';
  return out;
}

enum Compare { kModules, kNarrowWide };

struct Case {
  TpgwBarcodeType type;
  const char* text;
  bool checksum;
  double ratio;
  const char* symbology;  // zint's name
  const char* data;       // zint's data
  const char* options;
  Compare compare;
  size_t rows = 1;
  size_t runs = 0;  // with kNarrowWide: compare only the first runs (0: all)
};

const Case kCases[] = {
    // 2 of 5 family (zint draws wide elements three modules wide)
    {bcCode_2_5_interleaved, "1234567890", false, 3, "C25INTER", "1234567890", "", kModules},
    {bcCode_2_5_interleaved, "12345", true, 3, "C25INTER", "12345", "--vers=1", kModules},
    {bcCode_2_5_interleaved, "1234", false, 3, "C25INTER", "1234", "", kModules},
    {bcCode_2_5_industrial, "1234507", false, 2, "C25IND", "1234507", "", kNarrowWide},
    {bcCode_2_5_matrix, "1234567", false, 3, "C25STANDARD", "1234567", "", kModules},
    {bcCode_ITF_14, "1540014128876", false, 3, "ITF14", "1540014128876", "", kModules},
    {bcCode_ITF_14, "12345678901231", false, 3, "ITF14", "1234567890123", "", kModules},
    {bcDeutsche_Post_Identcode, "56310243031", true, 3, "DPIDENT", "56310243031", "", kModules},
    {bcDeutsche_Post_Identcode, "01234567890", true, 3, "DPIDENT", "01234567890", "", kModules},
    {bcDeutsche_Post_Leitcode, "2134807501640", true, 3, "DPLEIT", "2134807501640", "", kModules},
    {bcDeutsche_Post_Leitcode, "0123456789012", true, 3, "DPLEIT", "0123456789012", "", kModules},
    // Code 39 and Code 93
    {bcCode39, "CODE39", false, 2, "CODE39", "CODE39", "", kModules},
    {bcCode39, "CODE-39 $/+%.", true, 2, "CODE39", "CODE-39 $/+%.", "--vers=1", kModules},
    {bcCode39Extended, "Code 39 ext!", false, 2, "EXCODE39", "Code 39 ext!", "", kModules},
    {bcCode93, "TEST93", false, 2, "CODE93", "TEST93", "", kModules},
    {bcCode93, "CODE-93 $/+%.", false, 2, "CODE93", "CODE-93 $/+%.", "", kModules},
    {bcCode93Extended, "Code93 ext!\x01", false, 2, "CODE93", "Code93 ext!\x01", "", kModules},
    // Code 128 family, with texts for which both choose the same code sets
    {bcCode128, "Hello World", false, 2, "CODE128", "Hello World", "", kModules},
    {bcCode128, "12345", false, 2, "CODE128", "12345", "", kModules},
    {bcCode128,
     "ab\x01"
     "cd",
     false, 2, "CODE128",
     "ab\x01"
     "cd",
     "", kModules},
    {bcCode128A, "ABC\x01\x1f", false, 2, "CODE128", "ABC\x01\x1f", "", kModules},
    {bcCode128B, "1234", false, 2, "CODE128B", "1234", "", kModules},
    {bcCode128C, "123456", false, 2, "CODE128", "123456", "", kModules},
    {bcCodeEAN128, "00384123450000000073", false, 2, "GS1_128", "(00)384123450000000073", "--gs1parens",
     kModules},
    {bcCodeEAN128C, "(00)384123450000000073", false, 2, "GS1_128", "(00)384123450000000073", "--gs1parens",
     kModules},
    {bcGS1Code128, "(00)384123450000000073", false, 2, "GS1_128", "(00)384123450000000073", "--gs1parens",
     kModules},
    {bcGS1Code128, "(01)12345678901231(17)251231(10)AB-12", false, 2, "GS1_128",
     "(01)12345678901231(17)251231(10)AB-12", "--gs1parens", kModules},
    // MSI, Plessey, Pharmacode
    {bcCodeMSI, "1234567", false, 2, "MSI_PLESSEY", "1234567", "", kModules},
    {bcCodeMSI, "1234567", true, 2, "MSI_PLESSEY", "1234567", "--vers=1", kModules},
    {bcCodeMSI, "80523", true, 2, "MSI_PLESSEY", "80523", "--vers=1", kModules},
    {bcCodeMSI, "123456", true, 2, "MSI_PLESSEY", "123456", "--vers=1", kModules},
    // zint always adds the check bits and ends with its own termination: start, data and
    // check bits (two runs a bit) are compared
    {bcCodePlessey, "12AB", true, 2, "PLESSEY", "12AB", "", kNarrowWide, 1, 2 * (4 + 16 + 8)},
    {bcCodePlessey, "0123456789ABCDEF", true, 2, "PLESSEY", "0123456789ABCDEF", "", kNarrowWide, 1,
     2 * (4 + 64 + 8)},
    {bcPharmacode, "123456", false, 2, "PHARMA", "123456", "", kModules},
    {bcPharmacode, "3", false, 2, "PHARMA", "3", "", kModules},
    {bcPharmacode, "131070", false, 2, "PHARMA", "131070", "", kModules},
    // Codabar: zint takes the start and stop characters as part of the data
    {bcCodeCodabar, "&A;40156&B;", false, 2, "CODABAR", "A40156B", "", kModules},
    {bcCodeCodabar, "&C;12-34$:/.+&D;", false, 2, "CODABAR", "C12-34$:/.+D", "", kModules},
    // EAN and UPC
    {bcCodeEAN8, "5512345", true, 2, "EANX", "5512345", "", kModules},
    {bcCodeEAN13, "400638133393", true, 2, "EANX", "400638133393", "", kModules},
    {bcCodeEAN13, "5901234123457", false, 2, "EANX", "590123412345", "", kModules},
    {bcCodeUPC_A, "03600029145", true, 2, "UPCA", "03600029145", "", kModules},
    {bcCodeUPC_E0, "4252610", true, 2, "UPCE", "0425261", "", kModules},
    {bcCodeUPC_E0, "1234500", true, 2, "UPCE", "0123450", "", kModules},
    {bcCodeUPC_E0, "1234530", true, 2, "UPCE", "0123453", "", kModules},
    {bcCodeUPC_E0, "1234540", true, 2, "UPCE", "0123454", "", kModules},
    {bcCodeUPC_E0, "3982590", true, 2, "UPCE", "0398259", "", kModules},
    {bcCodeUPC_E1, "1234520", true, 2, "UPCE", "1123452", "", kModules},
    {bcCodeUPC_E1, "6543210", true, 2, "UPCE", "1654321", "", kModules},
    {bcCodeUPC_E1, "3681970", true, 2, "UPCE", "1368197", "", kModules},
    {bcCodeUPC_Supp2, "05", false, 2, "EANX", "05", "", kModules},
    {bcCodeUPC_Supp2, "39", false, 2, "EANX", "39", "", kModules},
    {bcCodeUPC_Supp5, "52495", false, 2, "EANX", "52495", "", kModules},
    {bcCodeUPC_Supp5, "12345", false, 2, "EANX", "12345", "", kModules},
    // postal: bar heights compared row by row. zint always adds the POSTNET check digit; this
    // type has none of its own, so the text carries it (1+2+3+4+5 = 15: 5)
    {bcCodePostNet, "123455", false, 1, "POSTNET", "12345", "", kModules, 2},
    {bcCodeUSPSIntelligentMail, "01234567094987654321-01234567891", false, 1, "USPS_IMAIL",
     "01234567094987654321-01234567891", "", kModules, 3},
    {bcCodeUSPSIntelligentMail, "00040123456200800001987654321", false, 1, "USPS_IMAIL",
     "00040123456200800001-987654321", "", kModules, 3},
};

TEST(BarcodeZint, SymbolsMatchAnIndependentEncoder) {
  ASSERT_TRUE(HaveZint())
      << "the zint program is not installed (Debian package zint; scripts/install-deps.sh "
         "installs it): this comparison cannot run";
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(BarcodeTypeValueName(c.type)) + " \"" + c.text + "\" against zint -b " +
                 c.symbology + " " + c.options + " \"" + c.data + "\"");
    TpgwBarcode bc;
    bc.SetTyp(c.type);
    bc.SetModul(1);
    bc.SetText(c.text);
    bc.SetChecksum(c.checksum);
    bc.SetRatio(c.ratio);
    std::vector<std::string> ours = OurRows(bc, c.rows);
    const ZintResult z = RunZint(c.symbology, c.data, c.options);
    ASSERT_EQ(z.exitCode, 0) << z.out;
    std::vector<std::string> theirs = DumpRows(z.out);
    ASSERT_EQ(theirs.size(), c.rows) << z.out;
    TrimLight(ours);
    TrimLight(theirs);
    for (size_t r = 0; r < c.rows; ++r) {
      SCOPED_TRACE("row " + std::to_string(r));
      if (c.compare == kModules) {
        EXPECT_EQ(ours[r], theirs[r]);
      } else {
        std::string a = NarrowWide(ours[r]), b = NarrowWide(theirs[r]);
        if (c.runs) {
          a.resize(std::min(a.size(), c.runs));
          b.resize(std::min(b.size(), c.runs));
          EXPECT_EQ(a.size(), c.runs);
        }
        EXPECT_EQ(a, b);
      }
    }
  }
}

}  // namespace
}  // namespace pagewright
