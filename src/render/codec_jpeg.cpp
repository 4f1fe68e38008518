// JPEG through libjpeg: errors end in our own setjmp frame (which holds no C++ objects) and
// become EInvalidGraphic there, so no error unwinds through the library or leaves the process.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {

namespace {

// Libjpeg's working memory for one picture (progressive files keep every coefficient).
constexpr long kMaxJpegMemory = 384L << 20;
// More scans than any real progressive file uses; corrupt files can repeat scans endlessly.
constexpr int kMaxScans = 1000;
// More corrupt-data warnings than this end the decoding.
constexpr int kMaxWarnings = 1000;

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  int scans;
  int warnings;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (level < 0) {
    if (++err->warnings > kMaxWarnings) {
      std::snprintf(err->message, sizeof err->message, "Too many errors in JPEG data");
      longjmp(err->jump, 1);
    }
  } else if (cinfo->err->msg_code == JTRC_SOS) {
    if (++err->scans > kMaxScans) {
      std::snprintf(err->message, sizeof err->message, "Too many scans in JPEG data");
      longjmp(err->jump, 1);
    }
  }
}

void InitErrors(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.message[0] = 0;
  err.scans = 0;
  err.warnings = 0;
}

// Decoding state outside the setjmp frame.
struct DecodeTarget {
  const uint8_t* data;
  size_t size;
  std::vector<uint8_t>* pixels;  // RGB, filled row by row
  int width;
  int height;
  bool tooLarge;
};

// Only plain data lives in this frame, so the jump back into it skips no destructor.
bool RunDecode(jpeg_decompress_struct* cinfo, ErrorManager* err, DecodeTarget* t) {
  if (setjmp(err->jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxJpegMemory;
  jpeg_mem_src(cinfo, t->data, static_cast<unsigned long>(t->size));
  jpeg_read_header(cinfo, TRUE);
  const int64_t w = cinfo->image_width, h = cinfo->image_height;
  // Each byte of entropy-coded data holds at most a few thousand pixels' worth of blocks.
  if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels ||
      w * h > static_cast<int64_t>(t->size) * 4096) {
    t->tooLarge = true;
    return false;
  }
  if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK)
    cinfo->out_color_space = JCS_CMYK;
  else
    cinfo->out_color_space = JCS_RGB;
  jpeg_start_decompress(cinfo);
  t->width = static_cast<int>(cinfo->output_width);
  t->height = static_cast<int>(cinfo->output_height);
  const int comps = cinfo->output_components;
  t->pixels->resize(static_cast<size_t>(t->width) * t->height * 3);
  std::vector<uint8_t>& px = *t->pixels;
  uint8_t cmykRow[4 * kMaxPictureSide];
  while (cinfo->output_scanline < cinfo->output_height) {
    const size_t y = cinfo->output_scanline;
    uint8_t* dst = px.data() + y * t->width * 3;
    JSAMPROW row = comps == 4 ? cmykRow : dst;
    jpeg_read_scanlines(cinfo, &row, 1);
    if (comps == 4) {
      // Adobe files store CMYK inverted: each byte is how much ink is absent.
      const bool inverted = cinfo->saw_Adobe_marker;
      for (int x = 0; x < t->width; ++x) {
        int c = cmykRow[x * 4], m = cmykRow[x * 4 + 1], yv = cmykRow[x * 4 + 2], k = cmykRow[x * 4 + 3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yv = 255 - yv;
          k = 255 - k;
        }
        dst[x * 3] = static_cast<uint8_t>(c * k / 255);
        dst[x * 3 + 1] = static_cast<uint8_t>(m * k / 255);
        dst[x * 3 + 2] = static_cast<uint8_t>(yv * k / 255);
      }
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

std::unique_ptr<TBitmap> DecodeJPEG(std::span<const uint8_t> data) {
  if (data.size() < 4) throw EInvalidGraphic("JPEG image is not valid");
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorManager err;
  InitErrors(err);
  cinfo.err = &err.pub;
  std::vector<uint8_t> pixels;
  DecodeTarget target{data.data(), data.size(), &pixels, 0, 0, false};
  const bool ok = RunDecode(&cinfo, &err, &target);
  jpeg_destroy_decompress(&cinfo);
  if (target.tooLarge) throw EInvalidGraphic("JPEG image is too large");
  if (!ok) throw EInvalidGraphic(std::string("JPEG error: ") + err.message);
  auto bitmap = std::make_unique<TBitmap>(target.width, target.height);
  for (int y = 0; y < target.height; ++y)
    bitmap->WriteRowRGB(y, pixels.data() + static_cast<size_t>(y) * target.width * 3);
  return bitmap;
}

// The compressor's state outside the setjmp frames (see ErrorExit).
struct TJPEGRowEncoder::State {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  jpeg_destination_mgr dest;
  TStream* stream = nullptr;
  std::exception_ptr writeFailure;  // what the stream raised
  JOCTET buffer[1 << 16];
  State() {
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&dest, 0, sizeof dest);
    InitErrors(err);
    cinfo.err = &err.pub;
    cinfo.client_data = this;
  }
  // Safe on a compressor never created: the library then has no memory to free.
  ~State() { jpeg_destroy_compress(&cinfo); }
};

namespace {

using EncoderState = TJPEGRowEncoder::State;

EncoderState& StateOf(j_compress_ptr cinfo) {
  return *static_cast<EncoderState*>(cinfo->client_data);
}

void InitDestination(j_compress_ptr cinfo) {
  EncoderState& s = StateOf(cinfo);
  s.dest.next_output_byte = s.buffer;
  s.dest.free_in_buffer = sizeof s.buffer;
}

// Hands n bytes of the buffer to the stream; a stream that raises ends the compression.
void Flush(j_compress_ptr cinfo, size_t n) {
  EncoderState& s = StateOf(cinfo);
  bool failed = false;
  try {
    s.stream->WriteBuffer(s.buffer, static_cast<int64_t>(n));
  } catch (...) {
    s.writeFailure = std::current_exception();
    failed = true;
  }
  // Outside the handler: the jump leaves no exception half-handled.
  if (failed) ERREXIT(cinfo, JERR_FILE_WRITE);
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  Flush(cinfo, sizeof StateOf(cinfo).buffer);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  EncoderState& s = StateOf(cinfo);
  Flush(cinfo, sizeof s.buffer - s.dest.free_in_buffer);
}

// Only plain data lives in these frames, so the jump back into them skips no destructor.
bool RunEncodeStart(EncoderState* s, int width, int height, int quality, int dpi, bool grey) {
  if (setjmp(s->err.jump)) return false;
  jpeg_compress_struct* cinfo = &s->cinfo;
  jpeg_create_compress(cinfo);
  s->dest.init_destination = InitDestination;
  s->dest.empty_output_buffer = EmptyOutputBuffer;
  s->dest.term_destination = TermDestination;
  cinfo->dest = &s->dest;
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  if (grey) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
  jpeg_set_quality(cinfo, quality, TRUE);
  cinfo->write_JFIF_header = TRUE;
  cinfo->density_unit = 1;  // dots per inch
  cinfo->X_density = static_cast<UINT16>(dpi);
  cinfo->Y_density = static_cast<UINT16>(dpi);
  jpeg_start_compress(cinfo, TRUE);
  return true;
}

bool RunEncodeRow(EncoderState* s, const uint8_t* row) {
  if (setjmp(s->err.jump)) return false;
  JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};
  jpeg_write_scanlines(&s->cinfo, rows, 1);
  return true;
}

bool RunEncodeFinish(EncoderState* s) {
  if (setjmp(s->err.jump)) return false;
  jpeg_finish_compress(&s->cinfo);
  return true;
}

[[noreturn]] void RaiseEncodeError(const EncoderState& s) {
  if (s.writeFailure) std::rethrow_exception(s.writeFailure);
  throw EInvalidGraphic(std::string("JPEG error: ") + s.err.message);
}

}  // namespace

TJPEGRowEncoder::TJPEGRowEncoder(int width, int height, int quality, int dpi, bool grey, TStream& stream)
    : TRowEncoder(width, height, false) {
  if (width <= 0 || height <= 0 || width > 65500 || height > 65500)
    throw EInvalidGraphic("JPEG image has no size");
  FState = std::make_unique<State>();
  State& s = *FState;
  s.stream = &stream;
  if (!RunEncodeStart(&s, width, height,
                      quality < 1     ? 1
                      : quality > 100 ? 100
                                      : quality,
                      dpi > 0 && dpi < 65536 ? dpi : 96, grey))
    RaiseEncodeError(s);
}

TJPEGRowEncoder::~TJPEGRowEncoder() = default;

void TJPEGRowEncoder::DoWriteRow(const uint8_t* pixels) {
  if (!RunEncodeRow(FState.get(), pixels)) RaiseEncodeError(*FState);
}

void TJPEGRowEncoder::DoFinish() {
  if (!RunEncodeFinish(FState.get())) RaiseEncodeError(*FState);
}

void EncodeJPEG(const TBitmap& bitmap, int quality, int dpi, bool grey, TStream& stream) {
  TJPEGRowEncoder encoder(bitmap.Width(), bitmap.Height(), quality, dpi, grey, stream);
  encoder.WriteRows(bitmap, 0, bitmap.Height());
  encoder.Finish();
}

}  // namespace pagewright
