// Published-property descriptions and the class registry.
//
// Every class with published properties writes one table next to the class, with the
// builder below, and returns it from its StaticClassInfo():
//
//   const TClassInfo& TpgwView::StaticClassInfo() {
//     using T = TpgwView;
//     static const TClassInfo& info = Describe<T>("TpgwView")
//         .Parent<TpgwComponent>()
//         .Float("Left", &T::Left, &T::SetLeft)
//         .Enum("Align", &T::Align, &T::SetAlign, AlignInfo()).Default(baNone)
//         .Object("Frame", &T::Frame, &T::SetFrame)
//         .Reference("DataSet", &T::DataSet, &T::SetDataSet)
//         .Build();
//     return info;
//   }
//
// The table is built on first use; the class registry is filled by explicit registration
// functions (RegisterPlatformClasses and those of the other modules), never by static
// constructors. Properties are listed with the parent's first; a property declared again by a
// subclass replaces the inherited description and keeps its place.
//
// A float property may carry a Default as a record of its initial value; templates write
// floats regardless (only a stored test leaves them out), which IsDefaultValue reflects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/types.h"

namespace pagewright {

// Names of classes, properties and enumeration values compare without regard to ASCII case; the
// tables look them up as written, without making upper-case copies.
bool SameAsciiText(std::string_view a, std::string_view b) noexcept;
struct TAsciiCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept;
};
struct TAsciiCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return SameAsciiText(a, b); }
};

class TStringList;
class Variant;

enum TPropKind : uint8_t {
  pkInteger,      // 32-bit signed (colours too)
  pkInt64,        // pointer-sized and 64-bit integers
  pkFloat,        // Extended
  pkBoolean,      // an enumeration of False, True
  pkEnumeration,  // ordinal with value names
  pkSet,          // bit n = n-th value of the enumeration
  pkString,       // UTF-16
  pkStringList,   // TStringList held by the object
  pkObject,       // persistent sub-object with its own description (Frame, Font, ...)
  pkReference,    // another component, by name in templates
  pkEvent,        // name of a script procedure
  pkVariant       // a Variant value
};

// Value names of an enumeration type, in ordinal order.
class TEnumInfo {
 public:
  TEnumInfo(std::string typeName, std::vector<std::string> names);
  const std::string& TypeName() const { return FTypeName; }
  int Count() const { return static_cast<int>(FNames.size()); }
  // The name of `ordinal`; empty when out of range.
  const std::string& Name(int64_t ordinal) const;
  // The same as report text (the names are ASCII), made once: writers of templates and prepared
  // pages ask for it for every property they write.
  const WideString& WideName(int64_t ordinal) const;
  // The ordinal of a value name (case-insensitive), -1 when it is not one of the names.
  int Ordinal(std::string_view name) const;
  int Ordinal(std::u16string_view name) const;
  uint64_t AllBits() const;

 private:
  std::string FTypeName;
  std::vector<std::string> FNames;
  std::vector<WideString> FWideNames;
};

// The enumeration behind pkBoolean: False, True.
const TEnumInfo& BooleanInfo();

// "[fsBold,fsItalic]" for bits 0 and 1; "[]" for none.
WideString SetToString(const TEnumInfo& info, uint64_t bits);
// The inverse; blanks around names are allowed, the brackets are optional. An unknown name
// raises EPropertyError "Invalid property element: %s".
uint64_t StringToSet(const TEnumInfo& info, std::u16string_view text);

// A property value as the run-time access passes it: a small tagged value. Only pkVariant
// properties carry a Variant (shared, read-only); everything else is plain data, so this
// header needs nothing of the Variant type.
struct TPropValue {
  enum TKind : uint8_t {
    pvNone,
    pvInteger,
    pvFloat,
    pvBoolean,
    pvString,
    pvEnum,
    pvSet,
    pvObject,
    pvStrings,
    pvVariant
  };
  TKind Kind = pvNone;
  int64_t Int = 0;  // integers, enumeration ordinals, Booleans (0 or 1)
  uint64_t Bits = 0;
  Extended Float = 0;
  WideString Str;
  TPersistent* Obj = nullptr;
  TStringList* List = nullptr;
  std::shared_ptr<const Variant> Var;

  static TPropValue Integer(int64_t v);
  static TPropValue FloatValue(Extended v);
  static TPropValue Boolean(bool v);
  static TPropValue String(WideString v);
  static TPropValue Enum(int64_t ordinal);
  static TPropValue SetBits(uint64_t bits);
  static TPropValue Object(TPersistent* obj);
  static TPropValue Strings(TStringList* list);
  static TPropValue FromVariant(const Variant& v);
  bool operator==(const TPropValue& o) const;
};

class TClassInfo;

class TPropInfo {
 public:
  using TGetter = std::function<TPropValue(const TPersistent&)>;
  using TSetter = std::function<void(TPersistent&, const TPropValue&)>;
  using TStoredTest = std::function<bool(const TPersistent&)>;

  const std::string& Name() const { return FName; }
  // The name as report text, made once (names are ASCII).
  const WideString& WideName() const { return FWideName; }
  TPropKind Kind() const { return FKind; }
  // A float property's sane values, which readers of untrusted input check (see Range below).
  bool HasRange() const { return FHasRange; }
  bool InRange(Extended v) const { return !FHasRange || (v >= FMin && v <= FMax); }
  Extended RangeMin() const { return FMin; }
  Extended RangeMax() const { return FMax; }
  // The declared type ("Integer", "TColor", "Extended", "WideString", an enumeration or
  // class name), for script registration.
  const std::string& TypeName() const;
  // Enumerations, sets and Booleans: the value names.
  const TEnumInfo* Enum() const { return FEnum; }
  // Sub-objects: their class; references: the class a target must belong to.
  const TClassInfo* ObjectClass() const { return FObjectClass ? &FObjectClass() : nullptr; }
  const TClassInfo& DeclaringClass() const { return *FDeclaring; }
  int Index() const { return FIndex; }
  bool IsReadOnly() const { return !FSetter; }
  bool HasDefault() const { return FHasDefault; }
  // The declared default (canonical form of the kind); pvNone without one.
  const TPropValue& Default() const { return FDefault; }

  // The value in canonical form: pkInteger/pkInt64 pvInteger, pkFloat pvFloat, pkBoolean
  // pvBoolean, pkEnumeration pvEnum, pkSet pvSet, pkString/pkEvent pvString, pkStringList
  // pvStrings, pkObject/pkReference pvObject, pkVariant pvVariant.
  TPropValue Get(const TPersistent& obj) const;
  // Converts `v` to the kind first (integers, ordinals and Booleans interchange; a string is
  // read as an enumeration value name, a set text, or a string list's text; a variant
  // property takes any plain value, pvNone as Null); raises
  // EPropertyError on a read-only property, a value of the wrong kind, an ordinal out of
  // range or a reference to an object of the wrong class.
  void Set(TPersistent& obj, const TPropValue& v) const;
  // The stored test (true when the table gives none).
  bool IsStored(const TPersistent& obj) const;
  // Whether the value may be left out of a template: integers, enumerations, Booleans and
  // sets equal to their declared default, empty strings and event names, no reference, a
  // variant whose text is empty (Null, Unassigned, '').
  // Floats, string lists and sub-objects never count as default.
  bool IsDefaultValue(const TPersistent& obj) const;

 private:
  template <class T>
  friend class TClassBuilder;
  friend class TClassInfo;

  std::string FName;
  WideString FWideName;
  bool FHasRange = false;
  Extended FMin = 0, FMax = 0;
  TPropKind FKind = pkInteger;
  std::string FTypeName;
  const TEnumInfo* FEnum = nullptr;
  // Resolved on use: a class may refer to itself or to classes described later.
  const TClassInfo& (*FObjectClass)() = nullptr;
  const TClassInfo* FDeclaring = nullptr;
  int FIndex = -1;
  bool FHasDefault = false;
  bool FListInPlace = false;
  TPropValue FDefault;
  TGetter FGetter;
  TSetter FSetter;
  TStoredTest FStored;
};

class TClassInfo {
 public:
  using TFactory = std::function<TPersistent*(TComponent* owner)>;

  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const std::string& Name() const { return FName; }
  const TClassInfo* Parent() const { return FParent; }
  bool InheritsFrom(const TClassInfo& cls) const;
  bool IsComponent() const;
  // All published properties, the parent's first.
  const std::vector<const TPropInfo*>& Properties() const { return FAll; }
  // Case-insensitive; null when the class has no such published property.
  const TPropInfo* FindProperty(std::string_view name) const;
  const TPropInfo* FindProperty(std::u16string_view name) const;
  bool CanCreate() const { return static_cast<bool>(FFactory); }
  // The two ways to make an instance by class; EClassNotFound for a class without factory.
  // Create: a new instance without owner, which the caller holds.
  std::unique_ptr<TPersistent> Create() const;
  // CreateChild: a new component held by `owner` (its component list, or for report objects the
  // parent node's child list); EClassNotFound also when the class is not a component.
  TComponent& CreateChild(TComponent& owner) const;

 private:
  template <class T>
  friend class TClassBuilder;
  TClassInfo() = default;

  std::string FName;
  const TClassInfo* FParent = nullptr;
  TFactory FFactory;
  std::vector<std::unique_ptr<TPropInfo>> FOwn;
  std::vector<const TPropInfo*> FAll;
  std::unordered_map<std::string, const TPropInfo*, TAsciiCaseHash, TAsciiCaseEqual> FIndex;
};

// Create and CreateChild for a class that must derive from T; EClassNotFound, before anything is
// made, when it does not.
template <class T>
std::unique_ptr<T> CreateAs(const TClassInfo& cls) {
  if (!cls.InheritsFrom(T::StaticClassInfo()))
    throw EClassNotFound("Class " + cls.Name() + " is not a " + T::StaticClassInfo().Name());
  return std::unique_ptr<T>(static_cast<T*>(cls.Create().release()));
}

template <class T>
T& CreateChildAs(const TClassInfo& cls, TComponent& owner) {
  if (!cls.InheritsFrom(T::StaticClassInfo()))
    throw EClassNotFound("Class " + cls.Name() + " is not a " + T::StaticClassInfo().Name());
  return static_cast<T&>(cls.CreateChild(owner));
}

// Run-time access by name. Unknown names raise EPropertyError "Property %s does not exist".
const TPropInfo& GetPropInfo(const TPersistent& obj, std::string_view name);
TPropValue GetPropValue(const TPersistent& obj, std::string_view name);
void SetPropValue(TPersistent& obj, std::string_view name, const TPropValue& v);

namespace props_detail {

std::string UpperAscii(std::string_view s);

template <class M>
struct SetterArg;
template <class C, class R, class A>
struct SetterArg<R (C::*)(A)> {
  using type = std::remove_cvref_t<A>;
};
template <class C, class R, class A>
struct SetterArg<R (C::*)(A) noexcept> {
  using type = std::remove_cvref_t<A>;
};

template <class R>
decltype(auto) Deref(R&& r) {
  if constexpr (std::is_pointer_v<std::remove_cvref_t<R>>)
    return *r;
  else
    return std::forward<R>(r);
}
template <class R>
auto* AsPointer(R&& r) {
  if constexpr (std::is_pointer_v<std::remove_cvref_t<R>>)
    return r;
  else
    return &r;
}

template <class E>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<Set<E>> : std::true_type {};

// Values a table may give to Default(), as a TPropValue the builder then fits to the kind.
template <class V>
TPropValue DefaultValue(const V& v) {
  if constexpr (std::is_same_v<V, bool>)
    return TPropValue::Boolean(v);
  else if constexpr (std::is_enum_v<V>)
    return TPropValue::Enum(static_cast<int64_t>(v));
  else if constexpr (IsSet<V>::value)
    return TPropValue::SetBits(v.Bits());
  else if constexpr (std::is_integral_v<V>)
    return TPropValue::Integer(static_cast<int64_t>(v));
  else if constexpr (std::is_floating_point_v<V>)
    return TPropValue::FloatValue(static_cast<Extended>(v));
  else
    return TPropValue::String(WideString(v));
}

// Fits a default to the kind of its property (an integer 0 for a float, and so on).
TPropValue FitDefault(TPropKind kind, const TPropValue& v);
[[noreturn]] void RaiseInvalidReference(const std::string& prop);
// Keeps a finished description for the life of the process.
const TClassInfo& KeepClassInfo(std::unique_ptr<TClassInfo> info);

}  // namespace props_detail

template <class T>
class TClassBuilder {
  static_assert(std::is_base_of_v<TPersistent, T>);

 public:
  explicit TClassBuilder(std::string name) : FInfo(new TClassInfo) {
    FInfo->FName = std::move(name);
    if constexpr (!std::is_abstract_v<T>) {
      if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*>)
        FInfo->FFactory = [](TComponent* owner) -> TPersistent* { return new T(owner); };
      else if constexpr (!std::is_base_of_v<TComponent, T> && std::is_default_constructible_v<T>)
        FInfo->FFactory = [](TComponent*) -> TPersistent* { return new T(); };
    }
  }

  template <class P>
  TClassBuilder& Parent() {
    static_assert(std::is_base_of_v<P, T>);
    FInfo->FParent = &P::StaticClassInfo();
    return *this;
  }
  TClassBuilder& Factory(TClassInfo::TFactory f) {
    FInfo->FFactory = std::move(f);
    return *this;
  }
  // No instances by name (abstract bases).
  TClassBuilder& Abstract() {
    FInfo->FFactory = nullptr;
    return *this;
  }

  template <class G, class S>
  TClassBuilder& Integer(std::string name, G get, S set) {
    return Scalar(std::move(name), pkInteger, "Integer", get, set);
  }
  template <class G, class S>
  TClassBuilder& Color(std::string name, G get, S set) {
    return Scalar(std::move(name), pkInteger, "TColor", get, set);
  }
  template <class G, class S>
  TClassBuilder& Int64(std::string name, G get, S set) {
    return Scalar(std::move(name), pkInt64, "Int64", get, set);
  }
  template <class G, class S>
  TClassBuilder& Float(std::string name, G get, S set) {
    return Scalar(std::move(name), pkFloat, "Extended", get, set);
  }
  // The values a template may give the last float property; others are an error for that
  // attribute when a template is read (a coordinate of 1e63 is no position).
  TClassBuilder& Range(Extended min, Extended max) {
    Last().FHasRange = true;
    Last().FMin = min;
    Last().FMax = max;
    return *this;
  }
  template <class G, class S>
  TClassBuilder& Boolean(std::string name, G get, S set) {
    Scalar(std::move(name), pkBoolean, "Boolean", get, set);
    Last().FEnum = &BooleanInfo();
    return *this;
  }
  template <class G, class S>
  TClassBuilder& Enum(std::string name, G get, S set, const TEnumInfo& info) {
    Scalar(std::move(name), pkEnumeration, info.TypeName(), get, set);
    Last().FEnum = &info;
    return *this;
  }
  template <class G, class S>
  TClassBuilder& SetOf(std::string name, G get, S set, const TEnumInfo& info) {
    Scalar(std::move(name), pkSet, "set of " + info.TypeName(), get, set);
    Last().FEnum = &info;
    return *this;
  }
  template <class G, class S>
  TClassBuilder& String(std::string name, G get, S set) {
    return Scalar(std::move(name), pkString, "WideString", get, set);
  }
  template <class G, class S>
  TClassBuilder& Event(std::string name, G get, S set) {
    return Scalar(std::move(name), pkEvent, "TpgwNotifyEventName", get, set);
  }
  // The getter returns a Variant (by value or reference), the setter takes one; the class's
  // header includes platform/variant.h.
  template <class G, class S>
  TClassBuilder& VariantValue(std::string name, G get, S set) {
    auto& p = Add(std::move(name), pkVariant, "Variant");
    p.FGetter = [get](const TPersistent& o) { return TPropValue::FromVariant(std::invoke(get, Self(o))); };
    if constexpr (!std::is_null_pointer_v<S>)
      p.FSetter = [set](TPersistent& o, const TPropValue& v) { std::invoke(set, Self(o), *v.Var); };
    return *this;
  }
  // The getter returns the list the object holds (pointer or reference; const or not, but
  // not overloaded on const). Templates write it as "<Name>.Text". Without a setter
  // the list is changed in place; with one, the setter receives a `const TStringList&`.
  template <class G, class S = std::nullptr_t>
  TClassBuilder& StringList(std::string name, G get, S set = nullptr) {
    auto& p = Add(std::move(name), pkStringList, "TStrings");
    p.FGetter = [get](const TPersistent& o) {
      return TPropValue::Strings(
          const_cast<TStringList*>(props_detail::AsPointer(std::invoke(get, Held(o)))));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      p.FSetter = [set](TPersistent& o, const TPropValue& v) { std::invoke(set, Self(o), *v.List); };
    } else {
      // TPropInfo::Set assigns to the list the getter returns.
      p.FSetter = [](TPersistent&, const TPropValue&) {};
      p.FListInPlace = true;
    }
    return *this;
  }
  // A sub-object held by the object (pointer or reference getter). The setter, when given,
  // receives the source object as the setter's parameter type (usually Assign).
  template <class G, class S = std::nullptr_t>
  TClassBuilder& Object(std::string name, G get, S set = nullptr) {
    using R = std::remove_cvref_t<decltype(*props_detail::AsPointer(std::invoke(get, std::declval<T&>())))>;
    static_assert(std::is_base_of_v<TPersistent, R>);
    auto& p = Add(std::move(name), pkObject, "");  // type name: the class's, on demand
    p.FObjectClass = &R::StaticClassInfo;
    p.FGetter = [get](const TPersistent& o) {
      return TPropValue::Object(const_cast<R*>(props_detail::AsPointer(std::invoke(get, Held(o)))));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      using A = typename props_detail::SetterArg<S>::type;
      p.FSetter = [set, prop = p.FName](TPersistent& o, const TPropValue& v) {
        if constexpr (std::is_pointer_v<A>) {
          auto* src = dynamic_cast<A>(v.Obj);
          if (v.Obj && !src) props_detail::RaiseInvalidReference(prop);
          std::invoke(set, Self(o), src);
        } else {
          auto* src = dynamic_cast<const A*>(v.Obj);
          if (!src) props_detail::RaiseInvalidReference(prop);
          std::invoke(set, Self(o), *src);
        }
      };
    }
    return *this;
  }
  // A non-owning pointer to another component; the setter takes a pointer of the target
  // class, and a value of another class is refused.
  template <class G, class S>
  TClassBuilder& Reference(std::string name, G get, S set) {
    using R =
        std::remove_cvref_t<std::remove_pointer_t<decltype(std::invoke(get, std::declval<const T&>()))>>;
    static_assert(std::is_base_of_v<TPersistent, R>);
    auto& p = Add(std::move(name), pkReference, "");
    p.FObjectClass = &R::StaticClassInfo;
    p.FGetter = [get](const TPersistent& o) {
      return TPropValue::Object(const_cast<R*>(static_cast<const R*>(std::invoke(get, Self(o)))));
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      using A = typename props_detail::SetterArg<S>::type;
      static_assert(std::is_pointer_v<A>);
      p.FSetter = [set, prop = p.FName](TPersistent& o, const TPropValue& v) {
        auto* target = dynamic_cast<A>(v.Obj);
        if (v.Obj && !target) props_detail::RaiseInvalidReference(prop);
        std::invoke(set, Self(o), target);
      };
    }
    return *this;
  }

  // Modifiers of the property added last.
  template <class V>
  TClassBuilder& Default(const V& v) {
    auto& p = Last();
    p.FHasDefault = true;
    p.FDefault = props_detail::FitDefault(p.FKind, props_detail::DefaultValue(v));
    return *this;
  }
  TClassBuilder& Stored(bool stored) {
    Last().FStored = [stored](const TPersistent&) { return stored; };
    return *this;
  }
  // A test operation (`bool (T::*)() const`) or a Boolean field (`bool T::*`) of the class.
  template <class M>
  TClassBuilder& Stored(M test) {
    Last().FStored = [test](const TPersistent& o) { return static_cast<bool>(std::invoke(test, Self(o))); };
    return *this;
  }

  // Finishes the table. The description lives until the process ends (a function-local
  // `static const TClassInfo& info = Describe<T>(...)....Build();` keeps it).
  const TClassInfo& Build() {
    TClassInfo& c = *FInfo;
    if (c.FParent) c.FAll = c.FParent->FAll;
    for (auto& own : c.FOwn) {
      own->FDeclaring = FInfo.get();
      bool replaced = false;
      for (auto& inherited : c.FAll) {
        if (SameAsciiText(inherited->FName, own->FName)) {
          own->FIndex = inherited->FIndex;
          inherited = own.get();
          replaced = true;
          break;
        }
      }
      if (!replaced) {
        own->FIndex = static_cast<int>(c.FAll.size());
        c.FAll.push_back(own.get());
      }
    }
    for (const TPropInfo* p : c.FAll) c.FIndex[p->FName] = p;
    return props_detail::KeepClassInfo(std::move(FInfo));
  }

 private:
  static const T& Self(const TPersistent& o) { return static_cast<const T&>(o); }
  static T& Self(TPersistent& o) { return static_cast<T&>(o); }
  // Getters of held lists and sub-objects may be non-const: what they return is changed
  // through the property anyway.
  static T& Held(const TPersistent& o) { return const_cast<T&>(static_cast<const T&>(o)); }

  TPropInfo& Last() { return *FInfo->FOwn.back(); }

  TPropInfo& Add(std::string name, TPropKind kind, std::string typeName) {
    auto p = std::make_unique<TPropInfo>();
    p->FName = std::move(name);
    p->FWideName.assign(p->FName.begin(), p->FName.end());
    p->FKind = kind;
    p->FTypeName = std::move(typeName);
    FInfo->FOwn.push_back(std::move(p));
    return *FInfo->FOwn.back();
  }

  // Integer, float, Boolean, enumeration, set, string and event properties.
  template <class G, class S>
  TClassBuilder& Scalar(std::string name, TPropKind kind, std::string typeName, G get, S set) {
    auto& p = Add(std::move(name), kind, std::move(typeName));
    p.FGetter = [get, kind](const TPersistent& o) -> TPropValue {
      (void)kind;  // only enumerations look at it
      decltype(auto) r = std::invoke(get, Self(o));
      using R = std::remove_cvref_t<decltype(r)>;
      if constexpr (props_detail::IsSet<R>::value) {
        return TPropValue::SetBits(r.Bits());
      } else if constexpr (std::is_enum_v<R>) {
        return kind == pkBoolean ? TPropValue::Boolean(static_cast<int64_t>(r) != 0)
                                 : TPropValue::Enum(static_cast<int64_t>(r));
      } else if constexpr (std::is_same_v<R, bool>) {
        return TPropValue::Boolean(r);
      } else if constexpr (std::is_integral_v<R>) {
        return TPropValue::Integer(static_cast<int64_t>(r));
      } else if constexpr (std::is_floating_point_v<R>) {
        return TPropValue::FloatValue(static_cast<Extended>(r));
      } else {
        return TPropValue::String(WideString(r));
      }
    };
    if constexpr (!std::is_null_pointer_v<S>) {
      using A = typename props_detail::SetterArg<S>::type;
      p.FSetter = [set](TPersistent& o, const TPropValue& v) {
        // `v` is in the canonical form of the kind (TPropInfo::Set converts first).
        if constexpr (props_detail::IsSet<A>::value)
          std::invoke(set, Self(o), A::FromBits(v.Bits));
        else if constexpr (std::is_enum_v<A>)
          std::invoke(set, Self(o), static_cast<A>(v.Int));
        else if constexpr (std::is_same_v<A, bool>)
          std::invoke(set, Self(o), v.Int != 0);
        else if constexpr (std::is_integral_v<A>)
          std::invoke(set, Self(o), static_cast<A>(v.Int));
        else if constexpr (std::is_floating_point_v<A>)
          std::invoke(set, Self(o), static_cast<A>(v.Float));
        else
          std::invoke(set, Self(o), v.Str);
      };
    }
    return *this;
  }

  std::unique_ptr<TClassInfo> FInfo;
};

template <class T>
TClassBuilder<T> Describe(std::string name) {
  return TClassBuilder<T>(std::move(name));
}

// The process-wide class registry: class name (case-insensitive) to description. Written
// during start-up only.
class TClassRegistry {
 public:
  // Registering a class again (or another class of the same name) changes nothing.
  void Register(const TClassInfo& cls);
  const TClassInfo* Find(std::string_view name) const;
  const TClassInfo* Find(std::u16string_view name) const;
  // Raises EClassNotFound "Class %s not found".
  const TClassInfo& Get(std::string_view name) const;
  // A new component of the named class, held by `owner` (its owner list, or the parent node
  // for report nodes). Raises EClassNotFound for unknown classes, for classes without
  // factory and for classes that are not components.
  TComponent& CreateChild(std::string_view name, TComponent& owner) const;
  // A new object of the named class without owner; the caller holds it.
  std::unique_ptr<TPersistent> Create(std::string_view name) const;
  // In registration order.
  const std::vector<const TClassInfo*>& Classes() const { return FClasses; }

 private:
  std::vector<const TClassInfo*> FClasses;
  std::unordered_map<std::string, const TClassInfo*, TAsciiCaseHash, TAsciiCaseEqual> FIndex;
};

TClassRegistry& ClassRegistry();

// Registers the runtime's own classes (TComponent, TDataSet, TMemTable). Part of the
// start-up list.
void RegisterPlatformClasses();

}  // namespace pagewright
