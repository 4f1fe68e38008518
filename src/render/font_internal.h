// Library handles behind a sized font, for the drawing and shaping code of the render folder.
// Only forward declarations of the libraries' types appear here; their headers stay in .cpp files.
#pragma once

#include "render/fonts.h"

struct hb_font_t;
struct _cairo_font_face;

namespace pagewright {

// The HarfBuzz font of the face, scaled to design units (advances come in font units).
hb_font_t* HarfBuzzFont(const TSizedFont& font);
// The Cairo font face that draws the face's glyphs (with bold or oblique synthesised as needed).
_cairo_font_face* CairoFontFace(const TSizedFont& font);

}  // namespace pagewright
