#include "report/pages.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/property_stream.h"
#include "render/bitmap.h"
#include "report/bands.h"

using namespace pagewright;

namespace {

double D(Extended v) {
  return static_cast<double>(v);
}

TEST(ReportPage, NewPageIsA4Portrait) {
  TpgwReportPage page(nullptr);
  EXPECT_EQ(page.Orientation(), poPortrait);
  EXPECT_EQ(page.PaperSize(), 9);
  EXPECT_DOUBLE_EQ(D(page.PaperWidth()), 210);
  EXPECT_DOUBLE_EQ(D(page.PaperHeight()), 297);
  EXPECT_DOUBLE_EQ(D(page.Width()), 794);
  EXPECT_DOUBLE_EQ(D(page.Height()), 1123);
  for (Extended m : {page.LeftMargin(), page.RightMargin(), page.TopMargin(), page.BottomMargin()})
    EXPECT_DOUBLE_EQ(D(m), 0);
  EXPECT_EQ(page.Bin(), 7);
  EXPECT_EQ(page.BinOtherPages(), 7);
  EXPECT_EQ(page.Color(), clNone);
  EXPECT_EQ(page.PageCount(), 1);
  EXPECT_TRUE(page.IsPageNode());
  EXPECT_EQ(page.BaseName(), u"ReportPage");
}

TEST(ReportPage, OrientationSwapsPaperAndRotatesMargins) {
  TpgwReportPage page(nullptr);
  page.SetLeftMargin(10);
  page.SetRightMargin(20);
  page.SetTopMargin(30);
  page.SetBottomMargin(40);
  page.SetOrientation(poLandscape);
  EXPECT_DOUBLE_EQ(D(page.LeftMargin()), 30);
  EXPECT_DOUBLE_EQ(D(page.RightMargin()), 40);
  EXPECT_DOUBLE_EQ(D(page.TopMargin()), 20);
  EXPECT_DOUBLE_EQ(D(page.BottomMargin()), 10);
  EXPECT_DOUBLE_EQ(D(page.PaperWidth()), 297);
  EXPECT_DOUBLE_EQ(D(page.Width()), 1123);
  EXPECT_DOUBLE_EQ(D(page.Height()), 794);
  page.SetOrientation(poLandscape);  // no change, no rotation
  EXPECT_DOUBLE_EQ(D(page.LeftMargin()), 30);
  page.SetOrientation(poPortrait);
  EXPECT_DOUBLE_EQ(D(page.LeftMargin()), 10);
  EXPECT_DOUBLE_EQ(D(page.RightMargin()), 20);
  EXPECT_DOUBLE_EQ(D(page.TopMargin()), 30);
  EXPECT_DOUBLE_EQ(D(page.BottomMargin()), 40);
  EXPECT_DOUBLE_EQ(D(page.Width()), 794);
}

TEST(ReportPage, PaperSizeCodes) {
  struct Case {
    TPrinterOrientation orientation;
    int code;
    double width, height;  // millimetres afterwards
    int storedCode;
    double pixelWidth;
  } cases[] = {
      {poPortrait, 1, 215.9, 279.4, 1, 816},        // 215.9 × 3.77953 = 816.0005
      {poLandscape, 9, 297, 210, 9, 1123},          // the table's A4, swapped
      {poPortrait, 8, 297, 420, 8, 1123},           // A3
      {poPortrait, 48, 210, 297, 48, 794},          // not in the table: dimensions unchanged
      {poPortrait, 300, 210, 297, 300, 794},        // custom code: dimensions unchanged
      {poPortrait, 26, 863.6, 1117.6, 26, 3264},    // 863.6 × 3.77953 = 3263.95
  };
  for (const Case& c : cases) {
    TpgwReportPage page(nullptr);
    page.SetOrientation(c.orientation);
    page.SetPaperSize(c.code);
    EXPECT_EQ(page.PaperSize(), c.storedCode);
    EXPECT_NEAR(D(page.PaperWidth()), c.width, 1e-9) << c.code;
    EXPECT_NEAR(D(page.PaperHeight()), c.height, 1e-9) << c.code;
    EXPECT_DOUBLE_EQ(D(page.Width()), c.pixelWidth) << c.code;
  }
  int w = 0, h = 0;
  EXPECT_FALSE(PaperDimensions(48, w, h));
  EXPECT_FALSE(PaperDimensions(69, w, h));
  EXPECT_TRUE(PaperDimensions(68, w, h));
  EXPECT_EQ(w, 3220);
  EXPECT_EQ(h, 4450);
}

TEST(ReportPage, SettingAWidthMakesTheSizeCustom) {
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(100);
  EXPECT_EQ(page.PaperSize(), 256);
  EXPECT_DOUBLE_EQ(D(page.Width()), 378);  // round(377.953)
  page.SetPaperHeight(50.123456789123L);
  EXPECT_NEAR(D(page.PaperHeight()), 50.12345679, 1e-12);  // 8 decimals
  EXPECT_DOUBLE_EQ(D(page.Height()), 189);                 // round(189.44...)
}

TEST(ReportPage, TemplateOrderEndsWithTheTablesDimensions) {
  // Attributes arrive in property order: orientation, width, height, then the paper code.
  TpgwReportPage page(nullptr);
  SetPropValue(page, "Orientation", TPropValue::String(u"poLandscape"));
  SetPropValue(page, "PaperWidth", TPropValue::FloatValue(100));
  SetPropValue(page, "PaperHeight", TPropValue::FloatValue(50));
  SetPropValue(page, "PaperSize", TPropValue::Integer(9));
  EXPECT_DOUBLE_EQ(D(page.PaperWidth()), 297);
  EXPECT_DOUBLE_EQ(D(page.PaperHeight()), 210);

  TpgwReportPage custom(nullptr);
  SetPropValue(custom, "PaperWidth", TPropValue::FloatValue(100));
  SetPropValue(custom, "PaperHeight", TPropValue::FloatValue(50));
  SetPropValue(custom, "PaperSize", TPropValue::Integer(256));
  EXPECT_DOUBLE_EQ(D(custom.PaperWidth()), 100);
  EXPECT_DOUBLE_EQ(D(custom.PaperHeight()), 50);
}

TEST(ReportPage, ColumnsDivideThePrintableWidth) {
  TpgwReportPage page(nullptr);
  page.SetLeftMargin(10);
  page.SetRightMargin(10);
  page.SetColumns(2);
  EXPECT_DOUBLE_EQ(D(page.ColumnWidth()), 95);
  ASSERT_EQ(page.ColumnPositions().Count(), 2);
  EXPECT_EQ(page.ColumnPositions()[0], u"0");
  EXPECT_EQ(page.ColumnPositions()[1], u"95");
  page.SetColumns(0);
  EXPECT_EQ(page.ColumnPositions().Count(), 0);
  EXPECT_DOUBLE_EQ(D(page.ColumnWidth()), 95);  // kept
}

TEST(ReportPage, AlignChildrenGivesDataBandsTheColumnWidth) {
  TpgwReportPage page(nullptr);
  page.SetLeftMargin(10);
  page.SetRightMargin(10);
  page.SetTopMargin(10);
  page.SetBottomMargin(10);
  page.SetColumns(2);
  auto* header = &CreateChild<TpgwPageHeader>(page);
  header->SetLeft(5);
  auto* data = &CreateChild<TpgwMasterData>(page);
  data->SetTop(100);
  auto* overlay = &CreateChild<TpgwOverlay>(page);
  page.AlignChildren();
  const Extended printable = (210 - 20) * pgwMMUnits;
  EXPECT_DOUBLE_EQ(D(data->Width()), D(95 * pgwMMUnits));
  EXPECT_DOUBLE_EQ(D(header->Width()), D(printable - 5));
  EXPECT_DOUBLE_EQ(D(overlay->Width()), D(printable));
  // The page is the whole paper again.
  EXPECT_DOUBLE_EQ(D(page.Width()), 794);
  EXPECT_DOUBLE_EQ(D(page.Height()), 1123);

  page.SetColumns(1);  // a single column: every band spans the printable width
  page.AlignChildren();
  EXPECT_DOUBLE_EQ(D(data->Width()), D(printable));
}

TEST(ReportPage, AlignChildrenMirrorsViewsOnceAgainstTheirBandsWidth) {
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(100);  // 377.953 units
  auto* band = &CreateChild<TpgwMasterData>(page);
  band->SetHeight(40);
  auto* view = &CreateChild<TpgwView>(*band);
  view->SetBounds(10, 5, 20, 10);
  auto* filler = &CreateChild<TpgwView>(*band);
  filler->SetBounds(50, 5, 30, 10);
  filler->SetAlign(baRight);
  page.AlignChildren(false, TpgwMirrorControlModes{mcmRTLObjects});
  const Extended w = 100 * pgwMMUnits;
  EXPECT_DOUBLE_EQ(D(band->Width()), D(w));
  EXPECT_DOUBLE_EQ(D(view->Left()), D(w - 30));
  EXPECT_DOUBLE_EQ(D(filler->Left()), D(w - 30 - 30));  // right-aligned up to the mirrored view
}

TEST(ReportPage, MarginOffsetFollowsMirrorMargins) {
  TpgwReportPage page(nullptr);
  page.SetLeftMargin(10);
  page.SetRightMargin(20);
  page.SetTopMargin(5);
  page.SetMarginOffset(1);
  EXPECT_DOUBLE_EQ(D(page.Left()), D(10 * pgwMMUnits));
  EXPECT_DOUBLE_EQ(D(page.Top()), D(5 * pgwMMUnits));
  page.SetMirrorMargins(true);
  page.SetMarginOffset(1);
  EXPECT_DOUBLE_EQ(D(page.Left()), D(20 * pgwMMUnits));
  page.SetMarginOffset(2);
  EXPECT_DOUBLE_EQ(D(page.Left()), D(10 * pgwMMUnits));
  page.ClearMarginOffset();
  EXPECT_DOUBLE_EQ(D(page.Left()), 0);
  EXPECT_DOUBLE_EQ(D(page.Top()), 0);
}

TEST(ReportPage, SizeAndDimensionsDefaultsAndPageCount) {
  TpgwReportPage page(nullptr);
  page.SetSizeAndDimensions(256, 100.000000004L, 200);
  EXPECT_EQ(page.PaperSize(), 256);
  EXPECT_DOUBLE_EQ(D(page.PaperWidth()), 100);
  EXPECT_DOUBLE_EQ(D(page.Width()), 378);
  page.SetDefaults();
  EXPECT_EQ(page.PaperSize(), 9);
  EXPECT_DOUBLE_EQ(D(page.LeftMargin()), 10);
  EXPECT_DOUBLE_EQ(D(page.BottomMargin()), 10);
  EXPECT_DOUBLE_EQ(D(page.Width()), 794);
  page.SetPageCount(0);
  page.SetPageCount(-3);
  EXPECT_EQ(page.PageCount(), 1);
  page.SetPageCount(4);
  EXPECT_EQ(page.PageCount(), 4);
}

TEST(ReportPage, FindBandMatchesTheClassOrADescendant) {
  TpgwReportPage page(nullptr);
  EXPECT_EQ(page.FindBand(TpgwDataBand::StaticClassInfo()), nullptr);
  CreateChild<TpgwPageHeader>(page);
  auto* detail = &CreateChild<TpgwDetailData>(page);
  CreateChild<TpgwMasterData>(page);
  EXPECT_EQ(page.FindBand(TpgwDataBand::StaticClassInfo()), detail);
  EXPECT_EQ(page.FindBand(TpgwDetailData::StaticClassInfo()), detail);
  EXPECT_EQ(page.FindBand(TpgwFooter::StaticClassInfo()), nullptr);
  EXPECT_FALSE(page.IsSubReport());
}

// The order of the published properties is in the class registry golden (tests/startup).
TEST(ReportPage, PropertiesWrittenAlwaysOrOnlyWhenTheyDiffer) {
  TpgwReportPage page(nullptr);
  EXPECT_FALSE(GetPropInfo(page, "PaperSize").IsDefaultValue(page));   // always written
  EXPECT_FALSE(GetPropInfo(page, "MirrorMode").IsDefaultValue(page));  // always written
  for (const char* n : {"Bin", "PageCount", "Color", "PrintIfEmpty", "TitleBeforeHeader", "Duplex"})
    EXPECT_TRUE(GetPropInfo(page, n).IsDefaultValue(page)) << n;
}

TEST(DataPage, ThousandSquareWithGeometryPublished) {
  TpgwDataPage page(nullptr);
  EXPECT_DOUBLE_EQ(D(page.Width()), 1000);
  EXPECT_DOUBLE_EQ(D(page.Height()), 1000);
  std::vector<std::string> names;
  for (const TPropInfo* p : page.ClassInfo().Properties()) names.push_back(p->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Font", "Visible", "HGuides", "VGuides", "Height",
                                             "Left", "Top", "Width"}));
}

TEST(ReportPage, BackgroundPaintsColourAndFrameInThePrintableArea) {
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(20);   // 76 units
  page.SetPaperHeight(20);
  page.SetLeftMargin(2);    // 7.56 units
  page.SetTopMargin(2);
  page.SetRightMargin(2);
  page.SetBottomMargin(2);
  page.SetColor(clYellow);
  TBitmap bmp(80, 80);
  page.DrawBackground(bmp.Canvas(), 1, 1, 0, 0);
  // round(7.559) = 8 to round(68.03) = 68
  EXPECT_EQ(bmp.Pixel(7, 40), clWhite);
  EXPECT_EQ(bmp.Pixel(8, 40), clYellow);
  EXPECT_EQ(bmp.Pixel(67, 40), clYellow);
  EXPECT_EQ(bmp.Pixel(68, 40), clWhite);

  page.SetBackPictureVisible(false);
  TBitmap hidden(80, 80);
  page.DrawBackground(hidden.Canvas(), 1, 1, 0, 0);
  EXPECT_EQ(hidden.Pixel(40, 40), clWhite);

  page.SetBackPictureVisible(true);
  page.SetBackPicturePrintable(false);
  page.SetIsPrinting(true);
  TBitmap printing(80, 80);
  page.DrawBackground(printing.Canvas(), 1, 1, 0, 0);
  EXPECT_EQ(printing.Pixel(40, 40), clWhite);
}

TEST(ReportPage, BackPictureStretchedOverThePrintableAreaOrAtItsOwnSize) {
  RegisterGraphicFormats();
  TpgwReportPage page(nullptr);
  page.SetPaperWidth(20);  // printable area 8 to 68 in both directions, as above
  page.SetPaperHeight(20);
  page.SetLeftMargin(2);
  page.SetTopMargin(2);
  page.SetRightMargin(2);
  page.SetBottomMargin(2);
  auto picture = std::make_unique<TBitmap>(4, 2);  // red left half, blue right half
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) picture->SetPixel(x, y, x < 2 ? clRed : clBlue);
  page.BackPicture().SetGraphic(std::move(picture));
  EXPECT_EQ(GetPropInfo(page, "BackPicture").Kind(), pkObject);

  TBitmap stretched(80, 80);
  page.DrawBackground(stretched.Canvas(), 1, 1, 0, 0);
  EXPECT_EQ(stretched.Pixel(7, 40), clWhite);
  EXPECT_EQ(stretched.Pixel(8, 8), clRed);
  EXPECT_EQ(stretched.Pixel(37, 67), clRed);
  EXPECT_EQ(stretched.Pixel(38, 40), clBlue);
  EXPECT_EQ(stretched.Pixel(67, 67), clBlue);
  EXPECT_EQ(stretched.Pixel(68, 40), clWhite);

  // The template's BackPicture.PropData gives another page the same background.
  TpgwReportPage copy(nullptr);
  copy.SetPaperWidth(20);
  copy.SetPaperHeight(20);
  copy.SetLeftMargin(2);
  copy.SetTopMargin(2);
  ReadExtraProperties(copy.BackPicture(), WriteExtraProperties(page.BackPicture()));
  copy.SetBackPictureStretched(false);
  TBitmap own(80, 80);
  copy.DrawBackground(own.Canvas(), 1, 1, 0, 0);
  EXPECT_EQ(own.Pixel(8, 8), clRed);
  EXPECT_EQ(own.Pixel(11, 9), clBlue);
  EXPECT_EQ(own.Pixel(12, 8), clWhite);
  EXPECT_EQ(own.Pixel(8, 10), clWhite);
}

}  // namespace
