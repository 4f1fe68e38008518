// The USPS Intelligent Mail barcode (USPS-B-3200): 20-digit tracking code plus a routing code of
// 0, 5, 9 or 11 digits, encoded into 65 four-state bars.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pagewright {

class TOneCode {
 public:
  // Bars as 'F' (full), 'A' (ascender), 'D' (descender), 'T' (tracker). False when the digits
  // are not a tracking code (second digit 0-4) with a routing code of a valid length.
  static bool Encode(std::string_view digits, std::array<char, 65>& bars);

  // The steps, exposed for tests: 11-bit frame check sequence of the 102-bit binary data
  // (13 bytes, most significant first) and the ten 13-bit characters.
  static uint16_t Crc11(const std::array<uint8_t, 13>& bytes);
  static bool Characters(std::string_view digits, std::array<uint16_t, 10>& characters);
};

}  // namespace pagewright
