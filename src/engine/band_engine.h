// The band engine: runs a report's pages over its data and fills the prepared-page store. It
// builds each page's band structure (data bands with their headers, footers, groups and
// details), iterates the data bands over their data sets, places bands at the current position,
// breaks pages and columns, keeps blocks together, stretches bands to their objects, shifts
// the objects below a grown one, splits bands across pages and feeds the aggregates.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "engine/aggregates.h"
#include "platform/types.h"
#include "platform/variant.h"
#include "prepared/preview_pages.h"
#include "report/view.h"

namespace pagewright {

class TpgwBand;
class TpgwChild;
class TpgwComponent;
class TpgwCustomMemoView;
class TpgwDataBand;
class TpgwDataSet;
class TpgwGroupHeader;
class TpgwPreviewPages;
class TpgwReport;
class TpgwReportPage;
class TpgwNullBand;
class TpgwStretcheable;
class TpgwSubreport;
class TpgwUserDataSet;
class TpgwShiftEngineImpl;
class TClassInfo;

// Positions closer than this are the same.
inline constexpr Extended pgwEngineTolerance = 1e-4L;

struct TpgwHeaderListItem {
  TpgwBand* Band = nullptr;
  Extended Left = 0;
  bool IsInKeepList = false;
};

class TpgwHeaderList {
 public:
  void AddItem(TpgwBand* band, bool inKeepList, Extended left) { FItems.push_back({band, left, inKeepList}); }
  // Removes the first item of that band.
  void RemoveItem(const TpgwBand* band);
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwHeaderListItem& Items(int index) { return FItems.at(static_cast<size_t>(index)); }

 private:
  std::vector<TpgwHeaderListItem> FItems;
};

class TpgwEngine : public IpgwPreviewEngine, public IpgwRunningEngine {
 public:
  TpgwEngine(TpgwReport& report, TpgwPreviewPages& previewPages);
  ~TpgwEngine() override;
  TpgwEngine(const TpgwEngine&) = delete;
  TpgwEngine& operator=(const TpgwEngine&) = delete;

  // The whole run: structure, data sets, one or two passes. False when the template's structure
  // has errors (listed in the report's Errors) and nothing was printed.
  bool Run(bool runDialogs, bool clearLast, TpgwReportPage* page = nullptr);

  // --- placement -----------------------------------------------------------------------------------
  // Shows a band; the band itself when its child still has rows to give later, else null.
  TpgwBand* ShowBand(TpgwBand* band);
  void ShowBand(const TClassInfo& bandClass);
  void ShowBandByName(const WideString& name);
  void NewPage() override;
  void NewColumn() override;
  void EndPage();
  void BreakAllKeep();
  void StopReport() override;
  Extended FreeSpace() override;
  Extended EffectivePageHeight();
  Extended HeaderHeight(bool addReprintOnNewPage);
  Extended FooterHeight();

  // --- stretching and splitting -------------------------------------------------------------------
  void Stretch(TpgwComponent* container, bool skipGetData = false);
  void UnStretch(TpgwComponent* container);
  void PrepareShiftTree(TpgwComponent* container);

  // --- aggregates ----------------------------------------------------------------------------------
  TpgwAggregateList& Aggregates() { return FAggregates; }
  Variant GetAggregateValue(const WideString& name, const WideString& expression, TpgwComponent* dataRow,
                            int flags);
  // IpgwRunningEngine: the band is an object reference (a data row) or a number.
  Variant AggregateValue(const WideString& funcName, const WideString& expr, const Variant& band,
                         int flags) override;
  // Hands an object with custom processing to the post-processor.
  void ProcessObject(TpgwComponent* obj) override;

  // --- IpgwPreviewEngine --------------------------------------------------------------------------
  bool Running() const override { return FRunning; }
  bool FinalPass() const override { return FFinalPass; }
  bool DoublePass() const override;
  Extended CurY() const override { return FCurY; }
  int TotalPages() const override { return FTotalPages; }

  // --- state ---------------------------------------------------------------------------------------
  TpgwReport& Report() const { return FReport; }
  TpgwPreviewPages& PreviewPages() const { return FPreviewPages; }
  int CurColumn() const override { return FCurColumn; }
  int CurLine() const override { return FCurLine; }
  int CurLineThrough() const { return FCurLineThrough; }
  Extended CurX() const override { return FCurX; }
  void SetCurX(Extended v) override { FCurX = v; }
  void SetCurY(Extended v) override { FCurY = v; }
  Extended PageHeight() const override { return FPageHeight; }
  Extended PageWidth() const override { return FPageWidth; }

  // --- IpgwRunningEngine, the rest of what scripts call ----------------------------------------
  void PrintBand(TpgwBand* band) override;
  int PageNo() override;
  void AddAnchor(const WideString& text) override;
  int GetAnchorPage(const WideString& text) override;
  void AddOutlineItem(const WideString& text) override;
  void OutlineLevelRoot() override;
  void OutlineLevelUp() override;
  int PreparedPageCount() override;
  int CurPreparedPage() override;
  void PostProcessorMacroList(TStringList& list) override;
  void ResetPostProcessorDuplicates(const WideString& bandName) override;
  std::unique_ptr<TpgwComponent> PreparedPageCopy(int index) override;
  void ReplacePreparedPageObjects(int index, TpgwComponent& page) override;
  TpgwBand* CurBand() const { return FCurBand; }
  bool Keeping() const { return FKeeping; }
  bool SecondScriptCall() const { return FSecondScriptCall; }

 private:
  friend class TpgwShiftEngineImpl;
  // Run.
  bool Initialize();
  void BuildBandStructure(TpgwReportPage& page);
  void RunPasses(TpgwReportPage* page);
  void RunAllPages(TpgwReportPage* page);
  void RunPage(TpgwReportPage& page);
  void RunPageInstance(TpgwReportPage& page);
  void ShowPageObjects(TpgwReportPage& page);
  void Finalize();
  bool DetailHasData(TpgwComponent* pageOrBand, bool flag, int depth = 0);
  void RunDataBandLoop(const std::vector<TpgwBand*>& bands, int depth = 0);
  void RunDataBand(TpgwDataBand& band, int depth);
  void StartGroups(TpgwDataBand& band, size_t from, bool reset);
  void CheckGroups(TpgwDataBand& band);
  void EndGroups(TpgwDataBand& band, size_t downTo);
  // After a row of a data band with several columns: the next row goes beside it, or below the
  // finished row block, which moves to the next column or page when it runs past the bottom.
  void MultiColumnStep(TpgwDataBand& band);
  // Shows or hides the levels below a group header that the user folded or unfolded.
  void ApplyDrillDown(TpgwDataBand& band);
  void ShowChildRows(TpgwDataBand& band, bool cut, int savedPageCount, int savedPosition);
  void AddBandOutline(TpgwBand& band);
  void ClearSuppressed(TpgwBand& band);
  void SyncCounters();
  // Calls the script procedure an object names for an event; with RunScripts a missing procedure
  // is an error line, and a failing one raises with its place and the procedure added.
  void FireEvent(const WideString& procName, TpgwComponent* sender);

  // Placement.
  void ShowBandCore(TpgwBand& band);
  void StartReportPage(TpgwReportPage& page);
  void AddPreparedPage();
  void ShowHeaders();
  void StartNextColumn();
  void ShowColumnFooter();
  void ShowFooterBand(TpgwBand* band);
  void StoreBand(TpgwBand& band);
  void EndOfBand(TpgwBand* band, TpgwProcessAtMode mode);
  void StartKeep(TpgwBand* band, int position = -1);
  void EndKeep(TpgwBand* band);
  void AddToHeaderList(TpgwBand* band);
  // Computes a band again after a page or column break moved it.
  void RestretchAfterBreak(TpgwBand& band, bool resetSuppressed);
  void PrintInParts(TpgwBand& band);
  // Subreports: after their band at their own position, or captured onto the band that holds them.
  void RunSubreports(const std::vector<std::pair<TpgwSubreport*, Extended>>& subreports, Extended bandTop);
  void PrintSubreportsOnParent(TpgwComponent& container);
  // Runs a subreport's page unless it is already running (a page embedding itself would never end).
  bool RunSubreportPage(TpgwSubreport& subreport);
  Extended ColumnOffset(int column) const;
  TpgwBand* PageBand(const TClassInfo& cls) const;
  Extended BandChainHeight(TpgwBand* band) const;

  // Single pass: "[TotalPages]" is filled in by the store.
  void LeaveTotalPagesToTheStore(TpgwCustomMemoView& memo);

  // Splitting.
  bool SplitObjects(TpgwBand& band, std::vector<TpgwComponent*>& remaining, Extended height);
  void FinalizeSplit(std::vector<TpgwComponent*>& remaining, Extended splitHeight, bool nothingProgressed);
  void SplitJoin(TpgwComponent* obj, TpgwBand& band);
  void SplitLeaveAll(TpgwBand& band);

  TpgwReport& FReport;
  std::set<WideString> FMissingEvents;  // event procedures reported missing, upper case
  TpgwPreviewPages& FPreviewPages;
  TpgwAggregateList FAggregates;
  std::unique_ptr<TpgwShiftEngineImpl> FShiftEngine;

  int FCurColumn = 1;
  int FCurVColumn = 0;
  int FCurLine = 0;
  int FCurLineThrough = 0;
  bool FFinalPass = true;
  Extended FPageHeight = 0;
  Extended FPageWidth = 0;
  bool FRunning = false;
  int FTotalPages = 0;
  bool FSecondScriptCall = false;
  Extended FCurX = 0;
  Extended FCurY = 0;

  bool FCallFromAddPage = false;
  bool FCallFromEndPage = false;
  bool FCallFromPHeader = false;
  TpgwBand* FCurBand = nullptr;
  TpgwBand* FLastBandOnPage = nullptr;
  bool FDontShowHeaders = false;
  TpgwHeaderList FHeaderList;
  bool FFirstReportPage = false;
  Extended FFirstColumnY = 0;
  bool FIsFirstBand = false;
  bool FIsFirstPage = false;
  bool FIsLastPage = false;
  bool FTitlePrinted = false;
  TpgwBand* FKeepBand = nullptr;
  bool FKeepFooter = false;
  bool FKeeping = false;
  bool FKeepHeader = false;
  Extended FKeepCurY = 0;
  Extended FPrevFooterHeight = 0;
  TpgwXMLItem* FKeepOutline = nullptr;
  int FKeepPosition = 0;
  int FKeepAnchor = 0;
  TpgwReportPage* FPage = nullptr;
  Extended FPageCurX = 0;
  TpgwBand* FStartNewPageBand = nullptr;
  bool FBreakShowBandTree = false;
  bool FLockResetAggregates = false;
  std::vector<TpgwReportPage*> FPages;
  // The row block of a data band with several columns: its first prepared object, where it
  // began and where the current row began.
  // The data bands open above the current row, outermost first, with their running row numbers.
  std::vector<std::pair<WideString, int>> FHBandNamesTree;
  int FRowBlockStart = 0;
  Extended FRowBlockTopY = 0;
  Extended FRowTopY = 0;
  // Data sets the engine made for data bands that print RowCount rows without a data set.
  std::vector<std::pair<TpgwDataBand*, std::unique_ptr<TpgwUserDataSet>>> FRowCountDataSets;
  // Objects made at run time (page-object bands) that go when the run ends.
  std::vector<std::unique_ptr<TpgwComponent>> FTemporary;
  // While subreports print on their parent, the bands they show are copied here.
  TpgwNullBand* FOutputTo = nullptr;
  // The subreport pages running now, outermost first.
  std::vector<TpgwReportPage*> FRunningSubreports;
  // Objects of a band printing in parts that wait outside it.
  std::vector<std::unique_ptr<TpgwComponent>> FSplitHeld;
};

// The band engine as reports reach it (report/services.h): a run into the report's prepared-page
// store.
IpgwEngineService& ReportEngineService();

}  // namespace pagewright
