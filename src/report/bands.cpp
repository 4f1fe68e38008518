#include "report/bands.h"

#include <initializer_list>
#include <string_view>
#include <unordered_set>

#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

const TEnumInfo& TpgwShiftEngineInfo() {
  static const TEnumInfo info("TpgwShiftEngine", {"seLinear", "seTree", "seDontShift"});
  return info;
}
const TEnumInfo& TpgwToNRowsModeInfo() {
  static const TEnumInfo info("TpgwToNRowsMode", {"rmCount", "rmAddToCount", "rmTillPageEnds"});
  return info;
}

// ---- fill gaps --------------------------------------------------------------------------------------

const TClassInfo& TpgwFillGaps::StaticClassInfo() {
  using T = TpgwFillGaps;
  static const TClassInfo& info = Describe<T>("TpgwFillGaps")
                                      .Parent<TPersistent>()
                                      .Integer("Top", &T::Top, &T::SetTop)
                                      .Default(0)
                                      .Integer("Left", &T::Left, &T::SetLeft)
                                      .Default(0)
                                      .Integer("Bottom", &T::Bottom, &T::SetBottom)
                                      .Default(0)
                                      .Integer("Right", &T::Right, &T::SetRight)
                                      .Default(0)
                                      .Build();
  return info;
}
const TClassInfo& TpgwFillGaps::ClassInfo() const {
  return StaticClassInfo();
}
void TpgwFillGaps::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwFillGaps*>(&source)) {
    FTop = s->FTop;
    FLeft = s->FLeft;
    FBottom = s->FBottom;
    FRight = s->FRight;
    return;
  }
  TPersistent::Assign(source);
}

// ---- band -------------------------------------------------------------------------------------------

namespace {

// The band properties the band classes publish beyond the common ones, by name, in the order
// given. Only properties every band has are listed here; class-specific ones are added inline.
template <class T>
void AddBandProps(TClassBuilder<T>& b, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names) {
    if (n == "AllowSplit")
      b.Boolean("AllowSplit", &T::AllowSplit, &T::SetAllowSplit).Default(false);
    else if (n == "Child")
      b.Reference("Child", &T::Child, &T::SetChild);
    else if (n == "KeepChild")
      b.Boolean("KeepChild", &T::KeepChild, &T::SetKeepChild).Default(false);
    else if (n == "PrintChildIfInvisible")
      b.Boolean("PrintChildIfInvisible", &T::PrintChildIfInvisible, &T::SetPrintChildIfInvisible)
          .Default(false);
    else if (n == "StartNewPage")
      b.Boolean("StartNewPage", &T::StartNewPage, &T::SetStartNewPage).Default(false);
    else if (n == "Stretched")
      b.Boolean("Stretched", &T::Stretched, &T::SetStretched).Default(false);
    else if (n == "ShiftEngine")
      b.Enum("ShiftEngine", &T::ShiftEngine, &T::SetShiftEngine, TpgwShiftEngineInfo()).Default(seTree);
    else if (n == "OutlineText")
      b.String("OutlineText", &T::OutlineText, &T::SetOutlineText);
  }
}

bool OnDotMatrixPage(const TpgwComponent* band) {
  const TpgwComponent* p = band->Parent();
  if (!p || !p->IsPageNode()) return false;
  for (const TClassInfo* c = &p->ClassInfo(); c; c = c->Parent())
    if (c->Name() == "TpgwDMPPage") return true;
  return false;
}

Extended Snap(Extended v, Extended cell) {
  return static_cast<Extended>(RoundHalfEven(v / cell)) * cell;
}

}  // namespace

namespace {

// The hidden text object of a band's fill memo, a child of `band`: the registered text object
// class "TpgwMemoView"; null when it is not registered.
TpgwView* MakeFillMemo(TpgwBand& band) {
  const TClassInfo* cls = FindReportClass(u"TpgwMemoView");
  if (!cls || !cls->CanCreate() || !cls->InheritsFrom(TpgwView::StaticClassInfo())) return nullptr;
  return &CreateChildAs<TpgwView>(*cls, band);
}

}  // namespace

TpgwBand::TpgwBand(TComponent* owner) : TpgwReportComponent(owner), FFill(std::make_unique<TpgwBrushFill>()) {
  SetpwComponentStyle(pwComponentStyle() + TpgwComponentStyle{csAcceptsPgwComponents});
}

TpgwBand::~TpgwBand() = default;

const TClassInfo& TpgwBand::StaticClassInfo() {
  using T = TpgwBand;
  static const TClassInfo& info =
      Describe<T>("TpgwBand")
          .Parent<TpgwReportComponent>()
          .Abstract()
          .Boolean("AllowMirrorMode", &T::AllowMirrorMode, &T::SetAllowMirrorMode)
          .Default(false)
          .Enum("FillType", &T::FillType, &T::SetFillType, TpgwFillTypeInfo())
          .Default(ftBrush)
          .Object("Fill", static_cast<TpgwBaseFill& (T::*)()>(&T::Fill), &T::SetFill)
          .Object("FillGap", static_cast<TpgwFillGaps& (T::*)()>(&T::FillGap), &T::SetFillGap)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Object("Font", static_cast<TpgwFont& (TpgwComponent::*)()>(&TpgwComponent::Font), &T::SetFont)
          .Stored(&T::IsFontStored)
          .Float("Height", &T::Height, &T::SetHeight)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Float("Left", &T::Left, &T::SetLeft)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Boolean("ParentFont", &T::ParentFont, &T::SetParentFont)
          .Default(true)
          .SetOf("Restrictions", &T::Restrictions, &T::SetRestrictions, TpgwRestrictionsInfo())
          .Default(TpgwRestrictions{})
          .Float("Top", &T::Top, &T::SetTop)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Boolean("Vertical", &T::Vertical, &T::SetVertical)
          .Default(false)
          .Boolean("Visible", &T::Visible, &T::SetVisible)
          .Default(true)
          .Float("Width", &T::Width, &T::SetWidth)
          .Range(-kMaxGeometry, kMaxGeometry)
          .Event("OnAfterCalcHeight", &T::OnAfterCalcHeight, &T::SetOnAfterCalcHeight)
          .Event("OnAfterPrint", &T::OnAfterPrint, &T::SetOnAfterPrint)
          .Event("OnBeforePrint", &T::OnBeforePrint, &T::SetOnBeforePrint)
          .Build();
  return info;
}
const TClassInfo& TpgwBand::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwBand::SetChild(TpgwChild* v) {
  // Walk the chain the new child starts; meeting this band again would loop the engine.
  std::unordered_set<const TpgwBand*> seen;
  for (const TpgwBand* b = v; b; b = b->Child()) {
    if (b == this) throw Exception(Utf16ToUtf8(ResourceGet("clCirRefNotAllow")));
    if (!seen.insert(b).second) break;  // a loop elsewhere: not this band's concern
  }
  if (FChild == v) return;
  if (FChild) RemoveFreeNotification(FChild);
  FChild = v;
  if (FChild) FreeNotification(FChild);
}

void TpgwBand::Notification(TComponent* c, TOperation op) {
  if (op == opRemove) {
    if (c == FChild) FChild = nullptr;
    if (c == FFillMemo) FFillMemo = nullptr;
  }
  TpgwReportComponent::Notification(c, op);
}

void TpgwBand::SetFillType(TpgwFillType v) {
  if (FFill->FillType() != v) FFill = CreateFill(v);
}

void TpgwBand::SetFill(const TpgwBaseFill& v) {
  SetFillType(v.FillType());
  FFill->Assign(v);
}

void TpgwBand::SetLeft(Extended v) {
  TpgwReportComponent::SetLeft(OnDotMatrixPage(this) ? Snap(v, pgwCharWidth) : v);
}
void TpgwBand::SetTop(Extended v) {
  TpgwReportComponent::SetTop(OnDotMatrixPage(this) ? Snap(v, pgwCharHeight) : v);
}
void TpgwBand::SetHeight(Extended v) {
  TpgwReportComponent::SetHeight(OnDotMatrixPage(this) ? Snap(v, pgwCharHeight) : v);
}

void TpgwBand::Draw(void*, Extended, Extended, Extended, Extended) {
  // A band paints nothing itself: its fill memo paints its background and frame.
}

WideString TpgwBand::BandCaptionName() const {
  WideString name = Utf8ToUtf16(ClassName());
  if (size_t p = name.find(u"Tpgw"); p != WideString::npos) name.erase(p, 4);
  if (size_t p = name.find(u"Band"); p != WideString::npos) name.erase(p, 4);
  return name;
}

bool TpgwBand::HasNoFill() const {
  auto* brush = dynamic_cast<const TpgwBrushFill*>(FFill.get());
  return brush && IsNoColor(brush->BackColor()) && brush->ForeColor() == clBlack &&
         brush->Style() == bsSolid && FFrame.Typ().Empty();
}

TpgwView* TpgwBand::CreateFillMemo() {
  if (IsNullBand() || HasNoFill()) return nullptr;
  if (!FFillMemo) {
    TpgwView* memo = MakeFillMemo(*this);
    if (!memo) return nullptr;
    if (memo->Parent() != this) memo->SetParent(this);
    const int at = Objects().IndexOf(memo);
    if (at > 0) Objects().Move(at, 0);
    FFillMemo = memo;
    FreeNotification(memo);
  }
  TpgwView& m = *FFillMemo;
  m.SetAlign(baHidden);
  m.SetFill(*FFill);
  m.SetFrame(FFrame);
  m.SetTop(FFillGap.Top());
  m.SetLeft(FFillGap.Left());
  m.SetHeight(Height() - FFillGap.Top() - FFillGap.Bottom());
  m.SetWidth(Width() - FFillGap.Left() - FFillGap.Right());
  return FFillMemo;
}

void TpgwBand::DisposeFillMemo() {
  if (!FFillMemo) return;
  TpgwView* memo = FFillMemo;
  RemoveFreeNotification(memo);
  FFillMemo = nullptr;
  memo->DetachFromParent();  // destroyed here: the returned holder goes out of scope
}

// ---- band classes -----------------------------------------------------------------------------------

const TClassInfo& TpgwReportTitle::StaticClassInfo() {
  using T = TpgwReportTitle;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwReportTitle");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "StartNewPage", "Stretched",
                     "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwReportTitle::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwReportSummary::StaticClassInfo() {
  using T = TpgwReportSummary;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwReportSummary");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "StartNewPage", "Stretched",
                     "ShiftEngine"});
    b.Boolean("PrintAtBottom", &T::PrintAtBottom, &T::SetPrintAtBottom).Default(false);
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwReportSummary::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwPageHeader::StaticClassInfo() {
  using T = TpgwPageHeader;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwPageHeader");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"Child", "PrintChildIfInvisible"});
    b.Boolean("PrintOnFirstPage", &T::PrintOnFirstPage, &T::SetPrintOnFirstPage).Default(true);
    AddBandProps(b, {"Stretched", "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwPageHeader::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwPageFooter::StaticClassInfo() {
  using T = TpgwPageFooter;
  static const TClassInfo& info =
      Describe<T>("TpgwPageFooter")
          .Parent<TpgwBand>()
          .Boolean("PrintOnFirstPage", &T::PrintOnFirstPage, &T::SetPrintOnFirstPage)
          .Default(true)
          .Boolean("PrintOnLastPage", &T::PrintOnLastPage, &T::SetPrintOnLastPage)
          .Default(true)
          .Boolean("PrintOnSinglePage", &T::PrintOnSinglePage, &T::SetPrintOnSinglePage)
          .Default(false)
          .Build();
  return info;
}
const TClassInfo& TpgwPageFooter::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwHeader::StaticClassInfo() {
  using T = TpgwHeader;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwHeader");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible"});
    b.Boolean("ReprintOnNewPage", &T::ReprintOnNewPage, &T::SetReprintOnNewPage).Default(false);
    AddBandProps(b, {"StartNewPage", "Stretched", "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwHeader::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwFooter::StaticClassInfo() {
  using T = TpgwFooter;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwFooter");
    b.Parent<TpgwBand>();
    AddBandProps(b,
                 {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "Stretched", "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwFooter::ClassInfo() const {
  return StaticClassInfo();
}

// ---- data bands -------------------------------------------------------------------------------------

TpgwDataBand::TpgwDataBand(TComponent* owner) : TpgwBand(owner) {}

TpgwDataBand::~TpgwDataBand() = default;

const TClassInfo& TpgwDataBand::StaticClassInfo() {
  using T = TpgwDataBand;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwDataBand");
    b.Parent<TpgwBand>().Abstract();
    AddBandProps(b, {"AllowSplit", "Child"});
    b.Integer("Columns", &T::Columns, &T::SetColumns)
        .Default(0)
        .Float("ColumnWidth", &T::ColumnWidth, &T::SetColumnWidth)
        .Float("ColumnGap", &T::ColumnGap, &T::SetColumnGap)
        .Reference("DataSet", &T::DataSet, &T::SetDataSet)
        .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
        .Boolean("FooterAfterEach", &T::FooterAfterEach, &T::SetFooterAfterEach)
        .Default(false)
        .String("Filter", &T::Filter, &T::SetFilter);
    AddBandProps(b, {"KeepChild"});
    b.Boolean("KeepFooter", &T::KeepFooter, &T::SetKeepFooter)
        .Default(false)
        .Boolean("KeepHeader", &T::KeepHeader, &T::SetKeepHeader)
        .Default(false)
        .Boolean("KeepTogether", &T::KeepTogether, &T::SetKeepTogether)
        .Default(false);
    AddBandProps(b, {"OutlineText", "PrintChildIfInvisible"});
    b.Boolean("PrintIfDetailEmpty", &T::PrintIfDetailEmpty, &T::SetPrintIfDetailEmpty)
        .Default(false)
        .Integer("RowCount", &T::RowCount, &T::SetRowCount);
    AddBandProps(b, {"StartNewPage", "Stretched", "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwDataBand::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwDataBand::SetRowCount(int v) {
  FRowCount = v;
}

void TpgwDataBand::SetCurColumn(int v) {
  if (v > FColumns) v = 1;
  FCurColumn = v;
  if (FCurColumn == 1) FMaxY = 0;
  SetLeft((FColumnWidth + FColumnGap) * (FCurColumn - 1));
}

void TpgwDataBand::SetDataSet(TComponent* v) {
  if (FDataSet == v) return;
  Relink(FDataSet, v);
  FDataSetName = v ? DataSetUserName(v) : WideString();
}

void TpgwDataBand::SetDataSetName(const WideString& v) {
  FDataSetName = v;
  Relink(FDataSet, FindDataSet(FDataSet, v));
}

void TpgwDataBand::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FDataSet) FDataSet = nullptr;
  TpgwBand::Notification(c, op);
}

namespace {
template <class T>
const TClassInfo& DescribeDataBand(const char* name) {
  return Describe<T>(name).template Parent<TpgwDataBand>().Build();
}
}  // namespace

const TClassInfo& TpgwMasterData::StaticClassInfo() {
  static const TClassInfo& info = DescribeDataBand<TpgwMasterData>("TpgwMasterData");
  return info;
}
const TClassInfo& TpgwMasterData::ClassInfo() const {
  return StaticClassInfo();
}
const TClassInfo& TpgwDetailData::StaticClassInfo() {
  static const TClassInfo& info = DescribeDataBand<TpgwDetailData>("TpgwDetailData");
  return info;
}
const TClassInfo& TpgwDetailData::ClassInfo() const {
  return StaticClassInfo();
}
const TClassInfo& TpgwSubdetailData::StaticClassInfo() {
  static const TClassInfo& info = DescribeDataBand<TpgwSubdetailData>("TpgwSubdetailData");
  return info;
}
const TClassInfo& TpgwSubdetailData::ClassInfo() const {
  return StaticClassInfo();
}
const TClassInfo& TpgwDataBand4::StaticClassInfo() {
  static const TClassInfo& info = DescribeDataBand<TpgwDataBand4>("TpgwDataBand4");
  return info;
}
const TClassInfo& TpgwDataBand4::ClassInfo() const {
  return StaticClassInfo();
}
const TClassInfo& TpgwDataBand5::StaticClassInfo() {
  static const TClassInfo& info = DescribeDataBand<TpgwDataBand5>("TpgwDataBand5");
  return info;
}
const TClassInfo& TpgwDataBand5::ClassInfo() const {
  return StaticClassInfo();
}
const TClassInfo& TpgwDataBand6::StaticClassInfo() {
  static const TClassInfo& info = DescribeDataBand<TpgwDataBand6>("TpgwDataBand6");
  return info;
}
const TClassInfo& TpgwDataBand6::ClassInfo() const {
  return StaticClassInfo();
}

// ---- groups, child, columns, overlay ----------------------------------------------------------------

const TClassInfo& TpgwGroupHeader::StaticClassInfo() {
  using T = TpgwGroupHeader;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwGroupHeader");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"AllowSplit", "Child"});
    b.String("Condition", &T::Condition, &T::SetCondition)
        .Boolean("DrillDown", &T::DrillDown, &T::SetDrillDown)
        .Default(false)
        .Boolean("ExpandDrillDown", &T::ExpandDrillDown, &T::SetExpandDrillDown)
        .Default(false);
    AddBandProps(b, {"KeepChild"});
    b.Boolean("KeepTogether", &T::KeepTogether, &T::SetKeepTogether)
        .Default(false)
        .Boolean("ReprintOnNewPage", &T::ReprintOnNewPage, &T::SetReprintOnNewPage)
        .Default(false);
    AddBandProps(b, {"OutlineText", "PrintChildIfInvisible"});
    b.Boolean("ResetPageNumbers", &T::ResetPageNumbers, &T::SetResetPageNumbers)
        .Default(false)
        .Boolean("ShowFooterIfDrillDown", &T::ShowFooterIfDrillDown, &T::SetShowFooterIfDrillDown)
        .Default(false)
        .Boolean("ShowChildIfDrillDown", &T::ShowChildIfDrillDown, &T::SetShowChildIfDrillDown)
        .Default(false);
    AddBandProps(b, {"StartNewPage", "Stretched", "ShiftEngine"});
    b.String("DrillName", &T::DrillName, &T::SetDrillName);
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwGroupHeader::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwGroupFooter::StaticClassInfo() {
  using T = TpgwGroupFooter;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwGroupFooter");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"AllowSplit", "Child"});
    b.Boolean("HideIfSingleDataRecord", &T::HideIfSingleDataRecord, &T::SetHideIfSingleDataRecord)
        .Default(false);
    AddBandProps(b, {"KeepChild", "PrintChildIfInvisible", "Stretched", "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwGroupFooter::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwChild::StaticClassInfo() {
  using T = TpgwChild;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwChild");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "StartNewPage", "Stretched",
                     "ShiftEngine"});
    b.Integer("ToNRows", &T::ToNRows, &T::SetToNRows)
        .Enum("ToNRowsMode", &T::ToNRowsMode, &T::SetToNRowsMode, TpgwToNRowsModeInfo());
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwChild::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwColumnHeader::StaticClassInfo() {
  using T = TpgwColumnHeader;
  static const TClassInfo& info = []() -> const TClassInfo& {
    auto b = Describe<T>("TpgwColumnHeader");
    b.Parent<TpgwBand>();
    AddBandProps(b, {"Child", "Stretched", "ShiftEngine"});
    return b.Build();
  }();
  return info;
}
const TClassInfo& TpgwColumnHeader::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwColumnFooter::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwColumnFooter>("TpgwColumnFooter").Parent<TpgwBand>().Build();
  return info;
}
const TClassInfo& TpgwColumnFooter::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwOverlay::StaticClassInfo() {
  using T = TpgwOverlay;
  static const TClassInfo& info = Describe<T>("TpgwOverlay")
                                      .Parent<TpgwBand>()
                                      .Boolean("PrintOnTop", &T::PrintOnTop, &T::SetPrintOnTop)
                                      .Default(false)
                                      .Build();
  return info;
}
const TClassInfo& TpgwOverlay::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwNullBand::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwNullBand>("TpgwNullBand").Parent<TpgwBand>().Build();
  return info;
}
const TClassInfo& TpgwNullBand::ClassInfo() const {
  return StaticClassInfo();
}

void ProvideBandClasses() {
  static const std::pair<const char*, const TClassInfo& (*)()> kBands[] = {
      {"TpgwChild", &TpgwChild::StaticClassInfo},
      {"TpgwColumnFooter", &TpgwColumnFooter::StaticClassInfo},
      {"TpgwColumnHeader", &TpgwColumnHeader::StaticClassInfo},
      {"TpgwMasterData", &TpgwMasterData::StaticClassInfo},
      {"TpgwDetailData", &TpgwDetailData::StaticClassInfo},
      {"TpgwSubdetailData", &TpgwSubdetailData::StaticClassInfo},
      {"TpgwDataBand4", &TpgwDataBand4::StaticClassInfo},
      {"TpgwDataBand5", &TpgwDataBand5::StaticClassInfo},
      {"TpgwDataBand6", &TpgwDataBand6::StaticClassInfo},
      {"TpgwFooter", &TpgwFooter::StaticClassInfo},
      {"TpgwGroupFooter", &TpgwGroupFooter::StaticClassInfo},
      {"TpgwGroupHeader", &TpgwGroupHeader::StaticClassInfo},
      {"TpgwHeader", &TpgwHeader::StaticClassInfo},
      {"TpgwOverlay", &TpgwOverlay::StaticClassInfo},
      {"TpgwPageFooter", &TpgwPageFooter::StaticClassInfo},
      {"TpgwPageHeader", &TpgwPageHeader::StaticClassInfo},
      {"TpgwReportSummary", &TpgwReportSummary::StaticClassInfo},
      {"TpgwReportTitle", &TpgwReportTitle::StaticClassInfo},
      {"TpgwNullBand", &TpgwNullBand::StaticClassInfo},
  };
  for (const auto& [name, info] : kBands) ProvideReportClass(name, info);
}

void RegisterBandClasses() {
  ProvideBandClasses();
  RegisterReportClasses();
}

}  // namespace pagewright
