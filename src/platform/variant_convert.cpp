#include "platform/variant.h"

#include <cfloat>
#include <cmath>
#include <string>
#include <utility>

#include "platform/exceptions.h"
#include "platform/variant_internal.h"

namespace pagewright {

using namespace variant_internal;

// ---------------------------------------------------------------------------------------------
// Conversions

namespace {

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

double NarrowToDouble(Extended x, const Variant& src, TVarType target) {
  if (std::isfinite(x) && std::fabs(x) > DBL_MAX) OverflowError(src, target);
  return static_cast<double>(x);
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

}  // namespace

namespace variant_internal {

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
    case vkDate: {
      // A time of day alone (no date part) reads as that time, as the original platform's variant
      // conversion shows it, not as a time on 12/30/1899; a date at midnight reads as the date.
      const double dt = VA::Dbl(v);
      if (dt > -1 && dt < 1 && dt != 0) return TimeToStr(dt);
      return DateTimeToStr(dt);
    }
    case vkBoolean:
      return VA::Int(v) ? u"True" : u"False";
    case vkString:
      return v.StringRef();
    case vkArray:
      CastError(v, varString);
  }
  return WideString();
}

}  // namespace variant_internal

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

}  // namespace pagewright
