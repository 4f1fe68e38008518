// Raster bitmaps: 24-bit colour (or black and white) pixels with a canvas to draw on and rows
// to read for encoding.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/canvas.h"

namespace pagewright {

// pf24bit: colour; pf1bit: black and white; pf32bit: colour with an alpha channel, blended
// when the bitmap is drawn.
enum TPixelFormat : uint8_t { pf1bit, pf24bit, pf32bit };

class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  // Resizes, keeping the pixels that still fit; new pixels take the canvas brush colour (white
  // for a new bitmap), or for a pf32bit bitmap whose brush is not solid are transparent.
  void SetSize(int width, int height);
  void SetWidth(int w) { SetSize(w, FHeight); }
  void SetHeight(int h) { SetSize(FWidth, h); }
  // pf1bit maps every pixel to black or white (by luminance) whenever rows are read. Going
  // from pf32bit to another format lays the pixels over white.
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat f);
  bool Monochrome() const { return FPixelFormat == pf1bit; }
  void SetMonochrome(bool v) { SetPixelFormat(v ? pf1bit : pf24bit); }
  // What the canvas reports as LOGPIXELSX/LOGPIXELSY; 0 is read as 96.
  int PixelsPerInch() const { return EffectivePixelsPerInch(FPixelsPerInch); }
  void SetPixelsPerInch(int ppi) { FPixelsPerInch = ppi; }
  // Pixels of this colour are not drawn when the bitmap is drawn with Transparent set.
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor c) { FTransparentColor = c; }

  TCanvas& Canvas();

  // Makes the bitmap a window onto a larger picture of fullWidth x fullHeight pixels whose pixels
  // from (left, top) on it holds: its canvas draws in the larger picture's coordinates, clipped to
  // the window, and reports the larger picture's size, so that what is drawn comes out as on one
  // bitmap of the whole picture. Rows and pixels are still read at the bitmap's own positions.
  // The canvas starts afresh (default pen, brush and font, no clip) and the pixels are painted
  // white: each window is drawn as a new bitmap of the picture would be.
  void SetWindow(int left, int top, int fullWidth, int fullHeight);

  // A row of pixels as 32-bit values 0x00RRGGBB (blue in the lowest byte); for pf32bit
  // 0xAARRGGBB with the colour premultiplied by alpha. Null outside the bitmap.
  const uint32_t* ScanLine(int y) const;
  // A row as red, green, blue bytes (3 × Width bytes), ready for an encoder.
  void ReadRowRGB(int y, uint8_t* out) const;
  // A row's alpha values (Width bytes; 255 for bitmaps without alpha).
  void ReadRowAlpha(int y, uint8_t* out) const;
  // Rows from a decoder: red, green, blue (and alpha, not premultiplied) bytes per pixel.
  // Alpha is kept by pf32bit bitmaps and ignored by the others.
  void WriteRowRGB(int y, const uint8_t* rgb);
  void WriteRowRGBA(int y, const uint8_t* rgba);
  // One pixel as a colour value (red in the low byte); clNone outside the bitmap.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);

  void Draw(TCanvas& canvas, const TRect& rect) const override;
  std::unique_ptr<TGraphic> Clone() const override;
  // A copy of part of the bitmap.
  std::unique_ptr<TBitmap> Copy(const TRect& part) const;

  struct Impl;
  Impl& Internals() const { return *FImpl; }

 private:
  void Normalize() const;
  int FWidth = 0;
  int FHeight = 0;
  TPixelFormat FPixelFormat = pf24bit;
  int FPixelsPerInch = 96;
  TColor FTransparentColor = clWhite;
  std::unique_ptr<Impl> FImpl;
};

}  // namespace pagewright
