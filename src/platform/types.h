// Basic value types shared by every subsystem.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>

namespace pagewright {

// Report text is UTF-16; positions count UTF-16 code units.
using WideString = std::u16string;
// 80-bit floating point on x86-64, as the engine's geometry expects.
using Extended = long double;
// Colours: red in the low byte, then green, then blue; negative values are system colours.
using TColor = int32_t;

inline constexpr TColor clNone = 0x1FFFFFFF;  // "no colour": paints nothing
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

// An integral long double as a 64-bit integer, defined for every input: NaN gives 0, values beyond
// the 64-bit range (infinities too) give its nearest end. A plain cast would be undefined there.
inline int64_t ClampToInt64(long double integral) {
  if (std::isnan(integral)) return 0;
  if (integral >= 9223372036854775807.0L) return INT64_MAX;
  if (integral <= -9223372036854775808.0L) return INT64_MIN;
  return static_cast<int64_t>(integral);
}

// Rounding of pixel values: nearest integer, halves to even (clamped as above).
inline int64_t RoundHalfEven(long double v) {
  return ClampToInt64(std::nearbyintl(v));  // default rounding mode is to nearest, ties to even
}

// Truncation toward zero (clamped as above).
inline int64_t Trunc(long double v) {
  return ClampToInt64(std::truncl(v));
}

// Pascal-style set over an unscoped enum with values 0..63: bit n is the n-th value,
// which is also how templates store sets.
template <typename E>
class Set {
  static_assert(std::is_enum_v<E>);

 public:
  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  static constexpr Set FromBits(uint64_t bits) {
    Set s;
    s.bits_ = bits;
    return s;
  }
  constexpr uint64_t Bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Set& Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr Set& Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  constexpr Set operator+(Set o) const { return FromBits(bits_ | o.bits_); }
  constexpr Set operator-(Set o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr Set operator*(Set o) const { return FromBits(bits_ & o.bits_); }
  constexpr bool operator==(const Set&) const = default;

 private:
  static constexpr uint64_t Bit(E e) { return uint64_t{1} << static_cast<unsigned>(e); }
  uint64_t bits_ = 0;
};

}  // namespace pagewright
