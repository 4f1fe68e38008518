#include "data/data_set.h"

#include <algorithm>

#include "data/db_dataset.h"
#include "data/table_source.h"
#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/memo_view.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

const TEnumInfo& TpgwRangeBeginInfo() {
  static const TEnumInfo info("TpgwRangeBegin", {"rbFirst", "rbCurrent"});
  return info;
}
const TEnumInfo& TpgwRangeEndInfo() {
  static const TEnumInfo info("TpgwRangeEnd", {"reLast", "reCurrent", "reCount"});
  return info;
}
const TEnumInfo& TpgwFieldTypeInfo() {
  static const TEnumInfo info("TpgwFieldType", {"fftNumeric", "fftString", "fftBoolean", "fftDateTime"});
  return info;
}
const TEnumInfo& TpgwDataSetOptionsInfo() {
  static const TEnumInfo info("TpgwDataSetOption", {"dsoStringAsDisplayText"});
  return info;
}

// ---- dialog component -------------------------------------------------------------------------------

TpgwDialogComponent::TpgwDialogComponent(TComponent* owner) : TpgwReportComponent(owner) {}

const TClassInfo& TpgwDialogComponent::StaticClassInfo() {
  static const TClassInfo& info =
      Describe<TpgwDialogComponent>("TpgwDialogComponent").Parent<TpgwReportComponent>().Abstract().Build();
  return info;
}
const TClassInfo& TpgwDialogComponent::ClassInfo() const {
  return StaticClassInfo();
}

// ---- global list --------------------------------------------------------------------------------------

void TpgwGlobalDataSetList::Remove(TpgwDataSet* ds) {
  auto it = std::find(FItems.begin(), FItems.end(), ds);
  if (it != FItems.end()) FItems.erase(it);
}

TpgwGlobalDataSetList& pgwDataSetList() {
  static TpgwGlobalDataSetList list;
  return list;
}

// ---- TpgwDataSet ----------------------------------------------------------------------------------------

TpgwDataSet::TpgwDataSet(TComponent* owner) : TpgwDialogComponent(owner) {
  TpgwGlobalDataSetList& list = pgwDataSetList();
  list.Lock();
  list.Add(this);
  list.Unlock();
}

TpgwDataSet::~TpgwDataSet() {
  TpgwGlobalDataSetList& list = pgwDataSetList();
  list.Lock();
  list.Remove(this);
  list.Unlock();
}

const TClassInfo& TpgwDataSet::StaticClassInfo() {
  using T = TpgwDataSet;
  static const TClassInfo& info =
      Describe<T>("TpgwDataSet")
          .Parent<TpgwDialogComponent>()
          .Abstract()
          .Boolean("Enabled", &T::Enabled, &T::SetEnabled)
          .Default(true)
          .Enum("RangeBegin", &T::RangeBegin, &T::SetRangeBegin, TpgwRangeBeginInfo())
          .Default(rbFirst)
          .Enum("RangeEnd", &T::RangeEnd, &T::SetRangeEnd, TpgwRangeEndInfo())
          .Default(reLast)
          .Integer("RangeEndCount", &T::RangeEndCount, &T::SetRangeEndCount)
          .Default(0)
          .String("UserName", &T::UserName, &T::SetUserName)
          .Build();
  return info;
}
const TClassInfo& TpgwDataSet::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwDataSet::SetName(const WideString& name) {
  const WideString old = Name();
  TpgwDialogComponent::SetName(name);
  if (Name() != old && (FUserName.empty() || FUserName == old)) FUserName = Name();
}

void TpgwDataSet::SetReportRef(TpgwReport* v) {
  if (v == FReportRef) return;
  if (FReportRef) RemoveFreeNotification(FReportRef);
  FReportRef = v;
  if (FReportRef) FreeNotification(FReportRef);
}

void TpgwDataSet::SetUserName(const WideString& v) {
  if (Trim(v).empty()) throw Exception(Utf16ToUtf8(ResourceGet("prInvProp")));
  FUserName = v;
}

WideString TpgwDataSet::GetDisplayText(const WideString&) {
  return WideString();
}
int TpgwDataSet::GetDisplayWidth(const WideString&) {
  return 10;
}
TpgwFieldType TpgwDataSet::GetFieldType(const WideString&) {
  return fftNumeric;
}
Variant TpgwDataSet::GetValue(const WideString&) {
  return Variant::Null();
}

void TpgwDataSet::Open() {
  if (OnOpen) OnOpen(*this);
}
void TpgwDataSet::Close() {
  if (OnClose) OnClose(*this);
}

void TpgwDataSet::First() {
  FRecNo = 0;
  FEof = false;
  if (OnFirst) OnFirst(*this);
}

void TpgwDataSet::Next() {
  FEof = false;
  ++FRecNo;
  if (FRangeEnd == reCount && FRecNo >= FRangeEndCount) {
    FRecNo = FRangeEndCount - 1;
    FEof = true;
    return;
  }
  if (OnNext) OnNext(*this);
}

void TpgwDataSet::Prior() {
  --FRecNo;
  if (OnPrior) OnPrior(*this);
}

bool TpgwDataSet::Eof() {
  bool result = FRangeEnd == reCount && (FRecNo >= FRangeEndCount || FEof);
  if (OnCheckEOF) OnCheckEOF(*this, result);
  return result;
}

int TpgwDataSet::FieldsCount() {
  return 0;
}
bool TpgwDataSet::IsBlobField(const WideString&) {
  return false;
}
bool TpgwDataSet::IsWideMemoBlobField(const WideString&) {
  return false;
}
bool TpgwDataSet::IsMemoBlobField(const WideString&) {
  return false;
}
bool TpgwDataSet::IsHasMaster() {
  return false;
}
int TpgwDataSet::RecordCount() {
  return FRangeBegin == rbFirst && FRangeEnd == reCount ? FRangeEndCount : 0;
}
void TpgwDataSet::AssignBlobTo(const WideString&, const TpgwBlobTarget&) {}
void TpgwDataSet::GetFieldList(TStringList& list) {
  list.Clear();
}

bool TpgwDataSet::HasField(const WideString& name) {
  TStringList list;
  GetFieldList(list);
  for (int i = 0; i < list.Count(); ++i)
    if (list[i] == name) return true;
  return false;
}

void TpgwDataSet::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FReportRef) FReportRef = nullptr;
  TpgwDialogComponent::Notification(c, op);
}

TpgwReport* TpgwDataSet::ErrorReport() const {
  return FReportRef ? FReportRef : Report();
}

// ---- TpgwUserDataSet --------------------------------------------------------------------------------------

TpgwUserDataSet::TpgwUserDataSet(TComponent* owner) : TpgwDataSet(owner) {}

const TClassInfo& TpgwUserDataSet::StaticClassInfo() {
  using T = TpgwUserDataSet;
  static const TClassInfo& info = Describe<T>("TpgwUserDataSet")
                                      .Parent<TpgwDataSet>()
                                      .StringList("Fields", &T::Fields, &T::SetFields)
                                      .Build();
  return info;
}
const TClassInfo& TpgwUserDataSet::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwUserDataSet::GetFieldList(TStringList& list) {
  list.Assign(FFields);
}

Variant TpgwUserDataSet::GetValue(const WideString& index) {
  Variant v = Variant::Null();
  if (OnGetValue) OnGetValue(index, v);
  if (OnNewGetValue) OnNewGetValue(*this, index, v);
  return v;
}

WideString TpgwUserDataSet::GetDisplayText(const WideString& index) {
  WideString text;
  Variant v = Variant::Null();
  if (OnGetValue) {
    OnGetValue(index, v);
    text = VarToStr(v);
  }
  if (OnNewGetValue) {
    OnNewGetValue(*this, index, v);
    text = VarToStr(v);
  }
  return text;
}

bool TpgwUserDataSet::IsBlobField(const WideString& name) {
  return OnIsBlobField ? OnIsBlobField(*this, name) : false;
}

void TpgwUserDataSet::AssignBlobTo(const WideString& name, const TpgwBlobTarget& target) {
  if (OnGetBlobValue) OnGetBlobValue(*this, name, target);
}

// ---- lookup and report lists
// ---------------------------------------------------------------------------------

TComponent* FindDataSetByName(TComponent* from, TComponent* defaultDataSet, std::u16string_view name) {
  TpgwReport* report = nullptr;
  if (auto* node = dynamic_cast<TpgwComponent*>(from))
    report = node->AsReport() ? node->AsReport() : node->Report();
  if (!report || report->EngineOptions().UseGlobalDataSetList()) {
    if (name.empty()) return nullptr;
    if (!report) return defaultDataSet;
    TpgwGlobalDataSetList& list = pgwDataSetList();
    list.Lock();
    TComponent* found = defaultDataSet;
    for (int i = 0; i < list.Count(); ++i) {
      TpgwDataSet* ds = list.Items(i);
      if (!SameText(ds->UserName(), name)) continue;
      TpgwReport* owner = ds->Report();
      if (owner && owner != report) continue;
      found = ds;
      break;
    }
    list.Unlock();
    return found;
  }
  TpgwDataSetItem* item = report->EnabledDataSets().Find(name);
  return item ? item->DataSet() : nullptr;
}

void InitializeDataSets(TpgwReportDataSets& list) {
  for (int i = 0; i < list.Count(); ++i) {
    auto* ds = dynamic_cast<TpgwDataSet*>(list.Items(i).DataSet());
    if (!ds) continue;
    ds->SetReportRef(list.Report());
    ds->Initialize();
  }
}

void FinalizeDataSets(TpgwReportDataSets& list) {
  for (int i = 0; i < list.Count(); ++i)
    if (auto* ds = dynamic_cast<TpgwDataSet*>(list.Items(i).DataSet())) ds->Finalize();
}

bool DeleteDataSet(TpgwReportDataSets& list, std::u16string_view name) {
  for (int i = 0; i < list.Count(); ++i) {
    TComponent* ds = list.Items(i).DataSet();
    if (ds && SameText(DataSetUserName(ds), name)) {
      list.Delete(i);
      return true;
    }
  }
  return false;
}

Variant ReportFieldValue(TpgwDataSet& dataSet, const WideString& fieldName) {
  Variant v = dataSet.GetValue(fieldName);
  if (!v.IsNull()) return v;
  TpgwReport* report = dataSet.ReportRef() ? dataSet.ReportRef() : dataSet.Report();
  if (report && !report->EngineOptions().ConvertNulls()) return v;
  switch (dataSet.GetFieldType(fieldName)) {
    case fftString:
      return Variant(WideString());
    case fftBoolean:
      return Variant(false);
    default:
      return Variant(0);
  }
}

namespace {

class TpgwDataService final : public IpgwDataService {
 public:
  TComponent* FindDataSet(TComponent* from, TComponent* current, std::u16string_view name) override {
    return FindDataSetByName(from, current, name);
  }
  // Lookups that come without a requesting component: the first data set of that user name.
  TComponent* FindGlobalDataSet(std::u16string_view name) override {
    if (name.empty()) return nullptr;
    TpgwGlobalDataSetList& list = pgwDataSetList();
    for (int i = 0; i < list.Count(); ++i)
      if (SameText(list.Items(i)->UserName(), name)) return list.Items(i);
    return nullptr;
  }
  void ListGlobalDataSets(TStringList& list) override {
    TpgwGlobalDataSetList& all = pgwDataSetList();
    all.Lock();
    for (int i = 0; i < all.Count(); ++i) list.AddObject(all.Items(i)->UserName(), all.Items(i));
    all.Unlock();
  }
  bool IsBlobField(TComponent& ds, const WideString& field) override {
    auto* d = dynamic_cast<TpgwDataSet*>(&ds);
    return d && d->IsBlobField(field);
  }
  void AssignBlobTo(TComponent& ds, const WideString& field, TStringList& lines) override {
    if (auto* d = dynamic_cast<TpgwDataSet*>(&ds)) d->AssignBlobTo(field, TpgwBlobTarget{&lines, nullptr});
  }
  void AssignBlobTo(TComponent& ds, const WideString& field, TStream& into) override {
    if (auto* d = dynamic_cast<TpgwDataSet*>(&ds)) d->AssignBlobTo(field, TpgwBlobTarget{nullptr, &into});
  }
  Variant FieldValue(TComponent& ds, const WideString& field) override {
    auto* d = dynamic_cast<TpgwDataSet*>(&ds);
    return d ? d->Value(field) : Variant::Null();
  }
  WideString FieldDisplayText(TComponent& ds, const WideString& field) override {
    auto* d = dynamic_cast<TpgwDataSet*>(&ds);
    return d ? d->DisplayText(field) : WideString();
  }
};

}  // namespace

IpgwDataService& ReportDataService() {
  static TpgwDataService service;
  return service;
}

void RegisterDataClasses() {
  TClassRegistry& registry = ClassRegistry();
  registry.Register(TpgwDialogComponent::StaticClassInfo());
  registry.Register(TpgwDataSet::StaticClassInfo());
  registry.Register(TpgwUserDataSet::StaticClassInfo());
  registry.Register(TpgwCustomDBDataSet::StaticClassInfo());
  registry.Register(TpgwDBDataset::StaticClassInfo());
  registry.Register(TDataSource::StaticClassInfo());
}

}  // namespace pagewright
