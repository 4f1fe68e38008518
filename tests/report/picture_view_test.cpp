#include "report/picture_view.h"

#include <gtest/gtest.h>

#include "common/service_doubles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/property_stream.h"
#include "platform/unicode.h"
#include "render/bitmap.h"
#include "render/picture_codecs.h"
#include "report/report.h"

using namespace pagewright;

namespace {

// Left half red, right half blue.
std::unique_ptr<TBitmap> TwoColourBitmap(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetPixel(x, y, x < w / 2 ? clRed : clBlue);
  return b;
}

std::string BmpBytes(int w, int h) {
  TMemoryStream m;
  EncodeBMP(*TwoColourBitmap(w, h), m);
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(PW_TEST_DATA_DIR) + "/pictures/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The header older programs put before pictures in binary fields: 1, 256, the data's length.
std::string LegacyHeader(uint32_t length) {
  return std::string("\x01\x00\x00\x01", 4) +
         std::string{static_cast<char>(length), static_cast<char>(length >> 8),
                     static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
}

bool Load(TpgwPictureView& v, const std::string& bytes) {
  TStringStream s(bytes);
  return v.LoadPictureFromStream(s, true);
}

class PictureViewTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterGraphicFormats(); }
};

// The order of the published properties is in the class registry golden (tests/startup).
TEST_F(PictureViewTest, PublishedPropertiesWithTheirDefaults) {
  // The signature's wide-string description is the component's own.
  EXPECT_EQ(TpgwDigitalSignatureView::StaticClassInfo().FindProperty("Description"),
            TpgwReportComponent::StaticClassInfo().FindProperty("Description"));

  TpgwDigitalSignatureView v(nullptr);
  EXPECT_EQ(v.ClassName(), "TpgwDigitalSignatureView");
  EXPECT_FALSE(v.pwComponentStyle().Contains(csDefaultDiff));
  EXPECT_EQ(v.Flags(), (TpgwGraphicDrawFlags{fgdKeepAspectRatio, fgdStretch, fgdClip}));
  EXPECT_EQ(v.TransparentColor(), clWhite);
  EXPECT_EQ(v.Kind(), skInvisible);
  for (const char* n : {"Cursor", "AutoSize", "Center", "KeepAspectRatio", "Stretched", "Kind"})
    EXPECT_TRUE(GetPropInfo(v, n).IsDefaultValue(v)) << n;
  for (const char* n : {"HightQuality", "Transparent", "TransparentColor"})  // always written
    EXPECT_FALSE(GetPropInfo(v, n).IsDefaultValue(v)) << n;

  // The own picture is stored, not a cache index; a data link only when it holds a link; the
  // URL never.
  EXPECT_TRUE(GetPropInfo(v, "Picture").IsStored(v));
  EXPECT_FALSE(GetPropInfo(v, "ImageIndex").IsStored(v));
  EXPECT_FALSE(GetPropInfo(v, "DataLink").IsStored(v));
  EXPECT_FALSE(GetPropInfo(v, "URL").IsStored(v));
  v.SetIsPictureStored(false);
  v.SetIsImageIndexStored(true);
  v.DataLink().SetLink(u"http://example.org/a.png");
  EXPECT_FALSE(GetPropInfo(v, "Picture").IsStored(v));
  EXPECT_TRUE(GetPropInfo(v, "ImageIndex").IsStored(v));
  EXPECT_TRUE(GetPropInfo(v, "DataLink").IsStored(v));
}

TEST_F(PictureViewTest, PublishedBooleansAreFlagBits) {
  const struct {
    const char* name;
    TpgwGraphicDrawFlag flag;
  } cases[] = {{"AutoSize", fgdAutoSize},       {"Center", fgdCenter},
               {"Stretched", fgdStretch},       {"KeepAspectRatio", fgdKeepAspectRatio},
               {"Transparent", fgdTransparent}, {"HightQuality", fgdHiQuality}};
  for (const auto& c : cases) {
    TpgwPictureView v(nullptr);
    const bool was = v.Flags().Contains(c.flag);
    SetPropValue(v, c.name, TPropValue::Boolean(!was));
    EXPECT_EQ(v.Flags().Contains(c.flag), !was) << c.name;
    EXPECT_EQ(v.Flags().Contains(fgdClip), true) << c.name;
  }
}

// The 200 × 100 picture (red left half, blue right half) in an area at (50, 10).
TEST_F(PictureViewTest, PlacementInTheArea) {
  struct Probe {
    int x, y;
    TColor colour;
  };
  struct Case {
    const char* name;
    Extended w, h;
    bool stretched, keepAspect, center, clip;
    TRect expected;
    std::vector<Probe> probes;
  } cases[] = {
      {"stretched, aspect kept, centred",
       100,
       100,
       true,
       true,
       true,
       true,
       Rect(50, 35, 150, 85),
       {{60, 34, clWhite},
        {60, 35, clRed},
        {99, 60, clRed},
        {100, 60, clBlue},
        {140, 84, clBlue},
        {140, 85, clWhite}}},
      {"stretched, aspect kept",
       100,
       100,
       true,
       true,
       false,
       true,
       Rect(50, 10, 150, 60),
       {{60, 10, clRed}, {60, 59, clRed}, {60, 60, clWhite}}},
      {"stretched, aspect kept, area wider than the picture",
       100,
       30,
       true,
       true,
       true,
       true,
       Rect(70, 10, 130, 40),
       {{69, 20, clWhite}, {70, 20, clRed}, {129, 20, clBlue}, {130, 20, clWhite}}},
      {"stretched over the whole area",
       100,
       100,
       true,
       false,
       false,
       true,
       Rect(50, 10, 150, 110),
       {{99, 50, clRed}, {100, 50, clBlue}, {60, 109, clRed}, {149, 109, clBlue}, {150, 50, clWhite}}},
      {"own size, centred, clipped",
       100,
       100,
       false,
       true,
       true,
       true,
       Rect(0, 10, 200, 110),
       {{49, 50, clWhite},
        {50, 50, clRed},
        {99, 50, clRed},
        {100, 50, clBlue},
        {149, 50, clBlue},
        {150, 50, clWhite}}},
      {"own size at the top-left, clipped",
       100,
       100,
       false,
       true,
       false,
       true,
       Rect(50, 10, 250, 110),
       {{50, 50, clRed}, {149, 50, clRed}, {150, 50, clWhite}}},
      {"own size at the top-left, not clipped",
       100,
       100,
       false,
       true,
       false,
       false,
       Rect(50, 10, 250, 110),
       {{149, 50, clRed}, {150, 50, clBlue}, {249, 50, clBlue}, {250, 50, clWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TpgwPictureView v(nullptr);
    v.Picture().SetGraphic(TwoColourBitmap(200, 100));
    v.SetBounds(50, 10, c.w, c.h);
    v.SetStretched(c.stretched);
    v.SetKeepAspectRatio(c.keepAspect);
    v.SetCenter(c.center);
    TpgwGraphicDrawFlags flags = v.Flags();
    if (!c.clip) flags.Exclude(fgdClip);
    v.SetFlags(flags);
    TBitmap bmp(260, 130);
    v.Draw(bmp.Canvas(), 1, 1, 0, 0);
    const TRect r = v.GraphicRect();
    EXPECT_EQ(r.Left, c.expected.Left);
    EXPECT_EQ(r.Top, c.expected.Top);
    EXPECT_EQ(r.Right, c.expected.Right);
    EXPECT_EQ(r.Bottom, c.expected.Bottom);
    for (const Probe& p : c.probes) EXPECT_EQ(bmp.Pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
  }

  // Not stretched, the picture keeps its own size times the scale.
  TpgwPictureView v(nullptr);
  v.Picture().SetGraphic(TwoColourBitmap(200, 100));
  v.SetBounds(0, 0, 100, 100);
  v.SetStretched(false);
  TBitmap bmp(10, 10);
  v.Draw(bmp.Canvas(), 2, 1.5L, 0, 0);
  EXPECT_EQ(v.GraphicRect().Right, 400);
  EXPECT_EQ(v.GraphicRect().Bottom, 150);
}

TEST_F(PictureViewTest, QualityModeDecidesSmoothScaling) {
  // Blends of red and blue appear only where the picture is resampled smoothly.
  auto blended = [](bool hiQuality, bool printing) {
    TpgwPictureView v(nullptr);
    v.Picture().SetGraphic(TwoColourBitmap(2, 1));
    v.SetBounds(0, 0, 100, 10);
    v.SetKeepAspectRatio(false);
    v.SetHightQuality(hiQuality);
    v.SetIsPrinting(printing);
    TBitmap bmp(100, 10);
    v.Draw(bmp.Canvas(), 1, 1, 0, 0);
    int n = 0;
    for (int x = 0; x < 100; ++x) n += bmp.Pixel(x, 5) != clRed && bmp.Pixel(x, 5) != clBlue;
    return n;
  };
  EXPECT_EQ(blended(false, false), 0);
  EXPECT_GT(blended(true, false), 0);
  EXPECT_GT(blended(false, true), 0);
}

TEST_F(PictureViewTest, TransparentColourLetsTheFillThrough) {
  for (bool transparent : {false, true}) {
    TpgwPictureView v(nullptr);
    auto b = std::make_unique<TBitmap>(20, 10);  // white left half, black right half
    for (int y = 0; y < 10; ++y)
      for (int x = 10; x < 20; ++x) b->SetPixel(x, y, clBlack);
    v.Picture().SetGraphic(std::move(b));
    v.SetBounds(0, 0, 20, 10);
    v.SetKeepAspectRatio(false);
    v.SetColor(clYellow);
    v.SetTransparent(transparent);
    TBitmap bmp(20, 10);
    v.Draw(bmp.Canvas(), 1, 1, 0, 0);
    EXPECT_EQ(bmp.Pixel(5, 5), transparent ? clYellow : clWhite);
    EXPECT_EQ(bmp.Pixel(15, 5), clBlack);
    EXPECT_EQ(v.GraphicTransparency(), transparent);
  }
}

TEST_F(PictureViewTest, GraphicQueries) {
  TpgwPictureView v(nullptr);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(v.GetGraphic(), nullptr);
  EXPECT_EQ(v.GraphicWidth(), 0);

  // A picture with alpha: transparent; its alpha is used unless high quality without Transparent.
  ASSERT_TRUE(Load(v, ReadFixture("png_rgba.png")));
  EXPECT_TRUE(v.GraphicTransparency());
  EXPECT_TRUE(v.GraphicHasAlpha());
  v.SetHightQuality(true);
  EXPECT_FALSE(v.GraphicHasAlpha());
  v.SetTransparent(true);
  EXPECT_TRUE(v.GraphicHasAlpha());
  EXPECT_FALSE(v.IsEMFExportable());

  // No transparent colour of its own: the format's mask colour (a GIF's transparent index).
  ASSERT_TRUE(Load(v, ReadFixture("gif_two_frames.gif")));
  EXPECT_EQ(v.GraphicTransparentColor(), clWhite);
  v.SetTransparentColor(clNone);
  EXPECT_EQ(v.GraphicTransparentColor(), clWhite);
  v.SetTransparentColor(clRed);
  EXPECT_EQ(v.GraphicTransparentColor(), clRed);

  // Vector pictures go to exports as vectors when the view allows it.
  ASSERT_TRUE(Load(v, ReadFixture("picture.wmf")));
  EXPECT_TRUE(v.IsEMFExportable());
  v.SetAllowVectorExport(false);
  EXPECT_FALSE(v.IsEMFExportable());
}

TEST_F(PictureViewTest, LegacyFieldHeaderIsPassedOver) {
  const std::string bmp = BmpBytes(200, 100);
  auto header = LegacyHeader;
  TpgwPictureView plain(nullptr), legacy(nullptr);
  ASSERT_TRUE(Load(plain, bmp));
  ASSERT_TRUE(Load(legacy, header(static_cast<uint32_t>(bmp.size())) + bmp));
  EXPECT_EQ(legacy.GraphicWidth(), 200);
  EXPECT_EQ(legacy.GraphicHeight(), 100);
  TBitmap a(100, 100), b(100, 100);
  plain.SetBounds(0, 0, 100, 100);
  legacy.SetBounds(0, 0, 100, 100);
  plain.Draw(a.Canvas(), 1, 1, 0, 0);
  legacy.Draw(b.Canvas(), 1, 1, 0, 0);
  for (int y = 0; y < 100; y += 7)
    for (int x = 0; x < 100; x += 7) ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << x << "," << y;

  // A header whose length does not match is data, which no format reads: the picture empties.
  EXPECT_FALSE(Load(legacy, header(5) + bmp));
  EXPECT_TRUE(legacy.IsEmpty());
  EXPECT_FALSE(Load(plain, ""));
  EXPECT_TRUE(plain.IsEmpty());

  // Without from-start the stream's position is the start.
  TStringStream s("xyz" + header(static_cast<uint32_t>(bmp.size())) + bmp);
  s.SetPosition(3);
  EXPECT_TRUE(plain.LoadPictureFromStream(s, false));
  EXPECT_EQ(plain.GraphicWidth(), 200);
}

TEST_F(PictureViewTest, PictureChangesResizeAndDropTheCachedCopy) {
  TpgwPictureView v(nullptr);
  v.SetBounds(0, 0, 10, 10);
  v.Picture().SetGraphic(TwoColourBitmap(30, 20));
  EXPECT_EQ(v.Width(), 10);  // AutoSize off
  v.SetAutoSize(true);
  EXPECT_EQ(v.Width(), 30);
  EXPECT_EQ(v.Height(), 20);

  // A picture read from a template's property stream counts as a change.
  TPicture source;
  source.SetGraphic(TwoColourBitmap(40, 25));
  v.SetPictureChanged(false);
  v.SetCachedGraphic(std::shared_ptr<const TGraphic>(TwoColourBitmap(7, 7)));
  EXPECT_EQ(v.GraphicWidth(), 7);
  ReadExtraProperties(v.Picture(), WriteExtraProperties(source));
  EXPECT_EQ(v.Width(), 40);
  EXPECT_EQ(v.Height(), 25);
  EXPECT_TRUE(v.PictureChanged());
  EXPECT_EQ(v.CachedGraphic(), nullptr);
  EXPECT_EQ(v.GraphicWidth(), 40);

  // Templates and scripts set the picture through its published property: a copy.
  v.SetWidth(1);
  SetPropValue(v, "Picture", TPropValue::Object(&source));
  EXPECT_EQ(v.Width(), 40);
  EXPECT_NE(v.Picture().Graphic(), source.Graphic());
  EXPECT_EQ(GetPropValue(v, "Picture").Obj, &v.Picture());

  // A cached picture alone makes the view non-empty.
  TpgwPictureView cached(nullptr);
  cached.SetCachedGraphic(std::shared_ptr<const TGraphic>(TwoColourBitmap(3, 3)));
  EXPECT_FALSE(cached.IsEmpty());
  EXPECT_EQ(cached.GraphicHeight(), 3);
}

class PictureViewData : public PictureViewTest {
 protected:
  void SetUp() override {
    PictureViewTest::SetUp();
    view = &CreateChild<TpgwPictureView>(report);  // the report holds it
    view->SetName(u"Picture1");
    dir = std::filesystem::temp_directory_path() / ("pw_picture_view_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(dir / name, std::ios::binary);
    out << bytes;
  }
  ScriptServiceDouble script;
  DataServiceDouble data;
  LinkServiceDouble links;
  TpgwReport report{TpgwReportServices{&data, &script, nullptr, nullptr, &links}};
  TpgwPictureView* view = nullptr;
  std::filesystem::path dir;
};

TEST_F(PictureViewData, FileLinkExpandsBracketsAndEmptiesForMissingFiles) {
  WriteFile("pic.bmp", BmpBytes(200, 100));
  WriteFile("broken.bmp", "BM not really a bitmap");
  std::vector<WideString> asked;
  script.calc = [&](TpgwReport&, const WideString& e) {
    asked.push_back(e);
    return Variant(Utf8ToUtf16(dir.string()));
  };
  view->SetFileLink(u"[Folder]/pic.bmp");
  view->GetData();
  EXPECT_EQ(asked, std::vector<WideString>{u"Folder"});
  EXPECT_EQ(view->GraphicWidth(), 200);
  EXPECT_EQ(view->FileLink(), u"[Folder]/pic.bmp");  // the link itself stays

  view->SetFileLink(u"[Folder]/broken.bmp");
  view->GetData();
  EXPECT_TRUE(view->IsEmpty());

  view->Picture().SetGraphic(TwoColourBitmap(5, 5));
  view->SetFileLink(u"[Folder]/missing.bmp");
  view->GetData();
  EXPECT_TRUE(view->IsEmpty());
}

// A file link naming a device, a pipe or a folder is an error line and no picture, never a hang;
// a relative link is taken from the template's folder.
TEST_F(PictureViewData, FileLinkReadsOnlyRegularFilesFromTheTemplatesFolder) {
  WriteFile("pic.bmp", BmpBytes(20, 10));
  const std::string fifo = (dir / "pipe.bmp").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(dir / "folder.bmp");
  report.SetFileName(Utf8ToUtf16((dir / "label.pw3").string()));
  const struct {
    std::string link, error;
    int width;
  } cases[] = {
      {"pic.bmp", "", 20},
      {"/dev/zero", "Picture1: Cannot open file \"/dev/zero\". It is not a regular file", 0},
      {"pipe.bmp", "Picture1: Cannot open file \"" + fifo + "\". It is not a regular file", 0},
      {"folder.bmp", "Picture1: Cannot open file \"" + (dir / "folder.bmp").string() + "\". Is a directory", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    report.Errors().Clear();
    view->Picture().SetGraphic(TwoColourBitmap(5, 5));
    view->SetFileLink(Utf8ToUtf16(c.link));
    view->GetData();
    EXPECT_EQ(view->GraphicWidth(), c.width);
    EXPECT_EQ(Utf16ToUtf8(report.Errors().Text()), c.error.empty() ? "" : c.error + "\r\n");  // error lines end in CR LF
  }
}

TEST_F(PictureViewData, BinaryFieldsLoadThroughTheDataSet) {
  TComponent dataSet(nullptr);
  dataSet.SetName(u"Pictures");
  view->SetDataSet(&dataSet);
  view->SetDataField(u"Photo");
  const std::string bmp = BmpBytes(20, 10);
  const std::string stored = LegacyHeader(static_cast<uint32_t>(bmp.size())) + bmp;
  std::vector<WideString> fields;
  data.isBlobField = [&](TComponent& ds, const WideString& f) {
    EXPECT_EQ(&ds, &dataSet);
    fields.push_back(f);
    return f == u"Photo";
  };
  data.blobBytes = [&](TComponent&, const WideString&, TStream& into) {
    into.WriteBuffer(stored);
  };

  view->GetData();
  EXPECT_EQ(view->GraphicWidth(), 20);
  EXPECT_EQ(view->GraphicHeight(), 10);

  // A field that is not binary leaves the picture as it is.
  view->SetDataField(u"Name");
  view->Picture().SetGraphic(TwoColourBitmap(5, 5));
  view->GetData();
  EXPECT_EQ(view->GraphicWidth(), 5);
  EXPECT_EQ(fields, (std::vector<WideString>{u"Photo", u"Name"}));
}

TEST_F(PictureViewData, DataLinkIsExpandedLoadedAndRestored) {
  script.calc = [](TpgwReport&, const WideString& e) { return Variant(WideString(u"n" + e)); };
  std::vector<WideString> loaded;
  links.load = [&](const WideString& link, TStream& into) {
    loaded.push_back(link);
    into.WriteBuffer(BmpBytes(8, 6));
    return true;
  };
  view->DataLink().SetLink(u"pics/[id].bmp");
  view->BeforePrint();
  view->GetData();
  EXPECT_EQ(loaded, std::vector<WideString>{u"pics/nid.bmp"});
  EXPECT_EQ(view->GraphicWidth(), 8);
  view->AfterPrint();
  EXPECT_EQ(view->DataLink().Link(), u"pics/[id].bmp");
}

TEST(PictureClasses, RegisteredByName) {
  ProvidePictureClasses();
  RegisterReportClasses();
  for (const char16_t* name : {u"TpgwPictureView", u"TpgwDigitalSignatureView"}) {
    const TClassInfo* cls = FindReportClass(name);
    ASSERT_NE(cls, nullptr);
    std::unique_ptr<TPersistent> obj = cls->Create();
    EXPECT_NE(dynamic_cast<TpgwPictureView*>(obj.get()), nullptr);
  }
}

}  // namespace
