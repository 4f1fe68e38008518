#include "platform/safe_output.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
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

std::atomic<bool> gSyncBeforeRename{true};

// Blocks the interrupt signals while the lists the handler reads change, so it never sees a list
// half linked.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, &FOld);
  }
  ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &FOld, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t FOld;
};

uint32_t NextSalt() {
  static std::atomic<uint32_t> counter{[] {
    std::random_device rd;
    return static_cast<uint32_t>(rd());
  }()};
  return counter.fetch_add(0x9E3779B1u) ^ static_cast<uint32_t>(getpid());
}

}  // namespace

// The pending temporary files, newest first, for the interrupt handler.
struct TPendingOutputs {
  static TSafeOutputStream* volatile head;

  static void Add(TSafeOutputStream* f) {
    f->FPrev = nullptr;
    f->FNext = head;
    if (head) head->FPrev = f;
    head = f;
    f->FRegistered = true;
  }
  static void Remove(TSafeOutputStream* f) {
    if (!f->FRegistered) return;
    SignalBlock block;
    if (f->FPrev) f->FPrev->FNext = f->FNext;
    if (f->FNext) f->FNext->FPrev = f->FPrev;
    if (head == f) head = f->FNext;
    f->FPrev = f->FNext = nullptr;
    f->FRegistered = false;
  }
  // Async-signal-safe: walks the list and calls unlink only.
  static void RemoveAll() {
    for (TSafeOutputStream* f = head; f; f = f->FNext) unlink(f->FTempName.c_str());
  }
};

TSafeOutputStream* volatile TPendingOutputs::head = nullptr;

namespace {

// Scratch folders, read by the interrupt handler: a descriptor to list the folder with, and its path.
struct ScratchSlot {
  volatile int fd = -1;
  char path[PATH_MAX] = {};
};
ScratchSlot gScratch[8];

// Async-signal-safe: lists the folder with the raw system call and unlinks what it finds.
void EmptyAndRemove(int fd, const char* path) {
  alignas(8) char buf[4096];
  lseek(fd, 0, SEEK_SET);
  for (int rounds = 0; rounds < 1000; ++rounds) {
    const long n = syscall(SYS_getdents64, fd, buf, sizeof buf);
    if (n <= 0) break;
    for (long off = 0; off < n;) {
      // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name
      unsigned short reclen;
      std::memcpy(&reclen, buf + off + 16, sizeof reclen);
      const char* name = buf + off + 19;
      if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))) unlinkat(fd, name, 0);
      off += reclen;
    }
  }
  rmdir(path);
}

void OnInterrupt(int sig) {
  TPendingOutputs::RemoveAll();
  for (ScratchSlot& s : gScratch)
    if (s.fd >= 0) EmptyAndRemove(s.fd, s.path);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  raise(sig);
}

}  // namespace

void InstallInterruptCleanup() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&sa.sa_mask, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction old {};
    sigaction(s, nullptr, &old);
    // A signal the shell told us to ignore (nohup, background jobs) stays ignored.
    if (old.sa_handler == SIG_IGN) continue;
    sigaction(s, &sa, nullptr);
  }
}

TScratchFolder::TScratchFolder(const std::string& parent) {
  std::error_code ec;
  std::string base = parent;
  if (base.empty()) base = std::filesystem::temp_directory_path(ec).string();
  if (ec || base.empty()) base = "/tmp";
  std::string tmpl = base + "/.pagewright-XXXXXX";
  SignalBlock block;
  if (!mkdtemp(tmpl.data()))
    throw EFCreateError("Cannot create a temporary folder in \"" + base + "\". " + ErrorText(errno));
  FPath = tmpl;
  FFd = open(FPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < 8 && FFd >= 0 && FPath.size() < PATH_MAX; ++i) {
    if (gScratch[i].fd >= 0) continue;
    std::memcpy(gScratch[i].path, FPath.c_str(), FPath.size() + 1);
    gScratch[i].fd = FFd;
    FSlot = i;
    break;
  }
}

TScratchFolder::~TScratchFolder() {
  {
    SignalBlock block;
    if (FSlot >= 0) gScratch[FSlot].fd = -1;
  }
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
  if (FFd >= 0) close(FFd);
}

void TSafeOutputStream::SetSyncBeforeRename(bool v) {
  gSyncBeforeRename = v;
}

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
  std::string base = BaseOf(fileName);
  // Keeps the temporary name within the usual 255-byte limit of a file name.
  if (base.size() > 200) base.resize(200);
  const std::string prefix = (folder == "/" ? std::string() : folder) + "/." + base + ".";
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", NextSalt());
    std::string name = prefix + hex + ".tmp";
    SignalBlock block;  // created and registered as one step
    FFd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (FFd >= 0) {
      FTempName = std::move(name);
      TPendingOutputs::Add(this);
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
  FlushBuffer();
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

namespace {
// Writers such as the PDF export write a line at a time; the file gets blocks of this size.
constexpr size_t kWriteBlock = 64 * 1024;
}  // namespace

int64_t TSafeOutputStream::Write(const void* buffer, int64_t count) {
  if (FFd < 0) Fail(EBADF);
  if (FFailed) Fail(FFailedErrno);
  if (count <= 0) return 0;
  const auto* p = static_cast<const char*>(buffer);
  if (FBuffer.size() + static_cast<size_t>(count) > kWriteBlock) FlushBuffer();
  if (static_cast<size_t>(count) >= kWriteBlock) {
    WriteThrough(p, count);
  } else {
    if (FBuffer.capacity() < kWriteBlock) FBuffer.reserve(kWriteBlock);
    FBuffer.append(p, static_cast<size_t>(count));
  }
  return count;
}

void TSafeOutputStream::FlushBuffer() {
  if (FBuffer.empty() || FFd < 0) return;
  try {
    WriteThrough(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
  } catch (...) {
    FBuffer.clear();  // a failed flush is not written again at the next call
    throw;
  }
  FBuffer.clear();
}

void TSafeOutputStream::WriteThrough(const char* p, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    const ssize_t n = ::write(FFd, p + total, static_cast<size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    if (n == 0) Fail(ENOSPC);
    total += n;
  }
}

int64_t TSafeOutputStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (FFd < 0) return -1;
  if (origin == soCurrent && offset == 0) {
    // Asking for the position (writers ask at every object) needs no flush.
    const off_t at = ::lseek(FFd, 0, SEEK_CUR);
    return at < 0 ? -1 : static_cast<int64_t>(at) + static_cast<int64_t>(FBuffer.size());
  }
  FlushBuffer();
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  return static_cast<int64_t>(::lseek(FFd, static_cast<off_t>(offset), whence));
}

void TSafeOutputStream::SetSize(int64_t newSize) {
  if (FFd < 0) Fail(EBADF);
  FlushBuffer();
  const int64_t pos = Position();
  if (::ftruncate(FFd, static_cast<off_t>(newSize)) != 0) Fail(errno);
  if (pos > newSize) Seek(newSize, soBeginning);
}

void TSafeOutputStream::FinishWriting(bool sync) {
  if (FCommitted || FTempName.empty()) throw EWriteError(FFileName + ": " + ErrorText(EBADF));
  if (FFd < 0 && !FFailed) return;  // finished before
  if (!FFailed) {
    try {
      FlushBuffer();
    } catch (const EWriteError&) {
      // FFailed and its reason are set; reported below with the cleanup.
    }
  }
  int err = FFailed ? FFailedErrno : 0;
  // Blocks the file system still had to allocate fail here (a full disk shows at fsync or close).
  if (!err && sync && gSyncBeforeRename && ::fsync(FFd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  if (FFd >= 0) {
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0 && errno != EINTR && !err) err = errno;
  }
  if (err) {
    Discard();
    FFailed = true;
    throw EWriteError(FFileName + ": " + ErrorText(err));
  }
}

void TSafeOutputStream::Commit(bool syncFolder) {
  if (FCommitted) return;
  FinishWriting();
  if (::rename(FTempName.c_str(), FFileName.c_str()) != 0) {
    const int err = errno;
    Discard();
    FFailed = true;
    throw EWriteError(FFileName + ": " + ErrorText(err));
  }
  FCommitted = true;
  TPendingOutputs::Remove(this);
  FTempName.clear();
  if (!gSyncBeforeRename || !syncFolder) return;
  // The rename itself reaches the disk with the folder.
  const int dir = ::open(FolderOf(FFileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void TSafeOutputStream::Discard() noexcept {
  FBuffer.clear();
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  if (!FTempName.empty()) {
    ::unlink(FTempName.c_str());
    TPendingOutputs::Remove(this);
    FTempName.clear();
  }
}

namespace {

// Each distinct folder of the files once: open it and flush (the file system or the folder).
void SyncEachFolder(const std::vector<std::string>& fileNames, bool wholeFileSystem) {
  if (!gSyncBeforeRename) return;
  std::vector<std::string> done;
  for (const std::string& name : fileNames) {
    const std::string folder = FolderOf(name);
    if (std::find(done.begin(), done.end(), folder) != done.end()) continue;
    done.push_back(folder);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) throw EWriteError(name + ": " + ErrorText(errno));
    const int rc = wholeFileSystem ? ::syncfs(dir) : ::fsync(dir);
    const int err = errno;
    ::close(dir);
    if (rc != 0 && err != EINVAL && err != EROFS) throw EWriteError(name + ": " + ErrorText(err));
  }
}

}  // namespace

void SyncFileSystemsOf(const std::vector<std::string>& fileNames) {
  SyncEachFolder(fileNames, true);
}

void SyncFoldersOf(const std::vector<std::string>& fileNames) {
  SyncEachFolder(fileNames, false);
}

void WriteFileSafely(const std::string& fileName, std::string_view bytes) {
  TSafeOutputStream out(fileName);
  out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  out.Commit();
}

}  // namespace pagewright
