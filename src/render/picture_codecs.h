// Picture codecs: bytes to bitmaps and back. Every decoder raises EInvalidGraphic on data it
// cannot read, checks declared sizes against the data before allocating, and never reads
// outside the bytes it is given.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/streams.h"
#include "render/bitmap.h"

namespace pagewright {

// An encoder fed one row at a time, top row first, writing to its stream as it goes: a picture
// taller than memory allows need never be whole in one bitmap. Rows are red, green, blue bytes
// per pixel, with alpha after them when the encoder takes alpha. A failed write or encoding
// raises (the stream's own exception, or EInvalidGraphic); the stream then holds part of a file.
class TRowEncoder {
 public:
  TRowEncoder(int width, int height, bool alpha) : FWidth(width), FHeight(height), FAlpha(alpha) {}
  virtual ~TRowEncoder() = default;
  TRowEncoder(const TRowEncoder&) = delete;
  TRowEncoder& operator=(const TRowEncoder&) = delete;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Alpha() const { return FAlpha; }
  // Rows encoded so far.
  int RowsWritten() const { return FRows; }
  // The next row; raises when all rows were written.
  void WriteRow(const uint8_t* pixels);
  // Rows top to bottom - 1 of the bitmap, Width() pixels of each from column left (which must
  // lie within the bitmap).
  void WriteRows(const TBitmap& bitmap, int top, int bottom, int left = 0);
  // Ends the file once every row was written; raises before that.
  void Finish();

 protected:
  virtual void DoWriteRow(const uint8_t* pixels) = 0;
  virtual void DoFinish() = 0;

 private:
  int FWidth, FHeight;
  bool FAlpha;
  int FRows = 0;
  bool FFinished = false;
  std::vector<uint8_t> FRow, FAlphaRow, FJoined;
};

// Baseline JPEG at the quality (1..100), JFIF density dpi dots per inch; grey when asked. Sizes
// beyond the format's 65,500 pixels raise "JPEG image has no size".
class TJPEGRowEncoder final : public TRowEncoder {
 public:
  TJPEGRowEncoder(int width, int height, int quality, int dpi, bool grey, TStream& stream);
  ~TJPEGRowEncoder() override;
  struct State;

 protected:
  void DoWriteRow(const uint8_t* pixels) override;
  void DoFinish() override;

 private:
  std::unique_ptr<State> FState;
};

// PNG, 8 bits per channel, RGB or RGBA, marked sRGB.
class TPNGRowEncoder final : public TRowEncoder {
 public:
  TPNGRowEncoder(int width, int height, bool alpha, TStream& stream);
  ~TPNGRowEncoder() override;
  struct State;

 protected:
  void DoWriteRow(const uint8_t* pixels) override;
  void DoFinish() override;

 private:
  std::unique_ptr<State> FState;
};

// Baseline and progressive JPEG; grey and CMYK come out as RGB.
std::unique_ptr<TBitmap> DecodeJPEG(std::span<const uint8_t> data);
// The bitmap through TJPEGRowEncoder.
void EncodeJPEG(const TBitmap& bitmap, int quality, int dpi, bool grey, TStream& stream);

// PNG of any colour type; a 32-bit bitmap when the file has alpha or a transparent colour.
std::unique_ptr<TBitmap> DecodePNG(std::span<const uint8_t> data);
// A PNG of the bitmap through TPNGRowEncoder: RGB, or RGBA for 32-bit bitmaps.
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
