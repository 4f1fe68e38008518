// The text object's layout with HTML tags: arbitrary bytes give the layout options, gaps, font,
// rectangle and alignment (a header of 12 bytes) and the source lines (the rest, UTF-8, one line
// per "\n"); the text is laid out, measured, split and drawn into a small bitmap.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/unicode.h"
#include "render/bitmap.h"
#include "render/draw_text.h"
#include "render/fonts.h"

using namespace pagewright;

namespace {
constexpr size_t kHeader = 12;
const char16_t* const kFaces[] = {u"Arial", u"Times New Roman", u"Courier New", u"DejaVu Sans"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader || size > 8192) return 0;
  const uint8_t* h = data;
  std::vector<WideString> lines;
  {
    const WideString text = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data + kHeader), size - kHeader));
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
      if (i == text.size() || text[i] == u'\n') {
        lines.push_back(text.substr(start, i - start));
        start = i + 1;
      }
  }
  const int rotations[] = {0, 90, 180, 270, 45, 0, 0, 0};
  TpgwDrawTextLock lock;
  TpgwDrawText dt;
  TFont font;
  font.SetName(kFaces[h[1] & 3]);
  font.SetSize(1 + (h[1] >> 2) % 40);
  font.SetStyle(TFontStyles::FromBits(h[2] & 15));
  dt.SetFont(font);
  dt.SetOptions(h[0] & 1, true, h[0] & 2, h[0] & 4, h[0] & 8, h[0] & 16, rotations[h[2] >> 5]);
  dt.SetGaps((h[3] % 32) - 8, (h[4] % 16) - 4, (h[5] % 32) - 4);
  const int width = 1 + h[6] * 2, height = 1 + h[7] * 2;
  const Extended scale = 0.25 + (h[8] % 16) * 0.25;
  const TRect original = Rect(0, 0, width, height);
  const TRect scaled = Rect(0, 0, static_cast<int>(width * scale), static_cast<int>(height * scale));
  dt.SetDimensions(scale, scale, 1, original, scaled);
  dt.SetText(lines, h[9] & 1, (h[9] >> 1) % 4);
  (void)dt.CalcHeight();
  (void)dt.CalcWidth();
  (void)dt.UnusedSpace();
  (void)dt.WrappedText();
  TBitmap bitmap(64, 64);
  dt.DrawText(bitmap.Canvas(), static_cast<TpgwHAlign>(h[10] % 4), static_cast<TpgwVAlign>((h[10] >> 2) % 3),
              static_cast<TpgwUnderlinesTextMode>((h[10] >> 4) % 4), (h[11] & 0x80) ? -1 : h[11] % 8);
  (void)dt.GetLineY();
  bool paraBreak = false;
  (void)dt.GetOutBoundsText(paraBreak);
  return 0;
}
