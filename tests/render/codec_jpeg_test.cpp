// JPEG decoding of colour spaces our fixtures cannot come from the command-line tools with:
// an Adobe CMYK file is written here through libjpeg itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {
namespace {

// 8 x 8 pixels, left half red, right half black, as stored CMYK bytes (inverted, as Adobe
// applications store them: 255 means no ink).
std::vector<uint8_t> CmykJpeg() {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = 8;
  cinfo.image_height = 8;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(8 * 4);
  for (int x = 0; x < 8; ++x) {
    const bool red = x < 4;
    row[x * 4] = 255;                // no cyan
    row[x * 4 + 1] = red ? 0 : 255;  // magenta
    row[x * 4 + 2] = red ? 0 : 255;  // yellow
    row[x * 4 + 3] = red ? 255 : 0;  // black
  }
  while (cinfo.next_scanline < 8) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

TEST(CodecJpeg, AdobeCmykComesOutAsRgb) {
  auto b = DecodeJPEG(CmykJpeg());
  ASSERT_EQ(b->Width(), 8);
  const TColor left = b->Pixel(1, 4), right = b->Pixel(6, 4);
  EXPECT_GT(GetRValue(left), 220);
  EXPECT_LT(GetGValue(left), 35);
  EXPECT_LT(GetBValue(left), 35);
  EXPECT_LT(GetRValue(right) + GetGValue(right) + GetBValue(right), 60);
}

TEST(CodecJpeg, CorruptEntropyDataEndsInAnErrorOrAPicture) {
  auto bytes = CmykJpeg();
  // Garbage after the headers: libjpeg warns and fills; nothing may escape but our error.
  for (size_t i = bytes.size() / 2; i < bytes.size() - 2; ++i) bytes[i] = static_cast<uint8_t>(i * 37);
  try {
    auto b = DecodeJPEG(bytes);
    EXPECT_EQ(b->Width(), 8);
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find("JPEG"), std::string::npos);
  }
}

}  // namespace
}  // namespace pagewright
