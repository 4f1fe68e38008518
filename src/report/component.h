// The report tree: the node base every report object derives from, the printable-object base,
// the class registry of report objects and the designer palette collection.
//
// Ownership. A node's parent holds it in its child list (std::unique_ptr); the report root of
// the tree the node was created in is its platform owner, which keeps component names unique
// and lets FindComponent work. Deleting a node at any time is safe: it leaves its parent's
// list (its names leave the tree's name index), destroys its children and then notifies every
// component registered for free notification.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/properties.h"
#include "platform/string_list.h"
#include "platform/types.h"
#include "render/fonts.h"
#include "storage/serializer.h"

namespace pagewright {

class TStream;
class TpgwComponent;
class TpgwReport;

// Positions and sizes a template may give an object, in pixels at 96 dpi: about 13 m, more than
// any paper; larger values are an error for that attribute when a template is read.
inline constexpr Extended kMaxGeometry = 50000;

class TpgwComponent;

// Names of a tree in the order of the runtime's case-insensitive comparison, each with its node;
// a name may be held without a node (a probe). Ordered so that names of one base can be counted
// between two probes; a balanced tree, so that a tree of many named nodes is indexed in n log n.
class TpgwNameIndex {
 public:
  bool Contains(std::u16string_view name) const { return FItems.find(name) != FItems.end(); }
  // The node of the name; null when the name is not there or is a probe.
  TpgwComponent* ObjectOf(std::u16string_view name) const;
  // Adds the name, or gives a probe its node; a name that has a node keeps it.
  void Add(const WideString& name, TpgwComponent* node);
  // Removes the name when it is that node's.
  void Remove(std::u16string_view name, const TpgwComponent* node);
  // Names strictly between two names that are in the index.
  size_t CountBetween(std::u16string_view from, std::u16string_view to) const;
  size_t Count() const { return FItems.size(); }

 private:
  struct Less {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
  };
  std::map<WideString, TpgwComponent*, Less> FItems;
};
class TpgwShiftObject;

struct TpgwRect {
  Extended Left = 0;
  Extended Top = 0;
  Extended Right = 0;
  Extended Bottom = 0;
};

enum TpgwRestriction : uint8_t {
  rfDontModify,
  rfDontSize,
  rfDontMove,
  rfDontDelete,
  rfDontEdit,
  rfDontEditInPreview,
  rfDontCopy
};
using TpgwRestrictions = Set<TpgwRestriction>;

enum TpgwEditRight : uint8_t { ferAllowInPreview, ferAllowInExport };
using TpgwEditRights = Set<TpgwEditRight>;

enum TpgwComponentStyleFlag : uint8_t {
  csContainer,
  csPreviewVisible,
  csDefaultDiff,
  csHandlesNestedProperties,
  csContained,
  csAcceptsPgwComponents,
  csObjectsContainer
};
using TpgwComponentStyle = Set<TpgwComponentStyleFlag>;

enum TpgwComponentStateFlag : uint8_t {
  csPgwDesigning,
  csPgwWriting,
  csPgwSerializeToDict,
  csPgwSerializeToPreviewPages,
  csPgwModifyObject,
  csPgwExporting,
  csPgwInteractiveForms
};
using TpgwComponentState = Set<TpgwComponentStateFlag>;

enum TpgwAnchor : uint8_t { fraLeft, fraTop, fraRight, fraBottom };
using TpgwAnchors = Set<TpgwAnchor>;

enum TpgwPrintOnType : uint8_t { ptFirstPage, ptLastPage, ptOddPages, ptEvenPages, ptRepeatedBand };
using TpgwPrintOnTypes = Set<TpgwPrintOnType>;

enum TpgwAlign : uint8_t { baNone, baLeft, baRight, baCenter, baWidth, baBottom, baClient, baHidden };

enum TpgwMirrorControlMode : uint8_t {
  mcmRTLObjects,
  mcmRTLBands,
  mcmBTTObjects,
  mcmBTTBands,
  mcmRTLAppearance,
  mcmBTTAppearance,
  mcmOnlyAllowed
};
using TpgwMirrorControlModes = Set<TpgwMirrorControlMode>;

const TEnumInfo& TpgwRestrictionsInfo();
const TEnumInfo& TpgwAnchorsInfo();
const TEnumInfo& TpgwPrintOnTypesInfo();
const TEnumInfo& TpgwAlignInfo();
const TEnumInfo& TpgwEditRightsInfo();

// A font description as a published sub-object: the drawing font plus a change callback.
class TpgwFont : public TPersistent {
 public:
  TpgwFont();
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  const WideString& Name() const { return FFont.Name(); }
  void SetName(const WideString& v) { FFont.SetName(v); }
  int Height() const { return FFont.Height(); }
  void SetHeight(int v) { FFont.SetHeight(v); }
  int Size() const { return FFont.Size(); }
  void SetSize(int v) { FFont.SetSize(v); }
  TColor Color() const { return FFont.Color(); }
  void SetColor(TColor v) { FFont.SetColor(v); }
  int Charset() const { return FFont.Charset(); }
  void SetCharset(int v) { FFont.SetCharset(static_cast<uint8_t>(v)); }
  TFontStyles Style() const { return FFont.Style(); }
  void SetStyle(TFontStyles v) { FFont.SetStyle(v); }
  TFontPitch Pitch() const { return FFont.Pitch(); }
  void SetPitch(TFontPitch v) { FFont.SetPitch(v); }
  int Orientation() const { return FFont.Orientation(); }
  void SetOrientation(int v) { FFont.SetOrientation(v); }
  TFontQuality Quality() const { return FFont.Quality(); }
  void SetQuality(TFontQuality v) { FFont.SetQuality(v); }
  int PixelsPerInch() const { return FFont.PixelsPerInch(); }
  void SetPixelsPerInch(int v) { FFont.SetPixelsPerInch(v); }

  // The description the canvas takes.
  const TFont& Native() const { return FFont; }
  bool SameAs(const TpgwFont& o) const { return FFont.SameAs(o.FFont); }

  // Called after every change.
  std::function<void()> OnChange;

 private:
  TFont FFont;
};

// Engine-wide defaults every new node font starts with.
int& DefaultFontCharset();   // initially 1
int& ScreenPixelsPerInch();  // initially 96

enum TpgwListNotification : uint8_t { lnAdded, lnExtracted, lnDeleted };
enum TpgwSearchDirection : uint8_t { FromBeginning, FromEnd };

// The ordered children of a node. Holds them; tells its callback about every addition and
// removal.
class TpgwObjectsNotifyList {
 public:
  using TNotify = std::function<void(TpgwComponent* node, TpgwListNotification action)>;

  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwComponent* operator[](int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  TpgwComponent* Items(int index) const { return (*this)[index]; }
  // Position of `node`, searched in the list's direction; -1 when absent.
  int IndexOf(const TpgwComponent* node) const;
  void Add(std::unique_ptr<TpgwComponent> node);
  void Insert(int index, std::unique_ptr<TpgwComponent> node);
  // Removes `node` and hands it over (null when absent).
  std::unique_ptr<TpgwComponent> Extract(const TpgwComponent* node);
  // Removes and destroys the item at `index`.
  void Delete(int index);
  void Move(int curIndex, int newIndex);
  // A snapshot of the items, for walks that may change the list.
  std::vector<TpgwComponent*> Snapshot() const;

  TpgwSearchDirection Direction() const { return FDirection; }
  void SetDirection(TpgwSearchDirection d) { FDirection = d; }
  TNotify OnNotify;

 private:
  std::vector<std::unique_ptr<TpgwComponent>> FItems;
  TpgwSearchDirection FDirection = FromBeginning;
};

class TpgwComponent : public TComponent, public IpgwSerializedNode {
 public:
  explicit TpgwComponent(TComponent* owner);
  // Marks the node as designing, then constructs it as above.
  TpgwComponent(TComponent* owner, uint16_t designFlags, bool designing);
  ~TpgwComponent() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  void SetName(const WideString& name) override;
  void Assign(const TPersistent& source) override;

  // --- tree -----------------------------------------------------------------------------------
  TpgwObjectsNotifyList& Objects() { return FObjects; }
  const TpgwObjectsNotifyList& Objects() const { return FObjects; }
  // All descendants, depth-first, parents before children (rebuilt on each call).
  const std::vector<TpgwComponent*>& AllObjects();
  virtual std::vector<TpgwComponent*> ContainerObjects() const;
  TpgwComponent* Parent() const { return FParent; }
  // Moves the node to the end of `parent`'s children; from then on the parent holds it (a
  // creator holding an unparented node in a std::unique_ptr releases it first). With null,
  // the node leaves its parent and the caller becomes responsible for it (DetachFromParent).
  virtual void SetParent(TpgwComponent* parent);
  std::unique_ptr<TpgwComponent> DetachFromParent();
  // Nearest page ancestor, the node itself included.
  TpgwComponent* Page();
  // The report root of the tree, or null.
  virtual TpgwReport* Report() const;
  // The top node, null for the top node itself.
  TpgwComponent* TopParent() const;
  TpgwComponent* TopNode();

  // Kind tests the later object classes answer.
  virtual TpgwReport* AsReport() { return nullptr; }
  virtual bool IsPageNode() const { return false; }
  virtual bool IsDialogPage() const { return false; }
  virtual bool IsBand() const { return false; }
  virtual bool IsDialogComponent() const { return false; }
  // A view's alignment inside its parent; nodes without the property are not aligned.
  virtual TpgwAlign Align() const { return baNone; }

  // --- the name index ---------------------------------------------------------------------------
  // The sorted, case-insensitive (name, node) index of the whole tree, kept at the top node and
  // built on first use. Null objects are the probe entries CreateUniqueName leaves behind.
  TpgwNameIndex& SortedObjects();
  void CreateUniqueName(TpgwReport* defaultReport = nullptr);
  // First descendant (depth-first) whose name matches without regard to case.
  virtual TpgwComponent* FindObject(std::u16string_view name);

  // --- state ------------------------------------------------------------------------------------
  bool IsAncestor() const { return FAncestor; }
  void SetAncestor(bool v) { FAncestor = v; }
  bool IsDesigning() const { return FPgwComponentState.Contains(csPgwDesigning); }
  void SetIsDesigning(bool v);
  bool IsLoading() const { return FIsLoading; }
  void SetIsLoading(bool v) { FIsLoading = v; }
  bool IsPrinting() const { return FIsPrinting; }
  void SetIsPrinting(bool v) { FIsPrinting = v; }
  bool IsWriting() const { return FPgwComponentState.Contains(csPgwWriting); }
  bool IsSelected() const { return FSelectList != nullptr; }
  virtual void SetIsSelected(bool v);
  // The class name without its first "Tpgw" and then its first "View" ("Memo", "MasterData").
  WideString BaseName() const;
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int v) { FGroupIndex = v; }
  TpgwComponentStyle pwComponentStyle() const { return FPgwComponentStyle; }
  void SetpwComponentStyle(TpgwComponentStyle v) { FPgwComponentStyle = v; }
  TpgwComponentState pwComponentState() const { return FPgwComponentState; }
  void SetpwComponentState(TpgwComponentState v) { FPgwComponentState = v; }
  bool AncestorOnlyStream() const { return FAncestorOnlyStream; }
  void SetAncestorOnlyStream(bool v) { FAncestorOnlyStream = v; }
  intptr_t IndexTag() const { return FIndexTag; }
  void SetIndexTag(intptr_t v) { FIndexTag = v; }
  bool IndexTagStored() const { return FIndexTag > 0; }
  TpgwAnchors Anchors() const { return FAnchors; }
  virtual void SetAnchors(TpgwAnchors v) { FAnchors = v; }
  bool AnchorsUpdating() const { return FAnchorsUpdating; }
  bool AllowMirrorMode() const { return FAllowMirrorMode; }
  void SetAllowMirrorMode(bool v) { FAllowMirrorMode = v; }
  const WideString& Description() const { return FDescription; }
  void SetDescription(const WideString& v) { FDescription = v; }
  TpgwEditRights Editable() const { return FEditable; }
  void SetEditable(TpgwEditRights v) { FEditable = v; }
  virtual TpgwRestrictions Restrictions() const { return FRestrictions; }
  void SetRestrictions(TpgwRestrictions v) { FRestrictions = v; }
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v) { FVisible = v; }
  bool MouseInView() const { return FMouseInView; }
  bool Highlighted() const { return FHighlighted; }
  const WideString& AliasName() const { return FAliasName; }
  void SetAliasName(const WideString& v) { FAliasName = v; }
  TpgwComponent* OriginalComponent() const { return FOriginalComponent; }
  void SetOriginalComponent(TpgwComponent* c);
  TpgwComponent* OriginalBand() const { return FOriginalBand; }
  void SetOriginalBand(TpgwComponent* c);
  const TpgwRect& OriginalRect() const { return FOriginalRect; }
  void SetOriginalRect(const TpgwRect& r) { FOriginalRect = r; }
  // The XML item the node was read from (owned by the document being read).
  void* SerializedItem() const { return FSerializedItem; }
  void SetSerializedItem(void* item) { FSerializedItem = item; }

  // --- geometry ---------------------------------------------------------------------------------
  Extended Left() const { return FLeft; }
  Extended Top() const { return FTop; }
  Extended Width() const { return FWidth; }
  Extended Height() const { return FHeight; }
  virtual void SetLeft(Extended v);
  virtual void SetTop(Extended v);
  virtual void SetWidth(Extended v);
  virtual void SetHeight(Extended v);
  virtual bool IsLeftStored() const { return true; }
  virtual bool IsTopStored() const { return true; }
  virtual bool IsWidthStored() const { return true; }
  virtual bool IsHeightStored() const { return true; }
  void SetBounds(Extended left, Extended top, Extended width, Extended height);
  Extended AbsLeft() const;
  Extended AbsTop() const;
  virtual TpgwRect GetClientArea() const;
  virtual void AlignChildren(bool ignoreInvisible = false, TpgwMirrorControlModes modes = {});
  virtual void MirrorContent(TpgwMirrorControlModes modes);
  virtual void MirrorPosition(TpgwMirrorControlModes modes);

  // --- font -------------------------------------------------------------------------------------
  TpgwFont& Font() { return FFont; }
  const TpgwFont& Font() const { return FFont; }
  virtual void SetFont(const TpgwFont& v);
  bool ParentFont() const { return FParentFont; }
  virtual void SetParentFont(bool v);

  // --- operations -------------------------------------------------------------------------------
  // Removes the children; those from an inherited template stay and are cleared themselves.
  virtual void Clear();
  virtual WideString GetDescription() const;
  virtual bool IsAcceptControl(const TpgwComponent* child) const;
  virtual bool IsAcceptAsChild(const TpgwComponent* parent) const;
  virtual void BeforeStartReport() {}
  virtual void AssignOriginals(const TpgwComponent& source);
  void AssignAllWithOriginals(TpgwComponent& source, bool streaming = false);
  void AssignAll(TpgwComponent& source, bool streaming = false);
  void AssignToDict(TpgwComponent& source);
  // The node's data set of that name (see the report's EnabledDataSets), or null.
  TComponent* FindDataSet(TComponent* current, std::u16string_view name);
  // Points a non-owning reference at `target`, moving the free notification with it, so the
  // reference is cleared when the target is destroyed.
  void Relink(TComponent*& reference, TComponent* target);
  // Reads a template fragment with this node as its root; problems go to the report's errors.
  virtual void LoadFromStream(TStream& stream);
  // Writes this node (and its children when asked) as a template fragment; with
  // `serializeDefaults`, properties equal to their defaults are written too.
  virtual void SaveToStream(TStream& stream, bool saveChildren = true, bool serializeDefaults = false);

  // --- the serializer's view of the node ----------------------------------------------------------
  TComponent& NodeComponent() override { return *this; }
  int ChildNodeCount() const override { return FObjects.Count(); }
  IpgwSerializedNode* ChildNode(int index) const override { return FObjects[index]; }
  IpgwSerializedNode* ParentNode() const override { return FParent; }
  bool IsReportNode() const override;
  bool IsFromParentTemplate() const override { return FAncestor; }
  void SetLoadingMark(bool on) override { FIsLoading = on; }
  void SetWritingMark(bool on) override;
  void NodeLoaded() override { Loaded(); }
  TComponent* FindReferenceTarget(std::u16string_view name) override { return FindObject(name); }
  bool HandlesNestedProperties() const override {
    return FPgwComponentStyle.Contains(csHandlesNestedProperties);
  }
  void WriteNestedProperties(TpgwXMLItem&, TpgwXMLSerializer&) override {}
  bool ReadNestedProperty(TpgwXMLItem&, TpgwXMLSerializer&) override { return false; }
  // Report nodes only; a report never becomes a child.
  IpgwSerializedNode* CreateChildNode(const TClassInfo& cls) override;
  void MoveNodeToEnd() override;
  WideString GiveUniqueName() override;
  WideString MessageText(std::string_view id, std::u16string_view fallback) override;

  // Interactive operations: outside this program's path, they do nothing here.
  virtual void DoMouseMove() {}
  virtual void DoMouseUp() {}
  virtual void DoMouseDown() {}
  virtual void DoMouseEnter() {}
  virtual void DoMouseLeave() {}
  virtual void DoMouseClick() {}
  virtual void DoMouseWheel() {}
  virtual void DragOver() {}
  virtual void DragDrop() {}

 protected:
  void Notification(TComponent* c, TOperation op) override;
  // Child-list notification: keeps the tree's name index current.
  virtual void ObjectListNotify(TpgwComponent* node, TpgwListNotification action);
  virtual void FontChanged();
  virtual void UpdateAnchors(Extended dw, Extended dh);
  // Destroys every child, inherited ones included (destruction of the node).
  void DestroyChildren();

 private:
  void Construct(TComponent* owner);
  static TComponent* PlatformOwnerFor(TComponent* owner);
  static void CollectNamed(TpgwComponent* node, std::vector<TpgwComponent*>& out);
  void IndexSubtree(TpgwComponent* node);
  void UnindexSubtree(TpgwComponent* node);
  static void RemoveIndexEntry(TpgwNameIndex& index, const WideString& name, const TpgwComponent* node);

  TpgwFont FFont;
  TpgwObjectsNotifyList FObjects;
  std::vector<TpgwComponent*> FAllObjects;
  std::unique_ptr<TpgwNameIndex> FSortedObjects;
  Extended FLeft = 0;
  Extended FTop = 0;
  Extended FWidth = 0;
  Extended FHeight = 0;
  bool FParentFont = false;
  int FGroupIndex = 0;
  bool FIsLoading = false;
  bool FIsPrinting = false;
  bool FMouseInView = false;
  TpgwRestrictions FRestrictions;
  TpgwEditRights FEditable;
  bool FVisible = true;
  WideString FDescription;
  TpgwComponentStyle FPgwComponentStyle;
  TpgwComponentState FPgwComponentState;
  bool FAncestorOnlyStream = false;
  intptr_t FIndexTag = 0;
  TpgwAnchors FAnchors;
  bool FAnchorsUpdating = false;
  bool FAllowMirrorMode = false;
  std::vector<TpgwComponent*>* FSelectList = nullptr;
  TpgwComponent* FParent = nullptr;
  WideString FAliasName;
  bool FAncestor = false;
  TpgwComponent* FOriginalComponent = nullptr;
  TpgwRect FOriginalRect;
  TpgwComponent* FOriginalBand = nullptr;
  void* FSerializedItem = nullptr;
  bool FHighlighted = false;
  std::vector<TpgwComponent*> FOwnSelection;
};

// What every printable object has: script event names, the bounds saved before printing and
// the drawing entry points.
class TpgwReportComponent : public TpgwComponent {
 public:
  explicit TpgwReportComponent(TComponent* owner);
  ~TpgwReportComponent() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  const WideString& OnAfterData() const { return FOnAfterData; }
  void SetOnAfterData(const WideString& v) { FOnAfterData = v; }
  const WideString& OnAfterPrint() const { return FOnAfterPrint; }
  void SetOnAfterPrint(const WideString& v) { FOnAfterPrint = v; }
  const WideString& OnBeforePrint() const { return FOnBeforePrint; }
  void SetOnBeforePrint(const WideString& v) { FOnBeforePrint = v; }
  const WideString& OnPreviewClick() const { return FOnPreviewClick; }
  void SetOnPreviewClick(const WideString& v) { FOnPreviewClick = v; }
  const WideString& OnPreviewDblClick() const { return FOnPreviewDblClick; }
  void SetOnPreviewDblClick(const WideString& v) { FOnPreviewDblClick = v; }
  const WideString& OnContentChanged() const { return FOnContentChanged; }
  void SetOnContentChanged(const WideString& v) { FOnContentChanged = v; }
  TpgwPrintOnTypes PrintOn() const { return FPrintOn; }
  void SetPrintOn(TpgwPrintOnTypes v) { FPrintOn = v; }
  // The band engine's shift node of this object (owned by the engine).
  TpgwShiftObject* ShiftObject() const { return FShiftObject; }
  void SetShiftObject(TpgwShiftObject* v) { FShiftObject = v; }
  int OriginalObjectsCount() const { return FOriginalObjectsCount; }
  void SetOriginalObjectsCount(int v) { FOriginalObjectsCount = v; }

  // Drawing receives the canvas as an opaque pointer: the canvas interface belongs to the
  // drawing layer, which the views bring in.
  virtual void Draw(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) = 0;
  virtual void DrawChilds(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY);
  void DrawWithChilds(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY);
  virtual void DrawHighlight() {}
  virtual void BeforePrint();
  virtual void GetData() {}
  virtual void AfterPrint();
  virtual WideString GetComponentText() const { return WideString(); }
  virtual TpgwRect GetRealBounds() const;
  virtual TpgwReportComponent* GetSaveToComponent() { return this; }
  virtual bool IsOwnerDraw() const { return false; }

 private:
  WideString FOnAfterData, FOnAfterPrint, FOnBeforePrint, FOnPreviewClick, FOnPreviewDblClick,
      FOnContentChanged;
  TpgwPrintOnTypes FPrintOn;
  TpgwShiftObject* FShiftObject = nullptr;
  int FOriginalObjectsCount = -1;
};

// --- class registry ------------------------------------------------------------------------------

// The report object classes in their registration order. A class whose code is not part of
// the build yet has no description; RegisterReportClasses registers the others in this order.
struct TpgwRegisteredClass {
  const char* Name;
  const TClassInfo& (*Info)();  // null until the class exists
};
const std::vector<TpgwRegisteredClass>& ReportClassList();
// Gives a listed class its description (a module's start-up code, before
// RegisterReportClasses); false for a name that is not in the list.
bool ProvideReportClass(std::string_view name, const TClassInfo& (*info)());
// Start-up registration of the report object classes that have a description, in the list's
// order (idempotent).
void RegisterReportClasses();
// A registered report class by name, ignoring case; null when unknown.
const TClassInfo* FindReportClass(std::u16string_view name);

// --- palette collection ----------------------------------------------------------------------------

enum TpgwObjectCategory : uint8_t { ctData, ctReport, ctDialog, ctDMP, ctNone };
using TpgwObjectCategories = Set<TpgwObjectCategory>;

struct TpgwObjectItem {
  const TClassInfo* ClassRef = nullptr;  // null for a category entry
  const void* ButtonBmp = nullptr;       // picture of the palette button, not owned
  int ButtonImageIndex = -1;
  WideString ButtonHint;
  WideString CategoryName;
  uint16_t Flags = 0;
  TpgwObjectCategories Category;
};

class TpgwObjectCollection {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const TpgwObjectItem& Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
  TpgwObjectItem& Add();
  void RemoveClass(const TClassInfo& cls);
  void Clear() { FItems.clear(); }

 private:
  std::vector<TpgwObjectItem> FItems;
};

TpgwObjectCollection& pgwObjects();
void RegisterObject1(const TClassInfo& cls, const void* buttonBmp = nullptr,
                     const WideString& hint = WideString(), const WideString& categoryName = WideString(),
                     uint16_t flags = 0, int imageIndex = -1, TpgwObjectCategories categories = {});
void RegisterCategory(const WideString& name, const void* buttonBmp, int imageIndex, const WideString& hint);
void Unregister(const TClassInfo& cls);

}  // namespace pagewright
