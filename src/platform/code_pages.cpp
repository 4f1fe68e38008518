#include "platform/code_pages.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/unicode.h"

namespace pagewright {

namespace {

std::atomic<uint32_t> gSystemCodePage{1252};

// 1252 bytes 0x80..0x9F; the five undefined bytes are their C1 controls.
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

WideString Decode1252(std::string_view bytes) {
  WideString out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

char Encode1252Char(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int k = 0; k < 32; ++k)
    if (k1252High[k] == c) return static_cast<char>(0x80 + k);
  return '?';
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Encodes with a per-character function; a surrogate pair is one character and gives one '?'.
template <typename EncodeChar>
std::string EncodeEach(std::u16string_view s, EncodeChar encode) {
  std::string out(s.size(), '\0');
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsHighSurrogate(s[i]) && i + 1 < s.size() && IsLowSurrogate(s[i + 1])) {
      out[n++] = '?';
      ++i;
      continue;
    }
    out[n++] = encode(s[i]);
  }
  out.resize(n);
  return out;
}

const char* IconvName(uint32_t cp, char (&buf)[16]) {
  switch (cp) {
    case 10000:
      return "MACINTOSH";
    case 1361:
      return "JOHAB";
    case 437:
      return "IBM437";
    case 850:
      return "IBM850";
    case 852:
      return "IBM852";
    case 866:
      return "IBM866";
    default:
      snprintf(buf, sizeof buf, "CP%u", cp);
      return buf;
  }
}

bool IsSingleBytePage(uint32_t cp) {
  return (cp >= 1250 && cp <= 1258) || cp == 874 || cp == 437 || cp == 850 || cp == 852 || cp == 866 ||
         cp == 10000;
}

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

// Runs iconv over the whole input. On a sequence the target cannot take (or the source does not
// define), `onError` appends its replacement to out and returns how many input bytes to skip.
template <typename OnError>
void RunIconv(iconv_t cd, std::string_view in, std::string& out, OnError onError) {
  char chunk[4096];
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int err = errno;
    out.append(chunk, static_cast<size_t>(outPtr - chunk));
    if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
    // EILSEQ or EINVAL: skip what cannot be converted.
    size_t skip = std::min(inLeft, onError(std::string_view(inPtr, inLeft), out));
    if (skip == 0) skip = 1;
    inPtr += skip;
    inLeft -= skip;
  }
  // Flush what a stateful converter still holds.
  while (true) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    int err = errno;
    out.append(chunk, static_cast<size_t>(outPtr - chunk));
    if (r != static_cast<size_t>(-1) || err != E2BIG) return;
  }
}

// A single-byte page as two tables, built once from the system's converter.
struct SingleByteTable {
  char16_t decode[256];
  std::vector<std::pair<char16_t, uint8_t>> encode;  // sorted by character
};

std::unique_ptr<SingleByteTable> BuildSingleByteTable(uint32_t cp) {
  char nameBuf[16];
  IconvHandle cd = OpenIconv("UTF-16LE", IconvName(cp, nameBuf));
  if (!cd) return nullptr;
  auto t = std::make_unique<SingleByteTable>();
  for (int b = 0; b < 256; ++b) {
    iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);  // reset state
    char in = static_cast<char>(b);
    std::string out;
    bool failed = false;
    RunIconv(static_cast<iconv_t>(cd.get()), std::string_view(&in, 1), out,
             [&](std::string_view, std::string&) {
               failed = true;
               return size_t{1};
             });
    bool defined = !failed && out.size() == 2;
    char16_t c;
    if (defined)
      c = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                (static_cast<unsigned char>(out[1]) << 8));
    else
      c = (b >= 0x80 && b < 0xA0) ? static_cast<char16_t>(b) : u'?';
    t->decode[b] = c;
    if (defined || (b >= 0x80 && b < 0xA0)) t->encode.emplace_back(c, static_cast<uint8_t>(b));
  }
  // Where several bytes give one character, the lowest byte wins.
  std::stable_sort(t->encode.begin(), t->encode.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  t->encode.erase(std::unique(t->encode.begin(), t->encode.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  t->encode.end());
  return t;
}

const SingleByteTable* SingleByteTableFor(uint32_t cp) {
  static std::mutex mutex;
  static std::map<uint32_t, std::unique_ptr<SingleByteTable>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(cp);
  if (it == tables.end()) it = tables.emplace(cp, BuildSingleByteTable(cp)).first;
  return it->second.get();
}

WideString DecodeSymbol(std::string_view bytes) {
  WideString out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = b < 0x20 ? static_cast<char16_t>(b) : static_cast<char16_t>(0xF000 + b);
  }
  return out;
}

char EncodeSymbolChar(char16_t c) {
  if (c <= 0xFF) return static_cast<char>(c);
  if (c >= 0xF000 && c <= 0xF0FF) return static_cast<char>(c & 0xFF);
  return '?';
}

WideString DecodeMultiByte(std::string_view bytes, uint32_t cp) {
  char nameBuf[16];
  IconvHandle cd = OpenIconv("UTF-16LE", IconvName(cp, nameBuf));
  if (!cd) return Decode1252(bytes);
  std::string out;
  RunIconv(static_cast<iconv_t>(cd.get()), bytes, out, [](std::string_view, std::string& o) {
    o.append("?\0", 2);  // one '?' per undecodable byte
    return size_t{1};
  });
  return Utf16BytesToWide(out, false);
}

std::string EncodeMultiByte(std::u16string_view s, uint32_t cp) {
  char nameBuf[16];
  IconvHandle cd = OpenIconv(IconvName(cp, nameBuf), "UTF-16LE");
  if (!cd) return EncodeEach(s, Encode1252Char);
  std::string out;
  RunIconv(static_cast<iconv_t>(cd.get()), WideToUtf16Bytes(s, false), out,
           [](std::string_view rest, std::string& o) {
             o.push_back('?');
             // A whole surrogate pair is one character.
             if (rest.size() >= 4) {
               auto hi = static_cast<char16_t>(static_cast<unsigned char>(rest[0]) |
                                               (static_cast<unsigned char>(rest[1]) << 8));
               auto lo = static_cast<char16_t>(static_cast<unsigned char>(rest[2]) |
                                               (static_cast<unsigned char>(rest[3]) << 8));
               if (IsHighSurrogate(hi) && IsLowSurrogate(lo)) return size_t{4};
             }
             return size_t{2};
           });
  return out;
}

uint32_t EffectiveCodePage(uint32_t cp) {
  return IsCodePageSupported(cp) ? cp : SystemCodePage();
}

}  // namespace

uint32_t CharsetToCodePage(int charset) {
  switch (charset) {
    case ANSI_CHARSET:
      return 1252;
    case SYMBOL_CHARSET:
      return CP_SYMBOL;
    case MAC_CHARSET:
      return 10000;
    case SHIFTJIS_CHARSET:
      return 932;
    case HANGEUL_CHARSET:
      return 949;
    case JOHAB_CHARSET:
      return 1361;
    case GB2312_CHARSET:
      return 936;
    case CHINESEBIG5_CHARSET:
      return 950;
    case GREEK_CHARSET:
      return 1253;
    case TURKISH_CHARSET:
      return 1254;
    case VIETNAMESE_CHARSET:
      return 1258;
    case HEBREW_CHARSET:
      return 1255;
    case ARABIC_CHARSET:
      return 1256;
    case BALTIC_CHARSET:
      return 1257;
    case RUSSIAN_CHARSET:
      return 1251;
    case THAI_CHARSET:
      return 874;
    case EASTEUROPE_CHARSET:
      return 1250;
    case OEM_CHARSET:
      return 437;
    default:
      return SystemCodePage();  // DEFAULT_CHARSET and unknown numbers
  }
}

uint32_t SystemCodePage() {
  return gSystemCodePage.load(std::memory_order_relaxed);
}

bool SetSystemCodePage(uint32_t codePage) {
  if (!IsCodePageSupported(codePage)) return false;
  gSystemCodePage.store(codePage, std::memory_order_relaxed);
  return true;
}

bool IsCodePageSupported(uint32_t codePage) {
  if (codePage == 1252 || codePage == CP_UTF8 || codePage == CP_SYMBOL) return true;
  if (!IsSingleBytePage(codePage) && !IsDBCSCodePage(codePage)) return false;
  // Whether the system's converter has the page does not change while the process runs.
  static std::mutex mutex;
  static std::map<uint32_t, bool> known;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = known.find(codePage);
  if (it == known.end()) {
    char nameBuf[16];
    it = known.emplace(codePage, OpenIconv("UTF-16LE", IconvName(codePage, nameBuf)) != nullptr).first;
  }
  return it->second;
}

bool IsDBCSCodePage(uint32_t codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 1361;
}

bool IsDBCSLeadByte(uint32_t codePage, uint8_t b) {
  switch (codePage) {
    case 932:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
      return b >= 0x81 && b <= 0xFE;
    case 1361:
      return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xDE) || (b >= 0xE0 && b <= 0xF9);
    default:
      return false;
  }
}

WideString CodePageToWide(std::string_view bytes, uint32_t codePage) {
  uint32_t cp = EffectiveCodePage(codePage);
  if (cp == 1252) return Decode1252(bytes);
  if (cp == CP_UTF8) return Utf8ToUtf16(bytes);
  if (cp == CP_SYMBOL) return DecodeSymbol(bytes);
  if (IsSingleBytePage(cp)) {
    const SingleByteTable* t = SingleByteTableFor(cp);
    if (!t) return Decode1252(bytes);
    WideString out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = t->decode[static_cast<unsigned char>(bytes[i])];
    return out;
  }
  return DecodeMultiByte(bytes, cp);
}

std::string WideToCodePage(std::u16string_view s, uint32_t codePage) {
  uint32_t cp = EffectiveCodePage(codePage);
  if (cp == 1252) return EncodeEach(s, Encode1252Char);
  if (cp == CP_UTF8) return Utf16ToUtf8(s);
  if (cp == CP_SYMBOL) return EncodeEach(s, EncodeSymbolChar);
  if (IsSingleBytePage(cp)) {
    const SingleByteTable* t = SingleByteTableFor(cp);
    if (!t) return EncodeEach(s, Encode1252Char);
    return EncodeEach(s, [t](char16_t c) {
      if (c < 0x80 && t->decode[c] == c) return static_cast<char>(c);
      auto it = std::lower_bound(t->encode.begin(), t->encode.end(), c,
                                 [](const auto& e, char16_t v) { return e.first < v; });
      return (it != t->encode.end() && it->first == c) ? static_cast<char>(it->second) : '?';
    });
  }
  return EncodeMultiByte(s, cp);
}

WideString AnsiToWide(std::string_view bytes) {
  return CodePageToWide(bytes, SystemCodePage());
}

std::string WideToAnsi(std::u16string_view s) {
  return WideToCodePage(s, SystemCodePage());
}

}  // namespace pagewright
