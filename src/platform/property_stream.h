// The binary property stream: how an object stores its extra, non-published properties
// (a picture's data, a dialog control's position, a text object's lists of formats).
//
// The stream is a sequence of records, each an 8-bit length and that many bytes of property
// name, followed by one typed value. An object takes part by overriding
// TPersistent::DefineProperties and describing each extra property to the filer it is given:
//
//   void TPicture::DefineProperties(TFiler& filer) {
//     filer.DefineBinaryProperty("Data", [this](TStream& s) { ReadData(s); },
//                                [this](TStream& s) { WriteData(s); }, Graphic() != nullptr);
//   }
//
// Writing asks every defined property with data to write itself; reading hands each record to
// the property of that name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streams.h"
#include "platform/types.h"

namespace pagewright {

class TPersistent;

// Value codes of the stream.
enum TValueType : uint8_t {
  vaNull = 0,  // end of a list
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,
  vaString = 6,  // 8-bit length
  vaIdent = 7,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,  // 32-bit length
  vaSet = 11,
  vaLString = 12,  // 32-bit length
  vaNil = 13,
  vaCollection = 14,
  vaSingle = 15,
  vaCurrency = 16,
  vaDate = 17,
  vaWString = 18,  // UTF-16, 32-bit length in characters
  vaInt64 = 19,
  vaUTF8String = 20,  // 32-bit length
  vaDouble = 21
};

class TPropertyWriter {
 public:
  explicit TPropertyWriter(TStream& stream) : FStream(stream) {}

  void WritePropName(std::string_view name);
  // The smallest of the 8-, 16- and 32-bit codes that holds the value; 64-bit beyond that.
  void WriteInteger(int64_t value);
  void WriteBoolean(bool value);
  // Pure ASCII as an 8-bit string (32-bit length when longer than 255), anything else as UTF-8.
  void WriteString(std::u16string_view value);
  void WriteWideString(std::u16string_view value);
  void WriteUtf8String(std::string_view utf8);
  void WriteListBegin();
  void WriteListEnd();
  // A binary value: `write` produces the bytes, the length is written ahead of them.
  void WriteBinary(const std::function<void(TStream&)>& write);

 private:
  void WriteByte(uint8_t b);
  void WriteBytes(const void* data, size_t n);
  void WriteU32(uint32_t v);
  TStream& FStream;
};

// Reads records from bytes; every malformed value raises EReadError.
class TPropertyReader {
 public:
  explicit TPropertyReader(std::string_view bytes);

  bool AtEnd() const { return FReader.AtEnd(); }
  std::string ReadPropName();
  // The code of the next value without consuming it.
  TValueType NextValue();
  int64_t ReadInteger();
  bool ReadBoolean();
  // Any of the string codes.
  WideString ReadString();
  void ReadListBegin();
  bool EndOfList();
  void ReadListEnd();
  std::string ReadBinary();
  // Passes over one value of any known code, lists and collections included.
  void SkipValue();

 private:
  void SkipValue(int depth);
  TValueType ReadValueType();
  void Expect(TValueType type);
  std::string FBytes;
  TByteReader FReader;
};

// What an object is given to describe its extra properties.
class TFiler {
 public:
  using TReaderProc = std::function<void(TPropertyReader&)>;
  using TWriterProc = std::function<void(TPropertyWriter&)>;
  using TStreamProc = std::function<void(TStream&)>;

  virtual ~TFiler() = default;
  // `hasData` says whether writing should store the property at all.
  virtual void DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc& write,
                              bool hasData) = 0;
  // The stream handed to `read` holds exactly the property's bytes, positioned at 0.
  virtual void DefineBinaryProperty(std::string_view name, const TStreamProc& read, const TStreamProc& write,
                                    bool hasData) = 0;
};

// The extra properties of `obj` as stream bytes; empty when it stores none.
std::string WriteExtraProperties(TPersistent& obj);
// Applies the records of `bytes` to `obj` one after the other. A record no defined property
// takes is skipped. Raises EReadError on malformed bytes (records before it stay applied).
void ReadExtraProperties(TPersistent& obj, std::string_view bytes);

// Two upper-case hexadecimal digits per byte, and back; HexToBytes raises EConvertError on an
// odd length or a character that is not a hexadecimal digit.
std::string BytesToHex(std::string_view bytes);
std::string HexToBytes(std::u16string_view hex);

}  // namespace pagewright
