#include "prepared/preview_pages.h"
#include "platform/fast_cast.h"
#include "prepared/store_helpers.h"

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

namespace pagewright {

namespace {

using store::NewPageLike;
using store::PropInt;

constexpr int64_t kElementInstanceSize = 96;  // estimated bytes of one element object

WideString Attr(std::u16string_view name, const WideString& value) {
  return WideString(u" ") + WideString(name) + u"=\"" + EncodeXmlText(value) + u"\"";
}

// Removes the full geometry attributes (Left, Top, Width, Height) from an attribute text: the
// compact l, t, w, h carry them.
WideString WithoutGeometry(const WideString& attrs) {
  WideString out;
  size_t i = 0;
  while (i < attrs.size()) {
    const size_t eq = attrs.find(u'=', i);
    if (eq == WideString::npos) break;
    const size_t open = attrs.find(u'"', eq);
    const size_t close = open == WideString::npos ? WideString::npos : attrs.find(u'"', open + 1);
    const size_t end = close == WideString::npos ? attrs.size() : close + 1;
    size_t nameStart = i;
    while (nameStart < eq && attrs[nameStart] == u' ') ++nameStart;
    const std::u16string_view name(attrs.data() + nameStart, eq - nameStart);
    if (name != u"Left" && name != u"Top" && name != u"Width" && name != u"Height")
      out.append(attrs, i, end - i);
    i = end;
  }
  return out;
}

Extended PropFloat(const TpgwXMLItem& item, std::u16string_view name, Extended fallback,
                   bool* present = nullptr) {
  WideString text;
  try {
    text = item.GetProp(name);
  } catch (const Exception&) {
    text.clear();
  }
  Extended v = 0;
  if (text.empty() || !TryStrToFloat(text, v)) {
    if (present) *present = false;
    return fallback;
  }
  if (present) *present = true;
  return v;
}


// Page sizes: two decimals when the value has a fractional part, else the plain number; always
// with a point, whatever the locale.
WideString PageSizeText(Extended v) {
  if (!std::isfinite(v)) return u"0";
  if (v == std::floor(v) && std::fabs(v) < 1e18L) return IntToStr(static_cast<int64_t>(v));
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, 2);
  if (r.ec != std::errc()) return u"0";
  return Utf8ToUtf16(std::string(buf, r.ptr));
}


void CopyProperties(TPersistent& from, TPersistent& to) {
  TpgwXMLSerializer s;
  s.XMLToObj(s.ObjToXML(from), to);
}

bool IsPageClassName(std::u16string_view name) {
  return name == u"TpgwReportPage" || name == u"TpgwDMPPage";
}

}  // namespace

namespace store {

int PropInt(const TpgwXMLItem& item, std::u16string_view name, int fallback) {
  int32_t v = 0;
  WideString text;
  try {
    text = item.GetProp(name);
  } catch (const Exception&) {
    return fallback;
  }
  return TryStrToInt(text, v) ? v : fallback;
}

std::unique_ptr<TpgwReportPage> NewPageLike(const TClassInfo& cls) {
  if (!cls.InheritsFrom(TpgwReportPage::StaticClassInfo())) return nullptr;
  return CreateAs<TpgwReportPage>(cls);
}

}  // namespace store

// ---- custom store ---------------------------------------------------------------------------------------

TpgwCustomPreviewPages::TpgwCustomPreviewPages(TpgwReport& report)
    : FReport(report), FPostProcessor(std::make_unique<TpgwPostProcessor>()) {}

TpgwCustomPreviewPages::~TpgwCustomPreviewPages() = default;

TpgwPictureCacheOptions& TpgwCustomPreviewPages::PictureCacheOptions() {
  if (!FPictureCacheOptions) FPictureCacheOptions = std::make_unique<TpgwPictureCacheOptions>();
  return *FPictureCacheOptions;
}

// ---- the store -------------------------------------------------------------------------------------------

TpgwPreviewPages::TpgwPreviewPages(TpgwReport& report)
    : TpgwCustomPreviewPages(report),
      FPictureCache(std::make_unique<TpgwPictureCache>()),
      FXMLDoc(std::make_unique<TpgwXMLDocument>()) {
  FOutline = std::make_unique<TpgwOutline>(*this);
  FXMLDoc->Root()->SetName(u"preparedreport");
}

TpgwPreviewPages::~TpgwPreviewPages() {
  FLockedPage = nullptr;
  FPageCache.clear();
  FSourcePages.clear();
}

TpgwXMLItem& TpgwPreviewPages::Section(std::u16string_view name) {
  return *FXMLDoc->Root()->FindItem(name);
}

TpgwXMLItem* TpgwPreviewPages::PagesItem() {
  return &Section(u"previewpages");
}

TpgwXMLItem* TpgwPreviewPages::CurPageItem() {
  TpgwXMLItem* pages = PagesItem();
  if (FCurPage < 0 || FCurPage >= pages->Count()) return nullptr;
  TpgwXMLItem* item = pages->Items(FCurPage);
  if (!item->Loaded()) FXMLDoc->LoadItem(item);
  return item;
}

int TpgwPreviewPages::GetCount() const {
  const int at = FXMLDoc->Root()->Find(u"previewpages");
  return at < 0 ? 0 : FXMLDoc->Root()->Items(at)->Count();
}

TpgwPictureCacheOptions& TpgwPreviewPages::PictureCacheOptions() {
  return FPictureCache->PictureCacheOptions();
}

void TpgwPreviewPages::ClearPageCache() {
  for (auto it = FPageCache.begin(); it != FPageCache.end();) {
    if (FLockedPage && it->Page.get() == FLockedPage)
      ++it;
    else
      it = FPageCache.erase(it);
  }
  FPostProcessor->ResetAllDuplicates();
}

void TpgwPreviewPages::Clear() {
  FLockedPage = nullptr;
  FPageCache.clear();
  FSourcePages.clear();
  FXMLDoc->Clear();
  FLoadStream.reset();
  FXMLDoc->Root()->SetName(u"preparedreport");
  FXMLDoc->Root()->SetText({});
  FDictionary.Clear();
  FPostProcessor->Clear();
  FPictureCache->Clear();
  FOutline->SetCurItem(nullptr);
  FCurPage = -1;
  FFirstPage = 0;
  FXMLSize = 0;
  FLogicalPageN = 0;
  FLastY = 0;
  FAddPageAction = apWriteOver;
}

void TpgwPreviewPages::Initialize() {
  FPictureCache->SetUseFileCache(FReport.PreviewOptions().PictureCacheInFile());
  const std::string tempDir = Utf16ToUtf8(FReport.EngineOptions().TempDir());
  FPictureCache->SetTempDir(tempDir);
  FXMLDoc->SetTempDir(tempDir);
}

int TpgwPreviewPages::SourcePageIndex(const TpgwComponent* page) const {
  for (size_t i = 0; i < FSourcePages.size(); ++i)
    if (FSourcePages[i].get() == page || FSourcePages[i]->OriginalComponent() == page)
      return static_cast<int>(i);
  return -1;
}

// ---- source pages ------------------------------------------------------------------------------------

void TpgwPreviewPages::CopySourceTree(TpgwComponent& from, TpgwComponent& to) {
  for (TpgwComponent* child : from.Objects().Snapshot()) {
    if (!child->pwComponentStyle().Contains(csPreviewVisible)) continue;
    TpgwComponent* copy = &CreateChildAs<TpgwComponent>(child->ClassInfo(), to);
    CopyProperties(*child, *copy);
    copy->SetName(child->Name());
    // Pictures of prepared objects live in the picture cache, not in their source.
    if (auto* picture = FastCast<TpgwPictureView>(copy)) picture->SetPicture(TPicture());
    if (auto* memo = FastCast<TpgwCustomMemoView>(copy)) {
      memo->SetDataSet(nullptr);
      memo->SetDataField({});
    }
    // The pairing is made by RegisterSource; the template's tag finds its copy meanwhile.
    copy->SetOriginalComponent(child);
    CopySourceTree(*child, *copy);
  }
}

void TpgwPreviewPages::RegisterSource(int pageIndex, TpgwComponent& tmpl, TpgwComponent& copy) {
  WideString base;
  if (tmpl.IsBand()) {
    base = u"b";
  } else {
    const WideString name = tmpl.BaseName();
    base = name.empty() ? WideString(u"o") : LowerCase(name.substr(0, 1));
  }
  const WideString alias = FDictionary.CreateUniqueName(base);
  TpgwXMLSerializer serializer;
  const WideString form = serializer.WriteComponentStr(copy);
  FDictionary.Add(alias, u"Page" + IntToStr(pageIndex) + u"." + copy.Name(), &copy, form);
  tmpl.SetOriginalComponent(&copy);
  copy.SetOriginalComponent(&tmpl);
  tmpl.SetAliasName(alias);
  copy.SetAliasName(alias);
}

void TpgwPreviewPages::AddSourcePage(TpgwReportPage& page) {
  std::unique_ptr<TpgwReportPage> copy = NewPageLike(page.ClassInfo());
  if (!copy) return;
  CopyProperties(page, *copy);
  copy->SetName(page.Name());
  CopySourceTree(page, *copy);
  copy->SetOriginalComponent(&page);
  const int index = static_cast<int>(FSourcePages.size());
  TpgwReportPage* copyPage = copy.get();
  FSourcePages.push_back(std::move(copy));
  // Pair every copied object with its template, in tree order.
  for (TpgwComponent* c : copyPage->AllObjects())
    if (TpgwComponent* tmpl = c->OriginalComponent()) RegisterSource(index, *tmpl, *c);
}

void TpgwPreviewPages::AddToSourcePage(TpgwComponent& obj) {
  if (FSourcePages.empty()) return;
  TpgwReportPage& last = *FSourcePages.back();
  TpgwComponent* copy = &CreateChildAs<TpgwComponent>(obj.ClassInfo(), last);
  CopyProperties(obj, *copy);
  // A name of its own inside the source page.
  for (int n = 1;; ++n) {
    const WideString name = obj.BaseName() + IntToStr(n);
    if (!last.FindObject(name)) {
      copy->SetName(name);
      break;
    }
  }
  const int pageIndex = static_cast<int>(FSourcePages.size()) - 1;
  const WideString base = obj.IsBand() ? WideString(u"b") : LowerCase(obj.BaseName().substr(0, 1));
  const WideString alias = FDictionary.CreateUniqueName(base.empty() ? WideString(u"o") : base);
  TpgwXMLSerializer serializer;
  const WideString form = obj.pwComponentStyle().Contains(csDefaultDiff)
                              ? Utf8ToUtf16(copy->ClassName())
                              : serializer.WriteComponentStr(*copy);
  FDictionary.Add(alias, u"Page" + IntToStr(pageIndex) + u"." + copy->Name(), copy, form);
  obj.SetOriginalComponent(copy);
  copy->SetOriginalComponent(&obj);
  obj.SetAliasName(alias);
  copy->SetAliasName(alias);
}

// ---- pages and objects ----------------------------------------------------------------------------------

void TpgwPreviewPages::AddPage(TpgwReportPage& page) {
  TpgwXMLItem* pages = PagesItem();
  if (FReport.EngineOptions().UseFileCache() &&
      FXMLSize > static_cast<int64_t>(FReport.EngineOptions().MaxMemSize()) * 1048576) {
    for (int i = pages->Count() - 2; i >= 0; --i) {
      TpgwXMLItem* item = pages->Items(i);
      if (!item->Loaded() || !item->Unloadable()) break;
      FXMLDoc->UnloadItem(item);
    }
    FXMLSize = 0;
  }
  ++FCurPage;
  if (FCurPage < pages->Count() && FAddPageAction != apAdd) return;
  TpgwXMLItem* item = pages->Add(u"page" + IntToStr(SourcePageIndex(&page)));
  if (pages->Count() > 2) item->SetUnloadable(true);
  FAddPageAction = apWriteOver;
  FCurPage = pages->Count() - 1;
  IncLogicalPageNumber();
}

WideString TpgwPreviewPages::DiffText(TpgwComponent& obj, TpgwComponent& source, bool finalPass) {
  WideString text = Attr(u"l", FloatToStr(obj.Left())) + Attr(u"t", FloatToStr(obj.Top())) +
                    Attr(u"w", FloatToStr(obj.Width())) + Attr(u"h", FloatToStr(obj.Height()));
  if (!finalPass) {
    // A pass that only counts pages needs the plain component state.
    if (obj.Visible() != source.Visible()) text += Attr(u"Visible", obj.Visible() ? u"True" : u"False");
    return text;
  }
  TpgwXMLSerializer serializer;
  text += WithoutGeometry(serializer.ObjToXML(obj, {}, &source));
  if (auto* memo = FastCast<TpgwCustomMemoView>(&obj)) {
    // The next part of a split text starts where this one ended.
    memo->SetFirstParaBreak(memo->LastParaBreak());
    memo->SetLastParaBreak(false);
  }
  return text;
}

void TpgwPreviewPages::AddObjectTo(TpgwComponent& obj, TpgwXMLItem& parentItem, bool pageClassElement) {
  if (!obj.Visible() || !obj.pwComponentStyle().Contains(csPreviewVisible)) return;
  if (auto* view = FastCast<TpgwView>(&obj); view && view->IsPostProcessAllowed()) {
    if (auto* memo = FastCast<TpgwCustomMemoView>(view))
      memo->SaveContentToDictionary(FReport, *FPostProcessor);
    else if (auto* barcode = FastCast<TpgwBarCodeView>(view))
      barcode->SaveContentToDictionary(FReport, *FPostProcessor);
  }
  TpgwComponent* source = obj.OriginalComponent();
  TpgwXMLItem* item = parentItem.Add();
  if (!source || pageClassElement || obj.AliasName().empty()) {
    TpgwXMLSerializer serializer;
    item->SetName(Utf8ToUtf16(obj.ClassName()));
    WideString text = obj.Name().empty() ? WideString() : Attr(u"Name", obj.Name());
    text += serializer.ObjToXML(obj);
    item->SetText(std::move(text));
  } else {
    item->SetName(obj.AliasName());
    const bool finalPass = !FEngine || FEngine->FinalPass();
    auto* picture = FastCast<TpgwPictureView>(&obj);
    if (finalPass && picture) {
      // The picture goes to the cache; the element keeps its index only. The template keeps
      // storing its own picture afterwards.
      const bool pictureStored = picture->IsPictureStored();
      const bool indexStored = picture->IsImageIndexStored();
      AddPicture(*picture);
      picture->SetIsPictureStored(false);
      picture->SetIsImageIndexStored(true);
      item->SetText(DiffText(obj, *source, true));
      picture->SetIsPictureStored(pictureStored);
      picture->SetIsImageIndexStored(indexStored);
    } else {
      item->SetText(DiffText(obj, *source, finalPass));
    }
  }
  FXMLSize += static_cast<int64_t>(item->Name().size() + item->Text().size()) + kElementInstanceSize + 16;
  for (TpgwComponent* child : obj.Objects().Snapshot()) AddObjectTo(*child, *item, false);
}

void TpgwPreviewPages::AddObject(TpgwComponent& obj) {
  TpgwXMLItem* page = CurPageItem();
  if (!page) return;
  AddObjectTo(obj, *page, IsPageClassName(page->Name()));
}

void TpgwPreviewPages::AddPicture(TpgwComponent& pictureObject) {
  auto* picture = FastCast<TpgwPictureView>(&pictureObject);
  if (!picture) return;
  // The cache knows a picture it stored before by its content.
  picture->SetImageIndex(FPictureCache->AddPicture(picture->Picture()));
  picture->SetPictureChanged(false);
}

int TpgwPreviewPages::AddGraphic(const TGraphic* graphic) {
  return FPictureCache->AddPicture(graphic);
}

std::shared_ptr<TpgwAutoRefGraphic> TpgwPreviewPages::GetPicture(TpgwCachedGraphicType cacheType,
                                                                 int imageIndex) {
  return FPictureCache->GetCachedBitmap(cacheType, imageIndex);
}

// ---- rebuilding ------------------------------------------------------------------------------------

TpgwComponent* TpgwPreviewPages::SourceOfElement(const TpgwXMLItem& item) const {
  return FDictionary.GetObject(item.Name());
}

void TpgwPreviewPages::RebuildObjects(TpgwXMLItem& item, TpgwComponent& container,
                                      TpgwXMLSerializer& serializer) {
  for (int i = 0; i < item.Count(); ++i) {
    TpgwXMLItem* element = item.Items(i);
    const TpgwDictionary::TSource* source = FDictionary.Find(element->Name());
    IpgwSerializedNode* node = nullptr;
    if (source)
      node = serializer.ReadComponentStr(container, source->Form + u" " + element->Text(), true);
    else
      node = serializer.ReadComponentStr(container, element->Name() + u" " + element->Text(), true);
    if (!node) continue;
    auto* obj = FastCast<TpgwComponent>(&node->NodeComponent());
    if (!obj) continue;
    if (source && source->Object) {
      try {
        obj->SetName(source->Object->Name());
      } catch (const Exception&) {
      }
    }
    if (auto* picture = FastCast<TpgwPictureView>(obj); picture && picture->ImageIndex() > 0) {
      if (std::shared_ptr<TpgwAutoRefGraphic> shared = GetPicture(FCachedGraphicState, picture->ImageIndex()))
        picture->SetCachedGraphic(std::shared_ptr<const TGraphic>(shared, shared->Graphic.get()));
    }
    if (FPostProcessor->LoadValue(FReport, *obj)) {
      // A hidden or merged duplicate: its content is shown by another instance.
      container.Objects().Extract(obj).reset();
      continue;
    }
    obj->SetSerializedItem(element);
    RebuildObjects(*element, *obj, serializer);
  }
}

void TpgwPreviewPages::InsertInCache(int index, std::unique_ptr<TpgwReportPage> page) {
  for (auto it = FPageCache.begin(); it != FPageCache.end(); ++it)
    if (it->Index == index && it->Page.get() != FLockedPage) {
      FPageCache.erase(it);
      break;
    }
  // The locked page stays in front.
  auto at = FPageCache.begin();
  if (at != FPageCache.end() && FLockedPage && at->Page.get() == FLockedPage) ++at;
  FPageCache.insert(at, CachedPage{index, std::move(page)});
  const int limit = std::max(1, FReport.PreviewOptions().PagesInCache());
  while (static_cast<int>(FPageCache.size()) > limit) {
    auto last = std::prev(FPageCache.end());
    if (last->Page.get() == FLockedPage) break;
    const int evicted = last->Index;
    FPageCache.erase(last);
    if (FReport.EngineOptions().UseFileCache() && evicted < PagesItem()->Count()) {
      TpgwXMLItem* element = PagesItem()->Items(evicted);
      if (element->Unloadable() && element->Loaded()) FXMLDoc->UnloadItem(element);
    }
  }
}

TpgwReportPage* TpgwPreviewPages::GetPage(int index) {
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count()) return nullptr;
  const bool engineRunning = FEngine && FEngine->Running();
  if (!engineRunning) {
    for (auto it = FPageCache.begin(); it != FPageCache.end(); ++it) {
      if (it->Index != index) continue;
      TpgwReportPage* page = it->Page.get();
      if (page != FLockedPage) {
        CachedPage moved = std::move(*it);
        FPageCache.erase(it);
        auto at = FPageCache.begin();
        if (at != FPageCache.end() && FLockedPage && at->Page.get() == FLockedPage) ++at;
        FPageCache.insert(at, std::move(moved));
      }
      return page;
    }
  }
  std::unique_ptr<TpgwReportPage> page = BuildPage(index);
  if (!page) return nullptr;
  if (!engineRunning) FillPageCount(*page);
  TpgwReportPage* result = page.get();
  InsertInCache(index, std::move(page));
  // Duplicate memory points at objects of rebuilt pages, which the cache may free.
  FPostProcessor->ResetAllDuplicates();
  return result;
}

std::unique_ptr<TpgwReportPage> TpgwPreviewPages::BuildPage(int index) {
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count()) return nullptr;
  TpgwXMLItem* item = pages->Items(index);
  if (!item->Loaded()) FXMLDoc->LoadItem(item);
  const WideString& name = item->Name();
  std::unique_ptr<TpgwReportPage> page;
  TpgwXMLSerializer serializer;
  if (name == u"TpgwReportPage") {
    page = NewPageLike(TpgwReportPage::StaticClassInfo());
    serializer.XMLToObj(item->Text(), *page);
  } else if (name.size() > 4 && WideSameText(name.substr(0, 4), u"page")) {
    int32_t n = -1;
    if (!TryStrToInt(name.substr(4), n) || n < 0 || n >= SourcePageCount()) return nullptr;
    TpgwReportPage& source = *FSourcePages[static_cast<size_t>(n)];
    page = NewPageLike(source.ClassInfo());
    if (!page) return nullptr;
    CopyProperties(source, *page);
    page->SetName(source.Name());
    if (item->Text().size() > 10) serializer.XMLToObj(item->Text(), *page);
  } else {
    return nullptr;
  }
  serializer.SetOwner(page.get());
  RebuildObjects(*item, *page, serializer);
  serializer.FixupReferences();
  page->AlignChildren(false, page->MirrorMode());
  return page;
}

std::unique_ptr<TpgwReportPage> TpgwPreviewPages::CopyPage(int index) {
  std::unique_ptr<TpgwReportPage> page = BuildPage(index);
  if (!page) return nullptr;
  if (!(FEngine && FEngine->Running())) FillPageCount(*page);
  // Duplicate memory must not point at objects of a page the store does not keep.
  FPostProcessor->ResetAllDuplicates();
  return page;
}

namespace {

// An object and its children as whole class elements, which rebuilding reads without the
// dictionary.
void WriteWholeObject(TpgwComponent& obj, TpgwXMLItem& parent) {
  TpgwXMLItem* item = parent.Add();
  item->SetName(Utf8ToUtf16(obj.ClassName()));
  TpgwXMLSerializer serializer;
  WideString text = obj.Name().empty() ? WideString() : Attr(u"Name", obj.Name());
  text += serializer.ObjToXML(obj);
  item->SetText(std::move(text));
  for (TpgwComponent* child : obj.Objects().Snapshot()) WriteWholeObject(*child, *item);
}

}  // namespace

void TpgwPreviewPages::ReplacePageObjects(int index, TpgwComponent& page) {
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count())
    throw EListError("Prepared page index out of bounds (" + std::to_string(index) + ")");
  for (auto it = FPageCache.begin(); it != FPageCache.end(); ++it) {
    if (it->Index != index) continue;
    if (it->Page.get() == FLockedPage) throw EInvalidOperation("The prepared page is being exported");
    FPageCache.erase(it);
    break;
  }
  TpgwXMLItem* item = pages->Items(index);
  if (!item->Loaded()) FXMLDoc->LoadItem(item);
  while (item->Count() > 0) item->Delete(item->Count() - 1);
  for (TpgwComponent* child : page.Objects().Snapshot()) WriteWholeObject(*child, *item);
  item->SetModified(true);
  FPostProcessor->ResetAllDuplicates();
}

void TpgwPreviewPages::FillPageCount(TpgwReportPage& page) {
  const WideString count = IntToStr(GetCount());
  for (TpgwComponent* obj : page.AllObjects()) {
    auto* memo = FastCast<TpgwCustomMemoView>(obj);
    if (!memo || !memo->AllowExpressions()) continue;
    const WideString text = memo->Text();
    if (UpperCase(text).find(u"[TOTALPAGES#]") == WideString::npos) continue;
    memo->SetTotalPages(GetCount());
    memo->SetText(StringReplace(text, u"[TotalPages#]", count, TReplaceFlags{rfReplaceAll, rfIgnoreCase}));
  }
}

void TpgwPreviewPages::GetPageSize(int index, int& width, int& height) {
  width = height = 0;
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count()) return;
  TpgwXMLItem* item = pages->Items(index);
  const WideString& name = item->Name();
  int32_t n = -1;
  if (name.size() > 4 && WideSameText(name.substr(0, 4), u"page") && TryStrToInt(name.substr(4), n) &&
      n >= 0 && n < SourcePageCount()) {
    TpgwReportPage& source = *FSourcePages[static_cast<size_t>(n)];
    width = static_cast<int>(RoundHalfEven(source.Width()));
    height = static_cast<int>(RoundHalfEven(source.Height()));
  } else if (TpgwReportPage* page = GetPage(index)) {
    width = static_cast<int>(RoundHalfEven(page->Width()));
    height = static_cast<int>(RoundHalfEven(page->Height()));
  }
  if (item->Text().size() > 10) {
    bool hasW = false, hasH = false;
    const Extended w = PropFloat(*item, u"PaperWidth", 0, &hasW);
    const Extended h = PropFloat(*item, u"PaperHeight", 0, &hasH);
    if (hasW) width = static_cast<int>(RoundHalfEven(w * pgwMMUnits));
    if (hasH) height = static_cast<int>(RoundHalfEven(h * pgwMMUnits));
  }
}

// ---- pass control, positions ----------------------------------------------------------------------

void TpgwPreviewPages::BeginPass() {
  const int count = GetCount();
  FFirstPageIndex = count - 1;
  FPassBeganEmpty = count == 0;
  FPassInstanceCounts = FPostProcessor->InstanceCounts();
  if (count > 0) {
    TpgwXMLItem* last = PagesItem()->Items(count - 1);
    if (!last->Loaded()) FXMLDoc->LoadItem(last);
    FFirstObjectIndex = last->Count();
    FFirstOutlineIndex = Section(u"outline").Count();
  }
  ResetLogicalPageNumber();
}

void TpgwPreviewPages::ClearFirstPassPages() {
  ClearPageCache();
  if (FPassBeganEmpty) {
    TpgwXMLItem* root = FXMLDoc->Root();
    for (int i = 0; i < root->Count(); ++i) {
      TpgwXMLItem* section = root->Items(i);
      if (section->Name() != u"anchors" && section->Name() != u"logicalpagenumbers") section->Clear();
    }
  } else {
    TpgwXMLItem* pages = PagesItem();
    if (FFirstPageIndex >= 0 && FFirstPageIndex < pages->Count()) {
      TpgwXMLItem* first = pages->Items(FFirstPageIndex);
      if (!first->Loaded()) FXMLDoc->LoadItem(first);
      while (first->Count() > FFirstObjectIndex) first->Delete(first->Count() - 1);
    }
    while (pages->Count() > FFirstPageIndex + 1) pages->Delete(pages->Count() - 1);
    TpgwXMLItem& outline = Section(u"outline");
    while (outline.Count() > FFirstOutlineIndex) outline.Delete(outline.Count() - 1);
  }
  // The first pass's deferred values go with its pages: the next pass adds them again.
  FPostProcessor->TruncateTo(FPassInstanceCounts);
  // The current outline item may have gone with the first pass.
  FOutline->SetCurItem(nullptr);
  ResetLogicalPageNumber();
  FCurPage = FFirstPageIndex;
  FXMLSize = 0;
}

int TpgwPreviewPages::GetCurPosition() {
  TpgwXMLItem* page = CurPageItem();
  return page ? page->Count() : 0;
}

int TpgwPreviewPages::GetAnchorCurPosition() {
  return Section(u"anchors").Count() - 1;
}

void TpgwPreviewPages::CutObjects(int position) {
  TpgwXMLItem* page = CurPageItem();
  if (!page) return;
  TpgwXMLItem& cutted = Section(u"cutted");
  while (position >= 0 && page->Count() > position) cutted.AddItem(page->Items(position));
}

void TpgwPreviewPages::PasteObjects(Extended x, Extended y) {
  TpgwXMLItem* root = FXMLDoc->Root();
  const int at = root->Find(u"cutted");
  if (at < 0) return;
  TpgwXMLItem* cutted = root->Items(at);
  TpgwXMLItem* page = CurPageItem();
  if (cutted->Count() > 0 && page) {
    TpgwXMLItem* first = cutted->Items(0);
    Extended dx = x - PropFloat(*first, u"l", 0);
    const Extended dy = y - PropFloat(*first, u"t", 0);
    if (first->Name() == u"TpgwNullBand" && dx < 0 && x == 0) dx = 0;
    while (cutted->Count() > 0) {
      TpgwXMLItem* item = cutted->Items(0);
      if (dx != 0) item->SetProp(u"l", FloatToStr(PropFloat(*item, u"l", 0) + dx));
      item->SetProp(u"t", FloatToStr(PropFloat(*item, u"t", 0) + dy));
      page->AddItem(item);
    }
  }
  root->Delete(root->Find(u"cutted"));
}

void TpgwPreviewPages::DeleteObjects(int position) {
  TpgwXMLItem* page = CurPageItem();
  if (!page) return;
  while (position >= 0 && page->Count() > position) page->Delete(page->Count() - 1);
}

Extended TpgwPreviewPages::GetLastY(Extended columnPosition) {
  Extended result = 0;
  if (TpgwXMLItem* page = CurPageItem()) {
    for (int i = 0; i < page->Count(); ++i) {
      const TpgwXMLItem& item = *page->Items(i);
      TpgwComponent* source = SourceOfElement(item);
      if (!source || !source->IsBand()) continue;
      if (FastCast<TpgwPageFooter>(source) || FastCast<TpgwOverlay>(source)) continue;
      const Extended left = PropFloat(item, u"l", source->Left());
      if (columnPosition == 0 || std::fabs(columnPosition - left) < 0.001L ||
          FastCast<TpgwPageHeader>(source) || FastCast<TpgwReportTitle>(source)) {
        const Extended bottom =
            PropFloat(item, u"t", source->Top()) + PropFloat(item, u"h", source->Height());
        result = std::max(result, bottom);
      }
    }
  }
  if (result == 0 && FLastY != 0) result = FLastY;
  return result;
}

bool TpgwPreviewPages::BandExists(const TpgwComponent& band) {
  TpgwXMLItem* page = CurPageItem();
  if (!page) return false;
  const TpgwComponent* wanted = band.OriginalComponent() ? band.OriginalComponent() : &band;
  for (int i = 0; i < page->Count(); ++i) {
    TpgwComponent* source = SourceOfElement(*page->Items(i));
    if (!source) continue;
    if (source == wanted || source == &band) return true;
    if (FastCast<const TpgwPageFooter>(&band) && FastCast<TpgwPageFooter>(source)) return true;
    if (FastCast<const TpgwColumnFooter>(&band) && FastCast<TpgwColumnFooter>(source)) return true;
  }
  return false;
}

void TpgwPreviewPages::Finish() {
  FLastY = 0;
  ClearPageCache();
  FPictureCache->BuildFinished();
}

// ---- logical page numbers --------------------------------------------------------------------------

void TpgwPreviewPages::IncLogicalPageNumber() {
  if (FEngine && FEngine->DoublePass() && FEngine->FinalPass()) return;
  ++FLogicalPageN;
  Section(u"logicalpagenumbers").Add(u"page")->SetProp(u"n", IntToStr(FLogicalPageN));
}

void TpgwPreviewPages::ResetLogicalPageNumber() {
  if (FEngine && FEngine->DoublePass() && FEngine->FinalPass()) return;
  TpgwXMLItem& numbers = Section(u"logicalpagenumbers");
  for (int i = std::min(FCurPage, numbers.Count() - 1); i >= FFirstPage && i >= 0; --i) {
    TpgwXMLItem* item = numbers.Items(i);
    item->SetProp(u"t", IntToStr(FLogicalPageN));
    if (item->GetProp(u"n") == u"1") break;
  }
  FLogicalPageN = 0;
}

int TpgwPreviewPages::GetLogicalPageNo() {
  TpgwXMLItem& numbers = Section(u"logicalpagenumbers");
  if (FCurPage >= 0 && FCurPage < numbers.Count()) return PropInt(*numbers.Items(FCurPage), u"n", 0);
  return FCurPage - FFirstPage + 1;
}

int TpgwPreviewPages::GetLogicalTotalPages() {
  TpgwXMLItem& numbers = Section(u"logicalpagenumbers");
  if (FCurPage >= 0 && FCurPage < numbers.Count()) return PropInt(*numbers.Items(FCurPage), u"t", 0);
  return (FEngine ? FEngine->TotalPages() : GetCount()) - FFirstPage;
}

// ---- anchors ------------------------------------------------------------------------------------------

void TpgwPreviewPages::AddAnchor(const WideString& text) {
  TpgwXMLItem* item = Section(u"anchors").Add(u"item");
  item->SetProp(u"text", text);
  item->SetProp(u"page", IntToStr(FCurPage));
  item->SetProp(u"top", IntToStr(FEngine ? RoundHalfEven(FEngine->CurY()) : 0));
}

int TpgwPreviewPages::GetAnchorPage(const WideString& text) {
  TpgwXMLItem& anchors = Section(u"anchors");
  for (int i = anchors.Count() - 1; i >= 0; --i)
    if (WideSameText(anchors.Items(i)->GetProp(u"text"), text))
      return PropInt(*anchors.Items(i), u"page", 0) + 1;
  return 1;
}

void TpgwPreviewPages::ShiftAnchors(int from, int newTop) {
  TpgwXMLItem& anchors = Section(u"anchors");
  const int first = from + 1;
  if (first < 0 || first >= anchors.Count()) return;
  const int delta = newTop - PropInt(*anchors.Items(first), u"top", 0);
  for (int i = first; i < anchors.Count(); ++i) {
    TpgwXMLItem* item = anchors.Items(i);
    // To the page being filled: the next one, or the same when the block moved to a column.
    item->SetProp(u"page", IntToStr(std::max(0, FCurPage)));
    item->SetProp(u"top", IntToStr(PropInt(*item, u"top", 0) + delta));
  }
}

void TpgwPreviewPages::DeleteAnchors(int from) {
  TpgwXMLItem& anchors = Section(u"anchors");
  while (anchors.Count() > std::max(from + 1, 0)) anchors.Delete(anchors.Count() - 1);
}

// ---- page sizes and columns ----------------------------------------------------------------------------

void TpgwPreviewPages::UpdatePageDimensions(TpgwReportPage& page, Extended width, Extended height) {
  const int index = SourcePageIndex(&page);
  if (index < 0) return;
  FSourcePages[static_cast<size_t>(index)]->SetSizeAndDimensions(pgwCustomPaperSize, width / pgwMMUnits,
                                                                 height / pgwMMUnits);
}

void TpgwPreviewPages::UpdatePageDimension(int index, int /*orientation*/, Extended width, Extended height) {
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count()) return;
  TpgwXMLItem* item = pages->Items(index);
  item->SetProp(u"PaperSize", IntToStr(pgwCustomPaperSize));
  item->SetProp(u"PaperWidth", PageSizeText(width));
  item->SetProp(u"PaperHeight", PageSizeText(height));
  // The rebuilt page must take the new size.
  for (auto it = FPageCache.begin(); it != FPageCache.end(); ++it)
    if (it->Index == index && it->Page.get() != FLockedPage) {
      FPageCache.erase(it);
      break;
    }
}

void TpgwPreviewPages::UpdatePageLastColumn(int column, bool reset, Extended columnPosition) {
  TpgwXMLItem* page = CurPageItem();
  if (!page) return;
  if (reset || column > 0) page->SetProp(u"c", IntToStr(column));
  if (reset || columnPosition != 0) page->SetProp(u"cp", FloatToStr(columnPosition));
}

void TpgwPreviewPages::GetLastColumnPos(int& column, Extended& columnPosition) {
  column = 0;
  columnPosition = 0;
  if (TpgwXMLItem* page = CurPageItem()) {
    column = PropInt(*page, u"c", 0);
    columnPosition = PropFloat(*page, u"cp", 0);
  }
}

void TpgwPreviewPages::AddEmptyPage(int index) {
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count()) return;
  auto item = std::make_unique<TpgwXMLItem>();
  item->SetName(pages->Items(index)->Name());
  item->SetText(pages->Items(index)->Text());
  pages->InsertItem(index, std::move(item));
  TpgwXMLItem& numbers = Section(u"logicalpagenumbers");
  if (index <= numbers.Count()) {
    auto number = std::make_unique<TpgwXMLItem>();
    number->SetName(u"page");
    numbers.InsertItem(index, std::move(number));
  }
  FPageCache.clear();
  FLockedPage = nullptr;
}

void TpgwPreviewPages::DeletePage(int index) {
  TpgwXMLItem* pages = PagesItem();
  if (index < 0 || index >= pages->Count()) return;
  pages->Delete(index);
  TpgwXMLItem& numbers = Section(u"logicalpagenumbers");
  if (index < numbers.Count()) numbers.Delete(index);
  FPageCache.clear();
  FLockedPage = nullptr;
  if (FCurPage >= pages->Count()) FCurPage = pages->Count() - 1;
}

// ---- wiring -----------------------------------------------------------------------------------------

TpgwPreviewPages* PreparedPagesOf(TpgwReport& report) {
  return FastCast<TpgwPreviewPages>(report.PreviewPages());
}

namespace {

class TpgwPreparedPagesService final : public IpgwPreparedPagesService {
 public:
  TpgwPreviewPagesPtr Create(TpgwReport& report) override {
    return TpgwPreviewPagesPtr(new TpgwPreviewPages(report), TpgwPreviewPagesRelease{this});
  }
  void Destroy(TpgwCustomPreviewPages* pages) override { delete pages; }
  void Clear(TpgwCustomPreviewPages& pages) override { pages.Clear(); }
  bool Export(TpgwReport& report, TComponent& filter) override {
    TpgwCustomPreviewPages* pages = report.PreviewPages();
    if (!pages) {
      report.Errors().Add(u"The prepared page store is not available");
      report.ReportErrors();
      return false;
    }
    return pages->Export(&filter);
  }
};

}  // namespace

IpgwPreparedPagesService& ReportPreparedPagesService() {
  static TpgwPreparedPagesService service;
  return service;
}

}  // namespace pagewright
