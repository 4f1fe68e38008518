// Small helpers for pixel checks on test bitmaps.
#pragma once

#include <functional>
#include <string>

#include "render/bitmap.h"
#include "render/colors.h"

namespace pagewright::test {

// A white bitmap of the given size.
inline std::unique_ptr<TBitmap> WhiteBitmap(int w, int h) {
  return std::make_unique<TBitmap>(w, h);
}

inline bool IsWhite(const TBitmap& b, int x, int y) {
  return b.Pixel(x, y) == clWhite;
}

inline int CountIf(const TBitmap& b, const std::function<bool(TColor)>& pred) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += pred(b.Pixel(x, y)) ? 1 : 0;
  return n;
}

inline int CountNonWhite(const TBitmap& b) {
  return CountIf(b, [](TColor c) { return c != clWhite; });
}

// The bitmap as rows of characters: '.' white, '#' black, 'o' anything else (for messages).
inline std::string Picture(const TBitmap& b) {
  std::string s;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      TColor c = b.Pixel(x, y);
      s += c == clWhite ? '.' : c == clBlack ? '#' : 'o';
    }
    s += '\n';
  }
  return s;
}

}  // namespace pagewright::test
