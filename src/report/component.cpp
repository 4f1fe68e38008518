#include "report/component.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/exceptions.h"
#include "platform/fast_cast.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/stack_guard.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

// ---- enumerations -------------------------------------------------------------------------------

const TEnumInfo& TpgwRestrictionsInfo() {
  static const TEnumInfo info("TpgwRestrictions", {"rfDontModify", "rfDontSize", "rfDontMove", "rfDontDelete",
                                                   "rfDontEdit", "rfDontEditInPreview", "rfDontCopy"});
  return info;
}
const TEnumInfo& TpgwAnchorsInfo() {
  static const TEnumInfo info("TpgwAnchors", {"fraLeft", "fraTop", "fraRight", "fraBottom"});
  return info;
}
const TEnumInfo& TpgwPrintOnTypesInfo() {
  static const TEnumInfo info("TpgwPrintOnTypes",
                              {"ptFirstPage", "ptLastPage", "ptOddPages", "ptEvenPages", "ptRepeatedBand"});
  return info;
}
const TEnumInfo& TpgwAlignInfo() {
  static const TEnumInfo info("TpgwAlign", {"baNone", "baLeft", "baRight", "baCenter", "baWidth", "baBottom",
                                            "baClient", "baHidden"});
  return info;
}
const TEnumInfo& TpgwEditRightsInfo() {
  static const TEnumInfo info("TpgwEditRights", {"ferAllowInPreview", "ferAllowInExport"});
  return info;
}

namespace {
const TEnumInfo& FontStylesInfo() {
  static const TEnumInfo info("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
  return info;
}
const TEnumInfo& FontPitchInfo() {
  static const TEnumInfo info("TFontPitch", {"fpDefault", "fpVariable", "fpFixed"});
  return info;
}
const TEnumInfo& FontQualityInfo() {
  static const TEnumInfo info("TFontQuality", {"fqDefault", "fqDraft", "fqProof", "fqNonAntialiased",
                                               "fqAntialiased", "fqClearType", "fqClearTypeNatural"});
  return info;
}
}  // namespace

// ---- font -----------------------------------------------------------------------------------------

int& DefaultFontCharset() {
  static int charset = 1;
  return charset;
}
int& ScreenPixelsPerInch() {
  static int ppi = 96;
  return ppi;
}

TpgwFont::TpgwFont() {
  FFont.SetPixelsPerInch(ScreenPixelsPerInch());
  FFont.SetName(u"Arial");
  FFont.SetSize(10);
  FFont.SetColor(clBlack);
  FFont.SetCharset(static_cast<uint8_t>(DefaultFontCharset()));
  FFont.OnChange = [this] {
    if (OnChange) OnChange();
  };
}

const TClassInfo& TpgwFont::StaticClassInfo() {
  using T = TpgwFont;
  static const TClassInfo& info = Describe<T>("TFont")
                                      .Parent<TPersistent>()
                                      .Integer("Charset", &T::Charset, &T::SetCharset)
                                      .Color("Color", &T::Color, &T::SetColor)
                                      .Integer("Height", &T::Height, &T::SetHeight)
                                      .String("Name", &T::Name, &T::SetName)
                                      .Integer("Orientation", &T::Orientation, &T::SetOrientation)
                                      .Default(0)
                                      .Enum("Pitch", &T::Pitch, &T::SetPitch, FontPitchInfo())
                                      .Default(fpDefault)
                                      .Integer("Size", &T::Size, &T::SetSize)
                                      .Stored(false)
                                      .SetOf("Style", &T::Style, &T::SetStyle, FontStylesInfo())
                                      .Enum("Quality", &T::Quality, &T::SetQuality, FontQualityInfo())
                                      .Default(fqDefault)
                                      .Build();
  return info;
}
const TClassInfo& TpgwFont::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwFont::Assign(const TPersistent& source) {
  if (auto* f = FastCast<const TpgwFont>(&source)) {
    FFont.Assign(f->FFont);  // notifies through FFont.OnChange
    return;
  }
  TPersistent::Assign(source);
}

// ---- child list -------------------------------------------------------------------------------------

int TpgwObjectsNotifyList::IndexOf(const TpgwComponent* node) const {
  const int n = Count();
  if (FDirection == FromBeginning) {
    for (int i = 0; i < n; ++i)
      if (FItems[static_cast<size_t>(i)].get() == node) return i;
  } else {
    for (int i = n - 1; i >= 0; --i)
      if (FItems[static_cast<size_t>(i)].get() == node) return i;
  }
  return -1;
}

void TpgwObjectsNotifyList::Add(std::unique_ptr<TpgwComponent> node) {
  Insert(Count(), std::move(node));
}

void TpgwObjectsNotifyList::Insert(int index, std::unique_ptr<TpgwComponent> node) {
  TpgwComponent* p = node.get();
  index = std::clamp(index, 0, Count());
  FItems.insert(FItems.begin() + index, std::move(node));
  if (OnNotify) OnNotify(p, lnAdded);
}

std::unique_ptr<TpgwComponent> TpgwObjectsNotifyList::Extract(const TpgwComponent* node) {
  const int i = IndexOf(node);
  if (i < 0) return nullptr;
  std::unique_ptr<TpgwComponent> p = std::move(FItems[static_cast<size_t>(i)]);
  FItems.erase(FItems.begin() + i);
  if (OnNotify) OnNotify(p.get(), lnExtracted);
  return p;
}

void TpgwObjectsNotifyList::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  std::unique_ptr<TpgwComponent> p = std::move(FItems[static_cast<size_t>(index)]);
  FItems.erase(FItems.begin() + index);
  if (OnNotify) OnNotify(p.get(), lnDeleted);
  p.reset();
}

void TpgwObjectsNotifyList::Move(int curIndex, int newIndex) {
  if (curIndex < 0 || curIndex >= Count() || newIndex < 0 || newIndex >= Count())
    throw EListError("List index out of bounds (" + std::to_string(newIndex) + ")");
  if (curIndex == newIndex) return;
  auto p = std::move(FItems[static_cast<size_t>(curIndex)]);
  FItems.erase(FItems.begin() + curIndex);
  FItems.insert(FItems.begin() + newIndex, std::move(p));
}

std::vector<TpgwComponent*> TpgwObjectsNotifyList::Snapshot() const {
  std::vector<TpgwComponent*> out;
  out.reserve(FItems.size());
  for (auto& p : FItems) out.push_back(p.get());
  return out;
}

// ---- TpgwComponent --------------------------------------------------------------------------------

namespace {
// "Memo" for TpgwMemoView, "MasterData" for TpgwMasterData: the first "Tpgw", then the first "View".
WideString BaseNameOf(const std::string& className) {
  WideString s = Utf8ToUtf16(className);
  size_t p = s.find(u"Tpgw");
  if (p != WideString::npos) s.erase(p, 4);
  p = s.find(u"View");
  if (p != WideString::npos) s.erase(p, 4);
  return s;
}
}  // namespace

TComponent* TpgwComponent::PlatformOwnerFor(TComponent* owner) {
  if (auto* node = FastCast<TpgwComponent>(owner)) return node->Report();
  return owner;
}

TpgwComponent::TpgwComponent(TComponent* owner)
    : TComponent(PlatformOwnerFor(owner),
                 FastCast<TpgwComponent>(owner) ? TLifetime::External : TLifetime::ByOwner) {
  Construct(owner);
}

TpgwComponent::TpgwComponent(TComponent* owner, uint16_t /*designFlags*/, bool designing)
    : TComponent(PlatformOwnerFor(owner),
                 FastCast<TpgwComponent>(owner) ? TLifetime::External : TLifetime::ByOwner) {
  if (designing) FPgwComponentState.Include(csPgwDesigning);
  Construct(owner);
}

void TpgwComponent::Construct(TComponent* owner) {
  FAncestorOnlyStream = false;
  FPgwComponentStyle = {csPreviewVisible};
  FObjects.SetDirection(FromBeginning);
  FObjects.OnNotify = [this](TpgwComponent* node, TpgwListNotification action) {
    ObjectListNotify(node, action);
  };
  FFont.OnChange = [this] { FontChanged(); };
  FVisible = true;
  SetParentFont(true);
  if (auto* node = FastCast<TpgwComponent>(owner)) SetParent(node);
  FAnchors = {fraLeft, fraTop};
}

TpgwComponent::~TpgwComponent() {
  Destroying();
  FSortedObjects.reset();
  if (FParent) {
    std::unique_ptr<TpgwComponent> self = FParent->FObjects.Extract(this);
    (void)self.release();  // already being destroyed
    FParent = nullptr;
  }
  DestroyChildren();
  FObjects.OnNotify = nullptr;
  FFont.OnChange = nullptr;
  FSelectList = nullptr;
}

const TClassInfo& TpgwComponent::StaticClassInfo() {
  using T = TpgwComponent;
  static const TClassInfo& info = Describe<T>("TpgwComponent").Parent<TComponent>().Abstract().Build();
  return info;
}
const TClassInfo& TpgwComponent::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwComponent::Assign(const TPersistent& source) {
  auto* src = FastCast<const TpgwComponent>(&source);
  if (!src) {
    TComponent::Assign(source);
    return;
  }
  // Published properties, without children: the same values the serializer would carry.
  const TClassInfo& mine = ClassInfo();
  for (const TPropInfo* p : src->ClassInfo().Properties()) {
    if (p->Name() == "Name" || p->IsReadOnly() || p->Kind() == pkReference) continue;
    const TPropInfo* dst = mine.FindProperty(p->Name());
    if (!dst || dst->IsReadOnly()) continue;
    TPropValue v = p->Get(*src);
    if (p->Kind() == pkObject) {
      TPropValue own = dst->Get(*this);
      if (own.Obj && v.Obj) own.Obj->Assign(*v.Obj);
      continue;
    }
    dst->Set(*this, v);
  }
  if (!src->FParentFont) SetFont(src->FFont);
}

void TpgwComponent::AssignAll(TpgwComponent& source, bool streaming) {
  (void)streaming;
  Assign(source);
  // Children are recreated by class; their names stay unset to keep the report's names unique.
  Clear();
  for (TpgwComponent* c : source.FObjects.Snapshot()) {
    CreateChildAs<TpgwComponent>(c->ClassInfo(), *this).AssignAll(*c, streaming);
  }
}

void TpgwComponent::AssignAllWithOriginals(TpgwComponent& source, bool streaming) {
  AssignAll(source, streaming);
  std::function<void(TpgwComponent&, TpgwComponent&)> walk = [&](TpgwComponent& dst, TpgwComponent& src) {
    dst.AssignOriginals(src);
    const int n = std::min(dst.FObjects.Count(), src.FObjects.Count());
    for (int i = 0; i < n; ++i) walk(*dst.FObjects[i], *src.FObjects[i]);
  };
  walk(*this, source);
}

void TpgwComponent::AssignOriginals(const TpgwComponent& source) {
  FAliasName = source.FAliasName;
  SetOriginalComponent(source.FOriginalComponent);
}

void TpgwComponent::AssignToDict(TpgwComponent& source) {
  const bool had = source.FPgwComponentState.Contains(csPgwSerializeToDict);
  source.FPgwComponentState.Include(csPgwSerializeToDict);
  auto restore = ScopeExit([&] {
    if (!had) source.FPgwComponentState.Exclude(csPgwSerializeToDict);
  });
  Assign(source);
}

void TpgwComponent::SetOriginalComponent(TpgwComponent* c) {
  if (FOriginalComponent == c) return;
  if (FOriginalComponent) RemoveFreeNotification(FOriginalComponent);
  FOriginalComponent = c;
  if (c) FreeNotification(c);
}

void TpgwComponent::SetOriginalBand(TpgwComponent* c) {
  if (FOriginalBand == c) return;
  if (FOriginalBand && FOriginalBand != FOriginalComponent) RemoveFreeNotification(FOriginalBand);
  FOriginalBand = c;
  if (c) FreeNotification(c);
}

void TpgwComponent::Notification(TComponent* c, TOperation op) {
  // No report node acts when a component joins its owner; passing every insertion on to every
  // node the report owns would make building a tree quadratic in its size.
  if (op == opInsert) return;
  if (op == opRemove) {
    if (c == FOriginalComponent) FOriginalComponent = nullptr;
    if (c == FOriginalBand) FOriginalBand = nullptr;
    // A component being destroyed has already told everyone registered for its free
    // notification, which is how nodes hold pointers to each other; passing its removal on to
    // every node as well would make clearing a tree quadratic in its size.
    if (c && c->Owner() == this && c->ComponentState().Contains(csDestroying)) {
      RemoveFreeNotification(c);
      return;
    }
  }
  TComponent::Notification(c, op);
}

// ---- tree --------------------------------------------------------------------------------------

const std::vector<TpgwComponent*>& TpgwComponent::AllObjects() {
  FAllObjects.clear();
  std::function<void(TpgwComponent*)> walk = [&](TpgwComponent* n) {
    for (int i = 0; i < n->FObjects.Count(); ++i) {
      TpgwComponent* c = n->FObjects[i];
      FAllObjects.push_back(c);
      walk(c);
    }
  };
  walk(this);
  return FAllObjects;
}

std::vector<TpgwComponent*> TpgwComponent::ContainerObjects() const {
  return FObjects.Snapshot();
}

void TpgwComponent::SetParent(TpgwComponent* parent) {
  if (parent == FParent) return;
  std::unique_ptr<TpgwComponent> self;
  if (FParent) {
    // Removal searches in this node's own child-list direction.
    const TpgwSearchDirection saved = FParent->FObjects.Direction();
    FParent->FObjects.SetDirection(FObjects.Direction());
    self = FParent->FObjects.Extract(this);
    FParent->FObjects.SetDirection(saved);
  } else {
    // An unparented node is held by its creator; from now on the parent holds it.
    self.reset(this);
  }
  FParent = parent;
  if (parent) {
    parent->FObjects.Add(std::move(self));
    if (FParentFont) SetParentFont(true);
  } else {
    (void)self.release();  // the caller took it over (DetachFromParent)
  }
}

std::unique_ptr<TpgwComponent> TpgwComponent::DetachFromParent() {
  if (!FParent) return nullptr;
  SetParent(nullptr);
  return std::unique_ptr<TpgwComponent>(this);
}

TpgwComponent* TpgwComponent::Page() {
  for (TpgwComponent* n = this; n; n = n->FParent)
    if (n->IsPageNode()) return n;
  return nullptr;
}

TpgwComponent* TpgwComponent::TopNode() {
  TpgwComponent* n = this;
  while (n->FParent) n = n->FParent;
  return n;
}

TpgwComponent* TpgwComponent::TopParent() const {
  if (!FParent) return nullptr;
  return const_cast<TpgwComponent*>(this)->TopNode();
}

TpgwReport* TpgwComponent::Report() const {
  return const_cast<TpgwComponent*>(this)->TopNode()->AsReport();
}

void TpgwComponent::SetIsDesigning(bool v) {
  if (v)
    FPgwComponentState.Include(csPgwDesigning);
  else
    FPgwComponentState.Exclude(csPgwDesigning);
}

void TpgwComponent::SetIsSelected(bool v) {
  // The designer's and the preview's selection lists are not part of this program; a node
  // marks itself with a list of its own.
  FSelectList = v ? &FOwnSelection : nullptr;
}

// ---- name index ----------------------------------------------------------------------------------

void TpgwComponent::CollectNamed(TpgwComponent* node, std::vector<TpgwComponent*>& out) {
  if (!node->Name().empty()) out.push_back(node);
  for (int i = 0; i < node->FObjects.Count(); ++i) CollectNamed(node->FObjects[i], out);
}

bool TpgwNameIndex::Less::operator()(std::u16string_view a, std::u16string_view b) const {
  return WideCompareText(a, b) < 0;
}

TpgwComponent* TpgwNameIndex::ObjectOf(std::u16string_view name) const {
  const auto it = FItems.find(name);
  return it == FItems.end() ? nullptr : it->second;
}

void TpgwNameIndex::Add(const WideString& name, TpgwComponent* node) {
  const auto [it, added] = FItems.emplace(name, node);
  if (!added && !it->second) it->second = node;
}

void TpgwNameIndex::Remove(std::u16string_view name, const TpgwComponent* node) {
  const auto it = FItems.find(name);
  if (it != FItems.end() && it->second == node) FItems.erase(it);
}

size_t TpgwNameIndex::CountBetween(std::u16string_view from, std::u16string_view to) const {
  if (!Less()(from, to)) return 0;
  return static_cast<size_t>(std::distance(FItems.upper_bound(from), FItems.lower_bound(to)));
}

TpgwNameIndex& TpgwComponent::SortedObjects() {
  TpgwComponent* top = TopNode();
  if (!top->FSortedObjects) {
    auto index = std::make_unique<TpgwNameIndex>();
    for (TpgwComponent* c : top->AllObjects())
      if (!c->Name().empty()) index->Add(c->Name(), c);
    top->FSortedObjects = std::move(index);
  }
  return *top->FSortedObjects;
}

void TpgwComponent::RemoveIndexEntry(TpgwNameIndex& index, const WideString& name, const TpgwComponent* node) {
  index.Remove(name, node);
}

void TpgwComponent::IndexSubtree(TpgwComponent* node) {
  TpgwComponent* top = TopNode();
  node->FSortedObjects.reset();  // it is no longer a tree of its own
  if (!top->FSortedObjects) return;
  std::vector<TpgwComponent*> named;
  CollectNamed(node, named);
  for (TpgwComponent* c : named) top->FSortedObjects->Add(c->Name(), c);
}

void TpgwComponent::UnindexSubtree(TpgwComponent* node) {
  TpgwComponent* top = TopNode();
  if (!top->FSortedObjects) return;
  std::vector<TpgwComponent*> named;
  CollectNamed(node, named);
  for (TpgwComponent* c : named) RemoveIndexEntry(*top->FSortedObjects, c->Name(), c);
}

void TpgwComponent::ObjectListNotify(TpgwComponent* node, TpgwListNotification action) {
  if (action == lnAdded)
    IndexSubtree(node);
  else
    UnindexSubtree(node);
}

void TpgwComponent::SetName(const WideString& name) {
  if (SameName(name, Name())) return;
  const bool inReport = !name.empty() && Report() != nullptr;
  if (inReport) {
    const TpgwComponent* holder = SortedObjects().ObjectOf(name);
    if (holder && holder != this) throw EDuplicateName(Utf16ToUtf8(ResourceGet("prDupl")));
  }
  if (inReport && FAncestor)
    throw Exception(Utf16ToUtf8(Format(ResourceGet("clCantRen"), {TFormatArg(Name())})));
  const WideString old = Name();
  // The runtime validates the identifier and its uniqueness among the owner's components
  // before the tree's index changes, so a refused name leaves the index as it was.
  TComponent::SetName(name);
  TpgwComponent* top = TopNode();
  if (top->FSortedObjects) {
    if (!old.empty()) RemoveIndexEntry(*top->FSortedObjects, old, this);
    if (!name.empty() && top != this) top->FSortedObjects->Add(name, this);
  }
}

WideString TpgwComponent::BaseName() const {
  return BaseNameOf(ClassName());
}

void TpgwComponent::CreateUniqueName(TpgwReport* defaultReport) {
  const WideString base = BaseName();
  TpgwComponent* top = TopNode();
  TpgwNameIndex& index = defaultReport ? defaultReport->SortedObjects() : SortedObjects();
  std::vector<std::pair<WideString, TpgwComponent*>> merged;
  if (defaultReport && defaultReport->TopNode() != top) {
    for (TpgwComponent* c : top->AllObjects()) {
      if (c->Name().empty() || index.Contains(c->Name())) continue;
      index.Add(c->Name(), c);
      merged.emplace_back(c->Name(), c);
    }
  }
  auto present = [&](int64_t n) { return index.Contains(base + Utf8ToUtf16(std::to_string(n))); };
  int64_t n = 1;
  if (index.Count() >= 4) {
    // Probes around the names of this base: how many lie between them guesses the next number.
    index.Add(base + u"0", nullptr);
    index.Add(base + u"A", nullptr);
    n = static_cast<int64_t>(index.CountBetween(base + u"0", base + u"A"));
    while (n > 0 && !present(n)) --n;
  }
  while (present(n)) ++n;
  SetName(base + Utf8ToUtf16(std::to_string(n)));
  for (auto& [name, node] : merged) RemoveIndexEntry(index, name, node);
}

TpgwComponent* TpgwComponent::FindObject(std::u16string_view name) {
  for (TpgwComponent* c : AllObjects())
    if (SameName(c->Name(), name)) return c;
  return nullptr;
}

void TpgwComponent::Clear() {
  FSortedObjects.reset();
  FObjects.SetDirection(FromEnd);
  for (int i = FObjects.Count() - 1; i >= 0; --i) {
    if (i >= FObjects.Count()) continue;
    TpgwComponent* c = FObjects[i];
    if (c->FAncestor) {
      c->Clear();
    } else {
      std::unique_ptr<TpgwComponent> p = FObjects.Extract(c);
      p->FParent = nullptr;
      p.reset();
    }
  }
  FObjects.SetDirection(FromBeginning);
}

void TpgwComponent::DestroyChildren() {
  FSortedObjects.reset();
  // Children go last first: found at once from the end, not by a walk over all the others.
  FObjects.SetDirection(FromEnd);
  while (FObjects.Count() > 0) {
    std::unique_ptr<TpgwComponent> p = FObjects.Extract(FObjects[FObjects.Count() - 1]);
    p->FParent = nullptr;
    p.reset();
  }
}

// ---- geometry -------------------------------------------------------------------------------------

void TpgwComponent::SetLeft(Extended v) {
  if (IsDesigning() && Restrictions().Contains(rfDontMove)) return;
  FLeft = v;
}

void TpgwComponent::SetTop(Extended v) {
  if (IsDesigning() && Restrictions().Contains(rfDontMove)) return;
  FTop = v;
}

void TpgwComponent::SetWidth(Extended v) {
  if (IsDesigning() && Restrictions().Contains(rfDontSize)) return;
  if (FObjects.Count() > 0 && std::fabs(v - FWidth) > 0.01L) UpdateAnchors(v - FWidth, 0);
  FWidth = v;
}

void TpgwComponent::SetHeight(Extended v) {
  if (IsDesigning() && Restrictions().Contains(rfDontSize)) return;
  if (FObjects.Count() > 0 && std::fabs(v - FHeight) > 0.01L) UpdateAnchors(0, v - FHeight);
  FHeight = v;
}

void TpgwComponent::UpdateAnchors(Extended dw, Extended dh) {
  if (FAnchorsUpdating) return;
  FAnchorsUpdating = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{FAnchorsUpdating};
  for (TpgwComponent* c : FObjects.Snapshot()) {
    if (c->FAnchorsUpdating) continue;
    const TpgwAnchors a = c->FAnchors;
    if (a.Contains(fraRight)) {
      if (a.Contains(fraLeft))
        c->SetWidth(c->Width() + dw);
      else
        c->SetLeft(c->Left() + dw);
    } else if (!a.Contains(fraLeft)) {
      c->SetLeft(c->Left() + static_cast<Extended>(RoundHalfEven(dw / 1.18L)));
    }
    if (a.Contains(fraBottom)) {
      if (a.Contains(fraTop))
        c->SetHeight(c->Height() + dh);
      else
        c->SetTop(c->Top() + dh);
    } else if (!a.Contains(fraTop)) {
      c->SetTop(c->Top() + static_cast<Extended>(RoundHalfEven(dh / 1.18L)));
    }
  }
}

void TpgwComponent::SetBounds(Extended left, Extended top, Extended width, Extended height) {
  SetLeft(left);
  SetTop(top);
  SetWidth(width);
  SetHeight(height);
}

Extended TpgwComponent::AbsLeft() const {
  if (!FParent || FParent->IsDialogPage()) return FLeft;
  return FLeft + FParent->AbsLeft();
}

Extended TpgwComponent::AbsTop() const {
  if (!FParent || FParent->IsDialogPage()) return FTop;
  return FTop + FParent->AbsTop();
}

TpgwRect TpgwComponent::GetClientArea() const {
  return TpgwRect{0, 0, FWidth, FHeight};
}

void TpgwComponent::MirrorContent(TpgwMirrorControlModes modes) {
  (void)modes;  // views mirror what they draw
}

void TpgwComponent::MirrorPosition(TpgwMirrorControlModes modes) {
  if (modes.Contains(mcmOnlyAllowed) && !IsSelected() && !FAllowMirrorMode) return;
  if (!FParent) return;
  if ((modes.Contains(mcmRTLObjects) && FObjects.Count() == 0) || (modes.Contains(mcmRTLBands) && IsBand()))
    SetLeft(FParent->Width() - (FLeft + FWidth));
  if ((modes.Contains(mcmBTTObjects) && FObjects.Count() == 0) || (modes.Contains(mcmBTTBands) && IsBand()))
    SetTop(FParent->Height() - (FTop + FHeight));
}

void TpgwComponent::AlignChildren(bool ignoreInvisible, TpgwMirrorControlModes modes) {
  StackGuard stack;
  const TpgwRect client = GetClientArea();
  std::vector<TpgwComponent*> parts;
  for (TpgwComponent* c : FObjects.Snapshot()) {
    if (c->Align() == baHidden) continue;
    if (ignoreInvisible && !c->Visible()) continue;
    parts.push_back(c);
  }
  // Sorted by left edge through the runtime's sorted list, whose order of equal keys the
  // placement below depends on; only children aligned to a side need the order (building it for
  // many thousand children would cost more than everything else).
  bool sideAligned = false;
  for (TpgwComponent* c : parts) {
    const TpgwAlign al = c->Align();
    sideAligned = sideAligned || al == baLeft || al == baRight || al == baWidth;
  }
  TStringList sorted;
  sorted.SetSorted(true);
  sorted.SetDuplicates(dupAccept);
  for (TpgwComponent* c : parts) {
    c->MirrorPosition(modes);
    if (!sideAligned) continue;
    const Extended l = c->Left();
    WideString key =
        l >= 0 ? u"1" + Format(u"%9.2f", {TFormatArg(l)}) : u"0" + Format(u"%9.2f", {TFormatArg(-l)});
    sorted.AddObject(key, c);
  }
  auto overlaps = [](const TpgwComponent* a, const TpgwComponent* b) {
    return !(a->Top() >= b->Top() + b->Height() - 0.0001L || b->Top() >= a->Top() + a->Height() - 0.0001L);
  };
  const int n = sorted.Count();
  for (int i = 0; i < n; ++i) {
    auto* c = sorted.ObjectAs<TpgwComponent>(i);
    const TpgwAlign al = c->Align();
    if (al != baLeft && al != baWidth) continue;
    TpgwComponent* neighbour = nullptr;
    for (int j = i - 1; j >= 0 && !neighbour; --j) {
      auto* o = sorted.ObjectAs<TpgwComponent>(j);
      if (o == c || !overlaps(c, o)) continue;
      if (al == baWidth && o->Left() > c->Left()) continue;
      neighbour = o;
    }
    c->SetLeft(neighbour ? neighbour->Left() + neighbour->Width() : client.Left);
  }
  for (int i = n - 1; i >= 0; --i) {
    auto* c = sorted.ObjectAs<TpgwComponent>(i);
    const TpgwAlign al = c->Align();
    if (al != baRight && al != baWidth) continue;
    TpgwComponent* neighbour = nullptr;
    for (int j = i + 1; j < n && !neighbour; ++j) {
      auto* o = sorted.ObjectAs<TpgwComponent>(j);
      if (o == c || !overlaps(c, o)) continue;
      if (al == baWidth && o->Left() + o->Width() < c->Left() + c->Width()) continue;
      neighbour = o;
    }
    const Extended edge = neighbour ? neighbour->Left() : client.Right;
    if (al == baRight)
      c->SetLeft(edge - c->Width());
    else
      c->SetWidth(edge - c->Left());
  }
  for (TpgwComponent* c : parts) {
    switch (c->Align()) {
      case baCenter:
        c->SetLeft((client.Right - c->Width()) / 2);
        break;
      case baBottom:
        c->SetTop(client.Bottom - c->Height());
        break;
      case baClient:
        c->SetLeft(client.Left);
        c->SetTop(client.Top);
        c->SetWidth(client.Right);
        c->SetHeight(client.Bottom);
        break;
      default:
        break;
    }
    c->AlignChildren(ignoreInvisible, modes);
  }
}

// ---- font -------------------------------------------------------------------------------------------

void TpgwComponent::SetFont(const TpgwFont& v) {
  FFont.Assign(v);
  FParentFont = false;
}

void TpgwComponent::SetParentFont(bool v) {
  if (v && FParent) FFont.Assign(FParent->FFont);  // the change handler clears the flag
  FParentFont = v;
}

void TpgwComponent::FontChanged() {
  FParentFont = false;
  for (TpgwComponent* c : FObjects.Snapshot())
    if (c->FParentFont) c->SetParentFont(true);
}

// ---- operations -------------------------------------------------------------------------------------

WideString TpgwComponent::GetDescription() const {
  return Utf8ToUtf16(ClassName());
}

bool TpgwComponent::IsAcceptControl(const TpgwComponent* child) const {
  if (!child) return true;
  return FPgwComponentStyle.Contains(csAcceptsPgwComponents) && child != this &&
         child->IsAcceptAsChild(this) && !child->pwComponentStyle().Contains(csContained);
}

bool TpgwComponent::IsAcceptAsChild(const TpgwComponent* parent) const {
  return parent != nullptr;
}

void TpgwComponent::Relink(TComponent*& reference, TComponent* target) {
  if (reference == target) return;
  if (reference) RemoveFreeNotification(reference);
  reference = target;
  if (reference) FreeNotification(reference);
}

TComponent* TpgwComponent::FindDataSet(TComponent* current, std::u16string_view name) {
  TpgwReport* report = Report();
  if (!report) return name.empty() ? nullptr : current;
  if (IpgwDataService* data = report->Services().Data) return data->FindDataSet(this, current, name);
  if (report->EngineOptions().UseGlobalDataSetList()) return nullptr;
  TpgwReportDataSets& list = report->EnabledDataSets();
  for (int i = 0; i < list.Count(); ++i) {
    TComponent* ds = list.Items(i).DataSet();
    if (ds && (SameText(DataSetUserName(ds), name) || SameText(ds->Name(), name))) return ds;
  }
  return nullptr;
}

void TpgwComponent::LoadFromStream(TStream& stream) {
  if (!FAncestorOnlyStream) Clear();
  TpgwReport* report = Report();
  TpgwXMLSerializer serializer(&stream);
  serializer.SetHandleNestedProperties(true);
  if (report) {
    serializer.SetOwner(report);
    serializer.GetCustomDataEvent = report->OnGetCustomData;
  }
  // The error lines reach the report even when the document itself is malformed.
  struct ErrorCopy {
    TpgwReport* report;
    TpgwXMLSerializer& serializer;
    ~ErrorCopy() {
      if (report) report->Errors().AddStrings(serializer.Errors());
    }
  } copy{report, serializer};
  serializer.ReadRootComponent(*this);
}

void TpgwComponent::SaveToStream(TStream& stream, bool saveChildren, bool serializeDefaults) {
  TpgwReport* report = Report();
  TpgwXMLSerializer serializer(&stream);
  serializer.SetHandleNestedProperties(true);
  serializer.SetSerializeDefaultValues(serializeDefaults);
  if (report) {
    serializer.SetOwner(report);
    if (report == this) serializer.OnSaveCustomDataEvent = report->OnSaveCustomData;
    if (TpgwReport* parent = report->ParentReportObject()) {
      // Saved as the differences from the parent template.
      serializer.OnGetAncestor = [parent](IpgwSerializedNode& node) -> TPersistent* {
        auto& c = static_cast<TpgwComponent&>(node.NodeComponent());
        if (c.AsReport()) return parent;
        return c.IsAncestor() ? parent->FindObject(c.Name()) : nullptr;
      };
    }
  }
  serializer.WriteRootComponent(*this, saveChildren);
}

bool TpgwComponent::IsReportNode() const {
  return const_cast<TpgwComponent*>(this)->AsReport() != nullptr;
}

void TpgwComponent::SetWritingMark(bool on) {
  if (on)
    FPgwComponentState.Include(csPgwWriting);
  else
    FPgwComponentState.Exclude(csPgwWriting);
}

IpgwSerializedNode* TpgwComponent::CreateChildNode(const TClassInfo& cls) {
  if (!cls.CanCreate() || !cls.InheritsFrom(TpgwComponent::StaticClassInfo()) ||
      cls.InheritsFrom(TpgwReport::StaticClassInfo()))
    return nullptr;
  return &CreateChildAs<TpgwComponent>(cls, *this);  // appended to this node's children
}

WideString TpgwComponent::GiveUniqueName() {
  CreateUniqueName();
  return Name();
}

WideString TpgwComponent::MessageText(std::string_view id, std::u16string_view /*fallback*/) {
  return ResourceGet(id);
}

void TpgwComponent::MoveNodeToEnd() {
  if (!FParent) return;
  TpgwObjectsNotifyList& list = FParent->FObjects;
  const int index = list.IndexOf(this);
  if (index >= 0) list.Move(index, list.Count() - 1);
}

// ---- TpgwReportComponent ------------------------------------------------------------------------------

TpgwReportComponent::TpgwReportComponent(TComponent* owner) : TpgwComponent(owner) {}

TpgwReportComponent::~TpgwReportComponent() {
  FShiftObject = nullptr;  // the band engine owns it
}

const TClassInfo& TpgwReportComponent::StaticClassInfo() {
  using T = TpgwReportComponent;
  static const TClassInfo& info = Describe<T>("TpgwReportComponent")
                                      .Parent<TpgwComponent>()
                                      .Abstract()
                                      .String("Description", &T::Description, &T::SetDescription)
                                      .Int64("IndexTag", &T::IndexTag, &T::SetIndexTag)
                                      .Stored(&T::IndexTagStored)
                                      .Build();
  return info;
}
const TClassInfo& TpgwReportComponent::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwReportComponent::DrawChilds(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                                     Extended offsetY) {
  for (TpgwComponent* c : Objects().Snapshot()) {
    auto* rc = FastCast<TpgwReportComponent>(c);
    if (rc && !rc->IsOwnerDraw()) rc->Draw(canvas, scaleX, scaleY, offsetX, offsetY);
  }
}

void TpgwReportComponent::DrawWithChilds(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                                         Extended offsetY) {
  Draw(canvas, scaleX, scaleY, offsetX, offsetY);
  DrawChilds(canvas, scaleX, scaleY, offsetX, offsetY);
}

void TpgwReportComponent::BeforePrint() {
  SetOriginalRect(TpgwRect{Left(), Top(), Width(), Height()});
}

void TpgwReportComponent::AfterPrint() {
  const TpgwRect& r = OriginalRect();
  SetBounds(r.Left, r.Top, r.Right, r.Bottom);
}

TpgwRect TpgwReportComponent::GetRealBounds() const {
  return TpgwRect{AbsLeft(), AbsTop(), AbsLeft() + Width(), AbsTop() + Height()};
}

// ---- class registry ----------------------------------------------------------------------------------

namespace {
const TClassInfo& ReportInfo() {
  return TpgwReport::StaticClassInfo();
}
const TClassInfo& StyleItemInfo() {
  return TpgwStyleItem::StaticClassInfo();
}
}  // namespace

namespace {
std::vector<TpgwRegisteredClass>& MutableReportClassList() {
  static std::vector<TpgwRegisteredClass> list = {
      {"TpgwChild", nullptr},
      {"TpgwColumnFooter", nullptr},
      {"TpgwColumnHeader", nullptr},
      {"TpgwCustomMemoView", nullptr},
      {"TpgwMasterData", nullptr},
      {"TpgwDetailData", nullptr},
      {"TpgwSubdetailData", nullptr},
      {"TpgwDataBand4", nullptr},
      {"TpgwDataBand5", nullptr},
      {"TpgwDataBand6", nullptr},
      {"TpgwDialogPage", nullptr},
      {"TpgwFooter", nullptr},
      {"TpgwFrame", nullptr},
      {"TpgwGroupFooter", nullptr},
      {"TpgwGroupHeader", nullptr},
      {"TpgwHeader", nullptr},
      {"TpgwHighlight", nullptr},
      {"TpgwLineView", nullptr},
      {"TpgwMemoView", nullptr},
      {"TpgwOverlay", nullptr},
      {"TpgwPageFooter", nullptr},
      {"TpgwPageHeader", nullptr},
      {"TpgwPictureView", nullptr},
      {"TpgwReport", &ReportInfo},
      {"TpgwReportPage", nullptr},
      {"TpgwReportSummary", nullptr},
      {"TpgwReportTitle", nullptr},
      {"TpgwShapeView", nullptr},
      {"TpgwSubreport", nullptr},
      {"TpgwSysMemoView", nullptr},
      {"TpgwStyleItem", &StyleItemInfo},
      {"TpgwNullBand", nullptr},
      {"TpgwCustomLineView", nullptr},
      {"TpgwDataPage", nullptr},
      {"TpgwDigitalSignatureView", nullptr},
  };
  return list;
}
}  // namespace

const std::vector<TpgwRegisteredClass>& ReportClassList() {
  return MutableReportClassList();
}

bool ProvideReportClass(std::string_view name, const TClassInfo& (*info)()) {
  for (TpgwRegisteredClass& c : MutableReportClassList()) {
    if (AsciiSameText(c.Name, name)) {
      c.Info = info;
      return true;
    }
  }
  return false;
}

void RegisterReportClasses() {
  for (const TpgwRegisteredClass& c : ReportClassList())
    if (c.Info) ClassRegistry().Register(c.Info());
}

const TClassInfo* FindReportClass(std::u16string_view name) {
  return ClassRegistry().Find(name);
}

// ---- palette ----------------------------------------------------------------------------------------

TpgwObjectItem& TpgwObjectCollection::Add() {
  FItems.emplace_back();
  return FItems.back();
}

void TpgwObjectCollection::RemoveClass(const TClassInfo& cls) {
  std::erase_if(FItems, [&](const TpgwObjectItem& i) { return i.ClassRef == &cls; });
}

TpgwObjectCollection& pgwObjects() {
  static TpgwObjectCollection collection;
  return collection;
}

namespace {
bool DescendsFromName(const TClassInfo& cls, std::initializer_list<const char*> names) {
  for (const TClassInfo* c = &cls; c; c = c->Parent())
    for (const char* n : names)
      if (AsciiSameText(c->Name(), n)) return true;
  return false;
}
}  // namespace

void RegisterObject1(const TClassInfo& cls, const void* buttonBmp, const WideString& hint,
                     const WideString& categoryName, uint16_t flags, int imageIndex,
                     TpgwObjectCategories categories) {
  TpgwObjectCollection& list = pgwObjects();
  for (int i = 0; i < list.Count(); ++i)
    if (list.Items(i).ClassRef == &cls && list.Items(i).Flags == flags) return;
  ClassRegistry().Register(cls);
  TpgwObjectItem& item = list.Add();
  item.ClassRef = &cls;
  item.ButtonBmp = buttonBmp;
  item.ButtonHint = hint;
  item.CategoryName = categoryName;
  item.Flags = flags;
  item.ButtonImageIndex = imageIndex;
  if (categories.Empty()) {
    if (DescendsFromName(cls, {"TpgwDataSet", "TpgwCustomDatabase", "TDataSet"}))
      categories = {ctData};
    else if (DescendsFromName(cls, {"TpgwDialogControl", "TpgwDialogComponent"}))
      categories = {ctDialog};
    else
      categories = {ctReport};
  }
  item.Category = categories;
}

void RegisterCategory(const WideString& name, const void* buttonBmp, int imageIndex, const WideString& hint) {
  TpgwObjectItem& item = pgwObjects().Add();
  item.CategoryName = name;
  item.ButtonBmp = buttonBmp;
  item.ButtonImageIndex = imageIndex;
  item.ButtonHint = hint;
}

void Unregister(const TClassInfo& cls) {
  pgwObjects().RemoveClass(cls);
}

}  // namespace pagewright
