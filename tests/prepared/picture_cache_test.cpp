#include "prepared/picture_cache.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/streams.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "storage/xml_document.h"

namespace pagewright {
namespace {

// A picture of that size filled with one colour, as a PNG picture.
std::unique_ptr<TGraphic> Solid(int width, int height, TColor color) {
  static const bool formats = [] {
    RegisterGraphicFormats();
    return true;
  }();
  (void)formats;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(width, height);
  bitmap->Canvas().Brush().SetColor(color);
  bitmap->Canvas().FillRect(TRect{0, 0, width, height});
  return std::make_unique<TPngImage>(std::move(bitmap));
}

TEST(PictureCache, StoresEachPictureOnce) {
  TpgwPictureCache cache;
  TPicture empty;
  EXPECT_EQ(cache.AddPicture(empty), 0);
  EXPECT_EQ(cache.AddPicture(static_cast<const TGraphic*>(nullptr)), 0);
  EXPECT_EQ(cache.PictureCache().Count(), 0);

  auto red = Solid(40, 20, clRed);
  auto blue = Solid(30, 10, clBlue);
  EXPECT_EQ(cache.AddPicture(red.get()), 1);
  EXPECT_EQ(cache.AddPicture(blue.get()), 2);
  auto sameRed = Solid(40, 20, clRed);
  EXPECT_EQ(cache.AddPicture(sameRed.get()), 1);
  EXPECT_EQ(cache.PictureCache().Count(), 2);

  // The first picture's bytes end where the second's start.
  std::string first, second;
  ASSERT_TRUE(cache.PictureCache().ReadBytes(1, first));
  ASSERT_TRUE(cache.PictureCache().ReadBytes(2, second));
  EXPECT_EQ(cache.PictureCache().Entry(2)->Offset, static_cast<int64_t>(first.size()));

  std::unique_ptr<TGraphic> back = cache.GetGraphic(2);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Width(), 30);
  EXPECT_EQ(back->Height(), 10);
  EXPECT_EQ(cache.GetGraphic(0), nullptr);
  EXPECT_EQ(cache.GetGraphic(3), nullptr);
}

TEST(PictureCache, SharedPicturesLiveWhileHeld) {
  TpgwPictureCache cache;
  auto red = Solid(8, 8, clRed);
  const int index = cache.AddPicture(red.get());
  std::shared_ptr<TpgwAutoRefGraphic> a = cache.GetCachedBitmap(cgOriginal, index);
  std::shared_ptr<TpgwAutoRefGraphic> b = cache.GetCachedBitmap(cgOriginal, index);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->OriginalWidth, 8);
  EXPECT_EQ(cache.SharedCount(), 1);
  a.reset();
  b.reset();
  EXPECT_EQ(cache.SharedCount(), 0);
  EXPECT_EQ(cache.GetCachedBitmap(cgOriginal, 0), nullptr);
  EXPECT_EQ(cache.GetCachedBitmap(cgOriginal, 9), nullptr);
}

TEST(PictureCache, SavedSectionLoadsBackWithTheSameIndices) {
  TpgwPictureCache cache;
  auto red = Solid(40, 20, clRed);
  auto blue = Solid(30, 10, clBlue);
  cache.AddPicture(red.get());
  cache.AddPicture(blue.get());
  TpgwXMLItem root;
  cache.SaveToXML(root);
  ASSERT_GE(root.Find(u"picturecache"), 0);

  TpgwPictureCache loaded;
  loaded.LoadFromXML(root);
  ASSERT_EQ(loaded.PictureCache().Count(), 2);
  for (int i = 1; i <= 2; ++i) {
    std::string a, b;
    cache.PictureCache().ReadBytes(i, a);
    loaded.PictureCache().ReadBytes(i, b);
    EXPECT_EQ(a, b) << i;
    EXPECT_EQ(loaded.PictureCache().Entry(i)->Width, cache.PictureCache().Entry(i)->Width);
    EXPECT_EQ(loaded.PictureCache().Entry(i)->Height, cache.PictureCache().Entry(i)->Height);
  }
}

// A saved report's pictures are files of their own format, which any reader decodes; the
// picture records (class name and data) that earlier versions saved still load.
TEST(PictureCache, SavedPicturesAreFilesOfTheirOwnFormat) {
  auto png = Solid(12, 6, clRed);
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(5, 4);
  TBitmap blue;
  blue.SetSize(7, 3);
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->Assign(blue);
  TPicture record;
  record.SetGraphic(Solid(9, 2, clGreen));
  TMemoryStream recordBytes;
  record.WriteRecord(recordBytes);

  TpgwPictureCache cache;
  ASSERT_EQ(cache.AddPicture(png.get()), 1);
  ASSERT_EQ(cache.AddPicture(bitmap.get()), 2);
  ASSERT_EQ(cache.AddPicture(jpeg.get()), 3);
  TpgwXMLItem root;
  cache.SaveToXML(root);
  TpgwXMLItem* section = root.Items(root.Find(u"picturecache"));
  ASSERT_EQ(section->Count(), 3);
  const struct {
    const char16_t* magic;  // the first bytes in hexadecimal
    int width;
  } expected[] = {{u"89504E470D0A1A0A", 12}, {u"424D", 5}, {u"FFD8FF", 7}};
  for (int i = 0; i < 3; ++i) {
    const WideString hex = section->Items(i)->Prop(u"stream");
    EXPECT_EQ(hex.substr(0, std::char_traits<char16_t>::length(expected[i].magic)), expected[i].magic) << i;
  }
  // An entry as earlier versions wrote it: the picture record in hexadecimal.
  static const char* digits = "0123456789ABCDEF";
  WideString hex;
  for (uint8_t b : recordBytes.Bytes()) {
    hex += static_cast<char16_t>(digits[b >> 4]);
    hex += static_cast<char16_t>(digits[b & 15]);
  }
  TpgwXMLItem* old = section->Add(u"item");
  old->SetProp(u"stream", hex);
  TpgwXMLItem* size = old->Add(u"size");
  size->SetProp(u"w", u"9");
  size->SetProp(u"h", u"2");

  TpgwPictureCache loaded;
  loaded.LoadFromXML(root);
  const int widths[] = {12, 5, 7, 9};
  for (int i = 1; i <= 4; ++i) {
    std::unique_ptr<TGraphic> g = loaded.GetGraphic(i);
    ASSERT_NE(g, nullptr) << i;
    EXPECT_EQ(g->Width(), widths[i - 1]) << i;
  }
}

TEST(PictureCache, ThumbnailsAreReducedButReportTheOriginalSize) {
  TpgwPictureCache cache;
  cache.PictureCacheOptions().SetCachedImagesBuildType(tbtAtPrepare);
  cache.PictureCacheOptions().ThumbnailQualityReducer().SetReducePercent(50);
  auto picture = Solid(200, 100, clGreen);
  EXPECT_EQ(cache.AddPicture(picture.get()), 1);
  ASSERT_EQ(cache.ThumbnailCache().Count(), 1);
  EXPECT_EQ(cache.ThumbnailCache().Entry(1)->Width, 200);
  EXPECT_EQ(cache.ThumbnailCache().Entry(1)->Height, 100);
  std::shared_ptr<TpgwAutoRefGraphic> thumb = cache.GetCachedBitmap(cgThumbnail, 1);
  ASSERT_NE(thumb, nullptr);
  EXPECT_EQ(thumb->Graphic->Width(), 100);
  EXPECT_EQ(thumb->Graphic->Height(), 50);
  EXPECT_EQ(thumb->OriginalWidth, 200);
}

TEST(PictureCache, FileSegmentsAreDeletedWhenCleared) {
  TpgwPictureCache cache;
  cache.SetUseFileCache(true);
  auto red = Solid(16, 16, clRed);
  ASSERT_EQ(cache.AddPicture(red.get()), 1);
  ASSERT_EQ(cache.PictureCache().TempFiles().size(), 1u);
  const std::string file = cache.PictureCache().TempFiles()[0];
  EXPECT_TRUE(FileExists(file));
  std::unique_ptr<TGraphic> back = cache.GetGraphic(1);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Width(), 16);
  cache.Clear();
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(cache.GetGraphic(1), nullptr);
}

}  // namespace
}  // namespace pagewright
