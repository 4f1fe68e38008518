#include "platform/variant.h"

#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "platform/exceptions.h"
#include "platform/memory_budget.h"
#include "platform/variant_internal.h"

namespace pagewright {

using namespace variant_internal;

TNullCompareRule NullEqualityRule = ncrLoose;
TNullCompareRule NullMagnitudeRule = ncrLoose;

namespace {

std::string HexCode(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s = "$0000";
  for (int i = 4; i >= 1; --i) {
    s[i] = digits[v & 15];
    v >>= 4;
  }
  return s;
}

// The name of a value's type in messages; object references name themselves.
std::string SourceName(const Variant& v) {
  if (v.Kind() == vkObject) return "Object";
  return VarTypeAsText(v.VarType());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Errors

namespace variant_internal {

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

}  // namespace variant_internal

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

Variant::Variant(const WideString& s) : s_(new StrRep(s)), vt_(varString), kind_(vkString) {}
Variant::Variant(WideString&& s) : s_(new StrRep(std::move(s))), vt_(varString), kind_(vkString) {}

namespace {
// Bytes a string or an array of values holds, as the budget counts them.
int64_t StringBytes(const WideString& text) {
  return static_cast<int64_t>(text.capacity() * sizeof(char16_t));
}
}  // namespace

Variant::StrRep::StrRep(WideString t) : text(std::move(t)) {
  const int64_t bytes = StringBytes(text);
  if (bytes > 0) {
    TMemoryBudget::Process().Draw(bytes, "a string of " + std::to_string(text.size()) + " characters");
    charged = bytes;
  }
}

Variant::StrRep::~StrRep() {
  if (charged) TMemoryBudget::Process().Release(charged);
}

Variant::ArrRep::~ArrRep() {
  if (charged) TMemoryBudget::Process().Release(charged);
}

void Variant::ArrRep::ChargeFor(size_t count) {
  const int64_t bytes = static_cast<int64_t>(count * sizeof(Variant));
  if (bytes > charged)
    TMemoryBudget::Process().Draw(bytes - charged, "an array of " + std::to_string(count) + " values");
  else if (bytes < charged)
    TMemoryBudget::Process().Release(charged - bytes);
  charged = bytes;
}
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

}  // namespace pagewright
