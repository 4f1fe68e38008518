#include "barcode/onecode.h"

namespace pagewright {

namespace {

// The n-of-13 character tables: every 13-bit value with n bits set, paired with its bit reversal
// from the front of the table, self-reversing values from the back.
template <int N, int Length>
struct NOf13Table {
  std::array<uint16_t, Length> v{};
  constexpr NOf13Table() {
    int lower = 0, upper = Length - 1;
    for (int c = 0; c < 8192; ++c) {
      int bits = 0;
      for (int b = 0; b < 13; ++b) bits += (c >> b) & 1;
      if (bits != N) continue;
      int r = 0;
      for (int b = 0; b < 13; ++b)
        if (c & (1 << b)) r |= 1 << (12 - b);
      if (r < c) continue;
      if (r == c) {
        v[upper--] = static_cast<uint16_t>(c);
      } else {
        v[lower++] = static_cast<uint16_t>(c);
        v[lower++] = static_cast<uint16_t>(r);
      }
    }
  }
};
constexpr NOf13Table<5, 1287> kTable5Of13;
constexpr NOf13Table<2, 78> kTable2Of13;

// Bar-to-character mapping: for each bar, the character (A = 0 ... J = 9) and bit of its descender,
// then of its ascender.
struct BarBits {
  uint8_t descChar, descBit, ascChar, ascBit;
};
constexpr BarBits kBars[65] = {
    {7, 2, 4, 3},  {1, 10, 0, 0}, {9, 12, 2, 8}, {5, 5, 6, 11}, {8, 9, 3, 1},  {0, 1, 5, 12},  {2, 5, 1, 8},
    {4, 4, 9, 11}, {6, 3, 8, 10}, {3, 9, 7, 6},  {5, 11, 1, 4}, {8, 5, 2, 12}, {9, 10, 0, 2},  {7, 1, 6, 7},
    {3, 6, 4, 9},  {0, 3, 8, 6},  {6, 4, 2, 7},  {1, 1, 9, 9},  {7, 10, 5, 2}, {4, 0, 3, 8},   {6, 2, 0, 4},
    {8, 11, 1, 0}, {9, 8, 3, 12}, {2, 6, 7, 7},  {5, 1, 4, 10}, {1, 12, 6, 9}, {7, 3, 8, 0},   {5, 8, 9, 7},
    {4, 6, 2, 10}, {3, 4, 0, 5},  {8, 4, 5, 7},  {7, 11, 1, 9}, {6, 0, 9, 6},  {0, 6, 4, 8},   {2, 1, 3, 2},
    {5, 9, 8, 12}, {4, 11, 6, 1}, {9, 5, 7, 4},  {3, 3, 1, 2},  {0, 7, 2, 0},  {1, 3, 4, 1},   {6, 10, 3, 5},
    {8, 7, 9, 4},  {2, 11, 5, 6}, {0, 8, 7, 12}, {4, 2, 8, 1},  {5, 10, 3, 0}, {9, 3, 0, 9},   {6, 5, 2, 4},
    {7, 8, 1, 7},  {5, 0, 4, 5},  {2, 3, 0, 10}, {6, 12, 9, 2}, {3, 11, 1, 6}, {8, 8, 7, 9},   {5, 4, 0, 11},
    {1, 5, 2, 2},  {9, 1, 4, 12}, {8, 3, 6, 6},  {7, 0, 3, 7},  {4, 7, 7, 5},  {0, 12, 1, 11}, {2, 9, 9, 0},
    {6, 8, 5, 3},  {3, 10, 8, 2},
};

using U128 = unsigned __int128;

}  // namespace

uint16_t TOneCode::Crc11(const std::array<uint8_t, 13>& bytes) {
  constexpr uint16_t kGenerator = 0x0F35;
  uint16_t fcs = 0x07FF;
  auto step = [&](uint16_t data, int from) {
    for (int bit = from; bit < 8; ++bit) {
      fcs = ((fcs ^ data) & 0x400) ? static_cast<uint16_t>((fcs << 1) ^ kGenerator)
                                   : static_cast<uint16_t>(fcs << 1);
      fcs &= 0x7FF;
      data = static_cast<uint16_t>(data << 1);
    }
  };
  step(static_cast<uint16_t>(bytes[0] << 5), 2);  // the first byte holds only 6 bits of data
  for (int i = 1; i < 13; ++i) step(static_cast<uint16_t>(bytes[i] << 3), 0);
  return fcs;
}

namespace {

bool Binary(std::string_view digits, U128& value) {
  size_t n = digits.size();
  if (n != 20 && n != 25 && n != 29 && n != 31) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  if (digits[1] > '4') return false;
  auto number = [&](size_t from, size_t count) {
    U128 v = 0;
    for (size_t i = 0; i < count; ++i) v = v * 10 + static_cast<unsigned>(digits[from + i] - '0');
    return v;
  };
  U128 v = 0;
  switch (n - 20) {
    case 5:
      v = number(20, 5) + 1;
      break;
    case 9:
      v = number(20, 9) + 100000 + 1;
      break;
    case 11:
      v = number(20, 11) + 1000000000 + 100000 + 1;
      break;
    default:
      break;
  }
  v = v * 10 + static_cast<unsigned>(digits[0] - '0');
  v = v * 5 + static_cast<unsigned>(digits[1] - '0');
  for (size_t i = 2; i < 20; ++i) v = v * 10 + static_cast<unsigned>(digits[i] - '0');
  value = v;
  return true;
}

}  // namespace

bool TOneCode::Characters(std::string_view digits, std::array<uint16_t, 10>& characters) {
  U128 value;
  if (!Binary(digits, value)) return false;
  std::array<uint8_t, 13> bytes{};
  U128 t = value;
  for (int i = 12; i >= 0; --i) {
    bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(t & 0xFF);
    t >>= 8;
  }
  uint16_t fcs = Crc11(bytes);
  std::array<unsigned, 10> cw{};
  cw[9] = static_cast<unsigned>(value % 636);
  value /= 636;
  for (int i = 8; i >= 1; --i) {
    cw[static_cast<size_t>(i)] = static_cast<unsigned>(value % 1365);
    value /= 1365;
  }
  cw[0] = static_cast<unsigned>(value);
  cw[9] *= 2;
  if (fcs & 0x400) cw[0] += 659;
  for (size_t i = 0; i < 10; ++i) {
    uint16_t ch = cw[i] < 1287 ? kTable5Of13.v[cw[i]] : kTable2Of13.v[cw[i] - 1287];
    if (fcs & (1u << i)) ch ^= 0x1FFF;
    characters[i] = ch;
  }
  return true;
}

bool TOneCode::Encode(std::string_view digits, std::array<char, 65>& bars) {
  std::array<uint16_t, 10> ch;
  if (!Characters(digits, ch)) return false;
  for (size_t i = 0; i < 65; ++i) {
    const BarBits& b = kBars[i];
    bool d = (ch[b.descChar] >> b.descBit) & 1;
    bool a = (ch[b.ascChar] >> b.ascBit) & 1;
    bars[i] = d && a ? 'F' : d ? 'D' : a ? 'A' : 'T';
  }
  return true;
}

}  // namespace pagewright
