// The barcode object: sizing by Zoom, anchoring, error display, rotation, fills, the font cap,
// its data, the post-processing side, and the drawn symbols read back by zbarimg.
#include "barcode_view/barcode_view.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include "common/run_program.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "barcode_view/barcode_draw.h"
#include "data/data_set.h"
#include "platform/streams.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "render/picture_codecs.h"
#include "platform/unicode.h"
#include "report/bands.h"
#include "report/pages.h"
#include "report/report.h"

namespace pagewright {
namespace {

constexpr const char16_t* kSscc = u"(00)384123450000000073";

bool Dark(TColor c) {
  return GetRValue(c) < 96 && GetGValue(c) < 96 && GetBValue(c) < 96;
}
bool Reddish(TColor c) {
  return GetRValue(c) > 150 && GetGValue(c) < 110 && GetBValue(c) < 110;
}

// A white bitmap with one barcode object drawn at scale 1 with an offset (the quiet margin).
struct Scene {
  TBitmap bmp;
  std::unique_ptr<TpgwBarCodeView> view = std::make_unique<TpgwBarCodeView>(nullptr);
  explicit Scene(int w = 400, int h = 200) : bmp(w, h) {}
  void Draw(Extended scale = 1, Extended offset = 0) {
    view->Draw(bmp.Canvas(), scale, scale, offset, offset);
  }
  int Count(bool (*test)(TColor), int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += test(bmp.Pixel(x, y));
    return n;
  }
  // The first and last column with a pixel passing `test` in the rows [y0, y1).
  std::pair<int, int> InkColumns(bool (*test)(TColor), int y0, int y1) const {
    int first = -1, last = -1;
    for (int x = 0; x < bmp.Width(); ++x)
      for (int y = y0; y < y1; ++y)
        if (test(bmp.Pixel(x, y))) {
          if (first < 0) first = x;
          last = x;
          break;
        }
    return {first, last};
  }
};

void SetUpGs1(TpgwBarCodeView& v, Extended zoom, const WideString& text = kSscc) {
  v.SetBarType(bcGS1Code128);
  v.SetText(text);
  v.SetZoom(zoom);
  v.SetBounds(0, 0, 200, 128);
}

TEST(BarCodeView, AutoSizeMakesOneModuleZoomPixelsWide) {
  for (Extended zoom : {1.0L, 2.0L}) {
    SCOPED_TRACE(static_cast<double>(zoom));
    Scene s(400, 140);
    SetUpGs1(*s.view, zoom);
    s.Draw();
    EXPECT_EQ(s.view->Width(), 158 * zoom);  // 156 modules of symbol and the two extra ones
    EXPECT_TRUE(s.view->ErrorText().empty());
    // The bars start one module in and end one module before the far edge.
    auto [first, last] = s.InkColumns(Dark, 10, 60);
    EXPECT_EQ(first, static_cast<int>(zoom));
    EXPECT_EQ(last, static_cast<int>(158 * zoom - zoom - 1));
  }
}

TEST(BarCodeView, Gs1TextReadsWithParenthesesCentredUnderTheBars) {
  TpgwBarcode bc;
  bc.SetTyp(bcGS1Code128);
  bc.SetText("(00)384123450000000073");
  const std::string pattern = bc.BuildElementPattern();
  const TFont font = BarcodeDrawingFont(bc.Font(), 0);
  const auto pieces = BarcodeTextPieces(bc, pattern, bc.Width(), font);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].Text, kSscc);
  const int textWidth = FindFont(font).TextWidth(kSscc);
  EXPECT_EQ(pieces[0].X, (158 - textWidth) / 2);
  EXPECT_EQ(pieces[0].ClearFrom, 0);
  EXPECT_EQ(pieces[0].ClearTo, 157);

  // Drawn: ink in the text band, as far from the left edge as from the right, and a gap of two
  // modules between bars and text.
  Scene s(400, 140);
  SetUpGs1(*s.view, 2);
  s.Draw();
  const int height = 128, band = 2 * (2 + 12);  // text band: font height + 2 modules
  auto [first, last] = s.InkColumns(Dark, height - band, height);
  ASSERT_GE(first, 0);
  EXPECT_NEAR(first, 316 - 1 - last, 2);
  EXPECT_EQ(s.Count(Dark, 0, height - band - 4, 316, height - band), 0);
}

TEST(BarCodeView, EanDigitGroupsFollowTheRealElementWidths) {
  // Positions are written for ratio 2; with ratio 3 each group starts and ends where its digits'
  // elements really do, and its characters are spread over that width.
  for (double ratio : {2.0, 3.0}) {
    SCOPED_TRACE(ratio);
    TpgwBarcode bc;
    bc.SetTyp(bcCodeEAN13);
    bc.SetText("4006381333931");
    bc.SetRatio(ratio);
    const std::string pattern = bc.BuildElementPattern();
    // Start of element i in modules (the first element starts one module in).
    auto start = [&](size_t i) {
      int x = 1;
      for (size_t k = 0; k < i; ++k) {
        int w;
        TpgwBarKind kind;
        bc.ElementWidthAndKind(pattern[k], w, kind);
        x += w;
      }
      return x;
    };
    const int W = bc.Width();
    const auto pieces = BarcodeTextPieces(bc, pattern, W, BarcodeDrawingFont(bc.Font(), 0));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].Text, u"4");
    EXPECT_EQ(pieces[0].X, -7);
    EXPECT_EQ(pieces[1].Text, u"006381");
    EXPECT_EQ(pieces[1].ClearFrom, start(3));   // after the start guard
    EXPECT_EQ(pieces[1].ClearTo, start(27));    // the centre guard
    EXPECT_EQ(pieces[2].ClearFrom, start(31));  // its last space
    EXPECT_EQ(pieces[2].ClearTo, W - 4);        // the end guard
    EXPECT_EQ(pieces[1].Spread, ratio != 2.0);
  }
}

TEST(BarCodeView, NumericTypeShowsTheEncoderErrorInRed) {
  Scene s(300, 100);
  s.view->SetBarType(bcCodeEAN13);
  s.view->SetText(kSscc);
  s.view->SetBounds(0, 0, 200, 80);
  s.Draw();
  EXPECT_EQ(s.view->ErrorText(), u"Barcode must be numeric");
  EXPECT_EQ(s.view->Width(), 200);  // the previous size stays
  EXPECT_GT(s.Count(Reddish, 0, 0, 200, 80), 20);
  EXPECT_EQ(s.Count(Dark, 0, 0, 300, 100), 0);  // no bars
  // The message starts 2 pixels in.
  auto [first, last] = s.InkColumns(Reddish, 0, 80);
  EXPECT_GE(first, 2);
  EXPECT_LT(last, 200);
}

TEST(BarCodeView, WithoutAutoSizeZoomFollowsTheWidth) {
  Scene s(400, 140);
  SetUpGs1(*s.view, 1);
  s.view->SetAutoSize(false);
  s.view->SetWidth(316);
  s.Draw();
  EXPECT_EQ(s.view->Zoom(), 2);
  EXPECT_EQ(s.view->Width(), 316);
  auto [first, last] = s.InkColumns(Dark, 10, 60);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 313);
}

TEST(BarCodeView, HAlignAnchorsAnAutoSizedObject) {
  struct Case {
    TpgwHAlign align;
    int rotation;
    Extended left, top;
  } cases[] = {
      {haLeft, 0, 100, 10},   {haBlock, 0, 100, 10},  {haRight, 0, 142, 10},
      {haCenter, 0, 121, 10}, {haRight, 90, 100, 52},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.align << " " << c.rotation);
    Scene s(500, 400);
    SetUpGs1(*s.view, 1);
    s.view->SetRotation(c.rotation);
    s.view->SetHAlign(c.align);
    s.view->SetBounds(100, 10, c.rotation ? 60 : 200, c.rotation ? 200 : 60);
    s.Draw();
    EXPECT_EQ(s.view->Left(), c.left);
    EXPECT_EQ(s.view->Top(), c.top);
    s.Draw();  // a second draw keeps the place
    EXPECT_EQ(s.view->Left(), c.left);
    EXPECT_EQ(s.view->Top(), c.top);
  }
}

TEST(BarCodeView, RotationSizesAlongTheBarsAndKeepsTheTextOutside) {
  // Rotation 90 turns the symbol counterclockwise: its text ends up on the right; 270 on the left.
  struct Case {
    int rotation;
    int textFrom, gapFrom;  // columns of the text band and of the 2-module gap before it
  } cases[] = {{90, 46, 44}, {270, 0, 14}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rotation);
    Scene s(100, 200);
    SetUpGs1(*s.view, 1);
    s.view->SetRotation(c.rotation);
    s.view->SetBounds(0, 0, 60, 100);
    s.Draw();
    EXPECT_EQ(s.view->Height(), 158);
    EXPECT_EQ(s.view->Width(), 60);
    EXPECT_EQ(s.Count(Dark, c.gapFrom, 0, c.gapFrom + 2, 158), 0);
    EXPECT_GT(s.Count(Dark, c.textFrom, 0, c.textFrom + 14, 158), 50);
    const int barsFrom = c.rotation == 90 ? 0 : 16;
    EXPECT_GT(s.Count(Dark, barsFrom, 0, barsFrom + 44, 158), 44 * 60);
  }
}

TEST(BarCodeView, FontIsCappedAtNinePoints) {
  TpgwBarCodeView v(nullptr);
  EXPECT_EQ(v.Font().Name(), u"Arial");
  EXPECT_EQ(v.Font().Size(), 9);
  v.Font().SetSize(12);
  EXPECT_EQ(v.Font().Size(), 9);
  EXPECT_EQ(v.Font().Height(), -12);
  const TPropInfo* font = v.ClassInfo().FindProperty("Font");
  ASSERT_NE(font, nullptr);
  auto* f = dynamic_cast<TpgwFont*>(font->Get(v).Obj);
  ASSERT_NE(f, nullptr);
  f->SetHeight(-16);  // 12 points, as a template writes it
  EXPECT_EQ(v.Font().Size(), 9);
  v.Font().SetSize(7);
  EXPECT_EQ(v.Font().Size(), 7);
}

TEST(BarCodeView, GradientFillShowsBetweenTheBars) {
  Scene s(400, 140);
  SetUpGs1(*s.view, 2);
  s.view->SetFillType(ftGradient);
  auto& g = static_cast<TpgwGradientFill&>(s.view->Fill());
  g.SetStartColor(clRed);
  g.SetEndColor(clBlue);
  s.Draw();
  auto white = [](TColor c) { return c == clWhite; };
  auto coloured = [](TColor c) { return !Dark(c) && c != clWhite; };
  EXPECT_EQ(s.Count(white, 0, 10, 316, 60), 0);
  EXPECT_GT(s.Count(coloured, 0, 10, 316, 60), 316 * 50 / 3);
  // A brush fill without colour paints the spaces white.
  Scene plain(400, 140);
  SetUpGs1(*plain.view, 2);
  plain.Draw();
  EXPECT_GT(plain.Count(white, 4, 10, 312, 60), 308 * 50 / 3);
}

TEST(BarCodeView, Itf14BearerBarsAndTestLine) {
  Scene s(400, 140);
  s.view->SetBarType(bcCode_ITF_14);
  s.view->SetText(u"12345678912343");
  s.view->SetBounds(0, 0, 200, 100);
  s.Draw();
  ASSERT_TRUE(s.view->ErrorText().empty());
  const int w = static_cast<int>(s.view->Width());
  // d = frame width 1 + 4 = 5 rows of bar colour across the top, and 5 columns at each end.
  EXPECT_EQ(s.Count(Dark, 0, 0, w, 5), w * 5);
  EXPECT_EQ(s.Count(Dark, 0, 0, 5, 80), 5 * 80);
  EXPECT_EQ(s.Count(Dark, w - 5, 0, w, 80), 5 * 80);

  Scene t(400, 140);
  t.view->SetBarType(bcCode39);
  t.view->SetText(u"CODE39");
  t.view->SetTestLine(true);
  t.view->SetShowText(false);
  t.view->SetBounds(0, 0, 200, 60);
  t.Draw();
  const int tw = static_cast<int>(t.view->Width());
  EXPECT_EQ(t.Count(Dark, 0, 0, tw, 2), tw * 2);
}

TEST(BarCodeView, SampleTextAfterATypeChangeOnlyInTheDesigner) {
  for (bool designing : {true, false}) {
    SCOPED_TRACE(designing);
    Scene s(300, 100);
    if (designing) s.view->SetIsDesigning(true);
    s.view->SetText(u"ABC");
    s.view->SetBarType(bcCode_ITF_14);
    s.view->SetBounds(0, 0, 200, 80);
    s.Draw();
    if (designing) {
      EXPECT_EQ(s.view->Text(), u"12345678912343");
      EXPECT_TRUE(s.view->ErrorText().empty());
    } else {
      EXPECT_EQ(s.view->Text(), u"ABC");
      EXPECT_EQ(s.view->ErrorText(), u"The length should be 13 or 14");
    }
    EXPECT_FALSE(s.view->FirstTryAfterSBT());
  }
  TpgwBarCodeView created(nullptr, bcCodePlessey, true);
  EXPECT_EQ(created.BarType(), bcCodePlessey);
  EXPECT_EQ(created.Text(), u"0123456789ABCDEF");
  EXPECT_TRUE(created.CalcCheckSum());
}

TEST(BarCodeView, GetDataTakesTheFieldOrTheExpression) {
  ScriptServiceDouble script;
  TpgwReport report(TpgwReportServices{nullptr, &script});
  auto* view = &CreateChild<TpgwBarCodeView>(report);
  TpgwUserDataSet ds(nullptr);
  std::map<WideString, Variant> fields = {{u"code", Variant(WideString(u"(91)010003"))},
                                          {u"none", Variant::Null()}};
  ds.OnGetValue = [&](const WideString& name, Variant& v) { v = fields[name]; };

  view->SetDataSet(&ds);
  view->SetDataField(u"code");
  view->GetData();
  EXPECT_EQ(view->Text(), u"(91)010003");
  view->SetDataField(u"none");
  view->GetData();
  EXPECT_EQ(view->Text(), u"");

  std::vector<WideString> asked;
  script.calc = [&](TpgwReport&, const WideString& e) {
    asked.push_back(e);
    return e == u"Null" ? Variant::Null() : Variant(int32_t{42});
  };
  view->SetDataSet(nullptr);
  view->SetExpression(u"1 + 41");
  view->GetData();
  EXPECT_EQ(view->Text(), u"42");
  view->SetExpression(u"Null");
  view->GetData();
  EXPECT_EQ(view->Text(), u"");
  EXPECT_EQ(asked, (std::vector<WideString>{u"1 + 41", u"Null"}));
}

// Test doubles of the post-processor's side.
struct Entries : IpgwMacrosItem {
  std::vector<WideString> values;
  int last = -1;
  TpgwCustomMemoView* current = nullptr;
  int TextCount() const override { return static_cast<int>(values.size()); }
  WideString Text(int i) const override { return values.at(static_cast<size_t>(i)); }
  void SetLastText(const WideString& v) override { values.back() = v; }
  TpgwCustomMemoView* CurrentObject() const override { return current; }
  void SetCurrentObject(TpgwCustomMemoView* o) override { current = o; }
  int LastIndex() const override { return last; }
  void SetLastIndex(int i) override { last = i; }
};
struct PostProcessor : IpgwBarcodePostProcessor {
  Entries item;
  WideString band, object;
  bool process = false;
  int Add(const WideString& b, const WideString& o, const WideString& content, TpgwProcessAtMode, TpgwView&,
          bool p) override {
    band = b;
    object = o;
    process = p;
    item.values.push_back(content);
    return item.TextCount() - 1;
  }
};

TEST(BarCodeView, DeferredValueThroughThePostProcessor) {
  ScriptServiceDouble script;
  TpgwReport report(TpgwReportServices{nullptr, &script});
  auto* view = &CreateChild<TpgwBarCodeView>(report);
  view->SetName(u"BarCode1");
  view->SetExpression(u"[Total]");
  view->Processing().ProcessAt = paReportFinished;
  PostProcessor pp;
  pp.item.values = {u"first"};
  view->SetText(u"(00)000000000000000000");
  ASSERT_TRUE(view->SaveContentToDictionary(report, pp));
  EXPECT_EQ(view->Text(), u"1");
  EXPECT_EQ(pp.object, u"BarCode1");
  EXPECT_EQ(pp.band, report.Name());
  EXPECT_EQ(pp.process, !report.Name().empty());

  script.calc = [](TpgwReport&, const WideString&) {
    return Variant(WideString(u"(00)384123450000000073"));
  };
  report.SetCurObject(u"Other");
  view->ProcessDictionary(pp.item, report);
  EXPECT_EQ(pp.item.values[1], kSscc);
  EXPECT_EQ(view->Text(), u"1");  // the object keeps its index
  EXPECT_EQ(report.CurObject(), u"Other");

  EXPECT_TRUE(view->LoadContentFromDictionary(report, pp.item));
  EXPECT_EQ(view->Text(), kSscc);
  view->SetText(u"0");
  EXPECT_FALSE(view->LoadContentFromDictionary(report, pp.item));  // once only
  EXPECT_EQ(view->Text(), u"0");
}

TEST(BarCodeView, ExportBoundsMakeRoomForTextWiderThanTheBars) {
  TpgwBarCodeView v(nullptr);
  v.SetBarType(bcPharmacode);
  v.SetText(u"1");  // a single bar: 3 modules, the digit is wider
  v.SetBounds(50, 0, 100, 60);
  const TpgwRect real = v.GetRealBounds();
  EXPECT_EQ(v.Width(), 3);
  EXPECT_LT(real.Left, 50);
  EXPECT_EQ(real.Right - 53, 50 - real.Left);
  std::unique_ptr<TMetafile> graphic = v.GetVectorGraphic(true);
  ASSERT_GT(v.ExportExpance(), 0);
  EXPECT_EQ(graphic->Width(), 3 + 2 * v.ExportExpance());
  const TpgwRect bounds = v.GetExportBounds();
  EXPECT_EQ(bounds.Left, 50 - v.ExportExpance());
  EXPECT_EQ(bounds.Right, 53 + v.ExportExpance());

  TpgwBarCodeView wide(nullptr);
  SetUpGs1(wide, 1);
  wide.GetVectorGraphic(false);
  EXPECT_EQ(wide.ExportExpance(), 0);
  EXPECT_EQ(wide.GetExportBounds().Right, 158);
}

// The order of the published properties is in the class registry golden (tests/startup).
TEST(BarCodeView, PublishedDefaults) {
  TpgwBarCodeView v(nullptr);
  EXPECT_EQ(v.BarType(), bcCode39);
  EXPECT_EQ(v.Text(), u"12345678");
  EXPECT_EQ(v.WideBarRatio(), 2);
  EXPECT_EQ(v.Zoom(), 1);
  EXPECT_TRUE(v.AutoSize());
  EXPECT_TRUE(v.ShowText());
  EXPECT_EQ(v.ColorBar(), clBlack);
  EXPECT_EQ(v.GetDescription(), u"obBarC");
}

TEST(BarCodeView, LabelTemplateElementLoads) {
  ProvideViewClasses();
  ProvidePageClasses();
  ProvideBandClasses();
  RegisterReportClasses();
  RegisterBarcodeClasses();
  TpgwReport r;
  r.EngineOptions().SetSilentMode(true);
  TStringStream s(
      "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\r\n"
      "<TpgwReport><TpgwReportPage Name=\"Page1\"><TpgwMasterData Name=\"MasterData1\" Height=\"600\">"
      "<TpgwBarCodeView Name=\"BarCodeSSCC\" AllowVectorExport=\"True\" Left=\"29\" Top=\"408\" "
      "Width=\"316\" "
      "Height=\"128\" BarType=\"bcGS1Code128\" Text=\"(00)000000000000000000\" WideBarRatio=\"2\" Zoom=\"2\" "
      "Font.Charset=\"1\" Font.Color=\"0\" Font.Height=\"-12\" Font.Name=\"Arial\" Font.Style=\"0\" "
      "Frame.Typ=\"0\" DataField=\"barcode_ia00\" Processing.ProcessAt=\"paReportFinished\" "
      "FillType=\"ftGradient\" Fill.StartColor=\"255\"/>"
      "</TpgwMasterData></TpgwReportPage></TpgwReport>");
  r.LoadFromStream(s);
  EXPECT_EQ(r.Errors().Count(), 0) << Utf16ToUtf8(r.Errors().Text());
  auto* v = dynamic_cast<TpgwBarCodeView*>(r.FindObject(u"BarCodeSSCC"));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->BarType(), bcGS1Code128);
  EXPECT_FALSE(v->FirstTryAfterSBT());  // loading is no designer's type change
  EXPECT_EQ(v->Text(), u"(00)000000000000000000");
  EXPECT_EQ(v->Zoom(), 2);
  EXPECT_EQ(v->Font().Size(), 9);
  EXPECT_EQ(v->DataField(), u"barcode_ia00");
  EXPECT_EQ(v->Processing().ProcessAt, paReportFinished);
  EXPECT_EQ(v->FillType(), ftGradient);
  EXPECT_EQ(static_cast<const TpgwGradientFill&>(v->Fill()).StartColor(), 255);
  EXPECT_EQ(v->Width(), 316);
}

// ---- read back by an independent decoder ------------------------------------------------------------

bool HaveZbarimg() {
  return std::system("command -v zbarimg >/dev/null 2>&1") == 0;
}

std::string DecodePng(const TBitmap& bmp) {
  const std::string path = ::testing::TempDir() + "pw_barcode_view_" + std::to_string(getpid()) + ".png";
  {
    TFileStream f(path, fmCreate);
    EncodePNG(bmp, f);
  }
  std::string out = test_support::RunCommand("zbarimg -q --raw '" + path + "'").out;
  std::remove(path.c_str());
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(BarCodeView, LabelSymbolsScanBackToTheirData) {
  ASSERT_TRUE(HaveZbarimg()) << "zbarimg is not installed (Debian package zbar-tools): the symbols cannot "
                                "be read back";
  // zbarimg gives GS1-128 data without the parentheses, as AI digits and data.
  struct Case {
    const char16_t* text;
    int rotation;
    Extended scale;
    const char* decoded;
  } cases[] = {
      {u"(91)010003", 0, 1, "91010003"},      {u"(98)03000910264012640102", 0, 1, "9803000910264012640102"},
      {kSscc, 0, 1, "00384123450000000073"},  {kSscc, 0, 2.5, "00384123450000000073"},
      {kSscc, 90, 1, "00384123450000000073"}, {kSscc, 180, 1, "00384123450000000073"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.decoded << " rotation " << c.rotation << " scale " << c.scale);
    // The template's objects: Zoom 2, 128 pixels across the bars; 2 pixels or more per module.
    const bool vertical = c.rotation == 90 || c.rotation == 270;
    TpgwBarCodeView v(nullptr);
    v.SetBarType(bcGS1Code128);
    v.SetText(c.text);
    v.SetZoom(2);
    v.SetRotation(c.rotation);
    v.SetBounds(0, 0, vertical ? 128 : 200, vertical ? 200 : 128);
    v.GetRealBounds();  // settles the size
    const int margin = 40;
    TBitmap bmp(static_cast<int>(v.Width() * c.scale) + 2 * margin,
                static_cast<int>(v.Height() * c.scale) + 2 * margin);
    v.Draw(bmp.Canvas(), c.scale, c.scale, margin, margin);
    EXPECT_EQ(DecodePng(bmp), c.decoded);
  }
}

TEST(BarCodeView, VectorGraphicScansWhenStretched) {
  ASSERT_TRUE(HaveZbarimg()) << "zbarimg is not installed (Debian package zbar-tools): the symbols cannot "
                                "be read back";
  TpgwBarCodeView v(nullptr);
  v.SetBarType(bcGS1Code128);
  v.SetText(kSscc);
  v.SetZoom(2);
  v.SetBounds(29, 408, 316, 128);
  std::unique_ptr<TMetafile> graphic = v.GetVectorGraphic(true);
  ASSERT_EQ(graphic->Width(), 316);
  ASSERT_EQ(graphic->Height(), 128);
  TBitmap bmp(316 * 3 / 2 + 80, 128 * 3 / 2 + 80);
  bmp.Canvas().StretchDraw(Rect(40, 40, 40 + 316 * 3 / 2, 40 + 128 * 3 / 2), *graphic);
  EXPECT_EQ(DecodePng(bmp), "00384123450000000073");
}

}  // namespace
}  // namespace pagewright
