#include "prepared/preview_pages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "barcode_view/barcode_view.h"
#include "prepared/export_target.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "render/bitmap.h"
#include "render/graphic_formats.h"
#include "report/bands.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"
#include "prepared/store_helpers.h"

namespace pagewright {

using store::PropInt;

// ---- dictionary ------------------------------------------------------------------------------------

WideString TpgwDictionary::CreateUniqueName(const WideString& base) {
  int& next = FNext[WideUpperCase(base)];
  if (next < 1) next = 1;
  for (;; ++next) {
    WideString alias = base + IntToStr(next);
    if (!Find(alias)) {
      ++next;
      return alias;
    }
  }
}

void TpgwDictionary::Add(const WideString& alias, const WideString& sourceName, TpgwComponent* object,
                         const WideString& form) {
  FNames[WideUpperCase(alias)] = TSource{sourceName, object, form};
}

const TpgwDictionary::TSource* TpgwDictionary::Find(std::u16string_view alias) const {
  auto it = FNames.find(WideUpperCase(alias));
  return it == FNames.end() ? nullptr : &it->second;
}

TpgwComponent* TpgwDictionary::GetObject(std::u16string_view alias) const {
  const TSource* s = Find(alias);
  return s ? s->Object : nullptr;
}

void TpgwDictionary::Clear() {
  FNames.clear();
  FNext.clear();
}

// ---- outline ---------------------------------------------------------------------------------------

TpgwXMLItem& TpgwOutline::Root() const {
  return FPreviewPages.Section(u"outline");
}

void TpgwOutline::AddItem(const WideString& text, int top) {
  TpgwXMLItem* parent = FCurItem ? FCurItem : &Root();
  TpgwXMLItem* item = parent->Add(u"item");
  item->SetProp(u"text", text);
  item->SetProp(u"page", IntToStr(FPreviewPages.CurPage()));
  item->SetProp(u"top", IntToStr(top));
  FCurItem = item;
}

void TpgwOutline::LevelDown(int index) {
  TpgwXMLItem* cur = FCurItem ? FCurItem : &Root();
  if (index >= 0 && index < cur->Count()) FCurItem = cur->Items(index);
}

void TpgwOutline::LevelRoot() {
  FCurItem = &Root();
}

void TpgwOutline::LevelUp() {
  TpgwXMLItem& root = Root();
  if (FCurItem && FCurItem != &root && FCurItem->Parent()) FCurItem = FCurItem->Parent();
}

void TpgwOutline::GetItem(int index, WideString& text, int& page, int& top) const {
  TpgwXMLItem* cur = FCurItem ? FCurItem : &Root();
  text.clear();
  page = 0;
  top = 0;
  if (index < 0 || index >= cur->Count()) return;
  TpgwXMLItem* item = cur->Items(index);
  text = item->GetProp(u"text");
  page = PropInt(*item, u"page", 0);
  top = PropInt(*item, u"top", 0);
}

int TpgwOutline::GetCount() const {
  return (FCurItem ? FCurItem : &Root())->Count();
}

TpgwXMLItem* TpgwOutline::GetCurPosition() const {
  TpgwXMLItem* cur = FCurItem ? FCurItem : &Root();
  return cur->Count() > 0 ? cur->Items(cur->Count() - 1) : nullptr;
}

void TpgwOutline::DeleteItems(TpgwXMLItem* from) {
  TpgwXMLItem* parent = from ? from->Parent() : FCurItem ? FCurItem : &Root();
  if (!parent) return;
  const int first = from ? parent->IndexOf(from) + 1 : 0;
  // The current item may be among those freed.
  for (TpgwXMLItem* p = FCurItem; p; p = p->Parent())
    if (p->Parent() == parent && parent->IndexOf(p) >= first) FCurItem = parent;
  while (parent->Count() > first) parent->Delete(parent->Count() - 1);
}

namespace {

// Moved items go to the page being filled: the next page, or the same one when the block moved
// to the next column.
void ShiftTree(TpgwXMLItem& item, int page, int delta) {
  item.SetProp(u"page", IntToStr(page));
  item.SetProp(u"top", IntToStr(PropInt(item, u"top", 0) + delta));
  for (int i = 0; i < item.Count(); ++i) ShiftTree(*item.Items(i), page, delta);
}

}  // namespace

void TpgwOutline::ShiftItems(TpgwXMLItem* from, int newTop) {
  TpgwXMLItem* parent = from ? from->Parent() : FCurItem ? FCurItem : &Root();
  if (!parent) return;
  const int first = from ? parent->IndexOf(from) + 1 : 0;
  if (first >= parent->Count()) return;
  const int delta = newTop - PropInt(*parent->Items(first), u"top", 0);
  const int page = std::max(0, FPreviewPages.CurPage());
  for (int i = first; i < parent->Count(); ++i) ShiftTree(*parent->Items(i), page, delta);
}

}  // namespace pagewright
