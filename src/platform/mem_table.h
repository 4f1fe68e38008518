// The runtime's data set and field classes over records held in memory, and the in-memory
// table the driver fills (TMemTable): field definitions, typed field storage (text as UTF-16),
// a cursor with bookmarks, edit states, and the event slots a data-set adapter hooks into.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/format.h"
#include "platform/streams.h"
#include "platform/types.h"
#include "platform/variant.h"

namespace pagewright {

enum TFieldType : uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo
};

enum TDataSetState : uint8_t { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

// Opaque record identity; empty when freed or not taken.
using TBookmark = std::vector<uint8_t>;

class TDataSet;
class TField;
class TFields;
struct TFieldValue;

using TDataSetNotifyEvent = std::function<void(TDataSet& dataSet)>;
using TFieldsChangeEvent = std::function<void(TFields& fields)>;
// A field's own text handler: sets `text` for the field's value; `displayText` tells whether
// the text is for display (DisplayText) or for editing (AsString).
using TFieldGetTextEvent = std::function<void(const TField& field, WideString& text, bool displayText)>;

class TFieldDef {
 public:
  TFieldDef(WideString name, TFieldType type, int size, bool required)
      : FName(std::move(name)), FDataType(type), FSize(size), FRequired(required) {}
  const WideString& Name() const { return FName; }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  bool Required() const { return FRequired; }

 private:
  WideString FName;
  TFieldType FDataType;
  int FSize;
  bool FRequired;
};

class TFieldDefs {
 public:
  // Raises EDatabaseError "Duplicate field name '%s'" for a name already defined (ignoring
  // case) and "Field '%s' is of an unknown type" for a type the table cannot store.
  TFieldDef& Add(const WideString& name, TFieldType type, int size = 0, bool required = false);
  int Count() const { return static_cast<int>(FItems.size()); }
  const TFieldDef& Items(int index) const;
  const TFieldDef& operator[](int index) const { return Items(index); }
  int IndexOf(std::u16string_view name) const;  // -1 when absent
  // Raises EDatabaseError "Field '%s' not found".
  const TFieldDef& Find(std::u16string_view name) const;
  void Clear() { FItems.clear(); }
  // The definitions of an in-memory table are its own source; nothing is stale.
  bool Updated() const { return true; }
  void Update() {}

 private:
  std::vector<std::unique_ptr<TFieldDef>> FItems;
};

// A field of the current record. One class, behaving by its DataType; the subclasses below
// name the kinds (TStringField, TBlobField, ...) so that callers can test for them.
class TField {
 public:
  TField(TDataSet& dataSet, int index, const TFieldDef& def);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;
  virtual ~TField() = default;
  virtual const char* ClassName() const = 0;

  TDataSet& DataSet() const { return FDataSet; }
  const WideString& FieldName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  bool Required() const { return FRequired; }
  int Index() const { return FIndex; }
  int FieldNo() const { return FIndex + 1; }
  bool IsBlob() const;
  // Blob fields: their data type (ftBlob, ftMemo, ftWideMemo, ftGraphic); others ftUnknown.
  TFieldType BlobType() const { return IsBlob() ? FDataType : ftUnknown; }

  bool IsNull() const;
  void Clear();

  // Reading and writing convert as the runtime's field classes do: text fields convert to
  // and from numbers and dates (EConvertError on text that does not convert), other kinds
  // refuse what they cannot hold with EDatabaseError "Cannot access field '%s' as type %s".
  // A null value of a numeric, Boolean or date field reads as 0 or False, and every null
  // value as empty text; writing empty text to a field that is not a text field clears it.
  WideString AsString() const;
  void SetAsString(const WideString& v);
  WideString AsWideString() const { return AsString(); }
  void SetAsWideString(const WideString& v) { SetAsString(v); }
  int32_t AsInteger() const;
  void SetAsInteger(int32_t v);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t v);
  double AsFloat() const;
  void SetAsFloat(double v);
  // Fixed point with 4 decimals, as a double.
  double AsCurrency() const;
  void SetAsCurrency(double v);
  bool AsBoolean() const;
  void SetAsBoolean(bool v);
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime v);
  // The value as the field's own variant kind (Null when null): text fields strings, integer
  // fields Smallint/Word/Integer/Int64, floats and currency fields Double, BCD Currency,
  // Booleans, dates and times Date, blobs and memos strings. Writing Null or Unassigned clears.
  Variant AsVariant() const;
  void SetAsVariant(const Variant& v);
  // Blob bytes: memo text as UTF-8, wide memo text as UTF-16LE, other blobs raw.
  std::string AsBytes() const;
  void SetAsBytes(std::string v);

  // The text shown for the value (the own text handler when there is one).
  WideString DisplayText() const;
  int DisplayWidth() const;
  void SetDisplayWidth(int v) { FDisplayWidth = v; }
  const TFieldGetTextEvent& OnGetText() const { return FOnGetText; }
  void SetOnGetText(TFieldGetTextEvent e) { FOnGetText = std::move(e); }

  // Blob fields: writes the bytes into / replaces them from a stream.
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

 private:
  friend class TDataSet;
  const TFieldValue& Read() const;
  TFieldValue& Write();
  [[noreturn]] void AccessError(const char* typeName) const;
  void CheckRange(int64_t v) const;
  void SetInteger(int64_t v);
  WideString Text(bool display) const;

  TDataSet& FDataSet;
  int FIndex;
  WideString FFieldName;
  TFieldType FDataType;
  int FSize;
  bool FRequired;
  int FDisplayWidth = -1;
  TFieldGetTextEvent FOnGetText;
};

#define PW_FIELD_CLASS(Name, Base)                           \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  };

PW_FIELD_CLASS(TStringField, TField)
PW_FIELD_CLASS(TWideStringField, TStringField)
PW_FIELD_CLASS(TNumericField, TField)
PW_FIELD_CLASS(TIntegerField, TNumericField)
PW_FIELD_CLASS(TSmallintField, TIntegerField)
PW_FIELD_CLASS(TWordField, TIntegerField)
PW_FIELD_CLASS(TLargeintField, TNumericField)
PW_FIELD_CLASS(TFloatField, TNumericField)
PW_FIELD_CLASS(TCurrencyField, TFloatField)
PW_FIELD_CLASS(TBCDField, TNumericField)
PW_FIELD_CLASS(TFMTBCDField, TNumericField)
PW_FIELD_CLASS(TBooleanField, TField)
PW_FIELD_CLASS(TDateTimeField, TField)
PW_FIELD_CLASS(TDateField, TDateTimeField)
PW_FIELD_CLASS(TTimeField, TDateTimeField)
PW_FIELD_CLASS(TSQLTimeStampField, TField)
PW_FIELD_CLASS(TBlobField, TField)
PW_FIELD_CLASS(TMemoField, TBlobField)
PW_FIELD_CLASS(TWideMemoField, TMemoField)
PW_FIELD_CLASS(TGraphicField, TBlobField)

#undef PW_FIELD_CLASS

class TFields {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TField& operator[](int index) const { return Fields(index); }
  TField& Fields(int index) const;
  // Case-insensitive; null when absent.
  TField* FindField(std::u16string_view name) const;
  // Raises EDatabaseError "Field '%s' not found".
  TField& FieldByName(std::u16string_view name) const;
  const TFieldsChangeEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TFieldsChangeEvent e) { FOnChange = std::move(e); }

 private:
  friend class TDataSet;
  std::vector<std::unique_ptr<TField>> FItems;
  TFieldsChangeEvent FOnChange;
};

// A data set whose records are held in memory. Text is UTF-16; each field keeps a value of
// its own kind. Operations that need an open data set raise EDatabaseError "Cannot perform
// this operation on a closed dataset"; writing a field outside Edit/Insert raises "Dataset
// not in edit or insert mode".
class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner = nullptr, TLifetime lifetime = TLifetime::ByOwner);
  ~TDataSet() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TFieldDefs& FieldDefs() { return FFieldDefs; }
  const TFieldDefs& FieldDefs() const { return FFieldDefs; }
  const TFields& Fields() const { return FFields; }
  TFields& Fields() { return FFields; }
  TField* FindField(std::u16string_view name) const { return FFields.FindField(name); }
  TField& FieldByName(std::u16string_view name) const { return FFields.FieldByName(name); }
  void GetFieldNames(std::vector<WideString>& names) const;
  // Aggregate fields are not maintained by this table; the list is always empty.
  void GetAggregateFieldNames(std::vector<WideString>& names) const { names.clear(); }
  // Master-detail links are not supported by this table.
  bool HasMasterSource() const { return false; }

  // Opening creates the fields from the definitions when there are none yet; the records
  // stay while the data set is closed.
  void Open();
  void Close();
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool v) { v ? Open() : Close(); }
  TDataSetState State() const { return FState; }
  // Re-reads the records: for memory storage only the refresh events run.
  void Refresh();

  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by `distance` records; returns how many records were actually passed.
  int MoveBy(int distance);
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  bool IsEmpty() const;
  int RecordCount() const;
  // 1-based position of the current record; 0 when there is none (empty data set or a new
  // record not posted yet).
  int RecNo() const;
  void SetRecNo(int recNo);

  // Append adds the new record at the end, Insert before the current one; both enter
  // dsInsert. Edit enters dsEdit (Append on an empty data set). Post stores the record
  // (EDatabaseError "Field '%s' must have a value" for an empty required field); Cancel
  // drops the changes. Delete removes the current record ("Cannot perform this operation on
  // an empty dataset" when there is none). Moving the cursor posts pending changes first.
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Removes every record.
  void EmptyDataSet();

  TBookmark GetBookmark() const;
  // Raises EDatabaseError "Record not found" when the bookmark names no record.
  void GotoBookmark(const TBookmark& bookmark);
  void FreeBookmark(TBookmark& bookmark) const { bookmark.clear(); }
  bool BookmarkValid(const TBookmark& bookmark) const;
  // -1, 0 or 1 by record order; an empty bookmark sorts first.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

  // Blob fields of the current record as a stream: bmRead reads a copy of the bytes, bmWrite
  // starts empty, bmReadWrite starts with the bytes; writes reach the field at once (the data
  // set must be in Edit or Insert).
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

  void DisableControls() { ++FDisableCount; }
  void EnableControls() {
    if (FDisableCount > 0) --FDisableCount;
  }
  bool ControlsDisabled() const { return FDisableCount > 0; }

#define PW_EVENT(Name)                      \
  const TDataSetNotifyEvent& Name() const { \
    return F##Name;                         \
  }                                         \
  void Set##Name(TDataSetNotifyEvent e) {   \
    F##Name = std::move(e);                 \
  }
  PW_EVENT(BeforeOpen)
  PW_EVENT(AfterOpen)
  PW_EVENT(BeforeClose)
  PW_EVENT(AfterClose)
  PW_EVENT(BeforeInsert)
  PW_EVENT(AfterInsert)
  PW_EVENT(BeforeEdit)
  PW_EVENT(AfterEdit)
  PW_EVENT(BeforePost)
  PW_EVENT(AfterPost)
  PW_EVENT(BeforeCancel)
  PW_EVENT(AfterCancel)
  PW_EVENT(BeforeDelete)
  PW_EVENT(AfterDelete)
  PW_EVENT(BeforeScroll)
  PW_EVENT(AfterScroll)
  PW_EVENT(BeforeRefresh)
  PW_EVENT(AfterRefresh)
  PW_EVENT(OnNewRecord)
#undef PW_EVENT

 protected:
  // Builds the field objects from the definitions (dropping the records).
  void CreateFields();
  void CheckActive() const;

 private:
  friend class TField;
  friend class TBlobStream;
  struct Record;

  void Fire(const TDataSetNotifyEvent& e) {
    if (e) e(*this);
  }
  void CheckBrowseMode();
  void BeginInsert(bool append);
  bool HasCurrent() const;
  int IndexOfId(uint64_t id) const;
  // The record the fields read: the edit buffer in dsEdit/dsInsert, else the current record;
  // null without one.
  const Record* ActiveRecord() const;
  Record& EditRecord();
  Record NewRecord();

  TFieldDefs FFieldDefs;
  TFields FFields;
  std::vector<Record> FRecords;
  std::unique_ptr<Record> FBuffer;  // the record being edited or inserted
  bool FModified = false;
  int FInsertAt = 0;
  uint64_t FNextId = 1;
  int FCurrent = -1;
  bool FBof = true;
  bool FEof = true;
  TDataSetState FState = dsInactive;
  int FDisableCount = 0;

  TDataSetNotifyEvent FBeforeOpen, FAfterOpen, FBeforeClose, FAfterClose, FBeforeInsert, FAfterInsert,
      FBeforeEdit, FAfterEdit, FBeforePost, FAfterPost, FBeforeCancel, FAfterCancel, FBeforeDelete,
      FAfterDelete, FBeforeScroll, FAfterScroll, FBeforeRefresh, FAfterRefresh, FOnNewRecord;
};

// The in-memory table: defined through FieldDefs, created with CreateDataSet.
class TMemTable : public TDataSet {
 public:
  using TDataSet::TDataSet;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // Creates empty storage and the fields from FieldDefs (closing the table first), then
  // opens it.
  void CreateDataSet();
};

}  // namespace pagewright
