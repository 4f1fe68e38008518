// The 2 of 5 family: interleaved, industrial and matrix 2 of 5, ITF-14, and the Deutsche Post
// Identcode and Leitcode, which are interleaved 2 of 5 with their own check digit and layout.
#include "barcode/symbologies.h"

#include <utility>

#include "barcode/barcode_tables.h"

namespace pagewright::barcode_encoding {

namespace {

using barcode_tables::kTwoOfFive;

// Digit pairs interleaved: the first digit's flags as bars, the second's as spaces.
std::string InterleavedPattern(std::string_view digits) {
  std::string out = "5050";
  out.reserve(digits.size() * 5 + 8);
  for (size_t k = 0; k + 1 < digits.size(); k += 2) {
    const char* a = kTwoOfFive[digits[k] - '0'];
    const char* b = kTwoOfFive[digits[k + 1] - '0'];
    for (int j = 0; j < 5; ++j) {
      out += a[j] == '1' ? '6' : '5';
      out += b[j] == '1' ? '1' : '0';
    }
  }
  out += "605";
  return out;
}

std::string EncodeDeutschePost(EncodingJob& job, bool leit) {
  std::string& text = job.Text;
  if (leit) job.CheckSumMethod = csmModulo10;
  std::string digits;
  for (char c : text)
    if (c != '.' && c != ' ') digits += c;
  RequireDigits(digits);
  if (job.CheckSum && job.CheckSumMethod == csmModulo10 && digits.size() == (leit ? 13u : 11u))
    digits += DeutschePostCheckDigit(digits);
  std::string symbol = digits.size() % 2 == 1 ? "0" + digits : digits;
  std::string out = InterleavedPattern(symbol);
  job.EncodedText = digits;
  std::string shown = digits;
  if (leit) {
    for (auto [pos, c] : {std::pair{6, '.'}, {7, ' '}, {11, '.'}, {12, ' '}, {16, '.'}, {17, ' '}, {20, ' '}})
      InsertAt(shown, static_cast<size_t>(pos), c);
  } else {
    InsertAt(shown, 3, '.');
    InsertAt(shown, 7, ' ');
    InsertAt(shown, 11, '.');
    if (job.CheckSumMethod == csmModulo10) InsertAt(shown, 15, ' ');
  }
  text = shown;
  return out;
}

}  // namespace

char DeutschePostCheckDigit(std::string_view digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) sum += (i % 2 == 0 ? 4 : 9) * (digits[i] - '0');
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string EncodeInterleaved2of5(EncodingJob& job) {
  std::string& text = job.Text;
  RequireDigits(text);
  if (job.CheckSum && text.size() % 2 == 1) text = CheckSumText(text, job.CheckSumMethod);
  if (text.size() % 2 == 1) text.insert(0, 1, '0');
  job.EncodedText = text;
  return InterleavedPattern(text);
}

std::string EncodeIndustrial2of5(EncodingJob& job) {
  RequireDigits(job.Text);
  std::string out = "55055050";
  for (char d : job.Text)
    for (const char* f = kTwoOfFive[d - '0']; *f; ++f) out += *f == '1' ? "60" : "50";
  out += "55050550";
  job.EncodedText = job.Text;
  return out;
}

std::string EncodeMatrix2of5(EncodingJob& job) {
  RequireDigits(job.Text);
  std::string out = "705050";
  for (char d : job.Text) {
    AppendFlags(out, kTwoOfFive[d - '0']);
    out += '0';
  }
  out += "70505";
  job.EncodedText = job.Text;
  return out;
}

std::string EncodeItf14(EncodingJob& job) {
  std::string& text = job.Text;
  if (text.size() != 13 && text.size() != 14) Fail("The length should be 13 or 14");
  if (text[0] < '1' || text[0] > '8') Fail("The first character must be 1-8");
  if (!AllDigits(std::string_view(text).substr(1))) Fail("Only numbers are required");
  // Thirteen digits get their check digit; a fourteenth must be that check digit.
  const std::string withCheck = CheckSumText(std::string_view(text).substr(0, 13), csmModulo10);
  if (text.size() == 14 && text[13] != withCheck[13])
    Fail("The check digit should be %s", std::string_view(withCheck).substr(13));
  text = withCheck;
  job.EncodedText = text;
  return "33333" + InterleavedPattern(text) + "33333";
}

std::string EncodeIdentcode(EncodingJob& job) {
  return EncodeDeutschePost(job, false);
}

std::string EncodeLeitcode(EncodingJob& job) {
  return EncodeDeutschePost(job, true);
}

}  // namespace pagewright::barcode_encoding
