// What a host gives scripts: variables, constants, types, enumerations, functions and classes
// with properties and methods; and calling script routines from the host.
#include "script/interpreter.h"

#include "platform/component.h"
#include "platform/properties.h"
#include "platform/string_list.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"

namespace pagewright {

namespace {

bool IsIdentChar(char16_t c, bool first) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c >= 0x80 ||
         (!first && c >= u'0' && c <= u'9');
}

// The tokens of a declaration text: words, numbers, quoted strings (with their quotes) and
// single punctuation characters.
std::vector<WideString> Tokens(std::u16string_view s) {
  std::vector<WideString> out;
  size_t i = 0;
  while (i < s.size()) {
    char16_t c = s[i];
    if (c <= u' ') {
      ++i;
    } else if (IsIdentChar(c, true)) {
      size_t j = i;
      while (j < s.size() && IsIdentChar(s[j], false)) ++j;
      out.emplace_back(s.substr(i, j - i));
      i = j;
    } else if ((c >= u'0' && c <= u'9') || c == u'$') {
      size_t j = i + 1;
      while (j < s.size() && (IsIdentChar(s[j], false) || s[j] == u'.')) ++j;
      out.emplace_back(s.substr(i, j - i));
      i = j;
    } else if (c == u'\'') {
      size_t j = i + 1;
      while (j < s.size() && s[j] != u'\'') ++j;
      out.emplace_back(s.substr(i, std::min(j + 1, s.size()) - i));
      i = j + 1;
    } else {
      out.emplace_back(1, c);
      ++i;
    }
  }
  return out;
}

Variant NumberValue(const WideString& token, bool negative) {
  std::string s = Utf16ToUtf8(token);
  try {
    if (s.find_first_of(".eE") != std::string::npos && s[0] != '$') {
      double d = std::stod(s);
      return Variant(negative ? -d : d);
    }
    int64_t v = s[0] == '$' ? static_cast<int64_t>(std::stoull(s.substr(1), nullptr, 16)) : std::stoll(s);
    if (negative) v = -v;
    if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
    return Variant::FromInt64(v);
  } catch (const std::exception&) {
    return Variant::Null();
  }
}

TvmVarType TypeCode(const TvmScript* prog, const WideString& name, WideString* fullName = nullptr) {
  if (fullName) *fullName = name;
  TvmVarType typ;
  TvmCustomVariable* item = prog->Find(name);
  if (item &&
      (dynamic_cast<TvmTypeVariable*>(item) || dynamic_cast<TvmClassVariable*>(item) || item->Typ == fvtEnum))
    return item->Typ;
  if (BuiltinTypeCode(name, typ)) return typ;
  return fvtClass;
}

// Reads a declaration ("function Name(a: Integer; var b: String = 'x'): Boolean") into an
// item's name, type, macro flag and parameters.
void ReadDeclaration(const TvmScript* prog, const WideString& syntax, TvmCustomVariable* item) {
  std::vector<WideString> t = Tokens(syntax);
  size_t i = 0;
  if (i < t.size()) {
    WideString first = LowerCase(t[i++]);
    if (first.rfind(u"macro", 0) == 0) item->IsMacro = true;
  }
  if (i < t.size()) item->Name = t[i++];
  item->Typ = fvtVariant;
  item->TypeName = u"Variant";
  size_t lastColon = WideString::npos;
  int depth = 0;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] == u"(") ++depth;
    if (t[k] == u")") --depth;
    if (t[k] == u":" && depth == 0) lastColon = k;
  }
  if (lastColon != WideString::npos && lastColon + 1 < t.size())
    item->Typ = TypeCode(prog, t[lastColon + 1], &item->TypeName);
  if (i < t.size() && t[i] == u"(") {
    ++i;
    while (i < t.size() && t[i] != u")") {
      bool byRef = false;
      if (SameText(t[i], u"var")) {
        byRef = true;
        ++i;
      } else if (SameText(t[i], u"const")) {
        ++i;
      }
      std::vector<WideString> names;
      while (i < t.size() && t[i] != u":" && t[i] != u";" && t[i] != u")") {
        if (t[i] != u",") names.push_back(t[i]);
        ++i;
      }
      WideString typeName = u"Variant";
      if (i < t.size() && t[i] == u":" && i + 1 < t.size()) {
        typeName = t[i + 1];
        i += 2;
      }
      bool hasDefault = false;
      Variant def = Variant::Null();
      if (i < t.size() && t[i] == u"=") {
        hasDefault = true;
        ++i;
        bool negative = false;
        if (i < t.size() && t[i] == u"-") {
          negative = true;
          ++i;
        }
        if (i < t.size()) {
          const WideString& v = t[i++];
          if (v[0] == u'\'')
            def = Variant(v.size() >= 2 ? v.substr(1, v.size() - 2) : WideString());
          else if ((v[0] >= u'0' && v[0] <= u'9') || v[0] == u'$')
            def = NumberValue(v, negative);
          else if (TvmCustomVariable* known = prog->Find(v))
            def = known->GetValue();
        }
      }
      for (size_t n = 0; n < names.size(); ++n) {
        auto p = std::make_unique<TvmParamItem>();
        p->Name = names[n];
        p->Typ = TypeCode(prog, typeName, &p->TypeName);
        p->IsVarParam = byRef;
        if (hasDefault && n + 1 == names.size()) {
          p->IsOptional = true;
          p->DefValue = def;
          p->Value = def;
        }
        item->Params.push_back(p.get());
        item->OwnedParams.push_back(std::move(p));
      }
      if (i < t.size() && t[i] == u";") ++i;
    }
  }
}

Variant PropToVariant(const TPropInfo& info, const TPropValue& v) {
  switch (v.Kind) {
    case TPropValue::pvNone:
      return Variant::Null();
    case TPropValue::pvInteger:
      if (info.Kind() == pkInt64) return Variant::FromInt64(v.Int);
      return Variant(static_cast<int32_t>(v.Int));
    case TPropValue::pvFloat:
      return Variant(static_cast<double>(v.Float));
    case TPropValue::pvBoolean:
      return Variant(v.Int != 0);
    case TPropValue::pvString:
      return Variant(v.Str);
    case TPropValue::pvEnum:
      return Variant(static_cast<int32_t>(v.Int));
    case TPropValue::pvSet:
      return Variant(static_cast<int32_t>(v.Bits));
    case TPropValue::pvObject:
      return Variant::FromObject(v.Obj);
    case TPropValue::pvStrings:
      return v.List ? Variant(v.List->Text()) : Variant(WideString());
    case TPropValue::pvVariant:
      return v.Var ? *v.Var : Variant::Null();
  }
  return Variant::Null();
}

TPropValue VariantToProp(const TPropInfo& info, const Variant& v) {
  switch (info.Kind()) {
    case pkInteger:
    case pkInt64:
      return TPropValue::Integer(v.AsInt64());
    case pkFloat:
      return TPropValue::FloatValue(v.AsExtended());
    case pkBoolean:
      return TPropValue::Boolean(VarCompare(v, Variant(true), voCmpEq));
    case pkEnumeration:
      return TPropValue::Enum(v.AsInteger());
    case pkSet: {
      if (!v.IsArray()) return TPropValue::SetBits(static_cast<uint64_t>(v.AsInt64()));
      // A set literal of ordinals (members registered with their bits come as the union of
      // those, an integer): each element, or each range low, Null, high.
      uint64_t bits = 0;
      auto ordinal = [](const Variant& e) {
        int64_t o = e.AsInt64();
        if (o < 0 || o > 63) throw ERangeError("Set element " + std::to_string(o) + " out of range");
        return static_cast<int>(o);
      };
      for (int i = VarArrayLowBound(v, 1), hi = VarArrayHighBound(v, 1); i <= hi; ++i) {
        int low = ordinal(v.GetElement({i}));
        int high = low;
        if (i + 2 <= hi && v.GetElement({i + 1}).IsNull()) {
          high = ordinal(v.GetElement({i + 2}));
          i += 2;
        }
        for (int o = low; o <= high; ++o) bits |= uint64_t{1} << o;
      }
      return TPropValue::SetBits(bits);
    }
    case pkString:
    case pkEvent:
      return TPropValue::String(VarToStr(v));
    case pkObject:
    case pkReference:
      return TPropValue::Object(v.IsNull() ? nullptr : v.AsObject());
    case pkVariant:
      return TPropValue::FromVariant(v);
    case pkStringList:
      return TPropValue::String(VarToStr(v));
  }
  return TPropValue::FromVariant(v);
}

TvmVarType PropTypeCode(const TPropInfo& info) {
  switch (info.Kind()) {
    case pkInteger:
      return fvtInt;
    case pkInt64:
      return fvtInt64;
    case pkFloat:
      return fvtFloat;
    case pkBoolean:
      return fvtBool;
    case pkEnumeration:
      return fvtInt;
    case pkSet:
      return fvtInt;
    case pkString:
    case pkEvent:
    case pkStringList:
      return fvtString;
    case pkObject:
    case pkReference:
      return info.ObjectClass() ? fvtClass : fvtVariant;
    case pkVariant:
      return fvtVariant;
  }
  return fvtVariant;
}

}  // namespace

// ---- Host members ----------------------------------------------------------------------------

Variant TvmPropertyHelper::GetValue() {
  TPersistent* obj = Instance();
  if (Published) {
    if (!obj) throw EAccessViolation("Property " + Utf16ToUtf8(Name) + " read without an object");
    return PropToVariant(*Published, Published->Get(*obj));
  }
  if (OnGetValueNew) return OnGetValueNew(obj, ClassRef, WideUpperCase(Name), *this);
  if (OnGetValue) return OnGetValue(obj, ClassRef, WideUpperCase(Name));
  return Variant::Null();
}

void TvmPropertyHelper::SetValue(const Variant& v) {
  TPersistent* obj = Instance();
  if (Published) {
    if (!obj) throw EAccessViolation("Property " + Utf16ToUtf8(Name) + " written without an object");
    Published->Set(*obj, VariantToProp(*Published, v));
    return;
  }
  if (OnSetValueNew)
    OnSetValueNew(obj, ClassRef, WideUpperCase(Name), *this, v);
  else if (OnSetValue)
    OnSetValue(obj, ClassRef, WideUpperCase(Name), v);
}

Variant TvmMethodHelper::GetValue() {
  if (OnCallNew) {
    // The callback reads the parameters' values and writes by-reference results into them.
    WideString name = WideUpperCase(Name);
    if (IndexMethod) name += u".GET";
    return OnCallNew(Instance(), ClassRef, name, *this);
  }
  if (!OnCall) return Variant(0);
  FArgs.clear();
  for (auto* p : Params) FArgs.push_back(p->Value);
  WideString name = WideUpperCase(Name);
  if (IndexMethod) name += u".GET";
  Variant r = OnCall(Instance(), ClassRef, name, FArgs);
  for (size_t i = 0; i < Params.size() && i < FArgs.size(); ++i)
    if (Params[i]->IsVarParam) Params[i]->Value = FArgs[i];
  FArgs.clear();
  return r;
}

void TvmMethodHelper::SetValue(const Variant& v) {
  if (OnCallNew && IndexMethod) {
    SetValueArg = v;
    struct Reset {
      Variant& arg;
      ~Reset() { arg = Variant::Null(); }
    } reset{SetValueArg};
    OnCallNew(Instance(), ClassRef, WideUpperCase(Name) + u".SET", *this);
    return;
  }
  if (!OnCall || !IndexMethod) return;
  FArgs.clear();
  for (auto* p : Params) FArgs.push_back(p->Value);
  FArgs.push_back(v);
  OnCall(Instance(), ClassRef, WideUpperCase(Name) + u".SET", FArgs);
  FArgs.clear();
}

Variant TvmComponentHelper::GetValue() {
  auto* owner = dynamic_cast<TComponent*>(Instance());
  TComponent* c = owner ? owner->FindComponent(Name) : nullptr;
  if (!c) throw EComponentError("Component with name " + Utf16ToUtf8(Name) + " not found");
  return Variant::FromObject(c);
}

void TvmComponentHelper::SetValue(const Variant&) {
  throw EComponentError("Can not assign value to component field " + Utf16ToUtf8(Name));
}

TvmComponentHelper* TvmClassVariable::AddComponent(const WideString& name, const WideString& className) {
  auto h = std::make_unique<TvmComponentHelper>();
  h->Name = name;
  h->TypeName = className;
  h->Typ = FProg->FindClass(className) ? fvtClass : fvtVariant;
  h->ClassRef = this;
  TvmComponentHelper* raw = h.get();
  Members.push_back(std::move(h));
  return raw;
}

// ---- Host classes ----------------------------------------------------------------------------

TvmClassVariable::TvmClassVariable(TvmScript* prog, const TClassInfo* info, WideString name,
                                   WideString ancestor)
    : ClassRef(info), Ancestor(std::move(ancestor)), FProg(prog) {
  Name = std::move(name);
  Typ = fvtClass;
  TypeName = Name;
  // A class name with one argument is a type cast.
  auto p = std::make_unique<TvmParamItem>();
  p->Typ = fvtVariant;
  p->IsOptional = true;
  Params.push_back(p.get());
  OwnedParams.push_back(std::move(p));
}

Variant TvmClassVariable::GetValue() {
  Variant v = Params[0]->Value;
  Params[0]->Value = Variant::Null();
  return v;
}

TvmCustomHelper* TvmClassVariable::Find(std::u16string_view name, bool includeComponentHelper) {
  for (auto& m : Members)
    if (SameText(m->Name, name) && (includeComponentHelper || !dynamic_cast<TvmComponentHelper*>(m.get())))
      return m.get();
  TvmClassVariable* cls = this;
  for (int guard = 0; cls && guard < 100; ++guard) {
    if (cls != this)
      for (auto& m : cls->Members)
        if (SameText(m->Name, name) && !dynamic_cast<TvmComponentHelper*>(m.get())) return m.get();
    if (cls->Ancestor.empty()) break;
    cls = FProg->FindClass(cls->Ancestor);
  }
  return nullptr;
}

bool TvmClassVariable::InheritsFrom(std::u16string_view className) {
  TvmClassVariable* cls = this;
  for (int guard = 0; cls && guard < 100; ++guard) {
    if (SameText(cls->Name, className)) return true;
    if (cls->Ancestor.empty()) break;
    cls = FProg->FindClass(cls->Ancestor);
  }
  return false;
}

TvmMethodHelper* TvmClassVariable::AddMethod(const WideString& syntax, TvmCallMethodEvent callEvent) {
  auto m = std::make_unique<TvmMethodHelper>();
  ReadDeclaration(FProg, syntax, m.get());
  m->Syntax = syntax;
  m->Description = m->Name;
  m->OnCall = std::move(callEvent);
  m->ClassRef = this;
  m->IsReadOnly = true;
  TvmMethodHelper* raw = m.get();
  Members.push_back(std::move(m));
  return raw;
}

TvmMethodHelper* TvmClassVariable::AddMethod(const WideString& syntax, TvmCallMethodNewEvent callEvent) {
  TvmMethodHelper* m = AddMethod(syntax, TvmCallMethodEvent());
  m->OnCallNew = std::move(callEvent);
  return m;
}

TvmPropertyHelper* TvmClassVariable::AddPropertyEx(const WideString& name, const WideString& typ,
                                                   TvmGetValueNewEvent getEvent,
                                                   TvmSetValueNewEvent setEvent) {
  TvmPropertyHelper* p = AddProperty(name, typ, nullptr, nullptr);
  p->OnGetValueNew = std::move(getEvent);
  p->OnSetValueNew = std::move(setEvent);
  p->IsReadOnly = !p->OnSetValueNew;
  return p;
}

TvmMethodHelper* TvmClassVariable::AddConstructor(const WideString& syntax, TvmCallMethodEvent callEvent) {
  size_t blank = syntax.find(u' ');
  WideString s =
      u"function" + (blank == WideString::npos ? WideString() : syntax.substr(blank)) + u": Constructor";
  return AddMethod(s, std::move(callEvent));
}

TvmPropertyHelper* TvmClassVariable::AddProperty(const WideString& name, const WideString& typ,
                                                 TvmGetValueEvent getEvent, TvmSetValueEvent setEvent) {
  auto p = std::make_unique<TvmPropertyHelper>();
  p->Name = name;
  p->Typ = TypeCode(FProg, typ, &p->TypeName);
  p->OnGetValue = std::move(getEvent);
  p->OnSetValue = std::move(setEvent);
  p->IsReadOnly = !p->OnSetValue;
  p->ClassRef = this;
  TvmPropertyHelper* raw = p.get();
  Members.push_back(std::move(p));
  return raw;
}

TvmMethodHelper* TvmClassVariable::AddIndexProperty(const WideString& name, const WideString& params,
                                                    const WideString& typ, TvmCallMethodEvent callEvent,
                                                    bool isReadOnly) {
  WideString syntax = u"function " + name + u"(";
  size_t start = 0;
  int n = 0;
  while (start <= params.size()) {
    size_t comma = params.find(u',', start);
    WideString t = Trim(std::u16string_view(params).substr(
        start, comma == WideString::npos ? WideString::npos : comma - start));
    if (n > 0) syntax += u"; ";
    syntax += u"p" + Utf8ToUtf16(std::to_string(n++)) + u": " + t;
    if (comma == WideString::npos) break;
    start = comma + 1;
  }
  syntax += u"): " + typ;
  TvmMethodHelper* m = AddMethod(syntax, std::move(callEvent));
  m->IndexMethod = true;
  m->IsReadOnly = isReadOnly;
  return m;
}

TvmMethodHelper* TvmClassVariable::AddDefaultProperty(const WideString& name, const WideString& params,
                                                      const WideString& typ, TvmCallMethodEvent callEvent,
                                                      bool isReadOnly) {
  TvmMethodHelper* m = AddIndexProperty(name, params, typ, std::move(callEvent), isReadOnly);
  DefProperty = m;
  return m;
}

// ---- Program registrations -------------------------------------------------------------------

TvmCustomVariable* TvmScript::AddVariable(const WideString& name, const WideString& typ,
                                          const Variant& value) {
  if (TvmCustomVariable* found = Find(name)) return found;
  WideString typeName;
  TvmVarType code = TypeCode(this, typ, &typeName);
  std::unique_ptr<TvmVariable> v;
  if (code == fvtString || code == fvtChar)
    v = std::make_unique<TvmStringVariable>();
  else
    v = std::make_unique<TvmVariable>();
  v->Name = name;
  v->Typ = code;
  v->TypeName = typeName;
  v->Value = value;
  return Add(name, std::move(v));
}

TvmCustomVariable* TvmScript::AddObject(const WideString& name, TPersistent* obj) {
  WideString cls = obj ? Utf8ToUtf16(obj->ClassName()) : WideString(u"Variant");
  return AddVariable(name, cls, Variant::FromObject(obj));
}

TvmCustomVariable* TvmScript::AddConst(const WideString& name, const WideString& typ, const Variant& value) {
  if (TvmCustomVariable* found = Find(name)) return found;
  TvmCustomVariable* v = nullptr;
  {
    WideString typeName;
    TvmVarType code = TypeCode(this, typ, &typeName);
    auto c = std::make_unique<TvmVariable>();
    c->Name = name;
    c->Typ = code;
    c->TypeName = typeName;
    c->Value = value;
    c->IsReadOnly = true;
    v = Add(name, std::move(c));
  }
  return v;
}

TvmCustomVariable* TvmScript::AddType(const WideString& name, TvmVarType parentType) {
  if (TvmCustomVariable* found = Find(name)) return found;
  auto t = std::make_unique<TvmTypeVariable>();
  t->Name = name;
  t->Typ = parentType;
  t->TypeName = name;
  return Add(name, std::move(t));
}

namespace {

void AddEnumItems(TvmScript* s, const WideString& typeName, const WideString& names, bool asSet) {
  auto t = std::make_unique<TvmTypeVariable>();
  t->Name = typeName;
  t->Typ = fvtEnum;
  t->TypeName = typeName;
  t->MaskMembers = asSet;
  s->Add(typeName, std::move(t));
  int64_t value = asSet ? 1 : 0;
  size_t start = 0;
  while (start <= names.size()) {
    size_t comma = names.find(u',', start);
    WideString n = Trim(std::u16string_view(names).substr(
        start, comma == WideString::npos ? WideString::npos : comma - start));
    if (!n.empty()) {
      auto c = std::make_unique<TvmVariable>();
      c->Name = n;
      c->Typ = fvtEnum;
      c->TypeName = typeName;
      c->Value = value >= INT32_MIN && value <= INT32_MAX ? Variant(static_cast<int32_t>(value))
                                                          : Variant::FromInt64(value);
      c->IsReadOnly = true;
      s->Add(n, std::move(c));
      value = asSet ? value * 2 : value + 1;
    }
    if (comma == WideString::npos) break;
    start = comma + 1;
  }
}

}  // namespace

void TvmScript::AddEnum(const WideString& typeName, const WideString& names) {
  AddEnumItems(this, typeName, names, false);
}

void TvmScript::AddEnumSet(const WideString& typeName, const WideString& names) {
  AddEnumItems(this, typeName, names, true);
}

TvmClassVariable* TvmScript::AddClass(const WideString& name, const WideString& ancestor) {
  if (Find(name)) return nullptr;
  auto cls = std::make_unique<TvmClassVariable>(this, nullptr, name, ancestor);
  if (TvmClassVariable* anc = FindClass(ancestor)) cls->DefProperty = anc->DefProperty;
  return AddItem(name, std::move(cls));
}

TvmClassVariable* TvmScript::AddClass(const TClassInfo& info, const WideString& ancestor) {
  WideString name = Utf8ToUtf16(info.Name());
  if (Find(name)) return nullptr;
  auto cls = std::make_unique<TvmClassVariable>(this, &info, name, ancestor);
  if (TvmClassVariable* anc = FindClass(ancestor)) cls->DefProperty = anc->DefProperty;
  // The class's own published properties; inherited ones come through the ancestor's item when
  // it is registered, else they are registered here too.
  TvmClassVariable* anc = FindClass(ancestor);
  for (const TPropInfo* prop : info.Properties()) {
    if (anc && anc->ClassRef && &prop->DeclaringClass() != &info && anc->ClassRef->FindProperty(prop->Name()))
      continue;
    auto p = std::make_unique<TvmPropertyHelper>();
    p->Name = Utf8ToUtf16(prop->Name());
    p->Published = prop;
    p->Typ = PropTypeCode(*prop);
    p->TypeName = prop->ObjectClass() ? Utf8ToUtf16(prop->ObjectClass()->Name()) : WideString();
    if (p->Typ == fvtClass && !FindClass(p->TypeName)) p->Typ = fvtVariant;
    p->IsReadOnly = prop->IsReadOnly();
    p->ClassRef = cls.get();
    cls->Members.push_back(std::move(p));
  }
  return AddItem(name, std::move(cls));
}

TvmMethodHelper* TvmScript::AddMethod(const WideString& syntax, TvmCallMethodEvent callEvent,
                                      const WideString& category, const WideString& description) {
  auto m = std::make_unique<TvmMethodHelper>();
  ReadDeclaration(this, syntax, m.get());
  m->Syntax = syntax;
  m->Category = category;
  m->Description = description.empty() ? m->Name : description;
  m->OnCall = std::move(callEvent);
  m->IsReadOnly = true;
  WideString name = m->Name;
  return AddItem(name, std::move(m));
}

TvmMethodHelper* TvmScript::AddMethod(const WideString& syntax, TvmCallMethodNewEvent callEvent,
                                      const WideString& category, const WideString& description) {
  TvmMethodHelper* m = AddMethod(syntax, TvmCallMethodEvent(), category, description);
  m->OnCallNew = std::move(callEvent);
  return m;
}

void TvmScript::AddBasicTypes() {
  static const std::pair<std::u16string_view, TvmVarType> types[] = {
      {u"Byte", fvtInt},
      {u"Word", fvtInt},
      {u"Integer", fvtInt},
      {u"Longint", fvtInt},
      {u"Cardinal", fvtInt},
      {u"TColor", fvtInt},
      {u"TAlphaColor", fvtInt},
      {u"Int64", fvtInt64},
      {u"Boolean", fvtBool},
      {u"Real", fvtFloat},
      {u"Single", fvtFloat},
      {u"Double", fvtFloat},
      {u"Extended", fvtFloat},
      {u"Currency", fvtFloat},
      {u"TDate", fvtFloat},
      {u"TTime", fvtFloat},
      {u"TDateTime", fvtFloat},
      {u"Char", fvtChar},
      {u"String", fvtString},
      {u"Variant", fvtVariant},
      {u"Pointer", fvtVariant},
      {u"Array", fvtArray},
      {u"Constructor", fvtConstructor},
  };
  for (const auto& [name, typ] : types) AddType(WideString(name), typ);
  AddConst(u"True", u"Boolean", Variant(true));
  AddConst(u"False", u"Boolean", Variant(false));
  AddConst(u"nil", u"Variant", Variant(0));
  AddConst(u"Null", u"Variant", Variant::Null());
  AddVariable(u"ExceptionClassName", u"String", Variant(WideString()));
  AddVariable(u"ExceptionMessage", u"String", Variant(WideString()));
  if (!Find(u"__StringHelper")) {
    auto h = std::make_unique<TvmStringHelper>();
    h->Name = u"__StringHelper";
    h->Typ = fvtChar;
    auto p = std::make_unique<TvmParamItem>();
    p->Typ = fvtInt;
    h->Params.push_back(p.get());
    h->OwnedParams.push_back(std::move(p));
    WideString name = h->Name;
    Add(name, std::move(h));
  }
  if (!Find(u"__ArrayHelper")) {
    auto h = std::make_unique<TvmArrayHelper>();
    h->Name = u"__ArrayHelper";
    h->Typ = fvtVariant;
    for (int i = 0; i < 3; ++i) {
      auto p = std::make_unique<TvmParamItem>();
      p->Typ = fvtInt;
      p->IsOptional = i > 0;
      h->Params.push_back(p.get());
      h->OwnedParams.push_back(std::move(p));
    }
    WideString name = h->Name;
    Add(name, std::move(h));
  }
}

// ---- Calling script routines ---------------------------------------------------------------

Variant TvmScript::CallFunction2(TvmProcVariable* func, const Variant& params) {
  if (!func) return Variant::Null();
  bool saved = func->Executing;
  if (saved) func->SaveLocals();
  struct Restore {
    TvmProcVariable* f;
    bool active;
    ~Restore() {
      if (active) f->RestoreLocals(true);
    }
  } restore{func, saved};
  if (params.IsArray()) {
    int lo = VarArrayLowBound(params, 1), hi = VarArrayHighBound(params, 1);
    for (int i = lo; i <= hi && static_cast<size_t>(i - lo) < func->Params.size(); ++i)
      func->Params[static_cast<size_t>(i - lo)]->SetValue(params.GetElement({i}));
  }
  return func->GetValue();
}

Variant TvmScript::CallFunction(const WideString& name, const Variant& params, bool sGlobal) {
  auto* f = dynamic_cast<TvmProcVariable*>(sGlobal ? Find(name) : FindLocal(name));
  return CallFunction2(f, params);
}

Variant TvmScript::CallFunction1(const WideString& name, Variant& params, bool sGlobal) {
  auto* f = dynamic_cast<TvmProcVariable*>(sGlobal ? Find(name) : FindLocal(name));
  if (!f) return Variant::Null();
  Variant r = CallFunction2(f, params);
  if (params.IsArray()) {
    int lo = VarArrayLowBound(params, 1), hi = VarArrayHighBound(params, 1);
    for (int i = lo; i <= hi && static_cast<size_t>(i - lo) < f->Params.size(); ++i)
      params.PutElement({i}, f->Params[static_cast<size_t>(i - lo)]->Value);
  }
  return r;
}

}  // namespace pagewright

// ---- Host events -----------------------------------------------------------------------------

namespace pagewright {

void TvmCustomEvent::CallHandler(std::vector<Variant>& args) {
  TvmProcVariable* f = Handler;
  if (!f) return;
  // The procedure may be running already (an event fired from inside it): keep its locals.
  struct LocalsGuard {
    TvmProcVariable* f;
    bool active;
    ~LocalsGuard() {
      if (active) f->RestoreLocals(false);
    }
  } guard{f, f->Executing};
  if (guard.active) f->SaveLocals();
  for (size_t i = 0; i < args.size() && i < f->Params.size(); ++i) f->Params[i]->SetValue(args[i]);
  f->GetValue();
  for (size_t i = 0; i < args.size() && i < f->Params.size(); ++i)
    if (f->Params[i]->IsVarParam) args[i] = f->Params[i]->Value;
}

namespace {

Variant Sender(TPersistent* sender) {
  return Variant::FromObject(sender);
}

}  // namespace

void TvmNotifyEvent::DoEvent(TPersistent* sender) {
  std::vector<Variant> args{Sender(sender)};
  CallHandler(args);
}

TvmNotifyEvent::THostEvent TvmNotifyEvent::Callback() {
  return [this](TPersistent* sender) { DoEvent(sender); };
}

void TvmMouseEvent::DoEvent(TPersistent* sender, int button, int shift, int x, int y) {
  std::vector<Variant> args{Sender(sender), Variant(button), Variant(shift), Variant(x), Variant(y)};
  CallHandler(args);
}

TvmMouseEvent::THostEvent TvmMouseEvent::Callback() {
  return [this](TPersistent* sender, int button, int shift, int x, int y) {
    DoEvent(sender, button, shift, x, y);
  };
}

void TvmMouseMoveEvent::DoEvent(TPersistent* sender, int shift, int x, int y) {
  std::vector<Variant> args{Sender(sender), Variant(shift), Variant(x), Variant(y)};
  CallHandler(args);
}

TvmMouseMoveEvent::THostEvent TvmMouseMoveEvent::Callback() {
  return [this](TPersistent* sender, int shift, int x, int y) { DoEvent(sender, shift, x, y); };
}

void TvmKeyEvent::DoEvent(TPersistent* sender, uint16_t& key, int shift) {
  std::vector<Variant> args{Sender(sender), Variant(static_cast<int32_t>(key)), Variant(shift)};
  CallHandler(args);
  key = static_cast<uint16_t>(args[1].AsInteger());
}

TvmKeyEvent::THostEvent TvmKeyEvent::Callback() {
  return [this](TPersistent* sender, uint16_t& key, int shift) { DoEvent(sender, key, shift); };
}

void TvmKeyPressEvent::DoEvent(TPersistent* sender, char16_t& key) {
  std::vector<Variant> args{Sender(sender), Variant(WideString(1, key))};
  CallHandler(args);
  WideString k = VarToStr(args[1]);
  key = k.empty() ? u'\0' : k[0];
}

TvmKeyPressEvent::THostEvent TvmKeyPressEvent::Callback() {
  return [this](TPersistent* sender, char16_t& key) { DoEvent(sender, key); };
}

void TvmCloseEvent::DoEvent(TPersistent* sender, int& action) {
  std::vector<Variant> args{Sender(sender), Variant(action)};
  CallHandler(args);
  action = args[1].AsInteger();
}

TvmCloseEvent::THostEvent TvmCloseEvent::Callback() {
  return [this](TPersistent* sender, int& action) { DoEvent(sender, action); };
}

void TvmCloseQueryEvent::DoEvent(TPersistent* sender, bool& canClose) {
  std::vector<Variant> args{Sender(sender), Variant(canClose)};
  CallHandler(args);
  canClose = args[1].AsBoolean();
}

TvmCloseQueryEvent::THostEvent TvmCloseQueryEvent::Callback() {
  return [this](TPersistent* sender, bool& canClose) { DoEvent(sender, canClose); };
}

void TvmCanResizeEvent::DoEvent(TPersistent* sender, int& newWidth, int& newHeight, bool& resize) {
  std::vector<Variant> args{Sender(sender), Variant(newWidth), Variant(newHeight), Variant(resize)};
  CallHandler(args);
  newWidth = args[1].AsInteger();
  newHeight = args[2].AsInteger();
  resize = args[3].AsBoolean();
}

TvmCanResizeEvent::THostEvent TvmCanResizeEvent::Callback() {
  return [this](TPersistent* sender, int& newWidth, int& newHeight, bool& resize) {
    DoEvent(sender, newWidth, newHeight, resize);
  };
}

Variant TvmEventHelper::GetValue() {
  return Variant(WideString());
}

void TvmEventHelper::SetValue(const Variant& v) {
  TPersistent* obj = Instance();
  if (!obj) throw EAccessViolation("Event " + Utf16ToUtf8(Name) + " set without an object");
  WideString handler = VarToStr(v);
  if (handler.empty() || handler == u"0") {
    if (Install) Install(obj, nullptr);
    return;
  }
  auto* proc = Prog ? dynamic_cast<TvmProcVariable*>(Prog->Find(handler)) : nullptr;
  if (!proc || proc->IsFunc) throw Exception(Utf16ToUtf8(VMMessages().SEventError));
  TvmScript* owner = Prog->Root();
  // One adapter per object, event and procedure, however often the script assigns it.
  TvmCustomEvent* adapter = nullptr;
  for (int i = 0; i < owner->Count() && !adapter; ++i) {
    auto* e = dynamic_cast<TvmCustomEvent*>(owner->GetItem(i));
    if (e && e->Instance == obj && e->Handler == proc && e->RefItem == this) adapter = e;
  }
  if (!adapter) {
    std::unique_ptr<TvmCustomEvent> made = EventClass ? EventClass() : std::make_unique<TvmNotifyEvent>();
    made->Instance = obj;
    made->Handler = proc;
    made->RefItem = this;
    adapter = made.get();
    owner->Add(WideString(), std::move(made));
  }
  if (Install) Install(obj, adapter);
}

TvmEventHelper* TvmClassVariable::AddEvent(const WideString& name, TvmEventClass eventClass,
                                           TvmInstallEvent install) {
  auto h = std::make_unique<TvmEventHelper>();
  h->Name = name;
  h->Typ = fvtString;
  h->TypeName = u"String";
  h->EventClass = std::move(eventClass);
  h->Install = std::move(install);
  h->ClassRef = this;
  TvmEventHelper* raw = h.get();
  Members.push_back(std::move(h));
  return raw;
}

// ---- Components ------------------------------------------------------------------------------

TvmClassVariable* TvmScript::AddClassChain(const TClassInfo& info) {
  WideString name = Utf8ToUtf16(info.Name());
  if (TvmClassVariable* known = FindClass(name)) return known;
  if (Find(name)) return nullptr;  // the name means something else here
  WideString ancestor;
  if (const TClassInfo* parent = info.Parent())
    if (TvmClassVariable* a = AddClassChain(*parent)) ancestor = a->Name;
  return AddClass(info, ancestor);
}

void TvmScript::AddComponent(TComponent* form) {
  if (!form) return;
  TvmClassVariable* cls = AddClassChain(form->ClassInfo());
  for (int i = 0; i < form->ComponentCount(); ++i) {
    TComponent* c = form->Components(i);
    if (!c || c->Name().empty()) continue;
    AddClassChain(c->ClassInfo());
    if (cls && !cls->Find(c->Name(), true)) cls->AddComponent(c->Name(), Utf8ToUtf16(c->ClassName()));
  }
  if (!form->Name().empty()) AddObject(form->Name(), form);
}

// ---- Late binding ----------------------------------------------------------------------------

namespace {

TvmClassVariable* ClassOfObject(const TvmScript* prog, const TPersistent* obj) {
  for (const TClassInfo* c = &obj->ClassInfo(); c; c = c->Parent())
    if (TvmClassVariable* cls = prog->FindClass(Utf8ToUtf16(c->Name()))) return cls;
  return nullptr;
}

[[noreturn]] void LateError(const WideString& message) {
  throw EvmLateBindingError(Utf16ToUtf8(message));
}

WideString QuotedName(const WideString& name) {
  return u"'" + name + u"'";
}

std::vector<int32_t> IndexArgs(const TvmDesignatorItem& item) {
  std::vector<int32_t> idx;
  for (const auto& e : item.Args) idx.push_back(e->GetValue().AsInteger());
  return idx;
}

}  // namespace

size_t TvmDesignator::ApplyLate(size_t i, Variant& cur, TvmCustomVariable*& prev, bool assign,
                                const Variant* newValue) {
  const size_t count = Items.size();
  TvmDesignatorItem& item = Items[i];
  const WideString& name = item.LateName;
  const bool index = name == u"[";
  TPersistent* obj = cur.IsObject() ? cur.AsObject() : nullptr;
  if (!obj) {
    if (cur.IsString()) {
      if (!index) LateError(VMMessages().SStringError);
      if (assign && i + 1 == count) LateError(VMMessages().SLeftCantAssigned);
      const WideString& s = cur.StringRef();
      std::vector<int32_t> idx = IndexArgs(item);
      int32_t at = idx.empty() ? 0 : idx[0];
      if (at < 1 || static_cast<size_t>(at) > s.size())
        throw ERangeError("String index " + std::to_string(at) + " out of range");
      cur = Variant(WideString(1, s[static_cast<size_t>(at - 1)]));
      prev = nullptr;
      return i;
    }
    if (cur.IsArray()) {
      if (!index) LateError(VMMessages().SIndexRequired);
      std::vector<int32_t> idx = IndexArgs(item);
      if (assign && i + 1 == count) {
        // Only an array held by a variable is written in place.
        if (!prev || !prev->ValueRef()) LateError(VMMessages().SLeftCantAssigned);
        prev->Value.PutElement(idx, *newValue);
      } else {
        cur = cur.GetElement(idx);
      }
      prev = nullptr;
      return i;
    }
    LateError(u"Cannot use " + QuotedName(index ? WideString(u"[]") : name) +
              u": the value is not an object");
  }

  TvmClassVariable* cls = ClassOfObject(Prog, obj);
  TvmCustomVariable* member = nullptr;
  size_t used = i;
  TvmDesignatorItem* argsFrom = &item;
  if (index) {
    member = cls ? cls->DefProperty : nullptr;
    if (!member) {
      WideString msg = VMMessages().SClassError;
      size_t at = msg.find(u"%s");
      if (at != WideString::npos) msg.replace(at, 2, Utf8ToUtf16(obj->ClassName()));
      LateError(msg);
    }
  } else {
    member = cls ? cls->Find(name, true) : nullptr;
    auto* method = dynamic_cast<TvmMethodHelper*>(member);
    if (method && method->IndexMethod) {
      // An indexed member takes the index that follows it.
      if (i + 1 >= count || Items[i + 1].LateName != u"[") LateError(VMMessages().SIndexRequired);
      used = i + 1;
      argsFrom = &Items[used];
    }
  }
  const bool last = used + 1 == count;
  if (!member) {
    if (auto* owner = dynamic_cast<TComponent*>(obj))
      if (TComponent* child = owner->FindComponent(name)) {
        if (assign && last)
          throw EComponentError("Can not assign value to component field " + Utf16ToUtf8(name));
        cur = Variant::FromObject(child);
        prev = nullptr;
        return i;
      }
    // A published property of a class the script does not know.
    if (const TPropInfo* prop = obj->ClassInfo().FindProperty(std::u16string_view(name))) {
      if (!argsFrom->Args.empty()) LateError(VMMessages().STooManyParams);
      if (assign && last) {
        if (prop->IsReadOnly()) LateError(VMMessages().SLeftCantAssigned);
        prop->Set(*obj, VariantToProp(*prop, *newValue));
      } else {
        cur = PropToVariant(*prop, prop->Get(*obj));
      }
      prev = nullptr;
      return i;
    }
    LateError(VMMessages().SIdUndeclared + QuotedName(name));
  }

  // A registered member, checked and called as the compiler would have.
  std::vector<std::unique_ptr<TvmExpression>>& args = argsFrom->Args;
  if (static_cast<int>(args.size()) < member->RequiredParamCount()) LateError(VMMessages().SNotEnoughParams);
  if (args.size() > member->Params.size()) LateError(VMMessages().STooManyParams);
  std::vector<Variant> values;
  values.reserve(member->Params.size());
  for (size_t a = 0; a < member->Params.size(); ++a) {
    if (a >= args.size())
      values.push_back(member->Params[a]->DefValue);
    else if (member->IsMacro)
      values.push_back(Variant(args[a]->Source));
    else
      values.push_back(args[a]->GetValue());
  }
  for (size_t a = 0; a < values.size(); ++a) member->Params[a]->Value = std::move(values[a]);
  auto* helper = static_cast<TvmCustomHelper*>(member);
  helper->ParentRef = prev;
  helper->ParentValue = cur;
  helper->Prog = Prog;
  if (assign && last) {
    if (member->IsReadOnly) LateError(VMMessages().SLeftCantAssigned);
    member->SetValue(*newValue);
  } else {
    member->FNeedResult = !last || FNeedResult;
    cur = member->GetValue();
  }
  if (!member->IsMacro)
    for (size_t a = 0; a < args.size() && a < member->Params.size(); ++a) {
      if (!member->Params[a]->IsVarParam) continue;
      TvmExpression* e = args[a].get();
      if (e->Root && (e->Root->Kind == TvmExpressionNode::nkVariable ||
                      e->Root->Kind == TvmExpressionNode::nkDesignator))
        e->Root->Operand->SetValue(member->Params[a]->Value);
    }
  prev = member;
  return used;
}

}  // namespace pagewright
