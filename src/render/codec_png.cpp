// PNG through libpng. Reading uses the simplified reader, which keeps its own error handling
// inside the library: a failure comes back as a status, never as a jump through our frames.
// Writing streams rows through the full interface; its errors jump back only into frames that
// hold plain data.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
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

// The writer's state outside the setjmp frames: libpng's error handler jumps back into the
// frame of the call that failed, which holds only plain data.
struct TPNGRowEncoder::State {
  png_structp png = nullptr;
  png_infop info = nullptr;
  TStream* stream = nullptr;
  std::exception_ptr writeFailure;  // what the stream raised
  char message[256] = {};
  ~State() { png_destroy_write_struct(&png, &info); }
};

namespace {

using State = TPNGRowEncoder::State;

void PngError(png_structp png, png_const_charp message) {
  auto* s = static_cast<State*>(png_get_error_ptr(png));
  std::snprintf(s->message, sizeof s->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngWrite(png_structp png, png_bytep data, size_t size) {
  auto* s = static_cast<State*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    s->stream->WriteBuffer(data, static_cast<int64_t>(size));
  } catch (...) {
    s->writeFailure = std::current_exception();
    failed = true;
  }
  // Outside the handler: the jump leaves no exception half-handled.
  if (failed) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

bool RunStart(State* s, png_uint_32 width, png_uint_32 height, bool alpha) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_set_write_fn(s->png, s, PngWrite, PngFlush);
  png_set_IHDR(s->png, s->info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_sRGB(s->png, s->info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_write_info(s->png, s->info);
  return true;
}

bool RunRow(State* s, const uint8_t* row) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_write_row(s->png, row);
  return true;
}

bool RunEnd(State* s) {
  if (setjmp(png_jmpbuf(s->png))) return false;
  png_write_end(s->png, s->info);
  return true;
}

[[noreturn]] void RaiseWriteError(const State& s) {
  if (s.writeFailure) std::rethrow_exception(s.writeFailure);
  throw EInvalidGraphic(std::string("PNG image could not be written: ") + s.message);
}

}  // namespace

TPNGRowEncoder::TPNGRowEncoder(int width, int height, bool alpha, TStream& stream)
    : TRowEncoder(width, height, alpha), FState(std::make_unique<State>()) {
  if (width <= 0 || height <= 0) throw EInvalidGraphic("PNG image has no size");
  State& s = *FState;
  s.stream = &stream;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, PngError, PngWarning);
  if (s.png) s.info = png_create_info_struct(s.png);
  if (!s.png || !s.info) throw EOutOfMemory("Out of memory: a PNG writer");
  if (!RunStart(&s, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), alpha))
    RaiseWriteError(s);
}

TPNGRowEncoder::~TPNGRowEncoder() = default;

void TPNGRowEncoder::DoWriteRow(const uint8_t* pixels) {
  if (!RunRow(FState.get(), pixels)) RaiseWriteError(*FState);
}

void TPNGRowEncoder::DoFinish() {
  if (!RunEnd(FState.get())) RaiseWriteError(*FState);
}

void EncodePNG(const TBitmap& bitmap, TStream& stream) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) throw EInvalidGraphic("PNG image has no size");
  TPNGRowEncoder encoder(bitmap.Width(), bitmap.Height(), bitmap.PixelFormat() == pf32bit, stream);
  encoder.WriteRows(bitmap, 0, bitmap.Height());
  encoder.Finish();
}

}  // namespace pagewright
