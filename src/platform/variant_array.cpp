#include "platform/variant.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/exceptions.h"
#include "platform/variant_internal.h"

namespace pagewright {

using namespace variant_internal;

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
  rep->ChargeFor(static_cast<size_t>(total));
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
  rep->ChargeFor(values.size());
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
  rep->ChargeFor(static_cast<size_t>(stride * count));
  rep->dims.back().count = count;
  rep->items.resize(static_cast<size_t>(stride * count), ZeroOf(rep->elementType));
}

}  // namespace pagewright
