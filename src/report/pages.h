// Pages: the report page (paper, margins, columns and page options; its children are bands)
// and the data page that holds non-visual components.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/properties.h"
#include "platform/string_list.h"
#include "platform/types.h"
#include "report/bands.h"
#include "report/component.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/view.h"

namespace pagewright {

// Report units per millimetre, centimetre, tenth of an inch and inch.
inline constexpr Extended pgwMMUnits = 3.77953L;
inline constexpr Extended pgwCMUnits = 37.7953L;
inline constexpr Extended pgwTenthInchUnits = 9.6L;
inline constexpr Extended pgwInchUnits = 96;

// The largest paper side a template may give, in millimetres: 200 inches, the largest page a
// PDF may have. Larger values are an error for that attribute when a template is read.
inline constexpr Extended kMaxPaperSize = 5080;

// Paper codes of 256 and above are custom sizes.
inline constexpr int pgwCustomPaperSize = 256;
// Width and height in tenths of a millimetre of a standard paper code; false when unknown.
bool PaperDimensions(int code, int& width, int& height);

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };
const TEnumInfo& TPrinterOrientationInfo();
const TEnumInfo& TpgwDuplexModeInfo();
const TEnumInfo& TpgwMirrorModesInfo();

class TpgwPage : public TpgwComponent {
 public:
  explicit TpgwPage(TComponent* owner);
  ~TpgwPage() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  bool IsPageNode() const override { return true; }

  TStringList& HGuides() { return FHGuides; }
  TStringList& VGuides() { return FVGuides; }

 private:
  TStringList FHGuides;
  TStringList FVGuides;
};

// A dialog page of a template: this system shows no dialogs, so the page and its controls are
// kept as they were read (written back unchanged on save) and the engine passes them by.
class TpgwDialogPage : public TpgwPage {
 public:
  explicit TpgwDialogPage(TComponent* owner);
  ~TpgwDialogPage() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // How the dialog ended when shown modally (scripts read it; there are no windows here).
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int v) { FModalResult = v; }

  void KeepElementText(std::u16string_view text) override { FElementText = WideString(text); }
  bool HandlesNestedProperties() const override { return true; }
  // The controls, as elements, and the page's own attributes as they were read.
  void WriteNestedProperties(TpgwXMLItem& item, TpgwXMLSerializer& serializer) override;
  bool ReadNestedProperty(TpgwXMLItem& item, TpgwXMLSerializer& serializer) override;

 private:
  WideString FElementText;
  std::vector<std::unique_ptr<TpgwXMLItem>> FControls;
  int FModalResult = 0;
};

class TpgwReportPage : public TpgwPage {
 public:
  explicit TpgwReportPage(TComponent* owner);
  ~TpgwReportPage() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // --- paper -------------------------------------------------------------------------------------
  TPrinterOrientation Orientation() const { return FOrientation; }
  // Swaps width and height and rotates the margins when the value changes.
  void SetOrientation(TPrinterOrientation v);
  Extended PaperWidth() const { return FPaperWidth; }
  void SetPaperWidth(Extended v);  // rounded to 8 decimals; the size becomes custom
  Extended PaperHeight() const { return FPaperHeight; }
  void SetPaperHeight(Extended v);
  int PaperSize() const { return FPaperSize; }
  // A known standard code below 256 takes its dimensions (swapped in landscape).
  void SetPaperSize(int v);
  Extended LeftMargin() const { return FLeftMargin; }
  void SetLeftMargin(Extended v) { FLeftMargin = v; }
  Extended RightMargin() const { return FRightMargin; }
  void SetRightMargin(Extended v) { FRightMargin = v; }
  Extended TopMargin() const { return FTopMargin; }
  void SetTopMargin(Extended v) { FTopMargin = v; }
  Extended BottomMargin() const { return FBottomMargin; }
  void SetBottomMargin(Extended v) { FBottomMargin = v; }
  bool MirrorMargins() const { return FMirrorMargins; }
  void SetMirrorMargins(bool v) { FMirrorMargins = v; }

  // --- columns -----------------------------------------------------------------------------------
  int Columns() const { return FColumns; }
  // Also divides the printable width into equal columns and lists their positions.
  void SetColumns(int v);
  Extended ColumnWidth() const { return FColumnWidth; }
  void SetColumnWidth(Extended v) { FColumnWidth = v; }
  TStringList& ColumnPositions() { return FColumnPositions; }
  void SetColumnPositions(const TStringList& v) { FColumnPositions.Assign(v); }

  // --- options -----------------------------------------------------------------------------------
  int Bin() const { return FBin; }
  void SetBin(int v) { FBin = v; }
  int BinOtherPages() const { return FBinOtherPages; }
  void SetBinOtherPages(int v) { FBinOtherPages = v; }
  // The background picture, kept by the background view.
  TPicture& BackPicture() { return FBackground->Picture(); }
  const TPicture& BackPicture() const { return FBackground->Picture(); }
  void SetBackPicture(const TPicture& v) { FBackground->SetPicture(v); }
  bool BackPictureVisible() const { return FBackPictureVisible; }
  void SetBackPictureVisible(bool v) { FBackPictureVisible = v; }
  bool BackPicturePrintable() const { return FBackPicturePrintable; }
  void SetBackPicturePrintable(bool v) { FBackPicturePrintable = v; }
  bool BackPictureStretched() const { return FBackPictureStretched; }
  void SetBackPictureStretched(bool v) { FBackPictureStretched = v; }
  int PageCount() const { return FPageCount; }
  void SetPageCount(int v) {
    if (v >= 1) FPageCount = v;
  }
  TColor Color() const { return FBackground->Color(); }
  void SetColor(TColor v) { FBackground->SetColor(v); }
  TComponent* DataSet() const { return FDataSet; }
  void SetDataSet(TComponent* v);
  const WideString& DataSetName() const { return FDataSetName; }
  void SetDataSetName(const WideString& v);
  TpgwDuplexMode Duplex() const { return FDuplex; }
  void SetDuplex(TpgwDuplexMode v) { FDuplex = v; }
  TpgwFrame& Frame() { return FBackground->Frame(); }
  const TpgwFrame& Frame() const { return FBackground->Frame(); }
  void SetFrame(const TpgwFrame& v) { FBackground->SetFrame(v); }
  bool EndlessHeight() const { return FEndlessHeight; }
  void SetEndlessHeight(bool v) { FEndlessHeight = v; }
  bool EndlessWidth() const { return FEndlessWidth; }
  void SetEndlessWidth(bool v) { FEndlessWidth = v; }
  bool LargeDesignHeight() const { return FLargeDesignHeight; }
  void SetLargeDesignHeight(bool v) { FLargeDesignHeight = v; }
  TpgwMirrorControlModes MirrorMode() const { return FMirrorMode; }
  void SetMirrorMode(TpgwMirrorControlModes v) { FMirrorMode = v; }
  const WideString& OutlineText() const { return FOutlineText; }
  void SetOutlineText(const WideString& v) { FOutlineText = v; }
  bool PrintIfEmpty() const { return FPrintIfEmpty; }
  void SetPrintIfEmpty(bool v) { FPrintIfEmpty = v; }
  bool PrintOnPreviousPage() const { return FPrintOnPreviousPage; }
  void SetPrintOnPreviousPage(bool v) { FPrintOnPreviousPage = v; }
  bool ShowTitleOnPreviousPage() const { return FShowTitleOnPreviousPage; }
  void SetShowTitleOnPreviousPage(bool v) { FShowTitleOnPreviousPage = v; }
  bool ResetPageNumbers() const { return FResetPageNumbers; }
  void SetResetPageNumbers(bool v) { FResetPageNumbers = v; }
  bool TitleBeforeHeader() const { return FTitleBeforeHeader; }
  void SetTitleBeforeHeader(bool v) { FTitleBeforeHeader = v; }
  const WideString& OnAfterPrint() const { return FOnAfterPrint; }
  void SetOnAfterPrint(const WideString& v) { FOnAfterPrint = v; }
  const WideString& OnBeforePrint() const { return FOnBeforePrint; }
  void SetOnBeforePrint(const WideString& v) { FOnBeforePrint = v; }
  const WideString& OnManualBuild() const { return FOnManualBuild; }
  void SetOnManualBuild(const WideString& v) { FOnManualBuild = v; }

  // --- background --------------------------------------------------------------------------------
  // The picture view that paints the background: the page's colour, frame and picture.
  TpgwPictureView& BackgroundView() { return *FBackground; }
  // Paints the page background into the printable area: the page itself paints nothing else.
  void DrawBackground(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY);

  // --- operations --------------------------------------------------------------------------------
  // The first child band of that class (or a descendant of it); null when none.
  TpgwBand* FindBand(const TClassInfo& bandClass) const;
  bool IsSubReport() const { return FSubReport != nullptr; }
  TpgwComponent* SubReport() const { return FSubReport; }
  void SetSubReport(TpgwComponent* v) { FSubReport = v; }
  void SetMarginOffset(int pageIndex);
  void ClearMarginOffset();
  void SetSizeAndDimensions(int paperSize, Extended width, Extended height);
  void SetDefaults();
  void AlignChildren(bool ignoreInvisible = false, TpgwMirrorControlModes modes = {}) override;
  // Width and Height from the paper, in whole report units.
  void UpdateDimensions();

  // Bands the engine sorts the page's children into.
  std::vector<TpgwBand*> SubBands;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  TPrinterOrientation FOrientation = poPortrait;
  Extended FPaperWidth = 210;
  Extended FPaperHeight = 297;
  int FPaperSize = 9;
  Extended FLeftMargin = 0, FRightMargin = 0, FTopMargin = 0, FBottomMargin = 0;
  bool FMirrorMargins = false;
  int FColumns = 0;
  Extended FColumnWidth = 0;
  TStringList FColumnPositions;
  int FBin = 7;
  int FBinOtherPages = 7;
  bool FBackPictureVisible = true, FBackPicturePrintable = true, FBackPictureStretched = true;
  int FPageCount = 1;
  TComponent* FDataSet = nullptr;
  WideString FDataSetName;
  TpgwDuplexMode FDuplex = dmNone;
  bool FEndlessHeight = false, FEndlessWidth = false, FLargeDesignHeight = false;
  TpgwMirrorControlModes FMirrorMode;
  WideString FOutlineText;
  bool FPrintIfEmpty = true, FPrintOnPreviousPage = false, FShowTitleOnPreviousPage = true,
       FResetPageNumbers = false, FTitleBeforeHeader = true;
  WideString FOnAfterPrint, FOnBeforePrint, FOnManualBuild;
  std::unique_ptr<TpgwPictureView> FBackground;
  TpgwComponent* FSubReport = nullptr;
};

// A page of 1000 × 1000 units for non-visual components.
class TpgwDataPage : public TpgwPage {
 public:
  explicit TpgwDataPage(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// Prints another report page (its data bands) inside a band: after the band at the subreport's
// position, or onto the band itself when it prints on its parent. The page it names becomes a
// subreport page, which the engine runs only from here.
class TpgwSubreport : public TpgwView {
 public:
  explicit TpgwSubreport(TComponent* owner);
  ~TpgwSubreport() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TpgwReportPage* Page() const { return FPage; }
  void SetPage(TpgwReportPage* v);
  bool PrintOnParent() const { return FPrintOnParent; }
  void SetPrintOnParent(bool v) { FPrintOnParent = v; }

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  TpgwReportPage* FPage = nullptr;
  bool FPrintOnParent = false;
};

// Gives the class list its page classes (start-up, before RegisterReportClasses).
void ProvidePageClasses();
// Provides them and registers every provided report class in list order (for tests and tools
// that need only these classes).
void RegisterPageClasses();

}  // namespace pagewright
