// Streams of the runtime: the abstract stream, memory, file and string streams, and a bounds-checked
// reader over bytes for the parsers of fonts, pictures and property streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace pagewright {

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at or past the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position. Positions past the end are allowed.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

  // Exactly count bytes, or EReadError "Stream read error" / EWriteError "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteBuffer(std::string_view bytes) { WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); }
  // Copies count bytes from the source's position; count 0 copies the whole source from its beginning.
  // Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
  // The bytes from the position to the end (the position moves to the end).
  std::string ReadToEnd();
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  // Growing fills with zeros; shrinking below the position moves the position to the new end.
  void SetSize(int64_t newSize) override;

  void Clear();
  // Replaces the contents by the source's bytes from its beginning; the position becomes 0.
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& dest) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  // Direct access to the bytes (valid until the size changes).
  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  std::span<const uint8_t> Bytes() const { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// Open modes and share modes, combined with "|". Sharing is not enforced on this platform.
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
inline constexpr uint16_t fmCreate = 0xFF00;  // create or truncate, for reading and writing

class TFileStream : public TStream {
 public:
  // Failures raise EFCreateError "Cannot create file \"name\". <reason>" (fmCreate) or
  // EFOpenError "Cannot open file \"name\". <reason>"; the file name is UTF-8.
  TFileStream(const std::string& fileName, uint16_t mode);
  TFileStream(const WideString& fileName, uint16_t mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  int fd_ = -1;
};

// The whole contents of a regular file of at most maxBytes, for files that untrusted input names
// (a parent template, a picture's file link, a script's used unit). Never blocks on or reads from a
// device, a pipe or a folder: the file is opened without waiting and checked before any byte is read.
// Failures raise EFOpenError "Cannot open file \"<full name>\". <reason>", where the reason may be
// "It is not a regular file" or "It is larger than <maxBytes> bytes".
std::unique_ptr<TMemoryStream> OpenRegularFileForReading(const std::string& fileName, int64_t maxBytes);
std::unique_ptr<TMemoryStream> OpenRegularFileForReading(const WideString& fileName, int64_t maxBytes);

// A memory stream whose bytes are a std::string (UTF-8 text, by convention).
class TStringStream : public TStream {
 public:
  TStringStream() = default;
  explicit TStringStream(std::string data) : data_(std::move(data)) {}
  explicit TStringStream(std::u16string_view text);  // stored as UTF-8
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t newSize) override;

  const std::string& DataString() const { return data_; }
  WideString Text() const;  // the bytes read as UTF-8

 private:
  std::string data_;
  int64_t position_ = 0;
};

// Bounds-checked reading over bytes that came from a file. Every read checks the remaining length
// first. With throwOnOverrun (the default) an overrun raises EReadError "Stream read error"; otherwise
// it sets Failed(), returns zeros (or an empty span), and leaves the position at the end.
class TByteReader {
 public:
  explicit TByteReader(std::span<const uint8_t> data, bool throwOnOverrun = true)
      : data_(data), throw_(throwOnOverrun) {}
  TByteReader(std::string_view data, bool throwOnOverrun = true)
      : TByteReader(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
                    throwOnOverrun) {}

  size_t Size() const { return data_.size(); }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  bool Failed() const { return failed_; }
  bool CanRead(size_t n) const { return n <= Remaining(); }

  // Moves to an absolute position; past the end is an overrun.
  void Seek(size_t pos);
  void Skip(size_t n);

  uint8_t U8();
  int8_t I8() { return static_cast<int8_t>(U8()); }
  uint16_t U16LE();
  uint16_t U16BE();
  int16_t I16LE() { return static_cast<int16_t>(U16LE()); }
  int16_t I16BE() { return static_cast<int16_t>(U16BE()); }
  uint32_t U24BE();
  uint32_t U32LE();
  uint32_t U32BE();
  int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
  int32_t I32BE() { return static_cast<int32_t>(U32BE()); }
  uint64_t U64LE();
  uint64_t U64BE();
  // The next n bytes (a view into the data).
  std::span<const uint8_t> Bytes(size_t n);
  std::string_view Chars(size_t n);
  // A reader over [offset, offset + length) of the same data, with the same overrun behaviour; an
  // out-of-range window is an overrun of this reader.
  TByteReader Sub(size_t offset, size_t length);

 private:
  bool Need(size_t n);
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool throw_;
  bool failed_ = false;
};

}  // namespace pagewright
