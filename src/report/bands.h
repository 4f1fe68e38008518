// Bands: horizontal strips of a report page holding views. The band engine decides when and
// where each band prints; the classes here hold the properties and the few rules of their own
// (the child chain, columns of data bands, the fill memo that paints a band's background).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/properties.h"
#include "platform/types.h"
#include "report/component.h"
#include "report/view.h"

namespace pagewright {

class TpgwChild;
class TpgwDataBand;

enum TpgwShiftEngine : uint8_t { seLinear, seTree, seDontShift };
enum TpgwToNRowsMode : uint8_t { rmCount, rmAddToCount, rmTillPageEnds };
const TEnumInfo& TpgwShiftEngineInfo();
const TEnumInfo& TpgwToNRowsModeInfo();

// Report units per dot-matrix character cell.
inline constexpr Extended pgwCharWidth = 9.6L;
inline constexpr Extended pgwCharHeight = 17;

// Gaps between a band's edges and its painted background.
class TpgwFillGaps : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  int Top() const { return FTop; }
  void SetTop(int v) { FTop = v; }
  int Left() const { return FLeft; }
  void SetLeft(int v) { FLeft = v; }
  int Bottom() const { return FBottom; }
  void SetBottom(int v) { FBottom = v; }
  int Right() const { return FRight; }
  void SetRight(int v) { FRight = v; }

 private:
  int FTop = 0, FLeft = 0, FBottom = 0, FRight = 0;
};

class TpgwBand : public TpgwReportComponent {
 public:
  explicit TpgwBand(TComponent* owner);
  ~TpgwBand() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  bool IsBand() const override { return true; }

  // --- properties -----------------------------------------------------------------------------------
  bool AllowSplit() const { return FAllowSplit; }
  void SetAllowSplit(bool v) { FAllowSplit = v; }
  TpgwChild* Child() const { return FChild; }
  // Raises "Circular child reference is not allowed" when the chain from `v` leads back here.
  void SetChild(TpgwChild* v);
  bool KeepChild() const { return FKeepChild; }
  void SetKeepChild(bool v) { FKeepChild = v; }
  const WideString& OnAfterCalcHeight() const { return FOnAfterCalcHeight; }
  void SetOnAfterCalcHeight(const WideString& v) { FOnAfterCalcHeight = v; }
  const WideString& OutlineText() const { return FOutlineText; }
  void SetOutlineText(const WideString& v) { FOutlineText = v; }
  bool Overflow() const { return FOverflow; }
  void SetOverflow(bool v) { FOverflow = v; }
  bool StartNewPage() const { return FStartNewPage; }
  void SetStartNewPage(bool v) { FStartNewPage = v; }
  bool Stretched() const { return FStretched; }
  void SetStretched(bool v) { FStretched = v; }
  bool PrintChildIfInvisible() const { return FPrintChildIfInvisible; }
  void SetPrintChildIfInvisible(bool v) { FPrintChildIfInvisible = v; }
  // Vertical bands are not supported: the value stays false.
  bool Vertical() const { return false; }
  void SetVertical(bool) {}
  TpgwFillType FillType() const { return FFill->FillType(); }
  void SetFillType(TpgwFillType v);
  TpgwBaseFill& Fill() { return *FFill; }
  const TpgwBaseFill& Fill() const { return *FFill; }
  void SetFill(const TpgwBaseFill& v);
  TpgwFillGaps& FillGap() { return FFillGap; }
  const TpgwFillGaps& FillGap() const { return FFillGap; }
  void SetFillGap(const TpgwFillGaps& v) { FFillGap.Assign(v); }
  TpgwFrame& Frame() { return FFrame; }
  const TpgwFrame& Frame() const { return FFrame; }
  void SetFrame(const TpgwFrame& v) { FFrame.Assign(v); }
  TpgwShiftEngine ShiftEngine() const { return FShiftEngine; }
  void SetShiftEngine(TpgwShiftEngine v) { FShiftEngine = v; }
  bool IsFontStored() const { return !ParentFont(); }
  int HeaderHeight() const { return FHeaderHeight; }
  void SetHeaderHeight(int v) { FHeaderHeight = v; }

  // A band on a dot-matrix page keeps to whole character cells.
  void SetLeft(Extended v) override;
  void SetTop(Extended v) override;
  void SetHeight(Extended v) override;

  // --- engine working fields ------------------------------------------------------------------------
  std::vector<TpgwBand*> SubBands;
  TpgwBand* Header = nullptr;
  TpgwBand* Footer = nullptr;
  TpgwBand* Group = nullptr;
  int LineN = 0;
  int LineThrough = 0;
  bool HasVBands = false;
  Extended StretchedHeight = 0;

  // --- operations -----------------------------------------------------------------------------------
  void Draw(void* canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;
  // The band's kind: 0 report title ... 17 overlay; other kinds 0.
  virtual int BandNumber() const { return 0; }
  // Class name without its first "Tpgw" and then its first "Band".
  WideString BandCaptionName() const;
  // The hidden text object that paints the band's fill and frame (see the engine). Returns it,
  // or null when the band paints nothing or no text object class is available.
  TpgwView* CreateFillMemo();
  void DisposeFillMemo();
  TpgwView* FillMemo() const { return FFillMemo; }
  // Whether this band paints neither fill nor frame.
  bool HasNoFill() const;
  virtual bool IsNullBand() const { return false; }

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  bool FAllowSplit = false;
  TpgwChild* FChild = nullptr;
  bool FKeepChild = false;
  WideString FOnAfterCalcHeight;
  WideString FOutlineText;
  bool FOverflow = false;
  bool FStartNewPage = false;
  bool FStretched = false;
  bool FPrintChildIfInvisible = false;
  std::unique_ptr<TpgwBaseFill> FFill;
  TpgwView* FFillMemo = nullptr;
  TpgwFillGaps FFillGap;
  TpgwFrame FFrame;
  int FHeaderHeight = 0;
  TpgwShiftEngine FShiftEngine = seTree;
};


class TpgwReportTitle : public TpgwBand {
 public:
  explicit TpgwReportTitle(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 0; }
};

class TpgwReportSummary : public TpgwBand {
 public:
  explicit TpgwReportSummary(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 1; }
  bool PrintAtBottom() const { return FPrintAtBottom; }
  void SetPrintAtBottom(bool v) { FPrintAtBottom = v; }

 private:
  bool FPrintAtBottom = false;
};

class TpgwPageHeader : public TpgwBand {
 public:
  explicit TpgwPageHeader(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 2; }
  bool PrintOnFirstPage() const { return FPrintOnFirstPage; }
  void SetPrintOnFirstPage(bool v) { FPrintOnFirstPage = v; }

 private:
  bool FPrintOnFirstPage = true;
};

class TpgwPageFooter : public TpgwBand {
 public:
  explicit TpgwPageFooter(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 3; }
  bool PrintOnFirstPage() const { return FPrintOnFirstPage; }
  void SetPrintOnFirstPage(bool v) { FPrintOnFirstPage = v; }
  bool PrintOnLastPage() const { return FPrintOnLastPage; }
  void SetPrintOnLastPage(bool v) { FPrintOnLastPage = v; }
  bool PrintOnSinglePage() const { return FPrintOnSinglePage; }
  void SetPrintOnSinglePage(bool v) { FPrintOnSinglePage = v; }

 private:
  bool FPrintOnFirstPage = true;
  bool FPrintOnLastPage = true;
  bool FPrintOnSinglePage = false;
};

class TpgwHeader : public TpgwBand {
 public:
  explicit TpgwHeader(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 4; }
  bool ReprintOnNewPage() const { return FReprintOnNewPage; }
  void SetReprintOnNewPage(bool v) { FReprintOnNewPage = v; }

 private:
  bool FReprintOnNewPage = false;
};

class TpgwFooter : public TpgwBand {
 public:
  explicit TpgwFooter(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 5; }
};


class TpgwDataBand : public TpgwBand {
 public:
  explicit TpgwDataBand(TComponent* owner);
  ~TpgwDataBand() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  int Columns() const { return FColumns; }
  void SetColumns(int v) { FColumns = v; }
  Extended ColumnWidth() const { return FColumnWidth; }
  void SetColumnWidth(Extended v) { FColumnWidth = v; }
  Extended ColumnGap() const { return FColumnGap; }
  void SetColumnGap(Extended v) { FColumnGap = v; }
  TComponent* DataSet() const { return FDataSet; }
  void SetDataSet(TComponent* v);
  const WideString& DataSetName() const { return FDataSetName; }
  void SetDataSetName(const WideString& v);
  bool FooterAfterEach() const { return FFooterAfterEach; }
  void SetFooterAfterEach(bool v) { FFooterAfterEach = v; }
  const WideString& Filter() const { return FFilter; }
  void SetFilter(const WideString& v) { FFilter = v; }
  bool KeepFooter() const { return FKeepFooter; }
  void SetKeepFooter(bool v) { FKeepFooter = v; }
  bool KeepHeader() const { return FKeepHeader; }
  void SetKeepHeader(bool v) { FKeepHeader = v; }
  bool KeepTogether() const { return FKeepTogether; }
  void SetKeepTogether(bool v) { FKeepTogether = v; }
  bool PrintIfDetailEmpty() const { return FPrintIfDetailEmpty; }
  void SetPrintIfDetailEmpty(bool v) { FPrintIfDetailEmpty = v; }
  int RowCount() const { return FRowCount; }
  // Also the record count of the band's own data set.
  void SetRowCount(int v);

  int CurColumn() const { return FCurColumn; }
  // A column above Columns wraps to 1; column 1 starts a new row of columns. Moves the band
  // to its column.
  void SetCurColumn(int v);
  // The lowest bottom reached in the current row of columns.
  Extended MaxY() const { return FMaxY; }
  void SetMaxY(Extended v) { FMaxY = v; }
  const WideString& OnMasterDetail() const { return FOnMasterDetail; }
  void SetOnMasterDetail(const WideString& v) { FOnMasterDetail = v; }

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  int FColumns = 0;
  Extended FColumnWidth = 0;
  Extended FColumnGap = 0;
  TComponent* FDataSet = nullptr;
  WideString FDataSetName;
  bool FFooterAfterEach = false;
  WideString FFilter;
  bool FKeepFooter = false, FKeepHeader = false, FKeepTogether = false, FPrintIfDetailEmpty = false;
  int FRowCount = 0;
  int FCurColumn = 0;
  WideString FOnMasterDetail;
  Extended FMaxY = 0;
};

class TpgwMasterData : public TpgwDataBand {
 public:
  explicit TpgwMasterData(TComponent* owner) : TpgwDataBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 6; }
};

class TpgwDetailData : public TpgwDataBand {
 public:
  explicit TpgwDetailData(TComponent* owner) : TpgwDataBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 7; }
};

class TpgwSubdetailData : public TpgwDataBand {
 public:
  explicit TpgwSubdetailData(TComponent* owner) : TpgwDataBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 8; }
};

class TpgwDataBand4 : public TpgwDataBand {
 public:
  explicit TpgwDataBand4(TComponent* owner) : TpgwDataBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 9; }
};

class TpgwDataBand5 : public TpgwDataBand {
 public:
  explicit TpgwDataBand5(TComponent* owner) : TpgwDataBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 10; }
};

class TpgwDataBand6 : public TpgwDataBand {
 public:
  explicit TpgwDataBand6(TComponent* owner) : TpgwDataBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 11; }
};

class TpgwGroupHeader : public TpgwBand {
 public:
  explicit TpgwGroupHeader(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 12; }
  const WideString& Condition() const { return FCondition; }
  void SetCondition(const WideString& v) { FCondition = v; }
  bool DrillDown() const { return FDrillDown; }
  void SetDrillDown(bool v) { FDrillDown = v; }
  bool ExpandDrillDown() const { return FExpandDrillDown; }
  void SetExpandDrillDown(bool v) { FExpandDrillDown = v; }
  bool KeepTogether() const { return FKeepTogether; }
  void SetKeepTogether(bool v) { FKeepTogether = v; }
  bool ReprintOnNewPage() const { return FReprintOnNewPage; }
  void SetReprintOnNewPage(bool v) { FReprintOnNewPage = v; }
  bool ResetPageNumbers() const { return FResetPageNumbers; }
  void SetResetPageNumbers(bool v) { FResetPageNumbers = v; }
  bool ShowFooterIfDrillDown() const { return FShowFooterIfDrillDown; }
  void SetShowFooterIfDrillDown(bool v) { FShowFooterIfDrillDown = v; }
  bool ShowChildIfDrillDown() const { return FShowChildIfDrillDown; }
  void SetShowChildIfDrillDown(bool v) { FShowChildIfDrillDown = v; }
  const WideString& DrillName() const { return FDrillName; }
  void SetDrillName(const WideString& v) { FDrillName = v; }
  // The last value of Condition, kept by the engine.
  Variant LastValue;
  // The post-processor's group level of the group this header opened (engine state).
  int GroupLevel = 0;

 private:
  WideString FCondition;
  bool FDrillDown = false, FExpandDrillDown = false, FKeepTogether = false, FReprintOnNewPage = false,
       FResetPageNumbers = false, FShowFooterIfDrillDown = false, FShowChildIfDrillDown = false;
  WideString FDrillName;
};

class TpgwGroupFooter : public TpgwBand {
 public:
  explicit TpgwGroupFooter(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 13; }
  bool HideIfSingleDataRecord() const { return FHideIfSingleDataRecord; }
  void SetHideIfSingleDataRecord(bool v) { FHideIfSingleDataRecord = v; }

 private:
  bool FHideIfSingleDataRecord = false;
};

class TpgwChild : public TpgwBand {
 public:
  explicit TpgwChild(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 14; }
  int ToNRows() const { return FToNRows; }
  void SetToNRows(int v) { FToNRows = v; }
  TpgwToNRowsMode ToNRowsMode() const { return FToNRowsMode; }
  void SetToNRowsMode(TpgwToNRowsMode v) { FToNRowsMode = v; }

 private:
  int FToNRows = 0;
  TpgwToNRowsMode FToNRowsMode = rmCount;
};

class TpgwColumnHeader : public TpgwBand {
 public:
  explicit TpgwColumnHeader(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 15; }
};

class TpgwColumnFooter : public TpgwBand {
 public:
  explicit TpgwColumnFooter(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 16; }
};

class TpgwOverlay : public TpgwBand {
 public:
  explicit TpgwOverlay(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  int BandNumber() const override { return 17; }
  bool PrintOnTop() const { return FPrintOnTop; }
  void SetPrintOnTop(bool v) { FPrintOnTop = v; }

 private:
  bool FPrintOnTop = false;
};

// A placeholder container band.
class TpgwNullBand : public TpgwBand {
 public:
  explicit TpgwNullBand(TComponent* owner) : TpgwBand(owner) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  bool IsNullBand() const override { return true; }
};

// Gives the class list its band classes (start-up, before RegisterReportClasses).
void ProvideBandClasses();
// Provides them and registers every provided report class in list order (for tests and tools
// that need only these classes).
void RegisterBandClasses();

}  // namespace pagewright
