// The report root: top node of a report tree, with its option objects, data-set lists,
// variables, styles and error list; loading, preparing and exporting.
//
// Templates are read and written by the object serializer (storage/serializer.h). The band
// engine, the script, the data sets and the prepared-page store are subsystems above this one;
// the report reaches them through the services it is made with (report/services.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/string_list.h"
#include "platform/variant.h"
#include "report/component.h"
#include "report/services.h"
#include "report/variables.h"

namespace pagewright {

class TStream;
class TpgwBaseFill;
class TpgwCustomPreviewPages;
class TpgwFrame;
class TpgwReport;
class TpgwXMLItem;
// Fill kinds (ftBrush, ftGradient, ftGlass), declared with the views.
enum TpgwFillType : uint8_t;

// The user name of a data set: its published "UserName" when the class has one, else its
// component name.
WideString DataSetUserName(const TComponent* dataSet);

// --- option objects --------------------------------------------------------------------------------

enum TpgwSilentMode : uint8_t { simMessageBoxes, simSilent, simReThrow };
const TEnumInfo& TpgwSilentModeInfo();

class TpgwEngineOptions : public TPersistent {
 public:
  TpgwEngineOptions() = default;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  // Every published option and ZeroPrecisionValue.
  void Assign(const TPersistent& source) override;
  // NewSilentMode, UseFileCache, DestroyForms, EnableThreadSafe, UseGlobalDataSetList.
  void AssignThreadProps(const TpgwEngineOptions& source);
  void Clear();

  bool ConvertNulls() const { return FConvertNulls; }
  void SetConvertNulls(bool v) { FConvertNulls = v; }
  bool DestroyForms() const { return FDestroyForms; }
  void SetDestroyForms(bool v) { FDestroyForms = v; }
  bool DoublePass() const { return FDoublePass; }
  void SetDoublePass(bool v) { FDoublePass = v; }
  int MaxMemSize() const { return FMaxMemSize; }
  void SetMaxMemSize(int v) { FMaxMemSize = v; }
  bool PrintIfEmpty() const { return FPrintIfEmpty; }
  void SetPrintIfEmpty(bool v) { FPrintIfEmpty = v; }
  void* ReportThread() const { return FReportThread; }
  void SetReportThread(void* v) { FReportThread = v; }
  bool EnableThreadSafe() const { return FEnableThreadSafe; }
  void SetEnableThreadSafe(bool v) { FEnableThreadSafe = v; }
  TpgwSilentMode NewSilentMode() const { return FNewSilentMode; }
  void SetNewSilentMode(TpgwSilentMode v) { FNewSilentMode = v; }
  bool SilentMode() const { return FNewSilentMode == simSilent; }
  void SetSilentMode(bool v) { FNewSilentMode = v ? simSilent : simMessageBoxes; }
  const WideString& TempDir() const { return FTempDir; }
  void SetTempDir(const WideString& v) { FTempDir = v; }
  bool UseFileCache() const { return FUseFileCache; }
  void SetUseFileCache(bool v) { FUseFileCache = v; }
  bool UseGlobalDataSetList() const { return FUseGlobalDataSetList; }
  void SetUseGlobalDataSetList(bool v) { FUseGlobalDataSetList = v; }
  bool IgnoreDevByZero() const { return FIgnoreDevByZero; }
  void SetIgnoreDevByZero(bool v) { FIgnoreDevByZero = v; }
  bool IgnoreExprError() const { return FIgnoreExprError; }
  void SetIgnoreExprError(bool v) { FIgnoreExprError = v; }
  Extended ZeroPrecisionValue() const { return FZeroPrecisionValue; }
  void SetZeroPrecisionValue(Extended v) { FZeroPrecisionValue = v; }

 private:
  bool FConvertNulls = true;
  bool FDestroyForms = true;
  bool FDoublePass = false;
  int FMaxMemSize = 10;
  bool FPrintIfEmpty = true;
  void* FReportThread = nullptr;
  bool FEnableThreadSafe = false;
  TpgwSilentMode FNewSilentMode = simMessageBoxes;
  WideString FTempDir;
  bool FUseFileCache = false;
  bool FUseGlobalDataSetList = true;
  bool FIgnoreDevByZero = false;
  bool FIgnoreExprError = false;
  Extended FZeroPrecisionValue = 1e-17L;
};

enum TpgwPreviewButton : uint8_t {
  pbPrint,
  pbLoad,
  pbSave,
  pbExport,
  pbZoom,
  pbFind,
  pbOutline,
  pbPageSetup,
  pbTools,
  pbEdit,
  pbNavigator,
  pbExportQuick,
  pbNoClose,
  pbNoFullScreen,
  pbNoEmail,
  pbCopy,
  pbPaste,
  pbSelection,
  pbWatermarks
};
using TpgwPreviewButtons = Set<TpgwPreviewButton>;
enum TpgwZoomMode : uint8_t { zmDefault, zmWholePage, zmPageWidth, zmManyPages };

class TpgwPreviewOptions : public TPersistent {
 public:
  TpgwPreviewOptions() = default;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  void Clear();

  bool AllowEdit() const { return FAllowEdit; }
  void SetAllowEdit(bool v) { FAllowEdit = v; }
  bool AllowPreviewEdit() const { return FAllowPreviewEdit; }
  void SetAllowPreviewEdit(bool v) { FAllowPreviewEdit = v; }
  TpgwPreviewButtons Buttons() const { return FButtons; }
  void SetButtons(TpgwPreviewButtons v) { FButtons = v; }
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool v) { FDoubleBuffered = v; }
  bool Maximized() const { return FMaximized; }
  void SetMaximized(bool v) { FMaximized = v; }
  bool MDIChild() const { return FMDIChild; }
  void SetMDIChild(bool v) { FMDIChild = v; }
  bool Modal() const { return FModal; }
  void SetModal(bool v) { FModal = v; }
  bool OutlineExpand() const { return FOutlineExpand; }
  void SetOutlineExpand(bool v) { FOutlineExpand = v; }
  bool OutlineVisible() const { return FOutlineVisible; }
  void SetOutlineVisible(bool v) { FOutlineVisible = v; }
  int OutlineWidth() const { return FOutlineWidth; }
  void SetOutlineWidth(int v) { FOutlineWidth = v; }
  int PagesInCache() const { return FPagesInCache; }
  void SetPagesInCache(int v) { FPagesInCache = v; }
  bool ShowCaptions() const { return FShowCaptions; }
  void SetShowCaptions(bool v) { FShowCaptions = v; }
  bool ThumbnailVisible() const { return FThumbnailVisible; }
  void SetThumbnailVisible(bool v) { FThumbnailVisible = v; }
  Extended Zoom() const { return FZoom; }
  void SetZoom(Extended v) { FZoom = v; }
  TpgwZoomMode ZoomMode() const { return FZoomMode; }
  void SetZoomMode(TpgwZoomMode v) { FZoomMode = v; }
  bool PictureCacheInFile() const { return FPictureCacheInFile; }
  void SetPictureCacheInFile(bool v) { FPictureCacheInFile = v; }
  bool RTLPreview() const { return FRTLPreview; }
  void SetRTLPreview(bool v) { FRTLPreview = v; }

 private:
  bool FAllowEdit = true;
  bool FAllowPreviewEdit = true;
  TpgwPreviewButtons FButtons = {pbPrint,     pbLoad,        pbSave,      pbExport,   pbZoom,
                                 pbFind,      pbOutline,     pbPageSetup, pbTools,    pbEdit,
                                 pbNavigator, pbExportQuick, pbCopy,      pbSelection};
  bool FDoubleBuffered = true;
  bool FMaximized = true;
  bool FMDIChild = false;
  bool FModal = true;
  bool FOutlineExpand = true;
  bool FOutlineVisible = false;
  int FOutlineWidth = 120;
  int FPagesInCache = 50;
  bool FShowCaptions = false;
  bool FThumbnailVisible = false;
  Extended FZoom = 1.0L;
  TpgwZoomMode FZoomMode = zmDefault;
  bool FPictureCacheInFile = false;
  bool FRTLPreview = false;
};

enum TpgwPrintMode : uint8_t { pmDefault, pmSplit, pmJoin, pmScale };
enum TpgwPrintPages : uint8_t { ppAll, ppOdd, ppEven };
enum TpgwDuplexMode : uint8_t { dmNone, dmVertical, dmHorizontal, dmSimplex };

class TpgwPrintOptions : public TPersistent {
 public:
  TpgwPrintOptions();
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  void Clear();

  int Copies() const { return FCopies; }
  void SetCopies(int v) { FCopies = v; }
  bool Collate() const { return FCollate; }
  void SetCollate(bool v) { FCollate = v; }
  const WideString& PageNumbers() const { return FPageNumbers; }
  void SetPageNumbers(const WideString& v) { FPageNumbers = v; }
  const WideString& Printer() const { return FPrinter; }
  void SetPrinter(const WideString& v) { FPrinter = v; }
  TpgwPrintMode PrintMode() const { return FPrintMode; }
  void SetPrintMode(TpgwPrintMode v) { FPrintMode = v; }
  int PrintOnSheet() const { return FPrintOnSheet; }
  void SetPrintOnSheet(int v) { FPrintOnSheet = v; }
  TpgwPrintPages PrintPages() const { return FPrintPages; }
  void SetPrintPages(TpgwPrintPages v) { FPrintPages = v; }
  bool Reverse() const { return FReverse; }
  void SetReverse(bool v) { FReverse = v; }
  bool ShowDialog() const { return FShowDialog; }
  void SetShowDialog(bool v) { FShowDialog = v; }
  bool SwapPageSize() const { return FSwapPageSize; }
  void SetSwapPageSize(bool v) { FSwapPageSize = v; }
  int SplicingLine() const { return FSplicingLine; }
  void SetSplicingLine(int v) { FSplicingLine = v; }
  TpgwDuplexMode Duplex() const { return FDuplex; }
  void SetDuplex(TpgwDuplexMode v) { FDuplex = v; }
  const WideString& PrnOutFileName() const { return FPrnOutFileName; }
  void SetPrnOutFileName(const WideString& v) { FPrnOutFileName = v; }

 private:
  int FCopies = 1;
  bool FCollate = true;
  WideString FPageNumbers;
  WideString FPrinter;
  TpgwPrintMode FPrintMode = pmDefault;
  int FPrintOnSheet = 0;
  TpgwPrintPages FPrintPages = ppAll;
  bool FReverse = false;
  bool FShowDialog = true;
  bool FSwapPageSize = false;
  int FSplicingLine = 3;
  TpgwDuplexMode FDuplex = dmNone;
  WideString FPrnOutFileName;
};

class TpgwReportOptions : public TPersistent {
 public:
  TpgwReportOptions();
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;
  void Clear();

  const WideString& Author() const { return FAuthor; }
  void SetAuthor(const WideString& v) { FAuthor = v; }
  bool Compressed() const { return FCompressed; }
  void SetCompressed(bool v) { FCompressed = v; }
  const WideString& ConnectionName() const { return FConnectionName; }
  void SetConnectionName(const WideString& v) { FConnectionName = v; }
  TDateTime CreateDate() const { return FCreateDate; }
  void SetCreateDate(TDateTime v) { FCreateDate = v; }
  TDateTime LastChange() const { return FLastChange; }
  void SetLastChange(TDateTime v) { FLastChange = v; }
  TStringList& Description() { return FDescription; }
  const TStringList& Description() const { return FDescription; }
  const WideString& InitString() const { return FInitString; }
  void SetInitString(const WideString& v) { FInitString = v; }
  const WideString& Name() const { return FName; }
  void SetName(const WideString& v) { FName = v; }
  const WideString& Password() const { return FPassword; }
  void SetPassword(const WideString& v) { FPassword = v; }
  // The picture of the report's description, as its stored bytes; decoding is the picture
  // formats' business.
  const std::string& Picture() const { return FPicture; }
  void SetPicture(const std::string& v) { FPicture = v; }
  const WideString& VersionBuild() const { return FVersionBuild; }
  void SetVersionBuild(const WideString& v) { FVersionBuild = v; }
  const WideString& VersionMajor() const { return FVersionMajor; }
  void SetVersionMajor(const WideString& v) { FVersionMajor = v; }
  const WideString& VersionMinor() const { return FVersionMinor; }
  void SetVersionMinor(const WideString& v) { FVersionMinor = v; }
  const WideString& VersionRelease() const { return FVersionRelease; }
  void SetVersionRelease(const WideString& v) { FVersionRelease = v; }
  const WideString& PrevPassword() const { return FPrevPassword; }
  void SetPrevPassword(const WideString& v) { FPrevPassword = v; }
  const WideString& HiddenPassword() const { return FHiddenPassword; }
  void SetHiddenPassword(const WideString& v) { FHiddenPassword = v; }
  bool Info() const { return FInfo; }
  void SetInfo(bool v) { FInfo = v; }

 private:
  WideString FAuthor;
  bool FCompressed = false;
  WideString FConnectionName;
  TDateTime FCreateDate = 0;
  TDateTime FLastChange = 0;
  TStringList FDescription;
  WideString FInitString;
  WideString FName;
  WideString FPassword;
  std::string FPicture;
  WideString FVersionBuild, FVersionMajor, FVersionMinor, FVersionRelease;
  WideString FPrevPassword;
  WideString FHiddenPassword;
  bool FInfo = false;
};

// --- data-set lists ---------------------------------------------------------------------------------

class TpgwReportDataSets;

class TpgwDataSetItem : public TPersistent {
 public:
  explicit TpgwDataSetItem(TpgwReportDataSets* collection = nullptr) : FCollection(collection) {}
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TComponent* DataSet() const { return FDataSet; }
  // Also sets DataSetName to the data set's user name (empty for none).
  void SetDataSet(TComponent* v);
  WideString DataSetName() const;
  // Looks the data set up by name as the report's FindDataSet does.
  void SetDataSetName(const WideString& v);

 private:
  friend class TpgwReportDataSets;
  TpgwReportDataSets* FCollection;
  TComponent* FDataSet = nullptr;
  WideString FDataSetName;
};

// The data sets of a report; the list refers to them and forgets one when it is destroyed.
class TpgwReportDataSets {
 public:
  explicit TpgwReportDataSets(TpgwReport* report) : FReport(report) {}
  ~TpgwReportDataSets();
  TpgwReportDataSets(const TpgwReportDataSets&) = delete;
  TpgwReportDataSets& operator=(const TpgwReportDataSets&) = delete;

  TpgwReport* Report() const { return FReport; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwDataSetItem& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TpgwDataSetItem& Add();
  void Add(TComponent* dataSet);
  void Delete(int index);
  void Clear();
  // The item of that data set, null when absent.
  TpgwDataSetItem* Find(const TComponent* dataSet) const;
  TpgwDataSetItem* Find(std::u16string_view name) const;
  void Assign(const TpgwReportDataSets& source);
  // A listed data set is being destroyed.
  void Forget(const TComponent* dataSet);

 private:
  friend class TpgwDataSetItem;
  void Watch(TComponent* dataSet);
  TpgwReport* FReport;
  std::vector<std::unique_ptr<TpgwDataSetItem>> FItems;
};

// --- styles -----------------------------------------------------------------------------------------------

class TpgwStyles;

class TpgwStyleItem : public TPersistent {
 public:
  explicit TpgwStyleItem(TpgwStyles* collection = nullptr);
  ~TpgwStyleItem() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  const WideString& Name() const { return FName; }
  // Raises "Duplicate name" when another style of the collection has that name.
  void SetName(const WideString& v);
  TpgwFont& Font() { return FFont; }
  const TpgwFont& Font() const { return FFont; }
  void SetFont(const TpgwFont& v) { FFont.Assign(v); }
  // The brush fill's BackColor or the gradient's middle colour; no colour for other fills.
  TColor Color() const;
  // Changes only a brush fill's BackColor.
  void SetColor(TColor v);
  TpgwFrame& Frame() { return *FFrame; }
  const TpgwFrame& Frame() const { return *FFrame; }
  void SetFrame(const TpgwFrame& v);
  TpgwFillType FillType() const;
  // Another kind replaces the fill by a new one of that kind.
  void SetFillType(TpgwFillType v);
  TpgwBaseFill& Fill() { return *FFill; }
  const TpgwBaseFill& Fill() const { return *FFill; }
  // Switches to the kind of `v`, then copies it.
  void SetFill(const TpgwBaseFill& v);
  bool ApplyFont() const { return FApplyFont; }
  void SetApplyFont(bool v) { FApplyFont = v; }
  bool ApplyFill() const { return FApplyFill; }
  void SetApplyFill(bool v) { FApplyFill = v; }
  bool ApplyFrame() const { return FApplyFrame; }
  void SetApplyFrame(bool v) { FApplyFrame = v; }
  bool IsInherited() const { return FInherited; }
  void SetIsInherited(bool v) { FInherited = v; }
  void CreateUniqueName();

 private:
  friend class TpgwStyles;
  TpgwStyles* FCollection;
  WideString FName;
  TpgwFont FFont;
  std::unique_ptr<TpgwFrame> FFrame;
  std::unique_ptr<TpgwBaseFill> FFill;
  bool FApplyFont = true;
  bool FApplyFill = true;
  bool FApplyFrame = true;
  bool FInherited = false;
};

class TpgwStyles {
 public:
  explicit TpgwStyles(TpgwReport* report) : FReport(report) {}
  TpgwStyles(const TpgwStyles&) = delete;
  TpgwStyles& operator=(const TpgwStyles&) = delete;

  TpgwReport* Report() const { return FReport; }
  const WideString& Name() const { return FName; }
  void SetName(const WideString& v) { FName = v; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwStyleItem& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TpgwStyleItem& Add();
  void Delete(int index);
  void Clear();
  // Case-insensitive by the locale's comparison; null when absent.
  TpgwStyleItem* Find(std::u16string_view name) const;
  void GetList(TStringList& list) const;
  // Copies the styles of `source` and applies them to the report.
  void Assign(const TpgwStyles& source);
  // Re-applies each text object's style, or clears a style name that is not in the list.
  void Apply();
  void SetInherited(bool v);

  // Style sheet files: an indented XML document with the root element "style" (attribute Name)
  // and one "item" element per style. Loading replaces the styles and applies them.
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const WideString& fileName) const;
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const WideString& fileName);

 private:
  TpgwReport* FReport;
  WideString FName;
  std::vector<std::unique_ptr<TpgwStyleItem>> FItems;
};

// --- expression evaluation -------------------------------------------------------------------------

// What the expression evaluator keeps per report (the report script, the expression cache). The
// evaluator makes it on first use; the report owns it and releases it after its tree.
class TpgwReportScope {
 public:
  virtual ~TpgwReportScope() = default;
};

// --- the report root ---------------------------------------------------------------------------------

class TpgwReport : public TpgwComponent {
 public:
  // A report without services loads, saves and edits its tree, but cannot prepare or export.
  explicit TpgwReport(TComponent* owner = nullptr);
  explicit TpgwReport(const TpgwReportServices& services, TComponent* owner = nullptr);
  ~TpgwReport() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  TpgwReport* AsReport() override { return this; }

  void Clear() override;
  // Returns whether the file exists; a missing file raises only when `raiseIfMissing` is set.
  bool LoadFromFile(const WideString& fileName, bool raiseIfMissing = false);
  void LoadFromStream(TStream& stream) override;
  void SaveToFile(const WideString& fileName, bool serializeDefaults = false);
  void SaveToStream(TStream& stream, bool saveChildren = true, bool serializeDefaults = false) override;
  // The nested collection elements of a template: Datasets, Variables, Styles.
  void WriteNestedProperties(TpgwXMLItem& item, TpgwXMLSerializer& serializer) override;
  bool ReadNestedProperty(TpgwXMLItem& item, TpgwXMLSerializer& serializer) override;
  const TpgwReportServices& Services() const { return FServices; }
  // The engine while it runs this report; null otherwise.
  IpgwRunningEngine* RunningEngine() const { return FRunningEngine; }
  void SetRunningEngine(IpgwRunningEngine* v) { FRunningEngine = v; }
  // The value of an expression, through the script service; without one, an error line and Null.
  Variant Calc(const WideString& expr);
  // True when pages were prepared without errors.
  bool PrepareReport(bool clearLastReport = true);
  // Hands the prepared pages to an export filter; its result.
  bool Export(TComponent& filter);
  // The prepared-page store, made on first use; null without a prepared-page service.
  TpgwCustomPreviewPages* PreviewPages();
  TpgwComponent* FindObject(std::u16string_view name) override;

  TComponent* GetDataset(std::u16string_view alias) const;
  void GetDatasetAndField(std::u16string_view complexName, TComponent*& dataSet, WideString& fieldName) const;
  WideString GetAlias(const TComponent* dataSet) const;
  void GetDataSetList(TStringList& list, bool onlyDB = false) const;
  void GetActiveDataSetList(TStringList& list) const;
  bool IsReportActionRunning() const { return FPreparing || FEngineRunning || FScriptRunning; }

  // Errors are collected here and reported at the end of a load or a preparation.
  TStringList& Errors() { return FErrors; }
  // The joined error text, reported by EngineOptions.NewSilentMode.
  void ReportErrors();

  // --- properties -------------------------------------------------------------------------------
  TpgwEngineOptions& EngineOptions() { return FEngineOptions; }
  void SetEngineOptions(const TpgwEngineOptions& v) { FEngineOptions.Assign(v); }
  TpgwPreviewOptions& PreviewOptions() { return FPreviewOptions; }
  void SetPreviewOptions(const TpgwPreviewOptions& v) { FPreviewOptions.Assign(v); }
  TpgwPrintOptions& PrintOptions() { return FPrintOptions; }
  void SetPrintOptions(const TpgwPrintOptions& v) { FPrintOptions.Assign(v); }
  TpgwReportOptions& ReportOptions() { return FReportOptions; }
  void SetReportOptions(const TpgwReportOptions& v) { FReportOptions.Assign(v); }
  TpgwReportDataSets& DataSets() { return FDataSets; }
  TpgwReportDataSets& EnabledDataSets() { return FEnabledDataSets; }
  TpgwVariables& Variables() { return FVariables; }
  TpgwStyles& Styles() { return FStyles; }
  // Null empties the styles; another collection is copied and applied.
  void SetStyles(const TpgwStyles* v);
  TStringList& SysVariables() { return FSysVariables; }
  TStringList& ScriptText() { return FScriptText; }
  TStringList& DrillState() { return FDrillState; }
  const WideString& ScriptLanguage() const { return FScriptLanguage; }
  void SetScriptLanguage(const WideString& v) { FScriptLanguage = v; }
  const WideString& CurObject() const { return FCurObject; }
  void SetCurObject(const WideString& v) { FCurObject = v; }
  TComponent* DataSet() const { return FDataSet; }
  void SetDataSet(TComponent* v);
  const WideString& DataSetName() const { return FDataSetName; }
  void SetDataSetName(const WideString& v) { FDataSetName = v; }
  bool DotMatrixReport() const { return FDotMatrixReport; }
  void SetDotMatrixReport(bool v) { FDotMatrixReport = v; }
  const WideString& FileName() const { return FFileName; }
  void SetFileName(const WideString& v) { FFileName = v; }
  const WideString& IniFile() const { return FIniFile; }
  void SetIniFile(const WideString& v) { FIniFile = v; }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  bool OldStyleProgress() const { return FOldStyleProgress; }
  void SetOldStyleProgress(bool v) { FOldStyleProgress = v; }
  const WideString& ParentReport() const { return FParentReport; }
  void SetParentReport(const WideString& v);
  TpgwReport* ParentReportObject() const { return FParentReportObject.get(); }
  bool Reloading() const { return FReloading; }
  bool ShowProgress() const { return FShowProgress; }
  void SetShowProgress(bool v) { FShowProgress = v; }
  bool StoreInDFM() const { return FStoreInDFM; }
  void SetStoreInDFM(bool v) { FStoreInDFM = v; }
  bool Terminated() const { return FTerminated; }
  void SetTerminated(bool v) { FTerminated = v; }
  WideString Version() const { return u"2022.2.7"; }
  void SetVersion(const WideString&) {}  // a template's version is read and discarded
  const WideString& OnStartReport() const { return FOnStartReport; }
  void SetOnStartReport(const WideString& v) { FOnStartReport = v; }
  const WideString& OnStopReport() const { return FOnStopReport; }
  void SetOnStopReport(const WideString& v) { FOnStopReport = v; }
  const WideString& OnRunDialogs() const { return FOnRunDialogs; }
  void SetOnRunDialogs(const WideString& v) { FOnRunDialogs = v; }
  const WideString& OnReportPrint() const { return FOnReportPrint; }
  void SetOnReportPrint(const WideString& v) { FOnReportPrint = v; }
  bool ScriptObjectsAdded() const { return FScriptObjectsAdded; }
  void SetScriptObjectsAdded(bool v) { FScriptObjectsAdded = v; }
  TpgwReportScope* ScriptScope() const { return FScriptScope.get(); }
  void SetScriptScope(std::unique_ptr<TpgwReportScope> v) { FScriptScope = std::move(v); }
  bool Preparing() const { return FPreparing; }
  // Commands queued while a report action runs.
  size_t DelayedCommandCount() const { return FDelayedCommands.size(); }

  // --- host callbacks (never stored) --------------------------------------------------------------
  std::function<void(TpgwReport&)> OnBeginDoc;
  std::function<void(TpgwReport&)> OnEndDoc;
  // Asks the user for the password of a protected template; without it the check fails.
  std::function<bool(TpgwReport&, const WideString& password)> OnCheckPassword;
  // The content of a template's "PgwCustomData" element: read, and written when saving.
  std::function<void(TpgwXMLItem& item)> OnGetCustomData;
  std::function<void(TpgwXMLItem& item)> OnSaveCustomData;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  static void CopyInheritedTree(TpgwComponent& source, TpgwComponent& dest);
  void EnsureDataPage();
  void RebuildDataSets();
  void RunDelayedCommands();
  bool CheckPassword();

  WideString FCurObject;
  TComponent* FDataSet = nullptr;
  WideString FDataSetName;
  TpgwReportDataSets FDataSets;
  bool FDotMatrixReport = false;
  TStringList FDrillState;
  TpgwReportDataSets FEnabledDataSets;
  TpgwEngineOptions FEngineOptions;
  TStringList FErrors;
  WideString FFileName;
  WideString FIniFile;
  bool FModified = false;
  bool FOldStyleProgress = false;
  WideString FParentReport;
  std::unique_ptr<TpgwReport> FParentReportObject;
  TpgwPreviewOptions FPreviewOptions;
  TpgwPrintOptions FPrintOptions;
  bool FReloading = false;
  TpgwReportOptions FReportOptions;
  WideString FScriptLanguage;
  TStringList FScriptText;
  bool FShowProgress = true;
  bool FStoreInDFM = true;
  TpgwStyles FStyles;
  TStringList FSysVariables;
  bool FTerminated = false;
  TpgwVariables FVariables;
  WideString FOnStartReport, FOnStopReport, FOnRunDialogs, FOnReportPrint;
  bool FScriptObjectsAdded = false;
  bool FPreparing = false;
  bool FEngineRunning = false;
  bool FScriptRunning = false;
  std::deque<std::function<void()>> FDelayedCommands;
  std::unique_ptr<TpgwReportScope> FScriptScope;
  TpgwReportServices FServices;
  IpgwRunningEngine* FRunningEngine = nullptr;
  TpgwPreviewPagesPtr FPreviewPages;
};

}  // namespace pagewright
