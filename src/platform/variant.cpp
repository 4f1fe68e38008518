#include "platform/variant.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/exceptions.h"

namespace pagewright {

TNullCompareRule NullEqualityRule = ncrLoose;
TNullCompareRule NullMagnitudeRule = ncrLoose;

struct Variant::StrRep {
  std::atomic<int32_t> refs{1};
  WideString text;
};

struct Variant::ArrRep {
  struct Dim {
    int32_t low;
    int64_t count;
  };
  std::atomic<int32_t> refs{1};
  TVarType elementType = varVariant;
  // Nesting depth of arrays held in elements (an upper bound): keeps destruction and copying of
  // nested arrays within a bounded recursion.
  int32_t depth = 1;
  std::vector<Dim> dims;
  std::vector<Variant> items;  // first index varies fastest, so the last dimension can grow
};

namespace {

constexpr int kMaxArrayDims = 64;
constexpr int64_t kMaxArrayElements = int64_t{1} << 24;
constexpr int32_t kMaxArrayDepth = 256;
constexpr int64_t kCurrencyScale = 10000;

// Internal classes of values for the operation rules.
enum Dom : uint8_t { dEmpty, dNull, dInt, dInt64, dFloat, dExt, dCur, dDate, dBool, dStr, dObj, dArr };

std::string HexCode(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s = "$0000";
  for (int i = 4; i >= 1; --i) {
    s[i] = digits[v & 15];
    v >>= 4;
  }
  return s;
}

bool AsciiEqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
    if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
    if (x != y) return false;
  }
  return true;
}

// "True" / "False" in any case.
bool BoolText(std::u16string_view s, bool& out) {
  if (AsciiEqualNoCase(s, u"true")) {
    out = true;
    return true;
  }
  if (AsciiEqualNoCase(s, u"false")) {
    out = false;
    return true;
  }
  return false;
}

bool FitsInt32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

}  // namespace

// Private access for the operation helpers below.
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
      copy->elementType = rep->elementType;
      copy->depth = rep->depth;
      copy->dims = rep->dims;
      copy->items = rep->items;
      if (rep->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete rep;
      v.a_ = copy;
    }
    return v.a_;
  }

  static Dom DomOf(const Variant& v) {
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

// ---------------------------------------------------------------------------------------------
// Errors

namespace {

// The name of a value's type in messages; object references name themselves.
std::string SourceName(const Variant& v) {
  if (v.Kind() == vkObject) return "Object";
  return VarTypeAsText(v.VarType());
}

[[noreturn]] void CastError(const Variant& v, const std::string& target) {
  throw EVariantTypeCastError("Could not convert variant of type (" + SourceName(v) + ") into type (" +
                              target + ")");
}
[[noreturn]] void CastError(const Variant& v, TVarType target) {
  CastError(v, VarTypeAsText(target));
}

[[noreturn]] void OverflowError(const Variant& v, TVarType target) {
  throw EVariantOverflowError("Overflow while converting variant of type (" + SourceName(v) +
                              ") into type (" + VarTypeAsText(target) + ")");
}

[[noreturn]] void InvalidOp() {
  throw EVariantInvalidOpError("Invalid variant operation");
}
[[noreturn]] void InvalidNullOp() {
  throw EVariantInvalidNullOpError("Invalid NULL variant operation");
}
[[noreturn]] void VariantOverflow() {
  throw EVariantOverflowError("Variant overflow");
}
[[noreturn]] void BadIndex() {
  throw EVariantBadIndexError("Variant or safe array index out of bounds");
}
[[noreturn]] void ArrayCreateError() {
  throw EVariantArrayCreateError("Error creating variant or safe array");
}
[[noreturn]] void InvalidArg() {
  throw EVariantInvalidArgError("Invalid argument");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lifetime

void Variant::AddRef() const noexcept {
  if (kind_ == vkString)
    s_->refs.fetch_add(1, std::memory_order_relaxed);
  else if (kind_ == vkArray)
    a_->refs.fetch_add(1, std::memory_order_relaxed);
}

void Variant::Release() noexcept {
  if (kind_ == vkString) {
    if (s_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete s_;
  } else if (kind_ == vkArray) {
    if (a_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete a_;
  }
  kind_ = vkEmpty;
  vt_ = varEmpty;
  i_ = 0;
}

namespace {
// Copies the value bits of the active member.
template <typename V>
void CopyPayload(V& dst, const V& src) noexcept {
  std::memcpy(static_cast<void*>(&dst), static_cast<const void*>(&src), sizeof(V));
}
}  // namespace

Variant::Variant(const Variant& o) noexcept {
  CopyPayload(*this, o);
  AddRef();
}

Variant::Variant(Variant&& o) noexcept {
  CopyPayload(*this, o);
  o.kind_ = vkEmpty;
  o.vt_ = varEmpty;
  o.i_ = 0;
}

Variant& Variant::operator=(const Variant& o) noexcept {
  if (this != &o) {
    o.AddRef();
    Release();
    CopyPayload(*this, o);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
  if (this != &o) {
    Release();
    CopyPayload(*this, o);
    o.kind_ = vkEmpty;
    o.vt_ = varEmpty;
    o.i_ = 0;
  }
  return *this;
}

Variant::Variant(const WideString& s) : s_(new StrRep{{1}, s}), vt_(varString), kind_(vkString) {}
Variant::Variant(WideString&& s) : s_(new StrRep{{1}, std::move(s)}), vt_(varString), kind_(vkString) {}
Variant::Variant(const char16_t* s) : Variant(WideString(s ? s : u"")) {}
Variant::Variant(std::u16string_view s) : Variant(WideString(s)) {}
Variant::Variant(char16_t c) : Variant(WideString(1, c)) {}

Variant Variant::Null() noexcept {
  Variant r;
  r.vt_ = varNull;
  r.kind_ = vkNull;
  return r;
}

Variant Variant::FromSingle(float v) noexcept {
  return VariantAccess::MakeDouble(v, varSingle, vkFloat);
}

Variant Variant::FromCurrency(long double amount) {
  const long double scaled = amount * kCurrencyScale;
  if (!(scaled >= -9223372036854775808.0L && scaled < 9223372036854775808.0L))
    OverflowError(Variant(amount), varCurrency);
  return VariantAccess::MakeCurrency(RoundHalfEven(scaled));
}

Variant Variant::FromCurrencyScaled(int64_t scaled) noexcept {
  return VariantAccess::MakeCurrency(scaled);
}

Variant Variant::FromDateTime(TDateTime dt) noexcept {
  return VariantAccess::MakeDouble(dt, varDate, vkDate);
}

Variant Variant::FromString(WideString s, TVarType code) {
  Variant r(std::move(s));
  if (code == varOleStr || code == varUString) r.vt_ = code;
  return r;
}

Variant Variant::FromObject(TPersistent* obj) noexcept {
  if (!obj) return Variant(0);
  Variant r;
  r.o_ = obj;
  r.vt_ = varInteger;
  r.kind_ = vkObject;
  return r;
}

TVarType Variant::VarType() const noexcept {
  return kind_ == vkArray ? TVarType(varArray | vt_) : vt_;
}

const WideString& Variant::StringRef() const noexcept {
  static const WideString empty;
  return kind_ == vkString ? s_->text : empty;
}

// ---------------------------------------------------------------------------------------------
// Queries and names

bool VarIsOrdinal(const Variant& v) noexcept {
  return v.Kind() == vkInteger || v.Kind() == vkObject;
}

bool VarIsFloat(const Variant& v) noexcept {
  switch (v.Kind()) {
    case vkFloat:
    case vkExtended:
    case vkCurrency:
    case vkDate:
      return true;
    default:
      return false;
  }
}

bool VarIsNumeric(const Variant& v) noexcept {
  return VarIsOrdinal(v) || VarIsFloat(v);
}

std::string VarTypeAsText(TVarType vt) {
  static const char* const names[] = {"Empty",    "Null",     "Smallint", "Integer",  "Single",   "Double",
                                      "Currency", "Date",     "OleStr",   "Dispatch", "Error",    "Boolean",
                                      "Variant",  "Unknown",  "Decimal",  "$000F",    "ShortInt", "Byte",
                                      "Word",     "LongWord", "Int64",    "UInt64"};
  const TVarType base = vt & varTypeMask;
  std::string name;
  if (base < std::size(names))
    name = names[base];
  else if (base == varString)
    name = "String";
  else if (base == varAny)
    name = "Any";
  else if (base == varUString)
    name = "UnicodeString";
  else
    name = HexCode(base);
  if (vt & varArray) name = "Array " + name;
  if (vt & varByRef) name = "ByRef " + name;
  return name;
}

// ---------------------------------------------------------------------------------------------
// Conversions

namespace {

using VA = VariantAccess;

int64_t ObjAddress(const Variant& v) {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(VA::Obj(v)));
}

// Floating point to an integer in [lo, hi], halves to even.
int64_t RoundChecked(long double x, const Variant& src, TVarType target, int64_t lo, int64_t hi) {
  if (!(x >= -9223372036854775808.0L && x < 9223372036854775808.0L)) OverflowError(src, target);
  const int64_t r = RoundHalfEven(x);
  if (r < lo || r > hi) OverflowError(src, target);
  return r;
}

// Scaled currency to an integer, halves to even.
int64_t CurrencyToInt(int64_t scaled) {
  int64_t q = scaled / kCurrencyScale;
  const int64_t r = scaled % kCurrencyScale;
  const int64_t twice = 2 * (r < 0 ? -r : r);
  if (twice > kCurrencyScale || (twice == kCurrencyScale && (q & 1))) q += (r < 0 ? -1 : 1);
  return q;
}

// Text to a number: integer text exactly, then floating-point text, then "True"/"False".
// Returns false when the text is none of these.
bool StrToNumber(const WideString& s, bool& isInt, int64_t& i, Extended& f) {
  if (TryStrToInt64(s, i)) {
    isInt = true;
    return true;
  }
  isInt = false;
  if (TryStrToFloat(s, f)) return true;
  bool b;
  if (BoolText(s, b)) {
    isInt = true;
    i = b ? -1 : 0;
    return true;
  }
  return false;
}

int64_t ToInt64In(const Variant& v, TVarType target, int64_t lo, int64_t hi) {
  int64_t r = 0;
  switch (v.Kind()) {
    case vkEmpty:
      return 0;
    case vkNull:
    case vkArray:
      CastError(v, target);
    case vkInteger:
      r = VA::Int(v);
      break;
    case vkObject:
      r = ObjAddress(v);
      break;
    case vkBoolean:
      r = VA::Int(v) ? -1 : 0;
      break;
    case vkFloat:
    case vkDate:
      return RoundChecked(VA::Dbl(v), v, target, lo, hi);
    case vkExtended:
      return RoundChecked(VA::Ext(v), v, target, lo, hi);
    case vkCurrency:
      r = CurrencyToInt(VA::Int(v));
      break;
    case vkString: {
      bool isInt;
      int64_t i;
      Extended f;
      if (!StrToNumber(v.StringRef(), isInt, i, f)) CastError(v, target);
      if (!isInt) return RoundChecked(f, v, target, lo, hi);
      r = i;
      break;
    }
  }
  if (r < lo || r > hi) OverflowError(v, target);
  return r;
}

Extended ToExtendedAs(const Variant& v, TVarType target) {
  switch (v.Kind()) {
    case vkEmpty:
      return 0;
    case vkNull:
    case vkArray:
      CastError(v, target);
    case vkInteger:
      return static_cast<Extended>(VA::Int(v));
    case vkObject:
      return static_cast<Extended>(ObjAddress(v));
    case vkBoolean:
      return VA::Int(v) ? -1 : 0;
    case vkFloat:
    case vkDate:
      return VA::Dbl(v);
    case vkExtended:
      return VA::Ext(v);
    case vkCurrency:
      return static_cast<Extended>(VA::Int(v)) / kCurrencyScale;
    case vkString: {
      bool isInt;
      int64_t i;
      Extended f;
      if (!StrToNumber(v.StringRef(), isInt, i, f)) CastError(v, target);
      return isInt ? static_cast<Extended>(i) : f;
    }
  }
  return 0;
}

double NarrowToDouble(Extended x, const Variant& src, TVarType target) {
  if (std::isfinite(x) && std::fabs(x) > DBL_MAX) OverflowError(src, target);
  return static_cast<double>(x);
}

double ToDoubleAs(const Variant& v, TVarType target) {
  switch (v.Kind()) {
    case vkFloat:
    case vkDate:
      return VA::Dbl(v);
    case vkInteger:
      return static_cast<double>(VA::Int(v));
    default:
      return NarrowToDouble(ToExtendedAs(v, target), v, target);
  }
}

int64_t ToCurrencyScaled(const Variant& v) {
  switch (v.Kind()) {
    case vkCurrency:
      return VA::Int(v);
    case vkInteger:
    case vkBoolean:
    case vkObject: {
      const int64_t i = ToInt64In(v, varCurrency, INT64_MIN, INT64_MAX);
      int64_t r;
      if (__builtin_mul_overflow(i, kCurrencyScale, &r)) OverflowError(v, varCurrency);
      return r;
    }
    default: {
      const Extended scaled = ToExtendedAs(v, varCurrency) * kCurrencyScale;
      if (!(scaled >= -9223372036854775808.0L && scaled < 9223372036854775808.0L))
        OverflowError(v, varCurrency);
      return RoundHalfEven(scaled);
    }
  }
}

TDateTime ToDate(const Variant& v) {
  if (v.Kind() == vkString) {
    TDateTime dt;
    if (!TryStrToDateTime(v.StringRef(), dt)) CastError(v, varDate);
    return dt;
  }
  return ToDoubleAs(v, varDate);
}

bool ToBool(const Variant& v) {
  switch (v.Kind()) {
    case vkEmpty:
      return false;
    case vkNull:
    case vkArray:
      CastError(v, varBoolean);
    case vkInteger:
    case vkCurrency:
    case vkBoolean:
      return VA::Int(v) != 0;
    case vkObject:
      return true;
    case vkFloat:
    case vkDate:
      return VA::Dbl(v) != 0;
    case vkExtended:
      return VA::Ext(v) != 0;
    case vkString: {
      bool b;
      if (BoolText(v.StringRef(), b)) return b;
      Extended f;
      if (TryStrToFloat(v.StringRef(), f)) return f != 0;
      CastError(v, varBoolean);
    }
  }
  return false;
}

WideString ToText(const Variant& v) {
  switch (v.Kind()) {
    case vkEmpty:
    case vkNull:
      return WideString();
    case vkInteger:
      return IntToStr(VA::Int(v));
    case vkObject:
      return IntToStr(ObjAddress(v));
    case vkFloat:
      return FloatToStr(static_cast<Extended>(VA::Dbl(v)));
    case vkExtended:
      return FloatToStr(VA::Ext(v));
    case vkCurrency:
      return CurrToStr(static_cast<Extended>(VA::Int(v)) / kCurrencyScale);
    case vkDate:
      return DateTimeToStr(VA::Dbl(v));
    case vkBoolean:
      return VA::Int(v) ? u"True" : u"False";
    case vkString:
      return v.StringRef();
    case vkArray:
      CastError(v, varString);
  }
  return WideString();
}

}  // namespace

int32_t Variant::AsInteger() const {
  return static_cast<int32_t>(ToInt64In(*this, varInteger, INT32_MIN, INT32_MAX));
}
int64_t Variant::AsInt64() const {
  return ToInt64In(*this, varInt64, INT64_MIN, INT64_MAX);
}
double Variant::AsDouble() const {
  return ToDoubleAs(*this, varDouble);
}
Extended Variant::AsExtended() const {
  return ToExtendedAs(*this, varDouble);
}
bool Variant::AsBoolean() const {
  return ToBool(*this);
}
TDateTime Variant::AsDateTime() const {
  return ToDate(*this);
}
int64_t Variant::AsCurrencyScaled() const {
  return ToCurrencyScaled(*this);
}
Extended Variant::AsCurrency() const {
  return static_cast<Extended>(ToCurrencyScaled(*this)) / kCurrencyScale;
}

WideString Variant::AsString() const {
  if (kind_ == vkNull) CastError(*this, varString);
  return ToText(*this);
}

TPersistent* Variant::AsObject() const {
  switch (kind_) {
    case vkObject:
      return o_;
    case vkEmpty:
    case vkNull:
      return nullptr;
    case vkInteger:
      if (i_ == 0) return nullptr;
      break;
    default:
      break;
  }
  CastError(*this, "Object");
}

WideString VarToStr(const Variant& v) {
  return ToText(v);
}

WideString VarToStrDef(const Variant& v, const WideString& def) {
  return v.IsNull() ? def : ToText(v);
}

Variant VarAsType(const Variant& v, TVarType vt) {
  if (vt & varByRef) throw EVariantBadVarTypeError("Invalid variant type");
  if (vt & varArray) {
    if (v.IsArray() && v.VarType() == vt) return v;
    CastError(v, vt);
  }
  switch (vt) {
    case varEmpty:
      return Variant();
    case varNull:
      return Variant::Null();
    case varVariant:
      return v;
    case varSmallint:
      return Variant::FromSmallint(int16_t(ToInt64In(v, vt, INT16_MIN, INT16_MAX)));
    case varShortInt:
      return Variant::FromShortInt(int8_t(ToInt64In(v, vt, INT8_MIN, INT8_MAX)));
    case varByte:
      return Variant::FromByte(uint8_t(ToInt64In(v, vt, 0, UINT8_MAX)));
    case varWord:
      return Variant::FromWord(uint16_t(ToInt64In(v, vt, 0, UINT16_MAX)));
    case varLongWord:
      return Variant::FromLongWord(uint32_t(ToInt64In(v, vt, 0, UINT32_MAX)));
    case varInteger:
      return Variant::FromInteger(int32_t(ToInt64In(v, vt, INT32_MIN, INT32_MAX)));
    case varInt64:
      return Variant::FromInt64(ToInt64In(v, vt, INT64_MIN, INT64_MAX));
    case varSingle: {
      const Extended x = ToExtendedAs(v, vt);
      if (std::isfinite(x) && std::fabs(x) > FLT_MAX) OverflowError(v, vt);
      return Variant::FromSingle(static_cast<float>(x));
    }
    case varDouble:
      return Variant::FromDouble(ToDoubleAs(v, vt));
    case varCurrency:
      return Variant::FromCurrencyScaled(ToCurrencyScaled(v));
    case varDate:
      return Variant::FromDateTime(ToDate(v));
    case varBoolean:
      return Variant(ToBool(v));
    case varOleStr:
    case varString:
    case varUString: {
      if (v.IsString()) {
        Variant r = v;
        VA::SetCode(r, vt);
        return r;
      }
      if (v.IsNull()) CastError(v, vt);
      return Variant::FromString(ToText(v), vt);
    }
    default:
      throw EVariantBadVarTypeError("Invalid variant type");
  }
}

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

// ---------------------------------------------------------------------------------------------
// String characters

Variant VarStrGetChar(const Variant& v, int32_t index) {
  const WideString text = v.AsString();
  if (index < 1 || size_t(index) > text.size()) throw ERangeError("Range check error");
  return Variant::FromString(WideString(1, text[size_t(index) - 1]), v.IsString() ? v.VarType() : varString);
}

void VarStrSetChar(Variant& v, int32_t index, const Variant& ch) {
  WideString text = v.AsString();
  if (index < 1 || size_t(index) > text.size()) throw ERangeError("Range check error");
  const WideString c = ch.AsString();
  text[size_t(index) - 1] = c.empty() ? u'\0' : c[0];
  v = Variant::FromString(std::move(text), v.IsString() ? v.VarType() : varString);
}

// ---------------------------------------------------------------------------------------------
// Variant arrays

namespace {

bool ValidElementType(TVarType t) {
  switch (t) {
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
    case varOleStr:
    case varBoolean:
    case varVariant:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varString:
    case varUString:
      return true;
    default:
      return false;
  }
}

Variant ZeroOf(TVarType t) {
  switch (t) {
    case varVariant:
      return Variant();
    case varSingle:
      return Variant::FromSingle(0);
    case varDouble:
      return Variant(0.0);
    case varCurrency:
      return Variant::FromCurrencyScaled(0);
    case varDate:
      return Variant::FromDateTime(0);
    case varBoolean:
      return Variant(false);
    case varOleStr:
    case varString:
    case varUString:
      return Variant::FromString(WideString(), t);
    default:
      return VarAsType(Variant(0), t);
  }
}

const VA::ArrRep& ArrOf(const Variant& a) {
  if (!a.IsArray()) InvalidArg();
  return *VA::Arr(a);
}

int32_t DepthOf(const Variant& v) {
  return v.IsArray() ? VA::Arr(v)->depth : 0;
}

size_t Offset(const VA::ArrRep& rep, std::span<const int32_t> indexes) {
  if (indexes.size() != rep.dims.size()) BadIndex();
  int64_t offset = 0, stride = 1;
  for (size_t d = 0; d < indexes.size(); ++d) {
    const int64_t i = int64_t(indexes[d]) - rep.dims[d].low;
    if (i < 0 || i >= rep.dims[d].count) BadIndex();
    offset += i * stride;
    stride *= rep.dims[d].count;
  }
  return static_cast<size_t>(offset);
}

}  // namespace

Variant Variant::GetElement(std::span<const int32_t> indexes) const {
  const auto& rep = ArrOf(*this);
  return rep.items[Offset(rep, indexes)];
}

void Variant::PutElement(std::span<const int32_t> indexes, const Variant& value) {
  const auto& shared = ArrOf(*this);
  const size_t at = Offset(shared, indexes);
  Variant stored = shared.elementType == varVariant ? value : VarAsType(value, shared.elementType);
  const int32_t depth = DepthOf(stored) + 1;
  if (depth > kMaxArrayDepth) InvalidOp();
  ArrRep* rep = VA::MutableArr(*this);
  if (depth > rep->depth) rep->depth = depth;
  rep->items[at] = std::move(stored);
}

Variant VarArrayCreate(std::span<const int32_t> bounds, TVarType elementType) {
  if (bounds.empty() || bounds.size() % 2 != 0 || bounds.size() / 2 > kMaxArrayDims) ArrayCreateError();
  if (!ValidElementType(elementType)) ArrayCreateError();
  auto* rep = new VA::ArrRep;
  Variant result = VA::MakeArray(rep);  // owns rep from here on
  rep->elementType = elementType;
  int64_t total = 1;
  for (size_t i = 0; i < bounds.size(); i += 2) {
    const int64_t count = int64_t(bounds[i + 1]) - bounds[i] + 1;
    if (count < 0) ArrayCreateError();
    total *= count;
    if (total > kMaxArrayElements) ArrayCreateError();
    rep->dims.push_back({bounds[i], count});
  }
  rep->items.assign(static_cast<size_t>(total), ZeroOf(elementType));
  VA::SetCode(result, elementType);
  return result;
}

Variant VarArrayCreate(std::initializer_list<int32_t> bounds, TVarType elementType) {
  return VarArrayCreate(std::span<const int32_t>(bounds.begin(), bounds.size()), elementType);
}

Variant VarArrayCreate(const Variant& bounds, TVarType elementType) {
  if (!bounds.IsArray() || VarArrayDimCount(bounds) != 1) ArrayCreateError();
  const auto& rep = *VA::Arr(bounds);
  if (rep.items.size() > 2 * kMaxArrayDims) ArrayCreateError();
  std::vector<int32_t> pairs;
  for (const Variant& item : rep.items) pairs.push_back(item.AsInteger());
  return VarArrayCreate(std::span<const int32_t>(pairs), elementType);
}

Variant VarArrayOf(std::span<const Variant> values) {
  if (int64_t(values.size()) > kMaxArrayElements) ArrayCreateError();
  auto* rep = new VA::ArrRep;
  Variant result = VA::MakeArray(rep);
  rep->dims.push_back({0, int64_t(values.size())});
  rep->items.assign(values.begin(), values.end());
  for (const Variant& v : values) rep->depth = std::max(rep->depth, DepthOf(v) + 1);
  if (rep->depth > kMaxArrayDepth) InvalidOp();
  return result;
}

Variant VarArrayOf(std::initializer_list<Variant> values) {
  return VarArrayOf(std::span<const Variant>(values.begin(), values.size()));
}

int VarArrayDimCount(const Variant& a) noexcept {
  return a.IsArray() ? int(VA::Arr(a)->dims.size()) : 0;
}

int32_t VarArrayLowBound(const Variant& a, int dim) {
  const auto& rep = ArrOf(a);
  if (dim < 1 || size_t(dim) > rep.dims.size()) BadIndex();
  return rep.dims[dim - 1].low;
}

int32_t VarArrayHighBound(const Variant& a, int dim) {
  const auto& rep = ArrOf(a);
  if (dim < 1 || size_t(dim) > rep.dims.size()) BadIndex();
  return static_cast<int32_t>(rep.dims[dim - 1].low + rep.dims[dim - 1].count - 1);
}

Variant VarArrayGet(const Variant& a, std::span<const int32_t> indexes) {
  return a.GetElement(indexes);
}

void VarArrayPut(Variant& a, const Variant& value, std::span<const int32_t> indexes) {
  a.PutElement(indexes, value);
}

void VarArrayRedim(Variant& a, int32_t highBound) {
  const auto& shared = ArrOf(a);
  const auto& last = shared.dims.back();
  const int64_t count = int64_t(highBound) - last.low + 1;
  if (count < 0) ArrayCreateError();
  int64_t stride = 1;
  for (size_t d = 0; d + 1 < shared.dims.size(); ++d) stride *= shared.dims[d].count;
  if (stride != 0 && count > kMaxArrayElements / stride) ArrayCreateError();
  auto* rep = VA::MutableArr(a);
  rep->dims.back().count = count;
  rep->items.resize(static_cast<size_t>(stride * count), ZeroOf(rep->elementType));
}

}  // namespace pagewright
