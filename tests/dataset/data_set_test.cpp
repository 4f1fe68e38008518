#include "data/data_set.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/db_dataset.h"
#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "report/report.h"

namespace pagewright {
namespace {

template <class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

TEST(DataSetNames, UserNameFollowsTheNameWhileTheyAgree) {
  TpgwUserDataSet ds(nullptr);
  ds.SetName(u"First");
  EXPECT_EQ(ds.UserName(), u"First");
  ds.SetName(u"Second");  // UserName was the old name
  EXPECT_EQ(ds.UserName(), u"Second");
  ds.SetUserName(u"Customers");
  ds.SetName(u"Third");  // UserName differs from the old name: kept
  EXPECT_EQ(ds.UserName(), u"Customers");

  TpgwDBDataset adapter(nullptr);
  adapter.SetUserName(u"pgwDBmaster");
  adapter.SetName(u"pgwDBmaster");
  EXPECT_EQ(adapter.UserName(), u"pgwDBmaster");
}

TEST(DataSetNames, EmptyUserNameIsRefused) {
  TpgwUserDataSet ds(nullptr);
  ds.SetUserName(u"Orders");
  for (const char16_t* bad : {u"", u"   ", u"\t"}) {
    EXPECT_EQ(Raised([&] { ds.SetUserName(bad); }), "prInvProp");
    EXPECT_EQ(ds.UserName(), u"Orders");
  }
  // Through the property system too.
  EXPECT_EQ(Raised([&] { SetPropValue(ds, "UserName", TPropValue::String(u" ")); }), "prInvProp");
}

TEST(UserDataSet, EventsSupplyValuesAndTheLastOneWins) {
  TpgwUserDataSet ds(nullptr);
  ds.Fields().SetText(u"a\r\nb");
  EXPECT_EQ(ds.FieldsCount(), 2);
  EXPECT_TRUE(ds.HasField(u"b"));
  EXPECT_FALSE(ds.HasField(u"B"));
  EXPECT_TRUE(ds.GetValue(u"a").IsNull());
  EXPECT_EQ(ds.GetDisplayText(u"a"), u"");

  ds.OnGetValue = [](const WideString& name, Variant& v) { v = Variant(u"old:" + name); };
  EXPECT_EQ(ds.GetValue(u"a").StringRef(), u"old:a");
  ds.OnNewGetValue = [](TpgwDataSet&, const WideString& name, Variant& v) {
    v = name == u"n" ? Variant(7) : Variant(u"new:" + name);
  };
  EXPECT_EQ(ds.GetValue(u"a").StringRef(), u"new:a");
  EXPECT_EQ(ds.GetDisplayText(u"n"), u"7");

  EXPECT_FALSE(ds.IsBlobField(u"a"));
  ds.OnIsBlobField = [](TpgwDataSet&, const WideString& name) { return name == u"pic"; };
  EXPECT_TRUE(ds.IsBlobField(u"pic"));
  TStringList lines;
  ds.OnGetBlobValue = [](TpgwDataSet&, const WideString& name, const TpgwBlobTarget& t) {
    if (t.Lines) t.Lines->Add(name);
  };
  ds.AssignBlobTo(u"pic", TpgwBlobTarget{&lines, nullptr});
  ASSERT_EQ(lines.Count(), 1);
  EXPECT_EQ(lines[0], u"pic");
}

TEST(DataSetCursor, BaseMovesAndEvents) {
  TpgwUserDataSet ds(nullptr);
  std::string log;
  ds.OnOpen = [&](TpgwDataSet&) { log += "o"; };
  ds.OnFirst = [&](TpgwDataSet&) { log += "f"; };
  ds.OnNext = [&](TpgwDataSet&) { log += "n"; };
  ds.OnPrior = [&](TpgwDataSet&) { log += "p"; };
  ds.OnClose = [&](TpgwDataSet&) { log += "c"; };
  ds.Open();
  ds.First();
  ds.Next();
  ds.Next();
  ds.Prior();
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_FALSE(ds.Eof());  // reLast: the base never ends by itself
  ds.Close();
  EXPECT_EQ(log, "ofnnpc");
  EXPECT_EQ(ds.GetDisplayWidth(u"x"), 10);
  EXPECT_EQ(ds.GetFieldType(u"x"), fftNumeric);
}

TEST(ReportDataSetsOps, FindInitializeFinalizeAndDelete) {
  auto table = std::make_unique<TMemTable>();
  table->FieldDefs().Add(u"id", ftInteger);
  table->CreateDataSet();
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  TpgwDBDataset a(nullptr);
  a.SetName(u"adapterA");
  a.SetUserName(u"Customers");
  a.SetDataSet(table.get());
  TpgwUserDataSet b(nullptr);
  b.SetName(u"userB");
  TpgwReportDataSets& list = report.DataSets();
  list.Clear();
  list.Add(&a);
  list.Add(&b);
  list.Add();  // an item without a data set is skipped by every operation
  EXPECT_EQ(list.Find(&b), &list.Items(1));
  EXPECT_EQ(list.Find(u"CUSTOMERS"), &list.Items(0));
  EXPECT_EQ(list.Find(u"userb"), &list.Items(1));
  EXPECT_EQ(list.Find(u"nobody"), nullptr);

  InitializeDataSets(list);
  EXPECT_EQ(a.ReportRef(), &report);
  EXPECT_EQ(b.ReportRef(), &report);
  int afterOpen = 0;
  table->SetAfterOpen([&](TDataSet&) { ++afterOpen; });  // set while hooked: replaced at Finalize
  FinalizeDataSets(list);
  EXPECT_EQ(afterOpen, 0);

  EXPECT_FALSE(DeleteDataSet(list, u"adapterA"));  // by user name only
  EXPECT_TRUE(DeleteDataSet(list, u"customers"));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0).DataSet(), &b);
}

TEST(ReportDataSetsOps, InitializeStopsAtAnUnconnectedAdapter) {
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  TpgwDBDataset a(nullptr);
  a.SetName(u"pgwDBmaster");
  report.DataSets().Clear();
  report.DataSets().Add(&a);
  EXPECT_EQ(Raised([&] { InitializeDataSets(report.DataSets()); }),
            "DataSet pgwDBmaster is not connected to data");
}

TEST(DataSetLookup, GlobalListOrEnabledDataSets) {
  TpgwReport report(TpgwReportServices{&ReportDataService()});
  TpgwReport otherReport(TpgwReportServices{&ReportDataService()});
  TpgwUserDataSet mine(&report);
  mine.SetName(u"Shared");
  TpgwUserDataSet foreign(&otherReport);
  foreign.SetName(u"Foreign");
  foreign.SetUserName(u"Orders");
  TpgwUserDataSet hostOwned(nullptr);
  hostOwned.SetName(u"Host");
  hostOwned.SetUserName(u"Orders");
  TpgwUserDataSet fallback(nullptr);
  fallback.SetName(u"Fallback");

  // Global list (the default).
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u"shared"), &mine);
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u"orders"), &hostOwned);  // the other report's is skipped
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u"missing"), &fallback);
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u""), nullptr);
  EXPECT_EQ(FindDataSetByName(nullptr, &fallback, u"shared"), &fallback);
  // A node of the report looks up through its report.
  EXPECT_EQ(FindDataSetByName(&mine, nullptr, u"SHARED"), &mine);

  // Enabled data sets only.
  report.EngineOptions().SetUseGlobalDataSetList(false);
  report.EnabledDataSets().Clear();
  report.EnabledDataSets().Add(&hostOwned);
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u"Orders"), &hostOwned);
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u"Shared"), nullptr);
  EXPECT_EQ(FindDataSetByName(&report, &fallback, u"host"), &hostOwned);  // the component name too

  // Report nodes look up the same way once the data classes are registered.
  RegisterDataClasses();
  EXPECT_EQ(report.FindDataSet(&fallback, u"HOST"), &hostOwned);
  report.EngineOptions().SetUseGlobalDataSetList(true);
  EXPECT_EQ(report.FindDataSet(&fallback, u"missing"), &fallback);
}

TEST(DataSetLookup, GlobalListFollowsCreationAndDestruction) {
  const int before = pgwDataSetList().Count();
  {
    TpgwUserDataSet a(nullptr);
    TpgwDBDataset b(nullptr);
    EXPECT_EQ(pgwDataSetList().Count(), before + 2);
    EXPECT_EQ(pgwDataSetList().Items(before), &a);
  }
  EXPECT_EQ(pgwDataSetList().Count(), before);
}

TEST(DataSetRegistry, ClassesLoadByNameWithTheirProperties) {
  RegisterDataClasses();
  const TClassInfo* info = ClassRegistry().Find(u"tpgwdbdataset");
  ASSERT_NE(info, nullptr);
  std::string names;
  for (const TPropInfo* p : info->Properties())
    if (!p->DeclaringClass().Name().starts_with("TpgwComponent") &&
        p->DeclaringClass().Name() != "TComponent" && p->DeclaringClass().Name() != "TpgwReportComponent")
      names += p->Name() + " ";
  EXPECT_EQ(names,
            "Enabled RangeBegin RangeEnd RangeEndCount UserName FieldAliases BCDToCurrency CloseDataSource "
            "DataSet DataSetOptions DataSource OpenDataSource ");

  TpgwReport report(TpgwReportServices{&ReportDataService()});
  std::unique_ptr<TPersistent> obj = info->Create();
  auto* ds = dynamic_cast<TpgwDBDataset*>(obj.get());
  ASSERT_NE(ds, nullptr);
  SetPropValue(*ds, "RangeEnd", TPropValue::String(u"reCount"));
  SetPropValue(*ds, "RangeEndCount", TPropValue::Integer(4));
  SetPropValue(*ds, "DataSetOptions", TPropValue::String(u"[dsoStringAsDisplayText]"));
  SetPropValue(*ds, "FieldAliases", TPropValue::String(u"a=b"));
  EXPECT_EQ(ds->RangeEnd(), reCount);
  EXPECT_EQ(ds->RangeEndCount(), 4);
  EXPECT_TRUE(ds->DataSetOptions().Contains(dsoStringAsDisplayText));
  EXPECT_EQ(ds->ConvertAlias(u"B"), u"a");
  EXPECT_TRUE(GetPropInfo(*ds, "RangeBegin").IsDefaultValue(*ds));
  // The table is written only by an adapter outside a report.
  EXPECT_TRUE(GetPropInfo(*ds, "DataSet").IsStored(*ds));
  ASSERT_NE(ClassRegistry().Find(u"TpgwUserDataSet"), nullptr);
  EXPECT_FALSE(ClassRegistry().Find(u"TpgwDataSet")->CanCreate());

  // The report's own lookups reach the global list.
  TpgwUserDataSet named(nullptr);
  named.SetName(u"Lookup1");
  TpgwDataSetItem& item = report.DataSets().Add();
  item.SetDataSetName(u"lookup1");
  EXPECT_EQ(item.DataSet(), &named);
}

}  // namespace
}  // namespace pagewright
