#include "data/db_dataset.h"

#include <gtest/gtest.h>

#include "common/label_record.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright {
namespace {

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

template <class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

// Five records, ids 1..5, names "r1".."r5".
std::unique_ptr<TMemTable> FiveRecords() {
  auto t = std::make_unique<TMemTable>();
  t->FieldDefs().Add(u"id", ftInteger);
  t->FieldDefs().Add(u"name", ftString, 10);
  t->CreateDataSet();
  for (int i = 1; i <= 5; ++i) {
    t->Append();
    t->FieldByName(u"id").SetAsInteger(i);
    t->FieldByName(u"name").SetAsString(u"r" + Utf8ToUtf16(std::to_string(i)));
    t->Post();
  }
  return t;
}

std::vector<int> Iterate(TpgwDataSet& ds) {
  std::vector<int> ids;
  ds.First();
  while (!ds.Eof() && ids.size() < 20) {
    ids.push_back(ds.GetValue(u"id").AsInteger());
    ds.Next();
  }
  return ids;
}

struct RangeCase {
  TpgwRangeBegin begin;
  TpgwRangeEnd end;
  int count;     // RangeEndCount
  int startRec;  // the table's record when the adapter opens
  std::vector<int> ids;
};

TEST(DBDatasetRange, EachModeYieldsItsRecordsAndFinalizeReturnsToTheOpeningRecord) {
  const RangeCase cases[] = {
      {rbFirst, reLast, 0, 3, {1, 2, 3, 4, 5}},  {rbCurrent, reLast, 0, 3, {3, 4, 5}},
      {rbFirst, reCurrent, 0, 3, {1, 2, 3}},     {rbCurrent, reCurrent, 0, 3, {3}},
      {rbCurrent, reCurrent, 0, 5, {5}},         {rbFirst, reCount, 0, 1, {}},
      {rbFirst, reCount, 3, 2, {1, 2, 3}},       {rbFirst, reCount, 5, 2, {1, 2, 3, 4, 5}},
      {rbFirst, reCount, 8, 2, {1, 2, 3, 4, 5}}, {rbCurrent, reCount, 2, 4, {4, 5}},
      {rbCurrent, reCount, 3, 4, {4, 5}},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "begin " << c.begin << " end " << c.end << " count " << c.count
                                    << " start " << c.startRec);
    auto table = FiveRecords();
    table->SetRecNo(c.startRec);
    TpgwDBDataset ds(nullptr);
    ds.SetDataSet(table.get());
    ds.SetRangeBegin(c.begin);
    ds.SetRangeEnd(c.end);
    ds.SetRangeEndCount(c.count);
    ds.Initialize();
    EXPECT_EQ(Iterate(ds), c.ids);
    ds.Finalize();
    // With a bookmark (current-record ranges) the table goes back to the opening record.
    if (c.begin == rbCurrent || c.end == reCurrent) {
      EXPECT_EQ(table->RecNo(), c.startRec);
    }
  }
}

TEST(DBDatasetRange, CountedRangeStopsWithoutMovingTheTable) {
  auto table = FiveRecords();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetRangeEnd(reCount);
  ds.SetRangeEndCount(3);
  ds.Initialize();
  ds.First();
  ds.Next();
  ds.Next();
  EXPECT_EQ(table->RecNo(), 3);
  ds.Next();  // past the range: the table stays on record 3
  EXPECT_EQ(table->RecNo(), 3);
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecordCount(), 5);
  ds.Finalize();
}

TEST(DataSetRange, BaseCountedRangeAndCheckEofEvent) {
  TpgwUserDataSet ds(nullptr);
  ds.SetRangeEnd(reCount);
  ds.SetRangeEndCount(3);
  EXPECT_EQ(ds.RecordCount(), 3);
  int nexts = 0;
  ds.OnNext = [&](TpgwDataSet&) { ++nexts; };
  ds.First();
  ds.Next();
  ds.Next();
  EXPECT_FALSE(ds.Eof());
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(nexts, 2);  // the step past the range is not announced
  ds.OnCheckEOF = [](TpgwDataSet&, bool& eof) { eof = false; };
  EXPECT_FALSE(ds.Eof());
  ds.SetRangeBegin(rbCurrent);
  EXPECT_EQ(ds.RecordCount(), 0);
}

// ---- values -------------------------------------------------------------------------------------

// One record with a value in every field, one with every field null.
std::unique_ptr<TMemTable> AllKinds() {
  auto t = std::make_unique<TMemTable>();
  t->FieldDefs().Add(u"s", ftString, 20);
  t->FieldDefs().Add(u"w", ftWideString, 20);
  t->FieldDefs().Add(u"i", ftInteger);
  t->FieldDefs().Add(u"big", ftLargeint);
  t->FieldDefs().Add(u"f", ftFloat);
  t->FieldDefs().Add(u"bcd", ftBCD);
  t->FieldDefs().Add(u"b", ftBoolean);
  t->FieldDefs().Add(u"d", ftDateTime);
  t->FieldDefs().Add(u"ts", ftTimeStamp);
  t->FieldDefs().Add(u"memo", ftMemo);
  t->FieldDefs().Add(u"wmemo", ftWideMemo);
  t->FieldDefs().Add(u"blob", ftBlob);
  t->CreateDataSet();
  t->Append();
  t->FieldByName(u"s").SetAsString(u"Caf\u00E9");
  t->FieldByName(u"w").SetAsString(u"\u00C9t\u00E9 \u4E2D");
  t->FieldByName(u"i").SetAsInteger(-42);
  t->FieldByName(u"big").SetAsLargeInt(9000000000LL);
  t->FieldByName(u"f").SetAsFloat(2.5);
  t->FieldByName(u"bcd").SetAsCurrency(12.3456);
  t->FieldByName(u"b").SetAsBoolean(true);
  t->FieldByName(u"d").SetAsDateTime(45000.5);
  t->FieldByName(u"ts").SetAsDateTime(45000.25);
  t->FieldByName(u"memo").SetAsString(u"line one\r\nl\u00EDnea dos");
  t->FieldByName(u"wmemo").SetAsString(u"\u00FCber\r\n\u4E2D\u6587");
  t->FieldByName(u"blob").SetAsBytes(std::string("\x01\x02", 2));
  t->Post();
  t->Append();
  t->Post();
  t->First();
  return t;
}

struct ValueCase {
  const char16_t* field;
  TVarType type;        // of the value in the first record
  const char* value;    // its text
  const char* display;  // GetDisplayText
  TpgwFieldType fieldType;
  bool nullInSecond;  // the second record reads null (blobs read as empty text instead)
};

TEST(DBDatasetValues, EachFieldKindReadsByItsClass) {
  const ValueCase cases[] = {
      {u"s", varUString, "Caf\u00E9", "Caf\u00E9", fftString, true},
      {u"w", varOleStr, "\u00C9t\u00E9 \u4E2D", "\u00C9t\u00E9 \u4E2D", fftString, true},
      {u"i", varInteger, "-42", "-42", fftNumeric, true},
      {u"big", varInt64, "9000000000", "9000000000", fftNumeric, true},
      {u"f", varDouble, "2.5", "2.5", fftNumeric, true},
      {u"bcd", varDouble, "12.3456", "12.3456", fftNumeric, true},
      {u"b", varBoolean, "True", "True", fftBoolean, true},
      {u"d", varDate, "3/15/2023 12:00:00 PM", "3/15/2023 12:00:00 PM", fftDateTime, true},
      {u"ts", varDate, "3/15/2023 6:00:00 AM", "3/15/2023 6:00:00 AM", fftNumeric, true},
      {u"memo", varString, "line one\r\nl\u00EDnea dos", "(MEMO)", fftString, false},
      {u"wmemo", varOleStr, "\u00FCber\r\n\u4E2D\u6587", "(WIDEMEMO)", fftNumeric, false},
  };
  auto table = AllKinds();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.Initialize();
  ds.First();
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(U8(c.field));
    const Variant v = ds.GetValue(c.field);
    EXPECT_EQ(VarType(v), c.type);
    EXPECT_EQ(U8(VarToStr(v)), c.value);
    EXPECT_EQ(U8(ds.GetDisplayText(c.field)), c.display);
    EXPECT_EQ(ds.GetFieldType(c.field), c.fieldType);
  }
  ds.Next();
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(U8(c.field));
    const Variant v = ds.GetValue(c.field);
    if (c.nullInSecond) {
      EXPECT_TRUE(v.IsNull());
    } else {
      EXPECT_TRUE(v.IsString());
      EXPECT_EQ(v.StringRef(), u"");
    }
  }
  ds.Finalize();
}

TEST(DBDatasetValues, BCDReadsAsCurrencyOnlyWhenAsked) {
  auto table = AllKinds();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetBCDToCurrency(true);
  ds.First();
  const Variant v = ds.GetValue(u"BCD");  // field names ignore case
  EXPECT_EQ(VarType(v), varCurrency);
  EXPECT_EQ(v.AsCurrencyScaled(), 123456);
  ds.Next();
  EXPECT_TRUE(ds.GetValue(u"bcd").IsNull());
}

TEST(DBDatasetValues, NullsConvertForTheReportOnlyWithConvertNulls) {
  auto table = AllKinds();
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetReportRef(&report);
  ds.First();
  ds.Next();  // the null record
  struct {
    const char16_t* field;
    TVarType converted;
    const char* text;
  } cases[] = {
      {u"s", varOleStr, ""}, {u"i", varInteger, "0"}, {u"b", varBoolean, "False"}, {u"d", varInteger, "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.field));
    report.EngineOptions().SetConvertNulls(true);
    Variant v = ReportFieldValue(ds, c.field);
    EXPECT_FALSE(v.IsNull());
    EXPECT_EQ(U8(VarToStr(v)), c.text);
    if (c.converted != varOleStr) {
      EXPECT_EQ(VarType(v), c.converted);
    }
    report.EngineOptions().SetConvertNulls(false);
    EXPECT_TRUE(ReportFieldValue(ds, c.field).IsNull());
  }
  // A value that is there passes unchanged either way.
  ds.First();
  EXPECT_EQ(ReportFieldValue(ds, u"i").AsInteger(), -42);
}

TEST(DBDatasetValues, UnknownFieldGivesNullAndOneErrorLine) {
  auto table = FiveRecords();
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  report.SetCurObject(u"Memo1");
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetName(u"master");
  ds.SetReportRef(&report);
  ds.First();
  const int before = report.Errors().Count();
  EXPECT_TRUE(ds.GetValue(u"nope").IsNull());
  ASSERT_EQ(report.Errors().Count(), before + 1);
  EXPECT_GE(report.Errors().IndexOf(u"Memo1: Field not found: master.\"nope\""), 0);
  EXPECT_EQ(U8(ds.GetDisplayText(u"nope")), "Field not found: master.\"nope\"");
  EXPECT_EQ(ds.GetDisplayWidth(u"nope"), 10);
  EXPECT_EQ(ds.GetFieldType(u"nope"), fftNumeric);
  // Existing fields add nothing.
  const int after = report.Errors().Count();
  EXPECT_EQ(ds.GetValue(u"NAME").StringRef(), u"r1");
  EXPECT_EQ(report.Errors().Count(), after);
}

TEST(DBDatasetValues, AliasesRenameAndHideFields) {
  auto table = std::make_unique<TMemTable>();
  table->FieldDefs().Add(u"proveedor_nombre", ftString, 100);
  table->FieldDefs().Add(u"sucursal_codigo", ftString, 10);
  table->CreateDataSet();
  table->Append();
  table->FieldByName(u"proveedor_nombre").SetAsString(u"MIRANTO");
  table->FieldByName(u"sucursal_codigo").SetAsString(u"0003");
  table->Post();
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  report.SetCurObject(u"Memo2");
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetName(u"m");
  ds.SetReportRef(&report);
  ds.FieldAliases().SetText(u"proveedor_nombre=Supplier\r\n-sucursal_codigo=Branch");

  TStringList list;
  ds.GetFieldList(list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], u"Supplier");
  EXPECT_EQ(ds.FieldsCount(), 1);
  EXPECT_TRUE(ds.HasField(u"Supplier"));
  EXPECT_FALSE(ds.HasField(u"supplier"));  // HasField compares exactly
  EXPECT_EQ(ds.ConvertAlias(u"SUPPLIER"), u"proveedor_nombre");
  EXPECT_EQ(ds.GetAlias(u"Proveedor_Nombre"), u"Supplier");
  EXPECT_EQ(ds.ConvertAlias(u"other"), u"other");
  EXPECT_EQ(ds.GetAlias(u"other"), u"other");

  ds.First();
  EXPECT_EQ(ds.GetValue(u"supplier").StringRef(), u"MIRANTO");
  EXPECT_EQ(ds.GetDisplayText(u"Supplier"), u"MIRANTO");
  EXPECT_EQ(ds.GetDisplayWidth(u"Supplier"), 100);
  EXPECT_EQ(ds.GetFieldType(u"Supplier"), fftString);
  // Hidden and table names are not fields of the data set.
  EXPECT_TRUE(ds.GetValue(u"Branch").IsNull());
  EXPECT_TRUE(ds.GetValue(u"proveedor_nombre").IsNull());
  EXPECT_GE(report.Errors().IndexOf(u"Memo2: Field not found: m.\"Branch\""), 0);

  // An alias for a field the table lacks reports the table's name.
  ds.FieldAliases().SetText(u"missing_col=Ghost");
  ds.Close();
  ds.First();
  EXPECT_TRUE(ds.GetValue(u"ghost").IsNull());
  EXPECT_GE(report.Errors().IndexOf(u"Memo2: Field not found: m.\"missing_col\""), 0);
}

TEST(DBDatasetLifeCycle, FinalizeRestoresPositionAndHandlers) {
  auto table = FiveRecords();
  int afterOpen = 0, beforeClose = 0, fieldsChanged = 0;
  table->SetAfterOpen([&](TDataSet&) { ++afterOpen; });
  table->SetBeforeClose([&](TDataSet&) { ++beforeClose; });
  table->Fields().SetOnChange([&](TFields&) { ++fieldsChanged; });
  table->SetRecNo(4);
  {
    TpgwDBDataset ds(nullptr);
    ds.SetDataSet(table.get());
    ds.SetRangeBegin(rbCurrent);
    ds.Initialize();
    EXPECT_EQ(Iterate(ds), (std::vector<int>{4, 5}));
    // While hooked in, the table's own handlers still run, chained behind the adapter's.
    table->Close();
    EXPECT_EQ(beforeClose, 1);
    table->Open();
    EXPECT_EQ(afterOpen, 1);
    table->SetRecNo(4);
    ds.First();
    EXPECT_EQ(ds.GetValue(u"id").AsInteger(), 4);
    ds.Next();
    ds.Finalize();
    EXPECT_EQ(table->RecNo(), 4);
  }
  // The adapter is gone; the table's handlers are its own again.
  table->Close();
  table->Open();
  EXPECT_EQ(beforeClose, 2);
  EXPECT_EQ(afterOpen, 2);
  ASSERT_TRUE(table->Fields().OnChange());
  table->Fields().OnChange()(table->Fields());
  EXPECT_EQ(fieldsChanged, 1);
}

TEST(DBDatasetLifeCycle, FieldListIsCachedUntilTheTableSaysItsFieldsChanged) {
  auto table = FiveRecords();
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetReportRef(&report);
  ds.Initialize();
  ds.First();
  ds.FieldAliases().SetText(u"name=Label");
  EXPECT_TRUE(ds.GetValue(u"Label").IsNull());  // the open list still has the table's names
  table->Refresh();                             // nothing changed: no rebuild
  EXPECT_TRUE(ds.GetValue(u"Label").IsNull());
  table->Fields().OnChange()(table->Fields());
  table->Refresh();
  EXPECT_EQ(ds.GetValue(u"Label").StringRef(), u"r1");
  ds.Finalize();
}

TEST(DBDatasetLifeCycle, CloseDataSourceClosesTheTableAtFinalize) {
  auto table = FiveRecords();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetCloseDataSource(true);
  ds.Initialize();
  ds.First();
  ds.Finalize();
  EXPECT_FALSE(table->Active());
  // Reading again opens the table again.
  EXPECT_EQ(ds.GetValue(u"id").AsInteger(), 1);
  EXPECT_TRUE(table->Active());
}

TEST(DBDatasetLifeCycle, TableFreedFirstIsForgotten) {
  auto table = FiveRecords();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.Initialize();
  ds.First();
  table.reset();
  EXPECT_EQ(ds.DataSet(), nullptr);
  EXPECT_EQ(ds.DS(), nullptr);
  ds.Finalize();
  EXPECT_EQ(Raised([&] { ds.Initialize(); }), "DataSet  is not connected to data");
}

TEST(DBDatasetLifeCycle, AdapterWithoutTableCannotInitialize) {
  TpgwDBDataset ds(nullptr);
  ds.SetName(u"pgwDBmaster");
  EXPECT_EQ(Raised([&] { ds.Initialize(); }), "DataSet pgwDBmaster is not connected to data");
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(U8(ds.GetDisplayText(u"x")), "pgwDBmaster.\"x\"");
}

TEST(DBDatasetLifeCycle, DataSourceAndDataSetAreExclusive) {
  auto table = FiveRecords();
  auto other = FiveRecords();
  other->SetRecNo(5);
  TDataSource source;
  source.SetDataSet(other.get());
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetDataSource(&source);
  EXPECT_EQ(ds.DataSet(), nullptr);
  ds.SetRangeBegin(rbCurrent);
  ds.Initialize();
  EXPECT_EQ(Iterate(ds), (std::vector<int>{5}));
  ds.Finalize();
  ds.SetDataSet(table.get());
  EXPECT_EQ(ds.DataSource(), nullptr);
}

// ---- blobs -------------------------------------------------------------------------------------

TEST(DBDatasetBlobs, BlobTestsAndAssignment) {
  auto table = AllKinds();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  struct {
    const char16_t* field;
    bool blob, memo, wide;
  } cases[] = {{u"s", false, false, false},
               {u"memo", true, true, false},
               {u"wmemo", true, false, true},
               {u"blob", true, false, false},
               {u"none", false, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.field));
    EXPECT_EQ(ds.IsBlobField(c.field), c.blob);
    EXPECT_EQ(ds.IsMemoBlobField(c.field), c.memo);
    EXPECT_EQ(ds.IsWideMemoBlobField(c.field), c.wide);
  }
  ds.First();
  TStringList lines;
  ds.AssignBlobTo(u"memo", TpgwBlobTarget{&lines, nullptr});
  ASSERT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines[1], u"l\u00EDnea dos");
  ds.AssignBlobTo(u"wmemo", TpgwBlobTarget{&lines, nullptr});
  ASSERT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines[1], u"\u4E2D\u6587");
  ds.AssignBlobTo(u"s", TpgwBlobTarget{&lines, nullptr});  // not a blob: nothing happens
  EXPECT_EQ(lines.Count(), 2);

  TMemoryStream raw;
  ds.AssignBlobTo(u"blob", TpgwBlobTarget{nullptr, &raw});
  EXPECT_EQ(raw.Position(), 0);
  EXPECT_EQ(raw.ReadToEnd(), std::string("\x01\x02", 2));
  TStringStream text;
  ds.AssignBlobTo(u"wmemo", TpgwBlobTarget{nullptr, &text});
  EXPECT_EQ(text.Text(), u"\u00FCber\r\n\u4E2D\u6587");
}

// ---- the driver's record ----------------------------------------------------------------------------

using test_support::kLabel;

TEST(DBDatasetLabel, TheDriversRecordReadsBackFieldByField) {
  auto table = std::make_unique<TMemTable>();
  for (const auto& f : kLabel) table->FieldDefs().Add(f.name, f.type, f.size, false);
  table->CreateDataSet();
  table->Append();
  for (const auto& f : kLabel) {
    if (f.type == ftString)
      table->FieldByName(f.name).SetAsString(f.text);
    else
      table->FieldByName(f.name).SetAsInteger(f.number);
  }
  table->Post();

  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(table.get());
  ds.SetUserName(u"pgwDBmaster");
  ds.SetName(u"pgwDBmaster");
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  report.DataSets().Clear();
  report.DataSets().Add(&ds);
  InitializeDataSets(report.DataSets());
  EXPECT_EQ(ds.ReportRef(), &report);
  EXPECT_EQ(ds.FieldsCount(), 20);
  EXPECT_EQ(ds.RecordCount(), 1);
  std::vector<int> seen;
  ds.First();
  while (!ds.Eof()) {
    for (const auto& f : kLabel) {
      SCOPED_TRACE(U8(f.name));
      const Variant v = ds.GetValue(f.name);
      if (f.type == ftString) {
        ASSERT_TRUE(v.IsString());  // the empty text is a string, not null
        EXPECT_EQ(v.StringRef(), f.text);
        EXPECT_EQ(ds.GetDisplayText(f.name), f.text);
        EXPECT_EQ(ds.GetDisplayWidth(f.name), f.size);
        EXPECT_EQ(ds.GetFieldType(f.name), fftString);
      } else {
        EXPECT_EQ(VarType(v), varInteger);
        EXPECT_EQ(v.AsInteger(), f.number);
        EXPECT_EQ(ds.GetDisplayText(f.name), Utf8ToUtf16(std::to_string(f.number)));
        EXPECT_EQ(ds.GetFieldType(f.name), fftNumeric);
      }
    }
    seen.push_back(ds.RecNo());
    ds.Next();
  }
  FinalizeDataSets(report.DataSets());
  EXPECT_EQ(seen, std::vector<int>{0});
  EXPECT_EQ(report.Errors().Count(), 0);
}

}  // namespace
}  // namespace pagewright
