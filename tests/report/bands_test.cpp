#include "report/bands.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/report.h"

using namespace pagewright;

namespace {

double D(Extended v) {
  return static_cast<double>(v);
}

std::vector<std::string> PropertyNames(const TClassInfo& cls) {
  std::vector<std::string> names;
  for (const TPropInfo* p : cls.Properties()) names.push_back(p->Name());
  return names;
}

TEST(BandChild, CircularChainRefusedAndChildUnchanged) {
  TpgwReportPage page(nullptr);
  auto* title = &CreateChild<TpgwReportTitle>(page);
  auto* c1 = &CreateChild<TpgwChild>(page);
  auto* c2 = &CreateChild<TpgwChild>(page);
  title->SetChild(c1);
  c1->SetChild(c2);
  try {
    c2->SetChild(c1);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Circular child reference is not allowed");
  }
  EXPECT_EQ(c2->Child(), nullptr);
  EXPECT_THROW(c1->SetChild(c1), Exception);
  EXPECT_EQ(c1->Child(), c2);
  // Through the property as a template would set it.
  EXPECT_THROW(SetPropValue(*c2, "Child", TPropValue::Object(c1)), Exception);
}

TEST(BandChild, DroppedWhenTheChildBandIsDestroyed) {
  TpgwReportPage page(nullptr);
  auto* header = &CreateChild<TpgwPageHeader>(page);
  auto* child = &CreateChild<TpgwChild>(page);
  header->SetChild(child);
  child->DetachFromParent();  // destroys it
  EXPECT_EQ(header->Child(), nullptr);
}

TEST(BandKinds, NumbersAndCaptionNames) {
  TpgwReportPage page(nullptr);
  struct Case {
    TpgwBand* band;
    int number;
    const char16_t* caption;
  } cases[] = {
      {&CreateChild<TpgwReportTitle>(page), 0, u"ReportTitle"},   {&CreateChild<TpgwReportSummary>(page), 1, u"ReportSummary"},
      {&CreateChild<TpgwPageHeader>(page), 2, u"PageHeader"},     {&CreateChild<TpgwPageFooter>(page), 3, u"PageFooter"},
      {&CreateChild<TpgwHeader>(page), 4, u"Header"},             {&CreateChild<TpgwFooter>(page), 5, u"Footer"},
      {&CreateChild<TpgwMasterData>(page), 6, u"MasterData"},     {&CreateChild<TpgwDetailData>(page), 7, u"DetailData"},
      {&CreateChild<TpgwSubdetailData>(page), 8, u"SubdetailData"}, {&CreateChild<TpgwDataBand4>(page), 9, u"Data4"},
      {&CreateChild<TpgwDataBand5>(page), 10, u"Data5"},          {&CreateChild<TpgwDataBand6>(page), 11, u"Data6"},
      {&CreateChild<TpgwGroupHeader>(page), 12, u"GroupHeader"},  {&CreateChild<TpgwGroupFooter>(page), 13, u"GroupFooter"},
      {&CreateChild<TpgwChild>(page), 14, u"Child"},              {&CreateChild<TpgwColumnHeader>(page), 15, u"ColumnHeader"},
      {&CreateChild<TpgwColumnFooter>(page), 16, u"ColumnFooter"}, {&CreateChild<TpgwOverlay>(page), 17, u"Overlay"},
      {&CreateChild<TpgwNullBand>(page), 0, u"Null"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.band->BandNumber(), c.number) << c.band->ClassName();
    EXPECT_EQ(c.band->BandCaptionName(), c.caption) << c.band->ClassName();
    EXPECT_TRUE(c.band->IsBand());
  }
  EXPECT_EQ(page.Objects().Count(), 19);
}

// Stands in for the dot-matrix page class, which bands recognise by its class name.
class DotMatrixPage : public TpgwPage {
 public:
  explicit DotMatrixPage(TComponent* owner) : TpgwPage(owner) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<DotMatrixPage>("TpgwDMPPage").Parent<TpgwPage>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

TEST(BandGeometry, DotMatrixPageSnapsToCharacterCells) {
  DotMatrixPage page(nullptr);
  auto* band = &CreateChild<TpgwMasterData>(page);
  band->SetLeft(15);     // 15 / 9.6 = 1.56 -> 2 cells
  band->SetTop(25);      // 25 / 17 = 1.47 -> 1 cell
  band->SetHeight(42.5); // 2.5 -> 2 cells (half to even)
  EXPECT_DOUBLE_EQ(D(band->Left()), 19.2);
  EXPECT_DOUBLE_EQ(D(band->Top()), 17);
  EXPECT_DOUBLE_EQ(D(band->Height()), 34);
  TpgwReportPage plain(nullptr);
  auto* other = &CreateChild<TpgwMasterData>(plain);
  other->SetLeft(15);
  EXPECT_DOUBLE_EQ(D(other->Left()), 15);
}

TEST(BandProperties, VerticalIsAlwaysDropped) {
  TpgwMasterData band(nullptr);
  SetPropValue(band, "Vertical", TPropValue::String(u"True"));
  EXPECT_FALSE(band.Vertical());
  EXPECT_TRUE(GetPropInfo(band, "Vertical").IsDefaultValue(band));
}

TEST(BandProperties, PublishedInOrder) {
  const std::vector<std::string> common = {
      "Name", "Tag", "Description", "IndexTag", "AllowMirrorMode", "FillType", "Fill", "FillGap", "Frame",
      "Font", "Height", "Left", "ParentFont", "Restrictions", "Top", "Vertical", "Visible", "Width",
      "OnAfterCalcHeight", "OnAfterPrint", "OnBeforePrint"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> all = common;
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
  };
  EXPECT_EQ(PropertyNames(TpgwReportSummary::StaticClassInfo()),
            with({"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "StartNewPage", "Stretched",
                  "ShiftEngine", "PrintAtBottom"}));
  EXPECT_EQ(PropertyNames(TpgwPageHeader::StaticClassInfo()),
            with({"Child", "PrintChildIfInvisible", "PrintOnFirstPage", "Stretched", "ShiftEngine"}));
  EXPECT_EQ(PropertyNames(TpgwPageFooter::StaticClassInfo()),
            with({"PrintOnFirstPage", "PrintOnLastPage", "PrintOnSinglePage"}));
  EXPECT_EQ(PropertyNames(TpgwMasterData::StaticClassInfo()),
            with({"AllowSplit", "Child", "Columns", "ColumnWidth", "ColumnGap", "DataSet", "DataSetName",
                  "FooterAfterEach", "Filter", "KeepChild", "KeepFooter", "KeepHeader", "KeepTogether",
                  "OutlineText", "PrintChildIfInvisible", "PrintIfDetailEmpty", "RowCount", "StartNewPage",
                  "Stretched", "ShiftEngine"}));
  EXPECT_EQ(PropertyNames(TpgwGroupHeader::StaticClassInfo()),
            with({"AllowSplit", "Child", "Condition", "DrillDown", "ExpandDrillDown", "KeepChild",
                  "KeepTogether", "ReprintOnNewPage", "OutlineText", "PrintChildIfInvisible", "ResetPageNumbers",
                  "ShowFooterIfDrillDown", "ShowChildIfDrillDown", "StartNewPage", "Stretched", "ShiftEngine",
                  "DrillName"}));
  EXPECT_EQ(PropertyNames(TpgwChild::StaticClassInfo()),
            with({"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "StartNewPage", "Stretched",
                  "ShiftEngine", "ToNRows", "ToNRowsMode"}));
  EXPECT_EQ(PropertyNames(TpgwColumnFooter::StaticClassInfo()), common);
}

TEST(BandProperties, DefaultsAndStoredTests) {
  TpgwPageFooter footer(nullptr);
  EXPECT_TRUE(footer.PrintOnFirstPage());
  EXPECT_TRUE(footer.PrintOnLastPage());
  EXPECT_FALSE(footer.PrintOnSinglePage());
  for (const TPropInfo* p : footer.ClassInfo().Properties()) {
    if (p->Kind() == pkBoolean || p->Kind() == pkEnumeration) {
      EXPECT_TRUE(p->IsDefaultValue(footer)) << p->Name();
    }
  }
  EXPECT_FALSE(GetPropInfo(footer, "Font").IsStored(footer));  // follows the parent font
  TpgwFont f;
  f.SetSize(14);
  footer.SetFont(f);
  EXPECT_TRUE(GetPropInfo(footer, "Font").IsStored(footer));

  TpgwChild child(nullptr);
  EXPECT_FALSE(GetPropInfo(child, "ToNRows").IsDefaultValue(child));  // always written
  EXPECT_FALSE(GetPropInfo(child, "ToNRowsMode").IsDefaultValue(child));
  EXPECT_EQ(child.ShiftEngine(), seTree);
  TpgwMasterData data(nullptr);
  EXPECT_FALSE(GetPropInfo(data, "RowCount").IsDefaultValue(data));
}

TEST(BandProperties, FillTypeReplacesTheFillBeforeItsAttributesApply) {
  TpgwHeader band(nullptr);
  SetPropValue(band, "FillType", TPropValue::String(u"ftGlass"));
  ASSERT_EQ(band.FillType(), ftGlass);
  SetPropValue(band.Fill(), "Blend", TPropValue::FloatValue(0.25));
  EXPECT_DOUBLE_EQ(static_cast<double>(dynamic_cast<TpgwGlassFill&>(band.Fill()).Blend()), 0.25);
  TpgwGradientFill g;
  band.SetFill(g);
  EXPECT_EQ(band.FillType(), ftGradient);
}

TEST(DataBand, CurColumnWrapsAndPlacesTheBand) {
  TpgwMasterData band(nullptr);
  band.SetColumns(2);
  band.SetColumnWidth(100);
  band.SetColumnGap(10);
  band.SetCurColumn(2);
  band.SetMaxY(50);
  EXPECT_EQ(band.CurColumn(), 2);
  EXPECT_DOUBLE_EQ(static_cast<double>(band.Left()), 110);
  EXPECT_DOUBLE_EQ(static_cast<double>(band.MaxY()), 50);
  band.SetCurColumn(3);
  EXPECT_EQ(band.CurColumn(), 1);
  EXPECT_DOUBLE_EQ(static_cast<double>(band.Left()), 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(band.MaxY()), 0);
}

TEST(DataBand, DataSetDroppedWhenDestroyed) {
  TpgwMasterData band(nullptr);
  auto ds = std::make_unique<TComponent>(nullptr);
  band.SetDataSet(ds.get());
  ds.reset();
  EXPECT_EQ(band.DataSet(), nullptr);
}

class FillMemo : public ::testing::Test {
 protected:
  // The fill memo is the registered text object class.
  void SetUp() override {
    ProvideViewClasses();
    ProvideMemoClasses();
    RegisterReportClasses();
  }
};

TEST_F(FillMemo, NoneForAnUnfilledUnframedBandOrANullBand) {
  TpgwMasterData band(nullptr);
  EXPECT_EQ(band.CreateFillMemo(), nullptr);
  EXPECT_EQ(band.Objects().Count(), 0);
  TpgwNullBand null(nullptr);
  null.Frame().SetTyp(TpgwFrameTypes{ftLeft});
  EXPECT_EQ(null.CreateFillMemo(), nullptr);
}

TEST_F(FillMemo, HiddenFirstChildWithTheBandsFillFrameAndGaps) {
  TpgwMasterData band(nullptr);
  band.SetBounds(0, 0, 200, 40);
  auto* other = &CreateChild<TpgwView>(band);
  band.SetFillType(ftGlass);
  band.Frame().SetTyp(TpgwFrameTypes{ftTop});
  band.Frame().SetColor(clRed);
  band.FillGap().SetTop(2);
  band.FillGap().SetLeft(3);
  band.FillGap().SetBottom(4);
  band.FillGap().SetRight(5);
  TpgwView* memo = band.CreateFillMemo();
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(band.Objects()[0], memo);
  EXPECT_EQ(band.Objects()[1], other);
  EXPECT_EQ(memo->Align(), baHidden);
  EXPECT_EQ(memo->FillType(), ftGlass);
  EXPECT_TRUE(memo->Frame().SameAs(band.Frame()));
  EXPECT_DOUBLE_EQ(static_cast<double>(memo->Top()), 2);
  EXPECT_DOUBLE_EQ(static_cast<double>(memo->Left()), 3);
  EXPECT_DOUBLE_EQ(static_cast<double>(memo->Height()), 34);
  EXPECT_DOUBLE_EQ(static_cast<double>(memo->Width()), 192);
  // Made again: the same object, brought up to date.
  band.SetHeight(60);
  EXPECT_EQ(band.CreateFillMemo(), memo);
  EXPECT_DOUBLE_EQ(static_cast<double>(memo->Height()), 54);
  EXPECT_EQ(band.Objects().Count(), 2);
  band.DisposeFillMemo();
  EXPECT_EQ(band.FillMemo(), nullptr);
  EXPECT_EQ(band.Objects().Count(), 1);
}

TEST(BandRegistry, BandAndPageClassesCreatedByName) {
  RegisterViewClasses();
  RegisterBandClasses();
  for (const char16_t* name :
       {u"TpgwChild", u"TpgwColumnFooter", u"TpgwColumnHeader", u"TpgwMasterData", u"TpgwDetailData",
        u"TpgwSubdetailData", u"TpgwDataBand4", u"TpgwDataBand5", u"TpgwDataBand6", u"TpgwFooter",
        u"TpgwGroupFooter", u"TpgwGroupHeader", u"TpgwHeader", u"TpgwOverlay", u"TpgwPageFooter",
        u"TpgwPageHeader", u"TpgwReportSummary", u"TpgwReportTitle", u"TpgwNullBand", u"TpgwFrame"}) {
    const TClassInfo* cls = FindReportClass(name);
    ASSERT_NE(cls, nullptr);
    EXPECT_TRUE(cls->CanCreate());
  }
  TpgwReport report;
  // The page classes are registered by RegisterPageClasses at start-up; the report tests stand in
  // their own data page class in this process, so the page is made from its description here.
  auto* page = &CreateChildAs<TpgwReportPage>(TpgwReportPage::StaticClassInfo(), report);
  EXPECT_EQ(page->Parent(), &report);
  auto* band = &CreateChildAs<TpgwMasterData>(*FindReportClass(u"tpgwmasterdata"), *page);
  EXPECT_EQ(band->Parent(), page);
  EXPECT_EQ(band->BaseName(), u"MasterData");
}

}  // namespace
