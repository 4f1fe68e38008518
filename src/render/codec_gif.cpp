// GIF reading (GIF87a and GIF89a): colour tables, LZW image data, interlacing, the transparent
// index and frame disposal. Every frame is composed onto the logical screen and the screens are
// laid side by side into one strip.
#include <algorithm>
#include <cstring>
#include <vector>

#include "render/colors.h"
#include "render/graphic_formats.h"
#include "render/picture_codecs.h"

namespace pagewright {

namespace {

[[noreturn]] void Bad() {
  throw EInvalidGraphic("GIF image is not valid");
}

// The image data's sub-blocks joined.
std::vector<uint8_t> ReadSubBlocks(TByteReader& r) {
  std::vector<uint8_t> out;
  for (;;) {
    const uint8_t n = r.U8();
    if (n == 0) break;
    auto b = r.Bytes(n);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

void SkipSubBlocks(TByteReader& r) {
  for (;;) {
    const uint8_t n = r.U8();
    if (n == 0) break;
    r.Skip(n);
  }
}

// Decodes LZW data into exactly count indexes (missing ones stay 0). A code beyond the table
// is an error.
std::vector<uint8_t> DecodeLZW(const std::vector<uint8_t>& data, int minCodeSize, size_t count) {
  if (minCodeSize < 2 || minCodeSize > 11) Bad();
  std::vector<uint8_t> out;
  out.reserve(count);
  const int clear = 1 << minCodeSize, end = clear + 1;
  uint16_t prefix[4096];
  uint8_t suffix[4096];
  uint8_t first[4096];
  for (int i = 0; i < clear; ++i) {
    prefix[i] = 0xFFFF;
    suffix[i] = static_cast<uint8_t>(i);
    first[i] = static_cast<uint8_t>(i);
  }
  int codeSize = minCodeSize + 1, next = clear + 2, previous = -1;
  uint32_t bits = 0;
  int bitCount = 0;
  size_t pos = 0;
  uint8_t stack[4097];
  while (out.size() < count) {
    while (bitCount < codeSize) {
      if (pos >= data.size()) {
        out.resize(count, 0);
        return out;
      }
      bits |= uint32_t{data[pos++]} << bitCount;
      bitCount += 8;
    }
    const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
    bits >>= codeSize;
    bitCount -= codeSize;
    if (code == clear) {
      codeSize = minCodeSize + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == end) break;
    if (code > next || (code == next && previous < 0)) Bad();
    int depth = 0;
    int c = code;
    if (code == next) {  // the string of the previous code plus its first character
      stack[depth++] = first[previous];
      c = previous;
    }
    while (c >= clear) {
      if (depth >= 4096) Bad();
      stack[depth++] = suffix[c];
      c = prefix[c];
    }
    stack[depth++] = static_cast<uint8_t>(c);
    while (depth > 0 && out.size() < count) out.push_back(stack[--depth]);
    if (previous >= 0 && next < 4096) {
      prefix[next] = static_cast<uint16_t>(previous);
      suffix[next] = static_cast<uint8_t>(c);
      first[next] = first[previous];
      ++next;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    previous = code;
  }
  out.resize(count, 0);
  return out;
}

std::vector<uint32_t> ReadColorTable(TByteReader& r, int flags) {
  const size_t n = size_t{2} << (flags & 7);
  std::vector<uint32_t> table(256, 0);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t red = r.U8(), green = r.U8(), blue = r.U8();
    table[i] = (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
  }
  return table;
}

}  // namespace

TGIFImageData DecodeGIF(std::span<const uint8_t> data) {
  try {
    TByteReader r(data);
    r.Skip(6);
    int screenW = r.U16LE(), screenH = r.U16LE();
    const uint8_t flags = r.U8();
    r.Skip(2);
    std::vector<uint32_t> global;
    if (flags & 0x80) global = ReadColorTable(r, flags);

    struct Frame {
      std::vector<uint32_t> pixels;  // 0xAARRGGBB, screen size
    };
    std::vector<Frame> frames;
    std::vector<uint32_t> screen;
    int transparentIndex = -1, disposal = 0;
    TColor firstTransparent = clNone;
    // Data that cannot fill more pixels than this is lying about its size.
    const int64_t maxPixels = static_cast<int64_t>(data.size()) * 4096;
    int64_t stripPixels = 0;
    bool done = false;
    while (!done && !r.AtEnd()) {
      const uint8_t block = r.U8();
      if (block == 0x3B) break;
      if (block == 0x21) {
        const uint8_t label = r.U8();
        if (label == 0xF9) {
          const uint8_t n = r.U8();
          auto b = r.Bytes(n);
          if (n >= 4) {
            disposal = (b[0] >> 2) & 7;
            transparentIndex = (b[0] & 1) ? b[3] : -1;
          }
          SkipSubBlocks(r);
        } else {
          SkipSubBlocks(r);
        }
        continue;
      }
      if (block != 0x2C) Bad();
      const int left = r.U16LE(), top = r.U16LE(), w = r.U16LE(), h = r.U16LE();
      const uint8_t imageFlags = r.U8();
      std::vector<uint32_t> local;
      if (imageFlags & 0x80) local = ReadColorTable(r, imageFlags);
      const std::vector<uint32_t>& table = (imageFlags & 0x80) ? local : global;
      const int minCode = r.U8();
      const std::vector<uint8_t> lzw = ReadSubBlocks(r);
      if (frames.empty()) {
        if (screenW == 0 || screenH == 0) {
          screenW = left + w;
          screenH = top + h;
        }
        CheckPictureSize(screenW, screenH, maxPixels);
        screen.assign(static_cast<size_t>(screenW) * screenH, 0);
      }
      if (stripPixels + int64_t{screenW} * screenH > kMaxPicturePixels) break;  // enough frames
      if (w == 0 || h == 0) continue;
      if (int64_t{w} * h > maxPixels) Bad();
      const std::vector<uint8_t> indexes = DecodeLZW(lzw, minCode, static_cast<size_t>(w) * h);
      if (frames.empty() && transparentIndex >= 0 && !table.empty()) {
        const uint32_t c = table[static_cast<size_t>(transparentIndex)];
        firstTransparent =
            RGBColor(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c));
      }
      const std::vector<uint32_t> before = disposal == 3 ? screen : std::vector<uint32_t>{};
      // Row order of interlaced images: every 8th from 0, every 8th from 4, every 4th from 2, odd rows.
      std::vector<int> rows;
      rows.reserve(static_cast<size_t>(h));
      if (imageFlags & 0x40) {
        for (int y = 0; y < h; y += 8) rows.push_back(y);
        for (int y = 4; y < h; y += 8) rows.push_back(y);
        for (int y = 2; y < h; y += 4) rows.push_back(y);
        for (int y = 1; y < h; y += 2) rows.push_back(y);
      } else {
        for (int y = 0; y < h; ++y) rows.push_back(y);
      }
      for (int i = 0; i < h; ++i) {
        const int sy = top + rows[static_cast<size_t>(i)];
        if (sy >= screenH) continue;
        for (int x = 0; x < w; ++x) {
          const int sx = left + x;
          if (sx >= screenW) break;
          const uint8_t index = indexes[static_cast<size_t>(i) * w + x];
          if (index == transparentIndex) continue;
          screen[static_cast<size_t>(sy) * screenW + sx] = 0xFF000000u | (table.empty() ? 0 : table[index]);
        }
      }
      frames.push_back({screen});
      stripPixels += int64_t{screenW} * screenH;
      if (disposal == 2) {
        for (int y = top; y < std::min(screenH, top + h); ++y)
          for (int x = left; x < std::min(screenW, left + w); ++x)
            screen[static_cast<size_t>(y) * screenW + x] = 0;
      } else if (disposal == 3) {
        screen = before;
      }
      transparentIndex = -1;
      disposal = 0;
    }
    if (frames.empty()) Bad();

    TGIFImageData result;
    result.frameWidth = screenW;
    result.frameHeight = screenH;
    result.frameCount = static_cast<int>(frames.size());
    result.transparentColor = firstTransparent;
    result.strip = std::make_unique<TBitmap>();
    result.strip->SetPixelFormat(pf32bit);
    result.strip->SetSize(screenW * result.frameCount, screenH);
    std::vector<uint8_t> row(static_cast<size_t>(screenW) * result.frameCount * 4);
    for (int y = 0; y < screenH; ++y) {
      size_t o = 0;
      for (const Frame& f : frames) {
        const uint32_t* p = f.pixels.data() + static_cast<size_t>(y) * screenW;
        for (int x = 0; x < screenW; ++x) {
          row[o++] = static_cast<uint8_t>(p[x] >> 16);
          row[o++] = static_cast<uint8_t>(p[x] >> 8);
          row[o++] = static_cast<uint8_t>(p[x]);
          row[o++] = static_cast<uint8_t>(p[x] >> 24);
        }
      }
      result.strip->WriteRowRGBA(y, row.data());
    }
    return result;
  } catch (const EReadError&) {
    Bad();
  }
}

}  // namespace pagewright
