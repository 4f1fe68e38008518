#include "report/report.h"

#include <sys/stat.h>

#include <iostream>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/scope_guard.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/view.h"
#include "storage/serializer.h"
#include "storage/xml_document.h"
#include "support/resources.h"

namespace pagewright {

WideString DataSetUserName(const TComponent* dataSet) {
  if (!dataSet) return WideString();
  if (const TPropInfo* p = dataSet->ClassInfo().FindProperty("UserName"); p && p->Kind() == pkString)
    return p->Get(*dataSet).Str;
  return dataSet->Name();
}

// ---- data-set lists
// ------------------------------------------------------------------------------------------

const TClassInfo& TpgwDataSetItem::StaticClassInfo() {
  using T = TpgwDataSetItem;
  static const TClassInfo& info = Describe<T>("TpgwDataSetItem")
                                      .Parent<TPersistent>()
                                      .Reference("DataSet", &T::DataSet, &T::SetDataSet)
                                      .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
                                      .Build();
  return info;
}
const TClassInfo& TpgwDataSetItem::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwDataSetItem::SetDataSet(TComponent* v) {
  FDataSet = v;
  FDataSetName = DataSetUserName(v);
  if (v && FCollection) FCollection->Watch(v);
}

WideString TpgwDataSetItem::DataSetName() const {
  return FDataSet ? DataSetUserName(FDataSet) : FDataSetName;
}

void TpgwDataSetItem::SetDataSetName(const WideString& v) {
  FDataSetName = v;
  if (v.empty()) {
    FDataSet = nullptr;
    return;
  }
  TpgwReport* report = FCollection ? FCollection->Report() : nullptr;
  if (report) {
    FDataSet = report->FindDataSet(FDataSet, v);
  } else {
    FDataSet = nullptr;  // a list outside a report has nobody to ask
  }
  if (FDataSet && FCollection) FCollection->Watch(FDataSet);
}

TpgwReportDataSets::~TpgwReportDataSets() = default;

TpgwDataSetItem& TpgwReportDataSets::Add() {
  FItems.push_back(std::make_unique<TpgwDataSetItem>(this));
  return *FItems.back();
}

void TpgwReportDataSets::Add(TComponent* dataSet) {
  Add().SetDataSet(dataSet);
}

void TpgwReportDataSets::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  FItems.erase(FItems.begin() + index);
}

void TpgwReportDataSets::Clear() {
  FItems.clear();
}

TpgwDataSetItem* TpgwReportDataSets::Find(const TComponent* dataSet) const {
  for (auto& i : FItems)
    if (i->FDataSet == dataSet) return i.get();
  return nullptr;
}

TpgwDataSetItem* TpgwReportDataSets::Find(std::u16string_view name) const {
  for (auto& i : FItems)
    if (i->FDataSet && (SameText(DataSetUserName(i->FDataSet), name) || SameText(i->FDataSet->Name(), name)))
      return i.get();
  return nullptr;
}

void TpgwReportDataSets::Assign(const TpgwReportDataSets& source) {
  if (&source == this) return;
  Clear();
  for (auto& i : source.FItems) {
    TpgwDataSetItem& n = Add();
    n.FDataSet = i->FDataSet;
    n.FDataSetName = i->FDataSetName;
    if (n.FDataSet) Watch(n.FDataSet);
  }
}

void TpgwReportDataSets::Forget(const TComponent* dataSet) {
  std::erase_if(FItems, [&](const std::unique_ptr<TpgwDataSetItem>& i) { return i->FDataSet == dataSet; });
}

void TpgwReportDataSets::Watch(TComponent* dataSet) {
  if (FReport && dataSet != FReport) FReport->FreeNotification(dataSet);
}

// ---- the report root
// ------------------------------------------------------------------------------------------

namespace {
const char16_t* const kSysVariables[] = {u"Date",       u"Time",        u"Page",       u"Page#",
                                         u"TotalPages", u"TotalPages#", u"Line",       u"Line#",
                                         u"CopyName#",  u"TableRow",    u"TableColumn"};

}  // namespace

TpgwReport::TpgwReport(TComponent* owner) : TpgwReport(TpgwReportServices{}, owner) {}

TpgwReport::TpgwReport(const TpgwReportServices& services, TComponent* owner)
    : TpgwComponent(owner), FDataSets(this), FEnabledDataSets(this), FStyles(this), FServices(services) {
  SetpwComponentStyle(pwComponentStyle() + TpgwComponentStyle{csHandlesNestedProperties});
  FErrors.SetSorted(true);
  FErrors.SetDuplicates(dupIgnore);
  FErrors.SetCaseSensitive(true);
  FDrillState.SetSorted(true);
  Clear();
}

TpgwReport::~TpgwReport() {
  // The store refers to the report and its template objects: it goes before them.
  FPreviewPages.reset();
  Destroying();
  // The tree goes first, while the lists it may refer to are alive.
  DestroyChildren();
  FParentReportObject.reset();
  // The script scope refers to the report; it goes while the report's lists are still alive.
  FScriptScope.reset();
  FDelayedCommands.clear();
}

const TClassInfo& TpgwReport::StaticClassInfo() {
  using T = TpgwReport;
  static const TClassInfo& info =
      Describe<T>("TpgwReport")
          .Parent<TpgwComponent>()
          .String("Version", &T::Version, &T::SetVersion)
          .String("DataSetName", &T::DataSetName, &T::SetDataSetName)
          .Boolean("DotMatrixReport", &T::DotMatrixReport, &T::SetDotMatrixReport)
          .Default(false)
          .Object("EngineOptions", &T::EngineOptions, &T::SetEngineOptions)
          .String("IniFile", &T::IniFile, &T::SetIniFile)
          .Boolean("OldStyleProgress", &T::OldStyleProgress, &T::SetOldStyleProgress)
          .Default(false)
          .String("ParentReport", &T::ParentReport, &T::SetParentReport)
          .Object("PreviewOptions", &T::PreviewOptions, &T::SetPreviewOptions)
          .Object("PrintOptions", &T::PrintOptions, &T::SetPrintOptions)
          .Object("ReportOptions", &T::ReportOptions, &T::SetReportOptions)
          .String("ScriptLanguage", &T::ScriptLanguage, &T::SetScriptLanguage)
          .StringList("ScriptText", &T::ScriptText)
          .Boolean("ShowProgress", &T::ShowProgress, &T::SetShowProgress)
          .Default(true)
          .Boolean("StoreInDFM", &T::StoreInDFM, &T::SetStoreInDFM)
          .Default(true)
          .Event("OnReportPrint", &T::OnReportPrint, &T::SetOnReportPrint)
          .Event("OnRunDialogs", &T::OnRunDialogs, &T::SetOnRunDialogs)
          .Event("OnStartReport", &T::OnStartReport, &T::SetOnStartReport)
          .Event("OnStopReport", &T::OnStopReport, &T::SetOnStopReport)
          .Build();
  return info;
}
const TClassInfo& TpgwReport::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwReport::Clear() {
  TpgwComponent::Clear();
  FScriptObjectsAdded = false;
  FDataSets.Clear();
  FVariables.Clear();
  FEngineOptions.Clear();
  FPreviewOptions.Clear();
  FPrintOptions.Clear();
  FReportOptions.Clear();
  FStyles.Clear();
  FDataSet = nullptr;
  FDataSetName.clear();
  FDotMatrixReport = false;
  SetParentReport(WideString());
  FScriptLanguage = u"PascalScript";
  FScriptText.Clear();
  FScriptText.Add(u"begin");
  FScriptText.Add(u"");
  FScriptText.Add(u"end.");
  FSysVariables.Clear();
  for (const char16_t* v : kSysVariables) FSysVariables.Add(v);
  FOnRunDialogs.clear();
  FOnStartReport.clear();
  FOnStopReport.clear();
}

void TpgwReport::SetDataSet(TComponent* v) {
  FDataSet = v;
  if (v) FreeNotification(v);
}

void TpgwReport::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c) {
    FDataSets.Forget(c);
    FEnabledDataSets.Forget(c);
    if (c == FDataSet) FDataSet = nullptr;
  }
  TpgwComponent::Notification(c, op);
}

void TpgwReport::ReportErrors() {
  const WideString text = ResourceGet("clErrors") + u"\r\n" + FErrors.Text();
  switch (FEngineOptions.NewSilentMode()) {
    case simMessageBoxes:
      // No windows here: the message box becomes a block on standard error.
      std::cerr << "Error\n" << Utf16ToUtf8(text) << std::flush;
      break;
    case simSilent:
      break;
    case simReThrow:
      throw Exception(Utf16ToUtf8(text));
  }
}

bool TpgwReport::LoadFromFile(const WideString& fileName, bool raiseIfMissing) {
  if (IsReportActionRunning()) {
    WideString name = fileName;
    FDelayedCommands.push_back([this, name, raiseIfMissing] { LoadFromFile(name, raiseIfMissing); });
    return false;
  }
  const bool sameString = &fileName == &FFileName;
  const WideString name = fileName;  // Clear may not touch it, but keep our own copy
  Clear();
  if (!sameString) FFileName.clear();
  const bool exists = FileExists(name);
  if (exists || raiseIfMissing) {
    if (!sameString) FFileName = name;
    TFileStream stream(name, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
  }
  return exists;
}

bool TpgwReport::CheckPassword() {
  if (FReportOptions.Password().empty()) return true;
  if (FEngineOptions.EnableThreadSafe()) return true;
  if (OnCheckPassword && OnCheckPassword(*this, FReportOptions.Password())) return true;
  FErrors.Add(ResourceGet("Invalid password"));
  ReportErrors();
  return false;
}

void TpgwReport::LoadFromStream(TStream& stream) {
  if (IsReportActionRunning()) {
    // The stream belongs to the caller; its bytes are taken now and loaded later.
    auto copy = std::make_shared<TMemoryStream>();
    copy->CopyFrom(stream, 0);
    FDelayedCommands.push_back([this, copy] {
      copy->SetPosition(0);
      LoadFromStream(*copy);
    });
    return;
  }
  FErrors.Clear();
  // No compressor or crypter classes exist: templates are plain XML.
  FReportOptions.SetPassword(FReportOptions.HiddenPassword());
  FEngineOptions.SetPrintIfEmpty(true);
  TpgwEngineOptions savedEngine;
  savedEngine.Assign(FEngineOptions);
  savedEngine.AssignThreadProps(FEngineOptions);
  savedEngine.SetReportThread(FEngineOptions.ReportThread());
  savedEngine.SetZeroPrecisionValue(FEngineOptions.ZeroPrecisionValue());
  TpgwPreviewOptions savedPreview;
  savedPreview.Assign(FPreviewOptions);
  const WideString savedIni = FIniFile;
  const bool savedOldStyle = FOldStyleProgress, savedShow = FShowProgress, savedStore = FStoreInDFM;

  try {
    SetIsLoading(true);
    TpgwComponent::LoadFromStream(stream);
  } catch (const Exception& e) {
    FErrors.Add(Utf8ToUtf16(e.Message()));
  }
  SetIsLoading(false);

  EnsureDataPage();
  if (!FEngineOptions.UseGlobalDataSetList()) RebuildDataSets();

  // A template sets only these engine options; the rest stay the host's.
  const bool convertNulls = FEngineOptions.ConvertNulls(), ignoreDiv = FEngineOptions.IgnoreDevByZero(),
             ignoreExpr = FEngineOptions.IgnoreExprError(), doublePass = FEngineOptions.DoublePass(),
             printIfEmpty = FEngineOptions.PrintIfEmpty();
  FEngineOptions.Assign(savedEngine);
  FEngineOptions.AssignThreadProps(savedEngine);
  FEngineOptions.SetReportThread(savedEngine.ReportThread());
  FEngineOptions.SetConvertNulls(convertNulls);
  FEngineOptions.SetIgnoreDevByZero(ignoreDiv);
  FEngineOptions.SetIgnoreExprError(ignoreExpr);
  FEngineOptions.SetDoublePass(doublePass);
  FEngineOptions.SetPrintIfEmpty(printIfEmpty);
  const bool outlineVisible = FPreviewOptions.OutlineVisible(),
             outlineExpand = FPreviewOptions.OutlineExpand(), thumbs = FPreviewOptions.ThumbnailVisible();
  const int outlineWidth = FPreviewOptions.OutlineWidth(), pages = FPreviewOptions.PagesInCache();
  FPreviewOptions.Assign(savedPreview);
  FPreviewOptions.SetOutlineVisible(outlineVisible);
  FPreviewOptions.SetOutlineWidth(outlineWidth);
  FPreviewOptions.SetOutlineExpand(outlineExpand);
  FPreviewOptions.SetPagesInCache(pages);
  FPreviewOptions.SetThumbnailVisible(thumbs);
  FIniFile = savedIni;
  FOldStyleProgress = savedOldStyle;
  FShowProgress = savedShow;
  FStoreInDFM = savedStore;

  // Stored with each code unit decreased by 10.
  WideString password = FReportOptions.Password();
  for (char16_t& c : password) c = static_cast<char16_t>(c + 10);
  FReportOptions.SetPassword(password);

  if (FReportOptions.Info()) {
    TpgwReportOptions keep;
    keep.Assign(FReportOptions);
    Clear();
    FReportOptions.Assign(keep);
    return;
  }
  if (FReloading || FEngineOptions.EnableThreadSafe() || CheckPassword()) {
    if (FErrors.Count() > 0) ReportErrors();
  } else {
    Clear();
  }
}

void TpgwReport::EnsureDataPage() {
  const TClassInfo* dataPage = ClassRegistry().Find("TpgwDataPage");
  if (!dataPage) return;  // the page classes are not part of this build
  for (int i = 0; i < Objects().Count(); ++i)
    if (Objects()[i]->ClassInfo().InheritsFrom(*dataPage)) return;
  if (!dataPage->InheritsFrom(TpgwComponent::StaticClassInfo())) return;
  TpgwComponent* page = &CreateChildAs<TpgwComponent>(*dataPage, *this);
  if (!FindObject(u"Data"))
    page->SetName(u"Data");
  else
    page->CreateUniqueName();
  Objects().Move(Objects().IndexOf(page), 0);
  int n = 0;
  for (TpgwComponent* c : std::vector<TpgwComponent*>(AllObjects())) {
    if (!c->IsDialogComponent()) continue;
    c->SetParent(page);
    c->SetLeft(60 + 64 * n++);
    c->SetTop(20);
  }
}

void TpgwReport::RebuildDataSets() {
  for (int i = FDataSets.Count() - 1; i >= 0; --i) {
    TpgwDataSetItem& item = FDataSets.Items(i);
    TComponent* ds = item.DataSet();
    if (!ds) continue;
    if (TpgwDataSetItem* enabled = FEnabledDataSets.Find(item.DataSetName()); enabled && enabled->DataSet()) {
      item.SetDataSet(enabled->DataSet());
      continue;
    }
    if (!ds->Owner() || dynamic_cast<TpgwComponent*>(ds->Owner())) continue;
    FDataSets.Delete(i);
  }
}

void TpgwReport::SaveToFile(const WideString& fileName, bool serializeDefaults) {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream, true, serializeDefaults);
}

void TpgwReport::SaveToStream(TStream& stream, bool saveChildren, bool serializeDefaults) {
  // Templates keep the password with each code unit decreased by 10; loading adds it back.
  const WideString password = FReportOptions.Password();
  struct Restore {
    TpgwReportOptions& options;
    const WideString& password;
    ~Restore() { options.SetPassword(password); }
  } restore{FReportOptions, password};
  WideString shifted = password;
  for (char16_t& c : shifted) c = static_cast<char16_t>(c - 10);
  FReportOptions.SetPassword(shifted);
  TpgwComponent::SaveToStream(stream, saveChildren, serializeDefaults);
}

void TpgwReport::WriteNestedProperties(TpgwXMLItem& item, TpgwXMLSerializer& serializer) {
  if (FDataSets.Count() > 0) {
    TpgwXMLItem* list = item.Add(u"Datasets");
    for (int i = 0; i < FDataSets.Count(); ++i)
      list->Add(u"item")->SetText(serializer.ObjToXML(FDataSets.Items(i)));
  }
  if (FVariables.Count() > 0) {
    TpgwXMLItem* list = item.Add(u"Variables");
    for (int i = 0; i < FVariables.Count(); ++i) {
      TpgwVariable& v = FVariables.Items(i);
      WideString text = serializer.ObjToXML(v);
      if (v.IsInherited()) text += u" InheritedName=\"" + EncodeXmlText(v.Name()) + u"\"";
      list->Add(u"item")->SetText(std::move(text));
    }
  }
  if (FStyles.Count() > 0) {
    TpgwXMLItem* list = item.Add(u"Styles");
    if (!FStyles.Name().empty()) list->SetProp(u"Name", FStyles.Name());
    for (int i = 0; i < FStyles.Count(); ++i) {
      TpgwStyleItem& style = FStyles.Items(i);
      WideString text = serializer.ObjToXML(style);
      if (style.IsInherited()) text += u" InheritedName=\"" + EncodeXmlText(style.Name()) + u"\"";
      list->Add(u"item")->SetText(std::move(text));
    }
  }
}

bool TpgwReport::ReadNestedProperty(TpgwXMLItem& item, TpgwXMLSerializer& serializer) {
  const bool inheriting = FParentReportObject != nullptr;
  if (WideSameText(item.Name(), u"Datasets")) {
    if (inheriting) {
      for (int i = 0; i < FDataSets.Count(); ++i) serializer.ForgetFixups(&FDataSets.Items(i));
      FDataSets.Clear();
    }
    for (int i = 0; i < item.Count(); ++i) serializer.XMLToObj(item.Items(i)->Text(), FDataSets.Add());
    return true;
  }
  if (WideSameText(item.Name(), u"Variables")) {
    for (int i = 0; i < item.Count(); ++i) {
      const TpgwXMLItem& entry = *item.Items(i);
      const WideString inherited = inheriting ? entry.GetProp(u"InheritedName") : WideString();
      const int index = inherited.empty() ? -1 : FVariables.IndexOf(inherited);
      TpgwVariable& v = index >= 0 ? FVariables.Items(index) : FVariables.Add();
      serializer.XMLToObj(entry.Text(), v);
      if (index >= 0) v.SetIsInherited(true);
    }
    return true;
  }
  if (WideSameText(item.Name(), u"Styles")) {
    if (item.PropExists(u"Name")) FStyles.SetName(item.GetProp(u"Name"));
    for (int i = 0; i < item.Count(); ++i) {
      const TpgwXMLItem& entry = *item.Items(i);
      const WideString inherited = inheriting ? entry.GetProp(u"InheritedName") : WideString();
      TpgwStyleItem* existing = inherited.empty() ? nullptr : FStyles.Find(inherited);
      TpgwStyleItem& style = existing ? *existing : FStyles.Add();
      serializer.XMLToObj(entry.Text(), style);
      if (existing) style.SetIsInherited(true);
    }
    return true;
  }
  return false;
}

void TpgwReport::RunDelayedCommands() {
  while (!FDelayedCommands.empty() && !IsReportActionRunning()) {
    auto cmd = std::move(FDelayedCommands.front());
    FDelayedCommands.pop_front();
    cmd();
  }
}

bool TpgwReport::PrepareReport(bool clearLastReport) {
  if (IsReportActionRunning()) {
    FDelayedCommands.push_back([this, clearLastReport] { PrepareReport(clearLastReport); });
    return false;
  }
  bool result = false;
  FPreparing = true;
  {
    auto done = ScopeExit([this] { FPreparing = false; });
    if (clearLastReport && FPreviewPages) FServices.PreparedPages->Clear(*FPreviewPages);
    FErrors.Clear();
    FTerminated = false;
    for (int i = 0; i < FDataSets.Count(); ++i) {
      TpgwDataSetItem& item = FDataSets.Items(i);
      if (!item.DataSet()) FErrors.Add(Format(ResourceGet("clDSNotExist"), {TFormatArg(item.DataSetName())}));
    }
    if (FErrors.Count() == 0) {
      std::unique_ptr<TStream> saved;
      std::string savedFile;
      const WideString password = FReportOptions.Password();
      const int splicing = FPrintOptions.SplicingLine();
      const TpgwDuplexMode duplex = FPrintOptions.Duplex();
      if (FEngineOptions.DestroyForms()) {
        FReportOptions.SetPassword(WideString());
        try {
          if (FEngineOptions.UseFileCache()) {
            savedFile = CreateTempFile(Utf16ToUtf8(FEngineOptions.TempDir()), "pw");
            saved = std::make_unique<TFileStream>(savedFile, fmCreate);
          } else {
            saved = std::make_unique<TMemoryStream>();
          }
          SaveToStream(*saved);
        } catch (const Exception& e) {
          FErrors.Add(Utf8ToUtf16(e.Message()));
          saved.reset();
        }
        FReportOptions.SetPassword(password);
      }
      // The saved copy goes with the preparation, its temporary file too.
      auto cleanup = ScopeExit([&] {
        saved.reset();
        if (!savedFile.empty()) DeleteFile(savedFile);
      });
      try {
        if (OnBeginDoc) OnBeginDoc(*this);
        bool scriptReady = true;
        if (FServices.Script) {
          scriptReady = FServices.Script->Prepare(*this);
        } else {
          FErrors.Add(u"The script engine is not available");
          scriptReady = false;
        }
        if (scriptReady && !FTerminated) {
          if (!FServices.Engine) {
            FErrors.Add(u"The report engine is not available");
          } else {
            FEngineRunning = true;
            auto stopped = ScopeExit([this] { FEngineRunning = false; });
            if (FServices.Engine->Run(*this)) {
              if (OnEndDoc) OnEndDoc(*this);
              result = true;
            }
          }
        }
      } catch (const Exception& e) {
        FErrors.Add(Utf8ToUtf16(e.Message()));
      }
      if (saved) {
        TStringList kept;
        kept.Assign(FErrors);
        saved->SetPosition(0);
        {
          FReloading = true;
          FPreparing = false;
          auto restore = ScopeExit([this] {
            FReloading = false;
            FPreparing = true;
          });
          LoadFromStream(*saved);
        }
        FReportOptions.SetPassword(password);
        FPrintOptions.SetSplicingLine(splicing);
        FPrintOptions.SetDuplex(duplex);
        FErrors.Clear();
        FErrors.AddStrings(kept);
      }
    }
    if (FErrors.Count() > 0) {
      result = false;
      ReportErrors();
    }
  }
  RunDelayedCommands();
  return result;
}

bool TpgwReport::Export(TComponent& filter) {
  if (!FServices.PreparedPages) {
    FErrors.Add(u"The prepared page store is not available");
    ReportErrors();
    return false;
  }
  return FServices.PreparedPages->Export(*this, filter);
}

TpgwCustomPreviewPages* TpgwReport::PreviewPages() {
  if (!FPreviewPages && FServices.PreparedPages) FPreviewPages = FServices.PreparedPages->Create(*this);
  return FPreviewPages.get();
}

TpgwComponent* TpgwReport::FindObject(std::u16string_view name) {
  TpgwComponent* found = TpgwComponent::FindObject(name);
  if (found || !IsLoading() || FEngineOptions.UseGlobalDataSetList() || FEnabledDataSets.Count() == 0)
    return found;
  const size_t dot = name.rfind(u'.');
  const std::u16string_view dsName = dot == std::u16string_view::npos ? name : name.substr(dot + 1);
  TpgwDataSetItem* item = FEnabledDataSets.Find(dsName);
  return item ? dynamic_cast<TpgwComponent*>(item->DataSet()) : nullptr;
}

Variant TpgwReport::Calc(const WideString& expr) {
  if (!FServices.Script) {
    // Without an evaluator the failure is recorded, and the value is Null.
    WideString line = FCurObject;
    line += u": ";
    line += ResourceGet("clErrorInExp");
    line += u' ';
    line += expr;
    FErrors.Add(line);
    return Variant::Null();
  }
  return FServices.Script->Calc(*this, expr);
}

TComponent* TpgwReport::GetDataset(std::u16string_view alias) const {
  for (int i = 0; i < FDataSets.Count(); ++i) {
    TComponent* ds = FDataSets.Items(i).DataSet();
    if (ds && (SameText(DataSetUserName(ds), alias) || SameText(ds->Name(), alias))) return ds;
  }
  return nullptr;
}

void TpgwReport::GetDatasetAndField(std::u16string_view complexName, TComponent*& dataSet,
                                    WideString& fieldName) const {
  dataSet = nullptr;
  fieldName.clear();
  for (size_t i = 0; i + 1 < complexName.size(); ++i) {
    if (complexName[i] == u'.' && complexName[i + 1] == u'"') {
      dataSet = GetDataset(complexName.substr(0, i));
      std::u16string_view rest = complexName.substr(i + 2);
      if (!rest.empty()) rest.remove_suffix(1);
      fieldName = WideString(rest);
      return;
    }
  }
}

WideString TpgwReport::GetAlias(const TComponent* dataSet) const {
  if (!dataSet) return WideString();
  if (FDataSets.Find(dataSet)) return DataSetUserName(dataSet);
  return ResourceGet("clDSNotIncl");
}

void TpgwReport::GetDataSetList(TStringList& list, bool onlyDB) const {
  list.Clear();
  for (int i = 0; i < FDataSets.Count(); ++i) {
    TComponent* ds = FDataSets.Items(i).DataSet();
    if (!ds) continue;
    if (onlyDB) {
      bool userDefined = false;
      for (const TClassInfo* c = &ds->ClassInfo(); c; c = c->Parent())
        if (c->Name() == "TpgwUserDataSet") userDefined = true;
      if (userDefined) continue;
    }
    list.AddObject(DataSetUserName(ds), ds);
  }
}

void TpgwReport::GetActiveDataSetList(TStringList& list) const {
  list.Clear();
  if (FEngineOptions.UseGlobalDataSetList()) {
    if (FServices.Data) FServices.Data->ListGlobalDataSets(list);
    return;
  }
  for (int i = 0; i < FEnabledDataSets.Count(); ++i)
    if (TComponent* ds = FEnabledDataSets.Items(i).DataSet()) list.AddObject(DataSetUserName(ds), ds);
}

namespace {
// Larger templates are not plausible; the bound keeps a named file from exhausting memory.
constexpr int64_t kMaxTemplateFileBytes = 256LL << 20;
}  // namespace

std::string TpgwReport::TemplateFolder() const {
  const std::string own = ExtractFileDir(Utf16ToUtf8(FFileName));
  return own.empty() ? GetCurrentDir() : own;
}

void TpgwReport::CheckNamedFile(const WideString& path) const {
  if (!FRestrictFilePaths) return;
  std::vector<std::string> folders = FAllowedFolders;
  folders.push_back(TemplateFolder());
  const std::string name = Utf16ToUtf8(path);
  if (!PathIsInside(name, folders))
    throw EFOpenError("Cannot open file \"" + name +
                      "\". A template may name files in its own folder only (--allow-path DIR allows another)");
}

void TpgwReport::SetParentReport(const WideString& v) {
  if (v == FParentReport && (v.empty() || FParentReportObject)) return;
  FParentReport = v;
  if (v.empty()) {
    FParentReportObject.reset();
    return;
  }
  // A template may name itself or a cycle of parents: the chain is cut at a fixed depth.
  static thread_local int depth = 0;
  if (depth >= 16) throw Exception("Parent reports are nested too deeply: " + Utf16ToUtf8(v));
  // Next to this report's file, else next to the working folder (the program's folder when it
  // is run from there, as the driver is).
  WideString path = ResolvePathFrom(FFileName, v);
  if (path[0] != u'/') path = IncludeTrailingPathDelimiter(Utf8ToUtf16(GetCurrentDir())) + path;
  CheckNamedFile(path);
  auto parent = std::make_unique<TpgwReport>(FServices, nullptr);
  parent->EngineOptions().SetNewSilentMode(simSilent);
  // The parent's own references obey the same rule, from the same allowed folders.
  parent->SetRestrictFilePaths(FRestrictFilePaths);
  for (const std::string& f : FAllowedFolders) parent->AllowFolder(f);
  if (FRestrictFilePaths) parent->AllowFolder(TemplateFolder());
  {
    ++depth;
    auto leave = ScopeExit([&] { --depth; });
    // A missing parent loads nothing, as before; anything else at that name must be a regular
    // file of sane size: a device or a pipe named here would block or never end.
    struct stat st;
    if (stat(Utf16ToUtf8(path).c_str(), &st) == 0) {
      std::unique_ptr<TMemoryStream> bytes = OpenRegularFileForReading(path, kMaxTemplateFileBytes);
      parent->SetFileName(path);
      parent->LoadFromStream(*bytes);
    }
  }
  FParentReportObject = std::move(parent);
  // The parent's objects, variables and styles become this report's inherited ones; the
  // template being read then changes or adds to them.
  CopyInheritedTree(*FParentReportObject, *this);
  for (int i = 0; i < FParentReportObject->Variables().Count(); ++i) {
    const TpgwVariable& src = FParentReportObject->Variables().Items(i);
    if (FVariables.IndexOf(src.Name()) >= 0) continue;
    TpgwVariable& v = FVariables.Add();
    v.SetName(src.Name());
    v.SetValue(src.Value());
  }
  for (int i = 0; i < FParentReportObject->Styles().Count(); ++i) {
    const TpgwStyleItem& src = FParentReportObject->Styles().Items(i);
    if (!FStyles.Find(src.Name())) FStyles.Add().Assign(src);
  }
  FVariables.SetInherited(true);
  FStyles.SetInherited(true);
}

void TpgwReport::CopyInheritedTree(TpgwComponent& source, TpgwComponent& dest) {
  for (TpgwComponent* child : source.Objects().Snapshot()) {
    // An inherited node kept by an earlier Clear is brought up to date instead of doubled.
    TpgwComponent* existing = child->Name().empty() ? nullptr : dest.TopNode()->FindObject(child->Name());
    if (existing && existing->IsAncestor() && &existing->ClassInfo() == &child->ClassInfo()) {
      existing->Assign(*child);
      CopyInheritedTree(*child, *existing);
      continue;
    }
    TpgwComponent* copy = &CreateChildAs<TpgwComponent>(child->ClassInfo(), dest);
    copy->Assign(*child);
    if (!existing && !child->Name().empty()) copy->SetName(child->Name());
    CopyInheritedTree(*child, *copy);
    copy->SetAncestor(true);
  }
}

}  // namespace pagewright

namespace pagewright {

void TpgwReport::SetStyles(const TpgwStyles* v) {
  if (!v)
    FStyles.Clear();
  else
    FStyles.Assign(*v);
}

}  // namespace pagewright
