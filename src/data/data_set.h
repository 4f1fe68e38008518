// Data sets: the engine's named cursor over records, with a record range, host events and the
// field protocol bands, text objects and expressions read through; the data set whose values
// come from host events; the process-wide list of data sets and lookup by name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_list.h"
#include "platform/types.h"
#include "platform/variant.h"
#include "report/component.h"
#include "report/services.h"

namespace pagewright {

class TStream;
class TpgwReport;
class TpgwReportDataSets;

// Components that live on dialog pages; data sets are among them. They draw nothing.
class TpgwDialogComponent : public TpgwReportComponent {
 public:
  explicit TpgwDialogComponent(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  bool IsDialogComponent() const override { return true; }
  void Draw(void*, Extended, Extended, Extended, Extended) override {}
};

enum TpgwRangeBegin : uint8_t { rbFirst, rbCurrent };
enum TpgwRangeEnd : uint8_t { reLast, reCurrent, reCount };
enum TpgwFieldType : uint8_t { fftNumeric, fftString, fftBoolean, fftDateTime };
enum TpgwDataSetOption : uint8_t { dsoStringAsDisplayText };
using TpgwDataSetOptions = Set<TpgwDataSetOption>;

const TEnumInfo& TpgwRangeBeginInfo();
const TEnumInfo& TpgwRangeEndInfo();
const TEnumInfo& TpgwFieldTypeInfo();
const TEnumInfo& TpgwDataSetOptionsInfo();

class TpgwDataSet;

// Host events. The sender comes first, as the host writes them.
using TpgwNotifyEvent = std::function<void(TpgwDataSet& sender)>;
using TpgwCheckEOFEvent = std::function<void(TpgwDataSet& sender, bool& eof)>;
using TpgwGetValueEvent = std::function<void(const WideString& varName, Variant& value)>;
using TpgwNewGetValueEvent =
    std::function<void(TpgwDataSet& sender, const WideString& varName, Variant& value)>;

// Where a blob goes: the lines of a text object, or a stream. Exactly one is set.
struct TpgwBlobTarget {
  TStringList* Lines = nullptr;
  TStream* Stream = nullptr;
};
using TpgwGetBlobValueEvent =
    std::function<void(TpgwDataSet& sender, const WideString& fieldName, const TpgwBlobTarget& target)>;
using TpgwIsBlobFieldEvent = std::function<bool(TpgwDataSet& sender, const WideString& fieldName)>;

class TpgwDataSet : public TpgwDialogComponent {
 public:
  explicit TpgwDataSet(TComponent* owner);
  ~TpgwDataSet() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // Keeps UserName following the component name while the two agree.
  void SetName(const WideString& name) override;

  // --- field protocol (the indexed properties DisplayText, DisplayWidth, FieldType, Value) --------
  virtual WideString GetDisplayText(const WideString& index);
  virtual int GetDisplayWidth(const WideString& index);
  virtual TpgwFieldType GetFieldType(const WideString& index);
  virtual Variant GetValue(const WideString& index);
  WideString DisplayText(const WideString& index) { return GetDisplayText(index); }
  int DisplayWidth(const WideString& index) { return GetDisplayWidth(index); }
  TpgwFieldType FieldType(const WideString& index) { return GetFieldType(index); }
  Variant Value(const WideString& index) { return GetValue(index); }

  // --- cursor ----------------------------------------------------------------------------------------
  virtual void Initialize() {}
  virtual void Finalize() {}
  virtual void Open();
  virtual void Close();
  virtual void First();
  virtual void Next();
  virtual void Prior();
  virtual bool Eof();
  virtual int FieldsCount();
  virtual bool IsBlobField(const WideString& name);
  virtual bool IsWideMemoBlobField(const WideString& name);
  virtual bool IsMemoBlobField(const WideString& name);
  virtual bool IsHasMaster();
  virtual int RecordCount();
  virtual void AssignBlobTo(const WideString& name, const TpgwBlobTarget& target);
  virtual void GetFieldList(TStringList& list);
  // Exact search of the names GetFieldList gives.
  bool HasField(const WideString& name);

  // --- properties ----------------------------------------------------------------------------------
  bool CloseDataSource() const { return FCloseDataSource; }
  void SetCloseDataSource(bool v) { FCloseDataSource = v; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v) { FEnabled = v; }
  bool OpenDataSource() const { return FOpenDataSource; }
  void SetOpenDataSource(bool v) { FOpenDataSource = v; }
  TpgwRangeBegin RangeBegin() const { return FRangeBegin; }
  void SetRangeBegin(TpgwRangeBegin v) { FRangeBegin = v; }
  TpgwRangeEnd RangeEnd() const { return FRangeEnd; }
  void SetRangeEnd(TpgwRangeEnd v) { FRangeEnd = v; }
  int RangeEndCount() const { return FRangeEndCount; }
  void SetRangeEndCount(int v) { FRangeEndCount = v; }
  TpgwReport* ReportRef() const { return FReportRef; }
  void SetReportRef(TpgwReport* v);
  const WideString& UserName() const { return FUserName; }
  // Raises with the message of "prInvProp" for a name that is empty after trimming.
  virtual void SetUserName(const WideString& v);
  int RecNo() const { return FRecNo; }

  // Host events.
  TpgwCheckEOFEvent OnCheckEOF;
  TpgwNotifyEvent OnFirst, OnNext, OnPrior, OnOpen, OnClose;

 protected:
  void Notification(TComponent* c, TOperation op) override;
  // The report whose error list receives field errors: ReportRef, else the tree's report.
  TpgwReport* ErrorReport() const;

  bool FCloseDataSource = false;
  bool FEnabled = true;
  bool FEof = false;
  bool FOpenDataSource = true;
  TpgwRangeBegin FRangeBegin = rbFirst;
  TpgwRangeEnd FRangeEnd = reLast;
  int FRangeEndCount = 0;
  TpgwReport* FReportRef = nullptr;
  WideString FUserName;
  bool FInitialized = false;
  int FRecNo = 0;
};

// A data set whose fields are a fixed list of names and whose values come from host events.
class TpgwUserDataSet : public TpgwDataSet {
 public:
  explicit TpgwUserDataSet(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  TStringList& Fields() { return FFields; }
  void SetFields(const TStringList& v) { FFields.Assign(v); }

  void GetFieldList(TStringList& list) override;
  int FieldsCount() override { return FFields.Count(); }
  Variant GetValue(const WideString& index) override;
  WideString GetDisplayText(const WideString& index) override;
  bool IsBlobField(const WideString& name) override;
  void AssignBlobTo(const WideString& name, const TpgwBlobTarget& target) override;

  TpgwGetValueEvent OnGetValue;
  TpgwNewGetValueEvent OnNewGetValue;
  TpgwGetBlobValueEvent OnGetBlobValue;
  TpgwIsBlobFieldEvent OnIsBlobField;

 private:
  TStringList FFields;
};

// Every data set of the process, in creation order. The lock operations are kept for callers
// that bracket their use; the list is used by the report thread only.
class TpgwGlobalDataSetList {
 public:
  void Lock() {}
  void Unlock() {}
  int Count() const { return static_cast<int>(FItems.size()); }
  TpgwDataSet* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
  void Add(TpgwDataSet* ds) { FItems.push_back(ds); }
  void Remove(TpgwDataSet* ds);

 private:
  std::vector<TpgwDataSet*> FItems;
};
TpgwGlobalDataSetList& pgwDataSetList();

// Lookup by name from a component: through the process-wide list when the component belongs
// to no report or its report uses the global list (an empty name finds nothing; without a
// report, or when nothing matches, `defaultDataSet`; data sets owned by another report are
// skipped), else through the report's EnabledDataSets.
TComponent* FindDataSetByName(TComponent* from, TComponent* defaultDataSet, std::u16string_view name);

// The operations of a report's data-set list that reach into the data sets themselves.
// Sets each data set's ReportRef to the list's report, then initializes it.
void InitializeDataSets(TpgwReportDataSets& list);
// Finalizes each listed data set.
void FinalizeDataSets(TpgwReportDataSets& list);
// Removes the first item whose data set's user name matches (ignoring case); false when none.
bool DeleteDataSet(TpgwReportDataSets& list, std::u16string_view name);

// A field's value for a report: null becomes 0, "", False or 0 by the field's type when the
// data set's report converts nulls (the default, also without a report).
Variant ReportFieldValue(TpgwDataSet& dataSet, const WideString& fieldName);

// The data sets as reports reach them (report/services.h).
IpgwDataService& ReportDataService();

// Start-up: registers the data-set classes.
void RegisterDataClasses();

}  // namespace pagewright
