// Report objects below the data module read fields through the data service of their report.
#include <gtest/gtest.h>

#include "data/data_set.h"
#include "data/db_dataset.h"
#include "platform/mem_table.h"
#include "platform/streams.h"
#include "report/memo_view.h"
#include "report/picture_view.h"
#include "report/report.h"

namespace pagewright {
namespace {

TEST(ReportFieldAccess, TextObjectsAndPicturesReadFieldsOfADataSet) {
  RegisterDataClasses();
  TMemTable table;
  table.FieldDefs().Add(u"name", ftString, 20);
  table.FieldDefs().Add(u"notes", ftMemo);
  table.FieldDefs().Add(u"photo", ftBlob);
  table.CreateDataSet();
  table.Append();
  table.FieldByName(u"name").SetAsString(u"ALMAC\u00c9N");
  table.FieldByName(u"notes").SetAsString(u"one\r\ntwo");
  table.FieldByName(u"photo").SetAsBytes(std::string("\x01\x02\x03", 3));
  table.Post();
  TpgwDBDataset ds(nullptr);
  ds.SetDataSet(&table);
  ds.Initialize();
  ds.First();

  TpgwReport report(TpgwReportServices{&ReportDataService()});
  auto& memo = CreateChild<TpgwMemoView>(report);  // the report holds it
  memo.SetDataSet(&ds);
  memo.SetDataField(u"name");
  memo.GetData();
  EXPECT_EQ(memo.Text(), u"ALMAC\u00c9N\r\n");

  memo.SetDataField(u"notes");
  memo.GetData();
  ASSERT_EQ(memo.Memo().Count(), 2);
  EXPECT_EQ(memo.Memo()[1], u"two");

  IpgwDataService& data = ReportDataService();
  EXPECT_TRUE(data.IsBlobField(ds, u"photo"));
  EXPECT_FALSE(data.IsBlobField(ds, u"name"));
  TMemoryStream bytes;
  data.AssignBlobTo(ds, u"photo", bytes);
  EXPECT_EQ(bytes.Size(), 3);
  ds.Finalize();
}

}  // namespace
}  // namespace pagewright
