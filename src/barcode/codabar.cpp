// Codabar: start and stop characters chosen by "&A;" to "&D;" escapes at the ends of the text.
#include "barcode/symbologies.h"

#include "barcode/barcode_tables.h"

namespace pagewright::barcode_encoding {

namespace {

// The letter of a start/stop escape at i ("&a;" to "&D;", any case), 0 when there is none.
char SelectorAt(std::string_view s, size_t i) {
  if (i + 2 >= s.size() || s[i] != '&' || s[i + 2] != ';') return 0;
  char l = static_cast<char>(s[i + 1] & ~0x20);
  return l >= 'A' && l <= 'D' ? l : 0;
}

}  // namespace

std::string EncodeCodabar(EncodingJob& job) {
  using barcode_tables::kCodabar;
  using barcode_tables::kCodabarChars;
  std::string_view t(job.Text);
  char start = 'A', stop = 'B';
  if (t.size() >= 3) {
    if (char l = SelectorAt(t, 0)) {
      start = l;
      t.remove_prefix(3);
    }
  }
  if (t.size() >= 3) {
    if (char l = SelectorAt(t, t.size() - 3)) {
      stop = l;
      t.remove_suffix(3);
    }
  }
  std::string_view chars(kCodabarChars);
  std::string out;
  AppendFlags(out, kCodabar[chars.find(start)]);
  out += '0';
  for (char c : t) {
    size_t v = chars.find(c);
    if (v == std::string_view::npos) Fail(kInvalidBarcode);
    AppendFlags(out, kCodabar[v]);
    out += '0';
  }
  AppendFlags(out, kCodabar[chars.find(stop)]);
  job.EncodedText.assign(1, start).append(t).append(1, stop);
  return out;
}

}  // namespace pagewright::barcode_encoding
