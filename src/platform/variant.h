// The runtime's Variant: the value type of expressions, fields and script variables, with its
// conversions, arithmetic, comparisons and variant arrays.
//
// Value semantics: copying a Variant copies the value. Strings and arrays live in reference-counted
// blocks, so copies are cheap; an array is copied on the first write to a shared one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "platform/format.h"
#include "platform/types.h"

namespace pagewright {

// Root of the host objects that scripts reach through variants (platform/component.h).
class TPersistent;

// Type codes as VarType reports them.
using TVarType = uint16_t;
inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varDispatch = 0x0009;
inline constexpr TVarType varError = 0x000A;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varUnknown = 0x000D;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varStrArg = 0x0048;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varAny = 0x0101;
inline constexpr TVarType varUString = 0x0102;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;
inline constexpr TVarType varByRef = 0x4000;

// How a variant holds its value. Several type codes share a kind: the integer kind covers
// Smallint, ShortInt, Byte, Word, LongWord, Integer and Int64; the float kind Single and Double;
// the string kind String, OleStr and UnicodeString (all UTF-16).
enum TVarKind : uint8_t {
  vkEmpty,
  vkNull,
  vkInteger,
  vkFloat,
  vkExtended,  // 80-bit; reports varDouble, the nearest code the type codes have
  vkCurrency,  // 64-bit integer scaled by 10000
  vkDate,      // days since 30 December 1899 as a double
  vkBoolean,
  vkString,
  // Reference to a TPersistent. It reports varInteger, as references travel in integers, but
  // keeps the full pointer: a 32-bit integer cannot hold a 64-bit address. In arithmetic and
  // comparisons with numbers it is its address, so it never equals the integer 0 (nil).
  vkObject,
  vkArray,
};

// What a comparison involving Null gives (process-wide rules below).
enum TNullCompareRule : uint8_t { ncrError, ncrStrict, ncrLoose };
// Equality (=, <>) with Null: loose makes Null equal only to Null; strict makes every such
// comparison false; error raises EVariantInvalidNullOpError. Default loose.
extern TNullCompareRule NullEqualityRule;
// Magnitude (<, <=, >, >=) with Null: loose treats Null as less than everything else and equal to
// Null; strict makes it false; error raises. Default loose.
extern TNullCompareRule NullMagnitudeRule;

enum TVariantRelationship : uint8_t { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Operation codes of VarOp and VarCompare (prefix vo: the script engine's operator codes are op...).
enum TVarOp : uint8_t {
  voAdd,
  voSubtract,
  voMultiply,
  voDivide,
  voIntDivide,
  voModulus,
  voShiftLeft,
  voShiftRight,
  voAnd,
  voOr,
  voXor,
  voCompare,
  voNegate,
  voNot,
  voCmpEq,
  voCmpNe,
  voCmpLt,
  voCmpLe,
  voCmpGt,
  voCmpGe,
};

class Variant {
 public:
  // Empty (Unassigned).
  Variant() noexcept : i_(0) {}
  Variant(const Variant& o) noexcept;
  Variant(Variant&& o) noexcept;
  Variant& operator=(const Variant& o) noexcept;
  Variant& operator=(Variant&& o) noexcept;
  ~Variant() { Release(); }

  // The natural kinds of C++ values.
  Variant(int v) noexcept : i_(v), vt_(varInteger), kind_(vkInteger) {}
  Variant(int64_t v) noexcept : i_(v), vt_(varInt64), kind_(vkInteger) {}
  Variant(uint32_t v) noexcept : i_(v), vt_(varLongWord), kind_(vkInteger) {}
  Variant(double v) noexcept : d_(v), vt_(varDouble), kind_(vkFloat) {}
  Variant(long double v) noexcept : e_(v), vt_(varDouble), kind_(vkExtended) {}
  Variant(bool v) noexcept : i_(v ? 1 : 0), vt_(varBoolean), kind_(vkBoolean) {}
  Variant(const WideString& s);
  Variant(WideString&& s);
  Variant(const char16_t* s);
  Variant(std::u16string_view s);
  // A character is a one-character string, as script Char values are.
  Variant(char16_t c);
  // Pointers would silently become Booleans; objects go through FromObject.
  Variant(const char*) = delete;
  Variant(char) = delete;
  Variant(std::nullptr_t) = delete;
  template <typename T>
  Variant(T*) = delete;

  static Variant Null() noexcept;
  static Variant Unassigned() noexcept { return Variant(); }
  static Variant FromSmallint(int16_t v) noexcept { return FromIntCode(v, varSmallint); }
  static Variant FromShortInt(int8_t v) noexcept { return FromIntCode(v, varShortInt); }
  static Variant FromByte(uint8_t v) noexcept { return FromIntCode(v, varByte); }
  static Variant FromWord(uint16_t v) noexcept { return FromIntCode(v, varWord); }
  static Variant FromLongWord(uint32_t v) noexcept { return FromIntCode(v, varLongWord); }
  static Variant FromInteger(int32_t v) noexcept { return FromIntCode(v, varInteger); }
  static Variant FromInt64(int64_t v) noexcept { return FromIntCode(v, varInt64); }
  static Variant FromSingle(float v) noexcept;
  static Variant FromDouble(double v) noexcept { return Variant(v); }
  static Variant FromExtended(long double v) noexcept { return Variant(v); }
  // Currency from an amount: rounded to 4 decimals (halves to even); EVariantOverflowError when
  // it does not fit.
  static Variant FromCurrency(long double amount);
  // Currency from its scaled 64-bit form (amount * 10000).
  static Variant FromCurrencyScaled(int64_t scaled) noexcept;
  static Variant FromDateTime(TDateTime dt) noexcept;
  static Variant FromBoolean(bool v) noexcept { return Variant(v); }
  // A string reporting the given string code (varString, varOleStr or varUString).
  static Variant FromString(WideString s, TVarType code = varString);
  // An object reference; a null reference is the integer 0, which is how scripts write nil.
  static Variant FromObject(TPersistent* obj) noexcept;

  TVarKind Kind() const noexcept { return kind_; }
  TVarType VarType() const noexcept;
  bool IsEmpty() const noexcept { return kind_ == vkEmpty; }
  bool IsNull() const noexcept { return kind_ == vkNull; }
  bool IsArray() const noexcept { return kind_ == vkArray; }
  bool IsString() const noexcept { return kind_ == vkString; }
  bool IsObject() const noexcept { return kind_ == vkObject; }

  // Conversions by the runtime's rules. Text that does not convert, Null and arrays raise
  // EVariantTypeCastError; values out of the target's range raise EVariantOverflowError.
  // Floating point becomes integer by rounding halves to even; Booleans become -1 and 0; strings
  // "True"/"False" (any case) become Booleans; Empty gives 0, "" or False. An object reference
  // converts as its address (so AsInteger overflows where the address needs 64 bits).
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  Extended AsExtended() const;
  bool AsBoolean() const;
  // The cast to string: Null raises (VarToStr gives "" instead).
  WideString AsString() const;
  TDateTime AsDateTime() const;
  // Currency as an amount with 4 decimals, and in its scaled form.
  Extended AsCurrency() const;
  int64_t AsCurrencyScaled() const;
  // The referenced object; Empty, Null and the integer 0 give nullptr, anything else raises.
  TPersistent* AsObject() const;

  // The held text without a copy; only for the string kind (else an empty string).
  const WideString& StringRef() const noexcept;

  // Variant-array elements, one index per dimension. EVariantBadIndexError for an index out of
  // bounds or a wrong number of indexes, EVariantInvalidArgError when this is not an array.
  Variant GetElement(std::span<const int32_t> indexes) const;
  Variant GetElement(std::initializer_list<int32_t> indexes) const {
    return GetElement(std::span<const int32_t>(indexes.begin(), indexes.size()));
  }
  // Stores a copy of value (converted to the element type of a typed array).
  void PutElement(std::span<const int32_t> indexes, const Variant& value);
  void PutElement(std::initializer_list<int32_t> indexes, const Variant& value) {
    PutElement(std::span<const int32_t>(indexes.begin(), indexes.size()), value);
  }

 private:
  friend struct VariantAccess;
  struct StrRep;
  struct ArrRep;

  static Variant FromIntCode(int64_t v, TVarType code) noexcept {
    Variant r;
    r.i_ = v;
    r.vt_ = code;
    r.kind_ = vkInteger;
    return r;
  }
  void Release() noexcept;
  void AddRef() const noexcept;

  union {
    int64_t i_;  // integer kinds, currency (scaled), Boolean (0 or 1)
    double d_;   // float, date
    long double e_;
    StrRep* s_;
    ArrRep* a_;
    TPersistent* o_;
  };
  TVarType vt_ = varEmpty;  // the code VarType reports (element code for arrays, without varArray)
  TVarKind kind_ = vkEmpty;
};

// Queries.
inline TVarType VarType(const Variant& v) noexcept {
  return v.VarType();
}
inline bool VarIsNull(const Variant& v) noexcept {
  return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) noexcept {
  return v.IsEmpty();
}
// Empty or Null.
inline bool VarIsClear(const Variant& v) noexcept {
  return v.IsEmpty() || v.IsNull();
}
inline bool VarIsArray(const Variant& v) noexcept {
  return v.IsArray();
}
inline bool VarIsStr(const Variant& v) noexcept {
  return v.IsString();
}
// Integer kinds (objects included, as they report an integer code).
bool VarIsOrdinal(const Variant& v) noexcept;
// Single, Double, Extended, Currency and Date.
bool VarIsFloat(const Variant& v) noexcept;
bool VarIsNumeric(const Variant& v) noexcept;
// The name of a type code as messages show it: "Integer", "Double", "String", "Array Variant" ...
std::string VarTypeAsText(TVarType vt);

// The text of a variant without a display format: Empty and Null give "", integers decimal,
// floating point by FloatToStr, currency by CurrToStr, dates by DateTimeToStr, Booleans
// "True"/"False", strings unchanged. Arrays raise EVariantTypeCastError.
WideString VarToStr(const Variant& v);
// The same, with `def` for Null.
WideString VarToStrDef(const Variant& v, const WideString& def);
// The value converted to another type code (a string code keeps that code). Null converts only
// to Null and Empty; an unknown code raises EVariantBadVarTypeError.
Variant VarAsType(const Variant& v, TVarType vt);

// Arithmetic and logic. Null in an operand gives Null; Empty takes the zero of the other operand's
// type (two Empty operands give Empty). "+" of two strings concatenates; otherwise strings take
// part as numbers. Integer results that leave 32 bits become Int64, Int64 results that leave
// 64 bits become Double. "/" is always floating point. Booleans count as -1 and 0 in arithmetic;
// and/or/xor/not are logical on Booleans and bitwise on integers.
Variant VarOp(const Variant& a, const Variant& b, TVarOp op);
Variant VarAdd(const Variant& a, const Variant& b);
Variant VarSub(const Variant& a, const Variant& b);
Variant VarMul(const Variant& a, const Variant& b);
Variant VarDiv(const Variant& a, const Variant& b);     // "/"
Variant VarIntDiv(const Variant& a, const Variant& b);  // "div"
Variant VarMod(const Variant& a, const Variant& b);
Variant VarAnd(const Variant& a, const Variant& b);
Variant VarOr(const Variant& a, const Variant& b);
Variant VarXor(const Variant& a, const Variant& b);
Variant VarShl(const Variant& a, const Variant& b);
Variant VarShr(const Variant& a, const Variant& b);
Variant VarNot(const Variant& a);
Variant VarNeg(const Variant& a);

// Comparison with op one of voCmpEq ... voCmpGe, following the Null rules.
bool VarCompare(const Variant& a, const Variant& b, TVarOp op);
// Three-way comparison of two values. Strings compare by UTF-16 code units; a string against a
// number or a date converts to that; Null is less than everything and equal to Null. vrNotEqual
// when the values have no order (NaN).
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);

inline Variant operator+(const Variant& a, const Variant& b) {
  return VarAdd(a, b);
}
inline Variant operator-(const Variant& a, const Variant& b) {
  return VarSub(a, b);
}
inline Variant operator*(const Variant& a, const Variant& b) {
  return VarMul(a, b);
}
inline Variant operator/(const Variant& a, const Variant& b) {
  return VarDiv(a, b);
}
inline Variant operator-(const Variant& a) {
  return VarNeg(a);
}
inline bool operator==(const Variant& a, const Variant& b) {
  return VarCompare(a, b, voCmpEq);
}
inline bool operator!=(const Variant& a, const Variant& b) {
  return VarCompare(a, b, voCmpNe);
}
inline bool operator<(const Variant& a, const Variant& b) {
  return VarCompare(a, b, voCmpLt);
}
inline bool operator<=(const Variant& a, const Variant& b) {
  return VarCompare(a, b, voCmpLe);
}
inline bool operator>(const Variant& a, const Variant& b) {
  return VarCompare(a, b, voCmpGt);
}
inline bool operator>=(const Variant& a, const Variant& b) {
  return VarCompare(a, b, voCmpGe);
}

// Characters of a value's text, counted from 1 (script string indexing). Reading gives a
// one-character string; writing replaces that character with the first character of `ch`'s text
// (character 0 for empty text) and leaves a string. An index outside the text raises ERangeError.
Variant VarStrGetChar(const Variant& v, int32_t index);
void VarStrSetChar(Variant& v, int32_t index, const Variant& ch);

// Variant arrays. Bounds are (low, high) pairs, one per dimension; high may be low - 1 for an
// empty dimension. Elements start as Empty for varVariant, else as the zero of the element type.
// Bad bounds or element types raise EVariantArrayCreateError.
Variant VarArrayCreate(std::span<const int32_t> bounds, TVarType elementType);
Variant VarArrayCreate(std::initializer_list<int32_t> bounds, TVarType elementType);
// The script form: `bounds` is a variant array of the bound pairs.
Variant VarArrayCreate(const Variant& bounds, TVarType elementType);
// A one-dimensional array of variants 0..n-1 holding copies of the values.
Variant VarArrayOf(std::span<const Variant> values);
Variant VarArrayOf(std::initializer_list<Variant> values);
// 0 for a value that is not an array.
int VarArrayDimCount(const Variant& a) noexcept;
// Dimensions count from 1. EVariantInvalidArgError for a non-array, EVariantBadIndexError for a
// dimension that does not exist.
int32_t VarArrayLowBound(const Variant& a, int dim);
int32_t VarArrayHighBound(const Variant& a, int dim);
Variant VarArrayGet(const Variant& a, std::span<const int32_t> indexes);
void VarArrayPut(Variant& a, const Variant& value, std::span<const int32_t> indexes);
// Gives the last dimension a new high bound, keeping the elements that remain.
void VarArrayRedim(Variant& a, int32_t highBound);

}  // namespace pagewright
