#include "platform/component.h"

#include <algorithm>

#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"

namespace pagewright {

// ---- TPersistent ----

const TClassInfo& TPersistent::StaticClassInfo() {
  static const TClassInfo& info = Describe<TPersistent>("TPersistent").Abstract().Build();
  return info;
}

const TClassInfo& TPersistent::ClassInfo() const {
  return StaticClassInfo();
}

const std::string& TPersistent::ClassName() const {
  return ClassInfo().Name();
}

bool TPersistent::InheritsFrom(const TClassInfo& cls) const {
  return ClassInfo().InheritsFrom(cls);
}

void TPersistent::Assign(const TPersistent& source) {
  throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

void TPersistent::DefineProperties(TFiler&) {}

// ---- names ----

WideString UpperName(std::u16string_view s) {
  WideString out(s);
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - (u'a' - u'A'));
  return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool TComponent::IsValidIdent(std::u16string_view s) {
  if (s.empty()) return false;
  // As the script lexer reads identifiers: ASCII letters and "_", and every character beyond
  // ASCII, so a name such as MemoA\u00f1o that expressions accept is a valid name.
  auto alpha = [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
  };
  if (!alpha(s[0])) return false;
  return std::all_of(s.begin() + 1, s.end(),
                     [&](char16_t c) { return alpha(c) || (c >= u'0' && c <= u'9'); });
}

// ---- TComponent ----

const TClassInfo& TComponent::StaticClassInfo() {
  using T = TComponent;
  // Name is written by the serializer ahead of the other attributes, so it is not stored as
  // a property of its own.
  static const TClassInfo& info = Describe<T>("TComponent")
                                      .Parent<TPersistent>()
                                      .String("Name", &T::Name, &T::SetName)
                                      .Stored(false)
                                      .Int64("Tag", &T::Tag, &T::SetTag)
                                      .Default(0)
                                      .Build();
  return info;
}

const TClassInfo& TComponent::ClassInfo() const {
  return StaticClassInfo();
}

TComponent::TComponent(TComponent* owner, TLifetime lifetime) : FLifetime(lifetime) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  FComponentState.Include(csDestroying);
  // Everyone holding a pointer to this component lets go of it first.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& theirs = other->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return FComponents[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(std::u16string_view name) const {
  if (name.empty()) return nullptr;
  auto it = FNameIndex.find(UpperName(name));
  return it == FNameIndex.end() ? nullptr : it->second;
}

void TComponent::IndexName(TComponent* c) {
  if (!c->FName.empty()) FNameIndex.emplace(UpperName(c->FName), c);
}

void TComponent::UnindexName(TComponent* c) {
  if (c->FName.empty()) return;
  auto it = FNameIndex.find(UpperName(c->FName));
  if (it != FNameIndex.end() && it->second == c) FNameIndex.erase(it);
}

void TComponent::ValidateRename(TComponent* c, std::u16string_view curName,
                                std::u16string_view newName) const {
  if (c && !SameName(curName, newName) && c->FOwner == this && FindComponent(newName))
    throw EDuplicateName("A component named " + Utf16ToUtf8(newName) + " already exists");
}

void TComponent::SetName(const WideString& name) {
  if (name == FName) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError("'" + Utf16ToUtf8(name) + "' is not a valid component name");
  if (FOwner)
    FOwner->ValidateRename(this, FName, name);
  else
    ValidateRename(nullptr, FName, name);
  if (FOwner) FOwner->UnindexName(this);
  FName = name;
  if (FOwner) FOwner->IndexName(this);
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->FOwner == this) return;
  // A name taken here keeps the component where it was.
  if (!c->FName.empty() && FindComponent(c->FName))
    throw EDuplicateName("A component named " + Utf16ToUtf8(c->FName) + " already exists");
  if (c->FOwner) c->FOwner->RemoveComponent(c);
  FComponents.push_back(c);
  c->FOwner = this;
  IndexName(c);
  Notification(c, opInsert);
}

void TComponent::RemoveFromList(TComponent* c) {
  UnindexName(c);
  auto it = std::find(FComponents.rbegin(), FComponents.rend(), c);
  if (it != FComponents.rend()) FComponents.erase(std::next(it).base());
  c->FOwner = nullptr;
}

void TComponent::RemoveComponent(TComponent* c) {
  if (!c || c->FOwner != this) return;
  // While this owner is going away its components are going too; telling each of them about
  // every other would only cost time. Pointers between them are covered by FreeNotification.
  if (!FComponentState.Contains(csDestroying)) Notification(c, opRemove);
  RemoveFromList(c);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    if (c->FLifetime == TLifetime::ByOwner) {
      delete c;  // its destructor removes it from this list
      if (!FComponents.empty() && FComponents.back() == c) RemoveFromList(c);
    } else {
      RemoveFromList(c);
    }
  }
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), c) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(c);
    c->FreeNotification(this);
  }
  FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* c) {
  if (!c) return;
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), c);
  if (it == FFreeNotifies.end()) return;
  FFreeNotifies.erase(it);
  c->RemoveFreeNotification(this);
}

void TComponent::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c) RemoveFreeNotification(c);
  // Owner-list events reach every owned component (a copy: handlers may change the list).
  if (c && c->FOwner == this) {
    std::vector<TComponent*> list = FComponents;
    for (TComponent* x : list)
      if (x != c) x->Notification(c, op);
  }
}

void TComponent::SetComponentStateFlag(TComponentStateFlag f, bool on) {
  if (on)
    FComponentState.Include(f);
  else
    FComponentState.Exclude(f);
}

void TComponent::Loaded() {
  FComponentState.Exclude(csLoading);
}

}  // namespace pagewright
