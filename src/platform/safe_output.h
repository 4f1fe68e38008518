// Output files that never destroy good data: bytes go to a new temporary file in the target's folder,
// and only a complete, flushed file replaces the target. A failure (a full disk, a write error, an
// exception before Commit) leaves the previous file as it was and no temporary file behind; so does
// an interrupt (Ctrl-C, SIGTERM) once InstallInterruptCleanup has run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streams.h"

namespace pagewright {

class TSafeOutputStream : public TStream {
 public:
  // Creates the temporary file beside fileName (exclusively, never through a symbolic link). Refuses
  // a target that exists and is not a regular file (a folder, a device, a pipe, a symbolic link).
  // Failures raise EFCreateError "Cannot create file \"<full name>\". <reason>", as TFileStream does.
  explicit TSafeOutputStream(const std::string& fileName);
  // Discards the output unless Commit succeeded.
  ~TSafeOutputStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  // A failed write raises EWriteError "<fileName>: <reason>" and marks the stream failed. Small
  // writes are collected and reach the file in blocks, so a failure may show at a later write
  // or at FinishWriting/Commit.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

  // Ends writing: flushes the bytes to the disk and closes the file, which stays temporary (a job
  // of several outputs finishes them all before it renames any). Raises EWriteError as Commit.
  // With sync false the bytes are not flushed to the disk here: a job of many files finishes
  // them so and flushes them all at once with SyncFileSystemsOf before it commits them.
  void FinishWriting(bool sync = true);
  // Finishes writing when not done yet and renames the temporary file over the target. On failure
  // (or after a failed write) the temporary file is removed and EWriteError "<fileName>: <reason>"
  // is raised; the target is untouched. Committing twice does nothing. With syncFolder false the
  // rename is not flushed to the disk here (SyncFoldersOf does it for many files at once).
  void Commit(bool syncFolder = true);
  // Removes the temporary file; the target is untouched. Never raises.
  void Discard() noexcept;

  const std::string& FileName() const { return FFileName; }
  const std::string& TempName() const { return FTempName; }
  bool Committed() const { return FCommitted; }
  bool Failed() const { return FFailed; }

  // Whether bytes are flushed to the disk before the rename (default true). Turning it off trades
  // safety against a power loss for speed when many small files are written.
  static void SetSyncBeforeRename(bool v);

 private:
  [[noreturn]] void Fail(int err);
  void WriteThrough(const char* p, int64_t count);
  void FlushBuffer();
  std::string FBuffer;
  std::string FFileName;
  std::string FTempName;
  int FFd = -1;
  int FFailedErrno = 0;
  bool FFailed = false;
  bool FCommitted = false;
  // The list of pending temporary files that the interrupt handler removes.
  TSafeOutputStream* FPrev = nullptr;
  TSafeOutputStream* FNext = nullptr;
  bool FRegistered = false;
  friend struct TPendingOutputs;
};

// For many files written with FinishWriting(false): flushes to the disk what was written to the
// file systems that hold their folders, once per folder. Raises EWriteError "<file>: <reason>".
void SyncFileSystemsOf(const std::vector<std::string>& fileNames);
// For many files committed with Commit(false): flushes their folders (the renames), once each.
void SyncFoldersOf(const std::vector<std::string>& fileNames);

// Writes the bytes to fileName through a TSafeOutputStream and commits.
void WriteFileSafely(const std::string& fileName, std::string_view bytes);

// A private folder for temporary files (a page cache, outputs staged until a job succeeds): created
// fresh, hidden, in `parent` (the system's temporary folder when empty), and removed with its
// contents when destroyed or when the process is interrupted. Staging in the target's own folder
// keeps the final rename on one file system. Raises EFCreateError when the folder cannot be made.
class TScratchFolder {
 public:
  explicit TScratchFolder(const std::string& parent = std::string());
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  int FFd = -1;
  int FSlot = -1;
};

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE that remove every pending temporary
// output and scratch folder and then end the process by the same signal. Idempotent; a program
// calls it once at start. Signals the shell set to be ignored stay ignored.
void InstallInterruptCleanup();

}  // namespace pagewright
