// Integer device geometry of the drawing interface: points, sizes and rectangles in pixels.
// A rectangle's right and bottom edges are exclusive, as every canvas operation treats them.
#pragma once

#include <algorithm>
#include <cstdint>

namespace pagewright {

struct TPoint {
  int X = 0;
  int Y = 0;
  constexpr bool operator==(const TPoint&) const = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  constexpr bool operator==(const TSize&) const = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  constexpr bool operator==(const TRect&) const = default;
};

constexpr TPoint Point(int x, int y) {
  return TPoint{x, y};
}
constexpr TRect Rect(int left, int top, int right, int bottom) {
  return TRect{left, top, right, bottom};
}
constexpr TRect Bounds(int left, int top, int width, int height) {
  return TRect{left, top, left + width, top + height};
}

// The common part of two rectangles; empty (all zero) when they do not overlap.
inline TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) return TRect{};
  return r;
}

}  // namespace pagewright
