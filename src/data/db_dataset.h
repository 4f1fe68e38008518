// Data sets over a database table: field aliases and the cached field list, and the adapter
// over one table that a report run iterates.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "data/data_set.h"
#include "data/table_source.h"
#include "platform/mem_table.h"
#include "platform/string_list.h"

namespace pagewright {

class TpgwCustomDBDataSet : public TpgwDataSet {
 public:
  explicit TpgwCustomDBDataSet(TComponent* owner);
  ~TpgwCustomDBDataSet() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // Lines "table field name=alias"; a field name starting with "-" hides the field.
  TStringList& FieldAliases() { return FFieldAliases; }
  void SetFieldAliases(const TStringList& v) { FFieldAliases.Assign(v); }
  // Alias to table field name, and back; a name without a line comes back unchanged.
  WideString ConvertAlias(const WideString& alias) const;
  WideString GetAlias(const WideString& fieldName) const;

  int FieldsCount() override;

 protected:
  // The engine's field names (aliases where defined), sorted and case-insensitive, each with
  // the table field that serves it (null when none).
  TStringList FFields;

 private:
  TStringList FFieldAliases;
};

class TpgwDBDataset : public TpgwCustomDBDataSet {
 public:
  explicit TpgwDBDataset(TComponent* owner);
  ~TpgwDBDataset() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // The table: a runtime data set, a data source's data set, or any other table source.
  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* v);
  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* v);
  // Another kind of table (not owned); clears DataSet and DataSource.
  void SetTableSource(IpgwTableSource* v);
  // The effective table, or null.
  IpgwTableSource* DS();

  bool BCDToCurrency() const { return FBCDToCurrency; }
  void SetBCDToCurrency(bool v) { FBCDToCurrency = v; }
  TpgwDataSetOptions DataSetOptions() const { return FDataSetOptions; }
  void SetDataSetOptions(TpgwDataSetOptions v) { FDataSetOptions = v; }
  // DataSet and DataSource are written to templates only by an adapter outside a report.
  bool IsTableStored() const { return Report() == nullptr; }

  void Initialize() override;
  void Finalize() override;
  void Open() override;
  void Close() override;
  void First() override;
  void Next() override;
  void Prior() override;
  bool Eof() override;
  int RecordCount() override;
  bool IsHasMaster() override;
  void GetFieldList(TStringList& list) override;
  Variant GetValue(const WideString& index) override;
  WideString GetDisplayText(const WideString& index) override;
  int GetDisplayWidth(const WideString& index) override;
  TpgwFieldType GetFieldType(const WideString& index) override;
  bool IsBlobField(const WideString& name) override;
  bool IsMemoBlobField(const WideString& name) override;
  bool IsWideMemoBlobField(const WideString& name) override;
  void AssignBlobTo(const WideString& name, const TpgwBlobTarget& target) override;

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  void OpenIfNeeded() {
    if (!FInitialized) Open();
  }
  void UpdateFields();
  // The field serving `name` in the field list, or null; `found` tells whether the name is in the list.
  IpgwTableField* LookupField(const WideString& name, bool& found) const;
  // "<UserName>.\"<name>\"".
  WideString FieldErrorText(const WideString& name) const;
  void AddFieldError(const WideString& text);
  void FreeBookmark();
  void Unhook();
  void Forget(bool table);

  TBookmark FBookmark;
  bool FHasBookmark = false;
  TDataSet* FDataSet = nullptr;
  TDataSource* FDataSource = nullptr;
  IpgwTableSource* FSource = nullptr;  // set through SetTableSource
  std::unique_ptr<TpgwDataSetTableSource> FOwnSource;
  bool FDSEof = false;
  bool FBCDToCurrency = false;
  IpgwTableSource* FHooked = nullptr;  // the table whose handlers are saved below
  TpgwTableHandler FSaveAfterOpen, FSaveBeforeClose, FSaveAfterRefresh, FSaveFieldsChange;
  bool FNeedFieldsUpdate = false;
  TpgwDataSetOptions FDataSetOptions;
};

}  // namespace pagewright
