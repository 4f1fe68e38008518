// BMP reading and writing: 1, 4, 8, 16, 24 and 32 bits per pixel, RLE4 and RLE8, bit fields,
// bottom-up and top-down rows; the bitmap part of icons with their AND mask.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {

void CheckPictureSize(int64_t width, int64_t height, int64_t maxPixelsFromData) {
  if (width <= 0 || height <= 0) throw EInvalidGraphic("Picture has no size");
  if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
    throw EInvalidGraphic("Picture too large");
  if (width * height > maxPixelsFromData) throw EInvalidGraphic("Picture size does not match its data");
}

namespace {

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

struct Mask {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit Mask(uint32_t m = 0) : mask(m) {
    if (m) {
      shift = std::countr_zero(m);
      bits = std::popcount(m >> shift);
      if (bits > 8) {  // keep the top 8 bits
        shift += bits - 8;
        bits = 8;
      }
    }
  }
  uint8_t Get(uint32_t v) const {
    if (!mask) return 0;
    uint32_t x = (v & mask) >> shift;
    x &= (1u << bits) - 1;
    if (bits == 8) return static_cast<uint8_t>(x);
    const uint32_t maxv = (1u << bits) - 1;
    return static_cast<uint8_t>((x * 255 + maxv / 2) / maxv);
  }
};

}  // namespace

std::unique_ptr<TBitmap> DecodeBMP(std::span<const uint8_t> data, bool withFileHeader, bool iconMask) {
  try {
    TByteReader r(data);
    size_t infoStart = 0;
    uint32_t offBits = 0;
    if (withFileHeader) {
      if (r.U16LE() != 19778) throw EInvalidGraphic("Bitmap image is not valid");
      r.Skip(8);
      offBits = r.U32LE();
      infoStart = 14;
    }
    const uint32_t headerSize = r.U32LE();
    int64_t width = 0, height = 0;
    int bpp = 0;
    uint32_t compression = BI_RGB, clrUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool core = false;
    if (headerSize == 12) {
      core = true;
      width = r.U16LE();
      height = r.I16LE();
      r.U16LE();
      bpp = r.U16LE();
    } else if (headerSize >= 40 && headerSize <= 1024) {
      width = r.I32LE();
      height = r.I32LE();
      r.U16LE();
      bpp = r.U16LE();
      compression = r.U32LE();
      r.Skip(12);
      clrUsed = r.U32LE();
      r.U32LE();
      if (headerSize >= 52) {
        for (int i = 0; i < (headerSize >= 56 ? 4 : 3); ++i) masks[i] = r.U32LE();
      }
      r.Seek(infoStart + headerSize);
      if (headerSize == 40 && (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS)) {
        const int n = compression == BI_ALPHABITFIELDS ? 4 : 3;
        for (int i = 0; i < n; ++i) masks[i] = r.U32LE();
      }
    } else {
      throw EInvalidGraphic("Bitmap image is not valid");
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (iconMask) height /= 2;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
      throw EInvalidGraphic("Bitmap image is not valid");
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    if (compression == BI_RLE8 && bpp != 8) throw EInvalidGraphic("Bitmap image is not valid");
    if (compression == BI_RLE4 && bpp != 4) throw EInvalidGraphic("Bitmap image is not valid");
    const bool fields = compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS;
    if (fields && bpp != 16 && bpp != 32) throw EInvalidGraphic("Bitmap image is not valid");
    if (!rle && !fields && compression != BI_RGB) throw EInvalidGraphic("Bitmap image is not valid");
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
      throw EInvalidGraphic("Bitmap image is not valid");

    // Colour table.
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    if (bpp <= 8) {
      size_t count = clrUsed ? clrUsed : (1u << bpp);
      count = std::min<size_t>(count, 256);
      const size_t entry = core ? 3 : 4;
      size_t room = r.Remaining();
      // With a file header the colour table ends where the pixels begin.
      if (withFileHeader && offBits > r.Position() && offBits <= data.size()) room = offBits - r.Position();
      count = std::min(count, room / entry);
      for (size_t i = 0; i < count; ++i) {
        const uint8_t b = r.U8(), g = r.U8(), rr = r.U8();
        if (!core) r.U8();
        palette.push_back((uint32_t{rr} << 16) | (uint32_t{g} << 8) | b);
      }
      palette.resize(size_t{1} << bpp, 0);
    }
    if (withFileHeader) {
      if (offBits >= 14 && offBits <= data.size() && offBits >= r.Position()) r.Seek(offBits);
    }
    const std::span<const uint8_t> pixels = r.Bytes(r.Remaining());
    const int64_t stride = ((width * bpp + 31) / 32) * 4;
    if (rle)
      CheckPictureSize(width, height, static_cast<int64_t>(pixels.size()) * 65536);
    else {
      if (stride * height > static_cast<int64_t>(pixels.size()))
        throw EInvalidGraphic("Bitmap image is not valid");
      CheckPictureSize(width, height, kMaxPicturePixels);
    }
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    // Pixels as 0xAARRGGBB, row 0 at the top.
    std::vector<uint32_t> out(static_cast<size_t>(w) * h, 0xFF000000u);
    bool alphaUsed = false;
    auto rowOf = [&](int fileRow) { return topDown ? fileRow : h - 1 - fileRow; };

    if (rle) {
      // Pixels the runs skip stay black and transparent.
      std::fill(out.begin(), out.end(), 0u);
      alphaUsed = true;
      TByteReader rr(pixels, false);
      int x = 0, y = 0;
      auto put = [&](int index) {
        if (x < w && y < h)
          out[static_cast<size_t>(rowOf(y)) * w + x] = 0xFF000000u | palette[index & ((1 << bpp) - 1)];
        ++x;
      };
      while (!rr.AtEnd() && y < h) {
        const uint8_t n = rr.U8(), v = rr.U8();
        if (rr.Failed()) break;
        if (n > 0) {
          for (int i = 0; i < n && x < w; ++i) put(bpp == 8 ? v : (i % 2 == 0 ? v >> 4 : v & 15));
        } else if (v == 0) {
          x = 0;
          ++y;
        } else if (v == 1) {
          break;
        } else if (v == 2) {
          x += rr.U8();
          y += rr.U8();
        } else {
          const int count = v;
          const int bytes = bpp == 8 ? count : (count + 1) / 2;
          auto span = rr.Bytes(static_cast<size_t>(bytes));
          if (rr.Failed()) break;
          for (int i = 0; i < count && x < w; ++i)
            put(bpp == 8 ? span[i] : (i % 2 == 0 ? span[i / 2] >> 4 : span[i / 2] & 15));
          if (bytes % 2) rr.U8();
        }
      }
    } else {
      Mask mr, mg, mb, ma;
      if (bpp == 16) {
        if (fields) {
          mr = Mask(masks[0]), mg = Mask(masks[1]), mb = Mask(masks[2]), ma = Mask(masks[3]);
        } else {
          mr = Mask(0x7C00), mg = Mask(0x03E0), mb = Mask(0x001F);
        }
      } else if (bpp == 32) {
        if (fields) {
          mr = Mask(masks[0]), mg = Mask(masks[1]), mb = Mask(masks[2]), ma = Mask(masks[3]);
        } else {
          mr = Mask(0x00FF0000), mg = Mask(0x0000FF00), mb = Mask(0x000000FF), ma = Mask(0xFF000000);
        }
      }
      bool anyAlpha = false;
      for (int fy = 0; fy < h; ++fy) {
        const uint8_t* src = pixels.data() + static_cast<size_t>(stride) * fy;
        uint32_t* dst = out.data() + static_cast<size_t>(rowOf(fy)) * w;
        for (int x = 0; x < w; ++x) {
          switch (bpp) {
            case 1:
              dst[x] = 0xFF000000u | palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
              break;
            case 4:
              dst[x] = 0xFF000000u | palette[(x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4)];
              break;
            case 8:
              dst[x] = 0xFF000000u | palette[src[x]];
              break;
            case 24:
              dst[x] = 0xFF000000u | (uint32_t{src[x * 3 + 2]} << 16) | (uint32_t{src[x * 3 + 1]} << 8) |
                       src[x * 3];
              break;
            default: {
              const uint32_t v = bpp == 16 ? uint32_t{src[x * 2]} | (uint32_t{src[x * 2 + 1]} << 8)
                                           : uint32_t{src[x * 4]} | (uint32_t{src[x * 4 + 1]} << 8) |
                                                 (uint32_t{src[x * 4 + 2]} << 16) |
                                                 (uint32_t{src[x * 4 + 3]} << 24);
              const uint8_t a = ma.mask ? ma.Get(v) : 255;
              if (ma.mask && a != 0) anyAlpha = true;
              dst[x] =
                  (uint32_t{a} << 24) | (uint32_t{mr.Get(v)} << 16) | (uint32_t{mg.Get(v)} << 8) | mb.Get(v);
            }
          }
        }
      }
      if (ma.mask) {
        // A 32-bit bitmap whose alpha bytes are all zero is opaque.
        if (!anyAlpha)
          for (auto& p : out) p |= 0xFF000000u;
        else
          alphaUsed = true;
      }
      if (iconMask && !alphaUsed) {
        const int64_t maskStride = ((width + 31) / 32) * 4;
        const size_t maskStart = static_cast<size_t>(stride * height);
        if (maskStart + static_cast<size_t>(maskStride * height) <= pixels.size()) {
          for (int fy = 0; fy < h; ++fy) {
            const uint8_t* m = pixels.data() + maskStart + static_cast<size_t>(maskStride) * fy;
            uint32_t* dst = out.data() + static_cast<size_t>(rowOf(fy)) * w;
            for (int x = 0; x < w; ++x)
              if ((m[x >> 3] >> (7 - (x & 7))) & 1) {
                dst[x] &= 0x00FFFFFFu;
                alphaUsed = true;
              }
          }
        }
      }
    }

    auto bitmap = std::make_unique<TBitmap>();
    if (alphaUsed) bitmap->SetPixelFormat(pf32bit);
    bitmap->SetSize(w, h);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    for (int y = 0; y < h; ++y) {
      const uint32_t* p = out.data() + static_cast<size_t>(y) * w;
      for (int x = 0; x < w; ++x) {
        row[x * 4] = static_cast<uint8_t>(p[x] >> 16);
        row[x * 4 + 1] = static_cast<uint8_t>(p[x] >> 8);
        row[x * 4 + 2] = static_cast<uint8_t>(p[x]);
        row[x * 4 + 3] = static_cast<uint8_t>(p[x] >> 24);
      }
      bitmap->WriteRowRGBA(y, row.data());
    }
    return bitmap;
  } catch (const EReadError&) {
    throw EInvalidGraphic("Bitmap image is not valid");
  }
}

void EncodeBMP(const TBitmap& bitmap, TStream& stream) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const bool alpha = bitmap.PixelFormat() == pf32bit;
  const int bpp = alpha ? 32 : 24;
  const uint32_t stride = ((static_cast<uint32_t>(w) * bpp + 31) / 32) * 4;
  const uint32_t imageSize = stride * static_cast<uint32_t>(h);
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  u16(19778);
  u32(54 + imageSize);
  u32(0);
  u32(54);
  u32(40);
  u32(static_cast<uint32_t>(w));
  u32(static_cast<uint32_t>(h));
  u16(1);
  u16(bpp);
  u32(BI_RGB);
  u32(imageSize);
  const uint32_t ppm = static_cast<uint32_t>(bitmap.PixelsPerInch() * 10000 / 254);
  u32(ppm);
  u32(ppm);
  u32(0);
  u32(0);
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3), a(static_cast<size_t>(w));
  for (int y = h - 1; y >= 0; --y) {
    bitmap.ReadRowRGB(y, rgb.data());
    bitmap.ReadRowAlpha(y, a.data());
    size_t start = out.size();
    for (int x = 0; x < w; ++x) {
      out.push_back(rgb[x * 3 + 2]);
      out.push_back(rgb[x * 3 + 1]);
      out.push_back(rgb[x * 3]);
      if (alpha) out.push_back(a[x]);
    }
    out.resize(start + stride, 0);
  }
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

}  // namespace pagewright
