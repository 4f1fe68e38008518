// Drawing of an encoded barcode: the bars laid out in module units, the human-readable text in
// a band under them, the whole turned by the encoder's angle and stretched onto a rectangle.
#pragma once

#include <string>
#include <vector>

#include "barcode/barcode.h"
#include "platform/types.h"
#include "render/canvas.h"
#include "render/fonts.h"

namespace pagewright {

// One piece of the human-readable line, in module units of the unturned symbol: the text is
// written with its left edge at X; the band from ClearFrom to ClearTo (right edge excluded) is
// painted in the space colour first. A spread piece is written character by character with
// equal gaps so that it fills the cleared band.
struct TpgwBarcodeTextPiece {
  WideString Text;
  int X = 0;
  int ClearFrom = 0;
  int ClearTo = 0;
  bool Spread = false;
};

// The drawing font of the encoder's font description, turned by `angle` degrees.
TFont BarcodeDrawingFont(const TpgwBarcodeFont& font, int angle);

// The angle reduced to 0, 90, 180 or 270 (the nearest of them).
int BarcodeQuarterAngle(double angle);

// The text the symbol shows under its bars, as one line (the Code 128 family without its
// escapes, Codabar without its start and stop selectors, the EAN and UPC digits as encoded, the
// encoder's text otherwise). The encoder must have encoded its text (Width or
// BuildElementPattern) before.
std::string BarcodeDisplayText(const TpgwBarcode& barcode);

// The text pieces for an encoded pattern; widths measured with `font`. `pattern` is what
// BuildElementPattern returned and `W` the encoder's Width.
std::vector<TpgwBarcodeTextPiece> BarcodeTextPieces(const TpgwBarcode& barcode, const std::string& pattern,
                                                    int W, const TFont& font);

// Draws the encoder's symbol into `rect` of `canvas`: the module layout starts one module in,
// the bars fill the height less the text band (when showText), and the whole is turned by the
// encoder's Angle (counterclockwise, like the font's escapement) so that the text stays on the
// outside. Unless directToEMF, the drawing is recorded in module units and the recording is
// stretched onto rect; with directToEMF it is drawn at rect's top-left corner, one pixel per
// module. The screen scale factors size the platform's metafile in screen pixels; recordings
// here are in module units, so the stretch alone maps them. Throws what the encoder throws.
void DrawBarcode(TpgwBarcode& barcode, TCanvas& canvas, const TRect& rect, bool showText, Extended scaleDPIX,
                 Extended scaleDPIY, bool directToEMF);

}  // namespace pagewright
