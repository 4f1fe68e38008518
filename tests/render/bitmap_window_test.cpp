// A bitmap that is a window onto a larger picture: drawing the picture window by window gives
// the pixels of one bitmap of the whole picture.
#include "render/bitmap.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/colors.h"

namespace pagewright {
namespace {

// A 24-bit picture with sharp colour edges and alpha at the border, to be scaled.
std::unique_ptr<TBitmap> Source(bool alpha) {
  auto b = std::make_unique<TBitmap>();
  if (alpha) b->SetPixelFormat(pf32bit);
  b->SetSize(37, 23);
  std::vector<uint8_t> row(37 * 4);
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      uint8_t* p = &row[static_cast<size_t>(x) * 4];
      p[0] = static_cast<uint8_t>(x < 18 ? 230 : 20);
      p[1] = static_cast<uint8_t>((x * 7 + y * 11) % 256);
      p[2] = static_cast<uint8_t>(y < 11 ? 40 : 210);
      p[3] = static_cast<uint8_t>(x == 0 || y == 0 || x == 36 || y == 22 ? 90 : 255);
    }
    b->WriteRowRGBA(y, row.data());
  }
  return b;
}

using Drawing = std::function<void(TCanvas&)>;

// The picture drawn on one bitmap, and window by window (rows high each), as RGB rows.
std::vector<uint8_t> Whole(int w, int h, const Drawing& draw) {
  TBitmap b(w, h);
  draw(b.Canvas());
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) b.ReadRowRGB(y, out.data() + static_cast<size_t>(y) * w * 3);
  return out;
}

std::vector<uint8_t> InWindows(int w, int h, int rows, const Drawing& draw) {
  TBitmap b(w, rows);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
  for (int top = 0; top < h; top += rows) {
    b.SetWindow(0, top, w, h);
    draw(b.Canvas());
    for (int y = top; y < h && y < top + rows; ++y)
      b.ReadRowRGB(y - top, out.data() + static_cast<size_t>(y) * w * 3);
  }
  return out;
}

TEST(BitmapWindow, WindowsGiveThePixelsOfTheWholePicture) {
  auto opaque = Source(false), alpha = Source(true);
  auto stretch = [](const TBitmap& src, TRect r, bool smooth, std::function<void(TCanvas&)> clip = {}) {
    return [&src, r, smooth, clip](TCanvas& c) {
      if (clip) clip(c);
      c.SetStretchSmooth(smooth);
      c.StretchDraw(r, src);
    };
  };
  struct Case {
    const char* name;
    Drawing draw;
  } cases[] = {
      {"picture enlarged", stretch(*opaque, Rect(5, 3, 150, 97), false)},
      {"picture enlarged smoothly", stretch(*opaque, Rect(5, 3, 150, 97), true)},
      {"picture reduced smoothly", stretch(*opaque, Rect(7, 9, 27, 21), true)},
      {"picture with alpha, smoothly", stretch(*alpha, Rect(2, 4, 111, 90), true)},
      {"picture mirrored", stretch(*opaque, Rect(150, 97, 5, 3), true)},
      {"picture under an elliptic clip", stretch(*alpha, Rect(0, 0, 160, 100), true,
                                                 [](TCanvas& c) {
                                                   TClipShape s;
                                                   s.kind = TClipShape::ckEllipse;
                                                   s.rect = Rect(10, 5, 140, 93);
                                                   c.IntersectClipShape(s);
                                                 })},
      {"part of a picture reaching beyond it",
       [&](TCanvas& c) {
         c.SetStretchSmooth(true);
         c.CopyRect(Rect(3, 2, 140, 91), *opaque, Rect(-5, 4, 40, 30));
       }},
      {"hatched ellipse",
       [](TCanvas& c) {
         c.Brush().SetStyle(bsDiagCross);
         c.Brush().SetColor(clRed);
         c.Pen().SetWidth(3);
         c.Ellipse(4, 6, 150, 95);
       }},
      {"text",
       [](TCanvas& c) {
         c.Font().SetName(u"Arial");
         c.Font().SetHeight(-37);
         c.Font().SetOrientation(150);
         c.TextOut(10, 60, u"Strip edges");
       }},
      {"dashed polyline",
       [](TCanvas& c) {
         c.Pen().SetStyle(psDashDot);
         const TPoint pts[] = {{3, 2}, {150, 40}, {20, 97}, {140, 95}};
         c.Polyline(pts);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> whole = Whole(160, 100, c.draw);
    for (int rows : {1, 7, 64})
      EXPECT_TRUE(InWindows(160, 100, rows, c.draw) == whole) << rows << " rows a window";
  }
}

// The canvas of a window reports the whole picture's size, and each window starts afresh.
TEST(BitmapWindow, CanvasSeesTheWholePicture) {
  TBitmap b(30, 5);
  b.Canvas().Brush().SetColor(clRed);
  b.SetWindow(0, 10, 30, 40);
  TCanvas& c = b.Canvas();
  EXPECT_EQ(c.GetDeviceCaps(HORZRES), 30);
  EXPECT_EQ(c.GetDeviceCaps(VERTRES), 40);
  EXPECT_EQ(c.ClipRect(), Rect(0, 0, 30, 40));
  EXPECT_EQ(c.Brush().Color(), clWhite);
  EXPECT_EQ(b.Pixel(3, 3), clWhite);
  c.Brush().SetColor(clBlue);
  c.FillRect(Rect(0, 12, 30, 13));
  EXPECT_EQ(b.Pixel(5, 2), clBlue);
  EXPECT_EQ(b.Pixel(5, 1), clWhite);
  EXPECT_EQ(b.Pixel(5, 3), clWhite);
}

}  // namespace
}  // namespace pagewright
