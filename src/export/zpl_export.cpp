#include "export/zpl_export.h"

#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "render/bitmap.h"

namespace pagewright {

namespace {

// A run of one hexadecimal digit in ZPL's compression: G..Y repeat 1..19 times, g..z 20..400
// times (in twenties), combined as needed; a single digit needs no count.
void AppendRun(std::string& out, char digit, int count) {
  if (count == 1) {
    out += digit;
    return;
  }
  while (count > 0) {
    if (count >= 400) {
      out += 'z';
      count -= 400;
      if (count == 0) break;
      continue;
    }
    if (count >= 20) {
      out += static_cast<char>('g' + count / 20 - 1);
      count %= 20;
    }
    if (count > 0) out += static_cast<char>('G' + count - 1);
    count = 0;
  }
  out += digit;
}

}  // namespace

std::string ZPLLabel(const TBitmap& page) {
  const int w = page.Width(), h = page.Height();
  if (w <= 0 || h <= 0) throw EInvalidOperation("There is no page image to write");
  const int rowBytes = (w + 7) / 8;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3);
  std::string data, previous;
  static const char kHex[] = "0123456789ABCDEF";
  for (int y = 0; y < h; ++y) {
    page.ReadRowRGB(y, rgb.data());
    std::string hex(static_cast<size_t>(rowBytes) * 2, '0');
    for (int x = 0; x < w; ++x) {
      const int luminance = (rgb[3 * x] * 299 + rgb[3 * x + 1] * 587 + rgb[3 * x + 2] * 114) / 1000;
      if (luminance < 128) {
        const size_t nibble = static_cast<size_t>(x / 4);
        const int bit = 3 - x % 4;
        const int v = (hex[nibble] <= '9' ? hex[nibble] - '0' : hex[nibble] - 'A' + 10) | (1 << bit);
        hex[nibble] = kHex[v];
      }
    }
    // A row like the one before is ':'; a row that ends in white (or black) ends with ',' ('!').
    if (y > 0 && hex == previous) {
      data += ':';
      continue;
    }
    previous = hex;
    size_t end = hex.size();
    char fill = 0;
    if (hex.back() == '0' || hex.back() == 'F') {
      const char last = hex.back();
      while (end > 0 && hex[end - 1] == last) --end;
      fill = last == '0' ? ',' : '!';
    }
    for (size_t i = 0; i < end;) {
      size_t j = i;
      while (j < end && hex[j] == hex[i]) ++j;
      AppendRun(data, hex[i], static_cast<int>(j - i));
      i = j;
    }
    if (fill) data += fill;
  }
  const std::string total = std::to_string(static_cast<size_t>(rowBytes) * static_cast<size_t>(h));
  return "^XA\n^FO0,0^GFA," + total + "," + total + "," + std::to_string(rowBytes) + "," + data +
         "^FS\n^XZ\n";
}

TpgwZPLExport::TpgwZPLExport(TComponent* owner) : TpgwCustomImageExport(owner) {
  // The page is painted by the raster export; the picture format is not used for writing.
  SetPicFormatName("JPG");
  SetDefaultExt(u".zpl");
  SetResolution(203);
  SetSeparateFiles(true);
  // Thresholded to black and white, bars of uneven dots would not scan.
  SetWholePixelModules(true);
}

const TClassInfo& TpgwZPLExport::StaticClassInfo() {
  static const TClassInfo& info =
      Describe<TpgwZPLExport>("TpgwZPLExport").Parent<TpgwCustomImageExport>().Build();
  return info;
}

const TClassInfo& TpgwZPLExport::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwZPLExport::WriteBitmapToStream(TStream& stream) {
  TBitmap* page = Bitmap();
  if (!page) throw EInvalidOperation("There is no page image to write");
  const std::string label = ZPLLabel(*page);
  stream.WriteBuffer(label.data(), static_cast<int64_t>(label.size()));
}

}  // namespace pagewright
