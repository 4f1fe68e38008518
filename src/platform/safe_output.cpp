#include "platform/safe_output.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/exceptions.h"
#include "platform/files.h"

namespace pagewright {

namespace {

std::string ErrorText(int err) {
  char buf[256];
  return std::string(strerror_r(err, buf, sizeof buf));
}

// The folder part of a name, "." for a bare name, so the temporary file lands beside the target.
std::string FolderOf(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

std::string BaseOf(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

uint32_t NextSalt() {
  static std::atomic<uint32_t> counter{[] {
    std::random_device rd;
    return static_cast<uint32_t>(rd());
  }()};
  return counter.fetch_add(0x9E3779B1u) ^ static_cast<uint32_t>(getpid());
}

}  // namespace

TSafeOutputStream::TSafeOutputStream(const std::string& fileName) : FFileName(fileName) {
  // The same words as any file that cannot be created, so callers see one form.
  auto refuse = [&](const std::string& reason) -> void {
    throw EFCreateError("Cannot create file \"" + ExpandFileName(fileName) + "\". " + reason);
  };
  if (fileName.empty()) throw EFCreateError("Cannot create a file without a name");
  if (fileName.back() == '/') refuse(ErrorText(EISDIR));
  struct stat st;
  mode_t mode = 0;
  bool keepMode = false;
  if (lstat(fileName.c_str(), &st) == 0) {
    // Renaming over a link would silently replace it; writing through it would change another file.
    if (S_ISLNK(st.st_mode)) refuse("It is a symbolic link and is not replaced");
    if (S_ISDIR(st.st_mode)) refuse(ErrorText(EISDIR));
    if (!S_ISREG(st.st_mode)) refuse("It is not a regular file and is not replaced");
    mode = st.st_mode & 07777;
    keepMode = true;
  } else if (errno != ENOENT) {
    refuse(ErrorText(errno));
  }
  const std::string folder = FolderOf(fileName);
  const std::string prefix = (folder == "/" ? std::string() : folder) + "/." + BaseOf(fileName) + ".";
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", NextSalt());
    std::string name = prefix + hex + ".tmp";
    FFd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (FFd >= 0) {
      FTempName = std::move(name);
      break;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  if (FFd < 0) refuse(ErrorText(err));
  // The replacement keeps the permissions of the file it replaces; a new file has the usual ones.
  if (keepMode && fchmod(FFd, mode) != 0) {
    err = errno;
    Discard();
    refuse(ErrorText(err));
  }
}

TSafeOutputStream::~TSafeOutputStream() {
  Discard();
}

void TSafeOutputStream::Fail(int err) {
  FFailed = true;
  if (!FFailedErrno) FFailedErrno = err;
  throw EWriteError(FFileName + ": " + ErrorText(err));
}

int64_t TSafeOutputStream::Read(void* buffer, int64_t count) {
  if (FFd < 0) return 0;
  int64_t total = 0;
  auto* p = static_cast<char*>(buffer);
  while (total < count) {
    const ssize_t n = ::read(FFd, p + total, static_cast<size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TSafeOutputStream::Write(const void* buffer, int64_t count) {
  if (FFd < 0) Fail(EBADF);
  if (FFailed) Fail(FFailedErrno);
  int64_t total = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (total < count) {
    const ssize_t n = ::write(FFd, p + total, static_cast<size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    if (n == 0) Fail(ENOSPC);
    total += n;
  }
  return total;
}

int64_t TSafeOutputStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (FFd < 0) return -1;
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  return static_cast<int64_t>(::lseek(FFd, static_cast<off_t>(offset), whence));
}

void TSafeOutputStream::SetSize(int64_t newSize) {
  if (FFd < 0) Fail(EBADF);
  const int64_t pos = Position();
  if (::ftruncate(FFd, static_cast<off_t>(newSize)) != 0) Fail(errno);
  if (pos > newSize) Seek(newSize, soBeginning);
}

void TSafeOutputStream::Commit() {
  if (FCommitted) return;
  if (FFd < 0) throw EWriteError(FFileName + ": " + ErrorText(EBADF));
  int err = FFailed ? FFailedErrno : 0;
  // Blocks the file system still had to allocate fail here (a full disk shows at fsync or close).
  if (!err && ::fsync(FFd) != 0) err = errno;
  if (!err) {
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0) err = errno;
  }
  if (!err && ::rename(FTempName.c_str(), FFileName.c_str()) != 0) err = errno;
  if (err) {
    Discard();
    FFailed = true;
    throw EWriteError(FFileName + ": " + ErrorText(err));
  }
  FCommitted = true;
  FTempName.clear();
  // The rename itself reaches the disk with the folder.
  const int dir = ::open(FolderOf(FFileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void TSafeOutputStream::Discard() {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  if (!FTempName.empty()) {
    ::unlink(FTempName.c_str());
    FTempName.clear();
  }
}

void WriteFileSafely(const std::string& fileName, std::string_view bytes) {
  TSafeOutputStream out(fileName);
  out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  out.Commit();
}

}  // namespace pagewright
