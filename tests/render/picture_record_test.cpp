// The picture record: a picture's class name and data as the binary property "Data", written
// and read back for every picture class, and broken records that leave the picture empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/property_stream.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {
namespace {

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(PW_TEST_DATA_DIR) + "/pictures/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void LoadBytes(TPicture& picture, const std::string& bytes) {
  TStringStream s(bytes);
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
}

// The record the picture writes as its "Data" property.
std::string RecordOf(TPicture& picture) {
  const std::string stream = WriteExtraProperties(picture);
  if (stream.empty()) return stream;
  TPropertyReader r(stream);
  EXPECT_EQ(r.ReadPropName(), "Data");
  std::string record = r.ReadBinary();
  EXPECT_TRUE(r.AtEnd());
  return record;
}

// A property stream holding the record as "Data".
std::string StreamWith(const std::string& record) {
  TMemoryStream m;
  TPropertyWriter w(m);
  w.WritePropName("Data");
  w.WriteBinary([&](TStream& s) {
    if (!record.empty()) s.WriteBuffer(record);
  });
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

std::string ClassOfRecord(const std::string& record) {
  if (record.empty()) return "?";
  return record.substr(1, static_cast<uint8_t>(record[0]));
}

std::string U32(uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

std::string Named(const std::string& name, const std::string& data) {
  return std::string(1, static_cast<char>(name.size())) + name + data;
}

// The picture drawn at its own size, and the largest channel difference of two such drawings.
std::unique_ptr<TBitmap> Render(const TGraphic& g) {
  auto b = std::make_unique<TBitmap>(g.Width(), g.Height());
  b->Canvas().StretchDraw(Rect(0, 0, g.Width(), g.Height()), g);
  return b;
}

int MaxDifference(const TGraphic& a, const TGraphic& b) {
  auto x = Render(a), y = Render(b);
  if (x->Width() != y->Width() || x->Height() != y->Height()) return 1000;
  int worst = 0;
  for (int j = 0; j < x->Height(); ++j)
    for (int i = 0; i < x->Width(); ++i) {
      const TColor p = x->Pixel(i, j), q = y->Pixel(i, j);
      worst = std::max({worst, std::abs(GetRValue(p) - GetRValue(q)), std::abs(GetGValue(p) - GetGValue(q)),
                        std::abs(GetBValue(p) - GetBValue(q))});
    }
  return worst;
}

std::unique_ptr<TBitmap> TwoColourBitmap(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetPixel(x, y, x < w / 2 ? clRed : clBlue);
  return b;
}

class PictureRecord : public ::testing::Test {
 protected:
  void SetUp() override { RegisterGraphicFormats(); }
};

TEST_F(PictureRecord, EveryClassRoundTripsFromItsFile) {
  struct Case {
    const char* file;
    const char* recordClass;
    const char* graphicClass;
    bool lengthPrefixed;  // the file follows a 32-bit length (for metafiles counting itself)
  } cases[] = {
      {"bmp_24bit.bmp", "TBitmap", "TBitmap", true},
      {"jpeg_progressive.jpg", "TJPEGImage", "TJPEGImage", true},
      {"png_rgba.png", "TPngImage", "TPngImage", false},
      {"gif_two_frames.gif", "TpgwGIFGraphic", "TpgwGIFGraphic", true},
      {"ico_bmp.ico", "TIcon", "TIcon", false},
      {"ico_png.ico", "TIcon", "TIcon", false},
      {"picture.wmf", "TMetafile", "TMetafile", true},
      {"picture.emf", "TMetafile", "TMetafile", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string file = ReadFixture(c.file);
    TPicture original;
    LoadBytes(original, file);
    const std::string record = RecordOf(original);
    EXPECT_EQ(ClassOfRecord(record), c.recordClass);
    // The file itself is kept: no second compression, nothing lost.
    const std::string expectedData =
        c.lengthPrefixed
            ? U32(static_cast<uint32_t>(file.size() + (std::string(c.recordClass) == "TMetafile" ? 4 : 0))) +
                  file
            : file;
    EXPECT_EQ(record.substr(1 + static_cast<uint8_t>(record[0])), expectedData);

    TPicture back;
    ReadExtraProperties(back, StreamWith(record));
    ASSERT_NE(back.Graphic(), nullptr);
    EXPECT_EQ(GraphicClassName(*back.Graphic()), c.graphicClass);
    EXPECT_EQ(back.Width(), original.Width());
    EXPECT_EQ(back.Height(), original.Height());
    EXPECT_EQ(MaxDifference(*back.Graphic(), *original.Graphic()), 0);
    EXPECT_EQ(RecordOf(back), record);
  }
}

TEST_F(PictureRecord, PicturesMadeInMemoryAreEncodedByTheirClass) {
  struct Case {
    const char* name;
    std::unique_ptr<TGraphic> graphic;
    const char* recordClass;
    const char* readClass;
    int tolerance;
  };
  std::vector<Case> cases;
  cases.push_back({"bitmap", TwoColourBitmap(8, 4), "TBitmap", "TBitmap", 0});
  {
    // One colour: a sharp edge would blur in the JPEG and hide what this checks.
    TBitmap red(16, 8);
    red.Canvas().Brush().SetColor(clRed);
    red.Canvas().FillRect(Rect(0, 0, 16, 8));
    auto j = std::make_unique<TJPEGImage>();
    j->Assign(red);
    cases.push_back({"jpeg", std::move(j), "TJPEGImage", "TJPEGImage", 8});
  }
  cases.push_back({"png", std::make_unique<TPngImage>(TwoColourBitmap(8, 4)), "TPngImage", "TPngImage", 0});
  cases.push_back({"icon", std::make_unique<TIcon>(TwoColourBitmap(8, 4)), "TIcon", "TIcon", 0});
  {
    // No GIF encoder and no metafile writer: these keep their look as PNG pictures.
    auto gif = std::make_unique<TpgwGIFGraphic>();
    gif->SetFrames(TwoColourBitmap(8, 4), 1, clNone);
    cases.push_back({"gif", std::move(gif), "TPngImage", "TPngImage", 0});
    auto meta = std::make_unique<TMetafile>(8, 4);
    meta->Canvas().Brush().SetColor(clGreen);
    meta->Canvas().FillRect(Rect(0, 0, 4, 4));
    cases.push_back({"metafile", std::move(meta), "TPngImage", "TPngImage", 0});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPicture picture;
    picture.SetGraphic(std::move(c.graphic));
    const std::string record = RecordOf(picture);
    EXPECT_EQ(ClassOfRecord(record), c.recordClass);
    TPicture back;
    ReadExtraProperties(back, StreamWith(record));
    ASSERT_NE(back.Graphic(), nullptr);
    EXPECT_EQ(GraphicClassName(*back.Graphic()), c.readClass);
    EXPECT_LE(MaxDifference(*back.Graphic(), *picture.Graphic()), c.tolerance);
  }
}

TEST_F(PictureRecord, EmptyPictures) {
  TPicture none;
  EXPECT_EQ(WriteExtraProperties(none), "");  // nothing stored without a graphic

  TPicture emptyBitmap;
  emptyBitmap.SetGraphic(std::make_unique<TBitmap>());
  const std::string record = RecordOf(emptyBitmap);
  EXPECT_EQ(record, Named("TBitmap", U32(0)));
  TPicture back;
  back.SetGraphic(TwoColourBitmap(2, 2));
  ReadExtraProperties(back, StreamWith(record));
  ASSERT_NE(back.Graphic(), nullptr);
  EXPECT_TRUE(back.Empty());
  EXPECT_EQ(GraphicClassName(*back.Graphic()), "TBitmap");

  // A metafile length of 4 or less is an empty picture.
  ReadExtraProperties(back, StreamWith(Named("TMetafile", U32(4))));
  EXPECT_EQ(back.Graphic(), nullptr);
}

TEST_F(PictureRecord, ClassNamesMatchExactlyAndUnknownOnesLeaveThePictureEmpty) {
  const std::string png = ReadFixture("png_rgba.png");
  const std::string bmp = ReadFixture("bmp_24bit.bmp");
  struct Case {
    const char* name;
    std::string record;
    const char* graphicClass;  // null: empty picture
  } cases[] = {
      {"older PNG name", Named("TPNGObject", png), "TPngImage"},
      {"imaging component, PNG inside", Named("TWICImage", png), "TPngImage"},
      {"imaging component, BMP inside", Named("TWICImage", bmp), "TBitmap"},
      {"unknown class", Named("TFancyImage", png), nullptr},
      {"letter case counts", Named("tpngimage", png), nullptr},
      {"empty name", Named("", png), nullptr},
      {"nothing at all", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPicture picture;
    picture.SetGraphic(TwoColourBitmap(2, 2));
    TStringStream s(c.record);
    EXPECT_EQ(picture.ReadRecord(s), c.graphicClass != nullptr);
    if (!c.graphicClass) {
      EXPECT_EQ(picture.Graphic(), nullptr);
      continue;
    }
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(GraphicClassName(*picture.Graphic()), c.graphicClass);
  }
}

TEST_F(PictureRecord, BytesAfterTheClassDataAreNotRead) {
  const std::string junk = "trailing bytes";
  const std::string png = ReadFixture("png_rgba.png");
  const std::string ico = ReadFixture("ico_png.ico");
  const std::string jpg = ReadFixture("jpeg_grey.jpg");
  const std::string records[] = {Named("TPngImage", png + junk), Named("TIcon", ico + junk),
                                 Named("TJPEGImage", U32(static_cast<uint32_t>(jpg.size())) + jpg + junk)};
  for (const std::string& record : records) {
    SCOPED_TRACE(ClassOfRecord(record));
    TPicture picture;
    TStringStream s(record);
    EXPECT_TRUE(picture.ReadRecord(s));
    EXPECT_FALSE(picture.Empty());
    EXPECT_EQ(s.Position(), static_cast<int64_t>(record.size() - junk.size()));
  }
}

// A broken record leaves the picture empty; its bytes are kept and written back unchanged, and
// reading it says so (the template reader reports that with its place).
TEST_F(PictureRecord, BrokenRecordsLeaveThePictureEmptyAndAreKept) {
  const std::string png = ReadFixture("png_rgba.png");
  std::string pngHugeChunk = png.substr(0, 8) + std::string("\xFF\xFF\xFF\xF0IHDR", 8) + "abc";
  std::string icoFarOffset =
      std::string("\0\0\1\0\1\0", 6) + std::string(8, '\0') + U32(100) + U32(0x7FFFFFF0);
  const struct Case {
    const char* name;
    std::string record;
  } cases[] = {
      {"bitmap longer than the record", Named("TBitmap", U32(1000) + std::string(10, 'x'))},
      {"bitmap that is no BMP", Named("TBitmap", U32(10) + std::string(10, 'x'))},
      {"metafile longer than the record", Named("TMetafile", U32(4000) + std::string(20, 'x'))},
      {"metafile that is neither kind", Named("TMetafile", U32(24) + std::string(20, 'x'))},
      {"JPEG without data", Named("TJPEGImage", U32(4) + std::string("\xFF\xD8\xFF\x00", 4))},
      {"PNG chunk beyond the end", Named("TPngImage", pngHugeChunk)},
      {"PNG without its end", Named("TPngImage", png.substr(0, png.size() - 12))},
      {"icon entry beyond the end", Named("TIcon", icoFarOffset)},
      {"icon with no entries", Named("TIcon", std::string("\0\0\1\0\0\0", 6))},
      {"GIF header only", Named("TpgwGIFGraphic", U32(6) + "GIF89a")},
      {"name longer than the record", std::string("\xC8TBit", 5)},
      {"imaging component, no picture", Named("TWICImage", "not a picture")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPicture picture;
    picture.SetGraphic(TwoColourBitmap(2, 2));
    EXPECT_THROW(ReadExtraProperties(picture, StreamWith(c.record)), EDataKept);
    EXPECT_TRUE(picture.Empty());
    EXPECT_TRUE(picture.Undecodable());
    EXPECT_EQ(RecordOf(picture), c.record);
  }
}

TEST_F(PictureRecord, OneChangeNoticePerRead) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  LoadBytes(picture, ReadFixture("bmp_24bit.bmp"));
  EXPECT_EQ(changes, 1);
  const std::string record = RecordOf(picture);
  ReadExtraProperties(picture, StreamWith(record));
  EXPECT_EQ(changes, 2);
  EXPECT_THROW(ReadExtraProperties(picture, StreamWith(Named("TFancyImage", ""))), EDataKept);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(picture.Graphic(), nullptr);

  // A copy takes the graphic and its bytes, not the notice.
  LoadBytes(picture, ReadFixture("jpeg_grey.jpg"));
  TPicture copy;
  copy.Assign(picture);
  EXPECT_FALSE(copy.OnChange);
  EXPECT_EQ(RecordOf(copy), RecordOf(picture));
}

}  // namespace
}  // namespace pagewright
