// One limit for the memory that input can make grow (string growth in scripts, arrays, page
// bitmaps): a template or data set that asks for too much gets a clear error instead of exhausting
// the machine.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace pagewright {

class TMemoryBudget {
 public:
  static constexpr int64_t kDefaultLimit = int64_t(1) << 30;  // 1 GB

  explicit TMemoryBudget(int64_t limit = kDefaultLimit) : FLimit(limit) {}
  TMemoryBudget(const TMemoryBudget&) = delete;
  TMemoryBudget& operator=(const TMemoryBudget&) = delete;

  // Takes bytes from the budget, or raises EOutOfMemory "Out of memory: <what> needs <n> bytes; <used>
  // of <limit> bytes are in use" and takes nothing. Negative requests are errors too.
  void Draw(int64_t bytes, const std::string& what);
  // The same without raising: false and nothing taken when the bytes are not there.
  bool TryDraw(int64_t bytes);
  // Gives bytes back (never below zero).
  void Release(int64_t bytes);

  int64_t Used() const { return FUsed.load(std::memory_order_relaxed); }
  int64_t Limit() const { return FLimit.load(std::memory_order_relaxed); }
  void SetLimit(int64_t limit) { FLimit.store(limit, std::memory_order_relaxed); }

  // The budget of this process, with the default limit until a program sets another.
  static TMemoryBudget& Process();

 private:
  std::atomic<int64_t> FLimit;
  std::atomic<int64_t> FUsed{0};
};

// Bytes held from a budget for the life of an object (a bitmap, a grown string); Resize draws or
// gives back the difference.
class TMemoryReservation {
 public:
  explicit TMemoryReservation(TMemoryBudget& budget = TMemoryBudget::Process()) : FBudget(&budget) {}
  TMemoryReservation(TMemoryBudget& budget, int64_t bytes, const std::string& what) : FBudget(&budget) {
    Resize(bytes, what);
  }
  TMemoryReservation(const TMemoryReservation&) = delete;
  TMemoryReservation& operator=(const TMemoryReservation&) = delete;
  ~TMemoryReservation() { FBudget->Release(FBytes); }

  // Raises as TMemoryBudget::Draw when growing past the budget; the reservation is then unchanged.
  void Resize(int64_t bytes, const std::string& what);
  int64_t Bytes() const { return FBytes; }

 private:
  TMemoryBudget* FBudget;
  int64_t FBytes = 0;
};

}  // namespace pagewright
