// What the data-set adapter needs of a table, as an interface, so that any table (the in-memory
// table, later a query or a CSV file) can stand behind the adapter; and its implementation over
// the runtime's TDataSet. A table-side data source (TDataSource) is here too: the adapter may be
// pointed at a data source instead of a table.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/mem_table.h"
#include "platform/types.h"
#include "platform/variant.h"

namespace pagewright {

class TStream;

// The field classes whose values the adapter reads in their own way.
enum TpgwTableFieldKind : uint8_t {
  tfkOther,
  tfkWideString,    // a wide-string field (TWideStringField)
  tfkBCD,           // fixed-point BCD (TBCDField, TFMTBCDField)
  tfkLargeint,      // 64-bit integer (TLargeintField)
  tfkSQLTimeStamp,  // SQL timestamp (TSQLTimeStampField)
  tfkBlob,          // a blob field (TBlobField and descendants other than the wide memo)
  tfkWideMemo       // a wide memo (TWideMemoField); also a blob
};

// One field of the table's current record.
class IpgwTableField {
 public:
  virtual ~IpgwTableField() = default;
  virtual TpgwTableFieldKind Kind() const = 0;
  virtual const WideString& FieldName() const = 0;
  virtual bool IsNull() const = 0;
  virtual Variant AsVariant() const = 0;
  // Currency as its amount (4 decimals).
  virtual Extended AsCurrency() const = 0;
  virtual double AsFloat() const = 0;
  virtual int64_t AsLargeInt() const = 0;
  virtual TDateTime AsDateTime() const = 0;
  virtual WideString AsString() const = 0;
  virtual WideString AsWideString() const = 0;
  virtual WideString DisplayText() const = 0;
  virtual int DisplayWidth() const = 0;
  virtual TFieldType DataType() const = 0;
  // Whether the field has a text handler of its own.
  virtual bool HasOwnTextHandler() const = 0;
  // The field's own answer to whether it is a blob.
  virtual bool IsBlob() const = 0;
  // Blobs: their blob type (ftBlob, ftMemo, ftWideMemo ...); others ftUnknown.
  virtual TFieldType BlobType() const = 0;
  virtual void SaveToStream(TStream& stream) const = 0;
};

// The four table handler slots the adapter hooks into while a report runs.
enum TpgwTableHandlerSlot : uint8_t { thsAfterOpen, thsBeforeClose, thsAfterRefresh, thsFieldsChange };

// A handler taken out of a slot: callable, and put back unchanged by SetHandler.
struct TpgwTableHandler {
  std::function<void()> Call;  // empty when the slot held nothing
  std::any Native;             // the table's own handler object, for an exact restore
  explicit operator bool() const { return static_cast<bool>(Call); }
};

// A field definition as the adapter reads it.
struct TpgwTableFieldDef {
  TFieldType DataType = ftUnknown;
  int Size = 0;
};

class IpgwTableSource {
 public:
  virtual ~IpgwTableSource() = default;

  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual bool Active() const = 0;
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual void Prior() = 0;
  virtual bool Eof() const = 0;
  virtual int RecordCount() const = 0;

  virtual TBookmark GetBookmark() const = 0;
  virtual void GotoBookmark(const TBookmark& bookmark) = 0;
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) const = 0;
  virtual void FreeBookmark(TBookmark& bookmark) const = 0;

  // Null when the table has no field of that name (case-insensitive). The object lives as long
  // as the source.
  virtual IpgwTableField* FindField(std::u16string_view name) = 0;
  // The same, raising the table's own error when the field is missing.
  virtual IpgwTableField& FieldByName(std::u16string_view name) = 0;
  virtual void GetFieldNames(std::vector<WideString>& names) const = 0;
  virtual void GetAggregateFieldNames(std::vector<WideString>& names) const = 0;

  virtual bool FieldDefsUpdated() const = 0;
  virtual void UpdateFieldDefs() = 0;
  // False when the table has no definition of that name.
  virtual bool FindFieldDef(std::u16string_view name, TpgwTableFieldDef& def) const = 0;

  virtual bool HasMasterSource() const = 0;

  virtual TpgwTableHandler Handler(TpgwTableHandlerSlot slot) const = 0;
  // Installs `handler`: one taken out by Handler goes back as it was; any other is called
  // with no arguments.
  virtual void SetHandler(TpgwTableHandlerSlot slot, TpgwTableHandler handler) = 0;
};

// The table source over a runtime data set (the in-memory table).
class TpgwDataSetTableSource : public IpgwTableSource {
 public:
  explicit TpgwDataSetTableSource(TDataSet& dataSet);
  ~TpgwDataSetTableSource() override;
  TDataSet& DataSet() const { return FDataSet; }

  void Open() override { FDataSet.Open(); }
  void Close() override { FDataSet.Close(); }
  bool Active() const override { return FDataSet.Active(); }
  void First() override { FDataSet.First(); }
  void Next() override { FDataSet.Next(); }
  void Prior() override { FDataSet.Prior(); }
  bool Eof() const override { return FDataSet.Eof(); }
  int RecordCount() const override { return FDataSet.RecordCount(); }
  TBookmark GetBookmark() const override { return FDataSet.GetBookmark(); }
  void GotoBookmark(const TBookmark& bookmark) override { FDataSet.GotoBookmark(bookmark); }
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const override {
    return FDataSet.CompareBookmarks(a, b);
  }
  void FreeBookmark(TBookmark& bookmark) const override { FDataSet.FreeBookmark(bookmark); }
  IpgwTableField* FindField(std::u16string_view name) override;
  IpgwTableField& FieldByName(std::u16string_view name) override;
  void GetFieldNames(std::vector<WideString>& names) const override { FDataSet.GetFieldNames(names); }
  void GetAggregateFieldNames(std::vector<WideString>& names) const override {
    FDataSet.GetAggregateFieldNames(names);
  }
  bool FieldDefsUpdated() const override { return FDataSet.FieldDefs().Updated(); }
  void UpdateFieldDefs() override { FDataSet.FieldDefs().Update(); }
  bool FindFieldDef(std::u16string_view name, TpgwTableFieldDef& def) const override;
  bool HasMasterSource() const override { return FDataSet.HasMasterSource(); }
  TpgwTableHandler Handler(TpgwTableHandlerSlot slot) const override;
  void SetHandler(TpgwTableHandlerSlot slot, TpgwTableHandler handler) override;

 private:
  class Field;
  IpgwTableField* Wrap(TField& field);

  TDataSet& FDataSet;
  // One wrapper per field position; a wrapper is re-pointed when the table rebuilds its fields,
  // so pointers handed out stay valid for the source's life.
  std::vector<std::unique_ptr<Field>> FFields;
};

// A data source: names the table that data-aware parts read.
class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner = nullptr);
  ~TDataSource() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* v);

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  TDataSet* FDataSet = nullptr;
};

}  // namespace pagewright
