// The part of the row encoders that is the same for every format: counting rows and reading
// them out of bitmaps.
#include "render/picture_codecs.h"

#include <cstring>
#include <string>

#include "render/graphic_formats.h"

namespace pagewright {

void TRowEncoder::WriteRow(const uint8_t* pixels) {
  if (FFinished || FRows >= FHeight) throw EInvalidGraphic("More rows than the picture's height");
  DoWriteRow(pixels);
  ++FRows;
}

void TRowEncoder::WriteRows(const TBitmap& bitmap, int top, int bottom, int left) {
  if (left < 0 || int64_t{left} + FWidth > bitmap.Width() || top < 0 || bottom > bitmap.Height())
    throw EInvalidGraphic("Rows outside the picture");
  const size_t width = static_cast<size_t>(bitmap.Width());
  FRow.resize(width * 3);
  if (FAlpha) {
    FAlphaRow.resize(width);
    FJoined.resize(static_cast<size_t>(FWidth) * 4);
  }
  for (int y = top; y < bottom; ++y) {
    bitmap.ReadRowRGB(y, FRow.data());
    const uint8_t* rgb = FRow.data() + static_cast<size_t>(left) * 3;
    if (!FAlpha) {
      WriteRow(rgb);
      continue;
    }
    bitmap.ReadRowAlpha(y, FAlphaRow.data());
    const uint8_t* a = FAlphaRow.data() + left;
    for (int x = 0; x < FWidth; ++x) {
      std::memcpy(&FJoined[static_cast<size_t>(x) * 4], rgb + static_cast<size_t>(x) * 3, 3);
      FJoined[static_cast<size_t>(x) * 4 + 3] = a[x];
    }
    WriteRow(FJoined.data());
  }
}

void TRowEncoder::Finish() {
  if (FFinished) return;
  if (FRows != FHeight)
    throw EInvalidGraphic("The picture ended after " + std::to_string(FRows) + " of its " +
                          std::to_string(FHeight) + " rows");
  DoFinish();
  FFinished = true;
}

}  // namespace pagewright
