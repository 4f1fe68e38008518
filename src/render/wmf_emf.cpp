#include "render/wmf_emf.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/picture_codecs.h"
#include "render/wmf_emf_playback.h"

// The entry points: headers, picture size and the record loops. The records themselves are
// played by wmf_records.cpp and emf_records.cpp onto the player (wmf_emf_player.cpp).

namespace pagewright {

namespace wmf_emf {

[[noreturn]] void Bad() {
  throw EInvalidGraphic("Metafile is not valid");
}

std::u16string Latin1(std::span<const uint8_t> bytes) {
  std::u16string s;
  for (uint8_t b : bytes) s.push_back(b);
  return s;
}

WideString FaceName(std::span<const uint8_t> bytes, bool wide) {
  WideString s;
  if (wide) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
      if (!c) break;
      s.push_back(c);
    }
  } else {
    for (uint8_t b : bytes) {
      if (!b) break;
      s.push_back(b);
    }
  }
  return s;
}

}  // namespace wmf_emf

using wmf_emf::Bad;
using wmf_emf::Player;

void PlayWindowsMetafile(std::span<const uint8_t> data, TMetafile& into) {
  try {
    TByteReader r(data);
    if (r.U32LE() != 0x9AC6CDD7u) Bad();
    r.U16LE();
    const int left = r.I16LE(), top = r.I16LE(), right = r.I16LE(), bottom = r.I16LE();
    int inch = r.U16LE();
    r.Skip(6);
    if (inch == 0) inch = 1440;
    const double bw = std::abs(right - left), bh = std::abs(bottom - top);
    const int64_t w = static_cast<int64_t>(RoundHalfEven(bw * 96 / inch));
    const int64_t h = static_cast<int64_t>(RoundHalfEven(bh * 96 / inch));
    CheckPictureSize(w, h, kMaxPicturePixels);
    // Standard metafile header.
    const size_t start = r.Position();
    r.U16LE();
    const uint16_t headerWords = r.U16LE();
    r.U16LE();
    const uint32_t totalWords = r.U32LE();
    if (headerWords < 9 || totalWords > (data.size() - start) / 2) Bad();
    r.Seek(start + size_t{headerWords} * 2);

    into.Clear();
    into.SetSize(static_cast<int>(w), static_cast<int>(h));
    Player pl(into, true);
    pl.dc.mapMode = 8;
    pl.dc.winOrg = {static_cast<double>(std::min(left, right)), static_cast<double>(std::min(top, bottom))};
    pl.dc.winExt = {bw, bh};
    pl.dc.vpExt = {static_cast<double>(w), static_cast<double>(h)};
    pl.SetBounds(Rect(0, 0, static_cast<int>(w), static_cast<int>(h)));

    while (r.Remaining() >= 6 && pl.CountRecord()) {
      const size_t recStart = r.Position();
      const uint32_t sizeWords = r.U32LE();
      const uint16_t fn = r.U16LE();
      if (sizeWords < 3 || sizeWords > (r.Size() - recStart) / 2) break;
      TByteReader p = r.Sub(recStart + 6, size_t{sizeWords} * 2 - 6);
      r.Seek(recStart + size_t{sizeWords} * 2);
      if (fn == 0x0000) return;  // end of file
      // Short records read as zeros.
      wmf_emf::WmfRecord record{fn, sizeWords, TByteReader(p.Bytes(p.Remaining()), false)};
      wmf_emf::PlayWmfRecord(record, pl);
    }
  } catch (const EReadError&) {
    Bad();
  }
}

void PlayEnhancedMetafile(std::span<const uint8_t> data, TMetafile& into) {
  try {
    TByteReader r(data);
    if (r.U32LE() != 1) Bad();
    const uint32_t headerSize = r.U32LE();
    const int bl = r.I32LE(), bt = r.I32LE(), br = r.I32LE(), bb = r.I32LE();
    const int fl = r.I32LE(), ft = r.I32LE(), fr = r.I32LE(), fb = r.I32LE();
    if (std::memcmp(r.Bytes(4).data(), " EMF", 4) != 0) Bad();
    r.Skip(4);  // version
    const uint32_t totalBytes = r.U32LE();
    r.Skip(4 + 2 + 2 + 4 + 4 + 4);  // records, handles, reserved, description, palette
    const int devW = r.I32LE(), devH = r.I32LE(), mmW = r.I32LE(), mmH = r.I32LE();
    if (headerSize < 88 || headerSize > data.size() || totalBytes > data.size()) Bad();

    Player pl(into, false);
    pl.devPxPerMmX = devW > 0 && mmW > 0 ? static_cast<double>(devW) / mmW : 96 / 25.4;
    pl.devPxPerMmY = devH > 0 && mmH > 0 ? static_cast<double>(devH) / mmH : 96 / 25.4;
    int64_t w = 0, h = 0;
    if (fr > fl && fb > ft) {
      // The frame in hundredths of a millimetre, shown at 96 pixels per inch; the reference
      // device's pixels are placed on it by its resolution.
      w = static_cast<int64_t>(RoundHalfEven((static_cast<double>(fr) - fl) * 96 / 2540));
      h = static_cast<int64_t>(RoundHalfEven((static_cast<double>(fb) - ft) * 96 / 2540));
      const double pxPer100Mm = 96 / 2540.0;
      pl.devScaleX = 100 / pl.devPxPerMmX * pxPer100Mm;
      pl.devScaleY = 100 / pl.devPxPerMmY * pxPer100Mm;
      pl.devOffX = -static_cast<double>(fl) * pxPer100Mm;
      pl.devOffY = -static_cast<double>(ft) * pxPer100Mm;
    } else {
      w = static_cast<int64_t>(br) - bl + 1;
      h = static_cast<int64_t>(bb) - bt + 1;
      pl.devOffX = -static_cast<double>(bl);
      pl.devOffY = -static_cast<double>(bt);
    }
    CheckPictureSize(w, h, kMaxPicturePixels);
    into.Clear();
    into.SetSize(static_cast<int>(w), static_cast<int>(h));
    pl.SetBounds(Rect(0, 0, static_cast<int>(w), static_cast<int>(h)));

    const size_t end = std::min<size_t>(data.size(), totalBytes >= headerSize ? totalBytes : data.size());
    r.Seek(headerSize);
    while (r.Position() + 8 <= end && pl.CountRecord()) {
      const size_t recStart = r.Position();
      const uint32_t type = r.U32LE();
      const uint32_t size = r.U32LE();
      if (size < 8 || size > end - recStart || size % 4) break;
      auto body = r.Sub(recStart, size);
      r.Seek(recStart + size);
      if (type == 14) return;  // end of file
      wmf_emf::EmfRecord record{type, size, data.subspan(recStart, size),
                                TByteReader(body.Sub(8, size - 8).Bytes(size - 8), false)};
      wmf_emf::PlayEmfRecord(record, pl);
    }
  } catch (const EReadError&) {
    Bad();
  }
}

}  // namespace pagewright
