#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {

// Readable failure output: type name and text.
void PrintTo(const Variant& v, std::ostream* os) {
  *os << VarTypeAsText(v.VarType()) << ":";
  try {
    *os << '"' << Utf16ToUtf8(VarToStr(v)) << '"';
  } catch (const Exception&) {
    *os << "<no text>";
  }
}

namespace {

// What an operation should give: a value (type and value compared) or an error (class and message).
struct Outcome {
  Variant value;
  const char* errorClass = nullptr;
  std::string message;
};
Outcome Ok(Variant v) {
  return {std::move(v), nullptr, {}};
}
Outcome Err(const char* cls, std::string msg) {
  return {Variant(), cls, std::move(msg)};
}
Outcome CastErr(const std::string& from, const std::string& to) {
  return Err("EVariantTypeCastError",
             "Could not convert variant of type (" + from + ") into type (" + to + ")");
}
Outcome OverflowErr(const std::string& from, const std::string& to) {
  return Err("EVariantOverflowError",
             "Overflow while converting variant of type (" + from + ") into type (" + to + ")");
}

void ExpectOutcome(const std::function<Variant()>& run, const Outcome& want, const std::string& what) {
  SCOPED_TRACE(what);
  try {
    Variant got = run();
    if (want.errorClass) {
      ADD_FAILURE() << "expected " << want.errorClass << ", got " << ::testing::PrintToString(got);
      return;
    }
    EXPECT_EQ(got.VarType(), want.value.VarType()) << ::testing::PrintToString(got);
    EXPECT_EQ(got.Kind(), want.value.Kind()) << ::testing::PrintToString(got);
    if (!got.IsNull() || !want.value.IsNull()) {
      EXPECT_TRUE(VarCompare(got, want.value, voCmpEq))
          << ::testing::PrintToString(got) << " vs " << ::testing::PrintToString(want.value);
    }
  } catch (const Exception& e) {
    if (!want.errorClass) {
      ADD_FAILURE() << "unexpected " << e.ClassName() << ": " << e.Message();
      return;
    }
    EXPECT_STREQ(e.ClassName(), want.errorClass);
    EXPECT_EQ(e.Message(), want.message);
  }
}

Variant Cur(long double amount) {
  return Variant::FromCurrency(amount);
}
Variant Str(const char16_t* s) {
  return Variant(s);
}
Variant Date(int y, int m, int d) {
  return Variant::FromDateTime(EncodeDate(y, m, d));
}

// Distinct object references. A variant only holds a reference and never dereferences it, so
// addresses inside a buffer serve as objects here.
alignas(16) char objectStore[32];
TPersistent* const objectA = reinterpret_cast<TPersistent*>(&objectStore[0]);
TPersistent* const objectB = reinterpret_cast<TPersistent*>(&objectStore[16]);

// Restores the process-wide settings a test changes.
struct RulesGuard {
  TNullCompareRule eq = NullEqualityRule, mag = NullMagnitudeRule;
  char16_t decimal = FormatSettings().DecimalSeparator;
  ~RulesGuard() {
    NullEqualityRule = eq;
    NullMagnitudeRule = mag;
    FormatSettings().DecimalSeparator = decimal;
  }
};

TEST(Variant, KindsReportTheirTypeCodes) {
  struct Case {
    Variant v;
    TVarType vt;
    TVarKind kind;
    const char* name;
  } cases[] = {
      {Variant(), varEmpty, vkEmpty, "Empty"},
      {Variant::Null(), varNull, vkNull, "Null"},
      {Variant::FromSmallint(-5), varSmallint, vkInteger, "Smallint"},
      {Variant(5), varInteger, vkInteger, "Integer"},
      {Variant::FromSingle(1.5f), varSingle, vkFloat, "Single"},
      {Variant(1.5), varDouble, vkFloat, "Double"},
      {Variant(1.5L), varDouble, vkExtended, "Double"},
      {Cur(1.5), varCurrency, vkCurrency, "Currency"},
      {Variant::FromDateTime(45000.5), varDate, vkDate, "Date"},
      {Variant::FromString(u"x", varOleStr), varOleStr, vkString, "OleStr"},
      {Variant(true), varBoolean, vkBoolean, "Boolean"},
      {Variant::FromShortInt(-1), varShortInt, vkInteger, "ShortInt"},
      {Variant::FromByte(200), varByte, vkInteger, "Byte"},
      {Variant::FromWord(60000), varWord, vkInteger, "Word"},
      {Variant(uint32_t{4000000000u}), varLongWord, vkInteger, "LongWord"},
      {Variant(int64_t{1} << 40), varInt64, vkInteger, "Int64"},
      {Str(u"x"), varString, vkString, "String"},
      {Variant(u'x'), varString, vkString, "String"},
      {Variant::FromString(u"x", varUString), varUString, vkString, "UnicodeString"},
      {Variant::FromObject(objectA), varInteger, vkObject, "Integer"},
      {Variant::FromObject(nullptr), varInteger, vkInteger, "Integer"},
      {VarArrayOf({1, 2}), varArray | varVariant, vkArray, "Array Variant"},
      {VarArrayCreate({0, 1}, varInteger), varArray | varInteger, vkArray, "Array Integer"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VarType(c.v), c.vt) << c.name;
    EXPECT_EQ(c.v.Kind(), c.kind) << c.name;
    EXPECT_EQ(VarTypeAsText(VarType(c.v)), c.name);
  }
  EXPECT_EQ(VarTypeAsText(0x0E), "Decimal");
  EXPECT_EQ(VarTypeAsText(0x0123), "$0123");
  EXPECT_EQ(VarTypeAsText(varByRef | varInteger), "ByRef Integer");
  EXPECT_EQ(Variant::FromObject(objectA).AsObject(), objectA);
  EXPECT_EQ(Variant(0).AsObject(), nullptr);
  EXPECT_EQ(Variant::Null().AsObject(), nullptr);
}

TEST(Variant, TextWithoutDisplayFormat) {
  RulesGuard guard;
  struct Case {
    Variant v;
    const char16_t* text;
  } cases[] = {
      {Variant(), u""},
      {Variant::Null(), u""},
      {Variant(-42), u"-42"},
      {Variant(std::numeric_limits<int64_t>::max()), u"9223372036854775807"},
      {Variant::FromByte(255), u"255"},
      {Variant::FromSmallint(-32768), u"-32768"},
      {Variant(uint32_t{4294967295u}), u"4294967295"},
      {Variant(1.5), u"1.5"},
      {Variant(1.0 / 3.0), u"0.333333333333333"},
      {Variant(2.0 / 3.0), u"0.666666666666667"},
      {Variant(100.0), u"100"},
      {Variant(0.1 + 0.2), u"0.3"},
      {Variant(1e20), u"1E20"},
      {Variant(-0.000001), u"-1E-6"},
      {Variant(2.5L), u"2.5"},
      {Variant::FromSingle(0.1f), u"0.100000001490116"},
      {Cur(12.3456), u"12.3456"},
      {Cur(-7), u"-7"},
      {Date(2024, 2, 29), u"2/29/2024"},
      {Variant::FromDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 0)), u"2/29/2024 1:05:09 PM"},
      // A time of day alone is shown without the date it has no part of; midnight is a date.
      {Variant::FromDateTime(EncodeTime(22, 14, 37, 0)), u"10:14:37 PM"},
      {Variant::FromDateTime(0), u"12/30/1899"},
      {Variant(true), u"True"},
      {Variant(false), u"False"},
      {Variant(u'x'), u"x"},
      {Str(u"  as is \u00E9 "), u"  as is \u00E9 "},
  };
  for (const auto& c : cases) EXPECT_EQ(VarToStr(c.v), c.text) << ::testing::PrintToString(c.v);

  FormatSettings().DecimalSeparator = u',';
  EXPECT_EQ(VarToStr(Variant(1.5)), u"1,5");
  EXPECT_EQ(Variant(2.25).AsString(), u"2,25");
  EXPECT_EQ(Str(u"2,5").AsDouble(), 2.5);

  EXPECT_EQ(VarToStrDef(Variant::Null(), u"n/a"), u"n/a");
  EXPECT_EQ(VarToStrDef(Variant(3), u"n/a"), u"3");
  ExpectOutcome([] { return Variant(VarToStr(VarArrayOf({1}))); }, CastErr("Array Variant", "String"),
                "array as text");
}

TEST(Variant, ConversionsBetweenKinds) {
  struct Case {
    Variant from;
    TVarType to;
    Outcome want;
  } cases[] = {
      // Empty converts to the zero of every type; Null only to Null.
      {Variant(), varInteger, Ok(0)},
      {Variant(), varDouble, Ok(0.0)},
      {Variant(), varString, Ok(Str(u""))},
      {Variant(), varBoolean, Ok(false)},
      {Variant(), varDate, Ok(Variant::FromDateTime(0))},
      {Variant::Null(), varNull, Ok(Variant::Null())},
      {Variant::Null(), varInteger, CastErr("Null", "Integer")},
      {Variant::Null(), varDouble, CastErr("Null", "Double")},
      {Variant::Null(), varString, CastErr("Null", "String")},
      {Variant::Null(), varBoolean, CastErr("Null", "Boolean")},
      {Variant::Null(), varDate, CastErr("Null", "Date")},
      {Variant::Null(), varCurrency, CastErr("Null", "Currency")},
      // Integers.
      {Variant(7), varDouble, Ok(7.0)},
      {Variant(7), varString, Ok(Str(u"7"))},
      {Variant(7), varBoolean, Ok(true)},
      {Variant(0), varBoolean, Ok(false)},
      {Variant(7), varCurrency, Ok(Cur(7))},
      {Variant(-300), varSmallint, Ok(Variant::FromSmallint(-300))},
      {Variant(70000), varSmallint, OverflowErr("Integer", "Smallint")},
      {Variant(-1), varByte, OverflowErr("Integer", "Byte")},
      {Variant(-1), varLongWord, OverflowErr("Integer", "LongWord")},
      {Variant(int64_t{5000000000}), varInteger, OverflowErr("Int64", "Integer")},
      {Variant(int64_t{5000000000}), varDouble, Ok(5e9)},
      {Variant(std::numeric_limits<int64_t>::max()), varCurrency, OverflowErr("Int64", "Currency")},
      // Floating point rounds halves to even.
      {Variant(2.5), varInteger, Ok(2)},
      {Variant(3.5), varInteger, Ok(4)},
      {Variant(-2.5), varInteger, Ok(-2)},
      {Variant(2.7), varInt64, Ok(Variant(int64_t{3}))},
      {Variant(1e10), varInteger, OverflowErr("Double", "Integer")},
      {Variant(std::nan("")), varInteger, OverflowErr("Double", "Integer")},
      {Variant(1e300), varSingle, OverflowErr("Double", "Single")},
      {Variant(1e300), varCurrency, OverflowErr("Double", "Currency")},
      {Variant(0.0), varBoolean, Ok(false)},
      {Variant(0.1), varBoolean, Ok(true)},
      {Variant(1.25), varCurrency, Ok(Cur(1.25))},
      {Variant(45351.5), varDate, Ok(Variant::FromDateTime(45351.5))},
      {Variant(2.5L), varDouble, Ok(2.5)},
      {Variant(1e4000L), varDouble, OverflowErr("Double", "Double")},
      {Variant::FromSingle(2.5f), varInteger, Ok(2)},
      {Variant::FromSingle(0.5f), varDouble, Ok(0.5)},
      {Variant(2.5L), varString, Ok(Str(u"2.5"))},
      {Variant(2.5L), varCurrency, Ok(Cur(2.5))},
      // Narrower integer types.
      {Variant(uint32_t{4000000000u}), varInteger, OverflowErr("LongWord", "Integer")},
      {Variant(uint32_t{4000000000u}), varInt64, Ok(Variant(int64_t{4000000000}))},
      {Variant::FromWord(65535), varSmallint, OverflowErr("Word", "Smallint")},
      {Variant(70000), varWord, OverflowErr("Integer", "Word")},
      {Variant(200), varShortInt, OverflowErr("Integer", "ShortInt")},
      {Variant::FromByte(5), varShortInt, Ok(Variant::FromShortInt(5))},
      {Variant::FromShortInt(-5), varString, Ok(Str(u"-5"))},
      // Currency.
      {Cur(1.5), varString, Ok(Str(u"1.5"))},
      {Cur(1e14), varInteger, OverflowErr("Currency", "Integer")},
      {Cur(1e14), varInt64, Ok(Variant(int64_t{100000000000000}))},
      {Cur(2.5), varInteger, Ok(2)},
      {Cur(-3.5), varInteger, Ok(-4)},
      {Cur(12.3456), varDouble, Ok(12.3456)},
      {Cur(0), varBoolean, Ok(false)},
      // Booleans are -1 and 0 as numbers.
      {Variant(true), varInteger, Ok(-1)},
      {Variant(true), varDouble, Ok(-1.0)},
      {Variant(false), varInteger, Ok(0)},
      {Variant(true), varString, Ok(Str(u"True"))},
      {Variant(true), varCurrency, Ok(Cur(-1))},
      // Strings.
      {Str(u"42"), varInteger, Ok(42)},
      {Str(u"-17"), varSmallint, Ok(Variant::FromSmallint(-17))},
      {Str(u"2.5"), varInteger, Ok(2)},
      {Str(u"3.5"), varInteger, Ok(4)},
      {Str(u"1e3"), varInteger, Ok(1000)},
      {Str(u"12345678901"), varInteger, OverflowErr("String", "Integer")},
      {Str(u"12345678901"), varInt64, Ok(Variant(int64_t{12345678901}))},
      {Str(u"abc"), varInteger, CastErr("String", "Integer")},
      {Str(u"abc"), varDouble, CastErr("String", "Double")},
      {Str(u""), varDouble, CastErr("String", "Double")},
      {Str(u"abc"), varCurrency, CastErr("String", "Currency")},
      {Str(u"1.5"), varDouble, Ok(1.5)},
      {Str(u"1.5"), varCurrency, Ok(Cur(1.5))},
      {Str(u"true"), varBoolean, Ok(true)},
      {Str(u"FALSE"), varBoolean, Ok(false)},
      {Str(u"True"), varInteger, Ok(-1)},
      {Str(u"0"), varBoolean, Ok(false)},
      {Str(u"2"), varBoolean, Ok(true)},
      {Str(u"yes"), varBoolean, CastErr("String", "Boolean")},
      {Str(u"2/29/2024"), varDate, Ok(Date(2024, 2, 29))},
      {Str(u"someday"), varDate, CastErr("String", "Date")},
      {Variant::FromString(u"x", varOleStr), varInteger, CastErr("OleStr", "Integer")},
      {Variant::FromString(u"x", varUString), varDouble, CastErr("UnicodeString", "Double")},
      {Str(u"5"), varOleStr, Ok(Variant::FromString(u"5", varOleStr))},
      // Dates are day counts.
      {Date(2024, 2, 29), varBoolean, Ok(true)},
      {Variant::FromDateTime(0), varBoolean, Ok(false)},
      {Variant(true), varDate, Ok(Variant::FromDateTime(-1))},
      {Date(2024, 2, 29), varDouble, Ok(45351.0)},
      {Date(2024, 2, 29), varInteger, Ok(45351)},
      {Date(2024, 2, 29), varString, Ok(Str(u"2/29/2024"))},
      // Arrays convert to nothing but themselves.
      {VarArrayOf({1}), varInteger, CastErr("Array Variant", "Integer")},
      {VarArrayOf({1}), varBoolean, CastErr("Array Variant", "Boolean")},
      {VarArrayOf({1}), varArray | varInteger, CastErr("Array Variant", "Array Integer")},
      {Variant(1), 0x000E, Err("EVariantBadVarTypeError", "Invalid variant type")},
      {Variant(1), varVariant, Ok(1)},
      {Variant(1), varEmpty, Ok(Variant())},
  };
  for (const auto& c : cases)
    ExpectOutcome([&] { return VarAsType(c.from, c.to); }, c.want,
                  ::testing::PrintToString(c.from) + " as " + VarTypeAsText(c.to));
}

TEST(Variant, AccessorsFollowTheCastRules) {
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant(true).AsInt64(), -1);
  EXPECT_EQ(Str(u"tRuE").AsBoolean(), true);
  EXPECT_EQ(Variant(-0.5).AsBoolean(), true);
  EXPECT_EQ(Variant(3).AsExtended(), 3.0L);
  EXPECT_EQ(Variant(0.1L).AsExtended(), 0.1L);  // keeps 80-bit precision
  EXPECT_NE(Variant(0.1L).AsDouble(), 0.1L);
  EXPECT_EQ(Cur(1.2345).AsCurrencyScaled(), 12345);
  EXPECT_EQ(Variant(2).AsCurrency(), 2.0L);
  EXPECT_EQ(Str(u"2/29/2024").AsDateTime(), EncodeDate(2024, 2, 29));
  EXPECT_EQ(Variant().AsString(), u"");

  ExpectOutcome([] { return Variant(Str(u"abc").AsDouble()); }, CastErr("String", "Double"), "AsDouble");
  ExpectOutcome([] { return Variant(Variant::Null().AsInteger()); }, CastErr("Null", "Integer"), "AsInteger");
  ExpectOutcome([] { return Variant(Variant::Null().AsString()); }, CastErr("Null", "String"), "AsString");
  ExpectOutcome([] { return Variant(Variant::Null().AsBoolean()); }, CastErr("Null", "Boolean"), "AsBoolean");
  ExpectOutcome([] { return Variant(Variant(3000000000.0).AsInteger()); }, OverflowErr("Double", "Integer"),
                "AsInteger overflow");
  ExpectOutcome([] { return Variant(Variant::FromCurrency(1e300L).AsCurrency()); },
                OverflowErr("Double", "Currency"), "FromCurrency overflow");
  ExpectOutcome(
      [] {
        Str(u"x").AsObject();
        return Variant();
      },
      CastErr("String", "Object"), "AsObject of text");
  ExpectOutcome(
      [] {
        Variant(1).AsObject();
        return Variant();
      },
      CastErr("Integer", "Object"), "AsObject of 1");

  const Variant ref = Variant::FromObject(objectA);
  EXPECT_EQ(ref.AsInt64(), static_cast<int64_t>(reinterpret_cast<intptr_t>(objectA)));
  EXPECT_TRUE(ref.AsBoolean());
  EXPECT_EQ(VarToStr(ref), IntToStr(ref.AsInt64()));
}

struct OpCase {
  Variant a;
  TVarOp op;
  Variant b;
  Outcome want;
};

const char* OpName(TVarOp op) {
  static const char* const names[] = {"+",   "-",   "*",  "/",   "div",     "mod", "shl",
                                      "shr", "and", "or", "xor", "compare", "neg", "not"};
  return op < std::size(names) ? names[op] : "cmp";
}

TEST(Variant, Arithmetic) {
  constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMaxInt64 = std::numeric_limits<int64_t>::max();
  const OpCase cases[] = {
      // Integers, with promotion where 32 bits do not hold the result.
      {1, voAdd, 2, Ok(3)},
      {kMaxInt, voAdd, 1, Ok(Variant(int64_t{2147483648}))},
      {kMinInt, voSubtract, 1, Ok(Variant(int64_t{-2147483649}))},
      {65536, voMultiply, 65536, Ok(Variant(int64_t{4294967296}))},
      {Variant(kMaxInt64), voAdd, 1, Ok(9223372036854775808.0)},
      {Variant(kMaxInt64), voMultiply, 2, Ok(18446744073709551614.0)},
      {Variant(int64_t{5}), voAdd, 1, Ok(Variant(int64_t{6}))},
      {Variant::FromSmallint(1), voAdd, Variant::FromByte(2), Ok(3)},
      {Variant::FromByte(255), voAdd, Variant::FromByte(1), Ok(256)},
      // Mixed numbers.
      {1, voAdd, 1.5, Ok(2.5)},
      {1, voAdd, 1.5L, Ok(2.5L)},
      {0.1, voAdd, 0.2, Ok(0.1 + 0.2)},
      {1e308, voMultiply, 10, Err("EOverflow", "Floating point overflow")},
      {1.7e308, voAdd, 1.7e308, Err("EOverflow", "Floating point overflow")},
      {-1.7e308, voSubtract, 1.7e308, Err("EOverflow", "Floating point overflow")},
      {Cur(1.5), voAdd, 1, Ok(Cur(2.5))},
      {Cur(1.5), voMultiply, Cur(1.5), Ok(Cur(2.25))},
      {Cur(0.0001), voMultiply, Cur(0.5), Ok(Cur(0))},  // 0.00005 rounds to even
      {Cur(0.5), voAdd, 0.25, Ok(Cur(0.75))},
      {Variant::FromCurrencyScaled(std::numeric_limits<int64_t>::max()), voAdd, Cur(1),
       Err("EVariantOverflowError", "Variant overflow")},
      // Booleans count as -1 and 0.
      {true, voAdd, 1, Ok(0)},
      {true, voMultiply, true, Ok(1)},
      // Strings: "+" of two strings concatenates, otherwise they are numbers.
      {Str(u"ab"), voAdd, Str(u"cd"), Ok(Str(u"abcd"))},
      {Str(u"1"), voAdd, 1, Ok(2.0)},
      {1, voAdd, Str(u"1"), Ok(2.0)},
      {Str(u"1.5"), voMultiply, 2, Ok(3.0)},
      {Str(u"3"), voSubtract, Str(u"1"), Ok(2.0)},
      {Str(u"a"), voAdd, 1, CastErr("String", "Double")},
      {Str(u"a"), voSubtract, Str(u"b"), CastErr("String", "Double")},
      // Null propagates; Empty takes the other side's zero.
      {Variant::Null(), voAdd, 1, Ok(Variant::Null())},
      {1, voMultiply, Variant::Null(), Ok(Variant::Null())},
      {Variant::Null(), voAdd, Str(u"a"), Ok(Variant::Null())},
      {Variant::Null(), voDivide, 0, Ok(Variant::Null())},
      {Variant(), voAdd, 5, Ok(5)},
      {5, voSubtract, Variant(), Ok(5)},
      {Variant(), voAdd, Str(u"x"), Ok(Str(u"x"))},
      {Variant(), voAdd, Variant(), Ok(Variant())},
      {Variant(), voAdd, 1.5, Ok(1.5)},
      // Dates.
      {Date(2024, 2, 28), voAdd, 1, Ok(Date(2024, 2, 29))},
      {Date(2024, 3, 1), voSubtract, Date(2024, 2, 28), Ok(Variant::FromDateTime(2))},
      {Date(2024, 2, 28), voAdd, 0.5, Ok(Variant::FromDateTime(EncodeDate(2024, 2, 28) + 0.5))},
      // "/" is always floating point.
      {7, voDivide, 2, Ok(3.5)},
      {6, voDivide, 2, Ok(3.0)},
      {Cur(5), voDivide, 2, Ok(2.5)},
      {7.0L, voDivide, 2, Ok(3.5L)},
      {Str(u"9"), voDivide, 3, Ok(3.0)},
      {1, voDivide, 0, Err("EZeroDivide", "Floating point division by zero")},
      {-1.5, voDivide, 0.0, Err("EZeroDivide", "Floating point division by zero")},
      {0, voDivide, 0, Err("EInvalidOp", "Invalid floating point operation")},
      {1e308, voDivide, 1e-10, Err("EOverflow", "Floating point overflow")},
      // div and mod truncate; floating operands are rounded first.
      {7, voIntDivide, 2, Ok(3)},
      {-7, voIntDivide, 2, Ok(-3)},
      {7, voModulus, 3, Ok(1)},
      {-7, voModulus, 3, Ok(-1)},
      {7.5, voIntDivide, 2, Ok(4)},
      {Variant(int64_t{7}), voIntDivide, 2, Ok(Variant(int64_t{3}))},
      {kMinInt, voIntDivide, -1, Ok(Variant(int64_t{2147483648}))},
      {Variant(std::numeric_limits<int64_t>::min()), voIntDivide, -1,
       Err("EIntOverflow", "Integer overflow")},
      {1, voIntDivide, 0, Err("EDivByZero", "Division by zero")},
      {1, voModulus, 0, Err("EDivByZero", "Division by zero")},
      {1.5, voModulus, 0.25, Err("EDivByZero", "Division by zero")},  // 0.25 rounds to 0
      {Str(u"x"), voIntDivide, 2, CastErr("String", "Int64")},
      // Shifts: 32-bit unless an operand is 64-bit.
      {1, voShiftLeft, 4, Ok(16)},
      {1, voShiftLeft, 31, Ok(kMinInt)},
      {1, voShiftLeft, 32, Ok(1)},
      {Variant(int64_t{1}), voShiftLeft, 40, Ok(Variant(int64_t{1} << 40))},
      {-1, voShiftRight, 28, Ok(15)},
      {Variant(int64_t{-1}), voShiftRight, 60, Ok(Variant(int64_t{15}))},
      // and / or / xor: bitwise on integers, logical on Booleans.
      {12, voAnd, 10, Ok(8)},
      {12, voOr, 3, Ok(15)},
      {12, voXor, 10, Ok(6)},
      {true, voAnd, false, Ok(false)},
      {true, voOr, false, Ok(true)},
      {true, voXor, true, Ok(false)},
      {true, voAnd, Str(u"false"), Ok(false)},
      {Str(u"True"), voOr, Str(u"False"), Ok(true)},
      {true, voAnd, Str(u"maybe"), CastErr("String", "Boolean")},
      {true, voAnd, 5, Ok(5)},
      {Variant(), voOr, true, Ok(true)},
      {Variant::Null(), voAnd, true, Ok(Variant::Null())},
      // Arrays take no part in arithmetic.
      {VarArrayOf({1}), voAdd, 1, Err("EVariantInvalidOpError", "Invalid variant operation")},
      {Variant::Null(), voAdd, VarArrayOf({1}), Err("EVariantInvalidOpError", "Invalid variant operation")},
  };
  for (const auto& c : cases)
    ExpectOutcome([&] { return VarOp(c.a, c.b, c.op); }, c.want,
                  ::testing::PrintToString(c.a) + " " + OpName(c.op) + " " + ::testing::PrintToString(c.b));

  // The operators and named forms are the same operations.
  EXPECT_EQ(VarType(Variant(1) + Variant(2)), varInteger);
  EXPECT_EQ((Variant(7) - Variant(2)).AsInteger(), 5);
  EXPECT_EQ((Variant(3) * Variant(2.5)).AsDouble(), 7.5);
  EXPECT_EQ((Variant(1) / Variant(4)).AsDouble(), 0.25);
  EXPECT_EQ(VarIntDiv(9, 2).AsInteger(), 4);
  EXPECT_EQ(VarMod(9, 2).AsInteger(), 1);
  EXPECT_EQ(VarShl(1, 3).AsInteger(), 8);
  EXPECT_EQ(VarShr(8, 3).AsInteger(), 1);
  EXPECT_EQ(VarXor(true, false).AsBoolean(), true);
}

TEST(Variant, UnaryOperations) {
  const struct {
    Variant a;
    TVarOp op;
    Outcome want;
  } cases[] = {
      {5, voNegate, Ok(-5)},
      {std::numeric_limits<int32_t>::min(), voNegate, Ok(Variant(int64_t{2147483648}))},
      {Variant(std::numeric_limits<int64_t>::min()), voNegate, Ok(9223372036854775808.0)},
      {1.5, voNegate, Ok(-1.5)},
      {Variant::FromSingle(1.5f), voNegate, Ok(Variant::FromSingle(-1.5f))},
      {Cur(2.5), voNegate, Ok(Cur(-2.5))},
      {Date(2024, 1, 1), voNegate, Ok(Variant::FromDateTime(-EncodeDate(2024, 1, 1)))},
      {true, voNegate, Ok(1)},
      {Str(u"2"), voNegate, Ok(-2.0)},
      {Variant::Null(), voNegate, Ok(Variant::Null())},
      {Variant(), voNegate, Ok(Variant())},
      {true, voNot, Ok(false)},
      {0, voNot, Ok(-1)},
      {Variant(int64_t{0}), voNot, Ok(Variant(int64_t{-1}))},
      {Str(u"false"), voNot, Ok(true)},
      {Str(u"6"), voNot, Ok(-7)},
      {Variant(), voNot, Ok(-1)},
      {Variant::Null(), voNot, Ok(Variant::Null())},
      {VarArrayOf(std::initializer_list<Variant>{}), voNot,
       Err("EVariantInvalidOpError", "Invalid variant operation")},
      {Str(u"x"), voNegate, CastErr("String", "Double")},
  };
  for (const auto& c : cases)
    ExpectOutcome([&] { return VarOp(c.a, Variant(), c.op); }, c.want,
                  std::string(OpName(c.op)) + " " + ::testing::PrintToString(c.a));
  EXPECT_EQ((-Variant(3)).AsInteger(), -3);
}

TEST(Variant, ComparisonOfMixedKinds) {
  const struct {
    Variant a, b;
    TVariantRelationship rel;
  } cases[] = {
      {1, 1.0, vrEqual},
      {1, 2, vrLessThan},
      {Variant(std::numeric_limits<int64_t>::max()), Variant(std::numeric_limits<int64_t>::max() - 1),
       vrGreaterThan},
      {Str(u"10"), 9, vrGreaterThan},       // numerically
      {Str(u"10"), Str(u"9"), vrLessThan},  // as text
      {Str(u"abc"), Str(u"abd"), vrLessThan},
      {Str(u"a"), Str(u"B"), vrGreaterThan},  // by code unit
      {Str(u"ab"), Str(u"abc"), vrLessThan},
      {Str(u"1.5"), 1.5, vrEqual},
      {true, -1, vrEqual},
      {true, false, vrGreaterThan},
      {Str(u"true"), true, vrEqual},
      {Variant(), 0, vrEqual},
      {Variant(), Str(u""), vrEqual},
      {Variant(), Str(u"a"), vrLessThan},
      {Variant(), Variant(), vrEqual},
      {Variant(), false, vrEqual},
      {Cur(1.5), 1.5, vrEqual},
      {Cur(2), 2, vrEqual},
      {Cur(2), Variant(int64_t{3}), vrLessThan},
      {Cur(0.1), 0.1, vrEqual},
      {Date(2024, 2, 29), 45351.0, vrEqual},
      {Date(2024, 2, 29), Str(u"2/29/2024"), vrEqual},
      {Date(2024, 2, 29), Date(2024, 3, 1), vrLessThan},
      {std::nan(""), std::nan(""), vrNotEqual},
      {Variant::FromObject(objectA), Variant::FromObject(objectA), vrEqual},
      {Variant::FromObject(nullptr), 0, vrEqual},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.a) + " vs " + ::testing::PrintToString(c.b));
    EXPECT_EQ(VarCompareValue(c.a, c.b), c.rel);
    EXPECT_EQ(VarCompare(c.a, c.b, voCmpEq), c.rel == vrEqual);
    EXPECT_EQ(VarCompare(c.a, c.b, voCmpNe), c.rel != vrEqual);
    EXPECT_EQ(VarCompare(c.a, c.b, voCmpLt), c.rel == vrLessThan);
    EXPECT_EQ(VarCompare(c.a, c.b, voCmpLe), c.rel == vrLessThan || c.rel == vrEqual);
    EXPECT_EQ(VarCompare(c.a, c.b, voCmpGt), c.rel == vrGreaterThan);
    EXPECT_EQ(VarCompare(c.a, c.b, voCmpGe), c.rel == vrGreaterThan || c.rel == vrEqual);
  }
  // An Extended keeps its precision against a Double.
  EXPECT_EQ(VarCompareValue(0.1L, 0.1), 0.1L < static_cast<long double>(0.1) ? vrLessThan : vrGreaterThan);
  EXPECT_TRUE(Variant::FromObject(objectA) != Variant::FromObject(objectB));
  EXPECT_TRUE(Variant::FromObject(objectA) != Variant(0));  // an object is never nil

  ExpectOutcome([] { return Variant(Str(u"abc") == Variant(1)); }, CastErr("String", "Double"),
                "text vs number");
  ExpectOutcome([] { return Variant(VarArrayOf({1}) == Variant(1)); },
                Err("EVariantInvalidOpError", "Invalid variant operation"), "array vs number");
  EXPECT_TRUE(VarOp(2, 1, voCmpGt).AsBoolean());
  EXPECT_EQ(VarType(VarOp(2, 1, voCmpGt)), varBoolean);
}

TEST(Variant, ComparisonWithNullFollowsTheRules) {
  RulesGuard guard;
  const Variant null = Variant::Null();
  // Loose (the default): Null equals only Null and is below everything else.
  EXPECT_TRUE(null == null);
  EXPECT_FALSE(null != null);
  EXPECT_FALSE(null == Variant(0));
  EXPECT_TRUE(null != Variant());
  EXPECT_TRUE(null < Variant(-3));
  EXPECT_FALSE(null > Variant(-3));
  EXPECT_TRUE(Variant(Str(u"")) > null);
  EXPECT_TRUE(null <= null);
  EXPECT_EQ(VarCompareValue(null, 1), vrLessThan);

  NullEqualityRule = ncrStrict;
  NullMagnitudeRule = ncrStrict;
  EXPECT_FALSE(null == null);
  EXPECT_FALSE(null != Variant(1));
  EXPECT_FALSE(null < Variant(1));
  EXPECT_FALSE(Variant(1) >= null);

  NullEqualityRule = ncrError;
  NullMagnitudeRule = ncrError;
  const Outcome invalidNull = Err("EVariantInvalidNullOpError", "Invalid NULL variant operation");
  ExpectOutcome([&] { return Variant(null == Variant(1)); }, invalidNull, "= with error rule");
  ExpectOutcome([&] { return Variant(Variant(1) < null); }, invalidNull, "< with error rule");
  EXPECT_TRUE(Variant(1) == Variant(1));
}

TEST(Variant, StringCharactersCountFromOne) {
  Variant s = Str(u"abc");
  EXPECT_EQ(VarStrGetChar(s, 2).StringRef(), u"b");
  EXPECT_EQ(VarType(VarStrGetChar(s, 2)), varString);
  const Variant before = s;
  VarStrSetChar(s, 2, Str(u"XY"));
  EXPECT_EQ(s.StringRef(), u"aXc");
  EXPECT_EQ(before.StringRef(), u"abc");
  Variant n = 123;
  VarStrSetChar(n, 3, u'9');
  EXPECT_EQ(n.StringRef(), u"129");
  const Outcome range = Err("ERangeError", "Range check error");
  ExpectOutcome([&] { return VarStrGetChar(s, 0); }, range, "index 0");
  ExpectOutcome([&] { return VarStrGetChar(s, 4); }, range, "index past the end");
  ExpectOutcome(
      [&] {
        VarStrSetChar(s, 4, Str(u"x"));
        return s;
      },
      range, "write past the end");
  ExpectOutcome([] { return VarStrGetChar(Variant::Null(), 1); }, CastErr("Null", "String"), "Null text");
}

TEST(Variant, ArraysWithBounds) {
  Variant a = VarArrayCreate({1, 3}, varVariant);
  EXPECT_EQ(VarArrayDimCount(a), 1);
  EXPECT_EQ(VarArrayLowBound(a, 1), 1);
  EXPECT_EQ(VarArrayHighBound(a, 1), 3);
  EXPECT_TRUE(a.GetElement({2}).IsEmpty());
  a.PutElement({1}, Str(u"first"));
  a.PutElement({3}, 3.5);
  EXPECT_EQ(VarToStr(a.GetElement({1})), u"first");
  EXPECT_EQ(a.GetElement({3}).AsDouble(), 3.5);

  const Outcome badIndex = Err("EVariantBadIndexError", "Variant or safe array index out of bounds");
  ExpectOutcome([&] { return a.GetElement({0}); }, badIndex, "below the low bound");
  ExpectOutcome([&] { return a.GetElement({4}); }, badIndex, "above the high bound");
  ExpectOutcome([&] { return a.GetElement({1, 1}); }, badIndex, "too many indexes");
  ExpectOutcome(
      [&] {
        a.PutElement({-2147483647 - 1}, 1);
        return Variant();
      },
      badIndex, "put out of range");
  ExpectOutcome([&] { return Variant(VarArrayHighBound(a, 2)); }, badIndex, "missing dimension");

  // Two dimensions with negative bounds: every cell is its own.
  Variant m = VarArrayCreate({-1, 1, 5, 6}, varVariant);
  EXPECT_EQ(VarArrayDimCount(m), 2);
  EXPECT_EQ(VarArrayLowBound(m, 2), 5);
  EXPECT_EQ(VarArrayHighBound(m, 2), 6);
  for (int i = -1; i <= 1; ++i)
    for (int j = 5; j <= 6; ++j) m.PutElement({i, j}, i * 10 + j);
  for (int i = -1; i <= 1; ++i)
    for (int j = 5; j <= 6; ++j) EXPECT_EQ(m.GetElement({i, j}).AsInteger(), i * 10 + j);
  ExpectOutcome([&] { return m.GetElement({0}); }, badIndex, "too few indexes");
  ExpectOutcome([&] { return m.GetElement({2, 5}); }, badIndex, "first index out of range");

  // Typed arrays hold their element type.
  Variant ints = VarArrayCreate({0, 1}, varInteger);
  EXPECT_EQ(VarType(ints.GetElement({0})), varInteger);
  EXPECT_EQ(ints.GetElement({0}).AsInteger(), 0);
  ints.PutElement({1}, Str(u"42"));
  EXPECT_EQ(VarType(ints.GetElement({1})), varInteger);
  EXPECT_EQ(ints.GetElement({1}).AsInteger(), 42);
  ExpectOutcome(
      [&] {
        ints.PutElement({0}, Str(u"x"));
        return Variant();
      },
      CastErr("String", "Integer"), "typed element");
  EXPECT_EQ(VarToStr(VarArrayCreate({0, 0}, varOleStr).GetElement({0})), u"");

  // An empty dimension is allowed.
  Variant none = VarArrayCreate({0, -1}, varVariant);
  EXPECT_EQ(VarArrayHighBound(none, 1), -1);
  ExpectOutcome([&] { return none.GetElement({0}); }, badIndex, "empty array");

  // The script form takes its bounds from a variant array.
  Variant s = VarArrayCreate(VarArrayOf({2, 4}), varVariant);
  EXPECT_EQ(VarArrayLowBound(s, 1), 2);
  EXPECT_EQ(VarArrayHighBound(s, 1), 4);

  Variant of = VarArrayOf({1, Str(u"a"), Variant::Null()});
  EXPECT_EQ(VarArrayLowBound(of, 1), 0);
  EXPECT_EQ(VarArrayHighBound(of, 1), 2);
  EXPECT_TRUE(of.GetElement({2}).IsNull());
}

TEST(Variant, ArrayCreationAndArgumentErrors) {
  const Outcome createError = Err("EVariantArrayCreateError", "Error creating variant or safe array");
  const struct {
    std::vector<int32_t> bounds;
    TVarType type;
  } bad[] = {
      {{3, 1}, varVariant},  // high below low - 1
      {{0}, varVariant},     // odd count
      {{}, varVariant},      // no dimension
      {{0, 1}, varNull},     // not an element type
      {{0, 1}, varArray | varVariant},
      {{0, 2000000000}, varVariant},  // too large
      {{0, 4095, 0, 4095, 0, 4095}, varByte},
  };
  for (const auto& c : bad)
    ExpectOutcome([&] { return VarArrayCreate(std::span<const int32_t>(c.bounds), c.type); }, createError,
                  "bounds of " + std::to_string(c.bounds.size()) + " values, type " + VarTypeAsText(c.type));
  ExpectOutcome([] { return VarArrayCreate(Variant(5), varVariant); }, createError, "bounds not an array");

  const Outcome invalidArg = Err("EVariantInvalidArgError", "Invalid argument");
  EXPECT_EQ(VarArrayDimCount(Variant(5)), 0);
  ExpectOutcome([] { return Variant(VarArrayLowBound(Variant(5), 1)); }, invalidArg, "low bound of a number");
  ExpectOutcome([] { return Variant(5).GetElement({0}); }, invalidArg, "element of a number");
  ExpectOutcome(
      [] {
        Variant v(Str(u"s"));
        VarArrayRedim(v, 3);
        return v;
      },
      invalidArg, "redim of a string");
}

TEST(Variant, ArraysAreValues) {
  Variant a = VarArrayOf({1, 2, 3});
  Variant b = a;
  b.PutElement({0}, 100);
  EXPECT_EQ(a.GetElement({0}).AsInteger(), 1);
  EXPECT_EQ(b.GetElement({0}).AsInteger(), 100);

  // An array stored into itself keeps the old contents.
  a.PutElement({1}, a);
  EXPECT_EQ(VarArrayHighBound(a.GetElement({1}), 1), 2);
  EXPECT_EQ(a.GetElement({1}).GetElement({1}).AsInteger(), 2);

  // Nesting is bounded, so copies and destruction stay shallow in recursion.
  Variant nest = VarArrayOf({0});
  bool stopped = false;
  for (int i = 0; i < 100000 && !stopped; ++i) {
    try {
      nest.PutElement({0}, nest);
    } catch (const EVariantInvalidOpError&) {
      stopped = true;
    }
  }
  EXPECT_TRUE(stopped);

  Variant r = VarArrayOf({1, 2, 3});
  Variant before = r;
  VarArrayRedim(r, 4);
  EXPECT_EQ(VarArrayHighBound(r, 1), 4);
  EXPECT_EQ(r.GetElement({2}).AsInteger(), 3);
  EXPECT_TRUE(r.GetElement({4}).IsEmpty());
  EXPECT_EQ(VarArrayHighBound(before, 1), 2);
  VarArrayRedim(r, 0);
  EXPECT_EQ(VarArrayHighBound(r, 1), 0);
  EXPECT_EQ(r.GetElement({0}).AsInteger(), 1);

  Variant grid = VarArrayCreate({0, 1, 0, 1}, varInteger);
  grid.PutElement({1, 1}, 11);
  VarArrayRedim(grid, 2);  // the last dimension grows, the cells stay
  EXPECT_EQ(grid.GetElement({1, 1}).AsInteger(), 11);
  EXPECT_EQ(grid.GetElement({1, 2}).AsInteger(), 0);
}

TEST(Variant, CopiesShareAndMovesEmpty) {
  const Variant s(WideString(200, u'x'));
  Variant copy = s;
  EXPECT_EQ(&copy.StringRef(), &s.StringRef());
  Variant moved = std::move(copy);
  EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from variant is Empty
  EXPECT_EQ(moved.StringRef(), s.StringRef());
  moved = Variant(2.5L);
  EXPECT_EQ(moved.AsExtended(), 2.5L);
  const Variant& alias = moved;
  moved = alias;  // self-assignment keeps the value
  EXPECT_EQ(moved.AsExtended(), 2.5L);
  EXPECT_EQ(Variant(1).StringRef(), u"");
}

}  // namespace
}  // namespace pagewright
