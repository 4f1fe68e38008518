#include "platform/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

// The system's text for an error number (the process never sets a locale, so it is English).
std::string SysErrorMessage(int err) {
  char buf[256];
  return std::string(strerror_r(err, buf, sizeof buf));
}

// Grows or shrinks the bytes of a memory stream; a size that cannot be had raises the runtime's error
// instead of a library exception.
template <typename Bytes>
void ResizeBytes(Bytes& data, int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > data.max_size())
    throw EOutOfMemory("Out of memory while expanding memory stream");
  try {
    data.resize(static_cast<size_t>(size));
  } catch (const std::exception&) {
    throw EOutOfMemory("Out of memory while expanding memory stream");
  }
}

// The new position of a seek (saturated instead of overflowing).
int64_t SeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position : size;
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? INT64_MIN : INT64_MAX;
  return target;
}

}  // namespace

// --- TStream ----------------------------------------------------------------------------------------

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  int64_t copied = 0;
  char buf[65536];
  while (copied < count) {
    int64_t n = std::min<int64_t>(count - copied, sizeof buf);
    source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    copied += n;
  }
  return copied;
}

std::string TStream::ReadToEnd() {
  std::string out;
  int64_t pos = Position(), size = Size();
  if (size > pos) out.reserve(static_cast<size_t>(size - pos));
  char buf[65536];
  while (true) {
    int64_t n = Read(buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// --- TMemoryStream ------------------------------------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t size = Size();
  if (position_ < 0 || count <= 0 || position_ >= size) return 0;
  int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (position_ < 0 || count <= 0) return 0;
  if (count > INT64_MAX - position_) throw EOutOfMemory("Out of memory while expanding memory stream");
  int64_t end = position_ + count;
  if (end > Size()) ResizeBytes(data_, end);  // a gap after a seek past the end is zeros
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  ResizeBytes(data_, newSize);
  if (position_ > newSize) position_ = newSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t size = source.Size();
  SetSize(size);
  if (size > 0) source.ReadBuffer(data_.data(), size);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) const {
  if (!data_.empty()) dest.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

// --- TFileStream --------------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
    fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      int err = errno;
      throw EFCreateError("Cannot create file \"" + ExpandFileName(fileName) + "\". " + SysErrorMessage(err));
    }
  } else {
    int access = mode & 3;
    int flags = access == fmOpenWrite ? O_WRONLY : access == fmOpenReadWrite ? O_RDWR : O_RDONLY;
    fd_ = ::open(fileName.c_str(), flags | O_CLOEXEC);
    int err = errno;
    struct stat st;
    if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {  // a folder is not a file
      ::close(fd_);
      fd_ = -1;
      err = EISDIR;
    }
    if (fd_ < 0)
      throw EFOpenError("Cannot open file \"" + ExpandFileName(fileName) + "\". " + SysErrorMessage(err));
  }
}

TFileStream::TFileStream(const WideString& fileName, uint16_t mode)
    : TFileStream(Utf16ToUtf8(fileName), mode) {}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t total = 0;
  auto* p = static_cast<char*>(buffer);
  while (total < count) {
    ssize_t n = ::read(fd_, p + total, static_cast<size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t total = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (total < count) {
    ssize_t n = ::write(fd_, p + total, static_cast<size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  return static_cast<int64_t>(::lseek(fd_, static_cast<off_t>(offset), whence));
}

void TFileStream::SetSize(int64_t newSize) {
  int64_t pos = Position();
  if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) throw EWriteError("Stream write error");
  if (pos > newSize) Seek(newSize, soBeginning);
}

// --- Files named by untrusted input -----------------------------------------------------------------

std::unique_ptr<TMemoryStream> OpenRegularFileForReading(const std::string& fileName, int64_t maxBytes) {
  auto fail = [&](const std::string& reason) -> void {
    throw EFOpenError("Cannot open file \"" + ExpandFileName(fileName) + "\". " + reason);
  };
  // O_NONBLOCK: opening a pipe without a writer would otherwise wait forever.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) fail(SysErrorMessage(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) fail(SysErrorMessage(errno));
  if (S_ISDIR(st.st_mode)) fail(SysErrorMessage(EISDIR));
  if (!S_ISREG(st.st_mode)) fail("It is not a regular file");
  const std::string tooLarge = "It is larger than " + std::to_string(maxBytes) + " bytes";
  if (st.st_size > maxBytes) fail(tooLarge);
  auto out = std::make_unique<TMemoryStream>();
  out->SetSize(st.st_size);
  int64_t total = 0;
  // The file may grow or shrink while it is read: read to its end, never past the limit.
  for (;;) {
    if (total == out->Size()) {
      if (total > maxBytes) fail(tooLarge);
      out->SetSize(std::min<int64_t>(total + 65536, maxBytes + 1));
      if (total == out->Size()) fail(tooLarge);
    }
    const ssize_t n = ::read(fd, out->Memory() + total, static_cast<size_t>(out->Size() - total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(SysErrorMessage(errno));
    if (n == 0) break;
    total += n;
  }
  if (total > maxBytes) fail(tooLarge);
  out->SetSize(total);
  out->SetPosition(0);
  return out;
}

std::unique_ptr<TMemoryStream> OpenRegularFileForReading(const WideString& fileName, int64_t maxBytes) {
  return OpenRegularFileForReading(Utf16ToUtf8(fileName), maxBytes);
}

// --- TStringStream ------------------------------------------------------------------------------------

TStringStream::TStringStream(std::u16string_view text) : data_(Utf16ToUtf8(text)) {}

int64_t TStringStream::Read(void* buffer, int64_t count) {
  int64_t size = Size();
  if (position_ < 0 || count <= 0 || position_ >= size) return 0;
  int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TStringStream::Write(const void* buffer, int64_t count) {
  if (position_ < 0 || count <= 0) return 0;
  if (count > INT64_MAX - position_) throw EOutOfMemory("Out of memory while expanding memory stream");
  int64_t end = position_ + count;
  if (end > Size()) ResizeBytes(data_, end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

void TStringStream::SetSize(int64_t newSize) {
  ResizeBytes(data_, std::max<int64_t>(newSize, 0));
  if (position_ > Size()) position_ = Size();
}

WideString TStringStream::Text() const {
  return Utf8ToUtf16(data_);
}

// --- TByteReader --------------------------------------------------------------------------------------

bool TByteReader::Need(size_t n) {
  if (!failed_ && n <= Remaining()) return true;
  failed_ = true;
  pos_ = data_.size();
  if (throw_) throw EReadError("Stream read error");
  return false;
}

void TByteReader::Seek(size_t pos) {
  if (pos > data_.size()) {
    Need(data_.size() + 1);  // an overrun
    return;
  }
  if (!failed_) pos_ = pos;
}

void TByteReader::Skip(size_t n) {
  if (Need(n)) pos_ += n;
}

uint8_t TByteReader::U8() {
  return Need(1) ? data_[pos_++] : 0;
}

uint16_t TByteReader::U16LE() {
  if (!Need(2)) return 0;
  uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

uint16_t TByteReader::U16BE() {
  if (!Need(2)) return 0;
  uint16_t v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
  pos_ += 2;
  return v;
}

uint32_t TByteReader::U24BE() {
  if (!Need(3)) return 0;
  uint32_t v = (uint32_t{data_[pos_]} << 16) | (uint32_t{data_[pos_ + 1]} << 8) | data_[pos_ + 2];
  pos_ += 3;
  return v;
}

uint32_t TByteReader::U32LE() {
  if (!Need(4)) return 0;
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = (v << 8) | data_[pos_ + k];
  pos_ += 4;
  return v;
}

uint32_t TByteReader::U32BE() {
  if (!Need(4)) return 0;
  uint32_t v = 0;
  for (int k = 0; k < 4; ++k) v = (v << 8) | data_[pos_ + k];
  pos_ += 4;
  return v;
}

uint64_t TByteReader::U64LE() {
  if (!Need(8)) return 0;
  uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = (v << 8) | data_[pos_ + k];
  pos_ += 8;
  return v;
}

uint64_t TByteReader::U64BE() {
  if (!Need(8)) return 0;
  uint64_t v = 0;
  for (int k = 0; k < 8; ++k) v = (v << 8) | data_[pos_ + k];
  pos_ += 8;
  return v;
}

std::span<const uint8_t> TByteReader::Bytes(size_t n) {
  if (!Need(n)) return {};
  auto s = data_.subspan(pos_, n);
  pos_ += n;
  return s;
}

std::string_view TByteReader::Chars(size_t n) {
  auto s = Bytes(n);
  return std::string_view(reinterpret_cast<const char*>(s.data()), s.size());
}

TByteReader TByteReader::Sub(size_t offset, size_t length) {
  if (offset > data_.size() || length > data_.size() - offset) {
    Need(data_.size() + 1);  // an overrun; without exceptions the window is empty and failed
    TByteReader r(std::span<const uint8_t>(), throw_);
    r.failed_ = true;
    return r;
  }
  return TByteReader(data_.subspan(offset, length), throw_);
}

}  // namespace pagewright
