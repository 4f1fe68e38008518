// Two-dimensional symbols (QR Code, Data Matrix, PDF417, Aztec, and the GS1 forms of QR Code and
// Data Matrix) as a matrix of modules. The encoding is libzint's; this adapter gives the engine
// its own types and errors and keeps the library's header out of every other file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"
#include "platform/properties.h"

namespace pagewright {

enum TpgwBarcode2DType : uint8_t { b2QRCode, b2DataMatrix, b2GS1DataMatrix, b2GS1QRCode, b2PDF417, b2Aztec };

const TEnumInfo& Barcode2DTypeInfo();

// Data that the symbology cannot encode (wrong characters, too long, malformed GS1 element
// strings): the message says why.
PW_DECLARE_EXCEPTION(EBarcode2DError, Exception)

// The modules of a symbol without its quiet zone, row by row (true: dark).
struct TBarcode2DMatrix {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Dark;
  bool At(int x, int y) const { return Dark[static_cast<size_t>(y) * static_cast<size_t>(Width) + x] != 0; }
};

// Encodes UTF-8 text. GS1 types take element strings with parenthesised application identifiers,
// "(01)09506000134352(17)201225", as the linear GS1-128 type does. `errorLevel` 0 is the
// symbology's default; otherwise QR Code 1 to 4 (L, M, Q, H), PDF417 0 to 8 (as level + 1), Aztec
// 1 to 4; Data Matrix has none. Raises EBarcode2DError.
TBarcode2DMatrix EncodeBarcode2D(TpgwBarcode2DType type, std::string_view utf8, int errorLevel = 0);

// The light margin, in modules, each symbology asks for around the symbol.
int QuietZoneModules(TpgwBarcode2DType type);

}  // namespace pagewright
