#include "platform/variant.h"

#include <cmath>
#include <functional>
#include <utility>

#include "platform/exceptions.h"
#include "platform/variant_internal.h"

namespace pagewright {

using namespace variant_internal;

// ---------------------------------------------------------------------------------------------
// Arithmetic

namespace {

// Empty takes the class of the other operand; Booleans count as integers, objects as Int64.
Dom Effective(Dom d, Dom other) {
  if (d == dEmpty) d = other;
  if (d == dBool) return dInt;
  if (d == dObj) return dInt64;
  return d;
}

Variant IntResult(int64_t v) {
  return FitsInt32(v) ? Variant(int32_t(v)) : Variant(v);
}

template <typename F>
void CheckFloatResult(F r, F x, F y) {
  if (std::isfinite(r)) return;
  if (std::isinf(r) && std::isfinite(x) && std::isfinite(y)) throw EOverflow("Floating point overflow");
  if (std::isnan(r) && !std::isnan(x) && !std::isnan(y)) throw EInvalidOp("Invalid floating point operation");
}

template <typename F>
F FloatArith(F x, F y, TVarOp op) {
  F r = 0;
  switch (op) {
    case voAdd:
      r = x + y;
      break;
    case voSubtract:
      r = x - y;
      break;
    default:
      r = x * y;
      break;
  }
  CheckFloatResult(r, x, y);
  return r;
}

// Rounds a 128-bit quotient of currency multiplication, halves to even.
int64_t CurrencyMul(int64_t a, int64_t b) {
  const __int128 p = static_cast<__int128>(a) * b;
  __int128 q = p / kCurrencyScale;
  const __int128 r = p % kCurrencyScale;
  const __int128 twice = 2 * (r < 0 ? -r : r);
  if (twice > kCurrencyScale || (twice == kCurrencyScale && (q & 1))) q += (r < 0 ? -1 : 1);
  if (q < INT64_MIN || q > INT64_MAX) VariantOverflow();
  return static_cast<int64_t>(q);
}

Variant Arith(const Variant& a, const Variant& b, TVarOp op, Dom ea, Dom eb) {
  if (ea == dDate || eb == dDate) {
    const double x = ToDate(a), y = ToDate(b);
    return Variant::FromDateTime(FloatArith<double>(x, y, op));
  }
  if (ea == dCur || eb == dCur) {
    const int64_t x = ToCurrencyScaled(a), y = ToCurrencyScaled(b);
    int64_t r;
    if (op == voMultiply) return Variant::FromCurrencyScaled(CurrencyMul(x, y));
    const bool overflow = op == voAdd ? __builtin_add_overflow(x, y, &r) : __builtin_sub_overflow(x, y, &r);
    if (overflow) VariantOverflow();
    return Variant::FromCurrencyScaled(r);
  }
  if (ea == dExt || eb == dExt)
    return Variant(FloatArith<long double>(ToExtendedAs(a, varDouble), ToExtendedAs(b, varDouble), op));
  if (ea == dFloat || eb == dFloat || ea == dStr || eb == dStr)
    return Variant(FloatArith<double>(ToDoubleAs(a, varDouble), ToDoubleAs(b, varDouble), op));
  const int64_t x = ToInt64In(a, varInt64, INT64_MIN, INT64_MAX);
  const int64_t y = ToInt64In(b, varInt64, INT64_MIN, INT64_MAX);
  int64_t r;
  bool overflow;
  switch (op) {
    case voAdd:
      overflow = __builtin_add_overflow(x, y, &r);
      break;
    case voSubtract:
      overflow = __builtin_sub_overflow(x, y, &r);
      break;
    default:
      overflow = __builtin_mul_overflow(x, y, &r);
      break;
  }
  if (overflow) {
    // Int64 results beyond 64 bits continue in floating point.
    return Variant(FloatArith<double>(static_cast<double>(x), static_cast<double>(y), op));
  }
  if (ea == dInt64 || eb == dInt64) return Variant(r);
  return IntResult(r);
}

Variant FloatDivide(const Variant& a, const Variant& b, Dom ea, Dom eb) {
  long double x, y;
  const bool ext = ea == dExt || eb == dExt;
  if (ext) {
    x = ToExtendedAs(a, varDouble);
    y = ToExtendedAs(b, varDouble);
  } else {
    x = ToDoubleAs(a, varDouble);
    y = ToDoubleAs(b, varDouble);
  }
  if (y == 0) {
    if (x == 0 || std::isnan(x)) throw EInvalidOp("Invalid floating point operation");
    throw EZeroDivide("Floating point division by zero");
  }
  if (ext) {
    const long double r = x / y;
    CheckFloatResult(r, x, y);
    return Variant(r);
  }
  const double dx = static_cast<double>(x), dy = static_cast<double>(y);
  const double r = dx / dy;
  CheckFloatResult(r, dx, dy);
  return Variant(r);
}

// div, mod, shl, shr and bitwise and/or/xor: on integers, 32-bit unless an operand is 64-bit.
Variant IntegerOp(const Variant& a, const Variant& b, TVarOp op, Dom ea, Dom eb) {
  const int64_t x = ToInt64In(a, varInt64, INT64_MIN, INT64_MAX);
  const int64_t y = ToInt64In(b, varInt64, INT64_MIN, INT64_MAX);
  const bool wide = ea == dInt64 || eb == dInt64 || !FitsInt32(x) || !FitsInt32(y);
  int64_t r = 0;
  switch (op) {
    case voIntDivide:
    case voModulus:
      if (y == 0) throw EDivByZero("Division by zero");
      if (x == INT64_MIN && y == -1) {
        if (op == voModulus) {
          r = 0;
          break;
        }
        throw EIntOverflow("Integer overflow");
      }
      r = op == voIntDivide ? x / y : x % y;
      break;
    case voShiftLeft:
      r = wide ? int64_t(uint64_t(x) << (y & 63)) : int64_t(int32_t(uint32_t(x) << (y & 31)));
      break;
    case voShiftRight:
      r = wide ? int64_t(uint64_t(x) >> (y & 63)) : int64_t(int32_t(uint32_t(x) >> (y & 31)));
      break;
    case voAnd:
      r = x & y;
      break;
    case voOr:
      r = x | y;
      break;
    default:
      r = x ^ y;
      break;
  }
  if (wide) return Variant(r);
  return IntResult(r);
}

bool IsBoolString(const Variant& v) {
  bool b;
  return v.IsString() && BoolText(v.StringRef(), b);
}

Variant LogicOp(const Variant& a, const Variant& b, TVarOp op, Dom da, Dom db) {
  const bool selfA = da == dBool || IsBoolString(a);
  const bool selfB = db == dBool || IsBoolString(b);
  const bool logicalA = selfA || da == dEmpty || (da == dStr && db == dBool);
  const bool logicalB = selfB || db == dEmpty || (db == dStr && da == dBool);
  if ((selfA || selfB) && logicalA && logicalB) {
    const bool x = ToBool(a), y = ToBool(b);
    switch (op) {
      case voAnd:
        return Variant(x && y);
      case voOr:
        return Variant(x || y);
      default:
        return Variant(x != y);
    }
  }
  return IntegerOp(a, b, op, Effective(da, db), Effective(db, da));
}

}  // namespace

Variant VarOp(const Variant& a, const Variant& b, TVarOp op) {
  switch (op) {
    case voNegate:
      return VarNeg(a);
    case voNot:
      return VarNot(a);
    case voCmpEq:
    case voCmpNe:
    case voCmpLt:
    case voCmpLe:
    case voCmpGt:
    case voCmpGe:
      return Variant(VarCompare(a, b, op));
    case voCompare:
      InvalidOp();
    default:
      break;
  }
  if (op == voAdd) {
    // The common cases of two 32-bit integers and two doubles, without the general dispatch.
    if (a.Kind() == vkInteger && b.Kind() == vkInteger && a.VarType() == varInteger &&
        b.VarType() == varInteger)
      return IntResult(VA::Int(a) + VA::Int(b));
    if (a.Kind() == vkFloat && b.Kind() == vkFloat && a.VarType() == varDouble && b.VarType() == varDouble)
      return Variant(FloatArith<double>(VA::Dbl(a), VA::Dbl(b), voAdd));
  }
  const Dom da = VA::DomOf(a), db = VA::DomOf(b);
  if (da == dArr || db == dArr) InvalidOp();
  if (da == dNull || db == dNull) return Variant::Null();
  if (da == dEmpty && db == dEmpty) return Variant();
  if (op == voAdd) {
    if (da == dStr && db == dStr) {
      WideString s;
      s.reserve(a.StringRef().size() + b.StringRef().size());
      s += a.StringRef();
      s += b.StringRef();
      return Variant::FromString(std::move(s), a.VarType());
    }
    if (da == dStr && db == dEmpty) return a;
    if (da == dEmpty && db == dStr) return b;
  }
  const Dom ea = Effective(da, db), eb = Effective(db, da);
  switch (op) {
    case voAdd:
    case voSubtract:
    case voMultiply:
      return Arith(a, b, op, ea, eb);
    case voDivide:
      return FloatDivide(a, b, ea, eb);
    case voIntDivide:
    case voModulus:
    case voShiftLeft:
    case voShiftRight:
      return IntegerOp(a, b, op, ea, eb);
    case voAnd:
    case voOr:
    case voXor:
      return LogicOp(a, b, op, da, db);
    default:
      InvalidOp();
  }
}

Variant VarAdd(const Variant& a, const Variant& b) {
  return VarOp(a, b, voAdd);
}
Variant VarSub(const Variant& a, const Variant& b) {
  return VarOp(a, b, voSubtract);
}
Variant VarMul(const Variant& a, const Variant& b) {
  return VarOp(a, b, voMultiply);
}
Variant VarDiv(const Variant& a, const Variant& b) {
  return VarOp(a, b, voDivide);
}
Variant VarIntDiv(const Variant& a, const Variant& b) {
  return VarOp(a, b, voIntDivide);
}
Variant VarMod(const Variant& a, const Variant& b) {
  return VarOp(a, b, voModulus);
}
Variant VarAnd(const Variant& a, const Variant& b) {
  return VarOp(a, b, voAnd);
}
Variant VarOr(const Variant& a, const Variant& b) {
  return VarOp(a, b, voOr);
}
Variant VarXor(const Variant& a, const Variant& b) {
  return VarOp(a, b, voXor);
}
Variant VarShl(const Variant& a, const Variant& b) {
  return VarOp(a, b, voShiftLeft);
}
Variant VarShr(const Variant& a, const Variant& b) {
  return VarOp(a, b, voShiftRight);
}

Variant VarNot(const Variant& a) {
  switch (VA::DomOf(a)) {
    case dNull:
      return Variant::Null();
    case dArr:
      InvalidOp();
    case dBool:
      return Variant(VA::Int(a) == 0);
    case dStr:
      if (IsBoolString(a)) return Variant(!ToBool(a));
      break;
    default:
      break;
  }
  const int64_t x = ToInt64In(a, varInt64, INT64_MIN, INT64_MAX);
  const Dom d = VA::DomOf(a);
  if (d == dInt64 || d == dObj || !FitsInt32(x)) return Variant(~x);
  return Variant(int32_t(~x));
}

Variant VarNeg(const Variant& a) {
  switch (VA::DomOf(a)) {
    case dEmpty:
      return Variant();
    case dNull:
      return Variant::Null();
    case dArr:
      InvalidOp();
    case dInt:
    case dBool:
      return IntResult(-ToInt64In(a, varInteger, INT64_MIN, INT64_MAX));
    case dInt64:
    case dObj: {
      const int64_t x = ToInt64In(a, varInt64, INT64_MIN, INT64_MAX);
      if (x == INT64_MIN) return Variant(-static_cast<double>(x));
      return Variant(-x);
    }
    case dFloat:
      return VA::MakeDouble(-VA::Dbl(a), a.VarType(), vkFloat);
    case dExt:
      return Variant(-VA::Ext(a));
    case dDate:
      return Variant::FromDateTime(-VA::Dbl(a));
    case dCur:
      if (VA::Int(a) == INT64_MIN) VariantOverflow();
      return Variant::FromCurrencyScaled(-VA::Int(a));
    case dStr:
      return Variant(-ToDoubleAs(a, varDouble));
  }
  return Variant();
}

// ---------------------------------------------------------------------------------------------
// Comparison

namespace {

template <typename T>
TVariantRelationship Rel(const T& x, const T& y) {
  if (x < y) return vrLessThan;
  if (y < x) return vrGreaterThan;
  if (x == y) return vrEqual;
  return vrNotEqual;
}

bool IntegerLike(Dom d) {
  return d == dInt || d == dInt64 || d == dBool || d == dObj;
}

TVariantRelationship CompareNonNull(const Variant& a, const Variant& b) {
  Dom da = VA::DomOf(a), db = VA::DomOf(b);
  if (da == dArr || db == dArr) InvalidOp();
  if (da == dEmpty || db == dEmpty) {
    if (da == db) return vrEqual;
    // Empty compares as the zero of the other side's type.
    const Dom other = da == dEmpty ? db : da;
    const Variant zero = other == dStr ? Variant(u"") : other == dBool ? Variant(false) : Variant(0);
    return da == dEmpty ? CompareNonNull(zero, b) : CompareNonNull(a, zero);
  }
  if (da == dStr && db == dStr) {
    const int c = a.StringRef().compare(b.StringRef());
    return c < 0 ? vrLessThan : c > 0 ? vrGreaterThan : vrEqual;
  }
  if ((da == dBool && (db == dBool || db == dStr)) || (db == dBool && da == dStr)) {
    // False sorts before True.
    return Rel(int(ToBool(a)), int(ToBool(b)));
  }
  if (da == dObj && db == dObj) {
    const std::less<const void*> less;
    const void* x = VA::Obj(a);
    const void* y = VA::Obj(b);
    return less(x, y) ? vrLessThan : less(y, x) ? vrGreaterThan : vrEqual;
  }
  if (da == dDate || db == dDate) return Rel(ToDate(a), ToDate(b));
  if (IntegerLike(da) && IntegerLike(db))
    return Rel(ToInt64In(a, varInt64, INT64_MIN, INT64_MAX), ToInt64In(b, varInt64, INT64_MIN, INT64_MAX));
  if ((da == dCur || IntegerLike(da)) && (db == dCur || IntegerLike(db))) {
    const auto scaled = [](const Variant& v, Dom d) -> __int128 {
      if (d == dCur) return VA::Int(v);
      return static_cast<__int128>(ToInt64In(v, varInt64, INT64_MIN, INT64_MAX)) * kCurrencyScale;
    };
    return Rel(scaled(a, da), scaled(b, db));
  }
  // Otherwise in floating point: extended precision when a side is Extended, else double (a
  // string against a number becomes a number; currency against double compares as doubles).
  if (da == dExt || db == dExt) return Rel(ToExtendedAs(a, varDouble), ToExtendedAs(b, varDouble));
  return Rel(ToDoubleAs(a, varDouble), ToDoubleAs(b, varDouble));
}

bool Apply(TVariantRelationship rel, TVarOp op) {
  switch (op) {
    case voCmpEq:
      return rel == vrEqual;
    case voCmpNe:
      return rel != vrEqual;
    case voCmpLt:
      return rel == vrLessThan;
    case voCmpLe:
      return rel == vrLessThan || rel == vrEqual;
    case voCmpGt:
      return rel == vrGreaterThan;
    case voCmpGe:
      return rel == vrGreaterThan || rel == vrEqual;
    default:
      InvalidOp();
  }
}

}  // namespace

bool VarCompare(const Variant& a, const Variant& b, TVarOp op) {
  if (op < voCmpEq || op > voCmpGe) InvalidOp();
  if (a.Kind() == vkInteger && b.Kind() == vkInteger) return Apply(Rel(VA::Int(a), VA::Int(b)), op);
  if (a.IsNull() || b.IsNull()) {
    const bool equality = op == voCmpEq || op == voCmpNe;
    switch (equality ? NullEqualityRule : NullMagnitudeRule) {
      case ncrError:
        InvalidNullOp();
      case ncrStrict:
        return false;
      case ncrLoose:
        break;
    }
    const TVariantRelationship rel = a.IsNull() && b.IsNull() ? vrEqual
                                     : a.IsNull()             ? vrLessThan
                                                              : vrGreaterThan;
    return Apply(rel, op);
  }
  return Apply(CompareNonNull(a, b), op);
}

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull())
    return a.IsNull() && b.IsNull() ? vrEqual : a.IsNull() ? vrLessThan : vrGreaterThan;
  return CompareNonNull(a, b);
}

}  // namespace pagewright
