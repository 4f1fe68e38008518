// Postal codes: POSTNET (full and half bars) and the four-state USPS Intelligent Mail barcode.
#include "barcode/symbologies.h"

#include <array>

#include "barcode/barcode_tables.h"
#include "barcode/onecode.h"

namespace pagewright::barcode_encoding {

std::string EncodePostNet(EncodingJob& job) {
  RequireDigits(job.Text);
  std::string out = "51";
  for (char d : job.Text)
    for (const char* f = barcode_tables::kPostNet[d - '0']; *f; ++f) {
      out += *f == '1' ? '5' : 'A';
      out += '1';
    }
  out += '5';
  job.EncodedText = job.Text;
  return out;
}

std::string EncodeIntelligentMail(EncodingJob& job) {
  std::string digits;
  for (char c : job.Text)
    if (c != ' ' && c != '-' && c != '.') digits += c;
  std::array<char, 65> bars;
  if (!TOneCode::Encode(digits, bars)) Fail(kInvalidBarcode);
  std::string out = "0";
  for (char b : bars) {
    out += b == 'A' ? 'G' : b == 'D' ? 'H' : b == 'F' ? '5' : 'F';
    out += '0';
  }
  job.EncodedText = digits;
  return out;
}

}  // namespace pagewright::barcode_encoding
