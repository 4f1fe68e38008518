// The export-filter side of the export protocol: the filter base with its settings, the
// filter registry, the page selection, and the output transports through which a filter gets
// the stream it writes (the plain file transport by default).
//
// The walk that drives a filter (start, pages, objects, finish) belongs to the prepared-page
// store; a report reaches it through its ExportRunner hook.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/format.h"
#include "platform/properties.h"
#include "platform/streams.h"
#include "platform/string_list.h"
#include "platform/types.h"
#include "prepared/export_target.h"

namespace pagewright {

class TpgwReport;
class TpgwComponent;
class TpgwReportPage;
class TpgwCustomExportFilter;
class Exception;

enum TpgwShowDialogOption : uint8_t { doShowExportSettings, doShowSaveDialog };
using TpgwShowDialogOptions = Set<TpgwShowDialogOption>;
const TEnumInfo& TpgwShowDialogOptionInfo();

enum TpgwFilterAccess : uint8_t { faRead, faWrite };
const TEnumInfo& TpgwFilterAccessInfo();

enum TpgwFilterVisibleState : uint8_t {
  fvDesigner,
  fvPreview,
  fvExport,
  fvDesignerFileFilter,
  fvPreviewFileFilter,
  fvExportFileFilter,
  fvOther
};
using TpgwFilterVisibility = Set<TpgwFilterVisibleState>;
const TEnumInfo& TpgwFilterVisibleStateInfo();

enum TpgwTransportStream : uint8_t { tsIORead, tsIOWrite };
using TpgwTransportStreams = Set<TpgwTransportStream>;

using TpgwExportNotifyEvent = std::function<void(TpgwCustomExportFilter& sender)>;

// --- transports ---------------------------------------------------------------------------------------

// One folder or file under a transport's base folder. A file node holds the open stream.
class TpgwNode {
 public:
  explicit TpgwNode(TpgwNode* parent = nullptr, WideString name = {})
      : FParent(parent), FName(std::move(name)) {}
  TpgwNode(const TpgwNode&) = delete;
  TpgwNode& operator=(const TpgwNode&) = delete;

  TpgwNode* Parent() const { return FParent; }
  const WideString& Name() const { return FName; }
  const WideString& OriginalName() const { return FOriginalName; }
  void SetOriginalName(const WideString& v) { FOriginalName = v; }
  TpgwFilterAccess FilterAccess() const { return FFilterAccess; }
  void SetFilterAccess(TpgwFilterAccess v) { FFilterAccess = v; }
  TStream* ObjectData() const { return FObjectData.get(); }
  void SetObjectData(std::unique_ptr<TStream> v);
  // Releases the stream without closing it (the transport does not own its streams).
  TStream* ReleaseObjectData() { return FObjectData.release(); }
  int Count() const { return static_cast<int>(FChildren.size()); }
  TpgwNode& Items(int index) const { return *FChildren.at(static_cast<size_t>(index)); }
  // Case-insensitive; null when absent.
  TpgwNode* Find(std::u16string_view name) const;
  TpgwNode& Add(const WideString& name);
  void Remove(TpgwNode& child);
  void Clear() { FChildren.clear(); }
  // The node and every node below it, depth first.
  void ForEach(const std::function<void(TpgwNode&)>& visit);
  // Number of file nodes below this one.
  int FilesCount() const;

 private:
  TpgwNode* FParent;
  WideString FName;
  WideString FOriginalName;  // full requested name; empty for folder nodes
  TpgwFilterAccess FFilterAccess = faWrite;
  std::unique_ptr<TStream> FObjectData;
  std::vector<std::unique_ptr<TpgwNode>> FChildren;
};

// Hands out output streams by file name and keeps them in a tree of folder and file nodes under
// the base folder.
class TpgwCustomIOTransport : public TComponent {
 public:
  explicit TpgwCustomIOTransport(TComponent* owner = nullptr);
  ~TpgwCustomIOTransport() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  virtual WideString FilterString() const { return FFilterString; }
  void SetFilterString(const WideString& v) { FFilterString = v; }
  virtual TpgwFilterVisibility Visibility() const { return FVisibility; }
  virtual void SetVisibility(TpgwFilterVisibility v) { FVisibility = v; }
  // Called for every folder node the transport adds / before one is removed.
  virtual bool CreateContainerNode(TpgwNode& node);
  virtual bool DeleteContainerNode(TpgwNode& node);
  // A new stream for the full requested name; the base makes none.
  virtual std::unique_ptr<TStream> DoCreateStream(const WideString& fullFilePath, const WideString& fileName);
  virtual void CreateTempContainer() {}
  virtual void FreeTempContainer() {}
  // The stream held under that name, opened now when needed. An empty name means FileName.
  // Raises "Unable to parse path : "%s" to Nodes" for a name that names no file.
  virtual TStream* GetStream(const WideString& fileName = {});
  // Closes the stream and forgets it. Output the transport writes is complete from here on.
  virtual void FreeStream(TStream* stream, const WideString& fileName = {});
  // Closes the stream after a failed export and forgets it; a transport that can throws the output
  // away. The base closes it as FreeStream does.
  virtual void DiscardStream(TStream* stream, const WideString& fileName = {});
  // Lets the transport take the finished stream over; the base declines.
  virtual bool DoFilterProcessStream(TStream& stream, TPersistent* processingObject);
  virtual bool AllInOneContainer() const { return false; }
  virtual bool OpenFilter() { return true; }
  virtual void CloseFilter();
  virtual void AssignFilter(const TpgwCustomIOTransport& source);
  virtual void AssignSharedProperties(const TpgwCustomIOTransport&) {}
  virtual WideString GetDescription() const { return {}; }

  // Takes the output settings of the filter and opens for writing.
  void InitFromExport(const TpgwCustomExportFilter& filter);
  // An unregistered transport of the same class with this one's output settings; it remembers
  // this transport as its original.
  std::unique_ptr<TpgwCustomIOTransport> CreateFilterClone(TpgwFilterVisibleState createdFrom);
  TpgwCustomIOTransport* OriginalCopy() const { return FOriginalCopy; }
  void CloseAllStreams();
  TpgwNode& RootNode() { return FDirTree; }
  TpgwNode* CurrentContainer() const { return FCurNode; }

  TpgwReport* Report() const { return FReport; }
  void SetReport(TpgwReport* v);
  bool ShowDialog() const { return FShowDialog; }
  void SetShowDialog(bool v) { FShowDialog = v; }
  bool OverwritePrompt() const { return FOverwritePrompt; }
  void SetOverwritePrompt(bool v) { FOverwritePrompt = v; }
  const WideString& DefaultPath() const { return FDefaultPath; }
  void SetDefaultPath(const WideString& v) { FDefaultPath = v; }
  const WideString& BasePath() const { return FBasePath; }
  void SetBasePath(const WideString& v) { FBasePath = v; }
  const WideString& FileName() const { return FFileName; }
  void SetFileName(const WideString& v) { FFileName = v; }
  const WideString& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const WideString& v) { FDefaultExt = v; }
  const WideString& ExtDescription() const { return FExtDescription; }
  void SetExtDescription(const WideString& v) { FExtDescription = v; }
  TpgwFilterAccess FilterAccess() const { return FFilterAccess; }
  void SetFilterAccess(TpgwFilterAccess v) { FFilterAccess = v; }
  TpgwFilterVisibleState CreatedFrom() const { return FCreatedFrom; }
  void SetCreatedFrom(TpgwFilterVisibleState v) { FCreatedFrom = v; }
  bool FreeStreams() const { return FFreeStream; }
  void SetFreeStreams(bool v) { FFreeStream = v; }
  TpgwTransportStreams SupportedStreams() const { return FSupportedStreams; }

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  // The file node a requested name resolves to; null when it names no file.
  TpgwNode* ResolveFileNode(const WideString& fileName);

  TpgwReport* FReport = nullptr;
  bool FShowDialog = false;
  bool FOverwritePrompt = false;
  WideString FDefaultPath;
  WideString FBasePath;
  WideString FFileName;
  WideString FDefaultExt;
  WideString FExtDescription;
  WideString FFilterString;
  TpgwFilterAccess FFilterAccess = faRead;
  TpgwNode* FCurNode = nullptr;
  TpgwFilterVisibility FVisibility = {fvDesigner, fvPreview, fvExport};
  TpgwFilterVisibleState FCreatedFrom = fvOther;
  bool FFreeStream = true;
  TpgwNode FDirTree;
  TpgwTransportStreams FSupportedStreams = {tsIORead, tsIOWrite};
  TpgwCustomIOTransport* FOriginalCopy = nullptr;
};

// Writes real files under the base folder, creating one missing folder level per folder node. Each
// output goes to a temporary file beside its target and replaces the target only when FreeStream
// closes it outside of error handling: a failed or abandoned export leaves the previous file intact.
class TpgwIOTransportFile : public TpgwCustomIOTransport {
 public:
  explicit TpgwIOTransportFile(TComponent* owner = nullptr);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TpgwFilterVisibility Visibility() const override { return {}; }  // never offered in file lists
  void SetVisibility(TpgwFilterVisibility) override {}
  bool CreateContainerNode(TpgwNode& node) override;
  std::unique_ptr<TStream> DoCreateStream(const WideString& fullFilePath,
                                          const WideString& fileName) override;
  // Commits a written file (raising EWriteError "<file>: <reason>" when it cannot); while an
  // exception is being handled or unwound it discards instead.
  void FreeStream(TStream* stream, const WideString& fileName = {}) override;
  void DiscardStream(TStream* stream, const WideString& fileName = {}) override;
  bool OpenFilter() override { return true; }
  WideString GetDescription() const override;
};

// --- filters ----------------------------------------------------------------------------------------------

class TpgwCustomExportFilter : public TComponent, public IpgwExportTarget {
 public:
  // Registers the filter in the filter registry.
  explicit TpgwCustomExportFilter(TComponent* owner = nullptr);
  ~TpgwCustomExportFilter() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // A filter that stays out of the registry (and has no owner).
  template <class F>
  static std::unique_ptr<F> CreateNoRegister() {
    NoRegisterNext() = true;
    return std::make_unique<F>(nullptr);
  }

  // --- protocol -----------------------------------------------------------------------------------------
  virtual void Finish() {}
  virtual void AfterFinish() {}
  // Completes the file name (see the implementation).
  virtual void BeforeStart();
  virtual bool Start() { return true; }
  virtual WideString GetDescription() const { return {}; }
  // 1 is OK.
  virtual int ShowModal() { return 1; }
  virtual TpgwCustomIOTransport* CreateDefaultIOTransport();
  virtual void ExportObject(TpgwComponent& obj) = 0;
  virtual void FinishPage(TpgwReportPage&, int /*index*/) {}
  virtual void StartPage(TpgwReportPage&, int /*index*/) {}
  virtual void BeginClip(TpgwComponent&) {}
  virtual void EndClip() {}
  virtual bool IsProcessInternal() const { return true; }

  bool DoStart();
  void DoFinish();

  // --- IpgwExportTarget: the prepared-page store's export walk drives the filter --------------------
  bool OpenExport(TpgwReport& report, WideString& failure) override;
  void CloseExport() override;
  std::vector<int> PagesToExport(int pageCount) const override;
  bool StartDocument() override;
  void FinishDocument() override { DoFinish(); }
  void StartExportPage(TpgwReportPage& page, int index) override { StartPage(page, index); }
  void ExportPageObject(TpgwComponent& obj) override { ExportObject(obj); }
  void FinishExportPage(TpgwReportPage& page, int index) override { FinishPage(page, index); }
  bool ExportsDataOnly() const override { return FDataOnly; }
  bool SuppressesPageHeadersFooters() const override { return FSuppressPageHeadersFooters; }
  bool ExportTerminated() const override { return FTerminated; }
  void ClearExportTerminated() override { FTerminated = false; }
  bool WriteDocument(const WideString& fileName, const WideString& fallbackName,
                     const std::function<void(TStream&)>& write) override;

  // --- properties -------------------------------------------------------------------------------------
  bool CurPage() const { return FCurPage; }
  void SetCurPage(bool v) { FCurPage = v; }
  bool ExportNotPrintable() const { return FExportNotPrintable; }
  void SetExportNotPrintable(bool v) { FExportNotPrintable = v; }
  const WideString& FileName() const { return FName; }
  // Also points an attached transport at the new name.
  void SetFileName(const WideString& v);
  bool NoRegister() const { return FNoRegister; }
  const WideString& PageNumbers() const { return FPageNumbers; }
  void SetPageNumbers(const WideString& v) { FPageNumbers = v; }
  TpgwReport* Report() const { return FReport; }
  void SetReport(TpgwReport* v);
  TpgwShowDialogOptions ShowDialogOptions() const { return FShowDialogOptions; }
  void SetShowDialogOptions(TpgwShowDialogOptions v) { FShowDialogOptions = v; }
  // True only with both dialog options; writing sets both or none.
  bool ShowDialog() const;
  void SetShowDialog(bool v);
  TStream* Stream() const { return FStream; }
  void SetStream(TStream* v) { FStream = v; }
  bool UseFileCache() const { return FUseFileCache; }
  void SetUseFileCache(bool v) { FUseFileCache = v; }
  const WideString& DefaultPath() const { return FDefaultPath; }
  void SetDefaultPath(const WideString& v) { FDefaultPath = v; }
  bool SlaveExport() const { return FSlaveExport; }
  void SetSlaveExport(bool v) { FSlaveExport = v; }
  bool ShowProgress() const { return FShowProgress; }
  void SetShowProgress(bool v) { FShowProgress = v; }
  const WideString& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const WideString& v) { FDefaultExt = v; }
  const WideString& FilterDesc() const { return FFilterDesc; }
  void SetFilterDesc(const WideString& v) { FFilterDesc = v; }
  bool SuppressPageHeadersFooters() const { return FSuppressPageHeadersFooters; }
  void SetSuppressPageHeadersFooters(bool v) { FSuppressPageHeadersFooters = v; }
  const WideString& ExportTitle() const { return FTitle; }
  void SetExportTitle(const WideString& v) { FTitle = v; }
  bool OverwritePrompt() const { return FOverwritePrompt; }
  void SetOverwritePrompt(bool v) { FOverwritePrompt = v; }
  // Created on first use; null until then.
  TStringList* Files() const { return FFiles.get(); }
  TStringList& EnsureFiles();
  TDateTime CreationTime() const { return FCreationTime; }
  void SetCreationTime(TDateTime v) { FCreationTime = v; }
  bool DataOnly() const { return FDataOnly; }
  void SetDataOnly(bool v) { FDataOnly = v; }
  TpgwCustomIOTransport* IOTransport() const { return FIOTransport; }
  void SetIOTransport(TpgwCustomIOTransport* v);
  bool OpenAfterExport() const { return FOpenAfterExport; }
  void SetOpenAfterExport(bool v) { FOpenAfterExport = v; }
  // Created by CreateDefaultIOTransport on first read.
  TpgwCustomIOTransport* DefaultIOTransport();
  // Releases the transport held before and takes `v` (which may be null).
  void SetDefaultIOTransport(std::unique_ptr<TpgwCustomIOTransport> v);
  bool Terminated() const { return FTerminated; }
  void SetTerminated(bool v) { FTerminated = v; }

  // Host callbacks, never stored.
  TpgwExportNotifyEvent OnBeforeExport;
  TpgwExportNotifyEvent OnBeginExport;

 protected:
  void Notification(TComponent* c, TOperation op) override;
  // An output that cannot be written, reported as the report's silent mode says: collected in its
  // error list, printed, or raised again. Call it only from the handler that caught `e`.
  void ReportOutputError(const Exception& e);

 private:
  static bool& NoRegisterNext();

  bool FCurPage = false;
  bool FExportNotPrintable = false;
  WideString FName;
  bool FNoRegister = false;
  WideString FPageNumbers;
  TpgwReport* FReport = nullptr;
  TpgwShowDialogOptions FShowDialogOptions = {doShowExportSettings, doShowSaveDialog};
  TStream* FStream = nullptr;
  bool FUseFileCache = true;
  WideString FDefaultPath;
  bool FSlaveExport = false;
  bool FShowProgress = true;
  WideString FDefaultExt;
  WideString FFilterDesc;
  bool FSuppressPageHeadersFooters = false;
  WideString FTitle;
  bool FOverwritePrompt = false;
  std::unique_ptr<TStringList> FFiles;
  TDateTime FCreationTime = 0;
  bool FDataOnly = false;
  TpgwCustomIOTransport* FIOTransport = nullptr;
  bool FOpenAfterExport = false;
  std::unique_ptr<TpgwCustomIOTransport> FDefaultIOTransport;
  bool FTerminated = false;
  // The transport an export runs through, and whether it is the default one made for it.
  TpgwCustomIOTransport* FExportTransport = nullptr;
  bool FExportUsesDefault = false;
};

// Base of the filters that have a settings dialog.
class TpgwBaseDialogExportFilter : public TpgwCustomExportFilter {
 public:
  using TpgwCustomExportFilter::TpgwCustomExportFilter;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // A settings dialog shown around an export; the user interface installs one per filter class.
  // Returns the modal result and writes the settings back on 1.
  using TDialog = std::function<int(TpgwBaseDialogExportFilter& filter)>;
  virtual TDialog ExportDialogClass() const { return {}; }
  // With a caller's stream nothing is shown; without a dialog there is nothing to cancel.
  int ShowModal() override;
  // Opens the produced file with its associated program when OpenAfterExport is set.
  void AfterFinish() override;
  // How the system's "open" action is asked to show a file (a host callback, never stored);
  // unset, nothing is opened.
  std::function<void(const std::string& fileName)> OnOpenFile;
};

// The process-wide list of filters created with registration (for export menus).
class TpgwExportFilterCollection {
 public:
  void Register(TpgwCustomExportFilter* filter);
  void Unregister(TpgwCustomExportFilter* filter);
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwCustomExportFilter* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
  int IndexOf(const TpgwCustomExportFilter* filter) const;

 private:
  std::vector<TpgwCustomExportFilter*> FItems;
};
TpgwExportFilterCollection& ExportFilters();


// The 1-based page numbers a selection names among `pageCount` pages, in selection order: every
// character other than a digit, "," and "-" is dropped, a trailing "-" runs to the last page, and
// items are numbers or ranges "a-b". An empty selection gives every page. Numbers outside 1..
// pageCount select nothing.
std::vector<int> SelectedPages(std::u16string_view pageNumbers, int pageCount);

}  // namespace pagewright
