#include "platform/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace pagewright {

namespace {

std::atomic<bool> gSyncBeforeRename{true};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Blocks the interrupt signals while the registry changes, so the handler never sees a list
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

 private:
  sigset_t FOld;
};

}  // namespace

struct TAtomicFileRegistry {
  static TAtomicFile* volatile head;

  static void Add(TAtomicFile* f) {
    SignalBlock block;
    f->FPrev = nullptr;
    f->FNext = head;
    if (head) head->FPrev = f;
    head = f;
  }
  static void Remove(TAtomicFile* f) {
    SignalBlock block;
    if (f->FPrev) f->FPrev->FNext = f->FNext;
    if (f->FNext) f->FNext->FPrev = f->FPrev;
    if (head == f) head = f->FNext;
    f->FPrev = f->FNext = nullptr;
  }
  // Async-signal-safe: reads the list and calls unlink only.
  static void RemoveAllTemporaries() {
    for (TAtomicFile* f = head; f; f = f->FNext) unlink(f->FTempPath.c_str());
  }
};

TAtomicFile* volatile TAtomicFileRegistry::head = nullptr;

namespace {

// Scratch folders, read by the interrupt handler: a descriptor to list the folder with and its path.
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
  TAtomicFileRegistry::RemoveAllTemporaries();
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
  static bool installed = false;
  if (installed) return;
  installed = true;
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

TScratchFolder::TScratchFolder() {
  std::error_code ec;
  std::string base = std::filesystem::temp_directory_path(ec).string();
  if (ec || base.empty()) base = "/tmp";
  std::string tmpl = base + "/pagewright-XXXXXX";
  SignalBlock block;
  if (!mkdtemp(tmpl.data())) throw EAtomicFileError(base + ": cannot create a temporary folder: " + std::strerror(errno));
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

void TAtomicFile::SetSyncBeforeRename(bool v) {
  gSyncBeforeRename = v;
}

TAtomicFile::TAtomicFile(std::string finalPath) : FFinalPath(std::move(finalPath)) {
  if (FFinalPath.empty() || FFinalPath.back() == '/') throw EAtomicFileError(FFinalPath + ": not a file name");
  const std::string folder = FolderOf(FFinalPath);
  std::string base = BaseNameOf(FFinalPath);
  // Keeps the temporary name within the usual 255-byte limit of a file name.
  if (base.size() > 200) base.resize(200);
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  int error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
    std::string temp = (folder == "/" ? "" : folder) + "/." + base + "." + suffix + ".tmp";
    if (FFinalPath.find('/') == std::string::npos) temp = "." + base + "." + suffix + ".tmp";
    {
      SignalBlock block;  // created and registered as one step
      const int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) {
        FFd = fd;
        FTempPath = std::move(temp);
        TAtomicFileRegistry::Add(this);
        return;
      }
      error = errno;
    }
    if (error != EEXIST) break;
  }
  Fail(error);
}

TAtomicFile::~TAtomicFile() {
  if (!FCommitted) Discard();
}

void TAtomicFile::Fail(int error) const {
  throw EAtomicFileError(FFinalPath + ": " + std::strerror(error));
}

int64_t TAtomicFile::Read(void* buffer, int64_t count) {
  if (FFd < 0 || count <= 0) return 0;
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = read(FFd, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TAtomicFile::Write(const void* buffer, int64_t count) {
  if (FFd < 0) throw EAtomicFileError(FFinalPath + ": the file is already closed");
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = write(FFd, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    done += n;
  }
  return done;
}

int64_t TAtomicFile::Seek(int64_t offset, TSeekOrigin origin) {
  if (FFd < 0) return 0;
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t pos = lseek(FFd, offset, whence);
  if (pos < 0) Fail(errno);
  return pos;
}

int64_t TAtomicFile::Size() {
  if (FFd < 0) return 0;
  struct stat st {};
  if (fstat(FFd, &st) != 0) Fail(errno);
  return st.st_size;
}

void TAtomicFile::SetSize(int64_t newSize) {
  if (FFd < 0) throw EAtomicFileError(FFinalPath + ": the file is already closed");
  if (ftruncate(FFd, newSize) != 0) Fail(errno);
}

void TAtomicFile::FinishWriting() {
  if (FFd < 0) return;
  const int fd = FFd;
  FFd = -1;
  if (gSyncBeforeRename && fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    const int error = errno;
    close(fd);
    Fail(error);
  }
  if (close(fd) != 0 && errno != EINTR) Fail(errno);
}

void TAtomicFile::Commit() {
  if (FCommitted) return;
  if (FDiscarded) throw EAtomicFileError(FFinalPath + ": the output was discarded");
  FinishWriting();
  if (rename(FTempPath.c_str(), FFinalPath.c_str()) != 0) Fail(errno);
  FCommitted = true;
  TAtomicFileRegistry::Remove(this);
}

void TAtomicFile::Discard() noexcept {
  if (FCommitted || FDiscarded) return;
  FDiscarded = true;
  if (FFd >= 0) {
    close(FFd);
    FFd = -1;
  }
  if (!FTempPath.empty()) {
    unlink(FTempPath.c_str());
    TAtomicFileRegistry::Remove(this);
  }
}

}  // namespace pagewright
