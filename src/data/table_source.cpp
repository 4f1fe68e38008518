#include "data/table_source.h"

#include "platform/properties.h"
#include "platform/streams.h"

namespace pagewright {

namespace {

TpgwTableFieldKind KindOf(const TField& f) {
  if (dynamic_cast<const TWideMemoField*>(&f)) return tfkWideMemo;
  if (dynamic_cast<const TBlobField*>(&f)) return tfkBlob;
  if (dynamic_cast<const TWideStringField*>(&f)) return tfkWideString;
  if (dynamic_cast<const TBCDField*>(&f) || dynamic_cast<const TFMTBCDField*>(&f)) return tfkBCD;
  if (dynamic_cast<const TLargeintField*>(&f)) return tfkLargeint;
  if (dynamic_cast<const TSQLTimeStampField*>(&f)) return tfkSQLTimeStamp;
  return tfkOther;
}

}  // namespace

class TpgwDataSetTableSource::Field : public IpgwTableField {
 public:
  explicit Field(TField& f) { Point(f); }
  void Point(TField& f) {
    FField = &f;
    FKind = KindOf(f);
  }
  TField* Target() const { return FField; }

  TpgwTableFieldKind Kind() const override { return FKind; }
  const WideString& FieldName() const override { return FField->FieldName(); }
  bool IsNull() const override { return FField->IsNull(); }
  Variant AsVariant() const override { return FField->AsVariant(); }
  Extended AsCurrency() const override { return FField->AsCurrency(); }
  double AsFloat() const override { return FField->AsFloat(); }
  int64_t AsLargeInt() const override { return FField->AsLargeInt(); }
  TDateTime AsDateTime() const override { return FField->AsDateTime(); }
  WideString AsString() const override { return FField->AsString(); }
  WideString AsWideString() const override { return FField->AsWideString(); }
  WideString DisplayText() const override { return FField->DisplayText(); }
  int DisplayWidth() const override { return FField->DisplayWidth(); }
  TFieldType DataType() const override { return FField->DataType(); }
  bool HasOwnTextHandler() const override { return static_cast<bool>(FField->OnGetText()); }
  bool IsBlob() const override { return FField->IsBlob(); }
  TFieldType BlobType() const override { return FField->BlobType(); }
  void SaveToStream(TStream& stream) const override { FField->SaveToStream(stream); }

 private:
  TField* FField = nullptr;
  TpgwTableFieldKind FKind = tfkOther;
};

TpgwDataSetTableSource::TpgwDataSetTableSource(TDataSet& dataSet) : FDataSet(dataSet) {}
TpgwDataSetTableSource::~TpgwDataSetTableSource() = default;

IpgwTableField* TpgwDataSetTableSource::Wrap(TField& field) {
  const auto i = static_cast<size_t>(field.Index());
  if (FFields.size() <= i) FFields.resize(i + 1);
  if (!FFields[i])
    FFields[i] = std::make_unique<Field>(field);
  else if (FFields[i]->Target() != &field)
    FFields[i]->Point(field);
  return FFields[i].get();
}

IpgwTableField* TpgwDataSetTableSource::FindField(std::u16string_view name) {
  TField* f = FDataSet.FindField(name);
  return f ? Wrap(*f) : nullptr;
}

IpgwTableField& TpgwDataSetTableSource::FieldByName(std::u16string_view name) {
  return *Wrap(FDataSet.FieldByName(name));
}

bool TpgwDataSetTableSource::FindFieldDef(std::u16string_view name, TpgwTableFieldDef& def) const {
  const int i = FDataSet.FieldDefs().IndexOf(name);
  if (i < 0) return false;
  const TFieldDef& d = FDataSet.FieldDefs().Items(i);
  def.DataType = d.DataType();
  def.Size = d.Size();
  return true;
}

TpgwTableHandler TpgwDataSetTableSource::Handler(TpgwTableHandlerSlot slot) const {
  TpgwTableHandler h;
  TDataSet* ds = &FDataSet;
  if (slot == thsFieldsChange) {
    const TFieldsChangeEvent& e = FDataSet.Fields().OnChange();
    if (e) {
      h.Call = [e, ds] { e(ds->Fields()); };
      h.Native = e;
    }
    return h;
  }
  const TDataSetNotifyEvent& e = slot == thsAfterOpen     ? FDataSet.AfterOpen()
                                 : slot == thsBeforeClose ? FDataSet.BeforeClose()
                                                          : FDataSet.AfterRefresh();
  if (e) {
    h.Call = [e, ds] { e(*ds); };
    h.Native = e;
  }
  return h;
}

void TpgwDataSetTableSource::SetHandler(TpgwTableHandlerSlot slot, TpgwTableHandler handler) {
  if (slot == thsFieldsChange) {
    TFieldsChangeEvent e;
    if (const auto* native = std::any_cast<TFieldsChangeEvent>(&handler.Native))
      e = *native;
    else if (handler.Call)
      e = [call = std::move(handler.Call)](TFields&) { call(); };
    FDataSet.Fields().SetOnChange(std::move(e));
    return;
  }
  TDataSetNotifyEvent e;
  if (const auto* native = std::any_cast<TDataSetNotifyEvent>(&handler.Native))
    e = *native;
  else if (handler.Call)
    e = [call = std::move(handler.Call)](TDataSet&) { call(); };
  switch (slot) {
    case thsAfterOpen:
      FDataSet.SetAfterOpen(std::move(e));
      break;
    case thsBeforeClose:
      FDataSet.SetBeforeClose(std::move(e));
      break;
    default:
      FDataSet.SetAfterRefresh(std::move(e));
      break;
  }
}

// ---- data source ----------------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
}

const TClassInfo& TDataSource::StaticClassInfo() {
  using T = TDataSource;
  static const TClassInfo& info = Describe<T>("TDataSource")
                                      .Parent<TComponent>()
                                      .Reference("DataSet", &T::DataSet, &T::SetDataSet)
                                      .Build();
  return info;
}

const TClassInfo& TDataSource::ClassInfo() const {
  return StaticClassInfo();
}

void TDataSource::SetDataSet(TDataSet* v) {
  if (v == FDataSet) return;
  if (FDataSet) RemoveFreeNotification(FDataSet);
  FDataSet = v;
  if (FDataSet) FreeNotification(FDataSet);
}

void TDataSource::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c == FDataSet) FDataSet = nullptr;
  TComponent::Notification(c, op);
}

}  // namespace pagewright
