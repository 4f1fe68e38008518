#include "report/variables.h"

#include <string>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"

namespace pagewright {

namespace {

bool IsHeader(const TpgwVariable& v) {
  return !v.Name().empty() && v.Name()[0] == u' ';
}

// Where a category's items end: the next header, an item without a name, or the end.
bool EndsCategory(const TpgwVariable& v) {
  return v.Name().empty() || IsHeader(v);
}

}  // namespace

WideString TpgwCollectionItem::InheritedName() const {
  return u"pgwUIN" + Utf8ToUtf16(std::to_string(FUniqueIndex));
}

const TClassInfo& TpgwVariable::StaticClassInfo() {
  using T = TpgwVariable;
  static const TClassInfo& info = Describe<T>("TpgwVariable")
                                      .Parent<TPersistent>()
                                      .String("Name", &T::Name, &T::SetName)
                                      .VariantValue("Value", &T::Value, &T::SetValue)
                                      .Build();
  return info;
}
const TClassInfo& TpgwVariable::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwVariable::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwVariable*>(&source)) {
    FName = s->FName;
    FValue = s->FValue;
    FInherited = s->FInherited;
    return;
  }
  TPersistent::Assign(source);
}

WideString TpgwVariable::InheritedName() const {
  return FName.empty() ? TpgwCollectionItem::InheritedName() : FName;
}

const TClassInfo& TpgwVariables::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwVariables>("TpgwVariables").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TpgwVariables::ClassInfo() const {
  return StaticClassInfo();
}

TpgwVariable& TpgwVariables::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return *FItems[static_cast<size_t>(index)];
}

TpgwVariable& TpgwVariables::Add() {
  FItems.push_back(std::make_unique<TpgwVariable>());
  return *FItems.back();
}

TpgwVariable& TpgwVariables::Insert(int index) {
  if (index < 0 || index > Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  auto it = FItems.insert(FItems.begin() + index, std::make_unique<TpgwVariable>());
  return **it;
}

void TpgwVariables::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  FItems.erase(FItems.begin() + index);
}

int TpgwVariables::IndexOf(std::u16string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (WideSameText(FItems[static_cast<size_t>(i)]->Name(), name)) return i;
  return -1;
}

TpgwVariable* TpgwVariables::FindByName(std::u16string_view name) const {
  for (auto& i : FItems)
    if (i->InheritedName() == name) return i.get();
  return nullptr;
}

void TpgwVariables::SetInherited(bool v) {
  for (auto& i : FItems) i->SetIsInherited(v);
}

void TpgwVariables::Assign(const TpgwVariables& source) {
  if (&source == this) return;
  Clear();
  for (auto& i : source.FItems) Add().Assign(*i);
}

Variant TpgwVariables::GetVariable(std::u16string_view name) const {
  const int i = IndexOf(name);
  return i >= 0 ? FItems[static_cast<size_t>(i)]->Value() : Variant::Null();
}

void TpgwVariables::SetVariable(const WideString& name, const Variant& value) {
  const int i = IndexOf(name);
  TpgwVariable& v = i >= 0 ? *FItems[static_cast<size_t>(i)] : Add();
  if (i < 0) v.SetName(name);
  v.SetValue(value);
}

int TpgwVariables::CategoryIndex(std::u16string_view category) const {
  const WideString header = u" " + WideString(category);
  return IndexOf(header);
}

void TpgwVariables::AddVariable(std::u16string_view category, const WideString& name, const Variant& value) {
  const int header = CategoryIndex(category);
  if (header < 0) return;
  const int existing = IndexOf(name);
  if (existing >= 0) {
    FItems[static_cast<size_t>(existing)]->SetValue(value);
    return;
  }
  // The end of the category; an item without a name closes a category as a header does, so
  // the new variable goes before it and stays in the category.
  int at = header + 1;
  while (at < Count() && !EndsCategory(*FItems[static_cast<size_t>(at)])) ++at;
  TpgwVariable& v = Insert(at);
  v.SetName(name);
  v.SetValue(value);
}

void TpgwVariables::DeleteVariable(std::u16string_view name) {
  const int i = IndexOf(name);
  if (i >= 0) Delete(i);
}

void TpgwVariables::DeleteCategory(std::u16string_view name) {
  const int header = CategoryIndex(name);
  if (header < 0) return;
  int end = header + 1;
  while (end < Count() && !EndsCategory(*FItems[static_cast<size_t>(end)])) ++end;
  FItems.erase(FItems.begin() + header, FItems.begin() + end);
}

void TpgwVariables::GetCategoriesList(TStringList& list, bool clearList) const {
  if (clearList) list.Clear();
  for (auto& i : FItems)
    if (IsHeader(*i)) list.Add(i->Name().substr(1, 254));
}

void TpgwVariables::GetVariablesList(std::u16string_view category, TStringList& list) const {
  list.Clear();
  int from = 0;
  if (!category.empty()) {
    const int header = CategoryIndex(category);
    if (header < 0) return;
    from = header + 1;
  }
  for (int i = from; i < Count() && !EndsCategory(*FItems[static_cast<size_t>(i)]); ++i)
    list.Add(FItems[static_cast<size_t>(i)]->Name());
}

void TpgwVariables::SaveToXMLItem(TpgwXMLItem& item) const {
  for (auto& i : FItems) item.Add(u"item")->SetText(ObjectToXMLAttributes(*i));
}

void TpgwVariables::SaveToStream(TStream& stream) const {
  TpgwXMLDocument doc;
  doc.SetAutoIndent(true);
  doc.Root()->SetName(u"variables");
  SaveToXMLItem(*doc.Root());
  doc.SaveToStream(stream);
}

void TpgwVariables::SaveToFile(const WideString& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

void TpgwVariables::LoadFromXMLItem(const TpgwXMLItem& item, bool) {
  Clear();
  for (int i = 0; i < item.Count(); ++i) {
    const TpgwXMLItem& child = *item.Items(i);
    if (WideSameText(child.Name(), u"item")) XMLAttributesToObject(child.Text(), Add());
  }
}

void TpgwVariables::LoadFromStream(TStream& stream) {
  Clear();
  TpgwXMLDocument doc;
  doc.LoadFromStream(stream);
  if (WideSameText(doc.Root()->Name(), u"variables")) LoadFromXMLItem(*doc.Root());
}

void TpgwVariables::LoadFromFile(const WideString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

TpgwVariables& pgwGlobalVariables() {
  static TpgwVariables variables;
  return variables;
}

}  // namespace pagewright
