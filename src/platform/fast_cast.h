// dynamic_cast for hot paths. The runtime's cast walks the class hierarchy and compares type
// names as strings at each step, which the page loop pays hundreds of times a page; the answer
// for a given dynamic type and target never changes, so it is kept in a small per-thread table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <typeinfo>

namespace pagewright {

namespace fast_cast_detail {

struct TEntry {
  const std::type_info* type = nullptr;
  std::ptrdiff_t offset = 0;  // from the complete object to the target, when found
  bool found = false;
};

template <class Target>
struct TTable {
  TEntry entries[64];
};

}  // namespace fast_cast_detail

// As dynamic_cast<T*>(p) (T may be const): null for null or for an object that is not a T.
template <class T, class S>
T* FastCast(S* p) {
  static_assert(std::is_polymorphic_v<std::remove_cv_t<S>>, "FastCast needs a polymorphic source");
  if (!p) return nullptr;
  using Byte = std::conditional_t<std::is_const_v<S>, const char, char>;
  thread_local fast_cast_detail::TTable<std::remove_cv_t<T>> table;
  const std::type_info* type = &typeid(*p);
  fast_cast_detail::TEntry& e = table.entries[(reinterpret_cast<std::uintptr_t>(type) >> 4) & 63];
  auto* whole = static_cast<Byte*>(dynamic_cast<std::conditional_t<std::is_const_v<S>, const void*, void*>>(p));
  if (e.type != type) {
    T* result = dynamic_cast<T*>(p);
    e.type = type;
    e.found = result != nullptr;
    e.offset = result ? reinterpret_cast<const char*>(result) - whole : 0;
    return result;
  }
  return e.found ? reinterpret_cast<T*>(whole + e.offset) : nullptr;
}

}  // namespace pagewright
