// PNG through libpng's simplified reader, which keeps its own error handling inside the
// library: a failure comes back as a status, never as a jump through our frames.
#include <cstring>
#include <vector>

#include <png.h>

#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {

std::unique_ptr<TBitmap> DecodePNG(std::span<const uint8_t> data) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  struct Finish {
    png_image* image;
    ~Finish() { png_image_free(image); }
  } finish{&image};
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
    throw EInvalidGraphic(std::string("PNG image is not valid: ") + image.message);
  // Deflate expands at most about a thousand times; a header claiming more pixels than the
  // data can hold is not believed.
  CheckPictureSize(image.width, image.height, static_cast<int64_t>(data.size()) * 8 * 1032);
  const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  const size_t stride = static_cast<size_t>(image.width) * 4;
  std::vector<uint8_t> pixels(stride * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), static_cast<png_int_32>(stride), nullptr))
    throw EInvalidGraphic(std::string("PNG image is not valid: ") + image.message);
  auto bitmap = std::make_unique<TBitmap>();
  if (alpha) bitmap->SetPixelFormat(pf32bit);
  bitmap->SetSize(static_cast<int>(image.width), static_cast<int>(image.height));
  for (uint32_t y = 0; y < image.height; ++y)
    bitmap->WriteRowRGBA(static_cast<int>(y), pixels.data() + y * stride);
  return bitmap;
}

void EncodePNG(const TBitmap& bitmap, TStream& stream) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) throw EInvalidGraphic("PNG image has no size");
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.Width());
  image.height = static_cast<png_uint_32>(bitmap.Height());
  const bool alpha = bitmap.PixelFormat() == pf32bit;
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  const size_t channels = alpha ? 4 : 3;
  const size_t stride = static_cast<size_t>(bitmap.Width()) * channels;
  std::vector<uint8_t> pixels(stride * image.height);
  std::vector<uint8_t> rgb(static_cast<size_t>(bitmap.Width()) * 3), a(static_cast<size_t>(bitmap.Width()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = pixels.data() + stride * static_cast<size_t>(y);
    bitmap.ReadRowRGB(y, rgb.data());
    if (!alpha) {
      std::memcpy(row, rgb.data(), rgb.size());
      continue;
    }
    bitmap.ReadRowAlpha(y, a.data());
    for (int x = 0; x < bitmap.Width(); ++x) {
      std::memcpy(row + x * 4, rgb.data() + x * 3, 3);
      row[x * 4 + 3] = a[static_cast<size_t>(x)];
    }
  }
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), static_cast<png_int_32>(stride),
                                 nullptr))
    throw EInvalidGraphic(std::string("PNG image could not be written: ") + image.message);
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), static_cast<png_int_32>(stride),
                                 nullptr))
    throw EInvalidGraphic(std::string("PNG image could not be written: ") + image.message);
  png_image_free(&image);
  stream.WriteBuffer(out.data(), static_cast<int64_t>(size));
}

}  // namespace pagewright
