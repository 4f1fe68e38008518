// Picture formats: the handler registry, recognition, loading of every codec's fixtures,
// conversion to JPEG, the drawing rules and broken pictures.
#include "render/graphic_formats.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/colors.h"
#include "render/picture_codecs.h"
#include "pixel_helpers.h"

namespace pagewright {
namespace {

std::vector<uint8_t> ReadFixture(const std::string& name) {
  std::ifstream in(std::string(PW_TEST_DATA_DIR) + "/pictures/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A memory stream holding the bytes, positioned at 0.
struct FixtureStream : TMemoryStream {
  explicit FixtureStream(const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    SetPosition(0);
  }
};

bool Near(TColor a, TColor b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

int AlphaAt(const TBitmap& b, int x, int y) {
  std::vector<uint8_t> a(static_cast<size_t>(b.Width()));
  b.ReadRowAlpha(y, a.data());
  return a[static_cast<size_t>(x)];
}

const TBitmap& BitmapOf(const TGraphic& g) {
  if (auto* b = dynamic_cast<const TBitmap*>(&g)) return *b;
  return dynamic_cast<const TpgwRasterGraphic&>(g).Bitmap();
}

class GraphicFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterGraphicFormats(); }
};

TEST_F(GraphicFormatsTest, HandlersInRecognitionOrderWithTheirNames) {
  struct Row {
    const char* cls;
    std::u16string name, ext, mime;
    int number;
  };
  const Row expected[] = {
      {"TpgwWMFGraphicFormat", u"WMF", u".wmf", u"image/metafile", 1},
      {"TpgwEMFGraphicFormat", u"EMF", u".emf", u"image/metafile", 2},
      {"TpgwPWEMFGraphicFormat", u"PWEMF", u".emf", u"image/metafile", 2},
      {"TpgwICOGraphicFormat", u"ICO", u".ico", u"image/vnd.microsoft.icon", 3},
      {"TpgwJPEGPictureFormat", u"JPG", u".jpg", u"image/jpeg", 4},
      {"TpgwPNGGraphicFormat", u"PNG", u".png", u"image/png", 5},
      {"TpgwGIFGraphicFormat", u"GIF", u".gif", u"image/gif", 7},
      {"TpgwBitmapGraphicFormat", u"BMP", u".bmp", u"image/bitmap", 0},
  };
  const auto formats = TpgwGraphicFormats::Formats();
  ASSERT_EQ(formats.size(), std::size(expected));
  for (size_t i = 0; i < formats.size(); ++i) {
    EXPECT_STREQ(formats[i]->ClassName(), expected[i].cls);
    EXPECT_EQ(formats[i]->GetName(), expected[i].name);
    EXPECT_EQ(formats[i]->GetExt(), expected[i].ext);
    EXPECT_EQ(formats[i]->GetMimeType(), expected[i].mime);
    EXPECT_EQ(formats[i]->GetConst(), expected[i].number);
    const bool jpg = expected[i].name == u"JPG";
    const TpgwGraphicCapabilities caps =
        jpg ? TpgwGraphicCapabilities{gcSaveTo, gcLoadFrom, gcGetCanvas, gcDraw, gcConvert, gcConvertToBitmap}
            : TpgwGraphicCapabilities{gcLoadFrom, gcDraw, gcConvertToBitmap};
    EXPECT_EQ(formats[i]->GetCapabilities().Bits(), caps.Bits()) << expected[i].cls;
  }
}

TEST_F(GraphicFormatsTest, LookupsByNameExtensionNumberCapabilitiesAndClass) {
  const TpgwGraphicCapabilities all{gcSaveTo, gcLoadFrom, gcGetCanvas, gcDraw, gcConvert, gcConvertToBitmap};
  EXPECT_EQ(TpgwGraphicFormats::FindByName(u"jpg", all), &TpgwJPEGPictureFormat::Class());
  EXPECT_EQ(TpgwGraphicFormats::FindByName(u"PNG", {gcSaveTo}), nullptr);
  EXPECT_EQ(TpgwGraphicFormats::FindByExt(u".EMF"), &TpgwEMFGraphicFormat::Class());
  EXPECT_EQ(TpgwGraphicFormats::FindByConst(2), &TpgwEMFGraphicFormat::Class());
  EXPECT_EQ(TpgwGraphicFormats::FindByConst(0), &TpgwBitmapGraphicFormat::Class());
  EXPECT_EQ(TpgwGraphicFormats::FindByConst(6), nullptr);
  EXPECT_EQ(TpgwGraphicFormats::GetDefault(), &TpgwBitmapGraphicFormat::Class());

  EXPECT_EQ(TpgwGraphicFormats::FindByGraphic(TBitmap()), &TpgwBitmapGraphicFormat::Class());
  EXPECT_EQ(TpgwGraphicFormats::FindByGraphic(TJPEGImage()), &TpgwJPEGPictureFormat::Class());
  EXPECT_EQ(TpgwGraphicFormats::FindByGraphic(TpgwGIFGraphic()), &TpgwGIFGraphicFormat::Class());
  // The engine's metafile is a metafile: the first handler of its ancestor class takes it,
  // unless the lookup names the handler's own class.
  EXPECT_EQ(TpgwGraphicFormats::FindByGraphic(TpgwEMFMetafile()), &TpgwWMFGraphicFormat::Class());
  EXPECT_TRUE(TpgwPWEMFGraphicFormat::Class().IsGraphicClass(TpgwEMFMetafile()));
  EXPECT_FALSE(TpgwPWEMFGraphicFormat::Class().IsGraphicClass(TMetafile()));
}

TEST_F(GraphicFormatsTest, RecognitionFromTheFirstBytes) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* handler;  // null: none
  };
  std::vector<uint8_t> emf(108, 0x11);
  std::memcpy(emf.data() + 40, " EMF", 4);
  std::vector<uint8_t> wmf(18, 0);
  const uint32_t key = 0x9AC6CDD7;
  std::memcpy(wmf.data(), &key, 4);
  std::vector<uint8_t> bmp(16, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  const Case cases[] = {
      {"JPEG from two bytes", {0xFF, 0xD8}, "TpgwJPEGPictureFormat"},
      {"one byte", {0xFF}, nullptr},
      {"empty", {}, nullptr},
      {"EMF never the second EMF handler", emf, "TpgwEMFGraphicFormat"},
      {"EMF one byte short", std::vector<uint8_t>(emf.begin(), emf.end() - 1), nullptr},
      {"placeable WMF", wmf, "TpgwWMFGraphicFormat"},
      {"lower-case gif89a", {'g', 'i', 'f', '8', '9', 'a'}, "TpgwGIFGraphicFormat"},
      {"GIF87A", {'G', 'I', 'F', '8', '7', 'A'}, "TpgwGIFGraphicFormat"},
      {"GIF88a is not", {'G', 'I', 'F', '8', '8', 'a'}, nullptr},
      {"icon", {0, 0, 1, 0, 1, 0}, "TpgwICOGraphicFormat"},
      {"cursor is not an icon", {0, 0, 2, 0, 1, 0}, nullptr},
      {"BMP needs 16 bytes", std::vector<uint8_t>(bmp.begin(), bmp.end() - 1), nullptr},
      {"BMP", bmp, "TpgwBitmapGraphicFormat"},
      {"PNG signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, "TpgwPNGGraphicFormat"},
  };
  for (const Case& c : cases) {
    // Recognition works from the current position and leaves it there.
    std::vector<uint8_t> bytes{0xAA, 0xBB};
    bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
    FixtureStream s(bytes);
    s.SetPosition(2);
    TpgwGraphicFormatClass f = TpgwGraphicFormats::FindByFormat(s);
    EXPECT_EQ(s.Position(), 2) << c.what;
    if (c.handler) {
      ASSERT_NE(f, nullptr) << c.what;
      EXPECT_STREQ(f->ClassName(), c.handler) << c.what;
    } else {
      EXPECT_EQ(f, nullptr) << c.what << " taken by " << (f ? f->ClassName() : "");
    }
  }
}

TEST_F(GraphicFormatsTest, HandlerWithoutAnOperationRaisesAbstractError) {
  TpgwCustomGraphicFormat base;
  try {
    base.GetName();
    FAIL();
  } catch (const EAbstractGraphicFormatException& e) {
    EXPECT_EQ(e.Message(), "Method GetName in TpgwCustomGraphicFormat");
    EXPECT_STREQ(e.ClassName(), "EAbstractGraphicFormatException");
  }
  EXPECT_THROW(TpgwPNGGraphicFormat::Class().CreateNew(1, 1, 90, false, pf24bit),
               EAbstractGraphicFormatException);
  EXPECT_THROW(TpgwPNGGraphicFormat::Class().ConvertFrom(TBitmap(2, 2), pf24bit, 90),
               EAbstractGraphicFormatException);
}

TEST_F(GraphicFormatsTest, PictureClassesByStoredName) {
  struct Case {
    const char* name;
    const char* created;  // null: unknown
  };
  const Case cases[] = {
      {"TPNGObject", "TPngImage"}, {"TPngImage", "TPngImage"}, {"TJPEGImage", "TJPEGImage"},
      {"TBitmap", "TBitmap"},      {"TMetafile", "TMetafile"}, {"TpgwGIFGraphic", "TpgwGIFGraphic"},
      {"TIcon", "TIcon"},          {"tpngimage", nullptr},     {"", nullptr}};
  for (const Case& c : cases) {
    TGraphicFactory f = FindPictureClass(c.name);
    if (!c.created) {
      EXPECT_EQ(f, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_EQ(GraphicClassName(*f()), c.created);
  }
}

TEST_F(GraphicFormatsTest, RegisterAndUnregisterAHandler) {
  class Extra : public TpgwBitmapGraphicFormat {
   public:
    const char* ClassName() const override { return "Extra"; }
    WideString GetName() const override { return u"XTRA"; }
  };
  static const Extra extra;
  TpgwGraphicFormats::RegisterFormat(&extra);
  EXPECT_EQ(TpgwGraphicFormats::Formats().back(), &extra);
  EXPECT_EQ(TpgwGraphicFormats::FindByName(u"xtra"), &extra);
  TpgwGraphicFormats::UnregisterFormat(&extra);
  EXPECT_EQ(TpgwGraphicFormats::FindByName(u"xtra"), nullptr);
  EXPECT_EQ(TpgwGraphicFormats::Formats().size(), 8u);
}

// ---- decoding every variant ----

struct PixelCheck {
  int x, y;
  TColor colour;
  int alpha;  // -1: not checked
};
struct FixtureCase {
  const char* file;
  const char* pictureClass;
  int width, height;
  int tolerance;
  std::vector<PixelCheck> pixels;
};

const std::vector<PixelCheck> kPattern = {{0, 0, clRed, -1},   {1, 0, clLime, -1},  {2, 0, clBlue, -1},
                                          {3, 0, clWhite, -1}, {0, 1, clWhite, -1}, {3, 1, clBlue, -1},
                                          {0, 2, clBlue, -1},  {2, 2, clRed, -1},   {3, 2, clLime, -1}};

TEST_F(GraphicFormatsTest, EveryVariantLoadsWithItsPixels) {
  const FixtureCase cases[] = {
      {"bmp_1bit.bmp",
       "TBitmap",
       4,
       3,
       0,
       {{0, 0, clBlack, -1}, {1, 0, clWhite, -1}, {0, 1, clWhite, -1}, {1, 1, clBlack, -1}}},
      {"bmp_4bit.bmp", "TBitmap", 4, 3, 0, kPattern},
      {"bmp_8bit.bmp", "TBitmap", 4, 3, 0, kPattern},
      {"bmp_16bit.bmp", "TBitmap", 4, 3, 8, kPattern},
      {"bmp_24bit.bmp", "TBitmap", 4, 3, 0, kPattern},
      {"bmp_24bit_topdown.bmp", "TBitmap", 4, 3, 0, kPattern},
      {"bmp_32bit_alpha.bmp",
       "TBitmap",
       4,
       3,
       2,
       {{0, 0, clRed, 128}, {1, 0, clLime, 255}, {2, 2, clRed, 255}}},
      {"bmp_rle8.bmp", "TBitmap", 4, 3, 0, kPattern},
      {"bmp_rle4.bmp", "TBitmap", 4, 3, 0, kPattern},
      {"png_rgba.png",
       "TPngImage",
       3,
       2,
       2,
       {{0, 0, clRed, 255}, {1, 0, clLime, 128}, {2, 0, -1, 0}, {1, 1, clWhite, 255}}},
      {"gif_two_frames.gif",
       "TpgwGIFGraphic",
       3,
       2,
       0,
       {{0, 0, clRed, 255}, {1, 0, clLime, 255}, {2, 0, -1, 0}, {1, 1, clBlue, 255}}},
      {"gif_interlaced.gif",
       "TpgwGIFGraphic",
       2,
       5,
       0,
       {{0, 0, clBlack, 255},
        {1, 1, clWhite, 255},
        {0, 2, clBlack, 255},
        {1, 3, clWhite, 255},
        {0, 4, clBlack, 255}}},
      {"gif_large.gif",
       "TpgwGIFGraphic",
       160,
       160,
       0,
       {{0, 0, clRed, 255}, {20, 10, clBlue, 255}, {159, 159, clRed, 255}}},
      {"ico_png.ico", "TIcon", 16, 16, 0, {{0, 0, clBlue, 255}, {15, 15, clBlue, 255}}},
      {"ico_bmp.ico", "TIcon", 8, 8, 0, {{0, 0, -1, 0}, {1, 0, clRed, 255}, {7, 7, clRed, 255}}},
      {"jpeg_progressive.jpg", "TJPEGImage", 32, 16, 12, {{4, 8, clRed, 255}, {28, 8, clBlue, 255}}},
      {"jpeg_grey.jpg",
       "TJPEGImage",
       32,
       16,
       12,
       {{4, 8, RGBColor(76, 76, 76), 255}, {28, 8, RGBColor(29, 29, 29), 255}}},
  };
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.file);
    FixtureStream s(ReadFixture(c.file));
    TPicture picture;
    ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(GraphicClassName(*picture.Graphic()), c.pictureClass);
    EXPECT_EQ(picture.Width(), c.width);
    EXPECT_EQ(picture.Height(), c.height);
    const TBitmap& b = BitmapOf(*picture.Graphic());
    for (const PixelCheck& p : c.pixels) {
      if (p.colour != -1) {
        EXPECT_PRED3(Near, b.Pixel(p.x, p.y), p.colour, c.tolerance)
            << "at " << p.x << "," << p.y << ": " << std::hex << b.Pixel(p.x, p.y);
      }
      if (p.alpha >= 0) { EXPECT_NEAR(AlphaAt(b, p.x, p.y), p.alpha, 2) << "alpha at " << p.x << "," << p.y; }
    }
  }
}

TEST_F(GraphicFormatsTest, GifFramesGoIntoOneStrip) {
  FixtureStream s(ReadFixture("gif_two_frames.gif"));
  TPicture picture;
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
  const auto& gif = dynamic_cast<const TpgwGIFGraphic&>(*picture.Graphic());
  EXPECT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.Strip().Width(), 6);
  EXPECT_EQ(gif.TransparentColor(), clWhite);  // colour of the transparent index
  EXPECT_EQ(TpgwGIFGraphicFormat::Class().GetTransparentColor(gif), clWhite);
  for (int x = 3; x < 6; ++x) EXPECT_EQ(gif.Strip().Pixel(x, 0), clLime);

  // A long second frame fills the code table; it must come out exactly as drawn.
  FixtureStream large(ReadFixture("gif_large.gif"));
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, large));
  const auto& big = dynamic_cast<const TpgwGIFGraphic&>(*picture.Graphic());
  ASSERT_EQ(big.FrameCount(), 2);
  auto expected = DecodeBMP(ReadFixture("gif_large_frame2.bmp"));
  int differing = 0;
  for (int y = 0; y < 160; ++y)
    for (int x = 0; x < 160; ++x) differing += big.Strip().Pixel(160 + x, y) != expected->Pixel(x, y);
  EXPECT_EQ(differing, 0);

  // Lower-case signature with valid data.
  auto bytes = ReadFixture("gif_two_frames.gif");
  std::memcpy(bytes.data(), "gif89a", 6);
  FixtureStream lower(bytes);
  EXPECT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, lower));
  EXPECT_EQ(GraphicClassName(*picture.Graphic()), "TpgwGIFGraphic");
}

TEST_F(GraphicFormatsTest, JpegRoundTripWithQualityAndDensity) {
  TBitmap source(40, 20);
  source.Canvas().Brush().SetColor(clRed);
  source.Canvas().FillRect(Rect(0, 0, 20, 20));
  source.Canvas().Brush().SetColor(clBlue);
  source.Canvas().FillRect(Rect(20, 0, 40, 20));
  struct Case {
    int quality, dpi;
  };
  size_t previousSize = 0;
  for (Case c : {Case{30, 300}, Case{95, 72}}) {
    TMemoryStream out;
    EncodeJPEG(source, c.quality, c.dpi, false, out);
    const auto bytes = out.Bytes();
    ASSERT_GT(bytes.size(), 20u);
    // JFIF header: units 1 (dots per inch) and the density.
    ASSERT_EQ(std::memcmp(bytes.data() + 6, "JFIF", 5), 0);
    EXPECT_EQ(bytes[13], 1);
    EXPECT_EQ((bytes[14] << 8) | bytes[15], c.dpi);
    EXPECT_EQ((bytes[16] << 8) | bytes[17], c.dpi);
    // Baseline: a SOF0 marker, no progressive SOF2.
    bool sof0 = false, sof2 = false;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
      sof0 |= bytes[i] == 0xFF && bytes[i + 1] == 0xC0;
      sof2 |= bytes[i] == 0xFF && bytes[i + 1] == 0xC2;
    }
    EXPECT_TRUE(sof0);
    EXPECT_FALSE(sof2);
    EXPECT_GT(bytes.size(), previousSize);  // higher quality, more bytes
    previousSize = bytes.size();
    auto back = DecodeJPEG(bytes);
    EXPECT_EQ(back->Width(), 40);
    EXPECT_PRED3(Near, back->Pixel(5, 10), clRed, 40);
    EXPECT_PRED3(Near, back->Pixel(35, 10), clBlue, 40);
  }
}

TEST_F(GraphicFormatsTest, PngRoundTripKeepsAlpha) {
  TBitmap source;
  source.SetPixelFormat(pf32bit);
  source.SetSize(2, 1);
  const uint8_t row[8] = {255, 0, 0, 255, 0, 0, 255, 64};
  source.WriteRowRGBA(0, row);
  TMemoryStream out;
  EncodePNG(source, out);
  out.SetPosition(0);
  TPicture picture;
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, out));
  const TBitmap& b = BitmapOf(*picture.Graphic());
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.Pixel(0, 0), clRed);
  EXPECT_EQ(AlphaAt(b, 0, 0), 255);
  EXPECT_NEAR(AlphaAt(b, 1, 0), 64, 1);
  EXPECT_PRED3(Near, b.Pixel(1, 0), clBlue, 4);
}

TEST_F(GraphicFormatsTest, JpegHandlerCreatesAndConverts) {
  const auto& jpg = TpgwJPEGPictureFormat::Class();
  auto blank = jpg.CreateNew(10, 20, 75, false, pf24bit);
  auto& j = dynamic_cast<TJPEGImage&>(*blank);
  EXPECT_EQ(j.Width(), 10);
  EXPECT_EQ(j.Height(), 20);
  EXPECT_EQ(j.CompressionQuality(), 75);
  EXPECT_EQ(j.Bitmap().Pixel(5, 5), clWhite);
  EXPECT_TRUE(jpg.CreateNew(10, 0, 75, false, pf24bit)->Empty());
  EXPECT_EQ(jpg.GetCanvas(j), &j.Bitmap().Canvas());

  // A bitmap is taken directly; alpha is laid over white and the result is 24-bit.
  TBitmap withAlpha;
  withAlpha.SetPixelFormat(pf32bit);
  withAlpha.SetSize(4, 4);
  const uint8_t transparentRed[16] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255};
  for (int y = 0; y < 4; ++y) withAlpha.WriteRowRGBA(y, transparentRed);
  auto converted = jpg.ConvertFrom(withAlpha, pf32bit, 85);
  auto& cj = dynamic_cast<TJPEGImage&>(*converted);
  EXPECT_EQ(cj.CompressionQuality(), 85);
  EXPECT_EQ(cj.Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(cj.Bitmap().Pixel(0, 0), clWhite);
  EXPECT_EQ(cj.Bitmap().Pixel(3, 0), clRed);

  // A metafile refuses direct assignment and goes through a bitmap.
  TMetafile meta(8, 8);
  meta.Canvas().Brush().SetColor(clBlue);
  meta.Canvas().Pen().SetStyle(psClear);
  meta.Canvas().FillRect(Rect(0, 0, 4, 8));
  EXPECT_THROW(TJPEGImage().Assign(meta), EConvertError);
  auto fromMeta = jpg.ConvertFrom(meta, pf24bit, 90);
  const auto& mj = dynamic_cast<const TJPEGImage&>(*fromMeta);
  EXPECT_EQ(mj.Width(), 8);
  EXPECT_EQ(mj.Bitmap().Pixel(1, 1), clBlue);
  EXPECT_EQ(mj.Bitmap().Pixel(6, 1), clWhite);

  // Saving through the handler gives a JPEG stream that loads again.
  TMemoryStream out;
  jpg.SaveToStream(mj, out);
  out.SetPosition(0);
  TPicture again;
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(again, out));
  EXPECT_PRED3(Near, BitmapOf(*again.Graphic()).Pixel(1, 1), clBlue, 40);
}

// ---- drawing ----

std::unique_ptr<TBitmap> RedBlue() {
  auto b = std::make_unique<TBitmap>(2, 1);
  b->SetPixel(0, 0, clRed);
  b->SetPixel(1, 0, clBlue);
  return b;
}

TEST_F(GraphicFormatsTest, OpaqueDrawingStretchesOrResamplesSmoothly) {
  auto picture = RedBlue();
  TBitmap plain(8, 1), smooth(8, 1);
  TpgwGraphicFormats::Draw(plain.Canvas(), *picture, Rect(0, 0, 8, 1), gqDefault);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(plain.Pixel(x, 0), x < 4 ? clRed : clBlue) << x;
  TpgwGraphicFormats::Draw(smooth.Canvas(), *picture, Rect(0, 0, 8, 1), gqHiQuality);
  // Halftone: the pixels next to the edge mix both colours.
  const TColor mid = smooth.Pixel(4, 0);
  EXPECT_GT(GetRValue(mid), 0);
  EXPECT_GT(GetBValue(mid), 0);
  EXPECT_FALSE(smooth.Canvas().StretchSmooth());  // the canvas setting is restored
}

TEST_F(GraphicFormatsTest, TransparentDrawingFollowsTheFlags) {
  auto picture = RedBlue();
  struct Case {
    const char* what;
    TpgwGraphicDrawFlags flags;
    TColor transparentColor;
    TColor left, right;
  };
  picture->SetTransparentColor(clBlue);  // the bitmap's own mask colour
  const Case cases[] = {
      {"opaque", {}, clRed, clRed, clBlue},
      {"view's transparent colour", {fgdTransparent}, clRed, clLime, clBlue},
      {"picture's own mask colour wins", {fgdTransparent, fgdDefaultMaskColor}, clRed, clRed, clLime},
  };
  for (const Case& c : cases) {
    TBitmap target(2, 1);
    target.Canvas().Brush().SetColor(clLime);
    target.Canvas().FillRect(Rect(0, 0, 2, 1));
    TpgwGraphicFormats::DrawExt(target.Canvas(), *picture, Rect(0, 0, 2, 1), c.flags, c.transparentColor,
                                gqDefault);
    EXPECT_EQ(target.Pixel(0, 0), c.left) << c.what;
    EXPECT_EQ(target.Pixel(1, 0), c.right) << c.what;
  }
}

TEST_F(GraphicFormatsTest, GifAndPngDrawTransparently) {
  for (const char* file : {"gif_two_frames.gif", "png_rgba.png"}) {
    FixtureStream s(ReadFixture(file));
    TPicture picture;
    ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
    TBitmap target(3, 2);
    target.Canvas().Brush().SetColor(clBlack);
    target.Canvas().FillRect(Rect(0, 0, 3, 2));
    TpgwGraphicFormats::DrawExt(target.Canvas(), *picture.Graphic(), Rect(0, 0, 3, 2), {fgdDefaultMaskColor},
                                clNone, gqHiQuality);
    EXPECT_EQ(target.Pixel(2, 0), clBlack) << file;  // the transparent pixel shows the background
    EXPECT_EQ(target.Pixel(0, 0), clRed) << file;
  }
}

TEST_F(GraphicFormatsTest, ScalingKeepsTheKindOfPicture) {
  auto j = TpgwJPEGPictureFormat::Class().CreateNew(4, 2, 60, false, pf24bit);
  TCanvas* canvas = TpgwJPEGPictureFormat::Class().GetCanvas(*j);
  canvas->Brush().SetColor(clRed);
  canvas->FillRect(Rect(0, 0, 4, 2));
  auto scaled = TpgwGraphicFormats::ScaleGraphicToNew(*j, 8, 6);
  auto* sj = dynamic_cast<TJPEGImage*>(scaled.get());
  ASSERT_NE(sj, nullptr);
  EXPECT_EQ(sj->Width(), 8);
  EXPECT_EQ(sj->Height(), 6);
  EXPECT_EQ(sj->CompressionQuality(), 60);
  EXPECT_EQ(sj->Bitmap().Pixel(4, 3), clRed);

  FixtureStream s(ReadFixture("png_rgba.png"));
  TPicture picture;
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
  TpgwGraphicFormats::ScaleGraphic(picture, 6, 4);
  const auto* b = dynamic_cast<const TBitmap*>(picture.Graphic());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Width(), 6);
  EXPECT_EQ(b->PixelFormat(), pf32bit);
  EXPECT_EQ(AlphaAt(*b, 5, 0), 0);
}

// ---- metafiles ----

TEST_F(GraphicFormatsTest, MetafilesPlayOntoTheCanvas) {
  struct Check {
    int x, y;
    TColor colour;
  };
  struct Case {
    const char* file;
    const char* pictureClass;
    std::vector<Check> pixels;
    TRect textBox;  // where the black text "HH" is drawn
  };
  const Case cases[] = {
      // red rectangle 100..500 and blue ellipse 600..900 of 1000 units; black line at y 100; a
      // quarter pie at the left, a 2 x 2 bitmap stretched at the top right
      {"picture.wmf",
       "TMetafile",
       {{28, 28, clRed},
        {81, 81, clBlue},
        {5, 5, clWhite},
        {60, 60, clWhite},
        {80, 10, clBlack},
        {80, 14, clWhite},
        {34, 54, clBlue},
        {14, 54, clWhite},
        {34, 62, clWhite},
        {65, 25, clRed},
        {80, 25, clYellow},
        {65, 42, clBlack},
        {80, 42, clWhite}},
       Rect(9, 66, 45, 90)},
      // green rectangle 10..50, blue triangle in anisotropic units, a 2 x 2 bitmap stretched at
      // 60..90, a path filled blue at the bottom left
      {"picture.emf",
       "TMetafile",
       {{30, 30, clLime},
        {72, 65, clBlue},
        {5, 5, clWhite},
        {65, 15, clRed},
        {85, 15, clYellow},
        {65, 35, clBlack},
        {85, 35, clWhite},
        {55, 90, clWhite},
        {25, 89, clBlue},
        {25, 84, clWhite}},
       Rect(9, 59, 42, 82)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    FixtureStream s(ReadFixture(c.file));
    TPicture picture;
    ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
    EXPECT_EQ(GraphicClassName(*picture.Graphic()), c.pictureClass);
    EXPECT_EQ(picture.Width(), 96);  // from the header
    EXPECT_EQ(picture.Height(), 96);
    TBitmap target(96, 96);
    TpgwGraphicFormats::Draw(target.Canvas(), *picture.Graphic(), Rect(0, 0, 96, 96));
    for (const Check& p : c.pixels)
      EXPECT_EQ(target.Pixel(p.x, p.y), p.colour) << p.x << "," << p.y << "\n" << test::Picture(target);
    // The text's dark pixels lie in the expected box.
    TRect box{96, 96, 0, 0};
    int dark = 0;
    for (int y = 0; y < 96; ++y)
      for (int x = 0; x < 48; ++x) {
        const TColor p = target.Pixel(x, y);
        if (GetRValue(p) < 100 && GetGValue(p) < 100 && GetBValue(p) < 100) {
          ++dark;
          box = Rect(std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1),
                     std::max(box.Bottom, y + 1));
        }
      }
    EXPECT_GT(dark, 40);
    EXPECT_EQ(IntersectRect(box, c.textBox), box)
        << box.Left << "," << box.Top << "," << box.Right << "," << box.Bottom << "\n"
        << test::Picture(target);
    // Drawn at twice the size, the shapes scale with it.
    TBitmap big(192, 192);
    TpgwGraphicFormats::Draw(big.Canvas(), *picture.Graphic(), Rect(0, 0, 192, 192));
    EXPECT_EQ(big.Pixel(c.pixels[0].x * 2, c.pixels[0].y * 2), c.pixels[0].colour);
  }
  // The second enhanced-metafile handler loads into the engine's own class.
  const auto bytes = ReadFixture("picture.emf");
  FixtureStream s(bytes);
  TPicture picture;
  ASSERT_TRUE(TpgwPWEMFGraphicFormat::Class().LoadFromStream(picture, s));
  EXPECT_EQ(GraphicClassName(*picture.Graphic()), "TpgwEMFMetafile");
  auto copy = picture.Graphic()->Clone();
  TBitmap target(96, 96);
  copy->Draw(target.Canvas(), Rect(0, 0, 96, 96));
  EXPECT_EQ(target.Pixel(30, 30), clLime);
}

// ---- broken pictures ----

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

TEST_F(GraphicFormatsTest, BrokenPicturesLeaveThePictureEmpty) {
  struct Case {
    std::string what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  // Every fixture cut short.
  for (const char* f : {"bmp_24bit.bmp", "bmp_8bit.bmp", "png_rgba.png", "gif_two_frames.gif", "ico_png.ico",
                        "ico_bmp.ico", "jpeg_progressive.jpg", "picture.emf"}) {
    auto b = ReadFixture(f);
    b.resize(b.size() / 2);
    cases.push_back({std::string("truncated ") + f, b});
  }
  {
    auto b = ReadFixture("bmp_24bit.bmp");
    Put32(b, 18, 30000);  // width far beyond the pixel data
    Put32(b, 22, 30000);
    cases.push_back({"BMP lying size", b});
    Put32(b, 18, 0);
    cases.push_back({"BMP zero width", b});
    auto r = ReadFixture("bmp_rle8.bmp");
    Put32(r, 18, 32768);
    Put32(r, 22, 32768);
    cases.push_back({"RLE BMP huge size", r});
  }
  {
    auto b = ReadFixture("png_rgba.png");
    b[16] = 0x00, b[17] = 0x0F, b[18] = 0x42, b[19] = 0x40;  // width 1,000,000 (CRC now wrong too)
    cases.push_back({"PNG huge width", b});
  }
  {
    auto b = ReadFixture("jpeg_progressive.jpg");
    for (size_t i = 0; i + 8 < b.size(); ++i)
      if (b[i] == 0xFF && b[i + 1] == 0xC2) {
        b[i + 5] = 0xFF, b[i + 6] = 0xF0, b[i + 7] = 0xFF, b[i + 8] = 0xF0;  // 65520 x 65520
        break;
      }
    cases.push_back({"JPEG huge size", b});
  }
  {
    auto b = ReadFixture("gif_two_frames.gif");
    b[6] = 0xFF, b[7] = 0xFF, b[8] = 0xFF, b[9] = 0xFF;  // 65535 x 65535 screen
    cases.push_back({"GIF huge screen", b});
    // A first code after the clear code that is not in the table.
    auto o = ReadFixture("gif_two_frames.gif");
    const std::vector<uint8_t> image{0x2C, 0,    0,   0, 0, 3, 0, 2, 0, 0, 2, 2, 0x04 | (7 << 3),
                                     0x00, 0x00, 0x3B};
    std::vector<uint8_t> bad(13 + 12 + image.size());
    std::copy(o.begin(), o.begin() + 13 + 12, bad.begin());
    std::copy(image.begin(), image.end(), bad.begin() + 13 + 12);
    cases.push_back({"GIF LZW code beyond the table", bad});
    std::vector<uint8_t> zero(o.begin(), o.begin() + 13 + 12);
    zero[6] = zero[7] = zero[8] = zero[9] = 0;
    const std::vector<uint8_t> empty{0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0x3B};
    zero.insert(zero.end(), empty.begin(), empty.end());
    cases.push_back({"GIF zero sizes", zero});
  }
  {
    auto b = ReadFixture("ico_png.ico");
    Put32(b, 6 + 12, 0x7FFFFFF0);  // first entry's offset beyond the data
    Put32(b, 16 + 6 + 12, 0x7FFFFFF0);
    cases.push_back({"ICO offsets beyond the data", b});
  }
  {
    auto b = ReadFixture("picture.emf");
    Put32(b, 24, 0);
    Put32(b, 28, 0);
    Put32(b, 32, 0x7FFFFFFF);  // frame of 20 km
    Put32(b, 36, 0x7FFFFFFF);
    cases.push_back({"EMF huge frame", b});
    auto w = ReadFixture("picture.wmf");
    w[10] = 0xFF, w[11] = 0x7F, w[12] = 0xFF, w[13] = 0x7F, w[14] = 1,
    w[15] = 0;  // 32767 units at 1 per inch
    cases.push_back({"WMF huge bounds", w});
  }
  cases.push_back({"one byte", {0xFF}});
  cases.push_back({"empty", {}});
  cases.push_back({"unknown bytes", std::vector<uint8_t>(64, 0x5A)});
  for (const Case& c : cases) {
    FixtureStream s(c.bytes);
    TPicture picture;
    picture.SetGraphic(std::make_unique<TBitmap>(3, 3));
    EXPECT_FALSE(TpgwGraphicFormats::LoadFromStream(picture, s)) << c.what;
    EXPECT_EQ(picture.Graphic(), nullptr) << c.what;
    EXPECT_TRUE(picture.Empty()) << c.what;
  }
}

// Inputs the fuzzer found: each must load or fail cleanly, and draw when it loads.
TEST_F(GraphicFormatsTest, FuzzFindingsLoadOrFailCleanly) {
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "pictures" / "fuzz";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    FixtureStream s(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    TPicture picture;
    if (TpgwGraphicFormats::LoadFromStream(picture, s)) {
      TBitmap target(16, 16);
      TpgwGraphicFormats::DrawExt(target.Canvas(), *picture.Graphic(), Rect(0, 0, 16, 16),
                                  {fgdDefaultMaskColor}, clNone, gqHiQuality);
    } else {
      EXPECT_EQ(picture.Graphic(), nullptr) << entry.path();
    }
    ++files;
  }
  EXPECT_GT(files, 0);
}

TEST_F(GraphicFormatsTest, MetafileRecordsThatDoNotDrawAreSkipped) {
  // An enhanced metafile with an unknown record and a record whose size runs past the end.
  auto b = ReadFixture("picture.emf");
  const size_t eof = b.size() - 20;
  std::vector<uint8_t> unknown{0xEE, 0x00, 0x00, 0x00, 12, 0, 0, 0, 1, 2, 3, 4};
  b.insert(b.begin() + static_cast<long>(eof), unknown.begin(), unknown.end());
  Put32(b, 48, static_cast<uint32_t>(b.size()));
  FixtureStream s(b);
  TPicture picture;
  ASSERT_TRUE(TpgwGraphicFormats::LoadFromStream(picture, s));
  TBitmap target(96, 96);
  TpgwGraphicFormats::Draw(target.Canvas(), *picture.Graphic(), Rect(0, 0, 96, 96));
  EXPECT_EQ(target.Pixel(30, 30), clLime);
}

// Encoding a bitmap straight gives the bytes of encoding a JPEG picture made from it (both in
// this process, with the same library: the comparison is of two routes, not against a golden).
TEST_F(GraphicFormatsTest, JpegOfABitmapMatchesJpegOfItsPicture) {
  struct Case {
    const char* name;
    TPixelFormat format;
    int quality, dpi;
  };
  const Case cases[] = {
      {"colour", pf24bit, 90, 96},
      {"black and white", pf1bit, 75, 300},
      {"with alpha, laid over white", pf32bit, 100, 0},
  };
  const auto& jpg = TpgwJPEGPictureFormat::Class();
  for (const Case& c : cases) {
    TBitmap b(37, 23);
    b.SetPixelFormat(c.format);
    {
      TCanvasLock lock(b.Canvas());
      b.Canvas().Brush().SetColor(clRed);
      b.Canvas().Rectangle(3, 2, 30, 20);
      b.Canvas().Font().SetHeight(-15);
      b.Canvas().TextOut(5, 4, u"Wg8");  // antialiased edges: greys to threshold or keep
    }
    if (c.format == pf32bit) {
      std::vector<uint8_t> rgba(37 * 4, 0);
      for (size_t x = 0; x < 37; ++x) rgba[x * 4 + 2] = 200, rgba[x * 4 + 3] = static_cast<uint8_t>(x * 7);
      b.WriteRowRGBA(0, rgba.data());
    }
    TMemoryStream direct;
    jpg.SaveBitmap(b, c.quality, c.dpi, direct);
    auto picture = jpg.ConvertFrom(b, pf24bit, c.quality);
    dynamic_cast<TJPEGImage&>(*picture).SetDensity(c.dpi);
    TMemoryStream viaPicture;
    jpg.SaveToStream(*picture, viaPicture);
    ASSERT_GT(direct.Size(), 100) << c.name;
    EXPECT_TRUE(std::equal(direct.Bytes().begin(), direct.Bytes().end(), viaPicture.Bytes().begin(),
                           viaPicture.Bytes().end()))
        << c.name;
  }
}

}  // namespace
}  // namespace pagewright
