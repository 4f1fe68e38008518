#include "report/report_options.h"

#include <iostream>
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"
#include "report/report.h"

namespace pagewright {

// ---- engine options ----------------------------------------------------------------------------

const TEnumInfo& TpgwSilentModeInfo() {
  static const TEnumInfo info("TpgwSilentMode", {"simMessageBoxes", "simSilent", "simReThrow"});
  return info;
}

const TClassInfo& TpgwEngineOptions::StaticClassInfo() {
  using T = TpgwEngineOptions;
  static const TClassInfo& info =
      Describe<T>("TpgwEngineOptions")
          .Parent<TPersistent>()
          .Boolean("ConvertNulls", &T::ConvertNulls, &T::SetConvertNulls)
          .Default(true)
          .Boolean("DoublePass", &T::DoublePass, &T::SetDoublePass)
          .Default(false)
          .Integer("MaxMemSize", &T::MaxMemSize, &T::SetMaxMemSize)
          .Default(10)
          .Boolean("PrintIfEmpty", &T::PrintIfEmpty, &T::SetPrintIfEmpty)
          .Default(true)
          .Boolean("SilentMode", &T::SilentMode, &T::SetSilentMode)
          .Default(false)
          .Enum("NewSilentMode", &T::NewSilentMode, &T::SetNewSilentMode, TpgwSilentModeInfo())
          .Default(simMessageBoxes)
          .String("TempDir", &T::TempDir, &T::SetTempDir)
          .Boolean("UseFileCache", &T::UseFileCache, &T::SetUseFileCache)
          .Default(false)
          .Boolean("IgnoreDevByZero", &T::IgnoreDevByZero, &T::SetIgnoreDevByZero)
          .Default(false)
          .Boolean("IgnoreExprError", &T::IgnoreExprError, &T::SetIgnoreExprError)
          .Default(false)
          .Boolean("RunScripts", &T::RunScripts, &T::SetRunScripts)
          .Default(false)
          .Build();
  return info;
}
const TClassInfo& TpgwEngineOptions::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwEngineOptions::Assign(const TPersistent& source) {
  auto* s = dynamic_cast<const TpgwEngineOptions*>(&source);
  if (!s) return TPersistent::Assign(source);
  FConvertNulls = s->FConvertNulls;
  FDoublePass = s->FDoublePass;
  FMaxMemSize = s->FMaxMemSize;
  FPrintIfEmpty = s->FPrintIfEmpty;
  FNewSilentMode = s->FNewSilentMode;
  FTempDir = s->FTempDir;
  FUseFileCache = s->FUseFileCache;
  FIgnoreDevByZero = s->FIgnoreDevByZero;
  FIgnoreExprError = s->FIgnoreExprError;
  FRunScripts = s->FRunScripts;
  FZeroPrecisionValue = s->FZeroPrecisionValue;
}

void TpgwEngineOptions::AssignThreadProps(const TpgwEngineOptions& s) {
  FNewSilentMode = s.FNewSilentMode;
  FUseFileCache = s.FUseFileCache;
  FDestroyForms = s.FDestroyForms;
  FEnableThreadSafe = s.FEnableThreadSafe;
  FUseGlobalDataSetList = s.FUseGlobalDataSetList;
}

void TpgwEngineOptions::Clear() {
  FConvertNulls = true;
  FIgnoreDevByZero = false;
  FIgnoreExprError = false;
  FDoublePass = false;
  FZeroPrecisionValue = 1e-17L;
}

// ---- preview options -------------------------------------------------------------------------------

namespace {
const TEnumInfo& PreviewButtonsInfo() {
  static const TEnumInfo info(
      "TpgwPreviewButton",
      {"pbPrint", "pbLoad", "pbSave", "pbExport", "pbZoom", "pbFind", "pbOutline", "pbPageSetup", "pbTools",
       "pbEdit", "pbNavigator", "pbExportQuick", "pbNoClose", "pbNoFullScreen", "pbNoEmail", "pbCopy",
       "pbPaste", "pbSelection", "pbWatermarks"});
  return info;
}
const TEnumInfo& ZoomModeInfo() {
  static const TEnumInfo info("TpgwZoomMode", {"zmDefault", "zmWholePage", "zmPageWidth", "zmManyPages"});
  return info;
}
const TEnumInfo& PrintModeInfo() {
  static const TEnumInfo info("TpgwPrintMode", {"pmDefault", "pmSplit", "pmJoin", "pmScale"});
  return info;
}
const TEnumInfo& PrintPagesInfo() {
  static const TEnumInfo info("TpgwPrintPages", {"ppAll", "ppOdd", "ppEven"});
  return info;
}
const TEnumInfo& DuplexInfo() {
  static const TEnumInfo info("TpgwDuplexMode", {"dmNone", "dmVertical", "dmHorizontal", "dmSimplex"});
  return info;
}
}  // namespace

const TClassInfo& TpgwPreviewOptions::StaticClassInfo() {
  using T = TpgwPreviewOptions;
  const TpgwPreviewButtons defButtons = T().Buttons();
  static const TClassInfo& info =
      Describe<T>("TpgwPreviewOptions")
          .Parent<TPersistent>()
          .Boolean("AllowEdit", &T::AllowEdit, &T::SetAllowEdit)
          .Default(true)
          .Boolean("AllowPreviewEdit", &T::AllowPreviewEdit, &T::SetAllowPreviewEdit)
          .Default(true)
          .SetOf("Buttons", &T::Buttons, &T::SetButtons, PreviewButtonsInfo())
          .Default(defButtons)
          .Boolean("DoubleBuffered", &T::DoubleBuffered, &T::SetDoubleBuffered)
          .Default(true)
          .Boolean("Maximized", &T::Maximized, &T::SetMaximized)
          .Default(true)
          .Boolean("MDIChild", &T::MDIChild, &T::SetMDIChild)
          .Default(false)
          .Boolean("Modal", &T::Modal, &T::SetModal)
          .Default(true)
          .Boolean("OutlineExpand", &T::OutlineExpand, &T::SetOutlineExpand)
          .Default(true)
          .Boolean("OutlineVisible", &T::OutlineVisible, &T::SetOutlineVisible)
          .Default(false)
          .Integer("OutlineWidth", &T::OutlineWidth, &T::SetOutlineWidth)
          .Default(120)
          .Integer("PagesInCache", &T::PagesInCache, &T::SetPagesInCache)
          .Default(50)
          .Boolean("ShowCaptions", &T::ShowCaptions, &T::SetShowCaptions)
          .Default(false)
          .Boolean("ThumbnailVisible", &T::ThumbnailVisible, &T::SetThumbnailVisible)
          .Default(false)
          .Float("Zoom", &T::Zoom, &T::SetZoom)
          .Default(1.0)
          .Enum("ZoomMode", &T::ZoomMode, &T::SetZoomMode, ZoomModeInfo())
          .Default(zmDefault)
          .Boolean("PictureCacheInFile", &T::PictureCacheInFile, &T::SetPictureCacheInFile)
          .Default(false)
          .Boolean("RTLPreview", &T::RTLPreview, &T::SetRTLPreview)
          .Default(false)
          .Build();
  return info;
}
const TClassInfo& TpgwPreviewOptions::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwPreviewOptions::Assign(const TPersistent& source) {
  auto* s = dynamic_cast<const TpgwPreviewOptions*>(&source);
  if (!s) return TPersistent::Assign(source);
  FAllowEdit = s->FAllowEdit;
  FAllowPreviewEdit = s->FAllowPreviewEdit;
  FButtons = s->FButtons;
  FDoubleBuffered = s->FDoubleBuffered;
  FMaximized = s->FMaximized;
  FMDIChild = s->FMDIChild;
  FModal = s->FModal;
  FOutlineExpand = s->FOutlineExpand;
  FOutlineVisible = s->FOutlineVisible;
  FOutlineWidth = s->FOutlineWidth;
  FPagesInCache = s->FPagesInCache;
  FShowCaptions = s->FShowCaptions;
  FThumbnailVisible = s->FThumbnailVisible;
  FZoom = s->FZoom;
  FZoomMode = s->FZoomMode;
  FPictureCacheInFile = s->FPictureCacheInFile;
  FRTLPreview = s->FRTLPreview;
}

void TpgwPreviewOptions::Clear() {
  FOutlineExpand = true;
  FOutlineVisible = false;
  FOutlineWidth = 120;
  FPagesInCache = 50;
  FThumbnailVisible = false;
}

// ---- print options ------------------------------------------------------------------------------------

TpgwPrintOptions::TpgwPrintOptions() {
  Clear();
}

const TClassInfo& TpgwPrintOptions::StaticClassInfo() {
  using T = TpgwPrintOptions;
  static const TClassInfo& info = Describe<T>("TpgwPrintOptions")
                                      .Parent<TPersistent>()
                                      .Integer("Copies", &T::Copies, &T::SetCopies)
                                      .Default(1)
                                      .Boolean("Collate", &T::Collate, &T::SetCollate)
                                      .Default(true)
                                      .String("PageNumbers", &T::PageNumbers, &T::SetPageNumbers)
                                      .String("Printer", &T::Printer, &T::SetPrinter)
                                      .Enum("PrintMode", &T::PrintMode, &T::SetPrintMode, PrintModeInfo())
                                      .Default(pmDefault)
                                      .Integer("PrintOnSheet", &T::PrintOnSheet, &T::SetPrintOnSheet)
                                      .Default(0)
                                      .Enum("PrintPages", &T::PrintPages, &T::SetPrintPages, PrintPagesInfo())
                                      .Default(ppAll)
                                      .Boolean("Reverse", &T::Reverse, &T::SetReverse)
                                      .Default(false)
                                      .Boolean("ShowDialog", &T::ShowDialog, &T::SetShowDialog)
                                      .Default(true)
                                      .Boolean("SwapPageSize", &T::SwapPageSize, &T::SetSwapPageSize)
                                      .Stored(false)
                                      .Integer("SplicingLine", &T::SplicingLine, &T::SetSplicingLine)
                                      .Default(3)
                                      .Enum("Duplex", &T::Duplex, &T::SetDuplex, DuplexInfo())
                                      .Default(dmNone)
                                      .String("PrnOutFileName", &T::PrnOutFileName, &T::SetPrnOutFileName)
                                      .Build();
  return info;
}
const TClassInfo& TpgwPrintOptions::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwPrintOptions::Assign(const TPersistent& source) {
  auto* s = dynamic_cast<const TpgwPrintOptions*>(&source);
  if (!s) return TPersistent::Assign(source);
  FCopies = s->FCopies;
  FCollate = s->FCollate;
  FPageNumbers = s->FPageNumbers;
  FPrinter = s->FPrinter;
  FPrintMode = s->FPrintMode;
  FPrintOnSheet = s->FPrintOnSheet;
  FPrintPages = s->FPrintPages;
  FReverse = s->FReverse;
  FShowDialog = s->FShowDialog;
  FSwapPageSize = s->FSwapPageSize;
  FSplicingLine = s->FSplicingLine;
  FDuplex = s->FDuplex;
  FPrnOutFileName = s->FPrnOutFileName;
}

void TpgwPrintOptions::Clear() {
  FCopies = 1;
  FCollate = true;
  FPageNumbers.clear();
  FPrinter = ResourceGet("Default");
  FPrintMode = pmDefault;
  FPrintOnSheet = 0;
  FPrintPages = ppAll;
  FReverse = false;
  FShowDialog = true;
  FSwapPageSize = false;
  FSplicingLine = 3;
  FDuplex = dmNone;
  FPrnOutFileName.clear();
}

// ---- report options --------------------------------------------------------------------------------------

TpgwReportOptions::TpgwReportOptions() {
  FCreateDate = Now();
  FLastChange = FCreateDate;
}

const TClassInfo& TpgwReportOptions::StaticClassInfo() {
  using T = TpgwReportOptions;
  static const TClassInfo& info =
      Describe<T>("TpgwReportOptions")
          .Parent<TPersistent>()
          .String("Author", &T::Author, &T::SetAuthor)
          .Boolean("Compressed", &T::Compressed, &T::SetCompressed)
          .Default(false)
          .String("ConnectionName", &T::ConnectionName, &T::SetConnectionName)
          .Float("CreateDate", &T::CreateDate, &T::SetCreateDate)
          .StringList("Description", static_cast<TStringList& (T::*)()>(&T::Description))
          .String("InitString", &T::InitString, &T::SetInitString)
          .Float("LastChange", &T::LastChange, &T::SetLastChange)
          .String("Name", &T::Name, &T::SetName)
          .String("Password", &T::Password, &T::SetPassword)
          .String("VersionBuild", &T::VersionBuild, &T::SetVersionBuild)
          .String("VersionMajor", &T::VersionMajor, &T::SetVersionMajor)
          .String("VersionMinor", &T::VersionMinor, &T::SetVersionMinor)
          .String("VersionRelease", &T::VersionRelease, &T::SetVersionRelease)
          .Build();
  return info;
}
const TClassInfo& TpgwReportOptions::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwReportOptions::Assign(const TPersistent& source) {
  auto* s = dynamic_cast<const TpgwReportOptions*>(&source);
  if (!s) return TPersistent::Assign(source);
  FAuthor = s->FAuthor;
  FCompressed = s->FCompressed;
  FConnectionName = s->FConnectionName;
  FCreateDate = s->FCreateDate;
  FLastChange = s->FLastChange;
  FDescription.Assign(s->FDescription);
  FInitString = s->FInitString;
  FName = s->FName;
  FPassword = s->FPassword;
  FPicture = s->FPicture;
  FVersionBuild = s->FVersionBuild;
  FVersionMajor = s->FVersionMajor;
  FVersionMinor = s->FVersionMinor;
  FVersionRelease = s->FVersionRelease;
  FPrevPassword = s->FPrevPassword;
  FHiddenPassword = s->FHiddenPassword;
  FInfo = s->FInfo;
}

void TpgwReportOptions::Clear() {
  FConnectionName.clear();
  FInitString.clear();
  FName.clear();
  FPassword.clear();
  FPrevPassword.clear();
  if (!FInfo) {
    FAuthor.clear();
    FCompressed = false;
    FCreateDate = Now();
    FLastChange = FCreateDate;
    FDescription.Clear();
    FPicture.clear();
    FVersionBuild.clear();
    FVersionMajor.clear();
    FVersionMinor.clear();
    FVersionRelease.clear();
  }
}

}  // namespace pagewright
