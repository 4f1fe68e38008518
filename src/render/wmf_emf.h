// Windows metafiles (placeable) and enhanced metafiles, played onto our own recording metafile:
// the drawing records are translated into canvas calls; records that do not draw are skipped.
#pragma once

#include <cstdint>
#include <span>

#include "render/metafile.h"

namespace pagewright {

// Plays a placeable Windows metafile into the metafile, whose size becomes the picture's size
// in pixels at 96 per inch (from the header's bounds and units per inch). EInvalidGraphic when
// the header is not valid.
void PlayWindowsMetafile(std::span<const uint8_t> data, TMetafile& into);
// Plays an enhanced metafile; the size comes from the header's frame (hundredths of a
// millimetre) at 96 pixels per inch, or its bounds when the frame is empty.
void PlayEnhancedMetafile(std::span<const uint8_t> data, TMetafile& into);

}  // namespace pagewright
