#include "platform/stack_guard.h"

#include <pthread.h>

#include "platform/exceptions.h"

namespace pagewright {

namespace {

// The lowest usable address of this thread's stack (stacks grow down on the targets we build for);
// looked up once per thread. Null when unknown.
const char* StackLimit() {
  thread_local const char* limit = [] {
    const char* low = nullptr;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return low;
    void* addr = nullptr;
    size_t size = 0;
    size_t guard = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0) {
      low = static_cast<const char*>(addr);
      // The guard page at the bottom is not usable.
      if (pthread_attr_getguardsize(&attr, &guard) == 0) low += guard;
    }
    pthread_attr_destroy(&attr);
    return low;
  }();
  return limit;
}

}  // namespace

int64_t RemainingStack() {
  const char* limit = StackLimit();
  if (!limit) return -1;
  char here;
  const char* frame = &here;
  // Touch the local through a volatile pointer so the address is the real frame's.
  const char* volatile sink = frame;
  return sink > limit ? static_cast<int64_t>(sink - limit) : 0;
}

StackGuard::StackGuard(size_t margin) {
  const int64_t left = RemainingStack();
  if (left >= 0 && static_cast<uint64_t>(left) < margin)
    throw EStackOverflow("Nesting too deep: the stack is nearly exhausted");
}

}  // namespace pagewright
