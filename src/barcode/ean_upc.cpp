// EAN-8, EAN-13, UPC-A, UPC-E and the UPC 2- and 5-digit add-ons: number sets A, B and C of
// the EAN/UPC standard, written with width classes 0 to 3.
#include "barcode/symbologies.h"

#include <algorithm>

#include "barcode/barcode_tables.h"

namespace pagewright::barcode_encoding {

namespace {

using barcode_tables::kEanSetA;

void AppendEanA(std::string& out, char d) {
  AppendWidths(out, kEanSetA[d - '0'], false);
}
void AppendEanC(std::string& out, char d) {
  AppendWidths(out, kEanSetA[d - '0'], true);
}
void AppendEanB(std::string& out, char d) {
  const char* w = kEanSetA[d - '0'];
  char rev[4] = {w[3], w[2], w[1], w[0]};
  AppendWidths(out, std::string_view(rev, 4), false);
}

constexpr const char* kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                          "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
constexpr const char* kUpcEParity[10] = {"EEEooo", "EEoEoo", "EEooEo", "EEoooE", "EoEEoo",
                                         "EooEEo", "EoooEE", "EoEoEo", "EoEooE", "EooEoE"};
constexpr const char* kSupp5Parity[10] = {"GGLLL", "GLGLL", "GLLGL", "GLLLG", "LGGLL",
                                          "LLGGL", "LLLGG", "LGLGL", "LGLLG", "LLGLG"};

}  // namespace

std::string ExpandUpcE(char numberSystem, std::string_view six) {
  std::string a(1, numberSystem);
  const char last = six[5];
  if (last <= '2') {  // manufacturer d1 d2 last 0 0, product 0 0 d3 d4 d5
    a.append(six.substr(0, 2)).append(1, last).append("0000").append(six.substr(2, 3));
  } else if (last == '3') {  // manufacturer d1 d2 d3 0 0, product 0 0 0 d4 d5
    a.append(six.substr(0, 3)).append("00000").append(six.substr(3, 2));
  } else if (last == '4') {  // manufacturer d1 d2 d3 d4 0, product 0 0 0 0 d5
    a.append(six.substr(0, 4)).append("00000").append(1, six[4]);
  } else {  // manufacturer d1 to d5, product 0 0 0 0 last
    a.append(six.substr(0, 5)).append("0000").append(1, last);
  }
  return a;
}

std::string EncodeEan8(EncodingJob& job) {
  const std::string& text = job.Text;
  std::string t;
  if (job.CheckSum) {
    // The first seven digits carry the data; a given check digit is replaced. (Taking the
    // last seven would drop the first digit of a complete eight-digit text.)
    t = PadLeft(text, 7);
    t = CheckSumText(std::string_view(t).substr(0, 7), job.CheckSumMethod);
  } else {
    t = PadLeft(text, 8);
  }
  if (t.size() != 8 || !AllDigits(t)) Fail("Invalid Text len (EAN8)");
  std::string out = "505";
  for (int k = 0; k < 4; ++k) AppendEanA(out, t[k]);
  out += "05050";
  for (int k = 4; k < 8; ++k) AppendEanC(out, t[k]);
  out += "505";
  job.EncodedText = t;
  return out;
}

std::string EncodeEan13(EncodingJob& job) {
  std::string& text = job.Text;
  std::string t = job.CheckSum ? text.substr(0, std::min<size_t>(text.size(), 12)) : text;
  if (t.size() != 13) {
    t = PadLeft(t, 13);
    if (job.CheckSum) t = CheckSumText(std::string_view(t).substr(1, 12), job.CheckSumMethod);
  }
  text = t;
  if (t.size() != 13 || !AllDigits(t)) Fail("Invalid Text len (EAN13)");
  const char* parity = kEan13Parity[t[0] - '0'];
  std::string out = "505";
  for (int k = 0; k < 6; ++k) {
    if (parity[k] == 'A')
      AppendEanA(out, t[k + 1]);
    else
      AppendEanB(out, t[k + 1]);
  }
  out += "05050";
  for (int k = 7; k < 13; ++k) AppendEanC(out, t[k]);
  out += "505";
  job.EncodedText = t;
  return out;
}

std::string EncodeUpcA(EncodingJob& job) {
  std::string& text = job.Text;
  RequireDigits(text);
  // With a check digit to add, eleven data digits are padded to eleven, not twelve:
  // padding first would push the last data digit out.
  std::string t = PadLeft(text, job.CheckSum ? 11 : 12);
  if (job.CheckSum) t = CheckSumText(std::string_view(t).substr(0, 11), job.CheckSumMethod);
  text = t;
  if (t.size() != 12) Fail(kInvalidBarcode);
  std::string out = "505";
  for (int k = 0; k < 6; ++k) AppendEanA(out, t[k]);
  out += "05050";
  for (int k = 6; k < 12; ++k) AppendEanC(out, t[k]);
  out += "505";
  job.EncodedText = t;
  return out;
}

std::string EncodeUpcE(EncodingJob& job) {
  std::string& text = job.Text;
  RequireDigits(text);
  std::string t = PadLeft(text, 7);
  if (t.size() != 7) Fail(kInvalidBarcode);
  std::string six = t.substr(0, 6);
  const char numberSystem = job.Typ == bcCodeUPC_E0 ? '0' : '1';
  // The parity carries the check digit of the UPC-A number the six digits stand for; without a
  // check digit method the text's own seventh digit picks it.
  std::string withCheck = CheckSumText(ExpandUpcE(numberSystem, six), job.CheckSumMethod);
  char check = withCheck.size() == 12 ? withCheck[11] : t[6];
  if (job.CheckSum) text = six + check;
  const char* parity = kUpcEParity[check - '0'];
  char even = numberSystem == '0' ? 'E' : 'o';
  std::string out = "505";
  for (int k = 0; k < 6; ++k) {
    if (parity[k] == even)
      AppendEanB(out, six[k]);
    else
      AppendEanA(out, six[k]);
  }
  out += "050505";
  job.EncodedText = six + check;
  return out;
}

std::string EncodeUpcSupp5(EncodingJob& job) {
  std::string& text = job.Text;
  RequireDigits(text);
  std::string t = PadLeft(text, 5);
  int check = (3 * ((t[0] - '0') + (t[2] - '0') + (t[4] - '0')) + 9 * ((t[1] - '0') + (t[3] - '0'))) % 10;
  // a sixth digit is only accepted as the check digit an earlier encoding appended
  if (t.size() > 6 || (t.size() == 6 && t[5] - '0' != check)) Fail(kInvalidBarcode);
  if (job.CheckSum) text = t.substr(0, 5) + static_cast<char>('0' + check);
  const char* parity = kSupp5Parity[check];
  std::string out = "506";
  for (int k = 0; k < 5; ++k) {
    if (k > 0) out += "05";
    if (parity[k] == 'G')
      AppendEanB(out, t[k]);
    else
      AppendEanA(out, t[k]);
  }
  job.EncodedText = t.substr(0, 5);
  return out;
}

std::string EncodeUpcSupp2(EncodingJob& job) {
  RequireDigits(job.Text);
  std::string t = PadLeft(job.Text, 2);
  if (t.size() != 2) Fail(kInvalidBarcode);
  int v = ((t[0] - '0') * 10 + (t[1] - '0')) % 4;
  std::string out = "506";
  if (v & 2)
    AppendEanB(out, t[0]);
  else
    AppendEanA(out, t[0]);
  out += "05";
  if (v & 1)
    AppendEanB(out, t[1]);
  else
    AppendEanA(out, t[1]);
  job.EncodedText = t;
  return out;
}

}  // namespace pagewright::barcode_encoding
