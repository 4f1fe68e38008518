#include "platform/memory_budget.h"

#include "platform/exceptions.h"

namespace pagewright {

bool TMemoryBudget::TryDraw(int64_t bytes) {
  if (bytes < 0) return false;
  int64_t used = FUsed.load(std::memory_order_relaxed);
  for (;;) {
    int64_t next;
    if (__builtin_add_overflow(used, bytes, &next) || next > Limit()) return false;
    if (FUsed.compare_exchange_weak(used, next, std::memory_order_relaxed)) return true;
  }
}

void TMemoryBudget::Draw(int64_t bytes, const std::string& what) {
  if (TryDraw(bytes)) return;
  throw EOutOfMemory("Out of memory: " + what + " needs " + std::to_string(bytes) + " bytes; " +
                     std::to_string(Used()) + " of " + std::to_string(Limit()) + " bytes are in use");
}

void TMemoryBudget::Release(int64_t bytes) {
  if (bytes <= 0) return;
  int64_t used = FUsed.load(std::memory_order_relaxed);
  while (!FUsed.compare_exchange_weak(used, used > bytes ? used - bytes : 0, std::memory_order_relaxed)) {
  }
}

TMemoryBudget& TMemoryBudget::Process() {
  static TMemoryBudget budget;
  return budget;
}

void TMemoryReservation::Resize(int64_t bytes, const std::string& what) {
  if (bytes < 0) bytes = 0;
  if (bytes > FBytes) {
    FBudget->Draw(bytes - FBytes, what);
  } else {
    FBudget->Release(FBytes - bytes);
  }
  FBytes = bytes;
}

}  // namespace pagewright
