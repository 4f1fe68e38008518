#include "platform/files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

template <typename Char>
bool IsDelim(Char c) {
  return c == Char('/') || c == Char('\\');
}

// Index just after the last delimiter (0 when none).
template <typename S>
size_t NameStart(const S& s) {
  for (size_t i = s.size(); i > 0; --i)
    if (IsDelim(s[i - 1])) return i;
  return 0;
}

template <typename S>
S PathPart(const S& s) {
  return s.substr(0, NameStart(s));
}

template <typename S>
S DirPart(const S& s) {
  size_t n = NameStart(s);
  // Keep a lone root delimiter ("/name" gives "/").
  if (n > 1) --n;
  return s.substr(0, n);
}

template <typename S>
S NamePart(const S& s) {
  return s.substr(NameStart(s));
}

// Index of the extension's dot, or npos.
template <typename S>
size_t ExtStart(const S& s) {
  size_t start = NameStart(s);
  for (size_t i = s.size(); i > start; --i)
    if (s[i - 1] == typename S::value_type('.')) return i - 1;
  return S::npos;
}

template <typename S>
S ExtPart(const S& s) {
  size_t p = ExtStart(s);
  return p == S::npos ? S() : s.substr(p);
}

template <typename S>
S ChangeExt(const S& s, const S& ext) {
  size_t p = ExtStart(s);
  return (p == S::npos ? s : s.substr(0, p)) + ext;
}

template <typename S>
S IncludeDelim(const S& s) {
  if (!s.empty() && IsDelim(s.back())) return s;
  return s + typename S::value_type('/');
}

template <typename S>
S ExcludeDelim(const S& s) {
  if (s.size() > 1 && IsDelim(s.back())) return s.substr(0, s.size() - 1);
  return s;
}

std::mutex gTempDirMutex;
std::string gTempDir;  // empty: the default

}  // namespace

bool FileExists(const std::string& fileName) {
  struct stat st;
  return !fileName.empty() && stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& dirName) {
  struct stat st;
  return !dirName.empty() && stat(dirName.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& dirName) {
  std::string dir = ExcludeTrailingPathDelimiter(dirName);
  if (dir.empty()) throw EInOutError("Unable to create directory");
  if (DirectoryExists(dir)) return true;
  std::string parent = ExtractFileDir(dir);
  if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
  return CreateDir(dir) || DirectoryExists(dir);  // another process may have made it meanwhile
}

bool CreateDir(const std::string& dirName) {
  return mkdir(dirName.c_str(), 0777) == 0;
}

bool RemoveDir(const std::string& dirName) {
  return rmdir(ExcludeTrailingPathDelimiter(dirName).c_str()) == 0;
}

bool DeleteFile(const std::string& fileName) {
  return !DirectoryExists(fileName) && unlink(fileName.c_str()) == 0;
}

bool RenameFile(const std::string& oldName, const std::string& newName) {
  if (renameat2(AT_FDCWD, oldName.c_str(), AT_FDCWD, newName.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system cannot refuse to replace by itself.
  struct stat st;
  if (lstat(newName.c_str(), &st) == 0) return false;
  return rename(oldName.c_str(), newName.c_str()) == 0;
}

bool FileExists(const WideString& fileName) {
  return FileExists(Utf16ToUtf8(fileName));
}
bool DirectoryExists(const WideString& dirName) {
  return DirectoryExists(Utf16ToUtf8(dirName));
}
bool ForceDirectories(const WideString& dirName) {
  return ForceDirectories(Utf16ToUtf8(dirName));
}
bool DeleteFile(const WideString& fileName) {
  return DeleteFile(Utf16ToUtf8(fileName));
}

int64_t FileSizeOf(const std::string& fileName) {
  struct stat st;
  if (stat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool FileAge(const std::string& fileName, TDateTime& dateTime) {
  struct stat st;
  if (stat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  time_t t = st.st_mtim.tv_sec;
  struct tm local;
  if (!localtime_r(&t, &local)) return false;
  // Days since 30 December 1899 (25569 days before 1 January 1970), in local time.
  double seconds = static_cast<double>(t) + static_cast<double>(local.tm_gmtoff);
  dateTime = 25569.0 + seconds / 86400.0;
  return true;
}

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
  return std::string(buf.data());
}

bool SetCurrentDir(const std::string& dirName) {
  return chdir(dirName.c_str()) == 0;
}

std::string ExpandFileName(const std::string& fileName) {
  std::string full = !fileName.empty() && fileName[0] == '/'
                         ? fileName
                         : IncludeTrailingPathDelimiter(GetCurrentDir()) + fileName;
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t j = i;
    while (j < full.size() && !IsDelim(full[j])) ++j;
    std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty()) out.push_back('/');
  if (!fileName.empty() && IsDelim(fileName.back()) && out != "/") out += "/";
  return out;
}

std::string ResolvePathFrom(const std::string& referringFile, const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  const std::string folder = ExtractFilePath(referringFile);
  return folder.empty() ? path : folder + path;
}

WideString ResolvePathFrom(const WideString& referringFile, const WideString& path) {
  return Utf8ToUtf16(ResolvePathFrom(Utf16ToUtf8(referringFile), Utf16ToUtf8(path)));
}

std::string ExtractFilePath(const std::string& fileName) {
  return PathPart(fileName);
}
std::string ExtractFileDir(const std::string& fileName) {
  return DirPart(fileName);
}
std::string ExtractFileName(const std::string& fileName) {
  return NamePart(fileName);
}
std::string ExtractFileExt(const std::string& fileName) {
  return ExtPart(fileName);
}
std::string ChangeFileExt(const std::string& fileName, const std::string& extension) {
  return ChangeExt(fileName, extension);
}
std::string IncludeTrailingPathDelimiter(const std::string& path) {
  return IncludeDelim(path);
}
std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  return ExcludeDelim(path);
}

WideString ExtractFilePath(const WideString& fileName) {
  return PathPart(fileName);
}
WideString ExtractFileDir(const WideString& fileName) {
  return DirPart(fileName);
}
WideString ExtractFileName(const WideString& fileName) {
  return NamePart(fileName);
}
WideString ExtractFileExt(const WideString& fileName) {
  return ExtPart(fileName);
}
WideString ChangeFileExt(const WideString& fileName, const WideString& extension) {
  return ChangeExt(fileName, extension);
}
WideString IncludeTrailingPathDelimiter(const WideString& path) {
  return IncludeDelim(path);
}
WideString ExcludeTrailingPathDelimiter(const WideString& path) {
  return ExcludeDelim(path);
}

std::string GetTempDir() {
  std::lock_guard<std::mutex> lock(gTempDirMutex);
  return gTempDir.empty() ? std::string("/tmp/") : IncludeTrailingPathDelimiter(gTempDir);
}

void SetTempDir(const std::string& dirName) {
  std::lock_guard<std::mutex> lock(gTempDirMutex);
  gTempDir = dirName;
}

std::string CreateTempFile(const std::string& dir, const std::string& prefix) {
  static std::atomic<uint32_t> counter{[] {
    std::random_device rd;
    return static_cast<uint32_t>(rd());
  }()};
  std::string folder = IncludeTrailingPathDelimiter(dir.empty() ? GetTempDir() : dir);
  int lastErr = 0;
  std::string name;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char hex[16];
    snprintf(hex, sizeof hex, "%08X", counter.fetch_add(0x9E3779B1u) ^ static_cast<uint32_t>(getpid()));
    name = folder + prefix + hex + ".tmp";
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    lastErr = errno;
    if (lastErr != EEXIST) break;
  }
  char buf[256];
  throw EFCreateError("Cannot create file \"" + ExpandFileName(name) + "\". " +
                      strerror_r(lastErr, buf, sizeof buf));
}

bool OpenWithDesktop(const std::string& fileName, std::string& whyNot) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) {
    whyNot = "there is no desktop session (DISPLAY and WAYLAND_DISPLAY are not set)";
    return false;
  }
  std::string opener;
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    while (opener.empty()) {
      const size_t colon = rest.find(':');
      const std::string dir(rest.substr(0, colon));
      const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/xdg-open";
      if (::access(candidate.c_str(), X_OK) == 0) opener = candidate;
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  if (opener.empty()) {
    whyNot = "xdg-open is not installed";
    return false;
  }
  // Two forks: the opener is not our child, so it neither waits on us nor stays a zombie.
  const pid_t child = ::fork();
  if (child < 0) {
    whyNot = std::string("cannot start xdg-open: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) {
    if (::fork() == 0) {
      const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
      }
      ::setsid();
      char* const argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(fileName.c_str()), nullptr};
      ::execv(opener.c_str(), argv);
      ::_exit(127);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

bool PathIsInside(const std::string& path, const std::vector<std::string>& folders) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // A file that does not exist yet is judged by its folder.
  fs::path real = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) return false;
  for (const std::string& folder : folders) {
    std::error_code fec;
    const fs::path root = fs::canonical(fs::absolute(folder, fec), fec);
    if (fec) continue;
    auto r = root.begin(), p = real.begin();
    for (; r != root.end() && p != real.end() && *r == *p; ++r, ++p) {
    }
    if (r == root.end()) return true;
  }
  return false;
}

}  // namespace pagewright
