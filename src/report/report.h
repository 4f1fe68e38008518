// The report root: top node of a report tree, with its option objects, data-set lists,
// variables, styles and error list; loading, preparing and exporting.
//
// Templates are read and written by the object serializer (storage/serializer.h). The band
// engine, the script, the data sets and the prepared-page store are subsystems above this one;
// the report reaches them through the services it is made with (report/services.h).
#pragma once

#include <atomic>
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
#include "report/report_options.h"
#include "report/services.h"
#include "report/styles.h"
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
  // Files a template names (its parent report, a picture's file link) may be restricted to the
  // template's own folder and the folders allowed here: a service that renders templates it did
  // not write turns it on (the commands do; --allow-path adds a folder). Off by default.
  bool RestrictFilePaths() const { return FRestrictFilePaths; }
  void SetRestrictFilePaths(bool v) { FRestrictFilePaths = v; }
  const std::vector<std::string>& AllowedFolders() const { return FAllowedFolders; }
  void AllowFolder(const std::string& folder) { FAllowedFolders.push_back(folder); }
  // Raises EFOpenError naming the file when the restriction is on and `path` (resolved) lies
  // outside the template's folder and the allowed folders.
  void CheckNamedFile(const WideString& path) const;
  // The folder of the template's file (the working folder for a report without one).
  std::string TemplateFolder() const;
  const WideString& ParentReport() const { return FParentReport; }
  void SetParentReport(const WideString& v);
  TpgwReport* ParentReportObject() const { return FParentReportObject.get(); }
  bool Reloading() const { return FReloading; }
  bool ShowProgress() const { return FShowProgress; }
  void SetShowProgress(bool v) { FShowProgress = v; }
  bool StoreInDFM() const { return FStoreInDFM; }
  void SetStoreInDFM(bool v) { FStoreInDFM = v; }
  // May be set from another thread (a watchdog stopping a run that takes too long).
  bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
  void SetTerminated(bool v) { FTerminated.store(v, std::memory_order_relaxed); }
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
  bool FRestrictFilePaths = false;
  std::vector<std::string> FAllowedFolders;
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
  std::atomic<bool> FTerminated{false};
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
