// An output file that appears under its final name only when it is complete: the bytes go to a
// temporary file created exclusively in the target folder (never through a symbolic link), and
// Commit renames it over the final name. A file that is discarded, destroyed without Commit, or
// pending when the process is interrupted leaves nothing behind.
#pragma once

#include <cstdint>
#include <string>

#include "platform/exceptions.h"
#include "platform/streams.h"

namespace pagewright {

// A failure to create, write or rename an output; the message names the final file and the
// reason ("out/x.pdf: No space left on device").
PW_DECLARE_EXCEPTION(EAtomicFileError, EInOutError)

class TAtomicFile : public TStream {
 public:
  // Creates the temporary file next to `finalPath`; raises EAtomicFileError when it cannot.
  explicit TAtomicFile(std::string finalPath);
  ~TAtomicFile() override;

  const std::string& FinalPath() const { return FFinalPath; }
  const std::string& TempPath() const { return FTempPath; }

  // Stream operations on the temporary file; a failed write raises EAtomicFileError.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  // Ends writing: flushes to the disk and closes the descriptor (the file stays temporary).
  // Raises on a failure to write the last bytes. Called by Commit when not done before.
  void FinishWriting();
  // Renames the temporary file over the final name.
  void Commit();
  // Removes the temporary file; never raises.
  void Discard() noexcept;
  bool Committed() const { return FCommitted; }

  // Whether data is flushed to the disk before the rename (default true). Turning it off trades
  // safety against a power loss for speed when many small files are written.
  static void SetSyncBeforeRename(bool v);

 private:
  [[noreturn]] void Fail(int error) const;

  std::string FFinalPath;
  std::string FTempPath;
  int FFd = -1;
  bool FCommitted = false;
  bool FDiscarded = false;
  // Registry of pending temporary files, read by the interrupt handler.
  TAtomicFile* FPrev = nullptr;
  TAtomicFile* FNext = nullptr;
  friend struct TAtomicFileRegistry;
};

// A private folder for the temporary files other parts make (the prepared-page store's page
// cache): created fresh under the system's temporary folder, and removed with its contents when
// destroyed or when the process is interrupted.
class TScratchFolder {
 public:
  TScratchFolder();
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
// file and scratch folder and then end the process by the same signal. Idempotent.
void InstallInterruptCleanup();

}  // namespace pagewright
