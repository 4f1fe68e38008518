// The report root's option objects: engine, preview, print and report options, each a
// published sub-object of the report and stored in templates as dotted attributes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/format.h"
#include "platform/properties.h"
#include "platform/string_list.h"
#include "platform/variant.h"

namespace pagewright {

class TpgwReport;

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
  // Whether PrepareReport compiles the report's ScriptText, runs its main block and calls the
  // event procedures that objects name. Off by default: stored templates prepare as they always
  // did, with their script attached but not run.
  bool RunScripts() const { return FRunScripts; }
  void SetRunScripts(bool v) { FRunScripts = v; }
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
  bool FRunScripts = false;
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

}  // namespace pagewright
