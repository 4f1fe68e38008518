// Metafile playback of clipping regions, filled paths with holes, block transfers with raster
// operations and rotated text, checked on pixels of small metafiles built here record by record;
// and the area combinations of the canvas behind them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "pixel_helpers.h"
#include "render/bitmap.h"
#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/metafile.h"
#include "render/wmf_emf.h"

namespace pagewright {
namespace {

using Bytes = std::vector<uint8_t>;

void Add16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Add32(Bytes& b, uint32_t v) {
  Add16(b, v & 0xFFFF);
  Add16(b, v >> 16);
}
void Put32At(Bytes& b, size_t at, uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

// An enhanced metafile of 96 x 96 pixels whose logical units are the picture's pixels.
class EmfWriter {
 public:
  EmfWriter() {
    Add32(FData, 1);
    Add32(FData, 108);
    for (int v : {0, 0, 95, 95, 0, 0, 2540, 2540}) Add32(FData, static_cast<uint32_t>(v));
    Add32(FData, 0x464D4520);  // " EMF"
    Add32(FData, 0x10000);
    Add32(FData, 0);  // size, patched
    Add32(FData, 0);  // records, patched
    Add32(FData, 8);  // handles and reserved
    for (int v : {0, 0, 0, 960, 960, 254, 254, 0, 0, 0, 0, 0}) Add32(FData, static_cast<uint32_t>(v));
  }
  // A record of 32-bit words.
  EmfWriter& Rec(uint32_t type, std::initializer_list<int64_t> words) {
    Bytes body;
    for (int64_t w : words) Add32(body, static_cast<uint32_t>(w));
    return Raw(type, body);
  }
  EmfWriter& Raw(uint32_t type, Bytes body) {
    while (body.size() % 4) body.push_back(0);
    Add32(FData, type);
    Add32(FData, static_cast<uint32_t>(body.size() + 8));
    FData.insert(FData.end(), body.begin(), body.end());
    ++FRecords;
    return *this;
  }
  EmfWriter& Brush(int index, TColor colour) {
    Rec(39, {index, 0, colour, 0});  // CREATEBRUSHINDIRECT
    return Rec(37, {index});         // SELECTOBJECT
  }
  EmfWriter& NoPen() { return Rec(37, {0x80000008}); }
  EmfWriter& Rectangle(int l, int t, int r, int b) { return Rec(43, {l, t, r, b}); }
  // EXTSELECTCLIPRGN with the rectangles as region data.
  EmfWriter& ClipRegion(uint32_t mode, std::vector<TRect> rects) {
    Bytes body;
    Add32(body, static_cast<uint32_t>(32 + 16 * rects.size()));
    Add32(body, mode);
    for (uint32_t v : {32u, 1u, static_cast<uint32_t>(rects.size()), static_cast<uint32_t>(16 * rects.size()),
                       0u, 0u, 96u, 96u})
      Add32(body, v);
    for (const TRect& r : rects)
      for (int v : {r.Left, r.Top, r.Right, r.Bottom}) Add32(body, static_cast<uint32_t>(v));
    return Raw(75, body);
  }
  // A closed figure of the path.
  EmfWriter& Figure(std::vector<TPoint> pts) {
    Rec(27, {pts[0].X, pts[0].Y});
    for (size_t i = 1; i < pts.size(); ++i) Rec(54, {pts[i].X, pts[i].Y});
    return Rec(61, {});
  }
  Bytes Finish() {
    Rec(14, {0, 16, 20});
    Bytes out = FData;
    const uint32_t size = static_cast<uint32_t>(out.size()), records = FRecords;
    std::memcpy(out.data() + 48, &size, 4);
    std::memcpy(out.data() + 52, &records, 4);
    return out;
  }

 private:
  Bytes FData;
  uint32_t FRecords = 1;
};

// A placeable Windows metafile of 96 x 96 units at 96 per inch.
class WmfWriter {
 public:
  WmfWriter& Rec(uint16_t function, std::initializer_list<int> words) {
    Bytes params;
    for (int w : words) Add16(params, static_cast<uint16_t>(w));
    return Raw(function, params);
  }
  WmfWriter& Raw(uint16_t function, Bytes params) {
    if (params.size() % 2) params.push_back(0);
    Add32(FRecords, static_cast<uint32_t>(3 + params.size() / 2));
    Add16(FRecords, function);
    FRecords.insert(FRecords.end(), params.begin(), params.end());
    return *this;
  }
  Bytes Finish() {
    Rec(0, {});
    Bytes out;
    Add32(out, 0x9AC6CDD7);
    for (int v : {0, 0, 0, 96, 96, 96, 0, 0, 0}) Add16(out, static_cast<uint16_t>(v));
    Add16(out, 1);
    Add16(out, 9);
    Add16(out, 0x300);
    Add32(out, static_cast<uint32_t>(9 + FRecords.size() / 2));
    Add16(out, 4);
    Add32(out, 0);
    Add16(out, 0);
    out.insert(out.end(), FRecords.begin(), FRecords.end());
    return out;
  }

 private:
  Bytes FRecords;
};

// A 24-bit bottom-up DIB (info header and bits) of 2 x 2 pixels: red, green over blue, yellow.
Bytes Dib2x2() {
  Bytes b;
  for (uint32_t v : {40u, 2u, 2u}) Add32(b, v);
  Add16(b, 1);
  Add16(b, 24);
  for (int i = 0; i < 6; ++i) Add32(b, 0);
  const uint8_t rows[] = {0xFF, 0, 0,    0, 0xFF, 0xFF, 0, 0,   // bottom: blue, yellow
                          0,    0, 0xFF, 0, 0xFF, 0,    0, 0};  // top: red, green
  b.insert(b.end(), std::begin(rows), std::end(rows));
  return b;
}
constexpr size_t kDibHeader = 40;

// STRETCHDIBITS (xSrc, ySrc count from the bottom row) or STRETCHBLT (from the top row); the
// DIB's first infoSize bytes are its header and colour table.
Bytes StretchRecord(bool dibits, TRect dest, TRect src, uint32_t rop, const Bytes& dib, size_t infoSize = 40,
                    uint32_t usage = 0) {
  const size_t kDibHeader = infoSize;
  Bytes b;
  for (int v : {0, 0, 0, 0}) Add32(b, v);
  const uint32_t fixed = dibits ? 80 : 108;
  auto i32 = [&](int v) { Add32(b, static_cast<uint32_t>(v)); };
  if (dibits) {
    for (int v : {dest.Left, dest.Top, src.Left, src.Top, src.Width(), src.Height()}) i32(v);
    for (uint32_t v : {fixed, uint32_t(kDibHeader), fixed + uint32_t(kDibHeader),
                       uint32_t(dib.size() - kDibHeader), usage, rop})
      Add32(b, v);
    i32(dest.Width());
    i32(dest.Height());
  } else {
    for (int v : {dest.Left, dest.Top, dest.Width(), dest.Height()}) i32(v);
    Add32(b, rop);
    i32(src.Left);
    i32(src.Top);
    const float xf[6] = {1, 0, 0, 1, 0, 0};
    for (float f : xf) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      Add32(b, bits);
    }
    for (uint32_t v : {0u, usage, fixed, uint32_t(kDibHeader), fixed + uint32_t(kDibHeader),
                       uint32_t(dib.size() - kDibHeader)})
      Add32(b, v);
    i32(src.Width());
    i32(src.Height());
  }
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

// A 24-bit DIB of one colour, 2 x 2.
Bytes SolidDib(TColor c) {
  Bytes b = Dib2x2();
  for (size_t row = 0; row < 2; ++row)
    for (size_t x = 0; x < 2; ++x) {
      uint8_t* p = b.data() + kDibHeader + row * 8 + x * 3;
      p[0] = static_cast<uint8_t>(c >> 16), p[1] = static_cast<uint8_t>(c >> 8),
      p[2] = static_cast<uint8_t>(c);
    }
  return b;
}

std::unique_ptr<TBitmap> Render(const Bytes& bytes, bool wmf, TColor background = clWhite, int size = 96) {
  TMetafile mf;
  if (wmf)
    PlayWindowsMetafile(bytes, mf);
  else
    PlayEnhancedMetafile(bytes, mf);
  auto target = std::make_unique<TBitmap>(size, size);
  target->Canvas().Brush().SetColor(background);
  target->Canvas().FillRect(Rect(0, 0, size, size));
  mf.Draw(target->Canvas(), Rect(0, 0, size, size));
  return target;
}

struct Probe {
  int x, y;
  TColor colour;
};

void ExpectPixels(const TBitmap& b, const std::vector<Probe>& probes, const std::string& what) {
  for (const Probe& p : probes)
    EXPECT_EQ(b.Pixel(p.x, p.y), p.colour) << what << " at " << p.x << "," << p.y << "\n" << test::Picture(b);
}

constexpr uint32_t RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;

// ---- clipping ----

TEST(MetafileClipping, RegionsExclusionsPathsAndSavedStates) {
  struct Case {
    const char* what;
    std::function<void(EmfWriter&)> clip;
    std::vector<Probe> probes;  // after a red fill of the whole picture
  };
  const std::vector<Case> cases = {
      {"two rectangles",
       [](EmfWriter& w) {
         w.ClipRegion(RGN_COPY, {Rect(10, 10, 30, 30), Rect(60, 50, 90, 70)});
       },
       {{15, 15, clRed},
        {70, 60, clRed},
        {45, 40, clWhite},
        {5, 5, clWhite},
        {89, 69, clRed},
        {90, 70, clWhite}}},
      {"excluded rectangle",
       [](EmfWriter& w) {
         w.Rec(29, {20, 20, 40, 40});
       },
       {{30, 30, clWhite}, {10, 10, clRed}, {50, 50, clRed}, {19, 30, clRed}, {40, 30, clRed}}},
      {"intersection then union",
       [](EmfWriter& w) {
         w.Rec(30, {0, 0, 20, 20});
         w.ClipRegion(RGN_OR, {Rect(70, 70, 90, 90)});
       },
       {{10, 10, clRed}, {80, 80, clRed}, {40, 40, clWhite}}},
      {"xor of overlapping rectangles",
       [](EmfWriter& w) {
         w.ClipRegion(RGN_COPY, {Rect(10, 10, 50, 50)});
         w.ClipRegion(RGN_XOR, {Rect(30, 30, 70, 70)});
       },
       {{20, 20, clRed}, {40, 40, clWhite}, {60, 60, clRed}, {80, 80, clWhite}}},
      {"difference and intersection of regions",
       [](EmfWriter& w) {
         w.ClipRegion(RGN_DIFF, {Rect(0, 0, 96, 48)});
         w.ClipRegion(RGN_AND, {Rect(0, 0, 48, 96)});
       },
       {{20, 70, clRed}, {20, 20, clWhite}, {70, 70, clWhite}}},
      {"region copy without data removes clipping",
       [](EmfWriter& w) {
         w.Rec(30, {0, 0, 10, 10});
         w.Rec(75, {0, RGN_COPY});
       },
       {{50, 50, clRed}}},
      {"triangle path",
       [](EmfWriter& w) {
         w.Rec(59, {});
         w.Figure({Point(10, 10), Point(90, 10), Point(10, 90)});
         w.Rec(60, {});
         w.Rec(67, {RGN_COPY});
       },
       {{20, 20, clRed}, {80, 80, clWhite}, {60, 50, clWhite}, {40, 40, clRed}}},
      {"restored state",
       [](EmfWriter& w) {
         w.Rec(33, {});
         w.ClipRegion(RGN_COPY, {Rect(0, 0, 10, 10)});
         w.Rec(34, {-1});
       },
       {{50, 50, clRed}, {5, 5, clRed}}},
      {"state saved inside the clip",
       [](EmfWriter& w) {
         w.Rec(29, {40, 40, 60, 60});
         w.Rec(33, {});
         w.Rec(30, {0, 0, 10, 10});
         w.Rec(34, {-1});
       },
       {{50, 50, clWhite}, {80, 80, clRed}}},
  };
  for (const Case& c : cases) {
    EmfWriter w;
    c.clip(w);
    w.NoPen().Brush(1, clRed).Rectangle(0, 0, 96, 96);
    const auto b = Render(w.Finish(), false);
    ExpectPixels(*b, c.probes, c.what);
  }
}

TEST(MetafileClipping, WindowsMetafileRegionAndExcludedRectangle) {
  WmfWriter w;
  w.Rec(0x02FC, {0, 0x00FF, 0, 0});  // CREATEBRUSHINDIRECT: solid red
  w.Rec(0x012D, {0});
  w.Rec(0x012D, {0x0008});  // unknown index: ignored
  // CREATEREGION with two scans of one rectangle each.
  w.Rec(0x06FF, {0, 6, 0, 0, 0, 2, 2, 10, 10, 90, 80, 2, 10, 30, 10, 30, 2, 2, 50, 80, 60, 90, 2});
  w.Rec(0x012C, {1});               // SELECTCLIPREGION
  w.Rec(0x0415, {65, 90, 50, 70});  // EXCLUDECLIPRECT 70,50 .. 90,65 (bottom, right, top, left)
  w.Rec(0x041B, {96, 96, 0, 0});    // RECTANGLE
  const auto b = Render(w.Finish(), true);
  ExpectPixels(*b,
               {{20, 20, clRed},
                {65, 70, clRed},
                {80, 75, clRed},
                {80, 55, clWhite},
                {50, 40, clWhite},
                {5, 5, clWhite}},
               "WMF region");
}

// ---- paths and polygons with holes ----

std::vector<TPoint> Square(int l, int t, int r, int b, bool clockwise) {
  if (clockwise) return {Point(l, t), Point(r, t), Point(r, b), Point(l, b)};
  return {Point(l, t), Point(l, b), Point(r, b), Point(r, t)};
}

TEST(MetafilePaths, InnerContoursLeaveHolesByTheFillMode) {
  struct Case {
    const char* what;
    bool polyPolygon;  // POLYPOLYGON instead of a filled path
    uint32_t mode;     // 1 alternate, 2 winding
    bool innerClockwise;
    bool hole;
  };
  const Case cases[] = {
      {"path, alternate", false, 1, true, true},
      {"path, winding, same direction", false, 2, true, false},
      {"path, winding, opposite", false, 2, false, true},
      {"polypolygon, alternate", true, 1, true, true},
      {"polypolygon, winding, same", true, 2, true, false},
      {"polypolygon, winding, opposite", true, 2, false, true},
  };
  for (const Case& c : cases) {
    EmfWriter w;
    w.NoPen().Brush(1, clBlue).Rec(19, {c.mode});
    const auto outer = Square(10, 10, 86, 86, true), inner = Square(30, 30, 66, 66, c.innerClockwise);
    if (c.polyPolygon) {
      std::vector<int64_t> words{0, 0, 96, 96, 2, 8, 4, 4};
      for (const auto* poly : {&outer, &inner})
        for (TPoint p : *poly) words.push_back(p.X), words.push_back(p.Y);
      Bytes body;
      for (int64_t v : words) Add32(body, static_cast<uint32_t>(v));
      w.Raw(8, body);
    } else {
      w.Rec(59, {}).Figure(outer).Figure(inner).Rec(60, {}).Rec(62, {0, 0, 96, 96});
    }
    const auto b = Render(w.Finish(), false);
    ExpectPixels(*b, {{20, 20, clBlue}, {48, 48, c.hole ? clWhite : clBlue}, {90, 90, clWhite}}, c.what);
  }
}

// ---- block transfers ----

TEST(MetafileBlits, StretchedBitmapsKeepTheirRowsAndSourceOrigins) {
  struct Case {
    const char* what;
    bool dibits;
    TRect dest, src;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"2 x 2 scaled up",
       true,
       Rect(10, 10, 50, 50),
       Rect(0, 0, 2, 2),
       {{15, 15, clRed}, {45, 15, clLime}, {15, 45, clBlue}, {45, 45, clYellow}, {55, 55, clWhite}}},
      {"one pixel, source counted from the bottom row",
       true,
       Rect(10, 10, 50, 50),
       Rect(1, 0, 2, 1),
       {{30, 30, clYellow}}},
      {"one pixel, source counted from the top row",
       false,
       Rect(10, 10, 50, 50),
       Rect(1, 0, 2, 1),
       {{30, 30, clLime}}},
      {"mirrored by a negative width",
       false,
       Rect(50, 10, 10, 50),
       Rect(0, 0, 2, 2),
       {{15, 15, clLime}, {45, 15, clRed}, {15, 45, clYellow}}},
  };
  for (const Case& c : cases) {
    EmfWriter w;
    w.Raw(c.dibits ? 81 : 77, StretchRecord(c.dibits, c.dest, c.src, 0x00CC0020, Dib2x2()));
    ExpectPixels(*Render(w.Finish(), false), c.probes, c.what);
  }
  // The same through the Windows metafile record (source rows from the top).
  WmfWriter m;
  Bytes params;
  for (int v : {0x0020, 0x00CC, 2, 2, 0, 0, 40, 40, 10, 10}) Add16(params, static_cast<uint16_t>(v));
  const Bytes dib = Dib2x2();
  params.insert(params.end(), dib.begin(), dib.end());
  m.Raw(0x0B41, params);
  ExpectPixels(*Render(m.Finish(), true), {{15, 15, clRed}, {45, 45, clYellow}}, "WMF DIBSTRETCHBLT");
}

TEST(MetafileBlits, WindowsMetafileTransferRecords) {
  const Bytes dib = Dib2x2();
  auto withDib = [&](std::initializer_list<int> words) {
    Bytes b;
    for (int w : words) Add16(b, static_cast<uint16_t>(w));
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
  };
  struct Case {
    const char* what;
    std::function<void(WmfWriter&)> records;
    std::vector<Probe> probes;
  };
  const std::vector<Case> cases = {
      {"STRETCHDIB, source counted from the bottom row",
       [&](WmfWriter& w) {
         w.Raw(0x0F43, withDib({0x0020, 0x00CC, 0, 1, 1, 0, 1, 40, 40, 10, 10}));
       },
       {{30, 30, clYellow}}},
      {"DIBBITBLT one to one",
       [&](WmfWriter& w) {
         w.Raw(0x0940, withDib({0x0020, 0x00CC, 0, 0, 2, 2, 40, 40}));
       },
       {{40, 40, clRed}, {41, 40, clLime}, {41, 41, clYellow}, {42, 42, clWhite}}},
      {"DIBBITBLT without a bitmap, and PATBLT with the brush",
       [&](WmfWriter& w) {
         w.Rec(0x0940, {0x0042, 0x0000, 0, 0, 0, 20, 20, 10, 10});  // BLACKNESS
         w.Rec(0x02FC, {0, 0xFF00, 0, 0}).Rec(0x012D, {0});         // lime brush
         w.Rec(0x061D, {0x0021, 0x00F0, 20, 20, 50, 50});           // PATCOPY
       },
       {{15, 15, clBlack}, {60, 60, clLime}, {45, 45, clWhite}}},
  };
  for (const Case& c : cases) {
    WmfWriter w;
    c.records(w);
    ExpectPixels(*Render(w.Finish(), true), c.probes, c.what);
  }
}

TEST(MetafileBlits, RasterOperationsCombineSourceBrushAndWhatIsBelow) {
  // Left half drawn in D beforehand; the right half is not drawn (it shows the page, white).
  const TColor D = RGBColor(0xF0, 0x0F, 0x3C), S = RGBColor(0x33, 0x55, 0xFF), P = RGBColor(0x80, 0x80, 0x00);
  struct Case {
    const char* what;
    uint32_t rop;
    std::function<uint32_t(uint32_t, uint32_t, uint32_t)> f;  // of pattern, source, destination
  };
  const Case cases[] = {
      {"SRCCOPY", 0x00CC0020, [](uint32_t, uint32_t s, uint32_t) { return s; }},
      {"SRCPAINT", 0x00EE0086, [](uint32_t, uint32_t s, uint32_t d) { return s | d; }},
      {"SRCAND", 0x008800C6, [](uint32_t, uint32_t s, uint32_t d) { return s & d; }},
      {"SRCINVERT", 0x00660046, [](uint32_t, uint32_t s, uint32_t d) { return s ^ d; }},
      {"NOTSRCCOPY", 0x00330008, [](uint32_t, uint32_t s, uint32_t) { return ~s; }},
      {"PATCOPY", 0x00F00021, [](uint32_t p, uint32_t, uint32_t) { return p; }},
      {"DSTINVERT", 0x00550009, [](uint32_t, uint32_t, uint32_t d) { return ~d; }},
      {"BLACKNESS", 0x00000042, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
      {"WHITENESS", 0x00FF0062, [](uint32_t, uint32_t, uint32_t) { return 0xFFFFFFu; }},
  };
  for (const Case& c : cases) {
    EmfWriter w;
    w.NoPen().Brush(1, D).Rectangle(0, 0, 48, 96).Brush(2, P);
    w.Raw(77, StretchRecord(false, Rect(24, 24, 72, 72), Rect(0, 0, 2, 2), c.rop, SolidDib(S)));
    const auto b = Render(w.Finish(), false);
    const auto expect = [&](TColor d) { return static_cast<TColor>(c.f(P, S, d) & 0xFFFFFF); };
    ExpectPixels(*b, {{30, 30, expect(D)}, {60, 60, expect(clWhite)}, {10, 10, D}, {80, 80, clWhite}},
                 c.what);
  }
  // A mask and an image: outside the shape the page below stays visible, whatever its colour.
  EmfWriter w;
  Bytes mask = SolidDib(clWhite), image = SolidDib(clBlack);
  std::memset(mask.data() + kDibHeader + 8, 0, 3);  // top-left pixel black: the shape
  image[kDibHeader + 8 + 2] = 0xFF;                 // the image's top-left pixel red
  w.Raw(77, StretchRecord(false, Rect(20, 20, 60, 60), Rect(0, 0, 2, 2), 0x008800C6, mask));
  w.Raw(77, StretchRecord(false, Rect(20, 20, 60, 60), Rect(0, 0, 2, 2), 0x00EE0086, image));
  const TColor grey = RGBColor(0x80, 0x80, 0x80);
  ExpectPixels(*Render(w.Finish(), false, grey), {{30, 30, clRed}, {50, 50, grey}, {50, 30, grey}},
               "mask and image");
}

TEST(MetafileBlits, BitmapsOfEveryDepthAndEncoding) {
  struct Case {
    const char* what;
    int bpp;
    uint32_t compression, clrUsed, usage;
    Bytes table, bits;  // after the 40-byte header: colour table (or masks), then the one row
    TColor left, right;
  };
  const Case cases[] = {
      {"1 bit", 1, 0, 0, 0, {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}, {0x40, 0, 0, 0}, clRed, clBlue},
      {"4 bits, two colours",
       4,
       0,
       2,
       0,
       {0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0},
       {0x01, 0, 0, 0},
       clLime,
       clYellow},
      {"8 bits", 8, 0, 3, 0, {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0}, {2, 1, 0, 0}, clBlue, clLime},
      {"16 bits 5-5-5", 16, 0, 0, 0, {}, {0x00, 0x7C, 0x1F, 0x00}, clRed, clBlue},
      {"16 bits 5-6-5 fields",
       16,
       3,
       0,
       0,
       {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
       {0x00, 0xF8, 0xE0, 0x07},
       clRed,
       clLime},
      {"32 bits with stray alpha bytes",
       32,
       0,
       0,
       0,
       {},
       {0, 0, 0xFF, 0x00, 0xFF, 0, 0, 0x80},
       clRed,
       clBlue},
      {"8 bits run-length", 8, 1, 2, 0, {0, 0, 0xFF, 0, 0, 0xFF, 0, 0}, {2, 1, 0, 1}, clLime, clLime},
      {"palette indexes", 1, 0, 0, 1, {13, 0, 16, 0}, {0x40, 0, 0, 0}, clRed, clBlue},
  };
  for (const Case& c : cases) {
    Bytes dib;
    for (uint32_t v : {40u, 2u, 1u}) Add32(dib, v);
    Add16(dib, 1);
    Add16(dib, static_cast<uint32_t>(c.bpp));
    for (uint32_t v : {c.compression, uint32_t(c.bits.size()), 0u, 0u, c.clrUsed, 0u}) Add32(dib, v);
    dib.insert(dib.end(), c.table.begin(), c.table.end());
    const size_t info = dib.size();
    dib.insert(dib.end(), c.bits.begin(), c.bits.end());
    EmfWriter w;
    w.Raw(81, StretchRecord(true, Rect(10, 10, 50, 30), Rect(0, 0, 2, 1), 0x00CC0020, dib, info, c.usage));
    ExpectPixels(*Render(w.Finish(), false), {{20, 20, c.left}, {40, 20, c.right}, {60, 20, clWhite}},
                 c.what);
  }
}

// ---- rotated text ----

// The box around the dark pixels.
TRect Ink(const TBitmap& b) {
  TRect box{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor p = b.Pixel(x, y);
      if (GetRValue(p) < 100 && GetGValue(p) < 100 && GetBValue(p) < 100)
        box = Rect(std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1),
                   std::max(box.Bottom, y + 1));
    }
  return box;
}

Bytes EmfText(int escapement, uint32_t align, TPoint at, std::vector<std::u16string> runs) {
  EmfWriter w;
  Bytes font;
  for (int v : {1, -20, 0, escapement, escapement, 400, 0, 0}) Add32(font, static_cast<uint32_t>(v));
  for (char16_t c : std::u16string(u"Arial")) Add16(font, c);
  font.resize(4 + 92, 0);
  w.Raw(82, font).Rec(37, {1}).Rec(18, {1}).Rec(22, {align}).Rec(27, {at.X, at.Y});
  for (const auto& text : runs) {
    Bytes t;
    for (int v : {0, 0, 0, 0, 1, 0, 0, at.X, at.Y}) Add32(t, static_cast<uint32_t>(v));
    Add32(t, static_cast<uint32_t>(text.size()));
    Add32(t, 76);
    for (int v : {0, 0, 0, 0, 0, 0}) Add32(t, static_cast<uint32_t>(v));
    for (char16_t c : text) Add16(t, c);
    w.Raw(84, t);
  }
  return w.Finish();
}

TEST(MetafileText, EscapementTurnsTheTextAroundItsAlignedReferencePoint) {
  constexpr uint32_t TA_TOP = 0, TA_BASELINE = 24, TA_RIGHT = 2, TA_CENTER = 6, TA_UPDATECP = 1;
  struct Case {
    const char* what;
    uint32_t align;
    TPoint at;
    std::vector<std::u16string> runs;
    std::function<void(const TRect&)> check;
  };
  const std::vector<Case> cases = {
      {"baseline, left: runs up from the point, glyphs to its left",
       TA_BASELINE,
       Point(50, 85),
       {u"HHHH"},
       [](const TRect& r) {
         EXPECT_LE(r.Right, 51);
         EXPECT_GE(r.Left, 30);
         EXPECT_LE(r.Bottom, 86);
         EXPECT_GE(r.Top, 10);
         EXPECT_GT(r.Height(), 2 * r.Width());
       }},
      {"top, left: glyphs to the right of the point",
       TA_TOP,
       Point(20, 85),
       {u"HHHH"},
       [](const TRect& r) {
         EXPECT_GE(r.Left, 20);
         EXPECT_LE(r.Right, 42);
         EXPECT_LE(r.Bottom, 86);
       }},
      {"baseline, right: the text ends at the point",
       TA_BASELINE | TA_RIGHT,
       Point(50, 10),
       {u"HHHH"},
       [](const TRect& r) {
         EXPECT_GE(r.Top, 9);
         EXPECT_GT(r.Bottom, 50);
         EXPECT_LE(r.Right, 51);
       }},
      {"baseline, centre: centred on the point",
       TA_BASELINE | TA_CENTER,
       Point(50, 48),
       {u"HHHH"},
       [](const TRect& r) { EXPECT_NEAR((r.Top + r.Bottom) / 2.0, 48, 3); }},
      {"current position: the second run continues upwards",
       TA_BASELINE | TA_UPDATECP,
       Point(50, 85),
       {u"HH", u"HH"},
       [](const TRect& r) {
         EXPECT_LE(r.Bottom, 86);
         EXPECT_GE(r.Top, 10);
         EXPECT_GT(r.Height(), 40);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto b = Render(EmfText(900, c.align, c.at, c.runs), false);
    const TRect ink = Ink(*b);
    ASSERT_FALSE(ink.IsEmpty()) << test::Picture(*b);
    c.check(ink);
  }
  // The Windows metafile's font and text records turn the same way.
  WmfWriter w;
  Bytes font;
  for (int v : {-20, 0, 900, 900, 400, 0, 0, 0, 0}) Add16(font, static_cast<uint16_t>(v));
  for (char ch : std::string("Arial")) font.push_back(static_cast<uint8_t>(ch));
  font.push_back(0);
  w.Raw(0x02FB, font).Rec(0x012D, {0}).Rec(0x0102, {1}).Rec(0x012E, {TA_BASELINE});
  Bytes text;
  Add16(text, 4);
  for (char ch : std::string("HHHH")) text.push_back(static_cast<uint8_t>(ch));
  Add16(text, 85);
  Add16(text, 50);
  w.Raw(0x0521, text);
  const auto b = Render(w.Finish(), true);
  const TRect ink = Ink(*b);
  EXPECT_LE(ink.Right, 51);
  EXPECT_GT(ink.Height(), 2 * ink.Width()) << test::Picture(*b);
}

// ---- areas of the canvas ----

TEST(CanvasAreas, CombinationsAreDisjointPiecesOfTheRightSize) {
  const TArea a = TArea::FromRect(Rect(10, 10, 50, 50)), b = TArea::FromRect(Rect(30, 30, 70, 70));
  const struct {
    TAreaOp op;
    int pixels;
  } cases[] = {{aoAnd, 400}, {aoOr, 2800}, {aoXor, 2400}, {aoDiff, 1200}, {aoCopy, 1600}};
  for (const auto& c : cases) {
    const TArea result = CombineAreas(a, b, c.op);
    // Disjoint pieces fill the same by either rule.
    for (TPolyFillMode mode : {pfmAlternate, pfmWinding}) {
      TBitmap bmp(80, 80);
      bmp.Canvas().Pen().SetStyle(psClear);
      bmp.Canvas().Brush().SetColor(clBlack);
      bmp.Canvas().PolyPolygon(result.contours, mode);
      EXPECT_EQ(test::CountNonWhite(bmp), c.pixels) << int(c.op) << " " << int(mode) << "\n"
                                                    << test::Picture(bmp);
    }
  }
}

TEST(CanvasAreas, StarFillsItsCentreOnlyByTheWindingRule) {
  const std::vector<std::vector<TPoint>> star{
      {Point(40, 4), Point(61, 70), Point(5, 29), Point(75, 29), Point(19, 70)}};
  for (TPolyFillMode mode : {pfmAlternate, pfmWinding}) {
    TBitmap direct(80, 80);
    direct.Canvas().Brush().SetColor(clBlack);
    direct.Canvas().Pen().SetStyle(psClear);
    direct.Canvas().PolyPolygon(star, mode);
    // Recorded in a metafile and replayed at twice the size.
    TMetafile mf(80, 80);
    mf.Canvas().Brush().SetColor(clBlack);
    mf.Canvas().Pen().SetStyle(psClear);
    mf.Canvas().PolyPolygon(star, mode);
    TBitmap scaled(160, 160);
    mf.Draw(scaled.Canvas(), Rect(0, 0, 160, 160));
    const TColor centre = mode == pfmWinding ? clBlack : clWhite;
    EXPECT_EQ(direct.Pixel(40, 40), centre) << test::Picture(direct);
    EXPECT_EQ(scaled.Pixel(80, 80), centre);
    EXPECT_EQ(direct.Pixel(40, 12), clBlack);  // a point of the star
    EXPECT_EQ(scaled.Pixel(80, 24), clBlack);
  }
}

// ---- malformed records ----

TEST(MetafileRecords, MalformedRegionsAndBitmapsAreSkipped) {
  EmfWriter w;
  w.Rec(75, {0x7FFFFFF0, RGN_AND, 32, 1, 0x7FFFFFFF});       // region size beyond the record
  w.Rec(75, {48, 9, 32, 1, 1, 16, 0, 0, 9, 9, 0, 0, 9, 9});  // unknown mode
  Bytes lying = StretchRecord(true, Rect(0, 0, 96, 96), Rect(0, 0, 2, 2), 0x00CC0020, Dib2x2());
  Put32At(lying, 40, 0xFFFFFF00);  // bitmap offset far away
  w.Raw(81, lying);
  Bytes huge = StretchRecord(true, Rect(0, 0, 96, 96), Rect(0, 0, 2, 2), 0x00CC0020, Dib2x2());
  Put32At(huge, 80 - 8 + 4, 30000);  // 30000 x 2 pixels claimed
  w.Raw(81, huge);
  w.Rec(67, {RGN_AND});  // clip to a path that is not there
  w.NoPen().Brush(1, clRed).Rectangle(0, 0, 96, 96);
  const auto b = Render(w.Finish(), false);
  EXPECT_EQ(b->Pixel(48, 48), clRed) << "the broken records change nothing\n" << test::Picture(*b);
}

}  // namespace
}  // namespace pagewright
