#include "report/styles.h"

#include <iostream>
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"
#include "report/report.h"

namespace pagewright {

// ---- styles
// ------------------------------------------------------------------------------------------------------

TpgwStyleItem::TpgwStyleItem(TpgwStyles* collection)
    : FCollection(collection), FFrame(std::make_unique<TpgwFrame>()), FFill(CreateFill(ftBrush)) {}

TpgwStyleItem::~TpgwStyleItem() = default;

TColor TpgwStyleItem::Color() const {
  if (auto* b = dynamic_cast<const TpgwBrushFill*>(FFill.get())) return b->BackColor();
  if (dynamic_cast<const TpgwGradientFill*>(FFill.get())) return FFill->MainColor();
  return clNone;
}

void TpgwStyleItem::SetColor(TColor v) {
  if (auto* b = dynamic_cast<TpgwBrushFill*>(FFill.get())) b->SetBackColor(v);
}

void TpgwStyleItem::SetFrame(const TpgwFrame& v) {
  FFrame->Assign(v);
}

TpgwFillType TpgwStyleItem::FillType() const {
  return FFill->FillType();
}

void TpgwStyleItem::SetFillType(TpgwFillType v) {
  if (FFill->FillType() != v) FFill = CreateFill(v);
}

void TpgwStyleItem::SetFill(const TpgwBaseFill& v) {
  SetFillType(v.FillType());
  FFill->Assign(v);
}

const TClassInfo& TpgwStyleItem::StaticClassInfo() {
  using T = TpgwStyleItem;
  static const TClassInfo& info =
      Describe<T>("TpgwStyleItem")
          .Parent<TPersistent>()
          .String("Name", &T::Name, &T::SetName)
          .Color("Color", &T::Color, &T::SetColor)
          .Stored(false)
          .Object("Font", static_cast<TpgwFont& (T::*)()>(&T::Font), &T::SetFont)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Boolean("ApplyFont", &T::ApplyFont, &T::SetApplyFont)
          .Default(true)
          .Boolean("ApplyFill", &T::ApplyFill, &T::SetApplyFill)
          .Default(true)
          .Boolean("ApplyFrame", &T::ApplyFrame, &T::SetApplyFrame)
          .Default(true)
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .Build();
  return info;
}
const TClassInfo& TpgwStyleItem::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwStyleItem::Assign(const TPersistent& source) {
  auto* s = dynamic_cast<const TpgwStyleItem*>(&source);
  if (!s) return TPersistent::Assign(source);
  FName = s->FName;
  FFont.Assign(s->FFont);
  FFrame->Assign(*s->FFrame);
  SetFill(*s->FFill);
  FApplyFont = s->FApplyFont;
  FApplyFill = s->FApplyFill;
  FApplyFrame = s->FApplyFrame;
}

void TpgwStyleItem::SetName(const WideString& v) {
  if (FCollection) {
    TpgwStyleItem* other = FCollection->Find(v);
    if (other && other != this) throw Exception(Utf16ToUtf8(ResourceGet("clDupName")));
  }
  FName = v;
}

void TpgwStyleItem::CreateUniqueName() {
  for (int n = 1;; ++n) {
    WideString name = u"Style" + Utf8ToUtf16(std::to_string(n));
    if (!FCollection || !FCollection->Find(name)) {
      FName = name;
      return;
    }
  }
}

TpgwStyleItem& TpgwStyles::Add() {
  FItems.push_back(std::make_unique<TpgwStyleItem>(this));
  return *FItems.back();
}

void TpgwStyles::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  FItems.erase(FItems.begin() + index);
}

std::vector<std::unique_ptr<TpgwStyleItem>> TpgwStyles::TakeItems() {
  std::vector<std::unique_ptr<TpgwStyleItem>> items = std::move(FItems);
  FItems.clear();
  for (auto& i : items) i->FCollection = nullptr;
  return items;
}

void TpgwStyles::Clear() {
  FItems.clear();
}

TpgwStyleItem* TpgwStyles::Find(std::u16string_view name) const {
  for (auto& i : FItems)
    if (WideSameText(i->FName, name)) return i.get();
  return nullptr;
}

void TpgwStyles::GetList(TStringList& list) const {
  list.Clear();
  for (auto& i : FItems) list.Add(i->FName);
}

void TpgwStyles::Assign(const TpgwStyles& source) {
  if (&source == this) return;
  Clear();
  FName = source.FName;
  for (auto& i : source.FItems) Add().Assign(*i);
  Apply();
}

void TpgwStyles::Apply() {
  if (!FReport) return;
  for (TpgwComponent* c : std::vector<TpgwComponent*>(FReport->AllObjects())) {
    // Text objects name their style in the published "Style" property.
    const TPropInfo* p = c->ClassInfo().FindProperty("Style");
    if (!p || p->Kind() != pkString || p->IsReadOnly()) continue;
    const WideString name = p->Get(*c).Str;
    p->Set(*c, TPropValue::String(Find(name) ? name : WideString()));
  }
}

void TpgwStyles::SetInherited(bool v) {
  for (auto& i : FItems) i->SetIsInherited(v);
}

void TpgwStyles::SaveToStream(TStream& stream) const {
  TpgwXMLDocument doc;
  doc.SetAutoIndent(true);
  doc.Root()->SetName(u"style");
  doc.Root()->SetProp(u"Name", FName);
  for (auto& i : FItems) doc.Root()->Add(u"item")->SetText(ObjectToXMLAttributes(*i));
  doc.SaveToStream(stream);
}

void TpgwStyles::SaveToFile(const WideString& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

void TpgwStyles::LoadFromStream(TStream& stream) {
  Clear();
  TpgwXMLDocument doc;
  doc.LoadFromStream(stream);
  TpgwXMLItem* root = doc.Root();
  if (WideSameText(root->Name(), u"style")) {
    FName = root->GetProp(u"Name");
    for (int i = 0; i < root->Count(); ++i) {
      TpgwXMLItem* item = root->Items(i);
      if (WideSameText(item->Name(), u"item")) XMLAttributesToObject(item->Text(), Add());
    }
  }
  Apply();
}

void TpgwStyles::LoadFromFile(const WideString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

}  // namespace pagewright
