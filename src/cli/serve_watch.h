// Watches folders (and their subfolders) for files written, moved in, or removed, with inotify,
// and hands the changed paths to a callback a batch at a time.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace pagewright::cli {

class FolderWatcher {
 public:
  using Callback = std::function<void(const std::vector<std::string>& paths)>;
  // Raises EOSError when inotify cannot be set up.
  FolderWatcher(const std::vector<std::string>& folders, Callback callback);
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

 private:
  void AddTree(const std::string& folder, int depth);
  void Loop();

  int FFd = -1;
  int FWake[2] = {-1, -1};              // written to end the loop
  std::map<int, std::string> FFolders;  // watch descriptor to folder
  Callback FCallback;
  std::thread FThread;
};

}  // namespace pagewright::cli
