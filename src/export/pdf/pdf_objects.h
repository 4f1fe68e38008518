// The object layer of the PDF writer: object numbering with the byte offsets of the
// cross-reference table, the line and stream conventions, strings (encrypted when the document
// is protected), and number formatting independent of the process locale.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/types.h"

namespace pagewright {

PW_DECLARE_EXCEPTION(EPDFError, Exception)

class TPDFSecurity;

// The largest magnitude written for a real number. Readers of every PDF version accept reals up
// to 32767, and nothing on a page (at most 14400 points wide) needs more.
inline constexpr double kPdfRealLimit = 32767;
// The largest magnitude written for an integer (a 32-bit signed value in every reader).
inline constexpr double kPdfIntegerLimit = 2147483647;

// Fixed-point text with the given number of decimals (0 to 6), "." as separator, no "-" on a
// zero. Whatever the value, the result is a valid PDF number: NaN gives 0, and values (infinities
// included) are clamped to +-kPdfRealLimit.
std::string PdfFloat(double v, int decimals = 2);
// The same text, appended (page content writes numbers by the ten thousand).
void AppendPdfFloat(std::string& out, double v, int decimals = 2);
// Up to the given decimals, trailing zeros and a trailing point dropped.
std::string PdfFloatTrim(double v, int decimals = 3);
// The nearest integer (halves to even) as text, NaN as 0, clamped to +-kPdfIntegerLimit.
std::string PdfInteger(double v);
// Upper-case hexadecimal digits of bytes.
std::string HexUpper(std::span<const uint8_t> bytes);
std::string HexUpper(std::string_view bytes);
// A colour as three components "r g b" (channel / 255) with the given decimals.
std::string PdfColor(TColor color, int decimals = 2);
// Deflates with zlib at its best compression (zlib format): the files are small and written
// once, so the size matters more than the time.
std::string Deflate(std::string_view data);

// TPDFObjectsHelper: writes objects to the output and keeps the cross-reference section.
class TPDFObjectsHelper {
 public:
  explicit TPDFObjectsHelper(TStream& out) : out_(out) {}

  // The next object number (1, 2, 3 ... in order of reservation); its offset is set when its
  // header is written.
  int UpdateXRef();
  int NextNumber() const { return static_cast<int>(offsets_.size()) + 1; }
  // Writes "n 0 obj" and records the offset of object n.
  void BeginObject(int number);
  void Write(std::string_view bytes);
  void WriteLine(std::string_view line);
  int64_t Position() { return out_.Position(); }

  bool Compressed = true;
  const TPDFSecurity* Security = nullptr;

  // "<<" dictionary entries "/Length n" (+ "/Filter/FlateDecode") ">>", "stream", the data
  // (deflated when compressed, encrypted when protected), LF, "endstream", "endobj". The object's
  // header must have been written. extraEntries go inside the dictionary.
  void WriteStream(int number, std::string_view data, std::string_view extraEntries = {},
                   bool compress = true);
  // A text string: UTF-16BE with byte-order mark, upper-case hexadecimal between "<" and ">";
  // encrypted with the key of the object that holds it when protected.
  std::string TextString(std::u16string_view text, int objectNumber) const;
  // 8-bit bytes as a hexadecimal string, encrypted when protected.
  std::string ByteString(std::string_view bytes, int objectNumber) const;

  // The cross-reference table and the trailer (trailerEntries between "/Size" and ">>").
  void WriteXRefAndTrailer(int rootNumber, int infoNumber, const std::string& fileID, int encryptNumber);

 private:
  TStream& out_;
  std::vector<int64_t> offsets_;  // by object number - 1; -1 until written
};

}  // namespace pagewright
