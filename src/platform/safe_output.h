// Output files that never destroy good data: bytes go to a new temporary file in the target's folder,
// and only a complete, flushed file replaces the target. A failure (a full disk, a write error, an
// exception before Commit) leaves the previous file as it was and no temporary file behind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
  // A failed write raises EWriteError "<fileName>: <reason>" and marks the stream failed.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

  // Flushes the bytes to the disk and renames the temporary file over the target. On failure (or
  // after a failed write) the temporary file is removed and EWriteError "<fileName>: <reason>" is
  // raised; the target is untouched. Committing twice does nothing.
  void Commit();
  // Removes the temporary file; the target is untouched.
  void Discard();

  const std::string& FileName() const { return FFileName; }
  const std::string& TempName() const { return FTempName; }
  bool Committed() const { return FCommitted; }
  bool Failed() const { return FFailed; }

 private:
  [[noreturn]] void Fail(int err);
  std::string FFileName;
  std::string FTempName;
  int FFd = -1;
  int FFailedErrno = 0;
  bool FFailed = false;
  bool FCommitted = false;
};

// Writes the bytes to fileName through a TSafeOutputStream and commits.
void WriteFileSafely(const std::string& fileName, std::string_view bytes);

}  // namespace pagewright
