#include "platform/properties.h"

#include <deque>
#include <limits>
#include <mutex>

#include "platform/exceptions.h"
#include "platform/mem_table.h"
#include "platform/string_list.h"
#include "platform/unicode.h"
#include "platform/variant.h"

namespace pagewright {

namespace {
char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
}  // namespace

bool SameAsciiText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

size_t TAsciiCaseHash::operator()(std::string_view s) const noexcept {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : s) h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
  return static_cast<size_t>(h);
}

namespace {

// Room for the names of properties and classes without a heap copy.
constexpr size_t kShortName = 64;

// An ASCII name as narrow text: in `buf` when it fits, else in `spill`; a view without data for a
// name that is not ASCII.
std::string_view NarrowName(std::u16string_view s, char (&buf)[kShortName], std::string& spill) {
  char* out = buf;
  if (s.size() > kShortName) {
    spill.resize(s.size());
    out = spill.data();
  }
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0x80) return {};
    out[i] = static_cast<char>(s[i]);
  }
  return {out, s.size()};
}


[[noreturn]] void RaiseInvalidValue() {
  throw EPropertyError("Invalid property value");
}

[[noreturn]] void RaiseInvalidType(const TPropInfo& p) {
  throw EPropertyError("Invalid property type: " + p.Name());
}

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

namespace props_detail {

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return out;
}

TPropValue FitDefault(TPropKind kind, const TPropValue& v) {
  switch (kind) {
    case pkInteger:
    case pkInt64:
      return TPropValue::Integer(v.Kind == TPropValue::pvSet ? static_cast<int64_t>(v.Bits) : v.Int);
    case pkFloat:
      return TPropValue::FloatValue(v.Kind == TPropValue::pvFloat ? v.Float : static_cast<Extended>(v.Int));
    case pkBoolean:
      return TPropValue::Boolean(v.Int != 0);
    case pkEnumeration:
      return TPropValue::Enum(v.Int);
    case pkSet:
      return TPropValue::SetBits(v.Kind == TPropValue::pvSet ? v.Bits : static_cast<uint64_t>(v.Int));
    case pkString:
    case pkEvent:
      return TPropValue::String(v.Str);
    default:
      return v;
  }
}

void RaiseInvalidReference(const std::string& prop) {
  throw EPropertyError("Invalid property value");
}

const TClassInfo& KeepClassInfo(std::unique_ptr<TClassInfo> info) {
  static std::mutex lock;
  static std::deque<std::unique_ptr<TClassInfo>> kept;
  std::lock_guard<std::mutex> guard(lock);
  kept.push_back(std::move(info));
  return *kept.back();
}

}  // namespace props_detail

// ---- enumerations and sets ----

TEnumInfo::TEnumInfo(std::string typeName, std::vector<std::string> names)
    : FTypeName(std::move(typeName)), FNames(std::move(names)) {
  for (const std::string& n : FNames) FWideNames.emplace_back(n.begin(), n.end());
}

const WideString& TEnumInfo::WideName(int64_t ordinal) const {
  static const WideString empty;
  if (ordinal < 0 || ordinal >= Count()) return empty;
  return FWideNames[static_cast<size_t>(ordinal)];
}

const std::string& TEnumInfo::Name(int64_t ordinal) const {
  static const std::string empty;
  if (ordinal < 0 || ordinal >= Count()) return empty;
  return FNames[static_cast<size_t>(ordinal)];
}

int TEnumInfo::Ordinal(std::string_view name) const {
  for (size_t i = 0; i < FNames.size(); ++i)
    if (SameAsciiText(FNames[i], name)) return static_cast<int>(i);
  return -1;
}

int TEnumInfo::Ordinal(std::u16string_view name) const {
  char buf[kShortName];
  std::string ascii;
  const std::string_view n = NarrowName(name, buf, ascii);
  return n.data() ? Ordinal(n) : -1;
}

uint64_t TEnumInfo::AllBits() const {
  return Count() >= 64 ? ~uint64_t{0} : (uint64_t{1} << Count()) - 1;
}

const TEnumInfo& BooleanInfo() {
  static const TEnumInfo info("Boolean", {"False", "True"});
  return info;
}

WideString SetToString(const TEnumInfo& info, uint64_t bits) {
  WideString out = u"[";
  bool first = true;
  for (int i = 0; i < info.Count() && i < 64; ++i) {
    if (!(bits & (uint64_t{1} << i))) continue;
    if (!first) out += u',';
    first = false;
    for (char c : info.Name(i)) out += static_cast<char16_t>(c);
  }
  out += u']';
  return out;
}

uint64_t StringToSet(const TEnumInfo& info, std::u16string_view text) {
  std::u16string_view s = TrimBlanks(text);
  if (!s.empty() && s.front() == u'[') s.remove_prefix(1);
  if (!s.empty() && s.back() == u']') s.remove_suffix(1);
  uint64_t bits = 0;
  if (TrimBlanks(s).empty()) return 0;
  while (true) {
    size_t comma = s.find(u',');
    std::u16string_view item = TrimBlanks(s.substr(0, comma));
    int ord = info.Ordinal(item);
    if (ord < 0 || ord >= 64) throw EPropertyError("Invalid property element: " + Utf16ToUtf8(item));
    bits |= uint64_t{1} << ord;
    if (comma == std::u16string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return bits;
}

// ---- values ----

TPropValue TPropValue::Integer(int64_t v) {
  TPropValue r;
  r.Kind = pvInteger;
  r.Int = v;
  return r;
}
TPropValue TPropValue::FloatValue(Extended v) {
  TPropValue r;
  r.Kind = pvFloat;
  r.Float = v;
  return r;
}
TPropValue TPropValue::Boolean(bool v) {
  TPropValue r;
  r.Kind = pvBoolean;
  r.Int = v ? 1 : 0;
  return r;
}
TPropValue TPropValue::String(WideString v) {
  TPropValue r;
  r.Kind = pvString;
  r.Str = std::move(v);
  return r;
}
TPropValue TPropValue::Enum(int64_t ordinal) {
  TPropValue r;
  r.Kind = pvEnum;
  r.Int = ordinal;
  return r;
}
TPropValue TPropValue::SetBits(uint64_t bits) {
  TPropValue r;
  r.Kind = pvSet;
  r.Bits = bits;
  return r;
}
TPropValue TPropValue::Object(TPersistent* obj) {
  TPropValue r;
  r.Kind = pvObject;
  r.Obj = obj;
  return r;
}
TPropValue TPropValue::Strings(TStringList* list) {
  TPropValue r;
  r.Kind = pvStrings;
  r.List = list;
  return r;
}

TPropValue TPropValue::FromVariant(const Variant& v) {
  TPropValue r;
  r.Kind = pvVariant;
  r.Var = std::make_shared<const Variant>(v);
  return r;
}

bool TPropValue::operator==(const TPropValue& o) const {
  if (Kind != o.Kind) return false;
  switch (Kind) {
    case pvNone:
      return true;
    case pvInteger:
    case pvBoolean:
    case pvEnum:
      return Int == o.Int;
    case pvFloat:
      return Float == o.Float;
    case pvString:
      return Str == o.Str;
    case pvSet:
      return Bits == o.Bits;
    case pvObject:
      return Obj == o.Obj;
    case pvStrings:
      return List == o.List;
    case pvVariant:
      return Var == o.Var ||
             (Var && o.Var && Var->Kind() == o.Var->Kind() && VarToStr(*Var) == VarToStr(*o.Var));
  }
  return false;
}

// ---- property access ----

const std::string& TPropInfo::TypeName() const {
  return FTypeName.empty() && FObjectClass ? FObjectClass().Name() : FTypeName;
}

TPropValue TPropInfo::Get(const TPersistent& obj) const {
  return FGetter(obj);
}

bool TPropInfo::IsStored(const TPersistent& obj) const {
  return !FStored || FStored(obj);
}

bool TPropInfo::IsDefaultValue(const TPersistent& obj) const {
  switch (FKind) {
    case pkInteger:
    case pkInt64:
    case pkBoolean:
    case pkEnumeration:
    case pkSet:
      return FHasDefault && Get(obj) == FDefault;
    case pkString:
    case pkEvent:
      return Get(obj).Str.empty();
    case pkReference:
      return Get(obj).Obj == nullptr;
    case pkVariant:
      return VarToStr(*Get(obj).Var).empty();
    default:
      return false;
  }
}

void TPropInfo::Set(TPersistent& obj, const TPropValue& v) const {
  if (!FSetter) throw EPropertyError("Property is read-only");
  using V = TPropValue;
  const bool ordinal = v.Kind == V::pvInteger || v.Kind == V::pvEnum || v.Kind == V::pvBoolean;
  switch (FKind) {
    case pkInteger: {
      if (!ordinal) RaiseInvalidType(*this);
      // Unsigned 32-bit text ($FFFFFFFF colours) wraps like the runtime's integer conversion.
      if (v.Int < std::numeric_limits<int32_t>::min() || v.Int > int64_t{0xFFFFFFFF}) RaiseInvalidValue();
      FSetter(obj, V::Integer(static_cast<int32_t>(static_cast<uint32_t>(v.Int))));
      return;
    }
    case pkInt64:
      if (!ordinal) RaiseInvalidType(*this);
      FSetter(obj, V::Integer(v.Int));
      return;
    case pkFloat:
      if (v.Kind == V::pvFloat)
        FSetter(obj, v);
      else if (v.Kind == V::pvInteger)
        FSetter(obj, V::FloatValue(static_cast<Extended>(v.Int)));
      else
        RaiseInvalidType(*this);
      return;
    case pkBoolean:
    case pkEnumeration: {
      int64_t ord;
      if (ordinal)
        ord = v.Int;
      else if (v.Kind == V::pvString)
        ord = FEnum->Ordinal(std::u16string_view(v.Str));
      else
        RaiseInvalidType(*this);
      if (ord < 0 || ord >= FEnum->Count()) RaiseInvalidValue();
      FSetter(obj, FKind == pkBoolean ? V::Boolean(ord != 0) : V::Enum(ord));
      return;
    }
    case pkSet: {
      uint64_t bits;
      if (v.Kind == V::pvSet)
        bits = v.Bits;
      else if (v.Kind == V::pvInteger && v.Int >= 0)
        bits = static_cast<uint64_t>(v.Int);
      else if (v.Kind == V::pvString)
        bits = StringToSet(*FEnum, v.Str);
      else
        RaiseInvalidType(*this);
      if (bits & ~FEnum->AllBits()) RaiseInvalidValue();
      FSetter(obj, V::SetBits(bits));
      return;
    }
    case pkString:
    case pkEvent:
      if (v.Kind != V::pvString) RaiseInvalidType(*this);
      FSetter(obj, v);
      return;
    case pkStringList: {
      TStringList* target = Get(obj).List;
      TStringList text;
      const TStringList* source;
      if (v.Kind == V::pvStrings && v.List) {
        source = v.List;
      } else if (v.Kind == V::pvString) {
        text.SetText(v.Str);
        source = &text;
      } else {
        RaiseInvalidType(*this);
      }
      if (FListInPlace) {
        if (target && target != source) target->Assign(*source);
      } else {
        FSetter(obj, V::Strings(const_cast<TStringList*>(source)));
      }
      return;
    }
    case pkVariant:
      switch (v.Kind) {
        case V::pvVariant:
          if (!v.Var) RaiseInvalidType(*this);
          FSetter(obj, v);
          return;
        case V::pvNone:
          FSetter(obj, V::FromVariant(Variant::Null()));
          return;
        case V::pvInteger:
        case V::pvEnum:
          FSetter(obj, V::FromVariant(Variant(v.Int)));
          return;
        case V::pvBoolean:
          FSetter(obj, V::FromVariant(Variant(v.Int != 0)));
          return;
        case V::pvFloat:
          FSetter(obj, V::FromVariant(Variant(v.Float)));
          return;
        case V::pvString:
          FSetter(obj, V::FromVariant(Variant(v.Str)));
          return;
        default:
          RaiseInvalidType(*this);
      }
    case pkObject:
    case pkReference:
      if (v.Kind == V::pvObject || (FKind == pkReference && v.Kind == V::pvNone))
        FSetter(obj, V::Object(v.Obj));
      else
        RaiseInvalidType(*this);
      return;
  }
}

// ---- classes ----

bool TClassInfo::InheritsFrom(const TClassInfo& cls) const {
  for (const TClassInfo* c = this; c; c = c->FParent)
    if (c == &cls) return true;
  return false;
}

bool TClassInfo::IsComponent() const {
  return InheritsFrom(TComponent::StaticClassInfo());
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
  auto it = FIndex.find(name);
  return it == FIndex.end() ? nullptr : it->second;
}

const TPropInfo* TClassInfo::FindProperty(std::u16string_view name) const {
  char buf[kShortName];
  std::string ascii;
  const std::string_view n = NarrowName(name, buf, ascii);
  return n.data() ? FindProperty(n) : nullptr;
}

std::unique_ptr<TPersistent> TClassInfo::Create() const {
  if (!FFactory) throw EClassNotFound("Cannot create an instance of class " + FName);
  return std::unique_ptr<TPersistent>(FFactory(nullptr));
}

TComponent& TClassInfo::CreateChild(TComponent& owner) const {
  if (!FFactory) throw EClassNotFound("Cannot create an instance of class " + FName);
  if (!IsComponent()) throw EClassNotFound("Class " + FName + " is not a component class");
  // A component's constructor puts it into its owner's keeping.
  return *static_cast<TComponent*>(FFactory(&owner));
}

const TPropInfo& GetPropInfo(const TPersistent& obj, std::string_view name) {
  const TPropInfo* p = obj.ClassInfo().FindProperty(name);
  if (!p) throw EPropertyError("Property " + std::string(name) + " does not exist");
  return *p;
}

TPropValue GetPropValue(const TPersistent& obj, std::string_view name) {
  return GetPropInfo(obj, name).Get(obj);
}

void SetPropValue(TPersistent& obj, std::string_view name, const TPropValue& v) {
  GetPropInfo(obj, name).Set(obj, v);
}

// ---- registry ----

void TClassRegistry::Register(const TClassInfo& cls) {
  if (FIndex.emplace(cls.Name(), &cls).second) FClasses.push_back(&cls);
}

const TClassInfo* TClassRegistry::Find(std::string_view name) const {
  auto it = FIndex.find(name);
  return it == FIndex.end() ? nullptr : it->second;
}

const TClassInfo* TClassRegistry::Find(std::u16string_view name) const {
  char buf[kShortName];
  std::string ascii;
  const std::string_view n = NarrowName(name, buf, ascii);
  return n.data() ? Find(n) : nullptr;
}

const TClassInfo& TClassRegistry::Get(std::string_view name) const {
  const TClassInfo* c = Find(name);
  if (!c) throw EClassNotFound("Class " + std::string(name) + " not found");
  return *c;
}

TComponent& TClassRegistry::CreateChild(std::string_view name, TComponent& owner) const {
  return Get(name).CreateChild(owner);
}

std::unique_ptr<TPersistent> TClassRegistry::Create(std::string_view name) const {
  return Get(name).Create();
}

TClassRegistry& ClassRegistry() {
  static TClassRegistry registry;
  return registry;
}

void RegisterPlatformClasses() {
  ClassRegistry().Register(TComponent::StaticClassInfo());
  ClassRegistry().Register(TDataSet::StaticClassInfo());
  ClassRegistry().Register(TMemTable::StaticClassInfo());
}

}  // namespace pagewright
