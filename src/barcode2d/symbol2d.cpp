#include "barcode2d/symbol2d.h"

#include <zint.h>

#include <cmath>
#include <memory>

namespace pagewright {

const TEnumInfo& Barcode2DTypeInfo() {
  static const TEnumInfo info("TpgwBarcode2DType", {"b2QRCode", "b2DataMatrix", "b2GS1DataMatrix",
                                                    "b2GS1QRCode", "b2PDF417", "b2Aztec"});
  return info;
}

namespace {

struct ZintDelete {
  void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

// libzint keeps a module per bit, eight to a byte, lowest bit first.
bool ModuleIsSet(const zint_symbol& s, int row, int column) {
  return (s.encoded_data[row][column >> 3] >> (column & 7)) & 1;
}

}  // namespace

TBarcode2DMatrix EncodeBarcode2D(TpgwBarcode2DType type, std::string_view utf8, int errorLevel) {
  if (utf8.empty()) throw EBarcode2DError("No data to encode");
  std::unique_ptr<zint_symbol, ZintDelete> symbol(ZBarcode_Create());
  if (!symbol) throw EOutOfMemory("Out of memory: a barcode symbol");
  zint_symbol& s = *symbol;
  // Per type: the symbology, whether the data are GS1 element strings, and the highest error
  // correction level the property may give (0: none to choose).
  struct TSymbology {
    int symbology;
    bool gs1;
    int maxLevel;
  };
  static constexpr TSymbology kSymbologies[] = {
      {BARCODE_QRCODE, false, 4},      {BARCODE_DATAMATRIX, false, 0}, {BARCODE_DATAMATRIX, true, 0},
      {BARCODE_QRCODE, true, 4},       {BARCODE_PDF417, false, 9},     {BARCODE_AZTEC, false, 4},
  };
  if (type > b2Aztec) throw EBarcode2DError("Unknown two-dimensional symbol type");
  const TSymbology& kind = kSymbologies[type];
  s.symbology = kind.symbology;
  s.input_mode = kind.gs1 ? GS1_MODE | GS1PARENS_MODE : UNICODE_MODE;
  if (errorLevel != 0) {
    if (errorLevel < 1 || errorLevel > kind.maxLevel)
      throw EBarcode2DError("Error correction level " + std::to_string(errorLevel) + " is not one of this symbol's");
    // PDF417 counts its levels from 0; the property's 0 means the default, so level n is n - 1.
    s.option_1 = type == b2PDF417 ? errorLevel - 1 : errorLevel;
  }
  const int result =
      ZBarcode_Encode(&s, reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
  // Warnings still give a valid symbol; errors give none.
  if (result >= ZINT_ERROR)
    throw EBarcode2DError(s.errtxt[0] ? std::string(s.errtxt) : "The data cannot be encoded");
  if (s.rows <= 0 || s.width <= 0) throw EBarcode2DError("The data gave no symbol");
  // Stacked symbols (PDF417) have rows several modules high.
  std::vector<int> rowHeights(static_cast<size_t>(s.rows), 1);
  if (s.symbology == BARCODE_PDF417)
    for (int r = 0; r < s.rows; ++r)
      rowHeights[static_cast<size_t>(r)] = std::max(1, static_cast<int>(std::lround(s.row_height[r])));
  TBarcode2DMatrix m;
  m.Width = s.width;
  for (int h : rowHeights) m.Height += h;
  m.Dark.assign(static_cast<size_t>(m.Width) * static_cast<size_t>(m.Height), 0);
  int y = 0;
  for (int r = 0; r < s.rows; ++r)
    for (int k = 0; k < rowHeights[static_cast<size_t>(r)]; ++k, ++y)
      for (int x = 0; x < s.width; ++x)
        m.Dark[static_cast<size_t>(y) * static_cast<size_t>(m.Width) + x] = ModuleIsSet(s, r, x) ? 1 : 0;
  return m;
}

int QuietZoneModules(TpgwBarcode2DType type) {
  switch (type) {
    case b2QRCode:
    case b2GS1QRCode:
      return 4;
    case b2PDF417:
      return 2;
    case b2DataMatrix:
    case b2GS1DataMatrix:
      return 1;
    case b2Aztec:
      return 0;
  }
  return 4;
}

}  // namespace pagewright
