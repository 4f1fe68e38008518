#include "report/pages.h"

#include <cmath>

#include "platform/format.h"
#include "report/report.h"
#include "storage/xml_document.h"

namespace pagewright {

namespace {

struct TPaperEntry {
  int Code, Width, Height;  // tenths of a millimetre
};

// The standard paper codes of the platform's printers.
constexpr TPaperEntry kPapers[] = {
    {1, 2159, 2794},   {2, 2159, 2794},  {3, 2794, 4318},  {4, 4318, 2794},  {5, 2159, 3556},
    {6, 1397, 2159},   {7, 1842, 2667},  {8, 2970, 4200},  {9, 2100, 2970},  {10, 2100, 2970},
    {11, 1480, 2100},  {12, 2570, 3640}, {13, 1820, 2570}, {14, 2159, 3302}, {15, 2150, 2750},
    {16, 2540, 3556},  {17, 2794, 4318}, {18, 2159, 2794}, {19, 984, 2254},  {20, 1048, 2413},
    {21, 1143, 2635},  {22, 1207, 2794}, {23, 1270, 2921}, {24, 4318, 5588}, {25, 5588, 8636},
    {26, 8636, 11176}, {27, 1100, 2200}, {28, 1620, 2290}, {29, 3240, 4580}, {30, 2290, 3240},
    {31, 1140, 1620},  {32, 1140, 2290}, {33, 2500, 3530}, {34, 1760, 2500}, {35, 1760, 1250},
    {36, 1100, 2300},  {37, 984, 1905},  {38, 920, 1651},  {39, 3778, 2794}, {40, 2159, 3048},
    {41, 2159, 3302},  {42, 2500, 3530}, {43, 1000, 1480}, {44, 2286, 2794}, {45, 2540, 2794},
    {46, 3810, 2794},  {47, 2200, 2200}, {50, 2355, 3048}, {51, 2355, 3810}, {52, 2969, 4572},
    {53, 2354, 3223},  {54, 2101, 2794}, {55, 2100, 2970}, {56, 2355, 3048}, {57, 2270, 3560},
    {58, 3050, 4870},  {59, 2159, 3223}, {60, 2100, 3300}, {61, 1480, 2100}, {62, 1820, 2570},
    {63, 3220, 4450},  {64, 1740, 2350}, {65, 2010, 2760}, {66, 4200, 5940}, {67, 2970, 4200},
    {68, 3220, 4450},
};

Extended Round8(Extended v) {
  return static_cast<Extended>(RoundHalfEven(v * 1e8L)) / 1e8L;
}

}  // namespace

bool PaperDimensions(int code, int& width, int& height) {
  for (const TPaperEntry& p : kPapers)
    if (p.Code == code) {
      width = p.Width;
      height = p.Height;
      return true;
    }
  return false;
}

const TEnumInfo& TPrinterOrientationInfo() {
  static const TEnumInfo info("TPrinterOrientation", {"poPortrait", "poLandscape"});
  return info;
}
const TEnumInfo& TpgwDuplexModeInfo() {
  static const TEnumInfo info("TpgwDuplexMode", {"dmNone", "dmVertical", "dmHorizontal", "dmSimplex"});
  return info;
}
const TEnumInfo& TpgwMirrorModesInfo() {
  static const TEnumInfo info("TpgwMirrorControlMode",
                              {"mcmRTLObjects", "mcmRTLBands", "mcmBTTObjects", "mcmBTTBands",
                               "mcmRTLAppearance", "mcmBTTAppearance", "mcmOnlyAllowed"});
  return info;
}

// ---- page -------------------------------------------------------------------------------------------

TpgwPage::TpgwPage(TComponent* owner) : TpgwComponent(owner) {
  SetpwComponentStyle(pwComponentStyle() + TpgwComponentStyle{csAcceptsPgwComponents});
}
TpgwPage::~TpgwPage() = default;

const TClassInfo& TpgwPage::StaticClassInfo() {
  using T = TpgwPage;
  static const TClassInfo& info =
      Describe<T>("TpgwPage")
          .Parent<TpgwComponent>()
          .Abstract()
          .Object("Font", static_cast<TpgwFont& (TpgwComponent::*)()>(&TpgwComponent::Font), &T::SetFont)
          .Boolean("Visible", &T::Visible, &T::SetVisible)
          .Default(true)
          .StringList("HGuides", &T::HGuides)
          .StringList("VGuides", &T::VGuides)
          .Build();
  return info;
}
const TClassInfo& TpgwPage::ClassInfo() const {
  return StaticClassInfo();
}

// ---- report page ------------------------------------------------------------------------------------

TpgwReportPage::TpgwReportPage(TComponent* owner)
    : TpgwPage(owner), FBackground(std::make_unique<TpgwPictureView>(nullptr)) {
  // The picture fills the area it is given (the printable area, or its own size).
  FBackground->SetKeepAspectRatio(false);
  UpdateDimensions();
}

TpgwReportPage::~TpgwReportPage() = default;

const TClassInfo& TpgwReportPage::StaticClassInfo() {
  using T = TpgwReportPage;
  static const TClassInfo& info =
      Describe<T>("TpgwReportPage")
          .Parent<TpgwPage>()
          .Enum("Orientation", &T::Orientation, &T::SetOrientation, TPrinterOrientationInfo())
          .Default(poPortrait)
          .Float("PaperWidth", &T::PaperWidth, &T::SetPaperWidth)
          .Range(0, kMaxPaperSize)
          .Float("PaperHeight", &T::PaperHeight, &T::SetPaperHeight)
          .Range(0, kMaxPaperSize)
          .Integer("PaperSize", &T::PaperSize, &T::SetPaperSize)
          .Float("LeftMargin", &T::LeftMargin, &T::SetLeftMargin)
          .Range(-kMaxPaperSize, kMaxPaperSize)
          .Float("RightMargin", &T::RightMargin, &T::SetRightMargin)
          .Range(-kMaxPaperSize, kMaxPaperSize)
          .Float("TopMargin", &T::TopMargin, &T::SetTopMargin)
          .Range(-kMaxPaperSize, kMaxPaperSize)
          .Float("BottomMargin", &T::BottomMargin, &T::SetBottomMargin)
          .Range(-kMaxPaperSize, kMaxPaperSize)
          .Boolean("MirrorMargins", &T::MirrorMargins, &T::SetMirrorMargins)
          .Default(false)
          .Integer("Columns", &T::Columns, &T::SetColumns)
          .Default(0)
          .Float("ColumnWidth", &T::ColumnWidth, &T::SetColumnWidth)
          .StringList("ColumnPositions", &T::ColumnPositions, &T::SetColumnPositions)
          .Integer("Bin", &T::Bin, &T::SetBin)
          .Default(7)
          .Integer("BinOtherPages", &T::BinOtherPages, &T::SetBinOtherPages)
          .Default(7)
          .Object("BackPicture", static_cast<TPicture& (T::*)()>(&T::BackPicture), &T::SetBackPicture)
          .Boolean("BackPictureVisible", &T::BackPictureVisible, &T::SetBackPictureVisible)
          .Default(true)
          .Boolean("BackPicturePrintable", &T::BackPicturePrintable, &T::SetBackPicturePrintable)
          .Default(true)
          .Boolean("BackPictureStretched", &T::BackPictureStretched, &T::SetBackPictureStretched)
          .Default(true)
          .Integer("PageCount", &T::PageCount, &T::SetPageCount)
          .Default(1)
          .Color("Color", &T::Color, &T::SetColor)
          .Default(clNone)
          .Reference("DataSet", &T::DataSet, &T::SetDataSet)
          .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
          .Enum("Duplex", &T::Duplex, &T::SetDuplex, TpgwDuplexModeInfo())
          .Default(dmNone)
          .Object("Frame", static_cast<TpgwFrame& (T::*)()>(&T::Frame), &T::SetFrame)
          .Boolean("EndlessHeight", &T::EndlessHeight, &T::SetEndlessHeight)
          .Default(false)
          .Boolean("EndlessWidth", &T::EndlessWidth, &T::SetEndlessWidth)
          .Default(false)
          .Boolean("LargeDesignHeight", &T::LargeDesignHeight, &T::SetLargeDesignHeight)
          .Default(false)
          .SetOf("MirrorMode", &T::MirrorMode, &T::SetMirrorMode, TpgwMirrorModesInfo())
          .String("OutlineText", &T::OutlineText, &T::SetOutlineText)
          .Boolean("PrintIfEmpty", &T::PrintIfEmpty, &T::SetPrintIfEmpty)
          .Default(true)
          .Boolean("PrintOnPreviousPage", &T::PrintOnPreviousPage, &T::SetPrintOnPreviousPage)
          .Default(false)
          .Boolean("ShowTitleOnPreviousPage", &T::ShowTitleOnPreviousPage, &T::SetShowTitleOnPreviousPage)
          .Default(true)
          .Boolean("ResetPageNumbers", &T::ResetPageNumbers, &T::SetResetPageNumbers)
          .Default(false)
          .Boolean("TitleBeforeHeader", &T::TitleBeforeHeader, &T::SetTitleBeforeHeader)
          .Default(true)
          .Event("OnAfterPrint", &T::OnAfterPrint, &T::SetOnAfterPrint)
          .Event("OnBeforePrint", &T::OnBeforePrint, &T::SetOnBeforePrint)
          .Event("OnManualBuild", &T::OnManualBuild, &T::SetOnManualBuild)
          .Build();
  return info;
}
const TClassInfo& TpgwReportPage::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwReportPage::UpdateDimensions() {
  SetWidth(static_cast<Extended>(RoundHalfEven(FPaperWidth * pgwMMUnits)));
  SetHeight(static_cast<Extended>(RoundHalfEven(FPaperHeight * pgwMMUnits)));
}

void TpgwReportPage::SetOrientation(TPrinterOrientation v) {
  if (FOrientation == v) return;
  FOrientation = v;
  std::swap(FPaperWidth, FPaperHeight);
  const Extended l = FLeftMargin, r = FRightMargin, t = FTopMargin, b = FBottomMargin;
  if (v == poLandscape) {
    FLeftMargin = t;
    FRightMargin = b;
    FTopMargin = r;
    FBottomMargin = l;
  } else {
    FLeftMargin = b;
    FRightMargin = t;
    FTopMargin = l;
    FBottomMargin = r;
  }
  UpdateDimensions();
}

void TpgwReportPage::SetPaperWidth(Extended v) {
  FPaperWidth = Round8(v);
  FPaperSize = pgwCustomPaperSize;
  UpdateDimensions();
}

void TpgwReportPage::SetPaperHeight(Extended v) {
  FPaperHeight = Round8(v);
  FPaperSize = pgwCustomPaperSize;
  UpdateDimensions();
}

void TpgwReportPage::SetPaperSize(int v) {
  FPaperSize = v;
  int w = 0, h = 0;
  if (v < pgwCustomPaperSize && PaperDimensions(v, w, h)) {
    FPaperWidth = static_cast<Extended>(w) / 10;
    FPaperHeight = static_cast<Extended>(h) / 10;
    if (FOrientation == poLandscape) std::swap(FPaperWidth, FPaperHeight);
    UpdateDimensions();
  }
}

void TpgwReportPage::SetColumns(int v) {
  FColumns = v;
  FColumnPositions.Clear();
  if (v <= 0) return;
  FColumnWidth = (FPaperWidth - FLeftMargin - FRightMargin) / v;
  for (int i = 0; i < v; ++i) FColumnPositions.Add(FloatToStr(FColumnWidth * i));
}

void TpgwReportPage::SetDataSet(TComponent* v) {
  if (FDataSet == v) return;
  Relink(FDataSet, v);
  FDataSetName = v ? DataSetUserName(v) : WideString();
}

void TpgwReportPage::SetDataSetName(const WideString& v) {
  FDataSetName = v;
  Relink(FDataSet, FindDataSet(FDataSet, v));
}

void TpgwReportPage::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FDataSet) FDataSet = nullptr;
  if (op == opRemove && c == FSubReport) FSubReport = nullptr;
  TpgwPage::Notification(c, op);
}

TpgwBand* TpgwReportPage::FindBand(const TClassInfo& bandClass) const {
  for (int i = 0; i < Objects().Count(); ++i) {
    auto* b = dynamic_cast<TpgwBand*>(Objects()[i]);
    if (b && b->ClassInfo().InheritsFrom(bandClass)) return b;
  }
  return nullptr;
}

void TpgwReportPage::SetMarginOffset(int pageIndex) {
  const Extended left = (FMirrorMargins && pageIndex % 2 == 1) ? FRightMargin : FLeftMargin;
  SetLeft(left * pgwMMUnits);
  SetTop(FTopMargin * pgwMMUnits);
}

void TpgwReportPage::ClearMarginOffset() {
  SetLeft(0);
  SetTop(0);
}

void TpgwReportPage::SetSizeAndDimensions(int paperSize, Extended width, Extended height) {
  FPaperWidth = Round8(width);
  FPaperHeight = Round8(height);
  FPaperSize = paperSize;
  UpdateDimensions();
}

void TpgwReportPage::SetDefaults() {
  // No printer is known to this program: A4 portrait.
  FLeftMargin = FRightMargin = FTopMargin = FBottomMargin = 10;
  SetOrientation(poPortrait);
  SetPaperSize(9);
}

void TpgwReportPage::AlignChildren(bool ignoreInvisible, TpgwMirrorControlModes modes) {
  // The printable area while the children are placed; the whole paper again afterwards.
  SetWidth((FPaperWidth - FLeftMargin - FRightMargin) * pgwMMUnits);
  SetHeight((FPaperHeight - FTopMargin - FBottomMargin) * pgwMMUnits);
  auto bandWidths = [&] {
    for (TpgwComponent* c : Objects().Snapshot()) {
      auto* band = dynamic_cast<TpgwBand*>(c);
      if (!band) continue;
      const bool wholeWidth = band->IsNullBand() || dynamic_cast<TpgwReportSummary*>(band) ||
                              dynamic_cast<TpgwPageHeader*>(band) || dynamic_cast<TpgwPageFooter*>(band) ||
                              dynamic_cast<TpgwReportTitle*>(band) || dynamic_cast<TpgwOverlay*>(band);
      if (FColumns > 1 && !wholeWidth)
        band->SetWidth(FColumnWidth * pgwMMUnits);
      else
        band->SetWidth(Width() - band->Left());
    }
  };
  // Bands get their widths before the general alignment, which mirrors each node once (bands and
  // their views alike) against its parent's width; afterwards the widths are set again from the
  // mirrored positions and each band re-aligns its views without mirroring a second time.
  bandWidths();
  TpgwPage::AlignChildren(ignoreInvisible, modes);
  bandWidths();
  for (TpgwComponent* c : Objects().Snapshot()) {
    auto* band = dynamic_cast<TpgwBand*>(c);
    if (!band) continue;
    band->MirrorContent(modes);
    band->AlignChildren(ignoreInvisible, TpgwMirrorControlModes{});
  }
  UpdateDimensions();
}

void TpgwReportPage::DrawBackground(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX,
                                    Extended offsetY) {
  if (!FBackPictureVisible || (IsPrinting() && !FBackPicturePrintable)) return;
  TpgwPictureView& v = *FBackground;
  Extended w = (FPaperWidth - FLeftMargin - FRightMargin) * pgwMMUnits;
  Extended h = (FPaperHeight - FTopMargin - FBottomMargin) * pgwMMUnits;
  if (!FBackPictureStretched && !v.IsEmpty()) {
    w = v.GraphicWidth();
    h = v.GraphicHeight();
  }
  v.SetBounds(FLeftMargin * pgwMMUnits, FTopMargin * pgwMMUnits, w, h);
  v.SetIsPrinting(IsPrinting());
  v.Draw(canvas, scaleX, scaleY, offsetX, offsetY);
}

// ---- data page --------------------------------------------------------------------------------------

TpgwDataPage::TpgwDataPage(TComponent* owner) : TpgwPage(owner) {
  SetWidth(1000);
  SetHeight(1000);
}

const TClassInfo& TpgwDataPage::StaticClassInfo() {
  using T = TpgwDataPage;
  static const TClassInfo& info = Describe<T>("TpgwDataPage")
                                      .Parent<TpgwPage>()
                                      .Float("Height", &T::Height, &T::SetHeight)
                                      .Range(-kMaxGeometry, kMaxGeometry)
                                      .Float("Left", &T::Left, &T::SetLeft)
                                      .Range(-kMaxGeometry, kMaxGeometry)
                                      .Float("Top", &T::Top, &T::SetTop)
                                      .Range(-kMaxGeometry, kMaxGeometry)
                                      .Float("Width", &T::Width, &T::SetWidth)
                                      .Range(-kMaxGeometry, kMaxGeometry)
                                      .Build();
  return info;
}
const TClassInfo& TpgwDataPage::ClassInfo() const {
  return StaticClassInfo();
}

TpgwDialogPage::TpgwDialogPage(TComponent* owner) : TpgwPage(owner) {}

TpgwDialogPage::~TpgwDialogPage() = default;

const TClassInfo& TpgwDialogPage::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwDialogPage>("TpgwDialogPage").Parent<TpgwPage>().Build();
  return info;
}

const TClassInfo& TpgwDialogPage::ClassInfo() const {
  return StaticClassInfo();
}

namespace {

// An element with its attributes and everything inside it.
void CopyElement(const TpgwXMLItem& from, TpgwXMLItem& to, int depth = 0) {
  to.SetName(from.Name());
  to.SetText(from.Text());
  if (depth > 64) return;  // the reader limits nesting long before this
  for (int i = 0; i < from.Count(); ++i) CopyElement(*from.Items(i), *to.Add(), depth + 1);
}

}  // namespace

bool TpgwDialogPage::ReadNestedProperty(TpgwXMLItem& item, TpgwXMLSerializer&) {
  auto copy = std::make_unique<TpgwXMLItem>();
  CopyElement(item, *copy);
  FControls.push_back(std::move(copy));
  return true;
}

void TpgwDialogPage::WriteNestedProperties(TpgwXMLItem& item, TpgwXMLSerializer&) {
  if (!FElementText.empty()) item.SetText(FElementText);
  for (const auto& control : FControls) CopyElement(*control, *item.Add());
}

// ---- subreport ----------------------------------------------------------------------------------------

TpgwSubreport::TpgwSubreport(TComponent* owner) : TpgwView(owner) {
  // It prints its page's bands, never itself.
  TpgwComponentStyle style = pwComponentStyle();
  style.Exclude(csPreviewVisible);
  SetpwComponentStyle(style);
}

TpgwSubreport::~TpgwSubreport() {
  SetPage(nullptr);
}

const TClassInfo& TpgwSubreport::StaticClassInfo() {
  using T = TpgwSubreport;
  static const TClassInfo& info = Describe<T>("TpgwSubreport")
                                      .Parent<TpgwView>()
                                      .Reference("Page", &T::Page, &T::SetPage)
                                      .Boolean("PrintOnParent", &T::PrintOnParent, &T::SetPrintOnParent)
                                      .Default(false)
                                      .Build();
  return info;
}

const TClassInfo& TpgwSubreport::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwSubreport::SetPage(TpgwReportPage* v) {
  if (FPage == v) return;
  if (FPage) {
    // A subreport placed on the page it shows is destroyed with the page's children, when the
    // page is no longer a page: only a page that is not being destroyed is told.
    const TComponent* page = FPage;
    if (!page->ComponentState().Contains(csDestroying) && FPage->SubReport() == this) FPage->SetSubReport(nullptr);
    RemoveFreeNotification(FPage);
  }
  FPage = v;
  if (FPage) {
    FPage->SetSubReport(this);
    // Each forgets the other when it goes first.
    FreeNotification(FPage);
  }
}

void TpgwSubreport::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FPage) FPage = nullptr;
  TpgwView::Notification(c, op);
}

void ProvidePageClasses() {
  ProvideReportClass("TpgwReportPage", &TpgwReportPage::StaticClassInfo);
  ProvideReportClass("TpgwSubreport", &TpgwSubreport::StaticClassInfo);
  ProvideReportClass("TpgwDialogPage", &TpgwDialogPage::StaticClassInfo);
  ProvideReportClass("TpgwDataPage", &TpgwDataPage::StaticClassInfo);
}

void RegisterPageClasses() {
  ProvidePageClasses();
  RegisterReportClasses();
}

}  // namespace pagewright
