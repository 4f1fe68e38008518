// JPEG through libjpeg: errors end in our own setjmp frame (which holds no C++ objects) and
// become EInvalidGraphic there, so no error unwinds through the library or leaves the process.
#include <csetjmp>
#include <cstdio>
#include <cstring>
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

struct EncodeSource {
  const TBitmap* bitmap;
  int quality;
  int dpi;
  bool grey;
  unsigned char* out;
  unsigned long outSize;
  std::vector<uint8_t>* row;
};

bool RunEncode(jpeg_compress_struct* cinfo, ErrorManager* err, EncodeSource* s) {
  if (setjmp(err->jump)) return false;
  jpeg_create_compress(cinfo);
  jpeg_mem_dest(cinfo, &s->out, &s->outSize);
  const TBitmap& b = *s->bitmap;
  cinfo->image_width = static_cast<JDIMENSION>(b.Width());
  cinfo->image_height = static_cast<JDIMENSION>(b.Height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  if (s->grey) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
  jpeg_set_quality(cinfo, s->quality, TRUE);
  cinfo->write_JFIF_header = TRUE;
  cinfo->density_unit = 1;  // dots per inch
  cinfo->X_density = static_cast<UINT16>(s->dpi);
  cinfo->Y_density = static_cast<UINT16>(s->dpi);
  jpeg_start_compress(cinfo, TRUE);
  uint8_t* row = s->row->data();
  while (cinfo->next_scanline < cinfo->image_height) {
    b.ReadRowRGB(static_cast<int>(cinfo->next_scanline), row);
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(cinfo, rows, 1);
  }
  jpeg_finish_compress(cinfo);
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

void EncodeJPEG(const TBitmap& bitmap, int quality, int dpi, bool grey, TStream& stream) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0 || bitmap.Width() > 65500 || bitmap.Height() > 65500)
    throw EInvalidGraphic("JPEG image has no size");
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorManager err;
  InitErrors(err);
  cinfo.err = &err.pub;
  std::vector<uint8_t> row(static_cast<size_t>(bitmap.Width()) * 3);
  EncodeSource source{&bitmap,
                      quality < 1 ? 1 : quality > 100 ? 100 : quality,
                      dpi > 0 && dpi < 65536 ? dpi : 96,
                      grey,
                      nullptr,
                      0,
                      &row};
  const bool ok = RunEncode(&cinfo, &err, &source);
  jpeg_destroy_compress(&cinfo);
  struct Free {
    unsigned char* p;
    ~Free() { std::free(p); }
  } freeOut{source.out};
  if (!ok) throw EInvalidGraphic(std::string("JPEG error: ") + err.message);
  stream.WriteBuffer(source.out, static_cast<int64_t>(source.outSize));
}

}  // namespace pagewright
