#include "export/pdf/pdf_objects.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "export/pdf/pdf_security.h"
#include "platform/unicode.h"

namespace pagewright {

void AppendPdfFloat(std::string& out, double v, int decimals) {
  if (std::isnan(v)) v = 0;
  v = std::clamp(v, -kPdfRealLimit, kPdfRealLimit);
  decimals = std::clamp(decimals, 0, 6);
  // Page content writes these by the ten thousand. With up to four decimals the value times
  // 10^decimals is exact in long double (53 + 10 significant bits of 64), so rounding it halves to
  // even gives exactly the digits of the exact decimal expansion, as std::to_chars does below.
  if (decimals <= 4) {
    static constexpr long double kScale[] = {1, 10, 100, 1000, 10000};
    const long double scaled = std::nearbyint(static_cast<long double>(v) * kScale[decimals]);
    uint64_t units = static_cast<uint64_t>(scaled < 0 ? -scaled : scaled);
    char digits[32];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + units % 10);
      units /= 10;
    } while (units > 0 || n <= decimals);
    char text[40];
    int k = 0;
    if (scaled < 0) text[k++] = '-';  // a value that rounds to zero is written without a sign
    for (int i = n - 1; i >= 0; --i) {
      text[k++] = digits[i];
      if (i == decimals && decimals > 0) text[k++] = '.';
    }
    out.append(text, static_cast<size_t>(k));
    return;
  }
  // Within the limits the text needs at most 13 characters ("-32767.000000").
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) throw EPDFError("A number could not be written");
  std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string_view::npos) s.remove_prefix(1);
  out.append(s);
}

std::string PdfFloat(double v, int decimals) {
  std::string s;
  AppendPdfFloat(s, v, decimals);
  return s;
}

std::string PdfInteger(double v) {
  if (std::isnan(v)) v = 0;
  v = std::clamp(v, -kPdfIntegerLimit, kPdfIntegerLimit);
  return std::to_string(RoundHalfEven(v));
}

std::string PdfFloatTrim(double v, int decimals) {
  std::string s = PdfFloat(v, decimals);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

std::string HexUpper(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

std::string HexUpper(std::string_view bytes) {
  return HexUpper(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string PdfColor(TColor color, int decimals) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  if (decimals == 2) {
    // Every colour of every page goes through here: the 256 channel texts are made once.
    static const std::array<std::string, 256> kChannels = [] {
      std::array<std::string, 256> t;
      for (int c = 0; c < 256; ++c) t[static_cast<size_t>(c)] = PdfFloatTrim(c / 255.0, 2);
      return t;
    }();
    std::string s = kChannels[static_cast<size_t>(r)];
    s.append(1, ' ').append(kChannels[static_cast<size_t>(g)]).append(1, ' ').append(kChannels[static_cast<size_t>(b)]);
    return s;
  }
  auto channel = [&](int c) { return PdfFloatTrim(c / 255.0, decimals); };
  return channel(r) + " " + channel(g) + " " + channel(b);
}

namespace {

// One compressor per thread, reset between streams: setting one up allocates a few hundred
// kilobytes, which a document of thousands of pages would otherwise take from and give back to
// the system once per page. The bytes are those of a fresh compressor at the same level.
struct TDeflater {
  z_stream z{};
  bool ready = false;
  TDeflater() = default;
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
  ~TDeflater() {
    if (ready) deflateEnd(&z);
  }
};

}  // namespace

std::string Deflate(std::string_view data) {
  thread_local TDeflater deflater;
  z_stream& z = deflater.z;
  if (!deflater.ready) {
    if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) throw EPDFError("Stream compression failed");
    deflater.ready = true;
  } else if (deflateReset(&z) != Z_OK) {
    throw EPDFError("Stream compression failed");
  }
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (data.size() > std::numeric_limits<uInt>::max() || deflate(&z, Z_FINISH) != Z_STREAM_END)
    throw EPDFError("Stream compression failed");
  out.resize(out.size() - z.avail_out);
  return out;
}

int TPDFObjectsHelper::UpdateXRef() {
  offsets_.push_back(-1);
  return static_cast<int>(offsets_.size());
}

void TPDFObjectsHelper::BeginObject(int number) {
  if (number < 1 || number > static_cast<int>(offsets_.size())) throw EPDFError("Object number not reserved");
  if (offsets_[number - 1] >= 0) throw EPDFError("Cross Reference Error: Entries with the same Id's");
  offsets_[number - 1] = out_.Position();
  WriteLine(std::to_string(number) + " 0 obj");
}

void TPDFObjectsHelper::Write(std::string_view bytes) {
  out_.WriteBuffer(bytes);
}

void TPDFObjectsHelper::WriteLine(std::string_view line) {
  std::string s(line);
  s += "\r\n";
  out_.WriteBuffer(s);
}

void TPDFObjectsHelper::WriteStream(int number, std::string_view data, std::string_view extraEntries,
                                    bool compress) {
  std::string stored = Compressed && compress ? Deflate(data) : std::string(data);
  if (Security) stored = Security->Encrypt(number, stored);
  std::string dict = "<</Length " + std::to_string(stored.size());
  if (Compressed && compress) dict += "/Filter/FlateDecode";
  dict += extraEntries;
  WriteLine(dict + ">>");
  WriteLine("stream");
  Write(stored);
  Write("\n");
  WriteLine("endstream");
  WriteLine("endobj");
}

std::string TPDFObjectsHelper::TextString(std::u16string_view text, int objectNumber) const {
  return ByteString(std::string("\xFE\xFF", 2) + WideToUtf16Bytes(text, true), objectNumber);
}

std::string TPDFObjectsHelper::ByteString(std::string_view bytes, int objectNumber) const {
  return "<" + HexUpper(Security ? Security->Encrypt(objectNumber, bytes) : std::string(bytes)) + ">";
}

void TPDFObjectsHelper::WriteXRefAndTrailer(int rootNumber, int infoNumber, const std::string& fileID,
                                            int encryptNumber) {
  for (size_t i = 0; i < offsets_.size(); ++i)
    if (offsets_[i] < 0)
      throw EPDFError("Object " + std::to_string(i + 1) + " was reserved but never written");
  const int64_t start = out_.Position();
  std::string table = "xref\r\n0 " + std::to_string(offsets_.size() + 1) + "\r\n";
  table += "0000000000 65535 f\r\n";
  for (int64_t offset : offsets_) {
    // Every entry is exactly 20 bytes: ten digits of offset at most.
    if (offset > 9999999999) throw EPDFError("The PDF file is too large for its cross-reference table");
    std::string digits = std::to_string(offset);
    table.append(10 - digits.size(), '0');
    table += digits;
    table += " 00000 n\r\n";
  }
  Write(table);
  WriteLine("trailer");
  WriteLine("<<");
  WriteLine("/Size " + std::to_string(offsets_.size() + 1));
  WriteLine("/Root " + std::to_string(rootNumber) + " 0 R");
  WriteLine("/Info " + std::to_string(infoNumber) + " 0 R");
  WriteLine("/ID [<" + fileID + "><" + fileID + ">]");
  if (encryptNumber > 0) WriteLine("/Encrypt " + std::to_string(encryptNumber) + " 0 R");
  WriteLine(">>");
  WriteLine("startxref");
  WriteLine(std::to_string(start));
  WriteLine("%%EOF");
}

}  // namespace pagewright
