// Icon files: the directory, and the largest image, stored as a BMP (without its file header,
// with an AND mask) or as a PNG.
#include <cstring>

#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {

std::unique_ptr<TBitmap> DecodeICO(std::span<const uint8_t> data) {
  try {
    TByteReader r(data);
    if (r.U16LE() != 0 || r.U16LE() >= 2) throw EInvalidGraphic("Icon image is not valid");
    const int count = r.U16LE();
    if (count == 0) throw EInvalidGraphic("Icon image is not valid");
    int64_t bestArea = -1;
    int bestBits = -1;
    uint32_t bestSize = 0, bestOffset = 0;
    for (int i = 0; i < count; ++i) {
      const int w = r.U8(), h = r.U8();
      r.Skip(4);
      const int bits = r.U16LE();
      const uint32_t size = r.U32LE(), offset = r.U32LE();
      if (offset > data.size() || size > data.size() - offset || size == 0) continue;
      const int64_t area = int64_t{w ? w : 256} * (h ? h : 256);
      if (area > bestArea || (area == bestArea && bits > bestBits)) {
        bestArea = area;
        bestBits = bits;
        bestSize = size;
        bestOffset = offset;
      }
    }
    if (bestArea < 0) throw EInvalidGraphic("Icon image is not valid");
    const auto image = data.subspan(bestOffset, bestSize);
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (image.size() >= 8 && std::memcmp(image.data(), kPng, 8) == 0) return DecodePNG(image);
    return DecodeBMP(image, false, true);
  } catch (const EReadError&) {
    throw EInvalidGraphic("Icon image is not valid");
  }
}

}  // namespace pagewright
