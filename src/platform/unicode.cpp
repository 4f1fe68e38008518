#include "platform/unicode.h"

#include <cstdint>

namespace pagewright {

WideString Utf8ToUtf16(std::string_view s) {
  WideString out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size(), i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    int len;
    char32_t cp, min;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    int k = 1;
    for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
    if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // Replace the maximal invalid prefix with one replacement character.
      out.push_back(u'\uFFFD');
      i += k;
      continue;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace pagewright

namespace pagewright {

bool IsValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size(), i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int len;
    char32_t cp, min;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (n - i < static_cast<size_t>(len)) return false;
    for (int k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

WideString Utf16BytesToWide(std::string_view bytes, bool bigEndian) {
  WideString out;
  out.resize(bytes.size() / 2);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned a = p[2 * i], b = p[2 * i + 1];
    out[i] = static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  }
  return out;
}

std::string WideToUtf16Bytes(std::u16string_view s, bool bigEndian) {
  std::string out;
  out.resize(s.size() * 2);
  for (size_t i = 0; i < s.size(); ++i) {
    char hi = static_cast<char>(s[i] >> 8), lo = static_cast<char>(s[i] & 0xFF);
    out[2 * i] = bigEndian ? hi : lo;
    out[2 * i + 1] = bigEndian ? lo : hi;
  }
  return out;
}

namespace {

// A run of code units [First, Last] whose case partner is the unit plus Delta; with Stride 2 only every
// second unit of the run (First, First + 2, ...) belongs to it. Runs are sorted and disjoint.
struct CaseRange {
  char16_t First, Last;
  int32_t Delta;
  uint8_t Stride;
};

// Generated from the simple case mappings of Unicode 14 (one-to-one, BMP only).
constexpr CaseRange kUpperRanges[] = {
    {0x00E0, 0x00F6, -32, 1},    {0x00F8, 0x00FE, -32, 1},    {0x00FF, 0x00FF, 121, 1},
    {0x0101, 0x012F, -1, 2},     {0x0131, 0x0131, -232, 1},   {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},     {0x014B, 0x0177, -1, 2},     {0x017A, 0x017E, -1, 2},
    {0x017F, 0x017F, -300, 1},   {0x0180, 0x0180, 195, 1},    {0x0183, 0x0185, -1, 2},
    {0x0188, 0x0188, -1, 1},     {0x018C, 0x018C, -1, 1},     {0x0192, 0x0192, -1, 1},
    {0x0195, 0x0195, 97, 1},     {0x0199, 0x0199, -1, 1},     {0x019A, 0x019A, 163, 1},
    {0x019E, 0x019E, 130, 1},    {0x01A1, 0x01A5, -1, 2},     {0x01A8, 0x01A8, -1, 1},
    {0x01AD, 0x01AD, -1, 1},     {0x01B0, 0x01B0, -1, 1},     {0x01B4, 0x01B6, -1, 2},
    {0x01B9, 0x01B9, -1, 1},     {0x01BD, 0x01BD, -1, 1},     {0x01BF, 0x01BF, 56, 1},
    {0x01C5, 0x01C5, -1, 1},     {0x01C6, 0x01C6, -2, 1},     {0x01C8, 0x01C8, -1, 1},
    {0x01C9, 0x01C9, -2, 1},     {0x01CB, 0x01CB, -1, 1},     {0x01CC, 0x01CC, -2, 1},
    {0x01CE, 0x01DC, -1, 2},     {0x01DD, 0x01DD, -79, 1},    {0x01DF, 0x01EF, -1, 2},
    {0x01F2, 0x01F2, -1, 1},     {0x01F3, 0x01F3, -2, 1},     {0x01F5, 0x01F5, -1, 1},
    {0x01F9, 0x021F, -1, 2},     {0x0223, 0x0233, -1, 2},     {0x023C, 0x023C, -1, 1},
    {0x023F, 0x0240, 10815, 1},  {0x0242, 0x0242, -1, 1},     {0x0247, 0x024F, -1, 2},
    {0x0250, 0x0250, 10783, 1},  {0x0251, 0x0251, 10780, 1},  {0x0252, 0x0252, 10782, 1},
    {0x0253, 0x0253, -210, 1},   {0x0254, 0x0254, -206, 1},   {0x0256, 0x0257, -205, 1},
    {0x0259, 0x0259, -202, 1},   {0x025B, 0x025B, -203, 1},   {0x025C, 0x025C, 42319, 1},
    {0x0260, 0x0260, -205, 1},   {0x0261, 0x0261, 42315, 1},  {0x0263, 0x0263, -207, 1},
    {0x0265, 0x0265, 42280, 1},  {0x0266, 0x0266, 42308, 1},  {0x0268, 0x0268, -209, 1},
    {0x0269, 0x0269, -211, 1},   {0x026A, 0x026A, 42308, 1},  {0x026B, 0x026B, 10743, 1},
    {0x026C, 0x026C, 42305, 1},  {0x026F, 0x026F, -211, 1},   {0x0271, 0x0271, 10749, 1},
    {0x0272, 0x0272, -213, 1},   {0x0275, 0x0275, -214, 1},   {0x027D, 0x027D, 10727, 1},
    {0x0280, 0x0280, -218, 1},   {0x0282, 0x0282, 42307, 1},  {0x0283, 0x0283, -218, 1},
    {0x0287, 0x0287, 42282, 1},  {0x0288, 0x0288, -218, 1},   {0x0289, 0x0289, -69, 1},
    {0x028A, 0x028B, -217, 1},   {0x028C, 0x028C, -71, 1},    {0x0292, 0x0292, -219, 1},
    {0x029D, 0x029D, 42261, 1},  {0x029E, 0x029E, 42258, 1},  {0x0345, 0x0345, 84, 1},
    {0x0371, 0x0373, -1, 2},     {0x0377, 0x0377, -1, 1},     {0x037B, 0x037D, 130, 1},
    {0x03AC, 0x03AC, -38, 1},    {0x03AD, 0x03AF, -37, 1},    {0x03B1, 0x03C1, -32, 1},
    {0x03C2, 0x03C2, -31, 1},    {0x03C3, 0x03CB, -32, 1},    {0x03CC, 0x03CC, -64, 1},
    {0x03CD, 0x03CE, -63, 1},    {0x03D0, 0x03D0, -62, 1},    {0x03D1, 0x03D1, -57, 1},
    {0x03D5, 0x03D5, -47, 1},    {0x03D6, 0x03D6, -54, 1},    {0x03D7, 0x03D7, -8, 1},
    {0x03D9, 0x03EF, -1, 2},     {0x03F0, 0x03F0, -86, 1},    {0x03F1, 0x03F1, -80, 1},
    {0x03F2, 0x03F2, 7, 1},      {0x03F3, 0x03F3, -116, 1},   {0x03F5, 0x03F5, -96, 1},
    {0x03F8, 0x03F8, -1, 1},     {0x03FB, 0x03FB, -1, 1},     {0x0430, 0x044F, -32, 1},
    {0x0450, 0x045F, -80, 1},    {0x0461, 0x0481, -1, 2},     {0x048B, 0x04BF, -1, 2},
    {0x04C2, 0x04CE, -1, 2},     {0x04CF, 0x04CF, -15, 1},    {0x04D1, 0x052F, -1, 2},
    {0x0561, 0x0586, -48, 1},    {0x10D0, 0x10FA, 3008, 1},   {0x10FD, 0x10FF, 3008, 1},
    {0x13F8, 0x13FD, -8, 1},     {0x1C80, 0x1C80, -6254, 1},  {0x1C81, 0x1C81, -6253, 1},
    {0x1C82, 0x1C82, -6244, 1},  {0x1C83, 0x1C84, -6242, 1},  {0x1C85, 0x1C85, -6243, 1},
    {0x1C86, 0x1C86, -6236, 1},  {0x1C87, 0x1C87, -6181, 1},  {0x1C88, 0x1C88, 35266, 1},
    {0x1D79, 0x1D79, 35332, 1},  {0x1D7D, 0x1D7D, 3814, 1},   {0x1D8E, 0x1D8E, 35384, 1},
    {0x1E01, 0x1E95, -1, 2},     {0x1E9B, 0x1E9B, -59, 1},    {0x1EA1, 0x1EFF, -1, 2},
    {0x1F00, 0x1F07, 8, 1},      {0x1F10, 0x1F15, 8, 1},      {0x1F20, 0x1F27, 8, 1},
    {0x1F30, 0x1F37, 8, 1},      {0x1F40, 0x1F45, 8, 1},      {0x1F51, 0x1F57, 8, 2},
    {0x1F60, 0x1F67, 8, 1},      {0x1F70, 0x1F71, 74, 1},     {0x1F72, 0x1F75, 86, 1},
    {0x1F76, 0x1F77, 100, 1},    {0x1F78, 0x1F79, 128, 1},    {0x1F7A, 0x1F7B, 112, 1},
    {0x1F7C, 0x1F7D, 126, 1},    {0x1FB0, 0x1FB1, 8, 1},      {0x1FBE, 0x1FBE, -7205, 1},
    {0x1FD0, 0x1FD1, 8, 1},      {0x1FE0, 0x1FE1, 8, 1},      {0x1FE5, 0x1FE5, 7, 1},
    {0x214E, 0x214E, -28, 1},    {0x2170, 0x217F, -16, 1},    {0x2184, 0x2184, -1, 1},
    {0x24D0, 0x24E9, -26, 1},    {0x2C30, 0x2C5F, -48, 1},    {0x2C61, 0x2C61, -1, 1},
    {0x2C65, 0x2C65, -10795, 1}, {0x2C66, 0x2C66, -10792, 1}, {0x2C68, 0x2C6C, -1, 2},
    {0x2C73, 0x2C73, -1, 1},     {0x2C76, 0x2C76, -1, 1},     {0x2C81, 0x2CE3, -1, 2},
    {0x2CEC, 0x2CEE, -1, 2},     {0x2CF3, 0x2CF3, -1, 1},     {0x2D00, 0x2D25, -7264, 1},
    {0x2D27, 0x2D27, -7264, 1},  {0x2D2D, 0x2D2D, -7264, 1},  {0xA641, 0xA66D, -1, 2},
    {0xA681, 0xA69B, -1, 2},     {0xA723, 0xA72F, -1, 2},     {0xA733, 0xA76F, -1, 2},
    {0xA77A, 0xA77C, -1, 2},     {0xA77F, 0xA787, -1, 2},     {0xA78C, 0xA78C, -1, 1},
    {0xA791, 0xA793, -1, 2},     {0xA794, 0xA794, 48, 1},     {0xA797, 0xA7A9, -1, 2},
    {0xA7B5, 0xA7C3, -1, 2},     {0xA7C8, 0xA7CA, -1, 2},     {0xA7D1, 0xA7D1, -1, 1},
    {0xA7D7, 0xA7D9, -1, 2},     {0xA7F6, 0xA7F6, -1, 1},     {0xAB53, 0xAB53, -928, 1},
    {0xAB70, 0xABBF, -38864, 1}, {0xFF41, 0xFF5A, -32, 1},
};

constexpr CaseRange kLowerRanges[] = {
    {0x00C0, 0x00D6, 32, 1},     {0x00D8, 0x00DE, 32, 1},     {0x0100, 0x012E, 1, 2},
    {0x0130, 0x0130, -199, 1},   {0x0132, 0x0136, 1, 2},      {0x0139, 0x0147, 1, 2},
    {0x014A, 0x0176, 1, 2},      {0x0178, 0x0178, -121, 1},   {0x0179, 0x017D, 1, 2},
    {0x0181, 0x0181, 210, 1},    {0x0182, 0x0184, 1, 2},      {0x0186, 0x0186, 206, 1},
    {0x0187, 0x0187, 1, 1},      {0x0189, 0x018A, 205, 1},    {0x018B, 0x018B, 1, 1},
    {0x018E, 0x018E, 79, 1},     {0x018F, 0x018F, 202, 1},    {0x0190, 0x0190, 203, 1},
    {0x0191, 0x0191, 1, 1},      {0x0193, 0x0193, 205, 1},    {0x0194, 0x0194, 207, 1},
    {0x0196, 0x0196, 211, 1},    {0x0197, 0x0197, 209, 1},    {0x0198, 0x0198, 1, 1},
    {0x019C, 0x019C, 211, 1},    {0x019D, 0x019D, 213, 1},    {0x019F, 0x019F, 214, 1},
    {0x01A0, 0x01A4, 1, 2},      {0x01A6, 0x01A6, 218, 1},    {0x01A7, 0x01A7, 1, 1},
    {0x01A9, 0x01A9, 218, 1},    {0x01AC, 0x01AC, 1, 1},      {0x01AE, 0x01AE, 218, 1},
    {0x01AF, 0x01AF, 1, 1},      {0x01B1, 0x01B2, 217, 1},    {0x01B3, 0x01B5, 1, 2},
    {0x01B7, 0x01B7, 219, 1},    {0x01B8, 0x01B8, 1, 1},      {0x01BC, 0x01BC, 1, 1},
    {0x01C4, 0x01C4, 2, 1},      {0x01C5, 0x01C5, 1, 1},      {0x01C7, 0x01C7, 2, 1},
    {0x01C8, 0x01C8, 1, 1},      {0x01CA, 0x01CA, 2, 1},      {0x01CB, 0x01DB, 1, 2},
    {0x01DE, 0x01EE, 1, 2},      {0x01F1, 0x01F1, 2, 1},      {0x01F2, 0x01F4, 1, 2},
    {0x01F6, 0x01F6, -97, 1},    {0x01F7, 0x01F7, -56, 1},    {0x01F8, 0x021E, 1, 2},
    {0x0220, 0x0220, -130, 1},   {0x0222, 0x0232, 1, 2},      {0x023A, 0x023A, 10795, 1},
    {0x023B, 0x023B, 1, 1},      {0x023D, 0x023D, -163, 1},   {0x023E, 0x023E, 10792, 1},
    {0x0241, 0x0241, 1, 1},      {0x0243, 0x0243, -195, 1},   {0x0244, 0x0244, 69, 1},
    {0x0245, 0x0245, 71, 1},     {0x0246, 0x024E, 1, 2},      {0x0370, 0x0372, 1, 2},
    {0x0376, 0x0376, 1, 1},      {0x037F, 0x037F, 116, 1},    {0x0386, 0x0386, 38, 1},
    {0x0388, 0x038A, 37, 1},     {0x038C, 0x038C, 64, 1},     {0x038E, 0x038F, 63, 1},
    {0x0391, 0x03A1, 32, 1},     {0x03A3, 0x03AB, 32, 1},     {0x03CF, 0x03CF, 8, 1},
    {0x03D8, 0x03EE, 1, 2},      {0x03F4, 0x03F4, -60, 1},    {0x03F7, 0x03F7, 1, 1},
    {0x03F9, 0x03F9, -7, 1},     {0x03FA, 0x03FA, 1, 1},      {0x03FD, 0x03FF, -130, 1},
    {0x0400, 0x040F, 80, 1},     {0x0410, 0x042F, 32, 1},     {0x0460, 0x0480, 1, 2},
    {0x048A, 0x04BE, 1, 2},      {0x04C0, 0x04C0, 15, 1},     {0x04C1, 0x04CD, 1, 2},
    {0x04D0, 0x052E, 1, 2},      {0x0531, 0x0556, 48, 1},     {0x10A0, 0x10C5, 7264, 1},
    {0x10C7, 0x10C7, 7264, 1},   {0x10CD, 0x10CD, 7264, 1},   {0x13A0, 0x13EF, 38864, 1},
    {0x13F0, 0x13F5, 8, 1},      {0x1C90, 0x1CBA, -3008, 1},  {0x1CBD, 0x1CBF, -3008, 1},
    {0x1E00, 0x1E94, 1, 2},      {0x1E9E, 0x1E9E, -7615, 1},  {0x1EA0, 0x1EFE, 1, 2},
    {0x1F08, 0x1F0F, -8, 1},     {0x1F18, 0x1F1D, -8, 1},     {0x1F28, 0x1F2F, -8, 1},
    {0x1F38, 0x1F3F, -8, 1},     {0x1F48, 0x1F4D, -8, 1},     {0x1F59, 0x1F5F, -8, 2},
    {0x1F68, 0x1F6F, -8, 1},     {0x1F88, 0x1F8F, -8, 1},     {0x1F98, 0x1F9F, -8, 1},
    {0x1FA8, 0x1FAF, -8, 1},     {0x1FB8, 0x1FB9, -8, 1},     {0x1FBA, 0x1FBB, -74, 1},
    {0x1FBC, 0x1FBC, -9, 1},     {0x1FC8, 0x1FCB, -86, 1},    {0x1FCC, 0x1FCC, -9, 1},
    {0x1FD8, 0x1FD9, -8, 1},     {0x1FDA, 0x1FDB, -100, 1},   {0x1FE8, 0x1FE9, -8, 1},
    {0x1FEA, 0x1FEB, -112, 1},   {0x1FEC, 0x1FEC, -7, 1},     {0x1FF8, 0x1FF9, -128, 1},
    {0x1FFA, 0x1FFB, -126, 1},   {0x1FFC, 0x1FFC, -9, 1},     {0x2126, 0x2126, -7517, 1},
    {0x212A, 0x212A, -8383, 1},  {0x212B, 0x212B, -8262, 1},  {0x2132, 0x2132, 28, 1},
    {0x2160, 0x216F, 16, 1},     {0x2183, 0x2183, 1, 1},      {0x24B6, 0x24CF, 26, 1},
    {0x2C00, 0x2C2F, 48, 1},     {0x2C60, 0x2C60, 1, 1},      {0x2C62, 0x2C62, -10743, 1},
    {0x2C63, 0x2C63, -3814, 1},  {0x2C64, 0x2C64, -10727, 1}, {0x2C67, 0x2C6B, 1, 2},
    {0x2C6D, 0x2C6D, -10780, 1}, {0x2C6E, 0x2C6E, -10749, 1}, {0x2C6F, 0x2C6F, -10783, 1},
    {0x2C70, 0x2C70, -10782, 1}, {0x2C72, 0x2C72, 1, 1},      {0x2C75, 0x2C75, 1, 1},
    {0x2C7E, 0x2C7F, -10815, 1}, {0x2C80, 0x2CE2, 1, 2},      {0x2CEB, 0x2CED, 1, 2},
    {0x2CF2, 0x2CF2, 1, 1},      {0xA640, 0xA66C, 1, 2},      {0xA680, 0xA69A, 1, 2},
    {0xA722, 0xA72E, 1, 2},      {0xA732, 0xA76E, 1, 2},      {0xA779, 0xA77B, 1, 2},
    {0xA77D, 0xA77D, -35332, 1}, {0xA77E, 0xA786, 1, 2},      {0xA78B, 0xA78B, 1, 1},
    {0xA78D, 0xA78D, -42280, 1}, {0xA790, 0xA792, 1, 2},      {0xA796, 0xA7A8, 1, 2},
    {0xA7AA, 0xA7AA, -42308, 1}, {0xA7AB, 0xA7AB, -42319, 1}, {0xA7AC, 0xA7AC, -42315, 1},
    {0xA7AD, 0xA7AD, -42305, 1}, {0xA7AE, 0xA7AE, -42308, 1}, {0xA7B0, 0xA7B0, -42258, 1},
    {0xA7B1, 0xA7B1, -42282, 1}, {0xA7B2, 0xA7B2, -42261, 1}, {0xA7B3, 0xA7B3, 928, 1},
    {0xA7B4, 0xA7C2, 1, 2},      {0xA7C4, 0xA7C4, -48, 1},    {0xA7C5, 0xA7C5, -42307, 1},
    {0xA7C6, 0xA7C6, -35384, 1}, {0xA7C7, 0xA7C9, 1, 2},      {0xA7D0, 0xA7D0, 1, 1},
    {0xA7D6, 0xA7D8, 1, 2},      {0xA7F5, 0xA7F5, 1, 1},      {0xFF21, 0xFF3A, 32, 1},
};

template <size_t N>
constexpr char16_t MapCase(const CaseRange (&ranges)[N], char16_t c) {
  size_t lo = 0, hi = N;
  while (lo < hi) {  // first range whose Last >= c
    size_t mid = (lo + hi) / 2;
    if (ranges[mid].Last < c)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == N) return c;
  const CaseRange& r = ranges[lo];
  if (c < r.First || (c - r.First) % r.Stride != 0) return c;
  return static_cast<char16_t>(c + r.Delta);
}

// Latin-1 is looked up directly; the tables are computed at compile time from the ranges above.
struct Latin1Case {
  char16_t upper[256], lower[256], fold[256];
};

constexpr Latin1Case MakeLatin1Case() {
  Latin1Case t{};
  for (int c = 0; c < 256; ++c) {
    auto ch = static_cast<char16_t>(c);
    if (c < 0x80) {  // the ranges start above ASCII
      t.upper[c] = (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : ch;
      t.lower[c] = t.fold[c] = (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : ch;
      continue;
    }
    t.upper[c] = MapCase(kUpperRanges, ch);
    t.lower[c] = MapCase(kLowerRanges, ch);
    t.fold[c] = MapCase(kLowerRanges, t.upper[c]);
  }
  return t;
}

constexpr Latin1Case kLatin1Case = MakeLatin1Case();
static_assert(kLatin1Case.upper[u'a'] == u'A' && kLatin1Case.lower[0xC9] == 0xE9 &&
              kLatin1Case.fold[0xFF] == 0xFF);

}  // namespace

char16_t WideUpperChar(char16_t c) {
  return c < 0x100 ? kLatin1Case.upper[c] : MapCase(kUpperRanges, c);
}

char16_t WideLowerChar(char16_t c) {
  return c < 0x100 ? kLatin1Case.lower[c] : MapCase(kLowerRanges, c);
}

char16_t WideFoldChar(char16_t c) {
  if (c < 0x100) return kLatin1Case.fold[c];
  char16_t u = MapCase(kUpperRanges, c);
  return u < 0x100 ? kLatin1Case.lower[u] : MapCase(kLowerRanges, u);
}

}  // namespace pagewright
