// Feeds arbitrary bytes to the picture loader (every format handler, by recognition) and draws
// whatever loads into a small bitmap, opaquely and transparently.
#include <cstddef>
#include <cstdint>

#include "platform/streams.h"
#include "render/bitmap.h"
#include "render/graphic_formats.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RegisterGraphicFormats();
  TMemoryStream stream;
  if (size) stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  TPicture picture;
  if (!TpgwGraphicFormats::LoadFromStream(picture, stream)) {
    if (picture.Graphic()) __builtin_trap();  // a failed load leaves the picture empty
    return 0;
  }
  TBitmap target(32, 32);
  TpgwGraphicFormats::Draw(target.Canvas(), *picture.Graphic(), Rect(0, 0, 32, 32), gqDefault);
  TpgwGraphicFormats::DrawExt(target.Canvas(), *picture.Graphic(), Rect(2, 2, 30, 20),
                              TpgwGraphicDrawFlags{fgdDefaultMaskColor}, clNone, gqHiQuality);
  return 0;
}
