#include "cli/serve_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/exceptions.h"

namespace pagewright::cli {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE;
constexpr int kMaxDepth = 8;
// Events that arrive this soon after each other are one change (an editor's write and rename).
constexpr int kSettleMilliseconds = 40;

}  // namespace

FolderWatcher::FolderWatcher(const std::vector<std::string>& folders, Callback callback)
    : FCallback(std::move(callback)) {
  FFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (FFd < 0) throw EInOutError(std::string("Cannot watch files for changes: ") + std::strerror(errno));
  if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) {
    close(FFd);
    throw EInOutError(std::string("Cannot watch files for changes: ") + std::strerror(errno));
  }
  for (const std::string& f : folders) AddTree(f, 0);
  FThread = std::thread([this] { Loop(); });
}

FolderWatcher::~FolderWatcher() {
  const char byte = 1;
  if (write(FWake[1], &byte, 1) < 0) {
    // The loop also ends with the descriptors closed below once it wakes; nothing else to do.
  }
  if (FThread.joinable()) FThread.join();
  close(FFd);
  close(FWake[0]);
  close(FWake[1]);
}

void FolderWatcher::AddTree(const std::string& folder, int depth) {
  // Links are not followed: what lies outside the served folder is not watched.
  const int wd = inotify_add_watch(FFd, folder.c_str(), kFileEvents | IN_ONLYDIR | IN_DONT_FOLLOW);
  if (wd < 0) return;
  FFolders[wd] = folder;
  if (depth + 1 >= kMaxDepth) return;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    if (it->is_directory(ec) && !it->is_symlink(ec)) AddTree(it->path().string(), depth + 1);
  }
}

void FolderWatcher::Loop() {
  alignas(inotify_event) char buffer[16384];
  std::set<std::string> pending;
  for (;;) {
    pollfd fds[2] = {{FFd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    // With changes pending, wait only until they settle.
    const int ready = poll(fds, 2, pending.empty() ? -1 : kSettleMilliseconds);
    if (ready < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
    if (ready == 0) {
      FCallback(std::vector<std::string>(pending.begin(), pending.end()));
      pending.clear();
      continue;
    }
    if (!(fds[0].revents & POLLIN)) continue;
    for (;;) {
      const ssize_t n = read(FFd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        if (ev->mask & IN_IGNORED) {
          FFolders.erase(ev->wd);
          continue;
        }
        const auto folder = FFolders.find(ev->wd);
        if (folder == FFolders.end() || ev->len == 0) continue;
        const std::string path = folder->second + "/" + std::string(ev->name, strnlen(ev->name, ev->len));
        if ((ev->mask & IN_CREATE) && (ev->mask & IN_ISDIR)) {
          AddTree(path, 1);
        }
        // A file just created is reported when it is written and closed.
        if ((ev->mask & IN_CREATE) && !(ev->mask & IN_ISDIR)) continue;
        pending.insert(path);
      }
    }
  }
}

}  // namespace pagewright::cli
