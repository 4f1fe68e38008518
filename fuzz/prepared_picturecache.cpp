// The picture cache of a saved prepared report: arbitrary bytes are read as an XML document,
// the cache loads its "picturecache" and "thumbnailcache" sections from the root, and every
// index it then holds is decoded, sized and shared. Unreadable entries give no picture.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/exceptions.h"
#include "prepared/picture_cache.h"
#include "render/graphic_formats.h"
#include "storage/xml_document.h"

using namespace pagewright;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    RegisterGraphicFormats();
    return true;
  }();
  (void)initialised;
  if (size > 512 * 1024) return 0;
  TpgwXMLDocument doc;
  try {
    doc.LoadFromString(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const Exception&) {
    return 0;
  }
  TpgwPictureCache cache;
  try {
    cache.LoadFromXML(*doc.Root());
  } catch (const Exception&) {
    return 0;
  }
  const int count = std::min(cache.PictureCache().Count(), 64);
  for (int i = 0; i <= count + 1; ++i) {
    try {
      std::unique_ptr<TGraphic> graphic = cache.GetGraphic(i);
      if (graphic) (void)graphic->Width();
      TPicture picture;
      (void)cache.GetPicture(picture, i);
      int w = 0, h = 0;
      cache.GetPictureSize(cgOriginal, i, w, h);
      cache.GetPictureSize(cgThumbnail, i, w, h);
      std::shared_ptr<TpgwAutoRefGraphic> a = cache.GetCachedBitmap(cgOriginal, i);
      std::shared_ptr<TpgwAutoRefGraphic> b = cache.GetCachedBitmap(cgThumbnail, i);
    } catch (const Exception&) {
    }
  }
  return 0;
}
