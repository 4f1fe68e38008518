// Picture codecs: bytes to bitmaps and back. Every decoder raises EInvalidGraphic on data it
// cannot read, checks declared sizes against the data before allocating, and never reads
// outside the bytes it is given.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/streams.h"
#include "render/bitmap.h"

namespace pagewright {

// Baseline and progressive JPEG; grey and CMYK come out as RGB.
std::unique_ptr<TBitmap> DecodeJPEG(std::span<const uint8_t> data);
// Baseline JPEG at the quality (1..100), JFIF density dpi dots per inch; grey when asked.
void EncodeJPEG(const TBitmap& bitmap, int quality, int dpi, bool grey, TStream& stream);

// PNG of any colour type; a 32-bit bitmap when the file has alpha or a transparent colour.
std::unique_ptr<TBitmap> DecodePNG(std::span<const uint8_t> data);
// A PNG of the bitmap: RGB, or RGBA for 32-bit bitmaps.
void EncodePNG(const TBitmap& bitmap, TStream& stream);

struct TGIFImageData {
  std::unique_ptr<TBitmap> strip;  // 32-bit, frames side by side
  int frameWidth = 0;
  int frameHeight = 0;
  int frameCount = 0;
  TColor transparentColor = clNone;  // of the first frame's transparent index, if any
};
TGIFImageData DecodeGIF(std::span<const uint8_t> data);

// A BMP file (file header included), or the bitmap part of it (info header first) when
// withFileHeader is false, as icons hold it; an icon's bitmap is twice its height, with a mask.
std::unique_ptr<TBitmap> DecodeBMP(std::span<const uint8_t> data, bool withFileHeader = true,
                                   bool iconMask = false);
// A 24-bit bottom-up BMP file (32-bit with alpha for pf32bit bitmaps).
void EncodeBMP(const TBitmap& bitmap, TStream& stream);

// The largest image of an icon file (BMP or PNG entries).
std::unique_ptr<TBitmap> DecodeICO(std::span<const uint8_t> data);

// Throws EInvalidGraphic when a declared size is not acceptable: zero, negative, beyond the
// side or pixel caps, or more pixels than maxPixelsFromData.
void CheckPictureSize(int64_t width, int64_t height, int64_t maxPixelsFromData);

}  // namespace pagewright
