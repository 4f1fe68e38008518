// MSI and Plessey: digits written as four bits each, with their own check characters.
#include "barcode/symbologies.h"

#include <cstdint>
#include <vector>

namespace pagewright::barcode_encoding {

char MsiCheckDigit(std::string_view digits) {
  int sum = 0;
  bool doubled = true;
  for (size_t i = digits.size(); i-- > 0; doubled = !doubled) {
    const int d = digits[i] - '0';
    sum += doubled ? 2 * d / 10 + 2 * d % 10 : d;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string EncodeMsi(EncodingJob& job) {
  const std::string& text = job.Text;
  RequireDigits(text);
  std::string data = text;
  if (job.CheckSum) data += MsiCheckDigit(text);
  std::string out = "60";
  for (char c : data) {
    int d = c - '0';
    for (int bit = 3; bit >= 0; --bit) out += (d >> bit) & 1 ? "60" : "51";
  }
  out += "515";
  job.EncodedText = data;
  return out;
}

std::string EncodePlessey(EncodingJob& job) {
  const std::string& text = job.Text;
  std::vector<uint8_t> bits;
  bits.reserve(text.size() * 4 + 8);
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      Fail("Only 0-9 and A-F.");
    for (int b = 0; b < 4; ++b) bits.push_back(static_cast<uint8_t>((v >> b) & 1));
  }
  std::string out = "71715371";
  for (uint8_t b : bits) out += b ? "71" : "53";
  if (job.CheckSum) {
    static constexpr uint8_t kGenerator[9] = {1, 1, 1, 1, 0, 1, 0, 0, 1};
    std::vector<uint8_t> work(bits);
    work.resize(bits.size() + 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
      if (work[i])
        for (int j = 0; j < 9; ++j) work[i + j] ^= kGenerator[j];
    for (size_t i = bits.size(); i < work.size(); ++i) out += work[i] ? "71" : "53";
  }
  out += "85";
  out += "35351717";
  job.EncodedText = text;
  return out;
}

}  // namespace pagewright::barcode_encoding
