#include "data/db_dataset.h"

#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/properties.h"
#include "platform/scope_guard.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "report/report.h"
#include "support/resources.h"

namespace pagewright {

namespace {

bool IsWideBlobType(TFieldType t) {
  return t == ftWideString || t == ftFixedWideChar || t == ftWideMemo;
}

bool IsBlobKind(const IpgwTableField* f) {
  return f && (f->Kind() == tfkBlob || f->Kind() == tfkWideMemo);
}

TpgwFieldType FieldTypeOf(TFieldType t) {
  switch (t) {
    case ftString:
    case ftMemo:
    case ftWideString:
      return fftString;
    case ftBoolean:
      return fftBoolean;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return fftDateTime;
    default:
      return fftNumeric;
  }
}

WideString Utf16LeBytesToText(const std::string& bytes) {
  WideString s(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                 (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  return s;
}

}  // namespace

// ---- TpgwCustomDBDataSet --------------------------------------------------------------------------------

TpgwCustomDBDataSet::TpgwCustomDBDataSet(TComponent* owner) : TpgwDataSet(owner) {
  FFields.SetSorted(true);
  FFields.SetDuplicates(dupIgnore);
  FFields.SetCaseSensitive(false);
}

TpgwCustomDBDataSet::~TpgwCustomDBDataSet() = default;

const TClassInfo& TpgwCustomDBDataSet::StaticClassInfo() {
  using T = TpgwCustomDBDataSet;
  static const TClassInfo& info = Describe<T>("TpgwCustomDBDataSet")
                                      .Parent<TpgwDataSet>()
                                      .Abstract()
                                      .StringList("FieldAliases", &T::FieldAliases, &T::SetFieldAliases)
                                      .Build();
  return info;
}
const TClassInfo& TpgwCustomDBDataSet::ClassInfo() const {
  return StaticClassInfo();
}

WideString TpgwCustomDBDataSet::ConvertAlias(const WideString& alias) const {
  for (int i = 0; i < FFieldAliases.Count(); ++i)
    if (SameText(FFieldAliases.ValueFromIndex(i), alias)) return FFieldAliases.Names(i);
  return alias;
}

WideString TpgwCustomDBDataSet::GetAlias(const WideString& fieldName) const {
  for (int i = 0; i < FFieldAliases.Count(); ++i)
    if (SameText(FFieldAliases.Names(i), fieldName)) return FFieldAliases.ValueFromIndex(i);
  return fieldName;
}

int TpgwCustomDBDataSet::FieldsCount() {
  TStringList list;
  GetFieldList(list);
  return list.Count();
}

// ---- TpgwDBDataset
// ------------------------------------------------------------------------------------------

TpgwDBDataset::TpgwDBDataset(TComponent* owner) : TpgwCustomDBDataSet(owner) {}

TpgwDBDataset::~TpgwDBDataset() {
  // The table outlives the adapter: give it its own handlers back.
  Unhook();
}

const TClassInfo& TpgwDBDataset::StaticClassInfo() {
  using T = TpgwDBDataset;
  static const TClassInfo& info =
      Describe<T>("TpgwDBDataset")
          .Parent<TpgwCustomDBDataSet>()
          .Boolean("BCDToCurrency", &T::BCDToCurrency, &T::SetBCDToCurrency)
          .Default(false)
          .Boolean("CloseDataSource", &T::CloseDataSource, &T::SetCloseDataSource)
          .Default(false)
          .Reference("DataSet", &T::DataSet, &T::SetDataSet)
          .Stored(&T::IsTableStored)
          .SetOf("DataSetOptions", &T::DataSetOptions, &T::SetDataSetOptions, TpgwDataSetOptionsInfo())
          .Default(TpgwDataSetOptions{})
          .Reference("DataSource", &T::DataSource, &T::SetDataSource)
          .Stored(&T::IsTableStored)
          .Boolean("OpenDataSource", &T::OpenDataSource, &T::SetOpenDataSource)
          .Default(true)
          .Build();
  return info;
}
const TClassInfo& TpgwDBDataset::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwDBDataset::SetDataSet(TDataSet* v) {
  if (v == FDataSet && !FDataSource && !FSource) return;
  Unhook();
  if (FDataSource) RemoveFreeNotification(FDataSource);
  FDataSource = nullptr;
  FSource = nullptr;
  if (FDataSet && FDataSet != v) RemoveFreeNotification(FDataSet);
  FDataSet = v;
  if (FDataSet) FreeNotification(FDataSet);
  Forget(true);
}

void TpgwDBDataset::SetDataSource(TDataSource* v) {
  if (v == FDataSource && !FDataSet && !FSource) return;
  Unhook();
  if (FDataSet) RemoveFreeNotification(FDataSet);
  FDataSet = nullptr;
  FSource = nullptr;
  if (FDataSource && FDataSource != v) RemoveFreeNotification(FDataSource);
  FDataSource = v;
  if (FDataSource) FreeNotification(FDataSource);
  Forget(true);
}

void TpgwDBDataset::SetTableSource(IpgwTableSource* v) {
  Unhook();
  if (FDataSet) RemoveFreeNotification(FDataSet);
  if (FDataSource) RemoveFreeNotification(FDataSource);
  FDataSet = nullptr;
  FDataSource = nullptr;
  Forget(true);
  FSource = v;
}

IpgwTableSource* TpgwDBDataset::DS() {
  if (FSource) return FSource;
  TDataSet* table = FDataSet ? FDataSet : FDataSource ? FDataSource->DataSet() : nullptr;
  if (!table) {
    if (FOwnSource) Forget(true);
    return nullptr;
  }
  if (!FOwnSource || &FOwnSource->DataSet() != table) {
    if (FOwnSource) Forget(true);
    FOwnSource = std::make_unique<TpgwDataSetTableSource>(*table);
    // A table reached through a data source may go first; hear about it.
    if (table != FDataSet) FreeNotification(table);
  }
  return FOwnSource.get();
}

void TpgwDBDataset::Forget(bool table) {
  if (!table) return;
  if (FOwnSource && FHooked == FOwnSource.get()) {
    FHooked = nullptr;
    FSaveAfterOpen = FSaveBeforeClose = FSaveAfterRefresh = FSaveFieldsChange = TpgwTableHandler();
  }
  FFields.Clear();
  FOwnSource.reset();
  FBookmark.clear();
  FHasBookmark = false;
  FInitialized = false;
}

void TpgwDBDataset::Notification(TComponent* c, TOperation op) {
  if (op == opRemove) {
    if (FOwnSource && c == &FOwnSource->DataSet()) Forget(true);
    if (c == FDataSet) FDataSet = nullptr;
    if (c == FDataSource) FDataSource = nullptr;
  }
  TpgwCustomDBDataSet::Notification(c, op);
}

void TpgwDBDataset::Unhook() {
  if (!FHooked) return;
  IpgwTableSource* t = FHooked;
  FHooked = nullptr;
  t->SetHandler(thsAfterOpen, std::move(FSaveAfterOpen));
  t->SetHandler(thsBeforeClose, std::move(FSaveBeforeClose));
  t->SetHandler(thsAfterRefresh, std::move(FSaveAfterRefresh));
  t->SetHandler(thsFieldsChange, std::move(FSaveFieldsChange));
  FSaveAfterOpen = FSaveBeforeClose = FSaveAfterRefresh = FSaveFieldsChange = TpgwTableHandler();
}

void TpgwDBDataset::Initialize() {
  IpgwTableSource* t = DS();
  if (!t) throw Exception(Utf16ToUtf8(Format(ResourceGet("dbNotConn"), {TFormatArg(Name())})));
  // A second Initialize without Finalize must not save our own handlers as the table's.
  Unhook();
  FSaveAfterOpen = t->Handler(thsAfterOpen);
  FSaveBeforeClose = t->Handler(thsBeforeClose);
  FSaveAfterRefresh = t->Handler(thsAfterRefresh);
  FSaveFieldsChange = t->Handler(thsFieldsChange);
  FHooked = t;
  TpgwTableHandler h;
  h.Call = [this] {
    UpdateFields();
    if (FSaveAfterOpen && DS()) FSaveAfterOpen.Call();
  };
  t->SetHandler(thsAfterOpen, std::move(h));
  h = TpgwTableHandler();
  h.Call = [this] {
    if (FSaveBeforeClose) FSaveBeforeClose.Call();
    FreeBookmark();
    FInitialized = false;
  };
  t->SetHandler(thsBeforeClose, std::move(h));
  h = TpgwTableHandler();
  h.Call = [this] {
    if (FNeedFieldsUpdate) UpdateFields();
    if (FSaveAfterRefresh) FSaveAfterRefresh.Call();
  };
  t->SetHandler(thsAfterRefresh, std::move(h));
  h = TpgwTableHandler();
  h.Call = [this] {
    FNeedFieldsUpdate = true;
    if (FSaveFieldsChange) FSaveFieldsChange.Call();
  };
  t->SetHandler(thsFieldsChange, std::move(h));
  FDSEof = false;
  FInitialized = false;
}

void TpgwDBDataset::Finalize() {
  IpgwTableSource* t = DS();
  auto uninitialized = ScopeExit([this] { FInitialized = false; });
  if (t) {
    // Whatever fails, the table gets its handlers back.
    auto unhook = ScopeExit([this] { Unhook(); });
    if (FHasBookmark) {
      t->GotoBookmark(FBookmark);
      FreeBookmark();
    }
    FreeBookmark();
    if (FCloseDataSource) Close();
  }
}

void TpgwDBDataset::FreeBookmark() {
  if (FHasBookmark) {
    if (IpgwTableSource* t = FSource ? FSource : FOwnSource.get()) t->FreeBookmark(FBookmark);
  }
  FBookmark.clear();
  FHasBookmark = false;
}

void TpgwDBDataset::Open() {
  if (FInitialized) return;
  FInitialized = true;
  IpgwTableSource* t = DS();
  if (t) {
    if (!t->Active()) t->Open();
    UpdateFields();
    if (FRangeBegin == rbCurrent || FRangeEnd == reCurrent) {
      FBookmark = t->GetBookmark();
      FHasBookmark = true;
    } else {
      FreeBookmark();
    }
  }
  TpgwCustomDBDataSet::Open();
}

void TpgwDBDataset::Close() {
  TpgwCustomDBDataSet::Close();
  FreeBookmark();
  FInitialized = false;
  if (IpgwTableSource* t = DS()) t->Close();
}

void TpgwDBDataset::UpdateFields() {
  GetFieldList(FFields);
  IpgwTableSource* t = DS();
  for (int i = 0; i < FFields.Count(); ++i)
    FFields.SetObjects(i, t ? t->FindField(ConvertAlias(FFields[i])) : nullptr);
  FNeedFieldsUpdate = false;
}

void TpgwDBDataset::GetFieldList(TStringList& list) {
  list.Clear();
  const TStringList& aliases = const_cast<TpgwDBDataset*>(this)->FieldAliases();
  if (aliases.Count() > 0) {
    for (int i = 0; i < aliases.Count(); ++i) {
      const WideString name = aliases.Names(i);
      if (!name.empty() && name[0] == u'-') continue;
      list.Add(aliases.ValueFromIndex(i));
    }
    return;
  }
  IpgwTableSource* t = DS();
  if (!t) return;
  try {
    std::vector<WideString> names;
    t->GetFieldNames(names);
    for (const WideString& n : names) list.Add(n);
    t->GetAggregateFieldNames(names);
    for (const WideString& n : names) list.Add(n);
  } catch (const Exception&) {
    // A table that cannot list its fields offers none.
  }
}

void TpgwDBDataset::First() {
  OpenIfNeeded();
  if (IpgwTableSource* t = DS()) {
    if (FRangeBegin == rbCurrent && FHasBookmark)
      t->GotoBookmark(FBookmark);
    else
      t->First();
  }
  FDSEof = false;
  TpgwCustomDBDataSet::First();
}

void TpgwDBDataset::Next() {
  OpenIfNeeded();
  FDSEof = false;
  IpgwTableSource* t = DS();
  if (t && FRangeEnd == reCurrent && FHasBookmark) {
    TBookmark current = t->GetBookmark();
    if (t->CompareBookmarks(current, FBookmark) == 0) FDSEof = true;
    t->FreeBookmark(current);
  }
  const bool stay = (FRangeEnd == reCount && FRecNo + 1 >= FRangeEndCount) ||
                    (FRangeEnd == reCurrent && FRangeBegin == rbCurrent);
  if (t && !stay) t->Next();
  TpgwCustomDBDataSet::Next();
}

void TpgwDBDataset::Prior() {
  OpenIfNeeded();
  if (IpgwTableSource* t = DS()) t->Prior();
  TpgwCustomDBDataSet::Prior();
}

bool TpgwDBDataset::Eof() {
  OpenIfNeeded();
  const bool base = TpgwCustomDBDataSet::Eof();
  IpgwTableSource* t = DS();
  return base || !t || t->Eof() || FDSEof;
}

int TpgwDBDataset::RecordCount() {
  OpenIfNeeded();
  IpgwTableSource* t = DS();
  return t ? t->RecordCount() : 0;
}

bool TpgwDBDataset::IsHasMaster() {
  IpgwTableSource* t = DS();
  return t && t->HasMasterSource();
}

IpgwTableField* TpgwDBDataset::LookupField(const WideString& name, bool& found) const {
  int index = 0;
  found = FFields.Find(name, index);
  return found ? static_cast<IpgwTableField*>(FFields.Objects(index)) : nullptr;
}

WideString TpgwDBDataset::FieldErrorText(const WideString& name) const {
  return ResourceGet("dbFldNotFound") + u" " + UserName() + u".\"" + name + u"\"";
}

void TpgwDBDataset::AddFieldError(const WideString& text) {
  if (TpgwReport* report = ErrorReport()) report->Errors().Add(report->CurObject() + u": " + text);
}

Variant TpgwDBDataset::GetValue(const WideString& index) {
  OpenIfNeeded();
  bool found = false;
  IpgwTableField* f = LookupField(index, found);
  if (!f) {
    AddFieldError(FieldErrorText(found ? ConvertAlias(index) : index));
    return Variant::Null();
  }
  switch (f->Kind()) {
    case tfkBCD:
      if (f->IsNull()) return Variant::Null();
      return FBCDToCurrency ? Variant::FromCurrency(f->AsCurrency()) : Variant(f->AsFloat());
    case tfkLargeint:
      return f->IsNull() ? Variant::Null() : Variant::FromInt64(f->AsLargeInt());
    case tfkSQLTimeStamp:
      return f->IsNull() ? Variant::Null() : Variant::FromDateTime(f->AsDateTime());
    case tfkBlob:
    case tfkWideMemo:
      if (IsWideBlobType(f->BlobType())) return Variant::FromString(f->AsWideString(), varOleStr);
      return Variant::FromString(f->AsString(), varString);
    default:
      return f->AsVariant();
  }
}

WideString TpgwDBDataset::GetDisplayText(const WideString& index) {
  OpenIfNeeded();
  IpgwTableSource* t = DS();
  if (!t || !t->Active()) return UserName() + u".\"" + index + u"\"";
  if (FFields.Count() == 0) return t->FieldByName(index).DisplayText();
  bool found = false;
  IpgwTableField* f = LookupField(index, found);
  if (!f) {
    const WideString text = FieldErrorText(found ? ConvertAlias(index) : index);
    AddFieldError(text);
    return text;
  }
  if (f->Kind() == tfkWideString) {
    if (f->HasOwnTextHandler() && FDataSetOptions.Contains(dsoStringAsDisplayText)) return f->DisplayText();
    return VarToStr(f->AsVariant());
  }
  return f->DisplayText();
}

int TpgwDBDataset::GetDisplayWidth(const WideString& index) {
  IpgwTableSource* t = DS();
  if (!t) return 10;
  const WideString name = ConvertAlias(index);
  if (IpgwTableField* f = t->FindField(name)) return f->DisplayWidth();
  try {
    if (!t->FieldDefsUpdated()) t->UpdateFieldDefs();
  } catch (const Exception&) {
    // Stale definitions still answer below.
  }
  TpgwTableFieldDef def;
  if (!t->FindFieldDef(name, def)) return 10;
  switch (def.DataType) {
    case ftString:
    case ftWideString:
      return def.Size;
    case ftDateTime:
      return 20;
    case ftLargeint:
      return 15;
    default:
      return 10;
  }
}

TpgwFieldType TpgwDBDataset::GetFieldType(const WideString& index) {
  IpgwTableSource* t = DS();
  if (!t) return fftNumeric;
  const WideString name = ConvertAlias(index);
  if (IpgwTableField* f = t->FindField(name)) return FieldTypeOf(f->DataType());
  TFieldType type = ftInteger;
  try {
    if (!t->FieldDefsUpdated()) t->UpdateFieldDefs();
    TpgwTableFieldDef def;
    if (t->FindFieldDef(name, def)) type = def.DataType;
  } catch (const Exception&) {
    type = ftInteger;
  }
  return FieldTypeOf(type);
}

bool TpgwDBDataset::IsBlobField(const WideString& name) {
  OpenIfNeeded();
  bool found = false;
  IpgwTableField* f = LookupField(name, found);
  return f && f->IsBlob();
}

bool TpgwDBDataset::IsMemoBlobField(const WideString& name) {
  bool found = false;
  IpgwTableField* f = LookupField(name, found);
  return IsBlobKind(f) && (f->BlobType() == ftString || f->BlobType() == ftMemo);
}

bool TpgwDBDataset::IsWideMemoBlobField(const WideString& name) {
  bool found = false;
  IpgwTableField* f = LookupField(name, found);
  return IsBlobKind(f) && IsWideBlobType(f->BlobType());
}

void TpgwDBDataset::AssignBlobTo(const WideString& name, const TpgwBlobTarget& target) {
  OpenIfNeeded();
  bool found = false;
  IpgwTableField* f = LookupField(name, found);
  if (!f || !f->IsBlob()) return;
  if (target.Lines) {
    TMemoryStream ms;
    f->SaveToStream(ms);
    ms.SetPosition(0);
    if (f->Kind() == tfkWideMemo) {
      target.Lines->SetText(Utf16LeBytesToText(ms.ReadToEnd()));
    } else if (IsWideBlobType(f->BlobType())) {
      target.Lines->SetText(f->AsWideString());
    } else {
      TStringList plain;
      plain.LoadFromStream(ms);
      target.Lines->Assign(plain);
    }
  } else if (target.Stream) {
    if (f->Kind() == tfkWideMemo && dynamic_cast<TStringStream*>(target.Stream))
      target.Stream->WriteBuffer(Utf16ToUtf8(f->AsWideString()));
    else
      f->SaveToStream(*target.Stream);
    target.Stream->SetPosition(0);
  }
}

}  // namespace pagewright
