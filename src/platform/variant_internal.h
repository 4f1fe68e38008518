// Internals of Variant shared by its source files: how strings and arrays are held, private
// access to the value, the error messages, and the conversion rules the operations build on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/variant.h"

namespace pagewright {

// Strings and arrays draw their bytes from the process's memory budget while they live, so input
// that makes values grow gets an error at the budget, not an exhausted machine.
struct Variant::StrRep {
  // Raises EOutOfMemory when the budget cannot take the text.
  explicit StrRep(WideString t);
  ~StrRep();
  StrRep(const StrRep&) = delete;
  StrRep& operator=(const StrRep&) = delete;
  std::atomic<int32_t> refs{1};
  WideString text;
  int64_t charged = 0;
};

struct Variant::ArrRep {
  struct Dim {
    int32_t low;
    int64_t count;
  };
  ArrRep() = default;
  ~ArrRep();
  ArrRep(const ArrRep&) = delete;
  ArrRep& operator=(const ArrRep&) = delete;
  // Charges the budget for `count` elements before the items grow to them (raises EOutOfMemory
  // and charges nothing when the budget cannot take them), or gives back what they no longer need.
  void ChargeFor(size_t count);
  int64_t charged = 0;
  std::atomic<int32_t> refs{1};
  TVarType elementType = varVariant;
  // Nesting depth of arrays held in elements (an upper bound): keeps destruction and copying of
  // nested arrays within a bounded recursion.
  int32_t depth = 1;
  std::vector<Dim> dims;
  std::vector<Variant> items;  // first index varies fastest, so the last dimension can grow
};

namespace variant_internal {

constexpr int kMaxArrayDims = 64;
constexpr int64_t kMaxArrayElements = int64_t{1} << 24;
constexpr int32_t kMaxArrayDepth = 256;
constexpr int64_t kCurrencyScale = 10000;

// Internal classes of values for the operation rules.
enum Dom : uint8_t { dEmpty, dNull, dInt, dInt64, dFloat, dExt, dCur, dDate, dBool, dStr, dObj, dArr };

// "True" / "False" in any case.
bool BoolText(std::u16string_view s, bool& out);

inline bool FitsInt32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

// Errors, with the messages the runtime gives.
[[noreturn]] void CastError(const Variant& v, const std::string& target);
[[noreturn]] void CastError(const Variant& v, TVarType target);
[[noreturn]] void OverflowError(const Variant& v, TVarType target);
[[noreturn]] void InvalidOp();
[[noreturn]] void InvalidNullOp();
[[noreturn]] void VariantOverflow();
[[noreturn]] void BadIndex();
[[noreturn]] void ArrayCreateError();
[[noreturn]] void InvalidArg();

// Conversions by the runtime's rules; target is the type code errors name.
int64_t ToInt64In(const Variant& v, TVarType target, int64_t lo, int64_t hi);
Extended ToExtendedAs(const Variant& v, TVarType target);
double ToDoubleAs(const Variant& v, TVarType target);
int64_t ToCurrencyScaled(const Variant& v);
TDateTime ToDate(const Variant& v);
bool ToBool(const Variant& v);
WideString ToText(const Variant& v);

}  // namespace variant_internal

// Private access for the operation helpers.
struct VariantAccess {
  using ArrRep = Variant::ArrRep;
  using StrRep = Variant::StrRep;

  static int64_t Int(const Variant& v) { return v.i_; }
  static double Dbl(const Variant& v) { return v.d_; }
  static long double Ext(const Variant& v) { return v.e_; }
  static TPersistent* Obj(const Variant& v) { return v.o_; }
  static ArrRep* Arr(const Variant& v) { return v.a_; }
  static TVarType Code(const Variant& v) { return v.vt_; }
  static void SetCode(Variant& v, TVarType c) { v.vt_ = c; }

  static Variant MakeDouble(double d, TVarType code, TVarKind kind) {
    Variant r;
    r.d_ = d;
    r.vt_ = code;
    r.kind_ = kind;
    return r;
  }
  static Variant MakeCurrency(int64_t scaled) {
    Variant r;
    r.i_ = scaled;
    r.vt_ = varCurrency;
    r.kind_ = vkCurrency;
    return r;
  }
  static Variant MakeArray(ArrRep* rep) {
    Variant r;
    r.a_ = rep;
    r.vt_ = rep->elementType;
    r.kind_ = vkArray;
    return r;
  }
  // The array for writing: a private copy when it is shared.
  static ArrRep* MutableArr(Variant& v) {
    ArrRep* rep = v.a_;
    if (rep->refs.load(std::memory_order_acquire) != 1) {
      auto* copy = new ArrRep;
      std::unique_ptr<ArrRep> owned(copy);
      copy->elementType = rep->elementType;
      copy->depth = rep->depth;
      copy->dims = rep->dims;
      copy->ChargeFor(rep->items.size());
      copy->items = rep->items;
      owned.release();
      if (rep->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete rep;
      v.a_ = copy;
    }
    return v.a_;
  }

  static variant_internal::Dom DomOf(const Variant& v) {
    using namespace variant_internal;
    switch (v.kind_) {
      case vkEmpty:
        return dEmpty;
      case vkNull:
        return dNull;
      case vkInteger:
        return (v.vt_ == varInt64 || v.vt_ == varLongWord) ? dInt64 : dInt;
      case vkFloat:
        return dFloat;
      case vkExtended:
        return dExt;
      case vkCurrency:
        return dCur;
      case vkDate:
        return dDate;
      case vkBoolean:
        return dBool;
      case vkString:
        return dStr;
      case vkObject:
        return dObj;
      case vkArray:
        return dArr;
    }
    return dEmpty;
  }
};

namespace variant_internal {
using VA = VariantAccess;
}  // namespace variant_internal

}  // namespace pagewright
