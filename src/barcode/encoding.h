// What the per-symbology encoders share: the fields one encoding works on, the failure helper,
// and the small helpers that turn widths and flags into element pattern characters. Internal
// to the encoder library.
#pragma once

#include <string>
#include <string_view>

#include "barcode/barcode.h"

namespace pagewright::barcode_encoding {

// The encoder's fields that one symbology reads or rewrites.
struct EncodingJob {
  TpgwBarcodeType Typ;
  bool CheckSum;
  TpgwCheckSumMethod& CheckSumMethod;  // the Leitcode forces modulo 10
  std::string& Text;                   // some types pad, complete or format it
  std::string& EncodedText;            // the data the symbol carries, check characters included
  std::string_view ClassName;          // for messages that name the class
};

// Turns the job's text into an element pattern, or throws Exception.
using SymbologyEncoder = std::string (*)(EncodingJob& job);

// Message keys; the resource store returns the key itself when no table overrides it.
inline constexpr const char* kInvalidBarcode = "Invalid Barcode";
inline constexpr const char* kMustBeNumeric = "Barcode must be numeric";

// Throws the base exception with the resource text of `key`, its "%s" placeholders filled in
// order with 8-bit (system code page) arguments.
[[noreturn]] void Fail(const char* key, std::string_view arg1 = {}, std::string_view arg2 = {});

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool AllDigits(std::string_view s);
// Throws "Barcode must be numeric" unless every character is a digit.
void RequireDigits(std::string_view s);
std::string PadLeft(std::string_view s, size_t n);
// Pascal-style insert at a 1-based position; past the end it appends.
void InsertAt(std::string& s, size_t pos1, char c);

// Module widths (digits "1"-"4") to pattern characters, alternating bar and space.
void AppendWidths(std::string& out, std::string_view widths, bool barFirst);
// Narrow/wide flags ("0"/"1") to pattern characters, alternating bar and space, bar first.
void AppendFlags(std::string& out, std::string_view flags);

}  // namespace pagewright::barcode_encoding
