// Rounding and truncation to 64-bit integers are defined for every input: huge, infinite and NaN
// values clamp instead of overflowing a cast.
#include "platform/types.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace pagewright {
namespace {

TEST(Types, RoundHalfEvenAndTruncClampOutOfRangeValues) {
  const long double inf = std::numeric_limits<long double>::infinity();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const struct {
    long double v;
    int64_t round, trunc;
  } cases[] = {
      {2.5L, 2, 2},
      {3.5L, 4, 3},
      {-2.5L, -2, -2},
      {-2.7L, -3, -2},
      {0.0L, 0, 0},
      {9223372036854775807.0L, INT64_MAX, INT64_MAX},
      {-9223372036854775808.0L, INT64_MIN, INT64_MIN},
      {1e19L, INT64_MAX, INT64_MAX},
      {-1e19L, INT64_MIN, INT64_MIN},
      {1e300L, INT64_MAX, INT64_MAX},
      {-1e4000L, INT64_MIN, INT64_MIN},
      {inf, INT64_MAX, INT64_MAX},
      {-inf, INT64_MIN, INT64_MIN},
      {nan, 0, 0},
      {-nan, 0, 0},
      {4611686018427387904.5L, 4611686018427387904, 4611686018427387904},  // 2^62 + 0.5: still exact
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.v), c.round) << static_cast<double>(c.v);
    EXPECT_EQ(Trunc(c.v), c.trunc) << static_cast<double>(c.v);
  }
}

}  // namespace
}  // namespace pagewright
