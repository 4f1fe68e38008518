// Pharmacode (one-track): a number from 1 to 131070 written as narrow and wide bars.
#include "barcode/symbologies.h"

namespace pagewright::barcode_encoding {

std::string EncodePharmacode(EncodingJob& job) {
  const std::string& text = job.Text;
  size_t first = text.find_first_not_of('0');
  std::string_view sig =
      first == std::string::npos ? std::string_view() : std::string_view(text).substr(first);
  long value = 0;
  bool ok = !text.empty() && AllDigits(text) && sig.size() <= 6;
  if (ok) {
    for (char c : sig) value = value * 10 + (c - '0');
    ok = value >= 1 && value <= 131070;
  }
  if (!ok) Fail("Only integer value from 1 to 131 070 is allowed.");
  // the binary digits of value + 1 without the leading 1: 0 narrow, 1 wide
  unsigned long v = static_cast<unsigned long>(value) + 1;
  int top = 0;
  while ((v >> (top + 1)) != 0) ++top;
  std::string out;
  for (int b = top - 1; b >= 0; --b) {
    out += (v >> b) & 1 ? '7' : '5';
    out += '1';
  }
  if (!out.empty()) out.pop_back();
  job.EncodedText = text;
  return out;
}

}  // namespace pagewright::barcode_encoding
