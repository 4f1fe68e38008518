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

}  // namespace pagewright
