#include "platform/property_stream.h"

#include <limits>

#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"

namespace pagewright {
namespace {

// Lists nest in lists; input decides how deep, so the depth is bounded.
constexpr int kMaxNesting = 64;

[[noreturn]] void RaiseInvalidStream() {
  throw EReadError("Invalid property stream");
}

bool IsAscii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

class TWritingFiler : public TFiler {
 public:
  explicit TWritingFiler(TPropertyWriter& writer) : FWriter(writer) {}
  void DefineProperty(std::string_view name, const TReaderProc&, const TWriterProc& write,
                      bool hasData) override {
    if (!hasData || !write) return;
    FWriter.WritePropName(name);
    write(FWriter);
  }
  void DefineBinaryProperty(std::string_view name, const TStreamProc&, const TStreamProc& write,
                            bool hasData) override {
    if (!hasData || !write) return;
    FWriter.WritePropName(name);
    FWriter.WriteBinary(write);
  }

 private:
  TPropertyWriter& FWriter;
};

class TReadingFiler : public TFiler {
 public:
  TReadingFiler(TPropertyReader& reader, std::string name) : FReader(reader), FName(std::move(name)) {}
  bool Handled() const { return FHandled; }
  void DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc&, bool) override {
    if (FHandled || !read || !SameTextAscii(name, FName)) return;
    FHandled = true;
    read(FReader);
  }
  void DefineBinaryProperty(std::string_view name, const TStreamProc& read, const TStreamProc&,
                            bool) override {
    if (FHandled || !read || !SameTextAscii(name, FName)) return;
    FHandled = true;
    const std::string bytes = FReader.ReadBinary();
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    read(stream);
  }

 private:
  static bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
      if (x != y) return false;
    }
    return true;
  }
  TPropertyReader& FReader;
  std::string FName;
  bool FHandled = false;
};

}  // namespace

// --- writer ---------------------------------------------------------------------------------------

void TPropertyWriter::WriteByte(uint8_t b) {
  FStream.WriteBuffer(&b, 1);
}

void TPropertyWriter::WriteBytes(const void* data, size_t n) {
  if (n) FStream.WriteBuffer(data, static_cast<int64_t>(n));
}

void TPropertyWriter::WriteU32(uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
  WriteBytes(b, 4);
}

void TPropertyWriter::WritePropName(std::string_view name) {
  if (name.size() > 255) throw EWriteError("Property name too long: " + std::string(name.substr(0, 40)));
  WriteByte(static_cast<uint8_t>(name.size()));
  WriteBytes(name.data(), name.size());
}

void TPropertyWriter::WriteInteger(int64_t value) {
  if (value >= -128 && value <= 127) {
    WriteByte(vaInt8);
    WriteByte(static_cast<uint8_t>(value));
  } else if (value >= -32768 && value <= 32767) {
    WriteByte(vaInt16);
    const auto v = static_cast<uint16_t>(value);
    WriteByte(static_cast<uint8_t>(v));
    WriteByte(static_cast<uint8_t>(v >> 8));
  } else if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
    WriteByte(vaInt32);
    WriteU32(static_cast<uint32_t>(value));
  } else {
    WriteByte(vaInt64);
    const auto v = static_cast<uint64_t>(value);
    WriteU32(static_cast<uint32_t>(v));
    WriteU32(static_cast<uint32_t>(v >> 32));
  }
}

void TPropertyWriter::WriteBoolean(bool value) {
  WriteByte(value ? vaTrue : vaFalse);
}

void TPropertyWriter::WriteString(std::u16string_view value) {
  if (!IsAscii(value)) {
    WriteUtf8String(Utf16ToUtf8(value));
    return;
  }
  if (value.size() <= 255) {
    WriteByte(vaString);
    WriteByte(static_cast<uint8_t>(value.size()));
  } else {
    WriteByte(vaLString);
    WriteU32(static_cast<uint32_t>(value.size()));
  }
  for (char16_t c : value) WriteByte(static_cast<uint8_t>(c));
}

void TPropertyWriter::WriteWideString(std::u16string_view value) {
  WriteByte(vaWString);
  WriteU32(static_cast<uint32_t>(value.size()));
  for (char16_t c : value) {
    WriteByte(static_cast<uint8_t>(c));
    WriteByte(static_cast<uint8_t>(c >> 8));
  }
}

void TPropertyWriter::WriteUtf8String(std::string_view utf8) {
  WriteByte(vaUTF8String);
  WriteU32(static_cast<uint32_t>(utf8.size()));
  WriteBytes(utf8.data(), utf8.size());
}

void TPropertyWriter::WriteListBegin() {
  WriteByte(vaList);
}
void TPropertyWriter::WriteListEnd() {
  WriteByte(vaNull);
}

void TPropertyWriter::WriteBinary(const std::function<void(TStream&)>& write) {
  TMemoryStream data;
  write(data);
  if (data.Size() > std::numeric_limits<uint32_t>::max()) throw EWriteError("Binary property too large");
  WriteByte(vaBinary);
  WriteU32(static_cast<uint32_t>(data.Size()));
  WriteBytes(data.Memory(), static_cast<size_t>(data.Size()));
}

// --- reader ---------------------------------------------------------------------------------------

TPropertyReader::TPropertyReader(std::string_view bytes) : FBytes(bytes), FReader(std::string_view(FBytes)) {}

TValueType TPropertyReader::ReadValueType() {
  if (FReader.AtEnd()) RaiseInvalidStream();
  return static_cast<TValueType>(FReader.U8());
}

TValueType TPropertyReader::NextValue() {
  if (FReader.AtEnd()) RaiseInvalidStream();
  const size_t at = FReader.Position();
  const auto t = static_cast<TValueType>(FReader.U8());
  FReader.Seek(at);
  return t;
}

void TPropertyReader::Expect(TValueType type) {
  if (ReadValueType() != type) RaiseInvalidStream();
}

std::string TPropertyReader::ReadPropName() {
  const uint8_t n = FReader.U8();
  if (n == 0) RaiseInvalidStream();
  return std::string(FReader.Chars(n));
}

int64_t TPropertyReader::ReadInteger() {
  switch (ReadValueType()) {
    case vaInt8:
      return FReader.I8();
    case vaInt16:
      return FReader.I16LE();
    case vaInt32:
      return FReader.I32LE();
    case vaInt64:
      return static_cast<int64_t>(FReader.U64LE());
    default:
      RaiseInvalidStream();
  }
}

bool TPropertyReader::ReadBoolean() {
  const TValueType t = ReadValueType();
  if (t == vaTrue) return true;
  if (t == vaFalse) return false;
  RaiseInvalidStream();
}

WideString TPropertyReader::ReadString() {
  switch (ReadValueType()) {
    case vaString:
    case vaIdent: {
      const std::string_view s = FReader.Chars(FReader.U8());
      return WideString(s.begin(), s.end());  // 8-bit text is Latin-1 here
    }
    case vaLString: {
      const std::string_view s = FReader.Chars(FReader.U32LE());
      return WideString(s.begin(), s.end());
    }
    case vaWString: {
      const uint32_t n = FReader.U32LE();
      if (n > FReader.Remaining() / 2) RaiseInvalidStream();
      WideString s(n, u'\0');
      for (uint32_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(FReader.U16LE());
      return s;
    }
    case vaUTF8String:
      return Utf8ToUtf16(FReader.Chars(FReader.U32LE()));
    default:
      RaiseInvalidStream();
  }
}

void TPropertyReader::ReadListBegin() {
  Expect(vaList);
}

bool TPropertyReader::EndOfList() {
  return NextValue() == vaNull;
}

void TPropertyReader::ReadListEnd() {
  Expect(vaNull);
}

std::string TPropertyReader::ReadBinary() {
  Expect(vaBinary);
  return std::string(FReader.Chars(FReader.U32LE()));
}

void TPropertyReader::SkipValue() {
  SkipValue(0);
}

void TPropertyReader::SkipValue(int depth) {
  if (depth > kMaxNesting) RaiseInvalidStream();
  const TValueType t = ReadValueType();
  switch (t) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil:
      return;
    case vaList:
      while (NextValue() != vaNull) SkipValue(depth + 1);
      FReader.Skip(1);
      return;
    case vaInt8:
      FReader.Skip(1);
      return;
    case vaInt16:
      FReader.Skip(2);
      return;
    case vaInt32:
    case vaSingle:
      FReader.Skip(4);
      return;
    case vaInt64:
    case vaCurrency:
    case vaDate:
    case vaDouble:
      FReader.Skip(8);
      return;
    case vaExtended:
      FReader.Skip(10);
      return;
    case vaString:
    case vaIdent:
      FReader.Skip(FReader.U8());
      return;
    case vaLString:
    case vaBinary:
    case vaUTF8String:
      FReader.Skip(FReader.U32LE());
      return;
    case vaWString: {
      const uint32_t n = FReader.U32LE();
      if (n > FReader.Remaining() / 2) RaiseInvalidStream();
      FReader.Skip(size_t{n} * 2);
      return;
    }
    case vaSet:
      // Element names up to an empty one.
      for (uint8_t n = FReader.U8(); n != 0; n = FReader.U8()) FReader.Skip(n);
      return;
    case vaCollection:
      // Items: an optional order value, then a list of property records.
      while (NextValue() != vaNull) {
        const TValueType order = NextValue();
        if (order == vaInt8 || order == vaInt16 || order == vaInt32) SkipValue(depth + 1);
        Expect(vaList);
        while (NextValue() != vaNull) {
          ReadPropName();
          SkipValue(depth + 1);
        }
        FReader.Skip(1);
      }
      FReader.Skip(1);
      return;
  }
  RaiseInvalidStream();
}

// --- objects --------------------------------------------------------------------------------------

std::string WriteExtraProperties(TPersistent& obj) {
  TMemoryStream stream;
  TPropertyWriter writer(stream);
  TWritingFiler filer(writer);
  obj.DefineProperties(filer);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

void ReadExtraProperties(TPersistent& obj, std::string_view bytes) {
  TPropertyReader reader(bytes);
  while (!reader.AtEnd()) {
    TReadingFiler filer(reader, reader.ReadPropName());
    obj.DefineProperties(filer);
    if (!filer.Handled()) reader.SkipValue();
  }
}

std::string BytesToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

std::string HexToBytes(std::u16string_view hex) {
  auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    throw EConvertError("Invalid hexadecimal text");
  };
  if (hex.size() % 2) throw EConvertError("Invalid hexadecimal text");
  std::string bytes(hex.size() / 2, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(digit(hex[2 * i]) << 4 | digit(hex[2 * i + 1]));
  return bytes;
}

}  // namespace pagewright
